// What the engine asks of the windows. The engine never touches a widget: an
// implementation runs each request on the GUI thread (the scope window through its
// hand-over, display::Passerelle); tests implement it directly.
//
// The acquisition thread's requests below block until the GUI thread has run them, so
// that the picture and the trace arrays are never used by both threads at once. The
// defaults do nothing, for implementations without windows.
//
// That blocking is the only ordering between the two threads' uses of the arrays, so it
// must be one ThreadSanitizer sees: Qt's blocking queued connection waits on a semaphore
// built on futexes, which it does not. Post the step with a queued call and wait for it on
// a std::mutex and std::condition_variable (or a std::promise) that the GUI side signals
// once the step has run.
#pragma once

#include <cstdint>

namespace engine {

class InterfaceGui {
public:
    virtual ~InterfaceGui() = default;

    // Single-shot trigger accepted: the control window shows the paused state (pause
    // button pressed with the caption "Go", frame-rate label "Pause"). Does not wait.
    virtual void ArretUnique() = 0;

    // Blocking. If the scope window has its picture: grid and traces, then the cursors
    // and the trigger marker, into it.
    virtual void Dessiner() {}
    // Blocking. Present and measure: PresenteEtMesure (engine/TscopeThread.h) with the
    // window's picture and its frame-rate label FreqR.
    virtual void Afficher() {}
    // Blocking, after the loop: grid and traces without the cursors, so that the picture
    // holds the last frame for repaints while paused.
    virtual void DessinerImage() {}
    // Blocking. Universal synchronisation: the horizontal-position track bar is disabled
    // while the loop runs (the engine places the trace itself)...
    virtual void DesactiveDepF() {}
    // ...and afterwards set to `position` (no change handler runs) and enabled again.
    virtual void ReactiveDepF(int32_t /*position*/) {}
    // The loop failed: show `message` (title "Problème Tamburella", OK button) and the
    // paused state (pause button caption "Go", FreqR caption "Pause"). Capture has
    // already been stopped. May return before the user closes the box.
    virtual void ErreurCalcul(const char* /*message*/) {}
    // Does not wait. The thread has finished its last steps (TscopeThread::Termine() is
    // true): work on the arrays that waited for its last turn may run on the GUI thread.
    virtual void FinThread() {}
};

} // namespace engine
