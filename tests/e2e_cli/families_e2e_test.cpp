// Every command family end to end through the real ovctl: an accepted command reaches the
// stand-in as the exact request and prints the exact text; a refused one prints the usage
// error, exits 2 and sends nothing, not even the ping, since the words are checked first.
#include "ovctl_fixture.h"

#include <cstring>

namespace ovtest {
namespace {

struct AcceptedCase {
    std::vector<std::string> args;
    std::string command;  // the API command that must be sent
    std::string body;     // its exact compact body
    std::string answer;   // the stand-in's answer as compact JSON; empty: its canned state answers
    std::string printed;  // standard output without the final new line
};

struct RefusedCase {
    std::vector<std::string> args;
    std::string message;  // the usage error, without "ovctl: " and the hint line
};

const std::string ok_answer = R"({"ok":true})";
const std::string job_queued = "; ovctl takes jobs shows the progress";
const std::string missing_take =
    "Missing a take (a recording or replay name as `ovctl takes` lists it, recording:<name>, replay:<name>, a file, "
    "or last)";

// What the stand-in's canned meters and A/B comparison print.
const std::string all_meters =
    "micRaw     M  -24.2  S  -23.9  I  -24.1 LUFS  LRA  6.1  TP  -6.4 dBTP  8.1 LU under -16\n"
    "micOut     M  -18.2  S  -17.9  I  -17.0 LUFS  LRA  4.2  TP  -1.3 dBTP  1.0 LU under -16\n"
    "recorder   M  -15.1  S  -15.8  I  -16.0 LUFS  LRA  3.0  TP  -0.7 dBTP (over)  on target (-0.0)";
const std::string ab_report =
    "  Compressor: on A, A = B  (A +0.0 dB, B +0.0 dB)\n"
    "* Voice: on B  (A -0.4 dB, B +1.2 dB; matched -1.2 dB in your headphones)";
const std::string setup_report =
    "ok  Your mic: Shure MV7 (USB)\n"
    "!   Your headphones: Speakers (Realtek) looks like speakers  [fix: Pick headphones]\n"
    "ok  Orvia Mic: default recording device\n"
    "XX  Orvia Speakers: not installed  [fix: Install]\n"
    "\n"
    "Two things to fix.\n"
    "Your stream hears Orvia Mic.";

// At least one accepted command per family, through each way an answer is printed.
const std::vector<AcceptedCase> accepted_commands = {
    // plugins
    {{"plugins", "bypass", "micPre", "3", "OFF", "ignored"}, "plugins.bypass", R"({"key":3,"on":false,"rack":"micPre"})",
     ok_answer, "Back in the chain"},
    {{"plugins", "params", "post", "007"}, "plugins.params", R"({"key":7,"rack":"micPost"})",
     R"([{"id":"p1","name":"Threshold"},{"id":"p2"},{"value":1}])", "Threshold\np2"},
    {{"plugins", "remove", "pre", "18446744073709551615"}, "plugins.remove",
     R"({"key":18446744073709551615,"rack":"micPre"})", ok_answer, "Removed"},
    // tune
    {{"tune"}, "tune.state", "{}", "",
     "{\n  \"enabled\": true,\n  \"key\": \"A\",\n  \"mix\": 1.0,\n  \"scale\": \"minor\",\n  \"speedMs\": 20,\n"
     "  \"tempo\": 120\n}"},
    {{"tune", "key", "C#", "dorian"}, "music.set", R"({"key":"C#","scale":"dorian"})", ok_answer, "Key: C# dorian"},
    {{"tune", "tap"}, "music.tap", "{}", R"({"music":{"tempo":121.5}})", "121.5"},
    {{"tune", "bpm", "inf"}, "music.set", R"({"tempo":null})", ok_answer, "Tempo: inf BPM"},
    // harmony
    {{"harmony", "voice", "2", "interval", "-2", "SEMITONES"}, "harmony.voice",
     R"({"enabled":true,"interval":-2.0,"unit":"semitones","voice":2})", ok_answer, "Harmony voice 2: interval -2"},
    // doubler
    {{"doubler"}, "harmony.state", "{}", "",
     "{\n  \"enabled\": true,\n  \"preset\": \"Choir\",\n  \"voices\": [\n    {\n      \"interval\": 3,\n"
     "      \"on\": true,\n      \"voice\": 1\n    }\n  ]\n}"},
    {{"doubler", "delay", "25.5"}, "doubler.set", R"({"delayMs":25.5})", ok_answer, "Doubler delay: 25.5 ms"},
    // echo
    {{"echo", "time", "3/16"}, "echo.set", R"({"division":"3/16"})", ok_answer, "Echo time: 3/16"},
    {{"delay", "STATE"}, "music.state", "{}", "",
     "{\n  \"enabled\": true,\n  \"keyName\": \"A\",\n  \"scale\": \"minor\",\n  \"status\": \"listening\",\n"
     "  \"tempo\": 120.5\n}"},
    // meters
    {{"meters", "target", "-16"}, "meters.target", R"({"customLufs":-16.0,"target":"custom"})", "", all_meters},
    {{"meters", "reset", "OUT"}, "meters.reset", R"({"point":"micOut"})", "", "Integrated loudness reset on micOut"},
    {{"lufs", "rec"}, "meters.loudness", "{}", "",
     "recorder   M  -15.1  S  -15.8  I  -16.0 LUFS  LRA  3.0  TP  -0.7 dBTP (over)  on target (-0.0)"},
    // takes
    {{"takes"}, "takes.list", "{}", "",
     "[\n  {\n    \"name\": \"take-11\",\n    \"seconds\": 620.5\n  },\n  {\n    \"name\": \"take-12\",\n"
     "    \"seconds\": 3725.9\n  }\n]"},
    {{"takes", "play", "2024-05-01", "12-30-45", "90"}, "takes.playAt", R"({"at":90.0,"take":"2024-05-01 12-30-45"})",
     ok_answer, "Playing from 90 s on your headphones"},
    // master
    {{"master", "last", "apple", "mono", "vod"}, "takes.masterLast", R"({"mono":true,"source":"vod","target":"apple"})",
     ok_answer, "Master of the last take queued" + job_queued},
    {{"MASTER", "mytake", "-14"}, "takes.master", R"({"lufs":-14.0,"take":"mytake","target":"custom"})", ok_answer,
     "Master queued" + job_queued},
    // transcribe
    {{"transcribe", "2024-05-01", "12-30-45", "small", "de"}, "takes.transcribe",
     R"({"language":"de","model":"small","take":"2024-05-01 12-30-45"})", ok_answer, "Transcript queued" + job_queued},
    // stems
    {{"stems", "My", "Song.wav", "spleeter"}, "takes.stems", R"({"model":"spleeter","take":"My Song.wav"})", ok_answer,
     "Stem split queued" + job_queued},
    // dawproject
    {{"dawproject", "rec1", "suggestions"}, "takes.dawproject", R"({"markers":"suggestions","take":"rec1"})", ok_answer,
     "DAWproject export queued" + job_queued},
    // music
    {{"music", "listen", "app:spotify.exe"}, "music.analyser", R"({"listen":"app:spotify.exe"})", ok_answer,
     "Music analyser listens to app:spotify.exe"},
    {{"music", "follow", "Off"}, "music.follow", R"({"on":false})", ok_answer, "Key and tempo set by hand"},
    // karaoke
    {{"karaoke", "transpose", "-3"}, "karaoke.set", R"({"path":"transpose","value":-3})", ok_answer,
     "Transpose -3 semitones"},
    {{"karaoke", "file", "C:\\Music\\My", "Song.mp3"}, "karaoke.set",
     R"({"path":"player.file","value":"C:\\Music\\My Song.mp3"})", ok_answer, "Backing track: C:\\Music\\My Song.mp3"},
    {{"sing"}, "karaoke.state", "{}", "", "{\n  \"enabled\": false,\n  \"model\": \"center\"\n}"},
    // song
    {{"song", "start", "voice", "92"}, "song.start", R"({"clickBpm":92.0,"source":"voice"})", ok_answer,
     "New song: just your voice"},
    {{"song", "record"}, "song.record", "{}", ok_answer, "3, 2, 1\xE2\x80\xA6 recording"},
    // ΟΔΟΣ lower-cases with the final sigma.
    {{"song", "start", "app", "\xCE\x9F\xCE\x94\xCE\x9F\xCE\xA3"}, "song.start",
     "{\"app\":\"\xCE\xBF\xCE\xB4\xCE\xBF\xCF\x82\",\"source\":\"app\"}", ok_answer,
     "New song with the music from \xCE\xBF\xCE\xB4\xCE\xBF\xCF\x82 (its singer taken out)"},
    {{"song", "list"}, "song.list", "{}", R"(["Summer Song",{"name":"Caf\u00e9 nights"}])",
     "Summer Song\nCaf\xC3\xA9 nights"},
    // setup
    {{"setup", "route", "monitor", "Desk", "Speakers"}, "audio.setup.set",
     R"({"path":"route.monitor","value":"Desk Speakers"})", "", setup_report},
    // hpcal
    {{"hpcal", "remove", "HD", "600"}, "hpcal.remove", R"({"device":"HD 600"})", ok_answer, "Profile removed"},
    {{"headphones", "state"}, "hpcal.state", "{}", "", "{\n  \"enabled\": true,\n  \"profile\": \"HD 650\"\n}"},
    // monitorfx
    {{"monitorfx", "delay", "slap"}, "monitorFx.delay",
     R"({"division":"free","enabled":true,"feedback":0.15,"timeMs":110})", ok_answer,
     "Monitor delay: slap-back (110 ms)"},
    {{"wet"}, "monitorFx.state", "{}", "",
     "{\n  \"delayMs\": 0,\n  \"enabled\": true,\n  \"reverb\": 0.3,\n  \"wetTo\": \"monitor\"\n}"},
    // unmask
    {{"unmask", "band", "300", "3000"}, "unmask.set", R"({"highHz":3000.0,"lowHz":300.0})", ok_answer,
     "Unmask band: 300..3000 Hz"},
    {{"unmask"}, "unmask.state", "{}", "", "{\n  \"depthDb\": -6,\n  \"enabled\": false\n}"},
    // modulators
    {{"mod", "3", "lfo", "voice.reverb.wet", "0.5"}, "modulators.slot",
     R"({"depth":0.5,"enabled":true,"kind":"lfo","slot":3,"target":"voice.reverb.wet"})", ok_answer,
     "Modulator 3: lfo on voice.reverb.wet"},
    {{"modulators"}, "modulators.state", "{}", "", "{\n  \"enabled\": false,\n  \"slots\": []\n}"},
    // reference
    {{"reference", "match", "80%"}, "reference.match", R"({"amount":0.8})", ok_answer, "Match amount: 80 %"},
    {{"ref"}, "reference.list", "{}", R"([{"name":"Podcast host"},{"name":"My Voice"}])", "Podcast host\nMy Voice"},
    {{"ref"}, "reference.list", "{}", "[]", "(none)"},
    // assistant
    {{"macro", "Warmth", "+0.1"}, "assistant.macro", R"({"delta":0.1,"macro":"warmth"})", ok_answer, "warmth +0.1"},
    {{"assistant"}, "assistant.state", "{}", "",
     "{\n  \"intensity\": 0.2,\n  \"presence\": -0.1,\n  \"shape\": 0.0,\n  \"warmth\": 0.4\n}"},
    // ab
    {{"ab", "copy", "voice", "A"}, "compare.copy", R"({"block":"voice","from":"a"})", "", ab_report},
    {{"compare", "B", "compressor"}, "compare.toggle", R"({"block":"compressor","slot":"b"})", "", ab_report},
    // chop
    {{"chop", "play", "+7", "-2"}, "chop.play", R"({"degree":-2,"id":7})", ok_answer, "Chop 7, degree -2"},
    {{"chop", "set", "7", "midi", "C4"}, "chop.set", R"({"id":7,"midi":"C4"})", ok_answer, "Chop 7: midi = C4"},
    // dmca
    {{"vodsafe", "output", "STREAM", "off"}, "dmca.set", R"({"path":"outputs.stream","value":false})", ok_answer,
     "DMCA guard leaves stream"},
    {{"dmca"}, "dmca.state", "{}", "",
     "{\n  \"enabled\": true,\n  \"outputs\": {\n    \"chat\": false,\n    \"main\": true,\n    \"stream\": true\n"
     "  }\n}"},
    // instrument
    {{"guitar", "MODEL", "amps\\crunch.nam"}, "instrument.set", R"({"path":"model","value":"amps\\crunch.nam"})",
     ok_answer, "Instrument model: amps\\crunch.nam"},
    {{"inst", "state"}, "instrument.state", "{}", "", "{\n  \"device\": null,\n  \"enabled\": false\n}"},
    // looper
    {{"looper", "CYCLE", "+4"}, "looper.action", R"({"op":"cycle","track":4})", ok_answer, "Looper: cycle on track 4"},
    {{"looper", "PLAY-ALL"}, "looper.all", R"({"what":"playAll"})", ok_answer, "Looper: play all"},
    {{"loop"}, "looper.state", "{}", "", "{\n  \"enabled\": false,\n  \"selected\": 1,\n  \"tracks\": 4\n}"},
    // midi
    {{"midi", "learn", "action", "Push", "hold"}, "midi.learn",
     R"({"mode":"hold","target":{"action":{"action":"Push"},"kind":"action"}})", ok_answer,
     "Press a button, pad or key on your controller for Push"},
    {{"midi", "devices"}, "midi.state", "{}", "",
     "{\n  \"devices\": [\n    \"nanoKONTROL2\"\n  ],\n  \"enabled\": true,\n  \"mappings\": []\n}"},
    // lights
    {{"light", "color", "#ff8800"}, "lights.set", R"({"path":"lights.colour","value":"#ff8800"})", ok_answer,
     "Lights colour #ff8800"},
    {{"lights"}, "lights.state", "{}", "",
     "{\n  \"enabled\": false,\n  \"osc\": {\n    \"enabled\": false\n  },\n  \"preset\": \"voiceGlow\"\n}"},
    // osc
    {{"osc", "target", "127.0.0.1:9000", "10.0.0.5:8000"}, "lights.set",
     R"({"path":"osc.targets","value":["127.0.0.1:9000","10.0.0.5:8000"]})", ok_answer,
     "OSC targets: 127.0.0.1:9000, 10.0.0.5:8000"},
    {{"osc", "targets", "NONE"}, "lights.set", R"({"path":"osc.targets","value":[]})", ok_answer, "OSC targets: none"},
    // reactive
    {{"reactive", "rate", "30"}, "lights.set", R"({"path":"reactive.rateHz","value":30.0})", ok_answer,
     "Reactive feed at 30 Hz"},
    {{"feed"}, "reactive.frame", "{}", R"({"beat":true,"level":0.5})", "{\n  \"beat\": true,\n  \"level\": 0.5\n}"},
    // --json shows Orvia's answer instead of the confirmation
    {{"tune", "on", "--json"}, "tune.set", R"({"enabled":true})", R"({"enabled":true,"ok":true})",
     "{\n  \"enabled\": true,\n  \"ok\": true\n}"},
};

// At least one refusal per family.
const std::vector<RefusedCase> refused_commands = {
    {{"plugins", "param", "pre", "1", "7", "0,5"}, "\"0,5\" is not a number (the value, 0 to 1)"},
    {{"plugins", "CATALOGUE"},
     "plugins takes state, list, scan, add, remove, move, bypass, retry, params, param, editor or mode, not "
     "\"catalogue\""},
    {{"tune", "formant", "Maybe"}, "tune formant takes keep or follow, not \"maybe\""},
    {{"harmony", "voice", "5", "on"}, "harmony voice takes a voice from 1 to 4"},
    {{"doubler", "copies", "three"}, "\"three\" is not a number (2 or 3 copies)"},
    {{"echo", "tone", "bright"}, "\"bright\" is not a number (the tone in Hz, 500 to 12000)"},
    {{"meters", "tp", "-1dB"}, "\"-1dB\" is not a number (the true-peak ceiling)"},
    {{"meters", "bogus"}, "\"bogus\" is not a meter point (micRaw, micOut, speakers, recorder)"},
    {{"takes", "play", "mytake", "soon"}, "\"soon\" is not a number of seconds"},
    {{"master", "last", "mono", "tonal"}, "Missing a target curve name, e.g. Warm broadcast"},
    {{"transcribe"}, missing_take},
    {{"stems"}, "Missing a take or a file"},
    {{"dawproject"}, missing_take},
    {{"music", "follow", "TRUE"}, "music follow takes on or off, not \"true\""},
    {{"karaoke", "transpose", "1.5"}, "\"1.5\" is not a whole number of semitones"},
    {{"song", "start", "radio"}, "song start app <exe> | file <path> | voice [bpm]"},
    {{"song", "keep", "4294967296"}, "\"4294967296\" is not a take number"},
    {{"setup", "test", "loud"}, "setup test tone [device] | voice, not \"loud\""},
    // An empty word is a subcommand no table lists, not a missing one: nothing plays.
    {{"setup", "test", ""}, "setup test tone [device] | voice, not \"\""},
    {{"plugins", ""},
     "plugins takes state, list, scan, add, remove, move, bypass, retry, params, param, editor or mode, not \"\""},
    {{"hpcal", "import"}, "Missing AutoEq's ParametricEQ.txt"},
    {{"hpcal", "louder"}, "hpcal takes state, on, off, toggle, import or remove, not \"louder\""},
    {{"monitorfx", "delay", "2/8"}, "monitorfx delay takes on, off, slap, a time in ms or a note value, not \"2/8\""},
    {{"unmask", "band", "300"}, "Missing the band's top in Hz"},
    {{"modulators", "3", "step", "voice.pitch", "deep"}, "\"deep\" is not a depth (-1 to 1)"},
    {{"modulators", "Two", "on"}, "modulators takes state, on, off, toggle or a slot 1-8, not \"two\""},
    {{"reference", "match", "50%x"}, "\"50%x\" is not on, off or an amount 0-100"},
    {{"assistant", "shape", "More"}, "\"More\" is not a number (-1 to 1)"},
    {{"ab", "copy", "voice", "X"}, "\"x\" is not a slot (a or b)"},
    {{"chop"}, "chop grab | play <id> [degree] | set <id> <formant|midi|low|high|chop> <value>"},
    {{"chop", "set", "7", "id", "9"}, "\"id\" is not a pad parameter (formant, midi, low, high or chop)"},
    {{"dmca", "output", "Chat", "yes"}, "dmca output chat on|off"},
    {{"instrument", "set", "gateDb"}, "Missing a value"},
    {{"looper", "play", "5"}, "\"5\" is not a track (1 to 4)"},
    {{"midi", "unmap", "-4"}, "\"-4\" is not a mapping id"},
    {{"midi", "map", "LIST"}, "midi map lists the mappings (add them with midi learn or call midi.map), not \"LIST\""},
    {{"lights", "hue", "connect"}, "lights hue discover | pair <ip> | refresh"},
    {{"osc", "in", "maybe"}, "osc in on|off"},
    {{"reactive", "state"}, "reactive takes frame, on, off or rate, not \"state\""},
    // Options anywhere on the line do not rescue a refused command.
    {{"--json", "looper", "select", "9"}, "\"9\" is not a track (1 to 4)"},
};

// Test names show the command line.
void PrintTo(const AcceptedCase& entry, std::ostream* out) {
    *out << "ovctl";
    for (const std::string& word : entry.args) *out << " " << word;
}
void PrintTo(const RefusedCase& entry, std::ostream* out) {
    *out << "ovctl";
    for (const std::string& word : entry.args) *out << " " << word;
}

template <typename Case>
std::string case_name(const ::testing::TestParamInfo<Case>& info) {
    std::string name = std::to_string(info.index);
    for (const std::string& word : info.param.args)
        for (char c : word)
            if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) name += c;
    return name;
}

class AcceptedFamilyCommand : public OvctlTest, public ::testing::WithParamInterface<AcceptedCase> {};
class RefusedFamilyCommand : public OvctlTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(AcceptedFamilyCommand, SendsTheRequestAndPrintsTheAnswer) {
    const AcceptedCase& entry = GetParam();
    connect_through_settings();
    if (!entry.answer.empty()) {
        auto answer = ov::parse_json(entry.answer);
        ASSERT_TRUE(answer.value.has_value()) << entry.answer << ": " << answer.error;
        server_->script(entry.command, ov::standin::Reply::json(200, *answer.value));
    }
    EXPECT_RUN(ovctl(entry.args), 0, entry.printed + "\n", "");
    auto seen = requests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].target, "/v1/ping");
    EXPECT_EQ(seen[1].method, "POST");
    EXPECT_EQ(seen[1].target, "/v1/cmd/" + entry.command);
    EXPECT_EQ(seen[1].body, entry.body);
    EXPECT_EQ(seen[1].header("Content-Length"), std::to_string(entry.body.size()));
    EXPECT_EQ(seen[1].header("Authorization"), "Bearer standin-token");
}

