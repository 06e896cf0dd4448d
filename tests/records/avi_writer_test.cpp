#include "common/avi_format.h"
#include "common/avi_reader.h"
#include "common/avi_writer.h"
#include "common/gsm_encoder.h"
#include "common/record_files.h"
#include "common/record_index.h"
#include "common/record_info.h"
#include "common/zt_v_file.h"
#include "record_fixtures.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <utility>

using namespace vantry::common;
using namespace vantry::test;

namespace {

std::vector<uint8_t> ViewerFormat(uint32_t sizeImage)
{
    BitmapInfoHeader bitmap;
    bitmap.width = 352;
    bitmap.height = 288;
    bitmap.bitCount = 24;
    bitmap.compression = fourcc::kVx01;
    bitmap.sizeImage = sizeImage;
    return bitmap.Serialize();
}

struct Chunk {
    uint32_t id;
    uint32_t size;
    size_t pos;
};

// Top-level chunks of a RIFF list body [begin, end).
std::vector<Chunk> Chunks(const Bytes& b, size_t begin, size_t end)
{
    std::vector<Chunk> out;
    while (begin + 8 <= end) {
        const uint32_t size = GetLe32(&b[begin + 4]);
        out.push_back({GetLe32(&b[begin]), size, begin});
        begin += 8 + size + (size & 1);
    }
    return out;
}

} // namespace

