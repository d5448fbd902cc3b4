// The program as a person uses it: started on a private X server (Xvfb) with a private
// sound server, driven with the mouse and the keyboard through XTEST (xdotool), heard on
// the sink's monitor and seen on the screen.
#include "generator/UGene.h"
#include "platform/Anneau.h"
#include "platform/Capture.h"
#include "platform/Ini.h"
#include "platform/Pulse.h"
#include "support/Processus.h"
#include "support/ServeurSon.h"
#include "ui_UGene.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPixmap>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using essai::ServeurSon;
namespace fs = std::filesystem;

// Waits for `condition` until `limite`; its last value.
template <class Condition>
bool Attend(Condition condition, std::chrono::milliseconds limite) {
    const auto fin = std::chrono::steady_clock::now() + limite;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > fin) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

pid_t Lance(const std::vector<std::string>& arguments, const std::string& dossier, int sortie = -1,
            int fdAffichage = -1) {
    return essai::LanceProcessus(arguments, sortie, dossier + "/journal.txt", fdAffichage);
}

// Exit code, or -1 when it had not ended within `limite`.
int AttendFin(pid_t pid, std::chrono::milliseconds limite) {
    int statut = 0;
    if (!Attend([&] { return waitpid(pid, &statut, WNOHANG) == pid; }, limite)) return -1;
    return WIFEXITED(statut) ? WEXITSTATUS(statut) : -2;
}

void Arrete(pid_t& pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    if (AttendFin(pid, 3000ms) == -1) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    pid = -1;
}

// xdotool's exit code and what it printed.
std::pair<int, std::string> Xdotool(const std::vector<std::string>& arguments,
                                    const std::string& dossier) {
    int tube[2];
    if (pipe2(tube, O_CLOEXEC) != 0) return {-1, {}};
    std::vector<std::string> commande = {"xdotool"};
    commande.insert(commande.end(), arguments.begin(), arguments.end());
    const pid_t pid = Lance(commande, dossier, tube[1]);
    close(tube[1]);
    std::string texte;
    char tampon[256];
    ssize_t n;
    while ((n = read(tube[0], tampon, sizeof tampon)) > 0)
        texte.append(tampon, static_cast<size_t>(n));
    close(tube[0]);
    int statut = 0;
    if (pid <= 0 || waitpid(pid, &statut, 0) != pid) return {-1, texte};
    return {WIFEXITED(statut) ? WEXITSTATUS(statut) : -1, texte};
}

// Whether an X server answers on `affichage`.
bool Repond(const std::string& affichage) {
    xcb_connection_t* c = xcb_connect(affichage.c_str(), nullptr);
    const bool ok = !xcb_connection_has_error(c);
    xcb_disconnect(c);
    return ok;
}

// A private X server; DISPLAY names it for this process and its children. Another X
// server started at the same moment elsewhere may take the number it chose: it tries again.
class ServeurX {
public:
    explicit ServeurX(const std::string& dossier) {
        for (int essai = 0; essai < 3 && !pret_; ++essai) {
            const std::string affichage = Lance(dossier);
            pret_ = !affichage.empty() && Attend([&] { return Repond(affichage); }, 5s);
            if (pret_)
                setenv("DISPLAY", affichage.c_str(), 1);
            else
                Arrete(pid_);
        }
    }
    ~ServeurX() { Arrete(pid_); }
    bool Pret() const { return pret_; }

private:
    // Starts the server; the display it chose (empty on failure).
    std::string Lance(const std::string& dossier) {
        int tube[2];
        if (pipe(tube) != 0) return {};
        // -noreset: without it the server starts over when its last client leaves (the
        // probe below), and a program connecting during the reset finds no socket.
        pid_ = ::Lance({"Xvfb", "-displayfd", "3", "-screen", "0", "1280x800x24", "-nolisten",
                        "tcp", "-noreset"},
                       dossier, -1, tube[1]);
        close(tube[1]);
        std::string numero;
        char c;
        while (read(tube[0], &c, 1) == 1 && c != '\n')
            numero += c;
        close(tube[0]);
        if (pid_ <= 0 || numero.empty()) return {};
        return ":" + numero;
    }

    pid_t pid_ = -1;
    bool pret_ = false;
};

