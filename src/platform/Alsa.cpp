#include "platform/Alsa.h"
#include "platform/AlsaMateriel.h"
#include "platform/Surveillance.h"

#include <alsa/asoundlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <thread>

namespace platform {

bool EstEntreeAlsa(std::string_view nom) {
    if (nom == "pulse" || nom == "pipewire") return true;
    // Per-card devices: the card's own route ("sysdefault") and its raw devices ("hw").
    for (std::string_view prefixe : {"sysdefault:", "hw:"})
        if (nom.substr(0, prefixe.size()) == prefixe && nom.size() > prefixe.size()) return true;
    return false;
}

namespace {

// alsa-lib prints its errors on stderr; the program reports failures by codes instead.
void ErreurAlsaSilencieuse(const char*, int, const char*, int, const char*, ...) {}

} // namespace

void FaitTaireAlsa() {
    snd_lib_error_set_handler(ErreurAlsaSilencieuse);
}

namespace {

std::string Texte(const char* c) {
    return c ? std::string(c) : std::string();
}

// The hint's description on one line.
std::string NomLisible(const char* description, const std::string& nom) {
    std::string texte = description ? description : nom;
    std::replace(texte.begin(), texte.end(), '\n', ',');
    std::string resultat;
    for (char c : texte) {
        resultat += c;
        if (c == ',') resultat += ' ';
    }
    return resultat;
}

} // namespace

std::array<bool, NbFeSondes> SondeFeAlsa(const std::string& pcm, bool lecture, unsigned canaux,
                                         std::span<const int32_t> fes) {
    std::array<bool, NbFeSondes> acceptes{};
    snd_pcm_t* p = nullptr;
    if (snd_pcm_open(&p, pcm.c_str(), lecture ? SND_PCM_STREAM_PLAYBACK : SND_PCM_STREAM_CAPTURE,
                     SND_PCM_NONBLOCK) < 0)
        return acceptes;
    snd_pcm_hw_params_t* hw = nullptr;
    if (snd_pcm_hw_params_malloc(&hw) == 0) {
        if (snd_pcm_hw_params_any(p, hw) >= 0 &&
            snd_pcm_hw_params_set_access(p, hw, SND_PCM_ACCESS_RW_INTERLEAVED) == 0 &&
            snd_pcm_hw_params_set_format(p, hw, SND_PCM_FORMAT_S16_LE) == 0 &&
            snd_pcm_hw_params_set_channels(p, hw, canaux) == 0) {
            for (size_t r = 0; r < fes.size() && r < acceptes.size(); ++r)
                acceptes[r] = fes[r] > 0 && snd_pcm_hw_params_test_rate(
                                                p, hw, static_cast<unsigned>(fes[r]), 0) == 0;
        }
        snd_pcm_hw_params_free(hw);
    }
    snd_pcm_close(p);
    return acceptes;
}

std::vector<DescriptionEntree> ListeAlsa(bool lecture, unsigned canaux,
                                         const std::string& nomDefaut, std::span<const int32_t> fes,
                                         int maximum) {
    FaitTaireAlsa();
    std::vector<DescriptionEntree> liste;
    liste.push_back({"", nomDefaut, SondeFeAlsa("default", lecture, canaux, fes)});
    void** indications = nullptr;
    if (snd_device_name_hint(-1, "pcm", &indications) < 0) return liste;
    const std::string_view voulu = lecture ? "Output" : "Input";
    for (void** h = indications; *h && static_cast<int>(liste.size()) <= maximum; ++h) {
        char* nom = snd_device_name_get_hint(*h, "NAME");
        char* description = snd_device_name_get_hint(*h, "DESC");
        char* sens = snd_device_name_get_hint(*h, "IOID");
        const std::string n = Texte(nom);
        const bool direction = !sens || std::string_view(sens) == voulu;
        const bool deja = std::any_of(liste.begin(), liste.end(), [&](const DescriptionEntree& e) {
            return e.Identifiant == n;
        });
        if (direction && !deja && EstEntreeAlsa(n))
            liste.push_back({n, NomLisible(description, n), SondeFeAlsa(n, lecture, canaux, fes)});
        free(nom);
        free(description);
        free(sens);
    }
    snd_device_name_free_hint(indications);
    return liste;
}

std::vector<DescriptionEntree> EnumereAlsa(std::span<const int32_t> fes, int maximum) {
    return ListeAlsa(false, 2, "Entrée par défaut", fes, maximum);
}

namespace {

// The stream: a thread of ours starts the device, waits on it and copies each block into
// the ring. Under a watch, which sets the ring's position. Through a sound server that
// froze, every call on the device may block for long: the start is the capture thread's,
// so that nothing is written into the ring once a stop was asked for, however late the
// device lets the thread go.
class FluxAlsa final : public FluxCapture {
public:
    FluxAlsa() = default;
    ~FluxAlsa() override { Fermer(); }

