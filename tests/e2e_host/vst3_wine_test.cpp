// The Windows ov-pluginhost.exe under Wine with the Windows builds of our VST3 test modules:
// exact scan lines, every loader and instance message, and rack sessions played by the
// Windows stand-in ov-standin-audio.exe (Wine lets a Windows process see only mappings and
// events that a Windows process created).
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "vst3_cases.h"
#include "wine_host_fixture.h"

namespace ovtest {
namespace {

namespace v = ovtest::vst3;

v::Place wine_place() {
    return {z_drive_path(std::string(OV_WINDOWS_BUILD_DIR) + "/test-plugins/vst3"), '\\', "x86_64-win", ".vst3"};
}

ov::Json blocks_step(std::vector<std::vector<double>> mix, std::uint32_t delay = 0, std::uint64_t count = 20) {
    return step("blocks", {{"count", count}, {"expect", {{"mix", mix}, {"delay", delay}}}, {"blockTimeoutMs", 10000}});
}

// Unchecked silence: empties the delay lines; around a restart a block may go unanswered.
ov::Json silent_blocks() {
    return step("blocks", {{"count", 3}, {"signal", {{"kind", "silence"}}}, {"blockTimeoutMs", 2000}});
}

ov::Json set_rack_step(const std::vector<ov::Json>& slots) { return request_step({{"cmd", "setRack"}, {"slots", slots}}); }

ov::Json set_param_step(std::uint32_t key, std::uint32_t param, double value) {
    return request_step({{"cmd", "setParam"}, {"key", key}, {"param", param}, {"value", value}});
}

// The saved state of "Gain Single" with gain 1: "OVV3", 28 bytes of component state
// ("FXC1" and the doubles 1, 0, 0), no controller state.
constexpr const char* kGainSingleStateAt1 = "T1ZWMxwAAABGWEMxAAAAAAAA8D8AAAAAAAAAAAAAAAAAAAAAAAAAAA==";

class Vst3WineHost : public WineHostSuite<Vst3WineHost> {
public:
    static std::vector<std::string> extra_files() {
        return {"test-plugins/vst3/OvFx.vst3/Contents/x86_64-win/OvFx.vst3"};
    }
};

std::string describe(const ov::Json& report) { return ov::to_pretty_json(report); }

bool has_event(const ov::Json& report, const ov::Json& event) {
    for (const auto& e : report.value("events", ov::Json::array()))
        if (e == event) return true;
    return false;
}

TEST_F(Vst3WineHost, ScanReportsAreExactLines) {
    const v::Place place = wine_place();
    const std::string scratch = std::filesystem::temp_directory_path().string() + "/ov-vst3-wine-" + std::to_string(::getpid());
    std::filesystem::create_directories(scratch + "/Empty.vst3");
    struct Case {
        std::string path;
        std::string line;
    };
    std::vector<Case> cases = {
        {place.bundle(), v::scan_line(place.bundle(), v::bundle_entries(true), {})},
        {place.plain(), v::scan_line(place.plain(), v::bundle_entries(false), {})},
        {place.failing(), v::failing_scan_line(place.failing())},
    };
    for (const auto& c : v::scan_error_cases(place, z_drive_path(scratch + "/Empty.vst3")))
        cases.push_back({c.path, "OVP " + ov::to_compact_json(ov::Json{{"scanError", c.error}}) + "\n"});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        RunResult run = scan(c.path);
        EXPECT_EQ(run.exit_code, 0) << run.describe();
        EXPECT_EQ(run.out, c.line);
    }
    // A file that is no library: the system's text and the error as an HRESULT.
    std::ofstream(scratch + "/Text.vst3") << "not a library";
    const std::string text_file = z_drive_path(scratch + "/Text.vst3");
    RunResult run = scan(text_file);
    const std::string prefix = "OVP " + ov::to_compact_json(ov::Json{{"scanError", "could not load " + text_file + " ("}});
    EXPECT_EQ(run.out.rfind(prefix.substr(0, prefix.size() - 2), 0), 0u) << run.out;
    EXPECT_EQ(run.out.substr(run.out.size() - 16), "(0x800700C1))\"}\n") << run.out;
    std::filesystem::remove_all(scratch);
}

TEST_F(Vst3WineHost, EveryLoaderAndInstanceMessageReachesOrvia) {
    const v::Place place = wine_place();
    const auto failures = v::slot_failures(place);
    ov::Json steps = ov::Json::array();
    std::vector<std::pair<std::size_t, std::size_t>> batches;  // first failure, count
    for (std::size_t first = 0; first < failures.size(); first += 8) {
        std::vector<ov::Json> slots;
        for (std::size_t i = first; i < std::min(first + 8, failures.size()); ++i) {
            ov::Json slot = failures[i].slot;
            slot["key"] = 10 + i;
            slots.push_back(slot);
        }
        batches.emplace_back(first, slots.size());
        steps.push_back(set_rack_step(slots));
    }
    steps.push_back(set_rack_step({v::vst3_slot(1, place.bundle(), 1), v::vst3_slot(2, place.bundle(), 7),
                                   v::vst3_slot(3, place.failing(), 0x19),
                                   v::vst3_slot(4, place.bundle(), 1, {{"state", "T1ZWNA=="}}),
                                   v::vst3_slot(5, place.bundle(), 1, {{"state", "T1ZWMwIAAAB4eAAAAAA="}})}));
    for (const auto& [request, error] : v::request_failures()) steps.push_back(request_step(request));

    const ov::Json report = run_session(2, steps);
    const ov::Json& r = report["steps"];
    ASSERT_EQ(r.size(), steps.size() + 3) << describe(report);
    for (std::size_t b = 0; b < batches.size(); ++b) {
        const ov::Json& results = r[1 + b]["reply"]["result"];
        ASSERT_EQ(results.size(), batches[b].second) << describe(r[1 + b]);
        for (std::size_t i = 0; i < batches[b].second; ++i) {
            const auto& failure = failures[batches[b].first + i];
            SCOPED_TRACE(ov::to_compact_json(failure.slot));
            EXPECT_EQ(results[i]["ok"], false);
            EXPECT_EQ(results[i]["error"], failure.error);
        }
    }
    const ov::Json& loaded = r[1 + batches.size()]["reply"]["result"];
    ASSERT_EQ(loaded.size(), 5u) << describe(r[1 + batches.size()]);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(loaded[i]["error"], nullptr) << describe(loaded[i]);
    EXPECT_EQ(loaded[3]["error"], "loaded, but its saved settings were not restored: the saved VST3 state is damaged");
    EXPECT_EQ(loaded[4]["error"], "loaded, but its saved settings were not restored: the plugin refused its saved state");
    const auto requests = v::request_failures();
    for (std::size_t i = 0; i < requests.size(); ++i)
        EXPECT_EQ(r[2 + batches.size() + i]["reply"]["error"], requests[i].second) << describe(r[2 + batches.size() + i]);
    EXPECT_EQ(report["exitCode"], 0);
}

TEST_F(Vst3WineHost, StereoRackSession) {
    const v::Place place = wine_place();
    ov::Json steps = ov::Json::array({
        set_rack_step({v::vst3_slot(1, place.bundle(), 1), v::vst3_slot(2, place.bundle(), 2)}),  // 1
        blocks_step({{1, 0}, {0, 1}}),                                                             // 2
        set_param_step(1, 0, 1.7),                                                                 // 3
        set_param_step(2, 0, 0.25),                                                                // 4
        blocks_step({{1, 0}, {0, 1}}),                                                             // 5
        request_step({{"cmd", "getState"}, {"key", 1}}),                                           // 6
        request_step({{"cmd", "getStates"}}),                                                      // 7
        set_rack_step({v::vst3_slot(3, place.bundle(), 1, {{"state", kGainSingleStateAt1}})}),     // 8
        request_step({{"cmd", "params"}, {"key", 3}}),                                             // 9
        blocks_step({{2, 0}, {0, 2}}),                                                             // 10
        set_param_step(3, 5, 0.25),                                                                // 11: an edit
        step("expectEvent", {{"event", "stateDirty"}, {"timeoutMs", 30000}}),                      // 12
        set_param_step(3, 4, 0.1),                                                                 // 13: latency
        step("expectEvent", {{"event", "latency"}, {"timeoutMs", 30000}}),                         // 14
        silent_blocks(),                                                                           // 15
        blocks_step({{0.5, 0}, {0, 0.5}}, 100),                                                    // 16
        set_rack_step({v::vst3_slot(3, place.bundle(), 1, {{"bypass", true}})}),                   // 17
        silent_blocks(),                                                                           // 18
        blocks_step({{1, 0}, {0, 1}}, 100),                                                        // 19
        set_rack_step({v::vst3_slot(6, place.bundle(), 6)}),                                       // 20
    });
    for (std::uint32_t id = 100; id < 170; ++id) steps.push_back(set_param_step(6, id, 0.5));
    steps.push_back(blocks_step({{1, 0}, {0, 1}}, 0, 3));
    steps.push_back(step("collect", {{"ms", 1000}}));

    const ov::Json report = run_session(2, steps);
    const ov::Json& r = report["steps"];
    ASSERT_EQ(r.size(), steps.size() + 3) << describe(report);
    const ov::Json& slots = r[1]["reply"]["result"];
    ASSERT_EQ(slots.size(), 2u) << describe(r[1]);
    EXPECT_EQ(ov::to_compact_json(slots[0]),
              R"({"adapt":"direct","error":null,"hasEditor":true,"inputs":2,"key":1,"latency":0,"name":"Gain Single","ok":true,"outputs":2,"params":8,"vendor":"Orvia Tests"})");
    EXPECT_EQ(slots[1]["vendor"], "Split Works");
    for (std::size_t i : {2u, 5u, 10u, 16u, 19u}) EXPECT_EQ(r[i]["run"]["ok"], true) << "step " << i << "\n" << describe(r[i]);
    EXPECT_EQ(r[3]["reply"]["result"]["value"], 1.0);
    EXPECT_EQ(r[4]["reply"]["result"]["text"], "0.50");
    EXPECT_EQ(r[6]["reply"]["result"]["state"], kGainSingleStateAt1);
    EXPECT_EQ(r[7]["reply"]["result"]["1"], kGainSingleStateAt1);
    EXPECT_TRUE(r[7]["reply"]["result"].contains("2")) << describe(r[7]);
    EXPECT_EQ(r[8]["reply"]["result"][0]["error"], nullptr) << describe(r[8]);
    EXPECT_EQ(r[9]["reply"]["result"][0]["value"], 1.0);
    EXPECT_EQ(r[12]["event"], (ov::Json{{"event", "stateDirty"}, {"key", 3}}));
    EXPECT_EQ(r[14]["event"], (ov::Json{{"event", "latency"}, {"total", 100}}));
    EXPECT_EQ(r[17]["reply"]["result"][0]["latency"], 100);
    // The meter reports the gain the plug-in received; the edit reports the new gain; the
    // seventy values reach the plug-in sixty-four and six per block.
    for (const ov::Json& event : {ov::Json{{"event", "param"}, {"id", 2}, {"key", 1}, {"value", 1.0}},
                                  ov::Json{{"event", "param"}, {"id", 0}, {"key", 3}, {"value", 0.25}},
                                  ov::Json{{"event", "param"}, {"id", 201}, {"key", 6}, {"value", 0.64}},
                                  ov::Json{{"event", "param"}, {"id", 202}, {"key", 6}, {"value", 0.06}}})
        EXPECT_TRUE(has_event(report, event)) << ov::to_compact_json(event) << "\n" << describe(report["events"]);
    EXPECT_EQ(report["exitCode"], 0);
    // Every step but the unchecked silences succeeded.
    for (std::size_t i = 0; i < r.size(); ++i)
        if (i != 15 && i != 18) {
            EXPECT_EQ(r[i]["ok"], true) << "step " << i << "\n" << describe(r[i]);
        }
}

TEST_F(Vst3WineHost, MonoRackSession) {
    const v::Place place = wine_place();
    ov::Json steps = ov::Json::array({
        set_rack_step({v::vst3_slot(1, place.bundle(), 1), v::vst3_slot(2, place.bundle(), 3),
                       v::vst3_slot(3, place.bundle(), 4), v::vst3_slot(4, place.bundle(), 5)}),
        set_param_step(4, 0, 0.75),
        blocks_step({{1.5}}),
    });
    const ov::Json report = run_session(1, steps);
    const ov::Json& r = report["steps"];
    ASSERT_EQ(r.size(), steps.size() + 3) << describe(report);
    const ov::Json& slots = r[1]["reply"]["result"];
    ASSERT_EQ(slots.size(), 4u) << describe(r[1]);
    EXPECT_EQ(slots[0]["inputs"], 1);
    EXPECT_EQ(slots[1]["inputs"], 2);
    EXPECT_EQ(slots[2]["inputs"], 1);
    EXPECT_EQ(slots[3]["ok"], true);
    EXPECT_EQ(r[3]["run"]["ok"], true) << describe(r[3]);
    EXPECT_EQ(report["ok"], true) << describe(report);
}

}  // namespace
}  // namespace ovtest
