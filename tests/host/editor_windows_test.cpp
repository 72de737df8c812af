// The rack's editor windows as real windows on an X server of the test's own, looked at and
// acted on from outside the way a user and a window manager would; the plug-ins are fakes.
#include "editor.h"
#include "main_loop.h"
#include "platform/stdio.h"
#include "rack_rig.h"
#include "xvfb_server.h"

#include <gtest/gtest.h>

#include <thread>

namespace ovhost {
namespace {

using ovtest::XWindowId;
using rig::slot_json;

constexpr char kWindowClass[] = "OrviaPluginEditor";
using Size = std::pair<std::uint32_t, std::uint32_t>;

XWindowId x_id(WindowHandle window) { return static_cast<XWindowId>(reinterpret_cast<std::uintptr_t>(window)); }

// Passes everything on and notes the parent window each open_editor got.
class ParentRecorder final : public PluginInstance {
public:
    ParentRecorder(std::unique_ptr<PluginInstance> inner, std::vector<WindowHandle>& parents)
        : inner_(std::move(inner)), parents_(parents) {}
    std::vector<ParamInfo> params() override { return inner_->params(); }
    Outcome<ParamInfo> set_param(std::uint32_t id, double value) override { return inner_->set_param(id, value); }
    Outcome<std::vector<std::uint8_t>> save_state() override { return inner_->save_state(); }
    Status load_state(const std::vector<std::uint8_t>& bytes) override { return inner_->load_state(bytes); }
    std::uint32_t latency() override { return inner_->latency(); }
    bool has_editor() override { return inner_->has_editor(); }
    Outcome<EditorSize> open_editor(WindowHandle parent) override {
        parents_.push_back(parent);
        return inner_->open_editor(parent);
    }
    void close_editor() override { inner_->close_editor(); }
    void editor_resized(std::uint32_t width, std::uint32_t height) override { inner_->editor_resized(width, height); }
    void poll(std::vector<Notice>& out) override { inner_->poll(out); }
    Status reactivate() override { return inner_->reactivate(); }

private:
    std::unique_ptr<PluginInstance> inner_;
    std::vector<WindowHandle>& parents_;
};

// A rack of fake plug-ins (as in the rack tests) whose editor windows are the real ones.
class RealWindowsRig {
public:
    RealWindowsRig() : catalog(view), windows(make_editor_windows()) {
        view.set_magic(layout::kMagic);
        view.set_version(layout::kLayoutVersion);
        view.set_channels(1);
        auto ends = make_chain_channels();
        audio = std::thread([this, inbox = std::move(ends.audio_inbox), returns = std::move(ends.audio_returns)]() mutable {
            run_audio_thread(view, event, std::move(inbox), std::move(returns));
        });
        const LineWriter writer = [this](const ov::Json& line) { lines.push_back(line); };
        rack = std::make_unique<Rack>(RackContext{
            .mapping = view,
            .event = &event,
            .to_audio = std::move(ends.to_audio),
            .returned = std::move(ends.returned),
            .channels = 1,
            .loader =
                [this, fakes = catalog.loader()](const SlotSpec& wanted, std::uint32_t channels) {
                    auto plugin = fakes(wanted, channels);
                    if (plugin) plugin->instance = std::make_unique<ParentRecorder>(std::move(plugin->instance), parents);
                    return plugin;
                },
            .windows = windows.get(),
            .events = writer,
        });
        rack->hand_over();
        protocol = std::make_unique<RackProtocol>(*rack, writer, 4242);
        session = std::make_unique<RackSession>(*rack, *protocol, writer);
    }
    ~RealWindowsRig() {
        rack->shut_down();
        audio.join();
    }

