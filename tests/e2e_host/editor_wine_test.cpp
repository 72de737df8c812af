// The Windows ov-pluginhost.exe opening the Windows builds of our test plug-ins' editors
// under Wine, shown on an X server of the test's own. The Windows stand-in plays Orvia's part
// from a script, while ov-window-probe.exe, in the same Wine prefix, looks at the host's
// window from outside, resizes it and clicks its close box.
#include <future>

#include "dpf_cases.h"
#include "wine_host_fixture.h"
#include "xvfb_server.h"

namespace ovtest {
namespace {

constexpr std::uint32_t kEditorStyle = 0x02CA0000;  // caption, system menu, minimise box, clip children
// What the system adds to a shown top-level window of that style.
constexpr std::uint32_t kVisible = 0x10000000;
constexpr std::uint32_t kClipSiblings = 0x04000000;
constexpr std::uint32_t kWindowEdge = 0x00000100;

// Requests that open windows may wait for a busy X server.
ov::Json window_request_step(ov::Json request) { return request_step(std::move(request), 60000); }

ov::Json editor(std::uint32_t key, ov::Json extra = ov::Json::object()) {
    ov::Json command{{"cmd", "editor"}, {"key", key}};
    for (auto& [name, value] : extra.items()) command[name] = value;
    return command;
}

class WineEditorHost : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::vector<std::string> files{"plugins/host/ov-pluginhost.exe", "tools/standin-audio/ov-standin-audio.exe",
                                       "tools/window-probe/ov-window-probe.exe",
                                       "tools/window-probe/ov-editor-window-check.exe",
                                       "test-plugins/clap/ov-test-effects.clap", "test-plugins/vst3/OvFx.vst3"};
        std::string why_not;
        XvfbServer* server = shared_xvfb(why_not);
        if (!server) {
            skip_reason_ = new std::string("no X server for the editor windows: " + why_not);
            return;
        }
        // A prefix of its own: every Wine program in it shows its windows on this X server.
        auto prefix = prepare_wine_suite(OV_WINDOWS_BUILD_DIR, std::string(OV_BINARY_DIR) + "/editor-windows", files,
                                         why_not);
        if (!prefix) {
            skip_reason_ = new std::string(why_not);
            return;
        }
        prefix_ = new WinePrefix(*prefix);
        display_ = new std::string(server->display());
        host_exe_ = new std::string(files[0]);
        standin_exe_ = new std::string(files[1]);
        probe_exe_ = new std::string(files[2]);
        check_exe_ = new std::string(files[3]);
        clap_file_ = new std::string(z_drive_path(files[4]));
        vst3_bundle_ = new std::string(z_drive_path(files[5]));
    }

    // Each test has the prefix to itself (test programs run in parallel each have an X server
    // of their own), and starts and ends without Wine programs of another X server in it.
    void SetUp() override {
        if (skip_reason_ != nullptr) GTEST_SKIP() << *skip_reason_;
        lock_ = std::make_unique<WinePrefixLock>(*prefix_);
        end_wine_programs();
    }
    void TearDown() override {
        if (!lock_) return;
        end_wine_programs();
        lock_.reset();
    }

    // Ends the prefix's Wine programs (its desktop among them) and waits for their end.
    static void end_wine_programs() {
        RunOptions options;
        options.env = merged_env(wine_environment(*prefix_), {{"DISPLAY", *display_}});
        options.timeout = std::chrono::seconds(60);
        run_process("wineserver", {"-k"}, options);
        run_process("wineserver", {"-w"}, options);
    }

    static RunOptions wine_options(std::chrono::milliseconds timeout) {
        RunOptions options;
        options.env = {{"DISPLAY", *display_}};
        options.timeout = timeout;
        return options;
    }

    static ov::Json clap_slot(std::uint32_t key, const std::string& id) {
        return {{"key", key}, {"kind", "clap"}, {"path", *clap_file_}, {"uid", id}};
    }
    static ov::Json vst3_slot(std::uint32_t key, const std::string& uid) {
        return {{"key", key}, {"kind", "vst3"}, {"path", *vst3_bundle_}, {"uid", uid}};
    }

