// Colour conversion: the matrices' fixed points, every source layout's orientation and
// chroma placement, and the converter's refusals.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "codec/colour_converter.h"
#include "codec/cpu_features.h"

using namespace vantry::codec;

namespace {

struct Rgb {
    int r, g, b;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};
std::ostream& operator<<(std::ostream& os, const Rgb& c) { return os << c.r << "," << c.g << "," << c.b; }

BitmapInfoHeader headerOf(PixelFormat format, int width, int height)
{
    BitmapInfoHeader h;
    h.width = width;
    h.height = height;
    switch (format) {
    case PixelFormat::Rgb24: h.bitCount = 24; break;
    case PixelFormat::Rgb32: h.bitCount = 32; break;
    case PixelFormat::Argb32: h.bitCount = 32; h.compression = 3; break;
    case PixelFormat::Rgb565: h.bitCount = 16; h.compression = 3; break;
    case PixelFormat::Rgb555: h.bitCount = 16; break;
    case PixelFormat::Yuy2: h.bitCount = 16; h.compression = fourcc('Y', 'U', 'Y', '2'); break;
    case PixelFormat::Yvyu: h.bitCount = 16; h.compression = fourcc('Y', 'V', 'Y', 'U'); break;
    case PixelFormat::Uyvy: h.bitCount = 16; h.compression = fourcc('U', 'Y', 'V', 'Y'); break;
    case PixelFormat::I420: h.bitCount = 12; h.compression = fourcc('I', '4', '2', '0'); break;
    case PixelFormat::Iyuv: h.bitCount = 12; h.compression = fourcc('I', 'Y', 'U', 'V'); break;
    case PixelFormat::Yv12: h.bitCount = 12; h.compression = fourcc('Y', 'V', '1', '2'); break;
    case PixelFormat::Yvu9: h.bitCount = 9; h.compression = fourcc('Y', 'V', 'U', '9'); break;
    case PixelFormat::If09: h.bitCount = 9; h.compression = fourcc('I', 'F', '0', '9'); break;
    case PixelFormat::Unknown: h.bitCount = 8; h.compression = fourcc('M', 'J', 'P', 'G'); break;
    }
    return h;
}

Rgb pixelAt(const std::vector<uint8_t>& rgb, int width, int memoryRow, int x)
{
    const size_t at = static_cast<size_t>(memoryRow) * paddedPitch(3 * static_cast<size_t>(width)) + 3 * static_cast<size_t>(x);
    return {rgb[at + 2], rgb[at + 1], rgb[at]};
}

} // namespace

TEST(ColourMatrices, StudioAndFullRangeFixedPoints)
{
    ColourConverter c;
    struct ToRgb {
        int y, u, v;
        Rgb studio;
    };
    const ToRgb toRgb[] = {{16, 128, 128, {0, 0, 0}}, {235, 128, 128, {254, 254, 254}}, {255, 128, 128, {255, 255, 255}},
                           {16, 128, 0, {0, 104, 0}},  {81, 90, 240, {254, 0, 0}}};
    for (const ToRgb& t : toRgb) {
        uint8_t r, g, b;
        c.studioToRgb(t.y, t.u, t.v, r, g, b);
        EXPECT_EQ((Rgb{r, g, b}), t.studio) << t.y << "," << t.u << "," << t.v;
    }
    for (int y = 0; y < 256; ++y) {
        uint8_t r, g, b;
        fullRangeToRgb(y, 128, 128, r, g, b);
        ASSERT_EQ((Rgb{r, g, b}), (Rgb{y, y, y}));
    }

    struct FromRgb {
        Rgb rgb;
        int y, u, v;
    };
    const FromRgb studio[] = {{{255, 255, 255}, 235, 128, 127}, {{0, 0, 0}, 16, 128, 128}};
    for (const FromRgb& t : studio) {
        uint8_t y, u, v;
        c.studioFromRgb(t.rgb.r, t.rgb.g, t.rgb.b, y, u, v);
        EXPECT_EQ(y, t.y);
        EXPECT_EQ(u, t.u);
        EXPECT_EQ(v, t.v);
    }
    uint8_t y, u, v;
    fullRangeFromRgb(255, 255, 255, y, u, v);
    EXPECT_EQ(y, 255);
    EXPECT_EQ(u, 128);
    EXPECT_EQ(v, 128);
    fullRangeFromRgb(255, 255, 255, y, u, v, 9798);
    EXPECT_EQ(y, 255);
    fullRangeFromRgb(255, 0, 0, y, u, v);
    EXPECT_EQ(v, 255);

    // The plain encoder-input form: grey stays neutral, and V follows blue as well as red.
    plainFromRgb(200, 200, 200, y, u, v);
    EXPECT_EQ(u, 128);
    EXPECT_EQ(v, 128);
    plainFromRgb(0, 0, 255, y, u, v);
    EXPECT_LT(v, 128);
    EXPECT_GT(u, 230);
    plainFromRgb(255, 0, 0, y, u, v);
    EXPECT_GE(v, 238);
}

