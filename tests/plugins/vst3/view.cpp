// The test effects' editor views, with a real child window in the host's window.
#include "view.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <X11/Xlib.h>
#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "../loop_report.h"
#endif

#include "platform/plugin_window.h"

namespace ovtestfx {

using namespace ovhost::vst3;

namespace {

constexpr int kInitialWidth = 320;
constexpr int kInitialHeight = 200;
// The smallest size a resizable view accepts.
constexpr int kMinWidth = 120;
constexpr int kMinHeight = 80;

// One child window of a parent window given by the host.
class ChildWindow {
public:
    bool create(void* parent, int width, int height) {
#ifdef _WIN32
        window_ = CreateWindowExW(0, L"STATIC", L"Orvia test view", WS_CHILD | WS_VISIBLE, 0, 0, width, height,
                                  static_cast<HWND>(parent), nullptr, GetModuleHandleW(nullptr), nullptr);
        return window_ != nullptr;
#else
        display_ = XOpenDisplay(nullptr);
        if (display_ == nullptr) return false;
        const auto parent_window = static_cast<::Window>(reinterpret_cast<std::uintptr_t>(parent));
        window_ = XCreateSimpleWindow(display_, parent_window, 0, 0, static_cast<unsigned>(width),
                                      static_cast<unsigned>(height), 0, 0, 0xFFFFFF);
        XStoreName(display_, window_, "Orvia test view");
        XMapWindow(display_, window_);
        XFlush(display_);
        return true;
#endif
    }

    void resize(int width, int height) {
#ifdef _WIN32
        if (window_ != nullptr) SetWindowPos(window_, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
#else
        if (display_ == nullptr) return;
        XResizeWindow(display_, window_, static_cast<unsigned>(width), static_cast<unsigned>(height));
        XFlush(display_);
#endif
    }

    void destroy() {
#ifdef _WIN32
        if (window_ != nullptr) DestroyWindow(window_);
        window_ = nullptr;
#else
        if (display_ == nullptr) return;
        XDestroyWindow(display_, window_);
        XFlush(display_);
        XCloseDisplay(display_);
        display_ = nullptr;
#endif
    }

private:
#ifdef _WIN32
    HWND window_ = nullptr;
#else
    Display* display_ = nullptr;
    ::Window window_ = 0;
#endif
};

class TestView final : public IPlugView {
public:
    TestView(ViewKind kind, std::shared_ptr<ViewLink> link) : kind_(kind), link_(std::move(link)) {}

    tresult queryInterface(const char* iid, void** obj) override {
        if (obj == nullptr) return kInvalidArgument;
        if (same_uid(iid, kFUnknownIid) || same_uid(iid, kIPlugViewIid)) {
            addRef();
            *obj = static_cast<IPlugView*>(this);
            return kResultOk;
        }
        *obj = nullptr;
        return kNoInterface;
    }
    std::uint32_t addRef() override { return ++refs_; }
    std::uint32_t release() override {
        const std::uint32_t left = --refs_;
        if (left == 0) {
            removed();
            delete this;
        }
        return left;
    }

    tresult isPlatformTypeSupported(FIDString type) override {
        if (kind_ == ViewKind::foreign || type == nullptr) return kResultFalse;
        return std::strcmp(type, ovplat::kVst3ViewPlatformType) == 0 ? kResultOk : kResultFalse;
    }

    tresult attached(void* parent, FIDString type) override {
        if (kind_ == ViewKind::attach_fails || isPlatformTypeSupported(type) != kResultOk) return kResultFalse;
        if (window_open_) return kResultFalse;
        if (!window_.create(parent, width_, height_)) return kResultFalse;
        window_open_ = true;
        link_->attached = this;
        return kResultOk;
    }

    tresult removed() override {
        if (!window_open_) return kResultOk;
        window_.destroy();
        window_open_ = false;
        if (link_->attached == this) link_->attached = nullptr;
        return kResultOk;
    }

