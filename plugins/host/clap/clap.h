#pragma once
// CLAP plug-ins: files, their descriptors, and instances created from them.
#include <memory>
#include <string>
#include <vector>

#include "clap/abi.h"
#include "formats.h"
#include "plugin.h"

namespace ovhost {

// A loaded CLAP file: its entry and plug-in factory. The file stays loaded for the life of
// the process and its entry is initialised once.
struct ClapModule {
    const clapabi::clap_plugin_entry* entry = nullptr;
    const clapabi::clap_plugin_factory* factory = nullptr;
};

// One plug-in the factory offers, texts as UTF-8 (invalid sequences replaced).
struct ClapDescriptorRecord {
    std::string id;
    std::string name;
    std::string vendor;
    std::string version;
    std::string category;  // the features joined with "|"
};

// Loads the CLAP file at `path` (UTF-8) and gets its plug-in factory.
Outcome<std::shared_ptr<const ClapModule>> load_clap_module(const std::string& path);

// The factory's descriptors in factory order.
std::vector<ClapDescriptorRecord> clap_descriptors(const ClapModule& module);

// An initialised instance active at 48 kHz with blocks of at most 480 frames; its ports
// decide the channel counts.
Outcome<LoadedPlugin> create_clap_plugin(std::shared_ptr<const ClapModule> module,
                                         const ClapDescriptorRecord& descriptor);

// The plug-in of a rack slot of kind "clap": `uid` is the plug-in id.
Outcome<LoadedPlugin> load_clap_slot_plugin(const std::string& path, const std::string& uid);

}  // namespace ovhost
