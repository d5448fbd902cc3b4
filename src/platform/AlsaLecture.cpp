// Playback over ALSA, for machines without a sound server: a thread of the stream's own
// takes one period at a time from the queue of buffers and writes it to the device.
//
// The device buffer is about 100 ms, in periods of about 10 ms: a looping buffer
// rewritten in place is heard within about 110 ms, and the stream's thread, which runs at
// normal priority, may be held up for most of that time on a busy machine without a gap.
//
// Every call on the device is made by that thread. Through the pulse plugin a frozen sound
// server holds each call up to 30 s, so the owner's thread only waits a bounded time for
// the device (AttenteMaximale): what the owner must have at once (the queue emptied, no
// more notifications for the dropped buffers, the notification forgotten on Fermer) it
// does itself under the queue's lock, which the stream's thread never holds across a call
// on the device; the device catches up in the background, in order. The thread shares its
// state with the stream through a shared_ptr, so a stream destroyed while its thread is
// held leaves that thread nothing of the owner's to touch.
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
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <type_traits>
#include <vector>

namespace platform {

namespace {

using Horloge = std::chrono::steady_clock;

// The owner's thread stops waiting for the device once a call on it has lasted this long
// (a device answers within milliseconds; a frozen server not for 30 s), and in any case
// after AttenteMaximale, so that no operation holds the window 2 s. An operation that
// finds the device already held this long does not wait at all.
constexpr std::chrono::milliseconds AppelBloque{1000};
constexpr std::chrono::milliseconds AttenteMaximale{1500};

// The late probe's state, shared with its thread.
struct Sonde {
    std::mutex m;
    std::condition_variable cv;
    bool finie = false;
    bool acceptee = false;
};

} // namespace

std::vector<DescriptionSortie> EnumereSortiesAlsa(std::span<const int32_t> fes, int maximum) {
    return ListeAlsa(true, 1, "Sortie par défaut", fes, maximum);
}

bool AccepteFeAlsa(const std::string& identifiant, int32_t fe) {
    // On a thread of its own: a device that does not answer in time does not refuse the
    // rate (the opening will tell), and its thread ends once the device lets it go.
    auto sonde = std::make_shared<Sonde>();
    std::thread([sonde, nom = identifiant.empty() ? std::string("default") : identifiant, fe] {
        FaitTaireAlsa();
        const int32_t fes[1] = {fe};
        const bool acceptee = SondeFeAlsa(nom, true, 1, fes)[0];
        std::lock_guard v(sonde->m);
        sonde->acceptee = acceptee;
        sonde->finie = true;
        sonde->cv.notify_all();
    }).detach();
    std::unique_lock v(sonde->m);
    if (!sonde->cv.wait_for(v, AttenteMaximale, [&] { return sonde->finie; })) return true;
    return sonde->acceptee;
}

namespace {

// What the owner asked of the device.
struct Voulu {
    bool Ouvert = false;
    std::string Nom;
    int32_t Fe = 0;
    int32_t Canaux = 1;
    bool Pause = false;
    uint64_t Ouverture = 0; // bumped by each Ouvrir
    uint64_t Remise = 0;    // bumped each time the queue is dropped: the device drops too
};

// The device and the stream's thread, shared by the stream and that thread.
class Appareil {
public:
    Appareil() : reveil_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
    ~Appareil() {
        if (reveil_ >= 0) close(reveil_);
    }
    Appareil(const Appareil&) = delete;
    Appareil& operator=(const Appareil&) = delete;

    // ---- The owner's side (the generator window's thread).

