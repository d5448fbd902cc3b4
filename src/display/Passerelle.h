// The hand-over from another thread to the GUI thread: a queued call on a QObject of the
// GUI thread, and, for the blocking form, a wait on a std::mutex and condition variable
// that the GUI side signals once the call has run. ThreadSanitizer sees that wait (it
// does not see Qt's own blocking connection), so what the caller wrote before the
// hand-over happens before the call, and what the call wrote before the caller resumes.
#pragma once

#include <QMetaObject>
#include <QObject>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <utility>

namespace display {

class Passerelle {
public:
    // `cible`: lives on the GUI thread and outlives every caller's wait.
    explicit Passerelle(QObject& cible) : cible_(cible) {}

    // Any thread but the GUI thread: runs `tache` on the GUI thread and waits for it.
    template <class Tache>
    void Remet(Tache&& tache) {
        std::unique_lock verrou(mutex_);
        const uint64_t numero = ++demandes_;
        QMetaObject::invokeMethod(
            &cible_,
            [this, &tache, numero] {
                // Taking the lock once orders the caller's writes before the task.
                { std::lock_guard entree(mutex_); }
                tache();
                {
                    std::lock_guard sortie(mutex_);
                    faites_ = numero;
                }
                fait_.notify_all();
            },
            Qt::QueuedConnection);
        fait_.wait(verrou, [&] { return faites_ >= numero; });
    }

    // Any thread: runs `tache` on the GUI thread later; does not wait. The task is
    // dropped if the target is destroyed first.
    template <class Tache>
    void Poste(Tache&& tache) {
        QMetaObject::invokeMethod(&cible_, std::forward<Tache>(tache), Qt::QueuedConnection);
    }

private:
    QObject& cible_;
    std::mutex mutex_;
    std::condition_variable fait_;
    uint64_t demandes_ = 0;
    uint64_t faites_ = 0;
};

} // namespace display
