// The viewer's settings file, its connect history, the ID lookup's request and reply, and the
// connection log's error texts.
#include "viewer/connection_log.h"
#include "viewer/connection_lookup.h"
#include "viewer/viewer_settings.h"
#include "viewer/viewer_texts.h"

#include "platform/ini_profile.h"
#include "record_fixtures.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

namespace vantry::viewer {
namespace {

using vantry::test::TempFolder;

TEST(ViewerSettingsTest, DefaultsFollowTheDataFolder)
{
    platform::IniDocument empty;
    const ViewerSettings s = readViewerSettings(empty, "/data/vyremote");
    EXPECT_EQ(s.ip, "127.0.0.1");
    EXPECT_EQ(s.port, 81);
    EXPECT_EQ(s.byIpAddress, 1);
    EXPECT_EQ(s.timeoutSeconds, 3);
    EXPECT_EQ(s.recordType, RecordType::RoundTheClock);
    EXPECT_EQ(s.alarmFile, "/data/vyremote/sound/alarm.wav");
    EXPECT_EQ(s.storagePath, "/data/vyremote/records");
    EXPECT_EQ(s.fileLengthMinutes, 5);
    EXPECT_EQ(s.minFreeSpaceMb, 1024);
    EXPECT_EQ(s.quality, 7);
    EXPECT_EQ(s.frameRate, 5);
    EXPECT_EQ(s.recycle, 1);
    EXPECT_TRUE(s.lookupUrl.empty()) << "no lookup is tried unless a registration server is set";
    EXPECT_EQ(s.snap.faceName, "Times New Roman");
}

TEST(ViewerSettingsTest, HandEditedValuesAreBroughtIntoRange)
{
    platform::IniDocument ini;
    ini.parse("[Preference]\nnChannelNo=9\nnTimeout=0\nnPort=70000\nnRecordType=7\nsAlarmFile=\n"
              "[Storage_ch01]\nnFileLength=1000\nnMinFreeSpace=-5\n[Advance]\nm_nVQuality=40\nm_nFrameRate=7\n"
              "[History]\nNumOfHistory=99999\nHistory1=a:81\nHistory2=a:81\nHistory3=office\n");
    const ViewerSettings s = readViewerSettings(ini, "/d");
    EXPECT_EQ(s.cameraIndex, 3);
    EXPECT_EQ(s.timeoutSeconds, 1);
    EXPECT_EQ(s.port, 65535);
    EXPECT_EQ(s.recordType, RecordType::RoundTheClock);
    EXPECT_EQ(s.alarmFile, "/d/sound/alarm.wav");
    EXPECT_EQ(s.fileLengthMinutes, 60);
    EXPECT_EQ(s.minFreeSpaceMb, 300);
    EXPECT_EQ(s.quality, 12);
    EXPECT_EQ(s.frameRate, 8);
    EXPECT_EQ(s.history, (std::vector<std::string> { "a:81", "office" }));
}

TEST(ViewerSettingsTest, HistoryKeepsTwentyDistinctEntries)
{
    ViewerSettings s;
    for (int i = 1; i <= 20; ++i)
        s.addHistory("host" + std::to_string(i) + ":81");
    s.addHistory("host5:81");
    EXPECT_EQ(s.history.size(), 20u);
    EXPECT_EQ(s.history.front(), "host1:81");
    s.addHistory("host21:81");
    EXPECT_EQ(s.history.size(), 20u);
    EXPECT_EQ(s.history.front(), "host2:81");
    EXPECT_EQ(s.history.back(), "host21:81");
}

TEST(ViewerSettingsTest, SavedFileReadsBackAndKeepsThePasswordMasked)
{
    TempFolder folder;
    ViewerSettings s;
    s.ip = "192.0.2.7";
    s.port = 8081;
    s.cameraIndex = 2;
    s.hasMask = 1;
    s.lockPassword = "open sesame";
    s.recordType = RecordType::Event;
    s.history = { "192.0.2.7:8081", "MYSTATION" };
    s.quality = 1;
    const std::string path = folder / "vantry.ini";
    ASSERT_TRUE(saveViewerSettings(path, s));
    EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    const ViewerSettings back = loadViewerSettings(path, folder.path());
    EXPECT_EQ(back.ip, "192.0.2.7");
    EXPECT_EQ(back.port, 8081);
    EXPECT_EQ(back.cameraIndex, 2);
    EXPECT_EQ(back.lockPassword, "open sesame");
    EXPECT_EQ(back.recordType, RecordType::Event);
    EXPECT_EQ(back.history, s.history);
    EXPECT_EQ(back.quality, 1);
    std::ifstream in(path);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text.find("open sesame"), std::string::npos);
    EXPECT_NE(text.find("bEnablePWCheck=1"), std::string::npos);
    EXPECT_NE(text.find("sPW=1"), std::string::npos);
}

TEST(ViewerSettingsTest, ProgramFolderSettingsAreCopiedOnlyWhenMissing)
{
    TempFolder program;
    TempFolder data;
    std::ofstream(program / "vantry.ini") << "[Preference]\nsIP=10.0.0.9\n";
    const std::string path = prepareViewerDataFolder(data.path(), program.path());
    EXPECT_EQ(loadViewerSettings(path, data.path()).ip, "10.0.0.9");
    EXPECT_TRUE(std::filesystem::is_directory(data / "records"));
    std::ofstream(program / "vantry.ini") << "[Preference]\nsIP=10.0.0.10\n";
    prepareViewerDataFolder(data.path(), program.path());
    EXPECT_EQ(loadViewerSettings(path, data.path()).ip, "10.0.0.9");
}

TEST(ConnectionLookupTest, ReplyGivesTheAddressBetweenTheFirstThreeHashes)
{
    struct Case {
        const char* reply;
        const char* host;
        uint16_t port;
    };
    const Case cases[] = {
        { "Success#203.0.113.5#8081#", "203.0.113.5", 8081 },
        { "<html>Success</html>#cam.example.org#81#extra#", "cam.example.org", 81 },
        { "Success#203.0.113.5#8081", nullptr, 0 },  // only two hashes
        { "Failed#203.0.113.5#8081#", nullptr, 0 },  // no "Success"
        { "Success##81#", nullptr, 0 },              // no address
        { "Success#h#port#", nullptr, 0 },           // port not a number
        { "Success#h#99999#", nullptr, 0 },          // port out of range
        { "", nullptr, 0 },
    };
    for (const Case& c : cases) {
        const auto address = parseLookupReply(c.reply);
        if (!c.host) {
            EXPECT_FALSE(address) << c.reply;
            continue;
        }
        ASSERT_TRUE(address) << c.reply;
        EXPECT_EQ(address->host, c.host);
        EXPECT_EQ(address->port, c.port);
    }
}

TEST(ConnectionLookupTest, RequestPostsTheIdAsTyped)
{
    const auto request = buildLookupRequest("http://reg.example.net:8080/vantry/vy_ip_get.php", "My Station");
    ASSERT_TRUE(request);
    EXPECT_EQ(request->host, "reg.example.net");
    EXPECT_EQ(request->port, 8080);
    EXPECT_EQ(request->path, "/vantry/vy_ip_get.php");
    EXPECT_EQ(request->body, "CONID=My Station&Submit=Submit\r\n");
    EXPECT_EQ(request->contentType, "Content-Type: application/x-www-form-urlencoded\r\n");
    EXPECT_EQ(buildLookupRequest("http://reg.example.net/vy_ip_get.php", "x")->port, 80);
    EXPECT_FALSE(buildLookupRequest("https://reg.example.net/vy_ip_get.php", "x"));
    EXPECT_FALSE(buildLookupRequest("http://:80/vy_ip_get.php", "x"));
    EXPECT_FALSE(buildLookupRequest("http://h:0/vy_ip_get.php", "x"));
    EXPECT_FALSE(lookupConnectionId("", "x", 1)) << "an empty address tries nothing";
}

TEST(ConnectionLogTest, ErrnoValuesReadAsTheirSocketErrorTexts)
{
    struct Case {
        SocketCall call;
        int errnoValue;
        int winsock;
        const char* start; // empty: not logged
    };
    const Case cases[] = {
        { SocketCall::Connect, ECONNREFUSED, 10061, "The attempt to connect was forcefully rejected." },
        { SocketCall::Connect, ETIMEDOUT, 10060, "Attempt to connect timed out" },
        { SocketCall::Connect, ENETUNREACH, 10051, "The network cannot be reached" },
        { SocketCall::Connect, EWOULDBLOCK, 10035, "The socket is marked as nonblocking" },
        { SocketCall::Connect, EALREADY, 10037, "A nonblocking connect call is in progress on the specified socket. " },
        { SocketCall::Socket, EMFILE, 10024, "No more socket descriptors are available." },
        { SocketCall::Socket, ENOBUFS, 10055, "No buffer space is available. The socket cannot be created." },
        { SocketCall::Connect, ENOBUFS, 10055, "No buffer space is available. The socket cannot be connected." },
        { SocketCall::Socket, ECONNREFUSED, 10061, "" },
        { SocketCall::Connect, ENOENT, 0, "" },
    };
    for (const Case& c : cases) {
        EXPECT_EQ(winsockErrorFromErrno(c.errnoValue), c.winsock) << c.errnoValue;
        const std::string_view text = connectFailureText(c.call, c.winsock);
        EXPECT_EQ(text.substr(0, std::string_view(c.start).size()), c.start) << c.winsock;
        EXPECT_EQ(text.empty(), std::string_view(c.start).empty()) << c.winsock;
    }
}

TEST(ViewerTextsTest, LanguageFileOverridesByName)
{
    TempFolder program;
    std::ofstream(program / "Germanini") << "[Vantry]\nIDS_MSG_SNAP=Standbild aufnehmen.\n";
    ViewerStrings strings;
    strings.load(program.path(), languageNameForLocale("de_DE.UTF-8"));
    EXPECT_EQ(strings.text(ViewerText::TipSnap), "Standbild aufnehmen.");
    EXPECT_EQ(strings.text(ViewerText::CannotConnect), "Cannot connect to Vantry.");
    EXPECT_EQ(languageNameForLocale("zh_TW.UTF-8"), "TChinese");
    EXPECT_EQ(languageNameForLocale("zh_CN"), "SChinese");
    EXPECT_EQ(languageNameForLocale("C"), "English");
}

} // namespace
} // namespace vantry::viewer
