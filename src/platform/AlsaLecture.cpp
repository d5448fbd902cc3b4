// Playback over ALSA, for machines without a sound server: a thread of ours takes one
// period at a time from the queue of buffers and writes it to the device.
//
// The device buffer is about 100 ms, in periods of about 10 ms: a looping buffer
// rewritten in place is heard within about 110 ms, and the writer thread, which runs at
// normal priority, may be held up for most of that time on a busy machine without a gap. Every call
// on the device is made by the writer thread, or by the owner's thread while the writer is stopped.
#include "platform/Alsa.h"
#include "platform/AlsaMateriel.h"
#include "platform/FileLecture.h"
#include "platform/Lecture.h"

#include <alsa/asoundlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <mutex>
#include <thread>
#include <vector>

namespace platform {

std::vector<DescriptionSortie> EnumereSortiesAlsa(std::span<const int32_t> fes, int maximum) {
    return ListeAlsa(true, 1, "Sortie par défaut", fes, maximum);
}

bool AccepteFeAlsa(const std::string& identifiant, int32_t fe) {
    FaitTaireAlsa();
    const int32_t fes[1] = {fe};
    return SondeFeAlsa(identifiant.empty() ? "default" : identifiant, true, 1, fes)[0];
}

namespace {

class FluxLectureAlsa final : public FluxLecture {
public:
    ~FluxLectureAlsa() override { Fermer(); }

