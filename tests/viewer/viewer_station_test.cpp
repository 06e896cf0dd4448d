// The viewer against the real stream server, fed by the headless demo station: the link's
// exchange, decoded pictures and the demo's motion event; then the vyremote program itself
// connecting and recording from its command line, stopped by SIGTERM like a service.
#include "viewer_test_support.h"

#include "common/record_index.h"
#include "record_fixtures.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace vantry::viewer {
namespace {

using namespace test;
using vantry::test::Quote;
using vantry::test::RunCommand;
using vantry::test::TempFolder;

const std::string kBin = VANTRY_TEST_BIN_DIR;

class Process {
public:
    Process(std::vector<std::string> arguments, const std::vector<std::string>& extraEnvironment = {})
    {
        std::vector<std::string> environment;
        for (char** entry = environ; *entry; ++entry) {
            const std::string text = *entry;
            const std::string name = text.substr(0, text.find('='));
            bool replaced = false;
            for (const std::string& extra : extraEnvironment)
                replaced |= extra.substr(0, extra.find('=')) == name;
            if (!replaced)
                environment.push_back(text);
        }
        environment.insert(environment.end(), extraEnvironment.begin(), extraEnvironment.end());
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (std::string& entry : environment)
            envp.push_back(entry.data());
        envp.push_back(nullptr);
        if (::posix_spawn(&pid_, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0)
            pid_ = -1;
    }
    ~Process()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            wait(5000ms);
        }
    }
    pid_t pid() const { return pid_; }
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

uint16_t freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(ViewerStationTest, ViewerWatchesAndRecordsTheDemoStation)
{
    TempFolder root;
    const std::string stationData = root / "station";
    const std::string viewerData = root / "viewer";
    const std::string runtime = root / "run";
    for (const std::string& folder : { stationData, viewerData, runtime })
        std::filesystem::create_directories(folder);
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
    ::setenv("VANTRY_DATA_DIR", stationData.c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    const uint16_t port = freePort();
    std::ofstream(stationData + "/vantry.ini")
        << "[VideoServer]\nfEnable=1\nnTCPPort=" << port << "\n[State_ch01]\nfEnableMotionDetection=1\n";
    Process station({ kBin + "/vantry", "--headless", "--demo" });
    ASSERT_GT(station.pid(), 0);

    // The link, in this process.
    Notices notices;
    RemoteLink link;
    link.setObserver(notices.observer());
    server::StreamOptions options;
    options.quality = 5;
    options.frameRate = 5;
    link.setStreamOptions(options);
    ASSERT_TRUE(waitFor([&] {
        if (link.connect("127.0.0.1", port, 0, 1))
            return true;
        std::this_thread::sleep_for(200ms);
        return false;
    }, 30000ms)) << readFile(stationData + "/vantry.log");
    ASSERT_TRUE(waitFor([&] { return link.framesDecoded() >= 5; }, 15000ms)) << readFile(stationData + "/vyvserver.Log");
    EXPECT_TRUE(notices.has(LinkNotice::StreamStarted));
    EXPECT_FALSE(link.cameraName().empty());
    Picture picture;
    ASSERT_TRUE(link.picture(picture));
    EXPECT_GT(picture.width, 0);
    // A test pattern, not a flat picture.
    int darkest = 255, lightest = 0;
    for (size_t i = 1; i < picture.bgr.size(); i += 3 * 97) {
        darkest = std::min<int>(darkest, picture.bgr[i]);
        lightest = std::max<int>(lightest, picture.bgr[i]);
    }
    EXPECT_GT(lightest - darkest, 60);
    // The demo picture moves; motion detection of camera 1 reaches the viewer as an event.
    EXPECT_TRUE(notices.waitFor(LinkNotice::StatusIcon, kIconEvent, 1, 45000ms));
    EXPECT_TRUE(link.sendPtz(server::kPtzPanLeft));
    link.disconnect();

    // The program: connects and records from its command line, and finishes its file on SIGTERM.
    Process viewer({ kBin + "/vyremote", "--connect", "127.0.0.1:" + std::to_string(port) + "/1", "--record" },
                   { "VANTRY_DATA_DIR=" + viewerData, "QT_QPA_PLATFORM=offscreen" });
    ASSERT_GT(viewer.pid(), 0);
    std::this_thread::sleep_for(5000ms);
    ::kill(viewer.pid(), SIGTERM);
    EXPECT_EQ(viewer.wait(15000ms), 0);

    common::RecordIndex index;
    ASSERT_EQ(index.Open(viewerData + "/records"), 1);
    const auto records = index.Records();
    ASSERT_GE(records.size(), 1u) << readFile(viewerData + "/vyremote.Log");
    std::string output;
    EXPECT_EQ(RunCommand("ffmpeg -nostdin -v error -c:v h263 -i " + Quote(records.front().path) + " -f framemd5 -", &output), 0);
    EXPECT_NE(output.find(", "), std::string::npos) << "decoded frames";
    // The command line changed no setting.
    EXPECT_EQ(readFile(viewerData + "/vantry.ini").find("nPort=" + std::to_string(port)), std::string::npos);

    ::kill(station.pid(), SIGTERM);
    EXPECT_EQ(station.wait(20000ms), 0);
}

} // namespace
} // namespace vantry::viewer
