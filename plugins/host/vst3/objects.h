#pragma once
// The objects this host hands to VST3 plug-ins: the host application, messages and their
// attribute lists, the component handler, memory streams, the parameter changes of a block
// with their value queues, and the frame of an embedded view. Each is reference counted
// (one reference for its creator) and answers queryInterface only for FUnknown and its own
// interface.
#include "plugin.h"
#include "vst3/abi.h"

#include <array>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <variant>
#include <vector>

namespace ovhost::vst3 {

// Owns one reference to a VST3 object.
template <class T>
class Ref {
public:
    Ref() = default;
    // Takes over a reference the caller already holds.
    explicit Ref(T* adopted) : ptr_(adopted) {}
    Ref(const Ref& other) : ptr_(other.ptr_) {
        if (ptr_ != nullptr) ptr_->addRef();
    }
    Ref(Ref&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
    Ref& operator=(Ref other) noexcept {
        std::swap(ptr_, other.ptr_);
        return *this;
    }
    ~Ref() { reset(); }

    // Adds a reference of its own to a pointer someone else holds.
    static Ref share(T* borrowed) {
        if (borrowed != nullptr) borrowed->addRef();
        return Ref(borrowed);
    }

    void reset() {
        if (ptr_ != nullptr) std::exchange(ptr_, nullptr)->release();
    }
    T* get() const { return ptr_; }
    T* operator->() const { return ptr_; }
    explicit operator bool() const { return ptr_ != nullptr; }
    // For calls that return a new reference through a void** argument.
    void** out() {
        reset();
        return reinterpret_cast<void**>(&ptr_);
    }

private:
    T* ptr_ = nullptr;
};

// queryInterface into a Ref; empty when the object has no such interface.
template <class T>
Ref<T> query(FUnknown* object, const Uid& iid) {
    Ref<T> result;
    if (object == nullptr) return result;
    void* found = nullptr;
    if (object->queryInterface(iid.bytes, &found) == kResultOk && found != nullptr)
        return Ref<T>(static_cast<T*>(found));
    return result;
}

// FUnknown for one interface: an atomic count and the two ids it answers to.
template <class Interface, const Uid& kIid>
class HostObject : public Interface {
public:
    HostObject(const HostObject&) = delete;
    HostObject& operator=(const HostObject&) = delete;

    tresult queryInterface(const char* iid, void** obj) override {
        if (same_uid(iid, kFUnknownIid) || same_uid(iid, kIid)) {
            if (obj == nullptr) return kInvalidArgument;
            addRef();
            *obj = static_cast<Interface*>(this);
            return kResultOk;
        }
        return kNoInterface;
    }
    std::uint32_t addRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
    std::uint32_t release() override {
        const std::uint32_t left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) delete this;
        return left;
    }

protected:
    HostObject() = default;
    virtual ~HostObject() = default;

private:
    std::atomic<std::uint32_t> refs_{1};
};

class HostApplication final : public HostObject<IHostApplication, kIHostApplicationIid> {
public:
    tresult getName(char16_t* name) override;
    tresult createInstance(char* cid, char* iid, void** obj) override;
};

class AttributeList final : public HostObject<IAttributeList, kIAttributeListIid> {
public:
    tresult setInt(FIDString id, std::int64_t value) override;
    tresult getInt(FIDString id, std::int64_t* value) override;
    tresult setFloat(FIDString id, double value) override;
    tresult getFloat(FIDString id, double* value) override;
    tresult setString(FIDString id, const char16_t* string) override;
    tresult getString(FIDString id, char16_t* string, std::uint32_t sizeInBytes) override;
    tresult setBinary(FIDString id, const void* data, std::uint32_t sizeInBytes) override;
    tresult getBinary(FIDString id, const void** data, std::uint32_t* sizeInBytes) override;

private:
    using Value = std::variant<std::int64_t, double, std::u16string, std::vector<std::uint8_t>>;
    std::map<std::string, Value> values_;
};

class Message final : public HostObject<IMessage, kIMessageIid> {
public:
    Message();
    ~Message() override;
    FIDString getMessageID() override;
    void setMessageID(FIDString id) override;
    IAttributeList* getAttributes() override;

private:
    std::optional<std::string> id_;
    AttributeList* attributes_;
};

// The pushing side of the two rings between an instance and its processor.
struct ParamRings {
    ParamRing to_audio;
    ParamRing from_audio;
};

class ComponentHandler final : public HostObject<IComponentHandler, kIComponentHandlerIid> {
public:
    explicit ComponentHandler(std::shared_ptr<ParamRings> rings) : rings_(std::move(rings)) {}

    tresult beginEdit(ParamID id) override;
    tresult performEdit(ParamID id, ParamValue valueNormalized) override;
    tresult endEdit(ParamID id) override;
    tresult restartComponent(std::int32_t flags) override;

