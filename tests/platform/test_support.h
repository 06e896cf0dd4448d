// Shared pieces of the platform tests: a private runtime and data folder per test, the child
// program, and waiting with the Qt event loop running.
#pragma once

#include "platform/shared_memory.h"

#include <QCoreApplication>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/mman.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace vantry::platform::test {

inline QCoreApplication& application()
{
    static int argc = 1;
    static char name[] = "platform_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    return *app;
}

// Runs the event loop until `done` holds or the time is up.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs = 5000)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        if (QCoreApplication::instance() != nullptr)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

inline std::string childProgram()
{
    return std::string(VANTRY_TEST_BIN_DIR) + "/platform_test_child";
}

// A child process started and waited for by the test itself (not by the launcher under test).
class Child {
public:
    explicit Child(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), childProgram());
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
    }
    ~Child()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            wait();
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return pid_; }
    void killHard()
    {
        ::kill(pid_, SIGKILL);
        wait();
    }
    // The exit code, or -1 when it ended by a signal.
    int wait()
    {
        if (pid_ <= 0)
            return status_;
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return status_;
    }

private:
    pid_t pid_ = -1;
    int status_ = -1;
};

// Each test gets its own runtime and data folders, so tests never see each other's
// endpoints, locks and shared memory, nor the user's.
class PlatformTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/vantry-platform-test-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        ASSERT_NE(made, nullptr);
        root_ = made;
        std::filesystem::create_directories(root_ / "run");
        std::filesystem::create_directories(root_ / "data");
        ::setenv("XDG_RUNTIME_DIR", (root_ / "run").c_str(), 1);
        ::setenv("VANTRY_DATA_DIR", (root_ / "data").c_str(), 1);
        ::unsetenv("VANTRY_SHOW");
    }
    void TearDown() override
    {
        // Objects that a killed child left behind under this test's prefix.
        const std::string marker = sharedObjectName("x");
        const std::string prefix = marker.substr(1, marker.size() - 2);
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator("/dev/shm", ignored)) {
            if (entry.path().filename().string().rfind(prefix, 0) == 0)
                ::shm_unlink(("/" + entry.path().filename().string()).c_str());
        }
        std::filesystem::remove_all(root_, ignored);
    }
    const std::filesystem::path& root() const { return root_; }
    std::filesystem::path runtimeDir() const { return root_ / "run" / "vantry"; }

private:
    std::filesystem::path root_;
};

} // namespace vantry::platform::test
