// Fixtures of the stream server tests: private folders, a station played by the test (its
// shared-memory records and its answers to the server), a camera that writes pictures into a
// record, and a viewer written here (not the viewer program) that speaks the protocol.
#pragma once

#include "test_support/private_folders.h"

#include "common/frame_channel.h"
#include "server/stream_protocol.h"
#include "server/stream_server.h"

#include <QCoreApplication>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace vantry::server::test {

using namespace std::chrono_literals;

inline QCoreApplication& application()
{
    static int argc = 1;
    static char name[] = "server_test";
    static char* argv[] = { name, nullptr };
    static QCoreApplication app(argc, argv);
    return app;
}

inline bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = 5s)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

inline void pumpEvents(std::chrono::milliseconds duration)
{
    waitFor([] { return false; }, duration);
}

using vantry::test::PrivateFolders;

inline uint16_t freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

// A synthetic picture of a layout: a gradient that moves with `phase`.
inline std::vector<uint8_t> makePicture(size_t bytes, int phase)
{
    std::vector<uint8_t> picture(bytes);
    for (size_t i = 0; i < bytes; ++i)
        picture[i] = static_cast<uint8_t>((i / 3 + static_cast<size_t>(phase) * 7) & 0xFF);
    return picture;
}

inline common::FrameBitmapHeader i420Header(int width, int height)
{
    common::FrameBitmapHeader header;
    header.width = width;
    header.height = height;
    header.bitCount = 12;
    header.compression = 0x56555949; // IYUV
    header.sizeImage = static_cast<uint32_t>(width * height * 3 / 2);
    return header;
}

inline common::SubtypeGuid iyuvSubtype() { return common::fourccSubtype(0x56555949); }

// The station's part, played by the test: findable, answers 0x801F with 0x8029, writes the
// records, and keeps what the server posted.
class FakeStation final : public StationPort {
public:
    static constexpr platform::WindowHandle kWindow = 4242;
    struct Posted {
        uint32_t msg;
        uint32_t wParam;
        int32_t lParam;
    };

    FakeStation()
    {
        for (int camera = 0; camera < 4; ++camera)
            writers_.push_back(std::make_unique<common::FrameChannelWriter>(camera));
    }

    bool present = true;
    platform::WindowHandle window = kWindow;
    bool answerWantsCamera = true;
    StreamServer* server = nullptr;
    std::vector<Posted> posted;
    std::vector<std::string> reports;

    platform::WindowHandle findStation() override { return present ? window : platform::kNoWindow; }
    bool post(platform::WindowHandle, uint32_t msg, uint32_t wParam, int32_t lParam) override
    {
        posted.push_back({ msg, wParam, lParam });
        if (msg == station_msg::kWantsCamera && answerWantsCamera && server) {
            const int32_t camera = static_cast<int32_t>(wParam & 0xFFFF0000u);
            QMetaObject::invokeMethod(&application(), [this, camera] {
                if (server)
                    server->stationMessage(station_msg::kChannelActive, 1, camera);
            }, Qt::QueuedConnection);
        }
        return true;
    }
    bool reportConnection(platform::WindowHandle, std::string_view viewer) override
    {
        reports.emplace_back(viewer);
        return true;
    }
    int count(uint32_t msg) const
    {
        int n = 0;
        for (const Posted& p : posted)
            n += p.msg == msg ? 1 : 0;
        return n;
    }

    common::FrameChannelWriter& writer(int camera) { return *writers_[static_cast<size_t>(camera)]; }

