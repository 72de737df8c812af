#pragma once
// A stand-in for Orvia's local automation API, for tests, benchmarks and demos.
//
// It is a real HTTP/1.1 server on 127.0.0.1 that answers GET /v1/ping and POST
// /v1/cmd/<name> from a canned, realistic Orvia state, checks the bearer token, records
// every request it receives and can be told to misbehave in the ways a client must
// survive (another program on the port, another API version, malformed answers...).
// It serves only the loopback address and one connection at a time.
#include "ov/json.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace ov::standin {

// One request as the server received it.
struct RecordedRequest {
    std::string method;
    std::string target;   // the path, e.g. /v1/cmd/mute.set
    std::string version;  // e.g. HTTP/1.1
    std::vector<std::pair<std::string, std::string>> headers;  // names and values as sent
    std::string body;
    std::string raw;  // head and body exactly as received

    // The value of the first header with that name (ASCII case ignored), if any.
    std::optional<std::string> header(std::string_view name) const;
    // The command name of a POST /v1/cmd/<name>, empty otherwise.
    std::string command() const;
    // The body parsed as JSON; absent when it is not JSON.
    std::optional<Json> json_body() const;
    // One JSON object describing the request (the record log's line).
    Json to_json() const;
};

// One answer and the way it travels on the wire.
struct Reply {
    int status = 200;
    std::string body;
    bool chunked = false;             // Transfer-Encoding: chunked
    bool truncate_chunks = false;     // chunked, the last chunk cut short, no final chunk
    bool omit_blank_line = false;     // the head is sent without the empty line, then closed
    bool garbled_status = false;      // the status line reads "HTTP/1.1 abc"
    bool close_without_answer = false;
    std::chrono::milliseconds delay{0};  // waited before the first byte is written
    std::string content_type = "application/json";

    static Reply json(int status, const Json& value);
    static Reply error(int status, std::string_view message);  // {"error": message}
};

// The bytes of a reply as they are written (head, blank line, body).
std::string encode_reply(const Reply& reply);

// The ways the server can be told to misbehave.
enum class Misbehaviour {
    PingStatus,       // the ping answers another status (another web server on the port)
    ApiVersion,       // the ping reports another apiVersion
    Refusal,          // a command is refused: 400 with {"error": ...}
    Empty500,         // a command answers 500 with an empty body
    Unauthorized,     // a command answers 401 whatever the token
    Chunked,          // the normal answer, sent with chunked transfer encoding
    TruncatedChunks,  // the normal answer chunked, cut inside the last chunk
    NoBlankLine,      // the head without the empty line that ends it
    NoStatus,         // a status line without a readable status code
    Slow,             // the normal answer after a delay
    InvalidUtf8,      // the normal answer with Latin-1 bytes in place of UTF-8 "é"
    CloseEarly,       // the connection is closed after the request, without any answer
    HugeBody,         // a 200 answer that is a very large JSON array of texts
};

// Which requests a misbehaviour applies to.
enum class Applies { Default, Ping, Commands, Any };

// Name used on the command line ("ping-status", "huge-body", ...) and back.
std::string_view misbehaviour_name(Misbehaviour mode);
std::optional<Misbehaviour> misbehaviour_from_name(std::string_view name);
const std::vector<Misbehaviour>& all_misbehaviours();
std::string_view misbehaviour_description(Misbehaviour mode);

// The parameters the misbehaviours use.
struct MisbehaviourSettings {
    int ping_status = 404;
    Json api_version = "2.0";  // any JSON: a text, a number, null...
    std::string refusal = "Orvia is busy with another command";
    std::chrono::milliseconds slow_delay{1500};
    std::size_t huge_entries = 200000;  // texts in the huge array (about 3.6 MB)
};

struct ServerOptions {
    std::uint16_t port = 0;  // 0: the system picks a free one
    std::optional<std::string> token = std::string("standin-token");  // absent: any token
    std::string api_version = "1.4";
    std::string record_file;  // when set, one JSON line per request is appended
    MisbehaviourSettings misbehaviour;
};

class OrviaState;

class StandinApi {
public:
    explicit StandinApi(ServerOptions options = {});
    ~StandinApi();
    StandinApi(const StandinApi&) = delete;
    StandinApi& operator=(const StandinApi&) = delete;

    // Binds 127.0.0.1 and starts serving on a thread of its own. Empty on success, else
    // the reason.
    std::string start();
    void stop();
    std::uint16_t port() const { return port_; }

    // Every following matching request (or the next `times` ones when times > 0)
    // misbehaves in that way. The newest instruction wins.
    void misbehave(Misbehaviour mode, int times = -1, Applies applies = Applies::Default);
    void behave();  // forgets every misbehaviour
    MisbehaviourSettings& settings_for_misbehaviour() { return options_.misbehaviour; }

    // Answers every POST of that command with this reply instead of the canned state.
    void script(std::string command, Reply reply);

    // The canned Orvia state (status object, lists, ...); changes take effect at once.
    Json status_object() const;

    std::vector<RecordedRequest> requests() const;
    // Requests whose answer was written out completely.
    std::size_t answered() const { return answered_.load(); }
    // Waits until at least `count` requests were served; false after the time-out.
    bool wait_for_requests(std::size_t count, std::chrono::milliseconds timeout) const;
    void clear_requests();

private:
    struct Instruction {
        Misbehaviour mode;
        Applies applies;
        int remaining;  // < 0: for ever
    };

    void serve();
    void handle_connection(int socket);
    Reply answer(const RecordedRequest& request);
    std::optional<Misbehaviour> take_misbehaviour(bool is_ping);
    Reply apply(Misbehaviour mode, Reply normal, bool is_ping);
    void record(const RecordedRequest& request);

    ServerOptions options_;
    std::uint16_t port_ = 0;
    int listener_ = -1;
    int wake_pipe_[2] = {-1, -1};
    std::thread thread_;
    std::atomic<std::size_t> answered_{0};
    std::unique_ptr<OrviaState> state_;

    mutable std::mutex mutex_;
    mutable std::condition_variable served_;
    std::vector<RecordedRequest> requests_;
    std::vector<Instruction> instructions_;
    std::vector<std::pair<std::string, Reply>> scripts_;
};

}  // namespace ov::standin
