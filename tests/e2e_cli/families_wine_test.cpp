// The Windows ovctl.exe under Wine against the stand-in: a sample of the command families,
// accepted and refused, and `hpcal import` reading profile files by Windows paths.
#include "ovctl_wine_fixture.h"

#include <algorithm>

namespace ovtest {
namespace {

struct WineAccepted {
    std::vector<std::string> args;
    std::string command;  // the API command that must be sent
    std::string body;     // its exact compact body
    std::string answer;   // the stand-in's answer as compact JSON; empty: its canned state answers
    std::string printed;  // standard output without the final new line
};

struct WineRefused {
    std::vector<std::string> args;
    std::string message;  // the usage error, without "ovctl: " and the hint line
};

const std::string ok_answer = R"({"ok":true})";

const std::vector<WineAccepted> accepted_commands = {
    {{"plugins", "bypass", "micPre", "3", "OFF"}, "plugins.bypass", R"({"key":3,"on":false,"rack":"micPre"})",
     ok_answer, "Back in the chain"},
    {{"tune", "key", "C#", "dorian"}, "music.set", R"({"key":"C#","scale":"dorian"})", ok_answer, "Key: C# dorian"},
    {{"tune", "tap"}, "music.tap", "{}", R"({"music":{"tempo":121.5}})", "121.5"},
    {{"harmony", "voice", "2", "interval", "-2", "SEMITONES"}, "harmony.voice",
     R"({"enabled":true,"interval":-2.0,"unit":"semitones","voice":2})", ok_answer, "Harmony voice 2: interval -2"},
    {{"lufs", "rec"}, "meters.loudness", "{}", "",
     "recorder   M  -15.1  S  -15.8  I  -16.0 LUFS  LRA  3.0  TP  -0.7 dBTP (over)  on target (-0.0)"},
    {{"master", "last", "apple", "mono", "vod"}, "takes.masterLast", R"({"mono":true,"source":"vod","target":"apple"})",
     ok_answer, "Master of the last take queued; ovctl takes jobs shows the progress"},
    {{"karaoke", "file", "C:\\Music\\My", "Song.mp3"}, "karaoke.set",
     R"({"path":"player.file","value":"C:\\Music\\My Song.mp3"})", ok_answer, "Backing track: C:\\Music\\My Song.mp3"},
    {{"song", "record"}, "song.record", "{}", ok_answer, "3, 2, 1\xE2\x80\xA6 recording"},
    // ΟΔΟΣ lower-cases with the final sigma.
    {{"song", "start", "app", "\xCE\x9F\xCE\x94\xCE\x9F\xCE\xA3"}, "song.start",
     "{\"app\":\"\xCE\xBF\xCE\xB4\xCE\xBF\xCF\x82\",\"source\":\"app\"}", ok_answer,
     "New song with the music from \xCE\xBF\xCE\xB4\xCE\xBF\xCF\x82 (its singer taken out)"},
    {{"song", "start", "app", "\xC3\x84PP.exe"}, "song.start", "{\"app\":\"\xC3\xA4pp.exe\",\"source\":\"app\"}",
     ok_answer, "New song with the music from \xC3\xA4pp.exe (its singer taken out)"},
    {{"setup", "route", "monitor", "Desk", "Speakers"}, "audio.setup.set",
     R"({"path":"route.monitor","value":"Desk Speakers"})", "",
     "ok  Your mic: Shure MV7 (USB)\n"
     "!   Your headphones: Speakers (Realtek) looks like speakers  [fix: Pick headphones]\n"
     "ok  Orvia Mic: default recording device\n"
     "XX  Orvia Speakers: not installed  [fix: Install]\n"
     "\n"
     "Two things to fix.\n"
     "Your stream hears Orvia Mic."},
    {{"ab", "copy", "voice", "A"}, "compare.copy", R"({"block":"voice","from":"a"})", "",
     "  Compressor: on A, A = B  (A +0.0 dB, B +0.0 dB)\n"
     "* Voice: on B  (A -0.4 dB, B +1.2 dB; matched -1.2 dB in your headphones)"},
    {{"dmca"}, "dmca.state", "{}", "",
     "{\n  \"enabled\": true,\n  \"outputs\": {\n    \"chat\": false,\n    \"main\": true,\n    \"stream\": true\n"
     "  }\n}"},
    {{"midi", "learn", "action", "Push", "hold"}, "midi.learn",
     R"({"mode":"hold","target":{"action":{"action":"Push"},"kind":"action"}})", ok_answer,
     "Press a button, pad or key on your controller for Push"},
    {{"osc", "target", "127.0.0.1:9000", "10.0.0.5:8000"}, "lights.set",
     R"({"path":"osc.targets","value":["127.0.0.1:9000","10.0.0.5:8000"]})", ok_answer,
     "OSC targets: 127.0.0.1:9000, 10.0.0.5:8000"},
};

const std::vector<WineRefused> refused_commands = {
    {{"plugins", "param", "pre", "1", "7", "0,5"}, "\"0,5\" is not a number (the value, 0 to 1)"},
    {{"tune", "formant", "Maybe"}, "tune formant takes keep or follow, not \"maybe\""},
    {{"meters", "tp", "-1dB"}, "\"-1dB\" is not a number (the true-peak ceiling)"},
    {{"song", "keep", "4294967296"}, "\"4294967296\" is not a take number"},
    {{"hpcal", "import"}, "Missing AutoEq's ParametricEQ.txt"},
    {{"setup", "test", ""}, "setup test tone [device] | voice, not \"\""},
    {{"chop"}, "chop grab | play <id> [degree] | set <id> <formant|midi|low|high|chop> <value>"},
    {{"looper", "play", "5"}, "\"5\" is not a track (1 to 4)"},
    {{"reactive", "state"}, "reactive takes frame, on, off or rate, not \"state\""},
};

// AutoEq's format, with CRLF line ends and a non-ASCII comment kept byte for byte.
const std::string profile_text =
    "# Sennheiser HD 650 \xE2\x80\x94 Harman target\r\n"
    "Preamp: -6.2 dB\r\n"
    "Filter 1: ON PK Fc 105 Hz Gain 5.6 dB Q 0.70\r\n";

// Every test reaches the stand-in through the settings file.
class FamiliesWine : public OvctlWineSuite {
protected:
    void SetUp() override {
        OvctlWineSuite::SetUp();
        if (!IsSkipped() && !HasFatalFailure()) connect_through_settings();
    }

    void TearDown() override {
        OvctlWineSuite::TearDown();
        std::error_code ignored;
        if (!temp_folder_.empty()) std::filesystem::remove_all(temp_folder_, ignored);
    }

    // A fresh folder outside the prefix, reached through the Z: drive.
    const std::string& temp_folder() {
        if (temp_folder_.empty()) temp_folder_ = make_temp_folder();
        return temp_folder_;
    }

    void script_ok(const std::string& command) {
        server_->script(command, ov::standin::Reply::json(200, ov::Json{{"ok", true}}));
    }

    void expect_unreadable(const std::string& windows_path, const std::vector<std::string>& reasons) {
        SCOPED_TRACE(windows_path);
        RunResult result = ovctl({"hpcal", "import", windows_path});
        EXPECT_TRUE(result.exited()) << result.describe();
        EXPECT_EQ(result.exit_code, 2) << result.describe();
        EXPECT_EQ(result.out, "");
        const std::string prefix = "ovctl: Could not read " + windows_path + ": ";
        bool matched = false;
        for (const std::string& reason : reasons) matched = matched || result.err == prefix + reason + usage_hint;
        EXPECT_TRUE(matched) << result.err;
        EXPECT_TRUE(server_->requests().empty());
    }

    std::string temp_folder_;
};

// Wine starts slowly, so each table runs in one test and names the failing row.
TEST_F(FamiliesWine, AcceptedCommandsSendTheRequestAndPrintTheAnswer) {
    for (const WineAccepted& entry : accepted_commands) {
        SCOPED_TRACE(::testing::PrintToString(entry.args));
        server_->clear_requests();
        if (!entry.answer.empty()) {
            auto answer = ov::parse_json(entry.answer);
            ASSERT_TRUE(answer.value.has_value()) << entry.answer << ": " << answer.error;
            server_->script(entry.command, ov::standin::Reply::json(200, *answer.value));
        }
        EXPECT_RUN(ovctl(entry.args), 0, entry.printed + "\n", "");
        auto seen = server_->requests();
        ASSERT_EQ(seen.size(), 2u);
        EXPECT_EQ(seen[0].target, "/v1/ping");
        EXPECT_EQ(seen[1].target, "/v1/cmd/" + entry.command);
        EXPECT_EQ(seen[1].body, entry.body);
    }
}

TEST_F(FamiliesWine, RefusedCommandsExitWithTheUsageErrorAndSendNothing) {
    for (const WineRefused& entry : refused_commands) {
        SCOPED_TRACE(::testing::PrintToString(entry.args));
        EXPECT_RUN(ovctl(entry.args), 2, "", "ovctl: " + entry.message + usage_hint);
    }
    EXPECT_TRUE(server_->requests().empty());
}

TEST_F(FamiliesWine, HpcalImportsAFileByItsZDrivePath) {
    write_file(temp_folder() + "/profiles/my.cans.txt", profile_text);
    const std::string path = z_drive_path(temp_folder() + "/profiles/my.cans.txt");
    script_ok("hpcal.import");
    EXPECT_RUN(ovctl({"hpcal", "import", path}), 0, "Imported \"my.cans\" for the speakers output; calibration on\n",
               "");
    auto seen = server_->requests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].command(), "hpcal.import");
    EXPECT_EQ(seen[1].body, ov::to_compact_json(ov::Json{{"name", "my.cans"}, {"text", profile_text}}));
}

TEST_F(FamiliesWine, HpcalImportsAFileOnTheCDrive) {
    const std::string folder = prefix_->path + "/drive_c/ovctl-families-e2e";
    write_file(folder + "/ParametricEQ.txt", profile_text);
    script_ok("hpcal.import");
    RunResult result = ovctl({"headphones", "import", "C:\\ovctl-families-e2e\\ParametricEQ.txt", "HD", "650"});
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    EXPECT_RUN(result, 0, "Imported \"HD 650\" for the speakers output; calibration on\n", "");
    auto seen = server_->requests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].body, ov::to_compact_json(ov::Json{{"name", "HD 650"}, {"text", profile_text}}));
}

TEST_F(FamiliesWine, HpcalRefusesAMissingFile) {
    // Wine's own message text, or Windows' where the prefix carries its message tables.
    expect_unreadable(z_drive_path(temp_folder() + "/missing.txt"),
                      {"File not found.", "The system cannot find the file specified."});
    expect_unreadable(z_drive_path(temp_folder() + "/no-such-folder/eq.txt"),
                      {"Path not found.", "The system cannot find the path specified."});
}

TEST_F(FamiliesWine, HpcalRefusesAFileThatIsNotUtf8) {
    write_file(temp_folder() + "/latin1.txt", "Preamp: -6 dB \xE9t\xE9\r\n");
    expect_unreadable(z_drive_path(temp_folder() + "/latin1.txt"), {"the content is not valid UTF-8"});
}

}  // namespace
}  // namespace ovtest
