#pragma once
#include <cstdint>

namespace ovplat {

// Wall-clock milliseconds since 1970-01-01 UTC (GetSystemTimePreciseAsFileTime on Windows).
std::uint64_t wall_clock_ms();

// A monotonic high-resolution counter (QueryPerformanceCounter on Windows) in nanoseconds.
std::uint64_t monotonic_ns();

void sleep_ms(std::uint32_t ms);

}  // namespace ovplat
