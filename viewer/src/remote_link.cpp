#include "viewer/remote_link.h"

#include "codec/colour_converter.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vantry::viewer {

namespace {

constexpr int kMaxStreamWidth = codec::kMaxPictureWidth;
constexpr int kMaxStreamHeight = codec::kMaxPictureHeight;

bool resolveIPv4(const std::string& host, in_addr& out)
{
    if (::inet_pton(AF_INET, host.c_str(), &out) == 1)
        return true;
    addrinfo hints {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &result) != 0 || !result)
        return false;
    out = reinterpret_cast<sockaddr_in*>(result->ai_addr)->sin_addr;
    ::freeaddrinfo(result);
    return true;
}

} // namespace

RemoteLink::RemoteLink()
{
    recorder_.setKeyFrameRequest([this] { sendRequest(server::CMD_KEY_FRAME); });
    recorder_.setNotify([this](RecorderNotice notice) {
        switch (notice) {
        case RecorderNotice::RecordingOn: post(LinkNotice::StatusIcon, kIconRecord, 1); break;
        case RecorderNotice::RecordingOff: post(LinkNotice::StatusIcon, kIconRecord, 0); break;
        case RecorderNotice::NotEnoughSpace: post(LinkNotice::RecordingRefused); break;
        case RecorderNotice::HeaderFailed:
            if (log_)
                log_->write("CZtVFile::SetVideoFormat(Fail:_aviFileSetVideoFormat)");
            break;
        }
    });
}

RemoteLink::~RemoteLink()
{
    disconnect();
    recorder_.setNotify({});
    recorder_.setKeyFrameRequest({});
    // Messages handled without a connection (tests, the fuzz target) may have opened one.
    std::lock_guard lock(stateMutex_);
    if (decoderOpen_)
        codec::vx_decoder_close(&decoder_);
    decoderOpen_ = false;
}

void RemoteLink::setObserver(Observer observer) { observer_ = std::move(observer); }
void RemoteLink::setLog(ConnectionLog* log) { log_ = log; }

void RemoteLink::post(LinkNotice notice, int a, int b)
{
    if (observer_)
        observer_(LinkEvent { notice, a, b, serial_ });
}

int RemoteLink::connect(const std::string& host, uint16_t port, int camera, int timeoutSeconds)
{
    std::lock_guard connectLock(connectMutex_);
    {
        std::lock_guard lock(stateMutex_);
        if (socket_ >= 0 || camera < 0 || camera > 3)
            return 0;
        camera_ = camera;
        host_ = host;
        port_ = port;
        timeoutSeconds_ = std::max(1, timeoutSeconds);
    }
    post(LinkNotice::StatusIcon, kIconData, 0);

    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        if (log_)
            log_->connectFailure(SocketCall::Socket, errno);
        return 0;
    }
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (!resolveIPv4(host, address.sin_addr)) {
        ::close(fd);
        return 0;
    }
    stopping_ = false;
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    int error = 0;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (errno != EINPROGRESS) {
            error = errno;
        } else {
            pollfd p { fd, POLLOUT, 0 };
            int ready = 0;
            do {
                ready = ::poll(&p, 1, timeoutSeconds_ * 1000);
            } while (ready < 0 && errno == EINTR);
            if (ready <= 0) {
                error = EWOULDBLOCK; // the wait ended without a connection
            } else {
                socklen_t length = sizeof error;
                ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
            }
        }
    }
    if (error != 0) {
        if (log_)
            log_->connectFailure(SocketCall::Connect, error);
        ::close(fd);
        return 0;
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one);

    if (!sendQueue_.begin(fd)) {
        if (log_)
            log_->write("Connect(Fail):Connect(Fail:m_pQSend->SendBegin())");
        ::close(fd);
        return 0;
    }
    {
        std::lock_guard lock(stateMutex_);
        socket_ = fd;
        ++serial_;
        eventOn_ = false;
        serverWord_ = 0;
        cameraStatus_ = 0;
        siteName_.clear();
        cameraName_.clear();
    }
    sendU32(server::CMD_EVENT_ONLY_QUIET, eventOnly() ? 1 : 0);
    receiveThread_ = std::thread([this, fd] { receiveLoop(fd); });
    return 1;
}

