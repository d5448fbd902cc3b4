// The picture export without its windows: the export picture recorded once, the picture
// files made from it, the whole-or-nothing write of a file and the layout of a printed
// page. The menu commands (Export.h) add the dialogs, the clipboard and the printer.
// GUI thread, like the renderer it calls.
#pragma once

#include "display/ImageEnregistree.h"
#include "display/Rendu.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace panel {

// The picture settings of the export (section "Options").
struct ReglagesImage {
    bool Proportions = false; // print layout: false "Carré", true "Ajusté"
    bool Position = false;    // print orientation: false portrait, true landscape
    int32_t LargGraph = 150;  // saved picture, in millimetres
    int32_t HautGraph = 120;
};

// Title of the message boxes of the export.
inline constexpr const char* TitreExport = "Tamburella";

// Height of the recorded picture in logical units.
inline constexpr int32_t HauteurMetafichier = 2000;

// The export picture (black on the target's background, framed plot, labels, optional
// grid and cursors) recorded on w × h logical units.
display::ImageEnregistree ImageMetafichier(const display::VueScope& vue,
                                           const display::OptionsExport& options, int32_t w,
                                           int32_t h);

// Width of the saved picture for LargGraph × HautGraph mm: round(L / H × 2000), halves
// to even, so that w × 2000 has the proportions of the paper picture. Sizes below 1 mm
// count as 1.
int32_t LargeurMetafichier(int32_t LargGraph, int32_t HautGraph);

enum class FormatMetafichier { Emf, Wmf };

// The format a file name asks for: a placeable Windows metafile when its extension is
// ".wmf" in any letter case, an enhanced metafile for any other name (".emf", another
// extension or none).
FormatMetafichier FormatDuNom(std::string_view chemin);

// The file's bytes: the picture on LargGraph × HautGraph mm, as an enhanced metafile
// whose header holds the bounds (0, 0, w, 2000) and the frame (0, 0, L × 100, H × 100),
// or as a placeable metafile of that physical size. Empty if it could not be built.
std::string ContenuMetafichier(const display::ImageEnregistree& image, FormatMetafichier format,
                               int32_t LargGraph, int32_t HautGraph);

// Writes the file whole or not at all: through a temporary file beside it, renamed over
// the chosen name only once complete. False when it cannot be created or written, or
// when an existing file there is read-only; the chosen name is then left as it was.
bool EcritMetafichier(const std::string& chemin, std::string_view contenu);

// The message shown when a metafile cannot be written.
std::string MessageEcritureImpossible(const std::string& chemin);

// The folder part of a chosen file, remembered as "InitialMetaDir".
std::string DossierDuFichier(const std::string& chemin);

// Where the picture goes on a printed page. `largeurMm` × `hauteurMm` is the printable
// area, `largeurPixels` × `hauteurPixels` the same area in the printer's pixels.
struct MiseEnPage {
    int32_t w = HauteurMetafichier, h = HauteurMetafichier; // picture, logical units
    display::Rect cible;                                    // on the page, in pixels
};
// "Ajusté" (ajuste): a picture of the printable area's proportions over the whole area.
// "Carré": a 2000 × 2000 picture on the square of the smaller side at the top left.
MiseEnPage CalculeMiseEnPage(bool ajuste, double largeurMm, double hauteurMm, int32_t largeurPixels,
                             int32_t hauteurPixels);

} // namespace panel
