#include "platform/process.h"

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

namespace ovplat {

std::uint32_t current_process_id() { return static_cast<std::uint32_t>(getpid()); }

void exit_immediately(int code) { _exit(code); }

void crash_immediately() {
    // Die of SIGABRT like a crashing plug-in, without leaving a core file behind.
    rlimit no_core{0, 0};
    setrlimit(RLIMIT_CORE, &no_core);
    signal(SIGABRT, SIG_DFL);
    raise(SIGABRT);
    _exit(134);
}

}  // namespace ovplat
