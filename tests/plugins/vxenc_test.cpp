#include <gst/app/gstappsink.h>
#include <gst/check/gstharness.h>
#include <gst/video/video.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "codec/bit_reader.h"
#include "codec/colour_converter.h"
#include "codec/picture_header.h"
#include "picture_test_support.h"

namespace {

using vantry::plugins::test::initGstWithPlugins;
using vantry::plugins::test::makeRawPicture;
using vantry::plugins::test::ReferenceDecoder;

constexpr GstClockTime kFrame = GST_SECOND / 30;

class VxEncTest : public ::testing::Test {
 protected:
  void SetUp() override {
    initGstWithPlugins();
    harness_ = gst_harness_new("vxenc");
    ASSERT_NE(harness_, nullptr) << "vxenc not found";
  }
  void TearDown() override {
    if (harness_) gst_harness_teardown(harness_);
  }

  void setCaps(const std::string& caps) {
    GstCaps* parsed = gst_caps_from_string(caps.c_str());
    ASSERT_NE(parsed, nullptr) << caps;
    ASSERT_TRUE(gst_video_info_from_caps(&info_, parsed)) << caps;
    gst_harness_set_src_caps(harness_, parsed);
  }

  // Pushes a flat grey picture (Y 128 or RGB 128) with the given times.
  GstFlowReturn pushPicture(GstClockTime pts, GstClockTime duration = kFrame) {
    GstBuffer* buffer = makeRawPicture(info_, [](int, int) { return uint8_t{128}; });
    GST_BUFFER_PTS(buffer) = pts;
    GST_BUFFER_DURATION(buffer) = duration;
    return gst_harness_push(harness_, buffer);
  }

  std::vector<GstBuffer*> pullAll() {
    std::vector<GstBuffer*> out;
    while (GstBuffer* buffer = gst_harness_try_pull(harness_)) out.push_back(buffer);
    return out;
  }
  static void release(std::vector<GstBuffer*>& buffers) {
    for (GstBuffer* b : buffers) gst_buffer_unref(b);
    buffers.clear();
  }
  static bool isKey(GstBuffer* buffer) { return !GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_DELTA_UNIT); }

  template <typename T>
  T property(const char* name) {
    T value{};
    g_object_get(harness_->element, name, &value, nullptr);
    return value;
  }

  GstStructure* outputStructure() {
    GstCaps* caps = gst_pad_get_current_caps(harness_->sinkpad);
    if (!caps) return nullptr;
    GstStructure* s = gst_structure_copy(gst_caps_get_structure(caps, 0));
    gst_caps_unref(caps);
    return s;
  }

  GstHarness* harness_ = nullptr;
  GstVideoInfo info_{};
};

