// The audio loop over an in-memory mapping: block selection, skipping, overruns, publication,
// timing figures, the chain messages, bypass delay lines and attaching to a real mapping.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "audio_loop_support.h"
#include "internal/internal.h"
#include "platform/shared_memory.h"
#include "unit.h"

namespace ovhost {
namespace {

using testing::FakeProcessor;
using testing::FakeProcessorLog;
using testing::InMemoryMapping;

// A monotonic clock that advances by `step` nanoseconds at every reading, and a fixed wall
// clock, so that the timing fields come out exactly.
std::uint64_t g_fake_now_ns = 0;
std::int64_t g_fake_step_ns = 0;
std::uint64_t g_fake_wall_ms = 0;
std::uint64_t fake_monotonic_ns() {
    const std::uint64_t now = g_fake_now_ns;
    g_fake_now_ns += static_cast<std::uint64_t>(g_fake_step_ns);
    return now;
}
std::uint64_t fake_wall_clock_ms() { return g_fake_wall_ms; }

// A chain of move-only slots (an initializer list would copy them).
template <class... Slots>
Chain chain_of(Slots&&... slots) {
    Chain chain;
    (chain.push_back(std::forward<Slots>(slots)), ...);
    return chain;
}

float stereo_signal(std::uint32_t channel, std::uint32_t frame) {
    return (channel == 0 ? 1.0f : -1.0f) * (0.5f + static_cast<float>(frame));
}

class AudioLoopTest : public ::testing::Test {
protected:
    void start(std::uint32_t mapped_channels, bool fake_clocks = true) {
        mapping_ = std::make_unique<InMemoryMapping>(mapped_channels);
        g_fake_now_ns = 1000000000;
        g_fake_step_ns = 10000;  // 10 µs per reading
        g_fake_wall_ms = 1765370000123;
        ChainChannels channels = make_chain_channels();
        to_audio_.emplace(std::move(channels.to_audio));
        returned_.emplace(std::move(channels.returned));
        loop_.emplace(mapping_->view, std::move(channels.audio_inbox), std::move(channels.audio_returns),
                      fake_clocks ? AudioClocks{&fake_monotonic_ns, &fake_wall_clock_ms} : system_audio_clocks());
    }

    ChainSlot fake_slot(std::uint32_t key, std::uint32_t inputs, std::uint32_t outputs, float factor,
                        std::shared_ptr<FakeProcessorLog> log = nullptr, std::uint32_t rack_channels = 2) {
        if (!log) log = std::make_shared<FakeProcessorLog>();
        return make_chain_slot(std::make_unique<FakeProcessor>(log, factor, &mapping_->view), inputs, outputs,
                               rack_channels, key, std::make_shared<SlotCells>(), false);
    }

    void install(Chain chain) {
        ASSERT_TRUE(to_audio_->send(chain_message::Install{std::move(chain)}));
        ASSERT_TRUE(loop_->receive_messages());
    }

    AudioMapping& view() { return mapping_->view; }

