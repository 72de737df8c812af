// The shared word checks of the command families: the decimal number syntax, single
// precision, signed whole numbers and the file stem of a profile path.
#include "families/validators.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>

namespace ovctl::families {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(FamiliesValidators, ReadsTheStandardDecimalSyntax) {
    struct Case {
        std::string word;
        std::optional<double> value;
    };
    const Case cases[] = {
        {"2", 2.0},          {"+2", 2.0},         {"-2.5", -2.5},     {".5", 0.5},        {"5.", 5.0},
        {"1e3", 1000.0},     {"1E-2", 0.01},      {"+1.5e+2", 150.0}, {"-0", -0.0},       {"007", 7.0},
        {"inf", kInf},       {"-Infinity", -kInf}, {"+INF", kInf},    {"1e400", kInf},    {"-1e400", -kInf},
        {"1e-400", 0.0},     {"", std::nullopt},  {"+", std::nullopt}, {"-", std::nullopt}, {".", std::nullopt},
        {"e5", std::nullopt}, {"1e", std::nullopt}, {"1.5.2", std::nullopt}, {"++1", std::nullopt},
        {"+-1", std::nullopt}, {"--1", std::nullopt}, {" 1", std::nullopt}, {"1 ", std::nullopt},
        {"0x10", std::nullopt}, {"1,5", std::nullopt}, {"nan(0)", std::nullopt}, {"infinit", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("[" + c.word + "]");
        const auto value = parse_decimal(c.word);
        ASSERT_EQ(value.has_value(), c.value.has_value());
        if (value) {
            EXPECT_EQ(*value, *c.value);
            EXPECT_EQ(std::signbit(*value), std::signbit(*c.value));
        }
    }
    for (const char* word : {"nan", "NaN", "-nan", "+NAN"}) {
        const auto value = parse_decimal(word);
        ASSERT_TRUE(value.has_value()) << word;
        EXPECT_TRUE(std::isnan(*value)) << word;
    }
}

TEST(FamiliesValidators, ReadsSinglePrecisionAndPrintsItShortest) {
    EXPECT_EQ(parse_single("-13.7"), static_cast<double>(-13.7f));
    EXPECT_EQ(parse_single("-14"), -14.0);
    EXPECT_EQ(parse_single("1e39"), kInf);  // beyond a float
    EXPECT_EQ(parse_single("x"), std::nullopt);
    EXPECT_EQ(single_as_printed(static_cast<double>(-13.7f)), -13.7);
    EXPECT_EQ(single_as_printed(static_cast<double>(0.3f)), 0.3);
    EXPECT_EQ(single_as_printed(kInf), kInf);
}

TEST(FamiliesValidators, ReadsSignedWholeNumbers) {
    EXPECT_EQ(parse_i64("7"), 7);
    EXPECT_EQ(parse_i64("+7"), 7);
    EXPECT_EQ(parse_i64("-7"), -7);
    EXPECT_EQ(parse_i64("-9223372036854775808"), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(parse_i64("9223372036854775808"), std::nullopt);
    for (const char* word : {"", "+", "-", "+-1", "-+1", "1.0", " 1", "1x", "--1"}) {
        EXPECT_EQ(parse_i64(word), std::nullopt) << word;
    }
}

TEST(FamiliesValidators, SendsNonFiniteNumbersAsNull) {
    EXPECT_EQ(number_json(2.0).dump(), "2.0");
    EXPECT_TRUE(number_json(kInf).is_null());
    EXPECT_TRUE(number_json(std::nan("")).is_null());
}

TEST(FamiliesValidators, TakesTheFileStemOfEitherSeparator) {
    const std::pair<std::string, std::string> cases[] = {
        {"eq.txt", "eq"},
        {"profiles/my.cans.txt", "my.cans"},
        {"C:\\AutoEq\\HD 600 ParametricEQ.txt", "HD 600 ParametricEQ"},
        {"mixed/dir\\file.name.txt", "file.name"},
        {"noext", "noext"},
        {".profile", ".profile"},
        {"dir/.profile", ".profile"},
        {"eq.", "eq"},
        {".a.txt", ".a"},
        {"C:eq.txt", "eq"},
        {"/", ""},
        {"C:", ""},
        {"C:\\", ""},
        {"..", ""},
        {"dir/..", ""},
        {"dir\\.", ""},
        {"dir/", ""},
        {"", ""},
    };
    for (const auto& [path, stem] : cases) EXPECT_EQ(file_stem(path), stem) << path;
}

}  // namespace
}  // namespace ovctl::families
