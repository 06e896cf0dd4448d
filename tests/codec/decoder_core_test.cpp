// Decoder behaviour on hand-built pictures: reconstruction rules, vectors, the picture
// buffers across calls, and damaged input.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "codec/decoder.h"
#include "codec/idct.h"
#include "codec/motion_compensation.h"
#include "codec/scan.h"
#include "vx_test_stream.h"

using namespace vantry::codec;
using vantry::codec::test::BlockEvents;
using vantry::codec::test::TestPicture;

namespace {

// A decoded picture copied out of the decoder.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> y, u, v;

    uint8_t at(int plane, int x, int yy) const
    {
        const int w = plane == 0 ? width : width / 2;
        const int h = plane == 0 ? height : height / 2;
        const auto& p = plane == 0 ? y : plane == 1 ? u : v;
        return p[static_cast<size_t>(std::clamp(yy, 0, h - 1) * w + std::clamp(x, 0, w - 1))];
    }
    friend bool operator==(const Picture&, const Picture&) = default;
};

class Decoder {
public:
    Decoder() { EXPECT_EQ(vx_decoder_open(&handle), 0); }
    ~Decoder() { vx_decoder_close(&handle); }

    int decode(const std::vector<uint8_t>& bytes)
    {
        VxFramePlanes* planes = nullptr;
        const int used = vx_decode(&handle, &planes, bytes.data(), static_cast<int32_t>(bytes.size()));
        if (used >= 0) {
            EXPECT_NE(planes, nullptr);
            last.width = handle.width;
            last.height = handle.height;
            copyPlane(last.y, planes->y, planes->stride, handle.width, handle.height);
            copyPlane(last.u, planes->u, planes->stride / 2, handle.width / 2, handle.height / 2);
            copyPlane(last.v, planes->v, planes->stride / 2, handle.width / 2, handle.height / 2);
        }
        return used;
    }

    VxDecoderHandle handle;
    Picture last;

private:
    static void copyPlane(std::vector<uint8_t>& out, const uint8_t* plane, int stride, int width, int height)
    {
        out.resize(static_cast<size_t>(width * height));
        for (int row = 0; row < height; ++row)
            std::memcpy(out.data() + row * width, plane + row * stride, static_cast<size_t>(width));
    }
};

constexpr int kFlat[6] = {255, 255, 255, 255, 255, 255};

// An I-picture with texture in every block, so that a wrong prediction shows.
std::vector<uint8_t> texturedIntraPicture(int width, int height, uint32_t seed)
{
    std::mt19937 rng(seed);
    TestPicture picture(width, height, PictureType::Intra, 4);
    for (int mb = 0; mb < (width / 16) * (height / 16); ++mb) {
        int dc[6];
        BlockEvents events[6];
        for (int b = 0; b < 6; ++b) {
            dc[b] = 40 + static_cast<int>(rng() % 170);
            events[b] = {{0, static_cast<int>(rng() % 3), (static_cast<int>(rng() % 9) - 4) | 1},
                         {1, static_cast<int>(rng() % 8), (static_cast<int>(rng() % 7) - 3) | 1}};
        }
        picture.intra(false, 3, 15, dc, events);
    }
    return picture.finish();
}

// Prediction of one sample by the half-sample rule, reading edge samples outside.
int predictedSample(const Picture& ref, int plane, int x, int y, int phaseX, int phaseY)
{
    const int a = ref.at(plane, x, y), b = ref.at(plane, x + 1, y);
    const int c = ref.at(plane, x, y + 1), d = ref.at(plane, x + 1, y + 1);
    if (phaseX && phaseY)
        return (a + b + c + d + 2) >> 2;
    if (phaseX)
        return (a + b + 1) >> 1;
    if (phaseY)
        return (a + c + 1) >> 1;
    return a;
}

// Checks macroblock (column, row) of the decoded picture against the prediction from ref
// with luma vector (vx, vy).
void expectPredicted(const Picture& out, const Picture& ref, int column, int row, int vx, int vy)
{
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const int px = 16 * column + x, py = 16 * row + y;
            ASSERT_EQ(out.at(0, px, py), predictedSample(ref, 0, px + (vx >> 1), py + (vy >> 1), vx & 1, vy & 1))
                << "luma " << x << "," << y << " vector " << vx << "," << vy;
        }
    for (int plane = 1; plane <= 2; ++plane)
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                const int px = 8 * column + x, py = 8 * row + y;
                ASSERT_EQ(out.at(plane, px, py), predictedSample(ref, plane, px + (vx >> 2), py + (vy >> 2),
                                                                 (vx & 3) != 0, (vy & 3) != 0))
                    << "chroma " << plane << " " << x << "," << y << " vector " << vx << "," << vy;
            }
}

