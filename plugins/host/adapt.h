#pragma once
// Channel adaptation between the rack (1 or 2 channels) and a plug-in with any number of
// input and output channels: downmix or duplicate on the way in, duplicate or fold on the way
// out. Runs on the audio thread for every block; allocates nothing.
#include <cstdint>
#include <string>
#include <string_view>

#include "plugin.h"

namespace ovhost {

// Fills the plug-in's `input_count` buffers from the `host_channels` (1 or 2) host buffers.
// Inputs beyond the first two are zeroed.
void adapt_inputs(const float* const* host, std::uint32_t host_channels, float* const* plugin_inputs,
                  std::uint32_t input_count, std::uint32_t frames);

// Writes the host buffers from the plug-in's outputs. A mono rack takes the left output when
// `fold_left`, else the mean of the first two; outputs beyond the first two are ignored.
void adapt_outputs(const float* const* plugin_outputs, std::uint32_t output_count, float* const* host,
                   std::uint32_t host_channels, bool fold_left, std::uint32_t frames);

// adapt_inputs, process, adapt_outputs: one block of one plug-in over the host buffers.
void process_adapted(PluginProcessor& processor, float* const* host, std::uint32_t host_channels,
                     float* const* plugin_inputs, std::uint32_t input_count, float* const* plugin_outputs,
                     std::uint32_t output_count, bool fold_left, std::uint32_t frames);

// A slot's `fold` value asks for the left output exactly when it is "left" (case counts).
bool fold_is_left(std::string_view fold);

// How a plug-in is matched to the rack, as reported in a slot's "adapt" text: "direct",
// "dup in", "dup in, left out", "dup in, sum out", "downmix in, dup out", "downmix in" or
// "dup out". `rack_channels` is the command-line count (1 or 2).
std::string adapt_text(std::uint32_t rack_channels, std::uint32_t inputs, std::uint32_t outputs, bool fold_left);

}  // namespace ovhost
