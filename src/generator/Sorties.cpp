#include "generator/Sorties.h"

#include "engine/Entrees.h"

#include <algorithm>
#include <chrono>

namespace generator {

namespace {

// The first `n` characters of a UTF-8 text.
std::string Tronque(const std::string& texte, size_t n) {
    size_t caracteres = 0;
    for (size_t i = 0; i < texte.size(); ++i) {
        const bool debut = (static_cast<unsigned char>(texte[i]) & 0xC0) != 0x80;
        if (debut && caracteres++ == n) return texte.substr(0, i);
    }
    return texte;
}

} // namespace

void RemplitSorties(TablesSorties& t, std::span<const platform::DescriptionSortie> liste,
                    bool parServeur) {
    t = TablesSorties{};
    t.ParServeur = parServeur;
    t.MeilleurFeSortie.fill(-1);
    const auto n = std::min<size_t>(liste.size(), MaxSorties + 1);
    t.NbSorties = std::max<int32_t>(0, static_cast<int32_t>(n) - 1);
    for (size_t e = 0; e < n; ++e) {
        t.NomsSorties[e] = Tronque(liste[e].Nom, LongueurNomSortie);
        t.IdentifiantsSorties[e] = liste[e].Identifiant;
        for (size_t i = 0; i < engine::TableFe.size(); ++i) {
            t.FeSupportesSortie[e][i] = liste[e].FeSupportes[i] ? 1 : 0;
            if (liste[e].FeSupportes[i]) t.MeilleurFeSortie[e] = static_cast<int32_t>(i);
        }
    }
}

void EnumereSorties(TablesSorties& tables) {
    // A server that accepts the connection but does not answer in time is there, frozen:
    // its default output may serve once it thaws.
    engine::ListeEnFond son(
        [] { return platform::EnumereSortiesSon(engine::TableFe, MaxSorties); });
    std::vector<platform::DescriptionSortie> liste =
        son.Attend(std::chrono::steady_clock::now() + engine::DelaiEnumeration)
            .value_or(engine::DefautSeul("Sortie par défaut"));
    const bool serveur = !liste.empty();
    if (!serveur) {
        engine::ListeEnFond alsa(
            [] { return platform::EnumereSortiesAlsa(engine::TableFe, MaxSorties); });
        liste = alsa.Attend(std::chrono::steady_clock::now() + engine::DelaiEnumerationLent)
                    .value_or(engine::DefautSeul("Sortie par défaut"));
    }
    RemplitSorties(tables, liste, serveur);
}

bool AccepteFeSortie(const TablesSorties& tables, int32_t d, int32_t fe) {
    if (d < -1 || d >= tables.NbSorties) return false;
    return tables.ParServeur
               ? platform::AccepteFeSon(fe)
               : platform::AccepteFeAlsa(tables.IdentifiantsSorties[TablesSorties::Indice(d)], fe);
}

std::string IdentifiantSortie(const TablesSorties& tables, int32_t d) {
    if (d < -1 || d >= tables.NbSorties) return {};
    return tables.IdentifiantsSorties[TablesSorties::Indice(d)];
}

std::unique_ptr<platform::FluxLecture> CreeFluxSortie(const TablesSorties& tables) {
    return tables.ParServeur ? platform::CreeFluxLectureSon() : platform::CreeFluxLectureAlsa();
}

panel::ContexteSortie ContexteSortiePour(const TablesSorties& tables) {
    panel::ContexteSortie c;
    c.NbSorties = tables.NbSorties;
    c.MeilleurFeSortie = tables.MeilleurFeSortie;
    c.AccepteFe = [&tables](int32_t d, int32_t fe) { return AccepteFeSortie(tables, d, fe); };
    return c;
}

} // namespace generator
