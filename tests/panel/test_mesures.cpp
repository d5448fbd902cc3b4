#include "panel/Mesures.h"
#include "platform/Locale.h"

#include "SeparateurImpose.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using panel::EntreesMesures;
using panel::LegendesMesures;

using Mesures = SeparateurImpose;

// 44100 Hz, EchelleT = 0, a 300-pixel-high window at full scale 32768.
EntreesMesures Signal() {
    EntreesMesures e;
    e.HauteurClient = 300;
    e.PasX = 0.002;
    e.PasY = 50;
    return e;
}

TEST_P(Mesures, CurseursVerticauxEnSignal) {
    struct Cas {
        int32_t x1, x2;
        double facteurT;
        const char* texte;
    };
    for (const Cas& c :
         {Cas{0, 100, 1, "Dt=2,27 ms"}, Cas{0, 1000, 1, "Dt=22,68 ms"}, Cas{250, 250, 1, "Dt=0s"},
          Cas{300, 200, 1, "Dt=-2,27 ms"}, Cas{0, 441, 8, "Dt=80,0 ms"},
          Cas{0, 1000, 0.125, "Dt=2,834 ms"}, Cas{0, 2000, 8, "Dt=0,3628 s"}}) {
        EntreesMesures e = Signal();
        e.CurseursVerticaux = true;
        e.Xcurs1 = c.x1;
        e.Xcurs2 = c.x2;
        e.FacteurT = c.facteurT;
        EXPECT_EQ(LegendesMesures(e).LabelH, Attendu(c.texte)) << c.x1 << " " << c.x2;
    }
}

TEST_P(Mesures, CurseurFrequenceEnSpectre) {
    struct Cas {
        int32_t x1, debut;
        const char* texte;
    };
    for (const Cas& c : {Cas{10, 0, "f=215 Hz"}, Cas{100, 0, "f=2,15 kHz"}, Cas{0, 0, "f=0Hz"},
                         Cas{90, 10, "f=2,15 kHz"}}) {
        EntreesMesures e;
        e.Spectre = true;
        e.CurseursVerticaux = true;
        e.Xcurs1 = c.x1;
        e.Xcurs2 = 500; // not measured in spectrum mode
        e.DebutSpectre = c.debut;
        EXPECT_EQ(LegendesMesures(e).LabelH, Attendu(c.texte)) << c.x1;
    }
}

TEST_P(Mesures, CurseursHorizontaux) {
    struct Cas {
        bool spectre, decibels;
        int32_t y1, y2;
        const char* texte;
    };
    const Cas cas[] = {
        {false, false, 100, 130, "Dx=20,0 %"},
        {false, false, 130, 100, "Dx=-20,0 %"},
        {false, false, 120, 120, "Dx=0%"},
        {false, true, 100, 130, "Dx=-14,0 dB"},
        {false, true, 130, 100, "Dx=-14,0 dB"}, // the magnitude of the interval
        {false, true, 120, 120, "Dx=-inf dB"},
        {false, true, 0, 1, "Dx=-44 dB"}, // one pixel is 6 dB: no decimal
        // Spectrum: cursor 1's height above the bottom row, at half the span per pixel.
        {true, false, 269, 0, "x=20,0 %"},
        {true, true, 269, 0, "x=-14,0 dB"},
        {true, true, 299, 0, "x=-inf dB"},
    };
    for (const Cas& c : cas) {
        EntreesMesures e = Signal();
        e.Spectre = c.spectre;
        e.CurseursHorizontaux = true;
        e.Decibels = c.decibels;
        e.Ycurs1 = c.y1;
        e.Ycurs2 = c.y2;
        if (c.spectre) e.PleineEchelle = 65536.0f; // same percent per pixel as in signal
        EXPECT_EQ(LegendesMesures(e).LabelV, Attendu(c.texte)) << c.y1 << " " << c.y2;
    }
}

