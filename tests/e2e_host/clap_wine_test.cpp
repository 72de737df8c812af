// ov-pluginhost.exe under Wine with the Windows builds of our CLAP test plug-ins: the same
// scan reports, messages, audio, parameters, state and events as natively. The Windows
// stand-in ov-standin-audio.exe plays Orvia's part from a script (see tools/standin-audio).
#include "clap_cases.h"
#include "wine_host_fixture.h"

namespace ovtest {
namespace {

namespace c = ovtest::clap;

c::Place wine_place() { return {z_drive_path(std::string(OV_WINDOWS_BUILD_DIR) + "/test-plugins/clap"), '\\'}; }

ov::Json checked_blocks_step(std::vector<std::vector<double>> mix, std::uint64_t count = 8) {
    return step("blocks", {{"count", count}, {"expect", {{"mix", mix}, {"delay", 0}}}});
}

// Blocks whose output is not checked: around a restart the rack briefly holds no chain.
ov::Json blocks_step(std::uint64_t count = 3) { return step("blocks", {{"count", count}}); }

ov::Json event_step(const char* name) { return step("expectEvent", {{"event", name}, {"timeoutMs", 30000}}); }

class ClapWine : public WineHostSuite<ClapWine> {
public:
    static std::vector<std::string> extra_files() { return {"test-plugins/clap/ov-test-effects.clap"}; }

protected:
    // Runs a rack of `channels` through the steps, then quits; the stand-in's report.
    static ov::Json run_rack(unsigned channels, ov::Json steps) {
        ov::Json report = run_session(channels, std::move(steps));
        EXPECT_EQ(report.value("exitCode", ov::Json()), 0) << ov::to_pretty_json(report);
        return report;
    }
};

// The result of step `index` (counted without the leading "ready" step) of a rack report.
const ov::Json& step_result(const ov::Json& report, std::size_t index) { return report["steps"][index + 1]; }
ov::Json reply_result(const ov::Json& report, std::size_t index) {
    return step_result(report, index)["reply"].value("result", ov::Json());
}

TEST_F(ClapWine, ScanReports) {
    const std::string path = wine_place().effects();
    RunResult run = scan(path);
    EXPECT_EQ(run.exit_code, 0) << run.describe();
    EXPECT_EQ(run.out, c::effects_scan_line(path));

    for (const auto& failure : c::load_failures(wine_place())) {
        if (failure.path.find('\0') != std::string::npos) continue;  // no zero byte on a command line
        SCOPED_TRACE(failure.what);
        RunResult failed = scan(failure.path);
        EXPECT_EQ(failed.exit_code, 0) << failed.describe();
        const auto report = ov::parse_json(failed.out.size() > 4 ? failed.out.substr(4) : std::string());
        ASSERT_TRUE(report.value) << failed.describe();
        const std::string message = report.value->value("scanError", "");
        EXPECT_TRUE(c::message_matches(message, failure.error, failure.system_text)) << message;
        if (failure.system_text) {
            EXPECT_NE(message.find("(0x8007"), std::string::npos) << message;
        }
    }
}

TEST_F(ClapWine, EveryLoaderAndInstanceMessage) {
    const auto failures = c::load_failures(wine_place());
    std::vector<ov::Json> load_slots;
    for (std::size_t i = 0; i < failures.size(); ++i)
        load_slots.push_back(c::clap_slot(static_cast<std::uint32_t>(11 + i), failures[i].path, "gain"));
    ov::Json steps = ov::Json::array({
        request_step(set_rack(load_slots)),
        request_step({{"cmd", "setRack"}, {"slots", c::instance_slots(wine_place())}}),
    });
    const auto refused = c::refused_requests();
    for (const auto& r : refused) steps.push_back(request_step(r.request));
    steps.push_back(request_step(c::action(26, 13)));
    steps.push_back(blocks_step());
    steps.push_back(event_step("log"));
    const ov::Json report = run_rack(2, steps);
    ASSERT_EQ(report["steps"].size(), steps.size() + 3);

    const ov::Json loads = reply_result(report, 0);
    ASSERT_EQ(loads.size(), failures.size()) << loads;
    for (std::size_t i = 0; i < failures.size(); ++i) {
        SCOPED_TRACE(failures[i].what);
        EXPECT_EQ(loads[i]["ok"], false);
        EXPECT_TRUE(c::message_matches(loads[i].value("error", ""), failures[i].error, failures[i].system_text))
            << loads[i];
    }
    const ov::Json made = reply_result(report, 1);
    const auto cases = c::instance_slot_cases();
    ASSERT_EQ(made.size(), cases.size()) << made;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].id);
        EXPECT_EQ(made[i]["ok"], cases[i].ok);
        EXPECT_EQ(made[i]["error"], cases[i].error.empty() ? ov::Json(nullptr) : ov::Json(cases[i].error));
    }
    for (std::size_t i = 0; i < refused.size(); ++i)
        EXPECT_EQ(step_result(report, 2 + i)["reply"].value("error", ""), refused[i].error) << refused[i].request;
    EXPECT_EQ(step_result(report, 4 + refused.size())["event"],
              (ov::Json{{"event", "log"}, {"message", "slot 26: restart failed: the plugin would not activate at 48 kHz"}}));
}

