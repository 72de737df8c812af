#include "ov/unicode_case.h"

#include "ov/text.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <span>

namespace ov::unicode {

namespace {

// Code points first..last map to themselves plus delta; with stride 2 only every second
// one does (the others have no mapping at all).
struct CaseRange {
    char32_t first;
    char32_t last;
    std::uint8_t stride;
    std::int32_t delta;
};

// A code point whose mapping is two or three code points (unused slots are 0).
struct CaseExpansion {
    char32_t code_point;
    char32_t mapped[3];
};

#include "unicode_case_tables.inc"

struct CaseTables {
    std::span<const CaseRange> ranges;
    std::span<const CaseExpansion> expansions;
};

constexpr CaseTables kUpper{kUpperRanges, kUpperExpansions};
constexpr CaseTables kLower{kLowerRanges, kLowerExpansions};

void append_mapped(std::string& out, char32_t c, const CaseTables& tables) {
    const auto expansion = std::lower_bound(
        tables.expansions.begin(), tables.expansions.end(), c,
        [](const CaseExpansion& e, char32_t value) { return e.code_point < value; });
    if (expansion != tables.expansions.end() && expansion->code_point == c) {
        for (char32_t m : expansion->mapped)
            if (m != 0) text::append_utf8(out, m);
        return;
    }
    // The last range starting at or before c.
    const auto after = std::upper_bound(
        tables.ranges.begin(), tables.ranges.end(), c,
        [](char32_t value, const CaseRange& r) { return value < r.first; });
    if (after != tables.ranges.begin()) {
        const CaseRange& range = *std::prev(after);
        if (c <= range.last && (c - range.first) % range.stride == 0) {
            text::append_utf8(out, static_cast<char32_t>(static_cast<std::int64_t>(c) + range.delta));
            return;
        }
    }
    text::append_utf8(out, c);
}

std::string map_text(std::string_view input, const CaseTables& tables) {
    std::string out;
    out.reserve(input.size());
    std::size_t pos = 0;
    while (pos < input.size()) {
        append_mapped(out, text::next_code_point(input, pos), tables);
    }
    return out;
}

}  // namespace

std::string to_upper(std::string_view text) { return map_text(text, kUpper); }

std::string to_lower(std::string_view text) { return map_text(text, kLower); }

}  // namespace ov::unicode
