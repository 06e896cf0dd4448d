#include "codec/idct.h"

#include <algorithm>

namespace vantry::codec {
namespace {

constexpr int32_t W1 = 2841; // 2048 * sqrt(2) * cos(1 * pi / 16)
constexpr int32_t W2 = 2676; // 2048 * sqrt(2) * cos(2 * pi / 16)
constexpr int32_t W3 = 2408; // 2048 * sqrt(2) * cos(3 * pi / 16)
constexpr int32_t W5 = 1609; // 2048 * sqrt(2) * cos(5 * pi / 16)
constexpr int32_t W6 = 1108; // 2048 * sqrt(2) * cos(6 * pi / 16)
constexpr int32_t W7 = 565;  // 2048 * sqrt(2) * cos(7 * pi / 16)

// 181/256 ~ 1/sqrt(2), modulo 2^32 (see the header).
inline int32_t rotate(int32_t sum)
{
    return static_cast<int32_t>(static_cast<uint32_t>(sum) * 181u + 128u) >> 8;
}

void idctRow(int16_t* b)
{
    if (!(b[1] | b[2] | b[3] | b[4] | b[5] | b[6] | b[7])) {
        const auto dc = static_cast<int16_t>(b[0] * 8);
        std::fill(b, b + 8, dc);
        return;
    }
    int32_t x0 = (b[0] * 2048) + 128;
    int32_t x1 = b[4] * 2048;
    int32_t t = W7 * (b[1] + b[7]);
    int32_t x4 = t + (W1 - W7) * b[1];
    int32_t x5 = t - (W1 + W7) * b[7];
    t = W3 * (b[5] + b[3]);
    int32_t x6 = t - (W3 - W5) * b[5];
    int32_t x7 = t - (W3 + W5) * b[3];

    int32_t x8 = x0 + x1;
    x0 -= x1;
    t = W6 * (b[2] + b[6]);
    int32_t x2 = t - (W2 + W6) * b[6];
    int32_t x3 = t + (W2 - W6) * b[2];
    x1 = x4 + x6;
    x4 -= x6;
    x6 = x5 + x7;
    x5 -= x7;

    x7 = x8 + x3;
    x8 -= x3;
    x3 = x0 + x2;
    x0 -= x2;
    x2 = rotate(x4 + x5);
    x4 = rotate(x4 - x5);

    b[0] = static_cast<int16_t>((x7 + x1) >> 8);
    b[1] = static_cast<int16_t>((x3 + x2) >> 8);
    b[2] = static_cast<int16_t>((x0 + x4) >> 8);
    b[3] = static_cast<int16_t>((x8 + x6) >> 8);
    b[4] = static_cast<int16_t>((x8 - x6) >> 8);
    b[5] = static_cast<int16_t>((x0 - x4) >> 8);
    b[6] = static_cast<int16_t>((x3 - x2) >> 8);
    b[7] = static_cast<int16_t>((x7 - x1) >> 8);
}

inline int16_t clipSample(int32_t value)
{
    return static_cast<int16_t>(std::clamp(value, -256, 255));
}

void idctColumn(int16_t* c)
{
    if (!(c[8] | c[16] | c[24] | c[32] | c[40] | c[48] | c[56])) {
        const int16_t dc = clipSample((c[0] + 32) >> 6);
        for (int i = 0; i < 8; ++i)
            c[8 * i] = dc;
        return;
    }
    int32_t x0 = (c[0] * 256) + 8192;
    int32_t x1 = c[32] * 256;
    int32_t t = W7 * (c[8] + c[56]) + 4;
    int32_t x4 = (t + (W1 - W7) * c[8]) >> 3;
    int32_t x5 = (t - (W1 + W7) * c[56]) >> 3;
    t = W3 * (c[40] + c[24]) + 4;
    int32_t x6 = (t - (W3 - W5) * c[40]) >> 3;
    int32_t x7 = (t - (W3 + W5) * c[24]) >> 3;

    int32_t x8 = x0 + x1;
    x0 -= x1;
    t = W6 * (c[16] + c[48]) + 4;
    int32_t x2 = (t - (W2 + W6) * c[48]) >> 3;
    int32_t x3 = (t + (W2 - W6) * c[16]) >> 3;
    x1 = x4 + x6;
    x4 -= x6;
    x6 = x5 + x7;
    x5 -= x7;

    x7 = x8 + x3;
    x8 -= x3;
    x3 = x0 + x2;
    x0 -= x2;
    x2 = rotate(x4 + x5);
    x4 = rotate(x4 - x5);

    c[0] = clipSample((x7 + x1) >> 14);
    c[8] = clipSample((x3 + x2) >> 14);
    c[16] = clipSample((x0 + x4) >> 14);
    c[24] = clipSample((x8 + x6) >> 14);
    c[32] = clipSample((x8 - x6) >> 14);
    c[40] = clipSample((x0 - x4) >> 14);
    c[48] = clipSample((x3 - x2) >> 14);
    c[56] = clipSample((x7 - x1) >> 14);
}

} // namespace

void idctPlain(int16_t* block)
{
    for (int row = 0; row < 8; ++row)
        idctRow(block + 8 * row);
    for (int column = 0; column < 8; ++column)
        idctColumn(block + column);
}

} // namespace vantry::codec
