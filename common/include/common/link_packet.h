// Link packets: the data block of every copy-data message between Vantry programs.
//   offset 0  total size in bytes (16 + payload length)
//   offset 4  magic (723 with gateray, 830 for the stream server's connection report)
//   offset 8  kind, equal to the copy-data kind (dwData) it travels with
//   offset 12 value
//   offset 16 payload
// All fields little-endian 32-bit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vantry::common {

inline constexpr uint32_t kGaterayLinkMagic = 723;
inline constexpr uint32_t kConnectionReportMagic = 830;
inline constexpr std::size_t kLinkHeaderSize = 16;

// A parsed packet; the payload refers into the buffer that was parsed.
struct LinkPacketView {
    uint32_t totalSize = 0;
    uint32_t magic = 0;
    uint32_t kind = 0;
    uint32_t value = 0;
    std::span<const uint8_t> payload;
};

std::vector<uint8_t> buildLinkPacket(uint32_t magic, uint32_t kind, uint32_t value,
                                     std::span<const uint8_t> payload = {});

// Checks a received block: at least 16 bytes, a total size of at least 16 that fits in the
// block (bytes after it are ignored), the expected magic, and a kind equal to dwData.
// Anything else gives nullopt.
std::optional<LinkPacketView> parseLinkPacket(std::span<const uint8_t> data, uint32_t expectedMagic,
                                              uint32_t dwData);

// The stream server's report of a newly connected viewer: kind 1, magic 830, the viewer's
// address as NUL-terminated text after the header.
std::vector<uint8_t> buildConnectionReport(std::string_view viewerAddress);

// The viewer's address of a connection report, or nullopt unless the block is larger than
// the header, carries magic 830 and kind 1 both in the header and as dwData. The text ends at
// its NUL or at the end of the packet, is cut to 259 characters, and control characters are
// replaced by '?', so that it can go into a log line as it is.
std::optional<std::string> parseConnectionReport(std::span<const uint8_t> data, uint32_t dwData);

} // namespace vantry::common
