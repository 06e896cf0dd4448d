// SSE2 kernels: inverse transform, block store/add and half-sample prediction, each
// bit-exact with its plain form.
#include <emmintrin.h>

#include <cstdint>

#include "idct_x86_common.h"
#include "kernels_x86.h"

namespace vantry::codec::detail {
namespace {

// Four int32 lanes of rows 0..3 and four of rows 4..7 (or columns, in the second pass).
struct Wide {
    __m128i lo;
    __m128i hi;
};

inline Wide madd(__m128i a, __m128i b, __m128i weights)
{
    return {_mm_madd_epi16(_mm_unpacklo_epi16(a, b), weights), _mm_madd_epi16(_mm_unpackhi_epi16(a, b), weights)};
}
inline Wide add(Wide a, Wide b) { return {_mm_add_epi32(a.lo, b.lo), _mm_add_epi32(a.hi, b.hi)}; }
inline Wide sub(Wide a, Wide b) { return {_mm_sub_epi32(a.lo, b.lo), _mm_sub_epi32(a.hi, b.hi)}; }
inline Wide addConstant(Wide a, __m128i c) { return {_mm_add_epi32(a.lo, c), _mm_add_epi32(a.hi, c)}; }
template <int Shift>
inline Wide shiftRight(Wide a)
{
    return {_mm_srai_epi32(a.lo, Shift), _mm_srai_epi32(a.hi, Shift)};
}

// (181 * x + 128) >> 8 modulo 2^32, by shifts and adds (SSE2 has no 32-bit multiply).
inline __m128i rotate(__m128i x)
{
    __m128i m = _mm_add_epi32(x, _mm_slli_epi32(x, 2));
    m = _mm_add_epi32(m, _mm_slli_epi32(x, 4));
    m = _mm_add_epi32(m, _mm_slli_epi32(x, 5));
    m = _mm_add_epi32(m, _mm_slli_epi32(x, 7));
    return _mm_srai_epi32(_mm_add_epi32(m, _mm_set1_epi32(128)), 8);
}
inline Wide rotate(Wide a) { return {rotate(a.lo), rotate(a.hi)}; }

// Low 16 bits of each lane, as the plain form's int16 work block keeps them.
inline __m128i wrapTo16(Wide a)
{
    return _mm_packs_epi32(_mm_srai_epi32(_mm_slli_epi32(a.lo, 16), 16), _mm_srai_epi32(_mm_slli_epi32(a.hi, 16), 16));
}
inline __m128i clipTo9Bits(Wide a)
{
    const __m128i packed = _mm_packs_epi32(a.lo, a.hi);
    return _mm_min_epi16(_mm_max_epi16(packed, _mm_set1_epi16(-256)), _mm_set1_epi16(255));
}

enum class Pass { Rows, Columns };

// One pass over eight lanes at once; v[k] holds input k of every lane.
template <Pass P>
inline void idctPass(__m128i v[8])
{
    constexpr int scale = P == Pass::Rows ? 2048 : 256;
    const __m128i bias = _mm_set1_epi32(P == Pass::Rows ? 128 : 8192);
    Wide x8 = addConstant(madd(v[0], v[4], maddPair(scale, scale)), bias);
    Wide x0 = addConstant(madd(v[0], v[4], maddPair(scale, -scale)), bias);
    Wide x4 = madd(v[1], v[7], maddPair(kW1, kW7));
    Wide x5 = madd(v[1], v[7], maddPair(kW7, -kW1));
    Wide x6 = madd(v[3], v[5], maddPair(kW3, kW5));
    Wide x7 = madd(v[3], v[5], maddPair(-kW5, kW3));
    Wide x3 = madd(v[2], v[6], maddPair(kW2, kW6));
    Wide x2 = madd(v[2], v[6], maddPair(kW6, -kW2));
    if constexpr (P == Pass::Columns) {
        const __m128i four = _mm_set1_epi32(4);
        x4 = shiftRight<3>(addConstant(x4, four));
        x5 = shiftRight<3>(addConstant(x5, four));
        x6 = shiftRight<3>(addConstant(x6, four));
        x7 = shiftRight<3>(addConstant(x7, four));
        x3 = shiftRight<3>(addConstant(x3, four));
        x2 = shiftRight<3>(addConstant(x2, four));
    }
    const Wide x1 = add(x4, x6);
    x4 = sub(x4, x6);
    x6 = add(x5, x7);
    x5 = sub(x5, x7);

    x7 = add(x8, x3);
    x8 = sub(x8, x3);
    x3 = add(x0, x2);
    x0 = sub(x0, x2);
    x2 = rotate(add(x4, x5));
    x4 = rotate(sub(x4, x5));

    const Wide out[8] = {add(x7, x1), add(x3, x2), add(x0, x4), add(x8, x6),
                         sub(x8, x6), sub(x0, x4), sub(x3, x2), sub(x7, x1)};
    for (int k = 0; k < 8; ++k) {
        if constexpr (P == Pass::Rows)
            v[k] = wrapTo16(shiftRight<8>(out[k]));
        else
            v[k] = clipTo9Bits(shiftRight<14>(out[k]));
    }
}

void idctSse2(int16_t* block)
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

void putBlockSse2(uint8_t* dst, ptrdiff_t stride, const int16_t* block)
{
    for (int y = 0; y < 8; y += 2) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * y));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * y + 8));
        const __m128i packed = _mm_packus_epi16(a, b);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + y * stride), packed);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + (y + 1) * stride), _mm_srli_si128(packed, 8));
    }
}