// The sink's monitor, recorded into a ring at 48000 Hz, mono.
class Enregistreur {
public:
    Enregistreur() {
        ok_ = flux_->Ouvrir(ServeurSon::Moniteur, Fe, 1, *anneau_) ==
                  platform::ResultatOuverture::Reussie &&
              flux_->Demarrer();
    }
    ~Enregistreur() { flux_->Fermer(); }
    bool Pret() const { return ok_; }
    int64_t Trames() const { return anneau_->Position(); }
    // Frames [debut, debut + n).
    std::vector<float> Trames(int64_t debut, int32_t n) const {
        std::vector<float> x(static_cast<size_t>(n));
        anneau_->CopieTrames(debut, n, 1, x.data());
        return x;
    }
    // The newest n frames.
    std::vector<float> Derniers(int32_t n) const {
        std::vector<float> x(static_cast<size_t>(n));
        const int64_t fin = Trames();
        if (fin >= n) anneau_->CopieTrames(fin - n, n, 1, x.data());
        return x;
    }
    static constexpr int32_t Fe = 48000;

private:
    bool ok_ = false;
    std::unique_ptr<platform::AnneauCapture> anneau_ = std::make_unique<platform::AnneauCapture>();
    std::unique_ptr<platform::FluxCapture> flux_ = platform::CreeFluxSon();
};

double Efficace(const std::vector<float>& x) {
    double s = 0;
    for (float v : x)
        s += static_cast<double>(v) * v;
    return x.empty() ? 0 : std::sqrt(s / static_cast<double>(x.size()));
}

// A stretch of the tone at level 0.5 (an RMS of 11585) without a gap: a starved player
// leaves silence behind, which a sine crosses in less than a sample.
bool Entiere(const std::vector<float>& x) {
    int silence = 0;
    for (float v : x) {
        silence = std::fabs(v) < 50 ? silence + 1 : 0;
        if (silence >= 3) return false;
    }
    return Efficace(x) > 11000;
}

// The frequency in [bas, haut] where the Hann-windowed DFT of x peaks, to `pas` Hz.
double Pic(const std::vector<float>& x, double bas, double haut, double pas) {
    const double n = static_cast<double>(x.size());
    double meilleure = bas, maximum = -1;
    for (double f = bas; f <= haut; f += pas) {
        std::complex<double> s = 0;
        const std::complex<double> rotation = std::polar(1.0, -2 * M_PI * f / Enregistreur::Fe);
        std::complex<double> w = 1;
        for (size_t k = 0; k < x.size(); ++k) {
            const double fenetre = 0.5 - 0.5 * std::cos(2 * M_PI * static_cast<double>(k) / n);
            s += static_cast<double>(x[k]) * fenetre * w;
            w *= rotation;
        }
        if (std::abs(s) > maximum) {
            maximum = std::abs(s);
            meilleure = f;
        }
    }
    return meilleure;
}

