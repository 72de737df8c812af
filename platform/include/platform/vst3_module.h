#pragma once
// Where the binary of a VST3 bundle lies on this system, and the module's start-up export
// ("InitDll" without arguments on Windows, "ModuleEntry" with the library handle elsewhere).
#include "platform/dynamic_library.h"

namespace ovplat {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
inline constexpr const char* kVst3BundleArchFolder = "x86_64-win";
inline constexpr const char* kVst3BundleBinaryExtension = ".vst3";
inline constexpr bool kSlashIsSeparator = true;
#else
inline constexpr char kPathSeparator = '/';
inline constexpr const char* kVst3BundleArchFolder = "x86_64-linux";
inline constexpr const char* kVst3BundleBinaryExtension = ".so";
inline constexpr bool kSlashIsSeparator = true;
#endif

inline bool is_path_separator(char c) { return c == kPathSeparator || (kSlashIsSeparator && c == '/'); }

enum class ModuleInitResult { absent, succeeded, failed };

// Calls the module's start-up export when it has one.
ModuleInitResult run_vst3_module_init(LibraryHandle library);

}  // namespace ovplat