TEST_P(RefusedFamilyCommand, ExitsWithTheUsageErrorAndSendsNothing) {
    const RefusedCase& entry = GetParam();
    connect_through_settings();
    EXPECT_RUN(ovctl(entry.args), 2, "", "ovctl: " + entry.message + usage_hint);
    EXPECT_TRUE(requests().empty());
}

INSTANTIATE_TEST_SUITE_P(Families, AcceptedFamilyCommand, ::testing::ValuesIn(accepted_commands),
                         case_name<AcceptedCase>);
INSTANTIATE_TEST_SUITE_P(Families, RefusedFamilyCommand, ::testing::ValuesIn(refused_commands),
                         case_name<RefusedCase>);

// A family command Orvia turns down: its message on standard error and exit code 1.
class FamiliesOrviaRefusal : public OvctlTest {};

TEST_F(FamiliesOrviaRefusal, PrintsOrviasMessageAndExitsWithOne) {
    connect_through_settings();
    server_->script("looper.action", ov::standin::Reply::error(409, "the looper is off"));
    EXPECT_RUN(ovctl({"looper", "record", "2"}), 1, "", "ovctl: the looper is off\n");
    auto seen = requests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].body, R"({"op":"record","track":2})");
}

// `hpcal import` reads a profile file from disk before anything is sent.
class FamiliesHpcalImportFile : public OvctlTest {
protected:
    std::string profile_path(const std::string& file_name) const { return home_ + "/profiles/" + file_name; }

