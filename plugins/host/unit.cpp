#include "unit.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

#include "adapt.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "platform/shared_memory.h"
#include "platform/thread.h"

namespace ovhost {

// ---------------------------------------------------------------------------------------
// Mapping fields

namespace {

template <class T>
std::atomic_ref<T> field(std::uint8_t* base, std::size_t offset) {
    return std::atomic_ref<T>(*reinterpret_cast<T*>(base + offset));
}

std::size_t slot_time_offset(std::size_t position) {
    return layout::kSlotTimeUsOffset + sizeof(std::uint32_t) * std::min(position, layout::kSlotTimeCount - 1);
}

std::size_t ring_seq_offset(std::size_t ring_block) {
    return layout::kRingSeqOffset + sizeof(std::uint64_t) * (ring_block % layout::kRingBlocks);
}

std::size_t ring_channel_offset(std::uint64_t sequence, std::uint32_t channel) {
    return static_cast<std::size_t>(sequence % layout::kRingBlocks) * layout::kRingBlockBytes +
           std::min<std::size_t>(channel, layout::kRingChannels - 1) * layout::kRingChannelBytes;
}

}  // namespace

std::uint32_t AudioMapping::magic() const { return field<std::uint32_t>(base_, layout::kMagicOffset).load(); }
void AudioMapping::set_magic(std::uint32_t value) { field<std::uint32_t>(base_, layout::kMagicOffset).store(value); }
std::uint32_t AudioMapping::version() const { return field<std::uint32_t>(base_, layout::kVersionOffset).load(); }
void AudioMapping::set_version(std::uint32_t value) {
    field<std::uint32_t>(base_, layout::kVersionOffset).store(value);
}
std::uint32_t AudioMapping::channels() const { return field<std::uint32_t>(base_, layout::kChannelsOffset).load(); }
void AudioMapping::set_channels(std::uint32_t value) {
    field<std::uint32_t>(base_, layout::kChannelsOffset).store(value);
}
std::uint64_t AudioMapping::input_seq() const {
    return field<std::uint64_t>(base_, layout::kInputSeqOffset).load(std::memory_order_acquire);
}
void AudioMapping::set_input_seq(std::uint64_t value) {
    field<std::uint64_t>(base_, layout::kInputSeqOffset).store(value, std::memory_order_release);
}
std::uint64_t AudioMapping::output_seq() const {
    return field<std::uint64_t>(base_, layout::kOutputSeqOffset).load(std::memory_order_acquire);
}
void AudioMapping::set_output_seq(std::uint64_t value) {
    field<std::uint64_t>(base_, layout::kOutputSeqOffset).store(value, std::memory_order_release);
}
std::uint64_t AudioMapping::heartbeat_ms() const {
    return field<std::uint64_t>(base_, layout::kHeartbeatMsOffset).load(std::memory_order_relaxed);
}
void AudioMapping::set_heartbeat_ms(std::uint64_t value) {
    field<std::uint64_t>(base_, layout::kHeartbeatMsOffset).store(value, std::memory_order_relaxed);
}
std::uint32_t AudioMapping::host_pid() const { return field<std::uint32_t>(base_, layout::kHostPidOffset).load(); }
void AudioMapping::set_host_pid(std::uint32_t value) { field<std::uint32_t>(base_, layout::kHostPidOffset).store(value); }
std::uint32_t AudioMapping::total_latency() const {
    return field<std::uint32_t>(base_, layout::kTotalLatencyOffset).load();
}
std::uint32_t AudioMapping::exchange_total_latency(std::uint32_t value) {
    return field<std::uint32_t>(base_, layout::kTotalLatencyOffset).exchange(value);
}
std::uint32_t AudioMapping::active() const {
    return field<std::uint32_t>(base_, layout::kActiveOffset).load(std::memory_order_relaxed);
}
void AudioMapping::set_active(std::uint32_t value) {
    field<std::uint32_t>(base_, layout::kActiveOffset).store(value, std::memory_order_relaxed);
}
std::int32_t AudioMapping::audio_slot_key() const {
    return field<std::int32_t>(base_, layout::kAudioSlotKeyOffset).load(std::memory_order_relaxed);
}
void AudioMapping::set_audio_slot_key(std::int32_t value) {
    field<std::int32_t>(base_, layout::kAudioSlotKeyOffset).store(value, std::memory_order_relaxed);
}
std::int32_t AudioMapping::call_slot_key() const {
    return field<std::int32_t>(base_, layout::kCallSlotKeyOffset).load();
}
void AudioMapping::set_call_slot_key(std::int32_t value) {
    field<std::int32_t>(base_, layout::kCallSlotKeyOffset).store(value);
}
std::uint32_t AudioMapping::slot_time_us(std::size_t position) const {
    return field<std::uint32_t>(base_, slot_time_offset(position)).load(std::memory_order_relaxed);
}
void AudioMapping::set_slot_time_us(std::size_t position, std::uint32_t value) {
    field<std::uint32_t>(base_, slot_time_offset(position)).store(value, std::memory_order_relaxed);
}
std::uint64_t AudioMapping::ring_seq(std::size_t ring_block) const {
    return field<std::uint64_t>(base_, ring_seq_offset(ring_block)).load(std::memory_order_acquire);
}
void AudioMapping::set_ring_seq(std::size_t ring_block, std::uint64_t value) {
    field<std::uint64_t>(base_, ring_seq_offset(ring_block)).store(value, std::memory_order_release);
}
std::uint32_t AudioMapping::block_time_us() const {
    return field<std::uint32_t>(base_, layout::kBlockTimeUsOffset).load(std::memory_order_relaxed);
}
void AudioMapping::set_block_time_us(std::uint32_t value) {
    field<std::uint32_t>(base_, layout::kBlockTimeUsOffset).store(value, std::memory_order_relaxed);
}
std::uint64_t AudioMapping::blocks_processed() const {
    return field<std::uint64_t>(base_, layout::kBlocksProcessedOffset).load();
}
void AudioMapping::add_blocks_processed(std::uint64_t count) {
    field<std::uint64_t>(base_, layout::kBlocksProcessedOffset).fetch_add(count);
}
std::uint64_t AudioMapping::blocks_skipped() const {
    return field<std::uint64_t>(base_, layout::kBlocksSkippedOffset).load();
}
void AudioMapping::add_blocks_skipped(std::uint64_t count) {
    field<std::uint64_t>(base_, layout::kBlocksSkippedOffset).fetch_add(count);
}
float* AudioMapping::input_channel(std::uint64_t sequence, std::uint32_t channel) const {
    return reinterpret_cast<float*>(base_ + layout::kInputRingOffset + ring_channel_offset(sequence, channel));
}
float* AudioMapping::output_channel(std::uint64_t sequence, std::uint32_t channel) const {
    return reinterpret_cast<float*>(base_ + layout::kOutputRingOffset + ring_channel_offset(sequence, channel));
}

// ---------------------------------------------------------------------------------------
// Attaching to Orvia's mapping

AttachedMapping::AttachedMapping() = default;
AttachedMapping::AttachedMapping(AttachedMapping&&) noexcept = default;
AttachedMapping& AttachedMapping::operator=(AttachedMapping&&) noexcept = default;
AttachedMapping::~AttachedMapping() = default;

Outcome<AttachedMapping> attach_audio_mapping(const std::string& name) {
    using Result = Outcome<AttachedMapping>;
    AttachedMapping attached;
    std::string error;
    ovplat::SharedMemoryFailure failed_at = ovplat::SharedMemoryFailure::none;
    attached.memory = ovplat::SharedMemory::open(name, layout::kMappingSize, error, failed_at);
    if (!attached.memory) {
        if (failed_at == ovplat::SharedMemoryFailure::map) return Result::failure("could not map the plugin audio memory");
        return Result::failure("could not open the plugin audio mapping \"" + name + "\" (" + error + ")");
    }
    attached.event = ovplat::NamedEvent::open(name + "-req", error);
    if (!attached.event) return Result::failure("could not open the plugin audio event (" + error + ")");
    attached.view = AudioMapping(attached.memory->data());
    if (attached.view.magic() != layout::kMagic || attached.view.version() != layout::kLayoutVersion) {
        return Result::failure("the plugin audio mapping has another layout (version mismatch)");
    }
    attached.view.set_host_pid(ovplat::current_process_id());
    return Result(std::move(attached));
}

// ---------------------------------------------------------------------------------------
// Chain entries

DelayLine::DelayLine() : ring_(kLength, 0.0f) {}

void DelayLine::run(float* samples, std::uint32_t frames, std::uint32_t requested_delay) {
    const std::uint32_t delay = std::min({requested_delay, kMaxDelay, kLength - 1});
    if (delay != delay_) {
        // A new delay starts from silence rather than replaying stale samples.
        delay_ = delay;
        std::fill(ring_.begin(), ring_.end(), 0.0f);
        position_ = 0;
    }
    if (delay == 0) return;
    for (std::uint32_t i = 0; i < frames; ++i) {
        ring_[position_] = samples[i];
        samples[i] = ring_[(position_ + kLength - delay) % kLength];
        position_ = (position_ + 1) % kLength;
    }
}

ChainSlot make_chain_slot(std::unique_ptr<PluginProcessor> processor, std::uint32_t inputs,
                          std::uint32_t outputs, std::uint32_t rack_channels, std::uint32_t key,
                          std::shared_ptr<SlotCells> cells, bool fold_left) {
    const auto buffer_count = [](std::uint32_t channels) { return std::clamp(channels, 1u, kMaxPluginChannels); };
    ChainSlot slot;
    slot.processor = std::move(processor);
    slot.inputs.assign(buffer_count(inputs), std::vector<float>(kBlockFrames, 0.0f));
    slot.outputs.assign(buffer_count(outputs), std::vector<float>(kBlockFrames, 0.0f));
    slot.delay_lines.resize(std::clamp(rack_channels, 1u, 2u));
    slot.cells = cells ? std::move(cells) : std::make_shared<SlotCells>();
    slot.key = key;
    slot.fold_left = fold_left;
    slot.started = false;
    return slot;
}

// ---------------------------------------------------------------------------------------
// Chain channels

namespace detail {

// Bounded single-producer single-consumer queue. Moving values in and out allocates nothing,
// so the audio thread may use either end.
template <class T, std::size_t N>
class SpscQueue {
public:
    // False (and `value` untouched) when full.
    bool push(T&& value) {
        const auto head = head_.load(std::memory_order_relaxed);
        if (head - tail_.load(std::memory_order_acquire) >= N) return false;
        slots_[head % N].emplace(std::move(value));
        head_.store(head + 1, std::memory_order_release);
        return true;
    }

