#include "common/link_packet.h"

#include "common/station_messages.h"

namespace vantry::common {

namespace {

void putLe32(std::vector<uint8_t>& out, uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

uint32_t getLe32(std::span<const uint8_t> data, std::size_t offset)
{
    return static_cast<uint32_t>(data[offset]) | static_cast<uint32_t>(data[offset + 1]) << 8 |
           static_cast<uint32_t>(data[offset + 2]) << 16 | static_cast<uint32_t>(data[offset + 3]) << 24;
}

constexpr std::size_t kReportTextMax = 259;

} // namespace

std::vector<uint8_t> buildLinkPacket(uint32_t magic, uint32_t kind, uint32_t value, std::span<const uint8_t> payload)
{
    std::vector<uint8_t> packet;
    packet.reserve(kLinkHeaderSize + payload.size());
    putLe32(packet, static_cast<uint32_t>(kLinkHeaderSize + payload.size()));
    putLe32(packet, magic);
    putLe32(packet, kind);
    putLe32(packet, value);
    packet.insert(packet.end(), payload.begin(), payload.end());
    return packet;
}

std::optional<LinkPacketView> parseLinkPacket(std::span<const uint8_t> data, uint32_t expectedMagic, uint32_t dwData)
{
    if (data.size() < kLinkHeaderSize)
        return std::nullopt;
    LinkPacketView view;
    view.totalSize = getLe32(data, 0);
    view.magic = getLe32(data, 4);
    view.kind = getLe32(data, 8);
    view.value = getLe32(data, 12);
    if (view.totalSize < kLinkHeaderSize || view.totalSize > data.size())
        return std::nullopt;
    if (view.magic != expectedMagic || view.kind != dwData)
        return std::nullopt;
    view.payload = data.subspan(kLinkHeaderSize, view.totalSize - kLinkHeaderSize);
    return view;
}

std::vector<uint8_t> buildConnectionReport(std::string_view viewerAddress)
{
    std::vector<uint8_t> text(viewerAddress.begin(), viewerAddress.end());
    text.push_back(0);
    return buildLinkPacket(kConnectionReportMagic, msg::kCopyDataConnectionReport, 0, text);
}

std::optional<std::string> parseConnectionReport(std::span<const uint8_t> data, uint32_t dwData)
{
    if (dwData != msg::kCopyDataConnectionReport || data.size() <= kLinkHeaderSize)
        return std::nullopt;
    const auto packet = parseLinkPacket(data, kConnectionReportMagic, dwData);
    if (!packet || packet->payload.empty())
        return std::nullopt;
    std::string text;
    for (const uint8_t byte : packet->payload) {
        if (byte == 0 || text.size() == kReportTextMax)
            break;
        text.push_back(byte < 0x20 || byte == 0x7F ? '?' : static_cast<char>(byte));
    }
    return text;
}

} // namespace vantry::common
