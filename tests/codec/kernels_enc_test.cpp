// Walks the encoder's kernel ladder: every entry that a processor-specific variant replaces is
// compared with the plain form on random and worst-case inputs. The seed is printed so that a
// failure can be replayed with VX_KERNEL_SEED.
#include "encoder_kernels.h"
#include "forward_dct_basis.h"

#include "codec/cpu_features.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
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
            ASSERT_EQ(k.sad8(cur.data() + curOffset, kStride, pred, 8), plain::sad8(cur.data() + curOffset, kStride, pred, 8)) << level.name;
            ASSERT_EQ(k.sad8(cur.data() + curOffset, kStride, ref.data() + refOffset, kStride),
                      plain::sad8(cur.data() + curOffset, kStride, ref.data() + refOffset, kStride)) << level.name;
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
            plain::differenceBlock(src.data() + 5, kStride, pred, 8, want);
            k.differenceBlock(src.data() + 5, kStride, pred, 8, got);
            ASSERT_TRUE(std::equal(want, want + 64, got)) << level.name << " difference";
            plain::differenceBlock(src.data() + 5, kStride, ref.data() + 1, kStride, want);
            k.differenceBlock(src.data() + 5, kStride, ref.data() + 1, kStride, got);
            ASSERT_TRUE(std::equal(want, want + 64, got)) << level.name << " difference with a picture stride";
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
                const uint64_t wantMask = plain::quantiseIntra(coef, want, tables);
                const uint64_t gotMask = k.quantiseIntra(coef, got, tables);
                ASSERT_EQ(wantMask, gotMask) << level.name << " intra qp " << qp;
                for (int i = 1; i < 64; ++i)
                    ASSERT_EQ((wantMask >> i) & 1, uint64_t{want[i] != 0}) << "mask bit " << i;
                ASSERT_TRUE(std::equal(want, want + 64, got)) << level.name << " intra qp " << qp;
                ASSERT_EQ(got[0], 99) << "intra quantiser must leave the DC alone";
                ASSERT_EQ(plain::quantiseInter(coef, want, tables), k.quantiseInter(coef, got, tables)) << level.name;
                ASSERT_TRUE(std::equal(want, want + 64, got)) << level.name << " inter qp " << qp;
            }
        }
    }
}

// c(u) * cos((2j + 1) u pi / 16), row u.
const std::array<std::array<double, 8>, 8>& cosineBasis() {
    static const auto table = [] {
        std::array<std::array<double, 8>, 8> t{};
        for (int u = 0; u < 8; ++u)
            for (int j = 0; j < 8; ++j)
                t[u][j] = (u == 0 ? std::sqrt(1.0 / 8.0) : 0.5) * std::cos((2 * j + 1) * u * std::numbers::pi / 16.0);
        return t;
    }();
    return table;
}

TEST(EncoderKernelChecker, FixedPointBasisIsTheRoundedTransformBasis) {
    for (int u = 0; u < 8; ++u) {
        for (int j = 0; j < 4; ++j) {
            EXPECT_EQ(kForwardDctBasis[u][j], std::lround(cosineBasis()[u][j] * 16384.0)) << "u " << u << " j " << j;
        }
    }
}

// Residuals below the skip bound quantise to nothing in every transform form, also the
// residuals that concentrate their energy on one basis function (the bound's worst case).
TEST(EncoderKernelChecker, ResidualsBelowTheSkipBoundHaveNoLevels) {
    std::mt19937 rng(testSeed() + 4);
    std::vector<EncoderKernels> forms = {encoderKernelsFor(0)};
    for (const Level& level : availableLevels())
        forms.push_back(encoderKernelsFor(level.mask));
    for (int qp = 1; qp <= 31; ++qp) {
        QuantTables tables;
        buildQuantTables(tables, qp);
        const int bound = zeroResidualSadBound(tables);
        for (int round = 0; round < 200; ++round) {
            alignas(16) int16_t residual[64] = {};
            const int u = round % 8, v = (round / 8) % 8;
            const auto& c = cosineBasis();
            int sad = 0;
            for (int i = 0; i < 64 && sad < bound; ++i) {
                // Signs of one basis function, or random signs, one unit at a time.
                const double b = c[v][i / 8] * c[u][i % 8];
                const int sign = round < 64 ? (b < 0 ? -1 : 1) : (rng() & 1 ? -1 : 1);
                const int step = std::min<int>(bound - 1 - sad, 1 + static_cast<int>(rng() % 4));
                if (step <= 0)
                    break;
                residual[i] = static_cast<int16_t>(sign * step);
                sad += step;
            }
            for (const EncoderKernels& k : forms) {
                alignas(16) int16_t coef[64], levels[64];
                k.forwardDct(residual, coef);
                ASSERT_EQ(k.quantiseInter(coef, levels, tables), 0u) << "qp " << qp << " sad " << sad << " basis " << u << "," << v;
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

            // The paired form transforms each block like the single form.
            alignas(16) int16_t other[64], otherWant[64], pairFirst[64], pairSecond[64];
            for (int i = 0; i < 64; ++i)
                other[i] = static_cast<int16_t>(static_cast<int>(rng() % 511) - 255);
            k.forwardDct(other, otherWant);
            k.forwardDct2(in, other, pairFirst, pairSecond);
            ASSERT_TRUE(std::equal(got, got + 64, pairFirst)) << level.name << " paired transform, first block";
            ASSERT_TRUE(std::equal(otherWant, otherWant + 64, pairSecond)) << level.name << " paired transform, second block";
        }
    }
}

}  // namespace
}  // namespace vantry::codec::enc
