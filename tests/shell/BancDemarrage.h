// What a start-up test gives the application: a settings file in a folder of its own and
// the generator over a stream without sound that accepts every rate.
#pragma once

#include "DossierTemporaire.h"
#include "generator/FluxFactice.h"
#include "generator/PanneauGene.h"

#include <memory>
#include <string>

struct BancDemarrage {
    DossierTemporaire dossier;
    std::string ini = dossier.Chemin("tamburella.ini");
    generator::ContexteGene gene;

    explicit BancDemarrage(const std::string& reglages = "") {
        if (!reglages.empty()) EcritFichier(ini, reglages);
        generator::TablesSorties tables;
        tables.FeSupportesSortie[0].fill(1);
        tables.MeilleurFeSortie.fill(-1);
        tables.MeilleurFeSortie[0] = 6;
        generator::InitGene(gene, tables, std::make_unique<FluxFactice>());
        gene.RequeteFormat = [](int32_t, int32_t) { return true; };
    }
};
