// The generator through a private sound server: what it plays into the null sink is
// recorded from the sink's monitor by the scope's own capture backends, and measured.
// Each case runs over both playback backends, the server directly and ALSA through its
// pulse plugin, against PulseAudio and against PipeWire.
#include "dsp/Fft.h"
#include "engine/Entrees.h"
#include "engine/Pilotes.h"
#include "generator/Generateur.h"
#include "generator/Sorties.h"
#include "platform/Alsa.h"
#include "platform/Anneau.h"
#include "platform/Lecture.h"
#include "platform/Pulse.h"
#include "support/Attente.h"
#include "support/ServeurSon.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <complex>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using namespace std::chrono_literals;
using essai::AttendQue;
using essai::ServeurSon;
using essai::TypeServeur;
using generator::Generateur;

// Magnitude of the Hann-windowed DFT of x at f Hz.
double Module(const std::vector<float>& x, double f, double fe) {
    std::complex<double> s = 0;
    const double n = static_cast<double>(x.size());
    for (size_t k = 0; k < x.size(); ++k) {
        const double fenetre = 0.5 - 0.5 * std::cos(2 * M_PI * static_cast<double>(k) / n);
        s += static_cast<double>(x[k]) * fenetre * std::polar(1.0, -2 * M_PI * f * k / fe);
    }
    return std::abs(s);
}

// Frequency of a tone from its zero crossings.
double FrequencePassages(const float* x, size_t n, double fe) {
    int passages = 0;
    for (size_t k = 1; k < n; ++k)
        passages += (x[k - 1] < 0) != (x[k] < 0);
    return passages / 2.0 / (static_cast<double>(n) / fe);
}

// The sink's monitor, recorded by the capture backend of the sound server into a ring.
class Enregistreur {
public:
    Enregistreur(int32_t fe, int32_t canaux) : fe_(fe), canaux_(canaux) {
        EXPECT_EQ(flux_->Ouvrir(ServeurSon::Moniteur, fe, canaux, *anneau_),
                  platform::ResultatOuverture::Reussie);
        EXPECT_TRUE(flux_->Demarrer());
    }
    ~Enregistreur() { flux_->Fermer(); }
    // Frames recorded so far.
    int64_t Trames() const { return anneau_->Position() / canaux_; }
    // Channel `voie` of frames [debut, debut + n).
    std::vector<float> Voie(int64_t debut, int32_t n, int voie) const {
        std::vector<float> tout(static_cast<size_t>(canaux_) * static_cast<size_t>(n));
        anneau_->CopieTrames(debut * canaux_, n, canaux_, tout.data());
        return {tout.begin() + voie * n, tout.begin() + (voie + 1) * n};
    }
    bool AttendTrames(int64_t n) const {
        return AttendQue([&] { return Trames() >= n; });
    }
    int32_t Fe() const { return fe_; }

private:
    int32_t fe_, canaux_;
    std::unique_ptr<platform::AnneauCapture> anneau_ = std::make_unique<platform::AnneauCapture>();
    std::unique_ptr<platform::FluxCapture> flux_ = platform::CreeFluxSon();
};

// Frames recorded since `debut` once the signal is there: the first frame louder than
// `seuil`, at or after debut.
int64_t DebutSignal(const Enregistreur& e, int64_t debut, int64_t fin, float seuil) {
    const std::vector<float> x = e.Voie(debut, static_cast<int32_t>(fin - debut), 0);
    for (size_t k = 0; k < x.size(); ++k)
        if (std::fabs(x[k]) > seuil) return debut + static_cast<int64_t>(k);
    return -1;
}

// Waits until a signal louder than `seuil` has been recorded from frame `depuis` on, and
// `apres` frames more behind its start; its start, or -1.
int64_t AttendSignal(const Enregistreur& e, int64_t depuis, float seuil, int64_t apres) {
    int64_t debut = -1;
    const bool entendu = AttendQue([&] {
        const int64_t fin = std::min(e.Trames(), depuis + platform::AnneauCapture::Taille / 4);
        if (debut < 0 && fin > depuis) debut = DebutSignal(e, depuis, fin, seuil);
        if (debut < 0) depuis = std::max(depuis, fin - 1);
        return debut >= 0 && e.Trames() >= debut + apres;
    });
    return entendu ? debut : -1;
}

// The first gap in x[debut, fin): `largeur` samples quieter than a tone at a tenth of full
// scale, or -1. A machine that holds playback up longer than its buffer lets the sink play
// silence, which says nothing of what a test measures: the measure is then made again,
// until `limite` (see Reprendre).
int64_t Trou(const std::vector<float>& x, size_t debut, size_t fin, size_t largeur) {
    for (size_t k = debut; k + largeur <= fin; k += largeur / 4) {
        double s = 0;
        for (size_t j = k; j < k + largeur; ++j)
            s += static_cast<double>(x[j]) * x[j];
        if (std::sqrt(s / static_cast<double>(largeur)) < 0.1 * 32767 / std::sqrt(2.0))
            return static_cast<int64_t>(k);
    }
    return -1;
}

