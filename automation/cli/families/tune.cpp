// `ovctl tune | harmony | doubler | echo ...`: the voice effects that follow the session's
// key and tempo.
#include "family_functions.h"
#include "validators.h"

#include "../words.h"
#include "ov/text.h"

#include <cmath>
#include <span>

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

const NumberSetting* find_setting(std::span<const NumberSetting> table, const std::optional<std::string>& sub) {
    for (const auto& setting : table)
        if (setting.sub == sub) return &setting;
    return nullptr;
}

Result<Translation> send_number(const NumberSetting& setting, const Words& words) {
    auto value = described_number_at(words, 2, setting.description);
    if (!value) return value.error();
    return confirm(std::string(setting.command), {{std::string(setting.key), number_json(*value)}},
                   fill(setting.confirmation, {plain(*value)}));
}

// A family's state, on, off and toggle: `on_off_command` gets `{key: true/false}`.
struct Switches {
    std::string_view state_command;
    std::string_view on_off_command;
    std::string_view key;
    std::string_view toggle_command;
    std::string_view on_text;
    std::string_view off_text;
    std::string_view toggled_text;
};

std::optional<Translation> switch_translation(const Switches& family, const std::optional<std::string>& sub) {
    if (!sub || sub == "state") return shown_as_json(std::string(family.state_command));
    if (sub == "on" || sub == "off") {
        const bool on = sub == "on";
        return confirm(std::string(family.on_off_command), {{std::string(family.key), on}},
                       std::string(on ? family.on_text : family.off_text));
    }
    if (sub == "toggle") return confirm(std::string(family.toggle_command), Json::object(), std::string(family.toggled_text));
    return std::nullopt;
}

// ---- Live Tune ---------------------------------------------------------------------------

constexpr Switches kTuneSwitches{"tune.state", "tune.set", "enabled", "tune.toggle",
                                 "Live Tune on", "Live Tune off", "Live Tune toggled"};

constexpr NumberSetting kTuneNumbers[] = {
    {"tempo", "music.set", "tempo", "the tempo in BPM", "Tempo: {} BPM"},
    {"bpm", "music.set", "tempo", "the tempo in BPM", "Tempo: {} BPM"},
    {"speed", "tune.set", "speedMs", "the retune speed in ms, 0 = hard tune", "Retune speed: {} ms"},
    {"humanize", "tune.set", "humanize", "humanize, 0 to 1", "Humanize: {}"},
    {"mix", "tune.set", "mix", "the mix, 0 to 1", "Mix: {}"},
};

constexpr std::string_view kScaleDescription =
    "the scale (major, minor, harmonicMinor, chromatic, dorian, phrygian, lydian, mixolydian, locrian, "
    "majorPentatonic, minorPentatonic, blues)";

Result<Translation> tune_key(const Words& words) {
    auto note = required_word(words, 2, "the key, e.g. A, C# or Bb");
    if (!note) return note.error();
    Json args = {{"key", *note}};
    if (auto scale = word_at(words, 3)) {
        args["scale"] = std::string(*scale);
        return confirm("music.set", std::move(args), fill("Key: {} {}", {*note, *scale}));
    }
    return confirm("music.set", std::move(args), "Key: " + *note);
}

Result<Translation> tune_formant(const Words& words) {
    auto word = required_word(words, 2, "keep or follow");
    if (!word) return word.error();
    const auto lowered = ov::text::ascii_lower(*word);
    if (lowered == "keep" || lowered == "on") return confirm("tune.set", {{"formant", true}}, "Formants kept");
    if (lowered == "follow" || lowered == "off")
        return confirm("tune.set", {{"formant", false}}, "Formants follow the pitch");
    return usage_error(fill("tune formant takes keep or follow, not \"{}\"", {lowered}));
}

