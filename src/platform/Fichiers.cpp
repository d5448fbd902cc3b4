#include "platform/Fichiers.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

bool EcritTout(int fd, std::string_view contenu) {
    while (!contenu.empty()) {
        const ssize_t ecrits = ::write(fd, contenu.data(), contenu.size());
        if (ecrits < 0 && errno == EINTR) continue;
        if (ecrits <= 0) return false;
        contenu.remove_prefix(static_cast<size_t>(ecrits));
    }
    return true;
}

// Makes the rename itself durable. Best effort: the file is already whole either way.
void SynchroniseDossier(const char* chemin) {
    char dossier[4096];
    const char* barre = std::strrchr(chemin, '/');
    const size_t longueur = barre ? static_cast<size_t>(barre - chemin) : 0;
    if (longueur >= sizeof dossier) return;
    if (barre == chemin) {
        dossier[0] = '/', dossier[1] = '\0';
    } else if (barre) {
        std::memcpy(dossier, chemin, longueur);
        dossier[longueur] = '\0';
    } else {
        dossier[0] = '.', dossier[1] = '\0';
    }
    const int fd = ::open(dossier, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

std::string NomTemporaire(const std::string& chemin) {
    return chemin + "." + std::to_string(::getpid()) + "-" + std::to_string(::gettid()) + ".tmp";
}

bool RemplaceFichier(const char* chemin, const char* temporaire, std::string_view contenu,
                     bool synchronise, int mode) {
    const int fd = ::open(temporaire, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    bool reussi = EcritTout(fd, contenu);
    if (reussi && mode >= 0) reussi = ::fchmod(fd, static_cast<mode_t>(mode)) == 0;
    if (reussi && synchronise) reussi = ::fsync(fd) == 0;
    // close reports write-back errors of some file systems (NFS): it counts too.
    if (::close(fd) != 0) reussi = false;
    if (reussi) reussi = ::rename(temporaire, chemin) == 0;
    if (!reussi) {
        ::unlink(temporaire);
        return false;
    }
    if (synchronise) SynchroniseDossier(chemin);
    return true;
}

bool EcritureRefusee(const char* chemin) {
    struct stat etat;
    if (::stat(chemin, &etat) != 0) return false;
    return (etat.st_mode & 0222) == 0 || ::access(chemin, W_OK) != 0;
}

bool CreeDossiers(const std::string& dossier) {
    struct stat etat;
    if (dossier.empty()) return true;
    if (::stat(dossier.c_str(), &etat) == 0) return S_ISDIR(etat.st_mode);
    const size_t barre = dossier.find_last_of('/');
    if (barre != std::string::npos && barre > 0 && !CreeDossiers(dossier.substr(0, barre)))
        return false;
    return ::mkdir(dossier.c_str(), 0777) == 0 || errno == EEXIST;
}

} // namespace platform
