#pragma once
#include <string>
#include <variant>

namespace ovplat {

struct FileError {
    std::string reason;  // the system's text for the failure
};

// Reads a whole file by its UTF-8 path. Fails with the system's reason, also when the
// content is not valid UTF-8.
std::variant<std::string, FileError> read_utf8_file(const std::string& path);

}  // namespace ovplat
