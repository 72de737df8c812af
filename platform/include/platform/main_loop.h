#pragma once
// The main thread's message loop: woken by other threads and by a 20 ms timer; on Windows
// it also dispatches the messages of the windows the main thread owns. Elsewhere it also
// runs the timers and descriptor watches that plug-in views ask for (they have no loop of
// their own there), waiting for all of them at once.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace ovplat {

// Joins the calling thread to a single-threaded COM apartment (nothing elsewhere). The
// result is ignored on purpose: the plug-ins that need COM will say so themselves.
void initialize_com_apartment();

// Whether plug-in views on this system run their timers and descriptor watches on the
// host's loop. Windows views use their own window timers and the loop's message dispatch.
#ifdef _WIN32
inline constexpr bool kLoopServesPluginViews = false;
#else
inline constexpr bool kLoopServesPluginViews = true;
#endif

// What a descriptor watch waits for, and what a callback reports (bits).
inline constexpr unsigned kDescriptorReadable = 1u << 0;
inline constexpr unsigned kDescriptorWritable = 1u << 1;
inline constexpr unsigned kDescriptorError = 1u << 2;  // error or hang-up; always reported

class MainLoop {
public:
    // Tick period of the loop's timer.
    static constexpr unsigned kTickMs = 20;
    // Shorter timer periods are raised to this, so that no timer keeps the loop spinning.
    static constexpr std::uint32_t kMinTimerPeriodMs = 4;

    // Creates the loop for the calling thread, which must then call run(). nullptr and
    // `error` when the timer cannot be set up.
    static std::unique_ptr<MainLoop> create(std::string& error);
    virtual ~MainLoop() = default;

    // The loop the calling thread created and has not destroyed; nullptr on every other
    // thread. Code that runs on behalf of a plug-in reaches the loop of its thread here.
    static MainLoop* of_current_thread();

    // Wakes run() from any thread. False when the wake-up could not be delivered.
    virtual bool wake() = 0;

    // Calls `on_wake` after every wake() and at least every kTickMs (several wake-ups
    // that arrive while it runs may be folded into one call); window messages, timers and
    // descriptor watches are handled in between. Returns when `on_wake` returns false, or
    // when the system ends the loop (Windows: WM_QUIT or a failing GetMessageW).
    virtual void run(const std::function<bool()>& on_wake) = 0;

    // Timers and descriptor watches (only where kLoopServesPluginViews; refused elsewhere).
    // Their callbacks run on the loop's thread inside run(). Only that thread may add,
    // change or remove them: calls from any other thread are refused. A callback may add
    // and remove sources, itself included. Ids are unique in the process, so removing an
    // id a loop does not know (any more) is harmless.
    using SourceId = std::uint64_t;

    // Calls `on_timer` about every `period_ms` (at least kMinTimerPeriodMs), keeping that
    // rhythm: a late call does not shift the later ones, and periods missed while the loop
    // was held up are skipped, not made up in a burst. Timers due together run in the order
    // they are due, then in the order they were added.
    virtual std::optional<SourceId> add_timer(std::uint32_t period_ms, std::function<void()> on_timer) = 0;
    // Calls `on_ready(fd, what)` whenever `fd` is ready for one of `events` (or has an
    // error or hung up). A descriptor that reports only an error or a hang-up is reported
    // once and then left alone until its events are set again (it would stay so for ever).
    virtual std::optional<SourceId> add_descriptor(int fd, unsigned events,
                                                   std::function<void(int fd, unsigned what)> on_ready) = 0;
    virtual bool set_descriptor_events(SourceId id, unsigned events) = 0;
    // False when the source is unknown or the caller is not the loop's thread.
    virtual bool remove(SourceId id) = 0;
};

}  // namespace ovplat
