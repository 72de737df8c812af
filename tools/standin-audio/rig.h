#pragma once
// Plays Orvia's part towards one rack-mode plug-in host: owns the mapping and the event,
// starts `ov-pluginhost rack <mapping> <channels>`, exchanges protocol lines with it and
// streams audio blocks through the mapping.
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "mapping_view.h"
#include "ov/json.h"
#include "platform/child_process.h"
#include "platform/shared_memory.h"

namespace ovstandin {

struct RigOptions {
    std::string host_program;
    // Arguments for the host; empty means {"rack", <mapping>, <channels_arg>}.
    std::vector<std::string> host_args;
    std::string mapping_name;  // empty: a fresh unique name
    std::string channels_arg = "1";
    std::uint32_t mapping_channels = 1;
    std::uint32_t magic = field::kMagicValue;
    std::uint32_t version = field::kLayoutVersion;
    bool create_mapping = true;
    // Bytes of the created mapping; less than the layout's size imitates a broken creator
    // (the stand-in then writes only the header fields).
    std::size_t mapping_size = field::kMappingSize;
    bool create_event = true;
    ovplat::ChildEnvironment environment;
};

// One line the host wrote, as read.
struct HostLine {
    std::string text;               // without the line feed
    std::optional<ov::Json> value;  // set for a protocol line with valid JSON
    double at_ms = 0;               // time since the rig started
};

// A generated input signal; `frame` counts frames since the rig started, so signals continue
// seamlessly from one run to the next.
struct Signal {
    enum class Kind { silence, noise, sine, impulse, dc } kind = Kind::noise;
    double amplitude = 0.5;
    double frequency = 440.0;   // sine
    std::uint64_t at = 0;       // impulse: frame of the run where it sits
    std::uint32_t seed = 1;     // noise
    float sample(unsigned channel, std::uint64_t frame, std::uint64_t run_frame) const;
};

// What the output should be: out[c][t] = sum over k of mix[c][k] * in[k][t - delay], where t
// counts frames of the blocks the host processed in this run (earlier audio counts as silence).
struct Expectation {
    std::vector<std::vector<double>> mix;  // rows: rack channels
    std::uint32_t delay = 0;
    double tolerance = 1e-5;
    // Frames at the start of the run left unchecked: plug-ins that kept earlier audio in
    // their delay lines give it back first.
    std::uint64_t settle = 0;
};

struct BlockPlan {
    std::uint64_t count = 100;
    Signal signal;
    // 0: publish the next block as soon as the previous one came back ("flat out");
    // otherwise publish every `pace_us` microseconds.
    std::uint32_t pace_us = 0;
    std::uint32_t block_timeout_ms = 3000;
    // Before the first block, wait up to this long for the host to hold its chain (`active`
    // 1): the host counts a block published before its chain arrived as already seen, so it
    // would go unanswered. The run goes on after the wait either way.
    std::uint32_t wait_active_ms = 5000;
    std::optional<Expectation> expect;
    bool keep_output = false;  // keep every output sample (demo, WAV output)
    // Optional source of input samples instead of `signal` (channel, run frame) -> sample.
    std::function<float(unsigned, std::uint64_t)> source;
    // When set, the run ends early (after the blocks in flight) once this turns true: for a
    // stream that runs on another thread while this one sends commands.
    const std::atomic<bool>* stop = nullptr;
};

struct Mismatch {
    std::uint64_t frame = 0;
    unsigned channel = 0;
    double got = 0, want = 0;
};

struct BlockRun {
    std::uint64_t published = 0;
    std::uint64_t received = 0;
    std::uint64_t missed = 0;             // published blocks whose output never showed
    std::vector<double> missed_at_ms;     // when each of them was published (Rig::now_ms), but:
    // paced blocks that the next block followed within half a period (a late feeder catching up
    // in a burst), which the host passes over by design: counted here, not in missed_at_ms.
    std::uint64_t superseded = 0;
    // Paced blocks found missed at a poll that came more than three periods after the one
    // before (the feeder itself was kept from running): counted here, not in missed_at_ms.
    std::uint64_t unobserved = 0;
    std::uint64_t skipped_by_host = 0;    // growth of blocksSkipped during the run
    std::uint64_t processed_by_host = 0;  // growth of blocksProcessed during the run
    std::vector<double> round_trip_us;    // per received block, publish to outputSeq
    std::uint32_t last_block_time_us = 0;
    std::vector<std::uint32_t> block_time_us;  // blockTimeUs after each received block
    double max_error = 0;
    std::optional<Mismatch> mismatch;
    // False also when the host processed blocks whose output the run could not read back
    // (ring blocks overwritten before they were copied): the plug-ins' timeline is unknown then.
    bool checked = false;
    std::vector<std::vector<float>> output;  // per rack channel, when kept
};

struct Percentiles {
    double median = 0, p99 = 0, max = 0;
};
Percentiles percentiles(std::vector<double> values);

class Rig {
public:
    static std::unique_ptr<Rig> start(const RigOptions& options, std::string& error);
    ~Rig();

