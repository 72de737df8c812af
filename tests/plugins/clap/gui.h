#pragma once
// The window of the CLAP test plug-ins: a real child window in the parent the host gives
// (Win32: a WS_CHILD | WS_VISIBLE window; X11: a simple window on a display connection of
// its own), sized and destroyed through the plug-in's "clap.gui" extension.
#include <atomic>
#include <cstdint>

#include "clap/abi.h"

namespace ovtestclap {

// How a descriptor's gui behaves.
enum class GuiKind {
    none,              // no "clap.gui" extension at all
    working,           // supports this system's window api, embeds a real window
    other_api_only,    // supports only "cocoa"
    create_fails,      // supports the api, create() answers false
    set_parent_fails,  // create() works, set_parent() answers false
};

inline constexpr std::uint32_t kGuiFirstWidth = 480;
inline constexpr std::uint32_t kGuiFirstHeight = 320;
inline constexpr std::uint32_t kGuiMinWidth = 200;
inline constexpr std::uint32_t kGuiMinHeight = 150;
inline constexpr std::uint32_t kGuiMaxWidth = 1600;
inline constexpr std::uint32_t kGuiMaxHeight = 1200;

// Per plug-in instance. Touched on the main thread only; the atomics are read by the
// plug-in's parameters (which a test reads through the host) on the same thread.
struct GuiState {
    GuiKind kind = GuiKind::none;
    bool created = false;  // create() succeeded and destroy() has not come yet
    std::atomic<std::uint32_t> width{kGuiFirstWidth};
    std::atomic<std::uint32_t> height{kGuiFirstHeight};
    std::atomic<bool> window_exists{false};  // a native child window exists
    std::atomic<bool> shown{false};
    std::atomic<std::uint32_t> windows_made{0};  // child windows made so far
    void* native = nullptr;                      // the system's window record
};

// Implemented by the plug-in: the gui state of an instance.
GuiState& gui_state_of(const clapabi::clap_plugin* plugin);

// The "clap.gui" table every gui kind shares; behaviour follows GuiState::kind.
extern const clapabi::clap_plugin_gui kTestGui;

}  // namespace ovtestclap
