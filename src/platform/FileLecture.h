// The queue of a playback stream: the buffers queued, in order, and how far the head one
// has been played. Both playback backends feed their device from it. Not thread-safe:
// each backend serialises the calls with its own lock (held during notifications too).
#pragma once

#include "platform/Lecture.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace platform {

class FileLecture {
public:
    static constexpr size_t Capacite = 8;

    // Queues a prepared buffer that is not queued yet.
    CodeLecture Ajoute(TamponLecture& tampon);
    // Drops every buffer, without notification.
    void Vide();
    bool EstVide() const { return nombre_ == 0; }

    // Copies whole frames of `tailleTrame` bytes, at most `octets` bytes, from the queue
    // into `destination`, and gives back (notifies) each buffer as soon as its last byte
    // is copied; empty buffers are given back when they reach the head, even when
    // `octets` is 0. Returns the bytes copied. No allocation.
    size_t Remplit(int16_t* destination, size_t octets, size_t tailleTrame,
                   NotificationLecture* notification);

private:
    TamponLecture& Tete() { return *file_[tete_]; }
    void Retire();

    std::array<TamponLecture*, Capacite> file_{};
    size_t tete_ = 0;
    size_t nombre_ = 0;
    uint32_t lus_ = 0; // bytes of the head buffer copied in its current pass
};

} // namespace platform
