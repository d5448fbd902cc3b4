// The control window "Tamburella": the instrument's front panel and the program's main
// window. Its widgets mirror the state of panel::Panneau, which holds the handlers; this
// class turns widget events into those handlers, builds the pop-up menu MenuOscillo,
// runs the signal-file dialogs, loads and saves its settings, and answers the scope
// window (display::ControleScope).
//
// Thread contract: GUI thread only.
#pragma once

#include "display/TAffichage.h"
#include "engine/Parametres.h"
#include "panel/Panneau.h"
#include "panel/Reglages.h"

#include <QWidget>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>

class QAction;
class QMenu;

namespace Ui {
class TForm1;
}

namespace panel {

// Where the menu items that open the windows of other parts of the program go. Each
// does nothing while unset; the program's start-up sets them.
struct CrochetsControle {
    std::function<void()> Mtafichier1; // "&Métafichier..." (Ctrl+M)
    std::function<void()> Imprimer1;   // "&Imprimer..." (Ctrl+I)
    std::function<void()> Copier1;     // "&Copier" (Ctrl+C)
    std::function<void()> Gnrateur1;   // "&Générateur..." (Ctrl+G)
    std::function<void()> Options1;    // "&Options..." (Ctrl+O)
    std::function<void()> Aproposde1;  // "A propos de..."
    // Whether the generator window is open, once it exists ("VisibleGene" is saved from
    // it then, else as it was read).
    std::function<std::optional<bool>()> VisibleGene;
};

// The window's own hint, shown over its free area.
inline constexpr const char* BulleFenetre = "Menu accessible par le\rbouton droit de la souris";

class TForm1 : public QWidget, public display::ControleScope {
public:
    TForm1(engine::ReglagesAffichage& affichage, engine::ReglagesEntree& entree,
           const engine::TablesEntrees& tables, std::string cheminReglages,
           QWidget* parent = nullptr);
    ~TForm1() override;
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    // FormCreate, after the input enumeration: Alt+Enter, the window's hint, the menu,
    // then the settings file read and applied in its order (input settings checked
    // against the tables and VSyncDispo, which the caller has set).
    void FormCreate();
    // The scope window, once created (before its own FormCreate).
    void ConnecteScope(display::TAffichage* scope);

    // The front panel's state and handlers.
    Panneau& Modele() { return modele_; }
    // The process-wide picture settings (Proportions, Position, Curseurs, Grille,
    // LargGraph, HautGraph), the hint switch Bulles and the folders: kept with the
    // control window's settings, saved with them.
    ReglagesControle& Reglages() { return modele_.Reglages; }
    const std::string& CheminReglages() const { return cheminReglages_; }
    CrochetsControle Crochets;

    // Hints shown or not (the options dialog's "Bulles d'aide").
    void AppliqueBulles(bool bulles);
    // Widgets brought in line with the model.
    void Synchronise();
    // The pop-up menu and its items by object name ("MenuItemCharger", "Signal2",
    // "ItemsRalenti3"...), null for an unknown name.
    QMenu& MenuOscillo() { return *menu_; }
    QAction* Action(const std::string& nom) const;

    // "&Enregistrer Signal", "&Charger Signal": the dialogs, then the file.
    void MenuItemEnregistrerClick();
    void MenuItemChargerClick();
    // The menu's save once the file is chosen: a copy of the samples taken now, written
    // beside the GUI thread (the write waits for the disk); a failure shows its message
    // (title "Tamburella") once known. A save still running is waited for first.
    void EnregistreSignalEnFond(const std::string& nom);
    // The same without the dialogs, the save waited for; a failure shows its message
    // (title "Tamburella").
    bool EnregistreSignalVers(const std::string& nom);
    bool ChargeSignalDepuis(const std::string& nom);
    // The options dialog's apply for the input: the capture opened again with the input
    // settings as they are now, running afterwards; false (message shown) on failure.
    bool RouvreCapture();
    // Closing: the settings written. QuitterClick closes the same way.
    void FormClose();

    // display::ControleScope
    GeometrieFenetre GeometrieControle() const override;
    QSize MargesCadre() const override;
    bool CurseursVerticaux1() const override { return modele_.CurseursVerticaux1.Coche; }
    bool CurseursHorizontaux1() const override { return modele_.CurseursHorizontaux1.Coche; }
    bool VertCurseurs() const override { return modele_.VertCurseurs.Coche; }
    int32_t PositionDepF() const override { return modele_.trackbarDepF.Position; }
    void AfficheMesures() override;
    void MontreControle() override;
    void AppliquePleinEcranLu() override;
    void LegendeFreqR(const char* texte) override;
    void EtatPause() override;
    void DesactiveDepF() override;
    void ReactiveDepF(int32_t position) override;

protected:
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    bool eventFilter(QObject* objet, QEvent* e) override;

private:
    class Scope;

    void ConstruitMenu();
    void Connecte();
    // Ctrl+Shift, whatever the key: the menu at the window's top left corner.
    bool FormKeyDown(QKeyEvent* e);
    // A handler of the model, then the widgets brought in line.
    template <class Gestionnaire>
    void Execute(Gestionnaire gestionnaire);
    QAction* NouvelleAction(QMenu* menu, const std::string& nom, const QString& texte,
                            bool cochable);
    void Crochet(const std::function<void()>& crochet);

    std::unique_ptr<Ui::TForm1> ui_;
    engine::ReglagesEntree& entree_;
    const engine::TablesEntrees& tables_;
    std::string cheminReglages_;
    Panneau modele_;
    std::unique_ptr<Scope> scope_;
    display::TAffichage* affichage_ = nullptr;
    QMenu* menu_ = nullptr;
    std::map<std::string, QAction*> actions_;
    // While the widgets are being set from the model, their signals run no handler.
    bool synchro_ = false;
    bool surDessus_ = false;
    // The menu's save, beside the GUI thread; its failure comes back through the
    // hand-over.
    std::thread enregistrement_;
    std::unique_ptr<display::Passerelle> passerelle_;
};

} // namespace panel
