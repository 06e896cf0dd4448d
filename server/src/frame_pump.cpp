// The frame pump: one thread per streaming viewer that sends its event notices, idle ticks
// and frames at the viewer's rate, and the event notice rules it follows.
#include "viewer_connection.h"

#include <QObject>

namespace vantry::server {

namespace {

// How often a pump looks again for a new picture when the last look found none.
constexpr int kPicturePollMs = 10;
// How often a pump compares the camera's format with the one its encoder was made for.
constexpr auto kFormatCheckInterval = std::chrono::seconds(1);

} // namespace

// ---------------------------------------------------------------------------------------
// EventNotice

void EventNotice::eventChanged(bool on, uint32_t now)
{
    if (on) {
        if (toldOn) {
            if (pendingCode == MSG_EVENT_OFF)
                pendingCode = 0;
        } else {
            pendingCode = MSG_EVENT_ON;
            pendingTime = now;
        }
    } else {
        if (toldOn) {
            pendingCode = MSG_EVENT_OFF;
            pendingTime = now;
        } else if (pendingCode == MSG_EVENT_ON) {
            pendingCode = 0;
        }
    }
}

void EventNotice::streamStarted(bool cameraInEvent, uint32_t now)
{
    if (!cameraInEvent)
        return;
    toldOn = false;
    pendingCode = MSG_EVENT_ON;
    pendingTime = now;
}

void EventNotice::sent()
{
    if (pendingCode == MSG_EVENT_ON)
        toldOn = true;
    else if (pendingCode == MSG_EVENT_OFF)
        toldOn = false;
    pendingCode = 0;
}

// ---------------------------------------------------------------------------------------
// Streaming

void StreamServer::startStream(Connection& c)
{
    if (c.streaming || !c.optionsSet || c.camera < 0)
        return;
    if (c.pump.joinable())
        c.pump.join();
    if (!c.encoder.start()) {
        log("Cannot start a stream for " + c.address + ": out of memory.");
        return;
    }
    c.keyRequest = true; // the first frame of a stream is a key frame
    {
        std::lock_guard lock(cameraLocks_[c.camera]);
        c.notice.streamStarted(cameraEvent_[c.camera], nowSeconds());
    }
    c.streaming = true;
    c.pump = std::thread([this, connection = &c] { pumpLoop(connection); });
}

void StreamServer::stopPump(Connection& c)
{
    {
        std::lock_guard lock(c.wakeMutex);
        c.streaming = false;
    }
    c.wake.notify_all();
    if (c.pump.joinable())
        c.pump.join();
}

void StreamServer::pumpLoop(Connection* c)
{
    using Clock = std::chrono::steady_clock;
    const auto period = std::chrono::milliseconds(c->encoder.settings().periodMs);
    CameraReader& reader = *readers_[c->camera];
    std::mutex& cameraLock = cameraLocks_[c->camera];
    const char* failure = nullptr;
    auto due = Clock::now();
    auto nextFormatCheck = Clock::now() + kFormatCheckInterval;
    const CameraFormat encoded = c->encoder.camera();

    const auto queue = [c](uint32_t code, uint32_t time, std::span<const uint8_t> payload = {}) {
        return c->outbox.put(encodeMessage(code, time, payload));
    };

    while (c->streaming) {
        const Outbox::Flush flushed = c->outbox.flush();
        if (flushed == Outbox::Flush::Failed) {
            failure = "the connection broke";
            break;
        }
        if (flushed == Outbox::Flush::Pending && c->outbox.stalledFor() > limits_.stallLimit) {
            failure = "it stopped reading";
            break;
        }

        bool noticeSent = false;
        bool toldOn = false;
        {
            std::lock_guard lock(cameraLock);
            if (c->notice.pendingCode != 0) {
                if (!queue(c->notice.pendingCode, c->notice.pendingTime)) {
                    failure = "it stopped reading";
                    break;
                }
                c->notice.sent();
                noticeSent = true;
            }
            toldOn = c->notice.toldOn;
        }
        if (noticeSent) {
            c->outbox.flush();
            c->sleepFor(period);
            continue;
        }

        if (c->eventOnly && !toldOn) {
            if (c->outbox.pendingBytes() == 0 && !queue(MSG_IDLE, nowSeconds())) {
                failure = "it stopped reading";
                break;
            }
            c->outbox.flush();
            c->lastFrame = std::time(nullptr);
            c->sleepFor(period);
            continue;
        }

        // A viewer that is behind gets no new pictures until it has taken the last one; it
        // misses pictures instead of falling ever further behind.
        if (c->outbox.pendingBytes() > 0) {
            c->sleepFor(std::min(period, std::chrono::milliseconds(kPicturePollMs)));
            continue;
        }
        const auto now = Clock::now();
        if (now >= nextFormatCheck) {
            nextFormatCheck = now + kFormatCheckInterval;
            const auto current = reader.format();
            // The station's pictures now come in another format: this encoder can never take
            // them. The viewer is let go and gets the new format when it connects again.
            if (current && (current->frameBytes != encoded.frameBytes || current->width != encoded.width
                            || current->height != encoded.height || current->layout != encoded.layout)) {
                failure = "the camera's picture format changed";
                break;
            }
        }
        if (now < due) {
            c->sleepFor(std::chrono::duration_cast<std::chrono::milliseconds>(due - now) + std::chrono::milliseconds(1));
            continue;
        }
        if (!c->encoder.grab(reader)) {
            c->sleepFor(std::min(period, std::chrono::milliseconds(kPicturePollMs)));
            continue;
        }
        const FrameEncoder::Result result = c->encoder.encode(c->keyRequest.exchange(false));
        if (!c->streaming)
            break;
        if (!result.bytes.empty()) {
            if (!queue(result.key ? MSG_KEY_FRAME : MSG_DELTA_FRAME, c->encoder.lastStamps().second, result.bytes)) {
                failure = "it stopped reading";
                break;
            }
            c->frames.fetch_add(1);
            c->bytes.fetch_add(result.bytes.size());
            c->lastFrame = std::time(nullptr);
            if (c->outbox.flush() == Outbox::Flush::Failed) {
                failure = "the connection broke";
                break;
            }
        }
        due += period;
        const auto after = Clock::now();
        if (due < after - period)
            due = after; // fell behind by more than a period: pace from now
    }
    if (failure && c->streaming) {
        const uint64_t id = c->id;
        const std::string why = failure;
        QMetaObject::invokeMethod(context_.get(), [this, id, why] { removeConnection(id, why.c_str()); }, Qt::QueuedConnection);
    }
}

} // namespace vantry::server