// Whether a measure spoilt by the machine (a gap, a call held up) may be made again: until
// `limite`, and says so; past it the measure stands and is judged.
bool Reprendre(std::chrono::steady_clock::time_point limite, const std::string& pourquoi) {
    if (std::chrono::steady_clock::now() >= limite) return false;
    std::cout << pourquoi << ": measured again\n";
    return true;
}

// Whether every stretch of `pas` samples of x[0, n) holds a steady tone of f Hz: an RMS
// above `seuil` and the tone's count of zero crossings, so no silence, gap or stutter.
bool ToutLeTon(const float* x, size_t n, size_t pas, double fe, double f, double seuil) {
    const double attendus = 2 * f * static_cast<double>(pas) / fe;
    for (size_t debut = 0; debut + pas <= n; debut += pas) {
        double s = 0;
        int passages = 0;
        for (size_t k = debut; k < debut + pas; ++k) {
            s += static_cast<double>(x[k]) * x[k];
            if (k > debut) passages += (x[k - 1] < 0) != (x[k] < 0);
        }
        if (std::sqrt(s / static_cast<double>(pas)) < seuil || std::abs(passages - attendus) > 2)
            return false;
    }
    return true;
}

const auto Serveurs = ::testing::ValuesIn(essai::ServeursEssayes());

// The case's server (the program's shared one of that type) and playback backend.
class GenerateurSon : public ::testing::TestWithParam<std::tuple<TypeServeur, bool>> {
protected:
    void SetUp() override {
        if (!essai::ServeurChoisi(std::get<0>(GetParam())))
            GTEST_SKIP() << "not the server TAMBURELLA_SERVEUR_SON names";
        serveur_ = &essai::ServeurPartage(std::get<0>(GetParam()));
        ASSERT_TRUE(serveur_->Pret()) << "private sound server: " << serveur_->Dossier();
        flux_ = std::get<1>(GetParam()) ? platform::CreeFluxLectureSon()
                                        : platform::CreeFluxLectureAlsa();
        g_ = std::make_unique<Generateur>(*flux_);
        champs_.Predefini = generator::Sinusoidal;
        champs_.Niveau = "0.5";
    }
    void TearDown() override {
        if (g_) g_->ArreteEtFerme(true);
    }
    // The generator's rate, set as the window does at its creation.
    void Fe(int32_t fe) {
        g_->Synth.FeGene = fe;
        g_->Sortie.Format.FixeFe(fe);
    }

    ServeurSon* serveur_ = nullptr;
    std::unique_ptr<platform::FluxLecture> flux_;
    std::unique_ptr<Generateur> g_;
    generator::ChampsSignal champs_;
};

INSTANTIATE_TEST_SUITE_P(Sorties, GenerateurSon, ::testing::Combine(Serveurs, ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(essai::NomServeur(std::get<0>(info.param))) +
                                    (std::get<1>(info.param) ? "_Serveur" : "_Alsa");
                         });

// 1000 Hz at 44100 Hz is 185 periods in 8158 frames: 1000.06 Hz comes back.
TEST_P(GenerateurSon, UnSinusDe1000HzRevientA1000Virgule06Hz) {
    Fe(44100);
    champs_.Frequence = "1000";
    ASSERT_TRUE(g_->Boucle.JoueSignal(champs_).Reussi);
    const double attendu = 44100.0 * 185 / 8158;

    // The scope's own driver reads the monitor.
    auto etat = std::make_unique<engine::EtatScope>();
    engine::ReglagesEntree entree;
    engine::TablesEntrees tables;
    engine::ReglagesAffichage affichage;
    auto fluxCapture = platform::CreeFluxSon();
    engine::PiloteDS ds{{*etat, entree, tables, affichage}, *fluxCapture};
    engine::EnumereEntrees(tables);
    entree.TypeEntree = 1;
    entree.NoEntree = -2;
    for (int32_t d = -1; d < tables.NbEntreesDS; ++d)
        if (tables.IdentifiantsDS[engine::TablesEntrees::Indice(d)] == ServeurSon::Moniteur)
            entree.NoEntree = d;
    entree.Fe = 44100;
    ASSERT_EQ(engine::ChoisirPilote({&ds, &ds}, entree, tables, *etat).Code, 0);
    ds.Demarrer();
    ASSERT_TRUE(ds.DemarrageReussi());
    std::vector<float> bruts(2 * engine::NbBruts);
    // Until the tone fills the frames read, 10 ms after 10 ms.
    const bool plein = AttendQue([&] {
        ds.Lire(bruts.data(), engine::NbBruts);
        return ToutLeTon(bruts.data(), engine::NbBruts, 441, 44100, 1000, 1000);
    });
    ds.Arreter();
    ds.Fermer();
    ASSERT_TRUE(plein) << "a tone, not silence";

    // FFT peak within a bin.
    ASSERT_TRUE(dsp::InitTFR(2, 13));
    std::vector<float> x(bruts.begin(), bruts.begin() + 8192), modules(8192);
    dsp::SpectreTFR(x.data(), modules.data());
    const auto pic = std::max_element(modules.begin(), modules.begin() + 4096) - modules.begin();
    const double casier = 44100.0 / 8192;
    EXPECT_NEAR(static_cast<double>(pic) * casier, attendu, casier);
    // Finer: the peak of the windowed DFT of all the frames read tells 1000.06 from 1000.
    const std::vector<float> tout(bruts.begin(), bruts.begin() + engine::NbBruts);
    double meilleur = 0, f = 0;
    for (double essai = 999.5; essai <= 1000.5; essai += 0.005) {
        const double m = Module(tout, essai, 44100);
        if (m > meilleur) meilleur = m, f = essai;
    }
    EXPECT_NEAR(f, attendu, 0.03);
    EXPECT_GT(meilleur / engine::NbBruts, 1000) << "a tone, not silence";
}

