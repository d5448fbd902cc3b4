#include "dsp/Reechantillonnage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numeric>
#include <vector>

namespace {

using dsp::Decime;
using dsp::Filtres;
using dsp::Interpole;
using dsp::LongueurDecime;
using dsp::Reechantillonne;

constexpr double Pi = 3.14159265358979323846;
constexpr float Nan = std::numeric_limits<float>::quiet_NaN();

std::vector<float> Sinus(int n, double periode, double amplitude = 10000.0) {
    std::vector<float> x(n);
    for (int i = 0; i < n; ++i)
        x[i] = static_cast<float>(amplitude * std::sin(2 * Pi * i / periode));
    return x;
}

TEST(Filtres, TablesAreSymmetricAndNormalised) {
    const auto& t = Filtres();
    for (int j = 0; j < 14; ++j)
        EXPECT_EQ(t.FiltreDemiBande[j], t.FiltreDemiBande[13 - j]) << j;
    const float somme = std::accumulate(t.FiltreDemiBande.begin(), t.FiltreDemiBande.end(), 0.0f);
    EXPECT_FLOAT_EQ(t.GainDemiBande, 1.0f / (somme + 1.0f));
    EXPECT_NEAR(t.FiltreDemiBande[6],
                2.0 / Pi * (0.42 + 0.5 * std::cos(Pi / 16) + 0.08 * std::cos(Pi / 8)),
                1e-7); // x = -1
    for (int r = 0; r < 7; ++r) {
        double somme_phase = 0;
        for (float c : t.TableInterpolation[r])
            somme_phase += c;
        EXPECT_NEAR(somme_phase, 1.0, 2e-5) << "phase " << r + 1;
    }
    for (int k = 0; k < 32; ++k) // the half-sample phase is symmetric about its middle
        EXPECT_NEAR(t.TableInterpolation[3][k], t.TableInterpolation[3][31 - k], 1e-7) << k;
}

TEST(Decime, ConstantKeepsItsValueThroughEveryStageCount) {
    for (int s = 1; s <= 3; ++s) {
        const int a = 500;
        std::vector<float> source(LongueurDecime(s, a), 1234.0f);
        std::vector<float> destination(source.size(), Nan);
        ASSERT_EQ(Decime(s, a, source, destination), a);
        for (int i = 0; i < a; ++i)
            ASSERT_NEAR(destination[i], 1234.0f, 1234.0f * 4e-7f) << "s=" << s << " i=" << i;
    }
}

// Every requested output is a true filter output: a sine in the pass band lands where the
// delay says, up to the very last output, whatever the destination held before.
TEST(Decime, SineLandsAtTheStatedDelayUpToTheLastOutput) {
    for (int s = 1; s <= 3; ++s) {
        const int a = 2048;
        const double periode = 40.0 * (1 << s); // 40 output samples per period
        const std::vector<float> source = Sinus(LongueurDecime(s, a), periode);
        std::vector<float> destination(source.size(), Nan);
        ASSERT_EQ(Decime(s, a, source, destination), a);
        const int delai = 13 * ((1 << s) - 1);
        for (int i = 0; i < a; ++i) {
            const double attendu = 10000.0 * std::sin(2 * Pi * ((i << s) + delai) / periode);
            ASSERT_NEAR(destination[i], attendu, 25.0) << "s=" << s << " i=" << i;
        }
    }
}

TEST(Decime, ReadsExactlyItsStatedLength) {
    // Exactly sized heap arrays: AddressSanitizer catches one sample too many.
    EXPECT_EQ(LongueurDecime(3, 2048), 2048 * 8 + 175);
    EXPECT_EQ(LongueurDecime(2, 100), 400 + 75);
    EXPECT_EQ(LongueurDecime(1, 100), 200 + 25);
    std::vector<float> source(LongueurDecime(3, 2048), 1.0f);
    std::vector<float> destination(source.size());
    EXPECT_EQ(Decime(3, 2048, source, destination), 2048);
}

TEST(Decime, LimitsOfTheCaptureArrays) {
    EXPECT_EQ(dsp::MaxDecime(3, 20480), 2538);
    EXPECT_EQ(dsp::MaxDecime(2, 20480), 5101);
    EXPECT_EQ(dsp::MaxDecime(1, 20480), 10227);
}

TEST(Decime, RequestBeyondTheArraysIsCutNotOverrun) {
    std::vector<float> source(20480, 1.0f), destination(20480);
    [[maybe_unused]] int obtenu = -1;
    EXPECT_DEBUG_DEATH(obtenu = Decime(3, 2600, source, destination), "more outputs");
#ifdef NDEBUG
    EXPECT_EQ(obtenu, 2538);
#endif
    EXPECT_EQ(Decime(0, 10, source, destination), 0);
    EXPECT_EQ(Decime(2, 0, source, destination), 0);
}

TEST(Interpole, ConstantIsExactAtSamplesAndCloseBetween) {
    for (int b = 1; b <= 3; ++b) {
        const int m = 300, f = 1 << b;
        std::vector<float> source(m + 32, 1000.0f), destination(m * f, Nan);
        ASSERT_EQ(Interpole(b, m, source, destination), m);
        for (int i = 0; i < m * f; ++i) {
            if (i % f == 0)
                ASSERT_EQ(destination[i], 1000.0f) << i;
            else
                ASSERT_NEAR(destination[i], 1000.0f, 1000.0f * 2e-5f) << "b=" << b << " " << i;
        }
    }
}

TEST(Interpole, SineLandsAtTheStatedDelay) {
    for (int b = 1; b <= 3; ++b) {
        const int m = 400, f = 1 << b;
        const double periode = 16.0;
        const std::vector<float> source = Sinus(m + 32, periode);
        std::vector<float> destination(m * f);
        ASSERT_EQ(Interpole(b, m, source, destination), m);
        for (int q = 0; q < m; ++q)
            for (int j = 0; j < f; ++j) {
                const double position = q + 16 + static_cast<double>(j) / f;
                ASSERT_NEAR(destination[q * f + j], 10000.0 * std::sin(2 * Pi * position / periode),
                            10.0)
                    << "b=" << b << " q=" << q << " j=" << j;
            }
    }
}

TEST(Interpole, RefusesUnknownFactorsAndCutsOversizedRequests) {
    std::vector<float> source(100, 1.0f), destination(1000);
    EXPECT_EQ(Interpole(0, 10, source, destination), 0);
    EXPECT_EQ(Interpole(4, 10, source, destination), 0);
    [[maybe_unused]] int obtenu = -1;
    EXPECT_DEBUG_DEATH(obtenu = Interpole(1, 69, source, destination), "more than");
#ifdef NDEBUG
    EXPECT_EQ(obtenu, 68);
#endif
}

TEST(Reechantillonne, DispatchesOnTheExponentSign) {
    std::vector<float> source(20480);
    std::iota(source.begin(), source.end(), 0.0f);
    std::vector<float> destination(20480, Nan);

    ASSERT_EQ(Reechantillonne(source, 1000, destination, 800, 0), 800);
    for (int k = 0; k < 800; ++k)
        ASSERT_EQ(destination[k], 1000.0f + k);

    // A ramp passes the filters unchanged, delayed as stated.
    ASSERT_EQ(Reechantillonne(source, 1000, destination, 800, 2), 800);
    for (int k = 0; k < 800; ++k)
        ASSERT_NEAR(destination[k], 1000.0f + 4 * k + 39, 0.05f) << k;

    ASSERT_EQ(Reechantillonne(source, 1000, destination, 800, -2), 800);
    for (int k = 0; k < 800; ++k)
        ASSERT_NEAR(destination[k], 1000.0f + 16 + k / 4.0f, 0.05f) << k;
}

} // namespace
