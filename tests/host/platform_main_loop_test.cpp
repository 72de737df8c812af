// The main loop's timers and descriptor watches: order and period of timers, descriptors that
// become readable, writable or hang up, sources removed from inside callbacks, and the
// refusal of every other thread.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "main_loop_helpers.h"
#include "platform/main_loop.h"

namespace {

using ovplat::MainLoop;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

using ovtest::make_loop;
using ovtest::Pipe;
using ovtest::run_for;

TEST(MainLoopSources, EachThreadSeesTheLoopItMadeUntilItIsGone) {
    EXPECT_EQ(MainLoop::of_current_thread(), nullptr);
    auto outer = make_loop();
    ASSERT_TRUE(outer);
    EXPECT_EQ(MainLoop::of_current_thread(), outer.get());
    {
        auto inner = make_loop();
        EXPECT_EQ(MainLoop::of_current_thread(), inner.get());
    }
    EXPECT_EQ(MainLoop::of_current_thread(), outer.get());
    MainLoop* seen_elsewhere = outer.get();
    std::thread([&] { seen_elsewhere = MainLoop::of_current_thread(); }).join();
    EXPECT_EQ(seen_elsewhere, nullptr);
    outer.reset();
    EXPECT_EQ(MainLoop::of_current_thread(), nullptr);
}

// Periods shorter than the 20 ms tick run at their own rate, not at the tick's; none runs
// more often than its period (no bursts after a busy moment).
TEST(MainLoopSources, TimersRunInTheOrderTheyAreDueAtTheirOwnRate) {
    auto loop = make_loop();
    ASSERT_TRUE(loop);
    struct Case {
        char name;
        std::uint32_t period_ms;
        double expected_ms;  // a period below the minimum runs at the minimum
    };
    const Case cases[] = {{'a', 13, 13}, {'b', 17, 17}, {'c', 31, 31}, {'d', 13, 13}, {'z', 0, MainLoop::kMinTimerPeriodMs}};
    std::string order;
    std::map<char, int> calls;
    for (const auto& c : cases) {
        ASSERT_TRUE(loop->add_timer(c.period_ms, [&, name = c.name] {
            ++calls[name];
            if (name == 'a' || name == 'd') order.push_back(name);
        }));
    }
    const auto start = Clock::now();
    run_for(*loop, milliseconds(600));
    const double elapsed_ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(1, c.name));
        const double due = elapsed_ms / c.expected_ms;
        EXPECT_LE(calls[c.name], due + 1.0);
        // The 20 ms tick alone would give 'a' and 'd' 65 % and 'b' 85 % of their calls.
        if (c.name != 'z') {
            EXPECT_GE(calls[c.name], 0.9 * due - 1.0);
        }
    }
    // Two timers of one period, added one after the other, always run in that order.
    for (std::size_t i = 0; i < order.size(); ++i) ASSERT_EQ(order[i], i % 2 == 0 ? 'a' : 'd') << order;
}

TEST(MainLoopSources, AnIdleLoopSleepsBetweenItsTicks) {
    auto loop = make_loop();
    ASSERT_TRUE(loop);
    Pipe hung_up;
    hung_up.close_writer();
    int hang_up_reports = 0;
    ASSERT_TRUE(loop->add_descriptor(hung_up.read_end, ovplat::kDescriptorReadable, [&](int, unsigned what) {
        EXPECT_EQ(what, ovplat::kDescriptorError);
        ++hang_up_reports;
    }));
    ASSERT_TRUE(loop->add_timer(50, [] {}));
    int wakes = 0;
    timespec cpu_before{}, cpu_after{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu_before);
    const auto start = Clock::now();
    loop->run([&] { return ++wakes, Clock::now() - start < milliseconds(300); });
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu_after);
    const double cpu_ms = (cpu_after.tv_sec - cpu_before.tv_sec) * 1e3 + (cpu_after.tv_nsec - cpu_before.tv_nsec) / 1e6;
    // The tick alone wakes the callback: about 15 times in 300 ms, not thousands.
    EXPECT_LE(wakes, 300 / 20 + 3);
    EXPECT_LT(cpu_ms, 150.0) << "the loop spun instead of waiting";
    // A descriptor that only hung up is reported once, not in a loop.
    EXPECT_EQ(hang_up_reports, 1);
}

