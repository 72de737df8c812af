#pragma once
// A rack running against a real audio thread over an in-memory mapping, with scriptable fake
// plug-ins and fake editor windows, for the rack, protocol and main-loop tests.
#include "main_loop.h"
#include "ov/json.h"
#include "platform/shared_memory.h"
#include "rack.h"
#include "rack_protocol.h"
#include "unit.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ovhost::rig {

// An auto-reset event inside the process.
class LocalEvent final : public ovplat::NamedEvent {
public:
    void set() override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            set_ = true;
        }
        condition_.notify_one();
    }
    bool wait(std::uint32_t timeout_ms) override {
        std::unique_lock<std::mutex> lock(mutex_);
        const bool got = condition_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [this] { return set_; });
        set_ = false;
        return got;
    }

private:
    std::mutex mutex_;
    std::condition_variable condition_;
    bool set_ = false;
};

// A gate a fake processor can be held at, to imitate a plug-in stuck in its processing.
class Gate {
public:
    void close() {
        std::lock_guard<std::mutex> lock(mutex_);
        open_ = false;
    }
    void open() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            open_ = true;
        }
        condition_.notify_all();
    }
    // Waits while closed; tells `entered` once it is waiting.
    void pass(std::atomic<bool>& entered) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (open_) return;
        entered = true;
        condition_.wait(lock, [this] { return open_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable condition_;
    bool open_ = true;
};

// What a fake plug-in is and does; shared by its instance, its processor and the test.
struct FakeState {
    std::string uid;
    std::string name = "Fake";
    std::string vendor = "Tests";
    std::uint32_t inputs = 1;
    std::uint32_t outputs = 1;
    std::uint32_t latency = 0;
    bool has_editor = false;
    std::vector<ParamInfo> params;
    std::optional<std::string> save_error;
    std::optional<std::string> load_error;
    std::optional<std::string> reactivate_error;
    std::optional<std::string> editor_error;
    EditorSize editor_size{300, 200};
    std::vector<std::uint8_t> state_bytes{1, 2, 3};

    // Recorded calls.
    std::vector<std::uint8_t> loaded_state;
    int load_state_calls = 0;
    int reactivations = 0;
    int close_editor_calls = 0;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> resized;
    std::deque<std::vector<Notice>> polls;  // one list per poll call
    std::vector<std::pair<std::string, std::int32_t>> calls;  // operation, callSlotKey seen during it
    std::vector<std::int32_t> keys_seen(const std::string& operation) const {
        std::vector<std::int32_t> keys;
        for (const auto& [name, key] : calls) {
            if (name == operation) keys.push_back(key);
        }
        return keys;
    }
    bool instance_alive = false;

    std::atomic<float> factor{1.0f};
    std::atomic<bool> fold_seen_left{false};
    std::atomic<int> started{0};
    std::atomic<int> start_calls{0};  // every start, also those that did not start it
    std::atomic<int> blocks{0};
    // Like a format plug-in whose reactivation failed: its processor does not start.
    std::atomic<bool> inactive{false};
    std::atomic<bool> processor_alive{false};
    std::shared_ptr<Gate> gate = std::make_shared<Gate>();
    std::atomic<bool> in_gate{false};
};

class FakeInstance final : public PluginInstance {
public:
    FakeInstance(std::shared_ptr<FakeState> state, AudioMapping mapping) : state_(std::move(state)), mapping_(mapping) {
        state_->instance_alive = true;
    }
    ~FakeInstance() override { state_->instance_alive = false; }

    std::vector<ParamInfo> params() override {
        seen("params");
        return state_->params;
    }
    Outcome<ParamInfo> set_param(std::uint32_t id, double value) override {
        seen("set_param");
        for (auto& info : state_->params) {
            if (info.id != id) continue;
            if (info.read_only) return Outcome<ParamInfo>::failure(info.name + " is read-only");
            info.value = value;
            return info;
        }
        return Outcome<ParamInfo>::failure("no parameter " + std::to_string(id));
    }
    Outcome<std::vector<std::uint8_t>> save_state() override {
        seen("save_state");
        if (state_->save_error) return Outcome<std::vector<std::uint8_t>>::failure(*state_->save_error);
        return state_->state_bytes;
    }
    Status load_state(const std::vector<std::uint8_t>& bytes) override {
        seen("load_state");
        ++state_->load_state_calls;
        if (state_->load_error) return Status::failure(*state_->load_error);
        state_->loaded_state = bytes;
        return ok_status();
    }
    std::uint32_t latency() override {
        seen("latency");
        return state_->latency;
    }
    bool has_editor() override {
        seen("has_editor");
        return state_->has_editor;
    }
    Outcome<EditorSize> open_editor(WindowHandle) override {
        seen("open_editor");
        if (state_->editor_error) return Outcome<EditorSize>::failure(*state_->editor_error);
        return state_->editor_size;
    }
    void close_editor() override {
        seen("close_editor");
        ++state_->close_editor_calls;
    }
    void editor_resized(std::uint32_t width, std::uint32_t height) override {
        seen("editor_resized");
        state_->resized.emplace_back(width, height);
    }
    void poll(std::vector<Notice>& out) override {
        seen("poll");
        if (state_->polls.empty()) return;
        for (auto& notice : state_->polls.front()) out.push_back(notice);
        state_->polls.pop_front();
    }
    Status reactivate() override {
        seen("reactivate");
        ++state_->reactivations;
        state_->inactive = state_->reactivate_error.has_value();
        if (state_->reactivate_error) return Status::failure(*state_->reactivate_error);
        return ok_status();
    }

private:
    void seen(const std::string& operation) { state_->calls.emplace_back(operation, mapping_.call_slot_key()); }
    std::shared_ptr<FakeState> state_;
    AudioMapping mapping_;
};

// Output k = input k x factor; waits at the gate when it is closed.
class FakeProcessor final : public PluginProcessor {
public:
    explicit FakeProcessor(std::shared_ptr<FakeState> state) : state_(std::move(state)) { state_->processor_alive = true; }
    ~FakeProcessor() override { state_->processor_alive = false; }
    bool start() override {
        ++state_->start_calls;
        if (state_->inactive) return false;
        ++state_->started;
        return true;
    }
    void stop() override { --state_->started; }
    void process(const float* const* inputs, std::uint32_t input_count, float* const* outputs,
                 std::uint32_t output_count, std::uint32_t frames) override {
        state_->gate->pass(state_->in_gate);
        ++state_->blocks;
        const float factor = state_->factor.load();
        for (std::uint32_t c = 0; c < output_count; ++c) {
            for (std::uint32_t i = 0; i < frames; ++i) outputs[c][i] = c < input_count ? inputs[c][i] * factor : 0.0f;
        }
    }

private:
    std::shared_ptr<FakeState> state_;
};

// Fake plug-ins by uid: a registered template is copied for every new instance; `latest`
// gives the state of the newest instance of a uid.
class FakeCatalog {
public:
    explicit FakeCatalog(AudioMapping mapping) : mapping_(mapping) {}

    FakeState& define(const std::string& uid) {
        auto state = std::make_shared<FakeState>();
        state->uid = uid;
        templates_[uid] = state;
        return *state;
    }
    std::shared_ptr<FakeState> latest(const std::string& uid) { return instances_[uid].empty() ? nullptr : instances_[uid].back(); }
    std::shared_ptr<FakeState> nth(const std::string& uid, std::size_t index) { return instances_[uid].at(index); }
    int created(const std::string& uid) { return static_cast<int>(instances_[uid].size()); }
    std::optional<std::string> create_error;  // fails every creation when set
    std::map<std::string, std::int32_t> call_key_at_create;

    PluginLoader loader() {
        return [this](const SlotSpec& wanted, std::uint32_t) -> Outcome<LoadedPlugin> {
            call_key_at_create[wanted.uid] = mapping_.call_slot_key();
            const auto found = templates_.find(wanted.uid);
            if (found == templates_.end()) return Outcome<LoadedPlugin>::failure("no fake plugin " + wanted.uid);
            const FakeState& model = *found->second;
            auto state = std::make_shared<FakeState>();
            copy_settings(model, *state);
            instances_[wanted.uid].push_back(state);
            LoadedPlugin plugin;
            plugin.name = state->name;
            plugin.vendor = state->vendor;
            plugin.inputs = state->inputs;
            plugin.outputs = state->outputs;
            plugin.instance = std::make_unique<FakeInstance>(state, mapping_);
            plugin.processor = std::make_unique<FakeProcessor>(state);
            return plugin;
        };
    }

private:
    static void copy_settings(const FakeState& from, FakeState& to) {
        to.uid = from.uid;
        to.name = from.name;
        to.vendor = from.vendor;
        to.inputs = from.inputs;
        to.outputs = from.outputs;
        to.latency = from.latency;
        to.has_editor = from.has_editor;
        to.params = from.params;
        to.save_error = from.save_error;
        to.load_error = from.load_error;
        to.reactivate_error = from.reactivate_error;
        to.editor_error = from.editor_error;
        to.editor_size = from.editor_size;
        to.state_bytes = from.state_bytes;
        to.factor = from.factor.load();
    }
    AudioMapping mapping_;
    std::map<std::string, std::shared_ptr<FakeState>> templates_;
    std::map<std::string, std::vector<std::shared_ptr<FakeState>>> instances_;
};

// Editor windows that exist only as numbers; records what the rack did with them.
class FakeWindows final : public EditorWindows {
public:
    Outcome<WindowHandle> create(const std::string& title, const WindowPlacement& placement) override {
        if (create_error) return Outcome<WindowHandle>::failure(*create_error);
        titles.push_back(title);
        placements.push_back(placement);
        auto window = reinterpret_cast<WindowHandle>(static_cast<std::uintptr_t>(++next_));
        alive.push_back(window);
        return window;
    }
    void bring_to_front(WindowHandle window) override { fronted.push_back(window); }
    void set_client_size(WindowHandle window, std::uint32_t width, std::uint32_t height) override {
        sizes[window] = {width, height};
    }
    void destroy(WindowHandle window) override {
        destroyed.push_back(window);
        std::erase(alive, window);
    }
    std::vector<WindowHandle> take_close_requests() override { return std::exchange(close_requests, {}); }
    std::vector<WindowResize> take_resizes() override { return std::exchange(resizes, {}); }

    std::optional<std::string> create_error;
    std::vector<std::string> titles;
    std::vector<WindowPlacement> placements;
    std::vector<WindowHandle> alive;
    std::vector<WindowHandle> destroyed;
    std::vector<WindowHandle> fronted;
    std::map<WindowHandle, std::pair<std::uint32_t, std::uint32_t>> sizes;
    std::vector<WindowHandle> close_requests;
    std::vector<WindowResize> resizes;

private:
    std::uintptr_t next_ = 0x100;
};

// In-memory mapping, a real audio thread, a rack of fakes and the lines it wrote.
class RackRig {
public:
    // With no `loader` the slots are the catalog's fakes.
    explicit RackRig(std::uint32_t channels = 1, std::uint32_t take_back_timeout_ms = kTakeBackTimeoutMs,
                     PluginLoader loader = {})
        : catalog(view) {
        view.set_magic(layout::kMagic);
        view.set_version(layout::kLayoutVersion);
        view.set_channels(channels);
        auto ends = make_chain_channels();
        audio = std::thread([this, inbox = std::move(ends.audio_inbox), returns = std::move(ends.audio_returns)]() mutable {
            run_audio_thread(view, event, std::move(inbox), std::move(returns));
        });
        rack = std::make_unique<Rack>(RackContext{
            .mapping = view,
            .event = &event,
            .to_audio = std::move(ends.to_audio),
            .returned = std::move(ends.returned),
            .channels = channels,
            .loader = loader ? std::move(loader) : catalog.loader(),
            .windows = &windows,
            .events = [this](const ov::Json& line) { lines.push_back(line); },
            .take_back_timeout_ms = take_back_timeout_ms,
        });
        rack->hand_over();
        protocol = std::make_unique<RackProtocol>(*rack, [this](const ov::Json& line) { lines.push_back(line); }, 4242);
    }
    ~RackRig() {
        rack->shut_down();
        audio.join();
    }

    // Sends one request through the protocol and returns its reply.
    ov::Json request(const ov::Json& value) {
        const auto before = lines.size();
        protocol->handle_line("OVP " + ov::to_compact_json(value));
        return lines.size() > before ? lines.back() : ov::Json();
    }
    ov::Json set_rack(const std::vector<ov::Json>& slots) {
        return request({{"cmd", "setRack"}, {"id", 1}, {"slots", ov::Json(slots)}});
    }
    // The events written so far whose "event" is `name`; clears nothing.
    std::vector<ov::Json> events(const std::string& name) const {
        std::vector<ov::Json> found;
        for (const auto& line : lines) {
            if (line.is_object() && line.value("event", "") == name) found.push_back(line);
        }
        return found;
    }

    alignas(64) std::array<std::uint8_t, layout::kMappingSize> memory{};
    AudioMapping view{memory.data()};
    LocalEvent event;
    FakeCatalog catalog;
    FakeWindows windows;
    std::vector<ov::Json> lines;
    std::thread audio;
    std::unique_ptr<Rack> rack;
    std::unique_ptr<RackProtocol> protocol;
};

inline ov::Json slot_json(std::uint32_t key, const std::string& uid, ov::Json extra = ov::Json::object()) {
    ov::Json value{{"key", key}, {"kind", "fake"}, {"path", "/fx/" + uid}, {"uid", uid}};
    for (auto& [name, member] : extra.items()) value[name] = member;
    return value;
}

}  // namespace ovhost::rig

namespace ovhost::rig {

// Polls `condition` until it holds or `timeout_ms` passed (for effects on the audio thread,
// which gives no other signal).
template <class Condition>
bool eventually(Condition&& condition, int timeout_ms = 10000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::yield();
    }
    return true;
}

}  // namespace ovhost::rig
