// The stream server over loopback with a viewer written in the test and a station played by
// the test.
#include "server_test_support.h"

#include "common/text_log.h"

#include <gtest/gtest.h>

#include <fstream>

namespace vantry::server {
namespace {

using namespace test;
using namespace std::chrono_literals;

constexpr size_t kQvgaI420 = 320 * 240 * 3 / 2;

std::vector<uint8_t> bytesOf(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

TEST(StreamServer, NormalExchangeStepByStep)
{
    ServerFixture f;
    f.server.stationMessage(station_msg::kCameraStatus, 7, 0);
    ASSERT_TRUE(f.server.isListening());
    TestCamera camera(f.station.writer(0), kQvgaI420);

    TestClient client(f.port);
    ASSERT_TRUE(client.connected());
    client.requestU32(CMD_EVENT_ONLY_QUIET, 0);
    auto hello = client.next();
    ASSERT_TRUE(hello);
    EXPECT_EQ(hello->code, MSG_HELLO);
    EXPECT_EQ(hello->payload.size(), 4u);
    EXPECT_EQ(parseU32(hello->payload), 0x10001u);
    ASSERT_EQ(f.station.reports.size(), 1u);
    EXPECT_EQ(f.station.reports[0].rfind("127.0.0.1:", 0), 0u);

    client.requestU32(CMD_SELECT_CAMERA, 0);
    auto ok = client.next();
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->code, MSG_CAMERA_OK);
    EXPECT_EQ(f.station.count(station_msg::kWantsCamera), 1);

    client.request(CMD_ASK_PASSWORD);
    auto needed = client.next();
    ASSERT_TRUE(needed);
    EXPECT_EQ(needed->code, MSG_PASSWORD_NEEDED);
    EXPECT_EQ(parseU32(needed->payload), 0u);

    // Before the options are set, the information has no format.
    client.request(CMD_GET_INFO);
    EXPECT_EQ(client.next()->code, MSG_SITE_NAME);
    EXPECT_EQ(client.next()->code, MSG_CAMERA_NAME);

    client.request(CMD_SET_OPTIONS, encodeStreamOptions({ 5, 0, 15, 0 }));
    EXPECT_EQ(client.next()->code, MSG_OPTIONS_OK);
    client.request(CMD_SET_OPTIONS, encodeStreamOptions({ 12, 0, 1, 0 })); // changes nothing
    EXPECT_EQ(client.next()->code, MSG_OPTIONS_OK);
    client.request(CMD_GET_CAMERA_STATUS);
    auto status = client.next();
    ASSERT_TRUE(status);
    EXPECT_EQ(status->code, MSG_CAMERA_STATUS);
    EXPECT_EQ(parseU32(status->payload), 7u);
    client.requestU32(CMD_EVENT_ONLY, 0);
    EXPECT_EQ(client.next()->code, MSG_EVENT_ONLY_OK);

    client.request(CMD_GET_INFO);
    auto format = client.next();
    ASSERT_TRUE(format);
    ASSERT_EQ(format->code, MSG_VIDEO_FORMAT);
    ASSERT_EQ(format->payload.size(), 40u);
    const auto video = parseVideoFormat(format->payload);
    EXPECT_EQ(video->width, 320);
    EXPECT_EQ(video->height, 240);
    EXPECT_EQ(video->compression, kFourccVx01);
    auto site = client.next();
    EXPECT_EQ(parseText(site->payload), "Test Site");
    auto name = client.next();
    EXPECT_EQ(parseText(name->payload), "Camera 1");

    client.request(CMD_START_STREAM);
    auto first = client.next();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->code, MSG_KEY_FRAME);
    EXPECT_FALSE(first->payload.empty());
    // The time field is the capture second the station stamped.
    EXPECT_LE(first->time, static_cast<uint32_t>(std::time(nullptr)));
    EXPECT_GE(first->time + 5, static_cast<uint32_t>(std::time(nullptr)));
    auto second = client.next();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->code, MSG_DELTA_FRAME);
    EXPECT_FALSE(second->payload.empty());

    client.request(CMD_KEY_FRAME);
    EXPECT_TRUE(client.nextOf(MSG_KEY_FRAME));

    client.request(CMD_STOP_STREAM);
    client.collect(200ms);
    EXPECT_TRUE(client.collect(300ms).empty());
    // Streaming again starts with a key frame.
    client.request(CMD_START_STREAM);
    auto restarted = client.next();
    ASSERT_TRUE(restarted);
    EXPECT_EQ(restarted->code, MSG_KEY_FRAME);
}

