// A stereo gain with an editor of its own: out = gain x in.
#include "DistrhoPlugin.hpp"

START_NAMESPACE_DISTRHO

class EditorPlugin : public Plugin {
public:
    EditorPlugin() : Plugin(1, 0, 0) {}

protected:
    const char* getLabel() const override { return "dpf_editor"; }
    const char* getMaker() const override { return "Orvia Tests"; }
    const char* getLicense() const override { return "ISC"; }
    uint32_t getVersion() const override { return d_version(2, 0, 1); }
    int64_t getUniqueId() const override { return d_cconst('O', 'v', 'E', 'd'); }

    void initParameter(uint32_t, Parameter& parameter) override {
        parameter.hints = kParameterIsAutomatable;
        parameter.name = "Gain";
        parameter.symbol = "gain";
        parameter.unit = "x";
        parameter.ranges = ParameterRanges(1, 0, 2);
    }

    float getParameterValue(uint32_t) const override { return fGain; }
    void setParameterValue(uint32_t, float value) override { fGain = value; }

    void run(const float** inputs, float** outputs, uint32_t frames) override {
        for (uint32_t c = 0; c < 2; ++c)
            for (uint32_t i = 0; i < frames; ++i) outputs[c][i] = fGain * inputs[c][i];
    }

private:
    float fGain = 1;

    DISTRHO_DECLARE_NON_COPYABLE(EditorPlugin)
};

Plugin* createPlugin() { return new EditorPlugin(); }

END_NAMESPACE_DISTRHO
