// The scope's parameters: the display settings the control window writes, the input
// settings and device tables, and the engine state the scope window owns.
//
// Thread contract: values the GUI thread writes and the acquisition thread reads (or
// the reverse, outside a GUI hand-over) are atomics; relaxed order is enough, since
// each is used one value at a time and the thread snapshots what one frame needs at
// the top of the frame. The arrays are only touched by one thread at a time: by the
// acquisition thread between two hand-overs while it runs, by the GUI thread otherwise.
#pragma once

#include "platform/Anneau.h"

#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <string>

namespace engine {

// Sampling rates offered, ascending.
inline constexpr std::array<int32_t, 7> TableFe = {8000, 11025, 16000, 22050, 32000, 44100, 48000};
inline constexpr int NbFe = static_cast<int>(TableFe.size());

// Samples per channel that each frame reads (`Bruts`, `Echelles`).
inline constexpr int NbBruts = 20480;
// Points per channel of `Trace` and `Reference`; the trace width never exceeds 2000.
inline constexpr int CapaciteTrace = 2001;
inline constexpr int LargeurMax = 2000;
// Spectrum magnitudes per channel, indexed -16 .. 2047 (offset 16 in the array).
inline constexpr int CapaciteModules = 2064;
inline constexpr int DebutModules = 16;
// Device indices run from -1 (the default device) to 19.
inline constexpr int MaxEntrees = 20;

// Synchronisation modes.
enum TypeSynchro : int32_t { Aucune = 0, Universelle = 1, Declenchement = 2, DeclUnique = 3 };

// Display settings: fields of the control window, written by its handlers (GUI thread),
// read by the acquisition thread on every frame.
struct ReglagesAffichage {
    std::atomic<int32_t> EchelleT{0};       // time-scale exponent e, -3 .. 3
    std::atomic<int32_t> EchelleF{0};       // frequency-scale exponent h, -3 .. 3
    std::atomic<int32_t> DeplaceX{0};       // vertical offset, hundredths of the height
    std::atomic<int32_t> NiveauDecl{0};     // trigger level, sample units
    std::atomic<int32_t> SensFront{1};      // +1 rising, -1 falling
    std::atomic<int32_t> Ralenti{0};        // signal slow-down tag, 0 .. 7
    std::atomic<int32_t> RalentiSpectre{0}; // spectrum slow-down tag, 0 .. 4
    std::atomic<int32_t> TypeSynchro{Universelle};
    std::atomic<int32_t> DecalageT{0};           // horizontal position, signal mode
    std::atomic<int32_t> DecalageF{0};           // horizontal position, spectrum mode
    std::atomic<float> PleineEchelle{32768.0f};  // sample value on the top edge
    std::atomic<int32_t> SurEchTFR{0};           // display oversampling exponent s
    std::atomic<int32_t> PositionNivDecl{0};     // position of `TrackBarNivDecl`
    std::atomic<bool> SpectreBouton{false};      // spectrum mode
    std::atomic<bool> Synchrouniverselle1{true}; // "Universelle" menu item checked
};

// Maximum of the horizontal-position track bar `trackbarDepF`.
inline constexpr int32_t MaxDepF = 500;

// `PleineEchelle` for a position 0 .. 100 of the vertical-scale track bar.
inline float PleineEchellePour(int position) {
    return static_cast<float>(32768.0 * std::exp((position - 100) / 12.0));
}
// 2^e, for the time axis (`FacteurT`) and its spectrum counterpart 2^(h + s) (`FacteurF`).
inline double PuissanceDeux(int e) {
    return std::ldexp(1.0, e);
}

// A string that the GUI thread sets and another thread reads (the buffer-file name).
class TextePartage {
public:
    explicit TextePartage(std::string valeur = {}) : texte_(std::move(valeur)) {}
    void Ecrire(std::string valeur) {
        std::lock_guard verrou(mutex_);
        texte_ = std::move(valeur);
        version_.fetch_add(1, std::memory_order_release);
    }
    std::string Lire() const {
        std::lock_guard verrou(mutex_);
        return texte_;
    }
    // Brings a reader's copy up to date; copies (and may allocate) only after a change,
    // so a reader calling it on every frame costs one atomic load.
    void Actualise(std::string& copie, uint64_t& version) const {
        if (version_.load(std::memory_order_acquire) == version) return;
        std::lock_guard verrou(mutex_);
        copie = texte_;
        version = version_.load(std::memory_order_relaxed);
    }

private:
    mutable std::mutex mutex_;
    std::string texte_;
    std::atomic<uint64_t> version_{1};
};

// Input settings: loaded from the settings file before the scope window opens, changed by
// the options dialog. The capture choices take effect at the next opening; the channel,
// vertical-sync and buffer-file choices on the next frame.
struct ReglagesEntree {
    std::atomic<int32_t> TypeEntree{1};     // 0 ALSA ("wave-in"), 1 sound server ("DirectSound")
    std::atomic<int32_t> NoEntree{-1};      // -1 = default device
    std::atomic<int32_t> Fe{44100};         // requested rate
    std::atomic<int32_t> FeCourante{44100}; // rate in use
    std::atomic<bool> Stereo{false};
    std::atomic<int32_t> Canal{1};     // channels drawn in stereo: bit 0 left, bit 1 right
    std::atomic<int32_t> CanalSync{0}; // 0 left, 1 right
    std::atomic<int32_t> VSync{2};     // 0 none, 1 retrace polling, 2 vertical-blank wait
    std::atomic<int32_t> VSyncDispo{0};
    std::atomic<bool> UtiliseFichierTampon{false};
    TextePartage FichierTampon{"Tamburella.csv"};
    std::atomic<int32_t> NbEchFichierTampon{1000};
};

// Device tables, filled once by the input enumeration at start-up, read-only afterwards.
// Index -1 (the default device) is stored at [0]: use Indice(d).
struct TablesEntrees {
    static constexpr int Indice(int d) { return d + 1; }

