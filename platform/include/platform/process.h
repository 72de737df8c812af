#pragma once
#include <cstdint>

namespace ovplat {

std::uint32_t current_process_id();

// Ends the process at once with `code`: no destructors, no atexit handlers, no flushing
// beyond what was already written.
[[noreturn]] void exit_immediately(int code);

// Ends the process abnormally at once, as a crashing plug-in would.
[[noreturn]] void crash_immediately();

}  // namespace ovplat
