// Picture files that office suites and drawing programs read: enhanced metafiles (EMF) and
// placeable Windows metafiles (WMF), recorded in memory over libuemf's record builders.
//
// A recorder takes drawing calls in the picture's logical units (x to the right, y down,
// (0, 0) at the top left of a largeur × hauteur picture) and gives the finished file's
// bytes. Pens, brushes and fonts are plain values: the recorder creates, selects and
// deletes the file's objects itself, only when a drawing needs them. Fonts are named as
// the platform names them ("Arial", "Times New Roman"); readers substitute their
// metric-compatible faces. One thread at a time; no global state.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct CouleurMeta {
    uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(CouleurMeta, CouleurMeta) = default;
};

struct PointMeta {
    int32_t x = 0, y = 0;
};

// [gauche, droite) × [haut, bas), as the system's rectangles.
struct RectMeta {
    int32_t gauche = 0, haut = 0, droite = 0, bas = 0;
    friend bool operator==(const RectMeta&, const RectMeta&) = default;
};

// Pen styles, by their record values (PS_SOLID .. PS_NULL).
enum class TraitMeta : uint32_t {
    Plein = 0,
    Tirets = 1,
    Points = 2,
    TiretPoint = 3,
    TiretPointPoint = 4,
    Aucun = 5
};

// How lines mix with the picture, by their record values (R2_COPYPEN, R2_XORPEN, R2_NOT).
enum class MelangeMeta : uint32_t { Copie = 13, OuExclusif = 7, Inversion = 6 };

// Where (x, y) lies on a text, by the record values: TA_LEFT|TA_TOP, TA_RIGHT|TA_TOP,
// TA_CENTER|TA_TOP.
enum class AncrageMeta : uint32_t { GaucheHaut = 0, Droite = 2, Centre = 6 };

// Font style bits.
inline constexpr uint32_t PoliceGrasse = 1, PoliceItalique = 2, PoliceSoulignee = 4;

// Physical size of a picture in hundredths of a millimetre: the frame of its metafiles.
struct CadreMeta {
    int32_t largeur = 0, hauteur = 0;
};

// The frame of a largeur × hauteur picture drawn on a 96 dpi screen.
CadreMeta CadreEcran(int32_t largeur, int32_t hauteur);

// Advance of one character in 1/2048 of the font's em, from the metrics of the faces that
// stand for "Arial" and "Times New Roman" (any other name is measured as Arial).
int32_t AvanceCaractere(std::string_view police, uint32_t style, char32_t c);

class Metafichier {
public:
    virtual ~Metafichier() = default;
    Metafichier(const Metafichier&) = delete;
    Metafichier& operator=(const Metafichier&) = delete;

    int32_t Largeur() const { return largeur_; }
    int32_t Hauteur() const { return hauteur_; }

    // Drawing state, in force from the next drawing on. A pen width of 0 is one pixel of
    // whatever device shows the picture; wider pens scale with it and end round.
    void Stylo(CouleurMeta couleur, int32_t largeur, TraitMeta trait);
    void Melange(MelangeMeta melange);
    void Brosse(CouleurMeta couleur, bool creuse);
    // `hauteur` is the em of the characters in logical units.
    void Police(std::string_view nom, int32_t hauteur, uint32_t style);
    void CouleurTexte(CouleurMeta couleur);
    void Ancrage(AncrageMeta ancrage);

    // A line from the current position, which moves to its end; the end point itself,
    // and the last point of a polyline, are not drawn, as with the system's pens.
    void DeplacerVers(int32_t x, int32_t y);
    void LigneVers(int32_t x, int32_t y);
    void Polyligne(const PointMeta* points, int32_t nombre);
    // Outline with the pen, inside with the brush.
    void Rectangle(const RectMeta& r);
    // Filled with the brush's colour, no outline.
    void Remplir(const RectMeta& r);
    // UTF-8 text on a transparent background, placed by the anchor.
    void Texte(int32_t x, int32_t y, std::string_view texte);
    // Drawing outside r is dropped until SansDecoupe.
    void Decouper(const RectMeta& r);
    void SansDecoupe();

