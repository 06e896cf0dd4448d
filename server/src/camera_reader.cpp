#include "server/camera_reader.h"

#include "codec/frame_planes.h"

namespace vantry::server {

namespace {

constexpr uint32_t fourcc(char a, char b, char c, char d)
{
    return static_cast<uint32_t>(static_cast<uint8_t>(a)) | (static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8)
        | (static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16) | (static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24);
}

} // namespace

SourceLayout layoutOfSubtype(const common::SubtypeGuid& subtype)
{
    struct Known {
        common::SubtypeGuid guid;
        SourceLayout layout;
    };
    static const Known known[] = {
        { common::fourccSubtype(fourcc('Y', 'U', 'Y', '2')), SourceLayout::YUY2 },
        { common::fourccSubtype(fourcc('Y', 'V', 'U', '9')), SourceLayout::YVU9 },
        { common::fourccSubtype(fourcc('I', 'F', '0', '9')), SourceLayout::YVU9 },
        { common::fourccSubtype(fourcc('I', 'Y', 'U', 'V')), SourceLayout::I420 },
        { common::fourccSubtype(fourcc('I', '4', '2', '0')), SourceLayout::I420 },
        { common::fourccSubtype(fourcc('Y', 'V', '1', '2')), SourceLayout::YV12 },
        { common::rgb24Subtype(), SourceLayout::RGB24 },
        { common::rgb32Subtype(), SourceLayout::RGB32 },
        { common::rgb555Subtype(), SourceLayout::RGB555 },
    };
    for (const Known& entry : known)
        if (entry.guid == subtype)
            return entry.layout;
    return SourceLayout::Unknown;
}

size_t requiredFrameBytes(SourceLayout layout, int width, int height, int bitCount)
{
    if (width <= 0 || height <= 0 || width > codec::kMaxPictureWidth * 2 || height > codec::kMaxPictureHeight * 2)
        return 0;
    const size_t w = static_cast<size_t>(width);
    const size_t h = static_cast<size_t>(height);
    switch (layout) {
    case SourceLayout::I420:
    case SourceLayout::YV12:
        if (width % 2 || height % 2)
            return 0;
        return w * h + 2 * (w / 2) * (h / 2);
    case SourceLayout::YVU9:
        if (width % 4 || height % 4)
            return 0;
        return w * h + 2 * (w / 4) * (h / 4);
    case SourceLayout::YUY2:
        return width % 2 ? 0 : w * 2 * h;
    case SourceLayout::RGB24:
    case SourceLayout::RGB32:
    case SourceLayout::RGB555: {
        const int bytesPerPixel = layout == SourceLayout::RGB24 ? 3 : layout == SourceLayout::RGB32 ? 4 : 2;
        if (bitCount != bytesPerPixel * 8 && !(layout == SourceLayout::RGB555 && bitCount == 16))
            return 0;
        return ((w * static_cast<size_t>(bytesPerPixel) + 3) & ~size_t { 3 }) * h;
    }
    case SourceLayout::Unknown:
        break;
    }
    return 0;
}

std::optional<CameraFormat> cameraFormatOf(const common::FormatBlock& block)
{
    CameraFormat format;
    format.header = block.header;
    format.layout = layoutOfSubtype(block.subtype);
    if (format.layout == SourceLayout::Unknown)
        return std::nullopt;
    const bool rgb = format.layout == SourceLayout::RGB24 || format.layout == SourceLayout::RGB32
        || format.layout == SourceLayout::RGB555;
    if (block.header.height == INT32_MIN)
        return std::nullopt;
    format.width = block.header.width;
    format.height = block.header.height < 0 ? -block.header.height : block.header.height;
    format.bottomUp = rgb && block.header.height > 0;
    // Top-down RGB has no converter here; the station's RGB pictures are bottom-up.
    if (rgb && !format.bottomUp)
        return std::nullopt;
    const size_t needed = requiredFrameBytes(format.layout, format.width, format.height, block.header.bitCount);
    if (needed == 0 || block.header.sizeImage < needed || block.header.sizeImage > common::kMaxFramePayloadBytes)
        return std::nullopt;
    format.frameBytes = block.header.sizeImage;
    return format;
}

CameraReader::CameraReader(int cameraIndex) : cameraIndex_(cameraIndex), reader_(cameraIndex) {}

std::optional<std::vector<uint8_t>> CameraReader::readMailbox()
{
    std::lock_guard lock(mutex_);
    std::vector<uint8_t> data;
    if (!reader_.read(&data, nullptr))
        return std::nullopt;
    return data;
}

bool CameraReader::readFormat()
{
    const auto data = readMailbox();
    if (!data)
        return false;
    const auto block = common::parseFormatBlock(*data);
    if (!block)
        return false;
    const auto format = cameraFormatOf(*block);
    if (!format)
        return false;
    std::lock_guard lock(mutex_);
    format_ = format;
    return true;
}

std::optional<CameraFormat> CameraReader::format() const
{
    std::lock_guard lock(mutex_);
    return format_;
}

bool CameraReader::peekPicture(uint32_t frameBytes, common::FrameStamps* stamps)
{
    if (!active_)
        return false;
    std::lock_guard lock(mutex_);
    const auto length = reader_.readInto(nullptr, frameBytes, stamps);
    return length && *length == frameBytes;
}

bool CameraReader::readPicture(uint8_t* buffer, uint32_t frameBytes, common::FrameStamps* stamps)
{
    if (!active_)
        return false;
    std::lock_guard lock(mutex_);
    const auto length = reader_.readInto(buffer, frameBytes, stamps);
    return length && *length == frameBytes;
}

std::string CameraReader::lastError() const
{
    std::lock_guard lock(mutex_);
    return reader_.lastError();
}

} // namespace vantry::server
