#include "station/core/capture_plan.h"
#include "station/core/channel_messages.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace vantry::station {
namespace {

TEST(CapturePlan, DevicesIniDecidesSizeAndWhetherTheRateIsSet)
{
    const std::vector<DeviceOverride> overrides = {
        { "USB Cam", 640, 480, 15, false },
        { "USB Cam", 320, 240, 30, true },
        { "Grabber", 720, 576, 25, true },
    };
    struct Case {
        const char* name;
        std::string device;
        CaptureSettings settings;
        CaptureRequest expected;
    };
    const Case cases[] = {
        { "unlisted device: stored size, rate set", "Other", { 352, 288, 30, 30, false }, { 352, 288, 30, true, false } },
        { "exact entry decides the rate flag", "My USB Cam 2", { 320, 240, 30, 30, false }, { 320, 240, 30, true, true } },
        { "size differs: first matching entry taken over", "My USB Cam 2", { 352, 288, 30, 30, false },
          { 640, 480, 15, false, true } },
        { "rate control limits the rate", "Other", { 352, 288, 30, 15, true }, { 352, 288, 15, true, false } },
        { "rate control off ignores the maximum", "Other", { 352, 288, 30, 15, false }, { 352, 288, 30, true, false } },
        { "rates are clamped", "Other", { 352, 288, 99, 30, false }, { 352, 288, 30, true, false } },
    };
    for (const auto& c : cases) {
        const CaptureRequest r = planCapture(overrides, c.device, c.settings);
        EXPECT_EQ(r.width, c.expected.width) << c.name;
        EXPECT_EQ(r.height, c.expected.height) << c.name;
        EXPECT_EQ(r.frameRate, c.expected.frameRate) << c.name;
        EXPECT_EQ(r.setFrameRate, c.expected.setFrameRate) << c.name;
        EXPECT_EQ(r.fromOverride, c.expected.fromOverride) << c.name;
    }
}

TEST(CapturePlan, DevicesIniSkipsDamagedSections)
{
    const auto path = std::filesystem::temp_directory_path() / ("devices-" + std::to_string(::getpid()) + ".ini");
    std::ofstream(path) << "[General]\nNUM_OF_DEVICE=5\n"
                           "[vdevice01]\nname=Good\nwidth=320\nheight=240\nframerate=10\nfSetFrameRate=1\n"
                           "[vdevice02]\nname=\nwidth=320\nheight=240\nframerate=10\n"   // empty name would match all
                           "[vdevice03]\nname=Huge\nwidth=99999\nheight=240\nframerate=10\n"
                           "[vdevice04]\nname=NoRate\nwidth=320\nheight=240\nframerate=0\n"
                           "[VDevice05]\nName=Upper\nWidth=176\nHeight=144\nFrameRate=5x\n";
    const auto overrides = readDevicesIni(path.string());
    std::filesystem::remove(path);
    ASSERT_EQ(overrides.size(), 2u);
    EXPECT_EQ(overrides[0].name, "Good");
    EXPECT_TRUE(overrides[0].setFrameRate);
    EXPECT_EQ(overrides[1].name, "Upper");
    EXPECT_EQ(overrides[1].frameRate, 5);
    EXPECT_TRUE(readDevicesIni("/nonexistent/devices.ini").empty());
}

TEST(CapturePlan, FrameRatePlanSharesTheBusBetweenLargeCameras)
{
    using In = FrameRatePlanInput;
    struct Case {
        const char* name;
        std::array<In, 4> cameras;
        TvStandard standard;
        std::array<int, 4> rates;
    };
    const Case cases[] = {
        { "one large camera keeps the full rate", { In { true, 640 }, In {}, In {}, In {} }, TvStandard::Ntsc, { 30, 30, 30, 30 } },
        { "two cameras: large ones 15", { In { true, 640 }, In { true, 320 }, In {}, In { false, 720 } }, TvStandard::Pal,
          { 15, 25, 25, 15 } },
        { "three cameras: 10", { In { true, 720 }, In { true, 640 }, In { true, 352 }, In {} }, TvStandard::Secam,
          { 10, 10, 25, 25 } },
        { "four cameras: 5", { In { true, 640 }, In { true, 640 }, In { true, 640 }, In { true, 639 } }, TvStandard::Ntsc,
          { 5, 5, 5, 30 } },
    };
    for (const auto& c : cases) {
        const auto plan = planFrameRates(c.cameras, c.standard, true);
        for (size_t i = 0; i < 4; ++i) {
            EXPECT_EQ(plan[i].maxFrameRate, c.rates[i]) << c.name << " camera " << i + 1;
            EXPECT_TRUE(plan[i].useFrameRateControl);
        }
    }
    EXPECT_FALSE(planFrameRates({}, TvStandard::Ntsc, false)[0].useFrameRateControl);
}

TEST(CapturePlan, OfferedPictureSizesAreInRangeSortedAndUnique)
{
    const std::vector<PictureSize> device = { { 640, 480 }, { 160, 120 }, { 320, 240 }, { 1280, 720 },
                                              { 352, 288 }, { 320, 240 }, { 320, 180 }, { 250, 200 } };
    const std::vector<PictureSize> expected = { { 250, 200 }, { 320, 180 }, { 320, 240 }, { 352, 288 }, { 640, 480 } };
    EXPECT_EQ(offeredPictureSizes(device, "USB Camera"), expected);
    const std::vector<PictureSize> splitCam = { { 320, 240 }, { 352, 288 }, { 640, 480 }, { 720, 480 } };
    EXPECT_EQ(offeredPictureSizes(device, "SplitCam Video Driver"), splitCam);
    EXPECT_TRUE(offeredPictureSizes({}, "USB Camera").empty());
}

TEST(ChannelMessages, PictureFormatAndDeviceChoiceChecks)
{
    EXPECT_EQ(checkPictureFormat(240, VideoSubtype::I420), kMsgBadVideoWidth);
    EXPECT_EQ(checkPictureFormat(256, VideoSubtype::I420), 0);
    EXPECT_EQ(checkPictureFormat(720, VideoSubtype::RGB24), 0);
    EXPECT_EQ(checkPictureFormat(721, VideoSubtype::RGB24), kMsgBadVideoWidth);
    EXPECT_EQ(checkPictureFormat(320, VideoSubtype::UYVY), kMsgBadColourSpace);

    const auto same = checkDeviceChoices({ "a", "", "b", "a" }, { "", "", "", "" });
    EXPECT_EQ(same.messageId, kMsgSameVideoDevice);
    EXPECT_EQ(same.firstCamera, 1);
    EXPECT_EQ(same.secondCamera, 4);
    EXPECT_EQ(checkDeviceChoices({ "a", "b", "", "" }, { "m", "m", "", "" }).messageId, kMsgSameAudioDevice);
    EXPECT_EQ(checkDeviceChoices({ "a", "b", "", "" }, { "m", "", "", "" }).messageId, 0);
}

} // namespace
} // namespace vantry::station
