// The plug-ins as any GStreamer program sees them: the command-line tools run as separate
// processes with only GST_PLUGIN_PATH pointing at the build's plug-in folder.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <cmath>
#include <string>
#include <vector>

#include "codec/vx_encoder.h"
#include "common/avi_writer.h"
#include "common/gsm_encoder.h"
#include "gst_test_support.h"

namespace {

namespace fs = std::filesystem;

struct RunResult {
  int exit_code = -1;
  std::string output;  // standard output and standard error
};

class LaunchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vantry-launch-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  // Runs a shell command line with the plug-in folder and a registry of this test's own.
  RunResult run(const std::string& command) {
    std::string preload;
#ifdef VANTRY_SANITIZER_RUNTIME
    // Sanitizer-built plug-ins need their run-time inside the tools too.
    preload = "LD_PRELOAD='" VANTRY_SANITIZER_RUNTIME "' ASAN_OPTIONS=detect_leaks=0 GST_REGISTRY_FORK=no ";
#endif
    const std::string line = preload + "GST_PLUGIN_PATH='" + vantry::plugins::test::pluginDir() + "' GST_REGISTRY='" +
                             (dir_ / "registry.bin").string() + "' timeout 120 " + command + " 2>&1";
    RunResult result;
    FILE* pipe = popen(line.c_str(), "r");
    if (!pipe) return result;
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, pipe)) > 0) result.output.append(chunk, n);
    const int status = pclose(pipe);
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
  }

  static int count(const std::string& text, const std::string& what) {
    int found = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++found;
    return found;
  }

  fs::path dir_;
};

TEST_F(LaunchTest, InspectListsTheThreeElementsWithTheirProperties) {
  const struct {
    const char* element;
    const char* long_name;
    std::vector<const char*> properties;
  } cases[] = {
      {"vxenc", "VX Video Encoder",
       {"quality", "key-frame-interval", "motion-search", "key-frame-request", "encoded-count", "video/x-vx01"}},
      {"vxdec", "VX Video Decoder", {"video/x-vx01", "video/x-avi-unknown", "825251926", "primary + 1"}},
      {"vxfrc", "VX Frame Rate Control", {"rate", "mode"}},
  };
  for (const auto& c : cases) {
    const RunResult result = run(std::string("gst-inspect-1.0 ") + c.element);
    EXPECT_EQ(result.exit_code, 0) << result.output;
    EXPECT_NE(result.output.find(c.long_name), std::string::npos) << result.output;
    for (const char* property : c.properties)
      EXPECT_NE(result.output.find(property), std::string::npos) << c.element << ": " << property;
  }
  const RunResult all = run("gst-inspect-1.0");
  for (const char* line : {"vxencoder:  vxenc:", "vxdecoder:  vxdec:", "vxfrc:  vxfrc:"})
    EXPECT_NE(all.output.find(line), std::string::npos) << line;
}

TEST_F(LaunchTest, EncodeDecodePipelineRuns) {
  const struct {
    int height;
    int coded_height;
  } cases[] = {{240, 240}, {236, 240}};
  for (const auto& c : cases) {
    const RunResult result = run(
        "gst-launch-1.0 -v videotestsrc num-buffers=300 ! video/x-raw,format=I420,width=352,height=" +
        std::to_string(c.height) + " ! vxenc ! vxdec ! fakesink");
    EXPECT_EQ(result.exit_code, 0) << result.output;
    EXPECT_NE(result.output.find("video/x-vx01, width=(int)352, height=(int)" + std::to_string(c.coded_height)),
              std::string::npos)
        << result.output;
    EXPECT_NE(result.output.find("Got EOS"), std::string::npos) << result.output;
  }
}

TEST_F(LaunchTest, PlaybinPlaysAviWithH263UnderTheVx01Code) {
  const fs::path avi = dir_ / "h263-as-vx01.avi";
  // The AVI muxer knows no VX01 code for H.263 and needs to be told that is fine.
  const RunResult made = run(
      "ffmpeg -nostdin -loglevel error -f lavfi -i testsrc=size=352x288:rate=25 -t 2 -c:v h263 -q:v 5 "
      "-vtag VX01 -strict unofficial -f avi '" + avi.string() + "'");
  ASSERT_EQ(made.exit_code, 0) << made.output;

  const RunResult played = run("gst-launch-1.0 -v playbin uri=file://" + avi.string() +
                               " video-sink='fakesink silent=false' audio-sink=fakesink");
  EXPECT_EQ(played.exit_code, 0) << played.output;
  EXPECT_NE(played.output.find("Got EOS"), std::string::npos) << played.output;
  // Verbose output may miss a caps notice; that the decoder is in the graph and the sink got
  // whole decoded pictures is what counts.
  EXPECT_NE(played.output.find("GstVxDec:vxdec0"), std::string::npos) << played.output;
  EXPECT_EQ(played.output.find("Damaged picture"), std::string::npos) << played.output;
  // Every one of the 50 pictures reaches the sink.
  EXPECT_EQ(count(played.output, "last-message = chain"), 50) << played.output;
}

