// For tests: the transform through a chosen set of kernels, with or without the
// real-input shortcut. Every combination must give SpectreTFR's results bit for bit.
#pragma once

#include "dsp/Clones.h"

namespace dsp {

void SpectreTFRVariante(JeuInstructions jeu, bool reel, float* echantillons, float* modules);

} // namespace dsp
