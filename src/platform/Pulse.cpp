#include "platform/Pulse.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <array>
#include <mutex>

namespace platform {

// ---------------------------------------------------------------------------------------
// The connection

namespace {

void EtatContexteChange(pa_context*, void* donnees) {
    static_cast<ConnexionSon*>(donnees)->Reveiller();
}

bool ContexteBon(pa_context* c) {
    return c && PA_CONTEXT_IS_GOOD(pa_context_get_state(c));
}

} // namespace

ConnexionSon::~ConnexionSon() {
    Deconnecter();
}

ConnexionSon::Verrou::Verrou(ConnexionSon& c) : connexion_(c) {
    pa_threaded_mainloop_lock(connexion_.boucle_);
}
ConnexionSon::Verrou::~Verrou() {
    pa_threaded_mainloop_unlock(connexion_.boucle_);
}

bool ConnexionSon::Connecter(const char* nomClient) {
    Deconnecter();
    boucle_ = pa_threaded_mainloop_new();
    if (!boucle_) return false;
    contexte_ = pa_context_new(pa_threaded_mainloop_get_api(boucle_), nomClient);
    if (!contexte_) {
        Deconnecter();
        return false;
    }
    pa_context_set_state_callback(contexte_, EtatContexteChange, this);
    if (pa_context_connect(contexte_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
        pa_threaded_mainloop_start(boucle_) < 0) {
        Deconnecter();
        return false;
    }
    bool pret;
    {
        Verrou verrou(*this);
        pret = Attendre([this] { return pa_context_get_state(contexte_) == PA_CONTEXT_READY; });
    }
    if (!pret) Deconnecter();
    return pret;
}

void ConnexionSon::Deconnecter() {
    if (boucle_ && contexte_) {
        Verrou verrou(*this);
        // Without this the callback would fire once more, for the TERMINATED state.
        pa_context_set_state_callback(contexte_, nullptr, nullptr);
        pa_context_disconnect(contexte_);
    }
    if (boucle_) pa_threaded_mainloop_stop(boucle_);
    if (contexte_) pa_context_unref(contexte_);
    contexte_ = nullptr;
    if (boucle_) pa_threaded_mainloop_free(boucle_);
    boucle_ = nullptr;
}

bool ConnexionSon::Connectee() {
    if (!boucle_ || !contexte_) return false;
    Verrou verrou(*this);
    return pa_context_get_state(contexte_) == PA_CONTEXT_READY;
}

void ConnexionSon::Reveiller() {
    pa_threaded_mainloop_signal(boucle_, 0);
}

void ConnexionSon::DebutAttente(double secondes) {
    echue_ = false;
    timeval limite;
    pa_gettimeofday(&limite);
    pa_timeval_add(&limite, static_cast<pa_usec_t>(secondes * 1e6));
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(boucle_);
    minuterie_ = api->time_new(
        api, &limite,
        [](pa_mainloop_api*, pa_time_event*, const timeval*, void* donnees) {
            auto* c = static_cast<ConnexionSon*>(donnees);
            c->echue_ = true;
            c->Reveiller();
        },
        this);
}

bool ConnexionSon::AttenteEchue() {
    return echue_ || !ContexteBon(contexte_);
}

void ConnexionSon::AttendreSignal() {
    pa_threaded_mainloop_wait(boucle_);
}

void ConnexionSon::FinAttente() {
    if (minuterie_) pa_threaded_mainloop_get_api(boucle_)->time_free(minuterie_);
    minuterie_ = nullptr;
}

bool ConnexionSon::Terminer(pa_operation* operation) {
    if (!operation) return false;
    const bool fini =
        Attendre([operation] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; });
    const bool reussi = fini && pa_operation_get_state(operation) == PA_OPERATION_DONE;
    pa_operation_unref(operation);
    return reussi;
}

namespace {

struct Liste {
    ConnexionSon* connexion;
    std::vector<ConnexionSon::Appareil> appareils;
};

template <class Info>
void AjouteAppareil(pa_context*, const Info* info, int fin, void* donnees) {
    auto* liste = static_cast<Liste*>(donnees);
    if (fin) {
        liste->connexion->Reveiller();
        return;
    }
    if (info)
        liste->appareils.push_back(
            {info->name ? info->name : "", info->description ? info->description : ""});
}

struct Recherche {
    ConnexionSon* connexion;
    bool trouve = false;
};

// Called with the device, then with `fin` set; or only with `fin` < 0 when there is none.
template <class Info>
void NoteAppareil(pa_context*, const Info* info, int fin, void* donnees) {
    auto* r = static_cast<Recherche*>(donnees);
    if (fin) {
        r->connexion->Reveiller();
        return;
    }
    if (info) r->trouve = true;
}

struct InfoServeur {
    ConnexionSon* connexion;
    std::string source, sortie;
};

void RecoitInfoServeur(pa_context*, const pa_server_info* info, void* donnees) {
    auto* i = static_cast<InfoServeur*>(donnees);
    if (info) {
        i->source = info->default_source_name ? info->default_source_name : "";
        i->sortie = info->default_sink_name ? info->default_sink_name : "";
    }
    i->connexion->Reveiller();
}

InfoServeur DemandeInfoServeur(ConnexionSon& c) {
    InfoServeur info{&c, {}, {}};
    if (!c.Boucle() || !c.Contexte()) return info;
    ConnexionSon::Verrou verrou(c);
    c.Terminer(pa_context_get_server_info(c.Contexte(), RecoitInfoServeur, &info));
    return info;
}

} // namespace

std::vector<ConnexionSon::Appareil> ConnexionSon::Sources() {
    Liste liste{this, {}};
    if (!boucle_ || !contexte_) return {};
    Verrou verrou(*this);
    Terminer(pa_context_get_source_info_list(contexte_, AjouteAppareil<pa_source_info>, &liste));
    return liste.appareils;
}

std::vector<ConnexionSon::Appareil> ConnexionSon::Sorties() {
    Liste liste{this, {}};
    if (!boucle_ || !contexte_) return {};
    Verrou verrou(*this);
    Terminer(pa_context_get_sink_info_list(contexte_, AjouteAppareil<pa_sink_info>, &liste));
    return liste.appareils;
}

bool ConnexionSon::Existe(bool sortie, const std::string& nom) {
    Recherche recherche{this};
    if (!boucle_ || !contexte_) return false;
    Verrou verrou(*this);
    pa_operation* o =
        sortie ? pa_context_get_sink_info_by_name(contexte_, nom.c_str(),
                                                  NoteAppareil<pa_sink_info>, &recherche)
               : pa_context_get_source_info_by_name(contexte_, nom.c_str(),
                                                    NoteAppareil<pa_source_info>, &recherche);
    Terminer(o);
    return recherche.trouve;
}

std::string ConnexionSon::SourceParDefaut() {
    return DemandeInfoServeur(*this).source;
}

std::string ConnexionSon::SortieParDefaut() {
    return DemandeInfoServeur(*this).sortie;
}

bool ServeurSonDisponible() {
    ConnexionSon c;
    return c.Connecter();
}

std::array<bool, NbFeSondes> FeAcceptesSon(std::span<const int32_t> fes, uint8_t canaux) {
    std::array<bool, NbFeSondes> acceptes{};
    for (size_t r = 0; r < fes.size() && r < acceptes.size(); ++r) {
        const pa_sample_spec format{PA_SAMPLE_S16LE, static_cast<uint32_t>(fes[r]), canaux};
        acceptes[r] = fes[r] > 0 && pa_sample_spec_valid(&format) != 0;
    }
    return acceptes;
}

std::vector<DescriptionEntree> ListeAppareilsSon(bool sorties, std::string nomDefaut,
                                                 std::span<const int32_t> fes, uint8_t canaux,
                                                 int maximum) {
    ConnexionSon c;
    if (!c.Connecter()) return {};
    const std::array<bool, NbFeSondes> acceptes = FeAcceptesSon(fes, canaux);
    const std::vector<ConnexionSon::Appareil> appareils = sorties ? c.Sorties() : c.Sources();
    const std::string defaut = sorties ? c.SortieParDefaut() : c.SourceParDefaut();
    for (const auto& a : appareils)
        if (a.Nom == defaut) nomDefaut += " (" + a.Description + ")";

    std::vector<DescriptionEntree> liste;
    liste.push_back({"", nomDefaut, acceptes});
    for (const auto& a : appareils) {
        if (static_cast<int>(liste.size()) > maximum) break;
        liste.push_back({a.Nom, a.Description.empty() ? a.Nom : a.Description, acceptes});
    }
    return liste;
}

std::vector<DescriptionEntree> EnumereSourcesSon(std::span<const int32_t> fes, int maximum) {
    return ListeAppareilsSon(false, "Entrée par défaut", fes, 2, maximum);
}

// ---------------------------------------------------------------------------------------
// The capture stream

namespace {

class FluxSon final : public FluxCapture {
public:
    ~FluxSon() override { Fermer(); }

