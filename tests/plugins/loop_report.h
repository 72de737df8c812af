#pragma once
// What the Linux test views that run on the host's loop did, one line per event appended to
// the file named by OV_TEST_LOOP_LOG (nothing when it is unset):
//   "<view> <event> <main|other> <microseconds>"
// <view> names the plug-in ("vst3", "clap", with "-forgetful" for the views that leave their
// timers and watches to the host), <main|other> whether the calling thread is the one the
// view was made on, and the time is of a steady clock, for the periods between timer calls.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace ovtestloop {

inline void report(const std::string& view, const char* event, std::thread::id main_thread) {
    const char* path = std::getenv("OV_TEST_LOOP_LOG");
    if (path == nullptr || *path == '\0') return;
    std::FILE* file = std::fopen(path, "a");
    if (file == nullptr) return;
    const auto now = std::chrono::duration_cast<std::chrono::microseconds>(
                         std::chrono::steady_clock::now().time_since_epoch())
                         .count();
    std::fprintf(file, "%s %s %s %lld\n", view.c_str(), event,
                 std::this_thread::get_id() == main_thread ? "main" : "other", static_cast<long long>(now));
    std::fclose(file);
}

// The timer period every test view asks for: a 60 Hz redraw.
inline constexpr unsigned kRedrawPeriodMs = 16;
// Every this many timer calls the view writes to its own pipe, which it watches.
inline constexpr int kPipeEveryTicks = 4;

}  // namespace ovtestloop
