#include "panel/Mesures.h"

#include "platform/Nombres.h"

#include <algorithm>
#include <cmath>

namespace panel {
namespace {
// texte + unite; appending sidesteps a false -Wrestrict of g++ 12 on "literal" + string.
std::string Colle(std::string texte, std::string_view unite) {
    texte += unite;
    return texte;
}
} // namespace

using platform::ExposantDecimal;
using platform::FormatFixe;
using platform::FormatGeneral;

std::string FormatEchelle(int n, double x) {
    if (x == 0) return "0";
    const int e = ExposantDecimal(x);
    const char* prefixe = "";
    int d = e + 1 - n;
    if (e + 1 > 3) {
        x *= 0.001;
        prefixe = "k";
        d -= 3;
    } else if (e + 1 < 0) {
        x *= 1000;
        prefixe = "m";
        d += 3;
    }
    return FormatGeneral(x, n, d < 0 ? -d : 0) + " " + prefixe;
}

std::string FormatMesure(std::string_view unite, float nombre, float pas) {
    if (nombre == 0) return Colle("0", unite);
    int r = ExposantDecimal(pas);
    float v = nombre * pas;
    int i = ExposantDecimal(v) + 1;
    std::string prefixe;
    if (i > 3) {
        v = static_cast<float>(v * 0.001);
        r -= 3;
        i -= 3;
        prefixe = "k";
    } else if (i <= -1) {
        v = static_cast<float>(v * 1000.0);
        r += 3;
        i += 3;
        prefixe = "m";
    }
    const int decimales = r < 0 ? -r : 0;
    return FormatFixe(v, i + decimales, decimales) + " " + prefixe + std::string(unite);
}

float EnDecibels(float v, float pas) {
    return static_cast<float>(20.0 * std::log10(static_cast<double>(v) * pas * 0.01));
}

std::string FormatDecibels(std::string_view unite, float nombre, float pas) {
    if (nombre == 0) return Colle("-inf ", unite);
    const float n = std::fabs(nombre);
    const float unPixel = EnDecibels(n + 1, pas) - EnDecibels(n, pas);
    const int r = ExposantDecimal(unPixel);
    const float c = EnDecibels(n, pas);
    // 0 dB has no decade: one integer digit, "0", and the decimals of the step.
    const int i = ExposantDecimal(c) + 1;
    const int decimales = r < 0 ? -r : 0;
    return FormatFixe(c, i + decimales, decimales) + " " + std::string(unite);
}

std::string TexteNiveauDecl(int32_t NiveauDecl) {
    return FormatFixe(NiveauDecl * PourcentParUnite, 3, 1) + " %";
}

std::string TexteFreqRafraich(float frequence) {
    return FormatFixe(frequence, 6, 1) + " Hz";
}

Legendes LegendesMesures(const EntreesMesures& e) {
    Legendes l;
    if (e.CurseursVerticaux && !e.Spectre)
        l.LabelH = "Dt=" + FormatMesure("s", static_cast<float>(e.Xcurs2 - e.Xcurs1),
                                        static_cast<float>(e.FacteurT / e.FeCourante));
    else if (e.CurseursVerticaux)
        l.LabelH =
            "f=" + FormatMesure("Hz", static_cast<float>(e.Xcurs1 + e.DebutSpectre),
                                static_cast<float>(e.FeCourante / (e.TailleTFR * e.FacteurF)));
    else
        l.LabelH = FormatEchelle(3, e.PasX) + (e.Spectre ? "Hz/c" : "s/c");

    // A minimised window has no client height; one pixel keeps the steps finite.
    const int32_t h = std::max(e.HauteurClient, 1);
    const float pas =
        static_cast<float>((e.Spectre ? 1 : 2) * e.PleineEchelle * PourcentParUnite / h);
    const float nombre = static_cast<float>(e.Spectre ? h - 1 - e.Ycurs1 : e.Ycurs2 - e.Ycurs1);
    const char* titre = e.Spectre ? "x=" : "Dx=";
    if (!e.CurseursHorizontaux)
        l.LabelV = FormatEchelle(3, e.PasY) + "%/c";
    else if (e.Decibels)
        l.LabelV = titre + FormatDecibels("dB", nombre, pas);
    else
        l.LabelV = titre + FormatMesure("%", nombre, pas);
    return l;
}

} // namespace panel
