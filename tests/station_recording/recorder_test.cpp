// The recorder inside a real hub: capture graphs from still test sources (so that no motion
// of their own interferes), a clock the test sets, and a free-space source the test controls.
#include "../station_hub/hub_test_support.h"

#include "common/avi_reader.h"
#include "common/camera_word.h"
#include "common/log_texts.h"
#include "common/record_files.h"
#include "common/record_info.h"
#include "plugins/plugin_loader.h"
#include "station/core/hub_messages.h"
#include "station/core/recorder.h"
#include "station/core/station_hub.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <atomic>
#include <ctime>
#include <filesystem>

namespace vantry::station {
namespace {

namespace fs = std::filesystem;
namespace msg = common::msg;
using test::application;
using test::countEntries;

constexpr int64_t kMB = 1048576;

// Still pictures and a tone: graphs as real as a camera's, but no motion unless the test says so.
class StillProvider final : public DeviceProvider {
public:
    std::vector<CaptureDevice> devices(DeviceKind kind) const override
    {
        std::vector<CaptureDevice> list;
        for (int n = 1; n <= 4; ++n) {
            if (kind == DeviceKind::Video && unplugged_[n - 1])
                continue;
            CaptureDevice device;
            device.kind = kind;
            device.displayName = (kind == DeviceKind::Video ? "still:camera:" : "still:mic:") + std::to_string(n);
            device.friendlyName = device.displayName;
            list.push_back(device);
        }
        return list;
    }
    GstElement* createSource(const CaptureDevice& device) override
    {
        const char* description = device.kind == DeviceKind::Video ? "videotestsrc is-live=true pattern=black"
                                                                   : "audiotestsrc is-live=true wave=sine";
        GError* error = nullptr;
        GstElement* bin = gst_parse_bin_from_description(description, TRUE, &error);
        if (error)
            g_error_free(error);
        return bin;
    }
    void unplug(int number) { change(number, true); }
    void plugIn(int number) { change(number, false); }

private:
    void change(int number, bool unplugged)
    {
        CaptureDevice device;
        device.kind = DeviceKind::Video;
        device.displayName = device.friendlyName = "still:camera:" + std::to_string(number);
        unplugged_[number - 1] = unplugged;
        notify(unplugged ? DeviceChange::Removed : DeviceChange::Added, device);
    }
    bool unplugged_[4] = {};
};

class TestClock final : public Clock {
public:
    int64_t nowSeconds() const override { return now.load(); }
    std::atomic<int64_t> now { 0 };
};

struct LightView final : StationView {
    std::vector<std::tuple<int, int, int>> lights; // camera, kind, state
    std::vector<std::pair<int, std::string>> messages;
    void setIndicator(int camera, int kind, int state) override { lights.emplace_back(camera, kind, state); }
    void showMessage(int id, std::string_view text) override { messages.emplace_back(id, std::string(text)); }
    int lastLight(int camera, int kind) const
    {
        for (auto it = lights.rbegin(); it != lights.rend(); ++it)
            if (std::get<0>(*it) == camera && std::get<1>(*it) == kind)
                return std::get<2>(*it);
        return -1;
    }
};

// 2026-12-07 is a Monday; the tests run in UTC so that local time is plain.
int64_t at(int dayAfterMonday, int hour, int minute, int second)
{
    std::tm tm {};
    tm.tm_year = 2026 - 1900;
    tm.tm_mon = 11;
    tm.tm_mday = 7 + dayAfterMonday;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    return static_cast<int64_t>(timegm(&tm));
}

class RecorderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ::setenv("TZ", "UTC", 1);
        ::tzset();
        application();
        gst_init(nullptr, nullptr);
        plugins::registerPluginDir(VANTRY_TEST_BIN_DIR "/gstreamer-1.0");
    }
    void TearDown() override
    {
        if (recorder_)
            recorder_->close();
        if (hub_) {
            hub_->setRecording(nullptr);
            hub_->setRecordIndex(nullptr);
        }
        recorder_.reset();
        hub_.reset();
    }