    tresult onWheel(float) override { return kResultFalse; }
    tresult onKeyDown(char16_t, std::int16_t, std::int16_t) override { return kResultFalse; }
    tresult onKeyUp(char16_t, std::int16_t, std::int16_t) override { return kResultFalse; }

    tresult getSize(ViewRect* size) override {
        if (size == nullptr) return kInvalidArgument;
        if (kind_ == ViewKind::no_size) return kResultFalse;
        if (kind_ == ViewKind::small) {
            *size = ViewRect{0, 0, 50, 20};
            return kResultOk;
        }
        *size = ViewRect{0, 0, width_, height_};
        return kResultOk;
    }

    tresult onSize(ViewRect* newSize) override {
        if (newSize == nullptr) return kInvalidArgument;
        width_ = std::max(newSize->right - newSize->left, 1);
        height_ = std::max(newSize->bottom - newSize->top, 1);
        if (window_open_) window_.resize(width_, height_);
        return kResultOk;
    }

    tresult onFocus(TBool) override { return kResultOk; }

    tresult setFrame(IPlugFrame* frame) override {
        frame_ = frame;  // not owned: the host keeps it alive while it is set
        return kResultOk;
    }

    tresult canResize() override { return kind_ == ViewKind::small ? kResultFalse : kResultOk; }

    tresult checkSizeConstraint(ViewRect* rect) override {
        if (rect == nullptr) return kInvalidArgument;
        rect->right = std::max(rect->right, rect->left + kMinWidth);
        rect->bottom = std::max(rect->bottom, rect->top + kMinHeight);
        return kResultOk;
    }

    bool ask_for_size(int width, int height) {
        if (frame_ == nullptr) return false;
        ViewRect rect{0, 0, width, height};
        return frame_->resizeView(this, &rect) == kResultOk;
    }

private:
    std::atomic<std::uint32_t> refs_{1};
    ViewKind kind_;
    std::shared_ptr<ViewLink> link_;
    IPlugFrame* frame_ = nullptr;
    ChildWindow window_;
    bool window_open_ = false;
    int width_ = kInitialWidth;
    int height_ = kInitialHeight;
};


#ifndef _WIN32
// Reference counting for the small handler objects of the run-loop view.
#define OV_LOOP_REFCOUNT                                         \
    std::uint32_t addRef() override { return ++refs_; }         \
    std::uint32_t release() override {                          \
        const std::uint32_t left = --refs_;                     \
        if (left == 0) delete this;                             \
        return left;                                            \
    }                                                           \
    std::atomic<std::uint32_t> refs_{1};

class LoopView;

// The view's timer and descriptor handlers: separate objects that outlive the view while
// the host holds them, so that the host's references and late calls can be seen.
struct HandlerTag {
    std::string name;
    std::thread::id main;
};

class LoopTimer final : public ITimerHandler {
public:
    LoopTimer(LoopView* view, HandlerTag* tag) : view_(view), tag_(tag) {}
    tresult queryInterface(const char* iid, void** obj) override;
    OV_LOOP_REFCOUNT
    void onTimer() override;
    LoopView* view_;  // cleared when the view goes
    HandlerTag* tag_;

private:
    ~LoopTimer() = default;
};

class LoopEvents final : public IEventHandler {
public:
    LoopEvents(LoopView* view, HandlerTag* tag) : view_(view), tag_(tag) {}
    tresult queryInterface(const char* iid, void** obj) override;
    OV_LOOP_REFCOUNT
    void onFDIsSet(int fd) override;
    LoopView* view_;
    HandlerTag* tag_;

private:
    ~LoopEvents() = default;
};

class LoopView final : public IPlugView {
public:
    explicit LoopView(bool forgetful)
        : forgetful_(forgetful), tag_(new HandlerTag{forgetful ? "vst3-forgetful" : "vst3", {}}),
          timer_(new LoopTimer(this, tag_)), events_(new LoopEvents(this, tag_)) {}