TEST(StreamServer, RequestsArrivingByteByByteAndAfterGarbage)
{
    ServerFixture f;
    TestClient client(f.port);
    ASSERT_EQ(client.next()->code, MSG_HELLO);
    std::vector<uint8_t> bytes { 0x00, 0x13, 0xFF };
    const auto select = encodeRequestU32(CMD_SELECT_CAMERA, 0);
    bytes.insert(bytes.end(), select.begin(), select.end());
    for (uint8_t byte : bytes) {
        client.sendBytes({ byte });
        pumpEvents(3ms);
    }
    auto ok = client.next();
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->code, MSG_CAMERA_OK);
}

TEST(StreamServer, PasswordVerdicts)
{
    struct Case {
        const char* name;
        std::vector<uint8_t> payload;
        uint32_t verdict;
    };
    const Case cases[] = {
        { "same characters", bytesOf("Secret"), 1 },
        { "other case", bytesOf("secret"), 0 },
        { "prefix", bytesOf("Secre"), 0 },
        { "empty payload", {}, 0 },
        { "seventeen bytes", bytesOf("Secret12345678901"), 0 },
    };
    ServerFixture f;
    f.station.sendPassword(1, "Secret");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestClient client(f.port);
        ASSERT_EQ(client.next()->code, MSG_HELLO);
        client.request(CMD_ASK_PASSWORD); // selects camera 0 without MSG_CAMERA_OK
        auto needed = client.next();
        ASSERT_TRUE(needed);
        ASSERT_EQ(needed->code, MSG_PASSWORD_NEEDED);
        EXPECT_EQ(parseU32(needed->payload), 1u);
        client.request(CMD_PASSWORD, c.payload);
        auto result = client.next();
        ASSERT_TRUE(result);
        ASSERT_EQ(result->code, MSG_PASSWORD_RESULT);
        EXPECT_EQ(parseU32(result->payload), c.verdict);
    }

    // A record of 16 characters (22 bytes) is more than the server takes: the previous
    // password stays.
    f.server.stationMessage(station_msg::kPassword, 1, 0);
    f.station.writer(0).write(common::buildPasswordBlock("0123456789abcdef"), {});
    EXPECT_EQ(f.server.stationMessage(station_msg::kPassword, 1, 0), 0);
    {
        TestClient client(f.port);
        ASSERT_EQ(client.next()->code, MSG_HELLO);
        client.request(CMD_PASSWORD, bytesOf("Secret"));
        EXPECT_EQ(parseU32(client.nextOf(MSG_PASSWORD_RESULT)->payload), 1u);
    }

    // Checking off: every password passes, without being compared.
    f.station.sendPassword(0, "Secret");
    TestClient client(f.port);
    ASSERT_EQ(client.next()->code, MSG_HELLO);
    client.request(CMD_PASSWORD, bytesOf("anything"));
    EXPECT_EQ(parseU32(client.nextOf(MSG_PASSWORD_RESULT)->payload), 1u);
}

TEST(StreamServer, WithoutTheRightPasswordNothingStreams)
{
    ServerFixture f;
    f.station.sendPassword(1, "Secret");
    TestCamera camera(f.station.writer(0), kQvgaI420);
    TestClient client(f.port);
    ASSERT_EQ(client.next()->code, MSG_HELLO);
    client.requestU32(CMD_SELECT_CAMERA, 0);
    ASSERT_EQ(client.next()->code, MSG_CAMERA_OK);

    // A viewer that skips the password, then one that gives a wrong one: options, info,
    // stream, key frame and PTZ are ignored.
    for (const char* attempt : { "", "wrong" }) {
        SCOPED_TRACE(attempt);
        if (*attempt) {
            client.request(CMD_PASSWORD, bytesOf(attempt));
            EXPECT_EQ(parseU32(client.nextOf(MSG_PASSWORD_RESULT)->payload), 0u);
        }
        client.request(CMD_SET_OPTIONS, encodeStreamOptions({ 5, 0, 15, 0 }));
        client.request(CMD_GET_INFO);
        client.request(CMD_START_STREAM);
        client.request(CMD_KEY_FRAME);
        client.requestU32(CMD_PTZ, kPtzPanLeft);
        EXPECT_TRUE(client.collect(500ms).empty());
        EXPECT_EQ(f.station.count(station_msg::kPtzCommand), 0);
    }

    client.request(CMD_PASSWORD, bytesOf("Secret"));
    EXPECT_EQ(parseU32(client.nextOf(MSG_PASSWORD_RESULT)->payload), 1u);
    client.request(CMD_SET_OPTIONS, encodeStreamOptions({ 5, 0, 15, 0 }));
    EXPECT_EQ(client.next()->code, MSG_OPTIONS_OK);
    client.requestU32(CMD_PTZ, kPtzPanLeft);
    client.request(CMD_START_STREAM);
    EXPECT_TRUE(client.nextOf(MSG_KEY_FRAME));
    ASSERT_EQ(f.station.count(station_msg::kPtzCommand), 1);
    for (const auto& p : f.station.posted) {
        if (p.msg == station_msg::kPtzCommand) {
            EXPECT_EQ(p.wParam, kPtzPanLeft); // camera 0 in the high half
        }
    }
}

