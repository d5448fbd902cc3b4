// Waiting in tests that involve time, sound or a window: a condition polled until it holds
// or a deadline passes, never a fixed sleep, so a busy machine only makes a test slower.
#pragma once

#include <chrono>
#include <thread>

namespace essai {

// Polls `condition` every `pas` until it holds (true) or `limite` has passed (false); the
// condition is evaluated once more at the deadline.
template <class Condition>
bool AttendQue(Condition condition, std::chrono::milliseconds limite = std::chrono::seconds(10),
               std::chrono::milliseconds pas = std::chrono::milliseconds(10)) {
    const auto fin = std::chrono::steady_clock::now() + limite;
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= fin) return false;
        std::this_thread::sleep_for(pas);
    }
}

} // namespace essai
