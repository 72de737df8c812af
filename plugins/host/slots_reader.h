#pragma once
// One entry of the "setRack" slot list, and the reader that takes it from the request text
// with a precise message for the first thing wrong in it.
#include "plugin.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ovhost {

struct SlotSpec {
    std::uint32_t key = 0;
    std::string kind;
    std::string path;
    std::string uid;
    bool bypass = false;
    std::string fold;
    std::optional<std::string> state;  // base64 text; null and absence are the same
};

// Reads the `slots` member of a request object given as JSON text (the last one when the
// member is repeated). Absent means an empty list. The failure is the bare reader message,
// e.g. "invalid type: boolean `true`, expected a string" or "missing field `uid`".
Outcome<std::vector<SlotSpec>> read_slot_specs(std::string_view request_text);

// How a JSON string is quoted inside a reader message: `string "a\"b"`.
std::string describe_string_value(std::string_view text);

// How a JSON floating number is shown inside a reader message: shortest form, always with
// a fraction ("2.0", "1.5", "100000000000000000000.0").
std::string describe_float_value(double value);

}  // namespace ovhost
