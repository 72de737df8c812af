// One run of ovctl: the option scan, the choice of help and version, the exchange with a
// loopback Orvia, sound by name, and what ends up on standard output and error.
#include "entry.h"

#include "fake_orvia_server.h"
#include "scoped_environment.h"

#include <gtest/gtest.h>

namespace ovctl {
namespace {

using testing::FakeOrviaServer;
using testing::IsolatedClientEnvironment;

const std::string kHint = "\nRun `ovctl help` for the commands.";

// The options that differ from their defaults, in field order.
std::string describe(const GlobalOptions& o) {
    std::string text;
    auto add = [&text](const std::string& piece) { text += (text.empty() ? "" : " ") + piece; };
    if (o.token) add("token=[" + *o.token + "]");
    if (o.voice) add("voice=[" + *o.voice + "]");
    if (o.sound) add("sound=" + std::to_string(*o.sound));
    if (o.mode) add("mode=" + *o.mode);
    if (o.port) add("port=" + std::to_string(*o.port));
    if (o.json) add("json");
    if (o.help) add("help");
    if (o.version) add("version");
    if (o.raw) add("raw");
    if (o.press == Press::Press) add("press");
    if (o.press == Press::Release) add("release");
    return text;
}

struct ScanCase {
    const char* name;
    std::vector<std::string> arguments;
    std::string options;  // describe() of the options, or the usage message without the hint
    Words words;
    bool fails = false;
};

class ScanCommandLine : public ::testing::TestWithParam<ScanCase> {};

TEST_P(ScanCommandLine, SeparatesOptionsFromWords) {
    const ScanCase& c = GetParam();
    const auto line = scan_command_line(c.arguments);
    if (c.fails) {
        ASSERT_FALSE(line.ok());
        EXPECT_EQ(line.error().message, c.options + kHint);
        EXPECT_EQ(line.error().code, 2);
        return;
    }
    ASSERT_TRUE(line.ok()) << line.error().message;
    EXPECT_EQ(describe(line->options), c.options);
    EXPECT_EQ(line->words, c.words);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScanCommandLine,
    ::testing::Values(
        ScanCase{"Nothing", {}, "", {}},
        ScanCase{"OptionsAnywhere", {"say", "--raw", "hello", "--json"}, "json raw", {"say", "hello"}},
        ScanCase{"OptionFirst", {"--raw", "say", "hello"}, "raw", {"say", "hello"}},
        ScanCase{"Flags", {"-h", "-V", "--press", "--hold"}, "mode=hold help version press", {}},
        ScanCase{"LongHelpAndVersion", {"--help", "--version"}, "help version", {}},
        ScanCase{"LastPressWins", {"--press", "--release"}, "release", {}},
        ScanCase{"LastModeWins", {"--hold", "--toggle"}, "mode=toggle", {}},
        ScanCase{"Values", {"action", "--sound", "4294967295", "--voice", " Zira ", "x"},
                 "voice=[ Zira ] sound=4294967295", {"action", "x"}},
        ScanCase{"PortPlus", {"--port", "+47101", "status"}, "port=47101", {"status"}},
        ScanCase{"PortZeroAndLeadingZeros", {"--port", "000"}, "port=0", {}},
        ScanCase{"LastPortWins", {"--port", "1", "--port", "2"}, "port=2", {}},
        ScanCase{"TokenTrimmed", {"--token", " \t abc def\u3000"}, "token=[abc def]", {}},
        ScanCase{"TokenOfSpacesIsEmpty", {"--token", "   "}, "token=[]", {}},
        ScanCase{"ValueLooksLikeAnOption", {"--token", "--json"}, "token=[--json]", {}},
        ScanCase{"VoiceTakesAnything", {"--voice", "-h"}, "voice=[-h]", {}},
        ScanCase{"DashWordsAreWords", {"volume", "mic", "-5", "-", "-x"}, "", {"volume", "mic", "-5", "-", "-x"}},
        ScanCase{"CaseOfWordsKept", {"MUTE", "On"}, "", {"MUTE", "On"}},
        ScanCase{"UnknownOption", {"--JSON", "status"}, "Unknown option --JSON", {}, true},
        ScanCase{"DoubleDashAlone", {"--"}, "Unknown option --", {}, true},
        ScanCase{"OptionWithEquals", {"--port=1"}, "Unknown option --port=1", {}, true},
        ScanCase{"PortLetters", {"--port", "x", "status"}, "--port: \"x\" is not a port number", {}, true},
        ScanCase{"PortTooLarge", {"--port", "65536"}, "--port: \"65536\" is not a port number", {}, true},
        ScanCase{"PortNegative", {"--port", "-1"}, "--port: \"-1\" is not a port number", {}, true},
        ScanCase{"PortLonePlus", {"--port", "+"}, "--port: \"+\" is not a port number", {}, true},
        ScanCase{"PortSpaces", {"--port", " 80"}, "--port: \" 80\" is not a port number", {}, true},
        ScanCase{"SoundTooLarge", {"--sound", "4294967296"}, "--sound: \"4294967296\" is not a sound id", {}, true},
        ScanCase{"PortMissing", {"status", "--port"}, "--port needs a number", {}, true},
        ScanCase{"TokenMissing", {"--token"}, "--token needs a value", {}, true},
        ScanCase{"VoiceMissing", {"say", "hi", "--voice"}, "--voice needs a voice name (ovctl speak voices)", {}, true},
        ScanCase{"SoundMissing", {"--sound"}, "--sound needs a sound id", {}, true},
        ScanCase{"StopsAtTheFirstError", {"--bogus", "--port", "x"}, "Unknown option --bogus", {}, true},
        ScanCase{"ErrorAfterHelpStillFails", {"-h", "--port"}, "--port needs a number", {}, true}),
    [](const ::testing::TestParamInfo<ScanCase>& info) { return std::string(info.param.name); });

TEST(HelpText, StartsWithTheUsageAndEndsWithTheSettingsPlace) {
    const std::string_view help = help_text();
    EXPECT_TRUE(help.starts_with("ovctl: control Orvia from the command line (local API, docs/API.md)\n\n"
                                 "usage: ovctl [--json] [--port N] [--token T] <command> [arguments]\n"));
    EXPECT_TRUE(help.ends_with("\nThe token and port come from %APPDATA%\\Orvia\\settings.json (enable the API in "
                               "Settings > Automation)."));
    EXPECT_NE(help.find("\nExit codes: 0 ok, 1 Orvia refused, 2 usage, 3 API off / app not running, 4 bad token, 5 "
                        "API version mismatch.\n"),
              std::string_view::npos);
    EXPECT_NE(help.find("(arpUp, trill \xE2\x80\xA6 ; 1/4 1/8 1/16 1/8t)"), std::string_view::npos);
    EXPECT_EQ(help.find('\t'), std::string_view::npos);
    EXPECT_EQ(help.find(" \n"), std::string_view::npos);
}

TEST(VersionLine, NamesTheProgramAndApiVersion) { EXPECT_EQ(version_line(), "ovctl 0.9.0 (API 1.x)"); }

// Help and version are answered without settings or any connection.
struct ChoiceCase {
    const char* name;
    std::vector<std::string> arguments;
    bool help;
};

class HelpOrVersion : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(HelpOrVersion, AnswersWithoutContactingOrvia) {
    const ChoiceCase& c = GetParam();
    IsolatedClientEnvironment isolated;
    FakeOrviaServer server;
    isolated.environment.set("ORVIA_API_PORT", std::to_string(server.port()));
    const RunOutput output = execute(c.arguments);
    EXPECT_EQ(output.out, (c.help ? std::string(help_text()) : version_line()) + "\n");
    EXPECT_EQ(output.err, "");
    EXPECT_EQ(output.exit_code, 0);
    EXPECT_TRUE(server.requests().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HelpOrVersion,
    ::testing::Values(ChoiceCase{"NoArguments", {}, true}, ChoiceCase{"ShortHelpAfterCommand", {"status", "-h"}, true},
                      ChoiceCase{"HelpWinsOverVersion", {"-V", "--help"}, true},
                      ChoiceCase{"HelpWord", {"HeLp", "status"}, true},
                      ChoiceCase{"HelpWordBeforeVersionWord", {"help", "version"}, true},
                      ChoiceCase{"VersionFlagOverCommand", {"mute", "on", "-V"}, false},
                      ChoiceCase{"VersionFlagOverHelpWord", {"help", "--version"}, false},
                      ChoiceCase{"VersionWord", {"VERSION", "--json"}, false},
                      ChoiceCase{"OnlyOptions", {"--json", "--port", "1"}, true}),
    [](const ::testing::TestParamInfo<ChoiceCase>& info) { return std::string(info.param.name); });

TEST(RunOutput, UsageErrorsGoToStandardErrorWithTheHint) {
    IsolatedClientEnvironment isolated;
    RunOutput output = execute({"--port", "x", "status"});
    EXPECT_EQ(output.out, "");
    EXPECT_EQ(output.err, "ovctl: --port: \"x\" is not a port number\nRun `ovctl help` for the commands.\n");
    EXPECT_EQ(output.exit_code, 2);

    output = execute({"bogus"});
    EXPECT_EQ(output.err, "ovctl: Unknown command \"bogus\"\nRun `ovctl help` for the commands.\n");
    EXPECT_EQ(output.exit_code, 2);
}

// A run against a loopback Orvia: environment isolated, --port pointing at the server.
class RunAgainstOrvia : public ::testing::Test {
protected:
    RunOutput run_with(std::vector<std::string> arguments) {
        arguments.push_back("--port");
        arguments.push_back(std::to_string(server.port()));
        return execute(arguments);
    }

