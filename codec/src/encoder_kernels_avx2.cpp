// AVX2 forms of the hottest encoder kernels: the SADs of the motion search (two rows per
// register) and the fixed-point forward transform (a whole row of int32 sums per pmaddwd).
// The SADs are bit-exact with the plain forms; the transform gives exactly the SSE2 results,
// within a unit of the plain form.
#include "encoder_kernels.h"
#include "forward_dct_basis.h"
#include "idct_x86_common.h"

#include <immintrin.h>

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

constexpr ForwardDctPairs<16> kBasis;


// One 1-D transform down the columns of r, even and odd frequencies from the symmetric
// sums and differences: four pmaddwd per pair of outputs for all eight columns at once.
// The result is scaled by 2^(14 - kShift).
template <int kShift>
inline void transformColumns(__m128i r[8]) {
    auto interleave = [](__m128i a, __m128i b) {
        return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_unpacklo_epi16(a, b)), _mm_unpackhi_epi16(a, b), 1);
    };
    const __m256i sums01 = interleave(_mm_add_epi16(r[0], r[7]), _mm_add_epi16(r[1], r[6]));
    const __m256i sums23 = interleave(_mm_add_epi16(r[2], r[5]), _mm_add_epi16(r[3], r[4]));
    const __m256i diffs01 = interleave(_mm_sub_epi16(r[0], r[7]), _mm_sub_epi16(r[1], r[6]));
    const __m256i diffs23 = interleave(_mm_sub_epi16(r[2], r[5]), _mm_sub_epi16(r[3], r[4]));
    const __m256i round = _mm256_set1_epi32(1 << (kShift - 1));
#pragma GCC unroll 8
    for (int u = 0; u < 8; ++u) {
        const __m256i& first = (u & 1) ? diffs01 : sums01;
        const __m256i& second = (u & 1) ? diffs23 : sums23;
        __m256i sum = _mm256_add_epi32(round, _mm256_madd_epi16(first, _mm256_load_si256(reinterpret_cast<const __m256i*>(kBasis.pair[u][0]))));
        sum = _mm256_add_epi32(sum, _mm256_madd_epi16(second, _mm256_load_si256(reinterpret_cast<const __m256i*>(kBasis.pair[u][1]))));
        sum = _mm256_srai_epi32(sum, kShift);
        r[u] = _mm_packs_epi32(_mm256_castsi256_si128(sum), _mm256_extracti128_si256(sum, 1));
    }
}

void forwardDct(const int16_t* in, int16_t* out) {
    __m128i r[8];
    for (int i = 0; i < 8; ++i)
        r[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 8 * i));
    detail::transpose8x8(r);
    transformColumns<10>(r);  // rows, kept with 4 fraction bits so that the sums fit 16 bits
    detail::transpose8x8(r);
    transformColumns<18>(r);  // columns, back to integer scale
    for (int i = 0; i < 8; ++i)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8 * i), r[i]);
}

inline void transpose8x8Pair(__m256i r[8]) {
    const __m256i a0 = _mm256_unpacklo_epi16(r[0], r[1]), a1 = _mm256_unpackhi_epi16(r[0], r[1]);
    const __m256i a2 = _mm256_unpacklo_epi16(r[2], r[3]), a3 = _mm256_unpackhi_epi16(r[2], r[3]);
    const __m256i a4 = _mm256_unpacklo_epi16(r[4], r[5]), a5 = _mm256_unpackhi_epi16(r[4], r[5]);
    const __m256i a6 = _mm256_unpacklo_epi16(r[6], r[7]), a7 = _mm256_unpackhi_epi16(r[6], r[7]);
    const __m256i b0 = _mm256_unpacklo_epi32(a0, a2), b1 = _mm256_unpackhi_epi32(a0, a2);
    const __m256i b2 = _mm256_unpacklo_epi32(a1, a3), b3 = _mm256_unpackhi_epi32(a1, a3);
    const __m256i b4 = _mm256_unpacklo_epi32(a4, a6), b5 = _mm256_unpackhi_epi32(a4, a6);
    const __m256i b6 = _mm256_unpacklo_epi32(a5, a7), b7 = _mm256_unpackhi_epi32(a5, a7);
    r[0] = _mm256_unpacklo_epi64(b0, b4);
    r[1] = _mm256_unpackhi_epi64(b0, b4);
    r[2] = _mm256_unpacklo_epi64(b1, b5);
    r[3] = _mm256_unpackhi_epi64(b1, b5);
    r[4] = _mm256_unpacklo_epi64(b2, b6);
    r[5] = _mm256_unpackhi_epi64(b2, b6);
    r[6] = _mm256_unpacklo_epi64(b3, b7);
    r[7] = _mm256_unpackhi_epi64(b3, b7);
}

