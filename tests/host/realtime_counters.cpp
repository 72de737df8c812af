// Counting replacements of the global allocation functions and pthread_mutex_lock.
#include "realtime_counters.h"

#include <dlfcn.h>
#include <pthread.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

thread_local bool t_counting = false;
thread_local std::uint64_t t_allocations = 0;
thread_local std::uint64_t t_mutex_locks = 0;

void* counted_allocation(std::size_t size, std::size_t alignment, bool nothrow) {
    if (t_counting) ++t_allocations;
    if (size == 0) size = 1;
    void* memory = nullptr;
    if (alignment <= alignof(std::max_align_t)) {
        memory = std::malloc(size);
    } else {
        memory = std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment);
    }
    if (memory == nullptr && !nothrow) throw std::bad_alloc();
    return memory;
}

}  // namespace

namespace ovhost::testing {

void arm_counters() {
    t_allocations = 0;
    t_mutex_locks = 0;
    t_counting = true;
}

Counts current_counts() { return {t_allocations, t_mutex_locks}; }

Counts disarm_counters() {
    t_counting = false;
    return {t_allocations, t_mutex_locks};
}

}  // namespace ovhost::testing

void* operator new(std::size_t size) { return counted_allocation(size, 0, false); }
void* operator new[](std::size_t size) { return counted_allocation(size, 0, false); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return counted_allocation(size, 0, true); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return counted_allocation(size, 0, true); }
void* operator new(std::size_t size, std::align_val_t alignment) {
    return counted_allocation(size, static_cast<std::size_t>(alignment), false);
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    return counted_allocation(size, static_cast<std::size_t>(alignment), false);
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return counted_allocation(size, static_cast<std::size_t>(alignment), true);
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return counted_allocation(size, static_cast<std::size_t>(alignment), true);
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete(void* memory, std::align_val_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::align_val_t) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t, std::align_val_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t, std::align_val_t) noexcept { std::free(memory); }
void operator delete(void* memory, std::align_val_t, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, std::align_val_t, const std::nothrow_t&) noexcept { std::free(memory); }

// std::mutex and friends lock through pthread_mutex_lock: this definition takes precedence
// over the C library's and forwards to it.
extern "C" int pthread_mutex_lock(pthread_mutex_t* mutex) noexcept {
    using LockFunction = int (*)(pthread_mutex_t*);
    static std::atomic<LockFunction> real_lock{nullptr};
    LockFunction lock = real_lock.load(std::memory_order_acquire);
    if (lock == nullptr) {
        lock = reinterpret_cast<LockFunction>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
        real_lock.store(lock, std::memory_order_release);
    }
    if (t_counting) ++t_mutex_locks;
    return lock(mutex);
}
