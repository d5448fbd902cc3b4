// The command line: "/GENE" as the first argument starts the generator alone; "--help" and
// "--version" print and end the program. Anything else starts the normal mode.
#pragma once

#include <string>

namespace shell {

enum class ModeDemarrage { Normal, Generateur, Aide, Version };

// argv as main receives it (argv[0] the program). "/GENE" is recognised in the first
// argument only, upper-cased in ASCII and compared whole; "--help" and "--version" in any
// position, the first of them winning.
ModeDemarrage LitLigneCommande(int argc, const char* const* argv);

// What "--help" and "--version" print.
std::string TexteAide(const std::string& programme);
std::string TexteVersion();

// The application title: "Oscilloscope", or "Générateur" when the generator runs alone.
inline constexpr const char* TitreOscilloscope = "Oscilloscope";
inline constexpr const char* TitreGenerateurSeul = "Générateur";

} // namespace shell
