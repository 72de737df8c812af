#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace ovplat {

// Starts a detached thread with the default stack size and the given name. False when the
// system could not create it.
bool start_detached_thread(const std::string& name, std::function<void()> body);

// Asks for real-time scheduling of the calling thread ("Pro Audio" class on Windows).
// Failure is ignored: the thread simply runs with normal priority.
void request_pro_audio_priority();

// An unnamed auto-reset signal between two threads of this process. set() never blocks and
// takes no lock, so a real-time thread may call it; wait() is for the other side.
class Wakeup {
public:
    // nullptr when the system could not create one.
    static std::unique_ptr<Wakeup> create();
    virtual ~Wakeup() = default;
    virtual void set() = 0;
    // True when the signal was set before `timeout_ms` passed; consumes it.
    virtual bool wait(std::uint32_t timeout_ms) = 0;
};

}  // namespace ovplat
