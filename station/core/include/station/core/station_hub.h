#pragma once

#include "common/event_log.h"
#include "common/service_settings.h"
#include "common/station_settings.h"
#include "common/text_log.h"
#include "platform/endpoint.h"
#include "platform/keep_awake.h"
#include "station/core/camera_channel.h"
#include "station/core/frame_link_control.h"
#include "station/core/hub_messages.h"
#include "station/core/motion_events.h"
#include "station/core/recording_control.h"
#include "station/core/station_event_listener.h"
#include "station/core/station_view.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

class QObject;
class QTimer;

namespace vantry::station {

class StationHub;

// One line of the hub's message table: the number, what it is, who may send it, how it names
// its camera, and the handler.
struct MessageRoute {
    uint32_t number = 0;
    const char* name = "";
    Origin origin = Origin::Station;
    CameraArg camera = CameraArg::None;
    int32_t (StationHub::*handler)(const HubCall&) = nullptr;
};

// One line of the command table: the id, what it does, whether the login gate runs first,
// and the handler (which gets the camera the command's word names).
enum class Gate { None, Login };
struct CommandRoute {
    uint32_t id = 0;
    const char* name = "";
    Gate gate = Gate::None;
    void (StationHub::*handler)(int cameraIndex, uint16_t value) = nullptr;
};

// Where the station keeps its files.
struct HubFolders {
    std::string dataFolder;    // settings, logs, mail, ftp, records
    std::string programFolder; // companion programs
};

// The station's hub: the main window's logic without a window. Owns the settings, the
// operation log and the text log, the four camera channels, the selected camera and the
// login state; turns every message of the channels, the companion programs and the
// station's own threads into calls on the channels and on its partners (view, recorder,
// record index, frame links, notification services) through one message table.
//
// Lives on the thread of a QCoreApplication and is used there; post(), postOperationLog()
// and the endpoint's postLocal are the only ways in from other threads.
class StationHub final : public ChannelListener, public MotionListener {
public:
    static constexpr int kMotionTickMs = 200;           // detection five times a second
    static constexpr int kKeepDisplayOnMs = 300000;     // timer 9

    StationHub(HubFolders folders, DeviceProvider& provider);
    ~StationHub() override;
    StationHub(const StationHub&) = delete;
    StationHub& operator=(const StationHub&) = delete;

    // Partners; all optional. Set before start-up; the hub does not own them.
    void setView(StationView* view);
    void setRecording(RecordingControl* recording) { recording_ = recording; }
    void setRecordIndex(RecordIndexControl* index) { recordIndex_ = index; }
    void setFrameLinks(FrameLinkControl* links) { frameLinks_ = links; }
    void addEventListener(StationEventListener* listener);
    // The login dialog: true when the user gave the right password. Without one, the gate
    // passes only while logged in.
    void setLoginGate(std::function<bool()> gate) { loginGate_ = std::move(gate); }
    // The endpoint "VYWatch" that delivers the companions' messages; local posts go through it
    // too. Without one the hub queues its own posts on its thread.
    void attachEndpoint(platform::Endpoint* endpoint) { endpoint_ = endpoint; }
    // Headless: log lines and operation-log entries also go to standard error.
    void setEchoToStderr(bool echo);

    // Start-up, in this order (each 1 on success, 0 on failure).
    // 1. Text log, settings (writing MainWndClassName04), the operation log and "Vantry starts.".
    int openSettingsAndLogs();
    // 2. (optional) Cameras without a working device get these devices, in camera order, when
    //    no camera has a device present; the choice is saved at once. Returns how many were set.
    int presetDevicesWhenNone(const std::vector<CaptureDevice>& video, const std::vector<CaptureDevice>& audio);
    // 3. Login state, server limits, the four channels from the settings, every camera's saved
    //    state, the detection tick and the keep-awake timer.
    int buildChannels(bool loggedInAtStart);
    // 4. Starts the stream server hidden from the program folder unless it runs or is missing.
    bool startStreamServer();

    // Closing order without the window's steps; saves the settings; idempotent.
    void close();
    bool isClosed() const { return closed_; }
    // Called when the hub itself decides to close (Exit command); the application quits.
    void setCloseRequestHandler(std::function<void()> handler) { closeRequested_ = std::move(handler); }

