#include "ov/json.h"
#include "ov/text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using ov::Json;

TEST(Text, TrimRemovesUnicodeWhiteSpaceOnly) {
    EXPECT_EQ(ov::text::trim(" \t\u00a0abc\u3000\r\n"), "abc");
    EXPECT_EQ(ov::text::trim("\u200b x"), "\u200b x");  // zero-width space is not white space
    EXPECT_EQ(ov::text::trim("   "), "");
    EXPECT_EQ(ov::text::trim(""), "");
}

TEST(Text, SplitWhiteSpaceJoinsRuns) {
    const auto pieces = ov::text::split_white_space("HTTP/1.1 \u2003 200\tOK\r\n");
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[1], "200");
}

TEST(Text, LossyDecodingReplacesEachMaximalInvalidSubsequence) {
    struct Case {
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {"ok", "ok"},
        {"a\xff" "b", "a\uFFFDb"},
        {"\xe2\x82", "\uFFFD"},               // truncated three-byte sequence: one replacement
        {"\xed\xa0\x80", "\uFFFD\uFFFD\uFFFD"},  // surrogates are not UTF-8
        {"\xc3\xa4", "\u00e4"},
        {"\xef\xbf\xbd", "\uFFFD"},
    };
    for (const auto& c : cases) EXPECT_EQ(ov::text::decode_utf8_lossy(c.in), c.out) << c.in;
    EXPECT_TRUE(ov::text::is_valid_utf8("\xef\xbf\xbd"));
    EXPECT_FALSE(ov::text::is_valid_utf8("a\xff"));
}

TEST(Text, AsciiLowerLeavesOtherLettersAlone) {
    EXPECT_EQ(ov::text::ascii_lower("\u00c4B"), "\u00c4b");
}

TEST(JsonForm, CompactSortsKeysAndKeepsFractions) {
    Json v = {{"b", 40.0}, {"a", std::numeric_limits<double>::quiet_NaN()}, {"c", 2}};
    EXPECT_EQ(ov::to_compact_json(v), R"({"a":null,"b":40.0,"c":2})");
    EXPECT_EQ(ov::to_pretty_json(Json::object()), "{}");
    EXPECT_EQ(ov::to_pretty_json(Json{{"x", Json::array()}}), "{\n  \"x\": []\n}");
}

TEST(JsonForm, ParseReportsErrorsAsValues) {
    EXPECT_TRUE(ov::parse_json(" [1, 2] ").value.has_value());
    const auto bad = ov::parse_json("{\"a\":");
    EXPECT_FALSE(bad.value.has_value());
    EXPECT_FALSE(bad.error.empty());
    EXPECT_FALSE(ov::parse_json("1 2").value.has_value());
    EXPECT_FALSE(ov::parse_json("").value.has_value());
}

TEST(JsonForm, DeepNestingIsRefusedInsteadOfExhaustingTheStack) {
    const auto nested = [](std::size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); };
    EXPECT_TRUE(ov::parse_json(nested(512)).value.has_value());
    const auto deep = ov::parse_json(nested(100000));
    EXPECT_FALSE(deep.value.has_value());
    EXPECT_NE(deep.error.find("nested deeper"), std::string::npos);
}

TEST(JsonForm, InvalidUtf8IsReplacedNotThrown) {
    EXPECT_EQ(ov::to_compact_json(Json("a\xff")), "\"a\xEF\xBF\xBD\"");
}

}  // namespace
