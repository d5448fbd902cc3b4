// Signal files: the newest samples of the capture history saved as a WAV file (16-bit
// PCM) or as text (one line per sample, the channels separated by " ; "), and a file
// loaded back into the history. The kind follows the name: ".wav" in any letter case is
// WAV, anything else text.
#pragma once

#include "engine/Parametres.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace panel {

// Per channel, oldest first, floats in 16-bit units (the engine state's Bruts).
using TableauBruts = std::array<std::array<float, engine::NbBruts>, 2>;

// Samples per channel of a saved or loaded signal: about half a second at 44100 Hz.
inline constexpr int32_t NbEchSignal = engine::NbBruts;
inline constexpr size_t TailleEnteteWav = 48;

// Message-box title and messages of the signal files.
inline constexpr const char* TitreSignal = "Tamburella";
inline constexpr const char* MessageEnregistrementImpossible = "Impossible d'enregistrer le signal";
inline constexpr const char* MessageLectureImpossible = "Impossible de lire le signal";
inline constexpr const char* MessageWavTropCourt = "La durée du fichier wav est trop courte";
inline constexpr const char* MessageWavNonSupporte = "Format de fichier wav non supporté";

// Whether the name's extension, in capitals, is ".WAV".
bool EstNomWav(std::string_view nom);

// True when the header has "RIFF" at 0, "WAVE" at 8, "fmt " at 12 and "data" at 40: the
// layout this program writes.
bool EnteteWavValide(std::span<const uint8_t, TailleEnteteWav> entete);

// Writes the newest n samples per channel (n brought into 1 .. 20480) of `bruts`, with
// nbCanaux channels (1 or 2) at rate fe Hz. WAV: the 48-byte header (a 20-byte format
// chunk), then the frames, left sample first. Text: one line per sample, "-1234" in mono,
// "-1234 ; 567" in stereo, lines ended by CR LF. Samples are rounded to the nearest
// integer, ties to even (WAV: saturated to 16 bits).
//
// The file is replaced as a whole (a temporary beside it, then a rename), so a program
// reading it never sees half a file, and a failed write leaves the previous file as it
// was. An existing file without write permission is not replaced, nor anything that is
// not a regular file (a folder, a named pipe, a device); a replaced file keeps its
// owner, group and permissions.
//
// One writer serves one thread (its temporary file is named after the thread that first
// writes a name). The buffer file's writer runs on the acquisition thread every frame:
// it allocates only when the file name changes.
class EcrivainSignal {
public:
    // `synchronise`: the data reach the disk before the rename (menu saves; the buffer
    // file, rewritten every frame, does without).
    explicit EcrivainSignal(bool synchronise = false);
    // False when the file could not be written.
    [[nodiscard]] bool Enregistre(const std::string& nom, int32_t n, const TableauBruts& bruts,
                                  int32_t nbCanaux, int32_t fe);

private:
    bool synchronise_;
    std::string tampon_; // the file's bytes, sized once for the largest file
    std::string nom_;
    std::string temporaire_;
};

// One save (the menu's "Enregistrer Signal"), synchronised to disk. False on failure:
// the caller shows MessageEnregistrementImpossible.
[[nodiscard]] bool EnregistreSignal(const std::string& nom, int32_t n, const TableauBruts& bruts,
                                    int32_t nbCanaux, int32_t fe);

enum class ErreurChargement {
    Aucune,
    Illisible,      // cannot open or read, a line that is not a number, fewer than 20480 lines
    WavTropCourt,   // fewer than 20480 frames of data
    WavNonSupporte, // not a WAV of plain samples
};
// The message to show, empty for Aucune.
std::string_view MessageChargement(ErreurChargement erreur);

// Loads a signal file into `bruts`, 20480 samples per channel. GUI thread; the capture
// must be stopped (and the acquisition thread out of its frame) beforehand. Only a
// regular file is read: a named pipe, a device or a folder is Illisible at once.
//
// Text: line i sets left [i] from the number before its first ";" (the whole line
// without one) and right [i] from the number after it; blanks around a number are
// ignored, the decimal separator is the locale's (a point is accepted too). On an error
// the samples read so far stay in `bruts`.
//
// WAV: the WAV family only ("RIFF" or "RIFX" WAVE, WAVE_FORMAT_EXTENSIBLE, RF64) holding
// plain samples (integer PCM of any width, float, A-law, µ-law) in one or more channels,
// converted to 16-bit units; anything else, whatever its name, is WavNonSupporte and
// reaches no other decoder of the sound-file library. Channel k of the file goes into
// channel k for k < nbCanaux; a mono file in stereo capture leaves the right channel as
// it was. On an error nothing is changed.
ErreurChargement ChargeSignal(const std::string& nom, TableauBruts& bruts, int32_t nbCanaux);

// The same on an open file, read from its current position; the descriptor stays open.
ErreurChargement ChargeSignalTexte(int fd, TableauBruts& bruts);
ErreurChargement ChargeSignalWav(int fd, TableauBruts& bruts, int32_t nbCanaux);

} // namespace panel
