// The HTTP client: the request bytes, the parsing of an answer, chunked bodies, and real
// exchanges with a loopback server.
#include "http_client.h"

#include "fake_orvia_server.h"

#include <gtest/gtest.h>


namespace ovctl {
namespace {

using testing::FakeOrviaServer;

TEST(HttpRequestText, GetWithoutTokenCarriesTheSameHeadersAndAZeroLength) {
    HttpRequest request{47101, "GET", "/v1/ping", std::nullopt, std::nullopt};
    EXPECT_EQ(request_text(request),
              "GET /v1/ping HTTP/1.1\r\n"
              "Host: 127.0.0.1:47101\r\n"
              "User-Agent: ovctl/0.9.0\r\n"
              "Content-Type: application/json\r\n"
              "Content-Length: 0\r\n"
              "Connection: close\r\n"
              "\r\n");
}

TEST(HttpRequestText, PostPutsTheAuthorizationBeforeContentTypeAndCountsBytes) {
    HttpRequest request{8, "POST", "/v1/cmd/say", std::string("tok en"), std::string("{\"text\":\"h\xC3\xA9\"}")};
    EXPECT_EQ(request_text(request),
              "POST /v1/cmd/say HTTP/1.1\r\n"
              "Host: 127.0.0.1:8\r\n"
              "User-Agent: ovctl/0.9.0\r\n"
              "Authorization: Bearer tok en\r\n"
              "Content-Type: application/json\r\n"
              "Content-Length: 14\r\n"
              "Connection: close\r\n"
              "\r\n"
              "{\"text\":\"h\xC3\xA9\"}");
}

TEST(HttpRequestText, AnEmptyTokenStillSendsTheHeader) {
    HttpRequest request{1, "POST", "/v1/cmd/x", std::string(), std::string("{}")};
    EXPECT_NE(request_text(request).find("\r\nAuthorization: Bearer \r\nContent-Type"), std::string::npos);
}

struct AnswerCase {
    const char* name;
    std::string raw;
    std::optional<int> status;  // absent: a failure with `text` as its description
    std::string text;           // the body, or the failure description
};

class ParseAnswer : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(ParseAnswer, GivesStatusAndBodyOrTheFailure) {
    const AnswerCase& c = GetParam();
    const auto result = parse_answer(c.raw);
    if (c.status) {
        ASSERT_TRUE(result.ok()) << result.error().message;
        EXPECT_EQ(result->status, *c.status);
        EXPECT_EQ(result->body, c.text);
    } else {
        ASSERT_FALSE(result.ok());
        EXPECT_EQ(result.error().message, c.text);
    }
}

const std::string kIncomplete(kIncompleteAnswer);
const std::string kNoStatus(kAnswerWithoutStatus);

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseAnswer,
    ::testing::Values(
        AnswerCase{"StatusLineOnly", "HTTP/1.1 200 OK\r\n\r\n", 200, ""},
        AnswerCase{"PlainBody", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n{\"a\":1}", 200, "{\"a\":1}"},
        AnswerCase{"ContentLengthIgnored", "HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nabc", 200, "abc"},
        AnswerCase{"BodyKeepsLaterBlankLines", "HTTP/1.1 400 X\r\n\r\na\r\n\r\nb", 400, "a\r\n\r\nb"},
        AnswerCase{"NoBlankLine", "HTTP/1.1 200 OK\r\nContent-Type: x\r\n", std::nullopt, kIncomplete},
        AnswerCase{"Empty", "", std::nullopt, kIncomplete},
        AnswerCase{"ShorterThanFourBytes", "\r\n\r", std::nullopt, kIncomplete},
        AnswerCase{"BareLineFeedsAreNotABlankLine", "HTTP/1.1 200 OK\n\n{}", std::nullopt, kIncomplete},
        AnswerCase{"LettersForStatus", "HTTP/1.1 abc\r\n\r\n", std::nullopt, kNoStatus},
        AnswerCase{"NoSecondPiece", "HTTP/1.1\r\n\r\n", std::nullopt, kNoStatus},
        AnswerCase{"StatusTooLarge", "HTTP/1.1 65536 X\r\n\r\n", std::nullopt, kNoStatus},
        AnswerCase{"NegativeStatus", "HTTP/1.1 -200 X\r\n\r\n", std::nullopt, kNoStatus},
        AnswerCase{"FirstPieceNotExamined", "X 204\r\n\r\n", 204, ""},
        AnswerCase{"PlusSignAllowed", "HTTP/1.1 +404 Not Found\r\n\r\nno", 404, "no"},
        AnswerCase{"RunsOfWhiteSpace", "  HTTP/1.0 \t 201\r\n\r\n", 201, ""},
        AnswerCase{"UnicodeSpaceSeparates", "HTTP/1.1\xC2\xA0" "202\r\n\r\n", 202, ""},
        AnswerCase{"InvalidUtf8Replaced", "HTTP/1.1 200 OK\r\n\r\nA\xFF" "B\xC3", 200,
                   "A\xEF\xBF\xBD" "B\xEF\xBF\xBD"},
        AnswerCase{"Chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5;ext=1\r\nhello\r\n0\r\n\r\n",
                   200, "hello"},
        AnswerCase{"ChunkedAmongOthers", "HTTP/1.1 200 OK\r\nTRANSFER-ENCODING: gzip, Chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n",
                   200, "abc"},
        AnswerCase{"SpaceBeforeColonIsNotChunked",
                   "HTTP/1.1 200 OK\r\nTransfer-Encoding : chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n", 200,
                   "3\r\nabc\r\n0\r\n\r\n"},
        AnswerCase{"OtherEncodingIsRaw", "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip\r\n\r\n3\r\nabc\r\n", 200,
                   "3\r\nabc\r\n"},
        AnswerCase{"ChunkedWithLineFeedHeaders", "HTTP/1.1 200 OK\ntransfer-encoding: chunked\r\n\r\n2\r\nok\r\n0\r\n\r\n",
                   200, "ok"},
        AnswerCase{"ChunkedInvalidUtf8Replaced",
                   "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\n\xC3(\r\n0\r\n\r\n", 200,
                   "\xEF\xBF\xBD("}),
    [](const ::testing::TestParamInfo<AnswerCase>& info) { return std::string(info.param.name); });

struct ChunkedCase {
    const char* name;
    std::string raw;
    std::string decoded;
};

class DecodeChunked : public ::testing::TestWithParam<ChunkedCase> {};

TEST_P(DecodeChunked, DecodesWhatIsCompleteAndStops) {
    EXPECT_EQ(decode_chunked(GetParam().raw), GetParam().decoded);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DecodeChunked,
    ::testing::Values(
        ChunkedCase{"OneChunkWithExtension", "5;ext=1\r\nhello\r\n0\r\n\r\n", "hello"},
        ChunkedCase{"SeveralChunks", "3\r\nabc\r\n2\r\nde\r\n0\r\n\r\n", "abcde"},
        ChunkedCase{"HexDigitsBothCases", "a\r\n0123456789\r\nB\r\nabcdefghijk\r\n0\r\n\r\n", "0123456789abcdefghijk"},
        ChunkedCase{"PlusAndPaddedSize", " +3 \r\nabc\r\n0\r\n\r\n", "abc"},
        ChunkedCase{"DataHoldingCrLf", "4\r\na\r\nb\r\n0\r\n\r\n", "a\r\nb"},
        ChunkedCase{"IncompleteChunkDropped", "5\r\nabc", ""},
        ChunkedCase{"SecondChunkIncomplete", "2\r\nab\r\n9\r\ncd", "ab"},
        ChunkedCase{"NoFinalChunk", "2\r\nab\r\n", "ab"},
        ChunkedCase{"DataWithoutClosingCrLf", "2\r\nab", "ab"},
        ChunkedCase{"ClosingBytesNotVerified", "2\r\nabXY1\r\nc\r\n0\r\n\r\n", "abc"},
        ChunkedCase{"UnreadableSizeIsZero", "zz\r\nabc\r\n", ""},
        ChunkedCase{"EmptySizeIsZero", "\r\nabc\r\n", ""},
        ChunkedCase{"MinusSizeIsZero", "-3\r\nabc\r\n", ""},
        ChunkedCase{"HexPrefixIsZero", "0x3\r\nabc\r\n", ""},
        ChunkedCase{"OverflowingSizeIsZero", "10000000000000000\r\nabc\r\n", ""},
        ChunkedCase{"HugeSizeStops", "ffffffffffffffff\r\nabc\r\n", ""},
        ChunkedCase{"NoLineEnd", "3abc", ""},
        ChunkedCase{"Empty", "", ""},
        ChunkedCase{"TrailersIgnored", "1\r\nx\r\n0\r\nX-Trailer: 1\r\n\r\n", "x"}),
    [](const ::testing::TestParamInfo<ChunkedCase>& info) { return std::string(info.param.name); });

TEST(HttpExchange, SendsTheRequestAndReadsTheWholeAnswer) {
    FakeOrviaServer server;
    const std::string big(300000, 'x');  // more than one receive
    server.add_answer("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n" + big);
    HttpRequest request{server.port(), "POST", "/v1/cmd/sound.play", std::string("t"), std::string("{\"id\":3}")};
    const auto response = http_request(request);
    ASSERT_TRUE(response.ok()) << response.error().message;
    EXPECT_EQ(response->status, 200);
    EXPECT_EQ(response->body, big);
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0], request_text(request));
}

