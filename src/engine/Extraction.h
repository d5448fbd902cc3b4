// Trace extraction: picks the stretch of `Bruts` to show (newest samples, best match
// with the previous picture, or latest level crossing), resamples it by 2^EchelleT into
// `Echelles` and normalises it into `Trace`.
//
// Thread contract: Extraire and Normaliser run on the acquisition thread (once per frame)
// or on the GUI thread (refresh while paused). Each takes the engine lock
// (EtatScope::VerrouMoteur) for its whole run, so two extractions or spectra never
// overlap; the single-shot stop is requested after the lock is released. ChercherFront
// and Correler are pure and may run anywhere. Nothing here allocates.
#pragma once

#include "engine/InterfaceGui.h"
#include "engine/Parametres.h"
#include "engine/Pilote.h"

#include <cstdint>
#include <span>

namespace engine {

// Largest trace width whose reads stay within `Bruts` and `Echelles` at time-scale
// exponent e (-3 .. 3): 1268 at e = 3, LargeurMax otherwise. Extraire clips wider
// requests to it, so NbPoints can be smaller than the window.
int32_t LargeurMaxExtraction(int32_t e);

// Latest crossing of `niveau` before x[debut]: the largest j, 1 <= j < debut, with x[j]
// before the level and x[j + 1] at or past it, "before" meaning (v - niveau) * sens < 0.
// Returns that j (the last sample before the crossing), 0 if there is none. debut is
// brought within x.
int32_t ChercherFront(float niveau, int32_t sens, int32_t debut, std::span<const float> x);

// Lag k in 1 .. n at which x[k ..] best matches ref[0 .. n-1]: the largest sum of
// ref[i] * x[k + i], each sum taken in double precision over the pairs
// (n-2, n-1), (n-4, n-3), .. from the top (for odd n, i = 0 is left out), pair by pair in
// that order. Among equal sums the smallest lag wins; 0 if every sum is below -1e30
// (or NaN). n is bounded by ref.size() and x.size() / 2.
int32_t Correler(int32_t n, std::span<const float> ref, std::span<const float> x);

// Trace[c][i] for i < NbPoints: the point Echelles[c][DebutTrace + i - PosDecl] on the
// screen scale (0 top edge, 1 bottom edge, DeplaceXCopie hundredths of the height
// lower), clamped to -1 .. 2; NaN becomes -1.
void Normaliser(EtatScope& etat, int canal);

// One frame's trace of width W (brought within 1 .. LargeurMaxExtraction(EchelleT)).
// Free path unless TypeSynchro >= "Déclenchement" and ThreadActive; the triggered path
// rejects a frame without a new usable crossing (TraceValide = false, arrays kept). In
// "Décl. Unique", an accepted crossing after more than 20480 captured samples stops the
// driver (pilote.Arreter) and asks the GUI for the paused look (gui.ArretUnique).
void Extraire(EtatScope& etat, const ReglagesAffichage& reglages, int32_t W, PiloteCapture& pilote,
              InterfaceGui& gui);

} // namespace engine
