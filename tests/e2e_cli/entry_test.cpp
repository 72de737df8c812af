// ovctl's entry end to end: help, version, option errors and every exit code from a real
// situation.
#include "ovctl_fixture.h"

namespace ovtest {
namespace {

using ov::standin::Misbehaviour;

class Entry : public OvctlTest {};

TEST_F(Entry, HelpAndVersionNeverContactOrvia) {
    connect_through_settings();
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, help_output},
        {{"help"}, help_output},
        {{"HELP"}, help_output},
        {{"-h"}, help_output},
        {{"status", "-h"}, help_output},
        {{"mute", "on", "--help"}, help_output},
        {{"-V", "--help"}, help_output},
        {{"version", "--help"}, help_output},
        {{"bogus", "-h"}, help_output},
        {{"version"}, version_output},
        {{"Version"}, version_output},
        {{"-V"}, version_output},
        {{"--version", "status"}, version_output},
        {{"version", "--json"}, version_output},
    };
    for (const auto& [args, expected] : cases) {
        SCOPED_TRACE(::testing::PrintToString(args));
        EXPECT_RUN(ovctl(args), 0, expected, "");
    }
    EXPECT_TRUE(requests().empty());
}

TEST_F(Entry, UsageErrorsPrintTheHintAndSendNothing) {
    connect_through_settings();
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--JSON", "status"}, "Unknown option --JSON"},
        {{"status", "--verbose"}, "Unknown option --verbose"},
        {{"status", "--port"}, "--port needs a number"},
        {{"--port", "x", "status"}, "--port: \"x\" is not a port number"},
        {{"--port", "65536", "status"}, "--port: \"65536\" is not a port number"},
        {{"--port", "-1", "status"}, "--port: \"-1\" is not a port number"},
        {{"--port", "+", "status"}, "--port: \"+\" is not a port number"},
        {{"--port", " 80", "status"}, "--port: \" 80\" is not a port number"},
        {{"status", "--token"}, "--token needs a value"},
        {{"say", "hi", "--voice"}, "--voice needs a voice name (ovctl speak voices)"},
        {{"action", "push", "--sound"}, "--sound needs a sound id"},
        {{"action", "push", "--sound", "abc"}, "--sound: \"abc\" is not a sound id"},
        {{"action", "push", "--sound", "4294967296"}, "--sound: \"4294967296\" is not a sound id"},
        {{"bogus"}, "Unknown command \"bogus\""},
        {{"BoGuS", "now"}, "Unknown command \"bogus\""},
        {{"mute", "maybe"}, "mute takes toggle, on or off, not \"maybe\""},
        {{"mute", "MAYBE"}, "mute takes toggle, on or off, not \"maybe\""},
        {{"mute", ""}, "mute takes toggle, on or off, not \"\""},
        {{"call", "x", "\xEF\xBB\xBF[1]"},
         "The arguments must be JSON: parse error at line 1, column 1: a byte-order mark (U+FEFF) is not JSON white "
         "space"},
        {{"record"}, "record takes start, stop or toggle"},
        {{"profile", "load"}, "Missing the profile name"},
        {{"profile", "load", " ", ""}, "Missing the profile name"},
        {{"profile", "delete"}, "profile takes list or load <name>, not \"delete\""},
        {{"scene", "apply"}, "Missing the scene name"},
        {{"sound", "play"}, "Missing a sound id or name"},
        {{"sound", "loud"}, "sound takes list, play, stop, stop-all or random, not \"loud\""},
        {{"volume"}, "Missing the target: mic, speakers or app:<name>.exe"},
        {{"volume", "mic", "MUTE"}, "\"MUTE\" is not a number (use 40, +5 or -5)"},
        {{"volume", "mic", "5dB"}, "\"5dB\" is not a number (use 40, +5 or -5)"},
        {{"cohost", "mute", "x"}, "the co-host mic number must be 1 to 4"},
        {{"cohost", "mute", "2", "ON"}, "cohost mute <n> takes on or off, not \"ON\""},
        {{"speak", "hello"}, "speak takes stop, state or voices, not \"hello\" (to say something: ovctl say <text>)"},
        {{"say"}, "Missing the text to say, e.g. ovctl say be right back"},
        {{"get"}, "Missing the parameter path, e.g. compressor.threshold"},
        {{"set", "compressor.threshold"}, "Missing the value"},
        {{"call"}, "Missing the command name"},
        {{"scene", "next"}, "scene takes list or apply <name>, not \"next\""},
        {{"voice", "up"}, "voice takes list, load <name>, next, prev, on or off, not \"up\""},
        {{"replay", "now"}, "replay takes save, not \"now\""},
        {{"record", "pause"}, "record takes start, stop or toggle"},
        {{"gamemode", "yes"}, "gamemode takes on, off, auto or toggle, not \"yes\""},
        {{"anticheat", "never"}, "anticheat takes state, off, auto, always or toggle, not \"never\""},
        {{"ducking", "more"}, "ducking takes on, off, presets or preset <name>, not \"more\""},
        {{"ducking", "preset"}, "Missing the ducking preset name"},
        {{"vmics", "list"}, "vmics takes presets, preset <id> or state, not \"list\""},
        {{"vmics", "preset"}, "Missing the preset id (streamer, twoCalls, reset)"},
        {{"cohost", "unmute"}, "cohost takes state, mute <n> [on|off] or automix [on|off], not \"unmute\""},
        {{"cohost", "mute"}, "Missing the co-host mic number (1 to 4)"},
        {{"cohost", "automix", "maybe"}, "cohost automix takes on or off, not \"maybe\""},
        {{"gaincal", "go"}, "gaincal takes state, start, cancel or apply, not \"go\""},
        {{"mode", "save"}, "mode takes list or load <name>, not \"save\""},
        {{"mode", "load"}, "Missing the output mode name"},
        {{"obs", "stream"}, "obs takes status, scenes or scene <name>, not \"stream\""},
        {{"obs", "scene"}, "Missing the OBS scene name"},
        {{"voice", "load"}, "Missing the voice preset name"},
        {{"snapshot", "save"}, "Missing the snapshot name"},
        {{"snapshot", "rename", "x"}, "snapshot takes list, save, load, compare or delete <name>, not \"rename\""},
    };
    for (const auto& [args, message] : cases) {
        SCOPED_TRACE(::testing::PrintToString(args));
        EXPECT_RUN(ovctl(args), 2, "", "ovctl: " + message + usage_hint);
    }
    EXPECT_TRUE(requests().empty());
}

