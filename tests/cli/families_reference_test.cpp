// Reference clips, the assistant's macros and A/B compare: every row of their tables, the
// clamped match amount, value versus step, the case-sensitive A/B words, and every refusal.
#include "families_cases.h"

namespace ovctl::family_tests {
namespace {

TEST(FamiliesReference, TranslatesEverySubcommand) {
    expect_cases({
        {{"ref"}, "reference.list", "{}", kList, ""},
        {{"reference", "LIST"}, "reference.list", "{}", kList, ""},
        {{"match", "import", "clip.wav"}, "reference.import", R"({"path":"clip.wav"})", kConfirm,
         "Analysing clip.wav (ovctl reference shows it when done)"},
        {{"reference", "import", "clip.wav", "Podcast", "host"}, "reference.import",
         R"({"name":"Podcast host","path":"clip.wav"})", kConfirm,
         "Analysing clip.wav (ovctl reference shows it when done)"},
        {{"reference", "capture", "spotify.exe"}, "reference.capture", R"({"app":"spotify.exe"})", kConfirm,
         "Listening to spotify.exe…"},
        {{"reference", "capture", "spotify.exe", "20"}, "reference.capture", R"({"app":"spotify.exe","seconds":20.0})",
         kConfirm, "Listening to spotify.exe…"},
        {{"reference", "capture", "Spotify.exe", "inf"}, "reference.capture", R"({"app":"Spotify.exe","seconds":null})",
         kConfirm, "Listening to Spotify.exe…"},
        {{"reference", "voice"}, "reference.voice", R"({"source":"capture"})", kConfirm,
         "Read aloud for 15 s (the sentence is on the Producer page)"},
        {{"reference", "voice", "now"}, "reference.voice", R"({"source":"capture"})", kConfirm,
         "Read aloud for 15 s (the sentence is on the Producer page)"},
        {{"reference", "voice", "REPLAY"}, "reference.voice", R"({"source":"replay"})", kConfirm,
         "Measuring your voice from the replay buffer"},
        {{"reference", "select", "", "My", "Voice"}, "reference.select", R"({"name":"My Voice"})", kConfirm,
         "Reference: My Voice"},
        {{"reference", "use", "Host"}, "reference.select", R"({"name":"Host"})", kConfirm, "Reference: Host"},
        {{"reference", "delete", "Old", "clip"}, "reference.delete", R"({"name":"Old clip"})", kConfirm,
         "Deleted reference \"Old clip\""},
        {{"reference", "match", "ON"}, "reference.match", R"({"enabled":true})", kConfirm, "Match EQ on"},
        {{"reference", "match", "off"}, "reference.match", R"({"enabled":false})", kConfirm, "Match EQ off"},
        {{"reference", "apply"}, "reference.apply", "{}", kConfirm, "Applied the reference's dynamics suggestions"},
        {{"reference", "cancel"}, "reference.cancel", "{}", kConfirm, "Cancelled"},
    });
}

TEST(FamiliesReference, ClampsTheMatchAmountButPrintsItAsRead) {
    expect_cases({
        {{"reference", "match", "80%"}, "reference.match", R"({"amount":0.8})", kConfirm, "Match amount: 80 %"},
        {{"reference", "match", "50"}, "reference.match", R"({"amount":0.5})", kConfirm, "Match amount: 50 %"},
        {{"reference", "match", "150"}, "reference.match", R"({"amount":1.0})", kConfirm, "Match amount: 150 %"},
        {{"reference", "match", "-5"}, "reference.match", R"({"amount":0.0})", kConfirm, "Match amount: -5 %"},
        {{"reference", "match", "12.5%%"}, "reference.match", R"({"amount":0.125})", kConfirm,
         "Match amount: 12.5 %"},
        {{"reference", "match", "inf"}, "reference.match", R"({"amount":1.0})", kConfirm, "Match amount: inf %"},
        {{"reference", "match", "NaN"}, "reference.match", R"({"amount":null})", kConfirm, "Match amount: NaN %"},
    });
}

TEST(FamiliesReference, RefusesBadWords) {
    expect_refusals({
        {{"reference", "louder"},
         "reference takes list, import, capture, voice, select, delete, match, apply or cancel, not \"louder\""},
        {{"reference", "import"}, "Missing the audio file (WAV, MP3, FLAC, OGG, M4A)"},
        {{"reference", "capture"}, "Missing the app to listen to, e.g. spotify.exe"},
        {{"reference", "capture", "spotify.exe", "20s"}, "\"20s\" is not a number of seconds"},
        {{"reference", "select"}, "Missing the reference name"},
        {{"reference", "use", " ", ""}, "Missing the reference name"},
        {{"reference", "delete"}, "Missing the reference name"},
        {{"reference", "match"}, "Missing on, off or an amount 0-100"},
        {{"reference", "match", "Lots"}, "\"lots\" is not on, off or an amount 0-100"},
        {{"reference", "match", "%"}, "\"%\" is not on, off or an amount 0-100"},
        {{"reference", "match", "50%x"}, "\"50%x\" is not on, off or an amount 0-100"},
    });
}

TEST(FamiliesAssistant, TranslatesEverySubcommand) {
    expect_cases({
        {{"assistant"}, "assistant.state", "{}", kJson, ""},
        {{"macros", "state"}, "assistant.state", "{}", kJson, ""},
        {{"assistant", "warmth", "0.4"}, "assistant.macro", R"({"macro":"warmth","value":0.4})", kConfirm,
         "warmth: 0.4"},
        {{"macro", "Warmth", "+0.1"}, "assistant.macro", R"({"delta":0.1,"macro":"warmth"})", kConfirm, "warmth +0.1"},
        {{"assistant", "shape", "-0.2", "step"}, "assistant.macro", R"({"delta":-0.2,"macro":"shape"})", kConfirm,
         "shape -0.2"},
        {{"assistant", "shape", "-0.2"}, "assistant.macro", R"({"macro":"shape","value":-0.2})", kConfirm,
         "shape: -0.2"},
        {{"assistant", "shape", "-0.2", "STEP"}, "assistant.macro", R"({"macro":"shape","value":-0.2})", kConfirm,
         "shape: -0.2"},
        {{"assistant", "intensity", "+0"}, "assistant.macro", R"({"delta":0.0,"macro":"intensity"})", kConfirm,
         "intensity +0"},
        {{"assistant", "presence", "1"}, "assistant.macro", R"({"macro":"presence","value":1.0})", kConfirm,
         "presence: 1"},
        {{"assistant", "presence", "0.5", "step"}, "assistant.macro", R"({"macro":"presence","value":0.5})", kConfirm,
         "presence: 0.5"},
        {{"assistant", "centre"}, "assistant.centre", "{}", kConfirm,
         "Macros back at the centre: your baseline is restored"},
        {{"assistant", "center"}, "assistant.centre", "{}", kConfirm,
         "Macros back at the centre: your baseline is restored"},
        {{"assistant", "RESET"}, "assistant.centre", "{}", kConfirm,
         "Macros back at the centre: your baseline is restored"},
        {{"assistant", "keep"}, "assistant.keep", "{}", kConfirm, "Kept: this is your new baseline"},
    });
}

TEST(FamiliesAssistant, RefusesBadWords) {
    expect_refusals({
        {{"assistant", "louder"},
         "assistant takes state, shape, intensity, presence, warmth, centre or keep, not \"louder\""},
        {{"assistant", "shape"}, "Missing a value from -1 to 1 (or +N / -N to step it)"},
        {{"assistant", "shape", "More"}, "\"More\" is not a number (-1 to 1)"},
    });
}

TEST(FamiliesAb, TranslatesEveryForm) {
    expect_cases({
        {{"ab"}, "compare.toggle", "{}", kAbState, ""},
        {{"compare", "B", "compressor"}, "compare.toggle", R"({"block":"compressor","slot":"b"})", kAbState, ""},
        {{"ab", "a"}, "compare.toggle", R"({"slot":"a"})", kAbState, ""},
        {{"ab", "A", "Voice"}, "compare.toggle", R"({"block":"Voice","slot":"a"})", kAbState, ""},
        {{"ab", "compressor"}, "compare.toggle", R"({"block":"compressor"})", kAbState, ""},
        {{"ab", "state"}, "compare.state", "{}", kAbState, ""},
        {{"ab", "list"}, "compare.state", "{}", kAbState, ""},
        {{"ab", "State"}, "compare.toggle", R"({"block":"State"})", kAbState, ""},
        {{"ab", "copy", "voice", "A"}, "compare.copy", R"({"block":"voice","from":"a"})", kAbState, ""},
        {{"ab", "copy", "Chain", "b"}, "compare.copy", R"({"block":"Chain","from":"b"})", kAbState, ""},
        {{"ab", "COPY", "voice"}, "compare.toggle", R"({"block":"COPY"})", kAbState, ""},
        {{"ab", "keep"}, "compare.keep", "{}", kAbState, ""},
        {{"ab", "keep", "voice"}, "compare.keep", R"({"block":"voice"})", kAbState, ""},
        {{"ab", "Keep"}, "compare.toggle", R"({"block":"Keep"})", kAbState, ""},
    });
}

TEST(FamiliesAb, RefusesBadCopies) {
    expect_refusals({
        {{"ab", "copy"}, "Missing the block (compressor, voice, chain …)"},
        {{"ab", "copy", "voice"}, "Missing the slot to copy from (a or b)"},
        {{"ab", "copy", "voice", "X"}, "\"x\" is not a slot (a or b)"},
    });
}

}  // namespace
}  // namespace ovctl::family_tests
