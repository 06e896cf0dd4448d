// The schema of vantry.ini: every section and key, its type, default, limit and whether the
// station reads or writes it, declared once in one table. Records (StationSettings,
// ChannelSettings and the service records) are filled and written from this table alone.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "common/service_settings.h"
#include "common/station_settings.h"
#include "platform/ini_profile.h"

namespace vantry::common {

// Which record a key belongs to. Channel, Capture and Motion keys live in per-camera sections
// whose names carry the camera number as "%02d".
enum class SettingOwner : uint8_t { Station, Channel, Capture, Motion, SnapFont, Log, Gateray, Player };

enum class SettingType : uint8_t {
    Number,           // signed decimal text
    Text,             // as it is, at most 259 characters read
    ScrambledPassword // the login password in its scrambled form (MaskData)
};

enum SettingAccess : uint8_t {
    kNotAccessed = 0, // read by another program only
    kRead = 1,
    kWrite = 2,
    kReadWrite = 3,
};

// Defaults that depend on where and for which camera the settings are loaded.
enum class DefaultRule : uint8_t {
    Fixed,        // numberDefault / textDefault
    ComputerName, // the computer's network name
    CameraName,   // "Camera %d" with the camera number
    AlarmFile,    // data folder + "/sound/alarm.wav"
    StoragePath,  // data folder + "/records/camera%02d"
};

// Limits applied when a number is read.
enum class ClampRule : uint8_t {
    None,
    ConnectionLimit, // outside 1..16 (compared unsigned) -> 16
    FrameRate,       // <= 0 -> 1, > 30 -> 30
    VideoQuality,    // <= 0 -> 80, > 100 -> 100
    LogCapacity,     // <= 0 -> 100, > 1000 -> 1000
};

// Two Preference keys are saved after the cameras.
enum class SavePhase : uint8_t { Normal, AfterCameras };

using SettingField = std::variant<std::monostate,
    int32_t StationSettings::*, std::string StationSettings::*,
    int32_t ChannelSettings::*, std::string ChannelSettings::*,
    int32_t CaptureSettings::*, std::string CaptureSettings::*,
    int32_t MotionSettings::*, std::string MotionSettings::*,
    int32_t SnapFontSettings::*, std::string SnapFontSettings::*,
    int32_t LogSettings::*, std::string LogSettings::*,
    int32_t GaterayAddressSettings::*, std::string GaterayAddressSettings::*,
    int32_t PlayerSettings::*, std::string PlayerSettings::*>;

struct SettingKey {
    SettingOwner owner = SettingOwner::Station;
    const char* section = "";
    const char* key = "";
    SettingType type = SettingType::Number;
    int32_t numberDefault = 0;
    const char* textDefault = "";
    DefaultRule defaultRule = DefaultRule::Fixed;
    bool emptyMeansDefault = false; // an empty stored text also yields the default
    ClampRule clamp = ClampRule::None;
    uint8_t access = kReadWrite;
    SavePhase phase = SavePhase::Normal;
    // The record member the key fills. Keys without one are written from numberDefault
    // (constants) or are read by another program only.
    SettingField field;

    bool isPerCamera() const
    {
        return owner == SettingOwner::Channel || owner == SettingOwner::Capture || owner == SettingOwner::Motion;
    }
    bool isRead() const { return (access & kRead) != 0; }
    bool isWritten() const { return (access & kWrite) != 0; }
};

// The whole table, in file order.
std::span<const SettingKey> settingsSchema();

// The entry of a section and key (per-camera sections by their pattern, "Preference_ch%02d";
// names compare case-insensitively), or nullptr.
const SettingKey* findSettingKey(std::string_view section, std::string_view key);

// The section name for a camera number (1-based; ignored for global sections).
std::string sectionName(const SettingKey& key, int cameraNumber);

// The default of a text key, or of a number key as text.
std::string defaultText(const SettingKey& key, int cameraNumber, const SettingsContext& context);

int32_t applyClamp(ClampRule rule, int32_t value);

// One key as read from a document, with its default and limit applied.
int32_t readNumberSetting(const platform::IniDocument& document, const SettingKey& key, int cameraNumber);
std::string readTextSetting(const platform::IniDocument& document, const SettingKey& key, int cameraNumber,
                            const SettingsContext& context);

// Fills every key of a record that the station reads (for StationSettings and ChannelSettings;
// the service records are read whole). cameraNumber is 1-based for per-camera records (the
// player uses 1 to 16) and ignored otherwise.
template <class Record>
void readSettings(const platform::IniDocument& document, Record& record, int cameraNumber,
                  const SettingsContext& context);

// Writes the record's keys of one phase in table order.
template <class Record>
void writeSettings(platform::IniDocument& document, const Record& record, int cameraNumber,
                   const SettingsContext& context, SavePhase phase = SavePhase::Normal);

// One-call forms for the owners of a section (capture graph, motion detector, snapshots, ...):
// read the record from the settings file (missing file: defaults, true), or write its keys into
// the file under the process-wide profile lock, keeping every other key, with the file private
// to its owner. False with the reason in errorText on failure.
template <class Record>
bool loadSettingsFile(const std::string& path, Record& record, int cameraNumber, const SettingsContext& context,
                      std::string* errorText = nullptr);
template <class Record>
bool saveSettingsFile(const std::string& path, const Record& record, int cameraNumber, const SettingsContext& context,
                      std::string* errorText = nullptr);

} // namespace vantry::common