void RemoteLink::disconnect()
{
    std::lock_guard connectLock(connectMutex_);
    int fd = -1;
    {
        std::lock_guard lock(stateMutex_);
        cameraStatus_ = 0;
        fd = socket_;
    }
    post(LinkNotice::StatusIcon, kIconVideo, 0);
    if (fd < 0)
        return;
    recorder_.close();
    sendQueue_.end();
    stopping_ = true;
    if (receiveThread_.joinable())
        receiveThread_.join();
    ::shutdown(fd, SHUT_WR);
    // What the server still sends is read and dropped, briefly: a peer that never closes
    // must not hold the window.
    char scratch[256];
    for (int i = 0; i < 10; ++i) {
        pollfd p { fd, POLLIN, 0 };
        if (::poll(&p, 1, 20) <= 0)
            break;
        if (::recv(fd, scratch, sizeof scratch, 0) <= 0)
            break;
    }
    ::close(fd);
    {
        std::lock_guard lock(stateMutex_);
        socket_ = -1;
        if (decoderOpen_)
            codec::vx_decoder_close(&decoder_);
        decoderOpen_ = false;
        formatRefused_ = false;
        streamFormat_.clear();
        releasePictureLocked();
        eventOn_ = false;
        videoIconOn_ = false;
    }
    post(LinkNotice::StatusIcon, kIconEvent, 0);
    post(LinkNotice::StatusIcon, kIconRecord, 0);
    post(LinkNotice::StatusIcon, kIconData, 0);
}

bool RemoteLink::connected() const
{
    std::lock_guard lock(stateMutex_);
    return socket_ >= 0;
}

bool RemoteLink::sendRequest(uint32_t code, const std::vector<uint8_t>& payload)
{
    return sendQueue_.push(code, payload.data(), payload.size());
}

bool RemoteLink::sendU32(uint32_t code, uint32_t value)
{
    const auto bytes = server::encodeU32(value);
    return sendQueue_.push(code, bytes.data(), bytes.size());
}

bool RemoteLink::sendPtz(uint32_t command) { return sendU32(server::CMD_PTZ, command); }

void RemoteLink::setStreamOptions(const server::StreamOptions& options)
{
    std::lock_guard lock(stateMutex_);
    options_ = options;
    eventOnly_ = options.eventOnly != 0;
}

server::StreamOptions RemoteLink::streamOptions() const
{
    std::lock_guard lock(stateMutex_);
    return options_;
}

void RemoteLink::setEventOnly(bool eventOnly)
{
    bool isConnected = false;
    bool eventIsOn = false;
    {
        std::lock_guard lock(stateMutex_);
        eventOnly_ = eventOnly;
        options_.eventOnly = eventOnly ? 1 : 0;
        isConnected = socket_ >= 0;
        eventIsOn = eventOn_;
    }
    if (!isConnected)
        return;
    if (!eventIsOn)
        recorder_.close();
    sendU32(server::CMD_EVENT_ONLY_QUIET, eventOnly ? 1 : 0);
}

bool RemoteLink::eventOnly() const
{
    std::lock_guard lock(stateMutex_);
    return eventOnly_;
}

void RemoteLink::setReusePassword(bool reuse)
{
    std::lock_guard lock(stateMutex_);
    reusePassword_ = reuse;
}

bool RemoteLink::reusePassword() const
{
    std::lock_guard lock(stateMutex_);
    return reusePassword_;
}

void RemoteLink::setPassword(const std::string& password)
{
    std::lock_guard lock(stateMutex_);
    password_ = password.substr(0, server::kMaxPasswordBytes);
}

void RemoteLink::answerPassword(const std::optional<std::string>& password)
{
    if (!password) {
        post(LinkNotice::EndRequested);
        return;
    }
    setPassword(*password);
    std::string stored;
    {
        std::lock_guard lock(stateMutex_);
        stored = password_;
    }
    sendRequest(server::CMD_PASSWORD, std::vector<uint8_t>(stored.begin(), stored.end()));
}

void RemoteLink::answerRetry(bool retry)
{
    if (retry)
        sendRequest(server::CMD_ASK_PASSWORD);
    else
        post(LinkNotice::EndRequested);
}

