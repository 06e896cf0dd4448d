#pragma once
// Kernel table of the colour conversions that run on every displayed picture: a row of
// 4:2:0 samples to full-range RGB. Filled with the plain forms, then overridden by
// faster variants as the CPU-feature mask allows; every variant gives exactly the plain
// form's bytes (the colour kernel checker test compares them).
#include <cstdint>

namespace vantry::codec {

// One row: width luma samples, (width + 1) / 2 chroma samples each; dst receives B, G, R
// (and, for 32 bits, 255) per pixel.
using YuvRowToRgbFn = void (*)(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst, int width);

struct ColourKernels {
    YuvRowToRgbFn rowToRgb24FullRange = nullptr;
    YuvRowToRgbFn rowToRgb32FullRange = nullptr;
};

void initColourKernels(ColourKernels& table, uint32_t cpuMask);

// The process-wide table, chosen once from the detected features.
const ColourKernels& colourKernels();

} // namespace vantry::codec
