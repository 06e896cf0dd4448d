#pragma once
// Kernel table of the codec's hot loops. It is filled first with the plain forms, then
// overridden by faster variants in ascending instruction-set order as the CPU-feature
// mask allows. Every variant gives exactly the plain form's results; the kernel checker
// test compares them.
#include <cstddef>
#include <cstdint>

namespace vantry::codec {

using IdctFn = void (*)(int16_t* block);
using BlockStoreFn = void (*)(uint8_t* dst, ptrdiff_t stride, const int16_t* block);
using PredictFn = void (*)(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride);

struct CodecKernels {
    IdctFn idct = nullptr;          // in place, see idct.h
    BlockStoreFn putBlock = nullptr; // dst = clamp(block)
    BlockStoreFn addBlock = nullptr; // dst = clamp(dst + block)
    PredictFn predict16[4] = {};    // 16x16, indexed by halfSamplePhase()
    PredictFn predict8[4] = {};     // 8x8, likewise
};

// Fills table for the features in cpuMask (a CpuFeature mask); bits the build has no
// variant for are ignored.
void initCodecKernels(CodecKernels& table, uint32_t cpuMask);

// The process-wide table, chosen once from the detected features on first use.
const CodecKernels& codecKernels();

} // namespace vantry::codec
