// For calls that must never wait on a named pipe: the call runs on a thread of its own and
// the test learns whether it returned in time. When it did not, the pipes are opened and
// closed once from both ends, which releases a reader or a writer blocked in open, so the
// test ends with a failure instead of hanging.
#pragma once

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <future>
#include <string>
#include <unistd.h>
#include <vector>

inline bool RevientATemps(const std::function<void()>& appel, const std::vector<std::string>& tubes,
                          std::chrono::seconds delai = std::chrono::seconds(10)) {
    auto fin = std::async(std::launch::async, appel);
    if (fin.wait_for(delai) == std::future_status::ready) return true;
    // A released writer then finds no reader: it must get an error, not the signal.
    std::signal(SIGPIPE, SIG_IGN);
    for (const std::string& tube : tubes) {
        const int fd = ::open(tube.c_str(), O_RDWR | O_NONBLOCK);
        if (fd >= 0) ::close(fd);
    }
    fin.wait();
    return false;
}
