#include "viewer/send_queue.h"

#include "server/stream_protocol.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>

namespace vantry::viewer {

SendQueue::~SendQueue() { end(); }

bool SendQueue::begin(int socketFd)
{
    std::lock_guard lock(mutex_);
    if (running_ || socketFd < 0)
        return false;
    socketFd_ = socketFd;
    stop_ = false;
    records_.clear();
    try {
        thread_ = std::thread([this] { run(); });
    } catch (...) {
        return false;
    }
    running_ = true;
    return true;
}

void SendQueue::end()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        records_.clear();
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
    std::lock_guard lock(mutex_);
    running_ = false;
    socketFd_ = -1;
}

bool SendQueue::push(uint32_t code, const uint8_t* payload, size_t payloadBytes)
{
    {
        std::lock_guard lock(mutex_);
        if (!running_ || stop_ || records_.size() >= kCapacity)
            return false;
        records_.push_back(Record { socketFd_, server::encodeRequest(code, std::span<const uint8_t>(payload, payloadBytes)) });
    }
    wake_.notify_one();
    return true;
}

bool SendQueue::running() const
{
    std::lock_guard lock(mutex_);
    return running_;
}

size_t SendQueue::queued() const
{
    std::lock_guard lock(mutex_);
    return records_.size();
}

bool SendQueue::writeAll(int fd, const uint8_t* data, size_t size, int& error)
{
    size_t done = 0;
    while (done < size) {
        {
            std::lock_guard lock(mutex_);
            if (stop_)
                return false;
        }
        const ssize_t sent = ::send(fd, data + done, size - done, MSG_NOSIGNAL);
        if (sent > 0) {
            done += static_cast<size_t>(sent);
            continue;
        }
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            pollfd p { fd, POLLOUT, 0 };
            ::poll(&p, 1, 100);
            continue;
        }
        error = sent < 0 ? errno : ECONNRESET;
        return false;
    }
    return true;
}

void SendQueue::run()
{
    std::unique_lock lock(mutex_);
    while (!stop_) {
        wake_.wait(lock, [this] { return stop_ || !records_.empty(); });
        while (!stop_ && !records_.empty()) {
            Record record = std::move(records_.front());
            records_.pop_front();
            lock.unlock();
            int error = 0;
            const bool ok = writeAll(record.socketFd, record.bytes.data(), record.bytes.size(), error);
            lock.lock();
            // A connection that broke takes every record queued for it; other errors only
            // the record being written.
            if (!ok && (error == ECONNABORTED || error == ECONNRESET || error == EPIPE || error == ETIMEDOUT)) {
                std::erase_if(records_, [&](const Record& r) { return r.socketFd == record.socketFd; });
            }
        }
    }
}

} // namespace vantry::viewer
