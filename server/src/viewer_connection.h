// One viewer's slot in the stream server: its socket, request state, options, event notice,
// outbox, encoding state and pump. Shared by the server's files; not part of its interface.
#pragma once

#include "server/frame_encoder.h"
#include "server/outbox.h"
#include "server/stream_server.h"

#include <QSocketNotifier>

#include <atomic>
#include <condition_variable>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace vantry::server {

inline uint32_t nowSeconds() { return static_cast<uint32_t>(std::time(nullptr)); }

struct StreamServer::Connection {
    Connection(int socket, size_t outboxLimit) : fd(socket), outbox(socket, outboxLimit) {}

    const int fd;
    uint64_t id = 0;
    std::string address;
    uint16_t port = 0;
    RequestParser parser;
    int camera = -1;
    StreamOptions options;
    bool optionsSet = false;
    bool passwordMatched = false;
    int wrongPasswords = 0;
    std::atomic<bool> eventOnly { false };
    EventNotice notice; // under the camera lock
    Outbox outbox;
    std::unique_ptr<QSocketNotifier> readNotifier;
    std::unique_ptr<QSocketNotifier> writeNotifier;

    FrameEncoder encoder;
    std::atomic<bool> streaming { false };
    std::atomic<bool> keyRequest { false };
    std::thread pump;
    std::mutex wakeMutex;
    std::condition_variable wake;

    std::time_t connectedAt = 0;
    std::atomic<std::time_t> statsStart { 0 };
    std::atomic<std::time_t> lastFrame { 0 };
    std::atomic<uint64_t> frames { 0 };
    std::atomic<uint64_t> bytes { 0 };

    // Sleeps up to `duration`; false when streaming was cleared meanwhile.
    bool sleepFor(std::chrono::milliseconds duration)
    {
        std::unique_lock lock(wakeMutex);
        return !wake.wait_for(lock, duration, [this] { return !streaming.load(); });
    }
};

struct StreamServer::ListenNotifier {
    std::unique_ptr<QSocketNotifier> notifier;
};

} // namespace vantry::server
