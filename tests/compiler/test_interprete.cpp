// The interpreter on hand-written code: what it runs, and everything it must refuse
// rather than run.

#include "compiler/Compilateur.h"
#include "compiler/Interprete.h"
#include "compiler/X87.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using namespace compiler;
using Code = std::vector<uint8_t>;

Code Concatene(std::initializer_list<Code> morceaux) {
    Code c;
    for (const Code& m : morceaux)
        c.insert(c.end(), m.begin(), m.end());
    return c;
}
Code Imm(uint8_t instruction, uint32_t a) {
    return {instruction, static_cast<uint8_t>(a), static_cast<uint8_t>(a >> 8),
            static_cast<uint8_t>(a >> 16), static_cast<uint8_t>(a >> 24)};
}
Code Repete(const Code& c, int n) {
    Code r;
    for (int i = 0; i < n; ++i)
        r.insert(r.end(), c.begin(), c.end());
    return r;
}

const Code Prologue = {0x55, 0x89, 0xE5};
const Code Epilogue = {0x5D, 0xC2, 0x08, 0x00};
const Code ChargeX = {0xDD, 0x45, 0x08};
const Code Un = {0xD9, 0xE8};
const Code Reserve = {0x83, 0xEC, 0x08};
const Code Libere = {0x83, 0xC4, 0x08};
const Code Range = {0xDD, 0x1C, 0x24};
const Code Parque = Concatene({Reserve, Range});
const Code AjouteParque = {0xDC, 0x04, 0x24};
const Code Appel = {0xFF, 0xD0};

// A record whose code area holds `code` followed by "ret" bytes.
struct Essai {
    fonction f;
    RefusDecodage refus;
    bool ok;
    explicit Essai(const Code& code) {
        f.Code.fill(0xC3);
        std::copy(code.begin(), code.begin() + std::min<std::size_t>(code.size(), TailleCode),
                  f.Code.begin());
        ok = PrepareFonction(f, &refus);
    }
};

TEST(Interprete, ExecuteCeQueLeCompilateurEmet) {
    struct Cas {
        const char* nom;
        Code code;
        double x;
        long double attendu;
    };
    const Cas cas[] = {
        {"x", Concatene({Prologue, ChargeX, Epilogue}), 2.5, 2.5},
        {"x + 1", Concatene({Prologue, ChargeX, Parque, Un, AjouteParque, Libere, Epilogue}), 2.5,
         3.5},
        {"constante PI",
         Concatene({Prologue, Imm(0xBA, AdresseConstante(1)), {0xDD, 0x02}, Epilogue}), 0,
         3.141592653589793},
        // fld1; fxch; fpatan takes the angle of (x, 1), so x = -1 gives 3π/4.
        {"fxch avant fpatan",
         Concatene({Prologue, ChargeX, Un, {0xD9, 0xC9, 0xD9, 0xF3}, Epilogue}), -1, Fpatan(1, -1)},
        {"fsincos; fdivrp", Concatene({Prologue, ChargeX, {0xD9, 0xFB, 0xDE, 0xF1}, Epilogue}), 1,
         Fcos(1) / Fsin(1)},
    };
    for (const Cas& c : cas) {
        Essai e(c.code);
        ASSERT_TRUE(e.ok) << c.nom << ": " << e.refus.Message;
        EXPECT_EQ(AppelleFonction(c.x, e.f), c.attendu) << c.nom;
    }
    // 2^x through the routine table: base parked first, exponent second.
    Essai deux(Concatene({Prologue,
                          Imm(0xBA, AdresseEntier(0)),
                          {0xDB, 0x02},
                          Parque,
                          ChargeX,
                          Parque,
                          Imm(0xB8, AdresseRoutine(RoutinePuissance)),
                          Appel,
                          Epilogue}));
    deux.f.Entiers[0] = 2;
    ASSERT_TRUE(deux.ok) << deux.refus.Message;
    EXPECT_EQ(AppelleFonction(10, deux.f), 1024);
}

