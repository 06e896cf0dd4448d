// What the elements cost on top of the codec: the same pictures encoded (and decoded) by
// the bare codec calls and by vxenc (vxdec) inside a pipeline, appsrc to fakesink. The
// pipeline figures include the element's copies, time stamps, caps and the streaming thread;
// compare Pipeline* with Bare* of the same picture count.
#include <benchmark/benchmark.h>
#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "codec/decoder.h"
#include "codec/vx_encoder.h"
#include "plugins/plugin_loader.h"

namespace {

using vantry::codec::VxDecoderHandle;
using vantry::codec::VxEncoderParams;
using vantry::codec::VxFramePlanes;

constexpr int kWidth = 352;
constexpr int kHeight = 288;
constexpr int kPictures = 150;
constexpr const char* kRawCaps = "video/x-raw,format=I420,width=352,height=288,framerate=25/1";

struct Material {
  std::vector<GstBuffer*> raw;    // I420 pictures of a moving test pattern
  std::vector<GstBuffer*> coded;  // the same pictures as VX01, key-frame interval 25
};

std::vector<GstBuffer*> pullAll(const char* launch) {
  std::vector<GstBuffer*> buffers;
  GstElement* pipeline = gst_parse_launch(launch, nullptr);
  if (!pipeline) return buffers;
  GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "out");
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  while (GstSample* sample = gst_app_sink_pull_sample(GST_APP_SINK(sink))) {
    buffers.push_back(gst_buffer_ref(gst_sample_get_buffer(sample)));
    gst_sample_unref(sample);
  }
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(sink);
  gst_object_unref(pipeline);
  return buffers;
}

const Material& material() {
  static const Material m = [] {
    Material made;
    char launch[512];
    std::snprintf(launch, sizeof launch,
                  "videotestsrc num-buffers=%d pattern=smpte horizontal-speed=3 ! %s ! "
                  "appsink name=out sync=false",
                  kPictures, kRawCaps);
    made.raw = pullAll(launch);
    std::snprintf(launch, sizeof launch,
                  "videotestsrc num-buffers=%d pattern=smpte horizontal-speed=3 ! %s ! vxenc ! "
                  "appsink name=out sync=false",
                  kPictures, kRawCaps);
    made.coded = pullAll(launch);
    return made;
  }();
  return m;
}

// Pushes the buffers through "appsrc ! <element> ! fakesink" and waits for the end.
void runPipeline(const std::vector<GstBuffer*>& input, const char* caps, const char* element) {
  char launch[512];
  std::snprintf(launch, sizeof launch, "appsrc name=in format=time caps=\"%s\" ! %s ! fakesink sync=false",
                caps, element);
  GstElement* pipeline = gst_parse_launch(launch, nullptr);
  GstElement* src = gst_bin_get_by_name(GST_BIN(pipeline), "in");
  g_object_set(src, "max-bytes", guint64(0), "block", FALSE, nullptr);
  for (GstBuffer* buffer : input) gst_app_src_push_buffer(GST_APP_SRC(src), gst_buffer_ref(buffer));
  gst_app_src_end_of_stream(GST_APP_SRC(src));
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  GstBus* bus = gst_element_get_bus(pipeline);
  GstMessage* msg = gst_bus_timed_pop_filtered(bus, 60 * GST_SECOND,
                                               GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
  if (msg) gst_message_unref(msg);
  gst_object_unref(bus);
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(src);
  gst_object_unref(pipeline);
}

void BM_BareEncode(benchmark::State& state) {
  const Material& m = material();
  std::vector<uint8_t> out(size_t(kWidth) * kHeight * 3 / 2);
  for (auto _ : state) {
    VxEncoderParams params{};
    params.width = kWidth;
    params.height = kHeight;
    params.quantiser = 7;
    params.keyFrameInterval = 25;
    vantry::codec::vx_encoder_open(&params);
    for (GstBuffer* buffer : m.raw) {
      GstMapInfo map;
      gst_buffer_map(buffer, &map, GST_MAP_READ);
      VxFramePlanes planes{map.data, map.data + kWidth * kHeight, map.data + kWidth * kHeight * 5 / 4, kWidth};
      benchmark::DoNotOptimize(vantry::codec::vx_encode(&params, &planes, out.data(), out.size()));
      gst_buffer_unmap(buffer, &map);
    }
    vantry::codec::vx_encoder_close(&params);
  }
  state.SetItemsProcessed(state.iterations() * int64_t(m.raw.size()));
}

void BM_PipelineEncode(benchmark::State& state) {
  const Material& m = material();
  for (auto _ : state) runPipeline(m.raw, kRawCaps, "vxenc");
  state.SetItemsProcessed(state.iterations() * int64_t(m.raw.size()));
}

void BM_BareDecode(benchmark::State& state) {
  const Material& m = material();
  for (auto _ : state) {
    VxDecoderHandle handle{};
    vantry::codec::vx_decoder_open(&handle);
    for (GstBuffer* buffer : m.coded) {
      GstMapInfo map;
      gst_buffer_map(buffer, &map, GST_MAP_READ);
      VxFramePlanes* planes = nullptr;
      benchmark::DoNotOptimize(vantry::codec::vx_decode(&handle, &planes, map.data, int32_t(map.size)));
      gst_buffer_unmap(buffer, &map);
    }
    vantry::codec::vx_decoder_close(&handle);
  }
  state.SetItemsProcessed(state.iterations() * int64_t(m.coded.size()));
}

void BM_PipelineDecode(benchmark::State& state) {
  const Material& m = material();
  for (auto _ : state)
    runPipeline(m.coded, "video/x-vx01,width=352,height=288,framerate=25/1", "vxdec ! video/x-raw,format=I420");
  state.SetItemsProcessed(state.iterations() * int64_t(m.coded.size()));
}

BENCHMARK(BM_BareEncode)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->MinTime(2.0);
BENCHMARK(BM_PipelineEncode)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->MinTime(2.0);
BENCHMARK(BM_BareDecode)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->MinTime(2.0);
BENCHMARK(BM_PipelineDecode)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
  gst_init(&argc, &argv);
  vantry::plugins::registerPluginDir(VANTRY_PLUGIN_DIR);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  if (material().raw.size() != size_t(kPictures) || material().coded.size() != size_t(kPictures)) {
    std::fprintf(stderr, "could not make the test pictures (are the plug-ins built?)\n");
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
