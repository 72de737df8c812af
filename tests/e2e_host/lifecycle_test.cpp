// The real ov-pluginhost with the lifecycle test plug-ins of both formats: a latency reported
// from inside the activation restarts nothing, a restart that fails leaves the slot passing its
// audio through (delayed by its latency) with no processing call reaching the plug-in while the
// rest of the rack plays, and a dropped VST3 slot is deleted for good.
#include <chrono>

#include "host_fixture.h"
#include "lifecycle_cases.h"

namespace ovtest {
namespace {

namespace lc = ovtest::lifecycle;

std::vector<lc::Format> native_formats() {
    return lc::formats(std::string(OV_BINARY_DIR) + "/test-plugins/clap", std::string(OV_BINARY_DIR) + "/test-plugins/vst3",
                       '/');
}

class LifecycleHost : public RackHost {
protected:
    void SetUp() override {
        RackHost::SetUp();
        for (const auto& format : native_formats())
            if (!std::filesystem::exists(format.path)) GTEST_SKIP() << format.path << " is not built";
    }
    std::string counter(std::uint32_t key, std::uint32_t id) {
        return lc::param_text(result_of({{"cmd", "params"}, {"key", key}}), id);
    }
};

// Half a second of blocks in real time (25 polling ticks), sample-exact, none missed: the
// rack does not stop for restarts.
ovstandin::BlockPlan steady_blocks(double gain) {
    ovstandin::BlockPlan plan = checked_blocks({{gain, 0}, {0, gain}}, 0, 50);
    plan.pace_us = 10000;
    return plan;
}

TEST_F(LifecycleHost, LatencyReportedWhileActivatingRestartsOnceThenTheAudioIsSteady) {
    for (const auto& format : native_formats()) {
        SCOPED_TRACE(format.name);
        start_rack(2);
        const ov::Json loaded = result_of(lc::set_rack({format.slot(1, format.latency_uid)}));
        ASSERT_EQ(loaded[0]["ok"], true) << loaded;
        expect_audio(steady_blocks(lc::kPluginGain));
        EXPECT_EQ(counter(1, lc::kActivations), "1") << "its activation's own notice restarted it";

        // A new latency: one restart applies it, and the rack reports the new total.
        result_of(format.set_latency_200(1));
        run_unchecked();
        EXPECT_EQ(wait_event("latency"), (ov::Json{{"event", "latency"}, {"total", 200}}));
        expect_audio(steady_blocks(lc::kPluginGain));
        EXPECT_EQ(counter(1, lc::kActivations), "2");
        EXPECT_EQ(counter(1, lc::kViolations), "0");
        quit_and_expect_exit();
    }
}

TEST_F(LifecycleHost, AFailedRestartPassesTheSlotThroughAndTheRestOfTheRackPlays) {
    for (const auto& format : native_formats()) {
        SCOPED_TRACE(format.name);
        start_rack(2);
        const ov::Json loaded =
            result_of(lc::set_rack({format.slot(1, format.refusing_uid), format.slot(2, format.latency_uid)}));
        ASSERT_EQ(loaded.size(), 2u);
        expect_audio(checked_blocks({{0.25, 0}, {0, 0.25}}));

        result_of(format.refuse(1));
        run_unchecked();
        EXPECT_EQ(wait_event("log"), lc::restart_failed_event(1, format));
        const std::string blocks = counter(1, lc::kBlocks);
        // The inactive slot delays by its latency like a bypassed one; the other still halves.
        run_unchecked();
        expect_audio(checked_blocks({{lc::kPluginGain, 0}, {0, lc::kPluginGain}}, lc::kRefusingLatency));
        EXPECT_EQ(counter(1, lc::kBlocks), blocks) << "a block reached the inactive plug-in";
        EXPECT_EQ(counter(1, lc::kViolations), "0");
        EXPECT_EQ(counter(2, lc::kViolations), "0");

        if (format.can_accept_again) {
            // A later restart that succeeds brings it back (once its window is over).
            result_of(format.accept(1));
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (counter(1, lc::kActivations) != "2" && std::chrono::steady_clock::now() < deadline) run_unchecked(2);
            EXPECT_EQ(counter(1, lc::kActivations), "2");
            run_unchecked();
            expect_audio(checked_blocks({{0.25, 0}, {0, 0.25}}));
            EXPECT_EQ(counter(1, lc::kViolations), "0");
        }
        quit_and_expect_exit();
    }
}

TEST_F(LifecycleHost, ADroppedVst3SlotIsDeleted) {
    const lc::Format format = native_formats()[1];
    start_rack(1);
    ASSERT_EQ(result_of(lc::set_rack({format.slot(1, format.latency_uid)}))[0]["ok"], true);
    expect_audio(checked_blocks({{lc::kPluginGain}}, 0, 5));
    ASSERT_EQ(result_of(lc::set_rack({format.slot(2, format.refusing_uid)}))[0]["ok"], true);
    EXPECT_EQ(counter(2, lc::kParked), "0") << "the dropped component could not delete itself";
    EXPECT_EQ(counter(2, lc::kLive), "1");
    quit_and_expect_exit();
}

}  // namespace
}  // namespace ovtest