// The viewer's file: 30 frames over 10 s, closed, with its exact layout.
TEST(ViewerFile, LayoutAfterClose)
{
    ScopedTimeZone zone("UTC0");
    TempFolder folder;
    const std::vector<Bytes> frames = SyntheticFrames(30, 101);
    CZtVFile file;
    ASSERT_EQ(file.Open(folder.path(), 0), 0);
    const int32_t start = MakeLocalTime(2025, 10, 1, 12, 0, 0);
    file.SetStartTime(start);
    file.SetEndTime(start);
    file.SetNames("Warehouse", std::string(80, 'c'), 2);
    const std::vector<uint8_t> format = ViewerFormat(4321);
    ASSERT_EQ(file.WriteHeaders(fourcc::kIyuv, format), 0);
    uint32_t largest = 0;
    for (size_t i = 0; i < frames.size(); ++i) {
        file.SetEndTime(start + static_cast<int32_t>(i * 10 / 29));
        ASSERT_EQ(file.WriteFrame(frames[i].data(), frames[i].size(), i % 10 == 0 ? 16u : 0u), 0);
        largest = std::max<uint32_t>(largest, static_cast<uint32_t>(frames[i].size()));
    }
    ASSERT_EQ(file.EndTime(), start + 10);
    ASSERT_EQ(file.Close(), 0);
    EXPECT_EQ(file.Path(), folder / "zt1200001200100.avi");
    EXPECT_FALSE(FileExists(folder / "zt1200001200000.avi"));

    const Bytes b = ReadBytes(file.Path());
    EXPECT_EQ(file.FileSize(), b.size());
    ASSERT_GT(b.size(), 200u);
    EXPECT_EQ(GetLe32(&b[0]), fourcc::kRiff);
    EXPECT_EQ(GetLe32(&b[8]), fourcc::kAvi);
    const size_t riffEnd = 8 + GetLe32(&b[4]);
    const auto top = Chunks(b, 12, riffEnd);
    ASSERT_EQ(top.size(), 3u);
    EXPECT_EQ(GetLe32(&b[top[0].pos + 8]), fourcc::kHdrl);
    EXPECT_EQ(GetLe32(&b[top[1].pos + 8]), fourcc::kMovi);
    EXPECT_EQ(top[2].id, fourcc::kIdx1);

    // avih
    const size_t avih = top[0].pos + 12;
    ASSERT_EQ(GetLe32(&b[avih]), fourcc::kAvih);
    const AviMainHeader main = AviMainHeader::Parse(&b[avih + 8]);
    EXPECT_EQ(main.microSecPerFrame, 333333u);
    EXPECT_EQ(main.maxBytesPerSec, largest * 30 / 10);
    EXPECT_EQ(main.flags, 16u);
    EXPECT_EQ(main.totalFrames, 30u);
    EXPECT_EQ(main.streams, 1u);
    EXPECT_EQ(main.suggestedBufferSize, largest);
    EXPECT_EQ(main.width, 352u);
    EXPECT_EQ(main.height, 288u);
    // strh and strf
    const size_t strl = avih + 8 + 56;
    EXPECT_EQ(GetLe32(&b[strl + 8]), fourcc::kStrl);
    const AviStreamHeader strh = AviStreamHeader::Parse(&b[strl + 12 + 8]);
    EXPECT_EQ(strh.type, fourcc::kVids);
    EXPECT_EQ(strh.handler, fourcc::kIyuv);
    EXPECT_EQ(strh.scale, 100u);
    EXPECT_EQ(strh.rate, 300u);
    EXPECT_EQ(strh.length, 30u);
    EXPECT_EQ(strh.suggestedBufferSize, 1056u * 288u);
    EXPECT_EQ(strh.frameRight, 352);
    EXPECT_EQ(strh.frameBottom, 288);
    const size_t strf = strl + 12 + 8 + 56;
    EXPECT_EQ(GetLe32(&b[strf]), fourcc::kStrf);
    EXPECT_EQ(Bytes(b.begin() + static_cast<long>(strf + 8), b.begin() + static_cast<long>(strf + 8 + 40)), format);

    // movi: one 00dc per frame, padded to even length, listed by idx1 from the 'movi' id.
    const size_t moviId = top[1].pos + 8;
    const auto movi = Chunks(b, moviId + 4, top[1].pos + 8 + top[1].size);
    std::vector<Chunk> videoChunks;
    for (const Chunk& c : movi)
        if (c.id == fourcc::kVideoChunk)
            videoChunks.push_back(c);
        else
            EXPECT_EQ(c.id, fourcc::kJunk);
    ASSERT_EQ(videoChunks.size(), 30u);
    ASSERT_EQ(top[2].size, 30u * 16u);
    for (size_t i = 0; i < 30; ++i) {
        const uint8_t* entry = &b[top[2].pos + 8 + i * 16];
        EXPECT_EQ(GetLe32(entry), fourcc::kVideoChunk);
        EXPECT_EQ(GetLe32(entry + 4), i % 10 == 0 ? 16u : 0u);
        EXPECT_EQ(GetLe32(entry + 8), videoChunks[i].pos - moviId);
        EXPECT_EQ(GetLe32(entry + 12), frames[i].size());
        EXPECT_EQ(videoChunks[i].size, frames[i].size());
        EXPECT_EQ(videoChunks[i].pos % 2, 0u);
        EXPECT_EQ(Bytes(b.begin() + static_cast<long>(videoChunks[i].pos + 8),
                        b.begin() + static_cast<long>(videoChunks[i].pos + 8 + frames[i].size())),
                  frames[i]);
    }

    // The VANT form follows the AVI form.
    RecordInfo info;
    ASSERT_EQ(ReadRecordInfo(file.Path(), info), 0);
    EXPECT_EQ(info.start, start);
    EXPECT_EQ(info.end, start + 10);
    EXPECT_TRUE(info.periods.empty());
    EXPECT_EQ(info.cameraIndex, 2u);
    EXPECT_EQ(info.siteName, "Warehouse");
    EXPECT_EQ(info.cameraName, std::string(63, 'c'));
    ASSERT_EQ(GetLe32(&b[riffEnd + 8]), fourcc::kVant);
    EXPECT_EQ(riffEnd + 8 + GetLe32(&b[riffEnd + 4]), b.size());

    AviFileInfo read;
    ASSERT_EQ(ReadAviFile(file.Path(), read), 0);
    EXPECT_EQ(read.state, AviState::Finished);
    EXPECT_EQ(read.FrameCount(), 30u);
    EXPECT_NEAR(read.DurationSeconds(), 10.0, 0.001);
    ASSERT_NE(read.VideoStream(), nullptr);
    EXPECT_EQ(read.VideoStream()->header.handler, fourcc::kIyuv);
    EXPECT_EQ(BitmapInfoHeader::Parse(read.VideoStream()->format.data()).compression, fourcc::kVx01);
    EXPECT_TRUE(read.hasRecordInfo);
}

TEST(ViewerFile, IsFullOnceTheWholeMinutesExceedTheLimit)
{
    struct Case {
        int32_t spanSeconds;
        bool writeFrame;
        bool full;
    };
    const Case cases[] = {
        {0, true, false}, {300, true, false}, {359, true, false}, {360, true, true}, {3600, false, false},
    };
    for (const Case& c : cases) {
        TempFolder folder;
        CZtVFile file;
        file.SetFileLengthLimit(5);
        ASSERT_EQ(file.Open(folder.path(), 1), 0);
        ASSERT_EQ(file.WriteHeaders(fourcc::kIyuv, ViewerFormat(0)), 0);
        if (c.writeFrame) {
            const uint8_t frame[3] = {1, 2, 3};
            ASSERT_EQ(file.WriteFrame(frame, sizeof frame, 16), 0);
        }
        file.SetEndTime(file.StartTime() + c.spanSeconds);
        EXPECT_EQ(file.IsFull(), c.full) << c.spanSeconds;
        EXPECT_EQ(file.Close(), 0);
    }
}

