#include "main_loop.h"
#include "run.h"

#include <gtest/gtest.h>

namespace ovhost {
namespace {

TEST(HostCommandLine, ChannelsArgument) {
    struct Case {
        const char* text;
        std::uint64_t channels;
    };
    const Case cases[] = {
        {"1", 1}, {"2", 2}, {"0", 0}, {"7", 7}, {"+2", 2}, {"007", 7},
        {"18446744073709551615", 18446744073709551615u},
        {"18446744073709551616", 1},  // overflow
        {"", 1}, {"+", 1}, {"-1", 1}, {"++2", 1}, {" 2", 1}, {"2 ", 1}, {"x", 1}, {"2x", 1}, {"-0", 1},
    };
    for (const auto& c : cases) EXPECT_EQ(parse_channels_argument(c.text), c.channels) << '"' << c.text << '"';
}

TEST(HostCommandLine, RackChannelsAreClampedToOneOrTwo) {
    EXPECT_EQ(clamp_rack_channels(0), 1u);
    EXPECT_EQ(clamp_rack_channels(1), 1u);
    EXPECT_EQ(clamp_rack_channels(2), 2u);
    EXPECT_EQ(clamp_rack_channels(7), 2u);
    EXPECT_EQ(clamp_rack_channels(18446744073709551615u), 2u);
}

TEST(HostCommandLine, Modes) {
    struct Case {
        std::vector<std::string> arguments;
        Mode mode;
    };
    const Case cases[] = {
        {{}, Mode::usage_error},
        {{"Scan", "x.vst3"}, Mode::usage_error},
        {{"RACK", "m", "1"}, Mode::usage_error},
        {{"help"}, Mode::usage_error},
        {{"scan"}, Mode::incomplete},
        {{"rack"}, Mode::incomplete},
        {{"rack", "m"}, Mode::incomplete},
        {{"scan", "x.vst3"}, Mode::scan},
        {{"scan", "x.vst3", "extra"}, Mode::scan},
        {{"rack", "m", "2"}, Mode::rack},
        {{"rack", "m", "x", "extra"}, Mode::rack},
    };
    for (const auto& c : cases) EXPECT_EQ(parse_command_line(c.arguments).mode, c.mode);

    const auto scan = parse_command_line({"scan", "C:\\fx\\Foo.VST3"});
    EXPECT_EQ(scan.path, "C:\\fx\\Foo.VST3");
    const auto rack = parse_command_line({"rack", "Local\\orvia-fx-1", "x"});
    EXPECT_EQ(rack.mapping, "Local\\orvia-fx-1");
    EXPECT_EQ(rack.channels, 1u);
}

TEST(HostCommandLine, UsageErrorsExitWithTwo) {
    EXPECT_EQ(run({}), kExitUsage);
    EXPECT_EQ(run({"Scan", "x.vst3"}), kExitUsage);
    EXPECT_EQ(run({"scan"}), kExitUsage);
    EXPECT_EQ(run({"rack", "m"}), kExitUsage);
}

}  // namespace
}  // namespace ovhost
