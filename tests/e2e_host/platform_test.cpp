// The platform pieces the rack runs on: named shared memory, the auto-reset event and child
// processes with piped standard streams, against the real system.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>

#include "platform/child_process.h"
#include "platform/shared_memory.h"

namespace ovtest {
namespace {

std::string fresh_name(const char* what) {
    std::random_device entropy;
    return std::string("ov-test-") + what + "-" + std::to_string(entropy()) + std::to_string(entropy());
}

TEST(SharedMemory, CreatorAndOpenerShareBytesUntilTheCreatorGoes) {
    const std::string name = fresh_name("map");
    std::string error;
    auto created = ovplat::SharedMemory::create(name, 31232, error);
    ASSERT_TRUE(created) << error;
    auto* bytes = static_cast<unsigned char*>(created->data());
    EXPECT_EQ(bytes[0], 0);
    EXPECT_EQ(bytes[31231], 0);
    bytes[100] = 42;

    ovplat::SharedMemoryFailure failed_at = ovplat::SharedMemoryFailure::open;
    // A leading "/" names the same object.
    auto opened = ovplat::SharedMemory::open("/" + name, 31232, error, failed_at);
    ASSERT_TRUE(opened) << error;
    EXPECT_EQ(failed_at, ovplat::SharedMemoryFailure::none);
    EXPECT_EQ(static_cast<unsigned char*>(opened->data())[100], 42);
    static_cast<unsigned char*>(opened->data())[200] = 7;
    EXPECT_EQ(bytes[200], 7);

    created.reset();
    EXPECT_FALSE(ovplat::SharedMemory::open(name, 31232, error));
}

TEST(SharedMemory, FailuresNameTheStepAndTheSystemError) {
    std::string error;
    ovplat::SharedMemoryFailure failed_at = ovplat::SharedMemoryFailure::none;
    EXPECT_FALSE(ovplat::SharedMemory::open(fresh_name("missing"), 31232, error, failed_at));
    EXPECT_EQ(failed_at, ovplat::SharedMemoryFailure::open);
    EXPECT_EQ(error, "No such file or directory (errno 2)");

    // A mapping smaller than asked for cannot be mapped whole.
    const std::string name = fresh_name("small");
    auto small = ovplat::SharedMemory::create(name, 4096, error);
    ASSERT_TRUE(small) << error;
    EXPECT_FALSE(ovplat::SharedMemory::open(name, 31232, error, failed_at));
    EXPECT_EQ(failed_at, ovplat::SharedMemoryFailure::map);
}

TEST(NamedEvent, AutoResetHoldsOneSignal) {
    const std::string name = fresh_name("event") + "-req";
    std::string error;
    EXPECT_FALSE(ovplat::NamedEvent::open(name, error));
    EXPECT_EQ(error, "No such file or directory (errno 2)");

    auto created = ovplat::NamedEvent::create(name, error);
    ASSERT_TRUE(created) << error;
    auto opened = ovplat::NamedEvent::open(name, error);
    ASSERT_TRUE(opened) << error;

    EXPECT_FALSE(opened->wait(20));
    created->set();
    created->set();  // a second set before a wait adds nothing
    EXPECT_TRUE(opened->wait(5000));
    EXPECT_FALSE(opened->wait(20));
    opened->set();
    EXPECT_TRUE(created->wait(5000));
}

TEST(ChildProcess, PipesExitCodeAndEnvironment) {
    setenv("OV_TEST_INHERITED", "yes", 1);
    setenv("OV_TEST_REMOVED", "gone?", 1);
    ovplat::ChildEnvironment environment;
    environment.set.emplace_back("OV_TEST_SET", "set value");
    environment.unset.push_back("OV_TEST_REMOVED");
    std::string error;
    auto child = ovplat::ChildProcess::start(
        "sh",
        {"-c", "read line; echo \"got $line\"; echo \"$OV_TEST_INHERITED|$OV_TEST_SET|${OV_TEST_REMOVED-unset}\"; "
               "echo oops >&2; read rest; echo \"rest=$rest\"; exit 5"},
        environment, error);
    ASSERT_TRUE(child) << error;
    EXPECT_NE(child->pid(), 0u);

    std::string line;
    EXPECT_EQ(child->read_line(line, 100), ovplat::ChildProcess::ReadResult::timeout);
    ASSERT_TRUE(child->write_line("hello world"));
    ASSERT_EQ(child->read_line(line, 20000), ovplat::ChildProcess::ReadResult::line);
    EXPECT_EQ(line, "got hello world");
    ASSERT_EQ(child->read_line(line, 20000), ovplat::ChildProcess::ReadResult::line);
    EXPECT_EQ(line, "yes|set value|unset");

    child->close_stdin();
    ASSERT_EQ(child->read_line(line, 20000), ovplat::ChildProcess::ReadResult::line);
    EXPECT_EQ(line, "rest=");
    EXPECT_EQ(child->read_line(line, 20000), ovplat::ChildProcess::ReadResult::closed);
    EXPECT_EQ(child->wait(20000), 5);
    EXPECT_EQ(child->error_output(20000), "oops\n");
    EXPECT_FALSE(child->write("late"));
}

TEST(ChildProcess, KilledChildAndMissingProgram) {
    std::string error;
    auto child = ovplat::ChildProcess::start("sleep", {"60"}, {}, error);
    ASSERT_TRUE(child) << error;
    EXPECT_FALSE(child->wait(50));
    child->kill();
    EXPECT_EQ(child->wait(20000), 128 + 9);

    EXPECT_FALSE(ovplat::ChildProcess::start("/nonexistent/program", {}, {}, error));
    EXPECT_EQ(error, "No such file or directory (errno 2)");
}

}  // namespace
}  // namespace ovtest