void RemoteLink::receiveLoop(int fd)
{
    server::MessageParser parser;
    std::vector<server::Message> messages;
    std::vector<uint8_t> chunk(64 * 1024);
    bool end = false;
    bool closedByServer = false;
    while (!stopping_ && !end) {
        pollfd p { fd, POLLIN, 0 };
        const int ready = ::poll(&p, 1, kReceivePollMs);
        if (ready < 0 && errno != EINTR)
            break;
        if (ready <= 0)
            continue;
        const ssize_t got = ::recv(fd, chunk.data(), chunk.size(), 0);
        if (got == 0) {
            closedByServer = true;
            break;
        }
        if (got < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                continue;
            closedByServer = true; // reset or aborted: the server is gone
            break;
        }
        messages.clear();
        const server::MessageParseError error =
            parser.feed(std::span<const uint8_t>(chunk.data(), static_cast<size_t>(got)), messages);
        for (const server::Message& message : messages) {
            if (stopping_)
                break;
            if (!handleMessage(message)) {
                end = true;
                break;
            }
        }
        // A stream that lost its framing cannot be trusted for another byte.
        if (error != server::MessageParseError::None)
            end = true;
    }
    if (recorder_.recordType() == RecordType::RoundTheClock && !eventOnly())
        recorder_.close();
    if (stopping_)
        return;
    post(LinkNotice::StatusIcon, kIconVideo, 0);
    post(LinkNotice::StatusIcon, kIconRecord, 0);
    post(LinkNotice::StatusIcon, kIconEvent, 0);
    if (end)
        post(LinkNotice::EndRequested);
    else if (closedByServer)
        post(LinkNotice::ServerClosed);
}

RecordingSource RemoteLink::recordingSource() const
{
    std::lock_guard lock(stateMutex_);
    RecordingSource source;
    source.streamFormat = streamFormat_;
    source.siteName = siteName_;
    source.cameraName = cameraName_;
    source.cameraIndex = static_cast<uint32_t>(camera_);
    return source;
}