TEST_P(Mesures, EchellesParDivision) {
    struct Cas {
        bool spectre;
        double pasX, pasY;
        const char* h;
        const char* v;
    };
    const Cas cas[] = {
        {false, 0.005, 20, "5 ms/c", "20 %/c"},
        {false, 0.5, 50, "0,5 s/c", "50 %/c"},
        {true, 2000, 10, "2 kHz/c", "10 %/c"},
        {true, 50, 0.2, "50 Hz/c", "0,2 %/c"},
        {false, 0.0001, 0.005, "0,1 ms/c", "5 m%/c"},
        {false, 0.001, 1, "1 ms/c", "1 %/c"},
        {true, 1000, 100, "1 kHz/c", "100 %/c"},
        {false, 0, 0, "0s/c", "0%/c"}, // before any calibration
    };
    for (const Cas& c : cas) {
        EntreesMesures e = Signal();
        e.Spectre = c.spectre;
        e.PasX = c.pasX;
        e.PasY = c.pasY;
        const panel::Legendes l = LegendesMesures(e);
        EXPECT_EQ(l.LabelH, Attendu(c.h)) << c.pasX;
        EXPECT_EQ(l.LabelV, Attendu(c.v)) << c.pasY;
    }
}

TEST_P(Mesures, ZeroDecibel) {
    // 100 % exactly: 0 dB has no decade; "0" and the decimals of one pixel's change.
    EXPECT_EQ(panel::FormatDecibels("dB", 10, 10.0f), Attendu("0,0 dB"));
    EXPECT_EQ(panel::FormatDecibels("dB", -100, 1.0f), Attendu("0,00 dB"));
}

TEST_P(Mesures, NiveauEtFrequence) {
    struct Cas {
        int32_t niveau;
        const char* texte;
    };
    for (const Cas& c : {Cas{16384, "50,0 %"}, Cas{-3277, "-10,0 %"}, Cas{0, "0,0 %"},
                         Cas{32768, "100,0 %"}, Cas{-98304, "-300,0 %"}, Cas{-1, "0,0 %"}})
        EXPECT_EQ(panel::TexteNiveauDecl(c.niveau), Attendu(c.texte)) << c.niveau;
    EXPECT_EQ(panel::TexteFreqRafraich(59.97f), Attendu("60,0 Hz"));
    EXPECT_EQ(panel::TexteFreqRafraich(1234.56f), Attendu("1234,6 Hz"));
}

// Values whose rounding adds an integer digit, and scales far beyond the usual ranges,
// go to scientific notation: the exponent is signed.
TEST_P(Mesures, NotationScientifique) {
    EntreesMesures spectre;
    spectre.Spectre = true;
    spectre.CurseursVerticaux = true;
    spectre.FeCourante = 8000;
    spectre.TailleTFR = 256;
    spectre.FacteurF = 16; // 1.95 Hz per pixel: 51 pixels are 99.6 Hz, "1E+2" at 2 digits
    spectre.Xcurs1 = 51;
    EXPECT_EQ(LegendesMesures(spectre).LabelH, Attendu("f=1E+2 Hz"));

    EntreesMesures echelles = Signal();
    echelles.Spectre = true;
    echelles.PasX = 1e6;
    EXPECT_EQ(LegendesMesures(echelles).LabelH, Attendu("1E+3 kHz/c"));

    EXPECT_EQ(panel::FormatDecibels("dB", 1, 0.0010351f), Attendu("-1E+2 dB")); // -99.7 dB
    // Below 0.00001 after the "m" prefix, with the minimum exponent width.
    EXPECT_EQ(panel::FormatEchelle(3, 1.234e-9), Attendu("1,23E-0006 m"));
}

TEST(MesuresHauteur, FenetreSansHauteur) {
    EntreesMesures e = Signal();
    e.HauteurClient = 0;
    e.CurseursHorizontaux = true;
    e.Ycurs2 = 1;
    EXPECT_NE(LegendesMesures(e).LabelV.find("%"), std::string::npos);
    EXPECT_EQ(LegendesMesures(e).LabelV.find("inf"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Separateurs, Mesures, ::testing::Values(',', '.'),
                         [](const auto& info) { return info.param == ',' ? "Virgule" : "Point"; });

} // namespace
