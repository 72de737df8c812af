// Plug-in states as base64 text from the rack protocol: any text decodes or fails with the
// one message; bytes encode to text that decodes back to them.
#include "fuzz_check.h"
#include "plugin.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto decoded = ovhost::decode_state_base64(text);
    if (decoded) {
        OV_FUZZ_CHECK(decoded->size() <= size * 3 / 4);
        // Re-encoding what was decoded and decoding again gives the same bytes.
        const auto again = ovhost::decode_state_base64(ovhost::encode_state_base64(decoded.value()));
        OV_FUZZ_CHECK(again && again.value() == decoded.value());
    } else {
        OV_FUZZ_CHECK(decoded.error() == "the plugin state is not valid base64");
    }

    const std::vector<std::uint8_t> bytes(data, data + size);
    const std::string encoded = ovhost::encode_state_base64(bytes);
    OV_FUZZ_CHECK(encoded.size() == (size + 2) / 3 * 4);
    const auto round_trip = ovhost::decode_state_base64(encoded);
    OV_FUZZ_CHECK(round_trip && round_trip.value() == bytes);
    return 0;
}