    // The file's bytes: the header completed, the end record appended. Call once; the
    // recorder takes nothing more afterwards.
    std::string Termine();

protected:
    struct EtatStylo {
        CouleurMeta couleur;
        int32_t largeur = 0;
        TraitMeta trait = TraitMeta::Plein;
        friend bool operator==(const EtatStylo&, const EtatStylo&) = default;
    };
    struct EtatBrosse {
        CouleurMeta couleur;
        bool creuse = false;
        friend bool operator==(const EtatBrosse&, const EtatBrosse&) = default;
    };
    struct EtatPolice {
        std::string nom = "Arial";
        int32_t hauteur = 12;
        uint32_t style = 0;
        friend bool operator==(const EtatPolice&, const EtatPolice&) = default;
    };

    // `premierObjet`: the index the format gives its first object (EMF 1, WMF 0).
    Metafichier(int32_t largeur, int32_t hauteur, int premierObjet);

    // Appends one record made by libuemf (malloc'ed, freed here); false when libuemf
    // could not build it, which fails the whole file.
    bool Ajoute(char* enregistrement);
    std::string& Octets() { return octets_; }
    uint32_t NombreEnregistrements() const { return enregistrements_; }
    uint32_t PlusGrandEnregistrement() const { return plusGrand_; }
    // Objects alive at once at the most (WMF), highest index + 1 (EMF).
    int PicObjets() const { return pic_; }

    // Size in bytes of a record made by libuemf.
    virtual uint32_t Taille(const char* enregistrement) const = 0;
    // The format's records. Objects are created at `indice`, which the base allocates.
    virtual char* CreeStylo(int indice, const EtatStylo& stylo) = 0;
    virtual char* CreeBrosse(int indice, const EtatBrosse& brosse) = 0;
    virtual char* CreePolice(int indice, const EtatPolice& police) = 0;
    virtual char* Selectionne(int indice) = 0;
    virtual char* Supprime(int indice) = 0;
    virtual char* EcritMelange(MelangeMeta melange) = 0;
    virtual char* EcritCouleurTexte(CouleurMeta couleur) = 0;
    virtual char* EcritAncrage(AncrageMeta ancrage) = 0;
    virtual char* EcritDeplacement(int32_t x, int32_t y) = 0;
    virtual char* EcritLigne(int32_t x, int32_t y) = 0;
    virtual char* EcritPolyligne(const PointMeta* points, int32_t nombre) = 0;
    virtual char* EcritRectangle(const RectMeta& r) = 0;
    virtual char* EcritTexte(int32_t x, int32_t y, std::u32string_view texte,
                             const EtatPolice& police) = 0;
    virtual char* EcritSauvegarde() = 0;
    virtual char* EcritRestauration() = 0;
    virtual char* EcritDecoupe(const RectMeta& r) = 0;
    // Completes the header in Octets() once every record is there; false on failure.
    virtual bool Finalise() = 0;

private:
    template <class Etat>
    struct Objet {
        Etat etat;
        int indice = -1; // -1: the device's own default is selected
    };
    // What the device holds, saved and restored around a clipping.
    struct Contexte {
        Objet<EtatStylo> stylo;
        Objet<EtatBrosse> brosse;
        Objet<EtatPolice> police;
        MelangeMeta melange = MelangeMeta::Copie;
        CouleurMeta couleurTexte;
        AncrageMeta ancrage = AncrageMeta::GaucheHaut;
        bool melangeConnu = false, couleurTexteConnue = false, ancrageConnu = false;
    };

    template <class Etat>
    void Choisit(Objet<Etat> Contexte::*membre, const Etat& voulu);
    void ChoisitMelange(MelangeMeta melange);
    int Alloue();
    void Libere(int indice);
    void Restaure();

    int32_t largeur_, hauteur_;
    int premierObjet_;
    std::string octets_;
    uint32_t enregistrements_ = 0, plusGrand_ = 0;
    bool echec_ = false, termine_ = false;

    EtatStylo stylo_;
    EtatBrosse brosse_;
    EtatPolice police_;
    MelangeMeta melange_ = MelangeMeta::Copie;
    CouleurMeta couleurTexte_;
    AncrageMeta ancrage_ = AncrageMeta::GaucheHaut;
    PointMeta position_;
    PointMeta positionDevice_; // the device's current position, when known
    bool positionConnue_ = false;

