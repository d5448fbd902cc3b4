#include "panel/Export.h"

#include "display/CanevasMetafichier.h"
#include "display/CanevasQt.h"

#include <QBuffer>
#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QImage>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QSvgGenerator>

#include <memory>
#include <utility>

namespace panel {
namespace {

const QString FormatEmf = QStringLiteral("image/x-emf");
const QString FormatSvg = QStringLiteral("image/svg+xml");
const QString FormatPng = QStringLiteral("image/png");
const QString FormatImageQt = QStringLiteral("application/x-qt-image");

QByteArray EnSvg(const display::ImageEnregistree& image) {
    QByteArray octets;
    QBuffer tampon(&octets);
    tampon.open(QIODevice::WriteOnly);
    QSvgGenerator svg;
    svg.setOutputDevice(&tampon);
    svg.setSize(QSize(image.Largeur(), image.Hauteur()));
    svg.setViewBox(QRect(0, 0, image.Largeur(), image.Hauteur()));
    svg.setTitle(QString::fromUtf8(TitreImpression));
    QPainter peintre(&svg);
    PeindreImage(image, peintre, QRect(0, 0, image.Largeur(), image.Hauteur()));
    peintre.end();
    return octets;
}

// Black on white: a transparent picture would vanish on a dark background.
QImage EnImage(const display::ImageEnregistree& image) {
    const double echelle =
        static_cast<double>(CotePng) / std::max(image.Largeur(), image.Hauteur());
    QImage pixels(std::max(1, qRound(image.Largeur() * echelle)),
                  std::max(1, qRound(image.Hauteur() * echelle)), QImage::Format_RGB32);
    pixels.fill(Qt::white);
    QPainter peintre(&pixels);
    peintre.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    PeindreImage(image, peintre, pixels.rect());
    peintre.end();
    return pixels;
}

QByteArray EnPng(const QImage& image) {
    QByteArray octets;
    QBuffer tampon(&octets);
    tampon.open(QIODevice::WriteOnly);
    image.save(&tampon, "PNG");
    return octets;
}

// The vector picture is on the clipboard at once; the other forms are made only when a
// program asks for them, from the recording taken at the copy.
class DonneesImage : public QMimeData {
public:
    explicit DonneesImage(display::ImageEnregistree image) : image_(std::move(image)) {
        const std::string emf =
            display::EnEmf(image_, platform::CadreEcran(image_.Largeur(), image_.Hauteur()));
        if (!emf.empty())
            setData(FormatEmf, QByteArray(emf.data(), static_cast<qsizetype>(emf.size())));
    }

