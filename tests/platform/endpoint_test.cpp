#include "child_protocol.h"
#include "platform/endpoint.h"
#include "platform/endpoint_frame.h"
#include "test_support.h"

#include <QThread>

#include <atomic>
#include <cstdio>
#include <map>
#include <random>
#include <sys/socket.h>
#include <sys/un.h>

namespace vantry::platform {
namespace {

namespace protocol = test::protocol;
using test::Child;
using test::waitUntil;

class EndpointTest : public test::PlatformTest {
protected:
    void SetUp() override
    {
        test::PlatformTest::SetUp();
        test::application();
    }

    // Starts the child endpoint and waits until it can be found.
    WindowHandle startPeer(Child& child, const char* className = "TestPeer")
    {
        static_cast<void>(child);
        WindowHandle handle = kNoWindow;
        EXPECT_TRUE(waitUntil([&] { return (handle = findWindow(className)) != kNoWindow; })) << className;
        return handle;
    }

    std::string socketFile(WindowHandle handle) const
    {
        char name[16] = {};
        std::snprintf(name, sizeof name, "ep-%08x", handle);
        return (runtimeDir() / name).string();
    }
};

TEST_F(EndpointTest, PostedMessagesArriveInOrderAndSentMessagesReturnTheResult)
{
    Child child({"endpoint", "TestPeer"});
    const WindowHandle peer = startPeer(child);
    ASSERT_NE(peer, kNoWindow);
    EXPECT_TRUE(isWindow(peer));

    constexpr std::uint32_t kCount = 1000;
    for (std::uint32_t i = 0; i < kCount; ++i)
        ASSERT_TRUE(postMessage(peer, protocol::kNumbered, i, 0)) << i;
    // A sent message may overtake posts still on their way, so ask until all have arrived.
    std::int32_t inOrder = 0;
    EXPECT_TRUE(waitUntil([&] {
        return sendMessage(peer, protocol::kCountInOrder, 0, 0, 2000, &inOrder) && (inOrder < 0 || inOrder == kCount);
    }));
    EXPECT_EQ(inOrder, static_cast<std::int32_t>(kCount));

    std::int32_t sum = 0;
    ASSERT_TRUE(sendMessage(peer, protocol::kAdd, 40, -2, 2000, &sum));
    EXPECT_EQ(sum, 38);

    ASSERT_TRUE(postMessage(peer, kMsgClose, 0, 0));
    EXPECT_EQ(child.wait(), 0);
    EXPECT_EQ(findWindow("TestPeer"), kNoWindow);
}

TEST_F(EndpointTest, MessagesFromAnotherProgramReachTheHandlerOnTheMainThreadInOrder)
{
    std::vector<std::uint32_t> numbers;
    bool ended = false;
    bool offMainThread = false;
    WindowHandle sender = kNoWindow;
    auto host = Endpoint::create("TestHost", "", [&](const Message& message) -> std::int32_t {
        offMainThread |= QThread::currentThread() != test::application().thread();
        if (message.msg == protocol::kNumbered) {
            numbers.push_back(message.wParam);
            sender = message.sender;
        }
        ended |= message.msg == protocol::kEnd;
        return 0;
    });
    ASSERT_TRUE(host);
    Child child({"endpoint", "TestPeer"});
    const WindowHandle peer = startPeer(child);
    ASSERT_NE(peer, kNoWindow);

    ASSERT_TRUE(postMessage(peer, protocol::kPostBack, 1000, 0));
    ASSERT_TRUE(waitUntil([&] { return ended; }));
    ASSERT_EQ(numbers.size(), 1000u);
    for (std::uint32_t i = 0; i < numbers.size(); ++i)
        ASSERT_EQ(numbers[i], i);
    EXPECT_EQ(sender, peer);
    EXPECT_FALSE(offMainThread);
}

TEST_F(EndpointTest, CopyDataOfOneMegabyteArrivesWhole)
{
    Child child({"endpoint", "TestPeer"});
    const WindowHandle peer = startPeer(child);
    ASSERT_NE(peer, kNoWindow);
    std::vector<std::uint8_t> bytes(1024 * 1024);
    std::mt19937 random(7);
    for (auto& byte : bytes)
        byte = static_cast<std::uint8_t>(random());
    constexpr std::uint32_t kDataType = 0x10000004;

    std::int32_t answer = 0;
    ASSERT_TRUE(sendCopyData(peer, kDataType, bytes, 5000, &answer));
    EXPECT_EQ(static_cast<std::uint32_t>(answer), protocol::checksum(bytes) ^ kDataType);

    // Empty data is a valid copy-data; more than the bound is refused before sending.
    ASSERT_TRUE(sendCopyData(peer, 1, {}, 2000, &answer));
    EXPECT_EQ(static_cast<std::uint32_t>(answer), protocol::checksum({}) ^ 1u);
    EXPECT_FALSE(sendCopyData(peer, 1, std::vector<std::uint8_t>(wire::kMaxCopyDataBytes + 1), 2000, &answer));
}

TEST_F(EndpointTest, TwoProgramsSendingToEachOtherDoNotDeadlock)
{
    auto host = Endpoint::create("TestHost", "", [](const Message& message) -> std::int32_t {
        return message.msg == protocol::kDouble ? static_cast<std::int32_t>(message.wParam) * 2 : 0;
    });
    ASSERT_TRUE(host);
    Child child({"endpoint", "TestPeer"});
    const WindowHandle peer = startPeer(child);
    ASSERT_NE(peer, kNoWindow);

    // The peer answers by sending to us while we wait for it.
    std::int32_t answer = 0;
    ASSERT_TRUE(sendMessage(peer, protocol::kAskBack, 21, 0, 4000, &answer));
    EXPECT_EQ(answer, 43);
}

TEST_F(EndpointTest, SendingToABusyProgramGivesUpAfterTheTimeout)
{
    Child child({"endpoint", "TestPeer"});
    const WindowHandle peer = startPeer(child);
    ASSERT_NE(peer, kNoWindow);

    const auto start = std::chrono::steady_clock::now();
    std::int32_t answer = 7;
    EXPECT_FALSE(sendMessage(peer, protocol::kStall, 1500, 0, 200, &answer));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1200));
    EXPECT_EQ(answer, 7) << "no result on timeout";
    // The receiver goes on once its handler returns.
    std::int32_t sum = 0;
    ASSERT_TRUE(sendMessage(peer, protocol::kAdd, 2, 2, 5000, &sum));
    EXPECT_EQ(sum, 4);
}