    ResultatOuverture Ouvrir(const std::string& identifiant, int32_t fe, int32_t canaux,
                             AnneauCapture& anneau) override {
        std::lock_guard verrou(controle_);
        FermeSansVerrou();
        FaitTaireAlsa();
        const std::string nom = identifiant.empty() ? "default" : identifiant;
        if (snd_pcm_open(&pcm_, nom.c_str(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK) < 0) {
            pcm_ = nullptr;
            return ResultatOuverture::Indisponible;
        }
        const ResultatOuverture r = Regle(fe, canaux);
        if (r != ResultatOuverture::Reussie) {
            FermeSansVerrou();
            return r;
        }
        anneau_ = &anneau;
        echec_.store(false, std::memory_order_relaxed);
        return ResultatOuverture::Reussie;
    }

    bool Demarrer() override {
        std::lock_guard verrou(controle_);
        if (!pcm_) return false;
        ArreteLecteur();
        fin_.store(false, std::memory_order_relaxed);
        echec_.store(false, std::memory_order_relaxed);
        lecteur_ = std::thread([this] {
            if (!Lance() || !Lit()) echec_.store(true, std::memory_order_relaxed);
        });
        return true;
    }

    void Arreter() override {
        std::lock_guard verrou(controle_);
        ArreteLecteur();
        if (pcm_) snd_pcm_drop(pcm_);
    }

    void Fermer() override {
        std::lock_guard verrou(controle_);
        FermeSansVerrou();
    }

    bool EnEchec() const override { return echec_.load(std::memory_order_relaxed); }

private:
    ResultatOuverture Regle(int32_t fe, int32_t canaux) {
        // Small blocks keep the ring's position close to the device's. The device's buffer
        // holds 500 ms: blocks are read as soon as they are there, so its size adds no
        // delay, and a reader held up by a busy machine for longer than 100 ms (the size
        // once used) no longer loses frames. Mono is read in stereo and averaged (see
        // MoyenneVoies), unless the device has one channel only.
        constexpr unsigned Tampon = 500000, Bloc = 10000;
        ResultatOuverture r = ResultatOuverture::FormatRefuse;
        canauxLus_ = 2;
        if (canaux == 1) r = RegleMateriel(pcm_, fe, 2, Tampon, Bloc, trames_);
        if (r != ResultatOuverture::Reussie) {
            canauxLus_ = canaux;
            r = RegleMateriel(pcm_, fe, canaux, Tampon, Bloc, trames_);
        }
        if (r != ResultatOuverture::Reussie) return r;

        bloc_.assign(trames_ * static_cast<size_t>(canauxLus_), 0);
        mono_.assign(canauxLus_ != canaux ? trames_ : 0, 0);
        reveil_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        return PrepareAttentes(pcm_, reveil_, attentes_) ? ResultatOuverture::Reussie
                                                         : ResultatOuverture::TamponImpossible;
    }

    // Capture thread: the device started afresh; false when it cannot start.
    bool Lance() {
        snd_pcm_drop(pcm_);
        return snd_pcm_prepare(pcm_) >= 0 && snd_pcm_start(pcm_) >= 0;
    }

    // Capture thread: waits for data or for the stop signal. False when the device fails
    // for good (unplugged, server gone): the thread ends and the ring keeps its last
    // samples.
    bool Lit() {
        const auto n = static_cast<unsigned>(attentes_.size() - 1);
        while (!fin_.load(std::memory_order_relaxed)) {
            if (poll(attentes_.data(), attentes_.size(), 200) < 0 && errno != EINTR) return false;
            if (fin_.load(std::memory_order_relaxed)) return true;
            unsigned short evenements = 0;
            if (snd_pcm_poll_descriptors_revents(pcm_, attentes_.data(), n, &evenements) < 0)
                return false;
            if (!(evenements & (POLLIN | POLLERR))) continue;
            const int resultat = LitDisponible();
            if (resultat < 0) return false;
            // Woken without data: do not spin on a device that keeps signalling.
            if (resultat == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

    // Frames read, or -1 when the device cannot go on.
    int LitDisponible() {
        int total = 0;
        for (;;) {
            const snd_pcm_sframes_t r = snd_pcm_readi(pcm_, bloc_.data(), trames_);
            if (r > 0) {
                const auto trames = static_cast<uint32_t>(r);
                if (mono_.empty()) {
                    anneau_->Ecrire(bloc_.data(), trames * static_cast<uint32_t>(canauxLus_));
                } else {
                    MoyenneVoies(bloc_.data(), trames, mono_.data());
                    anneau_->Ecrire(mono_.data(), trames);
                }
                total += static_cast<int>(r);
                continue;
            }
            if (r == -EAGAIN || r == 0) return total;
            // Overrun or suspend: restart the device and carry on.
            if (snd_pcm_recover(pcm_, static_cast<int>(r), 1) < 0) return -1;
            if (snd_pcm_state(pcm_) != SND_PCM_STATE_RUNNING && snd_pcm_start(pcm_) < 0) return -1;
            return total;
        }
    }

    void ArreteLecteur() {
        if (!lecteur_.joinable()) return;
        fin_.store(true, std::memory_order_relaxed);
        const uint64_t un = 1;
        [[maybe_unused]] const ssize_t e = write(reveil_, &un, sizeof un);
        lecteur_.join();
        uint64_t vide;
        [[maybe_unused]] const ssize_t l = read(reveil_, &vide, sizeof vide);
    }

    void FermeSansVerrou() {
        ArreteLecteur();
        if (pcm_) snd_pcm_close(pcm_);
        pcm_ = nullptr;
        if (reveil_ >= 0) close(reveil_);
        reveil_ = -1;
        anneau_ = nullptr;
        attentes_.clear();
    }

    std::mutex controle_; // serialises the operations (the GUI thread and the acquisition
                          // thread's Arreter)
    snd_pcm_t* pcm_ = nullptr;
    AnneauCapture* anneau_ = nullptr;
    int32_t canauxLus_ = 1;        // channels read from the device
    snd_pcm_uframes_t trames_ = 0; // frames per block
    std::vector<int16_t> bloc_;
    std::vector<int16_t> mono_;    // the block averaged, when mono is read in stereo
    std::vector<pollfd> attentes_; // the device's descriptors, then the stop signal
    int reveil_ = -1;
    std::atomic<bool> fin_{false};
    std::atomic<bool> echec_{false}; // the capture thread ended on a failure
    std::thread lecteur_;
};

} // namespace

std::unique_ptr<FluxCapture> CreeFluxAlsa() {
    return FluxSurveille(std::make_unique<FluxAlsa>());
}

ResultatOuverture RegleMateriel(snd_pcm_t* pcm, int32_t fe, int32_t canaux, unsigned tampon,
                                unsigned periode, snd_pcm_uframes_t& trames) {
    snd_pcm_hw_params_t* hw = nullptr;
    if (snd_pcm_hw_params_malloc(&hw) < 0) return ResultatOuverture::TamponImpossible;
    ResultatOuverture r = ResultatOuverture::Reussie;
    if (snd_pcm_hw_params_any(pcm, hw) < 0 ||
        snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED) < 0 ||
        snd_pcm_hw_params_set_format(pcm, hw, SND_PCM_FORMAT_S16_LE) < 0 ||
        snd_pcm_hw_params_set_channels(pcm, hw, static_cast<unsigned>(canaux)) < 0 ||
        snd_pcm_hw_params_set_rate(pcm, hw, static_cast<unsigned>(fe), 0) < 0) {
        r = ResultatOuverture::FormatRefuse;
    } else {
        snd_pcm_hw_params_set_buffer_time_near(pcm, hw, &tampon, nullptr);
        snd_pcm_hw_params_set_period_time_near(pcm, hw, &periode, nullptr);
        if (snd_pcm_hw_params(pcm, hw) < 0 ||
            snd_pcm_hw_params_get_period_size(hw, &trames, nullptr) < 0 || trames == 0)
            r = ResultatOuverture::TamponImpossible;
    }
    snd_pcm_hw_params_free(hw);
    return r;
}

bool PrepareAttentes(snd_pcm_t* pcm, int reveil, std::vector<pollfd>& attentes) {
    const int n = snd_pcm_poll_descriptors_count(pcm);
    if (n <= 0 || reveil < 0) return false;
    attentes.assign(static_cast<size_t>(n) + 1, pollfd{});
    if (snd_pcm_poll_descriptors(pcm, attentes.data(), static_cast<unsigned>(n)) != n) return false;
    attentes[static_cast<size_t>(n)] = {reveil, POLLIN, 0};
    return true;
}

} // namespace platform
