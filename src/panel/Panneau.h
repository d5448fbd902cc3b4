// The control window's front panel without its widgets: the state of every control
// (track-bar positions, captions, check marks, what is enabled) and the handlers that
// turn a user action into scope settings, control changes and scope refreshes. The
// window mirrors this state onto its widgets after each handler and feeds the user's
// actions back in; tests drive the same handlers.
//
// Conventions kept from the window: a track-bar position set here is clamped to the
// bar's range and runs no change handler; a check box whose state is changed here runs
// its click handler; a menu check mark set here runs nothing.
//
// Thread contract: GUI thread only. The display and input settings it writes are atomics
// that the acquisition thread reads once per frame.
#pragma once

#include "engine/Parametres.h"
#include "panel/Mesures.h"
#include "panel/Reglages.h"

#include <array>
#include <cstdint>
#include <string>

namespace panel {

// A menu item or a check box.
struct Commande {
    bool Coche = false;
    bool Actif = true;
};

// A track bar.
struct Barre {
    int32_t Min = 0;
    int32_t Max = 0;
    int32_t Position = 0;
    bool Actif = true;
    void Place(int32_t position);
};

// A label: its caption and whether it is enabled (greyed otherwise).
struct Libelle {
    std::string Texte;
    bool Actif = true;
};

// The two-state speed button `Pause`.
struct BoutonPause {
    bool Bas = false; // pressed: capture paused
    std::string Texte = "Pause";
};

// What the readouts need of the scope window.
struct MesuresScope {
    int32_t Xcurs1 = 0, Xcurs2 = 0, Ycurs1 = 0, Ycurs2 = 0;
    int32_t HauteurClient = 1;
    int32_t DebutSpectre = 0;
    double PasX = 0, PasY = 0;
    double PixelsParPoint = 1; // window columns per trace point (signal mode)
};

// What the handlers ask of the scope window once it exists.
class ScopePanneau {
public:
    virtual ~ScopePanneau() = default;
    // The engine state the scope window owns.
    virtual engine::EtatScope& Etat() = 0;
    // Capture paused (EnMarche = 0).
    virtual bool EnPause() const = 0;
    virtual int32_t LargeurClient() const = 0;
    // Trace points across the picture (the client width within the extraction's bound).
    virtual int32_t PointsTrace() const = 0;
    virtual MesuresScope Mesures() const = 0;
    // The renderer's axis calibration for the current settings.
    virtual void Calibrer() = 0;
    // While paused: re-extract (or recompute the spectrum) from the held samples and
    // redraw; only the vertical conversion for RetraceImage. Nothing while running.
    virtual void RecalculeImage() = 0;
    virtual void RetraceImage() = 0;
    // While paused: remove the shown cursors from the window / draw them on it.
    virtual void EffaceCurseurs() = 0;
    virtual void DessineCurseurs() = 0;
    // Frameless and maximised, or back to the normal window.
    virtual void PleinEcran(bool plein) = 0;
    // Pause: the driver's Arreter. Resume: Demarrer, a new acquisition thread, the scope
    // window shown.
    virtual void Arreter() = 0;
    virtual void Reprendre() = 0;
};

class Panneau {
public:
    Panneau(engine::ReglagesAffichage& affichage, engine::ReglagesEntree& entree);

    // The scope window, once it exists (null before).
    void ConnecteScope(ScopePanneau* scope) { scope_ = scope; }
    bool ScopeExiste() const { return scope_ != nullptr; }

    // Creation: the settings read from the file, applied in their order of reading,
    // each value as soon as it is read, running the handlers that order names.
    void ChargeReglages(const ReglagesControle& lus);
    // Closing: what is saved. `fenetre`: the window's position now.
    ReglagesControle Sauvegarde(PositionFenetre fenetre) const;

    // Track bars, with the position the user moved the bar to.
    void EchelleVertChange(int32_t position);
    void EchelleHorChange(int32_t position);
    void ZeroBarChange(int32_t position);
    // The key "0" on the focused ZeroBar.
    void ZeroBarKeyPress(char touche);
    void trackbarDepFChange(int32_t position);
    void TrackBarNivDeclChange(int32_t position);

    // A mouse button went down on Pause (before the button changes its state).
    enum class Bouton { Gauche, Droit, Milieu };
    void PauseMouseDown(Bouton bouton);

    // Check boxes: the state they change to (their click handler runs on a change).
    void PEcranChange(bool coche);
    void SpectreBoutonChange(bool coche);
    void VertCurseursChange(bool coche);