    std::optional<T> pop() {
        const auto tail = tail_.load(std::memory_order_relaxed);
        if (tail == head_.load(std::memory_order_acquire)) return std::nullopt;
        std::optional<T> value = std::move(slots_[tail % N]);
        slots_[tail % N].reset();
        tail_.store(tail + 1, std::memory_order_release);
        return value;
    }

private:
    std::array<std::optional<T>, N> slots_{};
    std::atomic<std::uint64_t> head_{0};
    std::atomic<std::uint64_t> tail_{0};
};

struct ChainChannelState {
    SpscQueue<ChainMessage, ChainSender::kCapacity> messages;
    // Room for a return for every message the inbox can hold, and as many again that were
    // taken while the main thread was not receiving: a returned chain is never dropped.
    SpscQueue<Chain, 2 * ChainSender::kCapacity> returns;
    std::atomic<bool> inbox_gone{false};         // the audio thread takes no more messages
    std::atomic<bool> return_sender_gone{false}; // no more chains will come back
    std::atomic<bool> return_receiver_gone{false};
    std::unique_ptr<ovplat::Wakeup> returned;    // set after each returned chain
};

}  // namespace detail

ChainSender::ChainSender(std::shared_ptr<detail::ChainChannelState> state) : state_(std::move(state)) {}

bool ChainSender::send(ChainMessage&& message) {
    if (!state_ || state_->inbox_gone.load(std::memory_order_acquire)) return false;
    return state_->messages.push(std::move(message));
}

ChainInbox::ChainInbox(std::shared_ptr<detail::ChainChannelState> state) : state_(std::move(state)) {}

ChainInbox::~ChainInbox() {
    if (state_) state_->inbox_gone.store(true, std::memory_order_release);
}

std::optional<ChainMessage> ChainInbox::try_receive() {
    if (!state_) return std::nullopt;
    return state_->messages.pop();
}

ChainReturnSender::ChainReturnSender(std::shared_ptr<detail::ChainChannelState> state) : state_(std::move(state)) {}

ChainReturnSender::~ChainReturnSender() {
    if (!state_) return;
    state_->return_sender_gone.store(true, std::memory_order_release);
    if (state_->returned) state_->returned->set();
}

bool ChainReturnSender::send(Chain&& chain) {
    if (!state_ || state_->return_receiver_gone.load(std::memory_order_acquire)) return false;
    if (!state_->returns.push(std::move(chain))) return false;
    if (state_->returned) state_->returned->set();
    return true;
}

ChainReturnReceiver::ChainReturnReceiver(std::shared_ptr<detail::ChainChannelState> state)
    : state_(std::move(state)) {}

ChainReturnReceiver::~ChainReturnReceiver() {
    if (state_) state_->return_receiver_gone.store(true, std::memory_order_release);
}

std::optional<Chain> ChainReturnReceiver::try_receive() {
    if (!state_) return std::nullopt;
    return state_->returns.pop();
}

std::optional<Chain> ChainReturnReceiver::receive(std::uint32_t timeout_ms) {
    if (!state_) return std::nullopt;
    const std::uint64_t deadline = ovplat::monotonic_ns() + std::uint64_t{timeout_ms} * 1000000u;
    for (;;) {
        if (auto chain = state_->returns.pop()) return chain;
        if (state_->return_sender_gone.load(std::memory_order_acquire)) return state_->returns.pop();
        const std::uint64_t now = ovplat::monotonic_ns();
        if (now >= deadline) return std::nullopt;
        const auto remaining_ms = static_cast<std::uint32_t>(std::min<std::uint64_t>((deadline - now) / 1000000u + 1, 1000));
        if (state_->returned) {
            state_->returned->wait(remaining_ms);
        } else {
            ovplat::sleep_ms(1);
        }
    }
}

ChainChannels make_chain_channels() {
    auto state = std::make_shared<detail::ChainChannelState>();
    state->returned = ovplat::Wakeup::create();  // without it, receive() polls
    return ChainChannels{ChainSender(state), ChainInbox(state), ChainReturnSender(state), ChainReturnReceiver(state)};
}

// ---------------------------------------------------------------------------------------
// The audio loop

AudioClocks system_audio_clocks() { return AudioClocks{&ovplat::monotonic_ns, &ovplat::wall_clock_ms}; }

std::uint32_t smooth_slot_time_us(std::uint32_t old_us, std::uint32_t measured_us) {
    if (old_us == 0) return measured_us;
    return static_cast<std::uint32_t>((std::uint64_t{old_us} * 15u) / 16u + measured_us / 16u);
}

namespace {

// Whole microseconds between two monotonic readings; 0 when the clock went backwards,
// saturated at the largest u32.
std::uint32_t elapsed_us(std::uint64_t start_ns, std::uint64_t end_ns) {
    if (end_ns <= start_ns) return 0;
    const std::uint64_t us = (end_ns - start_ns) / 1000u;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(us, std::numeric_limits<std::uint32_t>::max()));
}

std::uint32_t audio_channel_count(std::uint32_t mapped) { return mapped >= 2 ? 2 : 1; }

template <class... Handlers>
struct Overloaded : Handlers... {
    using Handlers::operator()...;
};
template <class... Handlers>
Overloaded(Handlers...) -> Overloaded<Handlers...>;

}  // namespace

