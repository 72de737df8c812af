#include "main_loop.h"

#include "editor.h"
#include "ov/text.h"
#include "platform/clock.h"
#include "platform/main_loop.h"
#include "platform/process.h"
#include "platform/shared_memory.h"
#include "platform/stdio.h"
#include "platform/thread.h"
#include "protocol_lines.h"
#include "run.h"
#include "unit.h"

#include <algorithm>
#include <cmath>

namespace ovhost {

bool InputQueue::push(InputItem item) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (receiver_gone_) return false;
    items_.push_back(std::move(item));
    return true;
}

std::optional<InputItem> InputQueue::try_pop() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (items_.empty()) return std::nullopt;
    InputItem item = std::move(items_.front());
    items_.pop_front();
    return item;
}

void InputQueue::close_receiver() {
    std::lock_guard<std::mutex> lock(mutex_);
    receiver_gone_ = true;
    items_.clear();
}

bool LineSplitter::next(std::string& line) {
    for (;;) {
        const auto at = pending_.find('\n', scanned_);
        if (at != std::string::npos) {
            std::size_t stop = at;
            if (stop > 0 && pending_[stop - 1] == '\r') --stop;
            line.assign(pending_, 0, stop);
            pending_.erase(0, at + 1);
            scanned_ = 0;
            return true;
        }
        scanned_ = pending_.size();
        if (finished_) break;
        char chunk[16 * 1024];
        const std::size_t got = read_(chunk, sizeof chunk);
        if (got == 0) {
            finished_ = true;
            break;
        }
        pending_.append(chunk, got);
    }
    if (pending_.empty()) return false;
    line = std::move(pending_);
    pending_.clear();
    scanned_ = 0;
    return true;
}

void read_input_lines(LineSplitter& lines, InputQueue& queue, const std::function<bool()>& wake_main) {
    std::string line;
    while (lines.next(line)) {
        if (!ov::text::is_valid_utf8(line)) break;
        if (!queue.push(InputItem{false, std::move(line)})) return;
        wake_main();  // a failed wake-up is made up for by the next timer tick
        line.clear();
    }
    queue.push(InputItem{true, {}});
    wake_main();
}

void RestartPacer::request(std::uint32_t key) {
    if (std::find(wanted_.begin(), wanted_.end(), key) == wanted_.end()) wanted_.push_back(key);
}

std::vector<std::uint32_t> RestartPacer::take_due(std::uint64_t now_ms) {
    std::erase_if(windows_, [now_ms](const Window& window) { return window.ends_ms <= now_ms; });
    std::vector<std::uint32_t> due;
    std::erase_if(wanted_, [&](std::uint32_t key) {
        const bool in_window = std::any_of(windows_.begin(), windows_.end(),
                                           [key](const Window& window) { return window.key == key; });
        if (in_window) return false;
        due.push_back(key);
        windows_.push_back(Window{key, now_ms + kWindowMs});
        return true;
    });
    return due;
}

MillisecondClock monotonic_milliseconds() {
    return [] { return ovplat::monotonic_ns() / 1000000u; };
}

RackSession::RackSession(Rack& rack, RackProtocol& protocol, LineWriter writer, MillisecondClock now_ms)
    : rack_(rack), protocol_(protocol), writer_(std::move(writer)), now_ms_(std::move(now_ms)) {}

RackSession::InputState RackSession::handle_queued_input(InputQueue& queue) {
    while (auto item = queue.try_pop()) {
        if (item->end) return InputState::ended;
        if (protocol_.handle_line(item->line) == RackProtocol::LineResult::quit) return InputState::quit;
    }
    return InputState::open;
}

void RackSession::handle_window_requests() {
    EditorWindows& windows = rack_.windows();
    auto editor_of = [&](WindowHandle window) -> RackSlot* {
        for (auto& slot : rack_.slots()) {
            if (slot.editor.open && slot.editor.window == window) return &slot;
        }
        return nullptr;
    };
    for (const WindowHandle window : windows.take_close_requests()) {
        RackSlot* slot = editor_of(window);
        if (!slot) continue;
        rack_.close_editor(*slot);
        write_event(ov::Json{{"event", "editorClosed"}, {"key", slot->key}});
    }
    for (const auto& resize : windows.take_resizes()) {
        RackSlot* slot = editor_of(resize.window);
        if (!slot || (slot->editor.width == resize.width && slot->editor.height == resize.height)) continue;
        slot->editor.width = resize.width;
        slot->editor.height = resize.height;
        slot->instance->editor_resized(resize.width, resize.height);
    }
}

