// The scope through a sound server's real life: the server killed and started again on its
// socket, a source unplugged, the server frozen and thawed. Each case must end in a clear
// state (the frame-rate label says "Pas de son", the picture stays as it was, no call of
// the owner's thread waits long) and, once the server is back, in capture again without
// any action of the user's. Both drivers: "DirectSound" (the server directly) and "wave-in"
// (ALSA through its pulse plugin).
#include "engine/Entrees.h"
#include "engine/Pilotes.h"
#include "engine/TscopeThread.h"
#include "platform/Alsa.h"
#include "platform/Pulse.h"
#include "support/GuiEssai.h"
#include "support/MesuresSon.h"
#include "support/PilotesReels.h"
#include "support/ServeurSon.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using engine::NbBruts;
using essai::FrequenceMesuree;
using essai::Indice;
using essai::ServeurSon;
using Horloge = std::chrono::steady_clock;

double Secondes(Horloge::duration d) {
    return std::chrono::duration<double>(d).count();
}

// What a frame computes: nothing here, the tests look at the samples each picture drew.
class SansCalcul : public engine::CalculsTrame {
public:
    void Extraire(int32_t) override {}
    void CalculeSpectre(int32_t) override {}
};

constexpr int32_t Fe = 48000;
// The newest 100 ms of a picture: samples that came after a change of tone.
constexpr int Recents = Fe / 10;

// The scope window's part: the two drivers over the real backends, the acquisition thread,
// and the GUI thread played by the test (GuiEssai), which keeps the samples each picture
// drew and FreqR's caption as the window's Afficher sets it.
struct Scope : essai::PilotesReels {
    engine::PiloteCapture* pilote = nullptr;
    essai::GuiEssai gui;
    SansCalcul calculs;
    engine::ContexteThread contexte{*etat, affichage, entree, gui, calculs};
    std::unique_ptr<engine::TscopeThread> thread;
    // GUI thread's view: Bruts as the last picture drew it, the pictures drawn, FreqR.
    std::vector<float> image = std::vector<float>(2 * NbBruts);
    int dessins = 0;
    std::string legende;

    Scope() {
        entree.Stereo = true;
        entree.Fe = Fe;
        gui.PendantDessiner = [this] {
            std::copy(etat->Bruts[0].begin(), etat->Bruts[0].end(), image.begin());
            std::copy(etat->Bruts[1].begin(), etat->Bruts[1].end(), image.begin() + NbBruts);
            ++dessins;
        };
        gui.PendantAfficher = [this] {
            engine::PresenteEtMesure(
                *etat, true, [] {}, [this](const char* texte) { legende = texte; });
        };
    }
    ~Scope() {
        Arrete();
        if (pilote) pilote->Fermer();
    }

    // The tables as at start-up, then `type`'s driver on the device `identifiant` (for
    // wave-in, ALSA's "pulse"); the opening's code.
    int32_t Ouvre(int type, const std::string& identifiant) {
        engine::EnumereEntrees(tables);
        return Choisit(type, identifiant);
    }
    int32_t Choisit(int type, const std::string& identifiant) {
        entree.TypeEntree = type;
        entree.NoEntree = type == 1
                              ? Indice(tables.IdentifiantsDS, tables.NbEntreesDS, identifiant)
                              : Indice(tables.IdentifiantsWave, tables.NbEntreesWave, "pulse");
        entree.Fe = Fe;
        const engine::ResultatChoix r = engine::ChoisirPilote({&wave, &ds}, entree, tables, *etat);
        pilote = r.Pilote;
        return r.Code;
    }
    // Go: the driver's Demarrer and a new thread.
    void Lance() {
        pilote->Demarrer();
        thread = std::make_unique<engine::TscopeThread>(contexte, *pilote, std::move(thread));
    }
    // Pause: the driver's Arreter, then the thread's end (served meanwhile).
    void Pause() {
        pilote->Arreter();
        Arrete();
    }
    void Arrete() {
        if (!thread) return;
        engine::AttendFinThread(*etat, *thread, [this] { gui.Servir(); });
        thread.reset();
    }

    double Frequence(int voie, int n = NbBruts) const {
        return FrequenceMesuree(image.data() + voie * NbBruts + NbBruts - n, n, Fe);
    }
    // The pictures show `gauche` and `droite` Hz in their newest samples.
    bool Montre(double gauche, double droite, std::chrono::milliseconds limite = 20s) {
        return gui.ServirJusqua(
            [&] {
                return std::abs(Frequence(0, Recents) - gauche) < gauche * 0.02 &&
                       std::abs(Frequence(1, Recents) - droite) < droite * 0.02;
            },
            limite);
    }
    bool Legende(const std::string& texte, std::chrono::milliseconds limite = 20s) {
        return gui.ServirJusqua([&] { return legende == texte; }, limite);
    }
    bool FrequenceAffichee(std::chrono::milliseconds limite = 20s) {
        return gui.ServirJusqua(
            [&] { return legende.size() > 3 && legende.substr(legende.size() - 3) == " Hz"; },
            limite);
    }
};

class VieCapture : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        ASSERT_TRUE(serveur_.Pret()) << "private sound server: " << serveur_.Dossier();
    }
    int Type() const { return GetParam(); }
    ServeurSon serveur_;
};

INSTANTIATE_TEST_SUITE_P(Pilotes, VieCapture, ::testing::Values(0, 1), [](const auto& info) {
    return info.param == 1 ? "DirectSound" : "WaveIn";
});

