#include "generator/Synthese.h"

#include "compiler/Compilateur.h"
#include "compiler/X87.h"
#include "platform/Locale.h"
#include "platform/Nombres.h"
#include "platform/Texte.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>

namespace generator {

namespace {

using compiler::Frndint;

// ---------------------------------------------------------------------------------------
// Field texts

} // namespace

bool LitNombre(std::string_view texte, long double& valeur) {
    return platform::LitNombre(texte, platform::SeparateurDecimal(), valeur);
}

std::string TexteBorne(long double valeur) {
    return platform::FormatGeneral(static_cast<double>(valeur), 4, 2);
}

bool BorneValeur(long double& v, std::string& texte, long double bas, long double haut) {
    bool change = false;
    if (bas > v) {
        v = bas;
        texte = TexteBorne(v);
        change = true;
    }
    if (haut < v) {
        v = haut;
        texte = TexteBorne(v);
        change = true;
    }
    return change;
}

namespace {

// ---------------------------------------------------------------------------------------
// The computation

long double FonctionCarre(double x) {
    return compiler::U(x);
}
long double FonctionTriangle(double x) {
    return compiler::Tri(x / 2);
}
long double FonctionSinus(double x) {
    return compiler::Fsin(compiler::PiX87 * x);
}
long double FonctionDentDeScie(double x) {
    return x;
}
using FonctionForme = long double (*)(double);
constexpr FonctionForme FonctionsFormes[4] = {FonctionCarre, FonctionTriangle, FonctionSinus,
                                              FonctionDentDeScie};

// The periodic function being synthesised: a predefined shape or the compiled formula.
struct Periodique {
    FonctionForme Forme = nullptr;
    const compiler::fonction* Formule = nullptr;
    long double a = -1, b = 1;

