#include "formats.h"
#include "rack_rig.h"

#include <gtest/gtest.h>

namespace ovhost {
namespace {

using rig::RackRig;
using rig::slot_json;

ParamInfo gain_param(std::uint32_t id = 0, double value = 0.5) {
    ParamInfo info;
    info.id = id;
    info.name = "Gain";
    info.value = value;
    return info;
}

TEST(Rack, LoadsSlotsAndDescribesThem) {
    RackRig rig(2);
    auto& mono = rig.catalog.define("mono");
    mono.name = "Mono";
    mono.vendor = "Acme";
    mono.latency = 100;
    mono.params = {gain_param(0), gain_param(1)};
    auto& wide = rig.catalog.define("wide");
    wide.inputs = 2;
    wide.outputs = 2;
    wide.latency = 28;
    wide.has_editor = true;

    const auto reply = rig.set_rack({slot_json(3, "mono"), slot_json(9, "wide")});
    EXPECT_EQ(ov::to_compact_json(reply),
              R"({"id":1,"ok":true,"result":[)"
              R"({"adapt":"downmix in, dup out","error":null,"hasEditor":false,"inputs":1,"key":3,"latency":100,"name":"Mono","ok":true,"outputs":1,"params":2,"vendor":"Acme"},)"
              R"({"adapt":"direct","error":null,"hasEditor":true,"inputs":2,"key":9,"latency":28,"name":"Fake","ok":true,"outputs":2,"params":0,"vendor":"Tests"}]})");
    EXPECT_EQ(rig.view.total_latency(), 128u);
    ASSERT_EQ(rig.events("latency").size(), 1u);
    EXPECT_EQ(rig.events("latency")[0], (ov::Json{{"event", "latency"}, {"total", 128}}));
    EXPECT_TRUE(rig::eventually([&] { return rig.catalog.latest("wide")->started == 1; }));
    EXPECT_TRUE(rig::eventually([&] { return rig.view.active() == 1u; }));
}

TEST(Rack, ShowsTheSlotKeyWhileCallingIntoAPlugin) {
    RackRig rig;
    rig.catalog.define("a");
    rig.set_rack({slot_json(7, "a", {{"state", "AQID"}})});
    const auto state = rig.catalog.latest("a");
    EXPECT_EQ(rig.catalog.call_key_at_create["a"], 7);
    // Loading up to the first latency call; the latency update of the hand-over is not.
    EXPECT_EQ(state->keys_seen("load_state"), std::vector<std::int32_t>{7});
    EXPECT_EQ(state->keys_seen("has_editor"), std::vector<std::int32_t>{7});
    EXPECT_EQ(state->keys_seen("params"), std::vector<std::int32_t>{7});
    EXPECT_EQ(state->keys_seen("latency"), (std::vector<std::int32_t>{7, -1}));
    EXPECT_EQ(rig.view.call_slot_key(), -1);

    state->calls.clear();
    rig.request({{"cmd", "params"}, {"key", 7}});
    rig.request({{"cmd", "setParam"}, {"key", 7}, {"param", 0}, {"value", 1.0}});
    rig.request({{"cmd", "getState"}, {"key", 7}});
    rig.request({{"cmd", "getStates"}});
    rig.rack->restart(7);
    EXPECT_EQ(state->keys_seen("params"), std::vector<std::int32_t>{7});
    EXPECT_EQ(state->keys_seen("set_param"), std::vector<std::int32_t>{7});
    EXPECT_EQ(state->keys_seen("save_state"), (std::vector<std::int32_t>{7, 7}));
    EXPECT_EQ(state->keys_seen("reactivate"), std::vector<std::int32_t>{7});
    EXPECT_EQ(state->keys_seen("latency"), std::vector<std::int32_t>{-1});
    EXPECT_EQ(rig.view.call_slot_key(), -1);
}

TEST(Rack, TheSameListReusesEverySlot) {
    RackRig rig;
    auto& a = rig.catalog.define("a");
    a.has_editor = true;
    rig.catalog.define("b");
    const std::vector<ov::Json> slots{slot_json(1, "a", {{"state", "AQID"}}), slot_json(2, "b")};
    rig.set_rack(slots);
    ASSERT_EQ(rig.catalog.latest("a")->load_state_calls, 1);
    ASSERT_TRUE(rig.request({{"cmd", "editor"}, {"key", 1}})["ok"]);

    const auto reply = rig.set_rack(slots);
    ASSERT_TRUE(reply["ok"]);
    EXPECT_EQ(rig.catalog.created("a"), 1);
    EXPECT_EQ(rig.catalog.created("b"), 1);
    EXPECT_EQ(rig.catalog.latest("a")->load_state_calls, 1);  // state only at load
    EXPECT_EQ(rig.windows.alive.size(), 1u);
    EXPECT_TRUE(rig.rack->find(1)->editor.open);
    for (const auto& result : reply["result"]) {
        EXPECT_TRUE(result["ok"]);
        EXPECT_TRUE(result["error"].is_null());
    }
    EXPECT_TRUE(rig::eventually([&] { return rig.catalog.latest("a")->started == 1; }));
}

TEST(Rack, BypassAndFoldChangesReuseTheSlot) {
    RackRig rig(1);
    auto& wide = rig.catalog.define("wide");
    wide.inputs = 2;
    wide.outputs = 2;
    auto first = rig.set_rack({slot_json(1, "wide")});
    EXPECT_EQ(first["result"][0]["adapt"], "dup in, sum out");
    EXPECT_FALSE(rig.rack->find(1)->cells->bypass.load());

    auto second = rig.set_rack({slot_json(1, "wide", {{"bypass", true}, {"fold", "left"}, {"kind", "other"}})});
    EXPECT_EQ(second["result"][0]["adapt"], "dup in, left out");
    EXPECT_EQ(rig.catalog.created("wide"), 1);
    EXPECT_TRUE(rig.rack->find(1)->cells->bypass.load());
    EXPECT_EQ(rig.rack->find(1)->kind, "other");

    auto third = rig.set_rack({slot_json(1, "wide", {{"fold", "LEFT"}})});
    EXPECT_EQ(third["result"][0]["adapt"], "dup in, sum out");
    EXPECT_FALSE(rig.rack->find(1)->cells->bypass.load());
}

TEST(Rack, AnotherPathOrUidReplacesThePluginAndClosesItsEditorSilently) {
    RackRig rig;
    auto& a = rig.catalog.define("a");
    a.has_editor = true;
    rig.catalog.define("b");
    rig.set_rack({slot_json(1, "a")});
    ASSERT_TRUE(rig.request({{"cmd", "editor"}, {"key", 1}})["ok"]);
    const auto old_a = rig.catalog.latest("a");

    const auto reply = rig.set_rack({slot_json(1, "b")});
    EXPECT_TRUE(reply["result"][0]["ok"]);
    EXPECT_FALSE(old_a->instance_alive);
    EXPECT_FALSE(old_a->processor_alive);
    EXPECT_EQ(old_a->close_editor_calls, 1);
    EXPECT_TRUE(rig.windows.alive.empty());
    EXPECT_TRUE(rig.events("editorClosed").empty());
    EXPECT_EQ(rig.rack->find(1)->uid, "b");

    ov::Json moved = slot_json(1, "b");
    moved["path"] = "/elsewhere/b";
    rig.set_rack({moved});
    EXPECT_EQ(rig.catalog.created("b"), 2);
    EXPECT_FALSE(rig.catalog.latest("b") == nullptr);
}

TEST(Rack, UnlistedSlotsAreDroppedAndAnEmptyListEmptiesTheRack) {
    RackRig rig;
    rig.catalog.define("a");
    rig.catalog.define("b");
    rig.set_rack({slot_json(1, "a"), slot_json(2, "b")});
    const auto a = rig.catalog.latest("a");
    rig.set_rack({slot_json(2, "b")});
    EXPECT_FALSE(a->instance_alive);
    EXPECT_FALSE(a->processor_alive);
    EXPECT_EQ(rig.rack->slots().size(), 1u);

    const auto reply = rig.request({{"cmd", "setRack"}, {"id", 2}});
    EXPECT_EQ(ov::to_compact_json(reply), R"({"id":2,"ok":true,"result":[]})");
    EXPECT_TRUE(rig.rack->slots().empty());
    EXPECT_FALSE(rig.catalog.latest("b")->instance_alive);
    EXPECT_EQ(rig.view.total_latency(), 0u);
}

TEST(Rack, AFailedLoadLeavesNoSlotAndTheOthersLoad) {
    RackRig rig(2);
    auto& a = rig.catalog.define("a");
    a.latency = 5;
    const auto reply = rig.set_rack({slot_json(1, "missing"), slot_json(2, "a")});
    EXPECT_EQ(ov::to_compact_json(reply["result"][0]),
              R"({"adapt":"","error":"no fake plugin missing","hasEditor":false,"inputs":0,"key":1,"latency":0,"name":"","ok":false,"outputs":0,"params":0,"vendor":""})");
    EXPECT_TRUE(reply["result"][1]["ok"]);
    EXPECT_EQ(rig.rack->find(1), nullptr);
    EXPECT_EQ(rig.view.call_slot_key(), -1);
    EXPECT_EQ(rig.request({{"cmd", "params"}, {"key", 1}})["error"], "no plugin in slot 1");
}

TEST(Rack, RealFormatsAnswerWithTheirOwnFailures) {
    const auto loader = format_plugin_loader();
    struct Case {
        const char* kind;
        const char* uid;
        const char* error;
    };
    const Case cases[] = {
        {"vst3", "0123456789ABCDEF0123456789ABCDEF", "C:\\fx\\a.vst3 is not a VST3 module (no C:\\fx\\a.vst3)"},
        {"clap", "com.example.x", "C:\\fx\\a.vst3 is not a CLAP file"},
        {"VST3", "x", "unknown plugin format \"VST3\""},
        {"", "x", "unknown plugin format \"\""},
    };
    for (const auto& c : cases) {
        SlotSpec wanted;
        wanted.key = 1;
        wanted.kind = c.kind;
        wanted.path = "C:\\fx\\a.vst3";
        wanted.uid = c.uid;
        EXPECT_EQ(loader(wanted, 1).error(), c.error) << c.kind;
    }
}

TEST(Rack, Vst3ClassIds) {
    const auto bytes = parse_vst3_class_id("0123456789abcdefFEDCBA9876543210");
    ASSERT_TRUE(bytes);
    EXPECT_EQ((*bytes)[0], 0x01);
    EXPECT_EQ((*bytes)[7], 0xEF);
    EXPECT_EQ((*bytes)[8], 0xFE);
    EXPECT_EQ((*bytes)[15], 0x10);
    EXPECT_FALSE(parse_vst3_class_id("0123456789ABCDEF0123456789ABCDE"));    // 31 digits
    EXPECT_FALSE(parse_vst3_class_id("0123456789ABCDEF0123456789ABCDEF0"));  // 33 digits
    EXPECT_FALSE(parse_vst3_class_id("0123456789ABCDEF0123456789ABCDEG"));
    EXPECT_EQ(not_a_vst3_class_id_message("abc"), "\"abc\" is not a VST3 class id");
}

TEST(Rack, RestoresSavedStateOrWarns) {
    RackRig rig;
    rig.catalog.define("a");
    auto& refusing = rig.catalog.define("refusing");
    refusing.load_error = "the plugin refused its saved state";
    const auto reply = rig.set_rack({slot_json(1, "a", {{"state", "AA EC\r\n"}}),
                                     slot_json(2, "a", {{"state", "AA\tEC"}}),
                                     slot_json(3, "refusing", {{"state", "AAAA"}}),
                                     slot_json(4, "a", {{"state", ""}}),
                                     slot_json(5, "a", {{"state", nullptr}})});
    const auto& results = reply["result"];
    EXPECT_TRUE(results[0]["error"].is_null());
    EXPECT_EQ(results[1]["error"], "loaded, but its saved settings were not restored: the plugin state is not valid base64");
    EXPECT_TRUE(results[1]["ok"]);
    EXPECT_EQ(results[2]["error"], "loaded, but its saved settings were not restored: the plugin refused its saved state");
    EXPECT_TRUE(results[2]["ok"]);
    EXPECT_TRUE(results[3]["error"].is_null());
    EXPECT_TRUE(results[4]["error"].is_null());
    EXPECT_EQ(rig.rack->slots().size(), 5u);
    EXPECT_EQ(rig.rack->slots()[0].instance != nullptr, true);
}

TEST(Rack, StateBytesReachThePlugin) {
    RackRig rig;
    rig.catalog.define("a");
    rig.set_rack({slot_json(1, "a", {{"state", "AAEC"}})});
    EXPECT_EQ(rig.catalog.latest("a")->loaded_state, (std::vector<std::uint8_t>{0, 1, 2}));
    rig.set_rack({slot_json(1, "a", {{"state", ""}}), slot_json(2, "a")});
    EXPECT_EQ(rig.catalog.latest("a")->load_state_calls, 0);
}

TEST(Rack, HoldsAtMostEightPlugins) {
    RackRig rig;
    rig.catalog.define("a");
    rig.set_rack({slot_json(1, "a")});
    std::vector<ov::Json> nine;
    for (std::uint32_t key = 0; key < 9; ++key) nine.push_back(slot_json(key, "a"));
    const auto reply = rig.set_rack(nine);
    EXPECT_EQ(ov::to_compact_json(reply), R"({"error":"a rack holds at most 8 plugins","id":1,"ok":false})");
    EXPECT_EQ(rig.catalog.created("a"), 1);
    EXPECT_EQ(rig.rack->slots().size(), 1u);

    nine.erase(nine.end() - 1);
    const auto eight = rig.set_rack(nine);
    EXPECT_TRUE(eight["ok"]);
    EXPECT_EQ(rig.rack->slots().size(), 8u);
}

TEST(Rack, BadSlotsChangeNothing) {
    RackRig rig;
    rig.catalog.define("a");
    rig.set_rack({slot_json(1, "a")});
    const auto reply = rig.set_rack({slot_json(1, "a"), slot_json(2, "a", {{"bypass", 1}})});
    EXPECT_EQ(reply["error"], "bad slots: invalid type: integer `1`, expected a boolean");
    EXPECT_EQ(rig.catalog.created("a"), 1);
    EXPECT_EQ(rig.rack->slots().size(), 1u);
}

TEST(Rack, AKeyGivenTwiceLoadsTwoPluginsAndCommandsFindTheFirst) {
    RackRig rig;
    auto& a = rig.catalog.define("a");
    a.latency = 10;
    auto& b = rig.catalog.define("b");
    b.latency = 20;
    b.params = {gain_param(5)};
    rig.set_rack({slot_json(4, "a")});
    const auto reply = rig.set_rack({slot_json(4, "a"), slot_json(4, "b")});
    ASSERT_TRUE(reply["ok"]);
    // Both results show the latency of the first slot with the key, the one commands address.
    EXPECT_EQ(reply["result"][0]["latency"], 10);
    EXPECT_EQ(reply["result"][1]["latency"], 10);
    EXPECT_EQ(rig.view.total_latency(), 30u);
    EXPECT_EQ(rig.catalog.created("a"), 1);  // the first spec reused the old slot
    EXPECT_EQ(rig.rack->slots().size(), 2u);
    EXPECT_TRUE(rig.request({{"cmd", "params"}, {"key", 4}})["result"].empty());

    // Dropping the duplicate keeps the processor of the slot that stays.
    rig.set_rack({slot_json(4, "a")});
    EXPECT_TRUE(rig.catalog.latest("a")->processor_alive);
    EXPECT_FALSE(rig.catalog.latest("b")->processor_alive);
    EXPECT_TRUE(rig::eventually([&] { return rig.catalog.latest("a")->started == 1; }));
}

// A key given twice: reuse looks at every set-aside slot with the key, and a new plug-in
// replaces one that no later entry still asks for.
TEST(Rack, AKeyGivenTwiceReusesWhicheverSlotHoldsThePlugin) {
    struct Case {
        const char* name;
        std::vector<std::string> before;  // uids of the slots, all with key 5
        std::vector<std::string> after;
        std::map<std::string, int> created;  // instances made in all, per uid
        std::vector<std::string> alive;      // uids whose first instance is still loaded
        std::vector<int> latencies;          // of the results of the second list
    };
    const Case cases[] = {
        {"Swapped", {"a", "b"}, {"b", "a"}, {{"a", 1}, {"b", 1}}, {"a", "b"}, {20, 20}},
        {"Same", {"a", "b"}, {"a", "b"}, {{"a", 1}, {"b", 1}}, {"a", "b"}, {10, 10}},
        {"SecondKept", {"a", "b"}, {"b"}, {{"a", 1}, {"b", 1}}, {"b"}, {20}},
        {"NewFirstReplacesTheUnwanted", {"a", "b"}, {"c", "a"}, {{"a", 1}, {"b", 1}, {"c", 1}}, {"a"}, {30, 30}},
        {"NewReplacesTheFirst", {"a", "b"}, {"c", "b"}, {{"a", 1}, {"b", 1}, {"c", 1}}, {"b"}, {30, 30}},
        {"TwiceTheSame", {"a", "a"}, {"a", "a"}, {{"a", 2}}, {"a"}, {10, 10}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RackRig rig;
        rig.catalog.define("a").latency = 10;
        rig.catalog.define("b").latency = 20;
        rig.catalog.define("c").latency = 30;
        std::vector<ov::Json> before;
        for (const auto& uid : c.before) before.push_back(slot_json(5, uid));
        ASSERT_TRUE(rig.set_rack(before)["ok"]);
        std::vector<ov::Json> after;
        for (const auto& uid : c.after) after.push_back(slot_json(5, uid, {{"state", "AQID"}}));
        const auto reply = rig.set_rack(after);
        ASSERT_TRUE(reply["ok"]);
        for (const auto& [uid, count] : c.created) EXPECT_EQ(rig.catalog.created(uid), count) << uid;
        for (const auto& uid : c.alive) EXPECT_TRUE(rig.catalog.nth(uid, 0)->instance_alive) << uid;
        for (const auto& uid : c.alive) EXPECT_EQ(rig.catalog.nth(uid, 0)->load_state_calls, 0) << uid;
        ASSERT_EQ(reply["result"].size(), c.latencies.size());
        for (std::size_t i = 0; i < c.latencies.size(); ++i) EXPECT_EQ(reply["result"][i]["latency"], c.latencies[i]) << i;
        ASSERT_EQ(rig.rack->slots().size(), c.after.size());
        for (std::size_t i = 0; i < c.after.size(); ++i) EXPECT_EQ(rig.rack->slots()[i].uid, c.after[i]) << i;
    }
}

TEST(Rack, AFailedEntryWithAKeyInTheRackKeepsLatencyZero) {
    RackRig rig;
    rig.catalog.define("a").latency = 10;
    const auto reply = rig.set_rack({slot_json(5, "a"), slot_json(5, "missing")});
    ASSERT_TRUE(reply["ok"]);
    EXPECT_EQ(reply["result"][0]["latency"], 10);
    EXPECT_FALSE(reply["result"][1]["ok"]);
    EXPECT_EQ(reply["result"][1]["latency"], 0);
}

TEST(Rack, LatencyEventOnlyWhenTheTotalChanges) {
    RackRig rig;
    auto& a = rig.catalog.define("a");
    a.latency = 64;
    rig.set_rack({slot_json(1, "a")});
    rig.set_rack({slot_json(1, "a"), slot_json(2, "a")});
    rig.set_rack({slot_json(2, "a"), slot_json(1, "a")});
    const auto events = rig.events("latency");
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0]["total"], 64);
    EXPECT_EQ(events[1]["total"], 128);
    rig.catalog.latest("a")->latency = 4294967295u;  // the total wraps like the field
    rig.rack->update_latency();
    EXPECT_EQ(rig.events("latency").back()["total"], 63);
    EXPECT_EQ(rig.rack->find(2)->cells->latency.load(), 4294967295u);
}

TEST(Rack, RestartReactivatesWhileTheChainIsBack) {
    RackRig rig;
    auto& a = rig.catalog.define("a");
    a.reactivate_error = "the plugin would not activate";
    rig.catalog.define("b");
    rig.set_rack({slot_json(1, "a"), slot_json(12, "b")});
    rig.rack->restart(12);
    EXPECT_EQ(rig.catalog.latest("b")->reactivations, 1);
    EXPECT_EQ(rig.catalog.latest("b")->keys_seen("reactivate"), std::vector<std::int32_t>{12});
    EXPECT_TRUE(rig.events("log").empty());
    rig.rack->restart(1);
    ASSERT_EQ(rig.events("log").size(), 1u);
    EXPECT_EQ(rig.events("log")[0],
              (ov::Json{{"event", "log"}, {"message", "slot 1: restart failed: the plugin would not activate"}}));
    rig.rack->restart(99);  // no such slot: the chain just goes back
    EXPECT_EQ(rig.view.call_slot_key(), -1);
    // The slot whose restart failed stays inactive: its processor is not started again.
    EXPECT_TRUE(rig::eventually([&] { return rig.catalog.latest("b")->started == 1; }));
    EXPECT_EQ(rig.catalog.latest("a")->started, 0);
}

TEST(Rack, AStuckAudioThreadFailsTheCommandAndLeavesTheRackAsItWas) {
    RackRig rig(1, 300);
    rig.catalog.define("a");
    rig.catalog.define("b");
    rig.set_rack({slot_json(1, "a")});
    const auto a = rig.catalog.latest("a");
    a->gate->close();
    // Feed the audio thread a block so that it runs into the closed gate, once it holds the
    // chain (a block published before the chain arrives counts as already seen).
    ASSERT_TRUE(rig::eventually([&] { return rig.view.active() == 1; }));
    rig.view.set_input_seq(rig.view.input_seq() + 1);
    rig.event.set();
    ASSERT_TRUE(rig::eventually([&] { return a->in_gate.load(); }));
    EXPECT_EQ(rig.view.audio_slot_key(), 1);

    const auto reply = rig.set_rack({slot_json(2, "b")});
    EXPECT_EQ(reply["error"], "the audio thread did not hand the plugins back (a plugin is stuck in its processing)");
    EXPECT_EQ(rig.catalog.created("b"), 0);
    EXPECT_TRUE(a->instance_alive);
    EXPECT_EQ(rig.rack->slots().size(), 1u);

    // Once the plug-in comes back, the late chain is collected and the rack goes on.
    a->gate->open();
    // On a loaded machine the audio thread may need a while to leave the plug-in; the next
    // command's short time-out is meant for the hand-back, not for that.
    ASSERT_TRUE(rig::eventually([&] { return rig.view.audio_slot_key() == -1; }));
    const auto later = rig.set_rack({slot_json(2, "b")});
    EXPECT_TRUE(later["ok"]);
    EXPECT_FALSE(a->instance_alive);
    EXPECT_FALSE(a->processor_alive);
    EXPECT_TRUE(rig::eventually([&] { return rig.catalog.latest("b")->started == 1; }));
}

TEST(Rack, ShutDownClosesEditorsAndDestroysEverything) {
    auto rig = std::make_unique<RackRig>();
    auto& a = rig->catalog.define("a");
    a.has_editor = true;
    rig->set_rack({slot_json(1, "a")});
    rig->request({{"cmd", "editor"}, {"key", 1}});
    const auto state = rig->catalog.latest("a");
    rig->rack->shut_down();
    EXPECT_EQ(state->close_editor_calls, 1);
    EXPECT_TRUE(rig->windows.alive.empty());
    EXPECT_FALSE(state->instance_alive);
    EXPECT_FALSE(state->processor_alive);
    EXPECT_EQ(state->started, 0);
    rig.reset();
}

}  // namespace
}  // namespace ovhost
