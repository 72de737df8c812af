#pragma once
// Runs the real ovctl against the stand-in Orvia API, with a private settings folder.
#include "ov/json.h"
#include "process_runner.h"
#include "standin_api.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace ovtest {

inline const std::string help_output = std::string(
#include "help_text.inc"
) + "\n";

inline const std::string version_output = "ovctl 0.9.0 (API 1.x)\n";
inline const std::string usage_hint = "\nRun `ovctl help` for the commands.\n";
inline const std::string api_off_message =
    "ovctl: The Orvia API is off. Turn it on in Orvia > Settings > Automation > Local API, then try again.\n";
inline const std::string no_token_message =
    "ovctl: No API token found. Turn the API on in Orvia > Settings > Automation (it writes the token for ovctl), "
    "or pass --token.\n";
inline const std::string refused_token_message =
    "ovctl: Orvia refused the API token. It changes when you press Regenerate in Settings > Automation; ovctl "
    "rereads it from settings.json, so only a --token or ORVIA_API_TOKEN you set by hand can be stale.\n";

inline std::string port_text(std::uint16_t port) {
    char buffer[8];
    return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, port).ptr);
}

inline std::string not_answering_message(std::uint16_t port) {
    return "ovctl: Orvia is not answering on 127.0.0.1:" + port_text(port) +
           ". Is it running? (The API is turned on in its settings.)\n";
}

// The status report of the stand-in's canned state.
inline const std::string canned_status_report =
    "Orvia 2.4.1 (API 1.4)\n"
    "Mic:        live\n"
    "Chain:      running\n"
    "Profile:    \"Podcast host\"\n"
    "Scene:      \"Just chatting\"\n"
    "Voice:      on, preset \"Warm radio\"\n"
    "Game mode:  on (Valorant)\n"
    "Recording:  \xE2\x97\x8F take-12 (62:05)\n"
    "Replay:     30 s buffer\n"
    "Levels:     in -23.0 dB, out -inf dB, -18.0 LUFS\n"
    "Speakers:   Headphones\n"
    "Ducking:    on (2 rules, 1 ducked now)\n"
    "Mics out:   Orvia Mic\n"
    "Live Tune:  on, A minor, 120 BPM\n"
    "Music:      harmony Choir (2 voices), doubler, pattern arpUp\n"
    "Analyser:   listening (A minor, 120.5 BPM), followed; echo on\n"
    "Plugins:    micPre running: ReaComp, Crashy (crashed, off), ReaEQ (bypassed); micPost bypassed: OTT\n"
    "Loudness:   micOut -17.0 LUFS integrated, under target (-1.0 LU), true peak -1.3 dBTP\n"
    "Wet monitor: on, heard on monitor\n"
    "A/B:        voice on B (matched -1.2 dB)\n"
    "OBS:        connected, scene \"Gameplay\", live\n";

// A port on which nothing listens (it was just bound and released).
inline std::uint16_t unused_port() {
    ov::standin::StandinApi probe;
    EXPECT_EQ(probe.start(), "");
    std::uint16_t port = probe.port();
    probe.stop();
    return port;
}

inline std::string make_temp_folder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "ovctl-e2e-XXXXXX").string();
    char* made = ::mkdtemp(pattern.data());
    EXPECT_NE(made, nullptr);
    return pattern;
}

inline void write_file(const std::string& path, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The settings file Orvia writes when its API is on.
inline std::string settings_json(std::uint16_t port, const std::string& token, bool enabled = true) {
    return ov::to_compact_json(ov::Json{{"apiEnabled", enabled}, {"apiPort", port}, {"apiToken", token},
                                        {"theme", "dark"}, {"micDevice", "Shure MV7"}});
}

// A stand-in server per test, and a clean environment in which ovctl sees only what the
// test gives it.
class OvctlTest : public ::testing::Test {
protected:
    void SetUp() override {
        server_ = std::make_unique<ov::standin::StandinApi>();
        ASSERT_EQ(server_->start(), "");
        home_ = make_temp_folder();
        appdata_ = home_ + "/AppData/Roaming";
        std::filesystem::create_directories(appdata_);
    }

    void TearDown() override {
        server_->stop();
        std::error_code ignored;
        std::filesystem::remove_all(home_, ignored);
    }

    static std::string ovctl_path() { return std::string(OV_BINARY_DIR) + "/automation/cli/ovctl"; }
    std::uint16_t port() const { return server_->port(); }
    std::string settings_path() const { return appdata_ + "/Orvia/settings.json"; }

    // Orvia's settings file pointing at the stand-in, as a running Orvia would leave it.
    void write_settings(const std::string& text) { write_file(settings_path(), text); }
    void connect_through_settings() { write_settings(settings_json(port(), "standin-token")); }

    std::vector<EnvOverride> clean_env() const {
        return {{"APPDATA", appdata_},         {"HOME", home_},
                {"XDG_CONFIG_HOME", std::nullopt}, {"ORVIA_API_PORT", std::nullopt},
                {"ORVIA_API_TOKEN", std::nullopt}, {"LC_ALL", "C.UTF-8"}};
    }

    RunResult ovctl(const std::vector<std::string>& args, const std::vector<EnvOverride>& env = {}) const {
        RunOptions options;
        options.env = merged_env(clean_env(), env);
        return run_process(ovctl_path(), args, options);
    }

    // The requests ovctl made, after it exited.
    std::vector<ov::standin::RecordedRequest> requests() const { return server_->requests(); }

    std::unique_ptr<ov::standin::StandinApi> server_;
    std::string home_;
    std::string appdata_;
};

// Checks the whole outcome of one run.
#define EXPECT_RUN(result, code, expected_out, expected_err)                 \
    do {                                                                     \
        const ::ovtest::RunResult& run_ = (result);                          \
        EXPECT_TRUE(run_.exited()) << run_.describe();                       \
        EXPECT_EQ(run_.exit_code, code) << run_.describe();                  \
        EXPECT_EQ(run_.out, expected_out);                                   \
        EXPECT_EQ(run_.err, expected_err);                                   \
    } while (0)

}  // namespace ovtest