TEST(StreamServer, UnavailableCameras)
{
    ServerFixture f({ 1 }); // only camera 2 is offered
    TestClient client(f.port);
    ASSERT_EQ(client.next()->code, MSG_HELLO);
    // Camera 0 implied by the password question is not offered: told before the answer.
    client.request(CMD_ASK_PASSWORD);
    EXPECT_EQ(client.next()->code, MSG_CAMERA_UNAVAILABLE);
    EXPECT_EQ(client.next()->code, MSG_PASSWORD_NEEDED);
    for (uint32_t number : { 0u, 2u, 4u, 0xFFFFFFFFu }) {
        client.requestU32(CMD_SELECT_CAMERA, number);
        EXPECT_EQ(client.next()->code, MSG_CAMERA_UNAVAILABLE) << number;
    }
    EXPECT_EQ(f.station.count(station_msg::kWantsCamera), 0);
    client.requestU32(CMD_SELECT_CAMERA, 1);
    EXPECT_EQ(client.next()->code, MSG_CAMERA_OK);
    EXPECT_EQ(f.station.count(station_msg::kWantsCamera), 1);

    // The station withdraws the camera: its viewers are let go.
    f.server.stationMessage(station_msg::kCameraOffered, 0, 1 << 16);
    EXPECT_TRUE(client.closedWithin(2s));
    EXPECT_TRUE(waitFor([&] { return f.station.count(station_msg::kReleasesCamera) >= 1; }));
}

TEST(StreamServer, ConnectionLimitOne)
{
    ServerFixture f({ 0 }, 320, 240, 1);
    TestClient first(f.port);
    ASSERT_EQ(first.next()->code, MSG_HELLO);
    TestClient second(f.port);
    EXPECT_TRUE(second.closedWithin(2s));
    first.requestU32(CMD_SELECT_CAMERA, 0);
    EXPECT_EQ(first.next()->code, MSG_CAMERA_OK);
    EXPECT_EQ(f.server.connectionCount(), 1);
    EXPECT_EQ(f.station.reports.size(), 1u);
}

TEST(StreamServer, ViewerThatLeavesFreesItsSlotAndTheCamera)
{
    ServerFixture f;
    {
        TestClient a(f.port);
        TestClient b(f.port);
        ASSERT_EQ(a.next()->code, MSG_HELLO);
        ASSERT_EQ(b.next()->code, MSG_HELLO);
        a.requestU32(CMD_SELECT_CAMERA, 0);
        ASSERT_EQ(a.next()->code, MSG_CAMERA_OK);
        ASSERT_TRUE(waitFor([&] { return f.server.connectionRows().size() == 2; }));
        EXPECT_EQ(f.server.connectionRows()[0].camera, 0);
    }
    EXPECT_TRUE(waitFor([&] { return f.server.connectionCount() == 0; }));
    EXPECT_EQ(f.station.count(station_msg::kReleasesCamera), 1);
}

