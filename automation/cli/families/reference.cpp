// `ovctl reference | assistant | ab ...`: reference clips, the assistant's macros and the
// level-matched A/B compare.
#include "family_functions.h"
#include "validators.h"

#include "../words.h"
#include "ov/text.h"
#include "ov/numfmt.h"

#include <algorithm>

namespace ovctl::families {
namespace {

// ---- Reference ---------------------------------------------------------------------------

Result<Translation> reference_import(const Words& words) {
    auto path = required_word(words, 2, "the audio file (WAV, MP3, FLAC, OGG, M4A)");
    if (!path) return path.error();
    Json args = {{"path", *path}};
    if (words.size() > 3) args["name"] = joined_from(words, 3);
    return confirm("reference.import", std::move(args),
                   fill("Analysing {} (ovctl reference shows it when done)", {*path}));
}

Result<Translation> reference_capture(const Words& words) {
    auto app = required_word(words, 2, "the app to listen to, e.g. spotify.exe");
    if (!app) return app.error();
    auto seconds = optional_seconds_at(words, 3);
    if (!seconds) return seconds.error();
    Json args = {{"app", *app}};
    if (*seconds) args["seconds"] = number_json(**seconds);
    return confirm("reference.capture", std::move(args), fill("Listening to {}…", {*app}));
}

// select / use and delete name a reference by the words from the third on.
struct NamedReference {
    std::string_view sub;
    std::string_view command;
    std::string_view confirmation;
};

constexpr NamedReference kNamedReferences[] = {
    {"select", "reference.select", "Reference: {}"},
    {"use", "reference.select", "Reference: {}"},
    {"delete", "reference.delete", "Deleted reference \"{}\""},
};

// The amount is the only value these families clamp: a percentage sent as 0..1.
Result<Translation> reference_match(const Words& words) {
    auto word = required_word(words, 2, "on, off or an amount 0-100");
    if (!word) return word.error();
    auto match = on_off_or_amount(ov::text::ascii_lower(*word));
    if (!match) return match.error();
    if (match->on) {
        return confirm("reference.match", {{"enabled", *match->on}}, *match->on ? "Match EQ on" : "Match EQ off");
    }
    const double percent = match->amount;
    Json amount = percent != percent ? Json(nullptr) : Json(std::clamp(percent / 100.0, 0.0, 1.0));
    return confirm("reference.match", {{"amount", std::move(amount)}}, fill("Match amount: {} %", {plain(percent)}));
}

// ---- Assistant ---------------------------------------------------------------------------

constexpr std::string_view kMacros[] = {"shape", "intensity", "presence", "warmth"};

// "+N" always steps; "-N" steps only when followed by the word step; anything else sets.
Result<Translation> assistant_macro(const Words& words, const std::string& macro) {
    if (!word_at(words, 2)) return usage_error("Missing a value from -1 to 1 (or +N / -N to step it)");
    auto number = described_number_at(words, 2, "-1 to 1");
    if (!number) return number.error();
    const std::string_view typed = *word_at(words, 2);
    const bool step = typed.starts_with('+') || (typed.starts_with('-') && word_at(words, 3) == "step");
    if (step) {
        return confirm("assistant.macro", {{"macro", macro}, {"delta", number_json(*number)}},
                       fill("{} {}", {macro, ov::num::signed_plain(*number)}));
    }
    return confirm("assistant.macro", {{"macro", macro}, {"value", number_json(*number)}},
                   fill("{}: {}", {macro, plain(*number)}));
}

// ---- A/B compare -------------------------------------------------------------------------

Translation ab_state(std::string command, Json args = Json::object()) {
    return shown_as(render::AbState{}, std::move(command), std::move(args));
}

Result<Translation> ab_copy(const Words& words) {
    auto block = required_word(words, 2, "the block (compressor, voice, chain …)");
    if (!block) return block.error();
    auto slot_word = required_word(words, 3, "the slot to copy from (a or b)");
    if (!slot_word) return slot_word.error();
    auto slot = ab_slot(*slot_word);
    if (!slot) return slot.error();
    return ab_state("compare.copy", {{"block", *block}, {"from", *slot}});
}

}  // namespace

Result<Translation> reference(const Words& words) {
    const auto sub = subcommand(words);
    if (!sub || sub == "list") return shown_as_list("reference.list");
    if (sub == "import") return reference_import(words);
    if (sub == "capture") return reference_capture(words);
    if (sub == "voice") {
        if (lower_word_at(words, 2) == "replay")
            return confirm("reference.voice", {{"source", "replay"}}, "Measuring your voice from the replay buffer");
        return confirm("reference.voice", {{"source", "capture"}},
                       "Read aloud for 15 s (the sentence is on the Producer page)");
    }
    for (const auto& entry : kNamedReferences) {
        if (sub != entry.sub) continue;
        auto name = rest_text(words, 2, "the reference name");
        if (!name) return name.error();
        return confirm(std::string(entry.command), {{"name", *name}}, fill(entry.confirmation, {*name}));
    }
    if (sub == "match") return reference_match(words);
    if (sub == "apply") return confirm("reference.apply", Json::object(), "Applied the reference's dynamics suggestions");
    if (sub == "cancel") return confirm("reference.cancel", Json::object(), "Cancelled");
    return unknown_subcommand("reference", "list, import, capture, voice, select, delete, match, apply or cancel", sub);
}

Result<Translation> assistant(const Words& words) {
    const auto sub = subcommand(words);
    if (!sub || sub == "state") return shown_as_json("assistant.state");
    for (auto macro : kMacros)
        if (sub == macro) return assistant_macro(words, *sub);
    if (sub == "centre" || sub == "center" || sub == "reset")
        return confirm("assistant.centre", Json::object(), "Macros back at the centre: your baseline is restored");
    if (sub == "keep") return confirm("assistant.keep", Json::object(), "Kept: this is your new baseline");
    return unknown_subcommand("assistant", "state, shape, intensity, presence, warmth, centre or keep", sub);
}

// The A/B subcommands are recognised in lower case only; every other word names a block.
Result<Translation> ab(const Words& words) {
    auto first = word_at(words, 1);
    if (!first) return ab_state("compare.toggle");
    const std::string_view sub = *first;
    if (sub == "state" || sub == "list") return ab_state("compare.state");
    if (sub == "copy") return ab_copy(words);
    Json args = Json::object();
    if (sub == "keep") {
        if (auto block = word_at(words, 2)) args["block"] = std::string(*block);
        return ab_state("compare.keep", std::move(args));
    }
    if (sub == "a" || sub == "A" || sub == "b" || sub == "B") {
        args["slot"] = sub == "a" || sub == "A" ? "a" : "b";
        if (auto block = word_at(words, 2)) args["block"] = std::string(*block);
        return ab_state("compare.toggle", std::move(args));
    }
    args["block"] = std::string(sub);
    return ab_state("compare.toggle", std::move(args));
}

}  // namespace ovctl::families
