// Test VST3 modules: a factory of small gain effects, each class taking one branch a host
// has to handle (single-component or separate controller, refused bus layouts, side chain,
// fixed block size, failing steps, hidden and read-only parameters, editor views).
//
// OV_FX_VARIANT selects the module: 0 the working classes with IPluginFactory2, 1 the
// failing classes, 2 the working classes without IPluginFactory2, 3 a start-up export that
// fails, 4 no GetPluginFactory export, 5 a GetPluginFactory that returns null, 6 (Linux)
// the classes whose views need the host's run loop.
//
// Parameters (ids): 0 Gain (output = input x 2 x value, with 2 decimals as text), 1 Mode
// (3 steps), 2 Meter (read-only; the effect reports the gain it received as an output
// change of it), 3 Secret (hidden), 4 Latency (x 1000 samples; setting it asks the host to
// restart), 5 Edit (setting it performs an edit of Gain as the plug-in's window would),
// 6 View Size (the open view asks for 200 + 600 v by 100 + 400 v), 7 Restart (calls
// restartComponent with round(255 v) as flags), 8 Links (read-only: connection messages
// received / 10). "Surround" keeps six channels and weighs channel c by c + 1. "Many Params" adds 100..179 and reports, for the n-th block that brought
// parameter changes, their count / 100 as an output change of id 200 + n.
#include <algorithm>
#include <atomic>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "view.h"
#include "test_text.h"
#include "vst3/abi.h"

#ifndef OV_FX_VARIANT
#define OV_FX_VARIANT 0
#endif

