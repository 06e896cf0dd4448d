// Copy-data blocks come from other processes: the first four bytes choose the copy-data kind,
// the rest is the block.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "common/link_packet.h"

using namespace vantry::common;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4)
        return 0;
    const uint32_t dwData = static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8 |
                            static_cast<uint32_t>(data[2]) << 16 | static_cast<uint32_t>(data[3]) << 24;
    const std::span<const uint8_t> block(data + 4, size - 4);
    for (const uint32_t magic : {kGaterayLinkMagic, kConnectionReportMagic}) {
        if (const auto packet = parseLinkPacket(block, magic, dwData)) {
            if (packet->payload.data() < block.data() || packet->payload.data() + packet->payload.size() > block.data() + block.size())
                std::abort();
            const auto rebuilt = buildLinkPacket(packet->magic, packet->kind, packet->value, packet->payload);
            if (!parseLinkPacket(rebuilt, magic, dwData))
                std::abort();
        }
    }
    if (const auto text = parseConnectionReport(block, dwData)) {
        if (text->size() > 259)
            std::abort();
        for (const char c : *text)
            if (static_cast<unsigned char>(c) < 0x20)
                std::abort();
    }
    return 0;
}
