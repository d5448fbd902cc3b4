#include "platform/FileLecture.h"

#include <algorithm>
#include <atomic>

namespace platform {

CodeLecture VerifieTampon(const TamponLecture& tampon) {
    if (!tampon.Donnees || tampon.Octets > tampon.Capacite) return ParametreInvalide;
    return LectureReussie;
}

CodeLecture FileLecture::Ajoute(TamponLecture& tampon) {
    if (!tampon.Prepare) return NonPrepare;
    if (tampon.EnFile) return EncoreEnFile;
    if (const CodeLecture c = VerifieTampon(tampon)) return c;
    if (nombre_ == Capacite) return MemoireInsuffisante;
    file_[(tete_ + nombre_) % Capacite] = &tampon;
    ++nombre_;
    tampon.EnFile = true;
    return LectureReussie;
}

void FileLecture::Vide() {
    while (nombre_ > 0)
        Retire();
}

void FileLecture::Retire() {
    Tete().EnFile = false;
    tete_ = (tete_ + 1) % Capacite;
    --nombre_;
    lus_ = 0;
}

size_t FileLecture::Remplit(int16_t* destination, size_t octets, size_t tailleTrame,
                            NotificationLecture* notification) {
    octets -= octets % tailleTrame;
    size_t copies = 0;
    for (;;) {
        // Buffers played to their end, and empty ones, go back first.
        while (nombre_ > 0) {
            TamponLecture& t = Tete();
            const uint32_t longueur = t.Octets - t.Octets % static_cast<uint32_t>(tailleTrame);
            if (longueur > 0 && (t.Boucle || lus_ < longueur)) break;
            Retire();
            if (notification) notification->TamponTermine(t);
        }
        if (nombre_ == 0 || copies == octets) return copies;
        TamponLecture& t = Tete();
        const uint32_t longueur = t.Octets - t.Octets % static_cast<uint32_t>(tailleTrame);
        const size_t n = std::min<size_t>(octets - copies, longueur - lus_);
        int16_t* source = t.Donnees + lus_ / 2;
        int16_t* cible = destination + copies / 2;
        for (size_t k = 0; k < n / 2; ++k)
            cible[k] = std::atomic_ref<int16_t>(source[k]).load(std::memory_order_relaxed);
        copies += n;
        lus_ += static_cast<uint32_t>(n);
        if (t.Boucle && lus_ == longueur) lus_ = 0;
    }
}

} // namespace platform
