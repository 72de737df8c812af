// Rack mode with a standard input its parent made non-blocking: a read that finds no data yet
// is not the end of input.
#include <thread>

#include <unistd.h>

#include "host_fixture.h"

namespace ovtest {
namespace {

#ifdef OV_NONBLOCKING_STDIN
TEST_F(RackHost, NonBlockingStandardInputWaitsForItsLines) {
    ovstandin::RigOptions options;
    options.host_program = OV_NONBLOCKING_STDIN;
    options.mapping_name = "ov-test-nonblocking-" + std::to_string(::getpid());
    options.host_args = {host_program(), "rack", options.mapping_name, "1"};
    std::string error;
    rig_ = ovstandin::Rig::start(options, error);
    ASSERT_TRUE(rig_) << error;
    ASSERT_TRUE(rig_->wait_event("ready", 30000)) << "no ready event";

    // Nothing to read for a while: the host keeps waiting for its input.
    EXPECT_FALSE(rig_->wait_exit(300)) << "the host took an empty non-blocking pipe for the end of input";
    // A line that arrives in two pieces, with nothing to read in between.
    ASSERT_TRUE(rig_->send_bytes(R"(OVP {"cmd":"ping",)"));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_TRUE(rig_->send_bytes("\"id\":7}\n"));
    ASSERT_TRUE(rig_->next_reply(20000));
    EXPECT_EQ(rig_->lines().back().text, R"(OVP {"id":7,"ok":true,"result":{"pong":true}})");
    quit_and_expect_exit();
}
#endif

}  // namespace
}  // namespace ovtest
