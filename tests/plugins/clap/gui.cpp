// The test plug-ins' window, one native child window per created gui.
//   is_api_supported: this system's api ("win32" or "x11"), not floating; "cocoa" only for
//     the other_api_only kind.
//   create: false for create_fails; otherwise marks the gui created (no window yet).
//   set_parent: false for set_parent_fails or a null parent; otherwise makes the child
//     window in the parent at the current size (first 480 x 320), visible.
//   get_size: the current size. can_resize: true. adjust_size: clamps into
//     200..1600 x 150..1200. set_size: stores the size and resizes the child window.
//   show / hide: map or unmap the child window. destroy: destroys the child window.
#include "gui.h"

#include <algorithm>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <X11/Xlib.h>
#endif

namespace ovtestclap {

namespace {

using namespace clapabi;

#ifdef _WIN32
constexpr const char* kNativeApi = kWindowApiWin32;

struct NativeWindow {
    HWND window = nullptr;
};

NativeWindow* make_child(std::uintptr_t parent, std::uint32_t width, std::uint32_t height) {
    HWND window = CreateWindowExW(0, L"STATIC", L"Orvia test plug-in", WS_CHILD | WS_VISIBLE, 0, 0,
                                  static_cast<int>(width), static_cast<int>(height), reinterpret_cast<HWND>(parent),
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
    if (window == nullptr) return nullptr;
    return new NativeWindow{window};
}

void resize_child(NativeWindow& native, std::uint32_t width, std::uint32_t height) {
    SetWindowPos(native.window, nullptr, 0, 0, static_cast<int>(width), static_cast<int>(height),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void show_child(NativeWindow& native, bool visible) { ShowWindow(native.window, visible ? SW_SHOW : SW_HIDE); }

void destroy_child(NativeWindow* native) {
    DestroyWindow(native->window);
    delete native;
}
#else
constexpr const char* kNativeApi = kWindowApiX11;

struct NativeWindow {
    Display* display = nullptr;
    Window window = 0;
};

bool g_x_error = false;
int note_x_error(Display*, XErrorEvent*) {
    g_x_error = true;
    return 0;
}

NativeWindow* make_child(std::uintptr_t parent, std::uint32_t width, std::uint32_t height) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return nullptr;
    // A bad parent id must fail this call, not end the host: errors are caught while the
    // window is made, and the connection is synchronised before the old handler returns.
    XSync(display, False);
    g_x_error = false;
    auto* previous = XSetErrorHandler(&note_x_error);
    const int screen = DefaultScreen(display);
    Window window = XCreateSimpleWindow(display, static_cast<Window>(parent), 0, 0, width, height, 0,
                                        BlackPixel(display, screen), WhitePixel(display, screen));
    XMapWindow(display, window);
    XSync(display, False);
    const bool failed = g_x_error;
    XSetErrorHandler(previous);
    if (failed) {
        XCloseDisplay(display);
        return nullptr;
    }
    XFlush(display);
    return new NativeWindow{display, window};
}

void resize_child(NativeWindow& native, std::uint32_t width, std::uint32_t height) {
    XResizeWindow(native.display, native.window, width, height);
    XFlush(native.display);
}

void show_child(NativeWindow& native, bool visible) {
    if (visible)
        XMapWindow(native.display, native.window);
    else
        XUnmapWindow(native.display, native.window);
    XFlush(native.display);
}

void destroy_child(NativeWindow* native) {
    XDestroyWindow(native->display, native->window);
    XFlush(native->display);
    XCloseDisplay(native->display);
    delete native;
}
#endif

NativeWindow* native_of(GuiState& gui) { return static_cast<NativeWindow*>(gui.native); }

void drop_window(GuiState& gui) {
    if (NativeWindow* native = native_of(gui)) destroy_child(native);
    gui.native = nullptr;
    gui.window_exists = false;
    gui.shown = false;
}

bool is_api_supported(const clap_plugin* plugin, const char* api, bool is_floating) {
    const GuiState& gui = gui_state_of(plugin);
    if (api == nullptr || is_floating) return false;
    if (gui.kind == GuiKind::other_api_only) return std::strcmp(api, "cocoa") == 0;
    return std::strcmp(api, kNativeApi) == 0;
}

bool get_preferred_api(const clap_plugin* plugin, const char** api, bool* is_floating) {
    const GuiState& gui = gui_state_of(plugin);
    if (api != nullptr) *api = gui.kind == GuiKind::other_api_only ? "cocoa" : kNativeApi;
    if (is_floating != nullptr) *is_floating = false;
    return true;
}

bool create(const clap_plugin* plugin, const char* api, bool is_floating) {
    GuiState& gui = gui_state_of(plugin);
    if (gui.kind == GuiKind::create_fails || gui.created || !is_api_supported(plugin, api, is_floating)) return false;
    gui.created = true;
    return true;
}

void destroy(const clap_plugin* plugin) {
    GuiState& gui = gui_state_of(plugin);
    drop_window(gui);
    gui.created = false;
}

bool set_scale(const clap_plugin*, double) { return false; }

bool get_size(const clap_plugin* plugin, std::uint32_t* width, std::uint32_t* height) {
    const GuiState& gui = gui_state_of(plugin);
    if (width != nullptr) *width = gui.width;
    if (height != nullptr) *height = gui.height;
    return true;
}

bool can_resize(const clap_plugin*) { return true; }

bool get_resize_hints(const clap_plugin*, clap_gui_resize_hints*) { return false; }

bool adjust_size(const clap_plugin*, std::uint32_t* width, std::uint32_t* height) {
    if (width != nullptr) *width = std::clamp(*width, kGuiMinWidth, kGuiMaxWidth);
    if (height != nullptr) *height = std::clamp(*height, kGuiMinHeight, kGuiMaxHeight);
    return true;
}

bool set_size(const clap_plugin* plugin, std::uint32_t width, std::uint32_t height) {
    GuiState& gui = gui_state_of(plugin);
    gui.width = width;
    gui.height = height;
    if (NativeWindow* native = native_of(gui)) resize_child(*native, width, height);
    return true;
}

bool set_parent(const clap_plugin* plugin, const clap_window* window) {
    GuiState& gui = gui_state_of(plugin);
    if (gui.kind == GuiKind::set_parent_fails || !gui.created || window == nullptr || window->uptr == 0) return false;
    drop_window(gui);
    NativeWindow* native = make_child(window->uptr, gui.width, gui.height);
    if (native == nullptr) return false;
    gui.native = native;
    gui.window_exists = true;
    gui.shown = true;
    gui.windows_made.fetch_add(1);
    return true;
}

bool set_transient(const clap_plugin*, const clap_window*) { return false; }

void suggest_title(const clap_plugin*, const char*) {}

bool show(const clap_plugin* plugin) {
    GuiState& gui = gui_state_of(plugin);
    NativeWindow* native = native_of(gui);
    if (native == nullptr) return false;
    show_child(*native, true);
    gui.shown = true;
    return true;
}

bool hide(const clap_plugin* plugin) {
    GuiState& gui = gui_state_of(plugin);
    NativeWindow* native = native_of(gui);
    if (native == nullptr) return false;
    show_child(*native, false);
    gui.shown = false;
    return true;
}

}  // namespace

const clap_plugin_gui kTestGui{&is_api_supported, &get_preferred_api, &create,      &destroy,
                               &set_scale,        &get_size,          &can_resize,  &get_resize_hints,
                               &adjust_size,      &set_size,          &set_parent,  &set_transient,
                               &suggest_title,    &show,              &hide};

}  // namespace ovtestclap
