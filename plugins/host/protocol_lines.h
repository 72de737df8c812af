#pragma once
// Protocol lines: "OVP " followed by one compact JSON value, in both directions.
#include "ov/json.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ovhost {

inline constexpr std::string_view kLinePrefix = "OVP ";

// A whole number in decimal, for messages and object keys.
std::string decimal_text(std::uint64_t value);

// The line without its line feed: "OVP " and the value as compact JSON with sorted keys
// (non-finite doubles as null).
std::string format_line(const ov::Json& value);

// Writes one protocol line to standard output and flushes it; errors are ignored.
void write_line(const ov::Json& value);

// The JSON text of an input line: trailing carriage returns and line feeds removed, the
// prefix checked and cut off. Nothing for a line without the prefix.
std::optional<std::string_view> line_payload(std::string_view line);

// The value of an input line; nothing for a line without the prefix or with anything but
// one JSON value after it (white space around it allowed).
std::optional<ov::Json> read_line(std::string_view line);

}  // namespace ovhost
