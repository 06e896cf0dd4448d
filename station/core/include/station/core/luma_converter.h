#pragma once

#include "station/core/video_format.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace vantry::station {

// Reduces a captured frame to the 8-bit luminance picture that motion detection compares:
// width x |height| pixels, rows of lumaStride(width) bytes, bottom row first (the row order
// of a bottom-up bitmap, which is also the row order of the mask). RGB uses the studio-range
// BT.601 weights in 13-bit fixed point from three precomputed tables; YUV takes the Y bytes.
class LumaConverter {
public:
    LumaConverter();

    // Returns false, leaving dst untouched, for an unknown subtype, a source shorter than
    // lumaSourceBytes(format) or a destination shorter than lumaStride(width) x |height|.
    bool convert(const FrameFormat& format, const uint8_t* src, size_t srcBytes, uint8_t* dst, size_t dstBytes) const;

    // Y = ((2105 R + 4129 G + 803 B) >> 13) + 16, limited to 255.
    uint8_t lumaOf(uint8_t r, uint8_t g, uint8_t b) const
    {
        const int32_t y = ((redToY_[r] + greenToY_[g] + blueToY_[b]) >> 13) + 16;
        return static_cast<uint8_t>(y > 255 ? 255 : y);
    }

private:
    std::array<int32_t, 256> redToY_ {};
    std::array<int32_t, 256> greenToY_ {};
    std::array<int32_t, 256> blueToY_ {};
};

} // namespace vantry::station
