#include "words.h"

#include "ov/text.h"

#include <charconv>
#include <string>

namespace ovctl {

CliError usage_error(std::string_view message) {
    std::string text(message);
    text += "\nRun `ovctl help` for the commands.";
    return CliError{std::move(text), 2};
}

namespace {

CliError missing(std::string_view description) {
    std::string message = "Missing ";
    message += description;
    return usage_error(message);
}

// Whole word only: one optional "+", then ASCII digits, and the value must fit `Unsigned`.
// from_chars alone would also stop early at a bad character, so the end is checked too.
template <class Unsigned>
std::optional<Unsigned> parse_unsigned(std::string_view word) {
    if (!word.empty() && word.front() == '+') word.remove_prefix(1);
    if (word.empty()) return std::nullopt;
    for (const char c : word) {
        if (c < '0' || c > '9') return std::nullopt;
    }
    Unsigned value{};
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value, 10);
    if (error != std::errc{} || end != word.data() + word.size()) return std::nullopt;
    return value;
}

}  // namespace

Result<std::string> required_word(const Words& words, std::size_t index, std::string_view description) {
    if (index >= words.size()) return missing(description);
    return words[index];
}

Result<std::string> rest_text(const Words& words, std::size_t index, std::string_view description) {
    std::string joined;
    for (std::size_t i = index; i < words.size(); ++i) {
        if (i > index) joined += ' ';
        joined += words[i];
    }
    const std::string_view trimmed = ov::text::trim(joined);
    if (trimmed.empty()) return missing(description);
    return std::string(trimmed);
}

Json json_or_text(std::string_view word) {
    ov::JsonParse parsed = ov::parse_json(word);
    if (parsed.value) return std::move(*parsed.value);
    return Json(std::string(word));
}

std::optional<std::uint16_t> parse_u16(std::string_view word) { return parse_unsigned<std::uint16_t>(word); }
std::optional<std::uint32_t> parse_u32(std::string_view word) { return parse_unsigned<std::uint32_t>(word); }
std::optional<std::uint64_t> parse_u64(std::string_view word) { return parse_unsigned<std::uint64_t>(word); }

}  // namespace ovctl
