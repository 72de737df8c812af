#pragma once
// What the real ov-pluginhost must print and answer for our CLAP test plug-ins
// (tests/plugins/clap), shared by the native runs and the runs of the Windows build under
// Wine. Paths are given as the host sees them: a folder and its separator.
#include <string>
#include <vector>

#include "ov/json.h"

namespace ovtest::clap {

// The test plug-ins' folder and file names as a given host sees them.
struct Place {
    std::string folder;  // without a final separator
    char separator = '/';
    std::string file(const std::string& name) const { return folder + separator + name; }
    std::string effects() const { return file("ov-test-effects.clap"); }
};

inline std::string json_text(const std::string& text) { return ov::to_compact_json(ov::Json(text)); }

// One scan entry of the effects file, keys in ascending order.
struct ScanEntry {
    const char* uid;  // after "org.orvia.test."
    const char* name;
    const char* category;
    bool has_editor;
    int inputs, outputs, params;
};

inline const std::vector<ScanEntry>& effects_entries() {
    static const std::vector<ScanEntry> entries = {
        {"gain", "Test Gain", "audio-effect|utility", false, 2, 2, 6},
        {"probe", "Test Probe", "audio-effect|analyzer", false, 2, 2, 17},
        {"sidechain", "Test Sidechain", "audio-effect|delay", false, 2, 2, 0},
        {"wide", "Test Wide", "", false, 1, 8, 0},
        {"mono", "Test Mono", "audio-effect|utility", false, 1, 1, 0},
        {"editor", "Test Editor", "audio-effect|utility", true, 2, 2, 6},
        {"editor-otherapi", "Test Editor Other Api", "audio-effect|utility", false, 2, 2, 6},
        {"editor-nocreate", "Test Editor No Create", "audio-effect|utility", true, 2, 2, 6},
        {"editor-noparent", "Test Editor No Parent", "audio-effect|utility", true, 2, 2, 6},
    };
    return entries;
}

inline const std::vector<std::pair<const char*, const char*>>& effects_skipped() {
    static const std::vector<std::pair<const char*, const char*>> skipped = {
        {"Test Synth", "not an audio effect: it has no audio input (an instrument?) or no output"},
        {"Test Init Fails", "the plugin would not initialise"},
        {"Test Activate Fails", "the plugin would not activate at 48 kHz"},
        {"Test No Instance", "the plugin would not create an instance"},
    };
    return skipped;
}

// The whole report line of a scan of the effects file at `path`.
inline std::string effects_scan_line(const std::string& path) {
    const auto flag = [](bool b) { return b ? std::string("true") : std::string("false"); };
    std::string line = "OVP {\"scan\":[";
    bool first = true;
    for (const auto& e : effects_entries()) {
        if (!first) line += ",";
        first = false;
        line += "{\"category\":\"" + std::string(e.category) + "\",\"hasEditor\":" + flag(e.has_editor) +
                ",\"inputs\":" + std::to_string(e.inputs) + ",\"kind\":\"clap\",\"latency\":0,\"monoOk\":" +
                flag(e.inputs == 1 && e.outputs == 1) + ",\"name\":\"" + e.name +
                "\",\"outputs\":" + std::to_string(e.outputs) + ",\"params\":" + std::to_string(e.params) +
                ",\"path\":" + json_text(path) + ",\"stereoOk\":" + flag(e.inputs == 2 && e.outputs == 2) +
                ",\"uid\":\"org.orvia.test." + e.uid + "\",\"vendor\":\"Orvia Tests\",\"version\":\"1.0.0\"}";
    }
    line += "],\"skipped\":[";
    first = true;
    for (const auto& [name, error] : effects_skipped()) {
        if (!first) line += ",";
        first = false;
        line += "{\"error\":\"" + std::string(error) + "\",\"name\":\"" + name + "\"}";
    }
    return line + "]}\n";
}

// A file that cannot be loaded and the loader's message for it.
struct LoadFailure {
    std::string what;
    std::string path;
    std::string error;         // the whole message, or its start when `system_text`
    bool system_text = false;  // the message goes on with the system's reason and ")"
};

inline std::vector<LoadFailure> load_failures(const Place& place) {
    const std::string text_file = place.file("ov-test-text.clap");
    return {
        {"missing file", place.file("missing.clap"), place.file("missing.clap") + " is not a CLAP file"},
        {"a folder", place.file("folder.clap"), place.file("folder.clap") + " is not a CLAP file"},
        {"not a library", text_file, "could not load " + text_file + " (", true},
        {"no entry", place.file("ov-test-noentry.clap"), "not a CLAP plugin (no clap_entry)"},
        {"pre-1.0", place.file("ov-test-old.clap"), "the plugin was built for a pre-1.0 CLAP"},
        {"init fails", place.file("ov-test-noinit.clap"), "the plugin's clap_entry.init failed"},
        {"no factory", place.file("ov-test-nofactory.clap"), "the plugin has no plugin factory"},
        // Only the rack protocol can carry a zero byte in a path.
        {"zero byte", place.effects() + std::string(1, '\0') + "x", "bad path"},
    };
}

inline bool message_matches(const std::string& got, const std::string& want, bool system_text) {
    if (!system_text) return got == want;
    return got.rfind(want, 0) == 0 && got.size() > want.size() + 1 && got.back() == ')';
}

inline ov::Json clap_slot(std::uint32_t key, const std::string& path, const std::string& id,
                          const ov::Json& extra = ov::Json::object()) {
    ov::Json slot = {{"key", key}, {"kind", "clap"}, {"path", path}, {"uid", "org.orvia.test." + id}};
    for (const auto& [name, value] : extra.items()) slot[name] = value;
    return slot;
}

// Slots that load with a warning or fail after the file loaded; key -> expected `error`.
struct SlotCase {
    std::uint32_t key;
    const char* id;
    const char* state;  // base64, or null for none
    bool ok;
    std::string error;  // empty: null
};

inline std::vector<SlotCase> instance_slot_cases() {
    const std::string warning = "loaded, but its saved settings were not restored: ";
    return {
        {21, "gone", nullptr, false, "the file no longer has that plugin"},
        {22, "synth", nullptr, false, "not an audio effect: it has no audio input (an instrument?) or no output"},
        {23, "initfail", nullptr, false, "the plugin would not initialise"},
        {24, "activatefail", nullptr, false, "the plugin would not activate at 48 kHz"},
        {25, "nocreate", nullptr, false, "the plugin would not create an instance"},
        {26, "gain", "AAAA", true, warning + "the plugin refused its saved state"},
        {27, "probe", "AAAA", true, warning + "this plugin saves no state"},
        {28, "wide", nullptr, true, ""},
    };
}

inline ov::Json instance_slots(const Place& place) {
    std::vector<ov::Json> slots;
    for (const auto& c : instance_slot_cases()) {
        ov::Json extra = ov::Json::object();
        if (c.state != nullptr) extra["state"] = c.state;
        slots.push_back(clap_slot(c.key, place.effects(), c.id, extra));
    }
    return ov::Json(slots);
}

// Requests on the slots of instance_slots() and the errors they get.
struct RequestCase {
    ov::Json request;
    std::string error;
};

inline std::vector<RequestCase> refused_requests() {
    return {
        {{{"cmd", "setParam"}, {"key", 26}, {"param", 4242}, {"value", 0.5}}, "no parameter 4242"},
        {{{"cmd", "setParam"}, {"key", 26}, {"param", 5}, {"value", 0.5}}, "Meter is read-only"},
        {{{"cmd", "setParam"}, {"key", 28}, {"param", 1}, {"value", 0.5}}, "no parameter 1"},
        {{{"cmd", "getState"}, {"key", 27}}, "this plugin saves no state"},
        {{{"cmd", "getState"}, {"key", 28}}, "the plugin would not save its state"},
    };
}

// The Action parameter of the gain and editor test plug-ins (see effects.cpp there).
inline ov::Json action(std::uint32_t key, int value) {
    return {{"cmd", "setParam"}, {"key", key}, {"param", 9}, {"value", value / 20.0}};
}

inline ov::Json set_param(std::uint32_t key, std::uint32_t param, double value) {
    return {{"cmd", "setParam"}, {"key", key}, {"param", param}, {"value", value}};
}

// The gain plug-in's Gain parameter after it was set to 0.75 (plain 12) and a block ran.
inline const char* kGainAt12 =
    R"({"automatable":true,"default":0.5,"id":1,"name":"Gain","readOnly":false,"steps":0,"text":"12.0 dB","units":"","value":0.75})";

// The gain plug-in's state with Gain 12 and Mode 0: "OVCS", then two little-endian doubles.
inline const char* kGainStateAt12 = "T1ZDUwAAAAAAAChAAAAAAAAAAAA=";

}  // namespace ovtest::clap
