// The acquisition thread: each turn reads the newest samples from the capture driver,
// extracts a trace or a spectrum, has the GUI thread draw and present the picture,
// measures the frame rate and sleeps if the user chose a slow-down; until Arret is set.
#pragma once

#include "engine/InterfaceGui.h"
#include "engine/Parametres.h"
#include "engine/Pilote.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

namespace engine {

// The computations of a frame besides reading and drawing (trace extraction, spectrum,
// buffer file), injected into the loop. Called on the acquisition thread.
class CalculsTrame {
public:
    virtual ~CalculsTrame() = default;
    // Signal mode: the synchronised trace of width `largeur` into Trace.
    virtual void Extraire(int32_t largeur) = 0;
    // Spectrum mode: the spectrum of width `largeur` into Trace.
    virtual void CalculeSpectre(int32_t largeur) = 0;
    // Rewrites `fichier` with the newest `nbEchantillons` samples per channel of Bruts;
    // never reports an error. Called only when the buffer file is enabled.
    virtual void EnregistreSignal(const std::string& /*fichier*/, int32_t /*nbEchantillons*/) {}
};

// Everything the thread uses; owned by the scope window, outlives every thread.
struct ContexteThread {
    EtatScope& Etat;
    ReglagesAffichage& Affichage;
    ReglagesEntree& Entree;
    InterfaceGui& Gui;
    CalculsTrame& Calculs;
    // Bumped by each new thread: an older loop still running ends at its next turn.
    std::atomic<uint32_t> Generation{0};
};

inline constexpr const char* MessageErreurThread = "Erreur dans la thread de calcul !";
inline constexpr const char* LegendePasDeSon = "Pas de son";

// Sleep after a frame, in ms: 1000 / 2^Ralenti in signal mode, 1000 / 2^(RalentiSpectre
// + 3) in spectrum mode (integer division), 0 when the tag is 0.
int32_t DureeRalenti(bool spectre, int32_t ralenti, int32_t ralentiSpectre);

// VSync = 2: when to present, in Compteur() units, the display's frames starting on the
// multiples of `periode` (> 0): at the start of the frame after the one in which the
// previous picture was presented (`precedente`), or at once (`maintenant`) when that
// start has passed. One picture per display frame, and a frame computed a little late
// is not held back a whole period.
int64_t ProchaineTrameEcran(int64_t maintenant, int64_t precedente, int64_t periode);

// The clock of the frame-rate measurement (CompteurPrec, CompteurAct): steady_clock in ns.
inline constexpr int64_t FrequenceCompteur = 1'000'000'000;
int64_t Compteur();

// GUI thread, inside Afficher after presenting: CompteurAct = `maintenant`; if it differs
// from CompteurPrec, FreqRafraich = the rate of the last frame; CompteurPrec = CompteurAct.
void MesureRafraich(EtatScope& etat, int64_t maintenant);

// FreqR's caption for a rate: fixed notation with one decimal, the locale's separator,
// then " Hz" ("43,1 Hz").
std::array<char, 32> LegendeFreqRafraich(float hz);

// The whole of Afficher, for its implementations (GUI thread). `image`: the window has its
// picture; `presenter()` copies it to the window; `legende(texte)` sets FreqR's caption:
// the frame rate, or LegendePasDeSon while no sound comes; it is left alone while capture
// is paused (it keeps showing "Pause").
template <class Presenter, class Legende>
void PresenteEtMesure(EtatScope& etat, bool image, Presenter presenter, Legende legende) {
    if (image) {
        const int64_t maintenant = Compteur();
        presenter();
        MesureRafraich(etat, maintenant);
    }
    if (!etat.EnMarche.load(std::memory_order_relaxed)) return;
    if (etat.SansSon.load(std::memory_order_relaxed))
        legende(LegendePasDeSon);
    else
        legende(LegendeFreqRafraich(etat.FreqRafraich.load(std::memory_order_relaxed)).data());
}

class TscopeThread {
public:
    // GUI thread, after the driver's Demarrer. Starts at once, at the lowest priority the
    // system allows. `precedente`, the thread of the previous start if any: the new one
    // waits until it has finished before entering its own loop, so two loops never share
    // the arrays (a resume may come while the previous one sleeps in a slow-down).
    TscopeThread(ContexteThread& contexte, PiloteCapture& pilote,
                 std::unique_ptr<TscopeThread> precedente = nullptr);
    // Waits for the thread. Call it once Termine() (see AttendFinThread): the thread may
    // be blocked in a hand-over to the GUI thread.
    ~TscopeThread();
    TscopeThread(const TscopeThread&) = delete;
    TscopeThread& operator=(const TscopeThread&) = delete;

    // The thread (and every earlier one) has finished. Its last act afterwards is the
    // GUI's FinThread notification.
    bool Termine() const { return termine_.load(std::memory_order_acquire); }

private:
    void Execute();
    void Boucle();
    void Trame();
    // No sound comes: the label says so once, the picture stays, and the loop waits.
    void AttendSon();
    void ApresBoucle();
    // The loop is to end: Arret, or a newer thread took over.
    bool Fini() const;
    // Sleeps until `echeance` (a Compteur() reading), waking early when the loop is to end.
    void DortJusqua(int64_t echeance) const;

    ContexteThread& c_;
    PiloteCapture& pilote_;
    std::unique_ptr<TscopeThread> precedente_;
    const uint32_t generation_;
    // This thread's copy of the buffer-file name (refreshed only when it changes).
    std::string fichierTampon_;
    uint64_t versionFichierTampon_ = 0;
    // Compteur() when the last picture was presented (VSync = 2).
    int64_t presentee_ = 0;
    std::atomic<bool> termine_{false};
    std::thread thread_;
};

// GUI thread, when the scope window closes: sets Arret and waits until `thread` has
// finished, calling `servir` (process pending GUI events) every 20 ms meanwhile, since
// the thread may be blocked in a hand-over.
template <class Servir>
void AttendFinThread(EtatScope& etat, const TscopeThread& thread, Servir servir) {
    etat.Arret.store(true, std::memory_order_relaxed);
    while (!thread.Termine()) {
        servir();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

} // namespace engine
