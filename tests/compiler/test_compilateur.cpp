// The compiler: its code format, its grammar and its errors, and the values that compiled
// formulas give.

#include "compiler/Compilateur.h"
#include "compiler/LocaleVirgule.h"
#include "compiler/X87.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace compiler;

constexpr long double Inf = std::numeric_limits<long double>::infinity();

struct Compilee {
    bool ok;
    fonction f;
    ErreurCompilation erreur;
};

Compilee Compile(std::string_view texte, char separateur = '.', std::string_view variable = "X") {
    Compilee c{};
    c.f.Source.Affecte(texte);
    c.ok = CompileFormule(variable, c.f, separateur, &c.erreur);
    return c;
}

// An instruction with its 32-bit little-endian address.
std::vector<uint8_t> Imm(uint8_t instruction, uint32_t a) {
    return {instruction, static_cast<uint8_t>(a), static_cast<uint8_t>(a >> 8),
            static_cast<uint8_t>(a >> 16), static_cast<uint8_t>(a >> 24)};
}

TEST(Compilateur, CodeDeLaFormuleParDefaut) {
    Compilee c = Compile("sin(5*x+2*sin(x))");
    ASSERT_TRUE(c.ok);
    const std::vector<uint8_t> parque = {0x83, 0xEC, 0x08, 0xDD, 0x1C, 0x24};
    const std::vector<uint8_t> fmul = {0xDC, 0x0C, 0x24, 0x83, 0xC4, 0x08};
    const std::vector<uint8_t> fadd = {0xDC, 0x04, 0x24, 0x83, 0xC4, 0x08};
    const std::vector<uint8_t> x = {0xDD, 0x45, 0x08};
    const std::vector<uint8_t> fsin = {0xD9, 0xFE};
    const std::vector<uint8_t> fild = {0xDB, 0x02};
    std::vector<uint8_t> attendu = {0x55, 0x89, 0xE5};
    for (const std::vector<uint8_t>& m :
         {Imm(0xBA, AdresseEntier(0)), fild, parque, x, fmul, parque, Imm(0xBA, AdresseEntier(1)),
          fild, parque, x, fsin, fmul, fadd, fsin, std::vector<uint8_t>{0x5D, 0xC2, 0x08, 0x00}})
        attendu.insert(attendu.end(), m.begin(), m.end());
    const std::vector<uint8_t> code(c.f.Code.begin(), c.f.Code.begin() + attendu.size());
    EXPECT_EQ(code, attendu);
    for (std::size_t i = attendu.size(); i < c.f.Code.size(); ++i)
        ASSERT_EQ(c.f.Code[i], 0xC3) << i;
    EXPECT_EQ(c.f.Entiers[0], 5);
    EXPECT_EQ(c.f.Entiers[1], 2);
    EXPECT_EQ(c.f.Source.Vue(), "sin(5*x+2*sin(x))");

    // The left operand 5x of "+" is parked as a 64-bit float; the rest stays extended.
    for (double v : {-3.14159, -1.0, 0.0, 0.5, 2.0, 3.14159, 1e5}) {
        const long double gauche = static_cast<double>(5 * static_cast<long double>(v));
        EXPECT_EQ(AppelleFonction(v, c.f), Fsin(gauche + 2 * Fsin(v))) << v;
    }
}

struct Valeur {
    const char* formule;
    double x;
    long double attendu;
};

