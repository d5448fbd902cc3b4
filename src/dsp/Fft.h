// Windowed magnitude spectra by an iterative radix-2 FFT.
//
// The tables (twiddle factors, normalised window, point count) are process-wide and
// fixed-capacity; InitTFR rebuilds them, SpectreTFR uses them. Both take the same
// lock, so a transform always sees one consistent set of tables, whichever threads
// call them. The transform allocates nothing.
#pragma once

#include <array>
#include <cstdint>

namespace dsp {

// Largest point count the tables hold.
inline constexpr int CapaciteTFR = 8192;

struct Complexe {
    float re;
    float im;
};

// One window of the catalogue: coefficient for the centred index a (-n/2 <= a < n/2)
// of an n-point block, before normalisation, and the name shown in the "Fenêtre" menu.
struct FenetreTFR {
    float (*Coefficient)(int a, int n);
    const char* Nom;
};

inline constexpr int NbFenetresTFR = 5;
// "Blackmann", "Hamming", "Hanning", "Rectangulaire", "Triangulaire", in menu order.
extern const std::array<FenetreTFR, NbFenetresTFR> FenetresTFR;

// Current N (a power of two). Any thread.
int32_t TailleTFR();

// Rebuilds the tables for window `fenetre` (0..4) and N = 2^exposant (0..13).
// Returns false, and changes nothing, for arguments outside those ranges.
// Any thread; waits for a transform in progress.
bool InitTFR(int fenetre, int exposant);

// Windows echantillons[0..N-1] in place (the caller's samples are replaced by the
// windowed values), transforms them and writes the N magnitudes into modules[0..N-1].
// Bin N-k mirrors bin k for real input. Any thread; waits for a rebuild in progress.
void SpectreTFR(float* echantillons, float* modules);

// Copies of the current tables, for inspection (entries 0..N/2-1 and 0..N-1 valid).
void CopieRacinesTFR(std::array<Complexe, CapaciteTFR>& racines);
void CopieCoefFenetre(std::array<float, CapaciteTFR>& coefficients);

} // namespace dsp
