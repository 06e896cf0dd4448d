// The main window on the hub: commands through the hub's table, the hub's calls back into the
// window, live video from the demo cameras, the manual trigger, and closing in order.
#include "ui_test_support.h"

#include "common/camera_word.h"
#include "common/station_messages.h"
#include "station/core/hub_messages.h"
#include "station/ui/camera_options_page.h"
#include "station/ui/dialog_launcher.h"
#include "station/ui/main_window.h"
#include "station/ui/picture_button.h"
#include "station/ui/split_screen.h"
#include "station/ui/status_panel.h"
#include "station/ui/time_panel.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QTest>

#include <fstream>

namespace vantry::station::ui {
namespace {

using test::RecordingPrompter;
using test::waitFor;

class MainWindowTest : public ::testing::Test {
protected:
    void start(const std::string& ini, DeviceProvider& provider, bool demo = false)
    {
        folders_.write("vantry.ini", ini);
        hub_ = std::make_unique<StationHub>(HubFolders { folders_.data(), "/nonexistent" }, provider);
        window_ = std::make_unique<MainWindow>(test::builtSkin(), texts_, prompter_);
        hub_->setView(window_.get());
        hub_->setLoginGate([this] { return loginAnswer_; });
        ASSERT_EQ(hub_->openSettingsAndLogs(), 1);
        if (demo)
            hub_->presetDevicesWhenNone(demoDevices(DeviceKind::Video), demoDevices(DeviceKind::Audio));
        ASSERT_EQ(hub_->buildChannels(false), 1);
        window_->attachHub(hub_.get());
        window_->show();
        QApplication::processEvents();
    }
    void TearDown() override
    {
        if (hub_)
            hub_->close();
        window_.reset();
        hub_.reset();
    }
    std::vector<std::string> log() const { return test::logTexts(folders_.file("Log.Dat")); }

