#include "engine/TscopeThread.h"

#include "engine/Extraction.h"
#include "platform/Locale.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>

namespace engine {

namespace {

constexpr auto relache = std::memory_order_relaxed;

// One step above idle: the lowest nice level, for this thread only (on Linux a thread's
// nice value is its own). Refused or not, the loop runs.
void PrioriteMinimale() {
    [[maybe_unused]] const int r = setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 19);
}

bool ModeUniversel(const ReglagesAffichage& a) {
    return !a.SpectreBouton.load(relache) && a.Synchrouniverselle1.load(relache);
}

} // namespace

int32_t DureeRalenti(bool spectre, int32_t ralenti, int32_t ralentiSpectre) {
    if (spectre) return ralentiSpectre > 0 ? 1000 >> (std::min(ralentiSpectre, 4) + 3) : 0;
    return ralenti > 0 ? 1000 >> std::min(ralenti, 7) : 0;
}

int64_t ProchaineTrameEcran(int64_t maintenant, int64_t precedente, int64_t periode) {
    return std::max(maintenant, (precedente / periode + 1) * periode);
}

int64_t Compteur() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void MesureRafraich(EtatScope& e, int64_t maintenant) {
    e.CompteurAct.store(maintenant, relache);
    const int64_t precedent = e.CompteurPrec.load(relache);
    if (maintenant != precedent)
        e.FreqRafraich.store(static_cast<float>(static_cast<double>(FrequenceCompteur) /
                                                static_cast<double>(maintenant - precedent)),
                             relache);
    e.CompteurPrec.store(maintenant, relache);
}

std::array<char, 32> LegendeFreqRafraich(float hz) {
    std::array<char, 32> texte{};
    // Room for " Hz" and the terminating zero.
    char* fin = texte.data() + texte.size() - 4;
    auto [p, erreur] = std::to_chars(texte.data(), fin, hz, std::chars_format::fixed, 1);
    if (erreur != std::errc()) p = texte.data();
    std::replace(texte.data(), p, '.', platform::SeparateurDecimal());
    std::memcpy(p, " Hz", 4);
    return texte;
}

TscopeThread::TscopeThread(ContexteThread& contexte, PiloteCapture& pilote,
                           std::unique_ptr<TscopeThread> precedente)
    : c_(contexte), pilote_(pilote), precedente_(std::move(precedente)),
      generation_(contexte.Generation.fetch_add(1, relache) + 1) {
    thread_ = std::thread([this] { Execute(); });
}

TscopeThread::~TscopeThread() {
    if (thread_.joinable()) thread_.join();
}

void TscopeThread::Execute() {
    PrioriteMinimale();
    // The previous loop has seen the new generation and ends at its next turn.
    precedente_.reset();
    EtatScope& e = c_.Etat;
    try {
        Boucle();
    } catch (...) {
        pilote_.Arreter();
        c_.Gui.ErreurCalcul(MessageErreurThread);
        e.ThreadActive.store(false, relache);
    }
    termine_.store(true, std::memory_order_release);
    // The owner joins this thread before it releases the GUI side.
    c_.Gui.FinThread();
}

bool TscopeThread::Fini() const {
    return c_.Etat.Arret.load(relache) || c_.Generation.load(relache) != generation_;
}

void TscopeThread::DortJusqua(int64_t echeance) const {
    // Slices short enough that a pause or a load never waits on a long slow-down, long
    // enough that the wait for the screen's next frame (at most one period) is one sleep.
    constexpr int64_t Tranche = 20'000'000;
    for (int64_t reste = echeance - Compteur(); reste > 0 && !Fini(); reste = echeance - Compteur())
        std::this_thread::sleep_for(std::chrono::nanoseconds(std::min(reste, Tranche)));
}

void TscopeThread::Boucle() {
    EtatScope& e = c_.Etat;
    if (ModeUniversel(c_.Affichage)) c_.Gui.DesactiveDepF();
    e.ThreadActive.store(true, relache);
    e.SansSon.store(false, relache);
    e.FinDernierDecl = 0;
    e.PositionCapture.store(0, relache);
    // The driver may want a first screen of samples in its ring before the first read.
    const int32_t attente = pilote_.AttenteDemarrage();
    if (attente > 0) DortJusqua(Compteur() + int64_t{attente} * 1'000'000);
    e.CompteurPrec.store(Compteur(), relache);
    while (!Fini())
        Trame();
    ApresBoucle();
    e.ThreadActive.store(false, relache);
}

