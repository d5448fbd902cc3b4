// The sound inputs: the start-up enumeration that fills TablesEntrees, and the choice of
// a driver and device, with its fall-backs, when the scope window opens.
#pragma once

#include "engine/Parametres.h"
#include "engine/Pilote.h"
#include "platform/Capture.h"

#include <array>
#include <span>

namespace engine {

// Title of every message box of the scope engine.
inline constexpr const char* TitreProbleme = "Problème Tamburella";
inline constexpr const char* MessageAucuneEntree =
    "Pas d'entrée audio présente !\rAvez vous une carte son ?";

// Fills the tables from the two backends' lists (each with its default device first, at
// most MaxEntrees more are kept). `dsDisponible`: a sound server answered. A device the
// sound server lists takes its best rate from the server's probe, otherwise from ALSA's
// (one MeilleurFe table for both drivers).
void RemplitTables(TablesEntrees& tables, std::span<const platform::DescriptionEntree> wave,
                   bool dsDisponible, std::span<const platform::DescriptionEntree> ds);

// GUI thread, once at start-up: asks ALSA and the sound server.
void EnumereEntrees(TablesEntrees& tables);

// No driver lists any device besides the default one: the program cannot capture, and
// shows MessageAucuneEntree.
bool AucuneEntree(const TablesEntrees& tables);

// The message for a failed Ouvrir's code (null for 0).
const char* MessageOuverture(int32_t code);

struct ResultatChoix {
    int32_t Code = 0;                // last Ouvrir result
    const char* Message = nullptr;   // shown with TitreProbleme when Code != 0
    PiloteCapture* Pilote = nullptr; // the driver that opened (null on failure)
};

// GUI thread, when the scope window opens. pilotes[t] is the driver of TypeEntree t.
// Tries TypeEntree's driver on NoEntree, then the other one; when both fail, the next
// device (wrapping to the default) at its best rate; at most one round over the devices.
// The driver and device that opened stay in TypeEntree and NoEntree. Each failed Ouvrir
// is followed by Fermer. Does not start capture (the caller calls Demarrer).
ResultatChoix ChoisirPilote(const std::array<PiloteCapture*, 2>& pilotes, ReglagesEntree& entree,
                            const TablesEntrees& tables, EtatScope& etat);

} // namespace engine
