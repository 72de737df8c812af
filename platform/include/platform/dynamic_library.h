#pragma once
// Plug-in modules: dynamic libraries loaded by path and their exported functions.
// Windows: LoadLibraryW / GetProcAddress. POSIX: dlopen(RTLD_LAZY | RTLD_LOCAL) / dlsym.
#include <string>

namespace ovplat {

// An opaque module handle (HMODULE on Windows, the dlopen handle elsewhere).
using LibraryHandle = void*;

// Loads the library at a UTF-8 path; nullptr on failure with the system's reason in `error`
// ("{text} (0x8007XXXX)" on Windows, dlerror()'s text elsewhere).
LibraryHandle load_library(const std::string& path, std::string& error);

// The address of an exported symbol, or nullptr when the library has none of that name.
void* library_symbol(LibraryHandle library, const char* name);

// Unloads a library loaded by load_library.
void unload_library(LibraryHandle library);

}  // namespace ovplat
