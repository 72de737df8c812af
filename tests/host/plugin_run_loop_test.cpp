// The host's loop as plug-in views see it: the VST3 frame's IRunLoop and the CLAP host's
// timer and descriptor support, with their handlers held and released, callbacks on the main
// thread, unregistering from inside callbacks, teardown of what a view forgot, and refusals.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "clap/host.h"
#include "main_loop_helpers.h"
#include "platform/main_loop.h"
#include "vst3/objects.h"

namespace ovhost {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

using ovtest::make_loop;
using ovtest::Pipe;
using ovtest::run_for;

constexpr milliseconds kPatience(5000);  // for what must happen, however busy the machine

// ---- VST3 ----

using vst3::IEventHandler;
using vst3::IRunLoop;
using vst3::ITimerHandler;
using vst3::kResultFalse;
using vst3::kResultOk;
using vst3::PlugFrame;
using vst3::Ref;

// A plug-in's handler of both kinds that counts its calls and references.
class Handler final : public IEventHandler, public ITimerHandler {
public:
    explicit Handler(std::atomic<bool>* deleted = nullptr) : deleted_(deleted) {}

    vst3::tresult queryInterface(const char*, void**) override { return vst3::kNoInterface; }
    std::uint32_t addRef() override { return ++refs; }
    std::uint32_t release() override {
        const std::uint32_t left = --refs;
        if (left == 0) delete this;
        return left;
    }
    void onFDIsSet(int fd) override {
        fds.push_back(fd);
        if (std::this_thread::get_id() != main) off_main = true;
        if (on_fd) on_fd(fd);
    }
    void onTimer() override {
        ++timers;
        if (std::this_thread::get_id() != main) off_main = true;
        if (on_timer) on_timer();
    }

