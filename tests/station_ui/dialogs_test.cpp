// The dialogs' checks: ranges, refusals with their message numbers and texts, and what a
// confirmed dialog stores.
#include "ui_test_support.h"

#include "station/core/camera_channel.h"
#include "station/ui/devices_dialog.h"
#include "station/ui/log_dialog.h"
#include "station/ui/login_dialog.h"
#include "station/ui/mask_editor.h"
#include "station/ui/mask_view.h"
#include "station/ui/motion_options_dialog.h"
#include "station/ui/preferences_dialog.h"
#include "station/ui/record_storage_dialog.h"
#include "station/ui/remote_viewing_dialog.h"
#include "station/ui/schedule_dialog.h"
#include "station/ui/schedule_grid.h"
#include "station/ui/ui_texts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTreeWidget>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vantry::station::ui {
namespace {

using test::RecordingPrompter;

// A port that is in use while the object lives.
class TakenPort {
public:
    TakenPort()
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(fd_, 1);
        socklen_t length = sizeof address;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~TakenPort() { ::close(fd_); }
    int port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
};

// A port nobody listens on: one the system just gave out and took back.
int freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

TEST(LoginDialog, AWrongPasswordKeepsTheDialogOpenAsOftenAsTried)
{
    UiTexts texts;
    RecordingPrompter prompter;
    LoginDialog dialog("Secret", texts, prompter);
    for (const char* attempt : { "secret", "Secret ", "" }) {
        dialog.passwordField()->setText(attempt);
        dialog.accept();
        EXPECT_EQ(dialog.result(), QDialog::Rejected) << attempt;
    }
    ASSERT_EQ(prompter.shown.size(), 3u);
    EXPECT_EQ(prompter.shown[0].id, 61206);
    EXPECT_EQ(prompter.shown[0].text, "Password is incorrect!\n\n Please retry again.");
    dialog.passwordField()->setText("Secret");
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST(PreferencesDialog, FieldsAreCheckedInOrderAndStoredInMilliseconds)
{
    common::StationSettings settings;
    RecordingPrompter prompter;
    const struct {
        const char* field;
        const char* value;
        int id;
        const char* text;
    } cases[] = {
        { "loop", "0", 0, "Please enter an integer between 1 and 60." },
        { "loop", "61", 0, "Please enter an integer between 1 and 60." },
        { "loop", "x", 0, "Please enter an integer between 1 and 60." },
        { "pause", "4", 0, "Please enter an integer between 5 and 600." },
        { "pause", "601", 0, "Please enter an integer between 5 and 600." },
        { "hour", "24", 0, "Please enter an integer between 0 and 23." },
        { "hour", "-1", 0, "Please enter an integer between 0 and 23." },
        { "password", "", 61393, "You must enter the password first." },
    };
    for (const auto& c : cases) {
        PreferencesDialog dialog(settings, prompter);
        dialog.loopSeconds->setText("3");
        dialog.pauseSeconds->setText("10");
        dialog.restartHour->setText("3");
        QLineEdit* field = std::string(c.field) == "loop" ? dialog.loopSeconds
            : std::string(c.field) == "pause"              ? dialog.pauseSeconds
            : std::string(c.field) == "hour"               ? dialog.restartHour
                                                           : dialog.password;
        if (field == dialog.password)
            dialog.passwordProtection->setChecked(true);
        field->setText(c.value);
        const Refusal refusal = dialog.check();
        EXPECT_EQ(refusal.messageId, c.id) << c.field << "=" << c.value;
        EXPECT_EQ(refusal.text, c.text) << c.field << "=" << c.value;
        EXPECT_EQ(refusal.focus, field);
    }

    PreferencesDialog dialog(settings, prompter);
    dialog.siteName->setText("Garage");
    dialog.passwordProtection->setChecked(true);
    dialog.password->setText("pw");
    dialog.loopSeconds->setText("60");
    dialog.pauseSeconds->setText("5");
    dialog.restartHour->setText("0");
    ASSERT_FALSE(dialog.check());
    dialog.store(settings);
    EXPECT_EQ(settings.siteName, "Garage");
    EXPECT_EQ(settings.loginRequired, 1);
    EXPECT_EQ(settings.loginPassword, "pw");
    EXPECT_EQ(settings.loopDisplayLengthMs, 60000);
    EXPECT_EQ(settings.pauseDetectionLengthMs, 5000);
    EXPECT_EQ(dialog.password->maxLength(), 16);
    EXPECT_EQ(dialog.siteName->maxLength(), 64);
}

class RemoteViewingTest : public ::testing::Test {
protected:
    RemoteViewingTest()
    {
        settings_.videoServerPort = freePort();
        settings_.webServerPort = freePort();
        settings_.connectionLimit = 16;
    }
    common::StationSettings settings_;
    RecordingPrompter prompter_;
};

TEST_F(RemoteViewingTest, RefusalsComeInTheirOrderWithTheirMessages)
{
    const struct {
        const char* what;
        std::function<void(RemoteViewingDialog&)> set;
        int id;
    } cases[] = {
        { "password check without password", [](RemoteViewingDialog& d) { d.verifyPassword->setChecked(true); d.password->clear(); }, 61393 },
        { "connect by ID without ID", [](RemoteViewingDialog& d) { d.connectById->setChecked(true); d.connectId->setText(" "); }, 61470 },
        { "connection limit 0", [](RemoteViewingDialog& d) { d.connectionLimit->setText("0"); }, 61302 },
        { "connection limit 17", [](RemoteViewingDialog& d) { d.connectionLimit->setText("17"); }, 61302 },
        { "password first, then ID", [](RemoteViewingDialog& d) {
              d.verifyPassword->setChecked(true); d.connectById->setChecked(true); d.connectionLimit->setText("99"); }, 61393 },
    };
    for (const auto& c : cases) {
        RemoteViewingDialog dialog(settings_, {}, prompter_);
        c.set(dialog);
        const auto outcome = dialog.check();
        EXPECT_EQ(outcome.refusal.messageId, c.id) << c.what;
        EXPECT_EQ(outcome.refusal.text, UiTexts::text(c.id)) << c.what;
    }
    EXPECT_EQ(UiTexts::text(61302), "The maximum number of connections must be from 1 to 16.");
    EXPECT_EQ(UiTexts::text(61470), "The connect ID has not yet specified.");
}

TEST_F(RemoteViewingTest, PortsOutsideTheirRangeAreRefused)
{
    for (const char* port : { "0", "65536", "70000", "-5" }) {
        RemoteViewingDialog dialog(settings_, {}, prompter_);
        dialog.streamPort->setText(port);
        const auto outcome = dialog.check();
        EXPECT_EQ(outcome.refusal.text, "Please enter an integer between 1 and 65535.") << port;
        EXPECT_EQ(outcome.refusal.focus, dialog.streamPort);
    }
}

TEST_F(RemoteViewingTest, ATakenPortIsRefusedUnlessTheRunningServerHoldsIt)
{
    TakenPort taken;
    settings_.videoServerPasswordCheck = 1;
    settings_.videoServerPassword = "pw";
    {
        RemoteViewingDialog dialog(settings_, {}, prompter_);
        dialog.streamEnable->setChecked(true);
        dialog.streamPort->setText(QString::number(taken.port()));
        const auto outcome = dialog.check();
        EXPECT_EQ(outcome.refusal.messageId, 61479);
        EXPECT_EQ(outcome.refusal.text, "The specified TCP port number for Video Stream Server is not available now. "
                                        "Please choose another TCP port number.");
        EXPECT_EQ(outcome.refusal.focus, dialog.streamPort);
    }
    {
        RemoteViewingDialog dialog(settings_, {}, prompter_);
        dialog.webEnable->setChecked(true);
        dialog.webPort->setText(QString::number(taken.port()));
        const auto outcome = dialog.check();
        EXPECT_EQ(outcome.refusal.messageId, 61480);
        EXPECT_EQ(outcome.refusal.focus, dialog.webPort);
    }
    {
        // The stream server runs on that port: it is its own, nothing to check.
        settings_.videoServerPort = taken.port();
        RemoteViewingDialog dialog(settings_, ServerPorts { true, taken.port(), false, 0 }, prompter_);
        dialog.streamEnable->setChecked(true);
        EXPECT_TRUE(dialog.check().accepted());
    }
    {
        // A disabled server's port is not checked.
        RemoteViewingDialog dialog(settings_, {}, prompter_);
        dialog.streamEnable->setChecked(false);
        dialog.streamPort->setText(QString::number(taken.port()));
        EXPECT_TRUE(dialog.check().accepted());
    }
}

TEST_F(RemoteViewingTest, AServerWithoutPasswordCheckAsksFirst)
{
    {
        // Yes with a password: the box is ticked and the dialog stays for another OK.
        prompter_.answers = { true };
        RemoteViewingDialog dialog(settings_, {}, prompter_);
        dialog.streamEnable->setChecked(true);
        dialog.password->setText("pw");
        const auto outcome = dialog.check();
        EXPECT_TRUE(outcome.stayOpen);
        EXPECT_FALSE(outcome.refusal);
        EXPECT_TRUE(dialog.verifyPassword->isChecked());
        ASSERT_EQ(prompter_.asked.size(), 1u);
        EXPECT_EQ(prompter_.asked[0].id, 61469);
        EXPECT_TRUE(dialog.check().accepted()) << "the second OK goes through";
    }
    {
        // Yes without a password: 61393.
        prompter_.answers = { true };
        RemoteViewingDialog dialog(settings_, {}, prompter_);
        dialog.webEnable->setChecked(true);
        const auto outcome = dialog.check();
        EXPECT_EQ(outcome.refusal.messageId, 61393);
        EXPECT_FALSE(dialog.verifyPassword->isChecked());
    }
    {
        // No: the settings go through as they are.
        prompter_.answers = { false };
        RemoteViewingDialog dialog(settings_, {}, prompter_);
        dialog.streamEnable->setChecked(true);
        dialog.allowedCameras[1]->setChecked(false);
        ASSERT_TRUE(dialog.check().accepted());
        common::StationSettings stored = settings_;
        dialog.store(stored);
        EXPECT_EQ(stored.videoServerEnabled, 1);
        EXPECT_EQ(stored.videoServerPasswordCheck, 0);
        EXPECT_FALSE(stored.IsCameraServed(1));
        EXPECT_TRUE(stored.IsCameraServed(0));
        EXPECT_TRUE(stored.IsCameraServed(7)) << "cameras beyond the station's four keep their bits";
    }
}

std::vector<CaptureDevice> videoDevices()
{
    return { { DeviceKind::Video, "/dev/video0", "Front door" }, { DeviceKind::Video, "/dev/video2", "Garden" } };
}

std::vector<CaptureDevice> audioDevices()
{
    return { { DeviceKind::Audio, "mic:0", "Door mic" }, { DeviceKind::Audio, "mic:1", "Garden mic" } };
}

TEST(DevicesDialog, TwoCamerasOnOneDeviceAreRefused)
{
    RecordingPrompter prompter;
    const struct {
        std::array<DeviceChoice, 4> choices;
        int id;
        const char* start;
    } cases[] = {
        { { { { "/dev/video0", "" }, { "", "" }, { "/dev/video0", "" }, { "", "" } } }, 61359,
          "Camera 1 and Camera 3 select the same video source device! \n\nPlease select different video source devices." },
        { { { { "/dev/video0", "mic:1" }, { "/dev/video2", "mic:1" }, { "", "" }, { "", "" } } }, 61360,
          "Camera 1 and Camera 2 select the same audio source device! \n\nPlease select different audio source devices." },
        { { { { "", "" }, { "", "" }, { "/dev/video2", "" }, { "/dev/video0", "" } } }, 0, "" },
    };
    for (const auto& c : cases) {
        DevicesDialog dialog(videoDevices(), audioDevices(), c.choices, false, false, prompter);
        EXPECT_EQ(dialog.choices(), c.choices);
        const Refusal refusal = dialog.check();
        EXPECT_EQ(refusal.messageId, c.id);
        EXPECT_EQ(refusal.text, c.start);
    }
}

TEST(DevicesDialog, PresetsAndNoVideoMeanNoAudio)
{
    RecordingPrompter prompter;
    std::array<DeviceChoice, 4> current { { { "/dev/video2", "mic:0" }, {}, {}, {} } };
    DevicesDialog presets(videoDevices(), audioDevices(), current, true, true, prompter);
    const auto chosen = presets.choices();
    EXPECT_EQ(chosen[0], (DeviceChoice { "/dev/video0", "" }));
    EXPECT_EQ(chosen[1], (DeviceChoice { "/dev/video2", "" }));
    EXPECT_EQ(chosen[2], DeviceChoice {});
    EXPECT_TRUE(presets.autoAdjust());

    DevicesDialog dialog(videoDevices(), audioDevices(), current, false, false, prompter);
    EXPECT_TRUE(dialog.audioLists[0]->isEnabled());
    EXPECT_FALSE(dialog.audioLists[1]->isEnabled());
    dialog.videoLists[0]->setCurrentIndex(0);
    EXPECT_EQ(dialog.audioLists[0]->currentText(), "None");
    EXPECT_FALSE(dialog.audioLists[0]->isEnabled());
}

TEST(RecordStorageDialog, RangesAndTheMaximumOnlyWhenItCounts)
{
    common::ChannelSettings settings;
    RecordingPrompter prompter;
    const struct {
        const char* length;
        const char* minFree;
        bool maxOn;
        const char* max;
        const char* text;
    } cases[] = {
        { "2", "1024", false, "0", "Please enter an integer between 3 and 60." },
        { "61", "1024", false, "0", "Please enter an integer between 3 and 60." },
        { "3", "299", false, "0", "Please enter an integer between 300 and 256000." },
        { "60", "256001", false, "0", "Please enter an integer between 300 and 256000." },
        { "5", "300", true, "300", "Please enter an integer between 301 and 2147483647." },
        { "5", "300", false, "300", "" },
        { "5", "256000", true, "301", "" },
    };
    for (const auto& c : cases) {
        RecordStorageDialog dialog(settings, prompter);
        dialog.fileLength->setText(c.length);
        dialog.minFreeSpace->setText(c.minFree);
        dialog.maxStorageEnabled->setChecked(c.maxOn);
        dialog.maxStorage->setText(c.max);
        EXPECT_EQ(dialog.check().text, c.text) << c.length << " " << c.minFree << " " << c.max;
    }
}

TEST(RecordStorageDialog, ThePerDayFiguresNeedADayOfRecords)
{
    common::ChannelSettings settings;
    RecordingPrompter prompter;
    RecordStorageDialog dialog(settings, prompter);
    StorageFigures figures;
    figures.recordsMB = 300;
    figures.earliestStart = 1'700'000'000;
    figures.latestEnd = figures.earliestStart + 86399;
    dialog.showFigures(figures);
    EXPECT_TRUE(dialog.dailyAverage->text().isEmpty());
    EXPECT_TRUE(dialog.dailyAverageLabel->text().isEmpty());
    EXPECT_EQ(dialog.recordedPeriod->text().size(), 41);
    figures.latestEnd = figures.earliestStart + 2 * 86400;
    dialog.showFigures(figures);
    EXPECT_EQ(dialog.dailyAverage->text(), "150 MB");
}

TEST(ScheduleDialog, DragSetsShiftOrRightClearsAndSelectAllFillsTheDay)
{
    ScheduleDialog dialog({});
    dialog.resize(700, 300);
    ScheduleGrid* grid = dialog.grid();
    int day = -1;
    int hour = -1;
    ASSERT_TRUE(grid->cellAt(QPoint(40 + 8 * 22 + 5, 20 + 1 * 22 + 5), &day, &hour));
    EXPECT_EQ(day, 1);
    EXPECT_EQ(hour, 8);
    QTest::mousePress(grid, Qt::LeftButton, {}, QPoint(40 + 8 * 22 + 5, 20 + 22 + 5));
    QTest::mouseRelease(grid, Qt::LeftButton, {}, QPoint(40 + 8 * 22 + 5, 20 + 22 + 5));
    EXPECT_EQ(dialog.words()[1], 1u << 8);
    QTest::mousePress(grid, Qt::LeftButton, Qt::ShiftModifier, QPoint(40 + 8 * 22 + 5, 20 + 22 + 5));
    QTest::mouseRelease(grid, Qt::LeftButton, Qt::ShiftModifier, QPoint(40 + 8 * 22 + 5, 20 + 22 + 5));
    EXPECT_EQ(dialog.words()[1], 0u);
    dialog.selectAll();
    for (uint32_t word : dialog.words())
        EXPECT_EQ(word, 0xFFFFFFu);
    dialog.clearAll();
    for (uint32_t word : dialog.words())
        EXPECT_EQ(word, 0u);
}

class ChannelDialogTest : public ::testing::Test {
protected:
    ChannelDialogTest()
        : channel_(0, provider_, nullptr, nullptr)
    {
        // 100 x 60 frames: cells of 40 are clipped to 20 wide and 20 high at the edges.
        channel_.motion().detector().setFrameFormat(makeFrameFormat(VideoSubtype::I420, 100, 60));
    }
    test::NoDevices provider_;
    CameraChannel channel_;
    RecordingPrompter prompter_;
};

TEST_F(ChannelDialogTest, MaskCellsAlignToTheGridAndClipAtTheEdges)
{
    const struct {
        QPoint pixel;
        int grid;
        QRect cell;
    } cases[] = {
        { { 0, 0 }, 40, { 0, 0, 40, 40 } },   { { 39, 39 }, 40, { 0, 0, 40, 40 } },
        { { 85, 10 }, 40, { 80, 0, 20, 40 } }, { { 99, 59 }, 40, { 80, 40, 20, 20 } },
        { { 13, 7 }, 4, { 12, 4, 4, 4 } },    { { 100, 0 }, 40, {} },
    };
    for (const auto& c : cases)
        EXPECT_EQ(maskCell(c.pixel.x(), c.pixel.y(), c.grid, QSize(100, 60)), c.cell) << c.pixel.x() << "," << c.pixel.y();
}

TEST_F(ChannelDialogTest, MaskEditorMarksCellsAndDropsAMaskThatWatchesEverything)
{
    MaskEditor editor(channel_, prompter_);
    const MotionDetector& detector = channel_.motion().detector();
    EXPECT_EQ(editor.view->size(), QSize(100, 60));
    editor.view->markAt(QPoint(10, 10), true, true);
    EXPECT_FALSE(detector.mask()) << "the right button does nothing while there is no mask";
    editor.view->markAt(QPoint(85, 50), false, false);
    ASSERT_TRUE(detector.mask());
    const GreyBitmap& mask = *detector.mask();
    // Rows are bottom-up: frame row 50 is mask row 9.
    EXPECT_EQ(mask.pixels()[9 * mask.stride() + 85], 0);
    EXPECT_EQ(mask.pixels()[9 * mask.stride() + 79], 255);
    EXPECT_EQ(mask.pixels()[59 * mask.stride() + 85], 255);
    editor.view->markAt(QPoint(81, 41), true, true);
    EXPECT_FALSE(detector.mask()) << "all watched again: no mask";
    editor.maskEverything();
    ASSERT_TRUE(detector.mask());
    EXPECT_TRUE(detector.mask()->allPixelsEqual(0));
    editor.clearMask();
    EXPECT_FALSE(detector.mask());
}

TEST_F(ChannelDialogTest, MaskEditorRefusesGridSizesOutsideFourToForty)
{
    MaskEditor editor(channel_, prompter_);
    editor.gridField->setText("12");
    EXPECT_TRUE(editor.applyGridField());
    EXPECT_EQ(channel_.motion().detector().settings().gridSize, 12);
    EXPECT_EQ(editor.gridSlider->value(), 12);
    for (const char* value : { "3", "41", "abc" }) {
        editor.gridField->setText(value);
        EXPECT_FALSE(editor.applyGridField()) << value;
        EXPECT_EQ(editor.gridField->text(), "12") << "the previous value comes back";
    }
    ASSERT_EQ(prompter_.shown.size(), 3u);
    EXPECT_EQ(prompter_.shown[0].id, 61214);
    EXPECT_EQ(prompter_.shown[0].text, "The mask size should be between 4x4 and 40x40.");
    editor.displayGrid->setChecked(false);
    EXPECT_FALSE(channel_.motion().detector().settings().displayGrid);
}

TEST_F(ChannelDialogTest, MotionOptionsRefuseThresholdsAndDetectProposesTheLargestValue)
{
    MotionOptionsDialog dialog(channel_, prompter_);
    dialog.levelField->setText("256");
    EXPECT_FALSE(dialog.applyLevelField());
    EXPECT_EQ(dialog.levelField->text(), "80");
    dialog.volumeField->setText("101");
    EXPECT_FALSE(dialog.applyVolumeField());
    EXPECT_EQ(dialog.volumeField->text(), "0");
    ASSERT_EQ(prompter_.shown.size(), 2u);
    EXPECT_EQ(prompter_.shown[0].text, "The motion level threshold should be between 0 and 255.");
    EXPECT_EQ(prompter_.shown[1].text, "The motion volume threshold should be between 0 and 100.");

    dialog.ignoreShort->setChecked(true);
    dialog.shortLength->setText("61");
    EXPECT_EQ(dialog.check().text, "Please enter an integer between 1 and 60.");
    dialog.shortLength->setText("60");
    EXPECT_FALSE(dialog.check());

    dialog.startDetect(MotionOptionsDialog::Threshold::Level);
    EXPECT_EQ(dialog.levelCountdown->text(), "Remain: 5 secs");
    dialog.detectTick(MotionOptionsDialog::Threshold::Level);
    EXPECT_EQ(dialog.levelCountdown->text(), "Remain: 4 secs");
    for (int i = 0; i < 4; ++i)
        dialog.detectTick(MotionOptionsDialog::Threshold::Level);
    EXPECT_TRUE(dialog.levelCountdown->text().isEmpty());
    EXPECT_EQ(dialog.levelField->text(), "0") << "nothing moved: the largest difference seen is 0";

    dialog.levelField->setText("40");
    dialog.volumeField->setText("7");
    dialog.accept();
    EXPECT_EQ(channel_.motion().options().levelThreshold, 40);
    EXPECT_EQ(channel_.motion().options().volumeThresholdPercent, 7u);
    EXPECT_TRUE(channel_.motion().options().ignoreShortMotion);
    EXPECT_EQ(channel_.motion().options().shortMotionLengthSeconds, 60);
}

TEST(LogDialog, ListsByTypeChecksTheNumberAndResizesOnClose)
{
    test::PrivateFolders folders;
    folders.write("vantry.ini", "[Log]\nfCountInMotionEvents=1\n");
    common::EventLog log;
    ASSERT_TRUE(log.Open(folders.file("vantry.ini"), folders.data()));
    log.AddEntry(common::LogEntryType::Operation, -1, "Vantry starts.");
    log.AddEntry(common::LogEntryType::Event, 1, "Motion event.");
    log.AddEntry(common::LogEntryType::Option, -1, "Modify the preferences.");
    RecordingPrompter prompter;
    LogDialog dialog(log, prompter);
    EXPECT_EQ(dialog.typeList->currentText(), "All Logs");
    ASSERT_EQ(dialog.list->topLevelItemCount(), 3);
    EXPECT_EQ(dialog.list->topLevelItem(1)->text(1), "Event");
    EXPECT_EQ(dialog.list->topLevelItem(1)->text(2), "Camera 2");
    EXPECT_EQ(dialog.list->topLevelItem(0)->text(2), "System");
    EXPECT_EQ(dialog.list->topLevelItem(2)->text(3), "Modify the preferences.");
    dialog.typeList->setCurrentIndex(1);
    ASSERT_EQ(dialog.list->topLevelItemCount(), 1);
    EXPECT_EQ(dialog.list->topLevelItem(0)->text(3), "Motion event.");

    for (const char* number : { "99", "1001" }) {
        dialog.numberOfLogs->setText(number);
        EXPECT_EQ(dialog.check().text, "Please enter an integer between 100 and 1000.") << number;
    }
    dialog.numberOfLogs->setText("200");
    dialog.logMotionEvents->setChecked(false);
    dialog.logRemoteConnections->setChecked(true);
    dialog.accept();
    EXPECT_EQ(log.capacity(), 200);
    EXPECT_EQ(std::filesystem::file_size(folders.file("Log.Dat")), common::logFileBytes(200));
    EXPECT_FALSE(log.countMotionEvents());
    EXPECT_TRUE(log.countRemoteConnections());
    EXPECT_EQ(log.CountEntries(), 3);
}

} // namespace
} // namespace vantry::station::ui
