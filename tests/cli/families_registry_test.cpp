// Every command word of the help text reaches a handler, and every family word (aliases
// included) is served by its family through the translator.
#include "families_cases.h"

#include "entry.h"
#include "translator.h"

#include <sstream>

namespace ovctl::family_tests {
namespace {

// The first word of each command line of the help text ("  tune [state] | on ...").
std::vector<std::string> help_command_words() {
    std::vector<std::string> words;
    std::istringstream lines{std::string(help_text())};
    std::string line;
    while (std::getline(lines, line)) {
        if (line.size() < 3 || line.compare(0, 2, "  ") != 0 || line[2] < 'a' || line[2] > 'z') continue;
        const auto end = line.find_first_of(" ", 2);
        words.push_back(line.substr(2, end == std::string::npos ? std::string::npos : end - 2));
    }
    return words;
}

bool is_unknown_command(const TranslatorResult& result) {
    const auto* error = std::get_if<CliError>(&result);
    return error != nullptr && error->message.rfind("Unknown command", 0) == 0;
}

TEST(FamiliesRegistry, EveryHelpCommandWordReachesAHandler) {
    const auto words = help_command_words();
    ASSERT_GT(words.size(), 40u);  // the help text was found and read
    for (const auto& word : words) {
        if (word == "help") continue;  // answered before any translation
        SCOPED_TRACE(word);
        EXPECT_FALSE(is_unknown_command(translate(GlobalOptions{}, {word})));
    }
}

// The help line "stems <take|file> ... dawproject <recording> ..." names a second command.
TEST(FamiliesRegistry, EveryFamilyWordReachesItsFamily) {
    const std::vector<std::vector<std::string>> families = {
        {"plugins", "plugin", "vst"},
        {"tune", "autotune"},
        {"harmony", "harmonizer"},
        {"doubler", "double"},
        {"echo", "delay"},
        {"meters", "meter", "loudness", "lufs"},
        {"takes", "take", "master", "transcribe", "stems", "dawproject"},
        {"music", "analyser", "analyzer"},
        {"karaoke", "sing"},
        {"song", "songs"},
        {"setup", "audio"},
        {"hpcal", "headphones"},
        {"monitorfx", "monfx", "wet"},
        {"unmask"},
        {"modulators", "modulator", "mod", "lfo"},
        {"reference", "ref", "match"},
        {"assistant", "macro", "macros"},
        {"ab", "compare"},
        {"chop"},
        {"dmca", "vodsafe"},
        {"instrument", "inst", "guitar"},
        {"looper", "loop"},
        {"midi"},
        {"lights", "light"},
        {"osc"},
        {"reactive", "feed"},
    };
    for (const auto& aliases : families) {
        const FamilyFn family = find_family(aliases.front());
        ASSERT_NE(family, nullptr) << aliases.front();
        for (const auto& word : aliases) {
            SCOPED_TRACE(word);
            EXPECT_EQ(find_family(word), family);
            EXPECT_FALSE(is_unknown_command(translate(GlobalOptions{}, {word})));
            // Typed in any case, the word reaches the same family.
            std::string upper = word;
            for (auto& c : upper) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
            EXPECT_FALSE(is_unknown_command(translate(GlobalOptions{}, {upper, "state"})));
        }
    }
    EXPECT_EQ(find_family("status"), nullptr);
    EXPECT_EQ(find_family("bogus"), nullptr);
    EXPECT_EQ(find_family("PLUGINS"), nullptr);  // the registry is given lower-cased words
}

// "(none)" in a family's table means no second word. An empty second word (a script's empty
// variable) is a subcommand no table lists: the family's refusal, never its state command.
TEST(FamiliesRegistry, AnEmptySubcommandIsRefusedNotTakenForNone) {
    expect_refusals({
        {{"plugins", ""}, "plugins takes state, list, scan, add, remove, move, bypass, retry, params, param, editor or "
                          "mode, not \"\""},
        {{"tune", ""}, "tune takes state, on, off, toggle, tap, key, scale, tempo, speed, humanize, mix, formant, tuner "
                       "or pattern, not \"\""},
        {{"harmony", ""}, "harmony takes state, on, off, toggle, preset or voice, not \"\""},
        {{"doubler", ""}, "doubler takes state, on, off, toggle, copies, delay, detune, width or mix, not \"\""},
        {{"echo", ""}, "echo takes state, on, off, toggle, time, feedback, tone or mix, not \"\""},
        {{"meters", ""}, "\"\" is not a meter point (micRaw, micOut, speakers, recorder)"},
        {{"takes", ""}, "takes takes list, jobs, job, cancel, master, transcribe, download, transcript, play, stems or "
                        "dawproject, not \"\""},
        {{"music", ""}, "music takes state, on, off, listen, follow or lock, not \"\""},
        {{"karaoke", ""}, "karaoke takes state, on, off, toggle, app, model, bleed, acapella, transpose, latency, file, "
                          "tempo, play, pause, stop, seek, download, score or set, not \"\""},
        {{"song", ""}, "song takes state, list, start, open, record, stop, keep, again, pro, adjust, save or cancel, "
                       "not \"\""},
        {{"setup", ""}, "setup takes state, mic, headphones, default, speakers, route, test, name or restore-names, "
                        "not \"\""},
        {{"hpcal", ""}, "hpcal takes state, on, off, toggle, import or remove, not \"\""},
        {{"monitorfx", ""}, "monitorfx takes state, on, off, toggle, to, reverb, decay, predelay, delay, feedback or "
                            "delaymix, not \"\""},
        {{"unmask", ""}, "unmask takes state, on, off, toggle, depth or band, not \"\""},
        {{"modulators", ""}, "modulators takes state, on, off, toggle or a slot 1-8, not \"\""},
        {{"reference", ""}, "reference takes list, import, capture, voice, select, delete, match, apply or cancel, not "
                            "\"\""},
        {{"assistant", ""}, "assistant takes state, shape, intensity, presence, warmth, centre or keep, not \"\""},
        {{"chop", ""}, "chop grab | play <id> [degree] | set <id> <formant|midi|low|high|chop> <value>"},
        {{"dmca", ""}, "dmca takes state, on, off, toggle, output, recorder, replay or warn, not \"\""},
        {{"instrument", ""}, "instrument takes state, on, off, toggle, device, model, cab or set, not \"\""},
        {{"looper", ""}, "looper takes state, on, off, cycle, record, overdub, play, stop, undo, redo, clear, release, "
                         "stop-all, play-all, undo-all, redo-all, clear-all, track, next, set or devices, not \"\""},
        {{"midi", ""}, "midi takes state, on, off, device, map, unmap, learn, notes, clock, targets or panic, not \"\""},
        {{"lights", ""}, "lights takes state, on, off, toggle, preset, colour, brightness, safe, hue, govee or set, not "
                         "\"\""},
        {{"osc", ""}, "osc takes state, on, off, target, rate, test or in, not \"\""},
        {{"reactive", ""}, "reactive takes frame, on, off or rate, not \"\""},
    });
}

// Deeper words keep the same distinction: an empty word is read as a word wherever one is.
TEST(FamiliesRegistry, AnEmptyLaterWordIsAWordToo) {
    expect_cases({
        // The A/B family names a block by any other word, the empty one included.
        {{"ab", ""}, "compare.toggle", R"({"block":""})", kAbState, ""},
        {{"song", "save", ""}, "song.save", R"({"format":""})", kConfirm, "Saved into the song's folder"},
        {{"harmony", "voice", "1", "interval", "2", ""}, "harmony.voice",
         R"({"enabled":true,"interval":2.0,"unit":"","voice":1})", kConfirm, "Harmony voice 1: interval 2"},
    });
    expect_refusals({
        {{"setup", "test", ""}, "setup test tone [device] | voice, not \"\""},
        {{"monitorfx", "reverb", ""}, "\"\" is not a number (the reverb's mix, 0 to 1)"},
        {{"midi", "learn", "action", "Push", ""}, "the press mode is press, hold or toggle, not \"\""},
        {{"music", "follow", ""}, "music follow takes on or off, not \"\""},
    });
}

}  // namespace
}  // namespace ovctl::family_tests
