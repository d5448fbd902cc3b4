// Arbitrary text through the compiler; whatever compiles is run at a few x values.
// The first byte picks the decimal separator and whether the variable is allowed.

#include "compiler/Compilateur.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* donnees, size_t taille) {
    if (taille == 0) return 0;
    const char separateur = donnees[0] & 1 ? ',' : '.';
    const std::string_view variable = donnees[0] & 2 ? "" : "X";
    const std::string_view texte(reinterpret_cast<const char*>(donnees + 1), taille - 1);

    compiler::fonction f;
    f.Source.Affecte(texte);
    compiler::ErreurCompilation erreur;
    const bool ok = compiler::CompileFormule(variable, f, separateur, &erreur);
    if (f.Source.Vue() != texte.substr(0, 255)) std::abort(); // the caller's text must come back
    if (!ok) {
        // The compiler's own code must always be accepted by the interpreter.
        if (erreur.Message == std::string_view("Erreur interne du compilateur")) std::abort();
        if (erreur.Position < 0 || erreur.Position > static_cast<int>(f.Source.Longueur))
            std::abort();
        return 0;
    }
    if (!f.CodeDecode.Valide) std::abort();
    constexpr double Inf = std::numeric_limits<double>::infinity();
    for (double x : {0.0, 1.0, -1.5, 3.0e300, -Inf, std::nan("")})
        (void)compiler::AppelleFonction(x, f);
    (void)compiler::EvalueConstante(texte, separateur);
    return 0;
}