    void expect_unreadable(const std::string& path, const std::string& reason) {
        EXPECT_RUN(ovctl({"hpcal", "import", path}), 2, "",
                   "ovctl: Could not read " + path + ": " + reason + usage_hint);
        EXPECT_TRUE(requests().empty());
    }
};

// AutoEq's format, with CRLF line ends and a non-ASCII comment kept byte for byte.
const std::string profile_text =
    "# Sennheiser HD 650 \xE2\x80\x94 Harman target\r\n"
    "Preamp: -6.2 dB\r\n"
    "Filter 1: ON PK Fc 105 Hz Gain 5.6 dB Q 0.70\r\n"
    "Filter 2: ON HSC Fc 10000 Hz Gain -2.1 dB Q 0.71\r\n";

TEST_F(FamiliesHpcalImportFile, SendsTheFileTextNamedByItsStem) {
    connect_through_settings();
    const std::string path = profile_path("my.cans.txt");
    write_file(path, profile_text);
    server_->script("hpcal.import", ov::standin::Reply::json(200, ov::Json{{"ok", true}}));
    EXPECT_RUN(ovctl({"hpcal", "import", path}), 0,
               "Imported \"my.cans\" for the speakers output; calibration on\n", "");
    auto seen = requests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].command(), "hpcal.import");
    EXPECT_EQ(seen[1].body, ov::to_compact_json(ov::Json{{"name", "my.cans"}, {"text", profile_text}}));
    auto body = seen[1].json_body();
    ASSERT_TRUE(body.has_value());
    EXPECT_EQ(body->value("text", ""), profile_text);
}

