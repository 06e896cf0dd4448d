// Motion search: tie rules, the search window at the picture's edges, the half-sample step
// and the intra/inter threshold.
#include "motion_search.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace vantry::codec::enc {
namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 64;

// A reference whose samples depend only on x + slope * y, so that several displacements
// predict the input equally well.
std::vector<uint8_t> diagonalPattern(int slope, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> g(kWidth + slope * kHeight + 8);
    for (auto& v : g)
        v = static_cast<uint8_t>(rng());
    std::vector<uint8_t> plane(kWidth * kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            plane[y * kWidth + x] = g[x + slope * y];
    return plane;
}

std::vector<uint8_t> shifted(const std::vector<uint8_t>& ref, int dx, int dy) {
    std::vector<uint8_t> out(ref.size(), 0);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const int sx = std::clamp(x + dx, 0, kWidth - 1), sy = std::clamp(y + dy, 0, kHeight - 1);
            out[y * kWidth + x] = ref[sy * kWidth + sx];
        }
    return out;
}

MotionSearch searchOver(const std::vector<uint8_t>& input, const std::vector<uint8_t>& reference) {
    MotionSearch s;
    s.kernels = &encoderKernels();
    s.input = input.data();
    s.inputStride = kWidth;
    s.reference = reference.data();
    s.referenceStride = kWidth;
    s.width = kWidth;
    s.height = kHeight;
    return s;
}

struct TieCase {
    const char* name;
    int slope;          // reference depends on x + slope * y
    int shiftX;         // the input is the reference displaced by this
    int wantDx, wantDy; // the displacement the full search must choose
};

class FullSearchTies : public ::testing::TestWithParam<TieCase> {};

TEST_P(FullSearchTies, ChoosesNearestThenFirstFound) {
    const TieCase& c = GetParam();
    const auto reference = diagonalPattern(c.slope, 5);
    const auto input = shifted(reference, c.shiftX, 0);
    const Displacement d = searchFullSample(searchOver(input, reference), SearchMode::Full, 16, 16);
    EXPECT_EQ(d.sad, 0);
    EXPECT_EQ(d.dx, c.wantDx);
    EXPECT_EQ(d.dy, c.wantDy);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FullSearchTies,
    ::testing::Values(
        // (3,0), (-1,1) and (7,-1) all match exactly; (-1,1) is nearest to (0,0).
        TieCase{"nearer_wins", 4, 3, -1, 1},
        // (1,0) and (0,1) match at equal distance; rows are scanned top to bottom.
        TieCase{"equal_distance_keeps_first", 1, 1, 1, 0},
        // (3,-1) is found first, the nearer (1,0) replaces it, (-1,1) is farther.
        TieCase{"later_but_nearer", 2, 1, 1, 0}),
    [](const ::testing::TestParamInfo<TieCase>& tie) { return std::string(tie.param.name); });

struct EdgeCase {
    int x0, y0;
    int shiftX, shiftY;  // true motion, partly pointing outside the picture
};

class SearchWindowAtEdges : public ::testing::TestWithParam<EdgeCase> {};

// Every mode keeps the block inside the picture, also when the true motion points outside.
TEST_P(SearchWindowAtEdges, StaysInsideThePicture) {
    const EdgeCase& c = GetParam();
    std::mt19937 rng(9);
    std::vector<uint8_t> reference(kWidth * kHeight);
    for (auto& v : reference)
        v = static_cast<uint8_t>(rng());
    const auto input = shifted(reference, c.shiftX, c.shiftY);
    const MotionSearch s = searchOver(input, reference);
    for (SearchMode mode : {SearchMode::Zero, SearchMode::Diamond, SearchMode::Full}) {
        const Displacement d = searchFullSample(s, mode, c.x0, c.y0);
        EXPECT_GE(c.x0 + d.dx, 0);
        EXPECT_LE(c.x0 + d.dx, kWidth - 16);
        EXPECT_GE(c.y0 + d.dy, 0);
        EXPECT_LE(c.y0 + d.dy, kHeight - 16);
        EXPECT_LE(std::abs(d.dx), kSearchRange);
        EXPECT_LE(std::abs(d.dy), kSearchRange);
        const HalfSampleVector v = refineHalfSample(s, c.x0, c.y0, d);
        // On the picture's edge the half-sample step would read outside: no refinement.
        const bool onEdge = c.x0 + d.dx == 0 || c.y0 + d.dy == 0 || c.x0 + d.dx == kWidth - 16 || c.y0 + d.dy == kHeight - 16;
        if (onEdge) {
            EXPECT_EQ(v.x, 2 * d.dx);
            EXPECT_EQ(v.y, 2 * d.dy);
        }
        EXPECT_LE(std::abs(v.x), 15);
        EXPECT_LE(std::abs(v.y), 15);
    }
}