#ifdef _WIN32
#define OV_FX_EXPORT extern "C" __declspec(dllexport)
#else
#define OV_FX_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace ovtestfx {
namespace {

using namespace ovhost::vst3;

enum Behaviour : std::uint32_t {
    kSingle = 1u << 0,  // the component is its own controller
    kSplit = 1u << 1,   // a controller of its own class, connected through connection points
    kMonoRefused = 1u << 2,
    kSideChain = 1u << 3,
    kOnly512 = 1u << 4,
    kInstrument = 1u << 5,
    kNoCreate = 1u << 6,
    kInitFails = 1u << 7,
    kNoProcessor = 1u << 8,
    kNo32Bit = 1u << 9,
    kNo48k = 1u << 10,
    kNoActivate = 1u << 11,
    kNoSave = 1u << 12,
    kManyParams = 1u << 13,
    kSurround = 1u << 14,
    kBadInfo = 1u << 15,
};

constexpr const char* kEffect = "Audio Module Class";

// The host's calls that change an object's state, in order, for tests of the host's
// creation and teardown sequences (taken with OvFxTakeCallLog). Not called from process().
std::mutex call_log_mutex;
std::string call_log;

void note(const std::string& entry) {
    std::lock_guard<std::mutex> lock(call_log_mutex);
    call_log += entry;
    call_log += '\n';
}
constexpr std::uint8_t kControllerTag = 0xC0;
constexpr std::uint8_t kSplitTag = 2;

struct ClassSpec {
    std::uint8_t tag;  // the last byte of the class id
    const char* name;
    const char* category;
    const char* sub_categories;
    const char* vendor;
    const char* version;
    std::uint32_t behaviour;
    ViewKind view;
};

constexpr ClassSpec kWorkingClasses[] = {
    {1, "Gain Single", kEffect, "Fx", "", "1.0.0", kSingle, ViewKind::normal},
    {kSplitTag, "Gain Split", kEffect, "Fx|Dynamics", "Split Works", "2.1", kSplit, ViewKind::small},
    {3, "Stereo Only", kEffect, "Fx", "", "1.0.0", kSingle | kMonoRefused, ViewKind::no_size},
    {4, "Side Chain", kEffect, "Fx|Sidechain", "", "1.0.0", kSingle | kSideChain, ViewKind::foreign},
    {5, "Block 512", kEffect, "Fx", "", "1.0.0", kSingle | kOnly512, ViewKind::attach_fails},
    {kControllerTag, "Split Controller", "Component Controller Class", "", "", "2.1", 0, ViewKind::small},
    {6, "Many Params", kEffect, "Fx", "", "1.0.0", kSingle | kManyParams, ViewKind::none},
    {7, "Bare", kEffect, "Fx", "", "1.0.0", 0, ViewKind::none},
    {8, "Surround", kEffect, "Fx", "", "1.0.0", kSingle | kSurround, ViewKind::none},
    {9, "Classic", "Audio Module Classic", "Fx", "", "1.0.0", kSingle, ViewKind::none},
};

constexpr ClassSpec kFailingClasses[] = {
    {0x11, "No Component", kEffect, "Fx", "", "1", kSingle | kNoCreate, ViewKind::none},
    {0x12, "Init Fails", kEffect, "Fx", "", "1", kSingle | kInitFails, ViewKind::none},
    {0x13, "No Processor", kEffect, "Fx", "", "1", kSingle | kNoProcessor, ViewKind::none},
    {0x14, "Synth", kEffect, "Instrument|Synth", "", "1", kSingle | kInstrument, ViewKind::none},
    {0x15, "No Float", kEffect, "Fx", "", "1", kSingle | kNo32Bit, ViewKind::none},
    {0x16, "No 48k", kEffect, "Fx", "", "1", kSingle | kNo48k, ViewKind::none},
    {0x17, "No Activate", kEffect, "Fx", "", "1", kSingle | kNoActivate, ViewKind::none},
    {0x18, "Bad Info", kEffect, "Fx", "", "1", kSingle | kBadInfo, ViewKind::none},
    {0x19, "No Save", kEffect, "Fx", "", "1", kSingle | kNoSave, ViewKind::none},
};

constexpr ClassSpec kLoopViewClasses[] = {
    {0x21, "Loop View", kEffect, "Fx", "", "1.0.0", kSingle, ViewKind::run_loop},
    {0x22, "Loop View Forgetful", kEffect, "Fx", "", "1.0.0", kSingle, ViewKind::run_loop_forgetful},
};

#if OV_FX_VARIANT == 1
constexpr const ClassSpec* kClasses = kFailingClasses;
constexpr std::size_t kClassCount = std::size(kFailingClasses);
#elif OV_FX_VARIANT == 6
constexpr const ClassSpec* kClasses = kLoopViewClasses;
constexpr std::size_t kClassCount = std::size(kLoopViewClasses);
#else
constexpr const ClassSpec* kClasses = kWorkingClasses;
constexpr std::size_t kClassCount = std::size(kWorkingClasses);
#endif
constexpr bool kHasFactory2 = OV_FX_VARIANT != 2;

void class_id(std::uint8_t tag, char out[16]) {
    const char bytes[16] = {'O', 'V', 'F', 'X', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, static_cast<char>(tag)};
    std::memcpy(out, bytes, 16);
}

const ClassSpec* find_class(const char* cid) {
    if (cid == nullptr) return nullptr;
    for (std::size_t i = 0; i < kClassCount; ++i) {
        char id[16];
        class_id(kClasses[i].tag, id);
        if (std::memcmp(id, cid, 16) == 0) return &kClasses[i];
    }
    return nullptr;
}

const ClassSpec* find_tag(std::uint8_t tag) {
    for (std::size_t i = 0; i < kClassCount; ++i)
        if (kClasses[i].tag == tag) return &kClasses[i];
    return nullptr;
}

using ovtestvst3::copy_text;

std::string fixed(double value, int decimals) {
    char buffer[64];
    auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    return error == std::errc() ? std::string(buffer, end) : std::string();
}

// Parameters.
constexpr ParamID kGain = 0, kMode = 1, kMeter = 2, kSecret = 3, kLatency = 4, kEdit = 5, kViewSize = 6,
                  kRestart = 7, kLinks = 8;
constexpr std::int32_t kBaseParams = 9;
constexpr ParamID kFirstMany = 100;
constexpr std::int32_t kManyCount = 80;
constexpr ParamID kFirstReport = 200;

struct ParamDef {
    const char* title;
    const char* units;
    std::int32_t steps;
    double default_value;
    std::int32_t flags;
};

constexpr ParamDef kBaseDefs[kBaseParams] = {
    {"Gain", "x", 0, 0.5, kCanAutomate},
    {"Mode", "", 3, 0.0, kCanAutomate},
    {"Meter", "", 0, 0.0, kIsReadOnly},
    {"Secret", "", 0, 0.25, kIsHidden},
    {"Latency", "samples", 0, 0.0, 0},
    {"Edit", "", 0, 0.0, 0},
    {"View Size", "", 0, 0.0, 0},
    {"Restart", "", 255, 0.0, 0},
    {"Links", "", 0, 0.0, kIsReadOnly},
};

// The values of one side (component or controller); both sides share one set in a
// single-component effect.
class ParamValues {
public:
    explicit ParamValues(bool many) : count_(kBaseParams + (many ? kManyCount : 0)), values_(new std::atomic<double>[count_]) {
        for (std::int32_t i = 0; i < count_; ++i) values_[i].store(i < kBaseParams ? kBaseDefs[i].default_value : 0.0);
    }
    std::int32_t count() const { return count_; }
    ParamID id_at(std::int32_t index) const {
        return index < kBaseParams ? static_cast<ParamID>(index) : kFirstMany + static_cast<ParamID>(index - kBaseParams);
    }
    // -1 for an unknown id.
    std::int32_t index_of(ParamID id) const {
        if (id < static_cast<ParamID>(kBaseParams)) return static_cast<std::int32_t>(id);
        if (id >= kFirstMany && id < kFirstMany + static_cast<ParamID>(count_ - kBaseParams))
            return kBaseParams + static_cast<std::int32_t>(id - kFirstMany);
        return -1;
    }
    double get(ParamID id) const {
        const auto index = index_of(id);
        return index < 0 ? 0.0 : values_[index].load();
    }
    bool set(ParamID id, double value) {
        const auto index = index_of(id);
        if (index < 0) return false;
        values_[index].store(value);
        return true;
    }

private:
    std::int32_t count_;
    std::unique_ptr<std::atomic<double>[]> values_;
};

bool read_exact(IBStream* stream, void* out, std::int32_t bytes) {
    std::int32_t got = 0;
    return stream != nullptr && stream->read(out, bytes, &got) == kResultOk && got == bytes;
}

constexpr char kComponentMagic[4] = {'F', 'X', 'C', '1'};
constexpr char kControllerMagic[4] = {'F', 'X', 'E', '1'};
constexpr ParamID kSavedParams[] = {kGain, kMode, kLatency};

// The component's saved values: "FXC1", then Gain, Mode and Latency as doubles.
bool read_component_state(IBStream* stream, double (&values)[3]) {
    char magic[4];
    if (!read_exact(stream, magic, 4) || std::memcmp(magic, kComponentMagic, 4) != 0) return false;
    for (double& value : values)
        if (!read_exact(stream, &value, sizeof value)) return false;
    return true;
}

// The controller half shared by the single-component effect and the separate controller.
class ControllerBase : public IEditController {
public:
    ControllerBase(const ClassSpec& spec, ParamValues& values)
        : spec_(spec), values_(values), link_(std::make_shared<ViewLink>()) {}

