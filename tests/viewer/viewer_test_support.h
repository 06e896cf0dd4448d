// Test peers for the viewer: a scripted stream server on loopback that the test drives message
// by message, pictures made by our own encoder, and a collector of the link's notices.
#pragma once

#include "codec/vx_encoder.h"
#include "server/stream_protocol.h"
#include "viewer/remote_link.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace vantry::viewer::test {

using namespace std::chrono_literals;

template <class Predicate>
bool waitFor(Predicate predicate, std::chrono::milliseconds limit = 5000ms)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!predicate()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

// One listening socket on 127.0.0.1; connections are accepted and served one at a time by
// the test's own calls.
class ScriptedServer {
public:
    explicit ScriptedServer(uint16_t port = 0)
    {
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int one = 1;
        ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        ::bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listen_, 8);
        socklen_t length = sizeof address;
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~ScriptedServer()
    {
        closeClient();
        if (listen_ >= 0)
            ::close(listen_);
    }
    uint16_t port() const { return port_; }
    void stopListening()
    {
        ::close(listen_);
        listen_ = -1;
    }

    // Accepts the next viewer; false when none came in time.
    bool accept(std::chrono::milliseconds limit = 5000ms)
    {
        closeClient();
        pollfd p { listen_, POLLIN, 0 };
        if (::poll(&p, 1, static_cast<int>(limit.count())) <= 0)
            return false;
        client_ = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
        parser_.reset();
        pending_.clear();
        return client_ >= 0;
    }
    void closeClient()
    {
        if (client_ >= 0)
            ::close(client_);
        client_ = -1;
    }

    void sendRaw(const std::vector<uint8_t>& bytes)
    {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t sent = ::send(client_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (sent <= 0)
                return;
            done += static_cast<size_t>(sent);
        }
    }
    void send(uint32_t code, std::span<const uint8_t> payload = {}, uint32_t time = 1700000000)
    {
        sendRaw(server::encodeMessage(code, time, payload));
    }
    void sendU32(uint32_t code, uint32_t value) { send(code, server::encodeU32(value)); }
    void sendText(uint32_t code, std::string_view text) { send(code, server::encodeText(text)); }

    // The next request the viewer sent; nullopt when none came in time or the viewer closed.
    std::optional<server::Request> next(std::chrono::milliseconds limit = 5000ms)
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (pending_.empty()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return std::nullopt;
            pollfd p { client_, POLLIN, 0 };
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
                return std::nullopt;
            uint8_t buffer[4096];
            const ssize_t got = ::recv(client_, buffer, sizeof buffer, 0);
            if (got <= 0)
                return std::nullopt;
            std::vector<server::Request> requests;
            parser_.feed(std::span<const uint8_t>(buffer, static_cast<size_t>(got)), requests);
            pending_.insert(pending_.end(), requests.begin(), requests.end());
        }
        server::Request request = pending_.front();
        pending_.erase(pending_.begin());
        return request;
    }
    // The next request must carry code (and, when given, the u32 value).
    void expect(uint32_t code, std::optional<uint32_t> value = std::nullopt)
    {
        const auto request = next();
        ASSERT_TRUE(request.has_value()) << "no request, expected " << server::requestName(code);
        ASSERT_EQ(request->code, code) << server::requestName(request->code) << " instead of " << server::requestName(code);
        if (value) {
            ASSERT_EQ(request->payload.size(), 4u);
            EXPECT_EQ(server::getU32(request->payload.data()), *value);
        }
    }
    // True when the viewer closed the connection (read returns 0) within the time.
    bool viewerClosed(std::chrono::milliseconds limit = 5000ms)
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd p { client_, POLLIN, 0 };
            if (::poll(&p, 1, 50) <= 0)
                continue;
            uint8_t buffer[4096];
            const ssize_t got = ::recv(client_, buffer, sizeof buffer, 0);
            if (got <= 0)
                return true;
        }
        return false;
    }

    // The whole exchange up to the stream: no password, server word with camera status.
    void handshake(int camera, int width, int height, uint32_t serverWord = server::kServerWordCameraStatus,
                   uint32_t cameraStatus = 0)
    {
        expect(server::CMD_EVENT_ONLY_QUIET);
        sendU32(server::MSG_HELLO, serverWord);
        expect(server::CMD_SELECT_CAMERA, static_cast<uint32_t>(camera));
        send(server::MSG_CAMERA_OK);
        expect(server::CMD_ASK_PASSWORD);
        sendU32(server::MSG_PASSWORD_NEEDED, 0);
        expect(server::CMD_SET_OPTIONS);
        send(server::MSG_OPTIONS_OK);
        if (serverWord & server::kServerWordCameraStatus) {
            expect(server::CMD_GET_CAMERA_STATUS);
            sendU32(server::MSG_CAMERA_STATUS, cameraStatus);
        }
        expect(server::CMD_EVENT_ONLY);
        send(server::MSG_EVENT_ONLY_OK);
        expect(server::CMD_GET_INFO);
        send(server::MSG_VIDEO_FORMAT, server::encodeVideoFormat(server::makeVx01Format(width, height)));
        sendText(server::MSG_SITE_NAME, "Harbour");
        sendText(server::MSG_CAMERA_NAME, "Gate");
        expect(server::CMD_START_STREAM);
    }

