#pragma once

#include "common/service_settings.h"

#include <cstdint>
#include <string>

namespace vantry::station {

// The detector's settings of one camera (section "Motion%02d"); the hub fills it from the
// camera's settings and stores it back.
struct MotionSettings {
    static constexpr unsigned kDefaultVolumeThresholdPercent = 0;
    static constexpr int kDefaultLevelThreshold = 80;
    static constexpr int kDefaultShortMotionLengthSeconds = 1;
    static constexpr int kMinShortMotionLengthSeconds = 1;
    static constexpr int kMaxShortMotionLengthSeconds = 60;
    static constexpr int kDefaultGridSize = 40;
    static constexpr int kMinGridSize = 4;
    static constexpr int kMaxGridSize = 40;

    unsigned volumeThresholdPercent = kDefaultVolumeThresholdPercent; // uMotionVolumeThreshold, 0..100
    int levelThreshold = kDefaultLevelThreshold;                      // byMotionValueThreshold, 0..255
    bool ignoreShortMotion = false;                                   // fIgnoreShortMotion
    int shortMotionLengthSeconds = kDefaultShortMotionLengthSeconds;  // nShortMotionLength, 1..60
    bool displayGrid = true;                                          // fDisplayGrid
    bool transparentMask = true;                                      // fTransparentMask
    int gridSize = kDefaultGridSize;                                  // nGridSize, 4..40
    std::string maskFileName;                                         // MaskFileName
    int64_t maskFileSize = 0;                                         // MaskFileSize, 0 = no mask

    // Values out of range (a hand-edited file) are brought back into range.
    MotionSettings clamped() const;
    friend bool operator==(const MotionSettings&, const MotionSettings&) = default;
};

// The one place where the settings record of section "Motion%02d" (common::MotionSettings,
// filled from the schema) becomes the detector's form and back. The detector's clamps apply
// on the way in, so a hand-edited file never reaches the detector out of range.
MotionSettings motionSettingsFromRecord(const common::MotionSettings& record);
common::MotionSettings motionSettingsToRecord(const MotionSettings& settings);

// What the camera options dialog reads and writes.
struct MotionOptions {
    int levelThreshold = MotionSettings::kDefaultLevelThreshold;
    unsigned volumeThresholdPercent = MotionSettings::kDefaultVolumeThresholdPercent;
    uint64_t volumePixels = 0; // read only: follows from the percentage and the frame size
    bool ignoreShortMotion = false;
    int shortMotionLengthSeconds = MotionSettings::kDefaultShortMotionLengthSeconds;
    friend bool operator==(const MotionOptions&, const MotionOptions&) = default;
};

} // namespace vantry::station
