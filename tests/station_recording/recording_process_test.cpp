// The station as a program records demo cameras: files named by the rule in day folders, an
// index that matches them, record information, playback in ffmpeg and GStreamer with sound,
// and a segment cut short by kill -9 repaired at the next start.
#include "../station_hub/hub_test_support.h"

#include "common/record_files.h"
#include "common/record_index.h"
#include "common/record_info.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <regex>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vantry::station {
namespace {

namespace fs = std::filesystem;

const std::string kBin = VANTRY_TEST_BIN_DIR;

class Station {
public:
    Station()
    {
        std::string program = kBin + "/vantry";
        std::string headless = "--headless";
        std::string demo = "--demo";
        char* argv[] = { program.data(), headless.data(), demo.data(), nullptr };
        if (::posix_spawn(&pid_, argv[0], nullptr, nullptr, argv, environ) != 0)
            pid_ = -1;
    }
    ~Station() { stop(SIGKILL); }
    bool started() const { return pid_ > 0; }
    // Sends the signal and waits for the end; the exit status, or -1.
    int stop(int signalNumber)
    {
        if (pid_ <= 0)
            return -1;
        ::kill(pid_, signalNumber);
        int status = -1;
        for (int i = 0; i < 300; ++i) {
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return status;
            }
            ::usleep(50000);
        }
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return -1;
    }

private:
    pid_t pid_ = -1;
};

struct Found {
    std::string path;
    std::string day;
    std::string name;
};

std::vector<Found> recordFiles(const std::string& storage)
{
    std::vector<Found> files;
    if (!fs::exists(storage))
        return files;
    for (const auto& entry : fs::recursive_directory_iterator(storage))
        if (entry.path().extension() == ".avi")
            files.push_back({ entry.path().string(), entry.path().parent_path().filename().string(),
                              entry.path().filename().string() });
    std::sort(files.begin(), files.end(), [](const Found& a, const Found& b) { return a.path < b.path; });
    return files;
}

int run(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str());
}

// Everything a finished record of camera `camera` must be.
void checkFinishedRecords(const std::string& storage, int camera, const std::string& cameraName, size_t minimum)
{
    const auto files = recordFiles(storage);
    ASSERT_GE(files.size(), minimum) << storage;
    common::RecordIndex index;
    ASSERT_EQ(index.Open(storage), 1);
    const auto records = index.Records();
    EXPECT_EQ(records.size(), files.size()) << "every file is indexed, and nothing else";
    const std::regex name(R"(zt\d{12}[01]\.avi)");
    int withPeriods = 0;
    for (const auto& record : records) {
        SCOPED_TRACE(record.path);
        ASSERT_TRUE(fs::exists(record.path));
        const std::string file = fs::path(record.path).filename().string();
        EXPECT_TRUE(std::regex_match(file, name));
        EXPECT_EQ(file, common::RecordFileName(record.start, record.end, record.kind));
        EXPECT_EQ(fs::path(record.path).parent_path().filename().string(), common::DayFolderName(record.start));
        EXPECT_EQ(record.size, fs::file_size(record.path));
        common::RecordInfo info;
        ASSERT_EQ(common::ReadRecordInfo(record.path, info), 0);
        EXPECT_EQ(info.start, record.start);
        EXPECT_EQ(info.end, record.end);
        EXPECT_EQ(info.cameraIndex, static_cast<uint32_t>(camera));
        EXPECT_EQ(info.cameraName, cameraName);
        EXPECT_EQ(info.siteName, "Warehouse");
        if (!info.periods.empty())
            ++withPeriods;
    }
    EXPECT_GT(withPeriods, 0) << "the demo camera moves: its records carry motion periods";
}

void checkPlays(const std::string& path)
{
    EXPECT_EQ(run("ffmpeg -v error -xerror -c:v h263 -i '" + path + "' -map 0:v -map 0:a -f null -"), 0)
        << "ffmpeg plays video and sound of " << path;
    EXPECT_EQ(run("GST_PLUGIN_PATH='" + kBin + "/gstreamer-1.0' timeout 60 gst-launch-1.0 -q filesrc location='" + path
                  + "' ! avidemux name=d d.video_0 ! queue ! vxdec ! fakesink d.audio_0 ! queue ! gsmdec ! fakesink"),
              0)
        << "GStreamer plays video and sound of " << path;
}

