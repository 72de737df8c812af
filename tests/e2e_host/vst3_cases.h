#pragma once
// What the real ov-pluginhost must print and answer for our VST3 test modules
// (tests/plugins/vst3), shared by the native runs and the runs of the Windows build under
// Wine. Paths are given as the host sees them.
#include <string>
#include <vector>

#include "ov/json.h"

namespace ovtest::vst3 {

// The test modules' folder as a given host sees it, and that system's bundle layout.
struct Place {
    std::string folder;  // without a final separator
    char separator = '/';
    std::string arch = "x86_64-linux";
    std::string binary_extension = ".so";

    std::string file(const std::string& name) const { return folder + separator + name; }
    std::string bundle() const { return file("OvFx.vst3"); }
    std::string failing() const { return file("OvFxFailing.vst3"); }
    std::string plain() const { return file("OvFxPlain.VST3"); }
    // The binary a bundle folder at `path` named `stem`.vst3 is loaded from.
    std::string bundle_binary(const std::string& path, const std::string& stem) const {
        return path + separator + "Contents" + separator + arch + separator + stem + binary_extension;
    }
};

inline std::string uid_of(unsigned tag) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return std::string("4F5646580000000000000000000000") + kDigits[tag >> 4] + kDigits[tag & 0xF];
}

inline ov::Json vst3_slot(std::uint32_t key, const std::string& path, unsigned tag,
                          const ov::Json& extra = ov::Json::object()) {
    ov::Json slot = {{"key", key}, {"kind", "vst3"}, {"path", path}, {"uid", uid_of(tag)}};
    for (const auto& [name, value] : extra.items()) slot[name] = value;
    return slot;
}

// One scan entry, keys in the order the host writes them (ascending).
struct ScanEntry {
    unsigned tag;
    const char* name;
    const char* vendor;
    const char* version;
    const char* category;
    bool has_editor;
    bool mono_ok;
    int channels;  // of the stereo request, both directions
    int params;
};

inline std::string scan_line(const std::string& path, const std::vector<ScanEntry>& entries,
                             const std::vector<std::pair<const char*, const char*>>& skipped) {
    const auto flag = [](bool b) { return b ? std::string("true") : std::string("false"); };
    const auto text = [](const std::string& s) { return ov::to_compact_json(ov::Json(s)); };
    std::string line = "OVP {\"scan\":[";
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const ScanEntry& e = entries[i];
        if (i > 0) line += ",";
        line += "{\"category\":" + text(e.category) + ",\"hasEditor\":" + flag(e.has_editor) +
                ",\"inputs\":" + std::to_string(e.channels) + ",\"kind\":\"vst3\",\"latency\":0,\"monoOk\":" +
                flag(e.mono_ok) + ",\"name\":" + text(e.name) + ",\"outputs\":" + std::to_string(e.channels) +
                ",\"params\":" + std::to_string(e.params) + ",\"path\":" + text(path) +
                ",\"stereoOk\":" + flag(e.channels == 2) + ",\"uid\":\"" + uid_of(e.tag) + "\",\"vendor\":" +
                text(e.vendor) + ",\"version\":" + text(e.version) + "}";
    }
    line += "],\"skipped\":[";
    for (std::size_t i = 0; i < skipped.size(); ++i) {
        if (i > 0) line += ",";
        line += "{\"error\":" + text(skipped[i].second) + ",\"name\":" + text(skipped[i].first) + "}";
    }
    return line + "]}\n";
}

// The bundle's effects (the controller class and "Classic" are no effects).
inline std::vector<ScanEntry> bundle_entries(bool with_factory2) {
    std::vector<ScanEntry> entries = {
        {1, "Gain Single", "Orvia Tests", "1.0.0", "Fx", true, true, 2, 8},
        {2, "Gain Split", "Split Works", "2.1", "Fx|Dynamics", true, true, 2, 8},
        {3, "Stereo Only", "Orvia Tests", "1.0.0", "Fx", true, false, 2, 8},
        {4, "Side Chain", "Orvia Tests", "1.0.0", "Fx|Sidechain", false, true, 2, 8},
        {5, "Block 512", "Orvia Tests", "1.0.0", "Fx", true, true, 2, 8},
        {6, "Many Params", "Orvia Tests", "1.0.0", "Fx", false, true, 2, 88},
        {7, "Bare", "Orvia Tests", "1.0.0", "Fx", false, true, 2, 0},
        {8, "Surround", "Orvia Tests", "1.0.0", "Fx", false, false, 6, 8},
    };
    if (!with_factory2)
        for (auto& e : entries) e.vendor = "Orvia Tests", e.version = "", e.category = "";
    return entries;
}

