// The text signal loader on arbitrary bytes, with the locale's separator a comma or a point.
#include "fuzz_signal.h"
#include "panel/Signal.h"
#include "platform/Locale.h"

#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* donnees, size_t taille) {
    static auto bruts = std::make_unique<panel::TableauBruts>();
    platform::ImposeSeparateurDecimal(taille % 2 ? ',' : '.');
    panel::ChargeSignalTexte(FichierMemoire(donnees, taille), *bruts);
    return 0;
}
