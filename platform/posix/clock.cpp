#include "platform/clock.h"

#include <cerrno>
#include <ctime>

namespace ovplat {

std::uint64_t wall_clock_ms() {
    timespec now{};
    if (clock_gettime(CLOCK_REALTIME, &now) != 0 || now.tv_sec < 0) return 0;
    return static_cast<std::uint64_t>(now.tv_sec) * 1000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
}

std::uint64_t monotonic_ns() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000000000u + static_cast<std::uint64_t>(now.tv_nsec);
}

namespace {

// Sleeps the whole time even when signals interrupt the sleep.
void sleep_for_ms(std::uint64_t ms) {
    timespec remaining{};
    remaining.tv_sec = static_cast<time_t>(ms / 1000u);
    remaining.tv_nsec = static_cast<long>((ms % 1000u) * 1000000u);
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

class NanosleepSleeper final : public PreciseSleeper {
public:
    void sleep_ms(std::uint64_t ms) override { sleep_for_ms(ms); }
};

}  // namespace

void sleep_ms(std::uint32_t ms) { sleep_for_ms(ms); }

std::unique_ptr<PreciseSleeper> PreciseSleeper::create() { return std::make_unique<NanosleepSleeper>(); }

}  // namespace ovplat
