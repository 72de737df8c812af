// The built-in test plug-ins: the switch, the names, sample-exact audio, the parameter, the
// state and the imitated failures.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <thread>

#include "audio_loop_support.h"
#include "internal/internal.h"

namespace ovhost {
namespace {

using testing::ScopedEnv;

class InternalPlugins : public ::testing::Test {
protected:
    ScopedEnv enabled_{kInternalSwitchVariable, "1"};

    static LoadedPlugin create(std::string_view name) {
        auto created = create_internal_plugin(name);
        EXPECT_TRUE(created.ok()) << name << ": " << (created.ok() ? "" : created.error());
        return created.ok() ? std::move(created.value()) : LoadedPlugin{};
    }
};

// Runs one block of 480 frames through a processor; channel c, frame i from `sample`.
std::vector<std::vector<float>> run_block(PluginProcessor& processor, std::uint32_t channels,
                                          const std::function<float(std::uint32_t, std::uint32_t)>& sample) {
    std::vector<std::vector<float>> inputs(channels, std::vector<float>(kBlockFrames));
    std::vector<std::vector<float>> outputs(channels, std::vector<float>(kBlockFrames, -123.0f));
    std::vector<const float*> in;
    std::vector<float*> out;
    for (std::uint32_t c = 0; c < channels; ++c) {
        for (std::uint32_t i = 0; i < kBlockFrames; ++i) inputs[c][i] = sample(c, i);
        in.push_back(inputs[c].data());
        out.push_back(outputs[c].data());
    }
    processor.process(in.data(), channels, out.data(), channels, kBlockFrames);
    return outputs;
}

float ramp(std::uint32_t channel, std::uint32_t frame) { return 0.001f * static_cast<float>(frame) - 0.2f * channel; }

TEST(InternalPluginSwitch, OnlyExactlyOneSwitchesThemOn) {
    const std::optional<std::string> off_values[] = {std::nullopt, "", "0", " 1", "1 ", "true", "01", "2"};
    for (const auto& value : off_values) {
        ScopedEnv env(kInternalSwitchVariable, value);
        for (const char* name : {"gain", "nosuch", "delay:5", "hangload", "abortload"}) {
            const auto created = create_internal_plugin(name);
            ASSERT_FALSE(created.ok()) << name;
            EXPECT_EQ(created.error(), "internal test plugins are off in this host");
        }
    }
    ScopedEnv on(kInternalSwitchVariable, "1");
    EXPECT_TRUE(create_internal_plugin("gain").ok());
}

TEST_F(InternalPlugins, UnknownKindsNameTheWholeName) {
    for (const std::string name : {"Gain", "delay2", "delay2:5", "", ":gain", "GAIN:1", "gain ", "hang load"}) {
        const auto created = create_internal_plugin(name);
        ASSERT_FALSE(created.ok()) << name;
        EXPECT_EQ(created.error(), "no internal plugin \"" + name + "\"");
    }
}

TEST_F(InternalPlugins, RecordsNameVendorChannelsAndLatency) {
    struct Case {
        std::string name;
        std::string record_name;
        std::uint32_t channels;
        std::uint32_t latency;
    };
    const Case cases[] = {
        {"gain", "Test gain", 1, 0},          {"gain:whatever", "Test gain", 1, 0},
        {"stereo", "Test stereo", 2, 0},      {"delay:256", "Test delay", 1, 256},
        {"delay", "Test delay", 1, 256},      {"delay:", "Test delay", 1, 256},
        {"delay:abc", "Test delay", 1, 256},  {"delay:+", "Test delay", 1, 256},
        {"delay:-", "Test delay", 1, 256},    {"delay:-5", "Test delay", 1, 256},
        {"delay:++5", "Test delay", 1, 256},  {"delay: 5", "Test delay", 1, 256},
        {"delay:5x", "Test delay", 1, 256},   {"delay:18446744073709551616", "Test delay", 1, 256},
        {"delay:+10", "Test delay", 1, 10},   {"delay:0", "Test delay", 1, 0},
        {"delay:48000", "Test delay", 1, 48000}, {"delay:100000", "Test delay", 1, 48000},
        {"delay:18446744073709551615", "Test delay", 1, 48000},
        {"delay:10:20", "Test delay", 1, 256},
        {"hang:0", "Test hang", 1, 0},        {"abort", "Test abort", 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoadedPlugin plugin = create(c.name);
        ASSERT_TRUE(plugin.instance && plugin.processor);
        EXPECT_EQ(plugin.name, c.record_name);
        EXPECT_EQ(plugin.vendor, "Orvia");
        EXPECT_EQ(plugin.inputs, c.channels);
        EXPECT_EQ(plugin.outputs, c.channels);
        EXPECT_EQ(plugin.instance->latency(), c.latency);
        EXPECT_FALSE(plugin.instance->has_editor());
    }
}

TEST_F(InternalPlugins, GainScalesByTwiceItsValue) {
    LoadedPlugin plugin = create("gain");
    auto out = run_block(*plugin.processor, 1, ramp);
    for (std::uint32_t i = 0; i < kBlockFrames; ++i) ASSERT_EQ(out[0][i], ramp(0, i)) << "unity at 0.5, frame " << i;

    ASSERT_TRUE(plugin.instance->set_param(0, 1.0).ok());
    out = run_block(*plugin.processor, 1, ramp);
    for (std::uint32_t i = 0; i < kBlockFrames; ++i) ASSERT_EQ(out[0][i], ramp(0, i) * 2.0f);

    ASSERT_TRUE(plugin.instance->set_param(0, 0.0).ok());
    out = run_block(*plugin.processor, 1, ramp);
    for (std::uint32_t i = 0; i < kBlockFrames; ++i) ASSERT_EQ(out[0][i], 0.0f * ramp(0, i));

    // The value is converted to a float once: 2 × 0.3 as a float, times each sample.
    ASSERT_TRUE(plugin.instance->set_param(0, 0.3).ok());
    out = run_block(*plugin.processor, 1, ramp);
    const auto g = static_cast<float>(2.0 * 0.3);
    for (std::uint32_t i = 0; i < kBlockFrames; ++i) ASSERT_EQ(out[0][i], ramp(0, i) * g);
}

TEST_F(InternalPlugins, StereoHalvesTheRightChannel) {
    LoadedPlugin plugin = create("stereo");
    auto out = run_block(*plugin.processor, 2, ramp);
    for (std::uint32_t i = 0; i < kBlockFrames; ++i) {
        ASSERT_EQ(out[0][i], ramp(0, i));
        ASSERT_EQ(out[1][i], ramp(1, i) * 1.0f * 0.5f);
    }
    ASSERT_TRUE(plugin.instance->set_param(0, 1.0).ok());
    out = run_block(*plugin.processor, 2, ramp);
    for (std::uint32_t i = 0; i < kBlockFrames; ++i) {
        ASSERT_EQ(out[0][i], ramp(0, i) * 2.0f);
        ASSERT_EQ(out[1][i], ramp(1, i) * 2.0f * 0.5f);
    }
}

TEST_F(InternalPlugins, DelayDelaysByExactlyItsLength) {
    for (std::uint32_t length : {10u, 0u, 479u, 480u, 481u, 1000u}) {
        SCOPED_TRACE("delay:" + std::to_string(length));
        LoadedPlugin plugin = create("delay:" + std::to_string(length));
        ASSERT_TRUE(plugin.instance->set_param(0, 0.75).ok());  // gain 1.5
        std::vector<float> output;
        for (int block = 0; block < 4; ++block) {
            const auto out = run_block(*plugin.processor, 1, [block](std::uint32_t, std::uint32_t frame) {
                return block == 0 && frame == 0 ? 1.0f : 0.0f;  // an impulse at frame 0 of the first block
            });
            output.insert(output.end(), out[0].begin(), out[0].end());
        }
        for (std::size_t i = 0; i < output.size(); ++i) {
            ASSERT_EQ(output[i], i == length ? 1.5f : 0.0f) << "sample " << i;
        }
    }
}

TEST_F(InternalPlugins, ParameterRecordAndClamping) {
    LoadedPlugin plugin = create("delay:3");
    auto params = plugin.instance->params();
    ASSERT_EQ(params.size(), 1u);
    const ParamInfo& p = params[0];
    EXPECT_EQ(p.id, 0u);
    EXPECT_EQ(p.name, "Gain");
    EXPECT_EQ(p.units, "x");
    EXPECT_EQ(p.value, 0.5);
    EXPECT_EQ(p.text, "1.00");
    EXPECT_EQ(p.steps, 0);
    EXPECT_EQ(p.default_value, 0.5);
    EXPECT_TRUE(p.automatable);
    EXPECT_FALSE(p.read_only);

    struct Case {
        double requested;
        double stored;
        std::string text;
    };
    const Case cases[] = {
        {1.0, 1.0, "2.00"},   {7.0, 1.0, "2.00"},    {-3.0, 0.0, "0.00"},
        {0.1234, 0.1234, "0.25"}, {0.0025, 0.0025, "0.01"}, {std::nan(""), 0.0, "0.00"},
    };
    for (const Case& c : cases) {
        const auto set = plugin.instance->set_param(0, c.requested);
        ASSERT_TRUE(set.ok());
        EXPECT_EQ(set->value, c.stored);
        EXPECT_EQ(set->text, c.text);
        EXPECT_EQ(set->name, "Gain");
        EXPECT_EQ(plugin.instance->params()[0].value, c.stored);
    }
    for (std::uint32_t id : {1u, 4294967295u}) {
        const auto set = plugin.instance->set_param(id, 0.5);
        ASSERT_FALSE(set.ok());
        EXPECT_EQ(set.error(), "no parameter " + std::to_string(id));
    }
}

TEST_F(InternalPlugins, StateIsTheGainAsEightLittleEndianBytes) {
    LoadedPlugin plugin = create("gain");
    const auto saved = plugin.instance->save_state();
    ASSERT_TRUE(saved.ok());
    EXPECT_EQ(saved.value(), (std::vector<std::uint8_t>{0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xE0, 0x3F}));

    for (std::size_t size : {0u, 7u, 9u}) {
        const auto loaded = plugin.instance->load_state(std::vector<std::uint8_t>(size, 0));
        ASSERT_FALSE(loaded.ok());
        EXPECT_EQ(loaded.error(), "state is not 8 bytes");
        EXPECT_EQ(plugin.instance->params()[0].value, 0.5) << "the gain is unchanged";
    }

    // 2.0 is stored as saved, without clamping, and the audio follows it.
    ASSERT_TRUE(plugin.instance->load_state({0, 0, 0, 0, 0, 0, 0, 0x40}).ok());
    EXPECT_EQ(plugin.instance->params()[0].value, 2.0);
    EXPECT_EQ(plugin.instance->params()[0].text, "4.00");
    const auto out = run_block(*plugin.processor, 1, ramp);
    EXPECT_EQ(out[0][100], ramp(0, 100) * 4.0f);

    // Round trip into a second instance.
    ASSERT_TRUE(plugin.instance->set_param(0, 0.8125).ok());
    LoadedPlugin other = create("gain");
    ASSERT_TRUE(other.instance->load_state(plugin.instance->save_state().value()).ok());
    EXPECT_EQ(other.instance->params()[0].value, 0.8125);
}

TEST_F(InternalPlugins, HaveNoEditorAndNoNotices) {
    LoadedPlugin plugin = create("stereo");
    const auto opened = plugin.instance->open_editor(nullptr);
    ASSERT_FALSE(opened.ok());
    EXPECT_EQ(opened.error(), "this plugin has no window of its own");
    plugin.instance->close_editor();
    plugin.instance->editor_resized(300, 200);
    std::vector<Notice> notices;
    plugin.instance->poll(notices);
    EXPECT_TRUE(notices.empty());
    EXPECT_TRUE(plugin.instance->reactivate().ok());
    plugin.processor->start();
    plugin.processor->stop();
}

TEST_F(InternalPlugins, HangSleepsInEveryBlock) {
    using Clock = std::chrono::steady_clock;
    LoadedPlugin plugin = create("hang:30");
    for (int block = 0; block < 2; ++block) {
        const auto start = Clock::now();
        const auto out = run_block(*plugin.processor, 1, ramp);
        EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(30));
        EXPECT_EQ(out[0][7], ramp(0, 7)) << "passes audio like gain";
    }
    LoadedPlugin default_hang = create("hang");
    const auto start = Clock::now();
    run_block(*default_hang.processor, 1, ramp);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(50));
}

using InternalPluginsDeathTest = InternalPlugins;

TEST_F(InternalPluginsDeathTest, AbortDiesInItsNthBlock) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // Two blocks pass, the third kills the process.
    EXPECT_EXIT(
        {
            LoadedPlugin plugin = create("abort:3");
            for (int block = 0; block < 2; ++block) {
                if (run_block(*plugin.processor, 1, ramp)[0][1] != ramp(0, 1)) std::_Exit(10);
            }
            run_block(*plugin.processor, 1, ramp);
            std::_Exit(11);
        },
        ::testing::KilledBySignal(SIGABRT), "");
    for (const char* first_block : {"abort:0", "abort", "abort:1", "abort:x"}) {
        EXPECT_EXIT(
            {
                LoadedPlugin plugin = create(first_block);
                run_block(*plugin.processor, 1, ramp);
                std::_Exit(11);
            },
            ::testing::KilledBySignal(SIGABRT), "")
            << first_block;
    }
}

TEST_F(InternalPluginsDeathTest, AbortLoadDiesWhileLoading) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            (void)create_internal_plugin("abortload");
            std::_Exit(11);
        },
        ::testing::KilledBySignal(SIGABRT), "");
    EXPECT_EXIT(
        {
            (void)create_internal_plugin("abortload:anything");
            std::_Exit(11);
        },
        ::testing::KilledBySignal(SIGABRT), "");
}

TEST_F(InternalPluginsDeathTest, HangLoadNeverReturns) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The loading thread is still inside the creation when the watchdog ends the process.
    EXPECT_EXIT(
        {
            std::thread loader([] {
                (void)create_internal_plugin("hangload");
                std::_Exit(11);
            });
            loader.detach();
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            std::_Exit(7);
        },
        ::testing::ExitedWithCode(7), "");
}

}  // namespace
}  // namespace ovhost
