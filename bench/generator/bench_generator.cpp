// Cost of the generator's computations: one buffer of 8192 frames from the default
// formula (through the interpreter) and from the predefined sine, and one sweep block on
// the audio thread, against the same block computed with the C library's long double
// sine.

#include "generator/Generateur.h"
#include "platform/Lecture.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

namespace {

using namespace generator;

// The engine needs a stream; these benchmarks never open it.
class SansSortie final : public platform::FluxLecture {
public:
    platform::ResultatOuverture Ouvrir(const std::string&, int32_t, int32_t,
                                       platform::NotificationLecture*) override {
        return platform::ResultatOuverture::Indisponible;
    }
    platform::CodeLecture Preparer(platform::TamponLecture&) override {
        return platform::PoigneeInvalide;
    }
    void Depreparer(platform::TamponLecture&) override {}
    platform::CodeLecture Ecrire(platform::TamponLecture&) override {
        return platform::PoigneeInvalide;
    }
    void Reinitialiser() override {}
    void Pause() override {}
    void Reprendre() override {}
    int64_t Position() override { return 0; }
    void Fermer() override {}
};

void BM_CalculeSignal(benchmark::State& etat, ModeSignal mode) {
    SansSortie sortie;
    auto g = std::make_unique<Generateur>(sortie);
    ChampsSignal champs;
    champs.Mode = mode;
    champs.Predefini = Sinusoidal;
    champs.Frequence = "22050"; // 4096 periods of 2 frames: 8192 frames
    champs.Niveau = "0.95";
    for (auto _ : etat) {
        const ResultatGene r = g->Boucle.CalculeSignal(champs);
        benchmark::DoNotOptimize(r.Reussi);
    }
    if (g->Synth.NbEchantillons != 8192) etat.SkipWithError("not 8192 frames");
    etat.SetItemsProcessed(etat.iterations() * g->Synth.NbEchantillons);
}
BENCHMARK_CAPTURE(BM_CalculeSignal, formule, ModeSignal::Utilisateur)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_CalculeSignal, sinus, ModeSignal::Predefini)->Unit(benchmark::kMicrosecond);

// 20 Hz to 20000 Hz over 10 s at 44100 Hz, block 50 (near the end, large phases).
Sweep& SweepPret(std::unique_ptr<Generateur>& g, SansSortie& sortie) {
    g = std::make_unique<Generateur>(sortie);
    Sweep& s = g->Balayage;
    s.F1Sweep = 20;
    s.F2Sweep = 20000;
    s.AmplitudeSweep = 0.95L * 32767;
    s.PenteSweep = (20000.0L / 20 - 1) / (2 * 10.0L * 44100);
    s.PulsationSweep = 6.283185307179586477L * 20 / 44100;
    return s;
}

void BM_RemplitBlocSweep(benchmark::State& etat) {
    SansSortie sortie;
    std::unique_ptr<Generateur> g;
    const Sweep& s = SweepPret(g, sortie);
    std::array<int16_t, TailleBlocSweep> bloc{};
    for (auto _ : etat) {
        s.RemplitBlocSweep(bloc.data(), 50);
        benchmark::DoNotOptimize(bloc.data());
        benchmark::ClobberMemory();
    }
    etat.SetItemsProcessed(etat.iterations() * TailleBlocSweep);
}
BENCHMARK(BM_RemplitBlocSweep)->Unit(benchmark::kMicrosecond);

// Reference: the same block with the C library's sinl.
void BM_RemplitBlocSweep_sinl(benchmark::State& etat) {
    SansSortie sortie;
    std::unique_ptr<Generateur> g;
    const Sweep& s = SweepPret(g, sortie);
    std::array<int16_t, TailleBlocSweep> bloc{};
    for (auto _ : etat) {
        for (int32_t j = 0; j < TailleBlocSweep; ++j) {
            const long double n = 50.0L * TailleBlocSweep + j;
            bloc[static_cast<size_t>(j)] = static_cast<int16_t>(std::nearbyint(
                s.AmplitudeSweep * std::sin(s.PulsationSweep * n * (1 + s.PenteSweep * n))));
        }
        benchmark::DoNotOptimize(bloc.data());
        benchmark::ClobberMemory();
    }
    etat.SetItemsProcessed(etat.iterations() * TailleBlocSweep);
}
BENCHMARK(BM_RemplitBlocSweep_sinl)->Unit(benchmark::kMicrosecond);

} // namespace
