// A VST3 class brought to the host's fixed setup (48 kHz, 32-bit float, 480-frame blocks):
// creation, the main-thread instance (parameters, state, notices, editor), the audio-thread
// processor, and the teardown.
#include <algorithm>
#include <bit>
#include <cstring>

#include "platform/plugin_window.h"
#include "vst3/vst3.h"
#include "vst3/abi.h"
#include "vst3/objects.h"
#include "vst3/state.h"

namespace ovhost {

using namespace vst3;

namespace {

// The component, its audio processor and the instance's lifecycle, held by both the instance
// and the processor; whichever goes last releases the two interfaces, the audio processor
// first: plug-ins that count references per interface delete themselves only when the
// component goes last.
struct Core {
    Ref<IComponent> component;
    Ref<IAudioProcessor> processor;
    InstanceLifecycle life;
    ~Core() {
        processor.reset();
        component.reset();
    }
};

constexpr const char* kStillProcessing = "the plugin is still processing";

std::uint32_t channels_of(SpeakerArrangement arrangement) {
    if (arrangement == 0) return 1;
    return std::min<std::uint32_t>(static_cast<std::uint32_t>(std::popcount(arrangement)), kMaxPluginChannels);
}

// Everything the instance and the processor are made from.
struct Parts {
    std::shared_ptr<Vst3Module> module;
    Ref<HostApplication> host;
    std::shared_ptr<Core> core;
    Ref<IEditController> controller;
    bool separate_controller = false;
    Ref<IConnectionPoint> component_point;
    Ref<IConnectionPoint> controller_point;
    std::shared_ptr<ParamRings> rings;
    Ref<ComponentHandler> handler;
    std::vector<std::uint32_t> input_channels;
    std::vector<std::uint32_t> output_channels;
};

class Vst3Instance final : public PluginInstance {
public:
    explicit Vst3Instance(Parts parts) : p_(std::move(parts)) {}
    ~Vst3Instance() override { tear_down(); }

    std::vector<ParamInfo> params() override {
        std::vector<ParamInfo> list;
        if (!p_.controller) return list;
        const std::int32_t count = p_.controller->getParameterCount();
        for (std::int32_t index = 0; index < count; ++index) {
            ParameterInfo info{};
            if (p_.controller->getParameterInfo(index, info) != kResultOk) continue;
            if ((info.flags & kIsHidden) != 0) continue;
            list.push_back(describe(info));
        }
        return list;
    }

    Outcome<ParamInfo> set_param(std::uint32_t id, double normalized) override {
        if (!p_.controller) return Outcome<ParamInfo>::failure("this plugin exposes no parameters");
        auto info = find_param(id);
        if (!info) return Outcome<ParamInfo>::failure("no parameter " + std::to_string(id));
        if ((info->flags & kIsReadOnly) != 0)
            return Outcome<ParamInfo>::failure(utf16_text(info->title, 128) + " is read-only");
        const double value = std::clamp(normalized, 0.0, 1.0);
        p_.controller->setParamNormalized(id, value);
        p_.rings->to_audio.push_locked(id, value);
        info = find_param(id);
        if (!info) return Outcome<ParamInfo>::failure("no parameter " + std::to_string(id));
        return describe(*info);
    }

    Outcome<std::vector<std::uint8_t>> save_state() override {
        SavedState state;
        Ref<MemoryStream> component_stream(new MemoryStream());
        if (p_.core->component->getState(component_stream.get()) != kResultOk)
            return Outcome<std::vector<std::uint8_t>>::failure("the plugin would not save its state");
        state.component = component_stream->bytes();
        if (p_.controller && p_.separate_controller) {
            Ref<MemoryStream> controller_stream(new MemoryStream());
            if (p_.controller->getState(controller_stream.get()) == kResultOk)
                state.controller = controller_stream->bytes();
        }
        return write_state_container(state);
    }

    Status load_state(const std::vector<std::uint8_t>& bytes) override {
        auto state = read_state_container(bytes);
        if (!state) return Status::failure("the saved VST3 state is damaged");
        Ref<MemoryStream> component_stream(new MemoryStream(state->component));
        if (p_.core->component->setState(component_stream.get()) != kResultOk)
            return Status::failure("the plugin refused its saved state");
        if (p_.controller) {
            Ref<MemoryStream> copy(new MemoryStream(state->component));
            p_.controller->setComponentState(copy.get());
            if (!state->controller.empty() && p_.separate_controller) {
                Ref<MemoryStream> controller_stream(new MemoryStream(state->controller));
                p_.controller->setState(controller_stream.get());
            }
        }
        return ok_status();
    }

