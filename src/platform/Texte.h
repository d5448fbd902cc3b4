// Small text helpers shared by the file readers.
#pragma once

#include <string_view>

namespace platform {

// The text without its leading and trailing blanks and tabs.
inline std::string_view SansBlancs(std::string_view texte) {
    const auto blanc = [](char c) { return c == ' ' || c == '\t'; };
    while (!texte.empty() && blanc(texte.front()))
        texte.remove_prefix(1);
    while (!texte.empty() && blanc(texte.back()))
        texte.remove_suffix(1);
    return texte;
}

} // namespace platform
