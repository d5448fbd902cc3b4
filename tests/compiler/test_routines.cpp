// The math run-time against long double references from the C library, over each
// routine's domain and at its edge points.

#include "compiler/Routines.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

using namespace compiler;

constexpr double Inf = std::numeric_limits<double>::infinity();
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr long double Eps = 0x1p-53L; // half an ulp of 1 in a 64-bit float

long double Ulp(long double reference) {
    const double r = std::fabs(static_cast<double>(reference));
    if (r == 0) return std::numeric_limits<double>::denorm_min();
    return std::nextafter(r, Inf) - r;
}

// The C library references that lack a name of their own.
long double ReferenceArcCoth(long double x) {
    // log1p keeps the precision that atanh(1/x) loses near 1.
    const long double a = std::log1p(2 / (std::fabs(x) - 1)) / 2;
    return x < 0 ? -a : a;
}
long double ReferenceCoth(long double x) {
    return 1 / std::tanh(x);
}

// One routine over an interval: the allowed error at x is `ulps` ulps of the reference
// (a 64-bit float) plus what the routine's formula loses by its own conditioning there.
struct Domaine {
    std::string nom;
    double (*routine)(double);
    long double (*reference)(long double);
    double debut, fin;
    bool logarithmique;
    double ulps;
    long double (*conditionnement)(long double x);
};

long double Aucun(long double) {
    return 0;
}

std::vector<Domaine> Domaines() {
    return {
        // 1/x^2 - 1 and 1 - x^2 near |x| = 1 hold about 2^-64 absolute.
        {"ArcSin", ArcSin, asinl, -1, 1, false, 3,
         [](long double x) { return 0x1p-63L / std::sqrt(1 - std::fabs(x)); }},
        {"ArcCos", ArcCos, acosl, -1, 1, false, 3,
         [](long double x) { return 0x1p-63L / std::sqrt(1 - std::fabs(x)); }},
        {"ArcCh", ArcCh, acoshl, 1, 1e300, true, 2,
         [](long double x) { return 0x1p-63L / std::sqrt(x - 1); }},
        {"ArcSh (grands)", ArcSh, asinhl, 1, 1e300, true, 1, Aucun},
        {"ArcSh (grands négatifs)", ArcSh, asinhl, -1e300, -1, false, 1, Aucun},
        // x + sqrt(x^2 + 1) holds the rounding of x^2 + 1 to a 64-bit float.
        {"ArcSh (petits)", ArcSh, asinhl, -1, 1, false, 2, [](long double) { return 2 * Eps; }},
        {"ArcTh", ArcTh, atanhl, -0.999999, 0.999999, false, 2,
         [](long double) { return 0x1p-63L; }},
        {"ArcCoth", ArcCoth, ReferenceArcCoth, 1.000001, 1e300, true, 2,
         [](long double) { return 0x1p-63L; }},
        {"ArcCoth (négatifs)", ArcCoth, ReferenceArcCoth, -1e6, -1.000001, false, 2,
         [](long double) { return 0x1p-63L; }},
        // While e^x and e^-x both stay normal 64-bit floats.
        {"Ch", Ch, coshl, -708, 709, false, 2, Aucun},
        // e^x is a 64-bit float: (y - 1/y)/2 inherits its rounding, about cosh(x)·2^-53.
        {"Sh", Sh, sinhl, -708, 709, false, 2,
         [](long double x) { return 2 * Eps * std::cosh(x); }},
        {"Th", Th, tanhl, -30, 30, false, 2, [](long double) { return 2 * Eps; }},
        {"Coth", Coth, ReferenceCoth, 1e-3, 30, false, 2,
         [](long double x) {
             const long double a = std::exp(2 * x);
             return 8 * Eps * a / ((a - 1) * (a - 1));
         }},
        {"Exp", Exp, expl, -745, 709.78, false, 1, Aucun},
        {"Ln", Ln, logl, 1e-308, 1e308, true, 1, Aucun},
        {"TanB", TanB, tanl, -1.57, 1.57, false, 1, Aucun},
        {"Ent", Ent, floorl, -1e6, 1e6, false, 0, Aucun},
        {"Frac", Frac, [](long double x) { return x - std::floor(x); }, -1e3, 1e3, false, 0.5,
         Aucun},
        {"P", P, [](long double x) { return x - std::nearbyint(x); }, -1e3, 1e3, false, 0, Aucun},
    };
}

TEST(Routines, SuiventLaReferenceSurLeurDomaine) {
    constexpr int Points = 20001;
    for (const Domaine& d : Domaines()) {
        SCOPED_TRACE(d.nom);
        int fautes = 0;
        for (int i = 0; i < Points && fautes < 3; ++i) {
            const double t = static_cast<double>(i) / (Points - 1);
            const double x = d.logarithmique ? d.debut * std::pow(d.fin / d.debut, t)
                                             : d.debut + (d.fin - d.debut) * t;
            const long double reference = d.reference(x);
            const double resultat = d.routine(x);
            if (std::isinf(static_cast<double>(reference)) &&
                resultat == static_cast<double>(reference))
                continue;
            const long double tolerance = d.ulps * Ulp(reference) + d.conditionnement(x);
            if (std::fabs(resultat - reference) > tolerance) {
                ++fautes;
                ADD_FAILURE() << "x = " << x << ": " << resultat << " au lieu de "
                              << static_cast<double>(reference);
            }
        }
    }
}

