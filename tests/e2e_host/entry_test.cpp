// The real ov-pluginhost's command line, scan report and start-up failures.
#include "host_fixture.h"
#include "wav.h"

namespace ovtest {
namespace {

namespace field = ovstandin::field;

const std::string kUsage = "usage: ov-pluginhost scan <path> | rack <mapping> <channels>\n";

class HostEntry : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(host_program())) GTEST_SKIP() << host_program() << " is not built";
    }
    static RunResult host(const std::vector<std::string>& args, std::optional<std::string> internal = "1") {
        RunOptions options;
        options.env = {{"OV_PLUGINHOST_INTERNAL", internal}};
        options.timeout = std::chrono::milliseconds(60000);
        return run_process(host_program(), args, options);
    }
};

TEST_F(HostEntry, UsageErrorsExitWithTwo) {
    struct Case {
        std::vector<std::string> args;
        std::string err;
    };
    const Case cases[] = {
        {{}, kUsage},
        {{"Scan", "x.vst3"}, kUsage},
        {{"RACK", "m", "1"}, kUsage},
        {{"scan"}, ""},
        {{"rack", "m"}, ""},
        {{"rack"}, ""},
    };
    for (const auto& c : cases) {
        RunResult run = host(c.args);
        SCOPED_TRACE(run.describe());
        EXPECT_EQ(run.exit_code, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, c.err);
    }
}

// One scan entry of a built-in plug-in as printed, keys in ascending order.
std::string internal_entry(const std::string& path, const std::string& uid, const std::string& name, int inputs,
                           bool mono_ok, bool stereo_ok, int latency) {
    const auto flag = [](bool b) { return b ? std::string("true") : std::string("false"); };
    return R"({"category":"Fx|Test","hasEditor":false,"inputs":)" + std::to_string(inputs) +
           R"(,"kind":"internal","latency":)" + std::to_string(latency) + R"(,"monoOk":)" + flag(mono_ok) +
           R"(,"name":")" + name + R"(","outputs":)" + std::to_string(inputs) + R"(,"params":1,"path":")" + path +
           R"(","stereoOk":)" + flag(stereo_ok) + R"(,"uid":")" + uid + R"(","vendor":"Orvia","version":"1"})";
}

TEST_F(HostEntry, ScanOfAllInternalPluginsIsOneExactLine) {
    RunResult run = host({"scan", "internal:"});
    ASSERT_TRUE(run.exited()) << run.describe();
    EXPECT_EQ(run.exit_code, 0);
    const std::string p = "internal:";
    EXPECT_EQ(run.out, "OVP {\"scan\":[" + internal_entry(p, "gain", "Test gain", 1, true, false, 0) + "," +
                           internal_entry(p, "stereo", "Test stereo", 2, false, true, 0) + "," +
                           internal_entry(p, "delay:256", "Test delay", 1, true, false, 256) + "," +
                           internal_entry(p, "abort", "Test abort", 1, true, false, 0) + "," +
                           internal_entry(p, "hang:50", "Test hang", 1, true, false, 0) + "],\"skipped\":[]}\n");
}

TEST_F(HostEntry, ScanVariants) {
    struct Case {
        std::vector<std::string> args;
        std::optional<std::string> internal;
        std::string out;
    };
    const std::string off = "internal test plugins are off in this host";
    const Case cases[] = {
        {{"scan", "INTERNAL:delay:10"}, "1",
         "OVP {\"scan\":[" + internal_entry("INTERNAL:delay:10", "delay:10", "Test delay", 1, true, false, 10) +
             "],\"skipped\":[]}\n"},
        {{"scan", "internal:Gain"}, "1", R"(OVP {"scan":[],"skipped":[{"error":"no internal plugin \"Gain\"","name":"Gain"}]})" "\n"},
        {{"scan", "internal:gain"}, std::nullopt,
         R"(OVP {"scan":[],"skipped":[{"error":")" + off + R"(","name":"gain"}]})" "\n"},
        {{"scan", "internal:gain"}, " 1", R"(OVP {"scan":[],"skipped":[{"error":")" + off + R"(","name":"gain"}]})" "\n"},
        {{"scan", "x.vst"}, "1", "OVP {\"scanError\":\"not a .vst3 or .clap file\"}\n"},
        {{"scan", "x.vst", "extra", "words"}, "1", "OVP {\"scanError\":\"not a .vst3 or .clap file\"}\n"},
    };
    for (const auto& c : cases) {
        RunResult run = host(c.args, c.internal);
        SCOPED_TRACE(run.describe());
        EXPECT_EQ(run.exit_code, 0);
        EXPECT_EQ(run.out, c.out);
    }
}

TEST_F(HostEntry, ScanWithTheVariableUnsetSkipsEveryInternalPlugin) {
    RunResult run = host({"scan", "internal:"}, std::nullopt);
    EXPECT_EQ(run.exit_code, 0) << run.describe();
    const std::string off = R"({"error":"internal test plugins are off in this host","name":")";
    EXPECT_EQ(run.out, "OVP {\"scan\":[],\"skipped\":[" + off + "gain\"}," + off + "stereo\"}," + off +
                           "delay:256\"}," + off + "abort\"}," + off + "hang:50\"}]}\n");
}

