#include "protocol_lines.h"
#include "rack_rig.h"

#include <gtest/gtest.h>

#include <limits>

namespace ovhost {
namespace {

using rig::RackRig;
using rig::slot_json;

// Sends raw lines and collects the lines written in answer.
struct LineDriver {
    RackRig& rig;
    std::vector<std::string> send(const std::string& line) {
        const auto before = rig.lines.size();
        last_result = rig.protocol->handle_line(line);
        std::vector<std::string> written;
        for (auto i = before; i < rig.lines.size(); ++i) written.push_back(format_line(rig.lines[i]));
        return written;
    }
    RackProtocol::LineResult last_result{};
};

TEST(RackProtocol, EnvelopeAndSimpleCommands) {
    RackRig rig;
    LineDriver driver{rig};
    struct Case {
        const char* line;
        const char* reply;  // nullptr: no output at all
    };
    const Case cases[] = {
        {R"(OVP {"cmd":"ping","id":7})", R"(OVP {"id":7,"ok":true,"result":{"pong":true}})"},
        {"OVP {\"cmd\":\"ping\",\"id\":7}\r\n", R"(OVP {"id":7,"ok":true,"result":{"pong":true}})"},
        {R"(OVP {"cmd":"ping"})", R"(OVP {"id":null,"ok":true,"result":{"pong":true}})"},
        {R"(OVP {"cmd":"ping","id":{"b":[1,"x"],"a":null}})", R"(OVP {"id":{"a":null,"b":[1,"x"]},"ok":true,"result":{"pong":true}})"},
        {R"(OVP {"cmd":"ping","id":[2.5,"s"]})", R"(OVP {"id":[2.5,"s"],"ok":true,"result":{"pong":true}})"},
        {R"(OVP {"cmd":"hello","id":"h"})", R"(OVP {"id":"h","ok":true,"result":{"pid":4242,"version":1}})"},
        {R"(OVP {"cmd":"Ping"})", R"(OVP {"error":"unknown command \"Ping\"","id":null,"ok":false})"},
        {R"(OVP {"id":1})", R"(OVP {"error":"unknown command \"\"","id":1,"ok":false})"},
        {R"(OVP {"cmd":5,"id":1})", R"(OVP {"error":"unknown command \"\"","id":1,"ok":false})"},
        {R"(OVP [1,2])", R"(OVP {"error":"unknown command \"\"","id":null,"ok":false})"},
        {R"(OVP "ping")", R"(OVP {"error":"unknown command \"\"","id":null,"ok":false})"},
        {R"(OVP {"cmd":"QUIT"})", R"(OVP {"error":"unknown command \"QUIT\"","id":null,"ok":false})"},
        {"OVP not json", nullptr},
        {"OVP [1,2", nullptr},
        {R"({"cmd":"ping"})", nullptr},
        {"OV", nullptr},
        {"", nullptr},
    };
    for (const auto& c : cases) {
        const auto written = driver.send(c.line);
        if (c.reply == nullptr) {
            EXPECT_TRUE(written.empty()) << c.line;
        } else {
            EXPECT_EQ(written, std::vector<std::string>{c.reply}) << c.line;
        }
    }
}

TEST(RackProtocol, QuitHasNoReply) {
    RackRig rig;
    LineDriver driver{rig};
    EXPECT_TRUE(driver.send(R"(OVP {"cmd":"quit","id":1})").empty());
    EXPECT_EQ(driver.last_result, RackProtocol::LineResult::quit);
    driver.send(R"(OVP {"cmd":"ping"})");
    EXPECT_EQ(driver.last_result, RackProtocol::LineResult::replied);
    driver.send("hello");
    EXPECT_EQ(driver.last_result, RackProtocol::LineResult::ignored);
}

