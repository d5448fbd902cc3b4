// The signal loaders read from a file descriptor: the fuzz input goes into a memory file.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

inline int FichierMemoire(const uint8_t* donnees, size_t taille) {
    static const int fd = ::memfd_create("fuzz", MFD_CLOEXEC);
    if (fd < 0 || ::ftruncate(fd, 0) != 0 || ::lseek(fd, 0, SEEK_SET) != 0) std::abort();
    for (size_t ecrits = 0; ecrits < taille;) {
        const ssize_t n = ::write(fd, donnees + ecrits, taille - ecrits);
        if (n <= 0) std::abort();
        ecrits += static_cast<size_t>(n);
    }
    if (::lseek(fd, 0, SEEK_SET) != 0) std::abort();
    return fd;
}