    Contexte actif_;
    Contexte sauve_;
    bool decoupe_ = false;

    static constexpr int MaxObjets = 16;
    std::array<bool, MaxObjets> occupe_{};
    int pic_ = 0;
    std::u32string texte_; // decoded text, reused
};

// An enhanced metafile of largeur × hauteur logical units (the header's bounds) on the
// given frame. The reference device is the picture itself at the frame's size, so the
// header's device and millimetre sizes agree with its frame for every reader.
class MetafichierEmf final : public Metafichier {
public:
    MetafichierEmf(int32_t largeur, int32_t hauteur, CadreMeta cadre);

private:
    uint32_t Taille(const char* enregistrement) const override;
    char* CreeStylo(int indice, const EtatStylo& stylo) override;
    char* CreeBrosse(int indice, const EtatBrosse& brosse) override;
    char* CreePolice(int indice, const EtatPolice& police) override;
    char* Selectionne(int indice) override;
    char* Supprime(int indice) override;
    char* EcritMelange(MelangeMeta melange) override;
    char* EcritCouleurTexte(CouleurMeta couleur) override;
    char* EcritAncrage(AncrageMeta ancrage) override;
    char* EcritDeplacement(int32_t x, int32_t y) override;
    char* EcritLigne(int32_t x, int32_t y) override;
    char* EcritPolyligne(const PointMeta* points, int32_t nombre) override;
    char* EcritRectangle(const RectMeta& r) override;
    char* EcritTexte(int32_t x, int32_t y, std::u32string_view texte,
                     const EtatPolice& police) override;
    char* EcritSauvegarde() override;
    char* EcritRestauration() override;
    char* EcritDecoupe(const RectMeta& r) override;
    bool Finalise() override;

    CadreMeta cadre_;
    std::vector<uint16_t> utf16_;
    std::vector<uint32_t> dx_;
};

// A placeable Windows metafile of the given physical size. Its records hold 16-bit
// coordinates in hundredths of a millimetre (coarser units for pictures above 327 mm), so
// the header's size is exact; the largeur × hauteur logical units of the drawing calls are
// scaled onto it.
class MetafichierWmf final : public Metafichier {
public:
    MetafichierWmf(int32_t largeur, int32_t hauteur, CadreMeta cadre);

    // Units per inch of the records and their extent (the placeable header's fields).
    uint16_t UnitesParPouce() const { return pouce_; }
    int16_t EtendueX() const { return etendueX_; }
    int16_t EtendueY() const { return etendueY_; }

private:
    uint32_t Taille(const char* enregistrement) const override;
    char* CreeStylo(int indice, const EtatStylo& stylo) override;
    char* CreeBrosse(int indice, const EtatBrosse& brosse) override;
    char* CreePolice(int indice, const EtatPolice& police) override;
    char* Selectionne(int indice) override;
    char* Supprime(int indice) override;
    char* EcritMelange(MelangeMeta melange) override;
    char* EcritCouleurTexte(CouleurMeta couleur) override;
    char* EcritAncrage(AncrageMeta ancrage) override;
    char* EcritDeplacement(int32_t x, int32_t y) override;
    char* EcritLigne(int32_t x, int32_t y) override;
    char* EcritPolyligne(const PointMeta* points, int32_t nombre) override;
    char* EcritRectangle(const RectMeta& r) override;
    char* EcritTexte(int32_t x, int32_t y, std::u32string_view texte,
                     const EtatPolice& police) override;
    char* EcritSauvegarde() override;
    char* EcritRestauration() override;
    char* EcritDecoupe(const RectMeta& r) override;
    bool Finalise() override;

    int16_t X(double x) const;
    int16_t Y(double y) const;
    int16_t Epaisseur(int32_t largeur) const;

    uint16_t pouce_ = 2540;
    int16_t etendueX_ = 1, etendueY_ = 1;
    double echelleX_ = 1, echelleY_ = 1;
    std::string latin_;
};

} // namespace platform
