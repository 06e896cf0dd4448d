// The viewer's recordings: files of the station's format from the received stream, split by
// length, started on key frames, refused when the disk is full, entered into the index.
#include "viewer_test_support.h"

#include "common/record_files.h"
#include "common/record_index.h"
#include "common/record_info.h"
#include "record_fixtures.h"

#include <ctime>
#include <filesystem>

namespace vantry::viewer {
namespace {

using namespace test;
using namespace server;
using vantry::test::Quote;
using vantry::test::RunCommand;
using vantry::test::TempFolder;

constexpr int kWidth = 176;
constexpr int kHeight = 144;
constexpr int64_t kPlentyOfRoom = int64_t { 500 } << 30;

// Today at 10:00 local time: the day folder is named after today.
uint32_t todayAtTen()
{
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    localtime_r(&now, &local);
    local.tm_hour = 10;
    local.tm_min = 0;
    local.tm_sec = 0;
    local.tm_isdst = -1;
    return static_cast<uint32_t>(std::mktime(&local));
}

std::vector<std::string> aviFilesBelow(const std::string& folder)
{
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (entry.path().extension() == ".avi")
            files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

size_t ffmpegFrames(const std::string& path)
{
    std::string output;
    EXPECT_EQ(RunCommand("ffmpeg -nostdin -v error -c:v h263 -i " + Quote(path) + " -map 0:v -f framemd5 -", &output), 0)
        << path;
    size_t frames = 0;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);)
        frames += !line.empty() && line[0] != '#';
    return frames;
}

size_t gstreamerBuffers(const std::string& path)
{
    std::string output;
    const std::string pipeline = "timeout 30 gst-launch-1.0 -v filesrc location=" + Quote(path) +
                                 " ! avidemux ! fakesink name=vsink silent=false sync=false";
    EXPECT_EQ(RunCommand(pipeline, &output), 0) << pipeline;
    size_t buffers = 0;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);)
        buffers += line.find("vsink: last-message = chain") != std::string::npos;
    return buffers;
}

class ViewerRecordingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        link.setObserver(notices.observer());
        storage = folder / "records";
        ASSERT_EQ(link.recorder().setStorage(storage, 300), 1);
        link.recorder().setFreeSpaceProbe([this](const std::string&) { return freeBytes; });
        link.recorder().setFileLengthMinutes(5);
        ASSERT_TRUE(link.handleMessage(Message { MSG_VIDEO_FORMAT, 0, toVector(encodeVideoFormat(makeVx01Format(kWidth, kHeight))) }));
        ASSERT_TRUE(link.handleMessage(Message { MSG_SITE_NAME, 0, encodeText("Harbour") }));
        ASSERT_TRUE(link.handleMessage(Message { MSG_CAMERA_NAME, 0, encodeText("Gate") }));
    }
    template <size_t N>
    static std::vector<uint8_t> toVector(const std::array<uint8_t, N>& bytes) { return { bytes.begin(), bytes.end() }; }
    void frame(const EncodedPicture& picture, uint32_t time)
    {
        ASSERT_TRUE(link.handleMessage(Message { picture.key ? MSG_KEY_FRAME : MSG_DELTA_FRAME, time, picture.bytes }));
    }

    TempFolder folder;
    std::string storage;
    int64_t freeBytes = kPlentyOfRoom;
    Notices notices;
    RemoteLink link;
};

TEST_F(ViewerRecordingTest, RoundTheClockFilesSplitAtTheirLengthAndPlayElsewhere)
{
    // A frame every 10 s for 13 minutes, a key frame every minute.
    const auto pictures = encodePictures(kWidth, kHeight, 78, 6);
    const uint32_t t0 = todayAtTen();
    link.recorder().setAllowed(true);
    for (size_t i = 0; i < pictures.size(); ++i)
        frame(pictures[i], t0 + static_cast<uint32_t>(i) * 10);
    link.recorder().close();
    EXPECT_TRUE(notices.has(LinkNotice::StatusIcon, kIconRecord, 1));
    EXPECT_TRUE(notices.has(LinkNotice::StatusIcon, kIconRecord, 0));

    const auto files = aviFilesBelow(storage);
    ASSERT_EQ(files.size(), 2u);
    // The first file holds 0..360 s and spans six minutes; the frame after it is a delta
    // frame, so the second file begins with the next key frame at 420 s.
    const int32_t start = static_cast<int32_t>(t0);
    EXPECT_EQ(std::filesystem::path(files[0]).filename(), common::RecordFileName(start, start + 360, 0));
    EXPECT_EQ(std::filesystem::path(files[1]).filename(), common::RecordFileName(start + 420, start + 770, 0));
    EXPECT_EQ(std::filesystem::path(files[0]).parent_path().parent_path(), storage);

    EXPECT_EQ(ffmpegFrames(files[0]), 37u);
    EXPECT_EQ(ffmpegFrames(files[1]), 36u);
    EXPECT_EQ(gstreamerBuffers(files[0]), 37u);

    common::RecordInfo info;
    ASSERT_EQ(common::ReadRecordInfo(files[1], info), 0);
    EXPECT_EQ(info.start, start + 420);
    EXPECT_EQ(info.end, start + 770);
    EXPECT_EQ(info.siteName, "Harbour");
    EXPECT_EQ(info.cameraName, "Gate");
    EXPECT_EQ(info.cameraIndex, 0u);

    EXPECT_EQ(link.recorder().indexedRecords(), 2u);
    ASSERT_EQ(link.recorder().saveIndex(), 1);
    common::RecordIndex index;
    ASSERT_EQ(index.Open(storage), 1);
    const auto records = index.Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].path, files[0]);
    EXPECT_EQ(records[0].start, start);
    EXPECT_EQ(records[0].end, start + 360);
    EXPECT_EQ(records[1].kind, 0u);
}

