// Connection settings: the settings file's keys, the precedence of options, environment and
// file, and the real lookup through a temporary roaming folder and environment.
#include "settings.h"

#include "platform/env.h"
#include "platform/files.h"
#include "scoped_environment.h"

#include <gtest/gtest.h>

namespace ovctl {
namespace {

using testing::IsolatedClientEnvironment;

struct FileCase {
    const char* name;
    std::string text;
    std::optional<std::string> token;
    std::optional<std::uint16_t> port;
    ApiEnabled enabled;
};

class SettingsFileKeys : public ::testing::TestWithParam<FileCase> {};

TEST_P(SettingsFileKeys, TakesOnlyValuesOfTheRightType) {
    const FileCase& c = GetParam();
    const SettingsFile file = parse_settings_file(c.text);
    EXPECT_EQ(file.token, c.token);
    EXPECT_EQ(file.port, c.port);
    EXPECT_EQ(file.api_enabled, c.enabled);
}

constexpr auto kOn = ApiEnabled::On;
constexpr auto kOff = ApiEnabled::Off;
constexpr auto kUnstated = ApiEnabled::Unstated;

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsFileKeys,
    ::testing::Values(
        FileCase{"AllThree", R"({"apiEnabled":true,"apiPort":50000,"apiToken":"abc"})", "abc", 50000, kOn},
        FileCase{"Off", R"({"apiEnabled":false})", std::nullopt, std::nullopt, kOff},
        FileCase{"EnabledAsText", R"({"apiEnabled":"true"})", std::nullopt, std::nullopt, kUnstated},
        FileCase{"EnabledAsNumber", R"({"apiEnabled":1})", std::nullopt, std::nullopt, kUnstated},
        FileCase{"PortZero", R"({"apiPort":0})", std::nullopt, 0, kUnstated},
        FileCase{"PortHighest", R"({"apiPort":65535})", std::nullopt, 65535, kUnstated},
        FileCase{"PortTooLarge", R"({"apiPort":70000})", std::nullopt, std::nullopt, kUnstated},
        FileCase{"Port65536", R"({"apiPort":65536})", std::nullopt, std::nullopt, kUnstated},
        FileCase{"PortNegative", R"({"apiPort":-1})", std::nullopt, std::nullopt, kUnstated},
        FileCase{"PortFloat", R"({"apiPort":47101.0})", std::nullopt, std::nullopt, kUnstated},
        FileCase{"PortText", R"({"apiPort":"47101"})", std::nullopt, std::nullopt, kUnstated},
        FileCase{"PortHuge", R"({"apiPort":18446744073709551615})", std::nullopt, std::nullopt, kUnstated},
        FileCase{"TokenKeepsSpaces", R"({"apiToken":"  abc "})", "  abc ", std::nullopt, kUnstated},
        FileCase{"TokenEmpty", R"({"apiToken":""})", "", std::nullopt, kUnstated},
        FileCase{"TokenNotText", R"({"apiToken":123})", std::nullopt, std::nullopt, kUnstated},
        FileCase{"TokenNull", R"({"apiToken":null})", std::nullopt, std::nullopt, kUnstated},
        FileCase{"NotJson", "apiEnabled=true", std::nullopt, std::nullopt, kUnstated},
        FileCase{"TrailingCharacters", R"({"apiEnabled":true} x)", std::nullopt, std::nullopt, kUnstated},
        FileCase{"Array", R"([{"apiEnabled":true}])", std::nullopt, std::nullopt, kUnstated},
        FileCase{"Empty", "", std::nullopt, std::nullopt, kUnstated},
        FileCase{"NestedKeysIgnored", R"({"api":{"apiEnabled":true}})", std::nullopt, std::nullopt, kUnstated},
        FileCase{"ByteOrderMark", "\xEF\xBB\xBF{\"apiEnabled\":true,\"apiToken\":\"t\"}", "t", std::nullopt, kOn},
        FileCase{"OtherKeysAndWhiteSpace", "\r\n{ \"theme\": \"dark\", \"apiPort\": 1234 }\r\n", std::nullopt, 1234,
                 kUnstated}),
    [](const ::testing::TestParamInfo<FileCase>& info) { return std::string(info.param.name); });

struct PrecedenceCase {
    const char* name;
    std::optional<std::uint16_t> option_port;
    std::optional<std::string> option_token;
    SettingsEnvironment environment;
    SettingsFile file;
    std::uint16_t port;
    std::optional<std::string> token;
};

class SettingsPrecedence : public ::testing::TestWithParam<PrecedenceCase> {};

TEST_P(SettingsPrecedence, PicksTheFirstSourceThatGivesAValue) {
    const PrecedenceCase& c = GetParam();
    GlobalOptions options;
    options.port = c.option_port;
    options.token = c.option_token;
    const Settings settings = combine_settings(options, c.environment, c.file);
    EXPECT_EQ(settings.port, c.port);
    EXPECT_EQ(settings.token, c.token);
    EXPECT_EQ(settings.api_enabled, c.file.api_enabled);
}

using S = std::optional<std::string>;
using P = std::optional<std::uint16_t>;

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsPrecedence,
    ::testing::Values(
        PrecedenceCase{"NothingAnywhere", P(), S(), {}, {}, 47101, S()},
        PrecedenceCase{"FilePort", P(), S(), {}, {S(), 50000, kOn}, 50000, S()},
        PrecedenceCase{"EnvironmentBeatsFile", P(), S(), {S("51000"), S()}, {S(), 50000, kOff}, 51000, S()},
        PrecedenceCase{"OptionBeatsAll", 52000, S(), {S("51000"), S()}, {S(), 50000, kOn}, 52000, S()},
        PrecedenceCase{"OptionPortZero", 0, S(), {S("51000"), S()}, {}, 0, S()},
        PrecedenceCase{"EnvironmentPortTrimmed", P(), S(), {S(" \t51000\u00A0"), S()}, {}, 51000, S()},
        PrecedenceCase{"EnvironmentPortPlus", P(), S(), {S("+51000"), S()}, {}, 51000, S()},
        PrecedenceCase{"EnvironmentPortLetters", P(), S(), {S("abc"), S()}, {S(), 50000, kOn}, 50000, S()},
        PrecedenceCase{"EnvironmentPortTooLarge", P(), S(), {S("65536"), S()}, {}, 47101, S()},
        PrecedenceCase{"EnvironmentPortNegative", P(), S(), {S("-1"), S()}, {}, 47101, S()},
        PrecedenceCase{"EnvironmentPortEmpty", P(), S(), {S("  "), S()}, {S(), 50000, kOn}, 50000, S()},
        PrecedenceCase{"FileToken", P(), S(), {}, {S(" file "), P(), kOn}, 47101, S(" file ")},
        PrecedenceCase{"EnvironmentTokenTrimmed", P(), S(), {S(), S("  env\n")}, {S("file"), P(), kOn}, 47101,
                       S("env")},
        PrecedenceCase{"EnvironmentTokenOnlySpaces", P(), S(), {S(), S("   ")}, {S("file"), P(), kOn}, 47101,
                       S("file")},
        PrecedenceCase{"EnvironmentTokenEmpty", P(), S(), {S(), S("")}, {}, 47101, S()},
        PrecedenceCase{"OptionTokenBeatsAll", P(), S("opt"), {S(), S("env")}, {S("file"), P(), kOn}, 47101,
                       S("opt")},
        PrecedenceCase{"EmptyOptionTokenStillWins", P(), S(""), {S(), S("env")}, {S("file"), P(), kOn}, 47101,
                       S("")},
        PrecedenceCase{"EmptyFileTokenIsAToken", P(), S(), {}, {S(""), P(), kOn}, 47101, S("")}),
    [](const ::testing::TestParamInfo<PrecedenceCase>& info) { return std::string(info.param.name); });

