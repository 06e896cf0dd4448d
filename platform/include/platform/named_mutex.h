// A named mutex shared by processes ("ZtMemMapFileMutex01"): a process-shared, robust
// pthread mutex in its own small shared-memory object. Waits are bounded; a holder that died
// (even by SIGKILL) does not block the other side: the next locker gets the mutex and is told
// that the previous holder died, so it can distrust what that holder was writing.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace vantry::platform {

inline constexpr int kDefaultLockTimeoutMs = 5000;

enum class LockResult {
    Acquired,
    AcquiredOwnerDied, // acquired; the previous holder died holding it
    TimedOut,
    Failed             // not usable (or already held by this thread)
};

inline bool isLocked(LockResult result)
{
    return result == LockResult::Acquired || result == LockResult::AcquiredOwnerDied;
}

class NamedMutex {
public:
    // The creator's side: creates the mutex, or takes over one left by a creator that
    // crashed (re-creating it when it was left half made). The name is removed when the
    // creator is destroyed.
    static std::unique_ptr<NamedMutex> create(std::string_view name, std::string* error = nullptr);
    // The other side: opens an existing mutex; fails when it is missing or not ours.
    static std::unique_ptr<NamedMutex> open(std::string_view name, std::string* error = nullptr);
    ~NamedMutex();
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;

    // Waits at most timeoutMs (measured on the monotonic clock; 0 = try once).
    LockResult lock(int timeoutMs = kDefaultLockTimeoutMs);
    void unlock();

    struct Shared;

private:
    NamedMutex() = default;
    std::string systemName_;
    int fd_ = -1;
    Shared* shared_ = nullptr;
    bool creator_ = false;
};

// Holds a NamedMutex for a scope when it could be locked.
class NamedMutexLock {
public:
    explicit NamedMutexLock(NamedMutex& mutex, int timeoutMs = kDefaultLockTimeoutMs)
        : mutex_(mutex), result_(mutex.lock(timeoutMs))
    {
    }
    ~NamedMutexLock()
    {
        if (ownsLock())
            mutex_.unlock();
    }
    NamedMutexLock(const NamedMutexLock&) = delete;
    NamedMutexLock& operator=(const NamedMutexLock&) = delete;

    bool ownsLock() const { return isLocked(result_); }
    LockResult result() const { return result_; }

private:
    NamedMutex& mutex_;
    LockResult result_;
};

} // namespace vantry::platform
