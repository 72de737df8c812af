#include "protocol_lines.h"
#include "scan.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

namespace ovhost {
namespace {

// Switches the built-in plug-ins on or off for one test.
class InternalPlugins {
public:
    explicit InternalPlugins(const char* value) {
        if (const char* old = std::getenv("OV_PLUGINHOST_INTERNAL")) previous_ = old;
        set(value);
    }
    ~InternalPlugins() { set(previous_ ? previous_->c_str() : nullptr); }

private:
    static void set(const char* value) {
        if (value) {
            setenv("OV_PLUGINHOST_INTERNAL", value, 1);
        } else {
            unsetenv("OV_PLUGINHOST_INTERNAL");
        }
    }
    std::optional<std::string> previous_;
};

TEST(ScanClassification, ByPrefixThenExtensionIgnoringCase) {
    struct Case {
        const char* path;
        ScanFormat format;
    };
    const Case cases[] = {
        {"internal:", ScanFormat::internal},
        {"INTERNAL:gain", ScanFormat::internal},
        {"internal:x.vst3", ScanFormat::internal},
        {"internal", ScanFormat::unknown},
        {"C:\\fx\\Foo.VST3", ScanFormat::vst3},
        {".vst3", ScanFormat::vst3},
        {"a.clap", ScanFormat::clap},
        {"A.CLAP", ScanFormat::clap},
        {"x.vst", ScanFormat::unknown},
        {"x.vst3 ", ScanFormat::unknown},
        {"", ScanFormat::unknown},
        {"vst3", ScanFormat::unknown},
    };
    for (const auto& c : cases) EXPECT_EQ(classify_scan_path(c.path), c.format) << c.path;
}

TEST(ScanClassification, InternalNames) {
    EXPECT_EQ(internal_scan_names("internal:"),
              (std::vector<std::string>{"gain", "stereo", "delay:256", "abort", "hang:50"}));
    EXPECT_EQ(internal_scan_names("INTERNAL:Gain"), std::vector<std::string>{"Gain"});
    EXPECT_EQ(internal_scan_names("internal:delay:10"), std::vector<std::string>{"delay:10"});
}

TEST(ScanReport, InternalPrefixAloneListsTheFiveTestPlugins) {
    InternalPlugins on("1");
    EXPECT_EQ(
        format_line(scan_report("internal:")),
        R"(OVP {"scan":[)"
        R"({"category":"Fx|Test","hasEditor":false,"inputs":1,"kind":"internal","latency":0,"monoOk":true,"name":"Test gain","outputs":1,"params":1,"path":"internal:","stereoOk":false,"uid":"gain","vendor":"Orvia","version":"1"},)"
        R"({"category":"Fx|Test","hasEditor":false,"inputs":2,"kind":"internal","latency":0,"monoOk":false,"name":"Test stereo","outputs":2,"params":1,"path":"internal:","stereoOk":true,"uid":"stereo","vendor":"Orvia","version":"1"},)"
        R"({"category":"Fx|Test","hasEditor":false,"inputs":1,"kind":"internal","latency":256,"monoOk":true,"name":"Test delay","outputs":1,"params":1,"path":"internal:","stereoOk":false,"uid":"delay:256","vendor":"Orvia","version":"1"},)"
        R"({"category":"Fx|Test","hasEditor":false,"inputs":1,"kind":"internal","latency":0,"monoOk":true,"name":"Test abort","outputs":1,"params":1,"path":"internal:","stereoOk":false,"uid":"abort","vendor":"Orvia","version":"1"},)"
        R"({"category":"Fx|Test","hasEditor":false,"inputs":1,"kind":"internal","latency":0,"monoOk":true,"name":"Test hang","outputs":1,"params":1,"path":"internal:","stereoOk":false,"uid":"hang:50","vendor":"Orvia","version":"1"})"
        R"(],"skipped":[]})");
}

TEST(ScanReport, InternalNameKeepsItsCaseAndFailuresAreSkipped) {
    InternalPlugins on("1");
    EXPECT_EQ(format_line(scan_report("INTERNAL:Gain")),
              R"(OVP {"scan":[],"skipped":[{"error":"no internal plugin \"Gain\"","name":"Gain"}]})");
    const auto delay = scan_report("Internal:delay:10");
    ASSERT_EQ(delay["scan"].size(), 1u);
    EXPECT_EQ(delay["scan"][0]["latency"], 10);
    EXPECT_EQ(delay["scan"][0]["path"], "Internal:delay:10");
    EXPECT_EQ(delay["scan"][0]["uid"], "delay:10");
}

