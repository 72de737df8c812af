#pragma once
// Shared pieces of the audio-loop tests: an in-memory mapping playing Orvia's side, a
// scriptable fake processor and an environment switch for the built-in plug-ins.
#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/shared_memory.h"
#include "platform/thread.h"
#include "unit.h"

namespace ovhost::testing {

// 31232 zeroed bytes with Orvia's header fields filled in.
struct InMemoryMapping {
    explicit InMemoryMapping(std::uint32_t channels = 2) {
        view.set_magic(layout::kMagic);
        view.set_version(layout::kLayoutVersion);
        view.set_channels(channels);
    }

    // Writes block `sequence` into the input ring (value of frame i on channel c from
    // `sample`) and publishes it.
    void publish(std::uint64_t sequence, const std::function<float(std::uint32_t channel, std::uint32_t frame)>& sample) {
        write_input(sequence, sample);
        view.set_input_seq(sequence);
    }
    void write_input(std::uint64_t sequence,
                     const std::function<float(std::uint32_t channel, std::uint32_t frame)>& sample) {
        for (std::uint32_t channel = 0; channel < 2; ++channel) {
            float* samples = view.input_channel(sequence, channel);
            for (std::uint32_t frame = 0; frame < kBlockFrames; ++frame) samples[frame] = sample(channel, frame);
        }
    }
    std::vector<float> output(std::uint64_t sequence, std::uint32_t channel) const {
        const float* samples = view.output_channel(sequence, channel);
        return std::vector<float>(samples, samples + kBlockFrames);
    }

    alignas(64) std::array<std::uint8_t, layout::kMappingSize> bytes{};
    AudioMapping view{bytes.data()};
};

// What a FakeProcessor saw; shared so that the test can read it after the chain moved.
struct FakeProcessorLog {
    std::atomic<int> starts{0};
    std::atomic<int> stops{0};
    std::atomic<int> blocks{0};
    std::atomic<bool> refuses_start{false};  // as a plug-in that is not active
    std::vector<std::vector<float>> last_inputs;
    std::uint32_t last_input_count = 0;
    std::uint32_t last_output_count = 0;
    std::int32_t audio_slot_key_seen = 0;
};

// Copies input k to output k scaled by `factor` (inputs beyond the outputs are ignored,
// outputs beyond the inputs are filled with `extra_output_value`). Records everything.
class FakeProcessor final : public PluginProcessor {
public:
    FakeProcessor(std::shared_ptr<FakeProcessorLog> log, float factor, const AudioMapping* mapping = nullptr,
                  float extra_output_value = 0.0f)
        : log_(std::move(log)), factor_(factor), mapping_(mapping), extra_output_value_(extra_output_value) {}

    bool start() override {
        ++log_->starts;
        return !log_->refuses_start;
    }
    void stop() override { ++log_->stops; }
    void process(const float* const* inputs, std::uint32_t input_count, float* const* outputs,
                 std::uint32_t output_count, std::uint32_t frames) override {
        ++log_->blocks;
        log_->last_input_count = input_count;
        log_->last_output_count = output_count;
        if (mapping_ != nullptr) log_->audio_slot_key_seen = mapping_->audio_slot_key();
        if (log_->last_inputs.size() == input_count) {
            for (std::uint32_t c = 0; c < input_count; ++c) std::copy_n(inputs[c], frames, log_->last_inputs[c].begin());
        }
        for (std::uint32_t c = 0; c < output_count; ++c) {
            for (std::uint32_t i = 0; i < frames; ++i) {
                outputs[c][i] = c < input_count ? inputs[c][i] * factor_ : extra_output_value_;
            }
        }
    }

private:
    std::shared_ptr<FakeProcessorLog> log_;
    float factor_;
    const AudioMapping* mapping_;
    float extra_output_value_;
};

// An event for the loop's run_turn() made from a Wakeup, so that no named object is needed.
class WakeupEvent final : public ovplat::NamedEvent {
public:
    WakeupEvent() : wakeup_(ovplat::Wakeup::create()) {}
    void set() override { wakeup_->set(); }
    bool wait(std::uint32_t timeout_ms) override { return wakeup_->wait(timeout_ms); }

private:
    std::unique_ptr<ovplat::Wakeup> wakeup_;
};

// Sets an environment variable for the lifetime of the object (unset when `value` is empty
// optional), restoring the previous state afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) previous_ = std::string(old);
        apply(value);
    }
    ~ScopedEnv() { apply(previous_); }

private:
    void apply(const std::optional<std::string>& value) {
        if (value) {
            setenv(name_, value->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }
    const char* name_;
    std::optional<std::string> previous_;
};

}  // namespace ovhost::testing