    // The message table. Dispatch checks the origin and the camera, then calls the handler;
    // unknown or refused messages give 0.
    int32_t dispatch(const platform::Message& message);
    // Commands by id with a camera word (high half 0: the selected camera).
    void command(uint32_t id, uint32_t cameraWord = 0);
    static std::span<const MessageRoute> messageRoutes();
    static std::span<const CommandRoute> commandRoutes();

    // Thread-safe posts into the hub's thread.
    bool post(uint32_t msg, uint32_t wParam, int32_t lParam);
    // Message 32784 from any thread: the text travels in a queue of the hub, the message
    // carries only its ticket.
    bool postOperationLog(uint32_t cameraWord, std::string text);

    // State.
    const common::StationSettings& settings() const { return settings_; }
    common::StationSettings& settings() { return settings_; }
    common::EventLog& eventLog() { return eventLog_; }
    common::TextLog& textLog() { return textLog_; }
    CameraChannel* channel(int cameraIndex);
    int selectedCamera() const { return selectedCamera_; }
    bool isLoggedIn() const { return loggedIn_.load(); }
    bool isDetectionPaused() const;
    bool isDetectionActive(int cameraIndex) const;
    const std::string& settingsPath() const { return settingsPath_; }
    const HubFolders& folders() const { return folders_; }
    // For the devices and camera options dialogs: the devices on offer and each camera's
    // capture settings (ZtCAP%02d), which the hub saves with the others.
    DeviceProvider& deviceProvider() { return provider_; }
    common::CaptureSettings& captureSettings(int cameraIndex) { return captures_[static_cast<size_t>(cameraIndex & 3)]; }

    // The Enter key: an event of every camera with a video device and manual trigger on,
    // ended after the trigger length of the highest-numbered camera with a device. Returns
    // how many cameras were triggered.
    int manualTrigger();
    // The stream server's settings changed (a dialog was confirmed): the frame links send
    // them to the server again.
    void serverSettingsChanged();
    bool isManualTriggerRunning() const;
    // The login gate as the commands run it: true when no password is set, the user is
    // logged in, or the login dialog accepted the password.
    bool passLogin() { return passLoginGate(); }

    // What the recorder shows through the hub: an indicator light (kind 3 = recording), a
    // message with its filled-in text, and detection switched on or off with its light.
    void showIndicator(int cameraIndex, int kind, int state) { setIndicator(cameraIndex, kind, state); }
    void showMessageText(int messageId, std::string_view text);
    void switchDetection(int cameraIndex, bool on) { setDetection(cameraIndex, on); }

    // Operation log entry with echo; 1/0 as EventLog::AddEntry.
    int addLogEntry(common::LogEntryType type, int cameraIndex, std::string_view text);
    // A diagnostic line in the text log.
    void diagnostic(std::string_view text);

    // ChannelListener
    void onGraphFailure(int cameraIndex, const std::string& step, const GraphFailure& failure) override;
    void onVideoDeviceLost(int cameraIndex) override;
    void onVideoDeviceReturned(int cameraIndex) override;
    void onFrameFormat(int cameraIndex, const FrameFormat& format) override;
    // MotionListener: the detector's reports become posted messages, as from any channel.
    void onMotionEvent(int cameraIndex, MotionEvent event, uint32_t value) override;

private:
    // Message handlers (hub_messages.cpp).
    int32_t onDetectionMotion(const HubCall& call);
    int32_t onDetectionBlink(const HubCall& call);
    int32_t onDetectionIdle(const HubCall& call);
    int32_t onSetIndicator(const HubCall& call);
    int32_t onAddOperationLog(const HubCall& call);
    int32_t onReloadRecordIndex(const HubCall& call);
    int32_t onEventBegins(const HubCall& call);
    int32_t onEventEnds(const HubCall& call);
    int32_t onShowMessage(const HubCall& call);
    int32_t onPlayerSaveIndex(const HubCall& call);
    int32_t onPlayerDeletedRecord(const HubCall& call);
    int32_t onPlayerDeletedDay(const HubCall& call);
    int32_t onPlayerDeletedAll(const HubCall& call);
    int32_t onApplyCameraState(const HubCall& call);
    int32_t onSelectCamera(const HubCall& call);
    int32_t onServerMessage(const HubCall& call);
    int32_t onCopyData(const HubCall& call);
    int32_t onShowWindow(const HubCall& call);
    int32_t onCommand(const HubCall& call);
    int32_t onPowerBroadcast(const HubCall& call);
    int32_t onEndSession(const HubCall& call);
    int32_t onTimeChange(const HubCall& call);
    int32_t onHeadlessCommand(const HubCall& call);

