// `ovctl instrument ...` (the instrument input chain) and `ovctl looper ...` (the live
// looper).
#include "family_functions.h"
#include "validators.h"

#include "../words.h"
#include "ov/text.h"

#include <string>

namespace ovctl::families {
namespace {

// `set <path> <value>` of both families: the value word is JSON when it parses.
Result<Translation> set_path(const Words& words, std::string command, std::string_view setting_description,
                             std::string_view confirmation) {
    auto path = required_word(words, 2, setting_description);
    if (!path) return path.error();
    auto value = required_word(words, 3, "a value");
    if (!value) return value.error();
    return confirm(std::move(command), {{"path", *path}, {"value", json_or_text(*value)}},
                   fill(confirmation, {*path, *value}));
}

// The instrument settings named by a text; none clears them.
constexpr std::string_view kInstrumentTexts[] = {"device", "model", "cab"};

// The per-track looper actions, sent with the selected track unless one is given.
constexpr std::string_view kLooperActions[] = {"cycle", "record", "overdub", "play", "stop",
                                               "undo",  "redo",   "clear",   "release"};

// The whole-looper actions and what the API calls them.
struct LooperAll {
    std::string_view sub;
    std::string_view what;
};

constexpr LooperAll kLooperAll[] = {
    {"stop-all", "stopAll"}, {"play-all", "playAll"}, {"undo-all", "undoAll"},
    {"redo-all", "redoAll"}, {"clear-all", "clearAll"},
};

Result<Translation> looper_action(const Words& words, const std::string& op) {
    auto number = optional_track_at(words, 2);
    if (!number) return number.error();
    Json args = {{"op", op}};
    std::string where = "the selected track";
    if (*number) {
        args["track"] = **number;
        where = "track " + std::to_string(**number);
    }
    return confirm("looper.action", std::move(args), fill("Looper: {} on {}", {op, where}));
}

Result<Translation> looper_select(const Words& words) {
    auto word = word_at(words, 2);
    if (!word) return usage_error("looper track <1-4>");
    auto number = track(*word);
    if (!number) return number.error();
    return confirm("looper.select", {{"track", *number}}, fill("Looper: track {} selected", {std::to_string(*number)}));
}

}  // namespace

Result<Translation> instrument(const Words& words) {
    const auto sub = subcommand(words);
    if (!sub || sub == "state") return shown_as_json("instrument.state");
    if (sub == "on") return confirm("instrument.toggle", {{"on", true}}, "Instrument input on");
    if (sub == "off") return confirm("instrument.toggle", {{"on", false}}, "Instrument input off: its capture stops");
    if (sub == "toggle") return confirm("instrument.toggle", Json::object(), "Instrument input toggled");
    for (auto setting : kInstrumentTexts) {
        if (sub != setting) continue;
        auto text = rest_text(words, 2, "a device name or a file (none to clear)");
        if (!text) return text.error();
        Json value = ov::text::ascii_lower(*text) == "none" ? Json(nullptr) : Json(*text);
        return confirm("instrument.set", {{"path", setting}, {"value", std::move(value)}},
                       fill("Instrument {}: {}", {setting, *text}));
    }
    if (sub == "set")
        return set_path(words, "instrument.set", "a setting, e.g. gateDb, levelDb, trebleDb", "Instrument: {} = {}");
    return unknown_subcommand("instrument", "state, on, off, toggle, device, model, cab or set", sub);
}

Result<Translation> looper(const Words& words) {
    const auto sub = subcommand(words);
    if (!sub || sub == "state") return shown_as_json("looper.state");
    if (sub == "on") return confirm("looper.set", {{"path", "enabled"}, {"value", true}}, "Looper on");
    if (sub == "off")
        return confirm("looper.set", {{"path", "enabled"}, {"value", false}}, "Looper off: its memory is freed");
    for (auto action : kLooperActions)
        if (sub == action) return looper_action(words, std::string(action));
    for (const auto& all : kLooperAll) {
        if (sub != all.sub) continue;
        std::string spoken(all.sub);
        for (auto& c : spoken)
            if (c == '-') c = ' ';
        return confirm("looper.all", {{"what", all.what}}, "Looper: " + spoken);
    }
    if (sub == "track" || sub == "select") return looper_select(words);
    if (sub == "next") return confirm("looper.select", {{"step", 1}}, "Looper: next track");
    if (sub == "set")
        return set_path(words, "looper.set", "a setting, e.g. quantize, feedback, tracks.2.muted", "Looper: {} = {}");
    if (sub == "devices") return shown_as_json("looper.devices");
    return unknown_subcommand("looper",
                              "state, on, off, cycle, record, overdub, play, stop, undo, redo, clear, release, "
                              "stop-all, play-all, undo-all, redo-all, clear-all, track, next, set or devices",
                              sub);
}

}  // namespace ovctl::families
