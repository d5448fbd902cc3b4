#include "generator/PanneauGene.h"

#include "platform/Locale.h"

namespace generator {

void InitGene(ContexteGene& contexte) {
    TablesSorties tables;
    EnumereSorties(tables);
    auto flux = CreeFluxSortie(tables);
    InitGene(contexte, tables, std::move(flux));
}

void InitGene(ContexteGene& contexte, const TablesSorties& tables,
              std::unique_ptr<platform::FluxLecture> flux) {
    contexte.BullesGene = true;
    contexte.Gene.reset();
    contexte.Tables = tables;
    contexte.RequeteFormat = [&contexte](int32_t d, int32_t fe) {
        return AccepteFeSortie(contexte.Tables, d, fe);
    };
    contexte.Flux = std::move(flux);
    contexte.Gene = std::make_unique<Generateur>(*contexte.Flux);
}

ContexteGene::~ContexteGene() {
    if (Gene) Gene->ArreteEtFerme(true);
}

panel::ContexteSortie ContexteGene::ContexteReglages() const {
    panel::ContexteSortie c;
    c.NbSorties = Tables.NbSorties;
    c.MeilleurFeSortie = Tables.MeilleurFeSortie;
    c.AccepteFe = RequeteFormat;
    return c;
}

PanneauGene::PanneauGene(ContexteGene& contexte) : contexte_(contexte) {
    Champs.Predefini = Carre;
    Champs.Niveau = panel::NiveauParDefaut();
    ChampsBalayage.Niveau = panel::NiveauParDefaut();
}

void PanneauGene::FormCreate(const panel::ReglagesGene& r) {
    controles_ = ControlesGene{};
    Champs.Predefini = r.Predefini;
    Champs.Frequence = r.Frequence;
    Champs.Niveau = r.Niveau;
    Champs.Fonction = r.Fonction;
    Champs.a = r.a;
    Champs.b = r.b;
    ChampsBalayage.f1 = r.f1;
    ChampsBalayage.f2 = r.f2;
    ChampsBalayage.Duree = r.Duree;
    ChampsBalayage.Niveau = r.NiveauSweep;

    // The rate reaches the output format only here, at creation.
    configuration_ = {r.NoSortie, r.Fe, r.CanalSync};
    Generateur& g = *contexte_.Gene;
    g.Synth.FeGene = r.Fe;
    g.Sortie.Format.FixeFe(r.Fe);
    AppliqueSortie();

    if (Champs.Predefini == BruitBlanc) controles_.Label4 = controles_.EditFreq = false;
    switch (r.Choix) {
    case ChoixUtilisateur:
        controles_.Predefini = false;
        controles_.Utilisateur = true;
        controles_.Label1 = controles_.EditFonction = controles_.Label2 = controles_.Label3 = true;
        controles_.Ea = controles_.Eb = controles_.Label4 = controles_.EditFreq = true;
        controles_.EditFonctionVisible = true;
        controles_.ComboBoxPredef = controles_.ComboBoxPredefVisible = false;
        break;
    case ChoixSweep:
        controles_.Predefini = false;
        controles_.Sweep1 = true;
        break;
    default:
        break;
    }
    ModeDesChamps();
}

panel::ReglagesGene PanneauGene::FormDestroy(panel::PositionFenetre position) const {
    panel::ReglagesGene r;
    r.Fenetre = position;
    r.Predefini = Champs.Predefini < 0 ? 0 : Champs.Predefini;
    r.Choix = (controles_.Utilisateur ? 1 : 0) + (controles_.Sweep1 ? 2 : 0);
    r.Frequence = Champs.Frequence;
    r.Niveau = Champs.Niveau;
    r.Fonction = Champs.Fonction;
    r.f1 = ChampsBalayage.f1;
    r.f2 = ChampsBalayage.f2;
    r.Duree = ChampsBalayage.Duree;
    r.NiveauSweep = ChampsBalayage.Niveau;
    r.a = Champs.a;
    r.b = Champs.b;
    r.NoSortie = configuration_.NoSortie;
    r.Fe = configuration_.Fe;
    r.CanalSync = configuration_.CanalSync;
    return r;
}

void PanneauGene::ModeDesChamps() {
    Champs.Mode = controles_.Predefini     ? ModeSignal::Predefini
                  : controles_.Utilisateur ? ModeSignal::Utilisateur
                                           : ModeSignal::Aucun;
}

ResultatGene PanneauGene::CalculeSignal() {
    ModeDesChamps();
    return contexte_.Gene->Boucle.CalculeSignal(Champs);
}

void PanneauGene::ArreteEtFerme(bool requeteFermeture) {
    contexte_.Gene->ArreteEtFerme(requeteFermeture);
    if (sortieEnAttente_) AppliqueSortie();
}

void PanneauGene::AppliqueSortie() {
    Generateur& g = *contexte_.Gene;
    g.Sortie.Identifiant = IdentifiantSortie(contexte_.Tables, configuration_.NoSortie);
    g.Synth.CanalSyncGene = configuration_.CanalSync ? 1 : 0;
    sortieEnAttente_ = false;
}

void PanneauGene::ModeGenerateur() {
    ArreteEtFerme(false);
    controles_.Titre = TitreGenerateur;
    controles_.Panneau = Disposition::Generateur;
}

void PanneauGene::ModeSweep() {
    ArreteEtFerme(false);
    controles_.Titre = TitreSweep;
    controles_.Panneau = Disposition::Sweep;
}

ResultatGene PanneauGene::FormShow() {
    ResultatGene r;
    if (controles_.Sweep1) {
        ModeSweep();
    } else {
        if (!EnLecture()) r = CalculeSignal();
        ModeGenerateur();
    }
    r.Minuterie = false;
    return r;
}

void PanneauGene::FormCloseQuery() {
    ArreteEtFerme(true);
}

ResultatGene PanneauGene::ChoixSignal(bool utilisateur) {
    const bool depuisSweep = controles_.Sweep1;
    if (depuisSweep) ModeGenerateur();
    ControlesGene& c = controles_;
    c.Predefini = !utilisateur;
    c.Utilisateur = utilisateur;
    c.Sweep1 = false;
    c.Label1 = true;
    c.EditFonction = c.Label2 = c.Label3 = c.Ea = c.Eb = utilisateur;
    c.EditFonctionVisible = utilisateur;
    c.ComboBoxPredef = c.ComboBoxPredefVisible = !utilisateur;
    c.Label4 = c.EditFreq = utilisateur || Champs.Predefini != BruitBlanc;
    ResultatGene r = CalculeSignal();
    if (depuisSweep) r.Minuterie = false;
    return r;
}

ResultatGene PanneauGene::PredefiniClick() {
    return ChoixSignal(false);
}

ResultatGene PanneauGene::UtilisateurClick() {
    return ChoixSignal(true);
}

ResultatGene PanneauGene::Sweep1Click() {
    ModeSweep();
    controles_.Predefini = controles_.Utilisateur = false;
    controles_.Sweep1 = true;
    ResultatGene r;
    r.Minuterie = false;
    return r;
}

ResultatGene PanneauGene::ComboBoxPredefChange(int32_t index) {
    if (index < 0 || index >= NbFormes) return {};
    Champs.Predefini = index;
    controles_.Label4 = controles_.EditFreq = index != BruitBlanc;
    return CalculeSignal();
}

ResultatGene PanneauGene::CalculClick() {
    return CalculeSignal();
}

ResultatGene PanneauGene::GoClick() {
    ModeDesChamps();
    return contexte_.Gene->Boucle.JoueSignal(Champs);
}

void PanneauGene::StopClick() {
    contexte_.Gene->Boucle.StopClick();
}

ResultatGene PanneauGene::GoSweepClick() {
    return contexte_.Gene->Balayage.GoSweepClick(ChampsBalayage);
}

ResultatGene PanneauGene::StopSweepClick() {
    return contexte_.Gene->Balayage.StopSweepClick();
}

void PanneauGene::ButtonPauseClick() {
    contexte_.Gene->Balayage.ButtonPauseClick();
}

ResultatGene PanneauGene::Timer1Timer() {
    return contexte_.Gene->Balayage.Timer1Timer();
}

ResultatGene PanneauGene::ToucheEntree() {
    if (controles_.Sweep1) return GoSweepClick();
    if (EnLecture()) return GoClick();
    return CalculeSignal();
}

char PanneauGene::CaractereSaisi(char c) {
    return c == '.' ? platform::SeparateurDecimal() : c;
}

void PanneauGene::ChangeConfiguration(const ConfigurationSortie& configuration) {
    configuration_ = configuration;
    if (contexte_.Gene->Sortie.SortieOuverte)
        sortieEnAttente_ = true;
    else
        AppliqueSortie();
}

} // namespace generator