TEST_F(EndpointTest, AProgramKilledHardIsFoundAsNone)
{
    Child child({"endpoint", "TestPeer"});
    const WindowHandle peer = startPeer(child);
    ASSERT_NE(peer, kNoWindow);
    ASSERT_TRUE(postMessage(peer, protocol::kNumbered, 0, 0)); // leaves a cached connection behind

    child.killHard();
    EXPECT_FALSE(isWindow(peer));
    EXPECT_EQ(findWindow("TestPeer"), kNoWindow);
    EXPECT_FALSE(postMessage(peer, protocol::kNumbered, 1, 0));
    EXPECT_FALSE(sendMessage(peer, protocol::kAdd, 1, 1, 500));
    // Its marker and socket are cleaned up by the lookup.
    for (const auto& entry : std::filesystem::directory_iterator(runtimeDir()))
        EXPECT_EQ(entry.path().filename().string().find("TestPeer"), std::string::npos) << entry.path();
    EXPECT_FALSE(std::filesystem::exists(socketFile(peer)));

    // A new program of that class is found again.
    Child second({"endpoint", "TestPeer"});
    const WindowHandle again = startPeer(second);
    EXPECT_NE(again, kNoWindow);
    EXPECT_NE(again, peer);
}

TEST_F(EndpointTest, GarbageFromAStrayClientDropsOnlyThatConnection)
{
    Child child({"endpoint", "TestPeer"});
    const WindowHandle peer = startPeer(child);
    ASSERT_NE(peer, kNoWindow);

    const std::string path = socketFile(peer);
    const std::vector<std::vector<std::uint8_t>> attacks = {
        {'G', 'E', 'T', ' ', '/', '\r', '\n'},
        [] { // a copy-data header that claims 4 GiB
            wire::Frame frame;
            frame.kind = wire::FrameKind::CopyData;
            frame.msg = kMsgCopyData;
            auto bytes = wire::encodeFrame(frame);
            bytes[28] = bytes[29] = bytes[30] = bytes[31] = 0xFF;
            return bytes;
        }(),
        [] { // a reply, which no endpoint accepts
            wire::Frame frame;
            frame.kind = wire::FrameKind::Reply;
            return wire::encodeFrame(frame);
        }(),
    };
    for (const auto& attack : attacks) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ASSERT_GE(fd, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ASSERT_EQ(::send(fd, attack.data(), attack.size(), MSG_NOSIGNAL), static_cast<ssize_t>(attack.size()));
        timeval timeout{3, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        char byte = 0;
        EXPECT_EQ(::recv(fd, &byte, 1, 0), 0) << "the endpoint closes a connection that sends garbage";
        ::close(fd);
    }
    std::int32_t sum = 0;
    ASSERT_TRUE(sendMessage(peer, protocol::kAdd, 1, 2, 2000, &sum));
    EXPECT_EQ(sum, 3);
}

TEST_F(EndpointTest, PostsFromWorkerThreadsMeetEndpointMessagesInOneHandler)
{
    std::map<std::uint32_t, std::vector<std::int32_t>> byThread;
    std::atomic<bool> offMainThread{false};
    auto endpoint = Endpoint::create("TestHost", "", [&](const Message& message) -> std::int32_t {
        if (QThread::currentThread() != test::application().thread())
            offMainThread = true;
        if (message.msg == protocol::kNumbered)
            byThread[message.wParam].push_back(message.lParam);
        return message.msg == protocol::kAdd ? static_cast<std::int32_t>(message.wParam) + message.lParam : 0;
    });
    ASSERT_TRUE(endpoint);

    std::vector<std::thread> workers;
    std::atomic<int> sendsAnswered{0};
    for (std::uint32_t t = 0; t < 4; ++t) {
        workers.emplace_back([&, t] {
            for (std::int32_t i = 0; i < 250; ++i)
                endpoint->postLocal(protocol::kNumbered, t, i);
            // A worker sending to its own program waits for the main thread's handler.
            std::int32_t sum = 0;
            if (sendMessage(endpoint->handle(), protocol::kAdd, t, 100, 4000, &sum) && sum == static_cast<std::int32_t>(t) + 100)
                ++sendsAnswered;
        });
    }
    EXPECT_TRUE(waitUntil([&] { return sendsAnswered.load() == 4; }));
    for (auto& worker : workers)
        worker.join();
    waitUntil([&] { return byThread.size() == 4 && byThread[3].size() == 250; }, 1000);
    ASSERT_EQ(byThread.size(), 4u);
    for (const auto& [thread, values] : byThread) {
        ASSERT_EQ(values.size(), 250u) << thread;
        for (std::int32_t i = 0; i < 250; ++i)
            ASSERT_EQ(values[static_cast<std::size_t>(i)], i);
    }
    EXPECT_FALSE(offMainThread.load());

    // From the main thread, a message sent to the own endpoint runs the handler at once.
    std::int32_t direct = 0;
    ASSERT_TRUE(sendMessage(endpoint->handle(), protocol::kAdd, 2, 3, 1000, &direct));
    EXPECT_EQ(direct, 5);
}

TEST_F(EndpointTest, FoundByClassAndTitleAndGoneWhenDestroyed)
{
    auto handler = [](const Message&) -> std::int32_t { return 0; };
    auto gateway = Endpoint::create("GatewayWindow", "Gateray", handler);
    ASSERT_TRUE(gateway);
    EXPECT_EQ(findWindow("GatewayWindow"), gateway->handle());
    EXPECT_EQ(findWindowByTitle("Gateray"), gateway->handle());
    EXPECT_EQ(findWindowByTitle("gateray"), kNoWindow);

    ASSERT_TRUE(gateway->setTitle("Site - Camera 1"));
    EXPECT_EQ(findWindowByTitle("Gateray"), kNoWindow);
    EXPECT_EQ(findWindowByTitle("Site - Camera 1"), gateway->handle());

    std::string error;
    for (const char* bad : {"", "VY/Watch", "..", "a b"})
        EXPECT_FALSE(Endpoint::create(bad, "", handler, &error)) << bad;
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(findWindow("../x"), kNoWindow);
    EXPECT_FALSE(postMessage(kNoWindow, 1, 0, 0));
    EXPECT_FALSE(postMessage(0x80000000u, 1, 0, 0));

    const WindowHandle old = gateway->handle();
    gateway.reset();
    EXPECT_EQ(findWindow("GatewayWindow"), kNoWindow);
    EXPECT_FALSE(isWindow(old));
    EXPECT_TRUE(std::filesystem::is_empty(runtimeDir()));
}

TEST(EndpointWithoutApplication, CannotBeCreatedOffTheMainThread)
{
    test::application();
    std::unique_ptr<Endpoint> endpoint;
    std::string error;
    std::thread([&] { endpoint = Endpoint::create("TestHost", "", nullptr, &error); }).join();
    EXPECT_FALSE(endpoint);
    EXPECT_FALSE(error.empty());
}

} // namespace
} // namespace vantry::platform
