// Arbitrary text typed into the dialogs' integer fields: never a crash, and an accepted
// value reads back the same from its decimal text.
#include "platform/Saisie.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* donnees, size_t taille) {
    const std::string_view texte(reinterpret_cast<const char*>(donnees), taille);
    int32_t v = 0;
    if (platform::LitEntierSaisi(texte, v)) {
        int32_t relu = 0;
        if (!platform::LitEntierSaisi(std::to_string(v), relu) || relu != v) std::abort();
    }
    return 0;
}