TEST(ColourConverter, EverySourceFormatToRgb24AndLuma)
{
    ColourConverter c;
    // A 4x4 picture whose top-left pixel differs from the rest; each format stores it its way.
    struct Case {
        PixelFormat format;
        std::vector<uint8_t> data;
        Rgb topLeft;   // expected colour of the top-left image pixel
        int topLeftLuma;
        bool bottomUpSource; // RGB sources with positive height store the bottom row first
    };
    auto planar = [](PixelFormat f) {
        // Luma pitch 4, chroma pitch 4 (I420: width 2 rounded up), YVU9 chroma 1 sample padded to 4.
        const bool quarter = f == PixelFormat::Yvu9 || f == PixelFormat::If09;
        std::vector<uint8_t> d(16 + (quarter ? 2 * 4 : 2 * 4 * 2), 128);
        std::fill(d.begin(), d.begin() + 16, 16);
        d[0] = 235;
        const size_t first = 16, second = quarter ? 20 : 24;
        const bool uFirst = f == PixelFormat::I420 || f == PixelFormat::Iyuv;
        d[uFirst ? first : second] = 90;   // U of the top-left chroma sample
        d[uFirst ? second : first] = 240;  // V
        return d;
    };
    auto packed = [](int y0, int u, int y1, int v) {
        std::vector<uint8_t> d(4 * 8, 0);
        for (int row = 0; row < 4; ++row)
            for (int pair = 0; pair < 2; ++pair) {
                uint8_t* p = d.data() + row * 8 + pair * 4;
                p[y0] = 16, p[u] = 128, p[y1] = 16, p[v] = 128;
            }
        d[static_cast<size_t>(y0)] = 235;
        d[static_cast<size_t>(u)] = 90;
        d[static_cast<size_t>(v)] = 240;
        return d;
    };
    uint8_t er, eg, eb;
    c.studioToRgb(235, 90, 240, er, eg, eb);
    const Rgb yuvTopLeft{er, eg, eb};
    std::vector<uint8_t> rgb24(4 * 12, 0), rgb32(4 * 16, 0), rgb565(4 * 8, 0), rgb555(4 * 8, 0);
    // Stored bottom-up: the top-left image pixel is the first pixel of the last memory row.
    rgb24[3 * 12 + 0] = 10, rgb24[3 * 12 + 1] = 20, rgb24[3 * 12 + 2] = 30;
    rgb32[3 * 16 + 0] = 10, rgb32[3 * 16 + 1] = 20, rgb32[3 * 16 + 2] = 30, rgb32[3 * 16 + 3] = 99;
    rgb565[3 * 8 + 0] = 0xff, rgb565[3 * 8 + 1] = 0xff; // white 5-6-5
    rgb555[3 * 8 + 0] = 0xff, rgb555[3 * 8 + 1] = 0x7f;
    const Case cases[] = {
        {PixelFormat::I420, planar(PixelFormat::I420), yuvTopLeft, 235, false},
        {PixelFormat::Iyuv, planar(PixelFormat::Iyuv), yuvTopLeft, 235, false},
        {PixelFormat::Yv12, planar(PixelFormat::Yv12), yuvTopLeft, 235, false},
        {PixelFormat::Yvu9, planar(PixelFormat::Yvu9), yuvTopLeft, 235, false},
        {PixelFormat::If09, planar(PixelFormat::If09), yuvTopLeft, 235, false},
        {PixelFormat::Yuy2, packed(0, 1, 2, 3), yuvTopLeft, 235, false},
        {PixelFormat::Yvyu, packed(0, 3, 2, 1), yuvTopLeft, 235, false},
        {PixelFormat::Uyvy, packed(1, 0, 3, 2), yuvTopLeft, 235, false},
        {PixelFormat::Rgb24, rgb24, {30, 20, 10}, c.studioLuma(30, 20, 10), true},
        {PixelFormat::Rgb32, rgb32, {30, 20, 10}, c.studioLuma(30, 20, 10), true},
        {PixelFormat::Argb32, rgb32, {30, 20, 10}, c.studioLuma(30, 20, 10), true},
        {PixelFormat::Rgb565, rgb565, {248, 252, 248}, c.studioLuma(248, 252, 248), true},
        {PixelFormat::Rgb555, rgb555, {248, 248, 248}, c.studioLuma(248, 248, 248), true},
    };
    for (const Case& t : cases) {
        const BitmapInfoHeader h = headerOf(t.format, 4, 4);
        ASSERT_EQ(pixelFormatOf(h), t.format);
        ASSERT_EQ(ColourConverter::requiredBytes(h), t.data.size()) << static_cast<int>(t.format);
        std::vector<uint8_t> out(4 * 12, 0xee);
        ASSERT_EQ(c.toRgb24(h, t.data.data(), t.data.size(), out.data(), out.size()), 1);
        // Output is bottom-up: the top image row is the last memory row.
        EXPECT_EQ(pixelAt(out, 4, 3, 0), t.topLeft) << static_cast<int>(t.format);
        if (t.format == PixelFormat::Yvu9 || t.format == PixelFormat::If09) {
            EXPECT_EQ(pixelAt(out, 4, 0, 3).b, pixelAt(out, 4, 3, 3).b); // one chroma sample for 4x4
        } else if (!t.bottomUpSource && t.data.size() == 32 && t.format != PixelFormat::Yuy2 &&
                   t.format != PixelFormat::Yvyu && t.format != PixelFormat::Uyvy) {
            uint8_t r, g, b;
            c.studioToRgb(16, 90, 240, r, g, b); // the chroma serves its 2x2 block
            EXPECT_EQ(pixelAt(out, 4, 2, 1), (Rgb{r, g, b})) << static_cast<int>(t.format);
        }
        std::vector<uint8_t> luma(16, 0xee);
        ASSERT_EQ(c.toLuma8(h, t.data.data(), t.data.size(), luma.data(), luma.size()), 1);
        EXPECT_EQ(luma[12], t.topLeftLuma) << static_cast<int>(t.format);
    }
}

