#include "platform/main_loop.h"

#include <windows.h>
#include <objbase.h>

#include <string>

namespace ovplat {

void initialize_com_apartment() { (void)CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }

namespace {

// "{system text} (0x8007XXXX)" for a Win32 error code.
std::string describe_windows_error(DWORD code) {
    const HRESULT result = HRESULT_FROM_WIN32(code);
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::string message;
    if (length > 0 && text) {
        const int size = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
        message.resize(static_cast<std::size_t>(size > 0 ? size : 0));
        if (size > 0) WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), message.data(), size, nullptr, nullptr);
        while (!message.empty() && (message.back() == ' ' || message.back() == '\r' || message.back() == '\n' ||
                                    message.back() == '\t'))
            message.pop_back();
    }
    if (text) LocalFree(text);
    static const char digits[] = "0123456789ABCDEF";
    std::string hex = "0x";
    for (int shift = 28; shift >= 0; shift -= 4) hex.push_back(digits[(static_cast<unsigned long>(result) >> shift) & 0xF]);
    return message.empty() ? "(" + hex + ")" : message + " (" + hex + ")";
}

thread_local MainLoop* current_thread_loop = nullptr;

// Thread messages (WM_APP from wake(), WM_TIMER from a windowless thread timer) run the
// callback; everything else is dispatched to its window.
class Win32MainLoop final : public MainLoop {
public:
    explicit Win32MainLoop(DWORD thread_id) : thread_id_(thread_id) {
        previous_ = current_thread_loop;
        current_thread_loop = this;
    }
    ~Win32MainLoop() override {
        if (current_thread_loop == this) current_thread_loop = previous_;
    }

    bool wake() override { return PostThreadMessageW(thread_id_, WM_APP, 0, 0) != 0; }

    void run(const std::function<bool()>& on_wake) override {
        MSG message;
        for (;;) {
            const BOOL got = GetMessageW(&message, nullptr, 0, 0);
            if (got == 0 || got == -1) return;
            if (message.hwnd == nullptr && (message.message == WM_APP || message.message == WM_TIMER)) {
                if (!on_wake()) return;
                continue;
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }

    // Windows plug-in views have window timers of their own: the host offers none.
    std::optional<SourceId> add_timer(std::uint32_t, std::function<void()>) override { return std::nullopt; }
    std::optional<SourceId> add_descriptor(int, unsigned, std::function<void(int, unsigned)>) override {
        return std::nullopt;
    }
    bool set_descriptor_events(SourceId, unsigned) override { return false; }
    bool remove(SourceId) override { return false; }

private:
    DWORD thread_id_;
    MainLoop* previous_ = nullptr;
};

}  // namespace

MainLoop* MainLoop::of_current_thread() { return current_thread_loop; }

std::unique_ptr<MainLoop> MainLoop::create(std::string& error) {
    MSG message;
    // Makes sure the thread has a message queue before anyone posts to it.
    PeekMessageW(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    if (SetTimer(nullptr, 0, kTickMs, nullptr) == 0) {
        error = describe_windows_error(GetLastError());
        return nullptr;
    }
    return std::make_unique<Win32MainLoop>(GetCurrentThreadId());
}

}  // namespace ovplat