TEST(LoadSettings, NoFileNoEnvironmentNoOptions) {
    IsolatedClientEnvironment isolated;
    const Settings settings = load_settings(GlobalOptions{});
    EXPECT_EQ(settings.port, 47101);
    EXPECT_FALSE(settings.token);
    EXPECT_EQ(settings.api_enabled, ApiEnabled::Unstated);
}

TEST(LoadSettings, ReadsOrviasFileBelowTheRoamingFolder) {
    IsolatedClientEnvironment isolated;
    isolated.write_settings(R"({"apiEnabled":true,"apiPort":50000,"apiToken":" t "})");
    const Settings settings = load_settings(GlobalOptions{});
    EXPECT_EQ(settings.port, 50000);
    EXPECT_EQ(settings.token, " t ");
    EXPECT_EQ(settings.api_enabled, ApiEnabled::On);
}

TEST(LoadSettings, EnvironmentAndOptionsOverTheFile) {
    IsolatedClientEnvironment isolated;
    isolated.write_settings(R"({"apiEnabled":false,"apiPort":50000,"apiToken":"file"})");
    isolated.environment.set("ORVIA_API_PORT", " 51000 ");
    isolated.environment.set("ORVIA_API_TOKEN", " env ");
    Settings settings = load_settings(GlobalOptions{});
    EXPECT_EQ(settings.port, 51000);
    EXPECT_EQ(settings.token, "env");
    EXPECT_EQ(settings.api_enabled, ApiEnabled::Off);

    GlobalOptions options;
    options.port = 52000;
    options.token = "opt";
    settings = load_settings(options);
    EXPECT_EQ(settings.port, 52000);
    EXPECT_EQ(settings.token, "opt");
}

