// Numbers as the readouts and the picture labels show them: the locale's decimal
// separator, a leading "-" for negative values, halves rounded away from zero on the
// exact decimal digits of the value (rounded once, at the digit asked for). Any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// floor(log10 |v|), the logarithm taken as ln |v| / ln 10 in extended precision and
// rounded to a 32-bit float before the floor, so that exact powers of ten fall on their
// own decade (1000 gives 3). Zero, infinities and NaN have no decade: they give 0.
int32_t ExposantDecimal(double v);

// Fixed notation with `decimales` digits after the separator (0 .. 18) and at most
// `precision` significant digits (clamped to 2 .. 18); digits beyond the precision are
// zeros. A value with more integer digits than the precision is written by
// FormatGeneral(v, precision) instead. A value that rounds to zero has no sign.
// FormatFixe(22.676, 4, 2) = "22,68"; FormatFixe(123.4, 3, 1) = "123,0".
std::string FormatFixe(double v, int precision, int decimales);

// The shortest of fixed and scientific notation at `precision` significant digits
// (clamped to 2 .. 18), trailing zeros removed, the separator only when a fraction
// remains. Fixed notation while the integer digits fit the precision and
// |v| >= 0.00001; otherwise d,ddE±n, the exponent signed and of at least
// `chiffresExposant` digits (held within 0 .. 4). FormatGeneral(0.5, 3) = "0,5";
// FormatGeneral(1.234e-6, 3) = "1,23E-6"; FormatGeneral(22050, 4, 2) = "2,205E+04".
std::string FormatGeneral(double v, int precision, int chiffresExposant = 0);

// A number as the user types it: an optional sign, digits with `separateur` (or a point)
// as decimal separator, an optional exponent, blanks around it allowed. False for any
// other text and for values beyond the long double range.
bool LitNombre(std::string_view texte, char separateur, long double& valeur);

} // namespace platform
