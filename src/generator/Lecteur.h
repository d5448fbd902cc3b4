// The generator's output and its loop player: one buffer holding whole periods, queued
// once as a loop and played until the user stops it; rewritten in place while it plays,
// so a new frequency, level or shape is heard at once.
//
// Errors are returned as values: the message box to show, the field to focus, the
// fields rewritten, whether the window must close. The windows show them.
//
// Thread contract: the GUI thread, but for what the sweep's notification reads (EnLecture,
// the sweep's buffers), documented in Sweep.h.
#pragma once

#include "generator/Synthese.h"
#include "platform/Lecture.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

namespace generator {

// Title of the output's message boxes.
inline constexpr const char* TitreProbleme = "Problème";
inline constexpr const char* MessageSortieIndisponible =
    "La sortie son  est indisponible !\r1- Vérifiez la validité de votre sortie son :\r"
    "    Menu/Options/Sortie son\r2- Vérifier qu'un autre programme\r    ne l'utilise pas.\r"
    "3- Vérifiez que votre carte son soit bien\r    bidirectionnelle";
inline constexpr const char* MessagePreparation = "N'arrive pas a préparer\rla mémoire tampon";
// Followed by the code in 8 upper-case hexadecimal digits.
inline constexpr const char* MessageEnvoi = "N'arrive pas a envoyer\rle tampon\rCode Erreur = ";

enum class Icone : uint8_t { Aucune, Erreur, Exclamation };

struct MessageGene {
    std::string Texte; // "\r" stands for a line break
    std::string Titre;
    Icone Symbole = Icone::Aucune;
};

// What a handler of the generator window asks the window to do.
struct ResultatGene {
    bool Reussi = false;
    Champ Fautif = Champ::Aucun;        // focus it and select its text
    EnsembleChamps Reecrits = 0;        // fields whose text the engine rewrote
    std::optional<MessageGene> Message; // a message box
    std::optional<std::string> Lecture; // new caption of the sweep's read-out
    std::optional<bool> Minuterie;      // the sweep's 100 ms timer on (true) or off
    bool FermerFenetre = false;         // close the generator window
};

inline constexpr int NbTamponsGene = 5;
inline constexpr uint32_t TailleTamponGene = 2 * CapaciteTampon; // bytes
inline constexpr int TamponBoucle = 4; // entry 4 is TamponSortie; 0..3 are the sweep's

// The output format; block alignment and byte rate follow the channels and the rate.
struct FormatSortie {
    int32_t Canaux = 1;
    int32_t Fe = 44100;
    int32_t AlignementBloc = 2;
    int32_t OctetsParSeconde = 88200;

    void FixeCanaux(int32_t canaux);
    void FixeFe(int32_t fe);
};

// The output that the loop player and the sweep share: the stream, the five buffers with
// their headers, the format and the state flags.
struct SortieGene {
    explicit SortieGene(platform::FluxLecture& flux);
    SortieGene(const SortieGene&) = delete;
    SortieGene& operator=(const SortieGene&) = delete;

    platform::FluxLecture& Flux;
    alignas(64) std::array<std::array<int16_t, CapaciteTampon>, NbTamponsGene> TamponsGene{};
    std::array<platform::TamponLecture, NbTamponsGene> EntetesGene{};
    FormatSortie Format;
    std::string Identifiant; // the output device ("" = the default), read at each opening
    bool SortieOuverte = false;
    std::atomic<bool> EnLecture{false}; // read by the sweep's notification

    int16_t* TamponSortie() { return TamponsGene[TamponBoucle].data(); }

    // Stopping and closing (mode switches; the close query also releases the headers).
    void ArreteEtFerme(bool requeteFermeture);
};

// The loop player over the synthesis.
class Lecteur {
public:
    Lecteur(Synthese& synthese, SortieGene& sortie) : synthese_(synthese), sortie_(sortie) {}

    // Recomputes the buffer from the fields; while it plays, a new byte length re-queues
    // it (when that fails the window must close).
    ResultatGene CalculeSignal(ChampsSignal& champs);
    // "Go": recomputes, opens the output once, and queues the buffer again as a loop. When
    // the output fails to take it, the output is closed: the next Go opens it again.
    ResultatGene JoueSignal(ChampsSignal& champs);
    // "Stop": the output stays open.
    void StopClick();

    // Byte length of the buffer for the current computation.
    uint32_t LongueurTampon() const;

private:
    Synthese& synthese_;
    SortieGene& sortie_;
};

} // namespace generator