    std::atomic<std::uint32_t> refs{1};
    std::vector<int> fds;
    int timers = 0;
    bool off_main = false;
    std::thread::id main = std::this_thread::get_id();
    std::function<void(int)> on_fd;
    std::function<void()> on_timer;

private:
    ~Handler() {
        if (deleted_ != nullptr) *deleted_ = true;
    }
    std::atomic<bool>* deleted_;
};

Ref<IRunLoop> run_loop_of(PlugFrame* frame) {
    return vst3::query<IRunLoop>(static_cast<vst3::IPlugFrame*>(frame), vst3::kIRunLoopIid);
}

TEST(Vst3RunLoop, TheFrameAnswersIRunLoopWhereViewsUseTheHostsLoop) {
    Ref<PlugFrame> frame(new PlugFrame());
    EXPECT_EQ(static_cast<bool>(run_loop_of(frame.get())), ovplat::kLoopServesPluginViews);
}

TEST(Vst3RunLoop, TimersAndWatchesRunOnTheMainThreadWhileTheFrameHoldsTheirHandlers) {
    if (!ovplat::kLoopServesPluginViews) GTEST_SKIP() << "views have their own loop here";
    auto loop = make_loop();
    ASSERT_TRUE(loop);
    Ref<PlugFrame> frame(new PlugFrame());
    Ref<IRunLoop> run_loop = run_loop_of(frame.get());
    ASSERT_TRUE(run_loop);
    Ref<Handler> handler(new Handler());
    Pipe first, second;
    handler->on_fd = [&](int fd) { (fd == first.read_end ? first : second).drain(); };

    ASSERT_EQ(run_loop->registerTimer(handler.get(), 8), kResultOk);
    ASSERT_EQ(run_loop->registerEventHandler(handler.get(), first.read_end), kResultOk);
    ASSERT_EQ(run_loop->registerEventHandler(handler.get(), second.read_end), kResultOk);
    EXPECT_EQ(run_loop->registerEventHandler(handler.get(), second.read_end), kResultOk) << "already watched";
    EXPECT_EQ(handler->refs, 4u) << "one reference per registration";
    EXPECT_EQ(frame->registrations(), 3u);

    first.poke();
    second.poke();
    run_for(*loop, kPatience, [&] { return handler->timers >= 5 && handler->fds.size() >= 2; });
    EXPECT_GE(handler->timers, 5);
    EXPECT_EQ(handler->fds, (std::vector<int>{first.read_end, second.read_end}));
    EXPECT_FALSE(handler->off_main);

    // One call removes every descriptor of the handler.
    EXPECT_EQ(run_loop->unregisterEventHandler(handler.get()), kResultOk);
    EXPECT_EQ(handler->refs, 2u);
    first.poke();
    run_for(*loop, milliseconds(30));
    EXPECT_EQ(handler->fds.size(), 2u);
    EXPECT_EQ(run_loop->unregisterTimer(handler.get()), kResultOk);
    EXPECT_EQ(handler->refs, 1u);
    const int timers = handler->timers;
    run_for(*loop, milliseconds(30));
    EXPECT_EQ(handler->timers, timers);
    EXPECT_EQ(run_loop->unregisterTimer(handler.get()), kResultFalse) << "nothing left to remove";
    EXPECT_EQ(run_loop->registerTimer(nullptr, 8), vst3::kInvalidArgument);
    EXPECT_EQ(run_loop->registerEventHandler(handler.get(), -1), vst3::kInvalidArgument);
}

// The frame's reference may be the last one: the handler lives until its callback returns.
TEST(Vst3RunLoop, AHandlerMayUnregisterItselfFromItsOwnCallback) {
    if (!ovplat::kLoopServesPluginViews) GTEST_SKIP() << "views have their own loop here";
    auto loop = make_loop();
    ASSERT_TRUE(loop);
    Ref<PlugFrame> frame(new PlugFrame());
    Ref<IRunLoop> run_loop = run_loop_of(frame.get());
    ASSERT_TRUE(run_loop);

    std::atomic<bool> timer_deleted{false}, fd_deleted{false};
    auto* timer_handler = new Handler(&timer_deleted);
    int timer_calls_after_unregister = -1;
    timer_handler->on_timer = [&, timer_handler] {
        if (timer_handler->timers < 2) return;
        EXPECT_EQ(run_loop->unregisterTimer(timer_handler), kResultOk);
        timer_calls_after_unregister = timer_handler->timers;  // still alive here
    };
    ASSERT_EQ(run_loop->registerTimer(timer_handler, 5), kResultOk);
    timer_handler->release();

    Pipe pipe;
    auto* fd_handler = new Handler(&fd_deleted);
    fd_handler->on_fd = [&, fd_handler](int) { EXPECT_EQ(run_loop->unregisterEventHandler(fd_handler), kResultOk); };
    ASSERT_EQ(run_loop->registerEventHandler(fd_handler, pipe.read_end), kResultOk);
    fd_handler->release();
    pipe.poke();  // stays readable: only the unregistering stops the calls

    run_for(*loop, kPatience, [&] { return timer_deleted && fd_deleted; });
    run_for(*loop, milliseconds(30));
    EXPECT_EQ(timer_calls_after_unregister, 2);
    EXPECT_TRUE(timer_deleted);
    EXPECT_TRUE(fd_deleted);
    EXPECT_EQ(frame->registrations(), 0u);
}

TEST(Vst3RunLoop, ClosingTheFrameRemovesWhatTheViewForgotAndRefusesMore) {
    if (!ovplat::kLoopServesPluginViews) GTEST_SKIP() << "views have their own loop here";
    auto loop = make_loop();
    ASSERT_TRUE(loop);
    Ref<PlugFrame> frame(new PlugFrame());
    Ref<IRunLoop> run_loop = run_loop_of(frame.get());
    ASSERT_TRUE(run_loop);
    Ref<Handler> handler(new Handler());
    Pipe pipe;
    ASSERT_EQ(run_loop->registerTimer(handler.get(), 5), kResultOk);
    ASSERT_EQ(run_loop->registerEventHandler(handler.get(), pipe.read_end), kResultOk);

    frame->close();
    EXPECT_EQ(frame->registrations(), 0u);
    EXPECT_EQ(handler->refs, 1u) << "the frame let go of the handler";
    pipe.poke();
    run_for(*loop, milliseconds(40));
    EXPECT_EQ(handler->timers, 0);
    EXPECT_TRUE(handler->fds.empty());
    EXPECT_EQ(run_loop->registerTimer(handler.get(), 5), kResultFalse);
    EXPECT_EQ(run_loop->registerEventHandler(handler.get(), pipe.read_end), kResultFalse);
    EXPECT_EQ(handler->refs, 1u);
}

TEST(Vst3RunLoop, RegistrationsAreRefusedOffTheMainThreadAndWithoutALoop) {
    if (!ovplat::kLoopServesPluginViews) GTEST_SKIP() << "views have their own loop here";
    Ref<Handler> handler(new Handler());
    Pipe pipe;
    {
        Ref<PlugFrame> frame(new PlugFrame());
        Ref<IRunLoop> run_loop = run_loop_of(frame.get());
        EXPECT_EQ(run_loop->registerTimer(handler.get(), 5), kResultFalse) << "no loop on this thread";
        EXPECT_EQ(run_loop->registerEventHandler(handler.get(), pipe.read_end), kResultFalse);
    }
    auto loop = make_loop();
    ASSERT_TRUE(loop);
    Ref<PlugFrame> frame(new PlugFrame());
    Ref<IRunLoop> run_loop = run_loop_of(frame.get());
    ASSERT_EQ(run_loop->registerTimer(handler.get(), 5), kResultOk);
    std::thread audio([&] {
        EXPECT_EQ(run_loop->registerTimer(handler.get(), 5), kResultFalse);
        EXPECT_EQ(run_loop->registerEventHandler(handler.get(), pipe.read_end), kResultFalse);
        EXPECT_EQ(run_loop->unregisterTimer(handler.get()), kResultFalse);
    });
    audio.join();
    EXPECT_EQ(frame->registrations(), 1u);
    EXPECT_EQ(handler->refs, 2u);
    frame->close();
}

// ---- CLAP ----

using namespace clapabi;

// A plug-in with or without its side of the two extensions, noting each callback.
struct LoopPlugin {
    clap_plugin plugin{};
    bool timer_side = true;
    bool fd_side = true;
    std::vector<clap_id> timers;
    std::vector<std::pair<int, std::uint32_t>> fds;
    bool off_main = false;
    std::thread::id main = std::this_thread::get_id();
    std::function<void(clap_id)> on_timer;

