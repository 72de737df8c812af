// JSON text as both programs parse it: one document or a message, never a crash, however
// deep the nesting; what parses prints in both forms and reads back as the same value.
#include "fuzz_check.h"
#include "ov/json.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto parsed = ov::parse_json(text);
    if (!parsed.value) {
        OV_FUZZ_CHECK(!parsed.error.empty());
        return 0;
    }
    const std::string compact = ov::to_compact_json(*parsed.value);
    const std::string pretty = ov::to_pretty_json(*parsed.value);
    const auto again = ov::parse_json(compact);
    OV_FUZZ_CHECK(again.value.has_value());
    // Printing is stable: the printed form of what was read back is the same text.
    OV_FUZZ_CHECK(ov::to_compact_json(*again.value) == compact);
    const auto from_pretty = ov::parse_json(pretty);
    OV_FUZZ_CHECK(from_pretty.value.has_value());
    OV_FUZZ_CHECK(ov::to_compact_json(*from_pretty.value) == compact);
    return 0;
}