// The picture sits centred in black of its own format; every input form arrives the right
// way up with its colours intact.
TEST_F(VxEncTest, PadsEveryInputFormCentredInBlack) {
  struct Case {
    const char* caps;
    uint8_t border_luma;  // black of the input format after conversion
  };
  const uint8_t rgb_black = vantry::codec::displayMatrix() == vantry::codec::ColourMatrix::FullRange ? 0 : 16;
  const Case cases[] = {
      {"video/x-raw,format=I420", 16},
      {"video/x-raw,format=YV12", 16},
      {"video/x-raw,format=YUY2", 16},
      {"video/x-raw,format=BGR", rgb_black},
      {"video/x-raw,format=RGB", rgb_black},
      {"video/x-raw(vantry:BottomUp),format=BGR", rgb_black},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.caps);
    TearDown();
    SetUp();
    // The finest quantiser keeps block ringing small where border and picture share a block.
    g_object_set(harness_->element, "quality", 1.0, nullptr);
    setCaps(std::string(c.caps) + ",width=344,height=232,framerate=30/1");
    const bool rgb = GST_VIDEO_INFO_IS_RGB(&info_);
    const bool bottom_up = std::string(c.caps).find("BottomUp") != std::string::npos;
    // Dark grey with a bright band in the upper part, as seen; a bottom-up picture stores its
    // rows reversed. The grey next to the border keeps coding ringing out of the border.
    GstBuffer* buffer = makeRawPicture(info_, [&](int row, int component) {
      const int seen = bottom_up ? 231 - row : row;
      const uint8_t level = seen >= 20 && seen < 100 ? 200 : 60;
      if (rgb) return level;
      return component == 0 ? level : uint8_t{128};
    });
    GST_BUFFER_PTS(buffer) = 0;
    ASSERT_EQ(gst_harness_push(harness_, buffer), GST_FLOW_OK);

    GstStructure* s = outputStructure();
    ASSERT_NE(s, nullptr);
    gint width = 0, height = 0;
    EXPECT_TRUE(gst_structure_get_int(s, "width", &width));
    EXPECT_TRUE(gst_structure_get_int(s, "height", &height));
    EXPECT_STREQ(gst_structure_get_name(s), "video/x-vx01");
    gst_structure_free(s);
    EXPECT_EQ(width, 352);
    EXPECT_EQ(height, 240);

    GstBuffer* out = gst_harness_pull(harness_);
    ASSERT_NE(out, nullptr);
    EXPECT_TRUE(isKey(out));
    ReferenceDecoder decoder;
    const vantry::codec::VxFramePlanes* planes = decoder.decode(out);
    gst_buffer_unref(out);
    ASSERT_NE(planes, nullptr);
    ASSERT_EQ(decoder.width(), 352);
    ASSERT_EQ(decoder.height(), 240);
    auto luma = [&](int x, int y) { return int(planes->y[y * planes->stride + x]); };
    // 8 columns are added: 4 on each side; 8 rows: 4 above and 4 below.
    EXPECT_NEAR(luma(1, 1), c.border_luma, 3);
    EXPECT_NEAR(luma(350, 238), c.border_luma, 3);
    EXPECT_NEAR(luma(2, 120), c.border_luma, 3);
    EXPECT_NEAR(luma(349, 120), c.border_luma, 3);
    EXPECT_NEAR(luma(176, 2), c.border_luma, 3);
    EXPECT_NEAR(luma(176, 237), c.border_luma, 3);
    const int bright = luma(176, 4 + 60);
    const int dark = luma(176, 4 + 180);
    EXPECT_GT(bright, dark + 100) << "picture upside down or lost";
    EXPECT_GT(luma(6, 4 + 60), dark + 100) << "left edge of the picture missing";
    EXPECT_GT(dark, c.border_luma + 20) << "picture lost in the padding";
    EXPECT_GT(luma(176, 5), c.border_luma + 20) << "first picture row lost";
  }
}

TEST_F(VxEncTest, SizesOfSixteenAreNotPadded) {
  setCaps("video/x-raw,format=I420,width=352,height=240,framerate=30/1");
  ASSERT_EQ(pushPicture(0), GST_FLOW_OK);
  GstStructure* s = outputStructure();
  ASSERT_NE(s, nullptr);
  gint width = 0, height = 0;
  gst_structure_get_int(s, "width", &width);
  gst_structure_get_int(s, "height", &height);
  gst_structure_free(s);
  EXPECT_EQ(width, 352);
  EXPECT_EQ(height, 240);
}

TEST_F(VxEncTest, RefusesInputWhosePaddedSizeTheFormatCannotCarry) {
  GstCaps* caps = gst_caps_from_string("video/x-raw,format=I420,width=640,height=2033,framerate=30/1");
  GstCaps* templ = gst_pad_get_pad_template_caps(harness_->srcpad->peer);
  EXPECT_FALSE(gst_caps_can_intersect(caps, templ));
  gst_caps_unref(templ);
  gst_caps_unref(caps);
  setCaps("video/x-raw,format=I420,width=2048,height=2017,framerate=30/1");
  EXPECT_EQ(pushPicture(0), GST_FLOW_OK);
  GstBuffer* out = gst_harness_pull(harness_);
  ASSERT_NE(out, nullptr);
  ReferenceDecoder decoder;
  EXPECT_NE(decoder.decode(out), nullptr);
  EXPECT_EQ(decoder.height(), 2032);
  gst_buffer_unref(out);
}

