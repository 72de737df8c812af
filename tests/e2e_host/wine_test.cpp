// The Windows ov-pluginhost.exe under Wine with the built-in plug-ins.
#include "wine_host_fixture.h"

namespace ovtest {
namespace {

ov::Json blocks_step(std::vector<std::vector<double>> mix, std::uint32_t delay = 0, std::uint64_t count = 40) {
    return step("blocks", {{"count", count}, {"expect", {{"mix", mix}, {"delay", delay}}}});
}

const ov::Json kReadyStep = step("expectEvent", {{"event", "ready"}, {"timeoutMs", 60000}});
const ov::Json kQuitSteps = ov::Json::array(
    {step("send", {{"line", R"(OVP {"cmd":"quit","id":1})"}}), step("waitExit", {{"timeoutMs", 30000}})});

class WineHost : public WineHostSuite<WineHost> {
public:
    static std::vector<std::string> extra_files() { return {}; }

protected:
    // A script for a rack of `channels` with the built-in plug-ins on.
    static ov::Json rack_script(unsigned channels, ov::Json steps) {
        return WineHostSuite::rack_script(channels, std::move(steps), {{"OV_PLUGINHOST_INTERNAL", "1"}});
    }

    // The host with the built-in plug-ins on unless `internal` says otherwise.
    static RunResult host(const std::vector<std::string>& args, std::optional<std::string> internal = "1") {
        return WineHostSuite::host(args, std::move(internal));
    }
};

std::string describe(const ov::Json& report) { return ov::to_pretty_json(report); }

TEST_F(WineHost, UsageAndScan) {
    RunResult usage = host({});
    EXPECT_EQ(usage.exit_code, 2) << usage.describe();
    EXPECT_NE(usage.err.find("usage: ov-pluginhost scan <path> | rack <mapping> <channels>\n"), std::string::npos)
        << usage.describe();
    EXPECT_EQ(host({"scan"}).exit_code, 2);

    RunResult scan = host({"scan", "internal:stereo"});
    EXPECT_EQ(scan.exit_code, 0) << scan.describe();
    EXPECT_EQ(scan.out,
              R"(OVP {"scan":[{"category":"Fx|Test","hasEditor":false,"inputs":2,"kind":"internal","latency":0,)"
              R"("monoOk":false,"name":"Test stereo","outputs":2,"params":1,"path":"internal:stereo","stereoOk":true,)"
              R"("uid":"stereo","vendor":"Orvia","version":"1"}],"skipped":[]})"
              "\n");
    RunResult off = host({"scan", "internal:gain"}, std::nullopt);
    EXPECT_EQ(off.out,
              R"(OVP {"scan":[],"skipped":[{"error":"internal test plugins are off in this host","name":"gain"}]})"
              "\n");
}

TEST_F(WineHost, StereoRackSession) {
    ov::Json steps = ov::Json::array({
        kReadyStep,
        step("send", {{"line", R"(OVP {"cmd":"ping","id":7})"}}),
        step("reply"),
        request_step({{"cmd", "hello"}}),
        blocks_step({{1, 0}, {0, 1}}),
        request_step({{"cmd", "setRack"},
                      {"slots", ov::Json::array({internal_slot(1, "stereo"), internal_slot(2, "delay:100")})}}),
        step("expectEvent", {{"event", "latency"}}),
        blocks_step({{0.5, 0.25}, {0.5, 0.25}}, 100),
        request_step({{"cmd", "setParam"}, {"key", 1}, {"param", 0}, {"value", 1.0}}),
        request_step({{"cmd", "getState"}, {"key", 1}}),
        request_step({{"cmd", "params"}, {"key", 2}}),
        request_step({{"cmd", "setRack"},
                      {"slots", ov::Json::array({internal_slot(2, "delay:100", {{"bypass", true}})})}}),
        blocks_step({{1, 0}, {0, 1}}, 100),
        step("mapping"),
    });
    for (const auto& s : kQuitSteps) steps.push_back(s);
    ov::Json report = run_script(rack_script(2, steps));
    ASSERT_TRUE(report.contains("steps")) << describe(report);
    const ov::Json& r = report["steps"];
    ASSERT_EQ(r.size(), steps.size()) << describe(report);

    const auto pid = r[0]["event"]["pid"];
    EXPECT_NE(pid, nullptr);
    EXPECT_EQ(report["lines"][1], R"(OVP {"id":7,"ok":true,"result":{"pong":true}})");
    EXPECT_EQ(r[3]["reply"]["result"], (ov::Json{{"pid", pid}, {"version", 1}}));
    for (std::size_t i : {4u, 7u, 12u}) EXPECT_EQ(r[i]["run"]["ok"], true) << "step " << i << "\n" << describe(r[i]);

    const ov::Json& slots = r[5]["reply"]["result"];
    ASSERT_EQ(slots.size(), 2u) << describe(r[5]);
    EXPECT_EQ(slots[0]["adapt"], "direct");
    EXPECT_EQ(slots[1]["adapt"], "downmix in, dup out");
    EXPECT_EQ(slots[1]["latency"], 100);
    EXPECT_EQ(r[6]["event"], (ov::Json{{"event", "latency"}, {"total", 100}}));
    EXPECT_EQ(r[8]["reply"]["result"]["text"], "2.00");
    EXPECT_EQ(r[9]["reply"]["result"]["state"], "AAAAAAAA8D8=");
    EXPECT_EQ(r[10]["reply"]["result"][0]["name"], "Gain");
    EXPECT_EQ(r[13]["mapping"]["totalLatency"], 100);
    EXPECT_EQ(r[13]["mapping"]["hostPid"], pid);
    EXPECT_EQ(r[13]["mapping"]["active"], 1);
    EXPECT_EQ(r.back()["exitCode"], 0);
    EXPECT_EQ(report["ok"], true) << describe(report);
}

TEST_F(WineHost, MonoRackAdaptsStereoPlugins) {
    ov::Json steps = ov::Json::array({
        kReadyStep,
        request_step({{"cmd", "setRack"}, {"slots", ov::Json::array({internal_slot(1, "stereo", {{"fold", "left"}})})}}),
        blocks_step({{1}}),
        request_step({{"cmd", "setRack"}, {"slots", ov::Json::array({internal_slot(1, "stereo")})}}),
        blocks_step({{0.75}}),
    });
    for (const auto& s : kQuitSteps) steps.push_back(s);
    ov::Json report = run_script(rack_script(1, steps));
    ASSERT_EQ(report["steps"].size(), steps.size()) << describe(report);
    const ov::Json& r = report["steps"];
    EXPECT_EQ(r[1]["reply"]["result"][0]["adapt"], "dup in, left out");
    EXPECT_EQ(r[3]["reply"]["result"][0]["adapt"], "dup in, sum out");
    EXPECT_EQ(report["ok"], true) << describe(report);
    EXPECT_EQ(report["exitCode"], 0);
}

TEST_F(WineHost, AttachFailuresAreFatal) {
    struct Case {
        const char* name;
        bool create_mapping;
        std::uint32_t version;
        std::string prefix, suffix;  // of the message
        std::uint64_t mapping_size = ovstandin::field::kMappingSize;
    };
    const Case cases[] = {
        {"no mapping", false, 1, "could not open the plugin audio mapping \"", "(0x80070002))"},
        {"other layout", true, 7, "the plugin audio mapping has another layout (version mismatch)", ""},
        {"short mapping", true, 1, "could not map the plugin audio memory", "", 4096},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ov::Json script = rack_script(1, ov::Json::array({step("waitExit", {{"timeoutMs", 60000}})}));
        script["createMapping"] = c.create_mapping;
        script["createEvent"] = c.create_mapping;
        script["version"] = c.version;
        script["mappingSize"] = c.mapping_size;
        ov::Json report = run_script(script);
        EXPECT_EQ(report["exitCode"], 3) << describe(report);
        ASSERT_EQ(report["events"].size(), 1u) << describe(report);
        EXPECT_EQ(report["events"][0]["event"], "fatal");
        const std::string message = report["events"][0].value("message", "");
        EXPECT_EQ(message.rfind(c.prefix, 0), 0u) << message;
        EXPECT_TRUE(message.size() >= c.suffix.size() &&
                    message.compare(message.size() - c.suffix.size(), c.suffix.size(), c.suffix) == 0)
            << message;
        if (!c.create_mapping) {
            EXPECT_NE(message.find(report.value("mapping", "?")), std::string::npos) << message;
        }
    }
}

TEST_F(WineHost, StuckAudioThreadFailsSetRack) {
    ov::Json steps = ov::Json::array({
        kReadyStep,
        request_step({{"cmd", "setRack"}, {"slots", ov::Json::array({internal_slot(7, "hang:10000")})}}),
        step("publish"),
        step("waitMapping", {{"field", "audioSlotKey"}, {"equals", 7}, {"timeoutMs", 30000}}),
        request_step({{"cmd", "setRack"}, {"slots", ov::Json::array()}}),
        step("mapping"),
    });
    for (const auto& s : kQuitSteps) steps.push_back(s);
    ov::Json report = run_script(rack_script(1, steps));
    ASSERT_EQ(report["steps"].size(), steps.size()) << describe(report);
    const ov::Json& r = report["steps"];
    EXPECT_EQ(r[3]["ok"], true) << describe(r[3]);
    EXPECT_EQ(r[4]["reply"]["error"],
              "the audio thread did not hand the plugins back (a plugin is stuck in its processing)");
    EXPECT_GE(r[4]["ms"].get<double>(), 4500.0);
    EXPECT_EQ(r[5]["mapping"]["audioSlotKey"], 7);
    EXPECT_EQ(report["exitCode"], 0);
}

TEST_F(WineHost, InputEndsAndInternalPluginsOff) {
    struct Case {
        const char* name;
        ov::Json ending;
    };
    const Case cases[] = {
        {"end of input", step("closeStdin")},
        {"invalid UTF-8", step("send", {{"hex", "4f5650207b22636d64223a2270696e67222c226964223a22ff227d0a"}})},
        {"quit", step("send", {{"line", R"(OVP {"cmd":"quit","id":3})"}})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ov::Json report = run_script(rack_script(
            1, ov::Json::array({kReadyStep, c.ending, step("waitExit", {{"timeoutMs", 30000}})})));
        EXPECT_EQ(report["steps"][2]["exitCode"], 0) << describe(report);
        EXPECT_EQ(report["lines"].size(), 1u) << describe(report);
    }

    ov::Json script =
        rack_script(1, ov::Json::array({kReadyStep, request_step({{"cmd", "setRack"},
                                                                   {"slots", ov::Json::array({internal_slot(1, "gain")})}})}));
    script.erase("env");
    script["unsetEnv"] = ov::Json::array({"OV_PLUGINHOST_INTERNAL"});
    ov::Json report = run_script(script);
    EXPECT_EQ(report["steps"][1]["reply"]["result"][0]["error"], "internal test plugins are off in this host")
        << describe(report);
}

}  // namespace
}  // namespace ovtest
