// One running copy per user and session: an flock on "<name>.lock" in the runtime folder,
// held for the life of the InstanceLock (and so of the process that keeps it). The kernel
// drops the lock when the process ends in any way, so a crash never blocks the next start.
#pragma once

#include <memory>
#include <string_view>

namespace vantry::platform {

enum class InstanceLockFailure {
    HeldElsewhere, // another live process holds it
    Unavailable    // bad name, no runtime folder or the lock file cannot be opened
};

class InstanceLock {
public:
    // Null when the lock cannot be taken; *failure tells why when given. Names are 1..64 of
    // A-Z a-z 0-9 _ -. The lock file is not inherited by started programs.
    static std::unique_ptr<InstanceLock> acquire(std::string_view name, InstanceLockFailure* failure = nullptr);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

private:
    explicit InstanceLock(int fd) : fd_(fd) {}
    int fd_ = -1;
};

} // namespace vantry::platform
