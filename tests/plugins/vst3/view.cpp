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

}  // namespace

IPlugView* create_test_view(ViewKind kind, std::shared_ptr<ViewLink> link) {
    if (kind == ViewKind::none) return nullptr;
    return new TestView(kind, std::move(link));
}

bool request_view_size(IPlugView* view, int width, int height) {
    return view != nullptr && static_cast<TestView*>(view)->ask_for_size(width, height);
}

}  // namespace ovtestfx
