// Fixed texts of the operation and event log, and the helpers that fill the ones with a blank.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vantry::common::logtext {

inline constexpr std::string_view kStationStarts = "Vantry starts.";
inline constexpr std::string_view kStationStops = "Vantry stops.";
inline constexpr std::string_view kLogin = "Login.";
inline constexpr std::string_view kLogout = "Logout.";
inline constexpr std::string_view kStartVideoServer = "Start video server.";
inline constexpr std::string_view kStartRoundTheClock = "Start the round-the-clock recording.";
inline constexpr std::string_view kStopRoundTheClock = "Stop the round-the-clock recording.";
inline constexpr std::string_view kStartEventRecording = "Start the event recording.";
inline constexpr std::string_view kStopEventRecording = "Stop the event recording.";
inline constexpr std::string_view kStartScheduled = "Start the scheduled recording.";
inline constexpr std::string_view kStopScheduled = "Stop the scheduled recording.";
inline constexpr std::string_view kStartScheduledEvent = "Start the scheduled event recording.";
inline constexpr std::string_view kStopScheduledEvent = "Stop the scheduled event recording.";
inline constexpr std::string_view kMotionEvent = "Motion event.";
inline constexpr std::string_view kManualEvent = "Manual triggered event.";
inline constexpr std::string_view kStorageShort =
    "The video recording is stopped because of insufficient free record storage.";
inline constexpr std::string_view kModifyVideoServer = "Modify the video server settings.";
inline constexpr std::string_view kModifyPreferences = "Modify the preferences.";
inline constexpr std::string_view kComputerRestarted = "The computer restarted.";
inline constexpr std::string_view kConnectionInfoSuccess = "Update connection information (Success).";
inline constexpr std::string_view kConnectionInfoFail = "Update connection information (Fail).";

// Patterns with one "%s".
inline constexpr std::string_view kModifyCameraOptions = "Modify the option of camera %s. ";
inline constexpr std::string_view kRouterAddressChanged = "The router IP address changed to %s.";
inline constexpr std::string_view kComputerAddressChanged = "The computer IP address changed to %s.";
inline constexpr std::string_view kBrowserConnection =
    "Internet browser requested a remote viewing at the IP address %s.";
// Two blanks before the address, as the entry has always read.
inline constexpr std::string_view kProgramConnection =
    "Remote program requested a remote viewing at the IP address  %s.";

// Error texts of the log object.
inline constexpr std::string_view kErrorReadCount = "Fail to read the log count value in the log file!";
inline constexpr std::string_view kErrorDelete = "Cannot delete the log file!";

// The pattern with its "%s" replaced by argument (taken literally, never as a format).
std::string fill(std::string_view pattern, std::string_view argument);

// " 1 3" for cameras with indexes 0 and 2: the list of "Modify the option of camera %s. ".
std::string cameraNumberList(const std::vector<int>& cameraIndexes);

} // namespace vantry::common::logtext
