#include "support/ServeurSon.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

extern char** environ;

namespace essai {

namespace {

using namespace std::chrono_literals;

std::string Socket(const std::string& dossier) {
    return dossier + "/pulse/native";
}

// Stops a child: SIGTERM, then SIGKILL if it lingers.
void Arrete(pid_t& pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    for (int i = 0; i < 200; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            pid = -1;
            return;
        }
        std::this_thread::sleep_for(10ms);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    pid = -1;
}

} // namespace

ServeurSon::ServeurSon() {
    char modele[] = "/tmp/tamburella-son-XXXXXX";
    if (!mkdtemp(modele)) return;
    dossier_ = modele;
    std::filesystem::create_directories(dossier_ + "/home");
    std::filesystem::create_directories(dossier_ + "/pulse");
    std::ofstream(dossier_ + "/client.conf") << "autospawn = no\n";
    const std::string serveur = "unix:" + Socket(dossier_);
    environnement_ = {"XDG_RUNTIME_DIR=" + dossier_, "PULSE_RUNTIME_PATH=" + dossier_ + "/pulse",
                      "HOME=" + dossier_ + "/home", "PULSE_SERVER=" + serveur,
                      "PULSE_CLIENTCONFIG=" + dossier_ + "/client.conf"};
    // This process's clients (libpulse, the ALSA plugin) go to this server.
    for (const std::string& v : environnement_) {
        const size_t egal = v.find('=');
        setenv(v.substr(0, egal).c_str(), v.substr(egal + 1).c_str(), 1);
    }
    pret_ = Demarre();
}

bool ServeurSon::Demarre() {
    serveur_ =
        Lance({"pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "-n", "--disallow-exit",
               "--use-pid-file=no",
               "--load=module-null-sink sink_name=essai rate=48000 channels=2 "
               "sink_properties=device.description=Essai",
               "--load=module-native-protocol-unix auth-anonymous=1 socket=" + Socket(dossier_),
               "--log-target=file:" + dossier_ + "/pa.log"},
              true);
    if (serveur_ <= 0 || !AttendReponse()) return false;
    // A fresh null sink renders up to 2 s ahead, and a recorder that connects then gets
    // nothing for that long: a low-latency reader attached for the server's life and a
    // reset of the sink's clock avoid it.
    lecteur_ = Lance({"parec", "--latency-msec=10", std::string("--device=") + Moniteur}, false);
    Pactl({"suspend-sink", Puits, "1"});
    Pactl({"suspend-sink", Puits, "0"});
    return true;
}

ServeurSon::~ServeurSon() {
    Degele();
    Arrete(joueur_);
    Arrete(lecteur_);
    Arrete(serveur_);
    if (!dossier_.empty()) {
        std::error_code erreur;
        std::filesystem::remove_all(dossier_, erreur);
    }
}

pid_t ServeurSon::Lance(const std::vector<std::string>& arguments, bool pourServeur) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        env.emplace_back(*e);
    env.insert(env.end(), environnement_.begin(), environnement_.end());
    std::vector<char*> envp, argv;
    for (std::string& v : env)
        envp.push_back(v.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = arguments;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const std::string journal = dossier_ + (pourServeur ? "/serveur.err" : "/clients.err");
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, journal.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0600);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

bool ServeurSon::AttendReponse() {
    sockaddr_un adresse{};
    adresse.sun_family = AF_UNIX;
    const std::string chemin = Socket(dossier_);
    if (chemin.size() >= sizeof adresse.sun_path) return false;
    std::memcpy(adresse.sun_path, chemin.c_str(), chemin.size() + 1);
    const auto limite = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < limite) {
        if (waitpid(serveur_, nullptr, WNOHANG) == serveur_) {
            serveur_ = -1;
            return false;
        }
        const int s = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const bool ok = connect(s, reinterpret_cast<sockaddr*>(&adresse), sizeof adresse) == 0;
        close(s);
        if (ok) return Pactl({"info"}) == 0;
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

int ServeurSon::Pactl(const std::vector<std::string>& arguments) {
    std::vector<std::string> commande = {"pactl"};
    commande.insert(commande.end(), arguments.begin(), arguments.end());
    const pid_t pid = Lance(commande, false);
    if (pid <= 0) return -1;
    int statut = 0;
    if (waitpid(pid, &statut, 0) != pid) return -1;
    return WIFEXITED(statut) ? WEXITSTATUS(statut) : -1;
}

bool ServeurSon::Joue(double gauche, double droite, double secondes, double amplitude) {
    ArreteJeu();
    const std::string fichier = dossier_ + "/joue.raw";
    {
        const auto n = static_cast<size_t>(secondes * FePuits);
        std::vector<int16_t> echantillons(2 * n);
        const double a = amplitude * 32767.0;
        for (size_t k = 0; k < n; ++k) {
            const double t = static_cast<double>(k) / FePuits;
            echantillons[2 * k] =
                static_cast<int16_t>(std::lrint(a * std::sin(2 * M_PI * gauche * t)));
            echantillons[2 * k + 1] =
                static_cast<int16_t>(std::lrint(a * std::sin(2 * M_PI * droite * t)));
        }
        std::ofstream sortie(fichier, std::ios::binary);
        sortie.write(reinterpret_cast<const char*>(echantillons.data()),
                     static_cast<std::streamsize>(echantillons.size() * sizeof(int16_t)));
        if (!sortie) return false;
    }
    joueur_ = Lance({"pacat", "--playback", std::string("--device=") + Puits, "--rate=48000",
                     "--channels=2", "--format=s16le", "--latency-msec=20", "--raw", fichier},
                    false);
    return joueur_ > 0;
}

void ServeurSon::ArreteJeu() {
    Arrete(joueur_);
}

void ServeurSon::Tue() {
    if (serveur_ > 0) {
        kill(serveur_, SIGKILL);
        waitpid(serveur_, nullptr, 0);
        serveur_ = -1;
    }
    gele_ = false;
}

bool ServeurSon::Redemarre() {
    Tue();
    // The helpers lost their server; the socket file left behind is taken over.
    Arrete(joueur_);
    Arrete(lecteur_);
    pret_ = Demarre();
    return pret_;
}

void ServeurSon::Gele() {
    if (serveur_ > 0 && kill(serveur_, SIGSTOP) == 0) gele_ = true;
}

void ServeurSon::Degele() {
    if (serveur_ > 0 && gele_) kill(serveur_, SIGCONT);
    gele_ = false;
}

} // namespace essai
