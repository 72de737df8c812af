#pragma once
// The container in which a VST3 plug-in's saved state travels: "OVV3", then the component's
// state and the controller's state, each preceded by its length (32-bit little-endian).
#include <cstdint>
#include <optional>
#include <vector>

namespace ovhost::vst3 {

struct SavedState {
    std::vector<std::uint8_t> component;
    std::vector<std::uint8_t> controller;
};

std::vector<std::uint8_t> write_state_container(const SavedState& state);

// Absent when the bytes are too short, carry another magic or lengths past their end.
// Bytes after the controller state are ignored.
std::optional<SavedState> read_state_container(const std::vector<std::uint8_t>& bytes);

}  // namespace ovhost::vst3
