#include "viewer/viewer_settings.h"

#include "common/folder_prep.h"
#include "common/mask_data.h"
#include "common/settings_schema.h"
#include "platform/ini_profile.h"

#include <algorithm>
#include <ctime>
#include <filesystem>

namespace vantry::viewer {

namespace {

constexpr const char* kPreference = "Preference";
constexpr const char* kStorage = "Storage_ch01";
constexpr const char* kAdvance = "Advance";
constexpr const char* kHistory = "History";

int32_t clampInt(int32_t value, int32_t low, int32_t high) { return std::clamp(value, low, high); }

std::string defaultAlarmFile(const std::string& dataFolder) { return dataFolder + "/sound/alarm.wav"; }
std::string defaultStoragePath(const std::string& dataFolder) { return dataFolder + "/records"; }

} // namespace

void ViewerSettings::addHistory(const std::string& entry)
{
    if (entry.empty() || std::find(history.begin(), history.end(), entry) != history.end())
        return;
    if (static_cast<int>(history.size()) >= kHistoryMax)
        history.erase(history.begin());
    history.push_back(entry);
}

int32_t nearestFrameRate(int32_t fps)
{
    int32_t best = kFrameRates[0];
    for (int32_t rate : kFrameRates) {
        if (std::abs(rate - fps) < std::abs(best - fps))
            best = rate;
    }
    return best;
}

ViewerSettings readViewerSettings(const platform::IniDocument& ini, const std::string& dataFolder)
{
    ViewerSettings s;
    s.byIpAddress = ini.readInt(kPreference, "fByIPAddress", 1) != 0 ? 1 : 0;
    s.ip = ini.readString(kPreference, "sIP", "127.0.0.1");
    s.port = clampInt(ini.readInt(kPreference, "nPort", 81), 0, 65535);
    s.connectionId = ini.readString(kPreference, "sID", "");
    s.cameraIndex = clampInt(ini.readInt(kPreference, "nChannelNo", 0), 0, 3);
    s.timeoutSeconds = clampInt(ini.readInt(kPreference, "nTimeout", 3), 1, 300);
    s.displayEventOnly = ini.readInt(kPreference, "fDisplayEventOnly", 0) != 0 ? 1 : 0;
    s.recordType = ini.readInt(kPreference, "nRecordType", 0) == 1 ? RecordType::Event : RecordType::RoundTheClock;
    s.alarm = ini.readInt(kPreference, "bAlarm", 0) != 0 ? 1 : 0;
    s.alarmFile = ini.readString(kPreference, "sAlarmFile", "");
    if (s.alarmFile.empty())
        s.alarmFile = defaultAlarmFile(dataFolder);
    s.showUp = ini.readInt(kPreference, "fShowUp", 0) != 0 ? 1 : 0;
    s.hasMask = ini.readInt(kPreference, "fHasMask", 0) != 0 ? 1 : 0;
    s.lockPassword = common::unmaskPassword(ini.readString(kPreference, "MaskData", "")).value_or("");
    s.lookupUrl = ini.readString(kPreference, "sLookupURL", "");

    s.storagePath = ini.readString(kStorage, "sStoragePath", "");
    if (s.storagePath.empty())
        s.storagePath = defaultStoragePath(dataFolder);
    s.recycle = ini.readInt(kStorage, "fRecycle", 1) != 0 ? 1 : 0;
    s.fileLengthMinutes = clampInt(ini.readInt(kStorage, "nFileLength", 5), 5, 60);
    s.minFreeSpaceMb = clampInt(ini.readInt(kStorage, "nMinFreeSpace", 1024), 300, 256000);

    s.quality = clampInt(ini.readInt(kAdvance, "m_nVQuality", 7), 1, 12);
    s.frameRate = nearestFrameRate(ini.readInt(kAdvance, "m_nFrameRate", 5));
    s.halfSize = ini.readInt(kAdvance, "m_nVideoSize", 0) != 0 ? 1 : 0;

    const int count = clampInt(ini.readInt(kHistory, "NumOfHistory", 0), 0, kHistoryMax);
    for (int i = 1; i <= count; ++i) {
        const std::string entry = ini.readString(kHistory, "History" + std::to_string(i), "");
        if (!entry.empty())
            s.addHistory(entry);
    }

    common::readSettings(ini, s.snap, 0, common::SettingsContext{});
    return s;
}

void writeViewerSettings(platform::IniDocument& ini, const ViewerSettings& s, uint32_t nowSeconds)
{
    ini.writeInt(kPreference, "fByIPAddress", s.byIpAddress);
    ini.writeString(kPreference, "sIP", s.ip);
    ini.writeInt(kPreference, "nPort", s.port);
    ini.writeString(kPreference, "sID", s.connectionId);
    ini.writeInt(kPreference, "nChannelNo", s.cameraIndex);
    ini.writeInt(kPreference, "nTimeout", s.timeoutSeconds);
    ini.writeInt(kPreference, "fDisplayEventOnly", s.displayEventOnly);
    ini.writeInt(kPreference, "nRecordType", static_cast<int32_t>(s.recordType));
    ini.writeInt(kPreference, "bAlarm", s.alarm);
    ini.writeString(kPreference, "sAlarmFile", s.alarmFile);
    ini.writeInt(kPreference, "fShowUp", s.showUp);
    ini.writeInt(kPreference, "fHasMask", s.hasMask);
    ini.writeString(kPreference, "MaskData", s.lockPassword.empty() ? "" : common::maskPassword(s.lockPassword, nowSeconds));
    // Written for older readers only; never the password itself.
    ini.writeInt(kPreference, "bEnablePWCheck", s.hasMask);
    ini.writeInt(kPreference, "sPW", s.hasMask);
    if (!s.lookupUrl.empty() || ini.hasKey(kPreference, "sLookupURL"))
        ini.writeString(kPreference, "sLookupURL", s.lookupUrl);

    ini.writeString(kStorage, "sStoragePath", s.storagePath);
    ini.writeInt(kStorage, "fRecycle", s.recycle);
    ini.writeInt(kStorage, "nFileLength", s.fileLengthMinutes);
    ini.writeInt(kStorage, "nMinFreeSpace", s.minFreeSpaceMb);

    ini.writeInt(kAdvance, "m_nVQuality", s.quality);
    ini.writeInt(kAdvance, "m_nFrameRate", s.frameRate);
    ini.writeInt(kAdvance, "m_nVideoSize", s.halfSize);

    ini.writeInt(kHistory, "NumOfHistory", static_cast<int32_t>(s.history.size()));
    for (size_t i = 0; i < static_cast<size_t>(kHistoryMax); ++i) {
        const std::string key = "History" + std::to_string(i + 1);
        if (i < s.history.size())
            ini.writeString(kHistory, key, s.history[i]);
        else
            ini.removeKey(kHistory, key);
    }

    common::writeSettings(ini, s.snap, 0, common::SettingsContext{});
}

ViewerSettings loadViewerSettings(const std::string& iniPath, const std::string& dataFolder)
{
    platform::IniDocument ini;
    ini.loadFile(iniPath);
    return readViewerSettings(ini, dataFolder);
}

bool saveViewerSettings(const std::string& iniPath, const ViewerSettings& settings, std::string* errorText)
{
    return platform::updateProfile(
        iniPath, platform::kPrivateFileMode,
        [&](platform::IniDocument& ini) { writeViewerSettings(ini, settings, static_cast<uint32_t>(std::time(nullptr))); },
        errorText);
}

std::string prepareViewerDataFolder(const std::string& dataFolder, const std::string& programFolder)
{
    common::prepareFolder(dataFolder);
    common::prepareFolder(dataFolder + "/records");
    const std::string iniPath = dataFolder + "/vantry.ini";
    const std::string shipped = programFolder + "/vantry.ini";
    std::error_code ec;
    if (!programFolder.empty() && std::filesystem::exists(shipped, ec) && !std::filesystem::exists(iniPath, ec)) {
        std::filesystem::copy_file(shipped, iniPath, std::filesystem::copy_options::skip_existing, ec);
        std::filesystem::permissions(iniPath, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::replace, ec);
    }
    return iniPath;
}

} // namespace vantry::viewer