    test::PrivateFolders folders_;
    test::NoDevices noDevices_;
    test::DemoProvider demo_; // outlives the hub: the channels leave it when they close
    UiTexts texts_;
    RecordingPrompter prompter_;
    bool loginAnswer_ = true;
    std::unique_ptr<StationHub> hub_;
    std::unique_ptr<MainWindow> window_;
};

TEST_F(MainWindowTest, ClosingAsksAndOnYesClosesTheStationFirstThenTheWindow)
{
    start("", noDevices_);
    std::vector<std::string> order;
    window_->setCloseHandler([this, &order] {
        order.push_back(window_->isVisible() ? "station, window still open" : "station after the window");
        hub_->close();
    });

    prompter_.answers = { false };
    EXPECT_FALSE(window_->requestClose());
    ASSERT_EQ(prompter_.asked.size(), 1u);
    EXPECT_EQ(prompter_.asked[0].id, 61356);
    EXPECT_EQ(prompter_.asked[0].text, "Do you want to close the program?");
    EXPECT_FALSE(hub_->isClosed());
    EXPECT_TRUE(window_->isVisible());

    prompter_.answers = { true };
    // The window's own close button goes the same way.
    window_->close();
    EXPECT_TRUE(hub_->isClosed());
    EXPECT_FALSE(window_->isVisible());
    EXPECT_EQ(order, std::vector<std::string> { "station, window still open" });
    const auto texts = log();
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts.front(), "Vantry starts.");
    EXPECT_EQ(texts.back(), "Vantry stops.");
}

TEST_F(MainWindowTest, ClosingNeedsTheLoginWhenAPasswordIsSet)
{
    start("", noDevices_);
    hub_->settings().loginRequired = 1;
    hub_->settings().loginPassword = "pw";
    window_->sendCommand(cmd::kLogout);
    ASSERT_FALSE(hub_->isLoggedIn());
    loginAnswer_ = false;
    prompter_.answers = { true };
    EXPECT_FALSE(window_->requestClose());
    EXPECT_TRUE(prompter_.asked.empty()) << "no question without the password";
    EXPECT_FALSE(hub_->isClosed());
    loginAnswer_ = true;
    EXPECT_TRUE(window_->requestClose());
    EXPECT_TRUE(hub_->isClosed());
}

TEST_F(MainWindowTest, CommandsAndHubCallsReachTheRightParts)
{
    start("", noDevices_);
    SplitScreen* split = window_->splitScreen();
    ASSERT_NE(split, nullptr);
    for (int position = button::kFirstPtz; position <= button::kPtzPreset; ++position)
        EXPECT_EQ(window_->button(position)->currentFrame(), 0) << "no camera has PTZ: button " << position;

    window_->sendCommand(cmd::kLayoutCamera1 + 2);
    EXPECT_EQ(split->layoutMode(), 2);
    EXPECT_TRUE(window_->button(3)->isOn());
    EXPECT_FALSE(window_->button(0)->isOn());
    waitFor([this] { return hub_->selectedCamera() == 2; }, std::chrono::seconds(2));
    EXPECT_EQ(hub_->selectedCamera(), 2) << "showing a camera alone selects it";
    window_->sendCommand(cmd::kLayoutAll);
    EXPECT_EQ(split->layoutMode(), geometry::kAllCameras);

    // Without two visible cameras there is no loop; without detection nothing to pause.
    window_->sendCommand(cmd::kLoopDisplay);
    window_->sendCommand(cmd::kPauseDetection);
    ASSERT_EQ(prompter_.shown.size(), 2u);
    EXPECT_EQ(prompter_.shown[0].id, 61362);
    EXPECT_EQ(prompter_.shown[1].id, 61394);
    EXPECT_EQ(prompter_.shown[1].text, "There is no camera applying detection.");
    EXPECT_FALSE(split->isLooping());

    // Lights from anywhere in the station arrive by message.
    hub_->post(common::msg::kSetIndicator, 3, static_cast<int32_t>(common::makeCameraWord(1, 5)));
    EXPECT_TRUE(waitFor([this] { return window_->statusPanel()->light(3, 1) == 5; }, std::chrono::seconds(2)));
    hub_->post(common::msg::kDetectionBlink, 1, static_cast<int32_t>(common::makeCameraWord(3)));
    EXPECT_TRUE(waitFor([this] { return window_->statusPanel()->light(2, 3) == 3; }, std::chrono::seconds(2)));

    window_->sendCommand(cmd::kFullScreen);
    EXPECT_TRUE(window_->isFullScreenShown());
    EXPECT_NE(split->parentWidget(), window_.get());
    window_->sendCommand(cmd::kRestoreSize);
    EXPECT_FALSE(window_->isFullScreenShown());
    EXPECT_EQ(split->parentWidget(), window_.get());

    window_->showCountdown(10);
    EXPECT_EQ(window_->timePanel()->timeLine(), "Left 10 seconds");
}

TEST_F(MainWindowTest, DemoCamerasShowLiveVideoAndEnterTriggersEvents)
{
    start("[State_ch01]\nfEnableManualTrigger=1\nnManualTriggerLength=1\n"
          "[State_ch02]\nfEnableManualTrigger=1\n"
          "[Log]\nfCountInMotionEvents=1\n",
          demo_, true);
    SplitScreen* split = window_->splitScreen();
    EXPECT_TRUE(waitFor([split] {
        for (int camera = 0; camera < 4; ++camera)
            if (split->lastImage(camera).isNull())
                return false;
        return true;
    })) << "every demo camera paints its picture";
    EXPECT_EQ(window_->statusPanel()->light(0, 2), 1) << "video light of camera 3";
    EXPECT_EQ(window_->statusPanel()->light(1, 0), 1) << "audio light of camera 1";

    // Two cameras visible or more: the loop runs and shows one camera at a time.
    window_->sendCommand(cmd::kLoopDisplay);
    EXPECT_TRUE(split->isLooping());
    EXPECT_GE(split->layoutMode(), 0);
    EXPECT_LT(split->layoutMode(), 4);
    window_->sendCommand(cmd::kLoopDisplay);
    EXPECT_FALSE(split->isLooping());

    QTest::keyClick(window_.get(), Qt::Key_Return);
    EXPECT_TRUE(waitFor([this] {
        const auto texts = log();
        return std::count(texts.begin(), texts.end(), "Manual triggered event.") == 2;
    }));
    EXPECT_EQ(window_->statusPanel()->light(2, 0), 2);
    EXPECT_EQ(window_->statusPanel()->light(2, 1), 2);
    EXPECT_EQ(window_->statusPanel()->light(2, 2), 0) << "camera 3 has no manual trigger";
    EXPECT_TRUE(hub_->isManualTriggerRunning());
}

} // namespace
} // namespace vantry::station::ui

