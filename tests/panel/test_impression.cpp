// Printing through a real print queue: a private CUPS server whose PDF printer writes each
// job to a file. One page per print, the picture square or over the printable area, A4 in
// portrait and landscape; a cancelled print dialog sends no job.

#include "DossierTemporaire.h"
#include "panel/Export.h"
#include "panel/ExportExemple.h"
#include "panel/PagePdf.h"
#include "support/ServeurImpression.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPrinter>

#include <algorithm>
#include <memory>

namespace {

using essais::ExportExemple;
using namespace panel;
using namespace std::chrono_literals;

// The server first, so that Qt's print support only ever sees it.
class ServeurEtApplication : public ::testing::Environment {
public:
    void SetUp() override {
        serveur_ = std::make_unique<essai::ServeurImpression>();
        static int argc = 1;
        static char nom[] = "test_impression";
        static char* argv[] = {nom, nullptr};
        application_ = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override {
        application_.reset();
        serveur_.reset();
    }
    static essai::ServeurImpression& Serveur() { return *serveur_; }

private:
    static inline std::unique_ptr<essai::ServeurImpression> serveur_;
    std::unique_ptr<QApplication> application_;
};
::testing::Environment* const environnement =
    ::testing::AddGlobalTestEnvironment(new ServeurEtApplication);

class Impression : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(serveur.Pret()) << serveur.Erreur(); }
    // Prints the example to the server's PDF queue through the command.
    IssueExport Imprime(const ReglagesImage& reglages, bool accepte, QRectF* zone = nullptr) {
        QPrinter imprimante(QPrinter::HighResolution);
        DialoguesExport d;
        d.ChoisirImpression = [&](QPrinter& p, QWidget*) {
            p.setPrinterName(QString::fromStdString(serveur.File()));
            p.setPageSize(QPageSize(QPageSize::A4));
            return accepte;
        };
        d.Avertir = [](QWidget*, const QString&, const QString& texte) {
            ADD_FAILURE() << texte.toStdString();
        };
        const IssueExport issue =
            Imprimer1Click(x.s.vue, x.options, reglages, nullptr, d, &imprimante);
        if (zone) *zone = imprimante.pageLayout().paintRect(QPageLayout::Millimeter);
        return issue;
    }

    essai::ServeurImpression& serveur = ServeurEtApplication::Serveur();
    ExportExemple x;
};

class ImpressionA4 : public Impression,
                     public ::testing::WithParamInterface<std::tuple<bool, bool>> {};

TEST_P(ImpressionA4, UnePage) {
    const auto [ajuste, paysage] = GetParam();
    ReglagesImage reglages;
    reglages.Proportions = ajuste;
    reglages.Position = paysage;
    QRectF zone;
    const auto avant = serveur.Pdf();
    ASSERT_EQ(Imprime(reglages, true, &zone), IssueExport::Fait);
    const auto fichiers = serveur.AttendPdf(avant.size() + 1, 90s);
    ASSERT_EQ(fichiers.size(), avant.size() + 1) << "no PDF from the queue";
    std::string nouveau;
    for (const std::string& f : fichiers)
        if (std::find(avant.begin(), avant.end(), f) == avant.end()) nouveau = f;
    EXPECT_NE(nouveau.find("Signal_de_l_oscilloscope"), std::string::npos) << nouveau;

    DossierTemporaire dossier;
    const essais::PagePdf page = essais::LitPdf(nouveau, dossier.Dossier().string());
    EXPECT_EQ(page.pages, 1);
    EXPECT_NEAR(std::min(page.largeurMm, page.hauteurMm), 210, 1);
    EXPECT_NEAR(std::max(page.largeurMm, page.hauteurMm), 297, 1);
    // A landscape job may come out turned on a portrait sheet, as printers feed it: the
    // picture's width then runs down the sheet.
    const bool tourne = paysage && page.largeurMm < page.hauteurMm;
    const double largeurEncre = tourne ? page.bas - page.haut : page.droite - page.gauche;
    const double hauteurEncre = tourne ? page.droite - page.gauche : page.bas - page.haut;
    // The picture: from "x (×10%)" at its top left corner to its frame's right side at 97 %
    // of the width and its last line at 95 to 100 % of the height, on the square of the
    // printable area's smaller side or over the whole area.
    const double cote = std::min(zone.width(), zone.height());
    const double W = ajuste ? zone.width() : cote, H = ajuste ? zone.height() : cote;
    EXPECT_NEAR(largeurEncre, 0.97 * W - 0.5, 2);
    EXPECT_GT(hauteurEncre, 0.94 * H);
    EXPECT_LT(hauteurEncre, 1.0 * H);
    if (!tourne) {
        EXPECT_NEAR(page.gauche, zone.left() + 0.5, 1.5);
        EXPECT_NEAR(page.haut, zone.top() + 1, 1.5);
    }
}

INSTANTIATE_TEST_SUITE_P(Cups, ImpressionA4,
                         ::testing::Combine(::testing::Bool(), ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param) ? "Ajuste" : "Carre") +
                                    (std::get<1>(info.param) ? "Paysage" : "Portrait");
                         });

TEST_F(Impression, AnnulerNEnvoieRien) {
    const size_t fichiers = serveur.Pdf().size(), travaux = serveur.TravauxTermines().size();
    ASSERT_EQ(Imprime(ReglagesImage{}, false), IssueExport::Annule);
    // A print that does go through shows the server was listening all along: it is the
    // only job and the only file.
    ASSERT_EQ(Imprime(ReglagesImage{}, true), IssueExport::Fait);
    EXPECT_EQ(serveur.AttendPdf(fichiers + 1, 90s).size(), fichiers + 1);
    EXPECT_EQ(serveur.TravauxTermines().size(), travaux + 1);
    EXPECT_TRUE(serveur.TravauxEnCours().empty());
}

} // namespace
