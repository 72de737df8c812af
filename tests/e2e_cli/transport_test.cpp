// ovctl against answers that are odd or malformed, and the ways it finds Orvia: the
// settings file, the environment and the options, including broken ones.
#include "ovctl_fixture.h"

namespace ovtest {
namespace {

using ov::standin::Applies;
using ov::standin::Misbehaviour;

class Transport : public OvctlTest {
protected:
    void SetUp() override {
        OvctlTest::SetUp();
        connect_through_settings();
    }
};

TEST_F(Transport, AChunkedAnswerReadsLikeAPlainOne) {
    server_->misbehave(Misbehaviour::Chunked);
    EXPECT_RUN(ovctl({"status"}), 0, canned_status_report, "");
    EXPECT_RUN(ovctl({"profile", "list"}), 0, "Default\nPodcast host\nCaf\xC3\xA9 talk\n", "");
    EXPECT_RUN(ovctl({"mute", "on"}), 0, "Microphone muted\n", "");
}

TEST_F(Transport, TruncatedChunksKeepWhatWasDecoded) {
    // The command's body is cut inside its last chunk: what came before is not JSON.
    server_->misbehave(Misbehaviour::TruncatedChunks, 1, Applies::Commands);
    EXPECT_RUN(ovctl({"profile", "list"}), 0, "(none)\n", "");
    server_->misbehave(Misbehaviour::TruncatedChunks, 1, Applies::Commands);
    EXPECT_RUN(ovctl({"call", "mute.get"}), 0, "null\n", "");
    // A cut ping answer has no readable version.
    server_->misbehave(Misbehaviour::TruncatedChunks, 1, Applies::Ping);
    EXPECT_RUN(ovctl({"mute"}), 5, "", "ovctl: This ovctl speaks API 1.x but Orvia speaks . Use the ovctl installed with Orvia.\n");
}

TEST_F(Transport, UnreadableAnswersMeanOrviaIsNotAnswering) {
    const std::string message = not_answering_message(port());
    for (Misbehaviour mode : {Misbehaviour::NoBlankLine, Misbehaviour::NoStatus, Misbehaviour::CloseEarly}) {
        SCOPED_TRACE(std::string(ov::standin::misbehaviour_name(mode)));
        for (Applies where : {Applies::Ping, Applies::Commands}) {
            server_->misbehave(mode, 1, where);
            EXPECT_RUN(ovctl({"mute", "on"}), 3, "", message);
        }
        server_->behave();
    }
    // Without apiEnabled in the file, the same failure reads as the API being off.
    write_settings(ov::to_compact_json(ov::Json{{"apiPort", port()}, {"apiToken", "standin-token"}}));
    server_->misbehave(Misbehaviour::NoBlankLine, 1);
    EXPECT_RUN(ovctl({"mute"}), 3, "", api_off_message);
}

TEST_F(Transport, ASlowAnswerIsWaitedFor) {
    server_->settings_for_misbehaviour().slow_delay = std::chrono::milliseconds(2500);
    server_->misbehave(Misbehaviour::Slow, 1, Applies::Commands);
    EXPECT_RUN(ovctl({"mute"}), 0, "Microphone live\n", "");
}

TEST_F(Transport, InvalidUtf8IsReplaced) {
    server_->misbehave(Misbehaviour::InvalidUtf8);
    EXPECT_RUN(ovctl({"profile", "list"}), 0, "Default\nPodcast host\nCaf\xEF\xBF\xBD talk\n", "");
    EXPECT_RUN(ovctl({"sounds"}), 0, "   1  Applause\n   2  Air horn\n   3  Drum roll\n  12  Caf\xEF\xBF\xBD ambience\n", "");
    // In an error text too.
    server_->script("scene.apply", ov::standin::Reply::error(400, "sc\xC3\xA9ne inconnue"));
    EXPECT_RUN(ovctl({"scene", "apply", "x"}), 1, "", "ovctl: sc\xEF\xBF\xBDne inconnue\n");
}

TEST_F(Transport, AHugeAnswerIsReadWhole) {
    server_->settings_for_misbehaviour().huge_entries = 200000;
    server_->misbehave(Misbehaviour::HugeBody);
    RunResult result = ovctl({"profile", "list"});
    ASSERT_EQ(result.exit_code, 0) << result.describe().substr(0, 500);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 200000);
    EXPECT_EQ(result.out.substr(0, 16), "entry 1\nentry 2\n");
    EXPECT_EQ(result.out.substr(result.out.size() - 13), "entry 200000\n");
}

TEST_F(Transport, ANonJsonErrorBodyIsShownTrimmed) {
    ov::standin::Reply plain;
    plain.status = 503;
    plain.content_type = "text/plain";
    plain.body = "  \r\n Service Unavailable \n\t";
    server_->script("mute.get", plain);
    EXPECT_RUN(ovctl({"mute"}), 1, "", "ovctl: Service Unavailable\n");
    // An error member that is not a text: the whole body.
    server_->script("mute.get", ov::standin::Reply::json(409, ov::Json{{"error", 42}}));
    EXPECT_RUN(ovctl({"mute"}), 1, "", "ovctl: {\"error\":42}\n");
}

TEST_F(Transport, UnexpectedAnswerShapesFallBack) {
    const std::vector<std::tuple<std::string, std::vector<std::string>, ov::Json, std::string>> cases = {
        {"sound.list", {"sounds"}, ov::Json{{"sounds", ov::Json::array({7, ov::Json{{"id", 7}, {"name", "Applause"}}})}},
         "null  ?\n   7  Applause\n"},
        {"sound.list", {"sounds"}, ov::Json{{"sounds", ov::Json::array()}}, "(no sounds)\n"},
        {"profile.list", {"profile"}, ov::Json{{"name", "x"}}, "(none)\n"},
        {"profile.list", {"profile"},
         ov::Json::array({"a", ov::Json{{"name", "b"}}, ov::Json{{"id", "c"}}, 5, ov::Json::object()}), "a\nb\nc\n"},
        {"mute.get", {"mute"}, ov::Json{{"muted", "true"}}, "Microphone live\n"},
        {"volume.get", {"volume", "mic"}, ov::Json{{"label", "Mic"}, {"value", -0.04}}, "Mic: -0%\n"},
        {"volume.get", {"volume", "mic"}, ov::Json::array(), "?: ?%\n"},
        {"status", {"status"}, ov::Json("not an object"),
         "Orvia ? (API ?)\nMic:        live\nChain:      stopped\nProfile:    none\nScene:      none\n"
         "Voice:      off\nRecording:  no\n"},
    };
    for (const auto& [command, args, answer, printed] : cases) {
        SCOPED_TRACE(command + " " + answer.dump());
        server_->script(command, ov::standin::Reply::json(200, answer));
        EXPECT_RUN(ovctl(args), 0, printed, "");
    }
}

class Settings : public OvctlTest {};

TEST_F(Settings, TheFileGivesPortAndToken) {
    write_settings(settings_json(port(), "standin-token"));
    EXPECT_RUN(ovctl({"mute"}), 0, "Microphone live\n", "");
    EXPECT_EQ(requests().at(1).header("Authorization"), "Bearer standin-token");
}

TEST_F(Settings, EnvironmentAndOptionsWinOverTheFile) {
    ov::standin::ServerOptions other_options;
    other_options.token = "env-token";
    ov::standin::StandinApi other(other_options);
    ASSERT_EQ(other.start(), "");
    const std::uint16_t dead = unused_port();
    // The file points at nothing; the environment points at the stand-in.
    write_settings(settings_json(dead, "file-token"));
    EXPECT_RUN(ovctl({"mute"}, {{"ORVIA_API_PORT", port_text(other.port())}, {"ORVIA_API_TOKEN", "env-token"}}), 0,
               "Microphone live\n", "");
    // Trimmed, with a leading plus.
    EXPECT_RUN(ovctl({"mute"}, {{"ORVIA_API_PORT", " +" + port_text(other.port()) + "\t"},
                                {"ORVIA_API_TOKEN", "  env-token \n"}}),
               0, "Microphone live\n", "");
    EXPECT_EQ(other.requests().back().header("Authorization"), "Bearer env-token");
    // Options beat the environment.
    EXPECT_RUN(ovctl({"mute", "--port", port_text(port()), "--token", " standin-token "},
                     {{"ORVIA_API_PORT", port_text(other.port())}, {"ORVIA_API_TOKEN", "env-token"}}),
               0, "Microphone live\n", "");
    EXPECT_EQ(requests().back().header("Authorization"), "Bearer standin-token");
    // A malformed port in the environment is ignored: the file's port is used.
    write_settings(settings_json(port(), "standin-token"));
    for (const char* bad : {"abc", "", "70000", "-1", "1 2", "\xFF\xFE"}) {
        SCOPED_TRACE(bad);
        EXPECT_RUN(ovctl({"mute"}, {{"ORVIA_API_PORT", bad}}), 0, "Microphone live\n", "");
    }
    // A token of spaces in the environment is ignored: the file's token is used.
    EXPECT_RUN(ovctl({"mute"}, {{"ORVIA_API_TOKEN", "   "}}), 0, "Microphone live\n", "");
    // An empty --token is a token, and is sent.
    EXPECT_RUN(ovctl({"mute", "--token", "  "}), 4, "", refused_token_message);
    EXPECT_NE(requests().back().raw.find("\r\nAuthorization: Bearer \r\n"), std::string::npos);
}

TEST_F(Settings, TheFileTokenIsSentExactly) {
    write_settings(settings_json(port(), " spaced token "));
    EXPECT_RUN(ovctl({"mute"}), 4, "", refused_token_message);
    EXPECT_NE(requests().back().raw.find("\r\nAuthorization: Bearer  spaced token \r\n"), std::string::npos);
}

// Windows editors save the file with a byte-order mark: it is skipped. A token the file holds
// with a NUL cannot go into a header: refused with exit 4 after the ping, and never sent.
TEST_F(Settings, AByteOrderMarkIsSkippedAndATokenWithNulIsRefused) {
    write_settings("\xEF\xBB\xBF" + settings_json(port(), "standin-token"));
    EXPECT_RUN(ovctl({"mute"}), 0, "Microphone live\n", "");
    server_->clear_requests();
    write_settings(settings_json(port(), std::string("standin\0token", 13)));
    EXPECT_RUN(ovctl({"mute"}), 4, "",
               "ovctl: The API token contains a NUL character, so it cannot be sent. Check --token, ORVIA_API_TOKEN "
               "or Orvia's settings.json.\n");
    ASSERT_EQ(requests().size(), 1u);
    EXPECT_EQ(requests()[0].target, "/v1/ping");
}

TEST_F(Settings, BrokenFilesAreIgnored) {
    const std::uint16_t dead = unused_port();
    const std::vector<std::string> broken = {
        "",
        "not json at all",
        "[1, 2, 3]",
        "{\"apiEnabled\": true, \"apiPort\": 1",
        "{\"apiEnabled\": \"true\", \"apiPort\": \"47101\", \"apiToken\": 5}",
        "{\"apiEnabled\": 1, \"apiPort\": 47101.0}",
        "{\"apiEnabled\": true} trailing",
        "\xFF\xFE{\x00\"\x00}\x00",
        "{\"apiEnabled\": true, \"apiToken\": \"caf\xE9\"}",
        std::string(1 << 20, '['),
        "null",
    };
    for (const std::string& text : broken) {
        SCOPED_TRACE(::testing::PrintToString(text.substr(0, 40)));
        write_settings(text);
        // apiEnabled stays unstated: the connection failure reads as the API being off.
        EXPECT_RUN(ovctl({"status"}, {{"ORVIA_API_PORT", port_text(dead)}}), 3, "", api_off_message);
    }
    // A folder where the file should be.
    std::filesystem::remove(settings_path());
    std::filesystem::create_directories(settings_path());
    EXPECT_RUN(ovctl({"status"}, {{"ORVIA_API_PORT", port_text(dead)}}), 3, "", api_off_message);
}

TEST_F(Settings, OddEnvironmentsNeverCrash) {
    const std::uint16_t dead = unused_port();
    // No folder variables at all.
    EXPECT_RUN(ovctl({"status"}, {{"APPDATA", std::nullopt}, {"HOME", std::nullopt}, {"ORVIA_API_PORT", port_text(dead)}}),
               3, "", api_off_message);
    // Folders that do not exist or are not folders.
    EXPECT_RUN(ovctl({"status"}, {{"APPDATA", "/nonexistent/place"}, {"ORVIA_API_PORT", port_text(dead)}}), 3, "",
               api_off_message);
    EXPECT_RUN(ovctl({"status"}, {{"APPDATA", "/dev/null"}, {"ORVIA_API_PORT", port_text(dead)}}), 3, "",
               api_off_message);
    // A token with bytes that are not UTF-8 is not a token.
    write_settings(settings_json(port(), "standin-token"));
    EXPECT_RUN(ovctl({"mute"}, {{"ORVIA_API_TOKEN", "\xC3("}}), 0, "Microphone live\n", "");
    // Nothing at all: port 47101 (whatever answers there), and the ping decides.
    RunResult bare = ovctl({"status"}, {{"APPDATA", std::nullopt}, {"HOME", std::nullopt}, {"PATH", std::nullopt}});
    EXPECT_TRUE(bare.exited()) << bare.describe();
    EXPECT_NE(bare.exit_code, 0);
}

}  // namespace
}  // namespace ovtest
