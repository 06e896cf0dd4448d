// The viewer session on Qt's event loop: reconnection after the server closes, camera
// switching with the stored password, the lock, and the player's messages through the
// viewer's endpoint.
#include "viewer_test_support.h"

#include "platform/endpoint.h"
#include "record_fixtures.h"
#include "viewer/viewer_session.h"

#include <QCoreApplication>

#include <cstdlib>
#include <ctime>
#include <filesystem>

namespace vantry::viewer {
namespace {

using namespace test;
using namespace server;
using vantry::test::TempFolder;

QCoreApplication& application()
{
    static int argc = 1;
    static char name[] = "viewer_session_test";
    static char* argv[] = { name, nullptr };
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    return *app;
}

template <class Predicate>
bool spinUntil(Predicate predicate, std::chrono::milliseconds limit = 5000ms)
{
    return waitFor(
        [&] {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            return predicate();
        },
        limit);
}

// Runs the event loop while the scripted server waits for a request.
std::optional<Request> nextWhileSpinning(ScriptedServer& server, std::chrono::milliseconds limit = 5000ms)
{
    std::optional<Request> request;
    std::atomic<bool> done { false };
    std::thread reader([&] {
        request = server.next(limit);
        done = true;
    });
    spinUntil([&] { return done.load(); }, limit + 500ms);
    reader.join();
    return request;
}

class ViewerSessionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        application();
        ::setenv("VANTRY_DATA_DIR", data.path().c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
        session = std::make_unique<ViewerSession>(ViewerPaths { program.path(), data.path() });
        session->start();
        session->settings().port = server.port();
        session->setPasswordPrompt([this] {
            ++passwordPrompts;
            return std::optional<std::string>("pass");
        });
        session->setMessageSink([this](const std::string& text) { messages.push_back(text); });
    }
    void TearDown() override
    {
        session->shutdown();
        session.reset();
    }

    // Runs the exchange with a password and returns when the stream was requested.
    void passwordHandshake(int camera)
    {
        auto expect = [&](uint32_t code, std::optional<uint32_t> value = std::nullopt) {
            const auto request = nextWhileSpinning(server);
            ASSERT_TRUE(request) << requestName(code);
            ASSERT_EQ(request->code, code) << requestName(request->code);
            if (value) {
                ASSERT_EQ(request->payload.size(), 4u);
                EXPECT_EQ(getU32(request->payload.data()), *value);
            }
        };
        expect(CMD_EVENT_ONLY_QUIET);
        server.sendU32(MSG_HELLO, 0);
        expect(CMD_SELECT_CAMERA, static_cast<uint32_t>(camera));
        server.send(MSG_CAMERA_OK);
        expect(CMD_ASK_PASSWORD);
        server.sendU32(MSG_PASSWORD_NEEDED, 1);
        const auto password = nextWhileSpinning(server);
        ASSERT_TRUE(password && password->code == CMD_PASSWORD);
        EXPECT_EQ(std::string(password->payload.begin(), password->payload.end()), "pass");
        server.sendU32(MSG_PASSWORD_RESULT, 1);
        expect(CMD_SET_OPTIONS);
        server.send(MSG_OPTIONS_OK);
        expect(CMD_EVENT_ONLY);
        server.send(MSG_EVENT_ONLY_OK);
        expect(CMD_GET_INFO);
        server.send(MSG_VIDEO_FORMAT, encodeVideoFormat(makeVx01Format(176, 144)));
        server.sendText(MSG_SITE_NAME, "Harbour");
        server.sendText(MSG_CAMERA_NAME, "Camera " + std::to_string(camera + 1));
        expect(CMD_START_STREAM);
    }

