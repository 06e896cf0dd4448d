#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

namespace vantry::server {

// One connection's outgoing bytes: whole messages in order, written to a non-blocking socket
// as far as it takes them. The main thread (replies) and the connection's pump (frames,
// notices) both put and flush; each message goes out whole and messages never mix. The
// queue is bounded: a viewer that stops reading gets its connection dropped, never the
// server's memory.
class Outbox {
public:
    Outbox(int socket, size_t limitBytes);

    // Queues a message; false (nothing queued) when the queue would exceed its limit.
    bool put(std::vector<uint8_t> message);
    enum class Flush { Done, Pending, Failed };
    // Writes what the socket takes now. Failed: the connection is broken.
    Flush flush();
    size_t pendingBytes() const;
    // How long the queue has been waiting without the socket taking a byte (0 when empty).
    std::chrono::milliseconds stalledFor() const;
    // Total bytes the socket took (statistics, tests).
    uint64_t bytesSent() const;

private:
    const int socket_;
    const size_t limitBytes_;
    mutable std::mutex mutex_;
    std::deque<std::vector<uint8_t>> queue_;
    size_t frontOffset_ = 0;
    size_t pending_ = 0;
    uint64_t sent_ = 0;
    std::chrono::steady_clock::time_point lastProgress_ {};
};

} // namespace vantry::server