    int32_t NbEntreesWave = 0; // ALSA capture devices besides the default one
    int32_t NbEntreesDS = 0;   // sound-server sources besides the default one
    std::array<std::string, MaxEntrees + 1> NomsEntreesWave;
    std::array<std::string, MaxEntrees + 1> NomsEntreesDS;
    // The backend's own identifier of each device (ALSA PCM name, sound-server source
    // name); empty for the default device.
    std::array<std::string, MaxEntrees + 1> IdentifiantsWave;
    std::array<std::string, MaxEntrees + 1> IdentifiantsDS;
    std::array<std::array<bool, NbFe>, MaxEntrees + 1> FeSupportesWave{};
    std::array<std::array<bool, NbFe>, MaxEntrees + 1> FeSupportesDS{};
    // Index into TableFe of the highest rate each device accepted, -1 when none; one
    // table for both drivers.
    std::array<int32_t, MaxEntrees + 1> MeilleurFe{};
    // A sound server answered at start-up: the "DirectSound" driver is available.
    bool DSDisponible = false;
};

// Engine state: fields of the scope window. The arrays are fixed members; nothing in the
// frame loop allocates. About 700 KB: allocate it once (new / static), never on a stack.
struct EtatScope {
    // Flags shared with the GUI thread and the capture backend.
    std::atomic<bool> Arret{true};         // stop requested: the thread's loop condition
    std::atomic<bool> EnMarche{false};     // capture running
    std::atomic<bool> ThreadActive{false}; // the acquisition thread is inside its loop
    std::atomic<int32_t> LargeurClient{1}; // the scope window's client width, set on resize

    int32_t StereoActif = 0; // 0 mono, 1 stereo: copy of Stereo when the window opened

    // Capture ring of interleaved frames: the capture backend writes it while the
    // acquisition thread's Lire copies from it.
    platform::AnneauCapture TamponCapture;
    // Frames kept back from the capture position by the ALSA driver: none, since the
    // ALSA backend's ring position counts only frames already copied into the ring (a
    // margin there only made the picture lag the sound, by 505 ms at 8000 Hz).
    static constexpr int32_t Delai = 0;
    // ALSA driver: ring halves filled since the start; sound server: wraps of the read
    // position within one start. Informational.
    std::atomic<int32_t> NbTampons{0};

    // Per-frame copies and results.
    int32_t MasqueCanaux = 1;
    int32_t CanalSyncActif = 0;
    int32_t LargeurTrace = 1; // W, 1 .. LargeurMax
    std::atomic<int32_t> NbPoints{0};
    std::atomic<int32_t> PositionCapture{0}; // frames per channel at the last read
    int32_t DernierDecl = 0;
    std::atomic<int32_t> NiveauDeclPos{0};
    int32_t FinDernierDecl = 0;
    int32_t Xcurs1 = 0, Xcurs2 = 0, Ycurs1 = 0, Ycurs2 = 0; // GUI thread only
    std::atomic<int32_t> PosDecl{0};
    std::atomic<int32_t> DebutSpectre{0};
    int32_t DebutTrace = 0;
    std::atomic<int32_t> SurEchCopie{0};
    int32_t NiveauDeclCopie = 0;
    float PleineEchelleCopie = 32768.0f;
    float DeplaceXCopie = 0.0f;
    std::atomic<float> FreqRafraich{0.0f};
    // Capture runs but no sound comes: FreqR says so, and the picture stays as it was.
    std::atomic<bool> SansSon{false};
    // steady_clock readings (ns) of the previous and the current presented frame.
    std::atomic<int64_t> CompteurPrec{0};
    std::atomic<int64_t> CompteurAct{0};
    std::atomic<bool> TraceValide{false};
    // The scope window's display frame period in ns (0 when the screen does not say):
    // with VSync = 2 each frame is presented on the next tick of that period.
    std::atomic<int64_t> PeriodeEcran{0};

    // Axis calibration (renderer, GUI thread).
    double UniteX = 0, EtendueY = 0, EtendueX = 0, PasX = 0, PasY = 0;

    std::array<std::array<float, CapaciteTrace>, 2> Trace{};
    std::array<std::array<float, CapaciteModules>, 2> SpectreModules{};
    std::array<float, CapaciteTrace> Reference{};
    std::array<std::array<float, NbBruts>, 2> Bruts{};
    std::array<std::array<float, NbBruts>, 2> Echelles{};

    // The engine lock: held for a whole extraction, spectrum or FFT-table rebuild, so that
    // those never overlap each other, and by the acquisition thread while it reads Bruts
    // and takes the frame's copies (MasqueCanaux, DeplaceXCopie...), which the GUI thread
    // may read meanwhile (a copy of Bruts to save, the picture export). Never held across
    // a GUI hand-over nor while an event loop runs: whoever waits for it waits for one
    // such step at most.
    std::mutex VerrouMoteur;
};

} // namespace engine
