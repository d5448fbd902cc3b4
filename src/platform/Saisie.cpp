#include "platform/Saisie.h"

#include "platform/Texte.h"

#include <charconv>
#include <limits>

namespace platform {

bool LitEntierSaisi(std::string_view texte, int32_t& valeur) {
    texte = SansBlancs(texte);
    bool negatif = false;
    if (!texte.empty() && (texte.front() == '-' || texte.front() == '+')) {
        negatif = texte.front() == '-';
        texte.remove_prefix(1);
    }
    int base = 10;
    if (texte.starts_with('$')) {
        base = 16;
        texte.remove_prefix(1);
    } else if (texte.size() > 2 && (texte.starts_with("0x") || texte.starts_with("0X"))) {
        base = 16;
        texte.remove_prefix(2);
    }
    // from_chars would take a second sign.
    if (texte.empty() || texte.front() == '-' || texte.front() == '+') return false;
    uint64_t absolu = 0;
    const auto [fin, erreur] =
        std::from_chars(texte.data(), texte.data() + texte.size(), absolu, base);
    if (erreur != std::errc{} || fin != texte.data() + texte.size()) return false;
    const uint64_t limite = negatif ? uint64_t{1} << 31 : std::numeric_limits<int32_t>::max();
    if (absolu > limite) return false;
    valeur = negatif ? static_cast<int32_t>(-static_cast<int64_t>(absolu))
                     : static_cast<int32_t>(absolu);
    return true;
}

} // namespace platform
