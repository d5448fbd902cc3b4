// A scope engine on synthetic samples, with a driver and a GUI side that only count.
#pragma once

#include "engine/InterfaceGui.h"
#include "engine/Parametres.h"
#include "engine/Pilote.h"

#include <atomic>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>

namespace banc {

inline constexpr double Pi = 3.14159265358979323846;
inline constexpr float Nan = std::numeric_limits<float>::quiet_NaN();

class PiloteFactice : public engine::PiloteCapture {
public:
    explicit PiloteFactice(engine::EtatScope& etat) : etat_(etat) {}
    int32_t Ouvrir() override { return engine::OuvertureReussie; }
    void Fermer() override {}
    void Arreter() override {
        // The engine must not call out with its lock held.
        if (etat_.VerrouMoteur.try_lock()) {
            etat_.VerrouMoteur.unlock();
        } else {
            ArretsVerrouilles.fetch_add(1);
        }
        etat_.Arret.store(true);
        Arrets.fetch_add(1);
    }
    void Demarrer() override { etat_.Arret.store(false); }
    void Lire(float*, int32_t) override {}

    std::atomic<int> Arrets{0};
    std::atomic<int> ArretsVerrouilles{0};

private:
    engine::EtatScope& etat_;
};

class GuiFactice : public engine::InterfaceGui {
public:
    void ArretUnique() override { Demandes.fetch_add(1); }
    std::atomic<int> Demandes{0};
};

struct Banc {
    std::unique_ptr<engine::EtatScope> etat = std::make_unique<engine::EtatScope>();
    engine::ReglagesAffichage reglages;
    PiloteFactice pilote{*etat};
    GuiFactice gui;

    Banc() {
        // Stale contents that a short or misplaced read would leave visible.
        for (auto& canal : etat->Echelles)
            canal.fill(Nan);
    }

    void Remplir(int canal, const std::function<double(int)>& f) {
        for (int i = 0; i < engine::NbBruts; ++i)
            etat->Bruts[canal][i] = static_cast<float>(f(i));
    }
    // A sine of `periode` samples whose rising zero crossings fall at phase + k * periode.
    void Sinus(int canal, double periode, double amplitude, double phase = 0.0) {
        Remplir(canal, [=](int i) { return amplitude * std::sin(2 * Pi * (i - phase) / periode); });
    }
    // An exactly periodic signal (each period holds the same floats).
    void Periodique(int canal, int periode, double amplitude, int decalage = 0) {
        Remplir(canal, [=](int i) {
            const int k = (i + decalage) % periode;
            return amplitude *
                   (std::sin(2 * Pi * k / periode) + 0.3 * std::cos(6 * Pi * k / periode));
        });
    }
    void Stereo(bool stereo, int masque, int sync) {
        etat->StereoActif = stereo ? 1 : 0;
        etat->MasqueCanaux = masque;
        etat->CanalSyncActif = sync;
    }
};

} // namespace banc
