// The viewer's side of the stream protocol against a scripted server on loopback.
#include "viewer_test_support.h"

#include "common/text_log.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace vantry::viewer {
namespace {

using namespace test;
using namespace server;

class RemoteLinkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        link.setObserver(notices.observer());
        link.setLog(&log);
        StreamOptions options;
        options.quality = 4;
        options.halfSize = 0;
        options.frameRate = 10;
        link.setStreamOptions(options);
    }
    void TearDown() override { link.disconnect(); }

    void connect(int camera = 0) { ASSERT_EQ(link.connect("127.0.0.1", server.port(), camera, 3), 1); ASSERT_TRUE(server.accept()); }

    ScriptedServer server;
    Notices notices;
    ConnectionLog log;
    RemoteLink link;
};

TEST_F(RemoteLinkTest, HandshakeRunsInOrderAndFramesBecomePictures)
{
    connect(2);
    server.expect(CMD_EVENT_ONLY_QUIET, 0);
    server.sendU32(MSG_HELLO, kServerWordCameraStatus);
    server.expect(CMD_SELECT_CAMERA, 2);
    server.send(MSG_CAMERA_OK);
    server.expect(CMD_ASK_PASSWORD);
    server.sendU32(MSG_PASSWORD_NEEDED, 0);
    const auto options = server.next();
    ASSERT_TRUE(options && options->code == CMD_SET_OPTIONS);
    const auto sent = parseStreamOptions(options->payload);
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->quality, 4u);
    EXPECT_EQ(sent->frameRate, 10u);
    server.send(MSG_OPTIONS_OK);
    server.expect(CMD_GET_CAMERA_STATUS);
    server.sendU32(MSG_CAMERA_STATUS, 7);
    server.expect(CMD_EVENT_ONLY, 0);
    server.send(MSG_EVENT_ONLY_OK);
    server.expect(CMD_GET_INFO);
    server.send(MSG_VIDEO_FORMAT, encodeVideoFormat(makeVx01Format(176, 144)));
    server.sendText(MSG_SITE_NAME, "Harbour");
    server.sendText(MSG_CAMERA_NAME, "Gate");
    server.expect(CMD_START_STREAM);
    EXPECT_TRUE(notices.waitFor(LinkNotice::RestoreVideoSize));
    EXPECT_TRUE(notices.waitFor(LinkNotice::TitleChanged));
    EXPECT_EQ(link.title(), "Harbour - Gate");
    EXPECT_EQ(link.cameraStatus(), 7u);
    EXPECT_TRUE(notices.has(LinkNotice::StatusIcon, kIconVideo, kVideoPtz));

    const auto pictures = encodePictures(176, 144, 3);
    for (size_t i = 0; i < pictures.size(); ++i)
        server.send(pictures[i].key ? MSG_KEY_FRAME : MSG_DELTA_FRAME, pictures[i].bytes, 1700000100 + static_cast<uint32_t>(i));
    ASSERT_TRUE(waitFor([&] { return link.framesDecoded() == 3; }));
    EXPECT_EQ(link.lastFrameTime(), 1700000102u);
    Picture picture;
    ASSERT_TRUE(link.picture(picture));
    EXPECT_EQ(picture.width, 176);
    EXPECT_EQ(picture.height, 144);
    // The gradient runs from dark at the top left to light at the bottom right (rows top-down).
    const auto luma = [&](int x, int y) { return picture.bgr[(static_cast<size_t>(y) * 176 + x) * 3 + 1]; };
    EXPECT_LT(luma(2, 2), 60);
    EXPECT_GT(luma(170, 140), 200);
}