    // Starts the stand-in with a stereo rack script; its report comes with the future.
    static std::future<ov::Json> start_script(ov::Json steps) {
        ov::Json script = {{"host", z_drive_path(*host_exe_)},
                           {"channels", "2"},
                           {"mappingChannels", 2},
                           {"steps", std::move(steps)}};
        return std::async(std::launch::async, [script] {
            RunOptions options = wine_options(std::chrono::milliseconds(300000));
            options.stdin_text = ov::to_compact_json(script);
            RunResult run = run_under_wine(*prefix_, *standin_exe_, {"script", "-"}, options);
            auto report = ov::parse_json(run.out);
            if (!report.value) return ov::Json{{"error", run.describe()}};
            return *report.value;
        });
    }

    // Runs the probe; its one-line report.
    static ov::Json probe(const std::vector<std::string>& args) {
        RunResult run = run_under_wine(*prefix_, *probe_exe_, args, wine_options(std::chrono::milliseconds(180000)));
        auto report = ov::parse_json(run.out);
        EXPECT_TRUE(report.value) << run.describe();
        return report.value ? *report.value : ov::Json::object();
    }

    std::unique_ptr<WinePrefixLock> lock_;

    static inline std::string* skip_reason_ = nullptr;
    static inline WinePrefix* prefix_ = nullptr;
    static inline std::string* display_ = nullptr;
    static inline std::string* host_exe_ = nullptr;
    static inline std::string* standin_exe_ = nullptr;
    static inline std::string* probe_exe_ = nullptr;
    static inline std::string* check_exe_ = nullptr;
    static inline std::string* clap_file_ = nullptr;
    static inline std::string* vst3_bundle_ = nullptr;
};

TEST_F(WineEditorHost, EditorWindowsAsTheUserSeesThem) {
    const ov::Json quit = step("send", {{"line", R"(OVP {"cmd":"quit","id":1})"}});
    auto running = start_script(ov::Json::array({
        step("expectEvent", {{"event", "ready"}, {"timeoutMs", 120000}}),
        window_request_step({{"cmd", "setRack"}, {"slots", ov::Json::array({clap_slot(1, "org.orvia.test.editor")})}}),
        window_request_step(editor(1, {{"x", 20}, {"y", 30}})),
        // The probe resizes the window and clicks its close box.
        step("expectEvent", {{"event", "editorClosed"}, {"timeoutMs", 240000}}),
        window_request_step({{"cmd", "params"}, {"key", 1}}),
        window_request_step(editor(1, {{"owner", 0x5A5A5A0}})),
        window_request_step({{"cmd", "setRack"},
                      {"slots", ov::Json::array({vst3_slot(2, "4F564658000000000000000000000001")})}}),
        window_request_step(editor(2)),
        step("expectEvent", {{"event", "editorClosed"}, {"timeoutMs", 240000}}),
        window_request_step(editor(2)),
        window_request_step(editor(2)),
        quit,
        step("waitExit", {{"timeoutMs", 60000}}),
    }));
    // Each probe waits for the window to be set up (the plug-in's window inside, the size the
    // plug-in asked for), then looks.
    const ov::Json clap_window = probe({"OrviaPluginEditor", "--title", "Test Editor - Orvia", "--timeout-ms", "180000",
                                        "--wait-client", "480", "320", "--resize", "600", "400", "--close"});
    const ov::Json vst3_window = probe({"OrviaPluginEditor", "--title", "Gain Single - Orvia", "--timeout-ms",
                                        "180000", "--wait-client", "320", "200", "--close"});
    const ov::Json report = running.get();
    const std::string account = ov::to_pretty_json(report) + "\nprobes:\n" + ov::to_pretty_json(clap_window) + "\n" +
                                ov::to_pretty_json(vst3_window);
    ASSERT_TRUE(report.contains("steps")) << account;
    const ov::Json& r = report["steps"];
    ASSERT_EQ(r.size(), 13u) << account;

    // The CLAP editor in its host window, seen from outside.
    EXPECT_EQ(r[2]["reply"]["result"], (ov::Json{{"open", true}, {"width", 480}, {"height", 320}})) << account;
    EXPECT_EQ(clap_window.value("found", false), true) << account;
    EXPECT_EQ(clap_window["class"], "OrviaPluginEditor");
    EXPECT_EQ(clap_window["title"], "Test Editor - Orvia");
    EXPECT_EQ(clap_window["style"], kEditorStyle | kVisible | kClipSiblings) << account;
    EXPECT_EQ(clap_window.value("exStyle", 0u) & ~kWindowEdge, 0u) << account;
    EXPECT_EQ(clap_window["foreground"], true);
    EXPECT_EQ(clap_window["owner"], 0);
    EXPECT_EQ(clap_window["position"], ov::Json::array({20, 30}));
    EXPECT_EQ(clap_window["client"], ov::Json::array({480, 320}));
    EXPECT_EQ(clap_window["child"], ov::Json::array({480, 320})) << "the plug-in's window is not inside";
    // The user's size reached the plug-in; the close box closed the editor.
    EXPECT_EQ(clap_window["afterResize"], (ov::Json{{"client", {600, 400}}, {"child", {600, 400}}})) << account;
    EXPECT_EQ(clap_window["closed"], true);
    EXPECT_EQ(r[3]["event"], (ov::Json{{"event", "editorClosed"}, {"key", 1}})) << account;
    bool window_gone = false;
    for (const auto& param : r[4]["reply"]["result"]) {
        if (param["name"] == "Window exists") window_gone = param["value"] == 0.0;
    }
    EXPECT_TRUE(window_gone) << account;

    // An owner that is no window.
    const std::string owner_error = r[5]["reply"].value("error", "");
    EXPECT_EQ(owner_error.rfind("could not create the plugin window (", 0), 0u) << account;
    EXPECT_NE(owner_error.find("(0x80070578))"), std::string::npos) << account;

    // The VST3 view's size, and the close box again.
    EXPECT_EQ(r[7]["reply"]["result"], (ov::Json{{"open", true}, {"width", 320}, {"height", 200}})) << account;
    EXPECT_EQ(vst3_window["client"], ov::Json::array({320, 200})) << account;
    EXPECT_EQ(vst3_window["child"], ov::Json::array({320, 200})) << account;
    EXPECT_EQ(r[8]["event"], (ov::Json{{"event", "editorClosed"}, {"key", 2}})) << account;
    // It opens again, and a second open only answers.
    EXPECT_EQ(r[9]["reply"]["result"], (ov::Json{{"open", true}, {"width", 320}, {"height", 200}})) << account;
    EXPECT_EQ(r[10]["reply"]["result"], (ov::Json{{"open", true}, {"width", 320}, {"height", 200}})) << account;
    EXPECT_EQ(report["exitCode"], 0) << account;
}

