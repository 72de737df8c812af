// `ovctl meters ...` (loudness meters and target) and `ovctl takes ...` (recordings and the
// jobs that write new files beside them).
#include "family_functions.h"
#include "validators.h"

#include "../words.h"
#include "ov/text.h"

namespace ovctl::families {
namespace {

// ---- Meters ------------------------------------------------------------------------------

struct LoudnessTarget {
    std::string_view word;
    std::string_view target;
};

constexpr LoudnessTarget kLoudnessTargets[] = {
    {"mono", "podcastMono"}, {"podcastmono", "podcastMono"}, {"podcast", "podcastStereo"},
    {"podcaststereo", "podcastStereo"}, {"stream", "stream"}, {"twitch", "stream"},
    {"youtube", "youtube"}, {"apple", "apple"},
};

Translation all_meters(std::string command, Json args = Json::object()) {
    return shown_as(render::Meters{}, std::move(command), std::move(args));
}

Result<Translation> meters_target(const Words& words) {
    auto word = required_word(words, 2, "a target: podcast, mono, stream, youtube, apple or a LUFS figure");
    if (!word) return word.error();
    const auto lowered = ov::text::ascii_lower(*word);
    for (const auto& entry : kLoudnessTargets)
        if (entry.word == lowered) return all_meters("meters.target", {{"target", entry.target}});
    if (auto lufs = parse_decimal(*word))
        return all_meters("meters.target", {{"target", "custom"}, {"customLufs", number_json(*lufs)}});
    return usage_error(
        fill("meters target takes podcast, mono, stream, youtube, apple or a LUFS figure, not \"{}\"", {lowered}));
}

Result<Translation> meters_reset(const Words& words) {
    auto word = word_at(words, 2);
    if (!word) return confirm("meters.reset", Json::object(), "Integrated loudness reset on every meter");
    auto point = meter_point(*word);
    if (!point) return point.error();
    return confirm("meters.reset", {{"point", *point}}, "Integrated loudness reset on " + *point);
}

// ---- Takes -------------------------------------------------------------------------------

// The command words that are themselves a takes subcommand.
constexpr std::string_view kTakesCommandWords[] = {"master", "transcribe", "stems", "dawproject"};

constexpr std::string_view kQueued = "; ovctl takes jobs shows the progress";

std::string queued(std::string_view what) { return std::string(what) + std::string(kQueued); }

Result<Translation> master(const Words& words, std::size_t first) {
    auto take = take_at(words, first);
    if (!take) return take.error();
    Json args = Json::object();
    for (std::size_t i = take->next; i < words.size(); ++i) {
        const auto option = ov::text::ascii_lower(words[i]);
        if (option == "mono") {
            args["mono"] = true;
        } else if (option == "vod") {
            args["source"] = "vod";
        } else if (option == "tonal") {
            auto curve = trimmed_text_from(words, i + 1);
            if (curve.empty()) return usage_error("Missing a target curve name, e.g. Warm broadcast");
            args["tonal"] = curve;
            break;
        } else if (auto lufs = parse_single(option)) {
            args["target"] = "custom";
            args["lufs"] = number_json(*lufs);
        } else {
            args["target"] = option;
        }
    }
    if (ov::text::ascii_lower(take->text) == "last") {
        if (!args.contains("target")) args["target"] = "spotify";
        return confirm("takes.masterLast", std::move(args), queued("Master of the last take queued"));
    }
    args["take"] = take->text;
    return confirm("takes.master", std::move(args), queued("Master queued"));
}

Result<Translation> transcribe(const Words& words, std::size_t first) {
    auto take = take_at(words, first);
    if (!take) return take.error();
    auto model = word_at(words, take->next).value_or("base.en");
    auto language = word_at(words, take->next + 1).value_or("auto");
    return confirm("takes.transcribe", {{"take", take->text}, {"model", model}, {"language", language}},
                   queued("Transcript queued"));
}

// The take or file may hold spaces: a model word is recognised only at the very end.
Result<Translation> stems(const Words& words, std::size_t first) {
    const auto text = trimmed_text_from(words, first);
    if (text.empty()) return usage_error("Missing a take or a file");
    std::string take = text;
    std::string model = "auto";
    if (const auto space = text.rfind(' '); space != std::string::npos) {
        const auto last = std::string_view(text).substr(space + 1);
        if (last == "auto" || last == "center" || last == "spleeter" || last == "waveform") {
            model = std::string(last);
            take = text.substr(0, space);
        }
    }
    return confirm("takes.stems", {{"take", take}, {"model", model}}, queued("Stem split queued"));
}

Result<Translation> dawproject(const Words& words, std::size_t first) {
    auto take = take_at(words, first);
    if (!take) return take.error();
    auto markers = word_at(words, take->next).value_or("chapters");
    return confirm("takes.dawproject", {{"take", take->text}, {"markers", markers}},
                   queued("DAWproject export queued"));
}

Result<Translation> transcript(const Words& words, std::size_t first) {
    auto take = take_at(words, first);
    if (!take) return take.error();
    return shown_as_json("takes.transcript", {{"take", take->text}, {"q", joined_from(words, take->next)}});
}

Result<Translation> play(const Words& words, std::size_t first) {
    auto take = take_at(words, first);
    if (!take) return take.error();
    auto seconds = seconds_at(words, take->next);
    if (!seconds) return seconds.error();
    return confirm("takes.playAt", {{"take", take->text}, {"at", number_json(*seconds)}},
                   fill("Playing from {} s on your headphones", {plain(*seconds)}));
}

}  // namespace

Result<Translation> meters(const Words& words) {
    const auto sub = subcommand(words);
    if (!sub) return all_meters("meters.loudness");
    if (sub == "suite") return shown_as_json("meters.suite");
    if (sub == "reset") return meters_reset(words);
    if (sub == "target") return meters_target(words);
    if (sub == "truepeak" || sub == "tp") {
        auto ceiling = true_peak_ceiling_at(words, 2);
        if (!ceiling) return ceiling.error();
        return all_meters("meters.target", {{"truePeak", number_json(*ceiling)}});
    }
    if (sub == "readout") {
        auto word = required_word(words, 2, "the meter point");
        if (!word) return word.error();
        auto point = meter_point(*word);
        if (!point) return point.error();
        return shown_as(render::Meters{*point}, "meters.target", {{"readout", *point}});
    }
    // Any other subcommand names the meter point to read.
    auto point = meter_point(*sub);
    if (!point) return point.error();
    return shown_as(render::Meters{*point}, "meters.loudness");
}

Result<Translation> takes(const Words& words) {
    std::optional<std::string> sub = lower_word_at(words, 0);
    std::size_t first = 1;
    bool command_word_is_sub = false;
    for (auto word : kTakesCommandWords) command_word_is_sub = command_word_is_sub || word == sub;
    if (!command_word_is_sub) {
        sub = subcommand(words);
        first = 2;
    }
    if (!sub || sub == "list") return shown_as_json("takes.list");
    if (sub == "jobs") return shown_as_json("takes.jobs");
    if (sub == "job" || sub == "cancel") {
        auto id = job_number_at(words, first);
        if (!id) return id.error();
        if (sub == "job") return shown_as_json("takes.job", {{"id", *id}});
        return confirm("takes.cancel", {{"id", *id}}, "Cancelled");
    }
    if (sub == "download") {
        auto model = required_word(words, first, "a model: tiny.en, tiny, base.en, base, small.en or small");
        if (!model) return model.error();
        return confirm("takes.download", {{"model", *model}},
                       fill("Download of whisper {} queued; ovctl takes jobs shows the progress", {*model}));
    }
    if (sub == "transcript") return transcript(words, first);
    if (sub == "play") return play(words, first);
    if (sub == "master") return master(words, first);
    if (sub == "transcribe") return transcribe(words, first);
    if (sub == "stems" || sub == "split") return stems(words, first);
    if (sub == "dawproject" || sub == "daw") return dawproject(words, first);
    return unknown_subcommand(
        "takes", "list, jobs, job, cancel, master, transcribe, download, transcript, play, stems or dawproject", sub);
}

}  // namespace ovctl::families