std::vector<uint8_t> allNotCoded(int width, int height)
{
    TestPicture p(width, height, PictureType::Inter, 5);
    for (int mb = 0; mb < (width / 16) * (height / 16); ++mb)
        p.notCoded();
    return p.finish();
}

} // namespace

TEST(DecoderCore, IntraDcBlocksLandInTheirPlaces)
{
    Decoder d;
    TestPicture p(32, 16, PictureType::Intra, 8);
    p.intra(false, 0, 0, {10, 20, 30, 40, 50, 60});
    p.intra(false, 0, 0, kFlat); // 1111 1111 means 128
    const auto bytes = p.finish();
    ASSERT_EQ(d.decode(bytes), static_cast<int>(bytes.size()));
    EXPECT_EQ(d.handle.keyFlag, 1);
    EXPECT_EQ(d.handle.width, 32);
    EXPECT_EQ(d.handle.height, 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x) {
            const int expected = x >= 16 ? 128 : (y < 8 ? (x < 8 ? 10 : 20) : (x < 8 ? 30 : 40));
            ASSERT_EQ(d.last.at(0, x, y), expected) << x << "," << y;
        }
    EXPECT_EQ(d.last.at(1, 0, 0), 50);
    EXPECT_EQ(d.last.at(2, 7, 7), 60);
    EXPECT_EQ(d.last.at(1, 8, 0), 128);
}

TEST(DecoderCore, DequantisesWithTheOddEvenRuleAndKeepsDquantForThePicture)
{
    struct Case {
        int qp;
        int dquantCode; // -1: none
        int expectedQp;
    };
    const Case cases[] = {{4, 3, 6}, {5, 2, 6}, {31, 3, 31}, {1, 1, 1}, {2, 0, 1}, {7, -1, 7}};
    for (const Case& c : cases) {
        Decoder d;
        TestPicture p(32, 16, PictureType::Intra, c.qp);
        BlockEvents first[6] = {{{0, 0, 3}, {1, 4, -1}}};
        BlockEvents second[6] = {{{1, 2, -2}}};
        p.intra(false, 0, 8, {100, 1, 1, 1, 1, 1}, first, c.dquantCode);
        p.intra(false, 0, 8, {90, 1, 1, 1, 1, 1}, second); // no DQUANT: the changed QP stays
        ASSERT_GT(d.decode(p.finish()), 0);

        std::array<int16_t, 64> a{}, b{};
        a[0] = 800;
        a[kZigzag[1]] = dequantiseLevel(3, c.expectedQp);
        a[kZigzag[6]] = dequantiseLevel(-1, c.expectedQp);
        b[0] = 720;
        b[kZigzag[3]] = dequantiseLevel(-2, c.expectedQp);
        idctPlain(a.data());
        idctPlain(b.data());
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                ASSERT_EQ(d.last.at(0, x, y), std::clamp<int>(a[static_cast<size_t>(8 * y + x)], 0, 255))
                    << "qp " << c.qp;
                ASSERT_EQ(d.last.at(0, 16 + x, y), std::clamp<int>(b[static_cast<size_t>(8 * y + x)], 0, 255))
                    << "qp " << c.qp;
            }
    }
    EXPECT_EQ(dequantiseLevel(3, 5), 35);
    EXPECT_EQ(dequantiseLevel(-3, 6), -41);
    EXPECT_EQ(dequantiseLevel(-128, 31), -7967);
    EXPECT_EQ(dequantiseLevel(0, 9), 0);
}

