// CLAP processors allocate nothing and take no mutex on the audio thread, with parameter
// values going in, values coming out and callbacks made from inside process.
#include <gtest/gtest.h>

#include <thread>

#include "clap_support.h"
#include "realtime_counters.h"

namespace ovhost {
namespace {

using testing::arm_counters;
using testing::BlockBuffers;
using testing::Counts;
using testing::create_test_plugin;
using testing::disarm_counters;

TEST(ClapRealtime, ProcessingNeitherAllocatesNorLocks) {
    std::vector<LoadedPlugin> plugins;
    for (const char* id : {"gain", "probe", "sidechain", "wide", "mono", "editor"}) {
        auto created = create_test_plugin(id);
        ASSERT_TRUE(created.ok()) << id << ": " << created.error();
        plugins.push_back(std::move(created.value()));
    }
    std::vector<BlockBuffers> buffers;
    for (auto& plugin : plugins) buffers.emplace_back(plugin.inputs, plugin.outputs);

    // Between blocks the main thread queues values, including actions that make the gain
    // plug-in push output values and call the host from inside process.
    auto& gain = *plugins[0].instance;
    auto& probe = *plugins[1].instance;
    Counts counts{};
    for (int round = 0; round < 20; ++round) {
        for (int i = 0; i < 150; ++i) ASSERT_TRUE(probe.set_param(1, i / 150.0).ok());
        ASSERT_TRUE(gain.set_param(1, round / 20.0).ok());
        ASSERT_TRUE(gain.set_param(9, (10 + round % 3) / 20.0).ok());  // actions 10, 11, 12
        std::thread audio([&] {
            arm_counters();
            for (auto& plugin : plugins) plugin.processor->start();
            for (int block = 0; block < 3; ++block)
                for (std::size_t p = 0; p < plugins.size(); ++p) buffers[p].run(*plugins[p].processor);
            for (auto& plugin : plugins) plugin.processor->stop();
            const Counts seen = disarm_counters();
            counts.allocations += seen.allocations;
            counts.mutex_locks += seen.mutex_locks;
        });
        audio.join();
        std::vector<Notice> notices;
        for (auto& plugin : plugins) plugin.instance->poll(notices);
        ASSERT_FALSE(notices.empty()) << "the plug-ins reported what they did";
    }
    EXPECT_EQ(counts.allocations, 0u);
    EXPECT_EQ(counts.mutex_locks, 0u);
}

}  // namespace
}  // namespace ovhost
