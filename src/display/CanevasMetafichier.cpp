#include "display/CanevasMetafichier.h"

#include <algorithm>
#include <cmath>

namespace display {
namespace {

platform::CouleurMeta EnMeta(Couleur c) {
    return {c.r, c.g, c.b};
}

platform::RectMeta EnMeta(const Rect& r) {
    return {r.gauche, r.haut, r.droite, r.bas};
}

platform::TraitMeta EnMeta(StyleStylo style) {
    switch (style) {
    case StyleStylo::Tirets:
        return platform::TraitMeta::Tirets;
    case StyleStylo::Points:
        return platform::TraitMeta::Points;
    case StyleStylo::TiretPoint:
        return platform::TraitMeta::TiretPoint;
    case StyleStylo::TiretPointPoint:
        return platform::TraitMeta::TiretPointPoint;
    case StyleStylo::Plein:
        break;
    }
    return platform::TraitMeta::Plein;
}

std::string Enregistre(const ImageEnregistree& image, platform::Metafichier& metafichier) {
    CanevasMetafichier canevas(metafichier);
    image.Rejouer(canevas);
    return metafichier.Termine();
}

} // namespace

CanevasMetafichier::CanevasMetafichier(platform::Metafichier& metafichier) : meta_(metafichier) {
    Stylo();
    meta_.Brosse(couleurBrosse_, creuse_);
    Police();
}

void CanevasMetafichier::Stylo() {
    meta_.Stylo(couleurStylo_, largeurStylo_, trait_);
}

void CanevasMetafichier::Police() {
    // Points as pixels of a 96 dpi screen.
    const auto hauteur = static_cast<int32_t>(std::lrint(points_ * 96.0 / 72.0));
    meta_.Police(nomPolice_, std::max(hauteur, 1), stylePolice_);
}

void CanevasMetafichier::CouleurStylo(Couleur c) {
    couleurStylo_ = EnMeta(c);
    Stylo();
}

void CanevasMetafichier::EpaisseurStylo(int32_t largeur) {
    largeurStylo_ = std::max(largeur, 0);
    Stylo();
}

void CanevasMetafichier::StyleDuStylo(StyleStylo style) {
    trait_ = EnMeta(style);
    Stylo();
}

void CanevasMetafichier::ModeDuStylo(ModeStylo mode) {
    meta_.Melange(mode == ModeStylo::OuExclusif  ? platform::MelangeMeta::OuExclusif
                  : mode == ModeStylo::Inversion ? platform::MelangeMeta::Inversion
                                                 : platform::MelangeMeta::Copie);
}

void CanevasMetafichier::CouleurBrosse(Couleur c) {
    couleurBrosse_ = EnMeta(c);
    meta_.Brosse(couleurBrosse_, creuse_);
}

void CanevasMetafichier::StyleDeBrosse(StyleBrosse style) {
    creuse_ = style == StyleBrosse::Creux;
    meta_.Brosse(couleurBrosse_, creuse_);
}

void CanevasMetafichier::NomPolice(std::string_view nom) {
    nomPolice_.assign(nom);
    Police();
}

void CanevasMetafichier::TaillePolice(int32_t points) {
    points_ = points;
    Police();
}

void CanevasMetafichier::CouleurPolice(Couleur c) {
    meta_.CouleurTexte(EnMeta(c));
}

void CanevasMetafichier::StyleDePolice(uint32_t style) {
    stylePolice_ = ((style & Gras) ? platform::PoliceGrasse : 0) |
                   ((style & Italique) ? platform::PoliceItalique : 0) |
                   ((style & Souligne) ? platform::PoliceSoulignee : 0);
    Police();
}

void CanevasMetafichier::DeplacerVers(int32_t x, int32_t y) {
    meta_.DeplacerVers(x, y);
}

void CanevasMetafichier::LigneVers(int32_t x, int32_t y) {
    meta_.LigneVers(x, y);
}

void CanevasMetafichier::Polyligne(const Point* points, int32_t nombre) {
    if (!points || nombre < 2) return;
    ligne_.resize(static_cast<size_t>(nombre));
    for (int32_t i = 0; i < nombre; ++i)
        ligne_[static_cast<size_t>(i)] = {points[i].x, points[i].y};
    meta_.Polyligne(ligne_.data(), nombre);
}

void CanevasMetafichier::Rectangle(const Rect& r) {
    meta_.Rectangle(EnMeta(r));
}

void CanevasMetafichier::Remplir(const Rect& r) {
    meta_.Remplir(EnMeta(r));
}

void CanevasMetafichier::AlignerTexte(AlignementTexte alignement) {
    meta_.Ancrage(alignement == AlignementTexte::Droite   ? platform::AncrageMeta::Droite
                  : alignement == AlignementTexte::Centre ? platform::AncrageMeta::Centre
                                                          : platform::AncrageMeta::GaucheHaut);
}

void CanevasMetafichier::Texte(int32_t x, int32_t y, std::string_view texte) {
    meta_.Texte(x, y, texte);
}

void CanevasMetafichier::Decouper(const Rect& r) {
    meta_.Decouper(EnMeta(r));
}

void CanevasMetafichier::SansDecoupe() {
    meta_.SansDecoupe();
}

void CanevasMetafichier::CopierRectangle(const Rect&, const ImageMemoire&, const Rect&) {}

std::string EnEmf(const ImageEnregistree& image, platform::CadreMeta cadre) {
    platform::MetafichierEmf metafichier(image.Largeur(), image.Hauteur(), cadre);
    return Enregistre(image, metafichier);
}

std::string EnWmf(const ImageEnregistree& image, platform::CadreMeta cadre) {
    platform::MetafichierWmf metafichier(image.Largeur(), image.Hauteur(), cadre);
    return Enregistre(image, metafichier);
}

} // namespace display
