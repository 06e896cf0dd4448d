#include "codec/colour_converter.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "codec/colour_kernels.h"
#include "codec/cpu_features.h"

namespace vantry::codec {
namespace {

constexpr int32_t kMaxDimension = 16384;

inline uint8_t clampByte(int value) { return static_cast<uint8_t>(std::clamp(value, 0, 255)); }

bool isRgb(PixelFormat f)
{
    return f == PixelFormat::Rgb24 || f == PixelFormat::Rgb32 || f == PixelFormat::Argb32 || f == PixelFormat::Rgb565 ||
           f == PixelFormat::Rgb555;
}
bool isPacked422(PixelFormat f) { return f == PixelFormat::Yuy2 || f == PixelFormat::Yvyu || f == PixelFormat::Uyvy; }
bool isPlanar410(PixelFormat f) { return f == PixelFormat::Yvu9 || f == PixelFormat::If09; }

int bytesPerPixel(PixelFormat f)
{
    switch (f) {
    case PixelFormat::Rgb24: return 3;
    case PixelFormat::Rgb32:
    case PixelFormat::Argb32: return 4;
    default: return 2; // 16-bit RGB and packed 4:2:2
    }
}

// Geometry of a source picture in memory.
struct Layout {
    PixelFormat format = PixelFormat::Unknown;
    int width = 0;
    int height = 0;      // rows, always positive
    bool rgbTopDown = false; // RGB with a negative header height
    size_t pitch = 0;    // packed rows or the luma plane
    size_t chromaPitch = 0;
    size_t chromaRows = 0;
    size_t totalBytes = 0;
};

// Fills layout; returns a ColourError.
int describe(const BitmapInfoHeader& header, Layout& layout)
{
    layout.format = pixelFormatOf(header);
    if (layout.format == PixelFormat::Unknown)
        return kColourUnsupportedFormat;
    const int64_t height = header.height < 0 ? -int64_t{header.height} : int64_t{header.height};
    if (header.width <= 0 || header.width > kMaxDimension || height == 0 || height > kMaxDimension)
        return kColourBadSize;
    layout.width = header.width;
    layout.height = static_cast<int>(height);
    const auto w = static_cast<size_t>(layout.width);
    const auto h = static_cast<size_t>(layout.height);
    if (isRgb(layout.format)) {
        layout.rgbTopDown = header.height < 0;
        layout.pitch = paddedPitch(w * static_cast<size_t>(bytesPerPixel(layout.format)));
        layout.totalBytes = layout.pitch * h;
    } else if (isPacked422(layout.format)) {
        if (w % 2)
            return kColourBadSize;
        layout.pitch = paddedPitch(w * 2);
        layout.totalBytes = layout.pitch * h;
    } else {
        const size_t factor = isPlanar410(layout.format) ? 4 : 2;
        if (w % factor || h % factor)
            return kColourBadSize;
        layout.pitch = paddedPitch(w);
        layout.chromaPitch = paddedPitch(w / factor);
        layout.chromaRows = h / factor;
        layout.totalBytes = layout.pitch * h + 2 * layout.chromaPitch * layout.chromaRows;
    }
    return kColourOk;
}

// The three bytes offsets of Y0, U, Y1, V in a packed 4:2:2 pixel pair.
struct PackedOrder {
    int y0, u, y1, v;
};
PackedOrder packedOrder(PixelFormat f)
{
    switch (f) {
    case PixelFormat::Yvyu: return {0, 3, 2, 1};
    case PixelFormat::Uyvy: return {1, 0, 3, 2};
    default: return {0, 1, 2, 3};
    }
}

// Widens 16-bit RGB by shifting, without replicating bits (white 565 is 248, 252, 248).
inline void widen16(PixelFormat f, const uint8_t* p, int& r, int& g, int& b)
{
    const int word = p[0] | (p[1] << 8);
    if (f == PixelFormat::Rgb565) {
        r = (word >> 11) << 3;
        g = ((word >> 5) & 63) << 2;
    } else {
        r = ((word >> 10) & 31) << 3;
        g = ((word >> 5) & 31) << 3;
    }
    b = (word & 31) << 3;
}

inline void readRgb(PixelFormat f, const uint8_t* row, int x, int& r, int& g, int& b)
{
    if (f == PixelFormat::Rgb565 || f == PixelFormat::Rgb555) {
        widen16(f, row + 2 * x, r, g, b);
        return;
    }
    const uint8_t* p = row + x * bytesPerPixel(f);
    b = p[0];
    g = p[1];
    r = p[2];
}

// Chroma planes of a planar source: which one is U.
struct PlanarSource {
    const uint8_t* y;
    const uint8_t* u;
    const uint8_t* v;
};
PlanarSource planarSource(const Layout& l, const uint8_t* data)
{
    const uint8_t* first = data + l.pitch * static_cast<size_t>(l.height);
    const uint8_t* second = first + l.chromaPitch * l.chromaRows;
    if (l.format == PixelFormat::I420 || l.format == PixelFormat::Iyuv)
        return {data, first, second};
    return {data, second, first}; // YV12, YVU9, IF09: V first
}

inline void storeRgb(uint8_t* p, uint8_t r, uint8_t g, uint8_t b)
{
    p[0] = b;
    p[1] = g;
    p[2] = r;
}

template <RowOrder Order>
inline uint8_t* outputRow(uint8_t* dst, ptrdiff_t pitch, int height, int y)
{
    return dst + (Order == RowOrder::TopDown ? y : height - 1 - y) * pitch;
}

} // namespace

PixelFormat pixelFormatOf(const BitmapInfoHeader& header)
{
    switch (header.compression) {
    case 0: // uncompressed RGB
        if (header.bitCount == 24)
            return PixelFormat::Rgb24;
        if (header.bitCount == 32)
            return PixelFormat::Rgb32;
        if (header.bitCount == 16)
            return PixelFormat::Rgb555;
        return PixelFormat::Unknown;
    case 3: // bit fields: the 16-bit form is 5-6-5, the 32-bit form carries alpha
        if (header.bitCount == 16)
            return PixelFormat::Rgb565;
        if (header.bitCount == 32)
            return PixelFormat::Argb32;
        return PixelFormat::Unknown;
    case fourcc('Y', 'U', 'Y', '2'): return PixelFormat::Yuy2;
    case fourcc('Y', 'V', 'Y', 'U'): return PixelFormat::Yvyu;
    case fourcc('U', 'Y', 'V', 'Y'): return PixelFormat::Uyvy;
    case fourcc('I', '4', '2', '0'): return PixelFormat::I420;
    case fourcc('I', 'Y', 'U', 'V'): return PixelFormat::Iyuv;
    case fourcc('Y', 'V', '1', '2'): return PixelFormat::Yv12;
    case fourcc('Y', 'V', 'U', '9'): return PixelFormat::Yvu9;
    case fourcc('I', 'F', '0', '9'): return PixelFormat::If09;
    default: return PixelFormat::Unknown;
    }
}

ColourMatrix displayMatrix() { return cpuHasMmx() ? ColourMatrix::FullRange : ColourMatrix::Studio; }

ColourConverter::ColourConverter()
{
    for (int v = 0; v < 256; ++v) {
        const auto i = static_cast<size_t>(v);
        tables_.yToRgb[i] = 9535 * (v - 16);
        tables_.uToB[i] = 16531 * (v - 128);
        tables_.uToG[i] = 3203 * (v - 128);
        tables_.vToG[i] = 6660 * (v - 128);
        tables_.vToR[i] = 13074 * (v - 128);
        tables_.rToY[i] = 2105 * v;
        tables_.gToY[i] = 4129 * v;
        tables_.bToY[i] = 803 * v;
        tables_.rToU[i] = 1212 * v;
        tables_.gToU[i] = 2384 * v;
        tables_.bToU[i] = 3596 * v;
        tables_.rToV[i] = 3596 * v;
        tables_.gToV[i] = 3015 * v;
        tables_.bToV[i] = 582 * v;
    }
}

void ColourConverter::studioToRgb(int y, int u, int v, uint8_t& r, uint8_t& g, uint8_t& b) const
{
    const int32_t luma = tables_.yToRgb[static_cast<uint8_t>(y)];
    b = clampByte((luma + tables_.uToB[static_cast<uint8_t>(u)]) >> 13);
    g = clampByte((luma - tables_.uToG[static_cast<uint8_t>(u)] - tables_.vToG[static_cast<uint8_t>(v)]) >> 13);
    r = clampByte((luma + tables_.vToR[static_cast<uint8_t>(v)]) >> 13);
}

uint8_t ColourConverter::studioLuma(int r, int g, int b) const
{
    return clampByte(((tables_.rToY[static_cast<uint8_t>(r)] + tables_.gToY[static_cast<uint8_t>(g)] +
                       tables_.bToY[static_cast<uint8_t>(b)]) >> 13) + 16);
}

void ColourConverter::studioFromRgb(int r, int g, int b, uint8_t& y, uint8_t& u, uint8_t& v) const
{
    const auto R = static_cast<uint8_t>(r), G = static_cast<uint8_t>(g), B = static_cast<uint8_t>(b);
    y = studioLuma(R, G, B);
    u = clampByte(((tables_.bToU[B] - tables_.rToU[R] - tables_.gToU[G]) >> 13) + 128);
    v = clampByte(((tables_.rToV[R] - tables_.gToV[G] - tables_.bToV[B]) >> 13) + 128);
}

void fullRangeToRgb(int y, int u, int v, uint8_t& r, uint8_t& g, uint8_t& b)
{
    // Chroma scaled by 4 and multiplied keeping the high 16 bits, as 16-bit vector
    // arithmetic does: coefficients over 16384.
    const int du = (u - 128) * 4;
    const int dv = (v - 128) * 4;
    r = clampByte(y + ((dv * 22970) >> 16));
    g = clampByte(y - ((du * 5638) >> 16) - ((dv * 11701) >> 16));
    b = clampByte(y + ((du * 29032) >> 16));
}

void fullRangeFromRgb(int r, int g, int b, uint8_t& y, uint8_t& u, uint8_t& v, int redWeight)
{
    y = clampByte((redWeight * r + 19235 * g + 3736 * b) >> 15);
    u = clampByte(((16384 * b - 10846 * g - 5538 * r) >> 15) + 128);
    v = clampByte(((16384 * r - 13730 * g - 2654 * b) >> 15) + 128);
}

void plainFromRgb(int r, int g, int b, uint8_t& y, uint8_t& u, uint8_t& v)
{
    y = clampByte(((263 * r + 516 * g + 100 * b) >> 10) + 16);
    u = clampByte(((450 * b - 152 * r - 298 * g) >> 10) + 128);
    // The full BT.601 row (0.439 R - 0.368 G - 0.071 B): blue must count too.
    v = clampByte(((450 * r - 377 * g - 73 * b) >> 10) + 128);
}

size_t ColourConverter::requiredBytes(const BitmapInfoHeader& header)
{
    Layout layout;
    return describe(header, layout) == kColourOk ? layout.totalBytes : 0;
}

int ColourConverter::toRgb24(const BitmapInfoHeader& source, const uint8_t* data, size_t dataBytes, uint8_t* out,
                             size_t outBytes)
{
    Layout l;
    lastError_ = describe(source, l);
    if (lastError_ != kColourOk)
        return 0;
    const size_t outPitch = paddedPitch(3 * static_cast<size_t>(l.width));
    if (!data || !out || dataBytes < l.totalBytes || outBytes < outPitch * static_cast<size_t>(l.height)) {
        lastError_ = kColourBadSize;
        return 0;
    }
    const int w = l.width;
    const int h = l.height;
    if (isRgb(l.format)) {
        // RGB keeps its row order.
        for (int row = 0; row < h; ++row) {
            const uint8_t* src = data + static_cast<size_t>(row) * l.pitch;
            uint8_t* dst = out + static_cast<size_t>(row) * outPitch;
            if (l.format == PixelFormat::Rgb24) {
                std::memcpy(dst, src, 3 * static_cast<size_t>(w));
                continue;
            }
            for (int x = 0; x < w; ++x) {
                int r = 0, g = 0, b = 0;
                readRgb(l.format, src, x, r, g, b);
                storeRgb(dst + 3 * x, static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b));
            }
        }
        return 1;
    }
    // YUV sources are top-down; the output is bottom-up.
    for (int y = 0; y < h; ++y) {
        uint8_t* dst = out + static_cast<size_t>(h - 1 - y) * outPitch;
        if (isPacked422(l.format)) {
            const PackedOrder o = packedOrder(l.format);
            const uint8_t* src = data + static_cast<size_t>(y) * l.pitch;
            for (int x = 0; x < w; x += 2, src += 4) {
                uint8_t r, g, b;
                studioToRgb(src[o.y0], src[o.u], src[o.v], r, g, b);
                storeRgb(dst + 3 * x, r, g, b);
                studioToRgb(src[o.y1], src[o.u], src[o.v], r, g, b);
                storeRgb(dst + 3 * x + 3, r, g, b);
            }
            continue;
        }
        const PlanarSource p = planarSource(l, data);
        const int shift = isPlanar410(l.format) ? 2 : 1;
        const uint8_t* luma = p.y + static_cast<size_t>(y) * l.pitch;
        const uint8_t* u = p.u + static_cast<size_t>(y >> shift) * l.chromaPitch;
        const uint8_t* v = p.v + static_cast<size_t>(y >> shift) * l.chromaPitch;
        for (int x = 0; x < w; ++x) {
            uint8_t r, g, b;
            studioToRgb(luma[x], u[x >> shift], v[x >> shift], r, g, b);
            storeRgb(dst + 3 * x, r, g, b);
        }
    }
    return 1;
}