    // Asked only while the plug-in is active; otherwise the latency it had then.
    std::uint32_t latency() override {
        const InstanceState state = p_.core->life.state();
        if (state != InstanceState::active && state != InstanceState::processing) return last_latency_;
        last_latency_ = p_.core->processor->getLatencySamples();
        return last_latency_;
    }

    bool has_editor() override {
        if (!p_.controller) return false;
        Ref<IPlugView> view(p_.controller->createView(kEditorViewType));
        if (!view) return false;
        return view->isPlatformTypeSupported(ovplat::kVst3ViewPlatformType) == kResultOk;
    }

    Outcome<EditorSize> open_editor(WindowHandle parent) override {
        close_editor();
        Ref<IPlugView> view;
        if (p_.controller) view = Ref<IPlugView>(p_.controller->createView(kEditorViewType));
        if (!view) return Outcome<EditorSize>::failure("this plugin has no window of its own");
        // The same words on every system: Orvia shows them to its users on Windows.
        if (view->isPlatformTypeSupported(ovplat::kVst3ViewPlatformType) != kResultOk)
            return Outcome<EditorSize>::failure("the plugin's window does not support Windows");
        Ref<PlugFrame> frame(new PlugFrame());
        view->setFrame(frame.get());
        if (view->attached(parent, ovplat::kVst3ViewPlatformType) != kResultOk) {
            view->setFrame(nullptr);
            frame->close();
            return Outcome<EditorSize>::failure("the plugin could not open its window");
        }
        ViewRect rect{0, 0, 640, 400};
        view->getSize(&rect);
        view_ = std::move(view);
        frame_ = std::move(frame);
        const std::int64_t width = std::int64_t{rect.right} - rect.left;
        const std::int64_t height = std::int64_t{rect.bottom} - rect.top;
        return EditorSize{static_cast<std::uint32_t>(std::clamp<std::int64_t>(width, 100, UINT32_MAX)),
                          static_cast<std::uint32_t>(std::clamp<std::int64_t>(height, 60, UINT32_MAX))};
    }

    void close_editor() override {
        if (!view_) return;
        view_->removed();
        view_->setFrame(nullptr);
        frame_->close();  // removes the timers and watches the view forgot
        frame_.reset();
        view_.reset();
    }

    void editor_resized(std::uint32_t width, std::uint32_t height) override {
        if (!view_ || view_->canResize() != kResultOk) return;
        ViewRect rect{0, 0, static_cast<std::int32_t>(std::min<std::uint32_t>(width, INT32_MAX)),
                      static_cast<std::int32_t>(std::min<std::uint32_t>(height, INT32_MAX))};
        view_->checkSizeConstraint(&rect);
        view_->onSize(&rect);
    }

    void poll(std::vector<Notice>& out) override {
        for (const auto& [id, value] : p_.handler->take_edits()) out.push_back(notice::ParamChanged{id, value});
        while (auto entry = p_.rings->from_audio.pop()) {
            if (p_.controller) p_.controller->setParamNormalized(entry->id, entry->value);
            out.push_back(notice::ParamChanged{entry->id, entry->value});
        }
        const std::uint32_t restart = p_.handler->take_restart_flags();
        if ((restart & (kReloadComponent | kIoChanged | kLatencyChanged)) != 0) out.push_back(notice::RestartRequested{});
        if ((restart & kLatencyChanged) != 0) out.push_back(notice::LatencyChanged{});
        if (p_.handler->take_state_dirty()) out.push_back(notice::StateDirty{});
        if (view_ && frame_)
            if (auto size = frame_->take_resize()) out.push_back(notice::EditorResize{size->width, size->height});
    }

    Status reactivate() override {
        InstanceLifecycle& life = p_.core->life;
        if (life.move_to(InstanceState::created)) {
            p_.core->component->setActive(false);
        } else if (!life.is(InstanceState::inactive)) {
            return Status::failure(kStillProcessing);  // the audio thread still has it
        }
        auto activated = setup_and_activate(p_);
        if (!activated) life.move_to(InstanceState::inactive);
        return activated;
    }

