#include "common/avi_format.h"
#include "common/record_files.h"
#include "common/record_index.h"
#include "record_fixtures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

using namespace vantry::common;
using namespace vantry::test;

namespace {

constexpr const char* kBerlin = "CET-1CEST,M3.5.0,M10.5.0/3";

// A record file judged by its name alone (the content is not an AVI).
std::string PlaceFile(const std::string& storage, int32_t start, int32_t end, uint32_t kind, size_t bytes = 1000)
{
    const std::string folder = storage + "/" + DayFolderName(start);
    PrepareRecordFolder(folder);
    const std::string path = folder + "/" + RecordFileName(start, end, kind);
    WriteBytes(path, Bytes(bytes, 0x55));
    return path;
}

IndexRecord RecordFor(const std::string& path, int32_t start, int32_t end, uint64_t size = 1000, uint32_t kind = 0)
{
    return IndexRecord{path, kind, start, end, size};
}

} // namespace

TEST(RecordNames, NamesCarryLocalTimesAndKind)
{
    ScopedTimeZone zone("UTC0");
    const int32_t start = MakeLocalTime(2008, 3, 7, 10, 15, 0);
    EXPECT_EQ(RecordFileName(start, start + 300, 0), "zt1015001020000.avi");
    EXPECT_EQ(RecordFileName(start, start + 300, 1), "zt1015001020001.avi");
    EXPECT_EQ(DayFolderName(start), "2008-03-07");
    EXPECT_EQ(RenamedRecordPath("/r/2008-03-07/zt1015001015000.avi", start, start + 300, 1),
              "/r/2008-03-07/zt1015001020001.avi");
    EXPECT_EQ(RenamedRecordPath("/r/a.avi", start, start, 0), "");

    RecordName name;
    EXPECT_TRUE(ParseRecordFileName("zt1015001020001.avi", name));
    EXPECT_EQ(name.kind, 1u);
    EXPECT_FALSE(name.IsWorkingName());
    for (const char* bad : {"zt10150010200.avi", "zt1015001020009.avi", "ztab15001020000.avi", "zt1015001020000.txt"})
        EXPECT_FALSE(ParseRecordFileName(bad, name)) << bad;
}

// A segment from 23:58:00 to 00:03:00 lives in the folder of its first day and ends on the next.
class MidnightCrossing : public ::testing::TestWithParam<const char*> {};

TEST_P(MidnightCrossing, RebuildEndsOnTheNextDay)
{
    ScopedTimeZone zone(GetParam());
    TempFolder storage;
    const int32_t start = MakeLocalTime(2024, 12, 31, 23, 58, 0);
    const int32_t end = MakeLocalTime(2025, 1, 1, 0, 3, 0);
    EXPECT_EQ(RecordFileName(start, end, 0), "zt2358000003000.avi");
    const std::string segment = NewSegmentPath(storage.path(), start);
    EXPECT_EQ(segment, storage / "2024-12-31/zt2358002358000.avi");

    const std::string path = PlaceFile(storage.path(), start, end, 0);
    RecordIndex index;
    ASSERT_EQ(index.Open(storage.path()), 1);
    ASSERT_EQ(index.RecordCount(), 1u);
    const IndexRecord record = index.Records().front();
    EXPECT_EQ(record.path, path);
    EXPECT_EQ(record.start, start);
    EXPECT_EQ(record.end, end);
    EXPECT_EQ(end - start, 300);
    ASSERT_EQ(index.Years().size(), 1u);
    EXPECT_EQ(index.Years()[0].key, 2024); // filed under its start day
}

INSTANTIATE_TEST_SUITE_P(Zones, MidnightCrossing, ::testing::Values("UTC0", kBerlin));