TEST(ScanReport, InternalPluginsOff) {
    InternalPlugins off(nullptr);
    const auto report = scan_report("internal:");
    EXPECT_TRUE(report["scan"].empty());
    ASSERT_EQ(report["skipped"].size(), 5u);
    EXPECT_EQ(format_line(report["skipped"][3]),
              R"(OVP {"error":"internal test plugins are off in this host","name":"abort"})");
}

TEST(ScanReport, FilesThatCannotBeScanned) {
    EXPECT_EQ(format_line(scan_report("x.vst")), R"(OVP {"scanError":"not a .vst3 or .clap file"})");
    EXPECT_EQ(format_line(scan_report("C:\\fx\\Foo.VST3")), R"x(OVP {"scanError":"C:\\fx\\Foo.VST3 is not a VST3 module (no C:\\fx\\Foo.VST3)"})x");
    EXPECT_EQ(format_line(scan_report("/fx/a.clap")), R"(OVP {"scanError":"/fx/a.clap is not a CLAP file"})");
}

// A plug-in that reports the channel counts it was asked for (or fixed ones).
class CountingInstance final : public PluginInstance {
public:
    explicit CountingInstance(int* alive) : alive_(alive) { ++*alive_; }
    ~CountingInstance() override { --*alive_; }
    std::vector<ParamInfo> params() override { return std::vector<ParamInfo>(3); }
    Outcome<ParamInfo> set_param(std::uint32_t, double) override { return ParamInfo{}; }
    Outcome<std::vector<std::uint8_t>> save_state() override { return std::vector<std::uint8_t>{}; }
    Status load_state(const std::vector<std::uint8_t>&) override { return ok_status(); }
    std::uint32_t latency() override { return 64; }
    bool has_editor() override { return true; }
    Outcome<EditorSize> open_editor(WindowHandle) override { return EditorSize{}; }
    void close_editor() override {}
    void editor_resized(std::uint32_t, std::uint32_t) override {}
    void poll(std::vector<Notice>&) override {}
    Status reactivate() override { return ok_status(); }

private:
    int* alive_;
};

TEST(ScanReport, ProbesEachClassWithOneThenTwoChannels) {
    int alive = 0;
    int most_alive = 0;
    auto make = [&](std::uint32_t inputs, std::uint32_t outputs) {
        LoadedPlugin plugin;
        plugin.name = "Plug";
        plugin.vendor = "Maker";
        plugin.inputs = inputs;
        plugin.outputs = outputs;
        plugin.instance = std::make_unique<CountingInstance>(&alive);
        most_alive = std::max(most_alive, alive);
        return plugin;
    };
    std::vector<ScanCandidate> candidates;
    candidates.push_back({"Refuses all", "A", "1.0", "Fx", [](std::uint32_t) {
                              return Outcome<LoadedPlugin>::failure("not an audio effect: it has no audio input (an instrument?) or no output");
                          }});
    candidates.push_back({"Mono only", "B", "1.0", "Fx", [&](std::uint32_t channels) -> Outcome<LoadedPlugin> {
                              if (channels == 2) return Outcome<LoadedPlugin>::failure("the plugin refused two channels");
                              return make(1, 1);
                          }});
    candidates.push_back({"Odd stereo", "C", "2.1", "Fx|Delay", [&](std::uint32_t channels) {
                              return Outcome<LoadedPlugin>(channels == 1 ? make(1, 1) : make(2, 6));
                          }});
    const auto report = probe_candidates("vst3", "C:\\fx\\Foo.VST3", candidates);
    EXPECT_EQ(alive, 0);
    EXPECT_EQ(most_alive, 1);  // the first instance is gone before the second is made
    EXPECT_EQ(format_line(report),
              R"(OVP {"scan":[{"category":"Fx|Delay","hasEditor":true,"inputs":2,"kind":"vst3","latency":64,"monoOk":true,"name":"Plug","outputs":6,"params":3,"path":"C:\\fx\\Foo.VST3","stereoOk":false,"uid":"C","vendor":"Maker","version":"2.1"}],)"
              R"("skipped":[{"error":"not an audio effect: it has no audio input (an instrument?) or no output","name":"Refuses all"},{"error":"the plugin refused two channels","name":"Mono only"}]})");
}

}  // namespace
}  // namespace ovhost