AudioLoop::AudioLoop(AudioMapping mapping, ChainInbox inbox, ChainReturnSender returns, AudioClocks clocks)
    : mapping_(mapping),
      returns_(std::move(returns)),
      inbox_(std::move(inbox)),
      clocks_(clocks),
      channels_(audio_channel_count(mapping.channels())),
      host_buffers_(channels_, std::vector<float>(kBlockFrames, 0.0f)),
      last_seen_(mapping.output_seq()) {}

bool AudioLoop::run_turn(ovplat::NamedEvent& event) {
    if (!receive_messages()) return false;
    write_heartbeat();
    if (event.wait(kWaitTimeoutMs)) process_newest_block();
    return true;
}

bool AudioLoop::receive_messages() {
    while (!stopped_) {
        auto message = inbox_.try_receive();
        if (!message) break;
        std::visit(Overloaded{
                       [this](chain_message::Install& install) { this->install(std::move(install.chain)); },
                       [this](chain_message::TakeBack&) {
                           mapping_.set_active(0);
                           hand_back();
                       },
                       [this](chain_message::Stop&) {
                           hand_back();
                           host_buffers_.clear();
                           host_buffers_.shrink_to_fit();
                           stopped_ = true;
                       },
                   },
                   *message);
    }
    return !stopped_;
}

