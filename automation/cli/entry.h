#pragma once
// The whole of one ovctl run: the option scan, help and version, the API exchange, the
// printing and the exit code.
#include "types.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ovctl {

struct CommandLine {
    GlobalOptions options;
    Words words;  // the arguments that are not options, as typed
};

// Takes the options out of the arguments wherever they stand; stops at the first error.
Result<CommandLine> scan_command_line(const std::vector<std::string>& arguments);

// The help text, without a final new line.
std::string_view help_text();

// "ovctl 0.9.0 (API 1.x)".
std::string version_line();

// The id of the first sound in a sound.list answer whose name equals `name` ignoring ASCII
// case, when that sound has a non-negative integer id.
std::optional<std::uint64_t> find_sound_id(const Json& sound_list, std::string_view name);

// What a run writes to standard output and standard error, and its exit code.
struct RunOutput {
    std::string out;
    std::string err;
    int exit_code = 0;
};

// The arguments as valid UTF-8: each invalid byte sequence becomes U+FFFD. Windows arguments
// come from UTF-16 and are valid already; elsewhere they are whatever bytes were typed.
std::vector<std::string> valid_utf8_arguments(const std::vector<std::string>& arguments);

// One run without the printing: the arguments are those after the program name, made valid
// UTF-8 first.
RunOutput execute(const std::vector<std::string>& arguments);

// One run: executes, prints and returns the process exit code.
int run(const std::vector<std::string>& arguments);

}  // namespace ovctl
