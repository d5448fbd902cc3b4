// The generator window and its options dialog, off screen, over a stream without sound:
// the settings read and written, the modes and their layouts, the keys, the read-out of
// the sweep, the messages, and the apply of the options.
#include "ApplicationQt.h"
#include "DossierTemporaire.h"
#include "FluxFactice.h"
#include "generator/UGene.h"
#include "generator/UnitGeneOptions.h"
#include "platform/Ini.h"
#include "platform/Locale.h"
#include "ui_UGene.h"
#include "ui_UnitGeneOptions.h"

#include <gtest/gtest.h>

#include <QMenu>
#include <QTest>
#include <QToolTip>

#include <memory>
#include <string>
#include <vector>

namespace {

using namespace generator;

// Three outputs: the default one takes every rate, "Carte" takes 8000, 11025 and 22050 Hz,
// "Muette" takes none.
TablesSorties TablesEssai() {
    TablesSorties t;
    t.NbSorties = 2;
    t.NomsSorties[0] = "Sortie par défaut";
    t.NomsSorties[1] = "Carte";
    t.NomsSorties[2] = "Muette";
    t.IdentifiantsSorties = {"", "carte", "muette"};
    t.FeSupportesSortie[0].fill(1);
    t.FeSupportesSortie[1] = {1, 1, 0, 1, 0, 0, 0};
    t.MeilleurFeSortie.fill(-1);
    t.MeilleurFeSortie[0] = 6;
    t.MeilleurFeSortie[1] = 3;
    return t;
}

struct BancGene {
    DossierTemporaire dossier;
    std::string ini = dossier.Chemin("tamburella.ini");
    ContexteGene contexte;
    FluxFactice* flux = nullptr;
    std::unique_ptr<TGeneForm> fenetre;
    std::vector<MessageGene> messages;

    explicit BancGene(const std::string& reglages = "") {
        platform::ImposeSeparateurDecimal(',');
        if (!reglages.empty()) EcritFichier(ini, reglages);
        auto f = std::make_unique<FluxFactice>();
        flux = f.get();
        InitGene(contexte, TablesEssai(), std::move(f));
        const TablesSorties& t = contexte.Tables;
        contexte.RequeteFormat = [&t](int32_t d, int32_t fe) {
            for (size_t i = 0; i < engine::TableFe.size(); ++i)
                if (engine::TableFe[i] == fe)
                    return t.FeSupportesSortie[TablesSorties::Indice(d)][i] != 0;
            return false;
        };
        Cree();
    }
    ~BancGene() {
        fenetre.reset();
        platform::ImposeSeparateurDecimal('\0');
    }
    void Cree() {
        fenetre = std::make_unique<TGeneForm>(contexte, ini);
        fenetre->MontreMessage = [this](const MessageGene& m) { messages.push_back(m); };
    }
    void Montre() {
        fenetre->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(fenetre.get()));
    }
    Ui::TGeneForm& ui() { return fenetre->Controles(); }
    Generateur& g() { return *contexte.Gene; }
    // Ends the window as the program does at its end: closed, then destroyed.
    std::string Ferme() {
        fenetre->close();
        fenetre.reset();
        return LitFichier(ini);
    }
};

std::string Section(const std::string& nom, const std::string& cles) {
    return "[" + nom + "]\r\n" + cles;
}

