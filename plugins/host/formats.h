#pragma once
// Where the host core meets the plug-in formats: what a scan probes in a plug-in file, and
// how a rack slot's plug-in is created from its kind, path and uid.
#include "plugin.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ovhost {

// One effect class of a plug-in file (or one internal name) as a scan probes it.
struct ScanCandidate {
    std::string name;      // reported with a failed probe
    std::string uid;       // class ID as 32 upper-case hex digits, CLAP id, or internal name
    std::string version;
    std::string category;
    // Creates an instance asking for 1 or 2 channels; formats without a channel request
    // ignore it.
    std::function<Outcome<LoadedPlugin>(std::uint32_t channels)> create;
};

// Loads a plug-in file and lists its effect classes in class order; fails with the loader's
// message when the file cannot be loaded at all.
Outcome<std::vector<ScanCandidate>> vst3_scan_candidates(const std::string& path);
Outcome<std::vector<ScanCandidate>> clap_scan_candidates(const std::string& path);

// The plug-in of a rack slot: "internal" (uid is the internal name), "vst3" (uid is the
// class ID; asks for `rack_channels`), "clap" (uid is the plug-in id); another kind fails
// with 'unknown plugin format "{}"'.
Outcome<LoadedPlugin> load_slot_plugin(std::string_view kind, const std::string& path, const std::string& uid,
                                       std::uint32_t rack_channels);

// A VST3 class ID given as exactly 32 hexadecimal digits (either case), two per byte.
std::optional<std::array<std::uint8_t, 16>> parse_vst3_class_id(std::string_view uid);

// The message for a uid that is not a VST3 class ID: '"{}" is not a VST3 class id'.
std::string not_a_vst3_class_id_message(std::string_view uid);

}  // namespace ovhost
