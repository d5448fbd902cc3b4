// The application shell off screen: the command line, the options dialog over a stand-in
// for the control window, the splash and about windows, and the start-up in both modes.
#include "ApplicationQt.h"
#include "BancDemarrage.h"
#include "DossierTemporaire.h"
#include "generator/FluxFactice.h"
#include "platform/Ini.h"
#include "platform/Locale.h"
#include "shell/Demarrage.h"
#include "shell/LigneCommande.h"
#include "ui_UGene.h"
#include "ui_UOptions.h"
#include "ui_UnitInfo.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

namespace {

using generator::MessageGene;
using namespace shell;

TEST(LigneCommande, SeulLePremierArgumentExactDemarreLeGenerateurSeul) {
    struct Cas {
        std::vector<const char*> arguments;
        ModeDemarrage mode;
    } cas[] = {
        {{}, ModeDemarrage::Normal},
        {{"/GENE"}, ModeDemarrage::Generateur},
        {{"/gene"}, ModeDemarrage::Generateur},
        {{"/Gene", "autre"}, ModeDemarrage::Generateur},
        {{"/GENEX"}, ModeDemarrage::Normal},
        {{"/GEN"}, ModeDemarrage::Normal},
        {{"-GENE"}, ModeDemarrage::Normal},
        {{" /GENE"}, ModeDemarrage::Normal},
        {{"autre", "/GENE"}, ModeDemarrage::Normal},
        {{"--help"}, ModeDemarrage::Aide},
        {{"/GENE", "--version"}, ModeDemarrage::Version},
        {{"--version", "--help"}, ModeDemarrage::Version},
        {{"-help"}, ModeDemarrage::Normal},
    };
    for (const Cas& c : cas) {
        std::vector<const char*> argv = {"tamburella"};
        argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
        EXPECT_EQ(LitLigneCommande(static_cast<int>(argv.size()), argv.data()), c.mode)
            << (c.arguments.empty() ? "" : c.arguments[0]);
    }
    EXPECT_EQ(TexteVersion(), "Tamburella 0.88\n");
}

// The control window as the options dialog sees it.
class CibleFactice final : public CibleOptions {
public:
    OptionsImage ImageCourante;
    bool BullesCourantes = true;
    std::vector<bool> Bascules; // each hint switch asked for
    engine::ReglagesEntree EntreeCourante;
    engine::TablesEntrees TablesCourantes;

    CibleFactice() {
        engine::TablesEntrees& t = TablesCourantes;
        t.NbEntreesWave = 2;
        t.NomsEntreesWave = {"default", "Carte A", "Carte B"};
        t.FeSupportesWave[0].fill(true);
        t.FeSupportesWave[1] = {true, true, true, true, false, false, false};
        t.FeSupportesWave[2] = {true, false, false, false, false, true, false};
        t.NbEntreesDS = 1;
        t.NomsEntreesDS = {"Source par défaut", "Monitor of Essai"};
        t.FeSupportesDS[0].fill(true);
        t.FeSupportesDS[1].fill(true);
        t.DSDisponible = true;
        EntreeCourante.TypeEntree = 0;
        EntreeCourante.NoEntree = 0;
        EntreeCourante.Fe = 22050;
        EntreeCourante.VSyncDispo = 2;
        EntreeCourante.VSync = 2;
    }
    OptionsImage Image() const override { return ImageCourante; }
    void ChangeImage(const OptionsImage& image) override { ImageCourante = image; }
    bool Bulles() const override { return BullesCourantes; }
    void ChangeBulles(bool bulles) override {
        BullesCourantes = bulles;
        Bascules.push_back(bulles);
    }
    engine::ReglagesEntree& Entree() override { return EntreeCourante; }
    const engine::TablesEntrees& Tables() const override { return TablesCourantes; }

    // TypeEntree, NoEntree, Fe, Stereo.
    std::tuple<int32_t, int32_t, int32_t, bool> Saisie() const {
        return {EntreeCourante.TypeEntree.load(), EntreeCourante.NoEntree.load(),
                EntreeCourante.Fe.load(), EntreeCourante.Stereo.load()};
    }
};

struct BancOptions {
    DossierTemporaire dossier;
    std::string ini = dossier.Chemin("tamburella.ini");
    CibleFactice cible;
    std::vector<bool> bullesGene;
    std::vector<MessageGene> messages;
    std::unique_ptr<TFormOption> dialogue;

