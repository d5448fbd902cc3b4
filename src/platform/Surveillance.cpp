#include "platform/Surveillance.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <type_traits>

namespace platform {

namespace {

using Horloge = std::chrono::steady_clock;

// What the owner asked for.
struct Voulu {
    bool Ouvert = false;
    bool EnMarche = false;
    std::string Identifiant;
    int32_t Fe = 0;
    int32_t Canaux = 1;
    AnneauCapture* Anneau = nullptr;
    uint64_t Ouverture = 0; // bumped by each Ouvrir
    uint64_t Demarrage = 0; // bumped by each Demarrer
};

// The watch: shared by the owner's side and the watch's thread, which keeps it alive when
// it finishes a backend call that the owner no longer waits for.
class Veille {
public:
    Veille(std::unique_ptr<FluxCapture> flux, DelaisSurveillance delais)
        : flux_(std::move(flux)), d_(delais) {}

    // ---- The owner's side.

    ResultatOuverture Ouvrir(const std::string& identifiant, int32_t fe, int32_t canaux,
                             AnneauCapture& anneau) {
        std::unique_lock v(m_);
        voulu_.Ouvert = true;
        voulu_.EnMarche = false;
        voulu_.Identifiant = identifiant;
        voulu_.Fe = fe;
        voulu_.Canaux = canaux;
        voulu_.Anneau = &anneau;
        const uint64_t ouverture = ++voulu_.Ouverture;
        sansDonnees_.store(false, std::memory_order_relaxed);
        // Not in time: the opening goes on, and capture starts once it has.
        if (!Demande(v, d_.AttenteOuverture)) return ResultatOuverture::Reussie;
        return ouvertureFaite_ == ouverture ? resultat_ : ResultatOuverture::Reussie;
    }

    bool Demarrer() {
        std::unique_lock v(m_);
        if (!voulu_.Ouvert) return false;
        voulu_.EnMarche = true;
        const uint64_t demarrage = ++voulu_.Demarrage;
        if (!Demande(v, d_.AttenteCommande)) return true;
        return demarrageFait_ == demarrage ? demarre_ : true;
    }

    void Arreter() {
        std::unique_lock v(m_);
        voulu_.EnMarche = false;
        sansDonnees_.store(false, std::memory_order_relaxed);
        Demande(v, d_.AttenteCommande);
    }

    void Fermer() {
        std::unique_lock v(m_);
        voulu_.Ouvert = voulu_.EnMarche = false;
        sansDonnees_.store(false, std::memory_order_relaxed);
        Demande(v, d_.AttenteCommande);
    }

    // Ends the watch (the backend is closed on the way); true once its thread has finished,
    // false when that thread is held in a backend call.
    bool Finit() {
        std::unique_lock v(m_);
        fin_ = true;
        cv_.notify_all();
        return Attend(
            v, [this] { return termine_; }, d_.AttenteCommande);
    }

    bool SansDonnees() const { return sansDonnees_.load(std::memory_order_relaxed); }

    // ---- The watch's thread.

    void Boucle() {
        std::unique_lock v(m_);
        for (;;) {
            if (traitee_ == demande_ && !fin_) {
                if (voulu_.EnMarche)
                    cv_.wait_for(v, d_.Pas);
                else
                    cv_.wait(v, [this] { return fin_ || traitee_ != demande_; });
            }
            if (fin_) break;
            const Voulu instantane = voulu_;
            const uint64_t vue = demande_;
            v.unlock();
            Accorde(instantane);
            v.lock();
            traitee_ = vue;
            cv_.notify_all();
            Surveille(instantane, v);
        }
        v.unlock();
        if (ouvert_) Appel([this] { flux_->Fermer(); });
        v.lock();
        termine_ = true;
        cv_.notify_all();
    }

private:
    // Owner's side, under the lock: records a request and waits until the watch has dealt
    // with it; true when it has.
    bool Demande(std::unique_lock<std::mutex>& v, std::chrono::milliseconds attente) {
        const uint64_t n = ++demande_;
        cv_.notify_all();
        return Attend(
            v, [this, n] { return traitee_ >= n; }, attente);
    }