class RackProtocolWithPlugins : public ::testing::Test {
protected:
    void SetUp() override {
        auto& a = rig.catalog.define("a");
        a.name = "Alpha";
        ParamInfo gain;
        gain.id = 3;
        gain.name = "Gain";
        gain.units = "dB";
        gain.value = 0.25;
        gain.text = "-6.0";
        gain.steps = 0;
        gain.default_value = 0.5;
        gain.automatable = true;
        ParamInfo broken;
        broken.id = 4;
        broken.name = "Mode";
        broken.value = std::numeric_limits<double>::quiet_NaN();
        broken.default_value = std::numeric_limits<double>::infinity();
        broken.steps = -2;
        broken.read_only = true;
        a.params = {gain, broken};
        a.state_bytes = {0, 1};
        auto& mute = rig.catalog.define("mute");
        mute.save_error = "the plugin would not save its state";
        auto& window = rig.catalog.define("window");
        window.name = "Windowed";
        window.has_editor = true;
        window.editor_size = {720, 480};
        auto& refusing = rig.catalog.define("refusing");
        refusing.has_editor = true;
        refusing.editor_error = "the plugin could not open its window";
        ASSERT_TRUE(rig.set_rack({slot_json(2, "a"), slot_json(10, "a"), slot_json(3, "mute"), slot_json(5, "window"), slot_json(6, "refusing")})["ok"]);
    }
    std::string reply(const ov::Json& request) { return ov::to_compact_json(rig.request(request)); }
    RackRig rig;
};

TEST_F(RackProtocolWithPlugins, KeyAndParamFieldRules) {
    struct Case {
        ov::Json request;
        const char* error;  // nullptr: success
    };
    const Case cases[] = {
        {{{"cmd", "params"}}, "missing \"key\""},
        {{{"cmd", "params"}, {"key", 2.0}}, "missing \"key\""},
        {{{"cmd", "params"}, {"key", -2}}, "missing \"key\""},
        {{{"cmd", "params"}, {"key", "2"}}, "missing \"key\""},
        {{{"cmd", "params"}, {"key", nullptr}}, "missing \"key\""},
        {{{"cmd", "params"}, {"key", 7}}, "no plugin in slot 7"},
        {{{"cmd", "params"}, {"key", 4294967298u}}, nullptr},  // 2^32 + 2 is slot 2
        {{{"cmd", "params"}, {"key", 2}}, nullptr},
        {{{"cmd", "setParam"}, {"param", 3}, {"value", 0.5}}, "missing \"key\""},
        {{{"cmd", "setParam"}, {"key", 7}, {"param", 3}, {"value", 0.5}}, "no plugin in slot 7"},
        {{{"cmd", "setParam"}, {"key", 2}, {"value", "x"}}, "missing \"param\""},
        {{{"cmd", "setParam"}, {"key", 2}, {"param", 1.5}, {"value", 0.5}}, "missing \"param\""},
        {{{"cmd", "setParam"}, {"key", 2}, {"param", 3}}, "missing \"value\""},
        {{{"cmd", "setParam"}, {"key", 2}, {"param", 3}, {"value", "0.5"}}, "missing \"value\""},
        {{{"cmd", "setParam"}, {"key", 2}, {"param", 3}, {"value", true}}, "missing \"value\""},
        // Every field error comes before the slot is looked up.
        {{{"cmd", "setParam"}, {"key", 7}, {"param", -1}, {"value", 1}}, "missing \"param\""},
        {{{"cmd", "setParam"}, {"key", 7}, {"param", 3}}, "missing \"value\""},
        {{{"cmd", "setParam"}, {"key", 7}, {"param", 3}, {"value", nullptr}}, "missing \"value\""},
        {{{"cmd", "setParam"}, {"key", -7}, {"param", -1}}, "missing \"key\""},
        {{{"cmd", "setParam"}, {"key", 2}, {"param", 9}, {"value", 1}}, "no parameter 9"},
        {{{"cmd", "setParam"}, {"key", 2}, {"param", 4}, {"value", 1}}, "Mode is read-only"},
        {{{"cmd", "getState"}}, "missing \"key\""},
        {{{"cmd", "getState"}, {"key", 8}}, "no plugin in slot 8"},
        {{{"cmd", "getState"}, {"key", 3}}, "the plugin would not save its state"},
        {{{"cmd", "editor"}, {"key", 1.0}}, "missing \"key\""},
        {{{"cmd", "editor"}, {"key", 8}}, "no plugin in slot 8"},
        {{{"cmd", "editor"}, {"key", 8}, {"open", false}}, "no plugin in slot 8"},
    };
    for (const auto& c : cases) {
        const auto answer = rig.request(c.request);
        if (c.error) {
            EXPECT_EQ(answer["error"], c.error) << c.request.dump();
            EXPECT_FALSE(answer["ok"]) << c.request.dump();
        } else {
            EXPECT_TRUE(answer["ok"]) << c.request.dump() << answer.dump();
        }
    }
}

