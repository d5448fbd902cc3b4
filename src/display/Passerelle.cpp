#include "display/Passerelle.h"

#include <QSocketNotifier>

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace display {

Passerelle::Passerelle(QObject& parent) : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    notificateur_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read, &parent);
    QObject::connect(notificateur_.get(), &QSocketNotifier::activated, notificateur_.get(),
                     [this] { Sert(); });
}

Passerelle::~Passerelle() {
    notificateur_.reset();
    if (fd_ >= 0) close(fd_);
}

void Passerelle::Reveille() {
    const uint64_t un = 1;
    // The count saturates long before it matters: a failed write means it is non-zero.
    [[maybe_unused]] const ssize_t n = write(fd_, &un, sizeof un);
}

void Passerelle::Poste(std::function<void()> tache) {
    std::lock_guard verrou(mutex_);
    postes_.push_back(std::move(tache));
    Reveille();
}

void Passerelle::Sert() {
    uint64_t compte = 0;
    [[maybe_unused]] const ssize_t n = read(fd_, &compte, sizeof compte);
    std::deque<std::function<void()>> postes;
    Appel* appel = nullptr;
    {
        std::lock_guard verrou(mutex_);
        postes.swap(postes_);
        appel = bloquant_;
        bloquant_ = nullptr;
    }
    // The waiting thread first: a posted task may open a message box, whose own event
    // loop must not hold the frames back (and may serve later hand-overs itself).
    if (appel) {
        appel->executer(appel->tache);
        {
            std::lock_guard verrou(mutex_);
            appel->fait = true;
        }
        fait_.notify_all();
    }
    for (std::function<void()>& p : postes)
        p();
}

} // namespace display
