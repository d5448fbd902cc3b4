#include "dsp/Fft.h"
#include "dsp/FftInterne.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <numeric>
#include <random>
#include <thread>
#include <vector>

namespace {

using dsp::CapaciteTFR;
using dsp::InitTFR;
using dsp::SpectreTFR;
using dsp::TailleTFR;

constexpr long double DeuxPi = 6.283185307179586476925286766559L;
constexpr double Epsilon = 1.0 / (1 << 24);

enum Fenetre { Blackmann, Hamming, Hanning, Rectangulaire, Triangulaire };

// Restores the start-up tables after each test, as other code expects them.
class Fft : public ::testing::Test {
protected:
    void TearDown() override { InitTFR(Blackmann, 11); }

    static std::array<float, CapaciteTFR> Coefficients() {
        std::array<float, CapaciteTFR> c{};
        dsp::CopieCoefFenetre(c);
        return c;
    }
};

// Magnitudes of the exact DFT of x (already windowed), in long double.
std::vector<long double> DftDirecte(const std::vector<float>& x) {
    const size_t n = x.size();
    std::vector<long double> c(n), s(n), modules(n);
    for (size_t k = 0; k < n; ++k) {
        c[k] = std::cos(DeuxPi * k / n);
        s[k] = std::sin(DeuxPi * k / n);
    }
    for (size_t k = 0; k < n; ++k) {
        long double re = 0, im = 0;
        for (size_t i = 0; i < n; ++i) {
            const size_t w = (k * i) % n;
            re += x[i] * c[w];
            im += x[i] * s[w];
        }
        modules[k] = std::sqrt(re * re + im * im);
    }
    return modules;
}

// The transform as described, step by step: permutation, butterflies with the complex
// product in long double and each result rounded to float, magnitudes in long double.
std::vector<float> TransformeEtendue(std::vector<float> x,
                                     const std::array<float, CapaciteTFR>& coef,
                                     const std::array<dsp::Complexe, CapaciteTFR>& racines) {
    const int n = static_cast<int>(x.size());
    for (int i = 0; i < n; ++i)
        x[i] = x[i] * coef[i];
    std::vector<int> rev(n);
    int s = n;
    for (int taille = 1; taille < n; taille *= 2) {
        s /= 2;
        for (int j = 0; j < taille; ++j)
            rev[taille + j] = rev[j] + s;
    }
    std::vector<float> re(n), im(n, 0.0f);
    for (int i = 0; i < n; ++i)
        re[i] = x[rev[i]];
    for (int demi = 1, groupes = n; demi < n; demi *= 2) {
        groupes /= 2;
        for (int g = 0; g < n; g += 2 * demi) {
            for (int j = g; j < g + demi; ++j) {
                const long double c = racines[(j - g) * groupes].re;
                const long double sn = racines[(j - g) * groupes].im;
                const long double x1 = re[j + demi], y1 = im[j + demi];
                const long double tr = x1 * c - y1 * sn, ti = x1 * sn + y1 * c;
                const long double ar = re[j], ai = im[j];
                re[j + demi] = static_cast<float>(ar - tr);
                im[j + demi] = static_cast<float>(ai - ti);
                re[j] = static_cast<float>(ar + tr);
                im[j] = static_cast<float>(ai + ti);
            }
        }
    }
    std::vector<float> modules(n);
    for (int i = 0; i < n; ++i)
        modules[i] = static_cast<float>(std::sqrt(static_cast<long double>(re[i]) * re[i] +
                                                  static_cast<long double>(im[i]) * im[i]));
    return modules;
}

std::vector<float> Bruit(size_t n, unsigned graine) {
    std::mt19937 generateur(graine);
    std::uniform_real_distribution<float> loi(-32768.0f, 32767.0f);
    std::vector<float> x(n);
    for (float& v : x)
        v = loi(generateur);
    return x;
}

TEST_F(Fft, WindowsAreNormalisedAndShaped) {
    for (int w = 0; w < dsp::NbFenetresTFR; ++w) {
        for (int b : {8, 9, 10, 11, 13}) {
            SCOPED_TRACE(testing::Message() << dsp::FenetresTFR[w].Nom << " N=" << (1 << b));
            ASSERT_TRUE(InitTFR(w, b));
            const int n = 1 << b;
            const auto c = Coefficients();
            const double somme = std::accumulate(c.begin(), c.begin() + n, 0.0);
            EXPECT_NEAR(somme, 1.0, n * Epsilon);
            EXPECT_EQ(*std::max_element(c.begin(), c.begin() + n), c[n / 2]);
            const double premier = c[0] / c[n / 2]; // before normalisation
            switch (w) {
            case Hamming:
                EXPECT_NEAR(premier, 0.08, 1e-6);
                break;
            case Rectangulaire:
                EXPECT_EQ(premier, 1.0);
                break;
            default:
                EXPECT_NEAR(premier, 0.0, 1e-6);
                break;
            }
        }
    }
}

TEST_F(Fft, TwiddlesArePositiveExponentRoots) {
    ASSERT_TRUE(InitTFR(Blackmann, 11));
    std::array<dsp::Complexe, CapaciteTFR> r{};
    dsp::CopieRacinesTFR(r);
    for (int k = 0; k < 1024; ++k) {
        EXPECT_NEAR(r[k].re, std::cos(DeuxPi * k / 2048), 1e-7) << k;
        EXPECT_NEAR(r[k].im, std::sin(DeuxPi * k / 2048), 1e-7) << k;
    }
    for (int k = 0; k < 512; ++k) { // second quarter rotated from the first, exactly
        EXPECT_EQ(r[k + 512].re, -r[k].im);
        EXPECT_EQ(r[k + 512].im, r[k].re);
    }
}

TEST_F(Fft, MatchesDirectDftForEveryWindowAndSize) {
    for (int w = 0; w < dsp::NbFenetresTFR; ++w) {
        for (int b : {8, 9, 10, 11}) {
            const int n = 1 << b;
            SCOPED_TRACE(testing::Message() << dsp::FenetresTFR[w].Nom << " N=" << n);
            ASSERT_TRUE(InitTFR(w, b));
            const auto c = Coefficients();
            std::vector<float> x = Bruit(n, 17 * w + b);
            std::vector<float> fenetre(n);
            for (int i = 0; i < n; ++i)
                fenetre[i] = x[i] * c[i];
            const auto reference = DftDirecte(fenetre);

            std::vector<float> modules(n, -1.0f);
            SpectreTFR(x.data(), modules.data());
            EXPECT_EQ(x, fenetre) << "the samples are windowed in place";

            // Single-precision rounding over log2(N) stages, on the scale of the largest
            // possible bin (the sum of the windowed magnitudes).
            long double echelle = 0;
            for (float v : fenetre)
                echelle += std::fabs(v);
            const double tolerance = 2.0 * b * Epsilon * static_cast<double>(echelle);
            for (int k = 0; k < n; ++k)
                ASSERT_NEAR(modules[k], static_cast<double>(reference[k]), tolerance) << k;
        }
    }
}

// The real-input shortcut and every instruction-set variant compute the same butterflies:
// their magnitudes agree bit for bit with the transform that computes every butterfly.
TEST_F(Fft, EveryVariantGivesTheSameBits) {
    using dsp::JeuInstructions;
    std::vector<JeuInstructions> jeux = {JeuInstructions::Base};
    if (dsp::JeuDisponible() != JeuInstructions::Base) jeux.push_back(JeuInstructions::V3);
    if (dsp::JeuDisponible() == JeuInstructions::V4) jeux.push_back(JeuInstructions::V4);
    for (int w : {Blackmann, Rectangulaire}) {
        for (int b = 2; b <= 13; ++b) {
            const int n = 1 << b;
            SCOPED_TRACE(testing::Message() << dsp::FenetresTFR[w].Nom << " N=" << n);
            ASSERT_TRUE(InitTFR(w, b));
            const std::vector<float> signal = Bruit(n, b);
            std::vector<float> x = signal, reference(n);
            dsp::SpectreTFRVariante(JeuInstructions::Base, false, x.data(), reference.data());
            for (JeuInstructions jeu : jeux) {
                for (bool reel : {false, true}) {
                    std::vector<float> y = signal, modules(n);
                    dsp::SpectreTFRVariante(jeu, reel, y.data(), modules.data());
                    ASSERT_EQ(modules, reference)
                        << "variant " << static_cast<int>(jeu) << (reel ? " real" : " complete");
                }
            }
            std::vector<float> y = signal, modules(n);
            SpectreTFR(y.data(), modules.data());
            ASSERT_EQ(modules, reference) << "SpectreTFR";
        }
    }
}

// Computing in double instead of extended precision changes no result.
TEST_F(Fft, DoubleGivesTheExtendedPrecisionResults) {
    for (int w = 0; w < dsp::NbFenetresTFR; ++w) {
        for (int b : {8, 11, 13}) {
            const int n = 1 << b;
            SCOPED_TRACE(testing::Message() << dsp::FenetresTFR[w].Nom << " N=" << n);
            ASSERT_TRUE(InitTFR(w, b));
            std::array<dsp::Complexe, CapaciteTFR> racines{};
            dsp::CopieRacinesTFR(racines);
            std::vector<float> x = Bruit(n, 3 * b + w), modules(n);
            const std::vector<float> attendu = TransformeEtendue(x, Coefficients(), racines);
            SpectreTFR(x.data(), modules.data());
            EXPECT_EQ(modules, attendu);
        }
    }
}

TEST_F(Fft, ConstantBlockGivesItsValueInBinZero) {
    const float valeur = 1234.5f;
    for (int w = 0; w < dsp::NbFenetresTFR; ++w) {
        SCOPED_TRACE(dsp::FenetresTFR[w].Nom);
        ASSERT_TRUE(InitTFR(w, 10));
        std::vector<float> x(1024, valeur), modules(1024);
        SpectreTFR(x.data(), modules.data());
        EXPECT_NEAR(modules[0], valeur, valeur * 1024 * Epsilon);
        if (w == Rectangulaire) {
            for (int k = 1; k < 1024; ++k)
                EXPECT_NEAR(modules[k], 0.0f, valeur * 1e-6) << k;
        }
    }
}

TEST_F(Fft, CosineOnABinGivesHalfItsAmplitudeTwice) {
    ASSERT_TRUE(InitTFR(Rectangulaire, 11));
    const int n = 2048;
    const double amplitude = 20000.0;
    for (int k : {1, 5, 100, 1023}) {
        std::vector<float> x(n), modules(n);
        for (int i = 0; i < n; ++i)
            x[i] = static_cast<float>(amplitude * std::cos(DeuxPi * k * i / n + 0.3L));
        SpectreTFR(x.data(), modules.data());
        for (int j = 0; j < n; ++j) {
            const double attendu = (j == k || j == n - k) ? amplitude / 2 : 0.0;
            ASSERT_NEAR(modules[j], attendu, 0.05) << "k=" << k << " bin " << j;
        }
    }
}

TEST_F(Fft, PointCountFollowsTheExponent) {
    for (int tag = 0; tag < 4; ++tag) {
        ASSERT_TRUE(InitTFR(Hanning, 11 - tag));
        EXPECT_EQ(TailleTFR(), 2048 >> tag);
    }
    EXPECT_FALSE(InitTFR(5, 11));
    EXPECT_FALSE(InitTFR(-1, 11));
    EXPECT_FALSE(InitTFR(0, 14));
    EXPECT_FALSE(InitTFR(0, -1));
    EXPECT_EQ(TailleTFR(), 256) << "a refused call changes nothing";
}

TEST_F(Fft, TinySizesStillTransform) {
    for (int b : {0, 1, 2, 3}) {
        const int n = 1 << b;
        ASSERT_TRUE(InitTFR(Rectangulaire, b));
        std::vector<float> x(n, 3.0f), modules(n, -1.0f);
        SpectreTFR(x.data(), modules.data());
        EXPECT_FLOAT_EQ(modules[0], 3.0f) << n;
        for (int k = 1; k < n; ++k)
            EXPECT_NEAR(modules[k], 0.0f, 1e-6) << n;
    }
}

// A transform never sees a half-rebuilt table set: a constant block must give its value
// in bin 0 whatever size and window the other thread is installing at the time.
TEST_F(Fft, RebuildWhileTransformingStaysConsistent) {
    std::atomic<bool> fin{false};
    std::thread reconstruction([&] {
        int tour = 0;
        while (!fin.load()) {
            InitTFR(tour % dsp::NbFenetresTFR, 8 + tour % 4);
            ++tour;
        }
    });
    std::vector<float> x(2048), modules(2048);
    int erreurs = 0;
    for (int essai = 0; essai < 300; ++essai) {
        std::fill(x.begin(), x.end(), 1000.0f);
        SpectreTFR(x.data(), modules.data());
        if (std::fabs(modules[0] - 1000.0f) > 0.1f) ++erreurs;
    }
    fin = true;
    reconstruction.join();
    EXPECT_EQ(erreurs, 0);
}

} // namespace