    ResultatOuverture Ouvrir(const std::string& identifiant, int32_t fe, int32_t canaux,
                             NotificationLecture* notification) {
        Verrou v(m_);
        Oublie();
        if (!ReveilPret()) return ResultatOuverture::TamponImpossible;
        if (fe <= 0 || canaux <= 0) {
            if (voulu_.Ouvert) {
                voulu_.Ouvert = false;
                Demande(v);
            }
            return ResultatOuverture::FormatRefuse;
        }
        voulu_.Ouvert = true;
        voulu_.Nom = identifiant.empty() ? "default" : identifiant;
        voulu_.Fe = fe;
        voulu_.Canaux = canaux;
        const uint64_t ouverture = ++voulu_.Ouverture;
        echec_.store(false, std::memory_order_relaxed);
        if (!Demande(v) || ouvertureFaite_ != ouverture) {
            // Not in time: the device is taken as not available, and the late opening is
            // closed once it completes.
            voulu_.Ouvert = false;
            Poste();
            return ResultatOuverture::Indisponible;
        }
        if (resultat_ != ResultatOuverture::Reussie) {
            voulu_.Ouvert = false; // nothing is open
            return resultat_;
        }
        ouvert_ = true;
        notification_ = notification;
        return ResultatOuverture::Reussie;
    }

    CodeLecture Preparer(TamponLecture& tampon) {
        Verrou v(m_);
        if (!ouvert_) return PoigneeInvalide;
        if (const CodeLecture c = VerifieTampon(tampon)) return c;
        tampon.Prepare = true;
        return LectureReussie;
    }

    void Depreparer(TamponLecture& tampon) {
        Verrou v(m_);
        if (!tampon.EnFile) tampon.Prepare = false;
    }

    // Also from a notification (the lock is then held already: it is recursive).
    CodeLecture Ecrire(TamponLecture& tampon) {
        CodeLecture c;
        {
            Verrou v(m_);
            if (!ouvert_) return PoigneeInvalide;
            if (echec_.load(std::memory_order_relaxed)) return ErreurLecture;
            c = file_.Ajoute(tampon);
        }
        if (c == LectureReussie) Reveille();
        return c;
    }

    void Reinitialiser() {
        Verrou v(m_);
        if (!ouvert_) return;
        // Under the lock: no notification runs, and none will for what was queued.
        file_.Vide();
        ++voulu_.Remise;
        voulu_.Pause = false;
        RemetPosition();
        Demande(v);
    }

    void Pause(bool pause) {
        Verrou v(m_);
        if (!ouvert_ || voulu_.Pause == pause) return;
        voulu_.Pause = pause;
        Demande(v);
    }

    int64_t Position() {
        const int64_t ecrites = ecrites_.load(std::memory_order_relaxed);
        const int64_t delai = delai_.load(std::memory_order_relaxed);
        vues_ = std::clamp(ecrites - delai, std::min(vues_, ecrites), ecrites);
        return vues_;
    }

    bool EnEchec() const { return echec_.load(std::memory_order_relaxed); }

    void Fermer() {
        Verrou v(m_);
        Oublie();
        if (!voulu_.Ouvert) return;
        voulu_.Ouvert = false;
        Demande(v);
    }

    // Ends the stream's thread (the device is closed on the way); true once it has
    // finished, false when the device holds it.
    bool Finit() {
        Verrou v(m_);
        Oublie();
        voulu_.Ouvert = false;
        fin_ = true;
        Poste();
        return Attend(v, [this] { return termine_; });
    }

    // ---- The stream's thread.

    void Boucle() {
        Verrou v(m_);
        for (;;) {
            if (fin_) break;
            if (traitee_ != demande_) {
                const Voulu instantane = voulu_;
                const uint64_t vue = demande_;
                v.unlock();
                Accorde(instantane);
                v.lock();
                traitee_ = vue;
                cv_.notify_all();
            } else if (pcm_ && !echoue_ && !enPause_) {
                v.unlock();
                Etape();
                v.lock();
            } else {
                cv_.wait(v);
            }
        }
        v.unlock();
        Appel([this] { Ferme(); });
        v.lock();
        termine_ = true;
        cv_.notify_all();
    }

private:
    // Recursive: a notification, run by the stream's thread with the lock held, may queue.
    using Verrou = std::unique_lock<std::recursive_mutex>;

    bool ReveilPret() const { return reveil_ >= 0; }

    // Owner's side, under the lock: nothing of the owner's is used any more (its buffers,
    // its notification), and the position starts again.
    void Oublie() {
        file_.Vide();
        notification_ = nullptr;
        ouvert_ = false;
        voulu_.Pause = false;
        ++voulu_.Remise;
        RemetPosition();
    }

