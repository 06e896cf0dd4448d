#include "hub_test_support.h"

#include "common/camera_word.h"
#include "common/link_packet.h"
#include "common/log_texts.h"
#include "platform/endpoint.h"
#include "station/core/demo_devices.h"
#include "station/core/station_hub.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <tuple>

namespace vantry::station {
namespace {

using test::application;
using test::countEntries;
using test::waitFor;
namespace msg = common::msg;

constexpr platform::WindowHandle kPeer = 4242; // some other program's endpoint

class DemoProvider final : public DeviceProvider {
public:
    std::vector<CaptureDevice> devices(DeviceKind kind) const override { return demoDevices(kind); }
    GstElement* createSource(const CaptureDevice& device) override { return createDemoSource(device); }
};

struct RecordingView final : StationView {
    std::vector<std::tuple<int, int, int>> indicators; // camera, kind, state
    std::vector<int> messages;
    std::vector<int> countdowns;
    int raised = 0;
    int selected = -1;
    void setIndicator(int camera, int kind, int state) override { indicators.emplace_back(camera, kind, state); }
    void showMessage(int id, std::string_view) override { messages.push_back(id); }
    void showCountdown(int seconds) override { countdowns.push_back(seconds); }
    void selectCamera(int camera) override { selected = camera; }
    void raiseWindow() override { ++raised; }
};

struct FakeRecorder final : RecordingControl {
    bool startSucceeds = true;
    std::vector<std::tuple<int, int, bool>> calls; // camera, type, on
    std::vector<int> eventBegins, eventEnds;
    bool setRecording(int camera, int type, bool on, bool) override
    {
        calls.emplace_back(camera, type, on);
        return !on || startSucceeds;
    }
    void scheduledStart(int) override {}
    void scheduledStop(int) override {}
    void eventBegin(int camera, uint32_t) override { eventBegins.push_back(camera); }
    void eventEnd(int camera, uint32_t) override { eventEnds.push_back(camera); }
    void timeChanged() override { ++timeChanges; }
    int timeChanges = 0;
};

struct FakeIndex final : RecordIndexControl {
    bool anyWritten = true;
    int saves = 0;
    std::vector<std::tuple<char, int, uint32_t>> removals; // 'r'ecord, 'd'ay, 'a'll
    bool saveIndexes() override { ++saves; return anyWritten; }
    void reloadIndexes() override {}
    void removeRecord(int camera, uint32_t time) override { removals.emplace_back('r', camera, time); }
    void removeDay(int camera, uint32_t time) override { removals.emplace_back('d', camera, time); }
    void removeAll(int camera) override { removals.emplace_back('a', camera, 0); }
};

struct FakeLinks final : FrameLinkControl {
    std::vector<std::tuple<int, uint32_t, uint32_t>> serverMessages; // camera, msg, wParam
    std::vector<std::pair<int, bool>> events;
    void serverMessage(int camera, uint32_t message, uint32_t wParam, int32_t) override
    {
        serverMessages.emplace_back(camera, message, wParam);
    }
    void frameFormat(int, const FrameFormat&) override {}
    void eventState(int camera, bool inEvent) override { events.emplace_back(camera, inEvent); }
    void servingChanged(bool) override {}
};

struct FakeServices final : StationEventListener {
    std::vector<std::pair<int, EventKind>> notified;
    std::vector<int> ended;
    void eventNotification(int camera, EventKind kind, const common::ChannelSettings&) override
    {
        notified.emplace_back(camera, kind);
    }
    void eventEnded(int camera) override { ended.push_back(camera); }
};

class StationHubTest : public ::testing::Test {
protected:
    void SetUp() override { application(); }
    void TearDown() override { hub_.reset(); }

    // Starts a hub on the given settings text, with every partner attached.
    void start(const std::string& ini, bool loggedInAtStart = true)
    {
        folders_.write("vantry.ini", ini);
        hub_ = std::make_unique<StationHub>(HubFolders { folders_.data(), "/nonexistent" }, provider_);
        hub_->setView(&view_);
        hub_->setRecording(&recorder_);
        hub_->setRecordIndex(&index_);
        hub_->setFrameLinks(&links_);
        hub_->addEventListener(&services_);
        ASSERT_EQ(hub_->openSettingsAndLogs(), 1);
        ASSERT_EQ(hub_->buildChannels(loggedInAtStart), 1);
        drain();
    }
    void drain() { QCoreApplication::processEvents(QEventLoop::AllEvents, 50); }

