// A canvas that records what is drawn on it, with the pen, brush and font in force at
// each drawing call, for tests of the drawing code.
#pragma once

#include "display/Canevas.h"

#include <string>
#include <vector>

namespace essais {

using namespace display;

struct Appel {
    enum Sorte { Ligne, Polyligne, Rectangle, Remplir, Texte, Decouper, SansDecoupe, Copier };
    Sorte sorte = Ligne;
    std::vector<int32_t> n; // Ligne: x0 y0 x1 y1; Polyligne: x y …; rectangles: 4 sides
    std::string texte;
    // State at the call.
    Couleur stylo;
    int32_t epaisseur = 1;
    StyleStylo style = StyleStylo::Plein;
    ModeStylo mode = ModeStylo::Copie;
    Couleur brosse{255, 255, 255};
    StyleBrosse styleBrosse = StyleBrosse::Plein;
    std::string police;
    int32_t taille = 8;
    Couleur couleurPolice;
    uint32_t stylePolice = Normal;
    AlignementTexte alignement = AlignementTexte::GaucheHaut;
};

class CanevasEnregistreur : public Canevas {
public:
    std::vector<Appel> appels;

    // The calls of one kind, in order.
    std::vector<Appel> De(Appel::Sorte sorte) const {
        std::vector<Appel> r;
        for (const Appel& a : appels)
            if (a.sorte == sorte) r.push_back(a);
        return r;
    }
    // Index of the first call of a kind, or -1.
    int Premier(Appel::Sorte sorte) const {
        for (size_t i = 0; i < appels.size(); ++i)
            if (appels[i].sorte == sorte) return static_cast<int>(i);
        return -1;
    }

    void CouleurStylo(Couleur c) override { etat_.stylo = c; }
    void EpaisseurStylo(int32_t largeur) override { etat_.epaisseur = largeur; }
    void StyleDuStylo(StyleStylo style) override { etat_.style = style; }
    void ModeDuStylo(ModeStylo mode) override { etat_.mode = mode; }
    void CouleurBrosse(Couleur c) override { etat_.brosse = c; }
    void StyleDeBrosse(StyleBrosse style) override { etat_.styleBrosse = style; }
    void NomPolice(std::string_view nom) override { etat_.police = std::string(nom); }
    void TaillePolice(int32_t points) override { etat_.taille = points; }
    void CouleurPolice(Couleur c) override { etat_.couleurPolice = c; }
    void StyleDePolice(uint32_t style) override { etat_.stylePolice = style; }
    void AlignerTexte(AlignementTexte alignement) override { etat_.alignement = alignement; }

    void DeplacerVers(int32_t x, int32_t y) override { position_ = {x, y}; }
    void LigneVers(int32_t x, int32_t y) override {
        Note(Appel::Ligne, {position_.x, position_.y, x, y});
        position_ = {x, y};
    }
    void Polyligne(const Point* points, int32_t nombre) override {
        std::vector<int32_t> n;
        for (int32_t i = 0; i < nombre; ++i) {
            n.push_back(points[i].x);
            n.push_back(points[i].y);
        }
        Note(Appel::Polyligne, std::move(n));
    }
    void Rectangle(const Rect& r) override {
        Note(Appel::Rectangle, {r.gauche, r.haut, r.droite, r.bas});
    }
    void Remplir(const Rect& r) override {
        Note(Appel::Remplir, {r.gauche, r.haut, r.droite, r.bas});
    }
    void Texte(int32_t x, int32_t y, std::string_view texte) override {
        Note(Appel::Texte, {x, y}, std::string(texte));
    }
    void Decouper(const Rect& r) override {
        Note(Appel::Decouper, {r.gauche, r.haut, r.droite, r.bas});
    }
    void SansDecoupe() override { Note(Appel::SansDecoupe, {}); }
    void CopierRectangle(const Rect& d, const ImageMemoire&, const Rect& o) override {
        Note(Appel::Copier, {d.gauche, d.haut, d.droite, d.bas, o.gauche, o.haut, o.droite, o.bas});
    }

private:
    void Note(Appel::Sorte sorte, std::vector<int32_t> n, std::string texte = {}) {
        Appel a = etat_;
        a.sorte = sorte;
        a.n = std::move(n);
        a.texte = std::move(texte);
        appels.push_back(std::move(a));
    }

    Appel etat_;
    Point position_;
};

} // namespace essais