Result<Translation> tune_tuner(const Words& words) {
    auto word = required_word(words, 2, "tune tuner");
    if (!word) return word.error();
    const auto lowered = ov::text::ascii_lower(*word);
    if (lowered == "on" || lowered == "yes" || lowered == "true")
        return confirm("tune.set", {{"tuner", true}}, "Tuner on");
    if (lowered == "off" || lowered == "no" || lowered == "false")
        return confirm("tune.set", {{"tuner", false}}, "Tuner off");
    return not_on_or_off("tune tuner", lowered);
}

Result<Translation> tune_pattern(const Words& words) {
    auto kind = required_word(words, 2,
                              "a pattern (arpUp, arpDown, arpUpDown, trill, trillDown, fifths, octaves, steps) or off");
    if (!kind) return kind.error();
    if (lower_word_at(words, 2) == "off") return confirm("tune.pattern", {{"enabled", false}}, "Pitch pattern off");
    Json args = {{"enabled", true}, {"kind", *kind}};
    if (auto rate = word_at(words, 3)) {
        args["rate"] = std::string(*rate);
        return confirm("tune.pattern", std::move(args), fill("Pitch pattern: {} in {}", {*kind, *rate}));
    }
    return confirm("tune.pattern", std::move(args), "Pitch pattern: " + *kind);
}

// ---- Harmony -----------------------------------------------------------------------------

constexpr Switches kHarmonySwitches{"harmony.state", "harmony.set", "enabled", "harmony.toggle",
                                    "Harmony on", "Harmony off", "Harmony toggled"};

// The number settings of one harmony voice, read from the fifth word.
struct VoiceSetting {
    std::string_view action;
    std::string_view key;
    std::string_view description;
    std::string_view confirmation;  // "{}" is the voice
};

constexpr VoiceSetting kVoiceSettings[] = {
    {"level", "levelDb", "the level in dB", "Harmony voice {}: level set"},
    {"formant", "formant", "the formant shift in semitones", "Harmony voice {}: formant set"},
    {"humanize", "humanize", "humanize, 0 to 1", "Harmony voice {}: humanize set"},
};

Result<Translation> harmony_voice(const Words& words) {
    auto number = described_number_at(words, 2, "the voice, 1 to 4");
    if (!number) return number.error();
    const double value = *number;
    if (!(value >= 1 && value <= 4) || std::floor(value) != value)
        return usage_error("harmony voice takes a voice from 1 to 4");
    const auto voice = static_cast<std::uint64_t>(value);
    const auto voice_text = std::to_string(voice);

    auto action_word = required_word(words, 3, "on, off, interval, level, formant or humanize");
    if (!action_word) return action_word.error();
    const auto action = ov::text::ascii_lower(*action_word);
    if (action == "on" || action == "off") {
        return confirm("harmony.voice", {{"voice", voice}, {"enabled", action == "on"}},
                       fill("Harmony voice {} {}", {voice_text, action}));
    }
    if (action == "interval") {
        auto steps = described_number_at(words, 4, "the interval (scale steps, +2 = a third above)");
        if (!steps) return steps.error();
        Json args = {{"voice", voice}, {"interval", number_json(*steps)}, {"enabled", true}};
        if (auto unit = lower_word_at(words, 5)) args["unit"] = *unit;
        return confirm("harmony.voice", std::move(args),
                       fill("Harmony voice {}: interval {}", {voice_text, plain(*steps)}));
    }
    for (const auto& setting : kVoiceSettings) {
        if (action != setting.action) continue;
        auto setting_value = described_number_at(words, 4, setting.description);
        if (!setting_value) return setting_value.error();
        return confirm("harmony.voice", {{"voice", voice}, {std::string(setting.key), number_json(*setting_value)}},
                       fill(setting.confirmation, {voice_text}));
    }
    return usage_error(fill("harmony voice takes on, off, interval, level, formant or humanize, not \"{}\"", {action}));
}

// ---- Doubler and echo --------------------------------------------------------------------

constexpr Switches kDoublerSwitches{"harmony.state", "doubler.set", "enabled", "doubler.toggle",
                                    "Doubler on", "Doubler off", "Doubler toggled"};

