#pragma once
// What the real ov-pluginhost must print and answer for the test plug-ins built on DPF
// (tests/plugins/dpf), shared by the native runs and the runs of the Windows build under
// Wine. DPF is someone else's framework: these cases show how the host meets plug-ins that
// it was not written alongside.
#include <ostream>
#include <string>
#include <vector>

#include "ov/json.h"

namespace ovtest::dpf {

enum class Format { vst3, clap };

inline const char* kind_of(Format format) { return format == Format::vst3 ? "vst3" : "clap"; }
// How test names show the format.
inline void PrintTo(Format format, std::ostream* os) { *os << kind_of(format); }

// The test plug-in folders as a given host sees them, and that system's bundle layout.
struct Place {
    std::string vst3_folder;  // without a final separator
    std::string clap_folder;
    char separator = '/';

    // The file to give the host: a VST3 bundle folder or a CLAP file.
    std::string path(Format format, const std::string& name) const {
        return format == Format::vst3 ? vst3_folder + separator + name + ".vst3"
                                      : clap_folder + separator + name + ".clap";
    }
};

// One test plug-in: its binary name and what the framework makes of it in each format.
struct Plugin {
    const char* file;        // OvDpfDelay -> OvDpfDelay.vst3, OvDpfDelay.clap
    const char* vst3_uid;    // the framework's class id: "DPF ", "clas", our unique id, zeros
    const char* clap_id;
    const char* name;
    const char* version;     // VST3; the framework gives CLAP descriptors no version
    const char* vst3_category;
    const char* clap_category;
    unsigned latency;
    bool has_editor;
    unsigned params;

