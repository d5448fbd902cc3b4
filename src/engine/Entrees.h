// The sound inputs: the start-up enumeration that fills TablesEntrees, and the choice of
// a driver and device, with its fall-backs, when the scope window opens.
#pragma once

#include "engine/Parametres.h"
#include "engine/Pilote.h"
#include "platform/Capture.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace engine {

// Title of every message box of the scope engine.
inline constexpr const char* TitreProbleme = "Problème Tamburella";
inline constexpr const char* MessageAucuneEntree =
    "Pas d'entrée audio présente !\rAvez vous une carte son ?";
// Followed by the names of the inputs that did not answer, one per line.
inline constexpr const char* MessageEntreesNonListees =
    "Ces entrées son n'ont pas répondu à temps\ret ne sont pas listées :";
// How long the start-up waits for the sound server's lists; and for ALSA's when the
// server answered (then nothing holds ALSA but a slow machine).
inline constexpr std::chrono::milliseconds DelaiEnumeration{2000};
inline constexpr std::chrono::milliseconds DelaiEnumerationLent{30000};

// Fills the tables from the two backends' lists (each with its default device first, at
// most MaxEntrees more are kept). `dsDisponible`: a sound server answered. A device the
// sound server lists takes its best rate from the server's probe, otherwise from ALSA's
// (one MeilleurFe table for both drivers).
void RemplitTables(TablesEntrees& tables, std::span<const platform::DescriptionEntree> wave,
                   bool dsDisponible, std::span<const platform::DescriptionEntree> ds);

// A backend's device list made on a thread of its own, so that a backend stuck in its
// library (a frozen sound server holds ALSA's pulse plugin and the server's client
// library for 30 s per call) does not hold the caller. The thread owns what it shares
// and ends on its own when it is late.
class ListeEnFond {
public:
    using Liste = std::vector<platform::DescriptionEntree>;
    explicit ListeEnFond(Liste (*faire)());
    // The list, or nullopt when it is not done by `limite`.
    std::optional<Liste> Attend(std::chrono::steady_clock::time_point limite);

private:
    struct Partage {
        std::mutex m;
        std::condition_variable cv;
        Liste liste;
        bool finie = false;
    };
    std::shared_ptr<Partage> partage_ = std::make_shared<Partage>();
};

// Lists still being made on their threads: late ones end once their backend answers.
// Any thread. (A test that changes the environment waits for them first.)
int32_t ListesEnCours();

// What stands for a backend that did not answer: its default device named `nom`, every
// rate allowed (the opening will tell).
std::vector<platform::DescriptionEntree> DefautSeul(const char* nom);

// The start-up's input enumeration: asks ALSA and the sound server, both at once, from
// its construction, waiting for the server `delai` at most, and for ALSA as long when the
// server did not answer (a frozen sound server holds both for 30 s per call). Begun early,
// it waits for a frozen server while the rest of the start-up does (the outputs' list).
class EnumerationEntrees {
public:
    explicit EnumerationEntrees(std::chrono::milliseconds delai = DelaiEnumeration);
    // GUI thread, once. Fills the tables. A backend that has not answered in time gets its
    // default device alone, with every rate, and its name ("ALSA", "PulseAudio") is
    // returned among the inputs not listed.
    std::vector<std::string> Termine(TablesEntrees& tables);

private:
    ListeEnFond wave_, ds_;
    std::chrono::steady_clock::time_point debut_;
    std::chrono::milliseconds delai_;
};

// GUI thread, once at start-up: the enumeration above, begun now.
std::vector<std::string> EnumereEntrees(TablesEntrees& tables,
                                        std::chrono::milliseconds delai = DelaiEnumeration);

// No driver lists any device besides the default one: the program cannot capture, and
// shows MessageAucuneEntree (unless some inputs were not listed: they may be there).
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
