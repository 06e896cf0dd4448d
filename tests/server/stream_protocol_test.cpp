#include "server/stream_protocol.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vantry::server {
namespace {

std::vector<uint8_t> concat(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> out;
    for (const auto& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

std::vector<Request> parseWhole(const std::vector<uint8_t>& bytes)
{
    RequestParser parser;
    std::vector<Request> out;
    parser.feed(bytes, out);
    return out;
}

std::vector<Request> parseByteByByte(const std::vector<uint8_t>& bytes)
{
    RequestParser parser;
    std::vector<Request> out;
    for (uint8_t byte : bytes)
        parser.feed(std::span<const uint8_t>(&byte, 1), out);
    return out;
}

void expectSame(const std::vector<Request>& a, const std::vector<Request>& b)
{
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].code, b[i].code) << i;
        EXPECT_EQ(a[i].length, b[i].length) << i;
        EXPECT_EQ(a[i].payload, b[i].payload) << i;
        EXPECT_EQ(a[i].passwordOutOfRange, b[i].passwordOutOfRange) << i;
    }
}

TEST(StreamProtocol, ServerMessageLayoutIsLittleEndianWithTime)
{
    const auto bytes = encodeMessage(MSG_HELLO, 0x11223344, encodeU32(0x10000));
    const std::vector<uint8_t> expected { 0x52, 12, 0, 0, 0, 0x07, 0xFE, 0, 0, 0x44, 0x33, 0x22, 0x11, 0, 0, 1, 0 };
    EXPECT_EQ(bytes, expected);
    // A message without payload has length 8.
    EXPECT_EQ(getU32(encodeMessage(MSG_IDLE, 0).data() + 1), 8u);
}

TEST(StreamProtocol, RequestLayoutHasNoTime)
{
    const auto bytes = encodeRequestU32(CMD_SELECT_CAMERA, 2);
    const std::vector<uint8_t> expected { 0x52, 8, 0, 0, 0, 0x0C, 0xFF, 0, 0, 2, 0, 0, 0 };
    EXPECT_EQ(bytes, expected);
}

TEST(StreamProtocol, VideoFormatRecord)
{
    const auto format = makeVx01Format(352, 288);
    EXPECT_EQ(format.sizeImage, 352u * 12 / 8 * 288);
    // Width 100: 1200 bits per row padded to 1216 = 152 bytes.
    EXPECT_EQ(vx01ImageSize(100, 10), 1520u);
    const auto bytes = encodeVideoFormat(format);
    EXPECT_EQ(getU32(bytes.data()), 40u);
    EXPECT_EQ(bytes[12], 1);  // planes
    EXPECT_EQ(bytes[14], 12); // bit count
    EXPECT_EQ(getU32(bytes.data() + 16), 0x31305856u);
    const auto parsed = parseVideoFormat(bytes);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->width, 352);
    EXPECT_EQ(parsed->height, 288);
    EXPECT_EQ(parsed->sizeImage, format.sizeImage);
    EXPECT_FALSE(parseVideoFormat(std::span<const uint8_t>(bytes.data(), 39)));
}

TEST(StreamProtocol, PayloadRecordsRoundTrip)
{
    const StreamOptions options { 3, 1, 15, 0 };
    EXPECT_EQ(parseStreamOptions(encodeStreamOptions(options)), options);
    EXPECT_FALSE(parseStreamOptions(std::vector<uint8_t>(15)));
    EXPECT_EQ(encodeText(""), std::vector<uint8_t> { 0 });
    EXPECT_EQ(parseText(encodeText("Front door")), "Front door");
    const std::vector<uint8_t> noTerminator { 'a', 'b' };
    EXPECT_EQ(parseText(noTerminator), "ab");
}

