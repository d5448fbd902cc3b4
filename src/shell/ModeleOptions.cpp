#include "shell/ModeleOptions.h"

#include "generator/OptionsGene.h"
#include "platform/Saisie.h"

namespace shell {

namespace {

constexpr auto relache = std::memory_order_relaxed;

int32_t Taille(const std::vector<std::string>& v) {
    return static_cast<int32_t>(v.size());
}

} // namespace

ModeleOptions::ModeleOptions(CibleOptions& cible, std::string titreApplication,
                             std::function<void(bool)> bullesGene)
    : cible_(cible), titre_(std::move(titreApplication)), bullesGene_(std::move(bullesGene)) {}

std::vector<std::string> ModeleOptions::ListeEntrees(int32_t t) const {
    const engine::TablesEntrees& tables = cible_.Tables();
    const int32_t n = t == 0 ? tables.NbEntreesWave : tables.NbEntreesDS;
    const auto& noms = t == 0 ? tables.NomsEntreesWave : tables.NomsEntreesDS;
    std::vector<std::string> liste;
    for (int32_t e = 0; e <= n && e <= engine::MaxEntrees; ++e)
        liste.push_back(noms[static_cast<size_t>(e)]);
    return liste;
}

std::vector<std::string> ModeleOptions::ListeFe(int32_t t, int32_t e) const {
    const engine::TablesEntrees& tables = cible_.Tables();
    std::vector<std::string> liste;
    if (e < 0 || e >= Taille(ListeEntrees(t))) return liste;
    const auto& fes = t == 0 ? tables.FeSupportesWave : tables.FeSupportesDS;
    for (size_t i = 0; i < engine::TableFe.size(); ++i)
        if (fes[static_cast<size_t>(e)][i]) liste.push_back(std::to_string(engine::TableFe[i]));
    return liste;
}

void ModeleOptions::ChargeEntree() {
    const engine::ReglagesEntree& entree = cible_.Entree();
    Etat.TypePilote = entree.TypeEntree.load(relache);
    Etat.Entrees = ListeEntrees(Etat.TypePilote);
    Etat.Entree = entree.NoEntree.load(relache) + 1;
    if (Etat.Entree < 0 || Etat.Entree >= Taille(Etat.Entrees)) Etat.Entree = -1;
    Etat.ListeFe = ListeFe(Etat.TypePilote, Etat.Entree);
    Etat.TexteFe = std::to_string(entree.Fe.load(relache));
    Etat.IndexFe = -1;
    for (int32_t i = 0; i < Taille(Etat.ListeFe); ++i)
        if (Etat.ListeFe[static_cast<size_t>(i)] == Etat.TexteFe) Etat.IndexFe = i;
    Etat.Stereo = entree.Stereo.load(relache);
}

void ModeleOptions::FormShow() {
    Etat.TypePiloteActif = cible_.Tables().DSDisponible;
    ChargeEntree();
    const OptionsImage image = cible_.Image();
    Etat.Proportions = image.Proportions ? 1 : 0;
    Etat.Position = image.Position ? 1 : 0;
    Etat.Curseurs = image.Curseurs;
    Etat.Grille = image.Grille;
    Etat.LargGraph = std::to_string(image.LargGraph);
    Etat.HautGraph = std::to_string(image.HautGraph);
    Etat.Bulles = cible_.Bulles();
    Etat.VSync = cible_.Entree().VSync.load(relache);
    Etat.Appliquer = false;
}

void ModeleOptions::ComboBoxEntreeSonChange(int32_t entree) {
    Etat.Entree = entree;
    Etat.ListeFe = ListeFe(Etat.TypePilote, entree);
    // The highest accepted rate, or an empty text when the entry accepts none.
    Etat.IndexFe = Taille(Etat.ListeFe) - 1;
    Etat.TexteFe = Etat.ListeFe.empty() ? std::string() : Etat.ListeFe.back();
    Etat.Appliquer = true;
}

void ModeleOptions::RadioGroupTypePiloteClick(int32_t type) {
    Etat.TypePilote = type;
    Etat.Entrees = ListeEntrees(type);
    // The first device after the default one; none when the type has no other device.
    ComboBoxEntreeSonChange(Taille(Etat.Entrees) > 1 ? 1 : -1);
}

ResultatOptions ModeleOptions::AppliqueOptions() {
    ResultatOptions r;
    auto message = [&r](const char* texte, const char* titre, Icone icone) {
        r.Messages.push_back(MessageGene{texte, titre, icone});
    };

    OptionsImage image = cible_.Image();
    image.Proportions = Etat.Proportions == 1;
    image.Position = Etat.Position == 1;
    image.Curseurs = Etat.Curseurs;
    image.Grille = Etat.Grille;
    // A size the export could not divide by is refused as a text that is no number is.
    auto taille = [&](std::string& texte, int32_t& valeur, const char* erreur) {
        int32_t v = 0;
        if (platform::LitEntierSaisi(texte, v) && v > 0) {
            valeur = v;
            return;
        }
        texte = std::to_string(valeur);
        message(erreur, generator::TitreAttention, Icone::Erreur);
    };
    taille(Etat.LargGraph, image.LargGraph, MessageLargeurInvalide);
    taille(Etat.HautGraph, image.HautGraph, MessageHauteurInvalide);
    cible_.ChangeImage(image);

    cible_.ChangeBulles(Etat.Bulles);
    if (bullesGene_) bullesGene_(Etat.Bulles);

    engine::ReglagesEntree& entree = cible_.Entree();
    Etat.VSync &= entree.VSyncDispo.load(relache);
    entree.VSync.store(Etat.VSync, relache);

    if (Etat.Entree < 0 || Etat.Entree >= Taille(Etat.Entrees)) {
        ChargeEntree();
        message(MessageEntreeInvalide, generator::TitreAttention, Icone::Erreur);
        r.Reussi = true;
        return r;
    }
    // The rate is read before anything of the input changes: a refused text leaves the
    // whole input configuration as it was.
    int32_t fe = 0;
    if (!platform::LitEntierSaisi(Etat.TexteFe, fe)) {
        message(generator::MessageFeInvalide, generator::TitreFeInvalide, Icone::Erreur);
        return r;
    }
    const bool inchangee = Etat.Entree == entree.NoEntree.load(relache) + 1 &&
                           fe == entree.Fe.load(relache) &&
                           Etat.Stereo == entree.Stereo.load(relache) &&
                           Etat.TypePilote == entree.TypeEntree.load(relache);
    if (!inchangee) {
        entree.TypeEntree.store(Etat.TypePilote, relache);
        entree.NoEntree.store(Etat.Entree - 1, relache);
        entree.Fe.store(fe, relache);
        entree.Stereo.store(Etat.Stereo, relache);
        r.Messages.push_back(MessageGene{generator::MessageRedemarrer(titre_, FinRedemarrerOptions),
                                         generator::TitreAttention, Icone::Exclamation});
    }
    r.Reussi = true;
    return r;
}

ResultatOptions ModeleOptions::ButtonAppliquerClick() {
    ResultatOptions r = AppliqueOptions();
    Etat.Appliquer = false;
    return r;
}

ResultatOptions ModeleOptions::ButtonOkClick() {
    ResultatOptions r = AppliqueOptions();
    r.Fermer = r.Reussi;
    return r;
}

} // namespace shell
