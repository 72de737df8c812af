// The word tools every command handler reads its words with.
#include "words.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

namespace ovctl {
namespace {

const std::string kHint = "\nRun `ovctl help` for the commands.";

TEST(UsageError, KeepsTheMessageAndAddsTheHintLineWithCode2) {
    const CliError error = usage_error("mute takes toggle, on or off, not \"x\"");
    EXPECT_EQ(error.message, "mute takes toggle, on or off, not \"x\"" + kHint);
    EXPECT_EQ(error.code, 2);
}

TEST(RequiredWord, ReturnsTheWordAsTyped) {
    const Words words{"vmics", "preset", " TwoCalls "};
    const Result<std::string> word = required_word(words, 2, "the preset id");
    ASSERT_TRUE(word.ok());
    EXPECT_EQ(*word, " TwoCalls ");
}

TEST(RequiredWord, AnEmptyWordIsStillAWord) {
    const Words words{"get", ""};
    const Result<std::string> word = required_word(words, 1, "the path");
    ASSERT_TRUE(word.ok());
    EXPECT_EQ(*word, "");
}

TEST(RequiredWord, PastTheEndIsMissing) {
    const Words words{"profile", "load"};
    for (const std::size_t index : {std::size_t{2}, std::size_t{7}}) {
        const Result<std::string> word = required_word(words, index, "the profile name");
        ASSERT_FALSE(word.ok());
        EXPECT_EQ(word.error().message, "Missing the profile name" + kHint);
        EXPECT_EQ(word.error().code, 2);
    }
}

TEST(RestText, JoinsWithSingleSpacesThenTrims) {
    struct Case {
        Words words;
        std::string expected;
    };
    const Case cases[] = {
        {{"p", "load", "My", "Voice", "Warm"}, "My Voice Warm"},
        // Each separator is one space, so an empty word leaves two.
        {{"p", "load", "Big", "", "Room"}, "Big  Room"},
        // Spaces inside one word stay; only the ends are trimmed.
        {{"p", "load", "  My   Voice  "}, "My   Voice"},
        {{"p", "load", "", "solo", ""}, "solo"},
        // Unicode white space (U+3000, U+00A0) is trimmed as well.
        {{"p", "load", "\u3000name\u00a0"}, "name"},
        {{"p", "load", "Ünïcode"}, "Ünïcode"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        const Result<std::string> text = rest_text(c.words, 2, "the name");
        ASSERT_TRUE(text.ok());
        EXPECT_EQ(*text, c.expected);
    }
}

TEST(RestText, NothingButWhiteSpaceIsMissing) {
    const Words cases[] = {
        {"profile", "load"},
        {"profile", "load", ""},
        {"profile", "load", "  ", "\t", " "},
        {"profile", "load", "\u2003"},
    };
    for (const Words& words : cases) {
        const Result<std::string> text = rest_text(words, 2, "the profile name");
        ASSERT_FALSE(text.ok());
        EXPECT_EQ(text.error().message, "Missing the profile name" + kHint);
        EXPECT_EQ(text.error().code, 2);
    }
}

TEST(JsonOrText, ParsesJsonAndKeepsEverythingElseAsAString) {
    struct Case {
        std::string word;
        std::string compact;
    };
    const Case cases[] = {
        {"12", "12"},
        {"-20", "-20"},
        {"2.5", "2.5"},
        {"true", "true"},
        {"null", "null"},
        {"[1,\"a\"]", "[1,\"a\"]"},
        {"{\"b\":1,\"a\":2}", "{\"a\":2,\"b\":1}"},
        {" 12 ", "12"},
        {"\"quoted\"", "\"quoted\""},
        {"warm", "\"warm\""},
        {"20dB", "\"20dB\""},
        {"TRUE", "\"TRUE\""},
        {"{bad", "\"{bad\""},
        {"[1,2", "\"[1,2\""},
        {"1 2", "\"1 2\""},
        {"", "\"\""},
        {"Ä", "\"Ä\""},
        // A byte-order mark is not JSON white space: the word goes out as typed.
        {"\xEF\xBB\xBF" "5", "\"\xEF\xBB\xBF" "5\""},
        {"\xEF\xBB\xBF[1]", "\"\xEF\xBB\xBF[1]\""},
        {" \xEF\xBB\xBF" "5", "\" \xEF\xBB\xBF" "5\""},
        {"5\xEF\xBB\xBF", "\"5\xEF\xBB\xBF\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.word);
        EXPECT_EQ(ov::to_compact_json(json_or_text(c.word)), c.compact);
    }
}

TEST(JsonOrText, AQuotedWordBecomesTheStringWithoutQuotes) {
    const Json value = json_or_text("\"warm\"");
    ASSERT_TRUE(value.is_string());
    EXPECT_EQ(value.get<std::string>(), "warm");
}

TEST(UnsignedParsers, AcceptOnlyAnOptionalPlusAndDigitsThatFit) {
    struct Case {
        std::string word;
        std::optional<std::uint64_t> u16;
        std::optional<std::uint64_t> u32;
        std::optional<std::uint64_t> u64;
    };
    const std::nullopt_t no = std::nullopt;
    const Case cases[] = {
        {"7", 7, 7, 7},
        {"+7", 7, 7, 7},
        {"07", 7, 7, 7},
        {"0", 0, 0, 0},
        {"+0000", 0, 0, 0},
        {"65535", 65535, 65535, 65535},
        {"65536", no, 65536, 65536},
        {"4294967295", no, 4294967295u, 4294967295u},
        {"4294967296", no, no, 4294967296u},
        {"18446744073709551615", no, no, 18446744073709551615u},
        {"18446744073709551616", no, no, no},
        {"000000000000000000000000000001", 1, 1, 1},
        {"", no, no, no},
        {"+", no, no, no},
        {"++7", no, no, no},
        {"-0", no, no, no},
        {"-1", no, no, no},
        {"7.0", no, no, no},
        {" 7", no, no, no},
        {"7 ", no, no, no},
        {"7a", no, no, no},
        {"0x10", no, no, no},
        {"1e3", no, no, no},
        {"\u0663", no, no, no},  // an Arabic-Indic digit is not an ASCII digit
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.word);
        const auto u16 = parse_u16(c.word);
        const auto u32 = parse_u32(c.word);
        const auto u64 = parse_u64(c.word);
        EXPECT_EQ(u16 ? std::optional<std::uint64_t>(*u16) : std::nullopt, c.u16);
        EXPECT_EQ(u32 ? std::optional<std::uint64_t>(*u32) : std::nullopt, c.u32);
        EXPECT_EQ(u64, c.u64);
    }
}

}  // namespace
}  // namespace ovctl
