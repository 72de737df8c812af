// The real ov-pluginhost with our CLAP test plug-ins: exact scan reports, every loader and
// instance message, racks of CLAP slots with sample-exact audio, parameters, state round
// trips and the events that the plug-ins' requests become.
#include "clap_cases.h"
#include "host_fixture.h"

namespace ovtest {
namespace {

namespace c = ovtest::clap;

c::Place native_place() { return {std::string(OV_BINARY_DIR) + "/test-plugins/clap", '/'}; }

RunResult scan(const std::string& path) {
    RunOptions options;
    options.timeout = std::chrono::milliseconds(60000);
    return run_process(host_program(), {"scan", path}, options);
}

class ClapHost : public RackHost {
protected:
    void SetUp() override {
        RackHost::SetUp();
        if (!std::filesystem::exists(native_place().effects())) GTEST_SKIP() << "the CLAP test plug-ins are not built";
    }
};

TEST_F(ClapHost, ScanOfTheEffectsFileIsOneExactLine) {
    const std::string path = native_place().effects();
    RunResult run = scan(path);
    ASSERT_TRUE(run.exited()) << run.describe();
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.out, c::effects_scan_line(path));
}

TEST_F(ClapHost, FilesThatDoNotLoadAreScanErrors) {
    for (const auto& failure : c::load_failures(native_place())) {
        if (failure.path.find('\0') != std::string::npos) continue;  // no zero byte on a command line
        SCOPED_TRACE(failure.what);
        RunResult run = scan(failure.path);
        EXPECT_EQ(run.exit_code, 0) << run.describe();
        const std::string prefix = "OVP {\"scanError\":";
        ASSERT_EQ(run.out.rfind(prefix, 0), 0u) << run.out;
        const auto report = ov::parse_json(run.out.substr(4));
        ASSERT_TRUE(report.value) << run.out;
        ASSERT_EQ(report.value->size(), 1u) << run.out;
        const std::string message = report.value->value("scanError", "");
        EXPECT_TRUE(c::message_matches(message, failure.error, failure.system_text)) << message;
    }
}

TEST_F(ClapHost, EveryLoaderAndInstanceMessageReachesOrvia) {
    start_rack(2);
    const auto failures = c::load_failures(native_place());
    std::vector<ov::Json> slots;
    for (std::size_t i = 0; i < failures.size(); ++i)
        slots.push_back(c::clap_slot(static_cast<std::uint32_t>(11 + i), failures[i].path, "gain"));
    const ov::Json loads = result_of(set_rack(slots));
    ASSERT_EQ(loads.size(), failures.size()) << loads;
    for (std::size_t i = 0; i < failures.size(); ++i) {
        SCOPED_TRACE(failures[i].what);
        EXPECT_EQ(loads[i]["ok"], false);
        EXPECT_TRUE(c::message_matches(loads[i].value("error", ""), failures[i].error, failures[i].system_text))
            << loads[i];
    }

    const ov::Json made = result_of({{"cmd", "setRack"}, {"slots", c::instance_slots(native_place())}});
    const auto cases = c::instance_slot_cases();
    ASSERT_EQ(made.size(), cases.size()) << made;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].id);
        EXPECT_EQ(made[i]["key"], cases[i].key);
        EXPECT_EQ(made[i]["ok"], cases[i].ok);
        EXPECT_EQ(made[i]["error"], cases[i].error.empty() ? ov::Json(nullptr) : ov::Json(cases[i].error));
    }
    for (const auto& refused : c::refused_requests())
        EXPECT_EQ(error_of(refused.request), refused.error) << refused.request;

    // A restart whose activation fails is reported as a log line.
    result_of(c::action(26, 13));
    run_unchecked();
    EXPECT_EQ(wait_event("log"),
              (ov::Json{{"event", "log"}, {"message", "slot 26: restart failed: the plugin would not activate at 48 kHz"}}));
    quit_and_expect_exit();
}

