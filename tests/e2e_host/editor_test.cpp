// The real ov-pluginhost opening our test plug-ins' editors on an X server of the test's own:
// the host's window seen from outside, the plug-in's own window inside it, and the user's
// close box and sizes reaching the plug-in; and views that, like real Linux ones, run their
// timers and descriptor watches on the host's loop.
#include "host_fixture.h"
#include "xvfb_server.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <thread>

namespace ovtest {
namespace {

constexpr char kWindowClass[] = "OrviaPluginEditor";

std::string clap_file() { return std::string(OV_BINARY_DIR) + "/test-plugins/clap/ov-test-effects.clap"; }
std::string vst3_bundle() { return std::string(OV_BINARY_DIR) + "/test-plugins/vst3/OvFx.vst3"; }

ov::Json clap_slot(std::uint32_t key, const std::string& id) {
    return {{"key", key}, {"kind", "clap"}, {"path", clap_file()}, {"uid", id}};
}

// The test module's class ids are "OVFX", eleven zero bytes and a tag.
ov::Json vst3_slot(std::uint32_t key, unsigned tag) {
    static const char digits[] = "0123456789ABCDEF";
    std::string uid = "4F564658" + std::string(22, '0');
    uid.push_back(digits[(tag >> 4) & 0xF]);
    uid.push_back(digits[tag & 0xF]);
    return {{"key", key}, {"kind", "vst3"}, {"path", vst3_bundle()}, {"uid", uid}};
}

ov::Json editor(std::uint32_t key, ov::Json extra = ov::Json::object()) {
    ov::Json command{{"cmd", "editor"}, {"key", key}};
    for (auto& [name, value] : extra.items()) command[name] = value;
    return command;
}

template <class Condition>
bool within(std::chrono::milliseconds timeout, Condition&& condition) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

class EditorHost : public RackHost {
protected:
    void SetUp() override {
        RackHost::SetUp();
        if (IsSkipped()) return;
        for (const auto& file : {clap_file(), vst3_bundle()}) {
            if (!std::filesystem::exists(file)) GTEST_SKIP() << file << " is not built";
        }
        std::string why_not;
        server_ = shared_xvfb(why_not);
        if (!server_) GTEST_SKIP() << "no X server for the editor windows: " << why_not;
        x_ = XTestClient::open(server_->display());
        ASSERT_TRUE(x_) << "cannot open " << server_->display();
        ASSERT_TRUE(x_->wait_window_count(kWindowClass, 0)) << "editor windows of an earlier test are left";
    }

    // The host in rack mode with DISPLAY set to the test's server (or unset), and more
    // variables for the plug-ins.
    void start_host(unsigned channels, bool with_display = true,
                    const std::vector<std::pair<std::string, std::string>>& more_environment = {}) {
        ovstandin::RigOptions options;
        options.host_program = host_program();
        options.channels_arg = std::to_string(channels);
        options.mapping_channels = channels;
        options.environment.set.emplace_back("OV_PLUGINHOST_INTERNAL", "1");
        for (const auto& [name, value] : more_environment) options.environment.set.emplace_back(name, value);
        if (with_display) {
            options.environment.set.emplace_back("DISPLAY", server_->display());
        } else {
            options.environment.unset.push_back("DISPLAY");
        }
        std::string error;
        rig_ = ovstandin::Rig::start(options, error);
        ASSERT_TRUE(rig_) << error;
        ASSERT_TRUE(rig_->wait_event("ready", 30000)) << "no ready event";
    }

    // The one editor window there is.
    XWindowId the_window() {
        EXPECT_TRUE(x_->wait_window_count(kWindowClass, 1));
        const auto windows = x_->top_level_windows(kWindowClass);
        return windows.empty() ? 0 : windows.front();
    }

    // Waits until the plug-in's own window inside `window` has the size.
    bool view_has_size(XWindowId window, unsigned width, unsigned height) {
        return within(std::chrono::seconds(20), [&] {
            const auto inside = x_->children(window);
            if (inside.size() != 1) return false;
            const auto size = x_->geometry(inside.front());
            return size && size->width == width && size->height == height;
        });
    }

