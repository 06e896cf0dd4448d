#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vantry::station {

// An 8-bit grey device-independent bitmap: the layout of the detector's luminance pictures
// and of the detection mask. Rows are bottom row first, each padded to a multiple of 4 bytes.
// Its file form is the 40-byte header, the 256-entry grey palette, then the pixels.
class GreyBitmap {
public:
    static constexpr size_t kHeaderBytes = 40;
    static constexpr size_t kPaletteBytes = 1024;

    GreyBitmap() = default;
    GreyBitmap(int width, int height, uint8_t fill);

    bool isNull() const { return width_ <= 0 || height_ <= 0; }
    int width() const { return width_; }
    int height() const { return height_; }
    size_t stride() const { return static_cast<size_t>((width_ + 3) & ~3); }
    uint8_t* pixels() { return pixels_.data(); }
    const uint8_t* pixels() const { return pixels_.data(); }
    size_t pixelBytes() const { return pixels_.size(); }
    uint8_t& at(int x, int row) { return pixels_[static_cast<size_t>(row) * stride() + static_cast<size_t>(x)]; }

    int32_t xPelsPerMeter() const { return xPelsPerMeter_; }
    int32_t yPelsPerMeter() const { return yPelsPerMeter_; }
    void setResolution(int32_t xPelsPerMeter, int32_t yPelsPerMeter);

    void fill(uint8_t value);
    // True when every picture pixel (padding aside) has this value.
    bool allPixelsEqual(uint8_t value) const;

    // Nearest-neighbour resampling with 8.8 fixed-point steps of old size x 256 / new size.
    GreyBitmap rescaled(int newWidth, int newHeight) const;

    // The file form: header (image size = stride x height, 256 colours used), palette, pixels.
    std::vector<uint8_t> fileBytes() const;
    size_t fileSize() const { return kHeaderBytes + kPaletteBytes + pixels_.size(); }

    // Parses a file form. Accepts 8 bits per pixel, uncompressed, bottom-up, a header of
    // 40 to 124 bytes, at most 256 palette entries and sides up to kMaxPictureSide.
    // On failure returns nothing and, when error is given, a short reason.
    static std::optional<GreyBitmap> fromFileBytes(std::span<const uint8_t> bytes, std::string* error = nullptr);

    friend bool operator==(const GreyBitmap&, const GreyBitmap&) = default;

private:
    int width_ = 0;
    int height_ = 0;
    int32_t xPelsPerMeter_ = 0;
    int32_t yPelsPerMeter_ = 0;
    std::vector<uint8_t> pixels_;
};

} // namespace vantry::station
