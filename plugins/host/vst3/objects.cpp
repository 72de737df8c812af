#include "vst3/objects.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "ov/text.h"
#include "platform/main_loop.h"

namespace ovhost::vst3 {

namespace {

constexpr char16_t kHostName[] = u"Orvia";

std::string attribute_key(FIDString id) { return id == nullptr ? std::string() : ov::text::decode_utf8_lossy(id); }

}  // namespace

std::string utf16_text(const char16_t* text, std::size_t units) {
    std::string out;
    if (text == nullptr) return out;
    std::size_t length = 0;
    while (length < units && text[length] != 0) ++length;
    for (std::size_t i = 0; i < length; ++i) {
        const char16_t unit = text[i];
        char32_t code = unit;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            code = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (static_cast<char32_t>(text[i + 1]) - 0xDC00);
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            code = 0xFFFD;
        }
        ov::text::append_utf8(out, code);
    }
    return out;
}

std::string fixed_text(const char* text, std::size_t bytes) {
    std::size_t length = 0;
    while (length < bytes && text[length] != 0) ++length;
    return ov::text::decode_utf8_lossy(std::string_view(text, length));
}

// HostApplication

tresult HostApplication::getName(char16_t* name) {
    if (name == nullptr) return kInvalidArgument;
    std::memcpy(name, kHostName, sizeof(kHostName));
    return kResultOk;
}

tresult HostApplication::createInstance(char* cid, char* iid, void** obj) {
    if (obj == nullptr) return kInvalidArgument;
    if (same_uid(cid, kIMessageIid) || same_uid(iid, kIMessageIid)) {
        *obj = static_cast<IMessage*>(new Message());
        return kResultOk;
    }
    if (same_uid(cid, kIAttributeListIid) || same_uid(iid, kIAttributeListIid)) {
        *obj = static_cast<IAttributeList*>(new AttributeList());
        return kResultOk;
    }
    *obj = nullptr;
    return kResultFalse;
}

// AttributeList

tresult AttributeList::setInt(FIDString id, std::int64_t value) {
    values_[attribute_key(id)] = value;
    return kResultOk;
}

tresult AttributeList::getInt(FIDString id, std::int64_t* value) {
    const auto found = values_.find(attribute_key(id));
    if (found == values_.end() || !std::holds_alternative<std::int64_t>(found->second)) return kResultFalse;
    if (value == nullptr) return kInvalidArgument;
    *value = std::get<std::int64_t>(found->second);
    return kResultOk;
}

tresult AttributeList::setFloat(FIDString id, double value) {
    values_[attribute_key(id)] = value;
    return kResultOk;
}

tresult AttributeList::getFloat(FIDString id, double* value) {
    const auto found = values_.find(attribute_key(id));
    if (found == values_.end() || !std::holds_alternative<double>(found->second)) return kResultFalse;
    if (value == nullptr) return kInvalidArgument;
    *value = std::get<double>(found->second);
    return kResultOk;
}

tresult AttributeList::setString(FIDString id, const char16_t* string) {
    std::u16string text;
    if (string != nullptr)
        for (const char16_t* unit = string; *unit != 0; ++unit) text.push_back(*unit);
    values_[attribute_key(id)] = std::move(text);
    return kResultOk;
}

tresult AttributeList::getString(FIDString id, char16_t* string, std::uint32_t sizeInBytes) {
    const auto found = values_.find(attribute_key(id));
    if (found == values_.end() || !std::holds_alternative<std::u16string>(found->second)) return kResultFalse;
    // Without room for the terminator nothing is written.
    if (string == nullptr || sizeInBytes < 2) return kResultOk;
    const auto& text = std::get<std::u16string>(found->second);
    const std::size_t units = std::min<std::size_t>(text.size(), sizeInBytes / 2 - 1);
    std::copy_n(text.data(), units, string);
    string[units] = 0;
    return kResultOk;
}

