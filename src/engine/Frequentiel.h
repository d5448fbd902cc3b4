// Spectrum mode: the magnitude spectrum of the newest samples of each displayed channel,
// turned into one ordinate per screen column in `Trace` (0 top edge, 1 bottom edge, a
// magnitude of PleineEchelleCopie / 2 on the top edge; linear, no averaging).
//
// Thread contract: CalculeSpectre and AfficheSpectre run on the acquisition thread or on
// the GUI thread (refresh while paused); ReinitTFR on the GUI thread. All three take the
// engine lock (EtatScope::VerrouMoteur) for their whole run, so the point count cannot
// change between reading it and the transform, and no spectrum overlaps an extraction.
// Nothing here allocates.
#pragma once

#include "engine/Parametres.h"

#include <cstdint>

namespace engine {

// Point counts the spectrum arrays support: 2^4 .. 2^11 (SpectreModules holds 2048 bins).
inline constexpr int ExposantMinTFR = 4;
inline constexpr int ExposantMaxTFR = 11;

// Rebuilds the FFT tables (dsp::InitTFR) for window `fenetre` (0..4) and N = 2^exposant
// under the engine lock. Returns false, changing nothing, outside the supported ranges.
bool ReinitTFR(EtatScope& etat, int fenetre, int exposant);

// Spectra of the channels of MasqueCanaux (channel 0 only in mono) for a width W
// (brought within 1 .. LargeurMax), at h = EchelleF, s = SurEchTFR, P = DecalageF:
// resamples N recent samples by 2^-h into Echelles, transforms them into SpectreModules
// (bins -16..-1 mirroring N-16..N-1), sets NbPoints = M = min(N/2 * 2^s, W) and runs
// AfficheSpectre. TraceValide = true, or false when TailleTFR is outside 2^4 .. 2^11.
void CalculeSpectre(EtatScope& etat, const ReglagesAffichage& reglages, int32_t W);

// Ordinates of channel `canal` from its stored SpectreModules: M points (brought within
// 0 .. min(N/2 * 2^s, LargeurMax)) from the oversampled bin D = DebutSpectre, magnitudes
// interpolated by 2^s between bins; sets SurEchCopie and DebutSpectre. Point k stands for
// the frequency (D + k) * Fe / (N * 2^(h + s)). Ordinates are 1 - 2 * magnitude / V,
// brought up to -1 (NaN included).
void AfficheSpectre(EtatScope& etat, const ReglagesAffichage& reglages, int canal, int32_t M);

} // namespace engine
