// The MIDI family: every row of its table, the two learn target shapes, the device name
// before the last word, and every refusal.
#include "families_cases.h"

namespace ovctl::family_tests {
namespace {

TEST(FamiliesMidi, TranslatesEverySubcommand) {
    expect_cases({
        {{"midi"}, "midi.state", "{}", kJson, ""},
        {{"midi", "state"}, "midi.state", "{}", kJson, ""},
        {{"midi", "devices"}, "midi.state", "{}", kJson, ""},
        {{"midi", "map"}, "midi.state", "{}", kJson, ""},
        {{"midi", "MAPPINGS"}, "midi.state", "{}", kJson, ""},
        {{"midi", "map", "list"}, "midi.state", "{}", kJson, ""},
        {{"midi", "targets"}, "midi.targets", "{}", kJson, ""},
        {{"MIDI", "on"}, "midi.set", R"({"enabled":true})", kConfirm, "MIDI on"},
        {{"midi", "off"}, "midi.set", R"({"enabled":false})", kConfirm, "MIDI off: every port closed"},
        {{"midi", "device", "Studio", "Keys", "On"}, "midi.set", R"({"device":"Studio Keys","deviceEnabled":true})",
         kConfirm, "Studio Keys: on"},
        {{"midi", "device", "Pad", "off"}, "midi.set", R"({"device":"Pad","deviceEnabled":false})", kConfirm,
         "Pad: off"},
        {{"midi", "unmap", "4"}, "midi.unmap", R"({"id":4})", kConfirm, "Mapping 4 deleted"},
        {{"midi", "unmap", "+4"}, "midi.unmap", R"({"id":4})", kConfirm, "Mapping 4 deleted"},
        {{"midi", "learn", "voice.reverb.wet"}, "midi.learn", R"({"target":{"kind":"param","path":"voice.reverb.wet"}})",
         kConfirm, "Move a knob or fader on your controller for voice.reverb.wet"},
        {{"midi", "learn", "Voice.Pitch"}, "midi.learn", R"({"target":{"kind":"param","path":"Voice.Pitch"}})",
         kConfirm, "Move a knob or fader on your controller for Voice.Pitch"},
        {{"midi", "learn", "action", "Mute"}, "midi.learn",
         R"({"mode":"press","target":{"action":{"action":"Mute"},"kind":"action"}})", kConfirm,
         "Press a button, pad or key on your controller for Mute"},
        {{"midi", "learn", "ACTION", "Mute", "Toggle"}, "midi.learn",
         R"({"mode":"toggle","target":{"action":{"action":"Mute"},"kind":"action"}})", kConfirm,
         "Press a button, pad or key on your controller for Mute"},
        {{"midi", "learn", "action", "Push", "hold"}, "midi.learn",
         R"({"mode":"hold","target":{"action":{"action":"Push"},"kind":"action"}})", kConfirm,
         "Press a button, pad or key on your controller for Push"},
        {{"midi", "learn", "CANCEL"}, "midi.learn.cancel", "{}", kConfirm, "Learn cancelled"},
        {{"midi", "learn", "stop"}, "midi.learn.cancel", "{}", kConfirm, "Learn cancelled"},
        {{"midi", "notes", "off"}, "midi.notes", R"({"enabled":false})", kConfirm, "MIDI notes off"},
        {{"midi", "notes", "Both"}, "midi.notes", R"({"enabled":true,"to":"both"})", kConfirm, "MIDI notes to both"},
        {{"midi", "notes", "harmony"}, "midi.notes", R"({"enabled":true,"to":"harmony"})", kConfirm,
         "MIDI notes to harmony"},
        {{"midi", "notes", "TUNE"}, "midi.notes", R"({"enabled":true,"to":"tune"})", kConfirm, "MIDI notes to tune"},
        {{"midi", "clock", "on"}, "midi.clock", R"({"follow":true})", kConfirm, "The tempo follows the MIDI clock"},
        {{"midi", "clock", "follow"}, "midi.clock", R"({"follow":true})", kConfirm, "The tempo follows the MIDI clock"},
        {{"midi", "clock", "OFF"}, "midi.clock", R"({"follow":false})", kConfirm, "The tempo is manual again"},
        {{"midi", "panic"}, "midi.panic", "{}", kConfirm, "Every MIDI note off"},
    });
}

TEST(FamiliesMidi, RefusesBadWords) {
    expect_refusals({
        {{"midi", "louder"},
         "midi takes state, on, off, device, map, unmap, learn, notes, clock, targets or panic, not \"louder\""},
        {{"midi", "map", "LIST"},
         "midi map lists the mappings (add them with midi learn or call midi.map), not \"LIST\""},
        {{"midi", "mappings", "add"},
         "midi map lists the mappings (add them with midi learn or call midi.map), not \"add\""},
        {{"midi", "device"}, "midi device <name> on|off"},
        {{"midi", "device", "on"}, "midi device <name> on|off"},
        {{"midi", "device", "Pad", "2"}, "midi device <name> on|off"},
        {{"midi", "unmap"}, "Missing the mapping's id (ovctl midi map)"},
        {{"midi", "unmap", "-4"}, "\"-4\" is not a mapping id"},
        {{"midi", "unmap", "4294967296"}, "\"4294967296\" is not a mapping id"},
        {{"midi", "learn"}, "midi learn <parameter path> | action <name> [press|hold|toggle] | cancel"},
        {{"midi", "learn", "action"}, "Missing the action's name (ovctl action list)"},
        {{"midi", "learn", "action", "Mute", "tap"}, "the press mode is press, hold or toggle, not \"tap\""},
        {{"midi", "learn", "action", "Mute", "TAP"}, "the press mode is press, hold or toggle, not \"tap\""},
        {{"midi", "notes"}, "Missing off, harmony, tune or both"},
        {{"midi", "notes", "Drums"}, "midi notes takes off, harmony, tune or both, not \"drums\""},
        {{"midi", "clock"}, "Missing on or off"},
        {{"midi", "clock", "Internal"}, "midi clock takes on or off, not \"internal\""},
    });
}

}  // namespace
}  // namespace ovctl::family_tests
