// Capture through both drivers from a private sound server: a known stereo signal played
// into the null sink comes back from the sink's monitor, through the server directly
// ("DirectSound") and through ALSA's pulse plugin ("wave-in"). Every case runs against
// PulseAudio and against PipeWire.
#include "engine/Entrees.h"
#include "engine/Pilotes.h"
#include "engine/TscopeThread.h"
#include "platform/Alsa.h"
#include "platform/Pulse.h"
#include "support/Attente.h"
#include "support/GuiEssai.h"
#include "support/MesuresSon.h"
#include "support/PilotesReels.h"
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
using essai::AttendQue;
using essai::FrequenceMesuree;
using essai::Indice;
using essai::ServeurSon;
using essai::TypeServeur;

double Efficace(const float* x, int n) {
    double s = 0;
    for (int i = 0; i < n; ++i)
        s += static_cast<double>(x[i]) * x[i];
    return std::sqrt(s / n);
}

// Whether every stretch of `pas` samples of x[0, n) has an RMS above `seuil`: a tone fills
// it, with nothing from before it came.
bool ToutSonne(const float* x, int n, int pas, double seuil) {
    for (int debut = 0; debut + pas <= n; debut += pas)
        if (Efficace(x + debut, pas) < seuil) return false;
    return true;
}

// Waits until the server has recorded `trames` frames from the sink's monitor: the sound
// server's own clock, for checks that something does not happen meanwhile.
bool LeServeurAvance(int64_t trames) {
    auto anneau = std::make_unique<platform::AnneauCapture>();
    auto flux = platform::CreeFluxSon();
    if (flux->Ouvrir(ServeurSon::Moniteur, 48000, 1, *anneau) !=
            platform::ResultatOuverture::Reussie ||
        !flux->Demarrer())
        return false;
    const bool avance = AttendQue([&] { return anneau->Position() >= trames; });
    flux->Fermer();
    return avance;
}

struct Capture : essai::PilotesReels {
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
    bool LitJusqua(engine::PiloteCapture& p, Condition accepte) {
        return AttendQue(
            [&] {
                p.Lire(bruts.data(), NbBruts);
                return accepte();
            },
            10s, 20ms);
    }
    double Frequence(int voie) const {
        return FrequenceMesuree(bruts.data() + voie * NbBruts, NbBruts, entree.FeCourante);
    }
    bool Proche(int voie, double hz) const { return std::abs(Frequence(voie) - hz) < hz * 0.01; }
};

// Cases whose first parameter names the server: the program's shared one of that type.
template <class Parametres>
class AvecServeur : public ::testing::TestWithParam<Parametres> {
protected:
    void SetUp() override {
        if (!essai::ServeurChoisi(std::get<0>(this->GetParam())))
            GTEST_SKIP() << "not the server TAMBURELLA_SERVEUR_SON names";
        serveur_ = &essai::ServeurPartage(std::get<0>(this->GetParam()));
        ASSERT_TRUE(serveur_->Pret()) << "private sound server: " << serveur_->Dossier();
    }
    ServeurSon* serveur_ = nullptr;
};

const auto Serveurs = ::testing::ValuesIn(essai::ServeursEssayes());

// "PipeWire_DirectSound", "PulseAudio_WaveIn"...
template <class Parametres>
std::string NomCas(const ::testing::TestParamInfo<Parametres>& info) {
    std::string nom = essai::NomServeur(std::get<0>(info.param));
    if constexpr (std::tuple_size_v < Parametres >> 1)
        nom += std::get<1>(info.param) == 1 ? "_DirectSound" : "_WaveIn";
    if constexpr (std::tuple_size_v < Parametres >> 2)
        nom += std::get<2>(info.param) ? "Stereo" : "Mono";
    return nom;
}

using ParametresCapture = std::tuple<TypeServeur, int, bool>;
class CaptureSon : public AvecServeur<ParametresCapture> {};
INSTANTIATE_TEST_SUITE_P(Pilotes, CaptureSon,
                         ::testing::Combine(Serveurs, ::testing::Values(0, 1), ::testing::Bool()),
                         NomCas<ParametresCapture>);

