#include "platform/process_usage.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace ovplat {

std::optional<ProcessUsage> process_usage(std::uint32_t pid) {
    const std::string folder = "/proc/" + std::to_string(pid);
    std::ifstream status(folder + "/status");
    if (!status) return std::nullopt;
    ProcessUsage usage;
    bool has_memory = false, has_threads = false;
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            usage.memory_bytes = std::strtoull(line.c_str() + 6, nullptr, 10) * 1024;  // given in kB
            has_memory = true;
        } else if (line.rfind("Threads:", 0) == 0) {
            usage.threads = static_cast<std::uint32_t>(std::strtoul(line.c_str() + 8, nullptr, 10));
            has_threads = true;
        }
    }
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder + "/fd", error), end; !error && it != end; it.increment(error))
        ++usage.handles;
    if (!has_memory || !has_threads || error) return std::nullopt;
    return usage;
}

bool display_available() {
    const char* display = std::getenv("DISPLAY");
    return display && *display;
}

}  // namespace ovplat