    ov::Json request(const ov::Json& value) {
        const auto before = lines.size();
        protocol->handle_line("OVP " + ov::to_compact_json(value));
        return lines.size() > before ? lines.back() : ov::Json();
    }
    ov::Json open_editor(std::uint32_t key, ov::Json extra = ov::Json::object()) {
        ov::Json command{{"cmd", "editor"}, {"key", key}};
        for (auto& [name, value] : extra.items()) command[name] = value;
        return request(command);
    }
    std::vector<ov::Json> events(const std::string& name) const {
        std::vector<ov::Json> found;
        for (const auto& line : lines) {
            if (line.is_object() && line.value("event", "") == name) found.push_back(line);
        }
        return found;
    }
    // Runs the main loop's periodic work until `condition` holds (the window events arrive
    // from the X server whenever it sends them).
    template <class Condition>
    bool tick_until(Condition&& condition, int timeout_ms = 20000) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        for (;;) {
            session->periodic_work();
            if (condition()) return true;
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    XWindowId window_of(std::uint32_t key) { return x_id(rack->find(key)->editor.window); }

    alignas(64) std::array<std::uint8_t, layout::kMappingSize> memory{};
    AudioMapping view{memory.data()};
    rig::LocalEvent event;
    rig::FakeCatalog catalog;
    std::unique_ptr<EditorWindows> windows;
    std::vector<WindowHandle> parents;
    std::vector<ov::Json> lines;
    std::thread audio;
    std::unique_ptr<Rack> rack;
    std::unique_ptr<RackProtocol> protocol;
    std::unique_ptr<RackSession> session;
};

class EditorWindowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why_not;
        server = ovtest::shared_xvfb(why_not);
        if (!server) GTEST_SKIP() << "no X server for the editor windows: " << why_not;
        display = std::make_unique<ovtest::ScopedDisplay>(server->display());
        x = ovtest::XTestClient::open(server->display());
        ASSERT_TRUE(x) << "cannot open " << server->display();
        ASSERT_TRUE(x->wait_window_count(kWindowClass, 0)) << "editor windows of an earlier test are left";
        rig = std::make_unique<RealWindowsRig>();
    }
    void TearDown() override {
        rig.reset();
        // Every window goes with the rack.
        if (x) {
            EXPECT_TRUE(x->wait_window_count(kWindowClass, 0));
        }
    }

    // A fake plug-in with an editor whose view has the size `view`.
    rig::FakeState& define_plugin(const std::string& uid, Size view = {300, 200}, std::string name = "Fake") {
        auto& plugin = rig->catalog.define(uid);
        plugin.has_editor = true;
        plugin.editor_size = EditorSize{view.first, view.second};
        plugin.name = std::move(name);
        return plugin;
    }
    void set_rack(std::vector<ov::Json> slots) {
        ASSERT_EQ(rig->request({{"cmd", "setRack"}, {"slots", ov::Json(slots)}})["ok"], true);
    }
    // The user resizes the window; returns once the rack has passed that size on.
    void user_resize(std::uint32_t key, Size size) {
        auto state = rig->catalog.latest(rig->rack->find(key)->uid);
        const auto calls = state->resized.size();
        x->resize(rig->window_of(key), size.first, size.second);
        ASSERT_TRUE(rig->tick_until([&] { return state->resized.size() > calls; }))
            << "the user's size " << size.first << " x " << size.second << " was not passed on";
    }