// The output's settings with their checks, as the window takes them at its creation.
TEST(FenetreGene, LaSortieEtLaFrequenceLuesSontVerifiees) {
    struct Cas {
        const char* options;
        int32_t noSortie;
        int32_t fe;
        const char* identifiant;
    } cas[] = {
        {"", -1, 44100, ""},
        {"NoSortie=5\r\n", -1, 44100, ""}, // beyond the devices: the default output
        {"NoSortie=-2\r\n", -1, 44100, ""},
        {"NoSortie=0\r\nFe=44100\r\n", 0, 22050, "carte"}, // refused: the highest accepted
        {"NoSortie=0\r\nFe=11025\r\n", 0, 11025, "carte"},
        {"NoSortie=1\r\nFe=44100\r\n", 1, 44100, "muette"}, // accepts none: kept
    };
    for (const Cas& c : cas) {
        // Section names are stored in Windows-1252.
        BancGene b(Section("OptionsG\xe9n\xe9", c.options));
        SCOPED_TRACE(c.options);
        EXPECT_EQ(b.fenetre->Panneau().Configuration().NoSortie, c.noSortie);
        EXPECT_EQ(b.g().Synth.FeGene, c.fe);
        EXPECT_EQ(b.g().Sortie.Format.Fe, c.fe);
        EXPECT_EQ(b.g().Sortie.Identifiant, c.identifiant);
    }
}

TEST(FenetreGene, LaFormeChoisieGriseOuNonLaFrequence) {
    struct Cas {
        Forme forme;
        bool frequence;
    } cas[] = {{BruitBlanc, false}, {Dirac, true}, {Sinusoidal, true}, {Carre, true}};
    BancGene b;
    b.Montre();
    for (const Cas& c : cas) {
        b.ui().ComboBoxPredef->setCurrentIndex(c.forme);
        emit b.ui().ComboBoxPredef->activated(c.forme);
        EXPECT_EQ(b.ui().EditFreq->isEnabled(), c.frequence) << c.forme;
        EXPECT_EQ(b.ui().Label4->isEnabled(), c.frequence) << c.forme;
        EXPECT_FALSE(b.g().Synth.ApercuErreur);
    }
    // "Bruit Blanc" stored: the frequency is grey from the start.
    BancGene stocke(Section("G\xe9n\xe9rateur", "Predefini=5\r\n"));
    EXPECT_FALSE(stocke.ui().EditFreq->isEnabled());
    EXPECT_EQ(stocke.ui().ComboBoxPredef->currentIndex(), BruitBlanc);
}

TEST(FenetreGene, EntreeEnLectureRemetEnFileAussitotAuReposRecalculeSeulement) {
    BancGene b;
    b.Montre();
    // Idle: the preview is recomputed, nothing opens.
    b.ui().EditFreq->setText("1000");
    QTest::keyClick(b.ui().EditFreq, Qt::Key_Return);
    EXPECT_EQ(b.flux->Ouvertures, 0);
    EXPECT_EQ(b.g().Synth.NbEchantillons, 8158);

    QTest::mouseClick(b.ui().Go, Qt::LeftButton);
    ASSERT_TRUE(b.g().Sortie.EnLecture);
    ASSERT_EQ(b.flux->LongueursEcrites.size(), 1u);
    const int reinit = b.flux->Reinitialisations;
    // Playing: Enter in the frequency field re-queues the new buffer at once.
    b.ui().EditFreq->setText("441");
    QTest::keyClick(b.ui().EditFreq, Qt::Key_Enter);
    ASSERT_GE(b.flux->LongueursEcrites.size(), 2u);
    EXPECT_EQ(b.flux->LongueursEcrites.back(), 8100u * 2);
    EXPECT_GT(b.flux->Reinitialisations, reinit);
    EXPECT_EQ(b.flux->Ouvertures, 1);
    EXPECT_EQ(b.ui().EditFreq->text(), "441") << "Enter is consumed";
}

TEST(FenetreGene, UnPointTapeDevientLeSeparateurDansChaqueChamp) {
    BancGene b;
    b.Montre();
    for (QLineEdit* e : {b.ui().EditNiveau, b.ui().EditFreq, b.ui().Editf1, b.ui().EditDuree}) {
        e->clear();
        QTest::keyClicks(e, "0.5");
        EXPECT_EQ(e->text(), "0,5") << e->objectName().toStdString();
    }
}

