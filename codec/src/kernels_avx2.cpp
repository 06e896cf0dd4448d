// AVX2 inverse transform: the same arithmetic as the plain form, eight rows (or
// columns) at once in 32-bit lanes.
#include <immintrin.h>

#include <cstdint>

#include "idct_x86_common.h"
#include "kernels_x86.h"

namespace vantry::codec::detail {
namespace {

// Both passes work on four registers that each hold two rows of the 8x8 int16 matrix
// (rows 0-1, 2-3, 4-5, 6-7). A pass turns each row into its eight outputs; its results
// come back as the transposed matrix in the same layout, so the column pass is the row
// pass run again.

inline __m256i pairWeights(int first, int second)
{
    return _mm256_set1_epi32(
        static_cast<int>((static_cast<uint32_t>(second) << 16) | (static_cast<uint32_t>(first) & 0xffff)));
}

// (181 * x + 128) >> 8 modulo 2^32, as the plain form computes it.
inline __m256i rotate(__m256i x)
{
    return _mm256_srai_epi32(_mm256_add_epi32(_mm256_mullo_epi32(x, _mm256_set1_epi32(181)), _mm256_set1_epi32(128)),
                             8);
}

enum class Pass { Rows, Columns };

template <Pass P>
inline void idctPass(__m256i m[4])
{
    // [row i | row i+4], each row reordered to the pairs (0,4) (1,7) (3,5) (2,6).
    const __m256i pairOrder =
        _mm256_setr_epi8(0, 1, 8, 9, 2, 3, 14, 15, 6, 7, 10, 11, 4, 5, 12, 13, 0, 1, 8, 9, 2, 3, 14, 15, 6, 7, 10, 11,
                         4, 5, 12, 13);
    const __m256i a0 = _mm256_shuffle_epi8(_mm256_permute2x128_si256(m[0], m[2], 0x20), pairOrder);
    const __m256i a1 = _mm256_shuffle_epi8(_mm256_permute2x128_si256(m[0], m[2], 0x31), pairOrder);
    const __m256i a2 = _mm256_shuffle_epi8(_mm256_permute2x128_si256(m[1], m[3], 0x20), pairOrder);
    const __m256i a3 = _mm256_shuffle_epi8(_mm256_permute2x128_si256(m[1], m[3], 0x31), pairOrder);
    // Transpose the pairs: q[p] holds pair p of rows 0..7 in order.
    const __m256i t0 = _mm256_unpacklo_epi32(a0, a1);
    const __m256i t1 = _mm256_unpackhi_epi32(a0, a1);
    const __m256i t2 = _mm256_unpacklo_epi32(a2, a3);
    const __m256i t3 = _mm256_unpackhi_epi32(a2, a3);
    const __m256i p04 = _mm256_unpacklo_epi64(t0, t2);
    const __m256i p17 = _mm256_unpackhi_epi64(t0, t2);
    const __m256i p35 = _mm256_unpacklo_epi64(t1, t3);
    const __m256i p26 = _mm256_unpackhi_epi64(t1, t3);

    constexpr int scale = P == Pass::Rows ? 2048 : 256;
    const __m256i bias = _mm256_set1_epi32(P == Pass::Rows ? 128 : 8192);
    __m256i x8 = _mm256_add_epi32(_mm256_madd_epi16(p04, pairWeights(scale, scale)), bias);
    __m256i x0 = _mm256_add_epi32(_mm256_madd_epi16(p04, pairWeights(scale, -scale)), bias);
    __m256i x4 = _mm256_madd_epi16(p17, pairWeights(kW1, kW7));
    __m256i x5 = _mm256_madd_epi16(p17, pairWeights(kW7, -kW1));
    __m256i x6 = _mm256_madd_epi16(p35, pairWeights(kW3, kW5));
    __m256i x7 = _mm256_madd_epi16(p35, pairWeights(-kW5, kW3));
    __m256i x3 = _mm256_madd_epi16(p26, pairWeights(kW2, kW6));
    __m256i x2 = _mm256_madd_epi16(p26, pairWeights(kW6, -kW2));
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

    __m256i out[8] = {_mm256_add_epi32(x7, x1), _mm256_add_epi32(x3, x2), _mm256_add_epi32(x0, x4),
                      _mm256_add_epi32(x8, x6), _mm256_sub_epi32(x8, x6), _mm256_sub_epi32(x0, x4),
                      _mm256_sub_epi32(x3, x2), _mm256_sub_epi32(x7, x1)};
    for (auto& o : out) {
        if constexpr (P == Pass::Rows) // kept to 16 bits, like the plain form's work block
            o = _mm256_srai_epi32(_mm256_slli_epi32(_mm256_srai_epi32(o, 8), 16), 16);
        else
            o = _mm256_srai_epi32(o, 14);
    }
    // Output k of rows 0..7 becomes row k; two rows per register again.
    for (int k = 0; k < 4; ++k)
        m[k] = _mm256_permute4x64_epi64(_mm256_packs_epi32(out[2 * k], out[2 * k + 1]), 0xd8);
}

void idctAvx2(int16_t* block)
{
    __m256i m[4];
    for (int i = 0; i < 4; ++i)
        m[i] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block + 16 * i));
    idctPass<Pass::Rows>(m);
    idctPass<Pass::Columns>(m);
    // Saturating packs then clamping equals clamping the 32-bit values.
    const __m256i low = _mm256_set1_epi16(-256);
    const __m256i high = _mm256_set1_epi16(255);
    for (int i = 0; i < 4; ++i)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(block + 16 * i),
                            _mm256_min_epi16(_mm256_max_epi16(m[i], low), high));
}

} // namespace

void initKernelsAvx2(CodecKernels& table)
{
    table.idct = idctAvx2;
}

} // namespace vantry::codec::detail
