// Arbitrary field texts through the synthesis. The first bytes pick the mode, the shape,
// the sync channel and the rate; the rest is split at line feeds into the frequency,
// level, formula, a and b fields. Whatever the input, the buffer holds whole frames of
// bounded samples and the preview stays inside its picture.

#include "generator/Synthese.h"
#include "platform/Locale.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* donnees, size_t taille) {
    if (taille < 4) return 0;
    using namespace generator;
    static auto s = std::make_unique<Synthese>();
    static std::array<int16_t, CapaciteTampon> tampon;
    platform::ImposeSeparateurDecimal(donnees[0] & 1 ? ',' : '.');
    ChampsSignal champs;
    champs.Mode = static_cast<ModeSignal>((donnees[0] >> 1) % 3);
    champs.Predefini = static_cast<int8_t>(donnees[1]) % 8;
    s->CanalSyncGene = donnees[2] & 1;
    s->FeGene = static_cast<int32_t>(donnees[3]) * 1000 - 5000; // out-of-range rates too
    std::string_view reste(reinterpret_cast<const char*>(donnees + 4), taille - 4);
    std::string* cibles[] = {&champs.Frequence, &champs.Niveau, &champs.Fonction, &champs.a,
                             &champs.b};
    for (std::string* c : cibles) {
        const size_t fin = reste.find('\n');
        *c = std::string(reste.substr(0, fin));
        reste = fin == std::string_view::npos ? std::string_view() : reste.substr(fin + 1);
    }
    const ResultatSynthese r = Synthetise(*s, champs, tampon.data());
    if (r.Reussi) {
        if (s->NbEchantillons < 1 || s->NbEchantillons > CapaciteTrames(s->CanalSyncGene) ||
            s->NbPeriodes < 1)
            std::abort();
        for (float a : s->Apercu)
            if (!std::isfinite(a) || std::fabs(a) > 1.0001f) std::abort();
        long double relu;
        if (!LitNombre(champs.Frequence, relu) || !LitNombre(champs.Niveau, relu)) std::abort();
    }
    const DessinApercu d = DessineApercu(*s);
    for (int j = 0; j < d.NbPoints; ++j)
        if (d.Points[static_cast<size_t>(j)].y < 0 ||
            d.Points[static_cast<size_t>(j)].y > d.Hauteur)
            std::abort();
    return 0;
}
