// What the generator needs of a sound backend for playback (the sound server, or ALSA
// when none answers): a list of the outputs, a format query, and a playback stream that
// plays buffers of ours in their queue order, as a wave-out device does.
//
// The stream never copies a buffer when it is queued: it reads it while it plays, so a
// looping buffer rewritten in place is heard at its next pass. A buffer is "done" once
// the stream has handed its last byte to the device; the notification then gives it
// back, and it may be rewritten and queued again.
#pragma once

#include "platform/Capture.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace platform {

// The outputs a user may pick, described as the inputs are (name, rates accepted for
// 16-bit mono playback). Identifier "" is the default output.
using DescriptionSortie = DescriptionEntree;

// One buffer of interleaved 16-bit frames, owned by the caller (a wave-out header). The
// caller sets Donnees, Octets and Boucle while the buffer is not queued; while it is, the
// stream reads the samples with relaxed atomic loads, so the caller may rewrite them
// with relaxed atomic stores (std::atomic_ref).
struct TamponLecture {
    int16_t* Donnees = nullptr;
    uint32_t Capacite = 0; // bytes at Donnees
    uint32_t Octets = 0;   // bytes to play (whole frames; a trailing partial frame is left)
    bool Boucle = false;   // played again and again until a reset
    // Owned by the stream.
    bool Prepare = false;
    bool EnFile = false;
};

// Results of the stream operations, after the wave-out codes the window reports.
enum CodeLecture : uint32_t {
    LectureReussie = 0,
    ErreurLecture = 1,   // the device or the server failed
    PoigneeInvalide = 5, // the stream is not open
    MemoireInsuffisante = 7,
    ParametreInvalide = 11, // no data, or a length beyond the capacity
    EncoreEnFile = 33,      // the buffer is still queued
    NonPrepare = 34,        // the buffer was not prepared
};

// Called on the stream's audio thread for each buffer that is done, in queue order. It
// may queue buffers again (Ecrire), nothing else; it must not block.
class NotificationLecture {
public:
    virtual void TamponTermine(TamponLecture& tampon) = 0;

protected:
    ~NotificationLecture() = default;
};

// A playback stream. Every operation but Ecrire runs on one thread (the generator
// window's) and never from a notification.
class FluxLecture {
public:
    virtual ~FluxLecture() = default;

    // Opens `identifiant` ("" = the default output) for 16-bit playback of `canaux`
    // interleaved channels at `fe` Hz. `notification` (may be null) must outlive the
    // stream's opening.
    virtual ResultatOuverture Ouvrir(const std::string& identifiant, int32_t fe, int32_t canaux,
                                     NotificationLecture* notification) = 0;
    // Checks the buffer (data, capacity, length) and marks it prepared.
    virtual CodeLecture Preparer(TamponLecture& tampon) = 0;
    virtual void Depreparer(TamponLecture& tampon) = 0;
    // Queues a prepared buffer behind the others. Also from a notification.
    virtual CodeLecture Ecrire(TamponLecture& tampon) = 0;
    // Stops at once, drops what is queued (no notification for those buffers) and
    // starts the position again at 0; a pause ends. When it returns no notification is
    // running or will come for the dropped buffers.
    virtual void Reinitialiser() = 0;
    // Pauses playback where it is; Reprendre goes on from there.
    virtual void Pause() = 0;
    virtual void Reprendre() = 0;
    // Frames played since the opening or the last reset (what has been heard, about).
    virtual int64_t Position() = 0;
    // Stops and releases the device. Harmless when not open.
    virtual void Fermer() = 0;
    // The stream failed (its server went away, its device was unplugged): nothing more
    // plays or comes back until it is opened again. Any thread; never blocks.
    virtual bool EnEchec() const { return false; }
};

// Checks shared by the backends' Preparer and Ecrire.
CodeLecture VerifieTampon(const TamponLecture& tampon);

// The sound server: its sinks, the default one first (identifier ""), at most `maximum`
// more; each accepts every valid rate (the server converts). Empty when no server
// answers. GUI thread, at start-up.
std::vector<DescriptionSortie> EnumereSortiesSon(std::span<const int32_t> fes, int maximum);
// Whether the server takes 16-bit mono playback at `fe`.
bool AccepteFeSon(int32_t fe);
std::unique_ptr<FluxLecture> CreeFluxLectureSon();

// ALSA: "default" first (identifier ""), then the playback devices a user would pick,
// each probed at the rates `fes` for 16-bit mono playback.
std::vector<DescriptionSortie> EnumereSortiesAlsa(std::span<const int32_t> fes, int maximum);
// Through a sound server's plugin a frozen server holds every call on the device for long:
// these wait for the device 1.5 s at most. A rate the device does not answer for in time
// is accepted (the opening will tell); an opening not done in time is Indisponible, and
// the stream's other operations complete on the device in the background.
bool AccepteFeAlsa(const std::string& identifiant, int32_t fe);
std::unique_ptr<FluxLecture> CreeFluxLectureAlsa();

} // namespace platform