    ResultatOuverture Ouvrir(const std::string& identifiant, int32_t fe, int32_t canaux,
                             AnneauCapture& anneau) override {
        std::lock_guard verrou(controle_);
        FermeSansVerrou();
        if (canaux != 1 && canaux != 2) return ResultatOuverture::FormatRefuse;
        if (!connexion_.Connecter()) return ResultatOuverture::Indisponible;
        // Mono is captured in stereo and averaged here: servers fold channels down
        // differently (PipeWire adds them at 0.707 each, 3 dB up, and clips), and the trace
        // must read the same level on every server.
        const pa_sample_spec format{PA_SAMPLE_S16LE, static_cast<uint32_t>(fe), 2};
        if (!pa_sample_spec_valid(&format)) {
            connexion_.Deconnecter();
            return ResultatOuverture::FormatRefuse;
        }
        if (!identifiant.empty() && !connexion_.Existe(false, identifiant)) {
            connexion_.Deconnecter();
            return ResultatOuverture::Indisponible;
        }
        anneau_ = &anneau;
        moyenne_ = canaux == 1;
        ResultatOuverture r;
        {
            ConnexionSon::Verrou v(connexion_);
            r = CreeFlux(identifiant, format);
        }
        if (r != ResultatOuverture::Reussie) FermeSansVerrou();
        return r;
    }

