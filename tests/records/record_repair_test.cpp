#include "common/avi_format.h"
#include "common/avi_reader.h"
#include "common/avi_writer.h"
#include "common/record_files.h"
#include "common/record_index.h"
#include "common/record_info.h"
#include "common/record_repair.h"
#include "common/zt_v_file.h"
#include "record_fixtures.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace vantry::common;
using namespace vantry::test;

namespace {

struct ChunkSpan {
    uint32_t id;
    size_t pos;
    size_t size;
};

// The movi chunks of a complete file, as written.
std::vector<ChunkSpan> MoviChunks(const std::string& path)
{
    AviFileInfo info;
    EXPECT_EQ(ReadAviFile(path, info), 0);
    const Bytes b = ReadBytes(path);
    std::vector<ChunkSpan> out;
    size_t pos = info.moviListPos + 12;
    // An unfinished file's movi size is only as new as its last sync: walk to the real end.
    const size_t end = info.state == AviState::Finished ? info.moviEnd : b.size();
    while (pos + 8 <= end) {
        const size_t size = GetLe32(&b[pos + 4]);
        if (GetLe32(&b[pos]) == fourcc::kIdx1)
            break;
        out.push_back({GetLe32(&b[pos]), pos, size});
        pos += 8 + size + (size & 1);
    }
    return out;
}

// Every video payload listed by idx1 of a finished file, in order.
std::vector<Bytes> IndexedFrames(const std::string& path, size_t* audioEntries = nullptr)
{
    AviFileInfo info;
    std::vector<Bytes> frames;
    if (ReadAviFile(path, info) != 0 || info.state != AviState::Finished)
        return frames;
    const Bytes b = ReadBytes(path);
    const size_t moviId = info.moviListPos + 8;
    size_t idx = info.moviEnd + (info.moviEnd & 1);
    const size_t entries = GetLe32(&b[idx + 4]) / 16;
    if (audioEntries)
        *audioEntries = 0;
    for (size_t i = 0; i < entries; ++i) {
        const uint8_t* e = &b[idx + 8 + i * 16];
        const size_t offset = moviId + GetLe32(e + 8);
        const size_t size = GetLe32(e + 12);
        EXPECT_EQ(GetLe32(&b[offset]), GetLe32(e));
        EXPECT_EQ(GetLe32(&b[offset + 4]), size);
        if (GetLe32(e) == fourcc::kVideoChunk)
            frames.emplace_back(b.begin() + static_cast<long>(offset + 8), b.begin() + static_cast<long>(offset + 8 + size));
        else if (audioEntries)
            ++*audioEntries;
    }
    return frames;
}

struct Layout {
    const char* what;
    bool withAudio;
    bool finish;
    bool viewer;
};

std::string WriteFixture(const TempFolder& folder, const Layout& layout, const std::vector<Bytes>& frames, int32_t start)
{
    const std::string path = folder / "source.avi";
    if (layout.viewer) {
        CZtVFile file;
        EXPECT_EQ(file.Open(folder.path(), 0), 0);
        file.SetStartTime(start);
        BitmapInfoHeader bitmap;
        bitmap.width = 176;
        bitmap.height = 144;
        bitmap.compression = fourcc::kVx01;
        EXPECT_EQ(file.WriteHeaders(fourcc::kIyuv, bitmap.Serialize()), 0);
        for (size_t i = 0; i < frames.size(); ++i) {
            file.SetEndTime(start + static_cast<int32_t>(i));
            EXPECT_EQ(file.WriteFrame(frames[i].data(), frames[i].size(), 16), 0);
        }
        EXPECT_EQ(file.Close(), 0);
        std::filesystem::rename(file.Path(), path);
        return path;
    }
    StationFileSpec spec;
    spec.frames = frames;
    spec.start = start;
    spec.end = start + static_cast<int32_t>(frames.size());
    spec.withAudio = layout.withAudio;
    spec.finish = layout.finish;
    spec.syncIntervalMs = 0;
    spec.kind = 1;
    EXPECT_EQ(WriteStationFile(path, spec), 0);
    return path;
}

} // namespace