const char* kTwoCameras = "[Preference]\nsSiteName=Warehouse\n"
                          "[ZtCAP01]\nVideoDevice=demo:camera:1\nAudioDevice=demo:microphone:1\n"
                          "[ZtCAP02]\nVideoDevice=demo:camera:2\nAudioDevice=demo:microphone:2\n"
                          "[Preference_ch01]\nbRecordAudio=1\nsCameraName=Gate\nnRecordingType=%d\n"
                          "[Preference_ch02]\nbRecordAudio=1\nsCameraName=Yard\nnRecordingType=%d\n"
                          "[State_ch01]\nfEnableRecording=1\nfEnableMotionDetection=1\n"
                          "[State_ch02]\nfEnableRecording=1\nfEnableMotionDetection=1\n"
                          "[Storage_ch01]\nnMinFreeSpace=1\n[Storage_ch02]\nnMinFreeSpace=1\n";

std::string twoCameras(int type)
{
    char text[1024];
    std::snprintf(text, sizeof text, kTwoCameras, type, type);
    return text;
}

class RecordingProcessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::application();
        ::setenv("VANTRY_TEST_FILE_SECONDS", "4", 1);
    }
    std::string storage(int camera) const { return folders_.data() + "/records/camera0" + std::to_string(camera + 1); }
    test::PrivateFolders folders_;
};

TEST_F(RecordingProcessTest, RoundTheClockRecordsPlayableFilesWithSoundAndAnIndex)
{
    folders_.write("vantry.ini", twoCameras(0));
    Station station;
    ASSERT_TRUE(station.started());
    ::sleep(11);
    ASSERT_EQ(station.stop(SIGTERM), 0);
    for (int camera = 0; camera < 2; ++camera) {
        SCOPED_TRACE(camera);
        checkFinishedRecords(storage(camera), camera, camera == 0 ? "Gate" : "Yard", 3);
        const auto files = recordFiles(storage(camera));
        ASSERT_FALSE(files.empty());
        checkPlays(files[1].path); // a whole segment between two file changes
    }
    EXPECT_TRUE(recordFiles(storage(2)).empty());
}

TEST_F(RecordingProcessTest, EventRecordingKeepsEventFilesOnly)
{
    folders_.write("vantry.ini", twoCameras(1));
    Station station;
    ASSERT_TRUE(station.started());
    ::sleep(10);
    ASSERT_EQ(station.stop(SIGTERM), 0);
    for (int camera = 0; camera < 2; ++camera) {
        SCOPED_TRACE(camera);
        checkFinishedRecords(storage(camera), camera, camera == 0 ? "Gate" : "Yard", 1);
        for (const Found& file : recordFiles(storage(camera)))
            EXPECT_EQ(file.name[14], '1') << file.name << ": event mode keeps event records only";
        checkPlays(recordFiles(storage(camera)).front().path);
    }
}