    LoopPlugin() {
        plugin.plugin_data = this;
        plugin.get_extension = [](const clap_plugin* p, const char* id) -> const void* {
            const auto* self = static_cast<const LoopPlugin*>(p->plugin_data);
            if (std::string_view(id) == kExtTimerSupport && self->timer_side) return &kTimer;
            if (std::string_view(id) == kExtPosixFdSupport && self->fd_side) return &kFd;
            return nullptr;
        };
    }
    static LoopPlugin& of(const clap_plugin* p) { return *static_cast<LoopPlugin*>(p->plugin_data); }
    static const clap_plugin_timer_support kTimer;
    static const clap_plugin_posix_fd_support kFd;
};

const clap_plugin_timer_support LoopPlugin::kTimer{[](const clap_plugin* p, clap_id id) {
    LoopPlugin& self = of(p);
    self.timers.push_back(id);
    if (std::this_thread::get_id() != self.main) self.off_main = true;
    if (self.on_timer) self.on_timer(id);
}};
const clap_plugin_posix_fd_support LoopPlugin::kFd{[](const clap_plugin* p, int fd, std::uint32_t flags) {
    LoopPlugin& self = of(p);
    self.fds.emplace_back(fd, flags);
    if (std::this_thread::get_id() != self.main) self.off_main = true;
    char buffer[64];
    while (read(fd, buffer, sizeof buffer) > 0) {
    }
}};

struct ClapLoopRig {
    ClapHost record;
    LoopPlugin plugin;
    const clap_host* host = record.host();
    const clap_host_timer_support* timer =
        static_cast<const clap_host_timer_support*>(host->get_extension(host, kExtTimerSupport));
    const clap_host_posix_fd_support* fd =
        static_cast<const clap_host_posix_fd_support*>(host->get_extension(host, kExtPosixFdSupport));
    ClapLoopRig() { record.set_plugin(&plugin.plugin); }
    std::size_t count(clap_id id) const { return static_cast<std::size_t>(std::count(plugin.timers.begin(), plugin.timers.end(), id)); }
};

TEST(ClapRunLoop, TimersAndDescriptorsReachThePluginsOwnSideOnTheMainThread) {
    if (!ovplat::kLoopServesPluginViews) GTEST_SKIP() << "guis have their own loop here";
    auto loop = make_loop();
    ASSERT_TRUE(loop);
    ClapLoopRig rig;
    ASSERT_TRUE(rig.timer && rig.fd);
    clap_id fast = kInvalidId, slow = kInvalidId;
    ASSERT_TRUE(rig.timer->register_timer(rig.host, 8, &fast));
    ASSERT_TRUE(rig.timer->register_timer(rig.host, 12, &slow));
    EXPECT_NE(fast, slow);
    EXPECT_NE(fast, kInvalidId);
    Pipe pipe;
    ASSERT_TRUE(rig.fd->register_fd(rig.host, pipe.read_end, kPosixFdRead));
    EXPECT_FALSE(rig.fd->register_fd(rig.host, pipe.read_end, kPosixFdRead)) << "one registration per descriptor";
    pipe.poke();
    run_for(*loop, kPatience, [&] { return rig.count(slow) >= 4 && !rig.plugin.fds.empty(); });
    EXPECT_GE(rig.count(fast), 6u);
    EXPECT_GE(rig.count(slow), 4u);
    EXPECT_GT(rig.count(fast), rig.count(slow));
    ASSERT_EQ(rig.plugin.fds.size(), 1u);
    EXPECT_EQ(rig.plugin.fds[0], (std::pair<int, std::uint32_t>{pipe.read_end, kPosixFdRead}));
    EXPECT_FALSE(rig.plugin.off_main);

    // Without its read flag the descriptor is not reported; with it again it is.
    ASSERT_TRUE(rig.fd->modify_fd(rig.host, pipe.read_end, 0));
    pipe.poke();
    run_for(*loop, milliseconds(30));
    EXPECT_EQ(rig.plugin.fds.size(), 1u);
    ASSERT_TRUE(rig.fd->modify_fd(rig.host, pipe.read_end, kPosixFdRead | kPosixFdError));
    run_for(*loop, kPatience, [&] { return rig.plugin.fds.size() >= 2; });
    EXPECT_EQ(rig.plugin.fds.size(), 2u);

    EXPECT_TRUE(rig.timer->unregister_timer(rig.host, fast));
    EXPECT_FALSE(rig.timer->unregister_timer(rig.host, fast));
    EXPECT_TRUE(rig.fd->unregister_fd(rig.host, pipe.read_end));
    EXPECT_FALSE(rig.fd->unregister_fd(rig.host, pipe.read_end));
    EXPECT_FALSE(rig.fd->modify_fd(rig.host, pipe.read_end, kPosixFdRead));
    const auto fast_calls = rig.count(fast);
    pipe.poke();
    run_for(*loop, milliseconds(40));
    EXPECT_EQ(rig.count(fast), fast_calls);
    EXPECT_EQ(rig.plugin.fds.size(), 2u);
    EXPECT_EQ(rig.record.registrations(), 1u);
    rig.record.drop_registrations();
}

TEST(ClapRunLoop, ATimerMayUnregisterItselfFromItsCallback) {
    if (!ovplat::kLoopServesPluginViews) GTEST_SKIP() << "guis have their own loop here";
    auto loop = make_loop();
    ASSERT_TRUE(loop);
    ClapLoopRig rig;
    clap_id id = kInvalidId;
    rig.plugin.on_timer = [&](clap_id fired) {
        if (rig.count(fired) == 3) {
            EXPECT_TRUE(rig.timer->unregister_timer(rig.host, fired));
        }
    };
    ASSERT_TRUE(rig.timer->register_timer(rig.host, 5, &id));
    run_for(*loop, kPatience, [&] { return rig.count(id) >= 3; });
    run_for(*loop, milliseconds(30));
    EXPECT_EQ(rig.count(id), 3u);
    EXPECT_EQ(rig.record.registrations(), 0u);
}

TEST(ClapRunLoop, RegistrationsAreRefusedWhereNoCallbackCouldArrive) {
    if (!ovplat::kLoopServesPluginViews) GTEST_SKIP() << "guis have their own loop here";
    Pipe pipe;
    clap_id id = kInvalidId;
    {
        ClapLoopRig rig;
        EXPECT_FALSE(rig.timer->register_timer(rig.host, 10, &id)) << "no loop on this thread";
        EXPECT_FALSE(rig.fd->register_fd(rig.host, pipe.read_end, kPosixFdRead));
    }
    auto loop = make_loop();
    ASSERT_TRUE(loop);
    struct Case {
        const char* what;
        bool timer_side, fd_side, plugin_known, other_thread;
    };
    const Case cases[] = {
        {"a plug-in without its timer side", false, true, true, false},
        {"a plug-in without its descriptor side", true, false, true, false},
        {"before the plug-in is known", true, true, false, false},
        {"from the audio thread", true, true, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ClapHost record;
        LoopPlugin plugin;
        plugin.timer_side = c.timer_side;
        plugin.fd_side = c.fd_side;
        if (c.plugin_known) record.set_plugin(&plugin.plugin);
        const clap_host* host = record.host();
        const auto* timer = static_cast<const clap_host_timer_support*>(host->get_extension(host, kExtTimerSupport));
        const auto* fd = static_cast<const clap_host_posix_fd_support*>(host->get_extension(host, kExtPosixFdSupport));
        bool timer_taken = false, fd_taken = false;
        auto try_both = [&] {
            timer_taken = timer->register_timer(host, 10, &id);
            fd_taken = fd->register_fd(host, pipe.read_end, kPosixFdRead);
        };
        if (c.other_thread) {
            std::thread(try_both).join();
        } else {
            try_both();
        }
        EXPECT_EQ(timer_taken, c.timer_side && c.plugin_known && !c.other_thread);
        EXPECT_EQ(fd_taken, c.fd_side && c.plugin_known && !c.other_thread);
        record.drop_registrations();
    }
    // One registered on the main thread cannot be removed from another.
    ClapLoopRig rig;
    ASSERT_TRUE(rig.timer->register_timer(rig.host, 10, &id));
    ASSERT_TRUE(rig.fd->register_fd(rig.host, pipe.read_end, kPosixFdRead));
    std::thread([&] {
        EXPECT_FALSE(rig.timer->unregister_timer(rig.host, id));
        EXPECT_FALSE(rig.fd->unregister_fd(rig.host, pipe.read_end));
        EXPECT_FALSE(rig.fd->modify_fd(rig.host, pipe.read_end, 0));
    }).join();
    EXPECT_EQ(rig.record.registrations(), 2u);
    rig.record.drop_registrations();
}

TEST(ClapRunLoop, DestroyingTheGuiRemovesWhatItForgotAndDestroyingThePluginTheRest) {
    if (!ovplat::kLoopServesPluginViews) GTEST_SKIP() << "guis have their own loop here";
    auto loop = make_loop();
    ASSERT_TRUE(loop);
    ClapLoopRig rig;
    Pipe pipe;
    clap_id plugin_timer = kInvalidId, gui_timer = kInvalidId;
    ASSERT_TRUE(rig.timer->register_timer(rig.host, 5, &plugin_timer));
    rig.record.begin_gui();
    ASSERT_TRUE(rig.timer->register_timer(rig.host, 5, &gui_timer));
    ASSERT_TRUE(rig.fd->register_fd(rig.host, pipe.read_end, kPosixFdRead));
    rig.record.end_gui();
    EXPECT_EQ(rig.record.registrations(), 1u);
    pipe.poke();
    run_for(*loop, kPatience, [&] { return rig.count(plugin_timer) >= 3; });
    EXPECT_GE(rig.count(plugin_timer), 3u);
    EXPECT_EQ(rig.count(gui_timer), 0u);
    EXPECT_TRUE(rig.plugin.fds.empty());

    rig.record.drop_registrations();
    EXPECT_EQ(rig.record.registrations(), 0u);
    const auto calls = rig.plugin.timers.size();
    run_for(*loop, milliseconds(30));
    EXPECT_EQ(rig.plugin.timers.size(), calls);
    clap_id late = kInvalidId;
    EXPECT_FALSE(rig.timer->register_timer(rig.host, 5, &late)) << "the plug-in is gone";
}

}  // namespace
}  // namespace ovhost
