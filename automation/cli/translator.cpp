#include "translator.h"

#include "families/families.h"
#include "inline_commands.h"
#include "words.h"

#include "ov/text.h"

#include <algorithm>
#include <iterator>
#include <string>

namespace ovctl {

namespace {

// Served by the family registered for the word rather than answered inline.
constexpr std::string_view kFamily = "";

// Every command word and alias (lower case) with the inline handler that answers it.
struct CommandWord {
    std::string_view word;
    std::string_view handler;
};

constexpr CommandWord kCommandWords[] = {
    {"status", "status"},
    {"mute", "mute"}, {"unmute", "unmute"},
    {"profile", "profile"}, {"profiles", "profile"},
    {"scene", "scene"}, {"scenes", "scene"},
    {"voice", "voice"},
    {"sound", "sound"}, {"sounds", "sound"},
    {"replay", "replay"},
    {"record", "record"},
    {"gamemode", "gamemode"}, {"game-mode", "gamemode"},
    {"anticheat", "anticheat"}, {"anti-cheat", "anticheat"}, {"safemode", "anticheat"}, {"safe-mode", "anticheat"},
    {"ducking", "ducking"},
    {"vmics", "vmics"},
    {"cohost", "cohost"}, {"cohosts", "cohost"},
    {"say", "say"},
    {"speak", "speak"},
    {"gaincal", "gaincal"}, {"calibrate-gain", "gaincal"},
    {"mode", "mode"}, {"modes", "mode"},
    {"obs", "obs"},
    {"action", "action"}, {"actions", "action"},
    {"volume", "volume"},
    {"get", "get"},
    {"set", "set"},
    {"call", "call"},
    {"snapshot", "snapshot"}, {"snapshots", "snapshot"}, {"snap", "snapshot"},

    // Plug-in racks.
    {"plugins", kFamily}, {"plugin", kFamily}, {"vst", kFamily},
    // Live Tune, harmony, doubler, echo.
    {"tune", kFamily}, {"autotune", kFamily}, {"harmony", kFamily}, {"harmonizer", kFamily},
    {"doubler", kFamily}, {"double", kFamily}, {"echo", kFamily}, {"delay", kFamily},
    // Meters and takes.
    {"meters", kFamily}, {"meter", kFamily}, {"loudness", kFamily}, {"lufs", kFamily},
    {"takes", kFamily}, {"take", kFamily}, {"master", kFamily}, {"transcribe", kFamily},
    {"stems", kFamily}, {"dawproject", kFamily},
    // Music analyser, karaoke, songs.
    {"music", kFamily}, {"analyser", kFamily}, {"analyzer", kFamily},
    {"karaoke", kFamily}, {"sing", kFamily}, {"song", kFamily}, {"songs", kFamily},
    // Audio setup and headphone calibration.
    {"setup", kFamily}, {"audio", kFamily}, {"hpcal", kFamily}, {"headphones", kFamily},
    // Wet monitor, unmask, modulators.
    {"monitorfx", kFamily}, {"monfx", kFamily}, {"wet", kFamily}, {"unmask", kFamily},
    {"modulators", kFamily}, {"modulator", kFamily}, {"mod", kFamily}, {"lfo", kFamily},
    // Reference, assistant, A/B compare.
    {"reference", kFamily}, {"ref", kFamily}, {"match", kFamily},
    {"assistant", kFamily}, {"macro", kFamily}, {"macros", kFamily}, {"ab", kFamily}, {"compare", kFamily},
    // Vocal chop and DMCA guard.
    {"chop", kFamily}, {"dmca", kFamily}, {"vodsafe", kFamily},
    // Instrument input and looper.
    {"instrument", kFamily}, {"inst", kFamily}, {"guitar", kFamily}, {"looper", kFamily}, {"loop", kFamily},
    // MIDI.
    {"midi", kFamily},
    // Lights, OSC, reactive feed.
    {"lights", kFamily}, {"light", kFamily}, {"osc", kFamily}, {"reactive", kFamily}, {"feed", kFamily},
};

const CommandWord* find_command_word(std::string_view word) {
    const auto found = std::find_if(std::begin(kCommandWords), std::end(kCommandWords),
                                    [&](const CommandWord& entry) { return entry.word == word; });
    return found == std::end(kCommandWords) ? nullptr : found;
}

TranslatorResult from_family(Result<Translation> result) {
    if (!result) return result.error();
    return std::move(result.value());
}

}  // namespace

TranslatorResult translate(const GlobalOptions& options, const Words& words) {
    const std::string word = words.empty() ? std::string() : ov::text::ascii_lower(words[0]);
    if (const CommandWord* entry = find_command_word(word)) {
        if (entry->handler != kFamily) return translate_inline(entry->handler, options, words);
        // A family that is not registered answers like a word that names no command.
        if (const FamilyFn family = find_family(word)) return from_family(family(words));
    }
    std::string message = "Unknown command \"";
    message += word;
    message += '"';
    return usage_error(message);
}

}  // namespace ovctl