TEST_F(VxEncTest, QualityMapsToQuantiserByTruncation) {
  const struct {
    double quality;
    int quantiser;
  } cases[] = {{1.0, 2}, {0.91, 2}, {0.9, 3}, {0.5, 7}, {0.54, 7}, {0.1, 11}, {0.0, 13}};
  setCaps("video/x-raw,format=I420,width=64,height=48,framerate=30/1");
  GstClockTime pts = 0;
  for (const auto& c : cases) {
    g_object_set(harness_->element, "quality", c.quality, nullptr);
    EXPECT_NEAR(property<double>("quality"), (13 - c.quantiser) / 11.0, 1e-9) << c.quality;
    ASSERT_EQ(pushPicture(pts), GST_FLOW_OK);
    pts += kFrame;
    GstBuffer* out = gst_harness_pull(harness_);
    ASSERT_NE(out, nullptr);
    GstMapInfo map;
    ASSERT_TRUE(gst_buffer_map(out, &map, GST_MAP_READ));
    vantry::codec::BitReader reader(map.data, map.size);
    vantry::codec::PictureHeader header;
    EXPECT_EQ(vantry::codec::readPictureHeader(reader, header, 64, 48), vantry::codec::HeaderStatus::Ok);
    EXPECT_EQ(header.quantiser, c.quantiser) << "quality " << c.quality;
    gst_buffer_unmap(out, &map);
    gst_buffer_unref(out);
  }
  // Out of range: refused, the setting keeps its value.
  g_object_set(harness_->element, "quality", 1.5, nullptr);
  EXPECT_NEAR(property<double>("quality"), 0.0, 1e-9);
}

TEST_F(VxEncTest, DefaultsMatchTheStation) {
  EXPECT_NEAR(property<double>("quality"), 6.0 / 11.0, 1e-9);  // quantiser 7
  EXPECT_EQ(property<gint>("key-frame-interval"), 30);
  EXPECT_EQ(property<gint>("motion-search"), 0);
  EXPECT_EQ(property<guint>("encoded-count"), 0u);
  EXPECT_FALSE(property<gboolean>("key-frame-request"));
}

TEST_F(VxEncTest, KeyFrameIntervalFollowsFrameRate) {
  const struct {
    const char* rate;
    int interval;
  } cases[] = {{"25/1", 25}, {"30/1", 30}, {"30000/1001", 29}, {"5/1", 5}, {"0/1", 30}, {"1/2", 0}};
  for (const auto& c : cases) {
    TearDown();
    SetUp();
    setCaps(std::string("video/x-raw,format=I420,width=32,height=32,framerate=") + c.rate);
    EXPECT_EQ(property<gint>("key-frame-interval"), c.interval) << c.rate;
  }
}

TEST_F(VxEncTest, IntervalChosenByTheApplicationSurvivesConnection) {
  g_object_set(harness_->element, "key-frame-interval", 4, nullptr);
  setCaps("video/x-raw,format=I420,width=32,height=32,framerate=25/1");
  EXPECT_EQ(property<gint>("key-frame-interval"), 4);
  for (int i = 0; i < 9; ++i) ASSERT_EQ(pushPicture(i * kFrame), GST_FLOW_OK);
  std::vector<GstBuffer*> out = pullAll();
  ASSERT_EQ(out.size(), 9u);
  for (size_t i = 0; i < out.size(); ++i) EXPECT_EQ(isKey(out[i]), i % 4 == 0) << i;
  release(out);
}

TEST_F(VxEncTest, KeyFramesCarryNoDeltaFlag) {
  setCaps("video/x-raw,format=I420,width=32,height=32,framerate=10/1");
  for (int i = 0; i < 21; ++i) ASSERT_EQ(pushPicture(i * kFrame), GST_FLOW_OK);
  std::vector<GstBuffer*> out = pullAll();
  ASSERT_EQ(out.size(), 21u);
  ReferenceDecoder decoder;
  for (size_t i = 0; i < out.size(); ++i) {
    ASSERT_NE(decoder.decode(out[i]), nullptr) << i;
    EXPECT_EQ(decoder.key(), i % 10 == 0) << i;
    EXPECT_EQ(isKey(out[i]), decoder.key()) << i;
  }
  release(out);
}

