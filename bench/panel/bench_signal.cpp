// Signal-file costs. The buffer file is rewritten on the acquisition thread every frame:
// the writer against the obvious one (an ofstream written in place with <<), which is
// neither atomic nor free of per-frame allocation. Loading, for the menu.

#include "panel/Signal.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <unistd.h>

namespace {

std::unique_ptr<panel::TableauBruts> Bruts() {
    std::mt19937 generateur(42);
    std::uniform_real_distribution<float> loi(-32768.0f, 32767.0f);
    auto bruts = std::make_unique<panel::TableauBruts>();
    for (auto& canal : *bruts)
        for (float& v : canal)
            v = loi(generateur);
    return bruts;
}

std::string Chemin(const char* nom) {
    return "/tmp/bench-tamburella-" + std::to_string(::getpid()) + "-" + nom;
}

// Args: samples per channel, channels.
void BM_FichierTampon(benchmark::State& etat) {
    const auto bruts = Bruts();
    const std::string chemin = Chemin("tampon.csv");
    panel::EcrivainSignal ecrivain;
    const auto n = static_cast<int32_t>(etat.range(0));
    const auto canaux = static_cast<int32_t>(etat.range(1));
    for (auto _ : etat)
        if (!ecrivain.Enregistre(chemin, n, *bruts, canaux, 44100)) etat.SkipWithError("write");
    std::remove(chemin.c_str());
}
BENCHMARK(BM_FichierTampon)->Args({1000, 1})->Args({1000, 2})->Args({20480, 2});

void BM_FichierTamponOfstream(benchmark::State& etat) {
    const auto bruts = Bruts();
    const std::string chemin = Chemin("naif.csv");
    const auto n = static_cast<int32_t>(etat.range(0));
    const auto canaux = static_cast<int32_t>(etat.range(1));
    for (auto _ : etat) {
        std::ofstream flux(chemin, std::ios::binary | std::ios::trunc);
        for (int32_t i = panel::NbEchSignal - n; i < panel::NbEchSignal; ++i) {
            flux << static_cast<int32_t>(std::nearbyint((*bruts)[0][i]));
            if (canaux == 2) flux << " ; " << static_cast<int32_t>(std::nearbyint((*bruts)[1][i]));
            flux << "\r\n";
        }
    }
    std::remove(chemin.c_str());
}
BENCHMARK(BM_FichierTamponOfstream)->Args({1000, 1})->Args({1000, 2})->Args({20480, 2});

void BM_EnregistreWav(benchmark::State& etat) {
    const auto bruts = Bruts();
    const std::string chemin = Chemin("tampon.wav");
    panel::EcrivainSignal ecrivain;
    for (auto _ : etat)
        if (!ecrivain.Enregistre(chemin, panel::NbEchSignal, *bruts, 2, 44100))
            etat.SkipWithError("write");
    std::remove(chemin.c_str());
}
BENCHMARK(BM_EnregistreWav);

// Arg: 0 text, 1 WAV; stereo, 20480 frames.
void BM_ChargeSignal(benchmark::State& etat) {
    auto bruts = Bruts();
    const std::string chemin = Chemin(etat.range(0) ? "charge.wav" : "charge.csv");
    if (!panel::EnregistreSignal(chemin, panel::NbEchSignal, *bruts, 2, 44100))
        etat.SkipWithError("write");
    for (auto _ : etat)
        if (panel::ChargeSignal(chemin, *bruts, 2) != panel::ErreurChargement::Aucune)
            etat.SkipWithError("load");
    std::remove(chemin.c_str());
}
BENCHMARK(BM_ChargeSignal)->Arg(0)->Arg(1);

} // namespace
