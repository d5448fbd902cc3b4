#include "support/EcranVirtuel.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

namespace essai {

namespace {

using namespace std::chrono_literals;

// What a child does between fork and exec.
struct Preparation {
    const char* dossier = nullptr;     // working folder
    const char* sortie = nullptr;      // stdout and stderr into this file (appended)
    int descripteur = -1, numero = -1; // descriptor `descripteur` becomes `numero`
};

// Starts `arguments` (looked up in PATH). The child dies with the test (a test killed at
// its time limit leaves no X server or program behind).
pid_t Engendre(const std::vector<std::string>& arguments, const Preparation& p = {}) {
    std::vector<std::string> args = arguments;
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid != 0) return pid;
    // Child: only async-signal-safe calls from here.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    const int nul = open("/dev/null", O_RDWR);
    dup2(nul, STDIN_FILENO);
    const int sortie = p.sortie ? open(p.sortie, O_WRONLY | O_CREAT | O_APPEND, 0600) : nul;
    dup2(sortie, STDOUT_FILENO);
    dup2(sortie, STDERR_FILENO);
    if (p.descripteur >= 0) dup2(p.descripteur, p.numero);
    if (p.dossier && chdir(p.dossier) != 0) _exit(127);
    execvp(argv[0], argv.data());
    _exit(127);
}

// Reads one line from `fd` within `secondes`.
std::string LitLigne(int fd, double secondes) {
    std::string ligne;
    const auto fin = std::chrono::steady_clock::now() + std::chrono::duration<double>(secondes);
    while (std::chrono::steady_clock::now() < fin) {
        char c;
        const ssize_t n = read(fd, &c, 1);
        if (n == 1) {
            if (c == '\n') return ligne;
            ligne += c;
        } else if (n == 0) {
            break;
        } else {
            std::this_thread::sleep_for(10ms);
        }
    }
    return ligne;
}

} // namespace

EcranVirtuel::EcranVirtuel(int largeur, int hauteur) {
    int tube[2];
    if (pipe2(tube, O_CLOEXEC) != 0) return;
    fcntl(tube[0], F_SETFL, O_NONBLOCK);
    // The server writes its display number on descriptor 3 once it is ready.
    Preparation p;
    p.descripteur = tube[1];
    p.numero = 3;
    const std::string ecran = std::to_string(largeur) + "x" + std::to_string(hauteur) + "x24";
    serveur_ = Engendre({"Xvfb", "-displayfd", "3", "-screen", "0", ecran, "-dpi", "96",
                         "-nolisten", "tcp", "-noreset"},
                        p);
    close(tube[1]);
    const std::string numero = serveur_ > 0 ? LitLigne(tube[0], 20) : std::string();
    close(tube[0]);
    if (numero.empty()) return;
    nom_ = ":" + numero;
    setenv("DISPLAY", nom_.c_str(), 1);
    x_ = XOpenDisplay(nom_.c_str());
}

EcranVirtuel::~EcranVirtuel() {
    if (x_) XCloseDisplay(x_);
    if (serveur_ > 0) {
        kill(serveur_, SIGTERM);
        if (AttendFin(serveur_, 5) < 0) waitpid(serveur_, nullptr, WNOHANG);
    }
}

EcranVirtuel::Image EcranVirtuel::Capture(int x, int y, int largeur, int hauteur) {
    Image image;
    if (!x_) return image;
    XImage* xi = XGetImage(x_, DefaultRootWindow(x_), x, y, static_cast<unsigned>(largeur),
                           static_cast<unsigned>(hauteur), AllPlanes, ZPixmap);
    if (!xi) return image;
    image.Largeur = largeur;
    image.Hauteur = hauteur;
    image.Pixels.resize(static_cast<size_t>(largeur) * static_cast<size_t>(hauteur));
    for (int j = 0; j < hauteur; ++j)
        for (int i = 0; i < largeur; ++i)
            image.Pixels[static_cast<size_t>(j) * static_cast<size_t>(largeur) +
                         static_cast<size_t>(i)] =
                static_cast<uint32_t>(XGetPixel(xi, i, j) & 0xFFFFFF);
    XDestroyImage(xi);
    return image;
}

