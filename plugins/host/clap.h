#pragma once
// CLAP plug-ins: files, their descriptors, and instances created from them.
#include "formats.h"
#include "plugin.h"

#include <string>

namespace ovhost {

// The plug-in of a rack slot of kind "clap": `uid` is the plug-in id.
Outcome<LoadedPlugin> load_clap_slot_plugin(const std::string& path, const std::string& uid);

}  // namespace ovhost