TEST(RecordIndexAdd, RefusesCoveredStartsAndDeletesEmptyRecords)
{
    ScopedTimeZone zone(kBerlin);
    TempFolder storage;
    const int32_t t = MakeLocalTime(2025, 6, 1, 10, 0, 0);
    RecordIndex index;
    ASSERT_EQ(index.Open(storage.path()), 1);
    const std::string first = PlaceFile(storage.path(), t, t + 300, 0);
    ASSERT_EQ(index.Add(RecordFor(first, t, t + 300)), 1);

    struct Case {
        const char* what;
        int32_t start;
        int32_t end;
        uint64_t size;
        int result;
        bool fileKept;
    };
    const Case cases[] = {
        {"same start", t, t + 600, 1000, -1, true},
        {"start inside an existing record", t + 299, t + 900, 1000, -1, true},
        {"start where the existing one ends", t + 300, t + 600, 1000, 1, true},
        {"start equal to end", t + 1000, t + 1000, 1000, -1, false},
        {"start after end", t + 2000, t + 1900, 1000, -1, false},
        {"zero size", t + 3000, t + 3300, 0, -1, false},
    };
    for (const Case& c : cases) {
        const std::string path = PlaceFile(storage.path(), c.start, c.end, 1, 10);
        EXPECT_EQ(index.Add(RecordFor(path, c.start, c.end, c.size)), c.result) << c.what;
        EXPECT_EQ(FileExists(path), c.fileKept) << c.what;
    }
    EXPECT_EQ(index.RecordCount(), 2u);
    EXPECT_EQ(index.EarliestStart(), t);
    EXPECT_EQ(index.LatestEnd(), t + 600);
    EXPECT_EQ(index.TotalBytes(), 2000u);
    EXPECT_TRUE(index.IsModified());
}

TEST(RecordIndexAdd, FindAndSumsOnEveryLevel)
{
    ScopedTimeZone zone("UTC0");
    TempFolder storage;
    RecordIndex index;
    ASSERT_EQ(index.Open(storage.path()), 1);
    EXPECT_TRUE(index.IsEmpty());
    const int32_t day1 = MakeLocalTime(2025, 2, 28, 12, 0, 0);
    const int32_t day2 = MakeLocalTime(2025, 3, 1, 12, 0, 0);
    // Inserted out of order: arrays stay sorted.
    ASSERT_EQ(index.Add(RecordFor("/x/c", day2, day2 + 60, 30)), 1);
    ASSERT_EQ(index.Add(RecordFor("/x/b", day1 + 600, day1 + 660, 20)), 1);
    ASSERT_EQ(index.Add(RecordFor("/x/a", day1, day1 + 60, 10)), 1);
    EXPECT_FALSE(index.IsEmpty());

    const YearNode& year = index.Years().at(0);
    ASSERT_EQ(year.months.size(), 2u);
    EXPECT_EQ(year.months[0].key, 2);
    EXPECT_EQ(year.months[1].key, 3);
    EXPECT_EQ(year.bytes, 60u);
    EXPECT_EQ(year.start, day1);
    EXPECT_EQ(year.end, day2 + 60);
    const DayNode& feb28 = year.months[0].days.at(0);
    EXPECT_EQ(feb28.key, 28);
    ASSERT_EQ(feb28.records.size(), 2u);
    EXPECT_EQ(feb28.records[0].path, "/x/a");
    EXPECT_EQ(feb28.bytes, 30u);

    const auto found = index.Find(day1 + 630);
    ASSERT_TRUE(found);
    EXPECT_EQ(index.RecordAt(*found)->path, "/x/b");
    EXPECT_FALSE(index.Find(day1 + 660)); // the end itself is not covered
    EXPECT_FALSE(index.Find(day1 - 1));
}

