#include "platform/files.h"

#include "ov/text.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace ovplat {

std::variant<std::string, FileError> read_utf8_file(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return FileError{std::strerror(errno)};
    std::string content;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0) {
            content.append(buffer, static_cast<std::size_t>(got));
            continue;
        }
        if (got == 0) break;
        if (errno == EINTR) continue;
        const int code = errno;
        ::close(fd);
        return FileError{std::strerror(code)};
    }
    ::close(fd);
    if (!ov::text::is_valid_utf8(content)) return FileError{kNotUtf8Reason};
    return content;
}

}  // namespace ovplat