    int32_t deliver(uint32_t number, uint32_t wParam, uint32_t lParam, platform::WindowHandle sender = platform::kNoWindow)
    {
        platform::Message message;
        message.msg = number;
        message.wParam = wParam;
        message.lParam = static_cast<int32_t>(lParam);
        message.sender = sender;
        return hub_->dispatch(message);
    }
    std::vector<test::RawLogEntry> log() const { return test::readLogFile(folders_.file("Log.Dat")); }

    test::PrivateFolders folders_;
    DemoProvider provider_;
    RecordingView view_;
    FakeRecorder recorder_;
    FakeIndex index_;
    FakeLinks links_;
    FakeServices services_;
    std::unique_ptr<StationHub> hub_;
};

TEST_F(StationHubTest, EachMessageAndCommandHasOneRoute)
{
    std::set<uint32_t> messages;
    for (const MessageRoute& route : StationHub::messageRoutes()) {
        EXPECT_TRUE(messages.insert(route.number).second) << route.number;
        EXPECT_NE(route.handler, nullptr) << route.name;
    }
    std::set<uint32_t> commands;
    for (const CommandRoute& route : StationHub::commandRoutes())
        EXPECT_TRUE(commands.insert(route.id).second) << route.id;
}

TEST_F(StationHubTest, CameraWordNamesTheCameraOrTheSelectedOne)
{
    start("");
    EXPECT_EQ(view_.selected, 0) << "start-up selects camera 1";
    deliver(msg::kSelectCamera, 0, common::makeCameraWord(2));
    ASSERT_EQ(hub_->selectedCamera(), 2);

    struct Case {
        uint32_t number;
        uint32_t wParam;
        uint32_t lParam;
        std::tuple<int, int, int> light; // camera, kind, state; camera -1 = ignored
    };
    const Case cases[] = {
        { msg::kDetectionMotion, 100, common::makeCameraWord(1), { 1, 2, 2 } },
        { msg::kDetectionMotion, 100, 0x00000000u, { 2, 2, 2 } },       // high half 0: selected
        { msg::kDetectionBlink, 1, common::makeCameraWord(3), { 3, 2, 3 } },
        { msg::kDetectionBlink, 0, common::makeCameraWord(3), { 3, 2, 2 } },
        { msg::kDetectionIdle, 100, common::makeCameraWord(0), { 0, 2, 1 } },
        { msg::kSetIndicator, 3, common::makeCameraWord(1, 5), { 1, 3, 5 } },
        { msg::kSetIndicator, 3, 0x00000001u, { 2, 3, 1 } },              // selected, state 1
        { msg::kDetectionMotion, 100, common::makeCameraWord(4), { -1, 0, 0 } }, // camera index 4
        { msg::kDetectionMotion, 100, 0xFFFF0000u, { -1, 0, 0 } },
    };
    for (const Case& c : cases) {
        view_.indicators.clear();
        deliver(c.number, c.wParam, c.lParam);
        if (std::get<0>(c.light) < 0) {
            EXPECT_TRUE(view_.indicators.empty()) << c.number << " " << std::hex << c.lParam;
        } else {
            EXPECT_EQ(view_.indicators, (std::vector { c.light })) << c.number << " " << std::hex << c.lParam;
        }
    }
}

TEST_F(StationHubTest, PlayerIndexMessagesNameTheirCameraExactly)
{
    start("");
    deliver(msg::kSelectCamera, 0, common::makeCameraWord(1));
    struct Case {
        uint32_t number;
        uint32_t lParam;
        bool handled;
        char kind;
        int camera;
    };
    const Case cases[] = {
        { msg::kPlayerDeletedRecord, common::makeCameraWord(2), true, 'r', 2 },
        { msg::kPlayerDeletedDay, common::makeCameraWord(3), true, 'd', 3 },
        { msg::kPlayerDeletedAll, common::makeCameraWord(0), true, 'a', 0 },
        { msg::kPlayerDeletedRecord, common::makeCameraWord(4), false, 0, 0 }, // index 4
        { msg::kPlayerDeletedDay, common::makeCameraWord(4), false, 0, 0 },
        { msg::kPlayerDeletedAll, common::makeCameraWord(4), false, 0, 0 },
        { msg::kPlayerDeletedRecord, 0x00000000u, false, 0, 0 },             // no camera at all
        { msg::kPlayerDeletedAll, 0xFFFF0000u, false, 0, 0 },
    };
    for (const Case& c : cases) {
        index_.removals.clear();
        deliver(c.number, 1700000000u, c.lParam, kPeer);
        if (c.handled) {
            ASSERT_EQ(index_.removals.size(), 1u) << c.number;
            EXPECT_EQ(std::get<0>(index_.removals[0]), c.kind);
            EXPECT_EQ(std::get<1>(index_.removals[0]), c.camera);
            EXPECT_EQ(std::get<2>(index_.removals[0]), c.kind == 'a' ? 0u : 1700000000u);
        } else {
            EXPECT_TRUE(index_.removals.empty()) << c.number << " " << std::hex << c.lParam;
        }
    }
}

TEST_F(StationHubTest, ServerMessagesReachTheirLinkAndIndexFourIsIgnored)
{
    start("");
    deliver(msg::kServerWantsCamera, common::makeServerWord(2), 0, kPeer);
    deliver(msg::kServerWantsCamera, 0x40000, 0, kPeer); // camera index 4
    deliver(msg::kServerPtzCommand, common::makeServerWord(1, 7), 0, kPeer);
    deliver(msg::kServerRegisters, 0, 99, kPeer);
    ASSERT_EQ(links_.serverMessages.size(), 6u);
    EXPECT_EQ(links_.serverMessages[0], std::make_tuple(2, msg::kServerWantsCamera, common::makeServerWord(2)));
    EXPECT_EQ(links_.serverMessages[1], std::make_tuple(1, msg::kServerPtzCommand, common::makeServerWord(1, 7)));
    for (int camera = 0; camera < 4; ++camera)
        EXPECT_EQ(std::get<0>(links_.serverMessages[2 + camera]), camera) << "32801 goes to all four links";
}

TEST_F(StationHubTest, StationMessagesFromOtherProgramsAreRefused)
{
    start("[Log]\nfCountInMotionEvents=1\n");
    EXPECT_EQ(deliver(msg::kEventBegins, 100, common::makeCameraWord(0), kPeer), 0);
    EXPECT_EQ(deliver(kMsgCommand, cmd::kExit, 0, kPeer), 0);
    EXPECT_FALSE(hub_->isClosed());
    EXPECT_EQ(countEntries(log(), std::string(common::logtext::kMotionEvent), 0), 0);
    EXPECT_TRUE(recorder_.eventBegins.empty());

    // With the endpoint in place, only its own local posts count as the station's; a program
    // without an endpoint (sender 0) is a stranger too.
    auto endpoint = platform::Endpoint::create("VYWatch", "", [this](const platform::Message& m) { return hub_->dispatch(m); });
    ASSERT_NE(endpoint, nullptr);
    hub_->attachEndpoint(endpoint.get());
    EXPECT_EQ(deliver(msg::kEventBegins, 100, common::makeCameraWord(0), platform::kNoWindow), 0);
    EXPECT_TRUE(hub_->post(msg::kEventBegins, 100, static_cast<int32_t>(common::makeCameraWord(0))));
    EXPECT_TRUE(waitFor([&] { return recorder_.eventBegins == std::vector { 0 }; }));
    hub_->attachEndpoint(nullptr);
}

TEST_F(StationHubTest, SuspendIsRefusedAndAClockChangeReachesTheRecorder)
{
    start("");
    EXPECT_EQ(deliver(kMsgPowerBroadcast, kPowerQuerySuspend, 0), kPowerQueryDeny);
    EXPECT_EQ(deliver(kMsgPowerBroadcast, 7, 0), 1) << "other power events pass on";
    deliver(kMsgTimeChange, 0, 0);
    EXPECT_EQ(recorder_.timeChanges, 1);
}

TEST_F(StationHubTest, EventDispatchLogsByTypeAndNotifiesOnlyWhenAsked)
{
    start("[Log]\nfCountInMotionEvents=1\n[State_ch02]\nfEnableEventNotification=1\n"
          "[Notification_ch02]\nfShowVantoWatch=1\n");
    deliver(msg::kEventBegins, 100, common::makeCameraWord(0));          // motion, no notification
    deliver(msg::kEventBegins, 100, common::makeCameraWord(1, 1));       // manual, notification
    deliver(msg::kEventEnds, 105, common::makeCameraWord(1));

    const auto entries = log();
    EXPECT_EQ(countEntries(entries, std::string(common::logtext::kMotionEvent), 0), 1);
    EXPECT_EQ(countEntries(entries, std::string(common::logtext::kManualEvent), 1), 1);
    EXPECT_EQ(countEntries(entries, std::string(common::logtext::kMotionEvent), 1), 0);
    for (const auto& entry : entries) {
        if (entry.text == common::logtext::kMotionEvent || entry.text == common::logtext::kManualEvent) {
            EXPECT_EQ(entry.type, 1) << "events are Event entries";
        }
    }

    EXPECT_EQ(services_.notified, (std::vector<std::pair<int, EventKind>> { { 1, EventKind::Manual } }));
    EXPECT_EQ(view_.raised, 1);
    EXPECT_EQ(recorder_.eventBegins, (std::vector { 0, 1 }));
    EXPECT_EQ(recorder_.eventEnds, (std::vector { 1 }));
    EXPECT_EQ(services_.ended, (std::vector { 1 }));
    EXPECT_EQ(links_.events, (std::vector<std::pair<int, bool>> { { 0, true }, { 1, true }, { 1, false } }));
}

TEST_F(StationHubTest, EventsAreNotLoggedUnlessCounted)
{
    start("");
    deliver(msg::kEventBegins, 100, common::makeCameraWord(0));
    EXPECT_EQ(countEntries(log(), std::string(common::logtext::kMotionEvent), 0), 0);
    EXPECT_EQ(recorder_.eventBegins, (std::vector { 0 })) << "recording still follows the event";
}

TEST_F(StationHubTest, OperationLogTextsTravelByTicketFromAnyThread)
{
    start("");
    std::thread worker([this] { hub_->postOperationLog(common::makeCameraWord(3), "From a worker."); });
    worker.join();
    ASSERT_TRUE(waitFor([&] { return countEntries(log(), "From a worker.", 3) == 1; }));
    // A forged or repeated ticket writes nothing.
    EXPECT_EQ(deliver(msg::kAddOperationLog, 1, common::makeCameraWord(0)), 0);
    EXPECT_EQ(deliver(msg::kAddOperationLog, 0xDEADBEEF, common::makeCameraWord(0)), 0);
}

TEST_F(StationHubTest, PlayerIndexSaveIsAnsweredOnlyWhenSomethingWasWritten)
{
    start("");
    std::vector<uint32_t> received;
    auto player = platform::Endpoint::create("VYPlayer", "", [&](const platform::Message& m) {
        received.push_back(m.msg);
        return 0;
    });
    ASSERT_NE(player, nullptr);
    index_.anyWritten = false;
    deliver(msg::kPlayerSaveIndex, 0, 0, kPeer);
    drain();
    EXPECT_TRUE(received.empty());
    index_.anyWritten = true;
    deliver(msg::kPlayerSaveIndex, 0, 0, kPeer);
    EXPECT_TRUE(waitFor([&] { return !received.empty(); }));
    EXPECT_EQ(received, (std::vector { msg::kIndexSaved }));
}

TEST_F(StationHubTest, ConnectionReportsAreLoggedOnlyFromPeersWithTheRightKind)
{
    start("[Log]\nfCountInRemoteConnections=1\n");
    platform::Message report;
    report.msg = platform::kMsgCopyData;
    report.sender = kPeer;
    report.copyDataType = msg::kCopyDataConnectionReport;
    report.copyData = common::buildConnectionReport("10.0.0.5:50123");
    EXPECT_EQ(hub_->dispatch(report), 1);
    report.copyDataType = 2;
    EXPECT_EQ(hub_->dispatch(report), 0);
    const std::string text = common::logtext::fill(common::logtext::kProgramConnection, "10.0.0.5:50123");
    EXPECT_EQ(countEntries(log(), text, -1), 1);
}

TEST_F(StationHubTest, PauseDetectionWithNoCameraDetectingSaysSoAndArmsNoTimer)
{
    start("[ZtCAP01]\nVideoDevice=demo:camera:1\n"); // a camera, but detection off
    hub_->command(cmd::kPauseDetection);
    EXPECT_EQ(view_.messages, (std::vector { text_id::kNoCameraDetecting }));
    EXPECT_FALSE(hub_->isDetectionPaused());
    EXPECT_TRUE(view_.countdowns.empty());
}

TEST_F(StationHubTest, PauseDetectionStopsDetectingCamerasForItsLength)
{
    start("[Preference]\nm_nPauseDetectionLength=400\n[ZtCAP01]\nVideoDevice=demo:camera:1\n"
          "[State_ch01]\nfEnableMotionDetection=1\n");
    ASSERT_TRUE(hub_->isDetectionActive(0));
    hub_->command(cmd::kPauseDetection);
    EXPECT_TRUE(hub_->isDetectionPaused());
    EXPECT_FALSE(hub_->isDetectionActive(0));
    EXPECT_EQ(hub_->settings().channels[0].motionDetectionEnabled, 1) << "the setting stays";
    EXPECT_TRUE(view_.messages.empty());
    EXPECT_TRUE(waitFor([&] { return hub_->isDetectionActive(0); }, std::chrono::seconds(3)));
    EXPECT_FALSE(hub_->isDetectionPaused());
}

TEST_F(StationHubTest, DetectionCannotBeSwitchedOffUnderEventRecording)
{
    start("[ZtCAP01]\nVideoDevice=demo:camera:1\n[State_ch01]\nfEnableMotionDetection=1\nfEnableRecording=1\n"
          "[Preference_ch01]\nnRecordingType=1\n");
    hub_->command(cmd::kApplyMotionDetection, common::makeCameraWord(0));
    EXPECT_EQ(view_.messages, (std::vector { text_id::kEventRecordingKeepsDetection }));
    EXPECT_EQ(hub_->settings().channels[0].motionDetectionEnabled, 1);
    EXPECT_TRUE(hub_->isDetectionActive(0));

    // Round-the-clock recording does not hold detection.
    hub_->settings().channels[0].recordingType = 0;
    hub_->command(cmd::kApplyMotionDetection, common::makeCameraWord(0));
    EXPECT_EQ(hub_->settings().channels[0].motionDetectionEnabled, 0);
    EXPECT_FALSE(hub_->isDetectionActive(0));
}

TEST_F(StationHubTest, LoginGateGuardsMarkedCommandsOnceUntilLogout)
{
    start("[Preference]\nfHasMask=1\n[ZtCAP01]\nVideoDevice=demo:camera:1\n", /*loggedInAtStart=*/false);
    ASSERT_FALSE(hub_->isLoggedIn());
    int asked = 0;
    bool accept = false;
    hub_->setLoginGate([&] {
        ++asked;
        return accept;
    });
    const size_t startCalls = recorder_.calls.size();

    hub_->command(cmd::kVideoRecording, common::makeCameraWord(0));
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(recorder_.calls.size(), startCalls) << "a refused login does nothing";
    EXPECT_EQ(hub_->settings().channels[0].recordingEnabled, 0);

    accept = true;
    hub_->command(cmd::kVideoRecording, common::makeCameraWord(0));
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(hub_->settings().channels[0].recordingEnabled, 1);
    hub_->command(cmd::kVideoRecording, common::makeCameraWord(0));
    EXPECT_EQ(asked, 2) << "logged in: no second question";
    EXPECT_EQ(hub_->settings().channels[0].recordingEnabled, 0);

    hub_->command(cmd::kLogout);
    EXPECT_FALSE(hub_->isLoggedIn());
    EXPECT_EQ(countEntries(log(), std::string(common::logtext::kLogout), -1), 1);
    hub_->command(cmd::kDisplayLiveVideo); // not guarded
    EXPECT_EQ(asked, 2);
    hub_->command(cmd::kRecord, common::makeCameraWord(0, 1));
    EXPECT_EQ(asked, 3);
}

TEST_F(StationHubTest, FailedRecordingStartClearsTheFlagButAMissingRecorderKeepsIt)
{
    start("[ZtCAP01]\nVideoDevice=demo:camera:1\n");
    recorder_.startSucceeds = false;
    hub_->command(cmd::kRecord, common::makeCameraWord(0, 1));
    EXPECT_EQ(hub_->settings().channels[0].recordingEnabled, 0);
    EXPECT_EQ(recorder_.calls.back(), std::make_tuple(0, 0, true));

    // Without a recorder nothing can record, and the stored choice must survive the run.
    hub_->setRecording(nullptr);
    hub_->settings().channels[0].recordingEnabled = 1;
    hub_->command(cmd::kVideoRecording, common::makeCameraWord(0));
    EXPECT_EQ(hub_->settings().channels[0].recordingEnabled, 1);
}

TEST_F(StationHubTest, EventRecordingToggleCarriesDetectionWithIt)
{
    start("[ZtCAP01]\nVideoDevice=demo:camera:1\n[Preference_ch01]\nnRecordingType=1\n");
    hub_->command(cmd::kVideoRecording, common::makeCameraWord(0));
    EXPECT_EQ(hub_->settings().channels[0].recordingEnabled, 1);
    EXPECT_EQ(hub_->settings().channels[0].motionDetectionEnabled, 1);
    EXPECT_TRUE(hub_->isDetectionActive(0));

    hub_->command(cmd::kVideoRecording, common::makeCameraWord(0));
    EXPECT_EQ(hub_->settings().channels[0].motionDetectionEnabled, 0);
    EXPECT_FALSE(hub_->isDetectionActive(0));

    recorder_.startSucceeds = false;
    hub_->command(cmd::kVideoRecording, common::makeCameraWord(0));
    EXPECT_EQ(hub_->settings().channels[0].recordingEnabled, 0) << "a failed start clears the flag";
    EXPECT_FALSE(hub_->isDetectionActive(0)) << "and detection follows it";
}

TEST_F(StationHubTest, SavedStateAtStartStartsRecordingAndDetectionOnlyWithADevice)
{
    start("[ZtCAP02]\nVideoDevice=demo:camera:2\n"
          "[State_ch02]\nfEnableRecording=1\nfEnableMotionDetection=1\n"
          "[State_ch03]\nfEnableRecording=1\nfEnableMotionDetection=1\n"); // camera 3 has no device
    EXPECT_EQ(recorder_.calls, (std::vector { std::make_tuple(1, 0, true) }));
    EXPECT_TRUE(hub_->isDetectionActive(1));
    EXPECT_FALSE(hub_->isDetectionActive(2));
    EXPECT_EQ(hub_->settings().channels[2].recordingEnabled, 1) << "kept for when the camera returns";
}

TEST_F(StationHubTest, ClosingLogsStopsAndSavesTheSettings)
{
    start("[ZtCAP01]\nVideoDevice=demo:camera:1\n");
    hub_->command(cmd::kDisplayLiveVideo, common::makeCameraWord(0)); // 1 -> 0, kept in memory
    hub_->close();
    EXPECT_TRUE(hub_->isClosed());
    const auto entries = log();
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(countEntries(entries, std::string(common::logtext::kStationStarts), -1), 1);
    EXPECT_EQ(countEntries(entries, std::string(common::logtext::kStationStops), -1), 1);
    const std::string ini = folders_.read("vantry.ini");
    EXPECT_NE(ini.find("MainWndClassName04=VYWatch"), std::string::npos);
    EXPECT_NE(ini.find("fDisplayLiveVideo=0"), std::string::npos);
    EXPECT_NE(ini.find("VideoDevice=demo:camera:1"), std::string::npos);
    EXPECT_EQ(deliver(msg::kEventBegins, 1, common::makeCameraWord(0)), 0) << "nothing is handled after closing";
}

TEST_F(StationHubTest, DemoPresetFillsCamerasOnlyWhenNoneHasADevice)
{
    folders_.write("vantry.ini", "");
    StationHub hub(HubFolders { folders_.data(), "/nonexistent" }, provider_);
    ASSERT_EQ(hub.openSettingsAndLogs(), 1);
    EXPECT_EQ(hub.presetDevicesWhenNone(demoDevices(DeviceKind::Video), demoDevices(DeviceKind::Audio)), 4);
    EXPECT_EQ(hub.presetDevicesWhenNone(demoDevices(DeviceKind::Video), {}), 0) << "cameras have devices now";
    const std::string ini = folders_.read("vantry.ini");
    EXPECT_NE(ini.find("VideoDevice=demo:camera:4"), std::string::npos);
    EXPECT_NE(ini.find("AudioDevice=demo:microphone:4"), std::string::npos);
}

} // namespace
} // namespace vantry::station
