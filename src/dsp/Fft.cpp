#include "dsp/Fft.h"

// Vector kernels pass wide vectors between inlined helpers only.
#pragma GCC diagnostic ignored "-Wpsabi"

#include "dsp/Clones.h"
#include "dsp/FftInterne.h"

#include <atomic>
#include <cstring>
#if defined(__x86_64__)
#include <immintrin.h>
#endif
#include <cmath>
#include <mutex>

namespace dsp {
namespace {

constexpr long double DeuxPi = 6.283185307179586476925286766559L;

// Window functions: extended precision, rounded once to a float.
float Blackmann(int a, int n) {
    const long double x = DeuxPi * a / n;
    return static_cast<float>(0.42L + 0.5L * std::cos(x) + 0.08L * std::cos(2.0L * x));
}
float Hamming(int a, int n) {
    return static_cast<float>(0.54L + 0.46L * std::cos(DeuxPi * a / n));
}
float Hanning(int a, int n) {
    return static_cast<float>(0.5L + 0.5L * std::cos(DeuxPi * a / n));
}
float Rectangulaire(int, int) {
    return 1.0f;
}
float Triangulaire(int a, int n) {
    return static_cast<float>(1.0L - 2.0L * std::fabs(static_cast<long double>(a) / n));
}

// The tables and the work array. The complex work array is kept as two planes (real,
// imaginary) so that butterflies vectorise without shuffles; the twiddles are also
// kept per stage, contiguous and widened to double: stage `h` (h = 1, 2, 4, ..) finds
// the twiddle of its pair j at [h + j]. Both are rearranged copies of the same values.
struct TablesTFR {
    int32_t n = 0;
    bool symetrique = false; // twiddles exactly mirror-symmetric: real-input stages apply
    Complexe racines[CapaciteTFR];
    float coef[CapaciteTFR];
    int32_t inverse[CapaciteTFR]; // bit-reversal permutation of 0..n-1
    double cosEtage[CapaciteTFR];
    double sinEtage[CapaciteTFR];
    alignas(64) float re[CapaciteTFR]; // TravailTFR, real plane
    alignas(64) float im[CapaciteTFR]; // TravailTFR, imaginary plane
};

TablesTFR tables;
std::mutex verrouTFR;
std::atomic<int32_t> tailleTFR{0};

void ConstruitRacines(int32_t n) {
    const long double pas = DeuxPi / n;
    for (int32_t k = 0; k < n / 4; ++k) {
        const long double theta = pas * k;
        tables.racines[k] = {static_cast<float>(std::cos(theta)),
                             static_cast<float>(std::sin(theta))};
    }
    // Second quarter by rotation of the stored (rounded) values.
    for (int32_t k = 0; k < n / 4; ++k)
        tables.racines[k + n / 4] = {-tables.racines[k].im, tables.racines[k].re};
    if (n == 2) tables.racines[0] = {1.0f, 0.0f}; // n/4 = 0: the one root, e^0
    for (int32_t h = 1; h < n; h *= 2) {
        const int32_t groupes = n / (2 * h);
        for (int32_t j = 0; j < h; ++j) {
            tables.cosEtage[h + j] = tables.racines[j * groupes].re;
            tables.sinEtage[h + j] = tables.racines[j * groupes].im;
        }
    }
}

void ConstruitFenetre(int fenetre, int32_t n) {
    float somme = 0.0f;
    for (int32_t a = -n / 2; a <= n / 2 - 1; ++a) {
        const float c = FenetresTFR[fenetre].Coefficient(a, n);
        tables.coef[n / 2 + a] = c;
        somme += c;
    }
    if (n == 1) { // the loop above is empty for a single point
        tables.coef[0] = FenetresTFR[fenetre].Coefficient(0, 1);
        somme = tables.coef[0];
    }
    const float g = 1.0f / somme;
    for (int32_t i = 0; i < n; ++i)
        tables.coef[i] *= g;
}

// Bit-reversal permutation built by doubling.
void ConstruitInverse(int32_t n) {
    tables.inverse[0] = 0;
    int32_t s = n;
    for (int32_t taille = 1; taille < n; taille *= 2) {
        s /= 2;
        for (int32_t j = 0; j < taille; ++j)
            tables.inverse[taille + j] = tables.inverse[j] + s;
    }
}

// ---- Transform kernels (NoyauxTFR.inc), in three instruction sets.
namespace base {
#include "dsp/NoyauxTFR.inc"
}
#if TAMBURELLA_VARIANTES
#pragma GCC push_options
#pragma GCC target("arch=x86-64-v3")
namespace v3 {
#include "dsp/NoyauxTFR.inc"
}
#pragma GCC pop_options
#pragma GCC push_options
#pragma GCC target("arch=x86-64-v4,prefer-vector-width=512")
namespace v4 {
#include "dsp/NoyauxTFR.inc"
}
#pragma GCC pop_options
#endif

struct NoyauxTFR {
    void (*Fenetrer)(float*, const float*, int32_t);
    void (*EtageQuatre)(float*, float*, const double*, const double*, int32_t);
    void (*Etage)(float*, float*, const double*, const double*, int32_t, int32_t);
    void (*EtageReel)(float*, float*, const double*, const double*, int32_t, int32_t);
    void (*Modules)(const float*, const float*, float*, int32_t);
    void (*MiroirModules)(float*, int32_t);
};

#define TAMBURELLA_NOYAUX_DE(ns)                                                                   \
    NoyauxTFR {                                                                                    \
        ns::Fenetrer, ns::EtageQuatre, ns::Etage, ns::EtageReel, ns::Modules, ns::MiroirModules    \
    }

NoyauxTFR NoyauxPour(JeuInstructions jeu) {
#if TAMBURELLA_VARIANTES
    if (jeu == JeuInstructions::V4) return TAMBURELLA_NOYAUX_DE(v4);
    if (jeu == JeuInstructions::V3) return TAMBURELLA_NOYAUX_DE(v3);
#endif
    (void)jeu;
    return TAMBURELLA_NOYAUX_DE(base);
}

const NoyauxTFR noyaux = NoyauxPour(JeuDisponible());

// The permutation, followed by the first two stages (n >= 4). With a real input the
// imaginary parts are zero, the first stage only adds and the second stage's twiddles
// are 1 and i, so both are exact in float: the results equal the generic butterflies.
void InverseBitsDeuxEtages(const float* __restrict x, float* __restrict re, float* __restrict im,
                           int32_t n) {
    const int32_t quart = n / 4;
    for (int32_t g = 0; g < n; g += 4) {
        const int32_t base = tables.inverse[g];
        const float a0 = x[base], a1 = x[base + 2 * quart];
        const float a2 = x[base + quart], a3 = x[base + 3 * quart];
        const float r0 = a0 + a1, r1 = a0 - a1, r2 = a2 + a3, r3 = a2 - a3;
        re[g] = r0 + r2;
        im[g] = 0.0f;
        re[g + 1] = r1;
        im[g + 1] = r3;
        re[g + 2] = r0 - r2;
        im[g + 2] = 0.0f;
        re[g + 3] = r1;
        im[g + 3] = -r3;
    }
}

// The permutation alone, with the first stage, for n = 2 (and the copy for n = 1).
void InversePetit(const float* x, float* re, float* im, int32_t n) {
    if (n == 1) {
        re[0] = x[0];
        im[0] = 0.0f;
        return;
    }
    re[0] = x[0] + x[1];
    re[1] = x[0] - x[1];
    im[0] = im[1] = 0.0f;
}

// Whether the twiddles are exactly mirror-symmetric, W[n/2 - w] = (-c, s) of W[w], which
// the real-input stages rely on.
bool RacinesSymetriques(int32_t n) {
    for (int32_t w = 1; w < n / 2; ++w) {
        const Complexe& a = tables.racines[w];
        const Complexe& b = tables.racines[n / 2 - w];
        if (!(b.re == -a.re && b.im == a.im)) return false;
    }
    return true;
}

// The first stage that computes only half of each block.
constexpr int32_t PremierEtageReel = 16;

// The transform of the current tables; the caller holds the lock.
void Transforme(const NoyauxTFR& k, float* echantillons, float* modules, bool reel) {
    const int32_t n = tables.n;
    k.Fenetrer(echantillons, tables.coef, n);
    if (n < 4) {
        InversePetit(echantillons, tables.re, tables.im, n);
        k.Modules(tables.re, tables.im, modules, n);
        return;
    }
    InverseBitsDeuxEtages(echantillons, tables.re, tables.im, n);
    if (n >= 8) k.EtageQuatre(tables.re, tables.im, tables.cosEtage + 4, tables.sinEtage + 4, n);
    for (int32_t h = 8; h < n; h *= 2) {
        const double* c = tables.cosEtage + h;
        const double* s = tables.sinEtage + h;
        if (reel && h >= PremierEtageReel)
            k.EtageReel(tables.re, tables.im, c, s, n, h);
        else
            k.Etage(tables.re, tables.im, c, s, n, h);
    }
    if (!reel) {
        k.Modules(tables.re, tables.im, modules, n);
        return;
    }
    // Bin n - k mirrors bin k exactly.
    k.Modules(tables.re, tables.im, modules, n / 2 + 1);
    k.MiroirModules(modules, n);
}

} // namespace

const std::array<FenetreTFR, NbFenetresTFR> FenetresTFR = {{
    {Blackmann, "Blackmann"},
    {Hamming, "Hamming"},
    {Hanning, "Hanning"},
    {Rectangulaire, "Rectangulaire"},
    {Triangulaire, "Triangulaire"},
}};

int32_t TailleTFR() {
    return tailleTFR.load(std::memory_order_relaxed);
}

bool InitTFR(int fenetre, int exposant) {
    if (fenetre < 0 || fenetre >= NbFenetresTFR || exposant < 0 || (1 << exposant) > CapaciteTFR)
        return false;
    const int32_t n = int32_t{1} << exposant;
    std::lock_guard verrou(verrouTFR);
    tables.n = n;
    ConstruitRacines(n);
    ConstruitFenetre(fenetre, n);
    ConstruitInverse(n);
    tables.symetrique = RacinesSymetriques(n);
    tailleTFR.store(n, std::memory_order_relaxed);
    return true;
}

void SpectreTFR(float* echantillons, float* modules) {
    std::lock_guard verrou(verrouTFR);
    if (tables.n == 0) return; // never initialised
    Transforme(noyaux, echantillons, modules, tables.symetrique);
}

void SpectreTFRVariante(JeuInstructions jeu, bool reel, float* echantillons, float* modules) {
    std::lock_guard verrou(verrouTFR);
    if (tables.n == 0) return;
    Transforme(NoyauxPour(jeu), echantillons, modules, reel && tables.symetrique);
}

void CopieRacinesTFR(std::array<Complexe, CapaciteTFR>& racines) {
    std::lock_guard verrou(verrouTFR);
    std::copy(std::begin(tables.racines), std::end(tables.racines), racines.begin());
}

void CopieCoefFenetre(std::array<float, CapaciteTFR>& coefficients) {
    std::lock_guard verrou(verrouTFR);
    std::copy(std::begin(tables.coef), std::end(tables.coef), coefficients.begin());
}

} // namespace dsp

namespace dsp {
namespace {
// The tables are valid from load time: "Blackmann", 2048 points.
[[maybe_unused]] const bool tablesInitiales = InitTFR(0, 11);
} // namespace
} // namespace dsp