    // Under the lock: waits until `fait()`, unless the watch's thread is held in a backend
    // call for `attente` or longer; `fait()`'s last value. A thread that is merely slow to
    // be scheduled is waited for, so that nothing it still has to do is left behind.
    template <class Condition>
    bool Attend(std::unique_lock<std::mutex>& v, Condition fait,
                std::chrono::milliseconds attente) {
        constexpr auto Tranche = std::chrono::milliseconds(10);
        while (!fait()) {
            if (appelDepuis_ && Horloge::now() - *appelDepuis_ >= attente) return false;
            cv_.wait_for(v, Tranche);
        }
        return true;
    }

    // The watch's thread, without the lock: one backend call, timed for the owner's waits.
    template <class Travail>
    std::invoke_result_t<Travail> Appel(Travail travail) {
        {
            std::lock_guard v(m_);
            appelDepuis_ = Horloge::now();
        }
        struct Fin {
            Veille& veille;
            ~Fin() {
                std::lock_guard v(veille.m_);
                veille.appelDepuis_.reset();
            }
        } fin{*this};
        return travail();
    }

    // Under the lock: the owner still wants capture as `v` asked for it (so the ring is
    // still there).
    bool Toujours(const Voulu& v) const {
        return !fin_ && voulu_.Ouvert && voulu_.EnMarche && voulu_.Ouverture == v.Ouverture &&
               voulu_.Demarrage == v.Demarrage;
    }

    // The watch's thread, without the lock: brings the backend to what the owner asked.
    void Accorde(const Voulu& v) {
        if (!v.Ouvert) {
            if (ouvert_) Appel([this] { flux_->Fermer(); });
            ouvert_ = enMarche_ = false;
            return;
        }
        if (v.Ouverture != ouvertureFaite_) {
            if (ouvert_) Appel([this] { flux_->Fermer(); });
            ouvert_ = enMarche_ = false;
            const ResultatOuverture r =
                Appel([&] { return flux_->Ouvrir(v.Identifiant, v.Fe, v.Canaux, *v.Anneau); });
            ouvert_ = r == ResultatOuverture::Reussie;
            std::lock_guard verrou(m_);
            ouvertureFaite_ = v.Ouverture;
            resultat_ = r;
        }
        if (v.EnMarche && v.Demarrage != demarrageFait_) {
            const bool ok = Demarre(v, true);
            const auto maintenant = Horloge::now();
            derniereDonnee_ = maintenant;
            dernierePosition_ = 0;
            prochaineReprise_ = ok ? maintenant + d_.PremieresDonnees
                                   : std::max(maintenant, derniereTentative_ + d_.Reprise);
            std::lock_guard verrou(m_);
            demarrageFait_ = v.Demarrage;
            demarre_ = ok;
        } else if (!v.EnMarche && enMarche_) {
            Appel([this] { flux_->Arreter(); });
            enMarche_ = false;
        }
    }

    // The watch's thread, without the lock: starts the backend, from ring index 0 for the
    // owner's start, at the ring's position for an opening again. Never once the owner has
    // asked for something else: the ring may be gone by then.
    bool Demarre(const Voulu& v, bool depuisZero) {
        if (enMarche_) Appel([this] { flux_->Arreter(); });
        enMarche_ = false;
        {
            std::lock_guard verrou(m_);
            if (!Toujours(v)) return false;
            // The backend is stopped: this thread is the ring's writer.
            if (depuisZero) v.Anneau->Recommence();
        }
        enMarche_ = ouvert_ && Appel([this] { return flux_->Demarrer(); });
        return enMarche_;
    }

