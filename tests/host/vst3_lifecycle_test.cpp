// The order of the host's calls when it creates, runs and tears down a VST3 instance, as the
// test modules note them (OvFxTakeCallLog).
#include <gtest/gtest.h>

#include <sstream>

#include "platform/dynamic_library.h"
#include "vst3/vst3.h"

namespace ovhost {
namespace {

std::string folder() { return std::string(OV_BINARY_DIR) + "/test-plugins/vst3/"; }

struct Module {
    std::string path;    // as the host is given it
    std::string binary;  // the library file
};

const Module kBundle{folder() + "OvFx.vst3", folder() + "OvFx.vst3/Contents/x86_64-linux/OvFx.so"};
const Module kFailing{folder() + "OvFxFailing.vst3", folder() + "OvFxFailing.vst3"};

// The calls a module noted since the last look.
std::vector<std::string> take_calls(const Module& module) {
    std::string error;
    // The same library the host loaded: loading it again only adds a reference.
    auto library = ovplat::load_library(module.binary, error);
    EXPECT_NE(library, nullptr) << error;
    using Take = const char* (*)();
    auto take = reinterpret_cast<Take>(ovplat::library_symbol(library, "OvFxTakeCallLog"));
    EXPECT_NE(take, nullptr);
    std::vector<std::string> calls;
    if (take == nullptr) return calls;
    std::istringstream lines(take());
    for (std::string line; std::getline(lines, line);) calls.push_back(line);
    return calls;
}

std::string uid_of(unsigned tag) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return std::string("4F5646580000000000000000000000") + kDigits[tag >> 4] + kDigits[tag & 0xF];
}

using Calls = std::vector<std::string>;

TEST(Vst3Lifecycle, CreationRunAndTeardownInOrder) {
    struct Case {
        const char* name;
        const Module* module;
        unsigned tag;
        std::uint32_t channels;
        bool run;  // start and stop the processor in between
        Calls creation;
        Calls teardown;
    };
    const Case cases[] = {
        {"single component: no connection, no state copy, no separate terminate", &kBundle, 1, 2, true,
         {"component.initialize", "controller.setComponentHandler", "processor.setBusArrangements 2 2",
          "component.activateBus 0 0 0 1", "component.activateBus 0 1 0 1", "processor.setupProcessing 480",
          "component.setActive 1"},
         {"processor.setProcessing 1", "processor.setProcessing 0", "component.setActive 0",
          "controller.setComponentHandler null", "component.terminate", "component.deleted"}},
        {"separate controller", &kBundle, 2, 1, false,
         {"component.initialize", "controller.initialize", "component.connect", "controller.connect",
          "controller.setComponentHandler", "component.getState", "controller.setComponentState",
          "processor.setBusArrangements 1 1", "component.activateBus 0 0 0 1", "component.activateBus 0 1 0 1",
          "processor.setupProcessing 480", "component.setActive 1"},
         {"component.setActive 0", "component.disconnect", "controller.disconnect",
          "controller.setComponentHandler null", "controller.terminate", "controller.deleted", "component.terminate",
          "component.deleted"}},
        {"mono refused, then stereo", &kBundle, 3, 1, false,
         {"component.initialize", "controller.setComponentHandler", "processor.setBusArrangements 1 1",
          "processor.setBusArrangements 2 2", "component.activateBus 0 0 0 1", "component.activateBus 0 1 0 1",
          "processor.setupProcessing 480", "component.setActive 1"},
         {"component.setActive 0", "controller.setComponentHandler null", "component.terminate", "component.deleted"}},
        {"side chain: bus 1 inactive and stereo", &kBundle, 4, 1, false,
         {"component.initialize", "controller.setComponentHandler", "processor.setBusArrangements 1 1",
          "component.activateBus 0 0 0 1", "component.activateBus 0 0 1 0", "component.activateBus 0 1 0 1",
          "processor.setupProcessing 480", "component.setActive 1"},
         {"component.setActive 0", "controller.setComponentHandler null", "component.terminate", "component.deleted"}},
        {"512-frame blocks", &kBundle, 5, 2, false,
         {"component.initialize", "controller.setComponentHandler", "processor.setBusArrangements 2 2",
          "component.activateBus 0 0 0 1", "component.activateBus 0 1 0 1", "processor.setupProcessing 480",
          "processor.setupProcessing 512", "component.setActive 1"},
         {"component.setActive 0", "controller.setComponentHandler null", "component.terminate", "component.deleted"}},
        {"no controller", &kBundle, 7, 2, false,
         {"component.initialize", "processor.setBusArrangements 2 2", "component.activateBus 0 0 0 1",
          "component.activateBus 0 1 0 1", "processor.setupProcessing 480", "component.setActive 1"},
         {"component.setActive 0", "component.terminate", "component.deleted"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        take_calls(*c.module);
        auto loaded = load_vst3_slot_plugin(c.module->path, uid_of(c.tag), c.channels);
        ASSERT_TRUE(loaded.ok()) << loaded.error();
        EXPECT_EQ(take_calls(*c.module), c.creation);
        if (c.run) {
            loaded->processor->start();
            loaded->processor->stop();
        }
        loaded = Outcome<LoadedPlugin>::failure("gone");  // destroys the plug-in
        EXPECT_EQ(take_calls(*c.module), c.teardown);
    }
}

TEST(Vst3Lifecycle, FailedCreationsUndoWhatWasDone) {
    struct Case {
        unsigned tag;
        Calls calls;
    };
    const Case cases[] = {
        {0x12, {"component.initialize", "component.deleted"}},  // initialise fails: released, not terminated
        {0x13, {"component.initialize", "component.terminate", "component.deleted"}},  // no audio processor
        {0x14, {"component.initialize", "controller.setComponentHandler", "controller.setComponentHandler null",
                "component.terminate", "component.deleted"}},  // instrument
        {0x16, {"component.initialize", "controller.setComponentHandler", "processor.setBusArrangements 2 2",
                "component.activateBus 0 0 0 1", "component.activateBus 0 1 0 1", "processor.setupProcessing 480",
                "processor.setupProcessing 512", "controller.setComponentHandler null", "component.terminate",
                "component.deleted"}},  // refuses 48 kHz
        {0x17, {"component.initialize", "controller.setComponentHandler", "processor.setBusArrangements 2 2",
                "component.activateBus 0 0 0 1", "component.activateBus 0 1 0 1", "processor.setupProcessing 480",
                "component.setActive 1", "controller.setComponentHandler null", "component.terminate",
                "component.deleted"}},  // would not activate: not deactivated either
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tag);
        take_calls(kFailing);
        auto loaded = load_vst3_slot_plugin(kFailing.path, uid_of(c.tag), 2);
        EXPECT_FALSE(loaded.ok());
        EXPECT_EQ(take_calls(kFailing), c.calls);
    }
}

TEST(Vst3Lifecycle, ReactivateAndStateTransfers) {
    take_calls(kBundle);
    auto loaded = load_vst3_slot_plugin(kBundle.path, uid_of(2), 2);
    ASSERT_TRUE(loaded.ok());
    take_calls(kBundle);
    ASSERT_TRUE(loaded->instance->reactivate().ok());
    EXPECT_EQ(take_calls(kBundle),
              (Calls{"component.setActive 0", "processor.setupProcessing 480", "component.setActive 1"}));
    auto saved = loaded->instance->save_state();
    ASSERT_TRUE(saved.ok());
    EXPECT_EQ(take_calls(kBundle), (Calls{"component.getState", "controller.getState"}));
    ASSERT_TRUE(loaded->instance->load_state(saved.value()).ok());
    EXPECT_EQ(take_calls(kBundle), (Calls{"component.setState", "controller.setComponentState", "controller.setState"}));
    // A refused component state leaves the controller alone.
    const std::string refused("OVV3\x02\0\0\0xx\0\0\0\0", 14);
    EXPECT_FALSE(loaded->instance->load_state(std::vector<std::uint8_t>(refused.begin(), refused.end())).ok());
    EXPECT_EQ(take_calls(kBundle), (Calls{"component.setState"}));
}

}  // namespace
}  // namespace ovhost
