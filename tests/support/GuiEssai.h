// A stand-in for the windows: the engine's hand-overs are queued to the test's own thread,
// which plays the GUI thread and serves them with Servir. Built on std primitives only,
// so ThreadSanitizer sees every hand-over.
#pragma once

#include "engine/InterfaceGui.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace essai {

class GuiEssai : public engine::InterfaceGui {
public:
    // What the GUI thread saw; read them on the test's thread.
    int Dessins = 0, Affichages = 0, Images = 0, Desactivations = 0, Reactivations = 0;
    int PositionDepF = -1;
    std::vector<std::string> Erreurs;
    // FinThread does not wait: counted at once, on the thread that finishes.
    std::atomic<int> FinsThread{0};
    // Run on the GUI thread inside each hand-over, when set.
    std::function<void()> PendantDessiner, PendantAfficher;

    void ArretUnique() override {}
    void Dessiner() override {
        Remet([this] {
            ++Dessins;
            if (PendantDessiner) PendantDessiner();
        });
    }
    void Afficher() override {
        Remet([this] {
            ++Affichages;
            if (PendantAfficher) PendantAfficher();
        });
    }
    void DessinerImage() override {
        Remet([this] { ++Images; });
    }
    void DesactiveDepF() override {
        Remet([this] { ++Desactivations; });
    }
    void ReactiveDepF(int32_t position) override {
        Remet([this, position] {
            ++Reactivations;
            PositionDepF = position;
        });
    }
    void FinThread() override { ++FinsThread; }
    void ErreurCalcul(const char* message) override {
        Remet([this, m = std::string(message)] { Erreurs.push_back(m); });
    }

    // GUI thread: runs the pending hand-overs; how many.
    int Servir() {
        int n = 0;
        std::unique_lock verrou(mutex_);
        while (!file_.empty()) {
            Demande* d = file_.front();
            file_.pop_front();
            verrou.unlock();
            d->tache();
            verrou.lock();
            d->faite = true;
            faite_.notify_all();
            ++n;
        }
        return n;
    }
    // GUI thread: serves until `fini()` or the time limit; `fini`'s last value.
    template <class Condition>
    bool ServirJusqua(Condition fini, std::chrono::milliseconds limite = std::chrono::seconds(20)) {
        const auto fin = std::chrono::steady_clock::now() + limite;
        while (!fini()) {
            if (std::chrono::steady_clock::now() > fin) return false;
            std::unique_lock verrou(mutex_);
            demande_.wait_for(verrou, std::chrono::milliseconds(5),
                              [this] { return !file_.empty(); });
            verrou.unlock();
            Servir();
        }
        return true;
    }
    // A hand-over is waiting to be served.
    bool EnAttente() {
        std::lock_guard verrou(mutex_);
        return !file_.empty();
    }

private:
    struct Demande {
        std::function<void()> tache;
        bool faite = false;
    };
    // The acquisition thread's side: blocks until the GUI thread has run `tache`.
    void Remet(std::function<void()> tache) {
        Demande d{std::move(tache)};
        std::unique_lock verrou(mutex_);
        file_.push_back(&d);
        demande_.notify_all();
        faite_.wait(verrou, [&] { return d.faite; });
    }

    std::mutex mutex_;
    std::condition_variable demande_, faite_;
    std::deque<Demande*> file_;
};

} // namespace essai
