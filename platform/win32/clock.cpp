#include "platform/clock.h"

#include <windows.h>

namespace ovplat {

std::uint64_t wall_clock_ms() {
    FILETIME now{};
    GetSystemTimePreciseAsFileTime(&now);
    const std::uint64_t ticks = (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    // FILETIME counts 100 ns ticks since 1601-01-01.
    constexpr std::uint64_t kTicksFrom1601To1970 = 116444736000000000ull;
    if (ticks < kTicksFrom1601To1970) return 0;
    return (ticks - kTicksFrom1601To1970) / 10000u;
}

std::uint64_t monotonic_ns() {
    static const std::uint64_t frequency = [] {
        LARGE_INTEGER value{};
        QueryPerformanceFrequency(&value);
        return static_cast<std::uint64_t>(value.QuadPart > 0 ? value.QuadPart : 1);
    }();
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    const auto ticks = static_cast<std::uint64_t>(counter.QuadPart);
    // Split to keep ticks * 1e9 from overflowing.
    return (ticks / frequency) * 1000000000ull + (ticks % frequency) * 1000000000ull / frequency;
}

void sleep_ms(std::uint32_t ms) { Sleep(ms); }

namespace {

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

class WaitableTimerSleeper final : public PreciseSleeper {
public:
    WaitableTimerSleeper() {
        // High resolution needs Windows 10 1803; older systems give a plain timer.
        timer_ = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
        if (timer_ == nullptr) timer_ = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
    }
    ~WaitableTimerSleeper() override {
        if (timer_ != nullptr) CloseHandle(timer_);
    }

    void sleep_ms(std::uint64_t ms) override {
        constexpr std::uint64_t kChunkMs = 24ull * 3600ull * 1000ull;
        while (ms > 0) {
            const std::uint64_t now = ms < kChunkMs ? ms : kChunkMs;
            ms -= now;
            sleep_chunk(now);
        }
    }

private:
    void sleep_chunk(std::uint64_t ms) {
        if (timer_ != nullptr) {
            LARGE_INTEGER due{};
            due.QuadPart = -static_cast<LONGLONG>(ms * 10000u);  // relative, in 100 ns units
            if (SetWaitableTimer(timer_, &due, 0, nullptr, nullptr, FALSE) &&
                WaitForSingleObject(timer_, INFINITE) == WAIT_OBJECT_0) {
                return;
            }
        }
        Sleep(static_cast<DWORD>(ms));
    }

    HANDLE timer_ = nullptr;
};

}  // namespace

std::unique_ptr<PreciseSleeper> PreciseSleeper::create() { return std::make_unique<WaitableTimerSleeper>(); }

}  // namespace ovplat
