// The settings model: every section and key of the settings file, with its default and
// the checks applied on reading, grouped by the window that owns them. Each window reads
// its sections when it is created and writes them when it is closed or destroyed:
//
//     platform::FichierIni ini(chemin);
//     auto r = LitReglagesControle(ini, contexte);      // creation
//     ...
//     platform::FichierIni ini(chemin);                  // closing: the file as it is now
//     EcritReglages(ini, r);
//     if (auto erreur = ini.Enregistre()) montre(*erreur);
//
// (EnregistreReglages does the last three lines.) Writing erases each section first,
// then writes its keys in a fixed order. GUI thread.
#pragma once

#include "engine/Parametres.h"
#include "platform/Ini.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace panel {

struct PositionFenetre {
    int32_t Gauche = 0;
    int32_t Haut = 0;

    bool operator==(const PositionFenetre&) const = default;
};

// The input settings as stored ("Options", from "TypeEntree" on).
struct ValeursEntree {
    int32_t TypeEntree = 1; // 0 ALSA, 1 sound server
    int32_t NoEntree = -1;
    int32_t Fe = 44100;
    int32_t Canal = 1;
    int32_t CanalSync = 0;
    bool Stereo = false;
    int32_t VSync = 2;
    bool UtiliseFichierTampon = false;
    std::string FichierTampon = "Tamburella.csv";
    int32_t NbEchFichierTampon = 1000;

    bool operator==(const ValeursEntree&) const = default;
};

// The process-wide input settings from and into the values above (FeCourante is not
// stored: the scope window sets it from Fe when it opens the capture).
void AppliqueEntree(const ValeursEntree& valeurs, engine::ReglagesEntree& entree);
ValeursEntree CopieEntree(const engine::ReglagesEntree& entree);

// What the input checks compare with: the input enumeration's tables, whether the
// sound-server backend answered at start-up, and the vertical-sync methods available.
struct ContexteEntree {
    const engine::TablesEntrees& Tables;
    bool DirectSoundDispo = false;
    int32_t VSyncDispo = 0;
};

// Control window: sections "FenetreControl", "Defaut", "Options".
struct ReglagesControle {
    PositionFenetre Fenetre{10, 5};
    // "Defaut"
    std::string InitialMetaDir;
    std::string InitialWavDir;
    int32_t InitialWavType = 0;
    int32_t EchelleT = 0;
    int32_t EchelleF = 0;
    int32_t EchelleX = 100; // position of the vertical-scale bar
    int32_t DeplaceX = 0;
    int32_t DecalageT = 0;
    int32_t DecalageF = 0;
    bool Spectre = false;
    bool PleinEcran = false;
    bool VisibleGene = false;
    int32_t TypeSynchro = engine::Universelle;
    int32_t DeclPos = 0; // position of the trigger-level bar
    bool CurseursVerticaux = false;
    bool CurseursHorizontaux = false;
    bool CurseursActifs = false;
    int32_t Ralenti = 0;
    int32_t RalentiSpectre = 0;
    bool CurseursdB = false;
    // "Options"
    bool Proportions = false; // false "Carré", true "Ajusté"
    bool Position = false;    // false portrait, true landscape
    bool Curseurs = false;
    bool Grille = false;
    int32_t HautGraph = 120; // mm
    int32_t LargGraph = 150; // mm
    int32_t FenetreTFR = 0;
    int32_t NbPointsTFR = 0;
    int32_t SurEchTFR = 0;
    bool Bulles = true;
    ValeursEntree Entree;

    bool operator==(const ReglagesControle&) const = default;
};

// Reads with every check: the input settings against `contexte`, and the values that
// index menus or tables, or that the engine uses unchecked, clamped into their ranges.
ReglagesControle LitReglagesControle(const platform::FichierIni& ini,
                                     const ContexteEntree& contexte);
void EcritReglages(platform::FichierIni& ini, const ReglagesControle& reglages);

// Scope window: sections "Ecran" (outer geometry) and "Curseurs" (client pixels).
struct GeometrieFenetre {
    int32_t Gauche = 0;
    int32_t Haut = 0;
    int32_t Largeur = 0;
    int32_t Hauteur = 0;

