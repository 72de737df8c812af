#pragma once
// The plugin audio mapping shared with Orvia, the chain of plug-in processors and the audio
// thread that runs it block by block.
//
// Ownership: the chain (a list of ChainSlot) belongs to exactly one thread at a time. The main
// thread sends it to the audio thread with chain_message::Install and gets it back with
// chain_message::TakeBack or chain_message::Stop; both channels are bounded, lock-free and
// never block the audio thread. Only the SlotCells (bypass, latency) are shared.
// Every TakeBack and every Stop the audio thread takes is answered by exactly one returned
// chain (empty when it held none), in order, so the main thread can count what is owed.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "plugin.h"

namespace ovplat {
class SharedMemory;
class NamedEvent;
class Wakeup;
}  // namespace ovplat

namespace ovhost {

// Byte layout of the mapping; every field little-endian and naturally aligned.
namespace layout {
inline constexpr std::size_t kMappingSize = 31232;
inline constexpr std::uint32_t kMagic = 0x4F565052;  // "RPVO" in memory order
inline constexpr std::uint32_t kLayoutVersion = 1;

inline constexpr std::size_t kMagicOffset = 0;             // u32, Orvia
inline constexpr std::size_t kVersionOffset = 4;           // u32, Orvia
inline constexpr std::size_t kChannelsOffset = 8;          // u32, Orvia
inline constexpr std::size_t kInputSeqOffset = 16;         // u64, Orvia
inline constexpr std::size_t kOutputSeqOffset = 24;        // u64, audio thread
inline constexpr std::size_t kHeartbeatMsOffset = 32;      // u64, audio thread
inline constexpr std::size_t kHostPidOffset = 40;          // u32, main thread at attach
inline constexpr std::size_t kTotalLatencyOffset = 44;     // u32, main thread
inline constexpr std::size_t kActiveOffset = 48;           // u32, audio thread
inline constexpr std::size_t kAudioSlotKeyOffset = 52;     // i32, audio thread
inline constexpr std::size_t kCallSlotKeyOffset = 56;      // i32, main thread
inline constexpr std::size_t kSlotTimeUsOffset = 60;       // u32[8], audio thread
inline constexpr std::size_t kRingSeqOffset = 96;          // u64[4], audio thread
inline constexpr std::size_t kBlockTimeUsOffset = 128;     // u32, audio thread
inline constexpr std::size_t kBlocksProcessedOffset = 136; // u64, audio thread
inline constexpr std::size_t kBlocksSkippedOffset = 144;   // u64, audio thread
inline constexpr std::size_t kInputRingOffset = 512;       // f32[4][2][480], Orvia
inline constexpr std::size_t kOutputRingOffset = 15872;    // f32[4][2][480], audio thread

inline constexpr std::size_t kSlotTimeCount = 8;
inline constexpr std::size_t kRingBlocks = 4;
inline constexpr std::size_t kRingChannels = 2;
inline constexpr std::size_t kRingChannelBytes = kBlockFrames * sizeof(float);          // 1920
inline constexpr std::size_t kRingBlockBytes = kRingChannels * kRingChannelBytes;       // 3840

static_assert(kInputRingOffset + kRingBlocks * kRingBlockBytes == kOutputRingOffset);
static_assert(kOutputRingOffset + kRingBlocks * kRingBlockBytes == kMappingSize);
}  // namespace layout

// Typed, atomic access to the fields of a mapping view. Copyable; does not own the memory.
// The setters of Orvia's fields (magic, version, channels, input sequence, input ring) exist
// for stand-ins and tests that play Orvia's part.
class AudioMapping {
public:
    AudioMapping() = default;
    // `base` must point to layout::kMappingSize bytes aligned to 8.
    explicit AudioMapping(void* base) : base_(static_cast<std::uint8_t*>(base)) {}

    std::uint8_t* base() const { return base_; }

    std::uint32_t magic() const;
    void set_magic(std::uint32_t value);
    std::uint32_t version() const;
    void set_version(std::uint32_t value);
    std::uint32_t channels() const;
    void set_channels(std::uint32_t value);
    // Read with acquire ordering: the input ring block is complete once its number shows here.
    std::uint64_t input_seq() const;
    void set_input_seq(std::uint64_t value);

    std::uint64_t output_seq() const;
    void set_output_seq(std::uint64_t value);  // release: published after ringSeq
    std::uint64_t heartbeat_ms() const;
    void set_heartbeat_ms(std::uint64_t value);
    std::uint32_t host_pid() const;
    void set_host_pid(std::uint32_t value);
    std::uint32_t total_latency() const;
    // Stores the new total and returns the previous one.
    std::uint32_t exchange_total_latency(std::uint32_t value);
    std::uint32_t active() const;
    void set_active(std::uint32_t value);
    std::int32_t audio_slot_key() const;
    void set_audio_slot_key(std::int32_t value);
    std::int32_t call_slot_key() const;
    void set_call_slot_key(std::int32_t value);
    // Positions 7 and beyond share the last element.
    std::uint32_t slot_time_us(std::size_t position) const;
    void set_slot_time_us(std::size_t position, std::uint32_t value);
    // The sequence number last written to output ring block `ring_block` (0..3).
    std::uint64_t ring_seq(std::size_t ring_block) const;
    void set_ring_seq(std::size_t ring_block, std::uint64_t value);
    std::uint32_t block_time_us() const;
    void set_block_time_us(std::uint32_t value);
    std::uint64_t blocks_processed() const;
    void add_blocks_processed(std::uint64_t count);  // atomic read-modify-write
    std::uint64_t blocks_skipped() const;
    void add_blocks_skipped(std::uint64_t count);    // atomic read-modify-write