    // Mailbox writes followed by their message, as the station does them.
    void sendFormat(int camera, const common::FrameBitmapHeader& header, const common::SubtypeGuid& subtype)
    {
        writer(camera).create(header.sizeImage);
        writer(camera).write(common::buildFormatBlock(header, subtype), {});
        server->stationMessage(station_msg::kFormat, 0, camera << 16);
    }
    void sendText(uint32_t msg, int camera, const std::string& text)
    {
        writer(camera).write(common::buildNameBlock(text), {});
        server->stationMessage(msg, 0, camera << 16);
    }
    void sendPassword(uint32_t check, const std::string& password)
    {
        writer(0).write(common::buildPasswordBlock(password), {});
        server->stationMessage(station_msg::kPassword, check, 0);
    }
    // The settings the station gives a server that registered; cameras in `offered` have
    // an I420 format of the given size.
    void configure(uint16_t port, std::vector<int> offered, int width = 320, int height = 240, uint32_t limit = 16)
    {
        server->stationMessage(station_msg::kPort, port, 0);
        server->stationMessage(station_msg::kConnectionLimit, limit, 0);
        for (int camera = 0; camera < 4; ++camera) {
            const bool on = std::find(offered.begin(), offered.end(), camera) != offered.end();
            server->stationMessage(station_msg::kCameraOffered, on ? 1 : 0, camera << 16);
            sendText(station_msg::kCameraName, camera, "Camera " + std::to_string(camera + 1));
        }
        sendPassword(0, "");
        sendText(station_msg::kSiteName, 0, "Test Site");
        for (int camera : offered)
            sendFormat(camera, i420Header(width, height), iyuvSubtype());
        server->stationMessage(station_msg::kEnable, 1, 0);
        server->stationMessage(station_msg::kStartListening, 0, 0);
        server->stationMessage(station_msg::kServerWord, 0x10001, 0);
    }

private:
    std::vector<std::unique_ptr<common::FrameChannelWriter>> writers_;
};

// Writes pictures into a camera's record from its own thread, as the station's timer does,
// with the station's stamps (second, count within the second).
class TestCamera {
public:
    TestCamera(common::FrameChannelWriter& writer, size_t frameBytes, std::chrono::milliseconds interval = 40ms)
        : writer_(writer), frameBytes_(frameBytes), interval_(interval)
    {
        thread_ = std::thread([this] { run(); });
    }
    ~TestCamera() { stop(); }
    void stop()
    {
        running_ = false;
        if (thread_.joinable())
            thread_.join();
    }
    uint64_t written() const { return written_; }
    // Capture time of a picture by its stamps (the latency benchmark's clock).
    struct Written {
        common::FrameStamps stamps;
        std::chrono::steady_clock::time_point at;
    };

private:
    void run()
    {
        uint32_t lastSecond = 0;
        uint32_t count = 0;
        int phase = 0;
        while (running_) {
            const auto picture = makePicture(frameBytes_, phase++);
            const uint32_t second = static_cast<uint32_t>(std::time(nullptr));
            count = second == lastSecond ? count + 1 : 0;
            lastSecond = second;
            if (writer_.write(picture, { second, count }) == picture.size())
                ++written_;
            std::this_thread::sleep_for(interval_);
        }
    }

    common::FrameChannelWriter& writer_;
    const size_t frameBytes_;
    const std::chrono::milliseconds interval_;
    std::atomic<bool> running_ { true };
    std::atomic<uint64_t> written_ { 0 };
    std::thread thread_;
};

