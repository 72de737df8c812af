// POSIX shared memory (shm_open + mmap) and a named semaphore standing in for the event.
#include "platform/shared_memory.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <semaphore.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ovplat {
namespace {

std::string errno_text(int code) {
    char digits[16];
    auto end = std::to_chars(digits, digits + sizeof digits, code).ptr;
    return std::string(std::strerror(code)) + " (errno " + std::string(digits, end) + ")";
}

std::string object_name(const std::string& name) {
    return !name.empty() && name.front() == '/' ? name : "/" + name;
}

class PosixSharedMemory final : public SharedMemory {
public:
    PosixSharedMemory(void* view, std::size_t size, std::string unlink_name)
        : view_(view), size_(size), unlink_name_(std::move(unlink_name)) {}
    ~PosixSharedMemory() override {
        munmap(view_, size_);
        if (!unlink_name_.empty()) shm_unlink(unlink_name_.c_str());
    }
    void* data() override { return view_; }
    std::size_t size() const override { return size_; }

private:
    void* view_;
    std::size_t size_;
    std::string unlink_name_;  // set for the creator only
};

class PosixNamedEvent final : public NamedEvent {
public:
    PosixNamedEvent(sem_t* sem, std::string unlink_name) : sem_(sem), unlink_name_(std::move(unlink_name)) {}
    ~PosixNamedEvent() override {
        sem_close(sem_);
        if (!unlink_name_.empty()) sem_unlink(unlink_name_.c_str());
    }
    void set() override {
        // An auto-reset event holds at most one signal; a semaphore would count every post.
        int value = 0;
        if (sem_getvalue(sem_, &value) == 0 && value > 0) return;
        sem_post(sem_);
    }
    bool wait(std::uint32_t timeout_ms) override {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 30))
        const clockid_t clock = CLOCK_MONOTONIC;
#else
        const clockid_t clock = CLOCK_REALTIME;
#endif
        timespec deadline{};
        clock_gettime(clock, &deadline);
        deadline.tv_sec += static_cast<time_t>(timeout_ms / 1000);
        deadline.tv_nsec += static_cast<long>(timeout_ms % 1000) * 1000000L;
        if (deadline.tv_nsec >= 1000000000L) {
            deadline.tv_sec += 1;
            deadline.tv_nsec -= 1000000000L;
        }
        for (;;) {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 30))
            int rc = sem_clockwait(sem_, clock, &deadline);
#else
            int rc = sem_timedwait(sem_, &deadline);
#endif
            if (rc == 0) return true;
            if (errno != EINTR) return false;
        }
    }

private:
    sem_t* sem_;
    std::string unlink_name_;
};

}  // namespace

std::unique_ptr<SharedMemory> SharedMemory::open(const std::string& name, std::size_t size, std::string& error) {
    SharedMemoryFailure ignored;
    return open(name, size, error, ignored);
}

std::unique_ptr<SharedMemory> SharedMemory::open(const std::string& name, std::size_t size, std::string& error,
                                                 SharedMemoryFailure& failed_at) {
    failed_at = SharedMemoryFailure::open;
    int fd = shm_open(object_name(name).c_str(), O_RDWR, 0);
    if (fd < 0) {
        error = errno_text(errno);
        return nullptr;
    }
    failed_at = SharedMemoryFailure::map;
    // A mapping smaller than asked for would fault on first touch past its end.
    struct stat info {};
    if (fstat(fd, &info) != 0 || static_cast<std::size_t>(info.st_size) < size) {
        error = errno_text(EINVAL);
        close(fd);
        return nullptr;
    }
    void* view = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    int map_errno = errno;
    close(fd);
    if (view == MAP_FAILED) {
        error = errno_text(map_errno);
        return nullptr;
    }
    failed_at = SharedMemoryFailure::none;
    return std::make_unique<PosixSharedMemory>(view, size, std::string());
}

std::unique_ptr<SharedMemory> SharedMemory::create(const std::string& name, std::size_t size, std::string& error) {
    const std::string path = object_name(name);
    int fd = shm_open(path.c_str(), O_RDWR | O_CREAT, 0600);
    if (fd < 0) {
        error = errno_text(errno);
        return nullptr;
    }
    // Truncating to 0 first clears whatever an earlier creator left behind.
    if (ftruncate(fd, 0) != 0 || ftruncate(fd, static_cast<off_t>(size)) != 0) {
        error = errno_text(errno);
        close(fd);
        shm_unlink(path.c_str());
        return nullptr;
    }
    void* view = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    int map_errno = errno;
    close(fd);
    if (view == MAP_FAILED) {
        error = errno_text(map_errno);
        shm_unlink(path.c_str());
        return nullptr;
    }
    return std::make_unique<PosixSharedMemory>(view, size, path);
}

std::unique_ptr<NamedEvent> NamedEvent::open(const std::string& name, std::string& error) {
    sem_t* sem = sem_open(object_name(name).c_str(), 0);
    if (sem == SEM_FAILED) {
        error = errno_text(errno);
        return nullptr;
    }
    return std::make_unique<PosixNamedEvent>(sem, std::string());
}

std::unique_ptr<NamedEvent> NamedEvent::create(const std::string& name, std::string& error) {
    const std::string path = object_name(name);
    // A semaphore left by a creator that died may still hold signals: start afresh.
    sem_unlink(path.c_str());
    sem_t* sem = sem_open(path.c_str(), O_CREAT | O_EXCL, 0600, 0u);
    if (sem == SEM_FAILED) {
        error = errno_text(errno);
        return nullptr;
    }
    return std::make_unique<PosixNamedEvent>(sem, path);
}

}  // namespace ovplat