    // The watch's thread, under the lock: while capture runs, whether data come.
    void Surveille(const Voulu& v, std::unique_lock<std::mutex>& verrou) {
        if (!v.EnMarche || !Toujours(v)) return;
        const auto maintenant = Horloge::now();
        const int64_t position = v.Anneau->Position();
        if (position != dernierePosition_) {
            dernierePosition_ = position;
            derniereDonnee_ = maintenant;
            // The device delivers: the wait for its first data is over, and a failure
            // from now on is met at once (yet no more often than Reprise).
            prochaineReprise_ = derniereTentative_ + d_.Reprise;
            sansDonnees_.store(false, std::memory_order_relaxed);
            return;
        }
        const bool echec = !ouvert_ || !enMarche_ || flux_->EnEchec();
        const auto silence = maintenant - derniereDonnee_;
        if (echec || silence >= d_.Silence) sansDonnees_.store(true, std::memory_order_relaxed);
        if ((echec || silence >= d_.Reprise) && maintenant >= prochaineReprise_) {
            verrou.unlock();
            Reprend(v);
            verrou.lock();
        }
    }

    // The watch's thread, without the lock: the device opened again (the default one when
    // it is gone) and started where the ring stands.
    void Reprend(const Voulu& v) {
        derniereTentative_ = Horloge::now();
        prochaineReprise_ = derniereTentative_ + d_.Reprise;
        if (ouvert_) Appel([this] { flux_->Fermer(); });
        ouvert_ = enMarche_ = false;
        auto ouvre = [&](const std::string& identifiant) {
            return Appel([&] { return flux_->Ouvrir(identifiant, v.Fe, v.Canaux, *v.Anneau); });
        };
        ResultatOuverture r = ouvre(v.Identifiant);
        if (r == ResultatOuverture::Indisponible && !v.Identifiant.empty()) r = ouvre("");
        ouvert_ = r == ResultatOuverture::Reussie;
        if (ouvert_ && Demarre(v, false)) prochaineReprise_ = Horloge::now() + d_.PremieresDonnees;
    }

    // The watch's thread's own.
    const std::unique_ptr<FluxCapture> flux_;
    const DelaisSurveillance d_;
    bool ouvert_ = false, enMarche_ = false; // the backend's state
    Horloge::time_point derniereDonnee_{}, derniereTentative_{}, prochaineReprise_{};
    int64_t dernierePosition_ = 0;

    std::atomic<bool> sansDonnees_{false};

    std::mutex m_;
    std::condition_variable cv_;
    // Under m_.
    Voulu voulu_;
    uint64_t demande_ = 0, traitee_ = 0;
    uint64_t ouvertureFaite_ = 0, demarrageFait_ = 0;
    ResultatOuverture resultat_ = ResultatOuverture::Indisponible;
    bool demarre_ = false;
    std::optional<Horloge::time_point> appelDepuis_; // the backend call in progress began
    bool fin_ = false, termine_ = false;
};

class FluxVeille final : public FluxCapture {
public:
    FluxVeille(std::unique_ptr<FluxCapture> flux, DelaisSurveillance delais)
        : veille_(std::make_shared<Veille>(std::move(flux), delais)) {
        thread_ = std::thread([veille = veille_] { veille->Boucle(); });
    }
    ~FluxVeille() override {
        // A thread held in a backend call finishes on its own, the watch with it.
        if (veille_->Finit())
            thread_.join();
        else
            thread_.detach();
    }

    ResultatOuverture Ouvrir(const std::string& identifiant, int32_t fe, int32_t canaux,
                             AnneauCapture& anneau) override {
        return veille_->Ouvrir(identifiant, fe, canaux, anneau);
    }
    bool Demarrer() override { return veille_->Demarrer(); }
    void Arreter() override { veille_->Arreter(); }
    void Fermer() override { veille_->Fermer(); }
    bool SansDonnees() const override { return veille_->SansDonnees(); }

private:
    std::shared_ptr<Veille> veille_;
    std::thread thread_;
};

} // namespace

std::unique_ptr<FluxCapture> FluxSurveille(std::unique_ptr<FluxCapture> flux,
                                           DelaisSurveillance delais) {
    return std::make_unique<FluxVeille>(std::move(flux), delais);
}

} // namespace platform