    ovtest::XvfbServer* server = nullptr;
    std::unique_ptr<ovtest::ScopedDisplay> display;
    std::unique_ptr<ovtest::XTestClient> x;
    std::unique_ptr<RealWindowsRig> rig;
};

TEST_F(EditorWindowsTest, OpeningShowsATitledFixedSizeWindowOfTheViewsSizeWithThePlugInInside) {
    const XWindowId owner = x->create_window(10, 10, 200, 100);
    struct Case {
        const char* name;
        Size view;
        ov::Json placement;
        ovtest::XPropertyText wm_name;  // as stored for the title
        bool placed;
    };
    const Case cases[] = {
        {"Fake", {300, 200}, ov::Json::object(), {"STRING", "Fake - Orvia"}, false},
        {"F\xC3\xA4ke", {100, 60}, {{"owner", owner}, {"x", 40}, {"y", 50}}, {"STRING", "F\xE4ke - Orvia"}, true},
        {"Fake \xE2\x9C\x93", {1000, 700}, {{"x", 40}}, {"UTF8_STRING", "Fake \xE2\x9C\x93 - Orvia"}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        define_plugin("p", c.view, c.name);
        set_rack({slot_json(1, "p")});
        const auto reply = rig->open_editor(1, c.placement);
        EXPECT_EQ(reply["result"], (ov::Json{{"open", true}, {"width", c.view.first}, {"height", c.view.second}}))
            << ov::to_compact_json(reply);
        ASSERT_TRUE(x->wait_window_count(kWindowClass, 1));
        const XWindowId window = x->top_level_windows(kWindowClass).front();
        EXPECT_EQ(window, rig->window_of(1));
        EXPECT_TRUE(x->wait_size(window, c.view.first, c.view.second));
        EXPECT_TRUE(x->is_mapped(window));
        EXPECT_EQ(x->class_hint(window), (std::pair<std::string, std::string>{kWindowClass, kWindowClass}));
        EXPECT_EQ(x->text_property(window, "WM_NAME"), c.wm_name);
        EXPECT_EQ(x->text_property(window, "_NET_WM_NAME"),
                  (ovtest::XPropertyText{"UTF8_STRING", std::string(c.name) + " - Orvia"}));
        const auto limits = x->size_limits(window);
        const std::pair<int, int> fixed{static_cast<int>(c.view.first), static_cast<int>(c.view.second)};
        EXPECT_EQ(limits.min, fixed);
        EXPECT_EQ(limits.max, fixed);
        EXPECT_EQ(limits.position_given, c.placed);
        EXPECT_EQ(x->protocols(window), std::vector<std::string>{"WM_DELETE_WINDOW"});
        if (c.placement.contains("owner")) {
            EXPECT_EQ(x->transient_for(window), owner);
        } else {
            EXPECT_FALSE(x->transient_for(window));
        }
        if (c.placed) {
            const auto where = x->geometry(window);
            ASSERT_TRUE(where);
            EXPECT_EQ(std::pair(where->x, where->y), std::pair(40, 50));
        }
        // The plug-in embedded its view in this very window.
        ASSERT_EQ(rig->parents.size(), 1u);
        EXPECT_EQ(x_id(rig->parents.back()), window);
        rig->parents.clear();
        set_rack({});
        ASSERT_TRUE(x->wait_window_count(kWindowClass, 0));
    }
    x->destroy_window(owner);
}

TEST_F(EditorWindowsTest, OpeningAgainAnswersTheStoredSizeAndOnlyBringsTheWindowToTheFront) {
    define_plugin("p");
    set_rack({slot_json(1, "p"), slot_json(2, "p")});
    ASSERT_EQ(rig->open_editor(1)["ok"], true);
    ASSERT_EQ(rig->open_editor(2)["ok"], true);
    const XWindowId first = rig->window_of(1);
    const XWindowId second = rig->window_of(2);
    ASSERT_TRUE(x->wait_window_count(kWindowClass, 2));
    EXPECT_EQ(x->top_level_windows(kWindowClass), (std::vector<XWindowId>{first, second}));  // bottom to top

    const auto again = rig->open_editor(1);
    EXPECT_EQ(again["result"], (ov::Json{{"open", true}, {"width", 300}, {"height", 200}}));
    EXPECT_EQ(rig->window_of(1), first);
    EXPECT_EQ(rig->parents.size(), 2u);  // no second embedding
    const auto raised = std::vector<XWindowId>{second, first};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (x->top_level_windows(kWindowClass) != raised && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_EQ(x->top_level_windows(kWindowClass), raised);
}

TEST_F(EditorWindowsTest, ClosingByCommandClosesTheViewThenTheWindowWithoutAnEvent) {
    define_plugin("p");
    set_rack({slot_json(1, "p")});
    ASSERT_EQ(rig->open_editor(1)["ok"], true);
    ASSERT_TRUE(x->wait_window_count(kWindowClass, 1));
    auto state = rig->catalog.latest("p");

    for (int round = 0; round < 2; ++round) {  // the second close finds nothing open
        EXPECT_EQ(rig->open_editor(1, {{"open", false}})["result"], (ov::Json{{"open", false}}));
        EXPECT_EQ(state->close_editor_calls, 1);
        EXPECT_TRUE(x->wait_window_count(kWindowClass, 0));
    }
    rig->tick_until([] { return true; });
    EXPECT_TRUE(rig->events("editorClosed").empty());
    // It opens again in a new window.
    EXPECT_EQ(rig->open_editor(1)["ok"], true);
    EXPECT_TRUE(x->wait_window_count(kWindowClass, 1));
}

TEST_F(EditorWindowsTest, TheCloseBoxClosesTheEditorOnTheNextTickAndReportsIt) {
    auto& plugin = define_plugin("p");
    plugin.params = {ParamInfo{5, "Gain", "", 0.25, "0.25", 0, 0.5, true, false}};
    set_rack({slot_json(1, "p")});
    ASSERT_EQ(rig->open_editor(1)["ok"], true);
    const XWindowId window = rig->window_of(1);
    auto state = rig->catalog.latest("p");

    x->send_close_request(window);
    // Only the main loop's tick acts on it; until then the window stays.
    EXPECT_TRUE(x->exists(window));
    EXPECT_TRUE(rig->rack->find(1)->editor.open);
    ASSERT_TRUE(rig->tick_until([&] { return !rig->events("editorClosed").empty(); }));
    EXPECT_EQ(rig->events("editorClosed"), (std::vector<ov::Json>{{{"event", "editorClosed"}, {"key", 1}}}));
    EXPECT_EQ(state->close_editor_calls, 1);
    EXPECT_FALSE(rig->rack->find(1)->editor.open);
    EXPECT_TRUE(x->wait_window_count(kWindowClass, 0));
    // The plug-in itself is untouched.
    EXPECT_EQ(state->load_state_calls, 0);
    EXPECT_EQ(rig->request({{"cmd", "params"}, {"key", 1}})["result"][0]["value"], 0.25);
    rig->tick_until([] { return true; });
    EXPECT_EQ(rig->events("editorClosed").size(), 1u);
}

TEST_F(EditorWindowsTest, WindowAndViewFollowEachOthersSizeWithoutEchoes) {
    define_plugin("p");
    set_rack({slot_json(1, "p")});
    ASSERT_EQ(rig->open_editor(1)["ok"], true);
    const XWindowId window = rig->window_of(1);
    auto state = rig->catalog.latest("p");
    ASSERT_TRUE(x->wait_size(window, 300, 200));

    // The plug-in asks for another size: the window follows, the plug-in is not told back.
    state->polls.push_back({notice::EditorResize{500, 300}});
    rig->session->periodic_work();
    EXPECT_TRUE(x->wait_size(window, 500, 300));
    EXPECT_EQ(x->size_limits(window).max, (std::pair{500, 300}));
    EXPECT_EQ(rig->open_editor(1)["result"], (ov::Json{{"open", true}, {"width", 500}, {"height", 300}}));

    // The user's sizes reach the plug-in once each; the earlier host sizes never do.
    user_resize(1, {520, 310});
    user_resize(1, {530, 320});
    EXPECT_EQ(state->resized, (std::vector<Size>{{520, 310}, {530, 320}}));
    EXPECT_EQ(rig->open_editor(1)["result"], (ov::Json{{"open", true}, {"width", 530}, {"height", 320}}));

    // A minimised window reports 0 x 0: not passed on.
    x->send_configure_notify(window, 0, 0);
    user_resize(1, {540, 330});
    EXPECT_EQ(state->resized, (std::vector<Size>{{520, 310}, {530, 320}, {540, 330}}));
}

TEST_F(EditorWindowsTest, ThePlugInClosingItsEditorDestroysTheWindowOnly) {
    define_plugin("p");
    set_rack({slot_json(1, "p")});
    ASSERT_EQ(rig->open_editor(1)["ok"], true);
    ASSERT_TRUE(x->wait_window_count(kWindowClass, 1));
    auto state = rig->catalog.latest("p");
    state->polls.push_back({notice::EditorClosed{}});
    rig->session->periodic_work();
    EXPECT_TRUE(x->wait_window_count(kWindowClass, 0));
    EXPECT_EQ(state->close_editor_calls, 0);
    EXPECT_EQ(rig->events("editorClosed"), (std::vector<ov::Json>{{{"event", "editorClosed"}, {"key", 1}}}));
}

TEST_F(EditorWindowsTest, RemovingTheSlotOrShuttingDownClosesOpenEditorsWithoutAnEvent) {
    define_plugin("p");
    set_rack({slot_json(1, "p"), slot_json(2, "p")});
    ASSERT_EQ(rig->open_editor(1)["ok"], true);
    ASSERT_EQ(rig->open_editor(2)["ok"], true);
    const auto slot1 = rig->catalog.nth("p", 0);
    const auto slot2 = rig->catalog.nth("p", 1);
    ASSERT_TRUE(x->wait_window_count(kWindowClass, 2));

    set_rack({slot_json(2, "p")});
    EXPECT_EQ(slot1->close_editor_calls, 1);
    EXPECT_FALSE(slot1->instance_alive);
    EXPECT_TRUE(x->wait_window_count(kWindowClass, 1));
    EXPECT_EQ(x->top_level_windows(kWindowClass), std::vector<XWindowId>{rig->window_of(2)});

    rig->rack->shut_down();
    EXPECT_EQ(slot2->close_editor_calls, 1);
    EXPECT_TRUE(x->wait_window_count(kWindowClass, 0));
    EXPECT_TRUE(rig->events("editorClosed").empty());
}

TEST_F(EditorWindowsTest, APlugInThatCannotEmbedLeavesNoWindowBehind) {
    auto& plugin = define_plugin("p");
    plugin.editor_error = "the plugin could not open its window";
    set_rack({slot_json(1, "p")});
    const auto reply = rig->open_editor(1);
    EXPECT_EQ(reply["error"], "the plugin could not open its window");
    ASSERT_EQ(rig->parents.size(), 1u);  // it was given a window
    EXPECT_FALSE(rig->rack->find(1)->editor.open);
    EXPECT_TRUE(x->wait_window_count(kWindowClass, 0));
    EXPECT_FALSE(x->exists(x_id(rig->parents.front())));
}

TEST_F(EditorWindowsTest, AnOwnerThatDoesNotExistFailsTheOpeningOnly) {
    define_plugin("p");
    set_rack({slot_json(1, "p")});
    const auto reply = rig->open_editor(1, {{"owner", 0x3ffffff0}});
    EXPECT_EQ(reply["error"], "could not create the plugin window (BadWindow (invalid Window parameter))");
    EXPECT_TRUE(rig->parents.empty());
    EXPECT_EQ(rig->open_editor(1)["ok"], true);
    EXPECT_TRUE(x->wait_window_count(kWindowClass, 1));
}

TEST_F(EditorWindowsTest, WithoutAnXDisplayOpeningFailsAndTheRackCarriesOn) {
    struct Case {
        std::optional<std::string> display;
        std::string error;
    };
    const Case cases[] = {
        {std::nullopt, "could not create the plugin window (no X display: DISPLAY is not set)"},
        {"", "could not create the plugin window (no X display: DISPLAY is not set)"},
        {":987", "could not create the plugin window (cannot open the X display :987)"},
    };
    for (const auto& c : cases) {
        ovtest::ScopedDisplay no_display(c.display);
        rig = std::make_unique<RealWindowsRig>();
        define_plugin("p");
        set_rack({slot_json(1, "p")});
        EXPECT_EQ(rig->open_editor(1)["error"], c.error);
        EXPECT_TRUE(rig->parents.empty());
        EXPECT_EQ(rig->request({{"cmd", "ping"}})["ok"], true);
        rig->tick_until([] { return true; });
    }
}

TEST_F(EditorWindowsTest, AnXServerThatGoesAwayClosesTheEditorsNotTheHost) {
    ovplat::prepare_standard_streams();  // as the host does at start: a closed socket is no signal
    std::string why_not;
    auto own_server = ovtest::XvfbServer::start(why_not);
    ASSERT_TRUE(own_server) << why_not;
    ovtest::ScopedDisplay own_display(own_server->display());
    rig = std::make_unique<RealWindowsRig>();
    define_plugin("p");
    set_rack({slot_json(1, "p"), slot_json(2, "p")});
    ASSERT_EQ(rig->open_editor(1)["ok"], true);

    own_server->stop();
    // The window is gone: the editor closes as if the user had closed it.
    ASSERT_TRUE(rig->tick_until([&] { return !rig->events("editorClosed").empty(); }));
    EXPECT_EQ(rig->events("editorClosed"), (std::vector<ov::Json>{{{"event", "editorClosed"}, {"key", 1}}}));
    EXPECT_EQ(rig->catalog.nth("p", 0)->close_editor_calls, 1);
    EXPECT_FALSE(rig->rack->find(1)->editor.open);
    const auto reply = rig->open_editor(2);
    EXPECT_EQ(reply["ok"], false);
    EXPECT_EQ(reply.value("error", "").rfind("could not create the plugin window (", 0), 0u) << reply;
    EXPECT_EQ(rig->open_editor(1, {{"open", false}})["result"], (ov::Json{{"open", false}}));
    EXPECT_EQ(rig->request({{"cmd", "ping"}})["ok"], true);

    // A server that is there again is used again.
    auto next_server = ovtest::XvfbServer::start(why_not);
    ASSERT_TRUE(next_server) << why_not;
    ovtest::ScopedDisplay next_display(next_server->display());
    EXPECT_EQ(rig->open_editor(2)["ok"], true);
    auto next_x = ovtest::XTestClient::open(next_server->display());
    ASSERT_TRUE(next_x);
    EXPECT_TRUE(next_x->wait_window_count(kWindowClass, 1));
    rig.reset();
}

}  // namespace
}  // namespace ovhost