// The server dies: the label says "Pas de son" at once and the picture stays as it was.
// It comes back on its socket: fresh samples on the screen with no action of the user's,
// and Pause then Go still work.
TEST_P(VieCapture, LeServeurTueEtRedemarreLaCaptureReprendSeule) {
    ASSERT_TRUE(serveur_.Joue(440, 1000));
    Scope s;
    ASSERT_EQ(s.Ouvre(Type(), ServeurSon::Moniteur), 0);
    s.Lance();
    ASSERT_TRUE(s.Montre(440, 1000)) << "capture before the server goes";
    ASSERT_TRUE(s.FrequenceAffichee());

    const auto mort = Horloge::now();
    serveur_.Tue();
    ASSERT_TRUE(s.Legende(engine::LegendePasDeSon)) << "a dead input looks alive: " << s.legende;
    const double constat = Secondes(Horloge::now() - mort);
    const int dessins = s.dessins;
    const std::vector<float> derniere = s.image;

    ASSERT_TRUE(serveur_.Redemarre());
    const auto retour = Horloge::now();
    // Nothing was drawn while there was no sound: the picture stayed as it was.
    EXPECT_EQ(s.dessins, dessins);
    EXPECT_TRUE(s.image == derniere);
    ASSERT_TRUE(serveur_.Joue(660, 1500));
    // The first picture drawn since holds the restarted server's samples.
    ASSERT_TRUE(s.gui.ServirJusqua([&] { return s.dessins > dessins; }))
        << "no capture once the server is back";
    const double reprise = Secondes(Horloge::now() - retour);
    EXPECT_TRUE(s.Montre(660, 1500));
    EXPECT_TRUE(s.FrequenceAffichee()) << s.legende;
    std::printf("[ mesure ] no sound noticed %.3f s after the kill; fresh samples on the screen "
                "%.3f s after the server's return\n",
                constat, reprise);

    s.Pause();
    ASSERT_TRUE(serveur_.Joue(880, 1760));
    s.Lance();
    EXPECT_TRUE(s.Montre(880, 1760)) << "Pause then Go after the recovery";
    EXPECT_TRUE(s.gui.Erreurs.empty());
}

// The server freezes (SIGSTOP): the label says "Pas de son"; Pause, Go, closing and
// reopening the scope, and listing the inputs all return within their bounds, the list
// saying which inputs did not answer. Thawed, the reopened scope captures by
// itself.
TEST_P(VieCapture, LeServeurGeleNeBloquePasEtLaCaptureReprendAuDegel) {
    ASSERT_TRUE(serveur_.Joue(440, 1000));
    Scope s;
    ASSERT_EQ(s.Ouvre(Type(), ServeurSon::Moniteur), 0);
    s.Lance();
    ASSERT_TRUE(s.Montre(440, 1000));

    serveur_.Gele();
    ASSERT_TRUE(s.Legende(engine::LegendePasDeSon)) << s.legende;
    auto chrono = [](auto&& appel) {
        const auto debut = Horloge::now();
        appel();
        return Secondes(Horloge::now() - debut);
    };
    EXPECT_LT(chrono([&] { s.Pause(); }), 2.0) << "Pause";
    EXPECT_LT(chrono([&] { s.Lance(); }), 2.0) << "Go";
    EXPECT_TRUE(s.Legende(engine::LegendePasDeSon)) << s.legende;
    EXPECT_LT(chrono([&] {
                  s.Arrete();
                  s.pilote->Fermer();
              }),
              2.0)
        << "closing the scope";
    int32_t code = -1;
    EXPECT_LT(chrono([&] {
                  code = s.Choisit(Type(), ServeurSon::Moniteur);
                  if (code == 0) s.Lance();
              }),
              2.0)
        << "reopening the scope";
    // A server that accepts connections but answers nothing may come back: the scope waits
    // for it rather than failing.
    ASSERT_EQ(code, 0);
    engine::TablesEntrees tables;
    std::vector<std::string> nonListees;
    EXPECT_LT(chrono([&] { nonListees = engine::EnumereEntrees(tables); }), 5.0)
        << "listing the inputs";
    EXPECT_FALSE(nonListees.empty()) << "the inputs that did not answer are named";
    EXPECT_TRUE(tables.DSDisponible) << "a frozen server is still there";
    EXPECT_FALSE(engine::AucuneEntree(tables) && nonListees.empty());

    serveur_.Degele();
    EXPECT_TRUE(s.Montre(440, 1000)) << "no capture once the server is thawed";
    // The late lists end now that the server answers (the next test's server changes the
    // environment they read).
    EXPECT_TRUE(s.gui.ServirJusqua([] { return engine::ListesEnCours() == 0; }, 60s));
    EXPECT_TRUE(s.FrequenceAffichee()) << s.legende;
    EXPECT_LT(chrono([&] { s.Pause(); }), 2.0);
}

// A source that goes away (a device unplugged): the driver takes the default source.
TEST(VieCaptureSource, UneSourceDebrancheeLaisseLaPlaceALaSourceParDefaut) {
    ServeurSon serveur;
    ASSERT_TRUE(serveur.Pret());
    ASSERT_EQ(serveur.Pactl({"load-module", "module-null-source", "source_name=autre"}), 0);
    ASSERT_TRUE(serveur.Joue(440, 1000));
    Scope s;
    ASSERT_EQ(s.Ouvre(1, "autre"), 0);
    ASSERT_EQ(s.entree.TypeEntree, 1);
    s.Lance();
    ASSERT_TRUE(s.FrequenceAffichee()) << "capture of the silent source";
    EXPECT_EQ(s.Frequence(0), 0) << "silence: the tone plays elsewhere";

    ASSERT_EQ(serveur.Pactl({"unload-module", "module-null-source"}), 0);
    EXPECT_TRUE(s.Montre(440, 1000)) << "the default source is not taken";
    EXPECT_TRUE(s.FrequenceAffichee()) << s.legende;
}

} // namespace
