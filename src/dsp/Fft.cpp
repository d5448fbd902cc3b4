#include "dsp/Fft.h"

#include "dsp/Clones.h"

#include <atomic>
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

// ---- Transform kernels. Each is compiled for several instruction sets and picked at
// load time; all give the same results (no contraction, same operation order).

TAMBURELLA_CLONES
void Fenetrer(float* __restrict x, const float* __restrict coef, int32_t n) {
    for (int32_t i = 0; i < n; ++i)
        x[i] *= coef[i];
}

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

// One stage of butterflies with pairs `h` apart. The complex product of a float pair
// and a float twiddle is exact in double; the sums are rounded once, to float, as with
// extended precision.
TAMBURELLA_CLONES
void Etage(float* re, float* im, const double* __restrict c, const double* __restrict s, int32_t n,
           int32_t h) {
    for (int32_t g = 0; g < n; g += 2 * h) {
        float* __restrict rb = re + g;
        float* __restrict ib = im + g;
        float* __restrict rh = re + g + h;
        float* __restrict ih = im + g + h;
        for (int32_t j = 0; j < h; ++j) {
            const double x = rh[j], y = ih[j];
            const double tr = x * c[j] - y * s[j];
            const double ti = x * s[j] + y * c[j];
            const double ar = rb[j], ai = ib[j];
            rh[j] = static_cast<float>(ar - tr);
            ih[j] = static_cast<float>(ai - ti);
            rb[j] = static_cast<float>(ar + tr);
            ib[j] = static_cast<float>(ai + ti);
        }
    }
}

// Stage h = 4 processes two blocks per iteration so that wide vectors stay full.
TAMBURELLA_CLONES
void EtageQuatre(float* __restrict re, float* __restrict im, const double* __restrict c4,
                 const double* __restrict s4, int32_t n) {
    for (int32_t g = 0; g < n; g += 8) {
        for (int32_t j = 0; j < 4; ++j) {
            const double x = re[g + 4 + j], y = im[g + 4 + j];
            const double tr = x * c4[j] - y * s4[j];
            const double ti = x * s4[j] + y * c4[j];
            const double ar = re[g + j], ai = im[g + j];
            re[g + 4 + j] = static_cast<float>(ar - tr);
            im[g + 4 + j] = static_cast<float>(ai - ti);
            re[g + j] = static_cast<float>(ar + tr);
            im[g + j] = static_cast<float>(ai + ti);
        }
    }
}

TAMBURELLA_CLONES
void Modules(const float* __restrict re, const float* __restrict im, float* __restrict modules,
             int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        const double r = re[i], m = im[i];
        modules[i] = static_cast<float>(std::sqrt(r * r + m * m));
    }
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
    tailleTFR.store(n, std::memory_order_relaxed);
    return true;
}

void SpectreTFR(float* echantillons, float* modules) {
    std::lock_guard verrou(verrouTFR);
    const int32_t n = tables.n;
    if (n == 0) return; // never initialised
    Fenetrer(echantillons, tables.coef, n);
    if (n >= 4) {
        InverseBitsDeuxEtages(echantillons, tables.re, tables.im, n);
        if (n >= 8) EtageQuatre(tables.re, tables.im, tables.cosEtage + 4, tables.sinEtage + 4, n);
        for (int32_t h = 8; h < n; h *= 2)
            Etage(tables.re, tables.im, tables.cosEtage + h, tables.sinEtage + h, n, h);
    } else {
        InversePetit(echantillons, tables.re, tables.im, n);
    }
    Modules(tables.re, tables.im, modules, n);
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