// The column transform of two blocks, one in each 128-bit lane; every step stays in its lane.
template <int kShift>
inline void transformColumnsPair(__m256i r[8]) {
    const __m256i s0 = _mm256_add_epi16(r[0], r[7]), s1 = _mm256_add_epi16(r[1], r[6]);
    const __m256i s2 = _mm256_add_epi16(r[2], r[5]), s3 = _mm256_add_epi16(r[3], r[4]);
    const __m256i d0 = _mm256_sub_epi16(r[0], r[7]), d1 = _mm256_sub_epi16(r[1], r[6]);
    const __m256i d2 = _mm256_sub_epi16(r[2], r[5]), d3 = _mm256_sub_epi16(r[3], r[4]);
    const __m256i even[4] = {_mm256_unpacklo_epi16(s0, s1), _mm256_unpackhi_epi16(s0, s1), _mm256_unpacklo_epi16(s2, s3),
                             _mm256_unpackhi_epi16(s2, s3)};
    const __m256i odd[4] = {_mm256_unpacklo_epi16(d0, d1), _mm256_unpackhi_epi16(d0, d1), _mm256_unpacklo_epi16(d2, d3),
                            _mm256_unpackhi_epi16(d2, d3)};
    const __m256i round = _mm256_set1_epi32(1 << (kShift - 1));
#pragma GCC unroll 8
    for (int u = 0; u < 8; ++u) {
        const __m256i* in = (u & 1) ? odd : even;
        const __m256i c0 = _mm256_load_si256(reinterpret_cast<const __m256i*>(kBasis.pair[u][0]));
        const __m256i c1 = _mm256_load_si256(reinterpret_cast<const __m256i*>(kBasis.pair[u][1]));
        const __m256i lo = _mm256_add_epi32(round, _mm256_add_epi32(_mm256_madd_epi16(in[0], c0), _mm256_madd_epi16(in[2], c1)));
        const __m256i hi = _mm256_add_epi32(round, _mm256_add_epi32(_mm256_madd_epi16(in[1], c0), _mm256_madd_epi16(in[3], c1)));
        r[u] = _mm256_packs_epi32(_mm256_srai_epi32(lo, kShift), _mm256_srai_epi32(hi, kShift));
    }
}

void forwardDct2(const int16_t* in0, const int16_t* in1, int16_t* out0, int16_t* out1) {
    __m256i r[8];
    for (int i = 0; i < 8; ++i)
        r[i] = _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in0 + 8 * i))),
                                       _mm_loadu_si128(reinterpret_cast<const __m128i*>(in1 + 8 * i)), 1);
    transpose8x8Pair(r);
    transformColumnsPair<10>(r);
    transpose8x8Pair(r);
    transformColumnsPair<18>(r);
    for (int i = 0; i < 8; ++i) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out0 + 8 * i), _mm256_castsi256_si128(r[i]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out1 + 8 * i), _mm256_extracti128_si256(r[i], 1));
    }
}

// The quantisers of the SSE2 form, sixteen coefficients per step.
template <bool kDeadZone>
uint64_t quantise(const int16_t* coef, int16_t* levels, const QuantTables& tables) {
    const __m256i limit = _mm256_set1_epi16(127);
    const int16_t keep = levels[0];
    uint64_t mask = 0;
    __m256i magnitude[2];
    for (int i = 0; i < 64; i += 32) {
        for (int h = 0; h < 2; ++h) {
            const int at = i + 16 * h;
            const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(coef + at));
            __m256i m = _mm256_abs_epi16(c);
            if constexpr (kDeadZone)
                m = _mm256_subs_epu16(m, _mm256_load_si256(reinterpret_cast<const __m256i*>(tables.deadZone + at)));
            m = _mm256_mulhi_epu16(m, _mm256_load_si256(reinterpret_cast<const __m256i*>(tables.reciprocal + at)));
            m = _mm256_min_epi16(m, limit);
            magnitude[h] = m;
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(levels + at), _mm256_sign_epi16(m, c));
        }
        // packs interleaves the lanes: bytes come out as [0..7, 16..23, 8..15, 24..31].
        const __m256i packed = _mm256_permute4x64_epi64(_mm256_packs_epi16(magnitude[0], magnitude[1]), 0xD8);
        const uint32_t zeros = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(packed, _mm256_setzero_si256())));
        mask |= uint64_t(~zeros) << i;
    }
    if (!kDeadZone) {
        levels[0] = keep;
        mask &= ~uint64_t{1};
    }
    return mask;
}

}  // namespace

void installAvx2(EncoderKernels& k) {
    k.forwardDct = forwardDct;
    k.forwardDct2 = forwardDct2;
    k.quantiseIntra = quantise<false>;
    k.quantiseInter = quantise<true>;
    k.sad16 = sad16;
    k.sad16Half = sad16Half;
}

}  // namespace vantry::codec::enc
