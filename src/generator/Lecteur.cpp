#include "generator/Lecteur.h"

#include <cstdio>

namespace generator {

void FormatSortie::FixeCanaux(int32_t canaux) {
    Canaux = canaux;
    AlignementBloc = 2 * canaux;
    OctetsParSeconde = Fe * AlignementBloc;
}

void FormatSortie::FixeFe(int32_t fe) {
    Fe = fe;
    OctetsParSeconde = Fe * AlignementBloc;
}

SortieGene::SortieGene(platform::FluxLecture& flux) : Flux(flux) {
    for (size_t k = 0; k < EntetesGene.size(); ++k) {
        EntetesGene[k].Donnees = TamponsGene[k].data();
        EntetesGene[k].Capacite = TailleTamponGene;
        EntetesGene[k].Octets = TailleTamponGene;
    }
}

void SortieGene::ArreteEtFerme(bool requeteFermeture) {
    if (EnLecture.load()) {
        EnLecture.store(false);
        Flux.Reinitialiser();
    }
    if (requeteFermeture)
        for (platform::TamponLecture& t : EntetesGene)
            Flux.Depreparer(t);
    if (SortieOuverte) {
        Flux.Fermer();
        SortieOuverte = false;
    }
}

uint32_t Lecteur::LongueurTampon() const {
    return static_cast<uint32_t>(synthese_.NbEchantillons) * 2u *
           (1u + static_cast<uint32_t>(synthese_.CanalSyncGene));
}

ResultatGene Lecteur::CalculeSignal(ChampsSignal& champs) {
    const ResultatSynthese s = Synthetise(synthese_, champs, sortie_.TamponSortie());
    ResultatGene r;
    r.Reussi = s.Reussi;
    r.Fautif = s.Fautif;
    r.Reecrits = s.Reecrits;
    if (!s.Reussi) return r;
    // The samples are rewritten first, so a new length never plays the old ones.
    platform::TamponLecture& boucle = sortie_.EntetesGene[TamponBoucle];
    if (sortie_.EnLecture.load() && LongueurTampon() != boucle.Octets) {
        sortie_.Flux.Reinitialiser();
        boucle.Octets = LongueurTampon();
        if (sortie_.Flux.Ecrire(boucle) != platform::LectureReussie) r.FermerFenetre = true;
    }
    return r;
}

ResultatGene Lecteur::JoueSignal(ChampsSignal& champs) {
    ResultatGene r = CalculeSignal(champs);
    if (!r.Reussi || r.FermerFenetre) return r;
    platform::TamponLecture& boucle = sortie_.EntetesGene[TamponBoucle];
    if (!sortie_.SortieOuverte) {
        sortie_.Format.FixeCanaux(1 + synthese_.CanalSyncGene);
        if (sortie_.Flux.Ouvrir(sortie_.Identifiant, sortie_.Format.Fe, sortie_.Format.Canaux,
                                nullptr) != platform::ResultatOuverture::Reussie) {
            r.Message = MessageGene{MessageSortieIndisponible, TitreProbleme, Icone::Erreur};
            return r;
        }
        sortie_.SortieOuverte = true;
        boucle.Boucle = true;
        boucle.Octets = TailleTamponGene;
        if (sortie_.Flux.Preparer(boucle) != platform::LectureReussie) {
            r.Message = MessageGene{MessagePreparation, TitreProbleme, Icone::Aucune};
            return r;
        }
    }
    sortie_.Flux.Reinitialiser();
    // The length of this computation, even when it changed while the output stood idle.
    boucle.Octets = LongueurTampon();
    if (const uint32_t code = sortie_.Flux.Ecrire(boucle)) {
        // The output failed (its server went away, its device was unplugged): closed, so
        // that the next Go opens it again rather than failing the same way for good.
        sortie_.EnLecture.store(false);
        sortie_.Flux.Fermer();
        sortie_.SortieOuverte = false;
        char hexa[9];
        std::snprintf(hexa, sizeof hexa, "%08X", code);
        r.Message = MessageGene{std::string(MessageEnvoi) + hexa, TitreProbleme, Icone::Aucune};
        return r;
    }
    sortie_.EnLecture.store(true);
    return r;
}

void Lecteur::StopClick() {
    if (!sortie_.EnLecture.load()) return;
    sortie_.EnLecture.store(false);
    sortie_.Flux.Reinitialiser();
}

} // namespace generator
