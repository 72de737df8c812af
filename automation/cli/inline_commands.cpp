#include "inline_commands.h"

#include "words.h"

#include "ov/text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <string>

namespace ovctl {

namespace {

// ---------------------------------------------------------------------------------------
// Message templates: each "{}" takes the next value, in order.

std::string fill(std::string_view pattern, std::initializer_list<std::string_view> values) {
    std::string out;
    auto next = values.begin();
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '{' && i + 1 < pattern.size() && pattern[i + 1] == '}' && next != values.end()) {
            out += *next++;
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

std::string decimal_text(std::uint64_t value) {
    char buffer[24];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    return std::string(buffer, end);
}

// ---------------------------------------------------------------------------------------
// What one command line holds for an inline handler.

struct Request {
    const GlobalOptions& options;
    const Words& words;
    std::optional<std::string> sub;  // word 1 lower-cased, when present
};

using SpecialFn = TranslatorResult (*)(const Request&);

// How a row's answer is printed; Confirm rows carry their text in the row.
enum class Shown { Status, Mute, Confirm, List, Sounds, Level, Json };

RenderKind render_kind(Shown shown, std::string confirm_text) {
    switch (shown) {
        case Shown::Status: return render::Status{};
        case Shown::Mute: return render::Mute{};
        case Shown::Confirm: return render::Confirm{std::move(confirm_text)};
        case Shown::List: return render::List{};
        case Shown::Sounds: return render::Sounds{};
        case Shown::Level: return render::Level{};
        case Shown::Json: break;
    }
    return render::Json{};
}

// Which word 1 a row answers: none typed, one subcommand, or anything at all.
struct SubMatch {
    enum class Kind { Absent, Word, Any } kind;
    std::string_view word;

    bool matches(const std::optional<std::string>& sub) const {
        switch (kind) {
            case Kind::Absent: return !sub.has_value();
            case Kind::Word: return sub.has_value() && *sub == word;
            case Kind::Any: return true;
        }
        return false;
    }
};

constexpr SubMatch kNoSub{SubMatch::Kind::Absent, {}};
constexpr SubMatch kAnySub{SubMatch::Kind::Any, {}};
constexpr SubMatch sub(std::string_view word) { return {SubMatch::Kind::Word, word}; }

// Where a row takes its one named value from.
enum class NameFrom { Nothing, RestOfWords, Word2 };

struct Row {
    std::string_view command;
    SubMatch match;
    std::string_view api;
    std::string_view fixed_args;  // the arguments as JSON text (before any name is added)
    Shown shown;
    std::string_view confirm;     // the Confirm text; "{}" takes the name
    NameFrom name_from = NameFrom::Nothing;
    std::string_view name_key;
    std::string_view missing;     // description for "Missing {}"
    SpecialFn special = nullptr;  // rows whose words need more than a fixed shape
};

constexpr Row answer(std::string_view command, SubMatch match, std::string_view api,
                     std::string_view args, Shown shown) {
    return {command, match, api, args, shown, {}, NameFrom::Nothing, {}, {}, nullptr};
}

constexpr Row confirm(std::string_view command, SubMatch match, std::string_view api,
                      std::string_view args, std::string_view text) {
    return {command, match, api, args, Shown::Confirm, text, NameFrom::Nothing, {}, {}, nullptr};
}

// A name joined from word 2 on, sent under `key` and repeated in the confirmation.
constexpr Row named(std::string_view command, SubMatch match, std::string_view api, std::string_view key,
                    std::string_view missing, std::string_view text) {
    return {command, match, api, "{}", Shown::Confirm, text, NameFrom::RestOfWords, key, missing, nullptr};
}

// As named, but only word 2, as typed.
constexpr Row one_word(std::string_view command, SubMatch match, std::string_view api, std::string_view key,
                       std::string_view missing, std::string_view text) {
    return {command, match, api, "{}", Shown::Confirm, text, NameFrom::Word2, key, missing, nullptr};
}

constexpr Row special(std::string_view command, SubMatch match, SpecialFn fn) {
    return {command, match, {}, {}, Shown::Json, {}, NameFrom::Nothing, {}, {}, fn};
}

Translation make(RenderKind kind, std::string_view api, Json args) {
    return Translation{std::move(kind), std::string(api), std::move(args)};
}

// ---------------------------------------------------------------------------------------
// Handlers whose words do not fit a fixed row.

TranslatorResult sound_play_or_stop(const Request& request) {
    const bool play = *request.sub == "play";
    Result<std::string> sound = rest_text(request.words, 2, "a sound id or name");
    if (!sound) return sound.error();
    if (const auto id = parse_u32(*sound)) {
        Json args = Json::object();
        args["id"] = *id;
        return make(render::Confirm{fill("{} sound #{}", {play ? "Playing" : "Stopped", decimal_text(*id)})},
                    play ? "sound.play" : "sound.stop", std::move(args));
    }
    return SoundByName{std::move(*sound), play};
}

// "on" or "off" exactly as typed (these switches are case-sensitive).
std::optional<bool> on_off_as_typed(std::string_view word) {
    if (word == "on") return true;
    if (word == "off") return false;
    return std::nullopt;
}

TranslatorResult cohost_mute(const Request& request) {
    Result<std::string> mic_word = required_word(request.words, 2, "the co-host mic number (1 to 4)");
    if (!mic_word) return mic_word.error();
    const auto mic = parse_u64(*mic_word);
    // Orvia checks the range; here only the shape of the number is refused.
    if (!mic) return usage_error("the co-host mic number must be 1 to 4");
    Json args = Json::object();
    args["mic"] = *mic;
    if (request.words.size() > 3) {
        const std::string& state = request.words[3];
        const auto muted = on_off_as_typed(state);
        if (!muted) return usage_error(fill("cohost mute <n> takes on or off, not \"{}\"", {state}));
        args["muted"] = *muted;
    }
    return make(render::Json{}, "cohost.mute", std::move(args));
}

TranslatorResult cohost_automix(const Request& request) {
    Json args = Json::object();
    if (request.words.size() > 2) {
        const std::string& state = request.words[2];
        const auto on = on_off_as_typed(state);
        if (!on) return usage_error(fill("cohost automix takes on or off, not \"{}\"", {state}));
        args["on"] = *on;
    }
    return make(render::Json{}, "cohost.automix", std::move(args));
}

TranslatorResult say(const Request& request) {
    Result<std::string> text = rest_text(request.words, 1, "the text to say, e.g. ovctl say be right back");
    if (!text) return text.error();
    Json args = Json::object();
    args["text"] = *text;
    if (request.options.raw) args["raw"] = true;
    if (request.options.voice) args["voice"] = *request.options.voice;
    return make(render::Confirm{fill("Saying \"{}\"", {*text})}, "speak.say", std::move(args));
}

TranslatorResult action(const Request& request) {
    if (!request.sub || *request.sub == "list") return make(render::Json{}, "action.list", Json::object());
    const std::string& name = request.words[1];
    const GlobalOptions& options = request.options;
    Json args = Json::object();
    args["action"] = name;
    if (options.sound) args["soundId"] = *options.sound;
    if (options.press != Press::Unset) args["pressed"] = options.press == Press::Press;
    if (options.mode) args["mode"] = *options.mode;
    return make(render::Confirm{fill("Ran {}", {name})}, "action.run", std::move(args));
}

// Decimal numbers go out with a fraction (40.0); a value that is not finite goes out as null.
Json decimal_json(double value) {
    if (!std::isfinite(value)) return Json(nullptr);
    return Json(value);
}

TranslatorResult volume(const Request& request) {
    Result<std::string> target = required_word(request.words, 1, "the target: mic, speakers or app:<name>.exe");
    if (!target) return target.error();
    Json args = Json::object();
    args["target"] = *target;
    if (request.words.size() <= 2) return make(render::Level{}, "volume.get", std::move(args));

    const std::string& level = request.words[2];
    if (level == "mute" || level == "unmute") {
        args["mute"] = level == "mute";
        return make(render::Level{}, "volume.mute", std::move(args));
    }
    std::string_view digits = level;
    while (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
    const auto number = parse_decimal_word(digits);
    if (!number) return usage_error(fill("\"{}\" is not a number (use 40, +5 or -5)", {level}));
    // A signed level moves the volume by that much; a plain one sets it.
    const bool relative = level.front() == '+' || level.front() == '-';
    args[relative ? "delta" : "value"] = decimal_json(*number);
    return make(render::Level{}, relative ? "volume.step" : "volume.set", std::move(args));
}

constexpr std::string_view kPathMissing = "the parameter path, e.g. compressor.threshold";

TranslatorResult get(const Request& request) {
    Result<std::string> path = required_word(request.words, 1, kPathMissing);
    if (!path) return path.error();
    return make(render::ParamValue{*path}, "engine.params", Json::object());
}

TranslatorResult set(const Request& request) {
    Result<std::string> path = required_word(request.words, 1, kPathMissing);
    if (!path) return path.error();
    Result<std::string> value = required_word(request.words, 2, "the value");
    if (!value) return value.error();
    Json args = Json::object();
    args["path"] = *path;
    args["value"] = json_or_text(*value);
    return make(render::Confirm{fill("{} = {}", {*path, *value})}, "engine.set", std::move(args));
}

// The name goes into the request line as it is, so anything that would end or split that
// line (space, CR, LF and the other control characters) is refused here.
bool fits_request_line(std::string_view name) {
    return std::none_of(name.begin(), name.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte <= 0x20 || byte == 0x7F;
    });
}

TranslatorResult call(const Request& request) {
    Result<std::string> name = required_word(request.words, 1, "the command name");
    if (!name) return name.error();
    if (!fits_request_line(*name)) return usage_error("The command name cannot contain spaces or control characters");
    if (request.words.size() <= 2) return make(render::Json{}, *name, Json::object());
    ov::JsonParse parsed = ov::parse_json(request.words[2]);
    if (!parsed.value) return usage_error(fill("The arguments must be JSON: {}", {parsed.error}));
    return make(render::Json{}, *name, std::move(*parsed.value));
}

// ---------------------------------------------------------------------------------------
// Every inline command and subcommand, in the order they are tried.

constexpr Row kRows[] = {
    answer("status", kAnySub, "status", "{}", Shown::Status),

    answer("mute", kNoSub, "mute.get", "{}", Shown::Mute),
    answer("mute", sub("on"), "mute.set", R"({"muted":true})", Shown::Mute),
    answer("mute", sub("off"), "mute.set", R"({"muted":false})", Shown::Mute),
    answer("mute", sub("toggle"), "mute.toggle", "{}", Shown::Mute),
    answer("unmute", kAnySub, "mute.set", R"({"muted":false})", Shown::Mute),

    answer("profile", kNoSub, "profile.list", "{}", Shown::List),
    answer("profile", sub("list"), "profile.list", "{}", Shown::List),
    named("profile", sub("load"), "profile.load", "name", "the profile name", "Loaded mic profile \"{}\""),

    answer("scene", kNoSub, "scene.list", "{}", Shown::List),
    answer("scene", sub("list"), "scene.list", "{}", Shown::List),
    named("scene", sub("apply"), "scene.apply", "name", "the scene name", "Applied scene \"{}\""),
    named("scene", sub("load"), "scene.apply", "name", "the scene name", "Applied scene \"{}\""),

    answer("voice", kNoSub, "voice.presets", "{}", Shown::List),
    answer("voice", sub("list"), "voice.presets", "{}", Shown::List),
    named("voice", sub("load"), "voice.load", "name", "the voice preset name", "Loaded voice preset \"{}\""),
    confirm("voice", sub("next"), "voice.step", R"({"delta":1})", "Next voice preset"),
    confirm("voice", sub("prev"), "voice.step", R"({"delta":-1})", "Previous voice preset"),
    confirm("voice", sub("previous"), "voice.step", R"({"delta":-1})", "Previous voice preset"),
    confirm("voice", sub("on"), "engine.set", R"({"path":"voice.enabled","value":true})", "Voice effects on"),
    confirm("voice", sub("off"), "engine.set", R"({"path":"voice.enabled","value":false})", "Voice effects off"),

    answer("sound", kNoSub, "sound.list", "{}", Shown::Sounds),
    answer("sound", sub("list"), "sound.list", "{}", Shown::Sounds),
    special("sound", sub("play"), sound_play_or_stop),
    special("sound", sub("stop"), sound_play_or_stop),
    confirm("sound", sub("random"), "sound.random", "{}", "Playing a random sound"),
    confirm("sound", sub("stopall"), "sound.stopAll", "{}", "Stopped every sound"),
    confirm("sound", sub("stop-all"), "sound.stopAll", "{}", "Stopped every sound"),

    answer("replay", kNoSub, "replay.save", "{}", Shown::Json),
    answer("replay", sub("save"), "replay.save", "{}", Shown::Json),

    confirm("record", sub("start"), "record.start", "{}", "Recording everything"),
    confirm("record", sub("stop"), "record.stop", "{}", "Recording stopped; the files are in Orvia's Record page"),
    confirm("record", sub("toggle"), "record.toggle", "{}", "Recording toggled"),

    answer("gamemode", kNoSub, "gamemode.state", "{}", Shown::Json),
    confirm("gamemode", sub("on"), "gamemode.set", R"({"on":true})", "Game mode on"),
    confirm("gamemode", sub("off"), "gamemode.set", R"({"on":false})", "Game mode off"),
    confirm("gamemode", sub("auto"), "gamemode.set", R"({"on":null})", "Game mode follows game detection"),
    confirm("gamemode", sub("toggle"), "gamemode.toggle", "{}", "Game mode toggled"),

    answer("anticheat", kNoSub, "anticheat.state", "{}", Shown::Json),
    answer("anticheat", sub("state"), "anticheat.state", "{}", Shown::Json),
    confirm("anticheat", sub("on"), "anticheat.safeMode", R"({"mode":"always"})", "Anti-cheat safe mode: always"),
    confirm("anticheat", sub("off"), "anticheat.safeMode", R"({"mode":"off"})", "Anti-cheat safe mode: off"),
    confirm("anticheat", sub("auto"), "anticheat.safeMode", R"({"mode":"auto"})", "Anti-cheat safe mode: auto"),
    confirm("anticheat", sub("always"), "anticheat.safeMode", R"({"mode":"always"})", "Anti-cheat safe mode: always"),
    confirm("anticheat", sub("toggle"), "anticheat.safeMode", "{}", "Anti-cheat safe mode toggled"),

    answer("ducking", kNoSub, "ducking.list", "{}", Shown::Json),
    confirm("ducking", sub("on"), "ducking.enable", R"({"enabled":true})", "Ducking on"),
    confirm("ducking", sub("off"), "ducking.enable", R"({"enabled":false})", "Ducking off"),
    answer("ducking", sub("presets"), "ducking.presets", "{}", Shown::List),
    named("ducking", sub("preset"), "ducking.preset.apply", "name", "the ducking preset name", "Ducking \"{}\" on"),

    answer("vmics", kNoSub, "vmics.presets", "{}", Shown::List),
    answer("vmics", sub("presets"), "vmics.presets", "{}", Shown::List),
    one_word("vmics", sub("preset"), "vmics.preset.apply", "preset", "the preset id (streamer, twoCalls, reset)",
             "Applied virtual mic preset \"{}\""),
    answer("vmics", sub("state"), "vmics.state", "{}", Shown::Json),

    answer("cohost", kNoSub, "cohost.state", "{}", Shown::Json),
    answer("cohost", sub("state"), "cohost.state", "{}", Shown::Json),
    special("cohost", sub("mute"), cohost_mute),
    special("cohost", sub("automix"), cohost_automix),

    special("say", kAnySub, say),

    answer("speak", kNoSub, "speak.state", "{}", Shown::Json),
    answer("speak", sub("state"), "speak.state", "{}", Shown::Json),
    confirm("speak", sub("stop"), "speak.stop", "{}", "Stopped speaking"),
    answer("speak", sub("voices"), "speak.voices", "{}", Shown::Json),

    answer("gaincal", kNoSub, "gaincal.state", "{}", Shown::Json),
    answer("gaincal", sub("state"), "gaincal.state", "{}", Shown::Json),
    confirm("gaincal", sub("start"), "gaincal.start", "{}",
            "Gain calibration started: read the sentence on screen, then your loudest line"),
    confirm("gaincal", sub("apply"), "gaincal.apply", "{}", "Gain calibration applied; auto gain takes it from here"),
    confirm("gaincal", sub("cancel"), "gaincal.cancel", "{}", "Gain calibration cancelled"),

    answer("mode", kNoSub, "output.mode.list", "{}", Shown::List),
    answer("mode", sub("list"), "output.mode.list", "{}", Shown::List),
    named("mode", sub("load"), "output.mode.load", "name", "the output mode name", "Loaded output mode \"{}\""),

    answer("obs", kNoSub, "obs.state", "{}", Shown::Json),
    answer("obs", sub("status"), "obs.state", "{}", Shown::Json),
    answer("obs", sub("scenes"), "obs.scenes", "{}", Shown::List),
    named("obs", sub("scene"), "obs.scene.set", "scene", "the OBS scene name", "OBS switched to \"{}\""),

    special("action", kAnySub, action),
    special("volume", kAnySub, volume),
    special("get", kAnySub, get),
    special("set", kAnySub, set),
    special("call", kAnySub, call),

    answer("snapshot", kNoSub, "snapshot.list", "{}", Shown::List),
    answer("snapshot", sub("list"), "snapshot.list", "{}", Shown::List),
    named("snapshot", sub("save"), "snapshot.save", "name", "the snapshot name", "Saved snapshot \"{}\""),
    named("snapshot", sub("load"), "snapshot.load", "name", "the snapshot name", "Loaded snapshot \"{}\""),
    named("snapshot", sub("delete"), "snapshot.delete", "name", "the snapshot name", "Deleted snapshot \"{}\""),
    named("snapshot", sub("compare"), "snapshot.compare", "name", "the snapshot name",
          "Comparing with \"{}\" (now on B; ovctl ab switches)"),
};

// The refusal of a subcommand that no row answers; "{}" takes the lower-cased subcommand.
struct Refusal {
    std::string_view command;
    std::string_view message;
};

constexpr Refusal kRefusals[] = {
    {"mute", "mute takes toggle, on or off, not \"{}\""},
    {"profile", "profile takes list or load <name>, not \"{}\""},
    {"scene", "scene takes list or apply <name>, not \"{}\""},
    {"voice", "voice takes list, load <name>, next, prev, on or off, not \"{}\""},
    {"sound", "sound takes list, play, stop, stop-all or random, not \"{}\""},
    {"replay", "replay takes save, not \"{}\""},
    {"record", "record takes start, stop or toggle"},
    {"gamemode", "gamemode takes on, off, auto or toggle, not \"{}\""},
    {"anticheat", "anticheat takes state, off, auto, always or toggle, not \"{}\""},
    {"ducking", "ducking takes on, off, presets or preset <name>, not \"{}\""},
    {"vmics", "vmics takes presets, preset <id> or state, not \"{}\""},
    {"cohost", "cohost takes state, mute <n> [on|off] or automix [on|off], not \"{}\""},
    {"speak", "speak takes stop, state or voices, not \"{}\" (to say something: ovctl say <text>)"},
    {"gaincal", "gaincal takes state, start, cancel or apply, not \"{}\""},
    {"mode", "mode takes list or load <name>, not \"{}\""},
    {"obs", "obs takes status, scenes or scene <name>, not \"{}\""},
    {"snapshot", "snapshot takes list, save, load, compare or delete <name>, not \"{}\""},
};

TranslatorResult translate_row(const Row& row, const Request& request) {
    if (row.special) return row.special(request);
    Json args = ov::parse_json(row.fixed_args).value.value_or(Json::object());
    std::string confirm_text(row.confirm);
    if (row.name_from != NameFrom::Nothing) {
        Result<std::string> name = row.name_from == NameFrom::RestOfWords
                                       ? rest_text(request.words, 2, row.missing)
                                       : required_word(request.words, 2, row.missing);
        if (!name) return name.error();
        confirm_text = fill(row.confirm, {*name});
        args[std::string(row.name_key)] = std::move(*name);
    }
    return make(render_kind(row.shown, std::move(confirm_text)), row.api, std::move(args));
}

}  // namespace

bool is_inline_command(std::string_view command) {
    return std::any_of(std::begin(kRows), std::end(kRows), [&](const Row& row) { return row.command == command; });
}

TranslatorResult translate_inline(std::string_view command, const GlobalOptions& options, const Words& words) {
    Request request{options, words, std::nullopt};
    if (words.size() > 1) request.sub = ov::text::ascii_lower(words[1]);
    for (const Row& row : kRows) {
        if (row.command == command && row.match.matches(request.sub)) return translate_row(row, request);
    }
    for (const Refusal& refusal : kRefusals) {
        if (refusal.command == command) return usage_error(fill(refusal.message, {request.sub.value_or("")}));
    }
    return usage_error(fill("Unknown command \"{}\"", {command}));
}

// ---------------------------------------------------------------------------------------
// Decimal number words.

namespace {

bool equals_ignoring_ascii_case(std::string_view a, std::string_view b) {
    return a.size() == b.size() && ov::text::ascii_lower(a) == ov::text::ascii_lower(b);
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Rough decimal exponent of a well-formed, out-of-range number: positive means its magnitude
// is huge, otherwise tiny. Only its sign matters, so the explicit exponent saturates.
long long magnitude_exponent(std::string_view digits) {
    std::size_t i = 0;
    long long leading = 0;  // digits before the point, after leading zeros
    bool nonzero_seen = false;
    for (; i < digits.size() && is_digit(digits[i]); ++i) {
        if (digits[i] != '0') nonzero_seen = true;
        if (nonzero_seen) ++leading;
    }
    long long exponent = leading;
    if (i < digits.size() && digits[i] == '.') {
        for (++i; i < digits.size() && is_digit(digits[i]); ++i) {
            if (nonzero_seen) continue;
            if (digits[i] != '0') nonzero_seen = true;
            else --exponent;
        }
    }
    if (i < digits.size() && (digits[i] == 'e' || digits[i] == 'E')) {
        ++i;
        bool negative = false;
        if (i < digits.size() && (digits[i] == '+' || digits[i] == '-')) negative = digits[i++] == '-';
        long long explicit_exponent = 0;
        for (; i < digits.size(); ++i) {
            explicit_exponent = std::min<long long>(explicit_exponent * 10 + (digits[i] - '0'), 1LL << 40);
        }
        exponent += negative ? -explicit_exponent : explicit_exponent;
    }
    return exponent;
}

// digits [. digits] [e [+|-] digits], with at least one digit before or after the point.
bool is_decimal_syntax(std::string_view text) {
    std::size_t i = 0;
    std::size_t mantissa_digits = 0;
    while (i < text.size() && is_digit(text[i])) ++i, ++mantissa_digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && is_digit(text[i])) ++i, ++mantissa_digits;
    }
    if (mantissa_digits == 0) return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        const std::size_t exponent_start = i;
        while (i < text.size() && is_digit(text[i])) ++i;
        if (i == exponent_start) return false;
    }
    return i == text.size();
}

}  // namespace

std::optional<double> parse_decimal_word(std::string_view word) {
    const bool negative = !word.empty() && word.front() == '-';
    std::string_view body = negative ? word.substr(1) : word;
    const double sign = negative ? -1.0 : 1.0;

    if (equals_ignoring_ascii_case(body, "inf") || equals_ignoring_ascii_case(body, "infinity")) {
        return sign * std::numeric_limits<double>::infinity();
    }
    if (equals_ignoring_ascii_case(body, "nan")) return std::numeric_limits<double>::quiet_NaN();
    if (!is_decimal_syntax(body)) return std::nullopt;

    double value = 0.0;
    const auto [end, error] = std::from_chars(body.data(), body.data() + body.size(), value);
    if (error == std::errc::result_out_of_range) {
        value = magnitude_exponent(body) > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (error != std::errc{} || end != body.data() + body.size()) {
        return std::nullopt;
    }
    return sign * value;
}

}  // namespace ovctl
