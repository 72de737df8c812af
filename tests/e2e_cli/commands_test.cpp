// Every inline command end to end: the command and body that reach Orvia, and the exact
// text ovctl prints from the stand-in's answer.
#include "ovctl_fixture.h"

namespace ovtest {
namespace {

struct CommandCase {
    std::vector<std::string> args;
    std::string command;   // the API command that must be sent
    std::string body;      // its exact body
    std::string printed;   // standard output, without the final new line
};

// Each case starts from the stand-in's fresh canned state.
const std::vector<CommandCase> inline_commands = {
    {{"mute"}, "mute.get", "{}", "Microphone live"},
    {{"mute", "on"}, "mute.set", R"({"muted":true})", "Microphone muted"},
    {{"MUTE", "OFF"}, "mute.set", R"({"muted":false})", "Microphone live"},
    {{"mute", "toggle"}, "mute.toggle", "{}", "Microphone muted"},
    {{"unmute"}, "mute.set", R"({"muted":false})", "Microphone live"},
    {{"profile"}, "profile.list", "{}", "Default\nPodcast host\nCaf\xC3\xA9 talk"},
    {{"profiles", "LIST"}, "profile.list", "{}", "Default\nPodcast host\nCaf\xC3\xA9 talk"},
    {{"profile", "load", "Podcast", "host"}, "profile.load", R"({"name":"Podcast host"})",
     "Loaded mic profile \"Podcast host\""},
    {{"profile", "load", "Caf\xC3\xA9", "talk"}, "profile.load", "{\"name\":\"Caf\xC3\xA9 talk\"}",
     "Loaded mic profile \"Caf\xC3\xA9 talk\""},
    {{"scenes", "list"}, "scene.list", "{}", "Just chatting\nGameplay\nBRB"},
    {{"scene", "apply", "BRB"}, "scene.apply", R"({"name":"BRB"})", "Applied scene \"BRB\""},
    {{"scene", "load", "Just", "chatting"}, "scene.apply", R"({"name":"Just chatting"})",
     "Applied scene \"Just chatting\""},
    {{"voice"}, "voice.presets", "{}", "Warm radio\nRobot\nDeep"},
    {{"voice", "load", "Robot"}, "voice.load", R"({"name":"Robot"})", "Loaded voice preset \"Robot\""},
    {{"voice", "next"}, "voice.step", R"({"delta":1})", "Next voice preset"},
    {{"voice", "previous"}, "voice.step", R"({"delta":-1})", "Previous voice preset"},
    {{"voice", "on"}, "engine.set", R"({"path":"voice.enabled","value":true})", "Voice effects on"},
    {{"voice", "off"}, "engine.set", R"({"path":"voice.enabled","value":false})", "Voice effects off"},
    {{"sounds"}, "sound.list", "{}", "   1  Applause\n   2  Air horn\n   3  Drum roll\n  12  Caf\xC3\xA9 ambience"},
    {{"sound", "play", "3"}, "sound.play", R"({"id":3})", "Playing sound #3"},
    {{"sound", "stop", "+12"}, "sound.stop", R"({"id":12})", "Stopped sound #12"},
    {{"sound", "random"}, "sound.random", "{}", "Playing a random sound"},
    {{"sound", "stop-all"}, "sound.stopAll", "{}", "Stopped every sound"},
    {{"sound", "StopAll"}, "sound.stopAll", "{}", "Stopped every sound"},
    {{"replay"}, "replay.save", "{}",
     "{\n  \"path\": \"C:\\\\Users\\\\sam\\\\Videos\\\\Orvia\\\\replay 2026-12-10 14-03-22.wav\",\n  \"seconds\": 30\n}"},
    {{"record", "start"}, "record.start", "{}", "Recording everything"},
    {{"record", "stop"}, "record.stop", "{}", "Recording stopped; the files are in Orvia's Record page"},
    {{"record", "toggle"}, "record.toggle", "{}", "Recording toggled"},
    {{"gamemode"}, "gamemode.state", "{}", "{\n  \"active\": true,\n  \"auto\": true,\n  \"game\": \"Valorant\"\n}"},
    {{"gamemode", "on"}, "gamemode.set", R"({"on":true})", "Game mode on"},
    {{"game-mode", "off"}, "gamemode.set", R"({"on":false})", "Game mode off"},
    {{"gamemode", "auto"}, "gamemode.set", R"({"on":null})", "Game mode follows game detection"},
    {{"gamemode", "toggle"}, "gamemode.toggle", "{}", "Game mode toggled"},
    {{"anticheat", "on"}, "anticheat.safeMode", R"({"mode":"always"})", "Anti-cheat safe mode: always"},
    {{"safe-mode", "AUTO"}, "anticheat.safeMode", R"({"mode":"auto"})", "Anti-cheat safe mode: auto"},
    {{"anti-cheat", "toggle"}, "anticheat.safeMode", "{}", "Anti-cheat safe mode toggled"},
    {{"anticheat"}, "anticheat.state", "{}", "{\n  \"mode\": \"auto\",\n  \"safe\": false\n}"},
    {{"ducking", "on"}, "ducking.enable", R"({"enabled":true})", "Ducking on"},
    {{"ducking", "off"}, "ducking.enable", R"({"enabled":false})", "Ducking off"},
    {{"ducking", "presets"}, "ducking.presets", "{}", "Music under voice\nGames under chat"},
    {{"ducking", "preset", "Music", "under", "voice"}, "ducking.preset.apply", R"({"name":"Music under voice"})",
     "Ducking \"Music under voice\" on"},
    {{"vmics"}, "vmics.presets", "{}", "Streamer\nTwo calls\nReset"},
    {{"vmics", "preset", "twoCalls", "extra"}, "vmics.preset.apply", R"({"preset":"twoCalls"})",
     "Applied virtual mic preset \"twoCalls\""},
    {{"cohost", "mute", "2", "on"}, "cohost.mute", R"({"mic":2,"muted":true})",
     "{\n  \"automix\": false,\n  \"mics\": [\n    {\n      \"mic\": 1,\n      \"muted\": false\n    },\n    {\n"
     "      \"mic\": 2,\n      \"muted\": true\n    }\n  ]\n}"},
    {{"cohosts", "automix", "off"}, "cohost.automix", R"({"on":false})",
     "{\n  \"automix\": false,\n  \"mics\": [\n    {\n      \"mic\": 1,\n      \"muted\": false\n    },\n    {\n"
     "      \"mic\": 2,\n      \"muted\": true\n    }\n  ]\n}"},
    {{"say", "be", "right", "back", "--raw", "--voice", "Microsoft Zira"}, "speak.say",
     R"({"raw":true,"text":"be right back","voice":"Microsoft Zira"})", "Saying \"be right back\""},
    {{"say", "hello", "  world  "}, "speak.say", R"({"text":"hello   world"})", "Saying \"hello   world\""},
    {{"speak", "stop"}, "speak.stop", "{}", "Stopped speaking"},
    {{"speak", "voices"}, "speak.voices", "{}", "[\n  \"Microsoft David\",\n  \"Microsoft Zira\"\n]"},
    {{"gaincal", "start"}, "gaincal.start", "{}",
     "Gain calibration started: read the sentence on screen, then your loudest line"},
    {{"calibrate-gain", "apply"}, "gaincal.apply", "{}", "Gain calibration applied; auto gain takes it from here"},
    {{"gaincal", "cancel"}, "gaincal.cancel", "{}", "Gain calibration cancelled"},
    {{"modes"}, "output.mode.list", "{}", "Headphones\nSpeakers + stream"},
    {{"mode", "load", "Speakers", "+", "stream"}, "output.mode.load", R"({"name":"Speakers + stream"})",
     "Loaded output mode \"Speakers + stream\""},
    {{"obs"}, "obs.state", "{}",
     "{\n  \"connected\": true,\n  \"enabled\": true,\n  \"recording\": false,\n  \"scene\": \"Gameplay\",\n"
     "  \"streaming\": true\n}"},
    {{"obs", "scenes"}, "obs.scenes", "{}", "Gameplay\nStarting soon\nBRB"},
    {{"obs", "scene", "Starting", "soon"}, "obs.scene.set", R"({"scene":"Starting soon"})",
     "OBS switched to \"Starting soon\""},
    {{"action", "push", "--hold", "--sound", "4"}, "action.run", R"({"action":"push","mode":"hold","soundId":4})",
     "Ran push"},
    {{"actions", "airhorn", "--press", "ignored"}, "action.run", R"({"action":"airhorn","pressed":true})",
     "Ran airhorn"},
    {{"--release", "action", "push", "--toggle"}, "action.run", R"({"action":"push","mode":"toggle","pressed":false})",
     "Ran push"},
    {{"volume", "mic"}, "volume.get", R"({"target":"mic"})", "Mic: 40%"},
    {{"volume", "mic", "+5"}, "volume.step", R"({"delta":5.0,"target":"mic"})", "Mic: 45%"},
    {{"volume", "mic", "-5"}, "volume.step", R"({"delta":-5.0,"target":"mic"})", "Mic: 35%"},
    {{"volume", "speakers", "-12.5"}, "volume.step", R"({"delta":-12.5,"target":"speakers"})", "Speakers: -19 dB"},
    {{"volume", "mic", "40"}, "volume.set", R"({"target":"mic","value":40.0})", "Mic: 40%"},
    {{"volume", "mic", "mute"}, "volume.mute", R"({"mute":true,"target":"mic"})", "Mic: 40% (muted)"},
    {{"volume", "app:discord.exe", "unmute"}, "volume.mute", R"({"mute":false,"target":"app:discord.exe"})",
     "discord.exe: 100%"},
    {{"get", "compressor.threshold"}, "engine.params", "{}", "-18.5"},
    {{"get", "eq.bands.1.gain"}, "engine.params", "{}", "2.5"},
    {{"get", "voice.preset"}, "engine.params", "{}", "warm"},
    {{"get", "eq.bands"}, "engine.params", "{}", R"([{"freq":80,"gain":-3.0},{"freq":3000,"gain":2.5}])"},
    {{"get", "eq.bands.x"}, "engine.params", "{}", "(no parameter \"eq.bands.x\")"},
    {{"set", "compressor.threshold", "-20"}, "engine.set", R"({"path":"compressor.threshold","value":-20})",
     "compressor.threshold = -20"},
    {{"set", "voice.preset", "robot"}, "engine.set", R"({"path":"voice.preset","value":"robot"})",
     "voice.preset = robot"},
    // A byte-order mark is not JSON white space: the word goes out as the string typed.
    {{"set", "p", "\xEF\xBB\xBF" "5"}, "engine.set", "{\"path\":\"p\",\"value\":\"\xEF\xBB\xBF" "5\"}",
     "p = \xEF\xBB\xBF" "5"},
    // Bytes that are not UTF-8 become U+FFFD alike in what is sent and what is printed.
    {{"say", "caf\xE9"}, "speak.say", "{\"text\":\"caf\xEF\xBF\xBD\"}", "Saying \"caf\xEF\xBF\xBD\""},
    {{"call", "sound.play", R"({"id":3})"}, "sound.play", R"({"id":3})",
     "{\n  \"id\": 3,\n  \"name\": \"Drum roll\",\n  \"ok\": true,\n  \"playing\": true\n}"},
    {{"call", "mute.get"}, "mute.get", "{}", "{\n  \"muted\": false\n}"},
    {{"snapshots"}, "snapshot.list", "{}", "base\nloud room"},
    {{"snapshot", "save", "after", "show"}, "snapshot.save", R"({"name":"after show"})", "Saved snapshot \"after show\""},
    {{"snap", "load", "base"}, "snapshot.load", R"({"name":"base"})", "Loaded snapshot \"base\""},
    {{"snapshot", "compare", "base"}, "snapshot.compare", R"({"name":"base"})",
     "Comparing with \"base\" (now on B; ovctl ab switches)"},
    {{"snapshot", "delete", "loud", "room"}, "snapshot.delete", R"({"name":"loud room"})",
     "Deleted snapshot \"loud room\""},
    {{"voice", "prev"}, "voice.step", R"({"delta":-1})", "Previous voice preset"},
    {{"anticheat", "state"}, "anticheat.state", "{}", "{\n  \"mode\": \"auto\",\n  \"safe\": false\n}"},
    {{"anticheat", "always"}, "anticheat.safeMode", R"({"mode":"always"})", "Anti-cheat safe mode: always"},
    {{"safemode", "off"}, "anticheat.safeMode", R"({"mode":"off"})", "Anti-cheat safe mode: off"},
    {{"ducking"}, "ducking.list", "{}",
     "{\n  \"duckingNow\": 1,\n  \"enabled\": true,\n  \"rules\": 2\n}"},
    {{"vmics", "state"}, "vmics.state", "{}",
     "[\n  {\n    \"enabled\": false,\n    \"label\": \"Orvia Chat\"\n  },\n  {\n    \"enabled\": true,\n"
     "    \"label\": \"Orvia Mic\"\n  }\n]"},
    {{"cohost"}, "cohost.state", "{}",
     "{\n  \"automix\": false,\n  \"mics\": [\n    {\n      \"mic\": 1,\n      \"muted\": false\n    },\n    {\n"
     "      \"mic\": 2,\n      \"muted\": true\n    }\n  ]\n}"},
    {{"cohost", "mute", "+01"}, "cohost.mute", R"({"mic":1})",
     "{\n  \"automix\": false,\n  \"mics\": [\n    {\n      \"mic\": 1,\n      \"muted\": false\n    },\n    {\n"
     "      \"mic\": 2,\n      \"muted\": true\n    }\n  ]\n}"},
    {{"cohost", "automix"}, "cohost.automix", "{}",
     "{\n  \"automix\": false,\n  \"mics\": [\n    {\n      \"mic\": 1,\n      \"muted\": false\n    },\n    {\n"
     "      \"mic\": 2,\n      \"muted\": true\n    }\n  ]\n}"},
    {{"speak"}, "speak.state", "{}",
     "{\n  \"speaking\": false,\n  \"voices\": [\n    \"Microsoft David\",\n    \"Microsoft Zira\"\n  ]\n}"},
    {{"gaincal"}, "gaincal.state", "{}", "{\n  \"running\": false,\n  \"step\": \"idle\"\n}"},
    {{"obs", "status"}, "obs.state", "{}",
     "{\n  \"connected\": true,\n  \"enabled\": true,\n  \"recording\": false,\n  \"scene\": \"Gameplay\",\n"
     "  \"streaming\": true\n}"},
    {{"action", "LIST"}, "action.list", "{}",
     "[\n  {\n    \"kind\": \"hold\",\n    \"name\": \"push\"\n  },\n  {\n    \"kind\": \"press\",\n"
     "    \"name\": \"airhorn\"\n  }\n]"},
    {{"mute", "--json"}, "mute.get", "{}", "{\n  \"muted\": false\n}"},
    {{"profile", "load", "Default", "--json"}, "profile.load", R"({"name":"Default"})",
     "{\n  \"name\": \"Default\",\n  \"ok\": true\n}"},
};

// A few commands of the larger families, through the render kinds only they use.
const std::vector<CommandCase> family_commands = {
    {{"meters"}, "meters.loudness", "{}",
     "micRaw     M  -24.2  S  -23.9  I  -24.1 LUFS  LRA  6.1  TP  -6.4 dBTP  8.1 LU under -16\n"
     "micOut     M  -18.2  S  -17.9  I  -17.0 LUFS  LRA  4.2  TP  -1.3 dBTP  1.0 LU under -16\n"
     "recorder   M  -15.1  S  -15.8  I  -16.0 LUFS  LRA  3.0  TP  -0.7 dBTP (over)  on target (-0.0)"},
    {{"meters", "speakers"}, "meters.loudness", "{}",
     "speakers   M      -  S      -  I      - LUFS  LRA  0.0  TP     - dBTP  no reading yet  (quiet)"},
    {{"ab", "state"}, "compare.state", "{}",
     "  Compressor: on A, A = B  (A +0.0 dB, B +0.0 dB)\n"
     "* Voice: on B  (A -0.4 dB, B +1.2 dB; matched -1.2 dB in your headphones)"},
    {{"setup"}, "audio.setup.state", "{}",
     "ok  Your mic: Shure MV7 (USB)\n"
     "!   Your headphones: Speakers (Realtek) looks like speakers  [fix: Pick headphones]\n"
     "ok  Orvia Mic: default recording device\n"
     "XX  Orvia Speakers: not installed  [fix: Install]\n"
     "\n"
     "Two things to fix.\n"
     "Your stream hears Orvia Mic."},
    {{"setup", "name"}, "audio.setup.name", "{}", "Renamed the devices to Orvia Mic and Orvia Speakers."},
    {{"plugins", "list"}, "plugins.catalog", "{}", "ReaComp\nOTT\nCrashy"},
};

// Test names show the command line, not the bytes of the case.
void PrintTo(const CommandCase& entry, std::ostream* out) {
    *out << "ovctl";
    for (const std::string& word : entry.args) *out << " " << word;
}

class Commands : public OvctlTest {
protected:
    void check(const CommandCase& entry) {
        SCOPED_TRACE(::testing::PrintToString(entry.args));
        RunResult result = ovctl(entry.args);
        EXPECT_RUN(result, 0, entry.printed.empty() ? std::string() : entry.printed + "\n", "");
        auto seen = requests();
        ASSERT_EQ(seen.size(), 2u);
        EXPECT_EQ(seen[0].target, "/v1/ping");
        EXPECT_EQ(seen[1].method, "POST");
        EXPECT_EQ(seen[1].command(), entry.command);
        EXPECT_EQ(seen[1].body, entry.body);
        EXPECT_EQ(seen[1].header("Content-Length"), port_text(static_cast<std::uint16_t>(entry.body.size())));
    }
};

class InlineCommand : public Commands, public ::testing::WithParamInterface<CommandCase> {};
class FamilyCommand : public Commands, public ::testing::WithParamInterface<CommandCase> {};

TEST_P(InlineCommand, SendsTheCommandAndPrintsTheAnswer) {
    connect_through_settings();
    check(GetParam());
}

TEST_P(FamilyCommand, SendsTheCommandAndPrintsTheAnswer) {
    connect_through_settings();
    check(GetParam());
}

std::string case_name(const ::testing::TestParamInfo<CommandCase>& info) {
    std::string name = std::to_string(info.index);
    for (const std::string& word : info.param.args)
        for (char c : word)
            if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) name += c;
    return name;
}

INSTANTIATE_TEST_SUITE_P(Ovctl, InlineCommand, ::testing::ValuesIn(inline_commands), case_name);
INSTANTIATE_TEST_SUITE_P(Ovctl, FamilyCommand, ::testing::ValuesIn(family_commands), case_name);

TEST_F(Commands, PlayAndStopASoundByName) {
    connect_through_settings();
    EXPECT_RUN(ovctl({"sound", "play", "air", "HORN"}), 0, "Playing \"air HORN\"\n", "");
    auto seen = requests();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].target, "/v1/ping");
    EXPECT_EQ(seen[1].command(), "sound.list");
    EXPECT_EQ(seen[2].command(), "sound.play");
    EXPECT_EQ(seen[2].body, R"({"id":2})");

    server_->clear_requests();
    // Only ASCII letters are compared without case: É does not match é.
    EXPECT_RUN(ovctl({"sound", "stop", "caf\xC3\xA9", "ambience"}), 0, "Stopped \"caf\xC3\xA9 ambience\"\n", "");
    EXPECT_EQ(requests().back().body, R"({"id":12})");
    EXPECT_RUN(ovctl({"sound", "stop", "CAF\xC3\x89", "AMBIENCE"}), 1, "",
               "ovctl: No sound named \"CAF\xC3\x89 AMBIENCE\" (ovctl sound list shows them)\n");
    EXPECT_RUN(ovctl({"sound", "stop", "applause"}), 0, "Stopped \"applause\"\n", "");
    EXPECT_RUN(ovctl({"sound", "play", "4294967296"}), 1, "",
               "ovctl: No sound named \"4294967296\" (ovctl sound list shows them)\n");
    RunResult json = ovctl({"sound", "play", "Drum", "roll", "--json"});
    EXPECT_RUN(json, 0, "{\n  \"id\": 3,\n  \"name\": \"Drum roll\",\n  \"ok\": true,\n  \"playing\": true\n}\n", "");
}

// The request line carries the name as made valid at entry, and Orvia's refusal quotes it.
TEST_F(Commands, ACommandNameThatIsNotUtf8IsSentAsPrinted) {
    connect_through_settings();
    EXPECT_RUN(ovctl({"call", "x\xFF"}), 1, "", "ovctl: unknown command \"x\xEF\xBF\xBD\"\n");
    auto seen = requests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].target, "/v1/cmd/x\xEF\xBF\xBD");
}

TEST_F(Commands, AnEmptyAnswerRendersAsNull) {
    connect_through_settings();
    ov::standin::Reply empty;
    empty.body.clear();
    server_->script("profile.list", empty);
    EXPECT_RUN(ovctl({"profile", "list"}), 0, "(none)\n", "");
    EXPECT_RUN(ovctl({"profile", "list", "--json"}), 0, "null\n", "");
}

TEST_F(Commands, AConfirmationIsPrintedWhateverTheAnswer) {
    connect_through_settings();
    server_->script("record.start", ov::standin::Reply::json(200, ov::Json::array({1, 2})));
    EXPECT_RUN(ovctl({"record", "start"}), 0, "Recording everything\n", "");
}

}  // namespace
}  // namespace ovtest
