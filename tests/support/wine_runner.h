#pragma once
// Runs Windows programs under Wine for the end-to-end tests, in a private prefix that is
// created once under the build folder.
#include "process_runner.h"

#include <string>
#include <vector>

namespace ovtest {

struct WinePrefix {
    std::string path;     // WINEPREFIX
    std::string roaming;  // the user's roaming application-data folder inside it
};

// Creates the prefix at `prefix_path` on first use (wineboot -i, which takes about 30 s)
// and finds its roaming folder. Absent, with the reason in `why_not`, when wine is not
// installed or the prefix cannot be made. Safe to call from several test processes at once.
std::optional<WinePrefix> prepare_wine_prefix(const std::string& prefix_path, std::string& why_not);

// For a suite of Wine tests: the programs (paths relative to the Windows build folder, made
// absolute in place) must be built and the shared prefix under the native build folder ready.
// Absent, with `why_not` set, when the suite has to be skipped.
std::optional<WinePrefix> prepare_wine_suite(const std::string& windows_build_dir, const std::string& native_build_dir,
                                             std::vector<std::string>& programs, std::string& why_not);

// The environment every Wine run gets: the prefix, no debug output, no Mono/Gecko prompts.
std::vector<EnvOverride> wine_environment(const WinePrefix& prefix);

// Runs `exe` with `args` under wine in the prefix; options.env is applied on top.
RunResult run_under_wine(const WinePrefix& prefix, const std::string& exe, const std::vector<std::string>& args,
                         RunOptions options = {});

// Holds an exclusive lock on the prefix across processes, so that a test that changes
// files inside it (such as the settings file in the roaming folder) runs alone.
class WinePrefixLock {
public:
    explicit WinePrefixLock(const WinePrefix& prefix);
    ~WinePrefixLock();
    WinePrefixLock(const WinePrefixLock&) = delete;
    WinePrefixLock& operator=(const WinePrefixLock&) = delete;

private:
    int fd_ = -1;
};

// A POSIX path as Wine's Z: drive shows it to Windows programs.
inline std::string z_drive_path(const std::string& posix_path) {
    std::string path = "Z:" + posix_path;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

}  // namespace ovtest
