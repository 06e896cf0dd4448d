#pragma once

#include "station/core/frame_store.h"

#include <gst/gst.h>
#include <gst/video/video.h>

#include <atomic>
#include <vector>

namespace vantry::station::detail {

// Hands appsink samples to a frame store in the store's canonical layout (planes packed,
// rows padded to 4 bytes). Devices that deliver padded rows or split planes are repacked;
// everything else is copied once. Runs on the streaming thread only.
class SampleCopier {
public:
    explicit SampleCopier(FrameStore& store);

    // false when the sample could not be read (unsupported caps, short buffer): dropped.
    bool deliver(GstSample* sample);

    // Frames per second of the negotiated caps (0 when variable or not known yet).
    int frameRate() const { return frameRate_.load(); }

private:
    bool updateCaps(GstCaps* caps);

    FrameStore& store_;
    GstCaps* caps_ = nullptr;
    bool usable_ = false;
    GstVideoInfo info_ {};
    GstVideoInfo canonical_ {};
    FrameFormat format_;
    std::vector<uint8_t> scratch_;
    std::atomic<int> frameRate_ { 0 };
};

} // namespace vantry::station::detail
