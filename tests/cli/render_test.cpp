#include "render.h"
#include "status_report.h"

#include "ov/json.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using ovctl::Json;
using ovctl::RenderKind;
namespace render = ovctl::render;

Json json(const std::string& text) {
    auto parsed = ov::parse_json(text);
    EXPECT_TRUE(parsed.value.has_value()) << text << ": " << parsed.error;
    return parsed.value.value_or(Json());
}

struct RenderCase {
    const char* what;
    RenderKind kind;
    std::string answer;  // JSON text
    std::string expected;
};

void check(const std::vector<RenderCase>& cases) {
    for (const auto& c : cases) EXPECT_EQ(ovctl::render_answer(c.kind, json(c.answer)), c.expected) << c.what;
}

TEST(RenderAnswer, KindsAreNumberedInOrder) {
    EXPECT_EQ(RenderKind(render::Status{}).index(), 0u);
    EXPECT_EQ(RenderKind(render::Mute{}).index(), 1u);
    EXPECT_EQ(RenderKind(render::Confirm{}).index(), 2u);
    EXPECT_EQ(RenderKind(render::List{}).index(), 3u);
    EXPECT_EQ(RenderKind(render::Sounds{}).index(), 4u);
    EXPECT_EQ(RenderKind(render::Level{}).index(), 5u);
    EXPECT_EQ(RenderKind(render::ParamValue{}).index(), 6u);
    EXPECT_EQ(RenderKind(render::Meters{}).index(), 7u);
    EXPECT_EQ(RenderKind(render::AbState{}).index(), 8u);
    EXPECT_EQ(RenderKind(render::SetupReport{}).index(), 9u);
    EXPECT_EQ(RenderKind(render::Json{}).index(), 10u);
}

TEST(RenderAnswer, StatusIsTheStatusReport) {
    const Json answer = json(R"({"version":"2.1","apiVersion":"1.0","muted":true})");
    EXPECT_EQ(ovctl::render_answer(render::Status{}, answer), ovctl::status_report(answer));
    EXPECT_EQ(ovctl::render_answer(render::Status{}, answer).substr(0, 38), "Orvia 2.1 (API 1.0)\nMic:        MUTED\n");
}

TEST(RenderAnswer, MuteAndConfirm) {
    check({
        {"muted", render::Mute{}, R"({"muted":true})", "Microphone muted"},
        {"live", render::Mute{}, R"({"muted":false})", "Microphone live"},
        {"missing", render::Mute{}, R"({})", "Microphone live"},
        {"not a flag", render::Mute{}, R"({"muted":"true"})", "Microphone live"},
        {"not an object", render::Mute{}, R"([true])", "Microphone live"},
        {"confirm ignores the answer", render::Confirm{"Scene set"}, R"({"x":1})", "Scene set"},
        {"empty confirm", render::Confirm{""}, R"(null)", ""},
    });
}

TEST(RenderAnswer, List) {
    check({
        {"each kind of element", render::List{}, R"(["a",{"name":"b"},{"id":"c"},5,{"other":1}])", "a\nb\nc"},
        {"name before id", render::List{}, R"([{"name":"n","id":"i"},{"name":3,"id":"i2"}])", "n\ni2"},
        {"nested arrays give nothing", render::List{}, R"([["x"],null,true])", "(none)"},
        {"empty", render::List{}, R"([])", "(none)"},
        {"object", render::List{}, R"({"name":"x"})", "(none)"},
        {"text keeps its bytes", render::List{}, R"(["Stimme \u00e9","  spaced "])", "Stimme \u00e9\n  spaced "},
    });
}

TEST(RenderAnswer, Sounds) {
    check({
        {"id right-aligned", render::Sounds{}, R"({"sounds":[{"id":7,"name":"Applause"}]})", "   7  Applause"},
        {"fallbacks", render::Sounds{}, R"({"sounds":[{"name":1},{"id":12345,"name":"Long"},"x"]})",
         "null  ?\n12345  Long\nnull  ?"},
        {"id as JSON text", render::Sounds{}, R"({"sounds":[{"id":"a","name":"Q"},{"id":1.5,"name":"F"}]})",
         " \"a\"  Q\n 1.5  F"},
        {"empty list", render::Sounds{}, R"({"sounds":[]})", "(no sounds)"},
        {"not a list", render::Sounds{}, R"({"sounds":{}})", "(no sounds)"},
        {"no object", render::Sounds{}, R"([{"id":1}])", "(no sounds)"},
    });
}

TEST(RenderAnswer, Level) {
    check({
        {"percent and muted", render::Level{}, R"({"label":"Mic","value":40,"muted":true})", "Mic: 40% (muted)"},
        {"decibels", render::Level{}, R"({"label":"Music","value":-6.5,"unit":"dB"})", "Music: -6.5 dB"},
        {"small value", render::Level{}, R"({"label":"A","value":0.04})", "A: 0%"},
        {"negative zero", render::Level{}, R"({"label":"A","value":-0.04})", "A: -0%"},
        {"rounds up", render::Level{}, R"({"label":"A","value":99.96,"unit":"dB"})", "A: 100 dB"},
        {"other unit is percent", render::Level{}, R"({"label":"A","value":1,"unit":"db"})", "A: 1%"},
        {"missing", render::Level{}, R"({})", "?: ?%"},
        {"wrong types", render::Level{}, R"({"label":5,"value":"40","muted":1})", "?: ?%"},
        {"not an object", render::Level{}, R"(40)", "?: ?%"},
    });
}

