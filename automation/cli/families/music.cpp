// `ovctl music | karaoke | song ...`: the music analyser, karaoke with its backing-track
// player, and Sing mode.
#include "family_functions.h"
#include "validators.h"

#include "../words.h"
#include "ov/numfmt.h"
#include "ov/text.h"
#include "ov/unicode_case.h"

#include <span>

namespace ovctl::families {
namespace {

// ---- Music analyser ----------------------------------------------------------------------

// follow and lock: no word toggles, on / off set.
struct OptionalSwitch {
    std::string_view sub;
    std::string_view command;
    std::string_view what;  // how the refusal names the subcommand
    std::string_view toggled_text;
    std::string_view on_text;
    std::string_view off_text;
};

constexpr OptionalSwitch kMusicSwitches[] = {
    {"follow", "music.follow", "music follow", "Follow music toggled", "Following the music", "Key and tempo set by hand"},
    {"lock", "music.lockKey", "music lock", "Key lock toggled", "Key locked", "Key unlocked"},
};

Result<Translation> optional_switch(const OptionalSwitch& entry, const Words& words) {
    auto on = optional_on_off_at(words, 2, entry.what);
    if (!on) return on.error();
    if (!*on) return confirm(std::string(entry.command), Json::object(), std::string(entry.toggled_text));
    return confirm(std::string(entry.command), {{"on", **on}}, std::string(**on ? entry.on_text : entry.off_text));
}

// ---- Karaoke -----------------------------------------------------------------------------

Translation karaoke_setting(std::string path, Json value, std::string text) {
    return confirm("karaoke.set", {{"path", std::move(path)}, {"value", std::move(value)}}, std::move(text));
}

// A setting sent as a number read from the third word.
struct KaraokeNumber {
    std::string_view sub;
    std::string_view path;
    std::string_view description;
    std::string_view confirmation;
};

constexpr KaraokeNumber kKaraokeNumbers[] = {
    {"bleed", "bleed", "a bleed 0..100", "Karaoke bleed {} %"},
    {"latency", "latencyMs", "milliseconds, 100..500", "Karaoke latency {} ms"},
    {"tempo", "player.tempo", "a tempo 50..150 %", "Backing track tempo {} %"},
};

// A setting sent as the third word lower-cased.
struct KaraokeWord {
    std::string_view sub;
    std::string_view description;
    std::string_view confirmation;
};

constexpr KaraokeWord kKaraokeWords[] = {
    {"app", "an app, e.g. spotify.exe", "Karaoke app: {}"},
    {"model", "center, spleeter or waveform", "Karaoke model: {}"},
};

Result<Translation> karaoke_file(const Words& words) {
    auto text = rest_text(words, 2, "an audio file (none to clear)");
    if (!text) return text.error();
    Json value = ov::text::ascii_lower(*text) == "none" ? Json(nullptr) : Json(*text);
    return karaoke_setting("player.file", std::move(value), "Backing track: " + *text);
}

Result<Translation> karaoke_acapella(const Words& words) {
    auto on = word_at(words, 2) ? switch_word(*word_at(words, 2)) : std::nullopt;
    if (!on) return usage_error("karaoke acapella on|off");
    return karaoke_setting("acapella", *on, *on ? "Acapella on" : "Acapella off");
}

Result<Translation> karaoke_transpose(const Words& words) {
    auto semitones = semitones_at(words, 2, "semitones, -12..12");
    if (!semitones) return semitones.error();
    return karaoke_setting("transpose", *semitones,
                           fill("Transpose {} semitones", {ov::num::signed_integer(*semitones)}));
}

Result<Translation> karaoke_set(const Words& words) {
    auto path = required_word(words, 2, "a setting, e.g. isolate, provider, player.loopOn");
    if (!path) return path.error();
    auto value = required_word(words, 3, "a value");
    if (!value) return value.error();
    return karaoke_setting(*path, json_or_text(*value), fill("Karaoke: {} = {}", {*path, *value}));
}

// ---- Song --------------------------------------------------------------------------------

constexpr std::string_view kProStyles[] = {"pop", "rnb", "rap", "auto", "rock", "ballad", "acoustic"};

Result<Translation> song_start(const Words& words) {
    const auto source = lower_word_at(words, 2);
    if (source == "app") {
        auto app = required_word(words, 3, "the app (spotify.exe, chrome.exe …)");
        if (!app) return app.error();
        const auto lowered = ov::unicode::to_lower(*app);
        return confirm("song.start", {{"source", "app"}, {"app", lowered}},
                       fill("New song with the music from {} (its singer taken out)", {lowered}));
    }
    if (source == "file") {
        auto file = rest_text(words, 3, "the music file");
        if (!file) return file.error();
        return confirm("song.start", {{"source", "file"}, {"file", *file}}, "New song with your music file");
    }
    if (source == "voice") {
        auto bpm = optional_tempo_at(words, 3);
        if (!bpm) return bpm.error();
        Json click = *bpm ? number_json(**bpm) : Json(nullptr);
        return confirm("song.start", {{"source", "voice"}, {"clickBpm", click}}, "New song: just your voice");
    }
    return usage_error("song start app <exe> | file <path> | voice [bpm]");
}

Result<Translation> song_keep(const Words& words, bool again) {
    auto take = optional_take_number_at(words, 2);
    if (!take) return take.error();
    Json args = {{"take", *take ? Json(**take) : Json(nullptr)}};
    if (!again) return confirm("song.keep", std::move(args), "Kept");
    args["again"] = true;
    return confirm("song.keep", std::move(args), "Take thrown away; record again");
}

Result<Translation> song_pro(const Words& words) {
    const auto first = lower_word_at(words, 2);
    std::size_t note_index = 2;
    Json style = nullptr;
    for (auto known : kProStyles) {
        if (first == known) {
            style = *first;
            note_index = 3;
        }
    }
    const auto note = trimmed_text_from(words, note_index);
    return confirm("song.makePro", {{"style", style}, {"notes", note.empty() ? Json(nullptr) : Json(note)}},
                   "Making it pro (ovctl song shows the progress)");
}

Result<Translation> song_adjust(const Words& words) {
    auto word = required_word(words, 2, "voice, echo, tuning or nudge");
    if (!word) return word.error();
    const auto what = ov::text::ascii_lower(*word);
    if (what != "voice" && what != "echo" && what != "tuning" && what != "nudge")
        return usage_error("song adjust voice|echo|tuning <-1..1> | nudge <-200..200 ms>");
    auto value_word = required_word(words, 3, "a value");
    if (!value_word) return value_word.error();
    auto value = parse_single(*value_word);
    if (!value) return usage_error("song adjust takes a number (-1..1, or ms for nudge)");
    Json args = {{what, number_json(*value)}};
    if (what == "nudge") {
        return confirm("song.adjust", std::move(args),
                       fill("voice {} ms against the music: re-mixing",
                            {ov::num::signed_plain(single_as_printed(*value))}));
    }
    return confirm("song.adjust", std::move(args),
                   fill("{} {}: re-rendering", {what, ov::num::signed_fixed(*value, 2)}));
}

// The subcommands that send nothing and print a fixed line.
struct FixedCommand {
    std::string_view sub;
    std::string_view command;
    std::string_view confirmation;
};

constexpr FixedCommand kSongFixed[] = {
    {"record", "song.record", "3, 2, 1… recording"},
    {"stop", "song.stop", "Stopped; the take is saved"},
    {"cancel", "song.cancel", "Cancelled"},
};

}  // namespace

Result<Translation> music(const Words& words) {
    const auto sub = subcommand(words);
    if (!sub || sub == "state") return shown_as_json("music.state");
    if (sub == "on") return confirm("music.analyser", {{"enabled", true}}, "Music analyser on");
    if (sub == "off") return confirm("music.analyser", {{"enabled", false}}, "Music analyser off (nothing captured)");
    if (sub == "listen" || sub == "source") {
        auto what = required_word(words, 2, "what to listen to: playing, app:<exe> or channel:<id>");
        if (!what) return what.error();
        return confirm("music.analyser", {{"listen", *what}}, "Music analyser listens to " + *what);
    }
    for (const auto& entry : kMusicSwitches)
        if (sub == entry.sub) return optional_switch(entry, words);
    return unknown_subcommand("music", "state, on, off, listen, follow or lock", sub);
}

Result<Translation> karaoke(const Words& words) {
    const auto sub = subcommand(words);
    if (!sub || sub == "state") return shown_as_json("karaoke.state");
    if (sub == "on") return confirm("karaoke.toggle", {{"on", true}}, "Karaoke on");
    if (sub == "off") return confirm("karaoke.toggle", {{"on", false}}, "Karaoke off: apps are back where they were");
    if (sub == "toggle") return confirm("karaoke.toggle", Json::object(), "Karaoke toggled");
    for (const auto& entry : kKaraokeWords) {
        if (sub != entry.sub) continue;
        auto word = required_word(words, 2, entry.description);
        if (!word) return word.error();
        const auto lowered = ov::text::ascii_lower(*word);
        return karaoke_setting(std::string(entry.sub), lowered, fill(entry.confirmation, {lowered}));
    }
    for (const auto& entry : kKaraokeNumbers) {
        if (sub != entry.sub) continue;
        auto value = plain_number_at(words, 2, entry.description);
        if (!value) return value.error();
        return karaoke_setting(std::string(entry.path), number_json(*value), fill(entry.confirmation, {plain(*value)}));
    }
    if (sub == "acapella" || sub == "vocals") return karaoke_acapella(words);
    if (sub == "transpose") return karaoke_transpose(words);
    if (sub == "file" || sub == "track") return karaoke_file(words);
    if (sub == "play" || sub == "pause" || sub == "stop")
        return confirm("karaoke.player", {{"op", *sub}}, "Backing track: " + *sub);
    if (sub == "seek") {
        auto at = plain_number_at(words, 2, "seconds");
        if (!at) return at.error();
        return confirm("karaoke.player", {{"op", "seek"}, {"at", number_json(*at)}},
                       fill("Backing track at {} s", {plain(*at)}));
    }
    if (sub == "download") {
        return confirm("karaoke.download", {{"model", "spleeter"}},
                       "Downloading Spleeter (35 MB); ovctl karaoke shows the progress");
    }
    if (sub == "score") {
        if (lower_word_at(words, 2) == "reset") return confirm("karaoke.score.reset", Json::object(), "Singing score reset");
        return shown_as_json("karaoke.singing");
    }
    if (sub == "set") return karaoke_set(words);
    return unknown_subcommand("karaoke",
                              "state, on, off, toggle, app, model, bleed, acapella, transpose, latency, file, tempo, "
                              "play, pause, stop, seek, download, score or set",
                              sub);
}

Result<Translation> song(const Words& words) {
    const auto sub = subcommand(words);
    if (!sub || sub == "state") return shown_as_json("song.state");
    if (sub == "list") return shown_as_list("song.list");
    if (sub == "start") return song_start(words);
    if (sub == "open") {
        auto name = rest_text(words, 2, "the song's name");
        if (!name) return name.error();
        return confirm("song.start", {{"open", *name}}, fill("Opened \"{}\"", {*name}));
    }
    for (const auto& entry : kSongFixed)
        if (sub == entry.sub) return confirm(std::string(entry.command), Json::object(), std::string(entry.confirmation));
    if (sub == "keep" || sub == "again") return song_keep(words, sub == "again");
    if (sub == "pro") return song_pro(words);
    if (sub == "adjust") return song_adjust(words);
    if (sub == "save") {
        const auto format = lower_word_at(words, 2).value_or("mp3");
        return confirm("song.save", {{"format", format}}, "Saved into the song's folder");
    }
    return unknown_subcommand("song", "state, list, start, open, record, stop, keep, again, pro, adjust, save or cancel",
                              sub);
}

}  // namespace ovctl::families
