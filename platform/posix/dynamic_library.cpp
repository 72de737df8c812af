// Plug-in modules through dlopen.
#include "platform/dynamic_library.h"

#include <dlfcn.h>

namespace ovplat {

LibraryHandle load_library(const std::string& path, std::string& error) {
    dlerror();
    // A name without a slash would be searched for in the library path instead of opened.
    const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    void* library = dlopen(file.c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (library == nullptr) {
        const char* reason = dlerror();
        error = reason != nullptr ? reason : "the library could not be loaded";
    }
    return library;
}

void* library_symbol(LibraryHandle library, const char* name) {
    if (library == nullptr) return nullptr;
    return dlsym(library, name);
}

void unload_library(LibraryHandle library) {
    if (library != nullptr) dlclose(library);
}

}  // namespace ovplat
