#include "station/core/motion_settings.h"

#include <algorithm>

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

} // namespace vantry::station
