#pragma once
// The binary interface between a host and a CLAP plug-in file (CLAP 1.x): plain C structs of
// data and function pointers with natural alignment and the C calling convention. Declared
// here from the interface's documented layout; shared by the host and our test plug-ins.
#include <cstddef>
#include <cstdint>

namespace clapabi {

using clap_id = std::uint32_t;
inline constexpr clap_id kInvalidId = UINT32_MAX;
inline constexpr std::size_t kNameSize = 256;
inline constexpr std::size_t kPathSize = 1024;

struct clap_version_t {
    std::uint32_t major;
    std::uint32_t minor;
    std::uint32_t revision;
};

// Identifiers of factories and extensions.
inline constexpr const char* kPluginFactoryId = "clap.plugin-factory";
inline constexpr const char* kExtAudioPorts = "clap.audio-ports";
inline constexpr const char* kExtParams = "clap.params";
inline constexpr const char* kExtState = "clap.state";
inline constexpr const char* kExtLatency = "clap.latency";
inline constexpr const char* kExtGui = "clap.gui";
inline constexpr const char* kExtLog = "clap.log";
inline constexpr const char* kExtThreadCheck = "clap.thread-check";
inline constexpr const char* kExtTimerSupport = "clap.timer-support";
inline constexpr const char* kExtPosixFdSupport = "clap.posix-fd-support";
inline constexpr const char* kExtNotePorts = "clap.note-ports";

inline constexpr const char* kWindowApiWin32 = "win32";
inline constexpr const char* kWindowApiX11 = "x11";

// Events.
inline constexpr std::uint16_t kCoreEventSpaceId = 0;
enum : std::uint16_t {
    kEventNoteOn = 0,
    kEventNoteOff = 1,
    kEventNoteChoke = 2,
    kEventNoteEnd = 3,
    kEventNoteExpression = 4,
    kEventParamValue = 5,
    kEventParamMod = 6,
    kEventParamGestureBegin = 7,
    kEventParamGestureEnd = 8,
    kEventTransport = 9,
    kEventMidi = 10,
    kEventMidiSysex = 11,
    kEventMidi2 = 12,
};

enum : std::int32_t {
    kProcessError = 0,
    kProcessContinue = 1,
    kProcessContinueIfNotQuiet = 2,
    kProcessTail = 3,
    kProcessSleep = 4,
};

// Parameter flags.
inline constexpr std::uint32_t kParamIsStepped = 1u << 0;
inline constexpr std::uint32_t kParamIsPeriodic = 1u << 1;
inline constexpr std::uint32_t kParamIsHidden = 1u << 2;
inline constexpr std::uint32_t kParamIsReadOnly = 1u << 3;
inline constexpr std::uint32_t kParamIsBypass = 1u << 4;
inline constexpr std::uint32_t kParamIsAutomatable = 1u << 5;

// Audio port flags.
inline constexpr std::uint32_t kAudioPortIsMain = 1u << 0;
inline constexpr std::uint32_t kAudioPortSupports64Bits = 1u << 1;
inline constexpr std::uint32_t kAudioPortPrefers64Bits = 1u << 2;
inline constexpr std::uint32_t kAudioPortRequiresCommonSampleSize = 1u << 3;

struct clap_host;
struct clap_plugin;
struct clap_plugin_descriptor;
struct clap_process;

struct clap_plugin_entry {
    clap_version_t clap_version;
    bool (*init)(const char* plugin_path);
    void (*deinit)();
    const void* (*get_factory)(const char* factory_id);
};

struct clap_plugin_factory {
    std::uint32_t (*get_plugin_count)(const clap_plugin_factory* factory);
    const clap_plugin_descriptor* (*get_plugin_descriptor)(const clap_plugin_factory* factory, std::uint32_t index);
    const clap_plugin* (*create_plugin)(const clap_plugin_factory* factory, const clap_host* host,
                                        const char* plugin_id);
};

struct clap_plugin_descriptor {
    clap_version_t clap_version;
    const char* id;
    const char* name;
    const char* vendor;
    const char* url;
    const char* manual_url;
    const char* support_url;
    const char* version;
    const char* description;
    const char* const* features;  // ends with a null pointer
};

struct clap_plugin {
    const clap_plugin_descriptor* desc;
    void* plugin_data;
    bool (*init)(const clap_plugin* plugin);
    void (*destroy)(const clap_plugin* plugin);
    bool (*activate)(const clap_plugin* plugin, double sample_rate, std::uint32_t min_frames,
                     std::uint32_t max_frames);
    void (*deactivate)(const clap_plugin* plugin);
    bool (*start_processing)(const clap_plugin* plugin);
    void (*stop_processing)(const clap_plugin* plugin);
    void (*reset)(const clap_plugin* plugin);
    std::int32_t (*process)(const clap_plugin* plugin, const clap_process* process);
    const void* (*get_extension)(const clap_plugin* plugin, const char* id);
    void (*on_main_thread)(const clap_plugin* plugin);
};

struct clap_host {
    clap_version_t clap_version;
    void* host_data;
    const char* name;
    const char* vendor;
    const char* url;
    const char* version;
    const void* (*get_extension)(const clap_host* host, const char* extension_id);
    void (*request_restart)(const clap_host* host);
    void (*request_process)(const clap_host* host);
    void (*request_callback)(const clap_host* host);
};

struct clap_event_header {
    std::uint32_t size;
    std::uint32_t time;
    std::uint16_t space_id;
    std::uint16_t type;
    std::uint32_t flags;
};

struct clap_event_param_value {
    clap_event_header header;
    clap_id param_id;
    void* cookie;
    std::int32_t note_id;
    std::int16_t port_index;
    std::int16_t channel;
    std::int16_t key;
    double value;
};

struct clap_input_events {
    void* ctx;
    std::uint32_t (*size)(const clap_input_events* list);
    const clap_event_header* (*get)(const clap_input_events* list, std::uint32_t index);
};

struct clap_output_events {
    void* ctx;
    bool (*try_push)(const clap_output_events* list, const clap_event_header* event);
};

struct clap_audio_buffer {
    float** data32;
    double** data64;
    std::uint32_t channel_count;
    std::uint32_t latency;
    std::uint64_t constant_mask;
};

struct clap_event_transport;  // never passed by this host

struct clap_process {
    std::int64_t steady_time;
    std::uint32_t frames_count;
    const clap_event_transport* transport;
    const clap_audio_buffer* audio_inputs;
    clap_audio_buffer* audio_outputs;
    std::uint32_t audio_inputs_count;
    std::uint32_t audio_outputs_count;
    const clap_input_events* in_events;
    const clap_output_events* out_events;
};

struct clap_istream {
    void* ctx;
    std::int64_t (*read)(const clap_istream* stream, void* buffer, std::uint64_t size);
};

struct clap_ostream {
    void* ctx;
    std::int64_t (*write)(const clap_ostream* stream, const void* buffer, std::uint64_t size);
};

struct clap_audio_port_info {
    clap_id id;
    char name[kNameSize];
    std::uint32_t flags;
    std::uint32_t channel_count;
    const char* port_type;
    clap_id in_place_pair;
};

struct clap_param_info {
    clap_id id;
    std::uint32_t flags;
    void* cookie;
    char name[kNameSize];
    char module[kPathSize];
    double min_value;
    double max_value;
    double default_value;
};

struct clap_window {
    const char* api;
    union {
        void* win32;
        void* cocoa;
        void* ptr;
        unsigned long x11;
        std::uintptr_t uptr;
    };
};

struct clap_gui_resize_hints;  // never asked for by this host

// Plug-in extensions.
struct clap_plugin_audio_ports {
    std::uint32_t (*count)(const clap_plugin* plugin, bool is_input);
    bool (*get)(const clap_plugin* plugin, std::uint32_t index, bool is_input, clap_audio_port_info* info);
};

struct clap_plugin_params {
    std::uint32_t (*count)(const clap_plugin* plugin);
    bool (*get_info)(const clap_plugin* plugin, std::uint32_t index, clap_param_info* info);
    bool (*get_value)(const clap_plugin* plugin, clap_id id, double* value);
    bool (*value_to_text)(const clap_plugin* plugin, clap_id id, double value, char* display, std::uint32_t size);
    bool (*text_to_value)(const clap_plugin* plugin, clap_id id, const char* display, double* value);
    void (*flush)(const clap_plugin* plugin, const clap_input_events* in, const clap_output_events* out);
};

struct clap_plugin_state {
    bool (*save)(const clap_plugin* plugin, const clap_ostream* stream);
    bool (*load)(const clap_plugin* plugin, const clap_istream* stream);
};

struct clap_plugin_latency {
    std::uint32_t (*get)(const clap_plugin* plugin);
};

struct clap_plugin_gui {
    bool (*is_api_supported)(const clap_plugin* plugin, const char* api, bool is_floating);
    bool (*get_preferred_api)(const clap_plugin* plugin, const char** api, bool* is_floating);
    bool (*create)(const clap_plugin* plugin, const char* api, bool is_floating);
    void (*destroy)(const clap_plugin* plugin);
    bool (*set_scale)(const clap_plugin* plugin, double scale);
    bool (*get_size)(const clap_plugin* plugin, std::uint32_t* width, std::uint32_t* height);
    bool (*can_resize)(const clap_plugin* plugin);
    bool (*get_resize_hints)(const clap_plugin* plugin, clap_gui_resize_hints* hints);
    bool (*adjust_size)(const clap_plugin* plugin, std::uint32_t* width, std::uint32_t* height);
    bool (*set_size)(const clap_plugin* plugin, std::uint32_t width, std::uint32_t height);
    bool (*set_parent)(const clap_plugin* plugin, const clap_window* window);
    bool (*set_transient)(const clap_plugin* plugin, const clap_window* window);
    void (*suggest_title)(const clap_plugin* plugin, const char* title);
    bool (*show)(const clap_plugin* plugin);
    bool (*hide)(const clap_plugin* plugin);
};

// Host extensions.
struct clap_host_gui {
    void (*resize_hints_changed)(const clap_host* host);
    bool (*request_resize)(const clap_host* host, std::uint32_t width, std::uint32_t height);
    bool (*request_show)(const clap_host* host);
    bool (*request_hide)(const clap_host* host);
    void (*closed)(const clap_host* host, bool was_destroyed);
};

struct clap_host_log {
    void (*log)(const clap_host* host, std::int32_t severity, const char* message);
};

struct clap_host_params {
    void (*rescan)(const clap_host* host, std::uint32_t flags);
    void (*clear)(const clap_host* host, clap_id id, std::uint32_t flags);
    void (*request_flush)(const clap_host* host);
};

struct clap_host_state {
    void (*mark_dirty)(const clap_host* host);
};

struct clap_host_latency {
    void (*changed)(const clap_host* host);
};

struct clap_host_thread_check {
    bool (*is_main_thread)(const clap_host* host);
    bool (*is_audio_thread)(const clap_host* host);
};

// Timers and descriptor watches of a gui that has no loop of its own (Linux): the host's
// side registers them, the plug-in's side receives the callbacks on the main thread.
struct clap_host_timer_support {
    bool (*register_timer)(const clap_host* host, std::uint32_t period_ms, clap_id* timer_id);
    bool (*unregister_timer)(const clap_host* host, clap_id timer_id);
};
struct clap_plugin_timer_support {
    void (*on_timer)(const clap_plugin* plugin, clap_id timer_id);
};

inline constexpr std::uint32_t kPosixFdRead = 1u << 0;
inline constexpr std::uint32_t kPosixFdWrite = 1u << 1;
inline constexpr std::uint32_t kPosixFdError = 1u << 2;
struct clap_host_posix_fd_support {
    bool (*register_fd)(const clap_host* host, int fd, std::uint32_t flags);
    bool (*modify_fd)(const clap_host* host, int fd, std::uint32_t flags);
    bool (*unregister_fd)(const clap_host* host, int fd);
};
struct clap_plugin_posix_fd_support {
    void (*on_fd)(const clap_plugin* plugin, int fd, std::uint32_t flags);
};

// The layout the interface fixes for the event records.
static_assert(sizeof(clap_event_header) == 16);
static_assert(sizeof(clap_event_param_value) == 56);
static_assert(offsetof(clap_event_param_value, param_id) == 16);
static_assert(offsetof(clap_event_param_value, cookie) == 24);
static_assert(offsetof(clap_event_param_value, note_id) == 32);
static_assert(offsetof(clap_event_param_value, port_index) == 36);
static_assert(offsetof(clap_event_param_value, channel) == 38);
static_assert(offsetof(clap_event_param_value, key) == 40);
static_assert(offsetof(clap_event_param_value, value) == 48);

}  // namespace clapabi
