#include "engine/Extraction.h"

#include "dsp/Clones.h"
#include "dsp/Reechantillonnage.h"
#include "engine/Arrondi.h"

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstring>

namespace engine {
namespace {

// Crossings closer than this to the start of the block are not trusted.
constexpr int32_t PremierDeclUtile = 200;

// The settings one extraction uses, read once.
struct Instantane {
    int32_t e;
    int32_t type;
    int32_t sens;
    int32_t decalage;
    int32_t positionNiveau;
};

Instantane Lire(const ReglagesAffichage& r) {
    constexpr auto o = std::memory_order_relaxed;
    return {std::clamp(r.EchelleT.load(o), -3, 3), r.TypeSynchro.load(o), r.SensFront.load(o),
            std::clamp(r.DecalageT.load(o), 0, MaxDepF), r.PositionNivDecl.load(o)};
}

// M: the resampler's delay in raw samples.
int32_t Marge(int32_t e) {
    return e >= 0 ? 13 * ((1 << e) - 1) : 16;
}

// S: raw samples that W points cover. When interpolating it is rounded up, so that the
// crossing's sample lands on an output index >= W and every shown point, wherever
// PosDecl puts it, has an index >= 0; the picture is the same as with the rounded-down
// span, only its place in Echelles differs.
int32_t Etendue(int32_t e, int32_t W) {
    return e >= 0 ? W << e : (W + (1 << -e) - 1) >> -e;
}

// Raw samples read to produce n points at exponent e.
int32_t LongueurLue(int32_t e, int32_t n) {
    if (e > 0) return dsp::LongueurDecime(e, n);
    if (e == 0) return n;
    return ((n + (1 << -e) - 1) >> -e) + 32;
}

// n points into destination, point p standing for the raw sample debut + M + p * 2^e;
// reads LongueurLue(e, n) samples from source[debut].
void Reechantillonner(std::span<const float> source, int32_t debut, std::span<float> destination,
                      int32_t n, int32_t e) {
    assert(debut >= 0 && debut + LongueurLue(e, n) <= static_cast<int32_t>(source.size()));
    if (e >= 0) {
        dsp::Reechantillonne(source, debut, destination, n, e);
        return;
    }
    const int32_t b = -e;
    dsp::Interpole(b, (n + (1 << b) - 1) >> b, source.subspan(static_cast<std::size_t>(debut)),
                   destination);
}

// Serial-number order of capture positions, which wrap after 2^32 frames.
bool Avant(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b)) < 0;
}
int32_t Plus(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

// Index in Echelles of the first shown point, DebutTrace - PosDecl, kept so that nb
// points fit whatever the GUI left in PosDecl.
int32_t PremierPoint(const EtatScope& etat, int32_t nb) {
    const int32_t k = etat.DebutTrace - etat.PosDecl.load(std::memory_order_relaxed);
    return std::clamp(k, 0, NbBruts - nb);
}

int32_t PointsAffiches(const EtatScope& etat) {
    return std::clamp(etat.NbPoints.load(std::memory_order_relaxed), 0, LargeurMax);
}

void NormaliserVerrouille(EtatScope& etat, int canal) {
    const int32_t nb = PointsAffiches(etat);
    const float* x = etat.Echelles[canal].data() + PremierPoint(etat, nb);
    float* y = etat.Trace[canal].data();
    const double decalage = 0.02 * etat.DeplaceXCopie + 1.0;
    const double echelle = etat.PleineEchelleCopie;
    for (int32_t i = 0; i < nb; ++i) {
        double v = (decalage - x[i] / echelle) * 0.5;
        if (!(v >= -1.0))
            v = -1.0;
        else if (v > 2.0)
            v = 2.0;
        y[i] = static_cast<float>(v);
    }
}

struct Cadre {
    int32_t W, S, M, canaux, sync;
};

void CheminLibre(EtatScope& etat, const Instantane& r, const Cadre& f) {
    etat.TraceValide.store(true, std::memory_order_relaxed);
    etat.DebutTrace = f.W;
    // The 2W points end on the newest sample.
    const int32_t n = 2 * f.W;
    const int32_t debut = NbBruts - LongueurLue(r.e, n);
    for (int c = 0; c < f.canaux; ++c)
        Reechantillonner(etat.Bruts[c], debut, etat.Echelles[c], n, r.e);
    int32_t pos = etat.PosDecl.load(std::memory_order_relaxed);
    if (etat.ThreadActive.load(std::memory_order_relaxed) && r.type == Universelle) {
        const int32_t k = Correler(f.W, etat.Reference, etat.Echelles[f.sync]) & 0xFFFF;
        pos = f.W - k;
    }
    if (pos < 0 || pos > f.W) pos = 0;
    etat.PosDecl.store(pos, std::memory_order_relaxed);
}

// The interpolated point just before the level, once the crossing's sample t sits at
// output index S * F: the walk ends at the latest on t + 1's own output, (S + 1) * F.
int32_t PointAvantNiveau(const EtatScope& etat, const Instantane& r, const Cadre& f, float niveau,
                         int32_t n) {
    const float* y = etat.Echelles[f.sync].data();
    const int32_t depart = f.S << -r.e;
    int32_t j = depart;
    while (j < n && (y[j] - niveau) * r.sens < 0)
        ++j;
    if (j >= n) j = depart + 1;
    return j - 1;
}

// False when the frame is rejected.
bool CheminDeclenche(EtatScope& etat, const Instantane& r, const Cadre& f) {
    etat.PosDecl.store(static_cast<int32_t>(QuotientArrondi(int64_t{r.decalage} * f.W, MaxDepF)),
                       std::memory_order_relaxed);
    etat.NiveauDeclPos.store(r.positionNiveau, std::memory_order_relaxed);
    const float niveau = static_cast<float>(etat.NiveauDeclCopie);
    // S + M samples on both sides of the crossing: the read is [t - S - M, t + S + M].
    const int32_t t = ChercherFront(niveau, r.sens, NbBruts - f.S - f.M, etat.Bruts[f.sync]);
    if (t < std::max(PremierDeclUtile, f.S + f.M)) return false;

    const int32_t capture = etat.PositionCapture.load(std::memory_order_relaxed);
    const int32_t fin = Plus(capture, t);
    if (Avant(fin, etat.FinDernierDecl)) return false;
    if (Avant(etat.DernierDecl, capture) && fin == etat.FinDernierDecl) return false;

    etat.TraceValide.store(true, std::memory_order_relaxed);
    etat.DernierDecl = capture;
    etat.FinDernierDecl = fin;
    // Interpolation also needs the points up to t + 1 and W beyond the refined crossing.
    const int32_t n = r.e >= 0 ? 2 * f.W : ((f.S + 1) << -r.e) + f.W;
    for (int c = 0; c < f.canaux; ++c)
        Reechantillonner(etat.Bruts[c], t - f.S - f.M, etat.Echelles[c], n, r.e);
    etat.DebutTrace = r.e >= 0 ? f.W : PointAvantNiveau(etat, r, f, niveau, n);
    return true;
}

// True when the single-shot stop is due.
bool ExtraireVerrouille(EtatScope& etat, const Instantane& r, int32_t largeur) {
    Cadre f{};
    f.W = std::clamp(largeur, 1, LargeurMaxExtraction(r.e));
    f.S = Etendue(r.e, f.W);
    f.M = Marge(r.e);
    const bool stereo = etat.StereoActif != 0;
    f.canaux = stereo ? 2 : 1;
    f.sync = stereo ? (etat.CanalSyncActif & 1) : 0;

    bool arret = false;
    if (r.type >= Declenchement && etat.ThreadActive.load(std::memory_order_relaxed)) {
        if (!CheminDeclenche(etat, r, f)) {
            etat.TraceValide.store(false, std::memory_order_relaxed);
            return false;
        }
        arret =
            r.type == DeclUnique && etat.PositionCapture.load(std::memory_order_relaxed) > NbBruts;
    } else {
        CheminLibre(etat, r, f);
    }

    const float* montre = etat.Echelles[f.sync].data() + PremierPoint(etat, f.W);
    std::copy(montre, montre + f.W, etat.Reference.begin());
    etat.NbPoints.store(f.W, std::memory_order_relaxed);
    const int32_t masque = etat.MasqueCanaux & (stereo ? 3 : 1);
    for (int c = 0; c < 2; ++c)
        if (masque & (1 << c)) NormaliserVerrouille(etat, c);
    return arret;
}

// Eight lags of Correler's sums side by side; GCC and clang split it into the vectors the
// instruction set has.
typedef double Huit __attribute__((vector_size(8 * sizeof(double))));
// Lags per block of the kernel: their sums stay in registers.
constexpr int32_t BlocRetards = 16;

// sommes[j] = sum over the pairs i = n-2, n-4, .. >= 0 of
// (ref[i] * x[i + j] + ref[i + 1] * x[i + 1 + j]), for j < BlocRetards. Every lag's sum
// is built in the same order as a lag-by-lag loop would, so vectorising across lags
// changes no result (contraction and reassociation are off).
TAMBURELLA_CLONES
void SommesBloc(const double* __restrict ref, const double* __restrict x, int32_t n,
                double* __restrict sommes) {
    Huit a0 = {}, a1 = {}, x0, x1, y0, y1;
    for (int32_t i = n - 2; i >= 0; i -= 2) {
        const double r0 = ref[i];
        const double r1 = ref[i + 1];
        const double* xi = x + i;
        std::memcpy(&x0, xi, sizeof x0);
        std::memcpy(&y0, xi + 1, sizeof y0);
        std::memcpy(&x1, xi + 8, sizeof x1);
        std::memcpy(&y1, xi + 9, sizeof y1);
        a0 += r0 * x0 + r1 * y0;
        a1 += r0 * x1 + r1 * y1;
    }
    std::memcpy(sommes, &a0, sizeof a0);
    std::memcpy(sommes + 8, &a1, sizeof a1);
}

} // namespace

