// Capture through both drivers from a private sound server: a known stereo signal played
// into the null sink comes back from the sink's monitor, through the server directly
// ("DirectSound") and through ALSA's pulse plugin ("wave-in").
#include "engine/Entrees.h"
#include "engine/Pilotes.h"
#include "engine/TscopeThread.h"
#include "platform/Alsa.h"
#include "platform/Pulse.h"
#include "support/GuiEssai.h"
#include "support/ServeurSon.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using engine::NbBruts;
using essai::ServeurSon;

// The frequency of a sine from its rising zero crossings (with some hysteresis), in Hz.
double FrequenceMesuree(const float* x, int n, double fe) {
    int premiere = -1, derniere = -1, passages = 0;
    bool bas = x[0] < 0;
    for (int i = 1; i < n; ++i) {
        if (x[i] < -500) bas = true;
        if (bas && x[i - 1] < 0 && x[i] >= 0) {
            bas = false;
            if (premiere < 0) premiere = i;
            derniere = i;
            ++passages;
        }
    }
    if (passages < 3) return 0;
    return (passages - 1) * fe / (derniere - premiere);
}

double Efficace(const float* x, int n) {
    double s = 0;
    for (int i = 0; i < n; ++i)
        s += static_cast<double>(x[i]) * x[i];
    return std::sqrt(s / n);
}

// The index of the device whose identifier is `identifiant` in a driver's table, or -2.
int32_t Indice(const std::array<std::string, engine::MaxEntrees + 1>& ids, int32_t nb,
               const std::string& identifiant) {
    for (int32_t d = -1; d < nb; ++d)
        if (ids[engine::TablesEntrees::Indice(d)] == identifiant) return d;
    return -2;
}

struct Capture {
    std::unique_ptr<engine::EtatScope> etat = std::make_unique<engine::EtatScope>();
    engine::ReglagesEntree entree;
    engine::TablesEntrees tables;
    engine::ReglagesAffichage affichage;
    std::unique_ptr<platform::FluxCapture> fluxAlsa = platform::CreeFluxAlsa();
    std::unique_ptr<platform::FluxCapture> fluxSon = platform::CreeFluxSon();
    engine::PiloteWave wave{{*etat, entree, tables, affichage}, *fluxAlsa};
    engine::PiloteDS ds{{*etat, entree, tables, affichage}, *fluxSon};
    std::vector<float> bruts = std::vector<float>(2 * NbBruts);

    // Opens the sink's monitor (DirectSound) or ALSA's "pulse" device (wave-in) at `fe`.
    engine::PiloteCapture& Ouvre(int type, bool stereo, int32_t fe) {
        engine::EnumereEntrees(tables);
        entree.TypeEntree = type;
        entree.NoEntree =
            type == 1 ? Indice(tables.IdentifiantsDS, tables.NbEntreesDS, ServeurSon::Moniteur)
                      : Indice(tables.IdentifiantsWave, tables.NbEntreesWave, "pulse");
        entree.Stereo = stereo;
        entree.Fe = fe;
        const engine::ResultatChoix r = engine::ChoisirPilote({&wave, &ds}, entree, tables, *etat);
        EXPECT_EQ(r.Code, 0);
        EXPECT_EQ(entree.TypeEntree, type) << "no fall-back to the other driver";
        return type == 1 ? static_cast<engine::PiloteCapture&>(ds) : wave;
    }

    // Reads until `accepte(bruts)` or the time limit.
    template <class Condition>
    bool LitJusqua(engine::PiloteCapture& p, Condition accepte,
                   std::chrono::milliseconds limite = 4s) {
        const auto fin = std::chrono::steady_clock::now() + limite;
        do {
            std::this_thread::sleep_for(50ms);
            p.Lire(bruts.data(), NbBruts);
            if (accepte()) return true;
        } while (std::chrono::steady_clock::now() < fin);
        return false;
    }
    double Frequence(int voie) const {
        return FrequenceMesuree(bruts.data() + voie * NbBruts, NbBruts, entree.FeCourante);
    }
    bool Proche(int voie, double hz) const { return std::abs(Frequence(voie) - hz) < hz * 0.01; }
};

class CaptureSon : public ::testing::TestWithParam<std::tuple<int, bool>> {
protected:
    void SetUp() override {
        ASSERT_TRUE(serveur_.Pret()) << "private sound server: " << serveur_.Dossier();
    }
    ServeurSon serveur_;
};

std::string NomCas(const ::testing::TestParamInfo<std::tuple<int, bool>>& info) {
    return std::string(std::get<0>(info.param) == 1 ? "DirectSound" : "WaveIn") +
           (std::get<1>(info.param) ? "Stereo" : "Mono");
}
INSTANTIATE_TEST_SUITE_P(Pilotes, CaptureSon,
                         ::testing::Combine(::testing::Values(0, 1), ::testing::Bool()), NomCas);

