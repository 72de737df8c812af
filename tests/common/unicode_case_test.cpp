#include "ov/unicode_case.h"

#include "ov/text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct CaseMapping {
    const char* input;
    const char* expected;
};

TEST(UnicodeCase, UpperCaseUsesFullMappings) {
    const CaseMapping cases[] = {
        {"", ""},
        {"abc xyz 019 {}~", "ABC XYZ 019 {}~"},
        {"ABC", "ABC"},
        {"b", "B"},
        {"\u00E9t\u00E9", "\u00C9T\u00C9"},                 // été
        {"stra\u00DFe", "STRASSE"},                         // ß -> SS
        {"\uFB03", "FFI"},                                  // ﬃ ligature
        {"\u0149", "\u02BCN"},                              // ŉ
        {"\u0390", "\u0399\u0308\u0301"},                   // ΐ: three code points
        {"\u1F80", "\u1F08\u0399"},                         // ᾀ with ypogegrammeni
        {"\u00FF", "\u0178"},                               // ÿ -> Ÿ
        {"\u0131", "I"},                                    // dotless i
        {"\u017F", "S"},                                    // long s
        {"\u00B5", "\u039C"},                               // micro sign -> Greek capital mu
        {"\u01C6\u01C5", "\u01C4\u01C4"},                   // dž and its title case form
        {"\u03C3\u03C2", "\u03A3\u03A3"},                   // both sigmas
        {"\u0101\u0100\u0103", "\u0100\u0100\u0102"},       // alternating pairs
        {"\u0561", "\u0531"},                               // Armenian
        {"\u10D0", "\u1C90"},                               // Georgian Mkhedruli -> Mtavruli
        {"\uAB70", "\u13A0"},                               // Cherokee small letter
        {"\U00010428", "\U00010400"},                       // Deseret: four-byte UTF-8
        {"\U0001E922", "\U0001E900"},                       // Adlam
        {"\u4E2D\u6587", "\u4E2D\u6587"},                   // no case
    };
    for (const auto& c : cases) EXPECT_EQ(ov::unicode::to_upper(c.input), c.expected) << c.input;
}

TEST(UnicodeCase, LowerCaseUsesUnconditionalMappingsAndNoLanguageRules) {
    const CaseMapping cases[] = {
        {"ABC xyz", "abc xyz"},
        {"STRASSE", "strasse"},
        {"\u00DF", "\u00DF"},
        {"\u0130", "i\u0307"},              // İ: language-neutral mapping keeps the dot
        {"\u1E9E", "\u00DF"},               // capital sharp s
        {"\u01C4\u01C5", "\u01C6\u01C6"},
        {"\u0178", "\u00FF"},
        {"\u2126", "\u03C9"},               // Ohm sign
        {"\u212A", "k"},                    // Kelvin sign
        {"\U00010400", "\U00010428"},
    };
    for (const auto& c : cases) EXPECT_EQ(ov::unicode::to_lower(c.input), c.expected) << c.input;
}

// A capital sigma preceded by a cased letter (case-ignorable characters may stand between)
// and not followed by one lower-cases to the final form; everywhere else to the medial one.
TEST(UnicodeCase, LowerCaseGivesTheFinalSigmaAtTheEndOfAWord) {
    const CaseMapping cases[] = {
        {"\u039F\u0394\u039F\u03A3", "\u03BF\u03B4\u03BF\u03C2"},        // ΟΔΟΣ -> οδος
        {"\u03A3\u0391\u03A3", "\u03C3\u03B1\u03C2"},                    // ΣΑΣ -> σας
        {"\u03A3\u03A3", "\u03C3\u03C2"},
        {"\u0391\u03A3\u03A3\u0391", "\u03B1\u03C3\u03C3\u03B1"},        // inside a word
        {"\u03A3", "\u03C3"},                                              // no letter before it
        {"1\u03A3", "1\u03C3"},
        {" \u03A3 ", " \u03C3 "},
        {"\u0391\u03A3 \u0392", "\u03B1\u03C2 \u03B2"},                  // a space ends the word
        {"\u0391\u03A3, \u0392\u03A3.", "\u03B1\u03C2, \u03B2\u03C2."},
        {"\u0391\u03A31", "\u03B1\u03C21"},
        {"A\u03A3", "a\u03C2"},                                            // any cased letter counts
        {"\u0391'\u03A3", "\u03B1'\u03C2"},                                // an apostrophe is skipped
        {"\u0391\u0301\u03A3", "\u03B1\u0301\u03C2"},                    // so is a combining accent
        {"\u0391\u03A3'\u0392", "\u03B1\u03C3'\u03B2"},                  // and it does not end a word
        {"\u0391\u03A3\u0301", "\u03B1\u03C2\u0301"},
        {"\u0391\u03A3\u0301\u0392", "\u03B1\u03C3\u0301\u03B2"},
        {"\u0391\xFF\u03A3", "\u03B1\uFFFD\u03C3"},                      // a bad byte is no letter
        {"\u03C3\u03C2", "\u03C3\u03C2"},                                // small sigmas stay
    };
    for (const auto& c : cases) EXPECT_EQ(ov::unicode::to_lower(c.input), c.expected) << c.input;
    // Upper-casing has no context: both small sigmas give the capital.
    EXPECT_EQ(ov::unicode::to_upper("\u03BF\u03B4\u03BF\u03C2 \u03C3"), "\u039F\u0394\u039F\u03A3 \u03A3");
}

TEST(UnicodeCase, InvalidBytesBecomeReplacementCharacters) {
    EXPECT_EQ(ov::unicode::to_upper("a\xFF" "b"), "A\uFFFDB");
    EXPECT_EQ(ov::unicode::to_upper("\xE2\x82"), "\uFFFD");
    EXPECT_EQ(ov::unicode::to_lower("\xC0\xAF" "A"), "\uFFFD\uFFFDa");
    EXPECT_EQ(ov::unicode::to_upper("\xEF\xBF\xBD"), "\uFFFD");
}

// Every code point maps to valid UTF-8, ASCII maps like the C locale, and code points that
// sit between the members of an alternating range are left alone.
TEST(UnicodeCase, EveryCodePointMapsToValidText) {
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;
        std::string input;
        ov::text::append_utf8(input, c);
        const std::string upper = ov::unicode::to_upper(input);
        const std::string lower = ov::unicode::to_lower(input);
        ASSERT_TRUE(ov::text::is_valid_utf8(upper)) << std::hex << static_cast<unsigned>(c);
        ASSERT_TRUE(ov::text::is_valid_utf8(lower)) << std::hex << static_cast<unsigned>(c);
        if (c < 0x80) {
            const char ch = static_cast<char>(c);
            const char up = (ch >= 'a' && ch <= 'z') ? static_cast<char>(ch - 32) : ch;
            const char low = (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch + 32) : ch;
            ASSERT_EQ(upper, std::string(1, up));
            ASSERT_EQ(lower, std::string(1, low));
        }
    }
    // Upper-case letters of alternating ranges stay as they are when upper-cased.
    EXPECT_EQ(ov::unicode::to_upper("\u0100\u0102\u012E"), "\u0100\u0102\u012E");
    EXPECT_EQ(ov::unicode::to_lower("\u0101\u0103\u012F"), "\u0101\u0103\u012F");
}

}  // namespace
