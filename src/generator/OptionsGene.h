// The generator options dialog's logic without Qt: the output, its rates and the sync
// channel as the controls show them, and the apply with its messages. The dialog shows
// Etat after each handler.
//
// Thread contract: the GUI thread.
#pragma once

#include "generator/Lecteur.h"
#include "generator/PanneauGene.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace generator {

inline constexpr const char* TitreAttention = "Attention !";
inline constexpr const char* TitreFeInvalide = "Problème Tamburella !";
inline constexpr const char* MessageSortieInvalide =
    "Sortie Son Invalide\rRetour à la configuration précédente !";
inline constexpr const char* MessageFeInvalide =
    "Fréquence d'échantillonnage Invalide !\rRentrez un nombre entier valide !";

// "Vous devez redémarrer <title> pour que\r<fin>".
std::string MessageRedemarrer(const std::string& titreApplication, const char* fin);
inline constexpr const char* FinRedemarrerGene = "les nouveaux paramètres soient pris en compte.";

// The decimal texts of the rates of TableFe that entry e accepts, in table order.
std::vector<std::string> ListeFeSortie(const TablesSorties& tables, int32_t e);

// The controls of the dialog.
struct EtatOptionsGene {
    std::vector<std::string> NomsSorties; // ComboBoxSortieSon's list, NbSorties + 1 names
    int32_t Sortie = 0;                   // its selected entry, -1 for none
    std::vector<std::string> ListeFe;     // ComboBoxFreq's list
    int32_t IndexFe = -1;                 // its selected item, -1 for none
    std::string TexteFe;                  // its text (the user may type any rate)
    bool CanalSync = false;
    bool Appliquer = false; // ButtonAppliquer enabled

    bool operator==(const EtatOptionsGene&) const = default;
};

struct ResultatOptionsGene {
    bool Reussi = false;
    std::optional<MessageGene> Message;
    bool Fermer = false; // Ok succeeded: close the dialog
};

class OptionsGene {
public:
    // `titreApplication` goes into the restart message.
    OptionsGene(PanneauGene& panneau, std::string titreApplication);

    void FormShow();
    void ComboBoxSortieSonChange(int32_t entree);
    void ComboBoxFreqChange(const std::string& texte);
    void CheckBoxCanalSyncClick(bool coche);
    ResultatOptionsGene ButtonAppliquerClick();
    ResultatOptionsGene ButtonOkClick();

    EtatOptionsGene Etat;

private:
    ResultatOptionsGene Applique();
    void RemplitFe(int32_t entree);

    PanneauGene& panneau_;
    std::string titre_;
};

} // namespace generator
