#include "display/CanevasQt.h"

#include <QFontMetrics>
#include <QString>

#include <algorithm>
#include <cmath>

namespace display {
namespace {

QColor EnQColor(Couleur c) {
    return QColor(c.r, c.g, c.b);
}

QRect EnQRect(const Rect& r) {
    return QRect(r.gauche, r.haut, r.droite - r.gauche, r.bas - r.haut);
}

// Dash patterns of the usual one-pixel system pens, in pen widths.
QList<qreal> Motif(StyleStylo style) {
    switch (style) {
    case StyleStylo::Tirets:
        return {18, 6};
    case StyleStylo::Points:
        return {3, 3};
    case StyleStylo::TiretPoint:
        return {9, 6, 3, 6};
    case StyleStylo::TiretPointPoint:
        return {9, 3, 3, 3, 3, 3};
    case StyleStylo::Plein:
        break;
    }
    return {};
}

} // namespace

CanevasQt::CanevasQt(QPainter& peintre, double pixelsParPoint)
    : peintre_(peintre), pixelsParPoint_(pixelsParPoint) {
    points_.reserve(2048);
}

void CanevasQt::EtatPerdu() {
    styloAJour_ = brosseAJour_ = policeAJour_ = false;
    modeStylo_ = false;
}

void CanevasQt::CouleurStylo(Couleur c) {
    const QRgb q = qRgb(c.r, c.g, c.b);
    if (stylo_.couleur == q) return;
    stylo_.couleur = q;
    styloAJour_ = false;
}

void CanevasQt::EpaisseurStylo(int32_t largeur) {
    // 0 and 1 are both one device pixel: the cheapest pen of the raster engine.
    const int32_t w = std::max(largeur, 1);
    if (stylo_.largeur == w) return;
    stylo_.largeur = w;
    styloAJour_ = false;
}

void CanevasQt::StyleDuStylo(StyleStylo style) {
    if (style == stylo_.style) return;
    stylo_.style = style;
    styloAJour_ = false;
}

void CanevasQt::ModeDuStylo(ModeStylo mode) {
    mode_ = mode;
}

void CanevasQt::CouleurBrosse(Couleur c) {
    const QColor q = EnQColor(c);
    if (couleurBrosse_ == q) return;
    couleurBrosse_ = q;
    brosseAJour_ = false;
}

void CanevasQt::StyleDeBrosse(StyleBrosse style) {
    if (style == styleBrosse_) return;
    styleBrosse_ = style;
    brosseAJour_ = false;
}

void CanevasQt::NomPolice(std::string_view nom) {
    const QString q = QString::fromUtf8(nom.data(), static_cast<qsizetype>(nom.size()));
    if (police_.family() == q) return;
    police_.setFamily(q);
    policeAJour_ = false;
}

void CanevasQt::TaillePolice(int32_t points) {
    if (points == taillePolice_) return;
    taillePolice_ = points;
    policeAJour_ = false;
}

void CanevasQt::CouleurPolice(Couleur c) {
    couleurPolice_ = EnQColor(c);
}

void CanevasQt::StyleDePolice(uint32_t style) {
    police_.setBold(style & Gras);
    police_.setItalic(style & Italique);
    police_.setUnderline(style & Souligne);
    policeAJour_ = false;
}

void CanevasQt::PreparerMode(bool stylo) {
    // The pen mode applies to the pen's drawing only.
    const bool special = stylo && mode_ != ModeStylo::Copie;
    if (!special && !modeStylo_) return;
    if (!special)
        peintre_.setCompositionMode(QPainter::CompositionMode_SourceOver);
    else if (mode_ == ModeStylo::OuExclusif)
        peintre_.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    else
        peintre_.setCompositionMode(QPainter::RasterOp_NotDestination);
    modeStylo_ = special;
}

const QPen& CanevasQt::Stylo() {
    for (int i = 0; i < nbStylosConnus_; ++i)
        if (stylosConnus_[i].cle == stylo_) return stylosConnus_[i].stylo;
    int i = nbStylosConnus_;
    if (nbStylosConnus_ < NbStylosConnus)
        ++nbStylosConnus_;
    else
        i = prochainRemplace_++ % NbStylosConnus;
    QPen stylo(QColor::fromRgb(stylo_.couleur), stylo_.largeur);
    // Wide pens end and join round, as the system's wide pens do; one-pixel lines stop
    // before their end point.
    stylo.setCapStyle(stylo_.largeur > 1 ? Qt::RoundCap : Qt::FlatCap);
    stylo.setJoinStyle(stylo_.largeur > 1 ? Qt::RoundJoin : Qt::MiterJoin);
    if (stylo_.style != StyleStylo::Plein) stylo.setDashPattern(Motif(stylo_.style));
    stylosConnus_[i] = {stylo_, stylo};
    return stylosConnus_[i].stylo;
}

void CanevasQt::PreparerStylo() {
    PreparerMode(true);
    if (!styloAJour_) {
        peintre_.setPen(Stylo());
        styloAJour_ = true;
    }
}

void CanevasQt::PreparerBrosse(bool remplir) {
    const bool pleine = remplir && styleBrosse_ == StyleBrosse::Plein;
    if (brosseAJour_ && pleine == brossePleine_) return;
    peintre_.setBrush(pleine ? QBrush(couleurBrosse_) : QBrush(Qt::NoBrush));
    brossePleine_ = pleine;
    brosseAJour_ = true;
}

void CanevasQt::PreparerPolice() {
    if (policeAJour_) return;
    police_.setPixelSize(
        std::max(1, static_cast<int>(std::lrint(taillePolice_ * pixelsParPoint_))));
    peintre_.setFont(police_);
    policeAJour_ = true;
}

void CanevasQt::DeplacerVers(int32_t x, int32_t y) {
    position_ = QPoint(x, y);
}

void CanevasQt::LigneVers(int32_t x, int32_t y) {
    PreparerStylo();
    const QPoint fin(x, y);
    peintre_.drawLine(position_, fin);
    position_ = fin;
}

void CanevasQt::Polyligne(const Point* points, int32_t nombre) {
    if (nombre < 2) return;
    if (points_.size() < static_cast<size_t>(nombre)) points_.resize(static_cast<size_t>(nombre));
    for (int32_t i = 0; i < nombre; ++i)
        points_[static_cast<size_t>(i)] = QPoint(points[i].x, points[i].y);
    PreparerStylo();
    peintre_.drawPolyline(points_.data(), nombre);
}

void CanevasQt::Rectangle(const Rect& r) {
    PreparerStylo();
    PreparerBrosse(true);
    // A one-pixel outline then covers exactly [gauche, droite) × [haut, bas).
    peintre_.drawRect(QRect(r.gauche, r.haut, r.droite - r.gauche - 1, r.bas - r.haut - 1));
}

void CanevasQt::Remplir(const Rect& r) {
    PreparerMode(false);
    peintre_.fillRect(EnQRect(r), couleurBrosse_);
}

void CanevasQt::AlignerTexte(AlignementTexte alignement) {
    alignement_ = alignement;
}

void CanevasQt::Texte(int32_t x, int32_t y, std::string_view texte) {
    PreparerMode(false);
    PreparerPolice();
    const QString q = QString::fromUtf8(texte.data(), static_cast<qsizetype>(texte.size()));
    const QFontMetrics mesures = peintre_.fontMetrics();
    const int largeur = mesures.horizontalAdvance(q);
    int gauche = x;
    if (alignement_ == AlignementTexte::Droite)
        gauche = x - largeur;
    else if (alignement_ == AlignementTexte::Centre)
        gauche = x - largeur / 2;
    peintre_.setPen(couleurPolice_);
    styloAJour_ = false;
    peintre_.drawText(QPoint(gauche, y + mesures.ascent()), q);
}

void CanevasQt::Decouper(const Rect& r) {
    peintre_.setClipRect(EnQRect(r));
}

void CanevasQt::SansDecoupe() {
    peintre_.setClipping(false);
}

void CanevasQt::CopierRectangle(const Rect& destination, const ImageMemoire& source,
                                const Rect& origine) {
    const auto* image = dynamic_cast<const ImageQt*>(&source);
    if (!image) return;
    PreparerMode(false);
    peintre_.drawImage(EnQRect(destination), image->Pixels(), EnQRect(origine));
}

ImageQt::ImageQt(int32_t largeur, int32_t hauteur)
    : image_(std::max(largeur, 1), std::max(hauteur, 1), QImage::Format_RGB32), canevas_(peintre_) {
    image_.fill(Qt::black);
    peintre_.begin(&image_);
}

ImageQt::~ImageQt() {
    peintre_.end();
}

void ImageQt::Redimensionner(int32_t largeur, int32_t hauteur) {
    largeur = std::max(largeur, 1);
    hauteur = std::max(hauteur, 1);
    if (largeur == image_.width() && hauteur == image_.height()) return;
    peintre_.end();
    image_ = QImage(largeur, hauteur, QImage::Format_RGB32);
    image_.fill(Qt::black);
    peintre_.begin(&image_);
    canevas_.EtatPerdu();
}

} // namespace display
