// The slot list of "setRack" as the reader takes it from the request text: any text gives
// slot records or one reader message; records agree with the request parsed as JSON.
#include "fuzz_check.h"
#include "ov/json.h"
#include "slots_reader.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

bool starts_with_any(const std::string& message) {
    return message.starts_with("invalid type: ") || message.starts_with("invalid value: ") ||
           message.starts_with("missing field `") || message.starts_with("duplicate field `");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    // The reader sees only requests that are JSON objects: the protocol parses the line first.
    const auto parsed = ov::parse_json(text);
    const auto specs = ovhost::read_slot_specs(text);
    if (!parsed.value || !parsed.value->is_object()) return 0;
    if (!specs) {
        OV_FUZZ_CHECK(starts_with_any(specs.error()));
        return 0;
    }
    const auto slots = parsed.value->find("slots");
    if (slots == parsed.value->end()) {
        OV_FUZZ_CHECK(specs->empty());
        return 0;
    }
    OV_FUZZ_CHECK(slots->is_array() && slots->size() == specs->size());
    for (std::size_t i = 0; i < specs->size(); ++i) {
        const auto& spec = specs.value()[i];
        const auto& slot = (*slots)[i];
        OV_FUZZ_CHECK(slot.is_object());
        OV_FUZZ_CHECK(slot.at("key").is_number_unsigned() && slot.at("key").get<std::uint64_t>() == spec.key);
        OV_FUZZ_CHECK(slot.at("kind") == spec.kind && slot.at("path") == spec.path && slot.at("uid") == spec.uid);
        OV_FUZZ_CHECK(slot.value("bypass", false) == spec.bypass);
        OV_FUZZ_CHECK(slot.value("fold", std::string()) == spec.fold);
        const auto state = slot.find("state");
        if (state == slot.end() || state->is_null()) {
            OV_FUZZ_CHECK(!spec.state);
        } else {
            OV_FUZZ_CHECK(spec.state && *state == *spec.state);
        }
    }
    return 0;
}