int32_t LargeurMaxExtraction(int32_t e) {
    e = std::clamp(e, -3, 3);
    // The free path reads the newest 2S + 2M - (2^e - 1) samples; the triggered path
    // needs S + M samples on both sides of a crossing.
    if (e <= 0) return LargeurMax;
    return std::min(LargeurMax, (NbBruts - 2 * Marge(e)) >> (e + 1));
}

int32_t ChercherFront(float niveau, int32_t sens, int32_t debut, std::span<const float> x) {
    debut = std::min<int64_t>(debut, static_cast<int64_t>(x.size()) - 1);
    for (int32_t j = debut - 1; j >= 1; --j)
        if ((x[j] - niveau) * sens < 0 && !((x[j + 1] - niveau) * sens < 0)) return j;
    return 0;
}

int32_t Correler(int32_t n, std::span<const float> ref, std::span<const float> x) {
    n = static_cast<int32_t>(std::min<int64_t>(
        {n, static_cast<int64_t>(ref.size()), static_cast<int64_t>(x.size() / 2), LargeurMax}));
    if (n <= 0) return 0;
    // Widened once; x is padded with zeros for the last block's lags beyond n.
    double refd[LargeurMax];
    double xd[2 * LargeurMax + BlocRetards + 1];
    double sommes[LargeurMax + BlocRetards];
    std::copy(ref.begin(), ref.begin() + n, refd);
    std::copy(x.begin(), x.begin() + 2 * n, xd);
    std::fill(xd + 2 * n, std::end(xd), 0.0);
    for (int32_t k0 = 1; k0 <= n; k0 += BlocRetards)
        SommesBloc(refd, xd + k0, n, sommes + (k0 - 1));

    int32_t meilleur = 0;
    double max = -1e30;
    for (int32_t k = n; k >= 1; --k) {
        if (sommes[k - 1] >= max) {
            max = sommes[k - 1];
            meilleur = k;
        }
    }
    return meilleur;
}

void Normaliser(EtatScope& etat, int canal) {
    if (canal < 0 || canal > 1) return;
    std::lock_guard verrou(etat.VerrouMoteur);
    NormaliserVerrouille(etat, canal);
}

void Extraire(EtatScope& etat, const ReglagesAffichage& reglages, int32_t W, PiloteCapture& pilote,
              InterfaceGui& gui) {
    const Instantane r = Lire(reglages);
    bool arret;
    {
        std::lock_guard verrou(etat.VerrouMoteur);
        arret = ExtraireVerrouille(etat, r, W);
    }
    if (arret) {
        pilote.Arreter();
        gui.ArretUnique();
    }
}

} // namespace engine