TEST(StreamServer, EventNoticesAndEventOnlyTicks)
{
    ServerFixture f;
    TestCamera camera(f.station.writer(0), kQvgaI420);
    TestClient client(f.port);
    // Event-only at 4 frames a second: idle ticks once a period, no frames.
    ASSERT_TRUE(client.handshake(0, { 5, 0, 4, 0 }, true));
    const auto idle = client.collect(1100ms);
    int ticks = 0;
    for (const auto& m : idle) {
        EXPECT_EQ(m.code, MSG_IDLE);
        ticks += m.code == MSG_IDLE ? 1 : 0;
    }
    EXPECT_GE(ticks, 3);
    EXPECT_LE(ticks, 6);

    // The event begins: told once, then frames.
    f.server.stationMessage(station_msg::kEventState, 1, 0);
    auto on = client.nextOf(MSG_EVENT_ON);
    ASSERT_TRUE(on);
    // Off and on again before the pump's next cycle: the viewer stays told "on" and hears
    // nothing more about it.
    f.server.stationMessage(station_msg::kEventState, 0, 0);
    f.server.stationMessage(station_msg::kEventState, 1, 0);
    const auto during = client.collect(800ms);
    int frames = 0;
    for (const auto& m : during) {
        EXPECT_NE(m.code, MSG_EVENT_OFF);
        EXPECT_NE(m.code, MSG_EVENT_ON);
        EXPECT_NE(m.code, MSG_IDLE);
        frames += (m.code == MSG_KEY_FRAME || m.code == MSG_DELTA_FRAME) ? 1 : 0;
    }
    EXPECT_GE(frames, 1);

    f.server.stationMessage(station_msg::kEventState, 0, 0);
    EXPECT_TRUE(client.nextOf(MSG_EVENT_OFF));
    EXPECT_TRUE(client.nextOf(MSG_IDLE));
}

TEST(EventNotice, ChangesBeforeThePumpRuns)
{
    EventNotice notice;
    notice.streamStarted(true, 10);
    EXPECT_EQ(notice.pendingCode, MSG_EVENT_ON);
    notice.eventChanged(false, 11); // withdrawn: the viewer never heard "on"
    EXPECT_EQ(notice.pendingCode, 0u);
    notice.eventChanged(true, 12);
    EXPECT_EQ(notice.pendingCode, MSG_EVENT_ON);
    EXPECT_EQ(notice.pendingTime, 12u);
    notice.sent();
    EXPECT_TRUE(notice.toldOn);
    notice.eventChanged(false, 13);
    notice.eventChanged(true, 14);
    EXPECT_EQ(notice.pendingCode, 0u);
    EXPECT_TRUE(notice.toldOn);
}

TEST(StreamServer, FormatThatTheEncoderCannotTakeLeavesOptionsUnanswered)
{
    ServerFixture f({ 0 }, 360, 288);
    TestClient client(f.port);
    ASSERT_EQ(client.next()->code, MSG_HELLO);
    client.requestU32(CMD_SELECT_CAMERA, 0);
    ASSERT_EQ(client.next()->code, MSG_CAMERA_OK);
    client.request(CMD_SET_OPTIONS, encodeStreamOptions({ 5, 0, 15, 0 }));
    client.request(CMD_START_STREAM);
    EXPECT_TRUE(client.collect(500ms).empty());
    client.request(CMD_GET_INFO); // still answered, without a format
    EXPECT_EQ(client.next()->code, MSG_SITE_NAME);
}

TEST(StreamServer, OptionsBeforeAnyFormatAreUnanswered)
{
    ServerFixture f({ 0 });
    f.server.reader(0); // camera 1 is offered with a format; camera 2 gets none
    f.server.stationMessage(station_msg::kCameraOffered, 1, 1 << 16);
    TestClient client(f.port);
    ASSERT_EQ(client.next()->code, MSG_HELLO);
    client.requestU32(CMD_SELECT_CAMERA, 1);
    ASSERT_EQ(client.next()->code, MSG_CAMERA_OK);
    client.request(CMD_SET_OPTIONS, encodeStreamOptions({ 5, 0, 15, 0 }));
    EXPECT_TRUE(client.collect(300ms).empty());
}

TEST(StreamServer, HalfSizeStreamsTheHalvedPicture)
{
    ServerFixture f({ 0 }, 640, 480);
    TestCamera camera(f.station.writer(0), 640 * 480 * 3 / 2);
    TestClient client(f.port);
    ASSERT_TRUE(client.handshake(0, { 5, 1, 15, 0 }));
    ASSERT_TRUE(client.videoFormat);
    EXPECT_EQ(client.videoFormat->width, 320);
    EXPECT_EQ(client.videoFormat->height, 240);
    EXPECT_TRUE(client.nextOf(MSG_KEY_FRAME));
}

