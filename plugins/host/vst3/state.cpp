#include "vst3/state.h"

#include <cstring>

namespace ovhost::vst3 {

namespace {

constexpr char kMagic[4] = {'O', 'V', 'V', '3'};

void append_length(std::vector<std::uint8_t>& out, std::size_t length) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>((length >> (8 * i)) & 0xFF));
}

std::uint64_t read_length(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    std::uint64_t value = 0;
    for (int i = 0; i < 4; ++i) value |= std::uint64_t{bytes[at + static_cast<std::size_t>(i)]} << (8 * i);
    return value;
}

}  // namespace

std::vector<std::uint8_t> write_state_container(const SavedState& state) {
    std::vector<std::uint8_t> out(kMagic, kMagic + 4);
    out.reserve(12 + state.component.size() + state.controller.size());
    append_length(out, state.component.size());
    out.insert(out.end(), state.component.begin(), state.component.end());
    append_length(out, state.controller.size());
    out.insert(out.end(), state.controller.begin(), state.controller.end());
    return out;
}

std::optional<SavedState> read_state_container(const std::vector<std::uint8_t>& bytes) {
    // 64-bit arithmetic: lengths near 4 GiB must not wrap around.
    const std::uint64_t size = bytes.size();
    if (size < 12 || std::memcmp(bytes.data(), kMagic, 4) != 0) return std::nullopt;
    const std::uint64_t component_length = read_length(bytes, 4);
    if (8 + component_length + 4 > size) return std::nullopt;
    const std::uint64_t controller_length = read_length(bytes, 8 + component_length);
    if (12 + component_length + controller_length > size) return std::nullopt;
    SavedState state;
    const auto component_begin = bytes.begin() + 8;
    state.component.assign(component_begin, component_begin + static_cast<std::ptrdiff_t>(component_length));
    const auto controller_begin = component_begin + static_cast<std::ptrdiff_t>(component_length) + 4;
    state.controller.assign(controller_begin, controller_begin + static_cast<std::ptrdiff_t>(controller_length));
    return state;
}

}  // namespace ovhost::vst3