tresult AttributeList::setBinary(FIDString id, const void* data, std::uint32_t sizeInBytes) {
    std::vector<std::uint8_t> block;
    if (data != nullptr && sizeInBytes > 0) {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        block.assign(bytes, bytes + sizeInBytes);
    }
    values_[attribute_key(id)] = std::move(block);
    return kResultOk;
}

tresult AttributeList::getBinary(FIDString id, const void** data, std::uint32_t* sizeInBytes) {
    const auto found = values_.find(attribute_key(id));
    if (found == values_.end() || !std::holds_alternative<std::vector<std::uint8_t>>(found->second)) return kResultFalse;
    if (data == nullptr || sizeInBytes == nullptr) return kInvalidArgument;
    const auto& block = std::get<std::vector<std::uint8_t>>(found->second);
    *data = block.data();
    *sizeInBytes = static_cast<std::uint32_t>(block.size());
    return kResultOk;
}

// Message

Message::Message() : attributes_(new AttributeList()) {}

Message::~Message() { attributes_->release(); }

FIDString Message::getMessageID() { return id_ ? id_->c_str() : nullptr; }

void Message::setMessageID(FIDString id) {
    if (id == nullptr)
        id_.reset();
    else
        id_ = std::string(id);
}

IAttributeList* Message::getAttributes() { return attributes_; }

// ComponentHandler

tresult ComponentHandler::beginEdit(ParamID) { return kResultOk; }

tresult ComponentHandler::performEdit(ParamID id, ParamValue valueNormalized) {
    rings_->to_audio.push_locked(id, valueNormalized);
    {
        std::lock_guard<std::mutex> lock(edits_mutex_);
        edits_.emplace_back(id, valueNormalized);
    }
    state_dirty_.store(true);
    return kResultOk;
}

tresult ComponentHandler::endEdit(ParamID) { return kResultOk; }

tresult ComponentHandler::restartComponent(std::int32_t flags) {
    restart_flags_.fetch_or(static_cast<std::uint32_t>(flags));
    return kResultOk;
}

std::vector<std::pair<ParamID, ParamValue>> ComponentHandler::take_edits() {
    std::lock_guard<std::mutex> lock(edits_mutex_);
    return std::exchange(edits_, {});
}

// MemoryStream

tresult MemoryStream::read(void* buffer, std::int32_t numBytes, std::int32_t* numBytesRead) {
    const auto size = static_cast<std::int64_t>(bytes_.size());
    const std::int64_t count = std::min<std::int64_t>(std::max<std::int32_t>(numBytes, 0), size - position_);
    if (count > 0) {
        if (buffer == nullptr) return kInvalidArgument;
        std::memcpy(buffer, bytes_.data() + position_, static_cast<std::size_t>(count));
        position_ += count;
    }
    if (numBytesRead != nullptr) *numBytesRead = static_cast<std::int32_t>(count);
    return kResultOk;
}

tresult MemoryStream::write(void* buffer, std::int32_t numBytes, std::int32_t* numBytesWritten) {
    const std::int64_t count = std::max<std::int32_t>(numBytes, 0);
    if (count > 0) {
        if (buffer == nullptr) return kInvalidArgument;
        const auto end = static_cast<std::size_t>(position_ + count);
        if (end > bytes_.size()) bytes_.resize(end);
        std::memcpy(bytes_.data() + position_, buffer, static_cast<std::size_t>(count));
        position_ += count;
    }
    if (numBytesWritten != nullptr) *numBytesWritten = static_cast<std::int32_t>(count);
    return kResultOk;
}

tresult MemoryStream::seek(std::int64_t pos, std::int32_t mode, std::int64_t* result) {
    const auto size = static_cast<std::int64_t>(bytes_.size());
    std::int64_t base = 0;
    switch (mode) {
        case kIBSeekSet: base = 0; break;
        case kIBSeekCur: base = position_; break;
        case kIBSeekEnd: base = size; break;
        default: return kInvalidArgument;
    }
    // Clamp without overflowing on extreme offsets.
    std::int64_t target = 0;
    if (pos > 0)
        target = pos > size - base ? size : base + pos;
    else
        target = pos < -base ? 0 : base + pos;
    position_ = std::clamp<std::int64_t>(target, 0, size);
    if (result != nullptr) *result = position_;
    return kResultOk;
}

