// The benchmark programs run end to end with a few blocks, so that they keep working between
// the times someone takes figures with them. Only what they print is checked, never a figure.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "process_runner.h"

namespace ovtest {
namespace {

std::string built(const std::string& relative) {
    std::string path = OV_BINARY_DIR;
    path += '/';
    path += relative;
    return path;
}

// The whitespace-separated words after `prefix` of every line that starts with it.
std::vector<std::vector<std::string>> rows(const std::string& text, const std::string& prefix) {
    std::vector<std::vector<std::string>> found;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(prefix, 0) != 0) continue;
        std::istringstream words(line.substr(prefix.size()));
        found.emplace_back();
        for (std::string word; words >> word;) found.back().push_back(word);
    }
    return found;
}

class BenchPrograms : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* program : {"plugins/host/ov-pluginhost", "tools/standin-audio/ov-rack-bench",
                                    "tools/bench/ov-host-cost-bench", "test-plugins/clap/ov-test-heavy.clap"})
            if (!std::filesystem::exists(built(program))) GTEST_SKIP() << program << " is not built";
    }
};

TEST_F(BenchPrograms, HostCostComparesTheDirectRunWithTheRack) {
    const RunResult run =
        run_process(built("tools/bench/ov-host-cost-bench"),
                    {"--host", built("plugins/host/ov-pluginhost"), "--plugin", built("test-plugins/clap/ov-test-heavy.clap"),
                     "--uid", "org.orvia.test.heavy", "--blocks", "20", "--paced-blocks", "10", "--chunks", "2"});
    ASSERT_EQ(run.exit_code, 0) << run.describe();
    // pacing, direct blocks, direct median, direct p99, rack blocks, missed, block median and p99,
    // round trip median and p99, ratio.
    for (const auto& [pacing, blocks] : {std::pair{"flat ", "20"}, std::pair{"10 ms ", "10"}}) {
        const auto found = rows(run.out, pacing);
        ASSERT_EQ(found.size(), 1u) << run.out;
        const auto& words = found[0];
        ASSERT_EQ(words.size(), 10u) << run.out;
        EXPECT_EQ(words[0], blocks) << run.out;
        EXPECT_GT(std::stod(words[1]), 0.0) << "the heavy effect takes time: " << run.out;
        EXPECT_GT(std::stod(words[9]), 0.0) << run.out;
    }
}

TEST_F(BenchPrograms, HostCostNamesAPluginThatDoesNotLoad) {
    const RunResult run = run_process(built("tools/bench/ov-host-cost-bench"),
                                      {"--host", built("plugins/host/ov-pluginhost"), "--plugin",
                                       built("test-plugins/clap/ov-test-heavy.clap"), "--uid", "org.orvia.test.none"});
    EXPECT_EQ(run.exit_code, 1) << run.describe();
    EXPECT_NE(run.err.find("org.orvia.test.none"), std::string::npos) << run.err;

    const RunResult usage = run_process(built("tools/bench/ov-host-cost-bench"), {"--host"});
    EXPECT_EQ(usage.exit_code, 2) << usage.describe();
    EXPECT_NE(usage.err.find("usage: ov-host-cost-bench"), std::string::npos) << usage.err;
}

TEST_F(BenchPrograms, RackBenchRunsEverySetupAgainstTheFloor) {
    const RunResult run = run_process(built("tools/standin-audio/ov-rack-bench"),
                                      {"--host", built("plugins/host/ov-pluginhost"), "--blocks", "20",
                                       "--paced-blocks", "10", "--chunks", "1"});
    ASSERT_EQ(run.exit_code, 0) << run.describe();
    for (const char* setup : {"host, empty rack", "host, eight gains", "host, 8 gains, rt", "floor, normal priority",
                              "floor, real-time"}) {
        SCOPED_TRACE(setup);
        // The setup's name, then its pacing and eight figures: a row flat out, a row paced.
        const auto found = rows(run.out, setup);
        ASSERT_EQ(found.size(), 2u) << run.out;
        EXPECT_EQ(found[0].size(), 9u) << run.out;
        EXPECT_EQ(found[0][0], "flat") << run.out;
        EXPECT_EQ(found[1].size(), 10u) << run.out;
        EXPECT_EQ(found[1][0], "10") << run.out;
        EXPECT_EQ(found[1][1], "ms") << run.out;
    }
    EXPECT_NE(run.out.find("eight gains against the floor, both at normal priority, paced: median"), std::string::npos)
        << run.out;
}

}  // namespace
}  // namespace ovtest
