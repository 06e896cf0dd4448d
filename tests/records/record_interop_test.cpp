// Our record files in the hands of standard readers: ffprobe, ffmpeg (its H.263 decoder forced
// on the VX01 stream, its GSM decoder on the audio) and GStreamer's avidemux with gsmdec.
#include "common/avi_format.h"
#include "common/record_files.h"
#include "common/record_repair.h"
#include "common/zt_v_file.h"
#include "record_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sstream>

using namespace vantry::common;
using namespace vantry::test;

namespace {

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Per-frame checksums of the decoded video, forcing the H.263 decoder on the VX01 stream.
std::vector<std::string> DecodedVideo(const std::string& input, const char* inputOptions)
{
    std::string output;
    const int rc = RunCommand(std::string("ffmpeg -nostdin -v error ") + inputOptions + " -i " + Quote(input)
                                  + " -map 0:v -f framemd5 -",
                              &output);
    EXPECT_EQ(rc, 0) << input;
    std::vector<std::string> sums;
    for (const std::string& line : Lines(output)) {
        if (line.empty() || line[0] == '#')
            continue;
        sums.push_back(line.substr(line.find_last_of(',') + 1));
    }
    return sums;
}

std::string RawH263(const TempFolder& folder)
{
    Bytes stream;
    for (const Bytes& picture : H263Pictures())
        stream.insert(stream.end(), picture.begin(), picture.end());
    const std::string path = folder / "reference.h263";
    WriteBytes(path, stream);
    return path;
}

std::string Probe(const std::string& path)
{
    std::string output;
    EXPECT_EQ(RunCommand("ffprobe -v error -show_entries stream=codec_type,codec_name,codec_tag_string,nb_frames "
                         "-of default=nw=1 " + Quote(path),
                         &output),
              0);
    return output;
}

// Demuxes with avidemux (and decodes the audio with gsmdec); counts the video buffers. A pad
// that never appears stalls the pipeline, so it runs under a timeout.
void ExpectGStreamerDemuxes(const std::string& path, bool withAudio, size_t videoFrames)
{
    std::string pipeline = "gst-launch-1.0 -v filesrc location=" + Quote(path) + " ! avidemux name=d "
                           "d.video_0 ! queue ! fakesink name=vsink silent=false sync=false";
    if (withAudio)
        pipeline += " d.audio_0 ! queue ! gsmdec ! audioconvert ! fakesink sync=false";
    std::string output;
    ASSERT_EQ(RunCommand("timeout 30 " + pipeline, &output), 0) << pipeline;
    size_t buffers = 0;
    for (const std::string& line : Lines(output))
        buffers += line.find("vsink: last-message = chain") != std::string::npos;
    EXPECT_EQ(buffers, videoFrames);
}

std::string StationFile(const TempFolder& folder, bool finish)
{
    const int32_t start = MakeLocalTime(2025, 12, 1, 10, 0, 0);
    const std::string path = NewSegmentPath(folder.path(), start);
    StationFileSpec spec;
    spec.frames = H263Pictures();
    spec.start = start;
    spec.end = start + 10;
    spec.withAudio = true;
    spec.finish = finish;
    spec.syncIntervalMs = 0;
    EXPECT_EQ(WriteStationFile(path, spec), 0);
    return path;
}

} // namespace

class Interop : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (RunCommand("ffmpeg -version") != 0 || RunCommand("gst-inspect-1.0 avidemux") != 0)
            GTEST_SKIP() << "ffmpeg or GStreamer missing";
        ASSERT_EQ(H263Pictures().size(), 30u);
    }
    ScopedTimeZone zone_{"UTC0"};
    TempFolder folder_;
};