void TscopeThread::Trame() {
    EtatScope& e = c_.Etat;
    const ReglagesAffichage& a = c_.Affichage;
    const ReglagesEntree& r = c_.Entree;
    if (pilote_.SansSon()) {
        AttendSon();
        return;
    }
    if (e.SansSon.load(relache)) {
        // Sound again: the first frame's rate is not the length of the silence.
        e.SansSon.store(false, relache);
        e.CompteurPrec.store(Compteur(), relache);
    }

    // One consistent set of settings for the whole frame. The trace width is the client
    // width, within what one extraction can give at the time scale in signal mode.
    const bool spectre = a.SpectreBouton.load(relache);
    const int32_t largeurMax =
        spectre ? LargeurMax : LargeurMaxExtraction(a.EchelleT.load(relache));
    {
        // Under the engine lock: the GUI thread may be reading Bruts (a copy to save) or
        // the frame's copies and traces (the picture export) while capture runs.
        std::lock_guard verrou(e.VerrouMoteur);
        // Bruts is two arrays of NbBruts back to back: channel c, frame j at [c * n + j].
        pilote_.Lire(e.Bruts[0].data(), NbBruts);
        e.LargeurTrace = std::clamp(e.LargeurClient.load(relache), 1, largeurMax);
        e.PleineEchelleCopie = a.PleineEchelle.load(relache);
        e.DeplaceXCopie = static_cast<float>(a.DeplaceX.load(relache));
        e.NiveauDeclCopie = a.NiveauDecl.load(relache);
        if (e.StereoActif == 1) {
            e.MasqueCanaux = r.Canal.load(relache);
            e.CanalSyncActif = r.CanalSync.load(relache);
        } else {
            e.MasqueCanaux = 1;
            e.CanalSyncActif = 0;
        }
    }
    if (r.UtiliseFichierTampon.load(relache)) {
        r.FichierTampon.Actualise(fichierTampon_, versionFichierTampon_);
        c_.Calculs.EnregistreSignal(fichierTampon_, r.NbEchFichierTampon.load(relache));
    }

    if (spectre)
        c_.Calculs.CalculeSpectre(e.LargeurTrace);
    else
        c_.Calculs.Extraire(e.LargeurTrace);

    c_.Gui.Dessiner();
    // VSync = 2: present on the display's next frame. Retrace polling (1) does not exist
    // here and waits for nothing.
    const int64_t periode = e.PeriodeEcran.load(relache);
    const bool vsync = r.VSync.load(relache) == 2 && periode > 0;
    if (vsync) DortJusqua(ProchaineTrameEcran(Compteur(), presentee_, periode));
    c_.Gui.Afficher();
    if (vsync) presentee_ = Compteur();

    const int32_t ms =
        DureeRalenti(spectre, a.Ralenti.load(relache), a.RalentiSpectre.load(relache));
    if (ms > 0) DortJusqua(Compteur() + int64_t{ms} * 1'000'000);
}

void TscopeThread::AttendSon() {
    EtatScope& e = c_.Etat;
    if (!e.SansSon.load(relache)) {
        e.SansSon.store(true, relache);
        c_.Gui.Afficher();
    }
    // Often enough to see the sound come back at once, without spinning meanwhile.
    constexpr int64_t Veille = 20'000'000;
    DortJusqua(Compteur() + Veille);
}

void TscopeThread::ApresBoucle() {
    EtatScope& e = c_.Etat;
    c_.Gui.DessinerImage();
    // The universal mode's last alignment becomes the manual horizontal position.
    if (ModeUniversel(c_.Affichage)) {
        const double fraction =
            static_cast<double>(e.PosDecl.load(relache)) / std::max(e.LargeurTrace, 1);
        const auto decalage = static_cast<int32_t>(std::lrint(fraction * MaxDepF));
        c_.Affichage.DecalageT.store(decalage, relache);
        c_.Gui.ReactiveDepF(decalage);
    }
}

} // namespace engine