TEST_F(RemoteLinkTest, WrongPasswordIsRetriedWithTheNewOne)
{
    connect();
    server.expect(CMD_EVENT_ONLY_QUIET);
    server.sendU32(MSG_HELLO, 0);
    server.expect(CMD_SELECT_CAMERA, 0);
    server.send(MSG_CAMERA_OK);
    server.expect(CMD_ASK_PASSWORD);
    server.sendU32(MSG_PASSWORD_NEEDED, 1);
    ASSERT_TRUE(notices.waitFor(LinkNotice::PasswordNeeded));
    link.answerPassword(std::string("guess"));
    auto request = server.next();
    ASSERT_TRUE(request && request->code == CMD_PASSWORD);
    EXPECT_EQ(std::string(request->payload.begin(), request->payload.end()), "guess");
    server.sendU32(MSG_PASSWORD_RESULT, 0);
    ASSERT_TRUE(notices.waitFor(LinkNotice::PasswordIncorrect));
    link.answerRetry(true);
    server.expect(CMD_ASK_PASSWORD);
    notices.clear();
    server.sendU32(MSG_PASSWORD_NEEDED, 1);
    ASSERT_TRUE(notices.waitFor(LinkNotice::PasswordNeeded));
    // Sixteen characters, all of them sent: the server compares up to sixteen.
    link.answerPassword(std::string("0123456789abcdef"));
    request = server.next();
    ASSERT_TRUE(request && request->code == CMD_PASSWORD);
    EXPECT_EQ(std::string(request->payload.begin(), request->payload.end()), "0123456789abcdef");
    server.sendU32(MSG_PASSWORD_RESULT, 1);
    server.expect(CMD_SET_OPTIONS);
    server.send(MSG_OPTIONS_OK);
    server.expect(CMD_EVENT_ONLY); // no camera status bit in the server word
}

TEST_F(RemoteLinkTest, StoredPasswordIsReusedButNotRepeatedAfterARefusal)
{
    link.setReusePassword(true);
    link.setPassword("secret");
    connect();
    server.expect(CMD_EVENT_ONLY_QUIET);
    server.sendU32(MSG_HELLO, 0);
    server.expect(CMD_SELECT_CAMERA);
    server.send(MSG_CAMERA_OK);
    server.expect(CMD_ASK_PASSWORD);
    server.sendU32(MSG_PASSWORD_NEEDED, 1);
    const auto request = server.next();
    ASSERT_TRUE(request && request->code == CMD_PASSWORD);
    EXPECT_EQ(std::string(request->payload.begin(), request->payload.end()), "secret");
    EXPECT_FALSE(notices.has(LinkNotice::PasswordNeeded));
    server.sendU32(MSG_PASSWORD_RESULT, 0);
    ASSERT_TRUE(notices.waitFor(LinkNotice::PasswordIncorrect));
    link.answerRetry(true);
    server.expect(CMD_ASK_PASSWORD);
    server.sendU32(MSG_PASSWORD_NEEDED, 1);
    EXPECT_TRUE(notices.waitFor(LinkNotice::PasswordNeeded));
}

TEST_F(RemoteLinkTest, CancelledPasswordOrDeclinedRetryEndsTheLink)
{
    connect();
    server.expect(CMD_EVENT_ONLY_QUIET);
    link.answerPassword(std::nullopt);
    EXPECT_TRUE(notices.waitFor(LinkNotice::EndRequested));
    notices.clear();
    link.answerRetry(false);
    EXPECT_TRUE(notices.waitFor(LinkNotice::EndRequested));
}

TEST_F(RemoteLinkTest, PtzCommandsAndEventOnlyReachTheServer)
{
    connect();
    server.handshake(0, 176, 144, kServerWordCameraStatus, 7);
    for (uint32_t command : { kPtzPanLeft, kPtzPanRight, kPtzTiltUp, kPtzTiltDown, kPtzZoomIn, kPtzZoomOut }) {
        EXPECT_TRUE(link.sendPtz(command));
        server.expect(CMD_PTZ, command);
    }
    link.setEventOnly(true);
    server.expect(CMD_EVENT_ONLY_QUIET, 1);
    server.send(MSG_IDLE);
    EXPECT_TRUE(notices.waitFor(LinkNotice::DataArrived));
    server.send(MSG_EVENT_ON);
    EXPECT_TRUE(notices.waitFor(LinkNotice::StatusIcon, kIconEvent, 1));
    EXPECT_TRUE(waitFor([&] { return link.eventOn(); }));
    server.send(MSG_EVENT_OFF);
    EXPECT_TRUE(notices.waitFor(LinkNotice::StatusIcon, kIconEvent, 0));
    EXPECT_TRUE(waitFor([&] { return !link.eventOn(); }));
}

