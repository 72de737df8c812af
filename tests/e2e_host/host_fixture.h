#pragma once
// Runs the real ov-pluginhost in rack mode with the audio stand-in playing Orvia's part:
// a real shared mapping, a real event and the protocol on real pipes.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ov/json.h"
#include "process_runner.h"
#include "rig.h"

namespace ovtest {

inline std::string host_program() { return std::string(OV_BINARY_DIR) + "/plugins/host/ov-pluginhost"; }

inline std::string standin_program() {
    return std::string(OV_BINARY_DIR) + "/tools/standin-audio/ov-standin-audio";
}

// One SlotSpec of a built-in plug-in; `extra` adds or overrides members.
inline ov::Json internal_slot(std::uint32_t key, const std::string& uid, const ov::Json& extra = ov::Json::object()) {
    ov::Json slot = {{"key", key}, {"kind", "internal"}, {"path", ""}, {"uid", uid}};
    for (const auto& [name, value] : extra.items()) slot[name] = value;
    return slot;
}

// A "setRack" request; a vector, because a braced list of one JSON object would become that object.
inline ov::Json set_rack(const std::vector<ov::Json>& slots) {
    return {{"cmd", "setRack"}, {"slots", ov::Json(slots)}};
}

// The output stream of the run is mix x input delayed by `delay` frames.
inline ovstandin::BlockPlan checked_blocks(std::vector<std::vector<double>> mix, std::uint32_t delay = 0,
                                           std::uint64_t count = 40) {
    ovstandin::BlockPlan plan;
    plan.count = count;
    plan.signal.kind = ovstandin::Signal::Kind::noise;
    plan.expect = ovstandin::Expectation{std::move(mix), delay, 1e-5};
    return plan;
}

inline std::string describe_run(const ovstandin::BlockRun& run) {
    std::string text = "published " + std::to_string(run.published) + ", received " + std::to_string(run.received) +
                       ", missed " + std::to_string(run.missed);
    if (run.mismatch)
        text += "; first mismatch at frame " + std::to_string(run.mismatch->frame) + " channel " +
                std::to_string(run.mismatch->channel) + ": got " + std::to_string(run.mismatch->got) + ", want " +
                std::to_string(run.mismatch->want);
    return text;
}

class RackHost : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(host_program())) GTEST_SKIP() << host_program() << " is not built";
    }

    // Starts `ov-pluginhost rack <fresh mapping> <channels>` with the built-in plug-ins on
    // and waits for "ready".
    void start_rack(unsigned channels, std::uint32_t mapping_channels) {
        ovstandin::RigOptions options;
        options.host_program = host_program();
        options.channels_arg = std::to_string(channels);
        options.mapping_channels = mapping_channels;
        options.environment.set.emplace_back("OV_PLUGINHOST_INTERNAL", "1");
        std::string error;
        rig_ = ovstandin::Rig::start(options, error);
        ASSERT_TRUE(rig_) << error;
        ready_ = rig_->wait_event("ready", 30000);
        ASSERT_TRUE(ready_) << "no ready event";
    }
    void start_rack(unsigned channels) { start_rack(channels, channels); }

    // Sends the request and returns its reply (null when none came).
    ov::Json ask(ov::Json request) {
        auto reply = rig_->request(std::move(request), 30000);
        return reply ? *reply : ov::Json(nullptr);
    }

    // The result of a request that must succeed.
    ov::Json result_of(ov::Json request) {
        ov::Json reply = ask(request);
        EXPECT_EQ(reply.value("ok", false), true) << ov::to_compact_json(request) << " -> " << ov::to_compact_json(reply);
        return reply.value("result", ov::Json());
    }

    std::string error_of(ov::Json request) {
        ov::Json reply = ask(request);
        EXPECT_EQ(reply.value("ok", true), false) << ov::to_compact_json(reply);
        return reply.value("error", std::string());
    }

    // Waits until the audio thread holds the chain of the last setRack: a block published
    // before it does counts as already seen and is never answered.
    void wait_for_chain() {
        ASSERT_TRUE(rig_->wait_mapping(
            [](const ovstandin::MappingView& m) { return m.u32(ovstandin::field::active) == 1; }, 20000));
    }

    void expect_audio(const ovstandin::BlockPlan& plan) {
        ovstandin::BlockRun run = rig_->run_blocks(plan);
        EXPECT_EQ(run.received, plan.count) << describe_run(run);
        EXPECT_EQ(run.missed, 0u) << describe_run(run);
        EXPECT_FALSE(run.mismatch) << describe_run(run);
    }

    // Ends the host with "quit" and checks the orderly exit.
    void quit_and_expect_exit() {
        rig_->send(ov::Json{{"cmd", "quit"}, {"id", 99}});
        auto code = rig_->wait_exit(20000);
        ASSERT_TRUE(code) << "the host did not exit after quit";
        EXPECT_EQ(*code, 0);
    }

    // Runs silent blocks without checking them: around a restart the rack briefly holds no
    // chain. Silence also empties the delay lines before a checked run.
    void run_unchecked(std::uint64_t count = 3) {
        ovstandin::BlockPlan plan;
        plan.count = count;
        plan.signal.kind = ovstandin::Signal::Kind::silence;
        rig_->run_blocks(plan);
    }

    ov::Json wait_event(const std::string& name) {
        auto event = rig_->wait_event(name, 20000);
        EXPECT_TRUE(event) << "no " << name << " event";
        return event ? *event : ov::Json(nullptr);
    }

    // The parameters of a slot by id.
    std::map<std::uint32_t, ov::Json> params_of(std::uint32_t key) {
        std::map<std::uint32_t, ov::Json> out;
        for (const auto& p : result_of({{"cmd", "params"}, {"key", key}})) out[p.value("id", 0u)] = p;
        return out;
    }

    std::unique_ptr<ovstandin::Rig> rig_;
    std::optional<ov::Json> ready_;
};

}  // namespace ovtest