// "Canal Synchro": a square at the tone's frequency on the right, rising where the sine
// crosses zero upwards.
TEST_P(GenerateurSon, LeCanalSynchroEstUnCarreEnPhase) {
    Fe(48000);
    g_->Synth.CanalSyncGene = 1;
    champs_.Frequence = "1000";
    Enregistreur e(48000, 2);
    ASSERT_TRUE(g_->Boucle.JoueSignal(champs_).Reussi);
    EXPECT_EQ(g_->Sortie.Format.Canaux, 2);
    // The last 200 ms recorded, once the tone plays steadily in them.
    std::vector<float> gauche, droite;
    ASSERT_TRUE(AttendQue([&] {
        const int64_t fin = e.Trames();
        if (fin < 9600) return false;
        gauche = e.Voie(fin - 9600, 9600, 0);
        droite = e.Voie(fin - 9600, 9600, 1);
        return ToutLeTon(gauche.data(), gauche.size(), 480, 48000, 1000, 5000);
    })) << "a steady tone on the left";
    EXPECT_NEAR(FrequencePassages(droite.data(), droite.size(), 48000), 1000, 10);
    EXPECT_NEAR(FrequencePassages(gauche.data(), gauche.size(), 48000), 1000, 10);
    float crete = 0;
    for (float v : droite)
        crete = std::max(crete, std::fabs(v));
    EXPECT_GT(crete, 0.4f * 32767) << "half the full scale";
    const auto plats = std::count_if(droite.begin(), droite.end(),
                                     [&](float v) { return std::fabs(v) > 0.8f * crete; });
    EXPECT_GT(plats, 9 * 9600 / 10) << "a square spends its time at its two levels";
    float creteGauche = 0;
    for (float v : gauche)
        creteGauche = std::max(creteGauche, std::fabs(v));
    int fronts = 0;
    for (size_t k = 1; k + 6 < droite.size(); ++k) {
        if (droite[k - 1] < 0 && droite[k] >= 0) {
            ++fronts;
            EXPECT_LT(std::fabs(gauche[k]), 0.2f * creteGauche) << k;
            EXPECT_GT(gauche[k + 6], gauche[k]) << k;
        }
    }
    EXPECT_GT(fronts, 150);
}

// 20 Hz to 20000 Hz over 1 s: the tone captured back rises all the way, and the read-out
// ends at "20000 Hz  ".
TEST_P(GenerateurSon, UnSweepMonteEtFinitA20000Hz) {
    Fe(48000);
    Enregistreur e(48000, 1);
    ASSERT_TRUE(e.AttendTrames(4800));
    const auto limiteReprises = std::chrono::steady_clock::now() + 40s;
    for (;;) {
        const int64_t avant = e.Trames();
        generator::ChampsSweep champs;
        champs.Duree = "1";
        champs.Niveau = "0.5";
        generator::ResultatGene r = g_->Balayage.GoSweepClick(champs);
        ASSERT_TRUE(r.Reussi);
        EXPECT_EQ(r.Lecture, "20 Hz  ");
        std::vector<double> lectures;
        const auto limite = std::chrono::steady_clock::now() + 10s;
        do {
            std::this_thread::sleep_for(100ms);
            r = g_->Balayage.Timer1Timer();
            if (!r.Minuterie && r.Lecture) lectures.push_back(std::atof(r.Lecture->c_str()));
        } while (!r.Minuterie.has_value() && std::chrono::steady_clock::now() < limite);
        EXPECT_EQ(r.Minuterie, false);
        EXPECT_EQ(r.Lecture, "20000 Hz  ");
        EXPECT_FALSE(g_->Sortie.EnLecture);
        for (size_t i = 1; i < lectures.size(); ++i)
            EXPECT_GE(lectures[i], lectures[i - 1]) << "read-out " << i;

        const int64_t debut = AttendSignal(e, avant, 2000, 60000);
        ASSERT_GE(debut, 0) << "the sweep was heard";
        // Measured from its end: a monitor may miss the first milliseconds of a stream that
        // joins a running sink (the sink mixes it into what it had rendered already).
        const std::vector<float> x = e.Voie(debut, 60000, 0);
        size_t fin = 0;
        for (size_t k = 0; k < x.size(); ++k)
            if (std::fabs(x[k]) > 2000) fin = k + 1;
        // The first 200 ms are left out: ALSA playback through the pulse plugin may still
        // stutter as it starts. From there on the sweep is above 4 kHz, and a gap of 2.5 ms
        // (5 % of a window below) is seen on 2 ms.
        const int64_t trou = fin > 9600 ? Trou(x, 9600, fin, 96) : -1;
        if (trou >= 0 &&
            Reprendre(limiteReprises, "gap " + std::to_string(trou) + " frames into the sweep"))
            continue;
        // An underrun as ALSA playback starts may drop what was queued, and the sweep then
        // ends early: measured again.
        if (fin <= 47000 &&
            Reprendre(limiteReprises, "the sweep ended " + std::to_string(fin) + " frames in"))
            continue;
        ASSERT_GT(fin, 47000u) << "the whole second was heard";
        // A test thread held up misses read-outs of the 100 ms timer.
        if (lectures.size() < 5 &&
            Reprendre(limiteReprises, std::to_string(lectures.size()) + " read-outs in the sweep"))
            continue;
        ASSERT_GE(lectures.size(), 5u);
        // 50 ms windows back from the end.
        double suivante = 1e9;
        for (size_t j = 0; j < 16; ++j) {
            const double f = FrequencePassages(x.data() + fin - 2400 * (j + 1), 2400, 48000);
            const double attendue = 20000 - 19980 * (j + 0.5) / 20;
            EXPECT_NEAR(f, attendue, 0.05 * attendue + 60) << "window " << j << " from the end";
            EXPECT_LT(f, suivante) << "window " << j << " from the end";
            suivante = f;
        }
        break;
    }
}