    bool Demarrer() override {
        std::lock_guard verrou(controle_);
        if (!flux_) return false;
        ConnexionSon::Verrou v(connexion_);
        if (pa_stream_get_state(flux_) != PA_STREAM_READY) return false;
        anneau_->Recommence();
        actif_ = true;
        Lance(pa_stream_flush(flux_, nullptr, nullptr));
        Lance(pa_stream_cork(flux_, 0, nullptr, nullptr));
        return true;
    }

    void Arreter() override {
        std::lock_guard verrou(controle_);
        if (!flux_) return;
        ConnexionSon::Verrou v(connexion_);
        actif_ = false;
        if (pa_stream_get_state(flux_) == PA_STREAM_READY)
            Lance(pa_stream_cork(flux_, 1, nullptr, nullptr));
    }

    void Fermer() override {
        std::lock_guard verrou(controle_);
        FermeSansVerrou();
    }

private:
    // With the connection's lock held.
    ResultatOuverture CreeFlux(const std::string& identifiant, const pa_sample_spec& format) {
        flux_ = pa_stream_new(connexion_.Contexte(), "Tamburella", &format, nullptr);
        if (!flux_) return ResultatOuverture::TamponImpossible;
        pa_stream_set_state_callback(flux_, EtatFluxChange, this);
        pa_stream_set_read_callback(flux_, DonneesPretes, this);
        // Blocks of about 10 ms keep the ring's position close to the source's.
        pa_buffer_attr attributs{};
        attributs.maxlength = static_cast<uint32_t>(-1);
        attributs.fragsize = static_cast<uint32_t>(pa_usec_to_bytes(10000, &format));
        attributs.tlength = attributs.prebuf = attributs.minreq = static_cast<uint32_t>(-1);
        const auto drapeaux = static_cast<pa_stream_flags_t>(
            PA_STREAM_ADJUST_LATENCY | PA_STREAM_START_CORKED | PA_STREAM_NOT_MONOTONIC);
        const char* source = identifiant.empty() ? nullptr : identifiant.c_str();
        if (pa_stream_connect_record(flux_, source, &attributs, drapeaux) < 0)
            return ResultatOuverture::TamponImpossible;
        const bool pret = connexion_.Attendre([this] {
            const pa_stream_state_t e = pa_stream_get_state(flux_);
            return e != PA_STREAM_CREATING && e != PA_STREAM_UNCONNECTED;
        });
        if (pret && pa_stream_get_state(flux_) == PA_STREAM_READY)
            return ResultatOuverture::Reussie;
        return pa_context_errno(connexion_.Contexte()) == PA_ERR_NOENTITY
                   ? ResultatOuverture::Indisponible
                   : ResultatOuverture::TamponImpossible;
    }

