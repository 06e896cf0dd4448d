#include "server/stream_server.h"

#include "common/text_log.h"

#include "viewer_connection.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <arpa/inet.h>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace vantry::server {

namespace {

constexpr int kBindRetryMs = 1000;
constexpr size_t kReadChunk = 16384;
// Bytes taken from one viewer per read notice; the rest waits for the next notice, so a
// viewer that floods cannot keep the main thread to itself.
constexpr size_t kReadBudget = 65536;
// Wrong passwords one connection may give before it is closed.
constexpr int kMaxWrongPasswords = 5;
// A viewer that has not got as far as its stream options by then holds a slot for nothing.
constexpr std::time_t kLoginLimitSeconds = 120;

int cameraOfLParam(int32_t lParam) { return static_cast<int>(static_cast<uint32_t>(lParam) >> 16); }

const char* errnoName(int error)
{
    switch (error) {
    case EACCES:
        return "EACCES";
    case EADDRINUSE:
        return "EADDRINUSE";
    case EADDRNOTAVAIL:
        return "EADDRNOTAVAIL";
    case EMFILE:
        return "EMFILE";
    case ENFILE:
        return "ENFILE";
    default:
        return "";
    }
}

std::string describeErrno(const char* call, int error)
{
    std::string text = std::string(call) + " failed: " + std::strerror(error);
    if (*errnoName(error))
        text += std::string(" (") + errnoName(error) + ")";
    return text;
}

void setNonBlocking(int fd)
{
    const int flags = ::fcntl(fd, F_GETFL, 0);
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

} // namespace

// ---------------------------------------------------------------------------------------
// Life

StreamServer::StreamServer(StationPort& station, platform::WindowHandle self, common::TextLog* log, ServerLimits limits)
    : station_(station), self_(self), log_(log), limits_(limits), context_(std::make_unique<QObject>())
{
}

StreamServer::~StreamServer() { close(); }

void StreamServer::log(const std::string& text)
{
    if (log_)
        log_->Write(text);
}

void StreamServer::notifyListChanged()
{
    if (listChanged_)
        listChanged_();
}

void StreamServer::start()
{
    closed_ = false;
    bind();
    // Looks for the station while there is none, and notices when it goes or is replaced by
    // a new one (a station that crashed and was started again): then the viewers are let
    // go and the server registers with the station that is there now.
    watchTimer_ = std::make_unique<QTimer>();
    watchTimer_->setInterval(kBindRetryMs);
    QObject::connect(watchTimer_.get(), &QTimer::timeout, context_.get(), [this] { watchStation(); });
    watchTimer_->start();
}

void StreamServer::dropIdleStrangers()
{
    const std::time_t now = std::time(nullptr);
    std::vector<uint64_t> ids;
    for (const auto& slot : slots_)
        if (slot && !slot->optionsSet && now - slot->connectedAt > kLoginLimitSeconds)
            ids.push_back(slot->id);
    for (uint64_t id : ids)
        removeConnection(id, "it did not get as far as streaming within two minutes");
}

void StreamServer::watchStation()
{
    dropIdleStrangers();
    const platform::WindowHandle current = station_.findStation();
    if (bound_ && current == stationWindow_)
        return;
    if (bound_) {
        log(current == platform::kNoWindow ? "The station has gone; waiting for it." : "A new station runs; registering again.");
        stopListening();
        dropAll();
        for (auto& reader : readers_)
            reader.reset();
        bound_ = false;
        enabled_ = false;
        stationWindow_ = platform::kNoWindow;
    }
    bind();
}

void StreamServer::bind()
{
    if (bound_)
        return;
    const platform::WindowHandle station = station_.findStation();
    if (station == platform::kNoWindow)
        return;
    stationWindow_ = station;
    for (int camera = 0; camera < 4; ++camera) {
        readers_[camera] = std::make_unique<CameraReader>(camera);
        readers_[camera]->readMailbox(); // opens the record when the station has made it
    }
    bound_ = true;
    log("Bound to the station; registering.");
    postToStation(station_msg::kRegisters, 0, static_cast<int32_t>(self_));
}

void StreamServer::close()
{
    if (closed_)
        return;
    closed_ = true;
    watchTimer_.reset();
    stopListening();
    dropAll();
    for (auto& reader : readers_)
        reader.reset();
    bound_ = false;
}

void StreamServer::postToStation(uint32_t msg, uint32_t wParam, int32_t lParam)
{
    if (stationWindow_ != platform::kNoWindow)
        station_.post(stationWindow_, msg, wParam, lParam);
}

CameraReader* StreamServer::reader(int cameraIndex)
{
    return cameraIndex >= 0 && cameraIndex < 4 ? readers_[cameraIndex].get() : nullptr;
}

StreamServer::Connection* StreamServer::find(uint64_t id)
{
    for (auto& slot : slots_)
        if (slot && slot->id == id)
            return slot.get();
    return nullptr;
}

int StreamServer::connectionCount() const
{
    int count = 0;
    for (const auto& slot : slots_)
        count += slot ? 1 : 0;
    return count;
}

std::vector<ConnectionRow> StreamServer::connectionRows() const
{
    std::vector<ConnectionRow> rows;
    for (const auto& slot : slots_) {
        if (!slot)
            continue;
        ConnectionRow row;
        row.id = slot->id;
        row.address = slot->address;
        row.port = slot->port;
        row.connectedAt = slot->connectedAt;
        row.statsStart = slot->statsStart;
        row.lastFrame = slot->lastFrame;
        row.frames = slot->frames;
        row.bytes = slot->bytes;
        row.camera = slot->camera;
        rows.push_back(row);
    }
    return rows;
}

// ---------------------------------------------------------------------------------------
// Station messages

int32_t StreamServer::stationMessage(uint32_t msg, uint32_t wParam, int32_t lParam)
{
    const int camera = cameraOfLParam(lParam);
    if (!bound_ || camera > 3)
        return 0;
    CameraReader& reader = *readers_[camera];
    switch (msg) {
    case station_msg::kChannelActive:
        reader.setActive(true);
        return 1;
    case station_msg::kChannelInactive:
        reader.setActive(false);
        return 1;
    case station_msg::kPort:
        port_ = wParam;
        return 1;
    case station_msg::kEnable:
        enabled_ = wParam != 0;
        return 1;
    case station_msg::kFormat:
        if (!reader.readFormat()) {
            log("Camera " + std::to_string(camera + 1) + ": the station's picture format is not one the server streams.");
            return 0;
        }
        return 1;
    case station_msg::kEventState:
        eventChange(camera, wParam != 0);
        return 1;
    case station_msg::kConnectionLimit:
        connectionLimit_ = std::clamp<uint32_t>(wParam, 1, ServerLimits::kSlots);
        return 1;
    case station_msg::kPassword: {
        passwordCheck_ = wParam & 0xFFFF;
        const auto data = reader.readMailbox();
        // More than the length word, at most 16 characters and their two zero bytes.
        if (!data || data->size() <= 3 || data->size() > 20)
            return 0;
        password_ = parseText(std::span<const uint8_t>(*data).subspan(4));
        return 1;
    }
    case station_msg::kServerWord:
        serverWord_ = wParam;
        return 1;
    case station_msg::kCameraStatus: {
        cameraStatus_[camera] = wParam;
        for (auto& slot : slots_)
            if (slot && slot->camera == camera)
                reply(*slot, MSG_CAMERA_STATUS, encodeU32(wParam));
        return 1;
    }
    case station_msg::kStartListening:
        if (enabled_)
            startListening();
        else if (isListening()) {
            // The station disabled serving and then asked to start: nothing may listen.
            stopListening();
            dropAll();
        }
        return 1;
    case station_msg::kStopListening:
        if (isListening()) {
            stopListening();
            dropAll();
        }
        return 1;
    case station_msg::kCameraOffered:
        reader.setOffered(wParam != 0);
        if (wParam == 0 && enabled_)
            dropCamera(camera);
        return 1;
    case station_msg::kSiteName: {
        const auto data = reader.readMailbox();
        if (!data)
            return 0;
        const std::string text = parseText(*data);
        if (text.empty())
            return 1; // an empty record keeps the previous name
        siteName_ = text;
        for (auto& slot : slots_)
            if (slot)
                reply(*slot, MSG_SITE_NAME, encodeText(siteName_));
        return 1;
    }
    case station_msg::kCameraName: {
        const auto data = reader.readMailbox();
        if (!data)
            return 0;
        const std::string text = parseText(*data);
        if (text.empty())
            return 1;
        cameraNames_[camera] = text;
        queueToCamera(camera, MSG_CAMERA_NAME, encodeText(text));
        return 1;
    }
    default:
        return 0;
    }
}

void StreamServer::queueToCamera(int camera, uint32_t code, std::span<const uint8_t> payload)
{
    for (auto& slot : slots_)
        if (slot && slot->camera == camera)
            reply(*slot, code, payload);
}

void StreamServer::eventChange(int camera, bool on)
{
    std::lock_guard lock(cameraLocks_[camera]);
    cameraEvent_[camera] = on;
    const uint32_t now = nowSeconds();
    for (auto& slot : slots_)
        if (slot && slot->camera == camera)
            slot->notice.eventChanged(on, now);
}

// ---------------------------------------------------------------------------------------
// Listening

uint16_t StreamServer::listeningPort() const
{
    if (listenSocket_ < 0)
        return 0;
    sockaddr_in address {};
    socklen_t length = sizeof address;
    if (::getsockname(listenSocket_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}

void StreamServer::startListening()
{
    stopListening();
    const auto fail = [this](const char* call, int error, int fd) {
        if (fd >= 0)
            ::close(fd);
        std::string text = "Cannot listen on TCP port " + std::to_string(port_) + ": " + describeErrno(call, error);
        if (error == EACCES && port_ < 1024)
            text += "; ports below 1024 need the capability cap_net_bind_service (setcap cap_net_bind_service=+ep vyvserver)";
        else if (error == EADDRINUSE)
            text += "; another program uses the port";
        log(text);
    };
    if (port_ == 0 || port_ > 65535) {
        log("Cannot listen on TCP port " + std::to_string(port_) + ": not a port number.");
        return;
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return fail("socket", errno, -1);
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(static_cast<uint16_t>(port_));
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return fail("bind", errno, fd);
    if (::listen(fd, 5) != 0)
        return fail("listen", errno, fd);
    setNonBlocking(fd);
    listenSocket_ = fd;
    listenNotifier_ = std::make_unique<ListenNotifier>();
    listenNotifier_->notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(listenNotifier_->notifier.get(), &QSocketNotifier::activated, context_.get(), [this] { acceptPending(); });
    log("Listening on TCP port " + std::to_string(port_) + ".");
}

void StreamServer::stopListening()
{
    if (listenSocket_ < 0)
        return;
    listenNotifier_.reset();
    ::close(listenSocket_);
    listenSocket_ = -1;
    log("Stopped listening.");
}

void StreamServer::acceptPending()
{
    for (;;) {
        sockaddr_in peer {};
        socklen_t peerLength = sizeof peer;
        const int fd = ::accept4(listenSocket_, reinterpret_cast<sockaddr*>(&peer), &peerLength, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            if (errno == EMFILE || errno == ENFILE)
                log("Cannot take a viewer: " + describeErrno("accept", errno));
            return;
        }
        int freeSlot = -1;
        for (uint32_t i = 0; bound_ && i < connectionLimit_ && i < slots_.size(); ++i) {
            if (!slots_[i]) {
                freeSlot = static_cast<int>(i);
                break;
            }
        }
        if (freeSlot < 0) {
            ::close(fd); // unannounced, as a full server does
            continue;
        }
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        auto c = std::make_unique<Connection>(fd, limits_.outboxLimitBytes);
        c->id = nextId_++;
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
        c->address = text;
        c->port = ntohs(peer.sin_port);
        c->connectedAt = std::time(nullptr);
        c->statsStart = c->connectedAt;
        const uint64_t id = c->id;
        c->readNotifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        QObject::connect(c->readNotifier.get(), &QSocketNotifier::activated, context_.get(), [this, id] { onReadable(id); });
        c->writeNotifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
        c->writeNotifier->setEnabled(false);
        QObject::connect(c->writeNotifier.get(), &QSocketNotifier::activated, context_.get(), [this, id] { onWritable(id); });
        Connection& connection = *c;
        slots_[static_cast<size_t>(freeSlot)] = std::move(c);
        notifyListChanged();
        if (stationWindow_ != platform::kNoWindow)
            station_.reportConnection(stationWindow_, connection.address + ":" + std::to_string(connection.port));
        // The report may have let other messages in; the viewer may be gone already.
        if (Connection* still = find(id))
            reply(*still, MSG_HELLO, encodeU32(serverWord_));
    }
}

// ---------------------------------------------------------------------------------------
// Requests

void StreamServer::onReadable(uint64_t id)
{
    size_t budget = kReadBudget;
    std::vector<Request> requests;
    uint8_t buffer[kReadChunk];
    while (budget > 0) {
        Connection* c = find(id);
        if (!c)
            return;
        const ssize_t n = ::recv(c->fd, buffer, std::min(sizeof buffer, budget), 0);
        if (n == 0) {
            removeConnection(id);
            return;
        }
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                break;
            removeConnection(id);
            return;
        }
        budget -= static_cast<size_t>(n);
        requests.clear();
        c->parser.feed(std::span<const uint8_t>(buffer, static_cast<size_t>(n)), requests);
        for (const Request& request : requests) {
            Connection* current = find(id);
            if (!current)
                return;
            execute(*current, request);
        }
    }
}

void StreamServer::onWritable(uint64_t id)
{
    Connection* c = find(id);
    if (!c)
        return;
    const Outbox::Flush result = c->outbox.flush();
    if (result == Outbox::Flush::Failed)
        removeConnection(id);
    else if (result == Outbox::Flush::Done)
        c->writeNotifier->setEnabled(false);
}

bool StreamServer::reply(Connection& c, uint32_t code, std::span<const uint8_t> payload)
{
    if (!c.outbox.put(encodeMessage(code, nowSeconds(), payload))) {
        // Replies pile up only for a viewer that does not read; it is let go.
        const uint64_t id = c.id;
        QMetaObject::invokeMethod(context_.get(), [this, id] { removeConnection(id, "it stopped reading"); }, Qt::QueuedConnection);
        return false;
    }
    const Outbox::Flush result = c.outbox.flush();
    if (result == Outbox::Flush::Pending && c.writeNotifier)
        c.writeNotifier->setEnabled(true);
    return result != Outbox::Flush::Failed;
}

bool StreamServer::allowed(const Connection& c, uint32_t code) const
{
    switch (code) {
    case CMD_SET_OPTIONS:
    case CMD_GET_INFO:
    case CMD_START_STREAM:
    case CMD_KEY_FRAME:
    case CMD_PTZ:
        return passwordCheck_ == 0 || c.passwordMatched;
    default:
        return true;
    }
}

void StreamServer::execute(Connection& c, const Request& request)
{
    if (!allowed(c, request.code))
        return;
    switch (request.code) {
    case CMD_GET_INFO:
        if (c.optionsSet)
            reply(c, MSG_VIDEO_FORMAT, encodeVideoFormat(c.encoder.outputFormat()));
        reply(c, MSG_SITE_NAME, encodeText(siteName_));
        reply(c, MSG_CAMERA_NAME, encodeText(c.camera >= 0 ? cameraNames_[c.camera] : std::string()));
        return;
    case CMD_START_STREAM:
        startStream(c);
        return;
    case CMD_STOP_STREAM:
        stopPump(c);
        return;
    case CMD_KEY_FRAME:
        c.keyRequest = true;
        return;
    case CMD_SET_OPTIONS: {
        if (c.optionsSet) {
            reply(c, MSG_OPTIONS_OK);
            return;
        }
        const auto options = parseStreamOptions(request.payload);
        const auto format = c.camera >= 0 ? readers_[c.camera]->format() : std::nullopt;
        if (!options || !format || !c.encoder.prepare(*format, *options))
            return; // unanswered: the viewer cannot stream this camera
        c.options = *options;
        c.optionsSet = true;
        reply(c, MSG_OPTIONS_OK);
        return;
    }
    case CMD_EVENT_ONLY:
    case CMD_EVENT_ONLY_QUIET:
        c.eventOnly = parseU32(request.payload).value_or(0) != 0;
        if (request.code == CMD_EVENT_ONLY)
            reply(c, MSG_EVENT_ONLY_OK);
        return;
    case CMD_ASK_PASSWORD:
        if (c.camera < 0)
            selectCamera(c, 0, Selection::Implied);
        reply(c, MSG_PASSWORD_NEEDED, encodeU32(passwordCheck_ != 0 ? 1 : 0));
        return;
    case CMD_PASSWORD: {
        if (c.camera < 0)
            selectCamera(c, 0, Selection::Silent);
        bool matched = true;
        if (passwordCheck_ != 0) {
            // Compared as zero-terminated strings: bytes after a zero in the payload do not count.
            matched = !request.passwordOutOfRange && !password_.empty() && parseText(request.payload) == password_;
        }
        c.passwordMatched = matched;
        if (!matched && ++c.wrongPasswords >= kMaxWrongPasswords) {
            // Guessing is slowed to one connection per few tries; the viewer's user may
            // connect again.
            reply(c, MSG_PASSWORD_RESULT, encodeU32(0));
            const uint64_t id = c.id;
            QMetaObject::invokeMethod(context_.get(), [this, id] { removeConnection(id, "too many wrong passwords"); },
                                      Qt::QueuedConnection);
            return;
        }
        if (matched && c.camera >= 0 && readers_[c.camera]->isOffered() && !readers_[c.camera]->isActive())
            postToStation(station_msg::kWantsCamera, static_cast<uint32_t>(c.camera) << 16, static_cast<int32_t>(self_));
        reply(c, MSG_PASSWORD_RESULT, encodeU32(matched ? 1 : 0));
        return;
    }
    case CMD_PTZ:
        if (c.camera >= 0) {
            const uint32_t command = parseU32(request.payload).value_or(0) & 0xFFFF;
            postToStation(station_msg::kPtzCommand, (static_cast<uint32_t>(c.camera) << 16) | command,
                          static_cast<int32_t>(self_));
        }
        return;
    case CMD_SELECT_CAMERA: {
        const uint32_t camera = parseU32(request.payload).value_or(UINT32_MAX);
        // A number we do not have, or another camera once the encoder was made for one.
        if (camera > 3 || (c.optionsSet && static_cast<int>(camera) != c.camera)) {
            reply(c, MSG_CAMERA_UNAVAILABLE);
            return;
        }
        selectCamera(c, static_cast<int>(camera), Selection::Explicit);
        return;
    }
    case CMD_GET_CAMERA_STATUS:
        reply(c, MSG_CAMERA_STATUS, encodeU32(c.camera >= 0 ? cameraStatus_[c.camera] : 0));
        return;
    default:
        return; // read and ignored
    }
}

void StreamServer::selectCamera(Connection& c, int camera, Selection selection)
{
    const int previous = c.camera;
    if (previous != camera) {
        // The notice state belongs to the camera it was about.
        if (previous >= 0) {
            std::lock_guard lock(cameraLocks_[previous]);
            c.notice = EventNotice {};
        }
        c.camera = camera;
        notifyListChanged();
        if (previous >= 0)
            releaseCameraIfUnused(previous);
    }
    CameraReader& reader = *readers_[camera];
    if (reader.isOffered()) {
        if (!reader.isActive())
            postToStation(station_msg::kWantsCamera, static_cast<uint32_t>(camera) << 16, static_cast<int32_t>(self_));
        if (selection == Selection::Explicit)
            reply(c, MSG_CAMERA_OK);
    } else if (selection != Selection::Silent) {
        reply(c, MSG_CAMERA_UNAVAILABLE);
    }
}

void StreamServer::releaseCameraIfUnused(int camera)
{
    for (const auto& slot : slots_)
        if (slot && slot->camera == camera)
            return;
    postToStation(station_msg::kReleasesCamera, static_cast<uint32_t>(camera) << 16, static_cast<int32_t>(self_));
}

// ---------------------------------------------------------------------------------------
// Removal

void StreamServer::removeConnection(uint64_t id, const char* why)
{
    for (auto& slot : slots_) {
        if (!slot || slot->id != id)
            continue;
        std::unique_ptr<Connection> c = std::move(slot);
        stopPump(*c);
        if (why)
            log("Viewer " + c->address + ":" + std::to_string(c->port) + " dropped: " + why + ".");
        c->readNotifier.reset();
        c->writeNotifier.reset();
        c->encoder.release();
        ::shutdown(c->fd, SHUT_RDWR);
        ::close(c->fd);
        const int camera = c->camera;
        c.reset();
        notifyListChanged();
        if (camera >= 0)
            releaseCameraIfUnused(camera);
        return;
    }
}

void StreamServer::dropCamera(int camera)
{
    std::vector<uint64_t> ids;
    for (const auto& slot : slots_)
        if (slot && slot->camera == camera)
            ids.push_back(slot->id);
    for (uint64_t id : ids)
        removeConnection(id);
}

void StreamServer::dropAll()
{
    std::vector<uint64_t> ids;
    for (const auto& slot : slots_)
        if (slot)
            ids.push_back(slot->id);
    for (uint64_t id : ids)
        removeConnection(id);
    if (bound_)
        for (int camera = 0; camera < 4; ++camera)
            postToStation(station_msg::kReleasesCamera, static_cast<uint32_t>(camera) << 16, static_cast<int32_t>(self_));
}

} // namespace vantry::server
