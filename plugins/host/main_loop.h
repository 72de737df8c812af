#pragma once
// Rack mode's threads: the reader that turns standard input into queued lines, the main
// thread's handling of those lines and its 20 ms periodic work, start-up and the ways the
// mode ends.
#include "rack.h"
#include "rack_protocol.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace ovhost {

// One item from the reader: a line without its line ending, or the end of input.
struct InputItem {
    bool end = false;
    std::string line;
};

// Unbounded first-in first-out queue from the reader thread to the main thread.
class InputQueue {
public:
    // False once the receiving side is gone: the reader should stop.
    bool push(InputItem item);
    std::optional<InputItem> try_pop();
    void close_receiver();

private:
    std::mutex mutex_;
    std::deque<InputItem> items_;
    bool receiver_gone_ = false;
};

// Splits a byte stream into lines: a line ends at a line feed, a carriage return right
// before it is removed, and the last line may lack its line feed.
class LineSplitter {
public:
    // Reads up to `size` bytes into the buffer; 0 at the end of input or on an error.
    using ReadBytes = std::function<std::size_t(char* buffer, std::size_t size)>;
    explicit LineSplitter(ReadBytes read) : read_(std::move(read)) {}
    // False at the end of input.
    bool next(std::string& line);

private:
    ReadBytes read_;
    std::string pending_;
    std::size_t scanned_ = 0;
    bool finished_ = false;
};

// The reader thread's body: each line is queued and the main thread woken; the end of input,
// a read error or a line that is not valid UTF-8 queue the end marker and end the reading.
void read_input_lines(LineSplitter& lines, InputQueue& queue, const std::function<bool()>& wake_main);

// Paces the restarts plug-ins ask for: each slot key is restarted at most once in every
// window of kWindowMs; a request within the window of its key's last restart waits for the
// window's end and is then carried out, never dropped.
class RestartPacer {
public:
    static constexpr std::uint64_t kWindowMs = 500;

    // Notes a request of the slot `key`; several before its restart make one.
    void request(std::uint32_t key);
    // The keys to restart now, in the order they first asked; each opens a new window.
    std::vector<std::uint32_t> take_due(std::uint64_t now_ms);
    bool waiting() const { return !wanted_.empty(); }

private:
    struct Window {
        std::uint32_t key;
        std::uint64_t ends_ms;
    };
    std::vector<std::uint32_t> wanted_;
    std::vector<Window> windows_;  // keys restarted less than a window ago
};

// Milliseconds of a monotonic clock.
using MillisecondClock = std::function<std::uint64_t()>;
MillisecondClock monotonic_milliseconds();

// The main thread's side of rack mode once it runs: input lines and the periodic work.
class RackSession {
public:
    RackSession(Rack& rack, RackProtocol& protocol, LineWriter writer,
                MillisecondClock now_ms = monotonic_milliseconds());

    enum class InputState { open, quit, ended };
    // Handles every queued item in order; stops at "quit" or at the end marker.
    InputState handle_queued_input(InputQueue& queue);

    // Closed and resized editor windows, plug-in notices turned into events, restarts and
    // the latency, in that order.
    void periodic_work();

private:
    void handle_window_requests();
    void poll_slot(RackSlot& slot, std::vector<std::uint32_t>& restarts, bool& latency_changed);
    void write_event(const ov::Json& event) const { writer_(event); }

    Rack& rack_;
    RackProtocol& protocol_;
    LineWriter writer_;
    MillisecondClock now_ms_;
    RestartPacer restarts_;
    std::vector<Notice> notices_;
};

// The rack channel count from the command line's: 0 becomes 1, 2 and more become 2.
std::uint32_t clamp_rack_channels(std::uint64_t channels);

// Rack mode from start to end. Returns 3 (attach failed, after the "fatal" event) or 4 (no
// audio thread); the other endings leave the process from inside with code 0.
int run_rack_mode(const std::string& mapping_name, std::uint64_t channels);

}  // namespace ovhost
