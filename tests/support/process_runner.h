#pragma once
// Runs a program for a test and captures what it did (POSIX).
#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace ovtest {

struct EnvOverride {
    std::string name;
    std::optional<std::string> value;  // absent: the variable is removed
};

struct RunOptions {
    std::vector<EnvOverride> env;  // applied over the test's own environment
    std::string stdin_text;        // written to the program, then its input is closed
    std::chrono::milliseconds timeout{120000};
    std::string working_dir;       // empty: the test's own
};

struct RunResult {
    std::string out;
    std::string err;
    int exit_code = -1;  // -1 when the program did not exit normally
    int signal = 0;      // the signal that ended it, if one did
    bool timed_out = false;  // killed after the time-out
    std::string launch_error;  // set when the program could not be started

    bool exited() const { return launch_error.empty() && !timed_out && signal == 0; }
    // A one-paragraph account for assertion messages.
    std::string describe() const;
};

// Runs `program` (a path, or a name looked up in PATH) with `args` and waits for it and
// for its output to end. The program runs in a process group of its own, which is killed
// with SIGKILL when the time-out passes.
RunResult run_process(const std::string& program, const std::vector<std::string>& args,
                      const RunOptions& options = {});

// Merges two option sets' environment overrides (later ones win).
std::vector<EnvOverride> merged_env(std::vector<EnvOverride> base, const std::vector<EnvOverride>& more);

}  // namespace ovtest
