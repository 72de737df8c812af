#include "clap/clap.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <optional>
#include <string_view>

#include "clap/events.h"
#include "clap/host.h"
#include "clap/values.h"
#include "ov/numfmt.h"
#include "ov/text.h"
#include "platform/dynamic_library.h"
#include "platform/file_kind.h"
#include "platform/plugin_window.h"

namespace ovhost {

namespace {

using namespace clapabi;

constexpr double kClapSampleRate = 48000.0;
constexpr std::uint32_t kStereoChannels = 2;
constexpr std::uint32_t kTextBufferSize = 64;
constexpr std::uint32_t kDefaultEditorWidth = 640;
constexpr std::uint32_t kDefaultEditorHeight = 400;
constexpr std::uint32_t kMinimumEditorWidth = 100;
constexpr std::uint32_t kMinimumEditorHeight = 60;

constexpr const char* kActivateFailed = "the plugin would not activate at 48 kHz";
constexpr const char* kStillProcessing = "the plugin is still processing";

std::string text_of(const char* text) { return text != nullptr ? ov::text::decode_utf8_lossy(text) : std::string(); }

// A fixed-size byte array read up to its first zero.
std::string text_of_buffer(const char* buffer, std::size_t size) {
    const auto* end = static_cast<const char*>(std::memchr(buffer, 0, size));
    return ov::text::decode_utf8_lossy(std::string_view(buffer, end != nullptr ? end - buffer : size));
}

// Files whose entry was initialised: init runs once per loaded file, and the file is never
// unloaded (deinit is never called).
struct InitialisedFiles {
    std::mutex mutex;
    std::vector<ovplat::LibraryHandle> handles;
};

InitialisedFiles& initialised_files() {
    static InitialisedFiles files;
    return files;
}

// Everything the instance and its processor share; released by whichever goes last.
struct ClapShared {
    ClapHost host;  // its address is the plug-in's host_data, so the record never moves
    InstanceLifecycle life;
    ParamRing to_audio;
    ParamRing from_audio;
    std::shared_ptr<const ClapModule> module;
};

// Channel counts of one direction's ports and the index of the main port.
struct PortList {
    std::vector<std::uint32_t> channels;
    std::uint32_t main = 0;
};

PortList read_ports(const clap_plugin* plugin, const clap_plugin_audio_ports* ports, bool is_input) {
    PortList list;
    if (ports == nullptr) {
        list.channels.push_back(kStereoChannels);
        return list;
    }
    const std::uint32_t count = ports->count != nullptr ? ports->count(plugin, is_input) : 0;
    bool main_found = false;
    for (std::uint32_t index = 0; index < count; ++index) {
        clap_audio_port_info info;
        std::memset(&info, 0, sizeof info);
        if (ports->get == nullptr || !ports->get(plugin, index, is_input, &info)) continue;
        const std::uint32_t channels = std::clamp<std::uint32_t>(info.channel_count, 1, kMaxPluginChannels);
        if (!main_found && (info.flags & kAudioPortIsMain) != 0) {
            list.main = static_cast<std::uint32_t>(list.channels.size());
            main_found = true;
        }
        list.channels.push_back(channels);
    }
    return list;
}

template <class Extension>
const Extension* plugin_extension(const clap_plugin* plugin, const char* id) {
    if (plugin->get_extension == nullptr) return nullptr;
    return static_cast<const Extension*>(plugin->get_extension(plugin, id));
}

// The audio thread's side of one plug-in. Every buffer and list is made here, so process()
// neither allocates nor locks.
class ClapProcessor final : public PluginProcessor {
public:
    ClapProcessor(std::shared_ptr<ClapShared> shared, const clap_plugin* plugin, const PortList& inputs,
                  const PortList& outputs)
        : shared_(std::move(shared)), plugin_(plugin) {
        build_ports(inputs, in_ports_, in_buffers_);
        build_ports(outputs, out_ports_, out_buffers_);
        main_in_ = inputs.main;
        main_out_ = outputs.main;
    }

    // A plug-in that is not active, or refuses to start, is not processed until the next start.
    bool start() override {
        InstanceLifecycle& life = shared_->life;
        if (!life.move_to(InstanceState::processing)) return false;
        if (plugin_->start_processing != nullptr && !plugin_->start_processing(plugin_)) {
            life.move_to(InstanceState::active);
            return false;
        }
        return true;
    }