int ColourConverter::toLuma8(const BitmapInfoHeader& source, const uint8_t* data, size_t dataBytes, uint8_t* out,
                             size_t outBytes)
{
    Layout l;
    lastError_ = describe(source, l);
    if (lastError_ != kColourOk)
        return 0;
    const size_t outPitch = paddedPitch(static_cast<size_t>(l.width));
    if (!data || !out || dataBytes < l.totalBytes || outBytes < outPitch * static_cast<size_t>(l.height)) {
        lastError_ = kColourBadSize;
        return 0;
    }
    const int w = l.width;
    const int h = l.height;
    for (int row = 0; row < h; ++row) {
        const uint8_t* src = data + static_cast<size_t>(row) * l.pitch;
        if (isRgb(l.format)) {
            uint8_t* dst = out + static_cast<size_t>(row) * outPitch;
            for (int x = 0; x < w; ++x) {
                int r = 0, g = 0, b = 0;
                readRgb(l.format, src, x, r, g, b);
                dst[x] = studioLuma(r, g, b);
            }
            continue;
        }
        uint8_t* dst = out + static_cast<size_t>(h - 1 - row) * outPitch;
        if (isPacked422(l.format)) {
            const PackedOrder o = packedOrder(l.format);
            for (int x = 0; x < w; x += 2) {
                dst[x] = src[2 * x + o.y0];
                dst[x + 1] = src[2 * x + o.y1];
            }
        } else {
            std::memcpy(dst, src, static_cast<size_t>(w));
        }
    }
    return 1;
}

