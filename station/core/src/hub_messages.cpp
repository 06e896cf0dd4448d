// The hub's message and command tables and their handlers.
#include "station/core/hub_messages.h"

#include "common/camera_word.h"
#include "common/link_packet.h"
#include "common/log_texts.h"
#include "platform/endpoint.h"
#include "platform/program_launcher.h"
#include "station/core/station_hub.h"

#include <QTimer>

#include <unistd.h>

namespace vantry::station {

namespace msg = common::msg;
using common::LogEntryType;

namespace {

constexpr const char* kPlayerClass = "VYPlayer";
constexpr const char* kServerClass = "VYVServer";
constexpr const char* kPlayerProgram = "vyplayer";

constexpr int kLightDetection = 2;
constexpr int kDetectionIdle = 1;
constexpr int kDetectionMotion = 2;
constexpr int kDetectionBlink = 3;

// Event recording (1) and scheduled event recording (3) live on motion detection.
bool isEventRecordingType(int32_t recordingType)
{
    return recordingType == 1 || recordingType == 3;
}

} // namespace

std::string_view hubMessageText(int messageId)
{
    switch (messageId) {
    case text_id::kEventRecordingKeepsDetection:
        return "The event recording is enabled! You cannot disable the motion detection manually.";
    case text_id::kNoCameraDetecting:
        return "There is no camera applying detection.";
    case text_id::kCloseQuestion:
        return "Do you want to close the program?";
    case text_id::kNotInstalled:
        return "The program is not well installed. Please uninstall the program and install it again.";
    default:
        return {};
    }
}

// ---------------------------------------------------------------------------------------
// The tables

namespace {
using H = StationHub;
} // namespace

std::span<const MessageRoute> StationHub::messageRoutes()
{
    static const MessageRoute routes[] = {
        { msg::kDetectionMotion, "detection light: motion", Origin::Station, CameraArg::StationWord, &H::onDetectionMotion },
        { msg::kDetectionBlink, "detection light: blink or motion", Origin::Station, CameraArg::StationWord, &H::onDetectionBlink },
        { msg::kDetectionIdle, "detection light: idle", Origin::Station, CameraArg::StationWord, &H::onDetectionIdle },
        { msg::kSetIndicator, "set an indicator light", Origin::Station, CameraArg::StationWord, &H::onSetIndicator },
        { msg::kAddOperationLog, "operation log entry", Origin::Station, CameraArg::StationWord, &H::onAddOperationLog },
        { msg::kReloadRecordIndex, "reload every record index", Origin::Any, CameraArg::None, &H::onReloadRecordIndex },
        { msg::kEventBegins, "an event begins", Origin::Station, CameraArg::StationWord, &H::onEventBegins },
        { msg::kEventEnds, "the event ends", Origin::Station, CameraArg::StationWord, &H::onEventEnds },
        { msg::kShowMessage, "show a message", Origin::Station, CameraArg::None, &H::onShowMessage },
        { msg::kPlayerSaveIndex, "player: save every index", Origin::Any, CameraArg::None, &H::onPlayerSaveIndex },
        { msg::kPlayerDeletedRecord, "player deleted a record", Origin::Any, CameraArg::StationWordStrict, &H::onPlayerDeletedRecord },
        { msg::kPlayerDeletedDay, "player deleted a day", Origin::Any, CameraArg::StationWordStrict, &H::onPlayerDeletedDay },
        { msg::kPlayerDeletedAll, "player deleted all records", Origin::Any, CameraArg::StationWordStrict, &H::onPlayerDeletedAll },
        { msg::kApplyCameraState, "re-apply a camera's saved state", Origin::Any, CameraArg::StationWord, &H::onApplyCameraState },
        { msg::kSelectCamera, "select a camera", Origin::Station, CameraArg::StationWord, &H::onSelectCamera },
        { msg::kServerPtzCommand, "server: PTZ command", Origin::Any, CameraArg::ServerWord, &H::onServerMessage },
        { msg::kServerWantsCamera, "server: start streaming", Origin::Any, CameraArg::ServerWord, &H::onServerMessage },
        { msg::kServerReleasesCamera, "server: stop streaming", Origin::Any, CameraArg::ServerWord, &H::onServerMessage },
        { msg::kServerRegisters, "server registers", Origin::Any, CameraArg::AllCameras, &H::onServerMessage },
        { platform::kMsgCopyData, "copy-data from a companion", Origin::Peer, CameraArg::None, &H::onCopyData },
        { platform::kMsgShowWindow, "show and raise the station", Origin::Any, CameraArg::None, &H::onShowWindow },
        { kMsgCommand, "menu, panel or remote command", Origin::Station, CameraArg::StationWord, &H::onCommand },
        { kMsgPowerBroadcast, "power event: suspend is refused", Origin::Station, CameraArg::None, &H::onPowerBroadcast },
        { kMsgEndSession, "the user's session ends", Origin::Station, CameraArg::None, &H::onEndSession },
        { kMsgTimeChange, "the system clock was set", Origin::Station, CameraArg::None, &H::onTimeChange },
        { kMsgHeadlessCommand, "headless command (vantry --send)", Origin::Any, CameraArg::StationWord, &H::onHeadlessCommand },
    };
    return routes;
}

std::span<const CommandRoute> StationHub::commandRoutes()
{
    static const CommandRoute routes[] = {
        { cmd::kRecord, "Record", Gate::Login, &H::doRecord },
        { cmd::kSearchRecords, "Search Records", Gate::Login, &H::doSearchRecords },
        { cmd::kApplyMotionDetection, "Apply Motion Detection", Gate::None, &H::doApplyMotionDetection },
        { cmd::kLogout, "Logout", Gate::None, &H::doLogout },
        { cmd::kLogoutAndLogin, "log out, then log in", Gate::None, &H::doLogoutAndLogin },
        { cmd::kRemoteConnections, "Remote Connections", Gate::None, &H::doRemoteConnections },
        { cmd::kApplyAllCameraStates, "re-apply every camera's state", Gate::None, &H::doApplyAllCameraStates },
        { cmd::kScheduledStart, "scheduled start", Gate::None, &H::doScheduledStart },
        { cmd::kScheduledStop, "scheduled stop", Gate::None, &H::doScheduledStop },
        { cmd::kPlayLiveSound, "Play Live Sound", Gate::None, &H::doPlayLiveSound },
        { cmd::kPauseDetection, "pause detection", Gate::Login, &H::doPauseDetection },
        { cmd::kDisplayLiveVideo, "Display Live Video", Gate::None, &H::doDisplayLiveVideo },
        { cmd::kEventNotification, "Event Notification", Gate::None, &H::doEventNotification },
        { cmd::kVideoRecording, "Video Recording", Gate::Login, &H::doVideoRecording },
        { cmd::kRemoteProgramServing, "Enable Remote Viewing on Remote Program", Gate::None, &H::doRemoteProgramServing },
        { cmd::kExit, "Exit", Gate::None, &H::doExit },
        { cmd::kPreferences, "Preferences", Gate::Login, &H::doViewCommand },
        { cmd::kSnapshot, "Snapshot", Gate::Login, &H::doViewCommand },
        { cmd::kSnapshotMenu, "Snapshot", Gate::Login, &H::doViewCommand },
        { cmd::kMaskOptions, "mask options", Gate::Login, &H::doViewCommand },
        { cmd::kDetectionOptions, "detection options", Gate::Login, &H::doViewCommand },
        { cmd::kLogs, "Logs", Gate::None, &H::doViewCommand },
        { cmd::kRestoreSize, "Restore Size", Gate::None, &H::doViewCommand },
        { cmd::kRemoteViewingOptions, "Remote Viewing Options", Gate::Login, &H::doViewCommand },
        { cmd::kAlwaysOnTop, "Always on Top", Gate::None, &H::doViewCommand },
        { cmd::kLayoutAll, "layout: all cameras", Gate::None, &H::doViewCommand },
        { cmd::kLayoutCamera1, "layout: camera 1", Gate::None, &H::doViewCommand },
        { cmd::kLayoutCamera1 + 1, "layout: camera 2", Gate::None, &H::doViewCommand },
        { cmd::kLayoutCamera1 + 2, "layout: camera 3", Gate::None, &H::doViewCommand },
        { cmd::kLayoutCamera4, "layout: camera 4", Gate::None, &H::doViewCommand },
        { cmd::kFullScreen, "Full Screen", Gate::None, &H::doViewCommand },
        { cmd::kLoopDisplay, "loop display", Gate::None, &H::doViewCommand },
        { cmd::kCameraOptions, "Camera Options", Gate::Login, &H::doViewCommand },
        { cmd::kPreferenceMenu, "the Pref menu", Gate::None, &H::doViewCommand },
        { cmd::kDevices, "Devices", Gate::Login, &H::doViewCommand },
        { cmd::kHelp, "Help", Gate::None, &H::doViewCommand },
        { cmd::kAbout, "About", Gate::None, &H::doViewCommand },
    };
    return routes;
}

// ---------------------------------------------------------------------------------------
// Dispatch

int StationHub::resolveCamera(CameraArg arg, const platform::Message& message, int* cameraIndex, uint16_t* value) const
{
    const uint32_t word = static_cast<uint32_t>(message.lParam);
    switch (arg) {
    case CameraArg::None:
    case CameraArg::AllCameras:
        *cameraIndex = -1;
        *value = 0;
        return 1;
    case CameraArg::StationWord:
        *cameraIndex = common::resolveCamera(word, selectedCamera_);
        *value = common::cameraValueOf(word);
        return common::isStationCamera(*cameraIndex);
    case CameraArg::StationWordStrict:
        // The player names its camera; "the selected camera" means nothing to it.
        *cameraIndex = common::cameraIndexOf(word);
        *value = common::cameraValueOf(word);
        return common::isStationCamera(*cameraIndex);
    case CameraArg::ServerWord:
        *cameraIndex = common::serverWordCamera(message.wParam);
        *value = static_cast<uint16_t>(message.wParam & 0xFFFFu);
        return common::isStationCamera(*cameraIndex);
    }
    return 0;
}

int32_t StationHub::dispatch(const platform::Message& message)
{
    if (closed_)
        return 0;
    for (const MessageRoute& route : messageRoutes()) {
        if (route.number != message.msg)
            continue;
        const bool local = isLocal(message);
        if ((route.origin == Origin::Station && !local) || (route.origin == Origin::Peer && local))
            return 0;
        if (route.camera == CameraArg::AllCameras) {
            int32_t result = 0;
            for (int camera = 0; camera < common::kStationCameraCount; ++camera)
                result = (this->*route.handler)(HubCall { message, camera, 0 });
            return result;
        }
        int camera = -1;
        uint16_t value = 0;
        if (!resolveCamera(route.camera, message, &camera, &value))
            return 0;
        return (this->*route.handler)(HubCall { message, camera, value });
    }
    return 0;
}

void StationHub::command(uint32_t id, uint32_t cameraWord)
{
    if (closed_)
        return;
    const int camera = common::resolveCamera(cameraWord, selectedCamera_);
    if (!common::isStationCamera(camera))
        return;
    for (const CommandRoute& route : commandRoutes()) {
        if (route.id != id)
            continue;
        if (route.gate == Gate::Login && !passLoginGate())
            return;
        currentCommand_ = id;
        (this->*route.handler)(camera, common::cameraValueOf(cameraWord));
        return;
    }
}

// ---------------------------------------------------------------------------------------
// Message handlers

int32_t StationHub::onDetectionMotion(const HubCall& call)
{
    setIndicator(call.cameraIndex, kLightDetection, kDetectionMotion);
    return 1;
}

int32_t StationHub::onDetectionBlink(const HubCall& call)
{
    setIndicator(call.cameraIndex, kLightDetection, call.message.wParam == 1 ? kDetectionBlink : kDetectionMotion);
    return 1;
}

int32_t StationHub::onDetectionIdle(const HubCall& call)
{
    setIndicator(call.cameraIndex, kLightDetection, kDetectionIdle);
    return 1;
}

int32_t StationHub::onSetIndicator(const HubCall& call)
{
    setIndicator(call.cameraIndex, static_cast<int>(call.message.wParam), call.value);
    return 1;
}

int32_t StationHub::onAddOperationLog(const HubCall& call)
{
    std::string text;
    bool found = false;
    {
        std::lock_guard lock(logQueueMutex_);
        for (auto it = logQueue_.begin(); it != logQueue_.end(); ++it) {
            if (it->first == call.message.wParam) {
                text = std::move(it->second);
                logQueue_.erase(it);
                found = true;
                break;
            }
        }
    }
    if (!found)
        return 0;
    return addLogEntry(LogEntryType::Operation, call.cameraIndex, text);
}

int32_t StationHub::onReloadRecordIndex(const HubCall&)
{
    if (recordIndex_)
        recordIndex_->reloadIndexes();
    return 1;
}

int32_t StationHub::onEventBegins(const HubCall& call)
{
    const int camera = call.cameraIndex;
    const bool manual = call.value == 1;
    addLogEntry(LogEntryType::Event, camera, manual ? common::logtext::kManualEvent : common::logtext::kMotionEvent);
    const common::ChannelSettings& settings = settings_.channels[camera];
    if (settings.eventNotificationEnabled != 0) {
        if (settings.bringStationToFront != 0)
            view_->raiseWindow();
        for (StationEventListener* listener : eventListeners_)
            listener->eventNotification(camera, manual ? EventKind::Manual : EventKind::Motion, settings);
    }
    if (recording_)
        recording_->eventBegin(camera, call.message.wParam);
    if (frameLinks_)
        frameLinks_->eventState(camera, true);
    return 1;
}

int32_t StationHub::onEventEnds(const HubCall& call)
{
    const int camera = call.cameraIndex;
    for (StationEventListener* listener : eventListeners_)
        listener->eventEnded(camera);
    if (recording_)
        recording_->eventEnd(camera, call.message.wParam);
    if (frameLinks_)
        frameLinks_->eventState(camera, false);
    return 1;
}

int32_t StationHub::onShowMessage(const HubCall& call)
{
    showMessage(static_cast<int>(call.message.wParam));
    return 1;
}

int32_t StationHub::onPlayerSaveIndex(const HubCall&)
{
    if (!recordIndex_ || !recordIndex_->saveIndexes())
        return 0;
    const platform::WindowHandle player = platform::findWindow(kPlayerClass);
    if (player != platform::kNoWindow)
        platform::postMessage(player, msg::kIndexSaved, 0, 0);
    return 1;
}

int32_t StationHub::onPlayerDeletedRecord(const HubCall& call)
{
    if (recordIndex_)
        recordIndex_->removeRecord(call.cameraIndex, call.message.wParam);
    return 1;
}

int32_t StationHub::onPlayerDeletedDay(const HubCall& call)
{
    if (recordIndex_)
        recordIndex_->removeDay(call.cameraIndex, call.message.wParam);
    return 1;
}

int32_t StationHub::onPlayerDeletedAll(const HubCall& call)
{
    if (recordIndex_)
        recordIndex_->removeAll(call.cameraIndex);
    return 1;
}

int32_t StationHub::onApplyCameraState(const HubCall& call)
{
    applyCameraState(call.cameraIndex);
    return 1;
}

int32_t StationHub::onSelectCamera(const HubCall& call)
{
    selectedCamera_ = call.cameraIndex;
    view_->selectCamera(call.cameraIndex);
    return 1;
}

int32_t StationHub::onServerMessage(const HubCall& call)
{
    if (frameLinks_)
        frameLinks_->serverMessage(call.cameraIndex, call.message.msg, call.message.wParam, call.message.lParam);
    return 1;
}

int32_t StationHub::onCopyData(const HubCall& call)
{
    const platform::Message& message = call.message;
    if (message.copyDataType != msg::kCopyDataConnectionReport)
        return 0;
    const auto viewer = common::parseConnectionReport(message.copyData, message.copyDataType);
    if (!viewer)
        return 0;
    addLogEntry(LogEntryType::Connection, common::kSystemCamera,
                common::logtext::fill(common::logtext::kProgramConnection, *viewer));
    return 1;
}

int32_t StationHub::onShowWindow(const HubCall& call)
{
    if (call.message.wParam != 0)
        view_->raiseWindow();
    return 1;
}

int32_t StationHub::onCommand(const HubCall& call)
{
    command(call.message.wParam, static_cast<uint32_t>(call.message.lParam));
    return 1;
}

int32_t StationHub::onPowerBroadcast(const HubCall& call)
{
    // A box that sleeps records nothing.
    return call.message.wParam == kPowerQuerySuspend ? kPowerQueryDeny : 1;
}

int32_t StationHub::onEndSession(const HubCall& call)
{
    if (call.message.wParam == 0)
        return 0;
    // The session takes the devices away: the graphs stop now; the close that follows saves.
    for (auto& ch : channels_) {
        if (!ch)
            continue;
        ch->motion().stopDetection();
        ch->GraphStop();
    }
    return 0;
}

int32_t StationHub::onTimeChange(const HubCall&)
{
    if (recording_)
        recording_->timeChanged();
    return 0;
}

int32_t StationHub::onHeadlessCommand(const HubCall& call)
{
    // Only the commands a box without keyboard needs; everything else stays with the window.
    switch (static_cast<HeadlessCommand>(call.message.wParam)) {
    case HeadlessCommand::Record:
        command(cmd::kRecord, common::makeCameraWord(call.cameraIndex, call.value != 0 ? 1 : 0));
        return settings_.channels[call.cameraIndex].recordingEnabled != 0 ? 1 : 0;
    case HeadlessCommand::Trigger:
        return recording_ ? recording_->manualTrigger() : 0;
    }
    return 0;
}

// ---------------------------------------------------------------------------------------
// Command handlers

void StationHub::doRecord(int camera, uint16_t value)
{
    setRecording(camera, value != 0);
}

void StationHub::doSearchRecords(int, uint16_t)
{
    if (recordIndex_)
        recordIndex_->saveIndexes();
    const platform::WindowHandle player = platform::findWindow(kPlayerClass);
    if (player != platform::kNoWindow) {
        platform::postMessage(player, platform::kMsgShowWindow, 1, 0);
        return;
    }
    const std::string program = folders_.programFolder + "/" + kPlayerProgram;
    if (::access(program.c_str(), X_OK) != 0 || !platform::startProgram(program, { "/pass" })) {
        diagnostic("Cannot start the record player " + program);
        // The user asked for the records and must hear why nothing opens.
        showMessage(text_id::kNotInstalled);
    }
}

void StationHub::doApplyMotionDetection(int camera, uint16_t)
{
    common::ChannelSettings& settings = settings_.channels[camera];
    // Event recording lives on detection; switching it off by hand would silently stop it.
    if (settings.recordingEnabled != 0 && isEventRecordingType(settings.recordingType)) {
        showMessage(text_id::kEventRecordingKeepsDetection);
        return;
    }
    if (!passLoginGate())
        return;
    settings.motionDetectionEnabled = settings.motionDetectionEnabled != 0 ? 0 : 1;
    applyDetection(camera);
}

void StationHub::doLogout(int, uint16_t)
{
    if (!loginPasswordSet())
        return;
    if (loggedIn_.load()) {
        loggedIn_ = false;
        addLogEntry(LogEntryType::Operation, common::kSystemCamera, common::logtext::kLogout);
    } else if (passLoginGate()) {
        addLogEntry(LogEntryType::Operation, common::kSystemCamera, common::logtext::kLogin);
    }
}

void StationHub::doLogoutAndLogin(int, uint16_t)
{
    loggedIn_ = false;
    if (loginPasswordSet() && passLoginGate())
        addLogEntry(LogEntryType::Operation, common::kSystemCamera, common::logtext::kLogin);
}

void StationHub::doRemoteConnections(int, uint16_t)
{
    const platform::WindowHandle server = platform::findWindow(kServerClass);
    if (server != platform::kNoWindow)
        platform::postMessage(server, platform::kMsgShowWindow, 1, 0);
}

void StationHub::doApplyAllCameraStates(int, uint16_t)
{
    for (int camera = 0; camera < common::kStationCameraCount; ++camera)
        applyCameraState(camera);
}

void StationHub::doScheduledStart(int camera, uint16_t)
{
    if (recording_)
        recording_->scheduledStart(camera);
}

void StationHub::doScheduledStop(int camera, uint16_t)
{
    if (recording_)
        recording_->scheduledStop(camera);
}

void StationHub::doPlayLiveSound(int camera, uint16_t)
{
    common::ChannelSettings& settings = settings_.channels[camera];
    settings.playLiveSound = settings.playLiveSound != 0 ? 0 : 1;
    if (CameraChannel* ch = channel(camera))
        ch->setLiveSound(settings.playLiveSound != 0);
}

void StationHub::doPauseDetection(int, uint16_t)
{
    int paused = 0;
    for (int camera = 0; camera < common::kStationCameraCount; ++camera) {
        if (settings_.channels[camera].motionDetectionEnabled == 0 || !hasVideoDevice(camera))
            continue;
        setDetection(camera, false);
        ++paused;
    }
    if (paused == 0) {
        showMessage(text_id::kNoCameraDetecting);
        return;
    }
    const int lengthMs = std::max(settings_.pauseDetectionLengthMs, 0);
    pauseTimer_ = std::make_unique<QTimer>();
    pauseTimer_->setSingleShot(true);
    pauseTimer_->setInterval(lengthMs);
    QObject::connect(pauseTimer_.get(), &QTimer::timeout, context_.get(), [this] {
        // The timer must not be destroyed inside its own signal.
        QTimer::singleShot(0, context_.get(), [this] { endPauseDetection(); });
    });
    pauseTimer_->start();
    view_->showCountdown(lengthMs / 1000);
}

void StationHub::doDisplayLiveVideo(int camera, uint16_t)
{
    common::ChannelSettings& settings = settings_.channels[camera];
    settings.displayLiveVideo = settings.displayLiveVideo != 0 ? 0 : 1;
    view_->setLiveVideo(camera, settings.displayLiveVideo != 0);
}

void StationHub::doEventNotification(int camera, uint16_t)
{
    common::ChannelSettings& settings = settings_.channels[camera];
    settings.eventNotificationEnabled = settings.eventNotificationEnabled != 0 ? 0 : 1;
    for (StationEventListener* listener : eventListeners_)
        listener->cameraStateApplied(camera, hasVideoDevice(camera), settings);
}

void StationHub::doVideoRecording(int camera, uint16_t)
{
    common::ChannelSettings& settings = settings_.channels[camera];
    setRecording(camera, settings.recordingEnabled == 0);
    // Event recording lives on detection, which follows the flag (also after a failed start).
    if (recording_ && isEventRecordingType(settings.recordingType)) {
        settings.motionDetectionEnabled = settings.recordingEnabled;
        applyDetection(camera);
    }
}

void StationHub::doRemoteProgramServing(int, uint16_t)
{
    settings_.videoServerEnabled = settings_.videoServerEnabled != 0 ? 0 : 1;
    if (frameLinks_)
        frameLinks_->servingChanged(settings_.videoServerEnabled != 0);
}

void StationHub::doViewCommand(int camera, uint16_t)
{
    // The table row tells which command this was; the view gets the id back.
    view_->runViewCommand(currentCommand_, camera);
}

void StationHub::doExit(int, uint16_t)
{
    if (closeRequested_)
        closeRequested_();
    else
        close();
}

} // namespace vantry::station