TEST(RenderAnswer, ParamValue) {
    const std::string answer = R"({"a":[10,20],"c":{"threshold":-18.5,"name":"Comp","on":true,"x":null},
        "d":{"":{"k":"empty key"}},"e":[{"f":[1,2,{"g":"deep"}]}]})";
    check({
        {"array index", render::ParamValue{"a.1"}, answer, "20"},
        {"index with plus", render::ParamValue{"a.+0"}, answer, "10"},
        {"not an index", render::ParamValue{"a.x"}, answer, "(no parameter \"a.x\")"},
        {"negative index", render::ParamValue{"a.-1"}, answer, "(no parameter \"a.-1\")"},
        {"out of range", render::ParamValue{"a.2"}, answer, "(no parameter \"a.2\")"},
        {"huge index", render::ParamValue{"a.99999999999999999999999"}, answer,
         "(no parameter \"a.99999999999999999999999\")"},
        {"number", render::ParamValue{"c.threshold"}, answer, "-18.5"},
        {"text without quotes", render::ParamValue{"c.name"}, answer, "Comp"},
        {"flag", render::ParamValue{"c.on"}, answer, "true"},
        {"null is found", render::ParamValue{"c.x"}, answer, "null"},
        {"whole object", render::ParamValue{"a"}, answer, "[10,20]"},
        {"compact object", render::ParamValue{"c"}, answer, R"({"name":"Comp","on":true,"threshold":-18.5,"x":null})"},
        {"empty piece is a key", render::ParamValue{"d..k"}, answer, "empty key"},
        {"deep", render::ParamValue{"e.0.f.2.g"}, answer, "deep"},
        {"through a scalar", render::ParamValue{"c.name.x"}, answer, "(no parameter \"c.name.x\")"},
        {"case-sensitive", render::ParamValue{"C.name"}, answer, "(no parameter \"C.name\")"},
        {"answer not an object", render::ParamValue{"a"}, R"(5)", "(no parameter \"a\")"},
        {"index into a top-level array", render::ParamValue{"1"}, R"(["x","y"])", "y"},
    });
}

TEST(RenderAnswer, Meters) {
    const std::string mic_out =
        R"({"point":"micOut","momentary":-18.24,"shortTerm":-17.9,"integrated":-16.96,"lra":4.2,
            "truePeakMax":-1.3,"delta":-1.04,"verdict":"under","live":true})";
    check({
        {"the documented line", render::Meters{}, R"({"target":-16,"points":[)" + mic_out + "]}",
         "micOut     M  -18.2  S  -17.9  I  -17.0 LUFS  LRA  4.2  TP  -1.3 dBTP  1.0 LU under -16"},
        {"on target, over, quiet, floor readings", render::Meters{},
         R"({"target":-14.5,"points":[{"point":"stream","momentary":-99,"shortTerm":-120,"integrated":-14.46,
             "lra":"x","truePeakMax":0.4,"truePeakOver":true,"delta":0.04,"verdict":"on"}]})",
         "stream     M      -  S      -  I  -14.5 LUFS  LRA    -  TP   0.4 dBTP (over)  on target (+0.0)  (quiet)"},
        {"no verdict, default target", render::Meters{},
         R"({"points":[{"live":true,"delta":2},{"integrated":-20,"verdict":"over"}]})",
         "?          M      -  S      -  I      - LUFS  LRA    -  TP     - dBTP  no reading yet\n"
         "?          M      -  S      -  I  -20.0 LUFS  LRA    -  TP     - dBTP  no reading yet  (quiet)"},
        {"over target uses the magnitude", render::Meters{},
         R"({"target":-23,"points":[{"point":"x","live":true,"delta":3.25,"verdict":"over"}]})",
         "x          M      -  S      -  I      - LUFS  LRA    -  TP     - dBTP  3.2 LU over -23"},
        {"quiet points are hidden without a payload", render::Meters{},
         R"({"points":[{"point":"a","live":false},{"point":"b","integrated":null}],"truePeak":-2.5})",
         "No meter has heard anything yet (target -16 LUFS, true peak -2.5 dBTP)"},
        {"payload picks a point even when quiet", render::Meters{"a"},
         R"({"points":[{"point":"a"},{"point":"b","live":true}]})",
         "a          M      -  S      -  I      - LUFS  LRA    -  TP     - dBTP  no reading yet  (quiet)"},
        {"payload naming no point", render::Meters{"nope"}, R"({"points":[)" + mic_out + "]}",
         "No meter has heard anything yet (target -16 LUFS, true peak -1 dBTP)"},
        {"payload matches exactly", render::Meters{"micout"}, R"({"points":[)" + mic_out + "]}",
         "No meter has heard anything yet (target -16 LUFS, true peak -1 dBTP)"},
        {"long name and wide value", render::Meters{},
         R"({"points":[{"point":"microphoneInput","momentary":-5.55,"lra":12.25,"live":true}]})",
         "microphoneInput M   -5.5  S      -  I      - LUFS  LRA 12.2  TP     - dBTP  no reading yet"},
        {"widths count characters", render::Meters{"Stimmé"},
         R"({"points":[{"point":"Stimmé","live":true}]})",
         "Stimmé     M      -  S      -  I      - LUFS  LRA    -  TP     - dBTP  no reading yet"},
        {"points not an array", render::Meters{}, R"({"points":{},"target":"x","truePeak":-0.5})",
         "No meter has heard anything yet (target -16 LUFS, true peak -0.5 dBTP)"},
        {"not an object", render::Meters{}, R"([])",
         "No meter has heard anything yet (target -16 LUFS, true peak -1 dBTP)"},
    });
}

