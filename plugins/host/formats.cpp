#include "formats.h"

#include "internal.h"

namespace ovhost {

namespace {

// The VST3 and CLAP loaders are not part of this host yet; until they are, both formats
// answer with this clear refusal instead of a loader error.
constexpr std::string_view kVst3Unsupported = "this host cannot load VST3 plugins yet";
constexpr std::string_view kClapUnsupported = "this host cannot load CLAP plugins yet";

int hex_digit_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

Outcome<std::vector<ScanCandidate>> vst3_scan_candidates(const std::string&) {
    return Outcome<std::vector<ScanCandidate>>::failure(std::string(kVst3Unsupported));
}

Outcome<std::vector<ScanCandidate>> clap_scan_candidates(const std::string&) {
    return Outcome<std::vector<ScanCandidate>>::failure(std::string(kClapUnsupported));
}

Outcome<LoadedPlugin> load_slot_plugin(std::string_view kind, const std::string&, const std::string& uid,
                                       std::uint32_t) {
    if (kind == "internal") return create_internal_plugin(uid);
    if (kind == "vst3") return Outcome<LoadedPlugin>::failure(std::string(kVst3Unsupported));
    if (kind == "clap") return Outcome<LoadedPlugin>::failure(std::string(kClapUnsupported));
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
