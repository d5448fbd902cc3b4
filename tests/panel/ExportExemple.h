// A dense export scene for the picture-export tests: the example scope widened to 2000
// columns, two sines of 2000 points, both cursor pairs with their readouts, the grid.
#pragma once

#include "display/ScopeExemple.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

namespace essais {

struct ExportExemple {
    ScopeExemple s;
    display::OptionsExport options;

    ExportExemple() {
        s.Stereo();
        s.vue.LargeurClient = 2000;
        s.etat->NbPoints = 2000;
        display::Calibrer(s.vue); // 0.01 s per division, 50 % per division
        for (int i = 0; i < 2000; ++i) {
            s.etat->Trace[0][i] = 0.5f - 0.4f * std::sin(static_cast<float>(i) * 0.031f);
            s.etat->Trace[1][i] = 0.5f - 0.3f * std::sin(static_cast<float>(i) * 0.057f);
        }
        s.vue.CurseursVerticaux1 = s.vue.CurseursHorizontaux1 = true;
        options.Grille = true;
        options.Curseurs = true;
        options.LabelH = "Dt=2,27 ms";
        options.LabelV = "Dx=10,0 %";
    }
};

// Runs a shell command; its standard output.
inline std::string Sortie(const std::string& commande) {
    std::string texte;
    FILE* tube = ::popen(commande.c_str(), "r");
    if (!tube) return texte;
    char tampon[4096];
    size_t n;
    while ((n = std::fread(tampon, 1, sizeof tampon, tube)) > 0)
        texte.append(tampon, n);
    ::pclose(tube);
    return texte;
}

inline uint32_t Mot32(const std::string& octets, size_t position) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | static_cast<unsigned char>(octets.at(position + static_cast<size_t>(i)));
    return v;
}
inline int32_t Entier32(const std::string& octets, size_t position) {
    return static_cast<int32_t>(Mot32(octets, position));
}
inline uint16_t Mot16(const std::string& octets, size_t position) {
    return static_cast<uint16_t>(static_cast<unsigned char>(octets.at(position)) |
                                 static_cast<unsigned char>(octets.at(position + 1)) << 8);
}

} // namespace essais
