// AVX2 forms of the hottest encoder kernels: the SADs of the motion search (two rows per
// register) and the fixed-point forward transform (a whole row of int32 sums per pmaddwd).
// The SADs are bit-exact with the plain forms; the transform gives exactly the SSE2 results.
#include "encoder_kernels.h"

#include <immintrin.h>

#include <cmath>
#include <numbers>

namespace vantry::codec::enc {
namespace {

inline __m256i loadRows16(const uint8_t* p, int stride) {
    return _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + stride)), 1);
}

inline int horizontalSad(__m256i s) {
    const __m128i folded = _mm_add_epi64(_mm256_castsi256_si128(s), _mm256_extracti128_si256(s, 1));
    return _mm_cvtsi128_si32(folded) + _mm_cvtsi128_si32(_mm_srli_si128(folded, 8));
}

int sad16(const uint8_t* cur, int curStride, const uint8_t* ref, int refStride, int best) {
    __m256i acc = _mm256_setzero_si256();
    for (int y = 0; y < 8; y += 2, cur += 2 * curStride, ref += 2 * refStride)
        acc = _mm256_add_epi64(acc, _mm256_sad_epu8(loadRows16(cur, curStride), loadRows16(ref, refStride)));
    const int half = horizontalSad(acc);
    if (half > best)
        return half;
    for (int y = 0; y < 8; y += 2, cur += 2 * curStride, ref += 2 * refStride)
        acc = _mm256_add_epi64(acc, _mm256_sad_epu8(loadRows16(cur, curStride), loadRows16(ref, refStride)));
    return horizontalSad(acc);
}

// Two rows of the prediction at phase (hx, hy), exact rounding type 0.
inline __m256i interpolateRows(const uint8_t* ref, int refStride, int hx, int hy) {
    const __m256i a = loadRows16(ref, refStride);
    if (!hx && !hy)
        return a;
    if (hx && !hy)
        return _mm256_avg_epu8(a, loadRows16(ref + 1, refStride));
    const __m256i c = loadRows16(ref + refStride, refStride);
    if (!hx)
        return _mm256_avg_epu8(a, c);
    const __m256i b = loadRows16(ref + 1, refStride);
    const __m256i d = loadRows16(ref + refStride + 1, refStride);
    const __m256i zero = _mm256_setzero_si256();
    const __m256i two = _mm256_set1_epi16(2);
    __m256i lo = _mm256_add_epi16(_mm256_add_epi16(_mm256_unpacklo_epi8(a, zero), _mm256_unpacklo_epi8(b, zero)),
                                  _mm256_add_epi16(_mm256_unpacklo_epi8(c, zero), _mm256_unpacklo_epi8(d, zero)));
    __m256i hi = _mm256_add_epi16(_mm256_add_epi16(_mm256_unpackhi_epi8(a, zero), _mm256_unpackhi_epi8(b, zero)),
                                  _mm256_add_epi16(_mm256_unpackhi_epi8(c, zero), _mm256_unpackhi_epi8(d, zero)));
    lo = _mm256_srli_epi16(_mm256_add_epi16(lo, two), 2);
    hi = _mm256_srli_epi16(_mm256_add_epi16(hi, two), 2);
    return _mm256_packus_epi16(lo, hi);  // per-lane pack keeps each row in its own lane
}

int sad16Half(const uint8_t* cur, int curStride, const uint8_t* ref, int refStride, int hx, int hy, int best) {
    __m256i acc = _mm256_setzero_si256();
    for (int y = 0; y < 8; y += 2, cur += 2 * curStride, ref += 2 * refStride)
        acc = _mm256_add_epi64(acc, _mm256_sad_epu8(loadRows16(cur, curStride), interpolateRows(ref, refStride, hx, hy)));
    const int half = horizontalSad(acc);
    if (half > best)
        return half;
    for (int y = 0; y < 8; y += 2, cur += 2 * curStride, ref += 2 * refStride)
        acc = _mm256_add_epi64(acc, _mm256_sad_epu8(loadRows16(cur, curStride), interpolateRows(ref, refStride, hx, hy)));
    return horizontalSad(acc);
}

