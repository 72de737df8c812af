#pragma once
// How a plug-in's own window is embedded on this system: the platform type a VST3 view is
// asked for and attached with, and the CLAP window api name. The parent handle is an HWND
// on Windows and an X11 window id (cast to a pointer) elsewhere.
namespace ovplat {

#ifdef _WIN32
inline constexpr const char* kVst3ViewPlatformType = "HWND";
inline constexpr const char* kClapWindowApi = "win32";
#else
inline constexpr const char* kVst3ViewPlatformType = "X11EmbedWindowID";
inline constexpr const char* kClapWindowApi = "x11";
#endif

}  // namespace ovplat
