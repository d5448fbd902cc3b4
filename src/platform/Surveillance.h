// A capture stream watched over. Desktop sound servers restart, freeze under load, and
// devices get unplugged; the backends underneath may then block for long (ALSA's pulse
// plugin waits up to 30 s for each answer of a frozen server) or just stop delivering.
//
// Every operation of the backend's stream runs on a thread of the watch's own, and the
// caller waits for it a bounded time only (Delais). While capture runs, that thread watches
// the ring: when no data have come for `Silence`, SansDonnees says so; when none have come
// for a while longer, or the backend failed, it opens the device again, at most once per
// `Reprise`: the same device, or the default one when that device is gone. Capture then
// goes on at the ring's position, so the engine sees a gap in time, not a new start.
//
// Thread contract: the operations run on the owner's thread (and Arreter also on the
// acquisition thread), one at a time; SansDonnees and EnEchec on any thread. The backend's
// operations run on the watch's thread only, one at a time.
//
// When an operation does not finish in time, the caller goes on as if it had succeeded
// (an opening or a start then completes in the background: SansDonnees until data come),
// and the watch's thread carries out what was asked in order once the backend lets it go.
// A backend stops writing into the ring before anything of its own that may block, and
// only starts writing from its capture thread after its device has started; the watch
// never starts a backend after its owner asked for a stop or a close. So a ring is not
// written once Arreter or Fermer was asked for, whether they finished in time or not.
#pragma once

#include "platform/Capture.h"

#include <chrono>
#include <memory>

namespace platform {

struct DelaisSurveillance {
    // No data this long while capture runs: SansDonnees.
    std::chrono::milliseconds Silence{400};
    // No data this long (or a failed backend): the device is opened again, and no more
    // often than this.
    std::chrono::milliseconds Reprise{1000};
    // After an opening again that started the device: the time its first data may take.
    std::chrono::milliseconds PremieresDonnees{2000};
    // The longest the caller waits for Ouvrir, and for the other operations.
    std::chrono::milliseconds AttenteOuverture{800};
    std::chrono::milliseconds AttenteCommande{400};
    // How often the watch looks at the ring while capture runs.
    std::chrono::milliseconds Pas{50};
};

// Takes the backend's stream `flux` under a watch.
std::unique_ptr<FluxCapture> FluxSurveille(std::unique_ptr<FluxCapture> flux,
                                           DelaisSurveillance delais = {});

} // namespace platform
