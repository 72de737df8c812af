// A CLAP test file for Linux whose guis are made the way real Linux guis are: create() fails
// unless the host offers "clap.timer-support" and "clap.posix-fd-support"; a created gui
// redraws from a 16 ms timer, watches a pipe it writes to from the timer and, once it has a
// parent, its own X connection (the expose events its redraws cause come back there).
//   "org.orvia.test.loop-gui"            unregisters everything when destroyed
//   "org.orvia.test.loop-gui-forgetful"  leaves that to the host
// Both pass audio through unchanged, and on their first block try to register a timer from
// the audio thread (which the host must refuse). What they do goes to the OV_TEST_LOOP_LOG
// file (../loop_report.h) under the names "clap" and "clap-forgetful".
#include <X11/Xlib.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>

#include "../loop_report.h"
#include "clap/abi.h"
#include "test_module.h"

namespace ovtestclaploop {
namespace {

using namespace clapabi;

constexpr std::uint32_t kWidth = 360;
constexpr std::uint32_t kHeight = 240;

struct Plugin {
    clap_plugin clap{};
    const clap_host* host = nullptr;
    bool forgetful = false;
    std::string name;
    std::thread::id main;
    const clap_host_timer_support* host_timer = nullptr;
    const clap_host_posix_fd_support* host_fd = nullptr;
    std::atomic<bool> audio_tried{false};
    // The gui, on the main thread.
    bool created = false;
    clap_id timer = kInvalidId;
    int pipe_read = -1;
    int pipe_write = -1;
    Display* display = nullptr;
    Window window = 0;
    bool x_watched = false;
    int ticks = 0;

