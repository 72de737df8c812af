// The CLAP test file ov-test-lifecycle.clap: stereo gain effects (output = input x 0.5) that
// check the host's lifecycle calls and behave as many real plug-ins do around activation.
//
// Descriptors ("org.orvia.test." + id):
//   latency-in-activate   takes its pending latency in activate and reports it from there
//                         with latency.changed(), every time (the format's convention).
//   refuses-reactivation  a latency of 48 samples; Action 1 makes its next activation fail
//                         and asks for a restart.
// Parameters (ids): 1 Latency (0..1000 samples, stepped; a new value asks for a restart, which
// applies it), 9 Action, and read-only counters: 2 Activations, 3 Blocks (blocks processed),
// 4 Violations (calls the host may not make in the plug-in's state: activate while active,
// deactivate while inactive, start_processing while inactive or processing, stop_processing
// or process while not processing, latency while inactive, destroy while active).
#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

#include "clap/abi.h"
#include "test_module.h"


namespace ovtestclaplife {
namespace {

using namespace clapabi;

constexpr clap_id kLatencyId = 1;
constexpr clap_id kActivationsId = 2;
constexpr clap_id kBlocksId = 3;
constexpr clap_id kViolationsId = 4;
constexpr clap_id kActionId = 9;
constexpr std::uint32_t kRefusingLatency = 48;

struct ParamDef {
    clap_id id;
    const char* name;
    std::uint32_t flags;
    double max;
};
constexpr ParamDef kParams[] = {
    {kLatencyId, "Latency", kParamIsStepped | kParamIsAutomatable, 1000.0},
    {kActivationsId, "Activations", kParamIsReadOnly, 1e6},
    {kBlocksId, "Blocks", kParamIsReadOnly, 1e6},
    {kViolationsId, "Violations", kParamIsReadOnly, 1e6},
    {kActionId, "Action", kParamIsStepped, 20.0},
};

enum class Kind { latency_in_activate, refuses_reactivation };

const char* const kFeatures[] = {"audio-effect", "utility", nullptr};
constexpr clap_version_t kVersion{1, 2, 2};

const clap_plugin_descriptor kDescriptors[] = {
    {kVersion, "org.orvia.test.latency-in-activate", "Test Latency In Activate", "Orvia Tests", "https://orvia.app",
     nullptr, nullptr, "1.0.0", "", kFeatures},
    {kVersion, "org.orvia.test.refuses-reactivation", "Test Refuses Reactivation", "Orvia Tests",
     "https://orvia.app", nullptr, nullptr, "1.0.0", "", kFeatures},
};

struct Plugin {
    clap_plugin clap{};
    Kind kind = Kind::latency_in_activate;
    const clap_host* host = nullptr;
    const clap_host_latency* host_latency = nullptr;
    std::atomic<bool> active{false};
    std::atomic<bool> processing{false};
    std::atomic<std::uint32_t> latency{0};
    std::atomic<std::uint32_t> pending_latency{0};
    std::atomic<bool> fail_next_activate{false};
    std::atomic<int> pending_action{0};
    std::atomic<int> activations{0};
    std::atomic<int> blocks{0};
    std::atomic<int> violations{0};
};

Plugin& self(const clap_plugin* plugin) { return *static_cast<Plugin*>(plugin->plugin_data); }

void violation_unless(Plugin& p, bool allowed) {
    if (!allowed) ++p.violations;
}

bool plugin_init(const clap_plugin* plugin) {
    Plugin& p = self(plugin);
    if (p.host->get_extension != nullptr)
        p.host_latency = static_cast<const clap_host_latency*>(p.host->get_extension(p.host, kExtLatency));
    return true;
}

void plugin_destroy(const clap_plugin* plugin) {
    Plugin* p = &self(plugin);
    violation_unless(*p, !p->active);
    delete p;
}

bool plugin_activate(const clap_plugin* plugin, double sample_rate, std::uint32_t, std::uint32_t) {
    Plugin& p = self(plugin);
    violation_unless(p, !p.active);
    if (p.active || sample_rate != 48000.0 || p.fail_next_activate.exchange(false)) return false;
    p.latency = p.pending_latency.load();
    ++p.activations;
    p.active = true;
    // Reported from inside activate, as the format has it.
    if (p.kind == Kind::latency_in_activate && p.host_latency != nullptr) p.host_latency->changed(p.host);
    return true;
}

void plugin_deactivate(const clap_plugin* plugin) {
    Plugin& p = self(plugin);
    violation_unless(p, p.active && !p.processing);
    p.active = false;
}

bool plugin_start_processing(const clap_plugin* plugin) {
    Plugin& p = self(plugin);
    violation_unless(p, p.active && !p.processing);
    if (!p.active) return false;
    p.processing = true;
    return true;
}

void plugin_stop_processing(const clap_plugin* plugin) {
    Plugin& p = self(plugin);
    violation_unless(p, p.processing);
    p.processing = false;
}

void plugin_reset(const clap_plugin*) {}

void take_events(Plugin& p, const clap_process* process) {
    const std::uint32_t count = process->in_events->size(process->in_events);
    for (std::uint32_t i = 0; i < count; ++i) {
        const clap_event_header* header = process->in_events->get(process->in_events, i);
        if (header == nullptr || header->space_id != kCoreEventSpaceId || header->type != kEventParamValue) continue;
        const auto* event = reinterpret_cast<const clap_event_param_value*>(header);
        const auto value = static_cast<int>(std::lround(event->value));
        if (event->param_id == kLatencyId && p.kind == Kind::latency_in_activate) {
            p.pending_latency = static_cast<std::uint32_t>(value);
            p.pending_action = -1;  // a restart, asked for from the main thread
            p.host->request_callback(p.host);
        } else if (event->param_id == kActionId && value == 1) {
            p.pending_action = value;
            p.host->request_callback(p.host);
        }
    }
}

std::int32_t plugin_process(const clap_plugin* plugin, const clap_process* process) {
    Plugin& p = self(plugin);
    violation_unless(p, p.active && p.processing);
    ++p.blocks;
    take_events(p, process);
    if (process->audio_inputs_count < 1 || process->audio_outputs_count < 1) return kProcessError;
    const clap_audio_buffer& in = process->audio_inputs[0];
    const clap_audio_buffer& out = process->audio_outputs[0];
    for (std::uint32_t c = 0; c < out.channel_count; ++c) {
        const float* source = in.data32[std::min(c, in.channel_count - 1)];
        for (std::uint32_t i = 0; i < process->frames_count; ++i) out.data32[c][i] = 0.5f * source[i];
    }
    return kProcessContinue;
}

void plugin_on_main_thread(const clap_plugin* plugin) {
    Plugin& p = self(plugin);
    switch (p.pending_action.exchange(0)) {
        case -1: p.host->request_restart(p.host); break;
        case 1:
            p.fail_next_activate = true;
            p.host->request_restart(p.host);
            break;
        default: break;
    }
}

// ---- params ----

std::uint32_t params_count(const clap_plugin*) { return static_cast<std::uint32_t>(std::size(kParams)); }

bool params_get_info(const clap_plugin*, std::uint32_t index, clap_param_info* info) {
    if (index >= std::size(kParams)) return false;
    const ParamDef& def = kParams[index];
    info->id = def.id;
    info->flags = def.flags;
    info->cookie = nullptr;
    std::strncpy(info->name, def.name, sizeof info->name - 1);
    info->min_value = 0.0;
    info->max_value = def.max;
    info->default_value = 0.0;
    return true;
}

bool params_get_value(const clap_plugin* plugin, clap_id id, double* value) {
    Plugin& p = self(plugin);
    switch (id) {
        case kLatencyId: *value = p.pending_latency; return true;
        case kActivationsId: *value = p.activations; return true;
        case kBlocksId: *value = p.blocks; return true;
        case kViolationsId: *value = p.violations; return true;
        case kActionId: *value = 0; return true;
        default: return false;
    }
}

bool params_value_to_text(const clap_plugin*, clap_id, double value, char* display, std::uint32_t size) {
    if (size == 0) return false;
    char digits[32];
    const auto end = std::to_chars(digits, digits + sizeof digits, std::lround(value)).ptr;
    const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(end - digits), size - 1);
    std::memcpy(display, digits, n);
    display[n] = '\0';
    return true;
}

bool params_text_to_value(const clap_plugin*, clap_id, const char*, double*) { return false; }
void params_flush(const clap_plugin*, const clap_input_events*, const clap_output_events*) {}

const clap_plugin_params kParamsExtension{&params_count,         &params_get_info,      &params_get_value,
                                          &params_value_to_text, &params_text_to_value, &params_flush};

std::uint32_t latency_get(const clap_plugin* plugin) {
    Plugin& p = self(plugin);
    violation_unless(p, p.active);
    return p.latency;
}
const clap_plugin_latency kLatencyExtension{&latency_get};

const void* plugin_get_extension(const clap_plugin*, const char* id) {
    const std::string_view wanted(id);
    if (wanted == kExtParams) return &kParamsExtension;
    if (wanted == kExtLatency) return &kLatencyExtension;
    return nullptr;
}

// ---- factory and entry ----

std::uint32_t factory_count(const clap_plugin_factory*) { return static_cast<std::uint32_t>(std::size(kDescriptors)); }

const clap_plugin_descriptor* factory_descriptor(const clap_plugin_factory*, std::uint32_t index) {
    return index < std::size(kDescriptors) ? &kDescriptors[index] : nullptr;
}

const clap_plugin* factory_create(const clap_plugin_factory*, const clap_host* host, const char* id) {
    if (host == nullptr || id == nullptr) return nullptr;
    for (std::size_t i = 0; i < std::size(kDescriptors); ++i) {
        if (std::strcmp(kDescriptors[i].id, id) != 0) continue;
        auto* p = new Plugin();
        p->kind = i == 0 ? Kind::latency_in_activate : Kind::refuses_reactivation;
        p->host = host;
        if (p->kind == Kind::refuses_reactivation) p->pending_latency = kRefusingLatency;
        p->clap = clap_plugin{&kDescriptors[i],         p,
                              &plugin_init,             &plugin_destroy,
                              &plugin_activate,         &plugin_deactivate,
                              &plugin_start_processing, &plugin_stop_processing,
                              &plugin_reset,            &plugin_process,
                              &plugin_get_extension,    &plugin_on_main_thread};
        return &p->clap;
    }
    return nullptr;
}

const clap_plugin_factory kFactory{&factory_count, &factory_descriptor, &factory_create};

}  // namespace
}  // namespace ovtestclaplife

OV_CLAP_EXPORT const clapabi::clap_plugin_entry clap_entry =
    ovtestclapmodule::plain_entry<ovtestclaplife::kFactory>({1u, 2u, 0u});
