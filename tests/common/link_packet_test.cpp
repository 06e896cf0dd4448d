#include "common/link_packet.h"

#include <gtest/gtest.h>

#include "common/station_messages.h"

namespace vantry::common {
namespace {

std::vector<uint8_t> bytes(std::initializer_list<uint32_t> words, std::string_view tail = {})
{
    std::vector<uint8_t> out;
    for (const uint32_t w : words)
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<uint8_t>(w >> (8 * i)));
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
}

TEST(LinkPacket, BuildsLittleEndianHeader)
{
    const uint8_t payload[] = {1, 2, 3};
    const auto packet = buildLinkPacket(kGaterayLinkMagic, msg::kGaterayAddMapping, 1, payload);
    EXPECT_EQ(packet, bytes({19, 723, 0x10000004, 1}, std::string_view("\x01\x02\x03", 3)));
    const auto parsed = parseLinkPacket(packet, kGaterayLinkMagic, msg::kGaterayAddMapping);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->value, 1u);
    EXPECT_EQ(std::vector<uint8_t>(parsed->payload.begin(), parsed->payload.end()), std::vector<uint8_t>({1, 2, 3}));
}

TEST(LinkPacket, RejectsWhatDoesNotCheckOut)
{
    struct Row {
        const char* name;
        std::vector<uint8_t> data;
        uint32_t dwData;
        bool accepted;
        std::size_t payloadSize;
    };
    const Row rows[] = {
        {"header only", bytes({16, 723, 8, 1}), 8, true, 0},
        {"bytes after the packet ignored", bytes({17, 723, 8, 1}, "ab"), 8, true, 1},
        {"15 bytes", std::vector<uint8_t>(15, 0), 8, false, 0},
        {"empty", {}, 8, false, 0},
        {"total below header", bytes({12, 723, 8, 1}), 8, false, 0},
        {"total beyond block", bytes({40, 723, 8, 1}, "abc"), 8, false, 0},
        {"total huge", bytes({0xFFFFFFFF, 723, 8, 1}), 8, false, 0},
        {"wrong magic", bytes({16, 724, 8, 1}), 8, false, 0},
        {"kind differs from dwData", bytes({16, 723, 8, 1}), 16, false, 0},
    };
    for (const Row& row : rows) {
        const auto parsed = parseLinkPacket(row.data, kGaterayLinkMagic, row.dwData);
        EXPECT_EQ(parsed.has_value(), row.accepted) << row.name;
        if (parsed) {
            EXPECT_EQ(parsed->payload.size(), row.payloadSize) << row.name;
        }
    }
}

TEST(LinkPacket, ConnectionReport)
{
    const auto report = buildConnectionReport("192.168.1.20:50123");
    EXPECT_EQ(report.size(), 16u + 19u);
    EXPECT_EQ(parseConnectionReport(report, 1).value_or("<none>"), "192.168.1.20:50123");

    struct Row {
        const char* name;
        std::vector<uint8_t> data;
        uint32_t dwData;
        std::optional<std::string> text;
    };
    const Row rows[] = {
        {"kind 2", bytes({20, 830, 2, 0}, "abc"), 2, std::nullopt},
        {"header kind 2 under dwData 1", bytes({20, 830, 2, 0}, "abc"), 1, std::nullopt},
        {"marker 723", bytes({20, 723, 1, 0}, "abc"), 1, std::nullopt},
        {"no text", bytes({16, 830, 1, 0}), 1, std::nullopt},
        {"no NUL", bytes({19, 830, 1, 0}, "1.2"), 1, std::string("1.2")},
        {"control characters", bytes({21, 830, 1, 0}, "a\nb\x1b" "c"), 1, std::string("a?b?c")},
        {"text stops at NUL", bytes({22, 830, 1, 0}, std::string_view("ab\0cd\0", 6)), 1, std::string("ab")},
    };
    for (const Row& row : rows)
        EXPECT_EQ(parseConnectionReport(row.data, row.dwData), row.text) << row.name;

    const auto longReport = buildConnectionReport(std::string(1000, '7'));
    EXPECT_EQ(parseConnectionReport(longReport, 1)->size(), 259u);
}

} // namespace
} // namespace vantry::common
