#include "station/core/mask_file.h"
#include "station/core/motion_detector.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace vantry::station {
namespace {

namespace fs = std::filesystem;

class MaskFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "vantry-mask-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder = pattern;
    }
    void TearDown() override { fs::remove_all(folder); }

    std::string write(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        const std::string path = (fs::path(folder) / name).string();
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    static GreyBitmap sampleMask(int width, int height)
    {
        GreyBitmap mask(width, height, 255);
        for (int x = 0; x < width / 2; ++x)
            mask.at(x, 0) = 0;
        mask.setResolution(2835, 2835);
        return mask;
    }

    std::string folder;
};

TEST_F(MaskFiles, FileFormIsHeaderGreyPaletteAndPaddedRows)
{
    const GreyBitmap mask = sampleMask(37, 3); // rows padded to 40
    const auto bytes = mask.fileBytes();
    ASSERT_EQ(bytes.size(), 40u + 1024u + 40u * 3u);
    EXPECT_EQ(bytes[0], 40);
    EXPECT_EQ(bytes[14], 8) << "bits per pixel";
    EXPECT_EQ(bytes[20], 120) << "image size = stride x height";
    EXPECT_EQ(bytes[33], 1) << "256 colours used";
    EXPECT_EQ(bytes[40 + 4 * 200 + 0], 200);
    EXPECT_EQ(bytes[40 + 4 * 200 + 3], 0);
    const auto parsed = GreyBitmap::fromFileBytes(bytes);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(*parsed, mask);
}

TEST_F(MaskFiles, SavedMaskLoadsBackThroughTheSettings)
{
    MotionDetector detector;
    detector.setFrameFormat(makeFrameFormat(VideoSubtype::I420, 64, 48));
    std::string error;
    EXPECT_FALSE(detector.saveSettings(folder, 2, &error)) << "never loaded: stored settings must not be overwritten";

    detector.loadSettings(MotionSettings {});
    detector.setMask(sampleMask(64, 48));
    const auto saved = detector.saveSettings(folder, 2, &error);
    ASSERT_TRUE(saved) << error;
    EXPECT_EQ(fs::path(saved->maskFileName).filename(), "mask03.dat");
    EXPECT_EQ(saved->maskFileSize, static_cast<int64_t>(fs::file_size(saved->maskFileName)));
    EXPECT_FALSE(fs::exists(saved->maskFileName + ".new"));

    MotionDetector reloaded;
    reloaded.setFrameFormat(makeFrameFormat(VideoSubtype::I420, 64, 48));
    reloaded.loadSettings(*saved);
    EXPECT_EQ(reloaded.maskLoadResult().status, MaskFileStatus::Loaded);
    ASSERT_TRUE(reloaded.mask());
    EXPECT_EQ(*reloaded.mask(), sampleMask(64, 48));

    detector.clearMask();
    const auto cleared = detector.saveSettings(folder, 2);
    ASSERT_TRUE(cleared);
    EXPECT_EQ(cleared->maskFileSize, 0);
}

TEST_F(MaskFiles, BrokenFilesLeaveTheCameraWithoutAMask)
{
    const auto good = sampleMask(16, 8).fileBytes();
    const std::string goodPath = write("mask01.dat", good);
    auto truncated = good;
    truncated.resize(good.size() - 10);
    const std::string shortPath = write("short.dat", truncated);
    auto wideHeader = good;
    wideHeader[4] = 200; // claims 200 pixels a row with the pixels of 16
    const std::string widePath = write("wide.dat", wideHeader);
    auto fourBit = good;
    fourBit[14] = 4;
    const std::string fourBitPath = write("fourbit.dat", fourBit);

    struct Case {
        const char* name;
        std::string path;
        int64_t size;
        MaskFileStatus status;
    };
    const Case cases[] = {
        { "good", goodPath, static_cast<int64_t>(good.size()), MaskFileStatus::Loaded },
        { "size 0 means no mask", goodPath, 0, MaskFileStatus::NoMask },
        { "name of 7 characters", "/a/b.dt", static_cast<int64_t>(good.size()), MaskFileStatus::NoMask },
        { "missing", folder + "/nothing.dat", static_cast<int64_t>(good.size()), MaskFileStatus::Missing },
        { "file shorter than recorded size", shortPath, static_cast<int64_t>(good.size()), MaskFileStatus::Short },
        { "recorded size cuts the pixels", goodPath, static_cast<int64_t>(good.size()) - 1, MaskFileStatus::Invalid },
        { "header wider than the data", widePath, static_cast<int64_t>(wideHeader.size()), MaskFileStatus::Invalid },
        { "four bits per pixel", fourBitPath, static_cast<int64_t>(fourBit.size()), MaskFileStatus::Invalid },
        { "negative size", goodPath, -5, MaskFileStatus::Invalid },
        { "absurd size", goodPath, int64_t(1) << 40, MaskFileStatus::Invalid },
    };
    for (const auto& c : cases) {
        const MaskFileResult result = loadMaskFile(c.path, c.size);
        EXPECT_EQ(result.status, c.status) << c.name;
        EXPECT_EQ(result.mask.has_value(), c.status == MaskFileStatus::Loaded) << c.name;
    }
}

TEST_F(MaskFiles, MaskOfAnotherSizeIsRescaledToTheFrame)
{
    GreyBitmap small(4, 2, 255);
    small.at(0, 0) = 0; // bottom-left quarter-column
    const std::string path = write("mask01.dat", small.fileBytes());
    MotionDetector detector;
    detector.setFrameFormat(makeFrameFormat(VideoSubtype::I420, 8, 4));
    MotionSettings settings;
    settings.maskFileName = path;
    settings.maskFileSize = static_cast<int64_t>(small.fileSize());
    detector.loadSettings(settings);
    ASSERT_TRUE(detector.mask());
    const GreyBitmap& mask = *detector.mask();
    EXPECT_EQ(mask.width(), 8);
    EXPECT_EQ(mask.height(), 4);
    // Steps of 4 x 256 / 8 = 128 and 2 x 256 / 4 = 128: each source pixel covers a 2x2 block.
    EXPECT_EQ(mask.pixels()[0], 0);
    EXPECT_EQ(mask.pixels()[1], 0);
    EXPECT_EQ(mask.pixels()[mask.stride() + 1], 0);
    EXPECT_EQ(mask.pixels()[2], 255);
    EXPECT_EQ(mask.pixels()[2 * mask.stride()], 255);
}

} // namespace
} // namespace vantry::station
