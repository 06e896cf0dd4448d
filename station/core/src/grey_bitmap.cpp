#include "station/core/grey_bitmap.h"

#include "station/core/video_format.h"

#include <algorithm>
#include <cstring>

namespace vantry::station {

namespace {

void put32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

void put16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

uint32_t get32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16)
        | (static_cast<uint32_t>(p[3]) << 24);
}

uint16_t get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

bool fail(std::string* error, const char* reason)
{
    if (error)
        *error = reason;
    return false;
}

} // namespace

GreyBitmap::GreyBitmap(int width, int height, uint8_t fillValue)
{
    if (width <= 0 || height <= 0 || width > kMaxPictureSide || height > kMaxPictureSide)
        return;
    width_ = width;
    height_ = height;
    pixels_.assign(stride() * static_cast<size_t>(height), fillValue);
}

void GreyBitmap::setResolution(int32_t xPelsPerMeter, int32_t yPelsPerMeter)
{
    xPelsPerMeter_ = xPelsPerMeter;
    yPelsPerMeter_ = yPelsPerMeter;
}

void GreyBitmap::fill(uint8_t value) { std::fill(pixels_.begin(), pixels_.end(), value); }

bool GreyBitmap::allPixelsEqual(uint8_t value) const
{
    const size_t rowStride = stride();
    for (int row = 0; row < height_; ++row) {
        const uint8_t* p = pixels_.data() + static_cast<size_t>(row) * rowStride;
        for (int x = 0; x < width_; ++x)
            if (p[x] != value)
                return false;
    }
    return true;
}

GreyBitmap GreyBitmap::rescaled(int newWidth, int newHeight) const
{
    GreyBitmap out(newWidth, newHeight, 0);
    if (out.isNull() || isNull())
        return out;
    out.setResolution(xPelsPerMeter_, yPelsPerMeter_);
    const uint32_t stepX = static_cast<uint32_t>(width_) * 256u / static_cast<uint32_t>(newWidth);
    const uint32_t stepY = static_cast<uint32_t>(height_) * 256u / static_cast<uint32_t>(newHeight);
    for (int y = 0; y < newHeight; ++y) {
        const size_t sy = std::min<size_t>((static_cast<uint32_t>(y) * stepY) >> 8, static_cast<size_t>(height_ - 1));
        const uint8_t* in = pixels_.data() + sy * stride();
        uint8_t* o = out.pixels_.data() + static_cast<size_t>(y) * out.stride();
        for (int x = 0; x < newWidth; ++x) {
            const size_t sx = std::min<size_t>((static_cast<uint32_t>(x) * stepX) >> 8, static_cast<size_t>(width_ - 1));
            o[x] = in[sx];
        }
    }
    return out;
}

std::vector<uint8_t> GreyBitmap::fileBytes() const
{
    std::vector<uint8_t> bytes(fileSize(), 0);
    uint8_t* h = bytes.data();
    put32(h + 0, static_cast<uint32_t>(kHeaderBytes));
    put32(h + 4, static_cast<uint32_t>(width_));
    put32(h + 8, static_cast<uint32_t>(height_));
    put16(h + 12, 1);
    put16(h + 14, 8);
    put32(h + 16, 0);
    put32(h + 20, static_cast<uint32_t>(pixels_.size()));
    put32(h + 24, static_cast<uint32_t>(xPelsPerMeter_));
    put32(h + 28, static_cast<uint32_t>(yPelsPerMeter_));
    put32(h + 32, 256);
    put32(h + 36, 0);
    uint8_t* palette = h + kHeaderBytes;
    for (int i = 0; i < 256; ++i) {
        palette[i * 4 + 0] = static_cast<uint8_t>(i);
        palette[i * 4 + 1] = static_cast<uint8_t>(i);
        palette[i * 4 + 2] = static_cast<uint8_t>(i);
        palette[i * 4 + 3] = 0;
    }
    if (!pixels_.empty())
        std::memcpy(palette + kPaletteBytes, pixels_.data(), pixels_.size());
    return bytes;
}

std::optional<GreyBitmap> GreyBitmap::fromFileBytes(std::span<const uint8_t> bytes, std::string* error)
{
    if (bytes.size() < kHeaderBytes) {
        fail(error, "shorter than a bitmap header");
        return std::nullopt;
    }
    const uint8_t* h = bytes.data();
    const uint32_t headerSize = get32(h);
    const int32_t width = static_cast<int32_t>(get32(h + 4));
    const int32_t height = static_cast<int32_t>(get32(h + 8));
    const uint16_t bitCount = get16(h + 14);
    const uint32_t compression = get32(h + 16);
    const uint32_t coloursUsed = get32(h + 32);
    if (headerSize < kHeaderBytes || headerSize > 124) {
        fail(error, "unknown bitmap header size");
        return std::nullopt;
    }
    if (bitCount != 8 || compression != 0) {
        fail(error, "not an uncompressed 8-bit bitmap");
        return std::nullopt;
    }
    if (width <= 0 || height <= 0 || width > kMaxPictureSide || height > kMaxPictureSide) {
        fail(error, "bitmap size out of range");
        return std::nullopt;
    }
    if (coloursUsed > 256) {
        fail(error, "palette larger than 256 entries");
        return std::nullopt;
    }
    const size_t paletteBytes = coloursUsed == 0 ? kPaletteBytes : 4u * coloursUsed;
    GreyBitmap bitmap(width, height, 0);
    const size_t pixelOffset = headerSize + paletteBytes;
    if (bytes.size() < pixelOffset || bytes.size() - pixelOffset < bitmap.pixels_.size()) {
        fail(error, "shorter than its pixels");
        return std::nullopt;
    }
    bitmap.setResolution(static_cast<int32_t>(get32(h + 24)), static_cast<int32_t>(get32(h + 28)));
    std::memcpy(bitmap.pixels_.data(), bytes.data() + pixelOffset, bitmap.pixels_.size());
    return bitmap;
}

} // namespace vantry::station