std::unique_ptr<uint8_t[]> ColourConverter::createDib24(const BitmapInfoHeader& source, size_t* totalBytes)
{
    if (totalBytes)
        *totalBytes = 0;
    const int64_t height = source.height < 0 ? -int64_t{source.height} : int64_t{source.height};
    if (source.width <= 0 || source.width > kMaxDimension || height == 0 || height > kMaxDimension) {
        lastError_ = kColourBadSize;
        return nullptr;
    }
    BitmapInfoHeader header;
    header.width = source.width;
    header.height = source.height;
    header.planes = 1;
    header.bitCount = 24;
    header.compression = 0;
    header.sizeImage = static_cast<uint32_t>(paddedPitch(3 * static_cast<size_t>(source.width)) *
                                             static_cast<size_t>(height));
    header.xPelsPerMeter = source.xPelsPerMeter;
    header.yPelsPerMeter = source.yPelsPerMeter;
    header.clrUsed = source.clrUsed;
    header.clrImportant = source.clrImportant;
    const size_t bytes = sizeof(BitmapInfoHeader) + header.sizeImage;
    std::unique_ptr<uint8_t[]> dib(new (std::nothrow) uint8_t[bytes]);
    if (!dib) {
        lastError_ = kColourNoMemory;
        return nullptr;
    }
    std::memcpy(dib.get(), &header, sizeof header);
    std::memset(dib.get() + sizeof header, 0, header.sizeImage);
    lastError_ = kColourOk;
    if (totalBytes)
        *totalBytes = bytes;
    return dib;
}

