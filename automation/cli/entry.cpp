#include "entry.h"

#include "api.h"
#include "ov/text.h"
#include "ov/version.h"
#include "platform/console.h"
#include "render.h"
#include "settings.h"
#include "translator.h"
#include "words.h"

#include <array>

namespace ovctl {
namespace {

constexpr std::uint8_t kExitRefused = 1;

constexpr std::string_view kHelpText = R"HELP(ovctl: control Orvia from the command line (local API, docs/API.md)

usage: ovctl [--json] [--port N] [--token T] <command> [arguments]

  status                          what Orvia is doing (--json for the raw object)
  mute [toggle|on|off]            mute / unmute the mic (no argument: show it)
  profile list | load <name>      mic profiles
  scene list | apply <name>       Speakers scenes
  voice list | load <name> | next | prev | on | off
  sound list | play <id|name> | stop <id|name> | stop-all | random
  replay save                     save the replay buffer to a file
  record start | stop | toggle    record everything
  gamemode on | off | auto | toggle
  anticheat [state] | off | auto | always | toggle   anti-cheat safe mode (no Orvia driver in the path)
  ducking on | off | presets | preset <name>
  vmics presets | preset <id>     virtual mic presets (streamer, twoCalls, reset)
  cohost [state] | mute <1-4> [on|off] | automix [on|off]   co-host mics (no on/off: flip)
  say <text> [--raw] [--voice V]  say it on the virtual mic in your voice (--raw: no voice changer)
  speak stop | state | voices     typed speech: stop, what it is doing, the Windows voices
  tune [state] | on | off | toggle | tap | key <note> [scale] | scale <name> | tempo <bpm>
       | speed <ms> | humanize <0-1> | mix <0-1> | formant keep|follow | tuner on|off
                                  Live Tune (pitch correction) and the session's key / tempo
  tune pattern <kind> [rate] | pattern off   key-locked pitch pattern (arpUp, trill … ; 1/4 1/8 1/16 1/8t)
  harmony [state] | on | off | toggle | preset <name> | voice <1-4> on|off|interval <n> [degrees|semitones]
       | voice <1-4> level <dB>|formant <st>|humanize <0-1>   harmony voices in the key
  doubler [state] | on | off | toggle | copies <2-3> | delay <ms> | detune <cents> | width <0-1> | mix <0-1>
  music [state] | on | off | listen playing|app:<exe>|channel:<id> | follow [on|off] | lock [on|off]
                                  the music analyser: key / tempo of what you play; follow music
  echo [state] | on | off | toggle | time 1/4|1/8|1/8d|1/8t|1/16 | feedback <0-0.9> | tone <Hz> | mix <0-1>
                                  the echo, in time with the session's tempo
  plugins [state] | list | scan [full] | add <rack> <uid|name> | remove <rack> <key> | move <rack> <key> <index>
        | bypass <rack> [key] [on|off] | retry <rack> <key> | params <rack> <key> | param <rack> <key> <id> <0-1>
        | editor <rack> <key> [close] | mode <rack> same|next   VST3 / CLAP plugins (racks: micPre, micPost, speakers)
  meters [point] | reset [point] | target <podcast|mono|stream|youtube|apple|LUFS> | truepeak <dBTP> | readout <point>
                                  loudness (LUFS, LRA, true peak) at micRaw, micOut, speakers, recorder
  monitorfx [state] | on | off | toggle | to monitor|record|everything | reverb on|off|<mix> | decay <s>
        | predelay <ms> | delay on|off|slap|<ms>|1/4|1/8|1/8d|1/8t|1/16 | feedback <0-0.9> | delaymix <0-1>
                                  the wet monitor: reverb / delay in your headphones, the stream dry
  ab [block] | a|b [block] | copy <block> a|b | keep [block] | state   level-matched A/B (no block: the last one)
  snapshot list | save <name> | load <name> | compare <name> | delete <name>   snapshots of the mic chain
  assistant [state] | <shape|intensity|presence|warmth> <-1..1 | +N | -N> | centre | keep
                                  the assistant's macros (0 = your baseline; centre puts it back exactly)
  reference [list] | import <file> [name] | capture <app.exe> [seconds] | voice [replay] | select <name>
        | delete <name> | match on|off|<0-100> | apply | cancel   sound like a clip (match EQ + suggestions)
  gaincal [state] | start | cancel | apply   set the preamp: read a sentence, then your loudest line
  unmask [state] | on | off | toggle | depth <dB> | band <low Hz> <high Hz>   dip the voice band of the speakers
                                  chain while you talk, instead of ducking it
  midi [state] | on | off | devices | device <name> on|off | map [list] | unmap <id> | targets | panic
        | learn <path> | learn action <name> [press|hold|toggle] | learn cancel
        | notes off|harmony|tune|both | clock on|off      MIDI controllers: learn, mappings, notes, clock in
  modulators [state] | on | off | toggle | <1-8> off | <1-8> lfo|envelope|step <target path> [depth]
                                  LFOs, envelope followers and step sequencers on voice / FX parameters
  looper [state] | on | off | cycle|record|overdub|play|stop|undo|redo|clear [track 1-4] | release [track]
        | stop-all | play-all | undo-all | redo-all | clear-all | track <1-4> | next | set <path> <value>
        | devices                 the live looper (no track: the selected one; cycle = the one-button pedal)
  instrument [state] | on | off | toggle | device <name> | model <file.nam> | cab <file.wav> | set <path> <value>
                                  the instrument input (any capture device -> gate -> NAM amp -> IR cab -> EQ)
  chop grab | play <id> [degree] | set <id> <path> <value>   vocal chop: the last phrase onto a pad
  karaoke [state] | on | off | toggle | app <exe> | model center|spleeter|waveform | bleed <0-100>
        | acapella on|off | transpose <-12..12> | latency <ms> | file <path> | tempo <50-150>
        | play | pause | stop | seek <s> | download | score [reset] | set <path> <value>
                                  karaoke on an app's music through the speakers chain, or a backing track
  dmca [state] | on | off | toggle | output <main|stream|chat> on|off | recorder on|off | replay on|off
                                  the DMCA guard: music kept off the virtual mics, the VOD mix, the replay buffer
  takes [list] | jobs | job <id> | cancel <id> | download <model> | transcript <take> [search] | play <take> <s>
  master <take|last> [spotify|apple|youtube|podcastMono|<lufs>] [mono] [vod] [tonal <curve>]
  transcribe <take> [tiny.en|base.en|small.en|tiny|base|small] [language]
  stems <take|file> [auto|center|spleeter|waveform]   dawproject <recording> [chapters|suggestions|none]
                                  after the take: new files beside it, never over it (a job each)
  hpcal [state] | on | off | toggle | import <ParametricEQ.txt> [name] | remove <device>
                                  headphone calibration (AutoEq profiles) on the speakers chain
  song [state] | list | start app <exe> | start file <path> | start voice [bpm] | open <name>
       | record | stop | keep [n] | again [n] | pro [style] [note…] | adjust voice|echo|tuning <-1..1> | adjust nudge <ms>
       | save [mp3|m4a|wav] | cancel
                                  Sing mode: pick a song, record a take, make it sound pro, save it
  setup [state] | mic <name> | headphones <name> | default on|off | speakers on|off | speakers default [on|off]
        | route monitor|speakers|mixer follow|<device> | test [tone [device] | voice] | name | restore-names
                                  Audio setup: your mic, your headphones, Orvia Mic, Orvia Speakers
  lights [state] | on | off | toggle | preset <voiceGlow|beatFlash|keyColours|muteRed> | colour <#rrggbb>
        | brightness <0-1> | safe on|off | hue discover | hue pair <ip> | govee discover | set <path> <value>
                                  lights that follow your voice and the music (Hue, Govee)
  osc [state] | on | off | target <host:port>... | test | in on|off | rate <hz>
                                  OSC out to Lumia Stream / Touch Portal / TouchDesigner / Resolume, OSC in
  reactive [frame] | on | off | rate <10-60>   the audio-reactive feed on the local API (WebSocket: subscribe to reactive)
  mode list | load <name>         Speakers output modes
  obs status | scenes | scene <name>
  action list | <name> [--sound N] [--press | --release] [--hold | --toggle]   any hotkey action
                                  (--hold: a toggle on while held; --toggle: a hold action latched)
  volume <mic|speakers|app:x.exe> [N | +N | -N | mute | unmute]   levels (dials use step)
  get <path>                      read a chain parameter, e.g. compressor.threshold
  set <path> <value>              set one, e.g. set compressor.threshold -20
  call <command> [json]           any API command, e.g. call sound.play '{"id":3}'
  help | version

Exit codes: 0 ok, 1 Orvia refused, 2 usage, 3 API off / app not running, 4 bad token, 5 API version mismatch.
The token and port come from %APPDATA%\Orvia\settings.json (enable the API in Settings > Automation).)HELP";

struct FlagOption {
    std::string_view name;
    void (*apply)(GlobalOptions&);
};

// An option that takes the next argument as its value.
struct ValueOption {
    std::string_view name;
    std::string_view missing_message;
    std::optional<CliError> (*apply)(GlobalOptions&, const std::string& value);
};

constexpr std::array kFlagOptions{
    FlagOption{"-h", [](GlobalOptions& o) { o.help = true; }},
    FlagOption{"--help", [](GlobalOptions& o) { o.help = true; }},
    FlagOption{"-V", [](GlobalOptions& o) { o.version = true; }},
    FlagOption{"--version", [](GlobalOptions& o) { o.version = true; }},
    FlagOption{"--json", [](GlobalOptions& o) { o.json = true; }},
    FlagOption{"--raw", [](GlobalOptions& o) { o.raw = true; }},
    FlagOption{"--press", [](GlobalOptions& o) { o.press = Press::Press; }},
    FlagOption{"--release", [](GlobalOptions& o) { o.press = Press::Release; }},
    FlagOption{"--hold", [](GlobalOptions& o) { o.mode = "hold"; }},
    FlagOption{"--toggle", [](GlobalOptions& o) { o.mode = "toggle"; }},
};

constexpr std::array kValueOptions{
    ValueOption{"--port", "--port needs a number",
                [](GlobalOptions& o, const std::string& value) -> std::optional<CliError> {
                    o.port = parse_u16(value);
                    if (!o.port) return usage_error("--port: \"" + value + "\" is not a port number");
                    return std::nullopt;
                }},
    ValueOption{"--token", "--token needs a value",
                [](GlobalOptions& o, const std::string& value) -> std::optional<CliError> {
                    o.token = std::string(ov::text::trim(value));
                    return std::nullopt;
                }},
    ValueOption{"--voice", "--voice needs a voice name (ovctl speak voices)",
                [](GlobalOptions& o, const std::string& value) -> std::optional<CliError> {
                    o.voice = value;
                    return std::nullopt;
                }},
    ValueOption{"--sound", "--sound needs a sound id",
                [](GlobalOptions& o, const std::string& value) -> std::optional<CliError> {
                    o.sound = parse_u32(value);
                    if (!o.sound) return usage_error("--sound: \"" + value + "\" is not a sound id");
                    return std::nullopt;
                }},
};

template <class Option, std::size_t N>
const Option* find_option(const std::array<Option, N>& table, std::string_view argument) {
    for (const Option& option : table) {
        if (option.name == argument) return &option;
    }
    return nullptr;
}

enum class Choice { Help, Version, Command };

Choice choose(const CommandLine& line) {
    if (line.options.help) return Choice::Help;
    if (line.options.version) return Choice::Version;
    if (line.words.empty()) return Choice::Help;
    const std::string first = ov::text::ascii_lower(line.words.front());
    if (first == "help") return Choice::Help;
    if (first == "version") return Choice::Version;
    return Choice::Command;
}

// Settings, then the ping that checks reachability and the API version.
Result<Settings> connect(const GlobalOptions& options) {
    Settings settings = load_settings(options);
    const auto answer = ping(settings);
    if (!answer) return answer.error();
    return settings;
}

Result<std::string> run_translation(const GlobalOptions& options, const Translation& translation) {
    const auto settings = connect(options);
    if (!settings) return settings.error();
    const auto answer = call(*settings, translation.command, translation.args);
    if (!answer) return answer.error();
    return render_answer(options.json ? RenderKind(render::Json{}) : translation.kind, *answer);
}

// `sound play <name>` / `sound stop <name>`: the id comes from Orvia's sound list.
Result<std::string> run_sound_by_name(const GlobalOptions& options, const SoundByName& request) {
    const auto settings = connect(options);
    if (!settings) return settings.error();
    const auto list = call(*settings, "sound.list", Json::object());
    if (!list) return list.error();
    const auto id = find_sound_id(*list, request.name);
    if (!id) return CliError{"No sound named \"" + request.name + "\" (ovctl sound list shows them)", kExitRefused};
    const auto answer = call(*settings, request.play ? "sound.play" : "sound.stop", Json{{"id", *id}});
    if (!answer) return answer.error();
    if (options.json) return render_answer(render::Json{}, *answer);
    return std::string(request.play ? "Playing" : "Stopped") + " \"" + request.name + "\"";
}

Result<std::string> run_command(const CommandLine& line) {
    switch (choose(line)) {
    case Choice::Help:
        return std::string(kHelpText);
    case Choice::Version:
        return version_line();
    case Choice::Command:
        break;
    }
    const TranslatorResult translated = translate(line.options, line.words);
    if (const auto* translation = std::get_if<Translation>(&translated)) return run_translation(line.options, *translation);
    if (const auto* by_name = std::get_if<SoundByName>(&translated)) return run_sound_by_name(line.options, *by_name);
    return std::get<CliError>(translated);
}

}  // namespace

