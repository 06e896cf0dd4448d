#pragma once
// Motion vectors in half-sample units and their median prediction. The whole picture is
// one group: the top row predicts from the left neighbour only.
#include <algorithm>
#include <cstdint>

namespace vantry::codec {

struct MotionVector {
    int16_t x = 0;
    int16_t y = 0;
    friend bool operator==(MotionVector, MotionVector) = default;
};

inline int medianOfThree(int a, int b, int c)
{
    return std::max(std::min(a, b), std::min(std::max(a, b), c));
}

// vectors: this picture's vectors in raster order, valid for every macroblock before
// (column, row); intra and not-coded macroblocks hold (0,0).
inline MotionVector predictMotionVector(const MotionVector* vectors, int mbColumns, int column, int row)
{
    const MotionVector zero{};
    const MotionVector left = column > 0 ? vectors[row * mbColumns + column - 1] : zero;
    if (row == 0)
        return left;
    const MotionVector above = vectors[(row - 1) * mbColumns + column];
    const MotionVector aboveRight = column + 1 < mbColumns ? vectors[(row - 1) * mbColumns + column + 1] : zero;
    return MotionVector{static_cast<int16_t>(medianOfThree(left.x, above.x, aboveRight.x)),
                        static_cast<int16_t>(medianOfThree(left.y, above.y, aboveRight.y))};
}

// Adds a decoded difference to a predictor component. Vectors do not wrap; a sum that
// leaves the 16-bit range saturates (it points far outside the picture either way).
inline int16_t addVectorComponent(int16_t predictor, int difference)
{
    return static_cast<int16_t>(std::clamp(predictor + difference, -32768, 32767));
}

// Chroma follows luma at half resolution: quarter, half and three-quarter luma positions
// all become the chroma half position.
inline int chromaOffset(int lumaComponent) { return lumaComponent >> 2; }
inline int chromaPhase(int lumaComponent) { return (lumaComponent & 3) != 0 ? 1 : 0; }

} // namespace vantry::codec
