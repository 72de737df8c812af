#include "validators.h"

#include "../words.h"
#include "ov/numfmt.h"
#include "ov/text.h"
#include "platform/files.h"

#include <array>
#include <charconv>
#include <cstdlib>
#include <string>
#include <system_error>
#include <utility>
#include <variant>

namespace ovctl::families {

// ---- Words -------------------------------------------------------------------------------

std::optional<std::string_view> word_at(const Words& words, std::size_t index) {
    if (index >= words.size()) return std::nullopt;
    return std::string_view(words[index]);
}

std::optional<std::string> lower_word_at(const Words& words, std::size_t index) {
    auto word = word_at(words, index);
    if (!word) return std::nullopt;
    return ov::text::ascii_lower(*word);
}

std::string joined_from(const Words& words, std::size_t index) {
    std::string joined;
    for (std::size_t i = index; i < words.size(); ++i) {
        if (i > index) joined += ' ';
        joined += words[i];
    }
    return joined;
}

std::string trimmed_text_from(const Words& words, std::size_t index) {
    return std::string(ov::text::trim(joined_from(words, index)));
}

std::optional<std::string> subcommand(const Words& words) { return lower_word_at(words, 1); }

std::string fill(std::string_view message_template, std::initializer_list<std::string_view> values) {
    std::string out;
    auto value = values.begin();
    std::size_t pos = 0;
    while (pos < message_template.size()) {
        if (value != values.end() && message_template.compare(pos, 2, "{}") == 0) {
            out += *value++;
            pos += 2;
        } else {
            out += message_template[pos++];
        }
    }
    return out;
}

CliError unknown_subcommand(std::string_view family, std::string_view choices, const std::optional<std::string>& sub) {
    return usage_error(fill("{} takes {}, not \"{}\"", {family, choices, sub.value_or(std::string())}));
}

// ---- Translations ------------------------------------------------------------------------

Translation confirm(std::string command, Json args, std::string text) {
    return Translation{render::Confirm{std::move(text)}, std::move(command), std::move(args)};
}

Translation shown_as_json(std::string command, Json args) {
    return Translation{render::Json{}, std::move(command), std::move(args)};
}

Translation shown_as_list(std::string command, Json args) {
    return Translation{render::List{}, std::move(command), std::move(args)};
}

Translation shown_as(RenderKind kind, std::string command, Json args) {
    return Translation{std::move(kind), std::move(command), std::move(args)};
}

// ---- Numbers -----------------------------------------------------------------------------

namespace {

// The text that std::from_chars must read in full: one optional "+" is allowed in front of
// a number that has no other sign; the "nan(...)" form is not part of the syntax.
std::optional<std::string_view> float_syntax(std::string_view word) {
    if (!word.empty() && word.front() == '+') {
        word.remove_prefix(1);
        if (!word.empty() && (word.front() == '+' || word.front() == '-')) return std::nullopt;
    }
    if (word.empty() || word.find('(') != std::string_view::npos) return std::nullopt;
    return word;
}

template <class Float>
std::optional<Float> parse_float(std::string_view word) {
    auto text = float_syntax(word);
    if (!text) return std::nullopt;
    Float value{};
    auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value, std::chars_format::general);
    if (end != text->data() + text->size()) return std::nullopt;
    if (error == std::errc::result_out_of_range) {
        // The syntax is right but the value is beyond the type: it becomes infinite or zero
        // (with its sign), as the standard conversion functions give it.
        std::string copy(*text);
        if constexpr (sizeof(Float) == sizeof(float)) return std::strtof(copy.c_str(), nullptr);
        else return std::strtod(copy.c_str(), nullptr);
    }
    if (error != std::errc()) return std::nullopt;
    return value;
}

}  // namespace

std::optional<double> parse_decimal(std::string_view word) { return parse_float<double>(word); }

std::optional<double> parse_single(std::string_view word) {
    auto value = parse_float<float>(word);
    if (!value) return std::nullopt;
    return static_cast<double>(*value);
}

double single_as_printed(double single_value) {
    const auto single = static_cast<float>(single_value);
    if (single != single || single - single != 0) return single_value;  // not finite
    std::array<char, 64> buffer{};
    auto written = std::to_chars(buffer.data(), buffer.data() + buffer.size(), single);
    double shortest = single_value;
    std::from_chars(buffer.data(), written.ptr, shortest);
    return shortest;
}

std::optional<std::int64_t> parse_i64(std::string_view word) {
    // One sign at most: "+" is dropped here, "-" is read by from_chars.
    std::size_t first_digit = 0;
    if (!word.empty() && word.front() == '+') word.remove_prefix(1);
    else if (!word.empty() && word.front() == '-') first_digit = 1;
    if (word.size() <= first_digit || word[first_digit] < '0' || word[first_digit] > '9') return std::nullopt;
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (error != std::errc() || end != word.data() + word.size()) return std::nullopt;
    return value;
}

Json number_json(double value) {
    if (value != value || value - value != 0) return Json(nullptr);
    return Json(value);
}

std::string plain(double value) { return ov::num::plain(value); }

