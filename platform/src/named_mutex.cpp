#include "platform/named_mutex.h"

#include "platform/shared_memory.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <thread>
#include <time.h>
#include <unistd.h>

namespace vantry::platform {

// The shared object's contents. `state` turns Ready only after the mutex is initialised, so
// an opener never uses a mutex that its creator was still making (or died making).
struct NamedMutex::Shared {
    std::atomic<std::uint32_t> magic;
    std::atomic<std::uint32_t> state;
    pthread_mutex_t mutex;
};

namespace {

constexpr std::uint32_t kMagic = 0x5854554D; // "MUTX"
constexpr std::uint32_t kReady = 2;
// How long an opener waits for a creator that is still initialising the mutex.
constexpr auto kInitialisationWait = std::chrono::milliseconds(1000);

static_assert(std::atomic<std::uint32_t>::is_always_lock_free, "the state word is shared between processes");

std::string systemError(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

bool initialiseMutex(pthread_mutex_t* mutex)
{
    pthread_mutexattr_t attributes;
    if (pthread_mutexattr_init(&attributes) != 0)
        return false;
    const bool configured = pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED) == 0
        && pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST) == 0
        && pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_ERRORCHECK) == 0;
    const bool initialised = configured && pthread_mutex_init(mutex, &attributes) == 0;
    pthread_mutexattr_destroy(&attributes);
    return initialised;
}

// Maps an existing object and waits until it holds a ready mutex. Null when it is not ours,
// too small, or never became ready.
NamedMutex::Shared* attach(int fd, std::string& reason)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        reason = systemError("fstat");
        return nullptr;
    }
    if (info.st_uid != ::getuid()) {
        reason = "mutex object belongs to another user";
        return nullptr;
    }
    const auto deadline = std::chrono::steady_clock::now() + kInitialisationWait;
    // A creator sizes the object right after making it; allow it that moment.
    while (static_cast<std::size_t>(info.st_size) < sizeof(NamedMutex::Shared)) {
        if (std::chrono::steady_clock::now() >= deadline || ::fstat(fd, &info) != 0) {
            reason = "mutex object has the wrong size";
            return nullptr;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    void* address = ::mmap(nullptr, sizeof(NamedMutex::Shared), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (address == MAP_FAILED) {
        reason = systemError("mmap");
        return nullptr;
    }
    auto* shared = static_cast<NamedMutex::Shared*>(address);
    while (shared->state.load(std::memory_order_acquire) != kReady || shared->magic.load() != kMagic) {
        if (std::chrono::steady_clock::now() >= deadline) {
            ::munmap(address, sizeof(NamedMutex::Shared));
            reason = "mutex object was never initialised";
            return nullptr;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return shared;
}

} // namespace

std::unique_ptr<NamedMutex> NamedMutex::create(std::string_view name, std::string* error)
{
    auto fail = [error](const std::string& reason) -> std::unique_ptr<NamedMutex> {
        if (error != nullptr)
            *error = reason;
        return nullptr;
    };
    const std::string systemName = sharedObjectName(name);
    if (systemName.empty())
        return fail("invalid mutex name");
    std::string reason;
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::unique_ptr<NamedMutex> result(new NamedMutex());
        result->systemName_ = systemName;
        result->fd_ = ::shm_open(systemName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (result->fd_ >= 0) {
            result->creator_ = true;
            if (::ftruncate(result->fd_, sizeof(Shared)) != 0)
                return fail(systemError("ftruncate"));
            void* address = ::mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED, result->fd_, 0);
            if (address == MAP_FAILED)
                return fail(systemError("mmap"));
            result->shared_ = static_cast<Shared*>(address); // zero-filled by ftruncate
            if (!initialiseMutex(&result->shared_->mutex))
                return fail("cannot initialise the mutex");
            result->shared_->magic.store(kMagic);
            result->shared_->state.store(kReady, std::memory_order_release);
            return result;
        }
        if (errno != EEXIST)
            return fail(systemError("shm_open"));
        // Left by a creator that ended without removing it (a crash): take it over when it
        // is sound, else remove it and make a new one.
        result->fd_ = ::shm_open(systemName.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW, 0);
        if (result->fd_ < 0)
            continue; // removed in the meantime
        result->shared_ = attach(result->fd_, reason);
        if (result->shared_ != nullptr) {
            result->creator_ = true;
            return result;
        }
        if (reason == "mutex object belongs to another user")
            return fail(reason);
        ::shm_unlink(systemName.c_str());
    }
    return fail(reason.empty() ? std::string("cannot create the mutex") : reason);
}

std::unique_ptr<NamedMutex> NamedMutex::open(std::string_view name, std::string* error)
{
    auto fail = [error](const std::string& reason) -> std::unique_ptr<NamedMutex> {
        if (error != nullptr)
            *error = reason;
        return nullptr;
    };
    const std::string systemName = sharedObjectName(name);
    if (systemName.empty())
        return fail("invalid mutex name");
    std::unique_ptr<NamedMutex> result(new NamedMutex());
    result->systemName_ = systemName;
    result->fd_ = ::shm_open(systemName.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW, 0);
    if (result->fd_ < 0)
        return fail(systemError("shm_open"));
    std::string reason;
    result->shared_ = attach(result->fd_, reason);
    if (result->shared_ == nullptr)
        return fail(reason);
    return result;
}

NamedMutex::~NamedMutex()
{
    if (shared_ != nullptr)
        ::munmap(shared_, sizeof(Shared));
    if (creator_ && fd_ >= 0) {
        // Remove the name only while it still names our object.
        const int current = ::shm_open(systemName_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW, 0);
        if (current >= 0) {
            struct stat named {};
            struct stat mine {};
            if (::fstat(current, &named) == 0 && ::fstat(fd_, &mine) == 0 && named.st_dev == mine.st_dev
                && named.st_ino == mine.st_ino)
                ::shm_unlink(systemName_.c_str());
            ::close(current);
        }
    }
    if (fd_ >= 0)
        ::close(fd_);
}

LockResult NamedMutex::lock(int timeoutMs)
{
    if (shared_ == nullptr)
        return LockResult::Failed;
    timespec deadline{};
    ::clock_gettime(CLOCK_MONOTONIC, &deadline);
    const long long totalNs = static_cast<long long>(timeoutMs > 0 ? timeoutMs : 0) * 1000000LL + deadline.tv_nsec;
    deadline.tv_sec += static_cast<time_t>(totalNs / 1000000000LL);
    deadline.tv_nsec = static_cast<long>(totalNs % 1000000000LL);
    int result = 0;
    do {
        result = pthread_mutex_clocklock(&shared_->mutex, CLOCK_MONOTONIC, &deadline);
    } while (result == EINTR);
    switch (result) {
    case 0:
        return LockResult::Acquired;
    case EOWNERDEAD:
        // The holder died inside its critical section; the mutex is ours and usable again.
        pthread_mutex_consistent(&shared_->mutex);
        return LockResult::AcquiredOwnerDied;
    case ETIMEDOUT:
        return LockResult::TimedOut;
    default:
        return LockResult::Failed;
    }
}

void NamedMutex::unlock()
{
    if (shared_ != nullptr)
        pthread_mutex_unlock(&shared_->mutex);
}

} // namespace vantry::platform