    void stop() override {
        InstanceLifecycle& life = shared_->life;
        if (!life.is(InstanceState::processing)) return;
        if (plugin_->stop_processing != nullptr) plugin_->stop_processing(plugin_);
        life.move_to(InstanceState::active);
    }

    void process(const float* const* inputs, std::uint32_t input_count, float* const* outputs,
                 std::uint32_t output_count, std::uint32_t frames) override {
        if (!shared_->life.is(InstanceState::processing)) return;
        frames = std::min(frames, kBlockFrames);  // the scratch buffers hold one block
        in_events_.clear();
        while (in_events_.size() < kClapEventsPerBlock) {
            const auto entry = shared_->to_audio.pop();
            if (!entry) break;
            in_events_.add(entry->id, entry->value);
        }
        point_ports(in_ports_, main_in_, const_cast<float* const*>(inputs), input_count);
        point_ports(out_ports_, main_out_, outputs, output_count);
        out_events_.clear();

        clap_process process{};
        process.steady_time = steady_time_;
        process.frames_count = frames;
        process.transport = nullptr;
        process.audio_inputs = in_buffers_.data();
        process.audio_outputs = out_buffers_.data();
        process.audio_inputs_count = static_cast<std::uint32_t>(in_buffers_.size());
        process.audio_outputs_count = static_cast<std::uint32_t>(out_buffers_.size());
        process.in_events = in_events_.list();
        process.out_events = out_events_.list();
        steady_time_ += frames;
        if (plugin_->process != nullptr) plugin_->process(plugin_, &process);

        for (std::uint32_t i = 0; i < out_events_.size(); ++i)
            shared_->from_audio.push(out_events_.at(i).param_id, out_events_.at(i).value);
    }

private:
    struct Port {
        std::vector<float*> pointers;
        std::vector<std::vector<float>> scratch;  // one block per channel, never cleared by the host
    };

    static void build_ports(const PortList& list, std::vector<Port>& ports, std::vector<clap_audio_buffer>& buffers) {
        ports.resize(list.channels.size());
        buffers.resize(list.channels.size());
        for (std::size_t p = 0; p < list.channels.size(); ++p) {
            const std::uint32_t channels = list.channels[p];
            ports[p].pointers.assign(channels, nullptr);
            ports[p].scratch.assign(channels, std::vector<float>(kBlockFrames, 0.0f));
            for (std::uint32_t c = 0; c < channels; ++c) ports[p].pointers[c] = ports[p].scratch[c].data();
            buffers[p] = clap_audio_buffer{ports[p].pointers.data(), nullptr, channels, 0, 0};
        }
    }

    // The main port reads or writes the host's channels (the last one repeated when the
    // port has more); every other port keeps its own scratch buffers.
    static void point_ports(std::vector<Port>& ports, std::uint32_t main, float* const* host, std::uint32_t count) {
        for (std::uint32_t p = 0; p < ports.size(); ++p) {
            Port& port = ports[p];
            for (std::size_t c = 0; c < port.pointers.size(); ++c) {
                if (p == main && count > 0)
                    port.pointers[c] = host[std::min<std::size_t>(c, count - 1)];
                else
                    port.pointers[c] = port.scratch[c].data();
            }
        }
    }

    std::shared_ptr<ClapShared> shared_;
    const clap_plugin* plugin_;
    std::vector<Port> in_ports_;
    std::vector<Port> out_ports_;
    std::vector<clap_audio_buffer> in_buffers_;
    std::vector<clap_audio_buffer> out_buffers_;
    std::uint32_t main_in_ = 0;
    std::uint32_t main_out_ = 0;
    ClapInputEvents in_events_;
    ClapOutputCollector out_events_;
    std::int64_t steady_time_ = 0;
};

// The saving and loading streams handed to the plug-in's state extension.
struct SavingStream {
    clap_ostream stream{this, &SavingStream::write};
    std::vector<std::uint8_t> bytes;

    static std::int64_t write(const clap_ostream* stream, const void* buffer, std::uint64_t size) {
        auto* self = static_cast<SavingStream*>(stream->ctx);
        const auto* data = static_cast<const std::uint8_t*>(buffer);
        if (size > 0 && data != nullptr) self->bytes.insert(self->bytes.end(), data, data + size);
        return static_cast<std::int64_t>(size);
    }
};

struct LoadingStream {
    clap_istream stream{this, &LoadingStream::read};
    const std::vector<std::uint8_t>* bytes = nullptr;
    std::size_t position = 0;

