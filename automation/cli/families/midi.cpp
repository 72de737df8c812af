// `ovctl midi ...`: MIDI controllers, their mappings, notes and clock.
#include "family_functions.h"
#include "validators.h"

#include "../words.h"
#include "ov/text.h"

namespace ovctl::families {
namespace {

// The device name is every word between `device` and the last word, which is on or off.
Result<Translation> midi_device(const Words& words) {
    const auto last = words.size() >= 4 ? ov::text::ascii_lower(words.back()) : std::string();
    if (last != "on" && last != "off") return usage_error("midi device <name> on|off");
    std::string name;
    for (std::size_t i = 2; i + 1 < words.size(); ++i) {
        if (i > 2) name += ' ';
        name += words[i];
    }
    return confirm("midi.set", {{"device", name}, {"deviceEnabled", last == "on"}}, fill("{}: {}", {name, last}));
}

Result<Translation> midi_map(const Words& words) {
    auto word = word_at(words, 2);
    if (!word || *word == "list") return shown_as_json("midi.state");
    return usage_error(
        fill("midi map lists the mappings (add them with midi learn or call midi.map), not \"{}\"", {*word}));
}

Result<Translation> midi_learn(const Words& words) {
    auto target = word_at(words, 2);
    if (!target) return usage_error("midi learn <parameter path> | action <name> [press|hold|toggle] | cancel");
    const auto lowered = ov::text::ascii_lower(*target);
    if (lowered == "cancel" || lowered == "stop") return confirm("midi.learn.cancel", Json::object(), "Learn cancelled");
    if (lowered == "action") {
        auto name = required_word(words, 3, "the action's name (ovctl action list)");
        if (!name) return name.error();
        std::string mode = "press";
        if (auto typed = word_at(words, 4)) {
            mode = ov::text::ascii_lower(*typed);
            if (mode != "press" && mode != "hold" && mode != "toggle")
                return usage_error(fill("the press mode is press, hold or toggle, not \"{}\"", {mode}));
        }
        Json action_target = {{"kind", "action"}, {"action", {{"action", *name}}}};
        return confirm("midi.learn", {{"target", std::move(action_target)}, {"mode", mode}},
                       fill("Press a button, pad or key on your controller for {}", {*name}));
    }
    Json param_target = {{"kind", "param"}, {"path", std::string(*target)}};
    return confirm("midi.learn", {{"target", std::move(param_target)}},
                   fill("Move a knob or fader on your controller for {}", {*target}));
}

Result<Translation> midi_notes(const Words& words) {
    auto word = required_word(words, 2, "off, harmony, tune or both");
    if (!word) return word.error();
    const auto to = ov::text::ascii_lower(*word);
    if (to == "off") return confirm("midi.notes", {{"enabled", false}}, "MIDI notes off");
    if (to == "harmony" || to == "tune" || to == "both")
        return confirm("midi.notes", {{"enabled", true}, {"to", to}}, "MIDI notes to " + to);
    return usage_error(fill("midi notes takes off, harmony, tune or both, not \"{}\"", {to}));
}

Result<Translation> midi_clock(const Words& words) {
    auto word = required_word(words, 2, "on or off");
    if (!word) return word.error();
    const auto setting = ov::text::ascii_lower(*word);
    if (setting == "on" || setting == "follow")
        return confirm("midi.clock", {{"follow", true}}, "The tempo follows the MIDI clock");
    if (setting == "off") return confirm("midi.clock", {{"follow", false}}, "The tempo is manual again");
    return not_on_or_off("midi clock", setting);
}

}  // namespace

Result<Translation> midi(const Words& words) {
    const auto sub = subcommand(words);
    if (!sub || sub == "state" || sub == "devices") return shown_as_json("midi.state");
    if (sub == "map" || sub == "mappings") return midi_map(words);
    if (sub == "targets") return shown_as_json("midi.targets");
    if (sub == "on") return confirm("midi.set", {{"enabled", true}}, "MIDI on");
    if (sub == "off") return confirm("midi.set", {{"enabled", false}}, "MIDI off: every port closed");
    if (sub == "device") return midi_device(words);
    if (sub == "unmap") {
        auto id = mapping_id_at(words, 2, "the mapping's id (ovctl midi map)");
        if (!id) return id.error();
        return confirm("midi.unmap", {{"id", *id}}, fill("Mapping {} deleted", {std::to_string(*id)}));
    }
    if (sub == "learn") return midi_learn(words);
    if (sub == "notes") return midi_notes(words);
    if (sub == "clock") return midi_clock(words);
    if (sub == "panic") return confirm("midi.panic", Json::object(), "Every MIDI note off");
    return unknown_subcommand("midi", "state, on, off, device, map, unmap, learn, notes, clock, targets or panic", sub);
}

}  // namespace ovctl::families
