#include "main_loop.h"
#include "rack_rig.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>

namespace ovhost {
namespace {

using rig::RackRig;
using rig::slot_json;

// Hands out the given chunks one read at a time, then the end of input.
LineSplitter::ReadBytes chunks_of(std::vector<std::string> chunks) {
    auto queue = std::make_shared<std::deque<std::string>>(chunks.begin(), chunks.end());
    return [queue](char* buffer, std::size_t size) -> std::size_t {
        if (queue->empty()) return 0;
        std::string& front = queue->front();
        const std::size_t count = std::min(size, front.size());
        std::memcpy(buffer, front.data(), count);
        front.erase(0, count);
        if (front.empty()) queue->pop_front();
        return count;
    };
}

std::vector<std::string> all_lines(std::vector<std::string> chunks) {
    LineSplitter splitter(chunks_of(std::move(chunks)));
    std::vector<std::string> lines;
    std::string line;
    while (splitter.next(line)) lines.push_back(line);
    return lines;
}

TEST(InputLines, SplitsAtLineFeedsAndDropsTheCarriageReturnBeforeThem) {
    struct Case {
        std::vector<std::string> chunks;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {{}, {}},
        {{""}, {}},
        {{"a\nb\r\nc"}, {"a", "b", "c"}},
        {{"a\n"}, {"a"}},
        {{"\n\r\n"}, {"", ""}},
        {{"a\rb\n"}, {"a\rb"}},
        {{"a\r\r\n"}, {"a\r"}},
        {{"last\r"}, {"last\r"}},
        {{"OVP {\"cmd\"", ":\"ping\"}\r", "\nOVP 1", "\n"}, {"OVP {\"cmd\":\"ping\"}", "OVP 1"}},
        {{std::string(40000, 'x') + "\n", "y"}, {std::string(40000, 'x'), "y"}},
    };
    for (const auto& c : cases) EXPECT_EQ(all_lines(c.chunks), c.lines);
}

TEST(InputLines, ReaderQueuesLinesWakesForEachAndEndsAtInvalidUtf8) {
    InputQueue queue;
    int wakes = 0;
    LineSplitter splitter(chunks_of({"one\ntwo\r\n\xC3\x28 bad\nafter\n"}));
    read_input_lines(splitter, queue, [&] {
        ++wakes;
        return true;
    });
    std::vector<InputItem> items;
    while (auto item = queue.try_pop()) items.push_back(*item);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].line, "one");
    EXPECT_EQ(items[1].line, "two");
    EXPECT_TRUE(items[2].end);
    EXPECT_EQ(wakes, 3);
}

TEST(InputLines, ReaderEndsAtTheEndOfInputAndStopsWhenNobodyReceives) {
    InputQueue queue;
    LineSplitter splitter(chunks_of({"é\n", "last"}));
    read_input_lines(splitter, queue, [] { return false; });  // failed wake-ups are ignored
    EXPECT_EQ(queue.try_pop()->line, "é");
    EXPECT_EQ(queue.try_pop()->line, "last");
    EXPECT_TRUE(queue.try_pop()->end);

    InputQueue closed;
    closed.close_receiver();
    int reads = 0;
    LineSplitter endless([&](char* buffer, std::size_t) -> std::size_t {
        ++reads;
        buffer[0] = '\n';
        return 1;
    });
    read_input_lines(endless, closed, [] { return true; });
    EXPECT_EQ(reads, 1);
}

