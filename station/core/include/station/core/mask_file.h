#pragma once

#include "station/core/grey_bitmap.h"

#include <cstdint>
#include <optional>
#include <string>

namespace vantry::station {

enum class MaskFileStatus {
    Loaded,
    NoMask,   // the settings name no mask (size 0 or no usable file name)
    Missing,  // the file cannot be opened
    Short,    // the file holds fewer bytes than the settings say
    Invalid,  // not a mask bitmap we can use
};

struct MaskFileResult {
    MaskFileStatus status = MaskFileStatus::NoMask;
    std::optional<GreyBitmap> mask;
    std::string error;
};

// Largest mask file we read: an 8-bit bitmap of the largest picture side squared would not
// fit a real camera anyway, and a damaged size must not make us allocate without bound.
inline constexpr int64_t kMaxMaskFileBytes = 16 * 1024 * 1024;

// "mask%02d.dat" with the camera number (index + 1).
std::string maskFileName(int cameraIndex);

// Loads the mask named by MaskFileName/MaskFileSize: reads that many bytes of the file and
// parses them. Anything but Loaded leaves the camera without a mask.
MaskFileResult loadMaskFile(const std::string& path, int64_t declaredSize);

struct MaskSaveResult {
    bool ok = false;
    std::string path;  // what goes to MaskFileName
    int64_t size = 0;  // what goes to MaskFileSize
    std::string error;
};

// Writes the mask bitmap as mask%02d.dat in the data folder. The file is replaced whole
// (written beside it, then renamed), so a crash never leaves a half-written mask.
MaskSaveResult saveMaskFile(const std::string& dataFolder, int cameraIndex, const GreyBitmap& mask);

} // namespace vantry::station
