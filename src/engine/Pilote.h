// The capture driver: five operations over one sound input (ALSA or the sound server).
#pragma once

#include <cstdint>

namespace engine {

// Results of Ouvrir.
enum CodeOuverture : int32_t {
    OuvertureReussie = 0,
    EntreeIndisponible = 1, // the device cannot be opened
    TamponsImpossibles = 2, // ALSA: the buffers cannot be prepared
    TamponDSImpossible = 3, // sound server: the capture stream cannot be created
};

// Thread contract: Ouvrir, Fermer, Demarrer and Arreter run on the GUI thread (Arreter
// also on the acquisition thread, for its error handler and the single-shot stop); Lire
// runs on the acquisition thread only and never allocates, locks or blocks.
class PiloteCapture {
public:
    virtual ~PiloteCapture() = default;
    virtual int32_t Ouvrir() = 0;
    // Harmless on a driver that is not (or no longer) open.
    virtual void Fermer() = 0;
    // Sets Arret (ending the thread's loop) and stops capture.
    virtual void Arreter() = 0;
    // Clears Arret, sets EnMarche and starts capture.
    virtual void Demarrer() = 0;
    // Whether the last Demarrer got the device running (false when it vanished or the
    // sound server went away); the frames then keep showing the ring's last samples.
    virtual bool DemarrageReussi() const { return true; }
    // Capture runs but no sound comes (the input failed, the sound server went away or
    // froze, the device was unplugged); it comes back by itself once it can. Any thread.
    virtual bool SansSon() const { return false; }
    // Milliseconds the acquisition thread waits after the last Demarrer before its first
    // read, for the ring to hold a first screen of samples. The wait belongs to the
    // thread, never to the GUI thread that called Demarrer.
    virtual int32_t AttenteDemarrage() const { return 0; }
    // Copies the newest n frames, de-interleaved: channel c, frame j (oldest first) goes
    // to sortie[c * n + j] as a float in 16-bit units; in mono only channel 0 is written.
    // Updates PositionCapture.
    virtual void Lire(float* sortie, int32_t n) = 0;
};

} // namespace engine