TEST(RecordIndexRemove, EmptyDayNodeSurvivesSaveAndLoadUntilRemoveDay)
{
    ScopedTimeZone zone(kBerlin);
    TempFolder storage;
    const int32_t t = MakeLocalTime(2025, 7, 14, 8, 0, 0);
    const std::string path = PlaceFile(storage.path(), t, t + 120, 0);
    RecordIndex index;
    ASSERT_EQ(index.Open(storage.path()), 1);
    ASSERT_EQ(index.RecordCount(), 1u);

    ASSERT_EQ(index.RemoveRecord(t + 10, false), 1);
    EXPECT_TRUE(FileExists(path));
    auto checkEmptyDay = [](const RecordIndex& idx) {
        ASSERT_EQ(idx.Years().size(), 1u);
        const DayNode& day = idx.Years()[0].months.at(0).days.at(0);
        EXPECT_EQ(day.key, 14);
        EXPECT_TRUE(day.records.empty());
        EXPECT_EQ(day.start, 0);
        EXPECT_EQ(day.end, 0);
        EXPECT_EQ(idx.Years()[0].start, 0);
        EXPECT_EQ(idx.EarliestStart(), 0);
        EXPECT_TRUE(idx.IsEmpty());
    };
    checkEmptyDay(index);
    ASSERT_EQ(index.Save(), 1);
    EXPECT_FALSE(index.IsModified());

    RecordIndex loaded;
    const Bytes bytes = ReadBytes(storage / "rdb.ndx");
    ASSERT_EQ(loaded.LoadFromBytes(bytes.data(), bytes.size()), 1);
    checkEmptyDay(loaded);

    ASSERT_EQ(loaded.RemoveDay(t, false), 1);
    EXPECT_TRUE(loaded.Years()[0].months.at(0).days.empty());
    EXPECT_EQ(loaded.RemoveDay(t, false), 0);
}

TEST(RecordIndexRemove, RemoveDayDeletesFilesAndRemoveAllEmptiesTheTree)
{
    ScopedTimeZone zone("UTC0");
    TempFolder storage;
    const int32_t t = MakeLocalTime(2025, 7, 14, 8, 0, 0);
    const std::string a = PlaceFile(storage.path(), t, t + 60, 0);
    const std::string b = PlaceFile(storage.path(), t + 3600, t + 3660, 1);
    const std::string other = PlaceFile(storage.path(), t + 86400, t + 86460, 0);
    RecordIndex index;
    ASSERT_EQ(index.Open(storage.path()), 1);
    ASSERT_EQ(index.RecordCount(), 3u);
    ASSERT_EQ(index.RemoveDay(t + 7200, true), 1);
    EXPECT_FALSE(FileExists(a));
    EXPECT_FALSE(FileExists(b));
    EXPECT_TRUE(FileExists(other));
    EXPECT_EQ(index.TotalBytes(), 1000u);
    EXPECT_EQ(index.EarliestStart(), t + 86400);

    ASSERT_EQ(index.RemoveAll(true), 1);
    EXPECT_FALSE(FileExists(other));
    EXPECT_FALSE(FileExists(storage / "rdb.ndx"));
    EXPECT_TRUE(index.IsEmpty());
    EXPECT_EQ(index.Header().version, 100u);
    EXPECT_EQ(index.RecordCount(), 0u);
}

TEST(RecordIndexRemove, RemoveOlderThanTakesTheOldestHour)
{
    ScopedTimeZone zone("UTC0");
    TempFolder storage;
    const int32_t t = MakeLocalTime(2025, 1, 10, 22, 30, 0);
    std::vector<std::string> paths;
    for (int i = 0; i < 6; ++i) // every 30 minutes, across midnight
        paths.push_back(PlaceFile(storage.path(), t + i * 1800, t + i * 1800 + 1700, 0));
    RecordIndex index;
    ASSERT_EQ(index.Open(storage.path()), 1);
    EXPECT_EQ(index.RemoveOlderThan(index.EarliestStart() + 3600), 2);
    EXPECT_FALSE(FileExists(paths[0]));
    EXPECT_FALSE(FileExists(paths[1]));
    EXPECT_TRUE(FileExists(paths[2]));
    EXPECT_EQ(index.EarliestStart(), t + 3600);
    EXPECT_EQ(index.TotalBytes(), 4000u);
    EXPECT_EQ(index.RemoveOlderThan(t), 0);
    EXPECT_EQ(index.RemoveOlderThan(t + 100000), 4);
    EXPECT_TRUE(index.IsEmpty());
    EXPECT_EQ(index.RemoveOlderThan(t + 100000), 0);
}

