// ov-host-cost-bench: what hosting a plug-in in a rack costs against running it directly. The
// same plug-in runs in this process through the host's own format code (loaded as a rack slot
// would load it, processed on a thread of its own that asks for the audio thread's priority,
// no mapping, no process boundary) and in a rack of a real ov-pluginhost through the mapping.
// Both run flat out (the next block as soon as the previous one is done) and paced (a block
// every 10 ms), interleaved in chunks so that both see the same machine. Prints the per-block
// time of both (the direct process call; the rack's blockTimeUs), their ratio, and the rack's
// round trip from publishing a block to its outputSeq.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "formats.h"
#include "ov/json.h"
#include "platform/clock.h"
#include "platform/thread.h"
#include "rig.h"

namespace {

constexpr const char* kUsage =
    "usage: ov-host-cost-bench --host <ov-pluginhost> --plugin <file> --uid <id> [--kind clap|vst3]\n"
    "                          [--blocks <n>] [--paced-blocks <n>] [--chunks <n>]\n";
constexpr std::uint32_t kChannels = 2;
constexpr std::uint64_t kPeriodNs = 10'000'000;

struct Options {
    std::string host, plugin, uid, kind;
    std::uint64_t flat_blocks = 3000, paced_blocks = 3000, chunks = 5;
};

bool parse_count(const char* text, std::uint64_t& value) {
    const char* end = text + std::strlen(text);
    auto result = std::from_chars(text, end, value);
    return result.ec == std::errc() && result.ptr == end && value > 0;
}

std::optional<Options> parse_options(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (value == nullptr) return std::nullopt;
        if (word == "--host") options.host = value;
        else if (word == "--plugin") options.plugin = value;
        else if (word == "--uid") options.uid = value;
        else if (word == "--kind") options.kind = value;
        else if (word == "--blocks" && parse_count(value, options.flat_blocks)) {
        } else if (word == "--paced-blocks" && parse_count(value, options.paced_blocks)) {
        } else if (word == "--chunks" && parse_count(value, options.chunks)) {
        } else return std::nullopt;
        ++i;
    }
    if (options.kind.empty())
        options.kind = options.plugin.size() >= 5 && options.plugin.ends_with(".clap") ? "clap" : "vst3";
    if (options.host.empty() || options.plugin.empty() || options.uid.empty()) return std::nullopt;
    if (options.kind != "clap" && options.kind != "vst3") return std::nullopt;
    return options;
}

// The plug-in run directly: buffers filled with the same noise the rack gets, and one block
// processed at a time on a thread like the host's audio thread.
class DirectRun {
public:
    explicit DirectRun(ovhost::LoadedPlugin plugin) : plugin_(std::move(plugin)) {
        for (auto& channel : inputs_) channel.resize(ovhost::kBlockFrames);
        for (auto& channel : outputs_) channel.resize(ovhost::kBlockFrames);
    }
    bool start() { return plugin_.processor->start(); }
    void stop() { plugin_.processor->stop(); }

    // Processes `count` blocks, each due `period_ns` after the one before (0: flat out);
    // appends each process call's time in microseconds.
    void run(std::uint64_t count, std::uint64_t period_ns, std::vector<double>& times_us) {
        std::thread thread([&] {
            ovplat::request_pro_audio_priority();
            const std::uint64_t first_due = ovplat::monotonic_ns();
            for (std::uint64_t block = 0; block < count; ++block) {
                if (period_ns > 0) {
                    const std::uint64_t due = first_due + block * period_ns;
                    const std::uint64_t now = ovplat::monotonic_ns();
                    if (now < due) std::this_thread::sleep_for(std::chrono::nanoseconds(due - now));
                }
                fill_input();
                const std::uint64_t started = ovplat::monotonic_ns();
                process();
                times_us.push_back(static_cast<double>(ovplat::monotonic_ns() - started) / 1000.0);
            }
        });
        thread.join();
    }

private:
    void fill_input() {
        for (std::uint32_t c = 0; c < kChannels; ++c)
            for (std::uint32_t i = 0; i < ovhost::kBlockFrames; ++i)
                inputs_[c][i] = signal_.sample(c, frame_ + i, frame_ + i);
        frame_ += ovhost::kBlockFrames;
    }
    void process() {
        const float* inputs[kChannels] = {inputs_[0].data(), inputs_[1].data()};
        float* outputs[kChannels] = {outputs_[0].data(), outputs_[1].data()};
        plugin_.processor->process(inputs, kChannels, outputs, kChannels, ovhost::kBlockFrames);
    }

    ovhost::LoadedPlugin plugin_;
    ovstandin::Signal signal_;
    std::uint64_t frame_ = 0;
    std::vector<float> inputs_[kChannels], outputs_[kChannels];
};

struct Figures {
    std::vector<double> direct_us, block_us, round_trip_us;
    std::uint64_t missed = 0;
};