    void RemetPosition() {
        ecrites_.store(0, std::memory_order_relaxed);
        delai_.store(0, std::memory_order_relaxed);
        vues_ = 0;
    }

    // Under the lock: a request for the stream's thread.
    void Poste() {
        ++demande_;
        cv_.notify_all();
        Reveille();
    }

    // Owner's side, under the lock: posts a request and waits a bounded time for the
    // stream's thread to deal with it; true when it has.
    bool Demande(Verrou& v) {
        Poste();
        const uint64_t n = demande_;
        return Attend(v, [this, n] { return traitee_ >= n; });
    }

    // Under the lock: waits until `fait()`, unless a call on the device has lasted
    // AppelBloque, or AttenteMaximale has passed; `fait()`'s last value.
    template <class Condition>
    bool Attend(Verrou& v, Condition fait) {
        const auto limite = Horloge::now() + AttenteMaximale;
        while (!fait()) {
            const auto maintenant = Horloge::now();
            const int64_t depuis = appelDepuis_.load(std::memory_order_relaxed);
            if (depuis != 0 &&
                maintenant - Horloge::time_point(Horloge::duration(depuis)) >= AppelBloque)
                return false;
            if (maintenant >= limite) return false;
            cv_.wait_for(v, std::chrono::milliseconds(10));
        }
        return true;
    }

    // The stream's thread, without the lock: calls on the device, timed for the owner's
    // waits.
    template <class Travail>
    std::invoke_result_t<Travail> Appel(Travail travail) {
        appelDepuis_.store(std::max<int64_t>(1, Horloge::now().time_since_epoch().count()),
                           std::memory_order_relaxed);
        struct Fin {
            std::atomic<int64_t>& depuis;
            ~Fin() { depuis.store(0, std::memory_order_relaxed); }
        } fin{appelDepuis_};
        return travail();
    }

    // Under the lock: the device is the one the owner uses now, as the owner left it (its
    // writes and delays count for the position).
    bool Courant() const {
        return voulu_.Ouvert && voulu_.Ouverture == ouverture_ && voulu_.Remise == remise_;
    }

    // The stream's thread, without the lock: brings the device to what the owner asked.
    void Accorde(const Voulu& v) {
        Appel([&] {
            if (pcm_ && (!v.Ouvert || v.Ouverture != ouverture_)) Ferme();
            if (v.Ouvert && v.Ouverture != ouverture_) {
                const ResultatOuverture r = Ouvre(v);
                Verrou verrou(m_);
                ouvertureFaite_ = v.Ouverture;
                resultat_ = r;
            }
            if (!pcm_) return;
            if (v.Remise != remise_) {
                snd_pcm_drop(pcm_);
                snd_pcm_prepare(pcm_);
                remise_ = v.Remise;
                prets_ = envoyes_ = 0;
                silence_ = 0;
                enPause_ = false;
            }
            if (v.Pause && !enPause_) {
                // Devices that cannot pause play out their buffer (about 100 ms) instead.
                pauseMaterielle_ = snd_pcm_pause(pcm_, 1) == 0;
                enPause_ = true;
            } else if (!v.Pause && enPause_) {
                if (pauseMaterielle_) snd_pcm_pause(pcm_, 0);
                enPause_ = false;
            }
        });
    }