    const std::string& mapping_name() const { return mapping_name_; }
    MappingView& mapping() { return view_; }
    unsigned channels() const { return channels_; }

    bool send_line(const std::string& raw_line);
    // Writes the bytes exactly as given (no line feed added).
    bool send_bytes(const std::string& bytes);
    bool send(const ov::Json& request);
    // Sends the request with the next numeric id (unless it has one) and waits for its reply.
    std::optional<ov::Json> request(ov::Json request, std::uint32_t timeout_ms = 15000);

    // The next reply line (a protocol object with "ok"); events read meanwhile are queued.
    std::optional<ov::Json> next_reply(std::uint32_t timeout_ms);
    // Takes the first queued or arriving event with that name.
    std::optional<ov::Json> wait_event(const std::string& name, std::uint32_t timeout_ms);
    // Reads whatever the host writes for `ms` milliseconds; the lines are also kept in lines().
    std::vector<HostLine> collect(std::uint32_t ms);
    // Waits until the condition on the mapping holds.
    bool wait_mapping(const std::function<bool(const MappingView&)>& condition, std::uint32_t timeout_ms);

    // May run on a second thread while the first one exchanges protocol lines (request,
    // send, next_reply, wait_event, collect): the two sides touch separate state.
    BlockRun run_blocks(const BlockPlan& plan);
    // Publishes one block without waiting for its output.
    std::uint64_t publish_block(const Signal& signal);

    void close_stdin();
    std::optional<int> wait_exit(std::uint32_t timeout_ms);
    std::string error_output(std::uint32_t timeout_ms);
    void kill_host();

    const std::vector<HostLine>& lines() const { return lines_; }
    const std::vector<ov::Json>& events() const { return events_; }
    double now_ms() const;

private:
    Rig() = default;
    // Reads one line; false on time-out or end of output.
    bool read_one(std::uint32_t timeout_ms);
    void write_input(std::uint64_t block, const std::function<float(unsigned, std::uint64_t)>& sample);

    std::string mapping_name_;
    std::unique_ptr<ovplat::SharedMemory> memory_;
    std::unique_ptr<ovplat::NamedEvent> event_;
    std::unique_ptr<ovplat::ChildProcess> host_;
    MappingView view_;
    std::unique_ptr<std::uint8_t[]> detached_view_;  // stands in for a too small mapping
    unsigned channels_ = 1;
    std::uint64_t next_block_ = 1;
    std::uint64_t frames_sent_ = 0;
    std::uint64_t next_id_ = 1;
    std::uint64_t started_ns_ = 0;
    bool output_closed_ = false;
    std::vector<HostLine> lines_;
    std::vector<ov::Json> events_;          // every event, in order
    std::deque<ov::Json> pending_events_;  // not yet taken by wait_event
    std::deque<ov::Json> pending_replies_;
};

}  // namespace ovstandin
