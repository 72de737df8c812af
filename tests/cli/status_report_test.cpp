#include "status_report.h"

#include "ov/json.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using ovctl::Json;

Json json(const std::string& text) {
    auto parsed = ov::parse_json(text);
    EXPECT_TRUE(parsed.value.has_value()) << text << ": " << parsed.error;
    return parsed.value.value_or(Json());
}

std::vector<std::string> report_lines(const std::string& answer) {
    const std::string report = ovctl::status_report(json(answer));
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = report.find('\n', start);
        lines.push_back(report.substr(start, end - start));
        if (end == std::string::npos) return lines;
        start = end + 1;
    }
}

const std::vector<std::string> kFallbackLines = {
    "Orvia ? (API ?)", "Mic:        live",  "Chain:      stopped", "Profile:    none",
    "Scene:      none", "Voice:      off",  "Recording:  no",
};

TEST(StatusReport, EmptyObjectGivesTheSevenFallbackLines) {
    EXPECT_EQ(ovctl::status_report(json("{}")),
              "Orvia ? (API ?)\nMic:        live\nChain:      stopped\nProfile:    none\nScene:      none\n"
              "Voice:      off\nRecording:  no");
}

TEST(StatusReport, AnswerThatIsNotAnObjectGivesTheFallbacks) {
    for (const char* answer : {"null", "[]", "[{\"muted\":true}]", "\"status\"", "42"})
        EXPECT_EQ(report_lines(answer), kFallbackLines) << answer;
}

TEST(StatusReport, MistypedMembersCountAsMissing) {
    const std::string answer = R"({"version":2,"apiVersion":1,"muted":"yes","pushToTalk":1,"engineRunning":"true",
        "profile":null,"scene":[],"voice":"on","gameMode":[],"recording":"take","replay":true,"meters":[],
        "outputMode":3,"ducking":true,"vmics":{},"tune":"on","harmony":[],"music":1,"plugins":{},"loudness":[],
        "monitorFx":true,"compare":"a","obs":true})";
    EXPECT_EQ(report_lines(answer), kFallbackLines);
}

TEST(StatusReport, FullAnswer) {
    const std::string answer = R"({
        "version":"2.4.1","apiVersion":"1.2","muted":true,"pushToTalk":true,"engineRunning":true,
        "profile":"Streaming","scene":"Just Chatting","voice":{"enabled":true,"preset":"Radio"},
        "gameMode":{"active":true,"game":"Hollow Knight"},
        "recording":{"elapsedS":3725.9,"name":"take-12"},
        "replay":{"active":true,"seconds":30},
        "meters":{"inputDb":-120,"outputDb":-118.96,"lufsShort":-16.04},
        "outputMode":"headphones",
        "ducking":{"enabled":true,"rules":2,"duckingNow":["Discord"]},
        "vmics":[{"enabled":false,"label":"Raw"},{"enabled":true,"label":"Orvia Mic"},{"enabled":true}],
        "tune":{"enabled":true,"keyName":"A","scale":"minor","tempo":120},
        "harmony":{"enabled":true,"voices":3,"preset":"Choir","doubler":true,"pattern":"thirds"},
        "music":{"enabled":true,"status":"listening","keyName":"C","scale":"major","tempo":121.5,
                 "follow":true,"lockKey":true,"echo":true},
        "plugins":[{"rack":"micPre","status":"running","plugins":[{"name":"EQ"},{"name":"Gate","bypass":true},
                   {"name":"Comp","disabled":true,"bypass":true}]},
                   {"rack":"empty","plugins":[]},"junk",
                   {"rack":"monitor","bypass":true,"status":"running","plugins":[{"name":"Verb"},5]}],
        "loudness":{"live":true,"point":"micOut","integrated":-17.04,"delta":-1.04,"verdict":"under",
                    "truePeakMax":-1.26},
        "monitorFx":{"enabled":true,"wetTo":"headphones"},
        "compare":{"focus":"voice","active":"b","trimDb":-1.5},
        "obs":{"enabled":true,"connected":true,"scene":"Game","recording":true,"streaming":true}})";
    const std::vector<std::string> expected = {
        "Orvia 2.4.1 (API 1.2)",
        "Mic:        MUTED (push to talk)",
        "Chain:      running",
        "Profile:    \"Streaming\"",
        "Scene:      \"Just Chatting\"",
        "Voice:      on, preset \"Radio\"",
        "Game mode:  on (Hollow Knight)",
        "Recording:  \u25CF take-12 (62:05)",
        "Replay:     30 s buffer",
        "Levels:     in -inf dB, out -119.0 dB, -16.0 LUFS",
        "Speakers:   headphones",
        "Ducking:    on (2 rules, [\"Discord\"] ducked now)",
        "Mics out:   Orvia Mic, ?",
        "Live Tune:  on, A minor, 120 BPM",
        "Music:      harmony Choir (3 voices), doubler, pattern thirds",
        "Analyser:   listening (C major, 121.5 BPM), followed, key locked; echo on",
        "Plugins:    micPre running: EQ, Gate (bypassed), Comp (crashed, off); monitor bypassed: Verb, ?",
        "Loudness:   micOut -17.0 LUFS integrated, under target (-1.0 LU), true peak -1.3 dBTP",
        "Wet monitor: on, heard on headphones",
        "A/B:        voice on B (matched -1.5 dB)",
        "OBS:        connected, scene \"Game\", recording, live",
    };
    EXPECT_EQ(report_lines(answer), expected);
}