// A finite stream is played to its last frame: the sweep's last block, which ends on no
// whole number of server quanta (48000 frames), is heard sample for sample to its end.
TEST_P(GenerateurSon, LeDernierBlocDuSweepSEntendJusquAuBout) {
    Fe(48000);
    Enregistreur e(48000, 1);
    ASSERT_TRUE(e.AttendTrames(4800));
    generator::ChampsSweep champs;
    champs.f1 = "1000";
    champs.f2 = "2000";
    champs.Duree = "1";
    champs.Niveau = "0.5";
    const int32_t apres = 24000; // recorded past the start: the sweep, and room for delays
    const auto limiteReprises = std::chrono::steady_clock::now() + 40s;
    for (;;) {
        const int64_t avant = e.Trames();
        ASSERT_TRUE(g_->Balayage.GoSweepClick(champs).Reussi);
        // What is played, as the generator computes it.
        const int32_t total = g_->Balayage.TotalSweep;
        ASSERT_EQ(total, 48000);
        std::vector<int16_t> joue(static_cast<size_t>(total + generator::TailleBlocSweep));
        for (int32_t b = 0; b * generator::TailleBlocSweep < total; ++b)
            g_->Balayage.RemplitBlocSweep(joue.data() + b * generator::TailleBlocSweep, b);

        const int64_t entendu = AttendSignal(e, avant, 2000, total + apres);
        ASSERT_GE(entendu, 0) << "the sweep was heard";
        const std::vector<float> x = e.Voie(entendu, total + apres, 0);
        // Where the sweep ends in the recording: where the 50 ms before its last 10 ms
        // match best (a monitor may miss the first milliseconds of a stream, and a machine
        // that holds playback up delays what follows).
        const int32_t modele = 2400, dernierBloc = 480;
        double energieModele = 0;
        for (int32_t j = 0; j < modele; ++j) {
            const double r = joue[static_cast<size_t>(total - dernierBloc - modele + j)];
            energieModele += r * r;
        }
        int32_t fin = -1;
        double meilleur = 0.5 * energieModele;
        for (int32_t f = total - 4800; f + dernierBloc <= static_cast<int32_t>(x.size()); ++f) {
            double produit = 0;
            for (int32_t j = 0; j < modele; ++j)
                produit +=
                    static_cast<double>(x[static_cast<size_t>(f - dernierBloc - modele + j)]) *
                    joue[static_cast<size_t>(total - dernierBloc - modele + j)];
            if (produit > meilleur) meilleur = produit, fin = f;
        }
        // A gap of 2 ms or more: the machine held playback up (an underrun may also drop
        // what was queued, and the sweep then ends early): measured again.
        const int64_t trou =
            Trou(x, 0, fin > 0 ? static_cast<size_t>(fin - dernierBloc) : x.size(), 96);
        if (trou >= 0 &&
            Reprendre(limiteReprises, "gap " + std::to_string(trou) + " frames into the sweep"))
            continue;
        ASSERT_GE(fin, 0) << "the end of the sweep was heard";
        // Its last 10 ms: the played samples, nearly exactly; nothing after them.
        double ecart = 0, energie = 0;
        for (int32_t n = 0; n < dernierBloc; ++n) {
            const double r = joue[static_cast<size_t>(total - dernierBloc + n)];
            const double d = x[static_cast<size_t>(fin - dernierBloc + n)] - r;
            ecart += d * d;
            energie += r * r;
        }
        int32_t dernier = 0;
        for (int32_t n = fin - dernierBloc; n < static_cast<int32_t>(x.size()); ++n)
            if (std::fabs(x[static_cast<size_t>(n)]) > 2000) dernier = n + 1;
        EXPECT_LT(ecart, 0.01 * energie)
            << "heard up to " << dernier - fin << " frames from the end";
        EXPECT_NEAR(dernier, fin, 8) << "heard up to " << dernier - fin << " frames from the end";
        break;
    }
}