    tresult queryInterface(const char* iid, void** obj) override {
        if (obj == nullptr) return kInvalidArgument;
        if (same_uid(iid, kFUnknownIid) || same_uid(iid, kIPlugViewIid)) {
            addRef();
            *obj = static_cast<IPlugView*>(this);
            return kResultOk;
        }
        *obj = nullptr;
        return kNoInterface;
    }
    std::uint32_t addRef() override { return ++refs_; }
    std::uint32_t release() override {
        const std::uint32_t left = --refs_;
        if (left == 0) {
            removed();
            // By now the host holds none of the handlers any more.
            report(timer_->refs_ == 1 && events_->refs_ == 1 ? "handlers-free" : "handlers-held");
            timer_->view_ = nullptr;
            events_->view_ = nullptr;
            timer_->release();
            events_->release();
            delete this;
        }
        return left;
    }

    tresult isPlatformTypeSupported(FIDString type) override {
        return type != nullptr && std::strcmp(type, ovplat::kVst3ViewPlatformType) == 0 ? kResultOk : kResultFalse;
    }

    tresult attached(void* parent, FIDString type) override {
        tag_->main = std::this_thread::get_id();
        if (isPlatformTypeSupported(type) != kResultOk || display_ != nullptr || frame_ == nullptr) return kResultFalse;
        IRunLoop* loop = nullptr;
        if (frame_->queryInterface(kIRunLoopIid.bytes, reinterpret_cast<void**>(&loop)) != kResultOk || loop == nullptr) {
            report("refused");
            return kResultFalse;
        }
        loop_ = loop;
        display_ = XOpenDisplay(nullptr);
        int ends[2];
        if (display_ == nullptr || pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
            drop_resources();
            return kResultFalse;
        }
        pipe_read_ = ends[0];
        pipe_write_ = ends[1];
        const auto parent_window = static_cast<::Window>(reinterpret_cast<std::uintptr_t>(parent));
        window_ = XCreateSimpleWindow(display_, parent_window, 0, 0, kWidth, kHeight, 0, 0, 0xFFFFFF);
        XStoreName(display_, window_, "Orvia test view");
        XSelectInput(display_, window_, ExposureMask);
        XMapWindow(display_, window_);
        XFlush(display_);
        if (loop_->registerTimer(timer_, ovtestloop::kRedrawPeriodMs) != kResultOk ||
            loop_->registerEventHandler(events_, ConnectionNumber(display_)) != kResultOk ||
            loop_->registerEventHandler(events_, pipe_read_) != kResultOk) {
            loop_->unregisterTimer(timer_);
            loop_->unregisterEventHandler(events_);
            drop_resources();
            return kResultFalse;
        }
        // Another thread is not the host's main thread: its registrations must be refused.
        std::thread([this] {
            report(loop_->registerTimer(timer_, ovtestloop::kRedrawPeriodMs) == kResultOk ? "other-thread-accepted"
                                                                                           : "other-thread-refused");
        }).join();
        report("attached");
        return kResultOk;
    }

    tresult removed() override {
        if (display_ == nullptr) return kResultOk;
        if (!forgetful_) {
            loop_->unregisterTimer(timer_);
            loop_->unregisterEventHandler(events_);
        }
        drop_resources();
        report("removed");
        return kResultOk;
    }

    tresult onWheel(float) override { return kResultFalse; }
    tresult onKeyDown(char16_t, std::int16_t, std::int16_t) override { return kResultFalse; }
    tresult onKeyUp(char16_t, std::int16_t, std::int16_t) override { return kResultFalse; }
    tresult getSize(ViewRect* size) override {
        if (size == nullptr) return kInvalidArgument;
        *size = ViewRect{0, 0, kWidth, kHeight};
        return kResultOk;
    }
    tresult onSize(ViewRect*) override { return kResultOk; }
    tresult onFocus(TBool) override { return kResultOk; }
    tresult setFrame(IPlugFrame* frame) override {
        frame_ = frame;
        return kResultOk;
    }
    tresult canResize() override { return kResultFalse; }
    tresult checkSizeConstraint(ViewRect*) override { return kResultOk; }