    // Processing setup and activation, at creation and on reactivate. A restart the plug-in
    // asks for meanwhile (a new latency from setupProcessing or setActive, typically) is
    // answered by this very activation: the rack reads the latency after it.
    static Status setup_and_activate(Parts& parts) {
        const InstanceLifecycle& life = parts.core->life;
        if (!life.is(InstanceState::created) && !life.is(InstanceState::inactive))
            return Status::failure(kStillProcessing);
        auto status = [&parts]() -> Status {
            ProcessSetup setup{kRealtime, kSample32, static_cast<std::int32_t>(kBlockFrames), double(kSampleRate)};
            if (parts.core->processor->setupProcessing(setup) != kResultOk) {
                ProcessSetup larger{kRealtime, kSample32, 512, double(kSampleRate)};
                if (parts.core->processor->setupProcessing(larger) != kResultOk)
                    return Status::failure("the plugin refused 48 kHz with 480-frame blocks");
            }
            if (parts.core->component->setActive(true) != kResultOk)
                return Status::failure("the plugin would not activate");
            parts.core->life.move_to(InstanceState::active);
            return ok_status();
        }();
        parts.handler->take_restart_flags();
        return status;
    }

private:
    std::optional<ParameterInfo> find_param(std::uint32_t id) {
        const std::int32_t count = p_.controller->getParameterCount();
        for (std::int32_t index = 0; index < count; ++index) {
            ParameterInfo info{};
            if (p_.controller->getParameterInfo(index, info) == kResultOk && info.id == id) return info;
        }
        return std::nullopt;
    }

    ParamInfo describe(const ParameterInfo& info) {
        ParamInfo param;
        param.id = info.id;
        param.name = utf16_text(info.title, 128);
        param.units = utf16_text(info.units, 128);
        param.value = p_.controller->getParamNormalized(info.id);
        String128 text{};
        if (p_.controller->getParamStringByValue(info.id, param.value, text) == kResultOk) param.text = utf16_text(text, 128);
        param.steps = info.stepCount;
        param.default_value = info.defaultNormalizedValue;
        param.automatable = (info.flags & kCanAutomate) != 0;
        param.read_only = (info.flags & kIsReadOnly) != 0;
        return param;
    }

    void tear_down() {
        close_editor();
        InstanceState left = InstanceState::created;
        // Still processing (an audio thread that never gave the processor back): the plug-in
        // may be inside process, so it is left alone.
        if (!p_.core->life.move_to(InstanceState::torn_down, &left)) return;
        if (left == InstanceState::active) p_.core->component->setActive(false);
        if (p_.component_point && p_.controller_point) {
            p_.component_point->disconnect(p_.controller_point.get());
            p_.controller_point->disconnect(p_.component_point.get());
        }
        p_.component_point.reset();
        p_.controller_point.reset();
        if (p_.controller) {
            p_.controller->setComponentHandler(nullptr);
            if (p_.separate_controller) p_.controller->terminate();
            p_.controller.reset();
        }
        p_.core->component->terminate();
        p_.core.reset();
        p_.handler.reset();
        p_.host.reset();
        p_.module.reset();
    }

    Parts p_;
    Ref<IPlugView> view_;
    Ref<PlugFrame> frame_;
    std::uint32_t last_latency_ = 0;
};

// The audio-thread side. Everything process() touches is made here, at creation.
class Vst3Processor final : public PluginProcessor {
public:
    Vst3Processor(std::shared_ptr<Core> core, std::shared_ptr<ParamRings> rings,
                  const std::vector<std::uint32_t>& input_channels, const std::vector<std::uint32_t>& output_channels)
        : core_(std::move(core)),
          rings_(std::move(rings)),
          input_changes_(new ParameterChanges()),
          output_changes_(new ParameterChanges()),
          inputs_(make_side(input_channels)),
          outputs_(make_side(output_channels)) {}

    // An inactive plug-in is not started: it is neither processed nor stopped.
    bool start() override {
        if (!core_->life.move_to(InstanceState::processing)) return false;
        core_->processor->setProcessing(true);
        return true;
    }

    void stop() override {
        if (!core_->life.is(InstanceState::processing)) return;
        core_->processor->setProcessing(false);
        core_->life.move_to(InstanceState::active);
    }

