#include "adapt.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace ovhost {

namespace {

void copy_samples(const float* from, float* to, std::uint32_t frames) {
    if (from != to) std::memcpy(to, from, sizeof(float) * frames);
}

// (a + b) × 0.5 with the sum taken first in single precision.
void mean_of_two(const float* a, const float* b, float* to, std::uint32_t frames) {
    for (std::uint32_t i = 0; i < frames; ++i) {
        const float sum = a[i] + b[i];
        to[i] = sum * 0.5f;
    }
}

}  // namespace

void adapt_inputs(const float* const* host, std::uint32_t host_channels, float* const* plugin_inputs,
                  std::uint32_t input_count, std::uint32_t frames) {
    const bool stereo_rack = host_channels >= 2;
    if (input_count == 1) {
        if (stereo_rack) {
            mean_of_two(host[0], host[1], plugin_inputs[0], frames);  // downmix
        } else {
            copy_samples(host[0], plugin_inputs[0], frames);
        }
        return;
    }
    copy_samples(host[0], plugin_inputs[0], frames);
    copy_samples(host[stereo_rack ? 1 : 0], plugin_inputs[1], frames);  // a mono rack feeds both
    for (std::uint32_t extra = 2; extra < input_count; ++extra) {
        std::fill_n(plugin_inputs[extra], frames, 0.0f);
    }
}

void adapt_outputs(const float* const* plugin_outputs, std::uint32_t output_count, float* const* host,
                   std::uint32_t host_channels, bool fold_left, std::uint32_t frames) {
    const bool stereo_rack = host_channels >= 2;
    if (output_count == 1) {
        copy_samples(plugin_outputs[0], host[0], frames);
        if (stereo_rack) copy_samples(plugin_outputs[0], host[1], frames);  // duplicate
        return;
    }
    if (stereo_rack) {
        copy_samples(plugin_outputs[0], host[0], frames);
        copy_samples(plugin_outputs[1], host[1], frames);
    } else if (fold_left) {
        copy_samples(plugin_outputs[0], host[0], frames);
    } else {
        mean_of_two(plugin_outputs[0], plugin_outputs[1], host[0], frames);
    }
}

void process_adapted(PluginProcessor& processor, float* const* host, std::uint32_t host_channels,
                     float* const* plugin_inputs, std::uint32_t input_count, float* const* plugin_outputs,
                     std::uint32_t output_count, bool fold_left, std::uint32_t frames) {
    adapt_inputs(host, host_channels, plugin_inputs, input_count, frames);
    processor.process(plugin_inputs, input_count, plugin_outputs, output_count, frames);
    adapt_outputs(plugin_outputs, output_count, host, host_channels, fold_left, frames);
}

bool fold_is_left(std::string_view fold) { return fold == "left"; }

namespace {

// Rack channels R, plug-in inputs i and outputs o (each counted up to 2) to the text.
// "{}" stands for "left" or "sum" by the slot's fold.
struct AdaptRow {
    std::uint32_t rack_channels;
    std::uint32_t inputs;
    std::uint32_t outputs;
    std::string_view text;
};

constexpr std::array<AdaptRow, 8> kAdaptRows = {{
    {1, 1, 1, "direct"},
    {1, 2, 1, "dup in"},
    {1, 2, 2, "dup in, {} out"},
    // A mono-in, stereo-out plug-in in a mono rack is folded like a stereo one.
    {1, 1, 2, "dup in, {} out"},
    {2, 1, 1, "downmix in, dup out"},
    {2, 1, 2, "downmix in"},
    {2, 2, 1, "dup out"},
    {2, 2, 2, "direct"},
}};

}  // namespace

std::string adapt_text(std::uint32_t rack_channels, std::uint32_t inputs, std::uint32_t outputs, bool fold_left) {
    if (inputs == 0 || outputs == 0) return "direct";
    const std::uint32_t r = rack_channels >= 2 ? 2 : 1;
    const std::uint32_t i = std::min(inputs, 2u);
    const std::uint32_t o = std::min(outputs, 2u);
    for (const AdaptRow& row : kAdaptRows) {
        if (row.rack_channels != r || row.inputs != i || row.outputs != o) continue;
        std::string text(row.text);
        if (const auto hole = text.find("{}"); hole != std::string::npos) {
            text.replace(hole, 2, fold_left ? "left" : "sum");
        }
        return text;
    }
    return "direct";
}

}  // namespace ovhost
