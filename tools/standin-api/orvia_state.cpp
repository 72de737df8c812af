#include "orvia_state.h"

#include <algorithm>
#include <functional>
#include <map>

namespace ov::standin {
namespace {

// The state a running Orvia would report: a streamer with a chain, a few plug-ins, an
// open A/B comparison, OBS connected and a recording in progress.
const char* const initial_state = R"JSON({
  "status": {
    "version": "2.4.1",
    "apiVersion": "1.4",
    "muted": false,
    "pushToTalk": false,
    "engineRunning": true,
    "profile": "Podcast host",
    "scene": "Just chatting",
    "voice": {"enabled": true, "preset": "Warm radio"},
    "gameMode": {"active": true, "game": "Valorant", "auto": true},
    "recording": {"elapsedS": 3725.9, "name": "take-12"},
    "replay": {"active": true, "seconds": 30},
    "meters": {"inputDb": -23.04, "outputDb": -119.5, "lufsShort": -17.96},
    "outputMode": "Headphones",
    "ducking": {"enabled": true, "rules": 2, "duckingNow": 1},
    "vmics": [{"enabled": false, "label": "Orvia Chat"}, {"enabled": true, "label": "Orvia Mic"}],
    "tune": {"enabled": true, "tempo": 120, "keyName": "A", "scale": "minor"},
    "harmony": {"enabled": true, "voices": 2, "preset": "Choir", "doubler": true, "pattern": "arpUp"},
    "music": {"enabled": true, "status": "listening", "keyName": "A", "scale": "minor", "tempo": 120.5,
              "follow": true, "lockKey": false, "echo": true},
    "plugins": [
      {"rack": "micPre", "status": "running", "bypass": false,
       "plugins": [{"name": "ReaComp", "bypass": false}, {"name": "Crashy", "disabled": true},
                   {"name": "ReaEQ", "bypass": true}]},
      {"rack": "micPost", "status": "running", "bypass": true, "plugins": [{"name": "OTT"}]},
      {"rack": "speakers", "status": "idle", "bypass": false, "plugins": []}
    ],
    "loudness": {"live": true, "point": "micOut", "integrated": -16.96, "delta": -1.04,
                 "verdict": "under", "truePeakMax": -1.3},
    "monitorFx": {"enabled": true, "wetTo": "monitor"},
    "compare": {"focus": "voice", "active": "b", "trimDb": -1.25},
    "obs": {"enabled": true, "connected": true, "scene": "Gameplay", "recording": false, "streaming": true}
  },
  "profiles": [{"id": "default", "name": "Default"}, {"id": "podcast", "name": "Podcast host"},
               {"id": "cafe", "name": "Café talk"}],
  "scenes": ["Just chatting", "Gameplay", "BRB"],
  "voicePresets": [{"id": "warm", "name": "Warm radio"}, {"id": "robot", "name": "Robot"},
                   {"id": "deep", "name": "Deep"}],
  "sounds": [{"id": 1, "name": "Applause"}, {"id": 2, "name": "Air horn"}, {"id": 3, "name": "Drum roll"},
             {"id": 12, "name": "Café ambience"}],
  "outputModes": ["Headphones", "Speakers + stream"],
  "obsScenes": ["Gameplay", "Starting soon", "BRB"],
  "duckingPresets": ["Music under voice", "Games under chat"],
  "vmicPresets": [{"id": "streamer", "name": "Streamer"}, {"id": "twoCalls", "name": "Two calls"},
                  {"id": "reset", "name": "Reset"}],
  "snapshots": ["base", "loud room"],
  "engine": {
    "compressor": {"threshold": -18.5, "ratio": 3, "enabled": true},
    "voice": {"enabled": true, "preset": "warm"},
    "eq": {"bands": [{"freq": 80, "gain": -3.0}, {"freq": 3000, "gain": 2.5}]}
  },
  "volumes": {
    "mic": {"label": "Mic", "value": 40, "muted": false},
    "speakers": {"label": "Speakers", "value": -6.5, "unit": "dB", "muted": false}
  },
  "gamemode": {"active": true, "auto": true, "game": "Valorant"},
  "anticheat": {"mode": "auto", "safe": false},
  "cohost": {"automix": false, "mics": [{"mic": 1, "muted": false}, {"mic": 2, "muted": true}]},
  "speak": {"speaking": false, "voices": ["Microsoft David", "Microsoft Zira"]},
  "gaincal": {"running": false, "step": "idle"},
  "actions": [{"name": "push", "kind": "hold"}, {"name": "airhorn", "kind": "press"}],
  "meters": {
    "target": -16, "truePeak": -1,
    "points": [
      {"point": "micRaw", "live": true, "momentary": -24.2, "shortTerm": -23.9, "integrated": -24.1,
       "lra": 6.1, "truePeakMax": -6.4, "delta": -8.1, "verdict": "under"},
      {"point": "micOut", "live": true, "momentary": -18.24, "shortTerm": -17.9, "integrated": -16.96,
       "lra": 4.2, "truePeakMax": -1.3, "delta": -1.04, "verdict": "under"},
      {"point": "speakers", "live": false, "momentary": -120, "shortTerm": -120, "lra": 0,
       "truePeakMax": -120},
      {"point": "recorder", "live": true, "momentary": -15.1, "shortTerm": -15.8, "integrated": -16.02,
       "lra": 3.0, "truePeakMax": -0.7, "delta": -0.02, "verdict": "on", "truePeakOver": true}
    ]
  },
  "compare": {
    "focus": "voice",
    "blocks": [
      {"id": "compressor", "label": "Compressor", "active": "a", "differs": false, "gainA": 0.0, "gainB": 0.0},
      {"id": "voice", "label": "Voice", "active": "b", "differs": true, "gainA": -0.4, "gainB": 1.25,
       "trimDb": -1.25}
    ]
  },
  "setup": {
    "rows": {
      "mic": {"status": "ok", "title": "Your mic", "detail": "Shure MV7 (USB)"},
      "headphones": {"status": "warn", "title": "Your headphones", "detail": "Speakers (Realtek) looks like speakers",
                     "fix": {"label": "Pick headphones"}},
      "ovMic": {"status": "ok", "title": "Orvia Mic", "detail": "default recording device"},
      "ovSpeakers": {"status": "bad", "title": "Orvia Speakers", "detail": "not installed",
                     "fix": {"label": "Install"}}
    },
    "summary": ["Two things to fix.", "Your stream hears Orvia Mic."]
  },
  "racks": [
    {"rack": "micPre", "plugins": [{"key": 1, "name": "ReaComp", "format": "vst3"},
                                   {"key": 2, "name": "Crashy", "format": "clap", "disabled": true}]},
    {"rack": "micPost", "plugins": [{"key": 3, "name": "OTT", "format": "vst3"}]},
    {"rack": "speakers", "plugins": []}
  ],
  "catalog": [{"id": "vst3:ReaComp", "name": "ReaComp"}, {"id": "vst3:OTT", "name": "OTT"},
              {"id": "clap:Crashy", "name": "Crashy"}],
  "families": {
    "tune": {"enabled": true, "key": "A", "scale": "minor", "tempo": 120, "speedMs": 20, "mix": 1.0},
    "harmony": {"enabled": true, "preset": "Choir", "voices": [{"voice": 1, "on": true, "interval": 3}]},
    "music": {"enabled": true, "status": "listening", "keyName": "A", "scale": "minor", "tempo": 120.5},
    "monitorFx": {"enabled": true, "wetTo": "monitor", "reverb": 0.3, "delayMs": 0},
    "unmask": {"enabled": false, "depthDb": -6},
    "modulators": {"enabled": false, "slots": []},
    "assistant": {"shape": 0.0, "intensity": 0.2, "presence": -0.1, "warmth": 0.4},
    "dmca": {"enabled": true, "outputs": {"main": true, "stream": true, "chat": false}},
    "instrument": {"enabled": false, "device": null},
    "looper": {"enabled": false, "tracks": 4, "selected": 1},
    "karaoke": {"enabled": false, "model": "center"},
    "song": {"stage": "idle"},
    "hpcal": {"enabled": true, "profile": "HD 650"},
    "lights": {"enabled": false, "preset": "voiceGlow", "osc": {"enabled": false}},
    "midi": {"enabled": true, "devices": ["nanoKONTROL2"], "mappings": []},
    "takes": [{"name": "take-11", "seconds": 620.5}, {"name": "take-12", "seconds": 3725.9}]
  }
})JSON";