// The tones come back at the right rate, on the right channels, the newest samples in
// Bruts; a stop freezes the ring and a new start captures again.
TEST_P(CaptureSon, LeSignalJoueRevientParLeMoniteur) {
    const auto [serveur, type, stereo] = GetParam();
    // Mono capture mixes the channels: the same tone on both then.
    const double gauche = 440, droite = stereo ? 1000 : 440;
    ASSERT_TRUE(serveur_->Joue(gauche, droite));
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
    ASSERT_TRUE(serveur_->Joue(gauche2, droite2));
    ASSERT_TRUE(
        c.LitJusqua(p, [&] { return c.Proche(0, gauche2) && (!stereo || c.Proche(1, droite2)); }))
        << "left " << c.Frequence(0) << " Hz, right " << c.Frequence(1) << " Hz";

    // Stopped: the ring stays put.
    p.Arreter();
    EXPECT_TRUE(c.etat->Arret);
    EXPECT_FALSE(c.etat->EnMarche);
    const int64_t arrete = c.etat->TamponCapture.Position();
    ASSERT_TRUE(LeServeurAvance(9600));
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
// ring's wraps, which it sees from its reads: both follow the elapsed time while the reads
// come at least once per ring.
TEST_P(CaptureSon, LaPositionDeCaptureSuitLeTemps) {
    const auto [serveur, type, stereo] = GetParam();
    ASSERT_TRUE(serveur_->Joue(440, 440));
    Capture c;
    engine::PiloteCapture& p = c.Ouvre(type, stereo, 48000);
    const int canaux = stereo ? 2 : 1;
    // A machine that holds this thread (or the capture's) up for half a ring or more
    // (0.7 s in stereo) may hide a wrap from DirectSound: the measure is then made again.
    bool mesure = false;
    for (int essai = 0; essai < 3 && !mesure; ++essai) {
        p.Demarrer();
        const auto demarrage = std::chrono::steady_clock::now();
        // Timed from the first frames, which a busy machine may deliver late.
        ASSERT_TRUE(AttendQue([&] { return c.etat->TamponCapture.Position() > 0; }, 10s, 1ms));
        const auto debut = std::chrono::steady_clock::now();
        const int64_t premieres = c.etat->TamponCapture.Position() / canaux;
        auto attendu = [&] {
            const double ecoule =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - debut).count();
            // DirectSound's position is one ring ahead and names the first copied frame.
            const double decalage =
                type == 0 ? 0 : platform::AnneauCapture::Taille / canaux - NbBruts;
            return static_cast<double>(premieres) + ecoule * 48000 + decalage;
        };
        int64_t lue = c.etat->TamponCapture.Position();
        bool assezSouvent = true;
        auto lit = [&] {
            p.Lire(c.bruts.data(), NbBruts);
            const int64_t ici = c.etat->TamponCapture.Position();
            assezSouvent = assezSouvent && ici - lue < platform::AnneauCapture::Taille / 2;
            lue = ici;
        };
        // Read as the frames do, beyond one ring in stereo (65536 frames).
        AttendQue(
            [&] {
                lit();
                return std::chrono::steady_clock::now() - debut > 2500ms;
            },
            10s, 50ms);
        // A capture thread held up delivers late; the position catches up with the time.
        const bool suit = AttendQue(
            [&] {
                lit();
                return std::abs(c.etat->PositionCapture - attendu()) < 0.1 * 48000;
            },
            5s, 20ms);
        p.Arreter();
        if (!assezSouvent) continue;
        mesure = true;
        EXPECT_TRUE(suit) << "position " << c.etat->PositionCapture << ", expected " << attendu()
                          << " (first frames "
                          << std::chrono::duration<double>(debut - demarrage).count()
                          << " s after the start)";
    }
    EXPECT_TRUE(mesure) << "never read once per half ring";
    p.Fermer();
}

