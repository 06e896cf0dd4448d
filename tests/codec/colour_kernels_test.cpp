// Colour kernel checker: every variant gives the plain form's bytes for every row width
// (vector body and scalar tail) on random and extreme samples; the seed is printed.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "codec/colour_kernels.h"
#include "codec/cpu_features.h"

using namespace vantry::codec;

TEST(ColourKernelChecker, EveryVariantMatchesPlain)
{
    const char* fixed = std::getenv("VX_KERNEL_SEED");
    const uint32_t seed = fixed ? static_cast<uint32_t>(std::strtoul(fixed, nullptr, 10)) : std::random_device{}();
    std::printf("colour kernel checker seed: %u (replay with VX_KERNEL_SEED=%u)\n", seed, seed);
    std::mt19937 rng(seed);

    ColourKernels plain;
    initColourKernels(plain, 0);
    ColourKernels best;
    initColourKernels(best, cpuFeatureMask());
    if (best.rowToRgb24FullRange == plain.rowToRgb24FullRange)
        GTEST_SKIP() << "no colour kernel variant for this processor";

    for (int width = 1; width <= 70; ++width) {
        for (int trial = 0; trial < 20; ++trial) {
            std::vector<uint8_t> y(static_cast<size_t>(width)), u(static_cast<size_t>(width + 1) / 2),
                v(static_cast<size_t>(width + 1) / 2);
            for (auto* plane : {&y, &u, &v})
                for (auto& s : *plane)
                    s = trial == 0 ? 0 : trial == 1 ? 255 : trial == 2 ? static_cast<uint8_t>(rng() & 1 ? 255 : 0)
                                                                       : static_cast<uint8_t>(rng());
            for (int bytes : {3, 4}) {
                std::vector<uint8_t> expected(static_cast<size_t>(width * bytes) + 16, 0xee);
                std::vector<uint8_t> actual(expected);
                const auto pick = [bytes](const ColourKernels& k) {
                    return bytes == 3 ? k.rowToRgb24FullRange : k.rowToRgb32FullRange;
                };
                pick(plain)(y.data(), u.data(), v.data(), expected.data(), width);
                pick(best)(y.data(), u.data(), v.data(), actual.data(), width);
                ASSERT_EQ(expected, actual) << "width " << width << " bytes " << bytes << " seed " << seed;
            }
        }
    }
}