TEST(RecordIndexFile, LayoutOfHeaderNodesAndRecords)
{
    ScopedTimeZone zone("UTC0");
    RecordIndex index;
    // Three years (inserted newest first) and 17 records on one day.
    const int32_t y2024 = MakeLocalTime(2024, 5, 1, 0, 0, 0);
    const int32_t y2025 = MakeLocalTime(2025, 5, 1, 0, 0, 0);
    const int32_t y2026 = MakeLocalTime(2026, 5, 1, 0, 0, 0);
    ASSERT_EQ(index.Add(RecordFor("/r/2026", y2026, y2026 + 10, 7)), 1);
    ASSERT_EQ(index.Add(RecordFor("/r/2025", y2025, y2025 + 10, 7)), 1);
    for (int i = 0; i < 17; ++i)
        ASSERT_EQ(index.Add(RecordFor("/r/2024-" + std::to_string(i), y2024 + i * 100, y2024 + i * 100 + 50, 3, i % 2)), 1);

    const Bytes b = index.Serialize();
    const size_t nodes = 3 * 3; // a year, a month and a day each
    ASSERT_EQ(b.size(), RecordIndex::kHeaderBytes + nodes * RecordIndex::kNodeBytes + 19 * RecordIndex::kRecordBytes);
    EXPECT_EQ(GetLe32(&b[0]), 100u);
    EXPECT_EQ(static_cast<int32_t>(GetLe32(&b[4])), y2024);
    EXPECT_EQ(static_cast<int32_t>(GetLe32(&b[8])), y2026 + 10);
    EXPECT_EQ(GetLe64(&b[16]), 7u + 7u + 17u * 3u);
    EXPECT_EQ(GetLe32(&b[24]), 3u); // year nodes
    EXPECT_EQ(GetLe32(&b[28]), 4u); // capacity 2, grown by 2

    // All three year nodes come before any month node.
    const size_t years = RecordIndex::kHeaderBytes;
    EXPECT_EQ(GetLe32(&b[years]), 2024u);
    EXPECT_EQ(GetLe32(&b[years + 40]), 2025u);
    EXPECT_EQ(GetLe32(&b[years + 80]), 2026u);
    EXPECT_EQ(GetLe32(&b[years + 24]), 1u); // months of 2024
    EXPECT_EQ(GetLe32(&b[years + 28]), 12u);
    EXPECT_EQ(GetLe32(&b[years + 32]), 0u); // child pointer
    const size_t month2024 = years + 120;
    EXPECT_EQ(GetLe32(&b[month2024]), 5u);
    EXPECT_EQ(GetLe32(&b[month2024 + 28]), 31u);
    const size_t day2024 = month2024 + 40;
    EXPECT_EQ(GetLe32(&b[day2024]), 1u);
    EXPECT_EQ(GetLe32(&b[day2024 + 24]), 17u);
    EXPECT_EQ(GetLe32(&b[day2024 + 28]), 16u + 31u);
    EXPECT_EQ(GetLe64(&b[day2024 + 16]), 51u);
    const size_t record0 = day2024 + 40;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[record0])), "/r/2024-0");
    EXPECT_EQ(GetLe32(&b[record0 + 260]), 0u);
    EXPECT_EQ(static_cast<int32_t>(GetLe32(&b[record0 + 264])), y2024);
    EXPECT_EQ(static_cast<int32_t>(GetLe32(&b[record0 + 268])), y2024 + 50);
    EXPECT_EQ(GetLe64(&b[record0 + 272]), 3u);
    EXPECT_EQ(GetLe32(&b[record0 + 288 + 260]), 1u);
    // Then the month of 2025, after all 17 records of 2024.
    EXPECT_EQ(GetLe32(&b[record0 + 17 * 288]), 5u);

    RecordIndex loaded;
    ASSERT_EQ(loaded.LoadFromBytes(b.data(), b.size()), 1);
    EXPECT_EQ(loaded.Serialize(), b);
}

