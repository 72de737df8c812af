// The plug-in check and the soak of ov-standin-audio, run as programs against the real
// ov-pluginhost: natively, and the Windows builds of both under Wine.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "../e2e_host/wine_host_fixture.h"
#include "ov/json.h"
#include "process_runner.h"
#include "xvfb_server.h"

namespace ovtest {
namespace {

std::string native_host() { return std::string(OV_BINARY_DIR) + "/plugins/host/ov-pluginhost"; }
std::string native_standin() { return std::string(OV_BINARY_DIR) + "/tools/standin-audio/ov-standin-audio"; }
std::string test_plugin(const std::string& relative) { return std::string(OV_BINARY_DIR) + "/test-plugins/" + relative; }

// Short signals keep a check to a few seconds per plug-in.
const std::vector<std::string> kQuick = {"--seconds", "0.2", "--no-editor"};

struct CheckRun {
    RunResult run;
    ov::Json report;
};

CheckRun check(const std::string& target, std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"check", "--host", native_host(), "--json"};
    args.insert(args.end(), kQuick.begin(), kQuick.end());
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back(target);
    RunOptions options;
    options.timeout = std::chrono::milliseconds(240000);
    CheckRun result{run_process(native_standin(), args, options), nullptr};
    auto parsed = ov::parse_json(result.run.out);
    if (parsed.value) result.report = *parsed.value;
    return result;
}

// The row of a check for the plug-in at `index`.
ov::Json row(const ov::Json& report, std::size_t index, const std::string& name) {
    const ov::Json& plugins = report["plugins"];
    if (!plugins.is_array() || index >= plugins.size()) return nullptr;
    for (const auto& check : plugins[index]["checks"])
        if (check["check"] == name) return check;
    return nullptr;
}

std::string mark(const ov::Json& report, std::size_t index, const std::string& name) {
    const ov::Json found = row(report, index, name);
    return found.is_object() ? found["mark"].get<std::string>() : "(no row " + name + ")";
}

class PluginCheck : public ::testing::Test {
protected:
    void SetUp() override {
        for (const auto& program : {native_host(), native_standin()})
            if (!std::filesystem::exists(program)) GTEST_SKIP() << program << " is not built";
    }
};

TEST_F(PluginCheck, WorkingBuiltInPluginsPassEveryCheckWithTheirFigures) {
    struct Case {
        std::string target, adapt_mono, adapt_stereo;
        std::int64_t latency;
    };
    for (const Case& c : {Case{"internal:gain", "direct", "downmix in, dup out", 0},
                          Case{"internal:stereo", "dup in, sum out", "direct", 0},
                          Case{"internal:delay:480", "direct", "downmix in, dup out", 480}}) {
        SCOPED_TRACE(c.target);
        const CheckRun result = check(c.target);
        ASSERT_EQ(result.run.exit_code, 0) << result.run.describe();
        const ov::Json& report = result.report;
        // A busy machine may answer a block late (a warning); nothing may fail.
        EXPECT_NE(report["verdict"], "fails") << ov::to_pretty_json(report);
        EXPECT_EQ(report["scan"]["mark"], "ok");
        ASSERT_EQ(report["plugins"].size(), 1u);
        EXPECT_EQ(row(report, 0, "load mono")["details"]["adapt"], c.adapt_mono);
        EXPECT_EQ(row(report, 0, "load stereo")["details"]["adapt"], c.adapt_stereo);
        for (const char* name : {"load mono", "load stereo", "state", "quit"})
            EXPECT_EQ(mark(report, 0, name), "ok") << name << ": " << ov::to_pretty_json(report);
        for (const char* name : {"mono noise", "silence", "impulse", "noise", "sine", "reactivation"}) {
            EXPECT_NE(mark(report, 0, name), "fail") << name << ": " << ov::to_pretty_json(report);
            EXPECT_EQ(row(report, 0, name)["details"]["nonFinite"], 0) << name;
        }
        // The impulse comes out exactly as late as the plug-in says.
        const ov::Json impulse = row(report, 0, "impulse");
        EXPECT_EQ(impulse["details"]["impulseDelay"], c.latency) << impulse;
        EXPECT_EQ(impulse["details"]["reportedLatency"], c.latency);
        // The one gain parameter, set to three values and back while audio ran.
        const ov::Json params = row(report, 0, "parameters");
        EXPECT_EQ(params["mark"], "ok") << params;
        EXPECT_EQ(params["details"]["differences"], ov::Json::array());
        EXPECT_EQ(params["details"]["automatable"], 1);
        EXPECT_EQ(params["details"]["valuesSet"], 4);
        EXPECT_EQ(params["details"]["missed"], 0);
        EXPECT_EQ(mark(report, 0, "editor"), "skip");
        EXPECT_NE(result.run.err.find("check: "), std::string::npos) << "no progress lines";
    }
}

TEST_F(PluginCheck, FaultyPluginsGetAVerdictAndAReasonAndTheCheckSurvives) {
    struct Case {
        std::string target;
        std::vector<std::string> extra;
        std::string reason_part;  // in the report's reason
    };
    for (const Case& c : {
             Case{"internal:abort", {}, "not answered"},
             Case{"internal:hang:40", {}, "too slow for real time"},
             Case{"internal:hang:100000", {}, "stuck in slot 1"},
             Case{"internal:hangload", {"--scan-timeout", "3"}, "the scan did not finish within 3 s"},
             Case{"internal:abortload", {}, "without a report"},
             Case{"internal:nosuch", {}, "no internal plugin \"nosuch\""},
         }) {
        SCOPED_TRACE(c.target);
        const CheckRun result = check(c.target, c.extra);
        EXPECT_EQ(result.run.exit_code, 1) << result.run.describe();
        ASSERT_TRUE(result.report.is_object()) << result.run.describe();
        EXPECT_EQ(result.report["verdict"], "fails");
        const std::string reason = result.report.value("reason", "");
        EXPECT_NE(reason.find(c.reason_part), std::string::npos) << ov::to_pretty_json(result.report);
    }
}

TEST_F(PluginCheck, FilesThatCannotLoadAreReportedWithTheHostsMessage) {
    const CheckRun text_file = check(test_plugin("clap/ov-test-text.clap"));
    EXPECT_EQ(text_file.run.exit_code, 1) << text_file.run.describe();
    EXPECT_EQ(text_file.report["scan"]["mark"], "fail");
    EXPECT_NE(text_file.report.value("reason", "").find("the file cannot be loaded: "), std::string::npos)
        << ov::to_pretty_json(text_file.report);

    const CheckRun not_plugin = check("notes.txt");
    EXPECT_EQ(not_plugin.report.value("reason", ""), "the file cannot be loaded: not a .vst3 or .clap file");
}

TEST_F(PluginCheck, OurTestPluginFilesWorkExceptTheirDeliberateFaults) {
    struct Case {
        std::string file;
        // Plug-ins that must fail, and a part of their reason; every other one must work.
        std::map<std::string, std::string> failing;
    };
    for (const Case& c : {
             Case{"vst3/OvFx.vst3", {}},
             Case{"clap/ov-test-heavy.clap", {}},
             Case{"clap/ov-test-effects.clap",
                  {{"Test Synth", "scan: not an audio effect"},
                   {"Test Init Fails", "scan: the plugin would not initialise"},
                   {"Test Activate Fails", "scan: the plugin would not activate at 48 kHz"},
                   {"Test No Instance", "scan: the plugin would not create an instance"},
                   {"Test Wide", "state: could not save its state: the plugin would not save its state"}}},
         }) {
        SCOPED_TRACE(c.file);
        if (!std::filesystem::exists(test_plugin(c.file))) GTEST_SKIP() << c.file << " is not built";
        const CheckRun result = check(test_plugin(c.file));
        ASSERT_TRUE(result.report.is_object()) << result.run.describe();
        ASSERT_GT(result.report["plugins"].size(), c.failing.size());
        EXPECT_EQ(result.run.exit_code, c.failing.empty() ? 0 : 1);
        for (const auto& plugin : result.report["plugins"]) {
            const std::string name = plugin["name"].get<std::string>();
            SCOPED_TRACE(name);
            auto failing = c.failing.find(name);
            if (failing == c.failing.end()) {
                EXPECT_NE(plugin["verdict"], "fails") << ov::to_pretty_json(plugin);
            } else {
                EXPECT_EQ(plugin["verdict"], "fails") << ov::to_pretty_json(plugin);
                EXPECT_NE(plugin.value("reason", "").find(failing->second), std::string::npos) << ov::to_pretty_json(plugin);
            }
        }
    }
}

TEST_F(PluginCheck, TheTableHasARowPerCheckWithItsMarkAndFigure) {
    RunOptions options;
    options.timeout = std::chrono::milliseconds(120000);
    std::vector<std::string> args = {"check", "--host", native_host(), "--seconds", "0.2", "internal:delay:64"};
    const RunResult run = run_process(native_standin(), args, options);
    ASSERT_EQ(run.exit_code, 0) << run.describe();
    for (const char* line : {"\n  scan               ok    1 effect(s), 0 skipped, ",
                             "\n  load mono          ok    1 in / 1 out, adapt \"direct\", latency 64, 1 parameters\n",
                             "; impulse delay 64 = reported latency\n", "\n  editor             skip  no window of its own\n",
                             "\nverdict: works"})
        EXPECT_NE(run.out.find(line), std::string::npos) << "no \"" << line << "\" in\n" << run.out;
}

TEST_F(PluginCheck, EditorsOpenAndCloseOnADisplayAndTheirFaultsFail) {
    std::string why_not;
    XvfbServer* xvfb = shared_xvfb(why_not);
    if (!xvfb) GTEST_SKIP() << why_not;
    struct Case {
        std::string file, uid;
        std::string mark, figure_part;
    };
    for (const Case& c : {Case{"vst3/OvFx.vst3", "4F564658000000000000000000000001", "ok", "opened at "},
                          Case{"clap/ov-test-effects.clap", "org.orvia.test.editor", "ok", "opened at 480 x 320, closed"},
                          Case{"clap/ov-test-effects.clap", "org.orvia.test.editor-nocreate", "fail",
                               "opening: the plugin could not create its window"}}) {
        SCOPED_TRACE(c.uid);
        std::vector<std::string> args = {"check", "--host", native_host(), "--json", "--seconds", "0.2",
                                         "--uid", c.uid, test_plugin(c.file)};
        RunOptions options;
        options.env = {{"DISPLAY", xvfb->display()}};
        options.timeout = std::chrono::milliseconds(120000);
        const RunResult run = run_process(native_standin(), args, options);
        auto report = ov::parse_json(run.out);
        ASSERT_TRUE(report.value) << run.describe();
        ASSERT_EQ((*report.value)["plugins"].size(), 1u) << ov::to_pretty_json(*report.value);
        const ov::Json editor = row(*report.value, 0, "editor");
        EXPECT_EQ(editor["mark"], c.mark) << editor;
        EXPECT_NE(editor.value("figure", "").find(c.figure_part), std::string::npos) << editor;
    }
}

class Soak : public PluginCheck {};

TEST_F(Soak, AShortSoakPassesAndSamplesTheHost) {
    RunOptions options;
    options.timeout = std::chrono::milliseconds(240000);
    const RunResult run = run_process(native_standin(),
                                      {"soak", "--host", native_host(), "--blocks", "3000", "--sample-every", "500",
                                       "--seed", "7", "--json"},
                                      options);
    auto report = ov::parse_json(run.out);
    ASSERT_TRUE(report.value) << run.describe();
    EXPECT_EQ((*report.value)["ok"], true) << ov::to_pretty_json(*report.value);
    EXPECT_GE((*report.value)["samples"].size(), 6u);
    EXPECT_GT((*report.value)["exactChunks"].get<int>(), 0);
    EXPECT_EQ((*report.value)["unexplainedMisses"], 0);
}

TEST_F(Soak, EditorsThatNeverOpenAreCountedNotFailed) {
    // The test file's editors that fail on purpose are answered with their reason; the soak
    // counts them per plug-in, while the working editors open and close around them. Which
    // editors a run reaches depends on the seed and on how the blocks interleave with the
    // requests, so a few seeds are tried until one reaches a faulty editor.
    std::string why_not;
    XvfbServer* xvfb = shared_xvfb(why_not);
    if (!xvfb) GTEST_SKIP() << why_not;
    RunOptions options;
    options.env = {{"DISPLAY", xvfb->display()}};
    options.timeout = std::chrono::milliseconds(240000);
    bool reached_a_faulty_editor = false;
    for (const char* seed : {"5", "1", "3", "4"}) {
        SCOPED_TRACE(seed);
        const RunResult run = run_process(native_standin(),
                                          {"soak", "--host", native_host(), "--blocks", "3000", "--seed", seed, "--json",
                                           "--plugin", test_plugin("clap/ov-test-effects.clap")},
                                          options);
        auto report = ov::parse_json(run.out);
        ASSERT_TRUE(report.value) << run.describe();
        const ov::Json& soak = *report.value;
        EXPECT_EQ(soak["ok"], true) << ov::to_pretty_json(soak);
        EXPECT_GT(soak["changes"].value("editorOpen", 0), 0) << ov::to_pretty_json(soak);
        if (!soak.contains("editorRefusals")) continue;
        reached_a_faulty_editor = true;
        for (const auto& [uid, count] : soak["editorRefusals"].items()) {
            EXPECT_TRUE(uid == "org.orvia.test.editor-nocreate" || uid == "org.orvia.test.editor-noparent" ||
                        uid == "org.orvia.test.editor-otherapi")
                << uid << " " << count;
        }
        break;
    }
    EXPECT_TRUE(reached_a_faulty_editor);
}

// ov-standin-audio.exe checks with ov-pluginhost.exe under Wine.
class WinePluginCheck : public WineHostSuite<WinePluginCheck> {
public:
    static std::vector<std::string> extra_files() {
        return {"test-plugins/vst3/OvFx.vst3/Contents/x86_64-win/OvFx.vst3"};
    }

