// Waveform synthesis: the generator window's fields (shape or formula, frequency, level)
// become one loopable buffer of 16-bit PCM holding a whole number of periods, and a
// one-period preview.
//
// Arithmetic runs in extended precision; frame values are kept as 64-bit floats and the
// preview as 32-bit floats. A channel whose peak is zero, or whose values are not all
// finite (a formula undefined on part of its period), is silence.
//
// Thread contract: the GUI thread. The only output another thread reads is the PCM
// buffer, written with relaxed atomic stores so the player may loop over it meanwhile.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace generator {

// Samples of the PCM buffer: 8192 frames in mono, 4096 when the sync channel doubles them.
inline constexpr int CapaciteTampon = 8192;
inline constexpr int CapaciteSignal = CapaciteTampon + 1;
// Preview columns: a picture up to 200 pixels wide.
inline constexpr int CapaciteApercu = 201;
// The preview picture of the window's layout.
inline constexpr int LargeurApercuDefaut = 172;
inline constexpr int HauteurApercuDefaut = 118;

// Rates the synthesis and the sweep accept for FeGene.
inline constexpr int32_t FeGeneMin = 1;
inline constexpr int32_t FeGeneMax = 384000;

// The edit fields of the generator window that the engine reads or rewrites.
enum class Champ : uint8_t {
    Aucun,
    EditFreq,
    EditNiveau,
    EditFonction,
    Ea,
    Eb,
    Editf1,
    Editf2,
    EditNiveauSweep,
    EditDuree,
};
// A set of fields, one bit each (bit k for the field of value k).
using EnsembleChamps = uint32_t;
constexpr EnsembleChamps Bit(Champ c) {
    return EnsembleChamps{1} << static_cast<unsigned>(c);
}

// Predefined shapes, in the order of the shape list.
enum Forme : int32_t {
    Carre = 0,
    Triangulaire = 1,
    Sinusoidal = 2,
    DentDeScie = 3,
    Dirac = 4,
    BruitBlanc = 5,
};
inline constexpr int NbFormes = 6;

// Which of the radio items "Prédéfini" / "Utilisateur" is checked (Aucun: neither).
enum class ModeSignal : uint8_t { Predefini, Utilisateur, Aucun };

// What CalculeSignal reads from the window. The engine rewrites Frequence and Niveau
// when it clamps them.
struct ChampsSignal {
    ModeSignal Mode = ModeSignal::Predefini;
    int32_t Predefini = Carre; // the selected shape, -1 when none is selected
    std::string Frequence = "441";
    std::string Niveau;
    std::string Fonction = "sin(5*x+2*sin(x))";
    std::string a = "-pi";
    std::string b = "pi";
};

// A number typed in a field: [blanks] [sign] digits [separator digits] [E [sign] digits]
// [blanks], with the locale's decimal separator (a point is taken too). False when the
// text is not such a number or does not fit an extended float.
bool LitNombre(std::string_view texte, long double& valeur);

// A bound written back into a field: general format, 4 significant digits, the exponent
// signed and of at least 2 digits ("2,205E+04" for 22050 under a comma separator).
std::string TexteBorne(long double valeur);

// Clamps v to [bas, haut] (the lower bound first), rewriting `texte` with the bound each
// time it changes v. True when v changed.
bool BorneValeur(long double& v, std::string& texte, long double bas, long double haut);

// The generator's synthesis state (one instance, owned by the engine).
struct Synthese {
    int32_t FeGene = 44100;
    uint8_t CanalSyncGene = 0; // 1: the second channel carries the sync square
    int32_t NbPeriodes = 0;
    int32_t NbEchantillons = 0;
    std::array<double, CapaciteSignal> Signal{};
    std::array<double, CapaciteSignal> SignalSynchro{};
    std::array<float, CapaciteApercu> Apercu{};
    // The preview shows "Erreur !" instead of Apercu (also before the first computation).
    bool ApercuErreur = true;
    int32_t LargeurApercu = LargeurApercuDefaut; // W, 11 .. 200
    int32_t HauteurApercu = HauteurApercuDefaut; // H, at least 1
};

// Frames the buffer can hold: 8192 shifted right by the sync flag.
constexpr int32_t CapaciteTrames(uint8_t canalSync) {
    return CapaciteTampon >> (canalSync ? 1 : 0);
}

struct ResultatSynthese {
    bool Reussi = false;
    Champ Fautif = Champ::Aucun; // the field to focus after a failure (Aucun: none)
    EnsembleChamps Reecrits = 0; // fields whose text the engine rewrote
};

// Steps of CalculeSignal but the playback: reads and clamps the fields, computes the
// frames into s.Signal / s.SignalSynchro, normalises them into `tampon` (CapaciteTampon
// samples, interleaved when the sync channel is on) and fills the preview. On failure
// the preview shows "Erreur !" and NbPeriodes, NbEchantillons and `tampon` keep their
// previous contents (rewritten fields stay rewritten).
ResultatSynthese Synthetise(Synthese& s, ChampsSignal& champs, int16_t* tampon);

// The preview as the window draws it: a black picture of (W + 1) x (H + 1) pixels, a dark
// red grid and a white polyline through W + 1 points; or black with "Erreur !" at (5, 5)
// in white 20-point Arial.
struct PointApercu {
    int32_t x = 0, y = 0;
    bool operator==(const PointApercu&) const = default;
};
struct SegmentApercu {
    PointApercu De, A;
    bool operator==(const SegmentApercu&) const = default;
};
struct DessinApercu {
    bool Erreur = true;
    int32_t Largeur = 0, Hauteur = 0;      // W, H
    std::array<SegmentApercu, 7> Grille{}; // y = k·H div 4 (k = 1..3), x = k·W div 5 (k = 1..4)
    std::array<PointApercu, CapaciteApercu> Points{};
    int32_t NbPoints = 0;
};
inline constexpr uint32_t CouleurGrilleApercu = 0x800000; // 0xRRGGBB: dark red
inline constexpr const char* TexteErreurApercu = "Erreur !";
inline constexpr const char* PoliceApercu = "Arial";
inline constexpr int TaillePoliceApercu = 20;

DessinApercu DessineApercu(const Synthese& s);

} // namespace generator
