#include "station/core/recorder.h"

#include "common/avi_writer.h"
#include "common/camera_word.h"
#include "common/log_texts.h"
#include "common/record_files.h"
#include "common/record_segment.h"
#include "common/station_messages.h"
#include "platform/system_info.h"
#include "station/core/camera_channel.h"
#include "station/core/hub_messages.h"
#include "station/core/record_branch.h"
#include "station/core/station_hub.h"

#include <QObject>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <unistd.h>

namespace vantry::station {

namespace {

namespace logtext = common::logtext;
using common::LogEntryType;

constexpr int kLightRecordingKind = 3;
constexpr int kLightDetectionKind = 2;
constexpr int kLightOff = 0;
constexpr int kLightRecording = 1;
constexpr int kLightStorageShort = 2;
constexpr int kLightArmed = 5;
constexpr int kDetectionOn = 1;
constexpr int kDetectionMotion = 2;
constexpr int kDefaultManualTriggerSeconds = 5;
constexpr int64_t kMegabyte = 1048576;

constexpr const char* kTextStorageShort =
    "The free storage space for camera %d is not enough!  Please remove some unused data from the storage.";
constexpr const char* kTextCannotRecordEvent = "Cannot record event video!";
constexpr const char* kTextCannotChangeFile = "Error : Cannot change record file!";

bool isScheduledType(int type) { return type == 2 || type == 3; }

std::tm localTime(int64_t t)
{
    const std::time_t value = static_cast<std::time_t>(t);
    std::tm out {};
    localtime_r(&value, &out);
    return out;
}

std::string formatTime(int64_t t)
{
    char text[32];
    const std::tm tm = localTime(t);
    std::strftime(text, sizeof text, "%Y/%m/%d-%H:%M:%S", &tm);
    return text;
}

uint32_t cameraWord(int cameraIndex, uint16_t value = 0)
{
    return common::makeCameraWord(cameraIndex, value);
}

} // namespace

struct Recorder::Camera {
    Camera(int cameraIndex, const Clock& clock)
        : branch(cameraIndex, clock)
    {
    }
    RecordBranch branch;
    common::RecordIndex index;
    bool indexOpen = false;
    bool capturing = false;
    bool eventMode = false;
    int activeType = -1; // 0 or 1 while the capture graph records
    bool scheduleArmed = false;
    bool eventRecorded = false;
    int64_t fileStart = 0;
    std::string filePath;
    int light = kLightOff;
    QTimer fileTimer;     // timer 3
    QTimer scheduleTimer; // timer 8
};

Recorder::Recorder(StationHub& hub, RecorderOptions options)
    : hub_(hub)
    , options_(std::move(options))
    , context_(std::make_unique<QObject>())
{
    if (!options_.clock)
        options_.clock = &SystemClock::instance();
    if (!options_.freeBytes)
        options_.freeBytes = [](const std::string& folder) { return platform::freeDiskBytes(folder); };
    for (int camera = 0; camera < kCameraCount; ++camera) {
        cameras_[camera] = std::make_unique<Camera>(camera, *options_.clock);
        Camera& c = *cameras_[camera];
        c.fileTimer.setSingleShot(false);
        QObject::connect(&c.fileTimer, &QTimer::timeout, context_.get(), [this, camera] { changeFile(camera); });
        c.scheduleTimer.setSingleShot(true);
        QObject::connect(&c.scheduleTimer, &QTimer::timeout, context_.get(), [this, camera] { scheduleCheck(camera); });
    }
    manualTimer_ = std::make_unique<QTimer>();
    manualTimer_->setSingleShot(true);
    QObject::connect(manualTimer_.get(), &QTimer::timeout, context_.get(), [this] { endManualTrigger(); });
    recycleTimer_ = std::make_unique<QTimer>();
    recycleTimer_->setInterval(kRecycleIntervalMs);
    QObject::connect(recycleTimer_.get(), &QTimer::timeout, context_.get(), [this] { recycleTick(); });
}

Recorder::~Recorder()
{
    close();
}

std::string Recorder::storageFolder(int cameraIndex) const
{
    const std::string& configured = hub_.settings().channels[cameraIndex].storagePath;
    if (!configured.empty())
        return configured;
    return common::DefaultStorageFolder(hub_.folders().dataFolder, cameraIndex);
}

int Recorder::open()
{
    int opened = 0;
    for (int camera = 0; camera < kCameraCount; ++camera) {
        Camera& c = *cameras_[camera];
        const std::string folder = storageFolder(camera);
        if (!common::PrepareRecordFolder(folder))
            hub_.diagnostic("CH0" + std::to_string(camera + 1) + " - cannot prepare the record folder " + folder);
        common::RepairOptions repair;
        repair.cameraIndex = static_cast<uint32_t>(camera);
        repair.siteName = hub_.settings().siteName;
        repair.cameraName = hub_.settings().channels[camera].cameraName;
        c.index.SetRepairOptions(repair);
        c.indexOpen = c.index.Open(folder) == 1;
        if (c.indexOpen)
            ++opened;
        else
            hub_.diagnostic("CH0" + std::to_string(camera + 1) + " - cannot open the record index of " + folder);
    }
    open_ = true;
    recycleTimer_->start();
    return opened;
}

void Recorder::close()
{
    if (!open_)
        return;
    closing_ = true;
    recycleTimer_->stop();
    manualTimer_->stop();
    for (int camera = 0; camera < kCameraCount; ++camera) {
        Camera& c = *cameras_[camera];
        c.scheduleTimer.stop();
        if (c.capturing)
            stopCapture(camera);
        // A capture graph waiting to be started again must not call into the branch later.
        if (CameraChannel* ch = hub_.channel(camera)) {
            ch->GraphStop();
            ch->setRecordingBranch(nullptr);
        }
        if (c.indexOpen)
            c.index.Save();
    }
    open_ = false;
    closing_ = false;
}

void Recorder::logOperation(int cameraIndex, std::string_view text)
{
    hub_.addLogEntry(LogEntryType::Operation, cameraIndex, text);
}

void Recorder::setLight(int cameraIndex, int state)
{
    cameras_[cameraIndex]->light = state;
    hub_.showIndicator(cameraIndex, kLightRecordingKind, state);
}

void Recorder::switchDetection(int cameraIndex, bool on)
{
    hub_.switchDetection(cameraIndex, on);
}

int Recorder::fileLengthMs(int cameraIndex) const
{
    if (options_.fileLengthSecondsOverride > 0)
        return options_.fileLengthSecondsOverride * 1000;
    const int minutes = std::clamp(hub_.settings().channels[cameraIndex].fileLengthMinutes, 1, 24 * 60);
    return minutes * 60000;
}

void Recorder::armFileTimer(int cameraIndex)
{
    Camera& c = *cameras_[cameraIndex];
    c.fileTimer.start(fileLengthMs(cameraIndex));
}

// ---------------------------------------------------------------------------------------
// Segments

bool Recorder::openSegment(int cameraIndex, int64_t now)
{
    Camera& c = *cameras_[cameraIndex];
    const std::string path = common::NewSegmentPath(storageFolder(cameraIndex), static_cast<int32_t>(now));
    if (c.branch.openFile(path) != 0) {
        hub_.diagnostic("CH0" + std::to_string(cameraIndex + 1) + " - " + kTextCannotChangeFile + " " + path + ": "
                        + c.branch.lastError());
        c.filePath.clear();
        return false;
    }
    c.filePath = path;
    c.fileStart = now;
    if (CameraChannel* ch = hub_.channel(cameraIndex))
        ch->motion().tracker().startNewFile(now);
    return true;
}

void Recorder::finishSegment(int cameraIndex, int64_t now)
{
    Camera& c = *cameras_[cameraIndex];
    std::unique_ptr<common::AviWriter> writer = c.branch.takeFile();
    if (c.filePath.empty())
        return;
    const common::ChannelSettings& settings = hub_.settings().channels[cameraIndex];
    common::SegmentEnd segment;
    segment.path = c.filePath;
    segment.start = static_cast<int32_t>(c.fileStart);
    segment.now = static_cast<int32_t>(now);
    segment.eventMode = c.eventMode;
    segment.eventRecorded = c.eventRecorded;
    segment.cameraIndex = static_cast<uint32_t>(cameraIndex);
    segment.siteName = hub_.settings().siteName;
    segment.cameraName = settings.cameraName;
    if (CameraChannel* ch = hub_.channel(cameraIndex)) {
        const MotionTracker& tracker = ch->motion().tracker();
        for (const MotionPeriod& p : tracker.periods())
            segment.periods.push_back({ p.kind, static_cast<int32_t>(p.start), static_cast<int32_t>(p.end) });
        // A motion still going on belongs to this file up to now, and goes on in the next.
        if (tracker.inMotion()) {
            const int64_t start = std::max<int64_t>(tracker.motionStart(), c.fileStart);
            segment.periods.push_back({ 0, static_cast<int32_t>(start), static_cast<int32_t>(std::max(now, start + 1)) });
        }
    }
    const common::SegmentOutcome outcome = common::FinishRecordSegment(segment, writer.get(), c.index);
    for (const std::string& line : outcome.logLines)
        hub_.diagnostic(line);
    c.filePath.clear();
}

void Recorder::changeFile(int cameraIndex)
{
    Camera& c = *cameras_[cameraIndex];
    if (!c.capturing)
        return;
    const int64_t now = options_.clock->nowSeconds();
    finishSegment(cameraIndex, now);
    if (!openSegment(cameraIndex, now))
        hub_.onGraphFailure(cameraIndex, "ChangeRecordFile()", GraphFailure { 1018, kTextCannotChangeFile });
    // A file that begins while the gates are open holds event video from its first frame on.
    if (c.eventMode)
        c.eventRecorded = c.branch.isGateOpen();
    else if (CameraChannel* ch = hub_.channel(cameraIndex))
        c.eventRecorded = ch->motion().tracker().eventRaised();
    if (c.eventRecorded)
        c.branch.markEvent();
}

// ---------------------------------------------------------------------------------------
// Capture

bool Recorder::storageCheck(int cameraIndex)
{
    if (minRecycle(cameraIndex))
        return true;
    hub_.addLogEntry(LogEntryType::Event, cameraIndex, logtext::kStorageShort);
    char text[256];
    std::snprintf(text, sizeof text, kTextStorageShort, cameraIndex + 1);
    hub_.showMessageText(kMsgStorageShort, text);
    return false;
}

bool Recorder::startCapture(int cameraIndex, bool eventMode)
{
    Camera& c = *cameras_[cameraIndex];
    CameraChannel* ch = hub_.channel(cameraIndex);
    if (!ch || !ch->hasVideoDevice())
        return false;
    if (!storageCheck(cameraIndex))
        return false;
    c.branch.setFallbackFrameRate(ch->frameRateInUse());
    // The camera's compression quality (nVQuality, 1..100) as the user set it.
    c.branch.setQuality(hub_.captureSettings(cameraIndex).videoQuality);
    ch->setRecordingBranch(&c.branch);
    c.eventMode = eventMode;
    c.eventRecorded = false;
    c.branch.setGate(!eventMode);
    const int64_t now = options_.clock->nowSeconds();
    if (!openSegment(cameraIndex, now))
        return false;
    if (!ch->GraphStart(GraphMode::Capture) && !ch->isCaptureBuilt()) {
        // The recording side cannot be built: nothing was recorded into the new file, and the
        // camera goes back to its preview.
        c.branch.takeFile();
        ::unlink(c.filePath.c_str());
        c.filePath.clear();
        ch->GraphStart(GraphMode::Preview);
        return false;
    }
    // A built graph that failed to run is started again by the channel after a pause: the
    // recording stands (an unattended box must not lose its recording flag to a glitch).
    if (!ch->isCaptureRunning())
        hub_.diagnostic("CH0" + std::to_string(cameraIndex + 1)
                        + " - the capture graph did not run; it is started again shortly");
    c.capturing = true;
    setLight(cameraIndex, eventMode ? kLightArmed : kLightRecording);
    if (!eventMode)
        armFileTimer(cameraIndex);
    return true;
}

void Recorder::stopCapture(int cameraIndex)
{
    Camera& c = *cameras_[cameraIndex];
    if (!c.capturing)
        return;
    const int type = hub_.settings().channels[cameraIndex].recordingType;
    setLight(cameraIndex, isScheduledType(type) && c.scheduleArmed ? kLightArmed : kLightOff);
    c.fileTimer.stop();
    // The file is taken from the streaming threads before the graph changes, so that nothing
    // is written into it while it is finished.
    const int64_t now = options_.clock->nowSeconds();
    finishSegment(cameraIndex, now);
    c.capturing = false;
    c.activeType = -1;
    c.eventMode = false;
    c.eventRecorded = false;
    c.branch.setGate(true);
    CameraChannel* ch = hub_.channel(cameraIndex);
    if (!ch)
        return;
    if (closing_) {
        // Nothing to preview any more, and the branch must never be called again: the graph
        // stops here and forgets the branch.
        ch->GraphStop();
        ch->setRecordingBranch(nullptr);
        return;
    }
    if (ch->hasVideoDevice())
        ch->GraphStart(GraphMode::Preview);
}

// ---------------------------------------------------------------------------------------
// Recording modes

bool Recorder::setRecording(int cameraIndex, int recordingType, bool on, bool quiet)
{
    if (cameraIndex < 0 || cameraIndex >= kCameraCount)
        return false;
    Camera& c = *cameras_[cameraIndex];
    CameraChannel* ch = hub_.channel(cameraIndex);
    if (!ch || !ch->hasVideoDevice())
        return false;
    common::ChannelSettings& settings = hub_.settings().channels[cameraIndex];
    // A camera unplugged and plugged in again comes back with a preview graph: what was
    // recorded is finished, and the start below records again.
    if (on && c.capturing && !ch->isCaptureRunning())
        stopCapture(cameraIndex);

    switch (recordingType) {
    case 0:
    case 1: {
        const bool event = recordingType == 1;
        if (on) {
            if (c.capturing && c.activeType == recordingType)
                return true;
            if (!quiet)
                logOperation(cameraIndex, event ? logtext::kStartEventRecording : logtext::kStartRoundTheClock);
            // The capture graph replaces the preview graph: detection pauses around it.
            if (hub_.isDetectionActive(cameraIndex))
                switchDetection(cameraIndex, false);
            stopCapture(cameraIndex);
            const bool started = startCapture(cameraIndex, event);
            if (started)
                c.activeType = recordingType;
            if (event) {
                settings.motionDetectionEnabled = 1;
                switchDetection(cameraIndex, true);
            } else if (settings.motionDetectionEnabled != 0) {
                switchDetection(cameraIndex, true);
            }
            return started;
        }
        if (!c.capturing || c.activeType != recordingType)
            return true;
        if (event) {
            settings.motionDetectionEnabled = 0;
            switchDetection(cameraIndex, false);
        }
        stopCapture(cameraIndex);
        if (!quiet)
            logOperation(cameraIndex, event ? logtext::kStopEventRecording : logtext::kStopRoundTheClock);
        return true;
    }
    case 2:
    case 3: {
        if (on) {
            if (c.scheduleArmed) {
                scheduleCheck(cameraIndex);
                return true;
            }
            logOperation(cameraIndex, recordingType == 2 ? logtext::kStartScheduled : logtext::kStartScheduledEvent);
            c.scheduleArmed = true;
            setLight(cameraIndex, kLightArmed);
            scheduleCheck(cameraIndex);
            return true;
        }
        if (recordingType == 3)
            switchDetection(cameraIndex, false);
        stopCapture(cameraIndex);
        logOperation(cameraIndex, recordingType == 2 ? logtext::kStopScheduled : logtext::kStopScheduledEvent);
        c.scheduleArmed = false;
        c.scheduleTimer.stop();
        if (c.capturing)
            hub_.command(cmd::kScheduledStop, cameraWord(cameraIndex));
        setLight(cameraIndex, kLightOff);
        return true;
    }
    default:
        return false;
    }
}

void Recorder::scheduledStart(int cameraIndex)
{
    const int type = hub_.settings().channels[cameraIndex].recordingType;
    if (isScheduledType(type))
        setRecording(cameraIndex, type - 2, true, true);
}

void Recorder::scheduledStop(int cameraIndex)
{
    const int type = hub_.settings().channels[cameraIndex].recordingType;
    if (isScheduledType(type))
        setRecording(cameraIndex, type - 2, false, true);
}

void Recorder::scheduleCheck(int cameraIndex)
{
    Camera& c = *cameras_[cameraIndex];
    if (!c.scheduleArmed)
        return;
    const std::tm now = localTime(options_.clock->nowSeconds());
    // Again at the next full hour.
    const int untilNextHourMs = 3600000 - now.tm_sec * 1000 - now.tm_min * 60000;
    c.scheduleTimer.start(std::max(untilNextHourMs, 1000));
    const bool scheduled = hub_.settings().channels[cameraIndex].isHourScheduled(now.tm_wday, now.tm_hour);
    if (scheduled && !c.capturing)
        hub_.command(cmd::kScheduledStart, cameraWord(cameraIndex));
    else if (!scheduled && c.capturing)
        hub_.command(cmd::kScheduledStop, cameraWord(cameraIndex));
}

void Recorder::timeChanged()
{
    for (int camera = 0; camera < kCameraCount; ++camera)
        scheduleCheck(camera);
}

// ---------------------------------------------------------------------------------------
// Events

void Recorder::eventBegin(int cameraIndex, uint32_t)
{
    if (cameraIndex < 0 || cameraIndex >= kCameraCount)
        return;
    Camera& c = *cameras_[cameraIndex];
    if (!c.capturing)
        return;
    if (c.eventMode && !c.branch.isGateOpen()) {
        // The waiting file holds nothing and may be days old: the event gets a file of its own,
        // dated and filed under the day it happens.
        const int64_t now = options_.clock->nowSeconds();
        c.branch.takeFile();
        if (!c.filePath.empty())
            ::unlink(c.filePath.c_str());
        c.filePath.clear();
        if (!openSegment(cameraIndex, now)) {
            hub_.showMessageText(kMsgCannotRecordEvent, kTextCannotRecordEvent);
            return;
        }
        c.eventRecorded = true;
        c.branch.markEvent();
        c.branch.setGate(true);
        armFileTimer(cameraIndex);
        setLight(cameraIndex, kLightRecording);
        return;
    }
    c.eventRecorded = true;
    c.branch.markEvent();
}

void Recorder::eventEnd(int cameraIndex, uint32_t)
{
    if (cameraIndex < 0 || cameraIndex >= kCameraCount)
        return;
    Camera& c = *cameras_[cameraIndex];
    if (!c.capturing || !c.eventMode || !c.branch.isGateOpen())
        return;
    const int64_t now = options_.clock->nowSeconds();
    finishSegment(cameraIndex, now);
    CameraChannel* ch = hub_.channel(cameraIndex);
    const bool stillInMotion = ch && ch->motion().tracker().inMotion();
    c.branch.setGate(stillInMotion);
    c.eventRecorded = stillInMotion;
    if (!openSegment(cameraIndex, now) && stillInMotion)
        hub_.showMessageText(kMsgCannotRecordEvent, kTextCannotRecordEvent);
    if (stillInMotion) {
        c.branch.markEvent();
        armFileTimer(cameraIndex);
        setLight(cameraIndex, kLightRecording);
    } else {
        c.fileTimer.stop();
        setLight(cameraIndex, kLightArmed);
    }
}

// ---------------------------------------------------------------------------------------
// Manual trigger

int Recorder::manualTrigger()
{
    const uint32_t now = static_cast<uint32_t>(options_.clock->nowSeconds());
    int triggered = 0;
    int lengthSeconds = 0;
    for (int camera = 0; camera < kCameraCount; ++camera) {
        CameraChannel* ch = hub_.channel(camera);
        if (!ch || !ch->hasVideoDevice())
            continue;
        const common::ChannelSettings& settings = hub_.settings().channels[camera];
        // The highest-numbered camera with a device decides the length, enabled or not.
        lengthSeconds = settings.manualTriggerLengthSeconds > 0 ? settings.manualTriggerLengthSeconds
                                                                : kDefaultManualTriggerSeconds;
        if (settings.manualTriggerEnabled == 0)
            continue;
        hub_.post(common::msg::kEventBegins, now, static_cast<int32_t>(cameraWord(camera, 1)));
        hub_.showIndicator(camera, kLightDetectionKind, kDetectionMotion);
        ++triggered;
    }
    if (triggered > 0)
        manualTimer_->start(std::min(lengthSeconds, 86400) * 1000);
    return triggered;
}

void Recorder::endManualTrigger()
{
    manualTimer_->stop();
    const uint32_t now = static_cast<uint32_t>(options_.clock->nowSeconds());
    for (int camera = 0; camera < kCameraCount; ++camera) {
        const common::ChannelSettings& settings = hub_.settings().channels[camera];
        if (settings.manualTriggerEnabled == 0)
            continue;
        hub_.post(common::msg::kEventEnds, now, static_cast<int32_t>(cameraWord(camera)));
        hub_.showIndicator(camera, kLightDetectionKind, settings.motionDetectionEnabled != 0 ? kDetectionOn : kLightOff);
    }
}

// ---------------------------------------------------------------------------------------
// Recycling

int64_t Recorder::freeMegabytes(int cameraIndex) const
{
    const int64_t bytes = options_.freeBytes(storageFolder(cameraIndex));
    return bytes > 0 ? bytes / kMegabyte : 0;
}

bool Recorder::recycle(int cameraIndex, bool byFreeSpace)
{
    Camera& c = *cameras_[cameraIndex];
    if (!open_ || !c.indexOpen)
        return true;
    const common::ChannelSettings& settings = hub_.settings().channels[cameraIndex];
    const int64_t minFree = settings.minFreeSpaceMB;
    const int64_t maxSize = settings.maxStorageMB;
    const auto recordMB = [&c] { return static_cast<int64_t>(c.index.TotalBytes() / kMegabyte); };
    const auto enough = [&](int64_t measure) { return byFreeSpace ? measure > minFree : measure < maxSize; };
    const auto measure = [&] { return byFreeSpace ? freeMegabytes(cameraIndex) : recordMB(); };

    int64_t value = measure();
    if (enough(value))
        return true;
    const int32_t earliest0 = c.index.EarliestStart();
    const int32_t latest0 = c.index.LatestEnd();
    const int64_t size0 = recordMB();
    const auto began = std::chrono::steady_clock::now();
    bool stepped = true;
    for (int step = 0; step < kMaxRecycleSteps && !enough(value) && stepped; ++step) {
        // One step: the oldest hour goes (when recycling is allowed at all).
        if (c.index.IsEmpty()) {
            stepped = false;
            break;
        }
        if (settings.recycleEnabled != 0)
            c.index.RemoveOlderThan(c.index.EarliestStart() + kRecycleStepSeconds);
        value = measure();
    }
    const int32_t earliest1 = c.index.EarliestStart();
    const int64_t size1 = recordMB();
    const bool ok = enough(value);
    if (!ok) {
        if (c.capturing)
            stopCapture(cameraIndex);
        setLight(cameraIndex, kLightStorageShort);
    }
    hub_.post(common::msg::kPlayerSaveIndex, 0, 0);
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - began);
    char line[512];
    std::snprintf(line, sizeof line,
                  "CH%02d - %s (%s - %s, %d MB) from (%s - %s, %d MB) in %d seconds with %dMB records left",
                  cameraIndex + 1, byFreeSpace ? "Min-Recycle" : "Max-Recycle", formatTime(earliest0).c_str(),
                  formatTime(earliest1).c_str(), static_cast<int>(size0 - size1), formatTime(earliest0).c_str(),
                  formatTime(latest0).c_str(), static_cast<int>(size0), static_cast<int>(seconds.count()),
                  static_cast<int>(size1));
    hub_.diagnostic(line);
    return ok;
}

