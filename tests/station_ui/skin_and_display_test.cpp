// The skin, the window's shape, the picture buttons, the lights, the time panel, the named
// texts and the sizes of the split screen.
#include "ui_test_support.h"

#include "station/core/video_format.h"
#include "station/ui/display_geometry.h"
#include "station/ui/frame_image.h"
#include "station/ui/picture_button.h"
#include "station/ui/status_panel.h"
#include "station/ui/time_panel.h"
#include "station/ui/ui_texts.h"
#include "station/ui/windowed_station.h"

#include <QPainter>
#include <QTest>

namespace vantry::station::ui {
namespace {

using test::builtSkin;

TEST(ScreenCheck, TheWindowNeedsAScreenOfAtLeastItsSize)
{
    const struct {
        QSize screen;
        int expected;
    } cases[] = {
        { { 1023, 768 }, 61481 }, { { 1024, 767 }, 61481 }, { { 1024, 768 }, 0 }, { { 1920, 1080 }, 0 },
    };
    for (const auto& c : cases)
        EXPECT_EQ(checkScreenSize(c.screen, { 1024, 768 }), c.expected) << c.screen.width() << "x" << c.screen.height();
}

TEST(ScreenCheck, ATooSmallScreenShowsTheMessageAndMakesNoWindowAndNoStation)
{
    test::PrivateFolders folders;
    test::RecordingPrompter prompter;
    WindowedStation station({}, { QStringLiteral(VANTRY_TEST_BIN_DIR), QSize(1023, 768), &prompter });
    EXPECT_EQ(station.start(), WindowedStation::Result::ScreenTooSmall);
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].id, 61481);
    EXPECT_EQ(prompter.shown[0].text,
              "The display screen dimension is required to be equal to or larger than 1024x768 pixels.");
    EXPECT_EQ(station.window(), nullptr);
    EXPECT_EQ(station.station(), nullptr);
    // Nothing was started: no log, no settings.
    EXPECT_FALSE(std::filesystem::exists(folders.file("Log.Dat")));
}

TEST(Skin, TheBuiltSkinHasEveryPictureTheWindowNeeds)
{
    const Skin& skin = builtSkin();
    EXPECT_EQ(skin.size, QSize(1024, 768));
    EXPECT_EQ(skin.background.size(), skin.size);
    for (const QImage& light : skin.lights)
        EXPECT_FALSE(light.isNull());
    for (const QImage& icon : skin.captionIcons)
        EXPECT_FALSE(icon.isNull());
    for (int i = 0; i < kButtonCount; ++i) {
        EXPECT_TRUE(skin.buttons[static_cast<size_t>(i)].shown) << kButtons[static_cast<size_t>(i)].section;
        EXPECT_EQ(skin.buttons[static_cast<size_t>(i)].picture.height() % 5, 0);
    }
    EXPECT_TRUE(skin.isPalOrSecam());
}