TEST(RequestParser, NormalSequenceWholeAndSplitIntoSingleBytesAgree)
{
    const std::string password = "Secret";
    const auto bytes = concat({
        encodeRequestU32(CMD_EVENT_ONLY_QUIET, 0),
        encodeRequestU32(CMD_SELECT_CAMERA, 1),
        encodeRequest(CMD_ASK_PASSWORD),
        encodeRequest(CMD_PASSWORD, std::vector<uint8_t>(password.begin(), password.end())),
        encodeRequest(CMD_SET_OPTIONS, encodeStreamOptions({ 5, 1, 15, 0 })),
        encodeRequest(CMD_GET_CAMERA_STATUS),
        encodeRequestU32(CMD_EVENT_ONLY, 1),
        encodeRequest(CMD_GET_INFO),
        encodeRequest(CMD_START_STREAM),
        encodeRequest(CMD_KEY_FRAME),
        encodeRequestU32(CMD_PTZ, kPtzZoomIn),
        encodeRequest(CMD_STOP_STREAM),
    });
    const auto whole = parseWhole(bytes);
    ASSERT_EQ(whole.size(), 12u);
    EXPECT_EQ(whole[1].code, CMD_SELECT_CAMERA);
    EXPECT_EQ(parseU32(whole[1].payload), 1u);
    EXPECT_EQ(std::string(whole[3].payload.begin(), whole[3].payload.end()), password);
    EXPECT_EQ(parseStreamOptions(whole[4].payload)->frameRate, 15u);
    EXPECT_EQ(whole[11].code, CMD_STOP_STREAM);
    expectSame(parseByteByByte(bytes), whole);
}

TEST(RequestParser, GarbageBeforeAMarkerIsSkipped)
{
    const auto bytes = concat({ { 0x00, 0xFF, 0x51, 0x53, 0x10 }, encodeRequestU32(CMD_SELECT_CAMERA, 3),
                                { 0x01, 0x02 }, encodeRequest(CMD_GET_INFO) });
    RequestParser parser;
    std::vector<Request> out;
    parser.feed(bytes, out);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].code, CMD_SELECT_CAMERA);
    EXPECT_EQ(parseU32(out[0].payload), 3u);
    EXPECT_EQ(out[1].code, CMD_GET_INFO);
    EXPECT_EQ(parser.skippedBytes(), 7u);
    EXPECT_FALSE(parser.midRequest());
}

TEST(RequestParser, PayloadSizeComesFromTheCodeNotTheLength)
{
    // A select request whose length field lies still carries four payload bytes, and an
    // unknown code is header only, so the bytes after it are searched for the next marker.
    std::vector<uint8_t> lying { 0x52, 99, 0, 0, 0, 0x0C, 0xFF, 0, 0, 2, 0, 0, 0 };
    const auto bytes = concat({ lying, { 0x52, 8, 0, 0, 0, 0x0E, 0xFF, 0, 0, 9, 9, 9, 9 }, encodeRequest(CMD_GET_INFO) });
    const auto out = parseWhole(bytes);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(parseU32(out[0].payload), 2u);
    EXPECT_EQ(out[1].code, 0xFF0Eu);
    EXPECT_TRUE(out[1].payload.empty());
    EXPECT_EQ(out[2].code, CMD_GET_INFO);
}

