// The trace renderer: the screen picture (black, dark-red 1-2-5 grid, white left and
// yellow right traces, cursors, trigger marker) and the export picture (black on the
// canvas's background, framed plot, ticks, labels with SI prefixes, titles, cursor
// readouts), both from the engine's trace arrays and the axis calibration.
//
// Thread contract: GUI thread only. The acquisition thread reaches Dessiner through its
// blocking hand-over, so the trace arrays are never written while they are drawn.
#pragma once

#include "display/Canevas.h"
#include "engine/Parametres.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace display {

inline constexpr Couleur Noir{0, 0, 0};
inline constexpr Couleur CouleurGrille{128, 0, 0};
inline constexpr Couleur CouleurGauche{255, 255, 255};
inline constexpr Couleur CouleurDroite{255, 255, 0};
inline constexpr Couleur CouleurCurseursVerticaux{255, 0, 0};
inline constexpr Couleur CouleurCurseursHorizontaux{0, 176, 0};
inline constexpr Couleur CouleurMarqueur{0, 255, 0};

inline constexpr std::string_view TitreProduit = "Tamburella v0.88";

// What the renderer reads of the scope window and of the control window.
struct VueScope {
    engine::EtatScope& Etat;
    const engine::ReglagesAffichage& Affichage;
    const engine::ReglagesEntree& Entree;
    ImageMemoire* Image = nullptr; // the screen picture; none while the window has none
    int32_t LargeurClient = 1;     // of the scope window
    int32_t HauteurClient = 1;
    bool CurseursVerticaux1 = false; // cursor pairs shown (menu check marks)
    bool CurseursHorizontaux1 = false;
};

// The export's picture options and the readouts it repeats.
struct OptionsExport {
    bool Grille = false;
    bool Curseurs = false;
    std::string_view LabelH; // captions of the control window's readouts
    std::string_view LabelV;
};

// 10^n.
double PuissanceDix(int32_t n);

// Prefix of the unit for the exponent group g = floor(exponent / 3): "µ", "m", " ",
// "k", "M", and p, n / G, T beyond; "10^3g " outside p .. T.
std::string PrefixeSI(int32_t g);

// Trace points across the picture: in signal mode the client width, within what one
// extraction gives at the time scale (engine::LargeurMaxExtraction: 2000, 1268 at
// EchelleT = 3); in spectrum mode the client width.
int32_t PointsTrace(const VueScope& vue);
// Picture columns per trace point: 1, or more in signal mode when the window is wider
// than PointsTrace. A wider window then shows the same trace stretched across its whole
// width; the calibration, the marker, the readouts and the export follow the same factor.
double PixelsParPoint(const VueScope& vue);

// Axis spans and grid steps (UniteX, EtendueX, EtendueY, PasX, PasY) for the current
// client width, rate, scales and mode: about 3 to 7.5 divisions of 1, 2 or 5 · 10^k.
void Calibrer(VueScope& vue);

// The frame: grid, traces, cursors and trigger marker into the picture.
void Dessiner(VueScope& vue);
// Grid and traces into the picture (no cursors).
void DessinerImage(VueScope& vue);
// Black background and grid: centred in signal mode, from the bottom-left corner in
// spectrum mode.
void DessinerGrille(const VueScope& vue, Canevas& canevas);
// The shown cursor pairs; in spectrum mode cursor 1 of each pair only.
void DessinerCurseurs(const VueScope& vue, Canevas& canevas);
// An 11-pixel cross at the trigger point and level, in the triggered signal modes when
// the trigger channel is drawn.
void DessinerMarqueur(const VueScope& vue, Canevas& canevas, int32_t hauteurImage);
// Copies the picture onto the window's canvas.
void Presenter(const VueScope& vue, Canevas& fenetre);

// The export picture on a canvas of w × h units.
void DessinerExport(const VueScope& vue, Canevas& canevas, int32_t w, int32_t h,
                    const OptionsExport& options);
// The cursors of the export on the plot at (L, T), PW × PH, p plot units per trace point.
void DessinerCurseursExport(const VueScope& vue, Canevas& canevas, int32_t L, double p, int32_t PH,
                            int32_t PW, int32_t T);

} // namespace display
