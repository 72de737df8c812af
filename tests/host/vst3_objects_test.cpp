// The objects the host hands to VST3 plug-ins, called through their interfaces as a plug-in
// would.
#include <gtest/gtest.h>

#include <cstring>

#include "vst3/objects.h"

namespace ovhost::vst3 {
namespace {

// Every object answers FUnknown and its own interface, and nothing else.
TEST(Vst3Objects, QueryInterfaceAnswersOnlyFUnknownAndItsOwnId) {
    struct Case {
        const char* name;
        FUnknown* object;
        const Uid* own;
    };
    Ref<HostApplication> host(new HostApplication());
    Ref<Message> message(new Message());
    Ref<AttributeList> list(new AttributeList());
    auto rings = std::make_shared<ParamRings>();
    Ref<ComponentHandler> handler(new ComponentHandler(rings));
    Ref<MemoryStream> stream(new MemoryStream());
    Ref<ParameterChanges> changes(new ParameterChanges());
    Ref<PlugFrame> frame(new PlugFrame());
    const ParamID queued = 1;
    const Case cases[] = {
        {"host application", host.get(), &kIHostApplicationIid},
        {"message", message.get(), &kIMessageIid},
        {"attribute list", list.get(), &kIAttributeListIid},
        {"component handler", handler.get(), &kIComponentHandlerIid},
        {"memory stream", stream.get(), &kIBStreamIid},
        {"parameter changes", changes.get(), &kIParameterChangesIid},
        {"parameter queue", changes->addParameterData(&queued, nullptr), &kIParamValueQueueIid},
        {"plug frame", static_cast<IPlugFrame*>(frame.get()), &kIPlugFrameIid},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const Uid* iid : {&kFUnknownIid, c.own}) {
            void* found = nullptr;
            ASSERT_EQ(c.object->queryInterface(iid->bytes, &found), kResultOk);
            EXPECT_EQ(found, static_cast<void*>(c.object));
            EXPECT_EQ(c.object->release(), 1u);  // the reference queryInterface added
        }
        for (const Uid* other : {&kIPluginBaseIid, &kIEditControllerIid, &kIConnectionPointIid}) {
            void* untouched = reinterpret_cast<void*>(0x1234);
            EXPECT_EQ(c.object->queryInterface(other->bytes, &untouched), kNoInterface);
            EXPECT_EQ(untouched, reinterpret_cast<void*>(0x1234));
        }
        EXPECT_EQ(c.object->addRef(), 2u);
        EXPECT_EQ(c.object->release(), 1u);
    }
}

TEST(Vst3Objects, InterfaceIdsHaveThisSystemsByteOrder) {
    const unsigned char funknown[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
    EXPECT_EQ(std::memcmp(kFUnknownIid.bytes, funknown, 16), 0);
    // IComponent E831FF31-F2D5-4301-928E-BBEE25697802: the first eight bytes differ by system.
    const unsigned char component_linux[16] = {0xE8, 0x31, 0xFF, 0x31, 0xF2, 0xD5, 0x43, 0x01,
                                               0x92, 0x8E, 0xBB, 0xEE, 0x25, 0x69, 0x78, 0x02};
    const unsigned char component_windows[16] = {0x31, 0xFF, 0x31, 0xE8, 0xD5, 0xF2, 0x01, 0x43,
                                                 0x92, 0x8E, 0xBB, 0xEE, 0x25, 0x69, 0x78, 0x02};
    EXPECT_EQ(std::memcmp(kIComponentIid.bytes, kComByteOrder ? component_windows : component_linux, 16), 0);
}

TEST(Vst3Objects, HostApplicationNamesItselfAndMakesMessagesAndLists) {
    Ref<HostApplication> host(new HostApplication());
    char16_t name[128];
    std::fill(std::begin(name), std::end(name), u'x');
    ASSERT_EQ(host->getName(name), kResultOk);
    EXPECT_EQ(std::u16string(name), u"Orvia");

    auto make = [&](const Uid* cid, const Uid* iid, tresult expected) {
        void* obj = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(host->createInstance(cid ? const_cast<char*>(cid->bytes) : nullptr,
                                       iid ? const_cast<char*>(iid->bytes) : nullptr, &obj),
                  expected);
        return static_cast<FUnknown*>(obj);
    };
    struct Case {
        const char* name;
        const Uid* cid;
        const Uid* iid;
        const Uid* answers;  // null: no object
    };
    const Case cases[] = {
        {"message by both ids", &kIMessageIid, &kIMessageIid, &kIMessageIid},
        {"message by cid only", &kIMessageIid, nullptr, &kIMessageIid},
        {"list by cid, FUnknown iid", &kIAttributeListIid, &kFUnknownIid, &kIAttributeListIid},
        {"list by iid only", nullptr, &kIAttributeListIid, &kIAttributeListIid},
        {"message wins over list", &kIAttributeListIid, &kIMessageIid, &kIMessageIid},
        {"unknown class", &kIBStreamIid, &kIBStreamIid, nullptr},
        {"no ids", nullptr, nullptr, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FUnknown* made = make(c.cid, c.iid, c.answers ? kResultOk : kResultFalse);
        if (c.answers == nullptr) {
            EXPECT_EQ(made, nullptr);
            continue;
        }
        ASSERT_NE(made, nullptr);
        void* same = nullptr;
        EXPECT_EQ(made->queryInterface(c.answers->bytes, &same), kResultOk);
        made->release();
        EXPECT_EQ(made->release(), 0u);  // the caller owned the only reference
    }
}

TEST(Vst3Objects, MessagesKeepACopyOfTheirIdAndOneAttributeList) {
    Ref<Message> message(new Message());
    EXPECT_EQ(message->getMessageID(), nullptr);
    {
        std::string id = "hello";
        message->setMessageID(id.c_str());
        id = "other";
    }
    EXPECT_STREQ(message->getMessageID(), "hello");
    message->setMessageID(nullptr);
    EXPECT_EQ(message->getMessageID(), nullptr);
    IAttributeList* attributes = message->getAttributes();
    ASSERT_NE(attributes, nullptr);
    EXPECT_EQ(message->getAttributes(), attributes);
    attributes->setInt("n", 5);
    std::int64_t n = 0;
    EXPECT_EQ(message->getAttributes()->getInt("n", &n), kResultOk);
    EXPECT_EQ(n, 5);
}

TEST(Vst3Objects, AttributeListsKeepOneValueOfOneTypePerId) {
    Ref<AttributeList> list(new AttributeList());
    std::int64_t i = 0;
    double f = 0;
    char16_t text[32] = {};
    const void* data = nullptr;
    std::uint32_t size = 0;

    EXPECT_EQ(list->getInt("missing", &i), kResultFalse);
    EXPECT_EQ(list->setFloat("x", 1.5), kResultOk);
    EXPECT_EQ(list->getInt("x", &i), kResultFalse);
    EXPECT_EQ(list->getFloat("x", &f), kResultOk);
    EXPECT_EQ(f, 1.5);
    EXPECT_EQ(list->setInt("x", -7), kResultOk);
    EXPECT_EQ(list->getFloat("x", &f), kResultFalse);
    EXPECT_EQ(list->getInt("x", &i), kResultOk);
    EXPECT_EQ(i, -7);
    EXPECT_EQ(list->getString("x", text, sizeof text), kResultFalse);
    EXPECT_EQ(list->getBinary("x", &data, &size), kResultFalse);

    // A null id is the empty id.
    EXPECT_EQ(list->setInt(nullptr, 3), kResultOk);
    EXPECT_EQ(list->getInt("", &i), kResultOk);
    EXPECT_EQ(i, 3);

    const unsigned char bytes[] = {1, 2, 3};
    EXPECT_EQ(list->setBinary("b", bytes, 3), kResultOk);
    ASSERT_EQ(list->getBinary("b", &data, &size), kResultOk);
    ASSERT_EQ(size, 3u);
    EXPECT_NE(data, static_cast<const void*>(bytes));  // the list's own copy
    EXPECT_EQ(std::memcmp(data, bytes, 3), 0);
    EXPECT_EQ(list->setBinary("b", nullptr, 9), kResultOk);
    ASSERT_EQ(list->getBinary("b", &data, &size), kResultOk);
    EXPECT_EQ(size, 0u);
}

TEST(Vst3Objects, AttributeStringsAreCutToTheCallersBuffer) {
    Ref<AttributeList> list(new AttributeList());
    const std::u16string twenty = u"abcdefghijklmnopqrst";
    ASSERT_EQ(list->setString("s", twenty.c_str()), kResultOk);
    struct Case {
        std::uint32_t size_in_bytes;
        std::u16string expected;  // what the buffer holds up to its terminator
    };
    const Case cases[] = {
        {10, u"abcd"},
        {42, twenty},
        {100, twenty},
        {2, u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size_in_bytes);
        char16_t buffer[64];
        std::fill(std::begin(buffer), std::end(buffer), u'#');
        ASSERT_EQ(list->getString("s", buffer, c.size_in_bytes), kResultOk);
        EXPECT_EQ(std::u16string(buffer), c.expected);
    }
    // Without room for a terminator nothing is written.
    char16_t one[4] = {u'#', u'#', u'#', 0};
    EXPECT_EQ(list->getString("s", one, 1), kResultOk);
    EXPECT_EQ(std::u16string(one), u"###");
    // A null string is stored as an empty one.
    ASSERT_EQ(list->setString("s", nullptr), kResultOk);
    char16_t buffer[8] = {u'#'};
    ASSERT_EQ(list->getString("s", buffer, sizeof buffer), kResultOk);
    EXPECT_EQ(buffer[0], 0);
}

TEST(Vst3Objects, MemoryStreamsReadWriteAndSeekWithinTheirBytes) {
    Ref<MemoryStream> stream(new MemoryStream(std::vector<std::uint8_t>{1, 2, 3, 4}));
    std::int64_t position = -1;
    struct SeekCase {
        std::int64_t offset;
        std::int32_t mode;
        std::int64_t expected;
    };
    const SeekCase seeks[] = {
        {-5, kIBSeekSet, 0}, {10, kIBSeekEnd, 4}, {-1, kIBSeekEnd, 3}, {-2, kIBSeekCur, 1}, {2, kIBSeekCur, 3},
        {INT64_MAX, kIBSeekCur, 4}, {INT64_MIN, kIBSeekCur, 0}, {2, kIBSeekSet, 2},
    };
    for (const auto& s : seeks) {
        SCOPED_TRACE(s.offset);
        ASSERT_EQ(stream->seek(s.offset, s.mode, &position), kResultOk);
        EXPECT_EQ(position, s.expected);
    }
    EXPECT_EQ(stream->seek(0, 3, &position), kInvalidArgument);
    EXPECT_EQ(stream->tell(&position), kResultOk);
    EXPECT_EQ(position, 2);

    // Writing 3 bytes at position 2 of 4 bytes makes 5.
    std::uint8_t more[3] = {7, 8, 9};
    std::int32_t written = 0;
    ASSERT_EQ(stream->write(more, 3, &written), kResultOk);
    EXPECT_EQ(written, 3);
    EXPECT_EQ(stream->bytes(), (std::vector<std::uint8_t>{1, 2, 7, 8, 9}));
    EXPECT_EQ(stream->write(more, -4, &written), kResultOk);
    EXPECT_EQ(written, 0);

    // Reading stops at the end; negative counts read nothing.
    stream->seek(3, kIBSeekSet, nullptr);
    std::uint8_t got[8] = {};
    std::int32_t read = -1;
    ASSERT_EQ(stream->read(got, 8, &read), kResultOk);
    EXPECT_EQ(read, 2);
    EXPECT_EQ(got[0], 8);
    EXPECT_EQ(got[1], 9);
    ASSERT_EQ(stream->read(got, 8, &read), kResultOk);
    EXPECT_EQ(read, 0);
    stream->seek(0, kIBSeekSet, nullptr);
    ASSERT_EQ(stream->read(got, -1, &read), kResultOk);
    EXPECT_EQ(read, 0);
    EXPECT_EQ(stream->read(got, 1, nullptr), kResultOk);
    EXPECT_EQ(got[0], 1);
}

TEST(Vst3Objects, ParameterChangesHoldSixtyFourQueuesOfOneValueEach) {
    Ref<ParameterChanges> changes(new ParameterChanges());
    EXPECT_EQ(changes->getParameterCount(), 0);
    EXPECT_EQ(changes->getParameterData(0), nullptr);
    std::int32_t index = -1;
    for (ParamID id = 0; id < 64; ++id) {
        IParamValueQueue* queue = changes->addParameterData(&id, &index);
        ASSERT_NE(queue, nullptr);
        EXPECT_EQ(index, static_cast<std::int32_t>(id));
        EXPECT_EQ(queue->getParameterId(), id);
        EXPECT_EQ(queue->getPointCount(), 0);
    }
    const ParamID again = 17, extra = 64;
    EXPECT_EQ(changes->addParameterData(&again, &index), changes->getParameterData(17));
    EXPECT_EQ(index, 17);
    EXPECT_EQ(changes->addParameterData(&extra, &index), nullptr);
    EXPECT_EQ(changes->getParameterCount(), 64);
    EXPECT_EQ(changes->getParameterData(-1), nullptr);
    EXPECT_EQ(changes->getParameterData(64), nullptr);

    IParamValueQueue* queue = changes->getParameterData(3);
    std::int32_t offset = -1;
    double value = -1;
    EXPECT_EQ(queue->getPoint(0, &offset, &value), kInvalidArgument);
    std::int32_t point = -1;
    EXPECT_EQ(queue->addPoint(100, 0.25, &point), kResultOk);
    EXPECT_EQ(point, 0);
    EXPECT_EQ(queue->addPoint(200, 0.75, nullptr), kResultOk);  // the last point wins
    EXPECT_EQ(queue->getPointCount(), 1);
    ASSERT_EQ(queue->getPoint(0, &offset, &value), kResultOk);
    EXPECT_EQ(offset, 0);
    EXPECT_EQ(value, 0.75);
    EXPECT_EQ(queue->getPoint(1, &offset, &value), kInvalidArgument);

    changes->clear();
    EXPECT_EQ(changes->getParameterCount(), 0);
    EXPECT_TRUE(changes->set_value(9, 0.5));
    EXPECT_TRUE(changes->set_value(9, 0.6));
    ASSERT_EQ(changes->getParameterCount(), 1);
    EXPECT_EQ(changes->queue(0).id(), 9u);
    EXPECT_EQ(changes->queue(0).value(), 0.6);
}

TEST(Vst3Objects, ComponentHandlerRecordsEditsRestartsAndDirtyState) {
    auto rings = std::make_shared<ParamRings>();
    Ref<ComponentHandler> handler(new ComponentHandler(rings));
    EXPECT_EQ(handler->beginEdit(4), kResultOk);
    EXPECT_EQ(handler->performEdit(4, 0.5), kResultOk);
    EXPECT_EQ(handler->performEdit(2, 0.25), kResultOk);
    EXPECT_EQ(handler->endEdit(4), kResultOk);
    EXPECT_EQ(handler->restartComponent(kLatencyChanged), kResultOk);
    EXPECT_EQ(handler->restartComponent(kParamValuesChanged), kResultOk);

    const auto first = rings->to_audio.pop();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->id, 4u);
    EXPECT_EQ(rings->to_audio.pop()->id, 2u);
    EXPECT_FALSE(rings->to_audio.pop());
    const auto edits = handler->take_edits();
    ASSERT_EQ(edits.size(), 2u);
    EXPECT_EQ(edits[0], (std::pair<ParamID, ParamValue>{4, 0.5}));
    EXPECT_EQ(edits[1], (std::pair<ParamID, ParamValue>{2, 0.25}));
    EXPECT_TRUE(handler->take_edits().empty());
    EXPECT_EQ(handler->take_restart_flags(), static_cast<std::uint32_t>(kLatencyChanged | kParamValuesChanged));
    EXPECT_EQ(handler->take_restart_flags(), 0u);
    EXPECT_TRUE(handler->take_state_dirty());
    EXPECT_FALSE(handler->take_state_dirty());

    // A full ring drops the edit for the audio side but still reports it.
    for (int i = 0; i < 300; ++i) handler->performEdit(1, 0.1);
    int in_ring = 0;
    while (rings->to_audio.pop()) ++in_ring;
    EXPECT_EQ(in_ring, static_cast<int>(ParamRing::kCapacity));
    EXPECT_EQ(handler->take_edits().size(), 300u);
}

// A view that only records what its frame tells it.
class RecordingView final : public IPlugView {
public:
    tresult queryInterface(const char*, void**) override { return kNoInterface; }
    std::uint32_t addRef() override { return 1; }
    std::uint32_t release() override { return 1; }
    tresult isPlatformTypeSupported(FIDString) override { return kResultOk; }
    tresult attached(void*, FIDString) override { return kResultOk; }
    tresult removed() override { return kResultOk; }
    tresult onWheel(float) override { return kResultOk; }
    tresult onKeyDown(char16_t, std::int16_t, std::int16_t) override { return kResultOk; }
    tresult onKeyUp(char16_t, std::int16_t, std::int16_t) override { return kResultOk; }
    tresult getSize(ViewRect*) override { return kResultOk; }
    tresult onSize(ViewRect* rect) override {
        last = *rect;
        ++calls;
        return kResultOk;
    }
    tresult onFocus(TBool) override { return kResultOk; }
    tresult setFrame(IPlugFrame*) override { return kResultOk; }
    tresult canResize() override { return kResultOk; }
    tresult checkSizeConstraint(ViewRect*) override { return kResultOk; }
    ViewRect last{};
    int calls = 0;
};

TEST(Vst3Objects, PlugFrameRecordsTheSizeAViewAsksFor) {
    Ref<PlugFrame> frame(new PlugFrame());
    RecordingView view;
    EXPECT_FALSE(frame->take_resize());
    EXPECT_EQ(frame->resizeView(&view, nullptr), kInvalidArgument);
    EXPECT_FALSE(frame->take_resize());

    struct Case {
        ViewRect rect;
        std::uint32_t width, height;
    };
    const Case cases[] = {
        {{10, 20, 410, 320}, 400, 300},
        {{5, 5, 5, 4}, 1, 1},
        {{INT32_MIN, 0, INT32_MAX, 10}, INT32_MAX, 10},
    };
    for (const auto& c : cases) {
        ViewRect rect = c.rect;
        ASSERT_EQ(frame->resizeView(&view, &rect), kResultOk);
        EXPECT_EQ(view.last.right, c.rect.right);  // onSize with the rectangle as asked
        const auto size = frame->take_resize();
        ASSERT_TRUE(size);
        EXPECT_EQ(size->width, c.width);
        EXPECT_EQ(size->height, c.height);
        EXPECT_FALSE(frame->take_resize());
    }
    EXPECT_EQ(view.calls, 3);
    ViewRect rect{0, 0, 30, 40};
    EXPECT_EQ(frame->resizeView(nullptr, &rect), kResultOk);
    EXPECT_EQ(frame->take_resize()->height, 40u);
}

TEST(Vst3Objects, TextsFromFixedArrays) {
    const char16_t title[4] = {u'G', 0xD800, u'x', u'y'};  // a lone surrogate, no terminator
    EXPECT_EQ(utf16_text(title, 4), "G\xEF\xBF\xBDxy");
    const char16_t pair[] = {0xD83D, 0xDE00, 0};
    EXPECT_EQ(utf16_text(pair, 128), "\xF0\x9F\x98\x80");
    const char name[6] = {'a', 'b', '\xFF', 'c', 'd', 'e'};
    EXPECT_EQ(fixed_text(name, 6), "ab\xEF\xBF\xBD" "cde");
    EXPECT_EQ(fixed_text(name, 2), "ab");
}

}  // namespace
}  // namespace ovhost::vst3