TEST(RenderAnswer, AbState) {
    check({
        {"focus, differing, matched", render::AbState{},
         R"({"focus":"voice","blocks":[
             {"id":"compressor","label":"Compressor","active":"a","gainA":-1.25,"gainB":0},
             {"id":"voice","label":"Voice","active":"b","differs":true,"gainA":2,"gainB":-0.3,"trimDb":-1.26}]})",
         "  Compressor: on A, A = B  (A -1.2 dB, B +0.0 dB)\n"
         "* Voice: on B  (A +2.0 dB, B -0.3 dB; matched -1.3 dB in your headphones)"},
        {"small trim and measuring", render::AbState{},
         R"({"focus":"x","blocks":[{"id":"x","label":"Tune","active":"a","differs":true,"trimDb":0.04}]})",
         "* Tune: on A  (A measuring, B measuring)"},
        {"trim of exactly the threshold shows", render::AbState{},
         R"({"blocks":[{"id":"x","label":"T","active":"b","trimDb":-0.05}]})",
         "  T: on B, A = B  (A measuring, B measuring; matched -0.1 dB in your headphones)"},
        {"absent id matches absent focus", render::AbState{}, R"({"focus":3,"blocks":[{"label":"L"},{"id":"y"}, 7]})",
         "* L: on ?, A = B  (A measuring, B measuring)\n"
         "  ?: on ?, A = B  (A measuring, B measuring)\n"
         "* ?: on ?, A = B  (A measuring, B measuring)"},
        {"Unicode upper case", render::AbState{}, R"({"blocks":[{"id":"z","label":"S","active":"stra\u00dfe"}]})",
         "  S: on STRASSE, A = B  (A measuring, B measuring)"},
        {"no blocks", render::AbState{}, R"({"blocks":[]})",
         "No A/B open (ovctl ab <block>; blocks: compressor, voice, tune, chain \u2026)"},
        {"not an object", render::AbState{}, R"("x")",
         "No A/B open (ovctl ab <block>; blocks: compressor, voice, tune, chain \u2026)"},
    });
}

TEST(RenderAnswer, SetupReport) {
    check({
        {"message wins", render::SetupReport{}, R"({"message":"Run the setup first","rows":{"mic":{"status":"ok"}}})",
         "Run the setup first"},
        {"rows, summary and error", render::SetupReport{},
         R"({"rows":{"mic":{"status":"ok","title":"Microphone","detail":"USB Mic"},
                     "headphones":{"status":"warn","title":"Headphones","detail":"Speakers",
                                   "fix":{"label":"Pick headphones"}},
                     "ovMic":{"status":"bad","title":"Orvia Mic","fix":{"id":"x"}},
                     "ovSpeakers":"broken"},
             "summary":["Almost ready.",3,"Fix the headphones."],"error":"device busy"})",
         "ok  Microphone: USB Mic\n"
         "!   Headphones: Speakers  [fix: Pick headphones]\n"
         "XX  Orvia Mic: \n"
         "XX  ovSpeakers: \n"
         "\n"
         "Almost ready.\n"
         "Fix the headphones.\n"
         "Error: device busy"},
        {"no rows", render::SetupReport{}, R"({"summary":[]})", "XX  mic: \nXX  headphones: \nXX  ovMic: \nXX  ovSpeakers: \n"},
        {"not an object", render::SetupReport{}, R"(null)", "XX  mic: \nXX  headphones: \nXX  ovMic: \nXX  ovSpeakers: "},
        {"message not a text", render::SetupReport{}, R"({"message":1,"error":"e"})",
         "XX  mic: \nXX  headphones: \nXX  ovMic: \nXX  ovSpeakers: \nError: e"},
    });
}

TEST(RenderAnswer, JsonIsIndentedWithSortedKeys) {
    check({
        {"sorted members", render::Json{}, R"({"b":1,"a":[true,2.0,"x"],"c":{},"d":[]})",
         "{\n  \"a\": [\n    true,\n    2.0,\n    \"x\"\n  ],\n  \"b\": 1,\n  \"c\": {},\n  \"d\": []\n}"},
        {"scalar", render::Json{}, R"("text")", "\"text\""},
        {"null", render::Json{}, R"(null)", "null"},
    });
}

}  // namespace
