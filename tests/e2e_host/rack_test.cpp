// The real ov-pluginhost in rack mode, driven through its mapping, event and pipes.
#include <chrono>

#include "host_fixture.h"

namespace ovtest {
namespace {

using ovstandin::field::kBlockFrames;
namespace field = ovstandin::field;

TEST_F(RackHost, ReadyPingAndHelloIdentifyTheHost) {
    start_rack(2);
    const auto pid = rig_->mapping().u32(field::hostPid);
    EXPECT_NE(pid, 0u);
    EXPECT_EQ((*ready_)["pid"], pid);

    rig_->send_line(R"(OVP {"cmd":"ping","id":7})");
    ASSERT_TRUE(rig_->next_reply(20000));
    EXPECT_EQ(rig_->lines().back().text, R"(OVP {"id":7,"ok":true,"result":{"pong":true}})");

    ov::Json hello = result_of({{"cmd", "hello"}});
    EXPECT_EQ(hello, (ov::Json{{"pid", pid}, {"version", 1}}));
    quit_and_expect_exit();
}

TEST_F(RackHost, EnvelopeEchoesIdsAndRejectsUnknownCommands) {
    start_rack(1);
    struct Case {
        const char* line;
        const char* reply;
    };
    const Case cases[] = {
        {R"(OVP {"cmd":"ping"})", R"(OVP {"id":null,"ok":true,"result":{"pong":true}})"},
        {R"(OVP {"cmd":"ping","id":{"a":[1,"x"]}})", R"(OVP {"id":{"a":[1,"x"]},"ok":true,"result":{"pong":true}})"},
        {R"(OVP {"cmd":"Ping","id":1})", R"(OVP {"error":"unknown command \"Ping\"","id":1,"ok":false})"},
        {R"(OVP {"id":2})", R"(OVP {"error":"unknown command \"\"","id":2,"ok":false})"},
        {"OVP {\"cmd\":\"ping\",\"id\":3}\r", R"(OVP {"id":3,"ok":true,"result":{"pong":true}})"},
        {R"(OVP  {"cmd":"ping","id":4})", R"(OVP {"id":4,"ok":true,"result":{"pong":true}})"},
        {R"(OVP {"cmd":"params","key":2.0,"id":5})", R"(OVP {"error":"missing \"key\"","id":5,"ok":false})"},
        {R"(OVP {"cmd":"params","key":-1,"id":6})", R"(OVP {"error":"missing \"key\"","id":6,"ok":false})"},
        {R"(OVP {"cmd":"getState","key":4294967298,"id":8})", R"(OVP {"error":"no plugin in slot 2","id":8,"ok":false})"},
    };
    for (const auto& c : cases) {
        rig_->send_line(c.line);
        ASSERT_TRUE(rig_->next_reply(20000)) << c.line;
        EXPECT_EQ(rig_->lines().back().text, c.reply) << c.line;
    }

    // Lines that are not protocol requests produce nothing: the next reply is the ping's.
    for (const char* ignored : {"OVP not json", "hello there", "OVP [1,2", "OV"}) rig_->send_line(ignored);
    rig_->send_line(R"(OVP {"cmd":"ping","id":9})");
    ASSERT_TRUE(rig_->next_reply(20000));
    const auto& lines = rig_->lines();
    EXPECT_EQ(lines[lines.size() - 1].text, R"(OVP {"id":9,"ok":true,"result":{"pong":true}})");
    EXPECT_EQ(lines[lines.size() - 2].text, R"(OVP {"error":"no plugin in slot 2","id":8,"ok":false})");
    quit_and_expect_exit();
}

TEST_F(RackHost, EmptyRackPassesAudioThroughWithBookkeeping) {
    start_rack(2);
    const auto processed_before = rig_->mapping().u64(field::blocksProcessed);
    expect_audio(checked_blocks({{1, 0}, {0, 1}}));
    const auto& map = rig_->mapping();
    EXPECT_EQ(map.u64(field::blocksProcessed) - processed_before, 40u);
    EXPECT_EQ(map.u64(field::outputSeq), map.u64(field::inputSeq));
    EXPECT_EQ(map.u32(field::active), 1u);
    EXPECT_EQ(map.i32(field::audioSlotKey), -1);
    const auto now_ms = static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                       std::chrono::system_clock::now().time_since_epoch())
                                                       .count());
    EXPECT_NEAR(static_cast<double>(map.u64(field::heartbeatMs)), static_cast<double>(now_ms), 5000.0);
    quit_and_expect_exit();
}

