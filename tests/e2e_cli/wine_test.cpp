// The Windows ovctl.exe under Wine against the stand-in: the settings file is found in the
// prefix's roaming folder, and help, errors, commands and exit codes are the same.
#include "ovctl_wine_fixture.h"

namespace ovtest {
namespace {

using ov::standin::Applies;
using ov::standin::Misbehaviour;

class WineOvctl : public OvctlWineSuite {};

TEST_F(WineOvctl, HelpVersionAndUsageErrors) {
    EXPECT_RUN(ovctl({}), 0, help_output, "");
    EXPECT_RUN(ovctl({"status", "-h"}), 0, help_output, "");
    EXPECT_RUN(ovctl({"-V"}), 0, version_output, "");
    EXPECT_RUN(ovctl({"--port", "x", "status"}), 2, "", "ovctl: --port: \"x\" is not a port number" + usage_hint);
    EXPECT_RUN(ovctl({"bogus"}), 2, "", "ovctl: Unknown command \"bogus\"" + usage_hint);
    EXPECT_TRUE(server_->requests().empty());
}

TEST_F(WineOvctl, SettingsFileInTheRoamingFolder) {
    connect_through_settings();
    EXPECT_RUN(ovctl({"status"}), 0, canned_status_report, "");
    auto seen = server_->requests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].raw, "GET /v1/ping HTTP/1.1\r\nHost: 127.0.0.1:" + port_text(server_->port()) +
                               "\r\nUser-Agent: ovctl/0.9.0\r\nContent-Type: application/json\r\n"
                               "Content-Length: 0\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(seen[1].header("Authorization"), "Bearer standin-token");
    EXPECT_EQ(seen[1].body, "{}");
}

TEST_F(WineOvctl, Commands) {
    connect_through_settings();
    EXPECT_RUN(ovctl({"mute", "on"}), 0, "Microphone muted\n", "");
    EXPECT_EQ(server_->requests().back().body, R"({"muted":true})");
    EXPECT_RUN(ovctl({"profile", "list"}), 0, "Default\nPodcast host\nCaf\xC3\xA9 talk\n", "");
    EXPECT_RUN(ovctl({"volume", "mic", "+5"}), 0, "Mic: 45%\n", "");
    EXPECT_EQ(server_->requests().back().body, R"({"delta":5.0,"target":"mic"})");
    EXPECT_RUN(ovctl({"profile", "load", "Caf\xC3\xA9", "talk"}), 0, "Loaded mic profile \"Caf\xC3\xA9 talk\"\n", "");
    EXPECT_EQ(server_->requests().back().body, "{\"name\":\"Caf\xC3\xA9 talk\"}");
    EXPECT_RUN(ovctl({"sound", "play", "drum", "roll"}), 0, "Playing \"drum roll\"\n", "");
    EXPECT_RUN(ovctl({"mute", "--json"}), 0, "{\n  \"muted\": true\n}\n", "");
}

TEST_F(WineOvctl, AChunkedAnswer) {
    connect_through_settings();
    server_->misbehave(Misbehaviour::Chunked);
    EXPECT_RUN(ovctl({"status"}), 0, canned_status_report, "");
}

TEST_F(WineOvctl, EnvironmentVariables) {
    EXPECT_RUN(ovctl({"mute"}, {{"ORVIA_API_PORT", port_text(server_->port())}, {"ORVIA_API_TOKEN", "standin-token"}}),
               0, "Microphone live\n", "");
}

TEST_F(WineOvctl, ExitCodes) {
    connect_through_settings();
    EXPECT_RUN(ovctl({"profile", "load", "Nope"}), 1, "", "ovctl: no mic profile named \"Nope\"\n");

    server_->misbehave(Misbehaviour::PingStatus, 1);
    EXPECT_RUN(ovctl({"status"}), 3, "",
               "ovctl: Something else answers on 127.0.0.1:" + port_text(server_->port()) +
                   " (HTTP 404). Change the API port in Orvia's settings.\n");

    server_->misbehave(Misbehaviour::ApiVersion, 1);
    EXPECT_RUN(ovctl({"status"}), 5, "",
               "ovctl: This ovctl speaks API 1.x but Orvia speaks 2.0. Use the ovctl installed with Orvia.\n");

    server_->misbehave(Misbehaviour::Unauthorized, 1);
    EXPECT_RUN(ovctl({"status"}), 4, "", refused_token_message);

    server_->misbehave(Misbehaviour::NoBlankLine, 1, Applies::Commands);
    EXPECT_RUN(ovctl({"status"}), 3, "", not_answering_message(server_->port()));

    write_file(settings_path(), ov::to_compact_json(ov::Json{{"apiEnabled", true}, {"apiPort", server_->port()}}));
    EXPECT_RUN(ovctl({"status"}), 4, "", no_token_message);

    const std::uint16_t dead = unused_port();
    write_file(settings_path(), settings_json(dead, "standin-token"));
    EXPECT_RUN(ovctl({"status"}), 3, "", not_answering_message(dead));

    remove_settings();
    EXPECT_RUN(ovctl({"status", "--port", port_text(dead)}), 3, "", api_off_message);
}

}  // namespace
}  // namespace ovtest