TEST(RecordIndexFile, DamagedFilesAreRefusedWithoutChangingTheTree)
{
    ScopedTimeZone zone("UTC0");
    RecordIndex source;
    const int32_t t = MakeLocalTime(2025, 5, 1, 0, 0, 0);
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(source.Add(RecordFor("/r/" + std::to_string(i), t + i * 40 * 86400, t + i * 40 * 86400 + 5, 1)), 1);
    const Bytes good = source.Serialize();

    RecordIndex index;
    ASSERT_EQ(index.LoadFromBytes(good.data(), good.size()), 1);
    // Every cut of the file is a short read.
    for (size_t cut = 0; cut < good.size(); ++cut)
        ASSERT_EQ(index.LoadFromBytes(good.data(), cut), 0) << cut;
    EXPECT_EQ(index.RecordCount(), 3u);

    struct Damage {
        const char* what;
        size_t offset;
        uint32_t value;
    };
    const size_t months = 56 + 40;
    const Damage damages[] = {
        {"version 99", 0, 99},
        {"year count above capacity", 24, 3},
        {"huge year count", 24, 0xffffffffu},
        {"huge month count", 56 + 24, 0x7fffffffu},
        {"month count above 12", 56 + 24, 13},
        {"month key 13", months, 13},
        {"month key 0", months, 0},
        {"day count above its capacity", months + 3 * 40 + 24, 40},
    };
    for (const Damage& d : damages) {
        Bytes bad = good;
        if (std::string(d.what) == "month count above 12")
            PutLe32(&bad[56 + 28], 20); // capacity too, so only the month limit refuses it
        PutLe32(&bad[d.offset], d.value);
        EXPECT_EQ(index.LoadFromBytes(bad.data(), bad.size()), 0) << d.what;
    }
    EXPECT_EQ(index.RecordCount(), 3u);
}

TEST(RecordIndexOpen, WrongVersionIsRebuiltFromTheFolder)
{
    ScopedTimeZone zone("UTC0");
    TempFolder storage;
    const int32_t t = MakeLocalTime(2025, 3, 3, 3, 3, 3);
    PlaceFile(storage.path(), t, t + 60, 1);
    Bytes stale(56, 0);
    PutLe32(stale.data(), 99);
    WriteBytes(storage / "rdb.ndx", stale);

    RecordIndex index;
    ASSERT_EQ(index.Open(storage.path()), 1);
    ASSERT_EQ(index.RecordCount(), 1u);
    EXPECT_EQ(index.Records()[0].kind, 1u);
    const Bytes saved = ReadBytes(storage / "rdb.ndx");
    ASSERT_GE(saved.size(), 56u);
    EXPECT_EQ(GetLe32(saved.data()), 100u);
    EXPECT_FALSE(FileExists(storage / "rdb.ndx1"));
}

TEST(RecordIndexRebuild, JudgesEveryFileOfTheDayFolders)
{
    ScopedTimeZone zone("UTC0");
    TempFolder storage;
    const int32_t t = MakeLocalTime(2025, 9, 9, 9, 0, 0);
    const std::string kept = PlaceFile(storage.path(), t, t + 60, 0);
    const std::string day = storage / "2025-09-09";
    struct FileCase {
        const char* name;
        size_t bytes;
        bool survives;
    };
    const FileCase files[] = {
        {"zt0910000911000.avi", 0, false},     // zero length
        {"zt0920000919000.avi", 100, false},   // start after end on the same hour
        {"notes.txt", 0, true},                // not a record: left alone
        {"ztxx10000911000.avi", 100, true},    // bad digits: skipped
        {"clip.avi", 100, true},               // no record name: skipped
    };
    for (const FileCase& f : files)
        WriteBytes(day + "/" + f.name, Bytes(f.bytes, 1));
    PrepareRecordFolder(storage / "not-a-day");
    WriteBytes(storage / "not-a-day/zt0900000901000.avi", Bytes(10, 1));

    RecordIndex index;
    ASSERT_EQ(index.Open(storage.path()), 1);
    ASSERT_EQ(index.RecordCount(), 1u);
    EXPECT_EQ(index.Records()[0].path, kept);
    for (const FileCase& f : files)
        EXPECT_EQ(FileExists(day + "/" + f.name), f.survives) << f.name;
}