TEST(LoadSettings, UnreadableFilesCountAsAbsent) {
    IsolatedClientEnvironment isolated;
    isolated.write_settings("{\"apiEnabled\":true,\"apiToken\":\"\xFF\"}");  // not UTF-8
    Settings settings = load_settings(GlobalOptions{});
    EXPECT_EQ(settings.api_enabled, ApiEnabled::Unstated);
    EXPECT_FALSE(settings.token);

    // A folder where the file should be.
    IsolatedClientEnvironment with_folder;
    std::filesystem::create_directories(with_folder.roaming.path() / "Orvia" / "settings.json");
    settings = load_settings(GlobalOptions{});
    EXPECT_EQ(settings.api_enabled, ApiEnabled::Unstated);
}

TEST(LoadSettings, EnvironmentThatIsNotUnicodeIsIgnored) {
    IsolatedClientEnvironment isolated;
    isolated.environment.set("ORVIA_API_TOKEN", "ab\xFF");
    isolated.environment.set("ORVIA_API_PORT", "5\xFF");
    const Settings settings = load_settings(GlobalOptions{});
    EXPECT_FALSE(settings.token);
    EXPECT_EQ(settings.port, 47101);
}

TEST(RoamingFolder, FallsBackFromAppDataToXdgConfigToHomeConfig) {
    testing::ScopedEnvironment environment;
    environment.set("APPDATA", "/a/roaming");
    environment.set("XDG_CONFIG_HOME", "/x/config");
    environment.set("HOME", "/h");
    EXPECT_EQ(ovplat::roaming_app_data_folder(), "/a/roaming");
    environment.set("APPDATA", "");
    EXPECT_EQ(ovplat::roaming_app_data_folder(), "/x/config");
    EXPECT_EQ(settings_file_path(), "/x/config/Orvia/settings.json");
    environment.unset("XDG_CONFIG_HOME");
    EXPECT_EQ(ovplat::roaming_app_data_folder(), "/h/.config");
    environment.unset("HOME");
    environment.unset("APPDATA");
    EXPECT_EQ(ovplat::roaming_app_data_folder(), std::nullopt);
    EXPECT_EQ(settings_file_path(), std::nullopt);
}

TEST(ReadUtf8File, GivesTheContentOrTheSystemsReason) {
    testing::TemporaryFolder folder;
    const auto good = folder.write("good.txt", "h\xC3\xA9\r\n");
    const auto bad = folder.write("bad.txt", "h\xE9");

    const auto content = ovplat::read_utf8_file(good.string());
    ASSERT_TRUE(std::holds_alternative<std::string>(content));
    EXPECT_EQ(std::get<std::string>(content), "h\xC3\xA9\r\n");

    const auto not_utf8 = ovplat::read_utf8_file(bad.string());
    ASSERT_TRUE(std::holds_alternative<ovplat::FileError>(not_utf8));
    EXPECT_EQ(std::get<ovplat::FileError>(not_utf8).reason, ovplat::kNotUtf8Reason);

    const auto missing = ovplat::read_utf8_file((folder.path() / "missing.txt").string());
    ASSERT_TRUE(std::holds_alternative<ovplat::FileError>(missing));
    EXPECT_EQ(std::get<ovplat::FileError>(missing).reason, "No such file or directory");

    const auto directory = ovplat::read_utf8_file(folder.path().string());
    ASSERT_TRUE(std::holds_alternative<ovplat::FileError>(directory));
    EXPECT_EQ(std::get<ovplat::FileError>(directory).reason, "Is a directory");
}

}  // namespace
}  // namespace ovctl
