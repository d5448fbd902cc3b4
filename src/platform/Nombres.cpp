#include "platform/Nombres.h"

#include "platform/Locale.h"
#include "platform/Texte.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace platform {
namespace {

// Digits kept from the value: one more than the largest precision, so that rounding at
// any precision sees the exact digit after the last one it keeps.
constexpr int ChiffresSignificatifs = 19;
// A double's exact decimal expansion has at most 767 significant digits.
constexpr int ChiffresExacts = 767;

// |v| = 0.c1c2…cn · 10^exposant, the digits exact (truncated, never rounded), with no
// trailing zero; n = 0 for zero.
struct Decimal {
    bool negatif = false;
    char chiffres[ChiffresSignificatifs + 1] = {};
    int n = 0;
    int exposant = 0;
};

Decimal Decompose(double v) {
    Decimal d;
    d.negatif = std::signbit(v);
    if (v == 0.0) return d;
    // "d.ddd…e±x" with every digit of the binary value, so that the rounding below
    // happens once, on the exact digits (rounding to fewer digits here first would round
    // twice). Locale-independent.
    char texte[ChiffresExacts + 16];
    const auto fin = std::to_chars(texte, texte + sizeof texte, std::fabs(v),
                                   std::chars_format::scientific, ChiffresExacts - 1);
    const char* p = texte;
    for (; p < fin.ptr && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9' && d.n < ChiffresSignificatifs) d.chiffres[d.n++] = *p;
    int puissance = 0;
    if (p < fin.ptr) std::from_chars(p + (p[1] == '+' ? 2 : 1), fin.ptr, puissance);
    d.exposant = puissance + 1;
    while (d.n > 0 && d.chiffres[d.n - 1] == '0')
        --d.n;
    return d;
}

// Keeps k significant digits, rounding half away from zero; k <= 0 rounds at the digit
// before the first one (k < 0: always to zero).
void Arrondit(Decimal& d, int k) {
    if (k >= d.n) return;
    if (k < 0) {
        d.n = 0;
        return;
    }
    const bool plus = d.chiffres[k] >= '5';
    d.n = k;
    if (plus) {
        int i = k - 1;
        while (i >= 0 && d.chiffres[i] == '9')
            --i;
        if (i < 0) {
            d.chiffres[0] = '1';
            d.n = 1;
            ++d.exposant;
            return;
        }
        ++d.chiffres[i];
        d.n = i + 1;
    }
    while (d.n > 0 && d.chiffres[d.n - 1] == '0')
        --d.n;
}

// Digit of weight 10^(exposant - 1 - j), '0' outside the kept digits.
char Chiffre(const Decimal& d, int j) {
    return j >= 0 && j < d.n ? d.chiffres[j] : '0';
}

void AjouteEntier(std::string& s, const Decimal& d) {
    if (d.exposant <= 0) {
        s += '0';
        return;
    }
    for (int j = 0; j < d.exposant; ++j)
        s += Chiffre(d, j);
}

std::string NonFini(double v) {
    if (std::isnan(v)) return "nan";
    return v < 0 ? "-inf" : "inf";
}

} // namespace

int32_t ExposantDecimal(double v) {
    const long double a = std::fabs(static_cast<long double>(v));
    if (!(a > 0) || !std::isfinite(a)) return 0;
    const float l = static_cast<float>(std::log(a) * (1.0L / std::log(10.0L)));
    return static_cast<int32_t>(std::floor(l));
}

std::string FormatFixe(double v, int precision, int decimales) {
    if (!std::isfinite(v)) return NonFini(v);
    precision = std::clamp(precision, 2, 18);
    decimales = std::clamp(decimales, 0, 18);
    Decimal d = Decompose(v);
    if (d.n > 0) Arrondit(d, std::min(precision, d.exposant + decimales));
    if (d.n > 0 && d.exposant > precision) return FormatGeneral(v, precision);
    std::string s;
    if (d.negatif && d.n > 0) s += '-';
    AjouteEntier(s, d);
    if (decimales > 0) {
        s += SeparateurDecimal();
        for (int k = 1; k <= decimales; ++k)
            s += Chiffre(d, d.exposant - 1 + k);
    }
    return s;
}

std::string FormatGeneral(double v, int precision, int chiffresExposant) {
    if (!std::isfinite(v)) return NonFini(v);
    precision = std::clamp(precision, 2, 18);
    Decimal d = Decompose(v);
    Arrondit(d, precision);
    if (d.n == 0) return "0";
    std::string s;
    if (d.negatif) s += '-';
    if (d.exposant <= precision && std::fabs(v) >= 0.00001) {
        AjouteEntier(s, d);
        if (d.n > d.exposant) {
            s += SeparateurDecimal();
            for (int j = d.exposant; j < d.n; ++j)
                s += Chiffre(d, j);
        }
        return s;
    }
    s += d.chiffres[0];
    if (d.n > 1) {
        s += SeparateurDecimal();
        s.append(d.chiffres + 1, d.chiffres + d.n);
    }
    // The exponent always signed, with at least the minimum width: "2,205E+04". The
    // width is held within 0 .. 4: no exponent has more than three digits.
    const int puissance = d.exposant - 1;
    s += 'E';
    s += puissance < 0 ? '-' : '+';
    std::string chiffres = std::to_string(std::abs(puissance));
    const auto largeur = static_cast<size_t>(std::clamp(chiffresExposant, 0, 4));
    if (chiffres.size() < largeur) chiffres.insert(0, largeur - chiffres.size(), '0');
    return s + chiffres;
}

bool LitNombre(std::string_view texte, char separateur, long double& valeur) {
    texte = SansBlancs(texte);
    char c[96];
    if (texte.empty() || texte.size() >= sizeof c) return false;
    size_t i = 0, k = 0;
    const auto chiffres = [&] {
        const size_t debut = i;
        while (i < texte.size() && texte[i] >= '0' && texte[i] <= '9')
            c[k++] = texte[i++];
        return i - debut;
    };
    if (texte[i] == '-')
        c[k++] = texte[i++];
    else if (texte[i] == '+')
        ++i; // from_chars takes no "+"
    size_t mantisse = chiffres();
    if (i < texte.size() && (texte[i] == separateur || texte[i] == '.')) {
        c[k++] = '.';
        ++i;
        mantisse += chiffres();
    }
    if (mantisse == 0) return false;
    if (i < texte.size() && (texte[i] == 'e' || texte[i] == 'E')) {
        c[k++] = 'e';
        ++i;
        if (i < texte.size() && (texte[i] == '+' || texte[i] == '-')) c[k++] = texte[i++];
        if (chiffres() == 0) return false;
    }
    if (i != texte.size()) return false;
    long double v;
    const auto [fin, erreur] = std::from_chars(c, c + k, v);
    if (erreur != std::errc() || fin != c + k || !std::isfinite(v)) return false;
    valeur = v;
    return true;
}

} // namespace platform