struct PointLimite {
    const char* nom;
    double (*routine)(double);
    double x;
    double attendu; // NaN: NaN expected
};

TEST(Routines, PointsLimites) {
    const PointLimite points[] = {
        {"ArcCos(-1)", ArcCos, -1, 3.141592653589793},
        {"ArcCos(1)", ArcCos, 1, 0},
        {"ArcCos(0)", ArcCos, 0, 1.5707963267948966},
        {"ArcCos(1.5)", ArcCos, 1.5, NaN},
        {"ArcCos(NaN)", ArcCos, NaN, NaN},
        {"ArcSin(1)", ArcSin, 1, 1.5707963267948966},
        {"ArcSin(-1)", ArcSin, -1, -1.5707963267948966},
        {"ArcSin(1.5)", ArcSin, 1.5, NaN},
        {"ArcSin(NaN)", ArcSin, NaN, NaN},
        {"ArcCh(0.5)", ArcCh, 0.5, NaN},
        {"ArcCh(1)", ArcCh, 1, 0},
        {"ArcCh(inf)", ArcCh, Inf, Inf},
        {"ArcCh(NaN)", ArcCh, NaN, NaN},
        {"ArcSh(0)", ArcSh, 0, 0},
        {"ArcSh(inf)", ArcSh, Inf, Inf},
        {"ArcSh(-inf)", ArcSh, -Inf, -Inf},
        {"ArcSh(NaN)", ArcSh, NaN, NaN},
        {"ArcTh(1)", ArcTh, 1, Inf},
        {"ArcTh(-1)", ArcTh, -1, -Inf},
        {"ArcTh(1.5)", ArcTh, 1.5, NaN},
        {"ArcCoth(1)", ArcCoth, 1, Inf},
        {"ArcCoth(-1)", ArcCoth, -1, -Inf},
        {"ArcCoth(0.5)", ArcCoth, 0.5, NaN},
        {"ArcCoth(inf)", ArcCoth, Inf, 0},
        {"Ch(inf)", Ch, Inf, Inf},
        {"Ch(-inf)", Ch, -Inf, Inf},
        {"Sh(-inf)", Sh, -Inf, -Inf},
        {"Th(710)", Th, 710, 1},
        {"Th(inf)", Th, Inf, 1},
        {"Th(-inf)", Th, -Inf, -1},
        {"Th(NaN)", Th, NaN, NaN},
        {"Coth(710)", Coth, 710, 1},
        {"Coth(0)", Coth, 0, Inf},
        {"Exp(0)", Exp, 0, 1},
        {"Exp(710)", Exp, 710, Inf},
        {"Exp(1e10)", Exp, 1e10, Inf},
        {"Exp(inf)", Exp, Inf, Inf},
        {"Exp(-800)", Exp, -800, 0},
        {"Exp(-inf)", Exp, -Inf, 0},
        {"Exp(NaN)", Exp, NaN, NaN},
        {"Ln(0)", Ln, 0, -Inf},
        {"Ln(-1)", Ln, -1, NaN},
        {"Ln(inf)", Ln, Inf, Inf},
        {"Ln(1)", Ln, 1, 0},
        {"TanB(0)", TanB, 0, 0},
        {"TanB(inf)", TanB, Inf, NaN},
        {"Ent(-1.5)", Ent, -1.5, -2},
        {"Ent(2)", Ent, 2, 2},
        {"Ent(-0.5)", Ent, -0.5, -1},
        {"Frac(-1.5)", Frac, -1.5, 0.5},
        {"Frac(2.25)", Frac, 2.25, 0.25},
        {"P(2.5)", P, 2.5, 0.5},
        {"P(3.5)", P, 3.5, -0.5},
        {"P(-2.5)", P, -2.5, -0.5},
        {"P(1.25)", P, 1.25, 0.25},
        {"U(0)", U, 0, 1},
        {"U(-1e-300)", U, -1e-300, 0},
        {"U(NaN)", U, NaN, 0},
        {"Rect(0.5)", Rect, 0.5, 1},
        {"Rect(-0.5)", Rect, -0.5, 1},
        {"Rect(0.51)", Rect, 0.51, 0},
        {"Rect(NaN)", Rect, NaN, 1},
        {"Tri(0.25)", Tri, 0.25, 0.5},
        {"Tri(-0.25)", Tri, -0.25, 0.5},
        {"Tri(0)", Tri, 0, 1},
        {"Tri(0.5)", Tri, 0.5, 0},
        {"Tri(0.75)", Tri, 0.75, 0},
        {"Tri(NaN)", Tri, NaN, 0},
    };
    for (const PointLimite& p : points) {
        const double r = p.routine(p.x);
        if (std::isnan(p.attendu))
            EXPECT_TRUE(std::isnan(r)) << p.nom << " = " << r;
        else
            EXPECT_EQ(r, p.attendu) << p.nom;
    }
}

