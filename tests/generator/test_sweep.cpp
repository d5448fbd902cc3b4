// The sweep over a stream without sound: block arithmetic, the samples, the refills from
// the notifications, the end and its read-out, pause, stop, restart, and the same run
// with the notifications on a thread of the stream's own.
#include "FluxFactice.h"
#include "generator/Generateur.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <thread>

namespace {

using namespace generator;
using namespace std::chrono_literals;

struct BancSweep {
    FluxFactice flux;
    std::unique_ptr<Generateur> g = std::make_unique<Generateur>(flux);
    ChampsSweep champs;
    Sweep& s = g->Balayage;

    BancSweep(const char* f1 = "20", const char* f2 = "20000", const char* duree = "10") {
        champs.f1 = f1;
        champs.f2 = f2;
        champs.Duree = duree;
        champs.Niveau = "0.5";
    }
    // Plays everything queued; the blocks given back are refilled on this thread.
    size_t JoueTout() {
        size_t total = 0;
        while (size_t n = flux.Joue(4096))
            total += n;
        flux.Joue(0); // empty blocks at the head go back too
        return total;
    }
};

TEST(Sweep, LesBlocsSuiventLaDuree) {
    {
        BancSweep b;
        const ResultatGene r = b.s.GoSweepClick(b.champs);
        ASSERT_TRUE(r.Reussi);
        EXPECT_EQ(b.s.TotalSweep, 441000);
        EXPECT_EQ(b.s.NbBlocsPleins, 53);
        EXPECT_EQ(b.s.ResteSweep, 6824);
        EXPECT_EQ(b.flux.LongueursEcrites, (std::vector<uint32_t>{16384, 16384, 16384, 16384}));
        EXPECT_EQ(r.Lecture, "20 Hz  ");
        EXPECT_EQ(r.Minuterie, true);
        EXPECT_EQ(b.flux.Canaux, 1);
        EXPECT_EQ(b.g->Sortie.Format.AlignementBloc, 2);
        // The last block goes with exactly 2·ResteSweep bytes.
        EXPECT_EQ(b.JoueTout(), 441000u);
        EXPECT_EQ(b.flux.LongueursEcrites.size(), 54u);
        EXPECT_EQ(b.flux.LongueursEcrites.back(), 2u * 6824);
    }
    {
        BancSweep b("20", "20000", "0.1");
        ASSERT_TRUE(b.s.GoSweepClick(b.champs).Reussi);
        EXPECT_EQ(b.s.TotalSweep, 4410);
        EXPECT_EQ(b.s.NbBlocsPleins, 0);
        EXPECT_EQ(b.flux.LongueursEcrites, (std::vector<uint32_t>{8820, 0, 0, 0}));
        EXPECT_EQ(b.JoueTout(), 4410u);
        EXPECT_EQ(b.s.NbTermines, 4);
        EXPECT_FALSE(b.g->Sortie.EnLecture) << "the four returns end the sweep";
        const ResultatGene fin = b.s.Timer1Timer();
        EXPECT_EQ(fin.Minuterie, false);
        EXPECT_EQ(fin.Lecture, "20000 Hz  ");
    }
}

// Sample n is round(A·sin(w·n·(1 + k·n))): the frequency goes linearly from f1 to f2.
TEST(Sweep, LesEchantillonsSuiventLaLoiDuSweep) {
    for (const auto& [f1, f2] : {std::pair{"20", "20000"}, std::pair{"15000", "100"}}) {
        BancSweep b(f1, f2, "2");
        ASSERT_TRUE(b.s.GoSweepClick(b.champs).Reussi);
        b.JoueTout();
        const std::vector<int16_t> joues = b.flux.Joues();
        ASSERT_EQ(joues.size(), 88200u);
        const double F1 = std::atof(f1), F2 = std::atof(f2);
        const long double k = (F2 / F1 - 1) / (2 * 2.0L * 44100), w = 2 * M_PIl * F1 / 44100;
        EXPECT_EQ(b.s.PenteSweep < 0, F2 < F1);
        for (size_t n = 0; n < joues.size(); n += 37) {
            const long double attendu = 0.5L * 32767 * std::sin(w * n * (1 + k * n));
            ASSERT_NEAR(joues[n], attendu, 1.0) << n;
        }
        // Zero crossings in the first and last tenth: the frequency at both ends.
        const auto frequence = [&](size_t debut) {
            int passages = 0;
            for (size_t n = debut + 1; n < debut + 4410; ++n)
                passages += (joues[n - 1] < 0) != (joues[n] < 0);
            return passages / 2.0 / 0.1;
        };
        EXPECT_NEAR(frequence(0), F1 + (F2 - F1) * 0.05, 0.06 * std::max(F1, F2));
        EXPECT_NEAR(frequence(88200 - 4410), F1 + (F2 - F1) * 0.95, 0.06 * std::max(F1, F2));
    }
}

TEST(Sweep, LaLectureDonneLaFrequenceJouee) {
    BancSweep b("100", "1100", "1");
    ASSERT_TRUE(b.s.GoSweepClick(b.champs).Reussi);
    b.flux.Joue(22050);
    ResultatGene r = b.s.Timer1Timer();
    EXPECT_EQ(r.Lecture, "600 Hz  ");
    EXPECT_FALSE(r.Minuterie.has_value());
    b.JoueTout();
    r = b.s.Timer1Timer();
    EXPECT_EQ(r.Minuterie, false);
    EXPECT_EQ(r.Lecture, "1100 Hz  ");
    EXPECT_FALSE(b.s.Timer1Timer().Minuterie.has_value()) << "the end is told once";
}

TEST(Sweep, PauseEtReprise) {
    BancSweep b("20", "20000", "1");
    ASSERT_TRUE(b.s.GoSweepClick(b.champs).Reussi);
    b.flux.Joue(10000);
    b.s.ButtonPauseClick();
    EXPECT_TRUE(b.s.EnPause);
    EXPECT_EQ(b.flux.Joue(1000), 0u);
    const std::string lue = *b.s.Timer1Timer().Lecture;
    EXPECT_EQ(*b.s.Timer1Timer().Lecture, lue) << "paused, the read-out stays";
    // "Go" resumes where it was, whatever the fields say now.
    b.champs.f1 = "?";
    const ResultatGene r = b.s.GoSweepClick(b.champs);
    EXPECT_TRUE(r.Reussi);
    EXPECT_EQ(b.flux.Reprises, 1);
    EXPECT_EQ(b.flux.Reinitialisations, 1);
    EXPECT_FALSE(b.s.EnPause);
    EXPECT_EQ(b.JoueTout(), 44100u - 10000u);
}

// Stop then Go starts again from f1; what the reset dropped never counts for the new
// sweep, which plays whole.
TEST(Sweep, StopPuisGoRecommenceAuDebut) {
    BancSweep b("20", "20000", "1");
    ASSERT_TRUE(b.s.GoSweepClick(b.champs).Reussi);
    b.flux.Joue(30000);
    ResultatGene r = b.s.StopSweepClick();
    EXPECT_EQ(r.Minuterie, false);
    EXPECT_FALSE(r.Lecture) << "the read-out keeps the last frequency";
    EXPECT_FALSE(b.g->Sortie.EnLecture);
    EXPECT_EQ(b.flux.Joue(1000), 0u);
    EXPECT_FALSE(b.s.StopSweepClick().Minuterie) << "a second stop does nothing";

    b.flux.OublieJoues();
    r = b.s.GoSweepClick(b.champs);
    EXPECT_EQ(r.Lecture, "20 Hz  ");
    EXPECT_EQ(b.flux.Ouvertures, 1);
    b.flux.Joue(20000);
    // Go while sweeping restarts too.
    r = b.s.GoSweepClick(b.champs);
    ASSERT_TRUE(r.Reussi);
    b.flux.OublieJoues();
    EXPECT_EQ(b.JoueTout(), 44100u);
    EXPECT_EQ(b.s.NbTermines, 4);
    EXPECT_EQ(b.s.Timer1Timer().Lecture, "20000 Hz  ");
    std::vector<int16_t> attendu(TailleBlocSweep);
    b.s.RemplitBlocSweep(attendu.data(), 0);
    EXPECT_TRUE(std::equal(attendu.begin(), attendu.end(), b.flux.Joues().begin()));
}

TEST(Sweep, LesChampsSontLusEtBornes) {
    {
        BancSweep b("1", "99999", "0");
        b.champs.Niveau = "2";
        const ResultatGene r = b.s.GoSweepClick(b.champs);
        ASSERT_TRUE(r.Reussi);
        EXPECT_EQ(b.champs.f1, "6");
        EXPECT_EQ(b.champs.f2, "2.205E+04");
        EXPECT_EQ(b.champs.Niveau, "1");
        EXPECT_EQ(b.champs.Duree, "0.1");
        EXPECT_EQ(r.Reecrits, Bit(Champ::Editf1) | Bit(Champ::Editf2) |
                                  Bit(Champ::EditNiveauSweep) | Bit(Champ::EditDuree));
        b.champs.Duree = "99999";
        b.champs.Niveau = "-3";
        ASSERT_TRUE(b.s.GoSweepClick(b.champs).Reussi);
        EXPECT_EQ(b.champs.Duree, "3600");
        EXPECT_EQ(b.champs.Niveau, "-1");
        EXPECT_EQ(b.s.AmplitudeSweep, -32767) << "a negative level inverts the sine";
    }
    const struct {
        const char *f1, *f2, *niveau, *duree;
        Champ Fautif;
    } cas[] = {{"x", "?", "?", "?", Champ::Editf1},
               {"20", "", "?", "?", Champ::Editf2},
               {"20", "30", "a", "?", Champ::EditNiveauSweep},
               {"20", "30", "1", "1s", Champ::EditDuree}};
    for (const auto& c : cas) {
        BancSweep b(c.f1, c.f2, c.duree);
        b.champs.Niveau = c.niveau;
        const ResultatGene r = b.s.GoSweepClick(b.champs);
        EXPECT_FALSE(r.Reussi);
        EXPECT_EQ(r.Fautif, c.Fautif);
        EXPECT_EQ(r.Lecture, "Erreur !");
        EXPECT_EQ(b.flux.Ouvertures, 0);
    }
    BancSweep egales("440", "440", "1");
    const ResultatGene r = egales.s.GoSweepClick(egales.champs);
    EXPECT_FALSE(r.Reussi);
    EXPECT_FALSE(r.Lecture);
    EXPECT_EQ(egales.flux.Ouvertures, 0) << "f1 = f2: nothing starts";
}

TEST(Sweep, UneSortieIndisponibleEstSignalee) {
    BancSweep b;
    b.flux.ResultatOuvrir = platform::ResultatOuverture::Indisponible;
    const ResultatGene r = b.s.GoSweepClick(b.champs);
    ASSERT_TRUE(r.Message);
    EXPECT_EQ(r.Message->Texte,
              "Pas de sortie Son Disponible !\rVotre carte son n'est peut-être \rpas "
              "bidirectionnelle.");
    EXPECT_EQ(r.Message->Titre, "Problème");
    EXPECT_FALSE(b.g->Sortie.SortieOuverte);
    // A failed refill on the audio thread asks the window to close, at the next tick.
    b.flux.ResultatOuvrir = platform::ResultatOuverture::Reussie;
    ASSERT_TRUE(b.s.GoSweepClick(b.champs).Reussi);
    b.flux.CodeEcrire = platform::ErreurLecture;
    b.flux.Joue(8192);
    EXPECT_TRUE(b.s.Timer1Timer().FermerFenetre);
}

// A paused sweep whose output was closed (a switch of layout) starts anew at "Go".
TEST(Sweep, UneFermetureOublieLaPause) {
    BancSweep b("20", "20000", "1");
    ASSERT_TRUE(b.s.GoSweepClick(b.champs).Reussi);
    b.s.ButtonPauseClick();
    b.g->ArreteEtFerme(false);
    const ResultatGene r = b.s.GoSweepClick(b.champs);
    EXPECT_EQ(r.Lecture, "20 Hz  ");
    EXPECT_EQ(b.flux.Ouvertures, 2);
    EXPECT_EQ(b.JoueTout(), 44100u);
}

// The notifications come from the stream's own thread while the window's thread polls
// the read-out and restarts the sweep: every sweep ends with its own four returns.
TEST(Sweep, LesNotificationsVenantDUnAutreThread) {
    BancSweep b("20", "20000", "3");
    for (int essai = 0; essai < 3; ++essai) {
        ASSERT_TRUE(b.s.GoSweepClick(b.champs).Reussi);
        if (essai == 0) b.flux.LanceThread(512);
        if (essai < 2) {
            // Restarted while it runs.
            std::this_thread::sleep_for(1ms);
            continue;
        }
        const auto limite = std::chrono::steady_clock::now() + 20s;
        ResultatGene r;
        do {
            r = b.s.Timer1Timer();
            std::this_thread::sleep_for(1ms);
        } while (!r.Minuterie.has_value() && std::chrono::steady_clock::now() < limite);
        EXPECT_EQ(r.Minuterie, false);
        EXPECT_EQ(r.Lecture, "20000 Hz  ");
    }
    b.flux.ArreteThread();
    EXPECT_EQ(b.flux.Position(), 3 * 44100);
    b.g->ArreteEtFerme(true);
}

} // namespace
