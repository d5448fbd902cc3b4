#include "engine/Extraction.h"

#include "Banc.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <vector>

namespace {

using banc::Nan;
using engine::ChercherFront;
using engine::Correler;
using engine::NbBruts;

// The definition, lag by lag: the vectorised Correler must give the same lag.
int32_t CorrelerSerie(int32_t n, const float* ref, const float* x) {
    int32_t meilleur = 0;
    double max = -1e30;
    for (int32_t k = n; k >= 1; --k) {
        double somme = 0.0;
        for (int32_t i = n - 2; i >= 0; i -= 2)
            somme += double{ref[i]} * x[k + i] + double{ref[i + 1]} * x[k + i + 1];
        if (somme >= max) {
            max = somme;
            meilleur = k;
        }
    }
    return meilleur;
}

TEST(ChercherFront, FindsTheLatestEdgeBeforeTheStart) {
    struct Cas {
        const char* nom;
        std::vector<float> x;
        float niveau;
        int32_t sens, debut, attendu;
    };
    const std::vector<Cas> cas = {
        {"rising", {9, 0, 5, 5}, 1, 1, 4, 1},
        {"a sample on the level is past it", {9, 0, 1, 2}, 1, 1, 3, 1},
        {"falling", {0, 5, 0, 0}, 1, -1, 3, 1},
        {"the latest of two edges", {0, 5, 0, 5, 5}, 1, 1, 5, 2},
        {"x[debut] is the last sample looked at", {0, 0, 0, 5}, 1, 1, 3, 2},
        {"an edge ending at x[debut + 1] is not seen", {0, 0, 0, 5}, 1, 1, 2, 0},
        {"an edge from x[0] is not reported", {0, 5, 5}, 1, 1, 3, 0},
        {"no edge", {3, 3, 3, 3}, 1, 1, 4, 0},
        {"start beyond the array", {0, 0, 5}, 1, 1, 1000, 1},
        {"NaN counts as past the level", {0, 0, Nan}, 1, 1, 2, 1},
    };
    for (const Cas& c : cas)
        EXPECT_EQ(ChercherFront(c.niveau, c.sens, c.debut, c.x), c.attendu) << c.nom;
}

TEST(Correler, PairsFromTheTopTiesToTheSmallestLag) {
    struct Cas {
        const char* nom;
        std::vector<float> ref, x;
        int32_t attendu;
    };
    const std::vector<Cas> cas = {
        {"all-zero reference", {0, 0, 0, 0}, {1, 2, 3, 4, 5, 6, 7, 8}, 1},
        {"odd n leaves i = 0 out", {1, 0, 0}, {0, 0, 0, 9, 0, 0}, 1},
        {"even n takes i = 0", {1, 0, 0, 0}, {0, 0, 0, 9, 0, 0, 0, 0}, 3},
        {"equal sums: the smallest lag", {1, 0}, {0, 4, 4, 0}, 1},
        {"the largest sum", {1, 1}, {0, 1, 3, 2}, 2},
        {"NaN sums never win", {Nan, Nan}, {1, 1, 1, 1}, 0},
        {"sums below -1e30 never win", {-1e20f, -1e20f}, {1e20f, 1e20f, 1e20f, 1e20f}, 0},
    };
    for (const Cas& c : cas)
        EXPECT_EQ(Correler(static_cast<int32_t>(c.ref.size()), c.ref, c.x), c.attendu) << c.nom;
}

TEST(Correler, MatchesTheLagByLagDefinition) {
    std::mt19937 generateur(7);
    std::uniform_real_distribution<float> loi(-32768.0f, 32767.0f);
    for (int32_t n : {1, 2, 3, 15, 16, 17, 33, 400, 1999, 2000}) {
        std::vector<float> ref(n), x(2 * n);
        for (float& v : ref)
            v = loi(generateur);
        for (float& v : x)
            v = loi(generateur);
        EXPECT_EQ(Correler(n, ref, x), CorrelerSerie(n, ref.data(), x.data())) << n;
        // Exactly periodic data: many lags give bit-identical sums.
        const float motif[5] = {loi(generateur), loi(generateur), loi(generateur), loi(generateur),
                                loi(generateur)};
        for (int32_t i = 0; i < 2 * n; ++i)
            x[i] = motif[i % 5];
        for (int32_t i = 0; i < n; ++i)
            ref[i] = motif[(i + 3) % 5];
        EXPECT_EQ(Correler(n, ref, x), CorrelerSerie(n, ref.data(), x.data())) << n;
    }
}

// Traced frames on the acquisition thread.
struct Declenche : ::testing::Test, banc::Banc {
    Declenche() {
        etat->ThreadActive = true;
        reglages.TypeSynchro = engine::Declenchement;
        etat->PositionCapture = 100000;
    }
    void Extraire(int32_t W) { engine::Extraire(*etat, reglages, W, pilote, gui); }
    // The crossing the trigger should find, by the definition.
    int32_t Croisement(int canal, float niveau, int sens, int32_t debut) const {
        const auto& x = etat->Bruts[canal];
        for (int32_t j = debut - 1; j >= 1; --j)
            if ((x[j] - niveau) * sens < 0 && (x[j + 1] - niveau) * sens >= 0) return j;
        return 0;
    }
    float Ordonnee(float v) const { return (1.0f - v / etat->PleineEchelleCopie) * 0.5f; }
};

TEST_F(Declenche, RisingEdgeAtTheTriggerColumn) {
    Sinus(0, 100, 20000, 37.4);
    reglages.DecalageT = 250;
    Extraire(400);
    const int32_t t = Croisement(0, 0.0f, 1, NbBruts - 400);
    ASSERT_GT(t, 0);
    EXPECT_TRUE(etat->TraceValide);
    EXPECT_EQ(etat->NbPoints, 400);
    EXPECT_EQ(etat->PosDecl, 200);
    EXPECT_EQ(etat->Echelles[0][400], etat->Bruts[0][t]);
    EXPECT_EQ(etat->FinDernierDecl, 100000 + t);
    // Column 200 is the last sample below the level, column 201 the first at or above it.
    for (int i = 0; i < 400; ++i)
        ASSERT_FLOAT_EQ(etat->Trace[0][i], Ordonnee(etat->Bruts[0][t - 200 + i])) << i;
    EXPECT_GT(etat->Trace[0][200], 0.5f);
    EXPECT_LE(etat->Trace[0][201], 0.5f);
    for (int i = 0; i < 400; ++i)
        EXPECT_EQ(etat->Reference[i], etat->Bruts[0][t - 200 + i]);
}

TEST_F(Declenche, FallingEdgeHalfAPeriodLater) {
    Sinus(0, 100, 20000, 10.4);
    Extraire(400);
    const int32_t montant = etat->FinDernierDecl - 100000;
    reglages.SensFront = -1;
    etat->PositionCapture = 200000;
    Extraire(400);
    ASSERT_TRUE(etat->TraceValide);
    EXPECT_EQ(etat->FinDernierDecl - 200000, montant + 50);
    EXPECT_LT(etat->Trace[0][0], 0.5f);
    EXPECT_GE(etat->Trace[0][1], 0.5f);
}

TEST_F(Declenche, ALevelNeverReachedRejectsEveryFrame) {
    Sinus(0, 100, 1000);
    etat->NiveauDeclCopie = 5000;
    for (auto& v : etat->Trace[0])
        v = 7.0f;
    for (int trame = 0; trame < 3; ++trame) {
        etat->PositionCapture = 100000 + 1000 * trame;
        Extraire(400);
        EXPECT_FALSE(etat->TraceValide);
    }
    EXPECT_EQ(etat->Trace[0][10], 7.0f);
}

TEST_F(Declenche, RejectionRules) {
    // A step from -1000 to +1000 after sample c: one rising crossing, t = c.
    struct Cas {
        const char* nom;
        int32_t e, W, c;
        int32_t position, dernier, fin;
        bool accepte;
    };
    constexpr int32_t P = 100000;
    const std::vector<Cas> cas = {
        {"within the first 200 samples", 0, 100, 150, P, 0, 0, false},
        {"200 is enough", 0, 100, 200, P, 0, 0, true},
        {"fewer than S + M samples before it", 0, 400, 399, P, 0, 0, false},
        {"S + M samples before it", 0, 400, 400, P, 0, 0, true},
        {"S + M at e = 3", 3, 100, 890, P, 0, 0, false},
        {"S + M at e = 3, enough", 3, 100, 891, P, 0, 0, true},
        {"older than the one shown", 0, 400, 5000, P, P - 10, P + 5001, false},
        {"the one shown, on new data", 0, 400, 5000, P, P - 10, P + 5000, false},
        {"the one shown, on the same data", 0, 400, 5000, P, P, P + 5000, true},
        {"a newer one", 0, 400, 5000, P, P - 10, P + 4999, true},
        {"newer across the position's wrap", 0, 400, 5000, INT_MIN + 10, INT_MAX - 20,
         INT_MAX - 1000, true},
        {"older across the position's wrap", 0, 400, 5000, INT_MAX - 10, INT_MAX - 20,
         INT_MIN + 6000, false},
    };
    for (const Cas& c : cas) {
        Remplir(0, [&](int i) { return i <= c.c ? -1000.0 : 1000.0; });
        reglages.EchelleT = c.e;
        etat->PositionCapture = c.position;
        etat->DernierDecl = c.dernier;
        etat->FinDernierDecl = c.fin;
        Extraire(c.W);
        EXPECT_EQ(etat->TraceValide.load(), c.accepte) << c.nom;
        if (c.accepte) {
            EXPECT_EQ(etat->FinDernierDecl, static_cast<int32_t>(static_cast<uint32_t>(c.position) +
                                                                 static_cast<uint32_t>(c.c)))
                << c.nom;
            EXPECT_EQ(etat->DernierDecl, c.position) << c.nom;
        } else {
            EXPECT_EQ(etat->FinDernierDecl, c.fin) << c.nom;
        }
    }
}

TEST_F(Declenche, InterpolatedCrossingWithinAQuarterSample) {
    constexpr double A = 20000, periode = 37.3;
    Sinus(0, periode, A, 11.77);
    etat->NiveauDeclCopie = 3000;
    reglages.EchelleT = -2;
    for (int32_t W : {400, 403}) {
        for (int32_t decalage : {0, 250, 500}) {
            reglages.DecalageT = decalage;
            etat->PositionCapture = etat->PositionCapture + 1000;
            Extraire(W);
            ASSERT_TRUE(etat->TraceValide) << W;
            const int32_t p = etat->PosDecl;
            const auto& y = etat->Echelles[0];
            const int32_t d = etat->DebutTrace;
            // The point at PosDecl is the last one before the level, the next one past it...
            EXPECT_LT(y[d], 3000.0f) << W << " " << decalage;
            EXPECT_GE(y[d + 1], 3000.0f) << W << " " << decalage;
            // ...and a quarter sample of the sine's steepest slope covers the gap.
            EXPECT_LT(3000.0f - y[d], A * 2 * banc::Pi / periode * 0.25) << W;
            if (p < W) {
                EXPECT_FLOAT_EQ(etat->Trace[0][p], Ordonnee(y[d])) << W << " " << decalage;
            }
            for (int32_t i = 0; i < W; ++i)
                ASSERT_TRUE(etat->Trace[0][i] > 0.0f && etat->Trace[0][i] < 1.0f)
                    << W << " " << decalage << " " << i;
        }
    }
}

TEST_F(Declenche, StereoTriggersOnTheSyncChannel) {
    Sinus(0, 100, 20000, 10.0);
    Sinus(1, 100, 20000, 60.0);
    Stereo(true, 3, 1);
    Extraire(300);
    const int32_t t = Croisement(1, 0.0f, 1, NbBruts - 300);
    ASSERT_TRUE(etat->TraceValide);
    EXPECT_EQ(etat->FinDernierDecl - 100000, t);
    EXPECT_EQ(etat->Echelles[1][300], etat->Bruts[1][t]);
    EXPECT_EQ(etat->Echelles[0][300], etat->Bruts[0][t]);
    EXPECT_FLOAT_EQ(etat->Trace[0][0], Ordonnee(etat->Bruts[0][t]));
}

TEST_F(Declenche, MonoDrawsChannelZeroOnly) {
    Sinus(0, 100, 20000, 10.0);
    Sinus(1, 100, 20000, 60.0);
    Stereo(false, 3, 1);
    for (auto& v : etat->Trace[1])
        v = 7.0f;
    Extraire(300);
    ASSERT_TRUE(etat->TraceValide);
    EXPECT_EQ(etat->FinDernierDecl - 100000, Croisement(0, 0.0f, 1, NbBruts - 300));
    EXPECT_EQ(etat->Trace[1][0], 7.0f);
    EXPECT_TRUE(std::isnan(etat->Echelles[1][0]));
}

TEST_F(Declenche, SingleShotStopsOnTheFirstTriggerAfter20480Samples) {
    Sinus(0, 100, 20000, 37.4);
    reglages.TypeSynchro = engine::DeclUnique;
    etat->PositionCapture = 20480; // not yet more than 20480 samples
    Extraire(400);
    EXPECT_TRUE(etat->TraceValide);
    EXPECT_EQ(pilote.Arrets, 0);

    etat->NiveauDeclCopie = 30000; // rejected frames never stop
    etat->PositionCapture = 30000;
    Extraire(400);
    EXPECT_FALSE(etat->TraceValide);
    EXPECT_EQ(pilote.Arrets, 0);

    etat->NiveauDeclCopie = 0;
    etat->PositionCapture = 40000;
    Extraire(400);
    EXPECT_TRUE(etat->TraceValide);
    EXPECT_EQ(pilote.Arrets, 1);
    EXPECT_EQ(gui.Demandes, 1);
    EXPECT_EQ(pilote.ArretsVerrouilles, 0);

    // "Déclenchement" goes on; a refresh while paused (thread not running) never stops.
    reglages.TypeSynchro = engine::Declenchement;
    etat->PositionCapture = 50000;
    Extraire(400);
    reglages.TypeSynchro = engine::DeclUnique;
    etat->ThreadActive = false;
    Extraire(400);
    EXPECT_EQ(pilote.Arrets, 1);
    EXPECT_EQ(gui.Demandes, 1);
}

// The free path: "Aucune", "Universelle", and every mode while paused.
struct Libre : Declenche {
    Libre() { reglages.TypeSynchro = engine::Universelle; }
};

TEST_F(Libre, UniversalKeepsThePhaseOfAPeriodicSignal) {
    struct Cas {
        int32_t e, periode, decalage;
    };
    // W = 400 holds whole periods (in output points), so the best match is the phase.
    for (const Cas& c : {Cas{0, 50, 7}, Cas{-2, 25, 3}, Cas{2, 64, 8}}) {
        reglages.EchelleT = c.e;
        etat->Reference.fill(0.0f);
        Periodique(0, c.periode, 12000);
        Extraire(400);
        EXPECT_EQ(etat->PosDecl, 399) << c.e; // a zero reference picks lag 1
        const std::array<float, engine::CapaciteTrace> premiere = etat->Trace[0];

        // Later samples: the signal moved on by `decalage` samples.
        Periodique(0, c.periode, 12000, c.decalage);
        Extraire(400);
        for (int i = 0; i < 400; ++i)
            ASSERT_EQ(etat->Trace[0][i], premiere[i]) << c.e << " " << i;
        // The smallest lag among the equally good ones.
        const int32_t points = c.e >= 0 ? c.periode >> c.e : c.periode << -c.e;
        EXPECT_LE(400 - etat->PosDecl, points) << c.e;
    }
}

TEST_F(Libre, NewestSamplesAndTrackBarPosition) {
    Sinus(0, 123, 20000);
    reglages.TypeSynchro = engine::Aucune;
    etat->PosDecl = 0;
    Extraire(300);
    EXPECT_TRUE(etat->TraceValide);
    EXPECT_FLOAT_EQ(etat->Trace[0][299], Ordonnee(etat->Bruts[0][NbBruts - 1]));
    etat->PosDecl = 100;
    Extraire(300);
    EXPECT_FLOAT_EQ(etat->Trace[0][299], Ordonnee(etat->Bruts[0][NbBruts - 101]));
    etat->PosDecl = 301; // outside 0 .. W
    Extraire(300);
    EXPECT_EQ(etat->PosDecl, 0);
}

// Every exponent, width and position keeps its reads within the arrays (the resampler
// asserts in debug builds) and shows only freshly computed points (stale NaN would show).
TEST_F(Libre, EveryWidthStaysWithinTheArrays) {
    Sinus(0, 50, 16000, 3.3);
    Sinus(1, 71, 16000, 9.1);
    Stereo(true, 3, 0);
    int position = 100000;
    for (int32_t type : {engine::Aucune, engine::Universelle, engine::Declenchement}) {
        reglages.TypeSynchro = type;
        for (int32_t e = -3; e <= 3; ++e) {
            reglages.EchelleT = e;
            for (int32_t W : {1, 2, 7, 403, 1268, 1269, 2000, 5000}) {
                for (int32_t decalage : {0, 250, 500}) {
                    reglages.DecalageT = decalage;
                    etat->PosDecl = W * decalage / 500;
                    position += 30000;
                    etat->PositionCapture = position;
                    etat->TraceValide = false;
                    Extraire(W);
                    if (!etat->TraceValide) continue;
                    const int32_t attendu = std::min(W, e == 3 ? 1268 : 2000);
                    ASSERT_EQ(etat->NbPoints, attendu) << type << " " << e << " " << W;
                    for (int c = 0; c < 2; ++c)
                        for (int32_t i = 0; i < attendu; ++i)
                            ASSERT_TRUE(etat->Trace[c][i] > 0.0f && etat->Trace[c][i] < 1.0f)
                                << type << " e " << e << " W " << W << " " << decalage << " c " << c
                                << " i " << i;
                }
            }
        }
    }
}

TEST(Normaliser, ScreenScaleAndClamping) {
    banc::Banc b;
    auto& etat = *b.etat;
    const float V = 1000.0f;
    struct Cas {
        float echantillon, deplace, attendu;
    };
    const std::vector<Cas> cas = {
        {V, 0, 0.0f},      {0, 0, 0.5f},       {-V, 0, 1.0f},     {0, 25, 0.75f},
        {0, 50, 1.0f},     {V, -100, -1.0f},   {3 * V, 0, -1.0f}, {5 * V, 0, -1.0f},
        {-5 * V, 0, 2.0f}, {-2 * V, 60, 2.0f}, {Nan, 0, -1.0f},
    };
    etat.PleineEchelleCopie = V;
    etat.DebutTrace = 10;
    etat.PosDecl = 0;
    etat.NbPoints = 1;
    for (const Cas& c : cas) {
        etat.Echelles[0][10] = c.echantillon;
        etat.DeplaceXCopie = c.deplace;
        engine::Normaliser(etat, 0);
        EXPECT_FLOAT_EQ(etat.Trace[0][0], c.attendu) << c.echantillon << " " << c.deplace;
    }
    // A position the GUI set beyond the extracted points still reads within Echelles.
    etat.NbPoints = 2000;
    etat.DebutTrace = 0;
    etat.PosDecl = 700;
    engine::Normaliser(etat, 1);
    EXPECT_EQ(etat.Trace[1][1999], -1.0f); // the fixture's NaN
}

} // namespace
