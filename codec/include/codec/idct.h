#pragma once
// The 8x8 inverse transform shared by the decoder and the encoder's reconstruction:
// Chen-Wang fast integer algorithm, 11-bit row and 8-bit column scaling, output clipped
// to -256..255. Every processor-specific variant (kernels.h) gives exactly these results.
#include <cstdint>

namespace vantry::codec {

// In place on 64 coefficients in row-major order. Any input is safe: intermediate row
// results are kept to 16 bits as the int16 work block holds them, and the one product
// that can exceed 32 bits on hostile input (the 1/sqrt(2) rotation) wraps modulo 2^32
// exactly as the vector forms do.
void idctPlain(int16_t* block);

} // namespace vantry::codec