// A new frequency while playing is heard within 200 ms, whether the buffer keeps its
// length (rewritten in place) or not (queued again).
TEST_P(GenerateurSon, UnChangementEnDirectSEntendEnMoinsDe200ms) {
    Fe(48000);
    champs_.Frequence = "1000";
    Enregistreur e(48000, 1);
    ASSERT_TRUE(g_->Boucle.JoueSignal(champs_).Reussi);
    for (const char* nouvelle : {"1200", "2000", "1000"}) {
        const std::string avant = champs_.Frequence;
        const double ancienne = std::atof(avant.c_str()), f = std::atof(nouvelle);
        const auto limiteReprises = std::chrono::steady_clock::now() + 20s;
        for (bool reprise = false;; reprise = true) {
            if (reprise) { // back to the tone before
                champs_.Frequence = avant;
                ASSERT_TRUE(g_->Boucle.CalculeSignal(champs_).Reussi);
            }
            const uint32_t longueur = g_->Sortie.EntetesGene[generator::TamponBoucle].Octets;
            // The change is made while the tone before it plays steadily.
            ASSERT_TRUE(AttendQue([&] {
                const int64_t n = e.Trames();
                if (n < 4800) return false;
                const std::vector<float> x = e.Voie(n - 4800, 4800, 0);
                return ToutLeTon(x.data(), x.size(), 480, 48000, ancienne, 5000);
            })) << ancienne
                << " Hz never heard";
            const int64_t changement = e.Trames();
            const auto appel = std::chrono::steady_clock::now();
            champs_.Frequence = nouvelle;
            ASSERT_TRUE(g_->Boucle.CalculeSignal(champs_).Reussi);
            const bool appelRetenu = std::chrono::steady_clock::now() - appel > 50ms;
            EXPECT_EQ(g_->Sortie.EntetesGene[generator::TamponBoucle].Octets == longueur,
                      std::string(nouvelle) == "1200")
                << nouvelle;
            ASSERT_TRUE(e.AttendTrames(changement + 24000));
            // The first 5 ms window, from the change on, where the new tone is the louder.
            const std::vector<float> x = e.Voie(changement, 24000, 0);
            int64_t entendu = -1;
            for (size_t k = 0; k + 480 <= x.size(); k += 240) {
                const std::vector<float> fenetre(x.begin() + static_cast<long>(k),
                                                 x.begin() + static_cast<long>(k + 480));
                if (Module(fenetre, f, 48000) > 2 * Module(fenetre, ancienne, 48000)) {
                    entendu = static_cast<int64_t>(k);
                    break;
                }
            }
            // A gap of 20 ms or more, or a change held up, delays what is heard.
            const int64_t trou = Trou(x, 0, x.size(), 960);
            if ((appelRetenu || trou >= 0) &&
                Reprendre(limiteReprises, std::string(nouvelle) +
                                              " Hz: " + (appelRetenu ? "change held up" : "gap")))
                continue;
            ASSERT_GE(entendu, 0) << nouvelle << " Hz never heard";
            EXPECT_LT(entendu / 48000.0, 0.2)
                << nouvelle << " Hz heard after " << entendu << " frames";
            break;
        }
    }
}

// The server dies while the loop plays: a Go says the buffer could not be sent, once; the
// server back, the next Go opens the output again and the tone is heard, with no mode
// switch in between.
TEST_P(GenerateurSon, ApresUnServeurTueLeGoSuivantRouvreLaSortie) {
    Fe(48000);
    champs_.Frequence = "1000";
    ASSERT_TRUE(g_->Boucle.JoueSignal(champs_).Reussi);
    serveur_->Tue();
    // The output learns of it from its own thread: Go until it says so.
    std::optional<generator::MessageGene> message;
    const auto limite = std::chrono::steady_clock::now() + 10s;
    while (!message && std::chrono::steady_clock::now() < limite) {
        message = g_->Boucle.JoueSignal(champs_).Message;
        if (!message) std::this_thread::sleep_for(50ms);
    }
    ASSERT_TRUE(message) << "a dead output takes the buffer";
    EXPECT_EQ(message->Texte.rfind(generator::MessageEnvoi, 0), 0u) << message->Texte;
    EXPECT_FALSE(g_->Sortie.SortieOuverte);

    ASSERT_TRUE(serveur_->Redemarre());
    Enregistreur e(48000, 1);
    ASSERT_TRUE(e.AttendTrames(4800));
    const generator::ResultatGene r = g_->Boucle.JoueSignal(champs_);
    EXPECT_FALSE(r.Message) << r.Message->Texte;
    ASSERT_TRUE(r.Reussi);
    // The newest 200 ms recorded hold the tone.
    auto entendu = [&] {
        const std::vector<float> x = e.Voie(e.Trames() - 9600, 9600, 0);
        return std::abs(FrequencePassages(x.data(), x.size(), 48000) - 1000) < 10;
    };
    const auto limite2 = std::chrono::steady_clock::now() + 10s;
    while (!entendu() && std::chrono::steady_clock::now() < limite2)
        std::this_thread::sleep_for(20ms);
    EXPECT_TRUE(entendu()) << "the tone is back";
}

