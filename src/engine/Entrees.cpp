#include "engine/Entrees.h"

#include "platform/Alsa.h"
#include "platform/Pulse.h"

#include <algorithm>
#include <atomic>
#include <thread>

namespace engine {

namespace {

// Copies one backend's list into its columns of the tables; returns the device count
// besides the default one.
template <class Noms, class Ids, class Fes>
int32_t Remplit(std::span<const platform::DescriptionEntree> liste, Noms& noms, Ids& ids,
                Fes& supportes, std::array<int32_t, MaxEntrees + 1>& meilleur) {
    const size_t n = std::min<size_t>(liste.size(), MaxEntrees + 1);
    for (size_t i = 0; i < n; ++i) {
        const platform::DescriptionEntree& e = liste[i];
        noms[i] = e.Nom;
        ids[i] = e.Identifiant;
        meilleur[i] = -1;
        for (size_t r = 0; r < NbFe; ++r) {
            supportes[i][r] = e.FeSupportes[r];
            if (e.FeSupportes[r]) meilleur[i] = static_cast<int32_t>(r);
        }
    }
    return std::max(0, static_cast<int32_t>(n) - 1);
}

std::atomic<int32_t> listesEnCours{0};

} // namespace

int32_t ListesEnCours() {
    return listesEnCours.load();
}

ListeEnFond::ListeEnFond(Liste (*faire)()) {
    ++listesEnCours;
    std::thread([p = partage_, faire] {
        Liste l = faire();
        --listesEnCours;
        std::lock_guard v(p->m);
        p->liste = std::move(l);
        p->finie = true;
        p->cv.notify_all();
    }).detach();
}

std::optional<ListeEnFond::Liste>
ListeEnFond::Attend(std::chrono::steady_clock::time_point limite) {
    std::unique_lock v(partage_->m);
    if (!partage_->cv.wait_until(v, limite, [this] { return partage_->finie; }))
        return std::nullopt;
    return std::move(partage_->liste);
}

std::vector<platform::DescriptionEntree> DefautSeul(const char* nom) {
    platform::DescriptionEntree d;
    d.Nom = nom;
    d.FeSupportes.fill(true);
    return {d};
}

void RemplitTables(TablesEntrees& t, std::span<const platform::DescriptionEntree> wave,
                   bool dsDisponible, std::span<const platform::DescriptionEntree> ds) {
    t.MeilleurFe.fill(-1);
    t.NbEntreesWave =
        Remplit(wave, t.NomsEntreesWave, t.IdentifiantsWave, t.FeSupportesWave, t.MeilleurFe);
    t.DSDisponible = dsDisponible;
    t.NbEntreesDS = 0;
    if (dsDisponible)
        t.NbEntreesDS =
            Remplit(ds, t.NomsEntreesDS, t.IdentifiantsDS, t.FeSupportesDS, t.MeilleurFe);
}

EnumerationEntrees::EnumerationEntrees(std::chrono::milliseconds delai)
    : wave_([] { return platform::EnumereAlsa(TableFe, MaxEntrees); }),
      ds_([] { return platform::EnumereSourcesSon(TableFe, MaxEntrees); }),
      debut_(std::chrono::steady_clock::now()), delai_(delai) {}

std::vector<std::string> EnumereEntrees(TablesEntrees& tables, std::chrono::milliseconds delai) {
    return EnumerationEntrees(delai).Termine(tables);
}

std::vector<std::string> EnumerationEntrees::Termine(TablesEntrees& tables) {
    std::vector<std::string> nonListees;
    // A server that accepts the connection but does not answer is there, frozen: its
    // default source may serve once it thaws.
    std::optional<ListeEnFond::Liste> d = ds_.Attend(debut_ + delai_);
    if (!d) {
        nonListees.emplace_back("PulseAudio");
        d = DefautSeul("Entrée par défaut");
    }
    // ALSA goes through the server's plugin: only a server that did not answer may hold
    // it for long. Otherwise it is merely slow (probing every device at every rate on a
    // busy machine), and is waited for.
    const bool serveurMuet = !nonListees.empty();
    std::optional<ListeEnFond::Liste> w =
        wave_.Attend(debut_ + (serveurMuet ? delai_ : DelaiEnumerationLent));
    if (!w) {
        nonListees.emplace_back("ALSA");
        w = DefautSeul("Entrée par défaut");
    }
    RemplitTables(tables, *w, !d->empty(), *d);
    return nonListees;
}

bool AucuneEntree(const TablesEntrees& t) {
    return t.NbEntreesWave == 0 && t.NbEntreesDS == 0;
}

const char* MessageOuverture(int32_t code) {
    switch (code) {
    case OuvertureReussie:
        return nullptr;
    case EntreeIndisponible:
        return "L'entrée son est actuellement indisponible !\rSortez du programme qui "
               "l'utilise et redémarrez Tamburella.";
    case TamponsImpossibles:
        return "Impossible de préparer la mémoire tampon pour ALSA !\rRéessayez en "
               "redémarrant l'ordinateur.";
    case TamponDSImpossible:
        return "Impossible de créer la mémoire tampon pour PulseAudio !\rRéessayez en "
               "redémarrant l'ordinateur.";
    default:
        return "Impossible d'initialiser l'entrée son !";
    }
}

ResultatChoix ChoisirPilote(const std::array<PiloteCapture*, 2>& pilotes, ReglagesEntree& entree,
                            const TablesEntrees& tables, EtatScope& etat) {
    constexpr auto relache = std::memory_order_relaxed;
    entree.FeCourante.store(entree.Fe.load(relache), relache);
    etat.StereoActif = entree.Stereo.load(relache) ? 1 : 0;
    // Every device once, the default (-1) included.
    const int32_t nbPeripheriques = std::max(tables.NbEntreesWave, tables.NbEntreesDS);
    int32_t code = EntreeIndisponible;
    for (int32_t tour = 0; tour <= nbPeripheriques; ++tour) {
        for (int essai = 0; essai < 2; ++essai) {
            const int32_t type = entree.TypeEntree.load(relache) == 0 ? 0 : 1;
            PiloteCapture* p = pilotes[static_cast<size_t>(type)];
            code = p->Ouvrir();
            if (code == OuvertureReussie) return {code, nullptr, p};
            p->Fermer();
            entree.TypeEntree.store(1 - type, relache);
        }
        // Both drivers failed on this device: the next one, at its best rate.
        int32_t d = entree.NoEntree.load(relache) + 1;
        if (d >= nbPeripheriques || d < -1) d = -1;
        entree.NoEntree.store(d, relache);
        const int32_t meilleur = tables.MeilleurFe[TablesEntrees::Indice(d)];
        if (meilleur >= 0) {
            entree.Fe.store(TableFe[meilleur], relache);
            entree.FeCourante.store(TableFe[meilleur], relache);
        }
    }
    return {code, MessageOuverture(code), nullptr};
}

} // namespace engine