    // 480 samples of channel 0 or 1 of the ring block that holds block number `sequence`.
    float* input_channel(std::uint64_t sequence, std::uint32_t channel) const;
    float* output_channel(std::uint64_t sequence, std::uint32_t channel) const;

private:
    std::uint8_t* base_ = nullptr;
};

// Orvia's mapping and its "-req" event, opened by name; keep it until the process ends (the
// audio thread uses both).
struct AttachedMapping {
    std::unique_ptr<ovplat::SharedMemory> memory;
    std::unique_ptr<ovplat::NamedEvent> event;
    AudioMapping view;

    AttachedMapping();
    AttachedMapping(AttachedMapping&&) noexcept;
    AttachedMapping& operator=(AttachedMapping&&) noexcept;
    ~AttachedMapping();
};

// Opens the mapping named `name` and the event named `name` + "-req", checks the layout and
// writes hostPid. Failures: 'could not open the plugin audio mapping "{}" ({})',
// "could not map the plugin audio memory", "could not open the plugin audio event ({})",
// "the plugin audio mapping has another layout (version mismatch)".
Outcome<AttachedMapping> attach_audio_mapping(const std::string& name);

// The cells a RackSlot shares with its ChainSlot. The audio thread reads both once per block.
struct SlotCells {
    std::atomic<bool> bypass{false};
    std::atomic<std::uint32_t> latency{0};
};

// Delays one channel of a bypassed slot by the slot's latency, so that bypassing keeps the
// rack's timing. Allocated once; running it never allocates.
class DelayLine {
public:
    static constexpr std::uint32_t kLength = 48001;
    static constexpr std::uint32_t kMaxDelay = 48000;

    DelayLine();
    // Delays `samples` in place by min(requested_delay, 48000). A delay different from the
    // previous call's clears the line first.
    void run(float* samples, std::uint32_t frames, std::uint32_t requested_delay);
    std::uint32_t delay() const { return delay_; }

private:
    std::vector<float> ring_;
    std::uint32_t position_ = 0;
    std::uint32_t delay_ = 0;
};

// One entry of the chain: a plug-in's processor with its buffers, delay lines and cells.
struct ChainSlot {
    std::unique_ptr<PluginProcessor> processor;
    std::vector<std::vector<float>> inputs;   // max(1, min(inputs, 8)) buffers of 480 floats
    std::vector<std::vector<float>> outputs;  // max(1, min(outputs, 8)) buffers of 480 floats
    std::vector<DelayLine> delay_lines;       // one per rack channel
    std::shared_ptr<SlotCells> cells;
    std::uint32_t key = 0;
    bool fold_left = false;  // a stereo plug-in in a mono rack gives its left output only
    bool started = false;    // start() succeeded, stop() not called yet
};

// Builds a stopped entry with zeroed buffers and one delay line per rack channel (1 or 2).
ChainSlot make_chain_slot(std::unique_ptr<PluginProcessor> processor, std::uint32_t inputs,
                          std::uint32_t outputs, std::uint32_t rack_channels, std::uint32_t key,
                          std::shared_ptr<SlotCells> cells, bool fold_left);

using Chain = std::vector<ChainSlot>;

namespace chain_message {
struct Install { Chain chain; };  // take this chain (possibly empty) and process with it
struct TakeBack {};               // stop the processors and return the chain
struct Stop {};                   // stop, return the chain and end the thread
}  // namespace chain_message
using ChainMessage = std::variant<chain_message::Install, chain_message::TakeBack, chain_message::Stop>;

namespace detail {
struct ChainChannelState;
}

// Main thread: sends chain messages to the audio thread. Set the mapping's event afterwards
// so that the audio thread wakes at once.
class ChainSender {
public:
    static constexpr std::size_t kCapacity = 16;
    explicit ChainSender(std::shared_ptr<detail::ChainChannelState> state);
    ChainSender(ChainSender&&) noexcept = default;
    ChainSender& operator=(ChainSender&&) noexcept = default;
    // Moves the message in and returns true; returns false and leaves the message untouched
    // when the audio thread has ended or has not taken 16 earlier messages yet.
    bool send(ChainMessage&& message);

private:
    std::shared_ptr<detail::ChainChannelState> state_;
};

// Audio thread: receives chain messages without ever blocking.
class ChainInbox {
public:
    explicit ChainInbox(std::shared_ptr<detail::ChainChannelState> state);
    ChainInbox(ChainInbox&&) noexcept = default;
    ChainInbox& operator=(ChainInbox&&) noexcept = default;
    ~ChainInbox();  // tells the sender that nobody receives any more
    std::optional<ChainMessage> try_receive();

private:
    std::shared_ptr<detail::ChainChannelState> state_;
};

// Audio thread: returns chains without ever blocking or locking.
class ChainReturnSender {
public:
    explicit ChainReturnSender(std::shared_ptr<detail::ChainChannelState> state);
    ChainReturnSender(ChainReturnSender&&) noexcept = default;
    ChainReturnSender& operator=(ChainReturnSender&&) noexcept = default;
    ~ChainReturnSender();  // wakes a waiting receiver: no chain will come any more
    // False when nobody receives any more or the channel is full; the chain is then left
    // with the caller (to be dropped).
    bool send(Chain&& chain);

private:
    std::shared_ptr<detail::ChainChannelState> state_;
};

// Main thread: receives the chains the audio thread returns.
class ChainReturnReceiver {
public:
    explicit ChainReturnReceiver(std::shared_ptr<detail::ChainChannelState> state);
    ChainReturnReceiver(ChainReturnReceiver&&) noexcept = default;
    ChainReturnReceiver& operator=(ChainReturnReceiver&&) noexcept = default;
    ~ChainReturnReceiver();  // the audio thread drops what it would return from now on
    std::optional<Chain> try_receive();
    // Waits up to `timeout_ms` for a returned chain; nothing when none came in time or the
    // audio thread has ended without returning one.
    std::optional<Chain> receive(std::uint32_t timeout_ms);

private:
    std::shared_ptr<detail::ChainChannelState> state_;
};

// The four ends of the two channels: the first and last stay with the main thread, the
// middle two go to the audio thread.
struct ChainChannels {
    ChainSender to_audio;
    ChainInbox audio_inbox;
    ChainReturnSender audio_returns;
    ChainReturnReceiver returned;
};
ChainChannels make_chain_channels();

// Clocks of the audio loop; tests replace them to get exact timing figures.
struct AudioClocks {
    std::uint64_t (*monotonic_ns)();
    std::uint64_t (*wall_clock_ms)();
};
AudioClocks system_audio_clocks();

// Smoothed per-position processing time: the first measurement as is, then 15/16 of the old
// value plus 1/16 of the new one, each term truncated.
std::uint32_t smooth_slot_time_us(std::uint32_t old_us, std::uint32_t measured_us);

// The audio thread's state and its loop turn, split into steps so that tests can drive it
// over an in-memory mapping without a thread or an event. Processing a block allocates
// nothing and takes no lock.
class AudioLoop {
public:
    static constexpr std::uint32_t kWaitTimeoutMs = 20;

