// What the engine asks of the windows. The engine never touches a widget: an
// implementation runs each request on the GUI thread (the windows use
// Qt::BlockingQueuedConnection or a queued call); tests implement it directly.
#pragma once

namespace engine {

class InterfaceGui {
public:
    virtual ~InterfaceGui() = default;

    // Single-shot trigger accepted: the control window shows the paused state (pause
    // button pressed with the caption "Go", frame-rate label "Pause"). Does not wait.
    virtual void ArretUnique() = 0;
};

} // namespace engine
