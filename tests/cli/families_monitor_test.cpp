// The wet monitor, unmask and the modulators: every row of their tables, the forms of the
// delay word, the modulator slot numbers, and every refusal.
#include "families_cases.h"

namespace ovctl::family_tests {
namespace {

TEST(FamiliesMonitorFx, TranslatesEverySubcommand) {
    expect_cases({
        {{"monitorfx"}, "monitorFx.state", "{}", kJson, ""},
        {{"wet"}, "monitorFx.state", "{}", kJson, ""},
        {{"monfx", "state"}, "monitorFx.state", "{}", kJson, ""},
        {{"monitorfx", "on"}, "monitorFx.set", R"({"enabled":true})", kConfirm, "Wet monitor on"},
        {{"monitorfx", "off"}, "monitorFx.set", R"({"enabled":false})", kConfirm, "Wet monitor off"},
        {{"monitorfx", "toggle"}, "monitorFx.toggle", "{}", kConfirm, "Wet monitor toggled"},
        {{"monfx", "TO", "Record"}, "monitorFx.set", R"({"wetTo":"record"})", kConfirm, "Wet monitor heard on: record"},
        {{"monitorfx", "reverb", "on"}, "monitorFx.reverb", R"({"enabled":true})", kConfirm, "Monitor reverb on"},
        {{"monitorfx", "reverb", "OFF"}, "monitorFx.reverb", R"({"enabled":false})", kConfirm, "Monitor reverb off"},
        {{"monitorfx", "reverb", "0.4"}, "monitorFx.reverb", R"({"enabled":true,"mix":0.4})", kConfirm,
         "Monitor reverb mix: 0.4"},
        {{"monitorfx", "decay", "2.50"}, "monitorFx.reverb", R"({"decay":2.5})", kConfirm, "Monitor reverb decay: 2.5 s"},
        {{"monitorfx", "predelay", "20"}, "monitorFx.reverb", R"({"preDelayMs":20.0})", kConfirm,
         "Monitor reverb pre-delay: 20 ms"},
        {{"monitorfx", "delay", "on"}, "monitorFx.delay", R"({"enabled":true})", kConfirm, "Monitor delay on"},
        {{"monitorfx", "delay", "Off"}, "monitorFx.delay", R"({"enabled":false})", kConfirm, "Monitor delay off"},
        {{"monitorfx", "delay", "slap"}, "monitorFx.delay",
         R"({"division":"free","enabled":true,"feedback":0.15,"timeMs":110})", kConfirm,
         "Monitor delay: slap-back (110 ms)"},
        {{"monitorfx", "delay", "1/8D"}, "monitorFx.delay", R"({"division":"1/8d","enabled":true})", kConfirm,
         "Monitor delay: 1/8d at the session tempo"},
        {{"monitorfx", "delay", "1/whatever"}, "monitorFx.delay", R"({"division":"1/whatever","enabled":true})",
         kConfirm, "Monitor delay: 1/whatever at the session tempo"},
        {{"monitorfx", "delay", "250"}, "monitorFx.delay", R"({"division":"free","enabled":true,"timeMs":250.0})",
         kConfirm, "Monitor delay: 250 ms"},
        {{"monitorfx", "delay", "110.0"}, "monitorFx.delay", R"({"division":"free","enabled":true,"timeMs":110.0})",
         kConfirm, "Monitor delay: 110 ms"},
        {{"monitorfx", "feedback", "0.3"}, "monitorFx.delay", R"({"feedback":0.3})", kConfirm,
         "Monitor delay feedback: 0.3"},
        {{"monitorfx", "delaymix", "1"}, "monitorFx.delay", R"({"mix":1.0})", kConfirm, "Monitor delay mix: 1"},
    });
}

TEST(FamiliesMonitorFx, RefusesBadWords) {
    expect_refusals({
        {{"monitorfx", "louder"},
         "monitorfx takes state, on, off, toggle, to, reverb, decay, predelay, delay, feedback or delaymix, not "
         "\"louder\""},
        {{"monitorfx", "to"}, "Missing where the wet goes: monitor, record or everything"},
        {{"monitorfx", "reverb"}, "Missing the reverb's mix, 0 to 1"},
        {{"monitorfx", "reverb", "Lots"}, "\"Lots\" is not a number (the reverb's mix, 0 to 1)"},
        {{"monitorfx", "decay"}, "Missing the decay in seconds, 0.3 to 6"},
        {{"monitorfx", "predelay", "x"}, "\"x\" is not a number (the pre-delay in ms, 0 to 150)"},
        {{"monitorfx", "delay"}, "Missing on, off, slap, a time in ms or a note value"},
        {{"monitorfx", "delay", "Fast"}, "monitorfx delay takes on, off, slap, a time in ms or a note value, not \"fast\""},
        {{"monitorfx", "delay", "2/8"}, "monitorfx delay takes on, off, slap, a time in ms or a note value, not \"2/8\""},
        {{"monitorfx", "feedback"}, "Missing the delay's feedback, 0 to 0.9"},
        {{"monitorfx", "delaymix", "half"}, "\"half\" is not a number (the delay's mix, 0 to 1)"},
    });
}

TEST(FamiliesUnmask, TranslatesEverySubcommand) {
    expect_cases({
        {{"unmask"}, "unmask.state", "{}", kJson, ""},
        {{"unmask", "State"}, "unmask.state", "{}", kJson, ""},
        {{"unmask", "on"}, "unmask.set", R"({"enabled":true})", kConfirm, "Unmask on: the voice band dips while you talk"},
        {{"unmask", "off"}, "unmask.set", R"({"enabled":false})", kConfirm, "Unmask off"},
        {{"unmask", "toggle"}, "unmask.toggle", "{}", kConfirm, "Unmask toggled"},
        {{"unmask", "depth", "6"}, "unmask.set", R"({"depthDb":6.0})", kConfirm, "Unmask depth: 6 dB"},
        {{"unmask", "band", "300", "3000"}, "unmask.set", R"({"highHz":3000.0,"lowHz":300.0})", kConfirm,
         "Unmask band: 300..3000 Hz"},
        {{"unmask", "band", "3000", "300"}, "unmask.set", R"({"highHz":300.0,"lowHz":3000.0})", kConfirm,
         "Unmask band: 3000..300 Hz"},
    });
}

TEST(FamiliesUnmask, RefusesBadWords) {
    expect_refusals({
        {{"unmask", "louder"}, "unmask takes state, on, off, toggle, depth or band, not \"louder\""},
        {{"unmask", "depth"}, "Missing the dip in dB, 1 to 18"},
        {{"unmask", "depth", "deep"}, "\"deep\" is not a number (the dip in dB, 1 to 18)"},
        {{"unmask", "band"}, "Missing the band's bottom in Hz"},
        {{"unmask", "band", "300"}, "Missing the band's top in Hz"},
        {{"unmask", "band", "low", "high"}, "\"low\" is not a number (the band's bottom in Hz)"},
        {{"unmask", "band", "300", "high"}, "\"high\" is not a number (the band's top in Hz)"},
    });
}

TEST(FamiliesModulators, TranslatesEverySubcommand) {
    expect_cases({
        {{"modulators"}, "modulators.state", "{}", kJson, ""},
        {{"modulator", "state"}, "modulators.state", "{}", kJson, ""},
        {{"mod", "LIST"}, "modulators.state", "{}", kJson, ""},
        {{"lfo", "on"}, "modulators.set", R"({"enabled":true})", kConfirm, "Modulators on"},
        {{"modulators", "off"}, "modulators.set", R"({"enabled":false})", kConfirm,
         "Modulators off: every parameter back where you set it"},
        {{"modulators", "toggle"}, "modulators.toggle", "{}", kConfirm, "Modulators toggled"},
        {{"modulators", "+2", "OFF"}, "modulators.slot", R"({"enabled":false,"slot":2})", kConfirm, "Modulator 2 off"},
        {{"modulators", "1", "on"}, "modulators.slot", R"({"enabled":true,"slot":1})", kConfirm, "Modulator 1 on"},
        {{"modulators", "12", "on"}, "modulators.slot", R"({"enabled":true,"slot":12})", kConfirm, "Modulator 12 on"},
        {{"modulators", "0", "on"}, "modulators.slot", R"({"enabled":true,"slot":0})", kConfirm, "Modulator 0 on"},
        {{"mod", "3", "lfo", "voice.reverb.wet", "0.5"}, "modulators.slot",
         R"({"depth":0.5,"enabled":true,"kind":"lfo","slot":3,"target":"voice.reverb.wet"})", kConfirm,
         "Modulator 3: lfo on voice.reverb.wet"},
        {{"mod", "4", "Envelope", "Voice.Pitch"}, "modulators.slot",
         R"({"enabled":true,"kind":"envelope","slot":4,"target":"Voice.Pitch"})", kConfirm,
         "Modulator 4: envelope on Voice.Pitch"},
        {{"mod", "5", "STEP", "eq.gain", "-1"}, "modulators.slot",
         R"({"depth":-1.0,"enabled":true,"kind":"step","slot":5,"target":"eq.gain"})", kConfirm,
         "Modulator 5: step on eq.gain"},
    });
}

TEST(FamiliesModulators, RefusesBadWords) {
    const std::string slot_usage = "modulators <1-8> on | off | lfo|envelope|step <target path> [depth]";
    const std::string bad_sub = "modulators takes state, on, off, toggle or a slot 1-8, not ";
    expect_refusals({
        {{"modulators", "-1", "on"}, bad_sub + "\"-1\""},
        {{"modulators", "Two", "on"}, bad_sub + "\"two\""},
        {{"modulators", "4294967296", "on"}, bad_sub + "\"4294967296\""},
        {{"modulators", "3"}, slot_usage},
        {{"modulators", "3", "sine", "x"}, slot_usage},
        {{"modulators", "3", "lfo"}, "Missing the parameter it moves, e.g. voice.reverb.wet"},
        {{"modulators", "3", "step", "voice.pitch", "deep"}, "\"deep\" is not a depth (-1 to 1)"},
    });
}

}  // namespace
}  // namespace ovctl::family_tests