    static std::int64_t read(const clap_istream* stream, void* buffer, std::uint64_t size) {
        auto* self = static_cast<LoadingStream*>(stream->ctx);
        if (buffer == nullptr) return 0;
        const std::size_t left = self->bytes->size() - self->position;
        const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(size, left));
        if (count > 0) std::memcpy(buffer, self->bytes->data() + self->position, count);
        self->position += count;
        return static_cast<std::int64_t>(count);
    }
};

struct Extensions {
    const clap_plugin_params* params = nullptr;
    const clap_plugin_state* state = nullptr;
    const clap_plugin_latency* latency = nullptr;
    const clap_plugin_gui* gui = nullptr;
};

// The main thread's side of one plug-in; owns the plug-in and tears it down.
class ClapInstance final : public PluginInstance {
public:
    ClapInstance(std::shared_ptr<ClapShared> shared, const clap_plugin* plugin, Extensions extensions)
        : shared_(std::move(shared)), plugin_(plugin), ext_(extensions) {}

    ~ClapInstance() override {
        close_window();
        InstanceState left = InstanceState::created;
        // Still processing (an audio thread that never gave the processor back): the plug-in
        // may be inside process, so it is left alone.
        if (!shared_->life.move_to(InstanceState::torn_down, &left)) return;
        if (left == InstanceState::active && plugin_->deactivate != nullptr) plugin_->deactivate(plugin_);
        if (plugin_->destroy != nullptr) plugin_->destroy(plugin_);
        shared_->host.drop_registrations();
    }

    // The activation at creation; a failure leaves the instance to be torn down.
    Status activate_first() {
        if (!activate()) return Status::failure(kActivateFailed);
        return ok_status();
    }

    std::vector<ParamInfo> params() override {
        std::vector<ParamInfo> list;
        if (ext_.params == nullptr || ext_.params->count == nullptr) return list;
        const std::uint32_t count = ext_.params->count(plugin_);
        for (std::uint32_t index = 0; index < count; ++index) {
            const auto info = param_info_at(index);
            if (!info || (info->flags & kParamIsHidden) != 0) continue;
            list.push_back(describe(*info));
        }
        return list;
    }

    Outcome<ParamInfo> set_param(std::uint32_t id, double normalized) override {
        const auto info = find_param(id);
        if (!info) return Outcome<ParamInfo>::failure("no parameter " + std::to_string(id));
        ParamInfo described = describe(*info);
        if ((info->flags & kParamIsReadOnly) != 0) return Outcome<ParamInfo>::failure(described.name + " is read-only");
        const double plain = clap_values::plain_from_normalized(normalized, info->min_value, info->max_value,
                                                                (info->flags & kParamIsStepped) != 0);
        shared_->to_audio.push_locked(id, plain);
        // The text still belongs to the value before the change: the plug-in sees the new
        // value only in its next block.
        described.value = clap_values::normalized_from_plain(plain, info->min_value, info->max_value);
        return described;
    }

    Outcome<std::vector<std::uint8_t>> save_state() override {
        using Result = Outcome<std::vector<std::uint8_t>>;
        if (ext_.state == nullptr) return Result::failure("this plugin saves no state");
        SavingStream stream;
        if (ext_.state->save == nullptr || !ext_.state->save(plugin_, &stream.stream))
            return Result::failure("the plugin would not save its state");
        return std::move(stream.bytes);
    }

    Status load_state(const std::vector<std::uint8_t>& bytes) override {
        if (ext_.state == nullptr) return Status::failure("this plugin saves no state");
        LoadingStream stream;
        stream.bytes = &bytes;
        if (ext_.state->load == nullptr || !ext_.state->load(plugin_, &stream.stream))
            return Status::failure("the plugin refused its saved state");
        return ok_status();
    }

    // Asked only while the plug-in is active; otherwise the latency it had then.
    std::uint32_t latency() override {
        const InstanceState state = shared_->life.state();
        if (state != InstanceState::active && state != InstanceState::processing) return last_latency_;
        if (ext_.latency == nullptr || ext_.latency->get == nullptr) return 0;
        last_latency_ = ext_.latency->get(plugin_);
        return last_latency_;
    }

    bool has_editor() override {
        return ext_.gui != nullptr && ext_.gui->is_api_supported != nullptr &&
               ext_.gui->is_api_supported(plugin_, ovplat::kClapWindowApi, false);
    }