namespace vantry::station::ui {
namespace {

TEST(CommandTable, EveryWindowCommandHasARowAndTheDialogsAskForTheLogin)
{
    const struct {
        uint32_t id;
        Gate gate;
    } cases[] = {
        { cmd::kPreferences, Gate::Login },        { cmd::kRemoteViewingOptions, Gate::Login },
        { cmd::kCameraOptions, Gate::Login },      { cmd::kDevices, Gate::Login },
        { cmd::kSnapshot, Gate::Login },           { cmd::kMaskOptions, Gate::Login },
        { cmd::kDetectionOptions, Gate::Login },   { cmd::kSearchRecords, Gate::Login },
        { cmd::kLogs, Gate::None },                { cmd::kFullScreen, Gate::None },
        { cmd::kLoopDisplay, Gate::None },         { cmd::kLayoutAll, Gate::None },
        { cmd::kLayoutCamera4, Gate::None },       { cmd::kAlwaysOnTop, Gate::None },
    };
    for (const auto& c : cases) {
        const auto routes = StationHub::commandRoutes();
        const auto row = std::find_if(routes.begin(), routes.end(), [&c](const CommandRoute& r) { return r.id == c.id; });
        ASSERT_NE(row, routes.end()) << c.id;
        EXPECT_EQ(row->gate, c.gate) << row->name;
    }
}

TEST_F(MainWindowTest, SearchRecordsWithoutThePlayerSaysSo)
{
    start("", noDevices_);
    window_->sendCommand(cmd::kSearchRecords);
    ASSERT_EQ(prompter_.shown.size(), 1u);
    EXPECT_EQ(prompter_.shown[0].id, 61264);
}

TEST_F(MainWindowTest, DialogCommandsAskForThePasswordOnceUntilLogout)
{
    start("", noDevices_);
    hub_->settings().loginRequired = 1;
    hub_->settings().loginPassword = "pw";
    window_->sendCommand(cmd::kLogout);
    int asked = 0;
    hub_->setLoginGate([&asked] { ++asked; return false; });
    window_->sendCommand(cmd::kLayoutAll);
    EXPECT_EQ(asked, 0) << "a layout needs no password";
    window_->sendCommand(cmd::kPreferences);
    EXPECT_EQ(asked, 1) << "a refused login opens no dialog";
}

} // namespace
} // namespace vantry::station::ui

