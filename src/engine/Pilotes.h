// The two capture drivers over a sound backend: "wave-in" (TypeEntree 0, on ALSA) and
// "DirectSound" (TypeEntree 1, on the sound server). Both fill Bruts alike; they differ in
// how the capture position is counted:
// - wave-in: PositionCapture is the number of frames captured since the start, and the
//   newest copied frame lies Delai frames behind it;
// - DirectSound: the newest copied frame is the newest captured one, and PositionCapture
//   is the absolute number of the first copied frame, counted through the ring's wraps.
#pragma once

#include "engine/Parametres.h"
#include "engine/Pilote.h"
#include "platform/Capture.h"

#include <atomic>
#include <string>

namespace engine {

// What a driver reads and writes around it; all of it outlives the driver.
struct ContexteCapture {
    EtatScope& Etat;
    ReglagesEntree& Entree;
    const TablesEntrees& Tables;
    const ReglagesAffichage& Affichage;
};

// Index into TableFe of the highest rate a driver's table marks for device d, -1 when none
// (or when d is not a listed device).
int32_t MeilleurFePilote(const std::array<std::array<bool, NbFe>, MaxEntrees + 1>& supportes,
                         int32_t nbEntrees, int32_t d);

class PiloteWave final : public PiloteCapture {
public:
    PiloteWave(ContexteCapture c, platform::FluxCapture& flux) : c_(c), flux_(flux) {}

    int32_t Ouvrir() override;
    void Fermer() override;
    void Arreter() override;
    void Demarrer() override;
    void Lire(float* sortie, int32_t n) override;
    bool DemarrageReussi() const override { return demarre_.load(std::memory_order_relaxed); }
    bool SansSon() const override { return flux_.SansDonnees(); }
    // The time the ring needs to hold about one screen of samples, as the first frame
    // needs: (2 W scaled by 2^EchelleT + Delai) / FeCourante, computed by Demarrer.
    int32_t AttenteDemarrage() const override { return attente_.load(std::memory_order_relaxed); }

private:
    ContexteCapture c_;
    platform::FluxCapture& flux_;
    std::atomic<bool> demarre_{false};
    std::atomic<int32_t> attente_{0};
};

class PiloteDS final : public PiloteCapture {
public:
    PiloteDS(ContexteCapture c, platform::FluxCapture& flux) : c_(c), flux_(flux) {}

    int32_t Ouvrir() override;
    void Fermer() override;
    void Arreter() override;
    void Demarrer() override;
    void Lire(float* sortie, int32_t n) override;
    bool DemarrageReussi() const override { return demarre_.load(std::memory_order_relaxed); }
    bool SansSon() const override { return flux_.SansDonnees(); }

private:
    ContexteCapture c_;
    platform::FluxCapture& flux_;
    std::atomic<bool> demarre_{false};
    // Bumped by each Demarrer; Lire then restarts its wrap count. The count itself is
    // Lire's alone, so a start never writes what a read in progress uses.
    std::atomic<uint32_t> demarrages_{0};
    uint32_t demarragesVus_ = 0;
    int64_t nbTours_ = 0;
    int64_t dernierOffset_ = 0; // DernierOffsetDS, bytes
};

} // namespace engine