    void report(const char* event) const { ovtestloop::report(name, event, main); }
};

Plugin& self(const clap_plugin* plugin) { return *static_cast<Plugin*>(plugin->plugin_data); }

template <class T>
const T* host_extension(const clap_host* host, const char* id) {
    return host->get_extension != nullptr ? static_cast<const T*>(host->get_extension(host, id)) : nullptr;
}

void close_window(Plugin& p) {
    if (p.display == nullptr) return;
    if (p.x_watched && !p.forgetful) p.host_fd->unregister_fd(p.host, ConnectionNumber(p.display));
    p.x_watched = false;
    XDestroyWindow(p.display, p.window);
    XCloseDisplay(p.display);
    p.display = nullptr;
    p.window = 0;
}

// ---- gui ----

bool gui_is_api_supported(const clap_plugin*, const char* api, bool is_floating) {
    return api != nullptr && !is_floating && std::strcmp(api, kWindowApiX11) == 0;
}

bool gui_get_preferred_api(const clap_plugin*, const char** api, bool* is_floating) {
    if (api != nullptr) *api = kWindowApiX11;
    if (is_floating != nullptr) *is_floating = false;
    return true;
}

void gui_destroy(const clap_plugin* plugin);

bool gui_create(const clap_plugin* plugin, const char* api, bool is_floating) {
    Plugin& p = self(plugin);
    if (p.created || !gui_is_api_supported(plugin, api, is_floating)) return false;
    p.main = std::this_thread::get_id();
    if (p.host_timer == nullptr || p.host_fd == nullptr) {
        p.report("refused");
        return false;
    }
    int ends[2];
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    p.pipe_read = ends[0];
    p.pipe_write = ends[1];
    p.created = true;
    if (!p.host_timer->register_timer(p.host, ovtestloop::kRedrawPeriodMs, &p.timer) ||
        !p.host_fd->register_fd(p.host, p.pipe_read, kPosixFdRead)) {
        p.report("refused");
        gui_destroy(plugin);
        return false;
    }
    p.report("created");
    return true;
}

void gui_destroy(const clap_plugin* plugin) {
    Plugin& p = self(plugin);
    if (!p.created) return;
    close_window(p);
    if (!p.forgetful) {
        if (p.timer != kInvalidId) p.host_timer->unregister_timer(p.host, p.timer);
        p.host_fd->unregister_fd(p.host, p.pipe_read);
    }
    p.timer = kInvalidId;
    close(p.pipe_read);
    close(p.pipe_write);
    p.pipe_read = p.pipe_write = -1;
    p.created = false;
    p.report("destroyed");
}

bool gui_set_scale(const clap_plugin*, double) { return false; }

bool gui_get_size(const clap_plugin*, std::uint32_t* width, std::uint32_t* height) {
    if (width != nullptr) *width = kWidth;
    if (height != nullptr) *height = kHeight;
    return true;
}

bool gui_can_resize(const clap_plugin*) { return false; }
bool gui_get_resize_hints(const clap_plugin*, clap_gui_resize_hints*) { return false; }
bool gui_adjust_size(const clap_plugin*, std::uint32_t*, std::uint32_t*) { return false; }
bool gui_set_size(const clap_plugin*, std::uint32_t, std::uint32_t) { return false; }

bool gui_set_parent(const clap_plugin* plugin, const clap_window* parent) {
    Plugin& p = self(plugin);
    if (!p.created || parent == nullptr || parent->uptr == 0) return false;
    close_window(p);
    p.display = XOpenDisplay(nullptr);
    if (p.display == nullptr) return false;
    p.window = XCreateSimpleWindow(p.display, static_cast<Window>(parent->uptr), 0, 0, kWidth, kHeight, 0, 0, 0xFFFFFF);
    XStoreName(p.display, p.window, "Orvia test loop gui");
    XSelectInput(p.display, p.window, ExposureMask);
    XMapWindow(p.display, p.window);
    XFlush(p.display);
    if (!p.host_fd->register_fd(p.host, ConnectionNumber(p.display), kPosixFdRead)) {
        close_window(p);
        return false;
    }
    p.x_watched = true;
    p.report("parented");
    return true;
}

bool gui_set_transient(const clap_plugin*, const clap_window*) { return false; }
void gui_suggest_title(const clap_plugin*, const char*) {}
bool gui_show(const clap_plugin*) { return true; }
bool gui_hide(const clap_plugin*) { return true; }

const clap_plugin_gui kGui{&gui_is_api_supported, &gui_get_preferred_api, &gui_create,     &gui_destroy,
                           &gui_set_scale,        &gui_get_size,          &gui_can_resize, &gui_get_resize_hints,
                           &gui_adjust_size,      &gui_set_size,          &gui_set_parent, &gui_set_transient,
                           &gui_suggest_title,    &gui_show,              &gui_hide};

// ---- the host's callbacks ----

// Asks the server to repaint (the expose event comes back on the gui's own connection) and
// now and then writes to the pipe.
void on_timer(const clap_plugin* plugin, clap_id id) {
    Plugin& p = self(plugin);
    if (!p.created || id != p.timer) {
        p.report("late-timer");
        return;
    }
    p.report("timer");
    if (p.display != nullptr) {
        XClearArea(p.display, p.window, 0, 0, 0, 0, True);
        XFlush(p.display);
    }
    if (++p.ticks % ovtestloop::kPipeEveryTicks == 0) (void)!write(p.pipe_write, "t", 1);
}

void on_fd(const clap_plugin* plugin, int fd, std::uint32_t flags) {
    Plugin& p = self(plugin);
    if (!p.created) {
        p.report("late-fd");
        return;
    }
    if ((flags & kPosixFdRead) == 0) return;
    if (fd == p.pipe_read) {
        char buffer[64];
        while (read(fd, buffer, sizeof buffer) > 0) {
        }
        p.report("pipe");
    } else if (p.display != nullptr && fd == ConnectionNumber(p.display)) {
        bool exposed = false;
        while (XPending(p.display) > 0) {
            XEvent event;
            XNextEvent(p.display, &event);
            exposed = exposed || event.type == Expose;
        }
        if (exposed) {
            XFillRectangle(p.display, p.window, DefaultGC(p.display, DefaultScreen(p.display)), 10, 10, 40, 20);
            XFlush(p.display);
            p.report("x-expose");
        }
    }
}

const clap_plugin_timer_support kTimerSide{&on_timer};
const clap_plugin_posix_fd_support kFdSide{&on_fd};

// ---- the plug-in ----

bool plugin_init(const clap_plugin* plugin) {
    Plugin& p = self(plugin);
    p.host_timer = host_extension<clap_host_timer_support>(p.host, kExtTimerSupport);
    p.host_fd = host_extension<clap_host_posix_fd_support>(p.host, kExtPosixFdSupport);
    return true;
}

void plugin_destroy(const clap_plugin* plugin) {
    gui_destroy(plugin);
    delete &self(plugin);
}

bool plugin_activate(const clap_plugin*, double, std::uint32_t, std::uint32_t) { return true; }
void plugin_deactivate(const clap_plugin*) {}
bool plugin_start_processing(const clap_plugin*) { return true; }
void plugin_stop_processing(const clap_plugin*) {}
void plugin_reset(const clap_plugin*) {}

std::int32_t plugin_process(const clap_plugin* plugin, const clap_process* process) {
    Plugin& p = self(plugin);
    if (!p.audio_tried.exchange(true) && p.host_timer != nullptr) {
        clap_id id = kInvalidId;
        // Only the test's log is written here; a real plug-in would not touch a file.
        p.report(p.host_timer->register_timer(p.host, 100, &id) ? "audio-thread-accepted" : "audio-thread-refused");
    }
    if (process->audio_inputs_count > 0 && process->audio_outputs_count > 0) {
        const clap_audio_buffer& in = process->audio_inputs[0];
        const clap_audio_buffer& out = process->audio_outputs[0];
        const std::uint32_t channels = std::min(in.channel_count, out.channel_count);
        for (std::uint32_t c = 0; c < channels; ++c)
            if (out.data32[c] != in.data32[c])
                std::memcpy(out.data32[c], in.data32[c], sizeof(float) * process->frames_count);
    }
    return kProcessContinue;
}

const void* plugin_get_extension(const clap_plugin*, const char* id) {
    const std::string_view wanted(id);
    if (wanted == kExtGui) return &kGui;
    if (wanted == kExtTimerSupport) return &kTimerSide;
    if (wanted == kExtPosixFdSupport) return &kFdSide;
    return nullptr;
}

void plugin_on_main_thread(const clap_plugin*) {}

// ---- factory and entry ----

const char* const kFeatures[] = {"audio-effect", "utility", nullptr};
constexpr clap_version_t kVersion{1, 2, 2};
const clap_plugin_descriptor kDescriptors[] = {
    {kVersion, "org.orvia.test.loop-gui", "Test Loop Gui", "Orvia Tests", "https://orvia.app", nullptr, nullptr,
     "1.0.0", "", kFeatures},
    {kVersion, "org.orvia.test.loop-gui-forgetful", "Test Loop Gui Forgetful", "Orvia Tests", "https://orvia.app",
     nullptr, nullptr, "1.0.0", "", kFeatures},
};

std::uint32_t factory_count(const clap_plugin_factory*) { return static_cast<std::uint32_t>(std::size(kDescriptors)); }

const clap_plugin_descriptor* factory_descriptor(const clap_plugin_factory*, std::uint32_t index) {
    return index < std::size(kDescriptors) ? &kDescriptors[index] : nullptr;
}

const clap_plugin* factory_create(const clap_plugin_factory*, const clap_host* host, const char* id) {
    if (host == nullptr || id == nullptr) return nullptr;
    for (const auto& descriptor : kDescriptors) {
        if (std::strcmp(descriptor.id, id) != 0) continue;
        auto* p = new Plugin();
        p->host = host;
        p->forgetful = std::strstr(id, "forgetful") != nullptr;
        p->name = p->forgetful ? "clap-forgetful" : "clap";
        p->main = std::this_thread::get_id();
        p->clap = clap_plugin{&descriptor,           p,
                              &plugin_init,          &plugin_destroy,
                              &plugin_activate,      &plugin_deactivate,
                              &plugin_start_processing, &plugin_stop_processing,
                              &plugin_reset,         &plugin_process,
                              &plugin_get_extension, &plugin_on_main_thread};
        return &p->clap;
    }
    return nullptr;
}

const clap_plugin_factory kFactory{&factory_count, &factory_descriptor, &factory_create};

}  // namespace
}  // namespace ovtestclaploop

OV_CLAP_EXPORT const clapabi::clap_plugin_entry clap_entry =
    ovtestclapmodule::plain_entry<ovtestclaploop::kFactory>({1, 2, 2});
