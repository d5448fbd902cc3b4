// The math run-time of compiled formulas: named constants, inline functions (x87 bytes
// copied into the code), called functions (routines reached by "call"), the power
// routine behind "^", and the unit's initialisation.
//
// Every routine takes a 64-bit float, computes in x87 precision and returns its result
// rounded to a 64-bit float. None reports an error: outside its domain a routine returns
// PlusInfini, -infinity or NaN. All are pure and reentrant (any thread).
#pragma once

#include <array>
#include <atomic>
#include <bit>
#include <cstdint>
#include <string_view>

namespace compiler {

inline constexpr double PlusInfini = std::bit_cast<double>(uint64_t{0x7FF0000000000000});
inline constexpr double NonNombre = std::bit_cast<double>(uint64_t{0xFFF8000000000000});

// Set by EvalueConstante when its text is not a valid constant expression.
extern std::atomic<uint8_t> ErreurFormule;

// Resets the calling thread's x87 unit (exceptions masked, 64-bit mantissa, rounding to
// nearest) and clears ErreurFormule. Call once at start-up, from the interface thread.
void InitCompilateur();

// Named constants, in search order. "E" is this decimal exactly, not the full e.
struct ConstanteNommee {
    std::string_view Nom;
    double Valeur;
};
inline constexpr int NbConstantes = 2;
extern const std::array<ConstanteNommee, NbConstantes> Constantes;

// Inline functions: the argument is in st(0) and the result replaces it.
struct FonctionEnLigne {
    std::string_view Nom;
    uint8_t Longueur;
    std::array<uint8_t, 6> Octets;
};
inline constexpr int NbFonctionsEnLigne = 10;
extern const std::array<FonctionEnLigne, NbFonctionsEnLigne> FonctionsEnLigne;

// Called functions, in search order.
struct FonctionAppelee {
    std::string_view Nom;
    double (*Routine)(double x);
};
inline constexpr int NbFonctionsAppelees = 19;
extern const std::array<FonctionAppelee, NbFonctionsAppelees> FonctionsAppelees;

double ArcCh(double x);
double ArcCos(double x);
double ArcSh(double x);
double ArcSin(double x);
double ArcTh(double x);
double Ch(double x);
double Ent(double x);
double Exp(double x);
double Frac(double x);
double Ln(double x);
double Sh(double x);
double TanB(double x);
double Th(double x);
double Coth(double x);
double U(double x);
double Rect(double x);
double Tri(double x);
double P(double x);
double ArcCoth(double x);

// x^y: integer exponents by repeated squaring (exact for small powers), others through
// 2^(y*log2 x) for x > 0; NaN for a negative base with a non-integer exponent.
double Puissance(double x, double y);

} // namespace compiler
