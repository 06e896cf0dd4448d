// AVX2 inverse transform: the same arithmetic as the plain form with all eight lanes of
// a pass in one register of 32-bit values.
#include <immintrin.h>

#include <cstdint>

#include "idct_x86_common.h"
#include "kernels_x86.h"

namespace vantry::codec::detail {
namespace {

inline __m256i madd(__m128i a, __m128i b, int first, int second)
{
    const __m256i pairs = _mm256_set_m128i(_mm_unpackhi_epi16(a, b), _mm_unpacklo_epi16(a, b));
    return _mm256_madd_epi16(pairs, _mm256_set1_epi32(static_cast<int>(
                                        (static_cast<uint32_t>(second) << 16) | (static_cast<uint32_t>(first) & 0xffff))));
}

// (181 * x + 128) >> 8 modulo 2^32, as the plain form computes it.
inline __m256i rotate(__m256i x)
{
    return _mm256_srai_epi32(_mm256_add_epi32(_mm256_mullo_epi32(x, _mm256_set1_epi32(181)), _mm256_set1_epi32(128)),
                             8);
}

inline __m128i wrapTo16(__m256i a)
{
    const __m256i wrapped = _mm256_srai_epi32(_mm256_slli_epi32(a, 16), 16);
    return _mm_packs_epi32(_mm256_castsi256_si128(wrapped), _mm256_extracti128_si256(wrapped, 1));
}
inline __m128i clipTo9Bits(__m256i a)
{
    const __m128i packed = _mm_packs_epi32(_mm256_castsi256_si128(a), _mm256_extracti128_si256(a, 1));
    return _mm_min_epi16(_mm_max_epi16(packed, _mm_set1_epi16(-256)), _mm_set1_epi16(255));
}

enum class Pass { Rows, Columns };

template <Pass P>
inline void idctPass(__m128i v[8])
{
    constexpr int scale = P == Pass::Rows ? 2048 : 256;
    const __m256i bias = _mm256_set1_epi32(P == Pass::Rows ? 128 : 8192);
    __m256i x8 = _mm256_add_epi32(madd(v[0], v[4], scale, scale), bias);
    __m256i x0 = _mm256_add_epi32(madd(v[0], v[4], scale, -scale), bias);
    __m256i x4 = madd(v[1], v[7], kW1, kW7);
    __m256i x5 = madd(v[1], v[7], kW7, -kW1);
    __m256i x6 = madd(v[3], v[5], kW3, kW5);
    __m256i x7 = madd(v[3], v[5], -kW5, kW3);
    __m256i x3 = madd(v[2], v[6], kW2, kW6);
    __m256i x2 = madd(v[2], v[6], kW6, -kW2);
    if constexpr (P == Pass::Columns) {
        const __m256i four = _mm256_set1_epi32(4);
        x4 = _mm256_srai_epi32(_mm256_add_epi32(x4, four), 3);
        x5 = _mm256_srai_epi32(_mm256_add_epi32(x5, four), 3);
        x6 = _mm256_srai_epi32(_mm256_add_epi32(x6, four), 3);
        x7 = _mm256_srai_epi32(_mm256_add_epi32(x7, four), 3);
        x3 = _mm256_srai_epi32(_mm256_add_epi32(x3, four), 3);
        x2 = _mm256_srai_epi32(_mm256_add_epi32(x2, four), 3);
    }
    const __m256i x1 = _mm256_add_epi32(x4, x6);
    x4 = _mm256_sub_epi32(x4, x6);
    x6 = _mm256_add_epi32(x5, x7);
    x5 = _mm256_sub_epi32(x5, x7);

    x7 = _mm256_add_epi32(x8, x3);
    x8 = _mm256_sub_epi32(x8, x3);
    x3 = _mm256_add_epi32(x0, x2);
    x0 = _mm256_sub_epi32(x0, x2);
    x2 = rotate(_mm256_add_epi32(x4, x5));
    x4 = rotate(_mm256_sub_epi32(x4, x5));

    const __m256i out[8] = {_mm256_add_epi32(x7, x1), _mm256_add_epi32(x3, x2), _mm256_add_epi32(x0, x4),
                            _mm256_add_epi32(x8, x6), _mm256_sub_epi32(x8, x6), _mm256_sub_epi32(x0, x4),
                            _mm256_sub_epi32(x3, x2), _mm256_sub_epi32(x7, x1)};
    for (int k = 0; k < 8; ++k) {
        if constexpr (P == Pass::Rows)
            v[k] = wrapTo16(_mm256_srai_epi32(out[k], 8));
        else
            v[k] = clipTo9Bits(_mm256_srai_epi32(out[k], 14));
    }
}

void idctAvx2(int16_t* block)
{
    __m128i v[8];
    for (int i = 0; i < 8; ++i)
        v[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * i));
    transpose8x8(v);
    idctPass<Pass::Rows>(v);
    transpose8x8(v);
    idctPass<Pass::Columns>(v);
    for (int i = 0; i < 8; ++i)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(block + 8 * i), v[i]);
}

} // namespace

void initKernelsAvx2(CodecKernels& table)
{
    table.idct = idctAvx2;
}

} // namespace vantry::codec::detail
