#include "station/core/video_format.h"

namespace vantry::station {

namespace {

struct SubtypeRow {
    VideoSubtype subtype;
    const char* name;
    uint32_t compression;
    int bitCount;
};

constexpr SubtypeRow kSubtypes[] = {
    { VideoSubtype::I420, "I420", makeFourcc('I', '4', '2', '0'), 12 },
    { VideoSubtype::IYUV, "IYUV", makeFourcc('I', 'Y', 'U', 'V'), 12 },
    { VideoSubtype::YV12, "YV12", makeFourcc('Y', 'V', '1', '2'), 12 },
    { VideoSubtype::YVU9, "YVU9", makeFourcc('Y', 'V', 'U', '9'), 9 },
    { VideoSubtype::IF09, "IF09", makeFourcc('I', 'F', '0', '9'), 9 },
    { VideoSubtype::YUY2, "YUY2", makeFourcc('Y', 'U', 'Y', '2'), 16 },
    { VideoSubtype::YVYU, "YVYU", makeFourcc('Y', 'V', 'Y', 'U'), 16 },
    { VideoSubtype::UYVY, "UYVY", makeFourcc('U', 'Y', 'V', 'Y'), 16 },
    { VideoSubtype::RGB24, "RGB24", kCompressionRgb, 24 },
    { VideoSubtype::RGB32, "RGB32", kCompressionRgb, 32 },
    { VideoSubtype::ARGB32, "ARGB32", kCompressionRgb, 32 },
    { VideoSubtype::RGB555, "RGB555", kCompressionRgb, 16 },
    // 16-bit RGB with three masks; we only ever meet it through our own format choice.
    { VideoSubtype::RGB565, "RGB565", 3, 16 },
};

const SubtypeRow* rowOf(VideoSubtype subtype)
{
    for (const auto& row : kSubtypes)
        if (row.subtype == subtype)
            return &row;
    return nullptr;
}

uint32_t roundUp4(uint64_t v) { return static_cast<uint32_t>((v + 3) & ~uint64_t(3)); }

} // namespace

const char* subtypeName(VideoSubtype subtype)
{
    const auto* row = rowOf(subtype);
    return row ? row->name : "unknown";
}

uint32_t compressionOf(VideoSubtype subtype)
{
    const auto* row = rowOf(subtype);
    return row ? row->compression : 0;
}

int bitCountOf(VideoSubtype subtype)
{
    const auto* row = rowOf(subtype);
    return row ? row->bitCount : 0;
}

bool isRgb(VideoSubtype subtype)
{
    switch (subtype) {
    case VideoSubtype::RGB24:
    case VideoSubtype::RGB32:
    case VideoSubtype::ARGB32:
    case VideoSubtype::RGB555:
    case VideoSubtype::RGB565:
        return true;
    default:
        return false;
    }
}

VideoSubtype subtypeFromCompression(uint32_t compression, int bitCount)
{
    if (compression == kCompressionRgb) {
        switch (bitCount) {
        case 16: return VideoSubtype::RGB555;
        case 32: return VideoSubtype::RGB32;
        default: return VideoSubtype::RGB24;
        }
    }
    for (const auto& row : kSubtypes)
        if (row.compression == compression && row.compression != kCompressionRgb)
            return row.subtype;
    return VideoSubtype::Unknown;
}

VideoSubtype reportedSubtype(VideoSubtype subtype)
{
    return subtype == VideoSubtype::I420 ? VideoSubtype::IYUV : subtype;
}

FrameFormat makeFrameFormat(VideoSubtype subtype, int width, int height)
{
    FrameFormat format;
    const auto* row = rowOf(subtype);
    const int absHeight = height < 0 ? -height : height;
    if (!row || width <= 0 || absHeight == 0 || width > kMaxPictureSide || absHeight > kMaxPictureSide)
        return format;
    format.subtype = subtype;
    format.width = width;
    format.height = height;
    format.bitCount = row->bitCount;
    format.compression = row->compression;
    const uint64_t w = static_cast<uint64_t>(width);
    const uint64_t h = static_cast<uint64_t>(absHeight);
    switch (subtype) {
    case VideoSubtype::I420:
    case VideoSubtype::IYUV:
    case VideoSubtype::YV12:
        format.imageSize = static_cast<uint32_t>(roundUp4(w) * h + 2ull * roundUp4((w + 1) / 2) * ((h + 1) / 2));
        break;
    case VideoSubtype::YVU9:
    case VideoSubtype::IF09:
        format.imageSize = static_cast<uint32_t>(roundUp4(w) * h + 2ull * roundUp4((w + 3) / 4) * ((h + 3) / 4));
        break;
    default:
        format.imageSize = static_cast<uint32_t>(roundUp4(w * static_cast<uint64_t>(row->bitCount) / 8) * h);
        break;
    }
    return format;
}

size_t lumaSourceBytes(const FrameFormat& format)
{
    if (!format.isValid() || format.width > kMaxPictureSide || format.absHeight() > kMaxPictureSide)
        return 0;
    const uint64_t w = static_cast<uint64_t>(format.width);
    const uint64_t h = static_cast<uint64_t>(format.absHeight());
    switch (format.subtype) {
    case VideoSubtype::I420:
    case VideoSubtype::IYUV:
    case VideoSubtype::YV12:
    case VideoSubtype::YVU9:
    case VideoSubtype::IF09:
        return roundUp4(w) * h;
    case VideoSubtype::YUY2:
    case VideoSubtype::YVYU:
    case VideoSubtype::UYVY:
    case VideoSubtype::RGB555:
    case VideoSubtype::RGB565:
        return roundUp4(w * 2) * h;
    case VideoSubtype::RGB24:
        return roundUp4(w * 3) * h;
    case VideoSubtype::RGB32:
    case VideoSubtype::ARGB32:
        return w * 4 * h;
    case VideoSubtype::Unknown:
        break;
    }
    return 0;
}

bool isSelectableSubtype(VideoSubtype subtype)
{
    switch (subtype) {
    case VideoSubtype::I420:
    case VideoSubtype::IYUV:
    case VideoSubtype::YV12:
    case VideoSubtype::YVU9:
    case VideoSubtype::IF09:
    case VideoSubtype::YUY2:
    case VideoSubtype::RGB24:
    case VideoSubtype::RGB555:
        return true;
    default:
        return false;
    }
}

} // namespace vantry::station
