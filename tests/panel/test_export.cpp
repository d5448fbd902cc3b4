// The export commands with their clipboard and printer, on the off-screen platform, the
// user's answers standing in for the dialogs: the files by their names, cancelling, a
// failed write, the clipboard's three formats and printing to PDF files. (The dialogs
// themselves: test_export_dialogues.cpp.)

#include "ApplicationQt.h"
#include "DossierTemporaire.h"
#include "panel/Export.h"
#include "panel/ExportExemple.h"
#include "panel/PagePdf.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QMimeData>
#include <QPrinter>
#include <QSvgRenderer>

namespace {

using essais::Entier32;
using essais::ExportExemple;
using essais::LitPdf;
using essais::Mot32;
using namespace panel;

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// Dialogs that answer as a user would, and remember what they were shown.
struct Utilisateur {
    QString fichier;     // chosen in the save dialog; empty = Cancel
    bool imprime = true; // the print dialog's answer
    int avertissements = 0;
    QString titre, texte;
    std::string dossierDialogue = "?";

    DialoguesExport Dialogues() {
        DialoguesExport d;
        d.ChoisirFichier = [this](QWidget*, const std::string& dossier) {
            dossierDialogue = dossier;
            return fichier;
        };
        d.ChoisirImpression = [this](QPrinter&, QWidget*) { return imprime; };
        d.Avertir = [this](QWidget*, const QString& t, const QString& m) {
            ++avertissements;
            titre = t;
            texte = m;
        };
        return d;
    }
};

// The name chosen decides the format; the folder is remembered for the next opening.
TEST(CommandesExport, ExtensionsDesFichiers) {
    ExportExemple x;
    struct Cas {
        const char* tape;
        const char* fichier;
        bool wmf;
    };
    const Cas cas[] = {
        {"x.EmF", "x.EmF", false},
        {"x.wmf", "x.wmf", true},
        {"x.svgz", "x.svgz", false},
        {"x", "x", false}, // (the dialog itself adds ".wmf" to a name typed bare)
    };
    for (const Cas& c : cas) {
        DossierTemporaire dossier;
        Utilisateur u;
        u.fichier = Q(dossier.Chemin(c.tape));
        std::string InitialMetaDir = "/tmp";
        EXPECT_EQ(Mtafichier1Click(x.s.vue, x.options, ReglagesImage{}, InitialMetaDir, nullptr,
                                   u.Dialogues()),
                  IssueExport::Fait)
            << c.tape;
        EXPECT_EQ(u.dossierDialogue, "/tmp");
        EXPECT_EQ(InitialMetaDir, dossier.Dossier().string());
        EXPECT_EQ(dossier.Fichiers(), std::vector<std::string>{c.fichier}) << c.tape;
        const std::string octets = LitFichier(dossier.Chemin(c.fichier));
        ASSERT_GT(octets.size(), 100u);
        if (c.wmf) {
            EXPECT_EQ(Mot32(octets, 0), 0x9AC6CDD7u) << c.tape;
        } else {
            EXPECT_EQ(octets.substr(40, 4), " EMF") << c.tape;
            EXPECT_EQ(Entier32(octets, 16), 2500);
            EXPECT_EQ(Entier32(octets, 32), 15000);
        }
        EXPECT_EQ(u.avertissements, 0);
    }
}

TEST(CommandesExport, AnnulerNeLaisseRien) {
    ExportExemple x;
    DossierTemporaire dossier;
    Utilisateur u; // answers Cancel
    std::string InitialMetaDir = dossier.Dossier().string();
    EXPECT_EQ(Mtafichier1Click(x.s.vue, x.options, ReglagesImage{}, InitialMetaDir, nullptr,
                               u.Dialogues()),
              IssueExport::Annule);
    EXPECT_EQ(InitialMetaDir, dossier.Dossier().string());
    EXPECT_TRUE(dossier.Fichiers().empty());

    // Nor does cancelling the print dialog: no page reaches the printer's file.
    QPrinter imprimante(QPrinter::HighResolution);
    imprimante.setOutputFormat(QPrinter::PdfFormat);
    imprimante.setOutputFileName(Q(dossier.Chemin("page.pdf")));
    u.imprime = false;
    EXPECT_EQ(
        Imprimer1Click(x.s.vue, x.options, ReglagesImage{}, nullptr, u.Dialogues(), &imprimante),
        IssueExport::Annule);
    EXPECT_TRUE(dossier.Fichiers().empty());
    EXPECT_EQ(u.avertissements, 0);
}

TEST(CommandesExport, EcritureImpossibleSignalee) {
    ExportExemple x;
    DossierTemporaire dossier;
    const std::string chemin = dossier.Chemin("courbe.emf");
    Utilisateur u;
    u.fichier = Q(chemin);
    DialoguesExport d = u.Dialogues();
    // The folder vanishes between the choice and the write.
    d.ChoisirFichier = [&](QWidget*, const std::string&) {
        ::rmdir(dossier.Dossier().c_str());
        return Q(chemin);
    };
    std::string InitialMetaDir;
    EXPECT_EQ(Mtafichier1Click(x.s.vue, x.options, ReglagesImage{}, InitialMetaDir, nullptr, d),
              IssueExport::Echec);
    EXPECT_EQ(u.avertissements, 1);
    EXPECT_EQ(u.titre, "Tamburella");
    EXPECT_TRUE(u.texte.contains(Q(chemin))) << u.texte.toStdString();
    EXPECT_FALSE(std::filesystem::exists(chemin));
}

// The vector picture for office suites, SVG for drawing programs, PNG for the rest.
TEST(CommandesExport, PressePapiers) {
    ExportExemple x;
    Copier1Click(x.s.vue, x.options);
    const QMimeData* donnees = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(donnees, nullptr);
    for (const char* format : {"image/x-emf", "image/svg+xml", "image/png"})
        EXPECT_TRUE(donnees->hasFormat(format)) << format;
    EXPECT_TRUE(donnees->hasImage());

    const QByteArray emf = donnees->data("image/x-emf");
    const std::string octets(emf.constData(), static_cast<size_t>(emf.size()));
    ASSERT_GT(octets.size(), 108u);
    EXPECT_EQ(octets.substr(40, 4), " EMF");
    EXPECT_EQ(Entier32(octets, 16), 2000); // 2000 × 2000 units
    EXPECT_EQ(Entier32(octets, 20), 2000);
    EXPECT_EQ(Entier32(octets, 32), 52917); // at 96 dpi: 529.17 mm
    EXPECT_EQ(Mot32(octets, 48), octets.size());

    const QByteArray svg = donnees->data("image/svg+xml");
    EXPECT_TRUE(QSvgRenderer(svg).isValid());
    EXPECT_TRUE(svg.contains("Tamburella v0.88"));
    EXPECT_TRUE(svg.contains("viewBox=\"0 0 2000 2000\""));

    QImage png;
    ASSERT_TRUE(png.loadFromData(donnees->data("image/png"), "PNG"));
    ASSERT_EQ(png.size(), QSize(CotePng, CotePng));
    // Black frame on white: its left side at 7 % of the width, from 5 % to 90 % in height.
    const auto sombre = [&](int px, int py) { return qGray(png.pixel(px, py)) < 128; };
    int cadre = 0;
    for (int py = 60; py < 890; py += 10)
        cadre += sombre(70, py) || sombre(69, py) || sombre(71, py);
    EXPECT_GE(cadre, 80);
    EXPECT_FALSE(sombre(500, 995));
    EXPECT_EQ(qGray(png.pixel(999, 0)), 255);
}

// One page, the picture on the printable area's top-left square or over all of it.
class ImpressionPdf : public ::testing::TestWithParam<std::tuple<bool, bool>> {};

TEST_P(ImpressionPdf, UnePage) {
    const auto [ajuste, paysage] = GetParam();
    ExportExemple x;
    DossierTemporaire dossier;
    QPrinter imprimante(QPrinter::HighResolution);
    imprimante.setOutputFormat(QPrinter::PdfFormat);
    imprimante.setOutputFileName(Q(dossier.Chemin("page.pdf")));
    imprimante.setPageSize(QPageSize(QPageSize::A4));
    Utilisateur u;
    DialoguesExport d = u.Dialogues();
    QString titre;
    QPageLayout::Orientation orientation{};
    d.ChoisirImpression = [&](QPrinter& p, QWidget*) {
        titre = p.docName();
        orientation = p.pageLayout().orientation();
        return true;
    };
    ReglagesImage reglages;
    reglages.Proportions = ajuste;
    reglages.Position = paysage;
    ASSERT_EQ(Imprimer1Click(x.s.vue, x.options, reglages, nullptr, d, &imprimante),
              IssueExport::Fait);
    EXPECT_EQ(titre, "Signal de l'oscilloscope");
    EXPECT_EQ(orientation, paysage ? QPageLayout::Landscape : QPageLayout::Portrait);

    const QRectF zone = imprimante.pageLayout().paintRect(QPageLayout::Millimeter);
    const essais::PagePdf page = LitPdf(dossier.Chemin("page.pdf"), dossier.Dossier().string());
    EXPECT_EQ(page.pages, 1);
    EXPECT_NEAR(page.largeurMm, paysage ? 297 : 210, 1);
    EXPECT_NEAR(page.hauteurMm, paysage ? 210 : 297, 1);
    const double cote = std::min(zone.width(), zone.height());
    const double W = ajuste ? zone.width() : cote, H = ajuste ? zone.height() : cote;
    // "x (×10%)" at the top left corner; the frame's right side at 97 % of the width;
    // the axis title's last line at 95 % to 100 % of the height.
    EXPECT_NEAR(page.gauche, zone.left() + 0.5, 1.5);
    EXPECT_NEAR(page.haut, zone.top() + 1, 1.5);
    EXPECT_NEAR(page.droite, zone.left() + 0.97 * W, 1.5);
    EXPECT_GT(page.bas, zone.top() + 0.95 * H);
    EXPECT_LT(page.bas, zone.top() + 1.0 * H);
    // The text stays text: the page is vector.
    EXPECT_NE(
        essais::Sortie("pdftotext '" + dossier.Chemin("page.pdf") + "' -").find("Tamburella v0.88"),
        std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(A4, ImpressionPdf,
                         ::testing::Combine(::testing::Bool(), ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param) ? "Ajuste" : "Carre") +
                                    (std::get<1>(info.param) ? "Paysage" : "Portrait");
                         });

} // namespace
