#pragma once
// The soak: one rack-mode host runs for many blocks while random changes arrive (new racks
// drawn from the built-in plug-ins and the plug-in files given, parameter changes, state
// saves, editors opened and closed), and the run checks that every block is answered or its
// loss falls inside a rack change, that chains of built-in plug-ins give sample-exact output,
// and that the host's memory, handles and threads stay flat.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ov/json.h"

namespace ovstandin {

struct SoakOptions {
    std::string host_program;
    std::uint64_t blocks = 20000;
    bool paced = false;  // one block every 10 ms instead of flat out
    unsigned channels = 2;
    std::uint32_t seed = 1;
    std::vector<std::string> plugin_files;  // scanned at the start; their effects join the draw
    bool editors = true;                    // when a display is available
    std::uint64_t sample_every = 2000;      // blocks between samples of the host's resources
    std::function<void(const std::string&)> progress;
};

// {"ok", "blocks", "answered", "missedInChanges", "unexplainedMisses", "exactChunks",
//  "mismatches", "changes": {...}, "samples": [{"block", "memoryBytes", "handles", "threads"}],
//  "flat": {...}, "roundTripUs", "problems": [...]}
ov::Json run_soak(const SoakOptions& options);

std::string soak_summary(const ov::Json& report);

}  // namespace ovstandin
