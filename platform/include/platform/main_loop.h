#pragma once
// The main thread's message loop: woken by other threads and by a 20 ms timer; on Windows
// it also dispatches the messages of the windows the main thread owns.
#include <functional>
#include <memory>
#include <string>

namespace ovplat {

// Joins the calling thread to a single-threaded COM apartment (nothing elsewhere). The
// result is ignored on purpose: the plug-ins that need COM will say so themselves.
void initialize_com_apartment();

class MainLoop {
public:
    // Tick period of the loop's timer.
    static constexpr unsigned kTickMs = 20;

    // Creates the loop for the calling thread, which must then call run(). nullptr and
    // `error` when the timer cannot be set up.
    static std::unique_ptr<MainLoop> create(std::string& error);
    virtual ~MainLoop() = default;

    // Wakes run() from any thread. False when the wake-up could not be delivered.
    virtual bool wake() = 0;

    // Calls `on_wake` after every wake() and at least every kTickMs (several wake-ups
    // that arrive while it runs may be folded into one call); window messages are
    // dispatched in between. Returns when `on_wake` returns false, or when the system
    // ends the loop (Windows: WM_QUIT or a failing GetMessageW).
    virtual void run(const std::function<bool()>& on_wake) = 0;
};

}  // namespace ovplat
