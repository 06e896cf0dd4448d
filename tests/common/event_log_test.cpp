#include "common/event_log.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>

#include "common/log_texts.h"
#include "common/text_log.h"
#include "platform/ini_profile.h"
#include "test_support.h"

namespace vantry::common {
namespace {

using test::TempFolder;

int32_t le32(const std::string& bytes, std::size_t offset)
{
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[offset + static_cast<std::size_t>(i)])) << (8 * i);
    return static_cast<int32_t>(v);
}

std::string slotText(const std::string& bytes, int slot)
{
    const std::size_t at = kLogHeaderBytes + kLogRecordBytes * static_cast<std::size_t>(slot) + 12;
    return std::string(bytes.c_str() + at);
}

class EventLogTest : public ::testing::Test {
protected:
    // Opens a log whose section Log holds the given lines.
    bool open(const std::string& logSection = "")
    {
        test::writeFile(settingsPath(), "[Log]\n" + logSection);
        log.setClock([this] { return ++clock; });
        return log.Open(settingsPath(), dir.path());
    }
    std::string settingsPath() const { return dir.file("vantry.ini"); }
    std::string logPath() const { return dir.file("Log.Dat"); }
    std::string logBytes() const { return test::readFile(logPath()); }
    void addNumbered(int count, int from = 1)
    {
        for (int i = from; i < from + count; ++i)
            ASSERT_EQ(log.AddEntry(LogEntryType::Operation, kSystemCamera, "entry " + std::to_string(i)), 1);
    }
    std::vector<LogRecord> records()
    {
        std::optional<std::vector<LogRecord>> all = log.ReadAll();
        if (!all) {
            ADD_FAILURE() << "read pass failed: " << log.LastError();
            return {};
        }
        return std::move(*all);
    }
    std::vector<std::string> texts()
    {
        std::vector<std::string> out;
        for (const LogRecord& record : records())
            out.push_back(record.text);
        return out;
    }
    static std::vector<std::string> numbered(int from, int to)
    {
        std::vector<std::string> out;
        for (int i = from; i <= to; ++i)
            out.push_back("entry " + std::to_string(i));
        return out;
    }

    TempFolder dir;
    EventLog log;
    uint32_t clock = 1700000000u;
};

TEST_F(EventLogTest, FreshFileHasExactLayout)
{
    ASSERT_TRUE(open());
    const std::string bytes = logBytes();
    ASSERT_EQ(bytes.size(), 27204u);
    EXPECT_EQ(bytes.substr(0, 4), std::string(4, '\xFF'));
    EXPECT_EQ(bytes.find_first_not_of('\0', 4), std::string::npos);
    EXPECT_EQ(log.CountEntries(), 0);

    ASSERT_EQ(log.AddEntry(LogEntryType::Option, 2, "Modify the preferences."), 1);
    const std::string after = logBytes();
    EXPECT_EQ(after.size(), 27204u);
    EXPECT_EQ(le32(after, 0), 0);
    EXPECT_EQ(static_cast<uint32_t>(le32(after, 4)), 1700000001u);
    EXPECT_EQ(le32(after, 8), 2) << "type";
    EXPECT_EQ(le32(after, 12), 2) << "camera";
    EXPECT_EQ(slotText(after, 0), "Modify the preferences.");
}

TEST_F(EventLogTest, RingWrapsAtCapacity)
{
    ASSERT_TRUE(open());
    addNumbered(100);
    EXPECT_EQ(le32(logBytes(), 0), 99);
    addNumbered(1, 101);
    const std::string bytes = logBytes();
    EXPECT_EQ(bytes.size(), 27204u);
    EXPECT_EQ(le32(bytes, 0), 0);
    EXPECT_EQ(slotText(bytes, 0), "entry 101");
    EXPECT_EQ(texts(), numbered(2, 101)) << "oldest first, starting after the newest slot";
}

TEST_F(EventLogTest, UncountedKindsReportSuccessAndWriteNothing)
{
    ASSERT_TRUE(open());
    const std::string before = logBytes();
    EXPECT_EQ(log.AddEntry(LogEntryType::Event, 0, logtext::kMotionEvent), 1);
    EXPECT_EQ(log.AddEntry(LogEntryType::Connection, kSystemCamera, "x"), 1);
    EXPECT_EQ(logBytes(), before);

    EventLog counting;
    test::writeFile(settingsPath(), "[Log]\nfCountInMotionEvents=1\nfCountInRemoteConnections=1\n");
    ASSERT_TRUE(counting.Open(settingsPath(), dir.path()));
    EXPECT_EQ(counting.AddEntry(LogEntryType::Event, 0, logtext::kMotionEvent), 1);
    EXPECT_EQ(counting.AddEntry(LogEntryType::Connection, kSystemCamera, "x"), 1);
    EXPECT_EQ(counting.CountEntries(), 2);
}