    tresult setComponentState(IBStream* state) override {
        note("controller.setComponentState");
        double saved[3];
        if (!read_component_state(state, saved)) return kResultFalse;
        for (std::size_t i = 0; i < 3; ++i) values_.set(kSavedParams[i], saved[i]);
        return kResultOk;
    }
    // The separate controller's own state: "FXE1" and the number of links it saw.
    tresult setState(IBStream* state) override {
        note("controller.setState");
        char magic[4];
        double links = 0;
        if (!read_exact(state, magic, 4) || std::memcmp(magic, kControllerMagic, 4) != 0 ||
            !read_exact(state, &links, sizeof links))
            return kResultFalse;
        values_.set(kLinks, links);
        return kResultOk;
    }
    tresult getState(IBStream* state) override {
        note("controller.getState");
        if (state == nullptr) return kInvalidArgument;
        double links = values_.get(kLinks);
        state->write(const_cast<char*>(kControllerMagic), 4, nullptr);
        state->write(&links, sizeof links, nullptr);
        return kResultOk;
    }
    std::int32_t getParameterCount() override { return values_.count(); }
    tresult getParameterInfo(std::int32_t index, ParameterInfo& info) override {
        if (index < 0 || index >= values_.count()) return kInvalidArgument;
        info = ParameterInfo{};
        info.id = values_.id_at(index);
        if (index < kBaseParams) {
            const ParamDef& def = kBaseDefs[index];
            copy_text(info.title, 128, def.title);
            copy_text(info.shortTitle, 128, def.title);
            copy_text(info.units, 128, def.units);
            info.stepCount = def.steps;
            info.defaultNormalizedValue = def.default_value;
            info.flags = def.flags;
        } else {
            copy_text(info.title, 128, "P" + std::to_string(info.id));
            info.flags = kCanAutomate;
        }
        return kResultOk;
    }
    tresult getParamStringByValue(ParamID id, ParamValue value, char16_t* string) override {
        if (string == nullptr || values_.index_of(id) < 0) return kInvalidArgument;
        std::string text;
        switch (id) {
            case kGain: text = fixed(2 * value, 2); break;
            case kMode: text = "Mode " + std::to_string(static_cast<int>(std::lround(value * 3))); break;
            case kLatency: text = std::to_string(std::lround(value * 1000)); break;
            case kEdit: return kResultFalse;  // a parameter without display text
            default: text = fixed(value, 2); break;
        }
        copy_text(string, 128, text);
        return kResultOk;
    }
    tresult getParamValueByString(ParamID, char16_t*, ParamValue&) override { return kNotImplemented; }
    double normalizedParamToPlain(ParamID, ParamValue value) override { return value; }
    ParamValue plainParamToNormalized(ParamID, double value) override { return value; }
    ParamValue getParamNormalized(ParamID id) override { return values_.get(id); }
    tresult setParamNormalized(ParamID id, ParamValue value) override {
        if (!values_.set(id, value)) return kInvalidArgument;
        switch (id) {
            case kLatency:
                on_latency(static_cast<std::uint32_t>(std::lround(value * 1000)));
                if (handler_ != nullptr) handler_->restartComponent(kLatencyChanged);
                break;
            case kEdit:
                values_.set(kGain, value);
                if (handler_ != nullptr) {
                    handler_->beginEdit(kGain);
                    handler_->performEdit(kGain, value);
                    handler_->endEdit(kGain);
                }
                break;
            case kViewSize:
                if (link_->attached != nullptr)
                    request_view_size(link_->attached, 200 + static_cast<int>(std::lround(value * 600)),
                                      100 + static_cast<int>(std::lround(value * 400)));
                break;
            case kRestart:
                if (handler_ != nullptr) handler_->restartComponent(static_cast<std::int32_t>(std::lround(value * 255)));
                break;
            default: break;
        }
        return kResultOk;
    }
    tresult setComponentHandler(IComponentHandler* handler) override {
        note(handler != nullptr ? "controller.setComponentHandler" : "controller.setComponentHandler null");
        if (handler != nullptr) handler->addRef();
        if (handler_ != nullptr) handler_->release();
        handler_ = handler;
        return kResultOk;
    }
    IPlugView* createView(FIDString name) override {
        if (name == nullptr || std::strcmp(name, kEditorViewType) != 0) return nullptr;
        return create_test_view(spec_.view, link_);
    }

protected:
    virtual void on_latency(std::uint32_t) {}
    void drop_handler() {
        if (handler_ != nullptr) std::exchange(handler_, nullptr)->release();
    }

