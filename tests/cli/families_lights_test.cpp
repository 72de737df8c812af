// Lights, OSC and the reactive feed: every row of their tables, the OSC target list, and
// every refusal.
#include "families_cases.h"

namespace ovctl::family_tests {
namespace {

TEST(FamiliesLights, TranslatesEverySubcommand) {
    expect_cases({
        {{"lights"}, "lights.state", "{}", kJson, ""},
        {{"light", "STATE"}, "lights.state", "{}", kJson, ""},
        {{"lights", "on"}, "lights.toggle", R"({"on":true})", kConfirm, "Lights on"},
        {{"lights", "off"}, "lights.toggle", R"({"on":false})", kConfirm, "Lights off"},
        {{"lights", "toggle"}, "lights.toggle", "{}", kConfirm, "Lights toggled"},
        {{"lights", "preset", "beatFlash"}, "lights.set", R"({"path":"lights.preset","value":"beatFlash"})", kConfirm,
         "Lights preset: beatFlash"},
        {{"light", "color", "#ff8800"}, "lights.set", R"({"path":"lights.colour","value":"#ff8800"})", kConfirm,
         "Lights colour #ff8800"},
        {{"lights", "colour", "red"}, "lights.set", R"({"path":"lights.colour","value":"red"})", kConfirm,
         "Lights colour red"},
        {{"lights", "brightness", "0.6"}, "lights.set", R"({"path":"lights.brightness","value":0.6})", kConfirm,
         "Lights brightness 0.6"},
        {{"lights", "safe", "TRUE"}, "lights.set", R"({"path":"lights.safe","value":true})", kConfirm,
         "Photosensitivity-safe flashes on (at most 3 a second)"},
        {{"lights", "safe", "off"}, "lights.set", R"({"path":"lights.safe","value":false})", kConfirm,
         "Photosensitivity-safe flashes off"},
        {{"lights", "hue", "discover"}, "lights.hue.discover", "{}", kJson, ""},
        {{"lights", "hue", "FIND"}, "lights.hue.discover", "{}", kJson, ""},
        {{"lights", "hue", "refresh"}, "lights.hue.refresh", "{}", kJson, ""},
        {{"lights", "hue", "pair", "192.168.1.20"}, "lights.hue.pair", R"({"ip":"192.168.1.20"})", kConfirm,
         "Paired with the Hue bridge at 192.168.1.20"},
        {{"lights", "govee"}, "lights.govee.discover", "{}", kJson, ""},
        {{"lights", "govee", "discover"}, "lights.govee.discover", "{}", kJson, ""},
        {{"lights", "set", "lights.muteRed", "false"}, "lights.set", R"({"path":"lights.muteRed","value":false})",
         kConfirm, "lights.muteRed = false"},
        {{"lights", "set", "osc.in.port", "9000"}, "lights.set", R"({"path":"osc.in.port","value":9000})", kConfirm,
         "osc.in.port = 9000"},
    });
}

TEST(FamiliesLights, RefusesBadWords) {
    const std::string hue_usage = "lights hue discover | pair <ip> | refresh";
    expect_refusals({
        {{"lights", "louder"},
         "lights takes state, on, off, toggle, preset, colour, brightness, safe, hue, govee or set, not \"louder\""},
        {{"lights", "preset"}, "Missing voiceGlow, beatFlash, keyColours or muteRed"},
        {{"lights", "colour"}, "Missing a colour like #ff8800"},
        {{"lights", "color"}, "Missing a colour like #ff8800"},
        {{"lights", "brightness"}, "Missing a brightness 0..1"},
        {{"lights", "brightness", "bright"}, "\"bright\" is not a number"},
        {{"lights", "safe"}, "lights safe on|off"},
        {{"lights", "safe", "yes"}, "lights safe on|off"},
        {{"lights", "hue"}, hue_usage},
        {{"lights", "hue", "connect"}, hue_usage},
        {{"lights", "hue", "pair"}, "Missing the bridge's IP address (ovctl lights hue discover)"},
        {{"lights", "set"}, "Missing a setting, e.g. lights.muteRed, osc.in.port"},
        {{"lights", "set", "lights.muteRed"}, "Missing a value"},
    });
}

TEST(FamiliesOsc, TranslatesEverySubcommand) {
    expect_cases({
        {{"osc"}, "lights.state", "{}", kJson, ""},
        {{"osc", "state"}, "lights.state", "{}", kJson, ""},
        {{"osc", "on"}, "lights.set", R"({"path":"osc.enabled","value":true})", kConfirm, "OSC out on"},
        {{"osc", "OFF"}, "lights.set", R"({"path":"osc.enabled","value":false})", kConfirm, "OSC out off"},
        {{"osc", "in", "on"}, "lights.set", R"({"path":"osc.in.enabled","value":true})", kConfirm, "OSC in on"},
        {{"osc", "in", "False"}, "lights.set", R"({"path":"osc.in.enabled","value":false})", kConfirm, "OSC in off"},
        {{"osc", "rate", "30"}, "lights.set", R"({"path":"osc.rateHz","value":30.0})", kConfirm, "OSC out at 30 Hz"},
        {{"osc", "target", "127.0.0.1:9000", "10.0.0.5:8000"}, "lights.set",
         R"({"path":"osc.targets","value":["127.0.0.1:9000","10.0.0.5:8000"]})", kConfirm,
         "OSC targets: 127.0.0.1:9000, 10.0.0.5:8000"},
        {{"osc", "targets", "NONE"}, "lights.set", R"({"path":"osc.targets","value":[]})", kConfirm,
         "OSC targets: none"},
        {{"osc", "target", "none", "Host:1", "None"}, "lights.set", R"({"path":"osc.targets","value":["Host:1"]})",
         kConfirm, "OSC targets: Host:1"},
        {{"osc", "test"}, "osc.test", "{}", kJson, ""},
    });
}

TEST(FamiliesOsc, RefusesBadWords) {
    expect_refusals({
        {{"osc", "louder"}, "osc takes state, on, off, target, rate, test or in, not \"louder\""},
        {{"osc", "in"}, "osc in on|off"},
        {{"osc", "in", "maybe"}, "osc in on|off"},
        {{"osc", "rate"}, "Missing frames a second, 5..60"},
        {{"osc", "rate", "fast"}, "\"fast\" is not a number"},
        {{"osc", "target"}, "osc target <host:port> [<host:port>...] (none clears)"},
    });
}

TEST(FamiliesReactive, TranslatesEverySubcommand) {
    expect_cases({
        {{"feed"}, "reactive.frame", "{}", kJson, ""},
        {{"reactive", "FRAME"}, "reactive.frame", "{}", kJson, ""},
        {{"reactive", "on"}, "lights.set", R"({"path":"reactive.enabled","value":true})", kConfirm,
         "Reactive feed on (WebSocket clients subscribe to \"reactive\")"},
        {{"reactive", "off"}, "lights.set", R"({"path":"reactive.enabled","value":false})", kConfirm,
         "Reactive feed off"},
        {{"reactive", "rate", "30"}, "lights.set", R"({"path":"reactive.rateHz","value":30.0})", kConfirm,
         "Reactive feed at 30 Hz"},
    });
}

TEST(FamiliesReactive, RefusesBadWords) {
    expect_refusals({
        {{"reactive", "state"}, "reactive takes frame, on, off or rate, not \"state\""},
        {{"reactive", "rate"}, "Missing frames a second, 10..60"},
        {{"reactive", "rate", "x"}, "\"x\" is not a number"},
    });
}

}  // namespace
}  // namespace ovctl::family_tests