private:
    int listen_ = -1;
    int client_ = -1;
    uint16_t port_ = 0;
    server::RequestParser parser_;
    std::vector<server::Request> pending_;
};

struct EncodedPicture {
    std::vector<uint8_t> bytes;
    bool key = false;
};

// Pictures of a moving gradient, encoded by our encoder (a key frame every keyInterval).
inline std::vector<EncodedPicture> encodePictures(int width, int height, int count, int keyInterval = 10)
{
    codec::VxEncoderParams params;
    params.width = width;
    params.height = height;
    params.quantiser = 6;
    params.keyFrameInterval = keyInterval;
    params.searchMode = codec::kVxSearchZero;
    EXPECT_EQ(codec::vx_encoder_open(&params), 0);
    std::vector<uint8_t> planes(static_cast<size_t>(width) * height * 3 / 2);
    std::vector<EncodedPicture> pictures;
    std::vector<uint8_t> output(static_cast<size_t>(width) * height * 2);
    for (int n = 0; n < count; ++n) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                planes[static_cast<size_t>(y) * width + x] = static_cast<uint8_t>(16 + x * 180 / width + y * 30 / height + n);
        std::memset(planes.data() + static_cast<size_t>(width) * height, 128, static_cast<size_t>(width) * height / 2);
        codec::VxFramePlanes in;
        in.y = planes.data();
        in.u = in.y + static_cast<size_t>(width) * height;
        in.v = in.u + static_cast<size_t>(width) * height / 4;
        in.stride = width;
        const int bytes = codec::vx_encode(&params, &in, output.data(), output.size());
        EXPECT_GT(bytes, 0);
        pictures.push_back({ std::vector<uint8_t>(output.begin(), output.begin() + bytes), params.keyFlag != 0 });
    }
    codec::vx_encoder_close(&params);
    return pictures;
}

// The link's notices, collected from its threads.
class Notices {
public:
    RemoteLink::Observer observer()
    {
        return [this](const LinkEvent& event) {
            std::lock_guard lock(mutex_);
            events_.push_back(event);
        };
    }
    bool has(LinkNotice notice, std::optional<int> a = std::nullopt, std::optional<int> b = std::nullopt) const
    {
        std::lock_guard lock(mutex_);
        for (const LinkEvent& event : events_) {
            if (event.notice == notice && (!a || event.a == *a) && (!b || event.b == *b))
                return true;
        }
        return false;
    }
    bool waitFor(LinkNotice notice, std::optional<int> a = std::nullopt, std::optional<int> b = std::nullopt,
                 std::chrono::milliseconds limit = 5000ms) const
    {
        return test::waitFor([&] { return has(notice, a, b); }, limit);
    }
    void clear()
    {
        std::lock_guard lock(mutex_);
        events_.clear();
    }

private:
    mutable std::mutex mutex_;
    std::vector<LinkEvent> events_;
};

} // namespace vantry::viewer::test
