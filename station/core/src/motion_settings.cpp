#include "station/core/motion_settings.h"

#include <algorithm>
#include <cstdint>

namespace vantry::station {

MotionSettings MotionSettings::clamped() const
{
    MotionSettings s = *this;
    s.volumeThresholdPercent = std::min(s.volumeThresholdPercent, 100u);
    s.levelThreshold = std::clamp(s.levelThreshold, 0, 255);
    s.shortMotionLengthSeconds = std::clamp(s.shortMotionLengthSeconds, kMinShortMotionLengthSeconds,
                                            kMaxShortMotionLengthSeconds);
    s.gridSize = std::clamp(s.gridSize, kMinGridSize, kMaxGridSize);
    if (s.maskFileSize < 0)
        s.maskFileSize = 0;
    return s;
}

MotionSettings motionSettingsFromRecord(const common::MotionSettings& record)
{
    MotionSettings s;
    // A negative percentage in the file must not wrap to a huge unsigned threshold.
    s.volumeThresholdPercent = record.motionVolumeThreshold < 0 ? 0u : static_cast<unsigned>(record.motionVolumeThreshold);
    s.levelThreshold = record.motionValueThreshold;
    s.ignoreShortMotion = record.ignoreShortMotion != 0;
    s.shortMotionLengthSeconds = record.shortMotionLengthSeconds;
    s.displayGrid = record.displayGrid != 0;
    s.transparentMask = record.transparentMask != 0;
    s.gridSize = record.gridSize;
    s.maskFileName = record.maskFileName;
    s.maskFileSize = record.maskFileSize;
    return s.clamped();
}

common::MotionSettings motionSettingsToRecord(const MotionSettings& settings)
{
    const MotionSettings s = settings.clamped();
    common::MotionSettings record;
    record.motionVolumeThreshold = static_cast<int32_t>(s.volumeThresholdPercent);
    record.motionValueThreshold = s.levelThreshold;
    record.ignoreShortMotion = s.ignoreShortMotion ? 1 : 0;
    record.shortMotionLengthSeconds = s.shortMotionLengthSeconds;
    record.displayGrid = s.displayGrid ? 1 : 0;
    record.transparentMask = s.transparentMask ? 1 : 0;
    record.gridSize = s.gridSize;
    // The file keeps a 32-bit size; a mask is a few hundred kilobytes at most.
    record.maskFileSize = s.maskFileSize > INT32_MAX ? 0 : static_cast<int32_t>(s.maskFileSize);
    record.maskFileName = s.maskFileName;
    return record;
}

} // namespace vantry::station
