// End to end: the headless demo station starts the stream server, which serves camera 1 to a
// viewer written here; ffmpeg decodes what arrived, and the demo's motion reaches the viewer
// as an event.
#include "server_test_support.h"

#include "common/log_texts.h"
#include "platform/endpoint.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace vantry::server {
namespace {

using namespace test;
using namespace std::chrono_literals;

const std::string kBin = VANTRY_TEST_BIN_DIR;

class Process {
public:
    explicit Process(std::vector<std::string> arguments)
    {
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        if (::posix_spawn(&pid_, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
    }
    ~Process()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            wait(5s);
        }
    }
    pid_t pid() const { return pid_; }
    // The exit status, or -1 when it did not end in time.
    int wait(std::chrono::milliseconds limit)
    {
        int status = -1;
        waitFor([&] {
            int s = 0;
            if (::waitpid(pid_, &s, WNOHANG) == pid_) {
                status = WIFEXITED(s) ? WEXITSTATUS(s) : 128 + WTERMSIG(s);
                return true;
            }
            return false;
        }, limit);
        if (status >= 0)
            pid_ = -1;
        return status;
    }

private:
    pid_t pid_ = -1;
};

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool hasConnectionEntry(const std::string& logPath)
{
    const std::string bytes = readFile(logPath);
    return bytes.find("Remote program requested a remote viewing at the IP address  127.0.0.1:") != std::string::npos;
}

// Decodes a raw H.263 stream with ffmpeg; the number of pictures, or -1 when ffmpeg failed.
int decodedPictures(const std::string& stream, int width, int height, const std::string& folder)
{
    const std::string out = folder + "/decoded.yuv";
    const std::string command = "ffmpeg -nostdin -v error -f h263 -i '" + stream + "' -f rawvideo -pix_fmt yuv420p -y '" + out
        + "' 2>'" + folder + "/ffmpeg.err'";
    if (std::system(command.c_str()) != 0)
        return -1;
    const size_t bytes = readFile(out).size();
    return static_cast<int>(bytes / (static_cast<size_t>(width) * static_cast<size_t>(height) * 3 / 2));
}

// The stream server started for this test's runtime folder (there may be others on the box).
pid_t serverProcess(const std::string& runtimeFolder)
{
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const std::string command = readFile(entry.path().string() + "/cmdline");
        if (command.find("/vyvserver") == std::string::npos)
            continue;
        const std::string environment = readFile(entry.path().string() + "/environ");
        if (environment.find("XDG_RUNTIME_DIR=" + runtimeFolder + '\0') != std::string::npos)
            return static_cast<pid_t>(std::stol(name));
    }
    return -1;
}

TEST(StationStream, DemoStationServesCameraOneToAViewer)
{
    application();
    PrivateFolders folders;
    const uint16_t port = freePort();
    std::ofstream(folders.data() + "/vantry.ini")
        << "[VideoServer]\nfEnable=1\nnTCPPort=" << port << "\n[State_ch01]\nfEnableMotionDetection=1\n[Log]\nfCountInRemoteConnections=1\n";

    Process station({ kBin + "/vantry", "--headless", "--demo" });
    ASSERT_GT(station.pid(), 0);

    // The station starts the server, the server registers, the station lets it listen.
    std::unique_ptr<TestClient> client;
    const bool connected = waitFor([&] {
        client = std::make_unique<TestClient>(port);
        if (client->connected())
            return true;
        std::this_thread::sleep_for(100ms);
        return false;
    }, 30s);
    ASSERT_TRUE(connected) << readFile(folders.data() + "/vantry.log") << readFile(folders.data() + "/vyvserver.Log");

    const int rate = 5;
    ASSERT_TRUE(client->handshake(0, { 5, 0, static_cast<uint32_t>(rate), 0 }))
        << readFile(folders.data() + "/vyvserver.Log");
    ASSERT_TRUE(client->videoFormat);
    const int width = client->videoFormat->width;
    const int height = client->videoFormat->height;
    EXPECT_GT(width, 0);

    // Frames of camera 1 at the requested rate, the first one a key frame.
    const std::string streamPath = folders.root() + "/received.h263";
    std::ofstream stream(streamPath, std::ios::binary);
    int keys = 0, deltas = 0;
    bool sawEventOn = false;
    const auto start = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point firstFrame {}, lastFrame {};
    while (std::chrono::steady_clock::now() - start < 4s) {
        auto message = client->next(2s);
        ASSERT_TRUE(message) << "the stream stopped";
        if (message->code == MSG_EVENT_ON)
            sawEventOn = true;
        if (message->code != MSG_KEY_FRAME && message->code != MSG_DELTA_FRAME)
            continue;
        if (keys + deltas == 0) {
            EXPECT_EQ(message->code, MSG_KEY_FRAME);
            firstFrame = std::chrono::steady_clock::now();
        }
        lastFrame = std::chrono::steady_clock::now();
        (message->code == MSG_KEY_FRAME ? keys : deltas) += 1;
        stream.write(reinterpret_cast<const char*>(message->payload.data()), static_cast<std::streamsize>(message->payload.size()));
    }
    stream.close();
    const int frames = keys + deltas;
    const double seconds = std::chrono::duration<double>(lastFrame - firstFrame).count();
    ASSERT_GT(frames, 3);
    EXPECT_GE(keys, 1);
    EXPECT_GE(deltas, 1);
    const double measured = (frames - 1) / seconds;
    EXPECT_NEAR(measured, rate, 1.0) << frames << " frames in " << seconds << " s";
    EXPECT_EQ(decodedPictures(streamPath, width, height, folders.root()), frames) << readFile(folders.root() + "/ffmpeg.err");

    // The demo picture moves: detection on camera 1 starts an event, which the viewer hears.
    if (!sawEventOn)
        sawEventOn = client->nextOf(MSG_EVENT_ON, 40s).has_value();
    EXPECT_TRUE(sawEventOn) << readFile(folders.data() + "/vantry.log");
    EXPECT_TRUE(hasConnectionEntry(folders.data() + "/Log.Dat"));

    // A server that dies is started again by the station, and viewers get back in.
    const pid_t server = serverProcess(folders.root() + "/run");
    ASSERT_GT(server, 0);
    ::kill(server, SIGKILL);
    EXPECT_TRUE(client->closedWithin(5s));
    const bool back = waitFor([&] {
        client = std::make_unique<TestClient>(port);
        if (client->connected()) {
            auto hello = client->next(1s);
            if (hello && hello->code == MSG_HELLO)
                return true;
        }
        std::this_thread::sleep_for(200ms);
        return false;
    }, 20s);
    EXPECT_TRUE(back) << readFile(folders.data() + "/vantry.log");
    EXPECT_NE(serverProcess(folders.root() + "/run"), server);

    // Closing the station closes the server.
    ::kill(station.pid(), SIGTERM);
    EXPECT_EQ(station.wait(20s), 0);
    EXPECT_TRUE(client->closedWithin(10s));
    EXPECT_TRUE(waitFor([] { return platform::findWindow("VYVServer") == platform::kNoWindow; }, 10s));
}

} // namespace
} // namespace vantry::server
