#pragma once
// The word tools every command handler uses to read its words and refuse bad ones.
#include "types.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ovctl {

// Exit code 2; the message, "\n", then "Run `ovctl help` for the commands.".
CliError usage_error(std::string_view message);

// The word at `index` as typed, or "Missing {description}".
Result<std::string> required_word(const Words& words, std::size_t index, std::string_view description);

// Words from `index` on joined with one space, then trimmed; "Missing {description}" when empty.
Result<std::string> rest_text(const Words& words, std::size_t index, std::string_view description);

// The word as one JSON document when it parses, otherwise a JSON string of the word.
Json json_or_text(std::string_view word);

// Optional "+", then one or more ASCII digits, fitting the width; nothing else.
std::optional<std::uint16_t> parse_u16(std::string_view word);
std::optional<std::uint32_t> parse_u32(std::string_view word);
std::optional<std::uint64_t> parse_u64(std::string_view word);

}  // namespace ovctl