    const ClassSpec& spec_;
    ParamValues& values_;
    std::shared_ptr<ViewLink> link_;
    IComponentHandler* handler_ = nullptr;
};

// Reference counting and the ids an object answers to.
#define OV_FX_REFCOUNT                                                 \
    std::uint32_t addRef() override { return ++refs_; }               \
    std::uint32_t release() override {                                \
        const std::uint32_t left = --refs_;                           \
        if (left == 0) delete this;                                   \
        return left;                                                  \
    }                                                                 \
    std::atomic<std::uint32_t> refs_{1};

class SplitController final : public ControllerBase, public IConnectionPoint {
public:
    explicit SplitController(const ClassSpec& spec) : ControllerBase(spec, own_values_), own_values_(false) {}
    ~SplitController() {
        note("controller.deleted");
        if (peer_ != nullptr) peer_->release();
        drop_handler();
    }

    tresult queryInterface(const char* iid, void** obj) override {
        if (obj == nullptr) return kInvalidArgument;
        if (same_uid(iid, kFUnknownIid) || same_uid(iid, kIPluginBaseIid) || same_uid(iid, kIEditControllerIid))
            *obj = static_cast<IEditController*>(this);
        else if (same_uid(iid, kIConnectionPointIid))
            *obj = static_cast<IConnectionPoint*>(this);
        else {
            *obj = nullptr;
            return kNoInterface;
        }
        addRef();
        return kResultOk;
    }
    OV_FX_REFCOUNT

    tresult initialize(FUnknown*) override {
        note("controller.initialize");
        return kResultOk;
    }
    tresult terminate() override {
        note("controller.terminate");
        drop_handler();
        return kResultOk;
    }

