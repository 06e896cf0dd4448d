#pragma once

// Synthetic frames for the station core tests: pictures built pixel by pixel in the
// canonical layout of each subtype, from a luminance function.

#include "station/core/video_format.h"

#include <cstdint>
#include <functional>
#include <random>
#include <vector>

namespace vantry::station::test {

inline std::vector<uint8_t> randomBytes(size_t size, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> bytes(size);
    for (auto& b : bytes)
        b = static_cast<uint8_t>(rng());
    return bytes;
}

// An I420 frame whose luma at (x, y from the top) is luma(x, y); chroma 128.
inline std::vector<uint8_t> makeI420(int width, int height, const std::function<uint8_t(int, int)>& luma)
{
    const FrameFormat format = makeFrameFormat(VideoSubtype::I420, width, height);
    std::vector<uint8_t> frame(format.imageSize, 128);
    const int stride = lumaStride(width);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            frame[static_cast<size_t>(y * stride + x)] = luma(x, y);
    return frame;
}

} // namespace vantry::station::test