class RepairAtEveryCut : public ::testing::TestWithParam<Layout> {};

// Cut anywhere, finished or not, a record keeps exactly its complete frames.
TEST_P(RepairAtEveryCut, KeepsEveryCompleteFrame)
{
    ScopedTimeZone zone("UTC0");
    const Layout layout = GetParam();
    TempFolder folder;
    const int32_t start = MakeLocalTime(2025, 11, 5, 6, 7, 8);
    const std::vector<Bytes> frames = SyntheticFrames(8, 61);
    const std::string source = WriteFixture(folder, layout, frames, start);
    const Bytes whole = ReadBytes(source);
    const std::vector<ChunkSpan> chunks = MoviChunks(source);
    AviFileInfo sourceInfo;
    ASSERT_EQ(ReadAviFile(source, sourceInfo), 0);

    const std::string day = folder / "2025-11-05";
    PrepareRecordFolder(day);
    const std::string working = day + "/" + RecordFileName(start, start, 0);
    for (size_t cut = 0; cut <= whole.size(); ++cut) {
        WriteBytes(working, Bytes(whole.begin(), whole.begin() + static_cast<long>(cut)));
        size_t complete = 0, audio = 0;
        bool markKept = false;
        for (const ChunkSpan& c : chunks) {
            if (c.pos + 8 + c.size > cut)
                continue;
            complete += c.id == fourcc::kVideoChunk;
            audio += c.id == fourcc::kAudioChunk;
            markKept = markKept || c.id == fourcc::kJunk;
        }
        RepairOptions options;
        options.durable = false; // thousands of repairs; durability has its own tests
        const RepairOutcome out = RepairRecord(working, options);
        if (complete == 0) {
            ASSERT_EQ(out.result, RepairResult::Deleted) << layout.what << " cut " << cut;
            ASSERT_FALSE(FileExists(working));
            continue;
        }
        const bool finished = layout.finish && cut >= sourceInfo.riffEnd;
        ASSERT_EQ(out.result, finished ? RepairResult::AlreadyFinished : RepairResult::Repaired)
            << layout.what << " cut " << cut;
        ASSERT_NE(out.path, working) << cut;
        ASSERT_LT(out.start, out.end);
        EXPECT_EQ(out.path, day + "/" + RecordFileName(out.start, out.end, out.kind)) << cut;
        size_t audioEntries = 0;
        const std::vector<Bytes> kept = IndexedFrames(out.path, &audioEntries);
        ASSERT_EQ(kept.size(), complete) << layout.what << " cut " << cut;
        for (size_t i = 0; i < kept.size(); ++i)
            ASSERT_EQ(kept[i], frames[i]) << cut;
        ASSERT_EQ(audioEntries, audio) << cut;
        if (!finished) {
            AviFileInfo info;
            ASSERT_EQ(ReadAviFile(out.path, info), 0);
            EXPECT_EQ(info.FrameCount(), complete);
            ASSERT_TRUE(info.hasRecordInfo);
            EXPECT_EQ(info.recordInfo.start, out.start);
            EXPECT_EQ(info.recordInfo.end, out.end);
            // The station's time marks carry the kind; without one the name's kind (0) stands.
            EXPECT_EQ(out.kind, !layout.viewer && markKept ? 1u : 0u) << cut;
            // A second repair finds nothing to do.
            EXPECT_EQ(RepairRecord(out.path).result, RepairResult::AlreadyFinished);
        }
        std::filesystem::remove(out.path);
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, RepairAtEveryCut,
                         ::testing::Values(Layout{"station_crashed", true, false, false},
                                           Layout{"station_finished", true, true, false},
                                           Layout{"viewer_finished", false, true, true}),
                         [](const auto& param) { return std::string(param.param.what); });

TEST(Repair, DatesTheFileFromItsFrames)
{
    ScopedTimeZone zone("UTC0");
    TempFolder folder;
    const int32_t start = MakeLocalTime(2025, 11, 5, 23, 59, 50);
    const std::string day = folder / "2025-11-05";
    PrepareRecordFolder(day);
    const std::string working = day + "/" + RecordFileName(start, start, 0);
    StationFileSpec spec;
    spec.frames = SyntheticFrames(30, 200);
    spec.start = start;
    spec.end = start + 30;
    spec.syncIntervalMs = 0;
    spec.finish = false;
    spec.kind = 1;
    ASSERT_EQ(WriteStationFile(working, spec), 0);

    const RepairOutcome out = RepairRecord(working);
    ASSERT_EQ(out.result, RepairResult::Repaired);
    EXPECT_EQ(out.start, start);
    EXPECT_EQ(out.end, start + 29); // the time of the last frame
    EXPECT_EQ(out.kind, 1u);
    EXPECT_EQ(out.videoFrames, 30u);
    EXPECT_EQ(out.path, day + "/zt2359500000191.avi");
    AviFileInfo info;
    ASSERT_EQ(ReadAviFile(out.path, info), 0);
    EXPECT_EQ(info.state, AviState::Finished);
    EXPECT_EQ(info.mainHeader.totalFrames, 30u);
    EXPECT_EQ(info.VideoStream()->header.rate, 30u * 100u / 29u);
}

TEST(Repair, StepsOverADamagedStretchAndKeepsLaterFrames)
{
    ScopedTimeZone zone("UTC0");
    TempFolder folder;
    const int32_t start = MakeLocalTime(2025, 1, 2, 3, 4, 5);
    const std::string day = folder / "2025-01-02";
    PrepareRecordFolder(day);
    const std::string working = day + "/" + RecordFileName(start, start, 0);
    StationFileSpec spec;
    spec.frames = SyntheticFrames(10, 300);
    spec.start = start;
    spec.end = start + 10;
    spec.finish = false;
    ASSERT_EQ(WriteStationFile(working, spec), 0);
    const std::vector<ChunkSpan> chunks = MoviChunks(working);
    Bytes bytes = ReadBytes(working);
    // Scribble over the header and first bytes of the fifth frame.
    size_t seen = 0;
    for (const ChunkSpan& c : chunks)
        if (c.id == fourcc::kVideoChunk && seen++ == 4)
            std::fill(bytes.begin() + static_cast<long>(c.pos), bytes.begin() + static_cast<long>(c.pos + 20), 0xEE);
    WriteBytes(working, bytes);

    const RepairOutcome out = RepairRecord(working);
    ASSERT_EQ(out.result, RepairResult::Repaired);
    EXPECT_EQ(out.videoFrames, 9u);
    EXPECT_GT(out.skippedBytes, 0u);
    const std::vector<Bytes> kept = IndexedFrames(out.path);
    ASSERT_EQ(kept.size(), 9u);
    EXPECT_EQ(kept[4], spec.frames[5]);
    EXPECT_EQ(kept[8], spec.frames[9]);
}

TEST(Repair, NameClashMovesTheEndOnBySeconds)
{
    ScopedTimeZone zone("UTC0");
    TempFolder folder;
    const int32_t start = MakeLocalTime(2025, 5, 5, 5, 5, 0);
    const std::string day = folder / "2025-05-05";
    PrepareRecordFolder(day);
    const std::string working = day + "/" + RecordFileName(start, start, 0);
    StationFileSpec spec;
    spec.frames = SyntheticFrames(11, 100);
    spec.start = start;
    spec.end = start + 11;
    spec.syncIntervalMs = 0;
    spec.finish = false;
    ASSERT_EQ(WriteStationFile(working, spec), 0);
    WriteBytes(day + "/" + RecordFileName(start, start + 10, 0), Bytes(5, 1));

    const RepairOutcome out = RepairRecord(working);
    ASSERT_EQ(out.result, RepairResult::Repaired);
    EXPECT_EQ(out.end, start + 11);
    EXPECT_EQ(out.path, day + "/" + RecordFileName(start, start + 11, 0));
    RecordInfo info;
    ASSERT_EQ(ReadRecordInfo(out.path, info), 0);
    EXPECT_EQ(info.end, start + 11);
    EXPECT_EQ(ReadBytes(day + "/" + RecordFileName(start, start + 10, 0)).size(), 5u);
}

TEST(Repair, LeavesForeignAndBusyFilesAlone)
{
    TempFolder folder;
    const std::string foreign = folder / "zt1000001000000.avi";
    WriteBytes(foreign, Bytes{'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!', '!'});
    EXPECT_EQ(RepairRecord(foreign).result, RepairResult::NotRecord);
    EXPECT_TRUE(FileExists(foreign));

    const std::string busy = folder / "zt1100001100000.avi";
    AviWriter writer;
    ASSERT_EQ(writer.Open(busy, StationAviSetup(352, 288, 15, true)), 0);
    EXPECT_EQ(RepairRecord(busy).result, RepairResult::InUse);
    writer.Abandon();
    // Headers only: no complete frame, so nothing worth keeping.
    EXPECT_EQ(RepairRecord(busy).result, RepairResult::Deleted);
    EXPECT_FALSE(FileExists(busy));

    EXPECT_EQ(RepairRecord(folder / "missing.avi").result, RepairResult::Failed);
}

// After a crash the next start finds the unfinished segment, repairs it and indexes it.
TEST(RecordIndexOpen, RepairsWhatACrashLeftBehind)
{
    ScopedTimeZone zone("UTC0");
    TempFolder storage;
    const int32_t start = MakeLocalTime(2025, 6, 6, 6, 0, 0);
    const std::string crashed = NewSegmentPath(storage.path(), start);
    StationFileSpec spec;
    spec.frames = SyntheticFrames(20, 150);
    spec.start = start;
    spec.end = start + 20;
    spec.syncIntervalMs = 0;
    spec.finish = false;
    spec.withAudio = true;
    ASSERT_EQ(WriteStationFile(crashed, spec), 0);
    // A second segment died before its first frame, a third right after creation.
    const std::string empty = NewSegmentPath(storage.path(), start + 100);
    {
        AviWriter writer;
        ASSERT_EQ(writer.Open(empty, StationAviSetup(352, 288, 15, true)), 0);
        writer.Abandon();
    }
    const std::string stub = NewSegmentPath(storage.path(), start + 200);
    WriteBytes(stub, Bytes{'R', 'I', 'F'});

    RecordIndex index;
    ASSERT_EQ(index.Open(storage.path()), 1);
    ASSERT_EQ(index.RecordCount(), 1u);
    const IndexRecord record = index.Records()[0];
    EXPECT_EQ(record.start, start);
    EXPECT_EQ(record.end, start + 19);
    EXPECT_EQ(record.path, storage / "2025-06-06/zt0600000600190.avi");
    EXPECT_EQ(record.size, ReadBytes(record.path).size());
    EXPECT_FALSE(FileExists(crashed));
    EXPECT_FALSE(FileExists(empty));
    EXPECT_FALSE(FileExists(stub));
    EXPECT_EQ(index.LastScan().repaired, 1u);
    EXPECT_EQ(index.LastScan().deleted, 2u);
}

// A day folder that could not be created sends the segment to the storage folder itself; the
// index still finds it, finished or left behind by a crash.
TEST(RecordIndexOpen, FindsRecordsInTheStorageFolderItself)
{
    ScopedTimeZone zone("UTC0");
    TempFolder storage;
    const int32_t start = MakeLocalTime(2025, 7, 7, 7, 0, 0);
    StationFileSpec spec;
    spec.frames = SyntheticFrames(10, 120);
    spec.start = start;
    spec.end = start + 10;
    spec.syncIntervalMs = 0;
    spec.finish = false;
    ASSERT_EQ(WriteStationFile(storage / RecordFileName(start, start, 0), spec), 0);
    WriteBytes(storage / "zt0800000801000.avi", Bytes(50, 1)); // neither finished nor ours

    RecordIndex index;
    ASSERT_EQ(index.Open(storage.path()), 1);
    ASSERT_EQ(index.RecordCount(), 1u);
    EXPECT_EQ(index.Records()[0].start, start);
    EXPECT_EQ(index.Records()[0].path, storage / "zt0700000700090.avi");
    EXPECT_TRUE(FileExists(storage / "zt0800000801000.avi"));
}