TEST_F(RackProtocolWithPlugins, ParamsAndSetParam) {
    EXPECT_EQ(reply({{"cmd", "params"}, {"key", 2}, {"id", 1}}),
              R"({"id":1,"ok":true,"result":[)"
              R"({"automatable":true,"default":0.5,"id":3,"name":"Gain","readOnly":false,"steps":0,"text":"-6.0","units":"dB","value":0.25},)"
              R"({"automatable":false,"default":null,"id":4,"name":"Mode","readOnly":true,"steps":-2,"text":"","units":"","value":null}]})");
    EXPECT_EQ(reply({{"cmd", "setParam"}, {"key", 2}, {"param", 3}, {"value", 1}}),
              R"({"id":null,"ok":true,"result":{"automatable":true,"default":0.5,"id":3,"name":"Gain","readOnly":false,"steps":0,"text":"-6.0","units":"dB","value":1.0}})");
    // The low 32 bits of the parameter id.
    EXPECT_EQ(rig.request({{"cmd", "setParam"}, {"key", 2}, {"param", 4294967299u}, {"value", 0.75}})["result"]["value"],
              0.75);
}

TEST_F(RackProtocolWithPlugins, States) {
    EXPECT_EQ(reply({{"cmd", "getState"}, {"key", 10}}), R"({"id":null,"ok":true,"result":{"state":"AAE="}})");
    // Keys sort as text; the plug-in that cannot save is left out.
    EXPECT_EQ(reply({{"cmd", "getStates"}, {"id", 4}}),
              R"({"id":4,"ok":true,"result":{"10":"AAE=","2":"AAE=","5":"AQID","6":"AQID"}})");
    rig.set_rack({});
    EXPECT_EQ(reply({{"cmd", "getStates"}}), R"({"id":null,"ok":true,"result":{}})");
}

