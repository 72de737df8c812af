#pragma once
// The plain top-level windows that plug-in editors are embedded in. One EditorWindowSystem
// belongs to the thread that created it (the host's main thread): every call, and the
// handling of the windows' events, happens there.
//
// Windows: the "OrviaPluginEditor" window class with a window procedure that collects
// close requests and size changes; the main loop's message dispatch runs it.
// Elsewhere: X11 top-level windows on a display connection opened at the first window; the
// connection's events are read whenever the lists are taken.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ovplat {

// An HWND on Windows, an X11 window id elsewhere.
using EditorWindowHandle = void*;

inline constexpr std::uint32_t kEditorFirstClientWidth = 640;
inline constexpr std::uint32_t kEditorFirstClientHeight = 400;

struct EditorWindowPlacement {
    std::optional<std::int64_t> owner;  // owner window (HWND, X11 window id)
    std::optional<std::int32_t> x;      // used only when both are given
    std::optional<std::int32_t> y;
};

struct EditorWindowSize {
    EditorWindowHandle window = nullptr;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

// Why no window was made.
struct EditorWindowFailure {
    // module_handle: the process's module handle was not available (Windows only);
    // create: the window itself could not be made.
    enum class Step { module_handle, create } step = Step::create;
    std::string reason;  // the system's text ("{text} (0x8007XXXX)" on Windows)
};

class EditorWindowSystem {
public:
    // Nothing is opened or registered until the first window is made.
    static std::unique_ptr<EditorWindowSystem> create();
    virtual ~EditorWindowSystem() = default;

    // A shown top-level window in the foreground with a 640 x 400 client area, titled
    // `title` (UTF-8), that the user cannot resize or maximise; nullptr and `failure` when
    // it could not be made.
    virtual EditorWindowHandle open(const std::string& title, const EditorWindowPlacement& placement,
                                    EditorWindowFailure& failure) = 0;
    virtual void bring_to_front(EditorWindowHandle window) = 0;
    // Sizes the client area, keeping the position, the stacking and the focus. Failures are
    // ignored. Size changes reported before this one are dropped: this size supersedes them.
    virtual void set_client_size(EditorWindowHandle window, std::uint32_t width, std::uint32_t height) = 0;
    // Failures are ignored.
    virtual void destroy(EditorWindowHandle window) = 0;

    // Windows whose close box was used since the last call; the windows stay until destroyed.
    virtual std::vector<EditorWindowHandle> take_close_requests() = 0;
    // Client sizes the windows took since the last call, in order; zero sizes (a minimised
    // window) are left out.
    virtual std::vector<EditorWindowSize> take_resizes() = 0;
};

}  // namespace ovplat