TEST_F(EventLogTest, LongTextsAreCutTo259Bytes)
{
    ASSERT_TRUE(open());
    ASSERT_EQ(log.AddEntry(LogEntryType::Operation, 0, std::string(300, 'a')), 1);
    // 258 ASCII bytes then a two-byte character that would end half way.
    ASSERT_EQ(log.AddEntry(LogEntryType::Operation, 0, std::string(258, 'b') + "\xc3\xa9" + "tail"), 1);
    const auto stored = records();
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0].text, std::string(259, 'a'));
    EXPECT_EQ(stored[1].text, std::string(258, 'b'));
    EXPECT_EQ(logBytes()[kLogHeaderBytes + 12 + 259], '\0');
}

TEST_F(EventLogTest, ResizeKeepsTheNewestEntries)
{
    ASSERT_TRUE(open("nMaxOfLogs=200\n"));
    ASSERT_EQ(log.capacity(), 200);
    addNumbered(230);

    ASSERT_TRUE(log.Resize(200, 100));
    EXPECT_EQ(log.capacity(), 100);
    std::string bytes = logBytes();
    EXPECT_EQ(bytes.size(), logFileBytes(100));
    EXPECT_EQ(le32(bytes, 0), 99);
    EXPECT_EQ(slotText(bytes, 0), "entry 131");
    EXPECT_EQ(slotText(bytes, 99), "entry 230");
    EXPECT_EQ(texts(), numbered(131, 230));

    ASSERT_TRUE(log.Resize(100, 150));
    bytes = logBytes();
    EXPECT_EQ(bytes.size(), logFileBytes(150));
    EXPECT_EQ(le32(bytes, 0), 99);
    addNumbered(1, 231);
    EXPECT_EQ(slotText(logBytes(), 100), "entry 231");
    EXPECT_EQ(texts(), numbered(131, 231));
    EXPECT_EQ(test::folderEntries(dir.path()).size(), 2u) << "no work file left behind";
}

TEST_F(EventLogTest, ResizingAnEmptyLog)
{
    ASSERT_TRUE(open());
    ASSERT_TRUE(log.Resize(100, 300));
    const std::string bytes = logBytes();
    EXPECT_EQ(bytes.size(), logFileBytes(300));
    EXPECT_EQ(le32(bytes, 0), -1);
    EXPECT_FALSE(log.Resize(300, 0));
    EXPECT_EQ(log.capacity(), 300);
}

TEST_F(EventLogTest, ShortFileIsDeletedAndLoggingStaysOff)
{
    for (const std::size_t size : {0u, 1u, 2u, 3u}) {
        test::writeFile(logPath(), std::string(size, '\x01'));
        EventLog shortLog;
        test::writeFile(settingsPath(), "");
        EXPECT_FALSE(shortLog.Open(settingsPath(), dir.path())) << size;
        EXPECT_EQ(shortLog.LastError(), logtext::kErrorReadCount);
        EXPECT_FALSE(std::filesystem::exists(logPath()));
        EXPECT_EQ(shortLog.AddEntry(LogEntryType::Operation, kSystemCamera, "x"), 0);
        EXPECT_FALSE(std::filesystem::exists(logPath())) << "nothing written during that run";
        EXPECT_FALSE(shortLog.BeginRead());
    }
}

TEST_F(EventLogTest, DamagedHeaderNeverGrowsTheFile)
{
    ASSERT_TRUE(open());
    std::string bytes = logBytes();
    for (const int32_t header : {500, -7, 99}) {
        for (int i = 0; i < 4; ++i)
            bytes[static_cast<std::size_t>(i)] = static_cast<char>(static_cast<uint32_t>(header) >> (8 * i));
        test::writeFile(logPath(), bytes);
        ASSERT_EQ(log.AddEntry(LogEntryType::Operation, 0, "after damage"), 1) << header;
        bytes = logBytes();
        EXPECT_EQ(bytes.size(), 27204u) << header;
        EXPECT_EQ(le32(bytes, 0), 0) << header;
        EXPECT_EQ(records().back().text, "after damage");
    }
}

TEST_F(EventLogTest, SettingsAreReadClampedAndSaved)
{
    ASSERT_TRUE(open("nMaxOfLogs=-5\nfCountInMotionEvents=1\n"));
    EXPECT_EQ(log.capacity(), 100);
    EXPECT_TRUE(log.countMotionEvents());
    EXPECT_FALSE(log.countRemoteConnections());
    log.setCountRemoteConnections(true);
    ASSERT_TRUE(log.Resize(100, 250));
    ASSERT_TRUE(log.SaveSettings(settingsPath()));
    platform::IniDocument doc;
    ASSERT_TRUE(doc.loadFile(settingsPath()));
    EXPECT_EQ(doc.keyNames("Log"),
              (std::vector<std::string>{"nMaxOfLogs", "fCountInMotionEvents", "fCountInRemoteConnections"}));
    EXPECT_EQ(doc.readInt("Log", "nMaxOfLogs", 0), 250);
    EXPECT_EQ(doc.readInt("Log", "fCountInRemoteConnections", 0), 1);
}