    // Sets the CLAP test editor's "Action"; it acts when audio brings the value to it.
    void clap_action(std::uint32_t key, int action) {
        result_of({{"cmd", "setParam"}, {"key", key}, {"param", 9}, {"value", action / 20.0}});
        ovstandin::BlockPlan plan;
        plan.count = 5;
        rig_->run_blocks(plan);
    }

    // The value of a parameter of the slot's plug-in.
    double param_value(std::uint32_t key, std::uint32_t id) {
        const ov::Json list = result_of({{"cmd", "params"}, {"key", key}});
        for (const auto& param : list) {
            if (param.value("id", 0u) == id) return param.value("value", -1.0);
        }
        ADD_FAILURE() << "no parameter " << id << " in " << ov::to_compact_json(list);
        return -1.0;
    }

    XvfbServer* server_ = nullptr;
    std::unique_ptr<XTestClient> x_;
};

// The CLAP test editor's "Window exists" parameter.
constexpr std::uint32_t kClapWindowExists = 22;

TEST_F(EditorHost, ClapEditorOpensInAHostWindowThatFollowsThePlugInAndTheUser) {
    start_host(2);
    const ov::Json slots = result_of(set_rack({clap_slot(1, "org.orvia.test.editor")}));
    ASSERT_EQ(slots[0]["hasEditor"], true) << slots;

    EXPECT_EQ(result_of(editor(1, {{"x", 30}, {"y", 40}})), (ov::Json{{"open", true}, {"width", 480}, {"height", 320}}));
    const XWindowId window = the_window();
    ASSERT_NE(window, 0u);
    EXPECT_EQ(x_->class_hint(window), (std::pair<std::string, std::string>{kWindowClass, kWindowClass}));
    EXPECT_EQ(x_->text_property(window, "_NET_WM_NAME"), (XPropertyText{"UTF8_STRING", "Test Editor - Orvia"}));
    EXPECT_TRUE(x_->wait_size(window, 480, 320));
    const auto where = x_->geometry(window);
    ASSERT_TRUE(where);
    EXPECT_EQ(std::pair(where->x, where->y), std::pair(30, 40));
    EXPECT_TRUE(view_has_size(window, 480, 320)) << "the plug-in's window is not inside the host's";
    EXPECT_EQ(param_value(1, kClapWindowExists), 1.0);

    // A second open only answers.
    EXPECT_EQ(result_of(editor(1)), (ov::Json{{"open", true}, {"width", 480}, {"height", 320}}));
    EXPECT_EQ(x_->top_level_windows(kWindowClass), std::vector<XWindowId>{window});

    // The plug-in asks for 320 x 200: the host window follows.
    clap_action(1, 4);
    EXPECT_TRUE(x_->wait_size(window, 320, 200));
    EXPECT_TRUE(view_has_size(window, 320, 200));
    EXPECT_EQ(result_of(editor(1)), (ov::Json{{"open", true}, {"width", 320}, {"height", 200}}));

    // The user's size reaches the plug-in, which keeps to its limits (at least 200 x 150).
    x_->resize(window, 700, 500);
    EXPECT_TRUE(view_has_size(window, 700, 500));
    x_->resize(window, 150, 100);
    EXPECT_TRUE(view_has_size(window, 200, 150));

    // The close box: the host closes the plug-in's window and its own, and tells Orvia.
    x_->send_close_request(window);
    const auto closed = rig_->wait_event("editorClosed", 20000);
    ASSERT_TRUE(closed) << "no editorClosed event";
    EXPECT_EQ(*closed, (ov::Json{{"event", "editorClosed"}, {"key", 1}}));
    EXPECT_TRUE(x_->wait_window_count(kWindowClass, 0));
    EXPECT_EQ(param_value(1, kClapWindowExists), 0.0);
    EXPECT_EQ(result_of(editor(1, {{"open", false}})), (ov::Json{{"open", false}}));

    // The plug-in closes its own editor.
    EXPECT_EQ(result_of(editor(1))["open"], true);
    the_window();
    clap_action(1, 5);
    ASSERT_TRUE(rig_->wait_event("editorClosed", 20000)) << "no editorClosed event";
    EXPECT_TRUE(x_->wait_window_count(kWindowClass, 0));

    // Quitting with an editor open ends cleanly.
    EXPECT_EQ(result_of(editor(1))["open"], true);
    the_window();
    quit_and_expect_exit();
    EXPECT_TRUE(x_->wait_window_count(kWindowClass, 0));
    EXPECT_FALSE(rig_->wait_event("editorClosed", 100));
}

TEST_F(EditorHost, EditorsThatCannotOpenLeaveNoWindowBehind) {
    struct Case {
        ov::Json slot;
        bool has_editor;
        std::string error;
    };
    const Case cases[] = {
        {clap_slot(1, "org.orvia.test.editor-otherapi"), false,
         "Test Editor Other Api has no window of its own; use the parameter list"},
        {clap_slot(1, "org.orvia.test.editor-nocreate"), true, "the plugin could not create its window"},
        {clap_slot(1, "org.orvia.test.editor-noparent"), true, "the plugin could not open its window"},
        {vst3_slot(1, 5), true, "the plugin could not open its window"},
        {vst3_slot(1, 4), false, "Side Chain has no window of its own; use the parameter list"},
    };
    start_host(2);
    for (const auto& c : cases) {
        SCOPED_TRACE(ov::to_compact_json(c.slot));
        const ov::Json slots = result_of(set_rack({c.slot}));
        ASSERT_EQ(slots[0]["ok"], true) << slots;
        EXPECT_EQ(slots[0]["hasEditor"], c.has_editor);
        EXPECT_EQ(error_of(editor(1)), c.error);
        EXPECT_TRUE(x_->wait_window_count(kWindowClass, 0));
        EXPECT_EQ(result_of(editor(1, {{"open", false}})), (ov::Json{{"open", false}}));
    }
    quit_and_expect_exit();
}

TEST_F(EditorHost, Vst3ViewsSizeTheHostWindow) {
    struct Case {
        unsigned tag;
        const char* title;
        unsigned width, height;
    };
    const Case cases[] = {
        {1, "Gain Single - Orvia", 320, 200},  // its own size
        {2, "Gain Split - Orvia", 100, 60},    // reports 50 x 20
        {3, "Stereo Only - Orvia", 640, 400},  // cannot tell its size
    };
    start_host(2);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        ASSERT_EQ(result_of(set_rack({vst3_slot(1, c.tag)}))[0]["ok"], true);
        EXPECT_EQ(result_of(editor(1)), (ov::Json{{"open", true}, {"width", c.width}, {"height", c.height}}));
        const XWindowId window = the_window();
        EXPECT_EQ(x_->text_property(window, "WM_NAME"), (XPropertyText{"STRING", c.title}));
        EXPECT_TRUE(x_->wait_size(window, c.width, c.height));
        EXPECT_TRUE(x_->wait_children(window, 1)) << "the view's window is not inside the host's";
        result_of(set_rack({}));
        EXPECT_TRUE(x_->wait_window_count(kWindowClass, 0));
    }