bool Recorder::minRecycle(int cameraIndex)
{
    return recycle(cameraIndex, true);
}

bool Recorder::maxRecycle(int cameraIndex)
{
    return recycle(cameraIndex, false);
}

void Recorder::recycleTick()
{
    for (int camera = 0; camera < kCameraCount; ++camera) {
        // A camera slot without a device records nothing and has nothing to report every minute.
        CameraChannel* ch = hub_.channel(camera);
        if (!ch || !ch->hasVideoDevice())
            continue;
        minRecycle(camera);
        if (hub_.settings().channels[camera].maxStorageEnabled != 0)
            maxRecycle(camera);
        // A file that nears the AVI size limit is closed before it gets there; a file whose
        // writes failed is closed with what it holds, and recording goes on in a new one.
        Camera& c = *cameras_[camera];
        if (c.capturing && (c.branch.fileFull() || c.branch.writeFailed())) {
            if (c.branch.writeFailed())
                hub_.diagnostic("CH0" + std::to_string(camera + 1) + " - cannot write the record file: "
                                + c.branch.lastError());
            changeFile(camera);
        }
    }
}

// ---------------------------------------------------------------------------------------
// Record indexes

bool Recorder::saveIndexes()
{
    bool written = false;
    for (auto& c : cameras_)
        if (c->indexOpen && c->index.Save() == 1)
            written = true;
    return written;
}

