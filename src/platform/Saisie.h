// Integers typed in the dialogs' fields (sampling rates, graph sizes). Any thread.
#pragma once

#include <cstdint>
#include <string_view>

namespace platform {

// [blanks] [sign] decimal digits [blanks], or hexadecimal after "$" or "0x" / "0X", within
// the 32-bit signed range. False for any other text, the empty text included.
bool LitEntierSaisi(std::string_view texte, int32_t& valeur);

} // namespace platform