    // The view asks for 200 + 600 v by 100 + 400 v through "View Size" (id 6); the user's
    // size reaches the view.
    result_of(set_rack({vst3_slot(1, 1)}));
    result_of(editor(1));
    const XWindowId window = the_window();
    result_of({{"cmd", "setParam"}, {"key", 1}, {"param", 6}, {"value", 0.5}});
    EXPECT_TRUE(x_->wait_size(window, 500, 300));
    EXPECT_EQ(result_of(editor(1)), (ov::Json{{"open", true}, {"width", 500}, {"height", 300}}));
    x_->resize(window, 610, 410);
    EXPECT_TRUE(view_has_size(window, 610, 410));
    quit_and_expect_exit();
    // Editors closed by Orvia's own commands (a rack without the slot, quit) are not reported.
    for (const auto& event : rig_->events()) EXPECT_NE(event.value("event", ""), "editorClosed") << event;
}

TEST_F(EditorHost, WithoutADisplayEditorsFailAndTheRackWorksOn) {
    start_host(2, false);
    ASSERT_EQ(result_of(set_rack({clap_slot(1, "org.orvia.test.editor")}))[0]["hasEditor"], true);
    EXPECT_EQ(error_of(editor(1)), "could not create the plugin window (no X display: DISPLAY is not set)");
    EXPECT_EQ(param_value(1, kClapWindowExists), 0.0);
    result_of(set_rack({}));
    expect_audio(checked_blocks({{1, 0}, {0, 1}}));
    quit_and_expect_exit();
}

// ---- views on the host's loop (tests/plugins/loop_report.h) ----

struct LoopEvent {
    std::string view;
    std::string event;
    std::string thread;
    long long us = 0;
};

std::vector<LoopEvent> read_loop_log(const std::string& path) {
    std::vector<LoopEvent> events;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        LoopEvent event;
        if (fields >> event.view >> event.event >> event.thread >> event.us) events.push_back(event);
    }
    return events;
}

