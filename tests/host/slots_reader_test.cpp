#include "slots_reader.h"

#include <gtest/gtest.h>

namespace ovhost {
namespace {

const char* const kValid = R"({"key":1,"kind":"vst3","path":"p","uid":"u"})";

std::string request_with(const std::string& slots) { return R"({"cmd":"setRack","slots":)" + slots + "}"; }

std::string first_slot_with(const std::string& members) {
    return request_with(R"([{"key":1,"kind":"vst3","path":"p","uid":"u",)" + members + "}]");
}

TEST(SlotSpecReader, ReadsEverySlotWithDefaults) {
    const auto specs = read_slot_specs(request_with(
        std::string("[") + kValid +
        R"(,{"uid":"gain","path":"any","kind":"internal","key":4294967295,"bypass":true,"fold":"left","state":"AAE=","extra":[1,{"a":2}]}])"));
    ASSERT_TRUE(specs) << specs.error();
    ASSERT_EQ(specs->size(), 2u);
    const SlotSpec& first = specs.value()[0];
    EXPECT_EQ(first.key, 1u);
    EXPECT_EQ(first.kind, "vst3");
    EXPECT_EQ(first.path, "p");
    EXPECT_EQ(first.uid, "u");
    EXPECT_FALSE(first.bypass);
    EXPECT_EQ(first.fold, "");
    EXPECT_FALSE(first.state.has_value());
    const SlotSpec& second = specs.value()[1];
    EXPECT_EQ(second.key, 4294967295u);
    EXPECT_EQ(second.kind, "internal");
    EXPECT_TRUE(second.bypass);
    EXPECT_EQ(second.fold, "left");
    EXPECT_EQ(second.state, "AAE=");
}

TEST(SlotSpecReader, AbsentSlotsAreAnEmptyListAndNullStateIsNone) {
    const auto absent = read_slot_specs(R"({"cmd":"setRack","id":3})");
    ASSERT_TRUE(absent);
    EXPECT_TRUE(absent->empty());
    const auto empty = read_slot_specs(request_with("[]"));
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());
    const auto null_state = read_slot_specs(first_slot_with(R"("state":null)"));
    ASSERT_TRUE(null_state);
    EXPECT_FALSE(null_state.value()[0].state.has_value());
}

TEST(SlotSpecReader, NestedSlotsMembersAreNotTheRequestsOwn) {
    // Only the request's own "slots" member counts; one inside another member is ignored.
    const auto specs = read_slot_specs(R"({"cmd":"setRack","other":{"slots":5},"slots":[]})");
    ASSERT_TRUE(specs) << specs.error();
    EXPECT_TRUE(specs->empty());
}

TEST(SlotSpecReader, ARepeatedSlotsMemberCountsLastLikeTheParsedRequest) {
    const auto specs = read_slot_specs(R"({"slots":true,"cmd":"setRack","slots":[]})");
    ASSERT_TRUE(specs) << specs.error();
    EXPECT_TRUE(specs->empty());
}

TEST(SlotSpecReader, MessagesForEveryWrongShape) {
    struct Case {
        std::string request;
        const char* message;
    };
    const Case cases[] = {
        // The list itself.
        {request_with("null"), "invalid type: null, expected a sequence"},
        {request_with("{}"), "invalid type: map, expected a sequence"},
        {request_with("\"abc\""), "invalid type: string \"abc\", expected a sequence"},
        {request_with("5"), "invalid type: integer `5`, expected a sequence"},
        {request_with("true"), "invalid type: boolean `true`, expected a sequence"},
        // Its elements.
        {request_with("[1]"), "invalid type: integer `1`, expected struct SlotSpec"},
        {request_with("[[1]]"), "invalid type: sequence, expected struct SlotSpec"},
        {request_with("[null]"), "invalid type: null, expected struct SlotSpec"},
        {request_with(std::string("[") + kValid + ",\"x\"]"), "invalid type: string \"x\", expected struct SlotSpec"},
        // The key.
        {request_with(R"([{"key":true}])"), "invalid type: boolean `true`, expected u32"},
        {request_with(R"([{"key":-5}])"), "invalid value: integer `-5`, expected u32"},
        {request_with(R"([{"key":4294967296}])"), "invalid value: integer `4294967296`, expected u32"},
        {request_with(R"([{"key":1.5}])"), "invalid type: floating point `1.5`, expected u32"},
        {request_with(R"([{"key":2.0}])"), "invalid type: floating point `2.0`, expected u32"},
        {request_with(R"([{"key":1e2}])"), "invalid type: floating point `100.0`, expected u32"},
        {request_with(R"([{"key":-0.25}])"), "invalid type: floating point `-0.25`, expected u32"},
        {request_with(R"([{"key":100000000000000000000}])"),
         "invalid type: floating point `100000000000000000000.0`, expected u32"},
        {request_with(R"([{"key":"7"}])"), "invalid type: string \"7\", expected u32"},
        {request_with(R"([{"key":null}])"), "invalid type: null, expected u32"},
        {request_with(R"([{"key":[]}])"), "invalid type: sequence, expected u32"},
        {request_with(R"([{"key":{}}])"), "invalid type: map, expected u32"},
        // The strings.
        {request_with(R"([{"key":1,"kind":5}])"), "invalid type: integer `5`, expected a string"},
        {request_with(R"([{"key":1,"kind":"vst3","path":null}])"), "invalid type: null, expected a string"},
        {request_with(R"([{"key":1,"uid":false}])"), "invalid type: boolean `false`, expected a string"},
        {first_slot_with(R"("fold":null)"), "invalid type: null, expected a string"},
        {first_slot_with(R"("fold":["left"])"), "invalid type: sequence, expected a string"},
        {first_slot_with(R"("state":5)"), "invalid type: integer `5`, expected a string"},
        {first_slot_with(R"("state":{"a":1})"), "invalid type: map, expected a string"},
        // The boolean.
        {first_slot_with(R"("bypass":1)"), "invalid type: integer `1`, expected a boolean"},
        {first_slot_with(R"("bypass":"true")"), "invalid type: string \"true\", expected a boolean"},
        {first_slot_with(R"("bypass":null)"), "invalid type: null, expected a boolean"},
        // Quotes, backslashes and control characters inside a shown string.
        {request_with(R"([{"key":"a\"b\\c"}])"), "invalid type: string \"a\\\"b\\\\c\", expected u32"},
        {request_with(R"([{"key":"a\nb\u0001"}])"), "invalid type: string \"a\\nb\\u{1}\", expected u32"},
        // Duplicates and missing members.
        {request_with(R"([{"key":1,"key":2}])"), "duplicate field `key`"},
        {first_slot_with(R"("bypass":true,"x":1,"bypass":false)"), "duplicate field `bypass`"},
        {first_slot_with(R"("state":null,"state":"AA")"), "duplicate field `state`"},
        {request_with(R"([{"kind":"vst3","path":"p","uid":"u"}])"), "missing field `key`"},
        {request_with(R"([{"key":1,"path":"p","uid":"u"}])"), "missing field `kind`"},
        {request_with(R"([{"uid":"u","kind":"k","key":1}])"), "missing field `path`"},
        {request_with(R"([{"key":1,"kind":"k","path":"p"}])"), "missing field `uid`"},
        {request_with("[{}]"), "missing field `key`"},
        // The first problem in reading order wins.
        {request_with(R"([{"bypass":1,"key":-1}])"), "invalid type: integer `1`, expected a boolean"},
        {request_with(R"([{"key":1,"key":-1}])"), "duplicate field `key`"},
        {request_with(R"([{"kind":"k"},{"key":true}])"), "missing field `key`"},
        {request_with(std::string("[") + kValid + R"(,{"key":1,"kind":"k","path":"p"},5])"), "missing field `uid`"},
    };
    for (const auto& c : cases) {
        const auto specs = read_slot_specs(c.request);
        ASSERT_FALSE(specs) << c.request;
        EXPECT_EQ(specs.error(), c.message) << c.request;
    }
}

TEST(SlotSpecReader, UnknownMembersMayHoldAnything) {
    const auto specs = read_slot_specs(first_slot_with(R"("x":{"key":"no","y":[{"key":true}]},"z":null)"));
    ASSERT_TRUE(specs) << specs.error();
    EXPECT_EQ(specs.value()[0].key, 1u);
}

TEST(SlotSpecReader, FloatsShowInShortestFormWithAFraction) {
    EXPECT_EQ(describe_float_value(1.5), "1.5");
    EXPECT_EQ(describe_float_value(2.0), "2.0");
    EXPECT_EQ(describe_float_value(-0.0), "-0.0");
    EXPECT_EQ(describe_float_value(0.1), "0.1");
    EXPECT_EQ(describe_float_value(1e21), "1000000000000000000000.0");
    EXPECT_EQ(describe_float_value(1.25e-7), "0.000000125");
}

}  // namespace
}  // namespace ovhost
