#include "station/core/capture_plan.h"

#include "platform/ini_profile.h"
#include "station/core/video_format.h"

#include <algorithm>
#include <cstdio>

namespace vantry::station {

namespace {

// More sections than this is a damaged file, not a list of devices.
constexpr long long kMaxDeviceSections = 256;

} // namespace

std::vector<DeviceOverride> readDevicesIni(const std::string& path)
{
    std::vector<DeviceOverride> overrides;
    platform::IniDocument ini;
    if (!ini.loadFile(path))
        return overrides;
    const auto integer = [&ini](const char* section, const char* key) {
        return static_cast<long long>(ini.readInt(section, key, 0));
    };
    const long long count = std::clamp(integer("general", "num_of_device"), 0LL, kMaxDeviceSections);
    for (long long i = 1; i <= count; ++i) {
        char section[16];
        std::snprintf(section, sizeof section, "vdevice%02lld", i);
        DeviceOverride entry;
        entry.name = ini.readString(section, "name", "");
        entry.width = static_cast<int>(std::clamp(integer(section, "width"), -1LL, 100000LL));
        entry.height = static_cast<int>(std::clamp(integer(section, "height"), -1LL, 100000LL));
        entry.frameRate = static_cast<int>(std::clamp(integer(section, "framerate"), -1LL, 100000LL));
        entry.setFrameRate = integer(section, "fSetFrameRate") != 0;
        if (entry.name.empty() || entry.width <= 0 || entry.height <= 0 || entry.width > kMaxPictureSide
            || entry.height > kMaxPictureSide || entry.frameRate < kMinFrameRate || entry.frameRate > kMaxFrameRate)
            continue;
        overrides.push_back(std::move(entry));
    }
    return overrides;
}

CaptureRequest planCapture(const std::vector<DeviceOverride>& overrides, const std::string& friendlyName,
                           const CaptureSettings& settings)
{
    CaptureRequest request;
    request.width = settings.width;
    request.height = settings.height;
    request.frameRate = std::clamp(settings.frameRate, kMinFrameRate, kMaxFrameRate);

    const DeviceOverride* chosen = nullptr;
    for (const auto& entry : overrides) {
        if (friendlyName.find(entry.name) != std::string::npos && entry.width == request.width
            && entry.height == request.height && entry.frameRate == request.frameRate) {
            chosen = &entry;
            break;
        }
    }
    if (!chosen) {
        for (const auto& entry : overrides) {
            if (friendlyName.find(entry.name) != std::string::npos) {
                chosen = &entry;
                request.width = entry.width;
                request.height = entry.height;
                request.frameRate = entry.frameRate;
                break;
            }
        }
    }
    if (chosen) {
        request.setFrameRate = chosen->setFrameRate;
        request.fromOverride = true;
    }
    if (settings.useFrameRateControl)
        request.frameRate = std::min(request.frameRate, std::clamp(settings.maxFrameRate, kMinFrameRate, kMaxFrameRate));
    return request;
}

std::vector<PictureSize> offeredPictureSizes(std::vector<PictureSize> deviceSizes, const std::string& friendlyName)
{
    if (friendlyName.find("SplitCam") != std::string::npos)
        return { { 320, 240 }, { 352, 288 }, { 640, 480 }, { 720, 480 } };
    std::erase_if(deviceSizes, [](const PictureSize& s) {
        return s.width < kMinCaptureWidth || s.width > kMaxCaptureWidth || s.height <= 0 || s.height > kMaxPictureSide;
    });
    std::sort(deviceSizes.begin(), deviceSizes.end());
    deviceSizes.erase(std::unique(deviceSizes.begin(), deviceSizes.end()), deviceSizes.end());
    return deviceSizes;
}

std::array<FrameRatePlanEntry, 4> planFrameRates(const std::array<FrameRatePlanInput, 4>& cameras, TvStandard standard,
                                                 bool autoFrameRateAdjustment)
{
    const int withDevice = static_cast<int>(
        std::count_if(cameras.begin(), cameras.end(), [](const FrameRatePlanInput& c) { return c.hasVideoDevice; }));
    const int fullRate = standard == TvStandard::Ntsc ? 30 : 25;
    // Large pictures from several cameras share one USB 2.0 bus: fewer frames each.
    int largeRate = fullRate;
    switch (withDevice) {
    case 2: largeRate = 15; break;
    case 3: largeRate = 10; break;
    case 4: largeRate = 5; break;
    default: break;
    }
    std::array<FrameRatePlanEntry, 4> plan {};
    for (size_t i = 0; i < cameras.size(); ++i) {
        plan[i].maxFrameRate = cameras[i].captureWidth >= 640 ? largeRate : fullRate;
        plan[i].useFrameRateControl = autoFrameRateAdjustment;
    }
    return plan;
}

} // namespace vantry::station