namespace vantry::station::ui {
namespace {

std::string fileText(const std::string& path)
{
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST_F(MainWindowTest, ConfirmedPreferencesAreLoggedSavedAndANewPasswordAskedForAtOnce)
{
    start("", noDevices_);
    int asked = 0;
    hub_->setLoginGate([&asked] { ++asked; return true; });
    const common::StationSettings before = hub_->settings();
    hub_->settings().siteName = "Warehouse";
    hub_->settings().loginRequired = 1;
    hub_->settings().loginPassword = "pw";
    DialogLauncher(window_.get()).applyPreferences(before);
    EXPECT_EQ(log().back(), "Login.") << "logged out and in again with the new password";
    EXPECT_EQ(asked, 1);
    const auto texts = log();
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Modify the preferences."), texts.end());
    EXPECT_NE(fileText(folders_.file("vantry.ini")).find("sSiteName=Warehouse"), std::string::npos);
}

struct CountingLinks final : FrameLinkControl {
    void serverMessage(int, uint32_t, uint32_t, int32_t) override {}
    void frameFormat(int, const FrameFormat&) override {}
    void eventState(int, bool) override {}
    void servingChanged(bool serving) override { sent.push_back(serving); }
    std::vector<bool> sent;
};

TEST_F(MainWindowTest, ConfirmedRemoteViewingOptionsAreLoggedSavedAndSentToTheServer)
{
    start("", noDevices_);
    CountingLinks links;
    hub_->setFrameLinks(&links);
    hub_->settings().videoServerEnabled = 1;
    hub_->settings().videoServerPort = 8181;
    DialogLauncher(window_.get()).applyRemoteViewingOptions();
    EXPECT_EQ(log().back(), "Modify the video server settings.");
    EXPECT_EQ(links.sent, std::vector<bool> { true });
    EXPECT_NE(fileText(folders_.file("vantry.ini")).find("nTCPPort=8181"), std::string::npos);
    hub_->close();
    hub_->setFrameLinks(nullptr);
}

TEST_F(MainWindowTest, ConfirmedCameraOptionsNameTheChangedCamerasAndAreSaved)
{
    start("", demo_, true);
    CameraChannel* channel = hub_->channel(1);
    ASSERT_TRUE(channel && channel->hasVideoDevice());
    const auto page = [this](int camera) {
        return std::make_unique<CameraOptionsPage>(camera, hub_->settings().channels[static_cast<size_t>(camera)],
                                                   hub_->captureSettings(camera), std::vector<PictureSize> {}, true,
                                                   texts_, prompter_, [](uint32_t) {});
    };
    auto unchanged = page(0);
    auto renamed = page(1);
    renamed->cameraName->setText("Back door");
    renamed->displayLiveVideo->setChecked(false);
    const auto changed = DialogLauncher(window_.get()).applyCameraOptions({ unchanged.get(), renamed.get() });
    EXPECT_EQ(changed, std::vector<int> { 1 });
    EXPECT_EQ(hub_->settings().channels[1].cameraName, "Back door");
    EXPECT_EQ(hub_->settings().channels[1].displayLiveVideo, 0);
    EXPECT_EQ(log().back(), "Modify the option of camera  2. ");
    const std::string ini = fileText(folders_.file("vantry.ini"));
    EXPECT_NE(ini.find("sCameraName=Back door"), std::string::npos);
    EXPECT_TRUE(DialogLauncher(window_.get()).applyCameraOptions({ unchanged.get() }).empty());
}

TEST_F(MainWindowTest, ConfirmedDevicesAreChosenAndSaved)
{
    start("", demo_, true);
    const auto video = demoDevices(DeviceKind::Video);
    std::array<DeviceChoice, 4> choices {};
    choices[0] = { video[3].displayName, "" };
    DialogLauncher(window_.get()).applyDevices(choices, true, false);
    EXPECT_EQ(hub_->captureSettings(0).videoDevice, video[3].displayName);
    EXPECT_EQ(hub_->captureSettings(3).videoDevice, "");
    EXPECT_EQ(hub_->channel(0)->videoDevice(), video[3].displayName);
    EXPECT_FALSE(hub_->channel(3)->hasVideoDevice());
    EXPECT_EQ(hub_->settings().autoFrameRateAdjustment, 1);
    EXPECT_NE(fileText(folders_.file("vantry.ini")).find("VideoDevice=" + video[3].displayName), std::string::npos);
}

} // namespace
} // namespace vantry::station::ui
