#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace ovplat {

// Starts a detached thread with the default stack size and the given name. False when the
// system could not create it.
bool start_detached_thread(const std::string& name, std::function<void()> body);

// Asks for the scheduling that serves an audio thread best on this system; a refusal leaves the
// thread as it was. Windows: the multimedia class scheduler's "Pro Audio" task. POSIX: the
// normal policy, unless the environment sets OV_PLUGINHOST_REALTIME=1, which asks for
// request_realtime_priority(): on virtual machines a real-time thread woken from an idle
// virtual CPU comes late far more often (measured: 99th percentile of a paced wake-up 2.8 ms
// against 0.1 ms), while on a loaded bare-metal machine it keeps other work from delaying it.
void request_pro_audio_priority();

// Asks for real-time scheduling of the calling thread: SCHED_FIFO at its lowest priority on
// POSIX, the "Pro Audio" task on Windows. True when the system granted it.
bool request_realtime_priority();

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