void AudioLoop::install(Chain chain) {
    // Normally nothing is held here (the chain went back first); whatever is, is dropped.
    stop_chain();
    chain_ = std::move(chain);
    // A processor that does not start (its plug-in is inactive) passes its slot's audio
    // through as if bypassed, until a later chain starts it.
    for (ChainSlot& slot : chain_) {
        if (slot.started || !slot.processor) continue;
        slot.started = slot.processor->start();
    }
    last_seen_ = mapping_.input_seq();
    mapping_.set_active(1);
}

void AudioLoop::stop_chain() {
    for (ChainSlot& slot : chain_) {
        if (!slot.started) continue;
        if (slot.processor) slot.processor->stop();
        slot.started = false;
    }
}

void AudioLoop::hand_back() {
    stop_chain();
    // When nobody takes it any more, the chain is dropped here.
    returns_.send(std::move(chain_));
    chain_ = Chain{};
}

void AudioLoop::write_heartbeat() { mapping_.set_heartbeat_ms(clocks_.wall_clock_ms()); }

void AudioLoop::process_newest_block() {
    const auto sequence = take_newest_input();
    if (!sequence || !input_survived_copy(*sequence)) return;
    run_chain_and_publish(*sequence);
}

std::optional<std::uint64_t> AudioLoop::take_newest_input() {
    const std::uint64_t newest = mapping_.input_seq();
    if (newest <= last_seen_ || mapping_.active() == 0) return std::nullopt;
    if (newest > last_seen_ + 1) mapping_.add_blocks_skipped(newest - last_seen_ - 1);
    for (std::uint32_t channel = 0; channel < channels_; ++channel) {
        std::memcpy(host_buffers_[channel].data(), mapping_.input_channel(newest, channel), layout::kRingChannelBytes);
    }
    return newest;
}

