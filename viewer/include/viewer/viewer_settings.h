// The viewer's settings: one record read from and written to the viewer's vantry.ini, with a
// default for every key. Values outside what the dialogs offer are brought back into range on
// reading, so a hand-edited file can never ask the link for an impossible stream.
#pragma once

#include "common/service_settings.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vantry::platform {
class IniDocument;
}

namespace vantry::viewer {

inline constexpr int kHistoryMax = 20;
inline constexpr int kFrameRates[] = { 15, 12, 10, 8, 5, 4, 3, 2, 1 };

enum class RecordType : int32_t { RoundTheClock = 0, Event = 1 };

struct ViewerSettings {
    // Preference
    int32_t byIpAddress = 1;
    std::string ip = "127.0.0.1";
    int32_t port = 81;
    std::string connectionId;
    int32_t cameraIndex = 0;
    int32_t timeoutSeconds = 3;
    int32_t displayEventOnly = 0;
    RecordType recordType = RecordType::RoundTheClock;
    int32_t alarm = 0;
    std::string alarmFile; // data folder + "/sound/alarm.wav" when empty
    int32_t showUp = 0;
    int32_t hasMask = 0;
    std::string lockPassword; // MaskData, unmasked
    // Registration server's lookup address (an http URL ending in vy_ip_get.php); empty: no
    // lookup is tried.
    std::string lookupUrl;
    // Storage_ch01
    std::string storagePath; // data folder + "/records" when empty
    int32_t recycle = 1;
    int32_t fileLengthMinutes = 5;
    int32_t minFreeSpaceMb = 1024;
    // Advance
    int32_t quality = 7;
    int32_t frameRate = 5;
    int32_t halfSize = 0;
    // History, oldest first
    std::vector<std::string> history;
    // Snap: caption colour and font, shared in form with the station's snapshots
    common::SnapFontSettings snap;

    // Adds an entry to the connect history: present entries are not added again; a full list
    // drops its oldest entry.
    void addHistory(const std::string& entry);
};

// Reads every key (missing keys give their defaults); dataFolder fills the folder defaults.
ViewerSettings readViewerSettings(const platform::IniDocument& ini, const std::string& dataFolder);
// Writes every key into the document (other sections and keys stay as they are).
void writeViewerSettings(platform::IniDocument& ini, const ViewerSettings& settings, uint32_t nowSeconds);
// Whole file forms: read (a missing or unreadable file gives the defaults) and write (mode
// 0600: the file holds the lock password). write returns false with the reason.
ViewerSettings loadViewerSettings(const std::string& iniPath, const std::string& dataFolder);
bool saveViewerSettings(const std::string& iniPath, const ViewerSettings& settings, std::string* errorText = nullptr);

// Prepares the data folder and its records folder, and copies the program folder's
// vantry.ini when the data folder has none (never overwriting). Returns the settings path.
std::string prepareViewerDataFolder(const std::string& dataFolder, const std::string& programFolder);

// The frame rate nearest to a requested one among those the viewer offers.
int32_t nearestFrameRate(int32_t fps);

} // namespace vantry::viewer
