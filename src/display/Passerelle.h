// The hand-over from another thread to the GUI thread. The other thread never calls into
// Qt: it leaves the task under a std::mutex and wakes the GUI thread through an eventfd
// that a QSocketNotifier of the GUI thread watches; the GUI thread runs the task and, for
// the blocking form, signals a std::condition_variable. Every datum crosses under the
// mutex, so ThreadSanitizer sees the order (it sees neither Qt's blocking connection nor
// the objects a queued call builds on the other thread), and a hand-over allocates
// nothing.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <type_traits>

class QObject;
class QSocketNotifier;

namespace display {

class Passerelle {
public:
    // GUI thread. `parent` owns the notifier: the tasks run on its thread's event loop.
    explicit Passerelle(QObject& parent);
    ~Passerelle();
    Passerelle(const Passerelle&) = delete;
    Passerelle& operator=(const Passerelle&) = delete;

    // Any thread but the GUI thread: runs `tache` on the GUI thread and waits for it.
    // One caller at a time waits; a second one waits for its turn.
    template <class Tache>
    void Remet(Tache&& tache) {
        Appel appel{[](void* t) { (*static_cast<std::remove_reference_t<Tache>*>(t))(); }, &tache};
        std::unique_lock verrou(mutex_);
        fait_.wait(verrou, [this] { return bloquant_ == nullptr; });
        bloquant_ = &appel;
        Reveille();
        fait_.wait(verrou, [&] { return appel.fait; });
        // The next caller may go once this one's task is taken (Sert clears bloquant_).
        fait_.notify_all();
    }

    // Any thread: runs `tache` on the GUI thread later; does not wait. Rare (the end of a
    // loop, an error): the small queue may allocate.
    void Poste(std::function<void()> tache);

private:
    struct Appel {
        void (*executer)(void*);
        void* tache;
        bool fait = false;
    };
    // The other thread's side, mutex held: one count on the eventfd.
    void Reveille();
    // The GUI thread's side, when the eventfd is readable.
    void Sert();

    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> notificateur_;
    std::mutex mutex_;
    std::condition_variable fait_;
    Appel* bloquant_ = nullptr;
    std::deque<std::function<void()>> postes_;
};

} // namespace display
