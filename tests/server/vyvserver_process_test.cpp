// vyvserver as a program: with the offscreen platform and without any display, started hidden,
// it binds to a station that appears after it and ends when the station closes it.
#include "server_test_support.h"

#include "platform/endpoint.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace vantry::server {
namespace {

using namespace test;
using namespace std::chrono_literals;

struct Environment {
    const char* qpa;
    const char* display;
};

int runServerUntilClosed(const Environment& env, const PrivateFolders& folders)
{
    std::vector<std::string> variables;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (entry.rfind("QT_QPA_PLATFORM=", 0) == 0 || entry.rfind("DISPLAY=", 0) == 0
            || entry.rfind("WAYLAND_DISPLAY=", 0) == 0 || entry.rfind("VANTRY_SHOW=", 0) == 0)
            continue;
        variables.push_back(entry);
    }
    if (env.qpa)
        variables.push_back(std::string("QT_QPA_PLATFORM=") + env.qpa);
    if (env.display)
        variables.push_back(std::string("DISPLAY=") + env.display);
    variables.push_back("VANTRY_SHOW=hide");
    std::vector<char*> envp;
    for (std::string& v : variables)
        envp.push_back(v.data());
    envp.push_back(nullptr);
    std::string program = std::string(VANTRY_TEST_BIN_DIR) + "/vyvserver";
    char* argv[] = { program.data(), nullptr };
    pid_t pid = -1;
    if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv, envp.data()) != 0)
        return -1;

    // The station comes after the server: the server finds it and registers.
    std::vector<platform::Message> heard;
    EXPECT_TRUE(waitFor([] { return platform::findWindow("VYVServer") != platform::kNoWindow; }, 10s));
    EXPECT_NE(platform::findWindowByTitle("Current Connections from Remote Programs"), platform::kNoWindow);
    auto station = platform::Endpoint::create("VYWatch", "", [&heard](const platform::Message& m) {
        heard.push_back(m);
        return 1;
    });
    EXPECT_TRUE(station);
    const bool registered = waitFor([&] {
        for (const auto& m : heard)
            if (m.msg == station_msg::kRegisters)
                return true;
        return false;
    }, 3s);
    EXPECT_TRUE(registered);
    if (registered) {
        const platform::WindowHandle server = platform::findWindow("VYVServer");
        for (const auto& m : heard) {
            if (m.msg == station_msg::kRegisters) {
                EXPECT_EQ(static_cast<platform::WindowHandle>(m.lParam), server);
            }
        }
    }

    platform::postMessage(platform::findWindow("VYVServer"), platform::kMsgClose, 0, 0);
    int status = -1;
    waitFor([&] {
        int s = 0;
        if (::waitpid(pid, &s, WNOHANG) == pid) {
            status = WIFEXITED(s) ? WEXITSTATUS(s) : 128 + WTERMSIG(s);
            return true;
        }
        return false;
    }, 10s);
    if (status < 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    station.reset();
    std::ifstream log(folders.data() + "/vyvserver.Log");
    const std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("vyvserver starts."), std::string::npos) << text;
    EXPECT_NE(text.find("Bound to the station"), std::string::npos) << text;
    return status;
}

TEST(VyvserverProcess, OffscreenAndWithoutDisplay)
{
    application();
    const Environment environments[] = { { "offscreen", nullptr }, { nullptr, nullptr } };
    for (const Environment& env : environments) {
        SCOPED_TRACE(env.qpa ? env.qpa : "no display");
        PrivateFolders folders;
        EXPECT_EQ(runServerUntilClosed(env, folders), 0);
    }
}

} // namespace
} // namespace vantry::server
