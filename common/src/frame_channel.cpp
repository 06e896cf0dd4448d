#include "common/frame_channel.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace vantry::common {

namespace {

constexpr const char* kCannotCreate = "Cannot create buffer!";
constexpr const char* kCannotOpen = "Cannot open buffer!";

void put32(uint8_t* out, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t get32(const uint8_t* in)
{
    return static_cast<uint32_t>(in[0]) | (static_cast<uint32_t>(in[1]) << 8) | (static_cast<uint32_t>(in[2]) << 16)
        | (static_cast<uint32_t>(in[3]) << 24);
}

SubtypeGuid makeGuid(uint32_t data1, uint16_t data2, uint16_t data3, std::array<uint8_t, 8> data4)
{
    SubtypeGuid guid {};
    put32(guid.data(), data1);
    guid[4] = static_cast<uint8_t>(data2);
    guid[5] = static_cast<uint8_t>(data2 >> 8);
    guid[6] = static_cast<uint8_t>(data3);
    guid[7] = static_cast<uint8_t>(data3 >> 8);
    std::copy(data4.begin(), data4.end(), guid.begin() + 8);
    return guid;
}

constexpr std::array<uint8_t, 8> kRgbTail { 0x9f, 0x53, 0x00, 0x20, 0xaf, 0x0b, 0xa7, 0x70 };

std::string numbered(const char* base, int cameraIndex)
{
    char name[40];
    std::snprintf(name, sizeof name, "%s%02d", base, cameraIndex + 1);
    return name;
}

} // namespace

std::string frameMappingName(int cameraIndex) { return numbered("ZtMemMapFile", cameraIndex); }
std::string frameMutexName(int cameraIndex) { return numbered("ZtMemMapFileMutex", cameraIndex); }

SubtypeGuid fourccSubtype(uint32_t fourcc)
{
    return makeGuid(fourcc, 0x0000, 0x0010, { 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71 });
}
SubtypeGuid rgb24Subtype() { return makeGuid(0xe436eb7d, 0x524f, 0x11ce, kRgbTail); }
SubtypeGuid rgb32Subtype() { return makeGuid(0xe436eb7e, 0x524f, 0x11ce, kRgbTail); }
SubtypeGuid rgb555Subtype() { return makeGuid(0xe436eb7c, 0x524f, 0x11ce, kRgbTail); }
SubtypeGuid rgb565Subtype() { return makeGuid(0xe436eb7b, 0x524f, 0x11ce, kRgbTail); }

std::vector<uint8_t> buildFormatBlock(const FrameBitmapHeader& header, const SubtypeGuid& subtype)
{
    std::vector<uint8_t> out(40 + subtype.size(), 0);
    put32(out.data(), 40);
    put32(out.data() + 4, static_cast<uint32_t>(header.width));
    put32(out.data() + 8, static_cast<uint32_t>(header.height));
    out[12] = static_cast<uint8_t>(header.planes);
    out[13] = static_cast<uint8_t>(header.planes >> 8);
    out[14] = static_cast<uint8_t>(header.bitCount);
    out[15] = static_cast<uint8_t>(header.bitCount >> 8);
    put32(out.data() + 16, header.compression);
    put32(out.data() + 20, header.sizeImage);
    std::copy(subtype.begin(), subtype.end(), out.begin() + 40);
    return out;
}

std::optional<FormatBlock> parseFormatBlock(std::span<const uint8_t> data)
{
    if (data.size() < 40)
        return std::nullopt;
    const uint32_t headerSize = get32(data.data());
    if (headerSize < 40 || headerSize > 1024 || data.size() < headerSize + 16)
        return std::nullopt;
    FormatBlock block;
    block.header.size = headerSize;
    block.header.width = static_cast<int32_t>(get32(data.data() + 4));
    block.header.height = static_cast<int32_t>(get32(data.data() + 8));
    block.header.planes = static_cast<uint16_t>(data[12] | (data[13] << 8));
    block.header.bitCount = static_cast<uint16_t>(data[14] | (data[15] << 8));
    block.header.compression = get32(data.data() + 16);
    block.header.sizeImage = get32(data.data() + 20);
    std::copy_n(data.begin() + headerSize, 16, block.subtype.begin());
    return block;
}

std::vector<uint8_t> buildPasswordBlock(std::string_view password)
{
    std::vector<uint8_t> out(4 + password.size() + 2, 0);
    put32(out.data(), static_cast<uint32_t>(password.size()));
    std::memcpy(out.data() + 4, password.data(), password.size());
    return out;
}

std::vector<uint8_t> buildNameBlock(std::string_view name)
{
    std::vector<uint8_t> out(name.begin(), name.end());
    out.push_back(0);
    return out;
}

// ---------------------------------------------------------------------------------------
// FrameChannelWriter

FrameChannelWriter::FrameChannelWriter(int cameraIndex) : cameraIndex_(cameraIndex) {}

FrameChannelWriter::~FrameChannelWriter() { release(); }

void FrameChannelWriter::release()
{
    memory_.reset();
    mutex_.reset();
}

size_t FrameChannelWriter::mappingBytes() const { return memory_ ? memory_->size() : 0; }

int FrameChannelWriter::create(size_t payloadBytes)
{
    if (payloadBytes > kMaxFramePayloadBytes) {
        lastError_ = kCannotCreate;
        return 0;
    }
    const size_t wanted = std::max(payloadBytes, kMinFramePayloadBytes) + kFrameRecordHeaderBytes;
    if (memory_ && memory_->size() >= wanted && mutex_)
        return 1;
    std::string error;
    // Dropping the creator removes the name, so the old object goes before the new one is
    // made; a reader still on the old one sees it replaced and maps the new one.
    memory_.reset();
    auto memory = platform::SharedMemory::create(frameMappingName(cameraIndex_), wanted, &error);
    std::unique_ptr<platform::NamedMutex> mutex;
    if (memory) {
        mutex = mutex_ ? std::move(mutex_) : platform::NamedMutex::create(frameMutexName(cameraIndex_), &error);
    }
    if (!memory || !mutex) {
        release();
        lastError_ = kCannotCreate;
        return 0;
    }
    memory_ = std::move(memory);
    mutex_ = std::move(mutex);
    return 1;
}

size_t FrameChannelWriter::write(std::span<const uint8_t> data, FrameStamps stamps)
{
    if (data.size() > kMaxFramePayloadBytes)
        return 0;
    if ((!memory_ || memory_->size() < data.size() + kFrameRecordHeaderBytes) && !create(data.size()))
        return 0;
    platform::NamedMutexLock lock(*mutex_);
    if (!lock.ownsLock())
        return 0;
    uint8_t* record = memory_->data();
    put32(record, stamps.second);
    put32(record + 4, stamps.count);
    put32(record + 8, static_cast<uint32_t>(data.size()));
    if (!data.empty())
        std::memcpy(record + kFrameRecordHeaderBytes, data.data(), data.size());
    return data.size();
}

// ---------------------------------------------------------------------------------------
// FrameChannelReader

FrameChannelReader::FrameChannelReader(int cameraIndex) : cameraIndex_(cameraIndex) {}

FrameChannelReader::~FrameChannelReader() { close(); }

void FrameChannelReader::close()
{
    memory_.reset();
    mutex_.reset();
}

int FrameChannelReader::open()
{
    close();
    std::string error;
    auto memory = platform::SharedMemory::open(frameMappingName(cameraIndex_), kFrameRecordHeaderBytes, &error);
    auto mutex = memory ? platform::NamedMutex::open(frameMutexName(cameraIndex_), &error) : nullptr;
    if (!memory || !mutex) {
        lastError_ = kCannotOpen;
        return 0;
    }
    memory_ = std::move(memory);
    mutex_ = std::move(mutex);
    return 1;
}

template <typename Copy>
std::optional<size_t> FrameChannelReader::readWith(FrameStamps* stamps, int lockTimeoutMs, Copy copy)
{
    // A station that ended and started again made new objects under the same names.
    if (memory_ && memory_->isReplaced())
        close();
    if (!memory_ && !open())
        return std::nullopt;
    for (int attempt = 0; attempt < 2; ++attempt) {
        size_t length = 0;
        bool fits = false;
        {
            platform::NamedMutexLock lock(*mutex_, lockTimeoutMs);
            if (!lock.ownsLock())
                return std::nullopt;
            const uint8_t* record = memory_->data();
            length = get32(record + 8);
            fits = length <= memory_->size() - kFrameRecordHeaderBytes;
            if (fits) {
                if (stamps) {
                    stamps->second = get32(record);
                    stamps->count = get32(record + 4);
                }
                copy(record + kFrameRecordHeaderBytes, length);
                return length;
            }
        }
        // The station grew the object after we mapped it: map it again, once.
        if (length > kMaxFramePayloadBytes || !open())
            return std::nullopt;
    }
    return std::nullopt;
}

std::optional<size_t> FrameChannelReader::read(std::vector<uint8_t>* data, FrameStamps* stamps, int lockTimeoutMs)
{
    return readWith(stamps, lockTimeoutMs, [data](const uint8_t* bytes, size_t length) {
        if (data)
            data->assign(bytes, bytes + length);
    });
}

std::optional<size_t> FrameChannelReader::readInto(uint8_t* buffer, size_t expectedBytes, FrameStamps* stamps,
                                                   int lockTimeoutMs)
{
    return readWith(stamps, lockTimeoutMs, [buffer, expectedBytes](const uint8_t* bytes, size_t length) {
        if (buffer && length == expectedBytes)
            std::memcpy(buffer, bytes, length);
    });
}

} // namespace vantry::common
