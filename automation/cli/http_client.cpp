#include "http_client.h"

#include "ov/text.h"
#include "ov/version.h"
#include "platform/tcp.h"
#include "words.h"

#include <charconv>

namespace ovctl {
namespace {

constexpr std::string_view kBlankLine = "\r\n\r\n";
constexpr std::string_view kLineEnd = "\r\n";

CliError transport_failure(std::string_view description) { return CliError{std::string(description), 3}; }

std::string decimal(std::uint64_t value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    return std::string(digits, end);
}

// A chunk size: hexadecimal digits with one optional leading "+"; anything else reads as 0.
std::uint64_t chunk_size(std::string_view line) {
    if (const auto extension = line.find(';'); extension != std::string_view::npos) line = line.substr(0, extension);
    const std::string text = ov::text::decode_utf8_lossy(line);
    std::string_view digits = ov::text::trim(text);
    if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
    if (digits.empty()) return 0;
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
    if (error != std::errc() || end != digits.data() + digits.size()) return 0;
    return value;
}

bool is_chunked(std::string_view head_text) {
    constexpr std::string_view kHeader = "transfer-encoding:";
    std::size_t start = 0;
    while (start <= head_text.size()) {
        std::size_t end = head_text.find('\n', start);
        if (end == std::string_view::npos) end = head_text.size();
        std::string_view line = head_text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const std::string lower = ov::text::ascii_lower(line);
        if (lower.starts_with(kHeader) && lower.find("chunked") != std::string::npos) return true;
        start = end + 1;
    }
    return false;
}

// A request whose line or headers hold a line break or NUL would be cut into other lines.
bool breaks_lines(std::string_view text) { return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos; }

}  // namespace

std::string request_text(const HttpRequest& request) {
    const std::string_view body = request.body ? std::string_view(*request.body) : std::string_view();
    std::string text;
    text.reserve(200 + body.size());
    text.append(request.method).append(" ").append(request.path).append(" HTTP/1.1\r\n");
    text.append("Host: 127.0.0.1:").append(decimal(request.port)).append(kLineEnd);
    text.append("User-Agent: ovctl/" OV_VERSION_TEXT "\r\n");
    if (request.token) text.append("Authorization: Bearer ").append(*request.token).append(kLineEnd);
    text.append("Content-Type: application/json\r\n");
    text.append("Content-Length: ").append(decimal(body.size())).append(kLineEnd);
    text.append("Connection: close\r\n\r\n");
    text.append(body);
    return text;
}

std::string decode_chunked(std::string_view raw) {
    std::string decoded;
    while (raw.size() >= 2) {
        const auto line_end = raw.find(kLineEnd);
        if (line_end == std::string_view::npos) break;
        const std::uint64_t size = chunk_size(raw.substr(0, line_end));
        raw.remove_prefix(line_end + kLineEnd.size());
        if (size == 0 || size > raw.size()) break;
        decoded.append(raw.substr(0, size));
        raw.remove_prefix(size);
        if (raw.size() < 2) break;
        raw.remove_prefix(2);  // the chunk's closing CR LF, not verified
    }
    return decoded;
}

Result<HttpResponse> parse_answer(std::string_view answer) {
    const auto blank = answer.find(kBlankLine);
    if (blank == std::string_view::npos) return transport_failure(kIncompleteAnswer);
    const std::string head = ov::text::decode_utf8_lossy(answer.substr(0, blank));
    const std::string_view raw_body = answer.substr(blank + kBlankLine.size());

    const auto pieces = ov::text::split_white_space(head);
    const std::optional<std::uint16_t> status = pieces.size() >= 2 ? parse_u16(pieces[1]) : std::nullopt;
    if (!status) return transport_failure(kAnswerWithoutStatus);

    HttpResponse response;
    response.status = *status;
    response.body = ov::text::decode_utf8_lossy(is_chunked(head) ? decode_chunked(raw_body) : std::string(raw_body));
    return response;
}

Result<HttpResponse> http_request(const HttpRequest& request) {
    if (breaks_lines(request.method) || breaks_lines(request.path) || (request.token && breaks_lines(*request.token))) {
        return transport_failure("the request line or a header holds a line break");
    }
    std::string error;
    const auto connection = ovplat::TcpConnection::connect_loopback(request.port, error);
    if (!connection) return transport_failure(error);
    if (!connection->send_all(request_text(request), error)) return transport_failure(error);
    std::string answer;
    if (!connection->receive_all(answer, error)) return transport_failure(error);
    return parse_answer(answer);
}

}  // namespace ovctl