    TempFolder program;
    TempFolder data;
    TempFolder runtime;
    ScriptedServer server;
    std::unique_ptr<ViewerSession> session;
    int passwordPrompts = 0;
    std::vector<std::string> messages;
};

TEST_F(ViewerSessionTest, ServerThatClosesIsReconnectedEveryFiveSeconds)
{
    ASSERT_EQ(session->connectTo("127.0.0.1", server.port(), 0), 1);
    ASSERT_TRUE(server.accept());
    passwordHandshake(0);
    EXPECT_TRUE(spinUntil([&] { return session->windowTitle() == "Harbour - Camera 1"; }));
    EXPECT_EQ(passwordPrompts, 1);

    // The server goes away and is back at once: the viewer returns after five seconds.
    const auto closed = std::chrono::steady_clock::now();
    server.closeClient();
    ASSERT_TRUE(spinUntil([&] { return session->reconnecting(); }));
    EXPECT_EQ(session->windowTitle(), "Varore 2 Zeredo");
    std::atomic<bool> accepted { false };
    std::thread acceptor([&] { accepted = server.accept(8000ms); });
    spinUntil([&] { return accepted.load(); }, 8000ms);
    acceptor.join();
    ASSERT_TRUE(accepted);
    const auto waited = std::chrono::steady_clock::now() - closed;
    EXPECT_GE(waited, 4900ms);
    EXPECT_LE(waited, 7000ms);
    // A reconnection that was not a camera switch asks for the password again.
    passwordHandshake(0);
    EXPECT_EQ(passwordPrompts, 2);

    // The user's disconnect ends reconnection for good.
    session->disconnectCommand();
    EXPECT_FALSE(session->reconnecting());
    EXPECT_FALSE(server.accept(300ms));
}

TEST_F(ViewerSessionTest, ReconnectionKeepsTryingWhileTheServerIsAway)
{
    session->setReconnectIntervalMs(200);
    ASSERT_EQ(session->connectTo("127.0.0.1", server.port(), 0), 1);
    ASSERT_TRUE(server.accept());
    const uint16_t port = server.port();
    server.closeClient();
    server.stopListening();
    ASSERT_TRUE(spinUntil([&] { return session->reconnecting(); }));
    // Several failed attempts later it is still trying.
    spinUntil([&] { return false; }, 1000ms);
    EXPECT_TRUE(session->reconnecting());
    EXPECT_FALSE(session->link().connected());
    EXPECT_EQ(session->link().port(), port);
}

TEST_F(ViewerSessionTest, RecordingSurvivesAServerRestart)
{
    session->setReconnectIntervalMs(200);
    session->setPasswordPrompt([] { return std::optional<std::string>("pass"); });
    session->setRecordAllowed(true);
    const auto pictures = encodePictures(176, 144, 6, 3);
    const auto now = static_cast<uint32_t>(std::time(nullptr));
    auto stream = [&](uint32_t start) {
        for (size_t i = 0; i < pictures.size(); ++i)
            server.send(pictures[i].key ? MSG_KEY_FRAME : MSG_DELTA_FRAME, pictures[i].bytes, start + static_cast<uint32_t>(i));
    };
    ASSERT_EQ(session->connectTo("127.0.0.1", server.port(), 0), 1);
    ASSERT_TRUE(server.accept());
    passwordHandshake(0);
    stream(now);
    ASSERT_TRUE(spinUntil([&] { return session->statusIcon(kIconRecord) == 1 && session->link().framesDecoded() == 6; }));

    // The server goes away: the file closes and is indexed; the viewer comes back and records on.
    server.closeClient();
    ASSERT_TRUE(spinUntil([&] { return session->statusIcon(kIconRecord) == 0; }));
    EXPECT_EQ(session->link().recorder().indexedRecords(), 1u);
    std::atomic<bool> accepted { false };
    std::thread acceptor([&] { accepted = server.accept(5000ms); });
    spinUntil([&] { return accepted.load(); });
    acceptor.join();
    ASSERT_TRUE(accepted);
    passwordHandshake(0);
    stream(now + 10);
    ASSERT_TRUE(spinUntil([&] { return session->link().framesDecoded() == 12 && session->statusIcon(kIconRecord) == 1; }));
    session->disconnectCommand();
    EXPECT_EQ(session->link().recorder().indexedRecords(), 2u);
    EXPECT_TRUE(session->recordAllowed()) << "the Record button outlives the connection";
}

TEST_F(ViewerSessionTest, StartBeforeTheServerKeepsTrying)
{
    session->setReconnectIntervalMs(200);
    const uint16_t port = server.port();
    server.closeClient();
    server.stopListening();
    EXPECT_EQ(session->connectTo("127.0.0.1", port, 1), 0);
    session->retryLater();
    spinUntil([] { return false; }, 500ms);
    ScriptedServer late(port);
    std::atomic<bool> accepted { false };
    std::thread acceptor([&] { accepted = late.accept(5000ms); });
    spinUntil([&] { return accepted.load(); });
    acceptor.join();
    ASSERT_TRUE(accepted);
    EXPECT_TRUE(spinUntil([&] { return session->link().connected(); }));
    EXPECT_EQ(session->link().camera(), 1);
}

TEST_F(ViewerSessionTest, CameraSwitchReusesThePasswordWithoutAsking)
{
    ASSERT_EQ(session->connectTo("127.0.0.1", server.port(), 0), 1);
    ASSERT_TRUE(server.accept());
    passwordHandshake(0);
    ASSERT_TRUE(spinUntil([&] { return session->markedCamera() == 0; }));

    // Switching to the camera already shown changes nothing.
    EXPECT_EQ(session->switchCamera(0), 1);
    EXPECT_TRUE(session->link().connected());

    std::thread acceptor([&] { server.accept(); });
    EXPECT_EQ(session->switchCamera(2), 1);
    acceptor.join();
    session->setPasswordPrompt([] { return std::optional<std::string>(); });
    passwordHandshake(2);
    EXPECT_TRUE(spinUntil([&] { return session->markedCamera() == 2; }));
    EXPECT_EQ(passwordPrompts, 1);
    EXPECT_TRUE(session->cameraButtonsShown());

    // A switch that cannot connect says so.
    server.closeClient();
    server.stopListening();
    spinUntil([&] { return !session->link().connected(); });
    EXPECT_EQ(session->switchCamera(1), 0);
    EXPECT_EQ(messages.back(), "Cannot connect to Vantry.");
}

TEST_F(ViewerSessionTest, LockNeedsTheRightPassword)
{
    session->settings().hasMask = 1;
    session->settings().lockPassword = "guard";
    session->lock();
    EXPECT_TRUE(session->locked());
    EXPECT_FALSE(session->showVideo());
    EXPECT_FALSE(session->unlock("Guard"));
    EXPECT_FALSE(session->unlock(""));
    EXPECT_TRUE(session->unlock("guard"));
    EXPECT_TRUE(session->showVideo());
    // Without a lock password there is nothing to lock.
    session->settings().hasMask = 0;
    session->lock();
    EXPECT_FALSE(session->locked());
}

TEST_F(ViewerSessionTest, PlayerSaveRequestIsAnsweredThroughTheEndpoints)
{
    std::vector<platform::Message> received;
    auto player = platform::Endpoint::create("VYPlayer", "", [&](const platform::Message& message) {
        received.push_back(message);
        return 0;
    });
    ASSERT_TRUE(player);
    auto viewer = platform::Endpoint::create("VYRemote", "", [&](const platform::Message& message) {
        return session->handlePlayerMessage(message.msg, message.wParam);
    });
    ASSERT_TRUE(viewer);
    ASSERT_TRUE(platform::postMessage(platform::findWindow("VYRemote"), kMsgSaveIndex, 0, 0));
    ASSERT_TRUE(spinUntil([&] { return !received.empty(); }));
    EXPECT_EQ(received.front().msg, kMsgIndexSaved);
    EXPECT_TRUE(std::filesystem::exists(session->settings().storagePath + "/rdb.ndx"));
}

} // namespace
} // namespace vantry::viewer
