#pragma once
// What another process holds right now, for long-run checks that its resources stay flat.
#include <cstdint>
#include <optional>

namespace ovplat {

struct ProcessUsage {
    std::uint64_t memory_bytes = 0;  // private bytes on Windows, resident set elsewhere
    std::uint32_t handles = 0;       // kernel handles on Windows, open file descriptors elsewhere
    std::uint32_t threads = 0;
};

// Absent when the process is gone or cannot be inspected.
std::optional<ProcessUsage> process_usage(std::uint32_t pid);

// Whether plug-in windows can be shown here: always on Windows, with an X display elsewhere.
bool display_available();

}  // namespace ovplat
