// CPU time of one motion-detection frame (conversion to luminance, masking, comparison) at
// 640x480, the largest picture a camera usually gives the detector, per input layout.
#include "station/core/motion_detector.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

using namespace vantry::station;

std::vector<uint8_t> noise(size_t size, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> bytes(size);
    for (auto& b : bytes)
        b = static_cast<uint8_t>(rng());
    return bytes;
}

void detectionFrame(benchmark::State& state, VideoSubtype subtype, bool withMask)
{
    const FrameFormat format = makeFrameFormat(subtype, 640, 480);
    MotionDetector detector;
    detector.setFrameFormat(format);
    if (withMask) {
        GreyBitmap mask(640, 480, 255);
        for (int row = 0; row < 240; ++row)
            for (int x = 0; x < 320; ++x)
                mask.at(x, row) = 0;
        detector.setMask(mask);
    }
    detector.startSlot(DetectionSlot::Live);
    const std::vector<uint8_t> frames[2] = { noise(format.imageSize, 1), noise(format.imageSize, 2) };
    size_t i = 0;
    for (auto _ : state) {
        const auto& frame = frames[i++ & 1];
        benchmark::DoNotOptimize(detector.processFrame(DetectionSlot::Live, frame.data(), frame.size()));
    }
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK_CAPTURE(detectionFrame, YUY2, VideoSubtype::YUY2, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(detectionFrame, I420, VideoSubtype::I420, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(detectionFrame, RGB24, VideoSubtype::RGB24, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(detectionFrame, I420_masked, VideoSubtype::I420, true)->Unit(benchmark::kMicrosecond);

} // namespace