    std::unique_ptr<InMemoryMapping> mapping_;
    std::optional<ChainSender> to_audio_;
    std::optional<ChainReturnReceiver> returned_;
    std::optional<AudioLoop> loop_;
};

TEST_F(AudioLoopTest, EmptyChainPassesAudioThroughWithAllTheBookkeeping) {
    start(2);
    install({});
    EXPECT_EQ(view().active(), 1u);
    mapping_->publish(1, stereo_signal);
    loop_->write_heartbeat();
    loop_->process_newest_block();

    EXPECT_EQ(view().heartbeat_ms(), 1765370000123u);
    EXPECT_EQ(view().output_seq(), 1u);
    EXPECT_EQ(view().ring_seq(1), 1u);
    EXPECT_EQ(view().blocks_processed(), 1u);
    EXPECT_EQ(view().blocks_skipped(), 0u);
    EXPECT_EQ(view().block_time_us(), 10u);  // one reading before and one after the chain
    EXPECT_EQ(view().audio_slot_key(), -1);
    for (std::uint32_t channel = 0; channel < 2; ++channel) {
        const auto out = mapping_->output(1, channel);
        for (std::uint32_t i = 0; i < kBlockFrames; ++i) ASSERT_EQ(out[i], stereo_signal(channel, i));
    }
    // Nothing new: nothing happens.
    loop_->process_newest_block();
    EXPECT_EQ(view().blocks_processed(), 1u);
}

TEST_F(AudioLoopTest, ChannelCountComesFromTheMappingOnce) {
    const std::pair<std::uint32_t, std::uint32_t> cases[] = {{0, 1}, {1, 1}, {2, 2}, {3, 2}, {0xFFFFFFFF, 2}};
    for (const auto& [mapped, used] : cases) {
        start(mapped);
        EXPECT_EQ(loop_->channels(), used) << mapped;
    }

    // One channel: only channel 0 of the ring block is read and written.
    start(0);
    install(chain_of(fake_slot(1, 1, 1, 2.0f)));
    view().set_channels(2);  // read once at start: a later change is not seen
    float* untouched = view().output_channel(1, 1);
    std::fill_n(untouched, kBlockFrames, 42.0f);
    mapping_->publish(1, stereo_signal);
    loop_->process_newest_block();
    const auto left = mapping_->output(1, 0);
    for (std::uint32_t i = 0; i < kBlockFrames; ++i) {
        ASSERT_EQ(left[i], stereo_signal(0, i) * 2.0f);
        ASSERT_EQ(untouched[i], 42.0f);
    }
}

TEST_F(AudioLoopTest, ProcessesOnlyTheNewestBlockAndCountsTheSkipped) {
    start(2);
    view().set_input_seq(4);
    install({});
    EXPECT_EQ(loop_->last_seen(), 4u) << "Install takes inputSeq as the last block seen";
    for (std::uint64_t n = 5; n <= 7; ++n) mapping_->publish(n, [n](std::uint32_t, std::uint32_t i) { return n * 1000.0f + i; });
    loop_->process_newest_block();

    EXPECT_EQ(view().blocks_skipped(), 2u);
    EXPECT_EQ(view().blocks_processed(), 1u);
    EXPECT_EQ(view().output_seq(), 7u);
    EXPECT_EQ(view().ring_seq(3), 7u);
    EXPECT_EQ(view().ring_seq(1), 0u);
    EXPECT_EQ(view().ring_seq(2), 0u);
    EXPECT_EQ(mapping_->output(7, 0)[5], 7005.0f);
    EXPECT_EQ(loop_->last_seen(), 7u);
}

TEST_F(AudioLoopTest, DropsABlockOverwrittenDuringTheCopy) {
    start(2);
    install({});
    mapping_->publish(1, stereo_signal);
    const auto taken = loop_->take_newest_input();
    ASSERT_EQ(taken, std::optional<std::uint64_t>(1));
    // Orvia runs four blocks ahead while the host copies: ring block 1 was reused.
    for (std::uint64_t n = 2; n <= 5; ++n) mapping_->publish(n, stereo_signal);
    EXPECT_FALSE(loop_->input_survived_copy(1));
    EXPECT_EQ(view().output_seq(), 0u);
    EXPECT_EQ(view().ring_seq(1), 0u);
    EXPECT_EQ(view().blocks_processed(), 0u);
    EXPECT_EQ(view().blocks_skipped(), 0u) << "a dropped block is not counted";
    EXPECT_EQ(loop_->last_seen(), 1u);

    // Three newer blocks are still fine: the ring holds four.
    const auto next = loop_->take_newest_input();
    ASSERT_EQ(next, std::optional<std::uint64_t>(5));
    EXPECT_EQ(view().blocks_skipped(), 3u);
    for (std::uint64_t n = 6; n <= 8; ++n) mapping_->publish(n, stereo_signal);
    EXPECT_TRUE(loop_->input_survived_copy(5));
    loop_->run_chain_and_publish(5);
    EXPECT_EQ(view().output_seq(), 5u);
    EXPECT_EQ(view().ring_seq(1), 5u);
}

TEST_F(AudioLoopTest, DoesNothingWhileInactive) {
    start(2);
    // Before the first Install the loop holds an empty chain; active is what Orvia left (0).
    mapping_->publish(1, stereo_signal);
    loop_->process_newest_block();
    EXPECT_EQ(view().output_seq(), 0u);

    auto log = std::make_shared<FakeProcessorLog>();
    install(chain_of(fake_slot(3, 2, 2, 1.0f, log)));
    ASSERT_TRUE(to_audio_->send(chain_message::TakeBack{}));
    ASSERT_TRUE(loop_->receive_messages());
    EXPECT_EQ(view().active(), 0u);
    mapping_->publish(2, stereo_signal);
    loop_->process_newest_block();
    EXPECT_EQ(view().output_seq(), 0u) << "no output blocks after TakeBack";
    EXPECT_EQ(log->blocks, 0);
}

// A processor that does not start (its plug-in is inactive after a failed reactivation) is
// neither processed nor stopped; its slot delays the audio by its latency, as when bypassed,
// while the rest of the chain plays on, until a later chain starts it.
TEST_F(AudioLoopTest, ASlotThatDoesNotStartPassesItsAudioThroughDelayedByItsLatency) {
    start(2);
    auto inactive = std::make_shared<FakeProcessorLog>();
    inactive->refuses_start = true;
    auto playing = std::make_shared<FakeProcessorLog>();
    ChainSlot refused = fake_slot(1, 2, 2, 5.0f, inactive);
    refused.cells->latency.store(100);
    install(chain_of(std::move(refused), fake_slot(2, 2, 2, 2.0f, playing)));
    EXPECT_EQ(inactive->starts, 1);
    EXPECT_FALSE(loop_->chain()[0].started);
    EXPECT_TRUE(loop_->chain()[1].started);

    const auto ramp = [](std::uint64_t block) {
        return [block](std::uint32_t channel, std::uint32_t frame) {
            return (channel == 0 ? 1.0f : -1.0f) * static_cast<float>(block * 1000 + frame);
        };
    };
    for (std::uint64_t block = 1; block <= 2; ++block) {
        mapping_->publish(block, ramp(block));
        loop_->process_newest_block();
    }
    EXPECT_EQ(inactive->blocks, 0) << "no processing call while it is inactive";
    EXPECT_EQ(playing->blocks, 2);
    for (std::uint32_t channel = 0; channel < 2; ++channel) {
        const auto first = mapping_->output(1, channel);
        const auto second = mapping_->output(2, channel);
        for (std::uint32_t i = 0; i < kBlockFrames; ++i) {
            ASSERT_EQ(first[i], i < 100 ? 0.0f : 2.0f * ramp(1)(channel, i - 100)) << i;
            ASSERT_EQ(second[i], 2.0f * (i < 100 ? ramp(1)(channel, i + 380) : ramp(2)(channel, i - 100))) << i;
        }
    }

    ASSERT_TRUE(to_audio_->send(chain_message::TakeBack{}));
    ASSERT_TRUE(loop_->receive_messages());
    EXPECT_EQ(inactive->stops, 0) << "what did not start is not stopped";
    EXPECT_EQ(playing->stops, 1);
    auto back = returned_->try_receive();
    ASSERT_TRUE(back.has_value());

    // Reactivated meanwhile: the next chain starts and processes it.
    inactive->refuses_start = false;
    install(std::move(*back));
    EXPECT_TRUE(loop_->chain()[0].started);
    mapping_->publish(3, ramp(3));
    loop_->process_newest_block();
    EXPECT_EQ(inactive->blocks, 1);
    EXPECT_EQ(mapping_->output(3, 0)[0], 10.0f * ramp(3)(0, 0));
}

TEST_F(AudioLoopTest, ChainMessagesStartStopAndReturnTheChain) {
    start(2);
    auto first = std::make_shared<FakeProcessorLog>();
    auto second = std::make_shared<FakeProcessorLog>();
    Chain chain;
    chain.push_back(fake_slot(10, 2, 2, 1.0f, first));
    chain.push_back(fake_slot(20, 1, 1, 1.0f, second));
    install(std::move(chain));
    EXPECT_EQ(first->starts, 1);
    EXPECT_EQ(second->starts, 1);
    ASSERT_EQ(loop_->chain().size(), 2u);
    EXPECT_TRUE(loop_->chain()[0].started);

    ASSERT_TRUE(to_audio_->send(chain_message::TakeBack{}));
    ASSERT_TRUE(loop_->receive_messages());
    EXPECT_TRUE(loop_->chain().empty());
    auto back = returned_->try_receive();
    ASSERT_TRUE(back.has_value());
    ASSERT_EQ(back->size(), 2u);
    EXPECT_EQ((*back)[0].key, 10u);
    EXPECT_EQ((*back)[1].key, 20u);
    EXPECT_FALSE((*back)[0].started);
    EXPECT_FALSE((*back)[1].started);
    EXPECT_EQ(first->stops, 1);
    EXPECT_EQ(second->stops, 1);

    // Handed over again: started again, once.
    install(std::move(*back));
    EXPECT_EQ(first->starts, 2);
    EXPECT_EQ(view().active(), 1u);

    ASSERT_TRUE(to_audio_->send(chain_message::Stop{}));
    EXPECT_FALSE(loop_->receive_messages());
    EXPECT_TRUE(loop_->stopped());
    EXPECT_EQ(first->stops, 2);
    EXPECT_EQ(second->stops, 2);
    EXPECT_EQ(view().active(), 1u) << "Stop leaves active as it was";
    auto final_chain = returned_->try_receive();
    ASSERT_TRUE(final_chain.has_value());
    EXPECT_EQ(final_chain->size(), 2u);
}

TEST_F(AudioLoopTest, EveryTakeBackAndStopIsAnsweredByOneChainInOrder) {
    start(2);
    install(chain_of(fake_slot(4, 1, 1, 1.0f)));
    // As after a main thread that timed out waiting for a stuck audio thread again and again.
    std::size_t sent = 0;
    while (to_audio_->send(chain_message::TakeBack{})) ++sent;
    EXPECT_EQ(sent, ChainSender::kCapacity);
    ASSERT_TRUE(loop_->receive_messages());
    ASSERT_TRUE(to_audio_->send(chain_message::Stop{}));
    EXPECT_FALSE(loop_->receive_messages());
    for (std::size_t answer = 0; answer <= sent; ++answer) {
        auto chain = returned_->try_receive();
        ASSERT_TRUE(chain.has_value()) << "answer " << answer;
        EXPECT_EQ(chain->size(), answer == 0 ? 1u : 0u) << "the chain comes with the first answer";
    }
    EXPECT_FALSE(returned_->try_receive().has_value());
}

TEST_F(AudioLoopTest, InstallOverAHeldChainStopsAndDropsIt) {
    start(2);
    auto old_log = std::make_shared<FakeProcessorLog>();
    install({});
    Chain first;
    first.push_back(fake_slot(1, 1, 1, 1.0f, old_log));
    install(std::move(first));
    Chain second;
    second.push_back(fake_slot(2, 1, 1, 1.0f));
    install(std::move(second));
    EXPECT_EQ(old_log->stops, 1);
    ASSERT_EQ(loop_->chain().size(), 1u);
    EXPECT_EQ(loop_->chain()[0].key, 2u);
    EXPECT_FALSE(returned_->try_receive().has_value());
}

TEST_F(AudioLoopTest, RunsTheChainInOrderWithAdaptationAndSlotKeys) {
    start(2);
    auto mono_log = std::make_shared<FakeProcessorLog>();
    auto stereo_log = std::make_shared<FakeProcessorLog>();
    Chain chain;
    chain.push_back(fake_slot(7, 2, 2, 3.0f, stereo_log));  // left × 3, right × 3
    chain.push_back(fake_slot(0xFFFFFFFF, 1, 1, 0.5f, mono_log));  // downmix, × 0.5, duplicate
    install(std::move(chain));
    mapping_->publish(1, stereo_signal);
    loop_->process_newest_block();

    EXPECT_EQ(stereo_log->audio_slot_key_seen, 7);
    EXPECT_EQ(mono_log->audio_slot_key_seen, -1) << "key 0xFFFFFFFF shows as -1";
    EXPECT_EQ(view().audio_slot_key(), -1);
    for (std::uint32_t i = 0; i < kBlockFrames; ++i) {
        const float left = stereo_signal(0, i) * 3.0f;
        const float right = stereo_signal(1, i) * 3.0f;
        const float sum = left + right;
        const float expected = (sum * 0.5f) * 0.5f;
        ASSERT_EQ(mapping_->output(1, 0)[i], expected);
        ASSERT_EQ(mapping_->output(1, 1)[i], expected);
    }
}

TEST_F(AudioLoopTest, TimingFieldsAreMeasuredAndSmoothed) {
    start(2);
    Chain chain;
    for (std::uint32_t key = 0; key < 9; ++key) chain.push_back(fake_slot(key, 1, 1, 1.0f));
    install(std::move(chain));

    // 10 µs between readings: each slot takes 10 µs, the chain 2 × 9 + 1 readings apart.
    mapping_->publish(1, stereo_signal);
    loop_->process_newest_block();
    for (std::size_t position = 0; position < 7; ++position) {
        EXPECT_EQ(view().slot_time_us(position), 10u) << "first measurement unsmoothed, position " << position;
    }
    // Positions 7 and 8 share the last element: 10, then 10 × 15 / 16 + 10 / 16 = 9 + 0.
    EXPECT_EQ(view().slot_time_us(7), 9u);
    EXPECT_EQ(view().block_time_us(), 190u);

    // 260 µs per slot now: 10 × 15 / 16 + 260 / 16 = 9 + 16.
    g_fake_step_ns = 260000;
    mapping_->publish(2, stereo_signal);
    loop_->process_newest_block();
    EXPECT_EQ(view().slot_time_us(0), 25u);
    EXPECT_EQ(view().block_time_us(), 19u * 260u);

    // A clock that runs backwards measures 0; 0 is then smoothed in like any value.
    g_fake_step_ns = -1000;
    mapping_->publish(3, stereo_signal);
    loop_->process_newest_block();
    EXPECT_EQ(view().slot_time_us(0), 25u * 15u / 16u);
    EXPECT_EQ(view().block_time_us(), 0u);

    // More than 0xFFFFFFFF µs saturates.
    g_fake_step_ns = 5000000000000000;  // 5e12 µs per reading
    mapping_->publish(4, stereo_signal);
    loop_->process_newest_block();
    EXPECT_EQ(view().block_time_us(), 0xFFFFFFFFu);
}

TEST(SmoothSlotTime, TruncatesEachTerm) {
    struct Case {
        std::uint32_t old_us, measured_us, smoothed;
    };
    const Case cases[] = {
        {0, 0, 0}, {0, 123, 123}, {100, 260, 93 + 16}, {16, 15, 15}, {1, 1000, 0 + 62},
        {0xFFFFFFFF, 0xFFFFFFFF, 4026531839u + 268435455u},
    };
    for (const Case& c : cases) EXPECT_EQ(smooth_slot_time_us(c.old_us, c.measured_us), c.smoothed);
}

TEST_F(AudioLoopTest, BypassedSlotIsDelayedByItsLatencyUpToOneSecond) {
    start(2);
    auto log = std::make_shared<FakeProcessorLog>();
    ChainSlot slot = fake_slot(5, 2, 2, 3.0f, log);
    slot.cells->bypass = true;
    slot.cells->latency = 100000;
    auto cells = slot.cells;
    Chain chain;
    chain.push_back(std::move(slot));
    install(std::move(chain));

    // An impulse on each channel in block 1 comes out exactly 48000 samples (100 blocks) later.
    const auto impulse = [](std::uint64_t block) {
        return [block](std::uint32_t channel, std::uint32_t frame) {
            return block == 1 && frame == 3 ? (channel == 0 ? 1.0f : -2.0f) : 0.0f;
        };
    };
    for (std::uint64_t n = 1; n <= 101; ++n) {
        mapping_->publish(n, impulse(n));
        loop_->process_newest_block();
        for (std::uint32_t channel = 0; channel < 2; ++channel) {
            const auto out = mapping_->output(n, channel);
            for (std::uint32_t i = 0; i < kBlockFrames; ++i) {
                const float want = n == 101 && i == 3 ? (channel == 0 ? 1.0f : -2.0f) : 0.0f;
                ASSERT_EQ(out[i], want) << "block " << n << " channel " << channel << " frame " << i;
            }
        }
    }
    EXPECT_EQ(log->blocks, 0) << "a bypassed plug-in is not called";

    // Latency 0 passes audio at once; the change clears the line.
    mapping_->publish(102, impulse(1));
    cells->latency = 0;
    loop_->process_newest_block();
    EXPECT_EQ(mapping_->output(102, 0)[3], 1.0f);

    // Un-bypassed: the plug-in runs again.
    cells->bypass = false;
    mapping_->publish(103, stereo_signal);
    loop_->process_newest_block();
    EXPECT_EQ(log->blocks, 1);
    EXPECT_EQ(mapping_->output(103, 1)[9], stereo_signal(1, 9) * 3.0f);
}

TEST_F(AudioLoopTest, BypassDelaysOnlyChannelsWithADelayLine) {
    // A slot built for a one-channel rack while the mapping carries two channels.
    start(2);
    ChainSlot slot = fake_slot(5, 1, 1, 1.0f, nullptr, 1);
    slot.cells->bypass = true;
    slot.cells->latency = 480;
    Chain chain;
    chain.push_back(std::move(slot));
    install(std::move(chain));
    mapping_->publish(1, stereo_signal);
    loop_->process_newest_block();
    EXPECT_EQ(mapping_->output(1, 0)[0], 0.0f);
    EXPECT_EQ(mapping_->output(1, 1)[0], stereo_signal(1, 0)) << "channel 1 has no delay line and passes";
    mapping_->publish(2, [](std::uint32_t, std::uint32_t) { return 0.0f; });
    loop_->process_newest_block();
    EXPECT_EQ(mapping_->output(2, 0)[17], stereo_signal(0, 17));
}

TEST(DelayLine, DelaysByTheRequestedAmountAndClearsOnChange) {
    DelayLine line;
    std::vector<float> block(100);
    const auto run = [&](std::uint32_t delay, float first) {
        for (std::size_t i = 0; i < block.size(); ++i) block[i] = first + static_cast<float>(i);
        line.run(block.data(), static_cast<std::uint32_t>(block.size()), delay);
    };
    run(30, 1.0f);
    EXPECT_EQ(line.delay(), 30u);
    for (std::size_t i = 0; i < 30; ++i) ASSERT_EQ(block[i], 0.0f);
    for (std::size_t i = 30; i < 100; ++i) ASSERT_EQ(block[i], 1.0f + static_cast<float>(i - 30));
    run(30, 101.0f);
    for (std::size_t i = 0; i < 100; ++i) ASSERT_EQ(block[i], 71.0f + static_cast<float>(i));  // continues seamlessly

    run(20, 1.0f);  // a new delay starts from silence
    for (std::size_t i = 0; i < 20; ++i) ASSERT_EQ(block[i], 0.0f);
    EXPECT_EQ(block[20], 1.0f);

    run(0, 5.0f);
    EXPECT_EQ(line.delay(), 0u);
    EXPECT_EQ(block[0], 5.0f);

    run(200000, 1.0f);
    EXPECT_EQ(line.delay(), DelayLine::kMaxDelay);
}

TEST(DelayLine, WrapsAroundItsRing) {
    DelayLine line;
    std::vector<float> block(kBlockFrames);
    std::uint64_t written = 0;
    std::uint64_t read = 0;
    constexpr std::uint32_t kDelay = 47999;
    // 250 blocks = 120000 samples: the ring of 48001 wraps more than twice.
    for (int b = 0; b < 250; ++b) {
        for (auto& x : block) x = static_cast<float>(++written);
        line.run(block.data(), kBlockFrames, kDelay);
        for (const float x : block) {
            ++read;
            const float want = read > kDelay ? static_cast<float>(read - kDelay) : 0.0f;
            ASSERT_EQ(x, want) << "sample " << read;
        }
    }
}

TEST_F(AudioLoopTest, RunTurnWritesTheHeartbeatAndWaitsForTheEvent) {
    start(2);
    testing::WakeupEvent event;
    install({});
    mapping_->publish(1, stereo_signal);
    // Not signalled: the turn times out after 20 ms and processes nothing.
    EXPECT_TRUE(loop_->run_turn(event));
    EXPECT_EQ(view().heartbeat_ms(), 1765370000123u);
    EXPECT_EQ(view().output_seq(), 0u);
    g_fake_wall_ms += 20;
    event.set();
    EXPECT_TRUE(loop_->run_turn(event));
    EXPECT_EQ(view().heartbeat_ms(), 1765370000143u);
    EXPECT_EQ(view().output_seq(), 1u);
    ASSERT_TRUE(to_audio_->send(chain_message::Stop{}));
    EXPECT_FALSE(loop_->run_turn(event));
}

TEST(ChainChannels, SendersNeverBlockAndReportAGoneReceiver) {
    ChainChannels channels = make_chain_channels();
    for (std::size_t i = 0; i < ChainSender::kCapacity; ++i) {
        ASSERT_TRUE(channels.to_audio.send(chain_message::TakeBack{}));
    }
    // Full: the message stays with the caller.
    Chain chain;
    chain.push_back(make_chain_slot(nullptr, 1, 1, 1, 9, nullptr, false));
    ChainMessage install = chain_message::Install{std::move(chain)};
    EXPECT_FALSE(channels.to_audio.send(std::move(install)));
    ASSERT_TRUE(std::holds_alternative<chain_message::Install>(install));
    EXPECT_EQ(std::get<chain_message::Install>(install).chain.size(), 1u);

    for (std::size_t i = 0; i < ChainSender::kCapacity; ++i) ASSERT_TRUE(channels.audio_inbox.try_receive());
    EXPECT_FALSE(channels.audio_inbox.try_receive().has_value());
    EXPECT_TRUE(channels.to_audio.send(std::move(install)));

    // The audio side gone: sending fails, waiting for a chain ends at once.
    { ChainInbox gone = std::move(channels.audio_inbox); }
    EXPECT_FALSE(channels.to_audio.send(chain_message::Stop{}));
    { ChainReturnSender gone = std::move(channels.audio_returns); }
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(channels.returned.receive(5000).has_value());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
}

TEST(ChainChannels, ReturnedChainWakesAWaitingReceiver) {
    ChainChannels channels = make_chain_channels();
    EXPECT_FALSE(channels.returned.receive(30).has_value()) << "times out when nothing comes";
    std::thread audio([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        Chain chain;
        chain.push_back(make_chain_slot(nullptr, 1, 1, 1, 77, nullptr, false));
        EXPECT_TRUE(channels.audio_returns.send(std::move(chain)));
    });
    const auto chain = channels.returned.receive(30000);
    audio.join();
    ASSERT_TRUE(chain.has_value());
    ASSERT_EQ(chain->size(), 1u);
    EXPECT_EQ((*chain)[0].key, 77u);

    // Nobody receiving any more: the audio side keeps (and drops) what it would return.
    { ChainReturnReceiver gone = std::move(channels.returned); }
    Chain late;
    late.push_back(make_chain_slot(nullptr, 1, 1, 1, 78, nullptr, false));
    EXPECT_FALSE(channels.audio_returns.send(std::move(late)));
    EXPECT_EQ(late.size(), 1u);
}

// The real audio thread over an in-memory mapping: blocks flow, the chain comes back on
// request, Stop ends the thread. A watcher checks the publication order on the way.
TEST(AudioThread, ProcessesPublishedBlocksAndHandsTheChainBack) {
    InMemoryMapping mapping(2);
    testing::WakeupEvent event;
    ChainChannels channels = make_chain_channels();
    ASSERT_TRUE(start_audio_thread(mapping.view, event, std::move(channels.audio_inbox),
                                   std::move(channels.audio_returns)));
    const auto log = std::make_shared<FakeProcessorLog>();
    Chain chain;
    chain.push_back(make_chain_slot(std::make_unique<FakeProcessor>(log, 2.0f), 2, 2, 2, 1,
                                    std::make_shared<SlotCells>(), false));
    ASSERT_TRUE(channels.to_audio.send(chain_message::Install{std::move(chain)}));
    event.set();

    std::atomic<bool> watching{true};
    std::atomic<std::uint64_t> order_violations{0};
    std::thread watcher([&] {
        while (watching) {
            const std::uint64_t out = mapping.view.output_seq();
            if (out != 0 && mapping.view.ring_seq(out % 4) < out) ++order_violations;
        }
    });

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    // Wait until the Install is taken (active), then publish blocks one at a time.
    while (mapping.view.active() != 1 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
    ASSERT_EQ(mapping.view.active(), 1u);
    const std::uint64_t first = mapping.view.input_seq() + 1;
    constexpr std::uint64_t kBlocks = 200;
    for (std::uint64_t n = first; n < first + kBlocks; ++n) {
        mapping.publish(n, [n](std::uint32_t c, std::uint32_t i) { return static_cast<float>(n) + c * 0.25f + i; });
        event.set();
        while (mapping.view.output_seq() < n && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
        ASSERT_EQ(mapping.view.output_seq(), n);
        ASSERT_EQ(mapping.view.ring_seq(n % 4), n);
        ASSERT_EQ(mapping.output(n, 1)[10], (static_cast<float>(n) + 0.25f + 10.0f) * 2.0f);
    }
    watching = false;
    watcher.join();
    EXPECT_EQ(order_violations, 0u);
    EXPECT_EQ(mapping.view.blocks_processed(), kBlocks);
    EXPECT_NE(mapping.view.heartbeat_ms(), 0u);

    ASSERT_TRUE(channels.to_audio.send(chain_message::TakeBack{}));
    event.set();
    auto back = channels.returned.receive(30000);
    ASSERT_TRUE(back.has_value());
    ASSERT_EQ(back->size(), 1u);
    EXPECT_FALSE((*back)[0].started);
    EXPECT_EQ(mapping.view.active(), 0u);
    EXPECT_EQ(log->starts, 1);
    EXPECT_EQ(log->stops, 1);

    ASSERT_TRUE(channels.to_audio.send(chain_message::Install{std::move(*back)}));
    ASSERT_TRUE(channels.to_audio.send(chain_message::Stop{}));
    event.set();
    auto final_chain = channels.returned.receive(30000);
    ASSERT_TRUE(final_chain.has_value());
    EXPECT_EQ(final_chain->size(), 1u);
    EXPECT_EQ(log->stops, 2);
    // The thread has ended: no more chains, and no more messages taken.
    EXPECT_FALSE(channels.returned.receive(30000).has_value());
    EXPECT_FALSE(channels.to_audio.send(chain_message::TakeBack{}));
}

// Attaching to a mapping and event made the way Orvia makes them.
class AttachTest : public ::testing::Test {
protected:
    std::string name_ = "ovhost-attach-test-" + std::to_string(::getpid());
};

TEST_F(AttachTest, OpensChecksAndWritesTheHostPid) {
    std::string error;
    auto memory = ovplat::SharedMemory::create(name_, layout::kMappingSize, error);
    ASSERT_TRUE(memory) << error;
    auto event = ovplat::NamedEvent::create(name_ + "-req", error);
    ASSERT_TRUE(event) << error;
    AudioMapping orvia(memory->data());
    orvia.set_magic(layout::kMagic);
    orvia.set_version(1);
    const std::uint8_t magic_bytes[4] = {0x52, 0x50, 0x56, 0x4F};
    EXPECT_EQ(std::memcmp(memory->data(), magic_bytes, 4), 0);

    auto attached = attach_audio_mapping(name_);
    ASSERT_TRUE(attached.ok()) << attached.error();
    EXPECT_EQ(orvia.host_pid(), static_cast<std::uint32_t>(::getpid()));
    // Both sides see the same memory, and the event reaches Orvia's handle.
    attached->view.set_output_seq(77);
    EXPECT_EQ(orvia.output_seq(), 77u);
    attached->event->set();
    EXPECT_TRUE(event->wait(5000));
}

TEST_F(AttachTest, ReportsEachFailure) {
    auto missing = attach_audio_mapping(name_);
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().rfind("could not open the plugin audio mapping \"" + name_ + "\" (", 0), 0u)
        << missing.error();
    EXPECT_EQ(missing.error().back(), ')');

    std::string error;
    auto memory = ovplat::SharedMemory::create(name_, layout::kMappingSize, error);
    ASSERT_TRUE(memory) << error;
    AudioMapping orvia(memory->data());
    orvia.set_magic(layout::kMagic);
    orvia.set_version(1);
    auto no_event = attach_audio_mapping(name_);
    ASSERT_FALSE(no_event.ok());
    EXPECT_EQ(no_event.error().rfind("could not open the plugin audio event (", 0), 0u) << no_event.error();

    auto event = ovplat::NamedEvent::create(name_ + "-req", error);
    ASSERT_TRUE(event) << error;
    const std::pair<std::uint32_t, std::uint32_t> bad_layouts[] = {{layout::kMagic, 2}, {0x4F565053, 1}, {0, 0}};
    for (const auto& [magic, version] : bad_layouts) {
        orvia.set_magic(magic);
        orvia.set_version(version);
        auto mismatch = attach_audio_mapping(name_);
        ASSERT_FALSE(mismatch.ok());
        EXPECT_EQ(mismatch.error(), "the plugin audio mapping has another layout (version mismatch)");
        EXPECT_EQ(orvia.host_pid(), 0u) << "nothing written on failure";
    }
}

}  // namespace
}  // namespace ovhost
