#pragma once
// The simple command groups that the translator answers itself (mute, profile, sound,
// volume, call, ...), as opposed to the larger groups served by the command families.
#include "types.h"

#include <optional>
#include <string_view>

namespace ovctl {

// True when `command` (a handler name such as "mute" or "snapshot") is answered here.
bool is_inline_command(std::string_view command);

// Translates the words for the inline handler `command`; word 0 may be any alias of it.
TranslatorResult translate_inline(std::string_view command, const GlobalOptions& options, const Words& words);

// A decimal number word: optional "-", digits with an optional fraction and exponent, or
// inf, infinity and nan in any case. Too large a magnitude reads as infinity, too small as zero.
std::optional<double> parse_decimal_word(std::string_view word);

}  // namespace ovctl
