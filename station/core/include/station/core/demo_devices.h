#pragma once

#include "station/core/capture_device.h"

#include <vector>

namespace vantry::station {

// "Demo Camera 1".."Demo Camera 4" (a moving test pattern with a clock, so motion detection
// fires) and "Demo Microphone 1".."Demo Microphone 4" (tones). Offered only in demo mode.
inline constexpr int kDemoDeviceCount = 4;

std::vector<CaptureDevice> demoDevices(DeviceKind kind);
bool isDemoDevice(const CaptureDevice& device);
// A live source bin for a demo device (floating), nullptr for any other device.
GstElement* createDemoSource(const CaptureDevice& device);
// A test pattern has any size; the demo cameras offer the common capture sizes.
std::vector<std::pair<int, int>> demoPictureSizes();

} // namespace vantry::station
