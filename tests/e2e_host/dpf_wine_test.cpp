// The Windows ov-pluginhost.exe under Wine with the Windows builds of the test plug-ins
// made with DPF, someone else's framework: exact scan lines, the delay's latency and state
// through the rack, every parameter kind, and teardowns the framework does not complain
// about. The Windows stand-in plays Orvia's part from a script.
#include "dpf_cases.h"
#include "wine_host_fixture.h"

namespace ovtest {
namespace {

namespace d = ovtest::dpf;

d::Place wine_place() {
    const std::string folder = z_drive_path(std::string(OV_WINDOWS_BUILD_DIR) + "/test-plugins");
    return {folder + "\\vst3", folder + "\\clap", '\\'};
}

ov::Json blocks_step(std::vector<std::vector<double>> mix, std::uint32_t delay = 0) {
    return step("blocks", {{"count", 20}, {"expect", {{"mix", mix}, {"delay", delay}}}, {"blockTimeoutMs", 10000}});
}

// Silence paced like live audio for about half a second, unchecked: a new latency shows
// first in the plug-in's processing, and the restarts it asks for leave gaps.
ov::Json settle_step() {
    return step("blocks", {{"count", 50}, {"paceUs", 10000}, {"signal", {{"kind", "silence"}}}, {"blockTimeoutMs", 1000}});
}

ov::Json latency_step() { return step("expectEvent", {{"event", "latency"}, {"timeoutMs", 30000}}); }

ov::Json set_rack_step(const std::vector<ov::Json>& slots) { return request_step({{"cmd", "setRack"}, {"slots", slots}}); }

ov::Json set_param_step(std::uint32_t key, std::uint32_t param, double value) {
    return request_step({{"cmd", "setParam"}, {"key", key}, {"param", param}, {"value", value}});
}

std::string describe(const ov::Json& report) { return ov::to_pretty_json(report); }

class DpfWineHost : public WineHostSuite<DpfWineHost> {
public:
    static std::vector<std::string> extra_files() {
        std::vector<std::string> files;
        for (const d::Plugin* plugin : {&d::kDelay, &d::kParams}) {
            const std::string name = plugin->file;
            files.push_back("test-plugins/vst3/" + name + ".vst3/Contents/x86_64-win/" + name + ".vst3");
            files.push_back("test-plugins/clap/" + name + ".clap");
        }
        return files;
    }
};

class DpfWineRack : public DpfWineHost, public ::testing::WithParamInterface<d::Format> {
protected:
    d::Format format() const { return GetParam(); }
    ov::Json slot(std::uint32_t key, const d::Plugin& plugin, const ov::Json& extra = ov::Json::object()) {
        return d::slot(key, wine_place(), format(), plugin, extra);
    }
};

TEST_F(DpfWineHost, ScanReportsAreExactLinesWithoutComplaints) {
    const d::Place place = wine_place();
    for (const d::Plugin* plugin : d::kPlugins) {
        for (d::Format format : d::kFormats) {
            if (plugin == &d::kEditor &&
                !std::filesystem::exists(std::string(OV_WINDOWS_BUILD_DIR) + "/test-plugins/clap/OvDpfEditor.clap"))
                continue;  // the editor needs OpenGL
            const std::string path = place.path(format, plugin->file);
            SCOPED_TRACE(path);
            RunResult run = scan(path);
            EXPECT_EQ(run.exit_code, 0) << run.describe();
            EXPECT_EQ(run.out, d::scan_line(place, format, *plugin));
            EXPECT_EQ(d::joined(d::framework_complaints(run.err)), "");
        }
    }
}

TEST_P(DpfWineRack, DelayLatencyAndStateTravelThroughTheRack) {
    const ov::Json steps = ov::Json::array({
        set_rack_step({slot(1, d::kDelay, {{"state", d::delay_state(format(), 32)}})}),  // 1
        settle_step(),                                                                 // 2
        latency_step(),                                                                // 3: 64, the first
        latency_step(),                                                                // 4: 32, the state's
        blocks_step({{-0.5, 0}, {0, -0.5}}, 32),                                       // 5
        set_param_step(1, d::gain_param(format()), 0.75),                              // 6
        set_param_step(1, d::delay_param(format()), 0.5),                              // 7
        settle_step(),                                                                 // 8
        latency_step(),                                                                // 9: 128
        blocks_step({{-1.5, 0}, {0, -1.5}}, 128),                                      // 10
        request_step({{"cmd", "getState"}, {"key", 1}}),                               // 11
        set_rack_step({slot(2, d::kDelay, {{"state", d::delay_state(format(), 128)}})}),  // 12
        settle_step(),                                                                 // 13
        latency_step(),                                                                // 14: 64
        latency_step(),                                                                // 15: 128
        blocks_step({{-1.5, 0}, {0, -1.5}}, 128),                                      // 16
        request_step({{"cmd", "params"}, {"key", 2}}),                                 // 17
    });
    const ov::Json report = run_session(2, steps);
    const ov::Json& r = report["steps"];
    ASSERT_EQ(r.size(), steps.size() + 3) << describe(report);
    EXPECT_EQ(r[1]["reply"]["result"][0]["error"], nullptr) << describe(r[1]);
    EXPECT_EQ(r[1]["reply"]["result"][0]["latency"], 64) << describe(r[1]);
    const std::pair<std::size_t, std::uint32_t> latencies[] = {{3, 64}, {4, 32}, {9, 128}, {14, 64}, {15, 128}};
    for (const auto& [index, total] : latencies)
        EXPECT_EQ(r[index]["event"], (ov::Json{{"event", "latency"}, {"total", total}})) << "step " << index;
    for (std::size_t i : {5u, 10u, 16u}) EXPECT_EQ(r[i]["run"]["ok"], true) << "step " << i << "\n" << describe(r[i]);
    EXPECT_EQ(r[11]["reply"]["result"]["state"], d::delay_state(format(), 128)) << describe(r[11]);
    EXPECT_EQ(r[12]["reply"]["result"][0]["error"], nullptr) << describe(r[12]);
    for (const auto& p : r[17]["reply"]["result"]) {
        if (p["id"] == d::gain_param(format())) EXPECT_EQ(p["value"], 0.75) << describe(p);
        if (p["id"] == d::delay_param(format())) EXPECT_EQ(p["text"], "128") << describe(p);
    }
    EXPECT_EQ(report["exitCode"], 0);
    EXPECT_EQ(d::joined(d::framework_complaints(report.value("stderr", ""))), "");
}

TEST_P(DpfWineRack, EveryParameterKindReachesTheAudio) {
    const auto changes = d::param_steps();
    ov::Json steps = ov::Json::array({set_rack_step({slot(1, d::kParams)})});  // 1
    for (const d::ParamStep& change : changes) {                                // 2 + 3i ...
        steps.push_back(set_param_step(1, change.id, change.value));
        steps.push_back(blocks_step(change.mix));
        steps.push_back(request_step({{"cmd", "params"}, {"key", 1}}));
    }
    const std::size_t errors = steps.size() + 1;
    steps.push_back(set_param_step(1, d::kApplied, 0.5));
    steps.push_back(set_param_step(1, 99, 0.5));
    steps.push_back(request_step({{"cmd", "getState"}, {"key", 1}}));
    steps.push_back(step("collect", {{"ms", 500}}));

    const ov::Json report = run_session(2, steps);
    const ov::Json& r = report["steps"];
    ASSERT_EQ(r.size(), steps.size() + 3) << describe(report);
    EXPECT_EQ(r[1]["reply"]["result"][0]["params"], 5) << describe(r[1]);
    for (std::size_t i = 0; i < changes.size(); ++i) {
        SCOPED_TRACE("change " + std::to_string(i));
        EXPECT_EQ(r[3 + 3 * i]["run"]["ok"], true) << describe(r[3 + 3 * i]);
        for (const auto& p : r[4 + 3 * i]["reply"]["result"])
            if (p["id"] == changes[i].id) {
                EXPECT_NEAR(p.value("value", -1.0), changes[i].value, 1e-6);
                EXPECT_EQ(p["text"], changes[i].text);
            }
    }
    EXPECT_EQ(r[errors]["reply"]["error"], "Applied is read-only");
    EXPECT_EQ(r[errors + 1]["reply"]["error"], "no parameter 99");
    if (format() == d::Format::clap)
        EXPECT_EQ(r[errors + 2]["reply"]["error"], "this plugin saves no state");
    else
        EXPECT_EQ(r[errors + 2]["reply"]["ok"], true);
    // The output parameter reports the scale applied last (-1 in -4..4).
    const ov::Json applied = {{"event", "param"}, {"id", d::kApplied}, {"key", 1}, {"value", 0.375}};
    bool reported = false;
    for (const auto& e : report.value("events", ov::Json::array())) reported = reported || e == applied;
    EXPECT_TRUE(reported) << describe(report["events"]);
    EXPECT_EQ(report["exitCode"], 0);
    EXPECT_EQ(d::joined(d::framework_complaints(report.value("stderr", ""))), "");
}

INSTANTIATE_TEST_SUITE_P(Formats, DpfWineRack, ::testing::Values(d::Format::vst3, d::Format::clap),
                         [](const auto& info) { return std::string(d::kind_of(info.param)); });

}  // namespace
}  // namespace ovtest
