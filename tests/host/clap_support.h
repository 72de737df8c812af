#pragma once
// Loads our CLAP test plug-ins (tests/plugins/clap) and drives their instances and
// processors the way the rack does.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "clap/clap.h"
#include "ov/numfmt.h"

namespace ovhost::testing {

inline std::string clap_test_file(const std::string& name) {
    return std::string(OV_BINARY_DIR) + "/test-plugins/clap/" + name;
}

inline std::string effects_file() { return clap_test_file("ov-test-effects.clap"); }

// The test plug-in's parameters that trigger behaviours; see tests/plugins/clap/effects.cpp.
inline constexpr std::uint32_t kActionParam = 9;
inline constexpr double kActionRange = 20.0;

inline std::shared_ptr<const ClapModule> effects_module() {
    auto module = load_clap_module(effects_file());
    EXPECT_TRUE(module.ok()) << module.error();
    return module.ok() ? module.value() : nullptr;
}

inline Outcome<LoadedPlugin> create_test_plugin(const std::string& id) {
    auto module = effects_module();
    if (!module) return Outcome<LoadedPlugin>::failure("the test plug-in file did not load");
    for (const auto& record : clap_descriptors(*module))
        if (record.id == "org.orvia.test." + id) return create_clap_plugin(module, record);
    return Outcome<LoadedPlugin>::failure("no test plug-in " + id);
}

// Blocks of 480 frames through a processor, as the audio thread runs them.
struct BlockBuffers {
    std::vector<std::vector<float>> in, out;
    std::vector<const float*> in_pointers;
    std::vector<float*> out_pointers;

    BlockBuffers(std::uint32_t inputs, std::uint32_t outputs)
        : in(inputs, std::vector<float>(kBlockFrames)), out(outputs, std::vector<float>(kBlockFrames)) {
        for (std::uint32_t c = 0; c < inputs; ++c) {
            for (std::uint32_t i = 0; i < kBlockFrames; ++i) in[c][i] = static_cast<float>((c + 1) * 0.001 * (i % 97));
            in_pointers.push_back(in[c].data());
        }
        for (auto& channel : out) out_pointers.push_back(channel.data());
    }

    void run(PluginProcessor& processor) {
        processor.process(in_pointers.data(), static_cast<std::uint32_t>(in_pointers.size()), out_pointers.data(),
                          static_cast<std::uint32_t>(out_pointers.size()), kBlockFrames);
    }
};

// One block as the audio thread runs it: started (unless it already is), processed, and
// stopped again when this call started it.
inline void run_block(LoadedPlugin& plugin) {
    BlockBuffers buffers(plugin.inputs, plugin.outputs);
    const bool started_here = plugin.processor->start();
    buffers.run(*plugin.processor);
    if (started_here) plugin.processor->stop();
}

inline std::map<std::uint32_t, ParamInfo> params_by_id(PluginInstance& instance) {
    std::map<std::uint32_t, ParamInfo> out;
    for (auto& info : instance.params()) out[info.id] = info;
    return out;
}

// Notices as short texts, so that a whole poll compares as one list.
inline std::string describe_notice(const Notice& n) {
    struct Describe {
        std::string operator()(const notice::ParamChanged& p) const {
            return "param " + std::to_string(p.id) + " " + ov::num::plain(p.value);
        }
        std::string operator()(const notice::LatencyChanged&) const { return "latency"; }
        std::string operator()(const notice::RestartRequested&) const { return "restart"; }
        std::string operator()(const notice::StateDirty&) const { return "dirty"; }
        std::string operator()(const notice::EditorClosed&) const { return "closed"; }
        std::string operator()(const notice::EditorResize& r) const {
            return "resize " + std::to_string(r.width) + "x" + std::to_string(r.height);
        }
    };
    return std::visit(Describe{}, n);
}

inline std::vector<std::string> poll_texts(PluginInstance& instance) {
    std::vector<Notice> notices;
    instance.poll(notices);
    std::vector<std::string> texts;
    for (const auto& n : notices) texts.push_back(describe_notice(n));
    return texts;
}

// Sets the Action parameter and runs the block that delivers it.
inline void trigger(LoadedPlugin& plugin, int action) {
    auto set = plugin.instance->set_param(kActionParam, action / kActionRange);
    EXPECT_TRUE(set.ok()) << set.error();
    run_block(plugin);
}

}  // namespace ovhost::testing