TEST_F(Entry, CallWithArgumentsThatAreNotJsonIsAUsageError) {
    connect_through_settings();
    RunResult result = ovctl({"call", "sound.play", "{id:3}"});
    EXPECT_EQ(result.exit_code, 2) << result.describe();
    EXPECT_EQ(result.out, "");
    const std::string prefix = "ovctl: The arguments must be JSON: ";
    EXPECT_EQ(result.err.substr(0, prefix.size()), prefix);
    EXPECT_GT(result.err.size(), prefix.size() + usage_hint.size());
    EXPECT_EQ(result.err.substr(result.err.size() - usage_hint.size()), usage_hint);
    EXPECT_TRUE(requests().empty());
}

TEST_F(Entry, ExitZeroWhenOrviaAccepts) {
    connect_through_settings();
    EXPECT_RUN(ovctl({"mute", "on"}), 0, "Microphone muted\n", "");
}

TEST_F(Entry, ExitOneWhenOrviaRefuses) {
    connect_through_settings();
    // A refusal of Orvia's own: the profile does not exist.
    EXPECT_RUN(ovctl({"profile", "load", "Nope"}), 1, "", "ovctl: no mic profile named \"Nope\"\n");
    // Another kind of refusal, and the error text is shown unchanged.
    server_->settings_for_misbehaviour().refusal = "unknown preset";
    server_->misbehave(Misbehaviour::Refusal, 1);
    EXPECT_RUN(ovctl({"mute", "on"}), 1, "", "ovctl: unknown preset\n");
    // A 500 with an empty body: the prefix alone.
    server_->misbehave(Misbehaviour::Empty500, 1);
    EXPECT_RUN(ovctl({"mute"}), 1, "", "ovctl: \n");
    // An unknown command through `call`.
    EXPECT_RUN(ovctl({"call", "no.such.command"}), 1, "", "ovctl: unknown command \"no.such.command\"\n");
}

TEST_F(Entry, ExitThreeWhenNothingListens) {
    const std::uint16_t dead = unused_port();
    // The settings file says the API is on: Orvia is not answering.
    write_settings(settings_json(dead, "standin-token"));
    EXPECT_RUN(ovctl({"status"}), 3, "", not_answering_message(dead));
    // No settings file at all: the API is off.
    std::filesystem::remove(settings_path());
    EXPECT_RUN(ovctl({"status", "--port", port_text(dead)}), 3, "", api_off_message);
    // The file says the API is off.
    write_settings(settings_json(dead, "standin-token", false));
    EXPECT_RUN(ovctl({"status"}), 3, "", api_off_message);
}

