#include "input_conversion.h"

#include <algorithm>

#include "codec/cpu_features.h"

namespace vantry::plugins::vxenc {
namespace {

uint8_t clampByte(int value) { return static_cast<uint8_t>(std::clamp(value, 0, 255)); }

// Full-range matrix, 15-bit fixed point.
struct FullRange {
  static uint8_t y(int r, int g, int b) { return clampByte((9797 * r + 19235 * g + 3736 * b) >> 15); }
  static uint8_t u(int r, int g, int b) { return clampByte(((16384 * b - 10846 * g - 5538 * r) >> 15) + 128); }
  static uint8_t v(int r, int g, int b) { return clampByte(((16384 * r - 13730 * g - 2654 * b) >> 15) + 128); }
};

// Studio-range matrix of the plain form, 10-bit fixed point.
struct StudioRange {
  static uint8_t y(int r, int g, int b) { return clampByte(((263 * r + 516 * g + 100 * b) >> 10) + 16); }
  static uint8_t u(int r, int g, int b) { return clampByte(((450 * b - 152 * r - 298 * g) >> 10) + 128); }
  static uint8_t v(int r, int g, int /*b*/) { return clampByte(((377 * (r - g)) >> 10) + 128); }
};

template <typename Matrix>
void convertBgr(const uint8_t* src, ptrdiff_t srcStride, int width, int height, bool bottomUp,
                const codec::VxFramePlanes& dst) {
  const int chromaStride = dst.stride / 2;
  for (int row = 0; row < height; ++row) {
    const int srcRow = bottomUp ? height - 1 - row : row;
    const uint8_t* p = src + ptrdiff_t(srcRow) * srcStride;
    uint8_t* y = dst.y + ptrdiff_t(row) * dst.stride;
    const bool chromaRow = (row & 1) == 0;
    uint8_t* u = dst.u + ptrdiff_t(row / 2) * chromaStride;
    uint8_t* v = dst.v + ptrdiff_t(row / 2) * chromaStride;
    for (int x = 0; x < width; ++x, p += 3) {
      const int b = p[0], g = p[1], r = p[2];
      y[x] = Matrix::y(r, g, b);
      if (chromaRow && (x & 1) == 0) {
        u[x / 2] = Matrix::u(r, g, b);
        v[x / 2] = Matrix::v(r, g, b);
      }
    }
  }
}

}  // namespace

void yuy2ToPlanes(const uint8_t* src, ptrdiff_t srcStride, int width, int height,
                  const codec::VxFramePlanes& dst) {
  const int chromaStride = dst.stride / 2;
  for (int row = 0; row < height; ++row) {
    const uint8_t* p = src + ptrdiff_t(row) * srcStride;
    uint8_t* y = dst.y + ptrdiff_t(row) * dst.stride;
    for (int x = 0; x < width; ++x) y[x] = p[2 * x];
    if ((row & 1) == 0) {
      uint8_t* u = dst.u + ptrdiff_t(row / 2) * chromaStride;
      uint8_t* v = dst.v + ptrdiff_t(row / 2) * chromaStride;
      for (int pair = 0; pair < width / 2; ++pair) {
        u[pair] = p[4 * pair + 1];
        v[pair] = p[4 * pair + 3];
      }
    }
  }
}

void bgr24ToPlanes(const uint8_t* src, ptrdiff_t srcStride, int width, int height, bool bottomUp,
                   const codec::VxFramePlanes& dst) {
  static const bool fullRange = codec::cpuHasMmx();
  if (fullRange)
    convertBgr<FullRange>(src, srcStride, width, height, bottomUp, dst);
  else
    convertBgr<StudioRange>(src, srcStride, width, height, bottomUp, dst);
}

void swapRedBlueRow(const uint8_t* src, uint8_t* dst, int width) {
  for (int x = 0; x < width; ++x, src += 3, dst += 3) {
    dst[0] = src[2];
    dst[1] = src[1];
    dst[2] = src[0];
  }
}

}  // namespace vantry::plugins::vxenc
