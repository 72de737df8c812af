// Audio setup and headphone calibration: every row of their tables, the profile file read
// from disk with its name taken from the file stem, and every refusal.
#include "families_cases.h"

#include <filesystem>
#include <fstream>

namespace ovctl::family_tests {
namespace {

TEST(FamiliesSetup, TranslatesEverySubcommand) {
    expect_cases({
        {{"setup"}, "audio.setup.state", "{}", kSetupReport, ""},
        {{"audio", "STATE"}, "audio.setup.state", "{}", kSetupReport, ""},
        {{"setup", "mic", " USB ", "  Mic "}, "audio.setup.set", R"({"path":"mic","value":"USB    Mic"})", kSetupReport,
         ""},
        {{"setup", "mic", "USB", "Mic"}, "audio.setup.set", R"({"path":"mic","value":"USB Mic"})", kSetupReport, ""},
        {{"setup", "headphones", "HD", "600"}, "audio.setup.set", R"({"path":"headphones","value":"HD 600"})",
         kSetupReport, ""},
        {{"setup", "default", "TRUE"}, "audio.setup.set", R"({"path":"alsoDefault","value":true})", kSetupReport, ""},
        {{"setup", "default", "off"}, "audio.setup.set", R"({"path":"alsoDefault","value":false})", kSetupReport, ""},
        {{"setup", "speakers", "on"}, "audio.setup.set", R"({"path":"speakersMode","value":true})", kSetupReport, ""},
        {{"setup", "speakers", "False"}, "audio.setup.set", R"({"path":"speakersMode","value":false})", kSetupReport,
         ""},
        {{"setup", "speakers", "default"}, "audio.setup.speakersDefault", R"({"on":true})", kSetupReport, ""},
        {{"setup", "speakers", "Default", "off"}, "audio.setup.speakersDefault", R"({"on":false})", kSetupReport, ""},
        {{"setup", "route", "Monitor", "FOLLOW"}, "audio.setup.set", R"({"path":"route.monitor","value":null})",
         kSetupReport, ""},
        {{"setup", "route", "monitor", "Desk", "Speakers"}, "audio.setup.set",
         R"({"path":"route.monitor","value":"Desk Speakers"})", kSetupReport, ""},
        {{"setup", "route", "speakers", "follow"}, "audio.setup.set", R"({"path":"route.speakers","value":null})",
         kSetupReport, ""},
        {{"setup", "route", "MIXER", "Line", "1"}, "audio.setup.set", R"({"path":"route.mixer","value":"Line 1"})",
         kSetupReport, ""},
        {{"setup", "test"}, "audio.setup.test", R"({"device":null,"step":"tone"})", kSetupReport, ""},
        {{"setup", "test", "Tone"}, "audio.setup.test", R"({"device":null,"step":"tone"})", kSetupReport, ""},
        {{"setup", "test", "tone", " "}, "audio.setup.test", R"({"device":null,"step":"tone"})", kSetupReport, ""},
        {{"setup", "test", "tone", "HD", "600"}, "audio.setup.test", R"({"device":"HD 600","step":"tone"})",
         kSetupReport, ""},
        {{"setup", "test", "VOICE"}, "audio.setup.test", R"({"step":"voice"})", kSetupReport, ""},
        {{"setup", "name"}, "audio.setup.name", "{}", kSetupReport, ""},
        {{"setup", "restore-names"}, "audio.setup.restoreNames", "{}", kSetupReport, ""},
        {{"setup", "restorenames"}, "audio.setup.restoreNames", "{}", kSetupReport, ""},
    });
}

TEST(FamiliesSetup, RefusesBadWords) {
    const std::string route_usage = "setup route monitor|speakers|mixer follow|<device>";
    expect_refusals({
        {{"setup", "Louder"},
         "setup takes state, mic, headphones, default, speakers, route, test, name or restore-names, not \"louder\""},
        {{"setup", "mic"}, "Missing your microphone's name"},
        {{"setup", "mic", " "}, "Missing your microphone's name"},
        {{"setup", "headphones"}, "Missing your headphones' name"},
        {{"setup", "default"}, "say on or off"},
        {{"setup", "default", "yes"}, "say on or off"},
        {{"setup", "speakers"}, "say on or off"},
        {{"setup", "speakers", "default", "maybe"}, "say on or off"},
        {{"setup", "route"}, "Missing monitor, speakers or mixer"},
        {{"setup", "route", "desk", "x"}, route_usage},
        {{"setup", "route", "monitor"}, "Missing follow or a device name"},
        {{"setup", "test", "loud"}, "setup test tone [device] | voice, not \"loud\""},
    });
}

TEST(FamiliesHpcal, TranslatesEverySubcommand) {
    expect_cases({
        {{"hpcal"}, "hpcal.state", "{}", kJson, ""},
        {{"headphones", "state"}, "hpcal.state", "{}", kJson, ""},
        {{"hpcal", "ON"}, "hpcal.toggle", R"({"on":true})", kConfirm, "Headphone calibration on"},
        {{"hpcal", "off"}, "hpcal.toggle", R"({"on":false})", kConfirm, "Headphone calibration off"},
        {{"hpcal", "toggle"}, "hpcal.toggle", "{}", kConfirm, "Headphone calibration toggled"},
        {{"hpcal", "remove"}, "hpcal.remove", R"({"device":""})", kConfirm, "Profile removed"},
        {{"hpcal", "remove", "HD", "600"}, "hpcal.remove", R"({"device":"HD 600"})", kConfirm, "Profile removed"},
    });
}

// A folder of profile files for one test, removed afterwards.
class FamiliesHpcalImport : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = std::filesystem::path(OV_BINARY_DIR) / "families_hpcal" /
                  ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_ / "profiles");
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    std::string write(const std::string& relative, const std::string& content) {
        const auto path = folder_ / relative;
        std::ofstream(path, std::ios::binary) << content;
        return path.generic_string();
    }