TEST(HttpExchange, AnAnswerCutBeforeTheBlankLineIsIncomplete) {
    FakeOrviaServer server;
    server.add_answer("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n");
    const auto response = http_request({server.port(), "GET", "/v1/ping", std::nullopt, std::nullopt});
    ASSERT_FALSE(response.ok());
    EXPECT_EQ(response.error().message, kIncompleteAnswer);
}

TEST(HttpExchange, AServerThatClosesAtOnceIsIncomplete) {
    FakeOrviaServer server;  // no answer scripted: closes after reading the request
    const auto response = http_request({server.port(), "GET", "/v1/ping", std::nullopt, std::nullopt});
    ASSERT_FALSE(response.ok());
    EXPECT_EQ(response.error().message, kIncompleteAnswer);
}

TEST(HttpExchange, NothingListeningIsRefusedRatherThanTimedOut) {
    const auto response = http_request({testing::unused_port(), "GET", "/v1/ping", std::nullopt, std::nullopt});
    ASSERT_FALSE(response.ok());
    EXPECT_NE(response.error().message.find("refused"), std::string::npos) << response.error().message;
}

TEST(HttpExchange, LineBreaksInTheTokenAreNeverSent) {
    FakeOrviaServer server;
    server.add_answer(200, "{}");
    const auto response =
        http_request({server.port(), "POST", "/v1/cmd/x", std::string("a\r\nX-Injected: 1"), std::string("{}")});
    EXPECT_FALSE(response.ok());
    EXPECT_TRUE(server.requests().empty());
}

}  // namespace
}  // namespace ovctl