// Rack start-up against a mapping or event that is missing or wrong: one "fatal" event, code 3.
TEST_F(HostEntry, AttachFailuresAreFatalWithCodeThree) {
    struct Case {
        const char* name;
        bool create_mapping, create_event;
        std::uint32_t version;
        std::string message;  // {} is the mapping name
        std::size_t mapping_size = ovstandin::field::kMappingSize;
    };
    const Case cases[] = {
        {"no mapping", false, false, 1,
         "could not open the plugin audio mapping \\\"{}\\\" (No such file or directory (errno 2))"},
        {"no event", true, false, 1, "could not open the plugin audio event (No such file or directory (errno 2))"},
        {"other layout", true, true, 2, "the plugin audio mapping has another layout (version mismatch)"},
        // Mapping fewer bytes than the layout's would fault on the first touch past the end.
        {"short mapping", true, true, 1, "could not map the plugin audio memory", 4096},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ovstandin::RigOptions options;
        options.host_program = host_program();
        options.create_mapping = c.create_mapping;
        options.create_event = c.create_event;
        options.version = c.version;
        options.mapping_size = c.mapping_size;
        std::string error;
        auto rig = ovstandin::Rig::start(options, error);
        ASSERT_TRUE(rig) << error;
        auto code = rig->wait_exit(30000);
        ASSERT_TRUE(code);
        EXPECT_EQ(*code, 3);
        rig->collect(3000);
        std::string message = c.message;
        if (auto at = message.find("{}"); at != std::string::npos) message.replace(at, 2, rig->mapping_name());
        ASSERT_EQ(rig->lines().size(), 1u);
        EXPECT_EQ(rig->lines()[0].text, "OVP {\"event\":\"fatal\",\"message\":\"" + message + "\"}");
        if (c.create_mapping) {
            EXPECT_EQ(rig->mapping().u32(field::active), 0u);
        }
    }
}

TEST_F(HostEntry, ChannelArgumentIsClampedOrCountsAsOne) {
    struct Case {
        const char* arg;
        const char* adapt;  // of a stereo plug-in: one rack channel gives "dup in, sum out"
    };
    const Case cases[] = {{"x", "dup in, sum out"}, {"0", "dup in, sum out"}, {"", "dup in, sum out"},
                          {"+2", "direct"},          {"7", "direct"},          {"-2", "dup in, sum out"},
                          {"99999999999999999999999", "dup in, sum out"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arg);
        ovstandin::RigOptions options;
        options.host_program = host_program();
        options.channels_arg = c.arg;
        options.mapping_channels = 2;
        options.environment.set.emplace_back("OV_PLUGINHOST_INTERNAL", "1");
        std::string error;
        auto rig = ovstandin::Rig::start(options, error);
        ASSERT_TRUE(rig) << error;
        ASSERT_TRUE(rig->wait_event("ready", 30000));
        auto reply = rig->request(set_rack({internal_slot(1, "stereo")}), 30000);
        ASSERT_TRUE(reply);
        EXPECT_EQ((*reply)["result"][0]["adapt"], c.adapt);
        rig->send(ov::Json{{"cmd", "quit"}});
        EXPECT_EQ(rig->wait_exit(20000), 0);
    }
}

TEST_F(HostEntry, StandinDemoWritesTheProcessedTone) {
    if (!std::filesystem::exists(standin_program())) GTEST_SKIP() << standin_program() << " is not built";
    const std::string out = std::string(OV_BINARY_DIR) + "/e2e_host_demo.wav";
    RunResult run = run_process(standin_program(), {"demo", "--host", host_program(), "--out", out, "--seconds", "0.5",
                                                    "--channels", "1", "--gain", "0.75", "--delay", "480", "--fast"});
    ASSERT_EQ(run.exit_code, 0) << run.describe();
    auto report = ov::parse_json(run.out);
    ASSERT_TRUE(report.value) << run.out;
    EXPECT_EQ((*report.value)["exitCode"], 0);
    EXPECT_EQ((*report.value)["run"]["missed"], 0);

    ovstandin::WavAudio audio;
    std::string error;
    ASSERT_TRUE(ovstandin::read_wav(out, audio, error)) << error;
    ASSERT_EQ(audio.channels.size(), 1u);
    ASSERT_EQ(audio.channels[0].size(), 24000u);
    // Gain 0.75 is 1.5 times linear; the tone is 0.5 x sin(440 Hz), 480 frames late.
    ovstandin::Signal tone;
    tone.kind = ovstandin::Signal::Kind::sine;
    tone.frequency = 440;
    tone.amplitude = 0.5;
    for (std::size_t t = 0; t < 24000; t += 97) {
        const double want = t < 480 ? 0.0 : 1.5 * tone.sample(0, t - 480, t - 480);
        EXPECT_NEAR(audio.channels[0][t], want, 1e-5) << "frame " << t;
    }
}

}  // namespace
}  // namespace ovtest
