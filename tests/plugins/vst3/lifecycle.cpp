// Test VST3 module OvLifecycle.vst3: single-component gain effects (output = input x 0.5) that
// check the host's lifecycle calls and behave as many real plug-ins do around activation.
//
// The component and its audio processor are two objects with reference counts of their own,
// as in a widely used open-source framework: a component whose last reference goes while its
// audio processor is still referenced refuses to delete itself and stays parked for good.
//
// Classes (last byte of the class id "OVLC" + 11 zero bytes + tag):
//   0x21 "Latency In Setup": setupProcessing and setActive(true) take the pending latency
//        and report it with restartComponent(kLatencyChanged), every time.
//   0x22 "Refuses Reactivation": a latency of 48 samples; setActive(true) fails while its
//        Refuse parameter is on (setting Refuse asks for a restart).
// Parameters (ids; counters read as count / 1000, their text is the count):
//   0 Latency (x 1000 samples; setting it asks for a restart), 1 Refuse (1 step),
//   2 Activations, 3 Blocks (blocks processed), 4 Violations (calls the host may not make
//   in the state the plug-in is in: process or setProcessing(true) while not active, process
//   while not processing, setActive(false) while processing, setActive(true) while active,
//   terminate while active), 5 Parked (components of this module parked so far),
//   6 Live (components of this module alive).
#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>

#include "test_text.h"
#include "vst3/abi.h"

#ifdef _WIN32
#define OV_LC_EXPORT extern "C" __declspec(dllexport)
#else
#define OV_LC_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace ovtestlifecycle {
namespace {

using namespace ovhost::vst3;

constexpr std::uint8_t kLatencyInSetup = 0x21;
constexpr std::uint8_t kRefusesReactivation = 0x22;

struct ClassSpec {
    std::uint8_t tag;
    const char* name;
};
constexpr ClassSpec kClasses[] = {{kLatencyInSetup, "Latency In Setup"}, {kRefusesReactivation, "Refuses Reactivation"}};

std::atomic<int> g_live{0};
std::atomic<int> g_parked{0};

void class_id(std::uint8_t tag, char out[16]) {
    const char bytes[16] = {'O', 'V', 'L', 'C', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, static_cast<char>(tag)};
    std::memcpy(out, bytes, 16);
}

using ovtestvst3::copy_text;

enum Param : ParamID { kLatency = 0, kRefuse = 1, kActivations = 2, kBlocks = 3, kViolations = 4, kParked = 5, kLive = 6 };
struct ParamDef {
    const char* title;
    std::int32_t steps;
    std::int32_t flags;
};
constexpr ParamDef kParams[] = {
    {"Latency", 0, 0},          {"Refuse", 1, 0},          {"Activations", 0, kIsReadOnly}, {"Blocks", 0, kIsReadOnly},
    {"Violations", 0, kIsReadOnly}, {"Parked", 0, kIsReadOnly}, {"Live", 0, kIsReadOnly},
};
constexpr std::int32_t kParamCount = static_cast<std::int32_t>(std::size(kParams));

class Component;

// The audio processor of a component: counted on its own, deleted with the component.
class Processor final : public IAudioProcessor {
public:
    explicit Processor(Component& owner) : owner_(owner) {}
    tresult queryInterface(const char* iid, void** obj) override;
    std::uint32_t addRef() override { return ++refs; }
    std::uint32_t release() override { return --refs; }

    tresult setBusArrangements(SpeakerArrangement* inputs, std::int32_t numIns, SpeakerArrangement* outputs,
                               std::int32_t numOuts) override;
    tresult getBusArrangement(std::int32_t dir, std::int32_t index, SpeakerArrangement& arrangement) override;
    tresult canProcessSampleSize(std::int32_t size) override { return size == kSample32 ? kResultOk : kResultFalse; }
    std::uint32_t getLatencySamples() override;
    tresult setupProcessing(ProcessSetup& setup) override;
    tresult setProcessing(TBool state) override;
    tresult process(ProcessData& data) override;
    std::uint32_t getTailSamples() override { return 0; }