INSTANTIATE_TEST_SUITE_P(Corners, SearchWindowAtEdges,
                         ::testing::Values(EdgeCase{0, 0, -5, -5}, EdgeCase{48, 48, 6, 6}, EdgeCase{0, 48, -3, 7},
                                           EdgeCase{48, 0, 7, -2}, EdgeCase{16, 0, 0, -7}));

TEST(MotionSearch, DiamondAndFullFindASmoothMotion) {
    std::vector<uint8_t> reference(kWidth * kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            reference[y * kWidth + x] = static_cast<uint8_t>(128 + 100 * std::sin(x * 0.15) * std::cos(y * 0.12));
    const auto input = shifted(reference, 5, -3);
    const MotionSearch s = searchOver(input, reference);
    for (SearchMode mode : {SearchMode::Diamond, SearchMode::Full}) {
        const Displacement d = searchFullSample(s, mode, 24, 24);
        EXPECT_EQ(d.dx, 5);
        EXPECT_EQ(d.dy, -3);
        EXPECT_EQ(d.sad, 0);
    }
    const Displacement zero = searchFullSample(s, SearchMode::Zero, 24, 24);
    EXPECT_EQ(zero.dx, 0);
    EXPECT_EQ(zero.dy, 0);
    EXPECT_EQ(zero.sad, plain::sad16(input.data() + 24 * kWidth + 24, kWidth, reference.data() + 24 * kWidth + 24, kWidth, INT32_MAX));
}

// An input that is exactly a half-sample interpolation of the reference is found at the
// matching vector, for every phase around the full-sample best.
TEST(MotionSearch, HalfSampleStepFindsInterpolatedMotion) {
    std::mt19937 rng(3);
    std::vector<uint8_t> reference(kWidth * kHeight);
    for (auto& v : reference)
        v = static_cast<uint8_t>(rng());
    for (int vx = 3; vx <= 5; ++vx) {
        for (int vy = -5; vy <= -3; ++vy) {
            std::vector<uint8_t> input(kWidth * kHeight, 0);
            for (int y = 20; y < 40; ++y)
                for (int x = 20; x < 40; ++x) {
                    const uint8_t* r = reference.data() + (y + (vy >> 1)) * kWidth + x + (vx >> 1);
                    const int a = r[0], b = r[1], c = r[kWidth], d = r[kWidth + 1];
                    const int hx = vx & 1, hy = vy & 1;
                    input[y * kWidth + x] = static_cast<uint8_t>(hx && hy ? (a + b + c + d + 2) >> 2
                                                                 : hx   ? (a + b + 1) >> 1
                                                                 : hy   ? (a + c + 1) >> 1
                                                                        : a);
                }
            const MotionSearch s = searchOver(input, reference);
            const Displacement d = searchFullSample(s, SearchMode::Full, 24, 24);
            const HalfSampleVector v = refineHalfSample(s, 24, 24, d);
            EXPECT_EQ(v.x, vx) << "vector " << vx << "," << vy;
            EXPECT_EQ(v.y, vy) << "vector " << vx << "," << vy;
        }
    }
}

TEST(MotionSearch, IntraWhenSadIsNotBelowActivityPlus500) {
    struct Case {
        int sad, activity;
        bool intra;
    };
    for (const Case& c : {Case{3000, 2400, true}, Case{3000, 2600, false}, Case{2900, 2400, true}, Case{2899, 2400, false}})
        EXPECT_EQ(preferIntra(c.sad, c.activity), c.intra) << c.sad << " vs " << c.activity;
}

}  // namespace
}  // namespace vantry::codec::enc