    void process(const float* const* inputs, std::uint32_t input_count, float* const* outputs,
                 std::uint32_t output_count, std::uint32_t frames) override {
        if (!core_->life.is(InstanceState::processing)) return;
        input_changes_->clear();
        drain_to_audio_ring();
        // Host buffers are never touched through the plug-in's input pointers by us; the
        // binary interface has no const.
        bind_main_bus(inputs_, const_cast<float* const*>(inputs), input_count);
        bind_main_bus(outputs_, outputs, output_count);
        output_changes_->clear();
        ProcessData data{};
        data.processMode = kRealtime;
        data.symbolicSampleSize = kSample32;
        data.numSamples = static_cast<std::int32_t>(std::min(frames, kBlockFrames));
        data.numInputs = static_cast<std::int32_t>(inputs_.buses.size());
        data.numOutputs = static_cast<std::int32_t>(outputs_.buses.size());
        data.inputs = inputs_.buses.data();
        data.outputs = outputs_.buses.data();
        data.inputParameterChanges = input_changes_.get();
        data.outputParameterChanges = output_changes_.get();
        core_->processor->process(data);
        const std::int32_t reported = output_changes_->getParameterCount();
        for (std::int32_t index = 0; index < reported; ++index) {
            const auto& queue = output_changes_->queue(index);
            if (auto value = queue.value()) rings_->from_audio.push(queue.id(), *value);
        }
    }

private:
    struct Side {
        std::vector<AudioBusBuffers> buses;
        std::vector<std::vector<float*>> pointers;  // per bus
        std::vector<std::vector<float>> scratch;    // every channel of buses 1 and up, and a spare
    };

    static Side make_side(const std::vector<std::uint32_t>& channels) {
        Side side;
        side.buses.resize(channels.size());
        side.pointers.resize(channels.size());
        for (std::size_t bus = 0; bus < channels.size(); ++bus) {
            side.pointers[bus].assign(channels[bus], nullptr);
            if (bus == 0) continue;
            for (std::uint32_t channel = 0; channel < channels[bus]; ++channel) {
                side.scratch.emplace_back(kBlockFrames, 0.0f);
                side.pointers[bus][channel] = side.scratch.back().data();
            }
        }
        // Stands in for bus 0 should the host pass no buffers at all.
        side.scratch.emplace_back(kBlockFrames, 0.0f);
        for (std::size_t bus = 0; bus < channels.size(); ++bus) {
            side.buses[bus].numChannels = static_cast<std::int32_t>(channels[bus]);
            side.buses[bus].silenceFlags = 0;
            side.buses[bus].channelBuffers32 = side.pointers[bus].data();
        }
        return side;
    }

    static void bind_main_bus(Side& side, float* const* host, std::uint32_t count) {
        auto& main = side.pointers[0];
        for (std::size_t channel = 0; channel < main.size(); ++channel)
            main[channel] = count == 0 ? side.scratch.back().data()
                                       : host[std::min<std::size_t>(channel, count - 1)];
        for (auto& bus : side.buses) bus.silenceFlags = 0;
    }

    void drain_to_audio_ring() {
        // An entry that finds every queue taken is kept back, ahead of the rest of the ring,
        // for the next block.
        if (carried_) {
            if (!input_changes_->set_value(carried_->id, carried_->value)) return;
            carried_.reset();
        }
        while (auto entry = rings_->to_audio.pop()) {
            if (!input_changes_->set_value(entry->id, entry->value)) {
                carried_ = *entry;
                return;
            }
        }
    }