    std::atomic<std::uint32_t> refs{0};

private:
    Component& owner_;
};

class Component final : public IComponent, public IEditController {
public:
    explicit Component(std::uint8_t tag) : tag_(tag), processor_(*this) {
        pending_latency_ = tag == kRefusesReactivation ? 48 : 0;
        ++g_live;
    }
    ~Component() {
        if (handler_ != nullptr) handler_->release();
        --g_live;
    }

    tresult queryInterface(const char* iid, void** obj) override {
        if (obj == nullptr) return kInvalidArgument;
        if (same_uid(iid, kFUnknownIid) || same_uid(iid, kIPluginBaseIid) || same_uid(iid, kIComponentIid)) {
            *obj = static_cast<IComponent*>(this);
        } else if (same_uid(iid, kIEditControllerIid)) {
            *obj = static_cast<IEditController*>(this);
        } else if (same_uid(iid, kIAudioProcessorIid)) {
            processor_.addRef();
            *obj = static_cast<IAudioProcessor*>(&processor_);
            return kResultOk;
        } else {
            *obj = nullptr;
            return kNoInterface;
        }
        addRef();
        return kResultOk;
    }
    std::uint32_t addRef() override { return ++refs_; }
    std::uint32_t release() override {
        const std::uint32_t left = --refs_;
        if (left != 0) return left;
        if (processor_.refs != 0) {
            // Asked to delete the component while its audio processor is still referenced.
            ++g_parked;
            return 0;
        }
        delete this;
        return 0;
    }

    // IPluginBase
    tresult initialize(FUnknown*) override { return kResultOk; }
    tresult terminate() override {
        if (active_) ++violations_;
        if (handler_ != nullptr) std::exchange(handler_, nullptr)->release();
        return kResultOk;
    }

    // IComponent
    tresult getControllerClassId(char*) override { return kResultFalse; }
    tresult setIoMode(std::int32_t) override { return kResultOk; }
    std::int32_t getBusCount(std::int32_t type, std::int32_t) override { return type == kAudio ? 1 : 0; }
    tresult getBusInfo(std::int32_t type, std::int32_t dir, std::int32_t index, BusInfo* bus) override {
        if (bus == nullptr || type != kAudio || index != 0) return kInvalidArgument;
        *bus = BusInfo{};
        bus->mediaType = type;
        bus->direction = dir;
        bus->channelCount = static_cast<std::int32_t>(channels_);
        copy_text(bus->name, 128, "Main");
        bus->busType = kMain;
        return kResultOk;
    }
    tresult getRoutingInfo(RoutingInfo*, RoutingInfo*) override { return kNotImplemented; }
    tresult activateBus(std::int32_t, std::int32_t, std::int32_t, TBool) override { return kResultOk; }
    tresult setActive(TBool state) override {
        if (!state) {
            if (processing_) ++violations_;
            active_ = false;
            return kResultOk;
        }
        if (active_) ++violations_;
        if (refuse_) return kResultFalse;
        take_pending_latency();
        ++activations_;
        active_ = true;
        return kResultOk;
    }
    tresult setState(IBStream*) override { return kResultOk; }
    tresult getState(IBStream*) override { return kResultOk; }

