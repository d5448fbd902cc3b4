#include "display/Rendu.h"

#include "dsp/Fft.h"
#include "engine/Extraction.h"
#include "platform/Nombres.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>

namespace display {
namespace {

using platform::ExposantDecimal;

constexpr auto Relache = std::memory_order_relaxed;
constexpr double PourcentParUnite = 100.0 / 32767.5;

// Nearest integer, halves to even; coordinates far off any device (a broken
// calibration, a trace clamped off the plot) are held where every canvas can take them.
int32_t Arrondi(double x) {
    constexpr double Limite = 1 << 24;
    if (!(x > -Limite)) return -static_cast<int32_t>(Limite);
    if (x > Limite) return static_cast<int32_t>(Limite);
    return static_cast<int32_t>(std::lrint(x));
}

// An index range of ticks, bounded so that broken inputs cannot run away.
constexpr int MaxGraduations = 64;

int32_t Entier(double x) {
    return std::isfinite(x) ? static_cast<int32_t>(std::clamp(x, -1e6, 1e6)) : 0;
}

void Ligne(Canevas& c, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    c.DeplacerVers(x0, y0);
    c.LigneVers(x1, y1);
}

void Stylo(Canevas& c, Couleur couleur, int32_t largeur, StyleStylo style) {
    c.CouleurStylo(couleur);
    c.EpaisseurStylo(largeur);
    c.StyleDuStylo(style);
    c.ModeDuStylo(ModeStylo::Copie);
}

bool Spectre(const VueScope& vue) {
    return vue.Affichage.SpectreBouton.load(Relache);
}

double FacteurT(const VueScope& vue) {
    return engine::PuissanceDeux(vue.Affichage.EchelleT.load(Relache));
}
double FacteurF(const VueScope& vue) {
    return engine::PuissanceDeux(vue.Affichage.EchelleF.load(Relache) +
                                 vue.Affichage.SurEchTFR.load(Relache));
}

// Points of `Trace` worth drawing: none before the first extraction.
int32_t NbPointsTrace(const VueScope& vue) {
    return std::clamp(vue.Etat.NbPoints.load(Relache), 0, engine::CapaciteTrace);
}

// 1-2-5 step for a span E: 3 to 7.5 divisions.
double Pas125(double etendue) {
    if (!(etendue > 0) || !std::isfinite(etendue)) return 0;
    const double p = PuissanceDix(ExposantDecimal(etendue / 3));
    const double r = etendue / p;
    if (r > 15) return 5 * p;
    if (r > 6) return 2 * p;
    return p;
}

void DessinerTrace(const VueScope& vue, Canevas& canevas, int c, int32_t hauteur) {
    // Built on the stack: nothing allocated per frame.
    std::array<Point, engine::CapaciteTrace> points;
    const int32_t n = NbPointsTrace(vue);
    if (n < 2) return; // a single point draws nothing
    const auto& trace = vue.Etat.Trace[c];
    const double k = PixelsParPoint(vue);
    for (int32_t i = 0; i < n; ++i)
        points[i] = {k == 1 ? i : Arrondi(i * k),
                     Arrondi(static_cast<double>(hauteur) * trace[i]) - 1};
    canevas.Polyligne(points.data(), n);
}

// Steps of the export: layout, axis units and tick ranges.
struct PlanExport {
    int32_t L, T, PW, PH, t, u;
    bool spectre;
    double q, v;    // units per trace point, units per plot pixel vertically
    double SX, SY;  // tick steps (powers of ten)
    double rX, rY;  // spans in steps
    int32_t mX, mY; // label spacing, in ticks
    int32_t gX;     // engineering group of the X step
    std::string Z;  // zeros appended to the X labels
    int32_t xMin, xMax, yMin, yMax;
    double o;  // trace point at the plot's left edge
    double p;  // plot units per trace point
    double y0; // the zero line
    std::array<int32_t, MaxGraduations> x{}, y{};
};

int32_t Espacement(double r) {
    return r < 6 ? 1 : r < 15 ? 2 : 5;
}

PlanExport Prepare(const VueScope& vue, int32_t w, int32_t h) {
    const engine::EtatScope& e = vue.Etat;
    PlanExport x{};
    x.L = Arrondi(0.07 * w);
    x.T = Arrondi(0.05 * h);
    x.PW = Arrondi(0.9 * w);
    x.PH = Arrondi(0.85 * h);
    x.t = Arrondi(0.005 * h);
    x.u = Arrondi(0.0005 * h);
    x.spectre = Spectre(vue);
    x.q = x.spectre ? e.UniteX / FacteurF(vue) : FacteurT(vue) * e.UniteX;
    x.v = e.EtendueY / x.PH;

    const int32_t eY = ExposantDecimal(e.EtendueY / 3);
    x.SY = PuissanceDix(eY);
    x.rY = e.EtendueY / x.SY;
    const int32_t eX = ExposantDecimal(e.EtendueX / 3);
    x.SX = PuissanceDix(eX);
    x.rX = e.EtendueX / x.SX;
    x.mX = Espacement(x.rX);
    x.mY = Espacement(x.rY);
    x.gX = static_cast<int32_t>(std::floor(eX / 3.0));
    x.Z.assign(static_cast<size_t>(eX - 3 * x.gX), '0');

    // Before the first extraction there are no points: the plot spans the client width.
    const int32_t n = NbPointsTrace(vue) > 0 ? NbPointsTrace(vue) : PointsTrace(vue);
    const double deplace = e.DeplaceXCopie;
    if (x.spectre) {
        const double debut = e.DebutSpectre.load(Relache) * x.q / x.SX;
        x.yMin = 0;
        x.yMax = Entier(std::floor(x.rY));
        x.xMin = Entier(std::ceil(debut));
        x.xMax = Entier(std::trunc(debut + x.rX));
        x.o = e.DebutSpectre.load(Relache);
        x.y0 = x.PH;
    } else {
        x.yMin = Entier(std::floor((0.01 * deplace - 0.5) * x.rY)) + 1;
        x.yMax = Entier(std::floor((0.01 * deplace + 0.5) * x.rY));
        x.xMax = Entier(std::trunc(x.rX / 2));
        x.xMin = -x.xMax;
        x.o = -std::nearbyint(n / 2.0); // time 0 on the plot's centre column
        x.y0 = x.PH * 0.5 * (0.02 * deplace + 1);
    }
    x.xMax = std::min(x.xMax, x.xMin + MaxGraduations - 1);
    x.yMax = std::min(x.yMax, x.yMin + MaxGraduations - 1);
    x.p = static_cast<double>(x.PW) / n;
    return x;
}

void TracesExport(const VueScope& vue, Canevas& canevas, const PlanExport& x) {
    const int32_t n = NbPointsTrace(vue);
    if (!vue.Etat.TraceValide.load(Relache) || n < 2) return;
    std::array<Point, engine::CapaciteTrace> points;
    canevas.EpaisseurStylo(4 * x.u);
    for (int c : {1, 0}) {
        if (!(vue.Etat.MasqueCanaux & (1 << c))) continue;
        canevas.StyleDuStylo(c == 1 ? StyleStylo::Tirets : StyleStylo::Plein);
        const auto& trace = vue.Etat.Trace[c];
        for (int32_t i = 0; i < n; ++i)
            points[i] = {x.L + Arrondi(i * x.p),
                         x.T + Arrondi(x.PH * static_cast<double>(trace[i]))};
        canevas.Polyligne(points.data(), n);
    }
    canevas.StyleDuStylo(StyleStylo::Plein);
}

void GraduationsX(Canevas& canevas, PlanExport& x) {
    const int32_t bas = x.T + x.PH - 1;
    for (int32_t k = x.xMin; k <= x.xMax; ++k) {
        const int32_t gx = Arrondi((k * x.SX / x.q - x.o) * x.p);
        x.x[k - x.xMin] = gx;
        Ligne(canevas, x.L + gx, x.T + x.PH - 3 * x.t, x.L + gx, bas);
        const int32_t demi = Arrondi(((k + 0.5) * x.SX / x.q - x.o) * x.p);
        Ligne(canevas, x.L + demi, x.T + x.PH - x.t, x.L + demi, bas);
    }
}

void GraduationsY(Canevas& canevas, PlanExport& x) {
    // One tick below the range, so that its minor tick is drawn too.
    for (int32_t k = x.yMin - 1; k <= x.yMax; ++k) {
        const int32_t gy = Arrondi(-k * x.SY / x.v + x.y0);
        if (k >= x.yMin) x.y[k - x.yMin] = gy;
        Ligne(canevas, x.L + 1, x.T + gy, x.L + 3 * x.t, x.T + gy);
        const int32_t demi = Arrondi(-(k + 0.5) * x.SY / x.v + x.y0);
        Ligne(canevas, x.L + 1, x.T + demi, x.L + x.t, x.T + demi);
    }
}

void GrilleExport(Canevas& canevas, const PlanExport& x) {
    for (int32_t k = x.xMin; k <= x.xMax; ++k)
        if (k % x.mX == 0)
            Ligne(canevas, x.L + x.x[k - x.xMin], x.T, x.L + x.x[k - x.xMin], x.T + x.PH);
    for (int32_t k = x.yMin; k <= x.yMax; ++k)
        if (k % x.mY == 0)
            Ligne(canevas, x.L, x.T + x.y[k - x.yMin], x.L + x.PW, x.T + x.y[k - x.yMin]);
}

void Etiquettes(Canevas& canevas, const PlanExport& x) {
    canevas.NomPolice("Times New Roman");
    canevas.CouleurPolice(Noir);
    canevas.TaillePolice(4 * x.t);
    canevas.StyleDePolice(Normal);
    canevas.AlignerTexte(AlignementTexte::Centre);
    for (int32_t k = x.xMin; k <= x.xMax; ++k)
        if (k % x.mX == 0)
            canevas.Texte(x.L + x.x[k - x.xMin], x.T + x.PH + 3 * x.t,
                          k == 0 ? std::string("0") : std::to_string(k) + x.Z);
    canevas.AlignerTexte(AlignementTexte::Droite);
    for (int32_t k = x.yMin; k <= x.yMax; ++k)
        if (k % x.mY == 0)
            canevas.Texte(x.L - 2 * x.t, x.T + x.y[k - x.yMin] - 3 * x.t, std::to_string(k));
}

void Titres(const VueScope& vue, Canevas& canevas, const PlanExport& x,
            const OptionsExport& options) {
    canevas.TaillePolice(5 * x.t);
    canevas.AlignerTexte(AlignementTexte::GaucheHaut);
    canevas.StyleDePolice(Italique);
    const std::string prefixe = PrefixeSI(x.gX);
    canevas.Texte(x.L + x.PW - 20 * x.t, x.T + x.PH + 10 * x.t,
                  x.spectre ? "f (" + prefixe + "Hz)" : "t (" + prefixe + "s)");
    canevas.Texte(0, 0, "x (×" + platform::FormatGeneral(x.SY, 3) + "%)");
    canevas.Texte(50 * x.t, 0, TitreProduit);
    if (!options.Curseurs) return;
    std::string texte;
    if (vue.CurseursVerticaux1) texte += options.LabelH;
    if (vue.CurseursHorizontaux1) {
        texte += "   ";
        texte += options.LabelV;
    }
    if (!texte.empty()) canevas.Texte(x.L + 20 * x.t, x.T + x.PH + 10 * x.t, texte);
}

} // namespace

double PuissanceDix(int32_t n) {
    return std::pow(10.0, n);
}

std::string PrefixeSI(int32_t g) {
    static constexpr const char* Prefixes[] = {"p", "n", "µ", "m", " ", "k", "M", "G", "T"};
    if (g >= -4 && g <= 4) return Prefixes[g + 4];
    return "10^" + std::to_string(3 * g) + " ";
}

int32_t PointsTrace(const VueScope& vue) {
    const int32_t w = std::max(vue.LargeurClient, 1);
    if (Spectre(vue)) return w;
    return std::min(w, engine::LargeurMaxExtraction(vue.Affichage.EchelleT.load(Relache)));
}

double PixelsParPoint(const VueScope& vue) {
    return static_cast<double>(std::max(vue.LargeurClient, 1)) / PointsTrace(vue);
}

void Calibrer(VueScope& vue) {
    engine::EtatScope& e = vue.Etat;
    const double fe = vue.Entree.FeCourante.load(Relache);
    const double w = std::max(vue.LargeurClient, 1);
    const double pleine = vue.Affichage.PleineEchelle.load(Relache);
    if (Spectre(vue)) {
        const int32_t n = dsp::TailleTFR();
        e.UniteX = n > 0 ? fe / n : 0;
        e.EtendueX = w * e.UniteX / FacteurF(vue);
        e.EtendueY = pleine * PourcentParUnite;
    } else {
        e.UniteX = fe > 0 ? 1 / fe : 0;
        // The span of the trace, which covers the whole width.
        e.EtendueX = PointsTrace(vue) * e.UniteX * FacteurT(vue);
        e.EtendueY = 2 * pleine * PourcentParUnite;
    }
    e.PasX = Pas125(e.EtendueX);
    e.PasY = Pas125(e.EtendueY);
}

void DessinerGrille(const VueScope& vue, Canevas& canevas) {
    const engine::EtatScope& e = vue.Etat;
    const int32_t W = vue.LargeurClient, H = vue.HauteurClient;
    canevas.CouleurBrosse(Noir);
    canevas.StyleDeBrosse(StyleBrosse::Plein);
    canevas.Remplir({0, 0, W, H});
    if (!(e.PasX > 0) || !(e.PasY > 0)) return; // not calibrated
    Stylo(canevas, CouleurGrille, 1, StyleStylo::Plein);
    const double nX = e.EtendueX / e.PasX, nY = e.EtendueY / e.PasY;
    const double dX = W / nX, dY = H / nY;
    // The calibration gives at most 7.5 divisions; the bound only guards odd inputs.
    const int32_t bX = std::min(Entier(nX), 16), bY = std::min(Entier(nY), 16);
    if (Spectre(vue)) {
        for (int32_t i = 0; i <= bX; ++i)
            Ligne(canevas, Arrondi(i * dX), 0, Arrondi(i * dX), H);
        for (int32_t j = 0; j <= bY; ++j)
            Ligne(canevas, 0, Arrondi(H - j * dY - 1), W, Arrondi(H - j * dY - 1));
        return;
    }
    const int32_t kX = bX / 2, kY = bY / 2;
    for (int32_t i = -kX; i <= kX; ++i)
        Ligne(canevas, Arrondi(W / 2.0 + i * dX), 0, Arrondi(W / 2.0 + i * dX), H);
    for (int32_t j = -kY; j <= kY; ++j)
        Ligne(canevas, 0, Arrondi(H / 2.0 + j * dY) - 1, W, Arrondi(H / 2.0 + j * dY) - 1);
}

void DessinerImage(VueScope& vue) {
    if (!vue.Image) return;
    Canevas& canevas = vue.Image->Toile();
    DessinerGrille(vue, canevas);
    if (!vue.Etat.TraceValide.load(Relache)) return;
    const int32_t hauteur = vue.Image->Hauteur();
    Stylo(canevas, CouleurDroite, 1, StyleStylo::Plein);
    // Right first, so that the left trace stays visible where they overlap.
    if (vue.Etat.MasqueCanaux & 2) DessinerTrace(vue, canevas, 1, hauteur);
    canevas.CouleurStylo(CouleurGauche);
    if (vue.Etat.MasqueCanaux & 1) DessinerTrace(vue, canevas, 0, hauteur);
}

void DessinerCurseurs(const VueScope& vue, Canevas& canevas) {
    const engine::EtatScope& e = vue.Etat;
    const int32_t W = vue.LargeurClient, H = vue.HauteurClient;
    const bool signal = !Spectre(vue);
    if (vue.CurseursVerticaux1) {
        Stylo(canevas, CouleurCurseursVerticaux, 1, StyleStylo::Tirets);
        Ligne(canevas, e.Xcurs1, 0, e.Xcurs1, H);
        if (signal) {
            canevas.StyleDuStylo(StyleStylo::Points);
            Ligne(canevas, e.Xcurs2, 0, e.Xcurs2, H);
        }
    }
    if (vue.CurseursHorizontaux1) {
        Stylo(canevas, CouleurCurseursHorizontaux, 1, StyleStylo::Tirets);
        Ligne(canevas, 0, e.Ycurs1, W, e.Ycurs1);
        if (signal) {
            canevas.StyleDuStylo(StyleStylo::Points);
            Ligne(canevas, 0, e.Ycurs2, W, e.Ycurs2);
        }
    }
    canevas.StyleDuStylo(StyleStylo::Plein);
    canevas.ModeDuStylo(ModeStylo::Copie);
}

void DessinerMarqueur(const VueScope& vue, Canevas& canevas, int32_t hauteurImage) {
    const engine::EtatScope& e = vue.Etat;
    if (vue.Affichage.TypeSynchro.load(Relache) < engine::Declenchement || Spectre(vue)) return;
    if (!(e.MasqueCanaux & (1 << e.CanalSyncActif))) return;
    const int32_t y = Arrondi((0.5 - 0.005 * e.NiveauDeclPos.load(Relache)) * hauteurImage) - 1;
    const int32_t x = Arrondi(e.PosDecl.load(Relache) * PixelsParPoint(vue));
    Stylo(canevas, CouleurMarqueur, 1, StyleStylo::Plein);
    // Lines end before their end point: 11 pixels each way, centred on (x, y).
    Ligne(canevas, x, y - 5, x, y + 6);
    Ligne(canevas, x - 5, y, x + 6, y);
}

void Dessiner(VueScope& vue) {
    if (!vue.Image) return;
    DessinerImage(vue);
    DessinerCurseurs(vue, vue.Image->Toile());
    DessinerMarqueur(vue, vue.Image->Toile(), vue.Image->Hauteur());
}

void Presenter(const VueScope& vue, Canevas& fenetre) {
    if (!vue.Image) return;
    const Rect rect{0, 0, vue.Image->Largeur(), vue.Image->Hauteur()};
    fenetre.CopierRectangle(rect, *vue.Image, rect);
}

void DessinerExport(const VueScope& vue, Canevas& canevas, int32_t w, int32_t h,
                    const OptionsExport& options) {
    PlanExport x = Prepare(vue, w, h);
    canevas.Decouper({x.L, x.T, x.L + x.PW, x.T + x.PH});
    Stylo(canevas, Noir, 2 * x.u, StyleStylo::Plein);
    canevas.StyleDeBrosse(StyleBrosse::Creux);
    canevas.Rectangle({x.L, x.T, x.L + x.PW - 1, x.T + x.PH - 1});
    TracesExport(vue, canevas, x);
    canevas.EpaisseurStylo(2 * x.u);
    GraduationsX(canevas, x);
    GraduationsY(canevas, x);
    canevas.EpaisseurStylo(x.u);
    if (options.Grille) GrilleExport(canevas, x);
    if (options.Curseurs) DessinerCurseursExport(vue, canevas, x.L, x.p, x.PH, x.PW, x.T);
    canevas.SansDecoupe();
    Etiquettes(canevas, x);
    Titres(vue, canevas, x, options);
}

void DessinerCurseursExport(const VueScope& vue, Canevas& canevas, int32_t L, double p, int32_t PH,
                            int32_t PW, int32_t T) {
    const engine::EtatScope& e = vue.Etat;
    const bool signal = !Spectre(vue);
    canevas.CouleurStylo(Noir);
    canevas.ModeDuStylo(ModeStylo::Copie);
    if (vue.CurseursVerticaux1) {
        // Cursors sit on window columns; p is per trace point.
        const double q = p / PixelsParPoint(vue);
        canevas.StyleDuStylo(StyleStylo::Tirets);
        Ligne(canevas, L + Arrondi(e.Xcurs1 * q), T, L + Arrondi(e.Xcurs1 * q), T + PH);
        if (signal) {
            canevas.StyleDuStylo(StyleStylo::Points);
            Ligne(canevas, L + Arrondi(e.Xcurs2 * q), T, L + Arrondi(e.Xcurs2 * q), T + PH);
        }
    }
    if (vue.CurseursHorizontaux1) {
        const double H = std::max(vue.HauteurClient, 1);
        const int32_t y1 = T + Arrondi((e.Ycurs1 + 0.5) / H * PH);
        canevas.StyleDuStylo(StyleStylo::TiretPoint);
        Ligne(canevas, L, y1, L + PW, y1);
        if (signal) {
            const int32_t y2 = T + Arrondi((e.Ycurs2 + 0.5) / H * PH);
            canevas.StyleDuStylo(StyleStylo::TiretPointPoint);
            Ligne(canevas, L, y2, L + PW, y2);
        }
    }
    canevas.StyleDuStylo(StyleStylo::Plein);
}

} // namespace display
