// Entry point of the instrument: process-wide initialisations, then the windows.

#include <QApplication>
#include <QWidget>

#include "dsp/Fft.h"
#include "dsp/Reechantillonnage.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("Oscilloscope");

    dsp::InitTFR(0, 11);
    dsp::InitFiltres();

    QWidget fenetre;
    fenetre.setWindowTitle("Oscilloscope");
    fenetre.resize(640, 400);
    fenetre.show();
    return application.exec();
}