tresult MemoryStream::tell(std::int64_t* pos) {
    if (pos != nullptr) *pos = position_;
    return kResultOk;
}

// ParamValueQueue

tresult ParamValueQueue::getPoint(std::int32_t index, std::int32_t* sampleOffset, ParamValue* value) {
    if (index != 0 || points_ != 1) return kInvalidArgument;
    if (sampleOffset != nullptr) *sampleOffset = 0;
    if (value != nullptr) *value = value_;
    return kResultOk;
}

tresult ParamValueQueue::addPoint(std::int32_t, ParamValue value, std::int32_t* index) {
    value_ = value;
    points_ = 1;
    if (index != nullptr) *index = 0;
    return kResultOk;
}

// ParameterChanges

ParameterChanges::ParameterChanges() {
    for (auto& queue : queues_) queue = new ParamValueQueue();
}

ParameterChanges::~ParameterChanges() {
    for (auto* queue : queues_) queue->release();
}

IParamValueQueue* ParameterChanges::getParameterData(std::int32_t index) {
    if (index < 0 || index >= used_) return nullptr;
    return queues_[static_cast<std::size_t>(index)];
}

IParamValueQueue* ParameterChanges::addParameterData(const ParamID* id, std::int32_t* index) {
    if (id == nullptr) return nullptr;
    for (std::int32_t i = 0; i < used_; ++i) {
        if (queues_[static_cast<std::size_t>(i)]->getParameterId() == *id) {
            if (index != nullptr) *index = i;
            return queues_[static_cast<std::size_t>(i)];
        }
    }
    if (used_ >= kQueues) return nullptr;
    ParamValueQueue* queue = queues_[static_cast<std::size_t>(used_)];
    queue->reset(*id);
    if (index != nullptr) *index = used_;
    ++used_;
    return queue;
}

bool ParameterChanges::set_value(ParamID id, ParamValue value) {
    std::int32_t index = 0;
    IParamValueQueue* queue = addParameterData(&id, &index);
    if (queue == nullptr) return false;
    std::int32_t point = 0;
    queue->addPoint(0, value, &point);
    return true;
}

// PlugFrame

PlugFrame::PlugFrame() : main_thread_(std::this_thread::get_id()) {}

PlugFrame::~PlugFrame() { close(); }

tresult PlugFrame::queryInterface(const char* iid, void** obj) {
    void* found = nullptr;
    if (same_uid(iid, kFUnknownIid) || same_uid(iid, kIPlugFrameIid)) {
        found = static_cast<IPlugFrame*>(this);
    } else if (ovplat::kLoopServesPluginViews && same_uid(iid, kIRunLoopIid)) {
        found = static_cast<IRunLoop*>(this);
    } else {
        return kNoInterface;
    }
    if (obj == nullptr) return kInvalidArgument;
    addRef();
    *obj = found;
    return kResultOk;
}

std::uint32_t PlugFrame::release() {
    const std::uint32_t left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
}

tresult PlugFrame::resizeView(IPlugView* view, ViewRect* newSize) {
    if (newSize == nullptr) return kInvalidArgument;
    // Differences in 64 bits: a careless rectangle must not overflow.
    auto extent = [](std::int32_t low, std::int32_t high) {
        return static_cast<std::int32_t>(std::clamp<std::int64_t>(std::int64_t{high} - low, 1, INT32_MAX));
    };
    width_.store(extent(newSize->left, newSize->right));
    height_.store(extent(newSize->top, newSize->bottom));
    pending_.store(true);
    if (view != nullptr) view->onSize(newSize);
    return kResultOk;
}

