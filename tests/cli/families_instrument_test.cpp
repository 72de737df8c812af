// The instrument input and the looper: every row of their tables, the looper track numbers,
// and every refusal.
#include "families_cases.h"

namespace ovctl::family_tests {
namespace {

TEST(FamiliesInstrument, TranslatesEverySubcommand) {
    expect_cases({
        {{"instrument"}, "instrument.state", "{}", kJson, ""},
        {{"inst", "state"}, "instrument.state", "{}", kJson, ""},
        {{"guitar", "on"}, "instrument.toggle", R"({"on":true})", kConfirm, "Instrument input on"},
        {{"instrument", "off"}, "instrument.toggle", R"({"on":false})", kConfirm,
         "Instrument input off: its capture stops"},
        {{"instrument", "toggle"}, "instrument.toggle", "{}", kConfirm, "Instrument input toggled"},
        {{"instrument", "device", "Line", "In", "2"}, "instrument.set", R"({"path":"device","value":"Line In 2"})",
         kConfirm, "Instrument device: Line In 2"},
        {{"guitar", "MODEL", "amps\\crunch.nam"}, "instrument.set", R"({"path":"model","value":"amps\\crunch.nam"})",
         kConfirm, "Instrument model: amps\\crunch.nam"},
        {{"instrument", "cab", "NONE"}, "instrument.set", R"({"path":"cab","value":null})", kConfirm,
         "Instrument cab: NONE"},
        {{"instrument", "cab", "cabs/4x12.wav"}, "instrument.set", R"({"path":"cab","value":"cabs/4x12.wav"})",
         kConfirm, "Instrument cab: cabs/4x12.wav"},
        {{"instrument", "set", "gateDb", "-50"}, "instrument.set", R"({"path":"gateDb","value":-50})", kConfirm,
         "Instrument: gateDb = -50"},
        {{"instrument", "set", "preset", "clean"}, "instrument.set", R"({"path":"preset","value":"clean"})", kConfirm,
         "Instrument: preset = clean"},
    });
}

TEST(FamiliesInstrument, RefusesBadWords) {
    expect_refusals({
        {{"instrument", "louder"}, "instrument takes state, on, off, toggle, device, model, cab or set, not \"louder\""},
        {{"instrument", "device"}, "Missing a device name or a file (none to clear)"},
        {{"instrument", "model", " "}, "Missing a device name or a file (none to clear)"},
        {{"instrument", "set"}, "Missing a setting, e.g. gateDb, levelDb, trebleDb"},
        {{"instrument", "set", "gateDb"}, "Missing a value"},
    });
}

TEST(FamiliesLooper, TranslatesEverySubcommand) {
    expect_cases({
        {{"looper"}, "looper.state", "{}", kJson, ""},
        {{"loop", "state"}, "looper.state", "{}", kJson, ""},
        {{"looper", "on"}, "looper.set", R"({"path":"enabled","value":true})", kConfirm, "Looper on"},
        {{"looper", "off"}, "looper.set", R"({"path":"enabled","value":false})", kConfirm,
         "Looper off: its memory is freed"},
        {{"looper", "record", "2"}, "looper.action", R"({"op":"record","track":2})", kConfirm,
         "Looper: record on track 2"},
        {{"looper", "record"}, "looper.action", R"({"op":"record"})", kConfirm, "Looper: record on the selected track"},
        {{"looper", "CYCLE", "+4"}, "looper.action", R"({"op":"cycle","track":4})", kConfirm,
         "Looper: cycle on track 4"},
        {{"looper", "overdub"}, "looper.action", R"({"op":"overdub"})", kConfirm,
         "Looper: overdub on the selected track"},
        {{"looper", "play", "1"}, "looper.action", R"({"op":"play","track":1})", kConfirm, "Looper: play on track 1"},
        {{"looper", "stop"}, "looper.action", R"({"op":"stop"})", kConfirm, "Looper: stop on the selected track"},
        {{"looper", "undo", "3"}, "looper.action", R"({"op":"undo","track":3})", kConfirm, "Looper: undo on track 3"},
        {{"looper", "redo"}, "looper.action", R"({"op":"redo"})", kConfirm, "Looper: redo on the selected track"},
        {{"looper", "clear", "2"}, "looper.action", R"({"op":"clear","track":2})", kConfirm, "Looper: clear on track 2"},
        {{"looper", "release"}, "looper.action", R"({"op":"release"})", kConfirm,
         "Looper: release on the selected track"},
        {{"looper", "stop-all"}, "looper.all", R"({"what":"stopAll"})", kConfirm, "Looper: stop all"},
        {{"looper", "PLAY-ALL"}, "looper.all", R"({"what":"playAll"})", kConfirm, "Looper: play all"},
        {{"looper", "undo-all"}, "looper.all", R"({"what":"undoAll"})", kConfirm, "Looper: undo all"},
        {{"looper", "redo-all"}, "looper.all", R"({"what":"redoAll"})", kConfirm, "Looper: redo all"},
        {{"looper", "clear-all"}, "looper.all", R"({"what":"clearAll"})", kConfirm, "Looper: clear all"},
        {{"looper", "track", "2"}, "looper.select", R"({"track":2})", kConfirm, "Looper: track 2 selected"},
        {{"looper", "select", "+3"}, "looper.select", R"({"track":3})", kConfirm, "Looper: track 3 selected"},
        {{"looper", "next"}, "looper.select", R"({"step":1})", kConfirm, "Looper: next track"},
        {{"looper", "set", "tracks.2.muted", "true"}, "looper.set", R"({"path":"tracks.2.muted","value":true})",
         kConfirm, "Looper: tracks.2.muted = true"},
        {{"looper", "set", "quantize", "bar"}, "looper.set", R"({"path":"quantize","value":"bar"})", kConfirm,
         "Looper: quantize = bar"},
        {{"looper", "devices"}, "looper.devices", "{}", kJson, ""},
    });
}

TEST(FamiliesLooper, RefusesBadWords) {
    expect_refusals({
        {{"loop", "REC"},
         "looper takes state, on, off, cycle, record, overdub, play, stop, undo, redo, clear, release, stop-all, "
         "play-all, undo-all, redo-all, clear-all, track, next, set or devices, not \"rec\""},
        {{"looper", "play", "5"}, "\"5\" is not a track (1 to 4)"},
        {{"looper", "play", "0"}, "\"0\" is not a track (1 to 4)"},
        {{"looper", "clear", "two"}, "\"two\" is not a track (1 to 4)"},
        {{"looper", "track"}, "looper track <1-4>"},
        {{"looper", "select", "9"}, "\"9\" is not a track (1 to 4)"},
        {{"looper", "set"}, "Missing a setting, e.g. quantize, feedback, tracks.2.muted"},
        {{"looper", "set", "quantize"}, "Missing a value"},
    });
}

}  // namespace
}  // namespace ovctl::family_tests