// The server dies while a sweep plays: the sweep ends with a message and a blank
// read-out instead of waiting for ever; the server back, the next Go sweeps again.
TEST_P(GenerateurSon, UnServeurTueArreteLeSweepAvecUnMessage) {
    Fe(48000);
    generator::ChampsSweep champs;
    champs.Duree = "20";
    champs.Niveau = "0.5";
    ASSERT_TRUE(g_->Balayage.GoSweepClick(champs).Reussi);
    std::this_thread::sleep_for(200ms);
    serveur_->Tue();
    generator::ResultatGene r;
    const auto limite = std::chrono::steady_clock::now() + 10s;
    do {
        std::this_thread::sleep_for(100ms);
        r = g_->Balayage.Timer1Timer();
    } while (!r.Minuterie && std::chrono::steady_clock::now() < limite);
    ASSERT_EQ(r.Minuterie, false) << "the sweep never ends";
    ASSERT_TRUE(r.Message);
    EXPECT_EQ(r.Message->Texte, generator::MessageSweepInterrompu);
    EXPECT_EQ(r.Message->Titre, generator::TitreProbleme);
    EXPECT_EQ(r.Lecture, "");
    EXPECT_FALSE(r.FermerFenetre);
    EXPECT_FALSE(g_->Sortie.EnLecture);
    EXPECT_FALSE(g_->Sortie.SortieOuverte);

    ASSERT_TRUE(serveur_->Redemarre());
    champs.Duree = "1";
    r = g_->Balayage.GoSweepClick(champs);
    EXPECT_FALSE(r.Message);
    ASSERT_TRUE(r.Reussi);
    do {
        std::this_thread::sleep_for(100ms);
        r = g_->Balayage.Timer1Timer();
    } while (!r.Minuterie && std::chrono::steady_clock::now() < limite + 10s);
    EXPECT_EQ(r.Minuterie, false);
    EXPECT_EQ(r.Lecture, "20000 Hz  ") << "the sweep again, to its end";
}

class SortiesSon : public ::testing::TestWithParam<TypeServeur> {
protected:
    void SetUp() override {
        if (!essai::ServeurChoisi(GetParam()))
            GTEST_SKIP() << "not the server TAMBURELLA_SERVEUR_SON names";
    }
};
INSTANTIATE_TEST_SUITE_P(Serveurs, SortiesSon, Serveurs,
                         [](const auto& info) { return essai::NomServeur(info.param); });

TEST_P(SortiesSon, LesSortiesListentLePuitsEtSesFrequences) {
    ServeurSon& serveur = essai::ServeurPartage(GetParam());
    ASSERT_TRUE(serveur.Pret());
    generator::TablesSorties t;
    generator::EnumereSorties(t);
    EXPECT_TRUE(t.ParServeur);
    ASSERT_GE(t.NbSorties, 1);
    EXPECT_EQ(t.NomsSorties[0], "Sortie par défaut (Essai)");
    EXPECT_EQ(t.IdentifiantsSorties[0], "");
    int32_t essai = -2;
    for (int32_t d = 0; d < t.NbSorties; ++d)
        if (t.IdentifiantsSorties[generator::TablesSorties::Indice(d)] == ServeurSon::Puits)
            essai = d;
    ASSERT_GE(essai, 0);
    EXPECT_EQ(t.NomsSorties[generator::TablesSorties::Indice(essai)], "Essai");
    for (int32_t d : {-1, essai}) {
        EXPECT_EQ(t.MeilleurFeSortie[generator::TablesSorties::Indice(d)], 6);
        for (int i = 0; i < engine::NbFe; ++i)
            EXPECT_EQ(t.FeSupportesSortie[generator::TablesSorties::Indice(d)][i], 1);
        EXPECT_TRUE(generator::AccepteFeSortie(t, d, 44100));
        EXPECT_TRUE(generator::AccepteFeSortie(t, d, 96000)) << "the server converts";
    }
    EXPECT_FALSE(generator::AccepteFeSortie(t, -1, 0));
    EXPECT_FALSE(generator::AccepteFeSortie(t, t.NbSorties, 44100));

    // ALSA's list through the server's plugin: "default" first, then the server's PCM.
    const auto alsa = platform::EnumereSortiesAlsa(engine::TableFe, generator::MaxSorties);
    ASSERT_GE(alsa.size(), 2u);
    EXPECT_EQ(alsa[0].Nom, "Sortie par défaut");
    EXPECT_TRUE(alsa[0].FeSupportes[5]);
    EXPECT_TRUE(std::any_of(alsa.begin(), alsa.end(),
                            [](const auto& s) { return s.Identifiant == "pulse"; }));
    EXPECT_TRUE(platform::AccepteFeAlsa("", 48000));
}

// A feeder that hands its next buffer over late, as a busy machine makes it: on the
// first buffer's end it waits, then queues a looping one.
class FeederEnRetard final : public platform::NotificationLecture {
public:
    platform::FluxLecture* flux = nullptr;
    platform::TamponLecture* suivant = nullptr;
    void TamponTermine(platform::TamponLecture&) override {
        if (!suivant) return;
        std::this_thread::sleep_for(40ms); // the lateness this fixture stands for
        flux->Ecrire(*std::exchange(suivant, nullptr));
    }
};

