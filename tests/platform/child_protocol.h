// What the tests and their child program agree on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace vantry::platform::test::protocol {

inline constexpr std::uint32_t kNumbered = 0x8101;     // posted, wParam = sequence number from 0
inline constexpr std::uint32_t kCountInOrder = 0x8102; // sent: how many numbered arrived in order, -1 if any not
inline constexpr std::uint32_t kAdd = 0x8103;          // sent: returns wParam + lParam
inline constexpr std::uint32_t kAskBack = 0x8104;      // sent: sends kDouble(wParam) back to the sender, returns that + 1
inline constexpr std::uint32_t kDouble = 0x8105;       // sent to the test: returns wParam * 2
inline constexpr std::uint32_t kPostBack = 0x8106;     // posted: post wParam numbered messages back, then kEnd
inline constexpr std::uint32_t kEnd = 0x8107;
inline constexpr std::uint32_t kStall = 0x8108;        // sent: the handler sleeps wParam ms, returns 1

inline constexpr const char* kMemoryName = "ZtMemMapFile01";
inline constexpr const char* kMutexName = "ZtMemMapFileMutex01";
inline constexpr std::size_t kMemorySize = 1244172;

inline std::uint32_t checksum(const std::vector<std::uint8_t>& bytes)
{
    std::uint32_t hash = 2166136261u;
    for (std::uint8_t byte : bytes) {
        hash ^= byte;
        hash *= 16777619u;
    }
    return hash ^ static_cast<std::uint32_t>(bytes.size());
}

// A frame-channel record: stamp A, stamp B, length, data. Every data byte derives from the
// stamp, so a torn record (written while read) shows.
inline constexpr std::uint32_t kRecordDataBytes = 640 * 480 * 2;

inline void writeRecord(std::uint8_t* memory, std::size_t size, std::uint32_t stamp)
{
    if (size < 12 + kRecordDataBytes)
        return;
    const std::uint32_t header[3] = {stamp, 0, kRecordDataBytes};
    std::memcpy(memory, header, sizeof header);
    std::memset(memory + 12, static_cast<int>(stamp & 0xFF), kRecordDataBytes);
}

// The stamp of a whole record, or 0 when the record is empty or torn.
inline std::uint32_t readRecord(const std::uint8_t* memory, std::size_t size)
{
    std::uint32_t header[3] = {};
    std::memcpy(header, memory, sizeof header);
    if (header[0] == 0 || header[2] != kRecordDataBytes || size < 12 + header[2])
        return 0;
    const auto expected = static_cast<std::uint8_t>(header[0] & 0xFF);
    for (std::uint32_t i = 0; i < header[2]; ++i) {
        if (memory[12 + i] != expected)
            return 0;
    }
    return header[0];
}

} // namespace vantry::platform::test::protocol
