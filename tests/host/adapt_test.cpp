// Matching plug-in channels to the rack: the input and output rules, sample for sample, and
// the "adapt" texts.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "adapt.h"
#include "audio_loop_support.h"
#include "unit.h"

namespace ovhost {
namespace {

constexpr std::uint32_t kFrames = 5;
constexpr float kLeft[kFrames] = {1.0f, -2.0f, 0.25f, 3e38f, 16777216.0f};
constexpr float kRight[kFrames] = {3.0f, 2.0f, 0.5f, 3e38f, 1.0f};
constexpr float kStale = 99.0f;

// Host buffers of a rack with `channels` channels holding kLeft and kRight.
struct HostBuffers {
    explicit HostBuffers(std::uint32_t channels) : count(channels) {
        left.assign(kLeft, kLeft + kFrames);
        right.assign(kRight, kRight + kFrames);
    }
    float** pointers() {
        table = {left.data(), right.data()};
        return table.data();
    }
    std::uint32_t count;
    std::vector<float> left, right;
    std::array<float*, 2> table{};
};

struct PluginBuffers {
    explicit PluginBuffers(std::uint32_t count) : buffers(count, std::vector<float>(kFrames, kStale)) {
        for (auto& buffer : buffers) pointers.push_back(buffer.data());
    }
    std::vector<std::vector<float>> buffers;
    std::vector<float*> pointers;
};

// The single-precision mean: the sum is rounded (and may overflow) before the halving.
float float_mean(float a, float b) {
    const float sum = a + b;
    return sum * 0.5f;
}

TEST(AdaptInputs, FollowsTheInputTable) {
    enum class Expect { Left, Right, Mean, Zero };
    struct Case {
        std::uint32_t inputs;
        std::uint32_t rack;
        std::vector<Expect> expected;
    };
    const Case cases[] = {
        {1, 1, {Expect::Left}},
        {1, 2, {Expect::Mean}},
        {2, 1, {Expect::Left, Expect::Left}},
        {2, 2, {Expect::Left, Expect::Right}},
        {3, 1, {Expect::Left, Expect::Left, Expect::Zero}},
        {6, 2, {Expect::Left, Expect::Right, Expect::Zero, Expect::Zero, Expect::Zero, Expect::Zero}},
        {8, 2, {Expect::Left, Expect::Right, Expect::Zero, Expect::Zero, Expect::Zero, Expect::Zero, Expect::Zero,
                Expect::Zero}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("inputs " + std::to_string(c.inputs) + ", rack " + std::to_string(c.rack));
        HostBuffers host(c.rack);
        PluginBuffers plugin(c.inputs);
        adapt_inputs(host.pointers(), c.rack, plugin.pointers.data(), c.inputs, kFrames);
        for (std::uint32_t input = 0; input < c.inputs; ++input) {
            for (std::uint32_t i = 0; i < kFrames; ++i) {
                float want = 0.0f;
                switch (c.expected[input]) {
                    case Expect::Left: want = kLeft[i]; break;
                    case Expect::Right: want = kRight[i]; break;
                    case Expect::Mean: want = float_mean(kLeft[i], kRight[i]); break;
                    case Expect::Zero: want = 0.0f; break;
                }
                EXPECT_EQ(plugin.buffers[input][i], want) << "input " << input << " frame " << i;
            }
        }
    }
}

TEST(AdaptInputs, DownmixSumsInSinglePrecision) {
    HostBuffers host(2);
    PluginBuffers plugin(1);
    adapt_inputs(host.pointers(), 2, plugin.pointers.data(), 1, kFrames);
    EXPECT_EQ(plugin.buffers[0][0], 2.0f);
    EXPECT_EQ(plugin.buffers[0][2], 0.375f);
    // 3e38 + 3e38 overflows a float before the halving.
    EXPECT_EQ(plugin.buffers[0][3], std::numeric_limits<float>::infinity());
    EXPECT_EQ(plugin.buffers[0][4], 8388608.0f);
}

TEST(AdaptOutputs, FollowsTheOutputTable) {
    enum class Expect { Out0, Out1, Mean, Untouched };
    struct Case {
        std::uint32_t outputs;
        std::uint32_t rack;
        bool fold_left;
        Expect left;
        Expect right;
    };
    const Case cases[] = {
        {1, 1, false, Expect::Out0, Expect::Untouched},
        {1, 2, false, Expect::Out0, Expect::Out0},
        {2, 2, false, Expect::Out0, Expect::Out1},
        {2, 2, true, Expect::Out0, Expect::Out1},
        {2, 1, true, Expect::Out0, Expect::Untouched},
        {2, 1, false, Expect::Mean, Expect::Untouched},
        {6, 2, false, Expect::Out0, Expect::Out1},
        {6, 1, false, Expect::Mean, Expect::Untouched},
        {8, 1, true, Expect::Out0, Expect::Untouched},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("outputs " + std::to_string(c.outputs) + ", rack " + std::to_string(c.rack) +
                     (c.fold_left ? ", fold left" : ""));
        PluginBuffers plugin(c.outputs);
        for (std::uint32_t i = 0; i < kFrames; ++i) {
            plugin.buffers[0][i] = kLeft[i];
            if (c.outputs > 1) plugin.buffers[1][i] = kRight[i];
            for (std::uint32_t extra = 2; extra < c.outputs; ++extra) plugin.buffers[extra][i] = 1000.0f + extra;
        }
        std::vector<float> left(kFrames, kStale), right(kFrames, kStale);
        std::array<float*, 2> host{left.data(), right.data()};
        adapt_outputs(plugin.pointers.data(), c.outputs, host.data(), c.rack, c.fold_left, kFrames);
        const auto want = [&](Expect e, std::uint32_t i) {
            switch (e) {
                case Expect::Out0: return kLeft[i];
                case Expect::Out1: return kRight[i];
                case Expect::Mean: return float_mean(kLeft[i], kRight[i]);
                case Expect::Untouched: return kStale;
            }
            return 0.0f;
        };
        for (std::uint32_t i = 0; i < kFrames; ++i) {
            EXPECT_EQ(left[i], want(c.left, i)) << "left frame " << i;
            EXPECT_EQ(right[i], want(c.right, i)) << "right frame " << i;
        }
    }
}

TEST(ProcessAdapted, MonoPluginInStereoRackHearsTheAverageAndFeedsBoth) {
    auto log = std::make_shared<testing::FakeProcessorLog>();
    log->last_inputs.assign(1, std::vector<float>(kFrames));
    testing::FakeProcessor processor(log, 2.0f);
    HostBuffers host(2);
    PluginBuffers inputs(1), outputs(1);
    process_adapted(processor, host.pointers(), 2, inputs.pointers.data(), 1, outputs.pointers.data(), 1, false,
                    kFrames);
    EXPECT_EQ(log->last_input_count, 1u);
    EXPECT_EQ(log->last_output_count, 1u);
    for (std::uint32_t i = 0; i < kFrames; ++i) {
        EXPECT_EQ(log->last_inputs[0][i], float_mean(kLeft[i], kRight[i]));
        EXPECT_EQ(host.left[i], float_mean(kLeft[i], kRight[i]) * 2.0f);
        EXPECT_EQ(host.right[i], host.left[i]);
    }
    EXPECT_EQ(adapt_text(2, 1, 1, false), "downmix in, dup out");
}

TEST(ProcessAdapted, TwoOutputsInMonoRackFoldByTheSlotsFold) {
    for (const std::string fold : {"left", "sum", "", "LEFT", "Left "}) {
        SCOPED_TRACE("fold '" + fold + "'");
        const bool fold_left = fold_is_left(fold);
        EXPECT_EQ(fold_left, fold == "left");
        auto log = std::make_shared<testing::FakeProcessorLog>();
        // One input, two outputs: output 0 is the input times 3, output 1 a constant 7.
        testing::FakeProcessor processor(log, 3.0f, nullptr, 7.0f);
        HostBuffers host(1);
        PluginBuffers inputs(1), outputs(2);
        process_adapted(processor, host.pointers(), 1, inputs.pointers.data(), 1, outputs.pointers.data(), 2,
                        fold_left, kFrames);
        for (std::uint32_t i = 0; i < kFrames; ++i) {
            const float out0 = kLeft[i] * 3.0f;
            EXPECT_EQ(host.left[i], fold_left ? out0 : float_mean(out0, 7.0f)) << "frame " << i;
        }
        EXPECT_EQ(adapt_text(1, 1, 2, fold_left), fold_left ? "dup in, left out" : "dup in, sum out");
        EXPECT_EQ(adapt_text(1, 2, 2, fold_left), fold_left ? "dup in, left out" : "dup in, sum out");
    }
}

TEST(AdaptText, FollowsTheTextTable) {
    struct Case {
        std::uint32_t rack;
        std::uint32_t inputs;
        std::uint32_t outputs;
        bool fold_left;
        std::string text;
    };
    const Case cases[] = {
        {1, 1, 1, false, "direct"},
        {1, 2, 1, false, "dup in"},
        {1, 2, 2, true, "dup in, left out"},
        {1, 2, 2, false, "dup in, sum out"},
        {1, 1, 2, true, "dup in, left out"},
        {1, 1, 2, false, "dup in, sum out"},
        {2, 1, 1, false, "downmix in, dup out"},
        {2, 1, 2, false, "downmix in"},
        {2, 2, 1, false, "dup out"},
        {2, 2, 2, false, "direct"},
        {2, 2, 2, true, "direct"},
        {2, 6, 6, false, "direct"},
        {1, 6, 12, true, "dup in, left out"},
        {2, 1, 8, false, "downmix in"},
        {1, 0, 2, false, "direct"},
        {2, 0, 1, false, "direct"},
        {1, 2, 0, true, "direct"},
        {2, 0, 0, false, "direct"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(adapt_text(c.rack, c.inputs, c.outputs, c.fold_left), c.text)
            << "R " << c.rack << " i " << c.inputs << " o " << c.outputs;
    }
}

TEST(ChainSlotBuffers, AreClampedToOneToEightChannels) {
    struct Case {
        std::uint32_t inputs, outputs, rack;
        std::size_t input_buffers, output_buffers, delay_lines;
    };
    const Case cases[] = {
        {1, 1, 1, 1, 1, 1}, {2, 2, 2, 2, 2, 2}, {6, 12, 2, 6, 8, 2}, {0, 0, 1, 1, 1, 1}, {9, 8, 3, 8, 8, 2},
    };
    for (const Case& c : cases) {
        const ChainSlot slot = make_chain_slot(nullptr, c.inputs, c.outputs, c.rack, 4, nullptr, false);
        EXPECT_EQ(slot.inputs.size(), c.input_buffers);
        EXPECT_EQ(slot.outputs.size(), c.output_buffers);
        EXPECT_EQ(slot.delay_lines.size(), c.delay_lines);
        for (const auto& buffer : slot.outputs) {
            ASSERT_EQ(buffer.size(), kBlockFrames);
            EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](float x) { return x == 0.0f; }));
        }
        ASSERT_NE(slot.cells, nullptr);
        EXPECT_FALSE(slot.started);
    }
}

}  // namespace
}  // namespace ovhost