using Handler = std::function<Reply(Json& state, const Json& args)>;

const Json* member(const Json& args, const char* key) {
    if (!args.is_object()) return nullptr;
    auto it = args.find(key);
    return it == args.end() ? nullptr : &*it;
}

std::optional<std::string> text_arg(const Json& args, const char* key) {
    const Json* value = member(args, key);
    if (value == nullptr || !value->is_string()) return std::nullopt;
    return value->get<std::string>();
}

std::optional<bool> flag_arg(const Json& args, const char* key) {
    const Json* value = member(args, key);
    if (value == nullptr || !value->is_boolean()) return std::nullopt;
    return value->get<bool>();
}

const Json ok_answer = Json{{"ok", true}};

Reply missing(const char* what) { return Reply::error(400, std::string("missing ") + what); }

// The element of a list (texts, or objects with a name) whose name is `name`.
bool list_has(const Json& list, const std::string& name) {
    return std::any_of(list.begin(), list.end(), [&](const Json& entry) {
        if (entry.is_string()) return entry.get<std::string>() == name;
        auto it = entry.find("name");
        return it != entry.end() && it->is_string() && it->get<std::string>() == name;
    });
}

// Commands that load something by name from a list: refused when it is not there.
Handler load_by_name(const char* list_key, const char* arg_key, const char* what, const char* status_key) {
    return [=](Json& state, const Json& args) {
        auto name = text_arg(args, arg_key);
        if (!name) return missing(arg_key);
        if (!list_has(state[list_key], *name))
            return Reply::error(404, std::string("no ") + what + " named \"" + *name + "\"");
        if (status_key != nullptr) state["status"][status_key] = *name;
        return Reply::json(200, Json{{"ok", true}, {arg_key, *name}});
    };
}

