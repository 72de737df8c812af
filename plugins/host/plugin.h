#pragma once
// The only view the host core has of a plug-in, whatever its format: a PluginInstance for
// the main thread, a PluginProcessor for the audio thread, and what travels between them.
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace ovhost {

// The fixed processing setup of every plug-in in this host.
inline constexpr std::uint32_t kSampleRate = 48000;
inline constexpr std::uint32_t kBlockFrames = 480;
// Channel buffers handed to one plug-in per direction, whatever it reports.
inline constexpr std::uint32_t kMaxPluginChannels = 8;

// A result or the message text that explains the failure (lower case, no final period).
template <class T>
class Outcome {
public:
    Outcome(T value) : value_(std::move(value)) {}
    static Outcome failure(std::string message) { return Outcome(Failure{std::move(message)}); }

    bool ok() const { return value_.index() == 0; }
    explicit operator bool() const { return ok(); }
    T& value() { return std::get<0>(value_); }
    const T& value() const { return std::get<0>(value_); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    const std::string& error() const { return std::get<1>(value_).message; }

private:
    struct Failure { std::string message; };
    explicit Outcome(Failure f) : value_(std::move(f)) {}
    std::variant<T, Failure> value_;
};

struct Done {};
using Status = Outcome<Done>;  // success carries nothing
inline Status ok_status() { return Status(Done{}); }

// One visible parameter; values are normalized to 0..1.
struct ParamInfo {
    std::uint32_t id = 0;
    std::string name;
    std::string units;
    double value = 0.0;
    std::string text;
    std::int32_t steps = 0;
    double default_value = 0.0;  // "default" in the protocol
    bool automatable = false;
    bool read_only = false;
};

namespace notice {
struct ParamChanged { std::uint32_t id; double value; };
struct LatencyChanged {};
struct RestartRequested {};
struct StateDirty {};
struct EditorClosed {};
struct EditorResize { std::uint32_t width; std::uint32_t height; };
}  // namespace notice

// Requests a plug-in makes of the host; the variant index is the notice's tag.
using Notice = std::variant<notice::ParamChanged, notice::LatencyChanged, notice::RestartRequested,
                            notice::StateDirty, notice::EditorClosed, notice::EditorResize>;

struct EditorSize {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

// Native parent window: an HWND on Windows, an X11 window id elsewhere.
using WindowHandle = void*;

// Used on the main thread only, the thread that created the plug-in.
class PluginInstance {
public:
    virtual ~PluginInstance() = default;
    virtual std::vector<ParamInfo> params() = 0;
    virtual Outcome<ParamInfo> set_param(std::uint32_t id, double normalized) = 0;
    virtual Outcome<std::vector<std::uint8_t>> save_state() = 0;
    virtual Status load_state(const std::vector<std::uint8_t>& bytes) = 0;
    virtual std::uint32_t latency() = 0;
    virtual bool has_editor() = 0;
    virtual Outcome<EditorSize> open_editor(WindowHandle parent) = 0;
    virtual void close_editor() = 0;
    virtual void editor_resized(std::uint32_t width, std::uint32_t height) = 0;
    virtual void poll(std::vector<Notice>& out) = 0;
    virtual Status reactivate() = 0;
};

// Used on the audio thread only, while it holds the processor. Must not allocate or lock.
class PluginProcessor {
public:
    virtual ~PluginProcessor() = default;
    // False when the plug-in cannot process now (its instance is inactive after a failed
    // reactivation, or it refused to start): the audio thread then passes the slot's audio
    // through as for a bypassed slot, and neither processes nor stops it.
    virtual bool start() = 0;
    virtual void stop() = 0;
    // `inputs` and `outputs` hold as many channel pointers as the adapter provides.
    virtual void process(const float* const* inputs, std::uint32_t input_count, float* const* outputs,
                         std::uint32_t output_count, std::uint32_t frames) = 0;
};

// Where a format plug-in's instance is in its life. The VST3 and CLAP bindings keep one
// InstanceLifecycle per instance, shared by its PluginInstance and PluginProcessor, and make
// a call that depends on the state only after the lifecycle allowed the step to the state the
// call leads to, so that no call the formats forbid in a state can be made.
enum class InstanceState : std::uint8_t {
    // Initialised and set up but not active: before the first activation, and between the
    // deactivation and the activation of a reactivation. Only activation or teardown follow.
    created,
    // Active at 48 kHz with blocks of at most 480 frames: the main thread may reactivate or
    // tear it down, the audio thread may start it.
    active,
    // Started on the audio thread: only process and stop; no deactivation, no teardown.
    processing,
    // A reactivation failed to activate it: it stays loaded, but no processing call reaches it
    // until a later reactivation succeeds; teardown does not deactivate it again.
    inactive,
    // Deactivated where needed and destroyed: nothing may be called any more.
    torn_down,
};

// The one table of allowed steps between instance states.
bool instance_step_allowed(InstanceState from, InstanceState to);
const char* instance_state_name(InstanceState state);

// The state of one instance. The main thread moves it between created, active, inactive and
// torn_down; the audio thread moves it between active and processing while it holds the
// processor. Reading and moving are single atomic operations: no lock, no allocation.
class InstanceLifecycle {
public:
    InstanceState state() const { return state_.load(std::memory_order_acquire); }
    bool is(InstanceState state) const { return this->state() == state; }
    // Takes the step when it is allowed, telling the state it left; false (and no change)
    // otherwise.
    bool move_to(InstanceState next, InstanceState* left = nullptr) {
        InstanceState current = state();
        while (instance_step_allowed(current, next)) {
            if (state_.compare_exchange_weak(current, next, std::memory_order_acq_rel)) {
                if (left != nullptr) *left = current;
                return true;
            }
        }
        return false;
    }

private:
    std::atomic<InstanceState> state_{InstanceState::created};
};

// What every creation function returns. Destroys the instance first, then the processor.
struct LoadedPlugin {
    std::string name;
    std::string vendor;
    std::unique_ptr<PluginInstance> instance;
    std::unique_ptr<PluginProcessor> processor;
    std::uint32_t inputs = 2;
    std::uint32_t outputs = 2;

    LoadedPlugin() = default;
    LoadedPlugin(LoadedPlugin&&) = default;
    LoadedPlugin& operator=(LoadedPlugin&& other) noexcept {
        instance.reset();
        processor.reset();
        name = std::move(other.name);
        vendor = std::move(other.vendor);
        instance = std::move(other.instance);
        processor = std::move(other.processor);
        inputs = other.inputs;
        outputs = other.outputs;
        return *this;
    }
    ~LoadedPlugin() {
        instance.reset();
        processor.reset();
    }
};

// Bounded wait-free FIFO of (parameter id, value) pairs between the main and audio threads.
// One consumer; producers that may be several serialise through push_locked().
class ParamRing {
public:
    static constexpr std::size_t kCapacity = 256;

    // Drops the entry silently when the ring is full. Single producer at a time.
    void push(std::uint32_t id, double value) {
        const auto head = head_.load(std::memory_order_relaxed);
        const auto tail = tail_.load(std::memory_order_acquire);
        if (head - tail >= kCapacity) return;
        slots_[head % kCapacity] = Entry{id, value};
        head_.store(head + 1, std::memory_order_release);
    }

    // For producers on several threads (host edits and plug-in edits): takes a mutex, so
    // never call it from the audio thread.
    void push_locked(std::uint32_t id, double value) {
        std::lock_guard<std::mutex> lock(producer_mutex_);
        push(id, value);
    }

    struct Entry {
        std::uint32_t id = 0;
        double value = 0.0;
    };

    std::optional<Entry> pop() {
        const auto tail = tail_.load(std::memory_order_relaxed);
        const auto head = head_.load(std::memory_order_acquire);
        if (tail == head) return std::nullopt;
        Entry e = slots_[tail % kCapacity];
        tail_.store(tail + 1, std::memory_order_release);
        return e;
    }

private:
    std::array<Entry, kCapacity> slots_{};
    std::atomic<std::uint64_t> head_{0};
    std::atomic<std::uint64_t> tail_{0};
    std::mutex producer_mutex_;
};

// Plug-in state bytes as they travel in the rack protocol.
std::string encode_state_base64(const std::vector<std::uint8_t>& bytes);
// Fails with "the plugin state is not valid base64".
Outcome<std::vector<std::uint8_t>> decode_state_base64(std::string_view text);

}  // namespace ovhost
