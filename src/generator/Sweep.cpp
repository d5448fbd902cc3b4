#include "generator/Sweep.h"

#include "compiler/X87.h"

#include <algorithm>
#include <cmath>

namespace generator {

namespace {

constexpr long double DeuxPi = 6.283185307179586477L;

bool LitChamp(std::string& texte, long double& v, long double bas, long double haut, Champ champ,
              ResultatGene& r) {
    if (!LitNombre(texte, v)) return false;
    if (BorneValeur(v, texte, bas, haut)) r.Reecrits |= Bit(champ);
    return true;
}

} // namespace

std::string TexteLectureSweep(long double frequence) {
    const long double f = compiler::Frndint(frequence);
    const auto entier = std::isfinite(f) ? static_cast<long long>(std::clamp(f, -1e18L, 1e18L)) : 0;
    return std::to_string(entier) + " Hz  ";
}

ResultatGene Sweep::Erreur(Champ champ) const {
    ResultatGene r;
    r.Fautif = champ;
    r.Lecture = LectureErreurSweep;
    return r;
}

uint32_t Sweep::OctetsBloc(int32_t b) const {
    if (b < NbBlocsPleins) return TailleTamponGene;
    if (b == NbBlocsPleins) return 2 * static_cast<uint32_t>(ResteSweep);
    return 0;
}

void Sweep::RemplitBlocSweep(int16_t* tampon, int32_t b) const {
    const long double A = AmplitudeSweep, w = PulsationSweep, k = PenteSweep;
    const long double debut = static_cast<long double>(b) * TailleBlocSweep;
    for (int32_t j = 0; j < TailleBlocSweep; ++j) {
        const long double n = debut + j;
        const long double e = compiler::Frndint(A * compiler::Fsin(w * n * (1 + k * n)));
        tampon[j] = static_cast<int16_t>(std::clamp(e, -32768.0L, 32767.0L));
    }
}

ResultatGene Sweep::GoSweepClick(ChampsSweep& champs) {
    if (EnPause.load()) {
        sortie_.Flux.Reprendre();
        EnPause.store(false);
        ResultatGene r;
        r.Reussi = true;
        return r;
    }
    ResultatGene r;
    const long double fe = std::clamp(synthese_.FeGene, FeGeneMin, FeGeneMax);
    long double f1, f2, niveau, T;
    if (!LitChamp(champs.f1, f1, 6, fe / 2, Champ::Editf1, r)) return Erreur(Champ::Editf1);
    if (!LitChamp(champs.f2, f2, 6, fe / 2, Champ::Editf2, r)) return Erreur(Champ::Editf2);
    if (!LitChamp(champs.Niveau, niveau, -1, 1, Champ::EditNiveauSweep, r))
        return Erreur(Champ::EditNiveauSweep);
    if (!LitChamp(champs.Duree, T, 0.1L, 3600, Champ::EditDuree, r))
        return Erreur(Champ::EditDuree);
    if (f1 == f2) return r;

    if (!sortie_.SortieOuverte) {
        sortie_.Format.FixeCanaux(1);
        if (sortie_.Flux.Ouvrir(sortie_.Identifiant, sortie_.Format.Fe, 1, this) !=
            platform::ResultatOuverture::Reussie) {
            r.Message = MessageGene{MessageSweepIndisponible, TitreProbleme, Icone::Aucune};
            return r;
        }
        sortie_.SortieOuverte = true;
        for (int b = 0; b < NbBlocsSweep; ++b) {
            sortie_.EntetesGene[static_cast<size_t>(b)].Boucle = false;
            sortie_.EntetesGene[static_cast<size_t>(b)].Octets = TailleTamponGene;
            if (sortie_.Flux.Preparer(sortie_.EntetesGene[static_cast<size_t>(b)]) !=
                platform::LectureReussie) {
                r.FermerFenetre = true;
                return r;
            }
        }
    } else {
        sortie_.EnLecture.store(false);
    }
    // When this returns nothing of the previous sweep is queued or being given back.
    sortie_.Flux.Reinitialiser();

    F1Sweep = f1;
    F2Sweep = f2;
    AmplitudeSweep = niveau * 32767;
    DureeSweep = T;
    PenteSweep = (f2 / f1 - 1) / (2 * T * fe);
    PulsationSweep = DeuxPi * f1 / fe;
    TotalSweep = static_cast<int32_t>(compiler::Frndint(fe * T));
    NbBlocsPleins = TotalSweep / TailleBlocSweep;
    ResteSweep = TotalSweep % TailleBlocSweep;
    // Set before the first block goes, so that a block given back at once (an empty
    // one) counts for this sweep.
    BlocSuivant.store(NbBlocsSweep);
    NbTermines.store(0);
    EnPause.store(false);
    finDemandee_.store(PasDeFin);
    fermetureDemandee_.store(false);
    for (int b = 0; b < NbBlocsSweep; ++b) {
        platform::TamponLecture& entete = sortie_.EntetesGene[static_cast<size_t>(b)];
        RemplitBlocSweep(entete.Donnees, b);
        entete.Octets = OctetsBloc(b);
    }
    sortie_.EnLecture.store(true, std::memory_order_release);
    for (int b = 0; b < NbBlocsSweep; ++b) {
        if (sortie_.Flux.Ecrire(sortie_.EntetesGene[static_cast<size_t>(b)]) !=
            platform::LectureReussie) {
            r.FermerFenetre = true;
            return r;
        }
    }
    r.Reussi = true;
    r.Lecture = TexteLectureSweep(F1Sweep);
    r.Minuterie = true;
    return r;
}

ResultatGene Sweep::StopSweepClick() {
    ResultatGene r;
    if (!sortie_.EnLecture.load()) return r;
    sortie_.EnLecture.store(false);
    EnPause.store(false);
    sortie_.Flux.Reinitialiser();
    r.Minuterie = false;
    return r;
}

void Sweep::ButtonPauseClick() {
    if (!sortie_.EnLecture.load()) return;
    sortie_.Flux.Pause();
    EnPause.store(true);
}

ResultatGene Sweep::Timer1Timer() {
    ResultatGene r;
    r.FermerFenetre = fermetureDemandee_.exchange(false);
    const uint8_t fin = finDemandee_.exchange(PasDeFin, std::memory_order_acquire);
    if (fin != PasDeFin) {
        r.Minuterie = false;
        if (fin == FinComplete) r.Lecture = TexteLectureSweep(F2Sweep);
        return r;
    }
    if (sortie_.EnLecture.load() && sortie_.Flux.EnEchec()) {
        // Nothing will come back from a failed output: the sweep would never end.
        sortie_.ArreteEtFerme(false);
        EnPause.store(false);
        r.Minuterie = false;
        r.Lecture = "";
        r.Message = MessageGene{MessageSweepInterrompu, TitreProbleme, Icone::Erreur};
        return r;
    }
    const auto p = static_cast<long double>(sortie_.Flux.Position());
    r.Lecture = TexteLectureSweep((2 * PenteSweep * p + 1) * F1Sweep);
    return r;
}

void Sweep::TamponTermine(platform::TamponLecture& h) {
    const auto k = &h - sortie_.EntetesGene.data();
    if (k < 0 || k >= NbBlocsSweep) return;
    const int32_t b = BlocSuivant.load(std::memory_order_relaxed);
    if (sortie_.EnLecture.load(std::memory_order_acquire) && b <= NbBlocsPleins) {
        RemplitBlocSweep(h.Donnees, b);
        h.Octets = OctetsBloc(b);
        if (sortie_.Flux.Ecrire(h) != platform::LectureReussie) fermetureDemandee_.store(true);
        BlocSuivant.store(b + 1, std::memory_order_relaxed);
        return;
    }
    if (NbTermines.fetch_add(1) + 1 == NbBlocsSweep) {
        finDemandee_.store(b > NbBlocsPleins ? FinComplete : FinInterrompue,
                           std::memory_order_release);
        sortie_.EnLecture.store(false);
    }
}

} // namespace generator
