// The real ov-pluginhost with our VST3 test modules: exact scan reports, every loader and
// instance message, racks of VST3 slots with sample-exact audio, parameters, state round
// trips and the events that the plug-ins' requests become.
#include <unistd.h>

#include <fstream>

#include "host_fixture.h"
#include "vst3_cases.h"

namespace ovtest {
namespace {

namespace v = ovtest::vst3;

v::Place native_place() { return {std::string(OV_BINARY_DIR) + "/test-plugins/vst3", '/', "x86_64-linux", ".so"}; }

RunResult scan(const std::string& path) {
    RunOptions options;
    options.timeout = std::chrono::milliseconds(60000);
    return run_process(host_program(), {"scan", path}, options);
}

ov::Json set_param(std::uint32_t key, std::uint32_t param, double value) {
    return {{"cmd", "setParam"}, {"key", key}, {"param", param}, {"value", value}};
}

class Vst3Host : public RackHost {
protected:
    void SetUp() override {
        RackHost::SetUp();
        if (!std::filesystem::exists(native_place().bundle())) GTEST_SKIP() << "the VST3 test modules are not built";
    }
};

TEST_F(Vst3Host, ScanReportsAreExactLines) {
    const v::Place place = native_place();
    struct Case {
        std::string path;
        std::string line;
    };
    const Case cases[] = {
        {place.bundle(), v::scan_line(place.bundle(), v::bundle_entries(true), {})},
        {place.plain(), v::scan_line(place.plain(), v::bundle_entries(false), {})},
        {place.failing(), v::failing_scan_line(place.failing())},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        RunResult run = scan(c.path);
        EXPECT_EQ(run.exit_code, 0) << run.describe();
        EXPECT_EQ(run.out, c.line);
    }
}

TEST_F(Vst3Host, FilesThatDoNotLoadAreScanErrors) {
    const v::Place place = native_place();
    const std::string scratch = std::filesystem::temp_directory_path().string() + "/ov-vst3-e2e-" + std::to_string(::getpid());
    const std::string empty_bundle = scratch + "/Empty.vst3";
    std::filesystem::create_directories(empty_bundle);
    for (const auto& c : v::scan_error_cases(place, empty_bundle)) {
        SCOPED_TRACE(c.path);
        RunResult run = scan(c.path);
        EXPECT_EQ(run.exit_code, 0) << run.describe();
        EXPECT_EQ(run.out, "OVP " + ov::to_compact_json(ov::Json{{"scanError", c.error}}) + "\n");
    }
    // A file that is no library: the system's reason follows in parentheses.
    const std::string text_file = scratch + "/Text.vst3";
    std::ofstream(text_file) << "not a library";
    RunResult run = scan(text_file);
    const std::string prefix = "OVP {\"scanError\":\"could not load " + text_file + " (";
    EXPECT_EQ(run.out.rfind(prefix, 0), 0u) << run.out;
    EXPECT_EQ(run.out.substr(run.out.size() - 4), ")\"}\n") << run.out;
    std::filesystem::remove_all(scratch);
}

TEST_F(Vst3Host, EveryLoaderAndInstanceMessageReachesOrvia) {
    start_rack(2);
    const v::Place place = native_place();
    // A rack holds at most eight slots: the failures go in batches.
    const auto failures = v::slot_failures(place);
    for (std::size_t first = 0; first < failures.size(); first += 8) {
        std::vector<ov::Json> slots;
        for (std::size_t i = first; i < std::min(first + 8, failures.size()); ++i) {
            ov::Json slot = failures[i].slot;
            slot["key"] = 10 + i;
            slots.push_back(slot);
        }
        const ov::Json results = result_of(set_rack(slots));
        ASSERT_EQ(results.size(), slots.size());
        for (std::size_t i = 0; i < slots.size(); ++i) {
            SCOPED_TRACE(ov::to_compact_json(slots[i]));
            EXPECT_EQ(results[i]["ok"], false);
            EXPECT_EQ(results[i]["error"], failures[first + i].error);
        }
    }
    // Loaded slots for the failing requests, and saved states that do not restore.
    const ov::Json results = result_of(set_rack({
        v::vst3_slot(1, place.bundle(), 1),
        v::vst3_slot(2, place.bundle(), 7),
        v::vst3_slot(3, place.failing(), 0x19),
        v::vst3_slot(4, place.bundle(), 1, {{"state", "T1ZWNA=="}}),
        v::vst3_slot(5, place.bundle(), 1, {{"state", "T1ZWMwIAAAB4eAAAAAA="}}),
    }));
    ASSERT_EQ(results.size(), 5u);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(results[i]["error"], nullptr);
    EXPECT_EQ(results[3]["ok"], true);
    EXPECT_EQ(results[3]["error"], "loaded, but its saved settings were not restored: the saved VST3 state is damaged");
    EXPECT_EQ(results[4]["error"], "loaded, but its saved settings were not restored: the plugin refused its saved state");
    for (const auto& [request, error] : v::request_failures()) EXPECT_EQ(error_of(request), error) << request;
    quit_and_expect_exit();
}

TEST_F(Vst3Host, StereoRackWithAudioParametersAndState) {
    start_rack(2);
    const v::Place place = native_place();
    const ov::Json slots = result_of(set_rack({v::vst3_slot(1, place.bundle(), 1), v::vst3_slot(2, place.bundle(), 2)}));
    ASSERT_EQ(slots.size(), 2u);
    EXPECT_EQ(ov::to_compact_json(slots[0]),
              R"({"adapt":"direct","error":null,"hasEditor":true,"inputs":2,"key":1,"latency":0,"name":"Gain Single","ok":true,"outputs":2,"params":8,"vendor":"Orvia Tests"})");
    EXPECT_EQ(slots[1]["name"], "Gain Split");
    EXPECT_EQ(slots[1]["vendor"], "Split Works");
    expect_audio(checked_blocks({{1, 0}, {0, 1}}));

    // Clamped to 1: gain x2 in slot 1; 0.25 in slot 2 (the separate controller's ring).
    EXPECT_EQ(ov::to_compact_json(result_of(set_param(1, 0, 1.7))),
              R"({"automatable":true,"default":0.5,"id":0,"name":"Gain","readOnly":false,"steps":0,"text":"2.00","units":"x","value":1.0})");
    EXPECT_EQ(result_of(set_param(2, 0, -3))["value"], 0.0);
    EXPECT_EQ(result_of(set_param(2, 0, 0.25))["text"], "0.50");
    expect_audio(checked_blocks({{1, 0}, {0, 1}}));
    // The hidden parameter is settable but not listed.
    EXPECT_EQ(result_of(set_param(1, 3, 0.9))["name"], "Secret");
    const auto params = params_of(1);
    EXPECT_EQ(params.size(), 8u);
    EXPECT_EQ(params.count(3), 0u);

    const std::string state = result_of({{"cmd", "getState"}, {"key", 1}})["state"];
    EXPECT_EQ(state.rfind("T1ZWMxwAAAB", 0), 0u) << state;  // "OVV3", a 28-byte component state
    const ov::Json states = result_of({{"cmd", "getStates"}});
    EXPECT_EQ(states["1"], state);
    ASSERT_TRUE(states.contains("2"));

    // The saved states restore new instances.
    const ov::Json restored = result_of(set_rack({v::vst3_slot(3, place.bundle(), 1, {{"state", state}}),
                                                  v::vst3_slot(4, place.bundle(), 2, {{"state", states["2"]}})}));
    EXPECT_EQ(restored[0]["error"], nullptr);
    EXPECT_EQ(restored[1]["error"], nullptr);
    expect_audio(checked_blocks({{1, 0}, {0, 1}}));
    EXPECT_EQ(params_of(3)[0]["value"], 1.0);
    EXPECT_EQ(params_of(4)[0]["value"], 0.25);
    quit_and_expect_exit();
}

TEST_F(Vst3Host, MonoRacks) {
    start_rack(1);
    const v::Place place = native_place();
    const ov::Json slots = result_of(set_rack({v::vst3_slot(1, place.bundle(), 1), v::vst3_slot(2, place.bundle(), 3),
                                               v::vst3_slot(3, place.bundle(), 4), v::vst3_slot(4, place.bundle(), 5)}));
    ASSERT_EQ(slots.size(), 4u);
    EXPECT_EQ(slots[0]["inputs"], 1);
    EXPECT_EQ(slots[0]["adapt"], "direct");
    EXPECT_EQ(slots[1]["inputs"], 2) << "refuses a mono bus";
    EXPECT_EQ(slots[2]["inputs"], 1) << "the side chain does not count";
    EXPECT_EQ(slots[3]["ok"], true) << "set up for 512-frame blocks";
    ASSERT_EQ(result_of(set_param(4, 0, 0.75))["value"], 0.75);
    expect_audio(checked_blocks({{1.5}}));
    quit_and_expect_exit();
}

TEST_F(Vst3Host, PluginRequestsBecomeEvents) {
    start_rack(2);
    const v::Place place = native_place();
    ASSERT_EQ(result_of(set_rack({v::vst3_slot(1, place.bundle(), 1)}))[0]["ok"], true);

    // The gain reaches the plug-in, which reports it back as its meter.
    result_of(set_param(1, 0, 0.75));
    run_unchecked();
    EXPECT_EQ(wait_event("param"), (ov::Json{{"event", "param"}, {"id", 2}, {"key", 1}, {"value", 0.75}}));

    // An edit made by the plug-in: the new value and a dirty state.
    result_of(set_param(1, 5, 0.25));
    EXPECT_EQ(wait_event("param"), (ov::Json{{"event", "param"}, {"id", 0}, {"key", 1}, {"value", 0.25}}));
    EXPECT_EQ(wait_event("stateDirty"), (ov::Json{{"event", "stateDirty"}, {"key", 1}}));
    expect_audio(checked_blocks({{0.5, 0}, {0, 0.5}}));

    // A new latency: the plug-in is restarted and the rack reports its total.
    result_of(set_param(1, 4, 0.1));
    EXPECT_EQ(wait_event("latency"), (ov::Json{{"event", "latency"}, {"total", 100}}));
    run_unchecked();
    expect_audio(checked_blocks({{0.5, 0}, {0, 0.5}}, 100));
    // Bypassed, the slot is a pure delay of its latency.
    const ov::Json bypassed = result_of(set_rack({v::vst3_slot(1, place.bundle(), 1, {{"bypass", true}})}));
    EXPECT_EQ(bypassed[0]["latency"], 100);
    run_unchecked();
    expect_audio(checked_blocks({{1, 0}, {0, 1}}, 100));
    quit_and_expect_exit();
}

TEST_F(Vst3Host, SeventyValuesBetweenTwoBlocksArriveSixtyFourThenSix) {
    start_rack(2);
    ASSERT_EQ(result_of(set_rack({v::vst3_slot(6, native_place().bundle(), 6)}))[0]["ok"], true);
    for (std::uint32_t id = 100; id < 170; ++id) result_of(set_param(6, id, 0.5));
    expect_audio(checked_blocks({{1, 0}, {0, 1}}, 0, 3));
    // The plug-in reports the count of its n-th block with changes as parameter 200 + n.
    std::map<std::uint32_t, double> counts;
    for (int i = 0; i < 2; ++i) {
        const ov::Json event = wait_event("param");
        counts[event.value("id", 0u)] = event.value("value", -1.0);
    }
    EXPECT_EQ(counts, (std::map<std::uint32_t, double>{{201, 0.64}, {202, 0.06}}));
    quit_and_expect_exit();
}

}  // namespace
}  // namespace ovtest
