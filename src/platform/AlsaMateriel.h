// What the ALSA capture and playback streams share; for their sources only (it brings in
// alsa-lib's header).
#pragma once

#include "platform/Capture.h"

#include <alsa/asoundlib.h>

#include <poll.h>

#include <cstdint>
#include <vector>

namespace platform {

// Interleaved 16-bit samples, `canaux` channels at `fe` Hz, buffer and period times near
// `tampon` and `periode` microseconds. Gives the period size in frames.
ResultatOuverture RegleMateriel(snd_pcm_t* pcm, int32_t fe, int32_t canaux, unsigned tampon,
                                unsigned periode, snd_pcm_uframes_t& trames);

// The device's poll descriptors followed by the eventfd `reveil` that wakes the stream's
// thread. False when the descriptors cannot be had or `reveil` is not valid.
bool PrepareAttentes(snd_pcm_t* pcm, int reveil, std::vector<pollfd>& attentes);

} // namespace platform
