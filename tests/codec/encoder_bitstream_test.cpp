// What the encoder writes: sizes it accepts, picture headers, picture types over the
// key-frame interval and request, and the exact bits of flat pictures.
#include "codec/bit_reader.h"
#include "codec/picture_header.h"
#include "codec/vlc_tables.h"
#include "codec/vx_encoder.h"
#include "coefficient_code_table.h"
#include "encoder_test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vantry::codec {
namespace {

using testing::I420Picture;
using testing::movingScene;

class Encoder {
public:
    Encoder(int width, int height, int qp, int interval, int mode = 0) {
        params_.width = width;
        params_.height = height;
        params_.quantiser = qp;
        params_.keyFrameInterval = interval;
        params_.searchMode = mode;
        opened_ = vx_encoder_open(&params_) == 0;
    }
    ~Encoder() { vx_encoder_close(&params_); }
    bool opened() const { return opened_; }
    VxEncoderParams& params() { return params_; }

    std::vector<uint8_t> encode(I420Picture& picture, size_t capacity = 0) {
        std::vector<uint8_t> out(capacity ? capacity : size_t(params_.width) * params_.height * 2);
        VxFramePlanes planes = picture.planes();
        const int length = vx_encode(&params_, &planes, out.data(), out.size());
        out.resize(length > 0 ? size_t(length) : 0);
        return out;
    }

private:
    VxEncoderParams params_{};
    bool opened_ = false;
};

PictureHeader headerOf(const std::vector<uint8_t>& picture, BitReader* readerOut = nullptr) {
    BitReader reader(picture.data(), picture.size());
    PictureHeader header;
    EXPECT_EQ(readPictureHeader(reader, header), HeaderStatus::Ok);
    if (readerOut)
        *readerOut = reader;
    return header;
}

TEST(EncoderOpen, AcceptsOnlyMultiplesOf16WithinTheFormat) {
    struct Case {
        int width, height, result;
    };
    for (const Case& c : {Case{360, 288, -1}, Case{352, 290, -1}, Case{0, 16, -1}, Case{16, 0, -1}, Case{-16, 16, -1},
                          Case{2064, 16, -1}, Case{16, 2048, -1}, Case{16, 16, 0}, Case{2048, 2032, 0}, Case{352, 288, 0}}) {
        VxEncoderParams p{};
        p.width = c.width;
        p.height = c.height;
        p.quantiser = 8;
        EXPECT_EQ(vx_encoder_open(&p), c.result) << c.width << "x" << c.height;
        EXPECT_EQ(p.state != nullptr, c.result == 0);
        vx_encoder_close(&p);
        EXPECT_EQ(p.state, nullptr);
        vx_encoder_close(&p);  // closing twice is harmless
    }
}

TEST(EncoderHeader, CarriesSizeTypeAndClampedQuantiser) {
    struct Case {
        int width, height, qp, wantQp;
    };
    for (const Case& c : {Case{128, 96, 8, 8}, Case{176, 144, 13, 13}, Case{352, 288, 0, 1}, Case{320, 240, 40, 31},
                          Case{2048, 32, -3, 1}, Case{48, 2032, 31, 31}}) {
        Encoder e(c.width, c.height, c.qp, 30);
        ASSERT_TRUE(e.opened());
        I420Picture picture(c.width, c.height);
        picture.fill(100);
        const auto coded = e.encode(picture);
        ASSERT_FALSE(coded.empty());
        const PictureHeader h = headerOf(coded);
        EXPECT_EQ(h.width, c.width);
        EXPECT_EQ(h.height, c.height);
        EXPECT_EQ(h.type, PictureType::Intra);
        EXPECT_EQ(h.quantiser, c.wantQp) << c.width << "x" << c.height << " qp " << c.qp;
    }
}

struct Step {
    int request;          // key-frame request set before this picture
    int newInterval;      // interval written into the block before this picture (-1: unchanged)
    char type;            // 'I' or 'P'
    int tr;
};

struct TypeCase {
    const char* name;
    int openInterval;
    std::vector<Step> steps;  // pictures beyond the listed ones are not checked
};

std::vector<Step> intervalSequence(int interval, int count, int requestAt = -1) {
    std::vector<Step> steps;
    int counter = 0;
    for (int i = 0; i < count; ++i) {
        if (i == requestAt)
            counter = 0;
        steps.push_back({i == requestAt ? 1 : 0, -1, counter == 0 ? 'I' : 'P', counter});
        counter = (counter + 1) % interval;
    }
    return steps;
}

class PictureTypes : public ::testing::TestWithParam<TypeCase> {};

TEST_P(PictureTypes, FollowIntervalAndRequest) {
    const TypeCase& c = GetParam();
    Encoder e(64, 48, 8, c.openInterval, 1);
    ASSERT_TRUE(e.opened());
    for (size_t i = 0; i < c.steps.size(); ++i) {
        const Step& step = c.steps[i];
        e.params().keyFrameRequest = step.request;
        if (step.newInterval >= 0)
            e.params().keyFrameInterval = step.newInterval;
        I420Picture picture = movingScene(64, 48, static_cast<int>(i));
        const auto coded = e.encode(picture);
        ASSERT_FALSE(coded.empty());
        e.params().keyFrameRequest = 0;
        const PictureHeader h = headerOf(coded);
        EXPECT_EQ(h.type == PictureType::Intra ? 'I' : 'P', step.type) << "picture " << i;
        EXPECT_EQ(e.params().keyFlag, step.type == 'I' ? 1 : 0) << "picture " << i;
        EXPECT_EQ(h.temporalReference, step.tr) << "picture " << i;
    }
}

std::vector<Step> allIntraRaised() {
    std::vector<Step> steps;
    for (int i = 0; i < 40; ++i)
        steps.push_back({0, i == 3 ? 30 : -1, 'I', i < 3 ? 0 : (i - 3) % 30});
    return steps;
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, PictureTypes,
    ::testing::Values(TypeCase{"interval30", 30, intervalSequence(30, 65)},
                      TypeCase{"request_before_picture7", 30, intervalSequence(30, 70, 7)},
                      TypeCase{"interval2", 2, intervalSequence(2, 7)},
                      TypeCase{"interval0_all_intra", 0, intervalSequence(1, 5)},
                      TypeCase{"interval1_all_intra", 1, intervalSequence(1, 5)},
                      // Opened all-intra: raising the interval later only lets TR count.
                      TypeCase{"all_intra_stays_after_raise", 1, allIntraRaised()}),
    [](const ::testing::TestParamInfo<TypeCase>& type) { return std::string(type.param.name); });

// Reads the macroblock layer of an I-picture of flat 8x8 blocks: MCBPC "1" (INTRA, no chroma
// pattern), CBPY of pattern 0, then six INTRADC bytes.
void expectFlatIntraMacroblocks(BitReader& reader, int macroblocks, const int (&dc)[6]) {
    for (int mb = 0; mb < macroblocks; ++mb) {
        ASSERT_EQ(reader.read(1), 1u) << "MCBPC of macroblock " << mb;
        ASSERT_EQ(reader.read(kCbpyCodes[0].length), kCbpyCodes[0].bits) << "CBPY of macroblock " << mb;
        for (int b = 0; b < 6; ++b)
            ASSERT_EQ(reader.read(8), static_cast<uint32_t>(dc[b])) << "INTRADC of block " << b << " of macroblock " << mb;
    }
}

TEST(EncoderBits, FlatPicturesGiveDcOnlyIntraThenAllNotCoded) {
    Encoder e(64, 32, 8, 30);
    ASSERT_TRUE(e.opened());
    I420Picture picture(64, 32);
    picture.fill(128);

    const auto first = e.encode(picture);
    BitReader reader(first.data(), first.size());
    PictureHeader h;
    ASSERT_EQ(readPictureHeader(reader, h), HeaderStatus::Ok);
    ASSERT_EQ(h.type, PictureType::Intra);
    const int dc128[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};  // 128 is sent as 1111 1111
    expectFlatIntraMacroblocks(reader, 8, dc128);
    EXPECT_EQ(first.size(), (reader.positionBits() + 7) / 8);

    const auto second = e.encode(picture);
    BitReader p(second.data(), second.size());
    ASSERT_EQ(readPictureHeader(p, h), HeaderStatus::Ok);
    ASSERT_EQ(h.type, PictureType::Inter);
    const size_t headerBits = p.positionBits();
    for (int mb = 0; mb < 8; ++mb)
        EXPECT_EQ(p.read(1), 1u) << "COD of macroblock " << mb;
    EXPECT_EQ(second.size(), (headerBits + 8 + 7) / 8);
    while (p.positionBits() < second.size() * 8)
        EXPECT_EQ(p.read(1), 0u) << "padding";
}

TEST(EncoderBits, ExtremeFlatBlocksClipTheDcLevel) {
    struct Case {
        uint8_t luma, chroma;
        int dc[6];
    };
    for (const Case& c : {Case{255, 255, {254, 254, 254, 254, 254, 254}}, Case{0, 0, {1, 1, 1, 1, 1, 1}},
                          Case{255, 0, {254, 254, 254, 254, 1, 1}}, Case{16, 240, {16, 16, 16, 16, 240, 240}}}) {
        Encoder e(32, 16, 5, 30);
        I420Picture picture(32, 16);
        std::fill(picture.y(), picture.u(), c.luma);
        std::fill(picture.u(), picture.bytes.data() + picture.bytes.size(), c.chroma);
        const auto coded = e.encode(picture);
        BitReader reader(coded.data(), coded.size());
        PictureHeader h;
        ASSERT_EQ(readPictureHeader(reader, h), HeaderStatus::Ok);
        expectFlatIntraMacroblocks(reader, 2, c.dc);
    }
}

TEST(CoefficientCodes, TableCodesWithSignAndEscapesElsewhere) {
    const enc::CoefficientCodeTable* table = enc::CoefficientCodeTable::acquire();
    ASSERT_NE(table, nullptr);
    struct Case {
        int last, run, level;
        uint32_t bits;
        int length;
    };
    // ESCAPE = 0000011, then LAST, RUN (6 bits), LEVEL (8 bits, two's complement).
    auto escape = [](int last, int run, int level) {
        return (0b0000011u << 15) | (uint32_t(last) << 14) | (uint32_t(run) << 8) | (uint32_t(level) & 0xFF);
    };
    for (const Case& c : {Case{0, 0, 1, 0b100, 3}, Case{0, 0, -1, 0b101, 3}, Case{0, 0, 12, (0x20u << 1), 12},
                          Case{0, 0, 13, escape(0, 0, 13), 22}, Case{0, 26, 1, (0x57u << 1), 13},
                          Case{0, 27, 1, escape(0, 27, 1), 22}, Case{1, 40, -1, (0x5Fu << 1) | 1, 13},
                          Case{1, 41, 1, escape(1, 41, 1), 22}, Case{1, 1, 3, escape(1, 1, 3), 22},
                          Case{0, 63, -127, escape(0, 63, -127), 22}, Case{1, 0, 127, escape(1, 0, 127), 22}}) {
        const auto code = table->code(c.last, c.run, c.level);
        EXPECT_EQ(code.bits, c.bits) << "last " << c.last << " run " << c.run << " level " << c.level;
        EXPECT_EQ(code.length, c.length) << "last " << c.last << " run " << c.run << " level " << c.level;
    }
    EXPECT_EQ(escape(0, 0, 13), 0b0000011'0'000000'00001101u);
    enc::CoefficientCodeTable::release();
}

// Unusable input sends nothing; the picture after it starts afresh with an I-picture.
TEST(EncoderInput, BadPlanesWriteNothingAndRestartWithAnIPicture) {
    Encoder e(64, 48, 8, 30);
    I420Picture good = movingScene(64, 48, 0);
    ASSERT_FALSE(e.encode(good).empty());
    ASSERT_EQ(headerOf(e.encode(good)).type, PictureType::Inter);

    struct Case {
        const char* name;
        VxFramePlanes planes;
    };
    for (const Case& c : {Case{"null luma", {nullptr, good.u(), good.v(), 64}},
                          Case{"null chroma", {good.y(), nullptr, good.v(), 64}},
                          Case{"stride below width", {good.y(), good.u(), good.v(), 48}}}) {
        std::vector<uint8_t> out(4096, 0xA5);
        VxFramePlanes planes = c.planes;
        EXPECT_EQ(vx_encode(&e.params(), &planes, out.data(), out.size()), 0) << c.name;
        EXPECT_EQ(std::count(out.begin(), out.end(), 0xA5), 4096) << c.name;
        const auto next = e.encode(good);
        const PictureHeader h = headerOf(next);
        EXPECT_EQ(h.type, PictureType::Intra) << c.name;
        EXPECT_EQ(h.temporalReference, 0) << c.name;
        EXPECT_EQ(headerOf(e.encode(good)).type, PictureType::Inter) << c.name;
    }
    EXPECT_EQ(vx_encode(&e.params(), nullptr, nullptr, 0), 0);
    VxEncoderParams closed{};
    VxFramePlanes planes = good.planes();
    uint8_t byte = 0;
    EXPECT_EQ(vx_encode(&closed, &planes, &byte, 1), 0);
}

}  // namespace
}  // namespace vantry::codec