TEST(Compilateur, ValeursDesFormules) {
    const double e = 2.718281828;
    const Valeur cas[] = {
        {"2^3^2", 0, 64}, // left-associative
        {"-2^2", 0, -4},  // the sign applies after the power
        {"-x^2", 3, -9},
        {"2*(-3)", 0, -6},
        {"x^(-1)", 2, 0.5},
        {"1-2-3", 0, -4},
        {"8/4/2", 0, 1},
        {"+x", 7, 7},
        {"-(-x)", 7, 7},
        {"2+3*4", 0, 14},
        {"(2+3)*4", 0, 20},
        {"1/0", 0, Inf},
        {"-1/0", 0, -Inf},
        {"s i n(x)", 0.5, Fsin(0.5)},
        {"SIN(X)", 0.5, Fsin(0.5)},
        {"Sin(x) ", 0.5, Fsin(0.5)},
        {"2~3", 0, 8}, // "~" is "^" once every code from "a" up has lost 32
        {"pi", 0, 3.141592653589793},
        {"Pi*2", 0, 2 * 3.141592653589793},
        {"e", 0, e},
        {"exp(1)", 0, Exp(1)},
        {"12", 0, 12},
        {"1E3", 0, 1000},
        {"2.5e-1", 0, 0.25},
        {"1.5E+2", 0, 150},
        {"0.1", 0, 0.1},
        {"7.", 0, 7},
        {"2147483647", 0, 2147483647},
        {"2147483648", 0, 2147483648.0}, // too large for an integer literal: real
        {"16777217*1", 0, 16777217},     // integer literals load exactly
        {"abs(x)", -2.5, 2.5},
        {"racine(x)", 2, Fsqrt(2)},
        {"carre(x)", 3, 9},
        {"arr(x)", 2.5, 2},
        {"arr(x)", -3.5, -4},
        {"cos(x)", 1, Fcos(1)},
        {"tan(x)", 1, Fsin(1) / Fcos(1)},
        {"cotan(x)", 1, Fcos(1) / Fsin(1)},
        {"arctan(x)", -1, Fpatan(-1, 1)},
        {"arccotan(x)", -1, Fpatan(1, -1)}, // the angle of (-1, 1): 3π/4
        {"arccotan(x)", 1, Fpatan(1, 1)},
        {"ent(x)", -1.5, -2},
        {"frac(x)", -1.5, 0.5},
        {"p(x)", 3.5, -0.5},
        {"u(x)+rect(x)+tri(x)", 0.25, 2.5},
        {"arcsin(x)+arccos(x)", 0.3, ArcSin(0.3) + static_cast<long double>(ArcCos(0.3))},
        {"ln(x)", 0, -Inf},
        {"x^0.5", 4, 2},
        {"0^0", 0, 1},
        // The left operand is parked as a 64-bit float, the right one is not rounded.
        {"(x+1)-1", 0x1p-60, 0},
        {"-1+(x+1)", 0x1p-60, 0x1p-60L},
        {"(((((((((((((((((((((x)))))))))))))))))))))", 1.25, 1.25},
    };
    for (const Valeur& v : cas) {
        Compilee c = Compile(v.formule);
        ASSERT_TRUE(c.ok) << v.formule << ": " << c.erreur.Message;
        EXPECT_EQ(AppelleFonction(v.x, c.f), v.attendu) << v.formule << " en x = " << v.x;
    }
    EXPECT_TRUE(std::isnan(AppelleFonction(-1, Compile("racine(x)").f)));
    EXPECT_TRUE(std::isnan(AppelleFonction(0, Compile("0/0").f)));
}

struct Refus {
    const char* formule;
    int position; // in the caller's text
};

TEST(Compilateur, FormulesRefusees) {
    const Refus cas[] = {
        {"", 0},      {"   ", 3},   {"2*-3", 2},   {"x^-1", 2},
        {"--x", 1},   {"2x", 1}, // no implicit product
        {"2 x", 2},   {"(1))", 3},  {"(1", 0},     {"sin x", 0},
        {"sin(x", 3}, {"sin()", 4}, {"foo(x)", 0}, {"y", 0},
        {"pi(2)", 2}, {"x(2)", 1},  {"exp", 0},    {"1E", 0},
        {"1E+", 0},   {"1E400", 0}, {"1,5*x", 1}, // "," is not the separator here
        {".5", 0},    {"2*", 2},    {"1$", 1},    // "$" is not an end of text
        {"x$+1", 1},  {"x\t+1", 1}, {"x+1)", 3},   {"\xE9", 0},
    };
    for (const Refus& r : cas) {
        Compilee c = Compile(r.formule);
        EXPECT_FALSE(c.ok) << r.formule;
        EXPECT_EQ(c.erreur.Position, r.position) << r.formule;
        EXPECT_NE(c.erreur.Message, nullptr) << r.formule;
        EXPECT_EQ(c.f.Source.Vue(), r.formule);
        EXPECT_TRUE(std::isnan(AppelleFonction(1, c.f))) << r.formule;
    }
}

std::string Repete(std::string_view motif, int n, std::string_view fin = "") {
    std::string s;
    for (int i = 0; i < n; ++i)
        s += motif;
    return s += fin;
}

TEST(Compilateur, LimitesDuRecord) {
    // 255 characters leave no room for the end marker; blanks count before removal.
    EXPECT_TRUE(Compile("1" + std::string(253, ' ')).ok);
    EXPECT_FALSE(Compile("1" + std::string(254, ' ')).ok);
    // 32 literals of each kind fit, a 33rd does not.
    EXPECT_TRUE(Compile(Repete("1+", 31, "1")).ok);
    EXPECT_FALSE(Compile(Repete("1+", 32, "1")).ok);
    Compilee reels = Compile(Repete("0.5+", 31, "0.5"));
    ASSERT_TRUE(reels.ok);
    EXPECT_EQ(AppelleFonction(0, reels.f), 16);
    EXPECT_FALSE(Compile(Repete("0.5+", 32, "0.5")).ok);
    // 68 terms "x" take 1015 bytes with the epilogue; a 69th would pass 1023.
    Compilee longue = Compile(Repete("x+", 67, "x"));
    ASSERT_TRUE(longue.ok);
    EXPECT_EQ(AppelleFonction(1, longue.f), 68);
    EXPECT_FALSE(Compile(Repete("x+", 68, "x")).ok);
    EXPECT_FALSE(Compile(Repete("x+", 127, "x")).ok);
    // Deep nesting parks one operand per level.
    Compilee profonde = Compile(Repete("x+(", 60, "x") + std::string(60, ')'));
    ASSERT_TRUE(profonde.ok) << profonde.erreur.Message;
    EXPECT_EQ(AppelleFonction(1, profonde.f), 61);
}

