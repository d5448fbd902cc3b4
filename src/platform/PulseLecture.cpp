// Playback over the sound server: a playback stream that our code feeds from the queue
// of buffers, on the connection's thread, each time the server asks for data.
//
// Buffering: the stream's queue in the server holds 100 ms (tlength), refilled 10 ms at a
// time (minreq), and playback starts once 10 ms are there (prebuf); the sink's own buffer
// comes on top. A looping buffer rewritten in place is heard once what was already handed
// over has played, so within about 100 ms plus the sink's latency, and our feeding
// thread may be held up for most of 100 ms on a busy machine without a gap. The latency
// is not "adjusted": PulseAudio would then count tlength as the whole way to the speaker
// and keep only 60 ms in the queue, whatever the sink really holds (10 ms on a sink that
// a low-latency recorder drives), and a thread held up 70 ms made a gap. The sweep's
// blocks wait in our queue, not in the server, so a deeper server buffer would only
// delay every change.
//
// End: once the queue runs dry after data, the stream is drained, so the server plays
// what it holds to its last frame (pipewire-pulse holds back a last part-quantum, up to
// about 20 ms, until then).
#include "platform/FileLecture.h"
#include "platform/Lecture.h"
#include "platform/Pulse.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <optional>

namespace platform {

std::vector<DescriptionSortie> EnumereSortiesSon(std::span<const int32_t> fes, int maximum) {
    return ListeAppareilsSon(true, "Sortie par défaut", fes, 1, maximum);
}

bool AccepteFeSon(int32_t fe) {
    const int32_t fes[1] = {fe};
    return FeAcceptesSon(fes, 1)[0];
}

namespace {

constexpr pa_usec_t LatenceFile = 100000;
constexpr pa_usec_t Requete = 10000;
constexpr pa_usec_t Demarrage = 10000;

class FluxLectureSon final : public FluxLecture {
public:
    ~FluxLectureSon() override { Fermer(); }

    ResultatOuverture Ouvrir(const std::string& identifiant, int32_t fe, int32_t canaux,
                             NotificationLecture* notification) override {
        Fermer();
        if (fe <= 0 || canaux <= 0 || canaux > static_cast<int32_t>(PA_CHANNELS_MAX))
            return ResultatOuverture::FormatRefuse;
        const pa_sample_spec format{PA_SAMPLE_S16LE, static_cast<uint32_t>(fe),
                                    static_cast<uint8_t>(canaux)};
        if (!pa_sample_spec_valid(&format)) return ResultatOuverture::FormatRefuse;
        notification_ = notification;
        tailleTrame_ = 2 * static_cast<size_t>(canaux);
        fe_ = fe;
        if (!connexion_.Connecter()) return ResultatOuverture::Indisponible;
        if (!identifiant.empty() && !connexion_.Existe(true, identifiant)) {
            Fermer();
            return ResultatOuverture::Indisponible;
        }
        ResultatOuverture r;
        {
            ConnexionSon::Verrou v(connexion_);
            r = CreeFlux(identifiant, format);
        }
        if (r != ResultatOuverture::Reussie) Fermer();
        return r;
    }

    CodeLecture Preparer(TamponLecture& tampon) override {
        if (!flux_) return PoigneeInvalide;
        if (const CodeLecture c = VerifieTampon(tampon)) return c;
        tampon.Prepare = true;
        return LectureReussie;
    }

    void Depreparer(TamponLecture& tampon) override {
        if (!tampon.EnFile) tampon.Prepare = false;
    }

    CodeLecture Ecrire(TamponLecture& tampon) override {
        pa_threaded_mainloop* boucle = connexion_.Boucle();
        if (!boucle) return PoigneeInvalide;
        // A notification runs on the connection's thread, which holds the lock already.
        std::optional<ConnexionSon::Verrou> verrou;
        if (!pa_threaded_mainloop_in_thread(boucle)) verrou.emplace(connexion_);
        if (!flux_) return PoigneeInvalide;
        if (pa_stream_get_state(flux_) != PA_STREAM_READY) return ErreurLecture;
        if (const CodeLecture c = file_.Ajoute(tampon)) return c;
        // Fed from the connection's thread: it may have nothing to ask for just now.
        Api()->defer_enable(relance_, 1);
        return LectureReussie;
    }

    void Reinitialiser() override {
        if (!flux_) return;
        ConnexionSon::Verrou v(connexion_);
        file_.Vide();
        ecrites_ = 0;
        vues_ = 0;
        if (pa_stream_get_state(flux_) != PA_STREAM_READY) return;
        Lance(pa_stream_flush(flux_, nullptr, nullptr));
        if (enPause_) Lance(pa_stream_cork(flux_, 0, nullptr, nullptr));
        enPause_ = false;
        aVider_ = false;
    }

    void Pause() override { Bouche(true); }
    void Reprendre() override { Bouche(false); }

    int64_t Position() override {
        if (!flux_) return 0;
        ConnexionSon::Verrou v(connexion_);
        pa_usec_t latence = 0;
        int negative = 0;
        // Until the server has told the stream's timing again (after a reset), the last
        // position stands.
        if (pa_stream_get_latency(flux_, &latence, &negative) == 0) {
            const int64_t retard =
                negative ? 0 : static_cast<int64_t>(latence * static_cast<uint64_t>(fe_) / 1000000);
            vues_ = std::clamp(ecrites_ - retard, vues_, ecrites_);
        }
        return vues_;
    }