    std::filesystem::path folder_;
};

constexpr const char* kProfile = "Preamp: -6.2 dB\nFilter 1: ON PK Fc 105 Hz Gain 5.6 dB Q 0.70\n";

TEST_F(FamiliesHpcalImport, SendsTheFileTextNamedByItsStem) {
    const auto path = write("profiles/my.cans.txt", kProfile);
    auto result = run_family({"hpcal", "import", path});
    ASSERT_TRUE(result.ok()) << result.error().message;
    EXPECT_EQ(result->command, "hpcal.import");
    EXPECT_EQ(ov::to_compact_json(result->args),
              ov::to_compact_json(Json{{"name", "my.cans"}, {"text", kProfile}}));
    EXPECT_EQ(payload(result->kind), "Imported \"my.cans\" for the speakers output; calibration on");
}

TEST_F(FamiliesHpcalImport, NamesTheProfileByTheLaterWords) {
    const auto path = write("eq.txt", kProfile);
    auto result = run_family({"HEADPHONES", "Import", path, "My", "Cans"});
    ASSERT_TRUE(result.ok()) << result.error().message;
    EXPECT_EQ(result->args.value("name", ""), "My Cans");
    EXPECT_EQ(payload(result->kind), "Imported \"My Cans\" for the speakers output; calibration on");

    auto empty_word = run_family({"hpcal", "import", path, ""});
    ASSERT_TRUE(empty_word.ok());
    EXPECT_EQ(empty_word->args.value("name", ""), "eq");
}

TEST_F(FamiliesHpcalImport, RefusesAFileItCannotRead) {
    const auto missing = (folder_ / "missing.txt").generic_string();
    auto result = run_family({"hpcal", "import", missing});
    ASSERT_FALSE(result.ok());
    const std::string prefix = "Could not read " + missing + ": ";
    EXPECT_EQ(result.error().message.rfind(prefix, 0), 0u) << result.error().message;
    EXPECT_GT(result.error().message.size(), prefix.size() + kHint.size());
    EXPECT_TRUE(result.error().message.ends_with(kHint));
    EXPECT_EQ(result.error().code, 2);

    const auto folder = (folder_ / "profiles").generic_string();
    auto directory = run_family({"hpcal", "import", folder});
    ASSERT_FALSE(directory.ok());
    EXPECT_EQ(directory.error().message.rfind("Could not read " + folder + ": ", 0), 0u);
}

TEST_F(FamiliesHpcalImport, RefusesAFileThatIsNotUtf8) {
    const auto path = write("latin1.txt", "Preamp: -6 dB \xE9t\xE9\n");
    auto result = run_family({"hpcal", "import", path});
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().message.rfind("Could not read " + path + ": ", 0), 0u) << result.error().message;
    EXPECT_EQ(result.error().code, 2);
}

TEST(FamiliesHpcal, RefusesBadWords) {
    expect_refusals({
        {{"hpcal", "louder"}, "hpcal takes state, on, off, toggle, import or remove, not \"louder\""},
        {{"hpcal", "import"}, "Missing AutoEq's ParametricEQ.txt"},
    });
}

}  // namespace
}  // namespace ovctl::family_tests
