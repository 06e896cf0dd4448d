#include "station/core/frame_links.h"

#include "common/station_messages.h"
#include "platform/endpoint.h"
#include "station/core/camera_channel.h"
#include "station/core/station_hub.h"

#include <QTimer>

#include <algorithm>

namespace vantry::station {

namespace msg = common::msg;

namespace {

constexpr const char* kServerClass = "VYVServer";
// A sent mailbox message waits this long for the server to read the record.
constexpr int kMailboxSendTimeoutMs = 5000;

int32_t cameraParam(int cameraIndex) { return static_cast<int32_t>(static_cast<uint32_t>(cameraIndex) << 16); }

} // namespace

std::vector<uint8_t> formatBlockOf(const FrameFormat& format)
{
    common::SubtypeGuid guid {};
    switch (reportedSubtype(format.subtype)) {
    case VideoSubtype::RGB24:
        guid = common::rgb24Subtype();
        break;
    // Same bytes in memory; the server converts both as 32-bit RGB.
    case VideoSubtype::RGB32:
    case VideoSubtype::ARGB32:
        guid = common::rgb32Subtype();
        break;
    case VideoSubtype::RGB555:
        guid = common::rgb555Subtype();
        break;
    case VideoSubtype::RGB565:
        guid = common::rgb565Subtype();
        break;
    case VideoSubtype::Unknown:
        return {};
    default:
        guid = common::fourccSubtype(compressionOf(reportedSubtype(format.subtype)));
        break;
    }
    common::FrameBitmapHeader header;
    header.width = format.width;
    header.height = format.height;
    header.bitCount = static_cast<uint16_t>(format.bitCount);
    header.compression = format.compression;
    header.sizeImage = format.imageSize;
    return common::buildFormatBlock(header, guid);
}

FrameLinks::FrameLinks(StationHub& hub) : hub_(hub)
{
    for (int camera = 0; camera < 4; ++camera) {
        Link& link = links_[camera];
        link.writer = std::make_unique<common::FrameChannelWriter>(camera);
        link.timer = std::make_unique<QTimer>();
        link.timer->setInterval(kPictureTimerMs);
        QObject::connect(link.timer.get(), &QTimer::timeout, [this, camera] { pictureTick(camera); });
    }
    serverWatch_ = std::make_unique<QTimer>();
    serverWatch_->setInterval(kServerWatchMs);
    QObject::connect(serverWatch_.get(), &QTimer::timeout, [this] { watchServer(); });
}

void FrameLinks::watchServer()
{
    if (hub_.isClosed())
        return;
    if (server_ != platform::kNoWindow) {
        if (platform::isWindow(server_))
            return;
        // The server ended without being asked: stop feeding it, and start it again so that
        // viewers can come back.
        hub_.diagnostic("The stream server has ended.");
        for (int camera = 0; camera < 4; ++camera)
            if (links_[camera].streaming)
                stopStreaming(camera);
        server_ = platform::kNoWindow;
        restartWanted_ = true;
    }
    // A server that keeps ending is started at most once a minute.
    const auto now = std::chrono::steady_clock::now();
    if (restartWanted_
        && (lastRestart_ == std::chrono::steady_clock::time_point {}
            || now - lastRestart_ >= std::chrono::milliseconds(kServerRestartSpacingMs))) {
        restartWanted_ = false;
        lastRestart_ = now;
        hub_.startStreamServer();
    }
}

FrameLinks::~FrameLinks()
{
    serverWatch_.reset();
    for (int camera = 0; camera < 4; ++camera)
        if (links_[camera].streaming)
            stopStreaming(camera);
}

FrameStore* FrameLinks::store(int cameraIndex) const
{
    CameraChannel* channel = hub_.channel(cameraIndex);
    return channel ? &channel->frameStore() : nullptr;
}

bool FrameLinks::isStreaming(int cameraIndex) const
{
    return cameraIndex >= 0 && cameraIndex < 4 && links_[cameraIndex].streaming;
}

bool FrameLinks::isOffered(int cameraIndex) const
{
    CameraChannel* channel = hub_.channel(cameraIndex);
    const uint32_t mask = static_cast<uint32_t>(hub_.settings().servedCameraMask);
    return channel && channel->hasVideoDevice() && (mask & (1u << cameraIndex)) != 0;
}

void FrameLinks::post(uint32_t message, uint32_t wParam, int cameraIndex)
{
    if (server_ != platform::kNoWindow)
        platform::postMessage(server_, message, wParam, cameraParam(cameraIndex));
}

void FrameLinks::send(uint32_t message, uint32_t wParam, int cameraIndex)
{
    if (server_ != platform::kNoWindow)
        platform::sendMessage(server_, message, wParam, cameraParam(cameraIndex), kMailboxSendTimeoutMs);
}

bool FrameLinks::writeMailbox(int cameraIndex, const std::vector<uint8_t>& block)
{
    if (server_ == platform::kNoWindow)
        return false;
    return links_[cameraIndex].writer->write(block, {}) == block.size();
}

bool FrameLinks::writeFormat(int cameraIndex)
{
    const Link& link = links_[cameraIndex];
    if (!link.hasFormat)
        return false;
    const std::vector<uint8_t> block = formatBlockOf(link.format);
    if (block.empty() || !writeMailbox(cameraIndex, block))
        return false;
    send(msg::kFormatInMailbox, 0, cameraIndex);
    return true;
}

// ---------------------------------------------------------------------------------------
// Messages of the server

void FrameLinks::serverMessage(int cameraIndex, uint32_t message, uint32_t wParam, int32_t lParam)
{
    if (cameraIndex < 0 || cameraIndex >= 4)
        return;
    switch (message) {
    case msg::kServerRegisters: {
        // The hub hands the registration to every link; the first one takes it. Only the live
        // server endpoint may register, so no other program gets the password mailbox.
        if (cameraIndex != 0)
            return;
        const auto handle = static_cast<platform::WindowHandle>(lParam);
        if (handle == platform::kNoWindow || platform::findWindow(kServerClass) != handle) {
            hub_.diagnostic("A registration as stream server from a program that is not the stream server was ignored.");
            return;
        }
        server_ = handle;
        serverWatch_->start();
        sendSettings(Formats::Include, Occasion::Registration);
        return;
    }
    case msg::kServerWantsCamera:
        startStreaming(cameraIndex);
        return;
    case msg::kServerReleasesCamera:
        stopStreaming(cameraIndex);
        return;
    case msg::kServerPtzCommand:
        if (ptzHandler_)
            ptzHandler_(cameraIndex, static_cast<uint16_t>(wParam & 0xFFFF));
        return;
    default:
        return;
    }
}

void FrameLinks::startStreaming(int cameraIndex)
{
    Link& link = links_[cameraIndex];
    FrameStore* frames = store(cameraIndex);
    if (!link.streaming && frames) {
        frames->Reset();
        writeFormat(cameraIndex);
        link.streaming = true;
        link.lastWritten = FrameStamp {};
        link.timer->start();
    }
    // A repeated request is answered again: the server may have missed the first answer.
    if (link.streaming)
        post(msg::kStreamingStarted, 1, cameraIndex);
}

void FrameLinks::stopStreaming(int cameraIndex)
{
    Link& link = links_[cameraIndex];
    if (link.streaming) {
        link.timer->stop();
        link.streaming = false;
        if (FrameStore* frames = store(cameraIndex))
            frames->Release();
    }
    post(msg::kStreamingStopped, 1, cameraIndex);
}

void FrameLinks::pictureTick(int cameraIndex)
{
    Link& link = links_[cameraIndex];
    FrameStore* frames = store(cameraIndex);
    if (!link.streaming || !frames || server_ == platform::kNoWindow)
        return;
    // The hub's thread never waits for a camera: a tick without a new frame writes nothing,
    // and the next tick looks again.
    FrameStamp seen = link.lastWritten;
    FrameFormat format;
    const size_t bytes = frames->GetNewest(&link.picture, seen, std::chrono::milliseconds(0), &format);
    if (bytes == 0)
        return;
    if (format.isValid() && !(format == link.format)) {
        // The graph changed its format; the server hears of it before the first picture.
        link.format = format;
        link.hasFormat = true;
        writeFormat(cameraIndex);
    }
    const common::FrameStamps stamps { static_cast<uint32_t>(seen.second), seen.counter };
    if (link.writer->write(std::span<const uint8_t>(link.picture.data(), bytes), stamps) == bytes) {
        link.lastWritten = seen;
        ++link.written;
    }
}

// ---------------------------------------------------------------------------------------
// Hub calls

void FrameLinks::frameFormat(int cameraIndex, const FrameFormat& format)
{
    if (cameraIndex < 0 || cameraIndex >= 4 || !format.isValid())
        return;
    Link& link = links_[cameraIndex];
    const bool changed = !link.hasFormat || !(link.format == format);
    link.format = format;
    link.hasFormat = true;
    const size_t payload = std::max<size_t>({ format.imageSize, 56 });
    if (!link.writer->create(payload))
        hub_.diagnostic("Camera " + std::to_string(cameraIndex + 1) + ": " + link.writer->lastError());
    // A server already told of the old format would take every new picture for foreign.
    if (changed && server_ != platform::kNoWindow)
        writeFormat(cameraIndex);
}

void FrameLinks::eventState(int cameraIndex, bool inEvent)
{
    if (cameraIndex >= 0 && cameraIndex < 4)
        post(msg::kCameraEventState, inEvent ? 1 : 0, cameraIndex);
}

void FrameLinks::servingChanged(bool)
{
    if (server_ == platform::kNoWindow)
        return;
    post(msg::kStopListening, 0, 0);
    sendSettings(Formats::Leave, Occasion::SettingsChanged);
}

void FrameLinks::sendSettings(Formats formats, Occasion occasion)
{
    if (server_ == platform::kNoWindow)
        return;
    const common::StationSettings& settings = hub_.settings();
    post(msg::kServerPort, static_cast<uint32_t>(settings.videoServerPort), 0);
    post(msg::kConnectionLimit, static_cast<uint32_t>(settings.connectionLimit), 0);
    for (int camera = 0; camera < 4; ++camera) {
        post(msg::kCameraOffered, isOffered(camera) ? 1 : 0, camera);
        if (writeMailbox(camera, common::buildNameBlock(settings.channels[camera].cameraName)))
            send(msg::kCameraNameInMailbox, 0, camera);
    }
    if (writeMailbox(0, common::buildPasswordBlock(settings.videoServerPassword)))
        send(msg::kPasswordInMailbox, static_cast<uint32_t>(settings.videoServerPasswordCheck), 0);
    if (writeMailbox(0, common::buildNameBlock(settings.siteName)))
        send(msg::kSiteNameInMailbox, 0, 0);
    if (formats == Formats::Include) {
        for (int camera = 0; camera < 4; ++camera) {
            CameraChannel* channel = hub_.channel(camera);
            if (!channel || !channel->hasVideoDevice())
                continue;
            writeFormat(camera);
            post(msg::kCameraStatus, ptzCapability_ ? ptzCapability_(camera) : 0, camera);
        }
    }
    post(msg::kServerEnable, settings.videoServerEnabled != 0 ? 1 : 0, 0);
    post(msg::kStartListening, 0, 0);
    // The router's port mapping of the server's port is re-applied here once port mapping
    // exists; a remote command does without it.
    if (occasion == Occasion::Registration)
        send(msg::kStationCapabilities, kServerWord, 0);
}

void FrameLinks::stopServingRemotely()
{
    post(msg::kServerEnable, 0, 0);
    post(msg::kStartListening, 0, 0);
}

} // namespace vantry::station
