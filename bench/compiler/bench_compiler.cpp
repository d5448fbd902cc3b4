// Cost of compiled formulas: the interpreter against the same formula written in C++
// with the same x87 sine, over one generator buffer, and the cost of one compilation.

#include "compiler/Compilateur.h"
#include "compiler/X87.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

constexpr int TailleTampon = 8192; // one generator buffer in mono

std::vector<double> Abscisses() {
    std::vector<double> x(TailleTampon);
    for (int i = 0; i < TailleTampon; ++i)
        x[i] = -3.141592653589793 + 2 * 3.141592653589793 * i / TailleTampon;
    return x;
}

void BM_Interprete(benchmark::State& etat, const char* formule) {
    compiler::fonction f;
    f.Source.Affecte(formule);
    if (!compiler::CompileFormule("X", f, '.')) {
        etat.SkipWithError("la formule ne compile pas");
        return;
    }
    const std::vector<double> x = Abscisses();
    std::vector<long double> y(TailleTampon);
    for (auto _ : etat) {
        compiler::AppelleFonctionSerie(f, x.data(), y.data(), x.size());
        benchmark::DoNotOptimize(y.data());
        benchmark::ClobberMemory();
    }
    etat.SetItemsProcessed(etat.iterations() * TailleTampon);
}
BENCHMARK_CAPTURE(BM_Interprete, default, "sin(5*x+2*sin(x))");

// sin(5*x+2*sin(x)), parking 5x as a 64-bit float like the compiled code does.
void BM_Natif(benchmark::State& etat) {
    const auto formule = [](double x) -> long double {
        const double cinqX = static_cast<double>(5 * static_cast<long double>(x));
        return compiler::Fsin(cinqX + 2 * compiler::Fsin(x));
    };
    const std::vector<double> x = Abscisses();
    std::vector<long double> y(TailleTampon);
    for (auto _ : etat) {
        for (int i = 0; i < TailleTampon; ++i)
            y[i] = formule(x[i]);
        benchmark::DoNotOptimize(y.data());
        benchmark::ClobberMemory();
    }
    etat.SetItemsProcessed(etat.iterations() * TailleTampon);
}
BENCHMARK(BM_Natif)->Name("BM_Natif/default");

void BM_Compile(benchmark::State& etat, const char* formule) {
    compiler::fonction f;
    for (auto _ : etat) {
        f.Source.Affecte(formule);
        benchmark::DoNotOptimize(compiler::CompileFormule("X", f, '.'));
        benchmark::ClobberMemory();
    }
}
BENCHMARK_CAPTURE(BM_Compile, default, "sin(5*x+2*sin(x))");

} // namespace