    // IEditController
    tresult setComponentState(IBStream*) override { return kResultOk; }
    std::int32_t getParameterCount() override { return kParamCount; }
    tresult getParameterInfo(std::int32_t index, ParameterInfo& info) override {
        if (index < 0 || index >= kParamCount) return kInvalidArgument;
        info = ParameterInfo{};
        info.id = static_cast<ParamID>(index);
        copy_text(info.title, 128, kParams[index].title);
        copy_text(info.shortTitle, 128, kParams[index].title);
        info.stepCount = kParams[index].steps;
        info.flags = kParams[index].flags;
        return kResultOk;
    }
    tresult getParamStringByValue(ParamID id, ParamValue value, char16_t* string) override {
        if (string == nullptr || id >= static_cast<ParamID>(kParamCount)) return kInvalidArgument;
        copy_text(string, 128, std::to_string(std::lround(value * (id == kRefuse ? 1 : 1000))));
        return kResultOk;
    }
    tresult getParamValueByString(ParamID, char16_t*, ParamValue&) override { return kNotImplemented; }
    double normalizedParamToPlain(ParamID, ParamValue value) override { return value; }
    ParamValue plainParamToNormalized(ParamID, double value) override { return value; }
    ParamValue getParamNormalized(ParamID id) override {
        switch (id) {
            case kLatency: return pending_latency_ / 1000.0;
            case kRefuse: return refuse_ ? 1.0 : 0.0;
            case kActivations: return activations_ / 1000.0;
            case kBlocks: return blocks_ / 1000.0;
            case kViolations: return violations_ / 1000.0;
            case kParked: return g_parked / 1000.0;
            case kLive: return g_live / 1000.0;
            default: return 0.0;
        }
    }
    // Latency and Refuse take effect at the next activation, which they ask the host for.
    tresult setParamNormalized(ParamID id, ParamValue value) override {
        if (id == kLatency) {
            pending_latency_ = static_cast<std::uint32_t>(std::lround(value * 1000));
            if (handler_ != nullptr) handler_->restartComponent(kLatencyChanged);
        } else if (id == kRefuse) {
            refuse_ = value >= 0.5;
            if (handler_ != nullptr) handler_->restartComponent(kReloadComponent);
        }
        return kResultOk;
    }
    tresult setComponentHandler(IComponentHandler* handler) override {
        if (handler != nullptr) handler->addRef();
        if (handler_ != nullptr) handler_->release();
        handler_ = handler;
        return kResultOk;
    }
    IPlugView* createView(FIDString) override { return nullptr; }

    // What the processor asks of its component.
    void take_pending_latency() {
        latency_ = pending_latency_.load();
        if (tag_ == kLatencyInSetup && handler_ != nullptr) handler_->restartComponent(kLatencyChanged);
    }
    std::uint32_t latency() const { return latency_; }
    bool set_arrangement(SpeakerArrangement arrangement) {
        const int count = std::popcount(arrangement);
        if (count < 1 || count > 2) return false;
        channels_ = static_cast<std::uint32_t>(count);
        return true;
    }
    SpeakerArrangement arrangement() const { return channels_ == 1 ? kSpeakerM : kStereo; }
    void set_processing(bool on) {
        if (on && !active_) ++violations_;
        processing_ = on && active_;
    }
    void process(ProcessData& data) {
        if (!active_ || !processing_) ++violations_;
        ++blocks_;
        if (data.numInputs < 1 || data.numOutputs < 1 || data.inputs == nullptr || data.outputs == nullptr) return;
        const AudioBusBuffers& in = data.inputs[0];
        const AudioBusBuffers& out = data.outputs[0];
        for (std::int32_t c = 0; c < out.numChannels; ++c) {
            const float* source = in.channelBuffers32[std::min(c, in.numChannels - 1)];
            for (std::int32_t i = 0; i < data.numSamples; ++i) out.channelBuffers32[c][i] = 0.5f * source[i];
        }
    }

private:
    const std::uint8_t tag_;
    Processor processor_;
    std::atomic<std::uint32_t> refs_{1};
    IComponentHandler* handler_ = nullptr;
    std::atomic<std::uint32_t> pending_latency_{0};
    std::atomic<std::uint32_t> latency_{0};
    std::atomic<bool> refuse_{false};
    std::atomic<bool> active_{false};
    std::atomic<bool> processing_{false};
    std::atomic<int> activations_{0};
    std::atomic<int> blocks_{0};
    std::atomic<int> violations_{0};
    std::uint32_t channels_ = 2;
};

tresult Processor::queryInterface(const char* iid, void** obj) {
    if (obj == nullptr) return kInvalidArgument;
    if (same_uid(iid, kIAudioProcessorIid)) {
        addRef();
        *obj = static_cast<IAudioProcessor*>(this);
        return kResultOk;
    }
    return owner_.queryInterface(iid, obj);
}

tresult Processor::setBusArrangements(SpeakerArrangement* inputs, std::int32_t numIns, SpeakerArrangement* outputs,
                                      std::int32_t numOuts) {
    if (numIns != 1 || numOuts != 1 || inputs == nullptr || outputs == nullptr || inputs[0] != outputs[0])
        return kResultFalse;
    return owner_.set_arrangement(inputs[0]) ? kResultOk : kResultFalse;
}

tresult Processor::getBusArrangement(std::int32_t, std::int32_t index, SpeakerArrangement& arrangement) {
    if (index != 0) return kInvalidArgument;
    arrangement = owner_.arrangement();
    return kResultOk;
}

std::uint32_t Processor::getLatencySamples() { return owner_.latency(); }

tresult Processor::setupProcessing(ProcessSetup& setup) {
    if (setup.sampleRate != 48000.0) return kResultFalse;
    owner_.take_pending_latency();
    return kResultOk;
}

tresult Processor::setProcessing(TBool state) {
    owner_.set_processing(state != 0);
    return kResultOk;
}

tresult Processor::process(ProcessData& data) {
    owner_.process(data);
    return kResultOk;
}

class Factory final : public IPluginFactory2 {
public:
    tresult queryInterface(const char* iid, void** obj) override {
        if (obj == nullptr) return kInvalidArgument;
        if (same_uid(iid, kFUnknownIid) || same_uid(iid, kIPluginFactoryIid) || same_uid(iid, kIPluginFactory2Iid)) {
            *obj = static_cast<IPluginFactory2*>(this);
            return kResultOk;
        }
        *obj = nullptr;
        return kNoInterface;
    }
    std::uint32_t addRef() override { return 1; }  // a static object
    std::uint32_t release() override { return 1; }

