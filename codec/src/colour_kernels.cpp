#include "codec/colour_kernels.h"

#include "codec/colour_converter.h"
#include "codec/cpu_features.h"

namespace vantry::codec {

namespace detail {
void initColourKernelsSsse3(ColourKernels& table);
} // namespace detail

namespace {

void rowToRgb24Plain(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst, int width)
{
    for (int x = 0; x < width; ++x, dst += 3)
        fullRangeToRgb(y[x], u[x / 2], v[x / 2], dst[2], dst[1], dst[0]);
}

void rowToRgb32Plain(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst, int width)
{
    for (int x = 0; x < width; ++x, dst += 4) {
        fullRangeToRgb(y[x], u[x / 2], v[x / 2], dst[2], dst[1], dst[0]);
        dst[3] = 0xff;
    }
}

} // namespace

void initColourKernels(ColourKernels& table, uint32_t cpuMask)
{
    table.rowToRgb24FullRange = rowToRgb24Plain;
    table.rowToRgb32FullRange = rowToRgb32Plain;
#ifdef VX_HAVE_X86
    if (cpuMask & kCpuSsse3)
        detail::initColourKernelsSsse3(table);
#else
    (void)cpuMask;
#endif
}

const ColourKernels& colourKernels()
{
    static const ColourKernels table = [] {
        ColourKernels chosen;
        initColourKernels(chosen, cpuFeatureMask());
        return chosen;
    }();
    return table;
}

} // namespace vantry::codec