TEST(DecoderCore, EscapedEventsAndInterQuantiserChanges)
{
    // Level 13 at run 0 has no code of its own: ESCAPE, LAST 0, RUN 0, LEVEL 00001101.
    TestPicture bits(16, 16, PictureType::Intra, 5);
    const size_t before = bits.writer().bitCount();
    bits.putEvents({{0, 0, 13}});
    EXPECT_EQ(bits.writer().bitCount() - before, 22u);
    const auto escaped = bits.finish();
    std::string pattern;
    for (size_t i = before; i < before + 22; ++i)
        pattern += (escaped[i / 8] & (0x80 >> (i % 8))) ? '1' : '0';
    EXPECT_EQ(pattern, "0000011" "0" "000000" "00001101");

    Decoder d;
    TestPicture intra(16, 16, PictureType::Intra, 5);
    intra.intra(false, 0, 0, {100, 100, 100, 100, 100, 100});
    ASSERT_GT(d.decode(intra.finish()), 0);
    // INTER+Q: QP 5 + 2 = 7 for the residual; escapes carry -127 and -128.
    TestPicture p(16, 16, PictureType::Inter, 5);
    BlockEvents events[6] = {{{0, 0, 13}, {0, 2, -127}, {1, 0, -128}}};
    p.inter(0, 8, 0, 0, events, 3);
    ASSERT_GT(d.decode(p.finish()), 0);
    EXPECT_EQ(vx_decoder_damaged_macroblocks(&d.handle), 0);
    std::array<int16_t, 64> residual{};
    residual[kZigzag[0]] = dequantiseLevel(13, 7);
    residual[kZigzag[3]] = dequantiseLevel(-127, 7);
    residual[kZigzag[4]] = dequantiseLevel(-128, 7);
    idctPlain(residual.data());
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            ASSERT_EQ(d.last.at(0, x, y), std::clamp(100 + residual[static_cast<size_t>(8 * y + x)], 0, 255));
    EXPECT_EQ(d.last.at(0, 8, 0), 100); // blocks without their CBP bit keep the prediction
}

TEST(DecoderCore, RepeatedPicturesAndNotCodedMacroblocks)
{
    Decoder d;
    const auto intra = texturedIntraPicture(48, 32, 7);
    ASSERT_GT(d.decode(intra), 0);
    const Picture first = d.last;
    ASSERT_GT(d.decode(intra), 0);
    EXPECT_EQ(d.last, first);

    const auto skip = allNotCoded(48, 32);
    // Header (98 bits with the custom size) and one COD bit per macroblock, padded to a byte.
    EXPECT_EQ(skip.size(), (98u + 6 + 7) / 8);
    ASSERT_EQ(d.decode(skip), static_cast<int>(skip.size()));
    EXPECT_EQ(d.handle.keyFlag, 0);
    EXPECT_EQ(d.last, first);
    ASSERT_GT(d.decode(skip), 0);
    EXPECT_EQ(d.last, first);
}

TEST(DecoderCore, VectorsPredictWithHalfSamplesAndTheChromaRule)
{
    // The centre macroblock of a 3x3 picture; its predictor is (0,0).
    const std::pair<int, int> vectors[] = {{-1, -1}, {-2, 0}, {2, 0}, {0, 2}, {1, 0}, {0, -1}, {3, -3}, {-5, 6},
                                           {31, -30}, {0, 0}};
    for (auto [vx, vy] : vectors) {
        Decoder d;
        ASSERT_GT(d.decode(texturedIntraPicture(48, 48, 11)), 0);
        const Picture ref = d.last;
        TestPicture p(48, 48, PictureType::Inter, 5);
        for (int mb = 0; mb < 9; ++mb) {
            if (mb == 4)
                p.inter(0, 0, vx, vy);
            else
                p.notCoded();
        }
        ASSERT_GT(d.decode(p.finish()), 0);
        expectPredicted(d.last, ref, 1, 1, vx, vy);
        expectPredicted(d.last, ref, 2, 2, 0, 0);
    }
}

TEST(DecoderCore, VectorsUseTheMedianPredictorAndIntraCountsAsZero)
{
    Decoder d;
    ASSERT_GT(d.decode(texturedIntraPicture(48, 32, 3)), 0);
    const Picture ref = d.last;
    TestPicture p(48, 32, PictureType::Inter, 5);
    p.inter(0, 0, 4, -2);                      // (4,-2)
    p.intra(true, 0, 0, kFlat);                // counts as (0,0)
    p.inter(0, 0, 1, 1);                       // top row: left neighbour (0,0) -> (1,1)
    p.inter(0, 0, -1, 0);                      // left column: median((0,0),(4,-2),(0,0)) -> (-1,0)
    p.inter(0, 0, 0, 0);                       // median((-1,0),(0,0),(1,1)) = (0,0)
    p.inter(0, 0, 2, 2);                       // right column: median((0,0),(1,1),(0,0)) = (0,0) -> (2,2)
    ASSERT_GT(d.decode(p.finish()), 0);
    expectPredicted(d.last, ref, 0, 0, 4, -2);
    expectPredicted(d.last, ref, 2, 0, 1, 1);
    expectPredicted(d.last, ref, 0, 1, -1, 0);
    expectPredicted(d.last, ref, 1, 1, 0, 0);
    expectPredicted(d.last, ref, 2, 1, 2, 2);
}

