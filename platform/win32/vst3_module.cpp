// The VST3 module start-up export of Windows: "InitDll", without arguments.
#include "platform/vst3_module.h"

namespace ovplat {

ModuleInitResult run_vst3_module_init(LibraryHandle library) {
    using InitDll = bool (*)();
    auto init = reinterpret_cast<InitDll>(library_symbol(library, "InitDll"));
    if (init == nullptr) return ModuleInitResult::absent;
    return init() ? ModuleInitResult::succeeded : ModuleInitResult::failed;
}

}  // namespace ovplat