    bool operator==(const GeometrieFenetre&) const = default;
};
struct PositionsCurseurs {
    int32_t Xcurs1 = 0;
    int32_t Xcurs2 = 0;
    int32_t Ycurs1 = 0;
    int32_t Ycurs2 = 0;

    bool operator==(const PositionsCurseurs&) const = default;
};
// Defaults from the control window's outer geometry: just below it, as wide as it, square.
GeometrieFenetre LitEcran(const platform::FichierIni& ini, const GeometrieFenetre& controle);
// Defaults from the client size just set: thirds of the height for X, of the width for Y.
PositionsCurseurs LitCurseurs(const platform::FichierIni& ini, int32_t hauteurClient,
                              int32_t largeurClient);
struct ReglagesScope {
    // Absent while the window is maximised or minimised: "Ecran" then keeps the last
    // normal geometry.
    std::optional<GeometrieFenetre> Ecran;
    PositionsCurseurs Curseurs;

    bool operator==(const ReglagesScope&) const = default;
};
void EcritReglages(platform::FichierIni& ini, const ReglagesScope& reglages);

// Options dialog: section "FenetreOptions".
struct ReglagesOptions {
    PositionFenetre Fenetre{250, 272};
    int32_t PageIndex = 0; // 0 "Impression" .. 3 "Général"

    bool operator==(const ReglagesOptions&) const = default;
};
ReglagesOptions LitReglagesOptions(const platform::FichierIni& ini);
void EcritReglages(platform::FichierIni& ini, const ReglagesOptions& reglages);

// What the generator's output checks compare with (the output enumeration).
struct ContexteSortie {
    int32_t NbSorties = 0; // devices besides the default one
    // Index into TableFe of each device's highest accepted rate (device d at [d + 1]),
    // -1 when none.
    std::array<int32_t, engine::MaxEntrees + 1> MeilleurFeSortie{};
    // Whether device d accepts rate fe (the format query); absent: every rate is accepted.
    std::function<bool(int32_t d, int32_t fe)> AccepteFe;
};

// The level fields' default, "0" + the decimal separator + "95".
std::string NiveauParDefaut();

// Generator window: sections "FenêtreGéné", "Générateur", "OptionsGéné". The field
// texts are kept as typed; they are parsed when used.
struct ReglagesGene {
    PositionFenetre Fenetre{49, 148};
    int32_t Predefini = 0; // 0 "Carre" .. 5 "Bruit Blanc"
    int32_t Choix = 0;     // 0 "Prédéfini", 1 "Utilisateur", 2 "Sweep"
    std::string Frequence = "441";
    std::string Niveau = NiveauParDefaut();
    std::string Fonction = "sin(5*x+2*sin(x))";
    std::string f1 = "20";
    std::string f2 = "20000";
    std::string Duree = "10";
    std::string NiveauSweep = NiveauParDefaut();
    std::string a = "-pi";
    std::string b = "pi";
    // "OptionsGéné"
    int32_t NoSortie = -1;
    int32_t Fe = 44100;
    bool CanalSync = false;

    bool operator==(const ReglagesGene&) const = default;
};
ReglagesGene LitReglagesGene(const platform::FichierIni& ini, const ContexteSortie& contexte);
void EcritReglages(platform::FichierIni& ini, const ReglagesGene& reglages);

// Generator options dialog: section "FenêtreOptionsGéné".
struct ReglagesGeneOptions {
    PositionFenetre Fenetre{213, 188};

    bool operator==(const ReglagesGeneOptions&) const = default;
};
ReglagesGeneOptions LitReglagesGeneOptions(const platform::FichierIni& ini);
void EcritReglages(platform::FichierIni& ini, const ReglagesGeneOptions& reglages);

// Writes one window's sections into the file as it is on disk now (other windows'
// sections are kept) and saves it. The message of a refused write, or nothing.
template <class Reglages>
[[nodiscard]] std::optional<std::string> EnregistreReglages(const std::string& chemin,
                                                            const Reglages& reglages) {
    platform::FichierIni ini(chemin);
    EcritReglages(ini, reglages);
    return ini.Enregistre();
}

} // namespace panel