TEST_F(RecordingProcessTest, KillDuringASegmentLosesAtMostTwoSeconds)
{
    ::setenv("VANTRY_TEST_FILE_SECONDS", "60", 1);
    folders_.write("vantry.ini", twoCameras(0));
    int64_t killedAt = 0;
    {
        Station station;
        ASSERT_TRUE(station.started());
        ASSERT_TRUE(test::waitFor([&] { return !recordFiles(storage(0)).empty(); }, std::chrono::seconds(30)));
        ::sleep(6);
        killedAt = std::time(nullptr);
        station.stop(SIGKILL);
    }
    const auto leftover = recordFiles(storage(0));
    ASSERT_EQ(leftover.size(), 1u);
    common::RecordName name;
    ASSERT_TRUE(common::ParseRecordFileName(leftover[0].name, name));
    EXPECT_TRUE(name.IsWorkingName()) << "the segment was cut short";

    {
        Station station;
        ASSERT_TRUE(station.started());
        // The new segment must hold pictures before it is stopped; on a busy machine the
        // graph may take a few seconds to deliver the first ones. The file starts with its
        // headers, so it is watched until it has grown past them.
        std::string segment;
        uintmax_t headerBytes = 0;
        EXPECT_TRUE(test::waitFor([&] {
            std::error_code ec;
            if (segment.empty()) {
                for (const auto& file : recordFiles(storage(0))) {
                    common::RecordName working;
                    if (file.path != leftover[0].path && common::ParseRecordFileName(file.name, working)
                        && working.IsWorkingName()) {
                        segment = file.path;
                        headerBytes = fs::file_size(segment, ec);
                    }
                }
                return false;
            }
            return fs::file_size(segment, ec) > headerBytes + 20000;
        }, std::chrono::seconds(30)));
        ::sleep(3);
        ASSERT_EQ(station.stop(SIGTERM), 0);
    }
    common::RecordIndex index;
    ASSERT_EQ(index.Open(storage(0)), 1);
    const auto records = index.Records();
    std::string found;
    for (const auto& file : recordFiles(storage(0)))
        found += " " + file.path + " (" + std::to_string(fs::file_size(file.path)) + " bytes)";
    ASSERT_EQ(records.size(), 2u) << "the repaired segment and the one after the restart; files:" << found;
    EXPECT_EQ(fs::path(records[0].path).parent_path(), fs::path(leftover[0].path).parent_path());
    // Record times are whole seconds: 2 seconds of video lost can show as 3 on the clock.
    EXPECT_GE(records[0].end, killedAt - 3) << "at most 2 seconds lost";
    EXPECT_LE(records[0].end, killedAt + 1);
    EXPECT_TRUE(fs::exists(records[0].path));
    EXPECT_FALSE(fs::exists(leftover[0].path)) << "renamed to its final name";
    common::RecordInfo info;
    EXPECT_EQ(common::ReadRecordInfo(records[0].path, info), 0);
    EXPECT_EQ(info.cameraName, "Gate") << "the repair names the camera";
    EXPECT_EQ(info.siteName, "Warehouse");
    EXPECT_EQ(run("ffmpeg -v error -xerror -c:v h263 -i '" + records[0].path + "' -f null -"), 0);
}

// What a box without keyboard uses: vantry --send, answered by the running station.
TEST_F(RecordingProcessTest, SendSwitchesRecordingAndFiresTheManualTrigger)
{
    ::setenv("VANTRY_TEST_FILE_SECONDS", "60", 1); // one file for the whole run
    folders_.write("vantry.ini", "[Log]\nfCountInMotionEvents=1\n[ZtCAP01]\nVideoDevice=demo:camera:1\n"
                                 "[State_ch01]\nfEnableManualTrigger=1\nnManualTriggerLength=2\n"
                                 "[Storage_ch01]\nnMinFreeSpace=1\n");
    const std::string send = kBin + "/vantry --send ";
    EXPECT_EQ(run(send + "trigger"), 256) << "no station runs: exit status 1";
    Station station;
    ASSERT_TRUE(station.started());
    ASSERT_TRUE(test::waitFor([&] { return run(send + "record on 1") == 0; }, std::chrono::seconds(30)));
    ::sleep(2);
    EXPECT_EQ(run(send + "trigger"), 0);
    ::sleep(3);
    EXPECT_EQ(run(send + "record off 1"), 0);
    for (const char* bad : { "record", "record maybe", "record on 5", "record on 1 2", "trigger 1", "dance" })
        EXPECT_EQ(run(send + bad), 2 << 8) << bad;
    ASSERT_EQ(station.stop(SIGTERM), 0);

    const auto entries = test::readLogFile(folders_.file("Log.Dat"));
    EXPECT_EQ(test::countEntries(entries, "Manual triggered event.", 0), 1);
    EXPECT_EQ(test::countEntries(entries, "Start the round-the-clock recording.", 0), 1);
    EXPECT_EQ(test::countEntries(entries, "Stop the round-the-clock recording.", 0), 1);
    const auto files = recordFiles(storage(0));
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].name[14], '1') << "the manual event marks the record";
}

} // namespace
} // namespace vantry::station
