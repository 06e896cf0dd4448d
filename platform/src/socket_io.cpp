#include "socket_io.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace vantry::platform::detail {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept
{
    if (this != &other)
        reset(other.release());
    return *this;
}

UniqueFd::~UniqueFd()
{
    reset();
}

int UniqueFd::release()
{
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

void UniqueFd::reset(int fd)
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
}

int remainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0)
        return 0;
    return left > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(left);
}

bool fitsSocketAddress(const std::string& path)
{
    return !path.empty() && path.size() < sizeof(sockaddr_un::sun_path);
}

UniqueFd connectUnix(const std::string& path)
{
    if (!fitsSocketAddress(path)) {
        errno = ENAMETOOLONG;
        return UniqueFd();
    }
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.valid())
        return UniqueFd();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        // A Unix stream connect completes at once or fails; EAGAIN means the backlog is full.
        const int error = errno;
        fd.reset();
        errno = error;
    }
    return fd;
}

bool writeAll(int fd, const std::uint8_t* bytes, std::size_t size, Clock::time_point deadline)
{
    std::size_t written = 0;
    while (written < size) {
        const ssize_t count = ::send(fd, bytes + written, size - written, MSG_NOSIGNAL);
        if (count > 0) {
            written += static_cast<std::size_t>(count);
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd entry{fd, POLLOUT, 0};
            const int left = remainingMs(deadline);
            if (left == 0)
                return false;
            const int ready = ::poll(&entry, 1, left);
            if (ready < 0 && errno != EINTR)
                return false;
            if (ready == 0)
                return false;
            continue;
        }
        return false;
    }
    return true;
}

} // namespace vantry::platform::detail
