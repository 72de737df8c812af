// `ovctl setup ...` (the audio devices and Orvia's virtual devices) and `ovctl hpcal ...`
// (headphone calibration from an AutoEq profile file).
#include "family_functions.h"
#include "validators.h"

#include "../words.h"
#include "ov/text.h"

namespace ovctl::families {
namespace {

// ---- Audio setup -------------------------------------------------------------------------

Translation setup_report(std::string command, Json args = Json::object()) {
    return shown_as(render::SetupReport{}, std::move(command), std::move(args));
}

Translation setup_setting(std::string path, Json value) {
    return setup_report("audio.setup.set", {{"path", std::move(path)}, {"value", std::move(value)}});
}

// A required on/off word: on or true, off or false.
Result<bool> required_switch_at(const Words& words, std::size_t index) {
    auto word = word_at(words, index);
    auto on = word ? switch_word(*word) : std::nullopt;
    if (!on) return usage_error("say on or off");
    return *on;
}

// A device name: the words from the third on.
struct NamedDevice {
    std::string_view sub;
    std::string_view description;
};

constexpr NamedDevice kNamedDevices[] = {
    {"mic", "your microphone's name"},
    {"headphones", "your headphones' name"},
};

Result<Translation> speakers(const Words& words) {
    if (lower_word_at(words, 2) == "default") {
        bool on = true;
        if (word_at(words, 3)) {
            auto value = required_switch_at(words, 3);
            if (!value) return value.error();
            on = *value;
        }
        return setup_report("audio.setup.speakersDefault", {{"on", on}});
    }
    auto on = required_switch_at(words, 2);
    if (!on) return on.error();
    return setup_setting("speakersMode", *on);
}

Result<Translation> route(const Words& words) {
    auto word = required_word(words, 2, "monitor, speakers or mixer");
    if (!word) return word.error();
    const auto output = ov::text::ascii_lower(*word);
    if (output != "monitor" && output != "speakers" && output != "mixer")
        return usage_error("setup route monitor|speakers|mixer follow|<device>");
    auto target = rest_text(words, 3, "follow or a device name");
    if (!target) return target.error();
    Json value = ov::text::ascii_lower(*target) == "follow" ? Json(nullptr) : Json(*target);
    return setup_setting("route." + output, std::move(value));
}

Result<Translation> test(const Words& words) {
    // An empty third word is a step that is not in the table, not a missing one.
    const auto step = lower_word_at(words, 2);
    if (!step || step == "tone") {
        // Without a device the tone plays on the current headphones.
        const auto device = joined_from(words, 3);
        Json device_value = ov::text::trim(device).empty() ? Json(nullptr) : Json(device);
        return setup_report("audio.setup.test", {{"step", "tone"}, {"device", std::move(device_value)}});
    }
    if (step == "voice") return setup_report("audio.setup.test", {{"step", "voice"}});
    return usage_error(fill("setup test tone [device] | voice, not \"{}\"", {*step}));
}

// ---- Headphone calibration ---------------------------------------------------------------

Result<Translation> import_profile(const Words& words) {
    auto path = required_word(words, 2, "AutoEq's ParametricEQ.txt");
    if (!path) return path.error();
    auto text = file_text(*path);
    if (!text) return text.error();
    auto name = joined_from(words, 3);
    if (name.empty()) name = file_stem(*path);
    return confirm("hpcal.import", {{"text", *text}, {"name", name}},
                   fill("Imported \"{}\" for the speakers output; calibration on", {name}));
}

}  // namespace

Result<Translation> setup(const Words& words) {
    const auto sub = subcommand(words);
    if (!sub || sub == "state") return setup_report("audio.setup.state");
    for (const auto& device : kNamedDevices) {
        if (sub != device.sub) continue;
        auto name = rest_text(words, 2, device.description);
        if (!name) return name.error();
        return setup_setting(std::string(device.sub), *name);
    }
    if (sub == "default") {
        auto on = required_switch_at(words, 2);
        if (!on) return on.error();
        return setup_setting("alsoDefault", *on);
    }
    if (sub == "speakers") return speakers(words);
    if (sub == "route") return route(words);
    if (sub == "test") return test(words);
    if (sub == "name") return setup_report("audio.setup.name");
    if (sub == "restore-names" || sub == "restorenames") return setup_report("audio.setup.restoreNames");
    return unknown_subcommand("setup", "state, mic, headphones, default, speakers, route, test, name or restore-names",
                              sub);
}

Result<Translation> hpcal(const Words& words) {
    const auto sub = subcommand(words);
    if (!sub || sub == "state") return shown_as_json("hpcal.state");
    if (sub == "on") return confirm("hpcal.toggle", {{"on", true}}, "Headphone calibration on");
    if (sub == "off") return confirm("hpcal.toggle", {{"on", false}}, "Headphone calibration off");
    if (sub == "toggle") return confirm("hpcal.toggle", Json::object(), "Headphone calibration toggled");
    if (sub == "import") return import_profile(words);
    if (sub == "remove") return confirm("hpcal.remove", {{"device", joined_from(words, 2)}}, "Profile removed");
    return unknown_subcommand("hpcal", "state, on, off, toggle, import or remove", sub);
}

}  // namespace ovctl::families
