// SSE2 forms of the encoder kernels. Everything here is bit-exact with the plain forms except
// the forward transform, which works in fixed point and may differ from the double-precision
// plain form by a unit in a few coefficients; that only moves a level now and then and never
// touches decodability, because the reconstruction does not depend on it.
#include "encoder_kernels.h"
#include "forward_dct_basis.h"
#include "idct_x86_common.h"

#include <emmintrin.h>

namespace vantry::codec::enc {
namespace {

inline __m128i load8(const uint8_t* p) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)); }
inline __m128i load16(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline int horizontalSad(__m128i s) { return _mm_cvtsi128_si32(s) + _mm_cvtsi128_si32(_mm_srli_si128(s, 8)); }

int sad16(const uint8_t* cur, int curStride, const uint8_t* ref, int refStride, int best) {
    __m128i acc = _mm_setzero_si128();
    for (int y = 0; y < 8; ++y, cur += curStride, ref += refStride)
        acc = _mm_add_epi64(acc, _mm_sad_epu8(load16(cur), load16(ref)));
    const int half = horizontalSad(acc);
    if (half > best)
        return half;
    for (int y = 0; y < 8; ++y, cur += curStride, ref += refStride)
        acc = _mm_add_epi64(acc, _mm_sad_epu8(load16(cur), load16(ref)));
    return horizontalSad(acc);
}

// Exact (a + b + c + d + 2) >> 2 for 16 samples.
inline __m128i average4(__m128i a, __m128i b, __m128i c, __m128i d) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i two = _mm_set1_epi16(2);
    __m128i lo = _mm_add_epi16(_mm_add_epi16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero)),
                               _mm_add_epi16(_mm_unpacklo_epi8(c, zero), _mm_unpacklo_epi8(d, zero)));
    __m128i hi = _mm_add_epi16(_mm_add_epi16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero)),
                               _mm_add_epi16(_mm_unpackhi_epi8(c, zero), _mm_unpackhi_epi8(d, zero)));
    lo = _mm_srli_epi16(_mm_add_epi16(lo, two), 2);
    hi = _mm_srli_epi16(_mm_add_epi16(hi, two), 2);
    return _mm_packus_epi16(lo, hi);
}

inline __m128i interpolate16(const uint8_t* ref, int refStride, int hx, int hy) {
    if (hx && hy)
        return average4(load16(ref), load16(ref + 1), load16(ref + refStride), load16(ref + refStride + 1));
    if (hx)
        return _mm_avg_epu8(load16(ref), load16(ref + 1));
    if (hy)
        return _mm_avg_epu8(load16(ref), load16(ref + refStride));
    return load16(ref);
}

int sad16Half(const uint8_t* cur, int curStride, const uint8_t* ref, int refStride, int hx, int hy, int best) {
    __m128i acc = _mm_setzero_si128();
    for (int y = 0; y < 8; ++y, cur += curStride, ref += refStride)
        acc = _mm_add_epi64(acc, _mm_sad_epu8(load16(cur), interpolate16(ref, refStride, hx, hy)));
    const int half = horizontalSad(acc);
    if (half > best)
        return half;
    for (int y = 0; y < 8; ++y, cur += curStride, ref += refStride)
        acc = _mm_add_epi64(acc, _mm_sad_epu8(load16(cur), interpolate16(ref, refStride, hx, hy)));
    return horizontalSad(acc);
}

int sad8(const uint8_t* cur, int curStride, const uint8_t* pred, int predStride) {
    __m128i acc = _mm_setzero_si128();
    for (int y = 0; y < 8; y += 2, cur += 2 * curStride, pred += 2 * predStride) {
        const __m128i c = _mm_unpacklo_epi64(load8(cur), load8(cur + curStride));
        const __m128i p = _mm_unpacklo_epi64(load8(pred), load8(pred + predStride));
        acc = _mm_add_epi64(acc, _mm_sad_epu8(c, p));
    }
    return horizontalSad(acc);
}

int activity16(const uint8_t* src, int stride) {
    const __m128i zero = _mm_setzero_si128();
    __m128i acc = zero;
    for (int y = 0; y < 16; ++y)
        acc = _mm_add_epi64(acc, _mm_sad_epu8(load16(src + y * stride), zero));
    const __m128i mean = _mm_set1_epi8(static_cast<char>(horizontalSad(acc) / 256));
    acc = zero;
    for (int y = 0; y < 16; ++y)
        acc = _mm_add_epi64(acc, _mm_sad_epu8(load16(src + y * stride), mean));
    return horizontalSad(acc);
}

void loadBlock(const uint8_t* src, int stride, int16_t* out) {
    const __m128i zero = _mm_setzero_si128();
    for (int y = 0; y < 8; ++y, src += stride)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8 * y), _mm_unpacklo_epi8(load8(src), zero));
}

void differenceBlock(const uint8_t* src, int stride, const uint8_t* pred, int predStride, int16_t* out) {
    const __m128i zero = _mm_setzero_si128();
    for (int y = 0; y < 8; ++y, src += stride, pred += predStride) {
        const __m128i s = _mm_unpacklo_epi8(load8(src), zero);
        const __m128i p = _mm_unpacklo_epi8(load8(pred), zero);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8 * y), _mm_sub_epi16(s, p));
    }
}