    explicit BancOptions(const std::string& reglages = "") {
        if (!reglages.empty()) EcritFichier(ini, reglages);
    }
    void Cree() {
        dialogue = std::make_unique<TFormOption>(cible, "Oscilloscope", ini,
                                                 [this](bool b) { bullesGene.push_back(b); });
        dialogue->MontreMessage = [this](const MessageGene& m) { messages.push_back(m); };
        dialogue->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(dialogue.get()));
    }
    Ui::TFormOption& u() { return dialogue->Controles(); }
    // The page holding w comes to the front, as a user would bring it.
    void Page(QWidget* w) {
        for (int i = 0; i < u().PageControl1->count(); ++i)
            if (u().PageControl1->widget(i)->isAncestorOf(w)) u().PageControl1->setCurrentIndex(i);
    }
    void Clique(QAbstractButton* b) {
        Page(b);
        // On the box or the button, not on the empty end of a wide check box.
        QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2));
    }
    void Tape(QLineEdit* e, const QString& texte) {
        Page(e);
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Backspace);
        QTest::keyClicks(e, texte);
    }
    std::vector<std::string> Textes() const {
        std::vector<std::string> t;
        for (const MessageGene& m : messages)
            t.push_back(m.Texte);
        return t;
    }
    QStringList Elements(QComboBox* boite) {
        QStringList l;
        for (int i = 0; i < boite->count(); ++i)
            l << boite->itemText(i);
        return l;
    }
};

TEST(Options, LaSynchroVerticaleNeGardeQueLesMethodesDisponibles) {
    struct Cas {
        int32_t dispo;
        QAbstractButton* (*choix)(Ui::TFormOption&);
        int32_t attendu;
    } cas[] = {
        {2, [](Ui::TFormOption& u) -> QAbstractButton* { return u.RadioGroupVSync_1; }, 0},
        {2, [](Ui::TFormOption& u) -> QAbstractButton* { return u.RadioGroupVSync_2; }, 2},
        {0, [](Ui::TFormOption& u) -> QAbstractButton* { return u.RadioGroupVSync_2; }, 0},
    };
    for (const Cas& c : cas) {
        BancOptions b;
        b.cible.EntreeCourante.VSyncDispo = c.dispo;
        b.Cree();
        b.Clique(c.choix(b.u()));
        EXPECT_TRUE(b.u().ButtonAppliquer->isEnabled());
        b.Clique(b.u().ButtonAppliquer);
        EXPECT_EQ(b.cible.EntreeCourante.VSync.load(), c.attendu);
        EXPECT_TRUE(
            (c.attendu == 0 ? b.u().RadioGroupVSync_0 : b.u().RadioGroupVSync_2)->isChecked());
        EXPECT_FALSE(b.u().ButtonAppliquer->isEnabled());
        EXPECT_TRUE(b.messages.empty());
    }
}

TEST(Options, UneTailleInvalideGardeLaPrecedenteEtLeResteSApplique) {
    for (const char* largeur : {"abc", "", "0", "-5", "150mm"}) {
        BancOptions b;
        b.Cree();
        b.Tape(b.u().EditLargGraph, largeur);
        b.Tape(b.u().EditHautGraph, "99");
        b.Clique(b.u().CheckBox2);
        b.Clique(b.u().RadioGroup2_1);
        b.Clique(b.u().CheckBoxBulles);
        b.Clique(b.u().ButtonOk);
        EXPECT_EQ(b.Textes(), std::vector<std::string>{MessageLargeurInvalide}) << largeur;
        EXPECT_EQ(b.messages[0].Titre, "Attention !");
        EXPECT_EQ(b.u().EditLargGraph->text(), "150");
        EXPECT_EQ(b.cible.ImageCourante, (OptionsImage{false, true, false, true, 150, 99}));
        // Hints off at once in both windows.
        EXPECT_EQ(b.cible.Bascules, std::vector<bool>{false});
        EXPECT_EQ(b.bullesGene, std::vector<bool>{false});
        EXPECT_FALSE(b.dialogue->isVisible()) << "the apply went on and succeeded";
    }
}