TEST_F(RackProtocolWithPlugins, EditorOpenAndClose) {
    EXPECT_EQ(reply({{"cmd", "editor"}, {"key", 2}}),
              R"({"error":"Alpha has no window of its own; use the parameter list","id":null,"ok":false})");
    EXPECT_EQ(reply({{"cmd", "editor"}, {"key", 6}}),
              R"({"error":"the plugin could not open its window","id":null,"ok":false})");
    EXPECT_TRUE(rig.windows.alive.empty());  // the refused window is gone again

    EXPECT_EQ(reply({{"cmd", "editor"}, {"key", 5}, {"open", "no"}, {"owner", 66}, {"x", 10}, {"y", -20}}),
              R"({"id":null,"ok":true,"result":{"height":480,"open":true,"width":720}})");
    ASSERT_EQ(rig.windows.alive.size(), 1u);
    const WindowHandle window = rig.windows.alive[0];
    EXPECT_EQ(rig.windows.titles.back(), "Windowed - Orvia");
    EXPECT_EQ(rig.windows.placements.back().owner, 66);
    EXPECT_EQ(rig.windows.placements.back().x, 10);
    EXPECT_EQ(rig.windows.placements.back().y, -20);
    EXPECT_EQ(rig.windows.sizes[window], (std::pair<std::uint32_t, std::uint32_t>{720, 480}));
    EXPECT_EQ(rig.catalog.latest("window")->keys_seen("open_editor"), std::vector<std::int32_t>{5});

    // Open again: to the front with the stored size, no second window.
    rig.rack->find(5)->editor.width = 800;
    EXPECT_EQ(reply({{"cmd", "editor"}, {"key", 5}, {"open", true}}),
              R"({"id":null,"ok":true,"result":{"height":480,"open":true,"width":800}})");
    EXPECT_EQ(rig.windows.fronted, std::vector<WindowHandle>{window});
    EXPECT_EQ(rig.windows.alive.size(), 1u);

    EXPECT_EQ(reply({{"cmd", "editor"}, {"key", 5}, {"open", false}}), R"({"id":null,"ok":true,"result":{"open":false}})");
    EXPECT_TRUE(rig.windows.alive.empty());
    EXPECT_EQ(rig.catalog.latest("window")->close_editor_calls, 1);
    EXPECT_EQ(reply({{"cmd", "editor"}, {"key", 5}, {"open", false}}), R"({"id":null,"ok":true,"result":{"open":false}})");
    EXPECT_EQ(rig.catalog.latest("window")->close_editor_calls, 1);
    EXPECT_EQ(reply({{"cmd", "editor"}, {"key", 2}, {"open", false}}), R"({"id":null,"ok":true,"result":{"open":false}})");
}

TEST_F(RackProtocolWithPlugins, EditorPlacementRules) {
    struct Case {
        ov::Json fields;
        std::optional<std::int64_t> owner;
        std::optional<std::int32_t> x;
        std::optional<std::int32_t> y;
    };
    const Case cases[] = {
        {ov::Json::object(), std::nullopt, std::nullopt, std::nullopt},
        {{{"owner", 0}}, 0, std::nullopt, std::nullopt},
        {{{"owner", -3}, {"x", 5}}, -3, std::nullopt, std::nullopt},
        {{{"owner", 9223372036854775808u}, {"x", 1}, {"y", 2.0}}, std::nullopt, std::nullopt, std::nullopt},
        {{{"owner", 1.0}, {"x", 4294967297u}, {"y", -1}}, std::nullopt, 1, -1},
        {{{"owner", "7"}, {"x", 2147483648u}, {"y", 9223372036854775807}}, std::nullopt, -2147483647 - 1, -1},
        {{{"x", 9223372036854775808u}, {"y", 0}}, std::nullopt, std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        ov::Json request{{"cmd", "editor"}, {"key", 5}};
        for (auto& [name, value] : c.fields.items()) request[name] = value;
        ASSERT_TRUE(rig.request(request)["ok"]) << request.dump();
        const auto& placement = rig.windows.placements.back();
        EXPECT_EQ(placement.owner, c.owner) << request.dump();
        EXPECT_EQ(placement.x, c.x) << request.dump();
        EXPECT_EQ(placement.y, c.y) << request.dump();
        rig.request({{"cmd", "editor"}, {"key", 5}, {"open", false}});
    }
}

TEST_F(RackProtocolWithPlugins, EditorWindowThatCannotBeCreated) {
    rig.windows.create_error = "could not create the plugin window (Access is denied. (0x80070005))";
    EXPECT_EQ(rig.request({{"cmd", "editor"}, {"key", 5}})["error"],
              "could not create the plugin window (Access is denied. (0x80070005))");
    EXPECT_TRUE(rig.catalog.latest("window")->keys_seen("open_editor").empty());
    EXPECT_FALSE(rig.rack->find(5)->editor.open);
}

TEST(RackProtocol, EditorWindowsNotYetAvailable) {
    auto windows = make_unavailable_editor_windows();
    const auto window = windows->create("x - Orvia", {});
    EXPECT_EQ(window.error(), "could not create the plugin window (editor windows are not available in this host yet)");
}

}  // namespace
}  // namespace ovhost
