// Windows named file mapping and auto-reset event.
#include "platform/shared_memory.h"

#include "wide_text.h"

#include <cstring>
#include <optional>

namespace ovplat {
namespace {

// The error text of a failed call: the system's message and the HRESULT in parentheses.
std::string win32_error_text(DWORD code) {
    const std::string message = win32::system_message(code);
    const std::string code_text = win32::hresult_text(code);
    return message.empty() ? code_text : message + " (" + code_text + ")";
}

// Object names are UTF-8; one that is not cannot name anything.
std::optional<std::wstring> object_name(const std::string& name, std::string& error) {
    auto wide = win32::utf8_to_utf16(name);
    if (!wide) error = win32_error_text(ERROR_INVALID_NAME);
    return wide;
}

class Win32SharedMemory final : public SharedMemory {
public:
    Win32SharedMemory(HANDLE mapping, void* view, std::size_t size) : mapping_(mapping), view_(view), size_(size) {}
    ~Win32SharedMemory() override {
        UnmapViewOfFile(view_);
        CloseHandle(mapping_);  // the object goes away with its last handle
    }
    void* data() override { return view_; }
    std::size_t size() const override { return size_; }

private:
    HANDLE mapping_;
    void* view_;
    std::size_t size_;
};

class Win32NamedEvent final : public NamedEvent {
public:
    explicit Win32NamedEvent(HANDLE event) : event_(event) {}
    ~Win32NamedEvent() override { CloseHandle(event_); }
    void set() override { SetEvent(event_); }
    bool wait(std::uint32_t timeout_ms) override { return WaitForSingleObject(event_, timeout_ms) == WAIT_OBJECT_0; }

private:
    HANDLE event_;
};

}  // namespace

std::unique_ptr<SharedMemory> SharedMemory::open(const std::string& name, std::size_t size, std::string& error) {
    SharedMemoryFailure ignored;
    return open(name, size, error, ignored);
}

std::unique_ptr<SharedMemory> SharedMemory::open(const std::string& name, std::size_t size, std::string& error,
                                                 SharedMemoryFailure& failed_at) {
    failed_at = SharedMemoryFailure::open;
    auto wide_name = object_name(name, error);
    if (!wide_name) return nullptr;
    HANDLE mapping = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, wide_name->c_str());
    if (!mapping) {
        error = win32_error_text(GetLastError());
        return nullptr;
    }
    failed_at = SharedMemoryFailure::map;
    void* view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, size);
    if (!view) {
        error = win32_error_text(GetLastError());
        CloseHandle(mapping);
        return nullptr;
    }
    failed_at = SharedMemoryFailure::none;
    return std::make_unique<Win32SharedMemory>(mapping, view, size);
}

std::unique_ptr<SharedMemory> SharedMemory::create(const std::string& name, std::size_t size, std::string& error) {
    auto wide_name = object_name(name, error);
    if (!wide_name) return nullptr;
    const auto size64 = static_cast<std::uint64_t>(size);
    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                        static_cast<DWORD>(size64 >> 32), static_cast<DWORD>(size64 & 0xFFFFFFFFu),
                                        wide_name->c_str());
    if (!mapping) {
        error = win32_error_text(GetLastError());
        return nullptr;
    }
    const bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
    void* view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, size);
    if (!view) {
        error = win32_error_text(GetLastError());
        CloseHandle(mapping);
        return nullptr;
    }
    // A new mapping comes zeroed; one that someone else still holds open is cleared.
    if (existed) std::memset(view, 0, size);
    return std::make_unique<Win32SharedMemory>(mapping, view, size);
}

std::unique_ptr<NamedEvent> NamedEvent::open(const std::string& name, std::string& error) {
    auto wide_name = object_name(name, error);
    if (!wide_name) return nullptr;
    HANDLE event = OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, wide_name->c_str());
    if (!event) {
        error = win32_error_text(GetLastError());
        return nullptr;
    }
    return std::make_unique<Win32NamedEvent>(event);
}

std::unique_ptr<NamedEvent> NamedEvent::create(const std::string& name, std::string& error) {
    auto wide_name = object_name(name, error);
    if (!wide_name) return nullptr;
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, wide_name->c_str());
    if (!event) {
        error = win32_error_text(GetLastError());
        return nullptr;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) ResetEvent(event);
    return std::make_unique<Win32NamedEvent>(event);
}

}  // namespace ovplat
