// The music analyser, karaoke and Sing mode: every row of their tables, the signed and
// single-precision numbers they print, and every refusal.
#include "families_cases.h"

namespace ovctl::family_tests {
namespace {

TEST(FamiliesMusic, TranslatesEverySubcommand) {
    expect_cases({
        {{"music"}, "music.state", "{}", kJson, ""},
        {{"analyser", "state"}, "music.state", "{}", kJson, ""},
        {{"analyzer", "ON"}, "music.analyser", R"({"enabled":true})", kConfirm, "Music analyser on"},
        {{"music", "off"}, "music.analyser", R"({"enabled":false})", kConfirm, "Music analyser off (nothing captured)"},
        {{"music", "listen", "app:spotify.exe"}, "music.analyser", R"({"listen":"app:spotify.exe"})", kConfirm,
         "Music analyser listens to app:spotify.exe"},
        {{"music", "source", "Playing"}, "music.analyser", R"({"listen":"Playing"})", kConfirm,
         "Music analyser listens to Playing"},
        {{"music", "follow"}, "music.follow", "{}", kConfirm, "Follow music toggled"},
        {{"music", "follow", "on"}, "music.follow", R"({"on":true})", kConfirm, "Following the music"},
        {{"music", "follow", "Off"}, "music.follow", R"({"on":false})", kConfirm, "Key and tempo set by hand"},
        {{"music", "lock"}, "music.lockKey", "{}", kConfirm, "Key lock toggled"},
        {{"music", "lock", "ON"}, "music.lockKey", R"({"on":true})", kConfirm, "Key locked"},
        {{"music", "lock", "off"}, "music.lockKey", R"({"on":false})", kConfirm, "Key unlocked"},
    });
}

TEST(FamiliesMusic, RefusesBadWords) {
    expect_refusals({
        {{"music", "Louder"}, "music takes state, on, off, listen, follow or lock, not \"louder\""},
        {{"music", "listen"}, "Missing what to listen to: playing, app:<exe> or channel:<id>"},
        {{"music", "lock", "maybe"}, "music lock takes on or off, not \"maybe\""},
        {{"music", "follow", "TRUE"}, "music follow takes on or off, not \"true\""},
    });
}

TEST(FamiliesKaraoke, TranslatesEverySubcommand) {
    expect_cases({
        {{"karaoke"}, "karaoke.state", "{}", kJson, ""},
        {{"sing", "state"}, "karaoke.state", "{}", kJson, ""},
        {{"karaoke", "on"}, "karaoke.toggle", R"({"on":true})", kConfirm, "Karaoke on"},
        {{"karaoke", "off"}, "karaoke.toggle", R"({"on":false})", kConfirm, "Karaoke off: apps are back where they were"},
        {{"karaoke", "toggle"}, "karaoke.toggle", "{}", kConfirm, "Karaoke toggled"},
        {{"karaoke", "app", "Spotify.exe"}, "karaoke.set", R"({"path":"app","value":"spotify.exe"})", kConfirm,
         "Karaoke app: spotify.exe"},
        {{"karaoke", "model", "Spleeter"}, "karaoke.set", R"({"path":"model","value":"spleeter"})", kConfirm,
         "Karaoke model: spleeter"},
        {{"karaoke", "bleed", "20"}, "karaoke.set", R"({"path":"bleed","value":20.0})", kConfirm, "Karaoke bleed 20 %"},
        {{"karaoke", "acapella", "ON"}, "karaoke.set", R"({"path":"acapella","value":true})", kConfirm, "Acapella on"},
        {{"karaoke", "vocals", "false"}, "karaoke.set", R"({"path":"acapella","value":false})", kConfirm,
         "Acapella off"},
        {{"karaoke", "transpose", "+3"}, "karaoke.set", R"({"path":"transpose","value":3})", kConfirm,
         "Transpose +3 semitones"},
        {{"karaoke", "transpose", "0"}, "karaoke.set", R"({"path":"transpose","value":0})", kConfirm,
         "Transpose +0 semitones"},
        {{"karaoke", "transpose", "-3"}, "karaoke.set", R"({"path":"transpose","value":-3})", kConfirm,
         "Transpose -3 semitones"},
        {{"karaoke", "transpose", "++2"}, "karaoke.set", R"({"path":"transpose","value":2})", kConfirm,
         "Transpose +2 semitones"},
        {{"karaoke", "latency", "250"}, "karaoke.set", R"({"path":"latencyMs","value":250.0})", kConfirm,
         "Karaoke latency 250 ms"},
        {{"karaoke", "file", "C:\\Music\\My", "Song.mp3"}, "karaoke.set",
         R"({"path":"player.file","value":"C:\\Music\\My Song.mp3"})", kConfirm, "Backing track: C:\\Music\\My Song.mp3"},
        {{"karaoke", "track", "none"}, "karaoke.set", R"({"path":"player.file","value":null})", kConfirm,
         "Backing track: none"},
        {{"karaoke", "file", "NONE"}, "karaoke.set", R"({"path":"player.file","value":null})", kConfirm,
         "Backing track: NONE"},
        {{"karaoke", "tempo", "95"}, "karaoke.set", R"({"path":"player.tempo","value":95.0})", kConfirm,
         "Backing track tempo 95 %"},
        {{"karaoke", "play"}, "karaoke.player", R"({"op":"play"})", kConfirm, "Backing track: play"},
        {{"karaoke", "PAUSE"}, "karaoke.player", R"({"op":"pause"})", kConfirm, "Backing track: pause"},
        {{"karaoke", "stop"}, "karaoke.player", R"({"op":"stop"})", kConfirm, "Backing track: stop"},
        {{"karaoke", "seek", "42.5"}, "karaoke.player", R"({"at":42.5,"op":"seek"})", kConfirm,
         "Backing track at 42.5 s"},
        {{"karaoke", "download"}, "karaoke.download", R"({"model":"spleeter"})", kConfirm,
         "Downloading Spleeter (35 MB); ovctl karaoke shows the progress"},
        {{"karaoke", "score"}, "karaoke.singing", "{}", kJson, ""},
        {{"karaoke", "score", "now"}, "karaoke.singing", "{}", kJson, ""},
        {{"karaoke", "score", "RESET"}, "karaoke.score.reset", "{}", kConfirm, "Singing score reset"},
        {{"karaoke", "set", "player.loopOn", "true"}, "karaoke.set", R"({"path":"player.loopOn","value":true})",
         kConfirm, "Karaoke: player.loopOn = true"},
        {{"karaoke", "set", "provider", "spleeter"}, "karaoke.set", R"({"path":"provider","value":"spleeter"})",
         kConfirm, "Karaoke: provider = spleeter"},
    });
}

TEST(FamiliesKaraoke, RefusesBadWords) {
    expect_refusals({
        {{"karaoke", "louder"},
         "karaoke takes state, on, off, toggle, app, model, bleed, acapella, transpose, latency, file, tempo, play, "
         "pause, stop, seek, download, score or set, not \"louder\""},
        {{"karaoke", "app"}, "Missing an app, e.g. spotify.exe"},
        {{"karaoke", "model"}, "Missing center, spleeter or waveform"},
        {{"karaoke", "bleed"}, "Missing a bleed 0..100"},
        {{"karaoke", "bleed", "lots"}, "\"lots\" is not a number"},
        {{"karaoke", "acapella"}, "karaoke acapella on|off"},
        {{"karaoke", "vocals", "yes"}, "karaoke acapella on|off"},
        {{"karaoke", "transpose"}, "Missing semitones, -12..12"},
        {{"karaoke", "transpose", "1.5"}, "\"1.5\" is not a whole number of semitones"},
        {{"karaoke", "transpose", "+"}, "\"+\" is not a whole number of semitones"},
        {{"karaoke", "transpose", "--2"}, "\"--2\" is not a whole number of semitones"},
        {{"karaoke", "latency", "fast"}, "\"fast\" is not a number"},
        {{"karaoke", "file"}, "Missing an audio file (none to clear)"},
        {{"karaoke", "track", " "}, "Missing an audio file (none to clear)"},
        {{"karaoke", "tempo"}, "Missing a tempo 50..150 %"},
        {{"karaoke", "seek"}, "Missing seconds"},
        {{"karaoke", "seek", "end"}, "\"end\" is not a number"},
        {{"karaoke", "set"}, "Missing a setting, e.g. isolate, provider, player.loopOn"},
        {{"karaoke", "set", "provider"}, "Missing a value"},
    });
}

TEST(FamiliesSong, TranslatesEverySubcommand) {
    expect_cases({
        {{"song"}, "song.state", "{}", kJson, ""},
        {{"songs", "state"}, "song.state", "{}", kJson, ""},
        {{"song", "list"}, "song.list", "{}", kList, ""},
        {{"song", "start", "APP", "Spotify.EXE"}, "song.start", R"({"app":"spotify.exe","source":"app"})", kConfirm,
         "New song with the music from spotify.exe (its singer taken out)"},
        {{"song", "start", "app", "ÄPP.exe"}, "song.start", R"({"app":"äpp.exe","source":"app"})", kConfirm,
         "New song with the music from äpp.exe (its singer taken out)"},
        {{"song", "start", "file", "My", "Song.wav"}, "song.start", R"({"file":"My Song.wav","source":"file"})",
         kConfirm, "New song with your music file"},
        {{"song", "start", "voice"}, "song.start", R"({"clickBpm":null,"source":"voice"})", kConfirm,
         "New song: just your voice"},
        {{"song", "start", "voice", "92"}, "song.start", R"({"clickBpm":92.0,"source":"voice"})", kConfirm,
         "New song: just your voice"},
        {{"song", "start", "voice", "92.1"}, "song.start", R"({"clickBpm":92.0999984741211,"source":"voice"})",
         kConfirm, "New song: just your voice"},
        {{"song", "open", "Summer", " Song "}, "song.start", R"({"open":"Summer  Song"})", kConfirm,
         "Opened \"Summer  Song\""},
        {{"song", "record"}, "song.record", "{}", kConfirm, "3, 2, 1… recording"},
        {{"song", "stop"}, "song.stop", "{}", kConfirm, "Stopped; the take is saved"},
        {{"song", "keep"}, "song.keep", R"({"take":null})", kConfirm, "Kept"},
        {{"song", "keep", "+3"}, "song.keep", R"({"take":3})", kConfirm, "Kept"},
        {{"song", "again", "2"}, "song.keep", R"({"again":true,"take":2})", kConfirm, "Take thrown away; record again"},
        {{"song", "again"}, "song.keep", R"({"again":true,"take":null})", kConfirm, "Take thrown away; record again"},
        {{"song", "pro", "Rock", "more", "air"}, "song.makePro", R"({"notes":"more air","style":"rock"})", kConfirm,
         "Making it pro (ovctl song shows the progress)"},
        {{"song", "pro", "more", "air"}, "song.makePro", R"({"notes":"more air","style":null})", kConfirm,
         "Making it pro (ovctl song shows the progress)"},
        {{"song", "pro"}, "song.makePro", R"({"notes":null,"style":null})", kConfirm,
         "Making it pro (ovctl song shows the progress)"},
        {{"song", "pro", "rnb"}, "song.makePro", R"({"notes":null,"style":"rnb"})", kConfirm,
         "Making it pro (ovctl song shows the progress)"},
        {{"song", "adjust", "Voice", "0.3"}, "song.adjust", R"({"voice":0.30000001192092896})", kConfirm,
         "voice +0.30: re-rendering"},
        {{"song", "adjust", "echo", "0.5"}, "song.adjust", R"({"echo":0.5})", kConfirm, "echo +0.50: re-rendering"},
        {{"song", "adjust", "tuning", "-1"}, "song.adjust", R"({"tuning":-1.0})", kConfirm,
         "tuning -1.00: re-rendering"},
        {{"song", "adjust", "nudge", "-40"}, "song.adjust", R"({"nudge":-40.0})", kConfirm,
         "voice -40 ms against the music: re-mixing"},
        {{"song", "adjust", "nudge", "30"}, "song.adjust", R"({"nudge":30.0})", kConfirm,
         "voice +30 ms against the music: re-mixing"},
        {{"song", "adjust", "nudge", "12.3"}, "song.adjust", R"({"nudge":12.300000190734863})", kConfirm,
         "voice +12.3 ms against the music: re-mixing"},
        {{"song", "save"}, "song.save", R"({"format":"mp3"})", kConfirm, "Saved into the song's folder"},
        {{"song", "save", "WAV"}, "song.save", R"({"format":"wav"})", kConfirm, "Saved into the song's folder"},
        {{"song", "cancel"}, "song.cancel", "{}", kConfirm, "Cancelled"},
    });
}

TEST(FamiliesSong, RefusesBadWords) {
    const std::string start_usage = "song start app <exe> | file <path> | voice [bpm]";
    expect_refusals({
        {{"song", "louder"},
         "song takes state, list, start, open, record, stop, keep, again, pro, adjust, save or cancel, not \"louder\""},
        {{"song", "start"}, start_usage},
        {{"song", "start", "radio"}, start_usage},
        {{"song", "start", "app"}, "Missing the app (spotify.exe, chrome.exe …)"},
        {{"song", "start", "file"}, "Missing the music file"},
        {{"song", "start", "voice", "fast"}, "\"fast\" is not a tempo"},
        {{"song", "open"}, "Missing the song's name"},
        {{"song", "keep", "last"}, "\"last\" is not a take number"},
        {{"song", "again", "-1"}, "\"-1\" is not a take number"},
        {{"song", "keep", "4294967296"}, "\"4294967296\" is not a take number"},
        {{"song", "adjust"}, "Missing voice, echo, tuning or nudge"},
        {{"song", "adjust", "reverb", "0.2"}, "song adjust voice|echo|tuning <-1..1> | nudge <-200..200 ms>"},
        {{"song", "adjust", "voice"}, "Missing a value"},
        {{"song", "adjust", "voice", "more"}, "song adjust takes a number (-1..1, or ms for nudge)"},
    });
}

}  // namespace
}  // namespace ovctl::family_tests
