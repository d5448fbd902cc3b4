// Sample-rate changes by powers of two: half-band decimation stages and an 8-phase,
// 32-tap windowed-sinc interpolator, both windowed by a Blackman window of half-width 16.
//
// The tables are built once (InitFiltres, or the first use) and read-only afterwards, so every
// operation may run on any thread. No operation allocates. Every operation is told the sizes of its
// arrays: a request that does not fit is cut to what fits (and asserts in debug builds); nothing is
// read or written outside the spans.
#pragma once

#include <array>
#include <span>

namespace dsp {

struct TablesFiltres {
    // Half-band coefficients for the odd offsets x = 2j - 13 (j = 0..13) from the centre
    // sample; the centre coefficient is 1 and the even offsets are 0 (not stored).
    std::array<float, 14> FiltreDemiBande;
    // 1 / (1 + sum of FiltreDemiBande): DC gain 1.
    float GainDemiBande;
    // Row r - 1 holds the phase r = 1..7: entry k belongs to the offset x = k - 15 - r/8.
    std::array<std::array<float, 32>, 7> TableInterpolation;
};

// The tables, built on first use (thread-safe).
const TablesFiltres& Filtres();

// Builds the tables now rather than on first use.
void InitFiltres();

// Source samples that Decime(s, a) reads: outputs 0..a-1 are true filter outputs of
// those samples only, 2^s * a + 25 * (2^s - 1) of them.
int LongueurDecime(int s, int a);
// Largest a whose read fits n source samples (and n work samples); 0 if none.
int MaxDecime(int s, int n);

// s >= 1 half-band stages: destination[i] (0 <= i < a) is the decimated signal at source
// position 2^s * i + 13 * (2^s - 1). Reads LongueurDecime(s, a) samples of source and
// uses as many of destination as its work area. Returns the number of outputs written.
int Decime(int s, int a, std::span<const float> source, std::span<float> destination);

// Interpolation by F = 2^b (b = 1, 2, 3) of m source positions: destination[q*F + j]
// (0 <= j < F) is the signal at source position q + 16 + j/F. Reads source[0 .. m+31],
// writes m*F samples. Returns the number of source positions processed.
int Interpole(int b, int m, std::span<const float> source, std::span<float> destination);

// Dispatcher of the trace extraction, with a signed exponent f: f > 0 decimates
// (Decime(f, n)), f = 0 copies n samples, f < 0 interpolates (Interpole(-f, (n >> -f) + 2)),
// which yields at least n samples. Reads from source[debut]. Returns the number of valid
// output samples (n when the request fits).
int Reechantillonne(std::span<const float> source, int debut, std::span<float> destination, int n,
                    int f);

} // namespace dsp
