#pragma once

#include "common/station_messages.h"
#include "platform/messages.h"

#include <cstdint>
#include <string_view>

namespace vantry::station {

// System events as the hub hears them, posted by the glue that watches the system (clock,
// power, session). The numbers are those of the window messages they stand for.
inline constexpr uint32_t kMsgEndSession = 0x0016;     // wParam 1: the user's session ends
inline constexpr uint32_t kMsgTimeChange = 0x001E;     // the system clock was set
inline constexpr uint32_t kMsgPowerBroadcast = 0x0218; // wParam: power event
inline constexpr uint32_t kPowerQuerySuspend = 0;
// The answer that refuses a suspend request.
inline constexpr int32_t kPowerQueryDeny = 0x424D5144;

// Commands of the station's menus, panel buttons and remote commands. They reach the hub as
// kMsgCommand with the command id in wParam and a camera word in lParam (high half 0: the
// selected camera).
inline constexpr uint32_t kMsgCommand = 0x0111;

// A command from `vantry --send` (another process of the same user, through the endpoint):
// wParam one of the headless commands below, lParam a camera word (low half: on/off).
inline constexpr uint32_t kMsgHeadlessCommand = 33900;
enum class HeadlessCommand : uint32_t { Record = 1, Trigger = 2 };

namespace cmd {
inline constexpr uint32_t kRecord = 32776;
inline constexpr uint32_t kSearchRecords = 32778;
inline constexpr uint32_t kApplyMotionDetection = 32780;
inline constexpr uint32_t kLogout = 32787;
inline constexpr uint32_t kLogoutAndLogin = 32788;
inline constexpr uint32_t kRemoteConnections = 32790;
inline constexpr uint32_t kApplyAllCameraStates = 32792;
inline constexpr uint32_t kScheduledStart = 32794;
inline constexpr uint32_t kScheduledStop = 32795;
inline constexpr uint32_t kPlayLiveSound = 32796;
inline constexpr uint32_t kPauseDetection = 32816;
inline constexpr uint32_t kDisplayLiveVideo = 32831;
inline constexpr uint32_t kEventNotification = 32832;
inline constexpr uint32_t kVideoRecording = 32836;
inline constexpr uint32_t kRemoteProgramServing = 32860;
inline constexpr uint32_t kExit = 57665;

// Commands the window carries out (StationView::runViewCommand), listed in the hub's table
// so that the login gate and the camera word work the same for every command.
inline constexpr uint32_t kPreferences = 32775;
inline constexpr uint32_t kSnapshot = 32777;
inline constexpr uint32_t kMaskOptions = 32782;
inline constexpr uint32_t kDetectionOptions = 32783;
inline constexpr uint32_t kLogs = 32784;
inline constexpr uint32_t kRestoreSize = 32786;
inline constexpr uint32_t kRemoteViewingOptions = 32789;
inline constexpr uint32_t kAlwaysOnTop = 32799;
inline constexpr uint32_t kLayoutAll = 32807;
inline constexpr uint32_t kLayoutCamera1 = 32808; // .. 32811 for camera 4
inline constexpr uint32_t kLayoutCamera4 = 32811;
inline constexpr uint32_t kFullScreen = 32812;
inline constexpr uint32_t kLoopDisplay = 32813;
inline constexpr uint32_t kCameraOptions = 32820;
inline constexpr uint32_t kPreferenceMenu = 32822;
inline constexpr uint32_t kDevices = 32823;
inline constexpr uint32_t kSnapshotMenu = 32834;
inline constexpr uint32_t kHelp = 57670;
inline constexpr uint32_t kAbout = 57664;
} // namespace cmd

// Message ids of the texts the hub shows.
namespace text_id {
inline constexpr int kEventRecordingKeepsDetection = 61218;
inline constexpr int kNoCameraDetecting = 61394;
inline constexpr int kCloseQuestion = 61356;
inline constexpr int kNotInstalled = 61264; // also: a companion program is missing
} // namespace text_id

// The station's own text for a message id, empty when the hub has none.
std::string_view hubMessageText(int messageId);

// Who may send a message to the station.
enum class Origin {
    Station, // the station's own threads (posted to itself)
    Peer,    // the companion programs (record player, stream server, another start)
    Any,
};

// How a message names its camera.
enum class CameraArg {
    None,
    StationWord,       // lParam: camera word, high half 0 = the selected camera
    StationWordStrict, // lParam: camera word; a high half of 0 or above 4 is ignored
    ServerWord,        // wParam: 0-based camera in the high half; 0x40000 and up ignored
    AllCameras,        // the message goes to each of the four cameras
};

// A message as a handler sees it: the platform message and its camera, resolved.
struct HubCall {
    const platform::Message& message;
    int cameraIndex = -1;   // 0..3, or -1 for messages without a camera
    uint16_t value = 0;     // the camera word's low half
};

} // namespace vantry::station
