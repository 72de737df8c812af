#pragma once
// Reading members of an accepted answer without ever failing: a member of the wrong JSON
// type, a missing member or an answer that is not an object all read as "absent".
#include "types.h"

#include "ov/json.h"
#include "ov/text.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ovctl::answer {

// The member `key` of `value` when `value` is an object that has it.
inline const Json* member(const Json& value, const char* key) {
    if (!value.is_object()) return nullptr;
    const auto found = value.find(key);
    return found == value.end() ? nullptr : &*found;
}

inline const std::string* text(const Json& value, const char* key) {
    const Json* m = member(value, key);
    return m && m->is_string() ? m->get_ptr<const std::string*>() : nullptr;
}

inline std::string text_or(const Json& value, const char* key, std::string_view fallback) {
    const std::string* t = text(value, key);
    return t ? *t : std::string(fallback);
}

// Any JSON number, integers converted to double.
inline std::optional<double> number(const Json& value, const char* key) {
    const Json* m = member(value, key);
    if (!m || !m->is_number()) return std::nullopt;
    return m->get<double>();
}

// True only for the JSON flag true.
inline bool is_true(const Json& value, const char* key) {
    const Json* m = member(value, key);
    return m && m->is_boolean() && m->get<bool>();
}

inline const Json* object(const Json& value, const char* key) {
    const Json* m = member(value, key);
    return m && m->is_object() ? m : nullptr;
}

inline const Json* array(const Json& value, const char* key) {
    const Json* m = member(value, key);
    return m && m->is_array() ? m : nullptr;
}

// Compact JSON of a member; "null" when it is missing.
inline std::string json_text(const Json* value) {
    return value ? ov::to_compact_json(*value) : std::string("null");
}

inline std::string join(const std::vector<std::string>& pieces, std::string_view separator) {
    std::string out;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0) out += separator;
        out += pieces[i];
    }
    return out;
}

// Field widths count characters (code points), not bytes, so names with accents line up.
inline std::size_t character_count(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t pos = 0; pos < text.size(); ++count) ov::text::next_code_point(text, pos);
    return count;
}

// Right-aligned in `width` characters ("{:>N}").
inline std::string align_right(std::string_view text, std::size_t width) {
    const std::size_t count = character_count(text);
    std::string out(count < width ? width - count : 0, ' ');
    out += text;
    return out;
}

// Left-aligned in `width` characters ("{:<N}").
inline std::string align_left(std::string_view text, std::size_t width) {
    const std::size_t count = character_count(text);
    std::string out(text);
    if (count < width) out.append(width - count, ' ');
    return out;
}

}  // namespace ovctl::answer