TEST(ColourConverter, RefusesUnknownFormatsAndImpossibleSizesUntouched)
{
    ColourConverter c;
    std::vector<uint8_t> src(4096, 1);
    struct Case {
        BitmapInfoHeader header;
        size_t srcBytes;
        size_t dstBytes;
        int error;
    };
    BitmapInfoHeader oddYuy2 = headerOf(PixelFormat::Yuy2, 3, 4);
    BitmapInfoHeader oddI420 = headerOf(PixelFormat::I420, 4, 3);
    BitmapInfoHeader yvu9By6 = headerOf(PixelFormat::Yvu9, 6, 8);
    BitmapInfoHeader zero = headerOf(PixelFormat::Rgb24, 4, 0);
    BitmapInfoHeader huge = headerOf(PixelFormat::Rgb24, 100000, 4);
    BitmapInfoHeader rgb8 = headerOf(PixelFormat::Rgb24, 4, 4);
    rgb8.bitCount = 8;
    const Case cases[] = {
        {headerOf(PixelFormat::Unknown, 4, 4), 4096, 4096, kColourUnsupportedFormat},
        {rgb8, 4096, 4096, kColourUnsupportedFormat},
        {oddYuy2, 4096, 4096, kColourBadSize},
        {oddI420, 4096, 4096, kColourBadSize},
        {yvu9By6, 4096, 4096, kColourBadSize},
        {zero, 4096, 4096, kColourBadSize},
        {huge, 4096, 4096, kColourBadSize},
        {headerOf(PixelFormat::I420, 16, 16), 16 * 16 * 3 / 2 - 1, 4096, kColourBadSize},
        {headerOf(PixelFormat::Rgb24, 16, 16), 4096, 16 * 16 - 1, kColourBadSize},
    };
    for (const Case& t : cases) {
        std::vector<uint8_t> dst(4096, 0xee);
        EXPECT_EQ(c.toRgb24(t.header, src.data(), t.srcBytes, dst.data(), t.dstBytes), 0);
        EXPECT_EQ(c.lastError(), t.error);
        EXPECT_EQ(c.toLuma8(t.header, src.data(), t.srcBytes, dst.data(), t.dstBytes), 0);
        EXPECT_EQ(c.lastError(), t.error);
        EXPECT_TRUE(std::all_of(dst.begin(), dst.end(), [](uint8_t b) { return b == 0xee; }));
    }
}