TEST(RestartPacer, OneRestartPerKeyAndWindowAndNoRequestLost) {
    constexpr std::uint64_t kWindow = RestartPacer::kWindowMs;
    struct Step {
        std::uint64_t at_ms;
        std::vector<std::uint32_t> requests;  // made just before the look at `at_ms`
        std::vector<std::uint32_t> due;
    };
    const struct {
        const char* name;
        std::vector<Step> steps;
    } cases[] = {
        {"a first request is due at once, in the order asked",
         {{1000, {7, 3, 7}, {7, 3}}, {1001, {}, {}}}},
        {"a request inside the window waits for its end",
         {{1000, {7}, {7}}, {1100, {7}, {}}, {1000 + kWindow - 1, {}, {}}, {1000 + kWindow, {}, {7}},
          {1000 + kWindow + 1, {}, {}}}},
        {"requests inside one window make one restart",
         {{1000, {7}, {7}}, {1020, {7}, {}}, {1040, {7, 7}, {}}, {1600, {7}, {7}}, {1620, {}, {}}}},
        {"each key has its own window",
         {{1000, {7}, {7}}, {1200, {3, 7}, {3}}, {1500, {}, {7}}, {1700, {3}, {3}}}},
        {"after a quiet window a request is due at once again",
         {{1000, {7}, {7}}, {5000, {7}, {7}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RestartPacer pacer;
        for (const auto& step : c.steps) {
            for (const std::uint32_t key : step.requests) pacer.request(key);
            EXPECT_EQ(pacer.take_due(step.at_ms), step.due) << "at " << step.at_ms;
        }
        EXPECT_FALSE(pacer.waiting());
    }
}

class Session : public ::testing::Test {
protected:
    Session()
        : session(*rig.rack, *rig.protocol, [this](const ov::Json& line) { rig.lines.push_back(line); },
                  [this] { return now_ms; }) {}
    std::vector<std::string> lines_since(std::size_t start) const {
        std::vector<std::string> out;
        for (auto i = start; i < rig.lines.size(); ++i) out.push_back(ov::to_compact_json(rig.lines[i]));
        return out;
    }
    std::uint64_t now_ms = 1000;
    RackRig rig;
    RackSession session;
};

TEST_F(Session, HandlesQueuedLinesInOrderUntilQuitOrTheEnd) {
    InputQueue queue;
    queue.push({false, R"(OVP {"cmd":"ping","id":1})"});
    queue.push({false, "noise"});
    queue.push({false, R"(OVP {"cmd":"ping","id":2})"});
    queue.push({false, R"(OVP {"cmd":"quit"})"});
    queue.push({false, R"(OVP {"cmd":"ping","id":3})"});
    const auto start = rig.lines.size();
    EXPECT_EQ(session.handle_queued_input(queue), RackSession::InputState::quit);
    EXPECT_EQ(lines_since(start), (std::vector<std::string>{R"({"id":1,"ok":true,"result":{"pong":true}})",
                                                            R"({"id":2,"ok":true,"result":{"pong":true}})"}));
    EXPECT_EQ(session.handle_queued_input(queue), RackSession::InputState::open);
    EXPECT_EQ(rig.lines.back()["id"], 3);

    queue.push({false, R"(OVP {"cmd":"ping","id":4})"});
    queue.push({true, {}});
    EXPECT_EQ(session.handle_queued_input(queue), RackSession::InputState::ended);
    EXPECT_EQ(rig.lines.back()["id"], 4);  // the reply before the end
}

TEST_F(Session, ParameterChangesCollapseToOneEventPerIdAndPoll) {
    rig.catalog.define("a");
    rig.catalog.define("b");
    rig.set_rack({slot_json(1, "a"), slot_json(2, "b")});
    auto a = rig.catalog.latest("a");
    a->polls.push_back({notice::ParamChanged{7, 0.1}, notice::ParamChanged{3, 0.2}, notice::ParamChanged{7, 0.3},
                        notice::ParamChanged{7, 0.4}, notice::ParamChanged{7, 0.5}, notice::StateDirty{},
                        notice::ParamChanged{3, std::numeric_limits<double>::quiet_NaN()}});
    rig.catalog.latest("b")->polls.push_back({notice::ParamChanged{7, 1.0}});
    const auto start = rig.lines.size();
    session.periodic_work();
    EXPECT_EQ(lines_since(start), (std::vector<std::string>{
                                      R"({"event":"stateDirty","key":1})",
                                      R"({"event":"param","id":7,"key":1,"value":0.5})",
                                      R"({"event":"param","id":3,"key":1,"value":null})",
                                      R"({"event":"param","id":7,"key":2,"value":1.0})",
                                  }));
    const auto quiet = rig.lines.size();
    session.periodic_work();  // nothing new to report
    EXPECT_EQ(rig.lines.size(), quiet);
}

TEST_F(Session, RestartRequestsInARowRestartOnce) {
    rig.catalog.define("a");
    auto& failing = rig.catalog.define("failing");
    failing.reactivate_error = "the plugin would not activate at 48 kHz";
    rig.set_rack({slot_json(1, "a"), slot_json(2, "failing"), slot_json(3, "a")});
    ASSERT_EQ(rig.catalog.created("a"), 2);
    const auto slot1 = rig.catalog.nth("a", 0);
    const auto failing_state = rig.catalog.latest("failing");
    // Slot 1 asks twice in one poll, slot 2 once, slot 3 never.
    slot1->polls.push_back({notice::RestartRequested{}, notice::StateDirty{}, notice::RestartRequested{}});
    failing_state->polls.push_back({notice::RestartRequested{}});
    const auto start = rig.lines.size();
    session.periodic_work();
    EXPECT_EQ(slot1->reactivations, 1);
    EXPECT_EQ(failing_state->reactivations, 1);
    EXPECT_EQ(rig.catalog.nth("a", 1)->reactivations, 0);
    EXPECT_EQ(lines_since(start), (std::vector<std::string>{
                                      R"({"event":"stateDirty","key":1})",
                                      R"({"event":"log","message":"slot 2: restart failed: the plugin would not activate at 48 kHz"})"}));
    // The failed slot stays inactive: its processor is not started again.
    EXPECT_TRUE(rig::eventually([&] { return slot1->started == 1; }));
    EXPECT_EQ(failing_state->started, 0);
}

// A plug-in that asks for a restart at every poll (every 20 ms) is restarted at most once per
// window; the requests in between are carried out at the window's end, and the rest of the
// rack is not stopped for them.
TEST_F(Session, APluginThatKeepsAskingIsRestartedOncePerWindow) {
    rig.catalog.define("a");
    rig.catalog.define("b");
    rig.set_rack({slot_json(1, "a"), slot_json(2, "b")});
    const auto asking = rig.catalog.latest("a");
    const auto quiet = rig.catalog.latest("b");
    std::vector<std::uint64_t> restarted_at;
    for (int tick = 0; tick < 100; ++tick) {  // two seconds of ticks
        asking->polls.push_back({notice::RestartRequested{}});
        const int before = asking->reactivations;
        session.periodic_work();
        if (asking->reactivations != before) restarted_at.push_back(now_ms);
        now_ms += 20;
    }
    EXPECT_EQ(restarted_at, (std::vector<std::uint64_t>{1000, 1500, 2000, 2500}));
    EXPECT_EQ(quiet->reactivations, 0);

    // A last request inside a window, then quiet: it is carried out at the window's end.
    asking->polls.push_back({notice::RestartRequested{}});
    session.periodic_work();  // at 3000 the window of 2500 is over: at once
    now_ms += 20;
    asking->polls.push_back({notice::RestartRequested{}});
    session.periodic_work();
    const int before = asking->reactivations;
    for (; now_ms < 4000; now_ms += 20) session.periodic_work();
    EXPECT_EQ(asking->reactivations, before + 1);
}

// A slot dropped before its deferred restart came due is not restarted, and the rack is not
// stopped for it.
TEST_F(Session, ADeferredRestartOfADroppedSlotIsForgotten) {
    rig.catalog.define("a");
    rig.set_rack({slot_json(1, "a"), slot_json(2, "a")});
    const auto first = rig.catalog.nth("a", 0);
    first->polls.push_back({notice::RestartRequested{}});
    session.periodic_work();
    first->polls.push_back({notice::RestartRequested{}});
    now_ms += 20;
    session.periodic_work();
    EXPECT_EQ(first->reactivations, 1);
    rig.set_rack({slot_json(2, "a")});
    const auto remaining = rig.catalog.nth("a", 1);
    ASSERT_TRUE(rig::eventually([&] { return remaining->started == 1; }));
    const int starts_before = remaining->start_calls;
    now_ms += 1000;
    session.periodic_work();
    EXPECT_EQ(first->reactivations, 1);
    EXPECT_EQ(remaining->reactivations, 0);
    // Whatever the audio thread was sent before is done once the chain is back.
    ASSERT_TRUE(rig.rack->take_back().ok());
    EXPECT_EQ(remaining->start_calls, starts_before) << "the rack was not stopped for it";
    rig.rack->hand_over();
}

TEST_F(Session, LatencyChangesAreReportedAfterTheNotices) {
    auto& a = rig.catalog.define("a");
    a.latency = 10;
    rig.set_rack({slot_json(1, "a")});
    auto state = rig.catalog.latest("a");
    state->latency = 30;
    state->polls.push_back({notice::LatencyChanged{}, notice::StateDirty{}});
    const auto start = rig.lines.size();
    session.periodic_work();
    EXPECT_EQ(lines_since(start), (std::vector<std::string>{R"({"event":"stateDirty","key":1})",
                                                            R"({"event":"latency","total":30})"}));
    EXPECT_EQ(rig.rack->find(1)->cells->latency.load(), 30u);
    EXPECT_EQ(rig.view.total_latency(), 30u);
}

TEST_F(Session, EditorNoticesAndWindowRequests) {
    auto& a = rig.catalog.define("a");
    a.has_editor = true;
    rig.set_rack({slot_json(1, "a"), slot_json(2, "a")});
    ASSERT_TRUE(rig.request({{"cmd", "editor"}, {"key", 1}})["ok"]);
    ASSERT_TRUE(rig.request({{"cmd", "editor"}, {"key", 2}})["ok"]);
    const WindowHandle window1 = rig.rack->find(1)->editor.window;
    const WindowHandle window2 = rig.rack->find(2)->editor.window;
    const auto slot1_state = rig.catalog.nth("a", 0);
    const auto slot2_state = rig.catalog.nth("a", 1);

    // The plug-in asks for another size: the window follows, the plug-in is not told back.
    slot2_state->polls.push_back({notice::EditorResize{500, 300}});
    session.periodic_work();
    EXPECT_EQ(rig.windows.sizes[window2], (std::pair<std::uint32_t, std::uint32_t>{500, 300}));
    EXPECT_EQ(rig.rack->find(2)->editor.width, 500u);
    // The size the host set comes back from the window: no call.
    rig.windows.resizes.push_back({window2, 500, 300});
    // The user resizes window 1; a window of no slot is skipped.
    rig.windows.resizes.push_back({window1, 640, 410});
    rig.windows.resizes.push_back({reinterpret_cast<WindowHandle>(0x9999), 1, 1});
    session.periodic_work();
    EXPECT_TRUE(slot2_state->resized.empty());
    EXPECT_EQ(slot1_state->resized, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{640, 410}}));
    EXPECT_EQ(rig.rack->find(1)->editor.height, 410u);

    // The user closes window 1: close_editor, destroy, event.
    const auto start = rig.lines.size();
    rig.windows.close_requests = {window1, reinterpret_cast<WindowHandle>(0x9999)};
    session.periodic_work();
    EXPECT_FALSE(rig.rack->find(1)->editor.open);
    EXPECT_EQ(slot1_state->close_editor_calls, 1);
    EXPECT_EQ(rig.windows.alive, std::vector<WindowHandle>{window2});
    // The plug-in closes its own editor: the window goes, close_editor is not called.
    slot2_state->polls.push_back({notice::EditorClosed{}});
    session.periodic_work();
    EXPECT_TRUE(rig.windows.alive.empty());
    EXPECT_EQ(slot2_state->close_editor_calls, 0);
    // Also reported when no window was open.
    slot2_state->polls.push_back({notice::EditorClosed{}, notice::EditorResize{1, 1}});
    session.periodic_work();
    EXPECT_EQ(lines_since(start), (std::vector<std::string>{R"({"event":"editorClosed","key":1})",
                                                            R"({"event":"editorClosed","key":2})",
                                                            R"({"event":"editorClosed","key":2})"}));
    EXPECT_FALSE(rig.rack->find(2)->editor.open);
}

}  // namespace
}  // namespace ovhost
