// The real ov-pluginhost with the test plug-ins built on DPF, someone else's framework:
// exact scan lines, a delay whose latency and state travel through the rack, every kind of
// parameter the framework offers, and teardowns the framework does not complain about.
#include "dpf_cases.h"
#include "host_fixture.h"

namespace ovtest {
namespace {

namespace d = ovtest::dpf;

d::Place native_place() {
    return {std::string(OV_BINARY_DIR) + "/test-plugins/vst3", std::string(OV_BINARY_DIR) + "/test-plugins/clap", '/'};
}

ov::Json set_param(std::uint32_t key, std::uint32_t param, double value) {
    return {{"cmd", "setParam"}, {"key", key}, {"param", param}, {"value", value}};
}

bool built() {
    for (const d::Plugin* plugin : {&d::kDelay, &d::kParams})
        for (d::Format format : d::kFormats)
            if (!std::filesystem::exists(native_place().path(format, plugin->file))) return false;
    return true;
}

TEST(DpfScan, ScanReportsAreExactLinesWithoutComplaints) {
    if (!std::filesystem::exists(host_program()) || !built()) GTEST_SKIP() << "the DPF test plug-ins are not built";
    const d::Place place = native_place();
    for (const d::Plugin* plugin : d::kPlugins) {
        for (d::Format format : d::kFormats) {
            const std::string path = place.path(format, plugin->file);
            if (!std::filesystem::exists(path)) continue;  // the editor needs OpenGL
            SCOPED_TRACE(path);
            RunOptions options;
            options.timeout = std::chrono::milliseconds(60000);
            const RunResult run = run_process(host_program(), {"scan", path}, options);
            EXPECT_EQ(run.exit_code, 0) << run.describe();
            EXPECT_EQ(run.out, d::scan_line(place, format, *plugin));
            // Each scan creates and destroys two instances.
            EXPECT_EQ(d::joined(d::framework_complaints(run.err)), "");
        }
    }
}

class DpfRack : public RackHost, public ::testing::WithParamInterface<d::Format> {
protected:
    void SetUp() override {
        RackHost::SetUp();
        if (IsSkipped()) return;
        if (!built()) GTEST_SKIP() << "the DPF test plug-ins are not built";
        start_rack(2);
    }

    d::Format format() const { return GetParam(); }
    ov::Json slot(std::uint32_t key, const d::Plugin& plugin, const ov::Json& extra = ov::Json::object()) {
        return d::slot(key, native_place(), format(), plugin, extra);
    }

    // Silence paced like live audio for about half a second, unchecked: a new latency shows
    // first in the plug-in's processing, and the restarts it asks for leave gaps.
    void settle() {
        ovstandin::BlockPlan plan;
        plan.count = 50;
        plan.pace_us = 10000;
        plan.block_timeout_ms = 1000;
        plan.signal.kind = ovstandin::Signal::Kind::silence;
        rig_->run_blocks(plan);
    }

    void expect_latency_event(std::uint32_t total) {
        EXPECT_EQ(wait_event("latency"), (ov::Json{{"event", "latency"}, {"total", total}}));
    }

    // "quit", the orderly exit, and nothing the framework complains of on the way.
    void quit_without_complaints() {
        quit_and_expect_exit();
        EXPECT_EQ(d::joined(d::framework_complaints(rig_->error_output(5000))), "");
    }
};

TEST_P(DpfRack, DelayLatencyAndStateTravelThroughTheRack) {
    // A saved state: inverted polarity, a delay of 32 samples and gain 0.5. The new instance
    // reports its first latency (64) until it has processed, then asks for a restart.
    const ov::Json loaded = result_of(set_rack({slot(1, d::kDelay, {{"state", d::delay_state(format(), 32)}})}));
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0]["error"], nullptr);
    EXPECT_EQ(loaded[0]["latency"], 64);
    settle();
    expect_latency_event(64);
    expect_latency_event(32);
    expect_audio(checked_blocks({{-0.5, 0}, {0, -0.5}}, 32));

