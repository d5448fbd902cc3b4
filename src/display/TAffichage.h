// The scope window "Scope": the instrument's screen. It owns the engine state (capture
// ring, sample and trace arrays), the two capture drivers, the off-screen picture and the
// acquisition thread. Its creation opens a capture driver (with the fall-backs over
// drivers and devices) and starts the thread; its destruction stops and releases them.
// It shows the picture the renderer draws, rebuilds it after a resize while paused, lets
// the mouse drag the measuring cursors, and hands the keyboard to the control window.
//
// Thread contract: a GUI-thread object. The acquisition thread reaches it only through
// the blocking hand-overs of engine::InterfaceGui (Passerelle). Work on the arrays that
// the GUI thread does while paused never overlaps the thread's last turn: it waits for
// the thread's FinThread notification when the thread has not finished yet.
#pragma once

#include "display/CanevasQt.h"
#include "display/Passerelle.h"
#include "display/Rendu.h"
#include "engine/InterfaceGui.h"
#include "engine/Parametres.h"
#include "engine/Pilotes.h"
#include "engine/TscopeThread.h"
#include "panel/Reglages.h"
#include "panel/Signal.h"
#include "platform/Capture.h"

#include <QRect>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace display {

// What the scope window asks of the control window.
class ControleScope {
public:
    virtual ~ControleScope() = default;
    // The control window's outer geometry now (the defaults of section "Ecran").
    virtual panel::GeometrieFenetre GeometrieControle() const = 0;
    // The control window's frame: its outer size minus its client size.
    virtual QSize MargesCadre() const = 0;
    // Menu check marks and the hidden box VertCurseurs (checked: horizontal pair active).
    virtual bool CurseursVerticaux1() const = 0;
    virtual bool CurseursHorizontaux1() const = 0;
    virtual bool VertCurseurs() const = 0;
    // Position of trackbarDepF, 0 .. 500.
    virtual int32_t PositionDepF() const = 0;
    // The readouts of LabelH and LabelV.
    virtual void AfficheMesures() = 0;
    // A key in the scope window: the control window shown and brought to the front.
    virtual void MontreControle() = 0;
    // Creation: the PEcran box set to the saved full-screen flag (its click handler
    // enters full screen).
    virtual void AppliquePleinEcranLu() = 0;
    // From the acquisition thread (on the GUI thread): FreqR's caption; the paused look
    // after a single shot or an error; the horizontal bar in universal mode.
    virtual void LegendeFreqR(const char* texte) = 0;
    virtual void EtatPause() = 0;
    virtual void DesactiveDepF() = 0;
    virtual void ReactiveDepF(int32_t position) = 0;
};

class TAffichage : public QWidget {
public:
    struct Contexte {
        engine::ReglagesAffichage& Affichage;
        engine::ReglagesEntree& Entree;
        const engine::TablesEntrees& Tables;
        ControleScope& Controle;
        std::string CheminReglages;
    };

    // Capture through ALSA ("wave-in") and the sound server ("DirectSound")...
    explicit TAffichage(Contexte contexte, QWidget* parent = nullptr);
    // ...or through the given streams (tests).
    TAffichage(Contexte contexte, std::unique_ptr<platform::FluxCapture> fluxAlsa,
               std::unique_ptr<platform::FluxCapture> fluxSon, QWidget* parent = nullptr);
    // FormDestroy: stops the thread (serving its hand-overs meanwhile), writes "Ecran"
    // and "Curseurs", releases the picture, the thread and the driver. A failed save is
    // reported only after all that.
    ~TAffichage() override;
    TAffichage(const TAffichage&) = delete;
    TAffichage& operator=(const TAffichage&) = delete;

    // FormCreate: geometry and cursors from the settings, calibration, the driver choice
    // and Ouvrir with its fall-backs; on success capture started, picture created,
    // window shown, full screen applied, thread started. On failure the message of the
    // last Ouvrir has been shown and false is returned: the caller closes the program.
    bool FormCreate();