TEST_F(RemoteLinkTest, EventOnlyModeIsAnnouncedFromTheStart)
{
    StreamOptions options;
    options.eventOnly = 1;
    link.setStreamOptions(options);
    connect();
    server.expect(CMD_EVENT_ONLY_QUIET, 1);
    server.sendU32(MSG_HELLO, 0);
    server.expect(CMD_SELECT_CAMERA);
    server.send(MSG_CAMERA_OK);
    server.expect(CMD_ASK_PASSWORD);
    server.sendU32(MSG_PASSWORD_NEEDED, 0);
    const auto request = server.next();
    ASSERT_TRUE(request && request->code == CMD_SET_OPTIONS);
    EXPECT_EQ(parseStreamOptions(request->payload)->eventOnly, 1u);
    server.send(MSG_OPTIONS_OK);
    server.expect(CMD_EVENT_ONLY, 1);
}

TEST_F(RemoteLinkTest, MessageLengthLimitIsOneMebibyte)
{
    connect();
    server.handshake(0, 176, 144);
    // Exactly 1 MiB is a message like any other (here of an unknown code, so ignored) ...
    std::vector<uint8_t> payload(kMaxViewerMessageLength - 8, 0xAB);
    server.send(0xFE30, payload);
    server.send(MSG_IDLE);
    ASSERT_TRUE(notices.waitFor(LinkNotice::DataArrived));
    EXPECT_FALSE(notices.has(LinkNotice::EndRequested));
    // ... one byte more ends the connection, and nothing after it is read.
    std::vector<uint8_t> header = { kMarker, 0x01, 0x00, 0x10, 0x00 };
    notices.clear();
    server.sendRaw(header);
    server.send(MSG_EVENT_ON);
    EXPECT_TRUE(notices.waitFor(LinkNotice::EndRequested));
    EXPECT_FALSE(notices.has(LinkNotice::StatusIcon, kIconEvent, 1));
}

TEST_F(RemoteLinkTest, WrongMarkerEndsTheConnection)
{
    connect();
    server.expect(CMD_EVENT_ONLY_QUIET);
    server.sendRaw({ 0x53, 0, 0, 0, 0 });
    EXPECT_TRUE(notices.waitFor(LinkNotice::EndRequested));
}

TEST_F(RemoteLinkTest, SecondVideoFormatStopsThePictures)
{
    connect();
    server.handshake(0, 176, 144);
    const auto pictures = encodePictures(176, 144, 2);
    server.send(MSG_KEY_FRAME, pictures[0].bytes);
    ASSERT_TRUE(waitFor([&] { return link.framesDecoded() == 1; }));
    server.send(MSG_VIDEO_FORMAT, encodeVideoFormat(makeVx01Format(352, 288)));
    server.send(MSG_DELTA_FRAME, pictures[1].bytes);
    server.send(MSG_IDLE);
    ASSERT_TRUE(notices.waitFor(LinkNotice::DataArrived));
    EXPECT_FALSE(server.next(300ms).has_value()) << "no second CMD_START_STREAM";
    EXPECT_EQ(link.framesDecoded(), 1u);
    EXPECT_FALSE(link.havePicture());
}

TEST_F(RemoteLinkTest, PictureOfAnotherSizeThanAnnouncedIsNotShown)
{
    connect();
    server.handshake(0, 176, 144);
    const auto larger = encodePictures(352, 288, 1);
    server.send(MSG_KEY_FRAME, larger[0].bytes);
    server.send(MSG_IDLE);
    ASSERT_TRUE(notices.waitFor(LinkNotice::DataArrived));
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(link.havePicture());
}

TEST_F(RemoteLinkTest, BadHelloIsReportedAndEnds)
{
    connect();
    server.expect(CMD_EVENT_ONLY_QUIET);
    server.send(MSG_HELLO, std::vector<uint8_t> { 1, 0, 1 });
    EXPECT_TRUE(notices.waitFor(LinkNotice::ShowMessage, static_cast<int>(ViewerText::InvalidVersion)));
    EXPECT_TRUE(notices.waitFor(LinkNotice::EndRequested));
    EXPECT_FALSE(server.next(200ms).has_value()) << "no camera selected";
}

