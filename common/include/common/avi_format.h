// AVI (RIFF) building blocks shared by the record writer, reader and repair: four-character
// codes, the fixed-size headers with their little-endian byte layout, and the time mark that
// our writers leave inside `movi` so that an unfinished file can be dated from its frames.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace vantry::common {

constexpr uint32_t MakeFourcc(char a, char b, char c, char d)
{
    return static_cast<uint32_t>(static_cast<uint8_t>(a)) | (static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8)
        | (static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16) | (static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24);
}

std::string FourccText(uint32_t fourcc);

namespace fourcc {
inline constexpr uint32_t kRiff = MakeFourcc('R', 'I', 'F', 'F');
inline constexpr uint32_t kList = MakeFourcc('L', 'I', 'S', 'T');
inline constexpr uint32_t kAvi = MakeFourcc('A', 'V', 'I', ' ');
inline constexpr uint32_t kHdrl = MakeFourcc('h', 'd', 'r', 'l');
inline constexpr uint32_t kAvih = MakeFourcc('a', 'v', 'i', 'h');
inline constexpr uint32_t kStrl = MakeFourcc('s', 't', 'r', 'l');
inline constexpr uint32_t kStrh = MakeFourcc('s', 't', 'r', 'h');
inline constexpr uint32_t kStrf = MakeFourcc('s', 't', 'r', 'f');
inline constexpr uint32_t kMovi = MakeFourcc('m', 'o', 'v', 'i');
inline constexpr uint32_t kIdx1 = MakeFourcc('i', 'd', 'x', '1');
inline constexpr uint32_t kJunk = MakeFourcc('J', 'U', 'N', 'K');
inline constexpr uint32_t kVids = MakeFourcc('v', 'i', 'd', 's');
inline constexpr uint32_t kAuds = MakeFourcc('a', 'u', 'd', 's');
inline constexpr uint32_t kVideoChunk = MakeFourcc('0', '0', 'd', 'c');
inline constexpr uint32_t kAudioChunk = MakeFourcc('0', '1', 'w', 'b');
inline constexpr uint32_t kVx01 = MakeFourcc('V', 'X', '0', '1');
inline constexpr uint32_t kIyuv = MakeFourcc('I', 'Y', 'U', 'V');
inline constexpr uint32_t kVant = MakeFourcc('V', 'A', 'N', 'T');
inline constexpr uint32_t kLeng = MakeFourcc('L', 'E', 'N', 'G');
inline constexpr uint32_t kEven = MakeFourcc('E', 'V', 'E', 'N');
inline constexpr uint32_t kCame = MakeFourcc('C', 'A', 'M', 'E');
inline constexpr uint32_t kTimeMark = MakeFourcc('V', 'T', 'I', 'M');
} // namespace fourcc

// Flags of the main header and of index entries.
inline constexpr uint32_t kAviFlagHasIndex = 0x10;
inline constexpr uint32_t kAviFlagIsInterleaved = 0x100;
inline constexpr uint32_t kIndexFlagKeyFrame = 0x10;

// Little-endian access to byte buffers; every file format of ours is little-endian.
inline uint16_t GetLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t GetLe32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16)
        | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t GetLe64(const uint8_t* p) { return GetLe32(p) | (static_cast<uint64_t>(GetLe32(p + 4)) << 32); }
inline void PutLe16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutLe32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutLe64(uint8_t* p, uint64_t v)
{
    PutLe32(p, static_cast<uint32_t>(v));
    PutLe32(p + 4, static_cast<uint32_t>(v >> 32));
}
void AppendLe16(std::vector<uint8_t>& out, uint16_t v);
void AppendLe32(std::vector<uint8_t>& out, uint32_t v);

// `avih`, 56 bytes.
struct AviMainHeader {
    static constexpr size_t kSize = 56;
    uint32_t microSecPerFrame = 0;
    uint32_t maxBytesPerSec = 0;
    uint32_t paddingGranularity = 0;
    uint32_t flags = 0;
    uint32_t totalFrames = 0;
    uint32_t initialFrames = 0;
    uint32_t streams = 0;
    uint32_t suggestedBufferSize = 0;
    uint32_t width = 0;
    uint32_t height = 0;

    std::array<uint8_t, kSize> Serialize() const;
    static AviMainHeader Parse(const uint8_t* p);
};

// `strh`, 56 bytes.
struct AviStreamHeader {
    static constexpr size_t kSize = 56;
    uint32_t type = 0;
    uint32_t handler = 0;
    uint32_t flags = 0;
    uint16_t priority = 0;
    uint16_t language = 0;
    uint32_t initialFrames = 0;
    uint32_t scale = 0;
    uint32_t rate = 0;
    uint32_t start = 0;
    uint32_t length = 0;
    uint32_t suggestedBufferSize = 0;
    uint32_t quality = 0;
    uint32_t sampleSize = 0;
    int16_t frameLeft = 0;
    int16_t frameTop = 0;
    int16_t frameRight = 0;
    int16_t frameBottom = 0;

    std::array<uint8_t, kSize> Serialize() const;
    static AviStreamHeader Parse(const uint8_t* p);
};

// The 40-byte bitmap header at the start of a video `strf` (and of the stream protocol's
// video format record).
struct BitmapInfoHeader {
    static constexpr size_t kSize = 40;
    int32_t width = 0;
    int32_t height = 0;
    uint16_t planes = 1;
    uint16_t bitCount = 24;
    uint32_t compression = 0;
    uint32_t sizeImage = 0;

    std::vector<uint8_t> Serialize() const;
    static BitmapInfoHeader Parse(const uint8_t* p);
};

// GSM 6.10 in its WAV49 form: 8000 Hz mono, 65-byte blocks of 320 samples.
inline constexpr uint16_t kWaveFormatGsm610 = 0x0031;
inline constexpr uint32_t kGsmSampleRate = 8000;
inline constexpr uint32_t kGsmBlockBytes = 65;
inline constexpr uint32_t kGsmBlockSamples = 320;
inline constexpr uint32_t kGsmBytesPerSecond = kGsmSampleRate * kGsmBlockBytes / kGsmBlockSamples; // 1625
// WAVEFORMATEX with cbSize 2 and the samples per block.
std::vector<uint8_t> GsmWaveFormat();

// Time mark: a `JUNK` chunk inside `movi` (every reader skips it) written at each durability
// point. It lets a repair date an unfinished file from its frames and keep its kind.
struct TimeMark {
    static constexpr size_t kSize = 20; // 'VTIM' + four 32-bit words
    int32_t firstFrameTime = 0;
    int32_t lastFrameTime = 0;
    uint32_t videoFrames = 0;
    uint32_t kind = 0;

    std::array<uint8_t, kSize> Serialize() const;
    // Reads a mark from a JUNK payload; false when the payload is not ours.
    static bool Parse(const uint8_t* p, size_t size, TimeMark& out);
};

// Picture coding type of an H.263 (VX01) picture: true for an intra picture. A payload that
// does not start with a picture start code counts as intra so that it stays seekable.
bool IsIntraPicture(const uint8_t* data, size_t size);

} // namespace vantry::common