bool AudioLoop::input_survived_copy(std::uint64_t sequence) {
    // Four newer blocks mean Orvia has written into this ring block again meanwhile.
    if (mapping_.input_seq() >= sequence + layout::kRingBlocks) {
        last_seen_ = sequence;
        return false;
    }
    return true;
}

void AudioLoop::run_slot(ChainSlot& slot) {
    std::array<float*, 2> host{};
    for (std::uint32_t channel = 0; channel < channels_; ++channel) host[channel] = host_buffers_[channel].data();

    const bool bypassed = slot.cells && slot.cells->bypass.load(std::memory_order_relaxed);
    if (bypassed || (slot.processor && !slot.started)) {
        const std::uint32_t latency = slot.cells ? slot.cells->latency.load(std::memory_order_relaxed) : 0;
        const std::size_t lines = std::min<std::size_t>(channels_, slot.delay_lines.size());
        for (std::size_t channel = 0; channel < lines; ++channel) {
            slot.delay_lines[channel].run(host[channel], kBlockFrames, latency);
        }
        return;
    }
    if (!slot.processor || slot.inputs.empty() || slot.outputs.empty()) return;
    std::array<float*, kMaxPluginChannels> inputs{};
    std::array<float*, kMaxPluginChannels> outputs{};
    const auto input_count = static_cast<std::uint32_t>(std::min<std::size_t>(slot.inputs.size(), kMaxPluginChannels));
    const auto output_count =
        static_cast<std::uint32_t>(std::min<std::size_t>(slot.outputs.size(), kMaxPluginChannels));
    for (std::uint32_t i = 0; i < input_count; ++i) inputs[i] = slot.inputs[i].data();
    for (std::uint32_t i = 0; i < output_count; ++i) outputs[i] = slot.outputs[i].data();
    process_adapted(*slot.processor, host.data(), channels_, inputs.data(), input_count, outputs.data(), output_count,
                    slot.fold_left, kBlockFrames);
}