    void start(const std::string& ini, int64_t now)
    {
        clock_.now = now;
        folders_.write("vantry.ini", "[Log]\nfCountInMotionEvents=1\n" + ini);
        hub_ = std::make_unique<StationHub>(HubFolders { folders_.data(), "/nonexistent" }, provider_);
        hub_->setView(&view_);
        ASSERT_EQ(hub_->openSettingsAndLogs(), 1);
        RecorderOptions options;
        options.clock = &clock_;
        options.freeBytes = [this](const std::string&) -> int64_t {
            // What recycling deletes comes back as free space.
            const int64_t freed = claimedBytes_ - static_cast<int64_t>(recorder_->index(0).TotalBytes());
            return freeMB_ * kMB + std::max<int64_t>(freed, 0);
        };
        recorder_ = std::make_unique<Recorder>(*hub_, options);
        hub_->setRecording(recorder_.get());
        hub_->setRecordIndex(recorder_.get());
        recorder_->open();
        ASSERT_EQ(hub_->buildChannels(true), 1);
        drain();
    }
    int32_t deliver(uint32_t number, uint32_t wParam, int32_t lParam)
    {
        platform::Message message;
        message.msg = number;
        message.wParam = wParam;
        message.lParam = lParam;
        return hub_->dispatch(message);
    }
    void drain(int ms = 50) { test::waitFor([] { return false; }, std::chrono::milliseconds(ms)); }
    void letFramesIn() { drain(1200); }

