#include "platform/Metafichier.h"

#include "platform/Windows1252.h"

#include <uwmf.h> // includes uemf.h

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <type_traits>

namespace platform {
namespace {

// Polylines longer than this are cut into pieces that share their end points: WMF
// counts points in 16 bits.
constexpr int32_t MaxPointsParPolyligne = 8192;

const int16_t AvancesPolices[8][191] = {
#include "platform/MetriquesPolices.inc"
};

U_COLORREF Couleur(CouleurMeta c) {
    return colorref3_set(c.r, c.g, c.b);
}

template <class T>
void Ecrit(std::string& octets, size_t position, T valeur) {
    std::memcpy(octets.data() + position, &valeur, sizeof valeur);
}

// UTF-8 to code points; a byte that starts no valid sequence stands for U+FFFD.
void DecodeUtf8(std::string_view texte, std::u32string& sortie) {
    sortie.clear();
    size_t i = 0;
    while (i < texte.size()) {
        const auto octet = [&](size_t k) { return static_cast<unsigned char>(texte[k]); };
        const unsigned char c = octet(i);
        int suite = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        char32_t point = suite == 0 ? c : suite == 1 ? c & 0x1F : suite == 2 ? c & 0x0F : c & 0x07;
        bool valide = suite >= 0 && i + static_cast<size_t>(suite) < texte.size();
        for (int k = 1; valide && k <= suite; ++k) {
            const unsigned char s = octet(i + static_cast<size_t>(k));
            valide = (s & 0xC0) == 0x80;
            point = (point << 6) | (s & 0x3F);
        }
        static constexpr char32_t Minimum[] = {0, 0x80, 0x800, 0x10000};
        valide = valide && point >= Minimum[suite] && point <= 0x10FFFF &&
                 !(point >= 0xD800 && point <= 0xDFFF);
        if (!valide) {
            sortie.push_back(0xFFFD);
            ++i;
            continue;
        }
        if (point != 0) sortie.push_back(point); // a NUL would end the text early
        i += static_cast<size_t>(suite) + 1;
    }
}

bool Contient(std::string_view nom, std::string_view mot) {
    return std::search(nom.begin(), nom.end(), mot.begin(), mot.end(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == b;
           }) != nom.end();
}

int32_t Arrondi(double x) {
    if (!(x > -2e9)) return -2000000000;
    if (x > 2e9) return 2000000000;
    return static_cast<int32_t>(std::lrint(x));
}

} // namespace

CadreMeta CadreEcran(int32_t largeur, int32_t hauteur) {
    return {Arrondi(largeur * 2540.0 / 96.0), Arrondi(hauteur * 2540.0 / 96.0)};
}

int32_t AvanceCaractere(std::string_view police, uint32_t style, char32_t c) {
    if (Contient(police, "courier") || Contient(police, "mono")) return 1229;
    int indice;
    if (c >= 0x20 && c <= 0x7E)
        indice = static_cast<int>(c) - 0x20;
    else if (c >= 0xA0 && c <= 0xFF)
        indice = 95 + static_cast<int>(c) - 0xA0;
    else
        return 1139; // the width of a digit
    const bool serif =
        (Contient(police, "times") || Contient(police, "serif")) && !Contient(police, "sans");
    const int variante =
        (serif ? 4 : 0) + ((style & PoliceGrasse) ? 1 : 0) + ((style & PoliceItalique) ? 2 : 0);
    return AvancesPolices[variante][indice];
}

// ---------------------------------------------------------------------------------------
// Recording state, common to both formats.

Metafichier::Metafichier(int32_t largeur, int32_t hauteur, int premierObjet)
    : largeur_(std::max(largeur, 1)), hauteur_(std::max(hauteur, 1)), premierObjet_(premierObjet) {
    octets_.reserve(64 * 1024);
}

bool Metafichier::Ajoute(char* enregistrement) {
    if (!enregistrement) {
        echec_ = true;
        return false;
    }
    if (echec_) {
        std::free(enregistrement);
        return false;
    }
    const uint32_t taille = Taille(enregistrement);
    octets_.append(enregistrement, taille);
    std::free(enregistrement);
    ++enregistrements_;
    plusGrand_ = std::max(plusGrand_, taille);
    return true;
}

int Metafichier::Alloue() {
    for (int i = premierObjet_; i < MaxObjets; ++i)
        if (!occupe_[static_cast<size_t>(i)]) {
            occupe_[static_cast<size_t>(i)] = true;
            pic_ = std::max(pic_, i + 1);
            return i;
        }
    return -1;
}

void Metafichier::Libere(int indice) {
    if (indice >= 0 && indice < MaxObjets) occupe_[static_cast<size_t>(indice)] = false;
}

template <class Etat>
void Metafichier::Choisit(Objet<Etat> Contexte::*membre, const Etat& voulu) {
    Objet<Etat>& actif = actif_.*membre;
    if (actif.indice >= 0 && actif.etat == voulu) return;
    const int indice = Alloue();
    if (indice < 0) {
        echec_ = true;
        return;
    }
    char* creation;
    if constexpr (std::is_same_v<Etat, EtatStylo>)
        creation = CreeStylo(indice, voulu);
    else if constexpr (std::is_same_v<Etat, EtatBrosse>)
        creation = CreeBrosse(indice, voulu);
    else
        creation = CreePolice(indice, voulu);
    if (!Ajoute(creation) || !Ajoute(Selectionne(indice))) return;
    const int ancien = actif.indice;
    actif = {voulu, indice};
    // The object selected when the clipping began comes back with its end: keep it.
    if (ancien >= 0 && !(decoupe_ && (sauve_.*membre).indice == ancien)) {
        Ajoute(Supprime(ancien));
        Libere(ancien);
    }
}

void Metafichier::ChoisitMelange(MelangeMeta melange) {
    if (actif_.melangeConnu && actif_.melange == melange) return;
    if (!Ajoute(EcritMelange(melange))) return;
    actif_.melange = melange;
    actif_.melangeConnu = true;
}

void Metafichier::Stylo(CouleurMeta couleur, int32_t largeur, TraitMeta trait) {
    stylo_ = {couleur, std::max(largeur, 0), trait};
}

void Metafichier::Melange(MelangeMeta melange) {
    melange_ = melange;
}

void Metafichier::Brosse(CouleurMeta couleur, bool creuse) {
    brosse_ = {couleur, creuse};
}

void Metafichier::Police(std::string_view nom, int32_t hauteur, uint32_t style) {
    police_.nom.assign(nom);
    police_.hauteur = std::max(hauteur, 1);
    police_.style = style;
}

void Metafichier::CouleurTexte(CouleurMeta couleur) {
    couleurTexte_ = couleur;
}

void Metafichier::Ancrage(AncrageMeta ancrage) {
    ancrage_ = ancrage;
}

void Metafichier::DeplacerVers(int32_t x, int32_t y) {
    position_ = {x, y};
}

void Metafichier::LigneVers(int32_t x, int32_t y) {
    Choisit(&Contexte::stylo, stylo_);
    ChoisitMelange(melange_);
    // A line drawn with the position the device already holds needs no move.
    if (!(positionConnue_ && positionDevice_.x == position_.x && positionDevice_.y == position_.y))
        Ajoute(EcritDeplacement(position_.x, position_.y));
    Ajoute(EcritLigne(x, y));
    position_ = positionDevice_ = {x, y};
    positionConnue_ = true;
}

void Metafichier::Polyligne(const PointMeta* points, int32_t nombre) {
    if (!points || nombre < 2) return;
    Choisit(&Contexte::stylo, stylo_);
    ChoisitMelange(melange_);
    for (int32_t debut = 0; debut < nombre - 1; debut += MaxPointsParPolyligne - 1)
        Ajoute(EcritPolyligne(points + debut, std::min(MaxPointsParPolyligne, nombre - debut)));
}

void Metafichier::Rectangle(const RectMeta& r) {
    Choisit(&Contexte::stylo, stylo_);
    Choisit(&Contexte::brosse, brosse_);
    ChoisitMelange(melange_);
    Ajoute(EcritRectangle(r));
}

void Metafichier::Remplir(const RectMeta& r) {
    Choisit(&Contexte::stylo, EtatStylo{{}, 0, TraitMeta::Aucun});
    Choisit(&Contexte::brosse, EtatBrosse{brosse_.couleur, false});
    ChoisitMelange(MelangeMeta::Copie);
    // Without a pen the system fills one unit less on the right and at the bottom.
    Ajoute(EcritRectangle({r.gauche, r.haut, r.droite + 1, r.bas + 1}));
}

void Metafichier::Texte(int32_t x, int32_t y, std::string_view texte) {
    DecodeUtf8(texte, texte_);
    if (texte_.empty()) return;
    Choisit(&Contexte::police, police_);
    if (!actif_.couleurTexteConnue || !(actif_.couleurTexte == couleurTexte_)) {
        if (!Ajoute(EcritCouleurTexte(couleurTexte_))) return;
        actif_.couleurTexte = couleurTexte_;
        actif_.couleurTexteConnue = true;
    }
    if (!actif_.ancrageConnu || actif_.ancrage != ancrage_) {
        if (!Ajoute(EcritAncrage(ancrage_))) return;
        actif_.ancrage = ancrage_;
        actif_.ancrageConnu = true;
    }
    Ajoute(EcritTexte(x, y, texte_, actif_.police.etat));
}

void Metafichier::Decouper(const RectMeta& r) {
    if (decoupe_) Restaure();
    if (!Ajoute(EcritSauvegarde())) return;
    sauve_ = actif_;
    decoupe_ = true;
    Ajoute(EcritDecoupe(r));
}

void Metafichier::SansDecoupe() {
    if (decoupe_) Restaure();
}

void Metafichier::Restaure() {
    Ajoute(EcritRestauration());
    decoupe_ = false;
    // The objects made during the clipping are no longer selected: delete them.
    const int sauves[] = {sauve_.stylo.indice, sauve_.brosse.indice, sauve_.police.indice};
    const int actifs[] = {actif_.stylo.indice, actif_.brosse.indice, actif_.police.indice};
    for (int k = 0; k < 3; ++k)
        if (actifs[k] >= 0 && actifs[k] != sauves[k]) {
            Ajoute(Supprime(actifs[k]));
            Libere(actifs[k]);
        }
    actif_ = sauve_;
    positionConnue_ = false; // the device's position came back too
}

std::string Metafichier::Termine() {
    if (termine_) return {};
    termine_ = true;
    if (decoupe_) Restaure();
    if (echec_ || !Finalise() || echec_) return {};
    return std::move(octets_);
}

// ---------------------------------------------------------------------------------------
// Enhanced metafile.

MetafichierEmf::MetafichierEmf(int32_t largeur, int32_t hauteur, CadreMeta cadre)
    : Metafichier(largeur, hauteur, 1), cadre_{std::max(cadre.largeur, 1),
                                               std::max(cadre.hauteur, 1)} {
    // Application name and picture name, each ended by a NUL, and a final NUL.
    static constexpr std::string_view Description = "Tamburella\0Signal de l'oscilloscope\0\0";
    std::vector<uint16_t> description(Description.begin(), Description.end());
    const U_RECTL bornes{0, 0, Largeur(), Hauteur()};
    const U_RECTL cadreEnregistre{0, 0, cadre_.largeur, cadre_.hauteur};
    const U_SIZEL millimetres{std::max(1, Arrondi(cadre_.largeur / 100.0)),
                              std::max(1, Arrondi(cadre_.hauteur / 100.0))};
    if (!Ajoute(U_EMRHEADER_set(bornes, cadreEnregistre, nullptr,
                                static_cast<U_CBSTR>(description.size()), description.data(),
                                U_SIZEL{Largeur(), Hauteur()}, millimetres, 0)))
        return;
    Ecrit(Octets(), offsetof(U_EMRHEADER, szlMicrometers),
          U_SIZEL{cadre_.largeur * 10, cadre_.hauteur * 10});
    Ajoute(U_EMRSETBKMODE_set(U_TRANSPARENT));
}

uint32_t MetafichierEmf::Taille(const char* enregistrement) const {
    uint32_t taille;
    std::memcpy(&taille, enregistrement + offsetof(U_EMR, nSize), sizeof taille);
    return taille;
}

char* MetafichierEmf::CreeStylo(int indice, const EtatStylo& stylo) {
    const auto style = static_cast<uint32_t>(stylo.trait);
    const auto ih = static_cast<uint32_t>(indice);
    if (stylo.largeur == 0 || stylo.trait == TraitMeta::Aucun)
        return U_EMRCREATEPEN_set(
            ih, logpen_set(style, point32_set(stylo.largeur, 0), Couleur(stylo.couleur)));
    // Geometric, so that its width and dashes scale with the picture.
    PU_EXTLOGPEN elp = extlogpen_set(U_PS_GEOMETRIC | style | U_PS_ENDCAP_ROUND | U_PS_JOIN_ROUND,
                                     static_cast<uint32_t>(stylo.largeur), U_BS_SOLID,
                                     Couleur(stylo.couleur), 0, 0, nullptr);
    if (!elp) return nullptr;
    char* enregistrement = U_EMREXTCREATEPEN_set(ih, nullptr, 0, nullptr, elp);
    std::free(elp);
    return enregistrement;
}

char* MetafichierEmf::CreeBrosse(int indice, const EtatBrosse& brosse) {
    return U_EMRCREATEBRUSHINDIRECT_set(
        static_cast<uint32_t>(indice),
        logbrush_set(brosse.creuse ? U_BS_NULL : U_BS_SOLID, Couleur(brosse.couleur), 0));
}

char* MetafichierEmf::CreePolice(int indice, const EtatPolice& police) {
    uint16_t nom[U_LF_FACESIZE] = {};
    std::u32string points;
    DecodeUtf8(police.nom, points);
    for (size_t i = 0; i < points.size() && i + 1 < U_LF_FACESIZE; ++i)
        nom[i] = points[i] <= 0xFFFF ? static_cast<uint16_t>(points[i]) : u'?';
    U_LOGFONT lf = logfont_set(
        -police.hauteur, 0, 0, 0, (police.style & PoliceGrasse) ? U_FW_BOLD : U_FW_NORMAL,
        (police.style & PoliceItalique) ? 1 : 0, (police.style & PoliceSoulignee) ? 1 : 0, 0,
        U_ANSI_CHARSET, 0, 0, 0, 0, nom);
    return U_EMREXTCREATEFONTINDIRECTW_set(static_cast<uint32_t>(indice),
                                           reinterpret_cast<const char*>(&lf), nullptr);
}

char* MetafichierEmf::Selectionne(int indice) {
    return U_EMRSELECTOBJECT_set(static_cast<uint32_t>(indice));
}

char* MetafichierEmf::Supprime(int indice) {
    return U_EMRDELETEOBJECT_set(static_cast<uint32_t>(indice));
}

char* MetafichierEmf::EcritMelange(MelangeMeta melange) {
    return U_EMRSETROP2_set(static_cast<uint32_t>(melange));
}

char* MetafichierEmf::EcritCouleurTexte(CouleurMeta couleur) {
    return U_EMRSETTEXTCOLOR_set(Couleur(couleur));
}

char* MetafichierEmf::EcritAncrage(AncrageMeta ancrage) {
    return U_EMRSETTEXTALIGN_set(static_cast<uint32_t>(ancrage));
}

char* MetafichierEmf::EcritDeplacement(int32_t x, int32_t y) {
    return U_EMRMOVETOEX_set(point32_set(x, y));
}

char* MetafichierEmf::EcritLigne(int32_t x, int32_t y) {
    return U_EMRLINETO_set(point32_set(x, y));
}

char* MetafichierEmf::EcritPolyligne(const PointMeta* points, int32_t nombre) {
    U_RECTL bornes{points[0].x, points[0].y, points[0].x, points[0].y};
    bool court = true;
    for (int32_t i = 0; i < nombre; ++i) {
        const PointMeta p = points[i];
        bornes.left = std::min(bornes.left, p.x);
        bornes.top = std::min(bornes.top, p.y);
        bornes.right = std::max(bornes.right, p.x);
        bornes.bottom = std::max(bornes.bottom, p.y);
        court =
            court && p.x >= INT16_MIN && p.x <= INT16_MAX && p.y >= INT16_MIN && p.y <= INT16_MAX;
    }
    const auto n = static_cast<uint32_t>(nombre);
    if (court) {
        // The 16-bit form, half the size, whenever the points allow it.
        std::vector<U_POINT16> points16(static_cast<size_t>(nombre));
        for (int32_t i = 0; i < nombre; ++i)
            points16[static_cast<size_t>(i)] =
                point16_set(static_cast<int16_t>(points[i].x), static_cast<int16_t>(points[i].y));
        return U_EMRPOLYLINE16_set(bornes, n, points16.data());
    }
    std::vector<U_POINTL> points32(static_cast<size_t>(nombre));
    for (int32_t i = 0; i < nombre; ++i)
        points32[static_cast<size_t>(i)] = point32_set(points[i].x, points[i].y);
    return U_EMRPOLYLINE_set(bornes, n, points32.data());
}

char* MetafichierEmf::EcritRectangle(const RectMeta& r) {
    return U_EMRRECTANGLE_set(U_RECTL{r.gauche, r.haut, r.droite, r.bas});
}

char* MetafichierEmf::EcritTexte(int32_t x, int32_t y, std::u32string_view texte,
                                 const EtatPolice& police) {
    // UTF-16 with the advance of every unit, so that readers that place each character
    // themselves space them as the font does; the running sum is rounded, not each step.
    utf16_.clear();
    dx_.clear();
    int64_t somme = 0;
    int32_t avant = 0;
    for (char32_t c : texte) {
        somme += AvanceCaractere(police.nom, police.style, c);
        const auto apres =
            static_cast<int32_t>(std::lrint(static_cast<double>(somme) * police.hauteur / 2048.0));
        if (c > 0xFFFF) {
            utf16_.push_back(static_cast<uint16_t>(0xD800 + ((c - 0x10000) >> 10)));
            utf16_.push_back(static_cast<uint16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
            dx_.push_back(static_cast<uint32_t>(apres - avant));
            dx_.push_back(0);
        } else {
            utf16_.push_back(static_cast<uint16_t>(c));
            dx_.push_back(static_cast<uint32_t>(apres - avant));
        }
        avant = apres;
    }
    char* texteEmr = emrtext_set(point32_set(x, y), static_cast<U_NUM_STR>(utf16_.size()), 2,
                                 utf16_.data(), 0, U_RECTL{0, 0, -1, -1}, dx_.data());
    if (!texteEmr) return nullptr;
    // Hundredths of a millimetre per logical unit, as the compatible text mode states them.
    const auto echelleX = static_cast<U_FLOAT>(static_cast<double>(cadre_.largeur) / Largeur());
    const auto echelleY = static_cast<U_FLOAT>(static_cast<double>(cadre_.hauteur) / Hauteur());
    char* enregistrement = U_EMREXTTEXTOUTW_set(U_RECTL{0, 0, -1, -1}, U_GM_COMPATIBLE, echelleX,
                                                echelleY, reinterpret_cast<PU_EMRTEXT>(texteEmr));
    std::free(texteEmr);
    return enregistrement;
}

char* MetafichierEmf::EcritSauvegarde() {
    return U_EMRSAVEDC_set();
}

char* MetafichierEmf::EcritRestauration() {
    return U_EMRRESTOREDC_set(-1);
}

char* MetafichierEmf::EcritDecoupe(const RectMeta& r) {
    return U_EMRINTERSECTCLIPRECT_set(U_RECTL{r.gauche, r.haut, r.droite, r.bas});
}

bool MetafichierEmf::Finalise() {
    EMFTRACK suivi{};
    if (!Ajoute(U_EMREOF_set(0, nullptr, &suivi))) return false;
    std::string& octets = Octets();
    if (octets.size() > std::numeric_limits<uint32_t>::max()) return false;
    Ecrit(octets, offsetof(U_EMRHEADER, nBytes), static_cast<uint32_t>(octets.size()));
    Ecrit(octets, offsetof(U_EMRHEADER, nRecords), NombreEnregistrements());
    Ecrit(octets, offsetof(U_EMRHEADER, nHandles), static_cast<uint16_t>(std::max(PicObjets(), 1)));
    return true;
}

// ---------------------------------------------------------------------------------------
// Placeable Windows metafile.

namespace {
constexpr size_t TailleEntetePlacable = 22;
constexpr size_t TailleEnteteWmf = 18;
} // namespace

MetafichierWmf::MetafichierWmf(int32_t largeur, int32_t hauteur, CadreMeta cadre)
    : Metafichier(largeur, hauteur, 0) {
    const double cadreL = std::max(cadre.largeur, 1), cadreH = std::max(cadre.hauteur, 1);
    // Hundredths of a millimetre (2540 units per inch) while they fit 16 bits.
    const double plusGrand = std::max(cadreL, cadreH);
    pouce_ = plusGrand <= INT16_MAX
                 ? 2540
                 : static_cast<uint16_t>(std::max(1.0, std::floor(INT16_MAX * 2540.0 / plusGrand)));
    etendueX_ =
        static_cast<int16_t>(std::clamp<int32_t>(Arrondi(cadreL * pouce_ / 2540.0), 1, INT16_MAX));
    etendueY_ =
        static_cast<int16_t>(std::clamp<int32_t>(Arrondi(cadreH * pouce_ / 2540.0), 1, INT16_MAX));
    echelleX_ = static_cast<double>(etendueX_) / Largeur();
    echelleY_ = static_cast<double>(etendueY_) / Hauteur();
    // Both headers are completed by Finalise.
    Octets().assign(TailleEntetePlacable + TailleEnteteWmf, '\0');
    Ajoute(U_WMRSETWINDOWORG_set(point16_set(0, 0)));
    Ajoute(U_WMRSETWINDOWEXT_set(point16_set(etendueX_, etendueY_)));
    Ajoute(U_WMRSETBKMODE_set(U_TRANSPARENT));
}

uint32_t MetafichierWmf::Taille(const char* enregistrement) const {
    uint32_t mots;
    std::memcpy(&mots, enregistrement, sizeof mots);
    return mots * 2;
}

int16_t MetafichierWmf::X(double x) const {
    return static_cast<int16_t>(std::clamp<int32_t>(Arrondi(x * echelleX_), INT16_MIN, INT16_MAX));
}

int16_t MetafichierWmf::Y(double y) const {
    return static_cast<int16_t>(std::clamp<int32_t>(Arrondi(y * echelleY_), INT16_MIN, INT16_MAX));
}

int16_t MetafichierWmf::Epaisseur(int32_t largeur) const {
    if (largeur <= 0) return 0;
    return static_cast<int16_t>(std::clamp<int32_t>(Arrondi(largeur * echelleY_), 1, INT16_MAX));
}

char* MetafichierWmf::CreeStylo(int, const EtatStylo& stylo) {
    const U_PEN pen =
        U_PEN_set(static_cast<uint16_t>(stylo.trait),
                  static_cast<uint16_t>(Epaisseur(stylo.largeur)), Couleur(stylo.couleur));
    return U_WMRCREATEPENINDIRECT_set(pen);
}

char* MetafichierWmf::CreeBrosse(int, const EtatBrosse& brosse) {
    return U_WMRCREATEBRUSHINDIRECT_set(
        U_WLOGBRUSH_set(brosse.creuse ? U_BS_NULL : U_BS_SOLID, Couleur(brosse.couleur), 0));
}

char* MetafichierWmf::CreePolice(int, const EtatPolice& police) {
    std::string nom;
    if (!VersWindows1252(police.nom, nom)) nom = "Arial";
    nom.resize(std::min<size_t>(nom.size(), 31));
    const auto hauteur = static_cast<int16_t>(
        -std::clamp<int32_t>(Arrondi(police.hauteur * echelleY_), 1, INT16_MAX));
    U_FONT* font = U_FONT_set(
        hauteur, 0, 0, 0, (police.style & PoliceGrasse) ? U_FW_BOLD : U_FW_NORMAL,
        (police.style & PoliceItalique) ? 1 : 0, (police.style & PoliceSoulignee) ? 1 : 0, 0,
        U_ANSI_CHARSET, 0, 0, 0, 0, nom.data());
    if (!font) return nullptr;
    char* enregistrement = U_WMRCREATEFONTINDIRECT_set(font);
    std::free(font);
    return enregistrement;
}

char* MetafichierWmf::Selectionne(int indice) {
    return U_WMRSELECTOBJECT_set(static_cast<uint16_t>(indice));
}

char* MetafichierWmf::Supprime(int indice) {
    return U_WMRDELETEOBJECT_set(static_cast<uint16_t>(indice));
}

char* MetafichierWmf::EcritMelange(MelangeMeta melange) {
    return U_WMRSETROP2_set(static_cast<uint16_t>(melange));
}

char* MetafichierWmf::EcritCouleurTexte(CouleurMeta couleur) {
    return U_WMRSETTEXTCOLOR_set(Couleur(couleur));
}

char* MetafichierWmf::EcritAncrage(AncrageMeta ancrage) {
    return U_WMRSETTEXTALIGN_set(static_cast<uint16_t>(ancrage));
}

char* MetafichierWmf::EcritDeplacement(int32_t x, int32_t y) {
    return U_WMRMOVETO_set(point16_set(X(x), Y(y)));
}

char* MetafichierWmf::EcritLigne(int32_t x, int32_t y) {
    return U_WMRLINETO_set(point16_set(X(x), Y(y)));
}

char* MetafichierWmf::EcritPolyligne(const PointMeta* points, int32_t nombre) {
    std::vector<U_POINT16> points16(static_cast<size_t>(nombre));
    for (int32_t i = 0; i < nombre; ++i)
        points16[static_cast<size_t>(i)] = point16_set(X(points[i].x), Y(points[i].y));
    return U_WMRPOLYLINE_set(static_cast<uint16_t>(nombre), points16.data());
}

char* MetafichierWmf::EcritRectangle(const RectMeta& r) {
    return U_WMRRECTANGLE_set(U_RECT16{X(r.gauche), Y(r.haut), X(r.droite), Y(r.bas)});
}

char* MetafichierWmf::EcritTexte(int32_t x, int32_t y, std::u32string_view texte,
                                 const EtatPolice&) {
    // The code page of ANSI fonts; a character outside it shows as "?".
    latin_.clear();
    for (char32_t c : texte) {
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            latin_.push_back(static_cast<char>(c));
            continue;
        }
        char utf8[4];
        size_t n = 0;
        if (c < 0x800) {
            utf8[n++] = static_cast<char>(0xC0 | (c >> 6));
        } else if (c < 0x10000) {
            utf8[n++] = static_cast<char>(0xE0 | (c >> 12));
            utf8[n++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        } else {
            utf8[n++] = static_cast<char>(0xF0 | (c >> 18));
            utf8[n++] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            utf8[n++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        }
        utf8[n++] = static_cast<char>(0x80 | (c & 0x3F));
        std::string code;
        latin_ += VersWindows1252(std::string_view(utf8, n), code) ? code : "?";
    }
    return U_WMRTEXTOUT_set(point16_set(X(x), Y(y)), latin_.data());
}

char* MetafichierWmf::EcritSauvegarde() {
    return U_WMRSAVEDC_set();
}

char* MetafichierWmf::EcritRestauration() {
    return U_WMRRESTOREDC_set(-1);
}

char* MetafichierWmf::EcritDecoupe(const RectMeta& r) {
    return U_WMRINTERSECTCLIPRECT_set(U_RECT16{X(r.gauche), Y(r.haut), X(r.droite), Y(r.bas)});
}

bool MetafichierWmf::Finalise() {
    if (!Ajoute(U_WMREOF_set())) return false;
    std::string& octets = Octets();
    const size_t mots = (octets.size() - TailleEntetePlacable) / 2;
    if (mots > std::numeric_limits<uint32_t>::max()) return false;

    // Placeable header: key, no handle, bounding box, units per inch, reserved, checksum
    // (the exclusive or of the ten words before it).
    Ecrit(octets, 0, uint32_t{0x9AC6CDD7});
    Ecrit(octets, 4, int16_t{0});
    Ecrit(octets, 6, int16_t{0});
    Ecrit(octets, 8, int16_t{0});
    Ecrit(octets, 10, etendueX_);
    Ecrit(octets, 12, etendueY_);
    Ecrit(octets, 14, pouce_);
    Ecrit(octets, 16, uint32_t{0});
    uint16_t controle = 0;
    for (size_t i = 0; i < 20; i += 2) {
        uint16_t mot;
        std::memcpy(&mot, octets.data() + i, 2);
        controle ^= mot;
    }
    Ecrit(octets, 20, controle);

    // Metafile header: in memory, 9 words, version 3.0, size in words, objects, largest
    // record in words, no parameters.
    const size_t h = TailleEntetePlacable;
    Ecrit(octets, h + 0, uint16_t{1});
    Ecrit(octets, h + 2, uint16_t{9});
    Ecrit(octets, h + 4, uint16_t{0x0300});
    Ecrit(octets, h + 6, static_cast<uint16_t>(mots & 0xFFFF));
    Ecrit(octets, h + 8, static_cast<uint16_t>(mots >> 16));
    Ecrit(octets, h + 10, static_cast<uint16_t>(std::max(PicObjets(), 1)));
    const uint32_t plusGrand = PlusGrandEnregistrement() / 2;
    Ecrit(octets, h + 12, static_cast<uint16_t>(plusGrand & 0xFFFF));
    Ecrit(octets, h + 14, static_cast<uint16_t>(plusGrand >> 16));
    Ecrit(octets, h + 16, uint16_t{0});
    return true;
}

} // namespace platform
