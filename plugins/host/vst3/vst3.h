#pragma once
// VST3 plug-ins: modules, their effect classes, and instances created from them.
#include "formats.h"
#include "plugin.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ovhost {

namespace vst3 {
struct IPluginFactory;
}

// A loaded VST3 module: its factory (released with the last reference) and the library,
// which stays loaded until the process ends.
struct Vst3Module {
    vst3::IPluginFactory* factory = nullptr;
    void* library = nullptr;

    Vst3Module(vst3::IPluginFactory* factory, void* library) : factory(factory), library(library) {}
    Vst3Module(const Vst3Module&) = delete;
    Vst3Module& operator=(const Vst3Module&) = delete;
    ~Vst3Module();
};

// One audio effect class of a module, in factory order.
struct Vst3ClassRecord {
    std::string name;
    std::string vendor;
    std::string version;
    std::string sub_categories;
    std::array<std::uint8_t, 16> cid{};
};

// The file a VST3 path loads: for a bundle folder its binary inside "Contents", otherwise
// the path itself.
std::string vst3_module_file(const std::string& path);

// Loads the module at a bundle or module path. Fails with "{} is not a VST3 module (no {})",
// "could not load {} ({})", "the plugin's InitDll failed",
// "not a VST3 module (no GetPluginFactory)" or "the plugin returned no factory".
Outcome<std::shared_ptr<Vst3Module>> load_vst3_module(const std::string& path);

// The module's audio effect classes; classes of other categories are left out.
std::vector<Vst3ClassRecord> list_vst3_classes(const Vst3Module& module);

// The class ID as 32 upper-case hexadecimal digits, bytes in memory order.
std::string vst3_class_uid(const std::array<std::uint8_t, 16>& cid);

// An instance asking for mono main buses when `channels` is 1, stereo otherwise.
Outcome<LoadedPlugin> create_vst3_plugin(std::shared_ptr<Vst3Module> module, const Vst3ClassRecord& record,
                                         std::uint32_t channels);

// The plug-in of a rack slot of kind "vst3": `uid` is the class ID as 32 hexadecimal digits.
Outcome<LoadedPlugin> load_vst3_slot_plugin(const std::string& path, const std::string& uid,
                                            std::uint32_t rack_channels);

}  // namespace ovhost
