// The program as a whole, used the way a person uses it: the real binary on a private X
// server with a private sound server, a tone played into the sound server's sink, the
// screen grabbed and the mouse and keys driven from outside. Every wait is for something
// to show on the screen, with a deadline.

#include "DossierTemporaire.h"
#include "panel/Signal.h"
#include "support/EcranVirtuel.h"
#include "support/ServeurSon.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

// The leak suppressions of the test programs (tests/principal.cpp), given to the program
// too when it is built with AddressSanitizer.
extern "C" const char* __lsan_default_suppressions();

namespace {

using namespace std::chrono_literals;
using essai::EcranVirtuel;
using Image = essai::EcranVirtuel::Image;

// Where the program puts its windows (client areas; there is no window manager, hence no
// frames): the control window from the settings file, the scope window likewise.
constexpr int Cx = 10, Cy = 5;
constexpr int Sx = 10, Sy = 200, Sw = 800, Sh = 400;
constexpr double Fe = 44100;

const char* const Reglages = "[FenetreControl]\r\nGauche=10\r\nHaut=5\r\n"
                             "[Defaut]\r\nTypeSynchro=2\r\nDecalageT=250\r\n"
                             "[Ecran]\r\nGauche=10\r\nHaut=200\r\nLargeur=800\r\nHauteur=400\r\n";

constexpr uint32_t Blanc = 0xFFFFFF, Rouge = 0xFF0000;

// Rising crossings of the middle row by the white trace, as columns.
std::vector<int> Montees(const Image& image) {
    std::vector<int> colonnes;
    int precedent = -1;
    for (int x = 0; x < image.Largeur; ++x) {
        int haut = -1, bas = -1;
        for (int y = 0; y < image.Hauteur; ++y)
            if (image.Pixel(x, y) == Blanc) {
                if (haut < 0) haut = y;
                bas = y;
            }
        if (haut < 0) continue;
        const int y = (haut + bas) / 2;
        if (precedent > image.Hauteur / 2 && y <= image.Hauteur / 2) colonnes.push_back(x);
        precedent = y;
    }
    return colonnes;
}

double Periode(const Image& image) {
    const std::vector<int> m = Montees(image);
    if (m.size() < 3) return 0;
    return static_cast<double>(m.back() - m.front()) / static_cast<double>(m.size() - 1);
}

// The rising crossings of the two periods on each side of the trigger point (the middle
// column), as distances from it; none when the tone does not run through both sides (a
// player starved on a busy machine leaves gaps of silence in the tone itself). The
// crossing on the point itself is left out: the trigger marker covers the trace there.
std::vector<double> AutourDuDeclenchement(const std::vector<int>& montees, double periode) {
    std::vector<double> d;
    int avant = 0, apres = 0;
    for (int x : montees) {
        const double e = x - Sw / 2.0;
        if (std::abs(e) < 8 || std::abs(e) > 2.5 * periode) continue;
        d.push_back(e);
        (e < 0 ? avant : apres)++;
    }
    if (avant < 2 || apres < 2) d.clear();
    return d;
}

// How far those crossings lie from whole periods away from the trigger point, in pixels.
double EcartAuDeclenchement(const std::vector<double>& distances, double periode) {
    double pire = 0;
    for (double d : distances)
        pire = std::max(pire, std::abs(d - periode * std::round(d / periode)));
    return pire;
}

int Compte(const Image& image, uint32_t couleur) {
    return static_cast<int>(std::count(image.Pixels.begin(), image.Pixels.end(), couleur));
}

// Waits until `condition` holds, up to `limite`.
bool Attend(const std::function<bool()>& condition, std::chrono::seconds limite = 30s) {
    const auto fin = std::chrono::steady_clock::now() + limite;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > fin) return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

class Instrument : public ::testing::Test {
protected:
    void SetUp() override {
#if defined(__SANITIZE_THREAD__)
        // Under ThreadSanitizer the windowing libraries (Xlib, xcb, glib, Qt), which are not
        // instrumented, report their own hand-overs; the windows' threads are checked
        // under it by the off-screen window tests.
        GTEST_SKIP() << "the X libraries are not instrumented";
#endif
        ASSERT_TRUE(son_.Pret()) << "private sound server";
        ASSERT_TRUE(ecran_.Pret()) << "private X server";
        // The program draws on that server (the tests' own default is off screen).
        unsetenv("QT_QPA_PLATFORM");
        // A sanitized build of the program stops at its first report, with the leak
        // suppressions of the tests (the libraries' own leaks).
        const std::string lsan = dossier_.Chemin("lsan.supp");
        EcritFichier(lsan, __lsan_default_suppressions());
        setenv("LSAN_OPTIONS", ("suppressions=" + lsan).c_str(), 1);
        setenv("UBSAN_OPTIONS", "halt_on_error=1:print_stacktrace=1", 1);
        std::filesystem::copy_file(TAMBURELLA_PROGRAMME, Programme());
    }
    void TearDown() override {
        if (pid_ > 0) essai::AttendFin(pid_, 0.01);
    }

