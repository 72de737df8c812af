#include "platform/main_loop.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <thread>
#include <vector>

namespace ovplat {

void initialize_com_apartment() {}

namespace {

using Clock = std::chrono::steady_clock;

thread_local MainLoop* current_thread_loop = nullptr;

std::atomic<MainLoop::SourceId> next_source_id{1};

MainLoop::SourceId new_source_id() { return next_source_id.fetch_add(1, std::memory_order_relaxed); }

short poll_events_of(unsigned events) {
    short out = 0;
    if ((events & kDescriptorReadable) != 0) out |= POLLIN;
    if ((events & kDescriptorWritable) != 0) out |= POLLOUT;
    return out;
}

// One poll waits for everything: the wake-up pipe (input from other threads), the
// descriptors being watched, and the earliest of the 20 ms tick and the timers.
class PosixMainLoop final : public MainLoop {
public:
    PosixMainLoop(int wake_read, int wake_write)
        : wake_read_(wake_read), wake_write_(wake_write), owner_(std::this_thread::get_id()) {
        previous_ = current_thread_loop;
        current_thread_loop = this;
    }

    ~PosixMainLoop() override {
        if (current_thread_loop == this) current_thread_loop = previous_;
        close(wake_read_);
        close(wake_write_);
    }

    bool wake() override {
        const char byte = 1;
        const ssize_t written = write(wake_write_, &byte, 1);
        // A full pipe already holds a wake-up.
        return written == 1 || (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK));
    }

    void run(const std::function<bool()>& on_wake) override {
        const auto period = std::chrono::milliseconds(kTickMs);
        auto next_tick = Clock::now() + period;
        std::vector<pollfd> fds;
        std::vector<SourceId> fd_sources;
        for (;;) {
            fds.clear();
            fd_sources.clear();
            fds.push_back(pollfd{wake_read_, POLLIN, 0});
            for (const auto& [id, watch] : watches_) {
                if (watch.muted) continue;
                fds.push_back(pollfd{watch.fd, poll_events_of(watch.events), 0});
                fd_sources.push_back(id);
            }
            Clock::time_point until = next_tick;
            for (const auto& [id, timer] : timers_) until = std::min(until, timer.due);
            const int ready = poll(fds.data(), static_cast<nfds_t>(fds.size()), timeout_ms(until));
            if (ready < 0 && errno != EINTR) return;  // cannot wait any more: the loop ends

            bool woken = false;
            if (ready > 0 && (fds[0].revents & POLLIN) != 0) {
                drain_wakeups();
                woken = true;
            }
            if (ready > 0) {
                for (std::size_t i = 1; i < fds.size(); ++i)
                    if (fds[i].revents != 0) dispatch_descriptor(fd_sources[i - 1], fds[i].fd, fds[i].revents);
            }
            run_due_timers();

            const auto now = Clock::now();
            const bool ticked = now >= next_tick;
            if (ticked) next_tick = now + period;
            if ((woken || ticked) && !on_wake()) return;
        }
    }

    std::optional<SourceId> add_timer(std::uint32_t period_ms, std::function<void()> on_timer) override {
        if (!on_owner_thread() || !on_timer) return std::nullopt;
        const auto period = std::chrono::milliseconds(std::max(period_ms, kMinTimerPeriodMs));
        const SourceId id = new_source_id();
        timers_.emplace(id, Timer{period, Clock::now() + period,
                                  std::make_shared<std::function<void()>>(std::move(on_timer))});
        return id;
    }

    std::optional<SourceId> add_descriptor(int fd, unsigned events,
                                           std::function<void(int, unsigned)> on_ready) override {
        if (!on_owner_thread() || fd < 0 || !on_ready) return std::nullopt;
        const SourceId id = new_source_id();
        watches_.emplace(id, Watch{fd, events, false,
                                   std::make_shared<std::function<void(int, unsigned)>>(std::move(on_ready))});
        return id;
    }

    bool set_descriptor_events(SourceId id, unsigned events) override {
        if (!on_owner_thread()) return false;
        const auto found = watches_.find(id);
        if (found == watches_.end()) return false;
        found->second.events = events;
        found->second.muted = false;
        return true;
    }

    bool remove(SourceId id) override {
        if (!on_owner_thread()) return false;
        return timers_.erase(id) > 0 || watches_.erase(id) > 0;
    }

private:
    struct Timer {
        std::chrono::milliseconds period;
        Clock::time_point due;
        // Shared so that a callback that removes its own timer keeps running.
        std::shared_ptr<std::function<void()>> call;
    };
    struct Watch {
        int fd;
        unsigned events;
        bool muted;  // reported an error or hang-up alone: not polled until set again
        std::shared_ptr<std::function<void(int, unsigned)>> call;
    };

    bool on_owner_thread() const { return std::this_thread::get_id() == owner_; }

    // Rounded up: waking a little early would only spin until the time comes.
    static int timeout_ms(Clock::time_point until) {
        const auto left = until - Clock::now();
        if (left <= Clock::duration::zero()) return 0;
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
        return static_cast<int>(std::min<long long>(ms, 60000));
    }

    void drain_wakeups() {
        char buffer[64];
        while (read(wake_read_, buffer, sizeof buffer) > 0) {
        }
    }

    void dispatch_descriptor(SourceId id, int fd, short revents) {
        const auto found = watches_.find(id);
        // Removed or given to another descriptor by an earlier callback of this round.
        if (found == watches_.end() || found->second.fd != fd) return;
        Watch& watch = found->second;
        unsigned what = 0;
        if ((revents & POLLIN) != 0) what |= kDescriptorReadable;
        if ((revents & POLLOUT) != 0) what |= kDescriptorWritable;
        if ((revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) what |= kDescriptorError;
        if (what == kDescriptorError) watch.muted = true;
        const auto call = watch.call;
        (*call)(fd, what);
    }

    void run_due_timers() {
        const auto now = Clock::now();
        struct Due {
            Clock::time_point at;
            SourceId id;
        };
        std::vector<Due> due;
        for (const auto& [id, timer] : timers_)
            if (timer.due <= now) due.push_back(Due{timer.due, id});
        std::sort(due.begin(), due.end(), [](const Due& a, const Due& b) { return a.at != b.at ? a.at < b.at : a.id < b.id; });
        for (const Due& entry : due) {
            const auto found = timers_.find(entry.id);
            if (found == timers_.end()) continue;  // removed by an earlier callback
            Timer& timer = found->second;
            // The timer keeps its rhythm: a late call does not delay the next ones, and a
            // loop held up for longer than a period skips the periods it missed instead of
            // catching up in a burst.
            timer.due += timer.period;
            if (timer.due <= now) timer.due += timer.period * ((now - timer.due) / timer.period + 1);
            const auto call = timer.call;
            (*call)();
        }
    }

    int wake_read_;
    int wake_write_;
    std::thread::id owner_;
    MainLoop* previous_ = nullptr;
    std::map<SourceId, Timer> timers_;
    std::map<SourceId, Watch> watches_;
};

}  // namespace

MainLoop* MainLoop::of_current_thread() { return current_thread_loop; }

std::unique_ptr<MainLoop> MainLoop::create(std::string& error) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        error = std::string("cannot make the main loop's wake-up pipe: ") + std::strerror(errno);
        return nullptr;
    }
    return std::make_unique<PosixMainLoop>(ends[0], ends[1]);
}

}  // namespace ovplat
