// The normal start-up off screen, over a private sound server: the control window, the
// scope window capturing, the options dialog over the control window, and the menu's ways
// to the other windows.
#include "ApplicationQt.h"
#include "BancDemarrage.h"
#include "shell/Demarrage.h"
#include "support/ServeurSon.h"

#include <gtest/gtest.h>

#include <QTest>
#include <QTimer>

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

} // namespace