    static void EtatFluxChange(pa_stream*, void* donnees) {
        static_cast<FluxSon*>(donnees)->connexion_.Reveiller();
    }

    // On the connection's thread, with its lock held.
    static void DonneesPretes(pa_stream* flux, size_t, void* donnees) {
        auto* f = static_cast<FluxSon*>(donnees);
        const void* octets = nullptr;
        size_t taille = 0;
        while (pa_stream_readable_size(flux) > 0) {
            if (pa_stream_peek(flux, &octets, &taille) < 0) return;
            if (taille == 0) return;
            // A hole (no data but a size) is skipped.
            if (octets && f->actif_) f->Ecrit(static_cast<const int16_t*>(octets), taille / 4);
            pa_stream_drop(flux);
        }
    }

    // Stereo frames into the ring, averaged for mono.
    void Ecrit(const int16_t* stereo, size_t trames) {
        if (!moyenne_) {
            anneau_->Ecrire(stereo, static_cast<uint32_t>(2 * trames));
            return;
        }
        while (trames > 0) {
            const auto n = static_cast<uint32_t>(std::min(trames, mono_.size()));
            MoyenneVoies(stereo, n, mono_.data());
            anneau_->Ecrire(mono_.data(), n);
            stereo += 2 * n;
            trames -= n;
        }
    }

    static void Lance(pa_operation* operation) {
        if (operation) pa_operation_unref(operation);
    }

    void FermeSansVerrou() {
        if (flux_) {
            ConnexionSon::Verrou v(connexion_);
            actif_ = false;
            pa_stream_set_state_callback(flux_, nullptr, nullptr);
            pa_stream_set_read_callback(flux_, nullptr, nullptr);
            if (pa_stream_get_state(flux_) == PA_STREAM_READY) pa_stream_disconnect(flux_);
            pa_stream_unref(flux_);
            flux_ = nullptr;
        }
        connexion_.Deconnecter();
        anneau_ = nullptr;
    }

    std::mutex controle_; // serialises the operations
    ConnexionSon connexion_;
    pa_stream* flux_ = nullptr;
    AnneauCapture* anneau_ = nullptr;
    bool moyenne_ = false; // mono: the stereo frames averaged
    bool actif_ = false;   // under the connection's lock
    std::array<int16_t, 1024> mono_{};
};

} // namespace

std::unique_ptr<FluxCapture> CreeFluxSon() {
    return std::make_unique<FluxSon>();
}

} // namespace platform
