// Arbitrary bytes as the code of a record. The interpreter must refuse what it does not
// know and run the rest to completion. Bits of the first byte put the routine's prologue
// in front and its epilogue behind, so that mutations start from plausible code.

#include "compiler/Compilateur.h"

#include <algorithm>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* donnees, size_t taille) {
    if (taille == 0) return 0;
    compiler::fonction f;
    f.Code.fill(0xC3);
    std::size_t n = 0;
    const auto ajoute = [&](const uint8_t* octets, std::size_t nombre) {
        nombre = std::min(nombre, f.Code.size() - n);
        std::copy(octets, octets + nombre, f.Code.begin() + static_cast<std::ptrdiff_t>(n));
        n += nombre;
    };
    constexpr uint8_t Prologue[] = {0x55, 0x89, 0xE5};
    constexpr uint8_t Epilogue[] = {0x5D, 0xC2, 0x08, 0x00};
    if (donnees[0] & 1) ajoute(Prologue, sizeof Prologue);
    ajoute(donnees + 1, taille - 1);
    if (donnees[0] & 2) ajoute(Epilogue, sizeof Epilogue);
    for (int k = 0; k < compiler::CapaciteLitteraux; ++k) {
        f.Reels[k] = 0.5 * k - 3;
        f.Entiers[k] = k - 7;
    }
    if (compiler::PrepareFonction(f))
        for (double x : {0.0, 1.0, -2.5, 1e308})
            (void)compiler::AppelleFonction(x, f);
    return 0;
}
