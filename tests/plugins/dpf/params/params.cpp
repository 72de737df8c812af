// A stereo effect with one parameter of each kind the framework offers a host: a continuous
// gain, a boolean, an enumeration that routes the channels, a stepped integer and an output
// that reports what the effect applied. out = sign x gain x halving^steps x route(in).
#include "DistrhoPlugin.hpp"

START_NAMESPACE_DISTRHO

namespace {
enum : uint32_t { kGain, kInvert, kRoute, kHalvings, kApplied, kParameterCount };
enum Route : uint32_t { kStraight, kSwap, kLeft, kRight };
}  // namespace

class ParamsPlugin : public Plugin {
public:
    ParamsPlugin() : Plugin(kParameterCount, 0, 0) {}

protected:
    const char* getLabel() const override { return "dpf_params"; }
    const char* getMaker() const override { return "Orvia Tests"; }
    const char* getLicense() const override { return "ISC"; }
    uint32_t getVersion() const override { return d_version(0, 4, 0); }
    int64_t getUniqueId() const override { return d_cconst('O', 'v', 'P', 'm'); }

    void initParameter(uint32_t index, Parameter& parameter) override {
        switch (index) {
        case kGain:
            parameter.hints = kParameterIsAutomatable;
            parameter.name = "Gain";
            parameter.symbol = "gain";
            parameter.unit = "x";
            parameter.ranges = ParameterRanges(1, 0, 4);
            break;
        case kInvert:
            parameter.hints = kParameterIsAutomatable | kParameterIsBoolean;
            parameter.name = "Invert";
            parameter.symbol = "invert";
            parameter.ranges = ParameterRanges(0, 0, 1);
            break;
        case kRoute: {
            parameter.hints = kParameterIsAutomatable | kParameterIsInteger;
            parameter.name = "Route";
            parameter.symbol = "route";
            parameter.ranges = ParameterRanges(kStraight, kStraight, kRight);
            ParameterEnumerationValue* const values = new ParameterEnumerationValue[4];
            values[0] = ParameterEnumerationValue(kStraight, "Straight");
            values[1] = ParameterEnumerationValue(kSwap, "Swap");
            values[2] = ParameterEnumerationValue(kLeft, "Left");
            values[3] = ParameterEnumerationValue(kRight, "Right");
            parameter.enumValues.count = 4;
            parameter.enumValues.restrictedMode = true;
            parameter.enumValues.values = values;
            break;
        }
        case kHalvings:
            // Integer, but not automatable.
            parameter.hints = kParameterIsInteger;
            parameter.name = "Halvings";
            parameter.symbol = "halvings";
            parameter.ranges = ParameterRanges(0, 0, 3);
            break;
        case kApplied:
            parameter.hints = kParameterIsOutput;
            parameter.name = "Applied";
            parameter.symbol = "applied";
            parameter.ranges = ParameterRanges(0, -4, 4);
            break;
        }
    }

    float getParameterValue(uint32_t index) const override { return fValues[index]; }

    void setParameterValue(uint32_t index, float value) override {
        if (index != kApplied) fValues[index] = value;
    }

    void run(const float** inputs, float** outputs, uint32_t frames) override {
        float scale = fValues[kInvert] > 0.5f ? -fValues[kGain] : fValues[kGain];
        for (int h = int(fValues[kHalvings] + 0.5f); h > 0; --h) scale *= 0.5f;
        fValues[kApplied] = scale;
        const uint32_t route = uint32_t(fValues[kRoute] + 0.5f);
        const float* left = route == kSwap || route == kRight ? inputs[1] : inputs[0];
        const float* right = route == kSwap || route == kLeft ? inputs[0] : inputs[1];
        for (uint32_t i = 0; i < frames; ++i) {
            const float l = left[i], r = right[i];
            outputs[0][i] = scale * l;
            outputs[1][i] = scale * r;
        }
    }

private:
    float fValues[kParameterCount] = {1, 0, kStraight, 0, 1};

    DISTRHO_DECLARE_NON_COPYABLE(ParamsPlugin)
};

Plugin* createPlugin() { return new ParamsPlugin(); }

END_NAMESPACE_DISTRHO
