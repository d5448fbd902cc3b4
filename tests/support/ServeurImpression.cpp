#include "support/ServeurImpression.h"
#include "support/Processus.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace essai {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

void Ecrit(const std::string& chemin, const std::string& texte) {
    std::ofstream(chemin) << texte;
}

// cupsd in the foreground, ended by the kernel if this process dies without its
// destructors (a sanitizer's abort): no server outlives its test.
pid_t LanceServeur(const std::vector<std::string>& arguments, const std::string& journal) {
    std::vector<std::string> args = arguments;
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) ::_exit(1);
    const int nul = ::open("/dev/null", O_RDWR);
    const int erreurs = ::open(journal.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    ::dup2(nul, STDIN_FILENO);
    ::dup2(nul, STDOUT_FILENO);
    ::dup2(erreurs, STDERR_FILENO);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
}

// Queue settings left in /etc/cups by test processes that were killed.
void BalaieReglagesOrphelins() {
    std::error_code e;
    for (const auto& entree : fs::directory_iterator("/etc/cups", e)) {
        const std::string nom = entree.path().filename().string();
        static const std::string Debut = "cups-pdf-tamburella";
        if (nom.rfind(Debut, 0) != 0) continue;
        const int pid = std::atoi(nom.c_str() + Debut.size());
        if (pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH) fs::remove(entree.path(), e);
    }
}

} // namespace

ServeurImpression::ServeurImpression() {
    if (::geteuid() != 0) {
        erreur_ = "cups-pdf prints only for root: run the print tests as root";
        return;
    }
    std::string modele = (fs::temp_directory_path() / "tamburella-cups-XXXXXX").string();
    if (!::mkdtemp(modele.data())) {
        erreur_ = "mkdtemp";
        return;
    }
    dossier_ = modele;
    // The filters run as lp: they must reach the spool and the temporary folder.
    ::chmod(dossier_.c_str(), 0755);
    for (const char* d : {"etc", "etc/ppd", "spool", "tmp", "cache", "state", "log", "pdf"})
        fs::create_directories(dossier_ + "/" + d);
    ::chmod((dossier_ + "/tmp").c_str(), 01777);
    ::chmod((dossier_ + "/pdf").c_str(), 0777);
    socket_ = dossier_ + "/cups.sock";
    file_ = "tamburella" + std::to_string(::getpid());

    Ecrit(dossier_ + "/cups-files.conf",
          "ServerRoot " + dossier_ + "/etc\nRequestRoot " + dossier_ + "/spool\nTempDir " +
              dossier_ + "/tmp\nCacheDir " + dossier_ + "/cache\nStateDir " + dossier_ +
              "/state\nErrorLog " + dossier_ + "/log/error_log\nAccessLog " + dossier_ +
              "/log/access_log\nPageLog " + dossier_ +
              "/log/page_log\nUser lp\nGroup lp\nSystemGroup root\nFileDevice No\n");
    Ecrit(dossier_ + "/cupsd.conf", "LogLevel info\nListen " + socket_ +
                                        "\nBrowsing No\nWebInterface No\nDefaultAuthType None\n"
                                        "<Location />\n  Order allow,deny\n  Allow all\n"
                                        "</Location>\n<Policy default>\n  <Limit All>\n"
                                        "    Order deny,allow\n  </Limit>\n</Policy>\n");
    // cups-pdf reads the settings named after its device's queue name from /etc/cups.
    BalaieReglagesOrphelins();
    reglagesPdf_ = "/etc/cups/cups-pdf-" + file_ + ".conf";
    Ecrit(reglagesPdf_, "Out " + Sorties() + "\nAnonDirName " + Sorties() + "\nGrp root\n");

    serveur_ = LanceServeur(
        {"cupsd", "-f", "-c", dossier_ + "/cupsd.conf", "-s", dossier_ + "/cups-files.conf"},
        dossier_ + "/cupsd.err");
    if (serveur_ < 0) {
        erreur_ = "cupsd could not be started";
        return;
    }
    const auto fin = std::chrono::steady_clock::now() + 20s;
    struct stat etat;
    while (::stat(socket_.c_str(), &etat) != 0) {
        if (std::chrono::steady_clock::now() > fin ||
            ::waitpid(serveur_, nullptr, WNOHANG) == serveur_) {
            erreur_ = "cupsd did not answer (see " + dossier_ + "/cupsd.err)";
            return;
        }
        std::this_thread::sleep_for(20ms);
    }
    // This process's clients, Qt's print support included, go to this server.
    ::setenv("CUPS_SERVER", socket_.c_str(), 1);
    if (Execute({"lpadmin", "-h", socket_, "-p", file_, "-v", "cups-pdf:/" + file_, "-E", "-P",
                 "/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd"}) != 0) {
        erreur_ = "lpadmin could not add the queue";
        return;
    }
    pret_ = true;
}

