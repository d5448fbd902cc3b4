// The generator window's logic without Qt: its three modes ("Prédéfini", "Utilisateur",
// "Sweep") and two layouts, which controls are enabled or shown, the keys, the output
// configuration edited by the options dialog, and the settings read at creation and
// written at destruction. The window copies its fields into Champs / ChampsBalayage
// before each handler, then shows what the handler returned and the state below.
//
//     PanneauGene p(contexte);
//     p.FormCreate(panel::LitReglagesGene(ini, ContexteSortiePour(contexte.Tables)));
//     ... p.GoClick() ...
//     panel::EnregistreReglages(chemin, p.FormDestroy(position));
//
// Thread contract: the GUI thread.
#pragma once

#include "generator/Generateur.h"
#include "generator/Sorties.h"
#include "panel/Reglages.h"
#include "platform/Lecture.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace generator {

// The generator's process-wide state, set up once at start-up by InitGene: the output
// enumeration, the output stream, the engine, and the hint flag.
struct ContexteGene {
    ContexteGene() = default;
    ContexteGene(const ContexteGene&) = delete;
    ContexteGene& operator=(const ContexteGene&) = delete;
    // The engine stops and closes the output before the stream goes.
    ~ContexteGene();

    TablesSorties Tables;
    // The format query (AccepteFeSortie over Tables unless replaced).
    std::function<bool(int32_t d, int32_t fe)> RequeteFormat;
    std::unique_ptr<platform::FluxLecture> Flux;
    std::unique_ptr<Generateur> Gene;
    bool BullesGene = true; // hints shown in the generator window

    // What the settings' output checks compare with.
    panel::ContexteSortie ContexteReglages() const;
};

// The start-up step: hints on, the outputs enumerated, a stream of their backend.
void InitGene(ContexteGene& contexte);
// The same over a given stream and tables (tests).
void InitGene(ContexteGene& contexte, const TablesSorties& tables,
              std::unique_ptr<platform::FluxLecture> flux);

inline constexpr const char* TitreGenerateur = "Générateur de son";
inline constexpr const char* TitreSweep = "Sweep";
inline constexpr const char* LectureInitiale = "0 Hz ";

// Modes, as stored in "Choix".
enum Choix : int32_t { ChoixPredefini = 0, ChoixUtilisateur = 1, ChoixSweep = 2 };

enum class Disposition : uint8_t { Generateur, Sweep }; // Panel2, Panel3

// What the window shows besides the field texts.
struct ControlesGene {
    // Radio items of the pop-up menu.
    bool Predefini = true, Utilisateur = false, Sweep1 = false;
    bool Label1 = true;
    bool EditFonction = false, EditFonctionVisible = false;
    bool Label2 = false, Label3 = false, Ea = false, Eb = false;
    bool ComboBoxPredef = true, ComboBoxPredefVisible = true;
    bool Label4 = true, EditFreq = true;
    Disposition Panneau = Disposition::Generateur;
    const char* Titre = TitreGenerateur;

    bool operator==(const ControlesGene&) const = default;
};

// The output choices of the options dialog, as stored in "OptionsGéné". They reach the
// engine as follows: the device and the sync channel at the next opening of the output,
// the rate at the next start (the restart message says so).
struct ConfigurationSortie {
    int32_t NoSortie = -1;
    int32_t Fe = 44100;
    bool CanalSync = false;

    bool operator==(const ConfigurationSortie&) const = default;
};

class PanneauGene {
public:
    explicit PanneauGene(ContexteGene& contexte);

    // Creation: the settings as read (with their checks) become the fields, the mode and
    // the output; the rate goes into the synthesis and the output format.
    void FormCreate(const panel::ReglagesGene& reglages);
    // The settings to write at destruction, with the window's position.
    panel::ReglagesGene FormDestroy(panel::PositionFenetre position) const;

    // The window becomes visible.
    ResultatGene FormShow();
    // The close query: stop, release the headers, close the output. Closing is allowed.
    void FormCloseQuery();

    ResultatGene PredefiniClick();
    ResultatGene UtilisateurClick();
    ResultatGene Sweep1Click();
    // The shape list's selection changed (-1: none).
    ResultatGene ComboBoxPredefChange(int32_t index);

    ResultatGene CalculClick();
    ResultatGene GoClick();
    void StopClick();
    ResultatGene GoSweepClick();
    ResultatGene StopSweepClick();
    void ButtonPauseClick();
    ResultatGene Timer1Timer();

    // Enter, consumed by the window: Go of the sweep in its layout; otherwise a new "Go"
    // while the loop plays (the change is heard at once), a computation when idle.
    ResultatGene ToucheEntree();
    // A typed character as it reaches a field: "." becomes the locale's separator.
    static char CaractereSaisi(char c);

    // The options dialog's view of the output, and its apply.
    const ConfigurationSortie& Configuration() const { return configuration_; }
    void ChangeConfiguration(const ConfigurationSortie& configuration);

    const ControlesGene& Controles() const { return controles_; }
    int32_t Predefini() const { return Champs.Predefini; }
    bool EnLecture() const { return contexte_.Gene->Sortie.EnLecture.load(); }
    bool Bulles() const { return contexte_.BullesGene; }
    const TablesSorties& Tables() const { return contexte_.Tables; }
    Generateur& Gene() { return *contexte_.Gene; }
    DessinApercu Apercu() const { return DessineApercu(contexte_.Gene->Synth); }

    // The fields as typed; the window copies them in before each handler and reads back
    // those a result lists as rewritten.
    ChampsSignal Champs;
    ChampsSweep ChampsBalayage;

private:
    // The mode the synthesis reads, from the menu's radio items.
    void ModeDesChamps();
    ResultatGene CalculeSignal();
    // Both stop and close the output and switch the sweep's timer off.
    void ModeGenerateur();
    void ModeSweep();
    // "Prédéfini" and "Utilisateur" share these steps.
    ResultatGene ChoixSignal(bool utilisateur);
    // The layout switches and the close query leave the output closed: a configuration
    // applied meanwhile reaches the engine now.
    void ArreteEtFerme(bool requeteFermeture);
    void AppliqueSortie();

    ContexteGene& contexte_;
    ControlesGene controles_;
    ConfigurationSortie configuration_;
    // The device and sync channel waiting for the output to close.
    bool sortieEnAttente_ = false;
};

} // namespace generator
