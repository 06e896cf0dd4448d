#include <gst/app/gstappsink.h>
#include <gst/check/gstharness.h>
#include <gst/video/video.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codec/cpu_features.h"
#include "picture_test_support.h"

namespace {

using vantry::plugins::test::bufferFrom;
using vantry::plugins::test::encodePictures;
using vantry::plugins::test::initGstWithPlugins;

constexpr GstClockTime kFrame = GST_SECOND / 30;

class VxDecTest : public ::testing::Test {
 protected:
  void SetUp() override {
    initGstWithPlugins();
    harness_ = gst_harness_new("vxdec");
    ASSERT_NE(harness_, nullptr) << "vxdec not found";
    bus_ = gst_bus_new();
    gst_element_set_bus(harness_->element, bus_);
  }
  void TearDown() override {
    if (harness_) gst_harness_teardown(harness_);
    if (bus_) gst_object_unref(bus_);
  }

  GstVideoInfo outputInfo() {
    GstVideoInfo info;
    gst_video_info_init(&info);
    GstCaps* caps = gst_pad_get_current_caps(harness_->sinkpad);
    if (caps) {
      gst_video_info_from_caps(&info, caps);
      gst_caps_unref(caps);
    }
    return info;
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

  int warningsOnBus() {
    int count = 0;
    while (GstMessage* msg = gst_bus_pop_filtered(bus_, GST_MESSAGE_WARNING)) {
      GError* error = nullptr;
      gst_message_parse_warning(msg, &error, nullptr);
      EXPECT_STREQ(error->message, "Damaged picture dropped.");
      g_error_free(error);
      gst_message_unref(msg);
      ++count;
    }
    return count;
  }

  GstHarness* harness_ = nullptr;
  GstBus* bus_ = nullptr;
};

TEST_F(VxDecTest, DecodesToEachOutputFormatWithItsRowPitch) {
  const bool full_range_forms = vantry::codec::cpuHasMmx();
  struct Case {
    const char* format;
    int pitch;  // bytes per row for 352 pixels
    bool needs_mmx;
  } cases[] = {{"I420", 352, false}, {"BGR", 1056, false}, {"RGB16", 704, true}, {"BGRx", 1408, true}};
  const auto pictures = encodePictures(352, 288, 1, 30, 128);
  ASSERT_EQ(pictures.size(), 1u);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    TearDown();
    SetUp();
    gst_harness_set_sink_caps_str(harness_, (std::string("video/x-raw,format=") + c.format).c_str());
    gst_harness_set_src_caps_str(harness_, "video/x-vx01,width=352,height=288,framerate=30/1");
    const GstFlowReturn flow = gst_harness_push(harness_, bufferFrom(pictures[0], 0));
    if (c.needs_mmx && !full_range_forms) {
      EXPECT_EQ(flow, GST_FLOW_NOT_NEGOTIATED);
      continue;
    }
    ASSERT_EQ(flow, GST_FLOW_OK);
    const GstVideoInfo info = outputInfo();
    EXPECT_STREQ(gst_video_format_to_string(GST_VIDEO_INFO_FORMAT(&info)), c.format);
    EXPECT_EQ(GST_VIDEO_INFO_WIDTH(&info), 352);
    EXPECT_EQ(GST_VIDEO_INFO_HEIGHT(&info), 288);
    EXPECT_EQ(GST_VIDEO_INFO_PLANE_STRIDE(&info, 0), c.pitch);

    GstBuffer* out = gst_harness_pull(harness_);
    ASSERT_NE(out, nullptr);
    EXPECT_GE(gst_buffer_get_size(out), gsize(c.pitch) * 288);
    GstMapInfo map;
    ASSERT_TRUE(gst_buffer_map(out, &map, GST_MAP_READ));
    // A grey pixel far from the moving square: luma 128 stays mid-grey in every form.
    const uint8_t* pixel = map.data + 200 * c.pitch + 300 * (c.pitch / 352);
    if (std::string(c.format) == "RGB16") {
      const int word = pixel[0] | (pixel[1] << 8);
      EXPECT_NEAR((word >> 11) << 3, 128, 10);
      EXPECT_NEAR(((word >> 5) & 63) << 2, 128, 10);
    } else {
      EXPECT_NEAR(pixel[0], 129, 4);
    }
    gst_buffer_unmap(out, &map);
    gst_buffer_unref(out);
  }
}

TEST_F(VxDecTest, PrefersI420WhenDownstreamTakesAnything) {
  const auto pictures = encodePictures(176, 144, 1, 30);
  gst_harness_set_src_caps_str(harness_, "video/x-vx01,width=176,height=144,framerate=30/1");
  ASSERT_EQ(gst_harness_push(harness_, bufferFrom(pictures[0], 0)), GST_FLOW_OK);
  const GstVideoInfo info = outputInfo();
  EXPECT_EQ(GST_VIDEO_INFO_FORMAT(&info), GST_VIDEO_FORMAT_I420);
  GstBuffer* out = gst_harness_pull(harness_);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(gst_buffer_get_size(out), gsize(176 * 144 * 3 / 2));
  gst_buffer_unref(out);
}

TEST_F(VxDecTest, AcceptsTheAviDemuxerCapsForVx01Only) {
  GstPad* sink = harness_->srcpad->peer;
  const struct {
    const char* caps;
    bool accepted;
  } cases[] = {
      {"video/x-vx01", true},
      {"video/x-avi-unknown, fourcc=(int)0x31305856", true},
      {"video/x-avi-unknown, fourcc=(int)0x33363248", false},  // "H263"
      {"video/x-h263", false},
  };
  for (const auto& c : cases) {
    GstCaps* caps = gst_caps_from_string(c.caps);
    EXPECT_EQ(bool(gst_pad_query_accept_caps(sink, caps)), c.accepted) << c.caps;
    gst_caps_unref(caps);
  }
  // A stream announced without a size learns it from its first picture.
  const auto pictures = encodePictures(320, 240, 2, 30);
  gst_harness_set_src_caps_str(harness_, "video/x-avi-unknown, fourcc=(int)0x31305856");
  for (size_t i = 0; i < pictures.size(); ++i)
    ASSERT_EQ(gst_harness_push(harness_, bufferFrom(pictures[i], i * kFrame)), GST_FLOW_OK);
  std::vector<GstBuffer*> out = pullAll();
  EXPECT_EQ(out.size(), 2u);
  const GstVideoInfo info = outputInfo();
  EXPECT_EQ(GST_VIDEO_INFO_WIDTH(&info), 320);
  EXPECT_EQ(GST_VIDEO_INFO_HEIGHT(&info), 240);
  release(out);
}

TEST_F(VxDecTest, PictureLargerThanAnnouncedRenegotiates) {
  const auto small = encodePictures(176, 144, 1, 30);
  const auto large = encodePictures(352, 288, 2, 30);
  gst_harness_set_src_caps_str(harness_, "video/x-vx01,width=176,height=144,framerate=30/1");
  gst_harness_set_sink_caps_str(harness_, "video/x-raw,format=BGR");
  ASSERT_EQ(gst_harness_push(harness_, bufferFrom(small[0], 0)), GST_FLOW_OK);
  ASSERT_EQ(gst_harness_push(harness_, bufferFrom(large[0], kFrame)), GST_FLOW_OK);
  ASSERT_EQ(gst_harness_push(harness_, bufferFrom(large[1], 2 * kFrame)), GST_FLOW_OK);
  std::vector<GstBuffer*> out = pullAll();
  ASSERT_EQ(out.size(), 3u);
  EXPECT_GE(gst_buffer_get_size(out[0]), gsize(528 * 144));
  EXPECT_GE(gst_buffer_get_size(out[1]), gsize(1056 * 288));
  EXPECT_GE(gst_buffer_get_size(out[2]), gsize(1056 * 288));
  const GstVideoInfo info = outputInfo();
  EXPECT_EQ(GST_VIDEO_INFO_WIDTH(&info), 352);
  EXPECT_EQ(GST_VIDEO_INFO_HEIGHT(&info), 288);
  release(out);
}

TEST_F(VxDecTest, DamagedPictureIsDroppedWithWarningAndPlaybackGoesOn) {
  const auto pictures = encodePictures(176, 144, 3, 30);
  gst_harness_set_src_caps_str(harness_, "video/x-vx01,width=176,height=144,framerate=30/1");
  ASSERT_EQ(gst_harness_push(harness_, bufferFrom(pictures[0], 0)), GST_FLOW_OK);
  const std::vector<std::vector<uint8_t>> damaged = {
      {0x12, 0x34, 0x56, 0x78, 0x9a},  // no picture start code
      {},                               // empty
      {0x00, 0x00},                     // ends inside the start code
  };
  GstClockTime pts = kFrame;
  for (const auto& bytes : damaged) {
    EXPECT_EQ(gst_harness_push(harness_, bufferFrom(bytes, pts)), GST_FLOW_OK);
    pts += kFrame;
  }
  ASSERT_EQ(gst_harness_push(harness_, bufferFrom(pictures[1], pts)), GST_FLOW_OK);
  ASSERT_EQ(gst_harness_push(harness_, bufferFrom(pictures[2], pts + kFrame)), GST_FLOW_OK);
  std::vector<GstBuffer*> out = pullAll();
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(GST_BUFFER_PTS(out[1]), pts);
  EXPECT_EQ(warningsOnBus(), 3);
  release(out);
}

TEST_F(VxDecTest, PicturesBeforeTheFirstKeyPictureAreNotShown) {
  // I P P I P: starting at the first P, nothing is shown until the second I.
  const auto pictures = encodePictures(176, 144, 5, 3);
  gst_harness_set_src_caps_str(harness_, "video/x-vx01,width=176,height=144,framerate=30/1");
  for (size_t i = 1; i < pictures.size(); ++i)
    ASSERT_EQ(gst_harness_push(harness_, bufferFrom(pictures[i], i * kFrame)), GST_FLOW_OK);
  std::vector<GstBuffer*> out = pullAll();
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(GST_BUFFER_PTS(out[0]), 3 * kFrame);
  EXPECT_FALSE(GST_BUFFER_FLAG_IS_SET(out[0], GST_BUFFER_FLAG_DELTA_UNIT));
  EXPECT_EQ(GST_BUFFER_PTS(out[1]), 4 * kFrame);
  EXPECT_EQ(warningsOnBus(), 0);
  release(out);

  // A seek (flush) forgets the reference again.
  gst_harness_push_event(harness_, gst_event_new_flush_start());
  gst_harness_push_event(harness_, gst_event_new_flush_stop(TRUE));
  GstSegment segment;
  gst_segment_init(&segment, GST_FORMAT_TIME);
  gst_harness_push_event(harness_, gst_event_new_segment(&segment));
  ASSERT_EQ(gst_harness_push(harness_, bufferFrom(pictures[4], 4 * kFrame)), GST_FLOW_OK);
  ASSERT_EQ(gst_harness_push(harness_, bufferFrom(pictures[3], 3 * kFrame)), GST_FLOW_OK);
  out = pullAll();
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(GST_BUFFER_PTS(out[0]), 3 * kFrame);
  release(out);
}

TEST_F(VxDecTest, KeepsTimeStampsOfIrregularPictures) {
  const auto pictures = encodePictures(176, 144, 4, 2);
  gst_harness_set_src_caps_str(harness_, "video/x-vx01,width=176,height=144,framerate=30/1");
  const GstClockTime times[] = {0, 40 * GST_MSECOND, 90 * GST_MSECOND, 95 * GST_MSECOND};
  for (size_t i = 0; i < pictures.size(); ++i)
    ASSERT_EQ(gst_harness_push(harness_, bufferFrom(pictures[i], times[i])), GST_FLOW_OK);
  std::vector<GstBuffer*> out = pullAll();
  ASSERT_EQ(out.size(), 4u);
  for (size_t i = 0; i < out.size(); ++i) {
    EXPECT_EQ(GST_BUFFER_PTS(out[i]), times[i]) << i;
  }
  release(out);
}

TEST(VxDecElement, RankMakesAutopluggersChooseIt) {
  initGstWithPlugins();
  GstElementFactory* factory = gst_element_factory_find("vxdec");
  ASSERT_NE(factory, nullptr);
  EXPECT_GT(gst_plugin_feature_get_rank(GST_PLUGIN_FEATURE(factory)), guint(GST_RANK_PRIMARY));
  EXPECT_TRUE(gst_element_factory_list_is_type(factory, GST_ELEMENT_FACTORY_TYPE_DECODER |
                                                            GST_ELEMENT_FACTORY_TYPE_MEDIA_VIDEO));
  EXPECT_STREQ(gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_LONGNAME), "VX Video Decoder");
  gst_object_unref(factory);
}

TEST(VxDecElement, StateCycleDecodesAgainFromTheStart) {
  initGstWithPlugins();
  GstElement* pipeline = gst_parse_launch(
      "videotestsrc num-buffers=10 ! video/x-raw,format=I420,width=176,height=144,framerate=30/1 "
      "! vxenc ! vxdec ! appsink name=s sync=false",
      nullptr);
  ASSERT_NE(pipeline, nullptr);
  GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "s");
  for (int cycle = 0; cycle < 2; ++cycle) {
    ASSERT_NE(gst_element_set_state(pipeline, GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
    int count = 0;
    while (GstSample* sample = gst_app_sink_pull_sample(GST_APP_SINK(sink))) {
      ++count;
      gst_sample_unref(sample);
    }
    EXPECT_EQ(count, 10);
    ASSERT_EQ(gst_element_set_state(pipeline, GST_STATE_NULL), GST_STATE_CHANGE_SUCCESS);
  }
  gst_object_unref(sink);
  gst_object_unref(pipeline);
}

}  // namespace
