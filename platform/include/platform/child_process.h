#pragma once
// A child program with pipes on its standard input, output and error, for driving another
// program line by line (the audio stand-in starting a plug-in host, end-to-end tests).
#include <condition_variable>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ovplat {

// Changes to the parent's environment for the child: variables to set and variables to remove.
struct ChildEnvironment {
    std::vector<std::pair<std::string, std::string>> set;
    std::vector<std::string> unset;
};

// Lines of one output stream, filled by a reader thread and taken with a time-out.
// A line ends at a line feed; a carriage return right before it is kept (callers decide).
class LineQueue {
public:
    enum class Take { line, timeout, closed };

    void push_bytes(std::string_view bytes) {
        std::lock_guard lock(mutex_);
        all_ += bytes;
        partial_ += bytes;
        std::size_t start = 0;
        for (std::size_t nl; (nl = partial_.find('\n', start)) != std::string::npos; start = nl + 1)
            lines_.emplace_back(partial_.substr(start, nl - start));
        partial_.erase(0, start);
        changed_.notify_all();
    }
    void close() {
        std::lock_guard lock(mutex_);
        if (!partial_.empty()) lines_.emplace_back(std::move(partial_));
        partial_.clear();
        closed_ = true;
        changed_.notify_all();
    }
    Take take(std::string& line, std::uint32_t timeout_ms) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] { return !lines_.empty() || closed_; });
        if (!lines_.empty()) {
            line = std::move(lines_.front());
            lines_.pop_front();
            return Take::line;
        }
        return closed_ ? Take::closed : Take::timeout;
    }
    // Everything received so far, once the stream closed or the time-out passed.
    std::string all_bytes(std::uint32_t timeout_ms) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] { return closed_; });
        return all_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::string> lines_;
    std::string partial_;
    std::string all_;
    bool closed_ = false;
};

class ChildProcess {
public:
    using ReadResult = LineQueue::Take;

    // Starts `program` (searched on PATH when it has no directory part) with `args`. Only the
    // three pipe ends are inherited. nullptr and `error` on failure.
    static std::unique_ptr<ChildProcess> start(const std::string& program, const std::vector<std::string>& args,
                                               const ChildEnvironment& environment, std::string& error);

    // Closes standard input, kills the child if it still runs and reaps it.
    virtual ~ChildProcess() = default;

    // Writes all bytes to the child's standard input; false once the pipe is broken or closed.
    virtual bool write(std::string_view bytes) = 0;
    bool write_line(std::string_view line) {
        std::string text(line);
        text += '\n';
        return write(text);
    }
    virtual void close_stdin() = 0;

    // The next line of standard output (without its line feed), waiting up to `timeout_ms`.
    ReadResult read_line(std::string& line, std::uint32_t timeout_ms) { return out_->take(line, timeout_ms); }
    // All of standard error once the child closed it (or after `timeout_ms`).
    std::string error_output(std::uint32_t timeout_ms) { return err_->all_bytes(timeout_ms); }

    // The exit code once the child ended within `timeout_ms` (128 + signal number when a
    // POSIX child was killed by a signal); nothing when it still runs.
    virtual std::optional<int> wait(std::uint32_t timeout_ms) = 0;
    virtual void kill() = 0;
    virtual std::uint32_t pid() const = 0;

protected:
    std::shared_ptr<LineQueue> out_ = std::make_shared<LineQueue>();
    std::shared_ptr<LineQueue> err_ = std::make_shared<LineQueue>();
};

}  // namespace ovplat