bool RemoteLink::handleMessage(const server::Message& message)
{
    using namespace server;
    const std::span<const uint8_t> payload(message.payload);
    switch (message.code) {
    case MSG_HELLO: {
        if (payload.size() != 4) {
            post(LinkNotice::ShowMessage, static_cast<int>(ViewerText::InvalidVersion));
            return false;
        }
        int camera = 0;
        {
            std::lock_guard lock(stateMutex_);
            serverWord_ = getU32(payload.data());
            camera = camera_;
        }
        sendU32(CMD_SELECT_CAMERA, static_cast<uint32_t>(camera));
        return true;
    }
    case MSG_CAMERA_OK:
        sendRequest(CMD_ASK_PASSWORD);
        return true;
    case MSG_CAMERA_UNAVAILABLE:
        post(LinkNotice::ShowMessage, static_cast<int>(ViewerText::CameraUnavailable));
        return false;
    case MSG_PASSWORD_NEEDED: {
        const uint32_t needed = parseU32(payload).value_or(0);
        if (needed == 0) {
            const auto options = encodeStreamOptions(streamOptions());
            sendRequest(CMD_SET_OPTIONS, std::vector<uint8_t>(options.begin(), options.end()));
            return true;
        }
        std::string stored;
        bool reuse = false;
        {
            std::lock_guard lock(stateMutex_);
            reuse = reusePassword_;
            stored = password_;
        }
        if (reuse)
            sendRequest(CMD_PASSWORD, std::vector<uint8_t>(stored.begin(), stored.end()));
        else
            post(LinkNotice::PasswordNeeded);
        return true;
    }
    case MSG_PASSWORD_RESULT: {
        if (parseU32(payload).value_or(0) != 0) {
            const auto options = encodeStreamOptions(streamOptions());
            sendRequest(CMD_SET_OPTIONS, std::vector<uint8_t>(options.begin(), options.end()));
            return true;
        }
        // A stored password that failed is not sent again by itself: the retry asks the user.
        setReusePassword(false);
        post(LinkNotice::PasswordIncorrect);
        return true;
    }
    case MSG_OPTIONS_OK: {
        if (serverWord() & kServerWordCameraStatus)
            sendRequest(CMD_GET_CAMERA_STATUS);
        else
            sendU32(CMD_EVENT_ONLY, eventOnly() ? 1 : 0);
        return true;
    }
    case MSG_CAMERA_STATUS: {
        const uint32_t status = parseU32(payload).value_or(0);
        {
            std::lock_guard lock(stateMutex_);
            cameraStatus_ = status;
            videoIconOn_ = true;
        }
        post(LinkNotice::StatusIcon, kIconVideo, status != 0 ? kVideoPtz : kVideoOn);
        sendU32(CMD_EVENT_ONLY, eventOnly() ? 1 : 0);
        return true;
    }
    case MSG_EVENT_ONLY_OK:
        sendRequest(CMD_GET_INFO);
        return true;
    case MSG_VIDEO_FORMAT:
        if (prepareDecoding(message)) {
            sendRequest(CMD_START_STREAM);
            post(LinkNotice::StreamStarted);
        }
        return true;
    case MSG_SITE_NAME: {
        std::lock_guard lock(stateMutex_);
        siteName_ = parseText(payload);
        return true;
    }
    case MSG_CAMERA_NAME: {
        {
            std::lock_guard lock(stateMutex_);
            cameraName_ = parseText(payload);
        }
        post(LinkNotice::TitleChanged);
        return true;
    }
    case MSG_KEY_FRAME:
    case MSG_DELTA_FRAME:
        if (stopping_)
            return true;
        post(LinkNotice::DataArrived);
        return handleFrame(message, message.code == MSG_KEY_FRAME);
    case MSG_IDLE:
        post(LinkNotice::DataArrived);
        return true;
    case MSG_EVENT_ON:
    case MSG_EVENT_OFF: {
        const bool on = message.code == MSG_EVENT_ON;
        const RecordType type = recorder_.recordType();
        if (type == RecordType::Event || (type == RecordType::RoundTheClock && eventOnly())) {
            if (on)
                recorder_.start(true, recordingSource());
            else
                recorder_.close();
        }
        post(LinkNotice::StatusIcon, kIconEvent, on ? 1 : 0);
        std::lock_guard lock(stateMutex_);
        eventOn_ = on;
        return true;
    }
    default:
        return true;
    }
}

bool RemoteLink::prepareDecoding(const server::Message& message)
{
    std::lock_guard lock(stateMutex_);
    if (decoderOpen_ || formatRefused_) {
        // One connection carries one format: a second one is refused and the pictures stop.
        if (decoderOpen_)
            codec::vx_decoder_close(&decoder_);
        decoderOpen_ = false;
        formatRefused_ = true;
        releasePictureLocked();
        return false;
    }
    const std::optional<server::VideoFormat> format = server::parseVideoFormat(message.payload);
    if (!format || format->width <= 0 || format->height <= 0 || format->width > kMaxStreamWidth ||
        format->height > kMaxStreamHeight || (format->width % 2) != 0 || (format->height % 2) != 0) {
        formatRefused_ = true;
        return false;
    }
    streamFormat_.assign(message.payload.begin(), message.payload.begin() + server::kVideoFormatBytes);
    width_ = format->width;
    height_ = format->height;
    pictureBuffer_.assign(static_cast<size_t>(width_) * height_ * 3 / 2, 0);
    decoder_ = codec::VxDecoderHandle {};
    decoder_.width = width_;
    decoder_.height = height_;
    decoderOpen_ = codec::vx_decoder_open(&decoder_) == 0;
    if (!decoderOpen_) {
        releasePictureLocked();
        formatRefused_ = true;
        return false;
    }
    post(LinkNotice::RestoreVideoSize);
    return true;
}

void RemoteLink::releasePictureLocked()
{
    pictureBuffer_.clear();
    pictureBuffer_.shrink_to_fit();
    havePicture_ = false;
    width_ = height_ = 0;
}

