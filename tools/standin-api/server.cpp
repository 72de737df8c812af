// The HTTP side of the stand-in: a loopback listener, one connection at a time, requests
// read whole (bounded), answers written from the canned state or a misbehaviour.
#include "orvia_state.h"
#include "standin_api.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>

namespace ov::standin {
namespace {

constexpr std::size_t max_head_bytes = 64 * 1024;
constexpr std::size_t max_body_bytes = 16 * 1024 * 1024;
constexpr int request_read_timeout_s = 10;

std::string decimal(std::uint64_t value, int base = 10) {
    char buffer[24];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, base);
    return std::string(buffer, result.ptr);
}

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string_view trim_spaces(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

std::string_view reason_phrase(int status) {
    switch (status) {
        case 200: return "OK";
        case 400: return "Bad Request";
        case 401: return "Unauthorized";
        case 404: return "Not Found";
        case 405: return "Method Not Allowed";
        case 411: return "Length Required";
        case 413: return "Content Too Large";
        case 431: return "Request Header Fields Too Large";
        case 500: return "Internal Server Error";
        default: return "Status";
    }
}

bool send_all(int socket, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t sent = ::send(socket, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

// Reads one request: the head up to the blank line, then Content-Length bytes of body.
// On failure, `refusal` holds the answer to send instead.
std::optional<RecordedRequest> read_request(int socket, std::optional<Reply>& refusal) {
    std::string buffer;
    std::size_t head_end = std::string::npos;
    char chunk[16384];
    while (head_end == std::string::npos) {
        if (buffer.size() > max_head_bytes) {
            refusal = Reply::error(431, "the request head is too large");
            return std::nullopt;
        }
        ssize_t got = ::recv(socket, chunk, sizeof chunk, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return std::nullopt;  // closed or silent: nothing to answer
        buffer.append(chunk, static_cast<std::size_t>(got));
        head_end = buffer.find("\r\n\r\n");
    }

    RecordedRequest request;
    std::string_view head(buffer.data(), head_end);
    std::size_t line_end = head.find("\r\n");
    std::string_view request_line = head.substr(0, line_end);
    std::size_t first_space = request_line.find(' ');
    std::size_t second_space = request_line.find(' ', first_space == std::string_view::npos ? 0 : first_space + 1);
    if (first_space == std::string_view::npos || second_space == std::string_view::npos) {
        refusal = Reply::error(400, "malformed request line");
        return std::nullopt;
    }
    request.method = request_line.substr(0, first_space);
    request.target = request_line.substr(first_space + 1, second_space - first_space - 1);
    request.version = request_line.substr(second_space + 1);

    std::optional<std::size_t> content_length;
    while (line_end != std::string_view::npos) {
        std::size_t start = line_end + 2;
        line_end = head.find("\r\n", start);
        std::string_view line = head.substr(start, line_end == std::string_view::npos ? std::string_view::npos : line_end - start);
        std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        std::string name(line.substr(0, colon));
        std::string value(trim_spaces(line.substr(colon + 1)));
        const std::string key = lower(name);
        if (key == "content-length") {
            std::size_t length = 0;
            auto parsed = std::from_chars(value.data(), value.data() + value.size(), length);
            if (parsed.ec != std::errc() || parsed.ptr != value.data() + value.size()) {
                refusal = Reply::error(400, "malformed Content-Length");
                return std::nullopt;
            }
            content_length = length;
        } else if (key == "transfer-encoding") {
            refusal = Reply::error(411, "send the body with a Content-Length");
            return std::nullopt;
        }
        request.headers.emplace_back(std::move(name), std::move(value));
    }
    const std::size_t body_length = content_length.value_or(0);
    if (body_length > max_body_bytes) {
        refusal = Reply::error(413, "the request body is too large");
        return std::nullopt;
    }
    const std::size_t total = head_end + 4 + body_length;
    while (buffer.size() < total) {
        ssize_t got = ::recv(socket, chunk, sizeof chunk, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return std::nullopt;
        buffer.append(chunk, static_cast<std::size_t>(got));
    }
    request.body = buffer.substr(head_end + 4, body_length);
    buffer.resize(total);  // anything after the body is not part of this request
    request.raw = std::move(buffer);
    return request;
}

std::string huge_array(std::size_t entries) {
    std::string body = "[";
    body.reserve(entries * 16 + 2);
    for (std::size_t i = 1; i <= entries; ++i) {
        if (i > 1) body += ',';
        body += "\"entry ";
        body += decimal(i);
        body += '"';
    }
    body += ']';
    return body;
}

std::string replace_all(std::string text, std::string_view from, std::string_view to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

struct ModeInfo {
    Misbehaviour mode;
    std::string_view name;
    Applies applies;
    std::string_view description;
};

const ModeInfo mode_table[] = {
    {Misbehaviour::PingStatus, "ping-status", Applies::Ping, "the ping answers another status (--ping-status, 404)"},
    {Misbehaviour::ApiVersion, "api-version", Applies::Ping, "the ping reports apiVersion 2.0"},
    {Misbehaviour::Refusal, "refuse", Applies::Commands, "commands answer 400 with {\"error\": --refusal text}"},
    {Misbehaviour::Empty500, "empty-500", Applies::Commands, "commands answer 500 with an empty body"},
    {Misbehaviour::Unauthorized, "unauthorized", Applies::Commands, "commands answer 401 whatever the token"},
    {Misbehaviour::Chunked, "chunked", Applies::Any, "the normal answer in chunked transfer encoding"},
    {Misbehaviour::TruncatedChunks, "truncated-chunks", Applies::Any, "chunked, cut inside the last chunk"},
    {Misbehaviour::NoBlankLine, "no-blank-line", Applies::Any, "the head without its ending blank line"},
    {Misbehaviour::NoStatus, "no-status", Applies::Any, "the status line reads HTTP/1.1 abc"},
    {Misbehaviour::Slow, "slow", Applies::Any, "the normal answer after --delay-ms (1500)"},
    {Misbehaviour::InvalidUtf8, "invalid-utf8", Applies::Commands, "the answer with Latin-1 bytes for UTF-8 \xC3\xA9"},
    {Misbehaviour::CloseEarly, "close-early", Applies::Any, "the connection closed without any answer"},
    {Misbehaviour::HugeBody, "huge-body", Applies::Commands, "commands answer a JSON array of --huge-entries texts"},
};

const ModeInfo& info(Misbehaviour mode) {
    return *std::find_if(std::begin(mode_table), std::end(mode_table),
                         [&](const ModeInfo& entry) { return entry.mode == mode; });
}

}  // namespace

std::optional<std::string> RecordedRequest::header(std::string_view name) const {
    const std::string wanted = lower(name);
    for (const auto& [key, value] : headers)
        if (lower(key) == wanted) return value;
    return std::nullopt;
}

std::string RecordedRequest::command() const {
    constexpr std::string_view prefix = "/v1/cmd/";
    if (method != "POST" || target.rfind(prefix, 0) != 0) return {};
    return target.substr(prefix.size());
}

std::optional<Json> RecordedRequest::json_body() const { return parse_json(body).value; }

Json RecordedRequest::to_json() const {
    Json header_list = Json::array();
    for (const auto& [key, value] : headers) header_list.push_back(Json::array({key, value}));
    return Json{{"method", method}, {"path", target}, {"version", version}, {"headers", header_list}, {"body", body}};
}

Reply Reply::json(int status, const Json& value) {
    Reply reply;
    reply.status = status;
    reply.body = to_compact_json(value);
    return reply;
}

Reply Reply::error(int status, std::string_view message) {
    return json(status, Json{{"error", std::string(message)}});
}

std::string encode_reply(const Reply& reply) {
    if (reply.close_without_answer) return {};
    std::string out = "HTTP/1.1 ";
    if (reply.garbled_status) {
        out += "abc Unreadable";
    } else {
        out += decimal(static_cast<std::uint64_t>(reply.status));
        out += ' ';
        out += reason_phrase(reply.status);
    }
    out += "\r\nServer: ov-standin-api\r\n";
    if (!reply.content_type.empty()) out += "Content-Type: " + reply.content_type + "\r\n";
    const bool chunked = reply.chunked || reply.truncate_chunks;
    if (chunked)
        out += "Transfer-Encoding: chunked\r\n";
    else
        out += "Content-Length: " + decimal(reply.body.size()) + "\r\n";
    out += "Connection: close\r\n";
    if (reply.omit_blank_line) return out;
    out += "\r\n";
    if (!chunked) return out + reply.body;

    // Chunks of varied sizes, the first with an extension, as real servers send them.
    std::string_view rest = reply.body;
    std::size_t size = 7;
    bool first = true;
    while (!rest.empty()) {
        std::string_view piece = rest.substr(0, size);
        rest.remove_prefix(piece.size());
        const bool last = rest.empty();
        out += decimal(piece.size(), 16);
        if (first) out += ";ext=1";
        out += "\r\n";
        if (last && reply.truncate_chunks) return out + std::string(piece.substr(0, piece.size() / 2));
        out += piece;
        out += "\r\n";
        first = false;
        size = 4096;
    }
    if (reply.truncate_chunks) return out + "10\r\nabc";  // an empty body: a cut chunk all the same
    return out + "0\r\n\r\n";
}

std::string_view misbehaviour_name(Misbehaviour mode) { return info(mode).name; }
std::string_view misbehaviour_description(Misbehaviour mode) { return info(mode).description; }

std::optional<Misbehaviour> misbehaviour_from_name(std::string_view name) {
    for (const ModeInfo& entry : mode_table)
        if (entry.name == name) return entry.mode;
    return std::nullopt;
}

const std::vector<Misbehaviour>& all_misbehaviours() {
    static const std::vector<Misbehaviour> modes = [] {
        std::vector<Misbehaviour> list;
        for (const ModeInfo& entry : mode_table) list.push_back(entry.mode);
        return list;
    }();
    return modes;
}

StandinApi::StandinApi(ServerOptions options)
    : options_(std::move(options)), state_(std::make_unique<OrviaState>()) {}

StandinApi::~StandinApi() { stop(); }

std::string StandinApi::start() {
    if (thread_.joinable()) return "already running";
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0) return std::string("socket: ") + std::strerror(errno);
    int yes = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(options_.port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);  // loopback only, never another interface
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 16) != 0) {
        std::string reason = std::strerror(errno);
        ::close(listener_);
        listener_ = -1;
        return "cannot listen on 127.0.0.1:" + decimal(options_.port) + ": " + reason;
    }
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    if (::pipe2(wake_pipe_, O_CLOEXEC) != 0) {
        ::close(listener_);
        listener_ = -1;
        return std::string("pipe: ") + std::strerror(errno);
    }
    thread_ = std::thread([this] { serve(); });
    return {};
}

void StandinApi::stop() {
    if (!thread_.joinable()) return;
    char byte = 'x';
    while (::write(wake_pipe_[1], &byte, 1) < 0 && errno == EINTR) {
    }
    thread_.join();
    ::close(listener_);
    ::close(wake_pipe_[0]);
    ::close(wake_pipe_[1]);
    listener_ = wake_pipe_[0] = wake_pipe_[1] = -1;
}

void StandinApi::serve() {
    while (true) {
        pollfd fds[2] = {{listener_, POLLIN, 0}, {wake_pipe_[0], POLLIN, 0}};
        int ready = ::poll(fds, 2, -1);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0 || (fds[1].revents & POLLIN) != 0) return;
        int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) continue;
        handle_connection(connection);
        ::close(connection);
    }
}

void StandinApi::handle_connection(int socket) {
    timeval timeout{request_read_timeout_s, 0};
    ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    std::optional<Reply> refusal;
    std::optional<RecordedRequest> request = read_request(socket, refusal);
    if (!request) {
        if (refusal) send_all(socket, encode_reply(*refusal));
        return;
    }
    record(*request);
    Reply reply = answer(*request);
    // Waits in short steps so that stop() is not held up by a slow answer.
    for (auto waited = std::chrono::milliseconds(0); waited < reply.delay; waited += std::chrono::milliseconds(20)) {
        pollfd wake{wake_pipe_[0], POLLIN, 0};
        if (::poll(&wake, 1, 20) > 0) return;
    }
    send_all(socket, encode_reply(reply));
    ::shutdown(socket, SHUT_WR);
    ++answered_;
}

// Misbehaviours that replace the answer: the request is not carried out at all.
static bool replaces_answer(Misbehaviour mode) {
    switch (mode) {
        case Misbehaviour::PingStatus:
        case Misbehaviour::ApiVersion:
        case Misbehaviour::Refusal:
        case Misbehaviour::Empty500:
        case Misbehaviour::Unauthorized:
        case Misbehaviour::HugeBody: return true;
        default: return false;
    }
}

Reply StandinApi::answer(const RecordedRequest& request) {
    const bool is_ping = request.target == "/v1/ping";
    const bool is_command = request.target.rfind("/v1/cmd/", 0) == 0;
    const std::optional<Misbehaviour> mode = take_misbehaviour(is_ping);
    if (mode && replaces_answer(*mode)) return apply(*mode, Reply{}, is_ping);
    Reply normal;
    if (is_ping && request.method == "GET") {
        normal = Reply::json(200, Json{{"apiVersion", options_.api_version}, {"app", "Orvia"}, {"version", "2.4.1"}});
    } else if (is_command && request.method == "POST") {
        std::lock_guard lock(mutex_);
        auto scripted = std::find_if(scripts_.rbegin(), scripts_.rend(),
                                     [&](const auto& entry) { return entry.first == request.command(); });
        const auto authorization = request.header("Authorization");
        if (options_.token && authorization != "Bearer " + *options_.token) {
            normal = Reply::error(401, "unauthorized");
        } else if (scripted != scripts_.rend()) {
            normal = scripted->second;
        } else if (auto args = request.json_body(); !args) {
            normal = Reply::error(400, "the body is not JSON");
        } else {
            normal = state_->run(request.command(), *args);
        }
    } else if (is_ping || is_command) {
        normal = Reply::error(405, "method not allowed");
    } else {
        normal = Reply::error(404, "not found");
    }
    if (mode) return apply(*mode, std::move(normal), is_ping);
    return normal;
}

std::optional<Misbehaviour> StandinApi::take_misbehaviour(bool is_ping) {
    std::lock_guard lock(mutex_);
    for (auto it = instructions_.rbegin(); it != instructions_.rend(); ++it) {
        if (it->remaining == 0) continue;
        Applies applies = it->applies == Applies::Default ? info(it->mode).applies : it->applies;
        const bool matches = applies == Applies::Any || (applies == Applies::Ping) == is_ping;
        if (!matches) continue;
        if (it->remaining > 0) --it->remaining;
        return it->mode;
    }
    return std::nullopt;
}

Reply StandinApi::apply(Misbehaviour mode, Reply normal, bool is_ping) {
    const MisbehaviourSettings& settings = options_.misbehaviour;
    switch (mode) {
        case Misbehaviour::PingStatus: {
            Reply other;
            other.status = settings.ping_status;
            other.content_type = "text/html";
            other.body = "<html><body><h1>" + decimal(static_cast<std::uint64_t>(settings.ping_status)) +
                         "</h1></body></html>";
            return other;
        }
        case Misbehaviour::ApiVersion:
            return Reply::json(200, Json{{"apiVersion", settings.api_version}, {"app", "Orvia"}, {"version", "3.0.0"}});
        case Misbehaviour::Refusal: return Reply::error(400, settings.refusal);
        case Misbehaviour::Empty500: {
            Reply empty;
            empty.status = 500;
            empty.content_type.clear();
            return empty;
        }
        case Misbehaviour::Unauthorized: return Reply::error(401, "unauthorized");
        case Misbehaviour::Chunked: normal.chunked = true; return normal;
        case Misbehaviour::TruncatedChunks: normal.truncate_chunks = true; return normal;
        case Misbehaviour::NoBlankLine: normal.omit_blank_line = true; return normal;
        case Misbehaviour::NoStatus: normal.garbled_status = true; return normal;
        case Misbehaviour::Slow: normal.delay = settings.slow_delay; return normal;
        case Misbehaviour::InvalidUtf8: normal.body = replace_all(normal.body, "\xC3\xA9", "\xE9"); return normal;
        case Misbehaviour::CloseEarly: normal.close_without_answer = true; return normal;
        case Misbehaviour::HugeBody: {
            Reply huge;
            huge.body = huge_array(settings.huge_entries);
            return huge;
        }
    }
    (void)is_ping;
    return normal;
}

void StandinApi::record(const RecordedRequest& request) {
    if (!options_.record_file.empty()) {
        std::ofstream log(options_.record_file, std::ios::app | std::ios::binary);
        log << to_compact_json(request.to_json()) << '\n';
    }
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
    }
    served_.notify_all();
}

void StandinApi::misbehave(Misbehaviour mode, int times, Applies applies) {
    std::lock_guard lock(mutex_);
    instructions_.push_back(Instruction{mode, applies, times});
}

void StandinApi::behave() {
    std::lock_guard lock(mutex_);
    instructions_.clear();
}

void StandinApi::script(std::string command, Reply reply) {
    std::lock_guard lock(mutex_);
    scripts_.emplace_back(std::move(command), std::move(reply));
}

Json StandinApi::status_object() const { return state_->status(); }

std::vector<RecordedRequest> StandinApi::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

bool StandinApi::wait_for_requests(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return served_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

void StandinApi::clear_requests() {
    std::lock_guard lock(mutex_);
    requests_.clear();
}

}  // namespace ov::standin