TEST(ViewerFile, RefusesAShortFormatAndNeverReplacesAFile)
{
    TempFolder folder;
    CZtVFile file;
    ASSERT_EQ(file.Open(folder.path(), 0), 0);
    EXPECT_EQ(file.WriteHeaders(fourcc::kIyuv, std::vector<uint8_t>(12, 0)), -1);
    EXPECT_FALSE(file.IsOpen());

    const std::string path = folder / "taken.avi";
    WriteBytes(path, Bytes(7, 1));
    AviWriter writer;
    EXPECT_EQ(writer.Open(path, StationAviSetup(352, 288, 15, false)), -1);
    EXPECT_EQ(ReadBytes(path).size(), 7u);
}

TEST(AviHeaders, SpanFormulas)
{
    struct Case {
        uint32_t frames;
        int32_t span;
        uint32_t microSecPerFrame;
        uint32_t rate;
    };
    const Case cases[] = {
        {30, 10, 333333, 300},
        {30, 7, 233333, 428},
        {0, 0, 1000000, 1},          // no frame, no span
        {25, -5, 40000, 2500},       // clock went backwards: span 1
        {2, 4000, 2000000000, 1},    // above 2147 s: no 32-bit overflow
        {1, 5000, 0xffffffffu, 1},   // beyond 32 bits: clamped
        {108000, 3600, 33333, 3000}, // an hour at 30 frames per second
    };
    for (const Case& c : cases) {
        AviMainHeader main;
        AviStreamHeader video;
        ApplySpanToHeaders(main, video, c.frames, 1000, 100, 100 + c.span);
        EXPECT_EQ(main.microSecPerFrame, c.microSecPerFrame) << c.frames << "/" << c.span;
        EXPECT_EQ(video.rate, c.rate) << c.frames << "/" << c.span;
        EXPECT_EQ(video.scale, 100u);
        EXPECT_EQ(video.length, c.frames);
        EXPECT_EQ(main.totalFrames, c.frames);
    }
}

TEST(StationFile, VideoAndGsmAudioInterleaved)
{
    TempFolder folder;
    StationFileSpec spec;
    spec.frames = SyntheticFrames(30, 500);
    spec.start = 1000000;
    spec.end = 1000010;
    spec.withAudio = true;
    const std::string path = folder / "station.avi";
    ASSERT_EQ(WriteStationFile(path, spec), 0);

    AviFileInfo info;
    ASSERT_EQ(ReadAviFile(path, info), 0);
    EXPECT_EQ(info.state, AviState::Finished);
    ASSERT_EQ(info.streams.size(), 2u);
    EXPECT_EQ(info.mainHeader.streams, 2u);
    EXPECT_EQ(info.mainHeader.flags, kAviFlagHasIndex | kAviFlagIsInterleaved);
    const AviStreamInfo* video = info.VideoStream();
    const AviStreamInfo* audio = info.AudioStream();
    ASSERT_NE(video, nullptr);
    ASSERT_NE(audio, nullptr);
    EXPECT_EQ(video->header.handler, fourcc::kVx01);
    EXPECT_EQ(audio->format, GsmWaveFormat());
    EXPECT_EQ(GetLe16(audio->format.data()), 0x0031);
    EXPECT_EQ(audio->header.scale, 65u);
    EXPECT_EQ(audio->header.rate, 1625u);
    EXPECT_EQ(audio->header.sampleSize, 65u);
    EXPECT_EQ(audio->header.length, 250u); // 10 s of 8000 Hz in blocks of 320 samples
    EXPECT_EQ(info.indexEntries, 60u);     // a video frame then its audio, thirty times

    const Bytes b = ReadBytes(path);
    const size_t moviId = info.moviListPos + 8;
    const auto chunks = Chunks(b, moviId + 4, info.moviEnd);
    uint32_t previous = 0;
    uint64_t audioBytes = 0;
    for (const Chunk& c : chunks) {
        if (c.id == fourcc::kJunk)
            continue;
        EXPECT_NE(c.id, previous) << "streams interleave";
        previous = c.id;
        if (c.id == fourcc::kAudioChunk) {
            EXPECT_EQ(c.size % 65, 0u);
            audioBytes += c.size;
        }
    }
    EXPECT_EQ(audioBytes, 250u * 65u);
}

TEST(StationFile, UnfinishedFileStaysReadableUpToItsLastSync)
{
    TempFolder folder;
    StationFileSpec spec;
    spec.frames = SyntheticFrames(12, 300);
    spec.start = 2000000;
    spec.end = 2000004;
    spec.syncIntervalMs = 0; // durable after every frame
    spec.finish = false;
    const std::string path = folder / "crashed.avi";
    ASSERT_EQ(WriteStationFile(path, spec), 0);

    const Bytes b = ReadBytes(path);
    EXPECT_EQ(GetLe32(&b[4]) + 8u, b.size()); // the RIFF size was kept up to date
    AviFileInfo info;
    ASSERT_EQ(ReadAviFile(path, info), 0);
    EXPECT_EQ(info.state, AviState::Unfinished);
    EXPECT_FALSE(info.hasIndex);
    EXPECT_EQ(info.moviEnd, b.size());
}