// The input is applied whole or not at all.
TEST(Options, UneFrequenceNonEntiereNeChangeRienDeLEntree) {
    BancOptions b;
    b.Cree();
    const auto avant = b.cible.Saisie();
    b.Clique(b.u().RadioGroupTypePilote_1);
    b.Clique(b.u().CheckBoxStereo);
    b.u().ComboBoxFreq->setEditText("44,1k");
    b.Clique(b.u().ButtonOk);
    EXPECT_EQ(b.Textes(), std::vector<std::string>{generator::MessageFeInvalide});
    EXPECT_EQ(b.messages[0].Titre, "Problème Tamburella !");
    EXPECT_EQ(b.cible.Saisie(), avant);
    EXPECT_TRUE(b.dialogue->isVisible()) << "Ok keeps the dialog open";
    b.Clique(b.u().ButtonAppliquer);
    EXPECT_FALSE(b.u().ButtonAppliquer->isEnabled());
    EXPECT_EQ(b.cible.Saisie(), avant);
}

TEST(Options, OkSansChangementSeTaitEtUnChangementDemandeUnRedemarrage) {
    BancOptions b;
    b.Cree();
    b.Clique(b.u().ButtonOk);
    EXPECT_TRUE(b.messages.empty());
    EXPECT_FALSE(b.dialogue->isVisible());

    b.dialogue->show();
    b.u().ComboBoxFreq->setEditText("11025");
    b.Clique(b.u().ButtonOk);
    ASSERT_EQ(b.messages.size(), 1u);
    EXPECT_EQ(b.messages[0].Texte, "Vous devez redémarrer Oscilloscope pour que\rcertains "
                                   "nouveaux paramètres soient pris en compte.");
    EXPECT_EQ(b.messages[0].Symbole, generator::Icone::Exclamation);
    EXPECT_EQ(b.cible.Saisie(), std::make_tuple(0, 0, 11025, false));
    EXPECT_FALSE(b.dialogue->isVisible());
}

TEST(Options, ChangerDeTypeChoisitLePremierPeripheriqueEtSaPlusHauteFrequence) {
    BancOptions b;
    b.Cree();
    EXPECT_EQ(b.Elements(b.u().ComboBoxEntreeSon), (QStringList{"default", "Carte A", "Carte B"}));
    EXPECT_EQ(b.u().ComboBoxEntreeSon->currentIndex(), 1);
    EXPECT_EQ(b.u().ComboBoxFreq->currentText(), "22050");
    EXPECT_TRUE(b.u().RadioGroupTypePilote->isEnabled());

    b.Clique(b.u().RadioGroupTypePilote_1);
    EXPECT_EQ(b.Elements(b.u().ComboBoxEntreeSon),
              (QStringList{"Source par défaut", "Monitor of Essai"}));
    EXPECT_EQ(b.u().ComboBoxEntreeSon->currentIndex(), 1);
    EXPECT_EQ(b.u().ComboBoxFreq->currentText(), "48000");

    b.Clique(b.u().RadioGroupTypePilote_0);
    b.u().ComboBoxEntreeSon->setCurrentIndex(2);
    emit b.u().ComboBoxEntreeSon->activated(2);
    EXPECT_EQ(b.Elements(b.u().ComboBoxFreq), (QStringList{"8000", "44100"}));
    EXPECT_EQ(b.u().ComboBoxFreq->currentText(), "44100");

    // A type with nothing besides its default device leaves the list without a selection.
    b.cible.TablesCourantes.NbEntreesDS = 0;
    b.Clique(b.u().RadioGroupTypePilote_1);
    EXPECT_EQ(b.u().ComboBoxEntreeSon->currentIndex(), -1);
    b.Clique(b.u().ButtonOk);
    EXPECT_EQ(b.Textes(), std::vector<std::string>{MessageEntreeInvalide});
    EXPECT_EQ(b.cible.Saisie(), std::make_tuple(0, 0, 22050, false));
    EXPECT_TRUE(b.u().RadioGroupTypePilote_0->isChecked()) << "back to the current values";
    EXPECT_EQ(b.u().ComboBoxEntreeSon->currentIndex(), 1);
}

TEST(Options, SansServeurDeSonLeTypeNeChangePas) {
    BancOptions b;
    b.cible.TablesCourantes.DSDisponible = false;
    b.Cree();
    EXPECT_FALSE(b.u().RadioGroupTypePilote->isEnabled());
}

TEST(Options, LaPositionEtLaPageSontGardees) {
    BancOptions b("[FenetreOptions]\r\nGauche=300\r\nHaut=200\r\nPageIndex=2\r\n");
    b.Cree();
    EXPECT_EQ(b.dialogue->pos(), QPoint(300, 200));
    EXPECT_EQ(b.u().PageControl1->currentIndex(), 2);
    b.u().PageControl1->setCurrentIndex(3);
    b.dialogue->move(40, 50);
    b.dialogue.reset();
    const auto ini = platform::FichierIni::DepuisTexte(LitFichier(b.ini));
    EXPECT_EQ(ini.LitEntier("FenetreOptions", "Gauche", 0), 40);
    EXPECT_EQ(ini.LitEntier("FenetreOptions", "Haut", 0), 50);
    EXPECT_EQ(ini.LitEntier("FenetreOptions", "PageIndex", 0), 3);
}

