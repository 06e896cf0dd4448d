#include "codec/kernels.h"

#include "codec/cpu_features.h"
#include "codec/idct.h"
#include "codec/motion_compensation.h"

#ifdef VX_HAVE_X86
#include "kernels_x86.h"
#endif

namespace vantry::codec {
namespace {

template <int Size, int Phase>
void predictPlain(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride)
{
    predictBlockPlain(dst, dstStride, src, srcStride, Size, Phase);
}

} // namespace

void initCodecKernels(CodecKernels& table, uint32_t cpuMask)
{
    table.idct = idctPlain;
    table.putBlock = putBlockPlain;
    table.addBlock = addBlockPlain;
    table.predict16[0] = predictPlain<16, 0>;
    table.predict16[1] = predictPlain<16, 1>;
    table.predict16[2] = predictPlain<16, 2>;
    table.predict16[3] = predictPlain<16, 3>;
    table.predict8[0] = predictPlain<8, 0>;
    table.predict8[1] = predictPlain<8, 1>;
    table.predict8[2] = predictPlain<8, 2>;
    table.predict8[3] = predictPlain<8, 3>;
#ifdef VX_HAVE_X86
    if (cpuMask & kCpuSse2)
        detail::initKernelsSse2(table);
    if (cpuMask & kCpuAvx2)
        detail::initKernelsAvx2(table);
#else
    (void)cpuMask;
#endif
}

const CodecKernels& codecKernels()
{
    static const CodecKernels table = [] {
        CodecKernels chosen;
        initCodecKernels(chosen, cpuFeatureMask());
        return chosen;
    }();
    return table;
}

} // namespace vantry::codec
