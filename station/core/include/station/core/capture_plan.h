#pragma once

#include <array>
#include <compare>
#include <string>
#include <vector>

namespace vantry::station {

// One "vdevice%02d" section of devices.ini: a size and rate that suits a device whose
// friendly name contains `name`.
struct DeviceOverride {
    std::string name;
    int width = 0;
    int height = 0;
    int frameRate = 0;
    bool setFrameRate = false;
};

// Reads devices.ini (optional: a missing file gives no overrides). Sections with an empty
// name, or a size or rate out of range, are skipped.
std::vector<DeviceOverride> readDevicesIni(const std::string& path);

inline constexpr int kMinFrameRate = 1;
inline constexpr int kMaxFrameRate = 30;

// What the channel asks of its video device.
struct CaptureRequest {
    int width = 0;
    int height = 0;
    int frameRate = 0;        // the rate in use (FrameRate afterwards)
    bool setFrameRate = true; // false: the device keeps its own rate
    bool fromOverride = false;
};

struct CaptureSettings {
    int width = 352;
    int height = 288;
    int frameRate = 30;
    int maxFrameRate = 30;
    bool useFrameRateControl = false;
};

// Picture size and frame rate for a device: a devices.ini entry whose name occurs in the
// friendly name and whose size and rate equal the current ones decides whether the rate is
// set; failing that, the first entry whose name occurs hands over its size and rate. The
// rate is FrameRate, limited to MaxFrameRate when frame-rate control is on.
CaptureRequest planCapture(const std::vector<DeviceOverride>& overrides, const std::string& friendlyName,
                           const CaptureSettings& settings);

// Picture sizes for the camera options page: the device's sizes with a width of 250 to
// 720, by width then height, each once. Devices whose name contains "SplitCam" report
// nothing useful and get a fixed list.
struct PictureSize {
    int width = 0;
    int height = 0;
    friend auto operator<=>(const PictureSize&, const PictureSize&) = default;
};

std::vector<PictureSize> offeredPictureSizes(std::vector<PictureSize> deviceSizes, const std::string& friendlyName);

// The frame-rate plan after the devices or camera options change.
enum class TvStandard { Ntsc, Pal, Secam };

struct FrameRatePlanInput {
    bool hasVideoDevice = false;
    int captureWidth = 0;
};

struct FrameRatePlanEntry {
    int maxFrameRate = kMaxFrameRate;
    bool useFrameRateControl = false;
    friend bool operator==(const FrameRatePlanEntry&, const FrameRatePlanEntry&) = default;
};

std::array<FrameRatePlanEntry, 4> planFrameRates(const std::array<FrameRatePlanInput, 4>& cameras, TvStandard standard,
                                                 bool autoFrameRateAdjustment);

} // namespace vantry::station
