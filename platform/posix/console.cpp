#include "platform/console.h"

#include <cerrno>
#include <unistd.h>

namespace ovplat {
namespace {

bool write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

}  // namespace

std::vector<std::string> command_line_arguments(int argc, char** argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
    return arguments;
}

Utf8ConsoleOutput::Utf8ConsoleOutput() = default;
Utf8ConsoleOutput::~Utf8ConsoleOutput() = default;

bool write_standard_output(std::string_view bytes) { return write_all(STDOUT_FILENO, bytes); }
bool write_standard_error(std::string_view bytes) { return write_all(STDERR_FILENO, bytes); }

}  // namespace ovplat
