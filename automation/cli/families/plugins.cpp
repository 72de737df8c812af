// `ovctl plugins ...`: the three plug-in racks (micPre, micPost, speakers).
#include "family_functions.h"
#include "validators.h"

#include "../words.h"
#include "ov/text.h"

namespace ovctl::families {
namespace {

constexpr std::string_view kSlotKey = "the slot key";
constexpr std::string_view kNewPosition = "the new position, 0 = first";
constexpr std::string_view kParameterId = "the parameter id";

Result<Translation> add(const Words& words) {
    auto rack = rack_at(words, 2);
    if (!rack) return rack.error();
    if (words.size() < 4) return usage_error("Missing the plugin (its uid or name from `ovctl plugins list`)");
    auto uid = joined_from(words, 3);
    return confirm("plugins.add", {{"rack", *rack}, {"uid", uid}}, "Added " + uid);
}

// remove, retry and params: a rack and a slot key.
Result<Translation> rack_and_key(const Words& words, RenderKind kind, std::string command) {
    auto rack = rack_at(words, 2);
    if (!rack) return rack.error();
    auto key = whole_number_at(words, 3, kSlotKey);
    if (!key) return key.error();
    return shown_as(std::move(kind), std::move(command), {{"rack", *rack}, {"key", *key}});
}

Result<Translation> move(const Words& words) {
    auto rack = rack_at(words, 2);
    if (!rack) return rack.error();
    auto key = whole_number_at(words, 3, kSlotKey);
    if (!key) return key.error();
    auto index = whole_number_at(words, 4, kNewPosition);
    if (!index) return index.error();
    return confirm("plugins.move", {{"rack", *rack}, {"key", *key}, {"index", *index}}, "Moved");
}

// The slot key is optional: a whole number in the fourth word is the key, and the on/off
// word follows it; otherwise the fourth word is the on/off word for the whole rack.
Result<Translation> bypass(const Words& words) {
    auto rack = rack_at(words, 2);
    if (!rack) return rack.error();
    Json args = {{"rack", *rack}};
    std::size_t on_off_index = 3;
    if (auto word = word_at(words, 3)) {
        if (auto key = parse_u64(*word)) {
            args["key"] = *key;
            on_off_index = 4;
        }
    }
    auto on = optional_on_off_at(words, on_off_index, "plugins bypass");
    if (!on) return on.error();
    if (!*on) return confirm("plugins.bypass", std::move(args), "Bypass toggled");
    args["on"] = **on;
    return confirm("plugins.bypass", std::move(args), **on ? "Bypassed" : "Back in the chain");
}

// The value is checked before the rack, key and parameter id.
Result<Translation> set_param(const Words& words) {
    if (words.size() < 6) return usage_error("Missing the value, 0 to 1");
    auto value = parameter_value_at(words, 5);
    if (!value) return value.error();
    auto rack = rack_at(words, 2);
    if (!rack) return rack.error();
    auto key = whole_number_at(words, 3, kSlotKey);
    if (!key) return key.error();
    auto param = whole_number_at(words, 4, kParameterId);
    if (!param) return param.error();
    return confirm("plugins.setParam",
                   {{"rack", *rack}, {"key", *key}, {"param", *param}, {"value", number_json(*value)}},
                   "Parameter set to " + plain(*value));
}

Result<Translation> editor(const Words& words) {
    auto rack = rack_at(words, 2);
    if (!rack) return rack.error();
    auto key = whole_number_at(words, 3, kSlotKey);
    if (!key) return key.error();
    const bool open = lower_word_at(words, 4) != "close";
    return confirm("plugins.editor", {{"rack", *rack}, {"key", *key}, {"open", open}},
                   open ? "Window opened" : "Window closed");
}

Result<Translation> mode(const Words& words) {
    auto rack = rack_at(words, 2);
    if (!rack) return rack.error();
    auto word = required_word(words, 3, "same or next");
    if (!word) return word.error();
    const auto mode = ov::text::ascii_lower(*word);
    if (mode != "same" && mode != "next") return usage_error(fill("plugins mode is same or next, not \"{}\"", {mode}));
    return confirm("plugins.configure", {{"rack", *rack}, {"mode", mode}}, "Mode: " + mode);
}

}  // namespace

Result<Translation> plugins(const Words& words) {
    const auto sub = subcommand(words);
    if (!sub || sub == "state") return shown_as_json("plugins.state");
    if (sub == "list" || sub == "catalog") return shown_as_list("plugins.catalog");
    if (sub == "scan") {
        const bool full = lower_word_at(words, 2) == "full";
        return confirm("plugins.scan", {{"full", full}}, full ? "Full rescan started" : "Scan started");
    }
    if (sub == "add") return add(words);
    if (sub == "remove") return rack_and_key(words, render::Confirm{"Removed"}, "plugins.remove");
    if (sub == "move") return move(words);
    if (sub == "bypass") return bypass(words);
    if (sub == "retry") return rack_and_key(words, render::Confirm{"Loading it again"}, "plugins.retry");
    if (sub == "params") return rack_and_key(words, render::List{}, "plugins.params");
    if (sub == "param" || sub == "set") return set_param(words);
    if (sub == "editor" || sub == "open") return editor(words);
    if (sub == "mode") return mode(words);
    return unknown_subcommand("plugins",
                              "state, list, scan, add, remove, move, bypass, retry, params, param, editor or mode", sub);
}

}  // namespace ovctl::families
