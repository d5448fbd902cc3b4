// ALSA capture: the inputs of the ALSA driver and its capture stream.
#pragma once

#include "platform/Capture.h"

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Whether an ALSA PCM name is an input a user would pick: the sound server's PCMs and
// each card's devices, not the library's internal plugins (null, rate converters,
// up/down-mixers...) nor "default", which is always listed first on its own.
bool EstEntreeAlsa(std::string_view nom);

// GUI thread, at start-up. The capture inputs: "default" first (identifier ""), then at
// most `maximum` others. Each is probed at the rates `fes` for 16-bit stereo capture; a
// device that cannot be opened accepts none.
std::vector<DescriptionEntree> EnumereAlsa(std::span<const int32_t> fes, int maximum);

std::unique_ptr<FluxCapture> CreeFluxAlsa();

// For the backends. Keeps alsa-lib from printing its errors (we report codes).
void FaitTaireAlsa();
// Which of the rates `fes` the PCM `pcm` takes for 16-bit interleaved frames of `canaux`
// channels, for playback (`lecture`) or capture; none when it cannot be opened.
std::array<bool, NbFeSondes> SondeFeAlsa(const std::string& pcm, bool lecture, unsigned canaux,
                                         std::span<const int32_t> fes);
// The devices of one direction a user would pick: "default" first (identifier "", named
// `nomDefaut`), then at most `maximum` others, each probed at the rates `fes`.
std::vector<DescriptionEntree> ListeAlsa(bool lecture, unsigned canaux,
                                         const std::string& nomDefaut, std::span<const int32_t> fes,
                                         int maximum);

} // namespace platform
