// Cost of the export commands on one dense picture (two 2000-point traces, grid, both
// cursor pairs with their readouts): the picture recorded and written as an enhanced
// metafile, as a placeable metafile, and put on the clipboard (goal: under 20 ms each).
// The clipboard's SVG and PNG forms, made only when a program pastes them, are measured
// apart.

#include "panel/Export.h"
#include "panel/ImageExport.h"

#include <benchmark/benchmark.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include <cmath>
#include <cstdlib>
#include <memory>

namespace {

struct Scene {
    std::unique_ptr<engine::EtatScope> etat = std::make_unique<engine::EtatScope>();
    engine::ReglagesAffichage affichage;
    engine::ReglagesEntree entree;
    display::VueScope vue{*etat, affichage, entree};
    display::OptionsExport options;

    Scene() {
        entree.FeCourante = 44100;
        vue.LargeurClient = 2000;
        vue.HauteurClient = 300;
        vue.CurseursVerticaux1 = vue.CurseursHorizontaux1 = true;
        etat->StereoActif = 1;
        etat->MasqueCanaux = 3;
        etat->NbPoints = 2000;
        etat->TraceValide = true;
        etat->Xcurs1 = 100;
        etat->Xcurs2 = 200;
        etat->Ycurs1 = 99;
        etat->Ycurs2 = 129;
        for (int i = 0; i < 2000; ++i) {
            etat->Trace[0][i] = 0.5f - 0.4f * std::sin(static_cast<float>(i) * 0.031f);
            etat->Trace[1][i] = 0.5f - 0.3f * std::sin(static_cast<float>(i) * 0.057f);
        }
        display::Calibrer(vue);
        options.Grille = options.Curseurs = true;
        options.LabelH = "Dt=2,27 ms";
        options.LabelV = "Dx=10,0 %";
    }
};

// Fonts and the clipboard need an application object.
void Application() {
    static std::unique_ptr<QGuiApplication> application = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char nom[] = "bench_export";
        static char* argv[] = {nom, nullptr};
        return std::make_unique<QGuiApplication>(argc, argv);
    }();
}

void BM_ExportMetafichier(benchmark::State& etat) {
    const auto format =
        etat.range(0) ? panel::FormatMetafichier::Wmf : panel::FormatMetafichier::Emf;
    Scene s;
    size_t taille = 0;
    for (auto _ : etat) {
        const auto image = panel::ImageMetafichier(s.vue, s.options, 2500, 2000);
        const std::string octets = panel::ContenuMetafichier(image, format, 150, 120);
        taille = octets.size();
        benchmark::DoNotOptimize(octets.data());
    }
    etat.counters["octets"] = static_cast<double>(taille);
}
BENCHMARK(BM_ExportMetafichier)->ArgName("wmf")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_Copier1Click(benchmark::State& etat) {
    Application();
    Scene s;
    for (auto _ : etat) {
        panel::Copier1Click(s.vue, s.options);
        benchmark::DoNotOptimize(QGuiApplication::clipboard()->mimeData());
    }
}
BENCHMARK(BM_Copier1Click)->Unit(benchmark::kMillisecond);

// A paste asking for the other forms: SVG (arg 0) or PNG (arg 1), from a fresh copy.
void BM_CollerAutreFormat(benchmark::State& etat) {
    Application();
    Scene s;
    const char* format = etat.range(0) ? "image/png" : "image/svg+xml";
    for (auto _ : etat) {
        etat.PauseTiming();
        std::unique_ptr<QMimeData> donnees(
            panel::DonneesPressePapiers(panel::ImageMetafichier(s.vue, s.options, 2000, 2000)));
        etat.ResumeTiming();
        benchmark::DoNotOptimize(donnees->data(format).size());
    }
}
BENCHMARK(BM_CollerAutreFormat)->ArgName("png")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace
