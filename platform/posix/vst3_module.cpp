// The VST3 module start-up export of Linux: "ModuleEntry", given the dlopen handle.
#include "platform/vst3_module.h"

namespace ovplat {

ModuleInitResult run_vst3_module_init(LibraryHandle library) {
    using ModuleEntry = bool (*)(void*);
    auto entry = reinterpret_cast<ModuleEntry>(library_symbol(library, "ModuleEntry"));
    if (entry == nullptr) return ModuleInitResult::absent;
    return entry(library) ? ModuleInitResult::succeeded : ModuleInitResult::failed;
}

}  // namespace ovplat
