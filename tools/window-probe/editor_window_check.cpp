// ov-editor-window-check: drives the editor windows of the platform layer directly on
// Windows (the host's own code, not a copy) and prints one JSON line of what it saw, for the
// Wine tests: what the close box and size changes put into the lists, and what the windows
// look like. Each member is one situation:
//   "opened": class, title, style, exStyle, client [w, h], visible, foreground, the sizes
//             listed right after opening
//   "ownResize": sizes listed after set_client_size(300, 200)
//   "minimised", "restored": sizes listed after minimising, then restoring the window
//   "userResize": sizes listed after the window was given a 500 x 350 client area from outside
//   "closeBox": whether WM_CLOSE put the window into the close list and left it alive
//   "destroyed": whether the window is gone after destroy, and the lists left empty
//   "owned": owner handle and position of a window opened with an owner and x, y
//   "badOwner": the failure for an owner that is no window
#include <windows.h>

#include <cstdio>
#include <string>

#include "ov/json.h"
#include "platform/editor_window.h"

namespace {

ov::Json size_list(ovplat::EditorWindowSystem& windows, ovplat::EditorWindowHandle window) {
    ov::Json list = ov::Json::array();
    for (const auto& size : windows.take_resizes()) {
        if (size.window == window) {
            list.push_back(ov::Json::array({size.width, size.height}));
        } else {
            list.push_back("another window");
        }
    }
    return list;
}

std::string utf8_of(const wchar_t* text, int length) {
    if (length <= 0) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr, nullptr);
    return out;
}

ov::Json client_size(HWND window) {
    RECT rect{};
    GetClientRect(window, &rect);
    return ov::Json::array({rect.right - rect.left, rect.bottom - rect.top});
}

std::uint64_t handle_number(HWND window) { return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(window)); }

}  // namespace

int main() {
    auto windows = ovplat::EditorWindowSystem::create();
    ov::Json report = ov::Json::object();
    ovplat::EditorWindowFailure failure;

    auto* handle = windows->open("Check \xC3\xA9 - Orvia", {}, failure);
    if (handle == nullptr) {
        report["error"] = failure.reason;
        const std::string line = ov::to_compact_json(report) + "\n";
        std::fwrite(line.data(), 1, line.size(), stdout);
        return 1;
    }
    HWND window = static_cast<HWND>(handle);
    wchar_t text[256] = {};
    report["opened"] = {
        {"class", utf8_of(text, GetClassNameW(window, text, 256))},
        {"title", utf8_of(text, GetWindowTextW(window, text, 256))},
        {"style", static_cast<std::uint32_t>(GetWindowLongW(window, GWL_STYLE))},
        {"exStyle", static_cast<std::uint32_t>(GetWindowLongW(window, GWL_EXSTYLE))},
        {"client", client_size(window)},
        {"visible", IsWindowVisible(window) != 0},
        {"foreground", GetForegroundWindow() == window},
        {"sizes", size_list(*windows, handle)},
    };

    windows->set_client_size(handle, 300, 200);
    report["ownResize"] = {{"client", client_size(window)}, {"sizes", size_list(*windows, handle)}};

    ShowWindow(window, SW_MINIMIZE);
    report["minimised"] = size_list(*windows, handle);
    ShowWindow(window, SW_RESTORE);
    report["restored"] = size_list(*windows, handle);

    RECT outer{0, 0, 500, 350};
    AdjustWindowRectEx(&outer, static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE)));
    SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                 SWP_NOACTIVATE | SWP_NOZORDER | SWP_NOMOVE);
    report["userResize"] = size_list(*windows, handle);

    SendMessageW(window, WM_CLOSE, 0, 0);
    const auto closes = windows->take_close_requests();
    report["closeBox"] = {{"listed", closes.size() == 1 && closes.front() == handle},
                          {"alive", IsWindow(window) != 0}};

    // A close request and a size change still waiting when the window is destroyed.
    SendMessageW(window, WM_CLOSE, 0, 0);
    SetWindowPos(window, nullptr, 0, 0, 400, 300, SWP_NOACTIVATE | SWP_NOZORDER | SWP_NOMOVE);
    windows->destroy(handle);
    report["destroyed"] = {{"alive", IsWindow(window) != 0},
                           {"closes", windows->take_close_requests().size()},
                           {"sizes", windows->take_resizes().size()}};

    auto* owner = windows->open("Owner - Orvia", {}, failure);
    ovplat::EditorWindowPlacement placement;
    placement.owner = static_cast<std::int64_t>(handle_number(static_cast<HWND>(owner)));
    placement.x = 25;
    placement.y = 35;
    auto* owned = windows->open("Owned - Orvia", placement, failure);
    if (owner != nullptr && owned != nullptr) {
        RECT where{};
        GetWindowRect(static_cast<HWND>(owned), &where);
        report["owned"] = {{"isOwner", GetWindow(static_cast<HWND>(owned), GW_OWNER) == static_cast<HWND>(owner)},
                           {"position", ov::Json::array({where.left, where.top})}};
        windows->destroy(owned);
        windows->destroy(owner);
    } else {
        report["owned"] = {{"error", failure.reason}};
    }

    placement.owner = 0x5A5A5A0;
    placement.x.reset();
    placement.y.reset();
    failure = {};
    auto* refused = windows->open("Refused - Orvia", placement, failure);
    report["badOwner"] = {{"opened", refused != nullptr},
                          {"step", failure.step == ovplat::EditorWindowFailure::Step::create ? "create" : "module"},
                          {"reason", failure.reason}};

    const std::string line = ov::to_compact_json(report) + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
    return 0;
}
