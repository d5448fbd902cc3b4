#include "compiler/Routines.h"

#include "compiler/X87.h"

#include <cfenv>
#include <cmath>

namespace compiler {

std::atomic<uint8_t> ErreurFormule{0};

const std::array<ConstanteNommee, NbConstantes> Constantes = {{
    {"E", 2.718281828},
    {"PI", 3.141592653589793},
}};

const std::array<FonctionEnLigne, NbFonctionsEnLigne> FonctionsEnLigne = {{
    {"ABS", 2, {0xD9, 0xE1}},                              // fabs
    {"RACINE", 2, {0xD9, 0xFA}},                           // fsqrt
    {"TAN", 4, {0xD9, 0xFB, 0xDE, 0xF9}},                  // fsincos; fdivp
    {"COTAN", 4, {0xD9, 0xFB, 0xDE, 0xF1}},                // fsincos; fdivrp
    {"ARCTAN", 4, {0xD9, 0xE8, 0xD9, 0xF3}},               // fld1; fpatan
    {"ARCCOTAN", 6, {0xD9, 0xE8, 0xD9, 0xC9, 0xD9, 0xF3}}, // fld1; fxch; fpatan
    {"ARR", 2, {0xD9, 0xFC}},                              // frndint
    {"SIN", 2, {0xD9, 0xFE}},                              // fsin
    {"COS", 2, {0xD9, 0xFF}},                              // fcos
    {"CARRE", 2, {0xDC, 0xC8}},                            // fmul st(0), st(0)
}};

const std::array<FonctionAppelee, NbFonctionsAppelees> FonctionsAppelees = {{
    {"ARCCH", ArcCh}, {"ARCCOS", ArcCos}, {"ARCSH", ArcSh}, {"ARCSIN", ArcSin},   {"ARCTH", ArcTh},
    {"CH", Ch},       {"ENT", Ent},       {"EXP", Exp},     {"FRAC", Frac},       {"LN", Ln},
    {"SH", Sh},       {"TANB", TanB},     {"TH", Th},       {"COTH", Coth},       {"U", U},
    {"RECT", Rect},   {"TRI", Tri},       {"P", P},         {"ARCCOTH", ArcCoth},
}};

void InitCompilateur() {
#if defined(__x86_64__) || defined(__i386__)
    asm volatile("fninit");
#endif
    std::feclearexcept(FE_ALL_EXCEPT);
    ErreurFormule = 0;
}

namespace {

constexpr long double PiSur2 = PiX87 / 2;

// The two internal helpers of the routines: their argument is a 64-bit float like any
// routine's, their result stays in x87 precision.
long double Carre(double x) {
    return static_cast<long double>(x) * x;
}
long double Racine(double x) {
    return Fsqrt(x);
}

// fldln2; fyl2x.
long double LnX87(long double x) {
    return Fyl2x(x, Ln2X87);
}

// 2^t for any t: t = i + f with i the nearest integer, 2^f from f2xm1 rounded to a
// 64-bit float, then i added into that float's exponent field.
double DeuxPuissance(long double t) {
    if (std::isnan(t)) return NonNombre;
    if (std::isinf(t)) return t > 0 ? PlusInfini : 0.0;
    const long double i = Frndint(t);
    const double r = static_cast<double>(F2xm1(t - i) + 1);
    const uint64_t bits = std::bit_cast<uint64_t>(r);
    const long double n = i + static_cast<long double>((bits >> 52) & 0x7FF);
    if (n >= 2047) return PlusInfini;
    if (n <= 0) {
        // Below the normal range the exponent field cannot hold the result: let the
        // subnormals (and finally 0) come out instead of a wrong bit pattern.
        const long double borne = i < -4000 ? -4000 : i;
        return std::ldexp(r, static_cast<int>(borne));
    }
    const uint64_t champ = static_cast<uint64_t>(n) << 52;
    return std::bit_cast<double>((bits & ~(uint64_t{0x7FF} << 52)) | champ);
}

} // namespace

double ArcSin(double x) {
    if (std::fabs(x) <= 0.7)
        return static_cast<double>(Fpatan(x / Racine(static_cast<double>(1 - Carre(x))), 1));
    return static_cast<double>(PiSur2 - ArcCos(x));
}

double ArcCos(double x) {
    if (std::fabs(x) < 0.7) return static_cast<double>(PiSur2 - ArcSin(x));
    if (std::fabs(x) > 1) return NonNombre;
    const long double a = Fpatan(Racine(static_cast<double>(1 / Carre(x) - 1)), 1);
    return static_cast<double>(x > 0 ? a : PiX87 - a);
}

double ArcCh(double x) {
    if (!(x >= 1)) return NonNombre;
    const long double s = Racine(static_cast<double>(1 - 1 / Carre(x)));
    return static_cast<double>(LnX87((static_cast<long double>(x) / 2) * (1 + s)) + Ln2X87);
}

double ArcSh(double x) {
    if (std::fabs(x) < 1)
        return static_cast<double>(LnX87(x + Racine(static_cast<double>(Carre(x) + 1))));
    const long double queue = LnX87(1 + Racine(static_cast<double>(1 / Carre(x) + 1)));
    if (x >= 1) return static_cast<double>(queue + LnX87(x));
    if (x <= -1) return static_cast<double>(-LnX87(-static_cast<long double>(x)) - queue);
    return NonNombre;
}

double ArcTh(double x) {
    if (x == 1) return PlusInfini;
    const long double y = x;
    return static_cast<double>(LnX87((1 + y) / (1 - y)) / 2);
}

double ArcCoth(double x) {
    if (x == 1) return PlusInfini;
    if (std::isinf(x)) return x > 0 ? 0.0 : -0.0; // the quotient below would be infinity / infinity
    const long double y = x;
    return static_cast<double>(LnX87((y + 1) / (y - 1)) / 2);
}

double Ch(double x) {
    const long double y = Exp(x);
    return static_cast<double>((y + 1 / y) / 2);
}

double Sh(double x) {
    const long double y = Exp(x);
    return static_cast<double>((y - 1 / y) / 2);
}

double Th(double x) {
    const long double a = Carre(Exp(x));
    if (std::isinf(a)) return 1.0; // e^x overflowed: (a - 1)/(a + 1) would be NaN, the limit is 1
    return static_cast<double>((a - 1) / (a + 1));
}

double Coth(double x) {
    const long double a = Carre(Exp(x));
    if (std::isinf(a)) return 1.0;
    return static_cast<double>((a + 1) / (a - 1));
}

double Exp(double x) {
    return DeuxPuissance(x * Log2eX87);
}

double Ln(double x) {
    return static_cast<double>(LnX87(x));
}

double TanB(double x) {
    return static_cast<double>(Fptan(x) / 1);
}

double Ent(double x) {
    return std::floor(x);
}

double Frac(double x) {
    return static_cast<double>(x - static_cast<long double>(std::floor(x)));
}

double P(double x) {
    return static_cast<double>(x - Frndint(x));
}

double U(double x) {
    return x >= 0 ? 1.0 : 0.0;
}

double Rect(double x) {
    return std::fabs(x) > 0.5 ? 0.0 : 1.0;
}

double Tri(double x) {
    return std::fabs(x) <= 0.5 ? static_cast<double>(1 - 2 * std::fabs(static_cast<long double>(x)))
                               : 0.0;
}

double Puissance(double x, double y) {
    if (x == 0) {
        if (y > 0) return 0.0;
        if (y == 0) return 1.0;
        if (y < 0) return PlusInfini;
        return NonNombre;
    }
    if (std::floor(y) == y) {
        // Integer exponents beyond 64 bits (and the infinities) are even: |x|^y.
        if (!(std::fabs(y) < 9223372036854775808.0)) return DeuxPuissance(Fyl2x(std::fabs(x), y));
        const int64_t n = static_cast<int64_t>(y);
        if (n == 0) return 1.0;
        long double b = x;
        uint64_t m = static_cast<uint64_t>(n);
        if (n < 0) {
            b = static_cast<double>(1 / b);
            m = static_cast<uint64_t>(-n);
        }
        long double resultat = 1;
        for (;;) {
            if (m & 1) resultat *= b;
            m >>= 1;
            if (m == 0) break;
            b *= b;
        }
        return static_cast<double>(resultat);
    }
    if (x > 0) return DeuxPuissance(Fyl2x(x, y));
    return NonNombre;
}

} // namespace compiler