    std::shared_ptr<Core> core_;
    std::shared_ptr<ParamRings> rings_;
    Ref<ParameterChanges> input_changes_;
    Ref<ParameterChanges> output_changes_;
    Side inputs_;
    Side outputs_;
    std::optional<ParamRing::Entry> carried_;
};

Outcome<LoadedPlugin> fail(std::string message) { return Outcome<LoadedPlugin>::failure(std::move(message)); }

}  // namespace

Outcome<LoadedPlugin> create_vst3_plugin(std::shared_ptr<Vst3Module> module, const Vst3ClassRecord& record,
                                         std::uint32_t channels) {
    Parts parts;
    parts.module = std::move(module);
    parts.host = Ref<HostApplication>(new HostApplication());
    IPluginFactory* factory = parts.module->factory;
    const char* cid = reinterpret_cast<const char*>(record.cid.data());

    Ref<IComponent> component;
    if (factory->createInstance(cid, kIComponentIid.bytes, component.out()) != kResultOk || !component)
        return fail("the plugin would not create its component");
    if (component->initialize(parts.host.get()) != kResultOk) return fail("the plugin's component would not initialise");
    auto processor = query<IAudioProcessor>(component.get(), kIAudioProcessorIid);
    if (!processor) {
        component->terminate();
        return fail("not an audio effect (no IAudioProcessor)");
    }
    parts.core = std::make_shared<Core>();
    parts.core->component = std::move(component);
    parts.core->processor = std::move(processor);
    IComponent* comp = parts.core->component.get();

    parts.controller = query<IEditController>(comp, kIEditControllerIid);
    if (!parts.controller) {
        char controller_cid[16] = {};
        if (comp->getControllerClassId(controller_cid) == kResultOk) {
            Ref<IEditController> controller;
            if (factory->createInstance(controller_cid, kIEditControllerIid.bytes, controller.out()) == kResultOk &&
                controller) {
                controller->initialize(parts.host.get());
                parts.controller = std::move(controller);
                parts.separate_controller = true;
                auto component_point = query<IConnectionPoint>(comp, kIConnectionPointIid);
                auto controller_point = query<IConnectionPoint>(parts.controller.get(), kIConnectionPointIid);
                if (component_point && controller_point) {
                    component_point->connect(controller_point.get());
                    controller_point->connect(component_point.get());
                    parts.component_point = std::move(component_point);
                    parts.controller_point = std::move(controller_point);
                }
            }
        }
    }

    parts.rings = std::make_shared<ParamRings>();
    parts.handler = Ref<ComponentHandler>(new ComponentHandler(parts.rings));
    if (parts.controller) parts.controller->setComponentHandler(parts.handler.get());
    if (parts.controller && parts.separate_controller) {
        Ref<MemoryStream> stream(new MemoryStream());
        if (comp->getState(stream.get()) == kResultOk) {
            stream->seek(0, kIBSeekSet, nullptr);
            parts.controller->setComponentState(stream.get());
        }
    }

    // From here on a failure tears down everything made so far.
    const std::int32_t input_buses = comp->getBusCount(kAudio, kInput);
    const std::int32_t output_buses = comp->getBusCount(kAudio, kOutput);
    auto torn_down = [&parts](std::string message) {
        Vst3Instance discard(std::move(parts));
        return fail(std::move(message));
    };
    if (input_buses < 1 || output_buses < 1)
        return torn_down("not an audio effect: it has no audio input (an instrument?) or no output");

    IAudioProcessor* audio = parts.core->processor.get();
    auto arrangements = [audio](std::int32_t direction, std::int32_t count, SpeakerArrangement first) {
        std::vector<SpeakerArrangement> list(static_cast<std::size_t>(count), kStereo);
        list[0] = first;
        for (std::int32_t bus = 1; bus < count; ++bus) {
            SpeakerArrangement current = 0;
            if (audio->getBusArrangement(direction, bus, current) == kResultOk) list[static_cast<std::size_t>(bus)] = current;
        }
        return list;
    };
    auto request = [&](SpeakerArrangement main) {
        auto ins = arrangements(kInput, input_buses, main);
        auto outs = arrangements(kOutput, output_buses, main);
        return audio->setBusArrangements(ins.data(), input_buses, outs.data(), output_buses);
    };
    if (channels == 1) {
        if (request(kSpeakerM) != kResultOk) request(kStereo);
    } else {
        request(kStereo);
    }
    auto read_channels = [audio](std::int32_t direction, std::int32_t count) {
        std::vector<std::uint32_t> list;
        for (std::int32_t bus = 0; bus < count; ++bus) {
            SpeakerArrangement current = 0;
            list.push_back(audio->getBusArrangement(direction, bus, current) == kResultOk ? channels_of(current) : 2u);
        }
        return list;
    };
    parts.input_channels = read_channels(kInput, input_buses);
    parts.output_channels = read_channels(kOutput, output_buses);
    for (std::int32_t bus = 0; bus < input_buses; ++bus) comp->activateBus(kAudio, kInput, bus, bus == 0);
    for (std::int32_t bus = 0; bus < output_buses; ++bus) comp->activateBus(kAudio, kOutput, bus, bus == 0);
    if (audio->canProcessSampleSize(kSample32) != kResultOk)
        return torn_down("the plugin cannot process 32-bit float audio");
    if (auto activated = Vst3Instance::setup_and_activate(parts); !activated) return torn_down(activated.error());

    LoadedPlugin plugin;
    plugin.name = record.name;
    plugin.vendor = record.vendor;
    plugin.inputs = parts.input_channels[0];
    plugin.outputs = parts.output_channels[0];
    plugin.processor =
        std::make_unique<Vst3Processor>(parts.core, parts.rings, parts.input_channels, parts.output_channels);
    plugin.instance = std::make_unique<Vst3Instance>(std::move(parts));
    return plugin;
}

}  // namespace ovhost