std::string loop_view_file() { return std::string(OV_BINARY_DIR) + "/test-plugins/vst3/OvFxLoopView.vst3"; }
std::string loop_gui_file() { return std::string(OV_BINARY_DIR) + "/test-plugins/clap/ov-test-loop-gui.clap"; }

ov::Json loop_view_slot(std::uint32_t key, unsigned tag) {
    ov::Json slot = vst3_slot(key, tag);
    slot["path"] = loop_view_file();
    return slot;
}

ov::Json loop_gui_slot(std::uint32_t key, const std::string& id) {
    return {{"key", key}, {"kind", "clap"}, {"path", loop_gui_file()}, {"uid", id}};
}

// Four views that refuse to attach without the host's loop: each redraws from a 16 ms timer
// and watches its own X connection and a pipe. The forgetful ones leave their timers and
// watches for the host to remove. Each editor ends another way: the close box, the close
// command, a rack without the slot.
TEST_F(EditorHost, LinuxViewsRunTheirTimersAndWatchesOnTheHostsLoop) {
    for (const auto& file : {loop_view_file(), loop_gui_file()}) {
        if (!std::filesystem::exists(file)) GTEST_SKIP() << file << " is not built";
    }
    const std::string log = (std::filesystem::temp_directory_path() /
                             ("ov-loop-views-" + std::to_string(::getpid()) + ".log"))
                                .string();
    std::filesystem::remove(log);
    start_host(2, true, {{"OV_TEST_LOOP_LOG", log}});

    struct Case {
        ov::Json slot;
        std::string view;
        unsigned width, height;
    };
    const Case cases[] = {
        {loop_view_slot(1, 0x21), "vst3", 300, 180},
        {loop_view_slot(2, 0x22), "vst3-forgetful", 300, 180},
        {loop_gui_slot(3, "org.orvia.test.loop-gui"), "clap", 360, 240},
        {loop_gui_slot(4, "org.orvia.test.loop-gui-forgetful"), "clap-forgetful", 360, 240},
    };
    std::vector<ov::Json> slots;
    for (const auto& c : cases) slots.push_back(c.slot);
    const ov::Json loaded = result_of(set_rack(slots));
    for (const auto& slot : loaded) ASSERT_EQ(slot["ok"], true) << loaded;
    // Side by side: a window under another gets no expose events.
    for (const auto& c : cases) {
        SCOPED_TRACE(c.view);
        const int column = c.slot["key"].get<int>() - 1;
        EXPECT_EQ(result_of(editor(c.slot["key"], {{"x", 400 * (column % 2)}, {"y", 300 * (column / 2)}})),
                  (ov::Json{{"open", true}, {"width", c.width}, {"height", c.height}}));
    }
    ASSERT_TRUE(x_->wait_window_count(kWindowClass, 4));
    ovstandin::BlockPlan plan;
    plan.count = 10;
    rig_->run_blocks(plan);  // the CLAP plug-ins try to register from the audio thread
    std::this_thread::sleep_for(std::chrono::milliseconds(600));

    // The close box of the first, the close command for the second and the third, and a
    // rack without the fourth.
    std::vector<XWindowId> windows = x_->top_level_windows(kWindowClass);
    XWindowId first = 0;
    for (const XWindowId window : windows) {
        const auto title = x_->text_property(window, "WM_NAME");
        if (title && title->bytes == "Loop View - Orvia") first = window;
    }
    ASSERT_NE(first, 0u);
    x_->send_close_request(first);
    ASSERT_TRUE(rig_->wait_event("editorClosed", 20000)) << "no editorClosed event";
    EXPECT_EQ(result_of(editor(2, {{"open", false}})), (ov::Json{{"open", false}}));
    EXPECT_EQ(result_of(editor(3, {{"open", false}})), (ov::Json{{"open", false}}));
    result_of(set_rack({cases[0].slot, cases[1].slot, cases[2].slot}));
    EXPECT_TRUE(x_->wait_window_count(kWindowClass, 0));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // time for late calls to show
    quit_and_expect_exit();

    const auto events = read_loop_log(log);
    std::filesystem::remove(log);
    ASSERT_FALSE(events.empty()) << "the views wrote nothing to " << log;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.view);
        std::vector<long long> timer_times;
        std::map<std::string, int> counts;
        long long ended = 0;
        for (const auto& e : events) {
            if (e.view != c.view) continue;
            ++counts[e.event];
            if (e.event == "removed" || e.event == "destroyed") ended = e.us;
            if (e.event == "timer" || e.event == "x-expose" || e.event == "pipe") {
                EXPECT_EQ(e.thread, "main") << e.event;
                EXPECT_EQ(ended, 0) << e.event << " after the view was gone";
            }
            if (e.event == "timer") timer_times.push_back(e.us);
        }
        EXPECT_EQ(counts["refused"], 0);
        EXPECT_EQ(counts["late-timer"] + counts["late-fd"], 0) << "callbacks after the host let the view go";
        EXPECT_NE(ended, 0) << "the view was never taken down";
        EXPECT_GE(counts["x-expose"], 1) << "its X connection was not watched";
        EXPECT_GE(counts["pipe"], 1) << "its pipe was not watched";
        ASSERT_GE(timer_times.size(), 20u);
        // Periods of 16 ms between the first and the last call: the 20 ms tick alone would
        // make it 80 % of that.
        const double span_ms = (timer_times.back() - timer_times.front()) / 1000.0;
        const double rate = (timer_times.size() - 1) * 16.0 / span_ms;
        std::cout << c.view << ": " << timer_times.size() << " timer calls in " << span_ms << " ms, "
                  << span_ms / (timer_times.size() - 1) << " ms apart\n";
        EXPECT_GE(rate, 0.85) << "a 16 ms timer waited for the 20 ms tick";
        EXPECT_LE(rate, 1.05) << "a 16 ms timer ran too often";
        if (c.view.rfind("vst3", 0) == 0) {
            EXPECT_EQ(counts["other-thread-refused"], 1);
            // Views made only to ask what they support report it too.
            EXPECT_GE(counts["handlers-free"], 1);
            EXPECT_EQ(counts["handlers-held"], 0) << "the host still held the view's handlers";
        } else {
            EXPECT_EQ(counts["audio-thread-refused"], 1);
        }
        EXPECT_EQ(counts["other-thread-accepted"] + counts["audio-thread-accepted"], 0);
    }
}

}  // namespace
}  // namespace ovtest
