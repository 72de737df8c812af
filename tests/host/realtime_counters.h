#pragma once
// Per-thread counters of heap allocations and mutex locks, for proving that the audio thread
// does neither. The host test binary replaces the global allocation functions and
// pthread_mutex_lock with versions that count, but only on a thread that armed its counters;
// every other thread is unaffected.
#include <cstdint>

namespace ovhost::testing {

struct Counts {
    std::uint64_t allocations;
    std::uint64_t mutex_locks;
};

// Counts on the calling thread from now on.
void arm_counters();
// What the calling thread counted so far, without stopping.
Counts current_counts();
// Stops counting on the calling thread and gives what was counted since arm_counters().
Counts disarm_counters();

}  // namespace ovhost::testing
