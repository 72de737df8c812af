#pragma once
// Named shared memory and the named auto-reset event that wakes the audio thread.
// Windows: file mapping and event objects. POSIX: shm_open("/"+name) and sem_open("/"+name)
// (one "/" in front; a name that already begins with "/" is used as it is).
// Error texts: "{system text} (0x8007XXXX)" on Windows, "{strerror text} (errno N)" elsewhere.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace ovplat {

// Which step of opening a mapping failed: finding the named object, or mapping its view.
enum class SharedMemoryFailure { none, open, map };

class SharedMemory {
public:
    // Opens an existing mapping read-write and maps `size` bytes; nullptr and `error` on failure.
    static std::unique_ptr<SharedMemory> open(const std::string& name, std::size_t size, std::string& error);
    // As above, also telling which step failed (`failed_at` is `none` on success).
    static std::unique_ptr<SharedMemory> open(const std::string& name, std::size_t size, std::string& error,
                                              SharedMemoryFailure& failed_at);
    // Creates (or truncates) a mapping of `size` zeroed bytes; removed again when destroyed.
    static std::unique_ptr<SharedMemory> create(const std::string& name, std::size_t size, std::string& error);
    virtual ~SharedMemory() = default;
    virtual void* data() = 0;
    virtual std::size_t size() const = 0;
};

class NamedEvent {
public:
    static std::unique_ptr<NamedEvent> open(const std::string& name, std::string& error);
    // Creates an auto-reset event, initially not set; removed again when destroyed.
    static std::unique_ptr<NamedEvent> create(const std::string& name, std::string& error);
    virtual ~NamedEvent() = default;
    virtual void set() = 0;
    // True when the event was set before `timeout_ms` passed. Consumes the signal.
    virtual bool wait(std::uint32_t timeout_ms) = 0;
};

}  // namespace ovplat
