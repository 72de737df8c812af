#include "platform/editor_window.h"

#include "ov/text.h"
#include "platform/env.h"
#include "platform/main_loop.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <mutex>
#include <utility>

namespace ovplat {
namespace {

constexpr char kWindowClass[] = "OrviaPluginEditor";

// The error of the last failed request on this thread's connections. Xlib's own handler
// ends the process on any error (a bad owner id would kill the host), so a handler that
// only records is installed; callers that care sync and look here.
struct RecordedXError {
    Display* display = nullptr;
    unsigned char code = 0;
};
thread_local RecordedXError last_x_error;

int record_x_error(Display* display, XErrorEvent* error) {
    last_x_error = RecordedXError{display, error->error_code};
    return 0;
}

// Xlib's own handler for a lost connection ends the process at once. Returning lets each
// connection's exit handler decide: ours forgets its windows and carries on; a connection
// without one (a plug-in's own) still ends the process as before.
int pass_on_lost_connection(Display*) { return 0; }

void prepare_xlib_once() {
    static std::once_flag once;
    std::call_once(once, [] {
        // Plug-in views may use Xlib from their own threads.
        XInitThreads();
        XSetErrorHandler(record_x_error);
        XSetIOErrorHandler(pass_on_lost_connection);
    });
}

// X sizes are 16-bit and never zero.
unsigned int x_dimension(std::uint32_t value) { return std::clamp<std::uint32_t>(value, 1, 32767); }

// The title as Latin-1 for WM_NAME's STRING type, or nothing when it has other characters.
std::optional<std::string> latin1_of(const std::string& utf8) {
    std::string out;
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const char32_t c = ov::text::next_code_point(utf8, pos);
        if (c > 0xFF) return std::nullopt;
        out.push_back(static_cast<char>(c));
    }
    return out;
}

class X11EditorWindows final : public EditorWindowSystem {
public:
    ~X11EditorWindows() override {
        if (!display_) return;
        stop_watching();
        if (!broken_) {
            for (const auto& known : windows_) XDestroyWindow(display_, known.id);
        }
        XCloseDisplay(display_);
    }

    EditorWindowHandle open(const std::string& title, const EditorWindowPlacement& placement,
                            EditorWindowFailure& failure) override {
        failure.step = EditorWindowFailure::Step::create;
        if (!connect(failure.reason)) return nullptr;

        const Window owner = placement.owner && *placement.owner != 0 ? static_cast<Window>(*placement.owner) : None;
        if (owner != None) {
            XWindowAttributes attributes;
            begin_checked();
            const bool exists = XGetWindowAttributes(display_, owner, &attributes) != 0;
            if (const auto error = end_checked(); !exists || error) {
                failure.reason = error ? *error : std::string("the owner window does not exist");
                return nullptr;
            }
        }

        const bool placed = placement.x && placement.y;
        XSetWindowAttributes attributes{};
        attributes.background_pixmap = None;  // the plug-in's view paints the whole area
        attributes.event_mask = StructureNotifyMask;
        begin_checked();
        const unsigned long create_serial = NextRequest(display_);
        const Window window = XCreateWindow(
            display_, DefaultRootWindow(display_), placed ? *placement.x : 0, placed ? *placement.y : 0,
            kEditorFirstClientWidth, kEditorFirstClientHeight, 0, CopyFromParent, InputOutput, CopyFromParent,
            CWBackPixmap | CWEventMask, &attributes);
        if (const auto error = end_checked()) {
            if (window != None) XDestroyWindow(display_, window);
            XFlush(display_);
            failure.reason = *error;
            return nullptr;
        }

        begin_checked();
        XClassHint class_hint{const_cast<char*>(kWindowClass), const_cast<char*>(kWindowClass)};
        XSetClassHint(display_, window, &class_hint);
        set_title(window, title);
        std::optional<std::pair<int, int>> position;
        if (placed) position = std::pair<int, int>{*placement.x, *placement.y};
        set_fixed_size(window, kEditorFirstClientWidth, kEditorFirstClientHeight, position);
        XWMHints wm_hints{};
        wm_hints.flags = InputHint | StateHint;
        wm_hints.input = True;
        wm_hints.initial_state = NormalState;
        XSetWMHints(display_, window, &wm_hints);
        Atom protocols[] = {atoms_.wm_delete_window};
        XSetWMProtocols(display_, window, protocols, 1);
        if (owner != None) XSetTransientForHint(display_, window, owner);

        XMapRaised(display_, window);
        windows_.push_back(Known{window, create_serial, position});
        activate(window);
        // The window must exist on the server before a plug-in embeds its view from its
        // own connection; any request of the window's setting up that failed fails it.
        if (const auto error = end_checked()) {
            destroy(to_handle(window));
            failure.reason = *error;
            return nullptr;
        }
        return to_handle(window);
    }

