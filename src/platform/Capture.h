// What the capture drivers need of a sound backend (ALSA or the sound server): a list of
// the inputs a user would pick, and a capture stream that keeps a ring filled.
#pragma once

#include "platform/Anneau.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace platform {

// Rates a backend is asked about; the engine passes its table of seven.
inline constexpr int NbFeSondes = 7;

struct DescriptionEntree {
    std::string Identifiant; // the backend's name of the device; "" = the default device
    std::string Nom;         // what the user reads
    // One flag per probed rate: 16-bit stereo capture accepted at that rate.
    std::array<bool, NbFeSondes> FeSupportes{};
};

enum class ResultatOuverture {
    Reussie,
    Indisponible,     // the device (or the sound server) cannot be reached or opened
    FormatRefuse,     // the device refuses this rate or channel count
    TamponImpossible, // the capture stream or its buffers cannot be set up
};

// One capture stream. Every operation runs on the thread that owns the driver (the GUI
// thread, or the acquisition thread for Arreter); the operations are serialised inside.
// Data arrive on the backend's own thread and go straight into the ring.
//
// The streams that CreeFluxAlsa and CreeFluxSon give are watched over (FluxSurveille,
// platform/Surveillance.h): no operation holds its caller for more than a bounded time, and
// a stream whose data stop comes back by itself. What the backends implement underneath
// may block on their device or server for long, and run on the watch's thread only.
class FluxCapture {
public:
    virtual ~FluxCapture() = default;

    // Opens `identifiant` ("" = the default device) for 16-bit capture of `canaux`
    // interleaved channels at `fe` Hz into `anneau`, which must outlive the stream.
    // Nothing is written before Demarrer.
    virtual ResultatOuverture Ouvrir(const std::string& identifiant, int32_t fe, int32_t canaux,
                                     AnneauCapture& anneau) = 0;
    // Starts (again) writing at ring index 0, with the ring's position back at 0. False
    // when the device cannot start (it vanished, the server went away). A backend under a
    // watch writes at the ring's position as it stands; the watch sets it back to 0.
    virtual bool Demarrer() = 0;
    // Stops capture; once it returns, nothing more is written into the ring.
    virtual void Arreter() = 0;
    // Stops and releases the device. Harmless when not open; the stream may be opened again.
    virtual void Fermer() = 0;

    // Capture was started, but no data have come for a while (the server went away or
    // froze, the device was unplugged, the stream failed). Any thread; never blocks.
    virtual bool SansDonnees() const { return false; }
    // The backend's stream failed for good: only a new Ouvrir may bring it back. Any
    // thread; never blocks.
    virtual bool EnEchec() const { return false; }
};

} // namespace platform
