// `ovctl chop ...` (vocal chop pads) and `ovctl dmca ...` (the DMCA guard).
#include "family_functions.h"
#include "validators.h"

#include "../words.h"
#include "ov/text.h"

namespace ovctl::families {
namespace {

constexpr std::string_view kChopUsage = "chop grab | play <id> [degree] | set <id> <formant|midi|low|high|chop> <value>";

Result<Translation> chop_play(const Words& words) {
    auto id = pad_sound_id_at(words, 2);
    if (!id) return id.error();
    auto degree = scale_degree_at(words, 3);
    if (!degree) return degree.error();
    return confirm("chop.play", {{"id", *id}, {"degree", *degree}},
                   fill("Chop {}, degree {}", {std::to_string(*id), std::to_string(*degree)}));
}

// The parameter word becomes a key beside the pad's id, so it may not be "id" itself:
// that would replace the pad the command is for.
Result<Translation> chop_set(const Words& words) {
    auto id = pad_sound_id_at(words, 2);
    if (!id) return id.error();
    auto parameter = required_word(words, 3, "formant, midi, low, high or chop");
    if (!parameter) return parameter.error();
    auto value = required_word(words, 4, "a value");
    if (!value) return value.error();
    if (*parameter == "id") {
        return usage_error(fill("\"{}\" is not a pad parameter (formant, midi, low, high or chop)", {*parameter}));
    }
    return confirm("chop.set", {{"id", *id}, {*parameter, json_or_text(*value)}},
                   fill("Chop {}: {} = {}", {std::to_string(*id), *parameter, *value}));
}

// recorder, replay and warn: one switch each, named by the subcommand.
constexpr std::string_view kDmcaSwitches[] = {"recorder", "replay", "warn"};

Result<Translation> dmca_output(const Words& words) {
    auto typed = required_word(words, 2, "main, stream or chat");
    if (!typed) return typed.error();
    const auto name = ov::text::ascii_lower(*typed);
    auto on = word_at(words, 3) ? switch_word(*word_at(words, 3)) : std::nullopt;
    if (!on) return usage_error(fill("dmca output {} on|off", {name}));
    return confirm("dmca.set", {{"path", "outputs." + name}, {"value", *on}},
                   fill("DMCA guard {} {}", {*on ? "covers" : "leaves", name}));
}

}  // namespace

Result<Translation> chop(const Words& words) {
    const auto sub = subcommand(words);
    if (sub == "grab") return confirm("chop.grab", Json::object(), "The last phrase is a chop pad now");
    if (sub == "play") return chop_play(words);
    if (sub == "set") return chop_set(words);
    return usage_error(kChopUsage);
}

Result<Translation> dmca(const Words& words) {
    const auto sub = subcommand(words);
    if (!sub || sub == "state") return shown_as_json("dmca.state");
    if (sub == "on") return confirm("dmca.toggle", {{"on", true}}, "DMCA guard on: music is kept off what it covers");
    if (sub == "off") return confirm("dmca.toggle", {{"on", false}}, "DMCA guard off");
    if (sub == "toggle") return confirm("dmca.toggle", Json::object(), "DMCA guard toggled");
    if (sub == "output") return dmca_output(words);
    for (auto setting : kDmcaSwitches) {
        if (sub != setting) continue;
        auto on = word_at(words, 2) ? switch_word(*word_at(words, 2)) : std::nullopt;
        if (!on) return usage_error(fill("dmca {} on|off", {setting}));
        return confirm("dmca.set", {{"path", setting}, {"value", *on}},
                       fill("DMCA guard: {} {}", {setting, *on ? "on" : "off"}));
    }
    return unknown_subcommand("dmca", "state, on, off, toggle, output, recorder, replay or warn", sub);
}

}  // namespace ovctl::families