inline std::string failing_scan_line(const std::string& path) {
    return scan_line(path, {{0x19, "No Save", "Orvia Tests", "1", "Fx", false, true, 2, 8}},
                     {{"No Component", "the plugin would not create its component"},
                      {"Init Fails", "the plugin's component would not initialise"},
                      {"No Processor", "not an audio effect (no IAudioProcessor)"},
                      {"Synth", "not an audio effect: it has no audio input (an instrument?) or no output"},
                      {"No Float", "the plugin cannot process 32-bit float audio"},
                      {"No 48k", "the plugin refused 48 kHz with 480-frame blocks"},
                      {"No Activate", "the plugin would not activate"}});
}

// Files whose scan is one error line.
struct ScanErrorCase {
    std::string path;
    std::string error;
};

inline std::vector<ScanErrorCase> scan_error_cases(const Place& place, const std::string& empty_bundle) {
    return {
        {place.file("OvFxInitFails.vst3"), "the plugin's InitDll failed"},
        {place.file("OvFxNoExport.vst3"), "not a VST3 module (no GetPluginFactory)"},
        {place.file("OvFxNullFactory.vst3"), "the plugin returned no factory"},
        {place.file("Missing.vst3"), place.file("Missing.vst3") + " is not a VST3 module (no " + place.file("Missing.vst3") + ")"},
        {empty_bundle, empty_bundle + " is not a VST3 module (no " + place.bundle_binary(empty_bundle, "Empty") + ")"},
    };
}

// Slots that do not load, with the message Orvia gets in the slot result.
struct SlotFailure {
    ov::Json slot;
    std::string error;
};

inline std::vector<SlotFailure> slot_failures(const Place& place) {
    auto slot = [](const std::string& path, const std::string& uid) {
        return ov::Json{{"kind", "vst3"}, {"path", path}, {"uid", uid}};
    };
    const std::string short_uid = uid_of(1).substr(1);
    return {
        {slot(place.bundle(), short_uid), "\"" + short_uid + "\" is not a VST3 class id"},
        {slot(place.bundle(), uid_of(1) + "0"), "\"" + uid_of(1) + "0\" is not a VST3 class id"},
        {slot(place.bundle(), uid_of(0x70)), "the module no longer has that plugin"},
        {slot(place.file("OvFxInitFails.vst3"), uid_of(1)), "the plugin's InitDll failed"},
        {slot(place.file("OvFxNoExport.vst3"), uid_of(1)), "not a VST3 module (no GetPluginFactory)"},
        {slot(place.file("OvFxNullFactory.vst3"), uid_of(1)), "the plugin returned no factory"},
        {slot(place.file("Missing.vst3"), uid_of(1)),
         place.file("Missing.vst3") + " is not a VST3 module (no " + place.file("Missing.vst3") + ")"},
        {slot(place.failing(), uid_of(0x11)), "the plugin would not create its component"},
        {slot(place.failing(), uid_of(0x12)), "the plugin's component would not initialise"},
        {slot(place.failing(), uid_of(0x13)), "not an audio effect (no IAudioProcessor)"},
        {slot(place.failing(), uid_of(0x14)), "not an audio effect: it has no audio input (an instrument?) or no output"},
        {slot(place.failing(), uid_of(0x15)), "the plugin cannot process 32-bit float audio"},
        {slot(place.failing(), uid_of(0x16)), "the plugin refused 48 kHz with 480-frame blocks"},
        {slot(place.failing(), uid_of(0x17)), "the plugin would not activate"},
    };
}

// Requests on loaded slots that fail, with their error (slot 1 "Gain Single", slot 2
// "Bare", slot 3 "No Save", slot 4 "Side Chain", slot 5 "Block 512").
inline std::vector<std::pair<ov::Json, std::string>> request_failures() {
    return {
        {{{"cmd", "setParam"}, {"key", 1}, {"param", 2}, {"value", 0.5}}, "Meter is read-only"},
        {{{"cmd", "setParam"}, {"key", 1}, {"param", 999}, {"value", 0.5}}, "no parameter 999"},
        {{{"cmd", "setParam"}, {"key", 2}, {"param", 0}, {"value", 0.5}}, "this plugin exposes no parameters"},
        {{{"cmd", "getState"}, {"key", 3}}, "the plugin would not save its state"},
    };
}

}  // namespace ovtest::vst3