    Outcome<EditorSize> open_editor(WindowHandle parent) override {
        using Result = Outcome<EditorSize>;
        close_window();
        const clap_plugin_gui* gui = ext_.gui;
        if (gui == nullptr) return Result::failure("this plugin has no window of its own");
        if (gui->is_api_supported == nullptr || !gui->is_api_supported(plugin_, ovplat::kClapWindowApi, false))
            return Result::failure("the plugin's window does not support Windows");
        shared_->host.begin_gui();
        if (gui->create == nullptr || !gui->create(plugin_, ovplat::kClapWindowApi, false)) {
            shared_->host.end_gui();
            return Result::failure("the plugin could not create its window");
        }
        window_created_ = true;
        clap_window window{};
        window.api = ovplat::kClapWindowApi;
        window.uptr = reinterpret_cast<std::uintptr_t>(parent);
        if (gui->set_parent == nullptr || !gui->set_parent(plugin_, &window)) {
            close_window();
            return Result::failure("the plugin could not open its window");
        }
        std::uint32_t width = kDefaultEditorWidth;
        std::uint32_t height = kDefaultEditorHeight;
        if (gui->get_size != nullptr) gui->get_size(plugin_, &width, &height);
        if (gui->show != nullptr) gui->show(plugin_);
        return EditorSize{std::max(width, kMinimumEditorWidth), std::max(height, kMinimumEditorHeight)};
    }

    void close_editor() override { close_window(); }

    void editor_resized(std::uint32_t width, std::uint32_t height) override {
        const clap_plugin_gui* gui = ext_.gui;
        if (!window_created_ || gui->can_resize == nullptr || !gui->can_resize(plugin_)) return;
        if (gui->adjust_size != nullptr) gui->adjust_size(plugin_, &width, &height);
        if (gui->set_size != nullptr) gui->set_size(plugin_, width, height);
    }

    void poll(std::vector<Notice>& out) override {
        ClapHost& host = shared_->host;
        // First, so that whatever the plug-in requests from its callback is reported now.
        if (host.take_callback_requested() && plugin_->on_main_thread != nullptr) plugin_->on_main_thread(plugin_);
        while (const auto entry = shared_->from_audio.pop()) {
            if (ext_.params == nullptr || ext_.params->count == nullptr || ext_.params->get_info == nullptr) continue;
            const auto info = find_param(entry->id);
            if (!info) continue;
            out.push_back(notice::ParamChanged{
                entry->id, clap_values::normalized_from_plain(entry->value, info->min_value, info->max_value)});
        }
        if (host.take_restart_requested()) out.push_back(notice::RestartRequested{});
        if (host.take_latency_changed()) {
            // A new latency needs the plug-in reactivated before it takes effect.
            out.push_back(notice::RestartRequested{});
            out.push_back(notice::LatencyChanged{});
        }
        if (host.take_state_dirty()) out.push_back(notice::StateDirty{});
        if (host.take_window_closed()) out.push_back(notice::EditorClosed{});
        const auto size = host.take_requested_size();
        if (size.width != 0 && size.height != 0) {
            // The gui is sized only while it exists; the host window follows the notice.
            if (window_created_ && ext_.gui->set_size != nullptr) ext_.gui->set_size(plugin_, size.width, size.height);
            out.push_back(notice::EditorResize{size.width, size.height});
        }
    }

    Status reactivate() override {
        InstanceLifecycle& life = shared_->life;
        if (life.move_to(InstanceState::created)) {
            if (plugin_->deactivate != nullptr) plugin_->deactivate(plugin_);
        } else if (!life.is(InstanceState::inactive)) {
            return Status::failure(kStillProcessing);  // the audio thread still has it
        }
        if (!activate()) {
            life.move_to(InstanceState::inactive);
            return Status::failure(kActivateFailed);
        }
        return ok_status();
    }

private:
    // Activates at 48 kHz with blocks of 1 to 480 frames. A restart or latency notice the
    // plug-in raises meanwhile is answered by this very activation (the rack reads the
    // latency after it), so it asks for no further restart.
    bool activate() {
        InstanceLifecycle& life = shared_->life;
        if (!life.is(InstanceState::created) && !life.is(InstanceState::inactive)) return false;
        const bool activated =
            plugin_->activate != nullptr && plugin_->activate(plugin_, kClapSampleRate, 1, kBlockFrames);
        shared_->host.take_restart_requested();
        shared_->host.take_latency_changed();
        return activated && life.move_to(InstanceState::active);
    }