// ---- Shared value checks -----------------------------------------------------------------

namespace {

struct NamedValue {
    std::string_view word;
    std::string_view api_name;
};

constexpr NamedValue kRacks[] = {
    {"pre", "micPre"},   {"mic", "micPre"},      {"micpre", "micPre"},
    {"post", "micPost"}, {"micpost", "micPost"}, {"out", "speakers"},
    {"speakers", "speakers"},
};

constexpr NamedValue kMeterPoints[] = {
    {"raw", "micRaw"},      {"micraw", "micRaw"},     {"mic", "micOut"},        {"out", "micOut"},
    {"micout", "micOut"},   {"virtual", "micOut"},    {"speaker", "speakers"},  {"speakers", "speakers"},
    {"rec", "recorder"},    {"record", "recorder"},   {"recorder", "recorder"},
};

template <std::size_t N>
std::optional<std::string> look_up(const NamedValue (&table)[N], std::string_view lowered) {
    for (const auto& entry : table)
        if (entry.word == lowered) return std::string(entry.api_name);
    return std::nullopt;
}

bool is_time_of_day(std::string_view word) {
    if (word.size() != 8) return false;
    for (std::size_t i = 0; i < 8; ++i) {
        const bool dash_position = i == 2 || i == 5;
        if (dash_position ? word[i] != '-' : (word[i] < '0' || word[i] > '9')) return false;
    }
    return true;
}

}  // namespace

Result<std::string> rack_at(const Words& words, std::size_t index) {
    auto word = word_at(words, index);
    if (!word) return usage_error("Missing a rack: micPre, micPost or speakers");
    const auto lowered = ov::text::ascii_lower(*word);
    if (auto rack = look_up(kRacks, lowered)) return *rack;
    return usage_error(fill("\"{}\" is not a rack (micPre, micPost or speakers)", {lowered}));
}

Result<std::uint64_t> whole_number_at(const Words& words, std::size_t index, std::string_view description) {
    auto word = required_word(words, index, description);
    if (!word) return word.error();
    if (auto value = parse_u64(*word)) return *value;
    return usage_error(fill("\"{}\" is not a whole number ({})", {*word, description}));
}

Result<double> parameter_value_at(const Words& words, std::size_t index) {
    return described_number_at(words, index, "the value, 0 to 1");
}

CliError not_on_or_off(std::string_view what, std::string_view word) {
    return usage_error(fill("{} takes on or off, not \"{}\"", {what, ov::text::ascii_lower(word)}));
}

Result<std::optional<bool>> optional_on_off_at(const Words& words, std::size_t index, std::string_view what) {
    auto word = word_at(words, index);
    if (!word) return std::optional<bool>();
    const auto lowered = ov::text::ascii_lower(*word);
    if (lowered == "on") return std::optional<bool>(true);
    if (lowered == "off") return std::optional<bool>(false);
    return not_on_or_off(what, lowered);
}

std::optional<bool> switch_word(std::string_view word) {
    const auto lowered = ov::text::ascii_lower(word);
    if (lowered == "on" || lowered == "true") return true;
    if (lowered == "off" || lowered == "false") return false;
    return std::nullopt;
}

Result<double> described_number_at(const Words& words, std::size_t index, std::string_view description) {
    auto word = required_word(words, index, description);
    if (!word) return word.error();
    if (auto value = parse_decimal(*word)) return *value;
    return usage_error(fill("\"{}\" is not a number ({})", {*word, description}));
}

Result<double> plain_number_at(const Words& words, std::size_t index, std::string_view description) {
    auto word = required_word(words, index, description);
    if (!word) return word.error();
    if (auto value = parse_decimal(*word)) return *value;
    return usage_error(fill("\"{}\" is not a number", {*word}));
}

