#include "ov/unicode_case.h"

#include "ov/text.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <span>
#include <vector>

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

// Code points first..last that have a property.
struct CodePointRange {
    char32_t first;
    char32_t last;
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

bool has_property(std::span<const CodePointRange> ranges, char32_t c) {
    const auto after = std::upper_bound(ranges.begin(), ranges.end(), c,
                                        [](char32_t value, const CodePointRange& r) { return value < r.first; });
    return after != ranges.begin() && c <= std::prev(after)->last;
}

bool is_cased(char32_t c) { return has_property(kCasedRanges, c); }
bool is_case_ignorable(char32_t c) { return has_property(kCaseIgnorableRanges, c); }

constexpr char32_t kCapitalSigma = 0x03A3;
constexpr char32_t kFinalSigma = 0x03C2;

// Whether, looking from code point `at` towards one end of the text, a cased letter comes
// before anything that is neither cased nor case-ignorable.
template <class Step>
bool cased_letter_beside(const std::vector<char32_t>& code_points, std::size_t at, Step step) {
    for (std::size_t i = step(at); i < code_points.size(); i = step(i)) {
        if (is_cased(code_points[i])) return true;
        if (!is_case_ignorable(code_points[i])) return false;
    }
    return false;
}

// Final_Sigma: a cased letter before the sigma (case-ignorable characters such as
// apostrophes or accents may stand between), and none after it.
bool ends_a_word(const std::vector<char32_t>& code_points, std::size_t at) {
    // Stepping down from 0 wraps to a position past the end, which ends the loop.
    const auto before = cased_letter_beside(code_points, at, [](std::size_t i) { return i - 1; });
    return before && !cased_letter_beside(code_points, at, [](std::size_t i) { return i + 1; });
}

std::vector<char32_t> decode(std::string_view input) {
    std::vector<char32_t> code_points;
    code_points.reserve(input.size());
    std::size_t pos = 0;
    while (pos < input.size()) code_points.push_back(text::next_code_point(input, pos));
    return code_points;
}

}  // namespace

// Upper-casing has no context rule: each code point maps on its own.
std::string to_upper(std::string_view input) {
    std::string out;
    out.reserve(input.size());
    std::size_t pos = 0;
    while (pos < input.size()) append_mapped(out, text::next_code_point(input, pos), kUpper);
    return out;
}

std::string to_lower(std::string_view input) {
    const std::vector<char32_t> code_points = decode(input);
    std::string out;
    out.reserve(input.size());
    for (std::size_t i = 0; i < code_points.size(); ++i) {
        if (code_points[i] == kCapitalSigma && ends_a_word(code_points, i)) {
            text::append_utf8(out, kFinalSigma);
        } else {
            append_mapped(out, code_points[i], kLower);
        }
    }
    return out;
}

}  // namespace ov::unicode
