// What the sound tests read from captured samples and from the drivers' device tables.
#pragma once

#include "engine/Entrees.h"

#include <array>
#include <cstdint>
#include <string>

namespace essai {

// The frequency of a sine from its rising zero crossings (with some hysteresis), in Hz;
// 0 when fewer than three crossings were seen.
inline double FrequenceMesuree(const float* x, int n, double fe) {
    int premiere = -1, derniere = -1, passages = 0;
    bool bas = x[0] < 0;
    for (int i = 1; i < n; ++i) {
        if (x[i] < -500) bas = true;
        if (bas && x[i - 1] < 0 && x[i] >= 0) {
            bas = false;
            if (premiere < 0) premiere = i;
            derniere = i;
            ++passages;
        }
    }
    if (passages < 3) return 0;
    return (passages - 1) * fe / (derniere - premiere);
}

// The index of the device whose identifier is `identifiant` in a driver's table, or -2.
inline int32_t Indice(const std::array<std::string, engine::MaxEntrees + 1>& ids, int32_t nb,
                      const std::string& identifiant) {
    for (int32_t d = -1; d < nb; ++d)
        if (ids[engine::TablesEntrees::Indice(d)] == identifiant) return d;
    return -2;
}

} // namespace essai
