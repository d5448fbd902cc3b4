// The frequency sweep: a sine whose frequency goes linearly from f1 to f2 over a given
// duration, in mono, computed block by block while it plays. Four blocks of 8192
// samples are queued; each one the output gives back is refilled with the next block and
// queued again, from the output's notification.
//
// Thread contract: the handlers run on the GUI thread. TamponTermine runs on the audio
// thread: it reads the sweep's parameters (written before EnLecture is set), refills and
// re-queues blocks, and only requests what the window must do (the end of the sweep, a
// close), which Timer1Timer picks up on the GUI thread. A reset gives no buffer back, so
// no return of an earlier sweep is ever counted for a new one.
#pragma once

#include "generator/Lecteur.h"
#include "generator/Synthese.h"

#include <atomic>
#include <cstdint>
#include <string>

namespace generator {

inline constexpr int32_t TailleBlocSweep = 8192; // samples
inline constexpr int NbBlocsSweep = 4;
inline constexpr const char* MessageSweepIndisponible =
    "Pas de sortie Son Disponible !\rVotre carte son n'est peut-être \rpas bidirectionnelle.";
inline constexpr const char* LectureErreurSweep = "Erreur !";
// The output failed while the sweep played (its server went away, its device was
// unplugged): the sweep ends, the output is closed, and the next Go opens it again.
inline constexpr const char* MessageSweepInterrompu =
    "La sortie son ne répond plus :\rle balayage est arrêté.";

// The sweep's fields as typed; the engine rewrites those it clamps.
struct ChampsSweep {
    std::string f1 = "20";
    std::string f2 = "20000";
    std::string Niveau;
    std::string Duree = "10";
};

// The read-out for a frequency: "1234 Hz  ".
std::string TexteLectureSweep(long double frequence);

class Sweep final : public platform::NotificationLecture {
public:
    Sweep(const Synthese& synthese, SortieGene& sortie) : synthese_(synthese), sortie_(sortie) {}

    // "Go": resumes a paused sweep, or reads the fields, opens the output once and queues
    // the first four blocks; the read-out shows f1 and the timer starts.
    ResultatGene GoSweepClick(ChampsSweep& champs);
    // "Stop": the output stays open, the read-out keeps the last frequency shown.
    ResultatGene StopSweepClick();
    void ButtonPauseClick();
    // Every 100 ms while a sweep runs: the frequency being played, or what the end of the
    // sweep (or a failure on the audio thread) asks for. An output that failed ends the
    // sweep with MessageSweepInterrompu and a blank read-out.
    ResultatGene Timer1Timer();

    // Samples 8192·b .. 8192·b + 8191 of the sweep into tampon. Any thread; no allocation.
    void RemplitBlocSweep(int16_t* tampon, int32_t b) const;

    // The notification of the output opened by GoSweepClick (RappelSweep). Audio thread.
    void TamponTermine(platform::TamponLecture& tampon) override;

    // A paused sweep no longer waits for "Go" (the output was closed).
    void OubliePause() { EnPause.store(false); }

    long double F1Sweep = 20, F2Sweep = 20000;
    long double AmplitudeSweep = 0; // level × 32767
    long double DureeSweep = 10;    // seconds
    long double PenteSweep = 0;     // k
    long double PulsationSweep = 0; // w, radians per sample
    int32_t TotalSweep = 0;
    int32_t NbBlocsPleins = 0;
    int32_t ResteSweep = 0;
    std::atomic<int32_t> BlocSuivant{0};
    std::atomic<int32_t> NbTermines{0};
    std::atomic<bool> EnPause{false};

private:
    // Lengths of block b in bytes: full, the last partial one, or empty past the end.
    uint32_t OctetsBloc(int32_t b) const;
    ResultatGene Erreur(Champ champ) const;

    enum Fin : uint8_t { PasDeFin, FinInterrompue, FinComplete };
    const Synthese& synthese_;
    SortieGene& sortie_;
    std::atomic<uint8_t> finDemandee_{PasDeFin};
    std::atomic<bool> fermetureDemandee_{false};
};

} // namespace generator
