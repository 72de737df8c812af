// The rack with all its threads at once: the main thread running the real message loop, the
// reader thread blocked on an input stream, the audio thread processing blocks that an
// "Orvia" thread keeps publishing, while setRack replaces plug-ins again and again.
#include "main_loop.h"
#include "platform/main_loop.h"
#include "rack_rig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace ovhost {
namespace {

// A blocking byte stream between a writer thread and the reader thread.
class BytePipe {
public:
    void write(const std::string& bytes) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            data_ += bytes;
        }
        condition_.notify_all();
    }
    void close() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            closed_ = true;
        }
        condition_.notify_all();
    }
    std::size_t read(char* buffer, std::size_t size) {
        std::unique_lock<std::mutex> lock(mutex_);
        condition_.wait(lock, [this] { return !data_.empty() || closed_; });
        const std::size_t count = std::min(size, data_.size());
        std::memcpy(buffer, data_.data(), count);
        data_.erase(0, count);
        return count;
    }

private:
    std::mutex mutex_;
    std::condition_variable condition_;
    std::string data_;
    bool closed_ = false;
};

std::string request_line(const ov::Json& request) { return "OVP " + ov::to_compact_json(request) + "\n"; }

ov::Json internal_slot(std::uint32_t key, const std::string& name, bool bypass = false) {
    return ov::Json{{"key", key}, {"kind", "internal"}, {"path", "internal:"}, {"uid", name}, {"bypass", bypass}};
}

// One rack session with all its threads: for each round, a setRack with the next of
// `racks`, then the round's `requests` (their "id" is added), then getStates. The replies
// to setRack and getStates must succeed; the others may address slots a rack lacks.
// Quits once audio has flowed through `min_blocks` blocks and, when `wait_for_event` is given,
// once such an event was written (at most 20 s); gives the lines written.
std::vector<ov::Json> run_threaded_session(const std::vector<ov::Json>& racks,
                                           const std::vector<ov::Json>& requests_per_round, int rounds,
                                           std::uint64_t min_blocks, const char* wait_for_event = nullptr) {
    rig::RackRig rig(2, kTakeBackTimeoutMs, format_plugin_loader());

    // Orvia's audio side: publishes a block whenever the previous one came back.
    std::atomic<bool> playing{true};
    std::atomic<std::uint64_t> published{0};
    std::thread orvia([&] {
        std::uint64_t sequence = rig.view.input_seq();
        while (playing) {
            ++sequence;
            for (std::uint32_t channel = 0; channel < 2; ++channel) {
                float* samples = rig.view.input_channel(sequence, channel);
                for (std::uint32_t i = 0; i < 480; ++i) samples[i] = 0.25f;
            }
            rig.view.set_input_seq(sequence);
            rig.event.set();
            published = sequence;
            // Wait for the block to come out; one published while the rack is being rebuilt
            // is never processed, so give up on it after a while.
            const auto give_up = std::chrono::steady_clock::now() + std::chrono::milliseconds(20);
            while (playing && rig.view.output_seq() < sequence && std::chrono::steady_clock::now() < give_up)
                std::this_thread::yield();
        }
    });

    BytePipe pipe;
    std::atomic<int> awaited_events{0};
    int requests = 0;
    std::vector<bool> must_succeed;
    std::string script;
    auto add = [&](ov::Json request, bool required) {
        request["id"] = requests++;
        must_succeed.push_back(required);
        script += request_line(request);
    };
    for (int round = 0; round < rounds; ++round) {
        add({{"cmd", "setRack"}, {"slots", racks[round % racks.size()]}}, true);
        for (const auto& request : requests_per_round) add(request, false);
        add({{"cmd", "getStates"}}, true);
    }
    std::thread writer([&] {
        // Piece by piece, so that lines arrive while the main thread works.
        for (std::size_t at = 0; at < script.size(); at += 97) pipe.write(script.substr(at, 97));
        // On a fast machine the commands can all be done before the audio thread's first
        // block; quit only once audio has really flowed through the racks.
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while ((rig.view.blocks_processed() < min_blocks || (wait_for_event != nullptr && awaited_events == 0)) &&
               std::chrono::steady_clock::now() < give_up)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        pipe.write(request_line({{"cmd", "quit"}}));
    });

    std::string error;
    auto loop = ovplat::MainLoop::create(error);
    EXPECT_TRUE(loop) << error;
    if (!loop) {
        pipe.close();
        writer.join();
        playing = false;
        orvia.join();
        return {};
    }
    auto queue = std::make_shared<InputQueue>();
    std::thread reader([&, queue] {
        LineSplitter lines([&](char* buffer, std::size_t size) { return pipe.read(buffer, size); });
        read_input_lines(lines, *queue, [&] { return loop->wake(); });
    });

    RackSession session(*rig.rack, *rig.protocol, [&](const ov::Json& line) {
        if (wait_for_event != nullptr && line.value("event", "") == wait_for_event) ++awaited_events;
        rig.lines.push_back(line);
    });
    bool quit = false;
    loop->run([&] {
        const auto state = session.handle_queued_input(*queue);
        if (state != RackSession::InputState::open) {
            quit = state == RackSession::InputState::quit;
            return false;
        }
        session.periodic_work();
        return true;
    });
    EXPECT_TRUE(quit);
    writer.join();
    pipe.close();
    reader.join();

    playing = false;
    orvia.join();
    rig.rack->shut_down();

    int replies = 0;
    for (const auto& line : rig.lines) {
        if (!line.contains("ok")) continue;
        EXPECT_EQ(line["id"], replies) << line.dump();
        if (replies < requests && must_succeed[replies]) {
            EXPECT_TRUE(line["ok"]) << line.dump();
            // Every slot of every rack loads.
            if (line["result"].is_array()) {
                for (const auto& slot : line["result"]) {
                    if (slot.contains("adapt")) {
                        EXPECT_EQ(slot["ok"], true) << slot.dump();
                    }
                }
            }
        }
        ++replies;
    }
    EXPECT_EQ(replies, requests);
    EXPECT_GE(rig.view.blocks_processed(), min_blocks);
    EXPECT_GT(published.load(), 0u);
    return rig.lines;
}

