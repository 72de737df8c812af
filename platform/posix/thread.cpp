#include "platform/thread.h"

#include <pthread.h>
#include <sched.h>
#include <semaphore.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <ctime>

namespace ovplat {

namespace {

struct ThreadStart {
    std::string name;
    std::function<void()> body;
};

void* thread_entry(void* argument) {
    std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(argument));
    // Named from inside, before the body runs. Linux limits names to 15 bytes.
    pthread_setname_np(pthread_self(), start->name.substr(0, 15).c_str());
    start->body();
    return nullptr;
}

}  // namespace

bool start_detached_thread(const std::string& name, std::function<void()> body) {
    auto start = std::make_unique<ThreadStart>(ThreadStart{name, std::move(body)});
    pthread_t thread{};
    if (pthread_create(&thread, nullptr, &thread_entry, start.get()) != 0) return false;
    start.release();
    pthread_detach(thread);
    return true;
}

bool request_realtime_priority() {
    sched_param parameters{};
    parameters.sched_priority = sched_get_priority_min(SCHED_FIFO);
    // Usually refused without the right privileges; the thread then keeps normal priority.
    return pthread_setschedparam(pthread_self(), SCHED_FIFO, &parameters) == 0;
}

void request_pro_audio_priority() {
    const char* realtime = std::getenv("OV_PLUGINHOST_REALTIME");
    if (realtime != nullptr && std::string_view(realtime) == "1") (void)request_realtime_priority();
}

namespace {

class SemaphoreWakeup final : public Wakeup {
public:
    SemaphoreWakeup() = default;
    ~SemaphoreWakeup() override { sem_destroy(&semaphore_); }
    bool init() { return sem_init(&semaphore_, 0, 0) == 0; }

    void set() override {
        // Several sets before one wait count as one: wait() drains the extra posts.
        sem_post(&semaphore_);
    }

    bool wait(std::uint32_t timeout_ms) override {
        timespec deadline{};
        clock_gettime(CLOCK_MONOTONIC, &deadline);
        deadline.tv_sec += static_cast<time_t>(timeout_ms / 1000u);
        deadline.tv_nsec += static_cast<long>((timeout_ms % 1000u) * 1000000u);
        if (deadline.tv_nsec >= 1000000000L) {
            deadline.tv_sec += 1;
            deadline.tv_nsec -= 1000000000L;
        }
        for (;;) {
            if (sem_clockwait(&semaphore_, CLOCK_MONOTONIC, &deadline) == 0) {
                // Collapse any further posts into this one wake-up.
                while (sem_trywait(&semaphore_) == 0) {
                }
                return true;
            }
            if (errno != EINTR) return false;
        }
    }

private:
    sem_t semaphore_{};
};

}  // namespace

std::unique_ptr<Wakeup> Wakeup::create() {
    auto wakeup = std::make_unique<SemaphoreWakeup>();
    if (!wakeup->init()) return nullptr;
    return wakeup;
}

}  // namespace ovplat
