// ov-window-probe <class> [--title T] [--timeout-ms N] [--wait-client W H] [--resize W H] [--close]
//
// Waits (up to N ms, default 60000) for a top-level window of the class (and title) and,
// with --wait-client, until it has a child window and the client size W x H (a window being
// set up changes size once its content is in). Then prints one JSON line: "found", and when found its "class", "title", "style", "exStyle",
// "owner" (0 for none), "position" [x, y] of the outer window, "client" [w, h],
// "foreground", and "child" [w, h] (the client size of its first child
// window, null when it has none). --resize sets the client area to W x H the way a user's drag
// does (the outer size for the window's style) and waits until the child window has that size
// too ("afterResize": {"client", "child"}). --close posts WM_CLOSE, as the close box does
// ("closed"). Exit code 0 when the window was found and every action worked, else 1.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

#include "ov/json.h"

namespace {

std::string utf8_of(const wchar_t* text, int length) {
    if (length <= 0) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr, nullptr);
    return out;
}

std::wstring wide_of(const std::string& text) {
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
    if (size > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
    return out;
}

ov::Json client_size(HWND window) {
    RECT rect{};
    if (window == nullptr || !GetClientRect(window, &rect)) return nullptr;
    return ov::Json::array({rect.right - rect.left, rect.bottom - rect.top});
}

HWND first_child(HWND window) { return GetWindow(window, GW_CHILD); }

template <class Condition>
bool within(std::chrono::milliseconds timeout, Condition&& condition) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

bool read_number(const char* text, long& value) {
    char* end = nullptr;
    value = std::strtol(text, &end, 10);
    return end != text && *end == '\0';
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: ov-window-probe <class> [--title T] [--timeout-ms N] [--wait-client W H] [--resize W H] "
                   "[--close]\n",
                   stderr);
        return 2;
    }
    const std::wstring window_class = wide_of(argv[1]);
    long timeout_ms = 60000;
    long resize_width = 0, resize_height = 0;
    std::optional<ov::Json> wait_client;
    bool resize = false, close = false;
    std::optional<std::wstring> title;
    for (int i = 2; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--title" && i + 1 < argc) {
            title = wide_of(argv[++i]);
        } else if (option == "--timeout-ms" && i + 1 < argc && read_number(argv[i + 1], timeout_ms)) {
            ++i;
        } else if (option == "--resize" && i + 2 < argc && read_number(argv[i + 1], resize_width) &&
                   read_number(argv[i + 2], resize_height)) {
            resize = true;
            i += 2;
        } else if (long width = 0, height = 0; option == "--wait-client" && i + 2 < argc &&
                                                 read_number(argv[i + 1], width) && read_number(argv[i + 2], height)) {
            wait_client = ov::Json::array({width, height});
            i += 2;
        } else if (option == "--close") {
            close = true;
        } else {
            std::fprintf(stderr, "ov-window-probe: unknown option %s\n", argv[i]);
            return 2;
        }
    }

    HWND window = nullptr;
    within(std::chrono::milliseconds(timeout_ms), [&] {
        window = FindWindowW(window_class.c_str(), title ? title->c_str() : nullptr);
        return window != nullptr;
    });
    if (window != nullptr && wait_client) {
        within(std::chrono::milliseconds(timeout_ms),
               [&] { return first_child(window) != nullptr && client_size(window) == *wait_client; });
    }
    ov::Json report{{"found", window != nullptr}};
    bool ok = window != nullptr;
    if (window != nullptr) {
        wchar_t text[512] = {};
        report["class"] = utf8_of(text, GetClassNameW(window, text, 512));
        report["title"] = utf8_of(text, GetWindowTextW(window, text, 512));
        const auto style = static_cast<std::uint32_t>(GetWindowLongW(window, GWL_STYLE));
        const auto ex_style = static_cast<std::uint32_t>(GetWindowLongW(window, GWL_EXSTYLE));
        report["style"] = style;
        report["exStyle"] = ex_style;
        report["owner"] = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(GetWindow(window, GW_OWNER)));
        RECT outer{};
        GetWindowRect(window, &outer);
        report["position"] = ov::Json::array({outer.left, outer.top});
        report["client"] = client_size(window);
        report["foreground"] = GetForegroundWindow() == window;
        report["child"] = client_size(first_child(window));
        if (resize) {
            RECT outer{0, 0, resize_width, resize_height};
            AdjustWindowRectEx(&outer, style, FALSE, ex_style);
            SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                         SWP_NOACTIVATE | SWP_NOZORDER | SWP_NOMOVE);
            const ov::Json wanted = ov::Json::array({resize_width, resize_height});
            ok = within(std::chrono::milliseconds(timeout_ms), [&] { return client_size(first_child(window)) == wanted; }) && ok;
            report["afterResize"] = {{"client", client_size(window)}, {"child", client_size(first_child(window))}};
        }
        if (close) {
            const bool posted = PostMessageW(window, WM_CLOSE, 0, 0) != 0;
            report["closed"] = posted;
            ok = posted && ok;
        }
    }
    const std::string line = ov::to_compact_json(report) + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
    return ok ? 0 : 1;
}
