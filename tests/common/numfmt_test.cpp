#include "ov/numfmt.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::nan("");

struct DoubleCase {
    double value;
    std::string expected;
};

TEST(NumFmt, PlainIsShortestRoundTripWithoutExponent) {
    const DoubleCase cases[] = {
        {-16.0, "-16"},
        {-14.5, "-14.5"},
        {0.0, "0"},
        {-0.0, "-0"},
        {0.1, "0.1"},
        {0.3, "0.3"},
        {0.1 + 0.2, "0.30000000000000004"},
        {1e21, "1000000000000000000000"},
        {1e-7, "0.0000001"},
        {123456789012.5, "123456789012.5"},
        {1.5e300, "15" + std::string(299, '0')},
        {-2.5e-10, "-0.00000000025"},
        {1234.5678, "1234.5678"},
        {5e-324, "0." + std::string(323, '0') + "5"},
        {kInf, "inf"},
        {-kInf, "-inf"},
        {kNaN, "NaN"},
    };
    for (const auto& c : cases) EXPECT_EQ(ov::num::plain(c.value), c.expected) << c.value;
}

TEST(NumFmt, PlainReadsBackExactlyAtTheExtremes) {
    const double extremes[] = {std::numeric_limits<double>::max(), std::numeric_limits<double>::lowest(),
                               std::numeric_limits<double>::min(), std::numeric_limits<double>::denorm_min(),
                               -std::numeric_limits<double>::denorm_min()};
    for (double value : extremes) {
        const std::string text = ov::num::plain(value);
        EXPECT_EQ(text.find_first_of("eE"), std::string::npos) << text;
        EXPECT_EQ(std::strtod(text.c_str(), nullptr), value) << text;
    }
    EXPECT_EQ(ov::num::plain(std::numeric_limits<double>::denorm_min()), "0." + std::string(323, '0') + "5");
}

struct FixedCase {
    double value;
    int decimals;
    const char* expected;
};

TEST(NumFmt, FixedRoundsTheExactValue) {
    const FixedCase cases[] = {
        {99.96, 1, "100.0"},
        {-118.96, 1, "-119.0"},
        {4.26, 1, "4.3"},
        {-23.04, 1, "-23.0"},
        {-0.04, 1, "-0.0"},
        {0.04, 1, "0.0"},
        {40.0, 1, "40.0"},
        {0.25, 1, "0.2"},   // an exact tie goes to the even digit
        {0.35, 1, "0.3"},   // 0.35 is stored slightly below the tie
        {2.5, 0, "2"},
        {3.5, 0, "4"},
        {120.0, 0, "120"},
        {0.3, 2, "0.30"},
        {1e21, 1, "1000000000000000000000.0"},
        {1e-7, 1, "0.0"},
        {1.0, -3, "1"},  // a negative precision means none
        {kInf, 1, "inf"},
        {-kInf, 1, "-inf"},
        {kNaN, 1, "NaN"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ov::num::fixed(c.value, c.decimals), c.expected) << c.value << " to " << c.decimals;
}

TEST(NumFmt, FixedCopesWithTheLargestValue) {
    const std::string text = ov::num::fixed(std::numeric_limits<double>::max(), 2);
    EXPECT_EQ(text.size(), 309u + 3u);
    EXPECT_EQ(text.substr(text.size() - 3), ".00");
}

TEST(NumFmt, SignedFormsAlwaysCarryASign) {
    const FixedCase fixed_cases[] = {
        {1.5, 1, "+1.5"}, {-0.3, 1, "-0.3"}, {0.0, 1, "+0.0"}, {-0.0, 1, "-0.0"},
        {0.3, 2, "+0.30"}, {-1.04, 1, "-1.0"}, {kInf, 1, "+inf"}, {-kInf, 1, "-inf"}, {kNaN, 1, "NaN"},
    };
    for (const auto& c : fixed_cases)
        EXPECT_EQ(ov::num::signed_fixed(c.value, c.decimals), c.expected) << c.value;

    const DoubleCase plain_cases[] = {
        {0.2, "+0.2"}, {0.0, "+0"}, {-0.1, "-0.1"}, {30.0, "+30"}, {kInf, "+inf"}, {kNaN, "NaN"},
    };
    for (const auto& c : plain_cases) EXPECT_EQ(ov::num::signed_plain(c.value), c.expected) << c.value;
}

TEST(NumFmt, SignedInteger) {
    EXPECT_EQ(ov::num::signed_integer(3), "+3");
    EXPECT_EQ(ov::num::signed_integer(0), "+0");
    EXPECT_EQ(ov::num::signed_integer(-3), "-3");
    EXPECT_EQ(ov::num::signed_integer(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808");
    EXPECT_EQ(ov::num::signed_integer(std::numeric_limits<std::int64_t>::max()), "+9223372036854775807");
}

}  // namespace
