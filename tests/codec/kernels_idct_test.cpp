// Kernel checker: every variant that the feature ladder installs must give exactly the
// plain form's results, on random and on extreme inputs. The seed is printed so that a
// failure can be replayed with VX_KERNEL_SEED.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "codec/cpu_features.h"
#include "codec/idct.h"
#include "codec/kernels.h"

using namespace vantry::codec;

namespace {

uint32_t testSeed()
{
    static const uint32_t seed = [] {
        const char* fixed = std::getenv("VX_KERNEL_SEED");
        const uint32_t s = fixed ? static_cast<uint32_t>(std::strtoul(fixed, nullptr, 10)) : std::random_device{}();
        std::printf("kernel checker seed: %u (replay with VX_KERNEL_SEED=%u)\n", s, s);
        return s;
    }();
    return seed;
}

struct Rung {
    const char* name;
    uint32_t mask;
};
// The feature ladder, lowest first; each rung adds one instruction set.
constexpr Rung kLadder[] = {{"sse2", kCpuMmx | kCpuIntegerSse | kCpuSse2},
                            {"avx2", kCpuMmx | kCpuIntegerSse | kCpuSse2 | kCpuSsse3 | kCpuSse41 | kCpuAvx2}};

using Block = std::array<int16_t, 64>;

std::vector<Block> idctInputs(std::mt19937& rng)
{
    std::vector<Block> blocks;
    auto add = [&](auto&& fill) {
        Block b{};
        for (int i = 0; i < 64; ++i)
            b[static_cast<size_t>(i)] = static_cast<int16_t>(fill(i));
        blocks.push_back(b);
    };
    add([](int) { return 0; });
    add([](int i) { return i == 0 ? 1024 : 0; });      // flat 128 after scaling
    add([](int) { return 32767; });
    add([](int) { return -32768; });
    add([](int i) { return (i & 1) ? 32767 : -32768; });
    add([](int i) { return ((i ^ (i >> 3)) & 1) ? 7967 : -7967; }); // largest dequantised level
    add([](int i) { return i % 9 == 0 ? -7967 : 7967; });
    for (int k = 0; k < 64; ++k)
        add([k](int i) { return i == k ? 2047 : 0; }); // each basis function alone
    std::uniform_int_distribution<int> any(-32768, 32767);
    std::uniform_int_distribution<int> typical(-300, 300);
    std::uniform_int_distribution<int> position(0, 63);
    for (int n = 0; n < 3000; ++n) {
        switch (n % 3) {
        case 0: add([&](int) { return any(rng); }); break;
        case 1: add([&](int) { return typical(rng); }); break;
        default: {
            Block b{};
            for (int events = 0; events < 4; ++events)
                b[static_cast<size_t>(position(rng))] = static_cast<int16_t>(typical(rng) * 8);
            blocks.push_back(b);
        }
        }
    }
    return blocks;
}

} // namespace

TEST(KernelChecker, PlainIdctMatchesKnownValues)
{
    Block dc{};
    dc[0] = 1024; // DC 8 * 128
    idctPlain(dc.data());
    for (int16_t v : dc)
        EXPECT_EQ(v, 128);
    Block zero{};
    idctPlain(zero.data());
    for (int16_t v : zero)
        EXPECT_EQ(v, 0);
    Block saturating{};
    saturating.fill(32767);
    idctPlain(saturating.data());
    for (int16_t v : saturating)
        EXPECT_TRUE(v >= -256 && v <= 255);
}

TEST(KernelChecker, EveryIdctVariantMatchesPlain)
{
    std::mt19937 rng(testSeed());
    const auto inputs = idctInputs(rng);
    for (const Rung& rung : kLadder) {
        if ((cpuFeatureMask() & rung.mask) != rung.mask)
            continue;
        CodecKernels table;
        initCodecKernels(table, rung.mask);
        for (size_t n = 0; n < inputs.size(); ++n) {
            Block expected = inputs[n];
            Block actual = inputs[n];
            idctPlain(expected.data());
            table.idct(actual.data());
            ASSERT_EQ(expected, actual) << rung.name << " input " << n << " seed " << testSeed();
        }
    }
}

TEST(KernelChecker, EveryBlockAndPredictionVariantMatchesPlain)
{
    std::mt19937 rng(testSeed() + 1);
    CodecKernels plain;
    initCodecKernels(plain, 0);
    constexpr int stride = 40;
    std::uniform_int_distribution<int> sample(0, 255);
    std::uniform_int_distribution<int> residual(-32768, 32767);
    for (const Rung& rung : kLadder) {
        if ((cpuFeatureMask() & rung.mask) != rung.mask)
            continue;
        CodecKernels table;
        initCodecKernels(table, rung.mask);
        for (int trial = 0; trial < 300; ++trial) {
            std::vector<uint8_t> source(stride * 20);
            for (auto& s : source)
                s = static_cast<uint8_t>(trial < 4 ? (trial & 1) * 255 : sample(rng)); // extremes first
            for (int phase = 0; phase < 4; ++phase) {
                for (int size : {8, 16}) {
                    std::vector<uint8_t> expected(stride * 17, 7), actual(stride * 17, 7);
                    (size == 16 ? plain.predict16 : plain.predict8)[phase](expected.data(), stride, source.data() + 3,
                                                                            stride);
                    (size == 16 ? table.predict16 : table.predict8)[phase](actual.data(), stride, source.data() + 3,
                                                                            stride);
                    ASSERT_EQ(expected, actual) << rung.name << " size " << size << " phase " << phase << " seed "
                                                << testSeed();
                }
            }
            Block block{};
            for (auto& c : block)
                c = static_cast<int16_t>(trial % 2 ? residual(rng) : residual(rng) % 300);
            std::vector<uint8_t> expected(source), actual(source);
            plain.addBlock(expected.data() + 5, stride, block.data());
            table.addBlock(actual.data() + 5, stride, block.data());
            ASSERT_EQ(expected, actual) << rung.name << " addBlock seed " << testSeed();
            plain.putBlock(expected.data() + 9, stride, block.data());
            table.putBlock(actual.data() + 9, stride, block.data());
            ASSERT_EQ(expected, actual) << rung.name << " putBlock seed " << testSeed();
        }
    }
}

TEST(KernelChecker, ProcessTableIsChosenOnceFromDetectedFeatures)
{
    const CodecKernels& first = codecKernels();
    const CodecKernels& second = codecKernels();
    EXPECT_EQ(&first, &second);
    CodecKernels expected;
    initCodecKernels(expected, cpuFeatureMask());
    EXPECT_EQ(first.idct, expected.idct);
    CodecKernels plainOnly;
    initCodecKernels(plainOnly, 0);
    EXPECT_EQ(plainOnly.idct, &idctPlain);
}
