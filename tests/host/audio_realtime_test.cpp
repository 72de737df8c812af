// The audio thread allocates nothing and takes no mutex while it processes blocks.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <new>
#include <thread>

#include "audio_loop_support.h"
#include "realtime_counters.h"
#include "internal/internal.h"
#include "unit.h"

namespace ovhost {
namespace {

using testing::arm_counters;
using testing::Counts;
using testing::disarm_counters;
using testing::InMemoryMapping;
using testing::ScopedEnv;

TEST(RealtimeCounters, SeeAllocationsAndMutexLocksOfTheArmedThreadOnly) {
    std::mutex mutex;
    arm_counters();
    // Called as a function, not as a new-expression, so the optimiser may not elide it.
    void* value = ::operator new(sizeof(int));
    { std::lock_guard<std::mutex> lock(mutex); }
    const Counts counts = disarm_counters();
    ::operator delete(value);
    EXPECT_EQ(counts.allocations, 1u);
    EXPECT_EQ(counts.mutex_locks, 1u);

    arm_counters();
    std::thread other([&] {
        auto* elsewhere = new int(6);
        std::lock_guard<std::mutex> lock(mutex);
        delete elsewhere;
    });
    const Counts before_join = disarm_counters();
    other.join();
    // Starting a thread allocates its state here; the other thread's work is not counted.
    EXPECT_EQ(before_join.mutex_locks, 0u);
}

// A chain with every built-in processing path: gain, stereo, delay, a bypassed delay whose
// latency changes, a pass-through slot with eight channels, and a slot whose plug-in is
// inactive (its processor does not start; the slot delays by its latency).
Chain every_kind_of_slot(std::uint32_t rack_channels, std::shared_ptr<SlotCells>& bypass_cells) {
    Chain chain;
    std::uint32_t key = 0;
    for (const char* name : {"gain", "stereo", "delay:300", "delay:1000", "hang:0", "stereo"}) {
        auto created = create_internal_plugin(name);
        EXPECT_TRUE(created.ok()) << name;
        LoadedPlugin& plugin = created.value();
        const bool fold_left = key % 2 == 0;
        chain.push_back(make_chain_slot(std::move(plugin.processor), plugin.inputs, plugin.outputs, rack_channels,
                                        key, std::make_shared<SlotCells>(), fold_left));
        ++key;
    }
    bypass_cells = chain[3].cells;
    bypass_cells->bypass = true;
    bypass_cells->latency = 1000;
    auto log = std::make_shared<testing::FakeProcessorLog>();
    chain.push_back(make_chain_slot(std::make_unique<testing::FakeProcessor>(log, 1.0f), 8, 8, rack_channels, key++,
                                    std::make_shared<SlotCells>(), false));
    auto inactive_log = std::make_shared<testing::FakeProcessorLog>();
    inactive_log->refuses_start = true;
    chain.push_back(make_chain_slot(std::make_unique<testing::FakeProcessor>(inactive_log, 1.0f), 2, 2, rack_channels,
                                    key++, std::make_shared<SlotCells>(), false));
    chain.back().cells->latency = 200;
    return chain;
}

TEST(AudioRealtime, ProcessingBlocksAllocatesNothingAndTakesNoLock) {
    ScopedEnv enabled(kInternalSwitchVariable, "1");
    for (std::uint32_t channels : {1u, 2u}) {
        SCOPED_TRACE("channels " + std::to_string(channels));
        InMemoryMapping mapping(channels);
        testing::WakeupEvent event;
        ChainChannels ends = make_chain_channels();
        std::shared_ptr<SlotCells> bypass_cells;
        Chain chain = every_kind_of_slot(channels, bypass_cells);
        AudioLoop loop(mapping.view, std::move(ends.audio_inbox), std::move(ends.audio_returns));

        Counts counts{};
        std::uint64_t processed = 0;
        // The loop runs on a thread of its own whose counters are armed throughout.
        std::thread audio([&] {
            arm_counters();
            ASSERT_TRUE(ends.to_audio.send(chain_message::Install{std::move(chain)}));
            event.set();
            ASSERT_TRUE(loop.run_turn(event));
            for (std::uint64_t n = 1; n <= 400; ++n) {
                if (n % 100 == 0) {
                    // A hand-over cycle in the middle: the chain goes back and comes again.
                    ASSERT_TRUE(ends.to_audio.send(chain_message::TakeBack{}));
                    ASSERT_TRUE(loop.receive_messages());
                    auto back = ends.returned.try_receive();
                    ASSERT_TRUE(back.has_value());
                    ASSERT_TRUE(ends.to_audio.send(chain_message::Install{std::move(*back)}));
                    ASSERT_TRUE(loop.receive_messages());  // before block n is published
                }
                if (n % 50 == 0) bypass_cells->latency = static_cast<std::uint32_t>(n * 7);
                // Orvia's part, written out so that nothing here allocates either.
                for (std::uint32_t c = 0; c < 2; ++c) {
                    float* samples = mapping.view.input_channel(n, c);
                    for (std::uint32_t i = 0; i < kBlockFrames; ++i) {
                        samples[i] = static_cast<float>((n * 480 + i) % 97) * 0.01f - static_cast<float>(c) * 0.3f;
                    }
                }
                mapping.view.set_input_seq(n);
                event.set();
                ASSERT_TRUE(loop.run_turn(event));
            }
            processed = mapping.view.blocks_processed();
            counts = disarm_counters();
        });
        audio.join();
        EXPECT_EQ(processed, 400u);
        EXPECT_EQ(counts.allocations, 0u);
        EXPECT_EQ(counts.mutex_locks, 0u);
    }
}

// A processor that arms the counters of whatever thread runs it, at its first block, and
// reports that thread's counts at every later block.
class CountingProbe final : public PluginProcessor {
public:
    struct Report {
        std::atomic<std::uint64_t> blocks{0};
        std::atomic<std::uint64_t> allocations{0};
        std::atomic<std::uint64_t> mutex_locks{0};
    };
    explicit CountingProbe(std::shared_ptr<Report> report) : report_(std::move(report)) {}
    bool start() override { return true; }
    void stop() override {}
    void process(const float* const* inputs, std::uint32_t, float* const* outputs, std::uint32_t,
                 std::uint32_t frames) override {
        if (!armed_) {
            arm_counters();
            armed_ = true;
        }
        const Counts counts = testing::current_counts();
        report_->allocations = counts.allocations;
        report_->mutex_locks = counts.mutex_locks;
        std::copy_n(inputs[0], frames, outputs[0]);
        ++report_->blocks;
    }

private:
    std::shared_ptr<Report> report_;
    bool armed_ = false;
};

TEST(AudioRealtime, TheRealAudioThreadAllocatesNothingBetweenBlocks) {
    ScopedEnv enabled(kInternalSwitchVariable, "1");
    InMemoryMapping mapping(2);
    testing::WakeupEvent event;
    ChainChannels ends = make_chain_channels();
    ASSERT_TRUE(start_audio_thread(mapping.view, event, std::move(ends.audio_inbox), std::move(ends.audio_returns)));

    std::shared_ptr<SlotCells> bypass_cells;
    Chain chain = every_kind_of_slot(2, bypass_cells);
    auto report = std::make_shared<CountingProbe::Report>();
    chain.push_back(make_chain_slot(std::make_unique<CountingProbe>(report), 1, 1, 2, 99,
                                    std::make_shared<SlotCells>(), false));
    ASSERT_TRUE(ends.to_audio.send(chain_message::Install{std::move(chain)}));
    event.set();

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    const auto run_blocks = [&](std::uint64_t count) {
        for (std::uint64_t i = 0; i < count; ++i) {
            while (mapping.view.active() != 1 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
            const std::uint64_t n = mapping.view.input_seq() + 1;
            mapping.publish(n, [n](std::uint32_t, std::uint32_t frame) { return static_cast<float>(frame % 13) * 0.1f; });
            event.set();
            while (mapping.view.output_seq() < n && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::yield();
            }
            ASSERT_EQ(mapping.view.output_seq(), n);
        }
    };
    run_blocks(150);
    // Idle turns (event time-outs, heartbeats) and a hand-over cycle in between.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_TRUE(ends.to_audio.send(chain_message::TakeBack{}));
    event.set();
    auto back = ends.returned.receive(30000);
    ASSERT_TRUE(back.has_value());
    ASSERT_TRUE(ends.to_audio.send(chain_message::Install{std::move(*back)}));
    event.set();
    run_blocks(150);

    EXPECT_EQ(report->blocks, 300u);
    EXPECT_EQ(report->allocations, 0u);
    EXPECT_EQ(report->mutex_locks, 0u);

    ASSERT_TRUE(ends.to_audio.send(chain_message::Stop{}));
    event.set();
    EXPECT_TRUE(ends.returned.receive(30000).has_value());
}

}  // namespace
}  // namespace ovhost
