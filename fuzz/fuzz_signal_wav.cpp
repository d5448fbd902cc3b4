// The WAV signal loader on arbitrary bytes, in mono and stereo capture.
#include "fuzz_signal.h"
#include "panel/Signal.h"

#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* donnees, size_t taille) {
    static auto bruts = std::make_unique<panel::TableauBruts>();
    panel::ChargeSignalWav(FichierMemoire(donnees, taille), *bruts, taille % 2 ? 2 : 1);
    return 0;
}
