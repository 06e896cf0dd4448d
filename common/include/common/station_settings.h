// The station's persistent settings: StationSettings (global part plus four ChannelSettings),
// read from and written to vantry.ini in the data folder. Every key, default and limit comes
// from the one schema table (settings_schema.h).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "common/camera_word.h"

namespace vantry::common {

// One camera's settings. The initial values are those of a record that was never loaded; Load
// replaces every one of them with the file's value or the key's default.
struct ChannelSettings {
    // Preference_chNN
    int32_t recordAudio = 0;
    int32_t recordingType = 0; // 0 round-the-clock, 1 event, 2 scheduled, 3 scheduled event
    std::string cameraName;
    // VideoSize_chNN
    int32_t frameHeight = 240;
    int32_t frameWidth = 320;
    int32_t frameCompression = 0; // four-character code read as a little-endian number
    // State_chNN
    int32_t motionDetectionEnabled = 0;
    int32_t recordingEnabled = 0;
    int32_t eventNotificationEnabled = 0;
    int32_t displayLiveVideo = 0;
    int32_t playLiveSound = 0;
    int32_t manualTriggerEnabled = 0;
    int32_t manualTriggerLengthSeconds = 0;
    // AudioFormat_chNN
    int32_t audioChannels = 0;
    int32_t audioBytesPerSample = 0;
    int32_t audioSamplingRate = 0;
    // Notification_chNN
    int32_t alarmEnabled = 0;
    std::string alarmFile;
    int32_t alarmLoop = 0;
    int32_t emailEnabled = 0;
    int32_t emailRecipientCount = 1;
    std::string emailRecipients;
    std::string emailSubject = "Default";
    int32_t emailPictureCount = 0;
    int32_t emailPictureSize = 0;
    int32_t ftpEnabled = 0;
    std::string ftpAddress;
    std::string ftpUserName;
    std::string ftpPassword;
    int32_t ftpPictureCount = 1;
    int32_t ftpPictureSize = 0;
    int32_t runProgramEnabled = 0;
    std::string programPath;
    int32_t bringStationToFront = 0;
    // Schedule_chNN: bit h set = hour h of that weekday is scheduled
    int32_t scheduleSunday = 0;
    int32_t scheduleMonday = 0;
    int32_t scheduleTuesday = 0;
    int32_t scheduleWednesday = 0;
    int32_t scheduleThursday = 0;
    int32_t scheduleFriday = 0;
    int32_t scheduleSaturday = 0;
    // Storage_chNN
    std::string storagePath;
    int32_t minFreeSpaceMB = 1024;
    int32_t fileLengthMinutes = 5;
    int32_t recycleEnabled = 1;
    int32_t maxStorageEnabled = 0;
    int32_t maxStorageMB = 20480;
    // PTZ_chNN
    int32_t ptzControlEnabled = 0;
    int32_t serialPort = 0;
    int32_t ptzProtocolId = 0;
    std::string presetName1;
    std::string presetName2;
    std::string presetName3;
    std::string presetName4;

    // weekday 0 = Sunday .. 6 = Saturday; 0 for any other weekday.
    uint32_t scheduleWord(int weekday) const;
    void setScheduleWord(int weekday, uint32_t word);
    bool isHourScheduled(int weekday, int hour) const;
    // index 0..3; empty for any other index.
    std::string presetName(int index) const;
    void setPresetName(int index, std::string name);
};

// Hands the stream server's password to the web server as its access password; the web-server
// control plugs in here once it exists.
using WebAccessPasswordSink = std::function<void(const std::string& password)>;

// Receives one line of diagnostics (the text log), for failures that no window shows.
using DiagnosticSink = std::function<void(std::string_view text)>;

// Everything a load needs besides the file: where the data folder is (defaults of the alarm
// sound and of the record folders live under it), the computer's name (default site name),
// and the clock that seeds the password scrambling on save.
struct SettingsContext {
    std::string dataFolder;
    std::string computerName;
    std::function<uint32_t()> nowSeconds; // empty: the system clock
};

class StationSettings {
public:
    static constexpr int kMaxLoginPasswordLength = 16;

    StationSettings();

    // Fills the record from path (all global keys, then cameras 01 to 04, then the caption and
    // proportions flags) and marks it loaded. A missing file gives all defaults and success; a
    // file that cannot be read gives all defaults, marks the record loaded, and returns false
    // with the reason in LastError() (a later Save then refuses to replace that file).
    // The one-argument form takes the data folder from path's folder and the computer's name
    // from the system.
    bool Load(const std::string& path);
    bool Load(const std::string& path, SettingsContext context);

    // Start-up step before the channels are built: when the stream server's password check is
    // on, hands its password to webPassword; then re-reads the connection limit with its clamp.
    // False when the record was never loaded.
    bool LoadServerLimits(const WebAccessPasswordSink& webPassword = {});

    // Writes every key the station saves, in schema order (global keys, cameras 01 to 04, then
    // m_fCaption and m_fKeepVideoPropertions), into path or, when empty, the loaded path. Keys
    // and sections owned by others in the same file are kept. Does nothing and returns false
    // when the record was never loaded. The file is created readable by its owner only and is
    // replaced whole, so a failed save leaves the previous file intact.
    bool Save(const std::string& path = {});

    // Writes one string into section Preference of the loaded file (MainWndClassName04).
    bool WritePreference(std::string_view key, std::string_view value);

    // Bit i of the served-camera mask for i = 0..15; false for any other i.
    bool IsCameraServed(int cameraIndex) const;

    bool isLoaded() const { return loaded_; }
    const std::string& loadedPath() const { return loadedPath_; }
    const SettingsContext& context() const { return context_; }
    const std::string& LastError() const { return lastError_; }
    void setDiagnosticSink(DiagnosticSink sink) { diagnostics_ = std::move(sink); }

    // Section Preference
    int32_t loginRequired = 0; // fHasMask
    std::string loginPassword; // MaskData, at most 16 characters
    std::string siteName;
    int32_t restartComputer = 0;
    int32_t restartHour = 0;
    int32_t autoStart = 0;
    int32_t alwaysOnTop = 0;
    int32_t pauseDetectionLengthMs = 10000;
    int32_t loopDisplayLengthMs = 3000;
    int32_t autoFrameRateAdjustment = 0;
    int32_t caption = 0;
    int32_t keepVideoProportions = 1;
    int32_t usePlainVideoRenderer = 0;
    // Section EmailServer
    std::string smtpServer;
    std::string smtpUserName;
    std::string smtpPassword;
    std::string smtpSender;
    // Section VideoServer
    int32_t videoServerEnabled = 0;
    int32_t videoServerPort = 81;
    int32_t connectionLimit = 16;
    int32_t servedCameraMask = -1;
    int32_t videoServerPasswordCheck = 0;
    std::string videoServerPassword;
    int32_t connectByID = 0;
    std::string connectID;
    // Section WebServer
    int32_t webServerEnabled = 0;
    int32_t webServerPort = 0;
    int32_t webPictureWidth = 0;
    int32_t webPictureHeight = 0;
    std::string webRoot;
    // Section Notification
    int32_t notifyIPChange = 0;
    std::string ipChangeRecipient;

    std::array<ChannelSettings, kStationCameraCount> channels;

private:
    void reportFailure(const std::string& text);

    SettingsContext context_;
    std::string loadedPath_;
    std::string lastError_;
    DiagnosticSink diagnostics_;
    bool loaded_ = false;
};

} // namespace vantry::common