    ResultatOuverture Ouvrir(const std::string& identifiant, int32_t fe, int32_t canaux,
                             NotificationLecture* notification) override {
        Fermer();
        FaitTaireAlsa();
        if (fe <= 0 || canaux <= 0) return ResultatOuverture::FormatRefuse;
        const std::string nom = identifiant.empty() ? "default" : identifiant;
        if (snd_pcm_open(&pcm_, nom.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) {
            pcm_ = nullptr;
            return ResultatOuverture::Indisponible;
        }
        tailleTrame_ = 2 * static_cast<size_t>(canaux);
        const ResultatOuverture r = Regle(fe, canaux);
        if (r != ResultatOuverture::Reussie) {
            Fermer();
            return r;
        }
        notification_ = notification;
        echec_.store(false, std::memory_order_relaxed);
        LanceEcrivain();
        return ResultatOuverture::Reussie;
    }

    CodeLecture Preparer(TamponLecture& tampon) override {
        if (!pcm_) return PoigneeInvalide;
        if (const CodeLecture c = VerifieTampon(tampon)) return c;
        tampon.Prepare = true;
        return LectureReussie;
    }

    void Depreparer(TamponLecture& tampon) override {
        if (!tampon.EnFile) tampon.Prepare = false;
    }

    CodeLecture Ecrire(TamponLecture& tampon) override {
        CodeLecture c;
        {
            // Recursive: a notification, run by the writer with the lock held, may queue.
            std::lock_guard verrou(file_mutex_);
            if (!pcm_) return PoigneeInvalide;
            if (echec_.load(std::memory_order_relaxed)) return ErreurLecture;
            c = file_.Ajoute(tampon);
        }
        if (c == LectureReussie) Reveille();
        return c;
    }

    void Reinitialiser() override {
        if (!pcm_) return;
        ArreteEcrivain();
        {
            std::lock_guard verrou(file_mutex_);
            file_.Vide();
        }
        snd_pcm_drop(pcm_);
        snd_pcm_prepare(pcm_);
        ecrites_.store(0, std::memory_order_relaxed);
        silence_ = 0;
        delai_.store(0, std::memory_order_relaxed);
        vues_ = 0;
        enPause_ = false;
        LanceEcrivain();
    }

    void Pause() override {
        if (!pcm_ || enPause_) return;
        ArreteEcrivain();
        // Devices that cannot pause play out their buffer (about 100 ms) instead.
        pauseMaterielle_ = snd_pcm_pause(pcm_, 1) == 0;
        enPause_ = true;
    }

    void Reprendre() override {
        if (!pcm_ || !enPause_) return;
        if (pauseMaterielle_) snd_pcm_pause(pcm_, 0);
        enPause_ = false;
        LanceEcrivain();
    }

    int64_t Position() override {
        const int64_t ecrites = ecrites_.load(std::memory_order_relaxed);
        const int64_t delai = delai_.load(std::memory_order_relaxed);
        vues_ = std::clamp(ecrites - delai, std::min(vues_, ecrites), ecrites);
        return vues_;
    }

    bool EnEchec() const override { return echec_.load(std::memory_order_relaxed); }

    void Fermer() override {
        ArreteEcrivain();
        {
            std::lock_guard verrou(file_mutex_);
            file_.Vide();
            if (pcm_) snd_pcm_close(pcm_);
            pcm_ = nullptr;
        }
        if (reveil_ >= 0) close(reveil_);
        reveil_ = -1;
        attentes_.clear();
        notification_ = nullptr;
        ecrites_.store(0, std::memory_order_relaxed);
        silence_ = 0;
        delai_.store(0, std::memory_order_relaxed);
        vues_ = 0;
        enPause_ = false;
    }

private:
    ResultatOuverture Regle(int32_t fe, int32_t canaux) {
        ResultatOuverture r = RegleMateriel(pcm_, fe, canaux, 100000, 10000, trames_);
        if (r != ResultatOuverture::Reussie) return r;

        // Playback starts once the device buffer is full: started after its first period,
        // a stream through a sound server's plugin runs dry while the writer catches up,
        // and the start crackles. A sound shorter than the buffer is started when the
        // queue runs out (Patiente). The pulse plugin does not wait for the threshold (the
        // server starts on what it was given), so the first write after an opening or a
        // reset hands the device a whole buffer at once (Ecrit).
        snd_pcm_uframes_t tampon = 0, periode = 0;
        if (snd_pcm_get_params(pcm_, &tampon, &periode) < 0 || tampon < trames_) tampon = trames_;
        tramesTampon_ = tampon;
        snd_pcm_sw_params_t* sw = nullptr;
        if (snd_pcm_sw_params_malloc(&sw) < 0) return ResultatOuverture::TamponImpossible;
        if (snd_pcm_sw_params_current(pcm_, sw) < 0 ||
            snd_pcm_sw_params_set_start_threshold(pcm_, sw, tampon) < 0 ||
            snd_pcm_sw_params_set_avail_min(pcm_, sw, trames_) < 0 ||
            snd_pcm_sw_params(pcm_, sw) < 0)
            r = ResultatOuverture::TamponImpossible;
        snd_pcm_sw_params_free(sw);
        if (r != ResultatOuverture::Reussie) return r;

        bloc_.assign(tramesTampon_ * static_cast<size_t>(canaux), 0);
        return PrepareAttentes(pcm_, reveil_, attentes_) ? ResultatOuverture::Reussie
                                                         : ResultatOuverture::TamponImpossible;
    }

    void LanceEcrivain() {
        fin_.store(false, std::memory_order_relaxed);
        ecrivain_ = std::thread([this] { Ecrit(); });
    }

    void ArreteEcrivain() {
        if (!ecrivain_.joinable()) return;
        fin_.store(true, std::memory_order_relaxed);
        Reveille();
        ecrivain_.join();
        Draine();
    }

    void Reveille() {
        const uint64_t un = 1;
        [[maybe_unused]] const ssize_t e = write(reveil_, &un, sizeof un);
    }
    void Draine() {
        uint64_t vide;
        [[maybe_unused]] const ssize_t l = read(reveil_, &vide, sizeof vide);
    }

    // Writer thread: one period at a time from the queue, notifications included; a whole
    // buffer before the start.
    void Ecrit() {
        const size_t periode = trames_ * tailleTrame_;
        size_t prets = 0, envoyes = 0; // bytes of bloc_ taken from the queue / written
        while (!fin_.load(std::memory_order_relaxed)) {
            if (envoyes == prets) {
                const bool debut = ecrites_.load(std::memory_order_relaxed) == 0;
                {
                    std::lock_guard verrou(file_mutex_);
                    prets = file_.Remplit(bloc_.data(),
                                          debut ? bloc_.size() * sizeof(int16_t) : periode,
                                          tailleTrame_, notification_);
                }
                envoyes = 0;
                if (prets == 0) {
                    Patiente();
                    continue;
                }
            }
            const auto trames = static_cast<snd_pcm_uframes_t>((prets - envoyes) / tailleTrame_);
            const snd_pcm_sframes_t r = snd_pcm_writei(pcm_, bloc_.data() + envoyes / 2, trames);
            if (r > 0) {
                envoyes += static_cast<size_t>(r) * tailleTrame_;
                ecrites_.fetch_add(r, std::memory_order_relaxed);
                silence_ = 2 * trames_;
                NoteDelai();
            } else if (r == -EAGAIN || r == 0) {
                Attend(200);
            } else if (snd_pcm_recover(pcm_, static_cast<int>(r), 1) < 0) {
                // The device is gone: the queue stays as it is, Ecrire reports it.
                echec_.store(true, std::memory_order_relaxed);
                return;
            }
        }
    }

    // Nothing queued: the device plays out what it has; playback that never reached its
    // start threshold is started. The end of what was queued is followed by two periods
    // of silence, as room comes: a sound server behind the device (pipewire-pulse, through
    // the pulse plugin) holds back what does not fill its quantum until more comes, and
    // the end of a sweep went unheard. The silence is not counted as written: the position
    // reaches the data's end once the silence too has played, 20 ms after the data.
    void Patiente() {
        if (silence_ > 0) {
            std::fill_n(bloc_.begin(), trames_ * tailleTrame_ / 2, int16_t{0});
            const snd_pcm_sframes_t r =
                snd_pcm_writei(pcm_, bloc_.data(), std::min(silence_, trames_));
            if (r > 0) silence_ -= static_cast<snd_pcm_uframes_t>(r);
        }
        if (snd_pcm_state(pcm_) == SND_PCM_STATE_PREPARED && ecrites_.load() > 0)
            snd_pcm_start(pcm_);
        NoteDelai();
        Attend(20);
    }

    void NoteDelai() {
        snd_pcm_sframes_t d = 0;
        if (snd_pcm_delay(pcm_, &d) < 0 || d < 0) d = 0;
        delai_.store(d, std::memory_order_relaxed);
    }

    void Attend(int millisecondes) {
        if (poll(attentes_.data(), attentes_.size(), millisecondes) > 0 &&
            (attentes_.back().revents & POLLIN))
            Draine();
    }

    std::recursive_mutex file_mutex_; // the queue, and the notifications
    FileLecture file_;
    snd_pcm_t* pcm_ = nullptr;
    NotificationLecture* notification_ = nullptr;
    size_t tailleTrame_ = 2;
    snd_pcm_uframes_t trames_ = 0;       // frames per period
    snd_pcm_uframes_t tramesTampon_ = 0; // frames in the device buffer
    std::vector<int16_t> bloc_;
    std::vector<pollfd> attentes_; // the device's descriptors, then the wake-up
    int reveil_ = -1;
    std::atomic<bool> fin_{false};
    std::atomic<bool> echec_{false};
    std::atomic<int64_t> ecrites_{0}; // frames written since the last reset
    std::atomic<int64_t> delai_{0};   // frames written but not heard yet
    int64_t vues_ = 0;
    bool enPause_ = false;
    bool pauseMaterielle_ = false;
    snd_pcm_uframes_t silence_ = 0; // frames of silence still to follow the data (writer)
    std::thread ecrivain_;
};

} // namespace

std::unique_ptr<FluxLecture> CreeFluxLectureAlsa() {
    return std::make_unique<FluxLectureAlsa>();
}

} // namespace platform
