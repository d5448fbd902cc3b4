#include "engine/Frequentiel.h"

#include "Banc.h"
#include "dsp/Fft.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

using banc::Nan;

struct Spectre : ::testing::Test, banc::Banc {
    Spectre() {
        dsp::InitTFR(0, 11);
        etat->PleineEchelleCopie = 32768.0f;
    }
    ~Spectre() override { dsp::InitTFR(0, 11); }
    void Calculer(int32_t W) { engine::CalculeSpectre(*etat, reglages, W); }
    // A sine of amplitude V exactly on bin k of the N-point analysis at h.
    void SurCase(int canal, int k, int h) {
        const int N = dsp::TailleTFR();
        const double periode = h >= 0 ? double(N << h) / k : double(N >> -h) / k;
        Sinus(canal, periode, etat->PleineEchelleCopie, 0.3);
    }
};

TEST_F(Spectre, ASineOnABinPeaksAtTheTopEdgeAtItsColumn) {
    constexpr int k = 40;
    struct Vue {
        int32_t W, P;
    };
    for (int h = -3; h <= 3; ++h) {
        SurCase(0, k, h);
        reglages.EchelleF = h;
        for (int s = 0; s <= 3; ++s) {
            reglages.SurEchTFR = s;
            // Point j stands for bin (D + j) / 2^s.
            for (const Vue v : {Vue{2000, 0}, Vue{100, 5}}) {
                reglages.DecalageF = v.P;
                for (auto& canal : etat->Echelles) // a short read would leave NaN in the FFT
                    canal.fill(Nan);
                Calculer(v.W);
                ASSERT_TRUE(etat->TraceValide);
                const int32_t M = etat->NbPoints;
                EXPECT_EQ(M, std::min(1024 << s, v.W));
                const int32_t colonne = (k << s) - etat->DebutSpectre;
                if (colonne < 0 || colonne >= M) continue;
                const auto& y = etat->Trace[0];
                const auto pic = std::min_element(y.begin(), y.begin() + M) - y.begin();
                EXPECT_EQ(pic, colonne) << "h " << h << " s " << s << " W " << v.W;
                EXPECT_NEAR(y[colonne], 0.0f, 0.01f) << "h " << h << " s " << s;
                EXPECT_EQ(etat->SurEchCopie, s);
            }
        }
    }
}

TEST_F(Spectre, ZeroSignalLiesOnTheBottomEdge) {
    Remplir(0, [](int) { return 0.0; });
    for (int h : {-3, 0, 3}) {
        reglages.EchelleF = h;
        reglages.SurEchTFR = 2;
        Calculer(1500);
        for (int32_t j = 0; j < etat->NbPoints; ++j)
            ASSERT_EQ(etat->Trace[0][j], 1.0f) << h << " " << j;
    }
}

TEST_F(Spectre, MagnitudesToOrdinates) {
    const float V = etat->PleineEchelleCopie;
    struct Cas {
        float module, attendu;
    };
    const std::vector<Cas> cas = {
        {0, 1.0f},      {V / 2, 0.0f},     {V / 4, 0.5f}, {V, -1.0f},
        {2 * V, -1.0f}, {INFINITY, -1.0f}, {Nan, -1.0f},
    };
    for (const Cas& c : cas) {
        etat->SpectreModules[0].fill(0.0f);
        etat->SpectreModules[0][engine::DebutModules + 3] = c.module;
        engine::AfficheSpectre(*etat, reglages, 0, 10);
        EXPECT_FLOAT_EQ(etat->Trace[0][3], c.attendu) << c.module;
        EXPECT_EQ(etat->Trace[0][4], 1.0f);
    }
}