    tresult getFactoryInfo(PFactoryInfo* info) override {
        if (info == nullptr) return kInvalidArgument;
        copy_text(info->vendor, sizeof info->vendor, "Orvia Tests");
        copy_text(info->url, sizeof info->url, "");
        copy_text(info->email, sizeof info->email, "");
        info->flags = 0;
        return kResultOk;
    }
    std::int32_t countClasses() override { return static_cast<std::int32_t>(std::size(kClasses)); }
    tresult getClassInfo(std::int32_t index, PClassInfo* info) override {
        if (info == nullptr || index < 0 || index >= countClasses()) return kInvalidArgument;
        *info = PClassInfo{};
        class_id(kClasses[index].tag, info->cid);
        info->cardinality = 0x7FFFFFFF;
        copy_text(info->category, sizeof info->category, "Audio Module Class");
        copy_text(info->name, sizeof info->name, kClasses[index].name);
        return kResultOk;
    }
    tresult getClassInfo2(std::int32_t index, PClassInfo2* info) override {
        PClassInfo base{};
        if (info == nullptr || getClassInfo(index, &base) != kResultOk) return kInvalidArgument;
        *info = PClassInfo2{};
        std::memcpy(info->cid, base.cid, 16);
        info->cardinality = base.cardinality;
        std::memcpy(info->category, base.category, sizeof info->category);
        std::memcpy(info->name, base.name, sizeof info->name);
        copy_text(info->subCategories, sizeof info->subCategories, "Fx");
        copy_text(info->vendor, sizeof info->vendor, "Orvia Tests");
        copy_text(info->version, sizeof info->version, "1.0.0");
        copy_text(info->sdkVersion, sizeof info->sdkVersion, "VST 3.7");
        return kResultOk;
    }
    tresult createInstance(FIDString cid, FIDString iid, void** obj) override {
        if (obj == nullptr) return kInvalidArgument;
        *obj = nullptr;
        for (const auto& spec : kClasses) {
            char id[16];
            class_id(spec.tag, id);
            if (cid == nullptr || std::memcmp(id, cid, 16) != 0) continue;
            auto* component = new Component(spec.tag);
            const tresult result = component->queryInterface(iid, obj);
            component->release();
            return result;
        }
        return kResultFalse;
    }
};

Factory the_factory;

}  // namespace
}  // namespace ovtestlifecycle

OV_LC_EXPORT ovhost::vst3::IPluginFactory* GetPluginFactory() { return &ovtestlifecycle::the_factory; }

#ifdef _WIN32
OV_LC_EXPORT bool InitDll() { return true; }
OV_LC_EXPORT bool ExitDll() { return true; }
#else
OV_LC_EXPORT bool ModuleEntry(void*) { return true; }
OV_LC_EXPORT bool ModuleExit() { return true; }
#endif
