// Synthetic pictures for the encoder tests: a textured pattern that moves by a few samples
// per picture (sub-sample steps too, so that half-sample vectors win), plus noise, so that
// every macroblock kind occurs: not coded, inter with and without residual, intra.
#pragma once

#include "codec/frame_planes.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace vantry::codec::testing {

struct I420Picture {
    int width = 0;
    int height = 0;
    int stride = 0;
    std::vector<uint8_t> bytes;  // Y (stride x height), U, V (stride/2 x height/2)

    I420Picture(int w, int h, int s = 0) : width(w), height(h), stride(s ? s : w), bytes(size_t(stride) * h * 3 / 2) {}

    uint8_t* y() { return bytes.data(); }
    uint8_t* u() { return bytes.data() + size_t(stride) * height; }
    uint8_t* v() { return u() + size_t(stride / 2) * (height / 2); }

    VxFramePlanes planes() { return VxFramePlanes{y(), u(), v(), stride}; }
    void fill(uint8_t value) { std::fill(bytes.begin(), bytes.end(), value); }
};

// Picture `index` of a scene: a smooth texture panning diagonally at 1.5 samples per
// picture, a bright square moving faster across it, and noise of amplitude `noise`.
inline I420Picture movingScene(int width, int height, int index, int noise = 3, unsigned seed = 1, int stride = 0) {
    I420Picture p(width, height, stride);
    std::mt19937 rng(seed * 7919u + static_cast<unsigned>(index));
    const double panX = 1.5 * index;
    const double panY = 0.5 * index;
    const int squareX = (5 * index) % std::max(1, width - 24);
    const int squareY = (3 * index) % std::max(1, height - 24);
    auto noiseAt = [&]() { return noise ? static_cast<int>(rng() % (2 * noise + 1)) - noise : 0; };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double u = x + panX, v = y + panY;
            int value = static_cast<int>(128 + 60 * std::sin(u * 0.21) * std::cos(v * 0.17) + 30 * std::sin((u + v) * 0.05));
            if (x >= squareX && x < squareX + 24 && y >= squareY && y < squareY + 24)
                value = 230 - ((x - squareX) ^ (y - squareY)) % 7;
            value += noiseAt();
            p.y()[size_t(y) * p.stride + x] = static_cast<uint8_t>(std::clamp(value, 0, 255));
        }
    }
    const int cs = p.stride / 2;
    for (int y = 0; y < height / 2; ++y) {
        for (int x = 0; x < width / 2; ++x) {
            const double u = 2 * x + panX, v = 2 * y + panY;
            p.u()[size_t(y) * cs + x] = static_cast<uint8_t>(std::clamp(int(128 + 40 * std::sin(u * 0.08)) + noiseAt(), 0, 255));
            p.v()[size_t(y) * cs + x] = static_cast<uint8_t>(std::clamp(int(128 + 40 * std::cos(v * 0.06)) + noiseAt(), 0, 255));
        }
    }
    return p;
}

}  // namespace vantry::codec::testing
