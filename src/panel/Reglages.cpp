#include "panel/Reglages.h"

#include "platform/Locale.h"

#include <algorithm>

namespace panel {
namespace {

using platform::FichierIni;

constexpr const char* SectionFenetreControl = "FenetreControl";
constexpr const char* SectionDefaut = "Defaut";
constexpr const char* SectionOptions = "Options";
constexpr const char* SectionEcran = "Ecran";
constexpr const char* SectionCurseurs = "Curseurs";
constexpr const char* SectionFenetreOptions = "FenetreOptions";
constexpr const char* SectionFenetreGene = "FenêtreGéné";
constexpr const char* SectionGenerateur = "Générateur";
constexpr const char* SectionOptionsGene = "OptionsGéné";
constexpr const char* SectionFenetreOptionsGene = "FenêtreOptionsGéné";

// Most samples per channel that the buffer file can take (all of Bruts).
constexpr int32_t MaxEchFichierTampon = engine::NbBruts;

// An integer that indexes a menu or table, or that the engine uses unchecked: out of
// range, it becomes the nearest valid value.
int32_t LitBorne(const FichierIni& ini, const char* section, const char* cle, int32_t defaut,
                 int32_t min, int32_t max) {
    return std::clamp(ini.LitEntier(section, cle, defaut), min, max);
}

PositionFenetre LitPosition(const FichierIni& ini, const char* section, PositionFenetre defaut) {
    return {ini.LitEntier(section, "Gauche", defaut.Gauche),
            ini.LitEntier(section, "Haut", defaut.Haut)};
}

void EcritPosition(FichierIni& ini, const char* section, const PositionFenetre& position) {
    ini.EcritEntier(section, "Gauche", position.Gauche);
    ini.EcritEntier(section, "Haut", position.Haut);
}

void LitDefaut(const FichierIni& ini, ReglagesControle& r) {
    const char* s = SectionDefaut;
    r.InitialMetaDir = ini.LitTexte(s, "InitialMetaDir", "");
    r.InitialWavDir = ini.LitTexte(s, "InitialWavDir", "");
    // The signal dialogs have two filters; 0 and 1 both name the first.
    r.InitialWavType = LitBorne(ini, s, "InitialWavType", 0, 0, 2);
    r.EchelleT = LitBorne(ini, s, "EchelleT", 0, -3, 3);
    r.EchelleF = LitBorne(ini, s, "EchelleF", 0, -3, 3);
    r.EchelleX = LitBorne(ini, s, "EchelleX", 100, 0, 100);
    r.DeplaceX = LitBorne(ini, s, "DeplaceX", 0, -100, 100);
    r.DecalageT = LitBorne(ini, s, "DecalageT", 0, 0, engine::MaxDepF);
    r.DecalageF = LitBorne(ini, s, "DecalageF", 0, 0, engine::MaxDepF);
    r.Spectre = ini.LitBooleen(s, "Spectre", false);
    r.PleinEcran = ini.LitBooleen(s, "PleinEcran", false);
    r.VisibleGene = ini.LitBooleen(s, "VisibleGene", false);
    r.TypeSynchro =
        LitBorne(ini, s, "TypeSynchro", engine::Universelle, engine::Aucune, engine::DeclUnique);
    r.DeclPos = LitBorne(ini, s, "DeclPos", 0, -100, 100);
    r.CurseursVerticaux = ini.LitBooleen(s, "CurseursVerticaux", false);
    r.CurseursHorizontaux = ini.LitBooleen(s, "CurseursHorizontaux", false);
    r.CurseursActifs = ini.LitBooleen(s, "CurseursActifs", false);
    r.Ralenti = LitBorne(ini, s, "Ralenti", 0, 0, 7);
    r.RalentiSpectre = LitBorne(ini, s, "RalentiSpectre", 0, 0, 4);
    r.CurseursdB = ini.LitBooleen(s, "CurseursdB", false);
}

// The input settings, checked in reading order against the device tables.
ValeursEntree LitEntree(const FichierIni& ini, const ContexteEntree& contexte) {
    const char* s = SectionOptions;
    const engine::TablesEntrees& tables = contexte.Tables;
    ValeursEntree e;
    e.TypeEntree = LitBorne(ini, s, "TypeEntree", 1, 0, 1);
    if (!contexte.DirectSoundDispo) e.TypeEntree = 0;

    e.NoEntree = ini.LitEntier(s, "NoEntree", -1);
    const int32_t nbEntrees = e.TypeEntree == 0 ? tables.NbEntreesWave : tables.NbEntreesDS;
    if (e.NoEntree < -1 || e.NoEntree >= nbEntrees || e.NoEntree >= engine::MaxEntrees ||
        tables.MeilleurFe[engine::TablesEntrees::Indice(e.NoEntree)] < 0)
        e.NoEntree = -1;

    e.Fe = ini.LitEntier(s, "Fe", 44100);
    // A default device that accepted no rate leaves the rate to the driver's fall-backs.
    const int32_t meilleur = tables.MeilleurFe[engine::TablesEntrees::Indice(e.NoEntree)];
    if (meilleur >= 0 && meilleur < engine::NbFe && e.Fe > engine::TableFe[meilleur])
        e.Fe = engine::TableFe[meilleur];

    e.Canal = ini.LitEntier(s, "Canal", 1) & 3;
    e.CanalSync = LitBorne(ini, s, "CanalSync", 0, 0, 1);
    e.Stereo = ini.LitBooleen(s, "Stéréo", false);
    e.VSync = ini.LitEntier(s, "VSync", 2) & contexte.VSyncDispo;
    e.UtiliseFichierTampon = ini.LitBooleen(s, "UtiliseFichierTampon", false);
    e.FichierTampon = ini.LitTexte(s, "FichierTampon", "Tamburella.csv");
    e.NbEchFichierTampon = LitBorne(ini, s, "NbEchFichierTampon", 1000, 1, MaxEchFichierTampon);
    return e;
}

void LitOptions(const FichierIni& ini, const ContexteEntree& contexte, ReglagesControle& r) {
    const char* s = SectionOptions;
    r.Proportions = ini.LitBooleen(s, "Proportions", false);
    r.Position = ini.LitBooleen(s, "Position", false);
    r.Curseurs = ini.LitBooleen(s, "Curseurs", false);
    r.Grille = ini.LitBooleen(s, "Grille", false);
    // The export divides by them.
    r.HautGraph = std::max(ini.LitEntier(s, "HautGraph", 120), 1);
    r.LargGraph = std::max(ini.LitEntier(s, "LargGraph", 150), 1);
    r.FenetreTFR = LitBorne(ini, s, "FenetreTFR", 0, 0, 4);
    r.NbPointsTFR = LitBorne(ini, s, "NbPointsTFR", 0, 0, 3);
    r.SurEchTFR = LitBorne(ini, s, "SurEchTFR", 0, 0, 3);
    r.Bulles = ini.LitBooleen(s, "Bulles", true);
    r.Entree = LitEntree(ini, contexte);
}

} // namespace

void AppliqueEntree(const ValeursEntree& v, engine::ReglagesEntree& e) {
    constexpr auto relache = std::memory_order_relaxed;
    e.TypeEntree.store(v.TypeEntree, relache);
    e.NoEntree.store(v.NoEntree, relache);
    e.Fe.store(v.Fe, relache);
    e.Canal.store(v.Canal, relache);
    e.CanalSync.store(v.CanalSync, relache);
    e.Stereo.store(v.Stereo, relache);
    e.VSync.store(v.VSync, relache);
    e.UtiliseFichierTampon.store(v.UtiliseFichierTampon, relache);
    e.FichierTampon.Ecrire(v.FichierTampon);
    e.NbEchFichierTampon.store(v.NbEchFichierTampon, relache);
}

ValeursEntree CopieEntree(const engine::ReglagesEntree& e) {
    constexpr auto relache = std::memory_order_relaxed;
    ValeursEntree v;
    v.TypeEntree = e.TypeEntree.load(relache);
    v.NoEntree = e.NoEntree.load(relache);
    v.Fe = e.Fe.load(relache);
    v.Canal = e.Canal.load(relache);
    v.CanalSync = e.CanalSync.load(relache);
    v.Stereo = e.Stereo.load(relache);
    v.VSync = e.VSync.load(relache);
    v.UtiliseFichierTampon = e.UtiliseFichierTampon.load(relache);
    v.FichierTampon = e.FichierTampon.Lire();
    v.NbEchFichierTampon = e.NbEchFichierTampon.load(relache);
    return v;
}

ReglagesControle LitReglagesControle(const FichierIni& ini, const ContexteEntree& contexte) {
    ReglagesControle r;
    r.Fenetre = LitPosition(ini, SectionFenetreControl, r.Fenetre);
    LitDefaut(ini, r);
    LitOptions(ini, contexte, r);
    return r;
}

void EcritReglages(FichierIni& ini, const ReglagesControle& r) {
    ini.EffaceSection(SectionFenetreControl);
    EcritPosition(ini, SectionFenetreControl, r.Fenetre);

    const char* s = SectionDefaut;
    ini.EffaceSection(s);
    ini.EcritTexte(s, "InitialMetaDir", r.InitialMetaDir);
    ini.EcritTexte(s, "InitialWavDir", r.InitialWavDir);
    ini.EcritEntier(s, "InitialWavType", r.InitialWavType);
    ini.EcritEntier(s, "EchelleT", r.EchelleT);
    ini.EcritEntier(s, "EchelleF", r.EchelleF);
    ini.EcritEntier(s, "EchelleX", r.EchelleX);
    ini.EcritEntier(s, "DeplaceX", r.DeplaceX);
    ini.EcritEntier(s, "DecalageT", r.DecalageT);
    ini.EcritEntier(s, "DecalageF", r.DecalageF);
    ini.EcritBooleen(s, "Spectre", r.Spectre);
    ini.EcritBooleen(s, "PleinEcran", r.PleinEcran);
    ini.EcritBooleen(s, "VisibleGene", r.VisibleGene);
    ini.EcritEntier(s, "TypeSynchro", r.TypeSynchro);
    ini.EcritEntier(s, "DeclPos", r.DeclPos);
    ini.EcritBooleen(s, "CurseursVerticaux", r.CurseursVerticaux);
    ini.EcritBooleen(s, "CurseursHorizontaux", r.CurseursHorizontaux);
    ini.EcritBooleen(s, "CurseursActifs", r.CurseursActifs);
    ini.EcritEntier(s, "Ralenti", r.Ralenti);
    ini.EcritEntier(s, "RalentiSpectre", r.RalentiSpectre);
    ini.EcritBooleen(s, "CurseursdB", r.CurseursdB);

    s = SectionOptions;
    const ValeursEntree& e = r.Entree;
    ini.EffaceSection(s);
    ini.EcritBooleen(s, "Proportions", r.Proportions);
    ini.EcritBooleen(s, "Position", r.Position);
    ini.EcritBooleen(s, "Curseurs", r.Curseurs);
    ini.EcritBooleen(s, "Grille", r.Grille);
    ini.EcritEntier(s, "HautGraph", r.HautGraph);
    ini.EcritEntier(s, "LargGraph", r.LargGraph);
    ini.EcritEntier(s, "FenetreTFR", r.FenetreTFR);
    ini.EcritEntier(s, "NbPointsTFR", r.NbPointsTFR);
    ini.EcritEntier(s, "SurEchTFR", r.SurEchTFR);
    ini.EcritBooleen(s, "Bulles", r.Bulles);
    ini.EcritEntier(s, "TypeEntree", e.TypeEntree);
    ini.EcritEntier(s, "NoEntree", e.NoEntree);
    ini.EcritEntier(s, "Fe", e.Fe);
    ini.EcritEntier(s, "Canal", e.Canal);
    ini.EcritEntier(s, "CanalSync", e.CanalSync);
    ini.EcritBooleen(s, "Stéréo", e.Stereo);
    ini.EcritEntier(s, "VSync", e.VSync);
    ini.EcritBooleen(s, "UtiliseFichierTampon", e.UtiliseFichierTampon);
    ini.EcritTexte(s, "FichierTampon", e.FichierTampon);
    ini.EcritEntier(s, "NbEchFichierTampon", e.NbEchFichierTampon);
}

GeometrieFenetre LitEcran(const FichierIni& ini, const GeometrieFenetre& controle) {
    const char* s = SectionEcran;
    GeometrieFenetre g;
    g.Gauche = ini.LitEntier(s, "Gauche", controle.Gauche);
    g.Haut = ini.LitEntier(s, "Haut", controle.Haut + controle.Hauteur + 2);
    g.Largeur = ini.LitEntier(s, "Largeur", controle.Largeur);
    g.Hauteur = ini.LitEntier(s, "Hauteur", controle.Largeur);
    return g;
}

PositionsCurseurs LitCurseurs(const FichierIni& ini, int32_t hauteurClient, int32_t largeurClient) {
    const char* s = SectionCurseurs;
    PositionsCurseurs c;
    c.Xcurs1 = ini.LitEntier(s, "Xcurs1", hauteurClient / 3);
    c.Xcurs2 = ini.LitEntier(s, "Xcurs2", 2 * hauteurClient / 3);
    c.Ycurs1 = ini.LitEntier(s, "Ycurs1", largeurClient / 3);
    c.Ycurs2 = ini.LitEntier(s, "Ycurs2", 2 * largeurClient / 3);
    return c;
}

void EcritReglages(FichierIni& ini, const ReglagesScope& r) {
    if (r.Ecran) {
        const char* s = SectionEcran;
        ini.EffaceSection(s);
        ini.EcritEntier(s, "Gauche", r.Ecran->Gauche);
        ini.EcritEntier(s, "Haut", r.Ecran->Haut);
        ini.EcritEntier(s, "Largeur", r.Ecran->Largeur);
        ini.EcritEntier(s, "Hauteur", r.Ecran->Hauteur);
    }
    const char* s = SectionCurseurs;
    ini.EffaceSection(s);
    ini.EcritEntier(s, "Xcurs1", r.Curseurs.Xcurs1);
    ini.EcritEntier(s, "Xcurs2", r.Curseurs.Xcurs2);
    ini.EcritEntier(s, "Ycurs1", r.Curseurs.Ycurs1);
    ini.EcritEntier(s, "Ycurs2", r.Curseurs.Ycurs2);
}

ReglagesOptions LitReglagesOptions(const FichierIni& ini) {
    ReglagesOptions r;
    r.Fenetre = LitPosition(ini, SectionFenetreOptions, r.Fenetre);
    r.PageIndex = LitBorne(ini, SectionFenetreOptions, "PageIndex", 0, 0, 3);
    return r;
}

void EcritReglages(FichierIni& ini, const ReglagesOptions& r) {
    ini.EffaceSection(SectionFenetreOptions);
    EcritPosition(ini, SectionFenetreOptions, r.Fenetre);
    ini.EcritEntier(SectionFenetreOptions, "PageIndex", r.PageIndex);
}

std::string NiveauParDefaut() {
    return std::string("0") + platform::SeparateurDecimal() + "95";
}

ReglagesGene LitReglagesGene(const FichierIni& ini, const ContexteSortie& contexte) {
    ReglagesGene r;
    r.Fenetre = LitPosition(ini, SectionFenetreGene, r.Fenetre);

    const char* s = SectionGenerateur;
    r.Predefini = LitBorne(ini, s, "Predefini", 0, 0, 5);
    r.Choix = LitBorne(ini, s, "Choix", 0, 0, 2);
    r.Frequence = ini.LitTexte(s, "Fréquence", r.Frequence);
    r.Niveau = ini.LitTexte(s, "Niveau", r.Niveau);
    r.Fonction = ini.LitTexte(s, "Fonction", r.Fonction);
    r.f1 = ini.LitTexte(s, "f1", r.f1);
    r.f2 = ini.LitTexte(s, "f2", r.f2);
    r.Duree = ini.LitTexte(s, "Durée", r.Duree);
    r.NiveauSweep = ini.LitTexte(s, "NiveauSweep", r.NiveauSweep);
    r.a = ini.LitTexte(s, "a", r.a);
    r.b = ini.LitTexte(s, "b", r.b);

    s = SectionOptionsGene;
    const int32_t nbSorties = std::clamp(contexte.NbSorties, 0, engine::MaxEntrees);
    r.NoSortie = ini.LitEntier(s, "NoSortie", -1);
    if (r.NoSortie < -1 || r.NoSortie >= nbSorties) r.NoSortie = -1;
    r.Fe = ini.LitEntier(s, "Fe", 44100);
    const int32_t meilleur = contexte.MeilleurFeSortie[static_cast<size_t>(r.NoSortie + 1)];
    // A device that accepted no rate at all keeps the rate read.
    if (contexte.AccepteFe && !contexte.AccepteFe(r.NoSortie, r.Fe) && meilleur >= 0 &&
        meilleur < engine::NbFe)
        r.Fe = engine::TableFe[meilleur];
    r.CanalSync = ini.LitBooleen(s, "CanalSync", false);
    return r;
}

void EcritReglages(FichierIni& ini, const ReglagesGene& r) {
    ini.EffaceSection(SectionFenetreGene);
    EcritPosition(ini, SectionFenetreGene, r.Fenetre);

    const char* s = SectionGenerateur;
    ini.EffaceSection(s);
    ini.EcritEntier(s, "Predefini", r.Predefini);
    ini.EcritEntier(s, "Choix", r.Choix);
    ini.EcritTexte(s, "Fréquence", r.Frequence);
    ini.EcritTexte(s, "Niveau", r.Niveau);
    ini.EcritTexte(s, "Fonction", r.Fonction);
    ini.EcritTexte(s, "f1", r.f1);
    ini.EcritTexte(s, "f2", r.f2);
    ini.EcritTexte(s, "Durée", r.Duree);
    ini.EcritTexte(s, "NiveauSweep", r.NiveauSweep);
    ini.EcritTexte(s, "a", r.a);
    ini.EcritTexte(s, "b", r.b);

    s = SectionOptionsGene;
    ini.EffaceSection(s);
    ini.EcritEntier(s, "NoSortie", r.NoSortie);
    ini.EcritEntier(s, "Fe", r.Fe);
    ini.EcritBooleen(s, "CanalSync", r.CanalSync);
}

ReglagesGeneOptions LitReglagesGeneOptions(const FichierIni& ini) {
    return {LitPosition(ini, SectionFenetreOptionsGene, ReglagesGeneOptions{}.Fenetre)};
}

void EcritReglages(FichierIni& ini, const ReglagesGeneOptions& r) {
    ini.EffaceSection(SectionFenetreOptionsGene);
    EcritPosition(ini, SectionFenetreOptionsGene, r.Fenetre);
}

} // namespace panel
