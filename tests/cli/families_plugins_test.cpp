// The plug-in rack commands: every subcommand and alias, the optional bypass key, the order
// in which `param` checks its words, and every refusal.
#include "families_cases.h"

namespace ovctl::family_tests {
namespace {

TEST(FamiliesPlugins, TranslatesEverySubcommand) {
    expect_cases({
        {{"plugins"}, "plugins.state", "{}", kJson, ""},
        {{"plugins", "STATE"}, "plugins.state", "{}", kJson, ""},
        {{"PLUGIN", "state", "extra"}, "plugins.state", "{}", kJson, ""},
        {{"vst", "list"}, "plugins.catalog", "{}", kList, ""},
        {{"plugins", "Catalog"}, "plugins.catalog", "{}", kList, ""},
        {{"plugins", "scan"}, "plugins.scan", R"({"full":false})", kConfirm, "Scan started"},
        {{"plugins", "scan", "FULL"}, "plugins.scan", R"({"full":true})", kConfirm, "Full rescan started"},
        {{"plugins", "scan", "quick"}, "plugins.scan", R"({"full":false})", kConfirm, "Scan started"},
        {{"plugins", "add", "pre", "My", "Reverb", "Plus"}, "plugins.add", R"({"rack":"micPre","uid":"My Reverb Plus"})",
         kConfirm, "Added My Reverb Plus"},
        {{"plugins", "add", "micpost", " Spaced ", "x"}, "plugins.add", R"({"rack":"micPost","uid":" Spaced  x"})",
         kConfirm, "Added  Spaced  x"},
        {{"plugins", "remove", "OUT", "3"}, "plugins.remove", R"({"key":3,"rack":"speakers"})", kConfirm, "Removed"},
        {{"plugins", "move", "mic", "+2", "0"}, "plugins.move", R"({"index":0,"key":2,"rack":"micPre"})", kConfirm,
         "Moved"},
        {{"plugins", "bypass", "out"}, "plugins.bypass", R"({"rack":"speakers"})", kConfirm, "Bypass toggled"},
        {{"plugins", "bypass", "micPre", "on"}, "plugins.bypass", R"({"on":true,"rack":"micPre"})", kConfirm, "Bypassed"},
        {{"plugins", "bypass", "micPre", "3"}, "plugins.bypass", R"({"key":3,"rack":"micPre"})", kConfirm,
         "Bypass toggled"},
        {{"plugins", "bypass", "micPre", "3", "OFF", "ignored"}, "plugins.bypass",
         R"({"key":3,"on":false,"rack":"micPre"})", kConfirm, "Back in the chain"},
        {{"plugins", "retry", "speakers", "1"}, "plugins.retry", R"({"key":1,"rack":"speakers"})", kConfirm,
         "Loading it again"},
        {{"plugins", "params", "post", "007"}, "plugins.params", R"({"key":7,"rack":"micPost"})", kList, ""},
        {{"plugins", "param", "micPre", "1", "7", "0.5"}, "plugins.setParam",
         R"({"key":1,"param":7,"rack":"micPre","value":0.5})", kConfirm, "Parameter set to 0.5"},
        {{"plugins", "set", "micPre", "1", "7", "1"}, "plugins.setParam",
         R"({"key":1,"param":7,"rack":"micPre","value":1.0})", kConfirm, "Parameter set to 1"},
        {{"plugins", "param", "micPre", "1", "7", "1.5"}, "plugins.setParam",
         R"({"key":1,"param":7,"rack":"micPre","value":1.5})", kConfirm, "Parameter set to 1.5"},
        {{"plugins", "param", "micPre", "1", "7", "nan"}, "plugins.setParam",
         R"({"key":1,"param":7,"rack":"micPre","value":null})", kConfirm, "Parameter set to NaN"},
        {{"plugins", "param", "micPre", "1", "7", "+2.5e-1"}, "plugins.setParam",
         R"({"key":1,"param":7,"rack":"micPre","value":0.25})", kConfirm, "Parameter set to 0.25"},
        {{"plugins", "editor", "micPre", "2"}, "plugins.editor", R"({"key":2,"open":true,"rack":"micPre"})", kConfirm,
         "Window opened"},
        {{"plugins", "editor", "micPre", "2", "CLOSE"}, "plugins.editor", R"({"key":2,"open":false,"rack":"micPre"})",
         kConfirm, "Window closed"},
        {{"plugins", "open", "micPre", "2", "whatever"}, "plugins.editor", R"({"key":2,"open":true,"rack":"micPre"})",
         kConfirm, "Window opened"},
        {{"plugins", "mode", "micPre", "Next"}, "plugins.configure", R"({"mode":"next","rack":"micPre"})", kConfirm,
         "Mode: next"},
        {{"plugins", "mode", "speakers", "same"}, "plugins.configure", R"({"mode":"same","rack":"speakers"})", kConfirm,
         "Mode: same"},
    });
}

TEST(FamiliesPlugins, KeysUpTo64Bits) {
    expect_cases({
        {{"plugins", "remove", "pre", "18446744073709551615"}, "plugins.remove",
         R"({"key":18446744073709551615,"rack":"micPre"})", kConfirm, "Removed"},
    });
}

TEST(FamiliesPlugins, RefusesBadWords) {
    const std::string rack_missing = "Missing a rack: micPre, micPost or speakers";
    expect_refusals({
        {{"plugins", "bogus"},
         "plugins takes state, list, scan, add, remove, move, bypass, retry, params, param, editor or mode, not "
         "\"bogus\""},
        {{"plugins", "CATALOGUE"},
         "plugins takes state, list, scan, add, remove, move, bypass, retry, params, param, editor or mode, not "
         "\"catalogue\""},
        {{"plugins", "add"}, rack_missing},
        {{"plugins", "add", "micpost"}, "Missing the plugin (its uid or name from `ovctl plugins list`)"},
        {{"plugins", "add", "Desk", "x"}, "\"desk\" is not a rack (micPre, micPost or speakers)"},
        {{"plugins", "remove", "pre"}, "Missing the slot key"},
        {{"plugins", "remove", "pre", "x1"}, "\"x1\" is not a whole number (the slot key)"},
        {{"plugins", "retry", "pre", "-1"}, "\"-1\" is not a whole number (the slot key)"},
        {{"plugins", "params", "pre", "+"}, "\"+\" is not a whole number (the slot key)"},
        {{"plugins", "params", "pre", ""}, "\"\" is not a whole number (the slot key)"},
        {{"plugins", "remove", "pre", "18446744073709551616"},
         "\"18446744073709551616\" is not a whole number (the slot key)"},
        {{"plugins", "move", "micPre", "2"}, "Missing the new position, 0 = first"},
        {{"plugins", "move", "micPre", "2", "-1"}, "\"-1\" is not a whole number (the new position, 0 = first)"},
        {{"plugins", "bypass"}, rack_missing},
        {{"plugins", "bypass", "micPre", "maybe"}, "plugins bypass takes on or off, not \"maybe\""},
        {{"plugins", "bypass", "micPre", "3", "MAYBE"}, "plugins bypass takes on or off, not \"maybe\""},
        {{"plugins", "bypass", "micPre", "-3"}, "plugins bypass takes on or off, not \"-3\""},
        {{"plugins", "param", "micPre", "1", "7"}, "Missing the value, 0 to 1"},
        {{"plugins", "param"}, "Missing the value, 0 to 1"},
        {{"plugins", "param", "bogus", "1", "7", "0.5"}, "\"bogus\" is not a rack (micPre, micPost or speakers)"},
        {{"plugins", "param", "bogus", "1", "7", "half"}, "\"half\" is not a number (the value, 0 to 1)"},
        {{"plugins", "param", "pre", "1", "7", "0,5"}, "\"0,5\" is not a number (the value, 0 to 1)"},
        {{"plugins", "param", "pre", "1", "7", "+-1"}, "\"+-1\" is not a number (the value, 0 to 1)"},
        {{"plugins", "param", "pre", "1", "7", "nan(1)"}, "\"nan(1)\" is not a number (the value, 0 to 1)"},
        {{"plugins", "param", "pre", "k", "7", "1"}, "\"k\" is not a whole number (the slot key)"},
        {{"plugins", "set", "pre", "1", "7.5", "1"}, "\"7.5\" is not a whole number (the parameter id)"},
        {{"plugins", "editor", "pre"}, "Missing the slot key"},
        {{"plugins", "mode", "pre"}, "Missing same or next"},
        {{"plugins", "mode", "pre", "Later"}, "plugins mode is same or next, not \"later\""},
    });
}

}  // namespace
}  // namespace ovctl::family_tests
