#pragma once
// VST3 plug-ins: modules, their effect classes, and instances created from them.
#include "formats.h"
#include "plugin.h"

#include <cstdint>
#include <string>

namespace ovhost {

// The plug-in of a rack slot of kind "vst3": `uid` is the class ID as 32 hexadecimal digits.
Outcome<LoadedPlugin> load_vst3_slot_plugin(const std::string& path, const std::string& uid,
                                            std::uint32_t rack_channels);

}  // namespace ovhost
