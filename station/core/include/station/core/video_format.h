#pragma once

#include <cstddef>
#include <cstdint>

namespace vantry::station {

// The picture layouts a capture device may deliver, named as the stored compression codes
// name them. Every frame in a frame store is in the canonical layout of its subtype: planes
// packed one after another, rows padded to 4 bytes.
enum class VideoSubtype {
    Unknown,
    I420,
    IYUV,
    YV12,
    YVU9,
    IF09,
    YUY2,
    YVYU,
    UYVY,
    RGB24,
    RGB32,
    ARGB32,
    RGB555,
    RGB565,
};

constexpr uint32_t makeFourcc(char a, char b, char c, char d)
{
    return static_cast<uint32_t>(static_cast<uint8_t>(a)) | (static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8)
        | (static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16) | (static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24);
}

// Compression code of uncompressed RGB in a bitmap header; the bit count tells the layout.
inline constexpr uint32_t kCompressionRgb = 0;

// A frame's picture format, with the meaning of a bitmap header: for the RGB subtypes a
// positive height means bottom-up rows and a negative one top-down rows; the YUV subtypes
// are always top-down.
struct FrameFormat {
    VideoSubtype subtype = VideoSubtype::Unknown;
    int width = 0;
    int height = 0;
    int bitCount = 0;
    uint32_t compression = 0;
    uint32_t imageSize = 0;

    int absHeight() const { return height < 0 ? -height : height; }
    bool isValid() const { return subtype != VideoSubtype::Unknown && width > 0 && height != 0; }
    friend bool operator==(const FrameFormat&, const FrameFormat&) = default;
};

// Largest picture side we accept from a device or a file; keeps every size computation
// far from overflow.
inline constexpr int kMaxPictureSide = 8192;

const char* subtypeName(VideoSubtype subtype);
uint32_t compressionOf(VideoSubtype subtype);
int bitCountOf(VideoSubtype subtype);
bool isRgb(VideoSubtype subtype);
// The stored compression code (and, for uncompressed RGB, the bit count) as a subtype.
VideoSubtype subtypeFromCompression(uint32_t compression, int bitCount = 24);
// I420 is reported as IYUV (the same layout); every other subtype as it is.
VideoSubtype reportedSubtype(VideoSubtype subtype);

// The canonical format of a subtype at a size (height > 0 means the natural row order:
// top-down for YUV, bottom-up for RGB); imageSize is the full picture.
FrameFormat makeFrameFormat(VideoSubtype subtype, int width, int height);

// Bytes of a row of the 8-bit luminance picture (and of the mask): width rounded up to 4.
inline constexpr int lumaStride(int width) { return (width + 3) & ~3; }

// Bytes a frame must hold at least for its luminance to be read: the whole picture for
// packed layouts, the luma plane for planar ones; 0 for an unknown or invalid format.
size_t lumaSourceBytes(const FrameFormat& format);

// Set picture format (camera options): the subtypes a user may choose, the width range.
bool isSelectableSubtype(VideoSubtype subtype);
inline constexpr int kMinCaptureWidth = 250;
inline constexpr int kMaxCaptureWidth = 720;

} // namespace vantry::station
