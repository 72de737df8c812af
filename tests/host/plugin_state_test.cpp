// Plug-in state as base64 text, and the parameter ring between the two threads.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "plugin.h"

namespace ovhost {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(StateBase64, EncodesWithPadding) {
    struct Case {
        Bytes bytes;
        std::string text;
    };
    const Case cases[] = {
        {{}, ""},
        {{0x00}, "AA=="},
        {{0x00, 0x01}, "AAE="},
        {{0x00, 0x01, 0x02}, "AAEC"},
        {{0xFB, 0xFF, 0xBF}, "+/+/"},
        {{'f', 'o', 'o', 'b', 'a', 'r'}, "Zm9vYmFy"},
        {{0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xE0, 0x3F}, "AAAAAAAA4D8="},
    };
    for (const Case& c : cases) EXPECT_EQ(encode_state_base64(c.bytes), c.text);
}

TEST(StateBase64, DecodesLeniently) {
    struct Case {
        std::string text;
        Bytes bytes;
    };
    const Case cases[] = {
        {"", {}},
        {"AAEC", {0x00, 0x01, 0x02}},
        {"AAE=", {0x00, 0x01}},
        {"AAE", {0x00, 0x01}},
        {"AA", {0x00}},
        {"A", {}},
        {"AA EC\r\n", {0x00, 0x01, 0x02}},
        {"A=A=E=C", {0x00, 0x01, 0x02}},      // "=" is skipped anywhere
        {"====", {}},
        {"+/+/", {0xFB, 0xFF, 0xBF}},
        {"Zm9v\nYmFy", {'f', 'o', 'o', 'b', 'a', 'r'}},
        {"AAEC AAE=", {0x00, 0x01, 0x02, 0x00, 0x01}},
    };
    for (const Case& c : cases) {
        const auto decoded = decode_state_base64(c.text);
        ASSERT_TRUE(decoded.ok()) << c.text;
        EXPECT_EQ(decoded.value(), c.bytes) << c.text;
    }
}

TEST(StateBase64, RejectsBytesOutsideTheAlphabet) {
    const std::string texts[] = {"AA\tEC", "AA-EC", "AA_E", "AAE.", std::string("AA\0E", 4), "AA\xC3\xA9"};
    for (const std::string& text : texts) {
        const auto decoded = decode_state_base64(text);
        ASSERT_FALSE(decoded.ok()) << text;
        EXPECT_EQ(decoded.error(), "the plugin state is not valid base64");
    }
}

TEST(StateBase64, RoundTripsEveryLengthAndByte) {
    Bytes bytes;
    for (int length = 0; length < 300; ++length) {
        const auto decoded = decode_state_base64(encode_state_base64(bytes));
        ASSERT_TRUE(decoded.ok());
        ASSERT_EQ(decoded.value(), bytes) << "length " << length;
        bytes.push_back(static_cast<std::uint8_t>(length * 7 + 3));
    }
}

TEST(ParamRing, KeepsOrderAndDropsWhenFull) {
    ParamRing ring;
    EXPECT_FALSE(ring.pop().has_value());
    for (std::uint32_t i = 0; i < ParamRing::kCapacity + 10; ++i) ring.push(i, i * 0.5);
    for (std::uint32_t i = 0; i < ParamRing::kCapacity; ++i) {
        const auto entry = ring.pop();
        ASSERT_TRUE(entry.has_value());
        EXPECT_EQ(entry->id, i);
        EXPECT_EQ(entry->value, i * 0.5);
    }
    EXPECT_FALSE(ring.pop().has_value()) << "entries pushed into a full ring are dropped";
    // Usable again after draining, across the wrap-around of its indexes.
    ring.push_locked(7, 0.25);
    const auto entry = ring.pop();
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->id, 7u);
    EXPECT_EQ(entry->value, 0.25);
}

TEST(ParamRing, CarriesEntriesBetweenThreadsInOrderWithoutTearing) {
    ParamRing ring;
    constexpr std::uint32_t kCount = 200000;
    std::atomic<bool> producer_done{false};
    std::thread producer([&] {
        for (std::uint32_t i = 0; i < kCount; ++i) ring.push_locked(i, static_cast<double>(i) + 0.5);
        producer_done.store(true);
    });
    std::int64_t last_id = -1;
    std::uint32_t received = 0;
    for (;;) {
        const bool done = producer_done.load();
        auto entry = ring.pop();
        if (!entry) {
            if (done) break;
            std::this_thread::yield();
            continue;
        }
        // A lagging consumer loses entries, but never sees them reordered or torn.
        ASSERT_GT(static_cast<std::int64_t>(entry->id), last_id);
        ASSERT_EQ(entry->value, static_cast<double>(entry->id) + 0.5);
        last_id = entry->id;
        ++received;
    }
    producer.join();
    EXPECT_GT(received, 0u);
    EXPECT_LE(received, kCount);
}

}  // namespace
}  // namespace ovhost
