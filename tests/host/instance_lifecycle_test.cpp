// The lifecycle of VST3 and CLAP instances: the steps between states, no processing call to
// an instance whose reactivation failed, no restart asked for by the activation itself, and
// a teardown that lets plug-ins counting references per interface delete themselves. Uses
// the lifecycle test plug-ins (tests/plugins/*/lifecycle.cpp), which count the calls a host
// may not make in their state.
#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "clap/clap.h"
#include "clap_support.h"
#include "realtime_counters.h"
#include "vst3/vst3.h"

namespace ovhost {
namespace {

using testing::BlockBuffers;
using testing::poll_texts;

TEST(InstanceLifecycle, OnlyTheStepsTheFormatsAllow) {
    using S = InstanceState;
    const S all[] = {S::created, S::active, S::processing, S::inactive, S::torn_down};
    const std::pair<S, std::vector<S>> allowed[] = {
        {S::created, {S::active, S::inactive, S::torn_down}},
        {S::active, {S::created, S::processing, S::torn_down}},
        {S::processing, {S::active}},  // never deactivated or destroyed while processing
        {S::inactive, {S::active, S::torn_down}},
        {S::torn_down, {}},
    };
    for (const auto& [from, targets] : allowed) {
        for (const S to : all) {
            const bool expected = std::find(targets.begin(), targets.end(), to) != targets.end();
            EXPECT_EQ(instance_step_allowed(from, to), expected)
                << instance_state_name(from) << " -> " << instance_state_name(to);
        }
    }

    InstanceLifecycle life;
    EXPECT_TRUE(life.is(S::created));
    EXPECT_FALSE(life.move_to(S::processing)) << "not active yet";
    EXPECT_TRUE(life.is(S::created));
    S left = S::torn_down;
    EXPECT_TRUE(life.move_to(S::active, &left));
    EXPECT_EQ(left, S::created);
    EXPECT_TRUE(life.move_to(S::processing));
    EXPECT_FALSE(life.move_to(S::torn_down));
    EXPECT_TRUE(life.is(S::processing));
}

// The lifecycle test plug-ins of both formats, and how each is made to refuse its next
// activation and to accept it again.
struct Format {
    const char* name;
    std::function<Outcome<LoadedPlugin>(const char* which)> load;  // which: "refusing" or "latency"
    std::function<void(LoadedPlugin&)> refuse_next_activation;
    std::function<void(LoadedPlugin&)> accept_activation;
    std::uint32_t latency_param;
    double latency_200;  // the normalized value of a 200-sample latency
};

constexpr std::uint32_t kActivations = 2, kBlocks = 3, kViolations = 4;

std::string text_of(PluginInstance& instance, std::uint32_t id) { return testing::params_by_id(instance)[id].text; }

void run_block(LoadedPlugin& plugin) {
    BlockBuffers buffers(plugin.inputs, plugin.outputs);
    buffers.run(*plugin.processor);
}

const std::vector<Format>& formats() {
    static const std::vector<Format> all = {
        {"clap",
         [](const char* which) {
             return load_clap_slot_plugin(testing::clap_test_file("ov-test-lifecycle.clap"),
                                          std::string("org.orvia.test.") +
                                              (std::string(which) == "refusing" ? "refuses-reactivation"
                                                                                : "latency-in-activate"));
         },
         [](LoadedPlugin& plugin) {
             // Action 1 reaches it in a block; it asks for a restart from the main thread.
             ASSERT_TRUE(plugin.instance->set_param(9, 1.0 / 20).ok());
             ASSERT_TRUE(plugin.processor->start());
             run_block(plugin);
             plugin.processor->stop();
             EXPECT_EQ(poll_texts(*plugin.instance), std::vector<std::string>{"restart"});
         },
         [](LoadedPlugin&) {},  // it refuses one activation only
         1, 0.2},
        {"vst3",
         [](const char* which) {
             return load_vst3_slot_plugin(std::string(OV_BINARY_DIR) + "/test-plugins/vst3/OvLifecycle.vst3",
                                          std::string("4F564C43000000000000000000000") +
                                              (std::string(which) == "refusing" ? "022" : "021"),
                                          2);
         },
         [](LoadedPlugin& plugin) {
             ASSERT_TRUE(plugin.instance->set_param(1, 1.0).ok());  // Refuse: asks for a restart
             EXPECT_EQ(poll_texts(*plugin.instance), std::vector<std::string>{"restart"});
         },
         [](LoadedPlugin& plugin) {
             ASSERT_TRUE(plugin.instance->set_param(1, 0.0).ok());
             poll_texts(*plugin.instance);
         },
         0, 0.2},
    };
    return all;
}

TEST(InstanceLifecycle, AnInstanceWhoseReactivationFailedGetsNoProcessingCall) {
    const std::string refusals[] = {"the plugin would not activate at 48 kHz", "the plugin would not activate"};
    for (std::size_t f = 0; f < formats().size(); ++f) {
        const Format& format = formats()[f];
        SCOPED_TRACE(format.name);
        auto loaded = format.load("refusing");
        ASSERT_TRUE(loaded.ok()) << loaded.error();
        LoadedPlugin& plugin = loaded.value();
        ASSERT_TRUE(plugin.processor->start());
        run_block(plugin);
        plugin.processor->stop();
        EXPECT_EQ(plugin.instance->latency(), 48u);

        format.refuse_next_activation(plugin);
        const int blocks = std::stoi(text_of(*plugin.instance, kBlocks));
        EXPECT_EQ(plugin.instance->reactivate().error(), refusals[f]);
        EXPECT_EQ(plugin.instance->latency(), 48u) << "the latency it had while active";
        // What the audio thread does with it costs no allocation and no lock either.
        bool started = true;
        testing::Counts counts{};
        BlockBuffers buffers(plugin.inputs, plugin.outputs);
        std::thread audio([&] {
            testing::arm_counters();
            started = plugin.processor->start();
            buffers.run(*plugin.processor);
            plugin.processor->stop();
            counts = testing::disarm_counters();
        });
        audio.join();
        EXPECT_FALSE(started) << "an inactive plug-in is not started";
        EXPECT_EQ(counts.allocations, 0u);
        EXPECT_EQ(counts.mutex_locks, 0u);
        EXPECT_EQ(std::stoi(text_of(*plugin.instance, kBlocks)), blocks) << "a block reached it";
        EXPECT_EQ(text_of(*plugin.instance, kViolations), "0");

        // A later reactivation that succeeds brings processing back.
        format.accept_activation(plugin);
        ASSERT_TRUE(plugin.instance->reactivate().ok());
        EXPECT_EQ(text_of(*plugin.instance, kActivations), "2");
        ASSERT_TRUE(plugin.processor->start());
        run_block(plugin);
        EXPECT_EQ(plugin.instance->reactivate().error(), "the plugin is still processing");
        plugin.processor->stop();
        EXPECT_EQ(std::stoi(text_of(*plugin.instance, kBlocks)), blocks + 1);
        EXPECT_EQ(text_of(*plugin.instance, kViolations), "0");
    }
}

TEST(InstanceLifecycle, NoticesRaisedWhileActivatingAskForNoFurtherRestart) {
    for (const Format& format : formats()) {
        SCOPED_TRACE(format.name);
        auto loaded = format.load("latency");
        ASSERT_TRUE(loaded.ok()) << loaded.error();
        LoadedPlugin& plugin = loaded.value();
        EXPECT_EQ(poll_texts(*plugin.instance), std::vector<std::string>{}) << "reported while it was created";

        // A new latency: the plug-in asks for the restart that applies it...
        ASSERT_TRUE(plugin.instance->set_param(format.latency_param, format.latency_200).ok());
        ASSERT_TRUE(plugin.processor->start());
        run_block(plugin);
        plugin.processor->stop();
        const auto asked = poll_texts(*plugin.instance);
        ASSERT_FALSE(asked.empty());
        EXPECT_EQ(asked.front(), "restart");
        // ...and reports it again from inside that restart, which asks for nothing more.
        ASSERT_TRUE(plugin.instance->reactivate().ok());
        EXPECT_EQ(poll_texts(*plugin.instance), std::vector<std::string>{});
        EXPECT_EQ(plugin.instance->latency(), 200u) << "read after the activation";
        EXPECT_EQ(text_of(*plugin.instance, kActivations), "2");
        EXPECT_EQ(text_of(*plugin.instance, kViolations), "0");
    }
}

// Plug-ins that count references per interface delete the component only when its audio
// processor was released first.
TEST(InstanceLifecycle, TeardownReleasesTheAudioProcessorBeforeTheComponent) {
    constexpr std::uint32_t kParked = 5, kLive = 6;
    auto probe = formats()[1].load("latency");
    ASSERT_TRUE(probe.ok()) << probe.error();
    PluginInstance& counts = *probe->instance;
    const std::string parked_before = text_of(counts, kParked);
    const int live_before = std::stoi(text_of(counts, kLive));
    for (const char* which : {"latency", "refusing"}) {
        SCOPED_TRACE(which);
        {
            auto loaded = formats()[1].load(which);
            ASSERT_TRUE(loaded.ok()) << loaded.error();
            ASSERT_TRUE(loaded->processor->start());
            loaded->processor->stop();
            EXPECT_EQ(std::stoi(text_of(counts, kLive)), live_before + 1);
        }
        EXPECT_EQ(text_of(counts, kParked), parked_before) << "the component refused to delete itself";
        EXPECT_EQ(std::stoi(text_of(counts, kLive)), live_before);
    }
}

}  // namespace
}  // namespace ovhost
