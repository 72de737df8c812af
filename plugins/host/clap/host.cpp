#include "clap/host.h"

#include <cstring>
#include <string_view>

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

}  // namespace ovhost
