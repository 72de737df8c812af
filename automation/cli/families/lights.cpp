// `ovctl lights | osc | reactive ...`: lights, OSC and the audio-reactive feed, whose
// settings Orvia keeps together in its lights settings.
#include "family_functions.h"
#include "validators.h"

#include "../words.h"
#include "ov/text.h"

namespace ovctl::families {
namespace {

Translation lights_setting(std::string path, Json value, std::string text) {
    return confirm("lights.set", {{"path", std::move(path)}, {"value", std::move(value)}}, std::move(text));
}

// A lights setting sent as the third word as typed.
struct TextSetting {
    std::string_view sub;
    std::string_view path;
    std::string_view description;
    std::string_view confirmation;
};

constexpr TextSetting kLightsTexts[] = {
    {"preset", "lights.preset", "voiceGlow, beatFlash, keyColours or muteRed", "Lights preset: {}"},
    {"colour", "lights.colour", "a colour like #ff8800", "Lights colour {}"},
    {"color", "lights.colour", "a colour like #ff8800", "Lights colour {}"},
};

// A setting sent as a number read from the third word.
struct NumberSetting {
    std::string_view path;
    std::string_view description;
    std::string_view confirmation;
};

Result<Translation> number_setting(const Words& words, const NumberSetting& setting) {
    auto value = plain_number_at(words, 2, setting.description);
    if (!value) return value.error();
    return lights_setting(std::string(setting.path), number_json(*value), fill(setting.confirmation, {plain(*value)}));
}

constexpr NumberSetting kBrightness{"lights.brightness", "a brightness 0..1", "Lights brightness {}"};
constexpr NumberSetting kOscRate{"osc.rateHz", "frames a second, 5..60", "OSC out at {} Hz"};
constexpr NumberSetting kReactiveRate{"reactive.rateHz", "frames a second, 10..60", "Reactive feed at {} Hz"};

std::optional<bool> switch_at(const Words& words, std::size_t index) {
    auto word = word_at(words, index);
    return word ? switch_word(*word) : std::nullopt;
}

Result<Translation> lights_hue(const Words& words) {
    const auto action = lower_word_at(words, 2);
    if (action == "discover" || action == "find") return shown_as_json("lights.hue.discover");
    if (action == "refresh") return shown_as_json("lights.hue.refresh");
    if (action == "pair") {
        auto ip = required_word(words, 3, "the bridge's IP address (ovctl lights hue discover)");
        if (!ip) return ip.error();
        return confirm("lights.hue.pair", {{"ip", *ip}}, "Paired with the Hue bridge at " + *ip);
    }
    return usage_error("lights hue discover | pair <ip> | refresh");
}

Result<Translation> osc_targets(const Words& words) {
    if (!word_at(words, 2)) return usage_error("osc target <host:port> [<host:port>...] (none clears)");
    Json targets = Json::array();
    std::string shown;
    for (std::size_t i = 2; i < words.size(); ++i) {
        if (ov::text::ascii_lower(words[i]) == "none") continue;
        if (!shown.empty()) shown += ", ";
        shown += words[i];
        targets.push_back(words[i]);
    }
    auto text = "OSC targets: " + (shown.empty() ? std::string("none") : shown);
    return lights_setting("osc.targets", std::move(targets), std::move(text));
}

}  // namespace

Result<Translation> lights(const Words& words) {
    const auto sub = subcommand(words);
    if (!sub || sub == "state") return shown_as_json("lights.state");
    if (sub == "on") return confirm("lights.toggle", {{"on", true}}, "Lights on");
    if (sub == "off") return confirm("lights.toggle", {{"on", false}}, "Lights off");
    if (sub == "toggle") return confirm("lights.toggle", Json::object(), "Lights toggled");
    for (const auto& setting : kLightsTexts) {
        if (sub != setting.sub) continue;
        auto value = required_word(words, 2, setting.description);
        if (!value) return value.error();
        return lights_setting(std::string(setting.path), *value, fill(setting.confirmation, {*value}));
    }
    if (sub == "brightness") return number_setting(words, kBrightness);
    if (sub == "safe") {
        auto on = switch_at(words, 2);
        if (!on) return usage_error("lights safe on|off");
        return lights_setting("lights.safe", *on,
                              *on ? "Photosensitivity-safe flashes on (at most 3 a second)"
                                  : "Photosensitivity-safe flashes off");
    }
    if (sub == "hue") return lights_hue(words);
    if (sub == "govee") return shown_as_json("lights.govee.discover");
    if (sub == "set") {
        auto path = required_word(words, 2, "a setting, e.g. lights.muteRed, osc.in.port");
        if (!path) return path.error();
        auto value = required_word(words, 3, "a value");
        if (!value) return value.error();
        return lights_setting(*path, json_or_text(*value), fill("{} = {}", {*path, *value}));
    }
    return unknown_subcommand("lights", "state, on, off, toggle, preset, colour, brightness, safe, hue, govee or set",
                              sub);
}

Result<Translation> osc(const Words& words) {
    const auto sub = subcommand(words);
    if (!sub || sub == "state") return shown_as_json("lights.state");
    if (sub == "on" || sub == "off")
        return lights_setting("osc.enabled", sub == "on", sub == "on" ? "OSC out on" : "OSC out off");
    if (sub == "in") {
        auto on = switch_at(words, 2);
        if (!on) return usage_error("osc in on|off");
        return lights_setting("osc.in.enabled", *on, *on ? "OSC in on" : "OSC in off");
    }
    if (sub == "rate") return number_setting(words, kOscRate);
    if (sub == "target" || sub == "targets") return osc_targets(words);
    if (sub == "test") return shown_as_json("osc.test");
    return unknown_subcommand("osc", "state, on, off, target, rate, test or in", sub);
}

Result<Translation> reactive(const Words& words) {
    const auto sub = subcommand(words);
    if (!sub || sub == "frame") return shown_as_json("reactive.frame");
    if (sub == "on")
        return lights_setting("reactive.enabled", true, "Reactive feed on (WebSocket clients subscribe to \"reactive\")");
    if (sub == "off") return lights_setting("reactive.enabled", false, "Reactive feed off");
    if (sub == "rate") return number_setting(words, kReactiveRate);
    return unknown_subcommand("reactive", "frame, on, off or rate", sub);
}

}  // namespace ovctl::families
