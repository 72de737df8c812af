// The two API calls: how each outcome of an exchange maps to an answer or a message with its
// exit code, and what goes over the wire to a loopback server.
#include "api.h"

#include "fake_orvia_server.h"

#include <gtest/gtest.h>

namespace ovctl {
namespace {

using testing::FakeOrviaServer;

const std::string kNotAnswering =
    "Orvia is not answering on 127.0.0.1:47101. Is it running? (The API is turned on in its settings.)";
const std::string kApiOff =
    "The Orvia API is off. Turn it on in Orvia > Settings > Automation > Local API, then try again.";
const std::string kRefusedToken =
    "Orvia refused the API token. It changes when you press Regenerate in Settings > Automation; ovctl rereads it "
    "from settings.json, so only a --token or ORVIA_API_TOKEN you set by hand can be stale.";
const std::string kNoToken =
    "No API token found. Turn the API on in Orvia > Settings > Automation (it writes the token for ovctl), or pass "
    "--token.";

std::string version_message(const std::string& version) {
    return "This ovctl speaks API 1.x but Orvia speaks " + version + ". Use the ovctl installed with Orvia.";
}

Settings settings_with(ApiEnabled enabled, std::optional<std::string> token = std::string("tok")) {
    Settings settings;
    settings.api_enabled = enabled;
    settings.token = std::move(token);
    return settings;
}

Result<HttpResponse> answered(std::uint16_t status, std::string body) { return HttpResponse{status, std::move(body)}; }
Result<HttpResponse> transport_failed() { return CliError{"connect failed: Connection refused", 3}; }

struct OutcomeCase {
    const char* name;
    ApiEnabled enabled;
    Result<HttpResponse> exchange;
    std::optional<Json> answer;  // absent: the failure below
    std::string message;
    int code = 0;
};

void expect_outcome(const OutcomeCase& c, const Result<Json>& result) {
    if (c.answer) {
        ASSERT_TRUE(result.ok()) << result.error().message;
        EXPECT_EQ(*result, *c.answer);
    } else {
        ASSERT_FALSE(result.ok());
        EXPECT_EQ(result.error().message, c.message);
        EXPECT_EQ(result.error().code, c.code);
    }
}

std::string case_name(const ::testing::TestParamInfo<OutcomeCase>& info) { return info.param.name; }

class PingOutcome : public ::testing::TestWithParam<OutcomeCase> {};

TEST_P(PingOutcome, MapsTheExchange) {
    const OutcomeCase& c = GetParam();
    expect_outcome(c, ping_outcome(settings_with(c.enabled), c.exchange));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PingOutcome,
    ::testing::Values(
        OutcomeCase{"TransportFailureApiOn", ApiEnabled::On, transport_failed(), std::nullopt, kNotAnswering, 3},
        OutcomeCase{"TransportFailureApiOff", ApiEnabled::Off, transport_failed(), std::nullopt, kApiOff, 3},
        OutcomeCase{"TransportFailureUnstated", ApiEnabled::Unstated, transport_failed(), std::nullopt, kApiOff, 3},
        OutcomeCase{"IncompleteAnswer", ApiEnabled::On, CliError{std::string(kIncompleteAnswer), 3}, std::nullopt,
                    kNotAnswering, 3},
        OutcomeCase{"OtherServer404", ApiEnabled::On, answered(404, "{\"apiVersion\":\"1\"}"), std::nullopt,
                    "Something else answers on 127.0.0.1:47101 (HTTP 404). Change the API port in Orvia's settings.",
                    3},
        OutcomeCase{"Ping401IsAnotherServerToo", ApiEnabled::Unstated, answered(401, ""), std::nullopt,
                    "Something else answers on 127.0.0.1:47101 (HTTP 401). Change the API port in Orvia's settings.",
                    3},
        OutcomeCase{"Version1", ApiEnabled::On, answered(200, "{\"apiVersion\":\"1\"}"),
                    Json{{"apiVersion", "1"}}, "", 0},
        OutcomeCase{"Version1Dot0", ApiEnabled::On, answered(200, "{\"apiVersion\":\"1.0\",\"x\":2}"),
                    Json{{"apiVersion", "1.0"}, {"x", 2}}, "", 0},
        OutcomeCase{"Version1Dot7Dot2", ApiEnabled::On, answered(200, " {\"apiVersion\":\"1.7.2\"} "),
                    Json{{"apiVersion", "1.7.2"}}, "", 0},
        OutcomeCase{"Version1DotAnything", ApiEnabled::On, answered(200, "{\"apiVersion\":\"1.\"}"),
                    Json{{"apiVersion", "1."}}, "", 0},
        OutcomeCase{"Version2", ApiEnabled::On, answered(200, "{\"apiVersion\":\"2\"}"), std::nullopt,
                    version_message("2"), 5},
        OutcomeCase{"Version2Dot0", ApiEnabled::On, answered(200, "{\"apiVersion\":\"2.0\"}"), std::nullopt,
                    version_message("2.0"), 5},
        OutcomeCase{"Version10Dot1", ApiEnabled::On, answered(200, "{\"apiVersion\":\"10.1\"}"), std::nullopt,
                    version_message("10.1"), 5},
        OutcomeCase{"VersionWithSpace", ApiEnabled::On, answered(200, "{\"apiVersion\":\" 1\"}"), std::nullopt,
                    version_message(" 1"), 5},
        OutcomeCase{"VersionEmpty", ApiEnabled::On, answered(200, "{\"apiVersion\":\"\"}"), std::nullopt,
                    version_message(""), 5},
        OutcomeCase{"VersionAsNumber", ApiEnabled::On, answered(200, "{\"apiVersion\":1}"), std::nullopt,
                    version_message(""), 5},
        OutcomeCase{"VersionMissing", ApiEnabled::On, answered(200, "{}"), std::nullopt, version_message(""), 5},
        OutcomeCase{"NotJson", ApiEnabled::On, answered(200, "<html>hello</html>"), std::nullopt,
                    version_message(""), 5},
        OutcomeCase{"ArrayAnswer", ApiEnabled::On, answered(200, "[\"1\"]"), std::nullopt, version_message(""), 5},
        // Some Windows servers start the body with a byte-order mark; it is tolerated.
        OutcomeCase{"ByteOrderMark", ApiEnabled::On, answered(200, "\xEF\xBB\xBF{\"apiVersion\":\"1\"}"),
                    Json{{"apiVersion", "1"}}, "", 0}),
    case_name);

class CallOutcome : public ::testing::TestWithParam<OutcomeCase> {};

TEST_P(CallOutcome, MapsTheExchange) {
    const OutcomeCase& c = GetParam();
    expect_outcome(c, call_outcome(settings_with(c.enabled), c.exchange));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CallOutcome,
    ::testing::Values(
        OutcomeCase{"TransportFailureApiOn", ApiEnabled::On, transport_failed(), std::nullopt, kNotAnswering, 3},
        OutcomeCase{"TransportFailureApiOff", ApiEnabled::Off, transport_failed(), std::nullopt, kApiOff, 3},
        OutcomeCase{"Accepted", ApiEnabled::On, answered(200, "{\"muted\":true}"), Json{{"muted", true}}, "", 0},
        OutcomeCase{"AcceptedEmptyBodyIsNull", ApiEnabled::On, answered(200, ""), Json(), "", 0},
        OutcomeCase{"AcceptedTextIsNull", ApiEnabled::On, answered(200, "done"), Json(), "", 0},
        OutcomeCase{"AcceptedNumber", ApiEnabled::On, answered(200, "3"), Json(3), "", 0},
        OutcomeCase{"Unauthorized", ApiEnabled::On, answered(401, "{\"error\":\"bad token\"}"), std::nullopt,
                    kRefusedToken, 4},
        OutcomeCase{"RefusedWithError", ApiEnabled::On, answered(400, "{\"error\":\"unknown preset\"}"),
                    std::nullopt, "unknown preset", 1},
        OutcomeCase{"RefusedErrorKeptAsIs", ApiEnabled::On, answered(409, "{\"error\":\"  two\\nlines \"}"),
                    std::nullopt, "  two\nlines ", 1},
        OutcomeCase{"RefusedEmptyBody", ApiEnabled::On, answered(500, ""), std::nullopt, "", 1},
        OutcomeCase{"RefusedTextTrimmed", ApiEnabled::On, answered(503, " \r\nBusy now\n"), std::nullopt,
                    "Busy now", 1},
        OutcomeCase{"RefusedErrorNotText", ApiEnabled::On, answered(400, "{\"error\":3}"), std::nullopt,
                    "{\"error\":3}", 1},
        OutcomeCase{"RefusedArray", ApiEnabled::On, answered(400, " [\"error\"] "), std::nullopt, "[\"error\"]", 1},
        OutcomeCase{"Status204IsARefusal", ApiEnabled::On, answered(204, ""), std::nullopt, "", 1},
        OutcomeCase{"AcceptedAfterAByteOrderMark", ApiEnabled::On, answered(200, "\xEF\xBB\xBF{\"muted\":true}"),
                    Json{{"muted", true}}, "", 0},
        OutcomeCase{"RefusedAfterAByteOrderMark", ApiEnabled::On,
                    answered(400, "\xEF\xBB\xBF{\"error\":\"unknown preset\"}"), std::nullopt, "unknown preset", 1}),
    case_name);

TEST(PingExchange, SendsAGetWithoutTokenOrBody) {
    FakeOrviaServer server;
    server.add_answer(200, "{\"apiVersion\":\"1.4\"}");
    Settings settings = settings_with(ApiEnabled::On);
    settings.port = server.port();
    const auto answer = ping(settings);
    ASSERT_TRUE(answer.ok()) << answer.error().message;
    ASSERT_EQ(server.requests().size(), 1u);
    const std::string request = server.requests()[0];
    EXPECT_TRUE(request.starts_with("GET /v1/ping HTTP/1.1\r\n")) << request;
    EXPECT_EQ(request.find("Authorization"), std::string::npos);
    EXPECT_TRUE(request.ends_with("Content-Length: 0\r\nConnection: close\r\n\r\n"));
}

TEST(PingExchange, NothingListeningWithTheApiOnNamesThePort) {
    Settings settings = settings_with(ApiEnabled::On);
    settings.port = testing::unused_port();
    const auto answer = ping(settings);
    ASSERT_FALSE(answer.ok());
    EXPECT_EQ(answer.error().code, 3);
    EXPECT_EQ(answer.error().message, "Orvia is not answering on 127.0.0.1:" + std::to_string(settings.port) +
                                          ". Is it running? (The API is turned on in its settings.)");
}

TEST(CallExchange, PostsTheCommandWithTokenAndCompactSortedBody) {
    FakeOrviaServer server;
    server.add_answer(200, "{\"ok\":true}");
    Settings settings = settings_with(ApiEnabled::On, std::string(" spaced token "));
    settings.port = server.port();
    const Json args = {{"value", 40.0}, {"target", "mic"}, {"nothing", nullptr}};
    const auto answer = call(settings, "volume.set", args);
    ASSERT_TRUE(answer.ok()) << answer.error().message;
    EXPECT_EQ(*answer, (Json{{"ok", true}}));
    ASSERT_EQ(server.requests().size(), 1u);
    const std::string body = "{\"nothing\":null,\"target\":\"mic\",\"value\":40.0}";
    EXPECT_EQ(server.requests()[0], "POST /v1/cmd/volume.set HTTP/1.1\r\n"
                                    "Host: 127.0.0.1:" + std::to_string(server.port()) + "\r\n"
                                    "User-Agent: ovctl/0.9.0\r\n"
                                    "Authorization: Bearer  spaced token \r\n"
                                    "Content-Type: application/json\r\n"
                                    "Content-Length: " + std::to_string(body.size()) + "\r\n"
                                    "Connection: close\r\n\r\n" + body);
}

TEST(CallExchange, AnEmptyTokenIsSent) {
    FakeOrviaServer server;
    server.add_answer(401, "");
    Settings settings = settings_with(ApiEnabled::On, std::string());
    settings.port = server.port();
    const auto answer = call(settings, "x", Json::object());
    ASSERT_FALSE(answer.ok());
    EXPECT_EQ(answer.error().code, 4);
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_NE(server.requests()[0].find("\r\nAuthorization: Bearer \r\n"), std::string::npos);
}

TEST(CallExchange, AnyJsonBodyAndTheNameUnchanged) {
    FakeOrviaServer server;
    server.add_answer(200, "[]");
    Settings settings = settings_with(ApiEnabled::On);
    settings.port = server.port();
    ASSERT_TRUE(call(settings, "sound.play/../x?y=%20", Json(3)).ok());
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_TRUE(server.requests()[0].starts_with("POST /v1/cmd/sound.play/../x?y=%20 HTTP/1.1\r\n"));
    EXPECT_TRUE(server.requests()[0].ends_with("\r\n\r\n3"));
}

struct UnsentCase {
    const char* name;
    std::optional<std::string> token;
    std::string command;
    std::string message_start;
    int code;
};

class CallNotSent : public ::testing::TestWithParam<UnsentCase> {};

TEST_P(CallNotSent, FailsBeforeConnecting) {
    const UnsentCase& c = GetParam();
    FakeOrviaServer server;
    server.add_answer(200, "{}");
    Settings settings = settings_with(ApiEnabled::On, c.token);
    settings.port = server.port();
    const auto answer = call(settings, c.command, Json::object());
    ASSERT_FALSE(answer.ok());
    EXPECT_TRUE(answer.error().message.starts_with(c.message_start)) << answer.error().message;
    EXPECT_EQ(answer.error().code, c.code);
    EXPECT_TRUE(server.requests().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CallNotSent,
    ::testing::Values(UnsentCase{"NoToken", std::nullopt, "mute.toggle", kNoToken, 4},
                      UnsentCase{"TokenWithLineBreak", std::string("abc\r\nX-Other: 1"), "mute.toggle",
                                 "The API token contains a line break", 4},
                      UnsentCase{"TokenWithLineFeed", std::string("abc\ndef"), "mute.toggle",
                                 "The API token contains a line break, so it cannot be sent. Check --token, "
                                 "ORVIA_API_TOKEN or Orvia's settings.json.",
                                 4},
                      UnsentCase{"TokenWithNul", std::string("abc\0def", 7), "mute.toggle",
                                 "The API token contains a NUL character, so it cannot be sent. Check --token, "
                                 "ORVIA_API_TOKEN or Orvia's settings.json.",
                                 4},
                      UnsentCase{"TokenWithNulAndLineBreak", std::string("a\0b\nc", 5), "mute.toggle",
                                 "The API token contains a line break", 4},
                      UnsentCase{"CommandWithSpace", std::string("t"), "sound.play HTTP/1.0",
                                 "The command name cannot contain spaces or control characters\nRun `ovctl help`", 2},
                      UnsentCase{"CommandWithLineBreak", std::string("t"), "a\r\nb",
                                 "The command name cannot contain spaces or control characters", 2}),
    [](const ::testing::TestParamInfo<UnsentCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ovctl