int ColourConverter::rgbToI420(const BitmapInfoHeader& source, const uint8_t* data, size_t dataBytes,
                               const VxFramePlanes& out)
{
    Layout l;
    lastError_ = describe(source, l);
    if (lastError_ != kColourOk)
        return 0;
    if (!isRgb(l.format)) {
        lastError_ = kColourUnsupportedFormat;
        return 0;
    }
    if (!data || !out.y || !out.u || !out.v || dataBytes < l.totalBytes || l.width % 2 || l.height % 2 ||
        out.stride < l.width) {
        lastError_ = kColourBadSize;
        return 0;
    }
    const ptrdiff_t chromaStride = out.stride / 2;
    for (int y = 0; y < l.height; ++y) {
        const int memoryRow = l.rgbTopDown ? y : l.height - 1 - y;
        const uint8_t* src = data + static_cast<size_t>(memoryRow) * l.pitch;
        uint8_t* luma = out.y + y * static_cast<ptrdiff_t>(out.stride);
        uint8_t* u = out.u + (y / 2) * chromaStride;
        uint8_t* v = out.v + (y / 2) * chromaStride;
        for (int x = 0; x < l.width; ++x) {
            int r = 0, g = 0, b = 0;
            readRgb(l.format, src, x, r, g, b);
            if ((y & 1) == 0 && (x & 1) == 0)
                studioFromRgb(r, g, b, luma[x], u[x / 2], v[x / 2]);
            else
                luma[x] = studioLuma(r, g, b);
        }
    }
    return 1;
}

