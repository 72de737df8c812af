// `ovctl monitorfx | unmask | modulators ...`: the wet monitor, the speakers' voice-band dip
// and the parameter modulators.
#include "family_functions.h"
#include "validators.h"

#include "../words.h"
#include "ov/text.h"

#include <string>

namespace ovctl::families {
namespace {

// A subcommand that sends one number, read from the third word, under one key.
struct NumberSetting {
    std::string_view sub;
    std::string_view command;
    std::string_view key;
    std::string_view description;
    std::string_view confirmation;  // "{}" is the number in its shortest form
};

constexpr NumberSetting kMonitorNumbers[] = {
    {"decay", "monitorFx.reverb", "decay", "the decay in seconds, 0.3 to 6", "Monitor reverb decay: {} s"},
    {"predelay", "monitorFx.reverb", "preDelayMs", "the pre-delay in ms, 0 to 150", "Monitor reverb pre-delay: {} ms"},
    {"feedback", "monitorFx.delay", "feedback", "the delay's feedback, 0 to 0.9", "Monitor delay feedback: {}"},
    {"delaymix", "monitorFx.delay", "mix", "the delay's mix, 0 to 1", "Monitor delay mix: {}"},
};

Result<Translation> monitor_reverb(const Words& words) {
    const auto word = lower_word_at(words, 2);
    if (word == "on" || word == "off") {
        return confirm("monitorFx.reverb", {{"enabled", word == "on"}},
                       word == "on" ? "Monitor reverb on" : "Monitor reverb off");
    }
    auto mix = described_number_at(words, 2, "the reverb's mix, 0 to 1");
    if (!mix) return mix.error();
    return confirm("monitorFx.reverb", {{"enabled", true}, {"mix", number_json(*mix)}},
                   "Monitor reverb mix: " + plain(*mix));
}

Result<Translation> monitor_delay(const Words& words) {
    auto typed = required_word(words, 2, "on, off, slap, a time in ms or a note value");
    if (!typed) return typed.error();
    const auto word = ov::text::ascii_lower(*typed);
    if (word == "on" || word == "off") {
        return confirm("monitorFx.delay", {{"enabled", word == "on"}},
                       word == "on" ? "Monitor delay on" : "Monitor delay off");
    }
    if (word == "slap") {
        return confirm("monitorFx.delay",
                       {{"enabled", true}, {"division", "free"}, {"timeMs", 110}, {"feedback", 0.15}},
                       "Monitor delay: slap-back (110 ms)");
    }
    if (word.starts_with("1/")) {
        return confirm("monitorFx.delay", {{"enabled", true}, {"division", word}},
                       fill("Monitor delay: {} at the session tempo", {word}));
    }
    if (auto ms = parse_decimal(word)) {
        return confirm("monitorFx.delay", {{"enabled", true}, {"division", "free"}, {"timeMs", number_json(*ms)}},
                       fill("Monitor delay: {} ms", {plain(*ms)}));
    }
    return usage_error(fill("monitorfx delay takes on, off, slap, a time in ms or a note value, not \"{}\"", {word}));
}

// ---- Modulators --------------------------------------------------------------------------

constexpr std::string_view kSlotUsage = "modulators <1-8> on | off | lfo|envelope|step <target path> [depth]";

Result<Translation> modulator_slot(const Words& words, std::uint32_t slot) {
    const auto slot_text = std::to_string(slot);
    const auto action = lower_word_at(words, 2);
    if (action == "on" || action == "off") {
        return confirm("modulators.slot", {{"slot", slot}, {"enabled", action == "on"}},
                       fill("Modulator {} {}", {slot_text, *action}));
    }
    if (action != "lfo" && action != "envelope" && action != "step") return usage_error(kSlotUsage);
    const std::string kind = *action;
    auto target = required_word(words, 3, "the parameter it moves, e.g. voice.reverb.wet");
    if (!target) return target.error();
    Json args = {{"slot", slot}, {"enabled", true}, {"kind", kind}, {"target", *target}};
    if (auto depth_word = word_at(words, 4)) {
        auto amount = depth(*depth_word);
        if (!amount) return amount.error();
        args["depth"] = number_json(*amount);
    }
    return confirm("modulators.slot", std::move(args), fill("Modulator {}: {} on {}", {slot_text, kind, *target}));
}

}  // namespace

Result<Translation> monitorfx(const Words& words) {
    const auto sub = subcommand(words);
    if (!sub || sub == "state") return shown_as_json("monitorFx.state");
    if (sub == "on") return confirm("monitorFx.set", {{"enabled", true}}, "Wet monitor on");
    if (sub == "off") return confirm("monitorFx.set", {{"enabled", false}}, "Wet monitor off");
    if (sub == "toggle") return confirm("monitorFx.toggle", Json::object(), "Wet monitor toggled");
    if (sub == "to") {
        auto where = required_word(words, 2, "where the wet goes: monitor, record or everything");
        if (!where) return where.error();
        const auto lowered = ov::text::ascii_lower(*where);
        return confirm("monitorFx.set", {{"wetTo", lowered}}, "Wet monitor heard on: " + lowered);
    }
    if (sub == "reverb") return monitor_reverb(words);
    if (sub == "delay") return monitor_delay(words);
    for (const auto& setting : kMonitorNumbers) {
        if (sub != setting.sub) continue;
        auto value = described_number_at(words, 2, setting.description);
        if (!value) return value.error();
        return confirm(std::string(setting.command), {{std::string(setting.key), number_json(*value)}},
                       fill(setting.confirmation, {plain(*value)}));
    }
    return unknown_subcommand("monitorfx",
                              "state, on, off, toggle, to, reverb, decay, predelay, delay, feedback or delaymix", sub);
}

Result<Translation> unmask(const Words& words) {
    const auto sub = subcommand(words);
    if (!sub || sub == "state") return shown_as_json("unmask.state");
    if (sub == "on") return confirm("unmask.set", {{"enabled", true}}, "Unmask on: the voice band dips while you talk");
    if (sub == "off") return confirm("unmask.set", {{"enabled", false}}, "Unmask off");
    if (sub == "toggle") return confirm("unmask.toggle", Json::object(), "Unmask toggled");
    if (sub == "depth") {
        auto dip = described_number_at(words, 2, "the dip in dB, 1 to 18");
        if (!dip) return dip.error();
        return confirm("unmask.set", {{"depthDb", number_json(*dip)}}, fill("Unmask depth: {} dB", {plain(*dip)}));
    }
    if (sub == "band") {
        auto low = described_number_at(words, 2, "the band's bottom in Hz");
        if (!low) return low.error();
        auto high = described_number_at(words, 3, "the band's top in Hz");
        if (!high) return high.error();
        return confirm("unmask.set", {{"lowHz", number_json(*low)}, {"highHz", number_json(*high)}},
                       fill("Unmask band: {}..{} Hz", {plain(*low), plain(*high)}));
    }
    return unknown_subcommand("unmask", "state, on, off, toggle, depth or band", sub);
}

Result<Translation> modulators(const Words& words) {
    const auto sub = subcommand(words);
    if (!sub || sub == "state" || sub == "list") return shown_as_json("modulators.state");
    if (sub == "on") return confirm("modulators.set", {{"enabled", true}}, "Modulators on");
    if (sub == "off")
        return confirm("modulators.set", {{"enabled", false}}, "Modulators off: every parameter back where you set it");
    if (sub == "toggle") return confirm("modulators.toggle", Json::object(), "Modulators toggled");
    if (auto slot = parse_u32(*sub)) return modulator_slot(words, *slot);
    return unknown_subcommand("modulators", "state, on, off, toggle or a slot 1-8", sub);
}

}  // namespace ovctl::families
