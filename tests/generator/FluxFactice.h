// A playback stream without sound: it keeps the queue as a real backend does, plays it
// when told to (on the calling thread, or on a thread of its own that plays as fast as
// it may), records what it played and every call, and fails on demand.
#pragma once

#include "platform/FileLecture.h"
#include "platform/Lecture.h"

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class FluxFactice final : public platform::FluxLecture {
public:
    ~FluxFactice() override { ArreteThread(); }

    // Failures to give.
    platform::ResultatOuverture ResultatOuvrir = platform::ResultatOuverture::Reussie;
    platform::CodeLecture CodePreparer = platform::LectureReussie;
    platform::CodeLecture CodeEcrire = platform::LectureReussie;

    // What was asked.
    int Ouvertures = 0, Fermetures = 0, Reinitialisations = 0, Pauses = 0, Reprises = 0;
    std::string Identifiant;
    int32_t Fe = 0, Canaux = 0;
    bool Ouvert = false, EnPause = false;
    std::vector<uint32_t> LongueursEcrites; // bytes of each buffer queued

    platform::ResultatOuverture Ouvrir(const std::string& identifiant, int32_t fe, int32_t canaux,
                                       platform::NotificationLecture* notification) override {
        ++Ouvertures;
        if (ResultatOuvrir != platform::ResultatOuverture::Reussie) return ResultatOuvrir;
        std::lock_guard v(m_);
        Identifiant = identifiant;
        Fe = fe;
        Canaux = canaux;
        notification_ = notification;
        Ouvert = true;
        return ResultatOuvrir;
    }
    platform::CodeLecture Preparer(platform::TamponLecture& t) override {
        if (!Ouvert) return platform::PoigneeInvalide;
        if (CodePreparer) return CodePreparer;
        t.Prepare = true;
        return platform::LectureReussie;
    }
    void Depreparer(platform::TamponLecture& t) override { t.Prepare = false; }
    platform::CodeLecture Ecrire(platform::TamponLecture& t) override {
        std::lock_guard v(m_);
        if (!Ouvert) return platform::PoigneeInvalide;
        if (CodeEcrire) return CodeEcrire;
        const platform::CodeLecture c = file_.Ajoute(t);
        if (c == platform::LectureReussie) LongueursEcrites.push_back(t.Octets);
        return c;
    }
    void Reinitialiser() override {
        std::lock_guard v(m_);
        ++Reinitialisations;
        file_.Vide();
        position_ = 0;
        EnPause = false;
    }
    void Pause() override {
        std::lock_guard v(m_);
        ++Pauses;
        EnPause = true;
    }
    void Reprendre() override {
        std::lock_guard v(m_);
        ++Reprises;
        EnPause = false;
    }
    int64_t Position() override {
        std::lock_guard v(m_);
        return position_;
    }
    void Fermer() override {
        ArreteThread();
        std::lock_guard v(m_);
        ++Fermetures;
        file_.Vide();
        Ouvert = false;
        notification_ = nullptr;
    }

    // Plays up to `trames` frames as a device would: buffers done are given back, on this
    // thread. Returns the frames played; they are appended to Joues().
    size_t Joue(size_t trames) {
        std::lock_guard v(m_);
        if (!Ouvert || EnPause) return 0;
        const size_t taille = 2 * static_cast<size_t>(Canaux);
        bloc_.resize(trames * static_cast<size_t>(Canaux));
        const size_t n = file_.Remplit(bloc_.data(), trames * taille, taille, notification_);
        joues_.insert(joues_.end(), bloc_.begin(), bloc_.begin() + static_cast<long>(n / 2));
        position_ += static_cast<int64_t>(n / taille);
        return n / taille;
    }
    std::vector<int16_t> Joues() {
        std::lock_guard v(m_);
        return joues_;
    }
    void OublieJoues() {
        std::lock_guard v(m_);
        joues_.clear();
    }

    // A thread of its own plays `trames` frames at a time until stopped (or Fermer).
    void LanceThread(size_t trames) {
        fin_ = false;
        thread_ = std::thread([this, trames] {
            while (!fin_.load()) {
                if (Joue(trames) == 0) std::this_thread::yield();
            }
        });
    }
    void ArreteThread() {
        fin_ = true;
        if (thread_.joinable()) thread_.join();
    }

private:
    std::recursive_mutex m_; // held while notifications run, as the backends do
    platform::FileLecture file_;
    platform::NotificationLecture* notification_ = nullptr;
    std::vector<int16_t> bloc_, joues_;
    int64_t position_ = 0;
    std::atomic<bool> fin_{false};
    std::thread thread_;
};
