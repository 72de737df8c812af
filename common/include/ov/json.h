#pragma once
// The JSON value tree used by both programs, with the two serialisations they print.
//
// nlohmann::json keeps object members in a std::map, so members always come out in
// ascending byte order of their keys; floating values always carry a fraction or an
// exponent (40.0) and non-finite ones are written as null.
#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>

namespace ov {

using Json = nlohmann::json;

// Compact form: no spaces at all. Invalid UTF-8 inside strings is replaced, never thrown.
std::string to_compact_json(const Json& value);

// Two-space indentation, "key": value, arrays one element per line, [] and {} when empty.
std::string to_pretty_json(const Json& value);

struct JsonParse {
    std::optional<Json> value;  // set when the whole text is one JSON document
    std::string error;          // the library's description of the first error otherwise
};

// Parses one complete document (surrounding white space allowed). Never throws. A leading
// byte-order mark (U+FEFF) is refused like any other character that is not JSON white space.
JsonParse parse_json(std::string_view text);

// As parse_json, but one leading byte-order mark is skipped: for files and answer bodies,
// which Windows tools often start with one.
JsonParse parse_json_skipping_bom(std::string_view text);

}  // namespace ov
