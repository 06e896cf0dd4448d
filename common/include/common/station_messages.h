// Message numbers exchanged between the Vantry programs and inside the station (application
// range from 32768). One table of names, used by senders and receivers alike.
#pragma once

#include <cstdint>

namespace vantry::common::msg {

inline constexpr uint32_t kApp = 32768; // first private message number

// Station main window: channel, panel and service reports (camera word in lParam).
inline constexpr uint32_t kDetectionMotion = 32780;        // wParam: motion start time
inline constexpr uint32_t kDetectionBlink = 32781;         // wParam: 1 blink, 0 as kDetectionMotion
inline constexpr uint32_t kDetectionIdle = 32782;          // wParam: last motion time
inline constexpr uint32_t kSetIndicator = 32783;           // wParam: indicator kind
inline constexpr uint32_t kAddOperationLog = kApp + 16;    // 32784; wParam: text
inline constexpr uint32_t kReloadRecordIndex = 32786;
inline constexpr uint32_t kEventBegins = 32787;            // wParam: event time; low word 1 = manual
inline constexpr uint32_t kEventEnds = 32788;              // wParam: event end time
inline constexpr uint32_t kShowMessage = 32820;            // wParam: string id
inline constexpr uint32_t kRestartWebServer = 32868;
inline constexpr uint32_t kApplyCameraState = 33869;
inline constexpr uint32_t kSelectCamera = 33870;
inline constexpr uint32_t kAddressChanged = 33872;
inline constexpr uint32_t kReapplyPortMappings = 33873;

// Record player <-> writers of a record index (station, viewer).
inline constexpr uint32_t kPlayerSaveIndex = 33781;
inline constexpr uint32_t kIndexSaved = 33782;
inline constexpr uint32_t kPlayerDeletedRecord = 33783; // wParam: record start time
inline constexpr uint32_t kPlayerDeletedDay = 33784;    // wParam: a time in the day
inline constexpr uint32_t kPlayerDeletedAll = 33785;

// Stream server -> station (camera index 0-based in the high word of wParam).
inline constexpr uint32_t kServerPtzCommand = 32792;
inline constexpr uint32_t kServerWantsCamera = 32799;
inline constexpr uint32_t kServerReleasesCamera = 32800;
inline constexpr uint32_t kServerRegisters = 32801; // lParam: server window id

// Station -> stream server (camera index 0-based in the high word of lParam).
inline constexpr uint32_t kStreamingStarted = 32809;
inline constexpr uint32_t kStreamingStopped = 32810;
inline constexpr uint32_t kServerPort = 32811;
inline constexpr uint32_t kServerEnable = 32812;
inline constexpr uint32_t kFormatInMailbox = 32815;
inline constexpr uint32_t kCameraEventState = 32816;
inline constexpr uint32_t kConnectionLimit = 32817;
inline constexpr uint32_t kPasswordInMailbox = 32818;
inline constexpr uint32_t kStationCapabilities = 32819;
inline constexpr uint32_t kCameraStatus = 32824;
inline constexpr uint32_t kStartListening = 32825;
inline constexpr uint32_t kStopListening = 32826;
inline constexpr uint32_t kCameraOffered = 32827;
inline constexpr uint32_t kSiteNameInMailbox = 32828;
inline constexpr uint32_t kCameraNameInMailbox = 32829;

// Copy-data kinds.
inline constexpr uint32_t kCopyDataConnectionReport = 1; // stream server -> station, magic 830

// Station -> gateray requests (link packet magic 723; value = slot where it applies).
inline constexpr uint32_t kGaterayDeleteBoth = 0x10000001;
inline constexpr uint32_t kGaterayQueryGateway = 0x10000002;
inline constexpr uint32_t kGaterayAddMapping = 0x10000004;
inline constexpr uint32_t kGaterayDeleteMapping = 0x10000008;
inline constexpr uint32_t kGaterayEditMapping = 0x10000010;
inline constexpr uint32_t kGaterayToggleWindow = 0x10000020;

// Gateray -> station answers.
inline constexpr uint32_t kGaterayHello = 1;
inline constexpr uint32_t kGaterayChange = 4;
inline constexpr uint32_t kGaterayFound = 8;
inline constexpr uint32_t kGaterayAddResult = 16;
inline constexpr uint32_t kGaterayDeleteResult = 32;
inline constexpr uint32_t kGaterayEditResult = 64;

} // namespace vantry::common::msg
