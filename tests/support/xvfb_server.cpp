#include "xvfb_server.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <thread>

namespace ovtest {
namespace {

using Clock = std::chrono::steady_clock;

std::optional<std::string> find_in_path(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string folders = path ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= folders.size()) {
        const std::size_t end = folders.find(':', start);
        const std::string folder = folders.substr(start, end == std::string::npos ? std::string::npos : end - start);
        const std::string candidate = (folder.empty() ? "." : folder) + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return std::nullopt;
}

std::string number_text(long long value) {
    char buffer[24];
    return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
}

Display* as_display(void* display) { return static_cast<Display*>(display); }

// X errors of the inspection (a window that went away) are expected answers, not failures.
int ignore_x_error(Display*, XErrorEvent*) { return 0; }

// Ignores X errors for its life (and syncs first, so that they belong to it); the handler
// that was there before comes back after.
class QuietErrors {
public:
    explicit QuietErrors(Display* display) : display_(display), previous_(XSetErrorHandler(ignore_x_error)) {}
    ~QuietErrors() {
        XSync(display_, False);
        XSetErrorHandler(previous_);
    }

private:
    Display* display_;
    XErrorHandler previous_;
};

}  // namespace

std::unique_ptr<XvfbServer> XvfbServer::start(std::string& why_not) {
    const auto program = find_in_path("Xvfb");
    if (!program) {
        why_not = "Xvfb is not installed (Debian package xvfb)";
        return nullptr;
    }
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        why_not = "no pipe for Xvfb";
        return nullptr;
    }
    // Xvfb picks a free display number itself and writes it to this descriptor once it
    // accepts connections.
    const std::string display_fd = number_text(fds[1]);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        why_not = "could not start Xvfb";
        return nullptr;
    }
    if (pid == 0) {
        // The server ends with the test program, however that ends.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(127);
        ::fcntl(fds[1], F_SETFD, 0);
        const int null = ::open("/dev/null", O_RDWR);
        if (null >= 0) {
            ::dup2(null, 0);
            ::dup2(null, 1);
            ::dup2(null, 2);
        }
        ::setpgid(0, 0);
        ::execl(program->c_str(), "Xvfb", "-displayfd", display_fd.c_str(), "-nolisten", "tcp", "-noreset", "-screen",
                "0", "1280x1024x24", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    std::string number;
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    bool complete = false;
    while (!complete && Clock::now() < deadline) {
        pollfd wait{fds[0], POLLIN, 0};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (::poll(&wait, 1, static_cast<int>(left > 0 ? left : 0)) <= 0) continue;
        char chunk[32];
        const ssize_t got = ::read(fds[0], chunk, sizeof chunk);
        if (got <= 0) break;
        for (ssize_t i = 0; i < got; ++i) {
            if (chunk[i] == '\n') complete = true;
            else if (!complete) number.push_back(chunk[i]);
        }
    }
    ::close(fds[0]);
    if (!complete || number.empty()) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        why_not = "Xvfb did not start";
        return nullptr;
    }
    return std::unique_ptr<XvfbServer>(new XvfbServer(pid, ":" + number));
}

XvfbServer::~XvfbServer() { stop(); }

void XvfbServer::stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (::waitpid(pid_, nullptr, WNOHANG) == 0) {
        if (Clock::now() > deadline) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    pid_ = -1;
}

XvfbServer* shared_xvfb(std::string& why_not) {
    static std::string reason;
    static std::unique_ptr<XvfbServer> server = XvfbServer::start(reason);
    if (!server) why_not = reason;
    return server.get();
}

ScopedDisplay::ScopedDisplay(std::optional<std::string> value) {
    if (const char* now = std::getenv("DISPLAY")) previous_ = now;
    if (value)
        ::setenv("DISPLAY", value->c_str(), 1);
    else
        ::unsetenv("DISPLAY");
}

ScopedDisplay::~ScopedDisplay() {
    if (previous_)
        ::setenv("DISPLAY", previous_->c_str(), 1);
    else
        ::unsetenv("DISPLAY");
}

std::unique_ptr<XTestClient> XTestClient::open(const std::string& display) {
    Display* connection = XOpenDisplay(display.c_str());
    if (!connection) return nullptr;
    return std::unique_ptr<XTestClient>(new XTestClient(connection));
}

XTestClient::~XTestClient() { XCloseDisplay(as_display(display_)); }

std::vector<XWindowId> XTestClient::top_level_windows(const std::string& window_class) {
    Display* d = as_display(display_);
    QuietErrors quiet(d);
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    std::vector<XWindowId> found;
    if (XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count)) {
        for (unsigned i = 0; i < count; ++i) {
            XClassHint hint{};
            if (!XGetClassHint(d, children[i], &hint)) continue;
            if (hint.res_class && window_class == hint.res_class) found.push_back(children[i]);
            if (hint.res_name) XFree(hint.res_name);
            if (hint.res_class) XFree(hint.res_class);
        }
        if (children) XFree(children);
    }
    return found;
}

