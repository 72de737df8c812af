// The translator: command words and aliases, every inline command, the refusals and the
// decimal number words.
#include "translator.h"

#include "families/families.h"
#include "inline_commands.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace ovctl {
namespace {

const std::string kHint = "\nRun `ovctl help` for the commands.";

// Render kinds by their number.
constexpr std::size_t kStatus = 0, kMute = 1, kConfirm = 2, kList = 3, kSounds = 4, kLevel = 5,
                      kParamValue = 6, kJson = 10;

std::string joined(const Words& words) {
    std::string out;
    for (const std::string& word : words) out += "[" + word + "]";
    return out;
}

// The text a render kind carries, "" for kinds without one.
std::string payload(const RenderKind& kind) {
    if (const auto* confirm = std::get_if<render::Confirm>(&kind)) return confirm->text;
    if (const auto* param = std::get_if<render::ParamValue>(&kind)) return param->path;
    if (const auto* meters = std::get_if<render::Meters>(&kind)) return meters->point.value_or("");
    return "";
}

GlobalOptions no_options() { return GlobalOptions{}; }

struct CommandCase {
    Words words;
    GlobalOptions options;
    std::string command;
    std::string args;  // compact JSON, keys sorted
    std::size_t kind;
    std::string payload;
};

std::vector<CommandCase> inline_command_cases() {
    const GlobalOptions none = no_options();
    GlobalOptions raw_voice;
    raw_voice.raw = true;
    raw_voice.voice = "Anna Maria";
    GlobalOptions hold_sound;
    hold_sound.mode = "hold";
    hold_sound.sound = 4;
    GlobalOptions press_toggle;
    press_toggle.press = Press::Press;
    press_toggle.mode = "toggle";
    GlobalOptions release;
    release.press = Press::Release;
    GlobalOptions unrelated;  // options that only other commands read
    unrelated.raw = true;
    unrelated.sound = 9;
    unrelated.press = Press::Press;

    return {
        {{"status"}, none, "status", "{}", kStatus, ""},
        {{"status", "anything", "else"}, unrelated, "status", "{}", kStatus, ""},
        {{"STATUS"}, none, "status", "{}", kStatus, ""},

        {{"mute"}, none, "mute.get", "{}", kMute, ""},
        {{"mute", "on"}, none, "mute.set", R"({"muted":true})", kMute, ""},
        {{"MUTE", "ON"}, none, "mute.set", R"({"muted":true})", kMute, ""},
        {{"mute", "ON"}, none, "mute.set", R"({"muted":true})", kMute, ""},
        {{"mute", "off"}, none, "mute.set", R"({"muted":false})", kMute, ""},
        {{"mute", "Toggle"}, none, "mute.toggle", "{}", kMute, ""},
        {{"unmute"}, none, "mute.set", R"({"muted":false})", kMute, ""},
        {{"Unmute", "on"}, none, "mute.set", R"({"muted":false})", kMute, ""},

        {{"profile"}, none, "profile.list", "{}", kList, ""},
        {{"profiles", "list"}, none, "profile.list", "{}", kList, ""},
        {{"profile", "load", "My", "Voice", "Warm"}, none, "profile.load", R"({"name":"My Voice Warm"})", kConfirm,
         "Loaded mic profile \"My Voice Warm\""},
        {{"profile", "LOAD", " Spaced  Name "}, none, "profile.load", R"({"name":"Spaced  Name"})", kConfirm,
         "Loaded mic profile \"Spaced  Name\""},

        {{"scene"}, none, "scene.list", "{}", kList, ""},
        {{"scenes", "list"}, none, "scene.list", "{}", kList, ""},
        {{"scene", "apply", "Late", "Night"}, none, "scene.apply", R"({"name":"Late Night"})", kConfirm,
         "Applied scene \"Late Night\""},
        {{"scene", "load", "Day"}, none, "scene.apply", R"({"name":"Day"})", kConfirm, "Applied scene \"Day\""},

        {{"voice"}, none, "voice.presets", "{}", kList, ""},
        {{"voice", "list"}, none, "voice.presets", "{}", kList, ""},
        {{"voice", "load", "Deep", "Robot"}, none, "voice.load", R"({"name":"Deep Robot"})", kConfirm,
         "Loaded voice preset \"Deep Robot\""},
        {{"voice", "next"}, none, "voice.step", R"({"delta":1})", kConfirm, "Next voice preset"},
        {{"voice", "prev"}, none, "voice.step", R"({"delta":-1})", kConfirm, "Previous voice preset"},
        {{"voice", "previous"}, none, "voice.step", R"({"delta":-1})", kConfirm, "Previous voice preset"},
        {{"voice", "on"}, none, "engine.set", R"({"path":"voice.enabled","value":true})", kConfirm,
         "Voice effects on"},
        {{"voice", "off"}, none, "engine.set", R"({"path":"voice.enabled","value":false})", kConfirm,
         "Voice effects off"},

        {{"sound"}, none, "sound.list", "{}", kSounds, ""},
        {{"sounds", "list"}, none, "sound.list", "{}", kSounds, ""},
        {{"sound", "play", "3"}, none, "sound.play", R"({"id":3})", kConfirm, "Playing sound #3"},
        {{"sound", "play", "+007"}, none, "sound.play", R"({"id":7})", kConfirm, "Playing sound #7"},
        {{"sound", "play", "4294967295"}, none, "sound.play", R"({"id":4294967295})", kConfirm,
         "Playing sound #4294967295"},
        {{"sound", "STOP", "12"}, none, "sound.stop", R"({"id":12})", kConfirm, "Stopped sound #12"},
        {{"sound", "random"}, none, "sound.random", "{}", kConfirm, "Playing a random sound"},
        {{"sound", "stopall"}, none, "sound.stopAll", "{}", kConfirm, "Stopped every sound"},
        {{"sound", "stop-all"}, none, "sound.stopAll", "{}", kConfirm, "Stopped every sound"},

        {{"replay"}, none, "replay.save", "{}", kJson, ""},
        {{"replay", "save"}, none, "replay.save", "{}", kJson, ""},

        {{"record", "start"}, none, "record.start", "{}", kConfirm, "Recording everything"},
        {{"record", "stop"}, none, "record.stop", "{}", kConfirm,
         "Recording stopped; the files are in Orvia's Record page"},
        {{"record", "toggle"}, none, "record.toggle", "{}", kConfirm, "Recording toggled"},

        {{"gamemode"}, none, "gamemode.state", "{}", kJson, ""},
        {{"game-mode", "on"}, none, "gamemode.set", R"({"on":true})", kConfirm, "Game mode on"},
        {{"gamemode", "off"}, none, "gamemode.set", R"({"on":false})", kConfirm, "Game mode off"},
        {{"gamemode", "auto"}, none, "gamemode.set", R"({"on":null})", kConfirm, "Game mode follows game detection"},
        {{"gamemode", "toggle"}, none, "gamemode.toggle", "{}", kConfirm, "Game mode toggled"},

        {{"anticheat"}, none, "anticheat.state", "{}", kJson, ""},
        {{"anti-cheat", "state"}, none, "anticheat.state", "{}", kJson, ""},
        {{"safemode", "on"}, none, "anticheat.safeMode", R"({"mode":"always"})", kConfirm,
         "Anti-cheat safe mode: always"},
        {{"safe-mode", "OFF"}, none, "anticheat.safeMode", R"({"mode":"off"})", kConfirm, "Anti-cheat safe mode: off"},
        {{"anticheat", "auto"}, none, "anticheat.safeMode", R"({"mode":"auto"})", kConfirm,
         "Anti-cheat safe mode: auto"},
        {{"anticheat", "Always"}, none, "anticheat.safeMode", R"({"mode":"always"})", kConfirm,
         "Anti-cheat safe mode: always"},
        {{"anticheat", "toggle"}, none, "anticheat.safeMode", "{}", kConfirm, "Anti-cheat safe mode toggled"},

        {{"ducking"}, none, "ducking.list", "{}", kJson, ""},
        {{"ducking", "on"}, none, "ducking.enable", R"({"enabled":true})", kConfirm, "Ducking on"},
        {{"ducking", "off"}, none, "ducking.enable", R"({"enabled":false})", kConfirm, "Ducking off"},
        {{"ducking", "presets"}, none, "ducking.presets", "{}", kList, ""},
        {{"ducking", "preset", "Music", "Low"}, none, "ducking.preset.apply", R"({"name":"Music Low"})", kConfirm,
         "Ducking \"Music Low\" on"},

        {{"vmics"}, none, "vmics.presets", "{}", kList, ""},
        {{"vmics", "presets"}, none, "vmics.presets", "{}", kList, ""},
        {{"vmics", "preset", "twoCalls", "ignored"}, none, "vmics.preset.apply", R"({"preset":"twoCalls"})",
         kConfirm, "Applied virtual mic preset \"twoCalls\""},
        {{"vmics", "state"}, none, "vmics.state", "{}", kJson, ""},

        {{"cohost"}, none, "cohost.state", "{}", kJson, ""},
        {{"cohosts", "state"}, none, "cohost.state", "{}", kJson, ""},
        {{"cohost", "mute", "2"}, none, "cohost.mute", R"({"mic":2})", kJson, ""},
        {{"cohost", "mute", "9", "on"}, none, "cohost.mute", R"({"mic":9,"muted":true})", kJson, ""},
        {{"cohost", "MUTE", "+03", "off", "ignored"}, none, "cohost.mute", R"({"mic":3,"muted":false})", kJson, ""},
        {{"cohost", "automix"}, none, "cohost.automix", "{}", kJson, ""},
        {{"cohost", "automix", "on"}, none, "cohost.automix", R"({"on":true})", kJson, ""},
        {{"cohost", "automix", "off"}, none, "cohost.automix", R"({"on":false})", kJson, ""},

        {{"say", "be", "right", "back"}, none, "speak.say", R"({"text":"be right back"})", kConfirm,
         "Saying \"be right back\""},
        {{"SAY", "Hello", "There"}, raw_voice, "speak.say", R"({"raw":true,"text":"Hello There","voice":"Anna Maria"})",
         kConfirm, "Saying \"Hello There\""},

        {{"speak"}, none, "speak.state", "{}", kJson, ""},
        {{"speak", "state"}, none, "speak.state", "{}", kJson, ""},
        {{"speak", "stop"}, none, "speak.stop", "{}", kConfirm, "Stopped speaking"},
        {{"speak", "voices"}, none, "speak.voices", "{}", kJson, ""},

        {{"gaincal"}, none, "gaincal.state", "{}", kJson, ""},
        {{"calibrate-gain", "state"}, none, "gaincal.state", "{}", kJson, ""},
        {{"gaincal", "start"}, none, "gaincal.start", "{}", kConfirm,
         "Gain calibration started: read the sentence on screen, then your loudest line"},
        {{"gaincal", "apply"}, none, "gaincal.apply", "{}", kConfirm,
         "Gain calibration applied; auto gain takes it from here"},
        {{"gaincal", "cancel"}, none, "gaincal.cancel", "{}", kConfirm, "Gain calibration cancelled"},

        {{"mode"}, none, "output.mode.list", "{}", kList, ""},
        {{"modes", "list"}, none, "output.mode.list", "{}", kList, ""},
        {{"mode", "load", "Headphones", "Only"}, none, "output.mode.load", R"({"name":"Headphones Only"})", kConfirm,
         "Loaded output mode \"Headphones Only\""},

        {{"obs"}, none, "obs.state", "{}", kJson, ""},
        {{"obs", "status"}, none, "obs.state", "{}", kJson, ""},
        {{"obs", "scenes"}, none, "obs.scenes", "{}", kList, ""},
        {{"obs", "scene", "Just", "Chatting"}, none, "obs.scene.set", R"({"scene":"Just Chatting"})", kConfirm,
         "OBS switched to \"Just Chatting\""},

        {{"action"}, hold_sound, "action.list", "{}", kJson, ""},
        {{"actions", "LIST"}, none, "action.list", "{}", kJson, ""},
        {{"action", "PushToTalk", "ignored"}, none, "action.run", R"({"action":"PushToTalk"})", kConfirm,
         "Ran PushToTalk"},
        {{"action", "push"}, hold_sound, "action.run", R"({"action":"push","mode":"hold","soundId":4})", kConfirm,
         "Ran push"},
        {{"action", "push"}, press_toggle, "action.run", R"({"action":"push","mode":"toggle","pressed":true})",
         kConfirm, "Ran push"},
        {{"action", "push"}, release, "action.run", R"({"action":"push","pressed":false})", kConfirm, "Ran push"},

        {{"volume", "mic"}, none, "volume.get", R"({"target":"mic"})", kLevel, ""},
        {{"volume", "app:Game.exe"}, none, "volume.get", R"({"target":"app:Game.exe"})", kLevel, ""},
        {{"volume", "mic", "40"}, none, "volume.set", R"({"target":"mic","value":40.0})", kLevel, ""},
        {{"volume", "mic", "+5"}, none, "volume.step", R"({"delta":5.0,"target":"mic"})", kLevel, ""},
        {{"volume", "mic", "-5"}, none, "volume.step", R"({"delta":-5.0,"target":"mic"})", kLevel, ""},
        {{"volume", "mic", "++2.5"}, none, "volume.step", R"({"delta":2.5,"target":"mic"})", kLevel, ""},
        {{"volume", "speakers", "12.25"}, none, "volume.set", R"({"target":"speakers","value":12.25})", kLevel, ""},
        {{"volume", "mic", ".5"}, none, "volume.set", R"({"target":"mic","value":0.5})", kLevel, ""},
        {{"volume", "mic", "1e1"}, none, "volume.set", R"({"target":"mic","value":10.0})", kLevel, ""},
        {{"volume", "mic", "inf"}, none, "volume.set", R"({"target":"mic","value":null})", kLevel, ""},
        {{"volume", "mic", "-Infinity"}, none, "volume.step", R"({"delta":null,"target":"mic"})", kLevel, ""},
        {{"volume", "mic", "NaN"}, none, "volume.set", R"({"target":"mic","value":null})", kLevel, ""},
        {{"volume", "mic", "1e999"}, none, "volume.set", R"({"target":"mic","value":null})", kLevel, ""},
        {{"volume", "mic", "mute"}, none, "volume.mute", R"({"mute":true,"target":"mic"})", kLevel, ""},
        {{"volume", "mic", "unmute"}, none, "volume.mute", R"({"mute":false,"target":"mic"})", kLevel, ""},

        {{"get", "compressor.threshold"}, none, "engine.params", "{}", kParamValue, "compressor.threshold"},
        {{"GET", "Compressor.Threshold"}, none, "engine.params", "{}", kParamValue, "Compressor.Threshold"},

        {{"set", "compressor.threshold", "-20"}, none, "engine.set", R"({"path":"compressor.threshold","value":-20})",
         kConfirm, "compressor.threshold = -20"},
        {{"set", "voice.preset", "warm"}, none, "engine.set", R"({"path":"voice.preset","value":"warm"})", kConfirm,
         "voice.preset = warm"},
        {{"set", "eq.bands", "[1,2]"}, none, "engine.set", R"({"path":"eq.bands","value":[1,2]})", kConfirm,
         "eq.bands = [1,2]"},
        // A placeholder-like path is text like any other.
        {{"set", "a{}", "1"}, none, "engine.set", R"({"path":"a{}","value":1})", kConfirm, "a{} = 1"},

        {{"call", "sound.play", R"({"id":3})"}, none, "sound.play", R"({"id":3})", kJson, ""},
        {{"call", "sound.play", "3"}, none, "sound.play", "3", kJson, ""},
        {{"call", "sound.play", " [true] "}, none, "sound.play", "[true]", kJson, ""},
        {{"call", "Status"}, none, "Status", "{}", kJson, ""},

        {{"snapshot"}, none, "snapshot.list", "{}", kList, ""},
        {{"snapshots", "list"}, none, "snapshot.list", "{}", kList, ""},
        {{"snap", "save", "Before", "Show"}, none, "snapshot.save", R"({"name":"Before Show"})", kConfirm,
         "Saved snapshot \"Before Show\""},
        {{"snapshot", "load", "base"}, none, "snapshot.load", R"({"name":"base"})", kConfirm,
         "Loaded snapshot \"base\""},
        {{"snapshot", "delete", "old"}, none, "snapshot.delete", R"({"name":"old"})", kConfirm,
         "Deleted snapshot \"old\""},
        {{"snapshot", "compare", "base"}, none, "snapshot.compare", R"({"name":"base"})", kConfirm,
         "Comparing with \"base\" (now on B; ovctl ab switches)"},
    };
}

TEST(Translate, InlineCommandsBuildTheirCommandArgumentsAndRenderKind) {
    for (const CommandCase& c : inline_command_cases()) {
        SCOPED_TRACE(joined(c.words));
        const TranslatorResult result = translate(c.options, c.words);
        const auto* translation = std::get_if<Translation>(&result);
        if (!translation) {
            const auto* error = std::get_if<CliError>(&result);
            ADD_FAILURE() << "not a translation: " << (error ? error->message : "a sound by name");
            continue;
        }
        EXPECT_EQ(translation->command, c.command);
        EXPECT_EQ(ov::to_compact_json(translation->args), c.args);
        EXPECT_EQ(translation->kind.index(), c.kind);
        EXPECT_EQ(payload(translation->kind), c.payload);
    }
}

TEST(Translate, DecimalLevelsGoOutAsFloatingNumbers) {
    const TranslatorResult result = translate(no_options(), {"volume", "mic", "40"});
    const auto& args = std::get<Translation>(result).args;
    ASSERT_TRUE(args.contains("value"));
    EXPECT_TRUE(args["value"].is_number_float());
}

TEST(Translate, SoundNamesThatAreNotIdsAreResolvedLater) {
    struct Case {
        Words words;
        std::string name;
        bool play;
    };
    const Case cases[] = {
        {{"sound", "play", "applause"}, "applause", true},
        {{"sound", "stop", "applause"}, "applause", false},
        {{"sounds", "PLAY", "Big", "Applause"}, "Big Applause", true},
        {{"sound", "play", "  Air  Horn "}, "Air  Horn", true},
        // Past 32 bits, signed or joined numbers are names, not ids.
        {{"sound", "play", "4294967296"}, "4294967296", true},
        {{"sound", "play", "-1"}, "-1", true},
        {{"sound", "stop", "3", "4"}, "3 4", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(joined(c.words));
        const TranslatorResult result = translate(no_options(), c.words);
        const auto* by_name = std::get_if<SoundByName>(&result);
        ASSERT_NE(by_name, nullptr);
        EXPECT_EQ(by_name->name, c.name);
        EXPECT_EQ(by_name->play, c.play);
    }
}

struct RefusalCase {
    Words words;
    std::string message;  // without the hint line
};

std::vector<RefusalCase> refusal_cases() {
    return {
        // Subcommands no row answers, quoted lower-cased.
        {{"mute", "maybe"}, "mute takes toggle, on or off, not \"maybe\""},
        {{"mute", "MAYBE"}, "mute takes toggle, on or off, not \"maybe\""},
        {{"mute", "ÄB"}, "mute takes toggle, on or off, not \"Äb\""},
        {{"mute", ""}, "mute takes toggle, on or off, not \"\""},
        {{"profile", "x"}, "profile takes list or load <name>, not \"x\""},
        {{"scene", "x"}, "scene takes list or apply <name>, not \"x\""},
        {{"voice", "x"}, "voice takes list, load <name>, next, prev, on or off, not \"x\""},
        {{"sound", "x"}, "sound takes list, play, stop, stop-all or random, not \"x\""},
        {{"replay", "x"}, "replay takes save, not \"x\""},
        {{"record"}, "record takes start, stop or toggle"},
        {{"record", "pause"}, "record takes start, stop or toggle"},
        {{"gamemode", "x"}, "gamemode takes on, off, auto or toggle, not \"x\""},
        {{"gamemode", "state"}, "gamemode takes on, off, auto or toggle, not \"state\""},
        {{"anticheat", "x"}, "anticheat takes state, off, auto, always or toggle, not \"x\""},
        {{"ducking", "x"}, "ducking takes on, off, presets or preset <name>, not \"x\""},
        {{"vmics", "x"}, "vmics takes presets, preset <id> or state, not \"x\""},
        {{"cohost", "x"}, "cohost takes state, mute <n> [on|off] or automix [on|off], not \"x\""},
        {{"speak", "hello"}, "speak takes stop, state or voices, not \"hello\" (to say something: ovctl say <text>)"},
        {{"gaincal", "x"}, "gaincal takes state, start, cancel or apply, not \"x\""},
        {{"mode", "x"}, "mode takes list or load <name>, not \"x\""},
        {{"obs", "x"}, "obs takes status, scenes or scene <name>, not \"x\""},
        {{"snapshot", "X"}, "snapshot takes list, save, load, compare or delete <name>, not \"x\""},

        // Missing words.
        {{"profile", "load"}, "Missing the profile name"},
        {{"profile", "load", " ", ""}, "Missing the profile name"},
        {{"scene", "apply"}, "Missing the scene name"},
        {{"scene", "load"}, "Missing the scene name"},
        {{"voice", "load"}, "Missing the voice preset name"},
        {{"sound", "play"}, "Missing a sound id or name"},
        {{"sound", "stop", "  "}, "Missing a sound id or name"},
        {{"ducking", "preset"}, "Missing the ducking preset name"},
        {{"vmics", "preset"}, "Missing the preset id (streamer, twoCalls, reset)"},
        {{"cohost", "mute"}, "Missing the co-host mic number (1 to 4)"},
        {{"say"}, "Missing the text to say, e.g. ovctl say be right back"},
        {{"say", " "}, "Missing the text to say, e.g. ovctl say be right back"},
        {{"mode", "load"}, "Missing the output mode name"},
        {{"obs", "scene"}, "Missing the OBS scene name"},
        {{"volume"}, "Missing the target: mic, speakers or app:<name>.exe"},
        {{"get"}, "Missing the parameter path, e.g. compressor.threshold"},
        {{"set"}, "Missing the parameter path, e.g. compressor.threshold"},
        {{"set", "compressor.threshold"}, "Missing the value"},
        {{"call"}, "Missing the command name"},
        {{"snapshot", "save"}, "Missing the snapshot name"},
        {{"snapshot", "load"}, "Missing the snapshot name"},
        {{"snapshot", "delete"}, "Missing the snapshot name"},
        {{"snapshot", "compare"}, "Missing the snapshot name"},

        // Co-host numbers and switches (on/off are case-sensitive here).
        {{"cohost", "mute", "two"}, "the co-host mic number must be 1 to 4"},
        {{"cohost", "mute", "-1"}, "the co-host mic number must be 1 to 4"},
        {{"cohost", "mute", "18446744073709551616"}, "the co-host mic number must be 1 to 4"},
        {{"cohost", "mute", "2", "ON"}, "cohost mute <n> takes on or off, not \"ON\""},
        {{"cohost", "mute", "2", "yes"}, "cohost mute <n> takes on or off, not \"yes\""},
        {{"cohost", "automix", "Off"}, "cohost automix takes on or off, not \"Off\""},
        {{"cohost", "automix", ""}, "cohost automix takes on or off, not \"\""},

        // Volume levels, quoted as typed.
        {{"volume", "mic", "MUTE"}, "\"MUTE\" is not a number (use 40, +5 or -5)"},
        {{"volume", "mic", "40%"}, "\"40%\" is not a number (use 40, +5 or -5)"},
        {{"volume", "mic", ""}, "\"\" is not a number (use 40, +5 or -5)"},
        {{"volume", "mic", "+"}, "\"+\" is not a number (use 40, +5 or -5)"},
        {{"volume", "mic", "-"}, "\"-\" is not a number (use 40, +5 or -5)"},
        {{"volume", "mic", "--5"}, "\"--5\" is not a number (use 40, +5 or -5)"},
        {{"volume", "mic", "-+5"}, "\"-+5\" is not a number (use 40, +5 or -5)"},
        {{"volume", "mic", "0x10"}, "\"0x10\" is not a number (use 40, +5 or -5)"},
        {{"volume", "mic", "nan(1)"}, "\"nan(1)\" is not a number (use 40, +5 or -5)"},
        {{"volume", "mic", " 5"}, "\" 5\" is not a number (use 40, +5 or -5)"},

        // The command name goes into the request line, so it cannot break that line.
        {{"call", "sound play"}, "The command name cannot contain spaces or control characters"},
        {{"call", "x\r\nHost: evil"}, "The command name cannot contain spaces or control characters"},
        {{"call", "tab\tname", "{}"}, "The command name cannot contain spaces or control characters"},

        // Words that name no command.
        {{"bogus"}, "Unknown command \"bogus\""},
        {{"BoGuS", "on"}, "Unknown command \"bogus\""},
        {{""}, "Unknown command \"\""},
        {{"mutes"}, "Unknown command \"mutes\""},
    };
}

TEST(Translate, RefusalsAreUsageErrorsWithTheHintLine) {
    for (const RefusalCase& c : refusal_cases()) {
        SCOPED_TRACE(joined(c.words));
        const TranslatorResult result = translate(no_options(), c.words);
        const auto* error = std::get_if<CliError>(&result);
        ASSERT_NE(error, nullptr);
        EXPECT_EQ(error->message, c.message + kHint);
        EXPECT_EQ(error->code, 2);
    }
}

TEST(Translate, CallArgumentsThatAreNotJsonCarryTheParserMessage) {
    for (const std::string bad : {"{id:3}", "warm", "[1,2", "", "{\"a\":1} x", "\xEF\xBB\xBF{\"id\":3}"}) {
        SCOPED_TRACE(bad);
        const TranslatorResult result = translate(no_options(), {"call", "sound.play", bad});
        const auto* error = std::get_if<CliError>(&result);
        ASSERT_NE(error, nullptr);
        const ov::JsonParse parsed = ov::parse_json(bad);
        ASSERT_FALSE(parsed.value.has_value());
        ASSERT_FALSE(parsed.error.empty());
        EXPECT_EQ(error->message, "The arguments must be JSON: " + parsed.error + kHint);
        EXPECT_EQ(error->code, 2);
    }
}

// Every family word either reaches its registered family or, while none is registered,
// answers like a word that names no command.
TEST(Translate, FamilyWordsGoToTheirFamily) {
    const char* family_words[] = {
        "plugins", "plugin", "vst", "tune", "autotune", "harmony", "harmonizer", "doubler", "double", "echo",
        "delay", "meters", "meter", "loudness", "lufs", "takes", "take", "master", "transcribe", "stems",
        "dawproject", "music", "analyser", "analyzer", "karaoke", "sing", "song", "songs", "setup", "audio",
        "hpcal", "headphones", "monitorfx", "monfx", "wet", "unmask", "modulators", "modulator", "mod", "lfo",
        "reference", "ref", "match", "assistant", "macro", "macros", "ab", "compare", "chop", "dmca", "vodsafe",
        "instrument", "inst", "guitar", "looper", "loop", "midi", "lights", "light", "osc", "reactive", "feed",
    };
    for (const std::string word : family_words) {
        SCOPED_TRACE(word);
        EXPECT_FALSE(is_inline_command(word));
        std::string upper = word;
        for (char& c : upper) c = static_cast<char>(c - 'a' + 'A');
        const TranslatorResult result = translate(no_options(), {upper});
        const auto* error = std::get_if<CliError>(&result);
        const bool unknown = error && error->message == "Unknown command \"" + word + "\"" + kHint;
        if (find_family(word)) {
            EXPECT_FALSE(unknown);
        } else {
            EXPECT_TRUE(unknown);
        }
    }
}

TEST(Translate, OnlyTheCommandWordAndSubcommandAreLowerCased) {
    const TranslatorResult result = translate(no_options(), {"PROFILE", "Load", "MiXeD", "Case"});
    const Translation& translation = std::get<Translation>(result);
    EXPECT_EQ(ov::to_compact_json(translation.args), R"({"name":"MiXeD Case"})");
}

TEST(ParseDecimalWord, ReadsTheStandardSyntaxWithInfinityAndNan) {
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        std::string word;
        double value;
    };
    const Case cases[] = {
        {"40", 40.0},     {"-5", -5.0},     {"0", 0.0},          {"007", 7.0},       {"2.5", 2.5},
        {".5", 0.5},      {"5.", 5.0},      {"-0.25", -0.25},    {"1e3", 1000.0},    {"1E-2", 0.01},
        {"2.5e+1", 25.0}, {"inf", inf},     {"INF", inf},        {"Infinity", inf},  {"-inf", -inf},
        {"1e999", inf},   {"-1e999", -inf}, {"1e-999", 0.0},     {"0e999999", 0.0},  {"0.0001e-400", 0.0},
        {"123456789012345678901234567890e300", inf},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.word);
        const auto value = parse_decimal_word(c.word);
        ASSERT_TRUE(value.has_value());
        EXPECT_EQ(*value, c.value);
    }
    for (const std::string word : {"nan", "NaN", "-nan"}) {
        const auto value = parse_decimal_word(word);
        ASSERT_TRUE(value.has_value()) << word;
        EXPECT_TRUE(std::isnan(*value)) << word;
    }
}

TEST(ParseDecimalWord, RefusesEverythingElse) {
    for (const std::string word : {"", "-", ".", "-.", "e5", "1e", "1e+", "1e-", "+5", "--5", "1,5", " 5", "5 ",
                                   "0x10", "nan(1)", "infinit", "infinityy", "1_000", "5..", "1.2.3", "١"}) {
        EXPECT_FALSE(parse_decimal_word(word).has_value()) << word;
    }
}

}  // namespace
}  // namespace ovctl
