#include "sample_copier.h"

#include "gst_support.h"

#include <algorithm>
#include <cstring>

namespace vantry::station::detail {

SampleCopier::SampleCopier(FrameStore& store)
    : store_(store)
{
}

bool SampleCopier::updateCaps(GstCaps* caps)
{
    if (caps_ && gst_caps_is_equal(caps_, caps))
        return usable_;
    gst_caps_replace(&caps_, caps);
    usable_ = false;
    if (!gst_video_info_from_caps(&info_, caps))
        return false;
    const FrameFormat format = frameFormatOf(info_);
    if (!format.isValid())
        return false;
    gst_video_info_init(&canonical_);
    if (!gst_video_info_set_format(&canonical_, GST_VIDEO_INFO_FORMAT(&info_), GST_VIDEO_INFO_WIDTH(&info_),
                                   GST_VIDEO_INFO_HEIGHT(&info_)))
        return false;
    const int fpsN = GST_VIDEO_INFO_FPS_N(&info_);
    const int fpsD = GST_VIDEO_INFO_FPS_D(&info_);
    frameRate_.store(fpsD > 0 ? fpsN / fpsD : 0);
    format_ = format;
    usable_ = true;
    return true;
}

bool SampleCopier::deliver(GstSample* sample)
{
    GstCaps* caps = gst_sample_get_caps(sample);
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    if (!caps || !buffer || !updateCaps(caps))
        return false;
    const size_t size = GST_VIDEO_INFO_SIZE(&canonical_);

    if (!gst_buffer_get_video_meta(buffer)) {
        GstMapInfo map;
        if (!gst_buffer_map(buffer, &map, GST_MAP_READ))
            return false;
        const bool whole = map.size >= size;
        if (whole)
            store_.deliver(map.data, size, &format_);
        gst_buffer_unmap(buffer, &map);
        return whole;
    }

    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, &info_, buffer, GST_MAP_READ))
        return false;
    if (scratch_.size() < size)
        scratch_.resize(size);
    for (guint plane = 0; plane < GST_VIDEO_FRAME_N_PLANES(&frame); ++plane) {
        const auto* in = static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, plane));
        const int inStride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, plane);
        const int outStride = GST_VIDEO_INFO_PLANE_STRIDE(&canonical_, plane);
        // Planes and components line up for every format we accept (one packed plane, or
        // Y, U, V planes whose chroma planes share their height).
        const int rows = GST_VIDEO_FRAME_COMP_HEIGHT(&frame, plane);
        uint8_t* out = scratch_.data() + GST_VIDEO_INFO_PLANE_OFFSET(&canonical_, plane);
        const size_t rowBytes = static_cast<size_t>(std::min(inStride, outStride));
        for (int row = 0; row < rows; ++row)
            std::memcpy(out + static_cast<size_t>(row) * static_cast<size_t>(outStride),
                        in + static_cast<size_t>(row) * static_cast<size_t>(inStride), rowBytes);
    }
    gst_video_frame_unmap(&frame);
    store_.deliver(scratch_.data(), size, &format_);
    return true;
}

} // namespace vantry::station::detail
