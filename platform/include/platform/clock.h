#pragma once
#include <cstdint>
#include <memory>

namespace ovplat {

// Wall-clock milliseconds since 1970-01-01 UTC (GetSystemTimePreciseAsFileTime on Windows);
// 0 for a time before 1970.
std::uint64_t wall_clock_ms();

// A monotonic high-resolution counter (QueryPerformanceCounter on Windows) in nanoseconds.
std::uint64_t monotonic_ns();

void sleep_ms(std::uint32_t ms);

// Sleeps with better than scheduler-tick precision (a high-resolution waitable timer on
// Windows, falling back to Sleep). Created ahead of time so that sleeping on a real-time
// thread allocates nothing.
class PreciseSleeper {
public:
    static std::unique_ptr<PreciseSleeper> create();
    virtual ~PreciseSleeper() = default;
    virtual void sleep_ms(std::uint64_t ms) = 0;
};

}  // namespace ovplat