    // Record files of camera 1 with claimed sizes, one per hour from first.
    void addHours(int64_t first, int hours, int64_t megabytesEach)
    {
        auto& index = recorder_->index(0);
        for (int h = 0; h < hours; ++h) {
            const auto start = static_cast<int32_t>(first + h * 3600);
            const std::string folder = index.StorageFolder() + "/" + common::DayFolderName(start);
            fs::create_directories(folder);
            const std::string path = folder + "/" + common::RecordFileName(start, start + 3600, 0);
            std::ofstream(path) << "x";
            ASSERT_EQ(index.Add({ path, 0, start, start + 3600, static_cast<uint64_t>(megabytesEach * kMB) }), 1);
        }
        claimedBytes_ = static_cast<int64_t>(index.TotalBytes());
    }
    std::vector<std::string> aviFiles(int camera) const
    {
        std::vector<std::string> names;
        const std::string folder = recorder_->storageFolder(camera);
        if (!fs::exists(folder))
            return names;
        for (const auto& entry : fs::recursive_directory_iterator(folder))
            if (entry.path().extension() == ".avi")
                names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string textLog() const { return folders_.read("vantry.log1") + folders_.read("vantry.log"); }
    int operationLines(const std::string& text, int camera = 0) const
    {
        return countEntries(test::readLogFile(folders_.file("Log.Dat")), text, camera);
    }

    test::PrivateFolders folders_;
    StillProvider provider_;
    TestClock clock_;
    LightView view_;
    int64_t freeMB_ = 100000;
    int64_t claimedBytes_ = 0;
    std::unique_ptr<StationHub> hub_;
    std::unique_ptr<Recorder> recorder_;
};

const std::string kCamera1 = "[ZtCAP01]\nVideoDevice=still:camera:1\n";

// ---------------------------------------------------------------------------------------
// Schedule

TEST_F(RecorderTest, ScheduleFollowsTheHoursOfEachWeekday)
{
    // Monday hours 8 to 15.
    start(kCamera1 + "[Preference_ch01]\nnRecordingType=2\n[Schedule_ch01]\ndwSchedule_MON=65280\n",
          at(0, 7, 59, 59));
    hub_->command(cmd::kVideoRecording, common::makeCameraWord(0));
    ASSERT_TRUE(recorder_->isScheduleArmed(0));
    EXPECT_FALSE(recorder_->isRecording(0));
    EXPECT_EQ(recorder_->recordingLight(0), 5) << "armed";
    EXPECT_EQ(recorder_->scheduleTimerMs(0), 1000) << "the next check comes at the full hour";

    struct Step {
        int64_t time;
        bool recording;
        int light;
    };
    const Step steps[] = {
        { at(0, 8, 0, 0), true, 1 },   // Monday 08:00 starts
        { at(0, 15, 0, 0), true, 1 },  // still scheduled
        { at(0, 16, 0, 0), false, 5 }, // 16:00 stops, armed again
        { at(1, 10, 0, 0), false, 5 }, // Tuesday has no hours
        { at(7, 8, 0, 0), true, 1 },   // next Monday
    };
    for (const Step& step : steps) {
        clock_.now = step.time;
        recorder_->scheduleCheck(0);
        SCOPED_TRACE(step.time);
        EXPECT_EQ(recorder_->isRecording(0), step.recording);
        EXPECT_EQ(recorder_->recordingLight(0), step.light);
        EXPECT_EQ(recorder_->scheduleTimerMs(0), 3600000);
    }
    EXPECT_EQ(operationLines(std::string(common::logtext::kStartScheduled)), 1);
    EXPECT_EQ(operationLines(std::string(common::logtext::kStartRoundTheClock)), 0) << "the schedule starts quietly";

    hub_->command(cmd::kVideoRecording, common::makeCameraWord(0));
    EXPECT_FALSE(recorder_->isRecording(0));
    EXPECT_FALSE(recorder_->isScheduleArmed(0));
    EXPECT_EQ(recorder_->scheduleTimerMs(0), 0);
    EXPECT_EQ(recorder_->recordingLight(0), 0);
    EXPECT_EQ(operationLines(std::string(common::logtext::kStopScheduled)), 1);
}

TEST_F(RecorderTest, StartInsideAScheduledHourRecordsAtOnceAndChecksAtTheNextHour)
{
    start(kCamera1 + "[Preference_ch01]\nnRecordingType=2\n[Schedule_ch01]\ndwSchedule_MON=65280\n",
          at(0, 10, 30, 0));
    hub_->command(cmd::kVideoRecording, common::makeCameraWord(0));
    EXPECT_TRUE(recorder_->isRecording(0));
    EXPECT_EQ(recorder_->scheduleTimerMs(0), 1800000);
}

TEST_F(RecorderTest, ClockChangeChecksTheScheduleAtOnce)
{
    start(kCamera1 + "[Preference_ch01]\nnRecordingType=3\n[Schedule_ch01]\ndwSchedule_MON=65280\n",
          at(0, 6, 0, 0));
    hub_->command(cmd::kVideoRecording, common::makeCameraWord(0));
    ASSERT_FALSE(recorder_->isRecording(0));
    clock_.now = at(0, 9, 12, 0);
    platform::Message timeChange;
    timeChange.msg = kMsgTimeChange;
    hub_->dispatch(timeChange);
    EXPECT_TRUE(recorder_->isRecording(0));
    EXPECT_TRUE(recorder_->isEventMode(0)) << "scheduled event recording records in event mode";
    EXPECT_TRUE(hub_->isDetectionActive(0));
    EXPECT_EQ(recorder_->scheduleTimerMs(0), 3600000 - 12 * 60000);
}

// ---------------------------------------------------------------------------------------
// Segments and events

TEST_F(RecorderTest, RoundTheClockChangesFilesAndIndexesEach)
{
    start(kCamera1 + "[Preference_ch01]\nsCameraName=Porch\n[Preference]\nsSiteName=Shop\n", at(0, 9, 0, 0));
    hub_->command(cmd::kVideoRecording, common::makeCameraWord(0));
    ASSERT_TRUE(recorder_->isRecording(0));
    EXPECT_EQ(recorder_->fileTimerMs(0), 5 * 60000);
    letFramesIn();
    clock_.now = at(0, 9, 5, 0);
    recorder_->changeFile(0);
    letFramesIn();
    clock_.now = at(0, 9, 7, 30);
    hub_->command(cmd::kVideoRecording, common::makeCameraWord(0));
    EXPECT_FALSE(recorder_->isRecording(0));

    EXPECT_EQ(aviFiles(0), (std::vector<std::string> { "zt0900000905000.avi", "zt0905000907300.avi" }));
    const auto records = recorder_->index(0).Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].start, at(0, 9, 5, 0));
    EXPECT_EQ(records[1].end, at(0, 9, 7, 30));
    common::RecordInfo info;
    ASSERT_EQ(common::ReadRecordInfo(records[0].path, info), 0);
    EXPECT_EQ(info.cameraName, "Porch");
    EXPECT_EQ(info.siteName, "Shop");
    common::AviFileInfo avi;
    ASSERT_EQ(common::ReadAviFile(records[0].path, avi), 0);
    EXPECT_GT(avi.mainHeader.totalFrames, 5u);
    EXPECT_EQ(operationLines(std::string(common::logtext::kStartRoundTheClock)), 1);
    EXPECT_EQ(operationLines(std::string(common::logtext::kStopRoundTheClock)), 1);
}

