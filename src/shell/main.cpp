// Entry point of the instrument: the command line, the process-wide start-up steps, then
// the windows behind the splash, and the event loop until the main window closes.

#include "engine/Entrees.h"
#include "platform/Ini.h"
#include "shell/Demarrage.h"
#include "shell/LigneCommande.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <optional>

extern "C" {
// Read by LeakSanitizer when the program is built with it: leaks of the font and D-Bus
// libraries that Qt loads are theirs, not ours.
const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\nleak:libdbus\n";
}
}

int main(int argc, char* argv[]) {
    switch (shell::LitLigneCommande(argc, argv)) {
    case shell::ModeDemarrage::Aide:
        std::fputs(shell::TexteAide(argc > 0 ? argv[0] : "tamburella").c_str(), stdout);
        return 0;
    case shell::ModeDemarrage::Version:
        std::fputs(shell::TexteVersion().c_str(), stdout);
        return 0;
    default:
        break;
    }
    const shell::ModeDemarrage mode = shell::LitLigneCommande(argc, argv);

    // The inputs are listed while the process-wide steps list the outputs: a frozen sound
    // server holds the start-up once, not once for each list.
    std::optional<engine::EnumerationEntrees> entrees;
    if (mode == shell::ModeDemarrage::Normal) entrees.emplace();

    generator::ContexteGene gene;
    shell::InitialisationsProcessus(gene);

    QApplication application(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/tamburella.svg")));
    QApplication::setDesktopFileName(QStringLiteral("tamburella"));
    const std::string chemin = platform::CheminFichierReglages(platform::CheminProgramme());
    shell::Application fenetres(mode, chemin, gene, entrees ? &*entrees : nullptr);
    if (!fenetres.FenetrePrincipale()) return 0; // the start-up said why
    return application.exec();
}
