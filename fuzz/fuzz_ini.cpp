// The settings store and model on arbitrary file contents: every window's reading
// checks, then a rewrite of every section. The text written must read back as itself.
#include "panel/Reglages.h"
#include "platform/Ini.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* donnees, size_t taille) {
    const std::string_view octets(reinterpret_cast<const char*>(donnees), taille);
    platform::LitEntierTexte(octets, 0);

    platform::FichierIni ini = platform::FichierIni::DepuisTexte(octets);
    engine::TablesEntrees tables;
    tables.NbEntreesWave = 3;
    tables.NbEntreesDS = 2;
    tables.MeilleurFe = {6, 5, -1, 3};
    panel::ContexteSortie sorties;
    sorties.NbSorties = 2;
    sorties.MeilleurFeSortie = {6, -1, 2};
    sorties.AccepteFe = [](int32_t d, int32_t fe) { return d != 1 || fe == 16000; };

    const auto controle = panel::LitReglagesControle(ini, {tables, true, 2});
    const auto ecran = panel::LitEcran(ini, {10, 5, 386, 177});
    const auto curseurs = panel::LitCurseurs(ini, 300, 400);
    const auto options = panel::LitReglagesOptions(ini);
    const auto gene = panel::LitReglagesGene(ini, sorties);
    const auto geneOptions = panel::LitReglagesGeneOptions(ini);

    const std::string premier = ini.Texte();
    if (platform::FichierIni::DepuisTexte(premier).Texte() != premier) std::abort();

    panel::EcritReglages(ini, controle);
    panel::EcritReglages(ini, geneOptions);
    panel::EcritReglages(ini, gene);
    panel::EcritReglages(ini, options);
    panel::EcritReglages(ini, panel::ReglagesScope{ecran, curseurs});
    const platform::FichierIni relu = platform::FichierIni::DepuisTexte(ini.Texte());
    // What was written reads back as written (the checks are idempotent).
    if (!(panel::LitReglagesControle(relu, {tables, true, 2}) == controle)) std::abort();
    if (!(panel::LitReglagesGene(relu, sorties) == gene)) std::abort();
    if (!(panel::LitCurseurs(relu, 1, 1) == curseurs)) std::abort();
    return 0;
}
