// The x87 instructions that compiled formulas and the math run-time name, on long double.
//
// On x86 they are the processor's own instructions (inline assembly), so results are
// exactly the x87 ones and far cheaper than the C library's long double functions.
// Elsewhere they fall back on the C library with the same contracts. All are pure and
// reentrant; they never change the control word. TAMBURELLA_X87_PORTABLE forces the
// fallback.
#pragma once

#include <cmath>
#include <limits>

namespace compiler {

// The x87 constants (fldpi, fldln2, fldl2e) under round-to-nearest.
inline constexpr long double PiX87 = 3.14159265358979323846264338327950288L;
inline constexpr long double Ln2X87 = 0.693147180559945309417232121458176568L;
inline constexpr long double Log2eX87 = 1.44269504088896340735992468100189214L;

// fsincos and fptan leave a finite operand of magnitude 2^63 or more unreduced and push
// nothing; our callers always expect the pushed pair, so that case yields NaN instead.
inline constexpr long double LimiteReductionX87 = 9223372036854775808.0L; // 2^63

#if (defined(__x86_64__) || defined(__i386__)) && !defined(TAMBURELLA_X87_PORTABLE)

// fsin: a finite operand of magnitude 2^63 or more comes back unchanged.
inline long double Fsin(long double x) {
    asm("fsin" : "+t"(x));
    return x;
}
inline long double Fcos(long double x) {
    asm("fcos" : "+t"(x));
    return x;
}
inline long double Fsqrt(long double x) {
    asm("fsqrt" : "+t"(x));
    return x;
}
// Nearest integer, ties to even (the rounding in force, which we never change).
inline long double Frndint(long double x) {
    asm("frndint" : "+t"(x));
    return x;
}
// 2^x - 1 for -1 <= x <= 1.
inline long double F2xm1(long double x) {
    asm("f2xm1" : "+t"(x));
    return x;
}
// y * log2(x).
inline long double Fyl2x(long double x, long double y) {
    long double r;
    asm("fyl2x" : "=t"(r) : "0"(x), "u"(y) : "st(1)");
    return r;
}
// The angle of the point (x, y): arctan(y / x) in the quadrant of (x, y).
inline long double Fpatan(long double y, long double x) {
    long double r;
    asm("fpatan" : "=t"(r) : "0"(x), "u"(y) : "st(1)");
    return r;
}
inline void Fsincos(long double x, long double& sinus, long double& cosinus) {
    if (!(std::fabs(x) < LimiteReductionX87)) {
        // Infinities and NaN give NaN on the processor too.
        sinus = cosinus = std::numeric_limits<long double>::quiet_NaN();
        return;
    }
    asm("fsincos" : "=t"(cosinus), "=u"(sinus) : "0"(x));
}
// fptan's tangent (the 1 it pushes above it is dropped).
inline long double Fptan(long double x) {
    if (!(std::fabs(x) < LimiteReductionX87)) return std::numeric_limits<long double>::quiet_NaN();
    long double un, tangente;
    asm("fptan" : "=t"(un), "=u"(tangente) : "0"(x));
    (void)un;
    return tangente;
}

#else

inline long double Fsin(long double x) {
    return std::isfinite(x) && std::fabs(x) >= LimiteReductionX87 ? x : std::sin(x);
}
inline long double Fcos(long double x) {
    return std::isfinite(x) && std::fabs(x) >= LimiteReductionX87 ? x : std::cos(x);
}
inline long double Fsqrt(long double x) {
    return std::sqrt(x);
}
inline long double Frndint(long double x) {
    return std::nearbyint(x);
}
inline long double F2xm1(long double x) {
    return std::expm1(x * Ln2X87);
}
inline long double Fyl2x(long double x, long double y) {
    return y * std::log2(x);
}
inline long double Fpatan(long double y, long double x) {
    return std::atan2(y, x);
}
inline void Fsincos(long double x, long double& sinus, long double& cosinus) {
    if (!(std::fabs(x) < LimiteReductionX87)) {
        sinus = cosinus = std::numeric_limits<long double>::quiet_NaN();
        return;
    }
    sinus = std::sin(x);
    cosinus = std::cos(x);
}
inline long double Fptan(long double x) {
    if (!(std::fabs(x) < LimiteReductionX87)) return std::numeric_limits<long double>::quiet_NaN();
    return std::tan(x);
}

#endif

} // namespace compiler