TEST_F(RecorderTest, ACameraPluggedInAgainRecordsAgain)
{
    start(kCamera1, at(0, 9, 0, 0));
    hub_->command(cmd::kVideoRecording, common::makeCameraWord(0));
    letFramesIn();
    clock_.now = at(0, 9, 1, 0);
    provider_.unplug(1);
    drain(200);
    EXPECT_FALSE(hub_->channel(0)->isCaptureRunning());
    clock_.now = at(0, 9, 2, 0);
    provider_.plugIn(1);
    ASSERT_TRUE(test::waitFor([this] { return hub_->channel(0)->isCaptureRunning(); }));
    EXPECT_TRUE(recorder_->isRecording(0));
    letFramesIn();
    clock_.now = at(0, 9, 3, 0);
    hub_->command(cmd::kVideoRecording, common::makeCameraWord(0));
    EXPECT_EQ(aviFiles(0), (std::vector<std::string> { "zt0900000902000.avi", "zt0902000903000.avi" }));
    EXPECT_EQ(recorder_->index(0).RecordCount(), 2u);
}

TEST_F(RecorderTest, EventModeKeepsOnlyTheEventFromItsStartToTheEndOfTheHold)
{
    start(kCamera1 + "[Preference_ch01]\nnRecordingType=1\n", at(0, 12, 0, 0));
    hub_->command(cmd::kVideoRecording, common::makeCameraWord(0));
    ASSERT_TRUE(recorder_->isRecording(0));
    EXPECT_TRUE(hub_->isDetectionActive(0)) << "event recording runs on detection";
    EXPECT_FALSE(recorder_->isGateOpen(0));
    EXPECT_EQ(recorder_->recordingLight(0), 5);
    letFramesIn();

    // A motion of 3 s at 12:10:00; the event ends after the 5 s hold.
    clock_.now = at(0, 12, 10, 0);
    deliver(msg::kEventBegins, static_cast<uint32_t>(clock_.now.load()), static_cast<int32_t>(common::makeCameraWord(0)));
    EXPECT_TRUE(recorder_->isGateOpen(0));
    EXPECT_EQ(recorder_->recordingLight(0), 1);
    letFramesIn();
    clock_.now = at(0, 12, 10, 8);
    deliver(msg::kEventEnds, static_cast<uint32_t>(clock_.now.load()), static_cast<int32_t>(common::makeCameraWord(0)));
    EXPECT_FALSE(recorder_->isGateOpen(0));
    EXPECT_EQ(recorder_->recordingLight(0), 5);
    letFramesIn();

    // The file waiting for the next event holds nothing and goes at the next change.
    clock_.now = at(0, 12, 20, 0);
    recorder_->changeFile(0);
    hub_->command(cmd::kVideoRecording, common::makeCameraWord(0));
    EXPECT_EQ(aviFiles(0), (std::vector<std::string> { "zt1210001210081.avi" }));
    const auto records = recorder_->index(0).Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].kind, 1u);
    EXPECT_EQ(records[0].start, at(0, 12, 10, 0));
    EXPECT_EQ(records[0].end, at(0, 12, 10, 8));
    EXPECT_FALSE(hub_->isDetectionActive(0));
}