constexpr NumberSetting kDoublerNumbers[] = {
    {"copies", "doubler.set", "copies", "2 or 3 copies", "Doubler: {} copies"},
    {"delay", "doubler.set", "delayMs", "the delay in ms, 10 to 40", "Doubler delay: {} ms"},
    {"detune", "doubler.set", "detuneCents", "the detune in cents, 0 to 25", "Doubler detune: {} cents"},
    {"width", "doubler.set", "width", "the width, 0 to 1", "Doubler width: {}"},
    {"mix", "doubler.set", "mix", "the mix, 0 to 1", "Doubler mix: {}"},
};

constexpr Switches kEchoSwitches{"music.state", "echo.set", "enabled", "echo.toggle",
                                 "Echo on", "Echo off", "Echo toggled"};

constexpr NumberSetting kEchoNumbers[] = {
    {"feedback", "echo.set", "feedback", "the feedback, 0 to 0.9", "Echo feedback: {}"},
    {"tone", "echo.set", "toneHz", "the tone in Hz, 500 to 12000", "Echo tone: {} Hz"},
    {"mix", "echo.set", "mix", "the mix, 0 to 1", "Echo mix: {}"},
};

}  // namespace

Result<Translation> tune(const Words& words) {
    const auto sub = subcommand(words);
    if (auto shown = switch_translation(kTuneSwitches, sub)) return *shown;
    if (sub == "tap") return shown_as(render::ParamValue{"music.tempo"}, "music.tap");
    if (sub == "key") return tune_key(words);
    if (sub == "scale") {
        auto scale = required_word(words, 2, kScaleDescription);
        if (!scale) return scale.error();
        return confirm("music.set", {{"scale", *scale}}, "Scale: " + *scale);
    }
    if (auto setting = find_setting(kTuneNumbers, sub)) return send_number(*setting, words);
    if (sub == "formant" || sub == "formants") return tune_formant(words);
    if (sub == "tuner") return tune_tuner(words);
    if (sub == "pattern") return tune_pattern(words);
    return unknown_subcommand(
        "tune", "state, on, off, toggle, tap, key, scale, tempo, speed, humanize, mix, formant, tuner or pattern", sub);
}

Result<Translation> harmony(const Words& words) {
    const auto sub = subcommand(words);
    if (auto shown = switch_translation(kHarmonySwitches, sub)) return *shown;
    if (sub == "preset") {
        auto name = required_word(words, 2, "a preset (third, fifth, thirdFifth, octaveDown, choir)");
        if (!name) return name.error();
        return confirm("harmony.set", {{"preset", *name}}, "Harmony preset: " + *name);
    }
    if (sub == "voice") return harmony_voice(words);
    return unknown_subcommand("harmony", "state, on, off, toggle, preset or voice", sub);
}

Result<Translation> doubler(const Words& words) {
    const auto sub = subcommand(words);
    if (auto shown = switch_translation(kDoublerSwitches, sub)) return *shown;
    if (auto setting = find_setting(kDoublerNumbers, sub)) return send_number(*setting, words);
    return unknown_subcommand("doubler", "state, on, off, toggle, copies, delay, detune, width or mix", sub);
}

Result<Translation> echo(const Words& words) {
    const auto sub = subcommand(words);
    if (auto shown = switch_translation(kEchoSwitches, sub)) return *shown;
    if (sub == "time" || sub == "division") {
        auto division = required_word(words, 2, "a note value: 1/4, 1/8, 1/8d, 1/8t or 1/16");
        if (!division) return division.error();
        return confirm("echo.set", {{"division", *division}}, "Echo time: " + *division);
    }
    if (auto setting = find_setting(kEchoNumbers, sub)) return send_number(*setting, words);
    return unknown_subcommand("echo", "state, on, off, toggle, time, feedback, tone or mix", sub);
}

}  // namespace ovctl::families