// Each case adds members to an empty answer and names the lines that change from the
// fallbacks (by their label) or appear after them.
struct LineCase {
    const char* what;
    std::string members;  // inside the answer object
    std::string expected_line;  // the line whose label matches, or "" when none must appear
    const char* label;
};

// The line of the report that starts with `label`, or "" when there is none.
std::string line_with_label(const std::vector<std::string>& lines, const std::string& label) {
    for (const auto& line : lines)
        if (line.rfind(label, 0) == 0) return line;
    return "";
}

TEST(StatusReport, LinesAndTheirFallbacks) {
    const std::vector<LineCase> cases = {
        {"version only", R"("version":"3.0")", "Orvia 3.0 (API ?)", "Orvia"},
        {"push to talk while muted", R"("muted":true,"pushToTalk":true)", "Mic:        MUTED (push to talk)", "Mic:"},
        {"push to talk while live", R"("pushToTalk":true)", "Mic:        live (push to talk)", "Mic:"},
        {"voice preset while off", R"("voice":{"preset":"Robot"})", "Voice:      off, preset \"Robot\"", "Voice:"},
        {"voice preset not text", R"("voice":{"enabled":true,"preset":1})", "Voice:      on", "Voice:"},
        {"game mode off hides the game", R"("gameMode":{"active":false,"game":"X"})", "Game mode:  off", "Game mode:"},
        {"game mode without game", R"("gameMode":{"active":true})", "Game mode:  on", "Game mode:"},
        {"no game mode object", R"("gameMode":null)", "", "Game mode:"},
        {"recording without fields", R"("recording":{})", "Recording:  \u25CF ? (0:00)", "Recording:"},
        {"two hours are minutes", R"("recording":{"name":"r","elapsedS":7200})", "Recording:  \u25CF r (120:00)",
         "Recording:"},
        {"negative time", R"("recording":{"name":"r","elapsedS":-5})", "Recording:  \u25CF r (0:00)", "Recording:"},
        {"time not a number", R"("recording":{"name":"r","elapsedS":"60"})", "Recording:  \u25CF r (0:00)", "Recording:"},
        {"huge time saturates", R"("recording":{"name":"r","elapsedS":1e30})",
         "Recording:  \u25CF r (307445734561825860:15)", "Recording:"},
        {"integer time", R"("recording":{"name":"r","elapsedS":59})", "Recording:  \u25CF r (0:59)", "Recording:"},
        {"replay off", R"("replay":{"active":false,"seconds":30})", "Replay:     off", "Replay:"},
        {"replay seconds missing", R"("replay":{"active":true})", "Replay:     null s buffer", "Replay:"},
        {"replay seconds as text", R"("replay":{"active":true,"seconds":"45"})", "Replay:     \"45\" s buffer",
         "Replay:"},
        {"levels missing", R"("meters":{})", "Levels:     in ? dB, out ? dB, ? LUFS", "Levels:"},
        {"level boundary", R"("meters":{"inputDb":-119,"outputDb":-118.99,"lufsShort":0})",
         "Levels:     in -inf dB, out -119.0 dB, 0.0 LUFS", "Levels:"},
        {"ducking missing fields", R"("ducking":{})", "Ducking:    off (null rules, null ducked now)", "Ducking:"},
        {"one enabled vmic", R"("vmics":[{"enabled":true,"label":"X"},{"enabled":false,"label":"Y"}])",
         "Mics out:   X", "Mics out:"},
        {"second vmic enabled", R"("vmics":[{"label":"A"},{"enabled":true,"label":"Orvia Mic"}])",
         "Mics out:   Orvia Mic", "Mics out:"},
        {"no vmic enabled", R"("vmics":[{"label":"A"},{"enabled":false,"label":"B"},"x"])", "", "Mics out:"},
        {"empty vmics", R"("vmics":[])", "", "Mics out:"},
        {"tune fallbacks", R"("tune":{})", "Live Tune:  off, ? ?, ? BPM", "Live Tune:"},
        {"tune tempo fraction", R"("tune":{"enabled":true,"keyName":"C","scale":"major","tempo":120.4})",
         "Live Tune:  on, C major, 120.4 BPM", "Live Tune:"},
        {"tune tempo rounds to a whole", R"("tune":{"tempo":99.96})", "Live Tune:  off, ? ?, 100.0 BPM", "Live Tune:"},
        {"harmony one voice, no preset", R"("harmony":{"enabled":true,"voices":1})",
         "Music:      harmony custom (1 voice)", "Music:"},
        {"harmony voices not an integer", R"("harmony":{"enabled":true,"voices":2.0})",
         "Music:      harmony custom (0 voices)", "Music:"},
        {"harmony negative voices", R"("harmony":{"enabled":true,"voices":-2,"preset":"P"})",
         "Music:      harmony P (0 voices)", "Music:"},
        {"doubler only", R"("harmony":{"enabled":false,"doubler":true})", "Music:      doubler", "Music:"},
        {"pattern only", R"("harmony":{"pattern":"arp"})", "Music:      pattern arp", "Music:"},
        {"harmony off", R"("harmony":{"enabled":false,"voices":3,"pattern":null})", "", "Music:"},
        {"analyser not known yet", R"("music":{"enabled":true,"keyName":"C"})",
         "Analyser:   ? (key not known yet, tempo not known yet)", "Analyser:"},
        {"analyser whole tempo", R"("music":{"enabled":true,"status":"locked","tempo":128})",
         "Analyser:   locked (key not known yet, 128 BPM)", "Analyser:"},
        {"echo alone", R"("music":{"echo":true,"follow":true})", "Analyser:   echo on", "Analyser:"},
        {"analyser off", R"("music":{"follow":true,"lockKey":true})", "", "Analyser:"},
        {"rack fallbacks", R"("plugins":[{"plugins":[{}]}])", "Plugins:    ? ?: ?", "Plugins:"},
        {"racks without plug-ins", R"("plugins":[{"rack":"a","plugins":[]},{"rack":"b"},1])", "", "Plugins:"},
        {"loudness without integrated", R"("loudness":{"live":true})",
         "Loudness:   ? no integrated yet, true peak -100.0 dBTP", "Loudness:"},
        {"loudness integrated only", R"("loudness":{"integrated":-23,"delta":1.5,"verdict":"over","truePeakMax":-0.04})",
         "Loudness:   ? -23.0 LUFS integrated, over target (+1.5 LU), true peak -0.0 dBTP", "Loudness:"},
        {"loudness verdict without delta", R"("loudness":{"live":true,"verdict":"on"})",
         "Loudness:   ? no integrated yet, true peak -100.0 dBTP", "Loudness:"},
        {"loudness not live", R"("loudness":{"live":false,"integrated":null})", "", "Loudness:"},
        {"wet monitor default", R"("monitorFx":{"enabled":true})", "Wet monitor: on, heard on monitor", "Wet monitor:"},
        {"wet monitor off", R"("monitorFx":{"enabled":false,"wetTo":"x"})", "", "Wet monitor:"},
        {"compare small trim", R"("compare":{"focus":"voice","active":"b","trimDb":0.04})", "A/B:        voice on B",
         "A/B:"},
        {"compare without active", R"("compare":{"focus":"tune","trimDb":0.05})", "A/B:        tune on ? (matched +0.1 dB)",
         "A/B:"},
        {"compare upper-cases Unicode", R"("compare":{"focus":"f","active":"\u00df"})", "A/B:        f on SS", "A/B:"},
        {"compare without focus", R"("compare":{"active":"a"})", "", "A/B:"},
        {"obs disabled while connected", R"("obs":{"enabled":false,"connected":true})", "", "OBS:"},
        {"obs not connected", R"("obs":{"enabled":true})", "OBS:        not connected", "OBS:"},
        {"obs error", R"("obs":{"enabled":true,"connected":false,"error":"refused"})",
         "OBS:        not connected (refused)", "OBS:"},
        {"obs without scene", R"("obs":{"enabled":true,"connected":true,"streaming":true})",
         "OBS:        connected, scene none, live", "OBS:"},
    };
    for (const auto& c : cases) {
        const std::vector<std::string> lines = report_lines("{" + c.members + "}");
        EXPECT_EQ(line_with_label(lines, c.label), c.expected_line) << c.what;
    }
}

TEST(StatusReport, OptionalLinesFollowTheFixedOrder) {
    const std::vector<std::string> lines = report_lines(
        R"({"obs":{"enabled":true},"gameMode":{"active":true},"replay":{"active":false},"outputMode":"speakers"})");
    const std::vector<std::string> expected = {
        "Orvia ? (API ?)", "Mic:        live", "Chain:      stopped", "Profile:    none", "Scene:      none",
        "Voice:      off", "Game mode:  on", "Recording:  no", "Replay:     off", "Speakers:   speakers",
        "OBS:        not connected",
    };
    EXPECT_EQ(lines, expected);
}

}  // namespace
