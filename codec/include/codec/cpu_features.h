#pragma once
// Processor identification, read once per process. On processors without the
// identification instruction (and on non-x86 builds) every question answers false and
// the plain forms run.
#include <cstdint>
#include <string>

namespace vantry::codec {

// Feature bits of the mask that chooses kernel variants. Tests pass smaller masks to
// check each variant against the plain form.
enum CpuFeature : uint32_t {
    kCpuMmx = 1u << 0,
    kCpuIntegerSse = 1u << 1, // SSE, or the MMX extensions of AMD processors
    kCpuSse2 = 1u << 2,
    kCpuSsse3 = 1u << 3,
    kCpuSse41 = 1u << 4,
    kCpuAvx2 = 1u << 5,
};

struct ProcessorInfo {
    std::string vendor;      // leaf 0, e.g. "GenuineIntel", "AuthenticAMD"
    std::string brand;       // extended leaves 0x80000002..4, empty when absent
    int family = 0;
    int model = 0;
    uint32_t featuresEdx = 0;         // leaf 1 EDX
    uint32_t featuresEcx = 0;         // leaf 1 ECX
    uint32_t extendedFeaturesEdx = 0; // leaf 0x80000001 EDX
    uint32_t l1CacheInfo[4] = {};     // leaf 0x80000005 EAX..EDX, where present
    uint32_t l2CacheInfo[4] = {};     // leaf 0x80000006 EAX..EDX, where present
    uint32_t features = 0;            // CpuFeature mask usable by this process
};

// Read once on first use, thread-safe.
const ProcessorInfo& processorInfo();

// The three questions the codec and the colour converter ask.
bool cpuHasMmx();
bool cpuHasIntegerSse();
bool cpuHasSse2();

// The detected CpuFeature mask (also requires operating-system support for AVX state).
uint32_t cpuFeatureMask();

} // namespace vantry::codec
