// The send queue: requests to the server are pushed from any thread and written by one send
// thread, so that no caller ever blocks on a slow network. A ring of 256 records; a record
// pushed onto a full queue is refused.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace vantry::viewer {

class SendQueue {
public:
    static constexpr size_t kCapacity = 256;

    SendQueue() = default;
    ~SendQueue();
    SendQueue(const SendQueue&) = delete;
    SendQueue& operator=(const SendQueue&) = delete;

    // Starts the send thread on a connected socket. False when it runs already or cannot start.
    bool begin(int socketFd);
    // Stops the thread: the queue is emptied (records not yet sent are dropped) and the
    // thread joined.
    void end();
    // Queues one request. False when the queue is full or not running.
    bool push(uint32_t code, const uint8_t* payload, size_t payloadBytes);
    bool running() const;
    size_t queued() const;

private:
    struct Record {
        int socketFd = -1;
        std::vector<uint8_t> bytes;
    };
    void run();
    bool writeAll(int fd, const uint8_t* data, size_t size, int& error);

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Record> records_;
    std::thread thread_;
    int socketFd_ = -1;
    bool stop_ = false;
    bool running_ = false;
};

} // namespace vantry::viewer
