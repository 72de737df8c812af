// A stereo delay whose delay is its reported latency: out = sign x gain x in, delayed by
// "Delay" samples (64 at first). Its "polarity" state ("normal" or "inverted") sets the sign,
// so a saved state that travels through the host shows in the audio.
#include <cstring>

#include "DistrhoPlugin.hpp"

START_NAMESPACE_DISTRHO

namespace {
enum : uint32_t { kDelay, kGain, kParameterCount };
constexpr uint32_t kMaxDelay = 256;
constexpr uint32_t kStartDelay = 64;
}  // namespace

class DelayPlugin : public Plugin {
public:
    DelayPlugin() : Plugin(kParameterCount, 0, 1) {
        setLatency(kStartDelay);
        clear();
    }

protected:
    const char* getLabel() const override { return "dpf_delay"; }
    const char* getDescription() const override { return "Delays by its latency"; }
    const char* getMaker() const override { return "Orvia Tests"; }
    const char* getLicense() const override { return "ISC"; }
    uint32_t getVersion() const override { return d_version(1, 2, 3); }
    int64_t getUniqueId() const override { return d_cconst('O', 'v', 'D', 'l'); }

    void initParameter(uint32_t index, Parameter& parameter) override {
        if (index == kDelay) {
            // Not automatable: a new delay changes the latency, which takes a restart.
            parameter.hints = kParameterIsInteger;
            parameter.name = "Delay";
            parameter.symbol = "delay";
            parameter.unit = "samples";
            parameter.ranges = ParameterRanges(kStartDelay, 0, kMaxDelay);
        } else {
            parameter.hints = kParameterIsAutomatable;
            parameter.name = "Gain";
            parameter.symbol = "gain";
            parameter.unit = "x";
            parameter.ranges = ParameterRanges(1, 0, 2);
        }
    }

    void initState(uint32_t, State& state) override {
        state.key = "polarity";
        state.defaultValue = "normal";
        state.label = "Polarity";
    }

    float getParameterValue(uint32_t index) const override { return index == kDelay ? float(fDelay) : fGain; }

    void setParameterValue(uint32_t index, float value) override {
        if (index == kDelay)
            fWantedDelay = value < 0 ? 0 : value > kMaxDelay ? kMaxDelay : uint32_t(value + 0.5f);
        else
            fGain = value;
    }

    void setState(const char* key, const char* value) override {
        if (std::strcmp(key, "polarity") == 0) fInverted = std::strcmp(value, "inverted") == 0;
    }

    void activate() override { clear(); }

    void run(const float** inputs, float** outputs, uint32_t frames) override {
        // The framework lets the latency change only from run (and activate).
        if (fWantedDelay != fDelay) {
            fDelay = fWantedDelay;
            setLatency(fDelay);
            clear();
        }
        const float scale = fInverted ? -fGain : fGain;
        for (uint32_t c = 0; c < 2; ++c) {
            float* line = fLines[c];
            for (uint32_t i = 0; i < frames; ++i) {
                const float in = inputs[c][i];
                float out = in;
                if (fDelay > 0) {
                    out = line[fPosition[c]];
                    line[fPosition[c]] = in;
                    fPosition[c] = (fPosition[c] + 1) % fDelay;
                }
                outputs[c][i] = scale * out;
            }
        }
    }

private:
    void clear() {
        std::memset(fLines, 0, sizeof(fLines));
        fPosition[0] = fPosition[1] = 0;
    }

    uint32_t fDelay = kStartDelay;
    uint32_t fWantedDelay = kStartDelay;
    float fGain = 1;
    bool fInverted = false;
    float fLines[2][kMaxDelay];
    uint32_t fPosition[2];

    DISTRHO_DECLARE_NON_COPYABLE(DelayPlugin)
};

Plugin* createPlugin() { return new DelayPlugin(); }

END_NAMESPACE_DISTRHO
