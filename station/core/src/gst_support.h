#pragma once

#include "station/core/video_format.h"

#include <gst/gst.h>
#include <gst/video/video.h>

namespace vantry::station {

// Initialises GStreamer once per process; false when it cannot be initialised.
bool ensureGStreamer();
bool hasElement(const char* factoryName);

GstVideoFormat gstFormatOf(VideoSubtype subtype);
VideoSubtype subtypeOfGst(GstVideoFormat format);

// The frame-store format of frames negotiated with these caps: GStreamer frames are
// top-down, so RGB formats carry a negative height. Invalid when unsupported.
FrameFormat frameFormatOf(const GstVideoInfo& info);

} // namespace vantry::station