TEST(DecoderCore, VectorsFarOutsideThePictureReadItsEdges)
{
    Decoder d;
    ASSERT_GT(d.decode(texturedIntraPicture(48, 32, 5)), 0);
    const Picture ref = d.last;
    TestPicture p(48, 32, PictureType::Inter, 5);
    // Differences of +-32 add up along the rows: the vectors end far outside.
    for (int mb = 0; mb < 6; ++mb)
        p.inter(0, 0, mb < 3 ? 32 : -32, mb % 2 ? 31 : -32);
    ASSERT_GT(d.decode(p.finish()), 0);
    EXPECT_EQ(vx_decoder_damaged_macroblocks(&d.handle), 0);
    expectPredicted(d.last, ref, 0, 0, 32, -32);
    expectPredicted(d.last, ref, 1, 0, 64, -1);
    expectPredicted(d.last, ref, 2, 0, 96, -33);
}

TEST(DecoderCore, HeaderFailureChangesNothing)
{
    Decoder d;
    auto bad = texturedIntraPicture(32, 16, 1);
    bad[2] ^= 0x04; // start code 33
    EXPECT_EQ(d.decode(bad), -1);
    EXPECT_EQ(d.handle.width, 0);
    EXPECT_EQ(d.handle.height, 0);

    ASSERT_GT(d.decode(texturedIntraPicture(32, 16, 2)), 0);
    const Picture good = d.last;
    EXPECT_EQ(d.decode(bad), -1);
    auto otherSize = texturedIntraPicture(64, 32, 2);
    otherSize[4] = 0xff; // PTYPE bit 2 set
    EXPECT_EQ(d.decode(otherSize), -1);
    EXPECT_EQ(d.handle.width, 32);
    EXPECT_EQ(d.handle.height, 16);
    // The next P-picture still refers to the last good picture.
    ASSERT_GT(d.decode(allNotCoded(32, 16)), 0);
    EXPECT_EQ(d.last, good);
}

TEST(DecoderCore, SizeChangeReallocatesAndAPictureWithoutReferenceIsDefined)
{
    Decoder d;
    ASSERT_GT(d.decode(allNotCoded(32, 16)), 0); // no I-picture yet: black, not garbage
    EXPECT_TRUE(std::all_of(d.last.y.begin(), d.last.y.end(), [](uint8_t s) { return s == 16; }));
    EXPECT_TRUE(std::all_of(d.last.u.begin(), d.last.u.end(), [](uint8_t s) { return s == 128; }));

    TestPicture big(64, 48, PictureType::Intra, 3);
    for (int mb = 0; mb < 12; ++mb)
        big.intra(false, 0, 0, {77, 77, 77, 77, 99, 111});
    ASSERT_GT(d.decode(big.finish()), 0);
    EXPECT_EQ(d.handle.width, 64);
    EXPECT_EQ(d.handle.height, 48);
    EXPECT_EQ(d.last.y.size(), 64u * 48u);
    EXPECT_TRUE(std::all_of(d.last.y.begin(), d.last.y.end(), [](uint8_t s) { return s == 77; }));
    EXPECT_TRUE(std::all_of(d.last.v.begin(), d.last.v.end(), [](uint8_t s) { return s == 111; }));
}

