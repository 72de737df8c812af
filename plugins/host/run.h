#pragma once
// ov-pluginhost's entry: the command line, the choice of mode and the exit codes.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ovhost {

inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitAttachFailed = 3;
inline constexpr int kExitAudioThreadFailed = 4;

inline constexpr std::string_view kUsageLine = "usage: ov-pluginhost scan <path> | rack <mapping> <channels>\n";

// The <channels> argument: an unsigned decimal number with an optional leading "+";
// anything else (empty, other signs, spaces, overflow) counts as 1.
std::uint64_t parse_channels_argument(std::string_view text);

enum class Mode { usage_error, incomplete, scan, rack };
struct CommandLine {
    Mode mode = Mode::usage_error;
    std::string path;     // scan
    std::string mapping;  // rack
    std::uint64_t channels = 1;
};
// Reads the arguments after the program name; extra arguments are ignored.
CommandLine parse_command_line(const std::vector<std::string>& arguments);

// Runs the program with the arguments after its name and returns the exit code.
int run(const std::vector<std::string>& arguments);

}  // namespace ovhost
