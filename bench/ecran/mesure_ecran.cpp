// Measures the running program from outside, as a person watching the screen would:
//
//   mesure_ecran trames <window id> <pid> <seconds>
//       frames presented per second in the scope window (one X damage report per
//       presented picture) and the CPU time of process <pid> over the same span, as a
//       share of one core;
//   mesure_ecran delai <window id> <sink> <trials>
//       sound-to-screen delay: a step played into <sink> until the scope window shows it
//       at its right edge (the newest samples in free-running mode); median and worst.
//
// Run by scripts/mesure-ecran.sh, which starts the X server, the sound server and the
// program. Plain numbers on stdout.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>
#include <pulse/error.h>
#include <pulse/simple.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Horloge = std::chrono::steady_clock;
using namespace std::chrono_literals;

double Secondes(Horloge::duration d) {
    return std::chrono::duration<double>(d).count();
}

// utime + stime of a process, in seconds.
double TempsCpu(long pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
    std::string ligne;
    std::getline(f, ligne);
    const size_t fin = ligne.rfind(')');
    if (fin == std::string::npos) return 0;
    std::istringstream champs(ligne.substr(fin + 2));
    std::string c;
    unsigned long long utime = 0, stime = 0;
    // Fields 3 .. 13, then utime (14) and stime (15).
    for (int i = 3; i <= 13; ++i)
        champs >> c;
    champs >> utime >> stime;
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

struct Ecran {
    Display* x = nullptr;
    Window fenetre = 0;
    Damage dommage = 0;
    int evenementDommage = 0;
    int largeur = 0, hauteur = 0;

    bool Ouvre(Window w) {
        x = XOpenDisplay(nullptr);
        if (!x) return false;
        int erreur = 0;
        if (!XDamageQueryExtension(x, &evenementDommage, &erreur)) return false;
        fenetre = w;
        XWindowAttributes a;
        if (!XGetWindowAttributes(x, w, &a)) return false;
        largeur = a.width;
        hauteur = a.height;
        dommage = XDamageCreate(x, w, XDamageReportNonEmpty);
        XSync(x, False);
        return true;
    }
    // Waits for the next damage report (a presented picture) up to `limite`.
    bool ProchaineImage(std::chrono::milliseconds limite) {
        const auto fin = Horloge::now() + limite;
        while (Horloge::now() < fin) {
            while (XPending(x)) {
                XEvent e;
                XNextEvent(x, &e);
                if (e.type == evenementDommage + XDamageNotify) {
                    XDamageSubtract(x, dommage, None, None);
                    return true;
                }
            }
            std::this_thread::sleep_for(200us);
        }
        return false;
    }
    // Rows of the white trace near the right edge: the distance of its middle from the
    // window's middle row, as a fraction of the half height; -1 when there is no trace.
    double EcartADroite() {
        const int l = 6, x0 = largeur - 10;
        XImage* image =
            XGetImage(x, fenetre, x0, 0, l, static_cast<unsigned>(hauteur), AllPlanes, ZPixmap);
        if (!image) return -1;
        int haut = -1, bas = -1;
        for (int y = 0; y < hauteur; ++y)
            for (int i = 0; i < l; ++i)
                if ((XGetPixel(image, i, y) & 0xFFFFFF) == 0xFFFFFF) {
                    if (haut < 0) haut = y;
                    bas = y;
                }
        XDestroyImage(image);
        if (haut < 0) return -1;
        return std::abs((haut + bas) / 2.0 - hauteur / 2.0) / (hauteur / 2.0);
    }
};

int Trames(Window w, long pid, double duree) {
    Ecran e;
    if (!e.Ouvre(w)) {
        std::fprintf(stderr, "no X server or no damage extension\n");
        return 1;
    }
    // Warm up, then count.
    for (int i = 0; i < 10; ++i)
        e.ProchaineImage(1000ms);
    const double cpu0 = TempsCpu(pid);
    const auto debut = Horloge::now();
    int images = 0;
    while (Secondes(Horloge::now() - debut) < duree)
        if (e.ProchaineImage(100ms)) ++images;
    const double ecoule = Secondes(Horloge::now() - debut);
    const double cpu = TempsCpu(pid) - cpu0;
    std::printf("trames %d en %.2f s : %.1f images/s ; CPU %.2f s : %.1f %% d'un coeur\n", images,
                ecoule, images / ecoule, cpu, 100 * cpu / ecoule);
    return 0;
}

// Plays a constant level into the sink in 2 ms blocks; `Niveau` may change at any time.
// `Instant` receives the time the first block of a new level will be heard.
class Joueur {
public:
    std::atomic<int> Niveau{0};
    std::atomic<int64_t> Instant{0}; // steady clock, ns; 0 until the new level is written

    bool Ouvre(const char* puits) {
        pa_sample_spec format{PA_SAMPLE_S16LE, 48000, 2};
        pa_buffer_attr attributs{};
        attributs.maxlength = static_cast<uint32_t>(-1);
        attributs.tlength = 48 * 4 * 10; // 10 ms
        attributs.prebuf = static_cast<uint32_t>(-1);
        attributs.minreq = static_cast<uint32_t>(-1);
        attributs.fragsize = static_cast<uint32_t>(-1);
        int erreur = 0;
        flux_ = pa_simple_new(nullptr, "mesure_ecran", PA_STREAM_PLAYBACK, puits, "marche", &format,
                              nullptr, &attributs, &erreur);
        if (!flux_) std::fprintf(stderr, "pa_simple_new: %s\n", pa_strerror(erreur));
        return flux_ != nullptr;
    }
    void Lance() {
        thread_ = std::thread([this] { Joue(); });
    }
    void Arrete() {
        fini_ = true;
        if (thread_.joinable()) thread_.join();
        if (flux_) pa_simple_free(flux_);
    }

private:
    void Joue() {
        constexpr int Trames = 96; // 2 ms
        std::vector<int16_t> bloc(Trames * 2);
        int precedent = 0;
        while (!fini_) {
            const int n = Niveau.load();
            std::fill(bloc.begin(), bloc.end(), static_cast<int16_t>(n));
            int erreur = 0;
            if (pa_simple_write(flux_, bloc.data(), bloc.size() * 2, &erreur) < 0) break;
            if (n != precedent) {
                // The block just written starts this much before the end of the queue.
                const pa_usec_t latence = pa_simple_get_latency(flux_, &erreur);
                const auto entendu = Horloge::now() + std::chrono::microseconds(latence) - 2ms;
                Instant =
                    std::chrono::duration_cast<std::chrono::nanoseconds>(entendu.time_since_epoch())
                        .count();
                precedent = n;
            }
        }
    }
    pa_simple* flux_ = nullptr;
    std::atomic<bool> fini_{false};
    std::thread thread_;
};

int Delai(Window w, const char* puits, int essais) {
    Ecran e;
    if (!e.Ouvre(w)) {
        std::fprintf(stderr, "no X server or no damage extension\n");
        return 1;
    }
    Joueur j;
    if (!j.Ouvre(puits)) return 1;
    j.Lance();
    std::vector<double> delais;
    for (int essai = 0; essai < essais; ++essai) {
        // Silence until the picture has been flat at the right edge for 300 ms.
        j.Niveau = 0;
        auto calme = Horloge::now();
        const auto limite = Horloge::now() + 10s;
        while (Horloge::now() - calme < 300ms && Horloge::now() < limite) {
            if (!e.ProchaineImage(200ms)) continue;
            const double ecart = e.EcartADroite();
            if (ecart < 0 || ecart > 0.1) calme = Horloge::now();
        }
        // The step: 80 % of full scale.
        j.Instant = 0;
        j.Niveau = 26000;
        const auto fin = Horloge::now() + 5s;
        bool vu = false;
        while (!vu && Horloge::now() < fin) {
            if (!e.ProchaineImage(200ms)) continue;
            const auto maintenant = Horloge::now();
            const double ecart = e.EcartADroite();
            if (ecart > 0.5 && j.Instant != 0) {
                const double d =
                    1e-9 * static_cast<double>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                                   maintenant.time_since_epoch())
                                                   .count() -
                                               j.Instant);
                delais.push_back(d);
                vu = true;
            }
        }
        if (!vu) std::fprintf(stderr, "trial %d: the step never showed\n", essai);
    }
    j.Arrete();
    if (delais.empty()) return 1;
    std::vector<double> tri = delais;
    std::sort(tri.begin(), tri.end());
    const double mediane =
        tri.size() % 2 ? tri[tri.size() / 2] : (tri[tri.size() / 2 - 1] + tri[tri.size() / 2]) / 2;
    std::printf(
        "delai son-ecran sur %zu essais : mediane %.1f ms, pire %.1f ms, meilleur %.1f ms\n",
        tri.size(), 1000 * mediane, 1000 * tri.back(), 1000 * tri.front());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "trames") == 0)
        return Trames(std::strtoul(argv[2], nullptr, 0), std::strtol(argv[3], nullptr, 10),
                      std::strtod(argv[4], nullptr));
    if (argc == 5 && std::strcmp(argv[1], "delai") == 0)
        return Delai(std::strtoul(argv[2], nullptr, 0), argv[3], std::atoi(argv[4]));
    std::fprintf(stderr,
                 "usage: %s trames <window id> <pid> <seconds>\n"
                 "       %s delai <window id> <sink> <trials>\n",
                 argv[0], argv[0]);
    return 2;
}
