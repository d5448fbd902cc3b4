#include "generator/OptionsGene.h"

#include "engine/Parametres.h"
#include "platform/Saisie.h"

namespace generator {

std::string MessageRedemarrer(const std::string& titreApplication, const char* fin) {
    return "Vous devez redémarrer " + titreApplication + " pour que" + "\r" + fin;
}

std::vector<std::string> ListeFeSortie(const TablesSorties& tables, int32_t e) {
    std::vector<std::string> liste;
    if (e < 0 || e > tables.NbSorties) return liste;
    for (size_t i = 0; i < engine::TableFe.size(); ++i)
        if (tables.FeSupportesSortie[static_cast<size_t>(e)][i])
            liste.push_back(std::to_string(engine::TableFe[i]));
    return liste;
}

OptionsGene::OptionsGene(PanneauGene& panneau, std::string titreApplication)
    : panneau_(panneau), titre_(std::move(titreApplication)) {
    const TablesSorties& t = panneau_.Tables();
    for (int32_t e = 0; e <= t.NbSorties; ++e)
        Etat.NomsSorties.push_back(t.NomsSorties[static_cast<size_t>(e)]);
}

void OptionsGene::RemplitFe(int32_t entree) {
    Etat.ListeFe = ListeFeSortie(panneau_.Tables(), entree);
    Etat.IndexFe = -1;
}

void OptionsGene::FormShow() {
    const ConfigurationSortie& c = panneau_.Configuration();
    Etat.Sortie = c.NoSortie + 1;
    RemplitFe(Etat.Sortie);
    Etat.TexteFe = std::to_string(c.Fe);
    for (size_t i = 0; i < Etat.ListeFe.size(); ++i)
        if (Etat.ListeFe[i] == Etat.TexteFe) Etat.IndexFe = static_cast<int32_t>(i);
    Etat.CanalSync = c.CanalSync;
    Etat.Appliquer = false;
}

void OptionsGene::ComboBoxSortieSonChange(int32_t entree) {
    Etat.Sortie = entree;
    RemplitFe(entree);
    // The highest accepted rate, or an empty text when the entry accepts none.
    Etat.IndexFe = static_cast<int32_t>(Etat.ListeFe.size()) - 1;
    Etat.TexteFe = Etat.ListeFe.empty() ? std::string() : Etat.ListeFe.back();
    Etat.Appliquer = true;
}

void OptionsGene::ComboBoxFreqChange(const std::string& texte) {
    Etat.TexteFe = texte;
    Etat.IndexFe = -1;
    for (size_t i = 0; i < Etat.ListeFe.size(); ++i)
        if (Etat.ListeFe[i] == texte) Etat.IndexFe = static_cast<int32_t>(i);
    Etat.Appliquer = true;
}

void OptionsGene::CheckBoxCanalSyncClick(bool coche) {
    Etat.CanalSync = coche;
    Etat.Appliquer = true;
}

ResultatOptionsGene OptionsGene::Applique() {
    ResultatOptionsGene r;
    ConfigurationSortie c = panneau_.Configuration();
    if (Etat.Sortie < 0 || Etat.Sortie > panneau_.Tables().NbSorties) {
        const bool appliquer = Etat.Appliquer;
        FormShow();
        Etat.Appliquer = appliquer;
        r.Message = MessageGene{MessageSortieInvalide, TitreAttention, Icone::Erreur};
        r.Reussi = true;
        return r;
    }
    int32_t fe = 0;
    if (!platform::LitEntierSaisi(Etat.TexteFe, fe)) {
        r.Message = MessageGene{MessageFeInvalide, TitreFeInvalide, Icone::Erreur};
        return r;
    }
    const ConfigurationSortie choisie{Etat.Sortie - 1, fe, Etat.CanalSync};
    if (!(choisie == c)) {
        r.Message = MessageGene{MessageRedemarrer(titre_, FinRedemarrerGene), TitreAttention,
                                Icone::Exclamation};
        panneau_.ChangeConfiguration(choisie);
    }
    r.Reussi = true;
    return r;
}

ResultatOptionsGene OptionsGene::ButtonAppliquerClick() {
    ResultatOptionsGene r = Applique();
    Etat.Appliquer = false;
    return r;
}

ResultatOptionsGene OptionsGene::ButtonOkClick() {
    ResultatOptionsGene r = Applique();
    r.Fermer = r.Reussi;
    return r;
}

} // namespace generator
