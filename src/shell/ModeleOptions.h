// The options dialog's logic without Qt: its four pages as the controls show them, the
// handlers, and AppliqueOptions with its messages. The dialog shows Etat after each
// handler, then the messages in order.
//
// Thread contract: the GUI thread.
#pragma once

#include "generator/Lecteur.h"
#include "shell/CibleOptions.h"

#include <functional>
#include <string>
#include <vector>

namespace shell {

using generator::Icone;
using generator::MessageGene;

inline constexpr const char* MessageLargeurInvalide =
    "Largeur de graphique invalide\rRetour à la valeur précédente !";
inline constexpr const char* MessageHauteurInvalide =
    "Hauteur de graphique invalide\rRetour à la valeur précédente !";
inline constexpr const char* MessageEntreeInvalide =
    "Entree Son Invalide\rRetour à la configuration précédente !";
inline constexpr const char* FinRedemarrerOptions =
    "certains nouveaux paramètres soient pris en compte.";

// Input types and vertical-sync choices, in the radio groups' order.
inline constexpr const char* NomsTypesEntree[] = {"ALSA", "PulseAudio"};
inline constexpr const char* NomsVSync[] = {"Aucune", "Hardware", "Écran"};

struct EtatOptions {
    // "Impression"
    int32_t Proportions = 0; // RadioGroup1
    int32_t Position = 0;    // RadioGroup2
    // "Graphique"
    std::string LargGraph = "150", HautGraph = "110";
    bool Grille = false, Curseurs = false;
    // "Entrée son"
    int32_t TypePilote = 0;
    bool TypePiloteActif = true;
    std::vector<std::string> Entrees; // ComboBoxEntreeSon's list, the default device first
    int32_t Entree = 0;               // its selected entry, -1 for none
    std::vector<std::string> ListeFe;
    int32_t IndexFe = -1;
    std::string TexteFe;
    bool Stereo = false;
    // "Général"
    bool Bulles = true;
    int32_t VSync = 0;

    bool Appliquer = false; // ButtonAppliquer enabled

    bool operator==(const EtatOptions&) const = default;
};

struct ResultatOptions {
    bool Reussi = false;
    std::vector<MessageGene> Messages; // shown in this order
    bool Fermer = false;               // Ok succeeded: the dialog is hidden
};

class ModeleOptions {
public:
    // `titreApplication` goes into the restart message; `bullesGene` switches the
    // generator window's hints (may be empty when it does not exist).
    ModeleOptions(CibleOptions& cible, std::string titreApplication,
                  std::function<void(bool)> bullesGene = {});

    void FormShow();
    void ComboBoxEntreeSonChange(int32_t entree);
    void RadioGroupTypePiloteClick(int32_t type);
    // The change handlers that only enable "Appliquer" (the new value is in Etat).
    void Change() { Etat.Appliquer = true; }

    ResultatOptions AppliqueOptions();
    ResultatOptions ButtonAppliquerClick();
    ResultatOptions ButtonOkClick();

    EtatOptions Etat;

    // The device list of input type t, and the rate list of its entry e.
    std::vector<std::string> ListeEntrees(int32_t t) const;
    std::vector<std::string> ListeFe(int32_t t, int32_t e) const;

private:
    // The input page from the current values (FormShow's steps 1, 2 and 4 for the input).
    void ChargeEntree();

    CibleOptions& cible_;
    std::string titre_;
    std::function<void(bool)> bullesGene_;
};

} // namespace shell
