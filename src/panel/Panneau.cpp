#include "panel/Panneau.h"

#include "dsp/Fft.h"
#include "engine/Frequentiel.h"

#include <algorithm>
#include <cmath>

namespace panel {

namespace {

constexpr auto Relache = std::memory_order_relaxed;

// Nearest integer, halves to even.
int32_t Arrondi(double x) {
    return static_cast<int32_t>(std::lrint(x));
}

} // namespace

void Barre::Place(int32_t position) {
    Position = std::clamp(position, Min, Max);
}

Panneau::Panneau(engine::ReglagesAffichage& affichage, engine::ReglagesEntree& entree)
    : a_(affichage), entree_(entree) {
    // Nothing is active until a cursor pair is shown.
    VertCurseurs.Actif = false;
    LabelCurseursActifs.Texte.clear();
}

template <size_t N>
void Panneau::CocheSeul(std::array<Commande, N>& items, int32_t tag) {
    for (size_t i = 0; i < N; ++i)
        items[i].Coche = static_cast<int32_t>(i) == tag;
}

bool Panneau::EnMarche() const {
    return scope_ && !scope_->EnPause();
}

bool Panneau::Declenche() const {
    const int32_t t = a_.TypeSynchro.load(Relache);
    return t == engine::Declenchement || t == engine::DeclUnique;
}

int32_t Panneau::TailleTFR() const {
    return 2048 >> std::clamp(Reglages.NbPointsTFR, 0, 3);
}

double Panneau::FacteurT() const {
    return engine::PuissanceDeux(a_.EchelleT.load(Relache));
}

double Panneau::FacteurF() const {
    return engine::PuissanceDeux(a_.EchelleF.load(Relache) + a_.SurEchTFR.load(Relache));
}

// ---------------------------------------------------------------------------------------
// Settings

void Panneau::ChargeReglages(const ReglagesControle& lus) {
    Reglages = lus;
    // "EchelleT", "EchelleF"
    a_.EchelleT.store(lus.EchelleT, Relache);
    EchelleHor.Place(lus.EchelleT);
    a_.EchelleF.store(lus.EchelleF, Relache);
    // "EchelleX"
    EchelleVert.Place(lus.EchelleX);
    a_.PleineEchelle.store(engine::PleineEchellePour(EchelleVert.Position), Relache);
    // "DeplaceX", "DecalageT", "DecalageF"
    a_.DeplaceX.store(lus.DeplaceX, Relache);
    ZeroBar.Place(lus.DeplaceX);
    a_.DecalageT.store(lus.DecalageT, Relache);
    a_.DecalageF.store(lus.DecalageF, Relache);
    // "Spectre"
    SpectreBoutonChange(lus.Spectre);
    trackbarDepF.Place(Spectre() ? lus.DecalageF : lus.DecalageT);
    // "TypeSynchro": the value read, then the handler of its item.
    a_.TypeSynchro.store(lus.TypeSynchro, Relache);
    switch (lus.TypeSynchro) {
    case engine::Aucune:
        MenuItemSyncNoneClick();
        break;
    case engine::Universelle:
        Synchrouniverselle1Click();
        break;
    case engine::Declenchement:
        Dclenchement1Click();
        break;
    case engine::DeclUnique:
        MenuItemSyncMemoireClick();
        break;
    default:
        break;
    }
    // "DeclPos"
    TrackBarNivDecl.Place(lus.DeclPos);
    a_.PositionNivDecl.store(TrackBarNivDecl.Position, Relache);
    // The edge always starts rising; it is not saved.
    Frontmontant1Click();
    // Cursors
    if (lus.CurseursVerticaux) CurseursVerticaux1Click();
    if (lus.CurseursHorizontaux) Curseurshorizontaux1Click();
    VertCurseursChange(lus.CurseursActifs);
    // The level, whatever the synchronisation mode.
    CalculeNiveauDecl();
    MontreNiveau();
    // Slow-downs, dB
    a_.Ralenti.store(lus.Ralenti, Relache);
    CocheSeul(ItemsRalenti, lus.Ralenti);
    a_.RalentiSpectre.store(lus.RalentiSpectre, Relache);
    CocheSeul(ItemsRalentiSpectre, lus.RalentiSpectre);
    MenuItemdb.Coche = lus.CurseursdB;
    // "Options": FFT
    a_.SurEchTFR.store(lus.SurEchTFR, Relache);
    CocheSeul(ItemsPoints, lus.NbPointsTFR);
    CocheSeul(ItemsFenetre, lus.FenetreTFR);
    CocheSeul(ItemsSurEch, lus.SurEchTFR);
    InitTFR(lus.FenetreTFR, 11 - lus.NbPointsTFR);
    // Input settings (already checked against the tables when read).
    AppliqueEntree(lus.Entree, entree_);
    MenuItemDroiteAffiche.Coche = (lus.Entree.Canal & 2) != 0;
    MenuItemGaucheAffiche.Coche = (lus.Entree.Canal & 1) != 0;
    MenuItemSyncDroite.Coche = lus.Entree.CanalSync == 1;
    MenuItemSyncGauche.Coche = !MenuItemSyncDroite.Coche;
    if (!lus.Entree.Stereo)
        MenuItemSyncGauche.Actif = MenuItemSyncDroite.Actif = MenuItemGaucheAffiche.Actif =
            MenuItemDroiteAffiche.Actif = false;
}

ReglagesControle Panneau::Sauvegarde(PositionFenetre fenetre) const {
    ReglagesControle r = Reglages;
    r.Fenetre = fenetre;
    r.EchelleT = a_.EchelleT.load(Relache);
    r.EchelleF = a_.EchelleF.load(Relache);
    r.EchelleX = EchelleVert.Position;
    r.DeplaceX = ZeroBar.Position;
    r.DecalageT = a_.DecalageT.load(Relache);
    r.DecalageF = a_.DecalageF.load(Relache);
    r.Spectre = SpectreBouton.Coche;
    r.PleinEcran = PEcran.Coche;
    r.TypeSynchro = a_.TypeSynchro.load(Relache);
    r.DeclPos = TrackBarNivDecl.Position;
    r.CurseursVerticaux = CurseursVerticaux1.Coche;
    r.CurseursHorizontaux = CurseursHorizontaux1.Coche;
    r.CurseursActifs = VertCurseurs.Coche;
    r.Ralenti = a_.Ralenti.load(Relache);
    r.RalentiSpectre = a_.RalentiSpectre.load(Relache);
    r.CurseursdB = MenuItemdb.Coche;
    r.SurEchTFR = a_.SurEchTFR.load(Relache);
    r.Entree = CopieEntree(entree_);
    return r;
}

// ---------------------------------------------------------------------------------------
// Shared steps

void Panneau::CalculeNiveauDecl() {
    const double p = TrackBarNivDecl.Position, pmin = TrackBarNivDecl.Min,
                 pmax = TrackBarNivDecl.Max;
    const double pleine = a_.PleineEchelle.load(Relache);
    const double deplace = a_.DeplaceX.load(Relache);
    a_.NiveauDecl.store(Arrondi((2 * deplace + p - pmin) / (pmax - pmin) * 2 * pleine - pleine),
                        Relache);
}

void Panneau::MontreNiveau() {
    LabelNivDecl.Texte = TexteNiveauDecl(a_.NiveauDecl.load(Relache));
}

void Panneau::EffaceNiveau() {
    LabelNivDecl.Texte.clear();
}

void Panneau::MontreNiveauSiDeclenche() {
    if (!Spectre() && Declenche()) MontreNiveau();
}

void Panneau::RecalculeImage() {
    if (scope_ && scope_->EnPause()) scope_->RecalculeImage();
}

void Panneau::RetraceImage() {
    if (scope_ && scope_->EnPause()) scope_->RetraceImage();
}

void Panneau::Calibrer() {
    if (scope_) scope_->Calibrer();
}

void Panneau::InitTFR(int32_t fenetre, int32_t exposant) {
    // While the scope exists a thread may be transforming: rebuild under the engine lock.
    if (scope_)
        engine::ReinitTFR(scope_->Etat(), fenetre, exposant);
    else
        dsp::InitTFR(fenetre, exposant);
}

void Panneau::PlaceDebutSpectre() {
    const int32_t S = (TailleTFR() / 2) << std::clamp(a_.SurEchTFR.load(Relache), 0, 3);
    // The points shown: the client width, within the trace's capacity (a wider window
    // shows no more of the spectrum).
    const int32_t M = std::min({S, std::max(scope_->LargeurClient(), 1), engine::LargeurMax});
    const double position = a_.DecalageF.load(Relache);
    scope_->Etat().DebutSpectre.store(Arrondi(std::max(S - M, 0) * position / engine::MaxDepF),
                                      Relache);
}

void Panneau::AfficheMesures() {
    if (!scope_) return;
    const MesuresScope m = scope_->Mesures();
    EntreesMesures e;
    e.Spectre = Spectre();
    e.CurseursVerticaux = CurseursVerticaux1.Coche;
    e.CurseursHorizontaux = CurseursHorizontaux1.Coche;
    e.Decibels = MenuItemdb.Coche;
    e.Xcurs1 = m.Xcurs1;
    e.Xcurs2 = m.Xcurs2;
    e.Ycurs1 = m.Ycurs1;
    e.Ycurs2 = m.Ycurs2;
    e.HauteurClient = m.HauteurClient;
    e.PasX = m.PasX;
    e.PasY = m.PasY;
    e.FeCourante = entree_.FeCourante.load(Relache);
    // A window wider than the trace spreads each point over more than one column.
    e.FacteurT = FacteurT() / (e.Spectre ? 1.0 : m.PixelsParPoint);
    e.FacteurF = FacteurF();
    e.TailleTFR = TailleTFR();
    e.DebutSpectre = m.DebutSpectre;
    e.PleineEchelle = a_.PleineEchelle.load(Relache);
    Legendes l = LegendesMesures(e);
    LabelH.Texte = std::move(l.LabelH);
    LabelV.Texte = std::move(l.LabelV);
}

// ---------------------------------------------------------------------------------------
// Track bars

void Panneau::EchelleVertChange(int32_t position) {
    EchelleVert.Place(position);
    a_.PleineEchelle.store(engine::PleineEchellePour(EchelleVert.Position), Relache);
    CalculeNiveauDecl();
    MontreNiveauSiDeclenche();
    Calibrer();
    RetraceImage();
    AfficheMesures();
}

void Panneau::EchelleHorChange(int32_t position) {
    EchelleHor.Place(position);
    (Spectre() ? a_.EchelleF : a_.EchelleT).store(EchelleHor.Position, Relache);
    Calibrer();
    RecalculeImage();
    AfficheMesures();
}

void Panneau::ZeroBarChange(int32_t position) {
    ZeroBar.Place(position);
    if (!Spectre()) a_.DeplaceX.store(ZeroBar.Position, Relache);
    CalculeNiveauDecl();
    MontreNiveauSiDeclenche();
    RetraceImage();
}

void Panneau::ZeroBarKeyPress(char touche) {
    if (touche == '0') ZeroBarChange(0);
}

void Panneau::trackbarDepFChange(int32_t position) {
    trackbarDepF.Place(position);
    (Spectre() ? a_.DecalageF : a_.DecalageT).store(trackbarDepF.Position, Relache);
    if (scope_) {
        PlaceDebutSpectre();
        if (scope_->EnPause()) {
            const double decalage = a_.DecalageT.load(Relache);
            scope_->Etat().PosDecl.store(
                Arrondi(scope_->PointsTrace() * decalage / engine::MaxDepF), Relache);
        }
    }
    AfficheMesures();
    RetraceImage();
}

void Panneau::TrackBarNivDeclChange(int32_t position) {
    TrackBarNivDecl.Place(position);
    a_.PositionNivDecl.store(TrackBarNivDecl.Position, Relache);
    CalculeNiveauDecl();
    MontreNiveauSiDeclenche();
}

// ---------------------------------------------------------------------------------------
// Pause, full screen, mode

void Panneau::PauseMouseDown(Bouton bouton) {
    // Only the left button toggles; another press must never start a second loop.
    if (bouton != Bouton::Gauche) return;
    if (!Pause.Bas) {
        if (scope_) scope_->Arreter();
        Pause.Texte = "Go";
        FreqR.Texte = "Pause";
        Pause.Bas = true;
    } else {
        if (scope_) scope_->Reprendre();
        EchelleHor.Actif = true;
        SpectreBouton.Actif = true;
        Pause.Texte = "Pause";
        Pause.Bas = false;
    }
}

void Panneau::EtatPause() {
    Pause.Bas = true;
    Pause.Texte = "Go";
    FreqR.Texte = "Pause";
}

void Panneau::LegendeFreqR(const char* texte) {
    FreqR.Texte = texte;
}

void Panneau::DesactiveDepF() {
    trackbarDepF.Actif = false;
}

void Panneau::ReactiveDepF(int32_t position) {
    trackbarDepF.Place(position);
    trackbarDepF.Actif = true;
}

void Panneau::PleinEcranApplique(bool plein) {
    Pleincran1.Coche = plein;
    if (scope_) scope_->PleinEcran(plein);
}

void Panneau::PEcranChange(bool coche) {
    if (coche == PEcran.Coche) return;
    PEcran.Coche = coche;
    PleinEcranApplique(coche);
}

void Panneau::Pleincran1Click() {
    if (PEcran.Coche) {
        Pleincran1.Coche = false;
        PEcranChange(false);
    } else {
        Pleincran1.Coche = true;
        PEcranChange(true);
    }
}

void Panneau::SpectreBoutonChange(bool coche) {
    if (coche == SpectreBouton.Coche) return;
    SpectreBouton.Coche = coche;
    a_.SpectreBouton.store(coche, Relache);
    if (coche) {
        Spectre2.Coche = true;
        Signal2.Coche = false;
        EchelleHor.Place(a_.EchelleF.load(Relache));
        trackbarDepF.Place(a_.DecalageF.load(Relache));
        trackbarDepF.Actif = true;
        LabelEchelleHor.Texte = "Echelle f";
        LabelDeplaceHor = {"Deplace f", true};
        LabelDeplaceVert.Actif = false;
        ZeroBar.Actif = false;
        LabelSignal.Texte = "Spectre";
        TrackBarNivDecl.Actif = false;
        LabelNivDec.Actif = false;
        EffaceNiveau();
    } else {
        Signal2.Coche = true;
        Spectre2.Coche = false;
        EchelleHor.Place(a_.EchelleT.load(Relache));
        trackbarDepF.Place(a_.DecalageT.load(Relache));
        LabelEchelleHor.Texte = "Echelle t";
        LabelDeplaceHor.Texte = "Deplace t";
        LabelDeplaceVert.Actif = true;
        ZeroBar.Actif = true;
        LabelSignal.Texte = "Signal";
        if (Declenche()) {
            TrackBarNivDecl.Actif = true;
            LabelNivDec.Actif = true;
            MontreNiveau();
        } else if (a_.TypeSynchro.load(Relache) == engine::Universelle && !Pause.Bas) {
            // The thread places the trace itself.
            trackbarDepF.Actif = false;
        }
    }
    if (scope_) {
        Calibrer();
        RecalculeImage();
        AfficheMesures();
    }
}

void Panneau::Signal2Click() {
    Signal2.Coche = true;
    Spectre2.Coche = false;
    SpectreBoutonChange(false);
    RecalculeImage();
}

void Panneau::Spectre2Click() {
    Spectre2.Coche = true;
    Signal2.Coche = false;
    SpectreBoutonChange(true);
    RecalculeImage();
}

// ---------------------------------------------------------------------------------------
// Synchronisation, edge, channels, slow-down

void Panneau::CocheSynchro(Commande& item) {
    for (Commande* c :
         {&Synchrouniverselle1, &Dclenchement1, &MenuItemSyncNone, &MenuItemSyncMemoire})
        c->Coche = c == &item;
    a_.Synchrouniverselle1.store(&item == &Synchrouniverselle1, Relache);
}

void Panneau::Synchrouniverselle1Click() {
    a_.TypeSynchro.store(engine::Universelle, Relache);
    CocheSynchro(Synchrouniverselle1);
    if (EnMarche()) trackbarDepF.Actif = false;
    Frontmontant1.Actif = FrontDescendant1.Actif = false;
    if (entree_.Stereo.load(Relache)) MenuItemSyncGauche.Actif = MenuItemSyncDroite.Actif = true;
    TrackBarNivDecl.Actif = LabelNivDec.Actif = false;
    EffaceNiveau();
}

void Panneau::Dclenchement1Click() {
    a_.TypeSynchro.store(engine::Declenchement, Relache);
    CocheSynchro(Dclenchement1);
    trackbarDepF.Actif = true;
    Frontmontant1.Actif = FrontDescendant1.Actif = true;
    if (entree_.Stereo.load(Relache)) MenuItemSyncGauche.Actif = MenuItemSyncDroite.Actif = true;
    if (!Spectre()) {
        TrackBarNivDecl.Actif = LabelNivDec.Actif = true;
        MontreNiveau();
    }
}

void Panneau::MenuItemSyncNoneClick() {
    a_.TypeSynchro.store(engine::Aucune, Relache);
    CocheSynchro(MenuItemSyncNone);
    trackbarDepF.Actif = true;
    Frontmontant1.Actif = FrontDescendant1.Actif = false;
    MenuItemSyncGauche.Actif = MenuItemSyncDroite.Actif = false;
    TrackBarNivDecl.Actif = LabelNivDec.Actif = false;
    EffaceNiveau();
}

void Panneau::MenuItemSyncMemoireClick() {
    a_.TypeSynchro.store(engine::DeclUnique, Relache);
    CocheSynchro(MenuItemSyncMemoire);
    trackbarDepF.Actif = true;
    Frontmontant1.Actif = FrontDescendant1.Actif = true;
    if (entree_.Stereo.load(Relache)) MenuItemSyncGauche.Actif = MenuItemSyncDroite.Actif = true;
    if (!Spectre()) {
        TrackBarNivDecl.Actif = LabelNivDec.Actif = true;
        MontreNiveau();
    }
}

void Panneau::Frontmontant1Click() {
    a_.SensFront.store(1, Relache);
    Frontmontant1.Coche = true;
    FrontDescendant1.Coche = false;
}

void Panneau::FrontDescendant1Click() {
    a_.SensFront.store(-1, Relache);
    FrontDescendant1.Coche = true;
    Frontmontant1.Coche = false;
}

void Panneau::MenuItemSyncCanalClick(int32_t tag) {
    MenuItemSyncGauche.Coche = tag == 0;
    MenuItemSyncDroite.Coche = tag == 1;
    entree_.CanalSync.store(tag == 1 ? 1 : 0, Relache);
}

void Panneau::MenuItemCanalAfficheClick(int32_t tag) {
    Commande& item = tag == 2 ? MenuItemDroiteAffiche : MenuItemGaucheAffiche;
    const int32_t bit = tag == 2 ? 2 : 1;
    const int32_t canal = entree_.Canal.load(Relache);
    if (item.Coche) {
        entree_.Canal.store(canal & ~bit, Relache);
        item.Coche = false;
    } else {
        entree_.Canal.store(canal | bit, Relache);
        item.Coche = true;
    }
    RecalculeImage();
}

void Panneau::MenuItemRalentisseurSClick(int32_t tag) {
    tag = std::clamp(tag, 0, 7);
    CocheSeul(ItemsRalenti, tag);
    a_.Ralenti.store(tag, Relache);
}

void Panneau::MenuItemRalentisseurSpectreClick(int32_t tag) {
    tag = std::clamp(tag, 0, 4);
    CocheSeul(ItemsRalentiSpectre, tag);
    a_.RalentiSpectre.store(tag, Relache);
}

// ---------------------------------------------------------------------------------------
// FFT settings

void Panneau::PortesTFRClick(int32_t tag) {
    tag = std::clamp(tag, 0, 4);
    CocheSeul(ItemsFenetre, tag);
    Reglages.FenetreTFR = tag;
    InitTFR(tag, 11 - Reglages.NbPointsTFR);
    RecalculeImage();
}

void Panneau::NbrePtsTFRClick(int32_t tag) {
    tag = std::clamp(tag, 0, 3);
    CocheSeul(ItemsPoints, tag);
    Reglages.NbPointsTFR = tag;
    InitTFR(Reglages.FenetreTFR, 11 - tag);
    Calibrer();
    RecalculeImage();
    AfficheMesures();
}

void Panneau::SurEchantTFRClick(int32_t tag) {
    tag = std::clamp(tag, 0, 3);
    a_.SurEchTFR.store(tag, Relache);
    CocheSeul(ItemsSurEch, tag);
    Calibrer();
    RecalculeImage();
    AfficheMesures();
}

// ---------------------------------------------------------------------------------------
// Cursors

void Panneau::CurseursVerticaux1Click() {
    const bool pause = scope_ && scope_->EnPause();
    if (CurseursVerticaux1.Coche) {
        if (pause) scope_->EffaceCurseurs();
        CurseursVerticaux1.Coche = false;
        if (CurseursHorizontaux1.Coche) {
            VertCurseursChange(true);
            LabelCurseursActifs.Texte = "Hor.";
        } else {
            LabelCurseursActifs.Texte.clear();
        }
        VertCurseurs.Actif = false;
    } else {
        CurseursVerticaux1.Coche = true;
        LabelCurseursActifs.Texte = "Vert.";
        VertCurseursChange(false);
        VertCurseurs.Actif = CurseursHorizontaux1.Coche;
    }
    if (pause) scope_->DessineCurseurs();
    AfficheMesures();
}

void Panneau::Curseurshorizontaux1Click() {
    const bool pause = scope_ && scope_->EnPause();
    if (CurseursHorizontaux1.Coche) {
        if (pause) scope_->EffaceCurseurs();
        CurseursHorizontaux1.Coche = false;
        VertCurseursChange(false);
        if (CurseursVerticaux1.Coche)
            LabelCurseursActifs.Texte = "Vert.";
        else
            LabelCurseursActifs.Texte.clear();
        VertCurseurs.Actif = false;
    } else {
        CurseursHorizontaux1.Coche = true;
        LabelCurseursActifs.Texte = "Hor.";
        VertCurseursChange(true);
        VertCurseurs.Actif = CurseursVerticaux1.Coche;
    }
    if (pause) scope_->DessineCurseurs();
    AfficheMesures();
}

void Panneau::BasculeHV1Click() {
    if (VertCurseurs.Actif) VertCurseursChange(!VertCurseurs.Coche);
}

void Panneau::VertCurseursChange(bool coche) {
    if (coche == VertCurseurs.Coche) return;
    VertCurseurs.Coche = coche;
    if (scope_ && scope_->EnPause()) scope_->DessineCurseurs();
    LabelCurseursActifs.Texte = coche ? "Hor." : "Vert.";
    AfficheMesures();
}

void Panneau::MenuItemdBClick() {
    MenuItemdb.Coche = !MenuItemdb.Coche;
    AfficheMesures();
}

} // namespace panel