    static CheckRun wine_check(const std::string& target) {
        RunOptions options;
        options.timeout = std::chrono::milliseconds(300000);
        CheckRun result{run_under_wine(*prefix_, *standin_exe_,
                                       {"check", "--host", z_drive_path(*host_exe_), "--json", "--seconds", "0.2",
                                        "--no-editor", target},
                                       options),
                        nullptr};
        auto parsed = ov::parse_json(result.run.out);
        if (parsed.value) result.report = *parsed.value;
        return result;
    }
};

TEST_F(WinePluginCheck, BuiltInAndVst3PluginsUnderWine) {
    const CheckRun gain = wine_check("internal:delay:64");
    ASSERT_EQ(gain.run.exit_code, 0) << gain.run.describe();
    EXPECT_NE(gain.report["verdict"], "fails") << ov::to_pretty_json(gain.report);
    EXPECT_EQ(row(gain.report, 0, "impulse")["details"]["impulseDelay"], 64);

    const std::string bundle = std::string(OV_WINDOWS_BUILD_DIR) + "/test-plugins/vst3/OvFx.vst3";
    const CheckRun vst3 = wine_check(z_drive_path(bundle));
    ASSERT_TRUE(vst3.report.is_object()) << vst3.run.describe();
    ASSERT_FALSE(vst3.report["plugins"].empty());
    for (const auto& plugin : vst3.report["plugins"]) EXPECT_NE(plugin["verdict"], "fails") << ov::to_pretty_json(plugin);

    const CheckRun abort = wine_check("internal:abort");
    EXPECT_EQ(abort.run.exit_code, 1) << abort.run.describe();
    EXPECT_EQ(abort.report["verdict"], "fails");
}

}  // namespace
}  // namespace ovtest