void Recorder::reloadIndexes()
{
    for (auto& c : cameras_)
        if (c->indexOpen)
            c->index.Reload();
}

void Recorder::removeRecord(int cameraIndex, uint32_t recordStartTime)
{
    Camera& c = *cameras_[cameraIndex];
    if (!c.indexOpen)
        return;
    c.index.RemoveRecord(static_cast<int32_t>(recordStartTime), false);
    c.index.Save();
}

void Recorder::removeDay(int cameraIndex, uint32_t timeInDay)
{
    Camera& c = *cameras_[cameraIndex];
    if (!c.indexOpen)
        return;
    c.index.RemoveDay(static_cast<int32_t>(timeInDay), false);
    c.index.Save();
}

void Recorder::removeAll(int cameraIndex)
{
    Camera& c = *cameras_[cameraIndex];
    if (!c.indexOpen)
        return;
    c.index.RemoveAll(true);
    c.index.Save();
}

// ---------------------------------------------------------------------------------------
// State

bool Recorder::isRecording(int cameraIndex) const { return cameras_[cameraIndex]->capturing; }
bool Recorder::isEventMode(int cameraIndex) const { return cameras_[cameraIndex]->eventMode; }
bool Recorder::isScheduleArmed(int cameraIndex) const { return cameras_[cameraIndex]->scheduleArmed; }
bool Recorder::isGateOpen(int cameraIndex) const { return cameras_[cameraIndex]->branch.isGateOpen(); }
int Recorder::recordingLight(int cameraIndex) const { return cameras_[cameraIndex]->light; }
std::string Recorder::currentFile(int cameraIndex) const { return cameras_[cameraIndex]->filePath; }
common::RecordIndex& Recorder::index(int cameraIndex) { return cameras_[cameraIndex]->index; }

int Recorder::fileTimerMs(int cameraIndex) const
{
    const QTimer& t = cameras_[cameraIndex]->fileTimer;
    return t.isActive() ? t.interval() : 0;
}

int Recorder::scheduleTimerMs(int cameraIndex) const
{
    const QTimer& t = cameras_[cameraIndex]->scheduleTimer;
    return t.isActive() ? t.interval() : 0;
}

int Recorder::manualTimerMs() const
{
    return manualTimer_->isActive() ? manualTimer_->interval() : 0;
}

} // namespace vantry::station