TEST_F(WineEditorHost, WindowsListCloseRequestsAndUserSizesOnly) {
    RunResult run = run_under_wine(*prefix_, *check_exe_, {}, wine_options(std::chrono::milliseconds(180000)));
    ASSERT_EQ(run.exit_code, 0) << run.describe();
    const auto parsed = ov::parse_json(run.out);
    ASSERT_TRUE(parsed.value) << run.describe();
    const ov::Json& seen = *parsed.value;
    const std::string account = ov::to_pretty_json(seen);

    EXPECT_EQ(seen["opened"],
              (ov::Json{{"class", "OrviaPluginEditor"},
                        {"title", "Check \xC3\xA9 - Orvia"},
                        {"style", kEditorStyle | kVisible | kClipSiblings},
                        {"exStyle", kWindowEdge},
                        {"client", {640, 400}},
                        {"visible", true},
                        {"foreground", true},
                        {"sizes", ov::Json::array()}}))  // the sizes of its creation are nobody's request
        << account;
    // The host's own size is listed (the main loop finds it already recorded); a minimised
    // window's 0 x 0 is not.
    EXPECT_EQ(seen["ownResize"], (ov::Json{{"client", {300, 200}}, {"sizes", ov::Json::array({{300, 200}})}})) << account;
    EXPECT_EQ(seen["minimised"], ov::Json::array()) << account;
    EXPECT_EQ(seen["restored"], ov::Json::array({{300, 200}})) << account;
    EXPECT_EQ(seen["userResize"], ov::Json::array({{500, 350}})) << account;
    // The close box only asks; the window stays until it is destroyed, and nothing of it is
    // left in the lists after.
    EXPECT_EQ(seen["closeBox"], (ov::Json{{"listed", true}, {"alive", true}})) << account;
    EXPECT_EQ(seen["destroyed"], (ov::Json{{"alive", false}, {"closes", 0}, {"sizes", 0}})) << account;
    EXPECT_EQ(seen["owned"], (ov::Json{{"isOwner", true}, {"position", {25, 35}}})) << account;
    EXPECT_EQ(seen["badOwner"]["opened"], false) << account;
    EXPECT_EQ(seen["badOwner"]["step"], "create") << account;
    EXPECT_NE(seen["badOwner"].value("reason", "").find("(0x80070578)"), std::string::npos) << account;
}

