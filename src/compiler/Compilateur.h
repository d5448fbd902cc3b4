// The expression compiler: a formula in one variable, such as "sin(5*x+2*sin(x))", is
// turned into x87 machine code held in a `fonction` record, then run by the interpreter.
//
// Grammar, over the text in capitals without blanks:
//   formula    = expression end
//   expression = ["+" | "-"] term {("+" | "-") term}      (the sign applies to the first term)
//   term       = power {("*" | "/") power}
//   power      = factor {"^" factor}                      (left-associative: a^b^c = (a^b)^c)
//   factor     = number | name | name "(" expression ")" | "(" expression ")"
// Names: the named constants, the called functions, the inline functions (Routines.h),
// then the variable. Numbers use the decimal separator passed in, or the C locale's.
//
// Thread contract: compiling and running are reentrant; a record is used by one thread at
// a time. ErreurFormule (Routines.h) is process-wide.
#pragma once

#include "compiler/Interprete.h"
#include "compiler/Routines.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace compiler {

// A string of at most 255 characters behind its length byte.
struct ChaineCourte {
    uint8_t Longueur = 0;
    std::array<char, 255> Caracteres{};

    // Keeps the first 255 characters of texte.
    void Affecte(std::string_view texte);
    std::string_view Vue() const { return {Caracteres.data(), Longueur}; }
};

inline constexpr int TailleCode = 1023;

// One compiled formula. Its code names Reels and Entiers by their virtual addresses
// (BaseFonction plus their offsets here), so the record can be moved or copied.
struct fonction {
    std::array<uint8_t, TailleCode> Code{};
    ChaineCourte Source;
    std::array<double, CapaciteLitteraux> Reels{};
    std::array<int32_t, CapaciteLitteraux> Entiers{};
    std::string Texte; // owned by the caller, never touched here

    // Code decoded for the interpreter; valid only after a successful compilation or
    // PrepareFonction.
    Programme CodeDecode;
};

// Why a formula did not compile: the offset in the caller's text of the character where
// the fault was found (its length when the text ended too early) and a message in French.
struct ErreurCompilation {
    int Position = -1;
    const char* Message = nullptr;
};

// The C locale's decimal separator ("." when it is not a single byte).
char SeparateurDecimal();

// Compiles f.Source for the variable `variable` (in capitals: "X"; empty for constant
// expressions). True when the text compiled: f.Code holds the routine and f can be run.
// f.Source holds the caller's text again on return.
bool CompileFormule(std::string_view variable, fonction& f);
bool CompileFormule(std::string_view variable, fonction& f, char separateur,
                    ErreurCompilation* erreur = nullptr);

// Decodes f.Code again after it was written by other means; false when it is refused.
bool PrepareFonction(fonction& f, RefusDecodage* refus = nullptr);

// Runs f for x (f must stay where it is during the call). NaN when f did not compile.
// Clears the pending floating-point exception flags afterwards.
long double AppelleFonction(double x, const fonction& f);

// f for each of x[0..n-1] into resultats; one generator buffer at a time.
void AppelleFonctionSerie(const fonction& f, const double* x, long double* resultats,
                          std::size_t n);

// Value of a constant expression (at most 255 characters; the variable is not allowed).
// On a compilation error sets ErreurFormule to 1 and returns NaN, else clears it.
double EvalueConstante(std::string_view texte);
double EvalueConstante(std::string_view texte, char separateur,
                       ErreurCompilation* erreur = nullptr);

} // namespace compiler