TEST(Skin, AMissingBackgroundFailsTheLoad)
{
    test::PrivateFolders folders;
    const QString folder = QString::fromStdString(folders.data());
    folders.write("ui.ini", "[background]\nbg_main=missing.bmp\n");
    Skin skin;
    QString error;
    EXPECT_FALSE(skin.load(folder, &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(WindowShape, PureRedIsLeftOutAndEverythingElseKept)
{
    // A picture with a pure red border and one almost-red pixel inside.
    QImage picture(10, 6, QImage::Format_RGB32);
    picture.fill(qRgb(255, 0, 0));
    for (int y = 1; y < 5; ++y)
        for (int x = 1; x < 9; ++x)
            picture.setPixel(x, y, qRgb(30, 30, 30));
    picture.setPixel(4, 2, qRgb(254, 0, 0));
    const QRegion region = regionWithoutPureRed(picture);
    EXPECT_FALSE(region.contains(QPoint(0, 0)));
    EXPECT_FALSE(region.contains(QPoint(9, 3)));
    EXPECT_TRUE(region.contains(QPoint(1, 1)));
    EXPECT_TRUE(region.contains(QPoint(4, 2)));
    EXPECT_EQ(region.boundingRect(), QRect(1, 1, 8, 4));

    const Skin& skin = builtSkin();
    const QRegion window = windowRegion(skin.size, skin.corners);
    EXPECT_FALSE(window.contains(QPoint(0, 0)));
    EXPECT_FALSE(window.contains(QPoint(1023, 767)));
    EXPECT_TRUE(window.contains(QPoint(512, 0)));
    EXPECT_TRUE(window.contains(QPoint(512, 384)));
}

TEST(PictureButton, EachTypeReactsToPressesAsItShould)
{
    QImage picture(20, 50, QImage::Format_RGB32);
    picture.fill(Qt::gray);
    const struct {
        ButtonType type;
        int presses;
        bool on;
    } cases[] = {
        { ButtonType::Push, 1, false }, { ButtonType::Toggle, 1, true }, { ButtonType::Toggle, 2, false },
        { ButtonType::Latch, 1, true }, { ButtonType::Latch, 2, true },
    };
    for (const auto& c : cases) {
        PictureButton button(picture, c.type);
        EXPECT_EQ(button.size(), QSize(20, 10));
        int clicks = 0;
        QObject::connect(&button, &PictureButton::clicked, [&clicks] { ++clicks; });
        for (int i = 0; i < c.presses; ++i)
            QTest::mouseClick(&button, Qt::LeftButton);
        EXPECT_EQ(button.isOn(), c.on) << static_cast<int>(c.type) << " x" << c.presses;
        EXPECT_EQ(button.currentFrame(), c.on ? 2 : 4);
        EXPECT_EQ(clicks, c.presses);
    }
}

TEST(PictureButton, ADisabledButtonIgnoresPressesUntilEnabled)
{
    QImage picture(20, 50, QImage::Format_RGB32);
    PictureButton button(picture, ButtonType::Toggle);
    button.setButtonEnabled(false);
    int clicks = 0;
    QObject::connect(&button, &PictureButton::clicked, [&clicks] { ++clicks; });
    QTest::mouseClick(&button, Qt::LeftButton);
    button.setOn(true);
    EXPECT_EQ(button.state(), PictureButton::State::Disabled);
    EXPECT_EQ(button.currentFrame(), 0);
    EXPECT_EQ(clicks, 0);
    button.setButtonEnabled(true);
    EXPECT_EQ(button.state(), PictureButton::State::Normal);
}

TEST(StatusPanel, LightsKeepTheirStateAndRefuseNonsense)
{
    StatusPanel panel(builtSkin());
    panel.setLight(2, 3, 1);
    panel.setLight(3, 5, 3);
    panel.setLight(4, 1, 0);  // no such kind
    panel.setLight(0, 6, 0);  // no such state
    panel.setLight(0, 1, 4);  // no such camera
    EXPECT_EQ(panel.light(2, 1), 3);
    EXPECT_EQ(panel.light(3, 3), 5);
    EXPECT_EQ(panel.light(0, 0), 0);
}

TEST(TimePanel, CountdownReplacesTheTimeAndRunsOut)
{
    TimePanel panel(builtSkin());
    panel.setClock([] { return QDateTime(QDate(2024, 3, 5), QTime(9, 8, 7)); });
    EXPECT_TRUE(panel.timeLine().contains("9")) << panel.timeLine().toStdString();
    panel.setCountdown(3);
    EXPECT_EQ(panel.timeLine(), "Left 3 seconds");
    panel.tick();
    EXPECT_EQ(panel.timeLine(), "Left 2 seconds");
    panel.tick();
    panel.tick();
    EXPECT_EQ(panel.countdown(), 0);
    EXPECT_FALSE(panel.timeLine().startsWith("Left"));
}

TEST(NamedTexts, LanguageNamesComeFromTheLocale)
{
    const struct {
        QLocale locale;
        const char* name;
    } cases[] = {
        { QLocale(QLocale::German, QLocale::Germany), "German" },
        { QLocale(QLocale::Chinese, QLocale::TraditionalHanScript, QLocale::Taiwan), "TChinese" },
        { QLocale(QLocale::Chinese, QLocale::SimplifiedHanScript, QLocale::China), "SChinese" },
        { QLocale(QLocale::Portuguese, QLocale::Brazil), "Portuguese" },
        { QLocale(QLocale::Dutch, QLocale::Netherlands), "English" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(UiTexts::languageName(c.locale), c.name) << c.locale.name().toStdString();
}

TEST(NamedTexts, ALanguageFileReplacesTheNamedTextsOnly)
{
    test::PrivateFolders folders;
    const QString program = QString::fromStdString(folders.data());
    UiTexts texts;
    texts.chooseLanguage(program, QLocale(QLocale::German, QLocale::Germany));
    EXPECT_TRUE(texts.languageFile().isEmpty()) << "no Germanini: the string table";
    EXPECT_EQ(texts.named("IDS_MSG_PW_INCORRECT"), "Password is incorrect!\n\n Please retry again.");
    EXPECT_EQ(texts.named("IDS_STRING_EVENT_RECORD"), "Event recording");
    EXPECT_EQ(UiTexts::text(12345), " ");

    folders.write("Germanini", "[Vantry]\nIDS_MSG_PW_INCORRECT=Falsches Passwort!\n");
    texts.chooseLanguage(program, QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(texts.languageFile(), program + "/Germanini");
    EXPECT_EQ(texts.named("IDS_MSG_PW_INCORRECT"), "Falsches Passwort!");
    EXPECT_EQ(texts.named("IDS_STRING_LIVE"), " ") << "a key the file lacks";
    EXPECT_EQ(UiTexts::textWithNumbers(61359, { 2, 4 }).left(42), "Camera 2 and Camera 4 select the same vide");
}

TEST(SplitScreenSize, CaptureSizesMapToDisplaySizes)
{
    const struct {
        QSize capture;
        QSize shown;
    } cases[] = {
        { { 640, 480 }, { 320, 240 } }, { { 320, 240 }, { 320, 240 } }, { { 704, 576 }, { 352, 288 } },
        { { 352, 288 }, { 352, 288 } }, { { 720, 576 }, { 360, 288 } }, { { 720, 480 }, { 360, 240 } },
        { { 256, 240 }, { 320, 240 } }, { { 176, 144 }, { 176, 144 } }, { { 800, 600 }, { 400, 300 } },
    };
    for (const auto& c : cases)
        EXPECT_EQ(geometry::displaySize(c.capture), c.shown) << c.capture.width() << "x" << c.capture.height();
}

TEST(SplitScreenSize, LayoutsFollowTheLargestCameraAndTheCaption)
{
    std::array<std::optional<QSize>, 4> sizes;
    const QSize fallback(360, 288);
    EXPECT_EQ(geometry::splitScreenSize(geometry::kAllCameras, sizes, fallback, 0), QSize(2 * 360 + 8, 2 * 288 + 8));
    sizes[1] = QSize(640, 480);
    sizes[2] = QSize(352, 288);
    const int caption = geometry::captionHeight(true, 14, 16);
    EXPECT_EQ(caption, 20);
    EXPECT_EQ(geometry::captionHeight(false, 14, 16), 0);
    // The cell is the largest shown size: 352 x 288 against 320 x 240.
    EXPECT_EQ(geometry::splitScreenSize(geometry::kAllCameras, sizes, fallback, caption),
              QSize(2 * 352 + 8, 2 * (288 + caption) + 8));
    // A 640 x 480 camera alone is shown at 640 x 480.
    EXPECT_EQ(geometry::splitScreenSize(1, sizes, fallback, caption), QSize(646, caption + 486));
}

TEST(FrameImage, YuvAndRgbFramesBecomePictures)
{
    // A 4 x 2 I420 frame of mid grey: Y 126, U = V = 128 gives grey in studio range.
    const FrameFormat i420 = makeFrameFormat(VideoSubtype::I420, 4, 2);
    std::vector<uint8_t> frame(4 * 2 + 2 * 4 * 1, 128);
    std::fill(frame.begin(), frame.begin() + 8, 126);
    const QImage grey = frameToImage(i420, frame.data(), frame.size());
    ASSERT_FALSE(grey.isNull());
    EXPECT_EQ(grey.size(), QSize(4, 2));
    EXPECT_NEAR(qRed(grey.pixel(3, 1)), 128, 2);
    EXPECT_TRUE(frameToImage(i420, frame.data(), frame.size() - 1).isNull()) << "a short frame is no picture";

    // RGB24 rows are bottom-up: the first stored row is the picture's last.
    const FrameFormat rgb = makeFrameFormat(VideoSubtype::RGB24, 1, 2);
    const uint8_t bytes[8] = { 0, 0, 255, 0, /* red, bottom */ 255, 0, 0, 0 /* blue, top */ };
    const QImage picture = frameToImage(rgb, bytes, sizeof bytes);
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.pixel(0, 0), qRgb(0, 0, 255));
    EXPECT_EQ(picture.pixel(0, 1), qRgb(255, 0, 0));
}

} // namespace
} // namespace vantry::station::ui
