#pragma once
// Colour-space conversion between the capture formats, the codec's 4:2:0 pictures and
// 24-bit RGB, with the two BT.601 matrices: studio range (Y 16..235, tables in 13-bit
// fixed point) and full range (Y, Cb, Cr 0..255). Which matrix a caller uses follows the
// processor: full range where the processor has MMX, studio range elsewhere
// (displayMatrix()).
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "codec/frame_planes.h"

namespace vantry::codec {

enum class PixelFormat {
    Unknown,
    Rgb24,  // B, G, R
    Rgb32,  // B, G, R, X
    Argb32, // B, G, R, A
    Rgb565, // 16-bit little-endian words
    Rgb555,
    Yuy2,   // Y0 U Y1 V
    Yvyu,   // Y0 V Y1 U
    Uyvy,   // U Y0 V Y1
    I420,   // Y, U, V planes, chroma halved both ways
    Iyuv,   // the same layout as I420
    Yv12,   // Y, V, U
    Yvu9,   // Y, V, U, chroma quartered both ways
    If09,   // the same layout as YVU9
};

// The 40-byte bitmap information header that describes uncompressed pictures.
struct BitmapInfoHeader {
    uint32_t size = 40;
    int32_t width = 0;
    int32_t height = 0; // RGB: positive = bottom-up rows, negative = top-down
    uint16_t planes = 1;
    uint16_t bitCount = 0;
    uint32_t compression = 0; // 0 = uncompressed RGB, 3 = bit fields, else a four-character code
    uint32_t sizeImage = 0;
    int32_t xPelsPerMeter = 0;
    int32_t yPelsPerMeter = 0;
    uint32_t clrUsed = 0;
    uint32_t clrImportant = 0;
};
static_assert(sizeof(BitmapInfoHeader) == 40);

constexpr uint32_t fourcc(char a, char b, char c, char d)
{
    return static_cast<uint32_t>(static_cast<uint8_t>(a)) | (static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8) |
           (static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16) | (static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24);
}

// The format a header describes: its compression code and, for RGB, its bit count.
PixelFormat pixelFormatOf(const BitmapInfoHeader& header);

enum ColourError : int {
    kColourOk = 0,
    kColourNoMemory = 1,
    kColourUnsupportedFormat = 2,
    kColourBadSize = 3, // dimensions the format cannot have, or a buffer too small for them
};

enum class ColourMatrix { Studio, FullRange };
enum class RowOrder { TopDown, BottomUp };

// Full range where the processor has MMX, otherwise studio range.
ColourMatrix displayMatrix();

// Bytes per row of packed pictures: padded to a multiple of 4.
inline size_t paddedPitch(size_t bytes) { return (bytes + 3) & ~size_t{3}; }

// One converter per user; its tables are built by the constructor.
class ColourConverter {
public:
    ColourConverter();

    // 24-bit RGB, rows padded to 4 bytes. YUV sources (top-down) come out bottom-up; RGB
    // sources keep their row order. Returns 1, or 0 with lastError() set; the destination
    // is untouched on failure.
    int toRgb24(const BitmapInfoHeader& source, const uint8_t* data, size_t dataBytes, uint8_t* out,
                size_t outBytes);

    // 8-bit luma, rows padded to 4 bytes, in the orientation of a bottom-up DIB for YUV
    // sources (RGB sources keep their order). Returns 1 or 0 as toRgb24().
    int toLuma8(const BitmapInfoHeader& source, const uint8_t* data, size_t dataBytes, uint8_t* out,
                size_t outBytes);

    // A 24-bit DIB for the source's size: the 40-byte header followed by the pixels.
    // Null with error 1 when memory is short (or error 3 for an impossible size).
    std::unique_ptr<uint8_t[]> createDib24(const BitmapInfoHeader& source, size_t* totalBytes = nullptr);

    // Bottom-up RGB (RGB24, RGB32, ARGB32, RGB555, RGB565) to a top-down 4:2:0 picture
    // with the studio matrix; chroma from the first pixel of each pair in the first row
    // of each row pair. Width and height must be even. Returns 1 or 0.
    int rgbToI420(const BitmapInfoHeader& source, const uint8_t* data, size_t dataBytes, const VxFramePlanes& out);

    // Bytes that a picture of this header needs (0 for an unknown format or bad size).
    static size_t requiredBytes(const BitmapInfoHeader& header);

    int lastError() const { return lastError_; }

    // The studio-range rules, one pixel.
    void studioToRgb(int y, int u, int v, uint8_t& r, uint8_t& g, uint8_t& b) const;
    void studioFromRgb(int r, int g, int b, uint8_t& y, uint8_t& u, uint8_t& v) const;
    uint8_t studioLuma(int r, int g, int b) const;

    // The codec filters' and the viewer's conversions between 4:2:0 planes and RGB.
    // Rows of dst are written top-down or bottom-up as order says; dstPitch is the byte
    // distance between rows in memory.
    void i420ToRgb24(const VxFramePlanes& in, int width, int height, uint8_t* dst, ptrdiff_t dstPitch,
                     RowOrder order, ColourMatrix matrix) const;
    // Full range only (offered only where the processor has MMX).
    static void i420ToRgb32(const VxFramePlanes& in, int width, int height, uint8_t* dst, ptrdiff_t dstPitch,
                            RowOrder order);
    static void i420ToRgb565(const VxFramePlanes& in, int width, int height, uint8_t* dst, ptrdiff_t dstPitch,
                             RowOrder order);
    // RGB24 into 4:2:0 (the encoder filter's input): bottom-up input is read from its last
    // row so the picture comes out top-down. Full range with the processor's MMX form,
    // else the plain 10-bit form. Width and height must be even.
    static void rgb24ToI420(const uint8_t* src, ptrdiff_t srcPitch, int width, int height, RowOrder srcOrder,
                            const VxFramePlanes& out, ColourMatrix matrix);
    // Copies a picture into one contiguous I420 (IYUV) buffer: Y, then U, then V, without
    // row padding. Returns 1, or 0 if dstBytes is less than width * height * 3 / 2.
    static int copyToI420(const VxFramePlanes& in, int width, int height, uint8_t* dst, size_t dstBytes);
    // Packed YUY2 into 4:2:0; chroma of each row pair from its upper row. Packed YUV is
    // top-down whatever the sign of its header's height, so rows are always read in order.
    static void yuy2ToI420(const uint8_t* src, ptrdiff_t srcPitch, int width, int height, const VxFramePlanes& out);

    struct StudioTables {
        std::array<int32_t, 256> yToRgb, uToB, uToG, vToG, vToR;
        std::array<int32_t, 256> rToY, gToY, bToY, rToU, gToU, bToU, rToV, gToV, bToV;
    };
    const StudioTables& tables() const { return tables_; }

private:
    StudioTables tables_{};
    int lastError_ = kColourOk;
};

// Full-range rules, one pixel (the reference for every full-range conversion).
void fullRangeToRgb(int y, int u, int v, uint8_t& r, uint8_t& g, uint8_t& b);
// redWeight: 9797, or 9798 in the encoder filter's bottom-up RGB24 input.
void fullRangeFromRgb(int r, int g, int b, uint8_t& y, uint8_t& u, uint8_t& v, int redWeight = 9797);
// The plain 10-bit form of the encoder filter's RGB24 input.
void plainFromRgb(int r, int g, int b, uint8_t& y, uint8_t& u, uint8_t& v);

} // namespace vantry::codec