TEST(FenetreGene, CtrlMajFaitSurgirLeMenuEtLesRaccourcisChangentDeMode) {
    BancGene b;
    b.Montre();
    b.fenetre->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(b.fenetre.get()));
    QTest::keyPress(b.ui().EditFreq, Qt::Key_Shift, Qt::ControlModifier | Qt::ShiftModifier);
    QMenu* menu = b.fenetre->PopupMenu1();
    EXPECT_TRUE(menu->isVisible());
    QTest::keyRelease(b.ui().EditFreq, Qt::Key_Shift, Qt::ControlModifier);
    // Enter in the menu chooses its item; it is not the window's Enter.
    menu->setActiveAction(b.ui().Utilisateur);
    QTest::keyClick(menu, Qt::Key_Return);
    EXPECT_TRUE(b.ui().Utilisateur->isChecked());
    EXPECT_FALSE(menu->isVisible());

    struct Cas {
        Qt::Key touche;
        bool sweep, utilisateur;
        const char* titre;
    } cas[] = {{Qt::Key_U, false, true, "Générateur de son"},
               {Qt::Key_S, true, false, "Sweep"},
               {Qt::Key_P, false, false, "Générateur de son"}};
    for (const Cas& c : cas) {
        QTest::keyClick(b.fenetre.get(), c.touche, Qt::ControlModifier);
        EXPECT_EQ(b.ui().Sweep1->isChecked(), c.sweep) << c.titre;
        EXPECT_EQ(b.ui().Utilisateur->isChecked(), c.utilisateur);
        EXPECT_EQ(b.fenetre->windowTitle().toStdString(), c.titre);
        EXPECT_EQ(b.fenetre->size(), c.sweep ? QSize(167, 169) : QSize(378, 131));
        EXPECT_EQ(b.ui().EditFonction->isVisible(), c.utilisateur);
        EXPECT_EQ(b.ui().ComboBoxPredef->isVisible(), !c.utilisateur && !c.sweep);
    }
    bool options = false;
    b.fenetre->MontreOptions = [&] { options = true; };
    QTest::keyClick(b.fenetre.get(), Qt::Key_O, Qt::ControlModifier);
    EXPECT_TRUE(options);
}

// Between "Prédéfini" and "Utilisateur" the output keeps playing the new signal; to or
// from "Sweep" the layout changes and the output is stopped and closed.
TEST(FenetreGene, LesChangementsDeModeFermentLaSortieSeulementVersOuDepuisLeSweep) {
    BancGene b;
    b.Montre();
    QTest::mouseClick(b.ui().Go, Qt::LeftButton);
    ASSERT_TRUE(b.g().Sortie.EnLecture);
    b.ui().Utilisateur->trigger();
    EXPECT_TRUE(b.g().Sortie.EnLecture);
    EXPECT_EQ(b.flux->Fermetures, 0);
    for (QWidget* w : {static_cast<QWidget*>(b.ui().EditFonction), static_cast<QWidget*>(b.ui().Ea),
                       static_cast<QWidget*>(b.ui().Eb), static_cast<QWidget*>(b.ui().EditFreq)})
        EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();

    b.ui().Sweep1->trigger();
    EXPECT_FALSE(b.g().Sortie.EnLecture);
    EXPECT_FALSE(b.g().Sortie.SortieOuverte);
    EXPECT_EQ(b.flux->Fermetures, 1);
    EXPECT_TRUE(b.ui().Panel3->isVisible());
    EXPECT_FALSE(b.ui().Panel2->isVisible());

    QTest::mouseClick(b.ui().GoSweep, Qt::LeftButton);
    ASSERT_TRUE(b.g().Sortie.EnLecture);
    EXPECT_TRUE(b.fenetre->Timer1().isActive());
    b.ui().Predefini->trigger();
    EXPECT_FALSE(b.g().Sortie.SortieOuverte);
    EXPECT_FALSE(b.fenetre->Timer1().isActive());
    EXPECT_TRUE(b.ui().ComboBoxPredef->isVisible());
    EXPECT_FALSE(b.ui().Ea->isEnabled());
}

