#include "station/core/luma_converter.h"

#include <cstring>

namespace vantry::station {

namespace {

inline constexpr int32_t kRedToY = 2105;
inline constexpr int32_t kGreenToY = 4129;
inline constexpr int32_t kBlueToY = 803;

size_t packedStride(int width, int bytesPerPixel)
{
    return (static_cast<size_t>(width) * static_cast<size_t>(bytesPerPixel) + 3) & ~size_t(3);
}

} // namespace

LumaConverter::LumaConverter()
{
    for (int v = 0; v < 256; ++v) {
        redToY_[static_cast<size_t>(v)] = kRedToY * v;
        greenToY_[static_cast<size_t>(v)] = kGreenToY * v;
        blueToY_[static_cast<size_t>(v)] = kBlueToY * v;
    }
}

bool LumaConverter::convert(const FrameFormat& format, const uint8_t* src, size_t srcBytes, uint8_t* dst,
                            size_t dstBytes) const
{
    const size_t needed = lumaSourceBytes(format);
    if (needed == 0 || src == nullptr || dst == nullptr || srcBytes < needed)
        return false;
    const int width = format.width;
    const int height = format.absHeight();
    const size_t dstStride = static_cast<size_t>(lumaStride(width));
    if (dstBytes < dstStride * static_cast<size_t>(height))
        return false;

    // Output row r (bottom-up) comes from source row sourceRow(r).
    // YUV sources are top-down; RGB sources keep their order unless the header says top-down.
    const bool sourceTopDown = !isRgb(format.subtype) || format.height < 0;
    auto sourceRow = [&](int r) { return sourceTopDown ? height - 1 - r : r; };
    auto clearPadding = [&](uint8_t* row) {
        std::memset(row + width, 0, dstStride - static_cast<size_t>(width));
    };

    switch (format.subtype) {
    case VideoSubtype::I420:
    case VideoSubtype::IYUV:
    case VideoSubtype::YV12:
    case VideoSubtype::YVU9:
    case VideoSubtype::IF09: {
        const size_t srcStride = static_cast<size_t>(lumaStride(width));
        for (int r = 0; r < height; ++r) {
            uint8_t* out = dst + static_cast<size_t>(r) * dstStride;
            std::memcpy(out, src + static_cast<size_t>(sourceRow(r)) * srcStride, static_cast<size_t>(width));
            clearPadding(out);
        }
        return true;
    }
    case VideoSubtype::YUY2:
    case VideoSubtype::YVYU:
    case VideoSubtype::UYVY: {
        const size_t srcStride = packedStride(width, 2);
        const size_t first = format.subtype == VideoSubtype::UYVY ? 1 : 0;
        for (int r = 0; r < height; ++r) {
            const uint8_t* in = src + static_cast<size_t>(sourceRow(r)) * srcStride + first;
            uint8_t* out = dst + static_cast<size_t>(r) * dstStride;
            for (int x = 0; x < width; ++x)
                out[x] = in[static_cast<size_t>(x) * 2];
            clearPadding(out);
        }
        return true;
    }
    case VideoSubtype::RGB24:
    case VideoSubtype::RGB32:
    case VideoSubtype::ARGB32: {
        const int bytesPerPixel = format.subtype == VideoSubtype::RGB24 ? 3 : 4;
        const size_t srcStride = packedStride(width, bytesPerPixel);
        for (int r = 0; r < height; ++r) {
            const uint8_t* in = src + static_cast<size_t>(sourceRow(r)) * srcStride;
            uint8_t* out = dst + static_cast<size_t>(r) * dstStride;
            for (int x = 0; x < width; ++x, in += bytesPerPixel)
                out[x] = lumaOf(in[2], in[1], in[0]);
            clearPadding(out);
        }
        return true;
    }
    case VideoSubtype::RGB555:
    case VideoSubtype::RGB565: {
        const size_t srcStride = packedStride(width, 2);
        const bool is565 = format.subtype == VideoSubtype::RGB565;
        for (int r = 0; r < height; ++r) {
            const uint8_t* in = src + static_cast<size_t>(sourceRow(r)) * srcStride;
            uint8_t* out = dst + static_cast<size_t>(r) * dstStride;
            for (int x = 0; x < width; ++x, in += 2) {
                const unsigned v = static_cast<unsigned>(in[0]) | (static_cast<unsigned>(in[1]) << 8);
                // Each field is widened by a plain shift, without replicating its top bits.
                const unsigned blue = (v & 0x1F) << 3;
                const unsigned green = is565 ? ((v >> 5) & 0x3F) << 2 : ((v >> 5) & 0x1F) << 3;
                const unsigned red = is565 ? ((v >> 11) & 0x1F) << 3 : ((v >> 10) & 0x1F) << 3;
                out[x] = lumaOf(static_cast<uint8_t>(red), static_cast<uint8_t>(green), static_cast<uint8_t>(blue));
            }
            clearPadding(out);
        }
        return true;
    }
    case VideoSubtype::Unknown:
        break;
    }
    return false;
}

} // namespace vantry::station