    // Command handlers (hub_messages.cpp).
    void doRecord(int cameraIndex, uint16_t value);
    void doSearchRecords(int cameraIndex, uint16_t value);
    void doApplyMotionDetection(int cameraIndex, uint16_t value);
    void doLogout(int cameraIndex, uint16_t value);
    void doLogoutAndLogin(int cameraIndex, uint16_t value);
    void doRemoteConnections(int cameraIndex, uint16_t value);
    void doApplyAllCameraStates(int cameraIndex, uint16_t value);
    void doScheduledStart(int cameraIndex, uint16_t value);
    void doScheduledStop(int cameraIndex, uint16_t value);
    void doPlayLiveSound(int cameraIndex, uint16_t value);
    void doPauseDetection(int cameraIndex, uint16_t value);
    void doDisplayLiveVideo(int cameraIndex, uint16_t value);
    void doEventNotification(int cameraIndex, uint16_t value);
    void doVideoRecording(int cameraIndex, uint16_t value);
    void doRemoteProgramServing(int cameraIndex, uint16_t value);
    void doExit(int cameraIndex, uint16_t value);
    void doViewCommand(int cameraIndex, uint16_t value);

    // Steps shared by handlers (station_hub.cpp).
    bool passLoginGate();
    bool loginPasswordSet() const { return settings_.loginRequired != 0; }
    void applyCameraState(int cameraIndex);
    void applyDetection(int cameraIndex);
    void setDetection(int cameraIndex, bool on);
    bool setRecording(int cameraIndex, bool on);
    void setIndicator(int cameraIndex, int kind, int state);
    void showMessage(int messageId);
    void endPauseDetection();
    void endManualTrigger();
    void motionTick();
    ChannelConfig channelConfig(int cameraIndex) const;
    bool hasVideoDevice(int cameraIndex) const;
    bool isLocal(const platform::Message& message) const;
    int resolveCamera(CameraArg arg, const platform::Message& message, int* cameraIndex, uint16_t* value) const;

    HubFolders folders_;
    DeviceProvider& provider_;
    std::string settingsPath_;
    common::StationSettings settings_;
    std::array<common::CaptureSettings, common::kStationCameraCount> captures_ {};
    common::EventLog eventLog_;
    common::TextLog textLog_;
    std::array<std::unique_ptr<CameraChannel>, common::kStationCameraCount> channels_ {};

    StationView defaultView_;
    StationView* view_ = &defaultView_;
    RecordingControl* recording_ = nullptr;
    RecordIndexControl* recordIndex_ = nullptr;
    FrameLinkControl* frameLinks_ = nullptr;
    std::vector<StationEventListener*> eventListeners_;
    std::function<bool()> loginGate_;
    std::function<void()> closeRequested_;
    platform::Endpoint* endpoint_ = nullptr;
    platform::KeepAwake keepAwake_;

    std::unique_ptr<QObject> context_;
    std::unique_ptr<QTimer> motionTimer_;
    std::unique_ptr<QTimer> keepDisplayTimer_;
    std::unique_ptr<QTimer> pauseTimer_; // timer 13
    std::unique_ptr<QTimer> manualTriggerTimer_; // timer 15
    uint32_t currentCommand_ = 0;

    int selectedCamera_ = 0;
    std::atomic<bool> loggedIn_ { false };
    bool echo_ = false;
    bool settingsOpen_ = false;
    bool channelsBuilt_ = false;
    bool closed_ = false;
    bool noRecorderReported_ = false;

    std::mutex logQueueMutex_;
    std::deque<std::pair<uint32_t, std::string>> logQueue_; // ticket, text
    uint32_t nextTicket_ = 1;
};

} // namespace vantry::station
