#include "clap/host.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "platform/main_loop.h"

namespace ovhost {

namespace {

constexpr const char* kHostName = "Orvia";
constexpr const char* kHostVendor = "Keswen";
constexpr const char* kHostUrl = "https://orvia.app";
constexpr const char* kHostVersion = "0.6";

}  // namespace

const clapabi::clap_host_gui ClapHost::kGui{&ClapHost::gui_resize_hints_changed, &ClapHost::gui_request_resize,
                                            &ClapHost::gui_request_show, &ClapHost::gui_request_hide,
                                            &ClapHost::gui_closed};
const clapabi::clap_host_log ClapHost::kLog{&ClapHost::log};
const clapabi::clap_host_params ClapHost::kParams{&ClapHost::params_rescan, &ClapHost::params_clear,
                                                  &ClapHost::params_request_flush};
const clapabi::clap_host_state ClapHost::kState{&ClapHost::state_mark_dirty};
const clapabi::clap_host_latency ClapHost::kLatency{&ClapHost::latency_changed};
const clapabi::clap_host_thread_check ClapHost::kThreadCheck{&ClapHost::is_main_thread, &ClapHost::is_audio_thread};
const clapabi::clap_host_timer_support ClapHost::kTimerSupport{&ClapHost::register_timer, &ClapHost::unregister_timer};
const clapabi::clap_host_posix_fd_support ClapHost::kPosixFdSupport{&ClapHost::register_fd, &ClapHost::modify_fd,
                                                                    &ClapHost::unregister_fd};

ClapHost::ClapHost() : main_thread_(std::this_thread::get_id()) {
    host_.clap_version = {1, 2, 2};
    host_.host_data = this;
    host_.name = kHostName;
    host_.vendor = kHostVendor;
    host_.url = kHostUrl;
    host_.version = kHostVersion;
    host_.get_extension = &ClapHost::get_extension;
    host_.request_restart = &ClapHost::request_restart;
    host_.request_process = &ClapHost::request_process;
    host_.request_callback = &ClapHost::request_callback;
}

ClapHost* ClapHost::from(const clapabi::clap_host* host) {
    return host != nullptr ? static_cast<ClapHost*>(host->host_data) : nullptr;
}

const void* ClapHost::get_extension(const clapabi::clap_host*, const char* id) {
    if (id == nullptr) return nullptr;
    struct Offered {
        std::string_view id;
        const void* table;
    };
    static const Offered kOffered[] = {
        {clapabi::kExtGui, &kGui},       {clapabi::kExtLog, &kLog},         {clapabi::kExtParams, &kParams},
        {clapabi::kExtState, &kState},   {clapabi::kExtLatency, &kLatency}, {clapabi::kExtThreadCheck, &kThreadCheck},
    };
    const std::string_view wanted(id);
    for (const auto& offered : kOffered)
        if (offered.id == wanted) return offered.table;
    if constexpr (ovplat::kLoopServesPluginViews) {
        if (wanted == clapabi::kExtTimerSupport) return &kTimerSupport;
        if (wanted == clapabi::kExtPosixFdSupport) return &kPosixFdSupport;
    }
    return nullptr;
}

void ClapHost::request_restart(const clapabi::clap_host* host) {
    if (auto* self = from(host)) self->restart_requested_.store(true);
}

void ClapHost::request_process(const clapabi::clap_host*) {}  // processing never pauses

void ClapHost::request_callback(const clapabi::clap_host* host) {
    if (auto* self = from(host)) self->callback_requested_.store(true);
}

void ClapHost::gui_resize_hints_changed(const clapabi::clap_host*) {}

bool ClapHost::gui_request_resize(const clapabi::clap_host* host, std::uint32_t width, std::uint32_t height) {
    if (auto* self = from(host)) {
        self->requested_width_.store(width);
        self->requested_height_.store(height);
    }
    return true;
}

bool ClapHost::gui_request_show(const clapabi::clap_host*) { return true; }
bool ClapHost::gui_request_hide(const clapabi::clap_host*) { return true; }

void ClapHost::gui_closed(const clapabi::clap_host* host, bool) {
    if (auto* self = from(host)) self->window_closed_.store(true);
}

void ClapHost::log(const clapabi::clap_host*, std::int32_t, const char*) {}  // the host keeps no log

void ClapHost::params_rescan(const clapabi::clap_host* host, std::uint32_t) {
    if (auto* self = from(host)) self->params_rescan_.store(true);
}

void ClapHost::params_clear(const clapabi::clap_host*, clapabi::clap_id, std::uint32_t) {}
void ClapHost::params_request_flush(const clapabi::clap_host*) {}

void ClapHost::state_mark_dirty(const clapabi::clap_host* host) {
    if (auto* self = from(host)) self->state_dirty_.store(true);
}

void ClapHost::latency_changed(const clapabi::clap_host* host) {
    if (auto* self = from(host)) self->latency_changed_.store(true);
}

bool ClapHost::is_main_thread(const clapabi::clap_host* host) {
    const auto* self = from(host);
    return self != nullptr && self->on_main_thread();
}

bool ClapHost::is_audio_thread(const clapabi::clap_host* host) { return !is_main_thread(host); }

namespace {

template <class Extension>
const Extension* plugin_side(const clapabi::clap_plugin* plugin, const char* id) {
    if (plugin == nullptr || plugin->get_extension == nullptr) return nullptr;
    return static_cast<const Extension*>(plugin->get_extension(plugin, id));
}

unsigned loop_events_of(std::uint32_t flags) {
    unsigned events = 0;
    if ((flags & clapabi::kPosixFdRead) != 0) events |= ovplat::kDescriptorReadable;
    if ((flags & clapabi::kPosixFdWrite) != 0) events |= ovplat::kDescriptorWritable;
    return events;
}

std::uint32_t fd_flags_of(unsigned what) {
    std::uint32_t flags = 0;
    if ((what & ovplat::kDescriptorReadable) != 0) flags |= clapabi::kPosixFdRead;
    if ((what & ovplat::kDescriptorWritable) != 0) flags |= clapabi::kPosixFdWrite;
    if ((what & ovplat::kDescriptorError) != 0) flags |= clapabi::kPosixFdError;
    return flags;
}

}  // namespace

ClapHost* ClapHost::registering(const clapabi::clap_host* host) {
    ClapHost* self = from(host);
    if (self == nullptr || !self->on_main_thread() || self->plugin_gone_ || self->plugin_ == nullptr ||
        ovplat::MainLoop::of_current_thread() == nullptr)
        return nullptr;
    return self;
}

// A plug-in without its side of the extension could never be called: it is refused.
bool ClapHost::register_timer(const clapabi::clap_host* host, std::uint32_t period_ms, clapabi::clap_id* timer_id) {
    ClapHost* self = registering(host);
    if (self == nullptr || timer_id == nullptr) return false;
    const auto* side = plugin_side<clapabi::clap_plugin_timer_support>(self->plugin_, clapabi::kExtTimerSupport);
    if (side == nullptr || side->on_timer == nullptr) return false;
    const clapabi::clap_id id = self->next_timer_id_++;
    if (self->next_timer_id_ == clapabi::kInvalidId) self->next_timer_id_ = 1;
    const clapabi::clap_plugin* plugin = self->plugin_;
    const auto source = ovplat::MainLoop::of_current_thread()->add_timer(
        period_ms, [plugin, side, id] { side->on_timer(plugin, id); });
    if (!source) return false;
    self->timers_.push_back(Timer{id, *source, self->gui_open_});
    *timer_id = id;
    return true;
}

bool ClapHost::unregister_timer(const clapabi::clap_host* host, clapabi::clap_id timer_id) {
    ClapHost* self = from(host);
    ovplat::MainLoop* loop = ovplat::MainLoop::of_current_thread();
    if (self == nullptr || !self->on_main_thread() || loop == nullptr) return false;
    const auto found = std::find_if(self->timers_.begin(), self->timers_.end(),
                                    [&](const Timer& timer) { return timer.id == timer_id; });
    if (found == self->timers_.end()) return false;
    loop->remove(found->source);
    self->timers_.erase(found);
    return true;
}

bool ClapHost::register_fd(const clapabi::clap_host* host, int fd, std::uint32_t flags) {
    ClapHost* self = registering(host);
    if (self == nullptr || fd < 0) return false;
    for (const auto& watch : self->fds_)
        if (watch.fd == fd) return false;  // one registration per descriptor; modify_fd changes it
    const auto* side = plugin_side<clapabi::clap_plugin_posix_fd_support>(self->plugin_, clapabi::kExtPosixFdSupport);
    if (side == nullptr || side->on_fd == nullptr) return false;
    const clapabi::clap_plugin* plugin = self->plugin_;
    const auto source = ovplat::MainLoop::of_current_thread()->add_descriptor(
        fd, loop_events_of(flags), [plugin, side](int ready_fd, unsigned what) { side->on_fd(plugin, ready_fd, fd_flags_of(what)); });
    if (!source) return false;
    self->fds_.push_back(Watch{fd, *source, self->gui_open_});
    return true;
}

bool ClapHost::modify_fd(const clapabi::clap_host* host, int fd, std::uint32_t flags) {
    ClapHost* self = registering(host);
    if (self == nullptr) return false;
    for (const auto& watch : self->fds_)
        if (watch.fd == fd) return ovplat::MainLoop::of_current_thread()->set_descriptor_events(watch.source, loop_events_of(flags));
    return false;
}

bool ClapHost::unregister_fd(const clapabi::clap_host* host, int fd) {
    ClapHost* self = from(host);
    ovplat::MainLoop* loop = ovplat::MainLoop::of_current_thread();
    if (self == nullptr || !self->on_main_thread() || loop == nullptr) return false;
    const auto found = std::find_if(self->fds_.begin(), self->fds_.end(), [&](const Watch& watch) { return watch.fd == fd; });
    if (found == self->fds_.end()) return false;
    loop->remove(found->source);
    self->fds_.erase(found);
    return true;
}

void ClapHost::remove_where(bool only_gui) {
    ovplat::MainLoop* loop = ovplat::MainLoop::of_current_thread();
    auto drop = [&](auto& list) {
        for (auto it = list.begin(); it != list.end();) {
            if (only_gui && !it->of_gui) {
                ++it;
                continue;
            }
            if (loop != nullptr) loop->remove(it->source);
            it = list.erase(it);
        }
    };
    drop(timers_);
    drop(fds_);
}

void ClapHost::end_gui() {
    gui_open_ = false;
    remove_where(true);
}

void ClapHost::drop_registrations() {
    plugin_gone_ = true;
    remove_where(false);
}

}  // namespace ovhost