namespace {

template <RowOrder Order>
void studioRows(const ColourConverter& converter, const VxFramePlanes& in, int width, int height, uint8_t* dst,
                ptrdiff_t dstPitch)
{
    const ptrdiff_t chromaStride = in.stride / 2;
    for (int y = 0; y < height; ++y) {
        const uint8_t* luma = in.y + y * static_cast<ptrdiff_t>(in.stride);
        const uint8_t* u = in.u + (y / 2) * chromaStride;
        const uint8_t* v = in.v + (y / 2) * chromaStride;
        uint8_t* out = outputRow<Order>(dst, dstPitch, height, y);
        for (int x = 0; x < width; ++x, out += 3)
            converter.studioToRgb(luma[x], u[x / 2], v[x / 2], out[2], out[1], out[0]);
    }
}

void fullRangeRows(YuvRowToRgbFn row, const VxFramePlanes& in, int width, int height, uint8_t* dst,
                   ptrdiff_t dstPitch, RowOrder order)
{
    const ptrdiff_t chromaStride = in.stride / 2;
    for (int y = 0; y < height; ++y) {
        uint8_t* out = dst + (order == RowOrder::TopDown ? y : height - 1 - y) * dstPitch;
        row(in.y + y * static_cast<ptrdiff_t>(in.stride), in.u + (y / 2) * chromaStride,
            in.v + (y / 2) * chromaStride, out, width);
    }
}

} // namespace

void ColourConverter::i420ToRgb24(const VxFramePlanes& in, int width, int height, uint8_t* dst, ptrdiff_t dstPitch,
                                  RowOrder order, ColourMatrix matrix) const
{
    if (matrix == ColourMatrix::FullRange)
        fullRangeRows(colourKernels().rowToRgb24FullRange, in, width, height, dst, dstPitch, order);
    else if (order == RowOrder::TopDown)
        studioRows<RowOrder::TopDown>(*this, in, width, height, dst, dstPitch);
    else
        studioRows<RowOrder::BottomUp>(*this, in, width, height, dst, dstPitch);
}

