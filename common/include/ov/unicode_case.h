#pragma once
// Full Unicode case mapping (SpecialCasing included: "ß" upper-cases to "SS"), from tables
// generated at build time out of UnicodeData.txt and SpecialCasing.txt. Language-neutral
// mappings only. Invalid UTF-8 input bytes become U+FFFD.
#include <string>
#include <string_view>

namespace ov::unicode {

std::string to_upper(std::string_view text);
std::string to_lower(std::string_view text);

}  // namespace ov::unicode
