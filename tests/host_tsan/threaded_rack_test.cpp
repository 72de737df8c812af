// The rack with all its threads at once: the main thread running the real message loop, the
// reader thread blocked on an input stream, the audio thread processing blocks that an
// "Orvia" thread keeps publishing, while setRack replaces plug-ins again and again.
#include "main_loop.h"
#include "platform/main_loop.h"
#include "rack_rig.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

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

TEST(ThreadedRack, RepeatedSetRackWhileAudioRuns) {
    setenv("OV_PLUGINHOST_INTERNAL", "1", 1);
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

    const std::vector<ov::Json> racks{
        ov::Json::array({internal_slot(1, "gain")}),
        ov::Json::array({internal_slot(1, "gain"), internal_slot(2, "delay:64")}),
        ov::Json::array({internal_slot(3, "stereo", true), internal_slot(2, "delay:64", true)}),
        ov::Json::array(),
    };
    constexpr int kRounds = 40;
    BytePipe pipe;
    int requests = 0;
    std::string script;
    for (int round = 0; round < kRounds; ++round) {
        script += request_line({{"cmd", "setRack"}, {"id", requests++}, {"slots", racks[round % racks.size()]}});
        script += request_line({{"cmd", "params"}, {"id", requests++}, {"key", 2}});
        script += request_line({{"cmd", "setParam"}, {"id", requests++}, {"key", 1}, {"param", 0}, {"value", 0.75}});
        script += request_line({{"cmd", "getStates"}, {"id", requests++}});
    }
    std::thread writer([&] {
        // Piece by piece, so that lines arrive while the main thread works.
        for (std::size_t at = 0; at < script.size(); at += 97) pipe.write(script.substr(at, 97));
        // On a fast machine the commands can all be done before the audio thread's first
        // block; quit only once audio has really flowed through a rack.
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (rig.view.blocks_processed() == 0 && std::chrono::steady_clock::now() < give_up)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        pipe.write(request_line({{"cmd", "quit"}}));
    });

    std::string error;
    auto loop = ovplat::MainLoop::create(error);
    ASSERT_TRUE(loop) << error;
    auto queue = std::make_shared<InputQueue>();
    std::thread reader([&, queue] {
        LineSplitter lines([&](char* buffer, std::size_t size) { return pipe.read(buffer, size); });
        read_input_lines(lines, *queue, [&] { return loop->wake(); });
    });

    RackSession session(*rig.rack, *rig.protocol, [&](const ov::Json& line) { rig.lines.push_back(line); });
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
        const int kind = replies % 4;
        ++replies;
        // "params" and "setParam" address slots that only some racks hold.
        if (kind == 0 || kind == 3) EXPECT_TRUE(line["ok"]) << line.dump();
    }
    EXPECT_EQ(replies, requests);
    EXPECT_GT(rig.view.blocks_processed(), 0u);
    EXPECT_GT(published.load(), 0u);
}

}  // namespace
}  // namespace ovhost