// Basis pairs (C[u][2k], C[u][2k+1]) in 14-bit fixed point, the same values as the SSE2 form.
struct FixedBasis {
    alignas(32) int16_t pair[8][4][16];
    FixedBasis() {
        for (int u = 0; u < 8; ++u) {
            const double scale = u == 0 ? std::sqrt(1.0 / 8.0) : 0.5;
            for (int k = 0; k < 4; ++k)
                for (int lane = 0; lane < 8; ++lane)
                    for (int half = 0; half < 2; ++half) {
                        const int j = 2 * k + half;
                        const double c = scale * std::cos((2 * j + 1) * u * std::numbers::pi / 16.0);
                        pair[u][k][2 * lane + half] = static_cast<int16_t>(std::lround(c * 16384.0));
                    }
        }
    }
};

const FixedBasis& fixedBasis() {
    static const FixedBasis basis;
    return basis;
}

inline void transpose8x8(__m128i r[8]) {
    const __m128i a0 = _mm_unpacklo_epi16(r[0], r[1]), a1 = _mm_unpackhi_epi16(r[0], r[1]);
    const __m128i a2 = _mm_unpacklo_epi16(r[2], r[3]), a3 = _mm_unpackhi_epi16(r[2], r[3]);
    const __m128i a4 = _mm_unpacklo_epi16(r[4], r[5]), a5 = _mm_unpackhi_epi16(r[4], r[5]);
    const __m128i a6 = _mm_unpacklo_epi16(r[6], r[7]), a7 = _mm_unpackhi_epi16(r[6], r[7]);
    const __m128i b0 = _mm_unpacklo_epi32(a0, a2), b1 = _mm_unpackhi_epi32(a0, a2);
    const __m128i b2 = _mm_unpacklo_epi32(a1, a3), b3 = _mm_unpackhi_epi32(a1, a3);
    const __m128i b4 = _mm_unpacklo_epi32(a4, a6), b5 = _mm_unpackhi_epi32(a4, a6);
    const __m128i b6 = _mm_unpacklo_epi32(a5, a7), b7 = _mm_unpackhi_epi32(a5, a7);
    r[0] = _mm_unpacklo_epi64(b0, b4);
    r[1] = _mm_unpackhi_epi64(b0, b4);
    r[2] = _mm_unpacklo_epi64(b1, b5);
    r[3] = _mm_unpackhi_epi64(b1, b5);
    r[4] = _mm_unpacklo_epi64(b2, b6);
    r[5] = _mm_unpackhi_epi64(b2, b6);
    r[6] = _mm_unpacklo_epi64(b3, b7);
    r[7] = _mm_unpackhi_epi64(b3, b7);
}

// One 1-D transform down the columns of r: the eight columns' int32 sums of an output row
// come out of four pmaddwd on interleaved row pairs.
template <int kShift>
inline void transformColumns(__m128i r[8]) {
    const FixedBasis& basis = fixedBasis();
    __m256i pairs[4];
    for (int k = 0; k < 4; ++k) {
        const __m128i lo = _mm_unpacklo_epi16(r[2 * k], r[2 * k + 1]);
        const __m128i hi = _mm_unpackhi_epi16(r[2 * k], r[2 * k + 1]);
        pairs[k] = _mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1);
    }
    const __m256i round = _mm256_set1_epi32(1 << (kShift - 1));
    for (int u = 0; u < 8; ++u) {
        __m256i sum = round;
        for (int k = 0; k < 4; ++k)
            sum = _mm256_add_epi32(sum, _mm256_madd_epi16(pairs[k], _mm256_load_si256(reinterpret_cast<const __m256i*>(basis.pair[u][k]))));
        sum = _mm256_srai_epi32(sum, kShift);
        r[u] = _mm_packs_epi32(_mm256_castsi256_si128(sum), _mm256_extracti128_si256(sum, 1));
    }
}

void forwardDct(const int16_t* in, int16_t* out) {
    __m128i r[8];
    for (int i = 0; i < 8; ++i)
        r[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 8 * i));
    transpose8x8(r);
    transformColumns<9>(r);
    transpose8x8(r);
    transformColumns<19>(r);
    for (int i = 0; i < 8; ++i)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8 * i), r[i]);
}

}  // namespace

void installAvx2(EncoderKernels& k) {
    k.forwardDct = forwardDct;
    k.sad16 = sad16;
    k.sad16Half = sad16Half;
}

}  // namespace vantry::codec::enc