TEST(MainLoopSources, DescriptorsAreReportedWhenReadableWritableOrHungUp) {
    auto loop = make_loop();
    ASSERT_TRUE(loop);
    Pipe pipe;
    std::string received;
    std::vector<unsigned> reports;
    const auto id = loop->add_descriptor(pipe.read_end, ovplat::kDescriptorReadable, [&](int fd, unsigned what) {
        EXPECT_EQ(fd, pipe.read_end);
        reports.push_back(what);
        received += pipe.read_all();
    });
    ASSERT_TRUE(id);
    std::thread writer([&] {
        std::this_thread::sleep_for(milliseconds(30));
        pipe.write_text("ab");
        std::this_thread::sleep_for(milliseconds(30));
        pipe.write_text("c");
        std::this_thread::sleep_for(milliseconds(30));
        pipe.close_writer();
    });
    run_for(*loop, milliseconds(5000), [&] { return !reports.empty() && reports.back() == ovplat::kDescriptorError; });
    writer.join();
    run_for(*loop, milliseconds(100));
    EXPECT_EQ(received, "abc");
    ASSERT_GE(reports.size(), 3u);
    for (std::size_t i = 0; i + 1 < reports.size(); ++i) EXPECT_EQ(reports[i], ovplat::kDescriptorReadable) << i;
    EXPECT_EQ(reports.back(), ovplat::kDescriptorError) << "reported once after the hang-up";

    // Setting the events again watches it again.
    const std::size_t before = reports.size();
    ASSERT_TRUE(loop->set_descriptor_events(*id, ovplat::kDescriptorReadable));
    run_for(*loop, milliseconds(30));
    EXPECT_EQ(reports.size(), before + 1);

    Pipe other;
    int writable_reports = 0;
    std::optional<MainLoop::SourceId> writable;
    writable = loop->add_descriptor(other.write_end, ovplat::kDescriptorWritable, [&](int, unsigned what) {
        EXPECT_EQ(what, ovplat::kDescriptorWritable);
        ++writable_reports;
        EXPECT_TRUE(loop->remove(*writable));
    });
    run_for(*loop, milliseconds(30));
    EXPECT_EQ(writable_reports, 1);
    EXPECT_FALSE(loop->add_descriptor(-1, ovplat::kDescriptorReadable, [](int, unsigned) {}));
}

TEST(MainLoopSources, CallbacksMayRemoveThemselvesAndOthersDueInTheSameRound) {
    auto loop = make_loop();
    ASSERT_TRUE(loop);
    std::map<std::string, int> calls;

    std::optional<MainLoop::SourceId> self_removing, later, removed_by_first;
    self_removing = loop->add_timer(5, [&] {
        if (++calls["self"] == 3) {
            EXPECT_TRUE(loop->remove(*self_removing));
        }
    });
    // Same period, added right after: due in the same round, after the first.
    std::optional<MainLoop::SourceId> first = loop->add_timer(9, [&] {
        ++calls["first"];
        loop->remove(*removed_by_first);
        // A timer added from a callback runs later, at its own period.
        if (!later) later = loop->add_timer(6, [&] { ++calls["added"]; });
    });
    removed_by_first = loop->add_timer(9, [&] { ++calls["removed"]; });
    ASSERT_TRUE(first && removed_by_first && self_removing);

    Pipe one, two;
    std::optional<MainLoop::SourceId> watch_one, watch_two;
    auto on_ready = [&](int fd, unsigned) {
        ++calls[fd == one.read_end ? "one" : "two"];
        // Whichever comes first removes both: the other, ready too, is not called.
        loop->remove(*watch_one);
        loop->remove(*watch_two);
    };
    watch_one = loop->add_descriptor(one.read_end, ovplat::kDescriptorReadable, on_ready);
    watch_two = loop->add_descriptor(two.read_end, ovplat::kDescriptorReadable, on_ready);
    one.write_text("x");
    two.write_text("y");

    run_for(*loop, milliseconds(5000), [&] { return calls["first"] >= 5 && calls["added"] >= 5 && calls["self"] >= 3; });
    run_for(*loop, milliseconds(30));
    EXPECT_EQ(calls["self"], 3);
    EXPECT_EQ(calls["removed"], 0);
    EXPECT_GE(calls["first"], 5);
    EXPECT_GE(calls["added"], 5);
    EXPECT_EQ(calls["one"] + calls["two"], 1);
    EXPECT_FALSE(loop->remove(*self_removing)) << "already gone";
}

TEST(MainLoopSources, OtherThreadsCannotAddChangeOrRemoveSources) {
    auto loop = make_loop();
    ASSERT_TRUE(loop);
    int runs = 0;
    const auto timer = loop->add_timer(5, [&] { ++runs; });
    Pipe pipe;
    const auto watch = loop->add_descriptor(pipe.read_end, ovplat::kDescriptorReadable, [](int, unsigned) {});
    ASSERT_TRUE(timer && watch);
    std::thread audio([&] {
        EXPECT_FALSE(loop->add_timer(5, [] {}));
        EXPECT_FALSE(loop->add_descriptor(pipe.read_end, ovplat::kDescriptorReadable, [](int, unsigned) {}));
        EXPECT_FALSE(loop->set_descriptor_events(*watch, ovplat::kDescriptorWritable));
        EXPECT_FALSE(loop->remove(*timer));
        EXPECT_TRUE(loop->wake()) << "waking is what other threads may do";
    });
    audio.join();
    run_for(*loop, milliseconds(5000), [&] { return runs >= 3; });
    EXPECT_GE(runs, 3) << "the timer is still there";
    EXPECT_TRUE(loop->remove(*timer));
    EXPECT_TRUE(loop->remove(*watch));
}

}  // namespace
