#include "platform/ini_profile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <random>
#include <thread>

#include "test_support.h"

namespace vantry::platform {
namespace {

using test::TempFolder;

TEST(IniProfile, LeadingSignedDecimal)
{
    struct Row {
        const char* text;
        int32_t expected;
    };
    const Row rows[] = {
        {"42", 42},         {"-7", -7},         {"+5", 5},           {"  13", 13},       {"12abc", 12},
        {"abc", 0},         {"", 0},            {"-", 0},            {"0x10", 0},        {"4294967295", -1},
        {"2147483648", INT32_MIN}, {"-2147483648", INT32_MIN}, {"99999999999999999999", 1661992959},
    };
    for (const Row& row : rows)
        EXPECT_EQ(parseLeadingInt(row.text), row.expected) << '"' << row.text << '"';
}

TEST(IniProfile, ReadsCaseInsensitivelyWithDefaults)
{
    IniDocument doc;
    doc.parse("; comment\n[Preference]\nfHasMask = 1\nsSiteName=  Yard  \nEmpty=\n[preference]\nfHasMask=0\n"
              "[VideoServer]\r\nnTCPPort=8081\n");
    EXPECT_EQ(doc.readInt("PREFERENCE", "FHASMASK", 5), 1) << "first section and key win";
    EXPECT_EQ(doc.readString("preference", "ssitename", "x"), "Yard");
    EXPECT_EQ(doc.readInt("Preference", "Empty", 5), 0) << "present but not a number";
    EXPECT_EQ(doc.readInt("Preference", "Missing", 5), 5);
    EXPECT_EQ(doc.readInt("Nowhere", "fHasMask", -3), -3);
    EXPECT_EQ(doc.readInt("videoserver", "nTCPPort", 81), 8081) << "CR before LF ignored";
    EXPECT_EQ(doc.readString("Nowhere", "x", "fallback"), "fallback");
}

TEST(IniProfile, StringsKeepAtMost259CharactersAndStopAtNul)
{
    IniDocument doc;
    std::string text = "[S]\nlong=" + std::string(1000, 'a') + "\nnul=ab";
    text += '\0';
    text += "cd\n";
    doc.parse(text);
    EXPECT_EQ(doc.readString("S", "long", "").size(), kProfileStringMax);
    EXPECT_EQ(doc.readString("S", "nul", ""), "ab");
    EXPECT_EQ(doc.value("S", "long")->size(), 1000u) << "the document itself keeps the whole value";
}

TEST(IniProfile, WritingKeepsEverythingElse)
{
    IniDocument doc;
    const std::string original = "top=1\r\n[A]\r\n; note\r\nKey=old\r\nother line\r\n\r\n[B]\r\nx=1\r\n";
    doc.parse(original);
    ASSERT_TRUE(doc.writeString("a", "KEY", "new"));
    ASSERT_TRUE(doc.writeString("A", "Added", "2"));
    ASSERT_TRUE(doc.writeInt("C", "n", -5));
    EXPECT_EQ(doc.serialize(), "top=1\r\n[A]\r\n; note\r\nKey=new\r\nother line\r\nAdded=2\r\n\r\n[B]\r\nx=1\r\n"
                               "[C]\r\nn=-5\r\n");
    IniDocument fresh;
    ASSERT_TRUE(fresh.writeString("S", "k", "v"));
    EXPECT_EQ(fresh.serialize(), "[S]\nk=v\n") << "new files use LF";
}

TEST(IniProfile, WriteCannotInjectLinesOrBadNames)
{
    IniDocument doc;
    ASSERT_TRUE(doc.writeString("VideoServer", "sPW", "pw\n[Preference]\nfHasMask=0"));
    EXPECT_EQ(doc.readString("VideoServer", "sPW", ""), "pw");
    EXPECT_FALSE(doc.hasSection("Preference"));
    for (const char* bad : {"", "a=b", "[x", "x]", " lead", "line\nbreak"}) {
        EXPECT_FALSE(doc.writeString(bad, "k", "v")) << bad;
        EXPECT_FALSE(doc.writeString("S", bad, "v")) << bad;
    }
    EXPECT_EQ(doc.sectionNames(), std::vector<std::string>{"VideoServer"});
}

TEST(IniProfile, HostileTextNeverBreaksParsing)
{
    std::mt19937 rng(1234);
    for (int round = 0; round < 200; ++round) {
        std::string text(rng() % 2000, '\0');
        for (char& c : text)
            c = "[]=\r\n\0 ab;"[rng() % 11];
        IniDocument doc;
        doc.parse(text);
        doc.readInt("a", "b", 1);
        ASSERT_TRUE(doc.writeString("a", "b", "c"));
        IniDocument again;
        again.parse(doc.serialize());
        EXPECT_EQ(again.readString("a", "b", ""), "c") << "round " << round;
    }
}

TEST(IniProfile, MissingFileIsEmptyButUnreadableIsAnError)
{
    TempFolder dir;
    IniDocument doc;
    std::string error;
    EXPECT_TRUE(doc.loadFile(dir.file("none.ini"), &error));
    EXPECT_EQ(getProfileInt(dir.file("none.ini"), "S", "k", 9), 9);
    EXPECT_FALSE(doc.loadFile(dir.path(), &error)) << "a folder is not a settings file";
    EXPECT_NE(error.find("not a regular file"), std::string::npos);
    test::writeFile(dir.file("plain"), "x");
    EXPECT_FALSE(doc.loadFile(dir.file("plain") + "/vantry.ini", &error));
    EXPECT_NE(error.find("Not a directory"), std::string::npos) << error;
}

TEST(IniProfile, SaveSetsModeAndLeavesNoTemporaryFiles)
{
    TempFolder dir;
    const std::string path = dir.file("vantry.ini");
    ASSERT_TRUE(writeProfileString(path, "Preference", "sSiteName", "Shop", kPrivateFileMode));
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(getProfileString(path, "preference", "SSITENAME", ""), "Shop");
    EXPECT_EQ(test::folderEntries(dir.path()), std::vector<std::string>{"vantry.ini"});
}

TEST(IniProfile, FailedSaveLeavesTheOriginalIntact)
{
    TempFolder dir;
    const std::string path = dir.file("vantry.ini");
    const std::string original = "[Preference]\nsSiteName=Shop\n";
    test::writeFile(path, original);

    // A full disk half way through the new file.
    const int result = test::runWithFileSizeLimit(64, [&] {
        IniDocument doc;
        doc.loadFile(path);
        doc.writeString("Preference", "Big", std::string(200, 'x'));
        std::string error;
        return doc.saveFile(path, kPrivateFileMode, &error) ? 1 : (error.find("File too large") != std::string::npos ? 0 : 2);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(test::readFile(path), original);
    EXPECT_EQ(test::folderEntries(dir.path()), std::vector<std::string>{"vantry.ini"});

    // A folder that cannot exist (its parent is a file).
    std::string error;
    EXPECT_FALSE(writeProfileString(path + "/x.ini", "S", "k", "v", kPrivateFileMode, &error));
    EXPECT_FALSE(error.empty());
}

TEST(IniProfile, UnreadableExistingFileIsNeverReplaced)
{
    TempFolder dir;
    const std::string path = dir.file("dir.ini");
    std::filesystem::create_directory(path);
    std::string error;
    EXPECT_FALSE(updateProfile(path, kPrivateFileMode, [](IniDocument& d) { d.writeInt("S", "k", 1); }, &error));
    EXPECT_TRUE(std::filesystem::is_directory(path));
}

TEST(IniProfile, ConcurrentUpdatesLoseNothing)
{
    TempFolder dir;
    const std::string path = dir.file("shared.ini");
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 10; ++i)
                writeProfileString(path, "T" + std::to_string(t), "k" + std::to_string(i), std::to_string(i));
        });
    for (auto& thread : threads)
        thread.join();
    IniDocument doc;
    ASSERT_TRUE(doc.loadFile(path));
    for (int t = 0; t < 4; ++t)
        EXPECT_EQ(doc.keyNames("T" + std::to_string(t)).size(), 10u) << t;
}

TEST(IniProfile, SymbolicLinkTargetIsReplaced)
{
    TempFolder dir;
    test::writeFile(dir.file("real.ini"), "[S]\nk=1\n");
    std::filesystem::create_symlink(dir.file("real.ini"), dir.file("link.ini"));
    ASSERT_TRUE(writeProfileString(dir.file("link.ini"), "S", "k", "2"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link.ini")));
    EXPECT_EQ(getProfileInt(dir.file("real.ini"), "S", "k", 0), 2);
}

} // namespace
} // namespace vantry::platform