    void answer_ping(std::string_view version = "1.4") {
        server.add_answer(200, "{\"apiVersion\":\"" + std::string(version) + "\",\"app\":\"Orvia\"}");
    }

    // The request line of each request received.
    std::vector<std::string> request_lines() const {
        std::vector<std::string> lines;
        for (const auto& request : server.requests()) lines.push_back(request.substr(0, request.find("\r\n")));
        return lines;
    }

    std::string body_of(std::size_t index) const {
        const std::string request = server.requests().at(index);
        return request.substr(request.find("\r\n\r\n") + 4);
    }

    IsolatedClientEnvironment isolated;
    FakeOrviaServer server;
};

TEST_F(RunAgainstOrvia, PingsThenSendsTheCommandAndPrintsTheRenderedAnswer) {
    answer_ping();
    server.add_answer(200, "{\"recording\":true}");
    const RunOutput output = run_with({"record", "start", "--token", "  secret  "});
    EXPECT_EQ(output.out, "Recording everything\n");
    EXPECT_EQ(output.err, "");
    EXPECT_EQ(output.exit_code, 0);
    EXPECT_EQ(request_lines(), (std::vector<std::string>{"GET /v1/ping HTTP/1.1", "POST /v1/cmd/record.start HTTP/1.1"}));
    EXPECT_NE(server.requests()[1].find("\r\nAuthorization: Bearer secret\r\n"), std::string::npos);
    EXPECT_EQ(body_of(1), "{}");
}

// Bytes that are not UTF-8 (possible in a POSIX argv) become U+FFFD once, at entry, so the
// word that is sent and the word that is printed are the same text.
TEST(ValidUtf8Arguments, ReplacesEachBadSequenceOnce) {
    const std::vector<std::string> typed = {
        "caf\xE9", "x\xFF", "caf\xC3\xA9", "", "\xE2\x82", "\xF0\x9F\x98\x80", "\xC0\xAF!", "\xED\xA0\x80"};
    const std::vector<std::string> valid = {
        "caf\uFFFD", "x\uFFFD", "caf\u00E9", "", "\uFFFD", "\U0001F600", "\uFFFD\uFFFD!", "\uFFFD\uFFFD\uFFFD"};
    EXPECT_EQ(valid_utf8_arguments(typed), valid);
}

TEST_F(RunAgainstOrvia, ArgumentBytesThatAreNotUtf8AreSentAndPrintedAlike) {
    answer_ping();
    server.add_answer(200, "{}");
    const RunOutput loaded = run_with({"profile", "load", "caf\xE9", "--token", "t"});
    EXPECT_EQ(loaded.out, "Loaded mic profile \"caf\uFFFD\"\n");
    EXPECT_EQ(body_of(1), "{\"name\":\"caf\uFFFD\"}");

    answer_ping();
    server.add_answer(200, "{}");
    const RunOutput called = run_with({"call", "x\xFF", "--token", "t\xFF"});
    EXPECT_EQ(called.exit_code, 0) << called.err;
    EXPECT_EQ(request_lines().back(), "POST /v1/cmd/x\uFFFD HTTP/1.1");
    EXPECT_NE(server.requests().back().find("\r\nAuthorization: Bearer t\uFFFD\r\n"), std::string::npos);
}

TEST_F(RunAgainstOrvia, JsonPrintsTheAnswerIndented) {
    answer_ping();
    server.add_answer(200, "{\"recording\":true,\"files\":[\"a.wav\"]}");
    const RunOutput output = run_with({"--json", "record", "start", "--token", "t"});
    EXPECT_EQ(output.out, "{\n  \"files\": [\n    \"a.wav\"\n  ],\n  \"recording\": true\n}\n");
    EXPECT_EQ(output.exit_code, 0);
}

TEST_F(RunAgainstOrvia, AnEmptyAcceptedBodyIsNull) {
    answer_ping();
    server.add_answer(200, "");
    const RunOutput output = run_with({"--json", "call", "x.y", "--token", "t"});
    EXPECT_EQ(output.out, "null\n");
    EXPECT_EQ(output.exit_code, 0);
}

TEST_F(RunAgainstOrvia, AnEmptyOutputPrintsNothing) {
    answer_ping();
    server.add_answer(200, "{\"voice\":{\"name\":\"\"}}");
    const RunOutput output = run_with({"get", "voice.name", "--token", "t"});
    EXPECT_EQ(output.out, "");
    EXPECT_EQ(output.err, "");
    EXPECT_EQ(output.exit_code, 0);
}

TEST_F(RunAgainstOrvia, TokenAndPortFromTheSettingsFileAndEnvironment) {
    isolated.write_settings(R"({"apiEnabled":true,"apiPort":1,"apiToken":"from-file"})");
    isolated.environment.set("ORVIA_API_PORT", std::to_string(server.port()));
    answer_ping();
    server.add_answer(200, "{}");
    const RunOutput output = execute({"record", "stop"});
    EXPECT_EQ(output.exit_code, 0) << output.err;
    ASSERT_EQ(server.requests().size(), 2u);
    EXPECT_NE(server.requests()[1].find("\r\nAuthorization: Bearer from-file\r\n"), std::string::npos);
}

struct FailureCase {
    const char* name;
    std::vector<std::string> answers;  // raw answers, in order
    std::vector<std::string> arguments;
    std::string err;
    int code;
    std::size_t requests;
};

class RunFailure : public RunAgainstOrvia, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(RunFailure, PrintsTheMessageAndExitsWithItsCode) {
    const FailureCase& c = GetParam();
    for (const auto& answer : c.answers) server.add_answer(answer);
    const RunOutput output = run_with(c.arguments);
    EXPECT_EQ(output.out, "");
    EXPECT_EQ(output.err, c.err);
    EXPECT_EQ(output.exit_code, c.code);
    EXPECT_EQ(server.requests().size(), c.requests);
}

const std::string kPingOk = "HTTP/1.1 200 OK\r\n\r\n{\"apiVersion\":\"1\"}";

INSTANTIATE_TEST_SUITE_P(
    Cases, RunFailure,
    ::testing::Values(
        FailureCase{"NoTokenAfterThePing", {kPingOk}, {"record", "start"},
                    "ovctl: No API token found. Turn the API on in Orvia > Settings > Automation (it writes the token "
                    "for ovctl), or pass --token.\n",
                    4, 1},
        FailureCase{"VersionMismatch", {"HTTP/1.1 200 OK\r\n\r\n{\"apiVersion\":\"2.1\"}"}, {"record", "start", "--token", "t"},
                    "ovctl: This ovctl speaks API 1.x but Orvia speaks 2.1. Use the ovctl installed with Orvia.\n", 5, 1},
        FailureCase{"Refused", {kPingOk, "HTTP/1.1 400 Bad\r\n\r\n{\"error\":\"unknown preset\"}"},
                    {"ducking", "preset", "x", "--token", "t"}, "ovctl: unknown preset\n", 1, 2},
        FailureCase{"RefusedEmpty", {kPingOk, "HTTP/1.1 500 Oops\r\n\r\n"}, {"record", "start", "--token", "t"},
                    "ovctl: \n", 1, 2},
        FailureCase{"BadToken", {kPingOk, "HTTP/1.1 401 No\r\n\r\n"}, {"record", "start", "--token", "t"},
                    "ovctl: Orvia refused the API token. It changes when you press Regenerate in Settings > "
                    "Automation; ovctl rereads it from settings.json, so only a --token or ORVIA_API_TOKEN you set by "
                    "hand can be stale.\n",
                    4, 2},
        FailureCase{"CommandAnswerIncomplete", {kPingOk, "HTTP/1.1 200 OK\r\n"}, {"record", "start", "--token", "t"},
                    "ovctl: The Orvia API is off. Turn it on in Orvia > Settings > Automation > Local API, then try "
                    "again.\n",
                    3, 2},
        FailureCase{"UsageErrorSendsNothing", {kPingOk}, {"record", "--token", "t"},
                    "ovctl: record takes start, stop or toggle\nRun `ovctl help` for the commands.\n", 2, 0}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

TEST_F(RunAgainstOrvia, SomethingElseOnThePort) {
    server.add_answer(404, "<html>Not Found</html>");
    const RunOutput output = run_with({"status"});
    EXPECT_EQ(output.err, "ovctl: Something else answers on 127.0.0.1:" + std::to_string(server.port()) +
                              " (HTTP 404). Change the API port in Orvia's settings.\n");
    EXPECT_EQ(output.exit_code, 3);
}

TEST(RunWithoutOrvia, NoTokenAndNothingListeningIsThreeNotFour) {
    IsolatedClientEnvironment isolated;
    const std::string port = std::to_string(testing::unused_port());
    RunOutput output = execute({"record", "start", "--port", port});
    EXPECT_EQ(output.err, "ovctl: The Orvia API is off. Turn it on in Orvia > Settings > Automation > Local API, "
                          "then try again.\n");
    EXPECT_EQ(output.exit_code, 3);

    isolated.write_settings(R"({"apiEnabled":true,"apiPort":)" + port + "}");
    output = execute({"record", "start"});
    EXPECT_EQ(output.err, "ovctl: Orvia is not answering on 127.0.0.1:" + port +
                              ". Is it running? (The API is turned on in its settings.)\n");
    EXPECT_EQ(output.exit_code, 3);
}

struct SoundIdCase {
    const char* name;
    std::string list;
    std::string wanted;
    std::optional<std::uint64_t> id;
};

class FindSoundId : public ::testing::TestWithParam<SoundIdCase> {};

TEST_P(FindSoundId, TakesTheFirstMatchingName) {
    const SoundIdCase& c = GetParam();
    EXPECT_EQ(find_sound_id(*ov::parse_json(c.list).value, c.wanted), c.id);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FindSoundId,
    ::testing::Values(
        SoundIdCase{"IgnoresAsciiCase", R"({"sounds":[{"id":1,"name":"Boo"},{"id":4,"name":"Applause"}]})", "aPPLAUSE", 4},
        SoundIdCase{"FirstOfTwo", R"({"sounds":[{"id":7,"name":"x"},{"id":8,"name":"X"}]})", "x", 7},
        SoundIdCase{"IdZero", R"({"sounds":[{"id":0,"name":"x"}]})", "x", 0},
        SoundIdCase{"LargeId", R"({"sounds":[{"id":18446744073709551615,"name":"x"}]})", "x",
                    18446744073709551615ull},
        SoundIdCase{"FirstMatchWithoutIdDecides", R"({"sounds":[{"name":"x"},{"id":2,"name":"x"}]})", "x",
                    std::nullopt},
        SoundIdCase{"TextId", R"({"sounds":[{"id":"2","name":"x"}]})", "x", std::nullopt},
        SoundIdCase{"NegativeId", R"({"sounds":[{"id":-2,"name":"x"}]})", "x", std::nullopt},
        SoundIdCase{"FractionalId", R"({"sounds":[{"id":2.0,"name":"x"}]})", "x", std::nullopt},
        SoundIdCase{"NonAsciiCaseNotFolded", R"({"sounds":[{"id":1,"name":"\u00c4"}]})", "\xC3\xA4", std::nullopt},
        SoundIdCase{"SkipsOddElements", R"({"sounds":[3,"x",{"name":5},{"id":9,"name":"x"}]})", "x", 9},
        SoundIdCase{"NoMatch", R"({"sounds":[{"id":1,"name":"y"}]})", "x", std::nullopt},
        SoundIdCase{"SoundsNotArray", R"({"sounds":{"id":1,"name":"x"}})", "x", std::nullopt},
        SoundIdCase{"AnswerIsArray", R"([{"id":1,"name":"x"}])", "x", std::nullopt},
        SoundIdCase{"NullAnswer", "null", "x", std::nullopt}),
    [](const ::testing::TestParamInfo<SoundIdCase>& info) { return std::string(info.param.name); });

const std::string kSoundList =
    R"({"sounds":[{"id":1,"name":"Boo"},{"id":4,"name":"Big Room"},{"id":"5","name":"Broken"}]})";

TEST_F(RunAgainstOrvia, PlaysASoundByNameAfterListingThem) {
    answer_ping();
    server.add_answer(200, kSoundList);
    server.add_answer(200, "{\"playing\":4}");
    const RunOutput output = run_with({"sound", "play", "big", "ROOM", "--token", "t"});
    EXPECT_EQ(output.out, "Playing \"big ROOM\"\n");
    EXPECT_EQ(output.exit_code, 0) << output.err;
    EXPECT_EQ(request_lines(), (std::vector<std::string>{"GET /v1/ping HTTP/1.1", "POST /v1/cmd/sound.list HTTP/1.1",
                                                         "POST /v1/cmd/sound.play HTTP/1.1"}));
    EXPECT_EQ(body_of(1), "{}");
    EXPECT_EQ(body_of(2), "{\"id\":4}");
}

TEST_F(RunAgainstOrvia, StopsASoundByNameAndPrintsJsonWhenAsked) {
    answer_ping();
    server.add_answer(200, kSoundList);
    server.add_answer(200, "{\"stopped\":[1]}");
    const RunOutput output = run_with({"sound", "stop", "boo", "--token", "t", "--json"});
    EXPECT_EQ(output.out, "{\n  \"stopped\": [\n    1\n  ]\n}\n");
    EXPECT_EQ(body_of(2), "{\"id\":1}");
    EXPECT_TRUE(request_lines()[2].starts_with("POST /v1/cmd/sound.stop "));
}

TEST_F(RunAgainstOrvia, AnUnknownOrBrokenSoundNameIsARefusal) {
    for (const std::string name : {"applause", "broken"}) {
        answer_ping();
        server.add_answer(200, kSoundList);
        const RunOutput output = run_with({"sound", "play", name, "--token", "t"});
        EXPECT_EQ(output.err, "ovctl: No sound named \"" + name + "\" (ovctl sound list shows them)\n");
        EXPECT_EQ(output.exit_code, 1);
    }
    EXPECT_EQ(server.requests().size(), 4u);  // ping and list, twice; nothing played
}

TEST_F(RunAgainstOrvia, ASoundListRefusalEndsTheRun) {
    answer_ping();
    server.add_answer(403, "{\"error\":\"sounds are locked\"}");
    const RunOutput output = run_with({"sound", "play", "boo", "--token", "t"});
    EXPECT_EQ(output.err, "ovctl: sounds are locked\n");
    EXPECT_EQ(output.exit_code, 1);
    EXPECT_EQ(server.requests().size(), 2u);
}

}  // namespace
}  // namespace ovctl
