#pragma once
// The minimal HTTP/1.1 client for Orvia's local API: one request per TCP connection to
// 127.0.0.1, the whole answer read until the server closes the connection.
#include "types.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ovctl {

struct HttpRequest {
    std::uint16_t port = 0;
    std::string method;                // "GET" or "POST"
    std::string path;                  // "/v1/ping" or "/v1/cmd/<name>"
    std::optional<std::string> token;  // sends an Authorization header when present, even empty
    std::optional<std::string> body;   // compact JSON; absent means an empty body
};

struct HttpResponse {
    std::uint16_t status = 0;
    std::string body;  // UTF-8, invalid sequences replaced by U+FFFD
};

// The failures carry a short description only; the API layer replaces them with its own
// messages, so their exit code is not used.
inline constexpr std::string_view kIncompleteAnswer = "Orvia sent an incomplete answer";
inline constexpr std::string_view kAnswerWithoutStatus = "Orvia sent an answer without a status";

// The exact bytes sent for a request.
std::string request_text(const HttpRequest& request);

// Status and body of the complete bytes the server sent before closing the connection.
Result<HttpResponse> parse_answer(std::string_view answer);

// The data of a chunked body; a truncated body gives what was decoded before the break.
std::string decode_chunked(std::string_view raw_body);

// One request on a fresh connection, closed before returning on every path. Blocking.
Result<HttpResponse> http_request(const HttpRequest& request);

}  // namespace ovctl