TEST_F(VxEncTest, IntervalZeroMakesEveryPictureKey) {
  setCaps("video/x-raw,format=I420,width=32,height=32,framerate=30/1");
  g_object_set(harness_->element, "key-frame-interval", 0, nullptr);
  // The setting reaches the encoder at the next picture; the open encoder keeps counting
  // with interval 0 as 1, so every picture is an I-picture.
  for (int i = 0; i < 5; ++i) ASSERT_EQ(pushPicture(i * kFrame), GST_FLOW_OK);
  std::vector<GstBuffer*> out = pullAll();
  ASSERT_EQ(out.size(), 5u);
  for (GstBuffer* b : out) EXPECT_TRUE(isKey(b));
  release(out);
}

TEST_F(VxEncTest, LongerIntervalAfterAllIntraStartTakesEffect) {
  g_object_set(harness_->element, "key-frame-interval", 1, nullptr);
  setCaps("video/x-raw,format=I420,width=32,height=32,framerate=30/1");
  for (int i = 0; i < 3; ++i) ASSERT_EQ(pushPicture(i * kFrame), GST_FLOW_OK);
  g_object_set(harness_->element, "key-frame-interval", 3, nullptr);
  for (int i = 3; i < 9; ++i) ASSERT_EQ(pushPicture(i * kFrame), GST_FLOW_OK);
  std::vector<GstBuffer*> out = pullAll();
  ASSERT_EQ(out.size(), 9u);
  const bool expected[] = {true, true, true, true, false, false, true, false, false};
  ReferenceDecoder decoder;
  for (size_t i = 0; i < out.size(); ++i) {
    EXPECT_EQ(isKey(out[i]), expected[i]) << i;
    EXPECT_NE(decoder.decode(out[i]), nullptr) << i;
  }
  release(out);
}

TEST_F(VxEncTest, KeyFrameOnRequestByEventAndByProperty) {
  setCaps("video/x-raw,format=I420,width=32,height=32,framerate=30/1");
  for (int i = 0; i < 3; ++i) ASSERT_EQ(pushPicture(i * kFrame), GST_FLOW_OK);
  ASSERT_TRUE(gst_harness_push_event(
      harness_, gst_video_event_new_downstream_force_key_unit(GST_CLOCK_TIME_NONE, GST_CLOCK_TIME_NONE,
                                                              GST_CLOCK_TIME_NONE, TRUE, 1)));
  ASSERT_EQ(pushPicture(3 * kFrame), GST_FLOW_OK);
  ASSERT_EQ(pushPicture(4 * kFrame), GST_FLOW_OK);
  g_object_set(harness_->element, "key-frame-request", TRUE, nullptr);
  EXPECT_TRUE(property<gboolean>("key-frame-request"));
  ASSERT_EQ(pushPicture(5 * kFrame), GST_FLOW_OK);
  EXPECT_FALSE(property<gboolean>("key-frame-request"));
  ASSERT_EQ(pushPicture(6 * kFrame), GST_FLOW_OK);

  std::vector<GstBuffer*> out = pullAll();
  ASSERT_EQ(out.size(), 7u);
  const bool expected[] = {true, false, false, true, false, true, false};
  for (size_t i = 0; i < out.size(); ++i) EXPECT_EQ(isKey(out[i]), expected[i]) << i;
  release(out);
}

