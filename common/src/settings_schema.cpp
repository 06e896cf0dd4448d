#include "common/settings_schema.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "common/mask_data.h"

namespace vantry::common {

namespace {

using O = SettingOwner;
using S = StationSettings;
using C = ChannelSettings;
using Cap = CaptureSettings;
using M = MotionSettings;
using F = SnapFontSettings;
using L = LogSettings;
using G = GaterayAddressSettings;
using P = PlayerSettings;

constexpr SettingKey num(O owner, const char* section, const char* key, int32_t def, SettingField field,
                         uint8_t access = kReadWrite, ClampRule clamp = ClampRule::None)
{
    SettingKey k;
    k.owner = owner;
    k.section = section;
    k.key = key;
    k.type = SettingType::Number;
    k.numberDefault = def;
    k.access = access;
    k.clamp = clamp;
    k.field = field;
    return k;
}

constexpr SettingKey text(O owner, const char* section, const char* key, const char* def, SettingField field,
                          uint8_t access = kReadWrite, DefaultRule rule = DefaultRule::Fixed,
                          bool emptyMeansDefault = false)
{
    SettingKey k;
    k.owner = owner;
    k.section = section;
    k.key = key;
    k.type = SettingType::Text;
    k.textDefault = def;
    k.defaultRule = rule;
    k.emptyMeansDefault = emptyMeansDefault;
    k.access = access;
    k.field = field;
    return k;
}

constexpr SettingKey late(SettingKey k)
{
    k.phase = SavePhase::AfterCameras;
    return k;
}

constexpr SettingKey scrambled(SettingKey k)
{
    k.type = SettingType::ScrambledPassword;
    return k;
}

// Order matters: it is the order keys are written in.
const std::array kSchema = std::to_array<SettingKey>({
    // Section Preference
    num(O::Station, "Preference", "fHasMask", 0, &S::loginRequired),
    scrambled(text(O::Station, "Preference", "MaskData", "", &S::loginPassword)),
    // Written with the flag's value; no program reads these two back.
    num(O::Station, "Preference", "bEnablePWCheck", 0, &S::loginRequired, kWrite),
    num(O::Station, "Preference", "sPW", 0, &S::loginRequired, kWrite),
    text(O::Station, "Preference", "sSiteName", "", &S::siteName, kReadWrite, DefaultRule::ComputerName, true),
    num(O::Station, "Preference", "fRestartComputer", 0, &S::restartComputer),
    num(O::Station, "Preference", "nRestartComputerTime", 3, &S::restartHour),
    num(O::Station, "Preference", "fAutoStart", 0, &S::autoStart),
    num(O::Station, "Preference", "m_fAlwaysOnTop", 0, &S::alwaysOnTop),
    num(O::Station, "Preference", "fAlwaysOnTop", 0, &S::alwaysOnTop, kWrite),
    num(O::Station, "Preference", "m_nPauseDetectionLength", 10000, &S::pauseDetectionLengthMs),
    num(O::Station, "Preference", "m_nLoopDisplayLength", 3000, &S::loopDisplayLengthMs),
    num(O::Station, "Preference", "m_fAutoFrameRateAdjustment", 1, &S::autoFrameRateAdjustment),
    late(num(O::Station, "Preference", "m_fCaption", 1, &S::caption)),
    late(num(O::Station, "Preference", "m_fKeepVideoPropertions", 1, &S::keepVideoProportions)),
    num(O::Station, "Preference", "fUsePlainVideoRenderer", 1, &S::usePlainVideoRenderer, kRead),
    // Written at every start through WritePreference, never by a save.
    text(O::Station, "Preference", "MainWndClassName04", "VYWatch", {}, kNotAccessed),
    num(O::Player, "Preference", "fAutoPlay", 1, &P::autoPlay, kRead),

    // Section EmailServer
    text(O::Station, "EmailServer", "Server", "", &S::smtpServer),
    text(O::Station, "EmailServer", "UserName", "", &S::smtpUserName),
    text(O::Station, "EmailServer", "PW", "", &S::smtpPassword),
    text(O::Station, "EmailServer", "From", "", &S::smtpSender),

    // Section VideoServer
    num(O::Station, "VideoServer", "fEnable", 0, &S::videoServerEnabled),
    num(O::Station, "VideoServer", "nTCPPort", 81, &S::videoServerPort),
    num(O::Station, "VideoServer", "nConnectionLimit", 16, &S::connectionLimit, kReadWrite, ClampRule::ConnectionLimit),
    num(O::Station, "VideoServer", "dwChannel", -1, &S::servedCameraMask),
    num(O::Station, "VideoServer", "fEnablePWCheck", 0, &S::videoServerPasswordCheck),
    text(O::Station, "VideoServer", "sPW", "", &S::videoServerPassword),
    num(O::Station, "VideoServer", "fConnectByID", 0, &S::connectByID),
    text(O::Station, "VideoServer", "sConnnectID", "", &S::connectID),

    // Section WebServer
    num(O::Station, "WebServer", "fEnable", 0, &S::webServerEnabled),
    num(O::Station, "WebServer", "nTCPPort", 80, &S::webServerPort),
    num(O::Station, "WebServer", "nWidth", 320, &S::webPictureWidth),
    num(O::Station, "WebServer", "nHeight", 240, &S::webPictureHeight),
    text(O::Station, "WebServer", "sRoot", "", &S::webRoot, kRead),

    // Section Notification
    num(O::Station, "Notification", "IPChangefIPChange", 0, &S::notifyIPChange),
    text(O::Station, "Notification", "m_sIPChangeTo", "", &S::ipChangeRecipient),

    // Section Log
    num(O::Log, "Log", "nMaxOfLogs", 100, &L::maxOfLogs, kReadWrite, ClampRule::LogCapacity),
    num(O::Log, "Log", "fCountInMotionEvents", 0, &L::countMotionEvents),
    num(O::Log, "Log", "fCountInRemoteConnections", 0, &L::countRemoteConnections),

    // Section Snap
    num(O::SnapFont, "Snap", "color", 0, &F::color),
    num(O::SnapFont, "Snap", "lfHeight", 16, &F::height),
    num(O::SnapFont, "Snap", "lfWidth", 0, &F::width),
    num(O::SnapFont, "Snap", "lfEscapement", 0, &F::escapement),
    num(O::SnapFont, "Snap", "lfOrientation", 0, &F::orientation),
    num(O::SnapFont, "Snap", "lfWeight", 0, &F::weight),
    num(O::SnapFont, "Snap", "lfItalic", 0, &F::italic),
    num(O::SnapFont, "Snap", "lfUnderline", 0, &F::underline),
    num(O::SnapFont, "Snap", "lfStrikeOut", 0, &F::strikeOut),
    num(O::SnapFont, "Snap", "lfCharSet", 0, &F::charSet),
    num(O::SnapFont, "Snap", "lfOutPrecision", 0, &F::outPrecision),
    num(O::SnapFont, "Snap", "lfClipPrecision", 0, &F::clipPrecision),
    num(O::SnapFont, "Snap", "lfQuality", 0, &F::quality),
    num(O::SnapFont, "Snap", "lfPitchAndFamily", 0, &F::pitchAndFamily),
    text(O::SnapFont, "Snap", "lfFaceName", "Times New Roman", &F::faceName),

    // Section Gateray
    text(O::Gateray, "Gateray", "sExternalIPAddress", "0.0.0.0", &G::externalAddress),
    text(O::Gateray, "Gateray", "sInternalIPAddress", "", &G::internalAddress),

    // Per camera
    num(O::Channel, "Preference_ch%02d", "bRecordAudio", 1, &C::recordAudio),
    num(O::Channel, "Preference_ch%02d", "nRecordingType", 0, &C::recordingType),
    text(O::Channel, "Preference_ch%02d", "sCameraName", "", &C::cameraName, kReadWrite, DefaultRule::CameraName, true),

    num(O::Channel, "AudioFormat_ch%02d", "Channels", 1, &C::audioChannels),
    num(O::Channel, "AudioFormat_ch%02d", "BytesPerSample", 2, &C::audioBytesPerSample),
    num(O::Channel, "AudioFormat_ch%02d", "Frequency", 11025, &C::audioSamplingRate),

    num(O::Channel, "VideoSize_ch%02d", "biWidth", 352, &C::frameWidth),
    num(O::Channel, "VideoSize_ch%02d", "biHeight", 288, &C::frameHeight),
    num(O::Channel, "VideoSize_ch%02d", "biCompression", 808596553, &C::frameCompression), // "I420"

    num(O::Channel, "State_ch%02d", "fEnableRecording", 0, &C::recordingEnabled),
    num(O::Channel, "State_ch%02d", "fEnableMotionDetection", 0, &C::motionDetectionEnabled),
    num(O::Channel, "State_ch%02d", "fEnableEventNotification", 0, &C::eventNotificationEnabled),
    num(O::Channel, "State_ch%02d", "fDisplayLiveVideo", 1, &C::displayLiveVideo),
    num(O::Channel, "State_ch%02d", "fPlayLiveSound", 0, &C::playLiveSound),
    num(O::Channel, "State_ch%02d", "fEnableManualTrigger", 0, &C::manualTriggerEnabled),
    num(O::Channel, "State_ch%02d", "nManualTriggerLength", 5, &C::manualTriggerLengthSeconds),

    num(O::Channel, "Schedule_ch%02d", "dwSchedule_SUN", 0, &C::scheduleSunday),
    num(O::Channel, "Schedule_ch%02d", "dwSchedule_MON", 0, &C::scheduleMonday),
    num(O::Channel, "Schedule_ch%02d", "dwSchedule_TUE", 0, &C::scheduleTuesday),
    num(O::Channel, "Schedule_ch%02d", "dwSchedule_WED", 0, &C::scheduleWednesday),
    num(O::Channel, "Schedule_ch%02d", "dwSchedule_THU", 0, &C::scheduleThursday),
    num(O::Channel, "Schedule_ch%02d", "dwSchedule_FRI", 0, &C::scheduleFriday),
    num(O::Channel, "Schedule_ch%02d", "dwSchedule_SAT", 0, &C::scheduleSaturday),

    num(O::Channel, "Notification_ch%02d", "fAlarm", 0, &C::alarmEnabled),
    text(O::Channel, "Notification_ch%02d", "sAlarmFile", "", &C::alarmFile, kReadWrite, DefaultRule::AlarmFile, true),
    num(O::Channel, "Notification_ch%02d", "fAlarmLoop", 0, &C::alarmLoop),
    num(O::Channel, "Notification_ch%02d", "fEmail", 0, &C::emailEnabled),
    num(O::Channel, "Notification_ch%02d", "EmailnSize", 0, &C::emailPictureSize),
    num(O::Channel, "Notification_ch%02d", "EmailToCount", 1, &C::emailRecipientCount),
    text(O::Channel, "Notification_ch%02d", "EmailTo", "", &C::emailRecipients),
    text(O::Channel, "Notification_ch%02d", "EmailSubject", "Default", &C::emailSubject),
    num(O::Channel, "Notification_ch%02d", "EmailPicNum", 0, &C::emailPictureCount),
    num(O::Channel, "Notification_ch%02d", "fFtp", 0, &C::ftpEnabled),
    num(O::Channel, "Notification_ch%02d", "FtpPicNum", 1, &C::ftpPictureCount),
    text(O::Channel, "Notification_ch%02d", "FtpPW", "", &C::ftpPassword),
    text(O::Channel, "Notification_ch%02d", "FtpFtp", "", &C::ftpAddress),
    text(O::Channel, "Notification_ch%02d", "FtplUserName", "", &C::ftpUserName),
    num(O::Channel, "Notification_ch%02d", "FtpSize", 0, &C::ftpPictureSize),
    num(O::Channel, "Notification_ch%02d", "fExecProgram", 0, &C::runProgramEnabled),
    text(O::Channel, "Notification_ch%02d", "sProgram", "", &C::programPath),
    num(O::Channel, "Notification_ch%02d", "fShowVantoWatch", 0, &C::bringStationToFront),

    // An empty storage path would send recordings to whatever folder the program started in.
    text(O::Channel, "Storage_ch%02d", "sStoragePath", "", &C::storagePath, kReadWrite, DefaultRule::StoragePath, true),
    num(O::Channel, "Storage_ch%02d", "fRecycle", 1, &C::recycleEnabled),
    num(O::Channel, "Storage_ch%02d", "nFileLength", 5, &C::fileLengthMinutes),
    num(O::Channel, "Storage_ch%02d", "nMinFreeSpace", 1024, &C::minFreeSpaceMB),
    num(O::Channel, "Storage_ch%02d", "fMaxStorageSpace", 0, &C::maxStorageEnabled),
    num(O::Channel, "Storage_ch%02d", "nMaxStorageSpace", 20480, &C::maxStorageMB),

    num(O::Channel, "PTZ_ch%02d", "m_fEnablePTZControl", 0, &C::ptzControlEnabled),
    num(O::Channel, "PTZ_ch%02d", "nComPort", 1, &C::serialPort),
    num(O::Channel, "PTZ_ch%02d", "nProtocolID", 1, &C::ptzProtocolId),
    text(O::Channel, "PTZ_ch%02d", "sPreset1", "", &C::presetName1),
    text(O::Channel, "PTZ_ch%02d", "sPreset2", "", &C::presetName2),
    text(O::Channel, "PTZ_ch%02d", "sPreset3", "", &C::presetName3),
    text(O::Channel, "PTZ_ch%02d", "sPreset4", "", &C::presetName4),

    text(O::Capture, "ZtCAP%02d", "VideoDevice", "", &Cap::videoDevice),
    text(O::Capture, "ZtCAP%02d", "AudioDevice", "", &Cap::audioDevice),
    text(O::Capture, "ZtCAP%02d", "VCodec", "VX Video Encoder", &Cap::videoCodec, kReadWrite, DefaultRule::Fixed, true),
    text(O::Capture, "ZtCAP%02d", "ACodec", "GSM 6.10", &Cap::audioCodec, kReadWrite, DefaultRule::Fixed, true),
    num(O::Capture, "ZtCAP%02d", "nVQuality", 80, &Cap::videoQuality, kReadWrite, ClampRule::VideoQuality),
    num(O::Capture, "ZtCAP%02d", "CaptureAudio", 1, &Cap::captureAudio),
    num(O::Capture, "ZtCAP%02d", "CaptureCC", 0, &Cap::captureCC),
    num(O::Capture, "ZtCAP%02d", "UseFrameRateControl", 0, &Cap::useFrameRateControl),
    num(O::Capture, "ZtCAP%02d", "FrameRate", 30, &Cap::frameRate, kReadWrite, ClampRule::FrameRate),
    num(O::Capture, "ZtCAP%02d", "MaxFrameRate", 30, &Cap::maxFrameRate, kReadWrite, ClampRule::FrameRate),
    num(O::Capture, "ZtCAP%02d", "UseTimeLimit", 0, &Cap::useTimeLimit),
    num(O::Capture, "ZtCAP%02d", "TimeLimit", 0, &Cap::timeLimit),
    // Written as constants for the capture graph's sake, never read back.
    num(O::Capture, "ZtCAP%02d", "WantPreview", 1, {}, kWrite),
    num(O::Capture, "ZtCAP%02d", "MasterStream", 1, {}, kWrite),

    num(O::Motion, "Motion%02d", "uMotionVolumeThreshold", 0, &M::motionVolumeThreshold),
    num(O::Motion, "Motion%02d", "byMotionValueThreshold", 80, &M::motionValueThreshold),
    num(O::Motion, "Motion%02d", "fIgnoreShortMotion", 0, &M::ignoreShortMotion),
    num(O::Motion, "Motion%02d", "nShortMotionLength", 1, &M::shortMotionLengthSeconds),
    num(O::Motion, "Motion%02d", "fDisplayGrid", 1, &M::displayGrid),
    num(O::Motion, "Motion%02d", "fTransparentMask", 1, &M::transparentMask),
    num(O::Motion, "Motion%02d", "nGridSize", 40, &M::gridSize),
    num(O::Motion, "Motion%02d", "MaskFileSize", 0, &M::maskFileSize),
    text(O::Motion, "Motion%02d", "MaskFileName", "", &M::maskFileName),
});

template <class Record> struct OwnerOf;
template <> struct OwnerOf<StationSettings> { static constexpr O value = O::Station; };
template <> struct OwnerOf<ChannelSettings> { static constexpr O value = O::Channel; };
template <> struct OwnerOf<CaptureSettings> { static constexpr O value = O::Capture; };
template <> struct OwnerOf<MotionSettings> { static constexpr O value = O::Motion; };
template <> struct OwnerOf<SnapFontSettings> { static constexpr O value = O::SnapFont; };
template <> struct OwnerOf<LogSettings> { static constexpr O value = O::Log; };
template <> struct OwnerOf<GaterayAddressSettings> { static constexpr O value = O::Gateray; };
template <> struct OwnerOf<PlayerSettings> { static constexpr O value = O::Player; };

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

uint32_t clockSeconds(const SettingsContext& context)
{
    if (context.nowSeconds)
        return context.nowSeconds();
    return static_cast<uint32_t>(std::time(nullptr));
}

} // namespace

std::span<const SettingKey> settingsSchema()
{
    return kSchema;
}

const SettingKey* findSettingKey(std::string_view section, std::string_view key)
{
    for (const SettingKey& entry : kSchema)
        if (equalsIgnoringCase(entry.section, section) && equalsIgnoringCase(entry.key, key))
            return &entry;
    return nullptr;
}

std::string sectionName(const SettingKey& key, int cameraNumber)
{
    if (!key.isPerCamera())
        return key.section;
    char name[64];
    std::snprintf(name, sizeof name, key.section, cameraNumber);
    return name;
}

std::string defaultText(const SettingKey& key, int cameraNumber, const SettingsContext& context)
{
    char buffer[64];
    switch (key.defaultRule) {
    case DefaultRule::ComputerName:
        return context.computerName;
    case DefaultRule::CameraName:
        std::snprintf(buffer, sizeof buffer, "Camera %d", cameraNumber);
        return buffer;
    case DefaultRule::AlarmFile:
        return context.dataFolder + "/sound/alarm.wav";
    case DefaultRule::StoragePath:
        std::snprintf(buffer, sizeof buffer, "/records/camera%02d", cameraNumber);
        return context.dataFolder + buffer;
    case DefaultRule::Fixed:
        break;
    }
    return key.type == SettingType::Number ? std::to_string(key.numberDefault) : std::string(key.textDefault);
}

int32_t applyClamp(ClampRule rule, int32_t value)
{
    switch (rule) {
    case ClampRule::ConnectionLimit:
        // Compared unsigned, so a negative value counts as too large.
        return (static_cast<uint32_t>(value) > 16u || value == 0) ? 16 : value;
    case ClampRule::FrameRate:
        return value <= 0 ? 1 : (value > 30 ? 30 : value);
    case ClampRule::VideoQuality:
        return value <= 0 ? 80 : (value > 100 ? 100 : value);
    case ClampRule::LogCapacity:
        return value <= 0 ? 100 : (value > 1000 ? 1000 : value);
    case ClampRule::None:
        break;
    }
    return value;
}

int32_t readNumberSetting(const platform::IniDocument& document, const SettingKey& key, int cameraNumber)
{
    return applyClamp(key.clamp, document.readInt(sectionName(key, cameraNumber), key.key, key.numberDefault));
}

std::string readTextSetting(const platform::IniDocument& document, const SettingKey& key, int cameraNumber,
                            const SettingsContext& context)
{
    const std::string section = sectionName(key, cameraNumber);
    if (key.type == SettingType::ScrambledPassword) {
        const auto password = unmaskPassword(document.readString(section, key.key, ""));
        return password.value_or(std::string());
    }
    const std::string fallback = defaultText(key, cameraNumber, context);
    std::string value = document.readString(section, key.key, fallback);
    if (value.empty() && key.emptyMeansDefault)
        value = fallback;
    return value;
}

template <class Record>
void readSettings(const platform::IniDocument& document, Record& record, int cameraNumber,
                  const SettingsContext& context)
{
    for (const SettingKey& key : kSchema) {
        if (key.owner != OwnerOf<Record>::value || !key.isRead())
            continue;
        if (const auto* number = std::get_if<int32_t Record::*>(&key.field))
            record.*(*number) = readNumberSetting(document, key, cameraNumber);
        else if (const auto* textField = std::get_if<std::string Record::*>(&key.field))
            record.*(*textField) = readTextSetting(document, key, cameraNumber, context);
    }
}

template <class Record>
void writeSettings(platform::IniDocument& document, const Record& record, int cameraNumber,
                   const SettingsContext& context, SavePhase phase)
{
    for (const SettingKey& key : kSchema) {
        if (key.owner != OwnerOf<Record>::value || !key.isWritten() || key.phase != phase)
            continue;
        const std::string section = sectionName(key, cameraNumber);
        if (const auto* number = std::get_if<int32_t Record::*>(&key.field)) {
            document.writeInt(section, key.key, record.*(*number));
        } else if (const auto* textField = std::get_if<std::string Record::*>(&key.field)) {
            if (key.type == SettingType::ScrambledPassword)
                document.writeString(section, key.key, maskPassword(record.*(*textField), clockSeconds(context)));
            else
                document.writeString(section, key.key, record.*(*textField));
        } else if (key.type == SettingType::Number) {
            document.writeInt(section, key.key, key.numberDefault);
        }
    }
}

template <class Record>
bool loadSettingsFile(const std::string& path, Record& record, int cameraNumber, const SettingsContext& context,
                      std::string* errorText)
{
    platform::IniDocument document;
    const bool readable = document.loadFile(path, errorText);
    readSettings(document, record, cameraNumber, context);
    return readable;
}

template <class Record>
bool saveSettingsFile(const std::string& path, const Record& record, int cameraNumber, const SettingsContext& context,
                      std::string* errorText)
{
    return platform::updateProfile(
        path, platform::kPrivateFileMode,
        [&](platform::IniDocument& document) { writeSettings(document, record, cameraNumber, context); }, errorText);
}

#define VANTRY_SETTINGS_RECORD(Record)                                                                        \
    template void readSettings<Record>(const platform::IniDocument&, Record&, int, const SettingsContext&);  \
    template void writeSettings<Record>(platform::IniDocument&, const Record&, int, const SettingsContext&,   \
                                        SavePhase);                                                            \
    template bool loadSettingsFile<Record>(const std::string&, Record&, int, const SettingsContext&,           \
                                           std::string*);                                                      \
    template bool saveSettingsFile<Record>(const std::string&, const Record&, int, const SettingsContext&,     \
                                           std::string*);
VANTRY_SETTINGS_RECORD(StationSettings)
VANTRY_SETTINGS_RECORD(ChannelSettings)
VANTRY_SETTINGS_RECORD(CaptureSettings)
VANTRY_SETTINGS_RECORD(MotionSettings)
VANTRY_SETTINGS_RECORD(SnapFontSettings)
VANTRY_SETTINGS_RECORD(LogSettings)
VANTRY_SETTINGS_RECORD(GaterayAddressSettings)
VANTRY_SETTINGS_RECORD(PlayerSettings)
#undef VANTRY_SETTINGS_RECORD

} // namespace vantry::common