    // A new gain and a new delay: the delay is the latency, reported once the plug-in runs.
    EXPECT_EQ(result_of(set_param(1, d::gain_param(format()), 0.75))["name"], "Gain");
    EXPECT_EQ(result_of(set_param(1, d::delay_param(format()), 0.5))["name"], "Delay");
    settle();
    expect_latency_event(128);
    expect_audio(checked_blocks({{-1.5, 0}, {0, -1.5}}, 128));
    const auto params = params_of(1);
    EXPECT_EQ(params.at(d::delay_param(format()))["text"], "128");
    EXPECT_EQ(params.at(d::gain_param(format()))["text"], "1.500000");

    // The state as the plug-in saves it, exactly, and a new instance restored from it.
    const std::string state = result_of({{"cmd", "getState"}, {"key", 1}})["state"];
    EXPECT_EQ(state, d::delay_state(format(), 128));
    EXPECT_EQ(result_of({{"cmd", "getStates"}}), (ov::Json{{"1", state}}));
    const ov::Json restored = result_of(set_rack({slot(2, d::kDelay, {{"state", state}})}));
    EXPECT_EQ(restored[0]["error"], nullptr);
    settle();
    expect_latency_event(64);
    expect_latency_event(128);
    expect_audio(checked_blocks({{-1.5, 0}, {0, -1.5}}, 128));
    EXPECT_EQ(params_of(2).at(d::gain_param(format()))["value"], 0.75);

    // Bypassed, the slot delays by its latency only.
    result_of(set_rack({slot(2, d::kDelay, {{"bypass", true}})}));
    run_unchecked();
    expect_audio(checked_blocks({{1, 0}, {0, 1}}, 128));
    quit_without_complaints();
}

TEST_P(DpfRack, EveryParameterKindReachesTheAudio) {
    const ov::Json loaded = result_of(set_rack({slot(1, d::kParams)}));
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0]["params"], 5);
    ov::Json outline = ov::Json::array();
    for (const auto& [id, p] : params_of(1)) {
        ov::Json fields = p;
        fields.erase("value");
        fields.erase("text");
        outline.push_back(fields);
    }
    EXPECT_EQ(outline, d::params_outline(format()));
    expect_audio(checked_blocks({{1, 0}, {0, 1}}));

    for (const d::ParamStep& change : d::param_steps()) {
        SCOPED_TRACE(std::to_string(change.id) + " = " + std::to_string(change.value));
        EXPECT_EQ(result_of(set_param(1, change.id, change.value))["id"], change.id);
        expect_audio(checked_blocks(change.mix));
        const ov::Json now = params_of(1).at(change.id);
        EXPECT_NEAR(now.value("value", -1.0), change.value, 1e-6);
        EXPECT_EQ(now["text"], change.text);
    }
    // The output parameter reports the scale applied last (-1 in -4..4).
    bool reported = false;
    while (!reported) {
        const ov::Json event = wait_event("param");
        if (event.is_null()) break;
        reported = event["id"] == d::kApplied && event["key"] == 1 && event["value"] == 0.375;
    }
    EXPECT_TRUE(reported);

    EXPECT_EQ(error_of(set_param(1, d::kApplied, 0.5)), "Applied is read-only");
    EXPECT_EQ(error_of(set_param(1, 99, 0.5)), "no parameter 99");
    if (format() == d::Format::clap) {
        // The framework offers CLAP hosts a state only to plug-ins that declare one.
        EXPECT_EQ(error_of({{"cmd", "getState"}, {"key", 1}}), "this plugin saves no state");
    } else {
        const std::string state = result_of({{"cmd", "getState"}, {"key", 1}})["state"];
        EXPECT_EQ(result_of(set_rack({slot(2, d::kParams, {{"state", state}})}))[0]["error"], nullptr);
        expect_audio(checked_blocks({{-1, 0}, {-1, 0}}));
    }
    quit_without_complaints();
}

INSTANTIATE_TEST_SUITE_P(Formats, DpfRack, ::testing::Values(d::Format::vst3, d::Format::clap),
                         [](const auto& info) { return std::string(d::kind_of(info.param)); });

}  // namespace
}  // namespace ovtest
