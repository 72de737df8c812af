// The container of a VST3 plug-in's saved state, and VST3 class ids as text.
#include <gtest/gtest.h>

#include "formats.h"
#include "vst3/vst3.h"
#include "vst3/state.h"

namespace ovhost::vst3 {
namespace {

std::vector<std::uint8_t> bytes_of(std::string_view text) { return {text.begin(), text.end()}; }

TEST(Vst3State, ContainerLayout) {
    const auto written = write_state_container({bytes_of("AB"), {}});
    EXPECT_EQ(written, bytes_of(std::string_view("OVV3\x02\0\0\0" "AB\0\0\0\0", 14)));
    const auto both = write_state_container({bytes_of("xyz"), bytes_of("q")});
    EXPECT_EQ(both, bytes_of(std::string_view("OVV3\x03\0\0\0xyz\x01\0\0\0q", 16)));
    const auto read = read_state_container(both);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->component, bytes_of("xyz"));
    EXPECT_EQ(read->controller, bytes_of("q"));
}

TEST(Vst3State, DamagedContainersAreRefused) {
    struct Case {
        const char* name;
        std::string bytes;
        bool readable;
    };
    const Case cases[] = {
        {"eleven bytes", std::string("OVV3\0\0\0\0\0\0\0", 11), false},
        {"empty states", std::string("OVV3\0\0\0\0\0\0\0\0", 12), true},
        {"other magic", std::string("OVV4\0\0\0\0\0\0\0\0", 12), false},
        {"component longer than the data", std::string("OVV3\x05\0\0\0ab\0\0\0\0", 14), false},
        {"no room for the second length", std::string("OVV3\x04\0\0\0abcd\0\0", 14), false},
        {"controller longer than the data", std::string("OVV3\x01\0\0\0a\x02\0\0\0b", 14), false},
        {"length near 4 GiB", std::string("OVV3\xFF\xFF\xFF\xFF\0\0\0\0", 12), false},
        {"extra bytes after the controller state", std::string("OVV3\x01\0\0\0a\x01\0\0\0bEXTRA", 19), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(read_state_container(bytes_of(c.bytes)).has_value(), c.readable);
    }
    const auto extra = read_state_container(bytes_of(cases[7].bytes));
    ASSERT_TRUE(extra);
    EXPECT_EQ(extra->controller, bytes_of("b"));
}

TEST(Vst3State, ClassIdsAsText) {
    const std::array<std::uint8_t, 16> cid = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                                              0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
    EXPECT_EQ(vst3_class_uid(cid), "00112233445566778899AABBCCDDEEFF");
    EXPECT_EQ(parse_vst3_class_id("00112233445566778899aabbccddeeff"), cid);
    for (const char* bad : {"00112233445566778899aabbccddeef", "00112233445566778899aabbccddeeff0",
                            "0011223344556677889 aabbccddeeff", "0x112233445566778899aabbccddeeff", ""}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(parse_vst3_class_id(bad));
        EXPECT_EQ(not_a_vst3_class_id_message(bad), "\"" + std::string(bad) + "\" is not a VST3 class id");
    }
}

}  // namespace
}  // namespace ovhost::vst3