    tresult connect(IConnectionPoint* other) override {
        note(role_ + ".connect");
        if (other == nullptr) return kInvalidArgument;
        other->addRef();
        if (peer_ != nullptr) peer_->release();
        peer_ = other;
        return kResultOk;
    }
    tresult disconnect(IConnectionPoint* other) override {
        note(role_ + ".disconnect");
        if (other == nullptr || other != peer_) return kInvalidArgument;
        peer_->release();
        peer_ = nullptr;
        return kResultOk;
    }
    // Counts the component's greeting when it arrives whole.
    tresult notify(IMessage* message) override {
        if (message == nullptr || message->getMessageID() == nullptr) return kInvalidArgument;
        if (std::strcmp(message->getMessageID(), "OvFxHello") != 0) return kResultFalse;
        IAttributeList* attributes = message->getAttributes();
        std::int64_t channels = 0;
        char16_t who[16] = {};
        if (attributes == nullptr || attributes->getInt("channels", &channels) != kResultOk || channels != 2 ||
            attributes->getString("who", who, sizeof who) != kResultOk || who[0] != u'c')
            return kResultFalse;
        values_.set(kLinks, values_.get(kLinks) + 0.1);
        return kResultOk;
    }

private:
    ParamValues own_values_;
    IConnectionPoint* peer_ = nullptr;
    const std::string role_ = "controller";
};

constexpr std::size_t kMaxDelay = 2048;

class TestEffect final : public IComponent, public IAudioProcessor, public ControllerBase, public IConnectionPoint {
public:
    explicit TestEffect(const ClassSpec& spec)
        : ControllerBase(spec, values_storage_), values_storage_((spec.behaviour & kManyParams) != 0) {
        std::fill(std::begin(inputs_), std::end(inputs_), kStereo);
        outputs_[0] = (spec.behaviour & kSurround) != 0 ? 0x3F : kStereo;
        if ((spec.behaviour & kSurround) != 0) inputs_[0] = 0x3F;
    }
    ~TestEffect() {
        note("component.deleted");
        if (peer_ != nullptr) peer_->release();
        if (host_ != nullptr) host_->release();
        drop_handler();
    }

    tresult queryInterface(const char* iid, void** obj) override {
        if (obj == nullptr) return kInvalidArgument;
        const std::uint32_t b = spec_.behaviour;
        if (same_uid(iid, kFUnknownIid) || same_uid(iid, kIPluginBaseIid) || same_uid(iid, kIComponentIid))
            *obj = static_cast<IComponent*>(this);
        else if (same_uid(iid, kIAudioProcessorIid) && (b & kNoProcessor) == 0)
            *obj = static_cast<IAudioProcessor*>(this);
        else if (same_uid(iid, kIEditControllerIid) && (b & kSingle) != 0)
            *obj = static_cast<IEditController*>(this);
        else if (same_uid(iid, kIConnectionPointIid) && (b & kSplit) != 0)
            *obj = static_cast<IConnectionPoint*>(this);
        else {
            *obj = nullptr;
            return kNoInterface;
        }
        addRef();
        return kResultOk;
    }
    OV_FX_REFCOUNT

    // IPluginBase (of both the component and, when single, the controller).
    tresult initialize(FUnknown* context) override {
        note("component.initialize");
        if ((spec_.behaviour & kInitFails) != 0) return kResultFalse;
        if (context != nullptr && host_ == nullptr)
            context->queryInterface(kIHostApplicationIid.bytes, reinterpret_cast<void**>(&host_));
        return kResultOk;
    }
    tresult terminate() override {
        note("component.terminate");
        drop_handler();
        return kResultOk;
    }

