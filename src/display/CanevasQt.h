// The canvas over a QPainter (screen picture, window, printer, SVG) and the screen
// picture itself, a QImage with its painter kept open. GUI thread, or any one thread at
// a time for a QImage.
#pragma once

#include "display/Canevas.h"

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPen>

#include <array>
#include <vector>

namespace display {

class CanevasQt : public Canevas {
public:
    // `pixelsParPoint` maps font points to the painter's logical units: 96/72 for a
    // picture drawn at screen resolution.
    explicit CanevasQt(QPainter& peintre, double pixelsParPoint = 96.0 / 72.0);

    // The painter was (re)begun: its state must be set again before the next drawing.
    void EtatPerdu();

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
    void CopierRectangle(const Rect& destination, const ImageMemoire& source,
                         const Rect& origine) override;

private:
    const QPen& Stylo();
    void PreparerStylo();
    void PreparerBrosse(bool remplir);
    void PreparerPolice();
    void PreparerMode(bool stylo);

    // A pen as the canvas was asked for it.
    struct CleStylo {
        QRgb couleur = 0xff000000;
        int32_t largeur = 1;
        StyleStylo style = StyleStylo::Plein;
        friend bool operator==(const CleStylo&, const CleStylo&) = default;
    };
    // Pens already built: a frame reuses the same few, and handing the painter a pen it
    // shares allocates nothing, where changing a shared pen would.
    struct StyloConnu {
        CleStylo cle;
        QPen stylo;
    };
    static constexpr int NbStylosConnus = 16;

    QPainter& peintre_;
    double pixelsParPoint_;
    CleStylo stylo_;
    std::array<StyloConnu, NbStylosConnus> stylosConnus_;
    int nbStylosConnus_ = 0, prochainRemplace_ = 0;
    ModeStylo mode_ = ModeStylo::Copie;
    QColor couleurBrosse_{Qt::white};
    StyleBrosse styleBrosse_ = StyleBrosse::Plein;
    QFont police_;
    int32_t taillePolice_ = 8;
    QColor couleurPolice_{Qt::black};
    AlignementTexte alignement_ = AlignementTexte::GaucheHaut;
    QPoint position_;
    // What the painter holds already, so that a frame sets each state only once.
    bool styloAJour_ = false, brosseAJour_ = false, policeAJour_ = false;
    bool brossePleine_ = false;
    bool modeStylo_ = false;
    // Converted polyline points; grows to the longest polyline, then never again.
    std::vector<QPoint> points_;
};

// The off-screen picture: created filled black, resized with the window.
class ImageQt : public ImageMemoire {
public:
    ImageQt(int32_t largeur, int32_t hauteur);
    ~ImageQt() override;
    ImageQt(const ImageQt&) = delete;
    ImageQt& operator=(const ImageQt&) = delete;

    // New size, filled black; does nothing when the size is the same.
    void Redimensionner(int32_t largeur, int32_t hauteur);

    Canevas& Toile() override { return canevas_; }
    int32_t Largeur() const override { return image_.width(); }
    int32_t Hauteur() const override { return image_.height(); }
    const QImage& Pixels() const { return image_; }

private:
    QImage image_;
    QPainter peintre_;
    CanevasQt canevas_;
};

} // namespace display
