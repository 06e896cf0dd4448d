// Kernel table of the encoder: the per-block arithmetic that dominates encoding time.
// The plain forms are the reference; processor-specific variants fill the same table and
// are checked against the plain forms by tests/codec/kernels_enc_test.cpp.
#pragma once

#include <cstdint>

namespace vantry::codec::enc {

// Forward quantiser tables for one quantiser: Q = max(QP, 2), dead zone D = Q / 2 and
// reciprocal R = 65536 / (2Q), each repeated for the 64 coefficient positions so that the
// vector kernels can load them directly.
struct alignas(64) QuantTables {
    int16_t deadZone[64];
    uint16_t reciprocal[64];
    int quantiser = 0;
};

void buildQuantTables(QuantTables& tables, int quantiser);

// An 8x8 residual whose SAD is below this bound quantises to all zero inter levels, so its
// transform can be skipped without changing a bit: |F(u,v)| <= SAD / 4 for the orthonormal
// transform (every basis product is at most 1/4 in magnitude), and a level is non-zero only
// when |c| - D >= 65536 / R. Two units of margin cover the rounding of the transform forms.
inline int zeroResidualSadBound(const QuantTables& tables) {
    const int reciprocal = tables.reciprocal[0];
    const int smallestLevelOne = tables.deadZone[0] + (65536 + reciprocal - 1) / reciprocal;
    const int bound = 4 * (smallestLevelOne - 2);
    return bound > 0 ? bound : 0;
}

// Intra DC level of a transformed block: clip((DC + 4) >> 3, 1, 254) by the reciprocal 8192.
int quantiseIntraDc(int dc);

// A SAD kernel stops early once the running sum can no longer beat `best`; the value it then
// returns is larger than `best` but otherwise meaningless. A sum equal to `best` is always
// completed so that the search's tie rules see it.
using Sad16Fn = int (*)(const uint8_t* cur, int curStride, const uint8_t* ref, int refStride, int best);
// Half-sample SAD: `ref` points at the integer position, (hx, hy) in {0, 1} is the phase;
// the interpolation is the decoder's (rounding type 0) and reads one extra row and column.
using Sad16HalfFn = int (*)(const uint8_t* cur, int curStride, const uint8_t* ref, int refStride, int hx,
                            int hy, int best);

struct EncoderKernels {
    // 8x8 forward DCT-II, orthonormal scaling, rows then columns; row-major in and out.
    void (*forwardDct)(const int16_t* in, int16_t* out);
    // Two independent blocks at once (wide registers hold a row of each).
    void (*forwardDct2)(const int16_t* in0, const int16_t* in1, int16_t* out0, int16_t* out1);
    // Quantises coefficients 1..63 (levels[0] is left alone). Returns the non-zero levels as
    // a mask, bit i for coefficient i in row-major order (bit 0 always clear).
    uint64_t (*quantiseIntra)(const int16_t* coef, int16_t* levels, const QuantTables& tables);
    // Quantises all 64 coefficients with the dead zone; returns the mask of non-zero levels.
    uint64_t (*quantiseInter)(const int16_t* coef, int16_t* levels, const QuantTables& tables);
    Sad16Fn sad16;
    Sad16HalfFn sad16Half;
    // SAD of an 8x8 block against an 8x8 prediction.
    int (*sad8)(const uint8_t* cur, int curStride, const uint8_t* pred, int predStride);
    // Sum of |sample - mean| over a 16x16 luma block, mean = sum / 256 (integer division).
    int (*activity16)(const uint8_t* src, int stride);
    // Widens an 8x8 block of samples to int16.
    void (*loadBlock)(const uint8_t* src, int stride, int16_t* out);
    // out = src - pred for an 8x8 block.
    void (*differenceBlock)(const uint8_t* src, int stride, const uint8_t* pred, int predStride, int16_t* out);
};
// Prediction, inverse transform and reconstruction are the decoder's kernels (kernels.h):
// the encoder's reference pictures must be exactly what a decoder builds.

// The table for an explicit CpuFeature mask, filled with the plain forms and then
// overridden in ascending instruction-set order. Tests use it to walk the ladder.
EncoderKernels encoderKernelsFor(uint32_t cpuMask);
// The process-wide table, chosen on first use.
const EncoderKernels& encoderKernels();

// Plain forms, also the reference for the checker.
namespace plain {
void forwardDct(const int16_t* in, int16_t* out);
void forwardDct2(const int16_t* in0, const int16_t* in1, int16_t* out0, int16_t* out1);
uint64_t quantiseIntra(const int16_t* coef, int16_t* levels, const QuantTables& tables);
uint64_t quantiseInter(const int16_t* coef, int16_t* levels, const QuantTables& tables);
int sad16(const uint8_t* cur, int curStride, const uint8_t* ref, int refStride, int best);
int sad16Half(const uint8_t* cur, int curStride, const uint8_t* ref, int refStride, int hx, int hy, int best);
int sad8(const uint8_t* cur, int curStride, const uint8_t* pred, int predStride);
int activity16(const uint8_t* src, int stride);
void loadBlock(const uint8_t* src, int stride, int16_t* out);
void differenceBlock(const uint8_t* src, int stride, const uint8_t* pred, int predStride, int16_t* out);
}  // namespace plain

#if defined(VX_HAVE_X86)
void installSse2(EncoderKernels& kernels);
void installAvx2(EncoderKernels& kernels);
#endif

}  // namespace vantry::codec::enc