    // ---- For the control window, the options dialog and the picture export.
    // What the renderer reads (the picture, client size, cursor pairs shown).
    VueScope Vue();
    engine::EtatScope& Etat() { return *etat_; }
    // Capture paused (EnMarche = 0).
    bool EnPause() const;
    // An acquisition thread has not finished yet (it may be in its last turn, paused).
    bool ThreadEnCours() const;
    // The picture exists (creation succeeded).
    bool ImageCreee() const { return image_ != nullptr; }
    int32_t LargeurClient() const;
    int32_t HauteurClient() const;
    // Trace points across the picture: the client width within the extraction's bound.
    int32_t PointsTrace();
    double PixelsParPoint();
    // Channels of the running capture: 1 or 2.
    int32_t NbCanaux() const { return etat_->StereoActif + 1; }
    // The renderer's Calibrer for the current client size and settings.
    void Calibrer();
    // While paused: extraction (or spectrum) again from the held samples, or only their
    // vertical conversion, then the picture redrawn and shown with the cursors. Nothing
    // while running; deferred to the thread's end while its last turn runs.
    void RecalculeImage();
    void RetraceImage();
    // While paused: the cursor lines removed from the window / drawn on it.
    void EffaceCurseurs();
    void DessineCurseurs();
    // Frameless and maximised over the screen, or back to the normal window.
    void PleinEcran(bool plein);
    bool EstPleinEcran() const { return pleinEcran_; }
    // Pause (the driver's Arreter) and resume (Demarrer, a new thread, the window shown).
    void Arreter();
    void Reprendre();
    // A consistent copy of Bruts, taken under the engine lock.
    void CopieBruts(panel::TableauBruts& copie);
    // A loaded signal: capture is stopped; once the thread has finished its frame the
    // samples replace Bruts and the trace or spectrum is drawn from them.
    void ChargeBruts(const panel::TableauBruts& bruts);
    // Closes the capture and opens it again with the input settings as they are now
    // (driver choice and fall-backs included); capture running afterwards. The message
    // of a failed open, or nothing.
    std::optional<std::string> RouvreCapture();
    // The process-wide settings the thread reads (for the options dialog and export).
    engine::ReglagesAffichage& Affichage() { return c_.Affichage; }
    engine::ReglagesEntree& Entree() { return c_.Entree; }

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void moveEvent(QMoveEvent* e) override;

private:
    class Gui;
    class Calculs;

    void FormResize();
    // PlaceCurseurs: the active pair follows the buttons held.
    void PlaceCurseurs(int32_t x, int32_t y, bool gauche, bool droit);
    void DeplaceCurseur(int32_t& champ, int32_t valeur, bool vertical);
    // The one-pixel lines of the shown cursors, to repaint.
    void MetAJourCurseurs();
    QRect LigneCurseur(int32_t position, bool vertical) const;
    // GUI thread, after the thread's FinThread: the deferred work.
    void FinThread();
    void DemarreThread();
    void ArreteThread();
    void PeriodeEcran();
    // The saved outer geometry once the window manager has framed the window.
    void AjusteCadre();

    Contexte c_;
    std::unique_ptr<engine::EtatScope> etat_;
    std::unique_ptr<platform::FluxCapture> fluxAlsa_, fluxSon_;
    std::unique_ptr<engine::PiloteWave> wave_;
    std::unique_ptr<engine::PiloteDS> ds_;
    engine::PiloteCapture* pilote_ = nullptr;
    std::unique_ptr<Passerelle> passerelle_;
    std::unique_ptr<Gui> gui_;
    std::unique_ptr<Calculs> calculs_;
    std::unique_ptr<engine::ContexteThread> contexte_;
    std::unique_ptr<ImageQt> image_;
    std::unique_ptr<engine::TscopeThread> thread_;

    // Deferred until the thread's end: a recalculation (which covers a retrace), a
    // retrace, and a loaded signal to put into Bruts.
    bool recalculeDiffere_ = false, retraceDiffere_ = false;
    std::unique_ptr<panel::TableauBruts> chargement_;
    bool detruit_ = false;
    bool pleinEcran_ = false;
    QRect geometrieNormale_;
    bool ecranConnecte_ = false;
    // The outer geometry read from "Ecran" and the frame assumed when it was applied:
    // a window manager that frames the window differently gets it fitted once.
    std::optional<panel::GeometrieFenetre> geometrieLue_;
    QSize margesSupposees_;
};

} // namespace display