TEST_F(VxEncTest, OutputTimeStampsNeverGoBackwards) {
  setCaps("video/x-raw,format=I420,width=32,height=32,framerate=30/1");
  const GstClockTime ms = GST_MSECOND;
  ASSERT_EQ(pushPicture(0, 40 * ms), GST_FLOW_OK);
  ASSERT_EQ(pushPicture(40 * ms, 40 * ms), GST_FLOW_OK);
  ASSERT_EQ(pushPicture(60 * ms, 40 * ms), GST_FLOW_OK);  // starts before the last stop (80)
  ASSERT_EQ(pushPicture(50 * ms, 10 * ms), GST_FLOW_OK);  // wholly before the last stop (100)
  ASSERT_EQ(pushPicture(200 * ms, 40 * ms), GST_FLOW_OK);
  std::vector<GstBuffer*> out = pullAll();
  ASSERT_EQ(out.size(), 5u);
  const GstClockTime expected_pts[] = {0, 40 * ms, 80 * ms + 1, 100 * ms + 1, 200 * ms};
  const GstClockTime expected_duration[] = {40 * ms, 40 * ms, 20 * ms - 1, 1, 40 * ms};
  for (size_t i = 0; i < out.size(); ++i) {
    EXPECT_EQ(GST_BUFFER_PTS(out[i]), expected_pts[i]) << i;
    EXPECT_EQ(GST_BUFFER_DURATION(out[i]), expected_duration[i]) << i;
  }
  release(out);
}

TEST_F(VxEncTest, MotionSearchModesAllEncodeDecodably) {
  setCaps("video/x-raw,format=I420,width=64,height=64,framerate=30/1");
  ReferenceDecoder decoder;
  GstClockTime pts = 0;
  for (const char* mode : {"zero", "diamond", "full"}) {
    gst_util_set_object_arg(G_OBJECT(harness_->element), "motion-search", mode);
    for (int i = 0; i < 3; ++i) {
      // A moving bright bar gives the search something to find.
      const int shift = int(pts / kFrame) * 2;
      GstBuffer* buffer = makeRawPicture(info_, [&](int row, int c) {
        return c == 0 ? uint8_t((row + shift) % 16 < 4 ? 220 : 40) : uint8_t{128};
      });
      GST_BUFFER_PTS(buffer) = pts;
      pts += kFrame;
      ASSERT_EQ(gst_harness_push(harness_, buffer), GST_FLOW_OK);
      GstBuffer* out = gst_harness_pull(harness_);
      ASSERT_NE(out, nullptr);
      EXPECT_NE(decoder.decode(out), nullptr) << mode;
      gst_buffer_unref(out);
    }
  }
  EXPECT_EQ(property<guint>("encoded-count"), 9u);
}

// Cameras often hand over planes with wider rows than the picture; the coded result must
// not depend on it.
TEST_F(VxEncTest, StridedPlanesEncodeLikePackedOnes) {
  setCaps("video/x-raw,format=I420,width=64,height=48,framerate=30/1");
  auto level = [](int row, int c) { return c == 0 ? uint8_t(40 + 3 * row) : uint8_t(100 + c * 20); };
  GstBuffer* packed = makeRawPicture(info_, level);
  GST_BUFFER_PTS(packed) = 0;
  ASSERT_EQ(gst_harness_push(harness_, packed), GST_FLOW_OK);
  GstBuffer* expected = gst_harness_pull(harness_);
  ASSERT_NE(expected, nullptr);

  TearDown();
  SetUp();
  setCaps("video/x-raw,format=I420,width=64,height=48,framerate=30/1");
  const gint strides[3] = {96, 48, 40};
  const gsize offsets[3] = {0, 96 * 48 + 16, 96 * 48 + 16 + 48 * 24};
  const gsize size = offsets[2] + 40 * 24;
  GstBuffer* strided = gst_buffer_new_allocate(nullptr, size, nullptr);
  gst_buffer_memset(strided, 0, 0xEE, size);
  GstMapInfo map;
  ASSERT_TRUE(gst_buffer_map(strided, &map, GST_MAP_WRITE));
  for (int c = 0; c < 3; ++c) {
    const int rows = c == 0 ? 48 : 24, columns = c == 0 ? 64 : 32;
    for (int row = 0; row < rows; ++row)
      for (int x = 0; x < columns; ++x) map.data[offsets[c] + row * strides[c] + x] = level(c == 0 ? row : row * 2, c);
  }
  gst_buffer_unmap(strided, &map);
  gst_buffer_add_video_meta_full(strided, GST_VIDEO_FRAME_FLAG_NONE, GST_VIDEO_FORMAT_I420, 64, 48, 3,
                                 const_cast<gsize*>(offsets), const_cast<gint*>(strides));
  GST_BUFFER_PTS(strided) = 0;
  ASSERT_EQ(gst_harness_push(harness_, strided), GST_FLOW_OK);
  GstBuffer* actual = gst_harness_pull(harness_);
  ASSERT_NE(actual, nullptr);
  ASSERT_EQ(gst_buffer_get_size(actual), gst_buffer_get_size(expected));
  GstMapInfo a, e;
  ASSERT_TRUE(gst_buffer_map(actual, &a, GST_MAP_READ));
  ASSERT_TRUE(gst_buffer_map(expected, &e, GST_MAP_READ));
  EXPECT_EQ(0, memcmp(a.data, e.data, a.size));
  gst_buffer_unmap(actual, &a);
  gst_buffer_unmap(expected, &e);
  gst_buffer_unref(actual);
  gst_buffer_unref(expected);
}

