#include "station/core/demo_devices.h"

#include "gst_support.h"

#include <gst/gst.h>

#include <string>

namespace vantry::station {

namespace {

constexpr const char* kVideoPrefix = "demo:camera:";
constexpr const char* kAudioPrefix = "demo:microphone:";

int demoNumber(const CaptureDevice& device)
{
    const std::string prefix = device.kind == DeviceKind::Video ? kVideoPrefix : kAudioPrefix;
    if (device.displayName.rfind(prefix, 0) != 0 || device.displayName.size() != prefix.size() + 1)
        return 0;
    const char digit = device.displayName.back();
    return digit >= '1' && digit <= '0' + kDemoDeviceCount ? digit - '0' : 0;
}

GstElement* makeBin(const char* description, const char* name)
{
    GError* error = nullptr;
    GstElement* bin = gst_parse_bin_from_description(description, TRUE, &error);
    if (error) {
        g_error_free(error);
        if (bin)
            gst_object_unref(bin);
        return nullptr;
    }
    gst_object_set_name(GST_OBJECT(bin), name);
    return bin;
}

} // namespace

std::vector<CaptureDevice> demoDevices(DeviceKind kind)
{
    std::vector<CaptureDevice> list;
    for (int n = 1; n <= kDemoDeviceCount; ++n) {
        CaptureDevice device;
        device.kind = kind;
        const std::string number = std::to_string(n);
        device.displayName = (kind == DeviceKind::Video ? kVideoPrefix : kAudioPrefix) + number;
        device.friendlyName = (kind == DeviceKind::Video ? "Demo Camera " : "Demo Microphone ") + number;
        list.push_back(device);
    }
    return list;
}

bool isDemoDevice(const CaptureDevice& device) { return demoNumber(device) != 0; }

std::vector<std::pair<int, int>> demoPictureSizes()
{
    return { { 320, 240 }, { 352, 288 }, { 640, 480 }, { 720, 480 }, { 720, 576 } };
}

GstElement* createDemoSource(const CaptureDevice& device)
{
    const int n = demoNumber(device);
    if (n == 0)
        return nullptr;
    ensureGStreamer();
    if (device.kind == DeviceKind::Audio) {
        const std::string description = "audiotestsrc is-live=true wave=sine volume=0.2 freq="
            + std::to_string(330 + 110 * n);
        return makeBin(description.c_str(), "demo-microphone");
    }
    // A bouncing ball on a dark background changes many pixels every frame, and the clock
    // keeps changing even if the ball should be hidden under a mask.
    static const uint32_t colours[kDemoDeviceCount] = { 0xffffffff, 0xffffd000, 0xff40ff40, 0xff40c0ff };
    std::string description = "videotestsrc is-live=true pattern=ball motion=wavy foreground-color="
        + std::to_string(colours[n - 1]);
    if (hasElement("clockoverlay"))
        description += " ! clockoverlay time-format=\"Camera " + std::to_string(n) + "  %Y-%m-%d %H:%M:%S\"";
    else if (hasElement("timeoverlay"))
        description += " ! timeoverlay";
    return makeBin(description.c_str(), "demo-camera");
}

} // namespace vantry::station