TEST(RecordIndexOpen, FindsRecordsWrittenAfterTheLastSave)
{
    ScopedTimeZone zone("UTC0");
    TempFolder storage;
    const int32_t t = MakeLocalTime(2025, 4, 4, 4, 0, 0);
    PlaceFile(storage.path(), t, t + 60, 0);
    {
        RecordIndex index;
        ASSERT_EQ(index.Open(storage.path()), 1);
        ASSERT_EQ(index.RecordCount(), 1u);
    }
    // Written after the save; the program then died before saving again.
    const std::string later = PlaceFile(storage.path(), t + 600, t + 660, 1);
    RecordIndex index;
    ASSERT_EQ(index.Open(storage.path()), 1);
    ASSERT_EQ(index.RecordCount(), 2u);
    EXPECT_EQ(index.Records()[1].path, later);
    EXPECT_FALSE(index.IsModified()); // saved at once

    RecordIndex again;
    const Bytes bytes = ReadBytes(storage / "rdb.ndx");
    ASSERT_EQ(again.LoadFromBytes(bytes.data(), bytes.size()), 1);
    EXPECT_EQ(again.RecordCount(), 2u);
}

TEST(RecordIndexOpen, FailureKeepsThePreviousTreeAndFolder)
{
    ScopedTimeZone zone("UTC0");
    TempFolder storage;
    const int32_t t = MakeLocalTime(2025, 4, 4, 4, 0, 0);
    PlaceFile(storage.path(), t, t + 60, 0);
    RecordIndex index;
    ASSERT_EQ(index.Open(storage.path()), 1);
    WriteBytes(storage / "blocker", Bytes(1, 0));
    EXPECT_EQ(index.Open(storage / "blocker/sub"), 0);
    EXPECT_EQ(index.StorageFolder(), storage.path());
    EXPECT_EQ(index.RecordCount(), 1u);
}

TEST(RecordFilesRename, ClashKeepsTheOldNameWhichIsThenIndexed)
{
    ScopedTimeZone zone("UTC0");
    TempFolder storage;
    const int32_t t = MakeLocalTime(2025, 8, 8, 8, 0, 0);
    const std::string working = PlaceFile(storage.path(), t, t, 0, 10);
    const std::string existing = PlaceFile(storage.path(), t, t + 60, 0, 20);

    std::string finalPath;
    EXPECT_EQ(RenameRecordFile(working, t, t + 60, 0, finalPath), -1);
    EXPECT_EQ(finalPath, working);
    EXPECT_EQ(ReadBytes(working).size(), 10u);
    EXPECT_EQ(ReadBytes(existing).size(), 20u); // never replaced

    RecordIndex index;
    ASSERT_EQ(index.Add(RecordFor(finalPath, t, t + 60, 10)), 1);
    EXPECT_EQ(index.Records()[0].path, working);

    EXPECT_EQ(RenameRecordFile(working, t, t + 61, 1, finalPath), 0);
    EXPECT_EQ(finalPath, storage / "2025-08-08/zt0800000801011.avi");
    EXPECT_FALSE(FileExists(working));
    EXPECT_EQ(RenameRecordFile(storage / "missing/zt0800000800000.avi", t, t + 5, 0, finalPath), -1);
}
