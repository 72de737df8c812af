#pragma once
// UTF-8 text helpers shared by both programs.
#include <string>
#include <string_view>
#include <vector>

namespace ov::text {

// The white space that trimming and splitting remove: tab, LF, VT, FF, CR, space, U+0085,
// U+00A0, U+1680, U+2000..U+200A, U+2028, U+2029, U+202F, U+205F, U+3000.
bool is_white_space(char32_t c);

bool is_valid_utf8(std::string_view bytes);

// Decodes bytes as UTF-8, each maximal invalid subsequence replaced by U+FFFD.
std::string decode_utf8_lossy(std::string_view bytes);

// Without leading and trailing white space. Expects valid UTF-8 (invalid bytes are kept).
std::string_view trim(std::string_view text);

// The pieces between runs of white space; no empty pieces.
std::vector<std::string_view> split_white_space(std::string_view text);

// ASCII A-Z to a-z; every other byte unchanged.
std::string ascii_lower(std::string_view text);

// Appends the UTF-8 form of a code point (U+FFFD for surrogates and values past U+10FFFF).
void append_utf8(std::string& out, char32_t c);

// Reads the code point starting at text[pos], advancing pos; invalid bytes yield U+FFFD
// and advance by the maximal invalid subsequence.
char32_t next_code_point(std::string_view text, std::size_t& pos);

}  // namespace ov::text
