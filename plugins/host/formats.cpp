#include "formats.h"

#include "clap/clap.h"
#include "internal/internal.h"
#include "vst3/vst3.h"

namespace ovhost {

namespace {

int hex_digit_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

Outcome<LoadedPlugin> load_slot_plugin(std::string_view kind, const std::string& path, const std::string& uid,
                                       std::uint32_t rack_channels) {
    if (kind == "internal") return create_internal_plugin(uid);
    if (kind == "vst3") return load_vst3_slot_plugin(path, uid, rack_channels);
    if (kind == "clap") return load_clap_slot_plugin(path, uid);
    return Outcome<LoadedPlugin>::failure("unknown plugin format \"" + std::string(kind) + "\"");
}

std::optional<std::array<std::uint8_t, 16>> parse_vst3_class_id(std::string_view uid) {
    if (uid.size() != 32) return std::nullopt;
    std::array<std::uint8_t, 16> bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const int high = hex_digit_value(uid[2 * i]);
        const int low = hex_digit_value(uid[2 * i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    return bytes;
}

std::string not_a_vst3_class_id_message(std::string_view uid) {
    return "\"" + std::string(uid) + "\" is not a VST3 class id";
}

}  // namespace ovhost
