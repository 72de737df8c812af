// The stand-in as a program (used by the demo and the benchmark): its options, its record
// file and a one-time misbehaviour, with the real ovctl as the client.
#include "ovctl_fixture.h"

#include <thread>

namespace ovtest {
namespace {

std::string standin_path() { return std::string(OV_BINARY_DIR) + "/tools/standin-api/ov-standin-api"; }

std::vector<std::string> lines_of(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) lines.push_back(line);
    return lines;
}

class StandinProgram : public OvctlTest {};

TEST_F(StandinProgram, HelpListsEveryMode) {
    RunResult help = run_process(standin_path(), {"--help"});
    ASSERT_EQ(help.exit_code, 0) << help.describe();
    for (ov::standin::Misbehaviour mode : ov::standin::all_misbehaviours())
        EXPECT_NE(help.out.find("  " + std::string(ov::standin::misbehaviour_name(mode)) + " "), std::string::npos)
            << ov::standin::misbehaviour_name(mode);
    for (const char* option : {"--port", "--token", "--record", "--once-misbehave", "--misbehave"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;

    RunResult unknown = run_process(standin_path(), {"--misbehave", "sometimes"});
    EXPECT_EQ(unknown.exit_code, 2) << unknown.describe();
    EXPECT_NE(unknown.err.find("unknown mode sometimes"), std::string::npos);
}

TEST_F(StandinProgram, ServesRecordsAndMisbehavesOnce) {
    const std::uint16_t port = unused_port();
    const std::string record = home_ + "/requests.jsonl";
    RunResult served;
    std::thread standin([&] {
        served = run_process(standin_path(), {"--port", port_text(port), "--token", "t0k", "--record", record,
                                              "--once-misbehave", "chunked", "--once-misbehave", "refuse",
                                              "--refusal", "not now", "--max-requests", "6"});
    });
    write_settings(settings_json(port, "t0k"));
    // The program needs a moment to listen; until then ovctl finds nothing (exit 3).
    RunResult first;
    for (int attempt = 0; attempt < 600; ++attempt) {
        first = ovctl({"mute", "on"});
        if (first.exit_code != 3) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    // The last instruction given is used first: the refusal (the command is not carried
    // out), then the chunked answer.
    EXPECT_RUN(first, 1, "", "ovctl: not now\n");
    EXPECT_RUN(ovctl({"mute"}), 0, "Microphone live\n", "");
    EXPECT_RUN(ovctl({"mute", "off"}), 0, "Microphone live\n", "");
    standin.join();
    EXPECT_EQ(served.exit_code, 0) << served.describe();
    EXPECT_EQ(served.out, port_text(port) + "\n");

    const std::vector<std::string> lines = lines_of(record);
    ASSERT_EQ(lines.size(), 6u);
    auto line = ov::parse_json(lines[1]).value;
    ASSERT_TRUE(line.has_value()) << lines[1];
    EXPECT_EQ((*line)["method"], "POST");
    EXPECT_EQ((*line)["path"], "/v1/cmd/mute.set");
    EXPECT_EQ((*line)["body"], R"({"muted":true})");
    EXPECT_EQ((*line)["headers"][2], ov::Json::array({"Authorization", "Bearer t0k"}));
}

}  // namespace
}  // namespace ovtest
