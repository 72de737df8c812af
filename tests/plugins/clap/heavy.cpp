// The CLAP test file ov-test-heavy.clap: one stereo effect, "org.orvia.test.heavy", that does a
// fixed and large amount of arithmetic per block, like a real reverb or amp model: each
// channel runs through a long cascade of first-order all-pass sections. The benchmarks use it
// to compare the host's cost with a direct run of the same plug-in. All-pass sections keep
// the signal's level, so the output stays finite and far from subnormal numbers. No
// extensions: the host's defaults (stereo, no parameters) apply.
#include <algorithm>
#include <cstring>
#include <new>

#include "clap/abi.h"
#include "test_module.h"


namespace ovtestclapheavy {
namespace {

using namespace clapabi;

// About a quarter of a 10 ms block on a current desktop core.
constexpr std::uint32_t kStages = 1024;
constexpr std::uint32_t kChannels = 2;
constexpr float kCoefficient = 0.5f;

const char* const kFeatures[] = {"audio-effect", "reverb", nullptr};
const clap_plugin_descriptor kDescriptor{
    {1, 2, 2}, "org.orvia.test.heavy", "Test Heavy", "Orvia Tests", "https://orvia.app", nullptr, nullptr, "1.0.0",
    "",        kFeatures};

struct Section {
    float x1 = 0.0f, y1 = 0.0f;
};

struct Plugin {
    clap_plugin clap{};
    Section sections[kChannels][kStages];
};

Plugin& self(const clap_plugin* plugin) { return *static_cast<Plugin*>(plugin->plugin_data); }

bool plugin_init(const clap_plugin*) { return true; }
void plugin_destroy(const clap_plugin* plugin) { delete &self(plugin); }
bool plugin_activate(const clap_plugin* plugin, double, std::uint32_t, std::uint32_t) {
    std::fill(&self(plugin).sections[0][0], &self(plugin).sections[0][0] + kChannels * kStages, Section{});
    return true;
}
void plugin_deactivate(const clap_plugin*) {}
bool plugin_start_processing(const clap_plugin*) { return true; }
void plugin_stop_processing(const clap_plugin*) {}
void plugin_reset(const clap_plugin*) {}

std::int32_t plugin_process(const clap_plugin* plugin, const clap_process* process) {
    Plugin& p = self(plugin);
    if (process->audio_inputs_count < 1 || process->audio_outputs_count < 1) return kProcessError;
    const clap_audio_buffer& in = process->audio_inputs[0];
    const clap_audio_buffer& out = process->audio_outputs[0];
    if (in.channel_count == 0) return kProcessError;
    const std::uint32_t channels = std::min(out.channel_count, kChannels);
    for (std::uint32_t c = 0; c < channels; ++c) {
        const float* source = in.data32[std::min(c, in.channel_count - 1)];
        float* target = out.data32[c];
        Section* sections = p.sections[c];
        for (std::uint32_t i = 0; i < process->frames_count; ++i) {
            float x = source[i];
            for (std::uint32_t s = 0; s < kStages; ++s) {
                const float y = kCoefficient * (x - sections[s].y1) + sections[s].x1;
                sections[s].x1 = x;
                sections[s].y1 = y;
                x = y;
            }
            target[i] = x;
        }
    }
    return kProcessContinue;
}

const void* plugin_get_extension(const clap_plugin*, const char*) { return nullptr; }
void plugin_on_main_thread(const clap_plugin*) {}

std::uint32_t factory_count(const clap_plugin_factory*) { return 1; }
const clap_plugin_descriptor* factory_descriptor(const clap_plugin_factory*, std::uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}
const clap_plugin* factory_create(const clap_plugin_factory*, const clap_host* host, const char* id) {
    if (host == nullptr || id == nullptr || std::strcmp(id, kDescriptor.id) != 0) return nullptr;
    auto* p = new (std::nothrow) Plugin();
    if (p == nullptr) return nullptr;
    p->clap = clap_plugin{&kDescriptor,        p,
                          &plugin_init,        &plugin_destroy,
                          &plugin_activate,    &plugin_deactivate,
                          &plugin_start_processing, &plugin_stop_processing,
                          &plugin_reset,       &plugin_process,
                          &plugin_get_extension, &plugin_on_main_thread};
    return &p->clap;
}

const clap_plugin_factory kFactory{&factory_count, &factory_descriptor, &factory_create};

}  // namespace
}  // namespace ovtestclapheavy

OV_CLAP_EXPORT const clapabi::clap_plugin_entry clap_entry =
    ovtestclapmodule::plain_entry<ovtestclapheavy::kFactory>({1u, 2u, 0u});
