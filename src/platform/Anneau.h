// The capture ring: 131072 signed 16-bit samples of interleaved frames, written by one
// capture backend and read by the acquisition thread while the device keeps writing.
//
// Thread contract: one writer at a time (the backend's capture thread, or the thread that
// owns the backend while capture is stopped) calls Ecrire, Recommence and Efface; any
// thread may read at the same time. The samples are stored as 64-bit words accessed with
// relaxed atomic loads and stores, so a read that overlaps a write is never a data race
// (it just sees old or new samples); the write position is published with release order
// after the samples, so a reader that loads it with acquire order sees every sample
// before it.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace platform {

class AnneauCapture {
public:
    static constexpr uint32_t Taille = 131072; // samples
    static constexpr uint32_t Masque = Taille - 1;
    static constexpr uint32_t TailleOctets = 2 * Taille;

    AnneauCapture() = default;
    AnneauCapture(const AnneauCapture&) = delete;
    AnneauCapture& operator=(const AnneauCapture&) = delete;

    // Writer. Appends `nombre` samples at the write position (modulo the ring's length)
    // and publishes the new position.
    void Ecrire(const int16_t* echantillons, uint32_t nombre);
    // Writer. The next sample written goes to index 0 again; the position reads 0.
    void Recommence();
    // Writer. Sets every sample to 0 (the position is kept).
    void Efface();

    // Reader. Samples written since the last Recommence (acquire).
    int64_t Position() const { return position_.load(std::memory_order_acquire); }
    // Reader. The sample at `indice` modulo the ring's length.
    int16_t Echantillon(int64_t indice) const {
        const uint32_t i = static_cast<uint32_t>(indice) & Masque;
        const uint64_t mot = mots_[i >> 2].load(std::memory_order_relaxed);
        return static_cast<int16_t>(static_cast<uint16_t>(mot >> (16 * (i & 3))));
    }

    // Reader. Copies n frames of `canaux` (1 or 2) channels, the first one starting at
    // sample index `debut` (modulo the ring's length, so a stretch may run across the end):
    // channel c of frame j goes to sortie[c * n + j] as a float in 16-bit units. No
    // allocation, lock or system call.
    void CopieTrames(int64_t debut, int32_t n, int canaux, float* sortie) const;

private:
    void EcrireMot(uint32_t indiceMot, uint64_t mot) {
        mots_[indiceMot].store(mot, std::memory_order_relaxed);
    }

    std::array<std::atomic<uint64_t>, Taille / 4> mots_{};
    std::atomic<int64_t> position_{0};
};

} // namespace platform
