#include "dsp/Clones.h"

namespace dsp {

JeuInstructions JeuDisponible() {
#if TAMBURELLA_VARIANTES
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
        __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512dq"))
        return JeuInstructions::V4;
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") &&
        __builtin_cpu_supports("bmi2"))
        return JeuInstructions::V3;
#endif
    return JeuInstructions::Base;
}

} // namespace dsp
