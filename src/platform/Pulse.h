// The sound server (PulseAudio, or PipeWire through pipewire-pulse): the connection, the
// inputs of the "DirectSound" driver and its capture stream. The connection is shared
// with playback streams.
#pragma once

#include "platform/Capture.h"

#include <memory>
#include <span>
#include <string>
#include <vector>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_operation;
struct pa_time_event;

namespace platform {

// A connection to the server served by libpulse's own thread. The server is the one of
// PULSE_SERVER, else the user's; it is never spawned. Every wait gives up after a few
// seconds or when the connection fails, so a server that vanishes or hangs never blocks
// the caller for good.
//
// Thread contract: Connecter, Deconnecter and the queries run on one thread at a time,
// never inside a libpulse callback. Stream code of the platform layer takes Verrou around
// every libpulse call; callbacks run on the connection's thread with it held.
class ConnexionSon {
public:
    ConnexionSon() = default;
    ~ConnexionSon();
    ConnexionSon(const ConnexionSon&) = delete;
    ConnexionSon& operator=(const ConnexionSon&) = delete;

    // False when no server answers.
    bool Connecter(const char* nomClient = "Tamburella");
    void Deconnecter();
    // The connection is up (takes the lock).
    bool Connectee();

    pa_threaded_mainloop* Boucle() const { return boucle_; }
    pa_context* Contexte() const { return contexte_; }

    // Holds the connection thread's lock.
    class Verrou {
    public:
        explicit Verrou(ConnexionSon& c);
        ~Verrou();
        Verrou(const Verrou&) = delete;
        Verrou& operator=(const Verrou&) = delete;

    private:
        ConnexionSon& connexion_;
    };

    // With the lock held: waits until `fini(contexte)` is true, the connection fails or
    // `secondes` pass; returns `fini`'s last value. Callbacks wake it with Reveiller.
    template <class Condition>
    bool Attendre(Condition fini, double secondes = 5.0) {
        DebutAttente(secondes);
        bool ok = fini();
        while (!ok && !AttenteEchue()) {
            AttendreSignal();
            ok = fini();
        }
        FinAttente();
        return ok;
    }
    // With the lock held: waits for an operation (and releases it); false when it did
    // not complete.
    bool Terminer(pa_operation* operation);
    // From a callback: wakes the waiting thread.
    void Reveiller();

    struct Appareil {
        std::string Nom;         // server name, e.g. "essai.monitor"
        std::string Description; // e.g. "Monitor of Essai"
    };
    // With the connection up (not holding the lock): the capture sources (monitors
    // included) or the playback sinks, in the server's order, and the default's name.
    std::vector<Appareil> Sources();
    std::vector<Appareil> Sorties();
    std::string SourceParDefaut();
    std::string SortieParDefaut();
    // With the connection up (not holding the lock): whether the server has a sink
    // (`sortie`) or a source of that name. A stream connected to a name the server does not
    // know may be routed to the default device instead of failing (PipeWire does so), so
    // the name is looked up first.
    bool Existe(bool sortie, const std::string& nom);

private:
    void DebutAttente(double secondes);
    bool AttenteEchue();
    void AttendreSignal();
    void FinAttente();

    pa_threaded_mainloop* boucle_ = nullptr;
    pa_context* contexte_ = nullptr;
    pa_time_event* minuterie_ = nullptr;
    bool echue_ = false;
};

// Whether a sound server answers (the "DirectSound" driver is then available).
bool ServeurSonDisponible();

// GUI thread, at start-up. The capture sources: the server's default source first
// (identifier ""), then at most `maximum` sources with their descriptions, monitors of the
// outputs included. The server converts rates, so each source accepts every valid rate.
// Empty when no server answers.
std::vector<DescriptionEntree> EnumereSourcesSon(std::span<const int32_t> fes, int maximum);

std::unique_ptr<FluxCapture> CreeFluxSon();

// For the backends: which of the rates `fes` the server takes for 16-bit samples of
// `canaux` channels, and its sources or sinks listed as the inputs are (the default one
// first, named `nomDefaut` and the default's description).
std::array<bool, NbFeSondes> FeAcceptesSon(std::span<const int32_t> fes, uint8_t canaux);
std::vector<DescriptionEntree> ListeAppareilsSon(bool sorties, std::string nomDefaut,
                                                 std::span<const int32_t> fes, uint8_t canaux,
                                                 int maximum);

} // namespace platform
