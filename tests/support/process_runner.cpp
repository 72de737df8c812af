#include "process_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <map>

extern char** environ;

namespace ovtest {
namespace {

using Clock = std::chrono::steady_clock;

std::string number_text(long long value) {
    char buffer[24];
    return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
}

std::vector<std::string> build_environment(const std::vector<EnvOverride>& overrides) {
    std::map<std::string, std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        std::string text = *entry;
        std::size_t equals = text.find('=');
        if (equals == std::string::npos) continue;
        variables[text.substr(0, equals)] = text.substr(equals + 1);
    }
    for (const EnvOverride& change : overrides) {
        if (change.value)
            variables[change.name] = *change.value;
        else
            variables.erase(change.name);
    }
    std::vector<std::string> list;
    for (const auto& [name, value] : variables) list.push_back(name + "=" + value);
    return list;
}

struct Pipe {
    int read = -1;
    int write = -1;
    bool open() {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return false;
        read = fds[0];
        write = fds[1];
        return true;
    }
    static void close_end(int& fd) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
    ~Pipe() {
        close_end(read);
        close_end(write);
    }
};

}  // namespace

std::string RunResult::describe() const {
    std::string text;
    if (!launch_error.empty()) return "could not start: " + launch_error;
    text = timed_out ? "timed out" : signal != 0 ? "killed by signal " + number_text(signal) : "exit code " + number_text(exit_code);
    text += "\n--- stdout ---\n" + out.substr(0, 4000) + "\n--- stderr ---\n" + err.substr(0, 4000);
    return text;
}

std::vector<EnvOverride> merged_env(std::vector<EnvOverride> base, const std::vector<EnvOverride>& more) {
    base.insert(base.end(), more.begin(), more.end());
    return base;
}

RunResult run_process(const std::string& program, const std::vector<std::string>& args, const RunOptions& options) {
    RunResult result;
    Pipe in, out, err;
    if (!in.open() || !out.open() || !err.open()) {
        result.launch_error = std::string("pipe: ") + std::strerror(errno);
        return result;
    }

    // Everything the child needs is prepared before fork: after it, only async-signal-safe
    // calls are made.
    std::vector<std::string> environment = build_environment(options.env);
    std::vector<char*> env_pointers;
    for (std::string& entry : environment) env_pointers.push_back(entry.data());
    env_pointers.push_back(nullptr);
    std::vector<std::string> argv_text;
    argv_text.push_back(program);
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char*> argv_pointers;
    for (std::string& entry : argv_text) argv_pointers.push_back(entry.data());
    argv_pointers.push_back(nullptr);
    // execvpe looks the program up in the PATH of the new environment.
    const bool search_path = program.find('/') == std::string::npos;
    Pipe exec_status;  // the child writes errno here when exec fails
    if (!exec_status.open()) {
        result.launch_error = "pipe for exec status";
        return result;
    }

    pid_t child = ::fork();
    if (child < 0) {
        result.launch_error = std::string("fork: ") + std::strerror(errno);
        return result;
    }
    if (child == 0) {
        ::setpgid(0, 0);
        ::dup2(in.read, 0);
        ::dup2(out.write, 1);
        ::dup2(err.write, 2);
        ::signal(SIGPIPE, SIG_DFL);
        if (!options.working_dir.empty() && ::chdir(options.working_dir.c_str()) != 0) {
            int code = errno;
            (void)!::write(exec_status.write, &code, sizeof code);
            ::_exit(127);
        }
        if (search_path)
            ::execvpe(program.c_str(), argv_pointers.data(), env_pointers.data());
        else
            ::execve(program.c_str(), argv_pointers.data(), env_pointers.data());
        int code = errno;
        (void)!::write(exec_status.write, &code, sizeof code);
        ::_exit(127);
    }
    ::setpgid(child, child);  // also from here, so that the kill below cannot miss it
    Pipe::close_end(in.read);
    Pipe::close_end(out.write);
    Pipe::close_end(err.write);
    Pipe::close_end(exec_status.write);
    int exec_errno = 0;
    if (::read(exec_status.read, &exec_errno, sizeof exec_errno) == sizeof exec_errno) {
        ::waitpid(child, nullptr, 0);
        result.launch_error = program + ": " + std::strerror(exec_errno);
        return result;
    }

    // A program that stops reading its input must not end the test with SIGPIPE.
    ::signal(SIGPIPE, SIG_IGN);
    ::fcntl(in.write, F_SETFL, O_NONBLOCK);
    std::string_view pending_input = options.stdin_text;
    if (pending_input.empty()) Pipe::close_end(in.write);

    const auto deadline = Clock::now() + options.timeout;
    bool reaped = false;
    int status = 0;
    std::optional<Clock::time_point> drain_until;  // after the exit, output still open is read briefly
    char buffer[65536];
    while (out.read >= 0 || err.read >= 0 || !reaped) {
        if (!reaped && ::waitpid(child, &status, WNOHANG) == child) {
            reaped = true;
            // Grandchildren (a daemon the program started) may keep the output open: it is
            // read for a short while more, then left.
            drain_until = Clock::now() + std::chrono::milliseconds(1500);
        }
        const auto now = Clock::now();
        if (drain_until && now > *drain_until) break;
        if (!reaped && now > deadline) {
            ::kill(-child, SIGKILL);
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            reaped = true;
            result.timed_out = true;
            break;
        }
        pollfd fds[3];
        int count = 0;
        int out_index = -1, err_index = -1, in_index = -1;
        if (out.read >= 0) { out_index = count; fds[count++] = {out.read, POLLIN, 0}; }
        if (err.read >= 0) { err_index = count; fds[count++] = {err.read, POLLIN, 0}; }
        if (in.write >= 0) { in_index = count; fds[count++] = {in.write, POLLOUT, 0}; }
        int ready = ::poll(fds, static_cast<nfds_t>(count), 20);
        if (ready <= 0) continue;
        auto drain = [&](int index, int& fd, std::string& sink) {
            if (index < 0 || (fds[index].revents & (POLLIN | POLLHUP | POLLERR)) == 0) return;
            ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got > 0)
                sink.append(buffer, static_cast<std::size_t>(got));
            else if (got == 0 || errno != EINTR)
                Pipe::close_end(fd);
        };
        drain(out_index, out.read, result.out);
        drain(err_index, err.read, result.err);
        if (in_index >= 0 && (fds[in_index].revents & (POLLOUT | POLLERR | POLLHUP)) != 0) {
            ssize_t sent = ::write(in.write, pending_input.data(), pending_input.size());
            if (sent > 0) pending_input.remove_prefix(static_cast<std::size_t>(sent));
            if (sent < 0 && errno != EAGAIN && errno != EINTR) pending_input = {};
            if (pending_input.empty()) Pipe::close_end(in.write);
        }
    }
    if (!reaped) {
        ::waitpid(child, &status, 0);
    }
    if (!result.timed_out) {
        if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
        if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    }
    return result;
}

}  // namespace ovtest
