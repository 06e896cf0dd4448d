// The station as a program: started as a user or a service manager would, stopped by signal.
#include "hub_test_support.h"

#include "common/log_texts.h"

#include <gtest/gtest.h>

#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vantry::station {
namespace {

using test::countEntries;
using test::readLogFile;
namespace logtext = common::logtext;

const std::string kStation = std::string(VANTRY_TEST_BIN_DIR) + "/vantry";

class StationProcess {
public:
    explicit StationProcess(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), kStation);
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        if (::posix_spawn(&pid_, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
    }
    ~StationProcess()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            waitExit(std::chrono::seconds(5));
        }
    }
    pid_t pid() const { return pid_; }
    bool running()
    {
        if (pid_ <= 0)
            return false;
        int status = 0;
        const pid_t done = ::waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            pid_ = -1;
            return false;
        }
        return true;
    }
    // The exit status (128 + signal when killed), or -1 when it did not end in time.
    int waitExit(std::chrono::milliseconds limit)
    {
        test::waitFor([&] { return !running(); }, limit);
        return pid_ > 0 ? -1 : status_;
    }

private:
    pid_t pid_ = -1;
    int status_ = -1;
};

constexpr auto kStartLimit = std::chrono::seconds(30);

TEST(StationProcessTest, HeadlessDemoDetectsMotionAndStopsCleanlyOnSigterm)
{
    test::PrivateFolders folders;
    folders.write("vantry.ini", "[State_ch01]\nfEnableMotionDetection=1\n[Log]\nfCountInMotionEvents=1\n");
    StationProcess station({ "--headless", "--demo" });
    ASSERT_GT(station.pid(), 0);

    const std::string logPath = folders.file("Log.Dat");
    const bool detected = test::waitFor([&] {
        const auto entries = readLogFile(logPath);
        return countEntries(entries, std::string(logtext::kStationStarts), -1) == 1
            && countEntries(entries, std::string(logtext::kMotionEvent), 0) >= 1;
    }, kStartLimit);
    ASSERT_TRUE(detected) << folders.read("vantry.log");
    ASSERT_TRUE(station.running());

    ::kill(station.pid(), SIGTERM);
    EXPECT_EQ(station.waitExit(std::chrono::seconds(15)), 0);
    const auto entries = readLogFile(logPath);
    EXPECT_EQ(countEntries(entries, std::string(logtext::kStationStops), -1), 1);
    EXPECT_EQ(entries.back().text, logtext::kStationStops) << "nothing is logged after the stop";

    const std::string ini = folders.read("vantry.ini");
    EXPECT_NE(ini.find("VideoDevice=demo:camera:1"), std::string::npos) << "the demo choice is saved";
    EXPECT_NE(ini.find("fEnableMotionDetection=1"), std::string::npos);
    for (const char* folder : { "mail", "ftp", "records" })
        EXPECT_TRUE(std::filesystem::is_directory(folders.file(folder))) << folder;
}

TEST(StationProcessTest, SecondStartAsksTheRunningStationToShowItselfAndEnds)
{
    test::PrivateFolders folders;
    StationProcess first({ "--headless" });
    ASSERT_TRUE(test::waitFor([&] {
        return countEntries(readLogFile(folders.file("Log.Dat")), std::string(logtext::kStationStarts), -1) == 1;
    }, kStartLimit));

    StationProcess second({ "--headless" });
    EXPECT_EQ(second.waitExit(std::chrono::seconds(10)), 0);
    EXPECT_TRUE(first.running());
    EXPECT_TRUE(test::waitFor([&] { return folders.read("vantry.log").find("Asked to show") != std::string::npos; }))
        << folders.read("vantry.log");
    EXPECT_EQ(countEntries(readLogFile(folders.file("Log.Dat")), std::string(logtext::kStationStarts), -1), 1)
        << "the second start touched nothing";

    ::kill(first.pid(), SIGINT);
    EXPECT_EQ(first.waitExit(std::chrono::seconds(15)), 0);
}

} // namespace
} // namespace vantry::station
