// Plug-in modules through LoadLibraryW.
#include "platform/dynamic_library.h"

#include "wide_text.h"

namespace ovplat {

LibraryHandle load_library(const std::string& path, std::string& error) {
    const auto wide = win32::utf8_to_utf16(path);
    if (!wide) {
        error = win32::error_text_with_code(ERROR_INVALID_NAME);
        return nullptr;
    }
    HMODULE module = LoadLibraryW(wide->c_str());
    if (module == nullptr) error = win32::error_text_with_code(GetLastError());
    return module;
}

void* library_symbol(LibraryHandle library, const char* name) {
    if (library == nullptr) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void unload_library(LibraryHandle library) {
    if (library != nullptr) FreeLibrary(static_cast<HMODULE>(library));
}

}  // namespace ovplat
