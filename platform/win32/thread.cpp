#include "platform/thread.h"

#include <windows.h>
#include <avrt.h>

#include "wide_text.h"

namespace ovplat {

namespace {

DWORD WINAPI thread_entry(void* argument) {
    std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(argument));
    (*body)();
    return 0;
}

// SetThreadDescription exists from Windows 10 1607 on; looked up so older systems still run.
void set_thread_name(HANDLE thread, const std::string& name) {
    using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (kernel == nullptr) return;
    auto set_description =
        reinterpret_cast<SetDescription>(reinterpret_cast<void*>(GetProcAddress(kernel, "SetThreadDescription")));
    const auto wide = win32::utf8_to_utf16(name);
    if (set_description != nullptr && wide) set_description(thread, wide->c_str());
}

}  // namespace

bool start_detached_thread(const std::string& name, std::function<void()> body) {
    auto owned = std::make_unique<std::function<void()>>(std::move(body));
    HANDLE thread = CreateThread(nullptr, 0, &thread_entry, owned.get(), CREATE_SUSPENDED, nullptr);
    if (thread == nullptr) return false;
    owned.release();
    set_thread_name(thread, name);
    ResumeThread(thread);
    CloseHandle(thread);
    return true;
}

bool request_realtime_priority() {
    DWORD task_index = 0;
    // The handle is kept for the thread's lifetime; a failure leaves normal scheduling.
    return AvSetMmThreadCharacteristicsW(L"Pro Audio", &task_index) != nullptr;
}

void request_pro_audio_priority() { (void)request_realtime_priority(); }

namespace {

class EventWakeup final : public Wakeup {
public:
    explicit EventWakeup(HANDLE event) : event_(event) {}
    ~EventWakeup() override { CloseHandle(event_); }
    void set() override { SetEvent(event_); }
    bool wait(std::uint32_t timeout_ms) override { return WaitForSingleObject(event_, timeout_ms) == WAIT_OBJECT_0; }

private:
    HANDLE event_;
};

}  // namespace

std::unique_ptr<Wakeup> Wakeup::create() {
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);  // auto-reset, not set
    if (event == nullptr) return nullptr;
    return std::make_unique<EventWakeup>(event);
}

}  // namespace ovplat