    std::string Programme() const {
        return dossier_.Chemin("tamburella");
    }
    std::string Ini() const {
        return LitFichier(dossier_.Chemin("tamburella.ini"));
    }
    // What the program wrote on stdout and stderr.
    std::string Journal() const {
        return LitFichier(dossier_.Chemin("journal.txt"));
    }
    void Demarre() {
        pid_ = essai::Lance(Programme(), {}, dossier_.Dossier().string());
        ASSERT_GT(pid_, 0);
    }
    // Quitter, and the process ends by itself.
    void Quitte() {
        ecran_.Clic(Cx + 316 + 24, Cy + 51 + 12);
        EXPECT_EQ(essai::AttendFin(pid_, 20), 0) << Journal();
        pid_ = -1;
    }
    Image Scope() {
        return ecran_.Capture(Sx, Sy, Sw, Sh);
    }
    // The pause button, the pointer elsewhere (no hover look).
    Image BoutonPause() {
        ecran_.Pointe(1200, 780);
        return ecran_.Capture(Cx + 258, Cy + 51, 49, 25);
    }
    // A trace of `hz` on the scope (1 % on the period in pixels).
    bool AttendPeriode(double hz) {
        const double attendue = Fe / hz;
        return Attend([&] { return std::abs(Periode(Scope()) - attendue) < 0.01 * attendue; });
    }
    // The keyboard to the control window (no window manager gives it the focus).
    void PointeLeControle() {
        ecran_.Pointe(Cx + 300, Cy + 112);
        EXPECT_EQ(FocaliseFenetre("^Tamburella$"), 0);
    }

    // The keyboard to the window called `titre` once it shows (a dialog, another window
    // of the program): 0 when it showed, else xdotool's exit code. A window just mapped
    // may refuse the focus for a moment: asked again until the deadline.
    int FocaliseFenetre(const std::string& titre) {
        int code = -1;
        Attend([&] {
            code = ecran_.Xdotool(
                {"search", "--sync", "--onlyvisible", "--name", titre, "windowfocus", "--sync"});
            return code == 0;
        });
        return code;
    }
    bool FenetreVisible(const std::string& titre) {
        return ecran_.Xdotool({"search", "--onlyvisible", "--name", titre}) == 0;
    }

