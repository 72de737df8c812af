// ov-pluginhost.exe under Wine with the Windows builds of the lifecycle test plug-ins: the same
// single restart for a latency reported while activating, the same pass-through without
// processing calls after a failed restart, dropped VST3 slots deleted, and a CLAP gui request
// that sizes nothing while no gui exists. The Windows stand-in plays Orvia's part.
#include "lifecycle_cases.h"
#include "wine_host_fixture.h"

namespace ovtest {
namespace {

namespace lc = ovtest::lifecycle;

std::vector<lc::Format> wine_formats() {
    return lc::formats(z_drive_path(std::string(OV_WINDOWS_BUILD_DIR) + "/test-plugins/clap"),
                       z_drive_path(std::string(OV_WINDOWS_BUILD_DIR) + "/test-plugins/vst3"), '\\');
}

class LifecycleWine : public WineHostSuite<LifecycleWine> {
public:
    static std::vector<std::string> extra_files() {
        return {"test-plugins/clap/ov-test-lifecycle.clap", "test-plugins/vst3/OvLifecycle.vst3",
                "test-plugins/clap/ov-test-effects.clap"};
    }
};

// A script under construction that remembers where each step of interest stands.
struct Script {
    ov::Json steps = ov::Json::array();
    std::size_t add(ov::Json step) {
        steps.push_back(std::move(step));
        return steps.size();  // the report's steps start with "ready"
    }
    std::size_t checked(double gain, std::uint32_t delay = 0) {
        return add(step("blocks", {{"count", 20},
                                   {"expect", {{"mix", {{gain, 0}, {0, gain}}}, {"delay", delay}}},
                                   {"blockTimeoutMs", 10000}}));
    }
    // Half a second (25 polling ticks) for restarts to show, then blocks that must all come.
    std::size_t steady(double gain) {
        add(step("sleep", {{"ms", 500}}));
        return checked(gain);
    }
    void silence() { add(step("blocks", {{"count", 3}, {"signal", {{"kind", "silence"}}}, {"blockTimeoutMs", 2000}})); }
    std::size_t params(std::uint32_t key) { return add(request_step({{"cmd", "params"}, {"key", key}})); }
    std::size_t event(const char* name) { return add(step("expectEvent", {{"event", name}, {"timeoutMs", 30000}})); }
};

std::string text_at(const ov::Json& report, std::size_t index, std::uint32_t id) {
    return lc::param_text(report["steps"][index]["reply"].value("result", ov::Json::array()), id);
}

void expect_steady(const ov::Json& report, std::size_t index) {
    EXPECT_EQ(report["steps"][index]["run"]["ok"], true) << ov::to_pretty_json(report["steps"][index]);
}

TEST_F(LifecycleWine, LatencyWhileActivatingDroppedSlotsAndGuiRequestsWithoutAGui) {
    const auto formats = wine_formats();
    const lc::Format& clap = formats[0];
    const lc::Format& vst3 = formats[1];
    const std::string effects = z_drive_path(std::string(OV_WINDOWS_BUILD_DIR) + "/test-plugins/clap") + "\\ov-test-effects.clap";
    Script s;
    s.add(request_step(lc::set_rack({clap.slot(1, clap.latency_uid), vst3.slot(2, vst3.latency_uid),
                                     {{"key", 3}, {"kind", "clap"}, {"path", effects}, {"uid", "org.orvia.test.editor"}}})));
    const auto first_run = s.steady(0.25);
    const auto clap_first = s.params(1);
    const auto vst3_first = s.params(2);
    s.add(request_step(clap.set_latency_200(1)));
    s.silence();
    const auto clap_latency = s.event("latency");
    s.add(request_step(vst3.set_latency_200(2)));
    s.silence();
    const auto vst3_latency = s.event("latency");
    const auto second_run = s.steady(0.25);
    const auto clap_second = s.params(1);
    const auto vst3_second = s.params(2);
    // The editor plug-in asks for 420 x 260 with no gui of its own: it is not sized.
    s.add(request_step({{"cmd", "setParam"}, {"key", 3}, {"param", 9}, {"value", 7.0 / 20}}));
    s.silence();
    const auto editor_params = s.params(3);
    // Dropping the VST3 slot deletes its component.
    s.add(request_step(lc::set_rack({vst3.slot(4, vst3.refusing_uid)})));
    const auto after_drop = s.params(4);

    const ov::Json report = run_session(2, s.steps);
    ASSERT_EQ(report["steps"].size(), s.steps.size() + 3) << ov::to_pretty_json(report);
    expect_steady(report, first_run);
    expect_steady(report, second_run);
    EXPECT_EQ(text_at(report, clap_first, lc::kActivations), "1");
    EXPECT_EQ(text_at(report, vst3_first, lc::kActivations), "1");
    EXPECT_EQ(report["steps"][clap_latency]["event"], (ov::Json{{"event", "latency"}, {"total", 200}}));
    EXPECT_EQ(report["steps"][vst3_latency]["event"], (ov::Json{{"event", "latency"}, {"total", 400}}));
    EXPECT_EQ(text_at(report, clap_second, lc::kActivations), "2");
    EXPECT_EQ(text_at(report, vst3_second, lc::kActivations), "2");
    EXPECT_EQ(text_at(report, clap_second, lc::kViolations), "0");
    EXPECT_EQ(text_at(report, vst3_second, lc::kViolations), "0");
    EXPECT_EQ(text_at(report, editor_params, 20), "480.0") << "set_size without a gui";
    EXPECT_EQ(text_at(report, after_drop, lc::kParked), "0");
    EXPECT_EQ(text_at(report, after_drop, lc::kLive), "1");
}

TEST_F(LifecycleWine, AFailedRestartPassesTheSlotThroughUntilARestartSucceeds) {
    const auto formats = wine_formats();
    const lc::Format& clap = formats[0];
    const lc::Format& vst3 = formats[1];
    Script s;
    s.add(request_step(
        lc::set_rack({clap.slot(1, clap.refusing_uid), vst3.slot(2, vst3.refusing_uid), clap.slot(3, clap.latency_uid)})));
    const auto all_playing = s.checked(0.125);
    s.add(request_step(clap.refuse(1)));
    s.silence();
    const auto clap_failed = s.event("log");
    s.add(request_step(vst3.refuse(2)));
    s.silence();
    const auto vst3_failed = s.event("log");
    const auto clap_before = s.params(1);
    const auto vst3_before = s.params(2);
    s.silence();
    // Both inactive slots delay by their latency; the third plug-in still halves.
    const auto passing = s.checked(0.5, 2 * lc::kRefusingLatency);
    const auto clap_after = s.params(1);
    const auto vst3_after = s.params(2);
    s.add(request_step(vst3.accept(2)));
    s.add(step("sleep", {{"ms", 700}}));  // past the window of the failed restart
    s.silence();
    const auto vst3_back = s.params(2);
    s.silence();
    const auto back_run = s.checked(0.25, lc::kRefusingLatency);

    const ov::Json report = run_session(2, s.steps);
    ASSERT_EQ(report["steps"].size(), s.steps.size() + 3) << ov::to_pretty_json(report);
    expect_steady(report, all_playing);
    EXPECT_EQ(report["steps"][clap_failed]["event"], lc::restart_failed_event(1, clap));
    EXPECT_EQ(report["steps"][vst3_failed]["event"], lc::restart_failed_event(2, vst3));
    expect_steady(report, passing);
    EXPECT_EQ(text_at(report, clap_after, lc::kBlocks), text_at(report, clap_before, lc::kBlocks));
    EXPECT_EQ(text_at(report, vst3_after, lc::kBlocks), text_at(report, vst3_before, lc::kBlocks));
    EXPECT_EQ(text_at(report, clap_after, lc::kViolations), "0");
    EXPECT_EQ(text_at(report, vst3_after, lc::kViolations), "0");
    EXPECT_EQ(text_at(report, vst3_back, lc::kActivations), "2");
    expect_steady(report, back_run);
    EXPECT_EQ(text_at(report, vst3_back, lc::kViolations), "0");
}

}  // namespace
}  // namespace ovtest
