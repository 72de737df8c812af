#pragma once
// Full Unicode case mapping (SpecialCasing included: "ß" upper-cases to "SS"), from tables
// generated at build time out of the Unicode data files. Language-neutral mappings only,
// which includes the one context rule all languages share: a capital sigma that ends a word
// lower-cases to the final form "ς" (Final_Sigma). Invalid UTF-8 input bytes become U+FFFD.
#include <string>
#include <string_view>

namespace ov::unicode {

std::string to_upper(std::string_view text);
std::string to_lower(std::string_view text);

}  // namespace ov::unicode
