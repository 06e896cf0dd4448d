// SSSE3 rows of 4:2:0 to full-range RGB, sixteen pixels per step, bit-exact with the
// plain form: the chroma terms are the same 16-bit high multiplies.
#include <tmmintrin.h>

#include <array>
#include <cstdint>

#include "codec/colour_converter.h"
#include "codec/colour_kernels.h"

namespace vantry::codec::detail {
namespace {

// Shuffle masks that scatter the B, G and R bytes of sixteen pixels into three 16-byte
// chunks of B, G, R triples.
struct TripleMasks {
    alignas(16) std::array<std::array<uint8_t, 16>, 9> masks{}; // [chunk * 3 + channel]
};
constexpr TripleMasks makeTripleMasks()
{
    TripleMasks t{};
    for (int chunk = 0; chunk < 3; ++chunk)
        for (int channel = 0; channel < 3; ++channel)
            for (int i = 0; i < 16; ++i) {
                const int g = 16 * chunk + i;
                t.masks[static_cast<size_t>(chunk * 3 + channel)][static_cast<size_t>(i)] =
                    g % 3 == channel ? static_cast<uint8_t>(g / 3) : 0x80;
            }
    return t;
}
alignas(16) constexpr TripleMasks kTriples = makeTripleMasks();

inline __m128i mask(int chunk, int channel)
{
    return _mm_load_si128(reinterpret_cast<const __m128i*>(kTriples.masks[static_cast<size_t>(chunk * 3 + channel)].data()));
}

struct Pixels16 {
    __m128i b, g, r;
};

inline Pixels16 convert16(const uint8_t* y, const uint8_t* u, const uint8_t* v)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i bias = _mm_set1_epi16(128);
    const __m128i luma = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y));
    const __m128i du8 = _mm_slli_epi16(_mm_sub_epi16(_mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(u)), zero), bias), 2);
    const __m128i dv8 = _mm_slli_epi16(_mm_sub_epi16(_mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(v)), zero), bias), 2);
    Pixels16 out{};
    __m128i halves[3][2];
    for (int half = 0; half < 2; ++half) {
        const __m128i yy = half ? _mm_unpackhi_epi8(luma, zero) : _mm_unpacklo_epi8(luma, zero);
        const __m128i du = half ? _mm_unpackhi_epi16(du8, du8) : _mm_unpacklo_epi16(du8, du8);
        const __m128i dv = half ? _mm_unpackhi_epi16(dv8, dv8) : _mm_unpacklo_epi16(dv8, dv8);
        halves[0][half] = _mm_add_epi16(yy, _mm_mulhi_epi16(du, _mm_set1_epi16(29032)));
        halves[1][half] = _mm_sub_epi16(_mm_sub_epi16(yy, _mm_mulhi_epi16(du, _mm_set1_epi16(5638))),
                                        _mm_mulhi_epi16(dv, _mm_set1_epi16(11701)));
        halves[2][half] = _mm_add_epi16(yy, _mm_mulhi_epi16(dv, _mm_set1_epi16(22970)));
    }
    out.b = _mm_packus_epi16(halves[0][0], halves[0][1]);
    out.g = _mm_packus_epi16(halves[1][0], halves[1][1]);
    out.r = _mm_packus_epi16(halves[2][0], halves[2][1]);
    return out;
}

void rowToRgb24Ssse3(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst, int width)
{
    int x = 0;
    for (; x + 16 <= width; x += 16, dst += 48) {
        const Pixels16 p = convert16(y + x, u + x / 2, v + x / 2);
        for (int chunk = 0; chunk < 3; ++chunk) {
            const __m128i bytes = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(p.b, mask(chunk, 0)),
                                                            _mm_shuffle_epi8(p.g, mask(chunk, 1))),
                                               _mm_shuffle_epi8(p.r, mask(chunk, 2)));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 16 * chunk), bytes);
        }
    }
    for (; x < width; ++x, dst += 3)
        fullRangeToRgb(y[x], u[x / 2], v[x / 2], dst[2], dst[1], dst[0]);
}

void rowToRgb32Ssse3(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst, int width)
{
    const __m128i opaque = _mm_set1_epi8(static_cast<char>(0xff));
    int x = 0;
    for (; x + 16 <= width; x += 16, dst += 64) {
        const Pixels16 p = convert16(y + x, u + x / 2, v + x / 2);
        const __m128i bgLow = _mm_unpacklo_epi8(p.b, p.g);
        const __m128i bgHigh = _mm_unpackhi_epi8(p.b, p.g);
        const __m128i raLow = _mm_unpacklo_epi8(p.r, opaque);
        const __m128i raHigh = _mm_unpackhi_epi8(p.r, opaque);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_unpacklo_epi16(bgLow, raLow));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 16), _mm_unpackhi_epi16(bgLow, raLow));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 32), _mm_unpacklo_epi16(bgHigh, raHigh));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 48), _mm_unpackhi_epi16(bgHigh, raHigh));
    }
    for (; x < width; ++x, dst += 4) {
        fullRangeToRgb(y[x], u[x / 2], v[x / 2], dst[2], dst[1], dst[0]);
        dst[3] = 0xff;
    }
}

} // namespace

void initColourKernelsSsse3(ColourKernels& table)
{
    table.rowToRgb24FullRange = rowToRgb24Ssse3;
    table.rowToRgb32FullRange = rowToRgb32Ssse3;
}

} // namespace vantry::codec::detail
