#include "shell/LigneCommande.h"

#include <string_view>

namespace shell {

namespace {

// Upper case of the ASCII letters only, as the switch has always been compared.
std::string MajusculesAscii(std::string_view texte) {
    std::string r(texte);
    for (char& c : r)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return r;
}

} // namespace

ModeDemarrage LitLigneCommande(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--help") return ModeDemarrage::Aide;
        if (a == "--version") return ModeDemarrage::Version;
    }
    if (argc >= 2 && MajusculesAscii(argv[1]) == "/GENE") return ModeDemarrage::Generateur;
    return ModeDemarrage::Normal;
}

std::string TexteAide(const std::string& programme) {
    return "Usage : " + programme +
           " [/GENE]\n"
           "Oscilloscope, analyseur de spectre et générateur de signaux sur la carte son.\n"
           "\n"
           "  /GENE        démarre le générateur seul (premier argument uniquement)\n"
           "  --help       affiche cette aide et quitte\n"
           "  --version    affiche la version et quitte\n"
           "\n"
           "Les réglages sont gardés dans le fichier .ini du programme, ou dans\n"
           "$XDG_CONFIG_HOME/tamburella/tamburella.ini quand son dossier n'est pas inscriptible.\n";
}

std::string TexteVersion() {
    return std::string("Tamburella ") + TAMBURELLA_VERSION + "\n";
}

} // namespace shell
