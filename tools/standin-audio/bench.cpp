// ov-rack-bench: how quickly a rack-mode host turns a block around, against the floor. It
// streams blocks paced every 10 ms (like a live audio device) and flat out (the next block as
// soon as the previous one came back) through an empty rack and eight gain slots (once with
// the audio thread's default scheduling, once with OV_PLUGINHOST_REALTIME=1), and through a
// bare pair of processes that does only the wake-up: the other side waits on the named event
// and answers through the mapping, nothing else (once at normal priority, once at real-time
// priority). The setups run interleaved in chunks, so that all of them see the same machine.
// Prints the round trip from publishing a block to its outputSeq (median, 99th percentile),
// the mapping's blockTimeUs, and the ratios of the eight gains to the floor.
#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "ov/json.h"
#include "platform/process.h"
#include "platform/shared_memory.h"
#include "platform/thread.h"
#include "rig.h"

namespace {

constexpr const char* kUsage =
    "usage: ov-rack-bench --host <ov-pluginhost> [--blocks <n>] [--paced-blocks <n>] [--chunks <n>] [--no-floor]\n";

struct Setup {
    std::string name;
    bool floor = false;     // the bare pair instead of the host
    bool realtime = false;  // the audio thread (or the bare pair's waiting side) asks for real-time priority
    bool eight_gains = false;
    std::unique_ptr<ovstandin::Rig> rig;
    ovstandin::BlockRun flat, paced;
};

void append(ovstandin::BlockRun& into, const ovstandin::BlockRun& run) {
    into.published += run.published;
    into.received += run.received;
    into.missed += run.missed;
    into.skipped_by_host += run.skipped_by_host;
    into.round_trip_us.insert(into.round_trip_us.end(), run.round_trip_us.begin(), run.round_trip_us.end());
    into.block_time_us.insert(into.block_time_us.end(), run.block_time_us.begin(), run.block_time_us.end());
}

void print_row(const std::string& name, const std::string& pacing, const ovstandin::BlockRun& run, bool has_block_time) {
    const auto trip = ovstandin::percentiles(run.round_trip_us);
    std::vector<double> times(run.block_time_us.begin(), run.block_time_us.end());
    const auto block = ovstandin::percentiles(times);
    std::printf("%-22s %-6s %8llu %7llu %7llu %11.1f %11.1f %11.1f", name.c_str(), pacing.c_str(),
                static_cast<unsigned long long>(run.received), static_cast<unsigned long long>(run.missed),
                static_cast<unsigned long long>(run.skipped_by_host), trip.median, trip.p99, trip.max);
    if (has_block_time)
        std::printf(" %13.0f %13.0f\n", block.median, block.p99);
    else
        std::printf(" %13s %13s\n", "-", "-");
}

bool parse_count(const std::string& text, std::uint64_t& value) {
    auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size() && value > 0;
}

// The waiting side of the bare pair: wakes on the event, copies the newest input block to the
// output ring and publishes it, like an empty rack without anything else around it.
int run_floor_child(const std::string& mapping, bool realtime) {
    std::string error;
    auto memory = ovplat::SharedMemory::open(mapping, ovstandin::field::kMappingSize, error);
    auto event = memory ? ovplat::NamedEvent::open(mapping + "-req", error) : nullptr;
    if (!memory || !event) {
        std::fprintf(stderr, "ov-rack-bench: %s\n", error.c_str());
        return 3;
    }
    // The end of standard input (or "quit") ends the pair.
    std::thread([] {
        for (std::string line; std::getline(std::cin, line);)
            if (line.find("\"quit\"") != std::string::npos) break;
        ovplat::exit_immediately(0);
    }).detach();

    ovstandin::MappingView view(memory->data());
    namespace field = ovstandin::field;
    const unsigned channels = view.u32(field::channels) >= 2 ? 2 : 1;
    std::atomic<bool> started{false};
    std::thread waiter([&] {
        if (realtime) ovplat::request_realtime_priority();
        std::uint64_t seen = view.u64(field::outputSeq);
        view.store<std::uint32_t>(field::active, 1);
        started = true;
        for (;;) {
            if (!event->wait(20)) continue;
            const std::uint64_t block = view.u64(field::inputSeq);
            if (block <= seen) continue;
            for (unsigned c = 0; c < channels; ++c)
                std::memcpy(const_cast<float*>(view.output_channel(block, c)), view.input_channel(block, c),
                            field::ringChannelBytes);
            view.store<std::uint64_t>(field::ringSeq + 8 * (block % field::kRingBlocks), block);
            view.store<std::uint64_t>(field::outputSeq, block);
            seen = block;
        }
    });
    while (!started) std::this_thread::yield();
    std::printf("OVP {\"event\":\"ready\",\"pid\":%u}\n", ovplat::current_process_id());
    std::fflush(stdout);
    waiter.join();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "--floor-child") == 0)
        return run_floor_child(argv[2], argc >= 4 && std::strcmp(argv[3], "--realtime") == 0);

    std::string host;
    std::uint64_t flat_blocks = 10000, paced_blocks = 10000, chunks = 5;
    bool with_floor = true;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        const bool has_value = i + 1 < argc;
        if (word == "--host" && has_value) host = argv[++i];
        else if (word == "--blocks" && has_value && parse_count(argv[i + 1], flat_blocks)) ++i;
        else if (word == "--paced-blocks" && has_value && parse_count(argv[i + 1], paced_blocks)) ++i;
        else if (word == "--chunks" && has_value && parse_count(argv[i + 1], chunks)) ++i;
        else if (word == "--no-floor") with_floor = false;
        else {
            std::fputs(kUsage, stderr);
            return 2;
        }
    }
    if (host.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    std::vector<Setup> setups;
    setups.push_back({"host, empty rack", false, false, false, nullptr, {}, {}});
    setups.push_back({"host, eight gains", false, false, true, nullptr, {}, {}});
    setups.push_back({"host, 8 gains, rt", false, true, true, nullptr, {}, {}});
    if (with_floor) {
        setups.push_back({"floor, normal priority", true, false, false, nullptr, {}, {}});
        setups.push_back({"floor, real-time", true, true, false, nullptr, {}, {}});
    }
    static std::atomic<unsigned> counter{0};
    for (Setup& setup : setups) {
        ovstandin::RigOptions options;
        options.channels_arg = "2";
        options.mapping_channels = 2;
        if (setup.floor) {
            options.host_program = argv[0];
            options.mapping_name = "ov-rack-bench-" + std::to_string(ovplat::current_process_id()) + "-" +
                                   std::to_string(counter++);
            options.host_args = {"--floor-child", options.mapping_name};
            if (setup.realtime) options.host_args.push_back("--realtime");
        } else {
            options.host_program = host;
            options.environment.set.emplace_back("OV_PLUGINHOST_INTERNAL", "1");
            if (setup.realtime) options.environment.set.emplace_back("OV_PLUGINHOST_REALTIME", "1");
        }
        std::string error;
        setup.rig = ovstandin::Rig::start(options, error);
        if (!setup.rig || !setup.rig->wait_event("ready", 60000)) {
            std::fprintf(stderr, "ov-rack-bench: %s did not start: %s\n", setup.name.c_str(), error.c_str());
            return 1;
        }
        if (!setup.floor) {
            ov::Json slots = ov::Json::array();
            if (setup.eight_gains)
                for (int key = 0; key < 8; ++key)
                    slots.push_back({{"key", key}, {"kind", "internal"}, {"path", ""}, {"uid", "gain"}});
            auto reply = setup.rig->request({{"cmd", "setRack"}, {"slots", slots}}, 30000);
            if (!reply || !reply->value("ok", false)) {
                std::fprintf(stderr, "ov-rack-bench: setRack failed\n");
                return 1;
            }
        }
        ovstandin::BlockPlan warm_up;
        warm_up.count = 200;
        setup.rig->run_blocks(warm_up);
    }

    // Interleaved: each chunk runs every setup once, flat out and then paced.
    for (std::uint64_t chunk = 0; chunk < chunks; ++chunk) {
        for (Setup& setup : setups) {
            ovstandin::BlockPlan flat;
            flat.count = std::max<std::uint64_t>(1, flat_blocks / chunks);
            append(setup.flat, setup.rig->run_blocks(flat));
        }
        for (Setup& setup : setups) {
            ovstandin::BlockPlan paced;
            paced.count = std::max<std::uint64_t>(1, paced_blocks / chunks);
            paced.pace_us = 10000;
            append(setup.paced, setup.rig->run_blocks(paced));
        }
    }
    for (Setup& setup : setups) {
        setup.rig->send(ov::Json{{"cmd", "quit"}});
        setup.rig->close_stdin();
        setup.rig->wait_exit(10000);
    }

    std::printf("%-22s %-6s %8s %7s %7s %11s %11s %11s %13s %13s\n", "setup", "pacing", "blocks", "missed", "skipped",
                "rtt med us", "rtt p99 us", "rtt max us", "blockTime med", "blockTime p99");
    for (const Setup& setup : setups) {
        print_row(setup.name, "flat", setup.flat, !setup.floor);
        print_row(setup.name, "10 ms", setup.paced, !setup.floor);
    }
    if (with_floor) {
        auto ratio = [](const ovstandin::BlockRun& run, const ovstandin::BlockRun& floor) {
            const auto a = ovstandin::percentiles(run.round_trip_us), b = ovstandin::percentiles(floor.round_trip_us);
            std::printf("median %.2f x (target at most 1.5), p99 %.2f x (target at most 2)\n", a.median / b.median,
                        a.p99 / b.p99);
        };
        std::printf("eight gains against the floor, both at normal priority, paced: ");
        ratio(setups[1].paced, setups[3].paced);
        std::printf("eight gains against the floor, both at real-time priority, paced: ");
        ratio(setups[2].paced, setups[4].paced);
    }
    std::fflush(stdout);
    return 0;
}
