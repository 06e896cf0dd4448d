#pragma once

#include "station/core/video_format.h"

#include <QImage>

#include <cstddef>
#include <cstdint>

namespace vantry::station::ui {

// A frame of the frame store as a picture to paint (BT.601 studio range for the YUV
// layouts). A null image for an unknown layout or a frame shorter than its format.
QImage frameToImage(const FrameFormat& format, const uint8_t* data, size_t size);

} // namespace vantry::station::ui
