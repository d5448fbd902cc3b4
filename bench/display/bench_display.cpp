// Cost of one screen frame of the renderer, against bare QPainter polylines of the same
// size into the same kind of picture.

#include "display/CanevasQt.h"
#include "display/Rendu.h"

#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>
#include <QPoint>

#include <cmath>
#include <memory>
#include <vector>

namespace {

constexpr int Largeur = 1000, Hauteur = 600;

float Sinus(int c, int i) {
    return 0.5f - 0.45f * std::sin(static_cast<float>(i) * (c == 0 ? 0.031f : 0.057f));
}

// Grid, two 1000-point traces, both cursor pairs and the trigger marker.
void BM_Dessiner(benchmark::State& etat) {
    auto scope = std::make_unique<engine::EtatScope>();
    engine::ReglagesAffichage affichage;
    engine::ReglagesEntree entree;
    display::ImageQt image(Largeur, Hauteur);
    display::VueScope vue{*scope, affichage, entree, &image, Largeur, Hauteur, true, true};
    scope->StereoActif = 1;
    scope->MasqueCanaux = 3;
    scope->NbPoints = Largeur;
    scope->TraceValide = true;
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < Largeur; ++i)
            scope->Trace[c][i] = Sinus(c, i);
    scope->Xcurs1 = 200;
    scope->Xcurs2 = 700;
    scope->Ycurs1 = 150;
    scope->Ycurs2 = 450;
    affichage.TypeSynchro = engine::Declenchement;
    scope->PosDecl = 500;
    display::Calibrer(vue);
    for (auto _ : etat) {
        display::Dessiner(vue);
        benchmark::DoNotOptimize(image.Pixels().constBits());
    }
}
BENCHMARK(BM_Dessiner)->Name("BM_Dessiner/1000x600/stereo")->Unit(benchmark::kMicrosecond);

// Reference: the two traces alone, straight through QPainter; arg 1 draws them
// antialiased at width 2 instead of plain at width 1.
void BM_PolylignesQt(benchmark::State& etat) {
    const bool lisse = etat.range(0) != 0;
    QImage image(Largeur, Hauteur, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter peintre(&image);
    peintre.setRenderHint(QPainter::Antialiasing, lisse);
    std::vector<QPoint> points[2];
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < Largeur; ++i)
            points[c].emplace_back(i, static_cast<int>(std::lrint(Hauteur * Sinus(c, i))) - 1);
    const QPen stylos[2] = {QPen(Qt::white, lisse ? 2 : 1), QPen(Qt::yellow, lisse ? 2 : 1)};
    for (auto _ : etat) {
        for (int c : {1, 0}) {
            peintre.setPen(stylos[c]);
            peintre.drawPolyline(points[c].data(), Largeur);
        }
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_PolylignesQt)->ArgName("lisse2px")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace
