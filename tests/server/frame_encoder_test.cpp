// A viewer's encoding state: what the options come to, halving, conversion, and reading
// pictures from the shared record.
#include "server/frame_encoder.h"
#include "server_test_support.h"

#include <gtest/gtest.h>

namespace vantry::server {
namespace {

using namespace test;

CameraFormat format(SourceLayout layout, int width, int height)
{
    CameraFormat f;
    f.layout = layout;
    f.width = width;
    f.height = height;
    f.bottomUp = layout == SourceLayout::RGB24 || layout == SourceLayout::RGB32 || layout == SourceLayout::RGB555;
    f.frameBytes = static_cast<uint32_t>(requiredFrameBytes(layout, width, height, layout == SourceLayout::RGB24 ? 24 : 32));
    return f;
}

TEST(EncoderSettings, OptionsMapToSizeQuantiserKeyIntervalAndPeriod)
{
    struct Case {
        int width, height;
        StreamOptions options;
        int expectWidth, expectHeight, quantiser, keyInterval, periodMs;
    };
    const Case cases[] = {
        { 320, 240, { 1, 0, 15, 0 }, 320, 240, 3, 150, 66 },   // quality 1 taken as 2
        { 320, 240, { 2, 0, 8, 0 }, 320, 240, 3, 150, 125 },
        { 320, 240, { 3, 0, 5, 0 }, 320, 240, 4, 125, 200 },
        { 320, 240, { 5, 0, 0, 0 }, 320, 240, 6, 125, 1000 },  // rate 0 taken as 1
        { 320, 240, { 7, 0, 10, 0 }, 320, 240, 8, 100, 100 },
        { 320, 240, { 12, 0, 12, 0 }, 320, 240, 13, 100, 83 },
        { 320, 240, { 99, 0, 3, 0 }, 320, 240, 13, 100, 333 },
        { 640, 480, { 5, 1, 15, 0 }, 320, 240, 6, 125, 66 },
        { 720, 576, { 5, 1, 15, 0 }, 352, 288, 6, 125, 66 },   // from the first 704 columns
        { 720, 480, { 5, 1, 15, 0 }, 352, 240, 6, 125, 66 },
        { 352, 288, { 5, 1, 15, 0 }, 352, 288, 6, 125, 66 },   // narrower than 640: no halving
        { 640, 480, { 5, 0, 15, 0 }, 640, 480, 6, 125, 66 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " q" + std::to_string(c.options.quality));
        const auto s = encoderSettingsFor(format(SourceLayout::I420, c.width, c.height), c.options);
        EXPECT_EQ(s.width, c.expectWidth);
        EXPECT_EQ(s.height, c.expectHeight);
        EXPECT_EQ(s.quantiser, c.quantiser);
        EXPECT_EQ(s.keyFrameInterval, c.keyInterval);
        EXPECT_EQ(s.periodMs, c.periodMs);
    }
}

TEST(FrameEncoder, PrepareFailsUnlessTheSizeIsAMultipleOf16)
{
    FrameEncoder encoder;
    EXPECT_FALSE(encoder.prepare(format(SourceLayout::I420, 360, 288), { 5, 0, 15, 0 }));
    EXPECT_TRUE(encoder.prepare(format(SourceLayout::I420, 720, 576), { 5, 1, 15, 0 }));
    // Once prepared, other options change nothing.
    EXPECT_TRUE(encoder.prepare(format(SourceLayout::I420, 320, 240), { 2, 0, 1, 0 }));
    EXPECT_EQ(encoder.settings().width, 352);
    EXPECT_EQ(encoder.params().quantiser, 6);
    EXPECT_EQ(encoder.outputFormat().sizeImage, vx01ImageSize(352, 288));
}

TEST(Halving, KeepsEverySecondSampleOfTheCroppedArea)
{
    // 72 x 68 I420: half size 32 x 32 from the first 64 columns and rows.
    const int w = 72, h = 68, hw = 32, hh = 32;
    CameraFormat camera = format(SourceLayout::I420, w, h);
    std::vector<uint8_t> source(camera.frameBytes);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            source[static_cast<size_t>(y * w + x)] = static_cast<uint8_t>(x + 3 * y);
    uint8_t* u = source.data() + w * h;
    for (int y = 0; y < h / 2; ++y)
        for (int x = 0; x < w / 2; ++x)
            u[y * (w / 2) + x] = static_cast<uint8_t>(100 + x + y);
    std::vector<uint8_t> out(halfPictureBytes(SourceLayout::I420, hw, hh));
    ASSERT_TRUE(halvePicture(camera, source.data(), hw, hh, out.data()));
    EXPECT_EQ(out[0], source[0]);
    EXPECT_EQ(out[1], source[2]);
    EXPECT_EQ(out[static_cast<size_t>(5 * hw + 7)], source[static_cast<size_t>(10 * w + 14)]);
    const uint8_t* outU = out.data() + hw * hh;
    EXPECT_EQ(outU[3 * (hw / 2) + 4], u[6 * (w / 2) + 8]);

    // YUY2: luma of pixels 4k and 4k + 2, chroma of the pair 4k, 4k + 1.
    CameraFormat packed = format(SourceLayout::YUY2, 64, 64);
    std::vector<uint8_t> yuy2(packed.frameBytes);
    for (size_t i = 0; i < yuy2.size(); ++i)
        yuy2[i] = static_cast<uint8_t>(i * 7);
    std::vector<uint8_t> half(halfPictureBytes(SourceLayout::YUY2, 32, 32));
    ASSERT_TRUE(halvePicture(packed, yuy2.data(), 32, 32, half.data()));
    const size_t row = 2 * 64 * 2 * 3; // source row 6 is output row 3
    EXPECT_EQ(half[3 * 64 + 4], yuy2[row + 8]);      // Y of pixel 4
    EXPECT_EQ(half[3 * 64 + 5], yuy2[row + 9]);      // U of pair 4, 5
    EXPECT_EQ(half[3 * 64 + 6], yuy2[row + 12]);     // Y of pixel 6
    EXPECT_EQ(half[3 * 64 + 7], yuy2[row + 11]);     // V of pair 4, 5
}

TEST(FrameEncoder, ConvertsEveryLayoutAndEncodesAKeyFrameFirst)
{
    struct Case {
        SourceLayout layout;
        int bitCount;
    };
    const Case cases[] = { { SourceLayout::I420, 12 }, { SourceLayout::YV12, 12 }, { SourceLayout::YUY2, 16 },
                           { SourceLayout::YVU9, 9 }, { SourceLayout::RGB24, 24 }, { SourceLayout::RGB32, 32 },
                           { SourceLayout::RGB555, 16 } };
    for (const Case& c : cases) {
        for (uint32_t half : { 0u, 1u }) {
            SCOPED_TRACE(std::to_string(static_cast<int>(c.layout)) + (half ? " half" : ""));
            CameraFormat camera = format(c.layout, 640, 480);
            camera.frameBytes = static_cast<uint32_t>(requiredFrameBytes(c.layout, 640, 480, c.bitCount));
            ASSERT_GT(camera.frameBytes, 0u);
            FrameEncoder encoder;
            ASSERT_TRUE(encoder.prepare(camera, { 5, half, 15, 0 }));
            ASSERT_TRUE(encoder.start());
            // A flat mid-grey picture in every layout comes out as mid-grey luma.
            std::vector<uint8_t> picture(camera.frameBytes, 0x80);
            if (c.layout == SourceLayout::RGB555) {
                for (size_t i = 0; i + 1 < picture.size(); i += 2) {
                    picture[i] = 0x10; // r = g = b = 16 << 3
                    picture[i + 1] = 0x42;
                }
            }
            ASSERT_TRUE(encoder.convert(picture.data()));
            const int width = encoder.settings().width;
            EXPECT_NEAR(encoder.planes().y[width * 10 + 10], 0x80, 16);
            const auto first = encoder.encode(false);
            EXPECT_TRUE(first.key);
            EXPECT_FALSE(first.bytes.empty());
            const auto second = encoder.encode(false);
            EXPECT_FALSE(second.key);
            const auto forced = encoder.encode(true);
            EXPECT_TRUE(forced.key);
        }
    }
}

TEST(FrameEncoder, ThePictureOfOneStampIsEncodedOnce)
{
    application();
    PrivateFolders folders;
    common::FrameChannelWriter writer(0);
    const common::FrameBitmapHeader header = i420Header(320, 240);
    ASSERT_EQ(writer.create(header.sizeImage), 1);
    ASSERT_TRUE(writer.write(common::buildFormatBlock(header, iyuvSubtype()), {}));
    CameraReader reader(0);
    ASSERT_TRUE(reader.readFormat());
    const auto camera = reader.format();
    ASSERT_TRUE(camera);
    EXPECT_EQ(camera->frameBytes, header.sizeImage);

    FrameEncoder encoder;
    ASSERT_TRUE(encoder.prepare(*camera, { 5, 0, 15, 0 }));
    ASSERT_TRUE(encoder.start());
    const auto picture = makePicture(header.sizeImage, 1);
    ASSERT_EQ(writer.write(picture, { 1000, 0 }), picture.size());
    EXPECT_FALSE(encoder.grab(reader)) << "read only while the station streams the camera";
    reader.setActive(true);
    EXPECT_TRUE(encoder.grab(reader));
    EXPECT_FALSE(encoder.grab(reader));
    ASSERT_EQ(writer.write(picture, { 1000, 0 }), picture.size()); // written twice
    EXPECT_FALSE(encoder.grab(reader));
    // A mailbox record between pictures is no picture.
    ASSERT_TRUE(writer.write(common::buildNameBlock("Camera"), {}));
    EXPECT_FALSE(encoder.grab(reader));
    ASSERT_EQ(writer.write(picture, { 1000, 1 }), picture.size());
    EXPECT_TRUE(encoder.grab(reader));
    EXPECT_EQ(encoder.lastStamps(), (common::FrameStamps { 1000, 1 }));
}

TEST(CameraFormat, FormatBlocksTheServerRefuses)
{
    struct Case {
        const char* name;
        common::FrameBitmapHeader header;
        common::SubtypeGuid subtype;
    };
    common::FrameBitmapHeader small = i420Header(320, 240);
    small.sizeImage = 1000; // claims less than the picture needs
    common::FrameBitmapHeader huge = i420Header(320, 240);
    huge.sizeImage = 0xFFFFFFF0u;
    common::FrameBitmapHeader odd = i420Header(321, 240);
    odd.sizeImage = 321 * 240 * 2;
    common::FrameBitmapHeader negativeWidth = i420Header(-320, 240);
    const Case cases[] = {
        { "unknown subtype", i420Header(320, 240), common::fourccSubtype(0x59565955) }, // UYVY
        { "image size too small", small, iyuvSubtype() },
        { "image size too large", huge, iyuvSubtype() },
        { "odd width for 4:2:0", odd, iyuvSubtype() },
        { "negative width", negativeWidth, iyuvSubtype() },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto block = common::parseFormatBlock(common::buildFormatBlock(c.header, c.subtype));
        ASSERT_TRUE(block);
        EXPECT_FALSE(cameraFormatOf(*block));
    }
    EXPECT_FALSE(common::parseFormatBlock(std::vector<uint8_t>(39)));
}

} // namespace
} // namespace vantry::server
