#pragma once
// What the tests of the POSIX main loop and of the plug-ins' run loop share: a loop made for
// the test, a run of it for a while, and a non-blocking pipe to watch.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "platform/main_loop.h"

namespace ovtest {

inline std::unique_ptr<ovplat::MainLoop> make_loop() {
    std::string error;
    auto loop = ovplat::MainLoop::create(error);
    EXPECT_TRUE(loop) << error;
    return loop;
}

// Runs the loop for about `span` (it stops at the first tick after), or until `done`.
inline void run_for(ovplat::MainLoop& loop, std::chrono::milliseconds span, const std::function<bool()>& done = {}) {
    const auto end = std::chrono::steady_clock::now() + span;
    loop.run([&] { return std::chrono::steady_clock::now() < end && !(done && done()); });
}

// Both ends non-blocking and closed on exec.
struct Pipe {
    int read_end = -1;
    int write_end = -1;
    Pipe() {
        int ends[2];
        EXPECT_EQ(pipe2(ends, O_CLOEXEC | O_NONBLOCK), 0);
        read_end = ends[0];
        write_end = ends[1];
    }
    ~Pipe() {
        close_writer();
        if (read_end >= 0) close(read_end);
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    void write_text(const std::string& text) const {
        ASSERT_EQ(write(write_end, text.data(), text.size()), ssize_t(text.size()));
    }
    void poke() const { EXPECT_EQ(write(write_end, "x", 1), 1); }
    void close_writer() {
        if (write_end >= 0) close(std::exchange(write_end, -1));
    }
    // Everything readable now.
    std::string read_all() const {
        std::string out;
        char buffer[64];
        ssize_t got;
        while ((got = read(read_end, buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<std::size_t>(got));
        return out;
    }
    void drain() const { (void)read_all(); }
};

}  // namespace ovtest
