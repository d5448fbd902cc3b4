// The normal start-up off screen, over a private sound server: the control window, the
// scope window capturing, the options dialog over the control window, and the menu's ways
// to the other windows.
#include "ApplicationQt.h"
#include "BancDemarrage.h"
#include "platform/Ini.h"
#include "shell/Demarrage.h"
#include "support/ServeurSon.h"
#include "ui_UOptions.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QClipboard>
#include <QMimeData>
#include <QTest>
#include <QTimer>

#include <utility>

namespace {

using namespace shell;

// Before the first ALSA call of the process: ALSA routes "default" to the server only if
// one answered when it read its configuration.
struct BancSon {
    essai::ServeurSon serveur;
    BancDemarrage banc;
};

TEST(Demarrage, ModeNormalFenetresEtMenu) {
    BancSon s;
    ASSERT_TRUE(s.serveur.Pret());
    BancDemarrage& b = s.banc;
    Application a(ModeDemarrage::Normal, b.ini, b.gene);
    EXPECT_EQ(QApplication::applicationName(), "Oscilloscope");
    ASSERT_NE(a.Form1(), nullptr);
    ASSERT_NE(a.Affichage(), nullptr);
    EXPECT_EQ(a.FenetrePrincipale(), a.Form1());
    EXPECT_TRUE(a.Form1()->isVisible());
    EXPECT_TRUE(a.Affichage()->isVisible());
    EXPECT_EQ(a.Affichage()->windowTitle(), "Scope");
    EXPECT_FALSE(a.Affichage()->EnPause());
    ASSERT_NE(a.FormOption(), nullptr) << "the options dialog works over the control window";
    EXPECT_FALSE(a.GeneForm()->isVisible());

    a.Form1()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(a.Form1()));
    QTest::keyClick(a.Form1(), Qt::Key_G, Qt::ControlModifier);
    EXPECT_TRUE(a.GeneForm()->isVisible());
    QTest::keyClick(a.Form1(), Qt::Key_O, Qt::ControlModifier);
    EXPECT_TRUE(a.FormOption()->isVisible());
    a.FormOption()->hide();

    // The generator closes alone; the main window keeps the program running.
    a.GeneForm()->close();
    QTimer::singleShot(200, [] { QCoreApplication::exit(7); });
    EXPECT_EQ(QApplication::exec(), 7);
    EXPECT_TRUE(a.Form1()->isVisible());
    a.Form1()->close();
}

// The menu's other commands over the running capture, and what the next start keeps of
// them: the picture on the clipboard in its three formats, the about window, hints
// switched off in both windows from the options dialog, the generator left open.
TEST(Demarrage, LeMenuEtCeQueLeProchainDemarrageGarde) {
    BancSon s;
    ASSERT_TRUE(s.serveur.Pret());
    BancDemarrage& b = s.banc;
    {
        Application a(ModeDemarrage::Normal, b.ini, b.gene);
        ASSERT_NE(a.Form1(), nullptr);
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return a.Affichage()->Etat().CompteurAct.load() != 0; }, 20000))
            << "frames presented";
        // The shortcuts go to the control window once it is active.
        auto touche = [&](Qt::Key k) {
            a.Form1()->activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(a.Form1()));
            QTest::keyClick(a.Form1(), k, Qt::ControlModifier);
        };

        touche(Qt::Key_C);
        const QMimeData* copie = QGuiApplication::clipboard()->mimeData();
        ASSERT_NE(copie, nullptr);
        for (const char* format : {"image/x-emf", "image/svg+xml", "image/png"})
            EXPECT_TRUE(copie->hasFormat(format)) << format;
        EXPECT_EQ(copie->data("image/x-emf").mid(40, 4), " EMF");

        bool infoVue = false;
        QTimer::singleShot(0, [&] {
            infoVue = a.FormInfo()->isVisible() && a.FormInfo()->isModal();
            a.FormInfo()->reject();
        });
        a.Form1()->Action("Aproposde2")->trigger();
        EXPECT_TRUE(infoVue) << "the about window, modal";

        touche(Qt::Key_G);
        EXPECT_TRUE(a.GeneForm()->isVisible());
        touche(Qt::Key_O);
        ASSERT_TRUE(a.FormOption()->isVisible());
        a.FormOption()->Controles().CheckBoxBulles->click();
        a.FormOption()->Controles().ButtonOk->click();
        EXPECT_FALSE(a.FormOption()->isVisible());
        EXPECT_TRUE(a.Form1()->toolTip().isEmpty());
        EXPECT_TRUE(a.Form1()->findChild<QAbstractButton*>("Pause")->toolTip().isEmpty());
        EXPECT_FALSE(a.GeneForm()->Panneau().Bulles());
        a.Form1()->close();
    }
    // Every window wrote its sections.
    const platform::FichierIni ini(b.ini);
    EXPECT_EQ(ini.LitEntier("Defaut", "VisibleGene", -1), 1);
    EXPECT_EQ(ini.LitEntier("Options", "Bulles", -1), 0);
    const std::pair<const char*, const char*> cles[] = {
        {"FenetreControl", "Gauche"}, {"Ecran", "Largeur"},
        {"Curseurs", "Xcurs1"},       {"FenetreOptions", "PageIndex"},
        {"FenêtreGéné", "Gauche"},    {"Générateur", "Fréquence"},
        {"OptionsGéné", "Fe"}};
    for (const auto& [section, cle] : cles)
        EXPECT_NE(ini.LitTexte(section, cle, "absent"), "absent") << section;

    Application a(ModeDemarrage::Normal, b.ini, b.gene);
    ASSERT_NE(a.Form1(), nullptr);
    EXPECT_TRUE(a.GeneForm()->isVisible()) << "VisibleGene";
    EXPECT_TRUE(a.Form1()->toolTip().isEmpty());
    EXPECT_FALSE(a.GeneForm()->Panneau().Bulles());
    a.Form1()->close();
}

} // namespace
