#include "plugin.h"

#include <array>

namespace ovhost {

namespace {

constexpr std::string_view kBase64Alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Symbol value of every byte: 0..63, kSkip for separators that may stand anywhere, kInvalid
// for everything else.
constexpr int kSkip = -1;
constexpr int kInvalid = -2;

constexpr std::array<int, 256> make_symbol_values() {
    std::array<int, 256> values{};
    for (auto& value : values) value = kInvalid;
    for (std::size_t i = 0; i < kBase64Alphabet.size(); ++i) {
        values[static_cast<unsigned char>(kBase64Alphabet[i])] = static_cast<int>(i);
    }
    for (char skipped : {'\n', '\r', ' ', '='}) values[static_cast<unsigned char>(skipped)] = kSkip;
    return values;
}

constexpr std::array<int, 256> kSymbolValues = make_symbol_values();

}  // namespace

bool instance_step_allowed(InstanceState from, InstanceState to) {
    using S = InstanceState;
    switch (from) {
        // A creation whose activation fails is torn down; a reactivation whose activation
        // fails leaves the instance inactive.
        case S::created: return to == S::active || to == S::inactive || to == S::torn_down;
        // Deactivated for a reactivation, started by the audio thread, or torn down.
        case S::active: return to == S::created || to == S::processing || to == S::torn_down;
        // Only stopping leaves processing: a processing plug-in is never deactivated or
        // destroyed.
        case S::processing: return to == S::active;
        case S::inactive: return to == S::active || to == S::torn_down;
        case S::torn_down: return false;
    }
    return false;
}

const char* instance_state_name(InstanceState state) {
    switch (state) {
        case InstanceState::created: return "created";
        case InstanceState::active: return "active";
        case InstanceState::processing: return "processing";
        case InstanceState::inactive: return "inactive";
        case InstanceState::torn_down: return "torn down";
    }
    return "unknown";
}

std::string encode_state_base64(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const std::uint32_t group = (std::uint32_t{bytes[i]} << 16) | (std::uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
        text.push_back(kBase64Alphabet[(group >> 18) & 63]);
        text.push_back(kBase64Alphabet[(group >> 12) & 63]);
        text.push_back(kBase64Alphabet[(group >> 6) & 63]);
        text.push_back(kBase64Alphabet[group & 63]);
    }
    const std::size_t left = bytes.size() - i;
    if (left > 0) {
        const std::uint32_t group = (std::uint32_t{bytes[i]} << 16) | (left == 2 ? std::uint32_t{bytes[i + 1]} << 8 : 0);
        text.push_back(kBase64Alphabet[(group >> 18) & 63]);
        text.push_back(kBase64Alphabet[(group >> 12) & 63]);
        text.push_back(left == 2 ? kBase64Alphabet[(group >> 6) & 63] : '=');
        text.push_back('=');
    }
    return text;
}

Outcome<std::vector<std::uint8_t>> decode_state_base64(std::string_view text) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() / 4 * 3 + 2);
    std::uint32_t accumulator = 0;
    int waiting_bits = 0;
    for (const char c : text) {
        const int value = kSymbolValues[static_cast<unsigned char>(c)];
        if (value == kSkip) continue;
        if (value == kInvalid) {
            return Outcome<std::vector<std::uint8_t>>::failure("the plugin state is not valid base64");
        }
        accumulator = (accumulator << 6) | static_cast<std::uint32_t>(value);
        waiting_bits += 6;
        if (waiting_bits >= 8) {
            waiting_bits -= 8;
            bytes.push_back(static_cast<std::uint8_t>(accumulator >> waiting_bits));
            accumulator &= (1u << waiting_bits) - 1;  // keep only the bits still waiting
        }
    }
    // Fewer than 8 bits left over are dropped without complaint.
    return bytes;
}

}  // namespace ovhost
