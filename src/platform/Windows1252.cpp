#include "platform/Windows1252.h"

#include <array>
#include <cstdint>

namespace platform {
namespace {

// Code points of bytes 0x80 .. 0x9F; the unassigned ones map to themselves.
constexpr std::array<char32_t, 32> Plage80 = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Decodes one UTF-8 sequence at texte[i]; returns its length, 0 when invalid.
size_t DecodeUtf8(std::string_view texte, size_t i, char32_t& point) {
    const auto octet = [&](size_t k) { return static_cast<unsigned char>(texte[k]); };
    const unsigned char c = octet(i);
    if (c < 0x80) {
        point = c;
        return 1;
    }
    size_t longueur;
    char32_t minimum;
    if ((c & 0xE0) == 0xC0) {
        longueur = 2, minimum = 0x80, point = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        longueur = 3, minimum = 0x800, point = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        longueur = 4, minimum = 0x10000, point = c & 0x07;
    } else {
        return 0;
    }
    if (i + longueur > texte.size()) return 0;
    for (size_t k = 1; k < longueur; ++k) {
        if ((octet(i + k) & 0xC0) != 0x80) return 0;
        point = (point << 6) | (octet(i + k) & 0x3F);
    }
    if (point < minimum || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return 0;
    return longueur;
}

void AjouteUtf8(std::string& sortie, char32_t point) {
    if (point < 0x80) {
        sortie += static_cast<char>(point);
    } else if (point < 0x800) {
        sortie += static_cast<char>(0xC0 | (point >> 6));
        sortie += static_cast<char>(0x80 | (point & 0x3F));
    } else {
        sortie += static_cast<char>(0xE0 | (point >> 12));
        sortie += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        sortie += static_cast<char>(0x80 | (point & 0x3F));
    }
}

} // namespace

bool EstUtf8Valide(std::string_view texte) {
    char32_t point;
    for (size_t i = 0; i < texte.size();) {
        const size_t longueur = DecodeUtf8(texte, i, point);
        if (longueur == 0) return false;
        i += longueur;
    }
    return true;
}

bool VersWindows1252(std::string_view utf8, std::string& sortie) {
    sortie.clear();
    char32_t point;
    for (size_t i = 0; i < utf8.size();) {
        const size_t longueur = DecodeUtf8(utf8, i, point);
        if (longueur == 0) return false;
        i += longueur;
        if (point < 0x80 || (point >= 0xA0 && point <= 0xFF)) {
            sortie += static_cast<char>(point);
            continue;
        }
        size_t k = 0;
        while (k < Plage80.size() && Plage80[k] != point)
            ++k;
        if (k == Plage80.size()) return false;
        sortie += static_cast<char>(0x80 + k);
    }
    return true;
}

std::string DepuisWindows1252(std::string_view texte) {
    std::string sortie;
    sortie.reserve(texte.size() + texte.size() / 2);
    for (const char brut : texte) {
        const auto c = static_cast<unsigned char>(brut);
        AjouteUtf8(sortie, c >= 0x80 && c < 0xA0 ? Plage80[c - 0x80] : c);
    }
    return sortie;
}

unsigned char MinusculeWindows1252(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 0x20);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<unsigned char>(c + 0x20);
    switch (c) {
    case 0x8A:
        return 0x9A; // Š
    case 0x8C:
        return 0x9C; // Œ
    case 0x8E:
        return 0x9E; // Ž
    case 0x9F:
        return 0xFF; // Ÿ
    default:
        return c;
    }
}

} // namespace platform
