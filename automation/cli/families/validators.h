#pragma once
// Reading the words of a command family: picking words, reading numbers and keywords,
// building the translation. Every value check that a family refuses with exists here once,
// so that its message is the same wherever the value is asked for.
#include "../types.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace ovctl::families {

// ---- Words -------------------------------------------------------------------------------

// The word at `index`, when the command line has one.
std::optional<std::string_view> word_at(const Words& words, std::size_t index);

// The word at `index` lower-cased (ASCII), when the command line has one. An empty word is a
// word: it comes back as "", which never matches a keyword.
std::optional<std::string> lower_word_at(const Words& words, std::size_t index);

// The words from `index` on joined with one space each, not trimmed; "" when there are none.
std::string joined_from(const Words& words, std::size_t index);

// As joined_from, then trimmed of white space at both ends.
std::string trimmed_text_from(const Words& words, std::size_t index);

// The subcommand: word 1 lower-cased, nullopt when the command has none (a family's
// no-subcommand form). An empty word 1 is a subcommand that no family table lists.
std::optional<std::string> subcommand(const Words& words);

// A message template with each "{}" filled in order by the values.
std::string fill(std::string_view message_template, std::initializer_list<std::string_view> values);

// The usage error "{what} takes {choices}, not "{word}"" that refuses an unknown subcommand
// (families answer the missing subcommand before they get here).
CliError unknown_subcommand(std::string_view family, std::string_view choices, const std::optional<std::string>& sub);

// ---- Translations ------------------------------------------------------------------------

Translation confirm(std::string command, Json args, std::string text);
Translation shown_as_json(std::string command, Json args = Json::object());
Translation shown_as_list(std::string command, Json args = Json::object());
Translation shown_as(RenderKind kind, std::string command, Json args = Json::object());

// ---- Numbers -----------------------------------------------------------------------------

// A decimal number in the standard floating-point syntax: optional sign, digits with an
// optional point, optional exponent, or inf, infinity and nan in any case. Values too
// large for a double read as infinite, values too small as zero.
std::optional<double> parse_decimal(std::string_view word);

// The same syntax read at single precision; the result is that float widened to double
// (-13.7 gives -13.699999809265137).
std::optional<double> parse_single(std::string_view word);

// The shortest decimal that reads back as the same single-precision value, as a double
// (the float nearest -13.7 gives -13.7), for printing a number read at single precision.
double single_as_printed(double single_value);

// A signed 64-bit whole number: optional "+" or "-", then ASCII digits.
std::optional<std::int64_t> parse_i64(std::string_view word);

// A number as sent: a JSON float when finite, JSON null otherwise.
Json number_json(double value);

// The number in its shortest decimal form without exponent.
std::string plain(double value);

// ---- Shared value checks -----------------------------------------------------------------
// Each reads the word at `index`; a missing word gives "Missing {description}" unless the
// check names its own message.

// A rack word mapped to its API name (micPre, micPost, speakers).
Result<std::string> rack_at(const Words& words, std::size_t index);

// An unsigned whole number: ""{}" is not a whole number ({description})".
Result<std::uint64_t> whole_number_at(const Words& words, std::size_t index, std::string_view description);

// A plug-in parameter value: ""{}" is not a number (the value, 0 to 1)". The word must exist.
Result<double> parameter_value_at(const Words& words, std::size_t index);

// An optional on/off word (any case): nullopt when absent, else true for on and false for
// off; another word gives "{what} takes on or off, not "{word}"".
Result<std::optional<bool>> optional_on_off_at(const Words& words, std::size_t index, std::string_view what);

// The refusal of a word that should have been on or off.
CliError not_on_or_off(std::string_view what, std::string_view word);

// A switch word (any case): on or true gives true, off or false gives false.
std::optional<bool> switch_word(std::string_view word);

// A number: ""{}" is not a number ({description})".
Result<double> described_number_at(const Words& words, std::size_t index, std::string_view description);

// A number whose refusal names no description: ""{}" is not a number".
Result<double> plain_number_at(const Words& words, std::size_t index, std::string_view description);

// A signed whole number of semitones: leading "+" signs dropped, then a signed 64-bit
// integer; ""{}" is not a whole number of semitones".
Result<std::int64_t> semitones_at(const Words& words, std::size_t index, std::string_view description);

// An optional tempo read at single precision: nullopt when absent; ""{}" is not a tempo".
Result<std::optional<double>> optional_tempo_at(const Words& words, std::size_t index);

// An optional take number (unsigned 32-bit): nullopt when absent; ""{}" is not a take number".
Result<std::optional<std::uint32_t>> optional_take_number_at(const Words& words, std::size_t index);

// A scale degree (signed 64-bit), 0 when absent; ""{}" is not a scale degree".
Result<std::int64_t> scale_degree_at(const Words& words, std::size_t index);

// A job number (unsigned 64-bit): "Missing a job number", ""{}" is not a job number".
Result<std::uint64_t> job_number_at(const Words& words, std::size_t index);

// A number of seconds: "Missing seconds", ""{}" is not a number of seconds".
Result<double> seconds_at(const Words& words, std::size_t index);

// An optional number of seconds: nullopt when absent.
Result<std::optional<double>> optional_seconds_at(const Words& words, std::size_t index);

// A meter point word mapped to its API name (micRaw, micOut, speakers, recorder).
Result<std::string> meter_point(std::string_view word);

// The true-peak ceiling: "Missing the true-peak ceiling in dBTP (-6 to 0)",
// ""{}" is not a number (the true-peak ceiling)".
Result<double> true_peak_ceiling_at(const Words& words, std::size_t index);

// A take: the word at `index`, joined with the next word when that is a time such as
// 12-30-45; `next` is the index of the first word after the take.
struct Take {
    std::string text;
    std::size_t next = 0;
};
Result<Take> take_at(const Words& words, std::size_t index);

// An optional looper track from 1 to 4: ""{}" is not a track (1 to 4)".
Result<std::optional<std::uint64_t>> optional_track_at(const Words& words, std::size_t index);

// A track from 1 to 4 read from a word that exists.
Result<std::uint64_t> track(std::string_view word);

// On, off or an amount 0-100 with optional trailing "%" signs; the refusal quotes `lowered`.
struct OnOffOrAmount {
    std::optional<bool> on;  // set for on / off
    double amount = 0;       // the number as read otherwise
};
Result<OnOffOrAmount> on_off_or_amount(std::string_view lowered);

// A modulation depth read from a word that exists: ""{}" is not a depth (-1 to 1)".
Result<double> depth(std::string_view word);

// An A/B slot (a or b, any case), lower-cased: ""{}" is not a slot (a or b)".
Result<std::string> ab_slot(std::string_view word);

// A pad's sound id: "Missing the pad's sound id (ovctl sound list)", ""{}" is not a sound id".
Result<std::uint64_t> pad_sound_id_at(const Words& words, std::size_t index);

// A MIDI mapping id (unsigned 32-bit): ""{}" is not a mapping id".
Result<std::uint32_t> mapping_id_at(const Words& words, std::size_t index, std::string_view description);

// The whole content of a UTF-8 text file: "Could not read {path}: {reason}".
Result<std::string> file_text(const std::string& path);

// The file stem of a path written with / or \ separators: the last component without its
// last dot and what follows; "" when the path ends in no file name.
std::string file_stem(std::string_view path);

}  // namespace ovctl::families
