#include "codec/motion_compensation.h"

#include <algorithm>
#include <cstring>

namespace vantry::codec {

void predictBlockPlain(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int size,
                       int phase)
{
    for (int y = 0; y < size; ++y) {
        const uint8_t* a = src + y * srcStride;
        const uint8_t* c = a + srcStride;
        uint8_t* out = dst + y * dstStride;
        switch (phase) {
        case 0:
            std::memcpy(out, a, static_cast<size_t>(size));
            break;
        case 1:
            for (int x = 0; x < size; ++x)
                out[x] = static_cast<uint8_t>((a[x] + a[x + 1] + 1) >> 1);
            break;
        case 2:
            for (int x = 0; x < size; ++x)
                out[x] = static_cast<uint8_t>((a[x] + c[x] + 1) >> 1);
            break;
        default:
            for (int x = 0; x < size; ++x)
                out[x] = static_cast<uint8_t>((a[x] + a[x + 1] + c[x] + c[x + 1] + 2) >> 2);
            break;
        }
    }
}

void putBlockPlain(uint8_t* dst, ptrdiff_t stride, const int16_t* block)
{
    for (int y = 0; y < 8; ++y, dst += stride, block += 8)
        for (int x = 0; x < 8; ++x)
            dst[x] = static_cast<uint8_t>(std::clamp<int>(block[x], 0, 255));
}

void addBlockPlain(uint8_t* dst, ptrdiff_t stride, const int16_t* block)
{
    for (int y = 0; y < 8; ++y, dst += stride, block += 8)
        for (int x = 0; x < 8; ++x)
            dst[x] = static_cast<uint8_t>(std::clamp<int>(dst[x] + block[x], 0, 255));
}

} // namespace vantry::codec
