// The viewer's window on the offscreen platform: decoded pictures reach the video area, the
// status icons follow the link, the dialogs keep their rules, and the command line.
#include "viewer_test_support.h"

#include "record_fixtures.h"
#include "startup_options.h"
#include "viewer/viewer_session.h"
#include "viewer_ui/connect_dialog.h"
#include "viewer_ui/main_window.h"
#include "viewer_ui/snapshot_dialog.h"
#include "viewer_ui/video_view.h"

#include <QApplication>

#include <filesystem>

namespace vantry::viewer {
namespace {

using namespace test;
using namespace server;
using vantry::test::TempFolder;

QApplication& application()
{
    static int argc = 1;
    static char name[] = "viewer_window_test";
    static char* argv[] = { name, nullptr };
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

template <class Predicate>
bool spinUntil(Predicate predicate, std::chrono::milliseconds limit = 5000ms)
{
    return waitFor(
        [&] {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            return predicate();
        },
        limit);
}

TEST(ViewerWindowTest, VideoAreaShowsDecodedPicturesAndIconsFollowTheLink)
{
    application();
    TempFolder data;
    TempFolder runtime;
    ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
    ViewerSession session(ViewerPaths { VANTRY_TEST_BIN_DIR, data.path() });
    session.start();
    viewer_ui::MainWindow window(session);
    window.show();
    const QImage before = window.videoView()->grab().toImage();

    ScriptedServer server;
    std::atomic<bool> done { false };
    std::thread script([&] {
        if (server.accept()) {
            server.handshake(1, 176, 144, kServerWordCameraStatus, 3);
            const auto pictures = encodePictures(176, 144, 4);
            for (size_t i = 0; i < pictures.size(); ++i)
                server.send(pictures[i].key ? MSG_KEY_FRAME : MSG_DELTA_FRAME, pictures[i].bytes, 1700000000 + static_cast<uint32_t>(i));
            server.send(MSG_EVENT_ON);
        }
        done = true;
    });
    ASSERT_EQ(window.connectDirect("127.0.0.1", server.port(), 1), 1);
    ASSERT_TRUE(spinUntil([&] { return done.load() && session.link().framesDecoded() == 4; }));
    ASSERT_TRUE(spinUntil([&] { return window.statusIconLabel(kIconEvent)->property("iconState").toInt() == 1; }));
    spinUntil([] { return false; }, 100ms);

    EXPECT_EQ(window.windowTitle(), "Harbour - Gate");
    EXPECT_EQ(window.statusIconLabel(kIconVideo)->property("iconState").toInt(), kVideoPtz);
    EXPECT_NE(window.statusIconLabel(kIconData)->property("iconState").toInt(), 0);
    EXPECT_EQ(session.markedCamera(), 1);

    // The video area holds the decoded gradient: dark on the left, light on the right, and
    // no longer the no-signal picture.
    const QImage shown = window.videoView()->grab().toImage();
    ASSERT_FALSE(shown.isNull());
    EXPECT_NE(shown, before);
    const int y = shown.height() / 2;
    const int left = qGray(shown.pixel(4, y));
    const int right = qGray(shown.pixel(shown.width() - 5, y));
    EXPECT_LT(left, 80);
    EXPECT_GT(right, 170);
    for (int x = 8; x + 8 < shown.width(); x += 8)
        EXPECT_GE(qGray(shown.pixel(x + 8, y)) + 6, qGray(shown.pixel(x, y))) << "brightness rises left to right at " << x;

    session.disconnectCommand();
    spinUntil([] { return false; }, 100ms);
    EXPECT_EQ(window.statusIconLabel(kIconVideo)->property("iconState").toInt(), 0);
    EXPECT_EQ(window.windowTitle(), "Varore 2 Zeredo");
    script.join();
}

TEST(ViewerWindowTest, OnScreenZonesSendTheirDirections)
{
    const QRect area(0, 0, 320, 240);
    struct Case {
        QPoint point;
        std::vector<uint32_t> commands;
    };
    const Case cases[] = {
        { { 5, 120 }, { 7 } },      { { 315, 120 }, { 8 } },   { { 160, 5 }, { 5 } },     { { 160, 235 }, { 6 } },
        { { 5, 5 }, { 5, 7 } },     { { 315, 5 }, { 5, 8 } },  { { 5, 235 }, { 6, 7 } }, { { 315, 235 }, { 6, 8 } },
        { { 160, 120 }, {} },       { { 400, 120 }, {} },
    };
    for (const Case& c : cases)
        EXPECT_EQ(viewer_ui::VideoView::zoneCommands(area, c.point), c.commands) << c.point.x() << "," << c.point.y();
}

TEST(ViewerWindowTest, ConnectDialogKeepsItsRules)
{
    application();
    ViewerSettings settings;
    settings.history = { "203.0.113.9:8081", "OFFICE" };
    viewer_ui::ConnectDialog dialog(settings);
    dialog.chooseHistoryEntry("203.0.113.9:8081");
    ViewerSettings chosen = dialog.result();
    EXPECT_EQ(chosen.byIpAddress, 1);
    EXPECT_EQ(chosen.ip, "203.0.113.9");
    EXPECT_EQ(chosen.port, 8081);
    EXPECT_EQ(dialog.historyEntry(), "203.0.113.9:8081");
    dialog.chooseHistoryEntry("OFFICE");
    chosen = dialog.result();
    EXPECT_EQ(chosen.byIpAddress, 0);
    EXPECT_EQ(chosen.connectionId, "OFFICE");
    EXPECT_EQ(dialog.historyEntry(), "OFFICE");

    viewer_ui::AdvancedDialog advanced(7, 0, 5);
    advanced.setSliderPosition(12);
    EXPECT_EQ(advanced.quality(), 1) << "the right end is the best quality";
    advanced.setSliderPosition(1);
    EXPECT_EQ(advanced.quality(), 12);
    EXPECT_EQ(advanced.frameRate(), 5);
}

TEST(ViewerWindowTest, SnapshotIsSavedAsBitmapWithItsCaption)
{
    application();
    TempFolder folder;
    QImage picture(176, 144, QImage::Format_RGB888);
    picture.fill(Qt::black);
    common::SnapFontSettings font;
    font.color = 0x0000FF; // red as a colour reference
    viewer_ui::SnapshotDialog dialog(picture, 1700000000, 2, font);
    EXPECT_TRUE(dialog.defaultFileName().startsWith("C2-"));
    EXPECT_TRUE(dialog.defaultFileName().endsWith(".bmp"));
    const QString path = QString::fromStdString(folder / "snap.bmp");
    ASSERT_TRUE(dialog.saveTo(path));
    const QImage saved(path);
    ASSERT_EQ(saved.size(), picture.size());
    bool captionPainted = false;
    for (int y = 0; y < 30 && !captionPainted; ++y)
        for (int x = 0; x < 176 && !captionPainted; ++x)
            captionPainted = qRed(saved.pixel(x, y)) > 128;
    EXPECT_TRUE(captionPainted);
}

TEST(ViewerStartupOptionsTest, ConnectAndRecordArguments)
{
    using viewer_app::parseStartupOptions;
    auto options = parseStartupOptions({ "--connect", "192.0.2.1:8081/3", "--record" }, nullptr);
    ASSERT_TRUE(options);
    EXPECT_EQ(*options->host, "192.0.2.1");
    EXPECT_EQ(options->port, 8081);
    EXPECT_EQ(options->camera, 2);
    EXPECT_TRUE(options->record);
    options = parseStartupOptions({ "--connect=station.lan:81" }, nullptr);
    ASSERT_TRUE(options);
    EXPECT_EQ(options->camera, 0);
    EXPECT_FALSE(options->record);
    for (const char* bad : { "host", "host:", ":81", "host:0", "host:70000", "host:81/0", "host:81/5", "host:81/x" }) {
        std::string error;
        EXPECT_FALSE(parseStartupOptions({ "--connect", bad }, &error)) << bad;
        EXPECT_FALSE(error.empty());
    }
    EXPECT_FALSE(parseStartupOptions({ "--connect" }, nullptr));
    EXPECT_FALSE(parseStartupOptions({ "--bogus" }, nullptr));
}

} // namespace
} // namespace vantry::viewer