TEST(Routines, SeuilsDeArcSinEtArcCos) {
    // Both sides of the 0.7 switch agree with the arcsine to the last bit.
    for (double x : {0.7, 0.71, -0.7, -0.71, 0.69999999999999996, 0.70000000000000007}) {
        EXPECT_LE(std::fabs(ArcSin(x) - asinl(x)), Ulp(asinl(x))) << x;
        EXPECT_LE(std::fabs(ArcCos(x) - acosl(x)), Ulp(acosl(x))) << x;
    }
}

TEST(Routines, ExpEtLaConstanteE) {
    EXPECT_LE(std::fabs(Exp(1) - std::exp(1.0L)), Ulp(std::exp(1.0L)));
    EXPECT_EQ(Constantes[0].Nom, "E");
    EXPECT_EQ(Constantes[0].Valeur, 2.718281828);
    EXPECT_EQ(Constantes[1].Nom, "PI");
    EXPECT_EQ(Constantes[1].Valeur, M_PI);
    // Below the normal range the result falls gradually to 0 instead of a garbled value.
    for (double x : {-708.0, -708.4, -708.5, -720.0, -744.0})
        EXPECT_NEAR(Exp(x) / std::exp(x), 1, 1e-3) << x;
}

TEST(Routines, Puissance) {
    struct Cas {
        double x, y, attendu;
    };
    const Cas cas[] = {
        {2, 10, 1024},
        {-2, 3, -8},
        {2, -2, 0.25},
        {4, 0.5, 2},
        {-8, 1.0 / 3, NaN},
        {0, 0, 1},
        {0, -1, Inf},
        {0, 2.5, 0},
        {0, NaN, NaN},
        {NaN, 0, 1},
        {NaN, 2, NaN},
        {-2, 0.5, NaN},
        {10, -1, 0.1},
        {3, 40, 12157665459056928801.0},
        {-1, 1e300, 1},
        {-1, 2147483649.0, -1},
        {2, 1e10, Inf},
        {0.5, 1e10, 0},
        {-2, 4294967296.0, Inf},
        {2, -1e10, 0},
        {1.5, Inf, Inf},
        {0.5, Inf, 0},
        {2, -Inf, 0},
        {Inf, 0.5, Inf},
        {Inf, -1, 0},
        {-Inf, 3, -Inf},
    };
    for (const Cas& c : cas) {
        const double r = Puissance(c.x, c.y);
        if (std::isnan(c.attendu))
            EXPECT_TRUE(std::isnan(r)) << c.x << "^" << c.y << " = " << r;
        else
            EXPECT_EQ(r, c.attendu) << c.x << "^" << c.y;
    }
    EXPECT_LE(std::fabs(Puissance(2, 0.5) - std::sqrt(2.0L)), Ulp(std::sqrt(2.0L)));
    // Exponents with a fractional part go through 2^(y·log2 x).
    for (double y = -29.95; y <= 30; y += 0.37) {
        const long double reference =
            std::pow(static_cast<long double>(1.7), static_cast<long double>(y));
        EXPECT_LE(std::fabs(Puissance(1.7, y) - reference), 1.5 * Ulp(reference)) << y;
    }
}

TEST(Routines, Tables) {
    const char* appelees[] = {"ARCCH", "ARCCOS", "ARCSH", "ARCSIN", "ARCTH",  "CH", "ENT",
                              "EXP",   "FRAC",   "LN",    "SH",     "TANB",   "TH", "COTH",
                              "U",     "RECT",   "TRI",   "P",      "ARCCOTH"};
    for (int k = 0; k < NbFonctionsAppelees; ++k)
        EXPECT_EQ(FonctionsAppelees[k].Nom, appelees[k]);
    EXPECT_EQ(FonctionsAppelees[7].Routine(1), Exp(1));
    EXPECT_EQ(std::bit_cast<uint64_t>(PlusInfini), 0x7FF0000000000000u);
    EXPECT_EQ(std::bit_cast<uint64_t>(NonNombre), 0xFFF8000000000000u);
}

TEST(Routines, InitCompilateur) {
    ErreurFormule = 1;
    InitCompilateur();
    EXPECT_EQ(ErreurFormule.load(), 0);
#if defined(__x86_64__) || defined(__i386__)
    // Every exception masked, 64-bit mantissa, rounding to nearest.
    uint16_t controle = 0;
    asm volatile("fnstcw %0" : "=m"(controle));
    EXPECT_EQ(controle, 0x037F);
#endif
}

} // namespace
