#include "engine/Frequentiel.h"

#include "dsp/Fft.h"
#include "dsp/Reechantillonnage.h"
#include "engine/Arrondi.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <span>

namespace engine {
namespace {

// Samples kept clear of the newest one, for the resampling filters' reach.
constexpr int32_t MargeSpectre = 151;
// Largest oversampled run before its shift: (M / 2^s + 2) * 2^s <= LargeurMax + 16.
constexpr int32_t CapaciteSurEch = 2048;

struct Instantane {
    int32_t h;
    int32_t s;
    int32_t P;
};

Instantane Lire(const ReglagesAffichage& r) {
    constexpr auto o = std::memory_order_relaxed;
    return {std::clamp(r.EchelleF.load(o), -3, 3), std::clamp(r.SurEchTFR.load(o), 0, 3),
            std::clamp(r.DecalageF.load(o), 0, MaxDepF)};
}

bool TailleGeree(int32_t n) {
    return n >= (1 << ExposantMinTFR) && n <= (1 << ExposantMaxTFR);
}

void AfficheVerrouille(EtatScope& etat, int canal, int32_t M, const Instantane& r, int32_t N) {
    const int32_t total = (N / 2) << r.s; // oversampled bins of the half spectrum
    M = std::clamp(M, 0, std::min(total, LargeurMax));
    etat.SurEchCopie.store(r.s, std::memory_order_relaxed);
    const auto D = static_cast<int32_t>(QuotientArrondi(int64_t{total - M} * r.P, MaxDepF));
    etat.DebutSpectre.store(D, std::memory_order_relaxed);

    const std::span<const float> modules(etat.SpectreModules[canal]); // [0] is bin -16
    float* ecran = etat.Trace[canal].data();
    if (r.s > 0) {
        // Interpolated from bin D / 2^s - 16 on; point k is then at oversampled index r + k.
        float tampon[CapaciteSurEch];
        const int32_t q = D >> r.s;
        const int32_t reste = D - (q << r.s);
        dsp::Interpole(r.s, (M >> r.s) + 2, modules.subspan(q), tampon);
        for (int32_t k = 0; k < M; ++k)
            ecran[k] = std::fabs(tampon[reste + k]);
    } else {
        std::copy_n(modules.begin() + DebutModules + D, M, ecran);
    }
    const float V = etat.PleineEchelleCopie;
    for (int32_t k = 0; k < M; ++k) {
        const float y = 1.0f - 2.0f * ecran[k] / V;
        ecran[k] = y >= -1.0f ? y : -1.0f;
    }
}

// N samples at the rate Fe * 2^-h into the work array, ending clear of the newest sample.
void Echantillonner(EtatScope& etat, int canal, int32_t N, int32_t h) {
    const int32_t L = h >= 0 ? N << h : N >> -h;
    int32_t debut = NbBruts - L - MargeSpectre;
    // Decimating by 8 reaches further than that margin.
    if (h > 0) debut = std::min(debut, NbBruts - dsp::LongueurDecime(h, N));
    dsp::Reechantillonne(etat.Bruts[canal], debut, etat.Echelles[canal], N, h);
}

} // namespace

bool ReinitTFR(EtatScope& etat, int fenetre, int exposant) {
    if (exposant < ExposantMinTFR || exposant > ExposantMaxTFR) return false;
    std::lock_guard verrou(etat.VerrouMoteur);
    return dsp::InitTFR(fenetre, exposant);
}

void CalculeSpectre(EtatScope& etat, const ReglagesAffichage& reglages, int32_t W) {
    const Instantane r = Lire(reglages);
    W = std::clamp(W, 1, LargeurMax);
    std::lock_guard verrou(etat.VerrouMoteur);
    const int32_t N = dsp::TailleTFR();
    if (!TailleGeree(N)) {
        etat.TraceValide.store(false, std::memory_order_relaxed);
        return;
    }
    const int32_t masque = etat.MasqueCanaux & (etat.StereoActif != 0 ? 3 : 1);
    for (int canal = 0; canal < 2; ++canal) {
        if (!(masque & (1 << canal))) continue;
        Echantillonner(etat, canal, N, r.h);
        float* modules = etat.SpectreModules[canal].data();
        dsp::SpectreTFR(etat.Echelles[canal].data(), modules + DebutModules);
        // Bins -16..-1: the mirror images of bins 16..1, for the interpolator's reach.
        std::copy_n(modules + N, DebutModules, modules);
        const int32_t M = std::min((N / 2) << r.s, W);
        etat.NbPoints.store(M, std::memory_order_relaxed);
        AfficheVerrouille(etat, canal, M, r, N);
    }
    etat.TraceValide.store(true, std::memory_order_relaxed);
}

void AfficheSpectre(EtatScope& etat, const ReglagesAffichage& reglages, int canal, int32_t M) {
    if (canal < 0 || canal > 1) return;
    const Instantane r = Lire(reglages);
    std::lock_guard verrou(etat.VerrouMoteur);
    const int32_t N = dsp::TailleTFR();
    if (TailleGeree(N)) AfficheVerrouille(etat, canal, M, r, N);
}

} // namespace engine
