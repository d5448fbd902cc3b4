// The scope's two capture drivers over the real backends (ALSA and the sound server), with
// the engine state and settings they share: what the sound tests open and read through.
#pragma once

#include "engine/Pilotes.h"
#include "platform/Alsa.h"
#include "platform/Pulse.h"

#include <memory>

namespace essai {

struct PilotesReels {
    std::unique_ptr<engine::EtatScope> etat = std::make_unique<engine::EtatScope>();
    engine::ReglagesEntree entree;
    engine::TablesEntrees tables;
    engine::ReglagesAffichage affichage;
    std::unique_ptr<platform::FluxCapture> fluxAlsa = platform::CreeFluxAlsa();
    std::unique_ptr<platform::FluxCapture> fluxSon = platform::CreeFluxSon();
    engine::PiloteWave wave{{*etat, entree, tables, affichage}, *fluxAlsa};
    engine::PiloteDS ds{{*etat, entree, tables, affichage}, *fluxSon};
};

} // namespace essai
