// The CLAP test plug-ins: one file whose factory offers descriptors that reach every branch
// of the host's loading, processing, parameters, state, callbacks and editor. Built a second
// time with OV_CLAP_ENTRY_FLAW set for the files whose entry itself is faulty.
//
// Behaviours are triggered through the "Action" parameter (id 9). Values that need the main
// thread ask for a callback from the audio thread and act in on_main_thread:
//   1 mark_dirty              2 latency becomes 64, then latency changed
//   3 request_restart         4 gui request_resize(320, 200)
//   5 gui closed(false)       6 gui request_resize(0, 300)
//   7 request_resize(500, 300), then request_resize(420, 260)
//   8 restart, latency changed, mark_dirty, closed and request_resize(300, 200) at once
//   13 the next activate fails, then request_restart
// Values acted on in process, on the audio thread:
//   10 output events: Meter = 6, a note event, and a value for the unknown id 77
//   11 130 output values for Meter (i * 0.05, i = 0..129)
//   12 mark_dirty called from the audio thread
#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>

#include "clap/abi.h"
#include "test_module.h"
#include "gui.h"


namespace ovtestclap {

namespace {

using namespace clapabi;

constexpr clap_id kGainId = 1;
constexpr clap_id kModeId = 2;
constexpr clap_id kMeterId = 5;
constexpr clap_id kActivationsId = 6;
constexpr clap_id kActionId = 9;
constexpr clap_id kProbeValueId = 1;
constexpr clap_id kProbeEventsFirstId = 100;
constexpr clap_id kProbeTimeFirstId = 110;
constexpr clap_id kProbeThreadFirstId = 120;
constexpr clap_id kProbeLiveInstancesId = 124;
constexpr clap_id kProbeLastValueId = 126;
constexpr clap_id kProbeInitPathId = 127;
constexpr clap_id kProbeEntryInitsId = 128;
constexpr clap_id kProbeProcessingId = 129;
constexpr clap_id kProbeDestroyedActiveId = 130;
constexpr clap_id kWindowWidthId = 20;
constexpr clap_id kWindowHeightId = 21;
constexpr clap_id kWindowExistsId = 22;
constexpr clap_id kWindowsMadeId = 23;
constexpr clap_id kWindowShownId = 24;
constexpr std::uint32_t kProbeBlocks = 3;

std::atomic<int> g_live_instances{0};
std::atomic<int> g_entry_inits{0};
std::atomic<int> g_destroyed_while_active{0};
char g_init_path[1024] = {};

// ---- parameters ----

struct ParamDef {
    clap_id id;
    const char* name;
    std::uint32_t flags;
    double min, max, def;
    bool has_text;  // value_to_text answers (else the host prints the value itself)
};

constexpr std::uint32_t kRO = kParamIsReadOnly;
constexpr ParamDef kGainParams[] = {
    {kGainId, "Gain", kParamIsAutomatable, -24.0, 24.0, 0.0, true},
    {kModeId, "Mode", kParamIsStepped | kParamIsAutomatable, 0.0, 3.0, 0.0, false},
    {3, "Fixed", 0, 5.0, 5.0, 5.0, false},
    {4, "Secret", kParamIsHidden, 0.0, 1.0, 0.0, true},
    {kMeterId, "Meter", kRO, 0.0, 12.0, 0.0, true},
    {kActivationsId, "Activations", kRO | kParamIsStepped, 0.0, 100.0, 0.0, true},
    {kActionId, "Action", kParamIsStepped, 0.0, 20.0, 0.0, true},
};
constexpr ParamDef kProbeParams[] = {
    {kProbeValueId, "Value", kParamIsAutomatable, 0.0, 1000.0, 0.0, true},
    {kProbeEventsFirstId + 0, "Events in block 1", kRO, 0.0, 1024.0, 0.0, true},
    {kProbeEventsFirstId + 1, "Events in block 2", kRO, 0.0, 1024.0, 0.0, true},
    {kProbeEventsFirstId + 2, "Events in block 3", kRO, 0.0, 1024.0, 0.0, true},
    {kProbeTimeFirstId + 0, "Time of block 1", kRO, 0.0, 491520.0, 0.0, true},
    {kProbeTimeFirstId + 1, "Time of block 2", kRO, 0.0, 491520.0, 0.0, true},
    {kProbeTimeFirstId + 2, "Time of block 3", kRO, 0.0, 491520.0, 0.0, true},
    {kProbeThreadFirstId + 0, "Audio thread is main", kRO, 0.0, 1.0, 0.0, true},
    {kProbeThreadFirstId + 1, "Audio thread is audio", kRO, 0.0, 1.0, 0.0, true},
    {kProbeThreadFirstId + 2, "Main thread is main", kRO, 0.0, 1.0, 0.0, true},
    {kProbeThreadFirstId + 3, "Main thread is audio", kRO, 0.0, 1.0, 0.0, true},
    {kProbeLiveInstancesId, "Live instances", kRO, 0.0, 100.0, 0.0, true},
    {kProbeLastValueId, "Last value", kRO, 0.0, 1000.0, 0.0, true},
    {kProbeInitPathId, "Loaded from", kRO, 0.0, 1.0, 0.0, true},
    {kProbeEntryInitsId, "Entry inits", kRO, 0.0, 100.0, 0.0, true},
    {kProbeProcessingId, "Processing", kRO, 0.0, 1.0, 0.0, true},
    {kProbeDestroyedActiveId, "Destroyed while active", kRO, 0.0, 100.0, 0.0, true},
};
constexpr ParamDef kEditorParams[] = {
    {kActionId, "Action", kParamIsStepped, 0.0, 20.0, 0.0, true},
    {kWindowWidthId, "Window width", kRO, 0.0, 4096.0, 0.0, true},
    {kWindowHeightId, "Window height", kRO, 0.0, 4096.0, 0.0, true},
    {kWindowExistsId, "Window exists", kRO | kParamIsStepped, 0.0, 1.0, 0.0, true},
    {kWindowsMadeId, "Windows made", kRO, 0.0, 1000.0, 0.0, true},
    {kWindowShownId, "Window shown", kRO | kParamIsStepped, 0.0, 1.0, 0.0, true},
};

struct ParamSet {
    const ParamDef* defs;
    std::uint32_t count;
};
// Values an instance keeps, one per parameter of its set.
constexpr std::size_t kMaxParams = 32;

template <std::size_t N>
constexpr ParamSet param_set(const ParamDef (&defs)[N]) {
    static_assert(N <= kMaxParams, "an instance keeps at most kMaxParams values");
    return {defs, static_cast<std::uint32_t>(N)};
}

// ---- descriptors ----

enum class Ports { none, stereo, mono, sidechain, wide, instrument };
enum class State { none, chunks, refuses };

struct Kind {
    clap_plugin_descriptor descriptor;
    Ports ports;
    ParamSet params;
    State state;
    bool latency;
    GuiKind gui;
    bool init_fails;
    bool activate_fails;
    bool refuse_create;
    bool probe;
};

const char* const kGainFeatures[] = {"audio-effect", "utility", nullptr};
const char* const kProbeFeatures[] = {"audio-effect", "analyzer", nullptr};
const char* const kDelayFeatures[] = {"audio-effect", "delay", nullptr};
const char* const kSynthFeatures[] = {"instrument", "synthesizer", nullptr};
const char* const kNoFeatures[] = {nullptr};

constexpr clap_version_t kVersion{1, 2, 2};
constexpr ParamSet kNoParams{nullptr, 0};

clap_plugin_descriptor describe(const char* id, const char* name, const char* const* features) {
    return clap_plugin_descriptor{kVersion, id, name, "Orvia Tests", "https://orvia.app", nullptr, nullptr,
                                  "1.0.0",  "",  features};
}

const Kind kKinds[] = {
    // Stereo by default (no audio-ports), parameters of every sort, chunked state, latency.
    {describe("org.orvia.test.gain", "Test Gain", kGainFeatures), Ports::none, param_set(kGainParams), State::chunks,
     true, GuiKind::none, false, false, false, false},
    // Records what reaches it: events and steady time per block, thread checks.
    {describe("org.orvia.test.probe", "Test Probe", kProbeFeatures), Ports::stereo, param_set(kProbeParams),
     State::none, false, GuiKind::none, false, false, false, true},
    // A one-channel side-chain port before a two-channel port flagged main.
    {describe("org.orvia.test.sidechain", "Test Sidechain", kDelayFeatures), Ports::sidechain, kNoParams,
     State::none, false, GuiKind::none, false, false, false, false},
    // An input port of 0 channels and an output port of 16; its state cannot be saved.
    {describe("org.orvia.test.wide", "Test Wide", nullptr), Ports::wide, kNoParams, State::refuses, false,
     GuiKind::none, false, false, false, false},
    // One channel in and out.
    {describe("org.orvia.test.mono", "Test Mono", kGainFeatures), Ports::mono, kNoParams, State::none, false,
     GuiKind::none, false, false, false, false},
    {describe("org.orvia.test.synth", "Test Synth", kSynthFeatures), Ports::instrument, kNoParams, State::none, false,
     GuiKind::none, false, false, false, false},
    {describe("org.orvia.test.initfail", "Test Init Fails", kNoFeatures), Ports::stereo, kNoParams, State::none,
     false, GuiKind::none, true, false, false, false},
    {describe("org.orvia.test.activatefail", "Test Activate Fails", kNoFeatures), Ports::stereo, kNoParams,
     State::none, false, GuiKind::none, false, true, false, false},
    {describe("org.orvia.test.nocreate", "Test No Instance", kNoFeatures), Ports::stereo, kNoParams, State::none,
     false, GuiKind::none, false, false, true, false},
    // Windows: a working one, one for another system only, one whose create fails and one
    // that cannot be embedded.
    {describe("org.orvia.test.editor", "Test Editor", kGainFeatures), Ports::stereo, param_set(kEditorParams),
     State::none, false, GuiKind::working, false, false, false, false},
    {describe("org.orvia.test.editor-otherapi", "Test Editor Other Api", kGainFeatures), Ports::stereo,
     param_set(kEditorParams), State::none, false, GuiKind::other_api_only, false, false, false, false},
    {describe("org.orvia.test.editor-nocreate", "Test Editor No Create", kGainFeatures), Ports::stereo,
     param_set(kEditorParams), State::none, false, GuiKind::create_fails, false, false, false, false},
    {describe("org.orvia.test.editor-noparent", "Test Editor No Parent", kGainFeatures), Ports::stereo,
     param_set(kEditorParams), State::none, false, GuiKind::set_parent_fails, false, false, false, false},
};

// ---- the plug-in ----

struct Plugin {
    clap_plugin clap{};
    const Kind* kind = nullptr;
    const clap_host* host = nullptr;
    const clap_host_state* host_state = nullptr;
    const clap_host_latency* host_latency = nullptr;
    const clap_host_gui* host_gui = nullptr;
    const clap_host_thread_check* thread_check = nullptr;
    std::atomic<double> values[kMaxParams];  // by index in the kind's parameter set
    std::atomic<std::uint32_t> latency{0};
    std::atomic<int> activations{0};
    std::atomic<bool> active{false};
    std::atomic<bool> processing{false};
    std::atomic<int> pending_action{0};
    std::atomic<bool> fail_next_activate{false};
    std::uint32_t blocks = 0;  // audio thread
    std::atomic<double> events_in_block[kProbeBlocks] = {};
    std::atomic<double> time_of_block[kProbeBlocks] = {};
    std::atomic<double> audio_is_main{-1}, audio_is_audio{-1}, main_is_main{-1}, main_is_audio{-1};
    std::atomic<double> last_value{0};
    GuiState gui;
};

Plugin& self(const clap_plugin* plugin) { return *static_cast<Plugin*>(plugin->plugin_data); }

int param_index(const Plugin& p, clap_id id) {
    for (std::uint32_t i = 0; i < p.kind->params.count; ++i)
        if (p.kind->params.defs[i].id == id) return static_cast<int>(i);
    return -1;
}

double gain_factor(const Plugin& p) {
    if (p.kind->params.defs != kGainParams) return 1.0;
    return 1.0 + p.values[param_index(p, kGainId)].load() / 24.0;
}

template <class T>
const T* host_extension(const clap_host* host, const char* id) {
    return host->get_extension != nullptr ? static_cast<const T*>(host->get_extension(host, id)) : nullptr;
}

bool plugin_init(const clap_plugin* plugin) {
    Plugin& p = self(plugin);
    if (p.kind->init_fails) return false;
    p.host_state = host_extension<clap_host_state>(p.host, kExtState);
    p.host_latency = host_extension<clap_host_latency>(p.host, kExtLatency);
    p.host_gui = host_extension<clap_host_gui>(p.host, kExtGui);
    p.thread_check = host_extension<clap_host_thread_check>(p.host, kExtThreadCheck);
    if (p.thread_check != nullptr) {
        p.main_is_main = p.thread_check->is_main_thread(p.host) ? 1.0 : 0.0;
        p.main_is_audio = p.thread_check->is_audio_thread(p.host) ? 1.0 : 0.0;
    }
    return true;
}

void plugin_destroy(const clap_plugin* plugin) {
    Plugin* p = &self(plugin);
    if (p->active) g_destroyed_while_active.fetch_add(1);
    if (p->gui.created) kTestGui.destroy(plugin);
    delete p;
    g_live_instances.fetch_sub(1);
}

bool plugin_activate(const clap_plugin* plugin, double sample_rate, std::uint32_t min_frames,
                     std::uint32_t max_frames) {
    Plugin& p = self(plugin);
    // An active plug-in must be deactivated before it is activated again.
    if (p.active || p.kind->activate_fails || p.fail_next_activate.exchange(false)) return false;
    if (sample_rate != 48000.0 || min_frames != 1 || max_frames != 480) return false;
    p.activations.fetch_add(1);
    p.active = true;
    return true;
}

void plugin_deactivate(const clap_plugin* plugin) { self(plugin).active = false; }

bool plugin_start_processing(const clap_plugin* plugin) {
    Plugin& p = self(plugin);
    if (!p.active) return false;
    p.processing = true;
    return true;
}

void plugin_stop_processing(const clap_plugin* plugin) { self(plugin).processing = false; }
void plugin_reset(const clap_plugin*) {}

void push_value(const clap_output_events* out, clap_id id, double value) {
    clap_event_param_value event{};
    event.header = {sizeof event, 0, kCoreEventSpaceId, kEventParamValue, 0};
    event.param_id = id;
    event.note_id = -1;
    event.port_index = -1;
    event.channel = -1;
    event.key = -1;
    event.value = value;
    out->try_push(out, &event.header);
}

void act_on_audio_thread(Plugin& p, int action, const clap_output_events* out) {
    switch (action) {
        case 10: {
            push_value(out, kMeterId, 6.0);
            clap_event_header note{sizeof(clap_event_header), 0, kCoreEventSpaceId, kEventNoteOn, 0};
            out->try_push(out, &note);
            push_value(out, 77, 1.0);
            break;
        }
        case 11:
            for (int i = 0; i < 130; ++i) push_value(out, kMeterId, i * 0.05);
            break;
        case 12:
            if (p.host_state != nullptr) p.host_state->mark_dirty(p.host);
            break;
        default:
            p.pending_action = action;
            p.host->request_callback(p.host);
            break;
    }
}

void take_events(Plugin& p, const clap_process* process) {
    const std::uint32_t count = process->in_events->size(process->in_events);
    if (p.kind->probe && p.blocks < kProbeBlocks) {
        p.events_in_block[p.blocks] = count;
        p.time_of_block[p.blocks] = static_cast<double>(process->steady_time);
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        const clap_event_header* header = process->in_events->get(process->in_events, i);
        if (header == nullptr || header->space_id != kCoreEventSpaceId || header->type != kEventParamValue) continue;
        const auto* event = reinterpret_cast<const clap_event_param_value*>(header);
        const int index = param_index(p, event->param_id);
        if (index < 0) continue;
        p.values[index] = event->value;
        if (p.kind->probe) p.last_value = event->value;
        if (event->param_id == kActionId) act_on_audio_thread(p, static_cast<int>(std::lround(event->value)),
                                                              process->out_events);
    }
}

std::int32_t plugin_process(const clap_plugin* plugin, const clap_process* process) {
    Plugin& p = self(plugin);
    take_events(p, process);
    if (p.kind->probe && p.thread_check != nullptr) {
        p.audio_is_main = p.thread_check->is_main_thread(p.host) ? 1.0 : 0.0;
        p.audio_is_audio = p.thread_check->is_audio_thread(p.host) ? 1.0 : 0.0;
    }
    ++p.blocks;

    const std::uint32_t frames = process->frames_count;
    const auto factor = static_cast<float>(gain_factor(p));
    const clap_audio_buffer* in = process->audio_inputs;
    const clap_audio_buffer* out = process->audio_outputs;
    switch (p.kind->ports) {
        case Ports::none:
        case Ports::stereo:
        case Ports::mono:
            if (process->audio_inputs_count < 1 || process->audio_outputs_count < 1) return kProcessError;
            for (std::uint32_t c = 0; c < out[0].channel_count; ++c) {
                const float* source = in[0].data32[std::min(c, in[0].channel_count - 1)];
                for (std::uint32_t i = 0; i < frames; ++i) out[0].data32[c][i] = source[i] * factor;
            }
            break;
        case Ports::sidechain:
            // The main port is the second one; the side-chain port adds whatever it reads.
            if (process->audio_inputs_count < 2 || process->audio_outputs_count < 1) return kProcessError;
            for (std::uint32_t c = 0; c < out[0].channel_count; ++c) {
                const float* main = in[1].data32[std::min(c, in[1].channel_count - 1)];
                const float* side = in[0].data32[0];
                for (std::uint32_t i = 0; i < frames; ++i) out[0].data32[c][i] = main[i] * 0.5f + side[i];
            }
            break;
        case Ports::wide:
            if (process->audio_inputs_count < 1 || process->audio_outputs_count < 1) return kProcessError;
            for (std::uint32_t c = 0; c < out[0].channel_count; ++c)
                for (std::uint32_t i = 0; i < frames; ++i) out[0].data32[c][i] = in[0].data32[0][i];
            break;
        case Ports::instrument: break;
    }
    return kProcessContinue;
}

// ---- audio ports ----

struct PortSpec {
    std::uint32_t channels;
    std::uint32_t flags;
};

std::uint32_t ports_count(const clap_plugin* plugin, bool is_input) {
    switch (self(plugin).kind->ports) {
        case Ports::sidechain: return is_input ? 2 : 1;
        case Ports::instrument: return is_input ? 0 : 1;
        default: return 1;
    }
}

bool ports_get(const clap_plugin* plugin, std::uint32_t index, bool is_input, clap_audio_port_info* info) {
    PortSpec spec{2, kAudioPortIsMain};
    switch (self(plugin).kind->ports) {
        case Ports::sidechain:
            if (is_input) spec = index == 0 ? PortSpec{1, 0} : PortSpec{2, kAudioPortIsMain};
            break;
        case Ports::mono: spec = PortSpec{1, kAudioPortIsMain}; break;
        case Ports::wide: spec = is_input ? PortSpec{0, kAudioPortIsMain} : PortSpec{16, kAudioPortIsMain}; break;
        default: break;
    }
    if (index >= ports_count(plugin, is_input)) return false;
    info->id = index;
    std::strcpy(info->name, is_input ? "In" : "Out");
    info->flags = spec.flags;
    info->channel_count = spec.channels;
    info->port_type = nullptr;
    info->in_place_pair = kInvalidId;
    return true;
}

const clap_plugin_audio_ports kAudioPorts{&ports_count, &ports_get};

// ---- params ----

std::uint32_t params_count(const clap_plugin* plugin) { return self(plugin).kind->params.count; }

bool params_get_info(const clap_plugin* plugin, std::uint32_t index, clap_param_info* info) {
    const ParamSet& set = self(plugin).kind->params;
    if (index >= set.count) return false;
    const ParamDef& def = set.defs[index];
    info->id = def.id;
    info->flags = def.flags;
    info->cookie = nullptr;
    std::strncpy(info->name, def.name, sizeof info->name - 1);
    info->min_value = def.min;
    info->max_value = def.max;
    info->default_value = def.def;
    return true;
}

bool params_get_value(const clap_plugin* plugin, clap_id id, double* value) {
    Plugin& p = self(plugin);
    const int index = param_index(p, id);
    if (index < 0) return false;
    double v = p.values[index];
    if (p.kind->probe) {
        if (id >= kProbeEventsFirstId && id < kProbeEventsFirstId + kProbeBlocks) v = p.events_in_block[id - kProbeEventsFirstId];
        if (id >= kProbeTimeFirstId && id < kProbeTimeFirstId + kProbeBlocks) v = p.time_of_block[id - kProbeTimeFirstId];
        if (id == kProbeThreadFirstId + 0) v = p.audio_is_main;
        if (id == kProbeThreadFirstId + 1) v = p.audio_is_audio;
        if (id == kProbeThreadFirstId + 2) v = p.main_is_main;
        if (id == kProbeThreadFirstId + 3) v = p.main_is_audio;
        if (id == kProbeLiveInstancesId) v = g_live_instances.load();
        if (id == kProbeLastValueId) v = p.last_value;
        if (id == kProbeEntryInitsId) v = g_entry_inits.load();
        if (id == kProbeProcessingId) v = p.processing ? 1.0 : 0.0;
        if (id == kProbeDestroyedActiveId) v = g_destroyed_while_active.load();
    } else if (id == kActivationsId) {
        v = p.activations.load();
    } else if (p.kind->gui != GuiKind::none) {
        if (id == kWindowWidthId) v = p.gui.width.load();
        if (id == kWindowHeightId) v = p.gui.height.load();
        if (id == kWindowExistsId) v = p.gui.window_exists ? 1.0 : 0.0;
        if (id == kWindowsMadeId) v = p.gui.windows_made.load();
        if (id == kWindowShownId) v = p.gui.shown ? 1.0 : 0.0;
    }
    *value = v;
    return true;
}

bool params_value_to_text(const clap_plugin* plugin, clap_id id, double value, char* display, std::uint32_t size) {
    Plugin& p = self(plugin);
    const int index = param_index(p, id);
    if (index < 0 || !p.kind->params.defs[index].has_text || size == 0) return false;
    std::string text;
    if (p.kind->probe && id == kProbeInitPathId) {
        // The file name the entry was initialised with.
        const std::string_view path(g_init_path);
        const auto slash = path.find_last_of("/\\");
        text = std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
    } else {
        char digits[32];
        const double tenths = std::round(value * 10.0) / 10.0;
        const auto end = std::to_chars(digits, digits + sizeof digits, tenths, std::chars_format::fixed, 1).ptr;
        text.assign(digits, end);
        if (!p.kind->probe && id == kGainId) text += " dB";
    }
    const std::size_t n = std::min<std::size_t>(text.size(), size - 1);
    std::memcpy(display, text.data(), n);
    display[n] = '\0';
    return true;
}

bool params_text_to_value(const clap_plugin*, clap_id, const char*, double*) { return false; }
void params_flush(const clap_plugin*, const clap_input_events*, const clap_output_events*) {}

const clap_plugin_params kParams{&params_count,         &params_get_info,      &params_get_value,
                                 &params_value_to_text, &params_text_to_value, &params_flush};

// ---- state: written in three chunks, read back three bytes per call ----

constexpr char kStateMagic[4] = {'O', 'V', 'C', 'S'};
constexpr std::size_t kStateSize = 4 + 8 + 8;

bool state_save(const clap_plugin* plugin, const clap_ostream* stream) {
    Plugin& p = self(plugin);
    if (p.kind->state == State::refuses) {
        stream->write(stream, kStateMagic, sizeof kStateMagic);
        return false;
    }
    const double gain = p.values[param_index(p, kGainId)];
    const double mode = p.values[param_index(p, kModeId)];
    return stream->write(stream, kStateMagic, sizeof kStateMagic) == 4 && stream->write(stream, &gain, 8) == 8 &&
           stream->write(stream, &mode, 8) == 8;
}

bool state_load(const clap_plugin* plugin, const clap_istream* stream) {
    Plugin& p = self(plugin);
    if (p.kind->state == State::refuses) return false;
    unsigned char bytes[kStateSize + 1];
    std::size_t have = 0;
    while (have < sizeof bytes) {
        const std::int64_t got = stream->read(stream, bytes + have, std::min<std::size_t>(3, sizeof bytes - have));
        if (got <= 0) break;
        have += static_cast<std::size_t>(got);
    }
    if (have != kStateSize || std::memcmp(bytes, kStateMagic, 4) != 0) return false;
    double gain = 0, mode = 0;
    std::memcpy(&gain, bytes + 4, 8);
    std::memcpy(&mode, bytes + 12, 8);
    p.values[param_index(p, kGainId)] = gain;
    p.values[param_index(p, kModeId)] = mode;
    return true;
}

const clap_plugin_state kState{&state_save, &state_load};

std::uint32_t latency_get(const clap_plugin* plugin) { return self(plugin).latency; }
const clap_plugin_latency kLatency{&latency_get};

// ---- main-thread actions ----

void plugin_on_main_thread(const clap_plugin* plugin) {
    Plugin& p = self(plugin);
    const clap_host* host = p.host;
    switch (p.pending_action.exchange(0)) {
        case 1:
            if (p.host_state != nullptr) p.host_state->mark_dirty(host);
            break;
        case 2:
            p.latency = 64;
            if (p.host_latency != nullptr) p.host_latency->changed(host);
            break;
        case 3: host->request_restart(host); break;
        case 4:
            if (p.host_gui != nullptr) p.host_gui->request_resize(host, 320, 200);
            break;
        case 5:
            if (p.host_gui != nullptr) p.host_gui->closed(host, false);
            break;
        case 6:
            if (p.host_gui != nullptr) p.host_gui->request_resize(host, 0, 300);
            break;
        case 7:
            if (p.host_gui != nullptr) {
                p.host_gui->request_resize(host, 500, 300);
                p.host_gui->request_resize(host, 420, 260);
            }
            break;
        case 8:
            host->request_restart(host);
            if (p.host_latency != nullptr) p.host_latency->changed(host);
            if (p.host_state != nullptr) p.host_state->mark_dirty(host);
            if (p.host_gui != nullptr) {
                p.host_gui->closed(host, true);
                p.host_gui->request_resize(host, 300, 200);
            }
            break;
        case 13:
            p.fail_next_activate = true;
            host->request_restart(host);
            break;
        default: break;
    }
}

const void* plugin_get_extension(const clap_plugin* plugin, const char* id) {
    const Kind& kind = *self(plugin).kind;
    const std::string_view wanted(id);
    if (wanted == kExtAudioPorts && kind.ports != Ports::none) return &kAudioPorts;
    if (wanted == kExtParams && kind.params.count > 0) return &kParams;
    if (wanted == kExtState && kind.state != State::none) return &kState;
    if (wanted == kExtLatency && kind.latency) return &kLatency;
    if (wanted == kExtGui && kind.gui != GuiKind::none) return &kTestGui;
    return nullptr;
}

// ---- factory and entry ----

std::uint32_t factory_count(const clap_plugin_factory*) { return static_cast<std::uint32_t>(std::size(kKinds)); }

const clap_plugin_descriptor* factory_descriptor(const clap_plugin_factory*, std::uint32_t index) {
    return index < std::size(kKinds) ? &kKinds[index].descriptor : nullptr;
}

const clap_plugin* factory_create(const clap_plugin_factory*, const clap_host* host, const char* id) {
    if (host == nullptr || id == nullptr) return nullptr;
    for (const Kind& kind : kKinds) {
        if (std::strcmp(kind.descriptor.id, id) != 0) continue;
        if (kind.refuse_create) return nullptr;
        auto* p = new Plugin();
        p->kind = &kind;
        p->host = host;
        p->gui.kind = kind.gui;
        for (std::uint32_t i = 0; i < kind.params.count; ++i) p->values[i] = kind.params.defs[i].def;
        p->clap = clap_plugin{&kind.descriptor,      p,
                              &plugin_init,          &plugin_destroy,
                              &plugin_activate,      &plugin_deactivate,
                              &plugin_start_processing, &plugin_stop_processing,
                              &plugin_reset,         &plugin_process,
                              &plugin_get_extension, &plugin_on_main_thread};
        g_live_instances.fetch_add(1);
        return &p->clap;
    }
    return nullptr;
}

const clap_plugin_factory kFactory{&factory_count, &factory_descriptor, &factory_create};

// The file variants: 0 sound, 1 pre-1.0 version, 2 init fails, 3 no factory.
#ifndef OV_CLAP_ENTRY_FLAW
#define OV_CLAP_ENTRY_FLAW 0
#endif

[[maybe_unused]] bool entry_init(const char* path) {
    if (OV_CLAP_ENTRY_FLAW == 2) return false;
    g_entry_inits.fetch_add(1);
    std::strncpy(g_init_path, path != nullptr ? path : "", sizeof g_init_path - 1);
    return true;
}

[[maybe_unused]] void entry_deinit() {}

[[maybe_unused]] const void* entry_get_factory(const char* id) {
    if (OV_CLAP_ENTRY_FLAW == 3 || id == nullptr) return nullptr;
    return std::strcmp(id, kPluginFactoryId) == 0 ? &kFactory : nullptr;
}

}  // namespace

GuiState& gui_state_of(const clapabi::clap_plugin* plugin) { return self(plugin).gui; }

}  // namespace ovtestclap

#if OV_CLAP_ENTRY_FLAW == 4
// A library that is not a CLAP plug-in: no entry at all.
OV_CLAP_EXPORT const int ov_clap_no_entry_here = 1;
#else
OV_CLAP_EXPORT const clapabi::clap_plugin_entry clap_entry{
    {OV_CLAP_ENTRY_FLAW == 1 ? 0u : 1u, OV_CLAP_ENTRY_FLAW == 1 ? 9u : 2u, 0u},
    &ovtestclap::entry_init,
    &ovtestclap::entry_deinit,
    &ovtestclap::entry_get_factory,
};
#endif