TEST(Compilateur, LeRecordSeCopie) {
    Compilee c = Compile("x*2.5+7");
    ASSERT_TRUE(c.ok);
    const fonction copie = c.f;
    c.f = fonction{};
    EXPECT_EQ(AppelleFonction(2, copie), 12);
}

TEST(Compilateur, Serie) {
    Compilee c = Compile("sin(5*x+2*sin(x))");
    ASSERT_TRUE(c.ok);
    std::vector<double> x(1000);
    std::vector<long double> y(x.size());
    for (std::size_t i = 0; i < x.size(); ++i)
        x[i] = -3.14159 + 0.00628 * i;
    AppelleFonctionSerie(c.f, x.data(), y.data(), x.size());
    for (std::size_t i = 0; i < x.size(); ++i)
        ASSERT_EQ(y[i], AppelleFonction(x[i], c.f)) << i;
}

// A compiled record reads only its argument, its literals and constant tables.
TEST(Compilateur, PlusieursFilsSurLeMemeRecord) {
    Compilee c = Compile("ent(x)+frac(x)*sin(x)^2+exp(x)");
    ASSERT_TRUE(c.ok);
    std::vector<long double> attendu(2000);
    for (std::size_t i = 0; i < attendu.size(); ++i)
        attendu[i] = AppelleFonction(0.01 * i - 10, c.f);
    std::atomic<int> ecarts{0};
    std::vector<std::thread> fils;
    for (int t = 0; t < 2; ++t)
        fils.emplace_back([&] {
            for (int tour = 0; tour < 20; ++tour)
                for (std::size_t i = 0; i < attendu.size(); ++i)
                    if (AppelleFonction(0.01 * i - 10, c.f) != attendu[i]) ++ecarts;
        });
    for (std::thread& f : fils)
        f.join();
    EXPECT_EQ(ecarts.load(), 0);
}

TEST(Compilateur, ConstantesSansVariable) {
    EXPECT_EQ(EvalueConstante("-pi", '.'), -3.141592653589793);
    EXPECT_EQ(ErreurFormule.load(), 0);
    EXPECT_EQ(EvalueConstante("PI", '.'), EvalueConstante("pi", '.'));
    EXPECT_EQ(EvalueConstante("2^10-24", '.'), 1000);
    EvalueConstante("x", '.');
    EXPECT_EQ(ErreurFormule.load(), 1);
    EXPECT_EQ(EvalueConstante("1", '.'), 1);
    EXPECT_EQ(ErreurFormule.load(), 0);
    ErreurCompilation erreur;
    EvalueConstante("2*x", '.', &erreur);
    EXPECT_EQ(ErreurFormule.load(), 1);
    EXPECT_EQ(erreur.Position, 2);
    EXPECT_FALSE(Compile("x", '.', "").ok);
}

TEST(Compilateur, SeparateurDecimalVirgule) {
    EXPECT_EQ(AppelleFonction(2, Compile("1,5*x", ',').f), 3);
    EXPECT_FALSE(Compile("1.5*x", ',').ok);
    EXPECT_EQ(EvalueConstante("2,5E1", ','), 25);
}

// Under a French locale the C library's separator is the comma, and it is the default.
TEST(Compilateur, SeparateurDeLaLocale) {
    LocaleVirgule francaise;
    ASSERT_TRUE(francaise.Active()) << francaise.Erreur();
    EXPECT_EQ(SeparateurDecimal(), ',');
    fonction f;
    f.Source.Affecte("1,5*x");
    ASSERT_TRUE(CompileFormule("X", f));
    EXPECT_EQ(AppelleFonction(2, f), 3);
    f.Source.Affecte("1.5*x");
    EXPECT_FALSE(CompileFormule("X", f));
    EXPECT_EQ(EvalueConstante("-0,25"), -0.25);
    EXPECT_EQ(ErreurFormule.load(), 0);
}

TEST(Compilateur, SeparateurDeLaLocaleC) {
    EXPECT_EQ(SeparateurDecimal(), '.');
    EXPECT_EQ(EvalueConstante("0.5"), 0.5);
}

} // namespace
