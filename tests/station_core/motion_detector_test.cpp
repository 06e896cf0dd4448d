#include "station/core/motion_detector.h"
#include "station/core/motion_monitor.h"

#include "test_frames.h"

#include <gtest/gtest.h>

#include <string>

namespace vantry::station {
namespace {

using LumaFn = std::function<uint8_t(int, int)>;

enum class MaskKind { None, AllZero, LeftHalfZeroAtHalfSize, TopRowZero };

struct DetectionCase {
    std::string name;
    int width;
    int height;
    unsigned volumePercent;
    int level;
    MaskKind mask;
    LumaFn first;
    LumaFn second;
    bool motion;
    uint64_t changed;
};

// n pixels (in reading order from the top-left) changed from 0 to `to`.
LumaFn changedPixels(int width, int n, uint8_t to)
{
    return [=](int x, int y) { return static_cast<uint8_t>(y * width + x < n ? to : 0); };
}

LumaFn flat(uint8_t v)
{
    return [=](int, int) { return v; };
}

std::optional<GreyBitmap> makeMask(MaskKind kind, int width, int height)
{
    switch (kind) {
    case MaskKind::None: return std::nullopt;
    case MaskKind::AllZero: return GreyBitmap(width, height, 0);
    case MaskKind::LeftHalfZeroAtHalfSize: {
        // Drawn for a picture half the size: the detector must rescale it.
        GreyBitmap mask(width / 2, height / 2, 255);
        for (int row = 0; row < height / 2; ++row)
            for (int x = 0; x < width / 4; ++x)
                mask.at(x, row) = 0;
        return mask;
    }
    case MaskKind::TopRowZero: {
        GreyBitmap mask(width, height, 255);
        for (int x = 0; x < width; ++x)
            mask.at(x, height - 1) = 0; // bitmaps are bottom-up: the last row is the top
        return mask;
    }
    }
    return std::nullopt;
}

class DetectionTable : public ::testing::TestWithParam<DetectionCase> {};

TEST_P(DetectionTable, CountsChangedPixelsAgainstThresholds)
{
    const DetectionCase& c = GetParam();
    MotionDetector detector;
    detector.setFrameFormat(makeFrameFormat(VideoSubtype::I420, c.width, c.height));
    detector.setMask(makeMask(c.mask, c.width, c.height));
    ASSERT_EQ(detector.setVolumeThreshold(DetectionSlot::Live, c.volumePercent), 1);
    ASSERT_EQ(detector.setLevelThreshold(DetectionSlot::Live, c.level), 1);
    ASSERT_EQ(detector.startSlot(DetectionSlot::Live), 1);

    const auto a = test::makeI420(c.width, c.height, c.first);
    const auto b = test::makeI420(c.width, c.height, c.second);
    EXPECT_FALSE(detector.processFrame(DetectionSlot::Live, a.data(), a.size())) << "the first frame only primes";
    EXPECT_EQ(detector.processFrame(DetectionSlot::Live, b.data(), b.size()), c.motion);
    EXPECT_EQ(detector.changedPixels(DetectionSlot::Live), c.changed);
}

const int W = 320;
const int H = 240;

INSTANTIATE_TEST_SUITE_P(
    Cases, DetectionTable,
    ::testing::Values(
        DetectionCase { "IdenticalFramesVolume0", W, H, 0, 0, MaskKind::None, flat(90), flat(90), false, 0 },
        DetectionCase { "IdenticalFramesDefaults", W, H, 0, 80, MaskKind::None, flat(90), flat(90), false, 0 },
        DetectionCase { "OnePixelIsEnoughAtVolume0", W, H, 0, 80, MaskKind::None, flat(0), changedPixels(W, 1, 200), true, 1 },
        DetectionCase { "Level255NeverCounts", W, H, 0, 255, MaskKind::None, flat(0), flat(255), false, 0 },
        DetectionCase { "DifferenceEqualToLevelIsNotAChange", W, H, 0, 80, MaskKind::None, flat(0), flat(80), false, 0 },
        DetectionCase { "DifferenceAboveLevelIsAChange", W, H, 0, 80, MaskKind::None, flat(0), changedPixels(W, 5, 81), true, 5 },
        DetectionCase { "ZeroMaskSeesNothing", W, H, 0, 0, MaskKind::AllZero, flat(0), flat(255), false, 0 },
        DetectionCase { "Volume10CountEqualToVIsNoMotion", W, H, 10, 80, MaskKind::None, flat(0), changedPixels(W, 7680, 255), false, 7680 },
        DetectionCase { "Volume10CountAboveVIsMotion", W, H, 10, 80, MaskKind::None, flat(0), changedPixels(W, 7681, 255), true, 7681 },
        DetectionCase { "RescaledMaskHidesLeftHalf", W, H, 0, 80, MaskKind::LeftHalfZeroAtHalfSize, flat(0),
                        [](int x, int) { return static_cast<uint8_t>(x < W / 2 ? 255 : 0); }, false, 0 },
        DetectionCase { "RescaledMaskWatchesRightHalf", W, H, 0, 80, MaskKind::LeftHalfZeroAtHalfSize, flat(0),
                        [](int x, int y) { return static_cast<uint8_t>(x >= W / 2 && y == 0 ? 255 : 0); }, true, W / 2 },
        DetectionCase { "MaskRowsAreBottomUp", W, H, 0, 80, MaskKind::TopRowZero, flat(0), changedPixels(W, W, 255), false, 0 }),
    [](const auto& row) { return row.param.name; });

TEST(MotionDetector, VolumeIsPercentOfPixelsAndFollowsTheFormat)
{
    MotionDetector detector;
    detector.setFrameFormat(makeFrameFormat(VideoSubtype::YUY2, 320, 240));
    ASSERT_EQ(detector.setVolumeThreshold(DetectionSlot::Live, 10), 1);
    EXPECT_EQ(detector.volumePixels(DetectionSlot::Live), 7680u);
    detector.setFrameFormat(makeFrameFormat(VideoSubtype::YUY2, 640, 480));
    EXPECT_EQ(detector.volumePixels(DetectionSlot::Live), 30720u);
    EXPECT_EQ(detector.setVolumeThreshold(DetectionSlot::Live, 101), 0);
    EXPECT_EQ(detector.volumeThresholdPercent(DetectionSlot::Live), 10u);
    EXPECT_EQ(detector.setLevelThreshold(DetectionSlot::Live, 256), 0);
    EXPECT_EQ(detector.setLevelThreshold(DetectionSlot::Live, -1), 0);
}

TEST(MotionDetector, ChangedShareHasTwoDecimals)
{
    MotionDetector detector;
    detector.setFrameFormat(makeFrameFormat(VideoSubtype::I420, W, H));
    ASSERT_EQ(detector.startSlot(DetectionSlot::Preview), 1);
    const auto a = test::makeI420(W, H, flat(0));
    const auto b = test::makeI420(W, H, changedPixels(W, 1000, 255)); // 1000 / 76800 = 1.30 %
    detector.processFrame(DetectionSlot::Preview, a.data(), a.size());
    detector.processFrame(DetectionSlot::Preview, b.data(), b.size());
    EXPECT_EQ(detector.changedShare(DetectionSlot::Preview).percent, 1);
    EXPECT_EQ(detector.changedShare(DetectionSlot::Preview).hundredths, 30);
    EXPECT_EQ(detector.largestDifference(DetectionSlot::Preview), 255);
    EXPECT_FALSE(detector.isActive(DetectionSlot::Live)) << "the preview slot is independent";
}

TEST(MotionDetector, BadFramesAreNoMotionAndLeaveTheComparisonIntact)
{
    MotionDetector detector;
    detector.setFrameFormat(makeFrameFormat(VideoSubtype::I420, W, H));
    EXPECT_FALSE(detector.processFrame(DetectionSlot::Live, nullptr, 0)) << "inactive slot";
    ASSERT_EQ(detector.startSlot(DetectionSlot::Live), 1);
    const auto a = test::makeI420(W, H, flat(0));
    const auto b = test::makeI420(W, H, flat(200));
    detector.processFrame(DetectionSlot::Live, a.data(), a.size());
    EXPECT_FALSE(detector.processFrame(DetectionSlot::Live, b.data(), 100)) << "short frame";
    EXPECT_TRUE(detector.processFrame(DetectionSlot::Live, b.data(), b.size())) << "still compared with frame a";

    MotionDetector unknown;
    unknown.setFrameFormat(FrameFormat { VideoSubtype::Unknown, W, H, 12, 0, 0 });
    EXPECT_EQ(unknown.startSlot(DetectionSlot::Live), 0) << "no picture for an unknown format";
}

TEST(MotionDetector, OptionsExchangeRefusesOutOfRangeAndUpdatesTheLiveSlot)
{
    MotionDetector detector;
    detector.setFrameFormat(makeFrameFormat(VideoSubtype::I420, W, H));
    MotionOptions options = detector.options();
    options.levelThreshold = 30;
    options.volumeThresholdPercent = 10;
    options.ignoreShortMotion = true;
    options.shortMotionLengthSeconds = 3;
    ASSERT_EQ(detector.setOptions(options), 1);
    const MotionOptions read = detector.options();
    EXPECT_EQ(read.levelThreshold, 30);
    EXPECT_EQ(read.volumePixels, 7680u);
    EXPECT_TRUE(read.ignoreShortMotion);
    EXPECT_EQ(detector.levelThreshold(DetectionSlot::Live), 30);

    for (auto broken : { MotionOptions { 256, 0, 0, false, 1 }, MotionOptions { 0, 101, 0, false, 1 },
                         MotionOptions { 0, 0, 0, true, 0 }, MotionOptions { 0, 0, 0, true, 61 } })
        EXPECT_EQ(detector.setOptions(broken), 0);
    EXPECT_EQ(detector.options(), read);
}

TEST(MotionDetector, MaskCellsAreGridAlignedAndAnAllWatchedMaskIsDropped)
{
    MotionDetector detector;
    detector.setFrameFormat(makeFrameFormat(VideoSubtype::I420, 100, 50));
    detector.setEditorSettings(true, true, 40);
    detector.markCell(10, 10, true);
    EXPECT_FALSE(detector.mask()) << "marking watched without a mask does nothing";

    detector.markCell(85, 45, false); // the cell at x 80..99, y 40..49, clipped at the edges
    ASSERT_TRUE(detector.mask());
    const GreyBitmap& mask = *detector.mask();
    EXPECT_EQ(mask.pixels()[0 * mask.stride() + 80], 0) << "bottom-up: row 0 is the picture's last row";
    EXPECT_EQ(mask.pixels()[9 * mask.stride() + 99], 0);
    EXPECT_EQ(mask.pixels()[10 * mask.stride() + 80], 255);
    EXPECT_EQ(mask.pixels()[0 * mask.stride() + 79], 255);

    detector.markCell(99, 49, true);
    EXPECT_FALSE(detector.mask()) << "all watched again: no mask";
    detector.maskEverything();
    ASSERT_TRUE(detector.mask());
    EXPECT_TRUE(detector.mask()->allPixelsEqual(0));
}

// A frame store fed by hand and a monitor reading it: the frame feed of the motion timer.
class ManualClock final : public Clock {
public:
    int64_t nowSeconds() const override { return now; }
    int64_t now = 1000;
};

class RecordingListener final : public MotionListener {
public:
    void onMotionEvent(int camera, MotionEvent event, uint32_t value) override
    {
        events.push_back({ camera, event, value });
    }
    struct Entry {
        int camera;
        MotionEvent event;
        uint32_t value;
    };
    std::vector<Entry> events;
};

TEST(MotionMonitor, AFrameServedTwiceIsProcessedOnce)
{
    ManualClock clock;
    FrameStore store(clock);
    store.setFormat(makeFrameFormat(VideoSubtype::I420, W, H));
    RecordingListener listener;
    MotionMonitor monitor(2, store, &listener);
    int processed = 0;
    monitor.setFrameObserver([&](DetectionSlot, bool) { ++processed; });
    ASSERT_EQ(monitor.startDetection(), 1);
    EXPECT_EQ(store.users(), 1);

    const auto a = test::makeI420(W, H, flat(0));
    const auto b = test::makeI420(W, H, flat(200));
    store.deliver(a.data(), a.size());
    EXPECT_TRUE(monitor.tick());
    EXPECT_FALSE(monitor.tick()) << "same stamp: nothing to do";
    EXPECT_EQ(processed, 1);

    store.deliver(b.data(), b.size());
    EXPECT_TRUE(monitor.tick());
    EXPECT_EQ(processed, 2);
    ASSERT_FALSE(listener.events.empty());
    EXPECT_EQ(listener.events.front().camera, 2);
    EXPECT_EQ(listener.events.front().event, MotionEvent::MotionStarted);
    EXPECT_EQ(listener.events.front().value, 1000u);

    monitor.stopDetection();
    EXPECT_EQ(store.users(), 0);
    EXPECT_FALSE(monitor.tracker().inMotion()) << "stopping ends the open period";
    EXPECT_EQ(listener.events.back().event, MotionEvent::EventEnd);
    EXPECT_FALSE(monitor.tick());
}

TEST(MotionMonitor, StartNeedsAKnownFormatAndFollowsFormatChanges)
{
    ManualClock clock;
    FrameStore store(clock);
    MotionMonitor monitor(0, store, nullptr);
    EXPECT_EQ(monitor.startDetection(), 0) << "no graph, no format";
    store.setFormat(makeFrameFormat(VideoSubtype::I420, 160, 120));
    ASSERT_EQ(monitor.startDetection(), 1);

    store.setFormat(makeFrameFormat(VideoSubtype::YUY2, 320, 240));
    const auto frame = test::randomBytes(makeFrameFormat(VideoSubtype::YUY2, 320, 240).imageSize, 3);
    store.deliver(frame.data(), frame.size());
    EXPECT_TRUE(monitor.tick());
    EXPECT_EQ(monitor.detector().frameFormat().width, 320);
    EXPECT_EQ(monitor.detector().currentPicture(DetectionSlot::Live).width(), 320);
}

} // namespace
} // namespace vantry::station
