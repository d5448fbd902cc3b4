// Entry point of every test program: the sanitizers' defaults (read before main, so
// they live here rather than in the environment), then GoogleTest.

#include <gtest/gtest.h>

#include <cstdlib>

extern "C" {
// Used only when the program is built with the matching sanitizer.
const char* __asan_default_options() {
    return "detect_leaks=1:strict_string_checks=1";
}
const char* __ubsan_default_options() {
    return "halt_on_error=1:print_stacktrace=1";
}
const char* __tsan_default_options() {
    return "halt_on_error=1:second_deadlock_stack=1";
}
// Leaks of the font and D-Bus libraries that Qt loads are theirs, not ours.
const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\nleak:libdbus\n";
}
// Races inside uninstrumented system libraries, if any, are listed here. libpulse hands
// its own mutexes between threads through atomics that ThreadSanitizer cannot see, and
// likewise the packet memory it recycles across connections (two streams in one process).
const char* __tsan_default_suppressions() {
    return "race:pa_mutex_lock\nrace:pa_iochannel_read_with_ancil_data\nrace:pa_srbchannel_read\n"
           "race:pa_packet_\nrace:pa_tagstruct_\n";
}
}

int main(int argc, char** argv) {
    // Window tests draw off screen unless a display is asked for explicitly.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