ServeurImpression::~ServeurImpression() {
    if (serveur_ > 0) {
        ::kill(serveur_, SIGTERM);
        const auto fin = std::chrono::steady_clock::now() + 10s;
        bool fini = false;
        while (!fini && std::chrono::steady_clock::now() < fin) {
            fini = ::waitpid(serveur_, nullptr, WNOHANG) == serveur_;
            if (!fini) std::this_thread::sleep_for(10ms);
        }
        if (!fini) {
            ::kill(serveur_, SIGKILL);
            ::waitpid(serveur_, nullptr, 0);
        }
    }
    if (!reglagesPdf_.empty()) ::unlink(reglagesPdf_.c_str());
    std::error_code e;
    if (!dossier_.empty()) fs::remove_all(dossier_, e);
}

int ServeurImpression::Execute(const std::vector<std::string>& arguments, std::string* sortie) {
    int tube[2] = {-1, -1};
    if (sortie && ::pipe(tube) != 0) return -1;
    const pid_t pid = LanceProcessus(arguments, sortie ? tube[1] : -1, dossier_ + "/clients.err");
    if (sortie) {
        ::close(tube[1]);
        char tampon[4096];
        ssize_t n;
        while ((n = ::read(tube[0], tampon, sizeof tampon)) > 0 || (n < 0 && errno == EINTR))
            if (n > 0) sortie->append(tampon, static_cast<size_t>(n));
        ::close(tube[0]);
    }
    int statut = 0;
    if (pid < 0 || ::waitpid(pid, &statut, 0) != pid) return -1;
    return WIFEXITED(statut) ? WEXITSTATUS(statut) : -1;
}

std::vector<std::string> ServeurImpression::Travaux(const char* quels) {
    std::string texte;
    Execute({"lpstat", "-h", socket_, "-W", quels, "-o"}, &texte);
    std::vector<std::string> lignes;
    size_t debut = 0;
    while (debut < texte.size()) {
        const size_t fin = texte.find('\n', debut);
        const std::string ligne = texte.substr(debut, fin - debut);
        if (!ligne.empty()) lignes.push_back(ligne.substr(0, ligne.find(' ')));
        if (fin == std::string::npos) break;
        debut = fin + 1;
    }
    return lignes;
}

std::vector<std::string> ServeurImpression::TravauxEnCours() {
    return Travaux("not-completed");
}

std::vector<std::string> ServeurImpression::TravauxTermines() {
    return Travaux("completed");
}

std::vector<std::string> ServeurImpression::Pdf() const {
    std::vector<std::string> fichiers;
    std::error_code e;
    for (const auto& entree : fs::directory_iterator(Sorties(), e))
        if (entree.path().extension() == ".pdf") fichiers.push_back(entree.path().string());
    std::sort(fichiers.begin(), fichiers.end());
    return fichiers;
}

std::vector<std::string> ServeurImpression::AttendPdf(size_t nombre, std::chrono::seconds limite) {
    const auto fin = std::chrono::steady_clock::now() + limite;
    while (std::chrono::steady_clock::now() < fin) {
        // A job is completed once cups-pdf has closed its file.
        if (TravauxTermines().size() >= nombre && TravauxEnCours().empty() &&
            Pdf().size() >= nombre)
            return Pdf();
        std::this_thread::sleep_for(50ms);
    }
    return {};
}

} // namespace essai