TEST_F(EventLogTest, ConcurrentWritersLoseNoRecord)
{
    ASSERT_TRUE(open("nMaxOfLogs=1000\n"));
    constexpr int kThreads = 6;
    constexpr int kPerThread = 60;
    auto textOf = [](int t, int i) {
        return "thread " + std::to_string(t) + " entry " + std::to_string(i) + " " +
               std::string(static_cast<std::size_t>(t * 40), static_cast<char>('a' + t));
    };
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i)
                if (log.AddEntry(LogEntryType::Operation, t, textOf(t, i)) != 1)
                    ++failures;
        });
    // Readers in the middle of it all, and after it, see only whole records.
    auto checkWhole = [&](const LogRecord& record) {
        const std::size_t at = record.text.find(" entry ");
        ASSERT_NE(at, std::string::npos) << record.text;
        EXPECT_EQ(record.text, textOf(record.camera, std::stoi(record.text.substr(at + 7))));
    };
    for (int pass = 0; pass < 5; ++pass)
        for (const LogRecord& record : records())
            checkWhole(record);
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(failures, 0);
    std::set<std::string> seen;
    for (const LogRecord& record : records()) {
        checkWhole(record);
        seen.insert(record.text);
    }
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kPerThread));
}

TEST_F(EventLogTest, ReadPassHoldsWritersOfOtherThreadsButNotItsOwn)
{
    ASSERT_TRUE(open());
    addNumbered(3);
    ASSERT_TRUE(log.BeginRead());
    EXPECT_EQ(log.AddEntry(LogEntryType::Operation, 0, "same thread"), 1) << "the lock is re-entrant";
    std::atomic<bool> written{false};
    std::thread other([&] {
        log.AddEntry(LogEntryType::Operation, 0, "other thread");
        written = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(written) << "a writer waits for the read pass";
    LogRecord record;
    int count = 0;
    while (log.NextRecord(record))
        ++count;
    log.EndRead();
    other.join();
    EXPECT_TRUE(written);
    EXPECT_GE(count, 3);
    EXPECT_EQ(log.CountEntries(), 5);
}

TEST_F(EventLogTest, UnusableFolderDisablesTheLogWithAReason)
{
    test::writeFile(dir.file("plain"), "x");
    EventLog broken;
    std::vector<std::string> lines;
    broken.setDiagnosticSink([&](std::string_view text) { lines.emplace_back(text); });
    EXPECT_FALSE(broken.Open(settingsPath(), dir.file("plain")));
    EXPECT_TRUE(broken.isDisabled());
    EXPECT_NE(broken.LastError().find("Not a directory"), std::string::npos) << broken.LastError();
    EXPECT_EQ(lines.size(), 1u);
    EXPECT_EQ(broken.AddEntry(LogEntryType::Operation, 0, "x"), 0);
    EXPECT_EQ(broken.CountEntries(), -1);
}

TEST_F(EventLogTest, FullDiskLeavesNoHalfWrittenLog)
{
    // Creating the log on a full disk: no partial Log.Dat appears.
    test::writeFile(settingsPath(), "");
    const int created = test::runWithFileSizeLimit(4096, [&] {
        EventLog fresh;
        return !fresh.Open(settingsPath(), dir.path()) && fresh.isDisabled() &&
                       fresh.LastError().find("File too large") != std::string::npos
                   ? 0
                   : 1;
    });
    EXPECT_EQ(created, 0);
    EXPECT_FALSE(std::filesystem::exists(logPath()));

    // Adding to a log that the disk cannot hold (a sparse file cut short) fails cleanly, with the
    // reason in the text log, and leaves the file as it was.
    ASSERT_TRUE(open());
    addNumbered(3);
    ASSERT_EQ(::truncate(logPath().c_str(), 1000), 0);
    const std::string before = logBytes();
    TextLog textLog;
    ASSERT_TRUE(textLog.Open(dir.file("vantry.log")));
    const int added = test::runWithFileSizeLimit(1000, [&] {
        log.setDiagnosticSink([&](std::string_view text) { textLog.Write(text); });
        return log.AddEntry(LogEntryType::Operation, 0, "lost") == 0 && !log.LastError().empty() ? 0 : 1;
    });
    EXPECT_EQ(added, 0);
    EXPECT_EQ(logBytes(), before);
    EXPECT_NE(test::readFile(dir.file("vantry.log")).find("Log: cannot write"), std::string::npos);
}

} // namespace
} // namespace vantry::common
