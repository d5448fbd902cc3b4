// Entry point of the instrument: process-wide initialisations, then the windows.

#include <QApplication>
#include <QMessageBox>
#include <QScreen>

#include "display/TAffichage.h"
#include "dsp/Fft.h"
#include "dsp/Reechantillonnage.h"
#include "engine/Entrees.h"
#include "engine/Parametres.h"
#include "panel/TForm1.h"
#include "platform/Ini.h"

#include <memory>

namespace {

// The oscilloscope: the input enumeration, the control window "Tamburella", the scope
// window "Scope", then the event loop until the control window closes.
int Oscilloscope(QApplication& application) {
    engine::ReglagesAffichage affichage;
    engine::ReglagesEntree entree;
    engine::TablesEntrees tables;
    engine::EnumereEntrees(tables);
    if (engine::AucuneEntree(tables)) {
        QMessageBox::critical(nullptr, QString::fromUtf8(engine::TitreProbleme),
                              QString::fromUtf8(engine::MessageAucuneEntree)
                                  .replace(QLatin1Char('\r'), QLatin1Char('\n')));
        return 0;
    }
    // The display's frame rate paces the scope (VSync = 2) when the screen tells it.
    const QScreen* ecran = QGuiApplication::primaryScreen();
    entree.VSyncDispo = ecran && ecran->refreshRate() > 0 ? 2 : 0;

    const std::string reglages = platform::CheminFichierReglages(platform::CheminProgramme());
    panel::TForm1 controle(affichage, entree, tables, reglages);
    controle.FormCreate();
    controle.show();
    auto scope = std::make_unique<display::TAffichage>(
        display::TAffichage::Contexte{affichage, entree, tables, controle, reglages});
    controle.ConnecteScope(scope.get());
    int code = 0;
    if (scope->FormCreate()) {
        // The front panel has the keyboard, as the main window.
        controle.raise();
        controle.activateWindow();
        code = application.exec();
    } else
        controle.close(); // the settings are saved on the way out
    // The windows go last-created first.
    scope.reset();
    controle.ConnecteScope(nullptr);
    return code;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("Oscilloscope");

    dsp::InitTFR(0, 11);
    dsp::InitFiltres();

    return Oscilloscope(application);
}