    essai::ServeurSon son_;
    EcranVirtuel ecran_{1280, 800};
    DossierTemporaire dossier_;
    pid_t pid_ = -1;
};

TEST_F(Instrument, UnePersonneSEnSert) {
    EcritFichier(dossier_.Chemin("tamburella.ini"), Reglages);
    // A WAV file of 250 Hz to load later.
    panel::TableauBruts bruts{};
    for (int k = 0; k < panel::NbEchSignal; ++k)
        bruts[0][k] = static_cast<float>(16000 * std::sin(2 * M_PI * 250 * k / Fe));
    const std::string wav = dossier_.Chemin("signal 250 Hz.wav");
    ASSERT_TRUE(panel::EnregistreSignal(wav, panel::NbEchSignal, bruts, 1, 44100));

    ASSERT_TRUE(son_.Joue(1000, 1000, 300));
    Demarre();

    // A steady triggered trace of the tone: 44.1 pixels per period, locked on the trigger
    // point (the middle column) in every picture where the tone runs on both sides of it.
    ASSERT_TRUE(AttendPeriode(1000)) << "period " << Periode(Scope()) << "\n" << Journal();
    int avecTrace = 0;
    ASSERT_TRUE(Attend([&] {
        const std::vector<int> m = Montees(Scope());
        const std::vector<double> autour = AutourDuDeclenchement(m, Fe / 1000);
        if (autour.empty()) return false;
        ++avecTrace;
        EXPECT_LE(EcartAuDeclenchement(autour, Fe / 1000), 2.0)
            << "picture " << avecTrace << ", crossings " << testing::PrintToString(m);
        return avecTrace >= 5;
    }));
    const Image boutonEnMarche = BoutonPause();

    // Pause: the button reads "Go", the picture stays while the tone changes.
    ecran_.Clic(Cx + 258 + 24, Cy + 51 + 12);
    ASSERT_TRUE(Attend([&] { return !(BoutonPause() == boutonEnMarche); }));
    // The thread may still present the frame it was computing: the picture settles first.
    Image fige = Scope();
    ASSERT_TRUE(Attend([&] {
        std::this_thread::sleep_for(100ms);
        Image suivante = Scope();
        const bool stable = suivante == fige;
        fige = std::move(suivante);
        return stable;
    }));
    ASSERT_TRUE(son_.Joue(500, 500, 300));
    for (int i = 0; i < 6; ++i) {
        std::this_thread::sleep_for(50ms);
        EXPECT_TRUE(Scope() == fige) << "paused, the picture does not change";
    }
    // Go: the new tone, the button reads "Pause" again.
    ecran_.Clic(Cx + 258 + 24, Cy + 51 + 12);
    ASSERT_TRUE(AttendPeriode(500)) << "period " << Periode(Scope());
    ASSERT_TRUE(Attend([&] { return BoutonPause() == boutonEnMarche; }));

    // "Charger Signal" (Ctrl+L): the file dialog, the file, then paused with its trace.
    PointeLeControle();
    ecran_.Touches("ctrl+l");
    ASSERT_EQ(FocaliseFenetre("Charge 0.5 s de signal audio"), 0);
    ecran_.Tape(wav);
    ecran_.Touches("Return");
    ASSERT_TRUE(AttendPeriode(250)) << "period " << Periode(Scope());
    EXPECT_FALSE(BoutonPause() == boutonEnMarche) << "paused";

    // Vertical cursors (Ctrl+V) drawn over the frozen picture.
    PointeLeControle();
    ecran_.Touches("ctrl+v");
    ASSERT_TRUE(Attend([&] { return Compte(Scope(), Rouge) > Sh / 2; }));

    // Quitter: the settings are written.
    Quitte();
    const std::string ini = Ini();
    EXPECT_NE(ini.find("CurseursVerticaux=1\r\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("TypeSynchro=2\r\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("[Ecran]\r\nGauche=10\r\nHaut=200\r\nLargeur=800\r\nHauteur=400\r\n"),
              std::string::npos)
        << ini;
    EXPECT_NE(ini.find("InitialWavDir=" + dossier_.Dossier().string() + "\r\n"), std::string::npos)
        << ini;

    // Started again: the same state, running on the tone, the cursors shown.
    Demarre();
    ASSERT_TRUE(AttendPeriode(500)) << "period " << Periode(Scope());
    EXPECT_TRUE(Attend([&] { return Compte(Scope(), Rouge) > Sh / 2; }));
    EXPECT_TRUE(Attend([&] {
        const std::vector<int> m = Montees(Scope());
        const std::vector<double> autour = AutourDuDeclenchement(m, Fe / 500);
        return !autour.empty() && EcartAuDeclenchement(autour, Fe / 500) <= 2.0;
    }));
    Quitte();
    EXPECT_EQ(Ini(), ini);
}

// The menu's commands that leave the program or open its other windows, used from the
// keyboard as a person would: the picture on the clipboard for pasting programs, a
// metafile that an outside reader converts, the print dialog, the signal saved, the
// generator window; the next start opens the generator again.
TEST_F(Instrument, LesCommandesDuMenu) {
    EcritFichier(dossier_.Chemin("tamburella.ini"), Reglages);
    ASSERT_TRUE(son_.Joue(1000, 1000, 300));
    Demarre();
    ASSERT_TRUE(AttendPeriode(1000)) << "period " << Periode(Scope()) << "\n" << Journal();

    // "Copier" (Ctrl+C): the picture in the formats office, drawing and chat programs take.
    PointeLeControle();
    ecran_.Touches("ctrl+c");
    std::vector<std::string> cibles;
    ASSERT_TRUE(Attend([&] {
        cibles = ecran_.CiblesPressePapiers();
        return std::count(cibles.begin(), cibles.end(), "image/x-emf") > 0;
    })) << testing::PrintToString(cibles);
    for (const char* format : {"image/svg+xml", "image/png"})
        EXPECT_EQ(std::count(cibles.begin(), cibles.end(), format), 1) << format;

    // A menu command's save dialog, answered with `chemin`, until that file is there.
    auto enregistre = [&](const char* touches, const char* titre, const std::string& chemin) {
        PointeLeControle();
        ecran_.Touches(touches);
        ASSERT_EQ(FocaliseFenetre(titre), 0) << Journal();
        ecran_.Tape(chemin);
        ecran_.Touches("Return");
        ASSERT_TRUE(Attend([&] { return std::filesystem::exists(chemin); })) << Journal();
    };

    // "Métafichier..." (Ctrl+M): the save dialog, then a file an outside reader converts.
    const std::string emf = dossier_.Chemin("courbe.emf");
    ASSERT_NO_FATAL_FAILURE(enregistre("ctrl+m", "Enregistre la courbe  du signal dans un m", emf));
    const std::string svg = dossier_.Chemin("courbe.svg");
    EXPECT_EQ(
        std::system(("emf2svg-conv -i '" + emf + "' -o '" + svg + "' >/dev/null 2>&1").c_str()), 0);
    EXPECT_NE(LitFichier(svg).find("Tamburella v0.88"), std::string::npos)
        << "the export's title in the converted picture";

    // "Imprimer..." (Ctrl+I): the print dialog; Escape cancels it and the trace runs on.
    PointeLeControle();
    ecran_.Touches("ctrl+i");
    ASSERT_EQ(FocaliseFenetre("^Print$"), 0) << Journal();
    ecran_.Touches("Escape");
    ASSERT_TRUE(Attend([&] { return !FenetreVisible("^Print$"); }));
    const Image avant = Scope();
    EXPECT_TRUE(Attend([&] { return !(Scope() == avant); })) << "the capture still runs";

    // "Enregistrer Signal" (Ctrl+S): the save dialog, then a file the program loads again.
    const std::string wav = dossier_.Chemin("capture.wav");
    ASSERT_NO_FATAL_FAILURE(enregistre("ctrl+s", "Enregistre le signal actuel", wav));
    panel::TableauBruts lus{};
    EXPECT_EQ(panel::ChargeSignal(wav, lus, 1), panel::ErreurChargement::Aucune);

    // "Générateur..." (Ctrl+G): the generator window.
    PointeLeControle();
    ecran_.Touches("ctrl+g");
    EXPECT_EQ(FocaliseFenetre("rateur de son$"), 0);

    // Closing keeps the generator open for the next start, and the folders chosen.
    Quitte();
    const std::string ini = Ini();
    EXPECT_NE(ini.find("VisibleGene=1\r\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("InitialMetaDir=" + dossier_.Dossier().string() + "\r\n"), std::string::npos)
        << ini;
    Demarre();
    EXPECT_EQ(FocaliseFenetre("rateur de son$"), 0) << Journal();
    // It opens over the scope window: moved aside to see the trace.
    EXPECT_EQ(ecran_.Xdotool({"search", "--onlyvisible", "--name", "rateur de son$", "windowmove",
                              "--sync", "850", "450"}),
              0);
    ASSERT_TRUE(AttendPeriode(1000)) << "period " << Periode(Scope());
    Quitte();
}

} // namespace