    // A timer call: asks the server to repaint (the expose event comes back on the view's
    // own connection) and now and then writes to the pipe.
    void on_timer() {
        if (display_ == nullptr) {
            report("late-timer");
            return;
        }
        report("timer");
        XClearArea(display_, window_, 0, 0, 0, 0, True);
        XFlush(display_);
        if (++ticks_ % ovtestloop::kPipeEveryTicks == 0) (void)!write(pipe_write_, "t", 1);
    }

    void on_fd(int fd) {
        if (display_ == nullptr) {
            report("late-fd");
            return;
        }
        if (fd == pipe_read_) {
            char buffer[64];
            while (read(pipe_read_, buffer, sizeof buffer) > 0) {
            }
            report("pipe");
        } else if (fd == ConnectionNumber(display_)) {
            bool exposed = false;
            while (XPending(display_) > 0) {
                XEvent event;
                XNextEvent(display_, &event);
                exposed = exposed || event.type == Expose;
            }
            if (exposed) {
                XFillRectangle(display_, window_, DefaultGC(display_, DefaultScreen(display_)), 10, 10, 40, 20);
                XFlush(display_);
                report("x-expose");
            }
        }
    }

    void report(const char* event) const { ovtestloop::report(tag_->name, event, tag_->main); }

private:
    static constexpr int kWidth = 300;
    static constexpr int kHeight = 180;

    void drop_resources() {
        if (display_ != nullptr) {
            if (window_ != 0) XDestroyWindow(display_, window_);
            XCloseDisplay(display_);
        }
        display_ = nullptr;
        window_ = 0;
        if (pipe_read_ >= 0) close(pipe_read_);
        if (pipe_write_ >= 0) close(pipe_write_);
        pipe_read_ = pipe_write_ = -1;
        if (loop_ != nullptr) loop_->release();
        loop_ = nullptr;
    }

    std::atomic<std::uint32_t> refs_{1};
    const bool forgetful_;
    HandlerTag* tag_;  // shared with the handlers; never freed: they may outlive the view
    LoopTimer* timer_;
    LoopEvents* events_;
    IPlugFrame* frame_ = nullptr;
    IRunLoop* loop_ = nullptr;
    Display* display_ = nullptr;
    ::Window window_ = 0;
    int pipe_read_ = -1;
    int pipe_write_ = -1;
    int ticks_ = 0;
};

tresult LoopTimer::queryInterface(const char* iid, void** obj) {
    if (obj == nullptr) return kInvalidArgument;
    if (same_uid(iid, kFUnknownIid) || same_uid(iid, kITimerHandlerIid)) {
        addRef();
        *obj = static_cast<ITimerHandler*>(this);
        return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
}
void LoopTimer::onTimer() {
    if (view_ != nullptr)
        view_->on_timer();
    else
        ovtestloop::report(tag_->name, "late-timer", tag_->main);
}

tresult LoopEvents::queryInterface(const char* iid, void** obj) {
    if (obj == nullptr) return kInvalidArgument;
    if (same_uid(iid, kFUnknownIid) || same_uid(iid, kIEventHandlerIid)) {
        addRef();
        *obj = static_cast<IEventHandler*>(this);
        return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
}
void LoopEvents::onFDIsSet(int fd) {
    if (view_ != nullptr)
        view_->on_fd(fd);
    else
        ovtestloop::report(tag_->name, "late-fd", tag_->main);
}
#endif

}  // namespace

IPlugView* create_test_view(ViewKind kind, std::shared_ptr<ViewLink> link) {
    if (kind == ViewKind::none) return nullptr;
#ifndef _WIN32
    if (kind == ViewKind::run_loop || kind == ViewKind::run_loop_forgetful)
        return new LoopView(kind == ViewKind::run_loop_forgetful);
#endif
    return new TestView(kind, std::move(link));
}

bool request_view_size(IPlugView* view, int width, int height) {
    return view != nullptr && static_cast<TestView*>(view)->ask_for_size(width, height);
}

}  // namespace ovtestfx
