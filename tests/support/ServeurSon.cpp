#include "support/ServeurSon.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string_view>
#include <thread>

extern char** environ;

namespace essai {

namespace {

using namespace std::chrono_literals;

std::string Socket(const std::string& dossier) {
    return dossier + "/pulse/native";
}

// Stops children: SIGTERM to all, then SIGKILL to those that linger after a second.
void Arrete(std::vector<pid_t*> pids) {
    for (pid_t* pid : pids)
        if (*pid > 0) kill(*pid, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        bool restants = false;
        for (pid_t* pid : pids) {
            if (*pid > 0 && waitpid(*pid, nullptr, WNOHANG) == *pid) *pid = -1;
            restants = restants || *pid > 0;
        }
        if (!restants) return;
        std::this_thread::sleep_for(10ms);
    }
    for (pid_t* pid : pids) {
        if (*pid <= 0) continue;
        kill(*pid, SIGKILL);
        waitpid(*pid, nullptr, 0);
        *pid = -1;
    }
}

std::string_view Nom(std::string_view variable) {
    return variable.substr(0, variable.find('='));
}

} // namespace

ServeurSon::ServeurSon(TypeServeur type) : type_(type) {
    char modele[] = "/tmp/tamburella-son-XXXXXX";
    if (!mkdtemp(modele)) return;
    dossier_ = modele;
    for (const char* d : {"/home", "/pulse", "/config", "/state"})
        std::filesystem::create_directories(dossier_ + d);
    std::ofstream(dossier_ + "/client.conf") << "autospawn = no\n";
    clients_ = {"XDG_RUNTIME_DIR=" + dossier_, "PULSE_RUNTIME_PATH=" + dossier_ + "/pulse",
                "HOME=" + dossier_ + "/home", "PULSE_SERVER=unix:" + Socket(dossier_),
                "PULSE_CLIENTCONFIG=" + dossier_ + "/client.conf"};
    environnement_ = clients_;
    environnement_.insert(environnement_.end(),
                          {"XDG_CONFIG_HOME=" + dossier_ + "/config",
                           "XDG_STATE_HOME=" + dossier_ + "/state",
                           "PIPEWIRE_RUNTIME_DIR=" + dossier_,
                           "DBUS_SESSION_BUS_ADDRESS=unix:path=" + dossier_ + "/bus"});
    Active();
    pret_ = type == TypeServeur::PipeWire ? DemarrePipeWire() : DemarrePulseAudio();
    if (!pret_) { // what went wrong, for the test's output
        std::cerr << "private " << NomServeur(type) << " not ready in " << dossier_ << "\n";
        for (const char* journal : {"/serveur.err", "/clients.err"}) {
            std::ifstream entree(dossier_ + journal);
            for (std::string ligne; std::getline(entree, ligne);)
                std::cerr << journal + 1 << ": " << ligne << "\n";
        }
    }
}

bool ServeurSon::DemarrePulseAudio() {
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
    // reset of the sink's clock avoid it. The reset must come once the reader is
    // connected: a reader that connects after it (a loaded machine starts it late) finds
    // the sink 2 s ahead again, and every recorder is silent until then.
    lecteur_ = Lance({"parec", "--latency-msec=10", std::string("--device=") + Moniteur}, false);
    if (lecteur_ <= 0 || !AttendLecteur()) return false;
    Pactl({"suspend-sink", Puits, "1"});
    Pactl({"suspend-sink", Puits, "0"});
    return true;
}

// No pre-render trap here: a recorder attached late gets data at once.
bool ServeurSon::DemarrePipeWire() {
    // WirePlumber, the session manager, quits at once without a session bus.
    pid_t bus = Lance({"dbus-daemon", "--session", "--nofork", "--nopidfile",
                       "--address=unix:path=" + dossier_ + "/bus"},
                      true);
    auxiliaires_.push_back(bus);
    if (bus <= 0 || !AttendFichier(dossier_ + "/bus", auxiliaires_.back())) return false;
    auxiliaires_.push_back(Lance({"pipewire"}, true));
    if (auxiliaires_.back() <= 0 || !AttendFichier(dossier_ + "/pipewire-0", auxiliaires_.back()))
        return false;
    auxiliaires_.push_back(Lance({"wireplumber"}, true));
    serveur_ = Lance({"pipewire-pulse"}, true);
    if (auxiliaires_.back() <= 0 || serveur_ <= 0 || !AttendReponse()) return false;
    if (Pactl({"load-module", "module-null-sink", "sink_name=essai", "rate=48000", "channels=2",
               "sink_properties=device.description=Essai"}) != 0)
        return false;
    // The sink appears a moment after the module loads, so it is made the default until
    // it takes; the session manager then makes its monitor the default source.
    const auto limite = std::chrono::steady_clock::now() + 20s;
    while (std::chrono::steady_clock::now() < limite) {
        if (!EnMarche()) return false;
        if (PactlTexte({"get-default-sink"}) != Puits)
            Pactl({"set-default-sink", Puits});
        else if (PactlTexte({"get-default-source"}) == Moniteur)
            return true;
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

ServeurSon::~ServeurSon() {
    std::vector<pid_t*> enfants = {&joueur_, &lecteur_, &serveur_};
    for (pid_t& a : auxiliaires_)
        enfants.push_back(&a);
    Arrete(enfants);
    if (!dossier_.empty()) {
        std::error_code erreur;
        std::filesystem::remove_all(dossier_, erreur);
    }
}

void ServeurSon::Active() {
    for (const std::string& v : clients_) {
        const size_t egal = v.find('=');
        setenv(v.substr(0, egal).c_str(), v.substr(egal + 1).c_str(), 1);
    }
}

bool ServeurSon::EnMarche() {
    if (serveur_ <= 0) return false;
    if (waitpid(serveur_, nullptr, WNOHANG) == serveur_) serveur_ = -1;
    return serveur_ > 0;
}

pid_t ServeurSon::Lance(const std::vector<std::string>& arguments, bool pourServeur,
                        const std::string& sortie) {
    // The process's environment with our values in place of its own: a child reads the
    // first of two entries of one name, and this process may point at another server.
    std::vector<std::string> env = environnement_;
    for (char** e = environ; *e; ++e) {
        const bool remplacee = std::any_of(environnement_.begin(), environnement_.end(),
                                           [&](const std::string& v) { return Nom(v) == Nom(*e); });
        if (!remplacee) env.emplace_back(*e);
    }
    std::vector<char*> envp, argv;
    for (std::string& v : env)
        envp.push_back(v.data());
    envp.push_back(nullptr);
    // Killed with this process, whatever way it ends (a crash, a test run's time limit).
    std::vector<std::string> args = {"setpriv", "--pdeathsig", "KILL", "--"};
    args.insert(args.end(), arguments.begin(), arguments.end());
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (sortie.empty())
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    else
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, sortie.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
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
    const auto limite = std::chrono::steady_clock::now() + 20s;
    while (std::chrono::steady_clock::now() < limite) {
        if (!EnMarche()) return false;
        const int s = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const bool ok = connect(s, reinterpret_cast<sockaddr*>(&adresse), sizeof adresse) == 0;
        close(s);
        if (ok) return Pactl({"info"}) == 0;
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

bool ServeurSon::AttendFichier(const std::string& chemin, pid_t& pid) {
    const auto limite = std::chrono::steady_clock::now() + 20s;
    while (std::chrono::steady_clock::now() < limite) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            pid = -1;
            return false;
        }
        if (std::filesystem::exists(chemin)) return true;
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

int ServeurSon::Pactl(const std::vector<std::string>& arguments) {
    return PactlVers(arguments, "");
}

int ServeurSon::PactlVers(const std::vector<std::string>& arguments, const std::string& sortie) {
    std::vector<std::string> commande = {"pactl"};
    commande.insert(commande.end(), arguments.begin(), arguments.end());
    const pid_t pid = Lance(commande, false, sortie);
    if (pid <= 0) return -1;
    int statut = 0;
    if (waitpid(pid, &statut, 0) != pid) return -1;
    return WIFEXITED(statut) ? WEXITSTATUS(statut) : -1;
}

std::string ServeurSon::PactlTexte(const std::vector<std::string>& arguments) {
    const std::string fichier = dossier_ + "/pactl.txt";
    if (PactlVers(arguments, fichier) != 0) return "";
    std::ifstream entree(fichier);
    std::string texte((std::istreambuf_iterator<char>(entree)), std::istreambuf_iterator<char>());
    while (!texte.empty() && (texte.back() == '\n' || texte.back() == '\r'))
        texte.pop_back();
    return texte;
}

bool ServeurSon::AttendLecteur() {
    const auto limite = std::chrono::steady_clock::now() + 20s;
    while (std::chrono::steady_clock::now() < limite) {
        if (waitpid(lecteur_, nullptr, WNOHANG) == lecteur_) {
            lecteur_ = -1;
            return false;
        }
        if (!PactlTexte({"list", "short", "source-outputs"}).empty()) return true;
        std::this_thread::sleep_for(10ms);
    }
    return false;
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
    Arrete({&joueur_});
}

void ServeurSon::Tue() {
    if (serveur_ > 0) {
        kill(serveur_, SIGKILL);
        waitpid(serveur_, nullptr, 0);
        serveur_ = -1;
    }
}

std::vector<TypeServeur> ServeursEssayes() {
    return {TypeServeur::PulseAudio, TypeServeur::PipeWire};
}

bool ServeurChoisi(TypeServeur type) {
    const char* choisi = std::getenv("TAMBURELLA_SERVEUR_SON");
    return !choisi || !*choisi || std::string_view(choisi) == NomServeur(type);
}

const char* NomServeur(TypeServeur type) {
    return type == TypeServeur::PipeWire ? "PipeWire" : "PulseAudio";
}

ServeurSon& ServeurPartage(TypeServeur type) {
    static std::array<std::unique_ptr<ServeurSon>, 2> partages;
    std::unique_ptr<ServeurSon>& serveur = partages[type == TypeServeur::PipeWire ? 1 : 0];
    if (!serveur || !serveur->EnMarche()) {
        serveur.reset();
        serveur = std::make_unique<ServeurSon>(type);
    }
    serveur->ArreteJeu();
    serveur->Active();
    return *serveur;
}

} // namespace essai