TEST_F(RecorderTest, ManualTriggerLastsAsLongAsTheHighestNumberedCameraSays)
{
    start("[ZtCAP01]\nVideoDevice=still:camera:1\n[ZtCAP02]\nVideoDevice=still:camera:2\n"
          "[ZtCAP03]\nVideoDevice=still:camera:3\n"
          "[State_ch01]\nfEnableManualTrigger=1\nnManualTriggerLength=5\n"
          "[State_ch02]\nfEnableManualTrigger=1\nnManualTriggerLength=10\n"
          "[State_ch03]\nfEnableManualTrigger=0\nnManualTriggerLength=7\n",
          at(0, 12, 0, 0));
    EXPECT_EQ(recorder_->manualTrigger(), 2);
    EXPECT_EQ(recorder_->manualTimerMs(), 7000);
    drain();
    const std::string manual(common::logtext::kManualEvent);
    EXPECT_EQ(operationLines(manual, 0), 1);
    EXPECT_EQ(operationLines(manual, 1), 1);
    EXPECT_EQ(operationLines(manual, 2), 0);
    EXPECT_EQ(view_.lastLight(0, 2), 2);
    recorder_->endManualTrigger();
    EXPECT_EQ(recorder_->manualTimerMs(), 0);
    EXPECT_EQ(view_.lastLight(1, 2), 0) << "detection off: the light goes out";
}

TEST_F(RecorderTest, NoCameraWithTheTriggerEnabledArmsNoTimer)
{
    start(kCamera1, at(0, 12, 0, 0));
    EXPECT_EQ(recorder_->manualTrigger(), 0);
    EXPECT_EQ(recorder_->manualTimerMs(), 0);
}

// ---------------------------------------------------------------------------------------
// Storage

TEST_F(RecorderTest, StartWithoutRoomIsRefusedAndClearsTheFlag)
{
    freeMB_ = 500; // below the 1024 MB minimum, and nothing to recycle
    start(kCamera1, at(0, 12, 0, 0));
    hub_->command(cmd::kVideoRecording, common::makeCameraWord(0));
    EXPECT_FALSE(recorder_->isRecording(0));
    EXPECT_EQ(hub_->settings().channels[0].recordingEnabled, 0);
    ASSERT_FALSE(view_.messages.empty());
    EXPECT_EQ(view_.messages.back().first, 61216);
    EXPECT_EQ(view_.messages.back().second,
              "The free storage space for camera 1 is not enough!  Please remove some unused data from the storage.");
    EXPECT_EQ(operationLines(std::string(common::logtext::kStorageShort)), 1);
    EXPECT_EQ(view_.lastLight(0, 3), 2);
    EXPECT_TRUE(aviFiles(0).empty());
}

struct RecycleCase {
    const char* name;
    std::string ini;
    int64_t freeMB;
    int hours;
    int64_t megabytesPerHour;
    bool byMaxSize;
    bool expectedResult;
    size_t recordsLeft;
    const char* line; // expected diagnostic line, "" for none
};

class RecycleTest : public RecorderTest, public ::testing::WithParamInterface<RecycleCase> {};

