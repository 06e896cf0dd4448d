#include "station/core/station_hub.h"

#include "common/camera_word.h"
#include "common/folder_prep.h"
#include "common/log_texts.h"
#include "common/settings_schema.h"
#include "platform/program_launcher.h"
#include "platform/system_info.h"
#include "station/core/channel_messages.h"
#include "station/core/motion_settings.h"

#include <QMetaObject>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <unistd.h>

namespace vantry::station {

namespace {

constexpr const char* kStationClass = "VYWatch";
constexpr const char* kServerClass = "VYVServer";
constexpr const char* kServerProgram = "vyvserver";

// Indicator kinds and states of the control panel.
constexpr int kLightVideo = 0;
constexpr int kLightAudio = 1;
constexpr int kLightDetection = 2;
constexpr int kLightRecording = 3;
constexpr int kLightOff = 0;
constexpr int kLightOn = 1;

std::string cameraLabel(int cameraIndex)
{
    return cameraIndex < 0 ? std::string("System") : "Camera " + std::to_string(cameraIndex + 1);
}

} // namespace

StationHub::StationHub(HubFolders folders, DeviceProvider& provider)
    : folders_(std::move(folders))
    , provider_(provider)
    , settingsPath_(folders_.dataFolder + "/vantry.ini")
    , context_(std::make_unique<QObject>())
{
}

StationHub::~StationHub()
{
    close();
}

void StationHub::setView(StationView* view)
{
    view_ = view ? view : &defaultView_;
}

void StationHub::addEventListener(StationEventListener* listener)
{
    if (listener && std::find(eventListeners_.begin(), eventListeners_.end(), listener) == eventListeners_.end())
        eventListeners_.push_back(listener);
}

void StationHub::setEchoToStderr(bool echo)
{
    echo_ = echo;
    textLog_.setEchoToStderr(echo);
}

// ---------------------------------------------------------------------------------------
// Start-up

int StationHub::openSettingsAndLogs()
{
    if (settingsOpen_)
        return 1;
    // The text log first: everything that fails later has to be told somewhere.
    if (!textLog_.Open(folders_.dataFolder + "/vantry.log") && echo_)
        std::fprintf(stderr, "vantry: text log: %s\n", textLog_.LastError().c_str());
    const auto diagnostics = [this](std::string_view text) { diagnostic(text); };
    settings_.setDiagnosticSink(diagnostics);
    eventLog_.setDiagnosticSink(diagnostics);

    common::SettingsContext context;
    context.dataFolder = folders_.dataFolder;
    context.computerName = platform::computerName();
    if (!settings_.Load(settingsPath_, context))
        diagnostic("Cannot read the settings: " + settings_.LastError());
    settings_.WritePreference("MainWndClassName04", kStationClass);
    for (int camera = 0; camera < common::kStationCameraCount; ++camera) {
        std::string error;
        if (!common::loadSettingsFile(settingsPath_, captures_[camera], camera + 1, settings_.context(), &error))
            diagnostic("Cannot read the capture settings of " + cameraLabel(camera) + ": " + error);
    }
    if (!eventLog_.Open(settingsPath_, folders_.dataFolder))
        diagnostic("Cannot open the operation log: " + eventLog_.LastError());
    addLogEntry(common::LogEntryType::Operation, common::kSystemCamera, common::logtext::kStationStarts);
    settingsOpen_ = true;
    return 1;
}

int StationHub::presetDevicesWhenNone(const std::vector<CaptureDevice>& video, const std::vector<CaptureDevice>& audio)
{
    for (const auto& capture : captures_)
        if (!capture.videoDevice.empty() && provider_.find(DeviceKind::Video, capture.videoDevice))
            return 0;
    int preset = 0;
    for (int camera = 0; camera < common::kStationCameraCount; ++camera) {
        auto& capture = captures_[camera];
        capture.videoDevice = camera < static_cast<int>(video.size()) ? video[camera].displayName : std::string();
        capture.audioDevice = camera < static_cast<int>(audio.size()) && !capture.videoDevice.empty()
            ? audio[camera].displayName
            : std::string();
        std::string error;
        if (!common::saveSettingsFile(settingsPath_, capture, camera + 1, settings_.context(), &error))
            diagnostic("Cannot save the devices of " + cameraLabel(camera) + ": " + error);
        if (!capture.videoDevice.empty())
            ++preset;
    }
    return preset;
}

ChannelConfig StationHub::channelConfig(int cameraIndex) const
{
    const common::ChannelSettings& camera = settings_.channels[cameraIndex];
    const common::CaptureSettings& capture = captures_[cameraIndex];
    ChannelConfig config;
    config.videoDevice = capture.videoDevice;
    config.audioDevice = capture.audioDevice;
    config.subtype = subtypeFromCompression(static_cast<uint32_t>(camera.frameCompression));
    if (!isSelectableSubtype(config.subtype))
        config.subtype = VideoSubtype::I420;
    // A hand-edited size the graph cannot ask for falls back to the size the options page
    // stores for an unusable choice.
    const bool sizeUsable = checkPictureFormat(camera.frameWidth, config.subtype) == 0 && camera.frameHeight > 0
        && camera.frameHeight <= 1152;
    config.capture.width = sizeUsable ? camera.frameWidth : 352;
    config.capture.height = sizeUsable ? camera.frameHeight : 288;
    config.capture.frameRate = capture.frameRate;
    config.capture.maxFrameRate = capture.maxFrameRate;
    config.capture.useFrameRateControl = capture.useFrameRateControl != 0;
    config.captureAudio = capture.captureAudio != 0;
    config.recordAudio = camera.recordAudio != 0;
    config.playLiveSound = camera.playLiveSound != 0;
    config.audioChannels = camera.audioChannels == 1 || camera.audioChannels == 2 ? camera.audioChannels : 1;
    config.audioBytesPerSample =
        camera.audioBytesPerSample == 1 || camera.audioBytesPerSample == 2 ? camera.audioBytesPerSample : 2;
    config.audioRate =
        camera.audioSamplingRate >= 8000 && camera.audioSamplingRate <= 48000 ? camera.audioSamplingRate : 11025;
    config.devicesIniPath = folders_.dataFolder + "/devices.ini";
    return config;
}

int StationHub::buildChannels(bool loggedInAtStart)
{
    if (!settingsOpen_ || closed_)
        return 0;
    if (channelsBuilt_)
        return 1;
    loggedIn_ = loggedInAtStart || !loginPasswordSet();
    settings_.LoadServerLimits();
    for (int camera = 0; camera < common::kStationCameraCount; ++camera) {
        channels_[camera] = std::make_unique<CameraChannel>(camera, provider_, this, this);
        common::MotionSettings motion;
        std::string error;
        if (!common::loadSettingsFile(settingsPath_, motion, camera + 1, settings_.context(), &error))
            diagnostic("Cannot read the motion settings of " + cameraLabel(camera) + ": " + error);
        channels_[camera]->motion().loadSettings(motionSettingsFromRecord(motion));
        // A camera whose graph cannot be built keeps running without video; the failure
        // went to the text log, and the channel takes the device up when it works again.
        channels_[camera]->Init(channelConfig(camera));
    }
    channelsBuilt_ = true;
    for (int camera = 0; camera < common::kStationCameraCount; ++camera)
        applyCameraState(camera);

    motionTimer_ = std::make_unique<QTimer>();
    motionTimer_->setInterval(kMotionTickMs);
    QObject::connect(motionTimer_.get(), &QTimer::timeout, context_.get(), [this] { motionTick(); });
    motionTimer_->start();

    keepAwake_.refuseSuspend("Vantry watches its cameras");
    keepAwake_.keepDisplayOn();
    keepDisplayTimer_ = std::make_unique<QTimer>();
    keepDisplayTimer_->setInterval(kKeepDisplayOnMs);
    QObject::connect(keepDisplayTimer_.get(), &QTimer::timeout, context_.get(), [this] { keepAwake_.keepDisplayOn(); });
    keepDisplayTimer_->start();

    post(common::msg::kSelectCamera, 0, static_cast<int32_t>(common::makeCameraWord(0)));
    return 1;
}

bool StationHub::startStreamServer()
{
    if (platform::findWindow(kServerClass) != platform::kNoWindow)
        return true;
    const std::string program = folders_.programFolder + "/" + kServerProgram;
    if (::access(program.c_str(), X_OK) != 0)
        return false;
    addLogEntry(common::LogEntryType::Operation, common::kSystemCamera, common::logtext::kStartVideoServer);
    if (!platform::startProgram(program, {}, platform::ShowMode::Hidden, folders_.programFolder)) {
        diagnostic("Cannot start the video server " + program);
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------
// Closing

void StationHub::close()
{
    if (closed_)
        return;
    closed_ = true;
    for (StationEventListener* listener : eventListeners_)
        listener->stationClosing();
    if (channelsBuilt_) {
        const platform::WindowHandle server = platform::findWindow(kServerClass);
        if (server != platform::kNoWindow)
            platform::postMessage(server, platform::kMsgClose, 0, 0);
    }
    if (settingsOpen_)
        addLogEntry(common::LogEntryType::Operation, common::kSystemCamera, common::logtext::kStationStops);
    keepDisplayTimer_.reset();
    pauseTimer_.reset();
    manualTriggerTimer_.reset();
    motionTimer_.reset();
    keepAwake_.allowSuspend();
    // The channels go in reverse order of their making; an open motion period ends with them.
    for (int camera = common::kStationCameraCount - 1; camera >= 0; --camera)
        channels_[camera].reset();
    if (settingsOpen_) {
        if (!settings_.Save())
            diagnostic("Cannot save the settings: " + settings_.LastError());
        for (int camera = 0; camera < common::kStationCameraCount; ++camera) {
            std::string error;
            if (!common::saveSettingsFile(settingsPath_, captures_[camera], camera + 1, settings_.context(), &error))
                diagnostic("Cannot save the capture settings of " + cameraLabel(camera) + ": " + error);
        }
        if (!eventLog_.SaveSettings(settingsPath_))
            diagnostic("Cannot save the log settings: " + eventLog_.LastError());
    }
    textLog_.Close();
}

// ---------------------------------------------------------------------------------------
// Posting

bool StationHub::post(uint32_t msg, uint32_t wParam, int32_t lParam)
{
    if (endpoint_)
        return endpoint_->postLocal(msg, wParam, lParam);
    platform::Message message;
    message.msg = msg;
    message.wParam = wParam;
    message.lParam = lParam;
    return QMetaObject::invokeMethod(context_.get(), [this, message] { dispatch(message); }, Qt::QueuedConnection);
}

bool StationHub::postOperationLog(uint32_t cameraWord, std::string text)
{
    uint32_t ticket = 0;
    {
        std::lock_guard lock(logQueueMutex_);
        // A queue that nobody empties (the hub's thread is stuck) must not eat the memory.
        if (logQueue_.size() >= 1000)
            return false;
        ticket = nextTicket_++;
        if (nextTicket_ == 0)
            nextTicket_ = 1;
        logQueue_.emplace_back(ticket, std::move(text));
    }
    if (post(common::msg::kAddOperationLog, ticket, static_cast<int32_t>(cameraWord)))
        return true;
    std::lock_guard lock(logQueueMutex_);
    std::erase_if(logQueue_, [ticket](const auto& item) { return item.first == ticket; });
    return false;
}

bool StationHub::isLocal(const platform::Message& message) const
{
    // The endpoint marks its local posts with its own handle, and a program without an
    // endpoint of its own sends as 0: with an endpoint, 0 is a stranger. Without one, the
    // hub's own queue posts as 0.
    return message.sender == (endpoint_ ? endpoint_->handle() : platform::kNoWindow);
}

// ---------------------------------------------------------------------------------------
// Camera state

CameraChannel* StationHub::channel(int cameraIndex)
{
    return common::isStationCamera(cameraIndex) ? channels_[cameraIndex].get() : nullptr;
}

bool StationHub::hasVideoDevice(int cameraIndex) const
{
    return common::isStationCamera(cameraIndex) && channels_[cameraIndex] && channels_[cameraIndex]->hasVideoDevice();
}

bool StationHub::isDetectionActive(int cameraIndex) const
{
    return common::isStationCamera(cameraIndex) && channels_[cameraIndex]
        && channels_[cameraIndex]->motion().isDetectionActive();
}

bool StationHub::isDetectionPaused() const
{
    return pauseTimer_ && pauseTimer_->isActive();
}

void StationHub::setIndicator(int cameraIndex, int kind, int state)
{
    view_->setIndicator(cameraIndex, kind, state);
}

void StationHub::showMessage(int messageId)
{
    const std::string_view text = hubMessageText(messageId);
    if (!text.empty())
        diagnostic(text);
    view_->showMessage(messageId, text);
}

void StationHub::showMessageText(int messageId, std::string_view text)
{
    if (!text.empty())
        diagnostic(text);
    view_->showMessage(messageId, text);
}

void StationHub::setDetection(int cameraIndex, bool on)
{
    CameraChannel* ch = channel(cameraIndex);
    if (!ch)
        return;
    if (on && ch->hasVideoDevice()) {
        if (ch->motion().startDetection())
            setIndicator(cameraIndex, kLightDetection, kLightOn);
        else
            diagnostic("Cannot start motion detection of " + cameraLabel(cameraIndex) + ": no picture format yet");
    } else {
        ch->motion().stopDetection();
        setIndicator(cameraIndex, kLightDetection, kLightOff);
    }
}

void StationHub::applyDetection(int cameraIndex)
{
    setDetection(cameraIndex, settings_.channels[cameraIndex].motionDetectionEnabled != 0);
}

bool StationHub::setRecording(int cameraIndex, bool on)
{
    if (!recording_) {
        if (!noRecorderReported_)
            diagnostic("Recording is not available in this build; the recording settings are kept as they are.");
        noRecorderReported_ = true;
        return false;
    }
    common::ChannelSettings& camera = settings_.channels[cameraIndex];
    camera.recordingEnabled = on ? 1 : 0;
    if (!recording_->setRecording(cameraIndex, camera.recordingType, on, false) && on) {
        camera.recordingEnabled = 0;
        return false;
    }
    return true;
}

void StationHub::applyCameraState(int cameraIndex)
{
    CameraChannel* ch = channel(cameraIndex);
    if (!ch)
        return;
    const common::ChannelSettings& camera = settings_.channels[cameraIndex];
    if (ch->hasVideoDevice()) {
        setIndicator(cameraIndex, kLightVideo, kLightOn);
        setIndicator(cameraIndex, kLightAudio, ch->hasAudioDevice() ? kLightOn : kLightOff);
        view_->setLiveVideo(cameraIndex, camera.displayLiveVideo != 0);
        ch->setLiveSound(camera.playLiveSound != 0);
        if (camera.recordingEnabled != 0)
            setRecording(cameraIndex, true);
        for (StationEventListener* listener : eventListeners_)
            listener->cameraStateApplied(cameraIndex, true, camera);
        applyDetection(cameraIndex);
    } else {
        for (StationEventListener* listener : eventListeners_)
            listener->cameraStateApplied(cameraIndex, false, camera);
        ch->motion().stopDetection();
        setIndicator(cameraIndex, kLightVideo, kLightOff);
        setIndicator(cameraIndex, kLightAudio, kLightOff);
        setIndicator(cameraIndex, kLightDetection, kLightOff);
        setIndicator(cameraIndex, kLightRecording, kLightOff);
    }
}

bool StationHub::passLoginGate()
{
    if (!loginPasswordSet() || loggedIn_.load())
        return true;
    if (loginGate_ && loginGate_()) {
        loggedIn_ = true;
        return true;
    }
    return false;
}

void StationHub::endPauseDetection()
{
    pauseTimer_.reset();
    for (int camera = 0; camera < common::kStationCameraCount; ++camera)
        if (settings_.channels[camera].motionDetectionEnabled != 0 && hasVideoDevice(camera))
            setDetection(camera, true);
}

int StationHub::manualTrigger()
{
    if (!channelsBuilt_ || closed_)
        return 0;
    const auto now = static_cast<uint32_t>(std::time(nullptr));
    int triggered = 0;
    int lengthSeconds = 0;
    for (int camera = 0; camera < common::kStationCameraCount; ++camera) {
        if (!hasVideoDevice(camera))
            continue;
        // The length comes from the highest-numbered camera with a device, triggered or not.
        lengthSeconds = settings_.channels[camera].manualTriggerLengthSeconds;
        if (settings_.channels[camera].manualTriggerEnabled == 0)
            continue;
        post(common::msg::kEventBegins, now, static_cast<int32_t>(common::makeCameraWord(camera, 1)));
        setIndicator(camera, kLightDetection, 2);
        ++triggered;
    }
    if (triggered == 0)
        return 0;
    // A second Enter while an event runs starts the length again; the events already began.
    manualTriggerTimer_ = std::make_unique<QTimer>();
    manualTriggerTimer_->setSingleShot(true);
    manualTriggerTimer_->setInterval(std::max(lengthSeconds, 1) * 1000);
    QObject::connect(manualTriggerTimer_.get(), &QTimer::timeout, context_.get(), [this] {
        QTimer::singleShot(0, context_.get(), [this] { endManualTrigger(); });
    });
    manualTriggerTimer_->start();
    return triggered;
}

void StationHub::serverSettingsChanged()
{
    if (frameLinks_ && !closed_)
        frameLinks_->servingChanged(settings_.videoServerEnabled != 0);
}

bool StationHub::isManualTriggerRunning() const
{
    return manualTriggerTimer_ && manualTriggerTimer_->isActive();
}

void StationHub::endManualTrigger()
{
    manualTriggerTimer_.reset();
    const auto now = static_cast<uint32_t>(std::time(nullptr));
    for (int camera = 0; camera < common::kStationCameraCount; ++camera) {
        if (settings_.channels[camera].manualTriggerEnabled == 0 || !channels_[camera])
            continue;
        post(common::msg::kEventEnds, now, static_cast<int32_t>(common::makeCameraWord(camera)));
        setIndicator(camera, kLightDetection, isDetectionActive(camera) ? kLightOn : kLightOff);
    }
}

void StationHub::motionTick()
{
    for (auto& ch : channels_)
        if (ch)
            ch->motion().tick();
}

// ---------------------------------------------------------------------------------------
// Logs

int StationHub::addLogEntry(common::LogEntryType type, int cameraIndex, std::string_view text)
{
    const int result = eventLog_.AddEntry(type, cameraIndex, text);
    const bool counted = !(type == common::LogEntryType::Event && !eventLog_.countMotionEvents())
        && !(type == common::LogEntryType::Connection && !eventLog_.countRemoteConnections());
    if (echo_ && counted) {
        const std::string line = cameraLabel(cameraIndex) + ": " + std::string(text);
        std::fprintf(stderr, "%s\n", common::TextLog::formatLine(line, std::time(nullptr)).c_str());
    }
    return result;
}

void StationHub::diagnostic(std::string_view text)
{
    if (!textLog_.Write(text) && echo_ && !textLog_.isEnabled())
        std::fprintf(stderr, "%s\n", common::TextLog::formatLine(text, std::time(nullptr)).c_str());
}

// ---------------------------------------------------------------------------------------
// Channel and motion reports

void StationHub::onGraphFailure(int cameraIndex, const std::string& step, const GraphFailure& failure)
{
    diagnostic(cameraLabel(cameraIndex) + " " + step + ": " + failure.text);
    char text[256];
    std::snprintf(text, sizeof text, kTextGraphError, failure.code);
    diagnostic(text);
    view_->showMessage(kMsgGraphError, text);
}

void StationHub::onVideoDeviceLost(int cameraIndex)
{
    post(common::msg::kApplyCameraState, 0, static_cast<int32_t>(common::makeCameraWord(cameraIndex)));
}

void StationHub::onVideoDeviceReturned(int cameraIndex)
{
    post(common::msg::kApplyCameraState, 0, static_cast<int32_t>(common::makeCameraWord(cameraIndex)));
}

void StationHub::onFrameFormat(int cameraIndex, const FrameFormat& format)
{
    if (frameLinks_)
        frameLinks_->frameFormat(cameraIndex, format);
}

void StationHub::onMotionEvent(int cameraIndex, MotionEvent event, uint32_t value)
{
    // Motion reports reach the hub as messages, in one order with everything else.
    post(messageOf(event), value, static_cast<int32_t>(common::makeCameraWord(cameraIndex)));
}

} // namespace vantry::station