    void bring_to_front(EditorWindowHandle handle) override {
        const Known* known = find(handle);
        if (!known) return;
        XMapRaised(display_, known->id);
        activate(known->id);
        XFlush(display_);
    }

    void set_client_size(EditorWindowHandle handle, std::uint32_t width, std::uint32_t height) override {
        Known* known = find(handle);
        if (!known) return;
        const unsigned int w = x_dimension(width);
        const unsigned int h = x_dimension(height);
        set_fixed_size(known->id, w, h, known->position);
        // Sizes the window reported before this request are stale now.
        known->resize_serial = NextRequest(display_);
        XResizeWindow(display_, known->id, w, h);
        XFlush(display_);
        std::erase_if(sizes_, [&](const EditorWindowSize& size) { return size.window == handle; });
    }

    void destroy(EditorWindowHandle handle) override {
        const Known* known = find(handle);
        if (!known) return;
        const Window window = known->id;
        std::erase_if(windows_, [&](const Known& k) { return k.id == window; });
        std::erase(closes_, handle);
        std::erase_if(sizes_, [&](const EditorWindowSize& size) { return size.window == handle; });
        XDestroyWindow(display_, window);
        XFlush(display_);
    }

    std::vector<EditorWindowHandle> take_close_requests() override {
        pump_events();
        forget_lost_windows();
        return std::exchange(closes_, {});
    }

    std::vector<EditorWindowSize> take_resizes() override {
        pump_events();
        return std::exchange(sizes_, {});
    }

private:
    struct Known {
        Window id;
        // Size reports older than the host's last resize request are dropped.
        unsigned long resize_serial;
        // Where Orvia placed it, kept in the size hints.
        std::optional<std::pair<int, int>> position;
    };
    struct Atoms {
        Atom wm_protocols = None;
        Atom wm_delete_window = None;
        Atom net_wm_name = None;
        Atom utf8_string = None;
        Atom net_active_window = None;
    };

    static EditorWindowHandle to_handle(Window window) {
        return reinterpret_cast<EditorWindowHandle>(static_cast<std::uintptr_t>(window));
    }

    Known* find(EditorWindowHandle handle) {
        if (!display_ || broken_) return nullptr;
        const auto window = static_cast<Window>(reinterpret_cast<std::uintptr_t>(handle));
        for (auto& known : windows_) {
            if (known.id == window) return &known;
        }
        return nullptr;
    }

    // Opens the display at the first window (and again after the server went away).
    bool connect(std::string& reason) {
        if (display_ && !broken_) return true;
        if (broken_) {
            forget_lost_windows();
            stop_watching();
            // A connection is unusable after an I/O error; only its memory is released.
            XCloseDisplay(display_);
            display_ = nullptr;
            broken_ = false;
        }
        const auto name = env_var("DISPLAY");
        if (!name || name->empty()) {
            reason = "no X display: DISPLAY is not set";
            return false;
        }
        prepare_xlib_once();
        display_ = XOpenDisplay(name->c_str());
        if (!display_) {
            reason = "cannot open the X display " + *name;
            return false;
        }
        XSetIOErrorExitHandler(display_, &X11EditorWindows::on_connection_lost, this);
        char wm_protocols[] = "WM_PROTOCOLS";
        char wm_delete_window[] = "WM_DELETE_WINDOW";
        char net_wm_name[] = "_NET_WM_NAME";
        char utf8_string[] = "UTF8_STRING";
        char net_active_window[] = "_NET_ACTIVE_WINDOW";
        char* names[] = {wm_protocols, wm_delete_window, net_wm_name, utf8_string, net_active_window};
        Atom values[5] = {};
        XInternAtoms(display_, names, 5, False, values);
        atoms_ = Atoms{values[0], values[1], values[2], values[3], values[4]};
        // The thread's loop reads the connection as its events arrive, the way the
        // Windows loop dispatches window messages; the lists are handled at its next tick.
        if (MainLoop* loop = MainLoop::of_current_thread()) {
            watch_ = loop->add_descriptor(ConnectionNumber(display_), kDescriptorReadable, [this](int, unsigned) {
                pump_events();
                if (broken_) stop_watching();
            });
        }
        return true;
    }

