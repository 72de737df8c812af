#include "status_report.h"

#include "answer_fields.h"

#include "ov/numfmt.h"
#include "ov/unicode_case.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace ovctl {

namespace {

using answer::array;
using answer::is_true;
using answer::join;
using answer::json_text;
using answer::number;
using answer::object;
using answer::text;
using answer::text_or;

using Line = std::optional<std::string>;

// Levels at or below this are silence.
constexpr double kSilenceDb = -119.0;
// A level match smaller than this is shown as no match at all.
constexpr double kSmallestTrimDb = 0.05;
constexpr double kNoTruePeak = -100.0;

const Json kAbsent;  // stands for a missing inner object: every member reads as absent

const Json& object_or_absent(const Json& value, const char* key) {
    const Json* found = object(value, key);
    return found ? *found : kAbsent;
}

std::string on_off(bool on) { return on ? "on" : "off"; }

std::string quoted_or_none(const Json& value, const char* key) {
    const std::string* t = text(value, key);
    return t ? "\"" + *t + "\"" : std::string("none");
}

std::string unsigned_text(std::uint64_t value) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

// Whole seconds of a duration, truncated toward zero and saturated to the unsigned range.
std::uint64_t whole_seconds(std::optional<double> seconds) {
    if (!seconds || !(*seconds > 0)) return 0;  // missing, negative or NaN
    constexpr double kPastLargest = 18446744073709551616.0;  // 2^64
    if (*seconds >= kPastLargest) return std::numeric_limits<std::uint64_t>::max();
    return static_cast<std::uint64_t>(*seconds);
}

std::string level(std::optional<double> db) {
    if (!db) return "?";
    if (*db <= kSilenceDb) return "-inf";
    return ov::num::fixed(*db, 1);
}

// Whole tempos print without decimals (120), others in one decimal (120.4).
std::string tune_tempo(std::optional<double> tempo) {
    if (!tempo) return "?";
    return ov::num::fixed(*tempo, std::trunc(*tempo) == *tempo ? 0 : 1);
}

// A JSON integer that is not negative; anything else counts as 0.
std::uint64_t voice_count(const Json& harmony) {
    const Json* voices = answer::member(harmony, "voices");
    if (!voices) return 0;
    if (voices->is_number_unsigned()) return voices->get<std::uint64_t>();
    if (voices->is_number_integer() && voices->get<std::int64_t>() >= 0)
        return static_cast<std::uint64_t>(voices->get<std::int64_t>());
    return 0;
}

Line version_line(const Json& a) {
    return "Orvia " + text_or(a, "version", "?") + " (API " + text_or(a, "apiVersion", "?") + ")";
}

Line mic_line(const Json& a) {
    return std::string("Mic:        ") + (is_true(a, "muted") ? "MUTED" : "live") +
           (is_true(a, "pushToTalk") ? " (push to talk)" : "");
}

Line chain_line(const Json& a) {
    return "Chain:      " + std::string(is_true(a, "engineRunning") ? "running" : "stopped");
}

Line profile_line(const Json& a) { return "Profile:    " + quoted_or_none(a, "profile"); }

Line scene_line(const Json& a) { return "Scene:      " + quoted_or_none(a, "scene"); }

Line voice_line(const Json& a) {
    const Json& voice = object_or_absent(a, "voice");
    std::string line = "Voice:      " + on_off(is_true(voice, "enabled"));
    if (const std::string* preset = text(voice, "preset")) line += ", preset \"" + *preset + "\"";
    return line;
}

Line game_mode_line(const Json& a) {
    const Json* game_mode = object(a, "gameMode");
    if (!game_mode) return std::nullopt;
    const bool active = is_true(*game_mode, "active");
    std::string line = "Game mode:  " + on_off(active);
    const std::string* game = text(*game_mode, "game");
    if (active && game) line += " (" + *game + ")";
    return line;
}

Line recording_line(const Json& a) {
    const Json* recording = object(a, "recording");
    if (!recording) return "Recording:  no";
    const std::uint64_t seconds = whole_seconds(number(*recording, "elapsedS"));
    const std::uint64_t rest = seconds % 60;
    return "Recording:  \u25CF " + text_or(*recording, "name", "?") + " (" + unsigned_text(seconds / 60) + ":" +
           (rest < 10 ? "0" : "") + unsigned_text(rest) + ")";
}

Line replay_line(const Json& a) {
    const Json* replay = object(a, "replay");
    if (!replay) return std::nullopt;
    if (!is_true(*replay, "active")) return "Replay:     off";
    return "Replay:     " + json_text(answer::member(*replay, "seconds")) + " s buffer";
}

Line levels_line(const Json& a) {
    const Json* meters = object(a, "meters");
    if (!meters) return std::nullopt;
    return "Levels:     in " + level(number(*meters, "inputDb")) + " dB, out " + level(number(*meters, "outputDb")) +
           " dB, " + level(number(*meters, "lufsShort")) + " LUFS";
}

Line speakers_line(const Json& a) {
    const std::string* mode = text(a, "outputMode");
    if (!mode) return std::nullopt;
    return "Speakers:   " + *mode;
}

Line ducking_line(const Json& a) {
    const Json* ducking = object(a, "ducking");
    if (!ducking) return std::nullopt;
    return "Ducking:    " + on_off(is_true(*ducking, "enabled")) + " (" +
           json_text(answer::member(*ducking, "rules")) + " rules, " +
           json_text(answer::member(*ducking, "duckingNow")) + " ducked now)";
}

Line virtual_mics_line(const Json& a) {
    const Json* vmics = array(a, "vmics");
    if (!vmics) return std::nullopt;
    std::vector<std::string> labels;
    for (const Json& mic : *vmics)
        if (is_true(mic, "enabled")) labels.push_back(text_or(mic, "label", "?"));
    if (labels.empty()) return std::nullopt;
    return "Mics out:   " + join(labels, ", ");
}

Line live_tune_line(const Json& a) {
    const Json* tune = object(a, "tune");
    if (!tune) return std::nullopt;
    return "Live Tune:  " + on_off(is_true(*tune, "enabled")) + ", " + text_or(*tune, "keyName", "?") + " " +
           text_or(*tune, "scale", "?") + ", " + tune_tempo(number(*tune, "tempo")) + " BPM";
}

Line music_line(const Json& a) {
    const Json* harmony = object(a, "harmony");
    if (!harmony) return std::nullopt;
    std::vector<std::string> parts;
    if (is_true(*harmony, "enabled")) {
        const std::uint64_t voices = voice_count(*harmony);
        parts.push_back("harmony " + text_or(*harmony, "preset", "custom") + " (" + unsigned_text(voices) +
                        (voices == 1 ? " voice)" : " voices)"));
    }
    if (is_true(*harmony, "doubler")) parts.push_back("doubler");
    if (const std::string* pattern = text(*harmony, "pattern")) parts.push_back("pattern " + *pattern);
    if (parts.empty()) return std::nullopt;
    return "Music:      " + join(parts, ", ");
}

Line analyser_line(const Json& a) {
    const Json* music = object(a, "music");
    if (!music) return std::nullopt;
    std::vector<std::string> parts;
    if (is_true(*music, "enabled")) {
        const std::string* key_name = text(*music, "keyName");
        const std::string* scale = text(*music, "scale");
        const std::string key = key_name && scale ? *key_name + " " + *scale : "key not known yet";
        const std::optional<double> tempo = number(*music, "tempo");
        const std::string tempo_text = tempo ? ov::num::plain(*tempo) + " BPM" : "tempo not known yet";
        std::string part = text_or(*music, "status", "?") + " (" + key + ", " + tempo_text + ")";
        if (is_true(*music, "follow")) part += ", followed";
        if (is_true(*music, "lockKey")) part += ", key locked";
        parts.push_back(std::move(part));
    }
    if (is_true(*music, "echo")) parts.push_back("echo on");
    if (parts.empty()) return std::nullopt;
    return "Analyser:   " + join(parts, "; ");
}

// "<rack> <state>: <plug-in>, <plug-in> (bypassed), ..." for a rack that holds plug-ins.
std::optional<std::string> rack_line(const Json& rack) {
    const Json* plugins = array(rack, "plugins");
    if (!plugins || plugins->empty()) return std::nullopt;
    const std::string state = is_true(rack, "bypass") ? "bypassed" : text_or(rack, "status", "?");
    std::vector<std::string> names;
    for (const Json& plugin : *plugins) {
        std::string name = text_or(plugin, "name", "?");
        if (is_true(plugin, "disabled"))
            name += " (crashed, off)";
        else if (is_true(plugin, "bypass"))
            name += " (bypassed)";
        names.push_back(std::move(name));
    }
    return text_or(rack, "rack", "?") + " " + state + ": " + join(names, ", ");
}

Line plugins_line(const Json& a) {
    const Json* racks = array(a, "plugins");
    if (!racks) return std::nullopt;
    std::vector<std::string> lines;
    for (const Json& rack : *racks)
        if (auto line = rack_line(rack)) lines.push_back(std::move(*line));
    if (lines.empty()) return std::nullopt;
    return "Plugins:    " + join(lines, "; ");
}

Line loudness_line(const Json& a) {
    const Json* loudness = object(a, "loudness");
    if (!loudness) return std::nullopt;
    const std::optional<double> integrated = number(*loudness, "integrated");
    if (!is_true(*loudness, "live") && !integrated) return std::nullopt;
    std::string line = "Loudness:   " + text_or(*loudness, "point", "?") + " " +
                       (integrated ? ov::num::fixed(*integrated, 1) + " LUFS integrated" : "no integrated yet");
    const std::optional<double> delta = number(*loudness, "delta");
    const std::string* verdict = text(*loudness, "verdict");
    if (delta && verdict) line += ", " + *verdict + " target (" + ov::num::signed_fixed(*delta, 1) + " LU)";
    line += ", true peak " + ov::num::fixed(number(*loudness, "truePeakMax").value_or(kNoTruePeak), 1) + " dBTP";
    return line;
}

Line wet_monitor_line(const Json& a) {
    const Json* monitor = object(a, "monitorFx");
    if (!monitor || !is_true(*monitor, "enabled")) return std::nullopt;
    return "Wet monitor: on, heard on " + text_or(*monitor, "wetTo", "monitor");
}

Line compare_line(const Json& a) {
    const Json* compare = object(a, "compare");
    if (!compare) return std::nullopt;
    const std::string* focus = text(*compare, "focus");
    if (!focus) return std::nullopt;
    const std::string* active = text(*compare, "active");
    std::string line = "A/B:        " + *focus + " on " + (active ? ov::unicode::to_upper(*active) : "?");
    const std::optional<double> trim = number(*compare, "trimDb");
    if (trim && std::fabs(*trim) >= kSmallestTrimDb) line += " (matched " + ov::num::signed_fixed(*trim, 1) + " dB)";
    return line;
}

Line obs_line(const Json& a) {
    const Json* obs = object(a, "obs");
    if (!obs || !is_true(*obs, "enabled")) return std::nullopt;
    if (!is_true(*obs, "connected")) {
        const std::string* error = text(*obs, "error");
        return "OBS:        not connected" + (error ? " (" + *error + ")" : std::string());
    }
    std::vector<std::string> parts{"connected, scene " + quoted_or_none(*obs, "scene")};
    if (is_true(*obs, "recording")) parts.push_back("recording");
    if (is_true(*obs, "streaming")) parts.push_back("live");
    return "OBS:        " + join(parts, ", ");
}

// The report's lines in the order they print; each gives nothing when its area is absent.
constexpr Line (*kReportLines[])(const Json&) = {
    version_line,   mic_line,       chain_line,        profile_line,   scene_line,
    voice_line,     game_mode_line, recording_line,    replay_line,    levels_line,
    speakers_line,  ducking_line,   virtual_mics_line, live_tune_line, music_line,
    analyser_line,  plugins_line,   loudness_line,     wet_monitor_line, compare_line,
    obs_line,
};

}  // namespace

std::string status_report(const Json& answer) {
    std::vector<std::string> lines;
    for (const auto line_of : kReportLines)
        if (Line line = line_of(answer)) lines.push_back(std::move(*line));
    return join(lines, "\n");
}

}  // namespace ovctl