// The tones come back at the right rate, on the right channels, the newest samples in
// Bruts; a stop freezes the ring and a new start captures again.
TEST_P(CaptureSon, LeSignalJoueRevientParLeMoniteur) {
    const auto [type, stereo] = GetParam();
    // Mono capture mixes the channels: the same tone on both then.
    const double gauche = 440, droite = stereo ? 1000 : 440;
    ASSERT_TRUE(serveur_.Joue(gauche, droite));
    Capture c;
    const int32_t fe = type == 1 ? 48000 : 44100;
    engine::PiloteCapture& p = c.Ouvre(type, stereo, fe);
    EXPECT_EQ(c.entree.FeCourante, fe);
    EXPECT_EQ(c.etat->StereoActif, stereo ? 1 : 0);
    p.Demarrer();
    ASSERT_TRUE(p.DemarrageReussi());
    ASSERT_TRUE(
        c.LitJusqua(p, [&] { return c.Proche(0, gauche) && (!stereo || c.Proche(1, droite)); }))
        << "left " << c.Frequence(0) << " Hz, right " << c.Frequence(1) << " Hz";
    // The server's volumes may scale the level; it is a signal, not silence or clipping.
    EXPECT_GT(Efficace(c.bruts.data(), NbBruts), 1000);
    EXPECT_LT(Efficace(c.bruts.data(), NbBruts), 0.5 * 32767);
    if (!stereo) {
        EXPECT_EQ(std::count(c.bruts.begin() + NbBruts, c.bruts.end(), 0.0f), NbBruts)
            << "mono writes channel 0 only";
    }

    // New tones: the whole of Bruts soon holds them.
    const double gauche2 = 660, droite2 = stereo ? 1500 : 660;
    ASSERT_TRUE(serveur_.Joue(gauche2, droite2));
    ASSERT_TRUE(
        c.LitJusqua(p, [&] { return c.Proche(0, gauche2) && (!stereo || c.Proche(1, droite2)); }))
        << "left " << c.Frequence(0) << " Hz, right " << c.Frequence(1) << " Hz";

    // Stopped: the ring stays put.
    p.Arreter();
    EXPECT_TRUE(c.etat->Arret);
    EXPECT_FALSE(c.etat->EnMarche);
    const int64_t arrete = c.etat->TamponCapture.Position();
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(c.etat->TamponCapture.Position(), arrete);

    // Started again: the position starts over and the signal comes back.
    p.Demarrer();
    ASSERT_TRUE(p.DemarrageReussi());
    EXPECT_LT(c.etat->TamponCapture.Position(), arrete);
    ASSERT_TRUE(
        c.LitJusqua(p, [&] { return c.Proche(0, gauche2) && (!stereo || c.Proche(1, droite2)); }));
    p.Arreter();
    p.Fermer();
    p.Fermer();
}

// Wave-in counts the frames captured since the start; DirectSound the frames through the
// ring's wraps (it must read at least once per ring): both follow the elapsed time.
TEST_P(CaptureSon, LaPositionDeCaptureSuitLeTemps) {
    const auto [type, stereo] = GetParam();
    ASSERT_TRUE(serveur_.Joue(440, 440));
    Capture c;
    engine::PiloteCapture& p = c.Ouvre(type, stereo, 48000);
    p.Demarrer();
    // Counted from the first data: a device may take a while to start on a busy machine.
    const auto limite = std::chrono::steady_clock::now() + 5s;
    while (c.etat->TamponCapture.Position() == 0 && std::chrono::steady_clock::now() < limite)
        std::this_thread::sleep_for(1ms);
    const auto debut = std::chrono::steady_clock::now();
    for (int i = 0; i < 25; ++i) { // beyond one ring in stereo (65536 frames)
        std::this_thread::sleep_for(100ms);
        p.Lire(c.bruts.data(), NbBruts);
    }
    const double ecoule =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - debut).count();
    // DirectSound's position is one ring ahead and names the first copied frame.
    const double attendu =
        type == 0 ? ecoule * 48000
                  : ecoule * 48000 - NbBruts + platform::AnneauCapture::Taille / (stereo ? 2 : 1);
    EXPECT_NEAR(c.etat->PositionCapture, attendu, 0.3 * 48000);
    p.Fermer();
}

