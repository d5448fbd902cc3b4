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

// Mono from `trames` interleaved stereo frames: the mean of the two channels, rounded
// down. Both backends capture mono this way, in stereo, so that its level never depends
// on how a sound server folds channels down. No allocation.
inline void MoyenneVoies(const int16_t* stereo, uint32_t trames, int16_t* mono) {
    for (uint32_t k = 0; k < trames; ++k)
        mono[k] = static_cast<int16_t>((stereo[2 * k] + stereo[2 * k + 1]) >> 1);
}

// One capture stream. Every operation runs on the thread that owns the driver (the GUI
// thread, or the acquisition thread for Arreter); the operations are serialised inside.
// Data arrive on the backend's own thread and go straight into the ring.
class FluxCapture {
public:
    virtual ~FluxCapture() = default;

    // Opens `identifiant` ("" = the default device) for 16-bit capture of `canaux` (1 or
    // 2) interleaved channels at `fe` Hz into `anneau`, which must outlive the stream.
    // Mono is the mean of the device's two channels (see MoyenneVoies) where it has two.
    // A device the backend does not know is Indisponible. Nothing is written before
    // Demarrer.
    virtual ResultatOuverture Ouvrir(const std::string& identifiant, int32_t fe, int32_t canaux,
                                     AnneauCapture& anneau) = 0;
    // Starts (again) writing at ring index 0, with the ring's position back at 0. False
    // when the device cannot start (it vanished, the server went away).
    virtual bool Demarrer() = 0;
    // Stops capture; once it returns, nothing more is written into the ring.
    virtual void Arreter() = 0;
    // Stops and releases the device. Harmless when not open; the stream may be opened again.
    virtual void Fermer() = 0;
};

} // namespace platform