    // IComponent
    tresult getControllerClassId(char* classId) override {
        if ((spec_.behaviour & kSplit) == 0 || classId == nullptr) return kResultFalse;
        class_id(kControllerTag, classId);
        return kResultOk;
    }
    tresult setIoMode(std::int32_t) override { return kResultOk; }
    std::int32_t getBusCount(std::int32_t type, std::int32_t dir) override {
        if (type != kAudio) return 0;
        if (dir == kOutput) return 1;
        if ((spec_.behaviour & kInstrument) != 0) return 0;
        return (spec_.behaviour & kSideChain) != 0 ? 2 : 1;
    }
    tresult getBusInfo(std::int32_t type, std::int32_t dir, std::int32_t index, BusInfo* bus) override {
        if (bus == nullptr || index < 0 || index >= getBusCount(type, dir)) return kInvalidArgument;
        *bus = BusInfo{};
        bus->mediaType = type;
        bus->direction = dir;
        bus->channelCount = static_cast<std::int32_t>(std::popcount(dir == kInput ? inputs_[index] : outputs_[index]));
        copy_text(bus->name, 128, index == 0 ? "Main" : "Side");
        bus->busType = index == 0 ? kMain : kAux;
        return kResultOk;
    }
    tresult getRoutingInfo(RoutingInfo*, RoutingInfo*) override { return kNotImplemented; }
    tresult activateBus(std::int32_t type, std::int32_t dir, std::int32_t index, TBool state) override {
        note("component.activateBus " + std::to_string(type) + " " + std::to_string(dir) + " " + std::to_string(index) +
             " " + std::to_string(state));
        return kResultOk;
    }
    tresult setActive(TBool state) override {
        note("component.setActive " + std::to_string(state));
        if (state && (spec_.behaviour & kNoActivate) != 0) return kResultFalse;
        for (auto& line : delay_) std::fill(std::begin(line), std::end(line), 0.0f);
        return kResultOk;
    }
    tresult setState(IBStream* state) override {
        note("component.setState");
        double saved[3];
        if (!read_component_state(state, saved)) return kResultFalse;
        for (std::size_t i = 0; i < 3; ++i) values_.set(kSavedParams[i], saved[i]);
        latency_.store(static_cast<std::uint32_t>(std::lround(saved[2] * 1000)));
        return kResultOk;
    }
    tresult getState(IBStream* state) override {
        note("component.getState");
        if ((spec_.behaviour & kNoSave) != 0 || state == nullptr) return kResultFalse;
        state->write(const_cast<char*>(kComponentMagic), 4, nullptr);
        for (ParamID id : kSavedParams) {
            double value = values_.get(id);
            state->write(&value, sizeof value, nullptr);
        }
        return kResultOk;
    }

    // IAudioProcessor
    tresult setBusArrangements(SpeakerArrangement* inputs, std::int32_t numIns, SpeakerArrangement* outputs,
                               std::int32_t numOuts) override {
        note("processor.setBusArrangements " + std::to_string(numIns > 0 && inputs ? std::popcount(inputs[0]) : 0) + " " +
             std::to_string(numOuts > 0 && outputs ? std::popcount(outputs[0]) : 0));
        if (numIns != getBusCount(kAudio, kInput) || numOuts != 1 || outputs == nullptr || (numIns > 0 && inputs == nullptr))
            return kInvalidArgument;
        if ((spec_.behaviour & kSurround) != 0) return kResultFalse;  // keeps its six channels
        auto acceptable = [this](SpeakerArrangement a) {
            const int channels = std::popcount(a);
            if (channels < 1 || channels > 8) return false;
            return !((spec_.behaviour & kMonoRefused) != 0 && a == kSpeakerM);
        };
        for (std::int32_t i = 0; i < numIns; ++i)
            if (!acceptable(inputs[i])) return kResultFalse;
        if (!acceptable(outputs[0])) return kResultFalse;
        for (std::int32_t i = 0; i < numIns; ++i) inputs_[i] = inputs[i];
        outputs_[0] = outputs[0];
        return kResultOk;
    }
    tresult getBusArrangement(std::int32_t dir, std::int32_t index, SpeakerArrangement& arrangement) override {
        if (index < 0 || index >= getBusCount(kAudio, dir)) return kInvalidArgument;
        arrangement = dir == kInput ? inputs_[index] : outputs_[index];
        return kResultOk;
    }
    tresult canProcessSampleSize(std::int32_t size) override {
        if ((spec_.behaviour & kNo32Bit) != 0) return kResultFalse;
        return size == kSample32 ? kResultOk : kResultFalse;
    }
    std::uint32_t getLatencySamples() override { return latency_.load(); }
    tresult setupProcessing(ProcessSetup& setup) override {
        note("processor.setupProcessing " + std::to_string(setup.maxSamplesPerBlock));
        if ((spec_.behaviour & kNo48k) != 0 || setup.sampleRate != 48000.0) return kResultFalse;
        if ((spec_.behaviour & kOnly512) != 0 && setup.maxSamplesPerBlock != 512) return kResultFalse;
        max_block_ = setup.maxSamplesPerBlock;
        return kResultOk;
    }
    tresult setProcessing(TBool state) override {
        note("processor.setProcessing " + std::to_string(state));
        return kResultOk;
    }
    tresult process(ProcessData& data) override {
        read_parameter_changes(data);
        if (data.numOutputs < 1 || data.outputs == nullptr || data.numSamples > max_block_) return kResultOk;
        const AudioBusBuffers& out = data.outputs[0];
        const AudioBusBuffers* in = data.numInputs > 0 && data.inputs != nullptr ? &data.inputs[0] : nullptr;
        const float factor = static_cast<float>(2.0 * values_.get(kGain));
        const std::uint32_t latency = std::min<std::uint32_t>(latency_.load(), kMaxDelay - 1);
        const std::size_t start = position_;
        for (std::int32_t channel = 0; channel < out.numChannels && channel < 8; ++channel) {
            std::size_t position = start;
            const float* source = nullptr;
            if (in != nullptr && in->numChannels > 0) source = in->channelBuffers32[std::min(channel, in->numChannels - 1)];
            float* target = out.channelBuffers32[channel];
            auto& line = delay_[static_cast<std::size_t>(channel)];
            for (std::int32_t frame = 0; frame < data.numSamples; ++frame) {
                line[position] = source != nullptr ? source[frame] * factor * channel_weight(channel) : 0.0f;
                target[frame] = line[(position + kMaxDelay - latency) % kMaxDelay];
                position = (position + 1) % kMaxDelay;
            }
        }
        position_ = (start + static_cast<std::size_t>(std::max(data.numSamples, 0))) % kMaxDelay;
        return kResultOk;
    }
    std::uint32_t getTailSamples() override { return 0; }