TEST(EnumerationSon, LesEntreesListentLeMoniteurEtSesFrequences) {
    ServeurSon serveur;
    ASSERT_TRUE(serveur.Pret());
    EXPECT_TRUE(platform::ServeurSonDisponible());
    engine::TablesEntrees t;
    engine::EnumereEntrees(t);
    ASSERT_TRUE(t.DSDisponible);
    ASSERT_GE(t.NbEntreesDS, 1);
    const int32_t d = Indice(t.IdentifiantsDS, t.NbEntreesDS, ServeurSon::Moniteur);
    ASSERT_GE(d, 0);
    EXPECT_EQ(t.NomsEntreesDS[engine::TablesEntrees::Indice(d)], ServeurSon::DescriptionMoniteur);
    EXPECT_EQ(t.NomsEntreesDS[0],
              std::string("Entrée par défaut (") + ServeurSon::DescriptionMoniteur + ")");
    for (int r = 0; r < engine::NbFe; ++r)
        EXPECT_TRUE(t.FeSupportesDS[engine::TablesEntrees::Indice(d)][r]) << engine::TableFe[r];
    EXPECT_EQ(t.MeilleurFe[engine::TablesEntrees::Indice(d)], 6);

    // ALSA: the default device, then the server's PCM, not the library's plugins.
    ASSERT_GE(t.NbEntreesWave, 1);
    const int32_t pulse = Indice(t.IdentifiantsWave, t.NbEntreesWave, "pulse");
    ASSERT_GE(pulse, 0);
    EXPECT_EQ(t.IdentifiantsWave[0], "");
    EXPECT_EQ(t.NomsEntreesWave[0], "Entrée par défaut");
    for (int r = 0; r < engine::NbFe; ++r) {
        EXPECT_TRUE(t.FeSupportesWave[0][r]) << engine::TableFe[r];
        EXPECT_TRUE(t.FeSupportesWave[engine::TablesEntrees::Indice(pulse)][r])
            << engine::TableFe[r];
    }
    for (int32_t i = 0; i < t.NbEntreesWave; ++i)
        EXPECT_TRUE(platform::EstEntreeAlsa(t.IdentifiantsWave[engine::TablesEntrees::Indice(i)]))
            << t.IdentifiantsWave[engine::TablesEntrees::Indice(i)];
    EXPECT_FALSE(engine::AucuneEntree(t));
}

TEST(EnumerationSon, UneSourceInconnueEstIndisponible) {
    ServeurSon serveur;
    ASSERT_TRUE(serveur.Pret());
    auto anneau = std::make_unique<platform::AnneauCapture>();
    auto flux = platform::CreeFluxSon();
    EXPECT_EQ(flux->Ouvrir("inexistante", 44100, 2, *anneau),
              platform::ResultatOuverture::Indisponible);
    flux->Fermer();
}

// What a frame computes: nothing here, the tests look at Bruts.
class SansCalcul : public engine::CalculsTrame {
public:
    std::atomic<int> Trames{0};
    void Extraire(int32_t) override { ++Trames; }
    void CalculeSpectre(int32_t) override {}
};

class ServeurDisparu : public ::testing::TestWithParam<int> {};
INSTANTIATE_TEST_SUITE_P(Pilotes, ServeurDisparu, ::testing::Values(0, 1), [](const auto& info) {
    return info.param == 1 ? "DirectSound" : "WaveIn";
});

// The server dies while the thread runs: no crash, no hang, the thread waits for sound
// with the last samples on the screen, and everything stops cleanly.
TEST_P(ServeurDisparu, LesTramesGardentLesDerniersEchantillons) {
    const int type = GetParam();
    auto serveur = std::make_unique<ServeurSon>();
    ASSERT_TRUE(serveur->Pret());
    ASSERT_TRUE(serveur->Joue(440, 1000));
    Capture c;
    engine::PiloteCapture& p = c.Ouvre(type, true, 48000);
    essai::GuiEssai gui;
    SansCalcul calculs;
    engine::ContexteThread contexte{*c.etat, c.affichage, c.entree, gui, calculs};
    // Bruts as the last frame drew it, copied in the drawing hand-over.
    std::vector<float> image(2 * NbBruts);
    gui.PendantDessiner = [&] {
        std::copy(c.etat->Bruts[0].begin(), c.etat->Bruts[0].end(), image.begin());
        std::copy(c.etat->Bruts[1].begin(), c.etat->Bruts[1].end(), image.begin() + NbBruts);
    };
    auto servirPendant = [&](std::chrono::milliseconds duree) {
        const auto fin = std::chrono::steady_clock::now() + duree;
        gui.ServirJusqua([&] { return std::chrono::steady_clock::now() > fin; });
    };
    p.Demarrer();
    auto thread = std::make_unique<engine::TscopeThread>(contexte, p);
    ASSERT_TRUE(gui.ServirJusqua([&] {
        return FrequenceMesuree(image.data(), NbBruts, 48000) > 430 &&
               FrequenceMesuree(image.data() + NbBruts, NbBruts, 48000) > 990;
    })) << "capture before the server goes";

    serveur->Tue();
    // No more frames: the thread waits for sound, the picture keeps the last samples.
    ASSERT_TRUE(gui.ServirJusqua([&] { return c.etat->SansSon.load(); }));
    const int64_t position = c.etat->TamponCapture.Position();
    const int trames = calculs.Trames;
    const std::vector<float> derniere = image;
    servirPendant(300ms);
    EXPECT_EQ(calculs.Trames, trames);
    EXPECT_EQ(c.etat->TamponCapture.Position(), position);
    EXPECT_TRUE(image == derniere);
    EXPECT_GT(Efficace(image.data(), NbBruts), 1000) << "the last samples, not silence";
    EXPECT_TRUE(c.etat->ThreadActive);

    engine::AttendFinThread(*c.etat, *thread, [&] { gui.Servir(); });
    thread.reset();
    p.Arreter();
    p.Fermer();
    EXPECT_TRUE(gui.Erreurs.empty());
    // A start without a server fails, and says so.
    p.Demarrer();
    EXPECT_FALSE(p.DemarrageReussi());
    p.Arreter();
    p.Fermer();
}

} // namespace
