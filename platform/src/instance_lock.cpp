#include "platform/instance_lock.h"

#include "platform/folders.h"
#include "window_directory.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <unistd.h>

namespace vantry::platform {

std::unique_ptr<InstanceLock> InstanceLock::acquire(std::string_view name, InstanceLockFailure* failure)
{
    auto fail = [failure](InstanceLockFailure why) -> std::unique_ptr<InstanceLock> {
        if (failure != nullptr)
            *failure = why;
        return nullptr;
    };
    if (!detail::isValidClassName(name))
        return fail(InstanceLockFailure::Unavailable);
    const std::string folder = runtimeFolder();
    if (folder.empty())
        return fail(InstanceLockFailure::Unavailable);
    const std::string path = folder + "/" + std::string(name) + ".lock";
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return fail(InstanceLockFailure::Unavailable);
    int result = 0;
    do {
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        const bool held = errno == EWOULDBLOCK;
        ::close(fd);
        return fail(held ? InstanceLockFailure::HeldElsewhere : InstanceLockFailure::Unavailable);
    }
    // The holder's process id, for whoever looks into the folder.
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) == 0) {
        [[maybe_unused]] const ssize_t ignored = ::pwrite(fd, pid.data(), pid.size(), 0);
    }
    return std::unique_ptr<InstanceLock>(new InstanceLock(fd));
}

InstanceLock::~InstanceLock()
{
    // The file stays: removing it would let a third process lock a fresh file while a second
    // one still waits on the old.
    if (fd_ >= 0)
        ::close(fd_);
}

} // namespace vantry::platform