// The editor of the test plug-in made with DPF, someone else's framework, in both formats:
// the host window takes the plug-in's size, the close box closes it, and the framework has
// nothing to complain of at the end.
TEST_F(WineEditorHost, DpfEditorsOpenAtTheirSizeAndCloseCleanly) {
    const std::string plugins = std::string(OV_WINDOWS_BUILD_DIR) + "/test-plugins";
    if (!std::filesystem::exists(plugins + "/clap/OvDpfEditor.clap"))
        GTEST_SKIP() << "the DPF editor test plug-in is not built (it needs OpenGL)";
    const ov::Json clap = {{"key", 1}, {"kind", "clap"}, {"path", z_drive_path(plugins + "/clap/OvDpfEditor.clap")},
                           {"uid", "org.orvia.tests.dpf-editor"}};
    const ov::Json vst3 = {{"key", 2}, {"kind", "vst3"}, {"path", z_drive_path(plugins + "/vst3/OvDpfEditor.vst3")},
                           {"uid", "2046504473616C636445764F00000000"}};
    auto running = start_script(ov::Json::array({
        step("expectEvent", {{"event", "ready"}, {"timeoutMs", 120000}}),
        window_request_step({{"cmd", "setRack"}, {"slots", ov::Json::array({clap})}}),  // 1
        window_request_step(editor(1)),                                                 // 2
        step("expectEvent", {{"event", "editorClosed"}, {"timeoutMs", 240000}}),       // 3
        window_request_step({{"cmd", "setRack"}, {"slots", ov::Json::array({vst3})}}),  // 4
        window_request_step(editor(2)),                                                 // 5
        step("expectEvent", {{"event", "editorClosed"}, {"timeoutMs", 240000}}),       // 6
        window_request_step(editor(2)),                                                 // 7: left open
        step("send", {{"line", R"(OVP {"cmd":"quit","id":1})"}}),
        step("waitExit", {{"timeoutMs", 60000}}),
    }));
    const ov::Json clap_window = probe({"OrviaPluginEditor", "--title", "DPF Editor - Orvia", "--timeout-ms", "180000",
                                        "--wait-client", "360", "240", "--close"});
    // The closed window takes a moment to go (the framework's teardown of its view), and both
    // windows have the same title: the second probe must not find the first window.
    const auto window_left = [] {
        const RunResult run = run_under_wine(*prefix_, *probe_exe_, {"OrviaPluginEditor", "--timeout-ms", "500"},
                                             wine_options(std::chrono::milliseconds(60000)));
        const auto seen = ov::parse_json(run.out);
        return seen.value && seen.value->value("found", false);
    };
    for (int tries = 0; tries < 60 && window_left(); ++tries) {
    }
    const ov::Json vst3_window = probe({"OrviaPluginEditor", "--title", "DPF Editor - Orvia", "--timeout-ms", "180000",
                                        "--wait-client", "360", "240", "--close"});
    const ov::Json report = running.get();
    const std::string account = ov::to_pretty_json(report) + "\nprobes:\n" + ov::to_pretty_json(clap_window) + "\n" +
                                ov::to_pretty_json(vst3_window);
    ASSERT_TRUE(report.contains("steps")) << account;
    const ov::Json& r = report["steps"];
    ASSERT_EQ(r.size(), 10u) << account;
    const ov::Json opened = {{"open", true}, {"width", 360}, {"height", 240}};
    for (std::size_t i : {2u, 5u, 7u}) EXPECT_EQ(r[i]["reply"]["result"], opened) << "step " << i << "\n" << account;
    for (const ov::Json* window : {&clap_window, &vst3_window}) {
        EXPECT_EQ(window->value("client", ov::Json()), ov::Json::array({360, 240})) << account;
        EXPECT_EQ(window->value("child", ov::Json()), ov::Json::array({360, 240})) << "the plug-in's window is not inside\n"
                                                                                  << account;
        EXPECT_EQ(window->value("closed", false), true) << account;
    }
    EXPECT_EQ(r[3]["event"], (ov::Json{{"event", "editorClosed"}, {"key", 1}})) << account;
    EXPECT_EQ(r[6]["event"], (ov::Json{{"event", "editorClosed"}, {"key", 2}})) << account;
    EXPECT_EQ(report["exitCode"], 0) << account;
    EXPECT_EQ(dpf::joined(dpf::framework_complaints(report.value("stderr", ""))), "") << account;
}

}  // namespace
}  // namespace ovtest