void RackSession::poll_slot(RackSlot& slot, std::vector<std::uint32_t>& restarts, bool& latency_changed) {
    struct ParamValue {
        std::uint32_t id;
        double value;
    };
    std::vector<ParamValue> changes;
    notices_.clear();
    slot.instance->poll(notices_);
    for (const auto& notice : notices_) {
        if (const auto* changed = std::get_if<notice::ParamChanged>(&notice)) {
            auto same = std::find_if(changes.begin(), changes.end(), [&](const ParamValue& c) { return c.id == changed->id; });
            if (same != changes.end()) {
                same->value = changed->value;
            } else {
                changes.push_back({changed->id, changed->value});
            }
        } else if (std::holds_alternative<notice::LatencyChanged>(notice)) {
            latency_changed = true;
        } else if (std::holds_alternative<notice::RestartRequested>(notice)) {
            restarts.push_back(slot.key);
        } else if (std::holds_alternative<notice::StateDirty>(notice)) {
            write_event(ov::Json{{"event", "stateDirty"}, {"key", slot.key}});
        } else if (std::holds_alternative<notice::EditorClosed>(notice)) {
            rack_.forget_editor_window(slot);
            write_event(ov::Json{{"event", "editorClosed"}, {"key", slot.key}});
        } else if (const auto* resize = std::get_if<notice::EditorResize>(&notice)) {
            if (slot.editor.open) {
                slot.editor.width = resize->width;
                slot.editor.height = resize->height;
                rack_.windows().set_client_size(slot.editor.window, resize->width, resize->height);
            }
        }
    }
    for (const auto& change : changes) {
        write_event(ov::Json{{"event", "param"},
                             {"key", slot.key},
                             {"id", change.id},
                             {"value", std::isfinite(change.value) ? ov::Json(change.value) : ov::Json(nullptr)}});
    }
}

void RackSession::periodic_work() {
    handle_window_requests();
    std::vector<std::uint32_t> restarts;
    bool latency_changed = false;
    for (auto& slot : rack_.slots()) poll_slot(slot, restarts, latency_changed);
    // A slot that keeps asking is restarted at most once per window, so that it cannot keep
    // the whole rack stopping; a request deferred meanwhile comes due on a later tick. (Several
    // requests of one slot in one pass restart it once.)
    for (const std::uint32_t key : restarts) restarts_.request(key);
    if (restarts_.waiting()) {
        for (const std::uint32_t key : restarts_.take_due(now_ms_())) {
            if (rack_.find(key) != nullptr) rack_.restart(key);  // a slot dropped meanwhile needs none
        }
    }
    if (latency_changed) rack_.update_latency();
}

std::uint32_t clamp_rack_channels(std::uint64_t channels) { return channels >= 2 ? 2 : 1; }

int run_rack_mode(const std::string& mapping_name, std::uint64_t channels) {
    ovplat::initialize_com_apartment();
    const LineWriter writer = [](const ov::Json& value) { write_line(value); };

    auto attached = attach_audio_mapping(mapping_name);
    if (!attached) {
        writer(ov::Json{{"event", "fatal"}, {"message", attached.error()}});
        return kExitAttachFailed;
    }
    // The mapping and the event stay until the process ends: the audio thread uses them
    // for as long as it runs, which may be longer than this function.
    auto* mapping = new AttachedMapping(std::move(attached.value()));
    const std::uint32_t rack_channels = clamp_rack_channels(channels);

    auto chain_channels = make_chain_channels();
    if (!start_audio_thread(mapping->view, *mapping->event, std::move(chain_channels.audio_inbox),
                            std::move(chain_channels.audio_returns)))
        return kExitAudioThreadFailed;

    auto windows = make_editor_windows();
    Rack rack(RackContext{
        .mapping = mapping->view,
        .event = mapping->event.get(),
        .to_audio = std::move(chain_channels.to_audio),
        .returned = std::move(chain_channels.returned),
        .channels = rack_channels,
        .loader = format_plugin_loader(),
        .windows = windows.get(),
        .events = writer,
    });
    rack.hand_over();

    // Without a message loop (the system refused its timer) there is nothing to run: that
    // ends rack mode like a loop that ended.
    std::string loop_error;
    std::unique_ptr<ovplat::MainLoop> loop = ovplat::MainLoop::create(loop_error);
    auto queue = std::make_shared<InputQueue>();
    if (loop) {
        ovplat::MainLoop* wake_target = loop.get();
        ovplat::start_detached_thread("ov-plugin-stdin", [queue, wake_target] {
            LineSplitter lines([](char* buffer, std::size_t size) { return ovplat::read_stdin(buffer, size); });
            read_input_lines(lines, *queue, [wake_target] { return wake_target->wake(); });
        });
    }
    const std::uint32_t process_id = ovplat::current_process_id();
    writer(ov::Json{{"event", "ready"}, {"pid", process_id}});

    RackProtocol protocol(rack, writer, process_id);
    RackSession session(rack, protocol, writer);
    if (loop) {
        loop->run([&] {
            switch (session.handle_queued_input(*queue)) {
                case RackSession::InputState::quit: return false;
                // The end of input ends the process at once: no shutdown, editors stay.
                case RackSession::InputState::ended: ovplat::exit_immediately(kExitOk);
                case RackSession::InputState::open: break;
            }
            session.periodic_work();
            return true;
        });
    }
    rack.shut_down();
    queue->close_receiver();
    // Threads may still run (a reader blocked on input, an audio thread stuck in a
    // plug-in): leave without tearing down what they use.
    ovplat::exit_immediately(kExitOk);
}

}  // namespace ovhost
