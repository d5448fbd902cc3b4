#include "dsp/Reechantillonnage.h"

#include "dsp/Clones.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstddef>

namespace dsp {
namespace {

constexpr long double Pi = 3.141592653589793238462643383279502884L;

// Blackman window of half-width 16.
long double Blackman(long double x) {
    return 0.42L + 0.5L * std::cos(Pi * x / 16.0L) + 0.08L * std::cos(Pi * x / 8.0L);
}
long double NoyauDemiBande(long double x) {
    const long double u = Pi * x / 2.0L;
    return std::sin(u) / u * Blackman(x);
}
long double NoyauInterpolation(long double x) {
    const long double u = Pi * x;
    return std::sin(u) / u * Blackman(x);
}

TablesFiltres Construit() {
    TablesFiltres t{};
    float somme = 0.0f;
    for (int j = 0; j < 14; ++j) {
        const float x = static_cast<float>(2 * j - 13);
        t.FiltreDemiBande[j] = static_cast<float>(NoyauDemiBande(x));
        somme += t.FiltreDemiBande[j];
    }
    t.GainDemiBande = 1.0f / (somme + 1.0f);
    for (int p = 1; p <= 7; ++p) {
        for (int k = -16; k <= 15; ++k) {
            const float x = static_cast<float>((8 * k + p) * 0.125);
            t.TableInterpolation[7 - p][k + 16] = static_cast<float>(NoyauInterpolation(x));
        }
    }
    return t;
}

// The same coefficients widened to double, as the kernels use them.
struct TablesDouble {
    double demiBande[14];
    double gain;
    double interpolation[7][32];
};

const TablesDouble& Doubles() {
    static const TablesDouble t = [] {
        const TablesFiltres& f = Filtres();
        TablesDouble d{};
        for (int j = 0; j < 14; ++j)
            d.demiBande[j] = f.FiltreDemiBande[j];
        d.gain = f.GainDemiBande;
        for (int r = 0; r < 7; ++r)
            for (int k = 0; k < 32; ++k)
                d.interpolation[r][k] = f.TableInterpolation[r][k];
        return d;
    }();
    return t;
}

// Stages and the interpolator work through blocks of this many outputs in local arrays,
// so that the inner loops see contiguous, non-overlapping planes and vectorise.
constexpr int Bloc = 256;

// One block of half-band outputs: y[m] = g * (xo[m + 6] + sum over j = 13..0 of
// f[j] * xe[m + j]), where xe and xo are the even and odd input samples from the block's
// start. Products of floats are exact in double; the sum is rounded once at the end.
template <bool Fma>
[[gnu::always_inline]] inline void CorpsDemiBande(const double* __restrict xe,
                                                  const double* __restrict xo, float* __restrict y,
                                                  int n, const double* __restrict f, double g) {
    for (int m = 0; m < n; ++m) {
        double acc = xo[m + 6];
#pragma GCC unroll 14
        for (int j = 13; j >= 0; --j)
            acc = MultiplieAjoute<Fma>(f[j], xe[m + j], acc);
        y[m] = static_cast<float>(g * acc);
    }
}
TAMBURELLA_NOYAU(BlocDemiBande, CorpsDemiBande,
                 (const double* xe, const double* xo, float* y, int n, const double* f, double g),
                 (xe, xo, y, n, f, g))

// One half-band stage, in place: n outputs from 2n + 25 inputs of x. Output i overwrites
// x[i] once its block has been read, which never clobbers an input still to be read
// (later blocks read from 2i on).
void EtageDemiBande(float* x, int n) {
    const TablesDouble& t = Doubles();
    double pair[Bloc + 13];
    double impair[Bloc + 13];
    float sortie[Bloc];
    for (int debut = 0; debut < n; debut += Bloc) {
        const int nb = std::min(Bloc, n - debut);
        const float* bloc = x + 2 * debut;
        for (int m = 0; m < nb + 13; ++m)
            pair[m] = bloc[2 * m];
        for (int m = 6; m < nb + 6; ++m)
            impair[m] = bloc[2 * m + 1];
        BlocDemiBande(pair, impair, sortie, nb, t.demiBande, t.gain);
        std::copy(sortie, sortie + nb, x + debut);
    }
}

// One block of one interpolation phase: y[q] = sum over k = 31..0 of s[q + 1 + k] * c[k].
template <bool Fma>
[[gnu::always_inline]] inline void CorpsInterpolation(const double* __restrict s,
                                                      float* __restrict y, int n,
                                                      const double* __restrict c) {
    for (int q = 0; q < n; ++q) {
        double acc = 0.0;
#pragma GCC unroll 32
        for (int k = 31; k >= 0; --k)
            acc = MultiplieAjoute<Fma>(s[q + 1 + k], c[k], acc);
        y[q] = static_cast<float>(acc);
    }
}
TAMBURELLA_NOYAU(BlocInterpolation, CorpsInterpolation,
                 (const double* s, float* y, int n, const double* c), (s, y, n, c))

} // namespace

const TablesFiltres& Filtres() {
    static const TablesFiltres tables = Construit();
    return tables;
}

void InitFiltres() {
    (void)Doubles();
}

int LongueurDecime(int s, int a) {
    if (a <= 0) return 0;
    return (a << s) + 25 * ((1 << s) - 1);
}

int MaxDecime(int s, int n) {
    if (s < 1 || s > 14) return 0;
    const int reste = n - 25 * ((1 << s) - 1);
    return reste > 0 ? reste >> s : 0;
}

int Decime(int s, int a, std::span<const float> source, std::span<float> destination) {
    if (s < 1 || s > 14 || a <= 0) return 0;
    const std::size_t place = std::min(source.size(), destination.size());
    const int amax = MaxDecime(s, static_cast<int>(std::min<std::size_t>(place, 1 << 24)));
    assert(a <= amax && "Decime: more outputs than the arrays hold");
    a = std::min(a, amax);
    if (a <= 0) return 0;
    const int longueur = LongueurDecime(s, a);
    std::copy(source.begin(), source.begin() + longueur, destination.begin());
    // Each stage computes exactly what the later stages need for outputs 0..a-1.
    for (int etape = 1; etape <= s; ++etape) {
        const int n = etape == s ? a : LongueurDecime(s - etape, a);
        EtageDemiBande(destination.data(), n);
    }
    return a;
}

int Interpole(int b, int m, std::span<const float> source, std::span<float> destination) {
    if (b < 1 || b > 3 || m <= 0) return 0;
    const int facteur = 1 << b;
    const std::size_t lisibles = source.size() >= 32 ? source.size() - 32 : 0;
    const std::size_t mmax = std::min(lisibles, destination.size() / facteur);
    assert(static_cast<std::size_t>(m) <= mmax && "Interpole: more than the arrays hold");
    m = static_cast<int>(std::min<std::size_t>(m, mmax));
    if (m <= 0) return 0;

    const TablesDouble& t = Doubles();
    double s[Bloc + 32];
    float phase[Bloc];
    for (int debut = 0; debut < m; debut += Bloc) {
        const int nb = std::min(Bloc, m - debut);
        for (int k = 0; k < nb + 32; ++k)
            s[k] = source[debut + k];
        float* sortie = destination.data() + static_cast<std::size_t>(debut) * facteur;
        for (int q = 0; q < nb; ++q)
            sortie[q * facteur] = source[debut + q + 16];
        for (int j = 1; j < facteur; ++j) {
            const int ligne = j * 8 / facteur; // phase r = 1..7
            BlocInterpolation(s, phase, nb, t.interpolation[ligne - 1]);
            for (int q = 0; q < nb; ++q)
                sortie[q * facteur + j] = phase[q];
        }
    }
    return m;
}

int Reechantillonne(std::span<const float> source, int debut, std::span<float> destination, int n,
                    int f) {
    assert(debut >= 0 && static_cast<std::size_t>(debut) <= source.size());
    if (n <= 0 || debut < 0 || static_cast<std::size_t>(debut) > source.size()) return 0;
    const auto depuis = source.subspan(static_cast<std::size_t>(debut));
    if (f > 0) return Decime(f, n, depuis, destination);
    if (f == 0) {
        const std::size_t k =
            std::min({static_cast<std::size_t>(n), depuis.size(), destination.size()});
        assert(k == static_cast<std::size_t>(n) && "Reechantillonne: copy does not fit");
        std::copy(depuis.begin(), depuis.begin() + k, destination.begin());
        return static_cast<int>(k);
    }
    const int b = -f;
    const int m = Interpole(b, (n >> b) + 2, depuis, destination);
    return std::min(n, m << b);
}

} // namespace dsp