TEST(Logo, ResteAuMoinsDeuxSecondesEtJusquALaBoucle) {
    QPointer<TFormLogo> logo = new TFormLogo;
    QElapsedTimer montre;
    montre.start();
    logo->MontreMaintenant();
    EXPECT_TRUE(logo->isVisible());
    EXPECT_EQ(logo->size(), QSize(299, 106));
    EXPECT_TRUE(logo->Timer1().isActive());
    // However long the windows take to build, nothing takes it down outside the loop.
    QTest::qSleep(2200);
    EXPECT_TRUE(logo);
    EXPECT_TRUE(QTest::qWaitFor([&] { return logo.isNull(); }, 10000));
    EXPECT_GE(montre.elapsed(), 2000);

    QPointer<TFormLogo> rapide = new TFormLogo;
    montre.restart();
    rapide->MontreMaintenant();
    EXPECT_TRUE(QTest::qWaitFor([&] { return rapide.isNull(); }, 10000));
    EXPECT_GE(montre.elapsed(), 2000);
}

TEST(Info, LesLiensOuvrentLaPageEtLeMail) {
    TFormInfo info;
    std::vector<QString> ouverts;
    info.Ouvre = [&](const QString& a) { ouverts.push_back(a); };
    EXPECT_EQ(info.windowTitle(), "A propos de ");
    EXPECT_EQ(info.size(), QSize(379, 171));
    info.show();
    QTest::mouseClick(info.Controles().LabelHomePage, Qt::LeftButton);
    QTest::mouseClick(info.Controles().LabelMail, Qt::LeftButton);
    ASSERT_EQ(ouverts.size(), 2u);
    EXPECT_EQ(ouverts[0], QString(TAMBURELLA_PAGE_WEB));
    EXPECT_EQ(ouverts[1], QString("mailto:" TAMBURELLA_MAIL "?subject=Tamburella"));
    EXPECT_EQ(info.Controles().LabelMail->text(), QString(TAMBURELLA_MAIL));
}

TEST(Demarrage, GenerateurSeulFenetrePrincipaleEtFermerTermine) {
    BancDemarrage b("[G\xe9n\xe9rateur]\r\nFr\xe9quence=1000\r\n");
    {
        Application a(ModeDemarrage::Generateur, b.ini, b.gene);
        EXPECT_EQ(QApplication::applicationName(), "Générateur");
        EXPECT_EQ(a.Form1(), nullptr);
        EXPECT_EQ(a.FormOption(), nullptr);
        ASSERT_NE(a.GeneForm(), nullptr);
        EXPECT_NE(a.FormGeneOption(), nullptr);
        EXPECT_NE(a.FormInfo(), nullptr);
        EXPECT_EQ(a.FenetrePrincipale(), a.GeneForm());
        EXPECT_TRUE(a.GeneForm()->isVisible());
        EXPECT_EQ(a.GeneForm()->Controles().EditFreq->text(), "1000");
        ASSERT_NE(a.FormLogo(), nullptr);
        EXPECT_TRUE(a.FormLogo()->isVisible());

        QTest::mouseClick(a.GeneForm()->Controles().Go, Qt::LeftButton);
        EXPECT_TRUE(b.gene.Gene->Sortie.EnLecture);
        QTimer::singleShot(0, a.GeneForm(), &QWidget::close);
        QTimer::singleShot(10000, [] { QCoreApplication::exit(99); });
        EXPECT_EQ(QApplication::exec(), 0) << "closing the generator ends the program";
        EXPECT_FALSE(b.gene.Gene->Sortie.SortieOuverte);
    }
    const auto ini = platform::FichierIni::DepuisTexte(LitFichier(b.ini));
    EXPECT_EQ(ini.LitTexte("Générateur", "Fréquence", ""), "1000");
    EXPECT_EQ(ini.LitEntier("OptionsGéné", "Fe", 0), 44100);
    EXPECT_EQ(ini.LitEntier("FenêtreOptionsGéné", "Gauche", 0), 213);
    EXPECT_EQ(ini.LitTexte("Defaut", "VisibleGene", "absent"), "absent");
}

} // namespace
