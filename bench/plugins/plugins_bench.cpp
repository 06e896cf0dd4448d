// What the elements cost on top of the codec: the same pictures encoded (and decoded) by
// the bare codec calls and by vxenc (vxdec) inside a pipeline, appsrc to fakesink. The
// pipeline figures include the element's copies, time stamps, caps and the streaming thread;
// compare Pipeline* with Bare* of the same picture count. Times are the CPU time of the whole
// process, streaming threads included.
#include <benchmark/benchmark.h>
#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <mutex>
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

// "appsrc ! <element> ! fakesink", set up once and kept playing, so that the figures show
// the steady state of a long recording rather than the start-up of a pipeline.
class PipelineRunner {
 public:
  PipelineRunner(const char* caps, const char* element) {
    char launch[512];
    std::snprintf(launch, sizeof launch,
                  "appsrc name=in format=time is-live=false caps=\"%s\" ! %s ! "
                  "fakesink name=out sync=false signal-handoffs=true",
                  caps, element);
    pipeline_ = gst_parse_launch(launch, nullptr);
    src_ = gst_bin_get_by_name(GST_BIN(pipeline_), "in");
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline_), "out");
    g_object_set(src_, "max-bytes", guint64(0), "block", FALSE, nullptr);
    g_signal_connect(sink, "handoff", G_CALLBACK(&PipelineRunner::onHandoff), this);
    gst_object_unref(sink);
    gst_element_set_state(pipeline_, GST_STATE_PLAYING);
  }
  ~PipelineRunner() {
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    gst_object_unref(src_);
    gst_object_unref(pipeline_);
  }
  PipelineRunner(const PipelineRunner&) = delete;
  PipelineRunner& operator=(const PipelineRunner&) = delete;

  // Pushes the pictures (time stamps continuing from the last run) and waits until all
  // of them have come out.
  void run(const std::vector<GstBuffer*>& input) {
    {
      std::lock_guard lock(mutex_);
      expected_ += input.size();
    }
    for (GstBuffer* buffer : input) {
      GstBuffer* copy = gst_buffer_copy(buffer);  // shares the memory
      GST_BUFFER_PTS(copy) = next_pts_;
      GST_BUFFER_DTS(copy) = GST_CLOCK_TIME_NONE;
      GST_BUFFER_DURATION(copy) = GST_SECOND / 25;
      next_pts_ += GST_SECOND / 25;
      gst_app_src_push_buffer(GST_APP_SRC(src_), copy);
    }
    std::unique_lock lock(mutex_);
    done_.wait(lock, [&] { return received_ >= expected_; });
  }

 private:
  static void onHandoff(GstElement*, GstBuffer*, GstPad*, gpointer data) {
    auto* self = static_cast<PipelineRunner*>(data);
    std::lock_guard lock(self->mutex_);
    if (++self->received_ >= self->expected_) self->done_.notify_one();
  }

  GstElement* pipeline_ = nullptr;
  GstElement* src_ = nullptr;
  GstClockTime next_pts_ = 0;
  std::mutex mutex_;
  std::condition_variable done_;
  size_t expected_ = 0;  // guarded by mutex_
  size_t received_ = 0;  // guarded by mutex_
};

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
  PipelineRunner runner(kRawCaps, "vxenc");
  for (auto _ : state) runner.run(m.raw);
  state.SetItemsProcessed(state.iterations() * int64_t(m.raw.size()));
}

// The decoder's planes last only until its next call, so every caller copies the picture out
// (the viewer into one I420 buffer); the bare figure includes that copy, as the element's does.
void BM_BareDecode(benchmark::State& state) {
  const Material& m = material();
  std::vector<uint8_t> picture(size_t(kWidth) * kHeight * 3 / 2);
  for (auto _ : state) {
    VxDecoderHandle handle{};
    vantry::codec::vx_decoder_open(&handle);
    for (GstBuffer* buffer : m.coded) {
      GstMapInfo map;
      gst_buffer_map(buffer, &map, GST_MAP_READ);
      VxFramePlanes* planes = nullptr;
      if (vantry::codec::vx_decode(&handle, &planes, map.data, int32_t(map.size)) > 0) {
        const size_t luma = size_t(kWidth) * kHeight;
        std::memcpy(picture.data(), planes->y, luma);
        std::memcpy(picture.data() + luma, planes->u, luma / 4);
        std::memcpy(picture.data() + luma * 5 / 4, planes->v, luma / 4);
        benchmark::DoNotOptimize(picture.data());
      }
      gst_buffer_unmap(buffer, &map);
    }
    vantry::codec::vx_decoder_close(&handle);
  }
  state.SetItemsProcessed(state.iterations() * int64_t(m.coded.size()));
}

void BM_PipelineDecode(benchmark::State& state) {
  const Material& m = material();
  PipelineRunner runner("video/x-vx01,width=352,height=288,framerate=25/1", "vxdec ! video/x-raw,format=I420");
  for (auto _ : state) runner.run(m.coded);
  state.SetItemsProcessed(state.iterations() * int64_t(m.coded.size()));
}

// On a shared machine the least time of several repetitions is the steadiest figure:
// run with --benchmark_repetitions=8 --benchmark_enable_random_interleaving=true.
double minimum(const std::vector<double>& values) { return *std::min_element(values.begin(), values.end()); }

BENCHMARK(BM_BareEncode)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->MinTime(1.0)->ComputeStatistics("min", minimum);
BENCHMARK(BM_PipelineEncode)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->MinTime(1.0)->ComputeStatistics("min", minimum);
BENCHMARK(BM_BareDecode)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->MinTime(1.0)->ComputeStatistics("min", minimum);
BENCHMARK(BM_PipelineDecode)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->MinTime(1.0)->ComputeStatistics("min", minimum);

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
