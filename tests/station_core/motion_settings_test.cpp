#include "station/core/motion_settings.h"

#include <gtest/gtest.h>

namespace vantry::station {
namespace {

// The settings record of section Motion%02d reaches the detector through one conversion, with
// the detector's limits applied; a hand-edited file must not reach it out of range.
TEST(MotionSettingsRecordTest, ValuesOutOfRangeAreBroughtIntoRange)
{
    struct Case {
        int32_t volume, level, shortLength, grid;
        unsigned wantVolume;
        int wantLevel, wantShortLength, wantGrid;
    };
    const Case cases[] = {
        { 10, 80, 3, 20, 10u, 80, 3, 20 },
        { -5, -1, 0, 2, 0u, 0, 1, 4 },       // a negative percentage must not wrap to a huge one
        { 250, 300, 99, 400, 100u, 255, 60, 40 },
    };
    for (const Case& c : cases) {
        common::MotionSettings record;
        record.motionVolumeThreshold = c.volume;
        record.motionValueThreshold = c.level;
        record.shortMotionLengthSeconds = c.shortLength;
        record.gridSize = c.grid;
        const MotionSettings s = motionSettingsFromRecord(record);
        EXPECT_EQ(s.volumeThresholdPercent, c.wantVolume) << c.volume;
        EXPECT_EQ(s.levelThreshold, c.wantLevel) << c.level;
        EXPECT_EQ(s.shortMotionLengthSeconds, c.wantShortLength) << c.shortLength;
        EXPECT_EQ(s.gridSize, c.wantGrid) << c.grid;
    }
}

TEST(MotionSettingsRecordTest, RecordSurvivesTheRoundTrip)
{
    common::MotionSettings record;
    record.motionVolumeThreshold = 7;
    record.motionValueThreshold = 33;
    record.ignoreShortMotion = 1;
    record.shortMotionLengthSeconds = 12;
    record.displayGrid = 0;
    record.transparentMask = 0;
    record.gridSize = 16;
    record.maskFileSize = 77878;
    record.maskFileName = "/data/mask01.dat";
    const common::MotionSettings back = motionSettingsToRecord(motionSettingsFromRecord(record));
    EXPECT_EQ(back.motionVolumeThreshold, 7);
    EXPECT_EQ(back.motionValueThreshold, 33);
    EXPECT_EQ(back.ignoreShortMotion, 1);
    EXPECT_EQ(back.shortMotionLengthSeconds, 12);
    EXPECT_EQ(back.displayGrid, 0);
    EXPECT_EQ(back.transparentMask, 0);
    EXPECT_EQ(back.gridSize, 16);
    EXPECT_EQ(back.maskFileSize, 77878);
    EXPECT_EQ(back.maskFileName, "/data/mask01.dat");
}

} // namespace
} // namespace vantry::station
