// Integer rounding shared by the extraction and the spectrum.
#pragma once

#include <cstdint>

namespace engine {

// num / den rounded to the nearest integer, halves to even; num >= 0, den > 0. Exact,
// where a floating-point quotient such as 100 / 500.0 would only come close to a half.
constexpr int64_t QuotientArrondi(int64_t num, int64_t den) {
    const int64_t q = num / den;
    const int64_t r2 = 2 * (num % den);
    if (r2 > den || (r2 == den && (q & 1) != 0)) return q + 1;
    return q;
}

} // namespace engine