TEST(ColourConverter, CreatesA24BitDibForTheSource)
{
    ColourConverter c;
    BitmapInfoHeader source = headerOf(PixelFormat::Yuy2, 10, -6);
    source.xPelsPerMeter = 2835;
    source.clrUsed = 7;
    size_t total = 0;
    auto dib = c.createDib24(source, &total);
    ASSERT_NE(dib, nullptr);
    BitmapInfoHeader h;
    std::memcpy(&h, dib.get(), sizeof h);
    EXPECT_EQ(h.size, 40u);
    EXPECT_EQ(h.width, 10);
    EXPECT_EQ(h.height, -6);
    EXPECT_EQ(h.planes, 1);
    EXPECT_EQ(h.bitCount, 24);
    EXPECT_EQ(h.compression, 0u);
    EXPECT_EQ(h.sizeImage, 32u * 6);
    EXPECT_EQ(h.xPelsPerMeter, 2835);
    EXPECT_EQ(h.clrUsed, 7u);
    EXPECT_EQ(total, 40u + 32 * 6);
    EXPECT_EQ(c.createDib24(headerOf(PixelFormat::Rgb24, -1, 5)), nullptr);
    EXPECT_EQ(c.lastError(), kColourBadSize);
}

TEST(ColourConverter, CodecInputConversionsSelectChromaFromTheFirstRowOfEachPair)
{
    constexpr int w = 4, h = 2;
    std::vector<uint8_t> y(w * h), u(w / 2), v(w / 2);
    const VxFramePlanes planes{y.data(), u.data(), v.data(), w};

    // YUY2 of height 2: one chroma row, from the first row.
    const uint8_t yuy2[] = {10, 100, 11, 200, 12, 101, 13, 201, 20, 50, 21, 60, 22, 51, 23, 61};
    ColourConverter::yuy2ToI420(yuy2, 8, w, h, planes);
    EXPECT_EQ(y, (std::vector<uint8_t>{10, 11, 12, 13, 20, 21, 22, 23}));
    EXPECT_EQ(u, (std::vector<uint8_t>{100, 101}));
    EXPECT_EQ(v, (std::vector<uint8_t>{200, 201}));

    // RGB24 bottom-up: the top image row is the last memory row and gives the chroma.
    std::vector<uint8_t> rgb(2 * 12, 0);
    for (int x = 0; x < 4; ++x)
        rgb[12 + 3 * static_cast<size_t>(x) + 2] = 255; // top row red
    for (ColourMatrix m : {ColourMatrix::FullRange, ColourMatrix::Studio}) {
        ColourConverter::rgb24ToI420(rgb.data(), 12, w, h, RowOrder::BottomUp, planes, m);
        EXPECT_GT(y[0], y[4]);
        EXPECT_GT(v[0], 200);
    }

    // The stream server's conversion: studio matrix, bottom-up source, top-down output.
    ColourConverter c;
    BitmapInfoHeader header = headerOf(PixelFormat::Rgb24, w, h);
    ASSERT_EQ(c.rgbToI420(header, rgb.data(), rgb.size(), planes), 1);
    uint8_t ey, eu, ev;
    c.studioFromRgb(255, 0, 0, ey, eu, ev);
    EXPECT_EQ(y[0], ey);
    EXPECT_EQ(y[4], 16);
    EXPECT_EQ(u[0], eu);
    EXPECT_EQ(v[1], ev);
    EXPECT_EQ(c.rgbToI420(headerOf(PixelFormat::Yuy2, w, h), rgb.data(), rgb.size(), planes), 0);
    EXPECT_EQ(c.lastError(), kColourUnsupportedFormat);
}