TEST_F(Entry, ExitThreeWhenSomethingElseAnswersThePing) {
    connect_through_settings();
    server_->misbehave(Misbehaviour::PingStatus);
    EXPECT_RUN(ovctl({"status"}), 3, "",
               "ovctl: Something else answers on 127.0.0.1:" + port_text(port()) +
                   " (HTTP 404). Change the API port in Orvia's settings.\n");
    ASSERT_EQ(requests().size(), 1u);
    EXPECT_EQ(requests()[0].target, "/v1/ping");
}

TEST_F(Entry, ExitFourWithoutAToken) {
    write_settings(ov::to_compact_json(ov::Json{{"apiEnabled", true}, {"apiPort", port()}}));
    EXPECT_RUN(ovctl({"mute"}), 4, "", no_token_message);
    // The ping went out first; the command did not.
    ASSERT_EQ(requests().size(), 1u);
    EXPECT_EQ(requests()[0].target, "/v1/ping");
}

TEST_F(Entry, ExitFourWhenTheTokenIsRefused) {
    write_settings(settings_json(port(), "stale-token"));
    EXPECT_RUN(ovctl({"mute"}), 4, "", refused_token_message);
    ASSERT_EQ(requests().size(), 2u);
    EXPECT_EQ(requests()[1].header("Authorization"), "Bearer stale-token");
}

TEST_F(Entry, ExitFiveOnAnotherApiVersion) {
    connect_through_settings();
    const std::vector<std::pair<ov::Json, std::string>> cases = {
        {"2.0", "2.0"}, {"10.1", "10.1"}, {"", ""}, {1, ""}, {nullptr, ""}, {"1x", "1x"},
    };
    for (const auto& [version, shown] : cases) {
        SCOPED_TRACE(version.dump());
        server_->settings_for_misbehaviour().api_version = version;
        server_->misbehave(Misbehaviour::ApiVersion, 1);
        EXPECT_RUN(ovctl({"mute"}), 5, "",
                   "ovctl: This ovctl speaks API 1.x but Orvia speaks " + shown + ". Use the ovctl installed with Orvia.\n");
    }
    // Versions whose major part is 1 pass.
    for (const char* version : {"1", "1.0", "1.7.2"}) {
        server_->settings_for_misbehaviour().api_version = version;
        server_->misbehave(Misbehaviour::ApiVersion, 1);
        EXPECT_RUN(ovctl({"mute"}), 0, "Microphone live\n", "");
    }
}

TEST_F(Entry, RequestsAreExactlyWhatTheApiExpects) {
    connect_through_settings();
    EXPECT_RUN(ovctl({"mute", "on"}), 0, "Microphone muted\n", "");
    auto seen = requests();
    ASSERT_EQ(seen.size(), 2u);
    const std::string host = "Host: 127.0.0.1:" + port_text(port()) + "\r\n";
    EXPECT_EQ(seen[0].raw, "GET /v1/ping HTTP/1.1\r\n" + host +
                               "User-Agent: ovctl/0.9.0\r\nContent-Type: application/json\r\n"
                               "Content-Length: 0\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(seen[1].raw, "POST /v1/cmd/mute.set HTTP/1.1\r\n" + host +
                               "User-Agent: ovctl/0.9.0\r\nAuthorization: Bearer standin-token\r\n"
                               "Content-Type: application/json\r\nContent-Length: 14\r\nConnection: close\r\n\r\n"
                               "{\"muted\":true}");
}

TEST_F(Entry, StatusPrintsTheReportAndJsonPrintsTheObject) {
    connect_through_settings();
    EXPECT_RUN(ovctl({"status"}), 0, canned_status_report, "");
    auto seen = requests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].target, "/v1/cmd/status");
    EXPECT_EQ(seen[1].body, "{}");

    // Words after status are ignored.
    EXPECT_RUN(ovctl({"STATUS", "now", "please"}), 0, canned_status_report, "");
    EXPECT_EQ(requests().back().command(), "status");

    RunResult json = ovctl({"--json", "status"});
    EXPECT_EQ(json.exit_code, 0) << json.describe();
    EXPECT_EQ(json.out, ov::to_pretty_json(server_->status_object()) + "\n");
}

TEST_F(Entry, StatusOfAnEmptyObjectPrintsTheFallbacks) {
    connect_through_settings();
    server_->script("status", ov::standin::Reply::json(200, ov::Json::object()));
    EXPECT_RUN(ovctl({"status"}), 0,
               "Orvia ? (API ?)\nMic:        live\nChain:      stopped\nProfile:    none\nScene:      none\n"
               "Voice:      off\nRecording:  no\n",
               "");
}

}  // namespace
}  // namespace ovtest
