// Vocal chop and the DMCA guard: every row of their tables and every refusal.
#include "families_cases.h"

namespace ovctl::family_tests {
namespace {

TEST(FamiliesChop, TranslatesEverySubcommand) {
    expect_cases({
        {{"chop", "GRAB"}, "chop.grab", "{}", kConfirm, "The last phrase is a chop pad now"},
        {{"chop", "play", "7"}, "chop.play", R"({"degree":0,"id":7})", kConfirm, "Chop 7, degree 0"},
        {{"chop", "play", "+7", "-2"}, "chop.play", R"({"degree":-2,"id":7})", kConfirm, "Chop 7, degree -2"},
        {{"chop", "play", "7", "+3"}, "chop.play", R"({"degree":3,"id":7})", kConfirm, "Chop 7, degree 3"},
        {{"chop", "set", "7", "formant", "0.5"}, "chop.set", R"({"formant":0.5,"id":7})", kConfirm,
         "Chop 7: formant = 0.5"},
        {{"chop", "set", "7", "Low", "true"}, "chop.set", R"({"Low":true,"id":7})", kConfirm, "Chop 7: Low = true"},
        {{"chop", "set", "7", "midi", "C4"}, "chop.set", R"({"id":7,"midi":"C4"})", kConfirm, "Chop 7: midi = C4"},
    });
}

TEST(FamiliesChop, RefusesBadWords) {
    const std::string usage = "chop grab | play <id> [degree] | set <id> <formant|midi|low|high|chop> <value>";
    expect_refusals({
        {{"chop"}, usage},
        {{"chop", "state"}, usage},
        {{"chop", "play"}, "Missing the pad's sound id (ovctl sound list)"},
        {{"chop", "play", "x"}, "\"x\" is not a sound id"},
        {{"chop", "play", "-7"}, "\"-7\" is not a sound id"},
        {{"chop", "play", "7", "up"}, "\"up\" is not a scale degree"},
        {{"chop", "play", "7", "1.5"}, "\"1.5\" is not a scale degree"},
        {{"chop", "play", "7", "+-1"}, "\"+-1\" is not a scale degree"},
        {{"chop", "play", "7", "9223372036854775808"}, "\"9223372036854775808\" is not a scale degree"},
        {{"chop", "set", "7"}, "Missing formant, midi, low, high or chop"},
        {{"chop", "set", "7", "formant"}, "Missing a value"},
        {{"chop", "set", "x", "formant", "1"}, "\"x\" is not a sound id"},
        // The parameter key sits beside the pad id and must not replace it.
        {{"chop", "set", "7", "id", "9"}, "\"id\" is not a pad parameter (formant, midi, low, high or chop)"},
    });
}

TEST(FamiliesDmca, TranslatesEverySubcommand) {
    expect_cases({
        {{"dmca"}, "dmca.state", "{}", kJson, ""},
        {{"vodsafe", "state"}, "dmca.state", "{}", kJson, ""},
        {{"dmca", "on"}, "dmca.toggle", R"({"on":true})", kConfirm, "DMCA guard on: music is kept off what it covers"},
        {{"dmca", "OFF"}, "dmca.toggle", R"({"on":false})", kConfirm, "DMCA guard off"},
        {{"dmca", "toggle"}, "dmca.toggle", "{}", kConfirm, "DMCA guard toggled"},
        {{"vodsafe", "output", "STREAM", "off"}, "dmca.set", R"({"path":"outputs.stream","value":false})", kConfirm,
         "DMCA guard leaves stream"},
        {{"dmca", "output", "chat", "True"}, "dmca.set", R"({"path":"outputs.chat","value":true})", kConfirm,
         "DMCA guard covers chat"},
        {{"dmca", "recorder", "on"}, "dmca.set", R"({"path":"recorder","value":true})", kConfirm,
         "DMCA guard: recorder on"},
        {{"dmca", "replay", "TRUE"}, "dmca.set", R"({"path":"replay","value":true})", kConfirm, "DMCA guard: replay on"},
        {{"dmca", "Warn", "false"}, "dmca.set", R"({"path":"warn","value":false})", kConfirm, "DMCA guard: warn off"},
    });
}

TEST(FamiliesDmca, RefusesBadWords) {
    expect_refusals({
        {{"dmca", "louder"}, "dmca takes state, on, off, toggle, output, recorder, replay or warn, not \"louder\""},
        {{"dmca", "output"}, "Missing main, stream or chat"},
        {{"dmca", "output", "main"}, "dmca output main on|off"},
        {{"dmca", "output", "Chat", "yes"}, "dmca output chat on|off"},
        {{"dmca", "recorder", "yes"}, "dmca recorder on|off"},
        {{"dmca", "replay"}, "dmca replay on|off"},
        {{"dmca", "warn", "maybe"}, "dmca warn on|off"},
    });
}

}  // namespace
}  // namespace ovctl::family_tests
