#pragma once
// ovctl.exe under Wine against the stand-in Orvia: one prepared prefix for every test, locked
// per test because the settings file in its roaming folder changes between tests.
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "ovctl_fixture.h"
#include "wine_runner.h"

namespace ovtest {

class OvctlWineSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::vector<std::string> programs{"automation/cli/ovctl.exe"};
        std::string why_not;
        auto prefix = prepare_wine_suite(OV_WINDOWS_BUILD_DIR, OV_BINARY_DIR, programs, why_not);
        if (!prefix) {
            skip_reason_ = new std::string(why_not);
            return;
        }
        exe_ = new std::string(programs[0]);
        prefix_ = new WinePrefix(*prefix);
    }

    // Each test starts with a running stand-in and no settings file.
    void SetUp() override {
        if (skip_reason_ != nullptr) GTEST_SKIP() << *skip_reason_;
        lock_ = std::make_unique<WinePrefixLock>(*prefix_);
        server_ = std::make_unique<ov::standin::StandinApi>();
        ASSERT_EQ(server_->start(), "");
        remove_settings();
    }

    void TearDown() override {
        if (server_) server_->stop();
        if (prefix_ != nullptr && lock_) remove_settings();
    }

    std::string settings_path() const { return prefix_->roaming + "/Orvia/settings.json"; }
    void remove_settings() {
        std::error_code ignored;
        std::filesystem::remove(settings_path(), ignored);
    }
    void connect_through_settings() { write_file(settings_path(), settings_json(server_->port(), "standin-token")); }

    // ovctl.exe with the port and token variables unset unless `env` sets them.
    RunResult ovctl(const std::vector<std::string>& args, const std::vector<EnvOverride>& env = {}) const {
        RunOptions options;
        options.env = merged_env({{"ORVIA_API_PORT", std::nullopt}, {"ORVIA_API_TOKEN", std::nullopt}}, env);
        return run_under_wine(*prefix_, *exe_, args, options);
    }

    static inline std::string* skip_reason_ = nullptr;
    static inline std::string* exe_ = nullptr;
    static inline WinePrefix* prefix_ = nullptr;
    std::unique_ptr<WinePrefixLock> lock_;
    std::unique_ptr<ov::standin::StandinApi> server_;
};

}  // namespace ovtest