inline __m128i absolute16(__m128i v) { return _mm_max_epi16(v, _mm_sub_epi16(_mm_setzero_si128(), v)); }

// magnitude = min(127, (max(|c| - D, 0) * R) >> 16), the sign of c restored; the non-zero
// levels come back as a mask, 16 bits per step from the packed comparison.
template <bool kDeadZone>
uint64_t quantise(const int16_t* coef, int16_t* levels, const QuantTables& tables) {
    const __m128i limit = _mm_set1_epi16(127);
    const __m128i zero = _mm_setzero_si128();
    const int16_t keep = levels[0];
    uint64_t mask = 0;
    for (int i = 0; i < 64; i += 16) {
        __m128i magnitude[2];
        for (int h = 0; h < 2; ++h) {
            const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(coef + i + 8 * h));
            const __m128i sign = _mm_srai_epi16(c, 15);
            __m128i m = absolute16(c);
            if constexpr (kDeadZone)
                m = _mm_subs_epu16(m, _mm_load_si128(reinterpret_cast<const __m128i*>(tables.deadZone + i + 8 * h)));
            m = _mm_mulhi_epu16(m, _mm_load_si128(reinterpret_cast<const __m128i*>(tables.reciprocal + i + 8 * h)));
            m = _mm_min_epi16(m, limit);
            magnitude[h] = m;
            _mm_storeu_si128(reinterpret_cast<__m128i*>(levels + i + 8 * h), _mm_sub_epi16(_mm_xor_si128(m, sign), sign));
        }
        const __m128i isZero = _mm_cmpeq_epi8(_mm_packs_epi16(magnitude[0], magnitude[1]), zero);
        mask |= uint64_t(~_mm_movemask_epi8(isZero) & 0xFFFF) << i;
    }
    if (!kDeadZone) {
        levels[0] = keep;
        mask &= ~uint64_t{1};
    }
    return mask;
}

uint64_t quantiseIntra(const int16_t* coef, int16_t* levels, const QuantTables& tables) {
    return quantise<false>(coef, levels, tables);
}
uint64_t quantiseInter(const int16_t* coef, int16_t* levels, const QuantTables& tables) {
    return quantise<true>(coef, levels, tables);
}


constexpr ForwardDctPairs<8> kBasis;

// One 1-D transform down the columns of r from the symmetric sums and differences, result
// scaled by 2^(14 - kShift).
template <int kShift>
inline void transformColumns(__m128i r[8]) {
    const __m128i s01 = _mm_add_epi16(r[0], r[7]), s10 = _mm_add_epi16(r[1], r[6]);
    const __m128i s23 = _mm_add_epi16(r[2], r[5]), s32 = _mm_add_epi16(r[3], r[4]);
    const __m128i d01 = _mm_sub_epi16(r[0], r[7]), d10 = _mm_sub_epi16(r[1], r[6]);
    const __m128i d23 = _mm_sub_epi16(r[2], r[5]), d32 = _mm_sub_epi16(r[3], r[4]);
    const __m128i even[4] = {_mm_unpacklo_epi16(s01, s10), _mm_unpackhi_epi16(s01, s10), _mm_unpacklo_epi16(s23, s32),
                             _mm_unpackhi_epi16(s23, s32)};
    const __m128i odd[4] = {_mm_unpacklo_epi16(d01, d10), _mm_unpackhi_epi16(d01, d10), _mm_unpacklo_epi16(d23, d32),
                            _mm_unpackhi_epi16(d23, d32)};
    const __m128i round = _mm_set1_epi32(1 << (kShift - 1));
#pragma GCC unroll 8
    for (int u = 0; u < 8; ++u) {
        const __m128i* in = (u & 1) ? odd : even;
        const __m128i c0 = _mm_load_si128(reinterpret_cast<const __m128i*>(kBasis.pair[u][0]));
        const __m128i c1 = _mm_load_si128(reinterpret_cast<const __m128i*>(kBasis.pair[u][1]));
        __m128i lo = _mm_add_epi32(round, _mm_add_epi32(_mm_madd_epi16(in[0], c0), _mm_madd_epi16(in[2], c1)));
        __m128i hi = _mm_add_epi32(round, _mm_add_epi32(_mm_madd_epi16(in[1], c0), _mm_madd_epi16(in[3], c1)));
        r[u] = _mm_packs_epi32(_mm_srai_epi32(lo, kShift), _mm_srai_epi32(hi, kShift));
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

}  // namespace

void installSse2(EncoderKernels& k) {
    k.forwardDct = forwardDct;
    k.forwardDct2 = [](const int16_t* in0, const int16_t* in1, int16_t* out0, int16_t* out1) {
        forwardDct(in0, out0);
        forwardDct(in1, out1);
    };
    k.quantiseIntra = quantiseIntra;
    k.quantiseInter = quantiseInter;
    k.sad16 = sad16;
    k.sad16Half = sad16Half;
    k.sad8 = sad8;
    k.activity16 = activity16;
    k.loadBlock = loadBlock;
    k.differenceBlock = differenceBlock;
}

}  // namespace vantry::codec::enc