TEST_F(FamiliesHpcalImportFile, LaterWordsNameTheProfile) {
    connect_through_settings();
    const std::string path = profile_path("ParametricEQ.txt");
    write_file(path, profile_text);
    server_->script("hpcal.import", ov::standin::Reply::json(200, ov::Json{{"ok", true}}));
    EXPECT_RUN(ovctl({"HEADPHONES", "Import", path, "HD", "650"}), 0,
               "Imported \"HD 650\" for the speakers output; calibration on\n", "");
    auto seen = requests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].body, ov::to_compact_json(ov::Json{{"name", "HD 650"}, {"text", profile_text}}));
}

TEST_F(FamiliesHpcalImportFile, AnEmptyFileIsSentAsAnEmptyText) {
    connect_through_settings();
    const std::string path = profile_path("empty.txt");
    write_file(path, "");
    server_->script("hpcal.import", ov::standin::Reply::json(200, ov::Json{{"ok", true}}));
    EXPECT_RUN(ovctl({"hpcal", "import", path}), 0, "Imported \"empty\" for the speakers output; calibration on\n", "");
    ASSERT_EQ(requests().size(), 2u);
    EXPECT_EQ(requests()[1].body, R"({"name":"empty","text":""})");
}

TEST_F(FamiliesHpcalImportFile, RefusesAMissingFile) {
    connect_through_settings();
    expect_unreadable(profile_path("missing.txt"), std::strerror(ENOENT));
}

TEST_F(FamiliesHpcalImportFile, RefusesAFolder) {
    connect_through_settings();
    std::filesystem::create_directories(profile_path("folder.txt"));
    expect_unreadable(profile_path("folder.txt"), std::strerror(EISDIR));
}

TEST_F(FamiliesHpcalImportFile, RefusesAFileThatIsNotUtf8) {
    connect_through_settings();
    const std::string path = profile_path("latin1.txt");
    write_file(path, "Preamp: -6 dB \xE9t\xE9\n");
    expect_unreadable(path, "the content is not valid UTF-8");
}

}  // namespace
}  // namespace ovtest
