#include "common/text_log.h"

#include <gtest/gtest.h>

#include <regex>

#include "test_support.h"

namespace vantry::common {
namespace {

using test::TempFolder;

int crlfLines(const std::string& text)
{
    int count = 0;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2))
        ++count;
    return count;
}

TEST(TextLog, LinesCarryLocalTimeAndCrLf)
{
    TempFolder dir;
    TextLog log;
    EXPECT_FALSE(log.Write("before open")) << "disabled until opened";
    ASSERT_TRUE(log.Open(dir.file("vantry.log")));
    ASSERT_TRUE(log.Write("Fail on pFrame->InitCaptureManager() in CVantoWatchApp::InitInstance()"));
    ASSERT_TRUE(log.Write("two\r\nlines\tand\x01" "control"));
    const std::string text = test::readFile(dir.file("vantry.log"));
    EXPECT_TRUE(std::regex_match(text, std::regex(R"((\d{4}-\d\d-\d\d \d\d:\d\d:\d\d - [^\r\n]*\r\n){2})"))) << text;
    EXPECT_NE(text.find(" - Fail on pFrame->InitCaptureManager() in CVantoWatchApp::InitInstance()\r\n"),
              std::string::npos);
    EXPECT_NE(text.find(" - two  lines and control\r\n"), std::string::npos) << "one message is one line";
    log.Close();
    EXPECT_FALSE(log.Write("after close"));
    EXPECT_EQ(crlfLines(test::readFile(dir.file("vantry.log"))), 2);

    std::tm when {};
    when.tm_year = 2026 - 1900;
    when.tm_mon = 11;
    when.tm_mday = 11;
    when.tm_hour = 9;
    when.tm_min = 5;
    when.tm_sec = 7;
    when.tm_isdst = -1;
    EXPECT_EQ(TextLog::formatLine("x", std::mktime(&when)), "2026-12-11 09:05:07 - x");
}

TEST(TextLog, RotatesAtOneHundredLines)
{
    TempFolder dir;
    const std::string path = dir.file("vantry.log");
    TextLog log;
    ASSERT_TRUE(log.Open(path));
    for (int i = 1; i <= 99; ++i)
        ASSERT_TRUE(log.Write("message " + std::to_string(i)));
    EXPECT_FALSE(std::filesystem::exists(path + "1"));
    ASSERT_TRUE(log.Write("message 100"));
    EXPECT_EQ(crlfLines(test::readFile(path + "1")), 100);
    EXPECT_EQ(test::readFile(path), "");
    EXPECT_EQ(log.lineCount(), 0);
    for (int i = 101; i <= 150; ++i)
        ASSERT_TRUE(log.Write("message " + std::to_string(i)));
    EXPECT_EQ(crlfLines(test::readFile(path)), 50);
    EXPECT_NE(test::readFile(path + "1").find("message 100\r\n"), std::string::npos);
}

TEST(TextLog, OpenCountsExistingLinesAndRotatesAFullFile)
{
    TempFolder dir;
    const std::string path = dir.file("vantry.log");
    std::string lines;
    for (int i = 0; i < 120; ++i)
        lines += "old\r\n";
    test::writeFile(path, lines);
    TextLog log;
    ASSERT_TRUE(log.Open(path));
    EXPECT_EQ(test::readFile(path + "1"), lines);
    EXPECT_EQ(test::readFile(path), "");

    test::writeFile(path, "a\r\nb\r\nno end");
    TextLog again;
    ASSERT_TRUE(again.Open(path));
    EXPECT_EQ(again.lineCount(), 2);
}

TEST(TextLog, FailuresLoseTheMessageButNeverHalfALine)
{
    TempFolder dir;
    test::writeFile(dir.file("plain"), "x");
    TextLog broken;
    EXPECT_FALSE(broken.Open(dir.file("plain") + "/vantry.log"));
    EXPECT_NE(broken.LastError().find("Not a directory"), std::string::npos);
    EXPECT_FALSE(broken.Write("lost"));

    const std::string path = dir.file("vantry.log");
    TextLog log;
    ASSERT_TRUE(log.Open(path));
    ASSERT_TRUE(log.Write("first"));
    const std::string before = test::readFile(path);
    // The disk fills up part way through the next line.
    const int result = test::runWithFileSizeLimit(static_cast<rlim_t>(before.size() + 10), [&] {
        return !log.Write("a message much longer than ten bytes") && !log.LastError().empty() ? 0 : 1;
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(test::readFile(path), before);
}

TEST(TextLog, EchoesToStandardError)
{
    TempFolder dir;
    TextLog log;
    log.setEchoToStderr(true);
    testing::internal::CaptureStderr();
    log.Write("headless before open");
    ASSERT_TRUE(log.Open(dir.file("vantry.log")));
    log.Write("headless line");
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(" - headless before open\n"), std::string::npos) << err;
    EXPECT_NE(err.find(" - headless line\n"), std::string::npos) << err;
}

} // namespace
} // namespace vantry::common
