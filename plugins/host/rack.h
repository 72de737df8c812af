#pragma once
// The rack: up to 8 slots, each a loaded plug-in whose instance lives here on the main thread
// and whose processor travels in the chain to the audio thread and back.
#include "ov/json.h"
#include "plugin.h"
#include "slots_reader.h"
#include "unit.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ovplat {
class NamedEvent;
}

namespace ovhost {

inline constexpr std::size_t kMaxRackSlots = 8;
inline constexpr std::uint32_t kTakeBackTimeoutMs = 5000;
inline constexpr std::uint32_t kStopTimeoutMs = 2000;
inline constexpr std::string_view kStuckAudioThreadMessage =
    "the audio thread did not hand the plugins back (a plugin is stuck in its processing)";

// Writes one event or reply line; only the main thread calls it.
using LineWriter = std::function<void(const ov::Json&)>;

// Creates the plug-in of a slot (see load_slot_plugin); tests put fakes here.
using PluginLoader = std::function<Outcome<LoadedPlugin>(const SlotSpec& wanted, std::uint32_t rack_channels)>;
PluginLoader format_plugin_loader();

// Where the editor windows of the slots are made (main thread only).
struct WindowPlacement {
    std::optional<std::int64_t> owner;  // owner window handle
    std::optional<std::int32_t> x;      // both or neither
    std::optional<std::int32_t> y;
};
struct WindowResize {
    WindowHandle window = nullptr;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};
class EditorWindows {
public:
    virtual ~EditorWindows() = default;
    // A shown, foreground window titled `title` with a 640 x 400 client area; fails with the
    // whole message (e.g. "could not create the plugin window ({})").
    virtual Outcome<WindowHandle> create(const std::string& title, const WindowPlacement& placement) = 0;
    virtual void bring_to_front(WindowHandle window) = 0;
    virtual void set_client_size(WindowHandle window, std::uint32_t width, std::uint32_t height) = 0;
    virtual void destroy(WindowHandle window) = 0;
    // Windows the user asked to close, and size changes, since the last call.
    virtual std::vector<WindowHandle> take_close_requests() = 0;
    virtual std::vector<WindowResize> take_resizes() = 0;
};
// Stand-in until the editor windows exist: creation fails, the lists stay empty.
std::unique_ptr<EditorWindows> make_unavailable_editor_windows();

struct EditorState {
    bool open = false;
    WindowHandle window = nullptr;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

struct RackSlot {
    std::uint32_t key = 0;
    std::string kind;
    std::string path;
    std::string uid;
    std::string fold;
    std::string name;
    std::string vendor;
    std::unique_ptr<PluginInstance> instance;
    std::shared_ptr<SlotCells> cells;
    std::uint32_t inputs = 0;
    std::uint32_t outputs = 0;
    std::uint32_t params = 0;
    bool has_editor = false;
    EditorState editor;
};

struct SlotResult {
    std::uint32_t key = 0;
    bool ok = false;
    std::optional<std::string> error;
    std::string name;
    std::string vendor;
    std::uint32_t latency = 0;
    std::uint32_t inputs = 0;
    std::uint32_t outputs = 0;
    std::string adapt;
    bool has_editor = false;
    std::uint32_t params = 0;
};

// What the rack needs from its surroundings.
struct RackContext {
    AudioMapping mapping;
    ovplat::NamedEvent* event = nullptr;  // set after each message to the audio thread
    ChainSender to_audio;
    ChainReturnReceiver returned;
    std::uint32_t channels = 1;  // already clamped to 1 or 2
    PluginLoader loader;
    EditorWindows* windows = nullptr;
    LineWriter events;
    std::uint32_t take_back_timeout_ms = kTakeBackTimeoutMs;
};

class Rack {
public:
    explicit Rack(RackContext context);
    Rack(const Rack&) = delete;
    Rack& operator=(const Rack&) = delete;
    ~Rack();

    // "setRack": reuses, replaces and drops slots; fails as a whole (rack unchanged) on more
    // than 8 slots or a stuck audio thread.
    Outcome<std::vector<SlotResult>> set_rack(const std::vector<SlotSpec>& wanted_slots);
    // Gets the chain back from the audio thread, waiting up to the take-back limit.
    Status take_back();
    // Rebuilds the chain in slot order and sends it to the audio thread.
    void hand_over();
    // Recomputes the slot latencies and the total; a changed total is reported.
    void update_latency();
    // Reactivates a slot's plug-in at its request; a failure is reported as a "log" event.
    void restart(std::uint32_t key);
    // Orderly end: closes editors, stops the audio thread, destroys every slot.
    void shut_down();

    // The first slot with the key.
    RackSlot* find(std::uint32_t key);
    std::vector<RackSlot>& slots() { return slots_; }
    std::uint32_t channels() const { return context_.channels; }
    EditorWindows& windows() { return *context_.windows; }
    void write_event(const ov::Json& event) const;

    // Runs `call` with callSlotKey showing `key`, so Orvia can see which plug-in a stuck
    // main thread is in.
    template <class Call>
    auto call_slot(std::uint32_t key, Call&& call) {
        context_.mapping.set_call_slot_key(static_cast<std::int32_t>(key));
        struct Reset {
            AudioMapping& mapping;
            ~Reset() { mapping.set_call_slot_key(-1); }
        } reset{context_.mapping};
        return call();
    }

    // "editor" opening: brings an open window to the front, else creates the window and
    // embeds the plug-in's view; the client size on success.
    Outcome<EditorSize> open_editor(RackSlot& slot, const WindowPlacement& placement);
    // Closes a slot's open editor (no event): the plug-in's view first, then the window.
    void close_editor(RackSlot& slot);
    // Forgets and destroys a slot's editor window without telling the plug-in.
    void forget_editor_window(RackSlot& slot);

private:
    SlotResult describe(const RackSlot& slot) const;
    std::optional<RackSlot> load_slot(const SlotSpec& wanted, SlotResult& result);
    void drop_slot(RackSlot& slot);
    void wake_audio_thread();
    // Receives returned chains into the held chain until every requested one came back or
    // the time is up; false when some are still out.
    bool collect_returns(std::uint32_t timeout_ms);

    RackContext context_;
    std::vector<RackSlot> slots_;
    Chain held_;
    // Chains asked back (TakeBack, Stop) that have not come back yet: a chain that comes
    // back late is still collected, never mistaken for a later one.
    std::size_t outstanding_returns_ = 0;
    bool shut_down_ = false;
};

ov::Json slot_result_json(const SlotResult& result);

}  // namespace ovhost
