#pragma once
// An X server of the test's own (Xvfb on a free display number, no TCP), and a small X
// client that looks at and acts on the windows there the way a user or a window manager
// would, for the editor window tests.
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ovtest {

class XvfbServer {
public:
    // Starts Xvfb and waits until it accepts connections. nullptr with the reason in
    // `why_not` when Xvfb is not installed or does not start.
    static std::unique_ptr<XvfbServer> start(std::string& why_not);
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    // ":N", the value for DISPLAY.
    const std::string& display() const { return display_; }
    // Ends the server now (for tests of a server that goes away).
    void stop();

private:
    XvfbServer(pid_t pid, std::string display) : pid_(pid), display_(std::move(display)) {}
    pid_t pid_ = -1;
    std::string display_;
};

// One server for the whole test program, started at the first call and ended with the
// program; nullptr with `why_not` when there is none.
XvfbServer* shared_xvfb(std::string& why_not);

// Sets DISPLAY for the life of the object and puts the previous value back after.
class ScopedDisplay {
public:
    explicit ScopedDisplay(std::optional<std::string> value);
    ~ScopedDisplay();
    ScopedDisplay(const ScopedDisplay&) = delete;
    ScopedDisplay& operator=(const ScopedDisplay&) = delete;

private:
    std::optional<std::string> previous_;
};

using XWindowId = unsigned long;

struct XGeometry {
    int x = 0;
    int y = 0;
    unsigned width = 0;
    unsigned height = 0;
    bool operator==(const XGeometry&) const = default;
};

// A property of a window as read: its type's atom name and its bytes.
struct XPropertyText {
    std::string type;
    std::string bytes;
    bool operator==(const XPropertyText&) const = default;
};

struct XSizeLimits {
    bool position_given = false;  // USPosition or PPosition
    std::optional<std::pair<int, int>> min;
    std::optional<std::pair<int, int>> max;
};

// A connection to the test's X server that inspects windows from outside.
class XTestClient {
public:
    // nullptr when the display cannot be opened.
    static std::unique_ptr<XTestClient> open(const std::string& display);
    ~XTestClient();
    XTestClient(const XTestClient&) = delete;
    XTestClient& operator=(const XTestClient&) = delete;

    // Top-level windows whose WM_CLASS class is `window_class`, bottom to top.
    std::vector<XWindowId> top_level_windows(const std::string& window_class);
    // Waits until the number of such windows is `count`.
    bool wait_window_count(const std::string& window_class, std::size_t count,
                           std::chrono::milliseconds timeout = std::chrono::milliseconds(20000));
    // The window's own child windows, bottom to top.
    std::vector<XWindowId> children(XWindowId window);
    // Waits until the window has `count` children. Windows that another connection (a
    // plug-in's) makes or destroys show only once the server got to that connection's
    // requests, which sync() on this one does not wait for.
    bool wait_children(XWindowId window, std::size_t count,
                       std::chrono::milliseconds timeout = std::chrono::milliseconds(20000));
    bool exists(XWindowId window);
    bool is_mapped(XWindowId window);

    std::optional<std::pair<std::string, std::string>> class_hint(XWindowId window);  // instance, class
    std::optional<XPropertyText> text_property(XWindowId window, const std::string& name);
    std::optional<XGeometry> geometry(XWindowId window);
    // Waits until the client area has the size; false after the time-out.
    bool wait_size(XWindowId window, unsigned width, unsigned height,
                   std::chrono::milliseconds timeout = std::chrono::milliseconds(20000));
    std::optional<XWindowId> transient_for(XWindowId window);
    XSizeLimits size_limits(XWindowId window);
    std::vector<std::string> protocols(XWindowId window);

    // A window of this client's own (an owner for the editors).
    XWindowId create_window(int x, int y, unsigned width, unsigned height);
    void destroy_window(XWindowId window);
    // What a window manager does when the user clicks the close box.
    void send_close_request(XWindowId window);
    // The user drags the window to another size.
    void resize(XWindowId window, unsigned width, unsigned height);
    // A size report the way a window manager sends one (also a 0 x 0 one, as for a window
    // that was minimised).
    void send_configure_notify(XWindowId window, int width, int height);
    // Waits until the server has handled everything this client sent.
    void sync();

private:
    explicit XTestClient(void* display) : display_(display) {}
    void* display_;
};

}  // namespace ovtest