bool RemoteLink::handleFrame(const server::Message& message, bool key)
{
    if (message.payload.empty())
        return true;
    {
        std::lock_guard lock(stateMutex_);
        if (!decoderOpen_ || streamFormat_.empty())
            return true;
        // The stream format keeps the size of the latest frame, as record headers expect.
        server::putU32(streamFormat_.data() + 20, static_cast<uint32_t>(message.payload.size()));
    }
    recorder_.onFrame(message.time, message.payload.data(), message.payload.size(), key, eventOnly(),
                      recordingSource());

    bool turnVideoOn = false;
    {
        std::lock_guard lock(stateMutex_);
        codec::VxFramePlanes* planes = nullptr;
        if (codec::vx_decode(&decoder_, &planes, message.payload.data(), static_cast<int32_t>(message.payload.size())) < 0 ||
            !planes)
            return true;
        // A picture whose size differs from the announced format is not ours to show.
        if (decoder_.width != width_ || decoder_.height != height_ || pictureBuffer_.empty())
            return true;
        codec::ColourConverter::copyToI420(*planes, width_, height_, pictureBuffer_.data(), pictureBuffer_.size());
        lastFrameTime_ = message.time;
        havePicture_ = true;
        ++framesDecoded_;
        if (!videoIconOn_) {
            videoIconOn_ = true;
            turnVideoOn = true;
        }
    }
    post(LinkNotice::PictureReady);
    if (turnVideoOn)
        post(LinkNotice::StatusIcon, kIconVideo, kVideoOn);
    return true;
}

int RemoteLink::camera() const { std::lock_guard lock(stateMutex_); return camera_; }
std::string RemoteLink::host() const { std::lock_guard lock(stateMutex_); return host_; }
uint16_t RemoteLink::port() const { std::lock_guard lock(stateMutex_); return port_; }
int RemoteLink::timeoutSeconds() const { std::lock_guard lock(stateMutex_); return timeoutSeconds_; }
uint32_t RemoteLink::serverWord() const { std::lock_guard lock(stateMutex_); return serverWord_; }
uint32_t RemoteLink::cameraStatus() const { std::lock_guard lock(stateMutex_); return cameraStatus_; }
std::string RemoteLink::siteName() const { std::lock_guard lock(stateMutex_); return siteName_; }
std::string RemoteLink::cameraName() const { std::lock_guard lock(stateMutex_); return cameraName_; }
bool RemoteLink::eventOn() const { std::lock_guard lock(stateMutex_); return eventOn_; }
bool RemoteLink::havePicture() const { std::lock_guard lock(stateMutex_); return havePicture_; }
uint32_t RemoteLink::lastFrameTime() const { std::lock_guard lock(stateMutex_); return lastFrameTime_; }
int RemoteLink::pictureWidth() const { std::lock_guard lock(stateMutex_); return width_; }
int RemoteLink::pictureHeight() const { std::lock_guard lock(stateMutex_); return height_; }
uint64_t RemoteLink::framesDecoded() const { std::lock_guard lock(stateMutex_); return framesDecoded_; }

std::string RemoteLink::title() const
{
    std::lock_guard lock(stateMutex_);
    if (cameraName_.empty() && siteName_.empty())
        return {};
    return siteName_.empty() ? cameraName_ : siteName_ + " - " + cameraName_;
}

bool RemoteLink::pictureI420(std::vector<uint8_t>& out, int& width, int& height) const
{
    std::lock_guard lock(stateMutex_);
    if (!havePicture_ || pictureBuffer_.empty())
        return false;
    out = pictureBuffer_;
    width = width_;
    height = height_;
    return true;
}

bool RemoteLink::picture(Picture& out) const
{
    static const codec::ColourConverter converter;
    std::lock_guard lock(stateMutex_);
    if (!havePicture_ || pictureBuffer_.empty())
        return false;
    const size_t lumaBytes = static_cast<size_t>(width_) * height_;
    codec::VxFramePlanes planes;
    planes.y = const_cast<uint8_t*>(pictureBuffer_.data());
    planes.u = planes.y + lumaBytes;
    planes.v = planes.u + lumaBytes / 4;
    planes.stride = width_;
    out.width = width_;
    out.height = height_;
    out.time = lastFrameTime_;
    out.bgr.resize(lumaBytes * 3);
    converter.i420ToRgb24(planes, width_, height_, out.bgr.data(), static_cast<ptrdiff_t>(width_) * 3,
                          codec::RowOrder::TopDown, codec::displayMatrix());
    return true;
}

} // namespace vantry::viewer
