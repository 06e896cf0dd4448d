#include "common/avi_format.h"

namespace vantry::common {

std::string FourccText(uint32_t fourcc)
{
    std::string text(4, ' ');
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>((fourcc >> (8 * i)) & 0xff);
        text[static_cast<size_t>(i)] = (c >= 0x20 && c < 0x7f) ? c : '?';
    }
    return text;
}

void AppendLe16(std::vector<uint8_t>& out, uint16_t v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void AppendLe32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

std::array<uint8_t, AviMainHeader::kSize> AviMainHeader::Serialize() const
{
    std::array<uint8_t, kSize> b{};
    const uint32_t words[] = {microSecPerFrame, maxBytesPerSec, paddingGranularity, flags, totalFrames,
                              initialFrames, streams, suggestedBufferSize, width, height};
    for (size_t i = 0; i < std::size(words); ++i)
        PutLe32(b.data() + 4 * i, words[i]);
    return b; // the last 16 bytes are reserved zeros
}

AviMainHeader AviMainHeader::Parse(const uint8_t* p)
{
    AviMainHeader h;
    h.microSecPerFrame = GetLe32(p);
    h.maxBytesPerSec = GetLe32(p + 4);
    h.paddingGranularity = GetLe32(p + 8);
    h.flags = GetLe32(p + 12);
    h.totalFrames = GetLe32(p + 16);
    h.initialFrames = GetLe32(p + 20);
    h.streams = GetLe32(p + 24);
    h.suggestedBufferSize = GetLe32(p + 28);
    h.width = GetLe32(p + 32);
    h.height = GetLe32(p + 36);
    return h;
}

std::array<uint8_t, AviStreamHeader::kSize> AviStreamHeader::Serialize() const
{
    std::array<uint8_t, kSize> b{};
    uint8_t* p = b.data();
    PutLe32(p, type);
    PutLe32(p + 4, handler);
    PutLe32(p + 8, flags);
    PutLe16(p + 12, priority);
    PutLe16(p + 14, language);
    PutLe32(p + 16, initialFrames);
    PutLe32(p + 20, scale);
    PutLe32(p + 24, rate);
    PutLe32(p + 28, start);
    PutLe32(p + 32, length);
    PutLe32(p + 36, suggestedBufferSize);
    PutLe32(p + 40, quality);
    PutLe32(p + 44, sampleSize);
    PutLe16(p + 48, static_cast<uint16_t>(frameLeft));
    PutLe16(p + 50, static_cast<uint16_t>(frameTop));
    PutLe16(p + 52, static_cast<uint16_t>(frameRight));
    PutLe16(p + 54, static_cast<uint16_t>(frameBottom));
    return b;
}

AviStreamHeader AviStreamHeader::Parse(const uint8_t* p)
{
    AviStreamHeader h;
    h.type = GetLe32(p);
    h.handler = GetLe32(p + 4);
    h.flags = GetLe32(p + 8);
    h.priority = GetLe16(p + 12);
    h.language = GetLe16(p + 14);
    h.initialFrames = GetLe32(p + 16);
    h.scale = GetLe32(p + 20);
    h.rate = GetLe32(p + 24);
    h.start = GetLe32(p + 28);
    h.length = GetLe32(p + 32);
    h.suggestedBufferSize = GetLe32(p + 36);
    h.quality = GetLe32(p + 40);
    h.sampleSize = GetLe32(p + 44);
    h.frameLeft = static_cast<int16_t>(GetLe16(p + 48));
    h.frameTop = static_cast<int16_t>(GetLe16(p + 50));
    h.frameRight = static_cast<int16_t>(GetLe16(p + 52));
    h.frameBottom = static_cast<int16_t>(GetLe16(p + 54));
    return h;
}

std::vector<uint8_t> BitmapInfoHeader::Serialize() const
{
    std::vector<uint8_t> b;
    b.reserve(kSize);
    AppendLe32(b, kSize);
    AppendLe32(b, static_cast<uint32_t>(width));
    AppendLe32(b, static_cast<uint32_t>(height));
    AppendLe16(b, planes);
    AppendLe16(b, bitCount);
    AppendLe32(b, compression);
    AppendLe32(b, sizeImage);
    for (int i = 0; i < 4; ++i)
        AppendLe32(b, 0); // resolution and palette counts
    return b;
}

BitmapInfoHeader BitmapInfoHeader::Parse(const uint8_t* p)
{
    BitmapInfoHeader h;
    h.width = static_cast<int32_t>(GetLe32(p + 4));
    h.height = static_cast<int32_t>(GetLe32(p + 8));
    h.planes = GetLe16(p + 12);
    h.bitCount = GetLe16(p + 14);
    h.compression = GetLe32(p + 16);
    h.sizeImage = GetLe32(p + 20);
    return h;
}

std::vector<uint8_t> GsmWaveFormat()
{
    std::vector<uint8_t> b;
    AppendLe16(b, kWaveFormatGsm610);
    AppendLe16(b, 1); // mono
    AppendLe32(b, kGsmSampleRate);
    AppendLe32(b, kGsmBytesPerSecond);
    AppendLe16(b, static_cast<uint16_t>(kGsmBlockBytes));
    AppendLe16(b, 0); // bits per sample: not meaningful for GSM
    AppendLe16(b, 2); // extra bytes
    AppendLe16(b, static_cast<uint16_t>(kGsmBlockSamples));
    return b;
}

std::array<uint8_t, TimeMark::kSize> TimeMark::Serialize() const
{
    std::array<uint8_t, kSize> b{};
    PutLe32(b.data(), fourcc::kTimeMark);
    PutLe32(b.data() + 4, static_cast<uint32_t>(firstFrameTime));
    PutLe32(b.data() + 8, static_cast<uint32_t>(lastFrameTime));
    PutLe32(b.data() + 12, videoFrames);
    PutLe32(b.data() + 16, kind);
    return b;
}

bool TimeMark::Parse(const uint8_t* p, size_t size, TimeMark& out)
{
    if (size < kSize || GetLe32(p) != fourcc::kTimeMark)
        return false;
    out.firstFrameTime = static_cast<int32_t>(GetLe32(p + 4));
    out.lastFrameTime = static_cast<int32_t>(GetLe32(p + 8));
    out.videoFrames = GetLe32(p + 12);
    out.kind = GetLe32(p + 16) ? 1u : 0u;
    return true;
}

bool IsIntraPicture(const uint8_t* data, size_t size)
{
    // Picture start code (22 bits), temporal reference (8), then PTYPE whose ninth bit is the
    // picture coding type: 0 intra, 1 inter.
    if (size < 5 || data[0] != 0 || data[1] != 0 || (data[2] & 0xfc) != 0x80)
        return true;
    constexpr int kCodingTypeBit = 22 + 8 + 8;
    const int byteIndex = kCodingTypeBit / 8;
    const int bitInByte = 7 - kCodingTypeBit % 8;
    return ((data[byteIndex] >> bitInByte) & 1) == 0;
}

} // namespace vantry::common
