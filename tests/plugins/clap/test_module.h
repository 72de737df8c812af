#pragma once
// What the CLAP test files share: the export of their entry, and the plain entry of a file
// that offers one plug-in factory and needs nothing at init.
#include <cstring>

#include "clap/abi.h"

#ifdef _WIN32
#define OV_CLAP_EXPORT extern "C" __declspec(dllexport)
#else
#define OV_CLAP_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace ovtestclapmodule {

inline bool entry_init(const char*) { return true; }
inline void entry_deinit() {}

template <const clapabi::clap_plugin_factory& Factory>
const void* entry_get_factory(const char* id) {
    return id != nullptr && std::strcmp(id, clapabi::kPluginFactoryId) == 0 ? &Factory : nullptr;
}

template <const clapabi::clap_plugin_factory& Factory>
constexpr clapabi::clap_plugin_entry plain_entry(clapabi::clap_version_t version) {
    return {version, &entry_init, &entry_deinit, &entry_get_factory<Factory>};
}

}  // namespace ovtestclapmodule