TEST(RecordInfoForm, RoundTripAndCutForms)
{
    RecordInfo info;
    info.start = 100;
    info.end = 400;
    info.periods = {{0, 120, 130}, {0, 200, 260}};
    info.cameraIndex = 3;
    info.siteName = "Site";
    info.cameraName = "Gate";
    const auto form = SerializeRecordInfo(info);
    // RIFF header 12, LENG list 12 + 12, EVEN list 12 + 4 + 24, CAME list 12 + 132.
    EXPECT_EQ(form.size(), 12u + 24u + 40u + 144u);
    RecordInfo back;
    ASSERT_TRUE(ParseRecordInfo(form.data(), form.size(), back));
    EXPECT_EQ(back.start, 100);
    EXPECT_EQ(back.end, 400);
    ASSERT_EQ(back.periods.size(), 2u);
    EXPECT_EQ(back.periods[1].end, 260);
    EXPECT_EQ(back.cameraName, "Gate");

    RecordInfo empty;
    const auto emptyForm = SerializeRecordInfo(empty);
    EXPECT_EQ(GetLe32(&emptyForm[12 + 24 + 4]), 4u); // EVEN holds its type only

    for (size_t cut = 0; cut < form.size(); ++cut) {
        RecordInfo partial;
        const bool ok = ParseRecordInfo(form.data(), cut, partial);
        EXPECT_EQ(ok, cut >= 36u) << cut; // LENG complete
    }
}

TEST(GsmEncoder, Wav49BlocksOf65BytesFor320Samples)
{
    GsmEncoder encoder;
    ASSERT_TRUE(encoder.IsValid());
    std::vector<int16_t> pcm(1000, 1200);
    std::vector<uint8_t> out;
    EXPECT_EQ(encoder.Encode(pcm.data(), 100, out), 0u);
    EXPECT_EQ(encoder.PendingSamples(), 100u);
    EXPECT_EQ(encoder.Encode(pcm.data() + 100, 900, out), 3u * 65u); // 1000 samples: 3 blocks
    EXPECT_EQ(encoder.PendingSamples(), 40u);
    EXPECT_EQ(encoder.Flush(out), 65u);
    EXPECT_EQ(encoder.Flush(out), 0u);
    EXPECT_EQ(out.size(), 4u * 65u);
}

TEST(RecordIndexRebuild, LeavesAFileBeingWrittenAlone)
{
    TempFolder storage;
    const int32_t now = static_cast<int32_t>(std::time(nullptr));
    const std::string path = NewSegmentPath(storage.path(), now);
    AviWriter writer;
    ASSERT_EQ(writer.Open(path, StationAviSetup(352, 288, 15, false)), 0);
    const Bytes frame(100, 7);
    ASSERT_EQ(writer.WriteVideoFrame(frame.data(), frame.size(), true, now), 0);

    RecordIndex index;
    ASSERT_EQ(index.Open(storage.path()), 1);
    EXPECT_EQ(index.RecordCount(), 0u);
    EXPECT_TRUE(FileExists(path));
    EXPECT_EQ(index.LastScan().skipped, 1u);
    ASSERT_EQ(writer.Finish(now, now + 1), 0);
}

// Data reaches the disk at the first frame and then at least every sync interval, each time
// with a time mark and sizes that cover everything written so far.
TEST(StationFile, DurablePointsFollowTheSyncInterval)
{
    TempFolder folder;
    const std::string path = folder / "sync.avi";
    AviWriterSetup setup = StationAviSetup(352, 288, 15, false);
    setup.syncIntervalMs = 100;
    AviWriter writer;
    ASSERT_EQ(writer.Open(path, setup), 0);
    const Bytes frame(64, 3);
    auto marks = [&path] {
        const Bytes b = ReadBytes(path);
        size_t count = 0;
        for (size_t i = 0; i + 12 <= b.size(); ++i)
            count += GetLe32(&b[i]) == fourcc::kJunk && GetLe32(&b[i + 8]) == fourcc::kTimeMark;
        return std::make_pair(count, GetLe32(&b[4]) + 8u == b.size());
    };
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(writer.WriteVideoFrame(frame.data(), frame.size(), i == 0, 100 + i), 0);
    EXPECT_EQ(marks(), std::make_pair(size_t{1}, false)); // after the first frame only
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    ASSERT_EQ(writer.WriteVideoFrame(frame.data(), frame.size(), false, 106), 0);
    EXPECT_EQ(marks(), std::make_pair(size_t{2}, true));
    writer.Abandon();
}
