// Spectrum and resampling costs, with FFTW's real-input transform as the reference.

#include "dsp/Fft.h"
#include "dsp/Reechantillonnage.h"

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

std::vector<float> Signal(int n) {
    std::mt19937 generateur(42);
    std::uniform_real_distribution<float> loi(-32768.0f, 32767.0f);
    std::vector<float> x(n);
    for (float& v : x)
        v = loi(generateur);
    return x;
}

// Window + transform + all N magnitudes; the samples are refreshed each time since the
// transform windows them in place.
void BM_SpectreTFR(benchmark::State& etat) {
    const int n = static_cast<int>(etat.range(0));
    dsp::InitTFR(0, static_cast<int>(std::log2(n)));
    const std::vector<float> signal = Signal(n);
    std::vector<float> x(n), modules(n);
    for (auto _ : etat) {
        std::copy(signal.begin(), signal.end(), x.begin());
        dsp::SpectreTFR(x.data(), modules.data());
        benchmark::DoNotOptimize(modules.data());
    }
    dsp::InitTFR(0, 11);
}
BENCHMARK(BM_SpectreTFR)->Arg(256)->Arg(512)->Arg(1024)->Arg(2048);

// The same windowed block through FFTW's single-precision r2c plan, plus the N/2 + 1
// magnitudes.
void BM_FftwR2C(benchmark::State& etat) {
    const int n = static_cast<int>(etat.range(0));
    const std::vector<float> signal = Signal(n);
    std::vector<float> fenetre(n);
    for (int i = 0; i < n; ++i)
        fenetre[i] = static_cast<float>(0.42 - 0.5 * std::cos(2 * M_PI * i / n) +
                                        0.08 * std::cos(4 * M_PI * i / n));
    float* entree = fftwf_alloc_real(n);
    fftwf_complex* sortie = fftwf_alloc_complex(n / 2 + 1);
    fftwf_plan plan = fftwf_plan_dft_r2c_1d(n, entree, sortie, FFTW_MEASURE);
    std::vector<float> modules(n / 2 + 1);
    for (auto _ : etat) {
        for (int i = 0; i < n; ++i)
            entree[i] = signal[i] * fenetre[i];
        fftwf_execute(plan);
        for (int k = 0; k <= n / 2; ++k)
            modules[k] = std::sqrt(sortie[k][0] * sortie[k][0] + sortie[k][1] * sortie[k][1]);
        benchmark::DoNotOptimize(modules.data());
    }
    fftwf_destroy_plan(plan);
    fftwf_free(sortie);
    fftwf_free(entree);
}
BENCHMARK(BM_FftwR2C)->Arg(256)->Arg(512)->Arg(1024)->Arg(2048);

// 2048 outputs through `s` half-band stages.
void BM_Decime(benchmark::State& etat) {
    const int s = static_cast<int>(etat.range(0));
    const std::vector<float> source = Signal(20480);
    std::vector<float> destination(20480);
    for (auto _ : etat) {
        benchmark::DoNotOptimize(dsp::Decime(s, 2048, source, destination));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Decime)->Arg(1)->Arg(2)->Arg(3);

// 2000 outputs interpolated by 2^b.
void BM_Interpole(benchmark::State& etat) {
    const int b = static_cast<int>(etat.range(0));
    const std::vector<float> source = Signal(20480);
    std::vector<float> destination(20480);
    const int m = 2000 >> b;
    for (auto _ : etat) {
        benchmark::DoNotOptimize(dsp::Interpole(b, m, source, destination));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Interpole)->Arg(1)->Arg(2)->Arg(3);

} // namespace
