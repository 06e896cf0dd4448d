#include "server/outbox.h"

#include <cerrno>
#include <sys/socket.h>

namespace vantry::server {

Outbox::Outbox(int socket, size_t limitBytes) : socket_(socket), limitBytes_(limitBytes) {}

bool Outbox::put(std::vector<uint8_t> message)
{
    std::lock_guard lock(mutex_);
    if (pending_ + message.size() > limitBytes_)
        return false;
    if (pending_ == 0)
        lastProgress_ = std::chrono::steady_clock::now();
    pending_ += message.size();
    queue_.push_back(std::move(message));
    return true;
}

Outbox::Flush Outbox::flush()
{
    std::lock_guard lock(mutex_);
    while (!queue_.empty()) {
        const std::vector<uint8_t>& front = queue_.front();
        const ssize_t n = ::send(socket_, front.data() + frontOffset_, front.size() - frontOffset_, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS)
                return Flush::Pending;
            return Flush::Failed;
        }
        lastProgress_ = std::chrono::steady_clock::now();
        frontOffset_ += static_cast<size_t>(n);
        pending_ -= static_cast<size_t>(n);
        sent_ += static_cast<uint64_t>(n);
        if (frontOffset_ == front.size()) {
            queue_.pop_front();
            frontOffset_ = 0;
        }
    }
    return Flush::Done;
}

size_t Outbox::pendingBytes() const
{
    std::lock_guard lock(mutex_);
    return pending_;
}

std::chrono::milliseconds Outbox::stalledFor() const
{
    std::lock_guard lock(mutex_);
    if (pending_ == 0)
        return std::chrono::milliseconds(0);
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - lastProgress_);
}

uint64_t Outbox::bytesSent() const
{
    std::lock_guard lock(mutex_);
    return sent_;
}

} // namespace vantry::server
