// The clocks, named threads, wake-up signal and precise sleeper the audio side relies on.
#include <gtest/gtest.h>

#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <cstdlib>
#include <chrono>
#include <thread>

#include "platform/clock.h"
#include "platform/thread.h"

namespace {

TEST(PlatformClock, WallClockIsUnixMillisecondsAndMonotonicNeverGoesBack) {
    const auto system_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::system_clock::now().time_since_epoch())
                               .count();
    const auto wall = static_cast<std::int64_t>(ovplat::wall_clock_ms());
    EXPECT_LT(std::llabs(wall - system_ms), 5000);

    std::uint64_t previous = ovplat::monotonic_ns();
    for (int i = 0; i < 10000; ++i) {
        const std::uint64_t now = ovplat::monotonic_ns();
        ASSERT_GE(now, previous);
        previous = now;
    }
    const std::uint64_t before = ovplat::monotonic_ns();
    ovplat::sleep_ms(20);
    EXPECT_GE(ovplat::monotonic_ns() - before, 20000000u);
}

TEST(PlatformClock, PreciseSleeperSleepsAtLeastTheRequestedTime) {
    auto sleeper = ovplat::PreciseSleeper::create();
    ASSERT_NE(sleeper, nullptr);
    for (std::uint64_t ms : {0u, 1u, 15u}) {
        const std::uint64_t before = ovplat::monotonic_ns();
        sleeper->sleep_ms(ms);
        EXPECT_GE(ovplat::monotonic_ns() - before, ms * 1000000u) << ms;
    }
}

TEST(PlatformThread, StartsANamedDetachedThread) {
    std::atomic<bool> done{false};
    char name[32] = {};
    ASSERT_TRUE(ovplat::start_detached_thread("ov-plugin-audio", [&] {
        pthread_getname_np(pthread_self(), name, sizeof name);
        ovplat::request_pro_audio_priority();  // refused without privileges, and that is fine
        done = true;
    }));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
    ASSERT_TRUE(done);
    EXPECT_STREQ(name, "ov-plugin-audio");
}

// The policy a fresh thread ends up with after asking for the audio thread's scheduling, with
// OV_PLUGINHOST_REALTIME as given (nullptr: unset).
int audio_thread_policy(const char* realtime_setting) {
    if (realtime_setting != nullptr) setenv("OV_PLUGINHOST_REALTIME", realtime_setting, 1);
    else unsetenv("OV_PLUGINHOST_REALTIME");
    int policy = -1;
    std::thread([&] {
        ovplat::request_pro_audio_priority();
        sched_param parameters{};
        pthread_getschedparam(pthread_self(), &policy, &parameters);
    }).join();
    unsetenv("OV_PLUGINHOST_REALTIME");
    return policy;
}

TEST(PlatformThread, AudioThreadKeepsTheNormalPolicyUnlessRealTimeIsAskedFor) {
    EXPECT_EQ(audio_thread_policy(nullptr), SCHED_OTHER);
    EXPECT_EQ(audio_thread_policy("0"), SCHED_OTHER);
    EXPECT_EQ(audio_thread_policy("yes"), SCHED_OTHER) << "only 1 asks for it";

    // Granted only with the privilege to; a refusal leaves the normal policy.
    bool granted = false;
    std::thread([&] { granted = ovplat::request_realtime_priority(); }).join();
    EXPECT_EQ(audio_thread_policy("1"), granted ? SCHED_FIFO : SCHED_OTHER);
}

TEST(PlatformThread, WakeupIsAnAutoResetSignal) {
    auto wakeup = ovplat::Wakeup::create();
    ASSERT_NE(wakeup, nullptr);
    EXPECT_FALSE(wakeup->wait(10)) << "not set at first";
    wakeup->set();
    wakeup->set();
    EXPECT_TRUE(wakeup->wait(10));
    EXPECT_FALSE(wakeup->wait(10)) << "several sets before a wait count once";

    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        wakeup->set();
    });
    EXPECT_TRUE(wakeup->wait(30000));
    setter.join();
}

}  // namespace