TEST(FenetreGene, LesErreursDeSaisieVontDansLApercuEtCellesDeLaSortieEnMessage) {
    BancGene b;
    b.Montre();
    b.fenetre->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(b.fenetre.get()));
    QTest::mouseClick(b.ui().Calcul, Qt::LeftButton);
    ASSERT_FALSE(b.g().Synth.ApercuErreur);
    const QImage trace = b.fenetre->Image();
    b.ui().EditNiveau->setText("beaucoup");
    QTest::mouseClick(b.ui().Calcul, Qt::LeftButton);
    EXPECT_TRUE(b.g().Synth.ApercuErreur);
    EXPECT_NE(b.fenetre->Image(), trace);
    EXPECT_TRUE(b.ui().EditNiveau->hasFocus());
    EXPECT_EQ(b.ui().EditNiveau->selectedText(), "beaucoup");
    EXPECT_TRUE(b.messages.empty());

    // A sweep field: the read-out says so.
    b.ui().Sweep1->trigger();
    b.ui().Editf2->setText("?");
    QTest::mouseClick(b.ui().GoSweep, Qt::LeftButton);
    EXPECT_EQ(b.ui().Panel4->text(), "Erreur !");

    // The device: a message box.
    b.ui().Predefini->trigger();
    b.ui().EditNiveau->setText("0,5");
    b.flux->ResultatOuvrir = platform::ResultatOuverture::Indisponible;
    QTest::mouseClick(b.ui().Go, Qt::LeftButton);
    ASSERT_EQ(b.messages.size(), 1u);
    EXPECT_EQ(b.messages[0].Titre, "Problème");
    EXPECT_EQ(b.messages[0].Texte, MessageSortieIndisponible);
    EXPECT_EQ(b.messages[0].Symbole, Icone::Erreur);
}

TEST(FenetreGene, UnSweepCourtVaJusquAuBoutEtLaLectureFinitSurF2) {
    BancGene b(Section("G\xe9n\xe9rateur", "Choix=2\r\nf1=100\r\nf2=2000\r\nDur\xe9"
                                           "e=0,5\r\n"));
    b.Montre();
    EXPECT_TRUE(b.ui().Panel3->isVisible());
    EXPECT_EQ(b.ui().Panel4->text(), "0 Hz ");
    QTest::keyClick(b.ui().EditDuree, Qt::Key_Return); // Enter in the sweep is its Go
    ASSERT_TRUE(b.g().Sortie.EnLecture);
    EXPECT_EQ(b.ui().Panel4->text(), "100 Hz  ");
    b.flux->LanceThread(512);
    EXPECT_TRUE(QTest::qWaitFor([&] { return b.ui().Panel4->text() == "2000 Hz  "; }, 10000));
    EXPECT_FALSE(b.fenetre->Timer1().isActive());
    EXPECT_FALSE(b.g().Sortie.EnLecture);
    b.flux->ArreteThread();
}

TEST(FenetreGene, FermerArreteLaSortieEtEcritLesTroisSections) {
    BancGene b;
    b.Montre();
    b.ui().Utilisateur->trigger();
    b.ui().EditFonction->setText("sin(x)+0,5*sin(3*x)");
    b.ui().Editf2->setText("15000");
    QTest::mouseClick(b.ui().Go, Qt::LeftButton);
    ASSERT_TRUE(b.g().Sortie.EnLecture);
    b.fenetre->move(120, 80);
    const std::string texte = b.Ferme();
    EXPECT_FALSE(b.g().Sortie.EnLecture);
    EXPECT_FALSE(b.g().Sortie.SortieOuverte);

    const platform::FichierIni ini = platform::FichierIni::DepuisTexte(texte);
    EXPECT_EQ(ini.LitEntier("FenêtreGéné", "Gauche", 0), 120);
    EXPECT_EQ(ini.LitEntier("FenêtreGéné", "Haut", 0), 80);
    EXPECT_EQ(ini.LitEntier("Générateur", "Choix", -1), 1);
    EXPECT_EQ(ini.LitTexte("Générateur", "Fonction", ""), "sin(x)+0,5*sin(3*x)");
    EXPECT_EQ(ini.LitTexte("Générateur", "f2", ""), "15000");
    EXPECT_EQ(ini.LitTexte("Générateur", "Niveau", ""), "0,95");
    EXPECT_EQ(ini.LitEntier("OptionsGéné", "NoSortie", 7), -1);
    EXPECT_EQ(ini.LitEntier("OptionsGéné", "Fe", 0), 44100);
    EXPECT_EQ(ini.LitEntier("OptionsGéné", "CanalSync", 7), 0);

    // The next run starts where this one ended.
    b.Cree();
    EXPECT_TRUE(b.ui().Utilisateur->isChecked());
    EXPECT_EQ(b.ui().EditFonction->text(), "sin(x)+0,5*sin(3*x)");
}

