#include "internal/internal.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "ov/numfmt.h"
#include "platform/clock.h"
#include "platform/env.h"
#include "platform/process.h"

namespace ovhost {

namespace {

constexpr double kDefaultGain = 0.5;
constexpr std::uint64_t kDefaultDelaySamples = 256;
constexpr std::uint64_t kMaxDelaySamples = 48000;
constexpr std::uint64_t kDefaultHangMs = 50;
constexpr std::uint64_t kDefaultAbortBlock = 1;

// The normalized gain value the instance and the processor share; the audio is scaled by
// twice this value.
using SharedGain = std::shared_ptr<std::atomic<double>>;

// Unsigned 64-bit decimal with one optional leading "+"; nothing for anything else.
std::optional<std::uint64_t> parse_count(std::optional<std::string_view> argument) {
    if (!argument) return std::nullopt;
    std::string_view digits = *argument;
    if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
    if (digits.empty()) return std::nullopt;
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc{} || end != digits.data() + digits.size()) return std::nullopt;
    return value;
}

ParamInfo gain_param_info(double value) {
    ParamInfo info;
    info.id = 0;
    info.name = "Gain";
    info.units = "x";
    info.value = value;
    info.text = ov::num::fixed(2.0 * value, 2);
    info.steps = 0;
    info.default_value = kDefaultGain;
    info.automatable = true;
    info.read_only = false;
    return info;
}

class InternalInstance final : public PluginInstance {
public:
    InternalInstance(SharedGain gain, std::uint32_t latency) : gain_(std::move(gain)), latency_(latency) {}

    std::vector<ParamInfo> params() override { return {gain_param_info(gain_->load())}; }

    Outcome<ParamInfo> set_param(std::uint32_t id, double normalized) override {
        if (id != 0) return Outcome<ParamInfo>::failure("no parameter " + std::to_string(id));
        // Written this way round so that NaN clamps to 0 as well.
        const double clamped = normalized > 0.0 ? (normalized < 1.0 ? normalized : 1.0) : 0.0;
        gain_->store(clamped);
        return gain_param_info(clamped);
    }

    Outcome<std::vector<std::uint8_t>> save_state() override {
        const double value = gain_->load();
        std::uint64_t bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        std::vector<std::uint8_t> bytes(8);
        for (std::size_t i = 0; i < 8; ++i) bytes[i] = static_cast<std::uint8_t>(bits >> (8 * i));  // little-endian
        return bytes;
    }

    Status load_state(const std::vector<std::uint8_t>& bytes) override {
        if (bytes.size() != 8) return Status::failure("state is not 8 bytes");
        std::uint64_t bits = 0;
        for (std::size_t i = 0; i < 8; ++i) bits |= std::uint64_t{bytes[i]} << (8 * i);
        double value = 0.0;
        std::memcpy(&value, &bits, sizeof value);
        gain_->store(value);  // stored as saved, without clamping
        return ok_status();
    }

    std::uint32_t latency() override { return latency_; }
    bool has_editor() override { return false; }
    Outcome<EditorSize> open_editor(WindowHandle) override {
        return Outcome<EditorSize>::failure("this plugin has no window of its own");
    }
    void close_editor() override {}
    void editor_resized(std::uint32_t, std::uint32_t) override {}
    void poll(std::vector<Notice>&) override {}
    Status reactivate() override { return ok_status(); }

private:
    SharedGain gain_;
    std::uint32_t latency_;
};

struct ProcessorSetup {
    bool stereo = false;
    std::uint64_t delay_samples = 0;
    std::uint64_t hang_ms = 0;
    std::optional<std::uint64_t> abort_block;
};

class InternalProcessor final : public PluginProcessor {
public:
    InternalProcessor(SharedGain gain, const ProcessorSetup& setup)
        : gain_(std::move(gain)),
          stereo_(setup.stereo),
          abort_block_(setup.abort_block),
          hang_ms_(setup.hang_ms),
          delay_line_(setup.delay_samples, 0.0f) {
        if (hang_ms_ != 0) sleeper_ = ovplat::PreciseSleeper::create();
    }

    bool start() override { return true; }
    void stop() override {}

