#pragma once
// Our own declarations of the VST3 binary interfaces: basic types, result codes, interface
// ids, the structures passed across the boundary and the interfaces as tables of virtual
// functions. Interfaces are structs of pure virtual functions with single inheritance and no
// virtual destructor, so that the compiler lays out their function tables exactly as the
// plug-ins expect. The byte order of the ids and the values of the error codes differ
// between Windows (COM-compatible) and other systems; that choice is made here only.
#include <cstdint>
#include <cstring>

namespace ovhost::vst3 {

using tresult = std::int32_t;
using TBool = std::uint8_t;
using ParamID = std::uint32_t;
using ParamValue = double;
using FIDString = const char*;
using SpeakerArrangement = std::uint64_t;
using String128 = char16_t[128];

#ifdef _WIN32
inline constexpr bool kComByteOrder = true;
#else
inline constexpr bool kComByteOrder = false;
#endif

inline constexpr tresult kResultOk = 0;
inline constexpr tresult kResultTrue = 0;
inline constexpr tresult kResultFalse = 1;
inline constexpr tresult kNoInterface = kComByteOrder ? static_cast<tresult>(0x80004002u) : -1;
inline constexpr tresult kInvalidArgument = kComByteOrder ? static_cast<tresult>(0x80070057u) : 2;
inline constexpr tresult kNotImplemented = kComByteOrder ? static_cast<tresult>(0x80004001u) : 3;
inline constexpr tresult kInternalError = kComByteOrder ? static_cast<tresult>(0x80004005u) : 4;

// A 16-byte interface or class id as it lies in memory.
struct Uid {
    char bytes[16];
};

// The id written as "AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE" with words a, b = BBBBCCCC,
// c = DDDDEEEE, d = the last eight digits.
constexpr Uid make_uid(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
    Uid uid{};
    auto put_big = [&uid](int at, std::uint32_t word, int bytes) {
        for (int i = 0; i < bytes; ++i) uid.bytes[at + i] = static_cast<char>((word >> (8 * (bytes - 1 - i))) & 0xFF);
    };
    auto put_little = [&uid](int at, std::uint32_t word, int bytes) {
        for (int i = 0; i < bytes; ++i) uid.bytes[at + i] = static_cast<char>((word >> (8 * i)) & 0xFF);
    };
    if (kComByteOrder) {
        put_little(0, a, 4);
        put_little(4, b >> 16, 2);
        put_little(6, b & 0xFFFF, 2);
    } else {
        put_big(0, a, 4);
        put_big(4, b, 4);
    }
    put_big(8, c, 4);
    put_big(12, d, 4);
    return uid;
}

inline bool same_uid(const char* left, const Uid& right) {
    return left != nullptr && std::memcmp(left, right.bytes, 16) == 0;
}

inline constexpr Uid kFUnknownIid = make_uid(0x00000000, 0x00000000, 0xC0000000, 0x00000046);
inline constexpr Uid kIPluginBaseIid = make_uid(0x22888DDB, 0x156E45AE, 0x8358B348, 0x08190625);
inline constexpr Uid kIPluginFactoryIid = make_uid(0x7A4D811C, 0x52114A1F, 0xAED9D2EE, 0x0B43BF9F);
inline constexpr Uid kIPluginFactory2Iid = make_uid(0x0007B650, 0xF24B4C0B, 0xA464EDB9, 0xF00B2ABB);
inline constexpr Uid kIComponentIid = make_uid(0xE831FF31, 0xF2D54301, 0x928EBBEE, 0x25697802);
inline constexpr Uid kIAudioProcessorIid = make_uid(0x42043F99, 0xB7DA453C, 0xA569E79D, 0x9AAEC33D);
inline constexpr Uid kIEditControllerIid = make_uid(0xDCD7BBE3, 0x7742448D, 0xA874AACC, 0x979C759E);
inline constexpr Uid kIConnectionPointIid = make_uid(0x70A4156F, 0x6E6E4026, 0x989148BF, 0xAA60D8D1);
inline constexpr Uid kIPlugViewIid = make_uid(0x5BC32507, 0xD06049EA, 0xA6151B52, 0x2B755B29);
inline constexpr Uid kIPlugFrameIid = make_uid(0x367FAF01, 0xAFA94693, 0x8D4DA2A0, 0xED0882A3);
inline constexpr Uid kIHostApplicationIid = make_uid(0x58E595CC, 0xDB2D4969, 0x8B6AAF8C, 0x36A664E5);
inline constexpr Uid kIComponentHandlerIid = make_uid(0x93A0BEA3, 0x0BD045DB, 0x8E890B0C, 0xC1E46AC6);
inline constexpr Uid kIBStreamIid = make_uid(0xC3BF6EA2, 0x30994752, 0x9B6BF990, 0x1EE33E9B);
inline constexpr Uid kIMessageIid = make_uid(0x936F033B, 0xC6C047DB, 0xBB0882F8, 0x13C1E613);
inline constexpr Uid kIAttributeListIid = make_uid(0x1E5F0AEB, 0xCC7F4533, 0xA2544011, 0x38AD5EE4);
inline constexpr Uid kIParameterChangesIid = make_uid(0xA4779663, 0x0BB64A56, 0xB44384A8, 0x466FEB9D);
inline constexpr Uid kIParamValueQueueIid = make_uid(0x01263A18, 0xED074F6F, 0x98C9D356, 0x4686F9BA);
// The host's run loop that Linux views ask their frame for, and the plug-in's handlers.
inline constexpr Uid kIRunLoopIid = make_uid(0x18C35366, 0x97764F1A, 0x9C5B8385, 0x7A871389);
inline constexpr Uid kIEventHandlerIid = make_uid(0x561E65C9, 0x13A0496F, 0x813A2C35, 0x654D7983);
inline constexpr Uid kITimerHandlerIid = make_uid(0x10BDD94F, 0x41424774, 0x821FAD8F, 0xECA72CA9);

// Constants.
inline constexpr std::int32_t kAudio = 0;
inline constexpr std::int32_t kEvent = 1;
inline constexpr std::int32_t kInput = 0;
inline constexpr std::int32_t kOutput = 1;
inline constexpr std::int32_t kMain = 0;
inline constexpr std::int32_t kAux = 1;
inline constexpr std::int32_t kRealtime = 0;
inline constexpr std::int32_t kSample32 = 0;
inline constexpr std::int32_t kSample64 = 1;
inline constexpr SpeakerArrangement kSpeakerL = 1u << 0;
inline constexpr SpeakerArrangement kSpeakerR = 1u << 1;
inline constexpr SpeakerArrangement kSpeakerM = 1u << 19;
inline constexpr SpeakerArrangement kStereo = kSpeakerL | kSpeakerR;
inline constexpr std::int32_t kCanAutomate = 1;
inline constexpr std::int32_t kIsReadOnly = 2;
inline constexpr std::int32_t kIsHidden = 16;
inline constexpr std::int32_t kReloadComponent = 1;
inline constexpr std::int32_t kIoChanged = 2;
inline constexpr std::int32_t kParamValuesChanged = 4;
inline constexpr std::int32_t kLatencyChanged = 8;
inline constexpr std::int32_t kIBSeekSet = 0;
inline constexpr std::int32_t kIBSeekCur = 1;
inline constexpr std::int32_t kIBSeekEnd = 2;
inline constexpr const char* kAudioEffectCategory = "Audio Module Class";
inline constexpr const char* kEditorViewType = "editor";

// Structures, with natural alignment on both systems.
struct PFactoryInfo {
    char vendor[64];
    char url[256];
    char email[128];
    std::int32_t flags;
};

struct PClassInfo {
    char cid[16];
    std::int32_t cardinality;
    char category[32];
    char name[64];
};

struct PClassInfo2 {
    char cid[16];
    std::int32_t cardinality;
    char category[32];
    char name[64];
    std::uint32_t classFlags;
    char subCategories[128];
    char vendor[64];
    char version[64];
    char sdkVersion[64];
};

struct BusInfo {
    std::int32_t mediaType;
    std::int32_t direction;
    std::int32_t channelCount;
    String128 name;
    std::int32_t busType;
    std::uint32_t flags;
};

struct RoutingInfo {
    std::int32_t mediaType;
    std::int32_t busIndex;
    std::int32_t channel;
};

struct ProcessSetup {
    std::int32_t processMode;
    std::int32_t symbolicSampleSize;
    std::int32_t maxSamplesPerBlock;
    double sampleRate;
};

struct AudioBusBuffers {
    std::int32_t numChannels;
    std::uint64_t silenceFlags;
    union {
        float** channelBuffers32;
        double** channelBuffers64;
    };
};

struct IParameterChanges;
struct IEventList;
struct ProcessContext;

struct ProcessData {
    std::int32_t processMode;
    std::int32_t symbolicSampleSize;
    std::int32_t numSamples;
    std::int32_t numInputs;
    std::int32_t numOutputs;
    AudioBusBuffers* inputs;
    AudioBusBuffers* outputs;
    IParameterChanges* inputParameterChanges;
    IParameterChanges* outputParameterChanges;
    IEventList* inputEvents;
    IEventList* outputEvents;
    ProcessContext* processContext;
};

struct ParameterInfo {
    ParamID id;
    String128 title;
    String128 shortTitle;
    String128 units;
    std::int32_t stepCount;
    ParamValue defaultNormalizedValue;
    std::int32_t unitId;
    std::int32_t flags;
};

struct ViewRect {
    std::int32_t left;
    std::int32_t top;
    std::int32_t right;
    std::int32_t bottom;
};

static_assert(sizeof(PFactoryInfo) == 452);
static_assert(sizeof(PClassInfo) == 116);
static_assert(sizeof(PClassInfo2) == 440);
static_assert(sizeof(ProcessSetup) == 24);
static_assert(sizeof(AudioBusBuffers) == 24);
static_assert(sizeof(ProcessData) == 80);
static_assert(sizeof(ParameterInfo) == 792);
static_assert(sizeof(ViewRect) == 16);

// Interfaces, methods in table order. A reference argument is a pointer in the binary
// interface; the ones the host implements are declared as pointers so that a null from a
// careless plug-in can be checked.
struct FUnknown {
    virtual tresult queryInterface(const char* iid, void** obj) = 0;
    virtual std::uint32_t addRef() = 0;
    virtual std::uint32_t release() = 0;
};

struct IPluginBase : FUnknown {
    virtual tresult initialize(FUnknown* context) = 0;
    virtual tresult terminate() = 0;
};

struct IPluginFactory : FUnknown {
    virtual tresult getFactoryInfo(PFactoryInfo* info) = 0;
    virtual std::int32_t countClasses() = 0;
    virtual tresult getClassInfo(std::int32_t index, PClassInfo* info) = 0;
    virtual tresult createInstance(FIDString cid, FIDString iid, void** obj) = 0;
};

struct IPluginFactory2 : IPluginFactory {
    virtual tresult getClassInfo2(std::int32_t index, PClassInfo2* info) = 0;
};

struct IBStream : FUnknown {
    virtual tresult read(void* buffer, std::int32_t numBytes, std::int32_t* numBytesRead) = 0;
    virtual tresult write(void* buffer, std::int32_t numBytes, std::int32_t* numBytesWritten) = 0;
    virtual tresult seek(std::int64_t pos, std::int32_t mode, std::int64_t* result) = 0;
    virtual tresult tell(std::int64_t* pos) = 0;
};

struct IComponent : IPluginBase {
    virtual tresult getControllerClassId(char* classId) = 0;
    virtual tresult setIoMode(std::int32_t mode) = 0;
    virtual std::int32_t getBusCount(std::int32_t type, std::int32_t dir) = 0;
    virtual tresult getBusInfo(std::int32_t type, std::int32_t dir, std::int32_t index, BusInfo* bus) = 0;
    virtual tresult getRoutingInfo(RoutingInfo* in, RoutingInfo* out) = 0;
    virtual tresult activateBus(std::int32_t type, std::int32_t dir, std::int32_t index, TBool state) = 0;
    virtual tresult setActive(TBool state) = 0;
    virtual tresult setState(IBStream* state) = 0;
    virtual tresult getState(IBStream* state) = 0;
};

struct IAudioProcessor : FUnknown {
    virtual tresult setBusArrangements(SpeakerArrangement* inputs, std::int32_t numIns, SpeakerArrangement* outputs,
                                       std::int32_t numOuts) = 0;
    virtual tresult getBusArrangement(std::int32_t dir, std::int32_t index, SpeakerArrangement& arr) = 0;
    virtual tresult canProcessSampleSize(std::int32_t symbolicSampleSize) = 0;
    virtual std::uint32_t getLatencySamples() = 0;
    virtual tresult setupProcessing(ProcessSetup& setup) = 0;
    virtual tresult setProcessing(TBool state) = 0;
    virtual tresult process(ProcessData& data) = 0;
    virtual std::uint32_t getTailSamples() = 0;
};

struct IPlugView;
struct IComponentHandler;

struct IEditController : IPluginBase {
    virtual tresult setComponentState(IBStream* state) = 0;
    virtual tresult setState(IBStream* state) = 0;
    virtual tresult getState(IBStream* state) = 0;
    virtual std::int32_t getParameterCount() = 0;
    virtual tresult getParameterInfo(std::int32_t paramIndex, ParameterInfo& info) = 0;
    virtual tresult getParamStringByValue(ParamID id, ParamValue valueNormalized, char16_t* string) = 0;
    virtual tresult getParamValueByString(ParamID id, char16_t* string, ParamValue& valueNormalized) = 0;
    virtual double normalizedParamToPlain(ParamID id, ParamValue valueNormalized) = 0;
    virtual ParamValue plainParamToNormalized(ParamID id, double plainValue) = 0;
    virtual ParamValue getParamNormalized(ParamID id) = 0;
    virtual tresult setParamNormalized(ParamID id, ParamValue value) = 0;
    virtual tresult setComponentHandler(IComponentHandler* handler) = 0;
    virtual IPlugView* createView(FIDString name) = 0;
};

struct IMessage;

struct IConnectionPoint : FUnknown {
    virtual tresult connect(IConnectionPoint* other) = 0;
    virtual tresult disconnect(IConnectionPoint* other) = 0;
    virtual tresult notify(IMessage* message) = 0;
};

struct IPlugFrame;

struct IPlugView : FUnknown {
    virtual tresult isPlatformTypeSupported(FIDString type) = 0;
    virtual tresult attached(void* parent, FIDString type) = 0;
    virtual tresult removed() = 0;
    virtual tresult onWheel(float distance) = 0;
    virtual tresult onKeyDown(char16_t key, std::int16_t keyCode, std::int16_t modifiers) = 0;
    virtual tresult onKeyUp(char16_t key, std::int16_t keyCode, std::int16_t modifiers) = 0;
    virtual tresult getSize(ViewRect* size) = 0;
    virtual tresult onSize(ViewRect* newSize) = 0;
    virtual tresult onFocus(TBool state) = 0;
    virtual tresult setFrame(IPlugFrame* frame) = 0;
    virtual tresult canResize() = 0;
    virtual tresult checkSizeConstraint(ViewRect* rect) = 0;
};

struct IPlugFrame : FUnknown {
    virtual tresult resizeView(IPlugView* view, ViewRect* newSize) = 0;
};

struct IEventHandler : FUnknown {
    virtual void onFDIsSet(int fd) = 0;
};

struct ITimerHandler : FUnknown {
    virtual void onTimer() = 0;
};

struct IRunLoop : FUnknown {
    virtual tresult registerEventHandler(IEventHandler* handler, int fd) = 0;
    virtual tresult unregisterEventHandler(IEventHandler* handler) = 0;
    virtual tresult registerTimer(ITimerHandler* handler, std::uint64_t milliseconds) = 0;
    virtual tresult unregisterTimer(ITimerHandler* handler) = 0;
};

struct IHostApplication : FUnknown {
    virtual tresult getName(char16_t* name) = 0;
    virtual tresult createInstance(char* cid, char* iid, void** obj) = 0;
};

struct IComponentHandler : FUnknown {
    virtual tresult beginEdit(ParamID id) = 0;
    virtual tresult performEdit(ParamID id, ParamValue valueNormalized) = 0;
    virtual tresult endEdit(ParamID id) = 0;
    virtual tresult restartComponent(std::int32_t flags) = 0;
};

struct IAttributeList : FUnknown {
    virtual tresult setInt(FIDString id, std::int64_t value) = 0;
    virtual tresult getInt(FIDString id, std::int64_t* value) = 0;
    virtual tresult setFloat(FIDString id, double value) = 0;
    virtual tresult getFloat(FIDString id, double* value) = 0;
    virtual tresult setString(FIDString id, const char16_t* string) = 0;
    virtual tresult getString(FIDString id, char16_t* string, std::uint32_t sizeInBytes) = 0;
    virtual tresult setBinary(FIDString id, const void* data, std::uint32_t sizeInBytes) = 0;
    virtual tresult getBinary(FIDString id, const void** data, std::uint32_t* sizeInBytes) = 0;
};

struct IMessage : FUnknown {
    virtual FIDString getMessageID() = 0;
    virtual void setMessageID(FIDString id) = 0;
    virtual IAttributeList* getAttributes() = 0;
};

struct IParamValueQueue : FUnknown {
    virtual ParamID getParameterId() = 0;
    virtual std::int32_t getPointCount() = 0;
    virtual tresult getPoint(std::int32_t index, std::int32_t* sampleOffset, ParamValue* value) = 0;
    virtual tresult addPoint(std::int32_t sampleOffset, ParamValue value, std::int32_t* index) = 0;
};

struct IParameterChanges : FUnknown {
    virtual std::int32_t getParameterCount() = 0;
    virtual IParamValueQueue* getParameterData(std::int32_t index) = 0;
    virtual IParamValueQueue* addParameterData(const ParamID* id, std::int32_t* index) = 0;
};

// The module's exported factory function.
using GetFactoryProc = IPluginFactory* (*)();

}  // namespace ovhost::vst3