TEST(Interprete, RefuseCeQuIlNeConnaitPas) {
    struct Cas {
        const char* nom;
        Code code;
    };
    const Code x = ChargeX;
    const Cas cas[] = {
        {"sans prologue", Concatene({x, Epilogue})},
        {"tout en ret", {}},
        {"sans épilogue", Concatene({Prologue, x})},
        {"octet inconnu", Concatene({Prologue, x, {0x90}, Epilogue})},
        {"faddp hors du sous-ensemble", Concatene({Prologue, x, Un, {0xDE, 0xC1}, Epilogue})},
        {"push ebp au milieu", Concatene({Prologue, {0x55}, x, Epilogue})},
        {"immédiat tronqué par la fin du code",
         Concatene({Prologue, x, Repete(Imm(0xBA, AdresseConstante(0)), 203), {0xBA, 0x00}})},
        {"fstp sur pile x87 vide", Concatene({Prologue, Parque, x, Libere, Epilogue})},
        {"fchs sur pile x87 vide", Concatene({Prologue, {0xD9, 0xE0}, x, Epilogue})},
        {"fpatan sur un seul registre", Concatene({Prologue, x, {0xD9, 0xF3}, Epilogue})},
        {"neuf registres x87", Concatene({Prologue, Repete(Un, 9), Epilogue})},
        {"fsincos sur pile x87 pleine", Concatene({Prologue, Repete(Un, 8), {0xD9, 0xFB}})},
        {"deux résultats au retour", Concatene({Prologue, x, x, Epilogue})},
        {"aucun résultat au retour", Concatene({Prologue, Epilogue})},
        {"add esp sans sub", Concatene({Prologue, x, Libere, Epilogue})},
        {"pile non rétablie", Concatene({Prologue, x, Parque, x, Epilogue})},
        {"lecture d'un opérande jamais rangé",
         Concatene({Prologue, Reserve, x, AjouteParque, Libere, Epilogue})},
        {"opérande sous le cadre", Concatene({Prologue, x, AjouteParque, Epilogue})},
        {"dépassement de la pile", Concatene({Prologue, Repete(Reserve, CapacitePile + 1)})},
        {"edx indéfini", Concatene({Prologue, {0xDD, 0x02}, Epilogue})},
        {"adresse nulle", Concatene({Prologue, Imm(0xBA, 0), {0xDD, 0x02}, Epilogue})},
        {"après le dernier réel",
         Concatene({Prologue, Imm(0xBA, AdresseReel(CapaciteLitteraux)), {0xDD, 0x02}, Epilogue})},
        {"réel mal aligné",
         Concatene({Prologue, Imm(0xBA, AdresseReel(0) + 4), {0xDD, 0x02}, Epilogue})},
        {"fild sur un réel",
         Concatene({Prologue, Imm(0xBA, AdresseReel(0)), {0xDB, 0x02}, Epilogue})},
        {"fld qword sur un entier",
         Concatene({Prologue, Imm(0xBA, AdresseEntier(0)), {0xDD, 0x02}, Epilogue})},
        {"après la dernière constante",
         Concatene({Prologue, Imm(0xBA, AdresseConstante(NbConstantes)), {0xDD, 0x02}, Epilogue})},
        {"eax indéfini", Concatene({Prologue, x, Parque, Appel, Epilogue})},
        {"appel hors de la table",
         Concatene({Prologue, x, Parque, Imm(0xB8, AdresseRoutine(RoutinePuissance + 1)), Appel,
                    Epilogue})},
        {"appel entre deux entrées",
         Concatene({Prologue, x, Parque, Imm(0xB8, AdresseRoutine(0) + 8), Appel, Epilogue})},
        {"appel sans argument",
         Concatene({Prologue, Imm(0xB8, AdresseRoutine(0)), Appel, Epilogue})},
        {"Puissance avec un seul argument",
         Concatene(
             {Prologue, x, Parque, Imm(0xB8, AdresseRoutine(RoutinePuissance)), Appel, Epilogue})},
        {"appel sur pile x87 chargée",
         Concatene({Prologue, Repete(Un, 4), x, Parque, Imm(0xB8, AdresseRoutine(0)), Appel})},
        // A routine may change edx: a load through it afterwards is refused.
        {"edx après un appel", Concatene({Prologue,
                                          Imm(0xBA, AdresseConstante(0)),
                                          x,
                                          Parque,
                                          Imm(0xB8, AdresseRoutine(7)),
                                          Appel,
                                          {0xDD, 0x02},
                                          Epilogue})},
        {"ret simple", Concatene({Prologue, x, {0x5D, 0xC3}})},
    };
    for (const Cas& c : cas) {
        Essai e(c.code);
        EXPECT_FALSE(e.ok) << c.nom;
        EXPECT_FALSE(e.f.CodeDecode.Valide) << c.nom;
        EXPECT_NE(e.refus.Message, nullptr) << c.nom;
        EXPECT_TRUE(std::isnan(AppelleFonction(1, e.f))) << c.nom;
    }
}

TEST(Interprete, RefusApresCompilationReussie) {
    fonction f;
    f.Source.Affecte("x+1");
    ASSERT_TRUE(CompileFormule("X", f, '.'));
    EXPECT_EQ(AppelleFonction(1, f), 2);
    f.Code[3] = 0x90; // the first byte after the prologue
    RefusDecodage refus;
    EXPECT_FALSE(PrepareFonction(f, &refus));
    EXPECT_EQ(refus.Position, 3);
    EXPECT_TRUE(std::isnan(AppelleFonction(1, f)));
}

} // namespace
