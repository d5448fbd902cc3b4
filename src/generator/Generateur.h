// The generator's process-wide state: the synthesis, the output shared by the loop player
// and the sweep, and both players. The generator window owns one and calls its handlers.
//
//     auto flux = CreeFluxSortie(tables);
//     auto g = std::make_unique<Generateur>(*flux);
//     g->Synth.FeGene = fe;                  // the output's rate, at the window's creation:
//     g->Sortie.Format.FixeFe(fe);           // later changes reach the synthesis only
//     g->Sortie.Identifiant = IdentifiantSortie(tables, noSortie);
//     ResultatGene r = g->Boucle.JoueSignal(champs);
//
// Thread contract: the GUI thread (see Sweep.h for the audio thread's part).
#pragma once

#include "generator/Lecteur.h"
#include "generator/Sweep.h"
#include "generator/Synthese.h"

namespace generator {

struct Generateur {
    explicit Generateur(platform::FluxLecture& flux) : Sortie(flux) {}
    Generateur(const Generateur&) = delete;
    Generateur& operator=(const Generateur&) = delete;

    Synthese Synth;
    SortieGene Sortie;
    Lecteur Boucle{Synth, Sortie};
    Sweep Balayage{Synth, Sortie};

    // Stops and closes the output: the switches between the two layouts, and the close
    // query (`requeteFermeture`), which also releases the headers. A paused sweep is
    // forgotten, so the next "Go" starts a new one on the output it opens.
    void ArreteEtFerme(bool requeteFermeture) {
        Sortie.ArreteEtFerme(requeteFermeture);
        Balayage.OubliePause();
    }
};

} // namespace generator