TEST_P(RecycleTest, Pass)
{
    const RecycleCase& c = GetParam();
    freeMB_ = c.freeMB;
    start(kCamera1 + c.ini, at(2, 12, 0, 0));
    addHours(at(0, 8, 0, 0), c.hours, c.megabytesPerHour);
    const bool result = c.byMaxSize ? recorder_->maxRecycle(0) : recorder_->minRecycle(0);
    EXPECT_EQ(result, c.expectedResult);
    EXPECT_EQ(recorder_->index(0).RecordCount(), c.recordsLeft);
    EXPECT_EQ(aviFiles(0).size(), c.recordsLeft) << "removed records take their files along";
    if (*c.line) {
        EXPECT_NE(textLog().find(c.line), std::string::npos) << textLog();
    } else {
        EXPECT_EQ(textLog().find("Recycle"), std::string::npos);
    }
    if (!c.expectedResult) {
        EXPECT_EQ(view_.lastLight(0, 3), 2);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Recycling, RecycleTest,
    ::testing::Values(
        RecycleCase { "EnoughRoom", "", 1025, 3, 500, false, true, 3, "" },
        // Equal is not enough: the limit must be exceeded.
        RecycleCase { "FreeEqualToMinimum", "", 1024, 3, 500, false, true, 2,
                      "CH01 - Min-Recycle (2026/12/07-08:00:00 - 2026/12/07-09:00:00, 500 MB) from "
                      "(2026/12/07-08:00:00 - 2026/12/07-11:00:00, 1500 MB) in 0 seconds with 1000MB records left" },
        RecycleCase { "TwoHoursNeeded", "", 0, 3, 600, false, true, 1,
                      "CH01 - Min-Recycle (2026/12/07-08:00:00 - 2026/12/07-10:00:00, 1200 MB)" },
        RecycleCase { "EmptyIndexOnAFullDrive", "", 10, 0, 0, false, false, 0, "CH01 - Min-Recycle" },
        RecycleCase { "RecyclingOff", "[Storage_ch01]\nfRecycle=0\n", 10, 3, 500, false, false, 3,
                      "with 1500MB records left" },
        RecycleCase { "MaxSizeReached", "[Storage_ch01]\nfMaxStorageSpace=1\nnMaxStorageSpace=20480\n", 100000, 2,
                      10240, true, true, 1, "CH01 - Max-Recycle (2026/12/07-08:00:00 - 2026/12/07-09:00:00, 10240 MB)" },
        RecycleCase { "MaxSizeBelowLimit", "[Storage_ch01]\nfMaxStorageSpace=1\nnMaxStorageSpace=20480\n", 100000, 2,
                      10239, true, true, 2, "" }),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(RecorderTest, RecyclingThatCannotMakeRoomStopsARunningRecording)
{
    start(kCamera1, at(0, 12, 0, 0));
    hub_->command(cmd::kVideoRecording, common::makeCameraWord(0));
    ASSERT_TRUE(recorder_->isRecording(0));
    letFramesIn();
    freeMB_ = 10;
    clock_.now = at(0, 12, 1, 0);
    recorder_->recycleTick();
    EXPECT_FALSE(recorder_->isRecording(0));
    EXPECT_EQ(view_.lastLight(0, 3), 2);
    EXPECT_EQ(operationLines(std::string(common::logtext::kStorageShort)), 0)
        << "a stop by the timer shows itself through the light only";
    EXPECT_EQ(recorder_->index(0).RecordCount(), 1u) << "what was recorded is kept";
}

// ---------------------------------------------------------------------------------------
// Player messages

TEST_F(RecorderTest, PlayerMessagesChangeTheIndexAndSaveIt)
{
    start(kCamera1, at(2, 12, 0, 0));
    addHours(at(0, 8, 0, 0), 3, 1);
    addHours(at(1, 8, 0, 0), 1, 1);
    const auto word = static_cast<int32_t>(common::makeCameraWord(0));
    const auto savedCount = [this] {
        common::RecordIndex saved;
        saved.SetStorageFolder(recorder_->storageFolder(0));
        return saved.Load() == 1 ? saved.RecordCount() : size_t(999);
    };
    // The player deletes the files itself and then tells the station.
    const std::string first = recorder_->index(0).Records()[0].path;
    fs::remove(first);
    deliver(msg::kPlayerDeletedRecord, static_cast<uint32_t>(at(0, 8, 30, 0)), word);
    EXPECT_EQ(recorder_->index(0).RecordCount(), 3u);
    EXPECT_EQ(savedCount(), 3u) << "each change is saved at once";
    deliver(msg::kPlayerDeletedDay, static_cast<uint32_t>(at(0, 12, 0, 0)), word);
    EXPECT_EQ(recorder_->index(0).RecordCount(), 1u);
    EXPECT_EQ(savedCount(), 1u);
    EXPECT_EQ(aviFiles(0).size(), 3u) << "a removed day leaves the files to the player";
    deliver(msg::kPlayerDeletedAll, 0, word);
    EXPECT_EQ(recorder_->index(0).RecordCount(), 0u);
    EXPECT_EQ(savedCount(), 0u);
    EXPECT_EQ(deliver(msg::kPlayerDeletedAll, 0, 0), 0) << "the player always names its camera";
}

} // namespace
} // namespace vantry::station