    std::string uid(Format format) const { return format == Format::vst3 ? vst3_uid : clap_id; }
};

inline const Plugin kDelay{"OvDpfDelay", "2046504473616C636C44764F00000000", "org.orvia.tests.dpf-delay", "DPF Delay",
                           "1.2.3", "Fx|Delay", "audio-effect|delay|stereo", 64, false, 2};
inline const Plugin kParams{"OvDpfParams", "2046504473616C636D50764F00000000", "org.orvia.tests.dpf-params",
                            "DPF Params", "0.4.0", "Fx|Tools", "audio-effect|utility", 0, false, 5};
inline const Plugin kEditor{"OvDpfEditor", "2046504473616C636445764F00000000", "org.orvia.tests.dpf-editor",
                            "DPF Editor", "2.0.1", "Fx", "audio-effect", 0, true, 1};

inline const Plugin* const kPlugins[] = {&kDelay, &kParams, &kEditor};
inline const Format kFormats[] = {Format::vst3, Format::clap};

inline ov::Json slot(std::uint32_t key, const Place& place, Format format, const Plugin& plugin,
                     const ov::Json& extra = ov::Json::object()) {
    ov::Json s = {{"key", key}, {"kind", kind_of(format)}, {"path", place.path(format, plugin.file)}, {"uid", plugin.uid(format)}};
    for (const auto& [name, value] : extra.items()) s[name] = value;
    return s;
}

// The scan line of one plug-in file. The framework's plug-ins are stereo only: a mono
// request ends up with two channels.
inline std::string scan_line(const Place& place, Format format, const Plugin& plugin) {
    const ov::Json entry = {{"category", format == Format::vst3 ? plugin.vst3_category : plugin.clap_category},
                            {"hasEditor", plugin.has_editor},
                            {"inputs", 2},
                            {"kind", kind_of(format)},
                            {"latency", plugin.latency},
                            {"monoOk", false},
                            {"name", plugin.name},
                            {"outputs", 2},
                            {"params", plugin.params},
                            {"path", place.path(format, plugin.file)},
                            {"stereoOk", true},
                            {"uid", plugin.uid(format)},
                            {"vendor", "Orvia Tests"},
                            {"version", format == Format::vst3 ? plugin.version : ""}};
    return "OVP " + ov::to_compact_json(ov::Json{{"scan", ov::Json::array({entry})}, {"skipped", ov::Json::array()}}) + "\n";
}

// Parameter ids of the delay: the framework's VST3 side puts a hidden latency parameter
// first.
inline std::uint32_t delay_param(Format format) { return format == Format::vst3 ? 1 : 0; }
inline std::uint32_t gain_param(Format format) { return format == Format::vst3 ? 2 : 1; }

// The editor's gain: with an editor, the framework's VST3 side has a separate controller and
// puts two hidden parameters first (block size and sample rate).
inline std::uint32_t editor_gain_param(Format format) { return format == Format::vst3 ? 2 : 0; }

// States of the delay in the framework's own format (text items ended by zero bytes, a 0xFE
// at the end); the VST3 ones inside the host's container, with no controller state.
//   "__dpf_state_begin__", "polarity", "inverted", "__dpf_state_end__",
//   "__dpf_parameters_begin__", "delay", <delay>, "gain", <gain>, "__dpf_parameters_end__", 0xFE
inline std::string delay_state(Format format, unsigned delay) {
    if (format == Format::vst3)
        return delay == 32 ? "T1ZWM3wAAABfX2RwZl9zdGF0ZV9iZWdpbl9fAHBvbGFyaXR5AGludmVydGVkAF9fZHBmX3N0YXRlX2VuZF9fAF9fZHBmX3BhcmFtZXRlcnNfYmVnaW5fXwBkZWxheQAzMgBnYWluADAuNQBfX2RwZl9wYXJhbWV0ZXJzX2VuZF9fAP4AAAAAAA=="
                           : "T1ZWM30AAABfX2RwZl9zdGF0ZV9iZWdpbl9fAHBvbGFyaXR5AGludmVydGVkAF9fZHBmX3N0YXRlX2VuZF9fAF9fZHBmX3BhcmFtZXRlcnNfYmVnaW5fXwBkZWxheQAxMjgAZ2FpbgAxLjUAX19kcGZfcGFyYW1ldGVyc19lbmRfXwD+AAAAAAA=";
    return delay == 32 ? "X19kcGZfc3RhdGVfYmVnaW5fXwBwb2xhcml0eQBpbnZlcnRlZABfX2RwZl9zdGF0ZV9lbmRfXwBfX2RwZl9wYXJhbWV0ZXJzX2JlZ2luX18AZGVsYXkAMzIAZ2FpbgAwLjUAX19kcGZfcGFyYW1ldGVyc19lbmRfXwD+AA=="
                       : "X19kcGZfc3RhdGVfYmVnaW5fXwBwb2xhcml0eQBpbnZlcnRlZABfX2RwZl9zdGF0ZV9lbmRfXwBfX2RwZl9wYXJhbWV0ZXJzX2JlZ2luX18AZGVsYXkAMTI4AGdhaW4AMS41AF9fZHBmX3BhcmFtZXRlcnNfZW5kX18A/gA=";
}

// The parameter test effect: ids 0..4 in both formats.
enum ParamsId : std::uint32_t { kGain, kInvert, kRoute, kHalvings, kApplied };

// Changes made one after the other, with the mix the audio must show after each:
// out = sign x gain x 2^-halvings x route(in).
struct ParamStep {
    std::uint32_t id;
    double value;        // normalized
    const char* text;    // the plug-in's text for it, read back after a block
    std::vector<std::vector<double>> mix;
};

inline std::vector<ParamStep> param_steps() {
    return {
        {kGain, 0.5, "2.000000", {{2, 0}, {0, 2}}},
        {kInvert, 1.0, "1.000000", {{-2, 0}, {0, -2}}},
        {kRoute, 1.0 / 3, "Swap", {{0, -2}, {-2, 0}}},
        {kHalvings, 1.0 / 3, "1", {{0, -1}, {-1, 0}}},
        {kRoute, 2.0 / 3, "Left", {{-1, 0}, {-1, 0}}},
    };
}

// What every parameter of the parameter test effect says of itself (value and text left
// out: they follow the changes).
inline ov::Json params_outline(Format format) {
    const bool vst3 = format == Format::vst3;
    auto p = [&](std::uint32_t id, const char* name, const char* units, int steps, double def, bool automatable, bool read_only) {
        return ov::Json{{"id", id}, {"name", name}, {"units", vst3 ? units : ""}, {"steps", steps}, {"default", def},
                        {"automatable", automatable}, {"readOnly", read_only}};
    };
    return ov::Json::array({p(kGain, "Gain", "x", 0, 0.25, true, false), p(kInvert, "Invert", "", 1, 0.0, true, false),
                            p(kRoute, "Route", "", 3, 0.0, true, false), p(kHalvings, "Halvings", "", 3, 0.0, false, false),
                            p(kApplied, "Applied", "", 0, 0.5, false, true)});
}

// Lines the framework writes on the standard error stream when a host breaks its contract
// (reference counts, asserted arguments); a clean run has none of them.
inline std::vector<std::string> framework_complaints(const std::string& error_output) {
    static const char* const kMarks[] = {"DPF warning", "VST3 warning", "assertion failure", "exception caught"};
    std::vector<std::string> found;
    std::size_t start = 0;
    while (start < error_output.size()) {
        std::size_t end = error_output.find('\n', start);
        if (end == std::string::npos) end = error_output.size();
        std::string line = error_output.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        for (const char* mark : kMarks)
            if (line.find(mark) != std::string::npos) {
                found.push_back(line);
                break;
            }
        start = end + 1;
    }
    return found;
}

inline std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) text += line + "\n";
    return text;
}

}  // namespace ovtest::dpf