    void Fermer() override {
        if (flux_) {
            ConnexionSon::Verrou v(connexion_);
            file_.Vide();
            pa_stream_set_state_callback(flux_, nullptr, nullptr);
            pa_stream_set_write_callback(flux_, nullptr, nullptr);
            if (relance_) Api()->defer_free(relance_);
            relance_ = nullptr;
            if (pa_stream_get_state(flux_) == PA_STREAM_READY) pa_stream_disconnect(flux_);
            pa_stream_unref(flux_);
            flux_ = nullptr;
        }
        connexion_.Deconnecter();
        notification_ = nullptr;
        ecrites_ = vues_ = 0;
        enPause_ = false;
        aVider_ = false;
    }

private:
    pa_mainloop_api* Api() { return pa_threaded_mainloop_get_api(connexion_.Boucle()); }

    // With the connection's lock held.
    ResultatOuverture CreeFlux(const std::string& identifiant, const pa_sample_spec& format) {
        flux_ = pa_stream_new(connexion_.Contexte(), "Tamburella", &format, nullptr);
        if (!flux_) return ResultatOuverture::TamponImpossible;
        pa_stream_set_state_callback(flux_, EtatFluxChange, this);
        pa_stream_set_write_callback(flux_, DonneesDemandees, this);
        pa_buffer_attr attributs{};
        attributs.maxlength = static_cast<uint32_t>(-1);
        attributs.tlength = static_cast<uint32_t>(pa_usec_to_bytes(LatenceFile, &format));
        attributs.minreq = static_cast<uint32_t>(pa_usec_to_bytes(Requete, &format));
        attributs.prebuf = static_cast<uint32_t>(pa_usec_to_bytes(Demarrage, &format));
        attributs.fragsize = static_cast<uint32_t>(-1);
        const auto drapeaux = static_cast<pa_stream_flags_t>(
            PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_NOT_MONOTONIC);
        const char* puits = identifiant.empty() ? nullptr : identifiant.c_str();
        if (pa_stream_connect_playback(flux_, puits, &attributs, drapeaux, nullptr, nullptr) < 0)
            return ResultatOuverture::TamponImpossible;
        const bool pret = connexion_.Attendre([this] {
            const pa_stream_state_t e = pa_stream_get_state(flux_);
            return e != PA_STREAM_CREATING && e != PA_STREAM_UNCONNECTED;
        });
        if (!pret || pa_stream_get_state(flux_) != PA_STREAM_READY)
            return pa_context_errno(connexion_.Contexte()) == PA_ERR_NOENTITY
                       ? ResultatOuverture::Indisponible
                       : ResultatOuverture::TamponImpossible;
        relance_ = Api()->defer_new(Api(), Relance, this);
        if (!relance_) return ResultatOuverture::TamponImpossible;
        Api()->defer_enable(relance_, 0);
        return ResultatOuverture::Reussie;
    }

    void Bouche(bool pause) {
        if (!flux_) return;
        ConnexionSon::Verrou v(connexion_);
        if (pa_stream_get_state(flux_) != PA_STREAM_READY || enPause_ == pause) return;
        Lance(pa_stream_cork(flux_, pause ? 1 : 0, nullptr, nullptr));
        enPause_ = pause;
    }

    // On the connection's thread, with its lock held: hands the server as much as it
    // asks for, straight into its own memory. Notifications run from here.
    void Alimente() {
        if (!flux_ || pa_stream_get_state(flux_) != PA_STREAM_READY) return;
        size_t libre = pa_stream_writable_size(flux_);
        if (libre == static_cast<size_t>(-1)) libre = 0;
        while (libre >= tailleTrame_) {
            void* destination = nullptr;
            size_t taille = libre;
            if (pa_stream_begin_write(flux_, &destination, &taille) < 0 || !destination) return;
            const size_t n = file_.Remplit(static_cast<int16_t*>(destination),
                                           std::min(taille, libre), tailleTrame_, notification_);
            if (n == 0) {
                pa_stream_cancel_write(flux_);
                break;
            }
            if (pa_stream_write(flux_, destination, n, nullptr, 0, PA_SEEK_RELATIVE) < 0) return;
            ecrites_ += static_cast<int64_t>(n / tailleTrame_);
            libre -= n;
            aVider_ = true;
        }
        // Nothing to ask for: empty buffers at the head still go back.
        file_.Remplit(nullptr, 0, tailleTrame_, notification_);
        if (aVider_ && file_.EstVide()) {
            Lance(pa_stream_drain(flux_, nullptr, nullptr));
            aVider_ = false;
        }
    }

    static void DonneesDemandees(pa_stream*, size_t, void* donnees) {
        static_cast<FluxLectureSon*>(donnees)->Alimente();
    }
    static void Relance(pa_mainloop_api* api, pa_defer_event* evenement, void* donnees) {
        api->defer_enable(evenement, 0);
        static_cast<FluxLectureSon*>(donnees)->Alimente();
    }
    static void EtatFluxChange(pa_stream*, void* donnees) {
        static_cast<FluxLectureSon*>(donnees)->connexion_.Reveiller();
    }
    static void Lance(pa_operation* operation) {
        if (operation) pa_operation_unref(operation);
    }

    ConnexionSon connexion_;
    // Under the connection's lock once open.
    pa_stream* flux_ = nullptr;
    pa_defer_event* relance_ = nullptr;
    FileLecture file_;
    NotificationLecture* notification_ = nullptr;
    size_t tailleTrame_ = 2;
    int32_t fe_ = 44100;
    int64_t ecrites_ = 0; // frames handed to the server since the last reset
    int64_t vues_ = 0;    // the last position told
    bool enPause_ = false;
    bool aVider_ = false; // data written since the last drain or reset
};

} // namespace

std::unique_ptr<FluxLecture> CreeFluxLectureSon() {
    return std::make_unique<FluxLectureSon>();
}

} // namespace platform