TEST(FenetreGene, LesBullesSeMasquentAussitot) {
    BancGene b;
    b.Montre();
    const QPoint centre = b.ui().EditFreq->rect().center();
    auto montre = [&] {
        QToolTip::hideText();
        if (!QTest::qWaitFor([] { return !QToolTip::isVisible(); })) return true;
        QHelpEvent e(QEvent::ToolTip, centre, b.ui().EditFreq->mapToGlobal(centre));
        QApplication::sendEvent(b.ui().EditFreq, &e);
        return QToolTip::isVisible() && QToolTip::text() == "Fréquence du signal (Hz)";
    };
    EXPECT_TRUE(montre());
    b.fenetre->AfficheBulles(false);
    EXPECT_FALSE(montre());
    b.fenetre->AfficheBulles(true);
    EXPECT_TRUE(montre());
    QToolTip::hideText();
}

// The options dialog over the same window.
struct BancOptions : BancGene {
    std::unique_ptr<TFormGeneOption> options;
    explicit BancOptions(const std::string& reglages = "") : BancGene(reglages) {
        options = std::make_unique<TFormGeneOption>(fenetre->Panneau(), "Générateur", ini);
        options->MontreMessage = [this](const MessageGene& m) { messages.push_back(m); };
        options->show();
    }
    Ui::TFormGeneOption& o() { return options->Controles(); }
    void ChoisitSortie(int entree) {
        o().ComboBoxSortieSon->setCurrentIndex(entree);
        emit o().ComboBoxSortieSon->activated(entree);
    }
    QStringList Frequences() {
        QStringList l;
        for (int i = 0; i < o().ComboBoxFreq->count(); ++i)
            l << o().ComboBoxFreq->itemText(i);
        return l;
    }
};

TEST(OptionsGene, UneSortieListeSesFrequencesLaPlusHauteDerniereEtChoisie) {
    BancOptions b;
    EXPECT_EQ(b.o().ComboBoxSortieSon->count(), 3);
    EXPECT_EQ(b.o().ComboBoxSortieSon->currentIndex(), 0);
    EXPECT_EQ(b.o().ComboBoxFreq->currentText(), "44100");
    EXPECT_FALSE(b.o().ButtonAppliquer->isEnabled());
    struct Cas {
        int entree;
        QStringList frequences;
        QString choisie;
    } cas[] = {{1, {"8000", "11025", "22050"}, "22050"},
               {2, {}, ""},
               {0, {"8000", "11025", "16000", "22050", "32000", "44100", "48000"}, "48000"}};
    for (const Cas& c : cas) {
        b.ChoisitSortie(c.entree);
        EXPECT_EQ(b.Frequences(), c.frequences) << c.entree;
        EXPECT_EQ(b.o().ComboBoxFreq->currentText(), c.choisie);
        EXPECT_TRUE(b.o().ButtonAppliquer->isEnabled());
    }
}

TEST(OptionsGene, OkSansChangementFermeSansMessage) {
    BancOptions b;
    QTest::mouseClick(b.o().ButtonOk, Qt::LeftButton);
    EXPECT_TRUE(b.messages.empty());
    EXPECT_FALSE(b.options->isVisible());
}

