#pragma once
#include <string>
#include <variant>

namespace ovplat {

// The reason given for a file whose bytes are not UTF-8 text.
inline constexpr const char* kNotUtf8Reason = "the content is not valid UTF-8";

struct FileError {
    std::string reason;  // the system's text for the failure
};

// Reads a whole file by its UTF-8 path. Fails with the system's reason (no trailing white
// space), and with kNotUtf8Reason when the bytes are not UTF-8 text.
std::variant<std::string, FileError> read_utf8_file(const std::string& path);

}  // namespace ovplat