    // Menu items.
    void Pleincran1Click();
    void Signal2Click();
    void Spectre2Click();
    void MenuItemCanalAfficheClick(int32_t tag); // 1 "&Gauche", 2 "&Droite"
    void Synchrouniverselle1Click();
    void Dclenchement1Click();
    void MenuItemSyncNoneClick();
    void MenuItemSyncMemoireClick();
    void Frontmontant1Click();
    void FrontDescendant1Click();
    void MenuItemSyncCanalClick(int32_t tag); // 0 "Gauche", 1 "Droite"
    void MenuItemRalentisseurSClick(int32_t tag);
    void MenuItemRalentisseurSpectreClick(int32_t tag);
    void PortesTFRClick(int32_t tag);
    void NbrePtsTFRClick(int32_t tag);
    void SurEchantTFRClick(int32_t tag);
    void CurseursVerticaux1Click();
    void Curseurshorizontaux1Click();
    void BasculeHV1Click();
    void MenuItemdBClick();

    // Readout labels.
    void LabelHClick() { CurseursVerticaux1Click(); }
    void LabelVClick() { Curseurshorizontaux1Click(); }
    void LabelSignalClick() { SpectreBoutonChange(!SpectreBouton.Coche); }
    void LabelCurseursActifsClick() { BasculeHV1Click(); }

    // The captions of LabelH and LabelV for the current settings and cursors.
    void AfficheMesures();

    // From the acquisition thread's hand-overs and the signal loader: the paused look
    // (Pause down with "Go", FreqR "Pause"); the frame rate; the universal mode's
    // horizontal bar while the loop runs and the position it leaves.
    void EtatPause();
    void LegendeFreqR(const char* texte);
    void DesactiveDepF();
    void ReactiveDepF(int32_t position);

    // Capture running: the scope exists and is not paused.
    bool EnMarche() const;
    // Triggered: "Déclenchement" or "Décl. Unique".
    bool Declenche() const;
    bool Spectre() const { return SpectreBouton.Coche; }
    // The FFT size N of NbPointsTFR, and 2^(EchelleF + SurEchTFR).
    int32_t TailleTFR() const;
    double FacteurT() const;
    double FacteurF() const;

    // The controls.
    Barre EchelleVert{0, 100, 100};
    Barre EchelleHor{-3, 3, 0};
    Barre ZeroBar{-100, 100, 0};
    Barre trackbarDepF{0, engine::MaxDepF, 0};
    Barre TrackBarNivDecl{-100, 100, 0};
    Libelle LabelEchelleHor{"Echelle t"};
    Libelle LabelDeplaceHor{"Deplace t"};
    Libelle LabelDeplaceVert{"Deplace X"};
    Libelle LabelNivDec{"Niveau Décl."};
    Libelle LabelH{"LabelH"};
    Libelle LabelV{"LabelV"};
    Libelle LabelSignal{"Signal"};
    Libelle LabelCurseursActifs{"Actif."};
    Libelle FreqR{"Freq"};
    Libelle LabelNivDecl{"Niv."};
    BoutonPause Pause;
    Commande PEcran, SpectreBouton, VertCurseurs;

    Commande Pleincran1;
    Commande Signal2{true}, Spectre2;
    Commande MenuItemGaucheAffiche{true}, MenuItemDroiteAffiche;
    Commande Synchrouniverselle1{true}, Dclenchement1, MenuItemSyncNone, MenuItemSyncMemoire;
    Commande Frontmontant1{true}, FrontDescendant1;
    Commande MenuItemSyncGauche{true}, MenuItemSyncDroite;
    std::array<Commande, 8> ItemsRalenti{Commande{true}};
    std::array<Commande, 5> ItemsRalentiSpectre{Commande{true}};
    std::array<Commande, 5> ItemsFenetre{Commande{true}};
    std::array<Commande, 4> ItemsPoints{Commande{true}};
    std::array<Commande, 4> ItemsSurEch{Commande{true}};
    Commande CurseursVerticaux1, CurseursHorizontaux1, MenuItemdb;

    // Stored values without a control of their own (folders, picture settings, hints,
    // FFT indexes, the full-screen flag for the scope window), and the position read.
    ReglagesControle Reglages;

private:
    void CalculeNiveauDecl();
    void MontreNiveau();
    void EffaceNiveau();
    // "in signal mode and triggered, show the level"
    void MontreNiveauSiDeclenche();
    void RecalculeImage();
    void RetraceImage();
    void Calibrer();
    void InitTFR(int32_t fenetre, int32_t exposant);
    void PlaceDebutSpectre();
    void PleinEcranApplique(bool plein);
    template <size_t N>
    static void CocheSeul(std::array<Commande, N>& items, int32_t tag);
    void CocheSynchro(Commande& item);

    engine::ReglagesAffichage& a_;
    engine::ReglagesEntree& entree_;
    ScopePanneau* scope_ = nullptr;
};

} // namespace panel
