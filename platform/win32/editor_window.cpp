#include "platform/editor_window.h"

#include "ov/text.h"
#include "wide_text.h"

#include <windows.h>

#include <algorithm>
#include <utility>

namespace ovplat {
namespace {

constexpr wchar_t kWindowClass[] = L"OrviaPluginEditor";
// WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN: no sizing border, no maximise box.
constexpr DWORD kWindowStyle = 0x02CA0000;
constexpr DWORD kWindowExStyle = 0;

// Only the thread that made the windows runs their procedure, so the lists are its own.
thread_local bool class_registered = false;
thread_local std::vector<EditorWindowHandle> close_requests;
thread_local std::vector<EditorWindowSize> size_changes;

LRESULT CALLBACK editor_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_CLOSE:
            // The main loop closes the editor and destroys the window on its next tick.
            close_requests.push_back(window);
            return 0;
        case WM_SIZE: {
            const auto width = static_cast<std::uint32_t>(LOWORD(lparam));
            const auto height = static_cast<std::uint32_t>(HIWORD(lparam));
            if (width != 0 && height != 0) size_changes.push_back(EditorWindowSize{window, width, height});
            break;
        }
        default:
            break;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

// The outer size of a window whose client area is width x height.
RECT outer_rect(std::uint32_t width, std::uint32_t height) {
    RECT rect{0, 0, static_cast<LONG>(width), static_cast<LONG>(height)};
    AdjustWindowRectEx(&rect, kWindowStyle, FALSE, kWindowExStyle);
    return rect;
}

std::wstring wide_title(const std::string& title) {
    auto wide = win32::utf8_to_utf16(ov::text::decode_utf8_lossy(title));
    return wide ? *wide : std::wstring();
}

void drop_sizes_of(EditorWindowHandle window) {
    std::erase_if(size_changes, [&](const EditorWindowSize& size) { return size.window == window; });
}

class Win32EditorWindows final : public EditorWindowSystem {
public:
    EditorWindowHandle open(const std::string& title, const EditorWindowPlacement& placement,
                            EditorWindowFailure& failure) override {
        HINSTANCE module = GetModuleHandleW(nullptr);
        if (module == nullptr) {
            failure = EditorWindowFailure{EditorWindowFailure::Step::module_handle,
                                          win32::error_text_with_code(GetLastError())};
            return nullptr;
        }
        if (!class_registered) {
            WNDCLASSW window_class{};
            window_class.style = 0;
            window_class.lpfnWndProc = editor_window_procedure;
            window_class.hInstance = module;
            window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);  // none when it cannot be loaded
            window_class.lpszClassName = kWindowClass;
            // A failure shows when the window is created.
            if (RegisterClassW(&window_class) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS)
                class_registered = true;
        }

        const RECT outer = outer_rect(kEditorFirstClientWidth, kEditorFirstClientHeight);
        const bool placed = placement.x && placement.y;
        const HWND owner = reinterpret_cast<HWND>(static_cast<std::intptr_t>(placement.owner.value_or(0)));
        const std::wstring text = wide_title(title);
        HWND window = CreateWindowExW(kWindowExStyle, kWindowClass, text.c_str(), kWindowStyle,
                                      placed ? *placement.x : CW_USEDEFAULT, placed ? *placement.y : CW_USEDEFAULT,
                                      outer.right - outer.left, outer.bottom - outer.top, owner, nullptr, module,
                                      nullptr);
        if (window == nullptr) {
            failure = EditorWindowFailure{EditorWindowFailure::Step::create, win32::error_text_with_code(GetLastError())};
            return nullptr;
        }
        ShowWindow(window, SW_SHOW);
        SetForegroundWindow(window);
        // The sizes of the window's creation are not changes anyone asked for.
        drop_sizes_of(window);
        return window;
    }

    void bring_to_front(EditorWindowHandle window) override { SetForegroundWindow(static_cast<HWND>(window)); }

    void set_client_size(EditorWindowHandle window, std::uint32_t width, std::uint32_t height) override {
        drop_sizes_of(window);
        const RECT outer = outer_rect(width, height);
        SetWindowPos(static_cast<HWND>(window), nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                     SWP_NOACTIVATE | SWP_NOZORDER | SWP_NOMOVE);
    }

    void destroy(EditorWindowHandle window) override {
        DestroyWindow(static_cast<HWND>(window));
        // A handle can be reused by a later window: nothing of this one may reach it.
        std::erase(close_requests, window);
        drop_sizes_of(window);
    }

    std::vector<EditorWindowHandle> take_close_requests() override { return std::exchange(close_requests, {}); }
    std::vector<EditorWindowSize> take_resizes() override { return std::exchange(size_changes, {}); }
};

}  // namespace

std::unique_ptr<EditorWindowSystem> EditorWindowSystem::create() { return std::make_unique<Win32EditorWindows>(); }

}  // namespace ovplat