void take_rack_run(Figures& into, const ovstandin::BlockRun& run) {
    into.block_us.insert(into.block_us.end(), run.block_time_us.begin(), run.block_time_us.end());
    into.round_trip_us.insert(into.round_trip_us.end(), run.round_trip_us.begin(), run.round_trip_us.end());
    into.missed += run.missed;
}

void print_figures(const char* pacing, const Figures& figures) {
    const auto direct = ovstandin::percentiles(figures.direct_us);
    const auto block = ovstandin::percentiles(figures.block_us);
    const auto trip = ovstandin::percentiles(figures.round_trip_us);
    std::printf("%-6s %8zu %11.0f %11.0f %8zu %7llu %11.0f %11.0f %11.0f %11.0f %8.3f\n", pacing,
                figures.direct_us.size(), direct.median, direct.p99, figures.block_us.size(),
                static_cast<unsigned long long>(figures.missed), block.median, block.p99, trip.median, trip.p99,
                direct.median > 0 ? block.median / direct.median : 0.0);
}

// True when a setRack reply says that its first slot loaded.
bool slot_loaded(const std::optional<ov::Json>& reply) {
    if (!reply || !reply->is_object() || !reply->value("ok", false)) return false;
    const auto result = reply->find("result");
    if (result == reply->end() || !result->is_array() || result->empty()) return false;
    const ov::Json& first = (*result)[0];
    return first.is_object() && first.value("ok", false);
}

}  // namespace

int main(int argc, char** argv) {
    const auto options = parse_options(argc, argv);
    if (!options) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    auto loaded = ovhost::load_slot_plugin(options->kind, options->plugin, options->uid, kChannels);
    if (!loaded) {
        std::fprintf(stderr, "ov-host-cost-bench: %s in %s: %s\n", options->uid.c_str(), options->plugin.c_str(),
                     loaded.error().c_str());
        return 1;
    }
    DirectRun direct(std::move(loaded.value()));
    if (!direct.start()) {
        std::fprintf(stderr, "ov-host-cost-bench: the plug-in did not start processing\n");
        return 1;
    }

    ovstandin::RigOptions rig_options;
    rig_options.host_program = options->host;
    rig_options.channels_arg = "2";
    rig_options.mapping_channels = kChannels;
    std::string error;
    auto rig = ovstandin::Rig::start(rig_options, error);
    if (!rig || !rig->wait_event("ready", 60000)) {
        std::fprintf(stderr, "ov-host-cost-bench: the host did not start: %s\n", error.c_str());
        return 1;
    }
    const ov::Json slot = {{"key", 0}, {"kind", options->kind}, {"path", options->plugin}, {"uid", options->uid}};
    auto reply = rig->request({{"cmd", "setRack"}, {"slots", ov::Json::array({slot})}}, 60000);
    if (!slot_loaded(reply)) {
        std::fprintf(stderr, "ov-host-cost-bench: setRack failed: %s\n", reply ? reply->dump().c_str() : "no reply");
        return 1;
    }

    // Warm both up, then interleave: each chunk runs both flat out, then both paced.
    std::vector<double> discarded;
    direct.run(200, 0, discarded);
    ovstandin::BlockPlan warm_up;
    warm_up.count = 200;
    rig->run_blocks(warm_up);

    Figures flat, paced;
    for (std::uint64_t chunk = 0; chunk < options->chunks; ++chunk) {
        const std::uint64_t flat_count = std::max<std::uint64_t>(1, options->flat_blocks / options->chunks);
        const std::uint64_t paced_count = std::max<std::uint64_t>(1, options->paced_blocks / options->chunks);
        direct.run(flat_count, 0, flat.direct_us);
        ovstandin::BlockPlan plan;
        plan.count = flat_count;
        take_rack_run(flat, rig->run_blocks(plan));
        direct.run(paced_count, kPeriodNs, paced.direct_us);
        plan.count = paced_count;
        plan.pace_us = static_cast<std::uint32_t>(kPeriodNs / 1000);
        take_rack_run(paced, rig->run_blocks(plan));
    }
    direct.stop();
    rig->send(ov::Json{{"cmd", "quit"}});
    rig->close_stdin();
    rig->wait_exit(10000);

    std::printf("%s (%s), %u channels, blocks of %u frames at 48 kHz (10 ms)\n", options->uid.c_str(),
                options->kind.c_str(), kChannels, ovhost::kBlockFrames);
    std::printf("%-6s %8s %11s %11s %8s %7s %11s %11s %11s %11s %8s\n", "pacing", "direct", "direct med",
                "direct p99", "rack", "missed", "block med", "block p99", "rtt med", "rtt p99", "ratio");
    print_figures("flat", flat);
    print_figures("10 ms", paced);
    std::printf("times in microseconds; ratio = rack blockTimeUs median / direct median (target at most 1.05)\n");
    std::fflush(stdout);
    return 0;
}