TEST(ColourConverter, DecodedPicturesToRgbInBothOrdersAndMatrices)
{
    constexpr int w = 4, h = 4;
    std::vector<uint8_t> y(w * h, 16), u(4, 128), v(4, 128);
    y[0] = 235;
    const VxFramePlanes planes{y.data(), u.data(), v.data(), w};
    ColourConverter c;
    std::vector<uint8_t> out(12 * h);
    c.i420ToRgb24(planes, w, h, out.data(), 12, RowOrder::TopDown, ColourMatrix::Studio);
    EXPECT_EQ(pixelAt(out, w, 0, 0), (Rgb{254, 254, 254}));
    EXPECT_EQ(pixelAt(out, w, 3, 3), (Rgb{0, 0, 0}));
    c.i420ToRgb24(planes, w, h, out.data(), 12, RowOrder::BottomUp, ColourMatrix::FullRange);
    EXPECT_EQ(pixelAt(out, w, 3, 0), (Rgb{235, 235, 235}));
    EXPECT_EQ(pixelAt(out, w, 0, 0), (Rgb{16, 16, 16}));

    std::vector<uint8_t> out32(16 * h), out565(8 * h);
    ColourConverter::i420ToRgb32(planes, w, h, out32.data(), 16, RowOrder::TopDown);
    EXPECT_EQ(out32[0], 235);
    EXPECT_EQ(out32[3], 255);
    ColourConverter::i420ToRgb565(planes, w, h, out565.data(), 8, RowOrder::TopDown);
    EXPECT_EQ(out565[0] | (out565[1] << 8), ((235 >> 3) << 11) | ((235 >> 2) << 5) | (235 >> 3));
}

TEST(ColourConverter, CopiesPlanesIntoOneI420Buffer)
{
    // Strided planes (stride 8 for a 4x2 picture) come out packed.
    std::vector<uint8_t> y(16), u(8), v(8);
    for (size_t i = 0; i < 16; ++i)
        y[i] = static_cast<uint8_t>(i);
    u[0] = 100, u[1] = 101, v[0] = 200, v[1] = 201;
    const VxFramePlanes planes{y.data(), u.data(), v.data(), 8};
    std::vector<uint8_t> out(12, 0xee);
    ASSERT_EQ(ColourConverter::copyToI420(planes, 4, 2, out.data(), out.size()), 1);
    EXPECT_EQ(out, (std::vector<uint8_t>{0, 1, 2, 3, 8, 9, 10, 11, 100, 101, 200, 201}));
    EXPECT_EQ(ColourConverter::copyToI420(planes, 4, 2, out.data(), 11), 0);
    EXPECT_EQ(ColourConverter::copyToI420(planes, 3, 2, out.data(), out.size()), 0);
}

TEST(ProcessorFeatures, ThreeQuestionsFollowTheFeatureBits)
{
    const ProcessorInfo& info = processorInfo();
    EXPECT_EQ(&info, &processorInfo());
    EXPECT_EQ(cpuHasMmx(), (info.featuresEdx >> 23 & 1) != 0);
    EXPECT_EQ(cpuHasSse2(), (info.featuresEdx >> 26 & 1) != 0);
    EXPECT_EQ(cpuHasIntegerSse(), (info.featuresEdx >> 25 & 1) || (info.extendedFeaturesEdx >> 22 & 1));
    EXPECT_EQ(displayMatrix(), cpuHasMmx() ? ColourMatrix::FullRange : ColourMatrix::Studio);
#if defined(__x86_64__)
    EXPECT_FALSE(info.vendor.empty());
    EXPECT_TRUE(cpuHasMmx() && cpuHasSse2()); // every x86-64 processor has both
#else
    EXPECT_EQ(cpuFeatureMask(), 0u);
#endif
}