TEST(StreamServer, StationAppearingLaterIsBoundWithinASecond)
{
    application();
    PrivateFolders folders;
    FakeStation station;
    station.present = false;
    StreamServer server(station, 99);
    station.server = &server;
    server.start();
    pumpEvents(300ms);
    EXPECT_FALSE(server.isBound());
    station.present = true;
    EXPECT_TRUE(waitFor([&] { return server.isBound(); }, 1500ms));
    ASSERT_EQ(station.count(station_msg::kRegisters), 1);
    EXPECT_EQ(station.posted[0].lParam, 99);
    // Messages for camera numbers above 3 are not handled.
    EXPECT_EQ(server.stationMessage(station_msg::kEnable, 1, 4 << 16), 0);
    EXPECT_FALSE(server.isEnabled());
    server.close();
    station.server = nullptr;
}

TEST(StreamServer, StationStartedAgainGetsTheServerBack)
{
    ServerFixture f;
    TestClient client(f.port);
    ASSERT_EQ(client.next()->code, MSG_HELLO);
    ASSERT_EQ(f.station.count(station_msg::kRegisters), 1);
    // The station crashed and a new one runs: the viewers go, the server registers anew and
    // listens again once the new station says so.
    f.station.window = 5151;
    EXPECT_TRUE(client.closedWithin(3s));
    EXPECT_TRUE(waitFor([&] { return f.station.count(station_msg::kRegisters) == 2; }, 3s));
    EXPECT_FALSE(f.server.isListening());
    f.station.configure(f.port, { 0 });
    TestClient again(f.port);
    EXPECT_EQ(again.next()->code, MSG_HELLO);
}

TEST(StreamServer, PortInUseIsReportedInTheLog)
{
    application();
    PrivateFolders folders;
    common::TextLog log;
    ASSERT_TRUE(log.Open(folders.data() + "/vyvserver.Log"));
    FakeStation station;
    StreamServer server(station, 99, &log);
    station.server = &server;
    server.start();
    const int blocker = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    ASSERT_EQ(::bind(blocker, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::listen(blocker, 1);
    socklen_t length = sizeof address;
    ::getsockname(blocker, reinterpret_cast<sockaddr*>(&address), &length);
    server.stationMessage(station_msg::kPort, ntohs(address.sin_port), 0);
    server.stationMessage(station_msg::kEnable, 1, 0);
    server.stationMessage(station_msg::kStartListening, 0, 0);
    EXPECT_FALSE(server.isListening());
    ::close(blocker);
    std::ifstream in(folders.data() + "/vyvserver.Log");
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("EADDRINUSE"), std::string::npos) << text;
    server.close();
    station.server = nullptr;
}

} // namespace
} // namespace vantry::server

namespace vantry::server {
namespace {

using namespace test;
using namespace std::chrono_literals;

TEST(StreamServer, GuessingPasswordsEndsTheConnection)
{
    ServerFixture f({ 1 }); // camera 0 is not offered: the password's implied choice says nothing
    f.station.sendPassword(1, "Secret");
    TestClient client(f.port);
    ASSERT_EQ(client.next()->code, MSG_HELLO);
    for (int attempt = 1; attempt <= 5; ++attempt) {
        client.request(CMD_PASSWORD, std::vector<uint8_t> { 'g', 'u', 'e', 's', static_cast<uint8_t>('0' + attempt) });
        auto result = client.next();
        ASSERT_TRUE(result) << attempt;
        EXPECT_EQ(result->code, MSG_PASSWORD_RESULT) << attempt;
        EXPECT_EQ(parseU32(result->payload), 0u);
    }
    EXPECT_TRUE(client.closedWithin(2s));
}

TEST(StreamServer, ANewPictureFormatLetsTheStreamingViewersGo)
{
    ServerFixture f;
    auto camera = std::make_unique<TestCamera>(f.station.writer(0), 320 * 240 * 3 / 2);
    TestClient client(f.port);
    ASSERT_TRUE(client.handshake(0, { 5, 0, 15, 0 }));
    ASSERT_TRUE(client.nextOf(MSG_KEY_FRAME));
    camera.reset();
    f.station.sendFormat(0, i420Header(352, 288), iyuvSubtype());
    EXPECT_TRUE(client.closedWithin(3s));
}

} // namespace
} // namespace vantry::server
