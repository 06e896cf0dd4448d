#include "station/ui/frame_image.h"

#include <algorithm>

namespace vantry::station::ui {

namespace {

inline uint8_t clamp8(int v)
{
    return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

inline QRgb yuvToRgb(int y, int u, int v)
{
    const int c = 298 * (y - 16);
    const int d = u - 128;
    const int e = v - 128;
    return qRgb(clamp8((c + 409 * e + 128) >> 8), clamp8((c - 100 * d - 208 * e + 128) >> 8),
                clamp8((c + 516 * d + 128) >> 8));
}

inline size_t stride4(size_t bytes)
{
    return (bytes + 3) & ~size_t(3);
}

} // namespace

QImage frameToImage(const FrameFormat& format, const uint8_t* data, size_t size)
{
    const int w = format.width;
    const int h = format.absHeight();
    if (!data || w <= 0 || h <= 0 || w > kMaxPictureSide || h > kMaxPictureSide)
        return {};
    QImage image(w, h, QImage::Format_RGB32);
    const auto ws = static_cast<size_t>(w);
    const auto hs = static_cast<size_t>(h);
    switch (format.subtype) {
    case VideoSubtype::I420:
    case VideoSubtype::IYUV:
    case VideoSubtype::YV12: {
        const size_t yStride = stride4(ws);
        const size_t cStride = stride4((ws + 1) / 2);
        const size_t cRows = (hs + 1) / 2;
        if (size < yStride * hs + 2 * cStride * cRows)
            return {};
        const uint8_t* yPlane = data;
        const uint8_t* first = data + yStride * hs;
        const uint8_t* second = first + cStride * cRows;
        const uint8_t* uPlane = format.subtype == VideoSubtype::YV12 ? second : first;
        const uint8_t* vPlane = format.subtype == VideoSubtype::YV12 ? first : second;
        for (int row = 0; row < h; ++row) {
            auto* out = reinterpret_cast<QRgb*>(image.scanLine(row));
            const uint8_t* yRow = yPlane + yStride * static_cast<size_t>(row);
            const uint8_t* uRow = uPlane + cStride * static_cast<size_t>(row / 2);
            const uint8_t* vRow = vPlane + cStride * static_cast<size_t>(row / 2);
            for (int x = 0; x < w; ++x)
                out[x] = yuvToRgb(yRow[x], uRow[x / 2], vRow[x / 2]);
        }
        return image;
    }
    case VideoSubtype::YUY2:
    case VideoSubtype::YVYU:
    case VideoSubtype::UYVY: {
        const size_t stride = stride4(ws * 2);
        if (size < stride * hs)
            return {};
        const bool uyvy = format.subtype == VideoSubtype::UYVY;
        const bool swapChroma = format.subtype == VideoSubtype::YVYU;
        for (int row = 0; row < h; ++row) {
            auto* out = reinterpret_cast<QRgb*>(image.scanLine(row));
            const uint8_t* in = data + stride * static_cast<size_t>(row);
            for (int x = 0; x < w; ++x) {
                const uint8_t* pair = in + static_cast<size_t>(x / 2) * 4;
                const int y = uyvy ? pair[1 + (x & 1) * 2] : pair[(x & 1) * 2];
                int u = uyvy ? pair[0] : pair[1];
                int v = uyvy ? pair[2] : pair[3];
                if (swapChroma)
                    std::swap(u, v);
                out[x] = yuvToRgb(y, u, v);
            }
        }
        return image;
    }
    case VideoSubtype::RGB24:
    case VideoSubtype::RGB32:
    case VideoSubtype::ARGB32:
    case VideoSubtype::RGB555:
    case VideoSubtype::RGB565: {
        const int bytes = format.subtype == VideoSubtype::RGB24 ? 3
            : (format.subtype == VideoSubtype::RGB555 || format.subtype == VideoSubtype::RGB565) ? 2 : 4;
        const size_t stride = stride4(ws * static_cast<size_t>(bytes));
        if (size < stride * hs)
            return {};
        const bool bottomUp = format.height > 0;
        for (int row = 0; row < h; ++row) {
            auto* out = reinterpret_cast<QRgb*>(image.scanLine(row));
            const uint8_t* in = data + stride * static_cast<size_t>(bottomUp ? h - 1 - row : row);
            for (int x = 0; x < w; ++x) {
                const uint8_t* px = in + static_cast<size_t>(x) * static_cast<size_t>(bytes);
                if (bytes >= 3) {
                    out[x] = qRgb(px[2], px[1], px[0]);
                } else {
                    const int v = px[0] | (px[1] << 8);
                    if (format.subtype == VideoSubtype::RGB565)
                        out[x] = qRgb(((v >> 11) & 31) << 3, ((v >> 5) & 63) << 2, (v & 31) << 3);
                    else
                        out[x] = qRgb(((v >> 10) & 31) << 3, ((v >> 5) & 31) << 3, (v & 31) << 3);
                }
            }
        }
        return image;
    }
    default:
        return {};
    }
}

} // namespace vantry::station::ui
