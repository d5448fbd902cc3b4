// What the ALSA capture and playback streams share; for their sources only (it brings in
// alsa-lib's header).
#pragma once

#include "platform/Capture.h"

#include <alsa/asoundlib.h>

#include <cstdint>

namespace platform {

// Interleaved 16-bit samples, `canaux` channels at `fe` Hz, buffer and period times near
// `tampon` and `periode` microseconds. Gives the period size in frames.
ResultatOuverture RegleMateriel(snd_pcm_t* pcm, int32_t fe, int32_t canaux, unsigned tampon,
                                unsigned periode, snd_pcm_uframes_t& trames);

} // namespace platform
