#include "engine/Pilotes.h"

#include <algorithm>
#include <cmath>

namespace engine {

using platform::AnneauCapture;
using platform::ResultatOuverture;

int32_t MeilleurFePilote(const std::array<std::array<bool, NbFe>, MaxEntrees + 1>& supportes,
                         int32_t nbEntrees, int32_t d) {
    if (d < -1 || d >= nbEntrees || d >= MaxEntrees) return -1;
    for (int32_t r = NbFe - 1; r >= 0; --r)
        if (supportes[TablesEntrees::Indice(d)][r]) return r;
    return -1;
}

namespace {

int32_t Canaux(const EtatScope& e) {
    return e.StereoActif + 1;
}

// The backend's name of device d, or false when d is not one of the listed devices.
bool Identifiant(const std::array<std::string, MaxEntrees + 1>& identifiants, int32_t nbEntrees,
                 int32_t d, std::string& identifiant) {
    if (d < -1 || d >= nbEntrees || d >= MaxEntrees) return false;
    identifiant = identifiants[TablesEntrees::Indice(d)];
    return true;
}

// The device refused FeCourante: take its best enumerated rate (Fe follows, so the rate
// that works is saved with the settings). False when it accepted none.
bool ReplieSurMeilleurFe(ContexteCapture& c, int32_t meilleur) {
    if (meilleur < 0) return false;
    c.Entree.Fe.store(TableFe[meilleur], std::memory_order_relaxed);
    c.Entree.FeCourante.store(TableFe[meilleur], std::memory_order_relaxed);
    return true;
}

} // namespace

// ---------------------------------------------------------------------------------------
// "Wave-in" driver

int32_t PiloteWave::Ouvrir() {
    const TablesEntrees& t = c_.Tables;
    const int32_t d = c_.Entree.NoEntree.load(std::memory_order_relaxed);
    std::string identifiant;
    if (!Identifiant(t.IdentifiantsWave, t.NbEntreesWave, d, identifiant))
        return EntreeIndisponible;
    c_.Etat.TamponCapture.Efface();
    auto ouvre = [&] {
        return flux_.Ouvrir(identifiant, c_.Entree.FeCourante.load(std::memory_order_relaxed),
                            Canaux(c_.Etat), c_.Etat.TamponCapture);
    };
    ResultatOuverture r = ouvre();
    if (r == ResultatOuverture::FormatRefuse) {
        if (!ReplieSurMeilleurFe(c_, MeilleurFePilote(t.FeSupportesWave, t.NbEntreesWave, d)))
            return EntreeIndisponible;
        r = ouvre();
    }
    switch (r) {
    case ResultatOuverture::Reussie:
        return OuvertureReussie;
    case ResultatOuverture::TamponImpossible:
        return TamponsImpossibles;
    default:
        return EntreeIndisponible;
    }
}

void PiloteWave::Fermer() {
    flux_.Fermer();
    demarre_.store(false, std::memory_order_relaxed);
}

void PiloteWave::Arreter() {
    // Arret first: the thread's loop ends, and nothing restarts the device behind us.
    c_.Etat.Arret.store(true, std::memory_order_relaxed);
    flux_.Arreter();
    c_.Etat.EnMarche.store(false, std::memory_order_relaxed);
}

void PiloteWave::Demarrer() {
    EtatScope& e = c_.Etat;
    e.EnMarche.store(true, std::memory_order_relaxed);
    e.Arret.store(false, std::memory_order_relaxed);
    demarre_.store(flux_.Demarrer(), std::memory_order_relaxed);
    e.NbTampons.store(0, std::memory_order_relaxed);
    // The samples of a first screen: 2 per pixel, scaled by the time scale. The thread
    // waits for them (up to 4.5 s at 8000 Hz); the caller, the GUI thread, does not.
    const int32_t echelle = c_.Affichage.EchelleT.load(std::memory_order_relaxed);
    const auto largeur = static_cast<uint32_t>(2 * e.LargeurClient.load(std::memory_order_relaxed));
    const uint32_t s =
        echelle >= 0 ? largeur << std::min(echelle, 3) : largeur >> std::min(-echelle, 3);
    const double fe = c_.Entree.FeCourante.load(std::memory_order_relaxed);
    attente_.store(static_cast<int32_t>(std::lrint((s + EtatScope::Delai) / fe * 1000.0)),
                   std::memory_order_relaxed);
}

void PiloteWave::Lire(float* sortie, int32_t n) {
    EtatScope& e = c_.Etat;
    const AnneauCapture& anneau = e.TamponCapture;
    const int64_t ecrits = anneau.Position();
    const int64_t position = ecrits >> e.StereoActif;
    e.PositionCapture.store(static_cast<int32_t>(position), std::memory_order_relaxed);
    e.NbTampons.store(static_cast<int32_t>(ecrits >> 16), std::memory_order_relaxed);
    // Right after a start fewer frames exist than Delai + n: the stretch then reaches
    // back through the ring (zeros or older samples), and the next frames catch up.
    const int64_t premiere = position - EtatScope::Delai - n;
    anneau.CopieTrames(premiere * Canaux(e), n, Canaux(e), sortie);
}

// ---------------------------------------------------------------------------------------
// "DirectSound" driver

int32_t PiloteDS::Ouvrir() {
    const TablesEntrees& t = c_.Tables;
    if (!t.DSDisponible) return EntreeIndisponible;
    const int32_t d = c_.Entree.NoEntree.load(std::memory_order_relaxed);
    std::string identifiant;
    if (!Identifiant(t.IdentifiantsDS, t.NbEntreesDS, d, identifiant)) return EntreeIndisponible;
    auto ouvre = [&] {
        return flux_.Ouvrir(identifiant, c_.Entree.FeCourante.load(std::memory_order_relaxed),
                            Canaux(c_.Etat), c_.Etat.TamponCapture);
    };
    ResultatOuverture r = ouvre();
    if (r == ResultatOuverture::Indisponible) return EntreeIndisponible;
    if (r != ResultatOuverture::Reussie) {
        if (!ReplieSurMeilleurFe(c_, MeilleurFePilote(t.FeSupportesDS, t.NbEntreesDS, d)))
            return TamponDSImpossible;
        r = ouvre();
    }
    return r == ResultatOuverture::Reussie ? OuvertureReussie : TamponDSImpossible;
}

void PiloteDS::Fermer() {
    flux_.Fermer();
    demarre_.store(false, std::memory_order_relaxed);
}

void PiloteDS::Arreter() {
    c_.Etat.Arret.store(true, std::memory_order_relaxed);
    flux_.Arreter();
    c_.Etat.EnMarche.store(false, std::memory_order_relaxed);
}

void PiloteDS::Demarrer() {
    EtatScope& e = c_.Etat;
    e.EnMarche.store(true, std::memory_order_relaxed);
    e.Arret.store(false, std::memory_order_relaxed);
    // The stream is stopped here, so this thread may write the ring.
    e.TamponCapture.Efface();
    demarre_.store(flux_.Demarrer(), std::memory_order_relaxed);
    e.NbTampons.store(0, std::memory_order_relaxed);
    demarrages_.fetch_add(1, std::memory_order_release);
}

void PiloteDS::Lire(float* sortie, int32_t n) {
    EtatScope& e = c_.Etat;
    const AnneauCapture& anneau = e.TamponCapture;
    const uint32_t demarrages = demarrages_.load(std::memory_order_acquire);
    if (demarrages != demarragesVus_) {
        demarragesVus_ = demarrages;
        nbTours_ = 0;
        dernierOffset_ = 0;
    }
    // Read position R in bytes: everything before it has been written.
    constexpr int64_t Octets = AnneauCapture::TailleOctets;
    const int64_t lecture = (anneau.Position() * 2) & (Octets - 1);
    const int decalage = e.StereoActif + 1; // log2 of the frame size
    int64_t offset = ((lecture >> decalage) - n) << decalage;
    if (offset < 0) offset += Octets;
    // Consecutive offsets going down: the ring wrapped since the last read.
    if (offset < dernierOffset_) ++nbTours_;
    dernierOffset_ = offset;
    e.NbTampons.store(static_cast<int32_t>(nbTours_), std::memory_order_relaxed);
    e.PositionCapture.store(static_cast<int32_t>((nbTours_ * Octets + offset) >> decalage),
                            std::memory_order_relaxed);
    anneau.CopieTrames(offset / 2, n, Canaux(e), sortie);
}

} // namespace engine