TEST_F(RemoteLinkTest, UnavailableCameraIsReportedAndEnds)
{
    connect(3);
    server.expect(CMD_EVENT_ONLY_QUIET);
    server.sendU32(MSG_HELLO, 0);
    server.expect(CMD_SELECT_CAMERA, 3);
    server.send(MSG_CAMERA_UNAVAILABLE);
    EXPECT_TRUE(notices.waitFor(LinkNotice::ShowMessage, static_cast<int>(ViewerText::CameraUnavailable)));
    EXPECT_TRUE(notices.waitFor(LinkNotice::EndRequested));
}

TEST_F(RemoteLinkTest, ServerThatClosesIsReportedAndDisconnectIsClean)
{
    connect();
    server.handshake(0, 176, 144);
    server.closeClient();
    EXPECT_TRUE(notices.waitFor(LinkNotice::ServerClosed));
    EXPECT_FALSE(notices.has(LinkNotice::EndRequested));
    link.disconnect();
    EXPECT_FALSE(link.connected());
    EXPECT_EQ(link.cameraStatus(), 0u);
    // A new connection on the same link goes through the whole exchange again.
    connect();
    server.handshake(0, 176, 144);
}

TEST_F(RemoteLinkTest, ConnectRefusesWhileConnectedOrForABadCamera)
{
    EXPECT_EQ(link.connect("127.0.0.1", server.port(), 4, 1), 0);
    EXPECT_EQ(link.connect("127.0.0.1", server.port(), -1, 1), 0);
    connect();
    EXPECT_EQ(link.connect("127.0.0.1", server.port(), 0, 1), 0);
}

TEST_F(RemoteLinkTest, RefusedConnectIsLoggedWithItsText)
{
    char folderTemplate[] = "/tmp/vyremote-log-XXXXXX";
    ASSERT_NE(::mkdtemp(folderTemplate), nullptr);
    const std::string logPath = std::string(folderTemplate) + "/vyremote.Log";
    ASSERT_TRUE(log.open(logPath));
    const uint16_t port = server.port();
    server.stopListening();
    EXPECT_EQ(link.connect("127.0.0.1", port, 0, 1), 0);
    EXPECT_FALSE(link.connected());
    std::ifstream in(logPath);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find(" - Connect(Fail):The attempt to connect was forcefully rejected.\r\n"), std::string::npos)
        << text.str();
    // A name that does not resolve fails without a line.
    EXPECT_EQ(link.connect("no-such-host.invalid", port, 0, 1), 0);
    log.close();
    std::filesystem::remove_all(folderTemplate);
}

TEST(RemoteLinkWithoutSocket, MessagesBeforeAnyFormatAreHarmless)
{
    Notices notices;
    RemoteLink link;
    link.setObserver(notices.observer());
    const auto pictures = encodePictures(176, 144, 1);
    Message frame { MSG_KEY_FRAME, 1, pictures[0].bytes };
    EXPECT_TRUE(link.handleMessage(frame));
    EXPECT_TRUE(link.handleMessage(Message { MSG_DELTA_FRAME, 1, {} }));
    EXPECT_TRUE(link.handleMessage(Message { MSG_CAMERA_STATUS, 1, {} }));
    EXPECT_TRUE(link.handleMessage(Message { 0xFE30, 1, { 1, 2, 3 } }));
    // Formats the decoder cannot take are refused.
    const auto huge = encodeVideoFormat(makeVx01Format(4096, 4096));
    EXPECT_TRUE(link.handleMessage(Message { MSG_VIDEO_FORMAT, 1, std::vector<uint8_t>(huge.begin(), huge.end()) }));
    EXPECT_FALSE(notices.has(LinkNotice::RestoreVideoSize));
    EXPECT_FALSE(link.havePicture());
}

} // namespace
} // namespace vantry::viewer
