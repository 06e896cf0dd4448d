// Small helpers over non-blocking Unix-domain stream sockets, used by the message endpoints.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace vantry::platform::detail {

using Clock = std::chrono::steady_clock;

// Owns one file descriptor; closes it on destruction.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    ~UniqueFd();
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release();
    void reset(int fd = -1);

private:
    int fd_ = -1;
};

// Milliseconds left until `deadline`, at least 0.
int remainingMs(Clock::time_point deadline);

// Connects a non-blocking stream socket to the socket file `path`. Returns an invalid fd
// when nobody listens there (errno tells why: ENOENT, ECONNREFUSED, EAGAIN for a full
// backlog, ENAMETOOLONG).
UniqueFd connectUnix(const std::string& path);

// Writes all bytes before `deadline`. A partial write leaves the stream unusable.
bool writeAll(int fd, const std::uint8_t* bytes, std::size_t size, Clock::time_point deadline);

// Whether `path` fits a Unix socket address.
bool fitsSocketAddress(const std::string& path);

} // namespace vantry::platform::detail