TEST(OptionsGene, UneFrequenceNonEntiereNeChangeRienEtGardeLeDialogue) {
    BancOptions b;
    b.ChoisitSortie(1);
    for (const char* texte : {"44k", "", "22050,5", "99999999999"}) {
        b.o().ComboBoxFreq->setEditText(texte);
        QTest::mouseClick(b.o().ButtonOk, Qt::LeftButton);
        ASSERT_EQ(b.messages.size(), 1u) << texte;
        EXPECT_EQ(b.messages[0].Titre, "Problème Tamburella !");
        EXPECT_EQ(b.messages[0].Texte, MessageFeInvalide);
        EXPECT_TRUE(b.options->isVisible());
        EXPECT_EQ(b.fenetre->Panneau().Configuration(), ConfigurationSortie{});
        b.messages.clear();
    }
    // Appliquer greys itself whatever the result.
    QTest::mouseClick(b.o().ButtonAppliquer, Qt::LeftButton);
    EXPECT_FALSE(b.o().ButtonAppliquer->isEnabled());
}

// A new rate is stored for the next start; the output and the sync channel reach the
// engine at the next opening of the output, never in the middle of a playing stream.
TEST(OptionsGene, UnChangementDemandeUnRedemarrageEtNeSAppliquePasAMoitie) {
    BancOptions b;
    QTest::mouseClick(b.ui().Go, Qt::LeftButton);
    ASSERT_EQ(b.flux->Canaux, 1);
    b.ChoisitSortie(1);
    QTest::mouseClick(b.o().CheckBoxCanalSync, Qt::LeftButton);
    QTest::mouseClick(b.o().ButtonOk, Qt::LeftButton);
    ASSERT_EQ(b.messages.size(), 1u);
    EXPECT_EQ(b.messages[0].Texte, "Vous devez redémarrer Générateur pour que\rles nouveaux "
                                   "paramètres soient pris en compte.");
    EXPECT_EQ(b.messages[0].Titre, "Attention !");
    EXPECT_EQ(b.messages[0].Symbole, Icone::Exclamation);
    EXPECT_FALSE(b.options->isVisible());
    EXPECT_EQ(b.fenetre->Panneau().Configuration(), (ConfigurationSortie{0, 22050, true}));
    // Still playing as it was opened.
    EXPECT_EQ(b.g().Synth.FeGene, 44100);
    EXPECT_EQ(b.g().Synth.CanalSyncGene, 0);
    QTest::mouseClick(b.ui().Go, Qt::LeftButton);
    EXPECT_EQ(b.flux->LongueursEcrites.back(), 8100u * 2);

    // Closed and opened again: the new output, two channels, the old rate until restart.
    b.fenetre->close();
    b.fenetre->show();
    QTest::mouseClick(b.ui().Go, Qt::LeftButton);
    EXPECT_EQ(b.flux->Identifiant, "carte");
    EXPECT_EQ(b.flux->Canaux, 2);
    EXPECT_EQ(b.flux->Fe, 44100);

    const platform::FichierIni ini = platform::FichierIni::DepuisTexte(b.Ferme());
    EXPECT_EQ(ini.LitEntier("OptionsGéné", "NoSortie", 7), 0);
    EXPECT_EQ(ini.LitEntier("OptionsGéné", "Fe", 0), 22050);
    EXPECT_EQ(ini.LitEntier("OptionsGéné", "CanalSync", 0), 1);
}

TEST(OptionsGene, SansSortieChoisieLeDialogueRevientALaConfiguration) {
    BancOptions b;
    b.ChoisitSortie(-1);
    QTest::mouseClick(b.o().ButtonOk, Qt::LeftButton);
    ASSERT_EQ(b.messages.size(), 1u);
    EXPECT_EQ(b.messages[0].Texte, MessageSortieInvalide);
    EXPECT_EQ(b.messages[0].Titre, "Attention !");
    EXPECT_EQ(b.o().ComboBoxSortieSon->currentIndex(), 0);
    EXPECT_EQ(b.o().ComboBoxFreq->currentText(), "44100");
    EXPECT_FALSE(b.options->isVisible());
}

} // namespace
