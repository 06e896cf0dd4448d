// Packed input to the encoder's 4:2:0 planes. Chroma is taken from the first pixel of each
// pair in the first row of each pair of rows, never averaged.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codec/frame_planes.h"

namespace vantry::plugins::vxenc {

// Packed 4:2:2 Y0 U Y1 V, rows top-down; width and height even.
void yuy2ToPlanes(const uint8_t* src, ptrdiff_t srcStride, int width, int height,
                  const codec::VxFramePlanes& dst);

// 24-bit B, G, R; bottomUp reads the last row first so the picture comes out top-down.
// Full-range (JFIF) matrix on processors with MMX, studio-range otherwise.
void bgr24ToPlanes(const uint8_t* src, ptrdiff_t srcStride, int width, int height, bool bottomUp,
                   const codec::VxFramePlanes& dst);

// R, G, B to B, G, R for one row of width pixels.
void swapRedBlueRow(const uint8_t* src, uint8_t* dst, int width);

}  // namespace vantry::plugins::vxenc