    std::optional<clap_param_info> param_info_at(std::uint32_t index) {
        if (ext_.params->get_info == nullptr) return std::nullopt;
        clap_param_info info;
        std::memset(&info, 0, sizeof info);
        if (!ext_.params->get_info(plugin_, index, &info)) return std::nullopt;
        return info;
    }

    // The first parameter with the id, hidden ones included.
    std::optional<clap_param_info> find_param(std::uint32_t id) {
        if (ext_.params == nullptr || ext_.params->count == nullptr) return std::nullopt;
        const std::uint32_t count = ext_.params->count(plugin_);
        for (std::uint32_t index = 0; index < count; ++index) {
            const auto info = param_info_at(index);
            if (info && info->id == id) return info;
        }
        return std::nullopt;
    }

    ParamInfo describe(const clap_param_info& info) {
        double plain = info.default_value;
        if (ext_.params->get_value != nullptr) ext_.params->get_value(plugin_, info.id, &plain);
        ParamInfo out;
        out.id = info.id;
        out.name = text_of_buffer(info.name, sizeof info.name);
        out.value = clap_values::normalized_from_plain(plain, info.min_value, info.max_value);
        out.text = value_text(info.id, plain);
        out.steps = (info.flags & kParamIsStepped) != 0 ? clap_values::step_count(info.min_value, info.max_value) : 0;
        out.default_value = clap_values::normalized_from_plain(info.default_value, info.min_value, info.max_value);
        out.automatable = (info.flags & kParamIsAutomatable) != 0;
        out.read_only = (info.flags & kParamIsReadOnly) != 0;
        return out;
    }

    std::string value_text(std::uint32_t id, double plain) {
        char buffer[kTextBufferSize] = {};
        if (ext_.params->value_to_text != nullptr &&
            ext_.params->value_to_text(plugin_, id, plain, buffer, kTextBufferSize))
            return text_of_buffer(buffer, sizeof buffer);
        return ov::num::fixed(plain, 3);
    }

    void close_window() {
        if (!window_created_) return;
        if (ext_.gui->hide != nullptr) ext_.gui->hide(plugin_);
        if (ext_.gui->destroy != nullptr) ext_.gui->destroy(plugin_);
        shared_->host.end_gui();  // removes the timers and watches the gui forgot
        window_created_ = false;
    }

    std::shared_ptr<ClapShared> shared_;
    const clap_plugin* plugin_;
    Extensions ext_;
    bool window_created_ = false;
    std::uint32_t last_latency_ = 0;
};

}  // namespace

Outcome<std::shared_ptr<const ClapModule>> load_clap_module(const std::string& path) {
    using Result = Outcome<std::shared_ptr<const ClapModule>>;
    if (ovplat::file_kind(path, false) != ovplat::FileKind::regular_file) return Result::failure(path + " is not a CLAP file");
    std::string system_error;
    const ovplat::LibraryHandle library = ovplat::load_library(path, system_error);
    if (library == nullptr) return Result::failure("could not load " + path + " (" + system_error + ")");
    const auto* entry = static_cast<const clap_plugin_entry*>(ovplat::library_symbol(library, "clap_entry"));
    if (entry == nullptr) return Result::failure("not a CLAP plugin (no clap_entry)");
    if (entry->clap_version.major == 0) return Result::failure("the plugin was built for a pre-1.0 CLAP");
    if (path.find('\0') != std::string::npos) return Result::failure("bad path");

    auto& files = initialised_files();
    {
        std::lock_guard<std::mutex> lock(files.mutex);
        const bool initialised = std::find(files.handles.begin(), files.handles.end(), library) != files.handles.end();
        if (!initialised) {
            if (entry->init == nullptr || !entry->init(path.c_str()))
                return Result::failure("the plugin's clap_entry.init failed");
            files.handles.push_back(library);
        }
    }
    const void* factory = entry->get_factory != nullptr ? entry->get_factory(kPluginFactoryId) : nullptr;
    if (factory == nullptr) return Result::failure("the plugin has no plugin factory");
    auto module = std::make_shared<ClapModule>();
    module->entry = entry;
    module->factory = static_cast<const clap_plugin_factory*>(factory);
    return std::shared_ptr<const ClapModule>(std::move(module));
}