TEST_F(RackHost, ZeroChannelsInTheMappingMeansOneChannel) {
    start_rack(1, 0);
    ASSERT_TRUE(result_of(set_rack({internal_slot(1, "gain")})).is_array());
    ASSERT_EQ(result_of({{"cmd", "setParam"}, {"key", 1}, {"param", 0}, {"value", 1.0}})["value"], 1.0);
    expect_audio(checked_blocks({{2.0}}));
    quit_and_expect_exit();
}

TEST_F(RackHost, SetRackDescribesSlotsAndAdaptsChannels) {
    struct Case {
        const char* name;
        unsigned channels;
        ov::Json slot;
        const char* adapt;
        std::vector<std::vector<double>> mix;
    };
    const Case cases[] = {
        {"gain mono", 1, internal_slot(1, "gain"), "direct", {{1}}},
        {"stereo in stereo", 2, internal_slot(1, "stereo"), "direct", {{1, 0}, {0, 0.5}}},
        {"mono plug-in in stereo rack", 2, internal_slot(1, "gain"), "downmix in, dup out", {{0.5, 0.5}, {0.5, 0.5}}},
        {"stereo in mono rack, fold left", 1, internal_slot(1, "stereo", {{"fold", "left"}}), "dup in, left out", {{1}}},
        {"stereo in mono rack, fold sum", 1, internal_slot(1, "stereo", {{"fold", "sum"}}), "dup in, sum out", {{0.75}}},
        {"stereo in mono rack, fold LEFT", 1, internal_slot(1, "stereo", {{"fold", "LEFT"}}), "dup in, sum out", {{0.75}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        start_rack(c.channels);
        ov::Json results = result_of(set_rack({c.slot}));
        ASSERT_EQ(results.size(), 1u);
        EXPECT_EQ(results[0]["ok"], true);
        EXPECT_EQ(results[0]["adapt"], c.adapt);
        EXPECT_EQ(results[0]["error"], nullptr);
        EXPECT_EQ(results[0]["vendor"], "Orvia");
        expect_audio(checked_blocks(c.mix));
        quit_and_expect_exit();
    }
}

TEST_F(RackHost, SlotResultsOfAFullRack) {
    start_rack(2);
    ov::Json results = result_of(set_rack({internal_slot(3, "stereo"), internal_slot(1, "delay:300"),
                                           internal_slot(2, "nothing"), {{"key", 4}, {"kind", "vst3"}, {"path", "x.vst3"}, {"uid", "0123"}}}));
    ASSERT_EQ(results.size(), 4u);
    EXPECT_EQ(results[0], (ov::Json{{"adapt", "direct"}, {"error", nullptr}, {"hasEditor", false}, {"inputs", 2},
                                    {"key", 3}, {"latency", 0}, {"name", "Test stereo"}, {"ok", true},
                                    {"outputs", 2}, {"params", 1}, {"vendor", "Orvia"}}));
    EXPECT_EQ(results[1]["name"], "Test delay");
    EXPECT_EQ(results[1]["latency"], 300);
    EXPECT_EQ(results[2], (ov::Json{{"adapt", ""}, {"error", "no internal plugin \"nothing\""}, {"hasEditor", false},
                                    {"inputs", 0}, {"key", 2}, {"latency", 0}, {"name", ""}, {"ok", false},
                                    {"outputs", 0}, {"params", 0}, {"vendor", ""}}));
    EXPECT_EQ(results[3]["ok"], false);
    EXPECT_EQ(rig_->mapping().u32(field::totalLatency), 300u);
    // stereo (left x1, right x0.5), then the mono delay: downmix, delay 300, both channels.
    expect_audio(checked_blocks({{0.5, 0.25}, {0.5, 0.25}}, 300));
    quit_and_expect_exit();
}

TEST_F(RackHost, DelayLatencyIsReportedAndKeptWhenBypassed) {
    start_rack(1);
    ov::Json results = result_of(set_rack({internal_slot(1, "delay:256")}));
    ASSERT_EQ(results[0]["latency"], 256);
    auto latency = rig_->wait_event("latency", 20000);
    ASSERT_TRUE(latency);
    EXPECT_EQ(*latency, (ov::Json{{"event", "latency"}, {"total", 256}}));
    EXPECT_EQ(rig_->mapping().u32(field::totalLatency), 256u);
    expect_audio(checked_blocks({{1}}, 256));

    // Bypassed, the slot is a pure delay of its latency; the total stays, so no event.
    results = result_of(set_rack({internal_slot(1, "delay:256", {{"bypass", true}})}));
    EXPECT_EQ(results[0]["latency"], 256);
    expect_audio(checked_blocks({{1}}, 256));

    // Emptying the rack reports the new total of 0.
    EXPECT_EQ(result_of(set_rack({})), ov::Json::array());
    latency = rig_->wait_event("latency", 20000);
    ASSERT_TRUE(latency);
    EXPECT_EQ((*latency)["total"], 0);
    EXPECT_EQ(rig_->mapping().u32(field::totalLatency), 0u);
    for (const auto& event : rig_->events()) {
        if (event["event"] == "latency") {
            EXPECT_NE(event["total"], 512) << "bypass must not add latency twice";
        }
    }
    quit_and_expect_exit();
}

TEST_F(RackHost, BypassedDelayOfAnotherLatencyDelaysByThatLatency) {
    start_rack(2);
    result_of(set_rack({internal_slot(5, "delay:1000", {{"bypass", true}})}));
    // Both channels go through the slot's delay lines, each by exactly 1000 frames.
    expect_audio(checked_blocks({{1, 0}, {0, 1}}, 1000, 20));
    quit_and_expect_exit();
}

TEST_F(RackHost, ParamsSetParamAndStates) {
    start_rack(1);
    result_of(set_rack({internal_slot(2, "gain"), internal_slot(10, "gain")}));
    ov::Json gain_default = {{"automatable", true}, {"default", 0.5}, {"id", 0},       {"name", "Gain"},
                             {"readOnly", false},   {"steps", 0},     {"text", "1.00"}, {"units", "x"},
                             {"value", 0.5}};
    EXPECT_EQ(result_of({{"cmd", "params"}, {"key", 2}}), ov::Json::array({gain_default}));

    ov::Json changed = result_of({{"cmd", "setParam"}, {"key", 10}, {"param", 0}, {"value", 7}});
    EXPECT_EQ(changed["value"], 1.0);
    EXPECT_EQ(changed["text"], "2.00");
    EXPECT_EQ(error_of({{"cmd", "setParam"}, {"key", 10}, {"param", 3}, {"value", 0.1}}), "no parameter 3");
    EXPECT_EQ(error_of({{"cmd", "setParam"}, {"key", 10}, {"param", 0}}), "missing \"value\"");
    EXPECT_EQ(error_of({{"cmd", "setParam"}, {"key", 10}, {"value", 0.1}}), "missing \"param\"");
    // Every field is checked before the slot is looked up.
    EXPECT_EQ(error_of({{"cmd", "setParam"}, {"key", 7}, {"param", -1}, {"value", 1}}), "missing \"param\"");
    EXPECT_EQ(error_of({{"cmd", "setParam"}, {"key", 7}, {"param", 0}}), "missing \"value\"");
    EXPECT_EQ(error_of({{"cmd", "params"}, {"key", 7}}), "no plugin in slot 7");

    EXPECT_EQ(result_of({{"cmd", "getState"}, {"key", 2}}), (ov::Json{{"state", "AAAAAAAA4D8="}}));
    // Slot keys sort as text: "10" before "2".
    rig_->send_line(R"(OVP {"cmd":"getStates","id":"s"})");
    ASSERT_TRUE(rig_->next_reply(20000));
    EXPECT_EQ(rig_->lines().back().text,
              R"(OVP {"id":"s","ok":true,"result":{"10":"AAAAAAAA8D8=","2":"AAAAAAAA4D8="}})");

    // Both gains in series: slot 2 at unity, slot 10 doubling.
    expect_audio(checked_blocks({{2.0}}));
    quit_and_expect_exit();
}

// A key given twice: every result shows the latency of the first slot with the key, and a
// reordered list reuses both plug-ins, so the state in the list is not applied.
TEST_F(RackHost, AKeyGivenTwice) {
    start_rack(1);
    ov::Json first = result_of(set_rack({internal_slot(5, "delay:10"), internal_slot(5, "delay:20")}));
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[0]["latency"], 10);
    EXPECT_EQ(first[1]["latency"], 10);
    EXPECT_EQ(rig_->mapping().u32(field::totalLatency), 30u);

    const ov::Json loud = {{"state", "AAAAAAAA8D8="}};  // gain 1.0 (x2) if it were applied
    ov::Json swapped = result_of(set_rack({internal_slot(5, "delay:20", loud), internal_slot(5, "delay:10", loud)}));
    ASSERT_EQ(swapped.size(), 2u);
    EXPECT_EQ(swapped[0]["latency"], 20);
    EXPECT_EQ(swapped[1]["latency"], 20);
    EXPECT_EQ(swapped[0]["error"], nullptr);
    EXPECT_EQ(result_of({{"cmd", "getState"}, {"key", 5}}), (ov::Json{{"state", "AAAAAAAA4D8="}}));
    // Both delays in series at unity gain.
    expect_audio(checked_blocks({{1.0}}, 30));

    ov::Json failed = result_of(set_rack({internal_slot(5, "delay:20"), internal_slot(5, "nothing")}));
    EXPECT_EQ(failed[1]["ok"], false);
    EXPECT_EQ(failed[1]["latency"], 0);
    quit_and_expect_exit();
}

TEST_F(RackHost, SavedStateIsRestoredOnLoadOnly) {
    start_rack(1);
    ov::Json results = result_of(set_rack({internal_slot(1, "gain", {{"state", "AAAAAAAA8D8="}}),
                                           internal_slot(2, "gain", {{"state", "AA*A"}}),
                                           internal_slot(3, "gain", {{"state", "AAAA"}})}));
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(results[0]["error"], nullptr);
    EXPECT_EQ(results[1]["ok"], true);
    EXPECT_EQ(results[1]["error"],
              "loaded, but its saved settings were not restored: the plugin state is not valid base64");
    EXPECT_EQ(results[2]["error"], "loaded, but its saved settings were not restored: state is not 8 bytes");
    expect_audio(checked_blocks({{2.0}}));

    // The same list again reuses the slots: a different state is ignored.
    result_of(set_rack({internal_slot(1, "gain", {{"state", "AAAAAAAA4D8="}}), internal_slot(2, "gain"),
                        internal_slot(3, "gain")}));
    EXPECT_EQ(result_of({{"cmd", "getState"}, {"key", 1}})["state"], "AAAAAAAA8D8=");
    quit_and_expect_exit();
}

TEST_F(RackHost, BadSlotListsChangeNothing) {
    start_rack(1);
    result_of(set_rack({internal_slot(1, "delay:64")}));
    const std::string bad_type = error_of(set_rack({internal_slot(1, "gain", {{"bypass", 1}})}));
    EXPECT_EQ(bad_type.rfind("bad slots: invalid type: ", 0), 0u) << bad_type;
    EXPECT_NE(bad_type.find("expected a boolean"), std::string::npos) << bad_type;

    std::vector<ov::Json> nine;
    for (std::uint32_t key = 0; key < 9; ++key) nine.push_back(internal_slot(key, "gain"));
    EXPECT_EQ(error_of(set_rack(nine)), "a rack holds at most 8 plugins");

    // Still the delay of 64 frames.
    EXPECT_EQ(result_of({{"cmd", "params"}, {"key", 1}}).size(), 1u);
    expect_audio(checked_blocks({{1}}, 64));
    quit_and_expect_exit();
}

TEST_F(RackHost, EightGainSlotsFillEverySlotTime) {
    start_rack(2);
    std::vector<ov::Json> slots;
    for (std::uint32_t key = 0; key < 8; ++key) slots.push_back(internal_slot(key, "hang:1"));
    ov::Json results = result_of(set_rack(slots));
    ASSERT_EQ(results.size(), 8u);
    // Each of these sleeps about a millisecond per block, so every position measures > 0.
    expect_audio(checked_blocks({{0.5, 0.5}, {0.5, 0.5}}, 0, 5));
    for (std::size_t i = 0; i < 8; ++i) EXPECT_GT(rig_->mapping().slot_time_us(i), 0u) << "position " << i;
    EXPECT_GE(rig_->mapping().u32(field::blockTimeUs), 8000u);
    quit_and_expect_exit();
}

TEST_F(RackHost, LateHostProcessesOnlyTheNewestBlock) {
    start_rack(1);
    result_of(set_rack({internal_slot(4, "hang:1500")}));
    wait_for_chain();
    // While the audio thread sleeps inside block A, three more blocks arrive.
    const std::uint64_t a = rig_->publish_block({});
    ASSERT_TRUE(rig_->wait_mapping([](const ovstandin::MappingView& m) { return m.i32(field::audioSlotKey) == 4; },
                                   20000));
    const auto skipped_before = rig_->mapping().u64(field::blocksSkipped);
    rig_->publish_block({});
    rig_->publish_block({});
    const std::uint64_t d = rig_->publish_block({});
    ASSERT_TRUE(rig_->wait_mapping([&](const ovstandin::MappingView& m) { return m.u64(field::outputSeq) == d; },
                                   20000));
    EXPECT_EQ(rig_->mapping().ring_seq(a), a);
    EXPECT_EQ(rig_->mapping().ring_seq(d), d);
    EXPECT_EQ(rig_->mapping().u64(field::blocksSkipped) - skipped_before, 2u);
    quit_and_expect_exit();
}

TEST_F(RackHost, StuckAudioThreadFailsSetRackAfterFiveSeconds) {
    start_rack(1);
    result_of(set_rack({internal_slot(7, "hang:10000")}));
    wait_for_chain();
    rig_->publish_block({});
    ASSERT_TRUE(rig_->wait_mapping([](const ovstandin::MappingView& m) { return m.i32(field::audioSlotKey) == 7; },
                                   20000));
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(error_of(set_rack({})),
              "the audio thread did not hand the plugins back (a plugin is stuck in its processing)");
    const auto waited = std::chrono::steady_clock::now() - started;
    EXPECT_GE(waited, std::chrono::milliseconds(4500));
    EXPECT_EQ(rig_->mapping().i32(field::audioSlotKey), 7) << "the mapping names the stuck slot";
    // The rack is unchanged: the slot still answers.
    EXPECT_EQ(result_of({{"cmd", "params"}, {"key", 7}}).size(), 1u);
    quit_and_expect_exit();
}

TEST_F(RackHost, QuitEndsWithoutAReply) {
    start_rack(1);
    rig_->send_line(R"(OVP {"cmd":"quit","id":1})");
    auto code = rig_->wait_exit(20000);
    ASSERT_TRUE(code);
    EXPECT_EQ(*code, 0);
    rig_->collect(2000);
    for (const auto& line : rig_->lines()) EXPECT_EQ(line.text.find("\"ok\""), std::string::npos) << line.text;
}

TEST_F(RackHost, EndOfInputEndsTheProcess) {
    start_rack(2);
    result_of(set_rack({internal_slot(1, "gain")}));
    rig_->close_stdin();
    auto code = rig_->wait_exit(20000);
    ASSERT_TRUE(code);
    EXPECT_EQ(*code, 0);
}

TEST_F(RackHost, InvalidUtf8LineEndsInputLikeItsEnd) {
    start_rack(1);
    rig_->send_bytes("OVP {\"cmd\":\"ping\",\"id\":\"\xff\"}\nOVP {\"cmd\":\"ping\",\"id\":2}\n");
    auto code = rig_->wait_exit(20000);
    ASSERT_TRUE(code) << "the host kept running after an invalid line";
    EXPECT_EQ(*code, 0);
    rig_->collect(2000);
    for (const auto& line : rig_->lines()) EXPECT_EQ(line.text.find("pong"), std::string::npos) << line.text;
}

TEST_F(RackHost, InternalPluginsOffWithoutTheVariable) {
    ovstandin::RigOptions options;
    options.host_program = host_program();
    options.environment.unset.push_back("OV_PLUGINHOST_INTERNAL");
    std::string error;
    rig_ = ovstandin::Rig::start(options, error);
    ASSERT_TRUE(rig_) << error;
    ASSERT_TRUE(rig_->wait_event("ready", 30000));
    ov::Json results = result_of(set_rack({internal_slot(1, "gain")}));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0]["ok"], false);
    EXPECT_EQ(results[0]["error"], "internal test plugins are off in this host");
    quit_and_expect_exit();
}

}  // namespace
}  // namespace ovtest