// ALSA playback through the server's plugin starts once its buffer is full: a feeder 40 ms
// late after its first 20 ms leaves no gap at the start, 20 starts in a row. (Started
// after its first period, the stream ran dry while the feeder caught up: a crackle.)
TEST_P(SortiesSon, LaLectureAlsaDemarreSansTrou) {
    ServeurSon& serveur = essai::ServeurPartage(GetParam());
    ASSERT_TRUE(serveur.Pret());
    constexpr int32_t Fe = 48000;
    constexpr float Amplitude = 0.5f * 32767;
    // 1 kHz: 20 ms in the first buffer, then a loop of 10 periods, in phase.
    auto sinus = [](size_t n) {
        std::vector<int16_t> x(n);
        for (size_t k = 0; k < n; ++k)
            x[k] = static_cast<int16_t>(
                std::lround(Amplitude * std::sin(2 * M_PI * 1000.0 * static_cast<double>(k) / Fe)));
        return x;
    };
    std::vector<int16_t> debutTon = sinus(960), boucleTon = sinus(480);
    Enregistreur e(Fe, 1);
    auto silence = [&] {
        const int64_t n = e.Trames();
        if (n < 2400) return false;
        const std::vector<float> x = e.Voie(n - 2400, 2400, 0);
        return std::all_of(x.begin(), x.end(), [](float v) { return std::fabs(v) < 100; });
    };
    auto flux = platform::CreeFluxLectureAlsa();
    const auto limiteReprises = std::chrono::steady_clock::now() + 40s;
    for (int demarrage = 0; demarrage < 20; ++demarrage) {
        SCOPED_TRACE("start " + std::to_string(demarrage));
        ASSERT_TRUE(AttendQue(silence)) << "the monitor is quiet before the start";
        const int64_t depuis = e.Trames();
        FeederEnRetard feeder;
        platform::TamponLecture premier{debutTon.data(), 1920, 1920, false};
        platform::TamponLecture boucle{boucleTon.data(), 960, 960, true};
        feeder.flux = flux.get();
        feeder.suivant = &boucle;
        ASSERT_EQ(flux->Ouvrir("pulse", Fe, 1, &feeder), platform::ResultatOuverture::Reussie);
        ASSERT_EQ(flux->Preparer(premier), platform::LectureReussie);
        ASSERT_EQ(flux->Preparer(boucle), platform::LectureReussie);
        ASSERT_EQ(flux->Ecrire(premier), platform::LectureReussie);
        const int64_t debut = AttendSignal(e, depuis, 0.05f * 32767, 9600);
        flux->Fermer();
        ASSERT_GE(debut, 0) << "the tone is heard";
        const std::vector<float> x = e.Voie(debut, 9600, 0);
        // A start that stutters every time fails once the time for measures is over; a
        // machine that held the writer up past its buffer on one start is measured again.
        const int64_t trou = Trou(x, 0, x.size(), 96);
        if (trou >= 0 &&
            Reprendre(limiteReprises, "gap " + std::to_string(trou) + " frames into start " +
                                          std::to_string(demarrage))) {
            --demarrage;
            continue;
        }
        EXPECT_EQ(trou, -1) << "a gap in the first 200 ms";
    }
}

// A frozen server (SIGSTOP) does not hold the generator window's Go: it says the output
// is not available, and once the server is thawed the next Go plays.
TEST_P(SortiesSon, UnServeurGeleNeRetientPasLeGo) {
    auto serveur = std::make_unique<ServeurSon>(GetParam());
    ASSERT_TRUE(serveur->Pret());
    auto flux = platform::CreeFluxLectureSon();
    auto g = std::make_unique<Generateur>(*flux);
    generator::ChampsSignal champs;
    champs.Niveau = "0.5";
    serveur->Gele();
    const auto debut = std::chrono::steady_clock::now();
    generator::ResultatGene r = g->Boucle.JoueSignal(champs);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - debut).count(), 2.0);
    ASSERT_TRUE(r.Message);
    EXPECT_EQ(r.Message->Texte, generator::MessageSortieIndisponible);
    serveur->Degele();
    r = g->Boucle.JoueSignal(champs);
    EXPECT_FALSE(r.Message);
    EXPECT_TRUE(r.Reussi);
    g->ArreteEtFerme(true);
}

