// ov-rack-bench: how quickly a rack-mode host turns a block around. For an empty rack and for
// eight gain slots, it streams blocks paced every 10 ms (like a live audio device) and flat
// out (the next block as soon as the previous one came back) and prints the round-trip time
// from publishing a block to its outputSeq, and the mapping's blockTimeUs.
#include <charconv>
#include <cstdio>
#include <string>
#include <vector>

#include "ov/json.h"
#include "rig.h"

namespace {

constexpr const char* kUsage = "usage: ov-rack-bench --host <ov-pluginhost> [--blocks <n>] [--paced-blocks <n>]\n";

struct Row {
    std::string rack, pacing;
    ovstandin::BlockRun run;
};

void print_rows(const std::vector<Row>& rows) {
    std::printf("%-12s %-8s %8s %8s %7s %12s %12s %12s %14s %14s\n", "rack", "pacing", "blocks", "missed", "skipped",
                "rtt med us", "rtt p99 us", "rtt max us", "blockTime med", "blockTime p99");
    for (const auto& row : rows) {
        const auto trip = ovstandin::percentiles(row.run.round_trip_us);
        std::vector<double> times(row.run.block_time_us.begin(), row.run.block_time_us.end());
        const auto block = ovstandin::percentiles(times);
        std::printf("%-12s %-8s %8llu %8llu %7llu %12.1f %12.1f %12.1f %14.0f %14.0f\n", row.rack.c_str(),
                    row.pacing.c_str(), static_cast<unsigned long long>(row.run.received),
                    static_cast<unsigned long long>(row.run.missed),
                    static_cast<unsigned long long>(row.run.skipped_by_host), trip.median, trip.p99, trip.max,
                    block.median, block.p99);
    }
    std::fflush(stdout);
}

bool parse_count(const std::string& text, std::uint64_t& value) {
    auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size() && value > 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string host;
    std::uint64_t flat_blocks = 10000, paced_blocks = 10000;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        const bool has_value = i + 1 < argc;
        if (word == "--host" && has_value) host = argv[++i];
        else if (word == "--blocks" && has_value && parse_count(argv[i + 1], flat_blocks)) ++i;
        else if (word == "--paced-blocks" && has_value && parse_count(argv[i + 1], paced_blocks)) ++i;
        else {
            std::fputs(kUsage, stderr);
            return 2;
        }
    }
    if (host.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    std::vector<Row> rows;
    for (const bool eight_gains : {false, true}) {
        ovstandin::RigOptions options;
        options.host_program = host;
        options.channels_arg = "2";
        options.mapping_channels = 2;
        options.environment.set.emplace_back("OV_PLUGINHOST_INTERNAL", "1");
        std::string error;
        auto rig = ovstandin::Rig::start(options, error);
        if (!rig || !rig->wait_event("ready", 60000)) {
            std::fprintf(stderr, "ov-rack-bench: the host did not start: %s\n", error.c_str());
            return 1;
        }
        ov::Json slots = ov::Json::array();
        if (eight_gains)
            for (int key = 0; key < 8; ++key)
                slots.push_back({{"key", key}, {"kind", "internal"}, {"path", ""}, {"uid", "gain"}});
        auto reply = rig->request({{"cmd", "setRack"}, {"slots", slots}}, 30000);
        if (!reply || !reply->value("ok", false)) {
            std::fprintf(stderr, "ov-rack-bench: setRack failed\n");
            return 1;
        }
        const std::string rack = eight_gains ? "eight gains" : "empty";

        ovstandin::BlockPlan warm_up;
        warm_up.count = 200;
        rig->run_blocks(warm_up);

        ovstandin::BlockPlan flat;
        flat.count = flat_blocks;
        rows.push_back({rack, "flat", rig->run_blocks(flat)});

        ovstandin::BlockPlan paced;
        paced.count = paced_blocks;
        paced.pace_us = 10000;
        rows.push_back({rack, "10 ms", rig->run_blocks(paced)});

        rig->send(ov::Json{{"cmd", "quit"}});
        rig->wait_exit(10000);
    }
    print_rows(rows);
    return 0;
}
