#pragma once
// The host record every CLAP instance receives. Its callbacks may come from any thread, the
// audio thread included, so each one only stores into an atomic; the instance's poll acts on
// what was recorded later, on the main thread. The exceptions are the timers and descriptor
// watches a gui asks for where plug-in views run on the host's loop: those are taken on the
// main thread only (refused elsewhere) and run on its loop.
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "clap/abi.h"

namespace ovhost {

class ClapHost {
public:
    // The calling thread becomes the instance's main thread.
    ClapHost();
    ~ClapHost() { drop_registrations(); }
    ClapHost(const ClapHost&) = delete;
    ClapHost& operator=(const ClapHost&) = delete;

    const clapabi::clap_host* host() const { return &host_; }
    static ClapHost* from(const clapabi::clap_host* host);

    // The poll side: each read clears the request in one exchange.
    bool take_restart_requested() { return restart_requested_.exchange(false); }
    bool take_callback_requested() { return callback_requested_.exchange(false); }
    bool take_latency_changed() { return latency_changed_.exchange(false); }
    bool take_state_dirty() { return state_dirty_.exchange(false); }
    bool take_window_closed() { return window_closed_.exchange(false); }
    bool params_rescan_requested() const { return params_rescan_.load(); }
    struct Size {
        std::uint32_t width;
        std::uint32_t height;
    };
    Size take_requested_size() { return {requested_width_.exchange(0), requested_height_.exchange(0)}; }

    bool on_main_thread() const { return std::this_thread::get_id() == main_thread_; }

    // The plug-in the record belongs to, before its init: the callbacks of its timers and
    // watches go to its own "clap.timer-support" and "clap.posix-fd-support".
    void set_plugin(const clapabi::clap_plugin* plugin) { plugin_ = plugin; }
    // Between these two the gui exists: what the plug-in registers then belongs to the gui,
    // and whatever of it is left when the gui is destroyed is removed. Main thread only.
    void begin_gui() { gui_open_ = true; }
    void end_gui();
    // The plug-in is gone: every timer and watch left is removed, later ones are refused.
    void drop_registrations();
    // Timers and watches in force (for tests).
    std::size_t registrations() const { return timers_.size() + fds_.size(); }

private:
    static const void* get_extension(const clapabi::clap_host* host, const char* id);
    static void request_restart(const clapabi::clap_host* host);
    static void request_process(const clapabi::clap_host* host);
    static void request_callback(const clapabi::clap_host* host);
    static void gui_resize_hints_changed(const clapabi::clap_host* host);
    static bool gui_request_resize(const clapabi::clap_host* host, std::uint32_t width, std::uint32_t height);
    static bool gui_request_show(const clapabi::clap_host* host);
    static bool gui_request_hide(const clapabi::clap_host* host);
    static void gui_closed(const clapabi::clap_host* host, bool was_destroyed);
    static void log(const clapabi::clap_host* host, std::int32_t severity, const char* message);
    static void params_rescan(const clapabi::clap_host* host, std::uint32_t flags);
    static void params_clear(const clapabi::clap_host* host, clapabi::clap_id id, std::uint32_t flags);
    static void params_request_flush(const clapabi::clap_host* host);
    static void state_mark_dirty(const clapabi::clap_host* host);
    static void latency_changed(const clapabi::clap_host* host);
    static bool is_main_thread(const clapabi::clap_host* host);
    static bool is_audio_thread(const clapabi::clap_host* host);
    static bool register_timer(const clapabi::clap_host* host, std::uint32_t period_ms, clapabi::clap_id* timer_id);
    static bool unregister_timer(const clapabi::clap_host* host, clapabi::clap_id timer_id);
    static bool register_fd(const clapabi::clap_host* host, int fd, std::uint32_t flags);
    static bool modify_fd(const clapabi::clap_host* host, int fd, std::uint32_t flags);
    static bool unregister_fd(const clapabi::clap_host* host, int fd);

    // The record of the calling plug-in when it may register now: on the main thread, with
    // a loop there, while the plug-in lives.
    static ClapHost* registering(const clapabi::clap_host* host);
    void remove_where(bool only_gui);

    static const clapabi::clap_host_gui kGui;
    static const clapabi::clap_host_log kLog;
    static const clapabi::clap_host_params kParams;
    static const clapabi::clap_host_state kState;
    static const clapabi::clap_host_latency kLatency;
    static const clapabi::clap_host_thread_check kThreadCheck;
    static const clapabi::clap_host_timer_support kTimerSupport;
    static const clapabi::clap_host_posix_fd_support kPosixFdSupport;

    struct Timer {
        clapabi::clap_id id;
        std::uint64_t source;
        bool of_gui;
    };
    struct Watch {
        int fd;
        std::uint64_t source;
        bool of_gui;
    };

    clapabi::clap_host host_;
    std::atomic<std::uint32_t> requested_width_{0};
    std::atomic<std::uint32_t> requested_height_{0};
    std::atomic<bool> restart_requested_{false};
    std::atomic<bool> callback_requested_{false};
    std::atomic<bool> latency_changed_{false};
    std::atomic<bool> state_dirty_{false};
    std::atomic<bool> params_rescan_{false};
    std::atomic<bool> window_closed_{false};
    const std::thread::id main_thread_;
    // Main thread only.
    const clapabi::clap_plugin* plugin_ = nullptr;
    bool gui_open_ = false;
    bool plugin_gone_ = false;
    clapabi::clap_id next_timer_id_ = 1;
    std::vector<Timer> timers_;
    std::vector<Watch> fds_;
};

}  // namespace ovhost