void addBlockSse2(uint8_t* dst, ptrdiff_t stride, const int16_t* block)
{
    const __m128i zero = _mm_setzero_si128();
    for (int y = 0; y < 8; y += 2) {
        uint8_t* row0 = dst + y * stride;
        uint8_t* row1 = row0 + stride;
        const __m128i p0 = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row0)), zero);
        const __m128i p1 = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row1)), zero);
        // A saturating add cannot change the clamped result: samples are 0..255.
        const __m128i s0 = _mm_adds_epi16(p0, _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * y)));
        const __m128i s1 = _mm_adds_epi16(p1, _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * y + 8)));
        const __m128i packed = _mm_packus_epi16(s0, s1);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(row0), packed);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(row1), _mm_srli_si128(packed, 8));
    }
}

template <int Size>
inline __m128i loadRow(const uint8_t* p)
{
    if constexpr (Size == 16)
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    else
        return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
}
template <int Size>
inline void storeRow(uint8_t* p, __m128i v)
{
    if constexpr (Size == 16)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
    else
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v);
}

template <int Size>
void predictCopySse2(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride)
{
    for (int y = 0; y < Size; ++y)
        storeRow<Size>(dst + y * dstStride, loadRow<Size>(src + y * srcStride));
}

template <int Size>
void predictHorizontalSse2(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride)
{
    for (int y = 0; y < Size; ++y) {
        const uint8_t* a = src + y * srcStride;
        storeRow<Size>(dst + y * dstStride, _mm_avg_epu8(loadRow<Size>(a), loadRow<Size>(a + 1)));
    }
}

template <int Size>
void predictVerticalSse2(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride)
{
    __m128i above = loadRow<Size>(src);
    for (int y = 0; y < Size; ++y) {
        const __m128i below = loadRow<Size>(src + (y + 1) * srcStride);
        storeRow<Size>(dst + y * dstStride, _mm_avg_epu8(above, below));
        above = below;
    }
}

// Horizontal pair sums of one row, low and high eight samples, in 16 bits.
struct PairSums {
    __m128i lo;
    __m128i hi;
};
template <int Size>
inline PairSums pairSums(const uint8_t* p)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i a = loadRow<Size>(p);
    const __m128i b = loadRow<Size>(p + 1);
    PairSums s{_mm_add_epi16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero)), zero};
    if constexpr (Size == 16)
        s.hi = _mm_add_epi16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero));
    return s;
}

template <int Size>
void predictDiagonalSse2(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride)
{
    const __m128i two = _mm_set1_epi16(2);
    PairSums above = pairSums<Size>(src);
    for (int y = 0; y < Size; ++y) {
        const PairSums below = pairSums<Size>(src + (y + 1) * srcStride);
        const __m128i lo = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(above.lo, below.lo), two), 2);
        const __m128i hi = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(above.hi, below.hi), two), 2);
        storeRow<Size>(dst + y * dstStride, _mm_packus_epi16(lo, hi));
        above = below;
    }
}

} // namespace

void initKernelsSse2(CodecKernels& table)
{
    table.idct = idctSse2;
    table.putBlock = putBlockSse2;
    table.addBlock = addBlockSse2;
    table.predict16[0] = predictCopySse2<16>;
    table.predict16[1] = predictHorizontalSse2<16>;
    table.predict16[2] = predictVerticalSse2<16>;
    table.predict16[3] = predictDiagonalSse2<16>;
    table.predict8[0] = predictCopySse2<8>;
    table.predict8[1] = predictHorizontalSse2<8>;
    table.predict8[2] = predictVerticalSse2<8>;
    table.predict8[3] = predictDiagonalSse2<8>;
}

} // namespace vantry::codec::detail