    ResultatOuverture Ouvre(const Voulu& v) {
        FaitTaireAlsa();
        ouverture_ = v.Ouverture;
        remise_ = v.Remise;
        if (snd_pcm_open(&pcm_, v.Nom.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) {
            pcm_ = nullptr;
            return ResultatOuverture::Indisponible;
        }
        tailleTrame_ = 2 * static_cast<size_t>(v.Canaux);
        const ResultatOuverture r = Regle(v.Fe, v.Canaux);
        if (r != ResultatOuverture::Reussie) {
            Ferme();
            return r;
        }
        echoue_ = enPause_ = false;
        prets_ = envoyes_ = 0;
        silence_ = 0;
        return ResultatOuverture::Reussie;
    }

    void Ferme() {
        if (pcm_) snd_pcm_close(pcm_);
        pcm_ = nullptr;
        attentes_.clear();
    }

    ResultatOuverture Regle(int32_t fe, int32_t canaux) {
        ResultatOuverture r = RegleMateriel(pcm_, fe, canaux, 100000, 10000, trames_);
        if (r != ResultatOuverture::Reussie) return r;

        // Playback starts once the device buffer is full: started after its first period,
        // a stream through a sound server's plugin runs dry while the writer catches up,
        // and the start crackles. A sound shorter than the buffer is started when the
        // queue runs out (Patiente). The pulse plugin does not wait for the threshold (the
        // server starts on what it was given), so the first write after an opening or a
        // reset hands the device a whole buffer at once (Etape).
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

    void Reveille() {
        const uint64_t un = 1;
        [[maybe_unused]] const ssize_t e = write(reveil_, &un, sizeof un);
    }
    void Draine() {
        uint64_t vide;
        [[maybe_unused]] const ssize_t l = read(reveil_, &vide, sizeof vide);
    }

    // The stream's thread: one period from the queue, notifications included, or a wait; a
    // whole buffer before the start.
    void Etape() {
        if (envoyes_ == prets_) {
            {
                Verrou v(m_);
                // A request first: the queue may hold what follows a drop not made yet.
                if (traitee_ != demande_) return;
                const bool debut = ecrites_.load(std::memory_order_relaxed) == 0;
                prets_ = file_.Remplit(
                    bloc_.data(), debut ? bloc_.size() * sizeof(int16_t) : trames_ * tailleTrame_,
                    tailleTrame_, notification_);
            }
            envoyes_ = 0;
            if (prets_ == 0) {
                Patiente();
                return;
            }
        }
        const auto trames = static_cast<snd_pcm_uframes_t>((prets_ - envoyes_) / tailleTrame_);
        const snd_pcm_sframes_t r =
            Appel([&] { return snd_pcm_writei(pcm_, bloc_.data() + envoyes_ / 2, trames); });
        if (r > 0) {
            envoyes_ += static_cast<size_t>(r) * tailleTrame_;
            silence_ = 2 * trames_;
            NoteDelai(r);
        } else if (r == -EAGAIN || r == 0) {
            Guette(200);
        } else if (Appel([&] { return snd_pcm_recover(pcm_, static_cast<int>(r), 1); }) < 0) {
            // The device is gone: the queue stays as it is, Ecrire reports it until the
            // next opening (a drop asked for meanwhile does not make it go).
            echoue_ = true;
            Verrou v(m_);
            if (voulu_.Ouvert && voulu_.Ouverture == ouverture_)
                echec_.store(true, std::memory_order_relaxed);
        }
    }

    // Nothing queued: the device plays out what it has; playback that never reached its
    // start threshold is started. The end of what was queued is followed by two periods
    // of silence, as room comes: a sound server behind the device (pipewire-pulse, through
    // the pulse plugin) holds back what does not fill its quantum until more comes, and
    // the end of a sweep went unheard. The silence is not counted as written: the position
    // reaches the data's end once the silence too has played, 20 ms after the data.
    void Patiente() {
        Appel([&] {
            if (silence_ > 0) {
                std::fill_n(bloc_.begin(), trames_ * tailleTrame_ / 2, int16_t{0});
                const snd_pcm_sframes_t r =
                    snd_pcm_writei(pcm_, bloc_.data(), std::min(silence_, trames_));
                if (r > 0) silence_ -= static_cast<snd_pcm_uframes_t>(r);
            }
            if (snd_pcm_state(pcm_) == SND_PCM_STATE_PREPARED && ecrites_.load() > 0)
                snd_pcm_start(pcm_);
        });
        NoteDelai(0);
        Guette(20);
    }

    // `ecrites` frames more written; the frames written but not heard yet. Counted only
    // when the owner has not dropped the queue or closed meanwhile.
    void NoteDelai(snd_pcm_sframes_t ecrites) {
        snd_pcm_sframes_t d = 0;
        if (Appel([&] { return snd_pcm_delay(pcm_, &d); }) < 0 || d < 0) d = 0;
        Verrou v(m_);
        if (!Courant()) return;
        if (ecrites > 0) ecrites_.fetch_add(ecrites, std::memory_order_relaxed);
        delai_.store(d, std::memory_order_relaxed);
    }

    // Waits for room on the device, or for a wake-up.
    void Guette(int millisecondes) {
        if (poll(attentes_.data(), attentes_.size(), millisecondes) > 0 &&
            (attentes_.back().revents & POLLIN))
            Draine();
    }

    const int reveil_; // eventfd: wakes the stream's thread out of its waits on the device

    std::recursive_mutex m_; // the queue and the requests; the notifications run under it
    std::condition_variable_any cv_;
    // Under m_.
    FileLecture file_;
    NotificationLecture* notification_ = nullptr;
    bool ouvert_ = false; // open for the owner
    Voulu voulu_;
    uint64_t demande_ = 0, traitee_ = 0;
    uint64_t ouvertureFaite_ = 0;
    ResultatOuverture resultat_ = ResultatOuverture::Indisponible;
    bool fin_ = false, termine_ = false;

    std::atomic<bool> echec_{false};
    std::atomic<int64_t> ecrites_{0};     // frames written since the last reset
    std::atomic<int64_t> delai_{0};       // frames written but not heard yet
    std::atomic<int64_t> appelDepuis_{0}; // when the call on the device began (0: none)

    // The owner's own.
    int64_t vues_ = 0;

    // The stream's thread's own.
    snd_pcm_t* pcm_ = nullptr;
    uint64_t ouverture_ = 0, remise_ = 0; // what the device stands for
    size_t tailleTrame_ = 2;
    snd_pcm_uframes_t trames_ = 0;       // frames per period
    snd_pcm_uframes_t tramesTampon_ = 0; // frames in the device buffer
    std::vector<int16_t> bloc_;
    size_t prets_ = 0, envoyes_ = 0; // bytes of bloc_ taken from the queue / written
    std::vector<pollfd> attentes_;   // the device's descriptors, then the wake-up
    bool echoue_ = false;            // the device failed for good
    bool enPause_ = false;
    bool pauseMaterielle_ = false;
    snd_pcm_uframes_t silence_ = 0; // frames of silence still to follow the data
};

class FluxLectureAlsa final : public FluxLecture {
public:
    FluxLectureAlsa() {
        ecrivain_ = std::thread([appareil = appareil_] { appareil->Boucle(); });
    }
    ~FluxLectureAlsa() override {
        // A thread held by the device finishes on its own, and frees the state then.
        if (appareil_->Finit())
            ecrivain_.join();
        else
            ecrivain_.detach();
    }

    ResultatOuverture Ouvrir(const std::string& identifiant, int32_t fe, int32_t canaux,
                             NotificationLecture* notification) override {
        return appareil_->Ouvrir(identifiant, fe, canaux, notification);
    }

    CodeLecture Preparer(TamponLecture& tampon) override { return appareil_->Preparer(tampon); }
    void Depreparer(TamponLecture& tampon) override { appareil_->Depreparer(tampon); }

    CodeLecture Ecrire(TamponLecture& tampon) override { return appareil_->Ecrire(tampon); }
    void Reinitialiser() override { appareil_->Reinitialiser(); }
    void Pause() override { appareil_->Pause(true); }
    void Reprendre() override { appareil_->Pause(false); }
    int64_t Position() override { return appareil_->Position(); }
    bool EnEchec() const override { return appareil_->EnEchec(); }
    void Fermer() override { appareil_->Fermer(); }

private:
    std::shared_ptr<Appareil> appareil_ = std::make_shared<Appareil>();
    std::thread ecrivain_;
};

} // namespace

std::unique_ptr<FluxLecture> CreeFluxLectureAlsa() {
    return std::make_unique<FluxLectureAlsa>();
}

} // namespace platform