TEST_F(ClapHost, StereoRackWithAudioParametersAndState) {
    start_rack(2);
    const std::string path = native_place().effects();
    const ov::Json slots = result_of(set_rack({c::clap_slot(1, path, "gain"), c::clap_slot(2, path, "sidechain")}));
    ASSERT_EQ(slots.size(), 2u);
    EXPECT_EQ(ov::to_compact_json(slots[0]),
              R"({"adapt":"direct","error":null,"hasEditor":false,"inputs":2,"key":1,"latency":0,"name":"Test Gain","ok":true,"outputs":2,"params":6,"vendor":"Orvia Tests"})");
    EXPECT_EQ(slots[1]["name"], "Test Sidechain");
    // Gain 1, then the side-chain plug-in halves its main port.
    expect_audio(checked_blocks({{0.5, 0}, {0, 0.5}}));

    const ov::Json set = result_of(c::set_param(1, 1, 0.75));
    EXPECT_EQ(set["value"], 0.75);
    EXPECT_EQ(set["text"], "0.0 dB") << "the plug-in sees the value in its next block";
    expect_audio(checked_blocks({{0.75, 0}, {0, 0.75}}));
    EXPECT_EQ(ov::to_compact_json(params_of(1)[1]), c::kGainAt12);
    EXPECT_EQ(result_of({{"cmd", "getState"}, {"key", 1}})["state"], c::kGainStateAt12);
    const ov::Json states = result_of({{"cmd", "getStates"}});
    EXPECT_EQ(ov::to_compact_json(states), std::string(R"({"1":")") + c::kGainStateAt12 + "\"}")
        << "the side-chain plug-in saves no state";

    // The saved state restores a new instance.
    const ov::Json restored = result_of(
        set_rack({c::clap_slot(3, path, "gain", {{"state", c::kGainStateAt12}}), c::clap_slot(2, path, "sidechain")}));
    EXPECT_EQ(restored[0]["ok"], true);
    EXPECT_EQ(restored[0]["error"], nullptr);
    expect_audio(checked_blocks({{0.75, 0}, {0, 0.75}}));
    EXPECT_EQ(ov::to_compact_json(params_of(3)[1]), c::kGainAt12);
    quit_and_expect_exit();
}

TEST_F(ClapHost, PluginRequestsBecomeEvents) {
    start_rack(1);
    const std::string path = native_place().effects();
    ASSERT_EQ(result_of(set_rack({c::clap_slot(4, path, "gain")}))[0]["ok"], true);

    result_of(c::action(4, 1));
    run_unchecked();
    EXPECT_EQ(wait_event("stateDirty"), (ov::Json{{"event", "stateDirty"}, {"key", 4}}));

    result_of(c::action(4, 10));
    run_unchecked();
    EXPECT_EQ(wait_event("param"), (ov::Json{{"event", "param"}, {"id", 5}, {"key", 4}, {"value", 0.5}}));

    // A new latency restarts the plug-in, then the rack reports its total.
    result_of(c::action(4, 2));
    run_unchecked();
    EXPECT_EQ(wait_event("latency"), (ov::Json{{"event", "latency"}, {"total", 64}}));
    EXPECT_EQ(params_of(4)[6]["text"], "2.0") << "activated a second time";

    // A restart request. It follows the last restart within half a second, so it waits for
    // the end of that window.
    result_of(c::action(4, 3));
    run_unchecked();
    result_of(c::action(4, 12));
    run_unchecked();
    wait_event("stateDirty");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (params_of(4)[6]["text"] != "3.0" && std::chrono::steady_clock::now() < deadline) run_unchecked(2);
    EXPECT_EQ(params_of(4)[6]["text"], "3.0");
    expect_audio(checked_blocks({{1}}));
    quit_and_expect_exit();
}

TEST_F(ClapHost, TwoHundredValuesBetweenTwoBlocks) {
    start_rack(2);
    ASSERT_EQ(result_of(set_rack({c::clap_slot(5, native_place().effects(), "probe")}))[0]["ok"], true);
    for (int i = 1; i <= 200; ++i) result_of(c::set_param(5, 1, i / 1000.0));
    expect_audio(checked_blocks({{1, 0}, {0, 1}}, 0, 3));
    auto params = params_of(5);
    // Events per block counted in 0..1024; steady time in 0..491520 (480 x 1024).
    EXPECT_EQ(params[100]["value"], 128.0 / 1024);
    EXPECT_EQ(params[101]["value"], 72.0 / 1024);
    EXPECT_EQ(params[102]["value"], 0.0);
    EXPECT_EQ(params[110]["value"], 0.0);
    EXPECT_EQ(params[111]["value"], 1.0 / 1024);
    EXPECT_EQ(params[112]["value"], 2.0 / 1024);
    EXPECT_EQ(params[126]["value"], 0.2) << "the last value arrived last";
    // Thread checks: audio thread is main / is audio, main thread is main / is audio.
    EXPECT_EQ(params[120]["value"], 0.0);
    EXPECT_EQ(params[121]["value"], 1.0);
    EXPECT_EQ(params[122]["value"], 1.0);
    EXPECT_EQ(params[123]["value"], 0.0);
    quit_and_expect_exit();
}

TEST_F(ClapHost, MonoRackWithOddPorts) {
    start_rack(1);
    const std::string path = native_place().effects();
    const ov::Json slots = result_of(set_rack({c::clap_slot(1, path, "mono"), c::clap_slot(2, path, "wide")}));
    ASSERT_EQ(slots.size(), 2u);
    EXPECT_EQ(slots[0]["adapt"], "direct");
    EXPECT_EQ(slots[1]["inputs"], 1);
    EXPECT_EQ(slots[1]["outputs"], 8);
    // The wide plug-in copies its input to all eight outputs; the rack takes the mean of two.
    expect_audio(checked_blocks({{1}}));
    quit_and_expect_exit();
}

}  // namespace
}  // namespace ovtest
