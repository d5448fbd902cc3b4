// The WAV signal loader on arbitrary bytes, in mono and stereo capture. Whatever it does
// not refuse as no WAV must be of the WAV family: nothing else may reach the sound-file
// library's decoders.
#include "fuzz_signal.h"
#include "panel/Signal.h"

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

bool FamilleWav(const uint8_t* donnees, size_t taille) {
    if (taille < 12 || std::memcmp(donnees + 8, "WAVE", 4) != 0) return false;
    for (const char* marque : {"RIFF", "RIFX", "RF64"})
        if (std::memcmp(donnees, marque, 4) == 0) return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* donnees, size_t taille) {
    static auto bruts = std::make_unique<panel::TableauBruts>();
    const panel::ErreurChargement erreur =
        panel::ChargeSignalWav(FichierMemoire(donnees, taille), *bruts, taille % 2 ? 2 : 1);
    if (erreur != panel::ErreurChargement::WavNonSupporte && !FamilleWav(donnees, taille))
        std::abort();
    return 0;
}
