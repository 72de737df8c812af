// Live Tune, harmony, doubler and echo: every row of their tables, the harmony voice checks
// in word order, and every refusal.
#include "families_cases.h"

namespace ovctl::family_tests {
namespace {

TEST(FamiliesTune, TranslatesEverySubcommand) {
    expect_cases({
        {{"tune"}, "tune.state", "{}", kJson, ""},
        {{"autotune", "State"}, "tune.state", "{}", kJson, ""},
        {{"tune", "on"}, "tune.set", R"({"enabled":true})", kConfirm, "Live Tune on"},
        {{"tune", "OFF"}, "tune.set", R"({"enabled":false})", kConfirm, "Live Tune off"},
        {{"tune", "toggle"}, "tune.toggle", "{}", kConfirm, "Live Tune toggled"},
        {{"tune", "tap"}, "music.tap", "{}", kParamValue, "music.tempo"},
        {{"tune", "key", "C#"}, "music.set", R"({"key":"C#"})", kConfirm, "Key: C#"},
        {{"tune", "key", "C#", "dorian"}, "music.set", R"({"key":"C#","scale":"dorian"})", kConfirm, "Key: C# dorian"},
        {{"tune", "scale", "harmonicMinor"}, "music.set", R"({"scale":"harmonicMinor"})", kConfirm,
         "Scale: harmonicMinor"},
        {{"tune", "tempo", "120"}, "music.set", R"({"tempo":120.0})", kConfirm, "Tempo: 120 BPM"},
        {{"tune", "bpm", "120.0"}, "music.set", R"({"tempo":120.0})", kConfirm, "Tempo: 120 BPM"},
        {{"tune", "bpm", "inf"}, "music.set", R"({"tempo":null})", kConfirm, "Tempo: inf BPM"},
        {{"tune", "speed", "0"}, "tune.set", R"({"speedMs":0.0})", kConfirm, "Retune speed: 0 ms"},
        {{"tune", "humanize", "0.50"}, "tune.set", R"({"humanize":0.5})", kConfirm, "Humanize: 0.5"},
        {{"tune", "mix", "1e0"}, "tune.set", R"({"mix":1.0})", kConfirm, "Mix: 1"},
        {{"tune", "formant", "keep"}, "tune.set", R"({"formant":true})", kConfirm, "Formants kept"},
        {{"tune", "formant", "ON"}, "tune.set", R"({"formant":true})", kConfirm, "Formants kept"},
        {{"tune", "formants", "Follow"}, "tune.set", R"({"formant":false})", kConfirm, "Formants follow the pitch"},
        {{"tune", "formant", "off"}, "tune.set", R"({"formant":false})", kConfirm, "Formants follow the pitch"},
        {{"tune", "tuner", "yes"}, "tune.set", R"({"tuner":true})", kConfirm, "Tuner on"},
        {{"tune", "tuner", "TRUE"}, "tune.set", R"({"tuner":true})", kConfirm, "Tuner on"},
        {{"tune", "tuner", "on"}, "tune.set", R"({"tuner":true})", kConfirm, "Tuner on"},
        {{"tune", "tuner", "no"}, "tune.set", R"({"tuner":false})", kConfirm, "Tuner off"},
        {{"tune", "tuner", "false"}, "tune.set", R"({"tuner":false})", kConfirm, "Tuner off"},
        {{"tune", "tuner", "Off"}, "tune.set", R"({"tuner":false})", kConfirm, "Tuner off"},
        {{"tune", "pattern", "arpUp", "1/8"}, "tune.pattern", R"({"enabled":true,"kind":"arpUp","rate":"1/8"})",
         kConfirm, "Pitch pattern: arpUp in 1/8"},
        {{"tune", "pattern", "trill"}, "tune.pattern", R"({"enabled":true,"kind":"trill"})", kConfirm,
         "Pitch pattern: trill"},
        {{"tune", "pattern", "OFF"}, "tune.pattern", R"({"enabled":false})", kConfirm, "Pitch pattern off"},
    });
}

TEST(FamiliesTune, RefusesBadWords) {
    expect_refusals({
        {{"tune", "louder"},
         "tune takes state, on, off, toggle, tap, key, scale, tempo, speed, humanize, mix, formant, tuner or pattern, "
         "not \"louder\""},
        {{"tune", "key"}, "Missing the key, e.g. A, C# or Bb"},
        {{"tune", "scale"},
         "Missing the scale (major, minor, harmonicMinor, chromatic, dorian, phrygian, lydian, mixolydian, locrian, "
         "majorPentatonic, minorPentatonic, blues)"},
        {{"tune", "tempo"}, "Missing the tempo in BPM"},
        {{"tune", "tempo", "fast"}, "\"fast\" is not a number (the tempo in BPM)"},
        {{"tune", "speed", "x"}, "\"x\" is not a number (the retune speed in ms, 0 = hard tune)"},
        {{"tune", "humanize"}, "Missing humanize, 0 to 1"},
        {{"tune", "mix", "50%"}, "\"50%\" is not a number (the mix, 0 to 1)"},
        {{"tune", "formant"}, "Missing keep or follow"},
        {{"tune", "formant", "Maybe"}, "tune formant takes keep or follow, not \"maybe\""},
        {{"tune", "tuner"}, "Missing tune tuner"},
        {{"tune", "tuner", "Sometimes"}, "tune tuner takes on or off, not \"sometimes\""},
        {{"tune", "pattern"},
         "Missing a pattern (arpUp, arpDown, arpUpDown, trill, trillDown, fifths, octaves, steps) or off"},
    });
}

TEST(FamiliesHarmony, TranslatesEverySubcommand) {
    expect_cases({
        {{"harmony"}, "harmony.state", "{}", kJson, ""},
        {{"harmonizer", "state"}, "harmony.state", "{}", kJson, ""},
        {{"harmony", "on"}, "harmony.set", R"({"enabled":true})", kConfirm, "Harmony on"},
        {{"harmony", "off"}, "harmony.set", R"({"enabled":false})", kConfirm, "Harmony off"},
        {{"harmony", "toggle"}, "harmony.toggle", "{}", kConfirm, "Harmony toggled"},
        {{"harmony", "preset", "thirdFifth"}, "harmony.set", R"({"preset":"thirdFifth"})", kConfirm,
         "Harmony preset: thirdFifth"},
        {{"harmony", "voice", "1", "on"}, "harmony.voice", R"({"enabled":true,"voice":1})", kConfirm,
         "Harmony voice 1 on"},
        {{"harmony", "voice", "2.0", "OFF"}, "harmony.voice", R"({"enabled":false,"voice":2})", kConfirm,
         "Harmony voice 2 off"},
        {{"harmony", "voice", "2", "interval", "-2", "SEMITONES"}, "harmony.voice",
         R"({"enabled":true,"interval":-2.0,"unit":"semitones","voice":2})", kConfirm, "Harmony voice 2: interval -2"},
        {{"harmony", "voice", "4", "interval", "+2"}, "harmony.voice", R"({"enabled":true,"interval":2.0,"voice":4})",
         kConfirm, "Harmony voice 4: interval 2"},
        {{"harmony", "voice", "3", "level", "-6.5"}, "harmony.voice", R"({"levelDb":-6.5,"voice":3})", kConfirm,
         "Harmony voice 3: level set"},
        {{"harmony", "voice", "3", "Formant", "1"}, "harmony.voice", R"({"formant":1.0,"voice":3})", kConfirm,
         "Harmony voice 3: formant set"},
        {{"harmony", "voice", "1", "humanize", "0.2"}, "harmony.voice", R"({"humanize":0.2,"voice":1})", kConfirm,
         "Harmony voice 1: humanize set"},
    });
}

TEST(FamiliesHarmony, RefusesBadWords) {
    const std::string voice_range = "harmony voice takes a voice from 1 to 4";
    expect_refusals({
        {{"harmony", "louder"}, "harmony takes state, on, off, toggle, preset or voice, not \"louder\""},
        {{"harmony", "preset"}, "Missing a preset (third, fifth, thirdFifth, octaveDown, choir)"},
        {{"harmony", "voice"}, "Missing the voice, 1 to 4"},
        {{"harmony", "voice", "two", "on"}, "\"two\" is not a number (the voice, 1 to 4)"},
        {{"harmony", "voice", "5", "on"}, voice_range},
        {{"harmony", "voice", "0", "on"}, voice_range},
        {{"harmony", "voice", "1.5", "on"}, voice_range},
        {{"harmony", "voice", "nan", "on"}, voice_range},
        {{"harmony", "voice", "inf", "bogus"}, voice_range},
        {{"harmony", "voice", "2"}, "Missing on, off, interval, level, formant or humanize"},
        {{"harmony", "voice", "2", "Louder"},
         "harmony voice takes on, off, interval, level, formant or humanize, not \"louder\""},
        {{"harmony", "voice", "2", "interval"}, "Missing the interval (scale steps, +2 = a third above)"},
        {{"harmony", "voice", "2", "interval", "third"},
         "\"third\" is not a number (the interval (scale steps, +2 = a third above))"},
        {{"harmony", "voice", "2", "level", "loud"}, "\"loud\" is not a number (the level in dB)"},
        {{"harmony", "voice", "2", "formant"}, "Missing the formant shift in semitones"},
        {{"harmony", "voice", "2", "humanize", "x"}, "\"x\" is not a number (humanize, 0 to 1)"},
    });
}

TEST(FamiliesDoubler, TranslatesEverySubcommand) {
    expect_cases({
        {{"doubler"}, "harmony.state", "{}", kJson, ""},
        {{"double", "state"}, "harmony.state", "{}", kJson, ""},
        {{"doubler", "on"}, "doubler.set", R"({"enabled":true})", kConfirm, "Doubler on"},
        {{"doubler", "off"}, "doubler.set", R"({"enabled":false})", kConfirm, "Doubler off"},
        {{"doubler", "toggle"}, "doubler.toggle", "{}", kConfirm, "Doubler toggled"},
        {{"doubler", "copies", "7"}, "doubler.set", R"({"copies":7.0})", kConfirm, "Doubler: 7 copies"},
        {{"doubler", "delay", "25.5"}, "doubler.set", R"({"delayMs":25.5})", kConfirm, "Doubler delay: 25.5 ms"},
        {{"doubler", "detune", "12"}, "doubler.set", R"({"detuneCents":12.0})", kConfirm, "Doubler detune: 12 cents"},
        {{"doubler", "width", "0.8"}, "doubler.set", R"({"width":0.8})", kConfirm, "Doubler width: 0.8"},
        {{"doubler", "mix", ".5"}, "doubler.set", R"({"mix":0.5})", kConfirm, "Doubler mix: 0.5"},
    });
}

TEST(FamiliesDoubler, RefusesBadWords) {
    expect_refusals({
        {{"doubler", "triple"}, "doubler takes state, on, off, toggle, copies, delay, detune, width or mix, not \"triple\""},
        {{"doubler", "copies"}, "Missing 2 or 3 copies"},
        {{"doubler", "copies", "three"}, "\"three\" is not a number (2 or 3 copies)"},
        {{"doubler", "delay"}, "Missing the delay in ms, 10 to 40"},
        {{"doubler", "detune", "-"}, "\"-\" is not a number (the detune in cents, 0 to 25)"},
        {{"doubler", "width", "."}, "\".\" is not a number (the width, 0 to 1)"},
        {{"doubler", "mix", "1e"}, "\"1e\" is not a number (the mix, 0 to 1)"},
    });
}

TEST(FamiliesEcho, TranslatesEverySubcommand) {
    expect_cases({
        {{"echo"}, "music.state", "{}", kJson, ""},
        {{"delay", "STATE"}, "music.state", "{}", kJson, ""},
        {{"echo", "on"}, "echo.set", R"({"enabled":true})", kConfirm, "Echo on"},
        {{"echo", "off"}, "echo.set", R"({"enabled":false})", kConfirm, "Echo off"},
        {{"echo", "toggle"}, "echo.toggle", "{}", kConfirm, "Echo toggled"},
        {{"echo", "time", "3/16"}, "echo.set", R"({"division":"3/16"})", kConfirm, "Echo time: 3/16"},
        {{"echo", "division", "1/8D"}, "echo.set", R"({"division":"1/8D"})", kConfirm, "Echo time: 1/8D"},
        {{"echo", "feedback", "0.45"}, "echo.set", R"({"feedback":0.45})", kConfirm, "Echo feedback: 0.45"},
        {{"echo", "tone", "4000"}, "echo.set", R"({"toneHz":4000.0})", kConfirm, "Echo tone: 4000 Hz"},
        {{"echo", "mix", "0.3"}, "echo.set", R"({"mix":0.3})", kConfirm, "Echo mix: 0.3"},
    });
}

TEST(FamiliesEcho, RefusesBadWords) {
    expect_refusals({
        {{"echo", "louder"}, "echo takes state, on, off, toggle, time, feedback, tone or mix, not \"louder\""},
        {{"echo", "time"}, "Missing a note value: 1/4, 1/8, 1/8d, 1/8t or 1/16"},
        {{"echo", "feedback"}, "Missing the feedback, 0 to 0.9"},
        {{"echo", "tone", "bright"}, "\"bright\" is not a number (the tone in Hz, 500 to 12000)"},
        {{"echo", "mix", "half"}, "\"half\" is not a number (the mix, 0 to 1)"},
    });
}

}  // namespace
}  // namespace ovctl::family_tests
