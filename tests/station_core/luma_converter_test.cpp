#include "station/core/luma_converter.h"

#include "test_frames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace vantry::station {
namespace {

// The studio-range luminance, written out with multiplications instead of the tables.
uint8_t formulaY(int r, int g, int b)
{
    return static_cast<uint8_t>(std::min(((2105 * r + 4129 * g + 803 * b) >> 13) + 16, 255));
}

struct PixelLayout {
    VideoSubtype subtype;
    int height; // sign gives the row order for RGB
};

// Expected luma of pixel x in source row `row` (as stored in memory) of a frame.
uint8_t expectedLuma(VideoSubtype subtype, const uint8_t* rowBytes, int x)
{
    switch (subtype) {
    case VideoSubtype::RGB24: {
        const uint8_t* p = rowBytes + x * 3;
        return formulaY(p[2], p[1], p[0]);
    }
    case VideoSubtype::RGB32:
    case VideoSubtype::ARGB32: {
        const uint8_t* p = rowBytes + x * 4;
        return formulaY(p[2], p[1], p[0]);
    }
    case VideoSubtype::RGB555: {
        const int v = rowBytes[x * 2] | (rowBytes[x * 2 + 1] << 8);
        return formulaY(((v >> 10) & 31) << 3, ((v >> 5) & 31) << 3, (v & 31) << 3);
    }
    case VideoSubtype::RGB565: {
        const int v = rowBytes[x * 2] | (rowBytes[x * 2 + 1] << 8);
        return formulaY(((v >> 11) & 31) << 3, ((v >> 5) & 63) << 2, (v & 31) << 3);
    }
    case VideoSubtype::YUY2:
    case VideoSubtype::YVYU:
        return rowBytes[x * 2];
    case VideoSubtype::UYVY:
        return rowBytes[x * 2 + 1];
    default:
        return rowBytes[x];
    }
}

size_t sourceStride(VideoSubtype subtype, int width)
{
    switch (subtype) {
    case VideoSubtype::RGB24: return static_cast<size_t>((width * 3 + 3) & ~3);
    case VideoSubtype::RGB32:
    case VideoSubtype::ARGB32: return static_cast<size_t>(width * 4);
    case VideoSubtype::RGB555:
    case VideoSubtype::RGB565:
    case VideoSubtype::YUY2:
    case VideoSubtype::YVYU:
    case VideoSubtype::UYVY: return static_cast<size_t>((width * 2 + 3) & ~3);
    default: return static_cast<size_t>(lumaStride(width));
    }
}

class LumaBySubtype : public ::testing::TestWithParam<PixelLayout> {};

TEST_P(LumaBySubtype, EveryPixelFollowsTheFormulaInBottomUpOrder)
{
    const auto [subtype, height] = GetParam();
    const int width = 6; // odd in 4-byte terms for RGB24, so row padding shows
    const int rows = std::abs(height);
    const FrameFormat format = makeFrameFormat(subtype, width, height);
    ASSERT_TRUE(format.isValid());
    const auto frame = test::randomBytes(format.imageSize, 7 + static_cast<uint32_t>(subtype));

    LumaConverter converter;
    const size_t stride = static_cast<size_t>(lumaStride(width));
    std::vector<uint8_t> luma(stride * static_cast<size_t>(rows), 0xAA);
    ASSERT_TRUE(converter.convert(format, frame.data(), frame.size(), luma.data(), luma.size()));

    const bool topDown = !isRgb(subtype) || height < 0;
    for (int outRow = 0; outRow < rows; ++outRow) {
        const int srcRow = topDown ? rows - 1 - outRow : outRow;
        const uint8_t* src = frame.data() + static_cast<size_t>(srcRow) * sourceStride(subtype, width);
        for (int x = 0; x < width; ++x)
            ASSERT_EQ(luma[static_cast<size_t>(outRow) * stride + static_cast<size_t>(x)], expectedLuma(subtype, src, x))
                << subtypeName(subtype) << " row " << outRow << " x " << x;
        for (size_t pad = static_cast<size_t>(width); pad < stride; ++pad)
            ASSERT_EQ(luma[static_cast<size_t>(outRow) * stride + pad], 0) << "row padding is cleared";
    }
}

INSTANTIATE_TEST_SUITE_P(AllSubtypes, LumaBySubtype,
                         ::testing::Values(PixelLayout { VideoSubtype::RGB24, 5 }, PixelLayout { VideoSubtype::RGB24, -5 },
                                           PixelLayout { VideoSubtype::RGB32, 4 }, PixelLayout { VideoSubtype::ARGB32, -4 },
                                           PixelLayout { VideoSubtype::RGB555, 3 }, PixelLayout { VideoSubtype::RGB565, 3 },
                                           PixelLayout { VideoSubtype::YUY2, 4 }, PixelLayout { VideoSubtype::YVYU, 4 },
                                           PixelLayout { VideoSubtype::UYVY, 4 }, PixelLayout { VideoSubtype::I420, 4 },
                                           PixelLayout { VideoSubtype::IYUV, 4 }, PixelLayout { VideoSubtype::YV12, 4 },
                                           PixelLayout { VideoSubtype::YVU9, 8 }, PixelLayout { VideoSubtype::IF09, 8 }),
                         [](const auto& row) {
                             return std::string(subtypeName(row.param.subtype))
                                 + (row.param.height < 0 ? "_topdown" : "");
                         });

TEST(LumaConverter, KnownColoursGiveStudioRangeValues)
{
    LumaConverter converter;
    EXPECT_EQ(converter.lumaOf(0, 0, 0), 16);
    EXPECT_EQ(converter.lumaOf(255, 255, 255), 235);
    // RGB565 white widens to (248, 252, 248) without bit replication.
    const FrameFormat format = makeFrameFormat(VideoSubtype::RGB565, 2, 1);
    const uint8_t white[4] = { 0xFF, 0xFF, 0xFF, 0xFF };
    uint8_t out[4] = {};
    ASSERT_TRUE(converter.convert(format, white, sizeof white, out, sizeof out));
    EXPECT_EQ(out[0], formulaY(248, 252, 248));
    EXPECT_NE(out[0], 235);
}

TEST(LumaConverter, RefusesUnknownFormatsAndShortBuffersWithoutTouchingTheOutput)
{
    LumaConverter converter;
    const FrameFormat yuy2 = makeFrameFormat(VideoSubtype::YUY2, 8, 4);
    const auto frame = test::randomBytes(yuy2.imageSize, 1);
    std::vector<uint8_t> luma(8 * 4, 0x5A);

    FrameFormat unknown = yuy2;
    unknown.subtype = VideoSubtype::Unknown;
    EXPECT_FALSE(converter.convert(unknown, frame.data(), frame.size(), luma.data(), luma.size()));
    EXPECT_FALSE(converter.convert(yuy2, frame.data(), frame.size() - 1, luma.data(), luma.size()));
    EXPECT_FALSE(converter.convert(yuy2, frame.data(), frame.size(), luma.data(), luma.size() - 1));
    EXPECT_TRUE(std::all_of(luma.begin(), luma.end(), [](uint8_t v) { return v == 0x5A; }));
}

} // namespace
} // namespace vantry::station
