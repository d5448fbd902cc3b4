#include "display/ImageEnregistree.h"

#include <algorithm>

namespace display {
namespace {

int32_t EnEntier(Couleur c) {
    return (c.r << 16) | (c.g << 8) | c.b;
}

Couleur EnCouleur(int32_t v) {
    return {static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
}

} // namespace

ImageEnregistree::ImageEnregistree(int32_t largeur, int32_t hauteur)
    : largeur_(std::max(largeur, 1)), hauteur_(std::max(hauteur, 1)) {
    commandes_.reserve(512);
}

void ImageEnregistree::Note(Ordre ordre, int32_t a, int32_t b, int32_t c, int32_t d) {
    commandes_.push_back({ordre, a, b, c, d});
}

int32_t ImageEnregistree::Chaine(std::string_view texte) {
    chaines_.emplace_back(texte);
    return static_cast<int32_t>(chaines_.size() - 1);
}

void ImageEnregistree::CouleurStylo(Couleur c) {
    Note(Ordre::CouleurStylo, EnEntier(c));
}
void ImageEnregistree::EpaisseurStylo(int32_t largeur) {
    Note(Ordre::EpaisseurStylo, largeur);
}
void ImageEnregistree::StyleDuStylo(StyleStylo style) {
    Note(Ordre::StyleDuStylo, static_cast<int32_t>(style));
}
void ImageEnregistree::ModeDuStylo(ModeStylo mode) {
    Note(Ordre::ModeDuStylo, static_cast<int32_t>(mode));
}
void ImageEnregistree::CouleurBrosse(Couleur c) {
    Note(Ordre::CouleurBrosse, EnEntier(c));
}
void ImageEnregistree::StyleDeBrosse(StyleBrosse style) {
    Note(Ordre::StyleDeBrosse, static_cast<int32_t>(style));
}
void ImageEnregistree::NomPolice(std::string_view nom) {
    Note(Ordre::NomPolice, Chaine(nom));
}
void ImageEnregistree::TaillePolice(int32_t points) {
    Note(Ordre::TaillePolice, points);
}
void ImageEnregistree::CouleurPolice(Couleur c) {
    Note(Ordre::CouleurPolice, EnEntier(c));
}
void ImageEnregistree::StyleDePolice(uint32_t style) {
    Note(Ordre::StyleDePolice, static_cast<int32_t>(style));
}
void ImageEnregistree::DeplacerVers(int32_t x, int32_t y) {
    Note(Ordre::DeplacerVers, x, y);
}
void ImageEnregistree::LigneVers(int32_t x, int32_t y) {
    Note(Ordre::LigneVers, x, y);
}
void ImageEnregistree::Polyligne(const Point* points, int32_t nombre) {
    if (!points || nombre <= 0) return;
    Note(Ordre::Polyligne, static_cast<int32_t>(points_.size()), nombre);
    points_.insert(points_.end(), points, points + nombre);
}
void ImageEnregistree::Rectangle(const Rect& r) {
    Note(Ordre::Rectangle, r.gauche, r.haut, r.droite, r.bas);
}
void ImageEnregistree::Remplir(const Rect& r) {
    Note(Ordre::Remplir, r.gauche, r.haut, r.droite, r.bas);
}
void ImageEnregistree::AlignerTexte(AlignementTexte alignement) {
    Note(Ordre::AlignerTexte, static_cast<int32_t>(alignement));
}
void ImageEnregistree::Texte(int32_t x, int32_t y, std::string_view texte) {
    Note(Ordre::Texte, x, y, Chaine(texte));
}
void ImageEnregistree::Decouper(const Rect& r) {
    Note(Ordre::Decouper, r.gauche, r.haut, r.droite, r.bas);
}
void ImageEnregistree::SansDecoupe() {
    Note(Ordre::SansDecoupe);
}
void ImageEnregistree::CopierRectangle(const Rect&, const ImageMemoire&, const Rect&) {}

void ImageEnregistree::Rejouer(Canevas& cible) const {
    for (const Commande& k : commandes_) {
        switch (k.ordre) {
        case Ordre::CouleurStylo:
            cible.CouleurStylo(EnCouleur(k.a));
            break;
        case Ordre::EpaisseurStylo:
            cible.EpaisseurStylo(k.a);
            break;
        case Ordre::StyleDuStylo:
            cible.StyleDuStylo(static_cast<StyleStylo>(k.a));
            break;
        case Ordre::ModeDuStylo:
            cible.ModeDuStylo(static_cast<ModeStylo>(k.a));
            break;
        case Ordre::CouleurBrosse:
            cible.CouleurBrosse(EnCouleur(k.a));
            break;
        case Ordre::StyleDeBrosse:
            cible.StyleDeBrosse(static_cast<StyleBrosse>(k.a));
            break;
        case Ordre::NomPolice:
            cible.NomPolice(chaines_[static_cast<size_t>(k.a)]);
            break;
        case Ordre::TaillePolice:
            cible.TaillePolice(k.a);
            break;
        case Ordre::CouleurPolice:
            cible.CouleurPolice(EnCouleur(k.a));
            break;
        case Ordre::StyleDePolice:
            cible.StyleDePolice(static_cast<uint32_t>(k.a));
            break;
        case Ordre::DeplacerVers:
            cible.DeplacerVers(k.a, k.b);
            break;
        case Ordre::LigneVers:
            cible.LigneVers(k.a, k.b);
            break;
        case Ordre::Polyligne:
            cible.Polyligne(points_.data() + k.a, k.b);
            break;
        case Ordre::Rectangle:
            cible.Rectangle({k.a, k.b, k.c, k.d});
            break;
        case Ordre::Remplir:
            cible.Remplir({k.a, k.b, k.c, k.d});
            break;
        case Ordre::AlignerTexte:
            cible.AlignerTexte(static_cast<AlignementTexte>(k.a));
            break;
        case Ordre::Texte:
            cible.Texte(k.a, k.b, chaines_[static_cast<size_t>(k.c)]);
            break;
        case Ordre::Decouper:
            cible.Decouper({k.a, k.b, k.c, k.d});
            break;
        case Ordre::SansDecoupe:
            cible.SansDecoupe();
            break;
        }
    }
}

} // namespace display