    // f(x[k]) for k < n into y.
    void Evalue(const double* x, long double* y, size_t n) const {
        if (Formule) {
            compiler::AppelleFonctionSerie(*Formule, x, y, n);
            return;
        }
        for (size_t k = 0; k < n; ++k)
            y[k] = Forme(x[k]);
    }
    // x brought back into the first period, as the function's argument.
    double Replie(double x) const {
        const long double periode = b - a;
        return static_cast<double>(x - std::trunc((x - a) / periode) * periode);
    }
};

// What the fields asked for, once read and checked.
enum class Cas : uint8_t { Periodique, Dirac, Bruit };

struct Plan {
    Cas Genre = Cas::Periodique;
    long double L = 0; // level
    long double P = 0; // frames per period
    int32_t NbPeriodes = 0;
    int32_t NbEchantillons = 0;
    int32_t N = 0; // frame capacity
    bool Synchro = false;
    Periodique f;
};

// Extended sum of the stored frame values.
struct Somme {
    long double S = 0;
};

void CalculePeriodique(Synthese& s, const Plan& p, Somme& somme) {
    const long double D = (p.f.b - p.f.a) * p.NbPeriodes / p.NbEchantillons;
    constexpr size_t Lot = 256;
    double x[Lot];
    long double y[Lot];
    for (int32_t debut = 0; debut < p.NbEchantillons; debut += static_cast<int32_t>(Lot)) {
        const auto n = static_cast<size_t>(std::min<int32_t>(Lot, p.NbEchantillons - debut));
        for (size_t k = 0; k < n; ++k)
            x[k] = p.f.Replie(static_cast<double>(p.f.a + (debut + static_cast<int32_t>(k)) * D));
        p.f.Evalue(x, y, n);
        for (size_t k = 0; k < n; ++k) {
            const auto v = static_cast<double>(y[k]);
            s.Signal[static_cast<size_t>(debut) + k] = v;
            somme.S += v;
        }
    }
}

void CalculeDirac(Synthese& s, const Plan& p, Somme& somme) {
    for (int32_t i = 0; i < p.NbEchantillons; ++i) {
        const bool impulsion = i == Frndint(Frndint(i / p.P) * p.P);
        s.Signal[static_cast<size_t>(i)] = impulsion ? 1.0 : 0.0;
        somme.S += s.Signal[static_cast<size_t>(i)];
    }
}

void CalculeBruit(Synthese& s, const Plan& p, Somme& somme) {
    uint32_t etat = 0x88755F45u;
    for (int32_t i = 0; i < p.NbEchantillons; ++i) {
        etat *= 0x88755F45u;
        s.Signal[static_cast<size_t>(i)] = static_cast<double>(etat & 0xFFFFu);
        somme.S += s.Signal[static_cast<size_t>(i)];
    }
}

void CalculeSynchro(Synthese& s, const Plan& p, Somme& somme) {
    if (p.Genre == Cas::Bruit) {
        std::fill_n(s.SignalSynchro.begin(), p.NbEchantillons, 0.0);
        return;
    }
    const long double D2 = 2.0L * p.NbPeriodes / p.NbEchantillons;
    for (int32_t i = 0; i < p.NbEchantillons; ++i) {
        const auto x = static_cast<double>(-1 + i * D2);
        const auto argument = static_cast<double>(x - std::trunc((x + 1) / 2.0L) * 2);
        s.SignalSynchro[static_cast<size_t>(i)] = compiler::U(argument);
        somme.S += s.SignalSynchro[static_cast<size_t>(i)];
    }
}

// Removes the mean and returns the peak; 0 when the channel is silent (a zero peak, or
// values that are not all finite).
long double OteMoyenne(std::array<double, CapaciteSignal>& v, int32_t n, long double moyenne) {
    long double K = 0;
    bool fini = std::isfinite(moyenne);
    for (int32_t i = 0; i < n; ++i) {
        const auto w = static_cast<double>(v[static_cast<size_t>(i)] - moyenne);
        v[static_cast<size_t>(i)] = w;
        if (!std::isfinite(w))
            fini = false;
        else
            K = std::max<long double>(K, std::fabs(w));
    }
    return fini ? K : 0;
}

// One channel of the PCM buffer: round(v / K · amplitude), or silence when K is 0.
void Normalise(const std::array<double, CapaciteSignal>& v, int32_t n, long double K,
               long double amplitude, int16_t* tampon, int pas, int voie) {
    for (int32_t i = 0; i < n; ++i) {
        const long double e = K > 0 ? Frndint(v[static_cast<size_t>(i)] / K * amplitude) : 0;
        std::atomic_ref<int16_t>(tampon[i * pas + voie])
            .store(static_cast<int16_t>(e), std::memory_order_relaxed);
    }
}

void CalculeApercu(Synthese& s, const Plan& p, long double moyenne, long double K) {
    const int32_t W = std::clamp(s.LargeurApercu, 11, CapaciteApercu - 1);
    auto& A = s.Apercu;
    if (p.Genre == Cas::Dirac) {
        std::fill(A.begin(), A.end(), 0.0f);
        A[static_cast<size_t>(W / 2)] = static_cast<float>(p.L);
        return;
    }
    if (p.Genre == Cas::Bruit) {
        for (int32_t j = 0; j <= W; ++j)
            A[static_cast<size_t>(j)] =
                K > 0 ? static_cast<float>(s.Signal[static_cast<size_t>(j)] / K * p.L) : 0.0f;
        return;
    }
    const long double E = (p.f.b - p.f.a) / (W - 10);
    double x[CapaciteApercu];
    long double y[CapaciteApercu];
    const auto n = static_cast<size_t>(W) + 1;
    for (size_t j = 0; j < n; ++j)
        x[j] = p.f.Replie(static_cast<double>(p.f.a + static_cast<long double>(j) * E));
    p.f.Evalue(x, y, n);
    // Points where the function is not finite are drawn on the axis.
    for (size_t j = 0; j < n; ++j) {
        const auto v = static_cast<float>(y[j] - moyenne);
        A[j] = std::isfinite(v) ? v : 0.0f;
        K = std::max<long double>(K, std::fabs(A[j]));
    }
    for (size_t j = 0; j < n; ++j)
        A[j] = K > 0 ? static_cast<float>(A[j] / K * p.L) : 0.0f;
}

// Steps 1 to 4: frequency, level, clamping and the buffer's length.
bool LitFrequenceNiveau(const Synthese& s, ChampsSignal& champs, ResultatSynthese& r, Plan& p) {
    long double f;
    if (!LitNombre(champs.Frequence, f)) {
        r.Fautif = Champ::EditFreq;
        return false;
    }
    if (!LitNombre(champs.Niveau, p.L)) {
        r.Fautif = Champ::EditNiveau;
        return false;
    }
    if (p.L > 1) {
        p.L = 1;
        champs.Niveau = TexteBorne(1);
        r.Reecrits |= Bit(Champ::EditNiveau);
    }
    if (p.L < 0) {
        p.L = 0;
        champs.Niveau = TexteBorne(0);
        r.Reecrits |= Bit(Champ::EditNiveau);
    }
    p.Synchro = s.CanalSyncGene != 0;
    p.N = CapaciteTrames(s.CanalSyncGene);
    const long double fe = std::clamp(s.FeGene, FeGeneMin, FeGeneMax);
    // At least one period must fit the buffer: above 49152 Hz, Fe / N exceeds 6·2^sync.
    const long double bas = std::max<long double>(6 << (p.Synchro ? 1 : 0), fe / p.N);
    if (BorneValeur(f, champs.Frequence, bas, fe / 2)) r.Reecrits |= Bit(Champ::EditFreq);
    p.P = fe / f;
    p.NbPeriodes = static_cast<int32_t>(std::trunc(p.N / p.P));
    p.NbEchantillons = std::min(p.N, static_cast<int32_t>(std::trunc(p.NbPeriodes * p.P)));
    return true;
}

// Step 5's checks: which case, and for a formula its code and bounds.
bool ChoisitCas(const ChampsSignal& champs, compiler::fonction& formule, ResultatSynthese& r,
                Plan& p) {
    if (champs.Mode == ModeSignal::Utilisateur) {
        const char separateur = platform::SeparateurDecimal();
        formule.Source.Affecte(champs.Fonction);
        if (!compiler::CompileFormule("X", formule, separateur)) {
            r.Fautif = Champ::EditFonction;
            return false;
        }
        p.f.a = compiler::EvalueConstante(champs.a, separateur);
        if (compiler::ErreurFormule) {
            r.Fautif = Champ::Ea;
            return false;
        }
        p.f.b = compiler::EvalueConstante(champs.b, separateur);
        if (compiler::ErreurFormule || p.f.a == p.f.b) {
            r.Fautif = Champ::Eb;
            return false;
        }
        p.f.Formule = &formule;
        p.Genre = Cas::Periodique;
        return true;
    }
    if (champs.Mode != ModeSignal::Predefini || champs.Predefini < 0 ||
        champs.Predefini >= NbFormes)
        return false;
    if (champs.Predefini == BruitBlanc) {
        p.Genre = Cas::Bruit;
        p.NbEchantillons = p.N;
    } else if (champs.Predefini == Dirac) {
        p.Genre = Cas::Dirac;
    } else {
        p.Genre = Cas::Periodique;
        p.f.Forme = FonctionsFormes[champs.Predefini];
    }
    return true;
}

} // namespace

ResultatSynthese Synthetise(Synthese& s, ChampsSignal& champs, int16_t* tampon) {
    ResultatSynthese r;
    Plan p;
    compiler::fonction formule;
    if (!LitFrequenceNiveau(s, champs, r, p) || !ChoisitCas(champs, formule, r, p)) {
        s.ApercuErreur = true;
        return r;
    }

    Somme somme, sommeSynchro;
    switch (p.Genre) {
    case Cas::Periodique:
        CalculePeriodique(s, p, somme);
        break;
    case Cas::Dirac:
        CalculeDirac(s, p, somme);
        break;
    case Cas::Bruit:
        CalculeBruit(s, p, somme);
        break;
    }
    if (p.Synchro) CalculeSynchro(s, p, sommeSynchro);

    const int pas = p.Synchro ? 2 : 1;
    const long double moyenne = somme.S / p.NbEchantillons;
    const long double K = OteMoyenne(s.Signal, p.NbEchantillons, moyenne);
    Normalise(s.Signal, p.NbEchantillons, K, 32767 * p.L, tampon, pas, 0);
    if (p.Synchro) {
        const long double K2 =
            OteMoyenne(s.SignalSynchro, p.NbEchantillons, sommeSynchro.S / p.NbEchantillons);
        Normalise(s.SignalSynchro, p.NbEchantillons, K2, 32767 * 0.5L, tampon, pas, 1);
    }
    CalculeApercu(s, p, moyenne, K);
    s.NbPeriodes = p.NbPeriodes;
    s.NbEchantillons = p.NbEchantillons;
    s.ApercuErreur = false;
    r.Reussi = true;
    return r;
}

DessinApercu DessineApercu(const Synthese& s) {
    DessinApercu d;
    d.Erreur = s.ApercuErreur;
    const int32_t W = std::clamp(s.LargeurApercu, 11, CapaciteApercu - 1);
    const int32_t H = std::max(s.HauteurApercu, 1);
    d.Largeur = W;
    d.Hauteur = H;
    for (int32_t k = 1; k <= 3; ++k)
        d.Grille[static_cast<size_t>(k - 1)] = {{0, k * H / 4}, {W, k * H / 4}};
    for (int32_t k = 1; k <= 4; ++k)
        d.Grille[static_cast<size_t>(k + 2)] = {{k * W / 5, 0}, {k * W / 5, H}};
    if (d.Erreur) return d;
    d.NbPoints = W + 1;
    for (int32_t j = 0; j <= W; ++j) {
        const long double y = (1.0L - s.Apercu[static_cast<size_t>(j)]) * H * 0.5L;
        d.Points[static_cast<size_t>(j)] = {j, static_cast<int32_t>(Frndint(y))};
    }
    return d;
}

} // namespace generator