    // IConnectionPoint: greets the controller through a message made by the host.
    tresult connect(IConnectionPoint* other) override {
        note(role_ + ".connect");
        if (other == nullptr) return kInvalidArgument;
        other->addRef();
        if (peer_ != nullptr) peer_->release();
        peer_ = other;
        IMessage* message = nullptr;
        if (host_ != nullptr &&
            host_->createInstance(const_cast<char*>(kIMessageIid.bytes), const_cast<char*>(kIMessageIid.bytes),
                                  reinterpret_cast<void**>(&message)) == kResultOk &&
            message != nullptr) {
            message->setMessageID("OvFxHello");
            message->getAttributes()->setInt("channels", 2);
            message->getAttributes()->setString("who", u"component");
            peer_->notify(message);
            message->release();
        }
        return kResultOk;
    }
    tresult disconnect(IConnectionPoint* other) override {
        note(role_ + ".disconnect");
        if (other == nullptr || other != peer_) return kInvalidArgument;
        peer_->release();
        peer_ = nullptr;
        return kResultOk;
    }
    tresult notify(IMessage*) override { return kResultOk; }

private:
    void on_latency(std::uint32_t samples) override { latency_.store(std::min<std::uint32_t>(samples, 1000)); }

    // "Surround" weighs channel c by c + 1, so that where each channel ends up shows.
    float channel_weight(std::int32_t channel) const {
        return (spec_.behaviour & kSurround) != 0 ? static_cast<float>(channel + 1) : 1.0f;
    }

    void read_parameter_changes(ProcessData& data) {
        IParameterChanges* changes = data.inputParameterChanges;
        if (changes == nullptr) return;
        const std::int32_t count = changes->getParameterCount();
        for (std::int32_t i = 0; i < count; ++i) {
            IParamValueQueue* queue = changes->getParameterData(i);
            if (queue == nullptr || queue->getPointCount() < 1) continue;
            std::int32_t offset = 0;
            double value = 0;
            if (queue->getPoint(queue->getPointCount() - 1, &offset, &value) != kResultOk) continue;
            const ParamID id = queue->getParameterId();
            // Latency, Edit, View Size and Restart act on the controller side only.
            if (id == kLatency || id == kEdit || id == kViewSize || id == kRestart) continue;
            values_.set(id, value);
            if (id == kGain) report(data, kMeter, value);
        }
        if ((spec_.behaviour & kManyParams) != 0 && count > 0)
            report(data, kFirstReport + ++busy_blocks_, static_cast<double>(count) / 100.0);
    }

    static void report(ProcessData& data, ParamID id, double value) {
        if (data.outputParameterChanges == nullptr) return;
        std::int32_t index = 0;
        IParamValueQueue* queue = data.outputParameterChanges->addParameterData(&id, &index);
        if (queue != nullptr) queue->addPoint(0, value, &index);
    }

