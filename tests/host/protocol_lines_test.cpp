#include "protocol_lines.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace ovhost {
namespace {

TEST(ProtocolLines, WritesPrefixCompactJsonWithSortedKeys) {
    EXPECT_EQ(format_line(ov::Json{{"ok", true}, {"id", 7}}), "OVP {\"id\":7,\"ok\":true}");
    EXPECT_EQ(format_line(ov::Json{{"b", ov::Json{{"z", 1}, {"a", ov::Json::array({1, 2})}}}, {"a", "x y"}}),
              "OVP {\"a\":\"x y\",\"b\":{\"a\":[1,2],\"z\":1}}");
}

TEST(ProtocolLines, WritesNonFiniteDoublesAsNullAndWholeDoublesWithFraction) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(format_line(ov::Json{{"v", nan}, {"w", -inf}, {"x", 40.0}, {"y", 4294967295u}}),
              "OVP {\"v\":null,\"w\":null,\"x\":40.0,\"y\":4294967295}");
}

TEST(ProtocolLines, ReadsValuesBehindThePrefix) {
    struct Case {
        const char* line;
        const char* value;  // compact form, or nullptr for nothing
    };
    const Case cases[] = {
        {"OVP {\"cmd\":\"ping\",\"id\":7}", "{\"cmd\":\"ping\",\"id\":7}"},
        {"OVP {\"cmd\":\"ping\"}\r\n", "{\"cmd\":\"ping\"}"},
        {"OVP {\"cmd\":\"ping\"}\r", "{\"cmd\":\"ping\"}"},
        {"OVP  {\"cmd\":\"ping\"}  ", "{\"cmd\":\"ping\"}"},
        {"OVP 5", "5"},
        {"OVP [1,2]", "[1,2]"},
        {"OVP not json", nullptr},
        {"OVP [1,2", nullptr},
        {"OVP {} {}", nullptr},
        {"OVP ", nullptr},
        {"OV", nullptr},
        {"", nullptr},
        {"{\"cmd\":\"ping\"}", nullptr},
        {"ovp {\"cmd\":\"ping\"}", nullptr},
        {"OVP\t{\"cmd\":\"ping\"}", nullptr},
    };
    for (const auto& c : cases) {
        const auto value = read_line(c.line);
        if (c.value == nullptr) {
            EXPECT_FALSE(value.has_value()) << c.line;
        } else {
            ASSERT_TRUE(value.has_value()) << c.line;
            EXPECT_EQ(ov::to_compact_json(*value), c.value) << c.line;
        }
    }
}

TEST(ProtocolLines, DecimalText) {
    EXPECT_EQ(decimal_text(0), "0");
    EXPECT_EQ(decimal_text(4294967295u), "4294967295");
    EXPECT_EQ(decimal_text(18446744073709551615u), "18446744073709551615");
}

}  // namespace
}  // namespace ovhost