TEST(ThreadedRack, RepeatedSetRackWhileAudioRuns) {
    setenv("OV_PLUGINHOST_INTERNAL", "1", 1);
    const std::vector<ov::Json> racks{
        ov::Json::array({internal_slot(1, "gain")}),
        ov::Json::array({internal_slot(1, "gain"), internal_slot(2, "delay:64")}),
        ov::Json::array({internal_slot(3, "stereo", true), internal_slot(2, "delay:64", true)}),
        ov::Json::array(),
    };
    run_threaded_session(racks,
                         {{{"cmd", "params"}, {"key", 2}},
                          {{"cmd", "setParam"}, {"key", 1}, {"param", 0}, {"value", 0.75}}},
                         40, 1);
}

// VST3 and CLAP test plug-ins whose requests come from the audio thread and the main thread
// (edits, restarts, dirty state, output values, callbacks) while the rack keeps changing.
std::string test_plugin(const std::string& relative) { return std::string(OV_BINARY_DIR) + "/test-plugins/" + relative; }

ov::Json vst3_slot(std::uint32_t key, unsigned tag) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    const std::string uid = std::string("4F5646580000000000000000000000") + kDigits[tag >> 4] + kDigits[tag & 0xF];
    return ov::Json{{"key", key}, {"kind", "vst3"}, {"path", test_plugin("vst3/OvFx.vst3")}, {"uid", uid}};
}

ov::Json clap_slot(std::uint32_t key, const std::string& id) {
    return ov::Json{{"key", key}, {"kind", "clap"}, {"path", test_plugin("clap/ov-test-effects.clap")},
                    {"uid", "org.orvia.test." + id}};
}

ov::Json set_param(std::uint32_t key, std::uint32_t param, double value) {
    return ov::Json{{"cmd", "setParam"}, {"key", key}, {"param", param}, {"value", value}};
}

TEST(ThreadedRack, PluginRequestsFromEveryThreadWhileTheRackChanges) {
    if (!std::filesystem::exists(test_plugin("vst3/OvFx.vst3")) ||
        !std::filesystem::exists(test_plugin("clap/ov-test-effects.clap")))
        GTEST_SKIP() << "the VST3 and CLAP test plug-ins are not built";
    const std::vector<ov::Json> racks{
        ov::Json::array({vst3_slot(1, 1), vst3_slot(2, 2), clap_slot(3, "gain")}),
        ov::Json::array({clap_slot(3, "gain"), vst3_slot(1, 1)}),
        ov::Json::array({vst3_slot(2, 2), clap_slot(3, "gain"), clap_slot(4, "probe")}),
    };
    // The CLAP "Action" parameter (id 9) takes action / 20: 12 marks the state dirty from the
    // audio thread, 10 reports output values there, 1 and 3 ask for a main-thread callback that
    // marks dirty or requests a restart. VST3: 5 performs an edit of the gain, 4 changes the
    // latency and asks for a restart.
    const std::vector<ov::Json> requests{
        set_param(3, 9, 12 / 20.0), set_param(3, 9, 10 / 20.0), set_param(1, 5, 0.5),
        set_param(2, 4, 0.25),      set_param(3, 9, 1 / 20.0),  set_param(3, 9, 3 / 20.0),
        {{"cmd", "params"}, {"key", 2}},
    };
    const auto lines = run_threaded_session(racks, requests, 40, 400, "stateDirty");
    // The requests did reach the plug-ins and came back as events.
    const auto dirty = std::count_if(lines.begin(), lines.end(),
                                     [](const ov::Json& line) { return line.value("event", "") == "stateDirty"; });
    EXPECT_GT(dirty, 0);
}

}  // namespace
}  // namespace ovhost
