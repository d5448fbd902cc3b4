// A picture kept as the list of its drawing calls, like the system's metafiles: recorded
// once on a canvas of a given logical size, then played back on any other canvas (a
// metafile writer, the printer's page, an SVG or PNG picture) as many times as needed.
// Bitmap copies are not kept: the pictures recorded here are made of lines and texts.
// Not shared between threads while it records.
#pragma once

#include "display/Canevas.h"

#include <cstdint>
#include <string>
#include <vector>

namespace display {

class ImageEnregistree final : public Canevas {
public:
    ImageEnregistree(int32_t largeur, int32_t hauteur);

    // The logical size it was recorded for.
    int32_t Largeur() const { return largeur_; }
    int32_t Hauteur() const { return hauteur_; }

    // Every recorded call, in order, on `cible`.
    void Rejouer(Canevas& cible) const;

    void CouleurStylo(Couleur c) override;
    void EpaisseurStylo(int32_t largeur) override;
    void StyleDuStylo(StyleStylo style) override;
    void ModeDuStylo(ModeStylo mode) override;
    void CouleurBrosse(Couleur c) override;
    void StyleDeBrosse(StyleBrosse style) override;
    void NomPolice(std::string_view nom) override;
    void TaillePolice(int32_t points) override;
    void CouleurPolice(Couleur c) override;
    void StyleDePolice(uint32_t style) override;
    void DeplacerVers(int32_t x, int32_t y) override;
    void LigneVers(int32_t x, int32_t y) override;
    void Polyligne(const Point* points, int32_t nombre) override;
    void Rectangle(const Rect& r) override;
    void Remplir(const Rect& r) override;
    void AlignerTexte(AlignementTexte alignement) override;
    void Texte(int32_t x, int32_t y, std::string_view texte) override;
    void Decouper(const Rect& r) override;
    void SansDecoupe() override;
    // Not kept (see above).
    void CopierRectangle(const Rect& destination, const ImageMemoire& source,
                         const Rect& origine) override;

private:
    enum class Ordre : uint8_t {
        CouleurStylo,
        EpaisseurStylo,
        StyleDuStylo,
        ModeDuStylo,
        CouleurBrosse,
        StyleDeBrosse,
        NomPolice,
        TaillePolice,
        CouleurPolice,
        StyleDePolice,
        DeplacerVers,
        LigneVers,
        Polyligne,
        Rectangle,
        Remplir,
        AlignerTexte,
        Texte,
        Decouper,
        SansDecoupe
    };
    // Up to four numbers; a polyline's are its first point and count, a text's or font
    // name's the index of its string.
    struct Commande {
        Ordre ordre;
        int32_t a = 0, b = 0, c = 0, d = 0;
    };
    void Note(Ordre ordre, int32_t a = 0, int32_t b = 0, int32_t c = 0, int32_t d = 0);
    int32_t Chaine(std::string_view texte);

    int32_t largeur_, hauteur_;
    std::vector<Commande> commandes_;
    std::vector<Point> points_;
    std::vector<std::string> chaines_;
};

} // namespace display