void AudioLoop::run_chain_and_publish(std::uint64_t sequence) {
    const std::uint64_t chain_start = clocks_.monotonic_ns();
    for (std::size_t position = 0; position < chain_.size(); ++position) {
        ChainSlot& slot = chain_[position];
        mapping_.set_audio_slot_key(static_cast<std::int32_t>(slot.key));
        const std::uint64_t slot_start = clocks_.monotonic_ns();
        run_slot(slot);
        const std::uint32_t took = elapsed_us(slot_start, clocks_.monotonic_ns());
        mapping_.set_slot_time_us(position, smooth_slot_time_us(mapping_.slot_time_us(position), took));
    }
    mapping_.set_audio_slot_key(-1);
    mapping_.set_block_time_us(elapsed_us(chain_start, clocks_.monotonic_ns()));

    for (std::uint32_t channel = 0; channel < channels_; ++channel) {
        std::memcpy(mapping_.output_channel(sequence, channel), host_buffers_[channel].data(), layout::kRingChannelBytes);
    }
    // Orvia takes an output block only once ringSeq names it, so ringSeq goes before outputSeq.
    mapping_.set_ring_seq(sequence % layout::kRingBlocks, sequence);
    mapping_.set_output_seq(sequence);
    mapping_.add_blocks_processed(1);
    last_seen_ = sequence;
}

void run_audio_thread(AudioMapping mapping, ovplat::NamedEvent& event, ChainInbox inbox, ChainReturnSender returns) {
    ovplat::request_pro_audio_priority();
    AudioLoop loop(mapping, std::move(inbox), std::move(returns));
    while (loop.run_turn(event)) {
    }
}

bool start_audio_thread(AudioMapping mapping, ovplat::NamedEvent& event, ChainInbox inbox, ChainReturnSender returns) {
    struct Ends {
        ChainInbox inbox;
        ChainReturnSender returns;
    };
    // std::function needs a copyable body: the move-only channel ends ride in a shared holder.
    auto ends = std::make_shared<Ends>(Ends{std::move(inbox), std::move(returns)});
    return ovplat::start_detached_thread("ov-plugin-audio", [mapping, &event, ends] {
        run_audio_thread(mapping, event, std::move(ends->inbox), std::move(ends->returns));
    });
}

}  // namespace ovhost