bool XTestClient::wait_window_count(const std::string& window_class, std::size_t count,
                                    std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (top_level_windows(window_class).size() != count) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

std::vector<XWindowId> XTestClient::children(XWindowId window) {
    Display* d = as_display(display_);
    QuietErrors quiet(d);
    Window root = 0, parent = 0;
    Window* list = nullptr;
    unsigned count = 0;
    std::vector<XWindowId> found;
    if (XQueryTree(d, window, &root, &parent, &list, &count)) {
        found.assign(list, list + count);
        if (list) XFree(list);
    }
    return found;
}

bool XTestClient::wait_children(XWindowId window, std::size_t count, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (children(window).size() != count) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

bool XTestClient::exists(XWindowId window) {
    Display* d = as_display(display_);
    QuietErrors quiet(d);
    XWindowAttributes attributes;
    return XGetWindowAttributes(d, window, &attributes) != 0;
}

bool XTestClient::is_mapped(XWindowId window) {
    Display* d = as_display(display_);
    QuietErrors quiet(d);
    XWindowAttributes attributes{};
    return XGetWindowAttributes(d, window, &attributes) != 0 && attributes.map_state == IsViewable;
}

std::optional<std::pair<std::string, std::string>> XTestClient::class_hint(XWindowId window) {
    QuietErrors quiet(as_display(display_));
    XClassHint hint{};
    if (!XGetClassHint(as_display(display_), window, &hint)) return std::nullopt;
    std::pair<std::string, std::string> names{hint.res_name ? hint.res_name : "", hint.res_class ? hint.res_class : ""};
    if (hint.res_name) XFree(hint.res_name);
    if (hint.res_class) XFree(hint.res_class);
    return names;
}

std::optional<XPropertyText> XTestClient::text_property(XWindowId window, const std::string& name) {
    Display* d = as_display(display_);
    QuietErrors quiet(d);
    const Atom property = XInternAtom(d, name.c_str(), False);
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, window, property, 0, 4096, False, AnyPropertyType, &type, &format, &items, &after,
                           &data) != Success ||
        type == None) {
        if (data) XFree(data);
        return std::nullopt;
    }
    XPropertyText result;
    char* type_name = XGetAtomName(d, type);
    result.type = type_name ? type_name : "";
    if (type_name) XFree(type_name);
    if (format == 8 && data) result.bytes.assign(reinterpret_cast<const char*>(data), items);
    if (data) XFree(data);
    return result;
}

std::optional<XGeometry> XTestClient::geometry(XWindowId window) {
    Display* d = as_display(display_);
    QuietErrors quiet(d);
    Window root = 0;
    int x = 0, y = 0;
    unsigned width = 0, height = 0, border = 0, depth = 0;
    if (!XGetGeometry(d, window, &root, &x, &y, &width, &height, &border, &depth)) return std::nullopt;
    return XGeometry{x, y, width, height};
}

bool XTestClient::wait_size(XWindowId window, unsigned width, unsigned height, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const auto now = geometry(window);
        if (now && now->width == width && now->height == height) return true;
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

std::optional<XWindowId> XTestClient::transient_for(XWindowId window) {
    QuietErrors quiet(as_display(display_));
    Window owner = None;
    if (!XGetTransientForHint(as_display(display_), window, &owner)) return std::nullopt;
    return owner;
}

XSizeLimits XTestClient::size_limits(XWindowId window) {
    QuietErrors quiet(as_display(display_));
    XSizeHints hints{};
    long supplied = 0;
    XSizeLimits limits;
    if (!XGetWMNormalHints(as_display(display_), window, &hints, &supplied)) return limits;
    limits.position_given = (hints.flags & (USPosition | PPosition)) != 0;
    if (hints.flags & PMinSize) limits.min = std::pair{hints.min_width, hints.min_height};
    if (hints.flags & PMaxSize) limits.max = std::pair{hints.max_width, hints.max_height};
    return limits;
}

std::vector<std::string> XTestClient::protocols(XWindowId window) {
    Display* d = as_display(display_);
    QuietErrors quiet(d);
    Atom* atoms = nullptr;
    int count = 0;
    std::vector<std::string> names;
    if (!XGetWMProtocols(d, window, &atoms, &count)) return names;
    for (int i = 0; i < count; ++i) {
        char* name = XGetAtomName(d, atoms[i]);
        names.push_back(name ? name : "");
        if (name) XFree(name);
    }
    if (atoms) XFree(atoms);
    return names;
}

XWindowId XTestClient::create_window(int x, int y, unsigned width, unsigned height) {
    Display* d = as_display(display_);
    const Window window = XCreateSimpleWindow(d, DefaultRootWindow(d), x, y, width, height, 0, 0, 0);
    XMapWindow(d, window);
    XSync(d, False);
    return window;
}

void XTestClient::destroy_window(XWindowId window) {
    QuietErrors quiet(as_display(display_));
    XDestroyWindow(as_display(display_), window);
    sync();
}

void XTestClient::send_close_request(XWindowId window) {
    Display* d = as_display(display_);
    QuietErrors quiet(d);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, window, False, NoEventMask, &event);
    sync();
}

void XTestClient::resize(XWindowId window, unsigned width, unsigned height) {
    QuietErrors quiet(as_display(display_));
    XResizeWindow(as_display(display_), window, width, height);
    sync();
}

void XTestClient::send_configure_notify(XWindowId window, int width, int height) {
    Display* d = as_display(display_);
    QuietErrors quiet(d);
    XEvent event{};
    event.xconfigure.type = ConfigureNotify;
    event.xconfigure.event = window;
    event.xconfigure.window = window;
    event.xconfigure.width = width;
    event.xconfigure.height = height;
    XSendEvent(d, window, False, StructureNotifyMask, &event);
    sync();
}

void XTestClient::sync() { XSync(as_display(display_), False); }

}  // namespace ovtest