Result<CommandLine> scan_command_line(const std::vector<std::string>& arguments) {
    CommandLine line;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (const FlagOption* flag = find_option(kFlagOptions, argument)) {
            flag->apply(line.options);
        } else if (const ValueOption* option = find_option(kValueOptions, argument)) {
            if (i + 1 == arguments.size()) return usage_error(option->missing_message);
            // The next argument is the value, whatever it looks like.
            if (auto error = option->apply(line.options, arguments[++i])) return *error;
        } else if (argument.starts_with("--")) {
            return usage_error("Unknown option " + argument);
        } else {
            line.words.push_back(argument);  // "-", "-5" and "-x" are words
        }
    }
    return line;
}

std::string_view help_text() { return kHelpText; }

std::string version_line() { return "ovctl " OV_VERSION_TEXT " (API " + std::string(kApiMajorVersion) + ".x)"; }

std::optional<std::uint64_t> find_sound_id(const Json& sound_list, std::string_view name) {
    if (!sound_list.is_object()) return std::nullopt;
    const auto sounds = sound_list.find("sounds");
    if (sounds == sound_list.end() || !sounds->is_array()) return std::nullopt;
    const std::string wanted = ov::text::ascii_lower(name);
    for (const Json& sound : *sounds) {
        if (!sound.is_object()) continue;
        const auto sound_name = sound.find("name");
        if (sound_name == sound.end() || !sound_name->is_string()) continue;
        if (ov::text::ascii_lower(sound_name->get_ref<const std::string&>()) != wanted) continue;
        // The first sound of that name decides, even when its id is unusable.
        const auto id = sound.find("id");
        if (id == sound.end()) return std::nullopt;
        if (id->is_number_unsigned()) return id->get<std::uint64_t>();
        if (id->is_number_integer() && id->get<std::int64_t>() >= 0) return static_cast<std::uint64_t>(id->get<std::int64_t>());
        return std::nullopt;
    }
    return std::nullopt;
}

std::vector<std::string> valid_utf8_arguments(const std::vector<std::string>& arguments) {
    std::vector<std::string> valid;
    valid.reserve(arguments.size());
    for (const std::string& argument : arguments) {
        valid.push_back(ov::text::is_valid_utf8(argument) ? argument : ov::text::decode_utf8_lossy(argument));
    }
    return valid;
}

RunOutput execute(const std::vector<std::string>& arguments) {
    RunOutput output;
    // Once, here: every word is then the same text in what is sent and in what is printed.
    const auto line = scan_command_line(valid_utf8_arguments(arguments));
    const Result<std::string> result = line ? run_command(*line) : Result<std::string>(line.error());
    if (result) {
        if (!result->empty()) output.out = *result + "\n";
        return output;
    }
    output.err = "ovctl: " + result.error().message + "\n";
    output.exit_code = result.error().code;
    return output;
}

int run(const std::vector<std::string>& arguments) {
    const RunOutput output = execute(arguments);
    if (!output.out.empty()) ovplat::write_standard_output(output.out);
    if (!output.err.empty()) ovplat::write_standard_error(output.err);
    return output.exit_code;
}

}  // namespace ovctl