// A viewer speaking the protocol over loopback.
class TestClient {
public:
    explicit TestClient(uint16_t port, int receiveBufferBytes = 0)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        if (receiveBufferBytes > 0)
            ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBufferBytes, sizeof receiveBufferBytes);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~TestClient()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool connected() const { return connected_; }
    int fd() const { return fd_; }

    void sendBytes(const std::vector<uint8_t>& bytes)
    {
        size_t at = 0;
        while (at < bytes.size()) {
            const ssize_t n = ::send(fd_, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
            if (n <= 0)
                return;
            at += static_cast<size_t>(n);
        }
    }
    void request(uint32_t code, std::span<const uint8_t> payload = {}) { sendBytes(encodeRequest(code, payload)); }
    void requestU32(uint32_t code, uint32_t value) { sendBytes(encodeRequestU32(code, value)); }

    // The next message, pumping the server's events meanwhile; nullopt on timeout or close.
    std::optional<Message> next(std::chrono::milliseconds limit = 3s)
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (queue_.empty()) {
            if (closed_ || std::chrono::steady_clock::now() >= deadline)
                return std::nullopt;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
            receive(2);
        }
        Message message = std::move(queue_.front());
        queue_.erase(queue_.begin());
        return message;
    }
    // The next message with that code, skipping others (frames, idle ticks); nullopt if none.
    std::optional<Message> nextOf(uint32_t code, std::chrono::milliseconds limit = 3s)
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return std::nullopt;
            auto message = next(left);
            if (!message || message->code == code)
                return message;
        }
    }
    // Messages that arrive within `duration`.
    std::vector<Message> collect(std::chrono::milliseconds duration)
    {
        std::vector<Message> out;
        const auto deadline = std::chrono::steady_clock::now() + duration;
        while (std::chrono::steady_clock::now() < deadline) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
            receive(2);
            for (auto& m : queue_)
                out.push_back(std::move(m));
            queue_.clear();
        }
        return out;
    }
    // What arrived within one look of at most `timeoutMs` (no event pumping).
    std::vector<Message> take(int timeoutMs)
    {
        receive(timeoutMs);
        std::vector<Message> out = std::move(queue_);
        queue_.clear();
        return out;
    }
    bool isClosed() const { return closed_; }
    // Whether the server closed the connection within `limit`.
    bool closedWithin(std::chrono::milliseconds limit)
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!closed_ && std::chrono::steady_clock::now() < deadline) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
            receive(2);
        }
        return closed_;
    }
    // The steps of the normal exchange up to the stream's start; false at the first
    // unexpected answer.
    bool handshake(int camera, StreamOptions options, bool eventOnly = false)
    {
        requestU32(CMD_EVENT_ONLY_QUIET, eventOnly ? 1 : 0);
        auto hello = next();
        if (!hello || hello->code != MSG_HELLO)
            return false;
        requestU32(CMD_SELECT_CAMERA, static_cast<uint32_t>(camera));
        auto ok = next();
        if (!ok || ok->code != MSG_CAMERA_OK)
            return false;
        request(CMD_ASK_PASSWORD);
        auto needed = next();
        if (!needed || needed->code != MSG_PASSWORD_NEEDED)
            return false;
        request(CMD_SET_OPTIONS, encodeStreamOptions(options));
        auto accepted = next();
        if (!accepted || accepted->code != MSG_OPTIONS_OK)
            return false;
        requestU32(CMD_EVENT_ONLY, eventOnly ? 1 : 0);
        auto eventOk = next();
        if (!eventOk || eventOk->code != MSG_EVENT_ONLY_OK)
            return false;
        request(CMD_GET_INFO);
        auto format = next();
        if (!format || format->code != MSG_VIDEO_FORMAT)
            return false;
        videoFormat = parseVideoFormat(format->payload);
        if (!nextOf(MSG_CAMERA_NAME))
            return false;
        request(CMD_START_STREAM);
        return true;
    }

    std::optional<VideoFormat> videoFormat;

private:
    void receive(int timeoutMs)
    {
        pollfd p { fd_, POLLIN, 0 };
        if (::poll(&p, 1, timeoutMs) <= 0)
            return;
        uint8_t buffer[65536];
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n <= 0) {
            if (n == 0 || (errno != EAGAIN && errno != EINTR))
                closed_ = true;
            return;
        }
        if (parser_.feed(std::span<const uint8_t>(buffer, static_cast<size_t>(n)), queue_) != MessageParseError::None)
            closed_ = true;
    }

    int fd_ = -1;
    bool connected_ = false;
    bool closed_ = false;
    MessageParser parser_;
    std::vector<Message> queue_;
};

// A server on the test's own station, bound and listening on a free port.
struct ServerFixture {
    explicit ServerFixture(std::vector<int> offered = { 0 }, int width = 320, int height = 240, uint32_t limit = 16,
                           ServerLimits limits = {})
        : server(station, 99, nullptr, limits)
    {
        application();
        station.server = &server;
        server.start();
        port = freePort();
        station.configure(port, std::move(offered), width, height, limit);
    }
    ~ServerFixture()
    {
        server.close();
        station.server = nullptr;
        // Queued answers of the station must not reach a server that is gone.
        QCoreApplication::processEvents();
    }

    PrivateFolders folders;
    FakeStation station;
    StreamServer server;
    uint16_t port = 0;
};

} // namespace vantry::server::test
