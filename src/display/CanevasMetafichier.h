// The canvas over the metafile writers: what the renderer draws becomes the records of an
// enhanced or placeable Windows metafile. The canvas's units are the metafile's logical
// units; font sizes in points count as pixels of a 96 dpi screen, as on the screen picture.
// One thread at a time.
#pragma once

#include "display/Canevas.h"
#include "display/ImageEnregistree.h"
#include "platform/Metafichier.h"

#include <string>
#include <vector>

namespace display {

class CanevasMetafichier final : public Canevas {
public:
    explicit CanevasMetafichier(platform::Metafichier& metafichier);

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
    // Metafiles here hold no bitmaps: does nothing.
    void CopierRectangle(const Rect& destination, const ImageMemoire& source,
                         const Rect& origine) override;

private:
    void Stylo();
    void Police();

    platform::Metafichier& meta_;
    platform::CouleurMeta couleurStylo_;
    int32_t largeurStylo_ = 1;
    platform::TraitMeta trait_ = platform::TraitMeta::Plein;
    platform::CouleurMeta couleurBrosse_{255, 255, 255};
    bool creuse_ = false;
    std::string nomPolice_ = "Arial";
    int32_t points_ = 8;
    uint32_t stylePolice_ = 0;
    std::vector<platform::PointMeta> ligne_;
};

// The recorded picture as an enhanced metafile on the given frame (hundredths of a
// millimetre); empty when it could not be built.
std::string EnEmf(const ImageEnregistree& image, platform::CadreMeta cadre);
// The recorded picture as a placeable Windows metafile of the given physical size; empty
// when it could not be built.
std::string EnWmf(const ImageEnregistree& image, platform::CadreMeta cadre);

} // namespace display
