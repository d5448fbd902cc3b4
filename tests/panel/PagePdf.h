// What a printed PDF shows: its page count and size (pdfinfo) and where the ink lies on
// its first page (pdftoppm), in millimetres from the page's top left corner.
#pragma once

#include "panel/ExportExemple.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace essais {

struct PagePdf {
    int pages = 0;
    double largeurMm = 0, hauteurMm = 0;
    // Ink bounding box; gauche > droite when the page is blank.
    double gauche = 1e9, haut = 1e9, droite = -1e9, bas = -1e9;
};

inline PagePdf LitPdf(const std::string& pdf, const std::string& dossier) {
    PagePdf page;
    const std::string info = Sortie("pdfinfo '" + pdf + "' 2>/dev/null");
    std::istringstream lignes(info);
    for (std::string ligne; std::getline(lignes, ligne);) {
        if (ligne.rfind("Pages:", 0) == 0) page.pages = std::atoi(ligne.c_str() + 6);
        if (ligne.rfind("Page size:", 0) == 0) {
            double l = 0, h = 0;
            std::sscanf(ligne.c_str() + 10, " %lf x %lf", &l, &h);
            page.largeurMm = l * 25.4 / 72, page.hauteurMm = h * 25.4 / 72;
        }
    }
    // 100 dpi grey levels of the first page.
    const std::string base = dossier + "/page";
    if (std::system(
            ("pdftoppm -r 100 -gray -f 1 -l 1 -singlefile '" + pdf + "' '" + base + "' 2>/dev/null")
                .c_str()) != 0)
        return page;
    std::ifstream flux(base + ".pgm", std::ios::binary);
    std::string magique;
    int w = 0, h = 0, max = 0;
    flux >> magique >> w >> h >> max;
    flux.get();
    const std::string pixels{std::istreambuf_iterator<char>(flux),
                             std::istreambuf_iterator<char>()};
    if (magique != "P5" || pixels.size() < static_cast<size_t>(w) * h) return page;
    const double mm = 25.4 / 100;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (static_cast<unsigned char>(pixels[static_cast<size_t>(y) * w + x]) < 128) {
                page.gauche = std::min(page.gauche, x * mm);
                page.droite = std::max(page.droite, (x + 1) * mm);
                page.haut = std::min(page.haut, y * mm);
                page.bas = std::max(page.bas, (y + 1) * mm);
            }
    return page;
}

} // namespace essais
