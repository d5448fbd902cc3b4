#include "panel/ImageExport.h"

#include "display/CanevasMetafichier.h"
#include "platform/Fichiers.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <mutex>

namespace panel {
namespace {

int32_t Arrondi(double x) {
    if (!(x > -1e9)) return -1000000000;
    if (x > 1e9) return 1000000000;
    return static_cast<int32_t>(std::lrint(x)); // halves to even
}

} // namespace

display::ImageEnregistree ImageMetafichier(const display::VueScope& vue,
                                           const display::OptionsExport& options, int32_t w,
                                           int32_t h) {
    display::ImageEnregistree image(w, h);
    // While capture runs, the acquisition thread may be extracting the next frame into
    // the arrays the export reads.
    std::lock_guard verrou(vue.Etat.VerrouMoteur);
    display::DessinerExport(vue, image, image.Largeur(), image.Hauteur(), options);
    return image;
}

int32_t LargeurMetafichier(int32_t LargGraph, int32_t HautGraph) {
    const double L = std::max(LargGraph, 1), H = std::max(HautGraph, 1);
    return std::max(1, Arrondi(L / H * HauteurMetafichier));
}

FormatMetafichier FormatDuNom(std::string_view chemin) {
    const size_t barre = chemin.find_last_of('/');
    const std::string_view nom =
        barre == std::string_view::npos ? chemin : chemin.substr(barre + 1);
    const size_t point = nom.find_last_of('.');
    if (point == std::string_view::npos) return FormatMetafichier::Emf;
    std::string extension(nom.substr(point));
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension == ".wmf" ? FormatMetafichier::Wmf : FormatMetafichier::Emf;
}

std::string ContenuMetafichier(const display::ImageEnregistree& image, FormatMetafichier format,
                               int32_t LargGraph, int32_t HautGraph) {
    // Hundredths of a millimetre.
    const platform::CadreMeta cadre{std::max(LargGraph, 1) * 100, std::max(HautGraph, 1) * 100};
    return format == FormatMetafichier::Wmf ? display::EnWmf(image, cadre)
                                            : display::EnEmf(image, cadre);
}

bool EcritMetafichier(const std::string& chemin, std::string_view contenu) {
    if (chemin.empty() || contenu.empty() || platform::EcritureRefusee(chemin.c_str()))
        return false;
    const std::string temporaire = platform::NomTemporaire(chemin);
    return platform::RemplaceFichier(chemin.c_str(), temporaire.c_str(), contenu, true);
}

std::string MessageEcritureImpossible(const std::string& chemin) {
    return "Impossible d'enregistrer le métafichier\r" + chemin;
}

std::string DossierDuFichier(const std::string& chemin) {
    const size_t barre = chemin.find_last_of('/');
    if (barre == std::string::npos) return {};
    return barre == 0 ? "/" : chemin.substr(0, barre);
}

MiseEnPage CalculeMiseEnPage(bool ajuste, double largeurMm, double hauteurMm, int32_t largeurPixels,
                             int32_t hauteurPixels) {
    MiseEnPage page;
    if (!(largeurMm > 0) || !(hauteurMm > 0) || largeurPixels <= 0 || hauteurPixels <= 0)
        return page; // no printable area: an empty target
    if (ajuste) {
        page.w = std::max(1, Arrondi(largeurMm * HauteurMetafichier / hauteurMm));
        page.cible = {0, 0, largeurPixels, hauteurPixels};
        return page;
    }
    const double s = std::min(largeurMm, hauteurMm);
    const double px = largeurPixels / largeurMm, py = hauteurPixels / hauteurMm;
    page.cible = {0, 0, Arrondi(s * px), Arrondi(s * py)};
    return page;
}

} // namespace panel
