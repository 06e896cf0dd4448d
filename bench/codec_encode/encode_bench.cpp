// Encoding speed per search mode at 352x288 and 704x576, with bits per picture and PSNR.
// Input: a textured scene panning by 1.5 samples per picture with a moving object and
// camera-like noise, 30 pictures cycled; key-frame interval 30, quantiser 6 unless told.
#include "codec/vx_encoder.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace {

using vantry::codec::VxEncoderParams;
using vantry::codec::VxFramePlanes;

constexpr int kPictures = 30;

std::vector<uint8_t> makeScene(int width, int height, int index) {
    std::vector<uint8_t> frame(size_t(width) * height * 3 / 2);
    std::mt19937 rng(static_cast<unsigned>(index) * 7919u + 1u);
    const double panX = 1.5 * index, panY = 0.5 * index;
    const int boxX = (6 * index) % (width - 64), boxY = (2 * index) % (height - 64);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double u = x + panX, v = y + panY;
            int value = int(128 + 60 * std::sin(u * 0.11) * std::cos(v * 0.09) + 25 * std::sin((u - v) * 0.031));
            if (x >= boxX && x < boxX + 64 && y >= boxY && y < boxY + 64)
                value = 40 + ((x - boxX) * 3 + (y - boxY) * 5) % 50;
            value += int(rng() % 5) - 2;
            frame[size_t(y) * width + x] = uint8_t(std::clamp(value, 0, 255));
        }
    uint8_t* u = frame.data() + size_t(width) * height;
    uint8_t* v = u + size_t(width) * height / 4;
    for (int y = 0; y < height / 2; ++y)
        for (int x = 0; x < width / 2; ++x) {
            u[size_t(y) * width / 2 + x] = uint8_t(128 + 30 * std::sin((2 * x + panX) * 0.05));
            v[size_t(y) * width / 2 + x] = uint8_t(128 + 30 * std::cos((2 * y + panY) * 0.04));
        }
    return frame;
}

double psnr(const VxFramePlanes& a, const uint8_t* frame, int width, int height) {
    double squared = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int d = a.y[size_t(y) * a.stride + x] - frame[size_t(y) * width + x];
            squared += d * d;
        }
    const double mse = squared / (double(width) * height);
    return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

void encodeScene(benchmark::State& state) {
    const int width = int(state.range(0));
    const int height = int(state.range(1));
    const int mode = int(state.range(2));
    const int qp = int(state.range(3));
    std::vector<std::vector<uint8_t>> frames;
    for (int i = 0; i < kPictures; ++i)
        frames.push_back(makeScene(width, height, i));

    VxEncoderParams params{};
    params.width = width;
    params.height = height;
    params.quantiser = qp;
    params.keyFrameInterval = 30;
    params.searchMode = mode;
    if (vantry::codec::vx_encoder_open(&params) != 0) {
        state.SkipWithError("vx_encoder_open failed");
        return;
    }
    std::vector<uint8_t> out(size_t(width) * height * 3 / 2);
    size_t index = 0;
    double bytes = 0;
    int64_t pictures = 0;
    for (auto _ : state) {
        std::vector<uint8_t>& frame = frames[index];
        VxFramePlanes planes{frame.data(), frame.data() + size_t(width) * height,
                             frame.data() + size_t(width) * height * 5 / 4, width};
        const int length = vantry::codec::vx_encode(&params, &planes, out.data(), out.size());
        benchmark::DoNotOptimize(length);
        bytes += length;
        ++pictures;
        index = (index + 1) % frames.size();
    }

    // Quality over one pass of the scene, outside the timed loop.
    vantry::codec::vx_encoder_set_full_reconstruction(&params, true);
    params.keyFrameRequest = 1;
    double psnrSum = 0;
    for (int i = 0; i < kPictures; ++i) {
        VxFramePlanes planes{frames[i].data(), frames[i].data() + size_t(width) * height,
                             frames[i].data() + size_t(width) * height * 5 / 4, width};
        vantry::codec::vx_encode(&params, &planes, out.data(), out.size());
        params.keyFrameRequest = 0;
        psnrSum += psnr(*vantry::codec::vx_encoder_reconstruction(&params), frames[i].data(), width, height);
    }
    vantry::codec::vx_encoder_close(&params);

    state.counters["pictures_per_s"] = benchmark::Counter(double(pictures), benchmark::Counter::kIsRate);
    state.counters["bits_per_picture"] = pictures ? bytes * 8 / double(pictures) : 0;
    state.counters["psnr_y_db"] = psnrSum / kPictures;
}

BENCHMARK(encodeScene)
    ->ArgNames({"width", "height", "mode", "qp"})
    ->Args({352, 288, 0, 6})
    ->Args({352, 288, 1, 6})
    ->Args({352, 288, 2, 6})
    ->Args({704, 576, 0, 6})
    ->Args({704, 576, 1, 6})
    ->Args({704, 576, 2, 6})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
