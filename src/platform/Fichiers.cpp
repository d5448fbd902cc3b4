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

// A new file at `temporaire`. Exclusive creation follows no link and opens no pipe that
// stands at the name; whatever is there (a stale temporary of a killed process with the
// same ids, or something planted) is removed and the creation tried once more.
int CreeTemporaire(const char* temporaire) {
    const int drapeaux = O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC;
    int fd = ::open(temporaire, drapeaux, 0666);
    if (fd < 0 && errno == EEXIST && ::unlink(temporaire) == 0)
        fd = ::open(temporaire, drapeaux, 0666);
    return fd;
}

// Gives the new file the owner, group and permission bits of the one it replaces. Only
// root may give a file away; other users may still pass it to a group of theirs.
bool Adopte(int fd, const struct stat& ancien) {
    struct stat nouveau;
    if (::fstat(fd, &nouveau) != 0) return false;
    bool change = false;
    if (nouveau.st_uid != ancien.st_uid || nouveau.st_gid != ancien.st_gid) {
        change = ::fchown(fd, ancien.st_uid, ancien.st_gid) == 0;
        if (!change && nouveau.st_gid != ancien.st_gid)
            change = ::fchown(fd, static_cast<uid_t>(-1), ancien.st_gid) == 0;
    }
    // After the change of owner, which clears the set-id bits.
    const mode_t mode = ancien.st_mode & 07777;
    if (!change && (nouveau.st_mode & 07777) == mode) return true;
    return ::fchmod(fd, mode) == 0;
}

bool Remplace(const char* chemin, const char* temporaire, std::string_view contenu,
              bool synchronise, int mode, const struct stat* ancien) {
    const int fd = CreeTemporaire(temporaire);
    if (fd < 0) return false;
    bool reussi = EcritTout(fd, contenu);
    if (reussi && ancien) reussi = Adopte(fd, *ancien);
    if (reussi && !ancien && mode >= 0) reussi = ::fchmod(fd, static_cast<mode_t>(mode)) == 0;
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

} // namespace

int OuvreFichierRegulier(const char* chemin) {
    const auto refuse = [](const struct stat& etat) {
        errno = S_ISDIR(etat.st_mode) ? EISDIR : EINVAL;
        return -1;
    };
    struct stat etat;
    if (::stat(chemin, &etat) != 0) return -1;
    if (!S_ISREG(etat.st_mode)) return refuse(etat);
    const int fd = ::open(chemin, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return -1;
    if (::fstat(fd, &etat) != 0 || !S_ISREG(etat.st_mode)) {
        ::close(fd);
        return refuse(etat);
    }
    // Reads of a regular file never wait anyway; the readers get an ordinary descriptor.
    const int drapeaux = ::fcntl(fd, F_GETFL);
    if (drapeaux != -1) ::fcntl(fd, F_SETFL, drapeaux & ~O_NONBLOCK);
    return fd;
}

std::string NomTemporaire(const std::string& chemin) {
    return chemin + "." + std::to_string(::getpid()) + "-" + std::to_string(::gettid()) + ".tmp";
}

bool RemplaceFichier(const char* chemin, const char* temporaire, std::string_view contenu,
                     bool synchronise, int mode) {
    return Remplace(chemin, temporaire, contenu, synchronise, mode, nullptr);
}

bool RemplaceFichier(const char* chemin, const char* temporaire, std::string_view contenu,
                     bool synchronise, const struct stat& ancien) {
    return Remplace(chemin, temporaire, contenu, synchronise, -1, &ancien);
}

bool EcritureRefusee(const char* chemin) {
    struct stat etat;
    return ::stat(chemin, &etat) == 0 && EcritureRefusee(chemin, etat);
}

bool EcritureRefusee(const char* chemin, const struct stat& etat) {
    return !S_ISREG(etat.st_mode) || (etat.st_mode & 0222) == 0 || ::access(chemin, W_OK) != 0;
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
