// The real ov-pluginhost opening the editor of the test plug-in made with DPF on an X server
// of the test's own: the framework's views ask the host for its run loop (VST3) and timers
// (CLAP) and refuse to open without them.
#include <thread>

#include "dpf_cases.h"
#include "host_fixture.h"
#include "xvfb_server.h"

namespace ovtest {
namespace {

namespace d = ovtest::dpf;

constexpr char kWindowClass[] = "OrviaPluginEditor";

d::Place native_place() {
    return {std::string(OV_BINARY_DIR) + "/test-plugins/vst3", std::string(OV_BINARY_DIR) + "/test-plugins/clap", '/'};
}

class DpfEditor : public RackHost, public ::testing::WithParamInterface<d::Format> {
protected:
    void SetUp() override {
        RackHost::SetUp();
        if (IsSkipped()) return;
        if (!std::filesystem::exists(native_place().path(GetParam(), d::kEditor.file)))
            GTEST_SKIP() << "the DPF editor test plug-in is not built (it needs OpenGL)";
        std::string why_not;
        server_ = shared_xvfb(why_not);
        if (!server_) GTEST_SKIP() << "no X server for the editor windows: " << why_not;
        x_ = XTestClient::open(server_->display());
        ASSERT_TRUE(x_) << "cannot open " << server_->display();
        ASSERT_TRUE(x_->wait_window_count(kWindowClass, 0)) << "editor windows of an earlier test are left";

        ovstandin::RigOptions options;
        options.host_program = host_program();
        options.channels_arg = "2";
        options.mapping_channels = 2;
        options.environment.set.emplace_back("DISPLAY", server_->display());
        std::string error;
        rig_ = ovstandin::Rig::start(options, error);
        ASSERT_TRUE(rig_) << error;
        ASSERT_TRUE(rig_->wait_event("ready", 30000)) << "no ready event";
    }

    // Waits until the plug-in's own window inside `window` has the size.
    bool view_has_size(XWindowId window, unsigned width, unsigned height) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            const auto inside = x_->children(window);
            if (inside.size() == 1) {
                const auto size = x_->geometry(inside.front());
                if (size && size->width == width && size->height == height) return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    XvfbServer* server_ = nullptr;
    std::unique_ptr<XTestClient> x_;
};

TEST_P(DpfEditor, OpensAtItsSizeAndClosesCleanly) {
    const ov::Json slots = result_of(set_rack({d::slot(1, native_place(), GetParam(), d::kEditor)}));
    ASSERT_EQ(slots[0]["hasEditor"], true) << slots;
    ASSERT_EQ(result_of({{"cmd", "editor"}, {"key", 1}}), (ov::Json{{"open", true}, {"width", 360}, {"height", 240}}));
    ASSERT_TRUE(x_->wait_window_count(kWindowClass, 1));
    const XWindowId window = x_->top_level_windows(kWindowClass).front();
    EXPECT_TRUE(x_->wait_size(window, 360, 240));
    EXPECT_TRUE(view_has_size(window, 360, 240)) << "the plug-in's window is not inside the host's";

    // With the editor open, a value set by the host reaches the audio.
    EXPECT_EQ(result_of({{"cmd", "setParam"}, {"key", 1}, {"param", d::editor_gain_param(GetParam())}, {"value", 1.0}})["value"], 1.0);
    expect_audio(checked_blocks({{2, 0}, {0, 2}}));

    EXPECT_EQ(result_of({{"cmd", "editor"}, {"key", 1}, {"open", false}}), (ov::Json{{"open", false}}));
    EXPECT_TRUE(x_->wait_window_count(kWindowClass, 0));
    // Opened again, then left open for the teardown.
    EXPECT_EQ(result_of({{"cmd", "editor"}, {"key", 1}})["open"], true);
    quit_and_expect_exit();
    EXPECT_EQ(d::joined(d::framework_complaints(rig_->error_output(5000))), "");
}

INSTANTIATE_TEST_SUITE_P(Formats, DpfEditor, ::testing::Values(d::Format::vst3, d::Format::clap),
                         [](const auto& info) { return std::string(d::kind_of(info.param)); });

}  // namespace
}  // namespace ovtest
