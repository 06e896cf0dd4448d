// Walks the encoder's kernel ladder: every entry that a processor-specific variant replaces is
// compared with the plain form on random and worst-case inputs. The seed is printed so that a
// failure can be replayed with VX_KERNEL_SEED.
#include "encoder_kernels.h"

#include "codec/cpu_features.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace vantry::codec::enc {
namespace {

uint32_t testSeed() {
    static const uint32_t seed = [] {
        const char* fromEnv = std::getenv("VX_KERNEL_SEED");
        const uint32_t s = fromEnv ? static_cast<uint32_t>(std::strtoul(fromEnv, nullptr, 10)) : std::random_device{}();
        std::printf("encoder kernel checker seed: %u (set VX_KERNEL_SEED to replay)\n", s);
        return s;
    }();
    return seed;
}

struct Level {
    const char* name;
    uint32_t mask;
};

std::vector<Level> availableLevels() {
    std::vector<Level> levels;
    const uint32_t cpu = cpuFeatureMask();
    if (cpu & kCpuSse2)
        levels.push_back({"sse2", kCpuSse2});
    if ((cpu & kCpuAvx2) && (cpu & kCpuSse2))
        levels.push_back({"avx2", kCpuSse2 | kCpuAvx2});
    return levels;
}

// Picture-like planes: random, flat extremes and a sharp checkerboard (largest SADs and
// transform coefficients).
std::vector<uint8_t> makePlane(std::mt19937& rng, int size, int kind) {
    std::vector<uint8_t> plane(size);
    for (int i = 0; i < size; ++i) {
        switch (kind) {
        case 0: plane[i] = static_cast<uint8_t>(rng()); break;
        case 1: plane[i] = 255; break;
        case 2: plane[i] = 0; break;
        default: plane[i] = ((i / 1) ^ (i / 48)) & 1 ? 255 : 0; break;
        }
    }
    return plane;
}


TEST(EncoderKernelChecker, SadVariantsDecideLikeThePlainForm) {
    std::mt19937 rng(testSeed());
    constexpr int kStride = 48;
    for (const Level& level : availableLevels()) {
        const EncoderKernels k = encoderKernelsFor(level.mask);
        for (int round = 0; round < 400; ++round) {
            const auto cur = makePlane(rng, kStride * 20, round % 4);
            const auto ref = makePlane(rng, kStride * 20, (round / 4) % 4);
            const int curOffset = static_cast<int>(rng() % 16);
            const int refOffset = static_cast<int>(rng() % 16);
            const int hx = static_cast<int>(rng() & 1);
            const int hy = static_cast<int>(rng() & 1);
            const int full = plain::sad16(cur.data() + curOffset, kStride, ref.data() + refOffset, kStride, INT32_MAX);
            // Bounds around the true SAD exercise the early stop and the completed tie.
            for (int best : {INT32_MAX, full, full - 1, full / 2, 0}) {
                const int want = plain::sad16(cur.data() + curOffset, kStride, ref.data() + refOffset, kStride, best);
                const int got = k.sad16(cur.data() + curOffset, kStride, ref.data() + refOffset, kStride, best);
                if (want <= best)
                    ASSERT_EQ(got, want) << level.name << " sad16 round " << round << " best " << best;
                else
                    ASSERT_GT(got, best) << level.name << " sad16 round " << round << " best " << best;

                const int wantHalf = plain::sad16Half(cur.data() + curOffset, kStride, ref.data() + refOffset, kStride, hx, hy, best);
                const int gotHalf = k.sad16Half(cur.data() + curOffset, kStride, ref.data() + refOffset, kStride, hx, hy, best);
                if (wantHalf <= best)
                    ASSERT_EQ(gotHalf, wantHalf) << level.name << " sad16Half " << hx << hy << " round " << round;
                else
                    ASSERT_GT(gotHalf, best) << level.name << " sad16Half " << hx << hy << " round " << round;
            }
            uint8_t pred[64];
            std::copy_n(ref.begin() + refOffset, 64, pred);
            ASSERT_EQ(k.sad8(cur.data() + curOffset, kStride, pred), plain::sad8(cur.data() + curOffset, kStride, pred)) << level.name;
            ASSERT_EQ(k.activity16(cur.data() + curOffset, kStride), plain::activity16(cur.data() + curOffset, kStride)) << level.name;
        }
    }
}

TEST(EncoderKernelChecker, BlockLoadsAreBitExact) {
    std::mt19937 rng(testSeed() + 1);
    constexpr int kStride = 40;
    for (const Level& level : availableLevels()) {
        const EncoderKernels k = encoderKernelsFor(level.mask);
        for (int round = 0; round < 300; ++round) {
            const auto src = makePlane(rng, kStride * 12, round % 4);
            const auto ref = makePlane(rng, kStride * 12, (round + 1) % 4);
            uint8_t pred[64];
            std::copy_n(ref.begin() + 3, 64, pred);
            int16_t want[64], got[64];
            plain::differenceBlock(src.data() + 5, kStride, pred, want);
            k.differenceBlock(src.data() + 5, kStride, pred, got);
            ASSERT_TRUE(std::equal(want, want + 64, got)) << level.name << " difference";
            plain::loadBlock(src.data() + 5, kStride, want);
            k.loadBlock(src.data() + 5, kStride, got);
            ASSERT_TRUE(std::equal(want, want + 64, got)) << level.name << " load";
        }
    }
}

TEST(EncoderKernelChecker, QuantisersAreBitExactForEveryQuantiser) {
    std::mt19937 rng(testSeed() + 2);
    for (const Level& level : availableLevels()) {
        const EncoderKernels k = encoderKernelsFor(level.mask);
        for (int qp = 1; qp <= 31; ++qp) {
            QuantTables tables;
            buildQuantTables(tables, qp);
            for (int round = 0; round < 50; ++round) {
                alignas(16) int16_t coef[64];
                for (auto& c : coef) {
                    // Mostly small values around the dead zone, some at the transform's extremes.
                    const int pick = static_cast<int>(rng() % 10);
                    c = static_cast<int16_t>(pick == 0 ? (rng() & 1 ? 2040 : -2040) : static_cast<int>(rng() % (8 * qp + 1)) - 4 * qp);
                }
                if (round == 0)
                    std::fill(coef, coef + 64, int16_t{0});
                alignas(16) int16_t want[64], got[64];
                want[0] = got[0] = 99;
                const int wantAny = plain::quantiseIntra(coef, want, tables);
                const int gotAny = k.quantiseIntra(coef, got, tables);
                ASSERT_EQ(wantAny, gotAny) << level.name << " intra qp " << qp;
                ASSERT_TRUE(std::equal(want, want + 64, got)) << level.name << " intra qp " << qp;
                ASSERT_EQ(got[0], 99) << "intra quantiser must leave the DC alone";
                ASSERT_EQ(plain::quantiseInter(coef, want, tables), k.quantiseInter(coef, got, tables)) << level.name;
                ASSERT_TRUE(std::equal(want, want + 64, got)) << level.name << " inter qp " << qp;
            }
        }
    }
}

// The fixed-point transforms may differ from the double-precision form by rounding only.
TEST(EncoderKernelChecker, ForwardTransformStaysWithinRoundingOfThePlainForm) {
    std::mt19937 rng(testSeed() + 3);
    for (const Level& level : availableLevels()) {
        const EncoderKernels k = encoderKernelsFor(level.mask);
        for (int round = 0; round < 2000; ++round) {
            alignas(16) int16_t in[64];
            const int kind = round % 5;
            for (int i = 0; i < 64; ++i) {
                switch (kind) {
                case 0: in[i] = static_cast<int16_t>(rng() % 256); break;                    // intra samples
                case 1: in[i] = static_cast<int16_t>(static_cast<int>(rng() % 511) - 255); break;  // differences
                case 2: in[i] = ((i >> 3) + i) & 1 ? 255 : -255; break;                        // worst checkerboard
                case 3: in[i] = 255; break;
                default: in[i] = static_cast<int16_t>(static_cast<int>(rng() % 21) - 10); break;
                }
            }
            alignas(16) int16_t want[64], got[64];
            plain::forwardDct(in, want);
            k.forwardDct(in, got);
            for (int i = 0; i < 64; ++i)
                ASSERT_LE(std::abs(want[i] - got[i]), 1) << level.name << " coefficient " << i << " round " << round;
        }
    }
}

}  // namespace
}  // namespace vantry::codec::enc
