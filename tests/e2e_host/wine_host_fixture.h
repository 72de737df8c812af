#pragma once
// ov-pluginhost.exe under Wine. Wine lets a Windows process see only mappings and events that
// a Windows process created, so the Windows stand-in ov-standin-audio.exe plays Orvia's part:
// it runs a script of steps and reports what it saw as JSON.
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "host_fixture.h"
#include "wine_runner.h"

namespace ovtest {

// One step of a stand-in script.
inline ov::Json step(const char* action, ov::Json fields = ov::Json::object()) {
    fields["do"] = action;
    return fields;
}

inline ov::Json request_step(ov::Json request, std::uint64_t timeout_ms = 30000) {
    return step("request", {{"request", std::move(request)}, {"timeoutMs", timeout_ms}});
}

// A suite of Wine tests sharing the prepared prefix, the host and the stand-in; `Suite`
// names with `extra_files()` what else of the Windows build its tests need in the prefix.
template <class Suite>
class WineHostSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::vector<std::string> files{"plugins/host/ov-pluginhost.exe", "tools/standin-audio/ov-standin-audio.exe"};
        for (const auto& file : Suite::extra_files()) files.push_back(file);
        std::string why_not;
        auto prefix = prepare_wine_suite(OV_WINDOWS_BUILD_DIR, OV_BINARY_DIR, files, why_not);
        if (!prefix) {
            skip_reason_ = new std::string(why_not);
            return;
        }
        host_exe_ = new std::string(files[0]);
        standin_exe_ = new std::string(files[1]);
        prefix_ = new WinePrefix(*prefix);
    }

    void SetUp() override {
        if (skip_reason_ != nullptr) GTEST_SKIP() << *skip_reason_;
    }

    // Runs ov-pluginhost.exe with the arguments; `internal` is OV_PLUGINHOST_INTERNAL (unset
    // when empty).
    static RunResult host(const std::vector<std::string>& args, std::optional<std::string> internal = std::nullopt) {
        RunOptions options;
        options.env = {{"OV_PLUGINHOST_INTERNAL", internal}};
        options.timeout = std::chrono::milliseconds(120000);
        return run_under_wine(*prefix_, *host_exe_, args, options);
    }

    static RunResult scan(const std::string& path) { return host({"scan", path}); }

    // A script for a rack of `channels`; `env` is given to the host.
    static ov::Json rack_script(unsigned channels, ov::Json steps, ov::Json env = ov::Json::object()) {
        ov::Json script = {{"host", z_drive_path(*host_exe_)},
                           {"channels", std::to_string(channels)},
                           {"mappingChannels", channels},
                           {"steps", std::move(steps)}};
        if (!env.empty()) script["env"] = std::move(env);
        return script;
    }

    // Runs the stand-in with the script on its standard input; the parsed report.
    static ov::Json run_script(const ov::Json& script) {
        RunOptions options;
        options.stdin_text = ov::to_compact_json(script);
        options.timeout = std::chrono::milliseconds(300000);
        RunResult run = run_under_wine(*prefix_, *standin_exe_, {"script", "-"}, options);
        auto report = ov::parse_json(run.out);
        EXPECT_TRUE(report.value) << run.describe();
        return report.value ? *report.value : ov::Json::object();
    }

    // A whole rack session: "ready", the steps, then "quit" and the host's exit.
    static ov::Json run_session(unsigned channels, ov::Json steps) {
        ov::Json all = ov::Json::array({step("expectEvent", {{"event", "ready"}, {"timeoutMs", 60000}})});
        for (auto& s : steps) all.push_back(std::move(s));
        all.push_back(step("send", {{"line", R"(OVP {"cmd":"quit","id":99})"}}));
        all.push_back(step("waitExit", {{"timeoutMs", 30000}}));
        return run_script(rack_script(channels, std::move(all)));
    }

    static inline std::string* skip_reason_ = nullptr;
    static inline std::string* host_exe_ = nullptr;
    static inline std::string* standin_exe_ = nullptr;
    static inline WinePrefix* prefix_ = nullptr;
};

}  // namespace ovtest