std::optional<EditorSize> PlugFrame::take_resize() {
    if (!pending_.exchange(false)) return std::nullopt;
    return EditorSize{static_cast<std::uint32_t>(width_.load()), static_cast<std::uint32_t>(height_.load())};
}

bool PlugFrame::accepts_registrations() const {
    return std::this_thread::get_id() == main_thread_ && !closed_ && ovplat::MainLoop::of_current_thread() != nullptr;
}

tresult PlugFrame::registerEventHandler(IEventHandler* handler, int fd) {
    if (handler == nullptr || fd < 0) return kInvalidArgument;
    if (!accepts_registrations()) return kResultFalse;
    for (const auto& watch : watches_)
        if (watch.handler.get() == handler && watch.fd == fd) return kResultOk;  // already watched
    // The handler is kept alive through its own call: it may unregister itself from there.
    const auto source = ovplat::MainLoop::of_current_thread()->add_descriptor(
        fd, ovplat::kDescriptorReadable, [handler](int ready_fd, unsigned) {
            const Ref<IEventHandler> hold = Ref<IEventHandler>::share(handler);
            handler->onFDIsSet(ready_fd);
        });
    if (!source) return kResultFalse;
    watches_.push_back(EventWatch{Ref<IEventHandler>::share(handler), fd, *source});
    return kResultOk;
}

tresult PlugFrame::unregisterEventHandler(IEventHandler* handler) {
    if (handler == nullptr) return kInvalidArgument;
    ovplat::MainLoop* loop = ovplat::MainLoop::of_current_thread();
    if (std::this_thread::get_id() != main_thread_ || loop == nullptr) return kResultFalse;
    // Taken out first: releasing a handler may run plug-in code that calls back here.
    std::vector<EventWatch> gone;
    for (auto it = watches_.begin(); it != watches_.end();) {
        if (it->handler.get() == handler) {
            gone.push_back(std::move(*it));
            it = watches_.erase(it);
        } else {
            ++it;
        }
    }
    for (const auto& watch : gone) loop->remove(watch.source);
    return gone.empty() ? kResultFalse : kResultOk;
}

tresult PlugFrame::registerTimer(ITimerHandler* handler, std::uint64_t milliseconds) {
    if (handler == nullptr) return kInvalidArgument;
    if (!accepts_registrations()) return kResultFalse;
    const auto period = static_cast<std::uint32_t>(std::min<std::uint64_t>(milliseconds, UINT32_MAX));
    const auto source = ovplat::MainLoop::of_current_thread()->add_timer(period, [handler] {
        const Ref<ITimerHandler> hold = Ref<ITimerHandler>::share(handler);
        handler->onTimer();
    });
    if (!source) return kResultFalse;
    timers_.push_back(TimerEntry{Ref<ITimerHandler>::share(handler), *source});
    return kResultOk;
}

tresult PlugFrame::unregisterTimer(ITimerHandler* handler) {
    if (handler == nullptr) return kInvalidArgument;
    ovplat::MainLoop* loop = ovplat::MainLoop::of_current_thread();
    if (std::this_thread::get_id() != main_thread_ || loop == nullptr) return kResultFalse;
    std::vector<TimerEntry> gone;
    for (auto it = timers_.begin(); it != timers_.end();) {
        if (it->handler.get() == handler) {
            gone.push_back(std::move(*it));
            it = timers_.erase(it);
        } else {
            ++it;
        }
    }
    for (const auto& timer : gone) loop->remove(timer.source);
    return gone.empty() ? kResultFalse : kResultOk;
}

void PlugFrame::close() {
    closed_ = true;
    std::vector<EventWatch> watches = std::move(watches_);
    std::vector<TimerEntry> timers = std::move(timers_);
    watches_.clear();
    timers_.clear();
    if (ovplat::MainLoop* loop = ovplat::MainLoop::of_current_thread()) {
        for (const auto& watch : watches) loop->remove(watch.source);
        for (const auto& timer : timers) loop->remove(timer.source);
    }
    // The handlers are released here, after their sources are gone.
}

}  // namespace ovhost::vst3