std::vector<ClapDescriptorRecord> clap_descriptors(const ClapModule& module) {
    std::vector<ClapDescriptorRecord> records;
    const clap_plugin_factory* factory = module.factory;
    if (factory->get_plugin_count == nullptr) return records;
    const std::uint32_t count = factory->get_plugin_count(factory);
    for (std::uint32_t index = 0; index < count; ++index) {
        const clap_plugin_descriptor* descriptor =
            factory->get_plugin_descriptor != nullptr ? factory->get_plugin_descriptor(factory, index) : nullptr;
        if (descriptor == nullptr) continue;
        ClapDescriptorRecord record;
        record.id = text_of(descriptor->id);
        record.name = text_of(descriptor->name);
        record.vendor = text_of(descriptor->vendor);
        record.version = text_of(descriptor->version);
        if (descriptor->features != nullptr) {
            for (const char* const* feature = descriptor->features; *feature != nullptr; ++feature) {
                if (feature != descriptor->features) record.category += '|';
                record.category += text_of(*feature);
            }
        }
        records.push_back(std::move(record));
    }
    return records;
}

Outcome<LoadedPlugin> create_clap_plugin(std::shared_ptr<const ClapModule> module,
                                         const ClapDescriptorRecord& descriptor) {
    using Result = Outcome<LoadedPlugin>;
    auto shared = std::make_shared<ClapShared>();  // the calling thread is the main thread
    shared->module = module;
    if (descriptor.id.find('\0') != std::string::npos) return Result::failure("bad plugin id");
    const clap_plugin_factory* factory = module->factory;
    const clap_plugin* plugin = factory->create_plugin != nullptr
                                    ? factory->create_plugin(factory, shared->host.host(), descriptor.id.c_str())
                                    : nullptr;
    if (plugin == nullptr) return Result::failure("the plugin would not create an instance");
    shared->host.set_plugin(plugin);
    const auto destroy = [plugin, &shared] {
        if (plugin->destroy != nullptr) plugin->destroy(plugin);
        shared->host.drop_registrations();
    };
    if (plugin->init == nullptr || !plugin->init(plugin)) {
        destroy();
        return Result::failure("the plugin would not initialise");
    }

    const auto* audio_ports = plugin_extension<clap_plugin_audio_ports>(plugin, kExtAudioPorts);
    const PortList inputs = read_ports(plugin, audio_ports, true);
    const PortList outputs = read_ports(plugin, audio_ports, false);
    if (inputs.channels.empty() || outputs.channels.empty()) {
        destroy();
        return Result::failure("not an audio effect: it has no audio input (an instrument?) or no output");
    }

    Extensions extensions;
    extensions.params = plugin_extension<clap_plugin_params>(plugin, kExtParams);
    extensions.state = plugin_extension<clap_plugin_state>(plugin, kExtState);
    extensions.latency = plugin_extension<clap_plugin_latency>(plugin, kExtLatency);
    extensions.gui = plugin_extension<clap_plugin_gui>(plugin, kExtGui);

    // From here on the instance owns the plug-in and tears it down on every path.
    auto instance = std::make_unique<ClapInstance>(shared, plugin, extensions);
    if (auto activated = instance->activate_first(); !activated) return Result::failure(activated.error());

    LoadedPlugin loaded;
    loaded.name = descriptor.name;
    loaded.vendor = descriptor.vendor;
    loaded.inputs = inputs.channels[inputs.main];
    loaded.outputs = outputs.channels[outputs.main];
    loaded.processor = std::make_unique<ClapProcessor>(shared, plugin, inputs, outputs);
    loaded.instance = std::move(instance);
    return loaded;
}

Outcome<std::vector<ScanCandidate>> clap_scan_candidates(const std::string& path) {
    using Result = Outcome<std::vector<ScanCandidate>>;
    auto module = load_clap_module(path);
    if (!module) return Result::failure(module.error());
    std::vector<ScanCandidate> candidates;
    for (auto& record : clap_descriptors(*module.value())) {
        ScanCandidate candidate;
        candidate.name = record.name;
        candidate.uid = record.id;
        candidate.version = record.version;
        candidate.category = record.category;
        candidate.create = [shared_module = module.value(), record](std::uint32_t) {
            return create_clap_plugin(shared_module, record);
        };
        candidates.push_back(std::move(candidate));
    }
    return candidates;
}

Outcome<LoadedPlugin> load_clap_slot_plugin(const std::string& path, const std::string& uid) {
    auto module = load_clap_module(path);
    if (!module) return Outcome<LoadedPlugin>::failure(module.error());
    for (const auto& record : clap_descriptors(*module.value()))
        if (record.id == uid) return create_clap_plugin(module.value(), record);
    return Outcome<LoadedPlugin>::failure("the file no longer has that plugin");
}

}  // namespace ovhost
