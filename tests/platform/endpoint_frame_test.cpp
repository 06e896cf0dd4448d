#include "platform/endpoint_frame.h"

#include <gtest/gtest.h>

#include <cstring>

namespace vantry::platform::wire {
namespace {

std::vector<std::uint8_t> header(std::uint32_t magic, std::uint32_t kind, std::uint32_t sender, std::uint32_t msg,
                                 std::uint32_t length)
{
    const std::uint32_t words[8] = {magic, kind, 7, sender, msg, 1, 2, length};
    std::vector<std::uint8_t> bytes(sizeof words);
    std::memcpy(bytes.data(), words, sizeof words); // the test machines are little-endian
    return bytes;
}

TEST(EndpointFrame, RoundTripsEveryKind)
{
    Frame copyData;
    copyData.kind = FrameKind::CopyData;
    copyData.sequence = 99;
    copyData.sender = kMaxHandle;
    copyData.msg = kMsgCopyData;
    copyData.wParam = 830;
    copyData.data = {1, 2, 3, 0, 255};
    Frame reply;
    reply.kind = FrameKind::Reply;
    reply.lParam = -5;
    Frame post;
    post.kind = FrameKind::Post;
    post.msg = 0x8021;
    post.wParam = 0x30000;
    post.lParam = 0x7FFFFFFF;

    for (const Frame& original : {copyData, reply, post}) {
        const std::vector<std::uint8_t> bytes = encodeFrame(original);
        ASSERT_EQ(bytes.size(), kHeaderBytes + original.data.size());
        Frame decoded;
        std::size_t consumed = 0;
        ASSERT_EQ(decodeFrame(bytes.data(), bytes.size(), decoded, consumed), DecodeStatus::Complete);
        EXPECT_EQ(consumed, bytes.size());
        EXPECT_EQ(decoded.kind, original.kind);
        EXPECT_EQ(decoded.sequence, original.sequence);
        EXPECT_EQ(decoded.sender, original.sender);
        EXPECT_EQ(decoded.msg, original.msg);
        EXPECT_EQ(decoded.wParam, original.wParam);
        EXPECT_EQ(decoded.lParam, original.lParam);
        EXPECT_EQ(decoded.data, original.data);
        // Every cut short of the whole frame asks for more.
        for (std::size_t cut = 0; cut < bytes.size(); ++cut)
            EXPECT_EQ(decodeFrame(bytes.data(), cut, decoded, consumed), DecodeStatus::NeedMore) << cut;
    }
}

TEST(EndpointFrame, RefusesHeadersThatBreakTheRules)
{
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
    };
    const Case cases[] = {
        {"wrong magic", header(0x12345678, 1, 1, 0x8000, 0)},
        {"kind 0", header(kFrameMagic, 0, 1, 0x8000, 0)},
        {"kind 5", header(kFrameMagic, 5, 1, 0x8000, 0)},
        {"post with data", header(kFrameMagic, 1, 1, 0x8000, 4)},
        {"reply with data", header(kFrameMagic, 4, 1, 0, 1)},
        {"copy-data with another msg", header(kFrameMagic, 3, 1, 0x8000, 4)},
        {"copy-data too long", header(kFrameMagic, 3, 1, kMsgCopyData, kMaxCopyDataBytes + 1)},
        {"copy-data length 0xFFFFFFFF", header(kFrameMagic, 3, 1, kMsgCopyData, 0xFFFFFFFF)},
        {"sender beyond the handle range", header(kFrameMagic, 1, 0x80000000, 0x8000, 0)},
        {"garbage first byte", {'G', 'E', 'T', ' '}},
    };
    for (const Case& c : cases) {
        Frame frame;
        std::size_t consumed = 0;
        // The header alone decides: no payload bytes are needed to refuse a hostile length.
        EXPECT_EQ(decodeFrame(c.bytes.data(), c.bytes.size(), frame, consumed), DecodeStatus::Invalid) << c.what;
    }
    Frame invalid;
    invalid.kind = FrameKind::Post;
    invalid.data = {1};
    EXPECT_TRUE(encodeFrame(invalid).empty());
}

TEST(EndpointFrame, AssemblerCutsAStreamFedInPiecesAndStaysInvalidAfterGarbage)
{
    std::vector<std::uint8_t> stream;
    for (std::uint32_t i = 0; i < 50; ++i) {
        Frame frame;
        frame.kind = i % 2 == 0 ? FrameKind::Post : FrameKind::CopyData;
        frame.msg = frame.kind == FrameKind::CopyData ? kMsgCopyData : 0x8000 + i;
        frame.wParam = i;
        frame.data.assign(frame.kind == FrameKind::CopyData ? i * 37 : 0, static_cast<std::uint8_t>(i));
        const auto bytes = encodeFrame(frame);
        stream.insert(stream.end(), bytes.begin(), bytes.end());
    }
    FrameAssembler assembler;
    std::uint32_t expected = 0;
    std::size_t position = 0;
    std::size_t piece = 1;
    while (position < stream.size()) {
        const std::size_t size = std::min(piece, stream.size() - position);
        assembler.append(stream.data() + position, size);
        position += size;
        piece = piece * 3 % 101 + 1;
        Frame frame;
        DecodeStatus status;
        while ((status = assembler.next(frame)) == DecodeStatus::Complete) {
            EXPECT_EQ(frame.wParam, expected);
            ++expected;
        }
        ASSERT_EQ(status, DecodeStatus::NeedMore);
    }
    EXPECT_EQ(expected, 50u);
    EXPECT_EQ(assembler.bufferedBytes(), 0u);

    const std::uint8_t garbage[] = {'V', 'Y', 'X', '1'};
    assembler.append(garbage, sizeof garbage);
    Frame frame;
    EXPECT_EQ(assembler.next(frame), DecodeStatus::Invalid);
    assembler.append(stream.data(), kHeaderBytes);
    EXPECT_EQ(assembler.next(frame), DecodeStatus::Invalid);
}

} // namespace
} // namespace vantry::platform::wire