    void process(const float* const* inputs, std::uint32_t, float* const* outputs, std::uint32_t,
                 std::uint32_t frames) override {
        ++block_counter_;
        if (abort_block_ && block_counter_ == *abort_block_) ovplat::crash_immediately();
        if (hang_ms_ != 0) sleeper_->sleep_ms(hang_ms_);
        const auto g = static_cast<float>(2.0 * gain_->load(std::memory_order_relaxed));
        if (stereo_) {
            for (std::uint32_t i = 0; i < frames; ++i) {
                outputs[0][i] = inputs[0][i] * g;
                outputs[1][i] = inputs[1][i] * g * 0.5f;
            }
        } else if (!delay_line_.empty()) {
            const std::size_t length = delay_line_.size();
            for (std::uint32_t i = 0; i < frames; ++i) {
                const float x = inputs[0][i];  // read first: input and output may be one buffer
                outputs[0][i] = delay_line_[write_position_];
                delay_line_[write_position_] = x * g;
                write_position_ = (write_position_ + 1) % length;
            }
        } else {
            for (std::uint32_t i = 0; i < frames; ++i) outputs[0][i] = inputs[0][i] * g;
        }
    }

private:
    SharedGain gain_;
    bool stereo_;
    std::optional<std::uint64_t> abort_block_;
    std::uint64_t hang_ms_;
    std::unique_ptr<ovplat::PreciseSleeper> sleeper_;
    std::uint64_t block_counter_ = 0;
    std::vector<float> delay_line_;
    std::size_t write_position_ = 0;
};

// How each kind is built: its channels and how it reads its argument.
struct InternalKind {
    std::string_view kind;
    std::uint32_t channels;
    ProcessorSetup (*setup)(std::optional<std::string_view> argument);
};

constexpr InternalKind kInternalKinds[] = {
    {"gain", 1, [](std::optional<std::string_view>) { return ProcessorSetup{}; }},
    {"stereo", 2,
     [](std::optional<std::string_view>) {
         ProcessorSetup setup;
         setup.stereo = true;
         return setup;
     }},
    {"delay", 1,
     [](std::optional<std::string_view> argument) {
         ProcessorSetup setup;
         setup.delay_samples = std::min(parse_count(argument).value_or(kDefaultDelaySamples), kMaxDelaySamples);
         return setup;
     }},
    {"hang", 1,
     [](std::optional<std::string_view> argument) {
         ProcessorSetup setup;
         setup.hang_ms = parse_count(argument).value_or(kDefaultHangMs);
         return setup;
     }},
    {"abort", 1,
     [](std::optional<std::string_view> argument) {
         ProcessorSetup setup;
         setup.abort_block = std::max<std::uint64_t>(parse_count(argument).value_or(kDefaultAbortBlock), 1);
         return setup;
     }},
};

// Imitations of plug-ins that never come back from loading, for Orvia's load time-out and
// crash handling.
[[noreturn]] void hang_forever() {
    for (;;) ovplat::sleep_ms(1000);
}

}  // namespace

Outcome<LoadedPlugin> create_internal_plugin(std::string_view name) {
    // Read at every creation so that the switch can change while the host runs.
    if (ovplat::env_var(kInternalSwitchVariable) != std::optional<std::string>("1")) {
        return Outcome<LoadedPlugin>::failure("internal test plugins are off in this host");
    }
    const auto colon = name.find(':');
    const std::string_view kind = name.substr(0, colon);
    const std::optional<std::string_view> argument =
        colon == std::string_view::npos ? std::nullopt : std::optional(name.substr(colon + 1));

    if (kind == "hangload") hang_forever();
    if (kind == "abortload") ovplat::crash_immediately();

    for (const InternalKind& entry : kInternalKinds) {
        if (entry.kind != kind) continue;
        auto gain = std::make_shared<std::atomic<double>>(kDefaultGain);
        const ProcessorSetup setup = entry.setup(argument);
        LoadedPlugin plugin;
        plugin.name = "Test " + std::string(kind);
        plugin.vendor = "Orvia";
        plugin.inputs = entry.channels;
        plugin.outputs = entry.channels;
        plugin.instance = std::make_unique<InternalInstance>(gain, static_cast<std::uint32_t>(setup.delay_samples));
        plugin.processor = std::make_unique<InternalProcessor>(gain, setup);
        return Outcome<LoadedPlugin>(std::move(plugin));
    }
    return Outcome<LoadedPlugin>::failure("no internal plugin \"" + std::string(name) + "\"");
}

}  // namespace ovhost
