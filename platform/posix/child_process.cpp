// POSIX child process: posix_spawnp with three pipes, one reader thread per output stream.
#include "platform/child_process.h"

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace ovplat {
namespace {

std::string errno_text(int code) {
    char digits[16];
    auto end = std::to_chars(digits, digits + sizeof digits, code).ptr;
    return std::string(std::strerror(code)) + " (errno " + std::string(digits, end) + ")";
}

std::vector<std::string> child_environment(const ChildEnvironment& changes) {
    auto is_changed = [&](std::string_view entry) {
        std::string_view name = entry.substr(0, entry.find('='));
        for (const auto& unset : changes.unset)
            if (name == unset) return true;
        for (const auto& [key, value] : changes.set)
            if (name == key) return true;
        return false;
    };
    std::vector<std::string> entries;
    for (char** entry = environ; entry && *entry; ++entry)
        if (!is_changed(*entry)) entries.emplace_back(*entry);
    for (const auto& [key, value] : changes.set) entries.push_back(key + "=" + value);
    return entries;
}

// Reads one stream until it ends, then closes it; owns the descriptor.
void pump(int fd, std::shared_ptr<LineQueue> queue) {
    char buffer[4096];
    for (;;) {
        ssize_t got = read(fd, buffer, sizeof buffer);
        if (got > 0) {
            queue->push_bytes(std::string_view(buffer, static_cast<std::size_t>(got)));
        } else if (got < 0 && errno == EINTR) {
            continue;
        } else {
            break;
        }
    }
    close(fd);
    queue->close();
}

class PosixChildProcess final : public ChildProcess {
public:
    PosixChildProcess(pid_t pid, int stdin_fd, int stdout_fd, int stderr_fd) : pid_(pid), stdin_fd_(stdin_fd) {
        // Detached: a grandchild that keeps the pipe open must not hold up the destructor.
        std::thread(pump, stdout_fd, out_).detach();
        std::thread(pump, stderr_fd, err_).detach();
    }
    ~PosixChildProcess() override {
        // End of input is the polite way to end a child; one that ignores it is killed.
        close_stdin();
        if (!exit_code_ && !wait(2000)) {
            kill();
            wait(10000);
        }
    }
    bool write(std::string_view bytes) override {
        while (!bytes.empty() && stdin_fd_ >= 0) {
            ssize_t put = ::write(stdin_fd_, bytes.data(), bytes.size());
            if (put < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            bytes.remove_prefix(static_cast<std::size_t>(put));
        }
        return bytes.empty();
    }
    void close_stdin() override {
        if (stdin_fd_ >= 0) close(stdin_fd_);
        stdin_fd_ = -1;
    }
    std::optional<int> wait(std::uint32_t timeout_ms) override {
        if (exit_code_) return exit_code_;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        for (;;) {
            int status = 0;
            pid_t done = waitpid(pid_, &status, WNOHANG);
            if (done == pid_) {
                exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                return exit_code_;
            }
            if (done < 0 && errno != EINTR) return std::nullopt;
            if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
            // waitpid has no time-out; a short poll is cheap next to a process's lifetime.
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    void kill() override {
        if (!exit_code_) ::kill(pid_, SIGKILL);
    }
    std::uint32_t pid() const override { return static_cast<std::uint32_t>(pid_); }

private:
    pid_t pid_;
    int stdin_fd_;
    std::optional<int> exit_code_;
};

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::start(const std::string& program, const std::vector<std::string>& args,
                                                  const ChildEnvironment& environment, std::string& error) {
    // Writing to a child that died must fail with EPIPE, not end this process.
    signal(SIGPIPE, SIG_IGN);

    int in_pipe[2], out_pipe[2], err_pipe[2];
    if (pipe2(in_pipe, O_CLOEXEC) != 0) {
        error = errno_text(errno);
        return nullptr;
    }
    if (pipe2(out_pipe, O_CLOEXEC) != 0) {
        error = errno_text(errno);
        close(in_pipe[0]), close(in_pipe[1]);
        return nullptr;
    }
    if (pipe2(err_pipe, O_CLOEXEC) != 0) {
        error = errno_text(errno);
        close(in_pipe[0]), close(in_pipe[1]), close(out_pipe[0]), close(out_pipe[1]);
        return nullptr;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // dup2 clears close-on-exec on the target, so only descriptors 0, 1 and 2 reach the child.
    posix_spawn_file_actions_adddup2(&actions, in_pipe[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);

    std::vector<std::string> argv_text;
    argv_text.push_back(program);
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& arg : argv_text) argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::vector<std::string> env_text = child_environment(environment);
    std::vector<char*> envp;
    for (auto& entry : env_text) envp.push_back(entry.data());
    envp.push_back(nullptr);

    pid_t pid = 0;
    int rc = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(in_pipe[0]);
    close(out_pipe[1]);
    close(err_pipe[1]);
    if (rc != 0) {
        error = errno_text(rc);
        close(in_pipe[1]), close(out_pipe[0]), close(err_pipe[0]);
        return nullptr;
    }
    return std::make_unique<PosixChildProcess>(pid, in_pipe[1], out_pipe[0], err_pipe[0]);
}

}  // namespace ovplat