TEST_F(ClapWine, StereoRackWithAudioParametersAndState) {
    const std::string path = wine_place().effects();
    const ov::Json steps = ov::Json::array({
        request_step(set_rack({c::clap_slot(1, path, "gain"), c::clap_slot(2, path, "sidechain")})),  // 0
        checked_blocks_step({{0.5, 0}, {0, 0.5}}),                                                      // 1
        request_step(c::set_param(1, 1, 0.75)),                                                         // 2
        checked_blocks_step({{0.75, 0}, {0, 0.75}}),                                                    // 3
        request_step({{"cmd", "params"}, {"key", 1}}),                                                  // 4
        request_step({{"cmd", "getState"}, {"key", 1}}),                                                // 5
        request_step(set_rack({c::clap_slot(3, path, "gain", {{"state", c::kGainStateAt12}}),
                               c::clap_slot(2, path, "sidechain")})),  // 6
        checked_blocks_step({{0.75, 0}, {0, 0.75}}),                    // 7
        request_step({{"cmd", "params"}, {"key", 3}}),                  // 8
    });
    const ov::Json report = run_rack(2, steps);
    ASSERT_EQ(report["steps"].size(), steps.size() + 3);
    const ov::Json slots = reply_result(report, 0);
    ASSERT_EQ(slots.size(), 2u);
    EXPECT_EQ(ov::to_compact_json(slots[0]),
              R"({"adapt":"direct","error":null,"hasEditor":false,"inputs":2,"key":1,"latency":0,"name":"Test Gain","ok":true,"outputs":2,"params":6,"vendor":"Orvia Tests"})");
    for (std::size_t i : {1u, 3u, 7u})
        EXPECT_EQ(step_result(report, i)["run"]["ok"], true) << "step " << i << ": " << step_result(report, i);
    EXPECT_EQ(reply_result(report, 2)["value"], 0.75);
    EXPECT_EQ(reply_result(report, 2)["text"], "0.0 dB");
    EXPECT_EQ(ov::to_compact_json(reply_result(report, 4)[0]), c::kGainAt12);
    EXPECT_EQ(reply_result(report, 5)["state"], c::kGainStateAt12);
    EXPECT_EQ(reply_result(report, 6)[0]["error"], nullptr);
    EXPECT_EQ(ov::to_compact_json(reply_result(report, 8)[0]), c::kGainAt12);
}

TEST_F(ClapWine, PluginRequestsBecomeEvents) {
    const std::string path = wine_place().effects();
    const ov::Json steps = ov::Json::array({
        request_step(set_rack({c::clap_slot(4, path, "gain")})),  // 0
        request_step(c::action(4, 1)), blocks_step(), event_step("stateDirty"),   // 1..3
        request_step(c::action(4, 10)), blocks_step(), event_step("param"),       // 4..6
        request_step(c::action(4, 2)), blocks_step(), event_step("latency"),      // 7..9
        // Half a second after the last restart, so that this one is not deferred.
        step("sleep", {{"ms", 600}}),                                             // 10
        request_step(c::action(4, 3)), blocks_step(),                             // 11, 12
        request_step(c::action(4, 12)), blocks_step(), event_step("stateDirty"),  // 13..15
        request_step({{"cmd", "params"}, {"key", 4}}),                            // 16
        checked_blocks_step({{1}}),                                               // 17
    });
    const ov::Json report = run_rack(1, steps);
    ASSERT_EQ(report["steps"].size(), steps.size() + 3);
    EXPECT_EQ(step_result(report, 3)["event"], (ov::Json{{"event", "stateDirty"}, {"key", 4}}));
    EXPECT_EQ(step_result(report, 6)["event"], (ov::Json{{"event", "param"}, {"id", 5}, {"key", 4}, {"value", 0.5}}));
    EXPECT_EQ(step_result(report, 9)["event"], (ov::Json{{"event", "latency"}, {"total", 64}}));
    EXPECT_EQ(step_result(report, 15)["event"], (ov::Json{{"event", "stateDirty"}, {"key", 4}}));
    const ov::Json params = reply_result(report, 16);
    ASSERT_GE(params.size(), 5u) << params;
    EXPECT_EQ(params[4]["name"], "Activations");
    EXPECT_EQ(params[4]["text"], "3.0") << "activated at creation and by two restarts";
    EXPECT_EQ(step_result(report, 17)["run"]["ok"], true) << step_result(report, 17);
}

TEST_F(ClapWine, TwoHundredValuesBetweenTwoBlocks) {
    ov::Json steps = ov::Json::array({request_step(set_rack({c::clap_slot(5, wine_place().effects(), "probe")}))});
    for (int i = 1; i <= 200; ++i) steps.push_back(request_step(c::set_param(5, 1, i / 1000.0)));
    steps.push_back(checked_blocks_step({{1, 0}, {0, 1}}, 3));
    steps.push_back(request_step({{"cmd", "params"}, {"key", 5}}));
    const ov::Json report = run_rack(2, steps);
    ASSERT_EQ(report["steps"].size(), steps.size() + 3);
    EXPECT_EQ(step_result(report, 201)["run"]["ok"], true) << step_result(report, 201);
    std::map<std::uint32_t, ov::Json> params;
    for (const auto& p : reply_result(report, 202)) params[p.value("id", 0u)] = p;
    EXPECT_EQ(params[100]["value"], 128.0 / 1024);
    EXPECT_EQ(params[101]["value"], 72.0 / 1024);
    EXPECT_EQ(params[102]["value"], 0.0);
    EXPECT_EQ(params[110]["value"], 0.0);
    EXPECT_EQ(params[111]["value"], 1.0 / 1024);
    EXPECT_EQ(params[112]["value"], 2.0 / 1024);
    EXPECT_EQ(params[126]["value"], 0.2);
    EXPECT_EQ(params[120]["value"], 0.0) << "the audio thread is not the main thread";
    EXPECT_EQ(params[121]["value"], 1.0);
    EXPECT_EQ(params[122]["value"], 1.0);
    EXPECT_EQ(params[123]["value"], 0.0);
    EXPECT_EQ(params[127]["text"], "ov-test-effects.clap") << "init got the path";
}

}  // namespace
}  // namespace ovtest
