// VST3 processing on the audio thread allocates nothing and takes no mutex, also while
// parameter changes flow both ways and more changes wait than one block can take.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "realtime_counters.h"
#include "vst3/vst3.h"

namespace ovhost {
namespace {

using testing::arm_counters;
using testing::Counts;
using testing::disarm_counters;

std::string bundle() { return std::string(OV_BINARY_DIR) + "/test-plugins/vst3/OvFx.vst3"; }

TEST(Vst3Realtime, ProcessingAllocatesNothingAndTakesNoLock) {
    struct Case {
        const char* uid;
        std::uint32_t channels;
        std::vector<std::uint32_t> params;  // set before the blocks run
    };
    std::vector<std::uint32_t> seventy;
    for (std::uint32_t id = 100; id < 170; ++id) seventy.push_back(id);
    const Case cases[] = {
        {"4F564658000000000000000000000001", 2, {0, 1, 3}},  // single component, meter output
        {"4F564658000000000000000000000002", 1, {0, 1}},     // separate controller
        {"4F564658000000000000000000000004", 2, {0}},        // side chain from scratch buffers
        {"4F564658000000000000000000000006", 2, seventy},    // more than 64 changes wait
        {"4F564658000000000000000000000008", 2, {0}},        // six plug-in channels on two
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.uid);
        auto loaded = load_vst3_slot_plugin(bundle(), c.uid, c.channels);
        ASSERT_TRUE(loaded.ok()) << loaded.error();
        LoadedPlugin& plugin = loaded.value();
        for (std::uint32_t id : c.params) ASSERT_TRUE(plugin.instance->set_param(id, 0.75).ok());

        std::vector<std::vector<float>> in(c.channels, std::vector<float>(kBlockFrames, 0.5f)), out = in;
        std::vector<const float*> ins;
        std::vector<float*> outs;
        for (auto& channel : in) ins.push_back(channel.data());
        for (auto& channel : out) outs.push_back(channel.data());
        Counts counts{};
        std::thread audio([&] {
            plugin.processor->start();
            arm_counters();
            for (int block = 0; block < 4; ++block)
                plugin.processor->process(ins.data(), c.channels, outs.data(), c.channels, kBlockFrames);
            counts = disarm_counters();
            plugin.processor->stop();
        });
        audio.join();
        EXPECT_EQ(counts.allocations, 0u);
        EXPECT_EQ(counts.mutex_locks, 0u);
        // 0.5 in, times 2 x the gain (0.75 when it was set, else 0.5).
        const bool gain_set = std::find(c.params.begin(), c.params.end(), 0u) != c.params.end();
        EXPECT_FLOAT_EQ(out[0][0], gain_set ? 0.75f : 0.5f);
        std::vector<Notice> notices;
        plugin.instance->poll(notices);
    }
}

}  // namespace
}  // namespace ovhost
