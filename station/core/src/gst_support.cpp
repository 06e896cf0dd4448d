#include "gst_support.h"

namespace vantry::station {

bool ensureGStreamer()
{
    static const bool ok = gst_init_check(nullptr, nullptr, nullptr);
    return ok;
}

bool hasElement(const char* factoryName)
{
    GstElementFactory* factory = gst_element_factory_find(factoryName);
    if (!factory)
        return false;
    gst_object_unref(factory);
    return true;
}

GstVideoFormat gstFormatOf(VideoSubtype subtype)
{
    switch (subtype) {
    case VideoSubtype::I420:
    case VideoSubtype::IYUV: return GST_VIDEO_FORMAT_I420;
    case VideoSubtype::YV12: return GST_VIDEO_FORMAT_YV12;
    case VideoSubtype::YVU9:
    case VideoSubtype::IF09: return GST_VIDEO_FORMAT_YVU9;
    case VideoSubtype::YUY2: return GST_VIDEO_FORMAT_YUY2;
    case VideoSubtype::YVYU: return GST_VIDEO_FORMAT_YVYU;
    case VideoSubtype::UYVY: return GST_VIDEO_FORMAT_UYVY;
    case VideoSubtype::RGB24: return GST_VIDEO_FORMAT_BGR;
    case VideoSubtype::RGB32: return GST_VIDEO_FORMAT_BGRx;
    case VideoSubtype::ARGB32: return GST_VIDEO_FORMAT_BGRA;
    case VideoSubtype::RGB555: return GST_VIDEO_FORMAT_RGB15;
    case VideoSubtype::RGB565: return GST_VIDEO_FORMAT_RGB16;
    case VideoSubtype::Unknown: break;
    }
    return GST_VIDEO_FORMAT_UNKNOWN;
}

VideoSubtype subtypeOfGst(GstVideoFormat format)
{
    switch (format) {
    case GST_VIDEO_FORMAT_I420: return VideoSubtype::IYUV;
    case GST_VIDEO_FORMAT_YV12: return VideoSubtype::YV12;
    case GST_VIDEO_FORMAT_YVU9: return VideoSubtype::YVU9;
    case GST_VIDEO_FORMAT_YUY2: return VideoSubtype::YUY2;
    case GST_VIDEO_FORMAT_YVYU: return VideoSubtype::YVYU;
    case GST_VIDEO_FORMAT_UYVY: return VideoSubtype::UYVY;
    case GST_VIDEO_FORMAT_BGR: return VideoSubtype::RGB24;
    case GST_VIDEO_FORMAT_BGRx: return VideoSubtype::RGB32;
    case GST_VIDEO_FORMAT_BGRA: return VideoSubtype::ARGB32;
    case GST_VIDEO_FORMAT_RGB15: return VideoSubtype::RGB555;
    case GST_VIDEO_FORMAT_RGB16: return VideoSubtype::RGB565;
    default: return VideoSubtype::Unknown;
    }
}

FrameFormat frameFormatOf(const GstVideoInfo& info)
{
    const VideoSubtype subtype = subtypeOfGst(GST_VIDEO_INFO_FORMAT(&info));
    const int width = GST_VIDEO_INFO_WIDTH(&info);
    const int height = GST_VIDEO_INFO_HEIGHT(&info);
    FrameFormat format = makeFrameFormat(subtype, width, isRgb(subtype) ? -height : height);
    if (format.isValid())
        format.imageSize = static_cast<uint32_t>(GST_VIDEO_INFO_SIZE(&info));
    return format;
}

} // namespace vantry::station
