#include "platform/Locale.h"

#include <atomic>
#include <clocale>

namespace platform {
namespace {
std::atomic<char> impose{'\0'};
}

char SeparateurDecimal() {
    const char c = impose.load(std::memory_order_relaxed);
    if (c != '\0') return c;
    const std::lconv* conventions = std::localeconv();
    const char* point = conventions ? conventions->decimal_point : nullptr;
    return point && point[0] != '\0' ? point[0] : '.';
}

void ImposeSeparateurDecimal(char separateur) {
    impose.store(separateur, std::memory_order_relaxed);
}

} // namespace platform