TEST(RequestParser, PasswordPayloadLimits)
{
    struct Case {
        const char* name;
        uint32_t lengthField;
        size_t bytesSent;
        bool outOfRange;
        size_t payloadKept;
    };
    const Case cases[] = {
        { "one byte", 5, 1, false, 1 },
        { "sixteen bytes", 20, 16, false, 16 },
        { "empty", 4, 0, true, 0 },
        { "length below the code", 2, 0, true, 0 },
        { "seventeen bytes are read and dropped", 21, 17, true, 0 },
        { "long payload is read and dropped", 4 + 5000, 5000, true, 0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> bytes { 0x52 };
        appendU32(bytes, c.lengthField);
        appendU32(bytes, CMD_PASSWORD);
        // Marker bytes inside the dropped payload must not start a request.
        bytes.insert(bytes.end(), c.bytesSent, 0x52);
        const auto next = encodeRequest(CMD_GET_INFO);
        bytes.insert(bytes.end(), next.begin(), next.end());
        for (const auto& out : { parseWhole(bytes), parseByteByByte(bytes) }) {
            ASSERT_EQ(out.size(), 2u);
            EXPECT_EQ(out[0].code, CMD_PASSWORD);
            EXPECT_EQ(out[0].passwordOutOfRange, c.outOfRange);
            EXPECT_EQ(out[0].payload.size(), c.payloadKept);
            EXPECT_EQ(out[1].code, CMD_GET_INFO);
        }
    }
}

TEST(RequestParser, HugePasswordLengthIsNotWaitedFor)
{
    std::vector<uint8_t> bytes { 0x52 };
    appendU32(bytes, 0xFFFFFFF0u);
    appendU32(bytes, CMD_PASSWORD);
    const auto next = encodeRequestU32(CMD_SELECT_CAMERA, 1);
    bytes.insert(bytes.end(), next.begin(), next.end());
    const auto out = parseWhole(bytes);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_TRUE(out[0].passwordOutOfRange);
    EXPECT_EQ(out[1].code, CMD_SELECT_CAMERA);
}

TEST(MessageParser, SplitMessagesAndLimits)
{
    const auto bytes = concat({ encodeMessage(MSG_HELLO, 7, encodeU32(0x10000)), encodeMessage(MSG_IDLE, 8),
                                encodeMessage(MSG_SITE_NAME, 9, encodeText("Site")) });
    MessageParser parser;
    std::vector<Message> out;
    for (uint8_t byte : bytes)
        ASSERT_EQ(parser.feed(std::span<const uint8_t>(&byte, 1), out), MessageParseError::None);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0].code, MSG_HELLO);
    EXPECT_EQ(out[0].time, 7u);
    EXPECT_EQ(parseU32(out[0].payload), 0x10000u);
    EXPECT_TRUE(out[1].payload.empty());
    EXPECT_EQ(parseText(out[2].payload), "Site");
}

TEST(MessageParser, LengthLimitShortLengthsAndBadMarker)
{
    {
        // Exactly 1 MiB is accepted; the parser waits for the body.
        std::vector<uint8_t> bytes { 0x52 };
        appendU32(bytes, kMaxViewerMessageLength);
        MessageParser parser;
        std::vector<Message> out;
        EXPECT_EQ(parser.feed(bytes, out), MessageParseError::None);
    }
    {
        std::vector<uint8_t> bytes { 0x52 };
        appendU32(bytes, kMaxViewerMessageLength + 1);
        MessageParser parser;
        std::vector<Message> out;
        EXPECT_EQ(parser.feed(bytes, out), MessageParseError::LengthTooLarge);
    }
    {
        // Lengths below 8 are read and dropped; the next message still arrives.
        std::vector<uint8_t> bytes { 0x52, 3, 0, 0, 0, 1, 2, 3, 0x52, 0, 0, 0, 0 };
        const auto next = encodeMessage(MSG_CAMERA_OK, 1);
        bytes.insert(bytes.end(), next.begin(), next.end());
        MessageParser parser;
        std::vector<Message> out;
        EXPECT_EQ(parser.feed(bytes, out), MessageParseError::None);
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0].code, MSG_CAMERA_OK);
    }
    {
        const std::vector<uint8_t> bytes { 0x00, 0x52 };
        MessageParser parser;
        std::vector<Message> out;
        EXPECT_EQ(parser.feed(bytes, out), MessageParseError::BadMarker);
        EXPECT_EQ(parser.feed(encodeMessage(MSG_IDLE, 0), out), MessageParseError::BadMarker);
        EXPECT_TRUE(out.empty());
    }
}

} // namespace
} // namespace vantry::server