    // Reads `channels` once (0 counts as 1, 2 and more as 2), allocates the host buffers and
    // takes outputSeq as the last block seen. Holds an empty chain.
    AudioLoop(AudioMapping mapping, ChainInbox inbox, ChainReturnSender returns,
              AudioClocks clocks = system_audio_clocks());

    // One turn: messages, heartbeat, wait up to 20 ms on the event, then the newest block.
    // False once Stop was handled: the thread should end.
    bool run_turn(ovplat::NamedEvent& event);

    // Turn step 1: handles every waiting message. False once Stop was handled.
    bool receive_messages();
    // Turn step 2.
    void write_heartbeat();
    // Turn steps 4 to 12, after the event was signalled.
    void process_newest_block();

    // The parts of process_newest_block, in order:
    // steps 4-6: the newest unseen block's number, its samples copied to the host buffers;
    // nothing when there is no new block or the loop is not active.
    std::optional<std::uint64_t> take_newest_input();
    // step 7: false (and the block is dropped) when Orvia overwrote it during the copy.
    bool input_survived_copy(std::uint64_t sequence);
    // steps 8-12: runs the chain over the host buffers and publishes block `sequence`.
    void run_chain_and_publish(std::uint64_t sequence);

    std::uint32_t channels() const { return channels_; }
    std::uint64_t last_seen() const { return last_seen_; }
    const Chain& chain() const { return chain_; }
    bool stopped() const { return stopped_; }

private:
    void install(Chain chain);
    void stop_chain();
    void hand_back();
    void run_slot(ChainSlot& slot);

    AudioMapping mapping_;
    // Declared in this order so that the inbox closes before the return channel: a main thread
    // that sees no more chains coming also finds its messages refused.
    ChainReturnSender returns_;
    ChainInbox inbox_;
    AudioClocks clocks_;
    std::uint32_t channels_ = 1;
    std::vector<std::vector<float>> host_buffers_;
    std::uint64_t last_seen_ = 0;
    Chain chain_;
    bool stopped_ = false;
};

// The audio thread's body: "Pro Audio" scheduling, then turns until Stop. `event` must stay
// valid until the thread ends.
void run_audio_thread(AudioMapping mapping, ovplat::NamedEvent& event, ChainInbox inbox,
                      ChainReturnSender returns);

// Starts the detached thread "ov-plugin-audio" running run_audio_thread; false when the
// system could not create it.
bool start_audio_thread(AudioMapping mapping, ovplat::NamedEvent& event, ChainInbox inbox,
                        ChainReturnSender returns);

}  // namespace ovhost
