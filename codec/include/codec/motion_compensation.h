#pragma once
// Motion-compensated prediction with half samples (rounding type 0) and the block
// reconstruction steps, plain forms. The kernel table (kernels.h) holds these and their
// faster variants; all variants give identical results.
#include <cstddef>
#include <cstdint>

namespace vantry::codec {

// Half-sample phase index of a vector: horizontal phase | vertical phase << 1.
inline int halfSamplePhase(int phaseX, int phaseY) { return phaseX | (phaseY << 1); }

// Predicts a size x size block (8 or 16) from src at the integer offset; the phases read
// one extra column and/or row. 0 copies, 1 averages horizontal neighbours, 2 vertical
// ones, 3 the four neighbours: (A + B + 1) >> 1 and (A + B + C + D + 2) >> 2.
void predictBlockPlain(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int size,
                       int phase);

// dst = clamp(block, 0, 255) for an 8x8 block.
void putBlockPlain(uint8_t* dst, ptrdiff_t stride, const int16_t* block);
// dst = clamp(dst + block, 0, 255) for an 8x8 block.
void addBlockPlain(uint8_t* dst, ptrdiff_t stride, const int16_t* block);

// Dequantises a level with quantiser qp: sign(L) * ((qp * (2|L| + 1) - 1) | 1), which is
// qp * (2|L| + 1) for odd qp and one less for even qp; 0 stays 0.
inline int16_t dequantiseLevel(int level, int qp)
{
    if (level == 0)
        return 0;
    const int magnitude = level < 0 ? -level : level;
    const int value = (qp * (2 * magnitude + 1) - 1) | 1;
    return static_cast<int16_t>(level < 0 ? -value : value);
}

} // namespace vantry::codec