TEST_F(Spectre, OnlyTheMaskedChannelsAreTouched) {
    SurCase(0, 40, 0);
    SurCase(1, 40, 0);
    struct Cas {
        bool stereo;
        int masque;
        bool calcules[2];
    };
    for (const Cas& c : {Cas{true, 2, {false, true}}, Cas{true, 1, {true, false}},
                         Cas{false, 3, {true, false}}, Cas{true, 0, {false, false}}}) {
        Stereo(c.stereo, c.masque, 0);
        for (int canal = 0; canal < 2; ++canal) {
            etat->Trace[canal].fill(7.0f);
            etat->SpectreModules[canal].fill(7.0f);
            etat->Echelles[canal].fill(7.0f);
        }
        Calculer(800);
        for (int canal = 0; canal < 2; ++canal) {
            const bool intact = etat->Trace[canal][0] == 7.0f &&
                                etat->SpectreModules[canal][100] == 7.0f &&
                                etat->Echelles[canal][0] == 7.0f;
            EXPECT_EQ(intact, !c.calcules[canal]) << c.stereo << " " << c.masque << " " << canal;
        }
    }
}

TEST_F(Spectre, MirroredBinsBeforeBinZero) {
    SurCase(0, 5, 0);
    Calculer(800);
    const auto& m = etat->SpectreModules[0];
    for (int j = 1; j <= 16; ++j)
        EXPECT_EQ(m[engine::DebutModules - j], m[engine::DebutModules + 2048 - j]) << j;
    EXPECT_NEAR(m[engine::DebutModules - 5], m[engine::DebutModules + 5], 1e-3f * m[21]);
}

TEST_F(Spectre, PointCountAndStartOffset) {
    struct Cas {
        int32_t exposant, s, W, P;
        int32_t M, D;
    };
    const std::vector<Cas> cas = {
        {11, 0, 1500, 0, 1024, 0},  {11, 0, 1500, 250, 1024, 0},  {11, 0, 1500, 500, 1024, 0},
        {11, 3, 800, 0, 800, 0},    {11, 3, 800, 250, 800, 3696}, {11, 3, 800, 500, 800, 7392},
        {11, 0, 1, 250, 1, 512},    {11, 0, 3, 250, 3, 510},      {8, 1, 2000, 500, 256, 0},
        {8, 3, 2000, 500, 1024, 0}, {9, 2, 100, 37, 100, 68},
    };
    Sinus(0, 100, 1000);
    for (const Cas& c : cas) {
        ASSERT_TRUE(engine::ReinitTFR(*etat, 0, c.exposant));
        reglages.SurEchTFR = c.s;
        reglages.DecalageF = c.P;
        Calculer(c.W);
        EXPECT_EQ(etat->NbPoints, c.M) << c.exposant << " " << c.s << " " << c.W << " " << c.P;
        EXPECT_EQ(etat->DebutSpectre, c.D) << c.exposant << " " << c.s << " " << c.W << " " << c.P;
    }
}

TEST_F(Spectre, PointCountsTheArraysCannotHold) {
    EXPECT_FALSE(engine::ReinitTFR(*etat, 0, 12));
    EXPECT_FALSE(engine::ReinitTFR(*etat, 0, 3));
    EXPECT_FALSE(engine::ReinitTFR(*etat, 5, 11));
    EXPECT_EQ(dsp::TailleTFR(), 2048);
    ASSERT_TRUE(engine::ReinitTFR(*etat, 3, 4));
    EXPECT_EQ(dsp::TailleTFR(), 16);

    // Tables rebuilt behind the engine's back for 4096 points: no spectrum, nothing written.
    ASSERT_TRUE(dsp::InitTFR(0, 12));
    etat->SpectreModules[0].fill(7.0f);
    etat->TraceValide = true;
    Calculer(800);
    EXPECT_FALSE(etat->TraceValide);
    EXPECT_EQ(etat->SpectreModules[0].back(), 7.0f);
}

// Redrawing from stored magnitudes with settings that changed since (smaller N, other
// s) still reads and writes within the arrays.
TEST_F(Spectre, RedrawAfterTheSettingsChanged) {
    SurCase(0, 40, 0);
    reglages.SurEchTFR = 3;
    Calculer(2000);
    ASSERT_EQ(etat->NbPoints, 2000);
    ASSERT_TRUE(engine::ReinitTFR(*etat, 0, 8));
    reglages.SurEchTFR = 0;
    reglages.DecalageF = 500;
    engine::AfficheSpectre(*etat, reglages, 0, etat->NbPoints);
    EXPECT_EQ(etat->DebutSpectre, 0);
    engine::AfficheSpectre(*etat, reglages, 0, -5);
    engine::AfficheSpectre(*etat, reglages, 2, 100);
}

} // namespace
