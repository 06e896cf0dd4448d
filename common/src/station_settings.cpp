#include "common/station_settings.h"

#include "platform/system_info.h"
#include "common/settings_schema.h"
#include "platform/ini_profile.h"

namespace vantry::common {

uint32_t ChannelSettings::scheduleWord(int weekday) const
{
    switch (weekday) {
    case 0: return static_cast<uint32_t>(scheduleSunday);
    case 1: return static_cast<uint32_t>(scheduleMonday);
    case 2: return static_cast<uint32_t>(scheduleTuesday);
    case 3: return static_cast<uint32_t>(scheduleWednesday);
    case 4: return static_cast<uint32_t>(scheduleThursday);
    case 5: return static_cast<uint32_t>(scheduleFriday);
    case 6: return static_cast<uint32_t>(scheduleSaturday);
    default: return 0;
    }
}

void ChannelSettings::setScheduleWord(int weekday, uint32_t word)
{
    const auto value = static_cast<int32_t>(word);
    switch (weekday) {
    case 0: scheduleSunday = value; break;
    case 1: scheduleMonday = value; break;
    case 2: scheduleTuesday = value; break;
    case 3: scheduleWednesday = value; break;
    case 4: scheduleThursday = value; break;
    case 5: scheduleFriday = value; break;
    case 6: scheduleSaturday = value; break;
    default: break;
    }
}

bool ChannelSettings::isHourScheduled(int weekday, int hour) const
{
    return hour >= 0 && hour < 24 && ((scheduleWord(weekday) >> hour) & 1u) != 0;
}

std::string ChannelSettings::presetName(int index) const
{
    switch (index) {
    case 0: return presetName1;
    case 1: return presetName2;
    case 2: return presetName3;
    case 3: return presetName4;
    default: return {};
    }
}

void ChannelSettings::setPresetName(int index, std::string name)
{
    switch (index) {
    case 0: presetName1 = std::move(name); break;
    case 1: presetName2 = std::move(name); break;
    case 2: presetName3 = std::move(name); break;
    case 3: presetName4 = std::move(name); break;
    default: break;
    }
}

StationSettings::StationSettings() = default;

bool StationSettings::Load(const std::string& path)
{
    SettingsContext context;
    const std::size_t slash = path.rfind('/');
    context.dataFolder = slash == std::string::npos ? "." : path.substr(0, slash);
    context.computerName = platform::computerName();
    return Load(path, std::move(context));
}

bool StationSettings::Load(const std::string& path, SettingsContext context)
{
    context_ = std::move(context);
    loadedPath_ = path;
    lastError_.clear();

    platform::IniDocument document;
    std::string error;
    const bool readable = document.loadFile(path, &error);

    readSettings(document, *this, 0, context_);
    for (int camera = 0; camera < kStationCameraCount; ++camera)
        readSettings(document, channels[static_cast<std::size_t>(camera)], camera + 1, context_);
    if (loginPassword.size() > static_cast<std::size_t>(kMaxLoginPasswordLength))
        loginPassword.resize(kMaxLoginPasswordLength);
    loaded_ = true;

    if (!readable) {
        reportFailure("Settings not read, defaults used: " + error);
        return false;
    }
    return true;
}

bool StationSettings::LoadServerLimits(const WebAccessPasswordSink& webPassword)
{
    if (!loaded_)
        return false;
    platform::IniDocument document;
    document.loadFile(loadedPath_);
    const SettingKey* check = findSettingKey("VideoServer", "fEnablePWCheck");
    const SettingKey* password = findSettingKey("VideoServer", "sPW");
    const SettingKey* limit = findSettingKey("VideoServer", "nConnectionLimit");
    if (readNumberSetting(document, *check, 0) != 0 && webPassword)
        webPassword(readTextSetting(document, *password, 0, context_));
    connectionLimit = readNumberSetting(document, *limit, 0);
    return true;
}

bool StationSettings::Save(const std::string& path)
{
    if (!loaded_)
        return false;
    const std::string target = path.empty() ? loadedPath_ : path;
    std::string error;
    const bool saved = platform::updateProfile(
        target, platform::kPrivateFileMode,
        [this](platform::IniDocument& document) {
            writeSettings(document, *this, 0, context_, SavePhase::Normal);
            for (int camera = 0; camera < kStationCameraCount; ++camera)
                writeSettings(document, channels[static_cast<std::size_t>(camera)], camera + 1, context_);
            writeSettings(document, *this, 0, context_, SavePhase::AfterCameras);
        },
        &error);
    if (!saved) {
        reportFailure("Settings not saved: " + error);
        return false;
    }
    lastError_.clear();
    return true;
}

bool StationSettings::WritePreference(std::string_view key, std::string_view value)
{
    if (!loaded_)
        return false;
    std::string error;
    if (!platform::writeProfileString(loadedPath_, "Preference", key, value, platform::kPrivateFileMode, &error)) {
        reportFailure("Settings not saved: " + error);
        return false;
    }
    return true;
}

bool StationSettings::IsCameraServed(int cameraIndex) const
{
    if (cameraIndex < 0 || cameraIndex > 15)
        return false;
    return ((static_cast<uint32_t>(servedCameraMask) >> cameraIndex) & 1u) != 0;
}

void StationSettings::reportFailure(const std::string& text)
{
    lastError_ = text;
    if (diagnostics_)
        diagnostics_(text);
}

} // namespace vantry::common