TEST_F(ViewerRecordingTest, RecordingThatStartsOnADeltaFrameWaitsForTheKeyFrame)
{
    int keyRequests = 0;
    link.recorder().setKeyFrameRequest([&] { ++keyRequests; });
    const auto pictures = encodePictures(kWidth, kHeight, 12, 6); // keys at 0 and 6
    const uint32_t t0 = todayAtTen();
    link.recorder().setAllowed(true);
    for (size_t i = 1; i < pictures.size(); ++i)
        frame(pictures[i], t0 + static_cast<uint32_t>(i));
    EXPECT_EQ(keyRequests, 1);
    link.recorder().close();
    const auto files = aviFilesBelow(storage);
    ASSERT_EQ(files.size(), 1u);
    const int32_t key = static_cast<int32_t>(t0 + 6);
    EXPECT_EQ(std::filesystem::path(files[0]).filename(), common::RecordFileName(key, key + 5, 0));
    EXPECT_EQ(ffmpegFrames(files[0]), 6u);
}

TEST_F(ViewerRecordingTest, FreeSpaceAtTheMinimumRefusesWithTheMessage)
{
    freeBytes = int64_t { 300 } << 20;
    const auto pictures = encodePictures(kWidth, kHeight, 2);
    link.recorder().setAllowed(true);
    frame(pictures[0], todayAtTen());
    EXPECT_FALSE(link.recorder().allowed());
    EXPECT_FALSE(link.recorder().recording());
    EXPECT_TRUE(notices.has(LinkNotice::RecordingRefused));
    EXPECT_TRUE(aviFilesBelow(storage).empty());

    // A disk that cannot be measured is not taken for an empty one.
    freeBytes = -1;
    link.recorder().setAllowed(true);
    frame(pictures[0], todayAtTen());
    EXPECT_FALSE(link.recorder().recording());
    EXPECT_FALSE(link.recorder().allowed());

    // One megabyte above the minimum is enough.
    freeBytes = int64_t { 300 } << 20;
    freeBytes += int64_t { 1 } << 20;
    link.recorder().setAllowed(true);
    frame(pictures[0], todayAtTen());
    EXPECT_TRUE(link.recorder().recording());
}

TEST_F(ViewerRecordingTest, EventRecordingFollowsTheEventsAndEmptyFilesVanish)
{
    link.recorder().setRecordType(RecordType::Event);
    link.recorder().setAllowed(true);
    const auto pictures = encodePictures(kWidth, kHeight, 10, 5);
    const uint32_t t0 = todayAtTen();
    frame(pictures[0], t0); // no event: nothing recorded
    EXPECT_FALSE(link.recorder().recording());
    ASSERT_TRUE(link.handleMessage(Message { MSG_EVENT_ON, t0, {} }));
    EXPECT_TRUE(link.recorder().recording());
    for (size_t i = 1; i < pictures.size(); ++i)
        frame(pictures[i], t0 + static_cast<uint32_t>(i));
    ASSERT_TRUE(link.handleMessage(Message { MSG_EVENT_OFF, t0 + 10, {} }));
    EXPECT_FALSE(link.recorder().recording());
    // An event without frames leaves no file.
    ASSERT_TRUE(link.handleMessage(Message { MSG_EVENT_ON, t0 + 20, {} }));
    ASSERT_TRUE(link.handleMessage(Message { MSG_EVENT_OFF, t0 + 21, {} }));

    const auto files = aviFilesBelow(storage);
    ASSERT_EQ(files.size(), 1u);
    const int32_t key = static_cast<int32_t>(t0 + 5);
    EXPECT_EQ(std::filesystem::path(files[0]).filename(), common::RecordFileName(key, key + 4, 1));
    EXPECT_EQ(link.recorder().indexRecords().at(0).kind, 1u);
}

TEST_F(ViewerRecordingTest, PlayerMessagesEditTheIndex)
{
    const auto pictures = encodePictures(kWidth, kHeight, 4, 2);
    const uint32_t t0 = todayAtTen();
    link.recorder().setAllowed(true);
    frame(pictures[0], t0);
    frame(pictures[1], t0 + 5);
    link.recorder().close();
    frame(pictures[2], t0 + 100);
    frame(pictures[3], t0 + 105);
    link.recorder().close();
    ASSERT_EQ(link.recorder().indexedRecords(), 2u);
    EXPECT_EQ(link.recorder().removeRecord(static_cast<int32_t>(t0 + 2)), 1);
    EXPECT_EQ(link.recorder().indexedRecords(), 1u);
    // The player deleted the file itself; the viewer only forgets it.
    EXPECT_EQ(aviFilesBelow(storage).size(), 2u);
    EXPECT_EQ(link.recorder().removeAll(), 1);
    EXPECT_EQ(aviFilesBelow(storage).size(), 1u);
    common::RecordIndex saved;
    ASSERT_EQ(saved.Open(storage), 1);
    EXPECT_EQ(saved.RecordCount(), 1u) << "the remaining file is found again by the folder check";
}

} // namespace
} // namespace vantry::viewer
