// The frame channel between the station and the stream server: one named shared-memory
// record per camera ("ZtMemMapFile01".."04", lock "ZtMemMapFileMutex01".."04") holding
//   u32 stamp A (capture second, 0 for a mailbox record), u32 stamp B (count within the
//   second), u32 length L, then L bytes of data (a picture, a format block, the password
//   block or a name).
// The station writes (FrameChannelWriter), the server reads (FrameChannelReader); both sides
// hold the named lock only for one copy, and neither trusts a length the other wrote.
#pragma once

#include "platform/named_mutex.h"
#include "platform/shared_memory.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vantry::common {

inline constexpr size_t kFrameRecordHeaderBytes = 12;
// 720 x 576 x 3 bytes: the smallest payload room of a mapping.
inline constexpr size_t kMinFramePayloadBytes = 1244160;
// Largest payload either side accepts (a 2048 x 2048 RGB32 picture); a record that claims
// more is foreign.
inline constexpr size_t kMaxFramePayloadBytes = 2048u * 2048u * 4u;

std::string frameMappingName(int cameraIndex); // "ZtMemMapFile%02d", camera index + 1
std::string frameMutexName(int cameraIndex);   // "ZtMemMapFileMutex%02d"

struct FrameStamps {
    uint32_t second = 0; // A
    uint32_t count = 0;  // B
    friend bool operator==(const FrameStamps&, const FrameStamps&) = default;
};

// ---------------------------------------------------------------------------------------
// Payload blocks

// The 16-byte media subtype identifiers of the picture layouts.
using SubtypeGuid = std::array<uint8_t, 16>;
// {FOURCC-0000-0010-8000-00AA00389B71}, the identifier of a four-character-code subtype.
SubtypeGuid fourccSubtype(uint32_t fourcc);
SubtypeGuid rgb24Subtype();
SubtypeGuid rgb32Subtype();
SubtypeGuid rgb555Subtype();
SubtypeGuid rgb565Subtype();

// The 40-byte bitmap information header as it travels (little-endian).
struct FrameBitmapHeader {
    uint32_t size = 40;
    int32_t width = 0;
    int32_t height = 0;
    uint16_t planes = 1;
    uint16_t bitCount = 0;
    uint32_t compression = 0;
    uint32_t sizeImage = 0;
};

// Format block: the header (its own size field bytes; we write 40) then the subtype.
std::vector<uint8_t> buildFormatBlock(const FrameBitmapHeader& header, const SubtypeGuid& subtype);
struct FormatBlock {
    FrameBitmapHeader header;
    SubtypeGuid subtype {};
};
// nullopt unless the block holds at least 40 bytes, a header size of 40..1024 and the 16
// subtype bytes after it.
std::optional<FormatBlock> parseFormatBlock(std::span<const uint8_t> data);

// Password block: u32 n, the n characters, two zero bytes (L = n + 6).
std::vector<uint8_t> buildPasswordBlock(std::string_view password);
// Name: the text and its terminating zero.
std::vector<uint8_t> buildNameBlock(std::string_view name);

// ---------------------------------------------------------------------------------------
// Station side

class FrameChannelWriter {
public:
    explicit FrameChannelWriter(int cameraIndex);
    ~FrameChannelWriter();
    FrameChannelWriter(const FrameChannelWriter&) = delete;
    FrameChannelWriter& operator=(const FrameChannelWriter&) = delete;

    // Makes sure the mapping holds a payload of `payloadBytes` (at least 1244160) and that
    // the lock exists. 1, or 0 with lastError() "Cannot create buffer!" and nothing held.
    int create(size_t payloadBytes);
    // Stores one record under the lock (at most 5000 ms of waiting). Returns L, or 0 when
    // the mapping cannot be made, the lock is not had in time, or L is out of range.
    size_t write(std::span<const uint8_t> data, FrameStamps stamps);
    void release();

    bool isMapped() const { return memory_ != nullptr; }
    size_t mappingBytes() const;
    const std::string& lastError() const { return lastError_; }
    int cameraIndex() const { return cameraIndex_; }

private:
    int cameraIndex_;
    std::unique_ptr<platform::SharedMemory> memory_;
    std::unique_ptr<platform::NamedMutex> mutex_;
    std::string lastError_;
};

// ---------------------------------------------------------------------------------------
// Server side

class FrameChannelReader {
public:
    explicit FrameChannelReader(int cameraIndex);
    ~FrameChannelReader();
    FrameChannelReader(const FrameChannelReader&) = delete;
    FrameChannelReader& operator=(const FrameChannelReader&) = delete;

    // Maps the record and opens the lock; 1, or 0 with lastError() "Cannot open buffer!".
    int open();
    void close();
    bool isOpen() const { return memory_ != nullptr; }

    // Reads the record under the lock, opening first when needed (and again when the station
    // re-created it). Copies the data into *data when given (resized to L). Returns L, or
    // nullopt when nothing could be read (no mapping, no lock in time, a length the mapping
    // cannot hold).
    std::optional<size_t> read(std::vector<uint8_t>* data, FrameStamps* stamps, int lockTimeoutMs = platform::kDefaultLockTimeoutMs);
    // As read, into a caller's buffer of exactly `expectedBytes`: copies only when L equals
    // it (a picture of the expected size). Returns L as read; the bytes are valid only when
    // L == expectedBytes.
    std::optional<size_t> readInto(uint8_t* buffer, size_t expectedBytes, FrameStamps* stamps,
                                   int lockTimeoutMs = platform::kDefaultLockTimeoutMs);
    const std::string& lastError() const { return lastError_; }

private:
    template <typename Copy>
    std::optional<size_t> readWith(FrameStamps* stamps, int lockTimeoutMs, Copy copy);

    int cameraIndex_;
    std::unique_ptr<platform::SharedMemory> memory_;
    std::unique_ptr<platform::NamedMutex> mutex_;
    std::string lastError_;
};

} // namespace vantry::common
