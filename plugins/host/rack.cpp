#include "rack.h"

#include "adapt.h"
#include "formats.h"
#include "platform/shared_memory.h"
#include "protocol_lines.h"

#include <algorithm>
#include <chrono>
#include <span>

namespace ovhost {

namespace {

constexpr std::string_view kStateWarning = "loaded, but its saved settings were not restored: ";

class UnavailableEditorWindows final : public EditorWindows {
public:
    Outcome<WindowHandle> create(const std::string&, const WindowPlacement&) override {
        return Outcome<WindowHandle>::failure("could not create the plugin window (editor windows are not available in this host yet)");
    }
    void bring_to_front(WindowHandle) override {}
    void set_client_size(WindowHandle, std::uint32_t, std::uint32_t) override {}
    void destroy(WindowHandle) override {}
    std::vector<WindowHandle> take_close_requests() override { return {}; }
    std::vector<WindowResize> take_resizes() override { return {}; }
};

// The position in `chain` of the entry that shares `cells` with a slot.
Chain::iterator find_chain_slot(Chain& chain, const std::shared_ptr<SlotCells>& cells) {
    return std::find_if(chain.begin(), chain.end(), [&](const ChainSlot& entry) { return entry.cells == cells; });
}

// A slot holds the plug-in a spec asks for: same key, path and uid, byte for byte.
bool holds_plugin_of(const RackSlot& slot, const SlotSpec& wanted) {
    return slot.key == wanted.key && slot.path == wanted.path && slot.uid == wanted.uid;
}

// The set-aside slot with the requested key that a new plug-in replaces: the first one that no
// later entry of the list would reuse, so that a key given twice never reloads a plug-in
// that is still wanted. None when every such slot is still wanted.
std::vector<RackSlot>::iterator replaced_slot(std::vector<RackSlot>& set_aside, std::uint32_t key,
                                             std::span<const SlotSpec> later_specs) {
    return std::find_if(set_aside.begin(), set_aside.end(), [&](const RackSlot& slot) {
        return slot.key == key && std::none_of(later_specs.begin(), later_specs.end(),
                                               [&](const SlotSpec& later) { return holds_plugin_of(slot, later); });
    });
}

}  // namespace

PluginLoader format_plugin_loader() {
    return [](const SlotSpec& wanted, std::uint32_t rack_channels) {
        return load_slot_plugin(wanted.kind, wanted.path, wanted.uid, rack_channels);
    };
}

std::unique_ptr<EditorWindows> make_unavailable_editor_windows() { return std::make_unique<UnavailableEditorWindows>(); }

Rack::Rack(RackContext context) : context_(std::move(context)) {}

Rack::~Rack() {
    if (!shut_down_) shut_down();
}

void Rack::write_event(const ov::Json& event) const {
    if (context_.events) context_.events(event);
}

void Rack::wake_audio_thread() {
    if (context_.event) context_.event->set();
}

RackSlot* Rack::find(std::uint32_t key) {
    for (auto& slot : slots_) {
        if (slot.key == key) return &slot;
    }
    return nullptr;
}

bool Rack::collect_returns(std::uint32_t timeout_ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (outstanding_returns_ > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        auto chain = context_.returned.receive(static_cast<std::uint32_t>(left.count()));
        if (!chain) break;
        --outstanding_returns_;
        for (auto& entry : *chain) held_.push_back(std::move(entry));
    }
    return outstanding_returns_ == 0;
}

Status Rack::take_back() {
    if (context_.to_audio.send(chain_message::TakeBack{})) ++outstanding_returns_;
    wake_audio_thread();
    if (!collect_returns(context_.take_back_timeout_ms)) return Status::failure(std::string(kStuckAudioThreadMessage));
    return ok_status();
}

void Rack::hand_over() {
    Chain chain;
    chain.reserve(slots_.size());
    for (const auto& slot : slots_) {
        auto entry = find_chain_slot(held_, slot.cells);
        if (entry == held_.end()) continue;
        chain.push_back(std::move(*entry));
        held_.erase(entry);
    }
    held_.clear();
    update_latency();
    ChainMessage message{chain_message::Install{std::move(chain)}};
    if (!context_.to_audio.send(std::move(message))) {
        // The audio thread is gone: the processors stay here until the rack ends.
        for (auto& entry : std::get<chain_message::Install>(message).chain) held_.push_back(std::move(entry));
    }
    wake_audio_thread();
}

void Rack::update_latency() {
    std::uint32_t total = 0;
    for (auto& slot : slots_) {
        const std::uint32_t latency = slot.instance->latency();
        slot.cells->latency.store(latency);
        total += latency;  // wraps like the 32-bit field it goes into
    }
    const std::uint32_t previous = context_.mapping.exchange_total_latency(total);
    if (previous != total) write_event(ov::Json{{"event", "latency"}, {"total", total}});
}

SlotResult Rack::describe(const RackSlot& slot) const {
    SlotResult result;
    result.key = slot.key;
    result.ok = true;
    result.name = slot.name;
    result.vendor = slot.vendor;
    result.latency = slot.cells->latency.load();
    result.inputs = slot.inputs;
    result.outputs = slot.outputs;
    result.adapt = adapt_text(context_.channels, slot.inputs, slot.outputs, fold_is_left(slot.fold));
    result.has_editor = slot.has_editor;
    result.params = slot.params;
    return result;
}

std::optional<RackSlot> Rack::load_slot(const SlotSpec& wanted, SlotResult& result) {
    result = SlotResult{};
    result.key = wanted.key;
    return call_slot(wanted.key, [&]() -> std::optional<RackSlot> {
        auto loaded = context_.loader(wanted, context_.channels);
        if (!loaded) {
            result.error = loaded.error();
            return std::nullopt;
        }
        LoadedPlugin& plugin = loaded.value();
        RackSlot slot;
        slot.key = wanted.key;
        slot.kind = wanted.kind;
        slot.path = wanted.path;
        slot.uid = wanted.uid;
        slot.fold = wanted.fold;
        slot.name = plugin.name;
        slot.vendor = plugin.vendor;
        slot.inputs = plugin.inputs;
        slot.outputs = plugin.outputs;
        slot.instance = std::move(plugin.instance);
        slot.cells = std::make_shared<SlotCells>();
        slot.cells->bypass.store(wanted.bypass);

        std::optional<std::string> warning;
        if (wanted.state && !wanted.state->empty()) {
            auto bytes = decode_state_base64(*wanted.state);
            if (!bytes) {
                warning = bytes.error();
            } else if (auto restored = slot.instance->load_state(bytes.value()); !restored) {
                warning = restored.error();
            }
        }
        slot.has_editor = slot.instance->has_editor();
        slot.params = static_cast<std::uint32_t>(slot.instance->params().size());
        slot.cells->latency.store(slot.instance->latency());

        held_.push_back(make_chain_slot(std::move(plugin.processor), slot.inputs, slot.outputs, context_.channels,
                                        slot.key, slot.cells, fold_is_left(wanted.fold)));
        result = describe(slot);
        if (warning) result.error = std::string(kStateWarning) + *warning;
        return slot;
    });
}

void Rack::forget_editor_window(RackSlot& slot) {
    if (!slot.editor.open) return;
    const WindowHandle window = slot.editor.window;
    slot.editor = EditorState{};
    if (window) context_.windows->destroy(window);
}

void Rack::close_editor(RackSlot& slot) {
    if (!slot.editor.open) return;
    const WindowHandle window = slot.editor.window;
    slot.editor = EditorState{};
    slot.instance->close_editor();
    if (window) context_.windows->destroy(window);
}

Outcome<EditorSize> Rack::open_editor(RackSlot& slot, const WindowPlacement& placement) {
    if (slot.editor.open) {
        context_.windows->bring_to_front(slot.editor.window);
        return EditorSize{slot.editor.width, slot.editor.height};
    }
    if (!slot.has_editor)
        return Outcome<EditorSize>::failure(slot.name + " has no window of its own; use the parameter list");
    auto window = context_.windows->create(slot.name + " - Orvia", placement);
    if (!window) return Outcome<EditorSize>::failure(window.error());
    auto size = call_slot(slot.key, [&] { return slot.instance->open_editor(window.value()); });
    if (!size) {
        context_.windows->destroy(window.value());
        return size;
    }
    context_.windows->set_client_size(window.value(), size->width, size->height);
    slot.editor = EditorState{true, window.value(), size->width, size->height};
    return size;
}

void Rack::drop_slot(RackSlot& slot) {
    close_editor(slot);
    auto entry = find_chain_slot(held_, slot.cells);
    if (entry != held_.end()) held_.erase(entry);  // destroys the processor first
    slot.instance.reset();
    slot.cells.reset();
}

Outcome<std::vector<SlotResult>> Rack::set_rack(const std::vector<SlotSpec>& wanted_slots) {
    if (wanted_slots.size() > kMaxRackSlots)
        return Outcome<std::vector<SlotResult>>::failure("a rack holds at most " + decimal_text(kMaxRackSlots) +
                                                          " plugins");
    if (auto taken = take_back(); !taken) return Outcome<std::vector<SlotResult>>::failure(taken.error());

    // Slots whose key is asked for again may be reused; the others go now.
    std::vector<RackSlot> set_aside;
    for (auto& slot : slots_) {
        const bool asked_again = std::any_of(wanted_slots.begin(), wanted_slots.end(),
                                             [&](const SlotSpec& wanted) { return wanted.key == slot.key; });
        if (asked_again) {
            set_aside.push_back(std::move(slot));
        } else {
            drop_slot(slot);
        }
    }
    slots_.clear();

    std::vector<RackSlot> new_slots;
    std::vector<SlotResult> results;
    for (std::size_t index = 0; index < wanted_slots.size(); ++index) {
        const SlotSpec& wanted = wanted_slots[index];
        // Any set-aside slot with the key may hold the plug-in asked for, not only the first.
        auto previous = std::find_if(set_aside.begin(), set_aside.end(),
                                     [&](const RackSlot& slot) { return holds_plugin_of(slot, wanted); });
        if (previous != set_aside.end()) {
            RackSlot slot = std::move(*previous);
            set_aside.erase(previous);
            slot.cells->bypass.store(wanted.bypass);
            if (auto entry = find_chain_slot(held_, slot.cells); entry != held_.end()) entry->fold_left = fold_is_left(wanted.fold);
            slot.kind = wanted.kind;
            slot.fold = wanted.fold;
            results.push_back(describe(slot));
            new_slots.push_back(std::move(slot));
            continue;
        }
        const auto later_specs = std::span<const SlotSpec>(wanted_slots).subspan(index + 1);
        if (auto replaced = replaced_slot(set_aside, wanted.key, later_specs); replaced != set_aside.end()) {
            drop_slot(*replaced);
            set_aside.erase(replaced);
        }
        SlotResult result;
        auto slot = load_slot(wanted, result);
        results.push_back(std::move(result));
        if (slot) new_slots.push_back(std::move(*slot));
    }
    for (auto& slot : set_aside) drop_slot(slot);
    set_aside.clear();

    slots_ = std::move(new_slots);
    hand_over();
    // Latencies as the rebuilt rack reports them. A key given twice shows the latency of the
    // first slot with that key, the one every other command addresses; a failed entry has no
    // plug-in and keeps 0.
    for (auto& result : results) {
        if (!result.ok) continue;
        if (const RackSlot* first = find(result.key)) result.latency = first->cells->latency.load();
    }
    return results;
}

void Rack::restart(std::uint32_t key) {
    if (!take_back()) return;
    if (RackSlot* slot = find(key)) {
        auto reactivated = call_slot(key, [&] { return slot->instance->reactivate(); });
        if (!reactivated)
            write_event(ov::Json{{"event", "log"},
                                 {"message", "slot " + decimal_text(key) + ": restart failed: " + reactivated.error()}});
    }
    hand_over();
}

void Rack::shut_down() {
    if (shut_down_) return;
    shut_down_ = true;
    for (auto& slot : slots_) close_editor(slot);
    if (context_.to_audio.send(chain_message::Stop{})) ++outstanding_returns_;
    wake_audio_thread();
    collect_returns(kStopTimeoutMs);
    held_.clear();
    for (auto& slot : slots_) {
        slot.instance.reset();
        slot.cells.reset();
    }
    slots_.clear();
}

ov::Json slot_result_json(const SlotResult& result) {
    return ov::Json{
        {"key", result.key},
        {"ok", result.ok},
        {"error", result.error ? ov::Json(*result.error) : ov::Json(nullptr)},
        {"name", result.name},
        {"vendor", result.vendor},
        {"latency", result.latency},
        {"inputs", result.inputs},
        {"outputs", result.outputs},
        {"adapt", result.adapt},
        {"hasEditor", result.has_editor},
        {"params", result.params},
    };
}

}  // namespace ovhost