void ColourConverter::i420ToRgb32(const VxFramePlanes& in, int width, int height, uint8_t* dst, ptrdiff_t dstPitch,
                                  RowOrder order)
{
    fullRangeRows(colourKernels().rowToRgb32FullRange, in, width, height, dst, dstPitch, order);
}

void ColourConverter::i420ToRgb565(const VxFramePlanes& in, int width, int height, uint8_t* dst, ptrdiff_t dstPitch,
                                   RowOrder order)
{
    const ptrdiff_t chromaStride = in.stride / 2;
    for (int y = 0; y < height; ++y) {
        const uint8_t* luma = in.y + y * static_cast<ptrdiff_t>(in.stride);
        const uint8_t* u = in.u + (y / 2) * chromaStride;
        const uint8_t* v = in.v + (y / 2) * chromaStride;
        uint8_t* out = dst + (order == RowOrder::TopDown ? y : height - 1 - y) * dstPitch;
        for (int x = 0; x < width; ++x, out += 2) {
            uint8_t r, g, b;
            fullRangeToRgb(luma[x], u[x / 2], v[x / 2], r, g, b);
            const int word = ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
            out[0] = static_cast<uint8_t>(word);
            out[1] = static_cast<uint8_t>(word >> 8);
        }
    }
}

void ColourConverter::rgb24ToI420(const uint8_t* src, ptrdiff_t srcPitch, int width, int height, RowOrder srcOrder,
                                  const VxFramePlanes& out, ColourMatrix matrix)
{
    const ptrdiff_t chromaStride = out.stride / 2;
    const int redWeight = srcOrder == RowOrder::BottomUp ? 9798 : 9797;
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = src + (srcOrder == RowOrder::TopDown ? y : height - 1 - y) * srcPitch;
        uint8_t* luma = out.y + y * static_cast<ptrdiff_t>(out.stride);
        uint8_t* u = out.u + (y / 2) * chromaStride;
        uint8_t* v = out.v + (y / 2) * chromaStride;
        const bool chromaRow = (y & 1) == 0;
        for (int x = 0; x < width; ++x) {
            const uint8_t* p = row + 3 * x;
            uint8_t cy, cu, cv;
            if (matrix == ColourMatrix::FullRange)
                fullRangeFromRgb(p[2], p[1], p[0], cy, cu, cv, redWeight);
            else
                plainFromRgb(p[2], p[1], p[0], cy, cu, cv);
            luma[x] = cy;
            if (chromaRow && (x & 1) == 0) {
                u[x / 2] = cu;
                v[x / 2] = cv;
            }
        }
    }
}

int ColourConverter::copyToI420(const VxFramePlanes& in, int width, int height, uint8_t* dst, size_t dstBytes)
{
    if (width <= 0 || height <= 0 || width % 2 || height % 2 || !dst || !in.y || !in.u || !in.v)
        return 0;
    const auto w = static_cast<size_t>(width);
    const auto h = static_cast<size_t>(height);
    if (dstBytes < w * h * 3 / 2)
        return 0;
    const auto stride = static_cast<size_t>(in.stride);
    for (size_t y = 0; y < h; ++y)
        std::memcpy(dst + y * w, in.y + y * stride, w);
    uint8_t* out = dst + w * h;
    for (const uint8_t* plane : {in.u, in.v})
        for (size_t y = 0; y < h / 2; ++y, out += w / 2)
            std::memcpy(out, plane + y * (stride / 2), w / 2);
    return 1;
}

void ColourConverter::yuy2ToI420(const uint8_t* src, ptrdiff_t srcPitch, int width, int height,
                                 const VxFramePlanes& out)
{
    const ptrdiff_t chromaStride = out.stride / 2;
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = src + y * srcPitch;
        uint8_t* luma = out.y + y * static_cast<ptrdiff_t>(out.stride);
        for (int x = 0; x < width; ++x)
            luma[x] = row[2 * x];
        if (y & 1)
            continue;
        uint8_t* u = out.u + (y / 2) * chromaStride;
        uint8_t* v = out.v + (y / 2) * chromaStride;
        for (int x = 0; x + 1 < width; x += 2) {
            u[x / 2] = row[2 * x + 1];
            v[x / 2] = row[2 * x + 3];
        }
    }
}

} // namespace vantry::codec
