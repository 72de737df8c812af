#include "platform/stdio.h"

#include <cerrno>
#include <csignal>
#include <mutex>
#include <poll.h>
#include <unistd.h>

namespace ovplat {

std::vector<std::string> program_arguments(int argc, char** argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
    return arguments;
}

void prepare_standard_streams() { std::signal(SIGPIPE, SIG_IGN); }

namespace {

// Waits for data, the end of input or an error on `fd`; false when the wait itself fails.
bool wait_until_readable(int fd) {
    pollfd watched{fd, POLLIN, 0};
    for (;;) {
        if (::poll(&watched, 1, -1) >= 0) return true;
        if (errno != EINTR) return false;
    }
}

}  // namespace

std::size_t read_stdin(char* buffer, std::size_t size) {
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, buffer, size);
        if (got > 0) return static_cast<std::size_t>(got);
        if (got == 0) return 0;
        if (errno == EINTR) continue;
        // A non-blocking standard input (the parent's choice) has nothing yet: wait until it
        // is readable, or closed, and read again.
        if ((errno == EAGAIN || errno == EWOULDBLOCK) && wait_until_readable(STDIN_FILENO)) continue;
        return 0;
    }
}

namespace {

std::mutex& stdout_mutex() {
    static std::mutex mutex;
    return mutex;
}

void write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t put = ::write(fd, bytes.data(), bytes.size());
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return;
        bytes.remove_prefix(static_cast<std::size_t>(put));
    }
}

}  // namespace

void write_stdout_line(std::string_view line) {
    std::string piece;
    piece.reserve(line.size() + 1);
    piece.append(line);
    piece.push_back('\n');
    std::lock_guard<std::mutex> lock(stdout_mutex());
    write_all(STDOUT_FILENO, piece);  // unbuffered: nothing is left to flush
}

void write_stderr(std::string_view text) { write_all(STDERR_FILENO, text); }

}  // namespace ovplat
