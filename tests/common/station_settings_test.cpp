#include "common/station_settings.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <random>
#include <set>

#include "platform/system_info.h"
#include "common/mask_data.h"
#include "common/settings_schema.h"
#include "platform/ini_profile.h"
#include "test_support.h"

namespace vantry::common {
namespace {

using platform::IniDocument;
using test::TempFolder;

SettingsContext contextFor(const TempFolder& dir, uint32_t now = 1700000000u)
{
    SettingsContext context;
    context.dataFolder = dir.path();
    context.computerName = "watchbox";
    context.nowSeconds = [now] { return now; };
    return context;
}

// One stored value of one key and what a reader of that key must get.
struct StoredCase {
    const char* section;
    const char* key;
    const char* stored; // nullptr: key missing
    const char* expected;
};

std::string readThroughSchema(const std::string& path, const StoredCase& row, const SettingsContext& context)
{
    const SettingKey* key = findSettingKey(row.section, row.key);
    if (!key)
        return "<no such key>";
    IniDocument doc;
    doc.loadFile(path);
    const int camera = 2;
    if (key->type == SettingType::Number)
        return std::to_string(readNumberSetting(doc, *key, camera));
    return readTextSetting(doc, *key, camera, context);
}

TEST(StationSettings, StoredValuesWithTheirDefaultsAndLimits)
{
    TempFolder dir;
    const SettingsContext context = contextFor(dir);
    const std::string data = dir.path();
    const StoredCase rows[] = {
        {"VideoServer", "nConnectionLimit", "40", "16"},
        {"VideoServer", "nConnectionLimit", "-3", "16"},
        {"VideoServer", "nConnectionLimit", "0", "16"},
        {"VideoServer", "nConnectionLimit", "7", "7"},
        {"VideoServer", "nConnectionLimit", nullptr, "16"},
        {"ZtCAP%02d", "FrameRate", "0", "1"},
        {"ZtCAP%02d", "FrameRate", "-4", "1"},
        {"ZtCAP%02d", "MaxFrameRate", "99", "30"},
        {"ZtCAP%02d", "MaxFrameRate", "12", "12"},
        {"ZtCAP%02d", "nVQuality", "0", "80"},
        {"ZtCAP%02d", "nVQuality", "55", "55"},
        {"ZtCAP%02d", "VCodec", "", "VX Video Encoder"},
        {"ZtCAP%02d", "ACodec", "", "GSM 6.10"},
        {"ZtCAP%02d", "VideoDevice", "", ""},
        {"Preference_ch%02d", "sCameraName", "", "Camera 2"},
        {"Preference_ch%02d", "sCameraName", nullptr, "Camera 2"},
        {"Preference_ch%02d", "sCameraName", "Gate", "Gate"},
        {"Preference", "sSiteName", "", "watchbox"},
        {"Notification_ch%02d", "sAlarmFile", "", nullptr},
        {"Storage_ch%02d", "sStoragePath", nullptr, nullptr},
        {"Storage_ch%02d", "nFileLength", "12abc", "12"},
        {"Storage_ch%02d", "nFileLength", "abc", "0"},
        {"VideoServer", "dwChannel", nullptr, "-1"},
        {"VideoSize_ch%02d", "biCompression", nullptr, "808596553"},
        {"Log", "nMaxOfLogs", "0", "100"},
        {"Log", "nMaxOfLogs", "999999999", "1000"},
        {"Snap", "lfFaceName", nullptr, "Times New Roman"},
        {"Gateray", "sExternalIPAddress", nullptr, "0.0.0.0"},
    };
    for (const StoredCase& row : rows) {
        const std::string path = dir.file("vantry.ini");
        std::filesystem::remove(path);
        char section[64];
        std::snprintf(section, sizeof section, row.section, 2);
        if (row.stored)
            test::writeFile(path, std::string("[") + section + "]\n" + row.key + "=" + row.stored + "\n");
        std::string expected = row.expected ? row.expected : "";
        if (std::string(row.key) == "sAlarmFile")
            expected = data + "/sound/alarm.wav";
        if (std::string(row.key) == "sStoragePath")
            expected = data + "/records/camera02";
        EXPECT_EQ(readThroughSchema(path, row, context), expected)
            << row.section << "/" << row.key << "=" << (row.stored ? row.stored : "<missing>");
    }
}

TEST(StationSettings, DefaultsBeforeAndAfterLoading)
{
    StationSettings fresh;
    EXPECT_FALSE(fresh.isLoaded());
    EXPECT_EQ(fresh.videoServerPort, 81);
    EXPECT_EQ(fresh.connectionLimit, 16);
    EXPECT_EQ(fresh.servedCameraMask, -1);
    EXPECT_EQ(fresh.caption, 0);
    EXPECT_EQ(fresh.channels[0].frameWidth, 320);
    EXPECT_EQ(fresh.channels[0].frameHeight, 240);
    EXPECT_EQ(fresh.channels[0].displayLiveVideo, 0);

    TempFolder dir;
    StationSettings loaded;
    ASSERT_TRUE(loaded.Load(dir.file("vantry.ini"), contextFor(dir))) << "a missing file is all defaults";
    EXPECT_TRUE(loaded.isLoaded());
    EXPECT_EQ(loaded.caption, 1);
    EXPECT_EQ(loaded.autoFrameRateAdjustment, 1);
    EXPECT_EQ(loaded.restartHour, 3);
    EXPECT_EQ(loaded.webServerPort, 80);
    EXPECT_EQ(loaded.siteName, "watchbox");
    EXPECT_EQ(loaded.channels[3].frameWidth, 352);
    EXPECT_EQ(loaded.channels[3].frameHeight, 288);
    EXPECT_EQ(loaded.channels[3].displayLiveVideo, 1);
    EXPECT_EQ(loaded.channels[3].audioSamplingRate, 11025);
    EXPECT_EQ(loaded.channels[3].ptzProtocolId, 1);
}

TEST(StationSettings, OnlyPreferenceSectionGivesNamedCamerasUnderRecords)
{
    TempFolder dir;
    test::writeFile(dir.file("vantry.ini"), "[Preference]\nsSiteName=Shop\nfHasMask=1\n");
    StationSettings settings;
    ASSERT_TRUE(settings.Load(dir.file("vantry.ini"), contextFor(dir)));
    EXPECT_EQ(settings.siteName, "Shop");
    EXPECT_EQ(settings.loginRequired, 1);
    for (int i = 0; i < 4; ++i) {
        const ChannelSettings& channel = settings.channels[static_cast<std::size_t>(i)];
        EXPECT_EQ(channel.cameraName, "Camera " + std::to_string(i + 1));
        EXPECT_EQ(channel.storagePath, dir.path() + "/records/camera0" + std::to_string(i + 1));
        EXPECT_EQ(channel.alarmFile, dir.path() + "/sound/alarm.wav");
    }
}

TEST(StationSettings, HostileFilesLoadDefaultsWithoutCrashing)
{
    TempFolder dir;
    const std::string path = dir.file("vantry.ini");
    std::mt19937 rng(42);
    std::string garbage(64 * 1024, '\0');
    for (char& c : garbage)
        c = static_cast<char>(rng());
    const std::string files[] = {
        garbage,
        "[Preference]\nsSiteName=" + std::string(1 << 20, 'x') + "\n" + std::string(1 << 20, '[') + "\n",
        "no sections at all\nkey=value\n\0\0\0\n",
        "[Preference\nfHasMask=1\n[]\n=\n[VideoServer]]\nnConnectionLimit=\r\r\n",
    };
    for (const std::string& content : files) {
        test::writeFile(path, content);
        StationSettings settings;
        EXPECT_TRUE(settings.Load(path, contextFor(dir)));
        EXPECT_EQ(settings.channels[1].cameraName, "Camera 2");
        EXPECT_EQ(settings.channels[1].frameWidth, 352);
        EXPECT_LE(settings.siteName.size(), platform::kProfileStringMax);
        EXPECT_GE(settings.connectionLimit, 1);
        EXPECT_LE(settings.connectionLimit, 16);
    }
}

// The (section, key) sequence Save must produce: schema order, cameras between the two phases.
std::vector<std::pair<std::string, std::string>> expectedSaveOrder()
{
    std::vector<std::pair<std::string, std::string>> order;
    auto add = [&](SettingOwner owner, SavePhase phase, int camera) {
        for (const SettingKey& key : settingsSchema())
            if (key.owner == owner && key.isWritten() && key.phase == phase)
                order.emplace_back(sectionName(key, camera), key.key);
    };
    add(SettingOwner::Station, SavePhase::Normal, 0);
    for (int camera = 1; camera <= 4; ++camera)
        add(SettingOwner::Channel, SavePhase::Normal, camera);
    add(SettingOwner::Station, SavePhase::AfterCameras, 0);
    return order;
}

TEST(StationSettings, SaveWritesEveryWrittenKeyInTableOrder)
{
    TempFolder dir;
    const std::string path = dir.file("vantry.ini");
    StationSettings settings;
    ASSERT_TRUE(settings.Load(path, contextFor(dir)));
    ASSERT_TRUE(settings.Save());

    IniDocument doc;
    ASSERT_TRUE(doc.loadFile(path));
    // In a fresh file the sections appear in first-write order and keys in write order, so the
    // file read back in order must be the write sequence (the two late Preference keys close
    // the Preference section).
    std::vector<std::pair<std::string, std::string>> written;
    for (const std::string& section : doc.sectionNames())
        for (const std::string& key : doc.keyNames(section))
            written.emplace_back(section, key);
    auto expected = expectedSaveOrder();
    std::stable_partition(expected.begin(), expected.end(),
                          [](const auto& entry) { return entry.first == "Preference"; });
    EXPECT_EQ(written, expected);
    ASSERT_GE(written.size(), 100u);
    EXPECT_EQ(doc.keyNames("Preference").back(), "m_fKeepVideoPropertions");
    EXPECT_FALSE(doc.hasKey("Preference", "fUsePlainVideoRenderer")) << "read-only key";
    EXPECT_FALSE(doc.hasKey("WebServer", "sRoot")) << "read-only key";
    EXPECT_FALSE(doc.hasSection("ZtCAP01")) << "owned by the capture graph";

    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "the file holds passwords";
}

TEST(StationSettings, SaveWithoutLoadWritesNothing)
{
    TempFolder dir;
    StationSettings settings;
    EXPECT_FALSE(settings.Save(dir.file("vantry.ini")));
    EXPECT_FALSE(settings.WritePreference("MainWndClassName04", "VYWatch"));
    EXPECT_TRUE(test::folderEntries(dir.path()).empty());
}

TEST(StationSettings, SaveRoundTripKeepsOtherKeysAndHidesPasswords)
{
    TempFolder dir;
    const std::string path = dir.file("vantry.ini");
    test::writeFile(path, "[Custom]\nmine=1\n[ZtCAP01]\nVideoDevice=/dev/video0\n");
    StationSettings settings;
    ASSERT_TRUE(settings.Load(path, contextFor(dir)));
    settings.loginRequired = 1;
    settings.loginPassword = "exactly16chars!!";
    settings.videoServerPassword = "viewers";
    settings.channels[2].cameraName = "Back door";
    settings.channels[2].setScheduleWord(1, 0x00FF00u);
    // Another owner writes its section after the load; the save must not undo it.
    ASSERT_TRUE(platform::writeProfileString(path, "ZtCAP02", "VideoDevice", "/dev/video1", platform::kPrivateFileMode));
    ASSERT_TRUE(settings.Save());

    IniDocument doc;
    ASSERT_TRUE(doc.loadFile(path));
    EXPECT_EQ(doc.readString("Custom", "mine", ""), "1");
    EXPECT_EQ(doc.readString("ZtCAP01", "VideoDevice", ""), "/dev/video0");
    EXPECT_EQ(doc.readString("ZtCAP02", "VideoDevice", ""), "/dev/video1");
    EXPECT_EQ(doc.readString("Preference", "sPW", ""), "1") << "a digit, never the password";
    EXPECT_EQ(doc.readString("Preference", "bEnablePWCheck", ""), "1");
    EXPECT_EQ(doc.readString("Preference", "MaskData", ""), maskPassword("exactly16chars!!", 1700000000u));

    StationSettings again;
    ASSERT_TRUE(again.Load(path, contextFor(dir)));
    EXPECT_EQ(again.loginPassword, "exactly16chars!!");
    EXPECT_EQ(again.videoServerPassword, "viewers");
    EXPECT_EQ(again.channels[2].cameraName, "Back door");
    EXPECT_TRUE(again.channels[2].isHourScheduled(1, 8));
    EXPECT_FALSE(again.channels[2].isHourScheduled(1, 7));
    EXPECT_FALSE(again.channels[2].isHourScheduled(1, 24));

    settings.loginRequired = 0;
    ASSERT_TRUE(settings.Save());
    EXPECT_EQ(platform::getProfileString(path, "Preference", "sPW", ""), "0");
}

TEST(StationSettings, LoadServerLimitsHandsPasswordOnlyWhenChecked)
{
    TempFolder dir;
    const std::string path = dir.file("vantry.ini");
    StationSettings never;
    EXPECT_FALSE(never.LoadServerLimits());

    test::writeFile(path, "[VideoServer]\nfEnablePWCheck=1\nsPW=letmein\nnConnectionLimit=4\n");
    StationSettings settings;
    ASSERT_TRUE(settings.Load(path, contextFor(dir)));
    platform::writeProfileString(path, "VideoServer", "nConnectionLimit", "4000");
    std::vector<std::string> handed;
    ASSERT_TRUE(settings.LoadServerLimits([&](const std::string& pw) { handed.push_back(pw); }));
    EXPECT_EQ(handed, std::vector<std::string>{"letmein"});
    EXPECT_EQ(settings.connectionLimit, 16);

    platform::writeProfileString(path, "VideoServer", "fEnablePWCheck", "0");
    handed.clear();
    ASSERT_TRUE(settings.LoadServerLimits([&](const std::string& pw) { handed.push_back(pw); }));
    EXPECT_TRUE(handed.empty());
}

TEST(StationSettings, IsCameraServed)
{
    StationSettings settings;
    struct Row {
        int32_t mask;
        int camera;
        bool served;
    };
    const Row rows[] = {
        {-1, 0, true}, {-1, 15, true}, {-1, 16, false}, {-1, -1, false},
        {0b0101, 0, true}, {0b0101, 1, false}, {0b0101, 2, true}, {0b0101, 3, false},
        {0, 0, false}, {INT32_MIN, 15, false},
    };
    for (const Row& row : rows) {
        settings.servedCameraMask = row.mask;
        EXPECT_EQ(settings.IsCameraServed(row.camera), row.served) << row.mask << " camera " << row.camera;
    }
}

TEST(StationSettings, WritePreferenceAndSiteNameFromSystem)
{
    TempFolder dir;
    const std::string path = dir.file("vantry.ini");
    StationSettings settings;
    ASSERT_TRUE(settings.Load(path));
    EXPECT_EQ(settings.siteName, platform::computerName());
    EXPECT_EQ(settings.channels[0].storagePath, dir.path() + "/records/camera01");
    ASSERT_TRUE(settings.WritePreference("MainWndClassName04", "VYWatch"));
    EXPECT_EQ(platform::getProfileString(path, "preference", "mainwndclassname04", ""), "VYWatch");
}

TEST(StationSettings, FailedSavesReportAndKeepTheFile)
{
    TempFolder dir;
    const std::string path = dir.file("vantry.ini");
    test::writeFile(path, "[Preference]\nsSiteName=Shop\n");
    const std::string original = test::readFile(path);

    // A full disk: the new file cannot be written whole.
    const int result = test::runWithFileSizeLimit(1024, [&] {
        StationSettings settings;
        std::vector<std::string> lines;
        settings.setDiagnosticSink([&](std::string_view text) { lines.emplace_back(text); });
        if (!settings.Load(path, contextFor(dir)))
            return 10;
        if (settings.Save())
            return 11;
        if (settings.LastError().find("File too large") == std::string::npos)
            return 12;
        return lines.size() == 1 && lines[0] == settings.LastError() ? 0 : 13;
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(test::readFile(path), original);
    EXPECT_EQ(test::folderEntries(dir.path()), std::vector<std::string>{"vantry.ini"});

    // A data folder that cannot exist: its parent is a regular file.
    StationSettings settings;
    std::vector<std::string> lines;
    settings.setDiagnosticSink([&](std::string_view text) { lines.emplace_back(text); });
    EXPECT_TRUE(settings.Load(path + "/sub/vantry.ini", contextFor(dir)) == false);
    EXPECT_FALSE(settings.Save());
    EXPECT_NE(settings.LastError().find("Not a directory"), std::string::npos) << settings.LastError();
    EXPECT_EQ(lines.size(), 2u);
}

TEST(StationSettings, UnreadableFileIsNotOverwrittenByDefaults)
{
    TempFolder dir;
    const std::string path = dir.file("vantry.ini");
    std::filesystem::create_directory(path); // stands for any file that cannot be read
    StationSettings settings;
    EXPECT_FALSE(settings.Load(path, contextFor(dir)));
    EXPECT_TRUE(settings.isLoaded());
    EXPECT_EQ(settings.channels[0].cameraName, "Camera 1");
    EXPECT_FALSE(settings.Save());
    EXPECT_TRUE(std::filesystem::is_directory(path));
}

TEST(StationSettings, ServiceRecordsReadAndWriteThroughTheSchema)
{
    TempFolder dir;
    IniDocument doc;
    doc.parse("[ZtCAP03]\nVCodec=\nnVQuality=0\nFrameRate=45\n[Motion03]\nnGridSize=20\n[Snap]\nlfHeight=24\n");
    const SettingsContext context = contextFor(dir);
    CaptureSettings capture;
    readSettings(doc, capture, 3, context);
    EXPECT_EQ(capture.videoCodec, "VX Video Encoder");
    EXPECT_EQ(capture.videoQuality, 80);
    EXPECT_EQ(capture.frameRate, 30);
    MotionSettings motion;
    readSettings(doc, motion, 3, context);
    EXPECT_EQ(motion.gridSize, 20);
    EXPECT_EQ(motion.motionValueThreshold, 80);
    SnapFontSettings font;
    readSettings(doc, font, 0, context);
    EXPECT_EQ(font.height, 24);
    EXPECT_EQ(font.faceName, "Times New Roman");

    IniDocument out;
    writeSettings(out, capture, 1, context);
    EXPECT_EQ(out.readInt("ZtCAP01", "WantPreview", 0), 1);
    EXPECT_EQ(out.readInt("ZtCAP01", "MasterStream", 0), 1);
    EXPECT_EQ(out.keyNames("ZtCAP01").front(), "VideoDevice");

    // The owners' one-call forms keep the station's keys in the same file.
    const std::string path = dir.file("vantry.ini");
    test::writeFile(path, "[Preference]\nsSiteName=Shop\n");
    motion.gridSize = 16;
    std::string error;
    ASSERT_TRUE(saveSettingsFile(path, motion, 4, context, &error)) << error;
    MotionSettings loaded;
    ASSERT_TRUE(loadSettingsFile(path, loaded, 4, context));
    EXPECT_EQ(loaded.gridSize, 16);
    EXPECT_EQ(platform::getProfileString(path, "Preference", "sSiteName", ""), "Shop");
    MotionSettings other;
    ASSERT_TRUE(loadSettingsFile(path, other, 1, context));
    EXPECT_EQ(other.gridSize, 40);
}

TEST(SettingsSchema, EveryKeyIsDeclaredOnceAndBoundSensibly)
{
    std::set<std::pair<std::string, std::string>> seen;
    for (const SettingKey& key : settingsSchema()) {
        std::string section = key.section;
        std::string name = key.key;
        for (char& c : section)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        for (char& c : name)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_TRUE(seen.emplace(section, name).second) << key.section << "/" << key.key;
        EXPECT_EQ(key.isPerCamera(), std::string(key.section).find("%02d") != std::string::npos) << key.key;
        // A key read into nothing would silently lose the user's value.
        if (key.isRead()) {
            EXPECT_FALSE(std::holds_alternative<std::monostate>(key.field)) << key.key;
        }
    }
    EXPECT_EQ(findSettingKey("videoserver", "SCONNNECTID")->key, std::string("sConnnectID"));
    EXPECT_EQ(findSettingKey("Preference_ch%02d", "nosuchkey"), nullptr);
}

} // namespace
} // namespace vantry::common
