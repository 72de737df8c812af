#include "wine_runner.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace ovtest {
namespace {

namespace fs = std::filesystem;

// Creation and use of the prefix are serialised with a lock file beside it.
class FileLock {
public:
    explicit FileLock(const std::string& path) {
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd_ >= 0)
            while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
            }
    }
    ~FileLock() {
        if (fd_ >= 0) ::close(fd_);
    }
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_ = -1;
};

std::string lock_path(const std::string& prefix_path) { return prefix_path + ".lock"; }

// drive_c/users/<user>/AppData/Roaming for the one user whose profile has it.
std::optional<std::string> find_roaming(const std::string& prefix_path) {
    std::error_code error;
    for (const fs::directory_entry& user : fs::directory_iterator(fs::path(prefix_path) / "drive_c" / "users", error)) {
        fs::path roaming = user.path() / "AppData" / "Roaming";
        if (user.path().filename() != "Public" && fs::is_directory(roaming, error)) return roaming.string();
    }
    return std::nullopt;
}

}  // namespace

std::vector<EnvOverride> wine_environment(const WinePrefix& prefix) {
    return {{"WINEPREFIX", prefix.path},
            {"WINEDEBUG", "-all"},
            {"WINEDLLOVERRIDES", "mscoree,mshtml="},
            {"WINEARCH", std::nullopt}};
}

std::optional<WinePrefix> prepare_wine_prefix(const std::string& prefix_path, std::string& why_not) {
    RunResult probe = run_process("wine", {"--version"}, RunOptions{{}, {}, std::chrono::seconds(60), {}});
    if (!probe.exited() || probe.exit_code != 0) {
        why_not = "wine is not usable: " + probe.describe();
        return std::nullopt;
    }
    WinePrefix prefix{fs::absolute(prefix_path).string(), {}};
    std::error_code error;
    fs::create_directories(fs::path(prefix.path).parent_path(), error);
    FileLock lock(lock_path(prefix.path));
    if (auto roaming = find_roaming(prefix.path); roaming && fs::exists(fs::path(prefix.path) / "system.reg")) {
        prefix.roaming = *roaming;
        return prefix;
    }
    RunOptions boot;
    boot.env = wine_environment(prefix);
    boot.env.push_back({"DISPLAY", std::nullopt});
    boot.timeout = std::chrono::minutes(5);
    RunResult made = run_process("wineboot", {"-i"}, boot);
    if (!made.exited() || made.exit_code != 0) {
        why_not = "wineboot -i failed: " + made.describe();
        return std::nullopt;
    }
    // Waits for the wine server to write the registry out before the prefix is used.
    run_process("wineserver", {"-w"}, boot);
    auto roaming = find_roaming(prefix.path);
    if (!roaming) {
        why_not = "the Wine prefix " + prefix.path + " has no drive_c/users/<user>/AppData/Roaming";
        return std::nullopt;
    }
    prefix.roaming = *roaming;
    return prefix;
}

std::optional<WinePrefix> prepare_wine_suite(const std::string& windows_build_dir, const std::string& native_build_dir,
                                             std::vector<std::string>& programs, std::string& why_not) {
    if (windows_build_dir.empty()) {
        why_not = "no Windows build folder configured (OV_WINDOWS_BUILD_DIR)";
        return std::nullopt;
    }
    for (std::string& program : programs) {
        program = windows_build_dir + "/" + program;
        if (!fs::exists(program)) {
            why_not = program + " is not built";
            return std::nullopt;
        }
    }
    return prepare_wine_prefix(native_build_dir + "/wine-prefix", why_not);
}

RunResult run_under_wine(const WinePrefix& prefix, const std::string& exe, const std::vector<std::string>& args,
                         RunOptions options) {
    options.env = merged_env(wine_environment(prefix), options.env);
    std::vector<std::string> wine_args{exe};
    wine_args.insert(wine_args.end(), args.begin(), args.end());
    RunResult result = run_process("wine", wine_args, options);
    // A wine server that is just shutting down when the next program connects drops it before
    // the program starts ("wine client error: ... recvmsg"); that run never reached our code.
    if (result.exited() && result.exit_code != 0 && result.out.empty() &&
        result.err.find("wine client error") != std::string::npos) {
        result = run_process("wine", wine_args, options);
    }
    return result;
}

WinePrefixLock::WinePrefixLock(const WinePrefix& prefix) {
    // A lock of its own, distinct from the creation lock, held for the whole test.
    FileLock lock(prefix.path + ".use.lock");
    fd_ = lock.release();
}

WinePrefixLock::~WinePrefixLock() {
    if (fd_ >= 0) ::close(fd_);
}

}  // namespace ovtest