using ParametresMono = std::tuple<TypeServeur, int>;
class NiveauMono : public AvecServeur<ParametresMono> {};
INSTANTIATE_TEST_SUITE_P(Pilotes, NiveauMono, ::testing::Combine(Serveurs, ::testing::Values(0, 1)),
                         NomCas<ParametresMono>);

// Mono reads the mean of the two channels whatever the server (PipeWire's own fold-down
// adds them at 0.707 each, 3 dB up): the same tone on both channels reads its own level,
// and a loud one does not clip.
TEST_P(NiveauMono, LeMonoEstLaMoyenneDesVoies) {
    const int type = std::get<1>(GetParam());
    for (const double niveau : {0.5, 0.9}) {
        SCOPED_TRACE(niveau);
        ASSERT_TRUE(serveur_->Joue(440, 440, 20, niveau));
        Capture c;
        engine::PiloteCapture& p = c.Ouvre(type, false, 48000);
        p.Demarrer();
        ASSERT_TRUE(p.DemarrageReussi());
        const double efficace = niveau * 32767 / std::sqrt(2.0);
        // The tone fills the frames read, the silence before it gone.
        EXPECT_TRUE(c.LitJusqua(p, [&] {
            return c.Proche(0, 440) && ToutSonne(c.bruts.data(), NbBruts, 480, 0.9 * efficace);
        }));
        EXPECT_NEAR(Efficace(c.bruts.data(), NbBruts), efficace, 0.02 * efficace);
        const auto ecretes = std::count_if(c.bruts.begin(), c.bruts.begin() + NbBruts,
                                           [](float v) { return std::fabs(v) >= 32767; });
        EXPECT_EQ(ecretes, 0) << "clipped samples";
        p.Fermer();
    }
}

using ParametresServeur = std::tuple<TypeServeur>;
class EnumerationSon : public AvecServeur<ParametresServeur> {};
INSTANTIATE_TEST_SUITE_P(Serveurs, EnumerationSon, ::testing::Combine(Serveurs),
                         NomCas<ParametresServeur>);

TEST_P(EnumerationSon, LesEntreesListentLeMoniteurEtSesFrequences) {
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

// On every server: one may route a stream for a name it does not know to the default
// source instead of failing, and the user would watch the wrong signal.
TEST_P(EnumerationSon, UneSourceInconnueEstIndisponible) {
    auto anneau = std::make_unique<platform::AnneauCapture>();
    for (const bool alsa : {false, true}) {
        auto flux = alsa ? platform::CreeFluxAlsa() : platform::CreeFluxSon();
        for (const int32_t canaux : {1, 2})
            EXPECT_EQ(flux->Ouvrir("inexistante", 44100, canaux, *anneau),
                      platform::ResultatOuverture::Indisponible)
                << (alsa ? "ALSA" : "server") << ", " << canaux << " channel(s)";
        flux->Fermer();
    }
    EXPECT_EQ(anneau->Position(), 0);
}

// What a frame computes: nothing here, the tests look at Bruts.
class SansCalcul : public engine::CalculsTrame {
public:
    std::atomic<int> Trames{0};
    void Extraire(int32_t) override { ++Trames; }
    void CalculeSpectre(int32_t) override {}
};

class ServeurDisparu : public ::testing::TestWithParam<ParametresMono> {
protected:
    void SetUp() override {
        if (!essai::ServeurChoisi(std::get<0>(GetParam())))
            GTEST_SKIP() << "not the server TAMBURELLA_SERVEUR_SON names";
    }
};
INSTANTIATE_TEST_SUITE_P(Pilotes, ServeurDisparu,
                         ::testing::Combine(Serveurs, ::testing::Values(0, 1)),
                         NomCas<ParametresMono>);

// The server dies while the thread runs: no crash, no hang, the thread waits for sound
// with the last samples on the screen, and everything stops cleanly.
TEST_P(ServeurDisparu, LesTramesGardentLesDerniersEchantillons) {
    const auto [typeServeur, type] = GetParam();
    // A server of its own: this one dies.
    auto serveur = std::make_unique<ServeurSon>(typeServeur);
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