    void stop_watching() {
        if (!watch_) return;
        if (MainLoop* loop = MainLoop::of_current_thread()) loop->remove(*watch_);
        watch_.reset();
    }

    // Windows of a connection that was lost are gone: each counts as closed by the user, so
    // that its editor is closed and Orvia told.
    void forget_lost_windows() {
        if (!broken_) return;
        for (const auto& known : windows_) {
            const EditorWindowHandle handle = to_handle(known.id);
            if (std::find(closes_.begin(), closes_.end(), handle) == closes_.end()) closes_.push_back(handle);
        }
        windows_.clear();
        sizes_.clear();
    }

    // The server went away: no window exists any more, and the process carries on (Xlib
    // would otherwise end it).
    static void on_connection_lost(Display*, void* self) { static_cast<X11EditorWindows*>(self)->broken_ = true; }

    void begin_checked() { last_x_error = RecordedXError{}; }
    // Syncs and gives the text of an error that a request since begin_checked() caused.
    std::optional<std::string> end_checked() {
        XSync(display_, False);
        if (broken_) return std::string("the connection to the X display was lost");
        if (last_x_error.display != display_ || last_x_error.code == 0) return std::nullopt;
        char text[256] = {};
        XGetErrorText(display_, last_x_error.code, text, sizeof text);
        last_x_error = RecordedXError{};
        return std::string(text);
    }

    void set_title(Window window, const std::string& title) {
        const std::string utf8 = ov::text::decode_utf8_lossy(title);
        if (const auto latin1 = latin1_of(utf8)) {
            XChangeProperty(display_, window, XA_WM_NAME, XA_STRING, 8, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(latin1->data()), static_cast<int>(latin1->size()));
        } else {
            XChangeProperty(display_, window, XA_WM_NAME, atoms_.utf8_string, 8, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(utf8.data()), static_cast<int>(utf8.size()));
        }
        XChangeProperty(display_, window, atoms_.net_wm_name, atoms_.utf8_string, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(utf8.data()), static_cast<int>(utf8.size()));
    }

    // The user cannot resize the window: its minimum and maximum are its size.
    void set_fixed_size(Window window, unsigned int width, unsigned int height,
                        const std::optional<std::pair<int, int>>& position) {
        XSizeHints hints{};
        hints.flags = PMinSize | PMaxSize;
        hints.min_width = hints.max_width = static_cast<int>(width);
        hints.min_height = hints.max_height = static_cast<int>(height);
        if (position) {
            hints.flags |= USPosition | PPosition;
            hints.x = position->first;
            hints.y = position->second;
        }
        XSetWMNormalHints(display_, window, &hints);
    }

    // Asks a window manager, if one runs, to activate the window.
    void activate(Window window) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = atoms_.net_active_window;
        event.xclient.format = 32;
        event.xclient.data.l[0] = 1;  // a request from an application
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(display_, DefaultRootWindow(display_), False, SubstructureRedirectMask | SubstructureNotifyMask,
                   &event);
    }

    // Reads every event that has arrived into the close and size lists.
    void pump_events() {
        if (!display_ || broken_) return;
        while (!broken_ && XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
            if (event.type == ClientMessage) {
                const auto& message = event.xclient;
                if (message.message_type == atoms_.wm_protocols && message.format == 32 &&
                    static_cast<Atom>(message.data.l[0]) == atoms_.wm_delete_window && find(to_handle(message.window)))
                    closes_.push_back(to_handle(message.window));
            } else if (event.type == ConfigureNotify) {
                const auto& configure = event.xconfigure;
                const Known* known = find(to_handle(configure.window));
                if (!known || configure.serial < known->resize_serial) continue;
                if (configure.width > 0 && configure.height > 0)
                    sizes_.push_back(EditorWindowSize{to_handle(configure.window),
                                                      static_cast<std::uint32_t>(configure.width),
                                                      static_cast<std::uint32_t>(configure.height)});
            }
        }
    }

    Display* display_ = nullptr;
    std::optional<MainLoop::SourceId> watch_;
    bool broken_ = false;
    Atoms atoms_;
    std::vector<Known> windows_;
    std::vector<EditorWindowHandle> closes_;
    std::vector<EditorWindowSize> sizes_;
};

}  // namespace

std::unique_ptr<EditorWindowSystem> EditorWindowSystem::create() { return std::make_unique<X11EditorWindows>(); }

}  // namespace ovplat