// A sink that does not exist cannot be opened (on every server: one may route a stream
// for a name it does not know to the default sink); a server that dies while the loop
// plays leaves a stream that reports errors and closes cleanly.
TEST_P(SortiesSon, LesEchecsSontDesCodes) {
    // A server of its own: this one dies.
    auto serveur = std::make_unique<ServeurSon>(GetParam());
    ASSERT_TRUE(serveur->Pret());
    for (bool parServeur : {true, false}) {
        auto flux = parServeur ? platform::CreeFluxLectureSon() : platform::CreeFluxLectureAlsa();
        EXPECT_EQ(flux->Ouvrir("inexistante", 44100, 1, nullptr),
                  platform::ResultatOuverture::Indisponible)
            << (parServeur ? "server" : "ALSA");
        platform::TamponLecture t;
        EXPECT_EQ(flux->Preparer(t), platform::PoigneeInvalide);
        EXPECT_EQ(flux->Ecrire(t), platform::PoigneeInvalide);
        flux->Fermer();
    }
    auto flux = platform::CreeFluxLectureSon();
    auto g = std::make_unique<Generateur>(*flux);
    generator::ChampsSignal champs;
    champs.Niveau = "0.5";
    ASSERT_TRUE(g->Boucle.JoueSignal(champs).Reussi);
    ASSERT_TRUE(AttendQue([&] { return flux->Position() > 0; })) << "playing";
    serveur->Tue();
    // Once the stream has seen the server go, sending fails.
    generator::ResultatGene r;
    ASSERT_TRUE(AttendQue([&] {
        r = g->Boucle.JoueSignal(champs);
        return r.Message.has_value();
    }));
    EXPECT_EQ(r.Message->Texte, "N'arrive pas a envoyer\rle tampon\rCode Erreur = 00000001");
    g->ArreteEtFerme(true);
    EXPECT_FALSE(g->Sortie.SortieOuverte);
}

// ---- ALSA playback through a frozen sound server
//
// Through ALSA's pulse plugin a frozen server (SIGSTOP) holds each call on the device up to
// 30 s. None of the stream's operations may hold the generator window that long, and once
// the server is thawed the same stream plays again.
class AlsaGele : public ::testing::TestWithParam<TypeServeur> {
protected:
    void SetUp() override {
        if (!essai::ServeurChoisi(GetParam()))
            GTEST_SKIP() << "not the server TAMBURELLA_SERVEUR_SON names";
    }

    // Runs `appel` and checks that it returned within 2 s.
    template <class Appel>
    static void Borne(const char* quoi, Appel appel) {
        const auto debut = std::chrono::steady_clock::now();
        appel();
        const double s =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - debut).count();
        std::cout << quoi << ": " << s << " s\n";
        EXPECT_LT(s, 2.0) << quoi;
    }
};
INSTANTIATE_TEST_SUITE_P(Serveurs, AlsaGele, Serveurs,
                         [](const auto& info) { return essai::NomServeur(info.param); });

TEST_P(AlsaGele, AucunAppelNeRetientLaFenetre) {
    // A server of its own: this one is frozen.
    auto serveur = std::make_unique<ServeurSon>(GetParam());
    ASSERT_TRUE(serveur->Pret());
    // Two outputs playing: one goes through every operation, the other is destroyed.
    struct Sortie {
        std::unique_ptr<platform::FluxLecture> flux = platform::CreeFluxLectureAlsa();
        std::unique_ptr<Generateur> g = std::make_unique<Generateur>(*flux);
        // The stream first: it still holds the generator's buffers.
        ~Sortie() { flux.reset(); }
    };
    std::vector<Sortie> sorties(2);
    generator::ChampsSignal champs;
    champs.Niveau = "0.5";
    champs.Frequence = "1000";
    for (Sortie& s : sorties) {
        s.g->Synth.FeGene = 48000;
        s.g->Sortie.Format.FixeFe(48000);
        s.g->Sortie.Identifiant = "pulse";
        const generator::ResultatGene r = s.g->Boucle.JoueSignal(champs);
        ASSERT_FALSE(r.Message) << r.Message->Texte;
        ASSERT_TRUE(AttendQue([&] { return s.flux->Position() > 0; })) << "playing";
    }
    Sortie& a = sorties[0];

    serveur->Gele();
    Borne("Go again", [&] { a.g->Boucle.JoueSignal(champs); });
    Borne("Pause", [&] { a.flux->Pause(); });
    Borne("Reprendre", [&] { a.flux->Reprendre(); });
    Borne("Reinitialiser", [&] { a.flux->Reinitialiser(); });
    Borne("Stop and close", [&] { a.g->ArreteEtFerme(false); });
    Borne("Fermer again", [&] { a.flux->Fermer(); });
    Borne("Go on a closed output", [&] {
        const generator::ResultatGene r = a.g->Boucle.JoueSignal(champs);
        ASSERT_TRUE(r.Message) << "a frozen output does not open";
        EXPECT_EQ(r.Message->Texte, generator::MessageSortieIndisponible);
    });
    Borne("AccepteFeAlsa",
          [] { EXPECT_TRUE(platform::AccepteFeAlsa("pulse", 44100)) << "the opening will tell"; });
    Borne("Destroying a playing output", [&] {
        sorties[1].flux.reset();
        sorties[1].g.reset();
    });
    serveur->Degele();

    // The late operations end once the server answers; the same output opens and plays.
    generator::ResultatGene r;
    ASSERT_TRUE(AttendQue([&] {
        r = a.g->Boucle.JoueSignal(champs);
        return !r.Message;
    })) << r.Message->Texte;
    const int64_t depuis = a.flux->Position();
    EXPECT_TRUE(AttendQue([&] { return a.flux->Position() > depuis + 4800; })) << "playing again";
    a.g->ArreteEtFerme(true);
}

} // namespace