TEST_F(Interop, StationFileWithGsmAudio)
{
    const std::string path = StationFile(folder_, true);
    const std::string probe = Probe(path);
    EXPECT_NE(probe.find("codec_tag_string=VX01"), std::string::npos) << probe;
    EXPECT_NE(probe.find("codec_name=gsm_ms"), std::string::npos) << probe;
    EXPECT_NE(probe.find("nb_frames=30"), std::string::npos) << probe;

    const auto reference = DecodedVideo(RawH263(folder_), "-f h263");
    ASSERT_EQ(reference.size(), 30u);
    EXPECT_EQ(DecodedVideo(path, "-c:v h263"), reference);

    // The audio decodes to the whole tone: 10 s at 8000 Hz, 440 Hz.
    std::string pcm;
    ASSERT_EQ(RunCommand("ffmpeg -nostdin -v error -i " + Quote(path) + " -map 0:a -f s16le -ac 1 -ar 8000 -", &pcm), 0);
    ASSERT_EQ(pcm.size(), 80000u * 2u);
    std::vector<int16_t> samples(pcm.size() / 2);
    std::memcpy(samples.data(), pcm.data(), pcm.size());
    size_t crossings = 0;
    double energy = 0;
    for (size_t i = 1; i < samples.size(); ++i) {
        crossings += (samples[i - 1] < 0) != (samples[i] < 0);
        energy += static_cast<double>(samples[i]) * samples[i];
    }
    EXPECT_GT(std::sqrt(energy / static_cast<double>(samples.size())), 2000.0);
    EXPECT_NEAR(static_cast<double>(crossings), 8800.0, 300.0);

    ExpectGStreamerDemuxes(path, true, 30);
}

TEST_F(Interop, ViewerFileWithIyuvHandler)
{
    CZtVFile file;
    ASSERT_EQ(file.Open(folder_.path(), 1), 0);
    BitmapInfoHeader bitmap;
    bitmap.width = 352;
    bitmap.height = 288;
    bitmap.compression = fourcc::kVx01;
    bitmap.sizeImage = static_cast<uint32_t>(H263Pictures().back().size());
    ASSERT_EQ(file.WriteHeaders(fourcc::kIyuv, bitmap.Serialize()), 0);
    const int32_t start = file.StartTime();
    for (size_t i = 0; i < H263Pictures().size(); ++i) {
        const Bytes& picture = H263Pictures()[i];
        file.SetEndTime(start + static_cast<int32_t>(i / 3));
        ASSERT_EQ(file.WriteFrame(picture.data(), picture.size(), IsIntraPicture(picture.data(), picture.size()) ? 16 : 0), 0);
    }
    ASSERT_EQ(file.Close(), 0);

    const std::string probe = Probe(file.Path());
    EXPECT_NE(probe.find("codec_tag_string=VX01"), std::string::npos) << probe;
    EXPECT_NE(probe.find("nb_frames=30"), std::string::npos) << probe;
    EXPECT_EQ(DecodedVideo(file.Path(), "-c:v h263"), DecodedVideo(RawH263(folder_), "-f h263"));
    ExpectGStreamerDemuxes(file.Path(), false, 30);
}

TEST_F(Interop, RepairedCrashFileAndOneCutInsideAFrame)
{
    const std::string crashed = StationFile(folder_, false);
    // Cut inside the 21st picture as a power cut would.
    Bytes bytes = ReadBytes(crashed);
    const Bytes& picture = H263Pictures()[20];
    const auto at = std::search(bytes.begin(), bytes.end(), picture.begin(), picture.end());
    ASSERT_NE(at, bytes.end());
    bytes.resize(static_cast<size_t>(at - bytes.begin()) + picture.size() / 2);
    WriteBytes(crashed, bytes);

    const RepairOutcome out = RepairRecord(crashed);
    ASSERT_EQ(out.result, RepairResult::Repaired);
    EXPECT_EQ(out.videoFrames, 20u);
    const std::string probe = Probe(out.path);
    EXPECT_NE(probe.find("nb_frames=20"), std::string::npos) << probe;
    auto reference = DecodedVideo(RawH263(folder_), "-f h263");
    reference.resize(20);
    EXPECT_EQ(DecodedVideo(out.path, "-c:v h263"), reference);
    ExpectGStreamerDemuxes(out.path, true, 20);
}
