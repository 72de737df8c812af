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

// JSON white space is tab, line feed, carriage return and space only: a byte-order mark is
// refused wherever it stands, unless the reader of a file or body skips one at the start.
TEST(JsonForm, AByteOrderMarkIsNotWhiteSpace) {
    const std::string bom = "\xEF\xBB\xBF";
    struct Case {
        std::string text;
        bool strict;   // parse_json
        bool skipped;  // parse_json_skipping_bom
    };
    const Case cases[] = {
        {bom + "5", false, true},
        {bom + "{\"a\":1}", false, true},
        {bom + " [1] ", false, true},
        {bom + bom + "5", false, false},
        {" " + bom + "5", false, false},
        {"5" + bom, false, false},
        {"[1," + bom + "2]", false, false},
        {"\"" + bom + "\"", true, true},  // inside a string it is just a character
        {"5", true, true},
        {bom, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto strict = ov::parse_json(c.text);
        EXPECT_EQ(strict.value.has_value(), c.strict);
        EXPECT_EQ(strict.error.empty(), c.strict);
        EXPECT_EQ(ov::parse_json_skipping_bom(c.text).value.has_value(), c.skipped);
    }
    EXPECT_EQ(ov::parse_json(bom + "5").error,
              "parse error at line 1, column 1: a byte-order mark (U+FEFF) is not JSON white space");
    EXPECT_EQ(*ov::parse_json_skipping_bom(bom + "{\"a\":1}").value, (Json{{"a", 1}}));
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