    ParamValues values_storage_;
    SpeakerArrangement inputs_[2];
    SpeakerArrangement outputs_[1];
    std::atomic<std::uint32_t> latency_{0};
    std::int32_t max_block_ = 0;
    float delay_[8][kMaxDelay] = {};
    std::size_t position_ = 0;
    std::uint32_t busy_blocks_ = 0;
    IHostApplication* host_ = nullptr;
    IConnectionPoint* peer_ = nullptr;
    const std::string role_ = "component";
};

class Factory final : public IPluginFactory2 {
public:
    tresult queryInterface(const char* iid, void** obj) override {
        if (obj == nullptr) return kInvalidArgument;
        if (same_uid(iid, kFUnknownIid) || same_uid(iid, kIPluginFactoryIid) ||
            (kHasFactory2 && same_uid(iid, kIPluginFactory2Iid))) {
            *obj = static_cast<IPluginFactory2*>(this);
            return kResultOk;
        }
        *obj = nullptr;
        return kNoInterface;
    }
    // A static object: counting is not needed.
    std::uint32_t addRef() override { return 1; }
    std::uint32_t release() override { return 1; }

    tresult getFactoryInfo(PFactoryInfo* info) override {
        if (info == nullptr) return kInvalidArgument;
        copy_text(info->vendor, sizeof info->vendor, "Orvia Tests");
        copy_text(info->url, sizeof info->url, "");
        copy_text(info->email, sizeof info->email, "");
        info->flags = 0;
        return kResultOk;
    }
    std::int32_t countClasses() override { return static_cast<std::int32_t>(kClassCount); }
    tresult getClassInfo(std::int32_t index, PClassInfo* info) override {
        if (info == nullptr || index < 0 || index >= countClasses()) return kInvalidArgument;
        const ClassSpec& spec = kClasses[index];
        if ((spec.behaviour & kBadInfo) != 0) return kResultFalse;
        class_id(spec.tag, info->cid);
        info->cardinality = 0x7FFFFFFF;
        // The category array is filled to its end: "Audio Module Classic" must not match.
        std::memset(info->category, 0, sizeof info->category);
        std::memcpy(info->category, spec.category, std::min(sizeof info->category, std::strlen(spec.category)));
        copy_text(info->name, sizeof info->name, spec.name);
        return kResultOk;
    }
    tresult createInstance(FIDString cid, FIDString iid, void** obj) override {
        if (obj == nullptr) return kInvalidArgument;
        *obj = nullptr;
        const ClassSpec* spec = find_class(cid);
        if (spec == nullptr || (spec->behaviour & kNoCreate) != 0) return kResultFalse;
        FUnknown* made = nullptr;
        if (spec->tag == kControllerTag) {
            const ClassSpec* split = find_tag(kSplitTag);
            if (split == nullptr) return kResultFalse;
            made = static_cast<IEditController*>(new SplitController(*split));
        } else {
            made = static_cast<IComponent*>(new TestEffect(*spec));
        }
        const tresult result = made->queryInterface(iid, obj);
        made->release();
        return result;
    }
    tresult getClassInfo2(std::int32_t index, PClassInfo2* info) override {
        if (info == nullptr || index < 0 || index >= countClasses()) return kInvalidArgument;
        PClassInfo base{};
        if (getClassInfo(index, &base) != kResultOk) return kResultFalse;
        *info = PClassInfo2{};
        std::memcpy(info->cid, base.cid, 16);
        info->cardinality = base.cardinality;
        std::memcpy(info->category, base.category, sizeof info->category);
        std::memcpy(info->name, base.name, sizeof info->name);
        const ClassSpec& spec = kClasses[index];
        copy_text(info->subCategories, sizeof info->subCategories, spec.sub_categories);
        copy_text(info->vendor, sizeof info->vendor, spec.vendor);
        copy_text(info->version, sizeof info->version, spec.version);
        copy_text(info->sdkVersion, sizeof info->sdkVersion, "VST 3.7");
        return kResultOk;
    }
};

Factory the_factory;

}  // namespace
}  // namespace ovtestfx

// The calls noted since the last time, one per line.
OV_FX_EXPORT const char* OvFxTakeCallLog() {
    static std::string taken;
    std::lock_guard<std::mutex> lock(ovtestfx::call_log_mutex);
    taken = std::move(ovtestfx::call_log);
    ovtestfx::call_log.clear();
    return taken.c_str();
}

#if OV_FX_VARIANT != 4
OV_FX_EXPORT ovhost::vst3::IPluginFactory* GetPluginFactory() {
    if (OV_FX_VARIANT == 5) return nullptr;
    return &ovtestfx::the_factory;
}
#endif

#ifdef _WIN32
OV_FX_EXPORT bool InitDll() { return OV_FX_VARIANT != 3; }
OV_FX_EXPORT bool ExitDll() { return true; }
#else
OV_FX_EXPORT bool ModuleEntry(void*) { return OV_FX_VARIANT != 3; }
OV_FX_EXPORT bool ModuleExit() { return true; }
#endif
