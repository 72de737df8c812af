#include "render.h"

#include "answer_fields.h"
#include "status_report.h"

#include "ov/numfmt.h"
#include "ov/unicode_case.h"

#include <charconv>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace ovctl {

namespace {

using answer::array;
using answer::is_true;
using answer::join;
using answer::number;
using answer::object;
using answer::text;
using answer::text_or;

constexpr double kDefaultTargetLufs = -16.0;
constexpr double kDefaultTruePeak = -1.0;
// Meter readings at or below this have not heard anything.
constexpr double kMeterFloor = -99.0;
// A level match smaller than this is shown as no match at all.
constexpr double kSmallestTrimDb = 0.05;

const Json kAbsent;  // stands for a missing inner object: every member reads as absent

std::string mute_text(const Json& a) { return is_true(a, "muted") ? "Microphone muted" : "Microphone live"; }

// Text elements as they are; objects by their name, else their id; anything else skipped.
std::string list_text(const Json& a) {
    if (!a.is_array()) return "(none)";
    std::vector<std::string> lines;
    for (const Json& element : a) {
        if (element.is_string()) {
            lines.push_back(element.get<std::string>());
        } else if (const std::string* name = text(element, "name")) {
            lines.push_back(*name);
        } else if (const std::string* id = text(element, "id")) {
            lines.push_back(*id);
        }
    }
    return lines.empty() ? "(none)" : join(lines, "\n");
}

std::string sounds_text(const Json& a) {
    const Json* sounds = array(a, "sounds");
    if (!sounds || sounds->empty()) return "(no sounds)";
    std::vector<std::string> lines;
    for (const Json& sound : *sounds)
        lines.push_back(answer::align_right(answer::json_text(answer::member(sound, "id")), 4) + "  " +
                        text_or(sound, "name", "?"));
    return join(lines, "\n");
}

// One decimal without a trailing ".0": 40 -> "40", -6.5 -> "-6.5", -0.04 -> "-0".
std::string level_value(double value) {
    std::string text = ov::num::fixed(value, 1);
    if (text.ends_with(".0")) text.resize(text.size() - 2);
    return text;
}

std::string level_text(const Json& a) {
    const std::optional<double> value = number(a, "value");
    const std::string* unit = text(a, "unit");
    return text_or(a, "label", "?") + ": " + (value ? level_value(*value) : "?") +
           (unit && *unit == "dB" ? " dB" : "%") + (is_true(a, "muted") ? " (muted)" : "");
}

// An array index: unsigned decimal digits with one optional leading "+".
std::optional<std::size_t> array_index(std::string_view piece) {
    if (piece.starts_with('+')) piece.remove_prefix(1);
    if (piece.empty()) return std::nullopt;
    for (char c : piece)
        if (c < '0' || c > '9') return std::nullopt;
    std::size_t index = 0;
    const auto result = std::from_chars(piece.data(), piece.data() + piece.size(), index);
    if (result.ec != std::errc() || result.ptr != piece.data() + piece.size()) return std::nullopt;
    return index;
}

// The value a dotted path selects, or nothing when a piece finds nothing.
const Json* follow_path(const Json& root, std::string_view path) {
    const Json* current = &root;
    while (true) {
        const std::size_t dot = path.find('.');
        const std::string_view piece = path.substr(0, dot);
        if (current->is_object()) {
            const auto found = current->find(std::string(piece));
            if (found == current->end()) return nullptr;
            current = &*found;
        } else if (current->is_array()) {
            const std::optional<std::size_t> index = array_index(piece);
            if (!index || *index >= current->size()) return nullptr;
            current = &(*current)[*index];
        } else {
            return nullptr;
        }
        if (dot == std::string_view::npos) return current;
        path.remove_prefix(dot + 1);
    }
}

std::string param_value_text(const std::string& path, const Json& a) {
    const Json* found = follow_path(a, path);
    if (!found) return "(no parameter \"" + path + "\")";
    return found->is_string() ? found->get<std::string>() : ov::to_compact_json(*found);
}

// A meter reading in one decimal, or "-" when the meter has heard nothing.
std::string meter_reading(const Json& point, const char* key, std::size_t width) {
    const std::optional<double> value = number(point, key);
    return answer::align_right(value && *value > kMeterFloor ? ov::num::fixed(*value, 1) : "-", width);
}

std::string meter_verdict(const Json& point, double target) {
    const std::optional<double> delta = number(point, "delta");
    const std::string* verdict = text(point, "verdict");
    if (!delta || !verdict) return "no reading yet";
    if (*verdict == "on") return "on target (" + ov::num::signed_fixed(*delta, 1) + ")";
    return ov::num::fixed(std::fabs(*delta), 1) + " LU " + *verdict + " " + ov::num::plain(target);
}

std::string meter_line(const Json& point, double target) {
    return answer::align_left(text_or(point, "point", "?"), 10) + " M " + meter_reading(point, "momentary", 6) +
           "  S " + meter_reading(point, "shortTerm", 6) + "  I " + meter_reading(point, "integrated", 6) +
           " LUFS  LRA " + meter_reading(point, "lra", 4) + "  TP " + meter_reading(point, "truePeakMax", 5) +
           " dBTP" + (is_true(point, "truePeakOver") ? " (over)" : "") + "  " + meter_verdict(point, target) +
           (is_true(point, "live") ? "" : "  (quiet)");
}

std::string meters_text(const std::optional<std::string>& wanted_point, const Json& a) {
    const double target = number(a, "target").value_or(kDefaultTargetLufs);
    std::vector<std::string> lines;
    if (const Json* points = array(a, "points")) {
        for (const Json& point : *points) {
            const bool shown = wanted_point ? (text(point, "point") && *text(point, "point") == *wanted_point)
                                            : (is_true(point, "live") || number(point, "integrated"));
            if (shown) lines.push_back(meter_line(point, target));
        }
    }
    if (lines.empty())
        return "No meter has heard anything yet (target " + ov::num::plain(target) + " LUFS, true peak " +
               ov::num::plain(number(a, "truePeak").value_or(kDefaultTruePeak)) + " dBTP)";
    return join(lines, "\n");
}

std::string gain_text(const Json& block, const char* key) {
    const std::optional<double> gain = number(block, key);
    return gain ? ov::num::signed_fixed(*gain, 1) + " dB" : "measuring";
}

std::optional<std::string> optional_text(const Json& value, const char* key) {
    const std::string* t = text(value, key);
    return t ? std::optional<std::string>(*t) : std::nullopt;
}

std::string ab_state_text(const Json& a) {
    const Json* blocks = array(a, "blocks");
    if (!blocks || blocks->empty())
        return "No A/B open (ovctl ab <block>; blocks: compressor, voice, tune, chain \u2026)";
    // An absent id matches an absent focus.
    const std::optional<std::string> focus = optional_text(a, "focus");
    std::vector<std::string> lines;
    for (const Json& block : *blocks) {
        const std::string* active = text(block, "active");
        const std::optional<double> trim = number(block, "trimDb");
        lines.push_back(std::string(optional_text(block, "id") == focus ? "* " : "  ") +
                        text_or(block, "label", "?") + ": on " + (active ? ov::unicode::to_upper(*active) : "?") +
                        (is_true(block, "differs") ? "" : ", A = B") + "  (A " + gain_text(block, "gainA") +
                        ", B " + gain_text(block, "gainB") +
                        (trim && std::fabs(*trim) >= kSmallestTrimDb
                             ? "; matched " + ov::num::signed_fixed(*trim, 1) + " dB in your headphones"
                             : "") +
                        ")");
    }
    return join(lines, "\n");
}

// The devices of the setup check, in the order they are listed.
constexpr const char* kSetupDevices[] = {"mic", "headphones", "ovMic", "ovSpeakers"};

struct StatusMark {
    const char* status;
    const char* mark;
};
constexpr StatusMark kSetupMarks[] = {{"ok", "ok  "}, {"warn", "!   "}};
constexpr const char* kSetupFailedMark = "XX  ";

const char* setup_mark(const Json& row) {
    if (const std::string* status = text(row, "status"))
        for (const StatusMark& entry : kSetupMarks)
            if (*status == entry.status) return entry.mark;
    return kSetupFailedMark;
}

std::string setup_report_text(const Json& a) {
    if (const std::string* message = text(a, "message")) return *message;
    const Json* rows = object(a, "rows");
    std::vector<std::string> lines;
    for (const char* device : kSetupDevices) {
        const Json* found = rows ? answer::member(*rows, device) : nullptr;
        const Json& row = found ? *found : kAbsent;
        const Json* fix = object(row, "fix");
        const std::string* fix_label = fix ? text(*fix, "label") : nullptr;
        lines.push_back(setup_mark(row) + text_or(row, "title", device) + ": " + text_or(row, "detail", "") +
                        (fix_label ? "  [fix: " + *fix_label + "]" : ""));
    }
    if (const Json* summary = array(a, "summary")) {
        lines.emplace_back();
        for (const Json& entry : *summary)
            if (entry.is_string()) lines.push_back(entry.get<std::string>());
    }
    if (const std::string* error = text(a, "error")) lines.push_back("Error: " + *error);
    return join(lines, "\n");
}

// One overload per render kind; the answer is read only where the kind needs it.
struct Renderer {
    const Json& answer;

    std::string operator()(const render::Status&) const { return status_report(answer); }
    std::string operator()(const render::Mute&) const { return mute_text(answer); }
    std::string operator()(const render::Confirm& kind) const { return kind.text; }
    std::string operator()(const render::List&) const { return list_text(answer); }
    std::string operator()(const render::Sounds&) const { return sounds_text(answer); }
    std::string operator()(const render::Level&) const { return level_text(answer); }
    std::string operator()(const render::ParamValue& kind) const { return param_value_text(kind.path, answer); }
    std::string operator()(const render::Meters& kind) const { return meters_text(kind.point, answer); }
    std::string operator()(const render::AbState&) const { return ab_state_text(answer); }
    std::string operator()(const render::SetupReport&) const { return setup_report_text(answer); }
    std::string operator()(const render::Json&) const { return ov::to_pretty_json(answer); }
};

}  // namespace

std::string render_answer(const RenderKind& kind, const Json& answer) { return std::visit(Renderer{answer}, kind); }

}  // namespace ovctl
