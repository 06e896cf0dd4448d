#include <gst/check/gstharness.h>
#include <gtest/gtest.h>

#include <vector>

#include "gst_test_support.h"

namespace {

using vantry::plugins::test::initGstWithPlugins;

constexpr GstClockTime k100ns = 100;  // one unit of the rate's definition

class VxFrcTest : public ::testing::Test {
 protected:
  void SetUp() override {
    initGstWithPlugins();
    harness_ = gst_harness_new("vxfrc");
    ASSERT_NE(harness_, nullptr) << "vxfrc not found";
    gst_harness_set_src_caps_str(harness_, "video/x-raw,format=I420,width=16,height=16,framerate=30/1");
  }
  void TearDown() override {
    if (harness_) gst_harness_teardown(harness_);
  }

  void setRate(gint rate) { g_object_set(harness_->element, "rate", rate, nullptr); }
  void setMode(gint mode) { g_object_set(harness_->element, "mode", mode, nullptr); }
  gint mode() {
    gint value = -1;
    g_object_get(harness_->element, "mode", &value, nullptr);
    return value;
  }

  // Pushes one sample and reports whether it came out the other side.
  bool passes(GstClockTime pts, gsize size = 8) {
    GstBuffer* buffer = gst_harness_create_buffer(harness_, size);
    GST_BUFFER_PTS(buffer) = pts;
    EXPECT_EQ(gst_harness_push(harness_, buffer), GST_FLOW_OK);
    GstBuffer* out = gst_harness_try_pull(harness_);
    if (!out) return false;
    gst_buffer_unref(out);
    return true;
  }