class Programme : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        serveurSon_ = new ServeurSon;
        // The expected pictures are drawn off screen, with the same fonts.
        static int argc = 1;
        static char nom[] = "test_programme";
        static char* argv[] = {nom, nullptr};
        application_ = new QApplication(argc, argv);
        // The program runs on the X server.
        setenv("QT_QPA_PLATFORM", "xcb", 1);
    }
    static void TearDownTestSuite() {
        delete application_;
        delete serveurSon_;
    }
    void SetUp() override {
#if defined(__SANITIZE_THREAD__)
        // Qt's own threads (its D-Bus connection, its pool) hand data over through locks
        // ThreadSanitizer cannot see, and the program would end on its reports.
        GTEST_SKIP() << "the program under ThreadSanitizer";
#endif
        ASSERT_TRUE(serveurSon_->Pret()) << "private sound server";
        dossier_ = fs::temp_directory_path() /
                   ("tamburella-programme-" + std::to_string(getpid()) + "-" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dossier_ / "x");
        serveurX_ = std::make_unique<ServeurX>((dossier_ / "x").string());
        ASSERT_TRUE(serveurX_->Pret()) << "private X server";
        // The settings file lies beside the program: a copy of its own.
        programme_ = (dossier_ / "tamburella").string();
        fs::copy_file(TAMBURELLA_PROGRAMME, programme_, fs::copy_options::overwrite_existing);
        setenv("LC_ALL", "C.UTF-8", 1);
    }
    void TearDown() override {
        Arrete(pid_);
        const char* affichage = std::getenv("DISPLAY");
        const bool repond = serveurX_ && affichage && Repond(affichage);
        serveurX_.reset();
        if (!HasFailure()) {
            std::error_code e;
            fs::remove_all(dossier_, e);
        } else {
            std::ifstream journal(dossier_ / "journal.txt"), x(dossier_ / "x" / "journal.txt");
            std::cerr << "program's messages:\n" << journal.rdbuf() << "\n";
            std::cerr << "X server (" << (repond ? "answering" : "not answering")
                      << " at the end):\n"
                      << x.rdbuf() << "\n";
        }
    }

    std::string Ini() const {
        return (dossier_ / "tamburella.ini").string();
    }
    void Demarre(const std::vector<std::string>& arguments) {
        std::vector<std::string> commande = {programme_};
        commande.insert(commande.end(), arguments.begin(), arguments.end());
        pid_ = Lance(commande, dossier_.string());
        ASSERT_GT(pid_, 0);
    }
    // The id of the visible window with this title, once it is mapped.
    std::string Fenetre(const std::string& titre) {
        std::string id;
        Attend(
            [&] {
                const auto [code, sortie] =
                    Xdotool({"search", "--onlyvisible", "--name", "^" + titre + "$"}, dossier_);
                id = code == 0 ? sortie.substr(0, sortie.find('\n')) : "";
                return !id.empty();
            },
            20s);
        return id;
    }
    void Clic(int x, int y) {
        EXPECT_EQ(
            Xdotool({"mousemove", "--sync", std::to_string(x), std::to_string(y), "click", "1"},
                    dossier_)
                .first,
            0);
    }
    void Touches(const std::string& id, const std::string& touches) {
        // No window manager here: the window is given the focus itself.
        EXPECT_EQ(Xdotool({"windowfocus", "--sync", id}, dossier_).first, 0);
        EXPECT_EQ(Xdotool({"key", "--clearmodifiers", touches}, dossier_).first, 0);
    }
    // A rectangle of the screen, read from the X server (24-bit depth: 32-bit pixels).
    static QImage Ecran(int x, int y, int l, int h) {
        xcb_connection_t* c = xcb_connect(nullptr, nullptr);
        QImage image;
        if (!xcb_connection_has_error(c)) {
            const xcb_window_t racine = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
            xcb_get_image_reply_t* r = xcb_get_image_reply(
                c,
                xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, racine, static_cast<int16_t>(x),
                              static_cast<int16_t>(y), static_cast<uint16_t>(l),
                              static_cast<uint16_t>(h), ~0u),
                nullptr);
            if (r && xcb_get_image_data_length(r) == l * h * 4)
                image = QImage(xcb_get_image_data(r), l, h, l * 4, QImage::Format_RGB32).copy();
            std::free(r);
        }
        xcb_disconnect(c);
        return image;
    }

    static ServeurSon* serveurSon_;
    static QApplication* application_;
    std::unique_ptr<ServeurX> serveurX_;
    fs::path dossier_;
    std::string programme_;
    pid_t pid_ = -1;
};

ServeurSon* Programme::serveurSon_ = nullptr;
QApplication* Programme::application_ = nullptr;

// The read-out as the generator window draws "texte" (inside its frame).
QImage LectureAttendue(const QString& texte) {
    QWidget fenetre;
    Ui::TGeneForm ui;
    ui.setupUi(&fenetre);
    ui.Panel4->setText(texte);
    const QRect r = ui.Panel4->rect().adjusted(2, 2, -2, -2);
    return ui.Panel4->grab().toImage().convertToFormat(QImage::Format_RGB32).copy(r);
}

