// One frame's read from the capture ring, against the memory-bound floor: a plain loop
// converting the same 2 x 20480 interleaved 16-bit samples to floats in two arrays.

#include "engine/Pilotes.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

namespace {

constexpr int N = engine::NbBruts;

std::vector<int16_t> Echantillons(size_t n) {
    std::mt19937 generateur(42);
    std::uniform_int_distribution<int> loi(-32768, 32767);
    std::vector<int16_t> x(n);
    for (auto& v : x)
        v = static_cast<int16_t>(loi(generateur));
    return x;
}

// A device that filled the ring once and stays put.
class FluxFige : public platform::FluxCapture {
public:
    platform::ResultatOuverture Ouvrir(const std::string&, int32_t, int32_t,
                                       platform::AnneauCapture& anneau) override {
        anneau_ = &anneau;
        return platform::ResultatOuverture::Reussie;
    }
    bool Demarrer() override {
        const auto x = Echantillons(platform::AnneauCapture::Taille);
        anneau_->Recommence();
        anneau_->Ecrire(x.data(), static_cast<uint32_t>(x.size()));
        // Not a multiple of a word: the read starts off a word boundary.
        anneau_->Ecrire(x.data(), 2 * 1234 + 2);
        return true;
    }
    void Arreter() override {}
    void Fermer() override {}

private:
    platform::AnneauCapture* anneau_ = nullptr;
};

void BM_Lire(benchmark::State& etat, int canaux) {
    const bool stereo = canaux == 2;
    auto scope = std::make_unique<engine::EtatScope>();
    scope->StereoActif = stereo ? 1 : 0;
    engine::ReglagesEntree entree;
    engine::TablesEntrees tables;
    tables.NbEntreesDS = 1;
    tables.DSDisponible = true;
    engine::ReglagesAffichage affichage;
    FluxFige flux;
    engine::PiloteDS pilote({*scope, entree, tables, affichage}, flux);
    pilote.Ouvrir();
    pilote.Demarrer();
    for (auto _ : etat) {
        pilote.Lire(scope->Bruts[0].data(), N);
        benchmark::DoNotOptimize(scope->Bruts.data());
        benchmark::ClobberMemory();
    }
    etat.SetBytesProcessed(etat.iterations() * N * canaux * 2);
}
BENCHMARK_CAPTURE(BM_Lire, mono, 1);
BENCHMARK_CAPTURE(BM_Lire, stereo, 2);

void BM_CopieMinimale(benchmark::State& etat, int canaux) {
    const auto source = Echantillons(static_cast<size_t>(canaux) * N);
    std::vector<float> gauche(N), droite(N);
    for (auto _ : etat) {
        const int16_t* s = source.data();
        if (canaux == 2) {
            for (int j = 0; j < N; ++j) {
                gauche[j] = s[2 * j];
                droite[j] = s[2 * j + 1];
            }
        } else {
            for (int j = 0; j < N; ++j)
                gauche[j] = s[j];
        }
        benchmark::DoNotOptimize(gauche.data());
        benchmark::DoNotOptimize(droite.data());
        benchmark::ClobberMemory();
    }
    etat.SetBytesProcessed(etat.iterations() * N * canaux * 2);
}
BENCHMARK_CAPTURE(BM_CopieMinimale, mono, 1);
BENCHMARK_CAPTURE(BM_CopieMinimale, stereo, 2);

} // namespace
