// The container a VST3 plug-in's saved state travels in: any bytes read as a container or
// are refused; a container read back from its own bytes gives the same two states.
#include "fuzz_check.h"
#include "vst3/state.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ovhost::vst3;
    const std::vector<std::uint8_t> bytes(data, data + size);
    const auto state = read_state_container(bytes);
    if (state) {
        OV_FUZZ_CHECK(12 + state->component.size() + state->controller.size() <= size);
        const auto written = write_state_container(*state);
        OV_FUZZ_CHECK(written.size() == 12 + state->component.size() + state->controller.size());
        // Bytes after the controller state are ignored, so the written form is a prefix.
        OV_FUZZ_CHECK(std::equal(written.begin(), written.end(), bytes.begin()));
        const auto again = read_state_container(written);
        OV_FUZZ_CHECK(again && again->component == state->component && again->controller == state->controller);
    }

    // The input split in two is a component and a controller state that survive the trip.
    const std::size_t half = size / 2;
    SavedState parts{{data, data + half}, {data + half, data + size}};
    const auto back = read_state_container(write_state_container(parts));
    OV_FUZZ_CHECK(back && back->component == parts.component && back->controller == parts.controller);
    return 0;
}
