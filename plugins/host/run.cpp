#include "run.h"

#include "main_loop.h"
#include "platform/stdio.h"
#include "scan.h"

#include <charconv>

namespace ovhost {

std::uint64_t parse_channels_argument(std::string_view text) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty() || text.front() < '0' || text.front() > '9') return 1;
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return 1;
    return value;
}

CommandLine parse_command_line(const std::vector<std::string>& arguments) {
    CommandLine line;
    if (arguments.empty()) return line;
    if (arguments[0] == "scan") {
        line.mode = arguments.size() >= 2 ? Mode::scan : Mode::incomplete;
        if (line.mode == Mode::scan) line.path = arguments[1];
    } else if (arguments[0] == "rack") {
        line.mode = arguments.size() >= 3 ? Mode::rack : Mode::incomplete;
        if (line.mode == Mode::rack) {
            line.mapping = arguments[1];
            line.channels = parse_channels_argument(arguments[2]);
        }
    }
    return line;
}

int run(const std::vector<std::string>& arguments) {
    ovplat::prepare_standard_streams();
    const CommandLine line = parse_command_line(arguments);
    switch (line.mode) {
        case Mode::usage_error: ovplat::write_stderr(kUsageLine); return kExitUsage;
        case Mode::incomplete: return kExitUsage;
        case Mode::scan: return run_scan(line.path);
        case Mode::rack: return run_rack_mode(line.mapping, line.channels);
    }
    return kExitUsage;
}

}  // namespace ovhost