Handler answer_with(const char* key) {
    return [=](Json& state, const Json&) { return Reply::json(200, state[key]); };
}

Handler family_state(const char* family) {
    return [=](Json& state, const Json&) { return Reply::json(200, state["families"][family]); };
}

Handler accept() {
    return [](Json&, const Json&) { return Reply::json(200, ok_answer); };
}

Json mute_answer(const Json& state) { return Json{{"muted", state["status"]["muted"]}}; }

Reply set_engine_param(Json& state, const Json& args) {
    auto path = text_arg(args, "path");
    const Json* value = member(args, "value");
    if (!path) return missing("path");
    if (value == nullptr) return missing("value");
    Json* node = &state["engine"];
    std::size_t start = 0;
    while (true) {
        std::size_t dot = path->find('.', start);
        std::string piece = path->substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        if (piece.empty() || !node->is_object()) return Reply::error(404, "no parameter \"" + *path + "\"");
        node = &(*node)[piece];
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    *node = *value;
    if (*path == "voice.enabled" && value->is_boolean()) state["status"]["voice"]["enabled"] = *value;
    return Reply::json(200, Json{{"ok", true}, {"path", *path}, {"value", *value}});
}

Reply volume_answer(Json& state, const Json& args, const std::function<void(Json&)>& change) {
    auto target = text_arg(args, "target");
    if (!target) return missing("target");
    Json& volumes = state["volumes"];
    if (!volumes.contains(*target)) {
        if (target->rfind("app:", 0) != 0) return Reply::error(404, "no volume called \"" + *target + "\"");
        volumes[*target] = Json{{"label", target->substr(4)}, {"value", 100}, {"muted", false}};
    }
    Json& level = volumes[*target];
    change(level);
    return Reply::json(200, level);
}

Reply play_sound(Json& state, const Json& args, bool play) {
    const Json* id = member(args, "id");
    if (id == nullptr || !id->is_number_unsigned()) return missing("id");
    for (const Json& sound : state["sounds"])
        if (sound["id"] == *id)
            return Reply::json(200, Json{{"ok", true}, {"id", *id}, {"playing", play}, {"name", sound["name"]}});
    return Reply::error(404, "no sound with id " + id->dump());
}

// Every API command the stand-in knows. Unknown commands are refused with 400.
const std::map<std::string, Handler>& handlers() {
    static const std::map<std::string, Handler> table = {
        {"status", [](Json& state, const Json&) { return Reply::json(200, state["status"]); }},
        {"mute.get", [](Json& state, const Json&) { return Reply::json(200, mute_answer(state)); }},
        {"mute.set",
         [](Json& state, const Json& args) {
             auto muted = flag_arg(args, "muted");
             if (!muted) return Reply::error(400, "muted must be true or false");
             state["status"]["muted"] = *muted;
             return Reply::json(200, mute_answer(state));
         }},
        {"mute.toggle",
         [](Json& state, const Json&) {
             state["status"]["muted"] = !state["status"]["muted"].get<bool>();
             return Reply::json(200, mute_answer(state));
         }},
        {"profile.list", answer_with("profiles")},
        {"profile.load", load_by_name("profiles", "name", "mic profile", "profile")},
        {"scene.list", answer_with("scenes")},
        {"scene.apply", load_by_name("scenes", "name", "scene", "scene")},
        {"voice.presets", answer_with("voicePresets")},
        {"voice.load",
         [](Json& state, const Json& args) {
             Reply reply = load_by_name("voicePresets", "name", "voice preset", nullptr)(state, args);
             if (reply.status == 200) state["status"]["voice"]["preset"] = *text_arg(args, "name");
             return reply;
         }},
        {"voice.step",
         [](Json&, const Json& args) {
             const Json* delta = member(args, "delta");
             if (delta == nullptr || !delta->is_number_integer()) return missing("delta");
             return Reply::json(200, ok_answer);
         }},
        {"engine.set", set_engine_param},
        {"engine.params", answer_with("engine")},
        {"sound.list", [](Json& state, const Json&) { return Reply::json(200, Json{{"sounds", state["sounds"]}}); }},
        {"sound.play", [](Json& state, const Json& args) { return play_sound(state, args, true); }},
        {"sound.stop", [](Json& state, const Json& args) { return play_sound(state, args, false); }},
        {"sound.random", accept()},
        {"sound.stopAll", accept()},
        {"replay.save",
         [](Json&, const Json&) {
             return Reply::json(200, Json{{"path", "C:\\Users\\sam\\Videos\\Orvia\\replay 2026-12-10 14-03-22.wav"},
                                          {"seconds", 30}});
         }},
        {"record.start", accept()},
        {"record.stop", accept()},
        {"record.toggle", accept()},
        {"gamemode.state", answer_with("gamemode")},
        {"gamemode.set", accept()},
        {"gamemode.toggle", accept()},
        {"anticheat.state", answer_with("anticheat")},
        {"anticheat.safeMode", accept()},
        {"ducking.list",
         [](Json& state, const Json&) { return Reply::json(200, state["status"]["ducking"]); }},
        {"ducking.enable", accept()},
        {"ducking.presets", answer_with("duckingPresets")},
        {"ducking.preset.apply", load_by_name("duckingPresets", "name", "ducking preset", nullptr)},
        {"vmics.presets", answer_with("vmicPresets")},
        {"vmics.preset.apply",
         [](Json& state, const Json& args) {
             auto preset = text_arg(args, "preset");
             if (!preset) return missing("preset");
             for (const Json& entry : state["vmicPresets"])
                 if (entry["id"] == *preset) return Reply::json(200, ok_answer);
             return Reply::error(404, "no virtual mic preset \"" + *preset + "\"");
         }},
        {"vmics.state", [](Json& state, const Json&) { return Reply::json(200, state["status"]["vmics"]); }},
        {"cohost.state", answer_with("cohost")},
        {"cohost.mute",
         [](Json& state, const Json& args) {
             const Json* mic = member(args, "mic");
             if (mic == nullptr || !mic->is_number_unsigned()) return missing("mic");
             if (*mic < 1 || *mic > 4) return Reply::error(400, "the co-host mic must be 1 to 4");
             return Reply::json(200, state["cohost"]);
         }},
        {"cohost.automix", answer_with("cohost")},
        {"speak.say",
         [](Json&, const Json& args) {
             if (!text_arg(args, "text")) return missing("text");
             return Reply::json(200, ok_answer);
         }},
        {"speak.state", answer_with("speak")},
        {"speak.stop", accept()},
        {"speak.voices", [](Json& state, const Json&) { return Reply::json(200, state["speak"]["voices"]); }},
        {"gaincal.state", answer_with("gaincal")},
        {"gaincal.start", accept()},
        {"gaincal.apply", accept()},
        {"gaincal.cancel", accept()},
        {"output.mode.list", answer_with("outputModes")},
        {"output.mode.load", load_by_name("outputModes", "name", "output mode", "outputMode")},
        {"obs.state", [](Json& state, const Json&) { return Reply::json(200, state["status"]["obs"]); }},
        {"obs.scenes", answer_with("obsScenes")},
        {"obs.scene.set", load_by_name("obsScenes", "scene", "OBS scene", nullptr)},
        {"action.list", answer_with("actions")},
        {"action.run",
         [](Json& state, const Json& args) {
             auto action = text_arg(args, "action");
             if (!action) return missing("action");
             if (!list_has(state["actions"], *action)) return Reply::error(404, "no action \"" + *action + "\"");
             return Reply::json(200, ok_answer);
         }},
        {"volume.get",
         [](Json& state, const Json& args) { return volume_answer(state, args, [](Json&) {}); }},
        {"volume.set",
         [](Json& state, const Json& args) {
             const Json* value = member(args, "value");
             if (value == nullptr || !value->is_number()) return missing("value");
             return volume_answer(state, args, [&](Json& level) { level["value"] = *value; });
         }},
        {"volume.step",
         [](Json& state, const Json& args) {
             const Json* delta = member(args, "delta");
             if (delta == nullptr || !delta->is_number()) return missing("delta");
             return volume_answer(state, args, [&](Json& level) {
                 level["value"] = level["value"].get<double>() + delta->get<double>();
             });
         }},
        {"volume.mute",
         [](Json& state, const Json& args) {
             auto mute = flag_arg(args, "mute");
             if (!mute) return missing("mute");
             return volume_answer(state, args, [&](Json& level) { level["muted"] = *mute; });
         }},
        {"snapshot.list", answer_with("snapshots")},
        {"snapshot.save",
         [](Json& state, const Json& args) {
             auto name = text_arg(args, "name");
             if (!name) return missing("name");
             if (!list_has(state["snapshots"], *name)) state["snapshots"].push_back(*name);
             return Reply::json(200, ok_answer);
         }},
        {"snapshot.load", load_by_name("snapshots", "name", "snapshot", nullptr)},
        {"snapshot.compare", load_by_name("snapshots", "name", "snapshot", nullptr)},
        {"snapshot.delete",
         [](Json& state, const Json& args) {
             auto name = text_arg(args, "name");
             if (!name) return missing("name");
             Json& list = state["snapshots"];
             auto it = std::find(list.begin(), list.end(), Json(*name));
             if (it == list.end()) return Reply::error(404, "no snapshot named \"" + *name + "\"");
             list.erase(it);
             return Reply::json(200, ok_answer);
         }},
        {"plugins.state", answer_with("racks")},
        {"plugins.catalog", answer_with("catalog")},
        {"meters.loudness", answer_with("meters")},
        {"meters.target", answer_with("meters")},
        {"meters.reset", accept()},
        {"meters.suite", answer_with("meters")},
        {"compare.toggle", answer_with("compare")},
        {"compare.state", answer_with("compare")},
        {"compare.copy", answer_with("compare")},
        {"compare.keep", answer_with("compare")},
        {"audio.setup.state", answer_with("setup")},
        {"audio.setup.set", answer_with("setup")},
        {"audio.setup.test", answer_with("setup")},
        {"audio.setup.speakersDefault", answer_with("setup")},
        {"audio.setup.name",
         [](Json&, const Json&) { return Reply::json(200, Json{{"message", "Renamed the devices to Orvia Mic and Orvia Speakers."}}); }},
        {"audio.setup.restoreNames",
         [](Json&, const Json&) { return Reply::json(200, Json{{"message", "Restored the original device names."}}); }},
        {"takes.list", [](Json& state, const Json&) { return Reply::json(200, state["families"]["takes"]); }},
        {"tune.state", family_state("tune")},
        {"harmony.state", family_state("harmony")},
        {"music.state", family_state("music")},
        {"monitorFx.state", family_state("monitorFx")},
        {"unmask.state", family_state("unmask")},
        {"modulators.state", family_state("modulators")},
        {"assistant.state", family_state("assistant")},
        {"dmca.state", family_state("dmca")},
        {"instrument.state", family_state("instrument")},
        {"looper.state", family_state("looper")},
        {"karaoke.state", family_state("karaoke")},
        {"song.state", family_state("song")},
        {"hpcal.state", family_state("hpcal")},
        {"lights.state", family_state("lights")},
        {"midi.state", family_state("midi")},
    };
    return table;
}

}  // namespace

OrviaState::OrviaState() : state_(Json::parse(initial_state)) {}

bool OrviaState::knows(const std::string& command) const { return handlers().count(command) != 0; }

Reply OrviaState::run(const std::string& command, const Json& args) {
    auto it = handlers().find(command);
    if (it == handlers().end()) return Reply::error(400, "unknown command \"" + command + "\"");
    if (!args.is_object()) return Reply::error(400, "the arguments of " + command + " must be a JSON object");
    std::lock_guard lock(mutex_);
    return it->second(state_, args);
}

Json OrviaState::status() const {
    std::lock_guard lock(mutex_);
    return state_["status"];
}

}  // namespace ov::standin