TEST(DecoderCore, DamagedMacroblocksRepeatThePreviousPicture)
{
    // 3x1 macroblocks; macroblock 0 is good, macroblock 1 is damaged by each case.
    struct Case {
        const char* name;
        PictureType type;
        void (*damage)(TestPicture&);
    };
    const Case cases[] = {
        {"stuffing as I-picture MCBPC", PictureType::Intra, [](TestPicture& p) { p.bits(1, 9); }},
        {"stuffing as P-picture MCBPC", PictureType::Inter, [](TestPicture& p) { p.bits(1, 10); }},
        {"INTER4V", PictureType::Inter, [](TestPicture& p) { p.bits(0b0010, 4); }},
        {"invalid CBPY", PictureType::Intra, [](TestPicture& p) { p.bits(0b1, 1), p.bits(0b000000, 6); }},
        {"run past position 63", PictureType::Intra,
         [](TestPicture& p) {
             p.intra(false, 0, 8, {9, 9, 9, 9, 9, 9}, {{{0, 5, 1}, {1, 60, 1}}});
         }},
        {"block full without LAST", PictureType::Intra,
         [](TestPicture& p) {
             BlockEvents full;
             for (int i = 0; i < 63; ++i)
                 full.push_back({0, 0, 1});
             p.intra(false, 0, 8, {9, 9, 9, 9, 9, 9}, {full});
         }},
        {"invalid coefficient code", PictureType::Intra,
         [](TestPicture& p) {
             // Cr is the last block: the invalid bits directly follow its first event.
             p.intra(false, 1, 0, {9, 9, 9, 9, 9, 9}, {{}, {}, {}, {}, {}, {{0, 0, 1}}});
             p.bits(0, 12);
         }},
    };
    for (const Case& c : cases) {
        Decoder d;
        ASSERT_GT(d.decode(texturedIntraPicture(48, 16, 9)), 0);
        const Picture previous = d.last;
        TestPicture p(48, 16, c.type, 5);
        if (c.type == PictureType::Intra)
            p.intra(false, 0, 0, {50, 50, 50, 50, 50, 50});
        else
            p.inter(0, 0, 2, 0);
        c.damage(p);
        p.bits(0xffffffff, 32);
        const auto bytes = p.finish();
        const int used = d.decode(bytes);
        ASSERT_GT(used, 0) << c.name;
        EXPECT_LE(used, static_cast<int>(bytes.size())) << c.name;
        EXPECT_EQ(vx_decoder_damaged_macroblocks(&d.handle), 2) << c.name;
        if (c.type == PictureType::Intra)
            EXPECT_EQ(d.last.at(0, 3, 3), 50) << c.name;
        else
            expectPredicted(d.last, previous, 0, 0, 2, 0);
        for (int y = 0; y < 16; ++y)
            for (int x = 16; x < 48; ++x)
                ASSERT_EQ(d.last.at(0, x, y), previous.at(0, x, y)) << c.name;
        EXPECT_EQ(d.last.at(1, 20, 5), previous.at(1, 20, 5)) << c.name;
    }
}

TEST(DecoderCore, DataEndingEarlyEndsThePicture)
{
    const auto whole = texturedIntraPicture(64, 32, 21);
    for (size_t length : {size_t{1}, size_t{9}, size_t{12}, size_t{13}, whole.size() / 2, whole.size() - 1}) {
        Decoder d;
        ASSERT_GT(d.decode(texturedIntraPicture(64, 32, 22)), 0);
        const Picture previous = d.last;
        std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(length));
        const int used = d.decode(cut);
        if (length * 8 < 98) {
            EXPECT_EQ(used, -1) << length; // the header itself is cut
            continue;
        }
        ASSERT_GT(used, 0) << length;
        EXPECT_LE(used, static_cast<int>(length));
        const int damaged = vx_decoder_damaged_macroblocks(&d.handle);
        EXPECT_GT(damaged, 0) << length;
        // The missing macroblocks at the end repeat the previous picture.
        EXPECT_EQ(d.last.at(0, 63, 31), previous.at(0, 63, 31)) << length;
    }
}

TEST(DecoderCore, HandleLifecycleIsSafe)
{
    EXPECT_EQ(vx_decoder_open(nullptr), -1);
    VxDecoderHandle handle;
    ASSERT_EQ(vx_decoder_open(&handle), 0);
    VxFramePlanes* planes = nullptr;
    const uint8_t junk[] = {0, 0, 0x80};
    EXPECT_EQ(vx_decode(&handle, nullptr, junk, 3), -1);
    EXPECT_EQ(vx_decode(&handle, &planes, nullptr, 3), -1);
    EXPECT_EQ(vx_decode(&handle, &planes, junk, 0), -1);
    EXPECT_EQ(vx_decode(&handle, &planes, junk, -5), -1);
    EXPECT_EQ(vx_decode(&handle, &planes, junk, 3), -1);
    vx_decoder_close(&handle);
    EXPECT_EQ(handle.state, nullptr);
    vx_decoder_close(&handle);
    vx_decoder_close(nullptr);
    EXPECT_EQ(vx_decode(&handle, &planes, junk, 3), -1);
    EXPECT_EQ(vx_decoder_damaged_macroblocks(&handle), -1);
}