    QStringList formats() const override {
        QStringList liste = QMimeData::formats();
        liste << FormatSvg << FormatPng << FormatImageQt;
        return liste;
    }

protected:
    QVariant retrieveData(const QString& format, QMetaType type) const override {
        if (format == FormatSvg) {
            if (svg_.isEmpty()) svg_ = EnSvg(image_);
            return svg_;
        }
        if (format == FormatPng || format == FormatImageQt) {
            if (pixels_.isNull()) pixels_ = EnImage(image_);
            if (format == FormatImageQt) return pixels_;
            if (png_.isEmpty()) png_ = EnPng(pixels_);
            return png_;
        }
        return QMimeData::retrieveData(format, type);
    }

private:
    display::ImageEnregistree image_;
    mutable QByteArray svg_, png_;
    mutable QImage pixels_;
};

QString Texte(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

} // namespace

DialoguesExport DialoguesSysteme() {
    DialoguesExport d;
    d.ChoisirFichier = [](QWidget* parent, const std::string& InitialMetaDir) {
        QFileDialog dialogue(parent);
        PrepareDialogueMetafichier(dialogue, InitialMetaDir);
        if (dialogue.exec() != QDialog::Accepted || dialogue.selectedFiles().isEmpty())
            return QString();
        return dialogue.selectedFiles().first();
    };
    d.ChoisirImpression = [](QPrinter& imprimante, QWidget* parent) {
        QPrintDialog dialogue(&imprimante, parent);
        return dialogue.exec() == QDialog::Accepted;
    };
    d.Avertir = [](QWidget* parent, const QString& titre, const QString& texte) {
        QString lignes = texte;
        lignes.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        QMessageBox::warning(parent, titre, lignes);
    };
    return d;
}

void PeindreImage(const display::ImageEnregistree& image, QPainter& peintre, const QRect& cible) {
    peintre.save();
    peintre.setViewport(cible);
    peintre.setWindow(0, 0, image.Largeur(), image.Hauteur());
    // Fonts sized in the picture's units: 96 dpi screen pixels per point, as recorded.
    display::CanevasQt canevas(peintre, 96.0 / 72.0);
    image.Rejouer(canevas);
    peintre.restore();
}

QMimeData* DonneesPressePapiers(display::ImageEnregistree image) {
    return new DonneesImage(std::move(image));
}

void Copier1Click(const display::VueScope& vue, const display::OptionsExport& options) {
    QGuiApplication::clipboard()->setMimeData(DonneesPressePapiers(
        ImageMetafichier(vue, options, HauteurMetafichier, HauteurMetafichier)));
}

void PrepareDialogueMetafichier(QFileDialog& dialogue, const std::string& InitialMetaDir) {
    dialogue.setWindowTitle(QString::fromUtf8(TitreDialogueMetafichier));
    dialogue.setAcceptMode(QFileDialog::AcceptSave);
    dialogue.setFileMode(QFileDialog::AnyFile);
    dialogue.setNameFilter(QString::fromUtf8(FiltreMetafichiers));
    dialogue.setDefaultSuffix(QString::fromUtf8(ExtensionMetafichier));
    dialogue.setOption(QFileDialog::DontConfirmOverwrite, false);
    if (!InitialMetaDir.empty()) dialogue.setDirectory(Texte(InitialMetaDir));
}

IssueExport Mtafichier1Click(const display::VueScope& vue, const display::OptionsExport& options,
                             const ReglagesImage& reglages, std::string& InitialMetaDir,
                             QWidget* parent, const DialoguesExport& dialogues) {
    const QString choix = dialogues.ChoisirFichier(parent, InitialMetaDir);
    if (choix.isEmpty()) return IssueExport::Annule;
    const QByteArray nom = QFile::encodeName(choix);
    const std::string chemin(nom.constData(), static_cast<size_t>(nom.size()));
    InitialMetaDir = DossierDuFichier(chemin);

    const display::ImageEnregistree image =
        ImageMetafichier(vue, options, LargeurMetafichier(reglages.LargGraph, reglages.HautGraph),
                         HauteurMetafichier);
    const std::string contenu =
        ContenuMetafichier(image, FormatDuNom(chemin), reglages.LargGraph, reglages.HautGraph);
    if (EcritMetafichier(chemin, contenu)) return IssueExport::Fait;
    if (dialogues.Avertir)
        dialogues.Avertir(parent, QString::fromUtf8(TitreExport),
                          QString::fromUtf8(MessageEcritureImpossible(choix.toStdString())));
    return IssueExport::Echec;
}

void PrepareImprimante(QPrinter& imprimante, const ReglagesImage& reglages) {
    imprimante.setDocName(QString::fromUtf8(TitreImpression));
    imprimante.setPageOrientation(reglages.Position ? QPageLayout::Landscape
                                                    : QPageLayout::Portrait);
}

IssueExport Imprimer1Click(const display::VueScope& vue, const display::OptionsExport& options,
                           const ReglagesImage& reglages, QWidget* parent,
                           const DialoguesExport& dialogues, QPrinter* imprimante) {
    std::unique_ptr<QPrinter> locale;
    if (!imprimante) {
        locale = std::make_unique<QPrinter>(QPrinter::HighResolution);
        imprimante = locale.get();
    }
    PrepareImprimante(*imprimante, reglages);
    if (!dialogues.ChoisirImpression(*imprimante, parent)) return IssueExport::Annule;
    QPainter peintre;
    bool reussi = peintre.begin(imprimante);
    if (reussi) {
        // The printable area as the user's choices left it.
        const QPageLayout page = imprimante->pageLayout();
        const QRectF mm = page.paintRect(QPageLayout::Millimeter);
        const QRect pixels = page.paintRectPixels(imprimante->resolution());
        const MiseEnPage mise = CalculeMiseEnPage(reglages.Proportions, mm.width(), mm.height(),
                                                  pixels.width(), pixels.height());
        const display::ImageEnregistree image = ImageMetafichier(vue, options, mise.w, mise.h);
        PeindreImage(image, peintre,
                     QRect(mise.cible.gauche, mise.cible.haut,
                           mise.cible.droite - mise.cible.gauche,
                           mise.cible.bas - mise.cible.haut));
        reussi = peintre.end();
    }
    if (reussi) return IssueExport::Fait;
    if (dialogues.Avertir) {
        const QString nom = imprimante->outputFileName().isEmpty() ? imprimante->printerName()
                                                                   : imprimante->outputFileName();
        dialogues.Avertir(parent, QString::fromUtf8(TitreExport),
                          QStringLiteral("Impossible d'imprimer sur\r") + nom);
    }
    return IssueExport::Echec;
}

} // namespace panel
