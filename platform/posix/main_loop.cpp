#include "platform/main_loop.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace ovplat {

void initialize_com_apartment() {}

namespace {

// A condition variable stands in for the thread message queue: wake() sets a flag, and
// the loop also runs its callback whenever the tick period passes without one.
class PosixMainLoop final : public MainLoop {
public:
    bool wake() override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            woken_ = true;
        }
        condition_.notify_one();
        return true;
    }

    void run(const std::function<bool()>& on_wake) override {
        const auto period = std::chrono::milliseconds(kTickMs);
        auto next_tick = std::chrono::steady_clock::now() + period;
        for (;;) {
            {
                std::unique_lock<std::mutex> lock(mutex_);
                condition_.wait_until(lock, next_tick, [this] { return woken_; });
                woken_ = false;
            }
            const auto now = std::chrono::steady_clock::now();
            if (now >= next_tick) next_tick = now + period;
            if (!on_wake()) return;
        }
    }

private:
    std::mutex mutex_;
    std::condition_variable condition_;
    bool woken_ = false;
};

}  // namespace

std::unique_ptr<MainLoop> MainLoop::create(std::string&) { return std::make_unique<PosixMainLoop>(); }

}  // namespace ovplat