    // Drained on the main thread by the instance's poll.
    std::vector<std::pair<ParamID, ParamValue>> take_edits();
    std::uint32_t take_restart_flags() { return restart_flags_.exchange(0); }
    bool take_state_dirty() { return state_dirty_.exchange(false); }

private:
    std::shared_ptr<ParamRings> rings_;
    std::mutex edits_mutex_;
    std::vector<std::pair<ParamID, ParamValue>> edits_;
    std::atomic<std::uint32_t> restart_flags_{0};
    std::atomic<bool> state_dirty_{false};
};

class MemoryStream final : public HostObject<IBStream, kIBStreamIid> {
public:
    MemoryStream() = default;
    // A stream for reading: a copy of the bytes, at position 0.
    explicit MemoryStream(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

    tresult read(void* buffer, std::int32_t numBytes, std::int32_t* numBytesRead) override;
    tresult write(void* buffer, std::int32_t numBytes, std::int32_t* numBytesWritten) override;
    tresult seek(std::int64_t pos, std::int32_t mode, std::int64_t* result) override;
    tresult tell(std::int64_t* pos) override;

    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
    std::int64_t position_ = 0;
};

class ParamValueQueue final : public HostObject<IParamValueQueue, kIParamValueQueueIid> {
public:
    ParamID getParameterId() override { return id_; }
    std::int32_t getPointCount() override { return points_; }
    tresult getPoint(std::int32_t index, std::int32_t* sampleOffset, ParamValue* value) override;
    tresult addPoint(std::int32_t sampleOffset, ParamValue value, std::int32_t* index) override;

    // Host side: a fresh queue for `id` without points.
    void reset(ParamID id) {
        id_ = id;
        points_ = 0;
        value_ = 0.0;
    }
    ParamID id() const { return id_; }
    // The single value, when the queue holds one.
    std::optional<ParamValue> value() const { return points_ > 0 ? std::optional<ParamValue>(value_) : std::nullopt; }

private:
    ParamID id_ = 0;
    ParamValue value_ = 0.0;
    std::int32_t points_ = 0;
};

class ParameterChanges final : public HostObject<IParameterChanges, kIParameterChangesIid> {
public:
    static constexpr std::int32_t kQueues = 64;

    ParameterChanges();
    ~ParameterChanges() override;

    std::int32_t getParameterCount() override { return used_; }
    IParamValueQueue* getParameterData(std::int32_t index) override;
    IParamValueQueue* addParameterData(const ParamID* id, std::int32_t* index) override;

    // Host side, without allocating: forget every queue of the last block.
    void clear() { used_ = 0; }
    // Sets the one value of `id` in this block; false when all queues are taken by other ids.
    bool set_value(ParamID id, ParamValue value);
    // The queue at `index` (0 <= index < getParameterCount()).
    const ParamValueQueue& queue(std::int32_t index) const { return *queues_[static_cast<std::size_t>(index)]; }

private:
    std::array<ParamValueQueue*, kQueues> queues_{};
    std::int32_t used_ = 0;
};

// The frame of an embedded view. Where plug-in views run on the host's loop, it also
// answers IRunLoop: the view's timers and descriptor watches run on the main thread's loop,
// each handler held (one reference) until the view unregisters it or the host closes the
// frame. Registrations from any other thread are refused.
class PlugFrame final : public IPlugFrame, public IRunLoop {
public:
    // The calling thread is the main thread whose loop serves the view.
    PlugFrame();
    PlugFrame(const PlugFrame&) = delete;
    PlugFrame& operator=(const PlugFrame&) = delete;

    tresult queryInterface(const char* iid, void** obj) override;
    std::uint32_t addRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
    std::uint32_t release() override;

    tresult resizeView(IPlugView* view, ViewRect* newSize) override;

    tresult registerEventHandler(IEventHandler* handler, int fd) override;
    tresult unregisterEventHandler(IEventHandler* handler) override;
    tresult registerTimer(ITimerHandler* handler, std::uint64_t milliseconds) override;
    tresult unregisterTimer(ITimerHandler* handler) override;

    // The size the view last asked for, once.
    std::optional<EditorSize> take_resize();

    // The view is torn down: whatever it left registered is removed and its handlers
    // released; later registrations are refused. Main thread only.
    void close();

    // Registrations in force (for tests).
    std::size_t registrations() const { return watches_.size() + timers_.size(); }

private:
    ~PlugFrame();

    struct EventWatch {
        Ref<IEventHandler> handler;
        int fd;
        std::uint64_t source;
    };
    struct TimerEntry {
        Ref<ITimerHandler> handler;
        std::uint64_t source;
    };

    // May the caller register now: the main thread, with a loop, before close().
    bool accepts_registrations() const;

    std::atomic<std::uint32_t> refs_{1};
    std::atomic<bool> pending_{false};
    std::atomic<std::int32_t> width_{0};
    std::atomic<std::int32_t> height_{0};
    const std::thread::id main_thread_;
    bool closed_ = false;
    // Touched on the main thread only.
    std::vector<EventWatch> watches_;
    std::vector<TimerEntry> timers_;
};

// Text of a zero-terminated UTF-16 array of at most `units` units, as UTF-8.
std::string utf16_text(const char16_t* text, std::size_t units);
// Text of a zero-terminated 8-bit array of at most `bytes` bytes, invalid UTF-8 replaced.
std::string fixed_text(const char* text, std::size_t bytes);

}  // namespace ovhost::vst3