std::vector<std::string> EcranVirtuel::CiblesPressePapiers() {
    std::vector<std::string> cibles;
    // A connection of its own, so that no other event is taken from the grabs' one.
    Display* d = nom_.empty() ? nullptr : XOpenDisplay(nom_.c_str());
    if (!d) return cibles;
    const Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
    const Atom clipboard = XInternAtom(d, "CLIPBOARD", False);
    const Atom targets = XInternAtom(d, "TARGETS", False);
    const Atom propriete = XInternAtom(d, "TAMBURELLA_ESSAI_CIBLES", False);
    XConvertSelection(d, clipboard, targets, propriete, w, CurrentTime);
    XFlush(d);
    const auto fin = std::chrono::steady_clock::now() + 10s;
    bool repondu = false, vide = false;
    while (!repondu && std::chrono::steady_clock::now() < fin) {
        while (!repondu && XPending(d)) {
            XEvent e;
            XNextEvent(d, &e);
            if (e.type == SelectionNotify) {
                repondu = true;
                vide = e.xselection.property == None;
            }
        }
        if (!repondu) std::this_thread::sleep_for(10ms);
    }
    if (repondu && !vide) {
        Atom type = None;
        int format = 0;
        unsigned long n = 0, reste = 0;
        unsigned char* donnees = nullptr;
        if (XGetWindowProperty(d, w, propriete, 0, 4096, True, XA_ATOM, &type, &format, &n, &reste,
                               &donnees) == Success &&
            donnees && format == 32) {
            const auto* atomes = reinterpret_cast<const Atom*>(donnees);
            for (unsigned long i = 0; i < n; ++i)
                if (char* nom = XGetAtomName(d, atomes[i])) {
                    cibles.emplace_back(nom);
                    XFree(nom);
                }
        }
        if (donnees) XFree(donnees);
    }
    XDestroyWindow(d, w);
    XCloseDisplay(d);
    return cibles;
}

int EcranVirtuel::Xdotool(const std::vector<std::string>& arguments) {
    std::vector<std::string> args{"xdotool"};
    args.insert(args.end(), arguments.begin(), arguments.end());
    const pid_t pid = Engendre(args);
    return pid > 0 ? AttendFin(pid, 20) : -1;
}

void EcranVirtuel::Pointe(int x, int y) {
    // xdotool's synchronous move waits for the pointer to move: to where it already is,
    // it would wait for its own time limit.
    if (x_) {
        Window racine, enfant;
        int rx = -1, ry = -1, wx, wy;
        unsigned masque;
        if (XQueryPointer(x_, DefaultRootWindow(x_), &racine, &enfant, &rx, &ry, &wx, &wy,
                          &masque) &&
            rx == x && ry == y)
            return;
    }
    Xdotool({"mousemove", "--sync", std::to_string(x), std::to_string(y)});
}

void EcranVirtuel::Clic(int x, int y, int bouton) {
    Pointe(x, y);
    Xdotool({"click", std::to_string(bouton)});
}

void EcranVirtuel::Touches(const std::string& touches) {
    Xdotool({"key", touches});
}

void EcranVirtuel::Tape(const std::string& texte) {
    Xdotool({"type", "--delay", "5", texte});
}

pid_t Lance(const std::string& programme, const std::vector<std::string>& arguments,
            const std::string& dossier) {
    std::vector<std::string> args{programme};
    args.insert(args.end(), arguments.begin(), arguments.end());
    const std::string journal = dossier + "/journal.txt";
    Preparation p;
    p.dossier = dossier.c_str();
    p.sortie = journal.c_str();
    return Engendre(args, p);
}

int AttendFin(pid_t pid, double secondes) {
    const auto fin = std::chrono::steady_clock::now() + std::chrono::duration<double>(secondes);
    int statut = 0;
    while (std::chrono::steady_clock::now() < fin) {
        const pid_t r = waitpid(pid, &statut, WNOHANG);
        if (r == pid) return WIFEXITED(statut) ? WEXITSTATUS(statut) : 128 + WTERMSIG(statut);
        if (r < 0) return -1;
        std::this_thread::sleep_for(10ms);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
}

} // namespace essai