Result<std::int64_t> semitones_at(const Words& words, std::size_t index, std::string_view description) {
    auto word = required_word(words, index, description);
    if (!word) return word.error();
    std::string_view digits = *word;
    while (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
    if (auto value = parse_i64(digits)) return *value;
    return usage_error(fill("\"{}\" is not a whole number of semitones", {*word}));
}

Result<std::optional<double>> optional_tempo_at(const Words& words, std::size_t index) {
    auto word = word_at(words, index);
    if (!word) return std::optional<double>();
    if (auto value = parse_single(*word)) return std::optional<double>(*value);
    return usage_error(fill("\"{}\" is not a tempo", {*word}));
}

Result<std::optional<std::uint32_t>> optional_take_number_at(const Words& words, std::size_t index) {
    auto word = word_at(words, index);
    if (!word) return std::optional<std::uint32_t>();
    if (auto value = parse_u32(*word)) return std::optional<std::uint32_t>(*value);
    return usage_error(fill("\"{}\" is not a take number", {*word}));
}

Result<std::int64_t> scale_degree_at(const Words& words, std::size_t index) {
    auto word = word_at(words, index);
    if (!word) return std::int64_t{0};
    if (auto value = parse_i64(*word)) return *value;
    return usage_error(fill("\"{}\" is not a scale degree", {*word}));
}

Result<std::uint64_t> job_number_at(const Words& words, std::size_t index) {
    auto word = word_at(words, index);
    if (!word) return usage_error("Missing a job number");
    if (auto value = parse_u64(*word)) return *value;
    return usage_error(fill("\"{}\" is not a job number", {*word}));
}

Result<double> seconds_at(const Words& words, std::size_t index) {
    if (index >= words.size()) return usage_error("Missing seconds");
    auto seconds = optional_seconds_at(words, index);
    if (!seconds) return seconds.error();
    return **seconds;
}

Result<std::optional<double>> optional_seconds_at(const Words& words, std::size_t index) {
    auto word = word_at(words, index);
    if (!word) return std::optional<double>();
    if (auto value = parse_decimal(*word)) return std::optional<double>(*value);
    return usage_error(fill("\"{}\" is not a number of seconds", {*word}));
}

Result<std::string> meter_point(std::string_view word) {
    const auto lowered = ov::text::ascii_lower(word);
    if (auto point = look_up(kMeterPoints, lowered)) return *point;
    return usage_error(fill("\"{}\" is not a meter point (micRaw, micOut, speakers, recorder)", {lowered}));
}

Result<double> true_peak_ceiling_at(const Words& words, std::size_t index) {
    auto word = word_at(words, index);
    if (!word) return usage_error("Missing the true-peak ceiling in dBTP (-6 to 0)");
    if (auto value = parse_decimal(*word)) return *value;
    return usage_error(fill("\"{}\" is not a number (the true-peak ceiling)", {*word}));
}

Result<Take> take_at(const Words& words, std::size_t index) {
    auto word = word_at(words, index);
    if (!word) {
        return usage_error(
            "Missing a take (a recording or replay name as `ovctl takes` lists it, recording:<name>, "
            "replay:<name>, a file, or last)");
    }
    auto time = word_at(words, index + 1);
    if (time && is_time_of_day(*time)) return Take{std::string(*word) + ' ' + std::string(*time), index + 2};
    return Take{std::string(*word), index + 1};
}

Result<std::uint64_t> track(std::string_view word) {
    auto value = parse_u64(word);
    if (value && *value >= 1 && *value <= 4) return *value;
    return usage_error(fill("\"{}\" is not a track (1 to 4)", {word}));
}

Result<std::optional<std::uint64_t>> optional_track_at(const Words& words, std::size_t index) {
    auto word = word_at(words, index);
    if (!word) return std::optional<std::uint64_t>();
    auto number = track(*word);
    if (!number) return number.error();
    return std::optional<std::uint64_t>(*number);
}

Result<OnOffOrAmount> on_off_or_amount(std::string_view lowered) {
    if (lowered == "on") return OnOffOrAmount{true};
    if (lowered == "off") return OnOffOrAmount{false};
    std::string_view number = lowered;
    while (!number.empty() && number.back() == '%') number.remove_suffix(1);
    if (auto value = parse_decimal(number)) return OnOffOrAmount{std::nullopt, *value};
    return usage_error(fill("\"{}\" is not on, off or an amount 0-100", {lowered}));
}

Result<double> depth(std::string_view word) {
    if (auto value = parse_decimal(word)) return *value;
    return usage_error(fill("\"{}\" is not a depth (-1 to 1)", {word}));
}

Result<std::string> ab_slot(std::string_view word) {
    const auto lowered = ov::text::ascii_lower(word);
    if (lowered == "a" || lowered == "b") return lowered;
    return usage_error(fill("\"{}\" is not a slot (a or b)", {lowered}));
}

Result<std::uint64_t> pad_sound_id_at(const Words& words, std::size_t index) {
    auto word = required_word(words, index, "the pad's sound id (ovctl sound list)");
    if (!word) return word.error();
    if (auto value = parse_u64(*word)) return *value;
    return usage_error(fill("\"{}\" is not a sound id", {*word}));
}

Result<std::uint32_t> mapping_id_at(const Words& words, std::size_t index, std::string_view description) {
    auto word = required_word(words, index, description);
    if (!word) return word.error();
    if (auto value = parse_u32(*word)) return *value;
    return usage_error(fill("\"{}\" is not a mapping id", {*word}));
}

Result<std::string> file_text(const std::string& path) {
    auto read = ovplat::read_utf8_file(path);
    if (auto* failure = std::get_if<ovplat::FileError>(&read)) {
        return usage_error(fill("Could not read {}: {}", {path, failure->reason}));
    }
    return std::get<std::string>(std::move(read));
}

std::string file_stem(std::string_view path) {
    const auto separator = path.find_last_of("/\\");
    std::string_view name = separator == std::string_view::npos ? path : path.substr(separator + 1);
    // A drive prefix ("C:" or "C:eq.txt") is not part of the first component's name.
    const bool first_component = separator == std::string_view::npos;
    if (first_component && name.size() >= 2 && name[1] == ':' &&
        ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'))) {
        name.remove_prefix(2);
    }
    if (name.empty() || name == "." || name == "..") return {};
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return std::string(name);
    return std::string(name.substr(0, dot));
}

}  // namespace ovctl::families