// A record as the station writes it: our VX01 pictures and GSM 6.10 audio, interleaved by the
// common AVI writer. Any GStreamer player must show every picture and play the sound.
TEST_F(LaunchTest, PlaybinPlaysAStationRecordWithSound) {
  using namespace vantry;
  constexpr int kWidth = 352, kHeight = 288, kRate = 10, kPictures = 30;
  const fs::path avi = dir_ / "station.avi";

  codec::VxEncoderParams params;
  params.width = kWidth;
  params.height = kHeight;
  params.quantiser = 6;
  params.keyFrameInterval = kRate;
  ASSERT_EQ(codec::vx_encoder_open(&params), 0);
  common::GsmEncoder gsm;
  ASSERT_TRUE(gsm.IsValid());
  common::AviWriter writer;
  ASSERT_EQ(writer.Open(avi.string(), common::StationAviSetup(kWidth, kHeight, kRate, true)), 0) << writer.LastError();

  std::vector<uint8_t> picture(kWidth * kHeight * 3 / 2, 128);
  std::vector<uint8_t> coded(kWidth * kHeight * 2);
  std::vector<uint8_t> audio;
  std::vector<int16_t> tone(8000 / kRate);
  const int32_t start = 1700000000;
  for (int n = 0; n < kPictures; ++n) {
    for (int y = 0; y < kHeight; ++y)  // a diagonal ramp that moves, so P-pictures carry data
      for (int x = 0; x < kWidth; ++x) picture[y * kWidth + x] = static_cast<uint8_t>((x + y + 4 * n) & 0xFF);
    codec::VxFramePlanes planes{picture.data(), picture.data() + kWidth * kHeight,
                                picture.data() + kWidth * kHeight * 5 / 4, kWidth};
    const int bytes = codec::vx_encode(&params, &planes, coded.data(), coded.size());
    ASSERT_GT(bytes, 0);
    ASSERT_EQ(writer.WriteVideoFrame(coded.data(), bytes, params.keyFlag != 0, start + n / kRate), 0);
    for (size_t i = 0; i < tone.size(); ++i)
      tone[i] = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 440 * (n * tone.size() + i) / 8000.0));
    audio.clear();
    gsm.Encode(tone.data(), tone.size(), audio);
    if (!audio.empty()) {
      ASSERT_EQ(writer.WriteAudio(audio.data(), audio.size()), 0);
    }
  }
  audio.clear();
  if (gsm.Flush(audio) > 0) {
    ASSERT_EQ(writer.WriteAudio(audio.data(), audio.size()), 0);
  }
  ASSERT_EQ(writer.Finish(start, start + kPictures / kRate), 0) << writer.LastError();
  codec::vx_encoder_close(&params);

  const RunResult played = run("gst-launch-1.0 -v playbin uri=file://" + avi.string() +
                               " video-sink='fakesink silent=false' audio-sink=fakesink");
  EXPECT_EQ(played.exit_code, 0) << played.output;
  EXPECT_NE(played.output.find("Got EOS"), std::string::npos) << played.output;
  // Verbose output may miss a caps notice; that the decoder is in the graph and the sink got
  // whole decoded pictures is what counts.
  EXPECT_NE(played.output.find("GstVxDec:vxdec0"), std::string::npos) << played.output;
  EXPECT_NE(played.output.find("GstGSMDec:gsmdec0"), std::string::npos) << played.output;
  EXPECT_EQ(played.output.find("Damaged picture"), std::string::npos) << played.output;
  EXPECT_EQ(count(played.output, "(fakesink0:sink) (152064 bytes"), kPictures) << played.output;

  // The stock command-line player finds our decoder the same way.
  const RunResult player = run("gst-play-1.0 --no-interactive --videosink=fakesink --audiosink=fakesink '" +
                               avi.string() + "'");
  EXPECT_EQ(player.exit_code, 0) << player.output;
  EXPECT_NE(player.output.find("Reached end of play list"), std::string::npos) << player.output;
  EXPECT_EQ(player.output.find("ERROR"), std::string::npos) << player.output;
}

}  // namespace
