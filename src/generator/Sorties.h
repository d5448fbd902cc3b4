// The sound outputs, enumerated once at start-up: the sound server's sinks when a server
// answers, ALSA's playback devices otherwise. Entry e stands for device number e - 1;
// entry 0 is the default output (device -1).
//
// Thread contract: filled by the GUI thread at start-up, read-only afterwards.
#pragma once

#include "engine/Parametres.h"
#include "panel/Reglages.h"
#include "platform/Lecture.h"

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace generator {

// Devices besides the default one.
inline constexpr int MaxSorties = engine::MaxEntrees;
// Characters (not bytes) kept of each name.
inline constexpr size_t LongueurNomSortie = 32;

struct TablesSorties {
    bool ParServeur = false; // the sound server answered: its sinks, else ALSA's devices
    int32_t NbSorties = 0;   // 0 .. MaxSorties
    std::array<std::string, MaxSorties + 1> NomsSorties;
    std::array<std::string, MaxSorties + 1> IdentifiantsSorties; // the backend's names
    // 1 when the entry accepts TableFe[i] for 16-bit mono playback.
    std::array<std::array<uint8_t, engine::NbFe>, MaxSorties + 1> FeSupportesSortie{};
    // Index into TableFe of the highest accepted rate, -1 when none.
    std::array<int32_t, MaxSorties + 1> MeilleurFeSortie{};

    // Entry of device d (-1 .. NbSorties - 1).
    static size_t Indice(int32_t d) { return static_cast<size_t>(d + 1); }
};

// Fills the tables from a backend's list (its default output first; at most MaxSorties
// more are kept).
void RemplitSorties(TablesSorties& tables, std::span<const platform::DescriptionSortie> liste,
                    bool parServeur);

// GUI thread, once at start-up: asks the sound server, else ALSA.
void EnumereSorties(TablesSorties& tables);

// The format query: whether device d (-1 .. NbSorties - 1) takes 16-bit mono at fe Hz.
// False for a device outside the tables.
bool AccepteFeSortie(const TablesSorties& tables, int32_t d, int32_t fe);

// The identifier of device d for the stream's Ouvrir ("" for the default, or for a device
// outside the tables).
std::string IdentifiantSortie(const TablesSorties& tables, int32_t d);

// A playback stream of the backend the tables were filled from.
std::unique_ptr<platform::FluxLecture> CreeFluxSortie(const TablesSorties& tables);

// What the settings' output checks compare with; `tables` must outlive it (its format
// query refers to them).
panel::ContexteSortie ContexteSortiePour(const TablesSorties& tables);

} // namespace generator
