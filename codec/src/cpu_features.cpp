#include "codec/cpu_features.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#define VX_CPUID_AVAILABLE 1
#endif

namespace vantry::codec {
namespace {

#ifdef VX_CPUID_AVAILABLE
bool queryCpuid(uint32_t leaf, uint32_t regs[4])
{
    unsigned a = 0, b = 0, c = 0, d = 0;
    // __get_cpuid checks that the leaf exists (and, on 32-bit builds, that the
    // instruction does).
    if (!__get_cpuid(leaf, &a, &b, &c, &d))
        return false;
    regs[0] = a;
    regs[1] = b;
    regs[2] = c;
    regs[3] = d;
    return true;
}

bool osSavesAvxState()
{
    uint32_t eax = 0, edx = 0;
    __asm__ volatile("xgetbv" : "=a"(eax), "=d"(edx) : "c"(0));
    return (eax & 0x6) == 0x6; // XMM and YMM state
}
#endif

ProcessorInfo detect()
{
    ProcessorInfo info;
#ifdef VX_CPUID_AVAILABLE
    uint32_t r[4] = {};
    if (!queryCpuid(0, r))
        return info;
    const uint32_t maxLeaf = r[0];
    char vendor[13] = {};
    std::memcpy(vendor, &r[1], 4);
    std::memcpy(vendor + 4, &r[3], 4);
    std::memcpy(vendor + 8, &r[2], 4);
    info.vendor = vendor;

    if (maxLeaf >= 1 && queryCpuid(1, r)) {
        const uint32_t baseFamily = (r[0] >> 8) & 0xf;
        const uint32_t baseModel = (r[0] >> 4) & 0xf;
        info.family = static_cast<int>(baseFamily == 0xf ? baseFamily + ((r[0] >> 20) & 0xff) : baseFamily);
        info.model = static_cast<int>(baseFamily >= 6 ? baseModel + (((r[0] >> 16) & 0xf) << 4) : baseModel);
        info.featuresEcx = r[2];
        info.featuresEdx = r[3];
    }
    uint32_t maxExtended = 0;
    if (queryCpuid(0x80000000u, r))
        maxExtended = r[0];
    if (maxExtended >= 0x80000001u && queryCpuid(0x80000001u, r))
        info.extendedFeaturesEdx = r[3];
    if (maxExtended >= 0x80000004u) {
        char brand[49] = {};
        for (uint32_t i = 0; i < 3; ++i)
            if (queryCpuid(0x80000002u + i, r))
                std::memcpy(brand + 16 * i, r, 16);
        info.brand = brand;
        const auto first = info.brand.find_first_not_of(' ');
        info.brand = first == std::string::npos ? std::string() : info.brand.substr(first);
    }
    if (maxExtended >= 0x80000005u)
        queryCpuid(0x80000005u, info.l1CacheInfo);
    if (maxExtended >= 0x80000006u)
        queryCpuid(0x80000006u, info.l2CacheInfo);

    uint32_t features = 0;
    if (info.featuresEdx & (1u << 23))
        features |= kCpuMmx;
    if ((info.featuresEdx & (1u << 25)) || (info.extendedFeaturesEdx & (1u << 22)))
        features |= kCpuIntegerSse;
    if (info.featuresEdx & (1u << 26))
        features |= kCpuSse2;
    if (info.featuresEcx & (1u << 9))
        features |= kCpuSsse3;
    if (info.featuresEcx & (1u << 19))
        features |= kCpuSse41;
    const bool osxsave = (info.featuresEcx & (1u << 27)) != 0;
    const bool avx = (info.featuresEcx & (1u << 28)) != 0;
    if (maxLeaf >= 7 && osxsave && avx && osSavesAvxState()) {
        unsigned a = 0, b = 0, c = 0, d = 0;
        __cpuid_count(7, 0, a, b, c, d);
        if (b & (1u << 5))
            features |= kCpuAvx2;
    }
    info.features = features;
#endif
    return info;
}

} // namespace

const ProcessorInfo& processorInfo()
{
    static const ProcessorInfo info = detect();
    return info;
}

bool cpuHasMmx() { return (processorInfo().features & kCpuMmx) != 0; }
bool cpuHasIntegerSse() { return (processorInfo().features & kCpuIntegerSse) != 0; }
bool cpuHasSse2() { return (processorInfo().features & kCpuSse2) != 0; }
uint32_t cpuFeatureMask() { return processorInfo().features; }

} // namespace vantry::codec