TEST_F(Programme, GenerateurSeulSinusSilenceSweepEtFermeture) {
    // The window at the screen's corner (no window manager: no frame), a 441 Hz sine at
    // half level, a sweep of 1 s from 200 to 2000 Hz.
    {
        platform::FichierIni ini(Ini());
        ini.EcritEntier("FenêtreGéné", "Gauche", 0);
        ini.EcritEntier("FenêtreGéné", "Haut", 0);
        const char* g = "Générateur";
        ini.EcritEntier(g, "Predefini", 2);
        ini.EcritEntier(g, "Choix", 0);
        ini.EcritTexte(g, "Fréquence", "441");
        ini.EcritTexte(g, "Niveau", "0.5");
        ini.EcritTexte(g, "f1", "200");
        ini.EcritTexte(g, "f2", "2000");
        ini.EcritTexte(g, "Durée", "1");
        ini.EcritTexte(g, "NiveauSweep", "0.5");
        ASSERT_FALSE(ini.Enregistre());
    }
    Enregistreur enregistreur;
    ASSERT_TRUE(enregistreur.Pret());
    Demarre({"/GENE"});
    const std::string id = Fenetre("Générateur de son");
    ASSERT_FALSE(id.empty()) << "the generator window";

    // Go: the sine at 441 Hz on the sink.
    Clic(52 + 23, 108 + 10);
    ASSERT_TRUE(Attend([&] { return Efficace(enregistreur.Derniers(4800)) > 5000; }, 5s));
    // Quarter-second windows of the tone as they come, until four are whole: on a starved
    // machine a window with a gap of the player is left out.
    const int32_t quart = Enregistreur::Fe / 4;
    std::vector<double> f;
    int64_t position = enregistreur.Trames();
    const bool mesure = Attend(
        [&] {
            // (What the ring no longer holds is skipped.)
            position = std::max<int64_t>(position, enregistreur.Trames() -
                                                       platform::AnneauCapture::Taille / 2);
            while (enregistreur.Trames() >= position + quart) {
                const std::vector<float> x = enregistreur.Trames(position, quart);
                position += quart;
                if (Entiere(x)) f.push_back(Pic(x, 430, 452, 0.05));
            }
            return f.size() >= 4;
        },
        20s);
    ASSERT_TRUE(mesure) << f.size() << " whole windows of the tone";
    std::sort(f.begin(), f.end());
    EXPECT_NEAR((f[1] + f[2]) / 2, 441.0, 0.5) << f[0] << " " << f[1] << " " << f[2] << " " << f[3];

    // Stop: silence.
    Clic(100 + 23, 108 + 10);
    EXPECT_TRUE(Attend([&] { return Efficace(enregistreur.Derniers(4800)) < 1; }, 5s));

    // Ctrl+S: the sweep's layout; its Go runs the sweep to its end, the read-out ends on f2.
    Touches(id, "ctrl+s");
    ASSERT_FALSE(Fenetre("Sweep").empty());
    Clic(4 + 19, 142 + 11);
    EXPECT_TRUE(Attend([&] { return Efficace(enregistreur.Derniers(4800)) > 5000; }, 5s));
    const QImage fin = LectureAttendue("2000 Hz  ");
    ASSERT_FALSE(fin.isNull());
    ASSERT_NE(fin, LectureAttendue("2001 Hz  ")) << "the rendering tells the digits apart";
    EXPECT_TRUE(
        Attend([&] { return Ecran(6 + 2, 110 + 2, fin.width(), fin.height()) == fin; }, 10s))
        << "the read-out ends on \"2000 Hz  \"";
    EXPECT_TRUE(Attend([&] { return Efficace(enregistreur.Derniers(4800)) < 1; }, 5s));

    // "Quitter": the program ends and writes the generator's sections.
    Clic(124 + 20, 142 + 11);
    EXPECT_EQ(AttendFin(pid_, 10s), 0);
    pid_ = -1;
    const platform::FichierIni ini(Ini());
    EXPECT_EQ(ini.LitEntier("FenêtreGéné", "Gauche", -1), 0);
    EXPECT_EQ(ini.LitEntier("Générateur", "Choix", -1), 2);
    EXPECT_EQ(ini.LitTexte("Générateur", "Fréquence", ""), "441");
    EXPECT_EQ(ini.LitEntier("OptionsGéné", "NoSortie", 7), -1);
    EXPECT_EQ(ini.LitEntier("OptionsGéné", "Fe", 0), 44100);
    EXPECT_EQ(ini.LitTexte("Defaut", "VisibleGene", "absent"), "absent")
        << "the control window's sections are not written in generator-only mode";
}

TEST_F(Programme, ModeNormalLeGenerateurParCtrlG) {
    Demarre({});
    const std::string principale = Fenetre("Tamburella");
    ASSERT_FALSE(principale.empty()) << "the main window";
    Touches(principale, "ctrl+g");
    EXPECT_FALSE(Fenetre("Générateur de son").empty());
}

// The sound server frozen (SIGSTOP) as the program starts: within 5 s it says that some
// inputs did not answer, and once that is read its windows are there.
TEST_F(Programme, ModeNormalUnServeurGeleNeRetientPasLeDemarrage) {
    struct Degel {
        ~Degel() { serveurSon_->Degele(); }
    } degel;
    serveurSon_->Gele();
    const auto debut = std::chrono::steady_clock::now();
    Demarre({});
    const std::string message = Fenetre("Problème Tamburella");
    const double avantMessage =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - debut).count();
    ASSERT_FALSE(message.empty()) << "the message on the inputs not listed";
    EXPECT_LT(avantMessage, 5.0) << "start-up held by the frozen server";
    Touches(message, "Return");
    const auto lu = std::chrono::steady_clock::now();
    EXPECT_FALSE(Fenetre("Tamburella").empty()) << "the main window";
    EXPECT_FALSE(Fenetre("Scope").empty()) << "the scope window";
    const double apresMessage =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - lu).count();
    EXPECT_LT(avantMessage + apresMessage, 5.0);
    std::printf("[ mesure ] start-up with a frozen server: message after %.2f s, windows %.2f s "
                "after it was read\n",
                avantMessage, apresMessage);
}

} // namespace
