#pragma once
// Table-driven checks of the command families: a command line in, the API command, its
// compact JSON body, the render kind and its payload out; or the exact usage refusal.
#include "families/families.h"
#include "ov/json.h"
#include "ov/text.h"
#include "types.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ovctl::family_tests {

// Render kinds by their number.
constexpr std::size_t kConfirm = 2, kList = 3, kParamValue = 6, kMeters = 7, kAbState = 8, kSetupReport = 9,
                      kJson = 10;

inline const std::string kHint = "\nRun `ovctl help` for the commands.";

struct Case {
    Words words;
    std::string command;
    std::string args;  // compact JSON, keys sorted
    std::size_t kind;
    std::string payload;  // Confirm text, ParamValue path, Meters point; "" otherwise
};

struct Refusal {
    Words words;
    std::string message;  // without the hint line
};

inline std::string joined(const Words& words) {
    std::string out;
    for (const auto& word : words) out += "[" + word + "]";
    return out;
}

inline std::string payload(const RenderKind& kind) {
    if (const auto* confirm = std::get_if<render::Confirm>(&kind)) return confirm->text;
    if (const auto* param = std::get_if<render::ParamValue>(&kind)) return param->path;
    if (const auto* meters = std::get_if<render::Meters>(&kind)) return meters->point.value_or("");
    return "";
}

// The family that serves the command word, looked up as the translator does.
inline Result<Translation> run_family(const Words& words) {
    const FamilyFn family = find_family(ov::text::ascii_lower(words.at(0)));
    if (family == nullptr) return CliError{"no family serves " + words.at(0), 99};
    return family(words);
}

inline void expect_cases(const std::vector<Case>& cases) {
    for (const auto& expected : cases) {
        SCOPED_TRACE(joined(expected.words));
        auto result = run_family(expected.words);
        ASSERT_TRUE(result.ok()) << result.error().message;
        EXPECT_EQ(result->command, expected.command);
        EXPECT_EQ(ov::to_compact_json(result->args), expected.args);
        EXPECT_EQ(result->kind.index(), expected.kind);
        EXPECT_EQ(payload(result->kind), expected.payload);
        if (expected.kind == kMeters) {
            // A Meters translation without a point shows every point.
            const auto& meters = std::get<render::Meters>(result->kind);
            EXPECT_EQ(meters.point.has_value(), !expected.payload.empty());
        }
    }
}

inline void expect_refusals(const std::vector<Refusal>& refusals) {
    for (const auto& expected : refusals) {
        SCOPED_TRACE(joined(expected.words));
        auto result = run_family(expected.words);
        ASSERT_FALSE(result.ok()) << result->command << " " << ov::to_compact_json(result->args);
        EXPECT_EQ(result.error().message, expected.message + kHint);
        EXPECT_EQ(result.error().code, 2);
    }
}

}  // namespace ovctl::family_tests