TEST_F(VxEncTest, NewInputSizeMidStreamGivesNewCapsAndKeyPicture) {
  setCaps("video/x-raw,format=I420,width=64,height=48,framerate=30/1");
  for (int i = 0; i < 3; ++i) ASSERT_EQ(pushPicture(i * kFrame), GST_FLOW_OK);
  setCaps("video/x-raw,format=YUY2,width=100,height=70,framerate=30/1");
  for (int i = 3; i < 5; ++i) ASSERT_EQ(pushPicture(i * kFrame), GST_FLOW_OK);
  std::vector<GstBuffer*> out = pullAll();
  ASSERT_EQ(out.size(), 5u);
  EXPECT_TRUE(isKey(out[3]));
  EXPECT_FALSE(isKey(out[4]));
  ReferenceDecoder decoder;
  for (size_t i = 0; i < out.size(); ++i) ASSERT_NE(decoder.decode(out[i]), nullptr) << i;
  EXPECT_EQ(decoder.width(), 112);
  EXPECT_EQ(decoder.height(), 80);
  GstStructure* s = outputStructure();
  ASSERT_NE(s, nullptr);
  gint width = 0, height = 0;
  gst_structure_get_int(s, "width", &width);
  gst_structure_get_int(s, "height", &height);
  gst_structure_free(s);
  EXPECT_EQ(width, 112);
  EXPECT_EQ(height, 80);
  release(out);
}

TEST(VxEncElement, StateCycleRestartsCountAndStartsWithKeyFrame) {
  initGstWithPlugins();
  GstElement* pipeline = gst_parse_launch(
      "videotestsrc num-buffers=12 ! video/x-raw,format=I420,width=176,height=144,framerate=30/1 "
      "! vxenc name=e ! appsink name=s sync=false",
      nullptr);
  ASSERT_NE(pipeline, nullptr);
  GstElement* encoder = gst_bin_get_by_name(GST_BIN(pipeline), "e");
  GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "s");
  for (int cycle = 0; cycle < 2; ++cycle) {
    ASSERT_NE(gst_element_set_state(pipeline, GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
    int count = 0;
    while (GstSample* sample = gst_app_sink_pull_sample(GST_APP_SINK(sink))) {
      if (count == 0) {
        EXPECT_FALSE(GST_BUFFER_FLAG_IS_SET(gst_sample_get_buffer(sample), GST_BUFFER_FLAG_DELTA_UNIT));
      }
      ++count;
      gst_sample_unref(sample);
    }
    EXPECT_EQ(count, 12);
    guint encoded = 0;
    g_object_get(encoder, "encoded-count", &encoded, nullptr);
    EXPECT_EQ(encoded, 12u);
    ASSERT_EQ(gst_element_set_state(pipeline, GST_STATE_NULL), GST_STATE_CHANGE_SUCCESS);
  }
  gst_object_unref(sink);
  gst_object_unref(encoder);
  gst_object_unref(pipeline);
}

}  // namespace