  GstHarness* harness_ = nullptr;
};

TEST_F(VxFrcTest, RateLimitPassesOneSampleAtLeastEveryInterval) {
  // 10.00 frames/s over a 30 frames/s source whose stamps are rounded to 100-ns units.
  setRate(1000);
  setMode(0x11);
  std::vector<int> passed;
  for (int k = 0; k <= 12; ++k) {
    const GstClockTime pts = GstClockTime(k) * 10000000 / 30 * k100ns;
    if (passes(pts)) passed.push_back(k);
  }
  // The sample at 0 is dropped: the count starts from a last passed start of 0.
  EXPECT_EQ(passed, (std::vector<int>{3, 6, 9, 12}));
}

TEST_F(VxFrcTest, RateLimitBoundaryIsExactInterval) {
  setRate(1000);  // interval 1 000 000 units of 100 ns
  setMode(0x11);
  EXPECT_FALSE(passes(999999 * k100ns));
  EXPECT_TRUE(passes(1000000 * k100ns));
  EXPECT_FALSE(passes(1999999 * k100ns));
  EXPECT_TRUE(passes(2000000 * k100ns));
}

TEST_F(VxFrcTest, RateLimitLetsUnstampedSamplesThrough) {
  setRate(100);
  setMode(0x11);
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(passes(GST_CLOCK_TIME_NONE));
}

TEST_F(VxFrcTest, ClosedGateDropsEverything) {
  setRate(1000);
  for (gint mode : {0x00, 0x10, 0x100, 0x1E}) {
    setMode(mode);
    for (int k = 0; k < 4; ++k) {
      EXPECT_FALSE(passes(GstClockTime(k) * 50 * GST_MSECOND)) << "mode " << mode;
      EXPECT_FALSE(passes(GST_CLOCK_TIME_NONE)) << "mode " << mode;
    }
  }
}

TEST_F(VxFrcTest, OpenGateWithoutLimitDropsOnlyEmptySamples) {
  EXPECT_TRUE(passes(0));
  EXPECT_FALSE(passes(GST_MSECOND, 0));
  EXPECT_TRUE(passes(2 * GST_MSECOND, 1));
  EXPECT_TRUE(passes(GST_CLOCK_TIME_NONE));
  EXPECT_TRUE(passes(GST_MSECOND));  // time going back does not matter without the limit
}

TEST_F(VxFrcTest, ModeReadsBackGateAndLimitBitsOnly) {
  EXPECT_EQ(mode(), 0x01);
  const struct {
    gint set;
    gint expected;
  } cases[] = {{0x11, 0x11}, {0x10, 0x10}, {0x00, 0x00}, {0xFF, 0x11}, {0x21, 0x01}, {-1, 0x11}};
  for (const auto& c : cases) {
    setMode(c.set);
    EXPECT_EQ(mode(), c.expected) << "set " << c.set;
  }
}

TEST_F(VxFrcTest, ZeroRateIsRefused) {
  setRate(1500);
  // GObject refuses values outside the parameter's range and keeps the old one.
  g_object_set(harness_->element, "rate", 0, nullptr);
  gint rate = 0;
  g_object_get(harness_->element, "rate", &rate, nullptr);
  EXPECT_EQ(rate, 1500);
  GParamSpec* rate_param = g_object_class_find_property(G_OBJECT_GET_CLASS(harness_->element), "rate");
  ASSERT_NE(rate_param, nullptr);
  EXPECT_EQ(G_PARAM_SPEC_INT(rate_param)->minimum, 1);
  EXPECT_EQ(G_PARAM_SPEC_INT(rate_param)->default_value, 3000);
}

TEST_F(VxFrcTest, SwitchingLimitOnAgainRestartsTheCount) {
  setRate(1000);
  setMode(0x11);
  EXPECT_TRUE(passes(5 * GST_SECOND));
  EXPECT_FALSE(passes(5 * GST_SECOND + 50 * GST_MSECOND));
  setMode(0x11);  // last passed start back to 0
  EXPECT_TRUE(passes(5 * GST_SECOND + 60 * GST_MSECOND));
}

TEST_F(VxFrcTest, SourceClockRestartDoesNotStallTheStream) {
  setRate(1000);
  setMode(0x11);
  EXPECT_TRUE(passes(60 * GST_SECOND));
  // The source starts again from zero: its samples must not wait a minute to pass.
  EXPECT_TRUE(passes(40 * GST_MSECOND));
  EXPECT_FALSE(passes(90 * GST_MSECOND));
  EXPECT_TRUE(passes(140 * GST_MSECOND));
}

TEST_F(VxFrcTest, PassedSampleIsTheSameBufferUnchanged) {
  GstBuffer* buffer = gst_harness_create_buffer(harness_, 4);
  gst_buffer_fill(buffer, 0, "\x01\x02\x03\x04", 4);
  GST_BUFFER_PTS(buffer) = 0;
  gst_buffer_ref(buffer);
  ASSERT_EQ(gst_harness_push(harness_, buffer), GST_FLOW_OK);
  GstBuffer* out = gst_harness_pull(harness_);
  EXPECT_EQ(out, buffer);
  GstMapInfo map;
  ASSERT_TRUE(gst_buffer_map(out, &map, GST_MAP_READ));
  EXPECT_EQ(0, memcmp(map.data, "\x01\x02\x03\x04", 4));
  gst_buffer_unmap(out, &map);
  gst_buffer_unref(out);
  gst_buffer_unref(buffer);
}

TEST(VxFrcElement, StateCycleKeepsSettingsAndAcceptsAnyCaps) {
  initGstWithPlugins();
  GstElement* pipeline = gst_parse_launch(
      "audiotestsrc num-buffers=20 ! vxfrc name=f rate=500 mode=17 ! fakesink sync=false",
      nullptr);
  ASSERT_NE(pipeline, nullptr);
  GstElement* frc = gst_bin_get_by_name(GST_BIN(pipeline), "f");
  ASSERT_NE(frc, nullptr);
  for (int cycle = 0; cycle < 2; ++cycle) {
    ASSERT_NE(gst_element_set_state(pipeline, GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* msg = gst_bus_timed_pop_filtered(bus, 10 * GST_SECOND,
        static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    ASSERT_NE(msg, nullptr);
    EXPECT_EQ(GST_MESSAGE_TYPE(msg), GST_MESSAGE_EOS);
    gst_message_unref(msg);
    gst_object_unref(bus);
    ASSERT_EQ(gst_element_set_state(pipeline, GST_STATE_NULL), GST_STATE_CHANGE_SUCCESS);
    gint rate = 0, mode = 0;
    g_object_get(frc, "rate", &rate, "mode", &mode, nullptr);
    EXPECT_EQ(rate, 500);
    EXPECT_EQ(mode, 0x11);
  }
  gst_object_unref(frc);
  gst_object_unref(pipeline);
}

}  // namespace
