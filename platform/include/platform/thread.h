#pragma once
#include <cstdint>
#include <functional>
#include <string>

namespace ovplat {

// Starts a detached thread with the default stack size and the given name. False when the
// system could not create it.
bool start_detached_thread(const std::string& name, std::function<void()> body);

// Asks for real-time scheduling of the calling thread ("Pro Audio" class on Windows).
// Failure is ignored: the thread simply runs with normal priority.
void request_pro_audio_priority();

}  // namespace ovplat
