#pragma once
// Pieces shared by the SSE2 and AVX2 kernels: the 8x8 transpose of int16 rows and the
// inverse transform's constants. Include only from files built with SSE2 or later.
//
// Everything here has internal linkage: each kernel file is built with its own instruction
// set, and one shared inline copy could let the linker keep the AVX2-encoded body for the
// SSE2 path, which would fault on a processor without AVX2.
#include <emmintrin.h>

#include <cstdint>

namespace vantry::codec::detail {
namespace {

inline constexpr int kW1 = 2841;
inline constexpr int kW2 = 2676;
inline constexpr int kW3 = 2408;
inline constexpr int kW5 = 1609;
inline constexpr int kW6 = 1108;
inline constexpr int kW7 = 565;

// Two int16 multipliers for _mm_madd_epi16 on (a, b) pairs: a * first + b * second.
inline __m128i maddPair(int first, int second)
{
    return _mm_set1_epi32(static_cast<int>((static_cast<uint32_t>(second) << 16) |
                                           (static_cast<uint32_t>(first) & 0xffff)));
}

inline void transpose8x8(__m128i r[8])
{
    const __m128i a0 = _mm_unpacklo_epi16(r[0], r[1]);
    const __m128i a1 = _mm_unpackhi_epi16(r[0], r[1]);
    const __m128i a2 = _mm_unpacklo_epi16(r[2], r[3]);
    const __m128i a3 = _mm_unpackhi_epi16(r[2], r[3]);
    const __m128i a4 = _mm_unpacklo_epi16(r[4], r[5]);
    const __m128i a5 = _mm_unpackhi_epi16(r[4], r[5]);
    const __m128i a6 = _mm_unpacklo_epi16(r[6], r[7]);
    const __m128i a7 = _mm_unpackhi_epi16(r[6], r[7]);
    const __m128i b0 = _mm_unpacklo_epi32(a0, a2);
    const __m128i b1 = _mm_unpackhi_epi32(a0, a2);
    const __m128i b2 = _mm_unpacklo_epi32(a1, a3);
    const __m128i b3 = _mm_unpackhi_epi32(a1, a3);
    const __m128i b4 = _mm_unpacklo_epi32(a4, a6);
    const __m128i b5 = _mm_unpackhi_epi32(a4, a6);
    const __m128i b6 = _mm_unpacklo_epi32(a5, a7);
    const __m128i b7 = _mm_unpackhi_epi32(a5, a7);
    r[0] = _mm_unpacklo_epi64(b0, b4);
    r[1] = _mm_unpackhi_epi64(b0, b4);
    r[2] = _mm_unpacklo_epi64(b1, b5);
    r[3] = _mm_unpackhi_epi64(b1, b5);
    r[4] = _mm_unpacklo_epi64(b2, b6);
    r[5] = _mm_unpackhi_epi64(b2, b6);
    r[6] = _mm_unpacklo_epi64(b3, b7);
    r[7] = _mm_unpackhi_epi64(b3, b7);
}

} // namespace
} // namespace vantry::codec::detail
