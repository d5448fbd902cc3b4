// The drawing surface the renderer works on: the screen picture, the printer, the
// clipboard and the picture files each provide one. Free of any toolkit type, so that
// the same drawing code feeds every target and tests can record the calls.
//
// Coordinates are integer device (logical) units, y downwards. Rectangles are
// [gauche, droite) × [haut, bas). Texts are UTF-8.
#pragma once

#include <cstdint>
#include <string_view>

namespace display {

struct Couleur {
    uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(Couleur, Couleur) = default;
};

struct Point {
    int32_t x = 0, y = 0;
};

struct Rect {
    int32_t gauche = 0, haut = 0, droite = 0, bas = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

enum class StyleStylo { Plein, Tirets, Points, TiretPoint, TiretPointPoint };

// How the pen combines with what is drawn already.
enum class ModeStylo { Copie, OuExclusif, Inversion };

enum class StyleBrosse { Plein, Creux };

// Font style bits.
enum StylePolice : uint32_t { Normal = 0, Gras = 1, Italique = 2, Souligne = 4 };

// Where (x, y) lies on the text: always its top; its left end, right end or middle.
// The values are those of the metafile records.
enum class AlignementTexte : uint32_t { GaucheHaut = 0, Droite = 2, Centre = 6 };

class ImageMemoire;

class Canevas {
public:
    virtual ~Canevas() = default;

    // The pen draws lines, polylines and rectangle outlines. Width 0 is one device pixel.
    virtual void CouleurStylo(Couleur c) = 0;
    virtual void EpaisseurStylo(int32_t largeur) = 0;
    virtual void StyleDuStylo(StyleStylo style) = 0;
    virtual void ModeDuStylo(ModeStylo mode) = 0;

    // The brush fills rectangles; a hollow brush leaves their inside alone.
    virtual void CouleurBrosse(Couleur c) = 0;
    virtual void StyleDeBrosse(StyleBrosse style) = 0;

    // Font of Texte; the size is in points, which the canvas maps to its own units.
    virtual void NomPolice(std::string_view nom) = 0;
    virtual void TaillePolice(int32_t points) = 0;
    virtual void CouleurPolice(Couleur c) = 0;
    virtual void StyleDePolice(uint32_t style) = 0;

    // A line from the current position to (x, y), which becomes the current position.
    // As with the system's pens, the end point itself is not drawn (nor the last point
    // of a polyline).
    virtual void DeplacerVers(int32_t x, int32_t y) = 0;
    virtual void LigneVers(int32_t x, int32_t y) = 0;
    virtual void Polyligne(const Point* points, int32_t nombre) = 0;
    // Outline with the pen, inside with the brush.
    virtual void Rectangle(const Rect& r) = 0;
    // Fills with the brush colour, no outline.
    virtual void Remplir(const Rect& r) = 0;

    virtual void AlignerTexte(AlignementTexte alignement) = 0;
    // Text on a transparent background, placed by the current alignment.
    virtual void Texte(int32_t x, int32_t y, std::string_view texte) = 0;

    // Drawing outside r is dropped until SansDecoupe.
    virtual void Decouper(const Rect& r) = 0;
    virtual void SansDecoupe() = 0;

    // Copies the rectangle `origine` of a picture onto `destination` of this canvas.
    virtual void CopierRectangle(const Rect& destination, const ImageMemoire& source,
                                 const Rect& origine) = 0;
};

// An off-screen picture: a canvas with a size, whose pixels can be copied elsewhere.
class ImageMemoire {
public:
    virtual ~ImageMemoire() = default;
    virtual Canevas& Toile() = 0;
    virtual int32_t Largeur() const = 0;
    virtual int32_t Hauteur() const = 0;
};

} // namespace display
